// The single-code match operations through the exports: golden codes of the
// sample knowledge base's definition "Name" (tests/kb/match/golden_codes.tsv),
// several sensitivities, a parse's tokens, the refusals, whole-value codes.
#include <string>

#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;

// tests/kb/match/golden_codes.tsv, section Name: codes of the sample
// definition "Name" (named here in another letter case) through tq_match.
// Its phonetics, nicknames and noise words act at 85 and below; the lines
// at higher sensitivities pin the parse and the placement.
TEST(MatchOps, GoldenCodesOfTheSampleName) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_MATCH_DEFNS), 0)
      << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  const auto lines = tq_test::read_lines(std::string(TQ_TEST_KB_DIR) + "/match/golden_codes.tsv");
  bool in_name = false;
  size_t n = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      in_name = line == "[Name]";
      continue;
    }
    if (!in_name) continue;
    const size_t a = line.find('\t'), b = line.find('\t', a + 1);
    ASSERT_NE(b, std::string::npos) << "golden_codes.tsv:" << i + 1;
    char code[4 * 256 + 1];
    const auto sens = static_cast<uint32_t>(std::stoul(line.substr(a + 1, b - a - 1)));
    EXPECT_TQ_OK(ctx, tq_match(ctx, "NAME", sens, line.substr(0, a).c_str(), code));
    EXPECT_EQ("[" + std::string(code) + "]", line.substr(b + 1)) << "golden_codes.tsv:" << i + 1;
    ++n;
  }
  EXPECT_GT(n, 0u);
}

TEST(MatchOps, SeveralSensitivitiesAndParsedTokens) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_MATCH_DEFNS), 0);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  char low[61], high[61];
  char* both[2] = {low, high};
  const uint32_t sens[2] = {50, 95};
  EXPECT_EQ(tq_match_multiple_sens(ctx, "Name", sens, 2, "John Smith", both), 0) << tq_test::error_list_text(ctx);
  EXPECT_STREQ(high, "SMITH     JOHN ");
  EXPECT_STRNE(low, high);
  // A parse's tokens give the value's code.
  tq_parse_token tokens[TQ_PARSE_TOKENS];
  uint32_t n = 0;
  ASSERT_GE(tq_parse(ctx, "Name", "John Smith", tokens, &n), 0);
  EXPECT_EQ(tq_match_parsed_by_index(ctx, 0, 95, tokens, n, low), 0) << tq_test::error_list_text(ctx);
  EXPECT_STREQ(low, high);
  EXPECT_EQ(tq_match_parsed(ctx, "Name", 95, tokens, TQ_PARSE_TOKENS + 1, low), -802);
  EXPECT_EQ(tq_match(ctx, "Nobody", 95, "x", low), -801);
  char empty[4] = "";
  EXPECT_EQ(tq_match_encode(ctx, empty), 0);
}

// Whole-value codes need no definition, nor a locale (root casing then).
TEST(MatchOps, WholeValueCodesWithoutALocale) {
  Context ctx;
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  char code[4 * 256 + 1];
  EXPECT_EQ(tq_match_exact(ctx, "ab cß", 5, code), 0);
  EXPECT_STREQ(code, "ABCSS");
  EXPECT_EQ(tq_match_exact_no_pad(ctx, "a b", 300, code), 0);
  EXPECT_STREQ(code, "AB");
  EXPECT_EQ(tq_match_exact(ctx, "x", 0, code), -802);
  EXPECT_EQ(tq_match_exact(ctx, nullptr, 5, code), -802);
  EXPECT_NE(tq_test::error_list_text(ctx).find("'data' is null."), std::string::npos);
}

}  // namespace

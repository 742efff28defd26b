// Gender analysis on the knowledge base of tests/kb/gender: the worked values
// of golden.tsv (string and parsed input, with and without an info), the
// parsed-input permission, the info of a worked run, and an info's bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/alloc_counter.h"
#include "support/gender_kb.h"
#include "support/tq_test.h"

namespace {

using tq_test::GenderKb;

struct Determined {
  int32_t rc;
  std::string gender;
};

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::stringstream in(s);
  for (std::string part; std::getline(in, part, sep);) out.push_back(part);
  return out;
}

// "1=John|3=Smith" as parse tokens; "-" for none.
std::vector<tq_parse_token> tokens_of(const std::string& spec) {
  std::vector<tq_parse_token> tokens;
  if (spec == "-") return tokens;
  for (const std::string& t : split(spec, '|')) {
    const size_t eq = t.find('=');
    tq_parse_token tok{};
    tok.index = std::stoi(t.substr(0, eq));
    std::strncpy(tok.value, t.substr(eq + 1).c_str(), sizeof tok.value - 1);
    tokens.push_back(tok);
  }
  return tokens;
}

Determined determine(tq_context* ctx, const char* defn, const char* value, tq_gender_info* info = nullptr) {
  char out[8];
  std::memset(out, 'x', sizeof out);
  const int32_t rc = info != nullptr ? tq_gender_determine_with_info(ctx, defn, value, out, info)
                                     : tq_gender_determine(ctx, defn, value, out);
  return {rc, std::string(out, strnlen(out, sizeof out))};
}

Determined determine_parsed(tq_context* ctx, const char* defn, const std::vector<tq_parse_token>& tokens,
                            tq_gender_info* info = nullptr, int32_t count = -2) {
  char out[8];
  std::memset(out, 'x', sizeof out);
  const int32_t n = count == -2 ? static_cast<int32_t>(tokens.size()) : count;
  const tq_parse_token none{};
  const tq_parse_token* data = tokens.empty() ? &none : tokens.data();
  const int32_t rc = info != nullptr ? tq_gender_determine_parsed_with_info(ctx, defn, data, n, out, info)
                                     : tq_gender_determine_parsed(ctx, defn, data, n, out);
  return {rc, std::string(out, strnlen(out, sizeof out))};
}

TEST(Gender, GoldenValuesWithAndWithoutInfoAndByIndex) {
  GenderKb kb;
  tq_context* ctx = kb.ctx();
  const std::string path = std::string(TQ_TEST_KB_DIR) + "/gender/golden.tsv";
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  int line_no = 0;
  int cases = 0;
  for (std::string line; std::getline(in, line);) {
    ++line_no;
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = split(line, '\t');
    f.resize(5);
    const std::string where = path + ":" + std::to_string(line_no);
    const char* defn = f[0].empty() ? nullptr : f[0].c_str();
    const int32_t rc = std::stoi(f[3]);
    tq_gender_info* info = nullptr;
    ASSERT_EQ(tq_gender_info_init(ctx, &info), 0);
    Determined plain;
    Determined with;
    if (f[1] == "parsed") {
      plain = determine_parsed(ctx, defn, tokens_of(f[2]));
      with = determine_parsed(ctx, defn, tokens_of(f[2]), info);
    } else {
      plain = determine(ctx, defn, f[2].c_str());
      with = determine(ctx, defn, f[2].c_str(), info);
    }
    EXPECT_EQ(plain.rc, rc) << where << "\n" << tq_test::error_list_text(ctx);
    EXPECT_EQ(plain.gender, f[4]) << where;
    EXPECT_EQ(with.rc, plain.rc) << where;
    EXPECT_EQ(with.gender, plain.gender) << where;
    tq_gender_info_free(ctx, info);
    ++cases;
  }
  EXPECT_GT(cases, 20);
}

TEST(Gender, ByIndexAndRefusals) {
  GenderKb kb;
  tq_context* ctx = kb.ctx();
  char out[8];
  // The definition named "Name" is the first of the locale.
  EXPECT_EQ(tq_gender_determine_by_index(ctx, 0, "John Smith", out), 0) << tq_test::error_list_text(ctx);
  EXPECT_STREQ(out, "M");
  const std::vector<tq_parse_token> john = tokens_of("1=John");
  EXPECT_EQ(tq_gender_determine_parsed_by_index(ctx, 0, john.data(), 1, out), 0);
  EXPECT_STREQ(out, "M");
  // A definition index that names none: message 160 on the string road, the
  // store's own code on the parsed one.
  std::strcpy(out, "zz");
  EXPECT_EQ(tq_gender_determine_by_index(ctx, 999, "John", out), -800);
  EXPECT_STREQ(out, "");
  EXPECT_NE(tq_test::error_list_text(ctx).find("No gender analysis definition can be used for the value 'John'"),
            std::string::npos);
  EXPECT_EQ(tq_gender_determine_parsed_by_index(ctx, 999, john.data(), 1, out), -800);
  // NULL name or output: -802 from the frame.
  EXPECT_EQ(tq_gender_determine(ctx, "Name", nullptr, out), -802);
  EXPECT_EQ(tq_gender_determine_parsed(ctx, "Name", nullptr, 1, out), -802);
  // Counts are clamped: a negative count reads no token, the 33rd is never read.
  EXPECT_EQ(determine_parsed(ctx, "Name", john, nullptr, -5).gender, "X");
  std::vector<tq_parse_token> many = tokens_of("-1=Mary");
  many.resize(33, many[0]);
  many[32] = tokens_of("1=Mary")[0];
  EXPECT_EQ(determine_parsed(ctx, "Name", many).gender, "X");
  many[31] = many[32];
  EXPECT_EQ(determine_parsed(ctx, "Name", many).gender, "F");
}

TEST(Gender, WarmContextsDetermineWithoutAllocating) {
  GenderKb kb;
  tq_context* ctx = kb.ctx();
  const std::vector<tq_parse_token> tokens = tokens_of("1=Jean Anna|2=Mary|3=Smith");
  const char* values[] = {"John Smith", "Smith Jr. Dr.", "Dr. John Q. Smith Jr."};
  for (const char* v : values) ASSERT_GE(determine(ctx, "Name", v).rc, 0);
  ASSERT_EQ(determine_parsed(ctx, "Name", tokens).rc, 0);
  tq_test::AllocCounter counter;
  for (int i = 0; i < 20; ++i) {
    for (const char* v : values) ASSERT_GE(determine(ctx, "Name", v).rc, 0);
    ASSERT_EQ(determine_parsed(ctx, "Name", tokens).rc, 0);
  }
  if (counter.available) {
    EXPECT_EQ(counter.allocations(), 0);
  }
}

// In a UCS-2 session the default definition "Name" is still found (the
// literal is not converted as a caller's name would be), the value comes in
// and the gender goes out in UCS-2 with its two-byte terminator.
TEST(Gender, Ucs2SessionFindsTheDefaultDefinition) {
  GenderKb kb;
  tq_context* ctx = kb.ctx();
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UCS2_LE), 0);
  const std::string value = tq_test::ucs2le("John Smith");
  char out[8];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(tq_gender_determine(ctx, nullptr, value.data(), out), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(std::string(out, 4), std::string("M\0\0\0", 4));
}

TEST(Gender, ParsedInputNeedsThePermissionOrOptionBit21) {
  GenderKb kb(false, 0x200000u);
  EXPECT_EQ(determine_parsed(kb.ctx(), "Strict", tokens_of("1=John")).gender, "M");
  EXPECT_EQ(determine_parsed(kb.ctx(), "Strict", tokens_of("1=John")).rc, 0);
}

TEST(Gender, InfoOfAWorkedRunAndItsBounds) {
  GenderKb kb;
  tq_context* ctx = kb.ctx();
  tq_gender_info* info = nullptr;
  ASSERT_EQ(tq_gender_info_init(ctx, &info), 0);
  // An empty value records nothing.
  EXPECT_EQ(determine(ctx, "Name", "", info).gender, "U");
  uint32_t n = 9;
  for (auto get : {tq_gender_info_token_count_get, tq_gender_info_sig_token_count_get, tq_gender_info_word_count_get,
                   tq_gender_info_gender_value_count_get}) {
    EXPECT_EQ(get(ctx, info, &n), 0);
    EXPECT_EQ(n, 0u);
  }

  EXPECT_EQ(determine_parsed(ctx, "Name", tokens_of("1=John|3=Smith"), info).gender, "M");
  char a[1028];
  char b[1028];
  char c[1028];
  char d[1028];
  EXPECT_EQ(tq_gender_info_token_count_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(tq_gender_info_token_info_get(ctx, info, 1, a, b), 0);
  EXPECT_STREQ(a, "Family Name");
  EXPECT_STREQ(b, "Smith");
  EXPECT_EQ(tq_gender_info_sig_token_count_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(tq_gender_info_sig_token_info_get(ctx, info, 0, a, b), 0);
  EXPECT_STREQ(a, "Given Name");
  EXPECT_STREQ(b, "John");
  EXPECT_EQ(tq_gender_info_word_count_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(tq_gender_info_word_info_get(ctx, info, 0, a, b, c, d), 0);
  EXPECT_STREQ(a, "John");
  EXPECT_STREQ(b, "JOHN");
  EXPECT_STREQ(c, "");
  EXPECT_STREQ(d, "M");
  EXPECT_EQ(tq_gender_info_gender_value_count_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 4u);
  const int32_t scores[] = {1, 0, 0, 0};
  for (uint32_t i = 0; i < 4; ++i) {
    int32_t s = -1;
    EXPECT_EQ(tq_gender_info_score_get(ctx, info, i, &s), 0);
    EXPECT_EQ(s, scores[i]) << i;
  }
  EXPECT_EQ(tq_gender_info_stop_flag_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 1u);
  uint32_t skipped = 9;
  EXPECT_EQ(tq_gender_info_token_skipped_flag_get(ctx, info, 0, &skipped), 0);
  EXPECT_EQ(skipped, 0u);
  EXPECT_EQ(tq_gender_info_token_skipped_flag_get(ctx, info, 1, &skipped), 0);
  EXPECT_EQ(skipped, 1u);
  EXPECT_EQ(tq_gender_info_word_count_per_token_get(ctx, info, 0, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(tq_gender_info_word_get_by_token(ctx, info, 0, 0, a), 0);
  EXPECT_STREQ(a, "John");
  EXPECT_EQ(tq_gender_info_word_uppercased_get_by_token(ctx, info, 0, 0, a), 0);
  EXPECT_STREQ(a, "JOHN");
  EXPECT_EQ(tq_gender_info_vocab_count_get(ctx, info, 0, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(tq_gender_info_vocab_cat_by_token_count_get(ctx, info, 0, 0, 0, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(tq_gender_info_vocab_cat_by_token_get(ctx, info, 0, 0, 0, 0, a, b), 0);
  EXPECT_STREQ(a, "MALE");
  EXPECT_STREQ(b, "M");
  // A word the vocabulary scored never reaches the token's regex library.
  EXPECT_EQ(tq_gender_info_cat_regexlibs_skipped_by_token_get(ctx, info, 0, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(tq_gender_info_cat_regexlib_info_by_token_get(ctx, info, 0, 0, 0, a), 0);
  EXPECT_STREQ(a, "");
  EXPECT_EQ(tq_gender_info_norm_regexlib_count_get(ctx, info, 0, &n), 0);
  EXPECT_EQ(n, 0u);
  uint32_t matched = 9;
  EXPECT_EQ(tq_gender_info_word_norm_get_by_token(ctx, info, 0, 0, 0, a, &matched), -800);
  EXPECT_EQ(matched, 0u);

  // Out of range: -800 with the outputs cleared; the normalized string is
  // always empty.
  std::strcpy(a, "zz");
  std::strcpy(b, "zz");
  EXPECT_EQ(tq_gender_info_token_info_get(ctx, info, 5, a, b), -800);
  EXPECT_STREQ(a, "");
  EXPECT_STREQ(b, "");
  EXPECT_EQ(tq_gender_info_token_skipped_flag_get(ctx, info, 2, &skipped), -800);
  EXPECT_EQ(tq_gender_info_word_get_by_token(ctx, info, 0, 1, a), -800);
  EXPECT_EQ(tq_gender_info_vocab_cat_by_token_get(ctx, info, 0, 0, 1, 0, a, b), -800);
  std::strcpy(a, "zz");
  EXPECT_EQ(tq_gender_info_normalized_string_get(ctx, info, a), 0);
  EXPECT_STREQ(a, "");

  // A regex hit on a word no vocabulary knows, into the same object: the
  // rows are added behind the first run's.
  EXPECT_EQ(determine_parsed(ctx, "Name", tokens_of("1=Anna"), info).gender, "F");
  EXPECT_EQ(tq_gender_info_word_count_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(tq_gender_info_word_info_get(ctx, info, 1, a, b, c, d), 0);
  EXPECT_STREQ(a, "Anna");
  EXPECT_STREQ(d, "F");
  EXPECT_EQ(tq_gender_info_cat_regexlib_info_by_token_get(ctx, info, 0, 0, 0, a), 0);
  EXPECT_STREQ(a, "F");
  EXPECT_EQ(tq_gender_info_cat_regexlib_info_by_token_get(ctx, info, 0, 0, 1, a), -800);

  // A value the parse finds no solution for: the first default, result 0,
  // the no-solution flag, no tokens.
  tq_gender_info* nosol = nullptr;
  ASSERT_EQ(tq_gender_info_init(ctx, &nosol), 0);
  EXPECT_EQ(determine(ctx, nullptr, "Smith Jr. Dr.", nosol).gender, "U");
  EXPECT_EQ(tq_gender_info_no_solution_flag_get(ctx, nosol, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(tq_gender_info_token_count_get(ctx, nosol, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(tq_gender_info_free(ctx, nosol), 0);

  // Values that begin with the same byte show the same score: M and MX tie.
  tq_gender_info* shared = nullptr;
  ASSERT_EQ(tq_gender_info_init(ctx, &shared), 0);
  EXPECT_EQ(determine_parsed(ctx, "Shared", tokens_of("1=John"), shared).gender, "");
  const int32_t shared_scores[] = {1, 1, 0};
  for (uint32_t i = 0; i < 3; ++i) {
    int32_t s = -1;
    EXPECT_EQ(tq_gender_info_score_get(ctx, shared, i, &s), 0);
    EXPECT_EQ(s, shared_scores[i]) << i;
  }
  EXPECT_EQ(tq_gender_info_stop_flag_get(ctx, shared, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(tq_gender_info_free(ctx, shared), 0);
  EXPECT_EQ(tq_gender_info_free(ctx, info), 0);
  EXPECT_EQ(tq_gender_info_free(ctx, nullptr), 0);
}

}  // namespace

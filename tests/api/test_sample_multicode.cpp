// Match codes of the sample knowledge base's definition "Name":
// golden/sample_multicode.tsv, multicodes at 95 and 85, by name and by parsed
// tokens (the parsed road takes the write hold under the call's read hold);
// golden/sample_sound_pairs.tsv, the spellings its sounds take to be one.
#include <filesystem>
#include <string>
#include <vector>

#include "support/tq_test.h"
#include "tq.h"

namespace {

std::string shown(const char* code) {
  std::string s = code;
  for (char& c : s) c = c == ' ' ? '_' : c;
  return s;
}

using tq_test::GoldenRow;

std::vector<GoldenRow> golden_rows(const char* name) {
  return tq_test::golden_rows(std::filesystem::path(TQ_API_GOLDEN_DIR) / name);
}

TEST(SampleKb, MulticodesAtTwoSensitivities) {
  tq_test::Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_MATCH_DEFNS), 0)
      << tq_test::error_list_text(ctx);
  tq_match_multicode_entry* blocks[2] = {};
  ASSERT_EQ(tq_match_multicode_output_create(ctx, "name", &blocks[0]), 0);
  ASSERT_EQ(tq_match_multicode_output_create(ctx, "Name", &blocks[1]), 0);
  const uint32_t sens[2] = {95, 85};
  for (const GoldenRow& row : golden_rows("sample_multicode.tsv")) {
    const std::vector<std::string>& f = row.f;
    ASSERT_EQ(f.size(), 4u) << "sample_multicode.tsv:" << row.line;
    uint32_t num[2] = {};
    EXPECT_EQ(tq_match_multiple_sens_multicode(ctx, "Name", sens, 2, f[0].c_str(), blocks, num), std::stoi(f[1]))
        << "sample_multicode.tsv:" << row.line << "\n" << tq_test::error_list_text(ctx);
    EXPECT_EQ(num[0], 1u);
    EXPECT_EQ(shown(blocks[0][0].code), f[2]) << "sample_multicode.tsv:" << row.line;
    EXPECT_EQ(shown(blocks[1][0].code), f[3]) << "sample_multicode.tsv:" << row.line;
    EXPECT_EQ(blocks[1][0].score, 100.0);
    // The same tokens given parsed give the same code.
    tq_parse_token tokens[TQ_PARSE_TOKENS];
    uint32_t count = 0;
    ASSERT_GE(tq_parse(ctx, "Name", f[0].c_str(), tokens, &count), 0);
    EXPECT_EQ(tq_match_parsed_multicode(ctx, "Name", 85, tokens, count, &blocks[1], num), 0)
        << tq_test::error_list_text(ctx);
    EXPECT_EQ(shown(blocks[1][0].code), f[3]) << "sample_multicode.tsv:" << row.line;
  }
  for (tq_match_multicode_entry* b : blocks) EXPECT_EQ(tq_match_multicode_output_destroy(ctx, b), 0);
}

// golden/sample_sound_pairs.tsv: "same" pairs share their code from 85 down,
// where the sounds (phonetx/en_name_sound) take part, and differ above it;
// "apart" pairs differ at 85; "never" pairs share it nowhere, "always" pairs
// everywhere.
TEST(SampleKb, SoundsAlikeShareTheCodeFrom85) {
  tq_test::Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_MATCH_DEFNS), 0)
      << tq_test::error_list_text(ctx);
  const auto code = [&](const std::string& value, uint32_t sens) {
    char out[4 * 256 + 1];
    EXPECT_EQ(tq_match(ctx, "Name", sens, value.c_str(), out), 0) << value << "\n" << tq_test::error_list_text(ctx);
    return std::string(out);
  };
  for (const GoldenRow& row : golden_rows("sample_sound_pairs.tsv")) {
    const std::vector<std::string>& f = row.f;
    ASSERT_EQ(f.size(), 3u) << "sample_sound_pairs.tsv:" << row.line;
    ASSERT_TRUE(f[2] == "same" || f[2] == "apart" || f[2] == "never" || f[2] == "always")
        << "sample_sound_pairs.tsv:" << row.line;
    for (const uint32_t sens : {95u, 90u, 85u, 80u, 65u, 50u}) {
      if (f[2] == "apart" && sens != 85) continue;
      const bool shared = f[2] == "always" || (f[2] == "same" && sens <= 85);
      EXPECT_EQ(code(f[0], sens) == code(f[1], sens), shared)
          << "sample_sound_pairs.tsv:" << row.line << " " << f[0] << " / " << f[1] << " at " << sens;
    }
  }
}

}  // namespace

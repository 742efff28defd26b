// golden/sample_multicode.tsv: multicodes of the sample knowledge base's match
// definition "Name" at 95 and 85, by name and by parsed tokens (the parsed
// road takes the write hold under the call's read hold).
#include <filesystem>
#include <sstream>
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

TEST(SampleKb, MulticodesAtTwoSensitivities) {
  tq_test::Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_MATCH_DEFNS), 0)
      << tq_test::error_list_text(ctx);
  tq_match_multicode_entry* blocks[2] = {};
  ASSERT_EQ(tq_match_multicode_output_create(ctx, "name", &blocks[0]), 0);
  ASSERT_EQ(tq_match_multicode_output_create(ctx, "Name", &blocks[1]), 0);
  const uint32_t sens[2] = {95, 85};
  const auto lines = tq_test::read_lines(std::filesystem::path(TQ_API_GOLDEN_DIR) / "sample_multicode.tsv");
  int rows = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty() || lines[i][0] == '#') continue;
    std::vector<std::string> f;
    std::stringstream in(lines[i]);
    for (std::string part; std::getline(in, part, '\t');) f.push_back(part);
    ASSERT_EQ(f.size(), 4u) << "sample_multicode.tsv:" << i + 1;
    uint32_t num[2] = {};
    EXPECT_EQ(tq_match_multiple_sens_multicode(ctx, "Name", sens, 2, f[0].c_str(), blocks, num), std::stoi(f[1]))
        << "sample_multicode.tsv:" << i + 1 << "\n" << tq_test::error_list_text(ctx);
    EXPECT_EQ(num[0], 1u);
    EXPECT_EQ(shown(blocks[0][0].code), f[2]) << "sample_multicode.tsv:" << i + 1;
    EXPECT_EQ(shown(blocks[1][0].code), f[3]) << "sample_multicode.tsv:" << i + 1;
    EXPECT_EQ(blocks[1][0].score, 100.0);
    // The same tokens given parsed give the same code.
    tq_parse_token tokens[TQ_PARSE_TOKENS];
    uint32_t count = 0;
    ASSERT_GE(tq_parse(ctx, "Name", f[0].c_str(), tokens, &count), 0);
    EXPECT_EQ(tq_match_parsed_multicode(ctx, "Name", 85, tokens, count, &blocks[1], num), 0)
        << tq_test::error_list_text(ctx);
    EXPECT_EQ(shown(blocks[1][0].code), f[3]) << "sample_multicode.tsv:" << i + 1;
    ++rows;
  }
  EXPECT_GT(rows, 0);
  for (tq_match_multicode_entry* b : blocks) EXPECT_EQ(tq_match_multicode_output_destroy(ctx, b), 0);
}

}  // namespace

// golden/sample_standardize.tsv: names standardized with the sample knowledge
// base's definition "Name" (given-name variants, suffix forms, proper case),
// UTF-8 in and out, with the result code of each.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/tq_test.h"
#include "tq.h"

namespace {

TEST(SampleKb, NamesStandardized) {
  tq_test::Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840,
                               TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_CASE_DEFNS | TQ_LOAD_STDZN_DEFNS),
            0)
      << tq_test::error_list_text(ctx);
  const auto lines = tq_test::read_lines(std::filesystem::path(TQ_API_GOLDEN_DIR) / "sample_standardize.tsv");
  int rows = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty() || lines[i][0] == '#') continue;
    std::vector<std::string> f;
    std::stringstream in(lines[i]);
    for (std::string part; std::getline(in, part, '\t');) f.push_back(part);
    ASSERT_EQ(f.size(), 3u) << "sample_standardize.tsv:" << i + 1;
    char out[TQ_STANDARD_SIZE];
    EXPECT_EQ(tq_standardize(ctx, "Name", f[0].c_str(), out), std::stoi(f[1]))
        << "sample_standardize.tsv:" << i + 1 << "\n" << tq_test::error_list_text(ctx);
    EXPECT_EQ(out, f[2]) << "sample_standardize.tsv:" << i + 1;
    ++rows;
  }
  EXPECT_GT(rows, 0);
}

}  // namespace

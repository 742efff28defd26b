// The gender analysis definition "Name" of the sample knowledge base
// (examples/kb): golden/sample_gender.tsv gives names and their gender, UTF-8
// in and out, by the vocabulary of given names and, for a given name it does
// not know, by its ending.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/tq_test.h"

namespace {

using tq_test::Context;

TEST(SampleKb, NamesGendered) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_GENDER_DEFNS), 0)
      << tq_test::error_list_text(ctx);
  const auto lines = tq_test::read_lines(std::filesystem::path(TQ_API_GOLDEN_DIR) / "sample_gender.tsv");
  int rows = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty() || lines[i][0] == '#') continue;
    const size_t tab = lines[i].find('\t');
    ASSERT_NE(tab, std::string::npos) << "sample_gender.tsv:" << i + 1;
    char gender[8];
    EXPECT_EQ(tq_gender_determine(ctx, nullptr, lines[i].substr(0, tab).c_str(), gender), 0)
        << "sample_gender.tsv:" << i + 1 << "\n" << tq_test::error_list_text(ctx);
    EXPECT_EQ(gender, lines[i].substr(tab + 1)) << "sample_gender.tsv:" << i + 1;
    ++rows;
  }
  EXPECT_GT(rows, 5);
}

}  // namespace

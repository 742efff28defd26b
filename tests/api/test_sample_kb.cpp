// The sample knowledge base of examples/kb, as the build turns it into vault
// and compiled files: every resource loads with its own exports and does
// what the personal-name definition relies on.
#include <filesystem>
#include <string>
#include <vector>

#include "support/alloc_counter.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;

std::vector<std::string> chop(tq_context* ctx, int32_t chopper, const char* value) {
  std::vector<tq_chop_word> words(16);
  uint32_t n = static_cast<uint32_t>(words.size());
  EXPECT_EQ(tq_chop_string(ctx, chopper, value, words.data(), &n), 0) << tq_test::error_list_text(ctx);
  return std::vector<std::string>(words.begin(), words.begin() + n);
}

TEST(SampleKb, ResourcesLoadAndBehave) {
  Context ctx(TQ_SAMPLE_KB);
  int32_t grammar = -1;
  ASSERT_TQ_OK(ctx, tq_grammar_load(ctx, "en_person", &grammar));
  uint32_t count = 0;
  ASSERT_TQ_OK(ctx, tq_grammar_category_count_get(ctx, grammar, &count));
  EXPECT_EQ(count, 18u);

  // A comma is a word of its own; blanks only separate.
  int32_t chopper = -1;
  ASSERT_TQ_OK(ctx, tq_chopper_load(ctx, "en_name", &chopper));
  EXPECT_EQ(chop(ctx, chopper, "Smith,  John Q."), (std::vector<std::string>{"Smith", ",", "John", "Q."}));
  EXPECT_EQ(chop(ctx, chopper, "John Smith, Jr."), (std::vector<std::string>{"John", "Smith", ",", "Jr."}));

  struct Match {
    const char* library;
    const char* value;
    int32_t matched;
  };
  for (const Match& m : {Match{"en_initial", "Q.", 1}, Match{"en_initial", "q", 1}, Match{"en_initial", "Qu.", 0},
                         Match{"en_initial", "Q..", 0}, Match{"en_comma", ",", 1}, Match{"en_comma", ",,", 0}}) {
    int32_t library = -1;
    ASSERT_TQ_OK(ctx, tq_regexlib_load(ctx, m.library, nullptr, &library));
    int32_t matched = -1;
    EXPECT_EQ(tq_regexlib_match(ctx, library, m.value, &matched), 0) << m.library;
    EXPECT_EQ(matched, m.matched) << m.library << " " << m.value;
  }
  int32_t normalize = -1;
  ASSERT_TQ_OK(ctx, tq_regexlib_load(ctx, "en_name_normalize", nullptr, &normalize));
  char out[1100];
  int32_t matched = 0;
  EXPECT_EQ(tq_regexlib_match_and_replace(ctx, normalize, "DR.", out, &matched), 0);
  EXPECT_STREQ(out, "DR");
  EXPECT_EQ(tq_regexlib_match_and_replace(ctx, normalize, "PH.D.", out, &matched), 0);
  EXPECT_STREQ(out, "PH.D");
  EXPECT_EQ(tq_regexlib_match_and_replace(ctx, normalize, "LT. GOV.", out, &matched), 0);
  EXPECT_STREQ(out, "LT GOV");

  // Every word is upper case, as the analysis looks it up; a name on both
  // name lists has both categories, its usual one the likelier.
  int32_t vocab = -1;
  ASSERT_TQ_OK(ctx, tq_vocabulary_load(ctx, "en_person", nullptr, &vocab));
  ASSERT_TQ_OK(ctx, tq_vocab_numcats_get(ctx, vocab, &count));
  EXPECT_EQ(count, 9u);
  ASSERT_TQ_OK(ctx, tq_vocab_numwords_get(ctx, vocab, &count));
  EXPECT_GT(count, 1000u);
  bool thomas = false;
  for (uint32_t w = 0; w < count; ++w) {
    char word[1100];
    uint32_t cats = 0;
    ASSERT_EQ(tq_vocab_word_get(ctx, vocab, w, word, &cats), 0);
    ASSERT_EQ(std::string(word).find_first_of("abcdefghijklmnopqrstuvwxyz"), std::string::npos) << word;
    if (std::string(word) != "THOMAS") continue;
    thomas = true;
    ASSERT_EQ(cats, 2u);
    char abbrev[200];
    int32_t likelihood[2] = {0, 0};
    std::string names;
    for (uint32_t c = 0; c < 2; ++c) {
      ASSERT_EQ(tq_vocab_wordcat_get(ctx, vocab, w, c, abbrev, &likelihood[c]), 0);
      names += std::string(abbrev) + " ";
    }
    EXPECT_EQ(names, "FAMILY GIVEN ");
    EXPECT_LT(likelihood[0], likelihood[1]);
  }
  EXPECT_TRUE(thomas);
}

TEST(SampleKb, LocaleLoadsWithItsDatatypes) {
  Context ctx(TQ_SAMPLE_KB);
  // ENUSA with its parents EN and L1, which the locale table names.
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES), 0) << tq_test::error_list_text(ctx);
  int32_t parent = 0;
  ASSERT_EQ(tq_parent_locale_get(ctx, 29840, &parent), 0);
  EXPECT_EQ(parent, 29000);
  ASSERT_EQ(tq_parent_locale_get(ctx, 29000, &parent), 0);
  EXPECT_EQ(parent, 800000);
  // "Name", inherited from EN, with its five tokens in order.
  int32_t name = -1;
  ASSERT_TQ_OK(ctx, tq_datatype_index_get_by_name(ctx, "Name", &name));
  uint32_t count = 0;
  ASSERT_TQ_OK(ctx, tq_datatype_token_count_get(ctx, name, &count));
  std::vector<std::string> tokens;
  for (uint32_t t = 0; t < count; ++t) {
    char value[1100];
    ASSERT_TQ_OK(ctx, tq_datatype_token_value_get(ctx, name, static_cast<int32_t>(t), value));
    tokens.emplace_back(value);
  }
  EXPECT_EQ(tokens, (std::vector<std::string>{"Prefix", "Given Name", "Middle Name", "Family Name", "Suffix"}));
}

}  // namespace

namespace {

// One line of golden/sample_names.tsv: the value, the result and the five
// token values.
struct Golden {
  int line;
  std::string value;
  int32_t result;
  std::vector<std::string> tokens;
};

std::vector<Golden> golden_names() {
  std::vector<Golden> out;
  const auto lines = tq_test::read_lines(std::filesystem::path(TQ_API_GOLDEN_DIR) / "sample_names.tsv");
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty() || lines[i][0] == '#') continue;
    std::vector<std::string> cols;
    size_t start = 0;
    for (size_t tab; (tab = lines[i].find('\t', start)) != std::string::npos; start = tab + 1) {
      cols.push_back(lines[i].substr(start, tab - start));
    }
    cols.push_back(lines[i].substr(start));
    EXPECT_EQ(cols.size(), 7u) << "sample_names.tsv:" << i + 1;
    if (cols.size() != 7) continue;
    out.push_back({static_cast<int>(i + 1), cols[0], std::stoi(cols[1]), {cols.begin() + 2, cols.end()}});
  }
  return out;
}

TEST(SampleKb, LocaleLoadsAndNamesParse) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS), 0)
      << tq_test::error_list_text(ctx);
  const auto cases = golden_names();
  ASSERT_FALSE(cases.empty());
  std::vector<tq_parse_token> tokens(32);
  for (const Golden& g : cases) {
    uint32_t count = 0;
    EXPECT_EQ(tq_parse(ctx, "Name", g.value.c_str(), tokens.data(), &count), g.result)
        << "sample_names.tsv:" << g.line << "\n" << tq_test::error_list_text(ctx);
    ASSERT_EQ(count, 5u) << "sample_names.tsv:" << g.line;
    std::vector<std::string> got;
    for (uint32_t k = 0; k < count; ++k) got.emplace_back(tokens[k].value);
    EXPECT_EQ(got, g.tokens) << "sample_names.tsv:" << g.line << " " << g.value;
  }
}

// Runs each line "value<TAB>expected" of golden file `name` through
// `run(value, out)`, which must return 0 and write the expected text.
template <typename Run>
void expect_golden_pairs(tq_context* ctx, const char* name, Run run) {
  const auto lines = tq_test::read_lines(std::filesystem::path(TQ_API_GOLDEN_DIR) / name);
  int rows = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty() || lines[i][0] == '#') continue;
    const size_t tab = lines[i].find('\t');
    ASSERT_NE(tab, std::string::npos) << name << ":" << i + 1;
    char out[1028];
    EXPECT_EQ(run(lines[i].substr(0, tab).c_str(), out), 0) << name << ":" << i + 1 << "\n"
                                                            << tq_test::error_list_text(ctx);
    EXPECT_EQ(out, lines[i].substr(tab + 1)) << name << ":" << i + 1;
    ++rows;
  }
  EXPECT_GT(rows, 0);
}

// golden/sample_propercase.tsv: a value and its proper-cased form under the
// case definition "Name", UTF-8 in and out.
TEST(SampleKb, NamesProperCased) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_CASE_DEFNS), 0) << tq_test::error_list_text(ctx);
  expect_golden_pairs(ctx, "sample_propercase.tsv",
                      [&](const char* value, char* out) { return tq_propercase(ctx, "Name", value, out, 1024); });
}

// golden/sample_identify.tsv: a value and its identity under the
// identification definition "Name" (companies, firms named after their
// partners, personal names with "and").
TEST(SampleKb, NamesIdentified) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_IDENT_DEFNS), 0)
      << tq_test::error_list_text(ctx);
  expect_golden_pairs(ctx, "sample_identify.tsv",
                      [&](const char* value, char* out) { return tq_identify(ctx, "Name", value, out); });
}

// Once warm, casing names allocates nothing: upper and lower with no
// definition, proper under "Name" (its chopper, scheme spans and title
// casing by word breaks).
TEST(SampleKb, WarmCasingAllocatesNothing) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_CASE_DEFNS), 0) << tq_test::error_list_text(ctx);
  const char* values[] = {"JOHANNES VAN DER WAALS", "douglas macarthur jr", "Élise Müller Straße",
                          "SEAN PATRICK O'BRIEN", "jean-paul belmondo"};
  char out[1028];
  const auto all = [&] {
    for (const char* v : values) {
      ASSERT_EQ(tq_uppercase(ctx, nullptr, v, out, sizeof out), 0);
      ASSERT_EQ(tq_lowercase(ctx, nullptr, v, out, sizeof out), 0);
      ASSERT_EQ(tq_propercase(ctx, "Name", v, out, sizeof out), 0) << tq_test::error_list_text(ctx);
    }
  };
  all();
  tq_test::AllocCounter counter;
  for (int i = 0; i < 10; ++i) all();
  if (counter.available) {
    EXPECT_EQ(counter.allocations(), 0);
  }
}

}  // namespace

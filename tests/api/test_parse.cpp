// Parsing through the library on the personal-name knowledge base of
// tests/kb/parse: values into tokens (worked values in
// tests/kb/parse/golden.tsv), the result codes, parse info, the definitions
// that reading or preparation refuses, a definition's own optimization
// parameters, and clones preparing one definition at once.
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/alloc_counter.h"
#include "support/parse_kb.h"
#include "support/tq_test.h"

namespace {

using tq_test::ParseKb;

struct Parsed {
  int32_t rc = 0;
  std::string values;  // "|" between them
  std::vector<int32_t> indexes;
};

Parsed parse(tq_context* ctx, const char* defn, const char* value, tq_parse_info* info = nullptr) {
  std::vector<tq_parse_token> tokens(TQ_PARSE_TOKENS);
  Parsed p;
  uint32_t n = 99;
  p.rc = tq_parse_with_info(ctx, defn, value, tokens.data(), &n, info);
  for (uint32_t i = 0; i < n && i < TQ_PARSE_TOKENS; ++i) {
    p.values += (i ? "|" : "") + std::string(tokens[i].value);
    p.indexes.push_back(tokens[i].index);
  }
  return p;
}

std::string last_error(tq_context* ctx) {
  int32_t code = 0;
  char text[4100] = "";
  tq_error_info_get(ctx, &code, text);
  return std::to_string(code) + " " + text;
}

// ---- Golden cases ---------------------------------------------------------------------

struct Golden {
  int line;
  std::string defn, value, values;
  int32_t rc;
};

std::vector<Golden> golden_cases() {
  std::vector<Golden> cases;
  std::ifstream in(ParseKb::source("golden.tsv"));
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(cell);
    if (f.size() == 3) f.emplace_back();
    if (f.size() != 4) {
      ADD_FAILURE() << "golden.tsv:" << n << ": four fields expected";
      continue;
    }
    cases.push_back({n, f[0], f[1], f[3], std::stoi(f[2])});
  }
  return cases;
}

class ParseGolden : public testing::TestWithParam<Golden> {
 protected:
  static void SetUpTestSuite() { kb_ = new ParseKb; }
  static void TearDownTestSuite() {
    delete kb_;
    kb_ = nullptr;
  }
  static ParseKb* kb_;
};
ParseKb* ParseGolden::kb_ = nullptr;

TEST_P(ParseGolden, ValueIntoTokens) {
  const Golden& g = GetParam();
  SCOPED_TRACE("golden.tsv:" + std::to_string(g.line));
  Parsed p = parse(kb_->ctx(), g.defn.c_str(), g.value.c_str());
  EXPECT_EQ(p.rc, g.rc) << tq_test::error_list_text(kb_->ctx());
  EXPECT_EQ(p.values, g.values);
  // Every slot names its own datatype token, empty ones included.
  for (size_t i = 0; i < p.indexes.size(); ++i) EXPECT_EQ(p.indexes[i], static_cast<int32_t>(i));
}

INSTANTIATE_TEST_SUITE_P(Kb, ParseGolden, testing::ValuesIn(golden_cases()),
                         [](const testing::TestParamInfo<Golden>& i) { return "line" + std::to_string(i.param.line); });

// ---- Results, failures, allocation -----------------------------------------------------

TEST(Parse, DefinitionsRefusedAndTheirMessages) {
  ParseKb kb;
  tq_context* ctx = kb.ctx();
  // Three definitions could not be read whole: 33 categories in a token, 33
  // tokens, a no-solution section without its unknown token.
  EXPECT_EQ(kb.load_rc(), TQ_WARN_LOCALE_PROBLEMS);
  // A grammar that cannot be opened leaves the definition without a sought
  // category and without token or no-solution categories.
  const std::string errors = tq_test::error_list_text(ctx);
  for (const char* text : {"The grammar 'Nope' named by the Parse definition 'No Grammar' cannot be opened.",
                           "The parse definition 'No Grammar' names a sought category but no grammar.",
                           "The parse definition 'No Grammar' names token categories but no grammar."}) {
    EXPECT_NE(errors.find(text), std::string::npos) << text << "\n" << errors;
  }
  EXPECT_NE(errors.find("The no-solution token 'Family Name' of the parse definition 'Long NoSol' names more than 32"),
            std::string::npos);
  for (const char* name : {"Too Many Categories", "Too Many Tokens", "No Unknown Token", "No Grammar", "Long NoSol"}) {
    EXPECT_EQ(parse(ctx, name, "John Smith").rc, TQ_ERR_DEFN_INVALID) << name;
  }
  // A category the grammar lacks loads, but every parse refuses it.
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(parse(ctx, "Missing Category", "John Smith").rc, TQ_ERR_RESOURCE_LACKS);
    EXPECT_EQ(last_error(ctx), "-706 The grammar of the Parse definition 'Missing Category' has no category 'NOSUCH'.");
  }
  EXPECT_EQ(parse(ctx, "Nobody", "John Smith").rc, TQ_ERR_NAME);
  // The caller's slots are emptied before anything can fail.
  tq_parse_token tokens[TQ_PARSE_TOKENS];
  std::memset(tokens, 'x', sizeof tokens);
  uint32_t n = 7;
  EXPECT_EQ(tq_parse_by_index(ctx, 99, "John", tokens, &n), TQ_ERR_INDEX);
  EXPECT_EQ(n, 0u);
  for (const tq_parse_token& t : tokens) {
    EXPECT_EQ(t.index, -1);
    EXPECT_EQ(t.value[0], '\0');
  }
  // The same by index and through the other names of the operation.
  EXPECT_EQ(tq_parse_by_index(ctx, 0, "Dr. John Q. Smith Jr.", tokens, &n), 0);
  EXPECT_EQ(n, 5u);
  EXPECT_STREQ(tokens[2].value, "Q.");
  EXPECT_EQ(tq_parse_nonsurfaced(ctx, "name split", "Smith Jr. Dr.", tokens, &n), TQ_WARN_NO_SOLUTION);
  EXPECT_STREQ(tokens[0].value, "Smith");
  // A character replaced on the way in is a warning the parse result wins over.
  tq_options_set(ctx, 1u | TQ_OPT_WARN_REPLACED);
  EXPECT_EQ(tq_parse(ctx, "Name", "Dr. John Q. Smith Jr.", tokens, &n), 0);
  EXPECT_EQ(tq_parse(ctx, "Name", "John \xff", tokens, &n), TQ_WARN_NO_SOLUTION);
}

TEST(Parse, ResourceLimitWinsOverNoSolution) {
  ParseKb kb;
  tq_context* ctx = kb.ctx();
  // NAME -> NAME NAME | GIVEN: the derivations of n words grow as the
  // Catalan numbers, past any limit.
  std::string many;
  for (int i = 0; i < 16; ++i) many += "John ";
  tq_parse_info* info = nullptr;
  ASSERT_EQ(tq_parse_info_init(ctx, &info), 0);
  Parsed p = parse(ctx, "Ambiguous", many.c_str(), info);
  EXPECT_EQ(p.rc, TQ_WARN_LIMIT_REACHED) << tq_test::error_list_text(ctx);
  // The words were split evenly, as for no solution.
  EXPECT_EQ(p.values, "John John John John|John John John John|John John John John|John John John John|");
  uint32_t flag = 0;
  EXPECT_EQ(tq_parse_info_abandoned_flag_get(ctx, info, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_parse_info_free(ctx, info), 0);
}

// A token added to a definition without no-solution categories brings an
// empty no-solution slot with it; that slot must not turn the even split
// off (it is not written, so the definition would split again once read).
TEST(Parse, AddedTokenKeepsTheEvenSplit) {
  ParseKb kb(true);
  tq_context* ctx = kb.ctx();
  int32_t index = -1;
  ASSERT_EQ(tq_nonsurfaced_parse_defn_index_get_by_name(ctx, "Ambiguous", &index), 0);
  char name[1100] = "";
  ASSERT_EQ(tq_parse_defn_token_name_get(ctx, index, 4, name), 0);
  ASSERT_EQ(tq_parse_defn_token_delete(ctx, index, 4), 0);
  int32_t token = -1;
  ASSERT_EQ(tq_parse_defn_token_add(ctx, index, name, &token), 0) << tq_test::error_list_text(ctx);
  std::string many;
  for (int i = 0; i < 16; ++i) many += "John ";
  Parsed p = parse(ctx, "Ambiguous", many.c_str());
  EXPECT_EQ(p.rc, TQ_WARN_LIMIT_REACHED) << tq_test::error_list_text(ctx);
  EXPECT_EQ(p.values, "John John John John|John John John John|John John John John|John John John John|");
}

TEST(Parse, WarmContextsParseWithoutAllocating) {
  ParseKb kb;
  tq_context* ctx = kb.ctx();
  std::vector<tq_parse_token> tokens(TQ_PARSE_TOKENS);
  uint32_t n = 0;
  const char* values[] = {"Dr. John Q. Smith Jr.", "Smith Jr. Dr.", "John Smith"};
  for (const char* v : values) ASSERT_GE(tq_parse(ctx, "Name", v, tokens.data(), &n), 0);
  tq_test::AllocCounter counter;
  for (int i = 0; i < 30; ++i) {
    for (const char* v : values) ASSERT_GE(tq_parse(ctx, "Name", v, tokens.data(), &n), 0);
  }
  if (counter.available) {
    EXPECT_EQ(counter.allocations(), 0);
  }
}

// ---- Parse info -----------------------------------------------------------------------------

std::string rule_text(tq_context* ctx, tq_parse_info* info, tq_solution_rule* rule) {
  char text[TQ_PARSE_VALUE_SIZE] = "";
  EXPECT_EQ(tq_parse_solution_rule_string_get(ctx, info, rule, text), 0);
  return text;
}

TEST(Parse, InfoKeepsItsOwnCopies) {
  ParseKb kb;
  tq_context* ctx = kb.ctx();
  tq_parse_info* first = nullptr;
  tq_parse_info* second = nullptr;
  ASSERT_EQ(tq_parse_info_init(ctx, &first), 0);
  ASSERT_EQ(tq_parse_info_init(ctx, &second), 0);
  ASSERT_EQ(parse(ctx, "Name", "Dr. John Q. Smith Jr.", first).rc, 0);

  uint32_t count = 0, score = 0, matched = 9;
  char text[TQ_PARSE_VALUE_SIZE];
  EXPECT_EQ(tq_parse_info_solution_list_count_get(ctx, first, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(tq_parse_info_best_solution_score_get(ctx, first, &score), 0);
  EXPECT_EQ(score, 5740u);
  EXPECT_EQ(tq_parse_info_solution_score_get(ctx, first, 1, &score), TQ_ERR_INDEX);
  EXPECT_EQ(tq_parse_info_chopped_word_list_count_get(ctx, first, &count), 0);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(tq_parse_info_chopped_word_get(ctx, first, 4, text), 0);
  EXPECT_STREQ(text, "Jr.");
  EXPECT_EQ(tq_parse_info_chopped_word_get(ctx, first, 5, text), TQ_ERR_INDEX);
  EXPECT_EQ(tq_parse_info_token_name_get(ctx, first, 0, text), 0);
  EXPECT_STREQ(text, "Prefix");
  EXPECT_EQ(tq_parse_info_token_name_get(ctx, first, 5, text), TQ_ERR_INDEX);
  // No preprocessing libraries: step 0 is empty, step 1 does not exist.
  EXPECT_EQ(tq_parse_info_preprocessed_info_get(ctx, first, 0, text, &matched), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(matched, 0u);
  EXPECT_EQ(tq_parse_info_preprocessed_info_get(ctx, first, 1, text, &matched), TQ_ERR_INDEX);
  EXPECT_EQ(tq_parse_info_preprocessed_string_get(ctx, first, text), 0);
  EXPECT_STREQ(text, "Dr. John Q. Smith Jr.");
  EXPECT_EQ(tq_parse_info_any_preprocessing_regexlib_matched_get(ctx, first, &matched), 0);
  EXPECT_EQ(matched, 0u);
  tq_morph_analyzer_info* morph = nullptr;
  EXPECT_EQ(tq_parse_info_morph_analyzer_info_get(ctx, first, &morph), 0);
  EXPECT_EQ(tq_morph_analyzer_info_analyzed_word_norm_get(ctx, morph, 0, text), 0);
  EXPECT_STREQ(text, "DR");

  // Later parses, and freeing an info after them, leave this info whole.
  ASSERT_EQ(parse(ctx, "Name", "John Smith", second).rc, 0);
  ASSERT_EQ(parse(ctx, "Name", "Smith Jr. Dr.").rc, TQ_WARN_NO_SOLUTION);
  EXPECT_EQ(tq_parse_info_free(ctx, second), 0);
  tq_solution_rule* best = nullptr;
  ASSERT_EQ(tq_parse_info_best_solution_rule_get(ctx, first, &best), 0);
  ASSERT_NE(best, nullptr);
  EXPECT_EQ(tq_solution_rule_parent_abbr_get(ctx, best, text), 0);
  EXPECT_STREQ(text, "NAME");
  EXPECT_EQ(rule_text(ctx, first, best), "Dr. John Q. Smith Jr.");
  tq_solution_rule* body = nullptr;
  ASSERT_EQ(tq_solution_rule_child_rule_get(ctx, best, 0, &body), 0);
  EXPECT_EQ(rule_text(ctx, first, body), "John Q. Smith");
  EXPECT_EQ(tq_solution_rule_free(ctx, body), 0);
  EXPECT_EQ(tq_solution_rule_free(ctx, best), 0);

  // A parse into an info that holds results replaces them; without a
  // solution the best rule is none.
  ASSERT_EQ(parse(ctx, "Name", "Smith Jr. Dr.", first).rc, TQ_WARN_NO_SOLUTION);
  EXPECT_EQ(tq_parse_info_best_solution_rule_get(ctx, first, &best), 0);
  EXPECT_EQ(best, nullptr);
  EXPECT_EQ(tq_parse_info_best_solution_score_get(ctx, first, &score), 0);
  EXPECT_EQ(score, 0u);
  EXPECT_EQ(tq_parse_info_chopped_word_list_count_get(ctx, first, &count), 0);
  EXPECT_EQ(count, 3u);
  // Each preprocessing library is one step of the info.
  ASSERT_EQ(parse(ctx, "Joined", "Dr. John Q. Smith Jr.", first).rc, 0);
  EXPECT_EQ(tq_parse_info_preprocessed_info_get(ctx, first, 0, text, &matched), 0);
  EXPECT_STREQ(text, "Dr. John Q. Smith Jr");
  EXPECT_EQ(matched, 1u);
  EXPECT_EQ(tq_parse_info_preprocessed_info_get(ctx, first, 1, text, &matched), TQ_ERR_INDEX);
  EXPECT_EQ(tq_parse_info_any_preprocessing_regexlib_matched_get(ctx, first, &matched), 0);
  EXPECT_EQ(matched, 1u);
  EXPECT_EQ(tq_parse_info_free(ctx, first), 0);
  EXPECT_EQ(tq_parse_info_free(ctx, nullptr), 0);
}

// ---- The definition's part ----------------------------------------------------------------

TEST(Parse, OptimizationParametersOfADefinition) {
  ParseKb kb(true);
  tq_context* ctx = kb.ctx();
  int32_t flag = 9, levels = 0, limit = 0;
  EXPECT_EQ(tq_parse_defn_optimization_params_get(ctx, 0, &flag, &levels, &limit), 0);
  EXPECT_EQ(std::vector<int32_t>({flag, levels, limit}), (std::vector<int32_t>{0, 6, 2800}));
  ASSERT_EQ(parse(ctx, "Name", "Dr. John Q. Smith Jr.").rc, 0);
  EXPECT_EQ(tq_parse_defn_optimization_params_set(ctx, 0, 11, 7000), -802);
  // A refused limit changes nothing, the levels and the override included.
  EXPECT_EQ(tq_parse_defn_optimization_params_set(ctx, 0, 5, 3000), -802);
  EXPECT_EQ(tq_parse_defn_optimization_params_get(ctx, 0, &flag, &levels, &limit), 0);
  EXPECT_EQ(std::vector<int32_t>({flag, levels, limit}), (std::vector<int32_t>{0, 6, 2800}));
  EXPECT_EQ(tq_parse_defn_optimization_params_set(ctx, 0, 5, 2800), 0);
  EXPECT_EQ(tq_parse_defn_optimization_params_get(ctx, 0, &flag, &levels, &limit), 0);
  EXPECT_EQ(std::vector<int32_t>({flag, levels, limit}), (std::vector<int32_t>{1, 5, 2800}));
  // The next parse prepares again with the new levels: another score.
  tq_parse_info* info = nullptr;
  ASSERT_EQ(tq_parse_info_init(ctx, &info), 0);
  uint32_t score = 0;
  ASSERT_EQ(parse(ctx, "Name", "Dr. John Q. Smith Jr.", info).rc, 0);
  EXPECT_EQ(tq_parse_info_best_solution_score_get(ctx, info, &score), 0);
  EXPECT_EQ(score, 5905u);
  EXPECT_EQ(tq_parse_defn_optimization_params_remove(ctx, 0), 0);
  tq_parse_info* later = nullptr;
  ASSERT_EQ(tq_parse_info_init(ctx, &later), 0);
  ASSERT_EQ(parse(ctx, "Name", "Dr. John Q. Smith Jr.", later).rc, 0);
  EXPECT_EQ(tq_parse_info_best_solution_score_get(ctx, later, &score), 0);
  EXPECT_EQ(score, 5740u);
  // The first info still reads its solutions, made by the parser object
  // the definition gave up when it was prepared again.
  tq_solution_rule* rule = nullptr;
  ASSERT_EQ(tq_parse_info_best_solution_rule_get(ctx, info, &rule), 0);
  char abbr[TQ_PARSE_VALUE_SIZE] = "";
  EXPECT_EQ(tq_solution_rule_parent_abbr_get(ctx, rule, abbr), 0);
  EXPECT_STREQ(abbr, "NAME");
  EXPECT_EQ(tq_solution_rule_free(ctx, rule), 0);
  EXPECT_EQ(tq_parse_info_free(ctx, info), 0);
  EXPECT_EQ(tq_parse_info_free(ctx, later), 0);
  EXPECT_EQ(tq_parse_defn_optimization_params_get(ctx, 0, &flag, &levels, &limit), 0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(tq_parse_defn_optimization_params_get(ctx, 99, &flag, &levels, &limit), TQ_ERR_INDEX);
}

// Clones find the definition unprepared at once: one prepares, the others
// find it prepared after taking the hold, and every parse gives the tokens.
TEST(Parse, ClonesPrepareOneDefinitionTogether) {
  ParseKb kb;
  constexpr int kClones = 4;
  tq_context* clones[kClones] = {};
  for (tq_context*& c : clones) ASSERT_EQ(tq_clone(kb.ctx(), &c), 0);
  int failures[kClones] = {};
  std::vector<std::thread> threads;
  for (int t = 0; t < kClones; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        Parsed p = parse(clones[t], i % 2 ? "Name" : "Name Split", "Dr. John Q. Smith Jr.");
        if (p.rc != 0 || p.values != "Dr.|John|Q.|Smith|Jr.") ++failures[t];
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kClones; ++t) {
    EXPECT_EQ(failures[t], 0) << t;
    tq_close(clones[t]);
  }
}

}  // namespace

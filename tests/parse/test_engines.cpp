// The chart and one-word engines, solutions and their scores, rule handles
// and the parser cache, on the worked person-name grammar.
#include <algorithm>
#include <cstring>
#include <string>

#include "parse/kroptp.h"
#include "resources/krchop.h"
#include "resources/krwlst.h"
#include "parse_fixture.h"

namespace {

using namespace tq;
using namespace parse_test;

struct NameKb {
  tq_test::BareContext bc;
  int32_t g = -1;
  NameKb() {
    g = make_grammar(bc.get(), "PersonName", {"PREFIX", "GIVEN", "INITIAL", "FAMILY", "SUFFIX", "NAME", "BODY"},
                     {"NAME > PREFIX BODY SUFFIX : 90", "NAME > BODY : 50", "BODY > GIVEN INITIAL FAMILY : 80",
                      "BODY > GIVEN FAMILY : 70"});
  }
  context* ctx() { return bc.get(); }
  int32_t cat(const char* name) { return cat_index(ctx(), g, name); }
};

// "Dr. John Q. Smith Jr." as analysis gives it: JOHN's pairs sorted by name.
Words full_name(context* ctx) {
  return Words(ctx, {{{"PREFIX", 90}}, {{"FAMILY", 30}, {"GIVEN", 90}}, {{"INITIAL", 70}}, {{"FAMILY", 90}},
                     {{"SUFFIX", 90}}});
}

std::string abbr(context* ctx, solution_rule* r, int32_t i = -1) {
  char text[1028] = "?";
  const int32_t rc = i < 0 ? tqx_solution_rule_parent_abbr_get(ctx, r, text) : tqx_solution_rule_cat_abbr_get(ctx, r, i, text);
  return rc == 0 ? text : std::to_string(rc);
}

TEST(ChartParse, HandComputedScoresAndTheBestRule) {
  NameKb kb;
  Parser chart(kb.ctx(), kParserChart, kb.g, kb.cat("NAME"));
  ASSERT_EQ(chart.rc, 0);
  Words words = full_name(kb.ctx());
  {
    Solutions s;
    ASSERT_EQ(parser_run(kb.ctx(), chart.p, words.get(), 0, 4, &s.list), 0);
    ASSERT_EQ(s.count(), 1u);
    parse_solution* best = s.best();
    ASSERT_NE(best, nullptr);
    EXPECT_EQ(best->score, 5740);
    EXPECT_EQ(best->first, 0);
    EXPECT_EQ(best->last, 4);  // the last word it covers
    cat_span span{};
    ASSERT_EQ(parse_solution_cat_span_get(kb.ctx(), best, "BODY", &span), 0);
    EXPECT_EQ(span.found, 1);
    EXPECT_EQ(span.first, 1);
    EXPECT_EQ(span.last, 3);
    ASSERT_EQ(parse_solution_cat_span_get(kb.ctx(), best, "GIVEN", &span), 0);
    EXPECT_EQ(span.first, 1);
    EXPECT_EQ(span.last, 1);

    solution_rule* rule = nullptr;
    ASSERT_EQ(solrule_from_solution(kb.ctx(), best, &rule), 0);
    uint32_t priority = 0, count = 0, children = 0;
    EXPECT_EQ(abbr(kb.ctx(), rule), "NAME");
    EXPECT_EQ(tqx_solution_rule_priority_get(kb.ctx(), rule, &priority), 0);
    EXPECT_EQ(priority, 90u);
    EXPECT_EQ(tqx_solution_rule_cat_count_get(kb.ctx(), rule, &count), 0);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(abbr(kb.ctx(), rule, 0) + abbr(kb.ctx(), rule, 1) + abbr(kb.ctx(), rule, 2), "PREFIXBODYSUFFIX");
    EXPECT_EQ(abbr(kb.ctx(), rule, 3), "-800");
    EXPECT_EQ(tqx_solution_rule_child_rule_count_get(kb.ctx(), rule, &children), 0);
    EXPECT_EQ(children, 1u);
    solution_rule* child = nullptr;
    ASSERT_EQ(tqx_solution_rule_child_rule_get(kb.ctx(), rule, 0, &child), 0);
    EXPECT_EQ(abbr(kb.ctx(), child), "BODY");
    EXPECT_EQ(tqx_solution_rule_priority_get(kb.ctx(), child, &priority), 0);
    EXPECT_EQ(priority, 80u);
    // Only one child is a rule: index 1 has no node to stand for.
    solution_rule* none = nullptr;
    EXPECT_EQ(tqx_solution_rule_child_rule_get(kb.ctx(), rule, 1, &none), TQ_ERR_INDEX);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(tqx_solution_rule_child_rule_get(kb.ctx(), rule, 3, &none), TQ_ERR_INDEX);

    // Texts come from the chopped words, separators inside kept.
    word_list chopped{};
    ASSERT_EQ(chop_run(kb.ctx(), -1, "Dr. John   Q. Smith Jr.", &chopped), 0);
    char text[kWordTextSize];
    ASSERT_EQ(parse_solution_text_get(kb.ctx(), best, &chopped, text), 0);
    EXPECT_STREQ(text, "Dr. John   Q. Smith Jr.");
    ASSERT_EQ(solrule_string_get(kb.ctx(), child, &chopped, text), 0);
    EXPECT_STREQ(text, "John   Q. Smith");
    wordlist_free(&chopped);

    // A copy outlives the next parse.
    parse_solution copy{};
    ASSERT_EQ(parse_solution_copy(kb.ctx(), best, &copy), 0);
    EXPECT_EQ(tqx_solution_rule_free(kb.ctx(), child), 0);
    EXPECT_EQ(tqx_solution_rule_free(kb.ctx(), rule), 0);
    Solutions again;
    ASSERT_EQ(parser_run(kb.ctx(), chart.p, words.get(), 0, 4, &again.list), 0);
    EXPECT_EQ(copy.score, 5740);
    ASSERT_EQ(parse_solution_cat_span_get(kb.ctx(), &copy, "BODY", &span), 0);
    EXPECT_EQ(span.last, 3);
    parse_solution_free(&copy);
  }
  // Five levels, through the context's override.
  ASSERT_EQ(tqx_parse_opt_params_scoring_levels_override_set(kb.ctx(), 5), 0);
  {
    Solutions s;
    ASSERT_EQ(parser_run(kb.ctx(), chart.p, words.get(), 0, 4, &s.list), 0);
    ASSERT_NE(s.best(), nullptr);
    EXPECT_EQ(s.best()->score, 5905);
  }
  ASSERT_EQ(tqx_parse_opt_params_scoring_levels_override_remove(kb.ctx()), 0);
  {
    Words two(kb.ctx(), {{{"FAMILY", 30}, {"GIVEN", 90}}, {{"FAMILY", 90}}});
    Solutions s;
    ASSERT_EQ(parser_run(kb.ctx(), chart.p, two.get(), 0, 1, &s.list), 0);
    ASSERT_NE(s.best(), nullptr);
    EXPECT_EQ(s.best()->score, 2949);
  }
  {
    // A sub-range: the solution's last word is the last it covers.
    Words three(kb.ctx(), {{{"GIVEN", 90}}, {{"FAMILY", 90}}, {{"SUFFIX", 90}}});
    Solutions s;
    ASSERT_EQ(parser_run(kb.ctx(), chart.p, three.get(), 0, 1, &s.list), 0);
    ASSERT_EQ(s.count(), 1u);
    EXPECT_EQ(s.at(0)->last, 1);
  }
}

TEST(Scoring, LevelWeightsBestChoiceAndPairs) {
  parse_solution s{};
  s.level_count = 6;
  parse_solution_score(nullptr, &s, 6);
  EXPECT_EQ(s.score, 1050);
  s = parse_solution{};
  s.level_count = 6;
  s.levels[0] = {90, 1};
  parse_solution_score(nullptr, &s, 6);
  EXPECT_EQ(s.score, 1290);
  // Never more pairs than the solution holds.
  s = parse_solution{};
  s.level_count = 5;
  parse_solution_score(nullptr, &s, 11);
  EXPECT_EQ(s.score, (500 * 15 / 10) * 3 / 2);

  parse_solution a{}, b{}, c{};
  a.score = 10;
  b.score = 20;
  c.score = 20;
  vec list{};
  ASSERT_EQ(vec_init(&list, 4), 0);
  parse_solution* best = &a;
  EXPECT_EQ(parse_solution_best_get(nullptr, &list, &best), 0);
  EXPECT_EQ(best, nullptr);
  vec_push(&list, &a);
  vec_push(&list, &b);
  vec_push(&list, &c);
  EXPECT_EQ(parse_solution_best_get(nullptr, &list, &best), 0);
  EXPECT_EQ(best, &b);  // the first of equal scores
  a.score = b.score = c.score = 0;
  EXPECT_EQ(parse_solution_best_get(nullptr, &list, &best), 0);
  EXPECT_EQ(best, nullptr);
  vec_free_fn_set(&list, vec_free_noop);
  vec_free(&list);
}

TEST(ChartParse, ResourceLimitAndFirstBeyondTheEnd) {
  tq_test::BareContext bc;
  const int32_t g = make_grammar(bc.get(), "Lists", {"WORD", "LIST"}, {"LIST > LIST LIST : 50", "LIST > WORD : 50"});
  Parser chart(bc.get(), kParserChart, g, cat_index(bc.get(), g, "LIST"));
  ASSERT_EQ(chart.rc, 0);
  std::vector<std::vector<std::pair<std::string, int32_t>>> a(12, {{"WORD", 50}});
  Words twelve(bc.get(), a);
  Solutions s;
  EXPECT_EQ(parser_run(bc.get(), chart.p, twelve.get(), 0, 11, &s.list), TQ_WARN_LIMIT_REACHED);
  EXPECT_EQ(s.count(), 0u);
  // A larger limit lets the same input through: every bracketing is a solution.
  ASSERT_EQ(tqx_parse_opt_params_resource_limit_override_set(bc.get(), 50000), 0);
  Words six(bc.get(), std::vector<std::vector<std::pair<std::string, int32_t>>>(6, {{"WORD", 50}}));
  Solutions all;
  EXPECT_EQ(parser_run(bc.get(), chart.p, six.get(), 0, 5, &all.list), 0);
  EXPECT_EQ(all.count(), 42u);  // Catalan(5)
  // Spans: the shallowest node of the category, the leftmost among equals.
  Words three(bc.get(), std::vector<std::vector<std::pair<std::string, int32_t>>>(3, {{"WORD", 50}}));
  Solutions two;
  ASSERT_EQ(parser_run(bc.get(), chart.p, three.get(), 0, 2, &two.list), 0);
  ASSERT_EQ(two.count(), 2u);
  std::vector<int32_t> firsts;
  for (uint32_t i = 0; i < 2; ++i) {
    cat_span span{};
    ASSERT_EQ(parse_solution_cat_span_get(bc.get(), two.at(i), "WORD", &span), 0);
    EXPECT_EQ(span.first, span.last);
    firsts.push_back(span.first);
  }
  std::sort(firsts.begin(), firsts.end());
  EXPECT_EQ(firsts, (std::vector<int32_t>{0, 2}));  // (A A) A gives the third word, A (A A) the first
  Solutions none;
  EXPECT_EQ(parser_run(bc.get(), chart.p, six.get(), 7, 9, &none.list), TQ_ERR_ARGUMENT);
}

TEST(OneWord, CompositeSelectsItAndItsRuleHandle) {
  NameKb kb;
  parser_rec* p = nullptr;
  ASSERT_EQ(parse_defn_parser_get(kb.ctx(), kb.g, kb.cat("FAMILY"), nullptr, &p), 0);
  Words smith(kb.ctx(), {{{"FAMILY", 90}}});
  Solutions s;
  ASSERT_EQ(parser_run(kb.ctx(), p, smith.get(), 0, 0, &s.list), 0);
  ASSERT_EQ(s.count(), 1u);
  parse_solution* best = s.best();
  EXPECT_EQ(best->score, 500);
  EXPECT_EQ(best->parser->kind, kParserOneWord);
  solution_rule* rule = nullptr;
  ASSERT_EQ(solrule_from_solution(kb.ctx(), best, &rule), 0);
  uint32_t priority = 0, count = 0;
  EXPECT_EQ(abbr(kb.ctx(), rule), "(None)");
  EXPECT_EQ(tqx_solution_rule_priority_get(kb.ctx(), rule, &priority), 0);
  EXPECT_EQ(priority, 50u);
  EXPECT_EQ(tqx_solution_rule_cat_count_get(kb.ctx(), rule, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(abbr(kb.ctx(), rule, 0), "FAMILY");
  EXPECT_EQ(abbr(kb.ctx(), rule, 1), "-800");
  EXPECT_EQ(tqx_solution_rule_child_rule_count_get(kb.ctx(), rule, &count), 0);
  EXPECT_EQ(count, 0u);
  solution_rule* child = nullptr;
  EXPECT_EQ(tqx_solution_rule_child_rule_get(kb.ctx(), rule, 0, &child), -1);
  EXPECT_EQ(tqx_solution_rule_free(kb.ctx(), rule), 0);
  cat_span span{};
  ASSERT_EQ(parse_solution_cat_span_get(kb.ctx(), best, "FAMILY", &span), 0);
  EXPECT_EQ(span.found, 1);

  // No word of the range carries the root: no solution, result 0.
  Words given(kb.ctx(), {{{"GIVEN", 90}}});
  Solutions none;
  EXPECT_EQ(parser_run(kb.ctx(), p, given.get(), 0, 0, &none.list), 0);
  EXPECT_EQ(none.count(), 0u);
  EXPECT_EQ(parser_release(kb.ctx(), p), 0);
}

TEST(Composite, SelectionByInputLengthAndOverride) {
  NameKb kb;
  parse_opt_params block;
  optp_block_init(&block);
  block.override_flag = 1;
  block.levels = 6;
  block.input_length = kInputAutomatic;
  parser_rec* p = nullptr;
  ASSERT_EQ(parse_defn_parser_get(kb.ctx(), kb.g, kb.cat("NAME"), &block, &p), 0);
  std::vector<std::pair<std::string, int32_t>> w{{"GIVEN", 90}};
  Words three(kb.ctx(), {w, w, w});
  Words four(kb.ctx(), {w, w, w, w});
  parser_rec* sub = nullptr;
  ASSERT_EQ(parser_composite_select(kb.ctx(), p, kInputAutomatic, three.get(), &sub), 0);
  EXPECT_EQ(sub->kind, kParserChart);
  ASSERT_EQ(parser_composite_select(kb.ctx(), p, kInputAutomatic, four.get(), &sub), 0);
  EXPECT_EQ(sub->kind, kParserLr);
  ASSERT_EQ(parser_composite_select(kb.ctx(), p, kInputShort, four.get(), &sub), 0);
  EXPECT_EQ(sub->kind, kParserChart);
  EXPECT_EQ(parser_composite_select(kb.ctx(), p, 7, four.get(), &sub), -1);
  // A root with rules never goes to the one-word engine.
  Words one(kb.ctx(), {w});
  ASSERT_EQ(parser_composite_select(kb.ctx(), p, kInputShort, one.get(), &sub), 0);
  EXPECT_EQ(sub->kind, kParserChart);
  EXPECT_EQ(parser_release(kb.ctx(), p), 0);
}

TEST(ParserCache, SharingReleaseUnloadAndReload) {
  tq_test::BareContext bc;
  context* ctx = bc.get();
  const std::vector<std::string> cats{"PREFIX", "GIVEN", "INITIAL", "FAMILY", "SUFFIX", "NAME", "BODY"};
  int32_t g = make_grammar(ctx, "PersonName", cats, {"NAME > BODY : 50", "BODY > GIVEN FAMILY : 70"});
  const int32_t root = cat_index(ctx, g, "NAME");
  parser_rec* a = nullptr;
  parser_rec* b = nullptr;
  ASSERT_EQ(parse_defn_parser_get(ctx, g, root, nullptr, &a), 0);
  ASSERT_EQ(parse_defn_parser_get(ctx, g, root, nullptr, &b), 0);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->refs, 2);
  EXPECT_EQ(parser_cache_count(ctx), 4u);  // the composite and its three engines
  // Other effective parameters make another object.
  ASSERT_EQ(tqx_parse_opt_params_scoring_levels_default_set(ctx, 8), 0);
  parser_rec* c = nullptr;
  ASSERT_EQ(parse_defn_parser_get(ctx, g, root, nullptr, &c), 0);
  EXPECT_NE(c, a);
  EXPECT_EQ(c->params.levels, 8);
  EXPECT_EQ(parser_release(ctx, c), 0);
  EXPECT_EQ(parser_cache_count(ctx), 4u);

  // The grammar's own reference goes; the parsers keep it loaded.
  EXPECT_EQ(rsrc_client_unload(ctx, kRsrcGrammar, g), 0);
  Words john_smith(ctx, {{{"GIVEN", 90}}, {{"FAMILY", 90}}});
  {
    Solutions s;
    ASSERT_EQ(parser_run(ctx, a, john_smith.get(), 0, 1, &s.list), 0);
    EXPECT_EQ(s.count(), 1u);
  }
  EXPECT_EQ(parser_release(ctx, a), 0);
  EXPECT_EQ(a->refs, 1);
  EXPECT_EQ(parser_release(ctx, b), 0);
  EXPECT_EQ(parser_cache_count(ctx), 0u);  // and the grammar is freed with the last

  // The same name loaded again, now with other rules, most likely into the
  // same slot: a parser of the new grammar parses by the new rules.
  const int32_t g2 = make_grammar(ctx, "PersonName", cats, {"NAME > FAMILY GIVEN : 60"});
  const int32_t root2 = cat_index(ctx, g2, "NAME");
  parser_rec* d = nullptr;
  ASSERT_EQ(parse_defn_parser_get(ctx, g2, root2, nullptr, &d), 0);
  Words smith_john(ctx, {{{"FAMILY", 90}}, {{"GIVEN", 90}}});
  Solutions s;
  ASSERT_EQ(parser_run(ctx, d, smith_john.get(), 0, 1, &s.list), 0);
  EXPECT_EQ(s.count(), 1u);
  Solutions old_order;
  ASSERT_EQ(parser_run(ctx, d, john_smith.get(), 0, 1, &old_order.list), 0);
  EXPECT_EQ(old_order.count(), 0u);
  EXPECT_EQ(parser_release(ctx, d), 0);
}

TEST(ParserBind, RefusedGrammars) {
  tq_test::BareContext bc;
  context* ctx = bc.get();
  parser_rec* p = nullptr;
  EXPECT_EQ(parser_get(ctx, kParserChart, -1, 0, nullptr, &p), TQ_ERR_INDEX);
  // No "NUM" category: refused, and named (the grammar and the category).
  int32_t g = -1;
  ASSERT_EQ(grammar_create(ctx, "NoNum", &g), 0);
  ASSERT_EQ(grammar_category_add(ctx, g, "A", "A"), 0);
  EXPECT_EQ(parser_get(ctx, kParserChart, g, 0, nullptr, &p), TQ_ERR_RESOURCE_LACKS);
  EXPECT_EQ(parser_get(ctx, kParserComposite, g, 0, nullptr, &p), TQ_ERR_RESOURCE_LACKS);
  // A rule without a right side.
  const int32_t e = make_grammar(ctx, "Empty", {"A", "B"}, {"B > A : 50", "B > : 40"});
  EXPECT_EQ(parser_get(ctx, kParserChart, e, cat_index(ctx, e, "B"), nullptr, &p), TQ_ERR_INVALID_CONTENT);
  EXPECT_EQ(parser_cache_count(ctx), 0u);
  // A root index the grammar lacks.
  const int32_t ok = make_grammar(ctx, "Ok", {"A", "B"}, {"B > A : 50"});
  EXPECT_EQ(parser_get(ctx, kParserLr, ok, 99, nullptr, &p), TQ_ERR_RESOURCE_LACKS);
  EXPECT_EQ(p, nullptr);

  // Binding an object again replaces what its first binding built.
  parser_rec lr;
  ASSERT_EQ(parser_init(&lr, kParserLr), 0);
  parse_opt_params block;
  optp_block_init(&block);
  ASSERT_EQ(parser_bind(ctx, &lr, ok, cat_index(ctx, ok, "B"), &block), 0);
  block.limit = 7000;
  ASSERT_EQ(parser_bind(ctx, &lr, ok, cat_index(ctx, ok, "A"), &block), 0);
  EXPECT_EQ(lr.params.limit, 7000);
  EXPECT_EQ(lr.root, cat_index(ctx, ok, "A"));
  EXPECT_EQ(parser_unbind(ctx, &lr), 0);
  EXPECT_EQ(lr.bound, 0u);
}

}  // namespace

namespace {

using namespace tq;
using namespace parse_test;

TEST(LrParse, WorkedValueThroughTheComposite) {
  NameKb kb;
  parser_rec* p = nullptr;
  ASSERT_EQ(parse_defn_parser_get(kb.ctx(), kb.g, kb.cat("NAME"), nullptr, &p), 0);
  ASSERT_EQ(tqx_parse_opt_params_input_length_override_set(kb.ctx(), kInputLong), 0);
  Words words = full_name(kb.ctx());
  {
    Solutions s;
    ASSERT_EQ(parser_run(kb.ctx(), p, words.get(), 0, 4, &s.list), 0);
    ASSERT_EQ(s.count(), 1u);
    parse_solution* best = s.best();
    EXPECT_EQ(best->parser->kind, kParserLr);
    EXPECT_EQ(best->score, 5740);
    EXPECT_EQ(best->last, 4);
    cat_span span{};
    ASSERT_EQ(parse_solution_cat_span_get(kb.ctx(), best, "BODY", &span), 0);
    EXPECT_EQ(span.first, 1);
    EXPECT_EQ(span.last, 3);
    solution_rule* rule = nullptr;
    ASSERT_EQ(solrule_from_solution(kb.ctx(), best, &rule), 0);
    solution_rule* child = nullptr;
    ASSERT_EQ(tqx_solution_rule_child_rule_get(kb.ctx(), rule, 0, &child), 0);
    EXPECT_EQ(abbr(kb.ctx(), child), "BODY");
    solution_rule* none = nullptr;
    EXPECT_EQ(tqx_solution_rule_child_rule_get(kb.ctx(), rule, 1, &none), TQ_ERR_INDEX);
    EXPECT_EQ(tqx_solution_rule_free(kb.ctx(), child), 0);
    EXPECT_EQ(tqx_solution_rule_free(kb.ctx(), rule), 0);
  }
  {
    // A word that no live stack top can take.
    Words jumbled(kb.ctx(), {{{"FAMILY", 90}}, {{"SUFFIX", 90}}, {{"PREFIX", 90}}});
    Solutions s;
    EXPECT_EQ(parser_run(kb.ctx(), p, jumbled.get(), 0, 2, &s.list), TQ_WARN_NO_SOLUTION);
    EXPECT_EQ(s.count(), 0u);
  }
  {
    // A category registered after the grammar was compiled has no goto.
    Words late(kb.ctx(), {{{"NEWCOMER", 90}, {"GIVEN", 90}}, {{"FAMILY", 90}}});
    Solutions s;
    ASSERT_EQ(parser_run(kb.ctx(), p, late.get(), 0, 1, &s.list), 0);
    ASSERT_NE(s.best(), nullptr);
    EXPECT_EQ(s.best()->score, 2949);
  }
  EXPECT_EQ(parser_release(kb.ctx(), p), 0);
}

TEST(LrParse, ResourceLimit) {
  tq_test::BareContext bc;
  const int32_t g = make_grammar(bc.get(), "Lists", {"WORD", "LIST"}, {"LIST > LIST LIST : 50", "LIST > WORD : 50"});
  Parser lr(bc.get(), kParserLr, g, cat_index(bc.get(), g, "LIST"));
  ASSERT_EQ(lr.rc, 0);
  Words many(bc.get(), std::vector<std::vector<std::pair<std::string, int32_t>>>(12, {{"WORD", 50}}));
  ASSERT_EQ(tqx_parse_opt_params_resource_limit_override_set(bc.get(), 2000), 0);
  Solutions s;
  EXPECT_EQ(parser_run(bc.get(), lr.p, many.get(), 0, 11, &s.list), TQ_WARN_LIMIT_REACHED);
  EXPECT_EQ(s.count(), 0u);
  Words six(bc.get(), std::vector<std::vector<std::pair<std::string, int32_t>>>(6, {{"WORD", 50}}));
  Solutions all;
  EXPECT_EQ(parser_run(bc.get(), lr.p, six.get(), 0, 5, &all.list), 0);
  EXPECT_EQ(all.count(), 42u);
}

}  // namespace

// The LR engine against the chart engine on many small random grammars,
// word lists and values: both enumerate every derivation of the root over
// the words, so they find the same scores, and where the best is not tied,
// the same best solution with the same spans.
#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "parse/kroptp.h"
#include "parse_fixture.h"

namespace {

using namespace tq;
using namespace parse_test;

struct Case {
  std::vector<std::string> cats;
  std::vector<std::string> rules;
  std::vector<std::vector<std::pair<std::string, int32_t>>> words;
};

// Terminals T0.., syntactic categories S0.. (the root S0); a rule of Si
// names only terminals and later syntactic categories, so no derivation
// is endless. Words carry terminals (now and then one twice, or a category
// the grammar lacks or derives).
Case random_case(std::mt19937& rng) {
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Case c;
  const int terminals = pick(2, 4);
  const int syntactic = pick(2, 4);
  for (int i = 0; i < terminals; ++i) c.cats.push_back("T" + std::to_string(i));
  for (int i = 0; i < syntactic; ++i) c.cats.push_back("S" + std::to_string(i));
  for (int i = 0; i < syntactic; ++i) {
    const int count = pick(1, 3);
    std::vector<std::string> seen;
    for (int k = 0; k < count; ++k) {
      std::string right;
      const int len = pick(1, 3);
      for (int j = 0; j < len; ++j) {
        const bool later = i + 1 < syntactic && pick(0, 2) == 0;
        right += " " + (later ? "S" + std::to_string(pick(i + 1, syntactic - 1)) : "T" + std::to_string(pick(0, terminals - 1)));
      }
      if (std::find(seen.begin(), seen.end(), right) != seen.end()) continue;
      seen.push_back(right);
      c.rules.push_back("S" + std::to_string(i) + " >" + right + " : " + std::to_string(pick(1, 9) * 10));
    }
  }
  // Half the values are sentences of the grammar (so that most parse),
  // the others random; either way words get extra entries now and then.
  std::vector<std::string> sentence;
  if (pick(0, 1) == 0) {
    std::vector<std::string> todo{"S0"};
    while (!todo.empty() && sentence.size() < 8) {
      const std::string sym = todo.back();
      todo.pop_back();
      if (sym[0] == 'T') {
        sentence.push_back(sym);
        continue;
      }
      std::vector<const std::string*> own;
      for (const auto& r : c.rules)
        if (r.compare(0, sym.size() + 2, sym + " >") == 0) own.push_back(&r);
      std::istringstream in(*own[static_cast<size_t>(pick(0, static_cast<int>(own.size()) - 1))]);
      std::string word;
      std::vector<std::string> right;
      in >> word >> word;
      while (in >> word && word != ":") right.push_back(word);
      for (auto it = right.rbegin(); it != right.rend(); ++it) todo.push_back(*it);
    }
  } else {
    const int n = pick(1, 6);
    for (int w = 0; w < n; ++w) sentence.push_back("T" + std::to_string(pick(0, terminals - 1)));
  }
  for (const auto& t : sentence) {
    std::vector<std::pair<std::string, int32_t>> entries{{t, pick(1, 9) * 10}};
    const int extra = pick(0, 2);
    for (int e = 0; e < extra; ++e) {
      const int kind = pick(0, 9);
      std::string name = kind == 0 ? "S" + std::to_string(pick(0, syntactic - 1))
                         : kind == 1 ? "OTHER"
                                     : "T" + std::to_string(pick(0, terminals - 1));
      entries.emplace_back(name, pick(1, 9) * 10);
    }
    std::shuffle(entries.begin(), entries.end(), rng);
    c.words.push_back(entries);
  }
  return c;
}

std::vector<int32_t> scores(const Solutions& s) {
  std::vector<int32_t> out;
  for (uint32_t i = 0; i < s.count(); ++i) out.push_back(s.at(i)->score);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(LrDifferential, SameScoresAndBestSolutionAsTheChart) {
  tq_test::BareContext bc;
  context* ctx = bc.get();
  ASSERT_EQ(tqx_parse_opt_params_resource_limit_override_set(ctx, 50000), 0);
  std::mt19937 rng(20261207);
  int compared = 0;
  int parsed = 0;
  int ambiguous = 0;
  for (int iteration = 0; iteration < 1500; ++iteration) {
    const Case c = random_case(rng);
    SCOPED_TRACE("case " + std::to_string(iteration));
    const int32_t g = make_grammar(ctx, "G" + std::to_string(iteration), c.cats, c.rules);
    const int32_t root = cat_index(ctx, g, "S0");
    {
      Parser chart(ctx, kParserChart, g, root);
      Parser lr(ctx, kParserLr, g, root);
      ASSERT_EQ(chart.rc, 0);
      ASSERT_EQ(lr.rc, 0);
      Words words(ctx, c.words);
      const int32_t last = static_cast<int32_t>(c.words.size()) - 1;
      // Every range, so that sub-ranges and their last words are compared too.
      for (int32_t first = 0; first <= last; ++first) {
        Solutions a;
        Solutions b;
        const int32_t rc_chart = parser_run(ctx, chart.p, words.get(), first, last, &a.list);
        const int32_t rc_lr = parser_run(ctx, lr.p, words.get(), first, last, &b.list);
        ASSERT_EQ(rc_chart, 0);
        ASSERT_TRUE(rc_lr == 0 || rc_lr == TQ_WARN_NO_SOLUTION) << rc_lr;
        ASSERT_EQ(scores(a), scores(b));
        if (a.count() > 0) ++parsed;
        if (a.count() > 1) ++ambiguous;
        parse_solution* best_a = a.best();
        parse_solution* best_b = b.best();
        ASSERT_EQ(best_a == nullptr, best_b == nullptr);
        if (best_a == nullptr) continue;
        const auto sa = scores(a);
        if (std::count(sa.begin(), sa.end(), best_a->score) > 1) continue;  // a tie: either may win
        ++compared;
        EXPECT_EQ(best_a->first, best_b->first);
        EXPECT_EQ(best_a->last, best_b->last);
        for (const auto& name : c.cats) {
          cat_span x{}, y{};
          ASSERT_EQ(parse_solution_cat_span_get(ctx, best_a, name.c_str(), &x), 0);
          ASSERT_EQ(parse_solution_cat_span_get(ctx, best_b, name.c_str(), &y), 0);
          EXPECT_EQ(x.found, y.found) << name;
          if (x.found != 0) {
            EXPECT_EQ(x.first, y.first) << name;
            EXPECT_EQ(x.last, y.last) << name;
          }
        }
      }
    }
    ASSERT_EQ(rsrc_client_unload(ctx, kRsrcGrammar, g), 0);
    if (HasFatalFailure()) return;
  }
  // The cases must exercise something: many parse, some ambiguously.
  EXPECT_GT(parsed, 1000) << compared;
  EXPECT_GT(compared, 900);
  EXPECT_GT(ambiguous, 50);
}

}  // namespace

// The choice among a window's matches against the literal search over every
// ordering of disjoint matches, on random small inputs with ties; its speed
// where orderings explode; the order of the score's terms.
#include <cstdint>
#include <random>
#include <vector>

#include "fields/krxeng.h"
#include "support/tq_test.h"

namespace {

using namespace tq;

// The literal search: every ordering, leaves where no disjoint candidate is
// left, a leaf replacing the best only when strictly greater (the best starts
// at -1), the path as reached.
struct Literal {
  const std::vector<extract_candidate>& c;
  std::vector<uint32_t> path, best;
  int64_t best_total = -1;
  bool found = false;
  void run(uint32_t taken, int64_t total, const std::vector<uint32_t>& left) {
    if (left.empty()) {
      if (total > best_total) {
        best_total = total;
        best = path;
        found = true;
      }
      return;
    }
    for (uint32_t k : left) {
      std::vector<uint32_t> next;
      for (uint32_t j : left) {
        if (j != k && (c[j].words & (taken | c[k].words)) == 0) next.push_back(j);
      }
      path.push_back(k);
      run(taken | c[k].words, total + c[k].score, next);
      path.pop_back();
    }
  }
};

TEST(ExtractSearch, SameChoiceAsEveryOrdering) {
  std::mt19937 rng(24);
  for (int round = 0; round < 3000; ++round) {
    const uint32_t n = rng() % 8;  // up to 7 candidates
    std::vector<extract_candidate> c;
    for (uint32_t i = 0; i < n; ++i) {
      uint32_t words = 0;
      while (words == 0) words = rng() & 0x3F;
      // A narrow range of scores gives ties; some are negative.
      c.push_back({words, static_cast<int64_t>(rng() % 7) - 2});
    }
    Literal lit{c, {}, {}};
    std::vector<uint32_t> all;
    for (uint32_t i = 0; i < n; ++i) all.push_back(i);
    lit.run(0, 0, all);
    int64_t total = 0;
    const std::vector<uint32_t> got = extract_combination_search(c, &total);
    // The literal path of an empty candidate list is empty too.
    EXPECT_EQ(got, lit.found ? lit.best : std::vector<uint32_t>{}) << "round " << round;
    if (lit.found) {
      EXPECT_EQ(total, lit.best_total) << "round " << round;
    }
  }
}

TEST(ExtractSearch, ManyDisjointMatchesAreQuick) {
  // Twelve one-word matches of one window, and 32 with as many overlapping
  // two-word ones: orderings would be 12! and beyond, so a search that
// tried them would not end within the test's limit.
  std::vector<extract_candidate> c;
  for (uint32_t w = 0; w < 12; ++w) c.push_back({1u << w, extract_match_score(1, 1, w)});
  int64_t total = 0;
  EXPECT_EQ(extract_combination_search(c, &total).size(), 12u);
  std::vector<extract_candidate> wide;
  for (uint32_t w = 0; w < 32; ++w) wide.push_back({1u << w, extract_match_score(1, 1, w)});
  for (uint32_t w = 0; w + 1 < 32; ++w) wide.push_back({3u << w, extract_match_score(1, 2, 40 + w)});
  EXPECT_EQ(extract_combination_search(wide, &total).size(), 32u);
}

TEST(ExtractSearch, ScoreTermsKeepTheirOrder) {
  // Weight over sought words over the earlier pattern, whatever the counts,
  // also summed over a window's matches.
  EXPECT_GT(extract_match_score(2, 0, 255), extract_match_score(1, 32, 0));
  EXPECT_GT(extract_match_score(1, 1, 255), extract_match_score(1, 0, 0));
  EXPECT_GT(extract_match_score(1, 0, 0), extract_match_score(1, 0, 200));
  EXPECT_GT(extract_match_score(1, 2, 255), 2 * extract_match_score(0, 1, 0) - 1);
  EXPECT_LT(extract_match_score(-1, 32, 0), 0);
}

}  // namespace

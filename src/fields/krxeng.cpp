#include "fields/krxeng.h"

#include <bit>

#include "fields/krxdef.h"

namespace tq {

namespace {

// A window's matches are pairwise disjoint in a combination, so a total
// holds at most 32 matches and 32 sought words: the pattern term of all of
// them stays below one sought word, and the sought words of all of them below
// one unit of weight.
constexpr int64_t kIndexSpan = kExtractPatternsMax;                 // index term 1..256
constexpr int64_t kSoughtUnit = kIndexSpan * kExtractWindowMax * 2;  // 16,384
constexpr int64_t kWeightUnit = kSoughtUnit * kExtractWindowMax * 2;  // 1,048,576

struct search_state {
  const std::vector<extract_candidate>& c;
  std::vector<uint32_t> path;
  std::vector<uint32_t> best;
  // A combination must beat this, as an empty window's choice (total 0)
  // beats the state of a reset window.
  int64_t best_total = -1;
  bool found = false;

  // Chosen: the words taken so far; last: the highest index on the path.
  void visit(uint32_t taken, int64_t total, int64_t last) {
    bool maximal = true;
    // Each free word can bring at most the best share per word of a
    // candidate that may still be added over it.
    int64_t share[kExtractWindowMax] = {};
    for (size_t j = 0; j < c.size(); ++j) {
      if (c[j].words == 0 || (c[j].words & taken) != 0) continue;
      maximal = false;
      if (static_cast<int64_t>(j) <= last || c[j].score <= 0) continue;
      const int64_t n = std::popcount(c[j].words);
      const int64_t per_word = (c[j].score + n - 1) / n;
      for (uint32_t w = 0; w < kExtractWindowMax; ++w) {
        if ((c[j].words >> w & 1u) != 0 && per_word > share[w]) share[w] = per_word;
      }
    }
    if (maximal) {
      if (total > best_total) {
        best_total = total;
        best = path;
        found = true;
      }
      return;
    }
    // Every set below adds only candidates after `last`, on free words.
    int64_t bound = total;
    for (int64_t v : share) bound += v;
    if (bound <= best_total) return;
    for (size_t j = static_cast<size_t>(last + 1); j < c.size(); ++j) {
      if (c[j].words == 0 || (c[j].words & taken) != 0) continue;
      path.push_back(static_cast<uint32_t>(j));
      visit(taken | c[j].words, total + c[j].score, static_cast<int64_t>(j));
      path.pop_back();
    }
  }
};

}  // namespace

std::vector<uint32_t> extract_combination_search(const std::vector<extract_candidate>& candidates,
                                                 int64_t* total) {
  search_state s{candidates, {}, {}};
  s.path.reserve(kExtractWindowMax);
  s.visit(0, 0, -1);
  *total = s.found ? s.best_total : 0;
  return s.found ? s.best : std::vector<uint32_t>{};
}

int64_t extract_match_score(int32_t weight, uint32_t sought_words, uint32_t pattern_index) {
  const uint32_t index = pattern_index < kExtractPatternsMax ? pattern_index : kExtractPatternsMax - 1;
  return static_cast<int64_t>(weight) * kWeightUnit + static_cast<int64_t>(sought_words) * kSoughtUnit +
         (kIndexSpan - static_cast<int64_t>(index));
}

}  // namespace tq

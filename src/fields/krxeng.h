// The extraction engine's choice among the matches of one window: every
// match is a set of words (its marks) with a score; the chosen combination is
// the set of pairwise disjoint, maximal matches with the greatest total, the
// first found on ties, in the order of the candidates.
//
// Trying every ordering of the matches (as a literal reading would) costs
// c! leaves for c disjoint matches. Here each set is reached once, in
// ascending candidate order, which is also the order in which the orderings'
// search first meets it; only maximal sets (no disjoint candidate left out)
// compete, and a branch whose total could not exceed the best even with
// every remaining disjoint candidate is cut. The result is the same set.
#pragma once

#include <cstdint>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krdefn.h"

namespace tq {

// Windows hold at most 32 words, so a match's marks fit one word.
inline constexpr uint32_t kExtractWindowMax = 32;

struct extract_candidate {
  uint32_t words;  // bit w: window word w is part of the match
  int64_t score;
};

// The candidates chosen, in ascending order of their position; empty when
// there are none. *total: their summed score (0 for none).
std::vector<uint32_t> extract_combination_search(const std::vector<extract_candidate>& candidates,
                                                 int64_t* total);

// Score of a match: the weight first, then the words inside sought-category
// spans, then the earlier pattern. The factors keep that order for any
// weight, word count (at most 32) and pattern count (at most 256).
int64_t extract_match_score(int32_t weight, uint32_t sought_words, uint32_t pattern_index);

}  // namespace tq

namespace tq {

struct extract_info;

// One token's value of an extraction: at most 1,024 bytes of UTF-8.
inline constexpr uint32_t kExtractValueSize = 1025;
struct extract_value {
  int32_t index;
  char value[kExtractValueSize];
};

// Extracts the definition's tokens from `text` (UTF-8): known words, then
// (with "Use Parser") the pattern windows, then the default token. out holds
// at least the definition's token count; *count the tokens written. The
// first 128 words are examined; later ones go to the default token. info, when
// given, is emptied and filled with the run's steps.
int32_t extract_engine_run(context* ctx, defn_rec* rec, const char* text, extract_value* out, uint32_t* count,
                           extract_info* info);

}  // namespace tq

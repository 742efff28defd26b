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

#include "tq.h"
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
// The same into the caller's vectors (kept between calls, so a warm caller
// allocates nothing): chosen gets the result, path is scratch.
void extract_combination_search_into(const extract_candidate* candidates, uint32_t count,
                                     std::vector<uint32_t>* path, std::vector<uint32_t>* chosen, int64_t* total);

// Score of a match: the weight first, then the words inside sought-category
// spans, then the earlier pattern. The factors keep that order for any
// weight, word count (at most 32) and pattern count (at most 256).
int64_t extract_match_score(int32_t weight, uint32_t sought_words, uint32_t pattern_index);

}  // namespace tq

struct tq_extract_info;

namespace tq {

using extract_info = ::tq_extract_info;
// The caller's output records and the engine's share the layout.
using extract_token = ::tq_extract_token;
struct extract_work_area;

// One token's value of an extraction: at most 1,024 bytes of UTF-8.
inline constexpr uint32_t kExtractValueSize = 1025;
struct extract_value {
  int32_t index;
  char value[kExtractValueSize];
};

// The context's work area: token slots, word flags, match counters, the
// marks table and the search's vectors, reused by every run, so that a warm
// context allocates nothing per value when no info is given.
int32_t extract_work_area_create(context* ctx, extract_work_area** out);
void extract_work_area_free(context* ctx, extract_work_area* area);

// Extracts the definition's tokens from `text` (UTF-8, cut at 1,024 bytes
// between characters): known words, then (with "Use Parser") the pattern
// windows, then the default token. out holds at least the definition's
// token count; *count the tokens written (0 on failure). The first 128
// words are examined; later ones go to the default token. The definition's
// datatype must exist in its locale. info, when given, is emptied and
// filled with the run's steps. A definition not yet prepared, and every run
// with an info (whose solution copies reference the patterns' parsers), run
// under the write hold. A failed run leaves the work area empty.
int32_t extract_engine_run(context* ctx, defn_rec* rec, const char* text, extract_value* out, uint32_t* count,
                           extract_info* info);

// ---- Exports -------------------------------------------------------------------------------
// data in the session encoding (at most 1,024 bytes after conversion); the
// caller's tokens hold at least the definition's token count, each value
// converted to the session encoding. 0, else the input's conversion
// warning, else the output's.

int32_t tqx_extract(context* ctx, const char* defn_name, const char* data, extract_token* tokens,
                    uint32_t* num_tokens);
int32_t tqx_extract_by_index(context* ctx, int32_t index, const char* data, extract_token* tokens,
                             uint32_t* num_tokens);
int32_t tqx_extract_with_info(context* ctx, const char* defn_name, const char* data, extract_token* tokens,
                              uint32_t* num_tokens, extract_info* info);
int32_t tqx_extract_by_index_with_info(context* ctx, int32_t index, const char* data, extract_token* tokens,
                                       uint32_t* num_tokens, extract_info* info);

}  // namespace tq

// Word lookup in a vocabulary: exact (binary search over the sorted word
// array), fuzzy (the most similar word among those that begin with the same
// character) and the incremental prefix lookup the chopper uses to find the
// longest run of characters that forms a vocabulary word. Words are UTF-8.
// Lookups only read the vocabulary and run under the caller's read hold.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "resources/krvcld.h"

namespace tq {

// The state of one incremental prefix lookup; it lives with the caller.
struct vocab_prefix_range {
  int32_t low;
  int32_t high;
  uint32_t finished;
};

// Exact lookup, then, when not found and fuzzy is enabled, the fuzzy lookup
// with the threshold. A negative result of the fuzzy lookup is returned,
// otherwise 0. A caller tells a fuzzy hit by comparing match->text.
int32_t vocab_word_lookup(context* ctx, const vocab_rec* vocab, const char* word, uint32_t fuzzy_enabled,
                          int32_t threshold, uint32_t* found, vocab_word_match* match);
// Through the hash index when there is one, else binary search, with the
// same result either way; *found 1 or 0; always 0. match may be NULL.
int32_t vocab_word_find_exact(const vocab_rec* vocab, const char* word, uint32_t* found, vocab_word_match* match);
// Builds the hash index of the words for exact lookup (see vocab_word_index).
// Words out of order get none: the search alone finds what it finds there.
// -600 when memory runs out (the vocabulary is then searched as before).
int32_t vocab_index_build(vocab_rec* vocab);
// Drops the index; lookups search until it is built again.
void vocab_index_drop(vocab_rec* vocab);
// The binary search of the sorted words alone: the index of the word whose
// text equals `word`, or -1.
int32_t vocab_word_search(const vocab_rec* vocab, const char* word);

// The most similar word (str_similarity, both texts uppercased) among those
// whose first character is the word's; found when the score times 100,
// truncated, reaches the threshold. Among equal scores the first met wins:
// the word the search anchored on, then lower ones downwards, then higher
// ones. -100 for a NULL context; -802 (recorded) for a NULL or empty word or
// a threshold outside 0 to 100; -10000 for an undecodable first character.
int32_t vocab_word_find_fuzzy(context* ctx, const vocab_rec* vocab, const char* word, int32_t threshold,
                              uint32_t* found, vocab_word_match* match);

// low 0, high = word count - 1, not finished.
void vocab_prefix_range_init(context* ctx, const vocab_rec* vocab, vocab_prefix_range* range);
// One step with a text one character longer than the last: *found 1 when the
// text is a word; *finished (when given) 1 when no longer word begins with
// the text. On a finished range nothing is written but *found = 0. Always 0.
int32_t vocab_prefix_lookup(context* ctx, const vocab_rec* vocab, vocab_prefix_range* range, const char* text,
                            uint32_t* found, uint32_t* finished, vocab_word_match* match);
// 0 when text is a prefix of word (or equal); 1 when word ends first; else
// -1 or 1 by the first differing byte (unsigned).
int32_t vocab_prefix_compare(const char* text, const char* word);
// Fills a match from a word of the vocabulary.
void vocab_match_fill(const vocab_rec* vocab, const vocab_word* entry, vocab_word_match* match);

}  // namespace tq

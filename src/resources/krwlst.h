// Word lists: a chopped value, held as the pieces the chopper cut it into.
// Every piece is a word, a separator (the characters between words that the
// chopper trims) or a dropped span (characters the chopper suppresses), with
// its text and its position. Word analysis and the parse engines work on
// word lists, and the operations above them rebuild token and output texts
// from them.
//
// The list lives here, beside the chopping engine that fills it, so that the
// layers above (parsing, standardization, matching) can all use it.
//
// Offsets. One rule holds everywhere:
//  - a piece's `start` counts bytes of the value as it was chopped, dropped
//    spans included, so that the pieces tile the value: a piece's start plus
//    its length is the start of the piece that follows it, and a start is
//    also the byte position at which a chop info records the reason for that
//    boundary;
//  - the list's `text` is the value as chopped less its dropped spans (the
//    texts of words and separators in order), so it is never indexed by a
//    start once a span was dropped. Slices build their text from the pieces
//    they copy, and the surface text is always rebuilt from the pieces.
// Deleting a word moves the later pieces down by its length, so that the
// pieces keep tiling what remains.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/krcorvel.h"
#include "core/krvec.h"

namespace tq {

// Texts of a word list and of its pieces: 1,024 bytes and the terminator.
inline constexpr uint32_t kWordTextSize = 1025;

// One piece, taken from a block pool (the record is the caller's part of the
// block) and given back to the same pool.
struct word_rec {
  char text[kWordTextSize];
  int32_t start;        // bytes into the value as chopped (see above)
  int32_t length;       // bytes
  int32_t char_length;  // characters
  block_pool* pool;     // the pool the record goes back to
};

struct word_list {
  char text[kWordTextSize];  // words and separators, dropped spans left out
  vec words;                 // word_rec*, in order of start
  vec separators;            // word_rec*, in order of start
  vec dropped;               // word_rec*, in order of start
};

// Empties the text and makes the three lists, their slots taken from the
// context's vector pool. Every piece in them goes back to its own pool when
// a list is cleared or freed. A failing list gives its negative code (the
// lists made so far are freed).
int32_t wordlist_init(context* ctx, word_list* list);
// Takes a record from the pool (-600 when none can be had), with an empty
// text, the given start and both lengths 0.
int32_t wordlist_word_take(context* ctx, block_pool* pool, word_rec** out, int32_t start);
// Gives a record back to its pool; NULL is ignored. (The lists' element free
// function.)
void wordlist_word_release(void* record);
// Gives every piece back and frees the three lists; the text is left as it
// is. Safe on a zeroed list and on a list freed before.
void wordlist_free(word_list* list);

// Counts and pieces; NULL for an index out of range.
uint32_t wordlist_word_count(const word_list* list);
const word_rec* wordlist_word_at(const word_list* list, int32_t i);
const word_rec* wordlist_separator_at(const word_list* list, int32_t i);
const word_rec* wordlist_dropped_at(const word_list* list, int32_t i);

// Copies the text of word i into out (kWordTextSize bytes). -800 when i is
// out of range.
int32_t wordlist_word_get(context* ctx, const word_list* list, int32_t i, char* out);
// Makes dst (not initialised yet) a copy of src: its text and every piece,
// each copy taken from the source piece's pool. On failure dst is freed and
// the code returned.
int32_t wordlist_copy(context* ctx, const word_list* src, word_list* dst);
// Makes dst (not initialised yet) hold words from..to (inclusive) of src with
// the separators and dropped spans that start inside them or right after the
// last one, every start lowered by the first word's start. Its text is
// rebuilt from the copied pieces. -800 when from < 0, to is not below the
// word count, or from > to; on a failure of the copy dst is freed.
int32_t wordlist_slice_copy(context* ctx, const word_list* src, int32_t from, int32_t to, word_list* dst);
// Removes word i; every later piece moves down by its length. -800 when i is
// out of range.
int32_t wordlist_word_delete(context* ctx, word_list* list, int32_t i);

// The text of words [from, to) with the separators between them (dropped
// spans between them count in the positions but give no text); nothing
// before the first word or after the last. out holds kWordTextSize bytes and
// is overwritten.
void wordlist_surface_text(char* out, const word_list* list, int32_t from, int32_t to);
// The leading separator, the words with everything between them, and the
// trailing separator. out holds kWordTextSize bytes and is overwritten.
void wordlist_surface_text_all(char* out, const word_list* list);

// Puts the words in ascending byte order of their texts while separators and
// dropped spans keep their places, then renumbers every start from 0 and
// rebuilds the text. -603 when a word starts beyond the value (the list is
// left as it was); vector failures pass through.
int32_t wordlist_merge_by_offset(context* ctx, word_list* list);

}  // namespace tq

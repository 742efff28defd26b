// Small text operations shared by the whole engine: bounded copying,
// duplication, integer formatting, ASCII case folding, reading and writing code
// points, and str_similarity, which rates how alike two texts are by their
// code points (fuzzy vocabulary and scheme lookup). Texts are UTF-8; bounded
// copies cut only between characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "core/krcorvel.h"

namespace tq {

inline constexpr int32_t kRcBadCharacter = TQ_ERR_INVALID_CHAR;
// Bytes str_from_int may write: sign, ten digits, terminator.
inline constexpr uint32_t kIntTextSize = 12;
// Texts str_trim handles: 1,024 bytes and the terminator.
inline constexpr uint32_t kTrimSize = 1025;
// Code points str_similarity compares per text; the rest is ignored.
inline constexpr int32_t kSimilarityMaxCodes = 257;

// Copies text into out (size bytes, size >= 1) and terminates it, cutting at
// the last whole character that fits in size - 1 bytes. Returns the full
// length of text, so a result of size or more means it was cut. NULL text
// copies as "". size 0 writes nothing.
size_t str_copy_bounded(char* out, const char* text, uint32_t size);
// Heap copy (free with std::free); NULL for NULL or when out of memory.
char* str_dup(const char* text);
// Owns a heap block (str_dup's, np_malloc's) until release(): every way
// out, an exception included, frees it.
struct heap_free {
  void operator()(void* p) const noexcept { std::free(p); }
};
using owned_str = std::unique_ptr<char, heap_free>;
// Decimal text of value, '-' for negatives, into out (kIntTextSize bytes).
// Returns out.
char* str_from_int(int32_t value, char* out);
// -1 when the text contains ',', else 0.
int32_t str_has_comma(const char* text);
// Compares two names byte by byte: 0 when they agree up to a '.' that both
// have at the same place, or up to the end of both; otherwise the difference of
// the first differing bytes (a '.' against the end of the other name differs).
int32_t str_stem_compare(const char* a, const char* b);
// Folds ASCII letters in place (lower nonzero: to lower case, else upper).
// Other bytes, including every byte of a multi-byte character, are left alone.
// Returns 0.
int32_t str_case_fold(context* ctx, char* text, int32_t lower);
// Removes leading and trailing white space in place (at most kTrimSize bytes).
void str_trim(char* text);

// Decodes the code point at *cursor and advances past it; always advances at
// least one byte. The terminator gives code point 0. An undecodable byte gives
// '?' (63) and -10000; otherwise 0.
int32_t uchar_get(const char** cursor, int32_t* code);
inline int32_t uchar_get(char** cursor, int32_t* code) {
  return uchar_get(const_cast<const char**>(cursor), code);
}
// Writes one code point as UTF-8 at *out, advancing *out and reducing *room by
// the bytes written. Code point 0 writes the terminator (one byte). A value
// that is not a code point is written as '?'. Returns the bytes written, 0
// when it does not fit (nothing written).
int32_t uchar_put(int32_t code, char** out, uint32_t* room);
// Encodes a zero-terminated array of code points into out (room bytes),
// stopping at the first code point that does not fit; always terminated when
// room >= 1. Returns the bytes of text written, the terminator not counted.
int32_t uchar_array_to_text(const int32_t* codes, char* out, uint32_t room);
// Decodes at most max code points of a text into codes (no terminator added;
// undecodable bytes become '?'). Returns the count.
int32_t uchar_text_to_array(const char* text, int32_t* codes, int32_t max);
// Nonzero when the code point is white space.
int32_t uchar_is_space(int32_t code);
// Nonzero when the code point at the text cursor is white space.
int32_t uchar_is_space(const char* text);
// Copies whole characters of src into dest (size bytes), terminated. Returns
// the bytes copied, the terminator not counted.
uint32_t uchar_buf_copy(char* dest, const char* src, uint32_t size);

// How alike two texts are, from 0.0 to 1.0. Unless uppercased is nonzero,
// both texts are first uppercased with the current locale's rules. Each text
// contributes at most kSimilarityMaxCodes code points; for each code point of
// one text, the same position and the next of the other are tried (a position
// counts once); the result is the mean of the two directions' match ratios.
double str_similarity(context* ctx, uint32_t uppercased, const char* text1, const char* text2);

}  // namespace tq

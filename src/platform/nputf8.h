// UTF-8 primitives of the character library: decoding and encoding one code
// point, counting and seeking characters, white space, character-aware copying
// and trimming. Every text is zero-terminated UTF-8; every cut these functions
// make falls on a character boundary, so they never leave half a character.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tq {

// Largest value a code point may take.
inline constexpr int32_t kMaxCodePoint = 0x10FFFF;

// Decodes the code point at *cursor and advances *cursor past it.
// Strict: overlong forms, surrogates (U+D800..U+DFFF), values above U+10FFFF,
// stray continuation bytes and sequences cut short are refused. The
// terminator decodes as code point 0 (one byte, consumed like any other).
// Returns the bytes consumed (1..4); on failure returns -1, sets *code to -1
// and advances *cursor by exactly one byte, so a loop always makes progress.
// A sequence is never read past a zero byte. cursor and *cursor must not be NULL.
int32_t np_uchar_toint(const char** cursor, int32_t* code);

// Encodes one code point into out, which has room for `room` bytes.
// Returns the bytes written (1..4; code point 0 writes a single zero byte);
// 0 when the encoding does not fit (nothing is written); -1 for a value that
// is not a code point (negative, a surrogate, above U+10FFFF; nothing written).
int32_t np_uchar_intcopy(int32_t code, char* out, uint32_t room);

// Number of characters in a text; an undecodable byte counts as one. NULL: 0.
int32_t np_uchar_length(const char* text);

// Byte offset of character n (counting from 0) of a text; the offset of the
// terminator when the text has n characters or fewer. n below 0 gives 0.
int32_t np_uchar_seek(const char* text, int32_t n);

// Nonzero when the code point is white space (Unicode White_Space property).
int32_t np_uchar_isspace(int32_t code);

// Largest character boundary at or before byte n of a text whose first n
// bytes are readable: a character that starts before n but would end after
// it is left out. Reads only text[0 .. n-1].
size_t np_uchar_cut(const char* text, size_t n);

// Copies whole characters of src into dest, a buffer of `size` bytes, and
// terminates it. Returns the bytes copied (the terminator not counted).
// size 0 writes nothing and returns 0. dest and src may overlap.
uint32_t np_uchar_bufcopy(char* dest, const char* src, uint32_t size);

// Removes leading and trailing white space in place from a text held in a
// buffer of at most `size` bytes (a text with no terminator within it is first
// cut to size - 1 bytes at a character boundary). Returns the new length.
int32_t np_uchar_trim(char* text, uint32_t size);

}  // namespace tq

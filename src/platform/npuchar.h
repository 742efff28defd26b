// Character library: conversion between the session charsets and UTF-8, and
// locale-aware case mapping of UTF-8 text. Built on ICU.
//
// Texts are terminated. A conversion reads its source up to the terminator
// of the source charset (two zero bytes for UCS-2) and writes at most `size`
// bytes including the terminator of the target charset, always terminated
// when size allows it; a text that does not fit is cut between characters.
#pragma once

#include <cstdint>

namespace tq {

// Charset codes: the low bits of the flags of a conversion.
inline constexpr uint32_t kNpCharsetUtf8 = 0;
inline constexpr uint32_t kNpCharsetIso8859_1 = 1;
inline constexpr uint32_t kNpCharsetIso8859_2 = 2;
inline constexpr uint32_t kNpCharsetIso8859_5 = 3;
inline constexpr uint32_t kNpCharsetIso8859_7 = 4;
inline constexpr uint32_t kNpCharsetIso8859_9 = 5;
inline constexpr uint32_t kNpCharsetIso8859_11 = 6;
inline constexpr uint32_t kNpCharsetUcs2Be = 7;
inline constexpr uint32_t kNpCharsetUcs2Le = 8;
inline constexpr uint32_t kNpCharsetIbm1047 = 10;
inline constexpr uint32_t kNpCharsetCp874 = 21;
inline constexpr uint32_t kNpCharsetCp1250 = 22;
inline constexpr uint32_t kNpCharsetCp1251 = 23;
inline constexpr uint32_t kNpCharsetCp1252 = 24;
inline constexpr uint32_t kNpCharsetCp1253 = 25;
inline constexpr uint32_t kNpCharsetCp1254 = 26;

inline constexpr uint32_t kNpCharsetMask = 0x1FF;
// Refuse an unconvertible character (stop there) instead of replacing it.
inline constexpr uint32_t kNpUcharStrict = 0x200;
// Accepted for compatibility with callers of the original library; no effect.
inline constexpr uint32_t kNpUcharCompat = 0x1000;

// Text of the charset in `flags` -> UTF-8. Returns 0 when every character was
// converted (also when the text was cut to fit), 1 when a character could not
// be converted (replaced by U+FFFD, or with kNpUcharStrict the conversion
// stops before it; the output is terminated either way), -1 for an unknown
// charset or a missing pointer, -2 when memory runs out building the
// charset's table (built again on the next call), -3 when it cannot be
// built otherwise.
int32_t np_uchar_encode(uint32_t flags, const char* src, char* dst, uint32_t size);

// UTF-8 -> text of the charset in `flags`; results as np_uchar_encode.
// Malformed UTF-8 is unconvertible. A character missing from a single-byte
// charset is replaced by the charset's '?'; in UCS-2 (BMP only) a character
// beyond U+FFFF is replaced by U+FFFD.
int32_t np_uchar_decode(uint32_t flags, const char* src, char* dst, uint32_t size);

// The bytes np_uchar_encode / np_uchar_decode would write for the whole of
// a text with no bound (terminator not counted), a character that cannot be
// converted counted as its replacement; -1 for an unknown charset, a
// missing pointer or a table that cannot be built. Callers measure only a
// text that may have been cut, to say by how much.
int64_t np_uchar_encode_length(uint32_t flags, const char* src);
int64_t np_uchar_decode_length(uint32_t flags, const char* src);

// True when np_uchar_decode writes every ASCII character of a text as its
// own byte in the charset of `flags` (UTF-8, and the single-byte charsets
// whose first half is ASCII): an ASCII text then converts as a plain copy.
bool np_uchar_ascii_same(uint32_t flags);

// The character-at-a-time forms of the two conversions, which the ones
// above must match byte for byte (kept as their reference in tests).
int32_t np_uchar_encode_reference(uint32_t flags, const char* src, char* dst, uint32_t size);
int32_t np_uchar_decode_reference(uint32_t flags, const char* src, char* dst, uint32_t size);

// The byte length of a UTF-8 text when it is well formed (as np_uchar_decode
// accepts it: no character would be replaced) and at most max bytes long;
// -1 otherwise (and for NULL). Reads at most max + 4 bytes.
int32_t np_uchar_valid_length(const char* text, uint32_t max);

// ICU makes a few things once for the whole process (its default locale,
// its resource-bundle cache, its converter alias table); when memory runs
// out inside one of them ICU may crash, hang, or refuse that work for the
// rest of the process. This reaches them all, once, so that a program meets
// them when its first context starts rather than in an engine's work: 0;
// -2 when memory ran out (the next call tries again, though ICU may keep
// refusing); -3 when ICU failed otherwise (not tried again: the work that
// needs what is missing answers so). One atomic load once done.
int32_t np_uchar_process_set_up() noexcept;

// Builds, and throws away, the byte table of a single-byte charset from the
// ICU converter of that name, as a charset's table is built on first use:
// 0, -2 when memory runs out, -3 when ICU has no such converter or cannot
// give it otherwise. What a conversion answers when its table cannot be
// built, reachable with any converter name (tests).
int32_t np_uchar_table_try(const char* icu_name);

// The smallest character size of the charset in bytes (2 for UCS-2, else 1);
// -1 for an unknown charset.
int32_t np_uchar_chsize_min(uint32_t flags);

// Case-insensitive comparison of two UTF-8 texts by full case folding, in
// code point order: <0, 0 or >0. A NULL text sorts before any other.
int32_t np_uchar_icomp(const char* a, const char* b);

// 1 when the character at the start of the UTF-8 text is an uppercase
// letter, else 0.
int32_t np_uchar_isupper(const char* text);

// Upper-/lowercases the one character at *src (full mapping, no locale) into
// dst, terminated, and moves *src past it. Returns the bytes written without
// the terminator; 0 at the end of the text; -1 when the cased character does
// not fit in `size` bytes with its terminator (nothing consumed) or a pointer
// is missing. A malformed sequence is copied unchanged.
int32_t np_uchar_upper(const char** src, char* dst, uint32_t size);
int32_t np_uchar_lower(const char** src, char* dst, uint32_t size);

// Upper-, lower- or title-cases a UTF-8 text with the special casing of the
// language `lang` ("tr", "az", "lt", ...; NULL or "" for none) into dst,
// at most `size` bytes with the terminator, cut between characters. The
// cased form is built apart first, so src may equal dst. Returns the bytes
// written without the terminator; -1 for a missing pointer or size 0, -2
// when memory runs out, -3 for any other failure of the case mapping (dst
// is then empty). Upper- and lowercasing allocate nothing (but for a cased
// text over 4 KiB); title casing makes a word-break iterator for the call
// (np_uchar_case_n with a cache keeps it).
int32_t np_uchar_upper_cs(const char* src, char* dst, uint32_t size, const char* lang);
int32_t np_uchar_lower_cs(const char* src, char* dst, uint32_t size, const char* lang);
int32_t np_uchar_title_cs(const char* src, char* dst, uint32_t size, const char* lang);

// The operations of np_uchar_case_n.
inline constexpr uint32_t kNpCaseUpper = 1;
inline constexpr uint32_t kNpCaseLower = 2;
inline constexpr uint32_t kNpCaseTitle = 3;

// The word-break iterators title casing keeps for one caller (a context),
// made on first use: a caller that title-cases every value reuses them
// rather than making one per value. Used by one thread at a time.
struct np_case_cache;
void np_case_cache_free(np_case_cache* cache) noexcept;

// The three above for the first src_len bytes of src (up to its terminator
// when src_len is negative), which need not be terminated there; results
// as above (-1 also for an unknown op). *full_len, when given, receives the
// byte length of the whole cased text: above the result when it was cut.
// Only dst[0] is written when the mapping fails and dst is src. Title
// casing keeps its iterator in *cache (made there when NULL; an iterator
// that cannot be made gives -2 and is made again on the next call); with
// no cache it makes one for the call.
int32_t np_uchar_case_n(uint32_t op, const char* src, int32_t src_len, char* dst, uint32_t size, const char* lang,
                        uint32_t* full_len, np_case_cache** cache = nullptr);

}  // namespace tq

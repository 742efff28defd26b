// Locale-aware casing of UTF-8 texts: the special casing of Turkish, Azeri
// and Lithuanian where a locale asks for it. Casing can lengthen a text
// (German sharp s, Turkish dotted capital I); results stay within the bound
// the caller gives and are cut between characters.
#pragma once

#include <cstdint>

struct tq_context;

namespace tq {

using context = ::tq_context;

// The language whose special casing applies to a locale code: "az", "lt",
// "tr", or NULL for every other code.
const char* case_locale_special_lang_get(int32_t locale_code);

// Change a text in place, in a buffer of max_bytes bytes (terminator
// included), with the special casing of the given locale. A NULL text or a
// zero size is left alone. Returns the bytes the whole cased text needs
// (terminator not counted): more than the text kept when casing lengthened
// it past the buffer, so that a caller on a value's road can tell the cut.
// Title casing keeps its word-break iterator in the context (ctx may be
// NULL: one made for the call). Out of memory throws std::bad_alloc (the
// frame's -600), since a text left as it was would be a wrong result.
uint32_t case_upper_by_locale(context* ctx, char* text, int32_t locale_code, uint32_t max_bytes);
uint32_t case_lower_by_locale(context* ctx, char* text, int32_t locale_code, uint32_t max_bytes);
uint32_t case_title_by_locale(context* ctx, char* text, int32_t locale_code, uint32_t max_bytes);

// The same with the context's current locale (none when there is none).
uint32_t case_upper_current_locale(context* ctx, char* text, uint32_t max_bytes);
uint32_t case_lower_current_locale(context* ctx, char* text, uint32_t max_bytes);
uint32_t case_title_current_locale(context* ctx, char* text, uint32_t max_bytes);

// Uppercasing by Unicode's root rules whatever locale is current, for names
// that must be found alike under every locale (no Turkish dotted I).
uint32_t case_upper_root(context* ctx, char* text, uint32_t max_bytes);

// case_upper_current_locale on a value's road: a text that casing
// lengthened past the buffer is cut, and the cut recorded for the call as
// one of `what` (strio_note_inside_cut).
void case_upper_current_locale_noted(context* ctx, char* text, uint32_t max_bytes, const char* what);

// Uppercases `in` into `out` (size bytes with the terminator) with the
// special casing of the current locale, cut between characters. 0; -802 for
// a missing text or buffer; -600 when memory runs out; -1 when the case
// mapping fails (out is then empty). *whole, when given, receives the byte
// length of the whole uppercased text (above what out holds when it was cut).
int32_t case_upper_builtin(context* ctx, const char* in, char* out, uint32_t size, uint32_t* whole = nullptr);
// The same by Unicode's root rules whatever locale is current: the casing of
// a knowledge base's names (categories), which must be found alike under
// every locale.
int32_t case_upper_name(const char* in, char* out, uint32_t size, uint32_t* whole = nullptr);

}  // namespace tq

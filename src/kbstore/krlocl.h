// The built-in locale table and the lookups on it: locale codes, ISO codes,
// descriptions, default session encodings and ancestors of the 511 locales
// the engine knows, the names of locale files, and the exported locale
// queries that need no loaded locale.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

namespace tq {

inline constexpr uint32_t kLocaleCount = 511;
inline constexpr uint32_t kLocaleAncestorMax = 4;
// Longest ISO code and description in bytes, terminator not included.
inline constexpr uint32_t kLocaleIsoMax = 20;
inline constexpr uint32_t kLocaleDescriptionMax = 320;
// Longest locale file name in bytes, terminator not included.
inline constexpr uint32_t kLocaleFileNameMax = 4096;
// The locale whose casing turns ISO codes into file names and back.
inline constexpr int32_t kLocaleFileNameCasing = 29840;

// One row of the table. Rows are sorted by ISO code in byte order.
struct locale_row {
  const char* iso;          // "DE", "DEDEU", or a special code ("L1", "GB", "ALL")
  const char* description;  // "German", "German (Germany)"
  int32_t code;             // the locale code used at the interface
  uint32_t encoding;        // default session encoding id
  int32_t ancestors[kLocaleAncestorMax];  // -1 for none; the first is the default parent
};

// The whole table, kLocaleCount rows.
extern const locale_row kLocaleTable[kLocaleCount];

// The row of a code, or NULL; records nothing.
const locale_row* locale_table_row_get(int32_t code);

// Table lookups. Each records -802 (message 144 with the code, 1470 with
// the ISO code, 1471 with the description) when nothing matches; ctx may be
// NULL, and then nothing is recorded. Output texts are UTF-8 of at most
// size - 1 bytes, cut between characters; empty on failure.
int32_t locale_table_iso_get(context* ctx, int32_t code, char* out, uint32_t size);
int32_t locale_table_description_get(context* ctx, int32_t code, char* out, uint32_t size);
// Exact, case-sensitive; *code := -1 first.
int32_t locale_table_code_get_by_iso(context* ctx, const char* iso, int32_t* code);
// Exact, case-sensitive, the first match in table order; *code := -1 first.
int32_t locale_table_code_get_by_description(context* ctx, const char* description, int32_t* code);
int32_t locale_table_encoding_get(context* ctx, int32_t code, uint32_t* encoding);
// 1 when the code is a row of the table, else 0.
int32_t locale_table_contains(int32_t code);

// The locale file name of an ISO code: lowercased, ".loc" appended unless it
// already ends in ".loc" or ".krd" ("DE" -> "de.loc"). 0, or -1 (out empty)
// when it does not fit in size bytes or exceeds kLocaleFileNameMax.
int32_t locale_file_name_get(context* ctx, const char* iso, char* out, uint32_t size);
// The ISO code a locale file name stands for: a vault or XML extension
// ("enusa.loc.zel") is stripped, the rest uppercased, and when it then ends
// in ".LOC" the text before it is the ISO code; otherwise out is empty.
// 0, or -1 when the result does not fit in size bytes (out empty).
int32_t locale_iso_from_file_name(context* ctx, const char* file_name, char* out, uint32_t size);

// ---- Export implementations --------------------------------------------------

int32_t locale_code_get_by_description(context* ctx, const char* desc, int32_t* locale);
int32_t locale_code_get_by_iso_name(context* ctx, const char* iso_name, int32_t* locale);
int32_t locale_iso_name_get_by_code(context* ctx, int32_t locale, char* name);
int32_t locale_description_get_by_code(context* ctx, int32_t locale, char* desc);
int32_t supported_locale_count_get(context* ctx, uint32_t* count);
int32_t supported_locale_info_get(context* ctx, uint32_t index, char* iso_code_name, char* description);
int32_t supported_locale_code_get(context* ctx, uint32_t index, int32_t* locale);
int32_t supported_locale_parent_get(context* ctx, int32_t locale, int32_t* parent);
int32_t available_locale_code_get_begin(context* ctx, void** locale_handle_ptr);
int32_t available_locale_code_get_next(context* ctx, void* handle, int32_t* code);
int32_t available_locale_code_get_end(context* ctx, void* handle);
int32_t locale_get_iso_name_from_filename(context* ctx, const char* filename, char* iso_name);
int32_t locale_get_file_name(context* ctx, const char* iso_name, char* filename);
// The parent named in the file of a locale that need not be loaded: -1 when
// the file names none; the read's failure when it cannot be read.
int32_t parent_locale_nonloaded_get_from_file(context* ctx, const char* iso, char* parent_iso);

}  // namespace tq

// Categorization regexlib entries: a regex library that gives the words it
// matches a category with a likelihood. Identification, extraction, match,
// parse and locale-guess definitions keep them in tables; this is the
// entry, its life cycle and its table form (the table with "Category",
// "Regexlib", "Likelihood" and the nested "Categorization Regexlibs 9.0"
// document that holds each row's "Stop" flag).
#pragma once

#include <cstdint>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krdcat.h"

namespace tq {

// Regex library names cross the interface in at most 16,384 bytes.
inline constexpr uint32_t kCatRegexlibNameMax = 16384;
inline constexpr const char* kCatRegexlibStopDoc = "Categorization Regexlibs 9.0";

struct cat_regexlib_entry {
  char name[kCategoryNameSize];  // category name, uppercased
  int32_t likelihood;
  // The entry's own copy of its category record (a grammar's category is
  // copied rather than pointed at, so that a grammar edited or unloaded
  // later leaves no dangling record); NULL while unbound.
  category_rec* category;
  int32_t regexlib;  // regex-library index, -1 none
  int32_t stop;
  int32_t borrowed;  // 1 when the category came from a grammar
  int32_t bound;     // 1 when the entry holds a category record
};

// Name empty, regexlib -1, everything else 0 (holds nothing).
void cat_regexlib_entry_init(cat_regexlib_entry* entry);
// -802 for a likelihood outside 10..90 or an empty regex library name
// (message 1905). Builds the entry: the category name
// (uppercased, 128 bytes), a copy of the category record of a grammar given
// by index that holds that category (borrowed 1) or else a record of its
// own (id -1), and one reference to the regex library opened by name
// (UTF-8). A grammar index that names no grammar gives its failure (-800).
// The entry is changed only on success.
// A likelihood outside 10 to 90 is refused (-802), named as the caller gave it.
int32_t cat_regexlib_entry_build(context* ctx, cat_regexlib_entry* entry, const char* category, int32_t grammar,
                                 int64_t likelihood, int32_t stop, const char* regexlib);
// The same from texts in the session encoding (flags bit 0: convert; the
// category in at most 128 bytes, the regexlib name in at most 16,384); the
// old contents are given back only once the new entry is built, so a
// failure leaves the entry as it was. A positive conversion warning is
// returned on success.
int32_t cat_regexlib_entry_set(context* ctx, cat_regexlib_entry* entry, const char* category, int32_t grammar,
                               int64_t likelihood, const char* regexlib, int32_t stop, uint32_t flags);
// The check of the two texts an entry keeps (strio_kept_check), for a
// setter that finds the entry before it sets it: 0, or the failure.
int32_t cat_regexlib_texts_check(context* ctx, const char* category, const char* regexlib, uint32_t flags);
// Attaches the category record: a copy of the grammar's category of the
// entry's name; grammar -1 (or a grammar without that category) gives an own
// record interned with the entry's name. -600; the failure to take the
// grammar (-800), the entry then unchanged.
int32_t cat_regexlib_entry_bind_grammar(context* ctx, cat_regexlib_entry* entry, int32_t grammar);
// Frees the category record and empties the name; unless keep_refs, gives
// the regex library's reference back (regexlib -1).
void cat_regexlib_entry_free(context* ctx, cat_regexlib_entry* entry, int32_t keep_refs);
// Copies name, likelihood, regexlib (one more reference unless keep_refs),
// stop, flags and a copy of the category record. The target is overwritten
// (free it first). On failure the target holds nothing.
int32_t cat_regexlib_entry_copy(context* ctx, const cat_regexlib_entry* source, cat_regexlib_entry* target,
                                int32_t keep_refs);
// Outs: category name (at most 128 bytes), regexlib name (at most 16,384;
// "" when none), likelihood, stop; texts converted out with flags bit 0.
int32_t cat_regexlib_entry_info_get(context* ctx, const cat_regexlib_entry* entry, char* category,
                                    char* regexlib, int32_t* likelihood, int32_t* stop, uint32_t flags);

// Adds the columns "Category" (string), "Regexlib" (string), "Likelihood"
// (int) and types fields[first .. first + 2] to match; includes a nested
// document "Categorization Regexlibs 9.0" with the column "Stop". *added :=
// 3, the fields the table's records take (the "Stop" column lives in the
// nested document). -802 when the field list lacks room.
int32_t cat_regexlib_table_declare(context* ctx, xmldoc* table, int32_t first, xmldoc_field* fields,
                                   int32_t capacity, int32_t* added);
// One record in the table (the caller's fields before `first`, then
// category, regexlib name, likelihood) and one in the nested document
// ("Yes" or "No"). -802 when the nested document is missing.
int32_t cat_regexlib_row_write(context* ctx, xmldoc* table, const cat_regexlib_entry* entry, int32_t first,
                               xmldoc_field* fields);
// Reads record `record` into an entry (initialised or freed before): -1 when
// "Category" or "Regexlib" is missing; -300 for an empty regexlib name; the
// regex library's load failure; -1 for a "Stop" value other than "Yes" or
// "No". The stop flag comes from the nested document's record at the same
// position (or a "Stop" column of the table itself); 0 when there is none.
// The entry is left unbound.
int32_t cat_regexlib_table_read(context* ctx, const xmldoc* table, int32_t record, cat_regexlib_entry* entry);

// A definition's list of entries, each owned by the list.
// Frees every entry (giving its regex library back unless keep_refs) and
// empties the list.
void cat_regexlib_list_clear(context* ctx, std::vector<cat_regexlib_entry*>* list, int32_t keep_refs);
// Takes the entry over; on failure (-600) the entry is freed.
int32_t cat_regexlib_list_append(context* ctx, std::vector<cat_regexlib_entry*>* list, cat_regexlib_entry* entry);
// Frees entry j and closes the gap; -800 when j is out of range.
int32_t cat_regexlib_list_delete(context* ctx, std::vector<cat_regexlib_entry*>* list, int32_t j);
// Appends a copy of every entry of `from` (one more regex library reference
// each). On failure what was appended stays for the caller to release.
int32_t cat_regexlib_list_copy(context* ctx, const std::vector<cat_regexlib_entry*>& from,
                               std::vector<cat_regexlib_entry*>* to);

// Reads every row of a categorization table into a new entry appended to
// `list` (empty records skipped). Each row's result goes to row(state, rc),
// the kind's own accounting, which gives a code to stop at (returned) or 0.
// Out of memory: -600 with message 29, list_text (the list) or entry_text
// (an entry) formatted with the definition's name.
int32_t cat_regexlib_list_read(context* ctx, const xmldoc* table, std::vector<cat_regexlib_entry*>* list,
                               const char* defn_name, const char* list_text, const char* entry_text,
                               int32_t (*row)(void* state, int32_t rc), void* state);

// A definition's whole list as a table document of type `doc_type` and
// `version`, included inline into `el` under `include_name`; nothing is
// written for an empty list. On failure the half-built table is freed and
// `el` is unchanged.
int32_t cat_regexlib_list_write(context* ctx, xmldoc* el, const std::vector<cat_regexlib_entry*>& list,
                                const char* doc_type, const char* include_name, const char* version);

}  // namespace tq

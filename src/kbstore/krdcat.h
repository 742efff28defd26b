// Token categories: the category record every component uses, the registry
// that numbers category names across a shared state, the default-category
// list of a definition ("Deflt Cat List"), and the fuzzy vocabulary-lookup
// parameters kept per vocabulary of a definition.
//
// The categorization-regexlib entries (a regex library that assigns a
// category) open regex libraries by name and so live one layer up, in
// resources/krregxcat.h.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "core/krhash.h"
#include "core/krvec.h"
#include "kbstore/krfield.h"

struct tq_xmldoc;

namespace tq {

using xmldoc = ::tq_xmldoc;
struct xmldoc_field;

// Category name: at most 128 bytes, stored uppercased; description: at most
// 1,024 bytes (a vocabulary's category name; a grammar keeps 256 of it).
// Sizes include the terminator.
inline constexpr uint32_t kCategoryNameSize = 129;
inline constexpr uint32_t kCategoryDescriptionSize = 1025;
// "NUM" is registered first, as id 0.
inline constexpr int32_t kCategoryNumberId = 0;
// Likelihoods accepted through the interface, and the default of new entries.
inline constexpr int32_t kLikelihoodMin = 10;
inline constexpr int32_t kLikelihoodMax = 90;
inline constexpr int32_t kLikelihoodDefault = 50;
// The range every reader and setter of a category's likelihood holds to:
// parses add ten times a word's likelihood to a solution's score.
inline constexpr number_limit kLikelihoodLimit{"Likelihood", kLikelihoodMin, kLikelihoodMax};

struct category_rec {
  char name[kCategoryNameSize];                // uppercased
  char description[kCategoryDescriptionSize];  // free text
  int32_t id;                                  // registry number; -1 when not registered
};

// One per shared state: uppercased category name -> id (one word). Ids run
// 0, 1, 2 ... in order of first use.
struct category_registry {
  hash_table table;
  uint32_t initialised;
};

// ---- Categories ----------------------------------------------------------------

// Initialises the table and registers "NUM" as 0. -600.
int32_t category_registry_create(category_registry* registry);
// Frees the table (shared-state teardown); safe on a registry never created.
void category_registry_free(category_registry* registry);
// The registry of the context's shared state (made with it); NULL when the
// context has no shared state.
category_registry* category_registry_of(context* ctx);

// Stores the name uppercased (by the root rules whatever the locale, at most
// 128 bytes cut between characters) and the description (at most 1,024 bytes)
// in the record, and gives it the name's registry id, registering a new name
// with the next id. Takes the shared state's write hold for the lookup and
// gives it back on every path. -600 (id -1); -802 for a NULL record.
// A NULL name or description counts as "". kept: see category_name_upper.
int32_t category_intern(context* ctx, category_rec* record, const char* name, const char* description,
                        bool kept = false);
void category_copy(const category_rec* source, category_rec* target);
// A category name as records keep it: uppercased by Unicode's root rules
// whatever locale is current (a name must find the same category under every
// locale), at most 128 bytes cut between characters, into out
// (kCategoryNameSize bytes). -600. kept (a name a setter keeps, not one a
// file gave or one looked up): a name whose uppercased form is longer than
// 128 bytes is refused, -802 with message 1953 naming the call, that length
// and the limit, out empty.
int32_t category_name_upper(context* ctx, const char* name, char* out, bool kept = false);
// The check alone, for a setter whose record uppercases the name itself:
// 0, or category_name_upper's refusal of a kept name.
int32_t category_name_kept_check(context* ctx, const char* name);
// "NUM", "Number", 0.
void category_init_number(category_rec* record);

// ---- Default categories ---------------------------------------------------------

struct default_category_entry {
  int32_t likelihood;
  category_rec* category;  // owned; NULL when none
};

// An owning vector of default_category_entry pointers: clearing or freeing
// it frees each entry with its category record.
using default_category_list = vec;

// An empty list. -600.
int32_t default_category_list_init(default_category_list* list);
// The entry becomes {likelihood, a new record interned from the name
// uppercased with an empty description}. -600 (entry unchanged).
int32_t default_category_entry_build(context* ctx, default_category_entry* entry, const char* name,
                                     int32_t likelihood, bool kept = false);
// The same, replacing the entry's previous record only on success; a
// likelihood outside 10 to 90 is refused (-802), named as the caller gave it.
int32_t default_category_entry_set(context* ctx, default_category_entry* entry, const char* name,
                                   int64_t likelihood);
// Frees the record; the entry becomes {0, none}.
void default_category_entry_free(default_category_entry* entry);
// Builds a new entry and appends it. -600.
int32_t default_category_add(context* ctx, default_category_list* list, const char* name, int32_t likelihood);
// -800 when i is out of range; otherwise entry i is freed and removed.
int32_t default_category_delete(default_category_list* list, int32_t i);
void default_category_list_clear(default_category_list* list);
void default_category_list_free(default_category_list* list);
// Every entry of the source rebuilt in the target (after the target's own
// entries are cleared) from its category name and likelihood; an entry
// without a category is copied without one. On failure the target is empty.
int32_t default_category_list_copy(context* ctx, const default_category_list* source,
                                   default_category_list* target);
// When the list is not empty, includes "Deflt Cat List" (version "7.0";
// columns "Category", "Likelihood") into the definition's document, one
// record per entry in order. -600, or the document layer's failure.
int32_t default_category_list_write(context* ctx, const default_category_list* list, xmldoc* defn);
// Appends one entry per record of the first include named "Deflt Cat List"
// (an empty "Category" gives an entry without a category, as it was
// written); none: 0. -300 when a column is missing; -600 (message 29).
int32_t default_category_list_read(context* ctx, default_category_list* list, const xmldoc* defn);

// ---- Fuzzy vocabulary lookup -------------------------------------------------------

inline constexpr uint32_t kFuzzyThresholdDefault = 80;

struct fuzzy_params {
  uint32_t enabled;    // default 0
  uint32_t threshold;  // default 80
};

void fuzzy_params_default(fuzzy_params* params);
void fuzzy_params_copy(const fuzzy_params* source, fuzzy_params* target);
// The threshold reads 80 while disabled.
void fuzzy_params_get(const fuzzy_params* params, uint32_t* enabled, uint32_t* threshold);
// The threshold is stored only when enabling.
void fuzzy_params_set(fuzzy_params* params, uint32_t enabled, uint32_t threshold);
// The definition-level "Fuzzy Vocab Threshold" property: absent or empty
// disables (threshold kept); otherwise enabled with the text's leading
// decimal integer as threshold. 0.
int32_t fuzzy_params_from_property(context* ctx, const xmldoc* element, fuzzy_params* params);
// Reads the two fuzzy columns of a record: -1 when either column is missing
// or the record does not exist.
int32_t fuzzy_params_columns_read(context* ctx, const xmldoc* table, int32_t record, fuzzy_params* params);
// Adds the columns "Fuzzy Vocab Enabled" (string) and "Fuzzy Vocab
// Threshold" (int) and types fields[first], fields[first + 1] to match;
// *added := 2. -802 when the field list lacks room; the document layer's
// failure otherwise.
int32_t fuzzy_params_columns_declare(context* ctx, xmldoc* table, int32_t first, xmldoc_field* fields,
                                     int32_t capacity, int32_t* added);
// fields[position] := "Yes" or "No" (static texts), fields[position + 1] :=
// the threshold, or 0 when disabled.
void fuzzy_params_columns_fill(const fuzzy_params* params, xmldoc_field* fields, int32_t position);
// When enabled, the property "Fuzzy Vocab Threshold" with the threshold.
int32_t fuzzy_params_property_write(context* ctx, xmldoc* element, const fuzzy_params* params);

}  // namespace tq

// Gender analysis definitions (kind 2): the kind part of a definition record
// (the gender values a run can give), the gender part of each definition
// token (stop flag, substring categories, "Match Regexlibs" entries), the
// hooks through which the definition store reads, writes, copies and frees
// them, and the small changes the accessors make to them.
//
// A token's "Match Regexlibs" entries hold one registry reference each. An
// entry whose library could not be registered when it was read keeps no
// library (an empty ref): copying skips it, freeing skips it, and it is
// written back with an empty name, so nothing is given back twice and a
// failed registration never stops a copy or a delete.
#pragma once

#include <cstdint>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"

namespace tq {

inline constexpr const char* kGenderRootType = "Gendorithm";
inline constexpr const char* kGenderRootTypeVertical = "Gendorithm -- Vertical";
// Bytes of text, terminator not counted. Cuts fall between characters.
inline constexpr uint32_t kGenderValueMax = 4;
inline constexpr uint32_t kGenderDescMax = 1024;
inline constexpr uint32_t kGenderCatNameMax = 80;

struct gender_value {
  char desc[kGenderDescMax + 1] = {};
  char value[kGenderValueMax + 1] = {};
  int32_t dflt = 0;
};

struct gender_defn_kind_rec {
  std::vector<gender_value> values;
};

// A vocabulary category that scores a gender for the token's words.
struct gender_subcat {
  char name[kGenderCatNameMax + 1] = {};
  char value[kGenderValueMax + 1] = {};
};

// A regex library whose match on a raw word scores a gender.
struct gender_match_regexlib {
  char value[kGenderValueMax + 1] = {};
  rsrc_ref lib;  // kRsrcRegex; empty when the library could not be registered
};

// A problem met while a token was read, reported once the definition's
// name is known (the token hooks see only the token).
struct gender_token_problem {
  int32_t code;
  int32_t msg;             // 155 (a missing column) or 156 (a library)
  char column[32];         // 155 only
};

struct gender_token_kind_rec {
  std::vector<gender_subcat> cats;
  std::vector<gender_match_regexlib> regexlibs;
  int32_t stop = 0;
  std::vector<gender_token_problem> problems;  // emptied when reported
};

inline gender_defn_kind_rec* gender_defn_part(defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnGender ? static_cast<gender_defn_kind_rec*>(rec->part) : nullptr;
}
inline const gender_defn_kind_rec* gender_defn_part(const defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnGender ? static_cast<const gender_defn_kind_rec*>(rec->part)
                                                    : nullptr;
}
inline gender_token_kind_rec* gender_token_part(dtok_rec* tok) {
  return tok != nullptr && tok->kind == kDefnGender ? static_cast<gender_token_kind_rec*>(tok->part) : nullptr;
}
inline const gender_token_kind_rec* gender_token_part(const dtok_rec* tok) {
  return tok != nullptr && tok->kind == kDefnGender ? static_cast<const gender_token_kind_rec*>(tok->part)
                                                    : nullptr;
}

// The kind's operations, lent to the definition store at context start.
extern const defn_kind_ops kGenderDefnKindOps;

// ---- Hooks (reached through kGenderDefnKindOps) ---------------------------------------------

int32_t gender_defn_type_matches(context* ctx, const char* include_name);
int32_t gender_defn_kind_init(context* ctx, defn_rec* rec);
// A definition naming no parse definition is recorded (-800, message 1555)
// and a missing "Gender Values" table (-300, message 153): either leaves
// the definition not valid, and reading the locale goes on. 105 when a step
// reported something.
int32_t gender_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec);
int32_t gender_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec);
int32_t gender_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst);
int32_t gender_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs);
// Reports the problems the token reads met, naming the definition; 0.
int32_t gender_defn_kind_validate(context* ctx, defn_rec* rec);
int32_t gender_defn_token_init(context* ctx, dtok_rec* tok);
int32_t gender_defn_token_read(context* ctx, const xmldoc* element, dtok_rec* tok);
int32_t gender_defn_token_write(context* ctx, xmldoc* element, const dtok_rec* tok);
// One more reference per held library; a failure gives back what the copy
// took and leaves dst's gender part empty.
int32_t gender_defn_token_copy(context* ctx, const dtok_rec* src, dtok_rec* dst, int32_t keep_refs);
int32_t gender_defn_token_free(context* ctx, dtok_rec* tok, int32_t keep_refs);

// ---- Changes, for the accessors -----------------------------------------------------------
// The caller holds the record (or token) for change. Texts are UTF-8 and cut
// between characters: values at 4 bytes, descriptions at 1,024, category
// names at 80. A failed change leaves the record as it was.

// -802 for an empty value; -600.
int32_t gender_value_add(context* ctx, defn_rec* rec, const char* value, const char* desc, int32_t dflt);
int32_t gender_values_delete_all(context* ctx, defn_rec* rec);

int32_t gender_token_stop_flag_set(dtok_rec* tok, int32_t flag);
// -802 when the name or the value is empty; -600.
int32_t gender_token_category_add(context* ctx, dtok_rec* tok, const char* name, const char* value);
int32_t gender_token_categories_delete_all(context* ctx, dtok_rec* tok);

// -802 when the name or the value is empty. The library is registered (or
// referenced) first; its failure is returned and nothing is added.
int32_t gender_token_regexlib_add(context* ctx, dtok_rec* tok, const char* name, const char* value);
// -802 when the name or the value is empty; -800 for j out of range. A name
// other than the entry's library's registers the new library first, then
// gives the old one back; a failed registration is returned and leaves the
// entry as it was (library and value). Then the value is stored.
int32_t gender_token_regexlib_set(context* ctx, dtok_rec* tok, int32_t j, const char* name, const char* value);
// Gives back every held library (each entry emptied as it goes), always
// empties the list, and returns the first failure.
int32_t gender_token_regexlibs_delete_all(context* ctx, dtok_rec* tok);
// Entry j's library name (UTF-8, size bytes with the terminator); -800 for
// j out of range; the registry's failure for an entry without library.
int32_t gender_token_regexlib_name_get(context* ctx, const dtok_rec* tok, int32_t j, char* out, uint32_t size);

}  // namespace tq

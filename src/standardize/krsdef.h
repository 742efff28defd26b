// Standardization definitions (kind 7): the kind part of a definition record
// and of each of its tokens, the hooks through which the definition store
// reaches them, and their content in a "Standorithm" element.
//
// A definition gives every token without a case of its own its case mode
// and, optionally, a case definition; a postprocessing case mode and case
// definition apply to the whole result. A token may carry its own case mode
// and case definition and a list of transformation regex libraries.
//
// Case definitions are definitions, not resources: they are held by index
// (no reference), in the index space of the standardization definition's
// own locale. Every place that holds one (the definition and each token)
// therefore resolves it in that locale, and a token remembers the locale of
// the definition it belongs to, since a token hook does not see its
// definition.
//
// Problems a token meets while it is read (a case definition or regex
// library that cannot be found) make the read fail; they are reported
// once the whole definition has been read, by its validation, which can
// name the definition.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdtok.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"
#include "standardize/krcdef.h"

namespace tq {

inline constexpr const char* kStdznRootType = "Standorithm";
inline constexpr const char* kStdznRootTypeVertical = "Standorithm -- Vertical";
// The version group features of "9.0" are written in, and the version a
// change to one of them raises a definition to.
inline constexpr const char* kStdznVersion9 = "9.0";

struct stdzn_defn_kind_rec {
  uint32_t case_mode = kCaseUpper;        // of every token without a case of its own
  int32_t case_defn = -1;                 // a case definition's index in the own locale, -1 none
  uint32_t post_case_mode = kCaseUpper;   // applied to the whole result; 0 none
  int32_t post_case_defn = -1;            // -1: the case definition above
};

// A problem met while a token was read, reported by the definition's
// validation: the message number, the code and the name that failed.
struct stdzn_token_read_problem {
  int32_t message;
  int32_t code;
  std::string name;
};

struct stdzn_token_kind_rec {
  uint32_t case_set = 0;   // 1: the token has a case of its own
  uint32_t case_mode = 0;  // its mode, used while case_set is 1
  int32_t case_defn = -1;  // a case definition's index in the own locale, -1 none
  // Regex libraries (kRsrcRegex) applied after the schemes; an empty entry
  // is one whose library could not be opened.
  std::vector<rsrc_ref> trans;
  // The code of the locale of the definition the token belongs to, in
  // whose index space case_defn lies; -1 before the token is placed.
  int32_t locale = -1;
  // While the token is read: "Automatic Uppercasing" was absent or empty,
  // and the problems to report.
  uint32_t uppercasing_unread = 0;
  std::vector<stdzn_token_read_problem> problems;
};

inline stdzn_defn_kind_rec* stdzn_defn_part(defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnStdzn ? static_cast<stdzn_defn_kind_rec*>(rec->part) : nullptr;
}
inline const stdzn_defn_kind_rec* stdzn_defn_part(const defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnStdzn ? static_cast<const stdzn_defn_kind_rec*>(rec->part) : nullptr;
}
inline stdzn_token_kind_rec* stdzn_token_part(dtok_rec* tok) {
  return tok != nullptr && tok->kind == kDefnStdzn ? static_cast<stdzn_token_kind_rec*>(tok->part) : nullptr;
}
inline const stdzn_token_kind_rec* stdzn_token_part(const dtok_rec* tok) {
  return tok != nullptr && tok->kind == kDefnStdzn ? static_cast<const stdzn_token_kind_rec*>(tok->part)
                                                   : nullptr;
}

// ---- Hooks (reached through kStdznDefnKindOps) ------------------------------------------

extern const defn_kind_ops kStdznDefnKindOps;

int32_t stdzn_defn_type_matches(context* ctx, const char* include_name);
int32_t stdzn_defn_kind_init(context* ctx, defn_rec* rec);
int32_t stdzn_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec);
int32_t stdzn_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec);
int32_t stdzn_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst);
int32_t stdzn_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs);
// After the tokens were read: reports what their reads met, and turns
// automatic uppercasing off for every token read without the property whose
// effective case is None.
int32_t stdzn_defn_kind_validate(context* ctx, defn_rec* rec);
// After a copy: the tokens placed in the copy's locale.
int32_t stdzn_defn_kind_remap(context* ctx, defn_rec* rec, int32_t source_index);
// The case definitions the definition and its tokens hold (a post-case
// definition forgotten falls back on the definition's, as one never named).
void stdzn_defn_held_indices(defn_rec* rec, defn_held_visit visit, void* arg);
int32_t stdzn_defn_token_init(context* ctx, dtok_rec* tok);
int32_t stdzn_defn_token_read(context* ctx, const xmldoc* element, dtok_rec* tok);
int32_t stdzn_defn_token_write(context* ctx, xmldoc* element, const dtok_rec* tok);
int32_t stdzn_defn_token_copy(context* ctx, const dtok_rec* src, dtok_rec* dst, int32_t keep_refs);
int32_t stdzn_defn_token_free(context* ctx, dtok_rec* tok, int32_t keep_refs);

// ---- Case definitions held by index ----------------------------------------------------

// The case definition at `index` in the index space of `locale` (a
// definition's own locale code; -1: the current locale). -800 for -1 or an
// index that names none.
int32_t stdzn_case_defn_get(context* ctx, int32_t locale, int32_t index, defn_rec** out);
// The token's effective case mode and case definition index: its own when it
// has a case of its own, else the definition's.
uint32_t stdzn_token_case_mode(const defn_rec* rec, const dtok_rec* tok);
int32_t stdzn_token_case_defn(const defn_rec* rec, const dtok_rec* tok);

// ---- Transformation regex libraries of a token -----------------------------------------
// The caller holds the token for change (the write hold). Names are UTF-8.

// Replaces entry j's library by the named one unless the name is already
// that library's: the named library is opened, then the old reference given
// back (a failed open changes nothing). *changed is set when the entry
// changed. -800 for j out of range.
int32_t stdzn_token_trans_set(context* ctx, dtok_rec* tok, uint32_t j, const char* name, bool* changed);
// Appends the named library; the entry counts only once the open succeeded.
int32_t stdzn_token_trans_add(context* ctx, dtok_rec* tok, const char* name);
void stdzn_token_trans_delete_all(context* ctx, dtok_rec* tok);
// Entry j's library name (UTF-8, size bytes with the terminator; "" for an
// empty entry); -800 for j out of range.
int32_t stdzn_token_trans_name_get(context* ctx, const dtok_rec* tok, uint32_t j, char* out, uint32_t size);

}  // namespace tq

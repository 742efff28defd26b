// Case definitions (kind 1): the kind part of a definition record, the
// hooks through which the definition store reaches it, the definition's own
// content in its "Caseorithm" element, and the preparation the casing
// engine asks for before it uses a known-word scheme.
//
// Preparation checks that every entry of the known-word scheme keeps the
// character length of its data value: the engine hands a span's standard
// back to the span's words character by character, so a standard of
// another length would shift or lose words. A definition read from a file
// is trusted (prepared) unless the context asks for checks at load; one
// whose scheme is set through an accessor, or a copy, is checked on its
// next use. Preparation runs under the shared state's write hold and
// re-finds the record after taking it, as another context may have
// unloaded the locale meanwhile.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"

namespace tq {

inline constexpr const char* kCaseRootType = "Caseorithm";
inline constexpr const char* kCaseRootTypeVertical = "Caseorithm -- Vertical ZEL";
// The version group features of "9.0" are written in.
inline constexpr const char* kCaseVersionGroup = "9.0";

// Case modes, as definitions store them and the engine takes them.
enum case_mode : uint32_t {
  kCaseNone = 0,
  kCaseUpper = 1,
  kCaseLower = 2,
  kCaseProper = 3,
};

struct case_defn_kind_rec {
  uint32_t target_case = kCaseProper;
  rsrc_ref known_word_scheme;     // kRsrcScheme; empty when none
  rsrc_ref known_pattern_regexlib;  // kRsrcRegex; empty when none
  // 1: a word the known-word scheme changed is not given to the regexlib.
  uint32_t skip_regexlib_on_scheme = 0;
  // 1 once the known-word scheme passed the length check. Written under the
  // write hold, read by casing under the read hold alone.
  std::atomic<uint32_t> prepared{1};
  // 1: default proper casing title-cases whole words through the character
  // library; 0: first character upper, the rest lower.
  uint32_t unicode_casing = 1;
};

inline case_defn_kind_rec* case_defn_part(defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnCase ? static_cast<case_defn_kind_rec*>(rec->part) : nullptr;
}
inline const case_defn_kind_rec* case_defn_part(const defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnCase ? static_cast<const case_defn_kind_rec*>(rec->part) : nullptr;
}

// ---- Case modes -------------------------------------------------------------------------

// The mode whose name matches over at most 6 characters, case-sensitively
// ("Proper case" gives 3, "Uppercase" none); -1 when none.
int32_t case_id_get_by_name(const char* name);
// The mode's name ("None" ... "Proper"; at most 7 bytes with the
// terminator) into out; -1 for another number (out then empty).
int32_t case_name_get_by_id(uint32_t id, char* out, uint32_t size);
// 1 for 0..3, else 0.
int32_t case_id_is_valid(uint32_t id);

// ---- Hooks (reached through kCaseDefnKindOps) -------------------------------------------

extern const defn_kind_ops kCaseDefnKindOps;

int32_t case_defn_type_matches(context* ctx, const char* include_name);
int32_t case_defn_kind_init(context* ctx, defn_rec* rec);
int32_t case_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec);
int32_t case_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec);
// The copy takes one more reference on each resource and is unprepared, so
// that it is checked before its first use.
int32_t case_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst);
int32_t case_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs);
// Any drop bit makes the definition unprepared.
void case_defn_invalidate(context* ctx, defn_rec* rec, uint32_t what);

// ---- Preparation ------------------------------------------------------------------------

// Prepares the definition under the write hold (taken and given back here,
// re-entrant), unless it is prepared already. -704 when the record is no
// longer a case definition of a loaded locale; -706 (message 1460) for a
// scheme entry whose standard and data differ in character length (the
// definition stays unprepared); the scheme's failures.
int32_t case_defn_prepare(context* ctx, defn_rec* rec);
// The same for a caller that holds the write hold and the record.
int32_t case_defn_prepare_held(context* ctx, defn_rec* rec);

// ---- Setters of the kind part, for the accessors ---------------------------------------
// Each changes the record as given; the caller holds it for change (the
// write hold). Names are UTF-8.

// 0..3, else -802 (nothing changes).
int32_t case_defn_target_case_set(defn_rec* rec, uint32_t mode);
int32_t case_defn_skip_flag_set(defn_rec* rec, uint32_t flag);
int32_t case_defn_unicode_casing_set(defn_rec* rec, uint32_t flag);
// Drops the current library, then (for a non-empty name) opens the one of
// that name; the open's failure leaves none.
int32_t case_defn_known_pattern_regexlib_set(context* ctx, defn_rec* rec, const char* name);
// Drops the current scheme and marks the definition unprepared, then (for a
// non-empty name) opens the scheme of that name with the options (only
// kSchemeCaseInsensitive is kept) and prepares the definition at once; the
// result of the open or of the preparation (-706) is returned, and a
// definition that failed the check stays unprepared.
int32_t case_defn_known_word_scheme_set(context* ctx, defn_rec* rec, const char* name, uint32_t options);
// The name of the scheme or library ("" for none) into out (size bytes).
int32_t case_defn_known_pattern_regexlib_name_get(context* ctx, const defn_rec* rec, char* out, uint32_t size);
int32_t case_defn_known_word_scheme_name_get(context* ctx, const defn_rec* rec, char* out, uint32_t size);
// The scheme's options as registered (kSchemeCaseInsensitive or 0); 0 for none.
int32_t case_defn_known_word_scheme_options_get(context* ctx, const defn_rec* rec, uint32_t* options);

}  // namespace tq

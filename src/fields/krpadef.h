// Pattern analysis definitions (kind 6): the kind part of a definition
// record, the hooks through which the definition store reaches it, and the
// accessors of that part. A pattern analysis definition names one regex
// library; the library's elements hold all the rewriting rules ("[A-Z]" to
// "A", "[0-9]" to "9" ...), so the kind part is that library alone.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"

namespace tq {

inline constexpr const char* kPatternRootType = "Pattern Analysis Def";
inline constexpr const char* kPatternRootTypeVertical = "Pattern Analysis Def -- Vertical";

struct patrn_defn_kind_rec {
  rsrc_ref regexlib;  // kRsrcRegex; empty (index -1) when the definition has none
};

inline patrn_defn_kind_rec* patrn_defn_part(defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnPattern ? static_cast<patrn_defn_kind_rec*>(rec->part) : nullptr;
}
inline const patrn_defn_kind_rec* patrn_defn_part(const defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnPattern ? static_cast<const patrn_defn_kind_rec*>(rec->part)
                                                     : nullptr;
}

// ---- Hooks (reached through kPatternDefnKindOps) ----------------------------------------

extern const defn_kind_ops kPatternDefnKindOps;

// 1 for exactly "Pattern Analysis Def" or "Pattern Analysis Def -- Vertical".
int32_t patrn_defn_type_matches(context* ctx, const char* include_name);
int32_t patrn_defn_kind_init(context* ctx, defn_rec* rec);
// The property "Regexlib" is required: absent or empty is -300 (message
// 213) and a library that cannot be opened gives the open's code (message
// 201); either leaves the definition not valid and the hook answers 105.
int32_t patrn_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec);
// "Regexlib" with the library's name; nothing for a definition without one.
int32_t patrn_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec);
// One more reference on the library.
int32_t patrn_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst);
// Gives the reference back, or with keep_refs only forgets it (the store's
// unload of a locale whose references are accounted for elsewhere).
int32_t patrn_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs);

// ---- Accessors (exports without the tq prefix) ------------------------------------------
// Run under the frame's read hold; the set takes the definition for change.

// The library's name (4,096 bytes, session encoding); empty for none.
int32_t tqx_patrn_defn_regexlib_name_get(context* ctx, int32_t index, char* name);
// Opens the named library first and only then gives the present one back,
// so a name that cannot be opened leaves the definition as it was (the
// open's failure is returned). An empty name drops the library.
int32_t tqx_patrn_defn_regexlib_name_set(context* ctx, int32_t index, const char* name);
// Includes the definition into xml as "Pattern Analysis Def" (version
// "7.0"); -802 for no document.
int32_t tqx_patrn_defn_write(context* ctx, tq_xmldoc* xml, int32_t index);

}  // namespace tq

// The accessors of case definitions (kind 1) that touch the kind's own part
// or its resources. The rest of the family are rows bound to the accessors
// every kind shares (kbstore/krdefnacc.h) with kDefnCase. Each is named as
// its export without the tq prefix, takes the context first and runs under
// the frame's read hold; a change takes the definition for change (the
// write hold) inside and gives it back on every path. An index naming an
// unloaded slot is -800.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

namespace tq {

// The mode the definition is made for (0 None .. 3 Proper); 0 when the
// definition cannot be read. The set refuses anything but 0..3 with -802.
int32_t tqx_case_defn_target_case_get(context* ctx, int32_t index, uint32_t* target_case);
int32_t tqx_case_defn_target_case_set(context* ctx, int32_t index, uint32_t target_case);

// Whether a word the known-word scheme changed skips the known-pattern
// library. The set stores the value as given.
int32_t tqx_case_defn_skip_regexlib_flag_get(context* ctx, int32_t index, uint32_t* skip_regexlib_flag);
int32_t tqx_case_defn_skip_regexlib_flag_set(context* ctx, int32_t index, uint32_t skip_regexlib_flag);

// Whether default proper casing title-cases whole words. The set stores the
// value as given and, the flag being a feature of "9.0", raises the
// definition's version to at least "9.0".
int32_t tqx_case_defn_unicode_casing_flag_get(context* ctx, int32_t index, uint32_t* unicode_casing_flag);
int32_t tqx_case_defn_unicode_casing_flag_set(context* ctx, int32_t index, uint32_t unicode_casing_flag);

// The known-pattern regex library's name (4,096 bytes; empty for none). The
// set gives the present library back, then opens the named one (an empty
// name leaves none); a name that cannot be opened leaves none and gives
// the open's failure.
int32_t tqx_case_defn_known_patrn_rgx_name_get(context* ctx, int32_t index, char* name);
int32_t tqx_case_defn_known_patrn_rgx_name_set(context* ctx, int32_t index, const char* name);

// The known-word scheme's name (4,096 bytes) and options (2 when it
// compares case-insensitively); "" and 0 for none. The set gives the
// present scheme back, opens the named one with the options (only 2 is
// kept; an empty name leaves none) and checks it at once: -706 (message
// 1460) when an entry's standard and data differ in character length, and
// the definition is then checked again at each use.
int32_t tqx_case_defn_known_word_scheme_info_get(context* ctx, int32_t index, char* name, uint32_t* options);
int32_t tqx_case_defn_known_word_scheme_info_set(context* ctx, int32_t index, const char* name, uint32_t options);

// Whether the scheme of that name could serve as a known-word scheme:
// *legal 1 when every entry's standard has its data value's character
// length. Otherwise -706 with *legal 0 and the first such entry's standard
// and data value (UTF-8, 1,028-byte buffers). The scheme is opened for the
// check and given back, and the write hold taken for it released, on every
// path.
int32_t tqx_case_defn_check_scheme_legal(context* ctx, const char* filename, uint32_t* legal, char* standard,
                                         char* data);

}  // namespace tq

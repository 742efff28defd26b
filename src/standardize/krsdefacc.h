// The accessors of standardization definitions (kind 7) that touch the
// kind's own part, its tokens' parts, or the parse definition it names. The
// rest of the family are rows bound to the accessors every kind shares
// (kbstore/krdefnacc.h) with kDefnStdzn. Each is named as its export
// without the tq prefix, takes the context first and runs under the frame's
// read hold; a change takes the definition (or its token) for change (the
// write hold) inside and gives it back on every path.
//
// Case definitions are given and taken as indices of the current locale,
// while a definition keeps them as indices of its own locale (where it
// resolves them when it runs or is written); the accessors translate.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krfield.h"

namespace tq {

// A token's separator flag and separator text (64 bytes, session
// encoding), by (kind, index, token) through kDefnTokens.
extern const field_desc kStdznTokenUseSeparator;
extern const field_desc kStdznTokenSeparator;

// ---- The parse definition's tokens -------------------------------------------------------
// Read in the standardization definition's own locale; -708 when it names
// no parse definition.

int32_t tqx_stdzn_defn_parse_defn_token_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_stdzn_defn_parse_defn_token_name_get(context* ctx, int32_t index, int32_t token, char* name);
int32_t tqx_stdzn_defn_parse_defn_token_key_get_by_name(context* ctx, int32_t index, const char* name,
                                                        int32_t* key);

// ---- Case modes and case definitions of the definition ------------------------------------

// The case mode of tokens without their own (1 when the definition cannot
// be read); the set takes 0..3, else -802.
int32_t tqx_stdzn_defn_case_get(context* ctx, int32_t index, uint32_t* scase);
int32_t tqx_stdzn_defn_case_set(context* ctx, int32_t index, uint32_t scase);
// The case mode of the whole result (0 none). A set of another value than
// the stored one raises the definition's version to "9.0".
int32_t tqx_stdzn_defn_post_case_get(context* ctx, int32_t index, uint32_t* scase);
int32_t tqx_stdzn_defn_post_case_set(context* ctx, int32_t index, uint32_t scase);
// The case definition's index (-1 when none or unreadable). The set takes -1
// (none) or the index of a case definition of any target case; an index
// that names none gives its lookup's failure.
int32_t tqx_stdzn_defn_case_defn_index_get(context* ctx, int32_t index, int32_t* cdefn_index);
int32_t tqx_stdzn_defn_case_defn_index_set(context* ctx, int32_t index, int32_t cdefn_index);
// The same for the postprocessing case definition (-1: the one above); a
// set of another value than the stored one raises the version to "9.0".
int32_t tqx_stdzn_defn_post_case_defn_index_get(context* ctx, int32_t index, int32_t* cdefn_index);
int32_t tqx_stdzn_defn_post_case_defn_index_set(context* ctx, int32_t index, int32_t cdefn_index);
// Their names (320 bytes, session encoding; empty when none); -708 when the
// case definition cannot be read in the definition's locale.
int32_t tqx_stdzn_defn_case_defn_name_get(context* ctx, int32_t index, char* name);
int32_t tqx_stdzn_defn_post_case_defn_name_get(context* ctx, int32_t index, char* name);

// ---- Tokens ------------------------------------------------------------------------------

// Appends a token that has a case of its own, None: the definition's case
// mode does not apply to it until it is given another.
int32_t tqx_stdzn_defn_token_add(context* ctx, int32_t index, int32_t* token_index);
// The token's own case mode when it has one, else the definition's. The set
// takes 0..3 (else -802) and gives the token a case of its own.
int32_t tqx_stdzn_defn_token_case_get(context* ctx, int32_t index, int32_t token, uint32_t* scase);
int32_t tqx_stdzn_defn_token_case_set(context* ctx, int32_t index, int32_t token, uint32_t scase);
// The token's own case definition when it has a case of its own, else the
// definition's. The set takes -1 (none) or a case definition whose target
// case is the token's case mode (else -802).
int32_t tqx_stdzn_defn_token_case_defn_index_get(context* ctx, int32_t index, int32_t token, int32_t* cdefn_index);
int32_t tqx_stdzn_defn_token_case_defn_index_set(context* ctx, int32_t index, int32_t token, int32_t cdefn_index);

// The regex library of a token with the widest sensitivity range, and a
// scheme with its options (no phonetics switch, the widest range); the
// scheme set keeps the stored switch and range.
int32_t tqx_stdzn_defn_token_regexlib_add(context* ctx, int32_t index, int32_t token, const char* name);
int32_t tqx_stdzn_defn_token_scheme_add(context* ctx, int32_t index, int32_t token, const char* name,
                                        uint32_t options);
int32_t tqx_stdzn_defn_token_scheme_info_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                             const char* name, uint32_t options);

// ---- Transformation regex libraries of a token --------------------------------------------
// Names are taken in and given out at most 4,096 bytes in the session
// encoding; a name that cannot be converted is refused with the
// conversion's failure and changes nothing. Every change raises the
// definition's version to "9.0".

int32_t tqx_stdzn_defn_token_trans_regexlib_count_get(context* ctx, int32_t index, int32_t token, uint32_t* count);
// Empty for an entry whose library could not be opened; -800 past the list.
int32_t tqx_stdzn_defn_token_trans_regexlib_name_get(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                     char* name);
// -800 past the list; the name already in the entry changes nothing (the
// version stays); another is opened before the old library is given back.
int32_t tqx_stdzn_defn_token_trans_regexlib_name_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                     const char* name);
int32_t tqx_stdzn_defn_token_trans_regexlibs_delete_all(context* ctx, int32_t index, int32_t token);
// The entry counts only once its library is open.
int32_t tqx_stdzn_defn_token_trans_regexlib_add(context* ctx, int32_t index, int32_t token, const char* name);

}  // namespace tq

// The accessors of gender analysis definitions (kind 2) that touch the
// kind's own part, its tokens' gender part, or have logic of their own. The
// rest of the family are rows bound to the accessors every kind shares
// (kbstore/krdefnacc.h) with kDefnGender. Each is named as its export
// without the tq prefix, takes the context first and runs under the frame's
// read hold; a change takes the definition (or its token) for change inside
// and gives the hold back on every path, and a failed change leaves the
// definition as it was. Texts cross in the session encoding; positions out
// of range are -800.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

namespace tq {

// The definition named "Name", else (-801) the one named "Gender"; both
// literal names are looked up as they are (UTF-8), whatever the session
// encoding.
int32_t tqx_gender_defn_index_get_default(context* ctx, int32_t* index);

// The parse definition the gender definition names, in the gender
// definition's own locale: its token count, a token's name (320 bytes) and
// the key of the token of a name (ignoring case). -708 when the gender
// definition names none.
int32_t tqx_gender_defn_parse_defn_token_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_gender_defn_parse_defn_token_name_get(context* ctx, int32_t index, int32_t token, char* name);
int32_t tqx_gender_defn_parse_defn_token_key_get_by_name(context* ctx, int32_t index, const char* name,
                                                         int32_t* key);

// Gender values: the value (4 bytes), description (1,024) and Default flag.
// The add refuses an empty value (-802) and cuts the value at 4 bytes and
// the description at 1,024, between characters.
int32_t tqx_gender_defn_value_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_gender_defn_value_info_get(context* ctx, int32_t index, int32_t value_index, char* value, char* desc,
                                       uint32_t* dflt_flag);
int32_t tqx_gender_defn_value_add(context* ctx, int32_t index, const char* value, const char* desc,
                                  uint32_t dflt_flag);
int32_t tqx_gender_defn_values_delete_all(context* ctx, int32_t index);

// The single form of the normalization libraries: the first one's name
// (4,096 bytes; empty for none), and the set that leaves only the named one
// (the library is opened before the present ones are given back; an empty
// name empties the list). Like the list's delete_all, the set puts
// automatic uppercasing back to 1.
int32_t tqx_gender_defn_normalization_regexlib_name_get(context* ctx, int32_t index, char* name);
int32_t tqx_gender_defn_normalization_regexlib_name_set(context* ctx, int32_t index, const char* name);

// A token's stop flag.
int32_t tqx_gender_defn_token_stop_flag_get(context* ctx, int32_t index, int32_t token, uint32_t* stop_flag);
int32_t tqx_gender_defn_token_stop_flag_set(context* ctx, int32_t index, int32_t token, uint32_t flag);

// A token's substring categories: the category (80 bytes) and its gender
// value (4 bytes). The add refuses an empty name or value (-802).
int32_t tqx_gender_defn_token_category_count_get(context* ctx, int32_t index, int32_t token, uint32_t* count);
int32_t tqx_gender_defn_token_category_info_get(context* ctx, int32_t index, int32_t token, int32_t cat_index,
                                                char* abbrev, char* value);
int32_t tqx_gender_defn_token_category_add(context* ctx, int32_t index, int32_t token, const char* abbrev,
                                           const char* value);
int32_t tqx_gender_defn_token_categories_delete_all(context* ctx, int32_t index, int32_t token);

// A token's "Match Regexlibs" entries: the library's name (4,096 bytes) and
// the gender value (4 bytes). The add and the set refuse an empty name or
// value (-802); they open the named library before anything changes, so a
// library that cannot be opened leaves the token as it was. delete_all
// gives back every library it can, always empties the list, and returns the
// first failure.
int32_t tqx_gender_defn_token_regexlib_count_get(context* ctx, int32_t index, int32_t token, uint32_t* count);
int32_t tqx_gender_defn_token_regexlib_info_get(context* ctx, int32_t index, int32_t token, int32_t rlib_index,
                                                char* name, char* value);
int32_t tqx_gender_defn_token_regexlib_add(context* ctx, int32_t index, int32_t token, const char* name,
                                           const char* value);
int32_t tqx_gender_defn_token_regexlib_info_set(context* ctx, int32_t index, int32_t token, int32_t rlib_index,
                                                const char* name, const char* value);
int32_t tqx_gender_defn_token_regexlibs_delete_all(context* ctx, int32_t index, int32_t token);

}  // namespace tq

// The accessors of parse definitions (kind 5) that have logic of their own.
// Most parse-definition exports are rows bound to the accessors every kind
// shares (kbstore/krdefnacc.h) with kDefnParse; the functions here are the
// rest: the composite regex-library setters, the token separators, the
// kind's own part (grammar, root category, optimization parameters, token
// categories, categorization libraries, no-solution settings) and adding a
// definition with the tokens of its datatype. The surfaced counts and names,
// copying and writing are the shared ones.
// Each is named as its export without the tq prefix, takes the context
// first and runs under the frame's read hold; a change takes the write hold
// inside and gives it back on every path.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krfield.h"

namespace tq {

// A token's separator flag and separator text (64 bytes, session
// encoding), by (kind, index, token) through kDefnTokens. The separators
// are read by every parse as it fills the tokens, so a set drops nothing.
extern const field_desc kParseTokenUseSeparator;
extern const field_desc kParseTokenSeparator;

// ---- Normalization libraries --------------------------------------------------------

// The first library's name; -800 when the definition has none.
int32_t tqx_parse_defn_normalization_regexlib_name_get(context* ctx, int32_t index, char* name);
// Leaves the list holding only the named library (an empty name empties
// it) and automatic uppercasing 1. The named library is opened before the
// old ones are given back, so a name that cannot be opened changes nothing.
int32_t tqx_parse_defn_normalization_regexlib_name_set(context* ctx, int32_t index, const char* name);
// An empty name is -802.
int32_t tqx_parse_defn_normalization_regexlib_add(context* ctx, int32_t index, const char* name);

// ---- Grammar, root category, optimization parameters ------------------------------------
// Every change here drops the prepared state.

// The grammar's registered name (1,028 bytes); empty when none.
int32_t tqx_parse_defn_grammar_name_get(context* ctx, int32_t index, char* name);
// Registers the named grammar, then gives the old one back. The root
// category keeps its name, which preparation looks up in the new grammar.
int32_t tqx_parse_defn_grammar_name_set(context* ctx, int32_t index, const char* name);
// The root category's name (128 bytes).
int32_t tqx_parse_defn_root_category_name_get(context* ctx, int32_t index, char* name);
// The grammar's category at cat_index becomes the root; -800 for an index
// that names none, the grammar's failure without one.
int32_t tqx_parse_defn_root_category_index_set(context* ctx, int32_t index, int32_t cat_index);
// The block's override flag, and the values in effect (the block's own
// while its override is on, else the context's defaults).
int32_t tqx_parse_defn_opt_params_override_get(context* ctx, int32_t index, uint32_t* override_flag);
int32_t tqx_parse_defn_opt_params_scoring_levels_get(context* ctx, int32_t index, int32_t* levels);
int32_t tqx_parse_defn_opt_params_resource_limit_get(context* ctx, int32_t index, int32_t* limit);
int32_t tqx_parse_defn_opt_params_input_length_get(context* ctx, int32_t index, int32_t* length);
// The value setters switch the override on first (starting from the values
// in effect). Levels are checked (5 to 10, -802); the limit and the input
// length are stored as given.
int32_t tqx_parse_defn_opt_params_override_set(context* ctx, int32_t index, uint32_t override_flag);
int32_t tqx_parse_defn_opt_params_scoring_levels_set(context* ctx, int32_t index, int32_t levels);
int32_t tqx_parse_defn_opt_params_resource_limit_set(context* ctx, int32_t index, int32_t limit);
int32_t tqx_parse_defn_opt_params_input_length_set(context* ctx, int32_t index, int32_t length);

// ---- Tokens ---------------------------------------------------------------------------------

// Appends a token of that name (one of the datatype's; a refused name
// leaves no token behind) and sets up its no-solution slot; *token_index
// its position.
int32_t tqx_parse_defn_token_add(context* ctx, int32_t index, const char* name, int32_t* token_index);
// Removes the token with its no-solution slot; the unknown token follows
// (-1 when it was this one, one place down when after it).
int32_t tqx_parse_defn_token_delete(context* ctx, int32_t index, int32_t token);
// The token's name (1,028 bytes) and category count.
int32_t tqx_parse_defn_token_info_get(context* ctx, int32_t index, int32_t token, char* name, uint32_t* num_cats);
// Category cat's name (128 bytes); -800 past the count.
int32_t tqx_parse_defn_token_cat_abbr_get(context* ctx, int32_t index, int32_t token, int32_t cat, char* abbr);
// Appends a category, uppercased as categories read from files are; the
// 33rd is -601 (message 1473).
int32_t tqx_parse_defn_token_cat_add(context* ctx, int32_t index, int32_t token, const char* abbr);
int32_t tqx_parse_defn_token_cat_list_clear(context* ctx, int32_t index, int32_t token);

// ---- Categorization regex libraries ----------------------------------------------------------

int32_t tqx_parse_defn_cat_regexlib_count_get(context* ctx, int32_t index, uint32_t* count);
// The library's name (16,384 bytes), category (128 bytes), likelihood and
// stop flag; -800 past the count.
int32_t tqx_parse_defn_cat_regexlib_info_get(context* ctx, int32_t index, int32_t entry, char* filename,
                                             char* category, uint32_t* likelihood, uint32_t* stop);
// Rebuilds the entry (likelihood 10 to 90, -802); a failure keeps the old one.
int32_t tqx_parse_defn_cat_regexlib_info_set(context* ctx, int32_t index, int32_t entry, const char* filename,
                                             const char* category, uint32_t likelihood, uint32_t stop);
int32_t tqx_parse_defn_cat_regexlib_add(context* ctx, int32_t index, const char* rlib_name, uint32_t likelihood,
                                        const char* cat_abbr, uint32_t stop);
int32_t tqx_parse_defn_cat_regexlib_delete(context* ctx, int32_t index, int32_t entry);
int32_t tqx_parse_defn_cat_regexlibs_delete_all(context* ctx, int32_t index);

// ---- No-solution settings ---------------------------------------------------------------------
// Each parse reads them as they are: no change drops the prepared state.
// Token names (at most 1,024 bytes taken in) are compared byte for byte with
// the definition's tokens: -802 (message 1472) when none matches, -802 for an
// empty name. Slots follow the tokens (slot p belongs to token p); a
// definition without slots has none to add categories to or delete them
// from (-800). Category names are uppercased.

int32_t tqx_parse_defn_nosol_token_count_get(context* ctx, int32_t index, uint32_t* count);
// The slot's token name (1,028 bytes; empty for an unfilled slot) and its
// category count.
int32_t tqx_parse_defn_nosol_token_info_get(context* ctx, int32_t index, int32_t slot, char* name,
                                            uint32_t* num_cats);
int32_t tqx_parse_defn_nosol_token_cat_info_get(context* ctx, int32_t index, int32_t slot, int32_t cat, char* abbr,
                                                uint32_t* max_words);
// Sets up the token's slot without categories (the first one gives the
// definition one slot per token).
int32_t tqx_parse_defn_nosol_token_add(context* ctx, int32_t index, const char* name, int32_t* token_index);
// max_words 0: no limit. The 33rd category is -601 (message 1473).
int32_t tqx_parse_defn_nosol_category_add(context* ctx, int32_t index, const char* tname, const char* cname,
                                          uint32_t max_words, int32_t* cidx);
int32_t tqx_parse_defn_nosol_category_delete(context* ctx, int32_t index, const char* tname, int32_t cat);
// The token's slot loses its categories; when it was the only slot with
// any, the definition keeps no slots and no unknown token.
int32_t tqx_parse_defn_nosol_token_delete(context* ctx, int32_t index, const char* tok_name);
// No slots, no excluded categories, no unknown token.
int32_t tqx_parse_defn_nosol_delete_all(context* ctx, int32_t index);
// The unknown token's name (1,028 bytes) and position; empty and 0 for none.
int32_t tqx_parse_defn_nosol_unknown_token_info_get(context* ctx, int32_t index, char* name, int32_t* tidx);
int32_t tqx_parse_defn_nosol_unknown_token_set(context* ctx, int32_t index, const char* name, int32_t* token_index);
int32_t tqx_parse_defn_nosol_xcat_count_get(context* ctx, int32_t index, uint32_t* count);
// Excluded category entry's name (128 bytes); -800 past the count.
int32_t tqx_parse_defn_nosol_xcat_info_get(context* ctx, int32_t index, int32_t entry, char* abbr);
int32_t tqx_parse_defn_nosol_xcat_add(context* ctx, int32_t index, const char* cname, int32_t* cidx);
int32_t tqx_parse_defn_nosol_xcat_delete(context* ctx, int32_t index, int32_t entry);
int32_t tqx_parse_defn_nosol_xcat_delete_all(context* ctx, int32_t index);

// ---- Whole definitions ---------------------------------------------------------------

// Appends a definition named `name` on the datatype at dtype_index of the
// current locale, with one token per datatype token in the datatype's
// order, each without categories. A failure leaves no definition behind.
int32_t tqx_parse_defn_add(context* ctx, const char* name, int32_t dtype_index, int32_t* parse_defn_index);

}  // namespace tq

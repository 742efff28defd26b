// The accessors of match definitions (kind 4) that touch the kind's own
// part, its tokens' parts, its combination rules or the parse definition it
// names. The rest of the family are rows bound to the accessors every kind
// shares (kbstore/krdefnacc.h) with kDefnMatch. Each is named as its export
// without the tq prefix, takes the context first and runs under the frame's
// read hold; a change takes the definition (or its token) for change (the
// write hold) inside and gives it back on every path.
//
// Names cross in the session encoding, at most 4,096 bytes in and out
// unless stated; a name that cannot be converted is refused with the
// conversion's failure before anything is taken, and a positive conversion
// warning is returned when nothing failed.
//
// Resource entries hold one registry reference each; an entry whose
// resource could not be opened is unbound. Replacing an entry's resource by
// a name that cannot be opened gives the open's failure and leaves the entry
// unbound (its old reference given back), so the engine skips it; an add
// that cannot open its resource adds nothing.
//
// What preparation reads (the categorization lists, "Automatic Cat
// Uppercasing", "Sort Words", the token list) clears the definition's and
// the token's prepared flags when changed; the noise, phonetics and
// transformation lists, the preprocessing schemes and the positions are read
// by every run and leave them.
#pragma once

#include <cstdint>
#include <vector>

#include "core/krcorvel.h"
#include "match/krmdef.h"

namespace tq {

// ---- The definition -----------------------------------------------------------------------

// The longest code in UTF-8 bytes: the code length x 4 (a caller's buffer
// takes one byte more).
int32_t tqx_match_defn_matchcode_length_get(context* ctx, int32_t index, uint32_t* len);

// The parse definition's tokens and surface flag, read in the match
// definition's own locale (the current locale stays as it is); -708 (the
// surface flag -301) when it names no parse definition.
int32_t tqx_match_defn_parse_defn_token_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_match_defn_parse_defn_token_name_get(context* ctx, int32_t index, int32_t token, char* name);
int32_t tqx_match_defn_parse_defn_token_key_get_by_name(context* ctx, int32_t index, const char* name,
                                                        int32_t* key);
int32_t tqx_match_defn_parse_defn_surfaced_get(context* ctx, int32_t index, uint32_t* surfaced);

// Preprocessing schemes with their options (bit 0 element mode, bit 1 case
// insensitive). -800 for a scheme index out of range; an unbound entry
// reads an empty name and its options.
int32_t tqx_match_defn_scheme_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_match_defn_scheme_info_get(context* ctx, int32_t index, int32_t scheme, char* name, uint32_t* options);
int32_t tqx_match_defn_scheme_info_set(context* ctx, int32_t index, int32_t scheme, const char* name,
                                       uint32_t options);
int32_t tqx_match_defn_scheme_add(context* ctx, int32_t index, const char* name, uint32_t options);
int32_t tqx_match_defn_schemes_delete_all(context* ctx, int32_t index);

// ---- Tokens ---------------------------------------------------------------------------------

// "Sort Words"; a set raises the version to "9.0".
int32_t tqx_match_defn_sort_words_flag_get(context* ctx, int32_t index, int32_t token, uint32_t* sort_words);
int32_t tqx_match_defn_sort_words_flag_set(context* ctx, int32_t index, int32_t token, uint32_t value);
// The token goes; the combination rules forget it and the code length is
// recomputed from the tokens left.
int32_t tqx_match_defn_token_delete(context* ctx, int32_t index, int32_t token);
// The rules follow the new name (as stored) of a token renamed.
int32_t tqx_match_defn_token_name_set(context* ctx, int32_t index, int32_t token, const char* name);

// Normalization regex libraries and standardization schemes (the token's
// common lists), with their sensitivity ranges.
int32_t tqx_match_defn_token_regexlib_info_get(context* ctx, int32_t index, int32_t token, int32_t entry, char* name,
                                               uint32_t* sens_hi, uint32_t* sens_lo);
int32_t tqx_match_defn_token_regexlibs_delete_all(context* ctx, int32_t index, int32_t token);
int32_t tqx_match_defn_token_stdz_scheme_info_get(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                  char* name, uint32_t* options, uint32_t* disable_phtx,
                                                  uint32_t* sens_hi, uint32_t* sens_lo);
int32_t tqx_match_defn_token_stdz_scheme_info_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                  const char* name, uint32_t options, uint32_t disable_phtx,
                                                  uint32_t sens_hi, uint32_t sens_lo);

// Noise vocabularies, phonetics rule sets and transformation regex
// libraries, each within a sensitivity range. An unbound noise vocabulary
// reads -800; an unbound rule set or library reads an empty name and 0.
// Transformation changes raise the version to "9.0".
// The three lists a table row names by its kind.
struct match_ranged_kind {
  std::vector<match_ranged_ref> match_token_kind_rec::*list;
  uint32_t rsrc;
  int32_t unbound_rc;  // what an unbound entry's info reads
  bool raises;         // changes raise the version to "9.0"
};
extern const match_ranged_kind kMatchNoiseList;
extern const match_ranged_kind kMatchPhonetxList;
extern const match_ranged_kind kMatchTransformList;

int32_t match_ranged_count_get(context* ctx, const match_ranged_kind& k, int32_t index, int32_t token,
                               uint32_t* count);
int32_t match_ranged_info_get(context* ctx, const match_ranged_kind& k, int32_t index, int32_t token, int32_t entry,
                              char* name, uint32_t* sens_hi, uint32_t* sens_lo);
int32_t match_ranged_info_set(context* ctx, const match_ranged_kind& k, int32_t index, int32_t token, int32_t entry,
                              const char* name, uint32_t sens_hi, uint32_t sens_lo);
int32_t match_ranged_add(context* ctx, const match_ranged_kind& k, int32_t index, int32_t token, const char* name,
                         uint32_t sens_hi, uint32_t sens_lo);
int32_t match_ranged_delete_all(context* ctx, const match_ranged_kind& k, int32_t index, int32_t token);

// The categorization lists. Every change raises the version to "9.0",
// except to the default categories. Their counts are one getter, told by a
// table row which list to count.
struct match_token_count {
  uint32_t (*of)(const match_token_kind_rec& part);
};
extern const match_token_count kMatchCatNormCount;
extern const match_token_count kMatchVocabCount;
extern const match_token_count kMatchCatRegexCount;
extern const match_token_count kMatchDefaultCatCount;
int32_t match_token_list_count_get(context* ctx, const match_token_count& k, int32_t index, int32_t token,
                                   uint32_t* count);

int32_t tqx_match_defn_token_cat_norm_regexlib_info_get(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                        char* name);
int32_t tqx_match_defn_token_cat_norm_regexlib_info_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                        const char* name);
int32_t tqx_match_defn_token_cat_norm_regexlib_add(context* ctx, int32_t index, int32_t token, const char* name);
int32_t tqx_match_defn_token_cat_norm_regexlib_delete(context* ctx, int32_t index, int32_t token, int32_t entry);
int32_t tqx_match_defn_token_cat_norm_regexlibs_delete_all(context* ctx, int32_t index, int32_t token);

// Vocabularies with their stop flag and fuzzy lookup (the threshold reads
// 80 while disabled and is stored only when enabling). Setting an entry to
// the vocabulary it holds keeps its reference.
int32_t tqx_match_defn_token_vocabulary_info_get(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                 char* name, uint32_t* stop, uint32_t* fuzzy_enabled,
                                                 uint32_t* fuzzy_threshold);
int32_t tqx_match_defn_token_vocabulary_info_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                 const char* name, uint32_t stop, uint32_t fuzzy_enabled,
                                                 uint32_t fuzzy_threshold);
int32_t tqx_match_defn_token_vocabulary_add(context* ctx, int32_t index, int32_t token, const char* name,
                                            uint32_t stop, uint32_t fuzzy_enabled, uint32_t fuzzy_threshold);
int32_t tqx_match_defn_token_vocabulary_delete(context* ctx, int32_t index, int32_t token, int32_t entry);
int32_t tqx_match_defn_token_vocabulary_delete_all(context* ctx, int32_t index, int32_t token);

// Categorization regex libraries: a category (128 bytes) with a likelihood
// (10..90, else -802), a regex library (16,384 bytes) and a stop flag.
int32_t tqx_match_defn_token_cat_regexlib_info_get(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                   char* name, char* abbrev, uint32_t* like, uint32_t* stop);
int32_t tqx_match_defn_token_cat_regexlib_info_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                   const char* abbrev, uint32_t like, const char* name,
                                                   uint32_t stop);
int32_t tqx_match_defn_token_cat_regexlib_add(context* ctx, int32_t index, int32_t token, const char* abbrev,
                                              uint32_t like, const char* name, uint32_t stop);
int32_t tqx_match_defn_token_cat_regexlib_delete(context* ctx, int32_t index, int32_t token, int32_t entry);
int32_t tqx_match_defn_token_cat_regexlibs_delete_all(context* ctx, int32_t index, int32_t token);

// Default categories: a category (128 bytes) and a likelihood; a new entry
// has no category and likelihood 50.
int32_t tqx_match_defn_token_default_category_info_get(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                       char* abbrev, uint32_t* like);
int32_t tqx_match_defn_token_default_category_info_set(context* ctx, int32_t index, int32_t token, int32_t entry,
                                                       const char* abbrev, uint32_t like);
int32_t tqx_match_defn_token_default_category_add(context* ctx, int32_t index, int32_t token, int32_t* cat_idx);
int32_t tqx_match_defn_token_default_category_delete(context* ctx, int32_t index, int32_t token, int32_t entry);
int32_t tqx_match_defn_token_default_categories_delete_all(context* ctx, int32_t index, int32_t token);

// "Automatic Cat Uppercasing"; a set raises the version to "9.0".
int32_t tqx_match_defn_token_cat_automatic_uppercasing_get(context* ctx, int32_t index, int32_t token,
                                                           uint32_t* auto_upper);
int32_t tqx_match_defn_token_cat_automatic_uppercasing_set(context* ctx, int32_t index, int32_t token,
                                                           uint32_t value);

// The token's positions at sensitivity bucket `sens` (0..9: 95, 90, ... 50;
// else -800). The set takes 0 <= start <= end <= 1,024 (else -802) and
// recomputes the definition's code length.
int32_t tqx_match_defn_token_sensitivity_info_get(context* ctx, int32_t index, int32_t token, int32_t sens,
                                                  uint32_t* sense, uint32_t* start, uint32_t* stop);
int32_t tqx_match_defn_token_sensitivity_info_set(context* ctx, int32_t index, int32_t token, int32_t sens,
                                                  uint32_t start, uint32_t end);

}  // namespace tq

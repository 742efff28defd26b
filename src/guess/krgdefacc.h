// The accessors of locale guess definitions (kind 9) that have logic of
// their own: the shared accessors whose change also raises the definition to
// the "V8" form, and the kind's flags, language definition, known-word
// vocabularies, known pattern regex libraries, categorization regex
// libraries, patterns and their parse options. The exported rows are in
// api/tables/guess_defn.def.
//
// Every change takes the definition for change (the shared state's write
// hold), validates before it touches the record, opens a new resource before
// it gives the old one back, and clears "prepared" in the same hold when
// preparation reads what changed. The raise to level 8 follows in a hold of
// its own. Positions past a list are -800; texts cross in the session
// encoding.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

struct tq_xmldoc;

namespace tq {

// Raises the format level of the definition at the index to `level` when it
// is lower.
int32_t guess_defn_level_raise(context* ctx, int32_t index, uint32_t level);

// ---- Shared accessors that also raise the level ----------------------------------------------

int32_t tqx_guess_defn_add(context* ctx, const char* name, int32_t* index);
int32_t tqx_guess_defn_copy(context* ctx, const char* sname, const char* dname, int32_t* index);
int32_t tqx_guess_defn_chopper_name_set(context* ctx, int32_t index, const char* name);
int32_t tqx_guess_defn_norm_rgx_name_get(context* ctx, int32_t index, char* name);
int32_t tqx_guess_defn_norm_rgx_name_set(context* ctx, int32_t index, const char* name);
int32_t tqx_guess_defn_norm_rgx_name_set_by_index(context* ctx, int32_t index, int32_t position, const char* name);
int32_t tqx_guess_defn_norm_rgx_add(context* ctx, int32_t index, const char* name);
int32_t tqx_guess_defn_parse_vocab_info_set(context* ctx, int32_t index, int32_t position, const char* name,
                                            uint32_t stop);
int32_t tqx_guess_defn_parse_vocab_add(context* ctx, int32_t index, const char* name, uint32_t stop);
int32_t tqx_guess_defn_parse_vocab_delete_all(context* ctx, int32_t index);
int32_t tqx_guess_defn_fuzzy_vocab_lookup_params_set(context* ctx, int32_t index, uint32_t enabled,
                                                     uint32_t threshold);
int32_t tqx_guess_defn_fuzzy_vocab_lookup_params_set_by_index(context* ctx, int32_t index, int32_t position,
                                                              uint32_t enabled, uint32_t threshold);
int32_t tqx_guess_defn_default_category_info_set(context* ctx, int32_t index, int32_t position,
                                                 const char* category, uint32_t likelihood);
int32_t tqx_guess_defn_default_category_add(context* ctx, int32_t index, int32_t* cat_index);
int32_t tqx_guess_defn_default_category_delete(context* ctx, int32_t index, int32_t position);
int32_t tqx_guess_defn_default_categories_delete_all(context* ctx, int32_t index);

// ---- The kind's own ----------------------------------------------------------------------------

int32_t tqx_guess_defn_implemented_for_locale(context* ctx, uint32_t a, uint32_t b, uint32_t* imp);
int32_t tqx_guess_defn_version_get(context* ctx, int32_t index, uint32_t* value);
int32_t tqx_guess_defn_touch(context* ctx, int32_t index);
int32_t tqx_guess_defn_word_analysis_enabled_get(context* ctx, int32_t index, uint32_t* enabled);
int32_t tqx_guess_defn_word_analysis_enabled_set(context* ctx, int32_t index, uint32_t value);
int32_t tqx_guess_defn_force_guess_choice_get(context* ctx, int32_t index, uint32_t* force);
int32_t tqx_guess_defn_force_guess_choice_set(context* ctx, int32_t index, uint32_t value);
int32_t tqx_guess_defn_lang_defn_index_get(context* ctx, int32_t index, int32_t* lang_idx);
int32_t tqx_guess_defn_lang_defn_index_set(context* ctx, int32_t index, int32_t value);

int32_t tqx_guess_defn_known_word_vocab_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_guess_defn_known_word_vocab_name_get(context* ctx, int32_t index, uint32_t position, char* name);
int32_t tqx_guess_defn_known_word_vocab_name_set(context* ctx, int32_t index, uint32_t position, const char* name);
int32_t tqx_guess_defn_known_word_vocab_add(context* ctx, int32_t index, const char* name);
int32_t tqx_guess_defn_known_word_vocab_delete(context* ctx, int32_t index, uint32_t position);
int32_t tqx_guess_defn_known_word_vocab_delete_all(context* ctx, int32_t index);

int32_t tqx_guess_defn_known_ptrn_rgx_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_guess_defn_known_ptrn_rgx_info_get(context* ctx, int32_t index, uint32_t position, char* rlib_name,
                                               uint32_t* likelihood);
int32_t tqx_guess_defn_known_ptrn_rgx_info_set(context* ctx, int32_t index, uint32_t position, uint32_t likelihood,
                                               const char* rlib_name);
int32_t tqx_guess_defn_known_ptrn_rgx_add(context* ctx, int32_t index, uint32_t likelihood, const char* rlib_name);
int32_t tqx_guess_defn_known_ptrn_rgx_delete(context* ctx, int32_t index, uint32_t position);
int32_t tqx_guess_defn_known_ptrn_rgx_delete_all(context* ctx, int32_t index);

int32_t tqx_guess_defn_cat_regexlib_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_guess_defn_cat_regexlib_info_get(context* ctx, int32_t index, uint32_t position, char* abbrev,
                                             uint32_t* likelihood, char* rlib_name, uint32_t* stop);
int32_t tqx_guess_defn_cat_regexlib_info_set(context* ctx, int32_t index, uint32_t position, const char* cat_abbr,
                                             uint32_t likelihood, const char* rlib_name, uint32_t stop);
int32_t tqx_guess_defn_cat_regexlib_add(context* ctx, int32_t index, const char* cat_abbr, uint32_t likelihood,
                                        const char* rlib_name, uint32_t stop);
int32_t tqx_guess_defn_cat_regexlib_delete(context* ctx, int32_t index, uint32_t position);
int32_t tqx_guess_defn_cat_regexlib_delete_all(context* ctx, int32_t index);

int32_t tqx_guess_defn_pattern_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_guess_defn_pattern_info_get(context* ctx, int32_t index, uint32_t position, char* root_cat,
                                        char* sought_cat, uint32_t* mode, uint32_t* likelihood, uint32_t* stop);
int32_t tqx_guess_defn_pattern_add(context* ctx, int32_t index, const char* grammar_name, const char* root_cat,
                                   const char* sought_cat, uint32_t mode, uint32_t likelihood, uint32_t stop);
int32_t tqx_guess_defn_pattern_info_set(context* ctx, int32_t index, uint32_t position, const char* grammar_name,
                                        const char* root_cat, const char* sought_cat, uint32_t mode,
                                        uint32_t likelihood, uint32_t stop);
int32_t tqx_guess_defn_patterns_delete_all(context* ctx, int32_t index);
int32_t tqx_guess_defn_grammar_name_get(context* ctx, int32_t index, uint32_t position, char* name);
int32_t tqx_guess_defn_grammar_name_set(context* ctx, int32_t index, uint32_t position, const char* name);

int32_t tqx_guess_defn_opt_params_override_get(context* ctx, int32_t index, uint32_t position, uint32_t* value);
int32_t tqx_guess_defn_opt_params_resource_limit_get(context* ctx, int32_t index, uint32_t position,
                                                     uint32_t* limit);
int32_t tqx_guess_defn_opt_params_scoring_levels_get(context* ctx, int32_t index, uint32_t position,
                                                     uint32_t* levels);
int32_t tqx_guess_defn_opt_params_input_length_get(context* ctx, int32_t index, uint32_t position,
                                                   uint32_t* length);
int32_t tqx_guess_defn_opt_params_override_set(context* ctx, int32_t index, uint32_t position, uint32_t value);
int32_t tqx_guess_defn_opt_params_resource_limit_set(context* ctx, int32_t index, uint32_t position,
                                                     uint32_t value);
int32_t tqx_guess_defn_opt_params_scoring_levels_set(context* ctx, int32_t index, uint32_t position,
                                                     uint32_t value);
int32_t tqx_guess_defn_opt_params_input_length_set(context* ctx, int32_t index, uint32_t position,
                                                   uint32_t value);

}  // namespace tq

// The accessors of extraction definitions (kind 8) that have logic of their
// own. Most extraction-definition exports are rows bound to the accessors
// every kind shares (kbstore/krdefnacc.h) with kDefnExtract; the functions
// here are the rest. Each is named as its export without the tq prefix,
// takes the context first and runs under the frame's read hold; a change
// takes the write hold inside and gives it back on every path.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

struct tq_xmldoc;

namespace tq {

// Appends a token named after one of the datatype's tokens (a refused name
// leaves no token behind); *tok_idx its position. The engine keeps one slot
// per token, 32 of them: a 33rd token is -601.
int32_t tqx_extraction_defn_token_add(context* ctx, int32_t index, const char* name, int32_t* tok_idx);

// An empty name is refused (-802) rather than emptying the list.
int32_t tqx_extraction_defn_normalization_regexlib_add(context* ctx, int32_t index, const char* name);

// ---- Whole definitions ---------------------------------------------------------------

// Appends a definition named `name` without datatype or tokens.
int32_t tqx_extraction_defn_add(context* ctx, const char* name, int32_t* index);
// Copies the definition named sname (surfaced or not) under the name dname.
int32_t tqx_extraction_defn_copy(context* ctx, const char* sname, const char* dname, int32_t* index);
// Appends the whole definition to xml as an include of the kind's root type.
int32_t tqx_extraction_defn_write(context* ctx, tq_xmldoc* xml, int32_t index);

// ---- The kind part ---------------------------------------------------------------------
// Patterns, sought categories, known-word schemes and categorization entries
// are addressed by position (-800 past the count). Every change clears
// "prepared". Category names are taken in at most 128 bytes, cut between
// characters. Token arguments are checked against the definition's own
// tokens (-800). A pattern's root category and a sought category must be
// categories of the pattern's grammar (-802); a refused pattern_add leaves
// no pattern behind. A token delete renumbers the sought categories, the
// known-word schemes (giving back the references of the entries it removes)
// and the default token; datatype_index_set first drops every token and
// whatever named one. The default token setter raises the version to "9.0".
int32_t tqx_extraction_defn_token_delete(context* ctx, int32_t index, int32_t token);
int32_t tqx_extraction_defn_datatype_index_set(context* ctx, int32_t index, int32_t dtype_index);
int32_t tqx_extraction_defn_parser_enabled_get(context* ctx, int32_t index, uint32_t* enabled);
int32_t tqx_extraction_defn_parser_enabled_set(context* ctx, int32_t index, uint32_t enabled);
int32_t tqx_extraction_defn_separator_get(context* ctx, int32_t index, char* separator);
int32_t tqx_extraction_defn_separator_set(context* ctx, int32_t index, const char* separator);
int32_t tqx_extraction_defn_default_token_get(context* ctx, int32_t index, int32_t* tok_idx);
int32_t tqx_extraction_defn_default_token_set(context* ctx, int32_t index, int32_t tok_idx);
int32_t tqx_extraction_defn_grammar_name_get(context* ctx, int32_t index, uint32_t pattern, char* name);
int32_t tqx_extraction_defn_grammar_name_set(context* ctx, int32_t index, uint32_t pattern, const char* name);
int32_t tqx_extraction_defn_pattern_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_extraction_defn_pattern_info_get(context* ctx, int32_t index, uint32_t pattern, char* root_cat,
                                             uint32_t* mode, int32_t* weight, int32_t* max_matches);
int32_t tqx_extraction_defn_pattern_info_set(context* ctx, int32_t index, uint32_t pattern, const char* grammar_name,
                                             const char* root_cat, uint32_t mode, int32_t weight,
                                             int32_t max_matches);
int32_t tqx_extraction_defn_pattern_add(context* ctx, int32_t index, const char* grammar_name, const char* root_cat,
                                        uint32_t mode, int32_t weight, int32_t max_matches, uint32_t* pat_idx);
int32_t tqx_extraction_defn_patterns_delete_all(context* ctx, int32_t index);
int32_t tqx_extraction_defn_pattern_sought_cat_count_get(context* ctx, int32_t index, uint32_t pattern,
                                                         uint32_t* count);
int32_t tqx_extraction_defn_pattern_sought_cat_info_get(context* ctx, int32_t index, uint32_t pattern,
                                                        uint32_t sought, char* cat_abbr, int32_t* tok_idx);
int32_t tqx_extraction_defn_pattern_sought_cat_add(context* ctx, int32_t index, uint32_t pattern,
                                                   const char* cat_abbr, uint32_t tok_idx);
int32_t tqx_extraction_defn_pattern_sought_cats_clear(context* ctx, int32_t index, uint32_t pattern);
int32_t tqx_extraction_defn_opt_params_override_get(context* ctx, int32_t index, uint32_t pattern,
                                                    uint32_t* override_flag);
int32_t tqx_extraction_defn_opt_params_resource_limit_get(context* ctx, int32_t index, uint32_t pattern,
                                                          int32_t* limit);
int32_t tqx_extraction_defn_opt_params_scoring_levels_get(context* ctx, int32_t index, uint32_t pattern,
                                                          int32_t* levels);
int32_t tqx_extraction_defn_opt_params_input_length_get(context* ctx, int32_t index, uint32_t pattern,
                                                        int32_t* length);
int32_t tqx_extraction_defn_opt_params_override_set(context* ctx, int32_t index, uint32_t pattern,
                                                    uint32_t override_flag);
int32_t tqx_extraction_defn_opt_params_resource_limit_set(context* ctx, int32_t index, uint32_t pattern,
                                                          uint32_t limit);
int32_t tqx_extraction_defn_opt_params_scoring_levels_set(context* ctx, int32_t index, uint32_t pattern,
                                                          uint32_t levels);
int32_t tqx_extraction_defn_opt_params_input_length_set(context* ctx, int32_t index, uint32_t pattern,
                                                        uint32_t length);
int32_t tqx_extraction_defn_scheme_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_extraction_defn_scheme_info_get(context* ctx, int32_t index, uint32_t scheme, uint32_t* tok_index,
                                            char* sch_name, uint32_t* case_sens);
int32_t tqx_extraction_defn_scheme_info_set(context* ctx, int32_t index, uint32_t scheme, uint32_t tok_index,
                                            const char* sch_name, uint32_t case_sens);
int32_t tqx_extraction_defn_scheme_add(context* ctx, int32_t index, uint32_t tok_index, const char* sch_name,
                                       uint32_t case_sens);
int32_t tqx_extraction_defn_schemes_delete_all(context* ctx, int32_t index);
int32_t tqx_extraction_defn_cat_regexlib_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_extraction_defn_cat_regexlib_info_get(context* ctx, int32_t index, uint32_t entry, char* abbrev,
                                                  uint32_t* likelihood, char* rlib_name, uint32_t* stop);
int32_t tqx_extraction_defn_cat_regexlib_info_set(context* ctx, int32_t index, uint32_t entry, const char* cat_abbr,
                                                  uint32_t likelihood, const char* rlib_name, uint32_t stop);
int32_t tqx_extraction_defn_cat_regexlib_add(context* ctx, int32_t index, const char* cat_abbr, uint32_t likelihood,
                                             const char* rlib_name, uint32_t stop);
int32_t tqx_extraction_defn_cat_regexlib_delete(context* ctx, int32_t index, uint32_t entry);
int32_t tqx_extraction_defn_cat_regexlib_delete_all(context* ctx, int32_t index);

}  // namespace tq

// The accessors of identification definitions (kind 3) that have logic of
// their own. Most identification-definition exports are rows bound to the
// accessors every kind shares (kbstore/krdefnacc.h) with kDefnIdent; the
// functions here are the rest. Each is named as its export without the tq
// prefix, takes the context first and runs under the frame's read hold; a
// change takes the write hold inside and gives it back on every path.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "core/krerr.h"
#include "kbstore/krfield.h"

struct tq_xmldoc;

namespace tq {

// The datatype resolved as every kind resolves it (defn_datatype_index_set);
// the definition is bound again before its next run, its format level stays.
int32_t tqx_identification_defn_datatype_index_set_no_upcast(context* ctx, int32_t index, int32_t dtype_index);
// The shared datatype setter, then the change epilogue.
int32_t tqx_identification_defn_datatype_index_set(context* ctx, int32_t index, int32_t dtype_index);
// The first normalization library's name (4,096 bytes); -800 when the
// definition has none.
int32_t tqx_identification_defn_normalization_regexlib_name_get(context* ctx, int32_t index, char* name);

// ---- Whole definitions ---------------------------------------------------------------

// A new definition named `name` (session encoding) in the current locale.
int32_t tqx_identification_defn_add(context* ctx, const char* name, int32_t* index);
// Copies the definition named sname (surfaced or not) under the name dname.
int32_t tqx_identification_defn_copy(context* ctx, const char* sname, const char* dname, int32_t* index);
// Appends the definition to xml under the same include name and element
// type as the locale writer uses, so that either reads back the same way.
int32_t tqx_identification_defn_write(context* ctx, int32_t index, tq_xmldoc* xml);

// ---- Format level and the change epilogue ------------------------------------------------
// Changes that end with the epilogue leave the definition at format level 8
// (written as "Dovirizered V8") and unbound, so that its next run binds it
// again.

// Raises the level to 8 when lower and drops the binding.
int32_t ident_defn_epilogue(context* ctx, int32_t index);
// A shared accessor's change (Op(ctx, kind, index, args...)), then the
// epilogue when it succeeded; bound to table rows with kDefnIdent.
template <auto Op, typename... A>
int32_t ident_defn_changed(context* ctx, int32_t kind, int32_t index, A... args) {
  int32_t rc = Op(ctx, kind, index, args...);
  if (rc < 0) return rc;
  return rc_combine(rc, ident_defn_epilogue(ctx, index));
}
// The same for a plain field (field_set).
int32_t ident_defn_field_changed(context* ctx, int32_t kind, const field_desc& f, int32_t index, int32_t value);
int32_t ident_defn_field_changed(context* ctx, int32_t kind, const field_desc& f, int32_t index, uint32_t value);

// The level (5, 7, 8), and its raise to 8 that keeps the binding.
int32_t tqx_identification_defn_version_get(context* ctx, int32_t index, uint32_t* value);
int32_t tqx_identification_defn_touch(context* ctx, int32_t index);
// Below level 7 the normalization libraries are the ones the engine applies
// to the whole value first: the preprocessing count and names give them and
// the normalization count is 0.
int32_t tqx_identification_defn_normalization_regexlib_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_identification_defn_preprocessing_regexlib_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_identification_defn_preprocessing_regexlib_name_get_by_index(context* ctx, int32_t index,
                                                                          int32_t position, char* name);
// Leaves only the named library (an empty name empties the list); one that
// cannot be opened changes nothing.
int32_t tqx_identification_defn_normalization_regexlib_name_set(context* ctx, int32_t index, const char* name);

// ---- The kind part ------------------------------------------------------------------------
// Identity values, known identities, patterns with their grammars and
// optimization parameters, categorization libraries. Out texts: values and
// category names 128 bytes, descriptions and resource names 1,028, library
// names 16,384, each with the terminator and cut between characters. Every
// change ends with the epilogue on success; a change of a pattern or known
// identity that fails after changing it still leaves the definition unbound.
int32_t tqx_identification_defn_value_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_identification_defn_value_info_get(context* ctx, int32_t index, int32_t value_index, char* value,
                                               char* desc, uint32_t* dflt_flag);
int32_t tqx_identification_defn_value_add(context* ctx, int32_t index, const char* value, const char* desc,
                                          uint32_t dflt_flag);
int32_t tqx_identification_defn_values_delete_all(context* ctx, int32_t index);
int32_t tqx_identification_defn_known_identity_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_identification_defn_known_identity_info_get(context* ctx, int32_t index, int32_t known_index, char* scheme,
                                                        uint32_t* options, char* value);
int32_t tqx_identification_defn_known_identity_info_set(context* ctx, int32_t index, int32_t known_index,
                                                        const char* scheme, uint32_t options, const char* identity);
int32_t tqx_identification_defn_known_identity_add(context* ctx, int32_t index, const char* scheme, uint32_t options,
                                                   const char* identity);
int32_t tqx_identification_defn_known_identities_delete_all(context* ctx, int32_t index);
int32_t tqx_identification_defn_pattern_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_identification_defn_pattern_info_get(context* ctx, int32_t index, int32_t pattern_index, char* root_cat,
                                                 char* sought_cat, uint32_t* options, char* id_val, int32_t* weight,
                                                 uint32_t* stop);
int32_t tqx_identification_defn_pattern_info_set(context* ctx, int32_t index, int32_t pattern_index,
                                                 const char* grammar_name, const char* root_cat, const char* sought_cat,
                                                 uint32_t options, const char* id_val, int32_t weight, uint32_t stop);
int32_t tqx_identification_defn_pattern_add(context* ctx, int32_t index, const char* grammar_name, const char* root_cat,
                                            const char* sought_cat, uint32_t options, const char* id_val,
                                            int32_t weight, uint32_t stop);
int32_t tqx_identification_defn_patterns_delete_all(context* ctx, int32_t index);
int32_t tqx_identification_defn_grammar_name_get(context* ctx, int32_t index, int32_t pattern_index, char* name);
int32_t tqx_identification_defn_grammar_name_set(context* ctx, int32_t index, int32_t pattern_index, const char* name);
int32_t tqx_identification_defn_opt_params_override_get(context* ctx, int32_t index, int32_t pattern_index,
                                                        uint32_t* value);
int32_t tqx_identification_defn_opt_params_resource_limit_get(context* ctx, int32_t index, int32_t pattern_index,
                                                              int32_t* value);
int32_t tqx_identification_defn_opt_params_scoring_levels_get(context* ctx, int32_t index, int32_t pattern_index,
                                                              int32_t* value);
int32_t tqx_identification_defn_opt_params_input_length_get(context* ctx, int32_t index, int32_t pattern_index,
                                                            int32_t* value);
int32_t tqx_identification_defn_opt_params_override_set(context* ctx, int32_t index, int32_t pattern_index,
                                                        uint32_t value);
int32_t tqx_identification_defn_opt_params_resource_limit_set(context* ctx, int32_t index, int32_t pattern_index,
                                                              int32_t value);
int32_t tqx_identification_defn_opt_params_scoring_levels_set(context* ctx, int32_t index, int32_t pattern_index,
                                                              int32_t value);
int32_t tqx_identification_defn_opt_params_input_length_set(context* ctx, int32_t index, int32_t pattern_index,
                                                            int32_t value);
int32_t tqx_identification_defn_cat_regexlib_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_identification_defn_cat_regexlib_info_get(context* ctx, int32_t index, int32_t entry_index, char* abbrev,
                                                      uint32_t* likelihood, char* rlib_name, uint32_t* stop);
int32_t tqx_identification_defn_cat_regexlib_info_set(context* ctx, int32_t index, int32_t entry_index,
                                                      const char* cat_abbr, uint32_t likelihood, const char* rlib_name,
                                                      uint32_t stop);
int32_t tqx_identification_defn_cat_regexlib_add(context* ctx, int32_t index, const char* cat_abbr, uint32_t likelihood,
                                                 const char* rlib_name, uint32_t stop);
int32_t tqx_identification_defn_cat_regexlib_delete_all(context* ctx, int32_t index);

}  // namespace tq

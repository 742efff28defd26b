// The export implementations of a chopper's parts: its chopping rules
// (tq_chopper_rule*, tq_chopper_rules*, tq_chopper_*_rule_add) and its
// character table (tq_chopper_table*). They find the chopper by index for
// reading or hold it for change, and work on the parts (krcrld, krctld),
// which know nothing of the resource around them. Plain fields are no
// functions here: their export rows bind (kRsrcChopper, field) to the
// generic field_get / field_set (kbstore/krfield.h).
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krfield.h"
#include "resources/krcrld.h"
#include "resources/krctld.h"

namespace tq {

// ---- Fields ------------------------------------------------------------------------------
// The record form takes the chopper's registry index (the built-in handles
// are for chopping only: -800 like any index that names no chopper); the
// item form of the rule store takes a rule id as the item (-802 for an id
// not in the list).

extern const record_store kChopperTableStore;
extern const record_store kChopperRulesStore;
extern const record_store kChopperRuleStore;

// The two switches are flags, kept as 0 or 1 as the file keeps them.
inline constexpr field_desc kChopperUseTable = flag_field<&chopper_table::use_table>("Use Table", &kChopperTableStore);
// The break matrix follows the flag: the table store chooses it again.
inline constexpr field_desc kChopperImplicitSep =
    flag_field<&chopper_table::implicit_sep>("Implicit Separation", &kChopperTableStore).drops(kFieldDropsPrepared);
inline constexpr field_desc kChopperUseRules = flag_field<&chopper_rules::use_rules>("Use Rules", &kChopperRulesStore);
inline constexpr field_desc kChopperRuleMethod = u32_field<&chopper_rule::method>("Method", &kChopperRuleStore);
inline constexpr field_desc kChopperRuleOptions = u32_field<&chopper_rule::options>("Options", &kChopperRuleStore);
inline constexpr field_desc kChopperRuleErrors = u32_field<&chopper_rule::errors>("Errors", &kChopperRuleStore);
// Texts of up to 4,096 bytes in the session encoding; empty notes are none.
inline constexpr field_desc kChopperRuleNotes =
    owned_text_field<&chopper_rule::notes, 4096>("Notes", &kChopperRuleStore, kFieldConvert);
inline constexpr field_desc kChopperRulePrereq =
    owned_text_field<&chopper_rule::prereq, 4096>("Prerequisite", &kChopperRuleStore, kFieldConvert);

// ---- Chopping rules ----------------------------------------------------------------------

int32_t chopper_rule_flag_name_validate(context* ctx, const char* name, uint32_t* valid);
int32_t chopper_rule_validate(context* ctx, const char* expr, uint32_t* valid);
int32_t chopper_rules_init_flag_add(context* ctx, int32_t chopper, const char* name, uint32_t* flag_id);
int32_t chopper_rules_init_flag_remove(context* ctx, int32_t chopper, uint32_t flag_id);
int32_t chopper_rules_flag_name_get(context* ctx, int32_t chopper, uint32_t flag_id, char* name);
int32_t chopper_rules_flag_id_get(context* ctx, int32_t chopper, const char* name, uint32_t* id);
int32_t chopper_rules_init_flags_get(context* ctx, int32_t chopper, uint32_t* flag_ids, uint32_t* num_flags);
int32_t chopper_rules_list_get(context* ctx, int32_t chopper, uint32_t* rule_ids);
int32_t chopper_rules_list_count(context* ctx, int32_t chopper, uint32_t* count);
int32_t chopper_rule_output_flag_add(context* ctx, int32_t chopper, uint32_t rule, const char* name,
                                     uint32_t* flag_id);
int32_t chopper_rule_output_flag_remove(context* ctx, int32_t chopper, uint32_t rule, uint32_t flag_id);
int32_t chopper_rule_output_flags_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* flag_ids,
                                      uint32_t* num_flags);
int32_t chopper_rule_method_regex_set(context* ctx, int32_t chopper, uint32_t rule, const char* regex);
int32_t chopper_rule_method_vocab_set(context* ctx, int32_t chopper, uint32_t rule, const char* vocab,
                                      const char* category);
int32_t chopper_rule_regex_set(context* ctx, int32_t chopper, uint32_t rule, const char* regex);
int32_t chopper_rule_regex_get(context* ctx, int32_t chopper, uint32_t rule, char* regex);
int32_t chopper_rule_vocab_set(context* ctx, int32_t chopper, uint32_t rule, const char* vocab);
int32_t chopper_rule_vocab_get(context* ctx, int32_t chopper, uint32_t rule, char* vocab);
int32_t chopper_rule_vocab_category_set(context* ctx, int32_t chopper, uint32_t rule, const char* cat);
int32_t chopper_rule_vocab_category_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* all, char* cat);
int32_t chopper_rule_prereq_set(context* ctx, int32_t chopper, uint32_t rule, const char* prereq);
int32_t chopper_rule_options_set(context* ctx, int32_t chopper, uint32_t rule, uint32_t options);
int32_t chopper_rules_list_clear(context* ctx, int32_t chopper);
int32_t chopper_regex_rule_add(context* ctx, int32_t chopper, const char* regex, const char* prereq,
                               const char* flags, uint32_t options, const char* notes, uint32_t* rule_id);
int32_t chopper_vocab_rule_add(context* ctx, int32_t chopper, const char* vocab, const char* category,
                               const char* prereq, const char* flags, uint32_t options, const char* notes,
                               uint32_t* rule_id);

// ---- Character table ---------------------------------------------------------------------

int32_t chopper_table_char_count_get(context* ctx, int32_t chopper, uint32_t* count);
int32_t chopper_table_char_metadata_get_by_index(context* ctx, int32_t chopper, uint32_t index, uint32_t* codepoint,
                                                 uint32_t* clsfn, uint32_t* oprn);
int32_t chopper_table_char_metadata_get_by_codepoint(context* ctx, int32_t chopper, uint32_t codepoint,
                                                     uint32_t* clsfn, uint32_t* oprn);
int32_t chopper_table_char_classif_name_get(context* ctx, uint32_t classif, char* name);
int32_t chopper_table_char_oper_name_get(context* ctx, uint32_t oper, char* name);
int32_t chopper_table_char_classif_count_get(context* ctx, uint32_t* count);
int32_t chopper_table_char_oper_count_get(context* ctx, uint32_t* count);
int32_t chopper_table_char_classif_get_by_index(context* ctx, uint32_t index, uint32_t* classif);
int32_t chopper_table_char_oper_get_by_index(context* ctx, uint32_t index, uint32_t* oper);
int32_t chopper_table_char_metadata_set_begin(context* ctx, int32_t chopper);
int32_t chopper_table_char_metadata_set(context* ctx, int32_t chopper, uint32_t codepoint, const char* desc,
                                        uint32_t clsfn, uint32_t oprn);
int32_t chopper_table_char_metadata_set_end(context* ctx, int32_t chopper);

}  // namespace tq

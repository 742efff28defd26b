// Token combination rules of a match definition: each rule is another
// arrangement of the definition's tokens in the code (for every token
// position, the token whose value goes there), valid within a sensitivity
// range and when its conditions on the tokens' word categories hold, with a
// weight. The multicode road of the match engine computes one code per rule
// that applies.
//
// Rules name tokens by their names (byte for byte), so renaming and deleting
// a token is carried into every rule here. A name that no longer names a
// token resolves to no token: its entry is skipped and a condition on it
// never holds.
#pragma once

#include <cstdint>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdtok.h"

namespace tq {

inline constexpr uint32_t kMatchRuleCategoryMax = 256;  // bytes, terminator not counted
inline constexpr int32_t kMatchRuleLikelihoodDefault = 50;
inline constexpr double kMatchRuleWeightDefault = 100.0;

struct match_rule_condition {
  char token[kDtokNameSize] = {};
  char category[kMatchRuleCategoryMax + 1] = {};
  int32_t likelihood = kMatchRuleLikelihoodDefault;
  int32_t negate = 0;
};

// "Position": the token whose place in the code the entry fills; "Token":
// the token whose value goes there ("" for none).
struct match_rule_mapping {
  char position[kDtokNameSize] = {};
  char token[kDtokNameSize] = {};
};

// A rule read from a file without a range applies from 0 to 100; one added
// through the interface starts at 0..0 and applies only once its range is
// set.
struct match_combination_rule {
  std::vector<match_rule_condition> conditions;
  std::vector<match_rule_mapping> mapping;
  int32_t sens_low = 0;
  int32_t sens_high = 100;
  double weight = kMatchRuleWeightDefault;
};

// ---- For the kind hooks (krmdef.cpp) -------------------------------------------------

// The first "Combination Rule List" section of the definition element and
// its "Include Default" property. -600 (message 29).
int32_t match_rules_read(context* ctx, const xmldoc* element, defn_rec* rec);
// Nothing without rules while "Include Default" is on; else the list with
// the setting and every rule. The first failure.
int32_t match_rules_write(context* ctx, xmldoc* element, const defn_rec* rec);

// ---- Token changes, for the token exports ---------------------------------------------
// The caller holds the write hold on the definition.

// A token was named: from "" (first naming) every rule gains an entry for
// it; otherwise every position, token and condition naming old_name (byte
// for byte) takes new_name. -600.
int32_t match_rules_token_name_changed(context* ctx, defn_rec* rec, const char* old_name, const char* new_name);
// A token named `name` was removed: every rule's entries are rebuilt one per
// remaining token (an entry that took its value from the removed token
// loses it) and its conditions on the token dropped. -600, the rules then
// as they were.
int32_t match_rules_token_deleted(context* ctx, defn_rec* rec, const char* name);

// ---- Export implementations (tables/match_rule.def) -----------------------------------

int32_t tqx_match_defn_token_combination_rule_count_get(context* ctx, int32_t index, uint32_t* count);
int32_t tqx_match_defn_token_combination_include_default_get(context* ctx, int32_t index, uint32_t* def);
int32_t tqx_match_defn_token_combination_include_default_set(context* ctx, int32_t index, uint32_t value);
int32_t tqx_match_defn_token_combination_rule_add(context* ctx, int32_t index, uint32_t* rule_index);
int32_t tqx_match_defn_token_combination_rules_delete_all(context* ctx, int32_t index);
int32_t tqx_match_defn_token_combination_rule_weight_get(context* ctx, int32_t index, uint32_t rule, double* wt);
int32_t tqx_match_defn_token_combination_rule_weight_set(context* ctx, int32_t index, uint32_t rule,
                                                         double weight);
int32_t tqx_match_defn_token_combination_rule_sensitivities_get(context* ctx, int32_t index, uint32_t rule,
                                                                uint32_t* sens_lo, uint32_t* sens_hi);
int32_t tqx_match_defn_token_combination_rule_sensitivities_set(context* ctx, int32_t index, uint32_t rule,
                                                                uint32_t low, uint32_t high);
int32_t tqx_match_defn_token_combination_rule_conditions_count_get(context* ctx, int32_t index, uint32_t rule,
                                                                   uint32_t* count);
int32_t tqx_match_defn_token_combination_rule_condition_get(context* ctx, int32_t index, uint32_t rule,
                                                            uint32_t cond, char* token, char* cat, uint32_t* like,
                                                            uint32_t* negate);
int32_t tqx_match_defn_token_combination_rule_condition_set(context* ctx, int32_t index, uint32_t rule,
                                                            uint32_t cond, const char* token, const char* cat,
                                                            uint32_t likelihood, uint32_t negate);
int32_t tqx_match_defn_token_combination_rule_condition_add(context* ctx, int32_t index, uint32_t rule,
                                                            const char* token, const char* cat, uint32_t likelihood,
                                                            uint32_t negate, uint32_t* cond_index);
int32_t tqx_match_defn_token_combination_rule_conditions_delete_all(context* ctx, int32_t index, uint32_t rule);
int32_t tqx_match_defn_token_combination_rule_position_get(context* ctx, int32_t index, uint32_t rule,
                                                           const char* position, char* token);
int32_t tqx_match_defn_token_combination_rule_position_set(context* ctx, int32_t index, uint32_t rule,
                                                           const char* position, const char* token);

}  // namespace tq

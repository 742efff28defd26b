// Token combination rules of match definitions through their exports, on the
// match fixture of tests/kb/match loaded in edit mode: the rule read from
// the file, a rule added and edited, the refusals, long texts.
#include <string>

#include "support/built_kb.h"

namespace {

constexpr int32_t kLocale = 29000;
constexpr int32_t kM = 0;
constexpr int32_t kR = 1;

class MatchRulesKb : public tq_test::BuiltKb {
 public:
  explicit MatchRulesKb(bool edit_mode = true) {
    write_sources({{"parse/regexlib/StripPeriods", "regexlib/StripPeriods"},
                   {"parse/regexlib/Initials", "regexlib/Initials"},
                   {"parse/locale/l1.loc", "locale/l1.loc"},
                   {"extract/scheme/Companies", "scheme/Companies.sch"},
                   {"match/phonetx/Sound", "phonetx/Sound"},
                   {"match/locale/en.loc", "locale/en.loc"}});
    compile_vocab("parse/vocab/PersonName", "PersonName");
    open(kLocale, TQ_LOAD_DATATYPES | TQ_LOAD_MATCH_DEFNS, edit_mode, 0);
    EXPECT_EQ(tq_locale_set(ctx(), kLocale), 0);
  }
};

std::string last_error(tq_context* ctx) {
  int32_t code = 0;
  char text[4100] = "";
  tq_error_info_get(ctx, &code, text);
  return text;
}

TEST(MatchRuleExports, TheRuleReadFromTheFile) {
  MatchRulesKb kb(false);
  ASSERT_EQ(kb.load_rc(), 0) << tq_test::error_list_text(kb.ctx());
  tq_context* ctx = kb.ctx();
  uint32_t n = 9;
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_count_get(ctx, kR, &n));
  EXPECT_EQ(n, 1u);
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_include_default_get(ctx, kR, &n));
  EXPECT_EQ(n, 0u);
  double wt = 0;
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_weight_get(ctx, kR, 0, &wt));
  EXPECT_DOUBLE_EQ(wt, 1.5);
  uint32_t lo = 0, hi = 0;
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_sensitivities_get(ctx, kR, 0, &lo, &hi));
  EXPECT_EQ(lo, 10u);
  EXPECT_EQ(hi, 100u);
  char token[1100] = "", cat[1100] = "";
  uint32_t like = 0, negate = 9;
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_condition_get(ctx, kR, 0, 0, token, cat, &like, &negate));
  EXPECT_STREQ(token, "Name");
  EXPECT_STREQ(cat, "GIVEN");
  EXPECT_EQ(like, 50u);
  EXPECT_EQ(negate, 0u);
  EXPECT_EQ(tq_match_defn_token_combination_rule_condition_get(ctx, kR, 0, 1, token, cat, &like, &negate), -800);
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_position_get(ctx, kR, 0, "Name", token));
  EXPECT_STREQ(token, "Name");
  // M has none; outside edit mode nothing changes.
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_count_get(ctx, kM, &n));
  EXPECT_EQ(n, 0u);
  uint32_t index = 0;
  EXPECT_EQ(tq_match_defn_token_combination_rule_add(ctx, kM, &index), -501);
  EXPECT_EQ(tq_match_defn_token_combination_rule_weight_set(ctx, kR, 0, 2.0), -501);
  EXPECT_EQ(tq_match_defn_token_combination_include_default_set(ctx, kR, 1), -501);
  EXPECT_EQ(tq_match_defn_token_combination_rule_count_get(ctx, 7, &n), -800);
}

TEST(MatchRuleExports, ANewRuleIsEditedAndRefusesWhatItLacks) {
  MatchRulesKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << tq_test::error_list_text(kb.ctx());
  tq_context* ctx = kb.ctx();
  uint32_t rule = 9;
  ASSERT_TQ_OK(ctx, tq_match_defn_token_combination_rule_add(ctx, kM, &rule));
  EXPECT_EQ(rule, 0u);
  // Added rules apply at no sensitivity until their range is set.
  uint32_t lo = 9, hi = 9;
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_sensitivities_get(ctx, kM, 0, &lo, &hi));
  EXPECT_EQ(lo, 0u);
  EXPECT_EQ(hi, 0u);
  double wt = 0;
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_weight_get(ctx, kM, 0, &wt));
  EXPECT_DOUBLE_EQ(wt, 100.0);
  char token[1100] = "x";
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_position_get(ctx, kM, 0, "Name", token));
  EXPECT_STREQ(token, "");
  EXPECT_EQ(tq_match_defn_token_combination_rule_position_get(ctx, kM, 0, "Nope", token), -802);
  EXPECT_EQ(tq_match_defn_token_combination_rule_position_get(ctx, kM, 0, "name", token), -802);
  EXPECT_EQ(tq_match_defn_token_combination_rule_position_set(ctx, kM, 0, "Nope", "Name"), -802);
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_position_set(ctx, kM, 0, "Name", "Name"));
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_position_get(ctx, kM, 0, "Name", token));
  EXPECT_STREQ(token, "Name");

  EXPECT_EQ(tq_match_defn_token_combination_rule_weight_get(ctx, kM, 5, &wt), -800);
  EXPECT_EQ(last_error(ctx), "Rule 5 of the match definition 'M' does not exist.");
  EXPECT_EQ(tq_match_defn_token_combination_rule_sensitivities_set(ctx, kM, 1, 0, 100), -800);
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_weight_set(ctx, kM, 0, 2.5));
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_sensitivities_set(ctx, kM, 0, 0, 100));
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_weight_get(ctx, kM, 0, &wt));
  EXPECT_DOUBLE_EQ(wt, 2.5);

  // Conditions: a token name is kept whole to 320 bytes; a longer one is
  // refused and adds nothing.
  const std::string long_name(320, 'T');
  uint32_t cond = 9;
  EXPECT_EQ(tq_match_defn_token_combination_rule_condition_add(ctx, kM, 0, (long_name + "T").c_str(), "GIVEN", 70, 1,
                                                               &cond),
            TQ_ERR_ARGUMENT);
  ASSERT_TQ_OK(ctx, tq_match_defn_token_combination_rule_condition_add(ctx, kM, 0, long_name.c_str(), "GIVEN", 70, 1,
                                                                        &cond));
  EXPECT_EQ(cond, 0u);
  EXPECT_EQ(tq_match_defn_token_combination_rule_condition_add(ctx, kM, 3, "Name", "X", 50, 0, &cond), -800);
  EXPECT_EQ(cond, 0u);
  char cat[1100] = "";
  uint32_t like = 0, negate = 0;
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_condition_get(ctx, kM, 0, 0, token, cat, &like, &negate));
  EXPECT_EQ(std::string(token), long_name);
  EXPECT_STREQ(cat, "GIVEN");
  EXPECT_EQ(like, 70u);
  EXPECT_EQ(negate, 1u);
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_condition_set(ctx, kM, 0, 0, "Name", "FAMILY", 40, 0));
  EXPECT_EQ(tq_match_defn_token_combination_rule_condition_set(ctx, kM, 0, 1, "Name", "FAMILY", 40, 0), -800);
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_condition_get(ctx, kM, 0, 0, token, cat, &like, &negate));
  EXPECT_STREQ(token, "Name");
  EXPECT_STREQ(cat, "FAMILY");
  uint32_t n = 9;
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_conditions_count_get(ctx, kM, 0, &n));
  EXPECT_EQ(n, 1u);
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_conditions_delete_all(ctx, kM, 0));
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_conditions_count_get(ctx, kM, 0, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(tq_match_defn_token_combination_rule_conditions_count_get(ctx, kM, 1, &n), -800);

  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_include_default_set(ctx, kM, 0));
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_include_default_get(ctx, kM, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rules_delete_all(ctx, kM));
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_count_get(ctx, kM, &n));
  EXPECT_EQ(n, 0u);
}

}  // namespace

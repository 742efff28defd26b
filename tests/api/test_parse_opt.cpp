// The parse optimization parameter exports: validation, defaults against
// overrides, the older family, and what a clone starts from.
#include <string>

#include "support/tq_test.h"
#include "tq.h"

namespace {

std::string last_error(tq_context* ctx) {
  int32_t code = 0;
  char text[2048] = "";
  tq_error_info_get(ctx, &code, text);
  return text;
}

using set_fn = int32_t (*)(tq_context*, int32_t);
using get_fn = int32_t (*)(tq_context*, int32_t*);
using ovr_get_fn = int32_t (*)(tq_context*, int32_t*, int32_t*);
using remove_fn = int32_t (*)(tq_context*);

struct Param {
  const char* name;
  set_fn default_set;
  get_fn default_get;
  set_fn override_set;
  ovr_get_fn override_get;
  remove_fn override_remove;
  int32_t initial;
  std::vector<int32_t> accepted;
  std::vector<int32_t> refused;
  const char* refusal;  // the message of the first refused value
};

const Param kParams[] = {
    {"limit", tq_parse_opt_params_resource_limit_default_set, tq_parse_opt_params_resource_limit_default_get,
     tq_parse_opt_params_resource_limit_override_set, tq_parse_opt_params_resource_limit_override_get,
     tq_parse_opt_params_resource_limit_override_remove, 2800, {2000, 2800, 7000, 10000, 25000, 50000},
     {3000, 0, -2800, 4000}, "Resource limit 3000 is not one of"},
    {"levels", tq_parse_opt_params_scoring_levels_default_set, tq_parse_opt_params_scoring_levels_default_get,
     tq_parse_opt_params_scoring_levels_override_set, tq_parse_opt_params_scoring_levels_override_get,
     tq_parse_opt_params_scoring_levels_override_remove, 6, {5, 6, 10}, {4, 11, -1},
     "Levels to score 4 is outside the range 5 to 10."},
    {"input length", tq_parse_opt_params_input_length_default_set, tq_parse_opt_params_input_length_default_get,
     tq_parse_opt_params_input_length_override_set, tq_parse_opt_params_input_length_override_get,
     tq_parse_opt_params_input_length_override_remove, 0, {0, 1, 2}, {3, -1}, "Input length 3 is not"},
};

TEST(ParseOptParams, ContextFamilyValidatesAndKeepsDefaultsApartFromOverrides) {
  tq_test::Context ctx;
  for (const Param& p : kParams) {
    SCOPED_TRACE(p.name);
    int32_t value = -7;
    ASSERT_EQ(p.default_get(ctx, &value), 0);
    EXPECT_EQ(value, p.initial);
    int32_t is_set = 9;
    value = -7;
    ASSERT_EQ(p.override_get(ctx, &is_set, &value), 0);
    EXPECT_EQ(is_set, 0);
    EXPECT_EQ(value, -7);  // left as the caller had it
    for (size_t i = 0; i < p.refused.size(); ++i) {
      EXPECT_EQ(p.default_set(ctx, p.refused[i]), -802);
      if (i == 0) {
        EXPECT_NE(last_error(ctx).find(p.refusal), std::string::npos) << last_error(ctx);
      }
      EXPECT_EQ(p.override_set(ctx, p.refused[i]), -802);
    }
    ASSERT_EQ(p.default_get(ctx, &value), 0);
    EXPECT_EQ(value, p.initial);
    ASSERT_EQ(p.override_get(ctx, &is_set, &value), 0);
    EXPECT_EQ(is_set, 0);
    for (int32_t v : p.accepted) {
      ASSERT_EQ(p.default_set(ctx, v), 0);
      ASSERT_EQ(p.default_get(ctx, &value), 0);
      EXPECT_EQ(value, v);
    }
    const int32_t ovr = p.accepted.front();
    ASSERT_EQ(p.override_set(ctx, ovr), 0);
    ASSERT_EQ(p.override_get(ctx, &is_set, &value), 0);
    EXPECT_EQ(is_set, 1);
    EXPECT_EQ(value, ovr);
    ASSERT_EQ(p.default_get(ctx, &value), 0);
    EXPECT_EQ(value, p.accepted.back());  // defaults untouched by overrides
    ASSERT_EQ(p.override_remove(ctx), 0);
    ASSERT_EQ(p.override_get(ctx, &is_set, &value), 0);
    EXPECT_EQ(is_set, 0);
    ASSERT_EQ(p.override_set(ctx, ovr), 0);
  }
  // A clone starts from its source's settings; changing it leaves the source alone.
  tq_context* clone = nullptr;
  ASSERT_EQ(tq_clone(ctx, &clone), 0);
  int32_t is_set = 0, value = 0;
  ASSERT_EQ(tq_parse_opt_params_scoring_levels_override_get(clone, &is_set, &value), 0);
  EXPECT_EQ(is_set, 1);
  EXPECT_EQ(value, 5);
  ASSERT_EQ(tq_parse_opt_params_resource_limit_default_get(clone, &value), 0);
  EXPECT_EQ(value, 50000);
  ASSERT_EQ(tq_parse_opt_params_override_remove_all(clone), 0);
  ASSERT_EQ(tq_parse_opt_params_scoring_levels_override_get(clone, &is_set, &value), 0);
  EXPECT_EQ(is_set, 0);
  ASSERT_EQ(tq_parse_opt_params_input_length_override_get(ctx, &is_set, &value), 0);
  EXPECT_EQ(is_set, 1);
  EXPECT_EQ(tq_close(clone), 0);
  ASSERT_EQ(tq_parse_opt_params_override_remove_all(ctx), 0);
  for (const Param& p : kParams) {
    ASSERT_EQ(p.override_get(ctx, &is_set, &value), 0);
    EXPECT_EQ(is_set, 0) << p.name;
  }
}

TEST(ParseOptParams, OlderFamily) {
  tq_test::Context ctx;
  int32_t levels = 0, limit = 0;
  ASSERT_EQ(tq_parse_optimization_params_default_get(ctx, &levels, &limit), 0);
  EXPECT_EQ(levels, 6);
  EXPECT_EQ(limit, 2800);
  // The levels stay set when the limit is refused.
  EXPECT_EQ(tq_parse_optimization_params_default_set(ctx, 8, 3000), -802);
  ASSERT_EQ(tq_parse_optimization_params_default_get(ctx, &levels, &limit), 0);
  EXPECT_EQ(levels, 8);
  EXPECT_EQ(limit, 2800);
  EXPECT_EQ(tq_parse_optimization_params_default_set(ctx, 11, 7000), -802);
  ASSERT_EQ(tq_parse_optimization_params_default_get(ctx, &levels, &limit), 0);
  EXPECT_EQ(limit, 2800);

  int32_t ls = 5, lv = -1, rs = 5, rv = -1;
  ASSERT_EQ(tq_parse_optimization_params_user_get(ctx, &ls, &lv, &rs, &rv), 0);
  EXPECT_EQ(ls, 0);
  EXPECT_EQ(rs, 0);
  EXPECT_EQ(lv, -1);
  EXPECT_EQ(rv, -1);
  // Only flagged values are set; a refused one does not stop the other.
  EXPECT_EQ(tq_parse_optimization_params_user_set(ctx, 1, 12, 1, 25000), -802);
  ASSERT_EQ(tq_parse_optimization_params_user_get(ctx, &ls, &lv, &rs, &rv), 0);
  EXPECT_EQ(ls, 0);
  EXPECT_EQ(rs, 1);
  EXPECT_EQ(rv, 25000);
  ASSERT_EQ(tq_parse_optimization_params_user_set(ctx, 1, 9, 0, 3), 0);
  ASSERT_EQ(tq_parse_optimization_params_user_get(ctx, &ls, &lv, &rs, &rv), 0);
  EXPECT_EQ(ls, 1);
  EXPECT_EQ(lv, 9);
  EXPECT_EQ(rv, 25000);
  ASSERT_EQ(tq_parse_optimization_params_user_remove(ctx, 0, 1), 0);
  ASSERT_EQ(tq_parse_optimization_params_user_get(ctx, &ls, &lv, &rs, &rv), 0);
  EXPECT_EQ(ls, 1);
  EXPECT_EQ(rs, 0);
  ASSERT_EQ(tq_parse_optimization_params_user_remove(ctx, 1, 0), 0);
  ASSERT_EQ(tq_parse_optimization_params_user_get(ctx, &ls, &lv, &rs, &rv), 0);
  EXPECT_EQ(ls, 0);
}

}  // namespace

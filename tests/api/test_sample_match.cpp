// The sample knowledge base's match definition "Name": read with its parse
// definition, noise vocabulary, nickname scheme and positions without a
// problem (a definition read with one makes the load return 104).
#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;

TEST(SampleKb, TheMatchDefinitionReadsWholly) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_MATCH_DEFNS), 0)
      << tq_test::error_list_text(ctx);
  // ENUSA inherits EN's one match definition: it has no rules, so the
  // identity arrangement alone makes its codes.
  uint32_t n = 9;
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_rule_count_get(ctx, 0, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_TQ_OK(ctx, tq_match_defn_token_combination_include_default_get(ctx, 0, &n));
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(tq_match_defn_token_combination_rule_count_get(ctx, 1, &n), -800);
}

}  // namespace

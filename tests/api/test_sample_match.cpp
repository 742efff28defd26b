// The sample knowledge base's match definition "Name": read with its parse
// definition, noise vocabulary, nickname scheme and positions without a
// problem (a definition read with one makes the load return 104), and what
// its noise vocabulary does to family names with particles.
#include <string>

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

// The particles of a family name ("van der") take part in its code down to
// 85, behind the name itself, and are left out at 80 and below, where "Mike
// van der Velt" and "Mike Velt" share a code; the parse puts them into the
// family name.
TEST(SampleKb, ParticlesLeaveTheCodeAt80AndBelow) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_MATCH_DEFNS), 0)
      << tq_test::error_list_text(ctx);
  struct Pair {
    const char* a;
    const char* b;
  };
  for (const Pair& p : {Pair{"Mike van der Velt", "Mike Velt"}, Pair{"Juan de la Vega", "Juan Vega"},
                        Pair{"van Dyke, Ann", "Ann Dyke"}}) {
    for (const uint32_t sens : {95u, 90u, 85u, 80u, 65u, 50u}) {
      char a[61], b[61];
      ASSERT_EQ(tq_match(ctx, "Name", sens, p.a, a), 0) << tq_test::error_list_text(ctx);
      ASSERT_EQ(tq_match(ctx, "Name", sens, p.b, b), 0) << tq_test::error_list_text(ctx);
      EXPECT_EQ(std::string(a) == std::string(b), sens <= 80) << p.a << " / " << p.b << " at " << sens;
    }
  }
}

}  // namespace

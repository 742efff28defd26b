// The token-list accessors and the prepared state: lists the analysis
// options point into drop it when edited, the lists every run reads (noise,
// phonetics, transformation, positions) keep it.
#include "match/krmdef.h"
#include "match/krmdefacc.h"
#include "match/krmtres.h"
#include "match_kb.h"

namespace {

using namespace tq;
using match_test::MatchKb;

constexpr int32_t kR = 1;

TEST(MatchDefnAccessors, OnlyListsThePreparationPointsIntoUnprepare) {
  MatchKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  context* ctx = kb.ctx();
  defn_rec* r = kb.defn(kR);
  auto prepared = [&] { return match_defn_part(r)->prepared.load() + kb.token(kR)->prepared; };
  ASSERT_EQ(match_defn_prepare(ctx, r), 0) << kb.errors();
  ASSERT_EQ(prepared(), 2u);
  EXPECT_EQ(match_ranged_add(ctx, kMatchNoiseList, kR, 0, "PersonName", 100, 0), 0) << kb.errors();
  EXPECT_EQ(match_ranged_info_set(ctx, kMatchPhonetxList, kR, 0, 0, "Sound", 90, 10), 0) << kb.errors();
  EXPECT_EQ(match_ranged_delete_all(ctx, kMatchTransformList, kR, 0), 0);
  EXPECT_EQ(tqx_match_defn_token_sensitivity_info_set(ctx, kR, 0, 2, 1, 3), 0);
  EXPECT_EQ(prepared(), 2u);
  // The same vocabulary again keeps its one reference.
  const int32_t vocab = kb.token(kR)->vocabularies[0].vocab.index();
  const uint32_t refs = kb.refs(kRsrcVocab, vocab);
  EXPECT_EQ(tqx_match_defn_token_vocabulary_info_set(ctx, kR, 0, 0, "PersonName", 0, 0, 0), 0) << kb.errors();
  EXPECT_EQ(kb.refs(kRsrcVocab, vocab), refs);
  EXPECT_EQ(prepared(), 0u);
  ASSERT_EQ(match_defn_prepare(ctx, r), 0) << kb.errors();
  EXPECT_EQ(tqx_match_defn_token_default_categories_delete_all(ctx, kR, 0), 0);
  EXPECT_EQ(prepared(), 0u);
}

}  // namespace

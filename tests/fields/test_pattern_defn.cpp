// The reference a pattern analysis definition holds on its regex library
// across the kind's copy and free hooks: a copy takes one more, a free gives
// one back, and a free asked to keep references (the store's clearing of
// records whose references are accounted for elsewhere) only forgets it.
#include <cstdint>

#include "fields/krpadef.h"
#include "kbstore/krdefn.h"
#include "kbstore/krlib.h"
#include "resources/krregx.h"
#include "support/bare_context.h"

namespace {

using namespace tq;

uint32_t refs(context* ctx, int32_t index) {
  resource_slot* slot = nullptr;
  return rsrc_slot_get_used(ctx, kRsrcRegex, index, &slot) == 0 ? slot->refs : 0;
}

TEST(PatternDefnKind, CopyAndFreeKeepTheLibraryCountRight) {
  tq_test::BareContext bc;
  context* ctx = bc.get();
  int32_t lib = -1;
  ASSERT_EQ(regexlib_create(ctx, "Classes", &lib), 0);
  ASSERT_EQ(refs(ctx, lib), 1u);

  defn_rec a, b, empty_src, empty_dst;
  for (defn_rec* r : {&a, &b, &empty_src, &empty_dst}) {
    r->kind = kDefnPattern;
    ASSERT_EQ(patrn_defn_kind_init(ctx, r), 0);
  }
  ASSERT_EQ(rsrc_addref(ctx, kRsrcRegex, lib), 0);
  patrn_defn_part(&a)->regexlib = rsrc_ref::adopt(kRsrcRegex, lib);
  EXPECT_EQ(refs(ctx, lib), 2u);

  EXPECT_EQ(patrn_defn_kind_copy(ctx, &a, &b), 0);
  EXPECT_EQ(patrn_defn_part(&b)->regexlib.index(), lib);
  EXPECT_EQ(refs(ctx, lib), 3u);
  // A definition without a library copies as one without, taking nothing.
  EXPECT_EQ(patrn_defn_kind_copy(ctx, &empty_src, &empty_dst), 0);
  EXPECT_FALSE(patrn_defn_part(&empty_dst)->regexlib.held());

  EXPECT_EQ(patrn_defn_kind_free(ctx, &b, 1), 0);
  EXPECT_EQ(b.part, nullptr);
  EXPECT_EQ(refs(ctx, lib), 3u);
  EXPECT_EQ(patrn_defn_kind_free(ctx, &a, 0), 0);
  EXPECT_EQ(refs(ctx, lib), 2u);
  // Freeing again (a cleared record) finds no part and gives nothing back.
  EXPECT_EQ(patrn_defn_kind_free(ctx, &a, 0), 0);
  EXPECT_EQ(refs(ctx, lib), 2u);
  EXPECT_EQ(patrn_defn_kind_free(ctx, &empty_src, 0), 0);
  EXPECT_EQ(patrn_defn_kind_free(ctx, &empty_dst, 0), 0);

  // The kept reference, then the creator's (a client's load, which no
  // definition's release takes).
  EXPECT_EQ(rsrc_unref(ctx, kRsrcRegex, lib), 0);
  EXPECT_EQ(rsrc_unref(ctx, kRsrcRegex, lib), 0);
  EXPECT_EQ(refs(ctx, lib), 1u);
  EXPECT_EQ(rsrc_client_unload(ctx, kRsrcRegex, lib), 0);
  EXPECT_EQ(refs(ctx, lib), 0u);

  EXPECT_EQ(patrn_defn_type_matches(ctx, "Pattern Analysis Def"), 1);
  EXPECT_EQ(patrn_defn_type_matches(ctx, "Pattern Analysis Def -- Vertical"), 1);
  EXPECT_EQ(patrn_defn_type_matches(ctx, "pattern analysis def"), 0);
  EXPECT_EQ(patrn_defn_type_matches(ctx, nullptr), 0);
  EXPECT_EQ(patrn_defn_kind_init(nullptr, &a), -100);
  EXPECT_EQ(patrn_defn_kind_init(ctx, nullptr), -802);
}

}  // namespace

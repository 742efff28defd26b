// Definition tokens open real regex libraries and schemes through the
// operations the wiring lends them at context start.
#include "core/krcorvel.h"
#include "kbstore/krdtok.h"
#include "kbstore/krlib.h"
#include "support/tq_test.h"

namespace {

using namespace tq;

TEST(TokenWiring, TokensOpenRegexLibrariesAndSchemesByName) {
  tq_test::TempDir kb;
  kb.write("regexlib/R.zel", "x");  // registered by name, read on first use
  kb.write("scheme/S.sch.zel", "x");
  tq_test::Context ctx(kb.str().c_str());
  dtok_rec tok;
  tok.kind = 0;
  ASSERT_EQ(dtok_regexlib_add(ctx, &tok, "R", 100, 50, 0), 0);
  ASSERT_EQ(dtok_scheme_add(ctx, &tok, "S", kDtokSchemeElement | kDtokSchemeOutUpper, 0, 100, 50, 0), 0);
  EXPECT_EQ(dtok_regexlib_add(ctx, &tok, "Missing", 100, 50, 0), TQ_ERR_FILE_OPEN);
  resource_slot* slot = nullptr;
  ASSERT_EQ(rsrc_slot_get_used(ctx, kRsrcRegex, tok.regexlibs.at(0).lib.index(), &slot), 0);
  EXPECT_STREQ(slot->name, "R");
  ASSERT_EQ(rsrc_slot_get_used(ctx, kRsrcScheme, tok.schemes.at(0).scheme.index(), &slot), 0);
  EXPECT_STREQ(slot->name, "S");
  EXPECT_EQ(slot->refs, 1u);
  dtok_clear(ctx, &tok, 0);
  EXPECT_EQ(rsrc_slot_get_used(ctx, kRsrcScheme, 0, &slot), TQ_ERR_INDEX);
}

}  // namespace

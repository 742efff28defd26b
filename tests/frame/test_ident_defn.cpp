// The changes identification accessors make to a definition's kind part,
// on the definitions of tests/kb/ident as read: references stay balanced,
// the bound flag is cleared by every change (failed ones too), a copy is
// unbound and equal in every pattern field.
#include <gtest/gtest.h>

#include <cstring>

#include "fields/kridef.h"
#include "fields/krident.h"
#include "kbstore/krdefn.h"
#include "kbstore/krlib.h"
#include "support/ident_kb.h"
#include "support/tq_test.h"

namespace {

using tq_test::IdentKb;

constexpr int32_t kId8 = 1;  // the second definition of the locale

tq::defn_rec* record(tq_context* ctx, int32_t index) {
  tq::defn_rec* rec = nullptr;
  EXPECT_EQ(tq::defn_record_get_for_read(ctx, tq::kDefnIdent, index, &rec), 0);
  return rec;
}

uint32_t grammar_refs(tq_context* ctx, int32_t index) {
  tq::resource_slot* slot = nullptr;
  return tq::rsrc_slot_get(ctx, tq::kRsrcGrammar, index, 0, &slot) == 0 ? slot->refs : 0;
}

TEST(IdentDefn, PatternChangesKeepReferencesAndUnbind) {
  IdentKb kb(true);
  tq_context* ctx = kb.ctx();
  tq::defn_rec* rec = record(ctx, kId8);
  tq::ident_defn_kind_rec* part = tq::ident_defn_part(rec);
  ASSERT_NE(part, nullptr);
  ASSERT_EQ(part->level, tq::kIdentLevel8);
  ASSERT_EQ(tq::ident_defn_bind(ctx, rec), 0);
  const int32_t grammar = part->patterns[0].grammar.index();
  const uint32_t refs = grammar_refs(ctx, grammar);
  // The same grammar set ten times takes no new reference.
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(tq::ident_defn_pattern_set(ctx, part, 0, "PersonName", "NAME", "BODY", 1, "PERSON", 10, 0), 0);
  }
  EXPECT_EQ(grammar_refs(ctx, grammar), refs);
  EXPECT_EQ(part->bound.load(), 0u);

  // A change that fails changes nothing: the definition stays bound; an
  // add that fails leaves no pattern.
  ASSERT_EQ(tq::ident_defn_bind(ctx, rec), 0);
  EXPECT_EQ(tq::ident_defn_pattern_set(ctx, part, 0, "PersonName", "NAME", "XYZ", 1, "PERSON", 10, 0), -802);
  EXPECT_EQ(part->bound.load(), 1u);
  EXPECT_EQ(tq::ident_defn_pattern_set(ctx, part, 0, "PersonName", "NAME", "BODY", 1, "NOBODY", 10, 0), -801);
  EXPECT_EQ(part->bound.load(), 1u);
  EXPECT_STREQ(part->patterns[0].sought_name, "BODY");
  EXPECT_EQ(tq::ident_defn_pattern_set(ctx, part, -1, "PersonName", "NAME", "XYZ", 1, "PERSON", 10, 0), -802);
  EXPECT_EQ(tq::ident_defn_pattern_set(ctx, part, -1, "NoSuchGrammar", "NAME", "BODY", 1, "PERSON", 10, 0), -400);
  EXPECT_EQ(part->patterns.size(), 1u);
  EXPECT_EQ(grammar_refs(ctx, grammar), refs);
  EXPECT_EQ(tq::ident_defn_pattern_set(ctx, part, -1, "PersonName", "NAME", "GIVEN", 0, "TITLE", 5, 1), 0);
  EXPECT_EQ(part->patterns[1].position, 1u);
  EXPECT_EQ(grammar_refs(ctx, grammar), refs + 1);

  // A known identity: -801 for an identity no value has, and nothing added
  // or changed.
  EXPECT_EQ(tq::ident_defn_known_set(ctx, part, -1, "Titles", tq::kIdentCaseInsensitive, "NOBODY"), -801);
  EXPECT_EQ(part->known.size(), 0u);
  EXPECT_EQ(tq::ident_defn_known_set(ctx, part, -1, "Titles", tq::kIdentCaseInsensitive, "TITLE"), 0);
  ASSERT_EQ(part->known.size(), 1u);
  EXPECT_EQ(part->known[0].value, 1);
  EXPECT_EQ(tq::ident_defn_known_set(ctx, part, 0, "Titles", 0, "NOBODY"), -801);
  EXPECT_EQ(part->known[0].flags, tq::kIdentCaseInsensitive);
  EXPECT_EQ(part->known[0].value, 1);

  // A copy: unbound, every pattern field equal, one more reference each.
  int32_t copy_index = -1;
  ASSERT_EQ(tq::defn_copy(ctx, tq::kDefnIdent, "Id8", "Id8 Copy", 0, &copy_index), 0)
      << tq_test::error_list_text(ctx);
  tq::ident_defn_kind_rec* copy = tq::ident_defn_part(record(ctx, copy_index));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->bound.load(), 0u);
  EXPECT_EQ(copy->level, part->level);
  ASSERT_EQ(copy->patterns.size(), part->patterns.size());
  for (size_t i = 0; i < part->patterns.size(); ++i) {
    const tq::ident_pattern_rec& a = part->patterns[i];
    const tq::ident_pattern_rec& b = copy->patterns[i];
    EXPECT_STREQ(a.root_name, b.root_name);
    EXPECT_STREQ(a.sought_name, b.sought_name);
    EXPECT_EQ(a.grammar.index(), b.grammar.index());
    EXPECT_EQ(a.position, b.position);
    EXPECT_EQ(a.options, b.options);
    EXPECT_EQ(a.value, b.value);
    EXPECT_EQ(a.weight, b.weight);
    EXPECT_EQ(a.stop, b.stop);
    EXPECT_EQ(std::memcmp(&a.opt, &b.opt, sizeof a.opt), 0);
  }
  EXPECT_EQ(grammar_refs(ctx, grammar), refs + 3);
  // Deleting every pattern gives back what freeing would.
  ASSERT_EQ(tq::ident_defn_patterns_delete_all(ctx, copy), 0);
  EXPECT_EQ(grammar_refs(ctx, grammar), refs + 1);
}

}  // namespace

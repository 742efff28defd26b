// The definition store with the test kind: the index spaces over a parent
// and a child locale, surfaced filtering, add, copy, unload, and the record
// rules (load results, usability, version raise). Locales are loaded-locale
// records set up by hand, as the loader leaves them.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "kbstore/krdefn.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocload.h"
#include "support/bare_context.h"
#include "support/test_defn_kind.h"

namespace {

using namespace tq;
using tqtest::kTestKind;

constexpr int32_t K = kTestKind;

struct Store {
  tqtest::TestDefnKind kind;  // outlives the context
  tq_test::BareContext bc;
  std::vector<loaded_locale_rec*> locs;
  context* ctx() { return bc.get(); }

  ~Store() {
    for (loaded_locale_rec* l : locs) {
      for (defn_set& s : l->defns) defn_set_free(ctx(), &s, 0);
    }
  }

  // A loaded locale of that code below `parent` (NULL: none) with the own
  // definitions named, made current.
  loaded_locale_rec* locale(int32_t code, loaded_locale_rec* parent, std::vector<const char*> names) {
    uint32_t index = 0;
    EXPECT_EQ(loaded_locale_rec_create(ctx(), &index), 0);
    loaded_locale_rec* rec = nullptr;
    EXPECT_EQ(locale_rec_get_by_index(ctx(), index, &rec), 0);
    rec->code = code;
    rec->parent = -1;
    for (uint32_t i = 0; parent != nullptr && i < locs.size(); ++i) {
      if (locs[i] == parent) rec->parent = parent_index[i];
    }
    locs.push_back(rec);
    parent_index.push_back(static_cast<int32_t>(index));
    for (const char* n : names) own(rec, n);
    EXPECT_EQ(defn_inherited_build(ctx(), K, rec), 0);
    EXPECT_EQ(locale_select(ctx(), code), 0);
    return rec;
  }

  defn_rec* own(loaded_locale_rec* loc, const char* name) {
    defn_rec* rec = nullptr;
    uint32_t pos = 0;
    EXPECT_EQ(defn_record_append(ctx(), loc, K, &rec, &pos), 0) << bc.last_error();
    std::snprintf(rec->name, sizeof rec->name, "%s", name);
    rec->valid = 1;
    return rec;
  }

  std::string name_at(int32_t index, uint32_t flags = kDefnAnySurface) {
    char out[kDefnNameMax + 1];
    int32_t rc = defn_name_get_by_index(ctx(), K, index, flags, out);
    return rc == 0 ? out : "rc " + std::to_string(rc);
  }
  int32_t find(const char* name, uint32_t flags = 0) {
    int32_t index = -2;
    int32_t rc = defn_index_get_by_name(ctx(), K, name, flags, &index);
    EXPECT_EQ(rc < 0, index == -1) << name;
    return rc < 0 ? rc : index;
  }
  uint32_t count() {
    uint32_t n = 0;
    EXPECT_EQ(defn_count_get(ctx(), K, &n), 0);
    return n;
  }

 private:
  std::vector<int32_t> parent_index;
};

TEST(DefnStore, OwnThenInheritedOutsideEditModeAndByDepthInIt) {
  Store s;
  loaded_locale_rec* parent = s.locale(29000, nullptr, {"Shared", "Name"});
  s.locale(29840, parent, {"Shared", "NAME", "Gamma"});
  // Hiding compares bytes: the parent's "Shared" is hidden, its "Name" is
  // not. Lookup ignores case and finds the child's own "NAME" first.
  EXPECT_EQ(s.count(), 4u);
  for (auto [index, name] : {std::pair{3, "Name"}, {4, "rc -800"}, {-1, "rc -800"}, {-2, "rc -800"}}) {
    EXPECT_EQ(s.name_at(index), name) << index;
  }
  EXPECT_EQ(s.find("name"), 1);
  uint32_t own = 0;
  EXPECT_EQ(defn_count_get_by_locale(s.ctx(), K, 29840, &own), 0);
  EXPECT_EQ(own, 3u);

  // Edit mode: depth x 256 + position, no count, a 257th own refused.
  s.ctx()->edit_mode = 1;
  EXPECT_EQ(defn_count_get(s.ctx(), K, &own), TQ_ERR_EDIT_MODE);
  for (auto [index, name] : {std::pair{257, "Name"}, {3, "rc -800"}, {258, "rc -800"}, {512, "rc -800"}}) {
    EXPECT_EQ(s.name_at(index), name) << index;
  }
  ASSERT_EQ(defn_unload(s.ctx(), K, 1), 0);  // the child's "NAME" no longer hides by case
  EXPECT_EQ(s.find("name"), 257);
  int32_t index = -1;
  for (int i = 3; i < 256; ++i) {
    ASSERT_EQ(defn_add(s.ctx(), K, ("D" + std::to_string(i)).c_str(), 0, &index), 0);
    ASSERT_EQ(index, i);
  }
  EXPECT_EQ(defn_add(s.ctx(), K, "One Too Many", 0, &index), TQ_ERR_CALL_STACK_FULL);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(s.name_at(256), "Shared");  // still the parent's first
}

TEST(DefnStore, SurfacedFilterAndItsOption) {
  Store s;
  loaded_locale_rec* loc = s.locale(29840, nullptr, {"Shown"});
  s.own(loc, "Hidden")->surface = 0;
  EXPECT_EQ(s.find("hidden"), TQ_ERR_INDEX);
  EXPECT_NE(s.bc.last_error().find("hidden"), std::string::npos);
  EXPECT_EQ(s.find("hidden", kDefnAnySurface), 1);
  EXPECT_EQ(s.name_at(1, 0), "rc -701");
  EXPECT_EQ(s.name_at(1, kDefnAnySurface), "Hidden");
  EXPECT_EQ(s.find("Nothing"), TQ_ERR_NAME);
  EXPECT_EQ(s.find(""), TQ_ERR_NAME);
  s.ctx()->options |= kOptionAllSurfaced;
  EXPECT_EQ(s.find("hidden"), 1);
  EXPECT_EQ(s.name_at(1, 0), "Hidden");
}

TEST(DefnStore, AddReturnsTheAppendedRecordAndKeepsTheNameRules) {
  Store s;
  s.locale(29840, nullptr, {"Name"});
  int32_t index = -2;
  struct Bad {
    const char* name;
    int32_t rc;
  };
  for (const Bad& b : {Bad{"Name", TQ_ERR_NAME}, Bad{"A,B", TQ_ERR_NAME}, Bad{"", TQ_ERR_ARGUMENT},
                       Bad{"   ", TQ_ERR_ARGUMENT}, Bad{" Name ", TQ_ERR_NAME}}) {
    EXPECT_EQ(defn_add(s.ctx(), K, b.name, 0, &index), b.rc) << b.name;
    EXPECT_EQ(index, -1);
    EXPECT_EQ(s.count(), 1u);
  }
  ASSERT_EQ(defn_add(s.ctx(), K, "NAME", 0, &index), 0);
  EXPECT_EQ(index, 1);  // not the older "Name" a lookup would find first
  defn_rec* rec = nullptr;
  ASSERT_EQ(defn_record_get_for_read(s.ctx(), K, index, &rec), 0);
  EXPECT_STREQ(rec->name, "NAME");
  EXPECT_EQ(rec->valid, 0);
  EXPECT_EQ(rec->editable, 1);
  EXPECT_EQ(rec->validity_bits, 1u);
  EXPECT_EQ(rec->locale, 29840);
  EXPECT_EQ(defn_rec_check_usable(s.ctx(), rec), TQ_ERR_DEFN_INVALID);
  ASSERT_EQ(defn_add(s.ctx(), K, "  Padded ", 0, &index), 0);
  EXPECT_EQ(s.name_at(index), "Padded");
  EXPECT_EQ(s.kind.counters().init, 3);
}

// Names from a caller are converted from the session encoding; the engine's
// own UTF-8 names are not, whatever the session.
TEST(DefnStore, OnlyCallersNamesAreConverted) {
  Store s;
  s.locale(29840, nullptr, {"Caf\xC3\xA9"});
  s.ctx()->session_encoding = kEncodingUcs2Le;
  EXPECT_EQ(s.find("caf\xC3\xA9"), 0);
  const char ucs2[] = {'C', 0, 'A', 0, 'F', 0, '\xC9', 0, 0, 0};
  EXPECT_EQ(s.find(ucs2, kDefnNameConvert), 0);
  char out[kDefnNameMax + 1];
  ASSERT_EQ(defn_name_get_by_index(s.ctx(), K, 0, kDefnNameConvert, out), 0);
  EXPECT_EQ(std::memcmp(out, "C\0a\0f\0\xE9\0\0\0", 10), 0);
}

TEST(DefnStore, CopyAppendsSharesReferencesAndRebases) {
  Store s;
  context* ctx = s.ctx();
  loaded_locale_rec* parent = s.locale(29000, nullptr, {"Base"});
  defn_rec* base = parent->defns[K].recs[0];
  int32_t slot = -1;
  ASSERT_EQ(rsrc_slot_create(ctx, kRsrcChopper, "chop", 0, nullptr, &slot), 0);
  base->chopper = rsrc_ref::adopt(kRsrcChopper, slot);
  ASSERT_EQ(default_category_add(ctx, &base->default_categories, "NAME", 60), 0);
  static_cast<tqtest::test_kind_part*>(base->part)->value = 42;
  dtok_owner owner;
  owner.kind = K;
  int32_t tok = -1;
  ASSERT_EQ(dtok_list_add(ctx, owner, &base->tokens, &tok), 0);
  std::strcpy(base->tokens.items[0]->name, "Given");
  base->datatype = 1;
  base->parse_defn = -1;
  std::strcpy(base->owner, "someone");
  base->surface = 0;
  loaded_locale_rec* child = s.locale(29840, parent, {"Mine"});

  int32_t index = -2;
  EXPECT_EQ(defn_copy(ctx, K, "base", " Mine", 0, &index), TQ_ERR_NAME);
  EXPECT_EQ(index, -1);
  ASSERT_EQ(defn_copy(ctx, K, "base", "Copy", 0, &index), 0) << s.bc.last_error();
  EXPECT_EQ(index, 1);
  defn_rec* copy = child->defns[K].recs[1];
  EXPECT_STREQ(copy->name, "Copy");
  EXPECT_STREQ(copy->owner, "someone");
  EXPECT_EQ(copy->surface, 0);
  EXPECT_EQ(copy->editable, 1);
  EXPECT_EQ(copy->locale, 29840);
  EXPECT_EQ(copy->chopper.index(), slot);
  resource_slot* rs = nullptr;
  ASSERT_EQ(rsrc_slot_get_used(ctx, kRsrcChopper, slot, &rs), 0);
  EXPECT_EQ(rs->refs, 2u);
  EXPECT_EQ(copy->default_categories.count, 1u);
  EXPECT_NE(copy->default_categories.slots[0], base->default_categories.slots[0]);
  ASSERT_EQ(copy->tokens.count(), 1u);
  EXPECT_STREQ(copy->tokens.items[0]->name, "Given");
  EXPECT_EQ(static_cast<tqtest::test_kind_part*>(copy->part)->value, 42);
  EXPECT_EQ(s.kind.counters().remap, 1);
  EXPECT_EQ(s.kind.counters().last_remap_source, 0);  // outside edit mode nothing is rebased
  EXPECT_EQ(copy->datatype, 1);  // from an own-space source: unchanged

  // Copying a definition onto its own name would make two of one name.
  EXPECT_EQ(defn_copy(ctx, K, "Mine", "Mine", 0, &index), TQ_ERR_NAME);
  EXPECT_EQ(defn_copy(ctx, K, "Mine", "", 0, &index), TQ_ERR_ARGUMENT);
  EXPECT_EQ(defn_copy(ctx, K, "Nothing", "New", 0, &index), TQ_ERR_NAME);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(child->defns[K].count, 2u);
  // The copy's index, whatever a case-insensitive lookup of its name finds.
  ASSERT_EQ(defn_copy(ctx, K, "Mine", "MINE", 0, &index), 0);
  EXPECT_EQ(index, 2);

  // From the parent in edit mode: indices move up by the source's depth;
  // none stays none.
  ctx->edit_mode = 1;
  ASSERT_EQ(defn_copy(ctx, K, "Base", "Again", 0, &index), 0) << s.bc.last_error();
  copy = child->defns[K].recs[index];
  EXPECT_EQ(s.kind.counters().last_remap_source, 256);
  EXPECT_EQ(copy->datatype, 257);
  EXPECT_EQ(copy->parse_defn, -1);
  EXPECT_EQ(rs->refs, 3u);
}

// The kind's hooks for one test, lent in place of the test kind's own.
struct LentHooks {
  defn_kind_ops ops = tqtest::detail::test_kind_ops();
  LentHooks() { defn_kind_ops_set(K, &ops); }
  ~LentHooks() { defn_kind_ops_set(K, &tqtest::detail::test_kind_ops()); }
};

uint32_t g_dropped = 0;

TEST(DefnStore, FailedCopyLeavesNothingBehind) {
  Store s;
  context* ctx = s.ctx();
  loaded_locale_rec* loc = s.locale(29840, nullptr, {"Base"});
  int32_t slot = -1;
  ASSERT_EQ(rsrc_slot_create(ctx, kRsrcVocab, "words", 0, nullptr, &slot), 0);
  loc->defns[K].recs[0]->vocabularies.emplace_back();
  loc->defns[K].recs[0]->vocabularies[0].vocab = rsrc_ref::adopt(kRsrcVocab, slot);
  LentHooks lent;
  lent.ops.copy = [](context*, const defn_rec*, defn_rec*) -> int32_t { return TQ_ERR_NO_MEMORY; };
  int32_t index = -2;
  EXPECT_EQ(defn_copy(ctx, K, "Base", "Copy", 0, &index), TQ_ERR_NO_MEMORY);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(loc->defns[K].count, 1u);
  resource_slot* rs = nullptr;
  ASSERT_EQ(rsrc_slot_get_used(ctx, kRsrcVocab, slot, &rs), 0);
  EXPECT_EQ(rs->refs, 1u);
  EXPECT_EQ(s.kind.counters().init, s.kind.counters().free + 1);
  EXPECT_EQ(ctx->write_holds, 0u);
}

// The field tables reach a definition and its tokens by (kind, index[,
// item]); a set raises the definition's version and drops what the kind
// prepared through its invalidate hook.
TEST(DefnStore, FieldTableStores) {
  Store s;
  context* ctx = s.ctx();
  loaded_locale_rec* loc = s.locale(29840, nullptr, {"D"});
  dtok_owner owner;
  owner.kind = K;
  int32_t tok = -1;
  ASSERT_EQ(dtok_list_add(ctx, owner, &loc->defns[K].recs[0]->tokens, &tok), 0);
  std::strcpy(loc->defns[K].recs[0]->tokens.items[0]->name, "Tok");
  LentHooks lent;
  lent.ops.invalidate = [](context*, defn_rec*, uint32_t what) { g_dropped |= what; };
  static const field_desc owner_field =
      text_field<&defn_rec::owner>("owner", &kDefnRecords, kFieldConvert).raises("9.0").drops(kFieldDropsPrepared);
  static const field_desc token_name = text_field<&dtok_rec::name>("name", &kDefnTokens, kFieldConvert);
  EXPECT_EQ(field_set(ctx, K, owner_field, 0, "me"), 0);
  EXPECT_STREQ(loc->defns[K].recs[0]->owner, "me");
  EXPECT_STREQ(loc->defns[K].recs[0]->version, "9.0");
  EXPECT_EQ(g_dropped, kFieldDropsPrepared);
  EXPECT_EQ(field_set(ctx, K, owner_field, 1, "me"), TQ_ERR_INDEX);
  char out[kDefnNameMax + 1];
  EXPECT_EQ(field_get(ctx, K, token_name, 0, 0, out), 0);
  EXPECT_STREQ(out, "Tok");
  EXPECT_EQ(field_get(ctx, K, token_name, 0, 1, out), TQ_ERR_INDEX);
  EXPECT_EQ(ctx->write_holds, 0u);
}

// Tokens of a definition of a given locale, and what token operations get
// of their definition: its datatype's name and token names.
TEST(DefnStore, TokensInALocaleAndTheirOwner) {
  Store s;
  context* ctx = s.ctx();
  loaded_locale_rec* loc = s.locale(29840, nullptr, {"D"});
  int32_t dt = -1;
  uint32_t t = 0;
  ASSERT_EQ(dtype_add(ctx, &loc->datatypes, "Person", &dt), 0);
  dtype_rec* type = loc->datatypes.recs[dt];
  for (const char* v : {"Given", "Family"}) {
    ASSERT_EQ(dtype_token_add(ctx, type, &t), 0);
    ASSERT_EQ(dtype_token_value_set(ctx, type, static_cast<int32_t>(t), v), 0);
  }
  defn_rec* rec = loc->defns[K].recs[0];
  rec->datatype = dt;
  defn_token_owner owner;
  ASSERT_EQ(defn_token_owner_get(ctx, rec, &owner), 0);
  EXPECT_STREQ(owner.owner.datatype_name, "Person");
  ASSERT_EQ(owner.owner.datatype_token_count, 2u);
  EXPECT_STREQ(owner.owner.datatype_tokens[1], "Family");
  int32_t tok = -1;
  ASSERT_EQ(dtok_list_add(ctx, owner.owner, &rec->tokens, &tok), 0);
  ASSERT_EQ(dtok_name_set(ctx, owner.owner, 1, rec->tokens.items[0].get(), "Family", 0), 0);
  uint32_t count = 0;
  EXPECT_EQ(defn_token_count_get_in_locale(ctx, K, 0, 29840, &count), 0);
  EXPECT_EQ(count, 1u);
  char name[kDtokNameOutSize];
  EXPECT_EQ(defn_token_name_get_in_locale(ctx, K, 0, 29840, 0, name), 0);
  EXPECT_STREQ(name, "Family");
  EXPECT_EQ(defn_token_name_get_in_locale(ctx, K, 0, 29840, 1, name), TQ_ERR_INDEX);
  int32_t key = -2;
  EXPECT_EQ(defn_token_key_get_by_name_in_locale(ctx, K, 0, 29840, "FAMILY", 0, &key), 0);
  EXPECT_EQ(key, 1);
  EXPECT_EQ(defn_token_key_get_by_name_in_locale(ctx, K, 0, 29840, "Given", 0, &key), TQ_ERR_ARGUMENT);
  rec->datatype = 5;
  EXPECT_EQ(defn_token_owner_get(ctx, rec, &owner), TQ_ERR_INDEX);
}

TEST(DefnStore, UnloadEmptiesTheSlotOnce) {
  Store s;
  loaded_locale_rec* loc = s.locale(29840, nullptr, {"First", "Second"});
  defn_rec* rec = loc->defns[K].recs[0];
  ASSERT_EQ(default_category_add(s.ctx(), &rec->default_categories, "NAME", 60), 0);
  EXPECT_EQ(defn_unload(s.ctx(), K, -1), TQ_ERR_ARGUMENT);
  ASSERT_EQ(defn_unload(s.ctx(), K, 0), 0);
  EXPECT_EQ(s.kind.counters().free, 1);
  EXPECT_EQ(s.count(), 2u);
  EXPECT_EQ(s.find("First"), TQ_ERR_NAME);
  EXPECT_EQ(s.find("Second"), 1);
  EXPECT_EQ(s.name_at(0, 0), "rc -701");
  EXPECT_EQ(s.name_at(0), "");
  EXPECT_EQ(rec->kind, 0);
  EXPECT_EQ(rec->default_categories.count, 0u);
  EXPECT_NE(rec->default_categories.slots, nullptr);
  ASSERT_EQ(defn_unload(s.ctx(), K, 0), 0);
  defn_record_clear(s.ctx(), rec, 1);
  EXPECT_EQ(s.kind.counters().free, 1);
  // The last one goes for good.
  ASSERT_EQ(defn_unload_last(s.ctx(), K), 0);
  EXPECT_EQ(s.count(), 1u);
  EXPECT_EQ(s.kind.counters().free, 2);
}

TEST(DefnStore, RecordRules) {
  Store s;
  context* ctx = s.ctx();
  loaded_locale_rec* loc = s.locale(29840, nullptr, {"D"});
  defn_rec* rec = loc->defns[K].recs[0];

  // One load step's result: kept, marks the record, stops only when critical.
  struct Step {
    int32_t step, returned;
    uint32_t bits;
    int32_t valid;
  };
  for (const Step& st : {Step{0, 0, 0, 1}, Step{105, 0, 1, 1}, Step{-300, 0, 1, 0}, Step{-100, -100, 1, 0},
                         Step{-200, -200, 1, 0}, Step{-600, -600, 1, 0}, Step{-601, 0, 1, 0}}) {
    rec->valid = 1;
    rec->validity_bits = 0;
    int32_t last = 7;
    EXPECT_EQ(defn_rec_load_result(ctx, rec, st.step, &last), st.returned) << st.step;
    EXPECT_EQ(last, st.step == 0 ? 7 : st.step);
    EXPECT_EQ(rec->validity_bits, st.bits);
    EXPECT_EQ(rec->valid, st.valid);
  }

  rec->valid = 1;
  EXPECT_EQ(defn_rec_check_usable(ctx, rec), 0);
  rec->version_supported = 0;
  EXPECT_EQ(defn_rec_check_usable(ctx, rec), TQ_ERR_NOT_USABLE);
  ctx->options |= kOptionNewerVersions;
  EXPECT_EQ(defn_rec_check_usable(ctx, rec), 0);
  rec->valid = 0;
  EXPECT_EQ(defn_rec_check_usable(ctx, rec), TQ_ERR_DEFN_INVALID);

  struct Raise {
    const char* to;
    const char* after;
  };
  for (const Raise& r : {Raise{"7.0", "7.0"}, Raise{"6.5", "7.0"}, Raise{"9.0", "9.0"}, Raise{"8.10", "9.0"}}) {
    EXPECT_EQ(defn_version_raise_by_index(ctx, K, 0, r.to), 0);
    EXPECT_STREQ(rec->version, r.after) << r.to;
  }
  EXPECT_EQ(defn_version_raise_by_index(ctx, K, 5, "9.0"), TQ_ERR_INDEX);
  EXPECT_EQ(ctx->write_holds, 0u);

  EXPECT_EQ(defn_index_rebase(300, -1), -1);
  EXPECT_EQ(defn_index_rebase(5, 7), 7);
  EXPECT_EQ(defn_index_rebase(513, 258), 770);

  rec->allow_parsed_input = 0;
  EXPECT_EQ(defn_rec_parsed_input_get(ctx, rec), 0);
  ctx->options |= kOptionAllParsedInput;
  EXPECT_EQ(defn_rec_parsed_input_get(ctx, rec), 1);

  // A kind that is not built is refused where a record would be made.
  int32_t index = -2;
  EXPECT_EQ(defn_add(ctx, kDefnCase, "X", 0, &index), TQ_ERR_ARGUMENT);
  EXPECT_EQ(defn_add(ctx, 11, "X", 0, &index), TQ_ERR_ARGUMENT);
  defn_rec* out = nullptr;
  uint32_t pos = 0;
  EXPECT_EQ(defn_record_append(ctx, loc, kDefnCase, &out, &pos), TQ_ERR_ARGUMENT);
  EXPECT_EQ(loc->defns[kDefnCase].count, 0u);
}

}  // namespace

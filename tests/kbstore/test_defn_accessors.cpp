// The accessors every definition kind shares, on the test kind: plain fields
// through their descriptors, the resource lists and single slots with their
// references, default categories, vocabularies, tokens. Resources are
// registry slots that a stub open makes ("Bad..." cannot be opened); the
// kind's invalidate hook counts the drops of prepared state.
#include <cstdio>
#include <iterator>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"
#include "support/bare_context.h"
#include "support/test_defn_kind.h"

namespace {

using namespace tq;
constexpr int32_t K = tqtest::kTestKind;

int g_dropped = 0;

int32_t stub_open(context* ctx, uint32_t kind, const char* name, int32_t* index) {
  if (std::strncmp(name, "Bad", 3) == 0) return TQ_ERR_FILE_OPEN;
  if (rsrc_find_by_name(ctx, kind, name, index) == 0) return rsrc_addref(ctx, kind, *index);
  rsrc_callbacks cb{};
  return rsrc_slot_create(ctx, kind, name, 0, &cb, index);
}
constexpr rsrc_open_ops kStubOpens{
    [](context* c, const char* n, int32_t* i) { return stub_open(c, kRsrcRegex, n, i); },
    [](context* c, const char* n, uint32_t, int32_t* i) { return stub_open(c, kRsrcScheme, n, i); },
    [](context* c, const char* n, int32_t* i) { return stub_open(c, kRsrcChopper, n, i); },
    [](context* c, const char* n, int32_t* i) { return stub_open(c, kRsrcVocab, n, i); }};

// Lent for the whole fixture, and outliving it: the stub opens, the test
// kind with an invalidate hook, and the same operations as kind 5 (parse
// definitions that others name).
struct Lent {
  defn_kind_ops ops = tqtest::detail::test_kind_ops();
  Lent() {
    ops.invalidate = [](context*, defn_rec*, uint32_t what) { g_dropped += what == kFieldDropsPrepared ? 1 : 100; };
    rsrc_open_ops_set(&kStubOpens);
    defn_kind_ops_set(kDefnParse, &ops);
  }
  ~Lent() {
    defn_kind_ops_set(kDefnParse, nullptr);
    rsrc_open_ops_set(nullptr);
  }
};

struct Acc {
  Lent lent;
  tqtest::TestDefnKind kind;
  tq_test::BareContext bc;
  std::vector<loaded_locale_rec*> locs;
  std::vector<int32_t> slots;
  Acc() {
    defn_kind_ops_set(K, &lent.ops);
    g_dropped = 0;
  }
  ~Acc() {
    for (loaded_locale_rec* l : locs) {
      for (defn_set& s : l->defns) defn_set_free(ctx(), &s, 0);
    }
  }
  context* ctx() { return bc.get(); }

  // A loaded locale below `parent` with definitions of kind `k`, made current.
  loaded_locale_rec* locale(int32_t code, loaded_locale_rec* parent, std::vector<const char*> names,
                            int32_t k = K) {
    uint32_t index = 0;
    EXPECT_EQ(loaded_locale_rec_create(ctx(), &index), 0);
    loaded_locale_rec* rec = nullptr;
    EXPECT_EQ(locale_rec_get_by_index(ctx(), index, &rec), 0);
    rec->code = code;
    rec->parent = -1;
    for (size_t i = 0; i < locs.size(); ++i) {
      if (locs[i] == parent) rec->parent = slots[i];
    }
    locs.push_back(rec);
    slots.push_back(static_cast<int32_t>(index));
    for (const char* n : names) own(rec, n, k);
    EXPECT_EQ(defn_inherited_build(ctx(), K, rec), 0);
    EXPECT_EQ(locale_select(ctx(), code), 0);
    return rec;
  }
  defn_rec* own(loaded_locale_rec* loc, const char* name, int32_t k = K) {
    defn_rec* rec = nullptr;
    uint32_t pos = 0;
    EXPECT_EQ(defn_record_append(ctx(), loc, k, &rec, &pos), 0) << bc.last_error();
    std::snprintf(rec->name, sizeof rec->name, "%s", name);
    return rec;
  }
  // References held on the resource of that name; 0 once its slot is free.
  uint32_t refs(uint32_t rkind, const char* name) {
    int32_t index = -1;
    resource_slot* slot = nullptr;
    if (rsrc_find_by_name(ctx(), rkind, name, &index) != 0) return 0;
    return rsrc_slot_get_used(ctx(), rkind, index, &slot) == 0 ? slot->refs : 0;
  }
  template <typename Get>
  std::string text(Get get) {
    char out[16384 + 4];
    int32_t rc = get(out);
    return rc < 0 ? "rc " + std::to_string(rc) : std::string(out);
  }
};

TEST(DefnAccessors, PlainFieldsThroughDescriptors) {
  Acc a;
  context* ctx = a.ctx();
  defn_rec* rec = a.own(a.locale(29840, nullptr, {}), "D");

  // The owner: trimmed, and the version raised to at least "9.0".
  for (auto [before, after] : {std::pair{"", "9.0"}, {"7.0", "9.0"}, {"9.0", "9.0"}, {"9.5", "9.5"}}) {
    std::strcpy(rec->version, before);
    EXPECT_EQ(field_set(ctx, K, kDefnOwner, 0, "  Corvel  "), 0);
    EXPECT_STREQ(rec->version, after) << before;
  }
  EXPECT_EQ(a.text([&](char* o) { return field_get(ctx, K, kDefnOwner, 0, o); }), "Corvel");
  // A text that cannot be converted changes nothing (no silent success).
  ctx->session_encoding = kEncodingUtf8;
  ctx->options |= TQ_OPT_STRICT_CONVERSION;
  EXPECT_EQ(field_set(ctx, K, kDefnOwner, 0, "\xff\xfe"), TQ_ERR_INVALID_CHAR);
  EXPECT_STREQ(rec->owner, "Corvel");
  ctx->options &= ~TQ_OPT_STRICT_CONVERSION;
  ctx->session_encoding = 0;

  // Flags read and set through either signedness; out defaults and failure
  // codes on a bad index.
  struct Flag {
    const field_desc* f;
    int32_t* field;
    uint32_t out_on_failure;
    int32_t failure;
    int drops;
  };
  for (const Flag& t : {Flag{&kDefnIncomplete, &rec->incomplete, 0, TQ_ERR_INDEX, 0},
                        Flag{&kDefnValid, &rec->valid, 0, TQ_ERR_INDEX, 0},
                        Flag{&kDefnEditable, &rec->editable, 0, TQ_ERR_INDEX, 0},
                        Flag{&kDefnSurface, &rec->surface, 0, TQ_ERR_INDEX, 0},
                        Flag{&kDefnAutomaticUppercasing, &rec->automatic_uppercasing, 1, TQ_ERR_INDEX, 1},
                        Flag{&kDefnParsedInputFlag, &rec->allow_parsed_input, 0, TQ_ERR_INDEX, 0}}) {
    g_dropped = 0;
    EXPECT_EQ(field_set(ctx, K, *t.f, 0, 5u), 0) << t.f->name;
    EXPECT_EQ(*t.field, 1) << t.f->name;
    EXPECT_EQ(field_set(ctx, K, *t.f, 0, int32_t{0}), 0);
    uint32_t u = 7;
    EXPECT_EQ(field_get(ctx, K, *t.f, 0, &u), 0);
    EXPECT_EQ(u, 0u) << t.f->name;
    EXPECT_EQ(g_dropped, 2 * t.drops) << t.f->name;
    EXPECT_EQ(field_get(ctx, K, *t.f, 3, &u), t.failure) << t.f->name;
    EXPECT_EQ(u, t.out_on_failure) << t.f->name;
  }
  int32_t i = 0;
  EXPECT_EQ(field_get(ctx, K, kDefnParseDefnIndex, 3, &i), TQ_ERR_PART_MISSING);
  EXPECT_EQ(i, -1);
  // Option bit 21 is not applied to the raw flag, bit 20 only where asked.
  ctx->options |= kOptionAllParsedInput | kOptionAllSurfaced;
  uint32_t u = 9;
  EXPECT_EQ(field_get(ctx, K, kDefnParsedInputFlag, 0, &u), 0);
  EXPECT_EQ(u, 0u);
  EXPECT_EQ(field_get(ctx, K, kDefnSurface, 0, &u), 0);
  EXPECT_EQ(u, 0u);
  EXPECT_EQ(defn_surface_flag_get(ctx, K, 0, &u), 0);
  EXPECT_EQ(u, 1u);
  EXPECT_EQ(ctx->write_holds, 0u);
}

TEST(DefnAccessors, DeprecationDatatypeParseDefinitionCommentsAndName) {
  Acc a;
  context* ctx = a.ctx();
  loaded_locale_rec* parent = a.locale(29000, nullptr, {"Parent"});
  for (const char* n : {"Alpha", "Beta"}) {
    int32_t dt = -1;
    ASSERT_EQ(dtype_add(ctx, &parent->datatypes, n, &dt), 0);
  }
  defn_rec* parse = a.own(parent, "Parser", kDefnParse);
  loaded_locale_rec* child = a.locale(29840, parent, {"Child"});
  int32_t dt = -1;
  ASSERT_EQ(dtype_add(ctx, &child->datatypes, "Beta", &dt), 0);
  dtype_chain chain{};
  ASSERT_EQ(dtype_locale_chain(ctx, child, &chain), 0);
  ASSERT_EQ(dtype_inherited_build(ctx, chain), 0);
  defn_rec* inherited = parent->defns[K].recs[0];

  // The parent's definition names its "Beta" (1 there), which the child
  // holds as its own first datatype.
  inherited->datatype = 1;
  int32_t index = -2;
  EXPECT_EQ(defn_datatype_index_get(ctx, K, 1, &index), 0);
  EXPECT_EQ(index, 0);
  inherited->datatype = -1;
  EXPECT_EQ(defn_datatype_index_get(ctx, K, 1, &index), 0);
  EXPECT_EQ(index, -1);
  // The setter takes the getter's indices: the child's "Beta" (0) is the
  // parent's own "Beta" (1) for the parent's definition; an index that names
  // no datatype, and none for a kind whose files need one, change nothing.
  EXPECT_EQ(defn_datatype_index_set(ctx, K, 1, 0), 0);
  EXPECT_EQ(inherited->datatype, 1);
  EXPECT_EQ(defn_datatype_index_set(ctx, K, 1, 1), 0);  // "Alpha", which the child inherits
  EXPECT_EQ(inherited->datatype, 0);
  for (int32_t bad : {4, -1, -2}) EXPECT_EQ(defn_datatype_index_set(ctx, K, 1, bad), -800) << bad;
  EXPECT_EQ(inherited->datatype, 0);
  EXPECT_EQ(defn_datatype_index_get(ctx, K, 1, &index), 0);
  EXPECT_EQ(index, 1);

  // The parse definition's name comes from the definition's own locale.
  inherited->parse_defn = 0;
  EXPECT_EQ(a.text([&](char* o) { return defn_parse_defn_name_get(ctx, K, 1, o); }), "Parser");
  inherited->parse_defn = -1;
  EXPECT_EQ(a.text([&](char* o) { return defn_parse_defn_name_get(ctx, K, 1, o); }), "");
  (void)parse;

  // Deprecation: the replacement only while deprecated; the version raised.
  uint32_t dep = 9;
  for (auto [flag, given, out_flag, out_text] :
       {std::tuple{1u, "Newer", 1u, "Newer"}, {0u, "X", 0u, ""}, {1u, "", 1u, ""}}) {
    ASSERT_EQ(defn_deprecated_info_set(ctx, K, 0, flag, given), 0);
    std::string text = a.text([&](char* o) { return defn_deprecated_info_get(ctx, K, 0, &dep, o); });
    EXPECT_EQ(dep, out_flag);
    EXPECT_EQ(text, out_text) << given;
  }
  EXPECT_STREQ(child->defns[K].recs[0]->version, "9.0");

  // Comments: kept with an include; none without one, the caller keeping it.
  xmldoc* doc = nullptr;
  xmldoc* inner = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Comments", "7.0", &doc), 0);
  ASSERT_EQ(xmldoc_create(ctx, "Note", "7.0", &inner), 0);
  ASSERT_EQ(xmldoc_include_add(ctx, doc, "Note", kXmlIncludeInline, inner), 0);
  ASSERT_EQ(defn_comments_set(ctx, K, 0, doc), 0);
  tq_xmldoc* got = nullptr;
  EXPECT_EQ(defn_comments_get(ctx, K, 0, &got), 0);
  EXPECT_EQ(got, doc);
  EXPECT_EQ(defn_comments_set(ctx, K, 0, got), 0);  // itself: nothing freed
  xmldoc* bare = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Layouts", "7.0", &bare), 0);
  EXPECT_EQ(defn_layouts_set(ctx, K, 0, bare), 0);
  EXPECT_EQ(defn_layouts_get(ctx, K, 0, &got), 0);
  EXPECT_EQ(got, nullptr);
  xml_free(ctx, bare);

  // Renaming keeps the name rules of the definition's own locale.
  EXPECT_EQ(defn_name_set(ctx, K, 0, "  Renamed "), 0);
  EXPECT_EQ(a.text([&](char* o) { return defn_name_get_any(ctx, K, 0, o); }), "Renamed");
  for (auto [name, rc] : {std::pair{"", TQ_ERR_ARGUMENT}, {"A,B", TQ_ERR_NAME}}) {
    EXPECT_EQ(defn_name_set(ctx, K, 0, name), rc) << name;
  }
  EXPECT_EQ(defn_name_set(ctx, K, 5, "Other"), TQ_ERR_INDEX);
  index = -2;
  EXPECT_EQ(defn_index_get_surfaced(ctx, K, "renamed", &index), 0);
  EXPECT_EQ(index, 0);
  ASSERT_EQ(defn_unload(ctx, K, 0), 0);
  EXPECT_EQ(defn_name_set(ctx, K, 0, "Revived"), TQ_ERR_INDEX);
  EXPECT_EQ(ctx->write_holds, 0u);
}

// The regex-library lists, single by-name slots and their references; the
// same checks run on both lists.
TEST(DefnAccessors, ResourceListsAndSlots) {
  Acc a;
  context* ctx = a.ctx();
  defn_rec* rec = a.own(a.locale(29840, nullptr, {}), "D");
  using add_fn = int32_t (*)(context*, int32_t, int32_t, const char*);
  using get_fn = int32_t (*)(context*, int32_t, int32_t, int32_t, char*);
  using set_fn = int32_t (*)(context*, int32_t, int32_t, int32_t, const char*);
  struct List {
    std::vector<rsrc_ref>* list;
    add_fn add;
    get_fn get;
    set_fn set;
  };
  for (const List& l : {List{&rec->preprocessing, defn_preprocessing_regexlib_add,
                             defn_preprocessing_regexlib_name_get_by_index,
                             defn_preprocessing_regexlib_name_set_by_index},
                        List{&rec->normalization, defn_normalization_regexlib_add,
                             defn_normalization_regexlib_name_get_by_index,
                             defn_normalization_regexlib_name_set_by_index}}) {
    g_dropped = 0;
    ASSERT_EQ(l.add(ctx, K, 0, "R1"), 0);
    ASSERT_EQ(l.add(ctx, K, 0, "R2"), 0);
    EXPECT_EQ(l.add(ctx, K, 0, "Bad"), TQ_ERR_FILE_OPEN);
    EXPECT_EQ(l.add(ctx, K, 3, "R1"), TQ_ERR_INDEX);
    EXPECT_EQ(l.list->size(), 2u);
    EXPECT_EQ(a.text([&](char* o) { return l.get(ctx, K, 0, 1, o); }), "R2");
    EXPECT_EQ(a.text([&](char* o) { return l.get(ctx, K, 0, 2, o); }), "rc -800");
    EXPECT_EQ(l.set(ctx, K, 0, 2, "R3"), TQ_ERR_INDEX);
    EXPECT_EQ(l.set(ctx, K, 0, 1, "R3"), 0);  // opened, then R2 given back
    EXPECT_EQ(a.refs(kRsrcRegex, "R2"), 0u);
    EXPECT_EQ(l.set(ctx, K, 0, 1, "R3"), 0);  // the same name takes nothing
    EXPECT_EQ(l.set(ctx, K, 0, 1, "Bad"), TQ_ERR_FILE_OPEN);
    EXPECT_EQ(l.set(ctx, K, 0, 1, ""), TQ_ERR_ARGUMENT);
    EXPECT_EQ(a.refs(kRsrcRegex, "R3"), 1u);
    EXPECT_EQ(g_dropped, 3);
    EXPECT_EQ(l.set(ctx, K, 0, 0, ""), 0);  // empties the whole list
    EXPECT_TRUE(l.list->empty());
    EXPECT_EQ(a.refs(kRsrcRegex, "R1") + a.refs(kRsrcRegex, "R3"), 0u);
  }

  // Normalization: an empty add and delete_all empty it and uppercase again.
  for (add_fn empty_it : {+[](context* c, int32_t k, int32_t i, const char*) {
                            return defn_normalization_regexlibs_delete_all(c, k, i);
                          },
                          defn_normalization_regexlib_add}) {
    ASSERT_EQ(defn_normalization_regexlib_add(ctx, K, 0, "R1"), 0);
    ASSERT_EQ(field_set(ctx, K, kDefnAutomaticUppercasing, 0, 0u), 0);
    EXPECT_EQ(empty_it(ctx, K, 0, ""), 0);
    EXPECT_TRUE(rec->normalization.empty());
    EXPECT_EQ(rec->automatic_uppercasing, 1);
  }

  // The single form leaves one library whatever the list held.
  for (const char* n : {"R1", "R2", "R3"}) ASSERT_EQ(defn_preprocessing_regexlib_add(ctx, K, 0, n), 0);
  EXPECT_EQ(defn_preprocessing_regexlib_name_set(ctx, K, 0, "Bad"), TQ_ERR_FILE_OPEN);
  EXPECT_EQ(rec->preprocessing.size(), 3u);
  EXPECT_EQ(defn_preprocessing_regexlib_name_set(ctx, K, 0, "R2"), 0);
  EXPECT_EQ(a.text([&](char* o) { return defn_preprocessing_regexlib_name_get(ctx, K, 0, o); }), "R2");
  EXPECT_EQ(a.refs(kRsrcRegex, "R1") + a.refs(kRsrcRegex, "R2") + a.refs(kRsrcRegex, "R3"), 1u);
  EXPECT_EQ(defn_preprocessing_regexlib_name_get(ctx, K, 0, nullptr), TQ_ERR_ARGUMENT);
  EXPECT_EQ(defn_preprocessing_regexlib_name_set(ctx, K, 0, ""), 0);
  EXPECT_EQ(a.text([&](char* o) { return defn_preprocessing_regexlib_name_get(ctx, K, 0, o); }), "");

  // Chopper and postprocessing library: one slot each.
  using slot_set = int32_t (*)(context*, int32_t, int32_t, const char*);
  using slot_get = int32_t (*)(context*, int32_t, int32_t, char*);
  struct Slot {
    slot_get get;
    slot_set set;
    uint32_t rkind;
  };
  for (const Slot& s : {Slot{defn_chopper_name_get, defn_chopper_name_set, kRsrcChopper},
                        Slot{defn_postprocessing_regexlib_name_get, defn_postprocessing_regexlib_name_set,
                             kRsrcRegex}}) {
    g_dropped = 0;
    ASSERT_EQ(s.set(ctx, K, 0, "C1"), 0);
    EXPECT_EQ(s.set(ctx, K, 0, "C1"), 0);  // its current name: no reference taken
    EXPECT_EQ(a.refs(s.rkind, "C1"), 1u);
    EXPECT_EQ(s.set(ctx, K, 0, "Bad"), TQ_ERR_FILE_OPEN);
    EXPECT_EQ(a.text([&](char* o) { return s.get(ctx, K, 0, o); }), "C1");
    ASSERT_EQ(s.set(ctx, K, 0, "C2"), 0);
    EXPECT_EQ(a.refs(s.rkind, "C1"), 0u);
    EXPECT_EQ(s.set(ctx, K, 0, ""), 0);
    EXPECT_EQ(a.refs(s.rkind, "C2"), 0u);
    EXPECT_EQ(a.text([&](char* o) { return s.get(ctx, K, 0, o); }), "");
    EXPECT_EQ(g_dropped, 3);
  }
  EXPECT_EQ(ctx->write_holds, 0u);
}

// Every setter on an index that names no definition: -800, no resource
// opened, nothing dropped, no hold left.
TEST(DefnAccessors, SettersOnABadIndexChangeNothing) {
  Acc a;
  context* ctx = a.ctx();
  a.own(a.locale(29840, nullptr, {}), "D");
  using setter = int32_t (*)(context*);
  constexpr int32_t I = 3;
  const setter setters[] = {
      [](context* c) { return defn_name_set(c, K, I, "N"); },
      [](context* c) { return defn_deprecated_info_set(c, K, I, 1, "N"); },
      [](context* c) { return defn_comments_set(c, K, I, nullptr); },
      [](context* c) { return defn_preprocessing_regexlib_add(c, K, I, "N"); },
      [](context* c) { return defn_preprocessing_regexlib_name_set(c, K, I, "N"); },
      [](context* c) { return defn_preprocessing_regexlib_name_set_by_index(c, K, I, 0, "N"); },
      [](context* c) { return defn_preprocessing_regexlibs_delete_all(c, K, I); },
      [](context* c) { return defn_normalization_regexlib_add(c, K, I, "N"); },
      [](context* c) { return defn_normalization_regexlibs_delete_all(c, K, I); },
      [](context* c) { return defn_chopper_name_set(c, K, I, "N"); },
      [](context* c) { return defn_postprocessing_regexlib_name_set(c, K, I, "N"); },
      [](context* c) {
        int32_t at = 0;
        return defn_default_category_add(c, K, I, &at);
      },
      [](context* c) { return defn_default_category_info_set(c, K, I, 0, "N", 50); },
      [](context* c) { return defn_default_categories_delete_all(c, K, I); },
      [](context* c) { return defn_vocabulary_add(c, K, I, "N", 0); },
      [](context* c) { return defn_vocabulary_name_set(c, K, I, "N"); },
      [](context* c) { return defn_vocabulary_info_set_by_index(c, K, I, 0, "N", 0); },
      [](context* c) { return defn_fuzzy_vocab_lookup_params_set(c, K, I, 1, 60); },
      [](context* c) {
        int32_t t = 0;
        return defn_token_add(c, K, I, &t);
      },
      [](context* c) { return defn_token_delete(c, K, I, 0); },
      [](context* c) { return defn_token_name_set(c, K, I, 0, "N"); },
      [](context* c) { return defn_token_regexlib_add(c, K, I, 0, "N", 100, 50); },
      [](context* c) { return defn_token_stdz_scheme_add(c, K, I, 0, "N", 0, 0, 100, 50); },
      [](context* c) { return field_set(c, K, kDefnOwner, I, "N"); },
      [](context* c) { return field_set(c, K, kDefnAutomaticUppercasing, I, 0u); },
      [](context* c) { return field_set(c, K, kDefnTokenAutomaticUppercasing, 0, 0, 0u); },
  };
  for (size_t i = 0; i < std::size(setters); ++i) {
    EXPECT_EQ(setters[i](ctx), TQ_ERR_INDEX) << "setter " << i;
    EXPECT_EQ(ctx->write_holds, 0u) << "setter " << i;
  }
  for (uint32_t rkind : {kRsrcRegex, kRsrcScheme, kRsrcChopper, kRsrcVocab}) EXPECT_EQ(a.refs(rkind, "N"), 0u);
  EXPECT_EQ(g_dropped, 0);
}

TEST(DefnAccessors, DefaultCategories) {
  Acc a;
  context* ctx = a.ctx();
  defn_rec* rec = a.own(a.locale(29840, nullptr, {}), "D");
  int32_t at = -2;
  ASSERT_EQ(defn_default_category_add(ctx, K, 0, &at), 0);
  EXPECT_EQ(at, 0);
  uint32_t like = 0;
  EXPECT_EQ(a.text([&](char* o) { return defn_default_category_info_get(ctx, K, 0, 0, o, &like); }), "");
  EXPECT_EQ(like, 50u);
  // An entry not named yet is written (empty) and copied without crashing.
  xmldoc* doc = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Test Definition", "9.0", &doc), 0);
  EXPECT_EQ(default_category_list_write(ctx, &rec->default_categories, doc), 0);
  xml_free(ctx, doc);

  struct Set {
    const char* name;
    uint32_t likelihood;
    int32_t entry;
    int32_t rc;
  };
  for (const Set& s : {Set{"street", 9, 0, TQ_ERR_ARGUMENT}, Set{"street", 91, 0, TQ_ERR_ARGUMENT},
                       Set{"", 50, 0, TQ_ERR_ARGUMENT}, Set{"street", 50, 1, TQ_ERR_INDEX},
                       Set{"street", 10, 0, 0}, Set{"street", 90, 0, 0}}) {
    EXPECT_EQ(defn_default_category_info_set(ctx, K, 0, s.entry, s.name, s.likelihood), s.rc)
        << s.name << " " << s.likelihood;
  }
  EXPECT_EQ(a.text([&](char* o) { return defn_default_category_info_get(ctx, K, 0, 0, o, &like); }), "STREET");
  EXPECT_EQ(like, 90u);
  EXPECT_EQ(a.text([&](char* o) { return defn_default_category_info_get(ctx, K, 0, 1, o, &like); }), "rc -800");
  EXPECT_NE(a.bc.last_error().find("default category 1"), std::string::npos);
  EXPECT_EQ(defn_default_category_delete(ctx, K, 0, 1), TQ_ERR_INDEX);
  ASSERT_EQ(defn_default_category_add(ctx, K, 0, &at), 0);
  EXPECT_EQ(defn_default_category_delete(ctx, K, 0, 0), 0);
  uint32_t count = 9;
  EXPECT_EQ(defn_default_category_count_get(ctx, K, 0, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(defn_default_categories_delete_all(ctx, K, 0), 0);
  EXPECT_EQ(defn_default_category_count_get(ctx, K, 0, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(defn_default_category_count_get(ctx, K, 4, &count), TQ_ERR_INDEX);
  EXPECT_EQ(ctx->write_holds, 0u);
}

TEST(DefnAccessors, VocabulariesAndFuzzyParameters) {
  Acc a;
  context* ctx = a.ctx();
  defn_rec* rec = a.own(a.locale(29840, nullptr, {}), "D");
  for (const char* n : {"V1", "V2", "V3"}) ASSERT_EQ(defn_vocabulary_add(ctx, K, 0, n, 1), 0);
  EXPECT_EQ(defn_vocabulary_add(ctx, K, 0, "Bad", 0), TQ_ERR_FILE_OPEN);
  EXPECT_NE(a.bc.last_error().find("Bad"), std::string::npos);
  uint32_t stop = 9;
  EXPECT_EQ(a.text([&](char* o) { return defn_vocabulary_info_get_by_index(ctx, K, 0, 2, o, &stop); }), "V3");
  EXPECT_EQ(stop, 1u);
  EXPECT_EQ(defn_vocabulary_info_set_by_index(ctx, K, 0, 3, "V4", 0), TQ_ERR_INDEX);
  EXPECT_EQ(defn_vocabulary_info_set_by_index(ctx, K, 0, 2, "V3", 0), 0);  // only the stop flag
  EXPECT_EQ(rec->vocabularies[2].stop, 0);
  EXPECT_EQ(a.refs(kRsrcVocab, "V3"), 1u);

  // Fuzzy parameters: the threshold is kept only when enabling.
  uint32_t on = 9, threshold = 9;
  for (auto [set_on, set_th, got_on, got_th] : {std::tuple{1u, 60u, 1u, 60u}, {0u, 70u, 0u, 80u}, {1u, 75u, 1u, 75u}}) {
    ASSERT_EQ(defn_fuzzy_vocab_lookup_params_set_by_index(ctx, K, 0, 1, set_on, set_th), 0);
    EXPECT_EQ(defn_fuzzy_vocab_lookup_params_get_by_index(ctx, K, 0, 1, &on, &threshold), 0);
    EXPECT_EQ(on, got_on);
    EXPECT_EQ(threshold, got_th);
  }
  EXPECT_EQ(defn_fuzzy_vocab_lookup_params_get_by_index(ctx, K, 0, 3, &on, &threshold), TQ_ERR_INDEX);
  EXPECT_EQ(on, 0u);
  EXPECT_EQ(threshold, 80u);
  EXPECT_EQ(defn_fuzzy_vocab_lookup_params_get(ctx, K, 0, &on, &threshold), 0);

  // The single form leaves exactly one vocabulary.
  EXPECT_EQ(defn_vocabulary_name_set(ctx, K, 0, "V2"), 0);
  uint32_t count = 0;
  EXPECT_EQ(defn_vocabulary_count_get(ctx, K, 0, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(a.text([&](char* o) { return defn_vocabulary_name_get(ctx, K, 0, o); }), "V2");
  EXPECT_EQ(a.refs(kRsrcVocab, "V1") + a.refs(kRsrcVocab, "V2") + a.refs(kRsrcVocab, "V3"), 1u);
  EXPECT_EQ(defn_vocabulary_info_set_by_index(ctx, K, 0, 0, "", 0), 0);
  EXPECT_TRUE(rec->vocabularies.empty());
  EXPECT_EQ(defn_vocabularies_delete_all(ctx, K, 0), 0);
  EXPECT_EQ(ctx->write_holds, 0u);
}

TEST(DefnAccessors, Tokens) {
  Acc a;
  context* ctx = a.ctx();
  loaded_locale_rec* loc = a.locale(29840, nullptr, {});
  defn_rec* rec = a.own(loc, "D");
  int32_t dt = -1;
  ASSERT_EQ(dtype_add(ctx, &loc->datatypes, "Person", &dt), 0);
  for (const char* v : {"GIVEN", "MIDDLE", "FAMILY"}) {
    uint32_t t = 0;
    ASSERT_EQ(dtype_token_add(ctx, loc->datatypes.recs[dt], &t), 0);
    ASSERT_EQ(dtype_token_value_set(ctx, loc->datatypes.recs[dt], static_cast<int32_t>(t), v), 0);
  }
  rec->datatype = dt;
  g_dropped = 0;
  for (const char* n : {"GIVEN", "MIDDLE", "FAMILY"}) {
    int32_t t = -1;
    ASSERT_EQ(defn_token_add(ctx, K, 0, &t), 0);
    ASSERT_EQ(defn_token_name_set(ctx, K, 0, t, n), 0);
    ASSERT_EQ(defn_token_regexlib_add(ctx, K, 0, t, "R1", 100, 50), 0);
  }
  EXPECT_EQ(g_dropped, 9);
  EXPECT_EQ(defn_token_name_set(ctx, K, 0, 0, "NotInDatatype"), TQ_ERR_INVALID_CONTENT);
  EXPECT_EQ(defn_token_name_set(ctx, K, 0, 3, "GIVEN"), TQ_ERR_INDEX);
  EXPECT_EQ(a.refs(kRsrcRegex, "R1"), 3u);

  // Deleting the first: the later ones move down and keep their keys.
  ASSERT_EQ(defn_token_delete(ctx, K, 0, 0), 0);
  EXPECT_EQ(a.refs(kRsrcRegex, "R1"), 2u);
  int32_t key = -2;
  EXPECT_EQ(defn_token_key_get_by_name(ctx, K, 0, "family", &key), 0);
  EXPECT_EQ(key, 2);
  EXPECT_EQ(defn_token_key_get_by_name(ctx, K, 0, "GIVEN", &key), TQ_ERR_ARGUMENT);
  const int32_t swap[] = {1, 0};
  const int32_t twice[] = {0, 0};
  EXPECT_EQ(defn_token_rearrange(ctx, K, 0, twice), TQ_ERR_ARGUMENT);
  ASSERT_EQ(defn_token_rearrange(ctx, K, 0, swap), 0);
  char n0[kDtokNameOutSize], n1[kDtokNameOutSize];
  char* names[] = {n0, n1};
  uint32_t num = 0;
  ASSERT_EQ(defn_token_names_get(ctx, K, "d", names, &num), 0);
  ASSERT_EQ(num, 2u);
  EXPECT_STREQ(n0, "FAMILY");
  EXPECT_STREQ(n1, "MIDDLE");
  EXPECT_EQ(rec->tokens.items[0]->key, 2);
  EXPECT_EQ(a.text([&](char* o) { return defn_token_name_get(ctx, K, 0, 1, o); }), "MIDDLE");
  EXPECT_EQ(a.text([&](char* o) { return defn_token_name_get(ctx, K, 0, 2, o); }), "rc -800");
  uint32_t count = 9;
  EXPECT_EQ(defn_token_count_get(ctx, K, 0, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(defn_token_count_get(ctx, K, 7, &count), TQ_ERR_INDEX);
  EXPECT_EQ(count, 0u);

  // Token regex libraries and schemes on token 1.
  ASSERT_EQ(defn_token_regexlib_set(ctx, K, 0, 1, 0, "R2", 90, 60), 0);
  EXPECT_EQ(a.refs(kRsrcRegex, "R1"), 1u);
  EXPECT_EQ(defn_token_regexlib_name_set(ctx, K, 0, 1, 0, ""), TQ_ERR_ARGUMENT);
  EXPECT_EQ(defn_token_regexlib_name_set(ctx, K, 0, 1, 0, "R3"), 0);
  EXPECT_EQ(a.text([&](char* o) { return defn_token_regexlib_info_get(ctx, K, 0, 1, 0, o); }), "R3");
  EXPECT_EQ(rec->tokens.items[1]->regexlibs[0].low, 60);
  EXPECT_EQ(defn_token_regexlib_count_get(ctx, K, 0, 1, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(defn_token_regexlibs_delete_all(ctx, K, 0, 1), 0);
  EXPECT_EQ(a.refs(kRsrcRegex, "R3"), 0u);
  ASSERT_EQ(defn_token_stdz_scheme_add(ctx, K, 0, 1, "S1", kDtokSchemeElement, 0, 100, 50), 0);
  ASSERT_EQ(defn_token_stdz_scheme_info_set(ctx, K, 0, 1, 0, "S2", kDtokSchemeCaseInsensitive, -1, -1, 70), 0);
  uint32_t options = 9;
  EXPECT_EQ(a.text([&](char* o) { return defn_token_stdz_scheme_info_get(ctx, K, 0, 1, 0, o, &options); }), "S2");
  EXPECT_EQ(options, kDtokSchemeCaseInsensitive);
  EXPECT_EQ(rec->tokens.items[1]->schemes[0].low, 70);
  EXPECT_EQ(rec->tokens.items[1]->schemes[0].high, 100);
  EXPECT_EQ(defn_token_stdz_scheme_count_get(ctx, K, 0, 1, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(defn_token_stdz_schemes_delete_all(ctx, K, 0, 1), 0);
  EXPECT_EQ(a.refs(kRsrcScheme, "S2"), 0u);
  EXPECT_EQ(defn_token_stdz_scheme_add(ctx, K, 0, 5, "S1", 0, 0, 100, 50), TQ_ERR_INDEX);

  // The token's automatic uppercasing through its descriptor drops the
  // definition's prepared state.
  g_dropped = 0;
  EXPECT_EQ(field_set(ctx, K, kDefnTokenAutomaticUppercasing, 0, 1, 0u), 0);
  EXPECT_EQ(rec->tokens.items[1]->automatic_uppercasing, 0);
  EXPECT_EQ(g_dropped, 1);
  EXPECT_EQ(field_set(ctx, K, kDefnTokenAutomaticUppercasing, 0, 2, 0u), TQ_ERR_INDEX);
  uint32_t upper = 0;
  EXPECT_EQ(field_get(ctx, K, kDefnTokenAutomaticUppercasing, 0, 2, &upper), TQ_ERR_INDEX);
  EXPECT_EQ(upper, 1u);
  EXPECT_EQ(g_dropped, 1);

  // A kind's own token setter: changed under the hold, dropped at the end.
  dtok_rec* tok = nullptr;
  defn_rec* owner = nullptr;
  write_hold held;
  ASSERT_EQ(defn_token_get_for_write(ctx, K, 0, 0, &tok, &owner, &held), 0);
  EXPECT_EQ(owner, rec);
  EXPECT_EQ(ctx->write_holds, 1u);
  EXPECT_EQ(defn_token_write_end(ctx, owner, true, held), 0);
  EXPECT_EQ(g_dropped, 2);
  EXPECT_EQ(defn_token_get_for_write(ctx, K, 0, 9, &tok, &owner, &held), TQ_ERR_INDEX);
  EXPECT_FALSE(held.held());
  EXPECT_EQ(ctx->write_holds, 0u);
}

}  // namespace

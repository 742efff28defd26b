// The field tables and the definition-kind table, driven with a test kind:
// its records, store and kind operations are made here, and its accessors
// are export rows through the real frame.
#include <cstring>
#include <string>
#include <vector>

#include "api/krapi_frame.h"
#include "core/krcorvel.h"
#include "core/krstr.h"
#include "kbstore/krfield.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"
#include "support/tq_test.h"

namespace {

using namespace tq;

struct test_rec {
  int32_t live;
  char name[9];  // 8 bytes: cuts show
  char owner[33];
  char tag[9];   // UTF-8 on both sides
  char version[18];
  int32_t count;
  int32_t enabled;
  uint32_t bits;
  int32_t prepared;
};

// The test store: records by index; a record unloaded or never made is -800.
// A found record comes with g_lookup_rc (a store's own warning).
std::vector<test_rec> g_recs;
int32_t g_lookup_rc = 0;

int32_t lookup(context*, const field_addr& a, void** rec) {
  // Each record holds one inner record, item 0, which is itself.
  if (a.item > 0) return -800;
  if (a.index < 0 || a.index >= static_cast<int32_t>(g_recs.size()) || !g_recs[a.index].live) return -800;
  *rec = &g_recs[static_cast<size_t>(a.index)];
  return g_lookup_rc;
}
void invalidate(context*, void* rec, uint32_t what) {
  if (what & kFieldDropsPrepared) static_cast<test_rec*>(rec)->prepared = 0;
}
int32_t version_raise(context* ctx, void* rec, const char* version) {
  auto* r = static_cast<test_rec*>(rec);
  uint32_t not_newer = 0;
  if (r->version[0] != '\0' && kbstore_version_compare(ctx, version, r->version, &not_newer) == 0 && not_newer) return 0;
  str_copy_bounded(r->version, version, sizeof r->version);
  return 0;
}
constexpr record_store kStore{lookup, invalidate, version_raise};

constexpr field_desc kName = text_field<&test_rec::name>("name", &kStore, kFieldConvert).drops(kFieldDropsPrepared);
constexpr field_desc kOwner = text_field<&test_rec::owner>("owner", &kStore, kFieldConvert | kFieldTrim).raises("9.0");
constexpr field_desc kTag = text_field<&test_rec::tag>("tag", &kStore, 0);
constexpr field_desc kCount = i32_field<&test_rec::count>("count", &kStore).out(-1).fails_as(-708);
constexpr field_desc kEnabled = flag_field<&test_rec::enabled>("enabled", &kStore);
constexpr field_desc kBits = u32_field<&test_rec::bits>("bits", &kStore);
constexpr field_desc kBitsFlag = flag_field<&test_rec::bits>("bits", &kStore);
constexpr field_desc kInfoCount = i32_field<&test_rec::count>("count", nullptr);
constexpr field_desc kCountAt{.name = "count", .store = &kStore, .type = field_type::i32,
                              .at = [](void* r) -> void* { return &static_cast<test_rec*>(r)->count; }};

// The test kind's operations, in the entry of a kind not built yet.
constexpr int32_t kTestKind = kDefnLocaleGuess;
test_rec* as_test(defn_rec* rec) { return reinterpret_cast<test_rec*>(rec); }
defn_rec* as_defn(test_rec* rec) { return reinterpret_cast<defn_rec*>(rec); }
int32_t test_type_matches(context*, const char* name) { return std::strcmp(name, "Testorithm") == 0; }
int32_t test_init(context*, defn_rec* rec) {
  *as_test(rec) = test_rec{};
  as_test(rec)->live = 1;
  as_test(rec)->count = 3;
  as_test(rec)->bits = 1;
  as_test(rec)->prepared = 1;
  return 0;
}
int32_t test_copy(context*, const defn_rec* src, defn_rec* dst) {
  std::memcpy(static_cast<void*>(dst), static_cast<const void*>(src), sizeof(test_rec));
  return 0;
}
constexpr defn_kind_ops kTestOps{.type_matches = test_type_matches, .init = test_init, .copy = test_copy};

// Fills the test kind's entry and a store of `n` records made through it.
struct TestKind {
  explicit TestKind(tq_context* ctx, int n = 2) {
    defn_kind_ops_set(kTestKind, &kTestOps);
    g_recs.assign(static_cast<size_t>(n), test_rec{});
    for (test_rec& r : g_recs) EXPECT_EQ(defn_kind_call<&defn_kind_ops::init>(ctx, kTestKind, as_defn(&r)), 0);
  }
  ~TestKind() {
    g_lookup_rc = 0;
    defn_kind_ops_set(kTestKind, nullptr);
    g_recs.clear();
  }
};

}  // namespace

// The accessors as export rows, one line each: the rows bind the kind and
// the field (bound constants are named in namespace tq).
namespace tq {
inline constexpr int32_t kTestKindRow = ::kTestKind;
inline constexpr const field_desc& kTestOwnerRow = ::kOwner;
}  // namespace tq
TQ_FN_DEFINE(tq_test_kind_owner_get, READ, ANY, field_get, kTestKindRow, kTestOwnerRow, (int32_t, index), (char*, owner, NONNULL))
TQ_FN_DEFINE(tq_test_kind_owner_set, READ, NEEDS_EDIT, field_set, kTestKindRow, kTestOwnerRow, (int32_t, index),
             (const char*, owner, NONNULL))

namespace {

using tq_test::Context;

std::string get_text(tq_context* ctx, const field_desc& f, int32_t index, int32_t* rc) {
  char out[64];
  std::memset(out, 'x', sizeof out);
  *rc = field_get(ctx, kTestKind, f, index, out);
  return out;
}

constexpr int32_t kLatin1 = 0;
constexpr int32_t kUtf8 = 13;

// Text in and out of both sessions: conversion, trimming, a text filling its
// field whole, one longer refused with the field as it was, the raw field
// untouched.
TEST(FieldTable, TextConvertsTrimsAndCutsOnCharacters) {
  struct Case {
    int32_t session;
    const field_desc* field;
    const char* in;
    const char* stored;  // UTF-8
    const char* out;     // in the session
  };
  const Case cases[] = {
      {kLatin1, &kOwner, "  caf\xe9 ", "caf\xc3\xa9", "caf\xe9"},
      {kUtf8, &kOwner, "\tcaf\xc3\xa9  ", "caf\xc3\xa9", "caf\xc3\xa9"},
      {kLatin1, &kName, "\xe9\xe9\xe9\xe9", "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", "\xe9\xe9\xe9\xe9"},
      {kUtf8, &kName, "a\xc3\xa9\xc3\xa9\xc3\xa9", "a\xc3\xa9\xc3\xa9\xc3\xa9", "a\xc3\xa9\xc3\xa9\xc3\xa9"},
      {kLatin1, &kTag, "caf\xc3\xa9", "caf\xc3\xa9", "caf\xc3\xa9"},
      {kLatin1, &kName, "", "", ""},
  };
  Context ctx;
  TestKind kind(ctx);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field->name) + " <- " + c.in);
    ctx.get()->session_encoding = c.session;
    EXPECT_EQ(field_set(ctx, kTestKind, *c.field, 1, c.in), 0);
    EXPECT_STREQ(static_cast<const char*>(c.field->at(&g_recs[1])), c.stored);
    int32_t rc = 0;
    EXPECT_EQ(get_text(ctx, *c.field, 1, &rc), c.out);
    EXPECT_EQ(rc, 0);
  }
  // Five é are 10 bytes in UTF-8; "a" and four é 9: neither fits in 8.
  EXPECT_EQ(field_set(ctx, kTestKind, kName, 1, "ab"), 0);
  ctx.get()->session_encoding = kLatin1;
  EXPECT_EQ(field_set(ctx, kTestKind, kName, 1, "\xe9\xe9\xe9\xe9\xe9"), -802);
  ctx.get()->session_encoding = kUtf8;
  EXPECT_EQ(field_set(ctx, kTestKind, kName, 1, "a\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"), -802);
  EXPECT_STREQ(static_cast<const char*>(kName.at(&g_recs[1])), "ab");
  EXPECT_EQ(ctx.get()->write_holds, 0u);
}

// A character that cannot be converted: strict conversion refuses it and
// nothing changes (no version raised, nothing dropped); with warnings it is
// replaced and the set or get gives 116.
TEST(FieldTable, UnconvertibleCharacters) {
  Context ctx;
  TestKind kind(ctx);
  tq_context* c = ctx.get();
  test_rec& r = g_recs[0];
  str_copy_bounded(r.name, "old", sizeof r.name);
  str_copy_bounded(r.owner, "old", sizeof r.owner);
  c->session_encoding = kUtf8;
  c->options |= kOptStrictConversion;
  EXPECT_EQ(field_set(c, kTestKind, kName, 0, "a\xff"), -10000);
  EXPECT_EQ(field_set(c, kTestKind, kOwner, 0, "a\xff"), -10000);
  // The text is converted before the record is looked up.
  EXPECT_EQ(field_set(c, kTestKind, kOwner, 7, "a\xff"), -10000);
  EXPECT_STREQ(r.name, "old");
  EXPECT_STREQ(r.owner, "old");
  EXPECT_STREQ(r.version, "");
  EXPECT_EQ(r.prepared, 1);
  c->options = (c->options & ~kOptStrictConversion) | kOptWarnReplaced;
  EXPECT_EQ(field_set(c, kTestKind, kName, 0, "a\xff"), 116);
  EXPECT_STRNE(r.name, "old");
  EXPECT_EQ(r.prepared, 0);

  // Out to Latin-1: the Greek letter has no place there.
  str_copy_bounded(r.name, "a\xce\xa9", sizeof r.name);
  c->session_encoding = kLatin1;
  int32_t rc = 0;
  EXPECT_EQ(get_text(c, kName, 0, &rc), "a?");
  EXPECT_EQ(rc, 116);
  c->options = (c->options & ~kOptWarnReplaced) | kOptStrictConversion;
  EXPECT_EQ(get_text(c, kName, 0, &rc), "");
  EXPECT_EQ(rc, -10000);

  // With a warning of the store's own: a failure wins over it, and it comes
  // before a later warning.
  g_lookup_rc = 117;
  EXPECT_EQ(get_text(c, kName, 0, &rc), "");
  EXPECT_EQ(rc, -10000);
  EXPECT_EQ(field_set(c, kTestKind, kOwner, 0, "caf\xe9"), 117);
  c->options = (c->options & ~kOptStrictConversion) | kOptWarnReplaced;
  EXPECT_EQ(get_text(c, kName, 0, &rc), "a?");
  EXPECT_EQ(rc, 117);
  EXPECT_EQ(c->write_holds, 0u);
}

TEST(FieldTable, NumbersFlagsAndTypeChecks) {
  Context ctx;
  TestKind kind(ctx);
  int32_t i = 0;
  uint32_t u = 0;
  EXPECT_EQ(field_set(ctx, kTestKind, kCount, 0, -5), 0);
  EXPECT_EQ(field_get(ctx, kTestKind, kCount, 0, &i), 0);
  EXPECT_EQ(i, -5);
  EXPECT_EQ(field_set(ctx, kTestKind, kEnabled, 0, 7), 0);
  EXPECT_EQ(field_get(ctx, kTestKind, kEnabled, 0, &i), 0);
  EXPECT_EQ(i, 1);
  EXPECT_EQ(field_set(ctx, kTestKind, kBits, 0, 0x80000009u), 0);
  EXPECT_EQ(field_get(ctx, kTestKind, kBits, 0, &u), 0);
  EXPECT_EQ(u, 0x80000009u);
  // A flag kept in a uint32_t: set and read as one.
  EXPECT_EQ(field_set(ctx, kTestKind, kBitsFlag, 1, 7u), 0);
  EXPECT_EQ(field_get(ctx, kTestKind, kBitsFlag, 1, &u), 0);
  EXPECT_EQ(u, 1u);
  // Being 0 or 1, it is set and read through an int32_t as well.
  EXPECT_EQ(field_set(ctx, kTestKind, kBitsFlag, 1, 0), 0);
  EXPECT_EQ(field_get(ctx, kTestKind, kBitsFlag, 1, &i), 0);
  EXPECT_EQ(i, 0);
  // A call whose value does not fit the field's type changes nothing.
  EXPECT_EQ(field_set(ctx, kTestKind, kBits, 0, 1), -802);
  EXPECT_EQ(field_set(ctx, kTestKind, kCount, 0, "7"), -802);
  EXPECT_EQ(field_get(ctx, kTestKind, kCount, 0, &u), -802);
  EXPECT_EQ(g_recs[0].bits, 0x80000009u);
  EXPECT_EQ(g_recs[0].count, -5);
  // An info object: read where the caller holds it.
  EXPECT_EQ(field_get(ctx, kInfoCount, &g_recs[0], &i), 0);
  EXPECT_EQ(i, -5);
  EXPECT_EQ(field_get(ctx, kInfoCount, nullptr, &i), -802);
  // A field reached by its own `at`, addressed as an inner record.
  EXPECT_EQ(field_set(ctx, kTestKind, kCountAt, 0, 0, 6), 0);
  EXPECT_EQ(field_get(ctx, kTestKind, kCountAt, 0, 0, &i), 0);
  EXPECT_EQ(i, 6);
  EXPECT_EQ(field_set(ctx, kTestKind, kCountAt, 0, 1, 7), -800);
  EXPECT_EQ(field_get(ctx, kTestKind, kCountAt, 0, 1, &i), -800);
  EXPECT_EQ(g_recs[0].count, 6);
}

// A set drops what its field makes stale and raises the version its field
// names; other sets leave both alone.
TEST(FieldTable, SetsInvalidateAndRaiseVersion) {
  Context ctx;
  TestKind kind(ctx, 3);
  struct Case {
    const char* before;
    const char* after;
  };
  const Case versions[] = {{"", "9.0"}, {"7.0", "9.0"}, {"9.0", "9.0"}, {"9.1", "9.1"}};
  for (const Case& v : versions) {
    str_copy_bounded(g_recs[2].version, v.before, sizeof g_recs[2].version);
    EXPECT_EQ(field_set(ctx, kTestKind, kOwner, 2, "me"), 0);
    EXPECT_STREQ(g_recs[2].version, v.after) << v.before;
  }
  EXPECT_EQ(g_recs[2].prepared, 1);
  EXPECT_EQ(field_set(ctx, kTestKind, kCount, 2, 4), 0);
  EXPECT_EQ(g_recs[2].prepared, 1);
  EXPECT_EQ(field_set(ctx, kTestKind, kName, 2, "n"), 0);
  EXPECT_EQ(g_recs[2].prepared, 0);
  EXPECT_STREQ(g_recs[1].version, "");
  EXPECT_EQ(g_recs[1].prepared, 1);
}

// An index that names no record, or one that was unloaded since: -800 (or
// the field's own failure code), outputs cleared, the hold given back.
TEST(FieldTable, StaleIndex) {
  Context ctx;
  TestKind kind(ctx);
  g_recs[1].live = 0;
  for (int32_t index : {-1, 1, 2}) {
    SCOPED_TRACE(index);
    int32_t rc = 0;
    EXPECT_EQ(get_text(ctx, kOwner, index, &rc), "");
    EXPECT_EQ(rc, -800);
    int32_t count = 99;
    EXPECT_EQ(field_get(ctx, kTestKind, kCount, index, &count), -708);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(field_set(ctx, kTestKind, kOwner, index, "x"), -800);
    EXPECT_EQ(field_set(ctx, kTestKind, kBits, index, 2u), -800);
    EXPECT_EQ(ctx.get()->write_holds, 0u);
  }
  EXPECT_STREQ(g_recs[1].owner, "");
}

// Through the frame: the setter row needs edit mode, the getter row takes any
// context.
TEST(FieldTable, RowsKeepTheirEditRule) {
  for (bool edit : {false, true}) {
    SCOPED_TRACE(edit);
    Context ctx(nullptr, edit);
    TestKind kind(ctx);
    EXPECT_EQ(tq_test_kind_owner_set(ctx, 0, "Ann"), edit ? 0 : -501);
    char out[40] = "x";
    EXPECT_EQ(tq_test_kind_owner_get(ctx, 0, out), 0);
    EXPECT_STREQ(out, edit ? "Ann" : "");
    EXPECT_EQ(tq_test_kind_owner_set(ctx, 5, "Ann"), edit ? -800 : -501);
    EXPECT_EQ(ctx.get()->write_holds + ctx.get()->read_holds, 0u);
  }
}

// The kind table: a filled entry is reached through the dispatch; hooks the
// kind leaves NULL do nothing; a kind not built, or no kind, is refused.
TEST(KindTable, DispatchByKindNumber) {
  Context ctx;
  // Every kind the engine builds names its root type and has a type test;
  // the others are absent.
  int32_t unbuilt = 11;
  for (int32_t k = kDefnKindCount; k >= 1; --k) {
    const defn_kind_ops* ops = defn_kind_ops_get(k);
    if (ops == nullptr) {
      if (k != kTestKind) unbuilt = k;
      continue;
    }
    EXPECT_NE(ops->root_type, nullptr) << k;
    EXPECT_NE(ops->type_matches, nullptr) << k;
  }
  EXPECT_NE(defn_kind_ops_get(kDefnParse), nullptr);
  TestKind kind(ctx, 1);
  test_rec copy{};
  EXPECT_EQ(defn_kind_call<&defn_kind_ops::copy>(ctx.get(), kTestKind, static_cast<const defn_rec*>(as_defn(&g_recs[0])),
                                                 as_defn(&copy)),
            0);
  EXPECT_EQ(copy.count, 3);
  EXPECT_EQ(defn_kind_call<&defn_kind_ops::validate>(ctx.get(), kTestKind, as_defn(&copy)), 0);
  EXPECT_EQ(defn_kind_type_matches(ctx, kTestKind, "Testorithm"), 1);
  EXPECT_EQ(defn_kind_type_matches(ctx, kTestKind, nullptr), 0);
  EXPECT_EQ(defn_kind_type_matches(ctx, kDefnParse, "Rivoruzeduv"), 0);
  EXPECT_STREQ(defn_kind_name(kTestKind), "Locale Guess");
  for (int32_t k : {0, unbuilt, 11}) {
    EXPECT_EQ(defn_kind_call<&defn_kind_ops::init>(ctx.get(), k, as_defn(&copy)), -802);
    EXPECT_EQ(std::string(ctx.get()->errors.last->text),
              "Definition kind " + std::to_string(k) + " is not known to this engine.");
  }
}

}  // namespace

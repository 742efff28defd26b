// The resource registry with a test resource kind.
#include <cstring>
#include <memory>
#include <string>

#include "core/krcorvel.h"
#include "core/krerr.h"
#include "core/krfio.h"
#include "core/krzel.h"
#include "kbstore/krlib.h"
#include "kbstore/krshared.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using tq_test::BareContext;

struct Counters {
  int loads = 0;
  int frees = 0;
  int fail_loads = 0;  // how many loads fail before one succeeds
};

int32_t test_load(context*, resource_slot* slot, lock_handle*, uintptr_t arg) {
  auto* c = reinterpret_cast<Counters*>(arg);
  c->loads++;
  if (c->fail_loads > 0) {
    c->fail_loads--;
    return -300;
  }
  slot->part = c;
  return 0;
}

int32_t test_free(context*, resource_slot* slot, uintptr_t arg) {
  reinterpret_cast<Counters*>(arg)->frees++;
  slot->part = nullptr;
  return 0;
}

rsrc_callbacks callbacks(Counters* c) {
  rsrc_callbacks cb{};
  cb.load = test_load;
  cb.free = test_free;
  cb.arg = reinterpret_cast<uintptr_t>(c);
  return cb;
}

TEST(Registry, RegisterSharesBySameStemAndNeedsTheFile) {
  tq_test::TempDir dir;
  dir.write("addr.zel", "x");
  dir.write("words.zev", "x");
  Counters c;  // before the context, whose teardown calls back into it
  BareContext bc(dir.str());
  rsrc_callbacks cb = callbacks(&c);
  int32_t a = -5, b = -5;
  EXPECT_EQ(rsrc_register(bc.get(), kRsrcGrammar, "addr", &cb, &a), 0);
  EXPECT_EQ(rsrc_register(bc.get(), kRsrcGrammar, "addr.zel", &cb, &b), 100);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 0);
  resource_slot* slot = nullptr;
  ASSERT_EQ(rsrc_slot_get_used(bc.get(), kRsrcGrammar, 0, &slot), 0);
  EXPECT_EQ(slot->refs, 2u);
  EXPECT_EQ(slot->state, static_cast<uint32_t>(kRsrcRegistered));
  EXPECT_STREQ(slot->name, "addr");
  // A vocabulary needs its compiled vault; other kinds a document vault.
  EXPECT_EQ(rsrc_register(bc.get(), kRsrcVocab, "addr", &cb, &a), -400);
  EXPECT_EQ(a, -1);
  EXPECT_EQ(bc.ctx.errors.count, 1u);
  // The text names where the file was looked for.
  EXPECT_EQ(std::string(bc.ctx.errors.recs[0].text).rfind("The file 'addr' was not found along the search path '" + dir.str(), 0), 0u)
      << bc.ctx.errors.recs[0].text;
  // A path is used as it is, never looked for along the search path.
  const std::string path = dir.str() + "/sub/addr";
  EXPECT_EQ(rsrc_register(bc.get(), kRsrcVocab, path.c_str(), &cb, &a), -400);
  ASSERT_EQ(bc.ctx.errors.count, 2u);
  EXPECT_EQ(std::string(bc.ctx.errors.recs[1].text),
            "The path '" + path + "' was not found: a name holding a folder is used as it is, never looked for "
            "along the search path.");
  EXPECT_EQ(rsrc_register(bc.get(), kRsrcVocab, "words", &cb, &a), 0);
  EXPECT_EQ(rsrc_register(bc.get(), kRsrcScheme, "words", &cb, &a), -400);
  EXPECT_EQ(rsrc_register(bc.get(), 7, "words", &cb, &a), -802);
  EXPECT_EQ(rsrc_register(bc.get(), 0, "words", &cb, &a), -802);
  EXPECT_EQ(bc.ctx.read_holds + bc.ctx.write_holds, 0u);
}

TEST(Registry, LoadOnFirstUseRetriesAfterFailureAndFreesAtLastRelease) {
  tq_test::TempDir dir;
  dir.write("addr.zel", "x");
  Counters c;  // before the context, whose teardown calls back into it
  BareContext bc(dir.str());
  c.fail_loads = 1;
  rsrc_callbacks cb = callbacks(&c);
  int32_t index = -1;
  ASSERT_EQ(rsrc_register(bc.get(), kRsrcRegex, "addr", &cb, &index), 0);
  resource_slot* slot = nullptr;
  EXPECT_EQ(rsrc_slot_get_loaded(bc.get(), kRsrcRegex, index, 0, &slot), -300);
  EXPECT_EQ(slot, nullptr);
  ASSERT_EQ(rsrc_slot_get_used(bc.get(), kRsrcRegex, index, &slot), 0);
  EXPECT_EQ(slot->state, static_cast<uint32_t>(kRsrcRegistered));
  EXPECT_EQ(slot->refs, 1u);
  EXPECT_EQ(rsrc_slot_get_loaded(bc.get(), kRsrcRegex, index, 0, &slot), 0);
  EXPECT_EQ(slot->state, static_cast<uint32_t>(kRsrcLoaded));
  EXPECT_EQ(c.loads, 2);
  // Loaded once: later gets do not load again.
  EXPECT_EQ(rsrc_slot_get_loaded(bc.get(), kRsrcRegex, index, 1, &slot), 0);
  EXPECT_EQ(bc.ctx.write_holds, 1u);
  EXPECT_EQ(rsrc_unlock(bc.get(), slot, 1), 0);
  EXPECT_EQ(bc.ctx.write_holds, 0u);
  EXPECT_EQ(c.loads, 2);
  EXPECT_EQ(rsrc_addref(bc.get(), kRsrcRegex, index), 0);
  EXPECT_EQ(rsrc_release(bc.get(), slot), 0);
  EXPECT_EQ(c.frees, 0);
  EXPECT_EQ(rsrc_release(bc.get(), slot), 0);
  EXPECT_EQ(c.frees, 1);
  EXPECT_EQ(slot->state, static_cast<uint32_t>(kRsrcFree));
  // A stale index now gives -800 and the free slot is not found by name.
  EXPECT_EQ(rsrc_slot_get_loaded(bc.get(), kRsrcRegex, index, 0, &slot), -800);
  EXPECT_EQ(rsrc_addref(bc.get(), kRsrcRegex, index), -800);
  int32_t found = 0;
  EXPECT_EQ(rsrc_find_by_name(bc.get(), kRsrcRegex, "addr", &found), -404);
  EXPECT_EQ(found, -1);
  EXPECT_EQ(rsrc_slot_get_loaded(bc.get(), kRsrcRegex, 99, 1, &slot), -800);
  EXPECT_EQ(bc.ctx.write_holds, 0u);
}

// A copy of a record shares each reference it holds; an entry whose
// resource never opened is copied as unbound, not refused.
TEST(Registry, RefSharesAndEmptyCopiesEmpty) {
  tq_test::TempDir dir;
  Counters c;  // before the context, whose teardown calls back into it
  BareContext bc(dir.str());
  rsrc_callbacks cb = callbacks(&c);
  int32_t index = -1;
  ASSERT_EQ(rsrc_slot_create(bc.get(), kRsrcRegex, "mine", 0, &cb, &index), 0);
  rsrc_ref held = rsrc_ref::adopt(kRsrcRegex, index);
  rsrc_ref empty, from_empty, copy;
  EXPECT_EQ(empty.share(bc.get(), &from_empty), 0);
  EXPECT_FALSE(from_empty.held());
  ASSERT_EQ(held.share(bc.get(), &copy), 0);
  EXPECT_EQ(copy.index(), index);
  EXPECT_EQ(held.share(bc.get(), &copy), -802);  // into a held ref: nothing lost
  EXPECT_EQ(empty.share(bc.get(), &copy), -802);
  resource_slot* slot = nullptr;
  ASSERT_EQ(rsrc_slot_get_used(bc.get(), kRsrcRegex, index, &slot), 0);
  EXPECT_EQ(slot->refs, 2u);
  EXPECT_EQ(copy.release(bc.get()), 0);
  EXPECT_EQ(held.release(bc.get()), 0);
  EXPECT_EQ(c.frees, 1);
  EXPECT_EQ(held.share(bc.get(), &copy), 0);  // released: empty again
  EXPECT_EQ(bc.ctx.write_holds, 0u);
}

// A client's loads are counted apart from the references definitions hold:
// its unloads give back only those, and a definition's release never takes
// one (however often it is called).
TEST(Registry, ClientLoadsAreCountedApartFromDefinitionReferences) {
  tq_test::TempDir dir;
  dir.write("addr.zel", "x");
  Counters c;  // before the context, whose teardown calls back into it
  BareContext bc(dir.str());
  context* ctx = bc.get();
  rsrc_callbacks cb = callbacks(&c);
  const auto client_load = [&](const char* name, int32_t* index) {
    return rsrc_client_load(ctx, kRsrcRegex, index, [&] { return rsrc_register(ctx, kRsrcRegex, name, &cb, index); });
  };
  int32_t defn = -1;
  int32_t mine = -1;
  ASSERT_EQ(rsrc_register(ctx, kRsrcRegex, "addr", &cb, &defn), 0);
  EXPECT_EQ(client_load("addr", &mine), TQ_WARN_ALREADY_REGISTERED);
  EXPECT_EQ(mine, defn);
  resource_slot* slot = nullptr;
  ASSERT_EQ(rsrc_slot_get_used(ctx, kRsrcRegex, mine, &slot), 0);
  EXPECT_EQ(slot->refs, 2u);
  EXPECT_EQ(slot->client_loads.total, 1u);
  EXPECT_EQ(sharer_loads_of(&slot->client_loads, ctx), 1u);
  EXPECT_EQ(rsrc_client_unload(ctx, kRsrcRegex, mine), 0);
  EXPECT_EQ(rsrc_client_unload(ctx, kRsrcRegex, mine), -800);
  ASSERT_GE(bc.ctx.errors.count, 1u);
  EXPECT_STREQ(bc.ctx.errors.recs[bc.ctx.errors.count - 1].text,
               "Regex 'addr' (index 0) holds no client load of this context: the unload is refused and the resource stays as it is.");
  EXPECT_EQ(slot->refs, 1u);
  // Loaded again; the definition's reference goes, and a release too many
  // finds only the client's load, which it leaves.
  EXPECT_EQ(client_load("addr", &mine), TQ_WARN_ALREADY_REGISTERED);
  EXPECT_EQ(rsrc_unref(ctx, kRsrcRegex, defn), 0);
  EXPECT_EQ(rsrc_unref(ctx, kRsrcRegex, defn), 0);
  EXPECT_EQ(slot->refs, 1u);
  EXPECT_EQ(slot->state, static_cast<uint32_t>(kRsrcRegistered));
  EXPECT_EQ(rsrc_client_unload(ctx, kRsrcRegex, mine), 0);
  EXPECT_EQ(slot->state, static_cast<uint32_t>(kRsrcFree));
  // A slot registered into the freed one starts with no client load; a
  // failed load hands out no index and counts nothing.
  ASSERT_EQ(rsrc_register(ctx, kRsrcRegex, "addr", &cb, &defn), 0);
  EXPECT_EQ(defn, mine);
  EXPECT_EQ(rsrc_client_unload(ctx, kRsrcRegex, defn), -800);
  EXPECT_EQ(client_load("missing", &mine), -400);
  EXPECT_EQ(mine, -1);
  EXPECT_EQ(slot->client_loads.total, 0u);
  EXPECT_EQ(bc.ctx.write_holds, 0u);
}

TEST(Registry, RegisteredNeverLoadedIsReleasedWithoutFree) {
  tq_test::TempDir dir;
  // A scheme's file is "<name>.sch" in the vault form.
  dir.write("addr.sch.zel", "x");
  Counters c;  // before the context, whose teardown calls back into it
  BareContext bc(dir.str());
  rsrc_callbacks cb = callbacks(&c);
  int32_t index = -1;
  ASSERT_EQ(rsrc_register(bc.get(), kRsrcScheme, "addr", &cb, &index), 0);
  EXPECT_EQ(rsrc_unref(bc.get(), kRsrcScheme, index), 0);
  EXPECT_EQ(c.frees, 0);
  EXPECT_EQ(c.loads, 0);
  // The freed slot is reused by the next registration.
  ASSERT_EQ(rsrc_register(bc.get(), kRsrcScheme, "addr", &cb, &index), 0);
  EXPECT_EQ(index, 0);
}

TEST(Registry, OptionLoadsAtRegistration) {
  tq_test::TempDir dir;
  dir.write("addr.zel", "x");
  Counters c;  // before the context, whose teardown calls back into it
  BareContext bc(dir.str());
  bc.ctx.options |= kOptPrepareOnRead;
  c.fail_loads = 1;
  rsrc_callbacks cb = callbacks(&c);
  int32_t index = -1;
  EXPECT_EQ(rsrc_register(bc.get(), kRsrcPhonetx, "addr", &cb, &index), -300);
  // The registrant still owns its reference to the registered slot.
  EXPECT_EQ(index, 0);
  resource_slot* slot = nullptr;
  ASSERT_EQ(rsrc_slot_get_used(bc.get(), kRsrcPhonetx, index, &slot), 0);
  EXPECT_EQ(slot->state, static_cast<uint32_t>(kRsrcRegistered));
  int32_t second = -1;
  EXPECT_EQ(rsrc_register(bc.get(), kRsrcPhonetx, "addr", &cb, &second), 100);
  dir.write("other.zel", "x");
  EXPECT_EQ(rsrc_register(bc.get(), kRsrcPhonetx, "other", &cb, &second), 0);
  EXPECT_EQ(c.loads, 2);
}

TEST(Registry, CreatedSlotsRenameAndOwners) {
  tq_test::TempDir dir;
  Counters c;  // before the context, whose teardown calls back into it
  BareContext bc(dir.str());
  rsrc_callbacks cb = callbacks(&c);
  int32_t a = -1, b = -1;
  ASSERT_EQ(rsrc_slot_create(bc.get(), kRsrcChopper, "mine", 0, &cb, &a), 0);
  EXPECT_EQ(rsrc_slot_create(bc.get(), kRsrcChopper, "mine.zel", 0, &cb, &b), -407);
  ASSERT_EQ(rsrc_slot_create(bc.get(), kRsrcChopper, "mine", 1, &cb, &b), 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(rsrc_rename(bc.get(), kRsrcChopper, b, "mine"), -407);
  EXPECT_EQ(rsrc_rename(bc.get(), kRsrcChopper, b, "yours"), 0);
  EXPECT_EQ(rsrc_rename(bc.get(), kRsrcChopper, b, nullptr), -802);
  int32_t found = -1;
  EXPECT_EQ(rsrc_find_by_name(bc.get(), kRsrcChopper, "yours.zel", &found), 0);
  EXPECT_EQ(found, b);
  EXPECT_EQ(rsrc_owner_set(bc.get(), kRsrcChopper, a, "Team \xC3\xA9", 0), 0);
  char owner[330];
  EXPECT_EQ(rsrc_owner_get(bc.get(), kRsrcChopper, a, 0, owner), 0);
  EXPECT_STREQ(owner, "Team \xC3\xA9");
  // Taken as UTF-8, a byte that is not UTF-8 is refused: no file could hold it.
  EXPECT_EQ(rsrc_owner_set(bc.get(), kRsrcChopper, a, "Team \xE9", 0), -802);
  EXPECT_EQ(rsrc_owner_get(bc.get(), kRsrcChopper, a, 0, owner), 0);
  EXPECT_STREQ(owner, "Team \xC3\xA9");
  // Converted from the session encoding (ISO-8859-1) into UTF-8.
  EXPECT_EQ(rsrc_owner_set(bc.get(), kRsrcChopper, a, "Team \xE9", 1), 0);
  resource_slot* slot = nullptr;
  ASSERT_EQ(rsrc_slot_get_used(bc.get(), kRsrcChopper, a, &slot), 0);
  EXPECT_STREQ(slot->owner, "Team \xC3\xA9");
  EXPECT_STREQ(rsrc_kind_name_get(kRsrcVocab), "Vocab");
  EXPECT_STREQ(rsrc_kind_name_get(9), "");
  // Created slots are freed through their kind at the last release of the
  // shared state.
}

TEST(Registry, VersionComparison) {
  uint32_t f = 9;
  EXPECT_EQ(kbstore_version_compare(nullptr, "9.0", "9.0", &f), 0);
  EXPECT_EQ(f, 1u);
  kbstore_version_compare(nullptr, "9.01", "9.0", &f);
  EXPECT_EQ(f, 0u);
  kbstore_version_compare(nullptr, "9", "9.00", &f);
  EXPECT_EQ(f, 1u);
  kbstore_version_compare(nullptr, "10.0", "9.9", &f);
  EXPECT_EQ(f, 0u);
  kbstore_version_compare(nullptr, "8.99", "9.0", &f);
  EXPECT_EQ(f, 1u);
  kbstore_version_check_engine(nullptr, "9.1", &f);
  EXPECT_EQ(f, 0u);
  kbstore_version_check_engine(nullptr, "7.0", &f);
  EXPECT_EQ(f, 1u);
}

}  // namespace

// Only the extension a kind's files carry is cut when names are compared.
TEST(Registry, NamesKeepDotsOtherThanTheirKindsExtension) {
  struct Case {
    uint32_t kind;
    const char* a;
    const char* b;
    bool same;
  };
  const Case cases[] = {
      {kRsrcRegex, "Addr.v1", "Addr.v2", false},   {kRsrcRegex, "Addr.v1", "Addr.v1.zel", true},
      {kRsrcRegex, "Addr", "Addr.krd", true},       {kRsrcRegex, "Addr", "Addr.zev", false},
      {kRsrcChopper, "a.b", "a", false},            {kRsrcScheme, "t", "t.sch", true},
      {kRsrcScheme, "t", "t.sch.zel", true},        {kRsrcScheme, "t.x", "t.y", false},
      {kRsrcVocab, "words", "words.zev", true},     {kRsrcVocab, "words", "words.krv", true},
      {kRsrcVocab, "words", "words.zel", false},    {kRsrcPhonetx, ".zel", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rsrc_same_name(c.kind, c.a, c.b), c.same) << c.kind << " " << c.a << " / " << c.b;
    EXPECT_EQ(rsrc_same_name(c.kind, c.b, c.a), c.same) << c.kind << " " << c.b << " / " << c.a;
  }
}

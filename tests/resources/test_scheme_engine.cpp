// The scheme engine from inside: pools, ordering and groups, duplicate
// removal, text ownership through preparation, keys from match codes (with
// a stand-in for the matching component), lookups in groups, application
// options and the registry's sameness tests.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "core/krvec.h"
#include "kbstore/krlib.h"
#include "resources/krchop.h"
#include "resources/krchpr.h"
#include "resources/krsch.h"
#include "support/alloc_counter.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using tq_test::BareContext;

struct Engine {
  BareContext bc;
  context* ctx() { return &bc.ctx; }
};

// A scheme record owned by the test.
struct Rec {
  context* ctx;
  scheme_rec* rec = scheme_rec_new();
  explicit Rec(context* c, uint32_t flags, const std::vector<std::pair<std::string, std::string>>& entries) : ctx(c) {
    rec->flags = flags;
    for (const auto& [d, s] : entries) EXPECT_EQ(scheme_entry_append_copy(rec, d.c_str(), s.c_str()), 0);
  }
  ~Rec() { scheme_rec_delete(ctx, rec); }
  std::string data(uint32_t i) const { return rec->entries[i].data; }
  std::string standard(uint32_t i) const { return rec->entries[i].standard; }
  uint32_t group(uint32_t i) const { return rec->entries[i].group; }
};

struct Applied {
  int32_t rc;
  std::vector<std::string> outputs;
  int32_t found;
};

Applied apply(context* ctx, const scheme_rec* rec, const char* value, uint32_t nout = 1, uint32_t rechop = 0,
              int64_t override_flags = kSchemeOwnFlags) {
  std::vector<std::vector<char>> space(nout, std::vector<char>(128, 'x'));
  std::vector<char*> ptrs;
  for (auto& s : space) ptrs.push_back(s.data());
  uint32_t n = 0;
  Applied a{};
  a.rc = scheme_apply(ctx, rec, value, nout, 128, rechop, 0, ptrs.data(), &n, &a.found, override_flags);
  for (uint32_t i = 0; i < n; ++i) a.outputs.emplace_back(space[i].data());
  return a;
}

TEST(SchemeEngine, PoolBlocksComeInPagesAndGoBackInOrder) {
  scheme_pool pool;
  scheme_pool_init(nullptr, &pool);
  EXPECT_EQ(scheme_pool_block_return(&pool), -802);
  std::vector<char*> blocks;
  for (int i = 0; i < 33; ++i) {
    void* b = nullptr;
    ASSERT_EQ(scheme_pool_block_take(&pool, &b), 0);
    auto* bytes = static_cast<char*>(b);
    for (uint32_t k = 0; k < kSchemePoolBlockSize; ++k) ASSERT_EQ(bytes[k], 0);
    std::memset(bytes, 0x5A, kSchemePoolBlockSize);
    blocks.push_back(bytes);
  }
  EXPECT_EQ(pool.page_count, 2u);
  EXPECT_EQ(pool.in_use, 33u);
  // A block holds 32 pointer slots, whatever the pointer size.
  EXPECT_EQ(kSchemePoolBlockSize, 32 * sizeof(void*));
  EXPECT_EQ(scheme_pool_block_return(&pool), 0);
  void* again = nullptr;
  ASSERT_EQ(scheme_pool_block_take(&pool, &again), 0);
  EXPECT_EQ(again, blocks.back());
  EXPECT_EQ(static_cast<char*>(again)[0], 0);  // zeroed when taken again
  scheme_pool_free(nullptr, &pool);
  EXPECT_EQ(pool.pages, nullptr);
}

TEST(SchemeEngine, TextsComeFromChunksKeptForTheNextApplication) {
  scheme_text_arena arena{};
  char* a = nullptr;
  char* b = nullptr;
  char* c = nullptr;
  scheme_text_mark ma{}, mb{}, mc{};
  ASSERT_EQ(scheme_text_take(&arena, 100, &a, &ma), 0);
  // Larger than a chunk: a chunk of its own, after the one in use.
  ASSERT_EQ(scheme_text_take(&arena, 200000, &b, &mb), 0);
  EXPECT_EQ(arena.count, 2u);
  ASSERT_EQ(scheme_text_take(&arena, 10, &c, &mc), 0);
  EXPECT_EQ(arena.count, 3u);
  std::memset(a, 1, 100);
  std::memset(b, 2, 200000);
  std::memset(c, 3, 10);
  scheme_text_give_back(&arena, mc);
  scheme_text_give_back(&arena, mb);
  // Given back in order, the same room serves again without new chunks.
  char* again = nullptr;
  ASSERT_EQ(scheme_text_take(&arena, 150000, &again, &mb), 0);
  EXPECT_EQ(again, b);
  scheme_text_give_back(&arena, mb);
  scheme_text_give_back(&arena, ma);
  ASSERT_EQ(scheme_text_take(&arena, 100, &again, &ma), 0);
  EXPECT_EQ(again, a);
  EXPECT_EQ(arena.count, 3u);
  for (uint32_t i = 0; i < arena.count; ++i) big_block_free(arena.chunks[i].data);
  std::free(arena.chunks);
}

TEST(SchemeEngine, PhraseApplicationsAllocateNothingOnceWarm) {
  Engine e;
  Rec r(e.ctx(), kSchemeCaseInsensitive | kSchemeDuplicates, {{"ST", "STREET"}, {"ST", "SAINT"}, {"RD", "ROAD"}});
  ASSERT_EQ(scheme_prepare(e.ctx(), r.rec), 0);
  EXPECT_EQ(apply(e.ctx(), r.rec, "st", 2).outputs, (std::vector<std::string>{"STREET", "SAINT"}));
  char a[128], b[128];
  char* outs[2] = {a, b};
  uint32_t n = 0;
  int32_t found = 0;
  const char* standard = nullptr;
  tq_test::AllocCounter counter;
  if (!counter.available) GTEST_SKIP() << "allocations are counted in sanitizer builds only";
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(scheme_apply(e.ctx(), r.rec, "st", 2, 128, 0, 0, outs, &n, &found, kSchemeOwnFlags), 0);
    EXPECT_EQ(scheme_apply(e.ctx(), r.rec, "nothing", 2, 128, 0, 0, outs, &n, &found, kSchemeOwnFlags), 0);
    EXPECT_EQ(scheme_standard_get_by_data(e.ctx(), r.rec, "rd", &standard), 1);
  }
  EXPECT_EQ(counter.allocations(), 0);
  EXPECT_STREQ(standard, "ROAD");
}

TEST(SchemeEngine, SortGroupsAndDuplicates) {
  Engine e;
  Rec r(e.ctx(), 0, {{"C", "1"}, {"A", "2"}, {"C", "3"}, {"B", "4"}, {"A", "5"}, {"C", "6"}});
  scheme_sort(r.rec, 0);
  EXPECT_EQ(r.rec->sorted, 1u);
  std::vector<std::string> order;
  for (uint32_t i = 0; i < r.rec->count; ++i) order.push_back(r.data(i) + r.standard(i));
  // Equal data keep the order they were added in.
  EXPECT_EQ(order, (std::vector<std::string>{"A2", "A5", "B4", "C1", "C3", "C6"}));
  scheme_groups_number(r.rec, 0);
  std::vector<uint32_t> groups;
  for (uint32_t i = 0; i < r.rec->count; ++i) groups.push_back(r.group(i));
  EXPECT_EQ(groups, (std::vector<uint32_t>{1, 1, 0, 2, 2, 2}));
  EXPECT_EQ(scheme_search_data(r.rec, "B"), 2);
  EXPECT_EQ(scheme_search_data(r.rec, "C"), 3);  // the first of equals
  EXPECT_EQ(scheme_search_data(r.rec, "D"), -1);

  EXPECT_EQ(scheme_duplicates_remove(r.rec, 0), 3u);
  ASSERT_EQ(r.rec->count, 3u);
  EXPECT_EQ(r.standard(0), "5");
  EXPECT_EQ(r.standard(2), "6");
  EXPECT_EQ(r.group(0), 0u);

  // Case-insensitive: equal data are duplicates only with equal standards,
  // wherever they were added.
  Rec ci(e.ctx(), kSchemeCaseInsensitive, {{"A", "X"}, {"A", "Y"}, {"A", "X"}, {"A", "Y"}, {"A", "Z"}});
  EXPECT_EQ(scheme_duplicates_remove(ci.rec, 0), 2u);
  EXPECT_EQ(ci.rec->count, 3u);
}

TEST(SchemeEngine, UppercasingNeverWritesPastTheText) {
  Engine e;
  // Texts in one block, as a scheme loaded for use keeps them.
  Rec r(e.ctx(), kSchemeCaseInsensitive, {});
  static const char kBlock[] = "\xC5\x89\0after\0abc\0ABC-STD";
  r.rec->text_block = static_cast<char*>(std::malloc(sizeof kBlock));
  std::memcpy(r.rec->text_block, kBlock, sizeof kBlock);
  r.rec->text_size = sizeof kBlock;
  ASSERT_EQ(scheme_entries_reserve(r.rec, 2), 0);
  r.rec->entries[0] = scheme_entry{r.rec->text_block, r.rec->text_block + 3, nullptr, 0, 0};
  r.rec->entries[1] = scheme_entry{r.rec->text_block + 9, r.rec->text_block + 13, nullptr, 0, 0};
  r.rec->count = 2;
  ASSERT_EQ(scheme_prepare(e.ctx(), r.rec), 0);
  // "abc" -> "ABC" fits in place; "ŉ" -> "ʼN" is longer and is stored apart.
  ASSERT_EQ(r.rec->count, 2u);
  EXPECT_EQ(r.data(0), "ABC");
  EXPECT_EQ(r.rec->entries[0].owned, 0u);
  EXPECT_EQ(r.data(1), "\xCA\xBCN");
  EXPECT_EQ(r.rec->entries[1].owned, kSchemeOwnData);
  EXPECT_EQ(r.standard(1), "after");
  EXPECT_EQ(r.standard(0), "ABC-STD");
  const char* standard = nullptr;
  EXPECT_EQ(scheme_standard_get_by_data(e.ctx(), r.rec, "\xC5\x89", &standard), 1);
  EXPECT_STREQ(standard, "after");
  EXPECT_EQ(scheme_standard_get_by_data(e.ctx(), r.rec, "Abc", nullptr), 1);
  EXPECT_EQ(scheme_standard_get_by_data(e.ctx(), r.rec, "abd", nullptr), 0);
}

TEST(SchemeEngine, ApplyArgumentsAndOverride) {
  Engine e;
  Rec r(e.ctx(), 0, {{"ST", "STREET"}, {"B A", "X"}});
  ASSERT_EQ(scheme_prepare(e.ctx(), r.rec), 0);
  char buf[8] = "zzzzzzz";
  char* one[1] = {buf};
  uint32_t n = 9;
  int32_t found = 9;
  EXPECT_EQ(scheme_apply(e.ctx(), r.rec, "ST", 0, 8, 0, 0, one, &n, &found), -802);
  EXPECT_EQ(scheme_apply(e.ctx(), r.rec, "ST", 1, 0, 0, 0, one, &n, &found), -802);
  char* none[1] = {nullptr};
  EXPECT_EQ(scheme_apply(e.ctx(), r.rec, "ST", 1, 8, 0, 0, none, &n, &found), -802);
  EXPECT_EQ(scheme_apply(e.ctx(), r.rec, nullptr, 1, 8, 0, 0, one, &n, &found), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(n, 0u);

  // An element application of a phrase scheme, for this call only, with
  // lower-case output; the scheme itself is not changed.
  Applied a = apply(e.ctx(), r.rec, "main st", 1, 0, kSchemeElement | kSchemeOutLower);
  EXPECT_EQ(a.outputs, (std::vector<std::string>{"main st"}));
  a = apply(e.ctx(), r.rec, "MAIN ST", 1, 0, kSchemeElement | kSchemeOutLower);
  EXPECT_EQ(a.outputs, (std::vector<std::string>{"MAIN street"}));
  EXPECT_EQ(a.found, 1);
  EXPECT_EQ(r.rec->flags, 0u);
  a = apply(e.ctx(), r.rec, "MAIN ST");
  EXPECT_EQ(a.outputs, (std::vector<std::string>{"MAIN ST"}));
  EXPECT_EQ(a.found, 0);

  // Re-chopping puts the output's words in byte order.
  a = apply(e.ctx(), r.rec, "D C", 1, 1);
  EXPECT_EQ(a.outputs, (std::vector<std::string>{"C D"}));

  r.rec->flags |= kSchemeEditState;
  EXPECT_EQ(apply(e.ctx(), r.rec, "ST").rc, -500);
}

TEST(SchemeEngine, ManyOutputsOfAnElementScheme) {
  Engine e;
  // Three runs of two standards each: eight combinations.
  Rec r(e.ctx(), kSchemeElement | kSchemeDuplicates,
        {{"A", "a1"}, {"A", "a2"}, {"B", "b1"}, {"B", "b2"}, {"C", "c1"}, {"C", "c2"}});
  ASSERT_EQ(scheme_prepare(e.ctx(), r.rec), 0);
  Applied a = apply(e.ctx(), r.rec, "A B C", 32);
  ASSERT_EQ(a.rc, 0);
  ASSERT_EQ(a.outputs.size(), 8u);
  EXPECT_EQ(a.outputs.front(), "a1 b1 c1");
  EXPECT_EQ(a.outputs[1], "a1 b1 c2");
  EXPECT_EQ(a.outputs.back(), "a2 b2 c2");
  EXPECT_EQ(a.found, 3);
  a = apply(e.ctx(), r.rec, "A B C", 5);
  EXPECT_EQ(a.outputs.size(), 5u);
  // More buffers than 32 are not used.
  a = apply(e.ctx(), r.rec, "A B C", 40);
  EXPECT_EQ(a.outputs.size(), 8u);
}

// A stand-in for the matching component: the match code of a text is its
// first letter uppercased, or "?" for the text "fail!", which fails.
int32_t g_usable = 0;
int32_t fake_index(context*, const char* name, int32_t* index) {
  *index = std::strcmp(name, "Name") == 0 ? 3 : -1;
  return *index >= 0 ? 0 : -801;
}
int32_t fake_usable(context*, int32_t index) { return index == 3 ? g_usable : -704; }
int32_t fake_name(context*, int32_t, char* out, uint32_t size) {
  std::snprintf(out, size, "Name");
  return 0;
}
int32_t fake_code(context*, int32_t, const uint32_t* sens, uint32_t count, const char* text, uint32_t, char** codes,
                  void*) {
  if (count != 1 || *sens != 85) return -802;
  if (std::strcmp(text, "fail!") == 0) return -300;
  codes[0][0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  codes[0][1] = '\0';
  return 0;
}
const scheme_match_ops kFakeOps{fake_index, fake_usable, fake_name, fake_code};

struct FakeMatching {
  FakeMatching() {
    g_usable = 0;
    scheme_match_ops_set(&kFakeOps);
  }
  ~FakeMatching() { scheme_match_ops_set(nullptr); }
};

TEST(SchemeEngine, KeysFromMatchCodes) {
  Engine e;
  FakeMatching matching;
  Rec r(e.ctx(), kSchemeMatchKeyed,
        {{"Smith", "SMITH"}, {"Jones", "JONES"}, {"Smyth", "SMYTH"}, {"Schmidt", "SCHMIDT"}, {"Smith", "SMITH"}});
  r.rec->mdefn = 3;
  r.rec->sens = 85;
  ASSERT_EQ(scheme_prepare(e.ctx(), r.rec), 0);
  // Sorted by key; the repeated Smith removed; the S group numbered.
  ASSERT_EQ(r.rec->count, 4u);
  EXPECT_STREQ(r.rec->entries[0].key, "J");
  EXPECT_EQ(r.group(0), 0u);
  EXPECT_EQ(r.group(1), 1u);
  EXPECT_EQ(r.group(3), 1u);
  // A value finds its group by its code; the entry is chosen by its data,
  // then without regard to case, then by the likeness of the standard.
  EXPECT_EQ(apply(e.ctx(), r.rec, "Smyth").outputs, (std::vector<std::string>{"SMYTH"}));
  EXPECT_EQ(apply(e.ctx(), r.rec, "SCHMIDT").outputs, (std::vector<std::string>{"SCHMIDT"}));
  EXPECT_EQ(apply(e.ctx(), r.rec, "smithe").outputs, (std::vector<std::string>{"SMITH"}));
  EXPECT_EQ(apply(e.ctx(), r.rec, "jonas").outputs, (std::vector<std::string>{"JONES"}));
  Applied miss = apply(e.ctx(), r.rec, "Brown");
  EXPECT_EQ(miss.outputs, (std::vector<std::string>{"Brown"}));
  EXPECT_EQ(miss.found, 0);
  EXPECT_EQ(apply(e.ctx(), r.rec, "fail!").rc, -300);
  // Codes are computed under the locale the keys were built with; one that
  // is no longer loaded is a failure that names it, and the current locale
  // stays.
  r.rec->key_locale = 29840;
  EXPECT_EQ(apply(e.ctx(), r.rec, "Smyth").rc, TQ_ERR_NO_LOCALE);
  EXPECT_NE(e.bc.last_error().find("match definition of locale 29840 builds"), std::string::npos) << e.bc.last_error();
  EXPECT_EQ(e.bc.ctx.current_locale_code, 0);
  r.rec->key_locale = 0;
  // Looked up by data, not by key.
  EXPECT_EQ(scheme_standard_get_by_data(e.ctx(), r.rec, "Schmidt", nullptr), 1);
  EXPECT_EQ(scheme_standard_get_by_data(e.ctx(), r.rec, "Sch", nullptr), 0);

  // A match definition that cannot be used stops the preparation.
  g_usable = -704;
  Rec bad(e.ctx(), kSchemeMatchKeyed, {{"A", "B"}});
  bad.rec->mdefn = 3;
  bad.rec->sens = 85;
  EXPECT_EQ(scheme_prepare(e.ctx(), bad.rec), -704);
  EXPECT_NE(e.bc.last_error().find("match definition"), std::string::npos);
  g_usable = 0;
  Rec failing(e.ctx(), kSchemeMatchKeyed, {{"fail!", "B"}});
  failing.rec->mdefn = 3;
  failing.rec->sens = 85;
  EXPECT_EQ(scheme_prepare(e.ctx(), failing.rec), -300);
}

TEST(SchemeEngine, WithoutMatchingKeyedSchemesAreRefused) {
  Engine e;
  scheme_match_ops_set(nullptr);
  Rec r(e.ctx(), kSchemeMatchKeyed, {{"A", "B"}});
  r.rec->mdefn = 0;
  EXPECT_EQ(scheme_prepare(e.ctx(), r.rec), -705);
  EXPECT_EQ(r.rec->entries[0].key, nullptr);
}

TEST(SchemeEngine, RegistrySamenessTests) {
  Engine e;
  resource_slot slot{};
  std::strcpy(slot.name, "streets");
  scheme_options stored{2 | 0x100, -1, 0};
  slot.cb.arg = reinterpret_cast<uintptr_t>(&stored);
  int32_t same = -1;
  scheme_options wanted = stored;
  EXPECT_EQ(scheme_rsrc_same_registered(e.ctx(), &slot, "streets.sch", reinterpret_cast<uintptr_t>(&wanted), &same), 0);
  EXPECT_EQ(same, 1);
  wanted.sens = 1;
  scheme_rsrc_same_registered(e.ctx(), &slot, "streets", reinterpret_cast<uintptr_t>(&wanted), &same);
  EXPECT_EQ(same, 0);
  scheme_rsrc_same_registered(e.ctx(), &slot, "roads", reinterpret_cast<uintptr_t>(&stored), &same);
  EXPECT_EQ(same, 0);

  Rec r(e.ctx(), 2 | 0x100, {});
  slot.part = r.rec;
  wanted = scheme_options{2 | 0x100, -1, 0};
  scheme_rsrc_same_loaded(e.ctx(), &slot, "streets", reinterpret_cast<uintptr_t>(&wanted), &same);
  EXPECT_EQ(same, 1);
  wanted.flags = 2;  // not loaded through tq_transf_scheme_load
  scheme_rsrc_same_loaded(e.ctx(), &slot, "streets", reinterpret_cast<uintptr_t>(&wanted), &same);
  EXPECT_EQ(same, 0);
  wanted.flags = -1;  // options from the file: only a scheme marked with the top bit
  scheme_rsrc_same_loaded(e.ctx(), &slot, "streets", reinterpret_cast<uintptr_t>(&wanted), &same);
  EXPECT_EQ(same, 0);
  r.rec->flags = 2 | 0x100 | kSchemeMatchKeyed;
  r.rec->mdefn = 4;
  r.rec->sens = 80;
  r.rec->key_locale = 0;
  wanted = scheme_options{static_cast<int32_t>(r.rec->flags), 4, 80};
  scheme_rsrc_same_loaded(e.ctx(), &slot, "streets", reinterpret_cast<uintptr_t>(&wanted), &same);
  EXPECT_EQ(same, 1);
  e.bc.ctx.current_locale_code = 29840;  // keys built under another locale
  scheme_rsrc_same_loaded(e.ctx(), &slot, "streets", reinterpret_cast<uintptr_t>(&wanted), &same);
  EXPECT_EQ(same, 0);
  e.bc.ctx.current_locale_code = 0;
  slot.part = nullptr;
}

TEST(SchemeEngine, SchemeFileNames) {
  char out[32];
  ASSERT_EQ(rsrc_scheme_file_name("abc", out, sizeof out), 0);
  EXPECT_STREQ(out, "abc.sch");
  ASSERT_EQ(rsrc_scheme_file_name("a.sch", out, sizeof out), 0);
  EXPECT_STREQ(out, "a.sch");
  ASSERT_EQ(rsrc_scheme_file_name("t.sch.zel", out, sizeof out), 0);
  EXPECT_STREQ(out, "t.sch.zel");
  ASSERT_EQ(rsrc_scheme_file_name(".sch", out, sizeof out), 0);
  EXPECT_STREQ(out, ".sch.sch");
  EXPECT_EQ(rsrc_scheme_file_name("abcdefgh", out, 13), 0);
  EXPECT_EQ(rsrc_scheme_file_name("abcdefgh", out, 12), -1);
}

}  // namespace

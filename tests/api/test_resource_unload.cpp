// Client loads of resources are counted apart from the references that
// definitions hold, and per context: N loads by a context need N unloads by
// it while it is open, and by any context once it has closed; an unload by
// a context that holds no load of the slot, where no closed context left
// one, is refused and changes nothing; a locale's unload never frees what a
// client still holds.
#include <atomic>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/locale_taken.h"
#include "support/tq_test.h"
#include "support/watchdog.h"
#include "tq.h"

namespace {

using tq_test::Context;

constexpr int32_t kEnUsa = 29840;  // the sample's English (USA), child of English
constexpr uint32_t kAllParts = 0xFFEu;
constexpr const char* kRefused = "holds no client load";

// Every resource kind a client loads by name and unloads by index, each
// with a resource of the sample that English's definitions name. A scheme
// loaded through tq_transf_scheme_load is a slot of its own, never the one
// a definition holds.
struct Kind {
  const char* what;
  const char* name;
  bool held_by_locale;
  int32_t (*load)(tq_context*, const char*, int32_t*);
  int32_t (*unload)(tq_context*, int32_t);
  int32_t (*owner_get)(tq_context*, int32_t, char*);  // a call on the index
};

const Kind kKinds[] = {
    {"chopper", "en_name", true, tq_chopper_load, tq_chopper_unload, tq_chopper_owner_get},
    {"grammar", "en_person", true, tq_grammar_load, tq_grammar_unload, tq_grammar_owner_get},
    {"phonetx", "en_name_sound", true, tq_phonetx_load, tq_phonetx_unload, tq_phonetx_owner_get},
    {"regexlib", "en_name_case_fix", true,
     [](tq_context* c, const char* n, int32_t* i) { return tq_regexlib_load(c, n, nullptr, i); }, tq_regexlib_unload,
     tq_regexlib_owner_get},
    {"regexlib_ex", "en_initial", true,
     [](tq_context* c, const char* n, int32_t* i) { return tq_regexlib_load_no_compile(c, n, nullptr, i); },
     tq_regexlib_unload_ex, tq_regexlib_owner_get},
    {"scheme", "en_name_case", false,
     [](tq_context* c, const char* n, int32_t* i) { return tq_transf_scheme_load(c, n, 0, -1, 0, i); },
     tq_transf_scheme_unload, tq_scheme_owner_get},
    {"vocabulary", "en_person", true,
     [](tq_context* c, const char* n, int32_t* i) { return tq_vocabulary_load(c, n, nullptr, i); },
     tq_vocabulary_unload, tq_vocab_owner_get},
};

int32_t probe(const Kind& k, tq_context* ctx, int32_t index) {
  char owner[400] = "";
  return k.owner_get(ctx, index, owner);
}

// Per kind: a clone's second unload of its one load is refused (recorded)
// and takes nothing from the definitions; another context's unload of the
// clone's next load is refused too, and the clone's own still counts. A load
// the clone holds outlives the locale whose definitions held the resource
// too, and its unload then frees it; the clone's stale index then gives
// back nothing of what another context loads into the freed slot.
TEST(ResourceUnload, EveryKindCountsClientLoads) {
  Context base(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_zel_locale_load(base, kEnUsa, kAllParts), 0) << tq_test::error_list_text(base);
  tq_context* clone = nullptr;
  ASSERT_EQ(tq_clone(base, &clone), 0);
  std::vector<int32_t> held;
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(k.what);
    int32_t index = -1;
    ASSERT_EQ(k.load(clone, k.name, &index), 0) << tq_test::error_list_text(clone);
    EXPECT_EQ(k.unload(clone, index), 0);
    const int32_t left = k.held_by_locale ? 0 : TQ_ERR_INDEX;
    EXPECT_EQ(probe(k, base, index), left);
    EXPECT_EQ(k.unload(clone, index), TQ_ERR_INDEX);
    if (k.held_by_locale) {
      EXPECT_NE(tq_test::error_list_text(clone).find(kRefused), std::string::npos);
    }
    EXPECT_EQ(probe(k, base, index), left) << tq_test::error_list_text(base);
    // Counted again from where it was: one load, one unload, one load held,
    // which only the clone gives back.
    int32_t again = -1;
    ASSERT_EQ(k.load(clone, k.name, &again), 0);
    if (k.held_by_locale) {
      EXPECT_EQ(again, index);
    }
    EXPECT_EQ(k.unload(base, again), TQ_ERR_INDEX);
    EXPECT_NE(tq_test::error_list_text(base).find(kRefused), std::string::npos);
    EXPECT_EQ(probe(k, clone, again), 0) << tq_test::error_list_text(clone);  // read while the locale is there
    held.push_back(again);
  }
  // The locale goes; what the clone holds stays until its own unload.
  ASSERT_EQ(tq_zel_locale_unload(base, kEnUsa), 0);
  for (size_t i = 0; i < held.size(); ++i) {
    SCOPED_TRACE(kKinds[i].what);
    EXPECT_EQ(probe(kKinds[i], clone, held[i]), 0) << tq_test::error_list_text(clone);
  }
  uint32_t rules = 0;
  EXPECT_EQ(tq_regexlib_rule_count_get(clone, held[3], &rules), 0);  // kKinds[3]: the regex library
  EXPECT_GT(rules, 0u);
  for (size_t i = 0; i < held.size(); ++i) EXPECT_EQ(kKinds[i].unload(clone, held[i]), 0) << kKinds[i].what;
  for (size_t i = 0; i < held.size(); ++i) {
    const Kind& k = kKinds[i];
    SCOPED_TRACE(k.what);
    EXPECT_EQ(probe(k, clone, held[i]), TQ_ERR_INDEX);
    EXPECT_EQ(k.unload(clone, held[i]), TQ_ERR_INDEX);
    // Freed and reused: the base's load of the slot is not the clone's.
    int32_t stale = -1;
    int32_t mine = -1;
    ASSERT_EQ(k.load(clone, k.name, &stale), 0);
    EXPECT_EQ(k.unload(clone, stale), 0);
    ASSERT_EQ(k.load(base, k.name, &mine), 0);
    EXPECT_EQ(mine, stale);
    EXPECT_EQ(k.unload(clone, stale), TQ_ERR_INDEX);
    EXPECT_EQ(probe(k, base, mine), 0) << tq_test::error_list_text(base);
    EXPECT_EQ(k.unload(base, mine), 0);
  }
  EXPECT_EQ(tq_close(clone), 0);
}

// A context whose current locale other contexts gave back loads every kind
// by name and reads it on first use, again and again, as a context without
// a current locale does: a resource is read from its own file and prepared
// with the locale code the context keeps, never with the loaded locale (but
// a scheme keyed by match codes, whose match definition is the locale's:
// Scheme.KeyedSchemesNeedTheLocaleOfTheirMatchDefinition).
TEST(ResourceUnload, EveryKindIsReadWhileTheCurrentLocaleIsTakenByAnother) {
  for (const tq_test::Taken how : {tq_test::Taken::ByAClone, tq_test::Taken::LeftByAClosedClone}) {
    SCOPED_TRACE(static_cast<int>(how));
    Context base(TQ_SAMPLE_KB);
    ASSERT_EQ(tq_zel_locale_load(base, kEnUsa, kAllParts), 0) << tq_test::error_list_text(base);
    ASSERT_EQ(tq_locale_set(base, kEnUsa), 0);
    tq_test::current_locale_taken(base, kEnUsa, kAllParts, how);
    if (::testing::Test::HasFatalFailure()) return;
    for (const Kind& k : kKinds) {
      SCOPED_TRACE(k.what);
      int32_t index = -1;
      ASSERT_EQ(k.load(base, k.name, &index), 0) << tq_test::error_list_text(base);
      for (int use = 0; use < 2; ++use) EXPECT_EQ(probe(k, base, index), 0) << tq_test::error_list_text(base);
      EXPECT_EQ(k.unload(base, index), 0);
    }
  }
}

// Per kind: the loads of a clone that closed pass to the contexts that
// stay, and the base, which holds none of its own, gives them back; an open
// clone's load stays its own. Loads left when the last context closes go
// with it.
TEST(ResourceUnload, ClosedClonesLoadsAreGivenBackByTheOthers) {
  Context base(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_zel_locale_load(base, kEnUsa, kAllParts), 0) << tq_test::error_list_text(base);
  std::vector<int32_t> kept;
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(k.what);
    tq_context* leaver = nullptr;
    tq_context* holder = nullptr;
    ASSERT_EQ(tq_clone(base, &leaver), 0);
    ASSERT_EQ(tq_clone(base, &holder), 0);
    int32_t left[2] = {-1, -1};
    for (int32_t& index : left) ASSERT_EQ(k.load(leaver, k.name, &index), 0) << tq_test::error_list_text(leaver);
    int32_t own = -1;
    ASSERT_EQ(k.load(holder, k.name, &own), 0);
    ASSERT_EQ(tq_close(leaver), 0);
    for (int32_t index : left) EXPECT_EQ(k.unload(base, index), 0) << tq_test::error_list_text(base);
    // Nothing left by the closed clone, and the holder's load is not the base's.
    EXPECT_EQ(k.unload(base, own), TQ_ERR_INDEX);
    EXPECT_NE(tq_test::error_list_text(base).find(kRefused), std::string::npos);
    EXPECT_EQ(probe(k, holder, own), 0) << tq_test::error_list_text(holder);
    EXPECT_EQ(k.unload(holder, own), 0);
    EXPECT_EQ(probe(k, base, own), k.held_by_locale ? 0 : TQ_ERR_INDEX);
    // One more load left behind, for the last close to free.
    kept.push_back(-1);
    ASSERT_EQ(k.load(holder, k.name, &kept.back()), 0);
    EXPECT_EQ(tq_close(holder), 0);
  }
  // English (USA) goes with its unload; what the clones left stays.
  ASSERT_EQ(tq_zel_locale_unload(base, kEnUsa), 0);
  for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(probe(kKinds[i], base, kept[i]), 0) << kKinds[i].what;
}

// What the case definition "Name" cases with: its scheme, then the regex
// library en_name_case_fix (the Mc and O' forms).
const char* const kCased[][2] = {{"sean o'brien", "Sean O'Brien"}, {"DOUGLAS MACARTHUR", "Douglas MacArthur"}};

int32_t propercase_differs(tq_context* ctx) {
  for (const auto& v : kCased) {
    char out[1028] = "";
    const int32_t rc = tq_propercase(ctx, "Name", v[0], out, 1024);
    if (rc != 0) return rc;
    if (std::string(out) != v[1]) return 1;
  }
  return 0;
}

// A clone's extra unload of the case definition's library takes nothing
// from the definition: every context still cases with that library, and a
// library the clone registers next gets a slot of its own.
TEST(ResourceUnload, CaseDefinitionKeepsItsLibraryAfterAClientsExtraUnload) {
  Context base(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(base, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(base, kEnUsa, TQ_LOAD_DATATYPES | TQ_LOAD_CASE_DEFNS), 0)
      << tq_test::error_list_text(base);
  tq_context* clone = nullptr;
  ASSERT_EQ(tq_clone(base, &clone), 0);
  ASSERT_EQ(propercase_differs(base), 0) << tq_test::error_list_text(base);
  int32_t lib = -1;
  ASSERT_EQ(tq_regexlib_load(clone, "en_name_case_fix", nullptr, &lib), 0);
  EXPECT_EQ(tq_regexlib_unload(clone, lib), 0);
  EXPECT_EQ(tq_regexlib_unload(clone, lib), TQ_ERR_INDEX);
  int32_t other = -1;
  ASSERT_EQ(tq_regexlib_load(clone, "en_comma", nullptr, &other), 0) << tq_test::error_list_text(clone);
  EXPECT_NE(other, lib);
  EXPECT_EQ(propercase_differs(clone), 0) << tq_test::error_list_text(clone);
  EXPECT_EQ(propercase_differs(base), 0) << tq_test::error_list_text(base);
  EXPECT_EQ(tq_regexlib_unload(clone, other), 0);
  EXPECT_EQ(tq_close(clone), 0);
}

// Clones load and unload the case definition's library (each its own
// balanced loads) while others case names with it: no call meets a freed
// library, and afterwards no client load is left over.
TEST(ResourceUnload, ClonesLoadAndUnloadWhileOthersCase) {
  tq_test::Watchdog watchdog;
  Context base(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(base, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(base, kEnUsa, TQ_LOAD_DATATYPES | TQ_LOAD_CASE_DEFNS), 0)
      << tq_test::error_list_text(base);
  ASSERT_EQ(propercase_differs(base), 0) << tq_test::error_list_text(base);
  constexpr int kLoaders = 3;
  constexpr int kUsers = 2;
  std::vector<tq_context*> clones(kLoaders + kUsers, nullptr);
  for (tq_context*& c : clones) ASSERT_EQ(tq_clone(base, &c), 0);
  std::atomic<int> casing{0};  // users that have cased once: the loaders start then
  std::atomic<int> loading{kLoaders};
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kLoaders; ++i) {
    threads.emplace_back([&, ctx = clones[i]] {
      while (casing.load() < kUsers) std::this_thread::yield();
      for (int round = 0; round < 1000; ++round) {
        int32_t a = -1;
        int32_t b = -1;
        uint32_t n = 0;
        if (tq_regexlib_load(ctx, "en_name_case_fix", nullptr, &a) != 0) ++bad;
        if (tq_regexlib_load(ctx, "en_name_case_fix", nullptr, &b) != 0 || b != a) ++bad;
        if (tq_regexlib_rule_count_get(ctx, a, &n) != 0 || n == 0) ++bad;
        if (tq_regexlib_unload(ctx, a) != 0) ++bad;
        if (tq_regexlib_unload(ctx, b) != 0) ++bad;
      }
      --loading;
    });
  }
  for (int i = 0; i < kUsers; ++i) {
    threads.emplace_back([&, ctx = clones[kLoaders + i]] {
      for (int round = 0; round < 10 || loading.load() > 0; ++round) {
        if (propercase_differs(ctx) != 0) ++bad;
        if (round == 0) ++casing;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
  // Balanced: no client load is left to unload, and the definition's
  // reference alone keeps the library until the locale goes.
  int32_t lib = -1;
  ASSERT_EQ(tq_regexlib_index_get_by_name(base, "en_name_case_fix", &lib), 0);
  EXPECT_EQ(tq_regexlib_unload(base, lib), TQ_ERR_INDEX);
  EXPECT_EQ(propercase_differs(base), 0) << tq_test::error_list_text(base);
  ASSERT_EQ(tq_zel_locale_unload(base, kEnUsa), 0);
  uint32_t n = 0;
  EXPECT_EQ(tq_regexlib_rule_count_get(base, lib, &n), TQ_ERR_INDEX);
  for (tq_context* c : clones) EXPECT_EQ(tq_close(c), 0);
}

// A scheme and what it makes of a word it knows; the other scheme does not
// know it, so a slot that came to hold the other one is seen.
struct SchemeUse {
  const char* name;
  const char* in;
  const char* out;
};
constexpr SchemeUse kSchemeUses[] = {{"en_nickname", "BILL", "WILLIAM"}, {"en_company", "KESTREL BANK", "KESTREL BANK"}};

int32_t scheme_differs(tq_context* ctx, const SchemeUse& use, int32_t index) {
  char out[256] = "";
  int32_t found = 0;
  const int32_t rc = tq_transf_scheme_apply(ctx, index, use.in, out, sizeof out, &found);
  if (rc != 0) return rc;
  return found == 1 && std::string(out) == use.out ? 0 : 1;
}

// Holders load every kind, both schemes and the locale and use them, while
// other clones on their threads load, unload and unload once more (also
// schemes no one else holds, whose slots are freed and taken again by the
// other thread in the meantime), and unload the holders' indices and the
// locale more often than they loaded them: every such unload is refused
// (a locale's changes nothing), and no holder's call ever fails or meets
// another resource. Afterwards each holder gives back exactly its own loads.
TEST(ResourceUnload, ExtraAndStaleUnloadsOnThreadsTakeNoOneElsesLoads) {
  tq_test::Watchdog watchdog;
  Context base(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(base, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(base, kEnUsa, TQ_LOAD_DATATYPES | TQ_LOAD_CASE_DEFNS), 0)
      << tq_test::error_list_text(base);
  constexpr int kHolders = 2;
  constexpr int kRogues = 2;
  constexpr size_t kKindCount = std::size(kKinds);
  constexpr size_t kSchemes = std::size(kSchemeUses);
  std::vector<tq_context*> clones(kHolders + kRogues, nullptr);
  for (tq_context*& c : clones) ASSERT_EQ(tq_clone(base, &c), 0);
  // What each holder loaded: every kind, then the two schemes.
  std::vector<std::vector<int32_t>> holds(kHolders);
  for (int h = 0; h < kHolders; ++h) {
    tq_context* ctx = clones[h];
    for (const Kind& k : kKinds) {
      holds[h].push_back(-1);
      ASSERT_EQ(k.load(ctx, k.name, &holds[h].back()), 0) << k.what;
    }
    for (const SchemeUse& use : kSchemeUses) {
      holds[h].push_back(-1);
      ASSERT_EQ(tq_transf_scheme_load(ctx, use.name, 0, -1, 0, &holds[h].back()), 0) << use.name;
    }
    ASSERT_EQ(tq_zel_locale_load(ctx, kEnUsa, TQ_LOAD_DATATYPES | TQ_LOAD_CASE_DEFNS), 0);
  }
  std::atomic<int> running{kRogues};
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for (int r = 0; r < kRogues; ++r) {
    threads.emplace_back([&, ctx = clones[kHolders + r]] {
      for (int round = 0; round < 60; ++round) {
        for (size_t i = 0; i < kKindCount + kSchemes + 1; ++i) {
          int32_t index = -1;
          int32_t rc = 0;
          int32_t (*unload)(tq_context*, int32_t) = tq_transf_scheme_unload;
          if (i < kKindCount) {
            rc = kKinds[i].load(ctx, kKinds[i].name, &index);
            unload = kKinds[i].unload;
          } else {
            // Schemes of their own too: freed at each unload, their slots
            // taken again by the other thread's next load.
            const char* name = i < kKindCount + kSchemes ? kSchemeUses[i - kKindCount].name : "en_name_suffix";
            rc = tq_transf_scheme_load(ctx, name, 0, -1, 0, &index);
          }
          if (rc != 0 || unload(ctx, index) != 0) ++bad;
          if (unload(ctx, index) != TQ_ERR_INDEX) ++bad;  // extra, and maybe stale by now
          if (i < holds[0].size() && unload(ctx, holds[round % kHolders][i]) != TQ_ERR_INDEX) ++bad;
        }
        if (tq_zel_locale_load(ctx, kEnUsa, TQ_LOAD_DATATYPES) != 0 || tq_zel_locale_unload(ctx, kEnUsa) != 0) ++bad;
        if (tq_zel_locale_unload(ctx, kEnUsa) != 0) ++bad;  // nothing of its own left: changes nothing
      }
      --running;
    });
  }
  for (int h = 0; h < kHolders; ++h) {
    threads.emplace_back([&, h, ctx = clones[h]] {
      for (int round = 0; round < 10 || running.load() > 0; ++round) {
        for (size_t i = 0; i < kKindCount; ++i) {
          if (probe(kKinds[i], ctx, holds[h][i]) != 0) ++bad;
        }
        for (size_t j = 0; j < kSchemes; ++j) {
          if (scheme_differs(ctx, kSchemeUses[j], holds[h][kKindCount + j]) != 0) ++bad;
        }
        if (propercase_differs(ctx) != 0) ++bad;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
  for (int h = 0; h < kHolders; ++h) {
    tq_context* ctx = clones[h];
    for (size_t i = 0; i < holds[h].size(); ++i) {
      int32_t (*unload)(tq_context*, int32_t) = i < kKindCount ? kKinds[i].unload : tq_transf_scheme_unload;
      EXPECT_EQ(unload(ctx, holds[h][i]), 0) << i;
      EXPECT_EQ(unload(ctx, holds[h][i]), TQ_ERR_INDEX) << i;
    }
    EXPECT_EQ(tq_zel_locale_unload(ctx, kEnUsa), 0);
  }
  // The base's own load of the locale is the one left.
  EXPECT_EQ(propercase_differs(base), 0) << tq_test::error_list_text(base);
  ASSERT_EQ(tq_zel_locale_unload(base, kEnUsa), 0);
  EXPECT_EQ(tq_locale_set(base, kEnUsa), TQ_ERR_NO_LOCALE);
  for (tq_context* c : clones) EXPECT_EQ(tq_close(c), 0);
}

}  // namespace

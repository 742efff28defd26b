// Client loads of resources are counted apart from the references that
// definitions hold: N loads need N unloads, whichever context sharing the
// state made them; an unload with no client load left is refused and changes
// nothing; a locale's unload never frees what a client still holds.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

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
// and takes nothing from the definitions; its next load and unload count
// as before, an unload by another context sharing the state among them. A
// load the clone holds outlives the locale whose definitions held the
// resource too, and its unload then frees it.
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
    // Counted again from where it was: one load, one unload, one load held.
    int32_t again = -1;
    ASSERT_EQ(k.load(clone, k.name, &again), 0);
    if (k.held_by_locale) {
      EXPECT_EQ(again, index);
    }
    EXPECT_EQ(k.unload(base, again), 0);  // another context's unload counts too
    EXPECT_EQ(k.unload(clone, again), TQ_ERR_INDEX);
    ASSERT_EQ(k.load(clone, k.name, &again), 0);
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
    SCOPED_TRACE(kKinds[i].what);
    EXPECT_EQ(probe(kKinds[i], clone, held[i]), TQ_ERR_INDEX);
    EXPECT_EQ(kKinds[i].unload(clone, held[i]), TQ_ERR_INDEX);
  }
  EXPECT_EQ(tq_close(clone), 0);
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

}  // namespace

// Clones on their own threads while locales are loaded and unloaded: the
// shared-state lock under load, through the exports. Short enough for every
// run; the ThreadSanitizer build (-DTQ_TSAN=ON) runs it to find races.
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/tq_test.h"
#include "support/watchdog.h"

namespace {

using tq_test::TempDir;
using tq_test::Watchdog;

// L1 at the root, DE under it, DEDEU under DE.
void write_locales(tq_context* ctx, const TempDir& dir) {
  std::filesystem::create_directories(dir / "locale");
  const char* rows[][3] = {{"l1.loc", "ISO-8859-1 (Latin-1)", ""},
                           {"de.loc", "German", "l1.loc"},
                           {"dedeu.loc", "German (Germany)", "de.loc"}};
  for (const auto& [file, description, parent] : rows) {
    tq_test::write_locale_settings(ctx, dir.path(), file, description, parent);
  }
}

constexpr int32_t kRoot = 800000;     // L1: stays loaded throughout
constexpr int32_t kGerman = 39000;
constexpr int32_t kGermany = 39276;   // comes and goes

TEST(CloneThreads, ReadersWritersAndNewClonesTogether) {
  Watchdog watchdog;
  TempDir dir;
  tq_context* a = nullptr;
  ASSERT_EQ(tq_init(&a, dir.str().c_str()), 0);
  write_locales(a, dir);
  ASSERT_EQ(tq_zel_locale_load(a, kRoot, 0), 0);

  constexpr int kReaders = 4;
  std::vector<tq_context*> clones(kReaders + 2, nullptr);
  for (tq_context*& c : clones) ASSERT_EQ(tq_clone(a, &c), 0);
  std::atomic<bool> go{false};
  std::atomic<int> bad{0};
  auto wait_go = [&] {
    while (!go.load()) std::this_thread::yield();
  };
  std::vector<std::thread> threads;
  // Readers: the root is always there; DEDEU is either loaded with its
  // parent or not loaded at all.
  for (int r = 0; r < kReaders; ++r) {
    threads.emplace_back([&, ctx = clones[r]] {
      wait_go();
      for (int i = 0; i < 1500; ++i) {
        int32_t parent = 0;
        if (tq_parent_locale_get(ctx, kRoot, &parent) != 0 || parent != -1) ++bad;
        int32_t rc = tq_parent_locale_get(ctx, kGermany, &parent);
        if (!(rc == 0 && parent == kGerman) && rc != -707) ++bad;
      }
    });
  }
  // A clone that loads and unloads from inside its read hold (the write hold
  // taken on top of it), and one that makes, uses and closes clones of its own.
  threads.emplace_back([&, ctx = clones[kReaders]] {
    wait_go();
    for (int i = 0; i < 40; ++i) {
      if (tq_zel_locale_load(ctx, kGermany, 0) != 0) ++bad;
      int32_t parent = 0;
      if (tq_parent_locale_get(ctx, kGermany, &parent) != 0 || parent != kGerman) ++bad;
      if (tq_zel_locale_unload(ctx, kGermany) != 0) ++bad;
    }
  });
  threads.emplace_back([&, ctx = clones[kReaders + 1]] {
    wait_go();
    for (int i = 0; i < 40; ++i) {
      tq_context* mine = nullptr;
      if (tq_clone(ctx, &mine) != 0) {
        ++bad;
        continue;
      }
      int32_t parent = 0;
      if (tq_parent_locale_get(mine, kRoot, &parent) != 0 || parent != -1) ++bad;
      tq_close(mine);
    }
  });
  go = true;
  for (int i = 0; i < 40; ++i) {
    if (tq_zel_locale_load(a, kGermany, 0) != 0) ++bad;
    if (tq_zel_locale_unload(a, kGermany) != 0) ++bad;
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
  int32_t parent = 0;
  EXPECT_EQ(tq_parent_locale_get(a, kGermany, &parent), -707);
  // Closed in any order; the root stays loaded until the last one goes.
  EXPECT_EQ(tq_close(a), 0);
  for (tq_context* c : clones) {
    EXPECT_EQ(tq_parent_locale_get(c, kRoot, &parent), 0);
    EXPECT_EQ(tq_close(c), 0);
  }
}

// Contexts opened by tq_init on several threads at once, each loading the
// sample knowledge base and matching on its own thread, share nothing: every
// thread gets what one thread alone gets.
TEST(CloneThreads, InitOnSeveralThreadsAtOnce) {
  Watchdog watchdog;
  constexpr int kThreads = 4;
  constexpr uint32_t kParts = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_MATCH_DEFNS;
  auto code_of = [](std::string* out) {
    tq_context* ctx = nullptr;
    int32_t rc = tq_init(&ctx, TQ_SAMPLE_KB);
    if (rc == 0) rc = tq_zel_locale_load(ctx, 29840, kParts);
    char code[TQ_MATCHCODE_SIZE] = "";
    for (int i = 0; rc == 0 && i < 20; ++i) rc = tq_match(ctx, "Name", 85, "Bill O'Brien", code);
    *out = std::to_string(rc) + " " + code;
    if (ctx != nullptr) tq_close(ctx);
  };
  std::string alone;
  code_of(&alone);
  ASSERT_EQ(alone.substr(0, 2), "0 ") << alone;
  std::vector<std::string> got(kThreads);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      code_of(&got[t]);
    });
  }
  go = true;
  for (std::thread& t : threads) t.join();
  for (const std::string& g : got) EXPECT_EQ(g, alone);
}

}  // namespace

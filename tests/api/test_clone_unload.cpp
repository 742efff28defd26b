// Clones on threads sharing the sample knowledge base while locales come and
// go: every engine runs on a locale that another clone loads and unloads
// (nothing freed may be touched, a call on a locale that went away is
// refused cleanly), and client loads are counted whichever clone made them.
// Fixed counts, short enough for every run of the sanitizer builds.
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/refused_roads.h"
#include "support/tq_test.h"
#include "support/watchdog.h"
#include "tq.h"

namespace {

using tq_test::Context;
using tq_test::SampleKbCopy;
using tq_test::Watchdog;

constexpr int32_t kEnglish = 29000;
constexpr int32_t kGerman = 39000;
// Spanish in the locale table (a root locale like English); here a copy of
// English that holds all of English's datatypes and definitions as its own.
constexpr int32_t kCopy = 103000;
constexpr uint32_t kAllParts = 0xFFEu;

// Writes the copy of English beside the others in a copy of the sample
// knowledge base.
void write_kb(const SampleKbCopy& dir) {
  Context ctx;
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_read(ctx, (dir / "locale" / "en.loc").string().c_str(), 1, &doc), 0)
      << tq_test::error_list_text(ctx);
  EXPECT_EQ(tq_xml_setprop(ctx, doc, "Locale ISO Code", "ES"), 0);
  EXPECT_EQ(tq_xml_setprop(ctx, doc, "Locale Description", "Spanish"), 0);
  EXPECT_EQ(tq_xml_setprop(ctx, doc, "Locale Code", "103000"), 0);
  const int32_t rc = tq_xml_write(ctx, 0, (dir / "locale" / "es.loc").string().c_str(), 1, doc);
  tq_xml_free(ctx, doc);
  ASSERT_EQ(rc, 0) << tq_test::error_list_text(ctx);
}

// A context on that knowledge base with English loaded (and with it the
// root locale and every resource), which stays loaded throughout.
tq_context* open_kb(const SampleKbCopy& dir) {
  write_kb(dir);
  tq_context* ctx = nullptr;
  EXPECT_EQ(tq_init(&ctx, dir.str().c_str()), 0);
  if (ctx == nullptr) return nullptr;
  tq_session_encoding_set(ctx, TQ_ENC_UTF8);
  EXPECT_EQ(tq_zel_locale_load(ctx, kEnglish, kAllParts), 0) << tq_test::error_list_text(ctx);
  return ctx;
}

// One engine call on the current locale: its result and its output as text.
struct Outcome {
  int32_t rc = 0;
  std::string out;
  bool operator==(const Outcome&) const = default;
};
using Engine = std::function<Outcome(tq_context*, const char*)>;

// A call that writes its result as text.
template <typename F>
Engine text_of(F call) {
  return [call](tq_context* c, const char* v) {
    char s[1100] = "";
    const int32_t rc = call(c, v, s);
    return Outcome{rc, rc >= 0 ? s : ""};
  };
}

// A call that fills token records: their values joined.
template <typename Token, size_t N, typename F>
Engine tokens_of(F call) {
  return [call](tq_context* c, const char* v) {
    std::vector<Token> t(N);
    uint32_t n = 0;
    Outcome o{call(c, v, t.data(), &n), ""};
    for (uint32_t i = 0; o.rc >= 0 && i < n; ++i) o.out += std::string(t[i].value) + "|";
    return o;
  };
}

// A call that gives a number.
template <typename T, typename F>
Engine number_of(F call) {
  return [call](tq_context* c, const char* v) {
    T n{};
    const int32_t rc = call(c, v, &n);
    return Outcome{rc, rc >= 0 ? std::to_string(n) : ""};
  };
}

const uint32_t kGuessLocales[] = {static_cast<uint32_t>(kCopy), static_cast<uint32_t>(kCopy)};

const std::vector<Engine>& engines() {
  using P = tq_parse_token;
  using X = tq_extract_token;
  static const std::vector<Engine> list = {
      tokens_of<P, TQ_PARSE_TOKENS>([](auto c, auto v, P* t, uint32_t* n) { return tq_parse(c, "Name", v, t, n); }),
      text_of([](auto c, auto v, char* s) { return tq_standardize(c, "Name", v, s); }),
      text_of([](auto c, auto v, char* s) { return tq_propercase(c, "Name", v, s, 1024); }),
      text_of([](auto c, auto v, char* s) { return tq_match(c, "Name", 85, v, s); }),
      text_of([](auto c, auto v, char* s) { return tq_identify(c, "Name", v, s); }),
      tokens_of<X, TQ_EXTRACT_TOKENS>([](auto c, auto v, X* t, uint32_t* n) { return tq_extract(c, "Contact", v, t, n); }),
      text_of([](auto c, auto v, char* s) { return tq_gender_determine(c, "Name", v, s); }),
      text_of([](auto c, auto v, char* s) { return tq_pattern_analyze(c, "Pattern", v, s); }),
      number_of<int32_t>([](auto c, auto v, int32_t* n) { return tq_language_guess_score(c, "English", v, n); }),
      number_of<uint32_t>([](auto c, auto v, uint32_t* n) {
        return tq_guess_locale(c, "Language", v, kGuessLocales, nullptr, 2, n);
      }),
  };
  return list;
}

const char* const kValues[] = {"Dr. John Q. Smith Jr.", "Mary Ann Smith", "Smith, John"};

// Users on clones of base, each on its thread with its number, while one
// more clone loads and unloads the copy `cycles` times, holding it loaded
// for a varying while (0 to 9 steps of `step_us`): the unload meets the
// users at every stage, preparing definitions on first use among them.
// Users run while `cycling` holds. The first load is held until `seen`
// says the users have met it loaded, and cycling ends only when `seen`
// says they have met it gone (or every user has stopped), so that what a
// test counts does not hang on the scheduler. The count of loads and
// unloads that failed.
using User = std::function<void(int user, tq_context* ctx, const std::atomic<bool>& cycling)>;
int with_copy_cycling(tq_context* base, int users, int cycles, int step_us, const User& user,
                      const std::function<bool(bool loaded)>& seen) {
  std::vector<tq_context*> clones(users + 1, nullptr);
  for (tq_context*& c : clones) EXPECT_EQ(tq_clone(base, &c), 0);
  std::atomic<bool> go{false};
  std::atomic<bool> cycling{true};
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  std::atomic<int> stopped{0};
  auto wait_seen = [&](bool loaded) {
    while (!seen(loaded) && stopped.load() < users) std::this_thread::yield();
  };
  for (int u = 0; u < users; ++u) {
    threads.emplace_back([&, u, ctx = clones[u]] {
      while (!go.load()) std::this_thread::yield();
      user(u, ctx, cycling);
      ++stopped;
    });
  }
  threads.emplace_back([&, ctx = clones[users]] {
    while (!go.load()) std::this_thread::yield();
    for (int i = 0; i < cycles; ++i) {
      if (tq_zel_locale_load(ctx, kCopy, kAllParts) != 0) ++bad;
      if (i == 0) wait_seen(true);
      std::this_thread::sleep_for(std::chrono::microseconds(step_us * (i % 10)));
      if (tq_zel_locale_unload(ctx, kCopy) != 0) ++bad;
      std::this_thread::sleep_for(std::chrono::microseconds(4 * step_us));
    }
    wait_seen(false);
    cycling = false;
  });
  go = true;
  for (std::thread& t : threads) t.join();
  for (tq_context* c : clones) EXPECT_EQ(tq_close(c), 0);
  return bad.load();
}

TEST(CloneUnload, EnginesWhileAnotherCloneUnloadsTheirLocale) {
  Watchdog watchdog;
  SampleKbCopy dir;
  tq_context* base = open_kb(dir);
  ASSERT_NE(base, nullptr);

  // What each call gives single-threaded, on a first load of the copy.
  ASSERT_EQ(tq_zel_locale_load(base, kCopy, kAllParts), 0) << tq_test::error_list_text(base);
  std::vector<Outcome> expected;
  for (const Engine& e : engines()) {
    for (const char* v : kValues) {
      expected.push_back(e(base, v));
      EXPECT_GE(expected.back().rc, 0) << v << ": " << tq_test::error_list_text(base);
    }
  }
  ASSERT_EQ(tq_zel_locale_unload(base, kCopy), 0);

  constexpr int kUsers = 3;
  std::atomic<int> bad{0};
  std::atomic<int> served{0};
  std::vector<std::string> failures(kUsers);
  // The fourth clone loads and unloads the copy while the others use it.
  bad += with_copy_cycling(base, kUsers, 60, 50, [&](int u, tq_context* ctx, const std::atomic<bool>& cycling) {
    for (int round = 0; round < 100000 && cycling.load(); ++round) {
      // Current once loaded; a locale that is not loaded cannot be made so.
      int32_t set = TQ_ERR_NO_LOCALE;
      for (int tries = 0; tries < 10000 && set == TQ_ERR_NO_LOCALE; ++tries) {
        set = tq_locale_set(ctx, kCopy);
        if (set == TQ_ERR_NO_LOCALE) std::this_thread::yield();
      }
      if (set != 0 && set != TQ_ERR_NO_LOCALE) ++bad;
      size_t k = 0;
      for (const Engine& e : engines()) {
        for (const char* v : kValues) {
          const Outcome got = e(ctx, v);
          if (got.rc == TQ_ERR_NO_LOCALE || got.rc == TQ_ERR_DEFN_INVALID) {
            ++k;
            continue;
          }
          if (got == expected[k]) {
            ++served;
          } else {
            ++bad;
            failures[u] = std::to_string(k) + " " + v + ": " + std::to_string(got.rc) + " " + got.out + " " +
                          tq_test::error_list_text(ctx);
          }
          ++k;
        }
      }
    }
  }, [&](bool loaded) { return !loaded || served.load() > 0; });
  for (const std::string& f : failures) EXPECT_EQ(f, "");
  EXPECT_EQ(bad.load(), 0);
  // Some calls found the copy loaded (which ones is up to the scheduler;
  // the first load waits for one).
  EXPECT_GT(served.load(), 0);
  EXPECT_EQ(tq_close(base), 0);
}

// A call that fails because the locale went (-707), whenever that
// happened, the gap of a call refused the write hold included, leaves its
// outputs and infos as a single-threaded call failing so does: its infos
// as they were, its output as that call leaves it.
TEST(CloneUnload, FailedCallsLeaveOutputsAndInfosAsASingleThreadedFailure) {
  Watchdog watchdog;
  SampleKbCopy dir;
  tq_context* base = open_kb(dir);
  ASSERT_NE(base, nullptr);
  const auto& roads = tq_test::info_roads();
  constexpr const char* kSentinel = "#before#";
  // The single-threaded failure: each output as a call on a locale that went
  // leaves it.
  std::vector<std::string> failed_out;
  {
    tq_test::RoadInfos infos(base);
    ASSERT_EQ(tq_zel_locale_load(base, kCopy, kAllParts), 0) << tq_test::error_list_text(base);
    ASSERT_EQ(tq_locale_set(base, kCopy), 0);
    char out[1100] = "";
    for (const tq_test::InfoRoad& r : roads) ASSERT_GE(r.call(base, infos, kValues[0], out), 0) << r.name;
    ASSERT_EQ(tq_zel_locale_unload(base, kCopy), 0);
    for (const tq_test::InfoRoad& r : roads) {
      std::strcpy(out, kSentinel);
      EXPECT_EQ(r.call(base, infos, kValues[1], out), TQ_ERR_NO_LOCALE) << r.name;
      failed_out.emplace_back(out);
    }
    ASSERT_EQ(tq_locale_set(base, kEnglish), 0);
  }

  constexpr int kUsers = 3;
  std::atomic<int> checked{0};
  std::atomic<int> met{0};  // times a user made the copy current
  std::vector<std::string> failures(kUsers);
  // Loads held briefly, so that many calls meet their first use of the
  // copy's definitions and resources while an unload waits.
  const int bad = with_copy_cycling(base, kUsers, 200, 20, [&](int u, tq_context* ctx, const std::atomic<bool>& cycling) {
    tq_test::RoadInfos infos(ctx);
    for (size_t round = 0; cycling.load() && failures[u].empty(); ++round) {
      if (tq_locale_set(ctx, kCopy) != 0) {
        std::this_thread::yield();
      } else {
        ++met;  // current from now on: once the copy goes, its calls fail
      }
      for (size_t k = 0; k < roads.size(); ++k) {
        const tq_test::InfoRoad& r = roads[k];
        const std::string before = r.shown ? r.shown(ctx, infos) : "";
        char out[1100];
        std::strcpy(out, kSentinel);
        const int32_t rc = r.call(ctx, infos, kValues[(round + k) % 3], out);
        if (rc != TQ_ERR_NO_LOCALE) continue;
        ++checked;
        const std::string after = r.shown ? r.shown(ctx, infos) : "";
        if (out != failed_out[k] || after != before) {
          failures[u] = std::string(r.name) + ": output '" + out + "', info '" + after + "' (was '" + before + "')";
        }
      }
    }
  }, [&](bool loaded) { return loaded ? met.load() > 0 : checked.load() > 0; });
  EXPECT_EQ(bad, 0);
  for (const std::string& f : failures) EXPECT_EQ(f, "");
  EXPECT_GT(checked.load(), 0);
  EXPECT_EQ(tq_close(base), 0);
}

// Scores a German phrase with the German language definition of DE, which
// the context must have made current.
int32_t use_german(tq_context* ctx) {
  int32_t rc = tq_locale_set(ctx, kGerman);
  int32_t score = 0;
  if (rc == 0) rc = tq_language_guess_score(ctx, "German", "der Hund und die Katze", &score);
  return rc;
}

TEST(CloneUnload, ClonesThatEachLoadUseAndUnloadTheSameLocale) {
  Watchdog watchdog;
  SampleKbCopy dir;
  tq_context* base = open_kb(dir);
  ASSERT_NE(base, nullptr);
  constexpr int kClones = 4;
  std::vector<tq_context*> clones(kClones, nullptr);
  for (tq_context*& c : clones) ASSERT_EQ(tq_clone(base, &c), 0);
  std::atomic<bool> go{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for (tq_context* ctx : clones) {
    threads.emplace_back([&, ctx] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < 60; ++i) {
        // While this clone holds its load, nothing may take DE away.
        if (tq_zel_locale_load(ctx, kGerman, kAllParts) != 0) ++bad;
        if (use_german(ctx) < 0) ++bad;
        if (use_german(ctx) < 0) ++bad;
        if (tq_zel_locale_unload(ctx, kGerman) != 0) ++bad;
      }
    });
  }
  go = true;
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
  // Every load was given back: DE is gone.
  EXPECT_EQ(tq_locale_set(base, kGerman), TQ_ERR_NO_LOCALE);
  for (tq_context* c : clones) EXPECT_EQ(tq_close(c), 0);
  EXPECT_EQ(tq_close(base), 0);
}

// Each client load needs its own unload, whichever clone made it (one
// context's count: LocaleLoad.ReferenceCounts).
TEST(CloneUnload, EveryClientLoadIsCountedAcrossClones) {
  SampleKbCopy dir;
  tq_context* a = open_kb(dir);
  ASSERT_NE(a, nullptr);
  // Two loads by one clone and one by another: the clone that holds the
  // last one still uses it after the other's two unloads.
  tq_context* b = nullptr;
  ASSERT_EQ(tq_clone(a, &b), 0);
  ASSERT_EQ(tq_zel_locale_load(a, kGerman, kAllParts), 0);
  ASSERT_EQ(tq_zel_locale_load(b, kGerman, kAllParts), 0);
  ASSERT_EQ(tq_zel_locale_load(a, kGerman, kAllParts), 0);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(tq_zel_locale_unload(a, kGerman), 0);
  EXPECT_EQ(use_german(b), 0) << tq_test::error_list_text(b);
  ASSERT_EQ(tq_zel_locale_unload(b, kGerman), 0);
  EXPECT_EQ(tq_locale_set(b, kGerman), TQ_ERR_NO_LOCALE);
  EXPECT_EQ(tq_close(b), 0);
  EXPECT_EQ(tq_close(a), 0);
}

// Loads of a clone that closes pass to the contexts that stay: any of them
// gives one back with an unload that finds no load of its own, while a
// load of a context still open stays that context's. Each step runs on one
// thread, one after another.
TEST(CloneUnload, ClosedClonesLoadsAreGivenBackByTheOthers) {
  SampleKbCopy dir;
  tq_context* base = open_kb(dir);
  ASSERT_NE(base, nullptr);
  const auto loaded = [&] { return tq_locale_set(base, kGerman) == 0; };
  // Many clones that each load DE and close leave one load each.
  constexpr int kClosed = 50;
  for (int i = 0; i < kClosed; ++i) {
    tq_context* c = nullptr;
    ASSERT_EQ(tq_clone(base, &c), 0);
    ASSERT_EQ(tq_zel_locale_load(c, kGerman, kAllParts), 0) << tq_test::error_list_text(c);
    ASSERT_EQ(tq_close(c), 0);
  }
  for (int i = 0; i < kClosed; ++i) {
    ASSERT_TRUE(loaded()) << i;
    ASSERT_EQ(tq_zel_locale_unload(base, kGerman), 0);
  }
  EXPECT_FALSE(loaded());
  EXPECT_EQ(tq_zel_locale_unload(base, kGerman), 0);  // nothing left: changes nothing

  // An open clone's load is not the base's to give back, a closed one's is.
  tq_context* holder = nullptr;
  tq_context* leaver = nullptr;
  ASSERT_EQ(tq_clone(base, &holder), 0);
  ASSERT_EQ(tq_clone(base, &leaver), 0);
  ASSERT_EQ(tq_zel_locale_load(holder, kGerman, kAllParts), 0);
  ASSERT_EQ(tq_zel_locale_load(leaver, kGerman, kAllParts), 0);
  ASSERT_EQ(tq_zel_locale_load(leaver, kGerman, kAllParts), 0);
  ASSERT_EQ(tq_zel_locale_unload(leaver, kGerman), 0);
  ASSERT_EQ(tq_close(leaver), 0);
  EXPECT_EQ(tq_zel_locale_unload(base, kGerman), 0);  // the leaver's one left
  EXPECT_EQ(tq_zel_locale_unload(base, kGerman), 0);  // none left: the holder's stays
  EXPECT_EQ(use_german(holder), 0) << tq_test::error_list_text(holder);
  // A clone that holds a load of its own gives back its own first: the
  // closed one's is left for the base to give back.
  tq_context* other = nullptr;
  ASSERT_EQ(tq_clone(base, &other), 0);
  ASSERT_EQ(tq_zel_locale_load(other, kGerman, kAllParts), 0);
  ASSERT_EQ(tq_close(other), 0);
  ASSERT_EQ(tq_zel_locale_unload(holder, kGerman), 0);
  EXPECT_TRUE(loaded());
  ASSERT_EQ(tq_zel_locale_unload(base, kGerman), 0);
  EXPECT_FALSE(loaded());
  // English, which the base loaded and every clone shared, is untouched.
  EXPECT_EQ(tq_locale_set(holder, kEnglish), 0);
  EXPECT_EQ(tq_close(holder), 0);
  // Loads left by clones go with the last context to close.
  tq_context* last = nullptr;
  ASSERT_EQ(tq_clone(base, &last), 0);
  ASSERT_EQ(tq_zel_locale_load(last, kGerman, kAllParts), 0);
  EXPECT_EQ(tq_close(last), 0);
  EXPECT_TRUE(loaded());
  EXPECT_EQ(tq_close(base), 0);
}

}  // namespace

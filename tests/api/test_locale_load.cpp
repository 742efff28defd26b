// Loading and unloading locales with their ancestors, through the exports.
#include <string>
#include <atomic>
#include <thread>
#include <vector>

#include "support/tq_test.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;

// A knowledge base whose locale folder holds locale files written with the
// library's own vault writer.
struct LocaleKb {
  TempDir dir;
  LocaleKb() { std::filesystem::create_directories(dir / "locale"); }
  void add(tq_context* ctx, const char* file, const char* description, const char* parent) {
    tq_test::write_locale_settings(ctx, dir.path(), file, description, parent);
  }
  // EN under L1, ENUSA under EN (by the table), DE under L1, DEDEU under DE.
  void standard(tq_context* ctx) {
    add(ctx, "l1.loc", "ISO-8859-1 (Latin-1)", "");
    add(ctx, "en.loc", "English", "l1.loc");
    add(ctx, "enusa.loc", "English (United States)", "");
    add(ctx, "de.loc", "German", "l1.loc");
    add(ctx, "dedeu.loc", "German (Germany)", "de.loc");
  }
};

int32_t current(tq_context* ctx) {
  int32_t code = 0;
  tq_locale_get(ctx, &code);
  return code;
}

int32_t parent_of(tq_context* ctx, int32_t code) {
  int32_t parent = -2;
  int32_t rc = tq_parent_locale_get(ctx, code, &parent);
  return rc == 0 ? parent : rc;
}

TEST(LocaleLoad, ParentsFirstAndCurrent) {
  LocaleKb kb;
  Context ctx(kb.dir.str().c_str());
  kb.standard(ctx);
  int32_t code = 7;
  EXPECT_EQ(tq_locale_get(ctx, &code), -707);
  EXPECT_EQ(code, -1);
  EXPECT_EQ(tq_locale_set(ctx, 29840), -707);
  EXPECT_EQ(tq_locale_set(ctx, 12345), -802);
  ASSERT_TQ_OK(ctx, tq_zel_locale_load(ctx, 29840, 0));
  EXPECT_EQ(tq_zel_locale_load(ctx, 29840, 0), 0);
  EXPECT_EQ(current(ctx), 29840);
  EXPECT_EQ(parent_of(ctx, 29840), 29000);
  EXPECT_EQ(parent_of(ctx, 29000), 800000);
  EXPECT_EQ(parent_of(ctx, 800000), -1);
  EXPECT_EQ(parent_of(ctx, 39000), -707);
  EXPECT_EQ(tq_locale_set(ctx, 29000), 0);
  EXPECT_EQ(current(ctx), 29000);
  EXPECT_EQ(tq_zel_locale_load(ctx, 12345, 0), -802);
}

TEST(LocaleLoad, ReferenceCounts) {
  LocaleKb kb;
  Context ctx(kb.dir.str().c_str());
  kb.standard(ctx);
  // Loaded three times by the client: the third unload frees it and its
  // parents.
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, 0), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, 0), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, 0), 0);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(tq_zel_locale_unload(ctx, 29840), 0);
    EXPECT_EQ(tq_locale_set(ctx, 29840), 0);
  }
  EXPECT_EQ(tq_zel_locale_unload(ctx, 29840), 0);
  EXPECT_EQ(tq_locale_set(ctx, 29840), -707);
  EXPECT_EQ(tq_locale_set(ctx, 29000), -707);
  EXPECT_EQ(tq_locale_set(ctx, 800000), -707);
  EXPECT_EQ(tq_locale_get(ctx, nullptr), -802);
  int32_t code = 0;
  EXPECT_EQ(tq_locale_get(ctx, &code), -707);
  // EN loaded first, then ENUSA: unloading EN keeps it for ENUSA.
  ASSERT_EQ(tq_zel_locale_load(ctx, 29000, 0), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, 0), 0);
  EXPECT_EQ(tq_zel_locale_unload(ctx, 29000), 0);
  EXPECT_EQ(tq_locale_set(ctx, 29000), 0);
  EXPECT_EQ(tq_zel_locale_unload(ctx, 29840), 0);
  EXPECT_EQ(tq_locale_set(ctx, 29000), -707);
  // A locale loaded only as a parent is not freed by a client's unload.
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, 0), 0);
  EXPECT_EQ(tq_zel_locale_unload(ctx, 29000), 0);
  EXPECT_EQ(parent_of(ctx, 29840), 29000);
  EXPECT_EQ(tq_locale_set(ctx, 29000), 0);
  // A locale that is not loaded changes nothing.
  EXPECT_EQ(tq_zel_locale_unload(ctx, 39276), 0);
}

TEST(LocaleLoad, FailuresKeepThePreviousLocale) {
  LocaleKb kb;
  Context ctx(kb.dir.str().c_str());
  kb.standard(ctx);
  kb.add(ctx, "fr.loc", "Francais", "l1.loc");
  ASSERT_EQ(tq_zel_locale_load(ctx, 39276, 0), 0);
  int32_t fr = 0;
  ASSERT_EQ(tq_locale_code_get_by_iso_name(ctx, "FR", &fr), 0);
  // The description in the file is not in the table.
  EXPECT_EQ(tq_zel_locale_load(ctx, fr, 0), -300);
  int32_t code = 0;
  char text[4100];
  tq_error_info_get(ctx, &code, text);
  EXPECT_EQ(code, -300);
  EXPECT_EQ(std::string(text),
            "The locale file of FR names the description 'Francais', which is not in the locale table.");
  EXPECT_EQ(current(ctx), 39276);
  // A missing file: the open code, with the file named.
  int32_t es = 0;
  ASSERT_EQ(tq_locale_code_get_by_iso_name(ctx, "ES", &es), 0);
  int32_t rc = tq_zel_locale_load(ctx, es, 0);
  EXPECT_LT(rc, 0);
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  bool named = false;
  for (uint32_t i = 0; i < count; ++i) {
    tq_error_info_get_by_index(ctx, i, &code, text);
    named = named || std::string(text).find("es.loc") != std::string::npos;
  }
  EXPECT_TRUE(named) << tq_test::error_list_text(ctx);
  EXPECT_EQ(current(ctx), 39276);
}

TEST(LocaleLoad, ParentLoopIsRefused) {
  LocaleKb kb;
  Context ctx(kb.dir.str().c_str());
  kb.add(ctx, "en.loc", "English", "enusa.loc");
  kb.add(ctx, "enusa.loc", "English (United States)", "en.loc");
  EXPECT_EQ(tq_zel_locale_load(ctx, 29840, 0), -300);
  int32_t code = 0;
  EXPECT_EQ(tq_locale_get(ctx, &code), -707);
}

// Every definition kind is read: a mask naming all of them loads without the
// warning of a kind the engine cannot read.
TEST(LocaleLoad, EveryMaskedKindIsRead) {
  LocaleKb kb;
  Context ctx(kb.dir.str().c_str());
  kb.standard(ctx);
  const uint32_t all = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_CASE_DEFNS | TQ_LOAD_STDZN_DEFNS |
                       TQ_LOAD_MATCH_DEFNS | TQ_LOAD_EXTRACT_DEFNS | TQ_LOAD_GENDER_DEFNS | TQ_LOAD_PATTERN_DEFNS |
                       TQ_LOAD_IDENT_DEFNS | TQ_LOAD_LANGUAGE_DEFNS | TQ_LOAD_GUESS_DEFNS;
  EXPECT_EQ(tq_zel_locale_load(ctx, 29000, all), 0);
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(current(ctx), 29000);
}

TEST(LocaleLoad, EditModeNeedsAHandle) {
  LocaleKb kb;
  Context plain(kb.dir.str().c_str());
  kb.standard(plain);
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(plain, &lock), 0);
  EXPECT_EQ(tq_zel_locale_load_edit(plain, 29840, 0, lock), -501);
  tq_lock_free(plain, lock);
  Context edit(kb.dir.str().c_str(), true);
  ASSERT_EQ(tq_lock_init(edit, &lock), 0);
  EXPECT_EQ(tq_zel_locale_load_edit(edit, 29840, 0, nullptr), -802);
  ASSERT_TQ_OK(edit, tq_zel_locale_load_edit(edit, 29840, 0, lock));
  EXPECT_EQ(current(edit), 29840);
  // The locale file is locked while the handle holds it.
  EXPECT_TRUE(std::filesystem::exists(kb.dir / "locale" / "enusa.loc.zel.lck"));
  EXPECT_EQ(tq_zel_locale_unload_edit(edit, 29840, lock), 0);
  tq_lock_free(edit, lock);
  EXPECT_FALSE(std::filesystem::exists(kb.dir / "locale" / "enusa.loc.zel.lck"));
}

TEST(LocaleLoad, ClonesShareLoadedLocales) {
  LocaleKb kb;
  tq_context* a = nullptr;
  ASSERT_EQ(tq_init(&a, kb.dir.str().c_str()), 0);
  kb.standard(a);
  ASSERT_EQ(tq_zel_locale_load(a, 29840, 0), 0);
  tq_context* b = nullptr;
  ASSERT_EQ(tq_clone(a, &b), 0);
  EXPECT_EQ(current(b), 29840);
  // The clone's current locale unloaded through the other context: -707,
  // never another locale's record.
  ASSERT_EQ(tq_zel_locale_unload(a, 29840), 0);
  ASSERT_EQ(tq_zel_locale_load(a, 39276, 0), 0);
  int32_t code = 0;
  EXPECT_EQ(tq_locale_get(b, &code), -707);
  ASSERT_EQ(tq_locale_set(b, 39276), 0);
  tq_close(a);
  // The clone still sees what the shared state holds.
  EXPECT_EQ(parent_of(b, 39276), 39000);
  tq_close(b);
}

TEST(LocaleLoad, ClonesReadOnTwoThreadsWhileAThirdLoads) {
  LocaleKb kb;
  tq_context* a = nullptr;
  ASSERT_EQ(tq_init(&a, kb.dir.str().c_str()), 0);
  kb.standard(a);
  ASSERT_EQ(tq_zel_locale_load(a, 800000, 0), 0);
  tq_context* b = nullptr;
  tq_context* c = nullptr;
  ASSERT_EQ(tq_clone(a, &b), 0);
  ASSERT_EQ(tq_clone(a, &c), 0);
  std::atomic<int> bad{0};
  auto reader = [&](tq_context* ctx) {
    for (int i = 0; i < 300; ++i) {
      int32_t parent = 0;
      if (tq_parent_locale_get(ctx, 800000, &parent) != 0 || parent != -1) bad++;
    }
  };
  std::thread t1(reader, b);
  std::thread t2(reader, c);
  for (int i = 0; i < 30; ++i) {
    if (tq_zel_locale_load(a, 39276, 0) != 0) bad++;
    if (tq_zel_locale_unload(a, 39276) != 0) bad++;
  }
  t1.join();
  t2.join();
  EXPECT_EQ(bad.load(), 0);
  tq_close(b);
  tq_close(c);
  tq_close(a);
}

}  // namespace

// A knowledge base reached through symbolic links: one editor per file
// whatever name reaches it, and a file whose place (the end of its links,
// the folder holding it) cannot be looked at fails the call that needed
// it, with nothing left locked under another key.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/npfio.h"
#include "support/sample_locales.h"
#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;
using tq_test::kEveryPart;
using tq_test::kSampleEnusa;

// An edit-mode context on a root, with a lock handle.
struct Editor {
  tq_context* ctx = nullptr;
  tq_lock_handle* lock = nullptr;
  explicit Editor(const fs::path& root) {
    const std::string text = root.string();
    EXPECT_GE(tq_init_edit_mode(&ctx, text.c_str()), 0);
    EXPECT_GE(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
    EXPECT_GE(tq_zel_path_set(ctx, text.c_str()), 0);
    EXPECT_EQ(tq_lock_init(ctx, &lock), 0);
  }
  ~Editor() {
    tq_lock_free(ctx, lock);
    tq_close(ctx);
  }
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;
  uint32_t entries(int32_t scheme) {
    uint32_t count = 0;
    EXPECT_EQ(tq_scheme_element_count_get(ctx, scheme, &count), 0);
    return count;
  }
};

// The sample's nickname scheme lives outside the knowledge base, which
// reaches it through a link; a second editor is refused by every name of
// the file, and the first one's change is there for the next.
TEST(LinkedKb, OneEditorPerFileWhateverNameReachesIt) {
  tq_test::SampleKbCopy kb;
  tq_test::TempDir elsewhere;
  const fs::path link = kb / "scheme/en_nickname.sch.zel";
  const fs::path target = elsewhere / "nick.sch.zel";
  fs::copy_file(link, target);
  fs::remove(link);
  fs::create_symlink(target, link);

  Editor first(kb.path());
  Editor second(kb.path());
  // Each load reads (and locks) its file at once, not at first use.
  for (Editor* e : {&first, &second}) tq_options_set(e->ctx, tq_options_get(e->ctx) | TQ_OPT_PREPARE_ON_READ);
  int32_t a = -1;
  ASSERT_EQ(tq_scheme_load_edit(first.ctx, "en_nickname", first.lock, &a), 0) << tq_test::error_list_text(first.ctx);
  EXPECT_TRUE(fs::exists(target.string() + ".lck"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(link.string() + ".lck")));
  const uint32_t before = first.entries(a);

  const std::string by_target = (elsewhere / "nick").string();
  const std::string names[] = {"en_nickname", by_target, (kb / "scheme/en_nickname").string(),
                               fs::relative(elsewhere / "nick").string()};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    int32_t b = -1;
    EXPECT_EQ(tq_scheme_load_edit(second.ctx, name.c_str(), second.lock, &b), -401);
    char path[TQ_PATH_MAX + 1];
    EXPECT_EQ(tq_lock_create(second.ctx, (name + ".sch").c_str(), 7, second.lock, path), -401);
  }

  ASSERT_GE(tq_scheme_entry_add(first.ctx, a, "BOBBIE", "ROBERT"), 0);
  ASSERT_EQ(tq_scheme_write(first.ctx, a, first.lock), 0) << tq_test::error_list_text(first.ctx);
  EXPECT_TRUE(fs::is_symlink(link));
  ASSERT_EQ(tq_scheme_close(first.ctx, first.lock), 0);
  EXPECT_FALSE(fs::exists(target.string() + ".lck"));

  // The second editor, by the target's own name, finds the first one's
  // entry and adds its own; read through the link, both are there.
  int32_t b = -1;
  ASSERT_EQ(tq_scheme_load_edit(second.ctx, by_target.c_str(), second.lock, &b), 0)
      << tq_test::error_list_text(second.ctx);
  EXPECT_EQ(second.entries(b), before + 1);
  ASSERT_GE(tq_scheme_entry_add(second.ctx, b, "BILLIE", "WILLIAM"), 0);
  ASSERT_EQ(tq_scheme_write(second.ctx, b, second.lock), 0) << tq_test::error_list_text(second.ctx);
  ASSERT_EQ(tq_scheme_close(second.ctx, second.lock), 0);
  Editor third(kb.path());
  int32_t c = -1;
  ASSERT_EQ(tq_scheme_load_edit(third.ctx, "en_nickname", third.lock, &c), 0) << tq_test::error_list_text(third.ctx);
  EXPECT_EQ(third.entries(c), before + 2);
}

// Every lstat of the file layer (the look at each link of a chain) fails
// with the row's error while the call runs.
int g_lstat_error = 0;
int lstat_fails(const char* call) { return std::string(call) == "lstat" ? g_lstat_error : 0; }

// A call that needs a file's place fails when it cannot be had (-600 or
// the system's cause, never a refusal of another kind), and the next call
// under the same handle works: nothing was locked, or looked for, under
// another key. A save needs no look: it writes the place its lock holds.
TEST(LinkedKb, NoPlaceFailsTheCallThatNeededIt) {
  struct Road {
    const char* name;
    std::function<bool(Editor&)> setup;
    std::function<int32_t(Editor&)> call;
    std::function<int32_t(Editor&)> next;  // under the same handle
    bool looks = true;  // whether the call looks the file up (a save writes the place its lock holds)
  };
  auto load_edit = [](Editor& e) { return tq_zel_locale_load_edit(e.ctx, kSampleEnusa, kEveryPart, e.lock); };
  auto write = [](Editor& e) { return tq_locale_write(e.ctx, kSampleEnusa, e.lock); };
  const Road roads[] = {
      {"load for editing", [](Editor&) { return true; }, load_edit, load_edit},
      {"lock", [](Editor&) { return true; },
       [](Editor& e) { return tq_lock_create(e.ctx, "enusa.loc", 7, e.lock, nullptr); }, load_edit},
      {"locale write", [&](Editor& e) { return load_edit(e) == 0; }, write, write, false},
  };
  const struct {
    int error;
    int32_t rc;
    const char* text;
  } causes[] = {{ENOMEM, -600, "Out of memory"}, {EIO, -400, "Input/output error"}};
  for (const Road& road : roads) {
    for (const auto& cause : causes) {
      SCOPED_TRACE(std::string(road.name) + ": " + cause.text);
      tq_test::TempDir dir;
      fs::copy(TQ_SAMPLE_KB, dir / "kb", fs::copy_options::recursive);
      fs::create_directory_symlink(dir / "kb", dir / "link");
      Editor e(dir / "link");
      ASSERT_TRUE(road.setup(e)) << tq_test::error_list_text(e.ctx);
      g_lstat_error = cause.error;
      np_fio_fault_set(&lstat_fails);
      const int32_t rc = road.call(e);
      np_fio_fault_set(nullptr);
      const std::string text = tq_test::error_list_text(e.ctx);
      EXPECT_EQ(rc, road.looks ? cause.rc : 0) << text;
      if (road.looks) {
        EXPECT_NE(text.find(cause.text), std::string::npos) << text;
      }
      EXPECT_EQ(road.next(e), 0) << tq_test::error_list_text(e.ctx);
    }
  }
}

}  // namespace

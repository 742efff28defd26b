// Lock files through the exported interface.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;
namespace fs = std::filesystem;

struct Kb {
  TempDir dir;
  Kb() { dir.write("locale/de.loc.zel", "guarded"); }
  std::string root() const { return dir.str(); }
  fs::path file() const { return dir / "locale" / "de.loc.zel"; }
  fs::path lock() const { return dir / "locale" / "de.loc.zel.lck"; }
};

TEST(Lock, CreateResolvesAndMakesTheLockFile) {
  Kb kb;
  Context ctx(kb.root().c_str(), true);
  tq_lock_handle* h = nullptr;
  ASSERT_EQ(tq_lock_init(ctx, &h), 0);
  ASSERT_NE(h, nullptr);
  char path[TQ_PATH_MAX + 2];
  ASSERT_TQ_OK(ctx, tq_lock_create(ctx, "de.loc", 7, h, path));
  EXPECT_EQ(std::string(path), kb.file().string());
  ASSERT_TRUE(fs::exists(kb.lock()));
  EXPECT_EQ(fs::file_size(kb.lock()), 0u);
  EXPECT_EQ(tq_test::read_file(kb.file()), "guarded");
  // The last release removes the lock file.
  EXPECT_EQ(tq_lock_free(ctx, h), 0);
  EXPECT_FALSE(fs::exists(kb.lock()));
  EXPECT_EQ(tq_lock_free(ctx, nullptr), 0);

  ASSERT_EQ(tq_lock_init(ctx, &h), 0);
  EXPECT_EQ(tq_lock_create(ctx, "missing.loc", 7, h, nullptr), -404);
  EXPECT_EQ(tq_lock_create(ctx, "de.loc", 4, h, nullptr), -404);
  EXPECT_EQ(tq_lock_create(ctx, "de.loc", 7, h, nullptr), 0);
  EXPECT_EQ(tq_lock_free(ctx, h), 0);
}

TEST(Lock, TwoHandlesOfOneContextShareOneLockFile) {
  Kb kb;
  Context ctx(kb.root().c_str(), true);
  tq_lock_handle* a = nullptr;
  tq_lock_handle* b = nullptr;
  ASSERT_EQ(tq_lock_init(ctx, &a), 0);
  ASSERT_EQ(tq_lock_init(ctx, &b), 0);
  ASSERT_EQ(tq_lock_create(ctx, "de.loc", 7, a, nullptr), 0);
  ASSERT_EQ(tq_lock_create(ctx, "de.loc", 7, b, nullptr), 0);
  EXPECT_EQ(tq_lock_free(ctx, a), 0);
  EXPECT_TRUE(fs::exists(kb.lock()));
  EXPECT_EQ(tq_lock_free(ctx, b), 0);
  EXPECT_FALSE(fs::exists(kb.lock()));
}

TEST(Lock, AnotherContextFindsTheFileLocked) {
  Kb kb;
  Context one(kb.root().c_str(), true);
  Context two(kb.root().c_str(), true);
  tq_lock_handle* a = nullptr;
  tq_lock_handle* b = nullptr;
  ASSERT_EQ(tq_lock_init(one, &a), 0);
  ASSERT_EQ(tq_lock_init(two, &b), 0);
  ASSERT_EQ(tq_lock_create(one, "de.loc", 7, a, nullptr), 0);
  EXPECT_EQ(tq_lock_create(two, "de.loc", 7, b, nullptr), -401);

  // A handle belongs to the context that made it.
  EXPECT_EQ(tq_lock_free(two, a), -802);
  int32_t code = 0;
  char text[TQ_ERROR_TEXT_MAX + 2];
  tq_error_info_get(two, &code, text);
  EXPECT_EQ(code, -802);
  EXPECT_STREQ(text, "The lock handle belongs to another context.");
  EXPECT_EQ(tq_lock_create(two, "de.loc", 7, a, nullptr), -802);
  EXPECT_TRUE(fs::exists(kb.lock()));

  EXPECT_EQ(tq_lock_free(one, a), 0);
  EXPECT_EQ(tq_lock_create(two, "de.loc", 7, b, nullptr), 0);
  EXPECT_TRUE(fs::exists(kb.lock()));
  EXPECT_EQ(tq_lock_free(two, b), 0);
  EXPECT_FALSE(fs::exists(kb.lock()));
}

TEST(Lock, AnotherProcessFindsTheFileLocked) {
  Kb kb;
  Context ctx(kb.root().c_str(), true);
  tq_lock_handle* h = nullptr;
  ASSERT_EQ(tq_lock_init(ctx, &h), 0);
  ASSERT_EQ(tq_lock_create(ctx, "de.loc", 7, h, nullptr), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    tq_context* other = nullptr;
    tq_lock_handle* mine = nullptr;
    int ok = tq_init_edit_mode(&other, kb.root().c_str()) == 0 && tq_lock_init(other, &mine) == 0 &&
             tq_lock_create(other, "de.loc", 7, mine, nullptr) == -401;
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(tq_lock_free(ctx, h), 0);
}

TEST(Lock, WithoutLockFilesNothingIsMadeButThePathIsGiven) {
  Kb kb;
  Context ctx(kb.root().c_str(), true);
  tq_options_set(ctx, tq_options_get(ctx) | TQ_OPT_NO_LOCK_FILES);
  tq_lock_handle* h = nullptr;
  ASSERT_EQ(tq_lock_init(ctx, &h), 0);
  char path[TQ_PATH_MAX + 2];
  ASSERT_EQ(tq_lock_create(ctx, "de.loc", 7, h, path), 0);
  EXPECT_EQ(std::string(path), kb.file().string());
  EXPECT_FALSE(fs::exists(kb.lock()));
  EXPECT_EQ(tq_lock_free(ctx, h), 0);
}

TEST(Lock, CloseReleasesWhatIsStillHeld) {
  Kb kb;
  kb.dir.write("scheme/s.xml", "x");
  tq_context* ctx = nullptr;
  ASSERT_EQ(tq_init_edit_mode(&ctx, kb.root().c_str()), 0);
  tq_lock_handle* h = nullptr;
  ASSERT_EQ(tq_lock_init(ctx, &h), 0);
  ASSERT_EQ(tq_lock_create(ctx, "de.loc", 7, h, nullptr), 0);
  ASSERT_EQ(tq_lock_create(ctx, "s", 3, h, nullptr), 0);
  EXPECT_TRUE(fs::exists(kb.dir / "scheme" / "s.xml.lck"));
  EXPECT_EQ(tq_close(ctx), 0);
  EXPECT_FALSE(fs::exists(kb.lock()));
  EXPECT_FALSE(fs::exists(kb.dir / "scheme" / "s.xml.lck"));
  std::free(h);  // the caller's handle outlived its context
}

}  // namespace

// Lock files and the context's lock table, below the exports.
#include <cerrno>
#include <filesystem>
#include <string>

#include "kbstore/krlock.h"
#include "platform/npfio.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using tq_test::BareContext;
using tq_test::TempDir;
namespace fs = std::filesystem;

// A context with a lock table whose search path is one folder.
struct LockContext {
  BareContext bc;
  explicit LockContext(const fs::path& dir) : bc(dir.string()) {}
  tq_context* get() { return bc.get(); }
  lock_handle handle() {
    lock_handle h{};
    h.owner = bc.get();
    return h;
  }
};

TEST(LockFiles, PrimaryAndFurtherFiles) {
  TempDir kb;
  kb.write("locale/de.loc.zel", "x");
  kb.write("locale/en.loc.zel", "x");
  fs::path dir = kb / "locale";
  LockContext lc(dir);
  lock_handle h = lc.handle();
  char path[kLockPathSize];

  ASSERT_EQ(lock_file_create(lc.get(), "de.loc", kFioKindZel, &h, path, sizeof path), 0);
  EXPECT_EQ(std::string(path), (dir / "de.loc.zel").string());
  EXPECT_TRUE(fs::exists(dir / "de.loc.zel.lck"));
  EXPECT_EQ(fs::file_size(dir / "de.loc.zel.lck"), 0u);
  EXPECT_EQ(h.held, 1u);

  // A second file joins as a further one; asking again changes nothing.
  ASSERT_EQ(lock_file_create(lc.get(), "en.loc", kFioKindZel, &h, path, sizeof path), 0);
  ASSERT_EQ(lock_add(&h, lc.get(), "en.loc", kFioKindZel, path, sizeof path), 0);
  ASSERT_EQ(lock_add(&h, lc.get(), "de.loc", kFioKindZel, path, sizeof path), 0);
  EXPECT_EQ(h.further_count, 1u);
  EXPECT_EQ(h.primary->ref_count, 1u);
  EXPECT_TRUE(fs::exists(dir / "en.loc.zel.lck"));

  uint32_t held = 9;
  ASSERT_EQ(lock_is_held_for(lc.get(), "en.loc", kFioKindZel, &h, &held, path, sizeof path), 0);
  EXPECT_EQ(held, 1u);
  EXPECT_EQ(std::string(path), (dir / "en.loc.zel").string());
  EXPECT_EQ(lock_is_held_for(lc.get(), "xx.loc", kFioKindZel, &h, &held, path, sizeof path), -404);
  EXPECT_EQ(held, 0u);
  ASSERT_EQ(lock_path_get(lc.get(), &h, path, sizeof path), 0);
  EXPECT_EQ(std::string(path), (dir / "de.loc.zel").string());
  EXPECT_EQ(lock_path_get(lc.get(), &h, path, 8), -1);

  ASSERT_EQ(lock_release_all(lc.get(), &h), 0);
  EXPECT_FALSE(fs::exists(dir / "de.loc.zel.lck"));
  EXPECT_FALSE(fs::exists(dir / "en.loc.zel.lck"));
  EXPECT_EQ(h.held, 0u);
  EXPECT_EQ(lock_release_all(lc.get(), &h), -603);
  EXPECT_EQ(lc.bc.last_error(), "The lock handle holds no lock.");
  EXPECT_EQ(lock_path_get(lc.get(), &h, path, sizeof path), -603);
  EXPECT_EQ(lock_add(&h, lc.get(), "de.loc", kFioKindZel, path, sizeof path), -603);
  ASSERT_EQ(lock_is_held_for(lc.get(), "de.loc", kFioKindZel, &h, &held, path, sizeof path), 0);
  EXPECT_EQ(held, 0u);
  EXPECT_STREQ(path, "");
}

TEST(LockFiles, TenFurtherFilesAtMost) {
  TempDir kb;
  // Built with append: GCC 12 at -O2 and above warns falsely (-Wrestrict) on "literal" + temporary string.
  for (int i = 0; i < 12; ++i) kb.write(std::string("f").append(std::to_string(i)).append(".xml"), "x");
  LockContext lc(kb.path());
  lock_handle h = lc.handle();
  for (int i = 0; i < 11; ++i) {
    ASSERT_EQ(lock_file_create(lc.get(), std::string("f").append(std::to_string(i)).c_str(), kFioKindXml, &h, nullptr, 0), 0);
  }
  EXPECT_EQ(lock_file_create(lc.get(), "f11", kFioKindXml, &h, nullptr, 0), -401);
  EXPECT_FALSE(fs::exists(kb / "f11.xml.lck"));
  // A file the handle already holds is still reported as held.
  EXPECT_EQ(lock_add(&h, lc.get(), "f3", kFioKindXml, nullptr, 0), 0);
  ASSERT_EQ(lock_release_all(lc.get(), &h), 0);
  for (int i = 0; i < 12; ++i) EXPECT_FALSE(fs::exists(kb / std::string("f").append(std::to_string(i)).append(".xml.lck")));
}

TEST(LockFiles, SharedEntriesAndConflicts) {
  TempDir kb;
  kb.write("a.xml", "guarded");
  kb.write("A.xml", "other");
  fs::create_directories(kb / "sub");
  LockContext one(kb.path());
  LockContext two(kb.path());

  // Two spellings of one file share one entry and one lock file.
  lock_handle h1 = one.handle();
  lock_handle h2 = one.handle();
  ASSERT_EQ(lock_file_create(one.get(), "a", kFioKindXml, &h1, nullptr, 0), 0);
  std::string other_spelling = (kb / "sub" / ".." / "a.xml").string();
  ASSERT_EQ(lock_file_create(one.get(), other_spelling.c_str(), kFioKindXml, &h2, nullptr, 0), 0);
  EXPECT_EQ(h1.primary, h2.primary);
  EXPECT_EQ(h1.primary->ref_count, 2u);

  // Files whose names differ only in case are different files here.
  lock_handle h3 = one.handle();
  ASSERT_EQ(lock_file_create(one.get(), "A", kFioKindXml, &h3, nullptr, 0), 0);
  EXPECT_NE(h3.primary, h1.primary);
  EXPECT_TRUE(fs::exists(kb / "A.xml.lck"));

  // Another context finds the lock file locked until the last release.
  lock_handle h4 = two.handle();
  EXPECT_EQ(lock_file_create(two.get(), "a", kFioKindXml, &h4, nullptr, 0), -401);
  EXPECT_EQ(h4.held, 0u);
  ASSERT_EQ(lock_release_all(one.get(), &h1), 0);
  EXPECT_TRUE(fs::exists(kb / "a.xml.lck"));
  EXPECT_EQ(lock_file_create(two.get(), "a", kFioKindXml, &h4, nullptr, 0), -401);
  ASSERT_EQ(lock_release_all(one.get(), &h2), 0);
  EXPECT_FALSE(fs::exists(kb / "a.xml.lck"));
  ASSERT_EQ(lock_file_create(two.get(), "a", kFioKindXml, &h4, nullptr, 0), 0);
  EXPECT_EQ(tq_test::read_file(kb / "a.xml"), "guarded");

  // A handle of another context is refused.
  EXPECT_EQ(lock_release_all(one.get(), &h4), -802);
  EXPECT_EQ(one.bc.last_error(), "The lock handle belongs to another context.");
  EXPECT_EQ(lock_file_create(one.get(), "A", kFioKindXml, &h4, nullptr, 0), -802);

  // Freeing the table releases what is still held (h3 and h4).
  lock_table_free(one.get());
  EXPECT_FALSE(fs::exists(kb / "A.xml.lck"));
  EXPECT_TRUE(fs::exists(kb / "a.xml.lck"));
  lock_table_free(two.get());
  EXPECT_FALSE(fs::exists(kb / "a.xml.lck"));
}

TEST(LockFiles, FailuresToLock) {
  TempDir kb;
  kb.write("a.xml", "x");
  kb.write("b.xml", "x");
  kb.write("keep.lck", "precious");
  fs::create_directories(kb / "b.xml.lck");  // the lock file cannot be made
  LockContext lc(kb.path());
  lock_handle h = lc.handle();
  EXPECT_EQ(lock_file_create(lc.get(), "missing", kFioKindXml, &h, nullptr, 0), -404);
  EXPECT_EQ(lock_file_create(lc.get(), "a", 99, &h, nullptr, 0), -802);
  EXPECT_EQ(lock_file_create(lc.get(), "", kFioKindXml, &h, nullptr, 0), -802);
  EXPECT_EQ(lock_file_create(lc.get(), "b", kFioKindXml, &h, nullptr, 0), -400);
  EXPECT_EQ(h.held, 0u);
  char small[4];
  EXPECT_EQ(lock_file_create(lc.get(), "a", kFioKindXml, &h, small, sizeof small), -1);
  EXPECT_EQ(h.held, 0u);
  EXPECT_FALSE(fs::exists(kb / "a.xml.lck"));

  // A guarded file that is itself a ".lck" file gets a lock file of its
  // own and is never emptied.
  ASSERT_EQ(lock_file_create(lc.get(), "keep", kFioKindLck, &h, nullptr, 0), 0);
  EXPECT_TRUE(fs::exists(kb / "keep.lck.lck"));
  EXPECT_EQ(tq_test::read_file(kb / "keep.lck"), "precious");
  ASSERT_EQ(lock_release_all(lc.get(), &h), 0);
  EXPECT_EQ(tq_test::read_file(kb / "keep.lck"), "precious");
}

TEST(LockFiles, WithoutLockFilesTheFileIsStillRecorded) {
  TempDir kb;
  kb.write("a.xml", "x");
  LockContext lc(kb.path());
  LockContext other(kb.path());
  lc.bc.ctx.options |= kOptNoLockFiles;
  lock_handle h = lc.handle();
  char path[kLockPathSize];
  ASSERT_EQ(lock_file_create(lc.get(), "a", kFioKindXml, &h, path, sizeof path), 0);
  EXPECT_EQ(std::string(path), (kb / "a.xml").string());
  EXPECT_FALSE(fs::exists(kb / "a.xml.lck"));
  uint32_t held = 0;
  ASSERT_EQ(lock_is_held_for(lc.get(), "a", kFioKindXml, &h, &held, path, sizeof path), 0);
  EXPECT_EQ(held, 1u);
  ASSERT_EQ(lock_path_get(lc.get(), &h, path, sizeof path), 0);
  EXPECT_EQ(std::string(path), (kb / "a.xml").string());

  // A handle taken after the option is cleared makes the lock file that the
  // entry lacks, so the file is guarded from then on.
  lc.bc.ctx.options &= ~kOptNoLockFiles;
  lock_handle h2 = lc.handle();
  ASSERT_EQ(lock_file_create(lc.get(), "a", kFioKindXml, &h2, nullptr, 0), 0);
  EXPECT_TRUE(fs::exists(kb / "a.xml.lck"));
  lock_handle h3 = other.handle();
  EXPECT_EQ(lock_file_create(other.get(), "a", kFioKindXml, &h3, nullptr, 0), -401);
  ASSERT_EQ(lock_release_all(lc.get(), &h), 0);
  ASSERT_EQ(lock_release_all(lc.get(), &h2), 0);
  EXPECT_FALSE(fs::exists(kb / "a.xml.lck"));
}

// One file, whatever name reaches it (a link to it, its own path, absolute
// or relative, another spelling of its folders), has one entry in a
// context's table and one lock file, beside the file itself: another
// context is refused by every name, and the context that holds it shares
// its entry.
TEST(LockFiles, OneLockWhateverNameReachesTheFile) {
  TempDir kb;
  kb.write("real/a.xml", "x");
  fs::create_directories(kb / "links");
  fs::create_symlink(kb / "real" / "a.xml", kb / "links" / "a.xml");
  LockContext one(kb / "links");
  LockContext two(kb / "real");
  lock_handle h1 = one.handle();
  char path[kLockPathSize];
  ASSERT_EQ(lock_file_create(one.get(), "a", kFioKindXml, &h1, path, sizeof path), 0);
  EXPECT_EQ(std::string(path), (kb / "links" / "a.xml").string());
  EXPECT_TRUE(fs::exists(kb / "real" / "a.xml.lck"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(kb / "links" / "a.xml.lck")));
  const std::string names[] = {"a", (kb / "real" / "a.xml").string(), (kb / "links" / "a.xml").string(),
                               fs::relative(kb / "real" / "a.xml").string(),
                               (kb / "links" / ".." / "real" / "a.xml").string()};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    lock_handle other = two.handle();
    EXPECT_EQ(lock_file_create(two.get(), name.c_str(), kFioKindXml, &other, nullptr, 0), -401);
    EXPECT_EQ(other.held, 0u);
    lock_handle same = one.handle();
    ASSERT_EQ(lock_file_create(one.get(), name.c_str(), kFioKindXml, &same, nullptr, 0), 0);
    EXPECT_EQ(same.primary, h1.primary);
    uint32_t held = 0;
    EXPECT_EQ(lock_is_held_for(one.get(), name.c_str(), kFioKindXml, &h1, &held, nullptr, 0), 0);
    EXPECT_EQ(held, 1u);
    ASSERT_EQ(lock_release_all(one.get(), &same), 0);
  }
  ASSERT_EQ(lock_release_all(one.get(), &h1), 0);
  EXPECT_FALSE(fs::exists(kb / "real" / "a.xml.lck"));
  lock_handle h2 = two.handle();
  EXPECT_EQ(lock_file_create(two.get(), "a", kFioKindXml, &h2, nullptr, 0), 0);
}

// A file whose place (the end of its links, the folder holding it) cannot
// be looked at is neither locked nor looked up under any other key: the
// call fails with the cause, the handle keeps what it held, and the next
// call finds the file as usual.
int g_lstat_error = 0;
int lstat_fails(const char* call) { return std::string(call) == "lstat" ? g_lstat_error : 0; }

TEST(LockFiles, NoPlaceNoLock) {
  TempDir kb;
  kb.write("a.xml", "x");
  kb.write("b.xml", "x");
  LockContext lc(kb.path());
  lock_handle h = lc.handle();
  ASSERT_EQ(lock_file_create(lc.get(), "a", kFioKindXml, &h, nullptr, 0), 0);
  const struct {
    int error;
    int32_t rc;
    const char* text;
  } rows[] = {{ENOMEM, -600, "Out of memory while looking for where the file"},
              {EIO, -400, "Input/output error"},
              {ELOOP, -400, "Too many levels of symbolic links"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    g_lstat_error = row.error;
    np_fio_fault_set(&lstat_fails);
    lock_handle fresh = lc.handle();
    const int32_t created = lock_file_create(lc.get(), "b", kFioKindXml, &fresh, nullptr, 0);
    const std::string created_text = lc.bc.last_error();
    const int32_t added = lock_add(&h, lc.get(), "b", kFioKindXml, nullptr, 0);
    uint32_t held = 9;
    const int32_t looked_up = lock_is_held_for(lc.get(), "a", kFioKindXml, &h, &held, nullptr, 0);
    np_fio_fault_set(nullptr);
    EXPECT_EQ(created, row.rc);
    EXPECT_NE(created_text.find(row.text), std::string::npos) << created_text;
    EXPECT_EQ(fresh.held, 0u);
    EXPECT_FALSE(fs::exists(kb / "b.xml.lck"));
    EXPECT_EQ(added, row.rc);
    EXPECT_EQ(h.further_count, 0u);
    EXPECT_EQ(looked_up, row.rc);
    EXPECT_EQ(held, 0u);
  }
  uint32_t held = 0;
  EXPECT_EQ(lock_is_held_for(lc.get(), "a", kFioKindXml, &h, &held, nullptr, 0), 0);
  EXPECT_EQ(held, 1u);
  EXPECT_EQ(lock_add(&h, lc.get(), "b", kFioKindXml, nullptr, 0), 0);
  EXPECT_TRUE(fs::exists(kb / "b.xml.lck"));
  ASSERT_EQ(lock_release_all(lc.get(), &h), 0);
}

}  // namespace

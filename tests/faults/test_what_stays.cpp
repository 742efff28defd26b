// What a release, a failed lock and a failed save leave beside the file,
// and what they say of it. A lock file is all that keeps a second editor
// out: a release removes its own lock file, not one another editor made at
// its name before it looked, and says (120) that its own was removed or
// replaced while held; a lock file or temporary file the system will not
// remove stays, named in the error list (a release answers 119 for it).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "faults/edit_kinds.h"
#include "platform/npfio.h"
#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;
using held_kinds::Editor;

// A system call of the file layer failed with `error`: every one of that
// name, or only one made right after a call named `after`.
struct Fault {
  const char* call;
  int error;
  const char* after = nullptr;
};

// Another editor's lock file, made and locked by hand at the lock file's
// name (ours removed, or moved to `moved`, first), as a second program
// would after ours was taken away while we held it.
struct Other {
  int fd = -1;
  void take(const fs::path& lck, const fs::path& moved = {}) {
    if (moved.empty()) {
      fs::remove(lck);
    } else {
      fs::rename(lck, moved);
    }
    fd = ::open(lck.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  }
  ~Other() {
    if (fd >= 0) ::close(fd);
  }
};

thread_local const std::vector<Fault>* t_faults = nullptr;
thread_local std::string t_previous;
// Made once, just before the release removes its lock file's name.
thread_local std::function<void()> t_at_removal;

int hook(const char* call) {
  if (t_at_removal && std::strcmp(call, "unlinkat") == 0) {
    std::function<void()> act = std::move(t_at_removal);
    t_at_removal = nullptr;
    act();
  }
  int error = 0;
  for (const Fault& f : *t_faults) {
    if (std::strcmp(call, f.call) == 0 && (f.after == nullptr || t_previous == f.after)) error = f.error;
  }
  t_previous = call;
  return error;
}

enum class Step { close, lock_free, lock, save };

struct Row {
  const char* name;
  Step step;
  std::vector<Fault> faults;
  // Before the step (hand: the lock file removed; other: another editor's
  // lock file at its name), or between the release's look at its lock
  // file and its removal (other_at_removal: ours moved away by hand).
  enum { none, hand, other, other_at_removal } before;
  int32_t rc;
  std::vector<const char*> said;
  std::set<std::string> left;  // lock and temporary files in the folder, digits as N
  int32_t next_lock;           // what a third editor's lock of the file gives afterwards
};

std::set<std::string> left_in(const fs::path& folder) {
  std::set<std::string> left;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.find(".lck") != std::string::npos || name.find(".~tq") != std::string::npos) {
      left.insert(std::regex_replace(name, std::regex("[0-9]+"), "N"));
    }
  }
  return left;
}

TEST(WhatStays, ReleasesLocksAndSavesNameWhatTheyLeave) {
  const char* lck = "en_name.zel.lck";
  const Row rows[] = {
      // A release whose lock file cannot be removed: the file is released
      // all the same, its lock file stays and keeps no one out.
      {"folder made read-only", Step::close, {{"unlinkat", EROFS}}, Row::none, 119,
       {"chopinfo/en_name.zel.lck' could not be removed (Read-only file system)"}, {lck}, 0},
      {"I/O error at the removal", Step::lock_free, {{"unlinkat", EIO}}, Row::none, 119,
       {"chopinfo/en_name.zel.lck' could not be removed (Input/output error)"}, {lck}, 0},
      // Someone else's doing while the lock was held: said, and whatever
      // has the name now is left, another editor's lock file too.
      {"removed by hand", Step::lock_free, {}, Row::hand, 120,
       {"chopinfo/en_name.zel.lck' was removed or replaced by someone else"}, {}, 0},
      {"another editor's lock file since", Step::close, {}, Row::other, 120,
       {"chopinfo/en_name.zel.lck' was removed or replaced by someone else"}, {lck}, -401},
      // Made in the moment between the release's look and its removal,
      // which removes it (by name, as the system removes files): said.
      {"another editor's lock file at the removal", Step::close, {}, Row::other_at_removal, 120,
       {"chopinfo/en_name.zel.lck' was removed or replaced by someone else",
        "The release then removed another editor's lock file"},
       {"en_name.zel.lck.moved"}, 0},
      // A lock file made (or found) whose lock, identity or emptying fails.
      {"lock file not locked", Step::lock, {{"flock", EIO}}, Row::none, -400,
       {"chopinfo/en_name.zel.lck' is there, but could not be taken: Input/output error. It stays"}, {lck}, 0},
      {"lock file not looked at", Step::lock, {{"fstat", EIO, "openat"}}, Row::none, -400,
       {"chopinfo/en_name.zel.lck' is there, but could not be taken: Input/output error. It stays"}, {lck}, 0},
      {"lock file not emptied", Step::lock, {{"ftruncate", EIO}}, Row::none, -400,
       {"chopinfo/en_name.zel.lck' is there, but could not be taken: Input/output error. It stays"}, {lck}, 0},
      // A save's temporary file made, then failed, and not removable.
      {"temporary file not locked", Step::save, {{"flock", EIO, "openat"}, {"unlinkat", EIO}}, Row::none, -400,
       {"A temporary file was made beside '", "chopinfo/en_name.zel', but could not be readied for the write",
        "chopinfo/en_name.zel.~tq", "' could not be removed (Input/output error)"},
       {lck, "en_name.zel.~tqN.N"}, -401},
      {"temporary file not looked at", Step::save, {{"fstat", EIO, "flock"}, {"unlinkat", EIO}}, Row::none, -400,
       {"chopinfo/en_name.zel', but could not be readied for the write: Input/output error",
        "chopinfo/en_name.zel.~tq", "' could not be removed (Input/output error)"},
       {lck, "en_name.zel.~tqN.N"}, -401},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    tq_test::SampleKbCopy kb;
    const fs::path folder = kb / "chopinfo";
    const fs::path file = folder / "en_name.zel";
    Editor a(kb.path());
    if (row.step != Step::lock) {
      ASSERT_EQ(tq_chopper_edit(a.ctx, "en_name", a.lock, &a.index), 0) << tq_test::error_list_text(a.ctx);
    }
    Other other;
    if (row.before == Row::hand) fs::remove(folder / lck);
    if (row.before == Row::other) other.take(folder / lck);
    if (row.before == Row::other_at_removal) {
      t_at_removal = [&] { other.take(folder / lck, folder / "en_name.zel.lck.moved"); };
    }
    t_faults = &row.faults;
    t_previous.clear();
    np_fio_fault_set(&hook);
    int32_t rc = 0;
    switch (row.step) {
      case Step::close: rc = tq_chopper_close(a.ctx, a.lock); break;
      case Step::lock_free:
        rc = tq_lock_free(a.ctx, a.lock);
        a.lock = nullptr;
        break;
      case Step::lock: rc = tq_lock_create(a.ctx, file.c_str(), 7, a.lock, nullptr); break;
      case Step::save: rc = tq_chopper_save(a.ctx, a.index, a.lock); break;
    }
    np_fio_fault_set(nullptr);
    t_at_removal = nullptr;
    const std::string said = tq_test::error_list_text(a.ctx);
    EXPECT_EQ(rc, row.rc) << said;
    for (const char* part : row.said) EXPECT_TRUE(tq_test::holds(said, part));
    EXPECT_EQ(left_in(folder), row.left);
    Editor c(kb.path());
    EXPECT_EQ(tq_lock_create(c.ctx, file.c_str(), 7, c.lock, nullptr), row.next_lock) << tq_test::error_list_text(c.ctx);
  }
}

// A locale's edit unload that gives back the handle's files says so too.
TEST(WhatStays, AnEditUnloadSaysItsLockFilesStay) {
  tq_test::SampleKbCopy kb;
  Editor a(kb.path());
  ASSERT_GE(tq_zel_locale_load_edit(a.ctx, held_kinds::kSampleEn, TQ_LOAD_DATATYPES, a.lock), 0)
      << tq_test::error_list_text(a.ctx);
  const std::vector<Fault> faults{{"unlinkat", EROFS}};
  t_faults = &faults;
  t_previous.clear();
  np_fio_fault_set(&hook);
  const int32_t rc = tq_zel_locale_unload_edit(a.ctx, held_kinds::kSampleEn, a.lock);
  np_fio_fault_set(nullptr);
  EXPECT_EQ(rc, 119) << tq_test::error_list_text(a.ctx);
  EXPECT_TRUE(tq_test::holds(tq_test::error_list_text(a.ctx), "locale/en.loc.zel.lck' could not be removed"));
}

}  // namespace

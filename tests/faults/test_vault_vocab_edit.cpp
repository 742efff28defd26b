// A compiled vocabulary edited through the vault-file family is locked as
// the vocabulary's own edit locks it, and its write goes to the file the
// lock holds: never to a file only opened, nor one another editor holds,
// nor to where the name leads once a link or a folder has moved.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/npfio.h"
#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;
using tq_test::Context;

constexpr const char* kFile = "vocab/en_gender.zev";

// The file as a write left it (a write replaces it by a new file), short
// enough to be shown.
std::string state_of(const fs::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return "none";
  return std::to_string(st.st_ino) + ":" + std::to_string(std::hash<std::string>{}(tq_test::read_file(file)));
}

bool written_by_a(const fs::path& file) {
  return tq_test::read_file(file).find("written by A") != std::string::npos;
}

TEST(VaultVocabEdit, OnlyTheEditsOwnLockIsWritten) {
  tq_test::SampleKbCopy kb;
  const fs::path file = kb / kFile;
  const std::string before = state_of(file);

  // Only opened: no lock, so nothing to write.
  Context a(kb.str().c_str(), true);
  tq_vault_file* h = nullptr;
  ASSERT_TQ_OK(a, tq_zel_vlt_file_open(a, "en_gender", 8, &h));
  ASSERT_TQ_OK(a, tq_zel_vlt_file_obj_name_set(a, h, "by A"));
  EXPECT_EQ(tq_zel_vlt_file_write(a, h), -603);
  EXPECT_TRUE(tq_test::holds(tq_test::error_list_text(a), "holds no lock"));
  EXPECT_TQ_OK(a, tq_zel_vlt_file_close(a, h));
  EXPECT_EQ(state_of(file), before);

  // B holds the vocabulary for editing: A's edit is refused and holds
  // nothing; B's save still writes.
  Context b(kb.str().c_str(), true);
  tq_options_set(b, tq_options_get(b) | TQ_OPT_PREPARE_ON_READ);
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(b, &lock), 0);
  int32_t index = -1;
  ASSERT_TQ_OK(b, tq_vocabulary_load(b, "en_gender", lock, &index));
  ASSERT_TRUE(fs::exists(file.string() + ".lck"));
  h = nullptr;
  EXPECT_EQ(tq_zel_vlt_file_edit(a, "en_gender", 8, &h), -401);
  EXPECT_NE(tq_zel_vlt_file_write(a, h), 0);
  EXPECT_TQ_OK(a, tq_zel_vlt_file_close(a, h));
  EXPECT_EQ(state_of(file), before);
  EXPECT_TRUE(fs::exists(file.string() + ".lck")) << "B's lock file went with A's handle";
  EXPECT_TQ_OK(b, tq_vocab_save(b, index, lock));
  EXPECT_NE(state_of(file), before);
  EXPECT_EQ(tq_lock_free(b, lock), 0);
}

// Between A's edit and A's write the name comes to lead to another file:
// its link is pointed elsewhere, or its folder renamed and a copy put in
// its place. The write goes to the file A holds; the other stays.
TEST(VaultVocabEdit, TheWriteGoesToTheFileHeld) {
  for (const bool link : {true, false}) {
    SCOPED_TRACE(link ? "link pointed elsewhere" : "folder renamed");
    tq_test::SampleKbCopy kb;
    tq_test::TempDir elsewhere;
    fs::path file = kb / kFile;
    fs::path held = file;
    if (link) {
      for (const char* t : {"t1", "t2"}) {
        fs::create_directories(elsewhere / t);
        fs::copy_file(file, elsewhere / t / file.filename());
      }
      fs::remove(file);
      held = elsewhere / "t1" / file.filename();
      fs::create_symlink(held, file);
    }
    Context a(kb.str().c_str(), true);
    tq_vault_file* h = nullptr;
    ASSERT_TQ_OK(a, tq_zel_vlt_file_edit(a, "en_gender", 8, &h));
    ASSERT_TQ_OK(a, tq_zel_vlt_file_obj_name_set(a, h, "written by A"));
    if (link) {
      fs::remove(file);
      fs::create_symlink(elsewhere / "t2" / file.filename(), file);
    } else {
      held = elsewhere / "old" / file.filename();
      fs::rename(file.parent_path(), held.parent_path());
      fs::copy(held.parent_path(), file.parent_path());
      fs::remove(file.string() + ".lck");
    }
    const std::string other = state_of(file);
    EXPECT_TQ_OK(a, tq_zel_vlt_file_write(a, h));
    EXPECT_TRUE(written_by_a(held));
    EXPECT_EQ(state_of(file), other);
    EXPECT_TQ_OK(a, tq_zel_vlt_file_close(a, h));
    EXPECT_FALSE(fs::exists(held.string() + ".lck"));
  }
}

// The link is pointed elsewhere between the lock and the read: at the
// first file call once the lock file of the file it led to is there. The
// edit reads the file it holds, never the one the name leads to by then.
struct Repoint {
  static inline fs::path link, held, other;
  static inline bool done = false;
  static int at_call(const char*) {
    if (!done && fs::exists(held.string() + ".lck")) {
      done = true;
      fs::remove(link);
      fs::create_symlink(other, link);
    }
    return 0;
  }
};

TEST(VaultVocabEdit, TheEditReadsTheFileItLocked) {
  tq_test::SampleKbCopy kb;
  tq_test::TempDir elsewhere;
  Repoint::link = kb / kFile;
  Repoint::held = elsewhere / "held.zev";
  Repoint::other = elsewhere / "other.zev";
  std::string bytes = tq_test::read_file(Repoint::link);
  std::ofstream(Repoint::held, std::ios::binary) << bytes;
  const size_t at = bytes.find("Given names");
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 5, "Other");
  std::ofstream(Repoint::other, std::ios::binary) << bytes;
  fs::remove(Repoint::link);
  fs::create_symlink(Repoint::held, Repoint::link);

  tq_test::Context a(kb.str().c_str(), true);
  tq_vault_file* h = nullptr;
  np_fio_fault_set(Repoint::at_call);
  const int32_t rc = tq_zel_vlt_file_edit(a, "en_gender", 8, &h);
  np_fio_fault_set(nullptr);
  ASSERT_EQ(rc, 0) << tq_test::error_list_text(a);
  EXPECT_TRUE(Repoint::done) << "no lock file was made";
  char text[1032] = {};
  ASSERT_TQ_OK(a, tq_zel_vlt_file_desc_get(a, h, text));
  EXPECT_EQ(std::string(text).substr(0, 11), "Given names");
  EXPECT_TQ_OK(a, tq_zel_vlt_file_close(a, h));
}

}  // namespace

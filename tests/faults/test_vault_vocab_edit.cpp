// A compiled vocabulary edited through the vault-file family is locked as
// the vocabulary's own edit locks it: a file only opened is never written,
// nor one another editor holds. Where its read and write go once a link or
// a folder has moved is tried with every other kind (faults/edit_kinds.h).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

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

}  // namespace

// What was read before its lock was taken is saved only over the version
// it was read from. Taken for editing again after a release, or locked by
// name after a plain load, a resource or a locale that another editor saved
// in between is refused (-405, saying the file changed since it was read)
// and writes nothing; one nobody saved in between is taken and saved.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "faults/edit_kinds.h"
#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;
using held_kinds::Editor;
using held_kinds::kKinds;
using held_kinds::SaveKind;
using held_kinds::state_of;

// Another editor's edit and save of the kind's file, released at once.
void saved_by_another(const fs::path& kb, const SaveKind& kind) {
  Editor b(kb);
  ASSERT_GE(kind.open(b), 0) << tq_test::error_list_text(b.ctx);
  ASSERT_GE(kind.save(b), 0) << tq_test::error_list_text(b.ctx);
}

TEST(ReadVersion, WhatWasReadIsSavedOnlyOverTheVersionItWasReadFrom) {
  for (const SaveKind& kind : kKinds) {
    if (!kind.load) continue;  // a vault handle holds its own lock from its read on
    for (const bool again : {true, false}) {
      for (const bool other_saved : {false, true}) {
        SCOPED_TRACE(std::string(kind.name) + (again ? ": released and taken again" : ": loaded, then locked") +
                     (other_saved ? ", another editor saving in between" : ""));
        const tq_test::SampleKbCopy kb;
        const fs::path file = kb.path() / kind.file;
        Editor a(kb.path());
        if (again) {
          ASSERT_GE(kind.open(a), 0) << tq_test::error_list_text(a.ctx);
          ASSERT_EQ(tq_chopper_close(a.ctx, a.lock), 0);  // every kind's close gives back the handle's files
        } else {
          ASSERT_GE(kind.load(a), 0) << tq_test::error_list_text(a.ctx);
        }
        if (other_saved) saved_by_another(kb.path(), kind);
        const std::string before = state_of(file);
        const fs::path named = file.parent_path() / file.stem();  // as a vault file is named
        auto take = [&] {
          return again ? kind.open(a)
                       : tq_lock_create(a.ctx, named.c_str(), file.extension() == ".zev" ? 8 : 7, a.lock, nullptr);
        };
        const int32_t taken = take();
        const int32_t saved = taken >= 0 ? kind.save(a) : taken;
        if (!other_saved) {
          EXPECT_GE(saved, 0) << tq_test::error_list_text(a.ctx);
          EXPECT_NE(state_of(file), before) << "not saved";
          // What it saved is the version it holds now: given back and
          // taken again, it is saved again.
          ASSERT_EQ(tq_chopper_close(a.ctx, a.lock), 0);
          EXPECT_GE(take(), 0) << tq_test::error_list_text(a.ctx);
          EXPECT_GE(kind.save(a), 0) << tq_test::error_list_text(a.ctx);
          continue;
        }
        // Refused where the edit takes the file again (or, for what only
        // its lock took, at the save), saying why, and nothing written.
        EXPECT_EQ(saved, -405);
        EXPECT_NE(tq_test::error_list_text(a.ctx).find("has changed since"), std::string::npos)
            << tq_test::error_list_text(a.ctx);
        EXPECT_EQ(state_of(file), before) << "another editor's save was overwritten";
        // A refused edit keeps nothing locked: a third editor takes the file.
        if (again && taken < 0) saved_by_another(kb.path(), kind);
      }
    }
  }
}

// An edit load over an ancestor loaded already, which another editor saved
// since it was read: the ancestor stays unlocked, the load says so (104),
// and the ancestor's write is refused.
TEST(ReadVersion, AnAncestorSavedSinceItWasReadIsLeftUnlocked) {
  const tq_test::SampleKbCopy kb;
  Editor a(kb.path());
  ASSERT_GE(tq_zel_locale_load(a.ctx, held_kinds::kSampleEn, TQ_LOAD_DATATYPES), 0);
  {
    Editor b(kb.path());
    ASSERT_GE(tq_zel_locale_load_edit(b.ctx, held_kinds::kSampleEn, TQ_LOAD_DATATYPES, b.lock), 0);
    ASSERT_GE(tq_locale_write(b.ctx, held_kinds::kSampleEn, b.lock), 0) << tq_test::error_list_text(b.ctx);
  }
  const std::string before = state_of(kb.path() / "locale" / "en.loc.zel");
  EXPECT_EQ(tq_zel_locale_load_edit(a.ctx, tq_test::kSampleEnusa, TQ_LOAD_DATATYPES, a.lock), 104);
  EXPECT_NE(tq_test::error_list_text(a.ctx).find("has changed since"), std::string::npos)
      << tq_test::error_list_text(a.ctx);
  EXPECT_EQ(tq_locale_write(a.ctx, held_kinds::kSampleEn, a.lock), -405);
  EXPECT_EQ(state_of(kb.path() / "locale" / "en.loc.zel"), before) << "the other editor's save was overwritten";
  Editor c(kb.path());  // EN is not locked (L1, its parent, is)
  const fs::path en = kb.path() / "locale" / "en.loc";
  EXPECT_EQ(tq_lock_create(c.ctx, en.c_str(), 7, c.lock, nullptr), 0) << tq_test::error_list_text(c.ctx);
}

// A handle holding two files of the name: what was read is saved into the
// one that is the version it was read from, whichever was locked first;
// what was made in memory into neither (-405, naming both).
TEST(ReadVersion, OfTwoFilesOfItsNameOnlyTheOneReadIsWritten) {
  for (const SaveKind& kind : kKinds) {
    if (!kind.load) continue;
    SCOPED_TRACE(kind.name);
    const tq_test::SampleKbCopy kb;
    const tq_test::TempDir elsewhere;
    const fs::path file = kb.path() / kind.file;
    const fs::path other = elsewhere.path() / file.filename();
    fs::copy_file(file, other);
    const std::string other_before = state_of(other);
    const std::string file_before = state_of(file);
    Editor a(kb.path());
    ASSERT_GE(kind.load(a), 0) << tq_test::error_list_text(a.ctx);
    const int32_t vault_kind = file.extension() == ".zev" ? 8 : 7;
    for (const fs::path& f : {other, file}) {
      const fs::path named = f.parent_path() / f.stem();
      ASSERT_EQ(tq_lock_create(a.ctx, named.c_str(), vault_kind, a.lock, nullptr), 0) << tq_test::error_list_text(a.ctx);
    }
    EXPECT_GE(kind.save(a), 0) << tq_test::error_list_text(a.ctx);
    EXPECT_EQ(state_of(other), other_before) << "the other file of the name was written";
    EXPECT_NE(state_of(file), file_before) << "the file read was not written";
  }
  const tq_test::SampleKbCopy kb;
  const tq_test::TempDir elsewhere;
  Editor a(kb.path());
  ASSERT_GE(tq_zel_locale_load(a.ctx, held_kinds::kSampleEn, TQ_LOAD_DATATYPES), 0);  // a creation takes it
  ASSERT_GE(tq_chopper_create(a.ctx, "en_name", &a.index), 0) << tq_test::error_list_text(a.ctx);
  fs::copy_file(kb.path() / "chopinfo" / "en_name.zel", elsewhere.path() / "en_name.zel");
  for (const fs::path& f : {elsewhere.path() / "en_name", kb.path() / "chopinfo" / "en_name"}) {
    ASSERT_EQ(tq_lock_create(a.ctx, f.c_str(), 7, a.lock, nullptr), 0) << tq_test::error_list_text(a.ctx);
  }
  EXPECT_EQ(tq_chopper_save(a.ctx, a.index, a.lock), -405);
  EXPECT_NE(tq_test::error_list_text(a.ctx).find("two files of its name"), std::string::npos)
      << tq_test::error_list_text(a.ctx);
}

// Two editors on two threads, each keeping the chopper loaded and taking
// it for editing again each round to add one to a count kept in its owner
// text: every save that answered 0 is counted in the file, whatever the
// order the rounds ran in. An editor whose copy is refused as an older
// version gives its loads back and loads the file again.
TEST(ReadVersion, TwoEditorsCountingInOneFileLoseNoSave) {
  const tq_test::SampleKbCopy kb;
  constexpr int kRounds = 150;
  int saved[2] = {0, 0};
  auto editor = [&](int* count) {
    Editor e(kb.path());
    int32_t kept = -1;
    ASSERT_GE(tq_chopper_load(e.ctx, "en_name", &kept), 0);
    for (int round = 0; round < kRounds; ++round) {
      int32_t index = -1;
      const int32_t rc = tq_chopper_edit(e.ctx, "en_name", e.lock, &index);
      if (rc == -401) continue;  // the other one edits it now
      if (rc == -405) {
        ASSERT_EQ(tq_chopper_unload(e.ctx, kept), 0);
        ASSERT_GE(tq_chopper_load(e.ctx, "en_name", &kept), 0) << tq_test::error_list_text(e.ctx);
        continue;
      }
      ASSERT_GE(rc, 0) << tq_test::error_list_text(e.ctx);
      char owner[512] = "";
      ASSERT_GE(tq_chopper_owner_get(e.ctx, index, owner), 0);
      ASSERT_GE(tq_chopper_owner_set(e.ctx, index, std::to_string(std::atoi(owner) + 1).c_str()), 0);
      if (tq_chopper_save(e.ctx, index, e.lock) == 0) *count += 1;
      ASSERT_EQ(tq_chopper_unload(e.ctx, index), 0);
      ASSERT_EQ(tq_chopper_close(e.ctx, e.lock), 0);
    }
  };
  std::thread first(editor, &saved[0]);
  std::thread second(editor, &saved[1]);
  first.join();
  second.join();
  Editor reader(kb.path());
  int32_t index = -1;
  ASSERT_GE(tq_chopper_load(reader.ctx, "en_name", &index), 0);
  char owner[512] = "";
  ASSERT_GE(tq_chopper_owner_get(reader.ctx, index, owner), 0);
  EXPECT_GT(saved[0] + saved[1], 0);
  EXPECT_EQ(std::atoi(owner), saved[0] + saved[1])
      << "saves that answered 0 were lost (" << saved[0] << " and " << saved[1] << " saved)";
}

}  // namespace

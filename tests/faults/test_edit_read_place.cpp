// An edit reads, and its save writes, the one file its lock holds, for
// every kind read for editing. The link that led to the file is pointed at
// another file of the same name at the moment the read opens it: the held
// file is read and saved, and the other never written into it. A handle
// that holds another file of the name first: the edit and its save take
// the knowledge base's file and leave the other as it was; a save through
// a handle that holds only the other file is refused (-405).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "faults/edit_kinds.h"
#include "platform/npfio.h"
#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;
using held_kinds::Editor;
using held_kinds::kKinds;
using held_kinds::SaveKind;
using held_kinds::state_of;

// A vault handle names a file without its last extension.
std::string vault_name(const fs::path& file) { return (file.parent_path() / file.stem()).string(); }
int32_t vault_kind(const fs::path& file) { return file.extension() == ".zev" ? 8 : 7; }

// A file's vault description and locale code, as "description/code".
std::string vault_info(const fs::path& root, const fs::path& file) {
  Editor e(root);
  std::string text(1025, '\0');
  int32_t locale = -1;
  tq_vault_file* h = nullptr;
  const bool read = tq_zel_vlt_file_open(e.ctx, vault_name(file).c_str(), vault_kind(file), &h) >= 0 &&
                    tq_zel_vlt_file_desc_get(e.ctx, h, text.data()) >= 0 &&
                    tq_zel_vlt_file_locale_get(e.ctx, h, &locale) >= 0;
  tq_zel_vlt_file_close(e.ctx, h);
  return read ? std::string(text.c_str()) + "/" + std::to_string(locale) : "(unreadable)";
}

void describe(const fs::path& root, const fs::path& file, const char* text) {
  Editor e(root);
  ASSERT_GE(tq_zel_vlt_file_edit(e.ctx, vault_name(file).c_str(), vault_kind(file), &e.vault), 0)
      << tq_test::error_list_text(e.ctx);
  ASSERT_GE(tq_zel_vlt_file_desc_set(e.ctx, e.vault, text), 0);
  ASSERT_GE(tq_zel_vlt_file_write(e.ctx, e.vault), 0) << tq_test::error_list_text(e.ctx);
}

// Points the link at its other target at the first open once the held
// file's lock file is there: between the lock and the read's open.
struct Repoint {
  static inline fs::path lock_file, link, to;
  static inline bool done = false;
  static int hook(const char* call) {
    if (!done && (std::strcmp(call, "open") == 0 || std::strcmp(call, "openat") == 0) && fs::exists(lock_file)) {
      done = true;
      fs::remove(link);
      fs::create_symlink(to, link);
    }
    return 0;
  }
};

// A copy of the knowledge base, one of its files, and a place for other
// files of that name outside it.
struct KbFile {
  tq_test::SampleKbCopy kb;
  tq_test::TempDir elsewhere;
  fs::path file;
  explicit KbFile(const char* name) : file(kb / name) {}
  // The name's file in a folder of its own elsewhere (the folder made).
  fs::path other(const char* folder) const {
    fs::create_directories(elsewhere / folder);
    return elsewhere / folder / file.filename();
  }
};

// Each kind is tried as its edit finds it fresh and as a plain load of the
// locale left it: registered by a definition, not read yet, read on its
// first use after the edit took its file (here the save's).
TEST(EditReadPlace, ALinkPointedElsewhereAtTheReadLeavesTheHeldFileItsOwn) {
  for (const bool registered : {false, true}) {
    for (const SaveKind& kind : kKinds) {
      SCOPED_TRACE(std::string(kind.name) + (registered ? ", registered by a definition first" : ""));
      const KbFile at(kind.file);
      const fs::path kb = at.kb.path();
      const fs::path& file = at.file;
      const fs::path t1 = at.other("t1");
      const fs::path t2 = at.other("t2");
      // The other file differs from the held one by its description, and a
      // locale's by its locale too.
      const bool locale = std::strcmp(kind.name, "locale") == 0;
      for (const fs::path& t : {t1, t2}) {
        fs::copy_file(t == t2 && locale ? kb / "locale" / "de.loc.zel" : file, t);
        describe(kb, t, t.parent_path().filename().c_str());
      }
      const std::string t1_locale = vault_info(kb, t1);
      const std::string t1_code = t1_locale.substr(t1_locale.find('/'));
      fs::remove(file);
      fs::create_symlink(t1, file);
      const std::string t2_before = state_of(t2);

      Editor a(kb);
      if (registered) {
        tq_options_set(a.ctx, tq_options_get(a.ctx) & ~static_cast<uint32_t>(TQ_OPT_PREPARE_ON_READ));
        ASSERT_GE(tq_zel_locale_load(a.ctx, held_kinds::kSampleEn, 0xFFEu), 0) << tq_test::error_list_text(a.ctx);
      }
      Repoint::lock_file = t1.string() + ".lck";
      Repoint::link = file;
      Repoint::to = t2;
      Repoint::done = false;
      np_fio_fault_set(&Repoint::hook);
      const int32_t opened = kind.open(a);
      // Read and saved as the held file, or refused saying why.
      const int32_t saved = opened >= 0 ? kind.save(a) : opened;
      np_fio_fault_set(nullptr);
      ASSERT_TRUE(Repoint::done) << "the link was not pointed elsewhere during the edit";
      if (opened >= 0) {
        EXPECT_GE(saved, 0) << tq_test::error_list_text(a.ctx);
        EXPECT_EQ(vault_info(kb, t1), "t1" + t1_code) << "the held file was not what the edit read";
      } else {
        EXPECT_NE(tq_test::error_list_text(a.ctx), "");
      }
      EXPECT_EQ(state_of(t2), t2_before) << "the file the link leads to now was written";
    }
  }
}

TEST(EditReadPlace, AnotherFileOfTheNameHeldFirstIsNeverWritten) {
  for (const SaveKind& kind : kKinds) {
    if (std::strstr(kind.name, "vault file") != nullptr) continue;  // its handle holds its own lock
    SCOPED_TRACE(kind.name);
    const KbFile at(kind.file);
    const fs::path kb = at.kb.path();
    const fs::path& file = at.file;
    const fs::path other = at.other("other");
    fs::copy_file(file, other);
    const std::string other_before = state_of(other);
    const std::string file_before = state_of(file);

    Editor a(kb);
    ASSERT_EQ(tq_lock_create(a.ctx, other.c_str(), vault_kind(other), a.lock, nullptr), 0);
    ASSERT_GE(kind.open(a), 0) << tq_test::error_list_text(a.ctx);
    // A handle holding only the other file holds no lock for what A read.
    tq_lock_handle* b = nullptr;
    ASSERT_EQ(tq_lock_init(a.ctx, &b), 0);
    ASSERT_EQ(tq_lock_create(a.ctx, other.c_str(), vault_kind(other), b, nullptr), 0);
    std::swap(a.lock, b);
    EXPECT_EQ(kind.save(a), -405);
    std::swap(a.lock, b);
    EXPECT_EQ(tq_lock_free(a.ctx, b), 0);

    ASSERT_GE(kind.save(a), 0) << tq_test::error_list_text(a.ctx);
    EXPECT_EQ(state_of(other), other_before) << "the other file of the name was written";
    EXPECT_NE(state_of(file), file_before) << "the knowledge base's file was not written";
  }
}

// A resource made in memory is saved to the file its _edit_new (or
// tq_scheme_create) made through the handle, not to another file of the
// name the handle held before.
struct MadeKind {
  const char* name;
  const char* file;  // made in the knowledge base; its copy is held first
  std::function<int32_t(Editor&, const char* folder)> make;
  std::function<int32_t(Editor&)> save;
};

const MadeKind kMade[] = {
    {"chopper", "chopinfo/en_made.zel",
     [](Editor& e, const char* folder) {
       const int32_t rc = tq_chopper_edit_new(e.ctx, folder, "en_made", e.lock);
       return rc < 0 ? rc : tq_chopper_create(e.ctx, "en_made", &e.index);
     },
     [](Editor& e) { return tq_chopper_save(e.ctx, e.index, e.lock); }},
    {"regex library", "regexlib/en_made.zel",
     [](Editor& e, const char* folder) {
       const int32_t rc = tq_regexlib_edit_new(e.ctx, folder, "en_made", e.lock);
       return rc < 0 ? rc : tq_regexlib_create(e.ctx, "en_made", &e.index);
     },
     [](Editor& e) { return tq_regexlib_save(e.ctx, e.index, e.lock); }},
    {"scheme", "scheme/en_made.sch.zel",
     [](Editor& e, const char* folder) { return tq_scheme_create(e.ctx, folder, "en_made", 0, e.lock, &e.index); },
     [](Editor& e) { return tq_scheme_write(e.ctx, e.index, e.lock); }},
};

TEST(EditReadPlace, WhatAnEditMadeIsSavedToTheFileItMade) {
  for (const MadeKind& kind : kMade) {
    SCOPED_TRACE(kind.name);
    const KbFile at(kind.file);
    const fs::path kb = at.kb.path();
    const fs::path& file = at.file;
    const fs::path other = at.other("other");
    std::ofstream(other) << "kept";
    Editor a(kb);
    ASSERT_GE(tq_zel_locale_load(a.ctx, held_kinds::kSampleEn, TQ_LOAD_DATATYPES), 0);  // a creation takes it
    ASSERT_EQ(tq_lock_create(a.ctx, other.c_str(), 7, a.lock, nullptr), 0);
    ASSERT_GE(kind.make(a, file.parent_path().c_str()), 0) << tq_test::error_list_text(a.ctx);
    ASSERT_GE(kind.save(a), 0) << tq_test::error_list_text(a.ctx);
    EXPECT_EQ(tq_test::read_file(other), "kept") << "the other file of the name was written";
    EXPECT_GT(fs::file_size(file), 0u) << "the file made was not written";
  }
}

}  // namespace

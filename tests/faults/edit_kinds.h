// The editors and the save kinds of the held-place tests: one row per kind
// of file read for editing, with its edit read and its save.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "support/sample_locales.h"
#include "support/tq_test.h"

namespace held_kinds {

namespace fs = std::filesystem;
using tq_test::kSampleEn;

struct Editor {
  tq_context* ctx = nullptr;
  tq_lock_handle* lock = nullptr;
  tq_vault_file* vault = nullptr;
  int32_t index = -1;
  explicit Editor(const fs::path& root) {
    const std::string text = root.string();
    EXPECT_GE(tq_init_edit_mode(&ctx, text.c_str()), 0);
    EXPECT_GE(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
    EXPECT_GE(tq_zel_path_set(ctx, text.c_str()), 0);
    EXPECT_EQ(tq_lock_init(ctx, &lock), 0);
    // Each load reads (and locks) its file at once.
    tq_options_set(ctx, tq_options_get(ctx) | TQ_OPT_PREPARE_ON_READ);
  }
  ~Editor() {
    if (vault != nullptr) tq_zel_vlt_file_close(ctx, vault);
    tq_lock_free(ctx, lock);
    tq_close(ctx);
  }
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;
  // Gives back what the editor holds, as its close would.
  void release() {
    if (vault != nullptr) {
      EXPECT_EQ(tq_zel_vlt_file_close(ctx, vault), 0);
    }
    vault = nullptr;
    EXPECT_EQ(tq_lock_free(ctx, lock), 0);
    lock = nullptr;
  }
};

struct SaveKind {
  const char* name;
  const char* file;  // the held file, in the knowledge base
  std::function<int32_t(Editor&)> open;
  std::function<int32_t(Editor&)> save;
  bool through_link = true;  // whether it is tried with the re-pointed link
  // Its load without a lock (NULL: it has none that its save may follow).
  std::function<int32_t(Editor&)> load = nullptr;
};

template <auto Open>
int32_t open_resource(Editor& e, const char* name) {
  return Open(e.ctx, name, e.lock, &e.index);
}

inline int32_t phonetx_open(Editor& e) {
  const int32_t rc = tq_phonetx_edit(e.ctx, "en_name_sound", e.lock);
  return rc < 0 ? rc : tq_phonetx_load(e.ctx, "en_name_sound", &e.index);
}

inline const SaveKind kKinds[] = {
    {"chopper", "chopinfo/en_name.zel", [](Editor& e) { return open_resource<tq_chopper_edit>(e, "en_name"); },
     [](Editor& e) { return tq_chopper_save(e.ctx, e.index, e.lock); }, true,
     [](Editor& e) { return tq_chopper_load(e.ctx, "en_name", &e.index); }},
    {"scheme", "scheme/en_nickname.sch.zel",
     [](Editor& e) { return open_resource<tq_scheme_load_edit>(e, "en_nickname"); },
     [](Editor& e) { return tq_scheme_write(e.ctx, e.index, e.lock); }},
    {"regex library", "regexlib/en_pattern.zel",
     [](Editor& e) { return open_resource<tq_regexlib_load>(e, "en_pattern"); },
     [](Editor& e) { return tq_regexlib_save(e.ctx, e.index, e.lock); }, true,
     [](Editor& e) { return tq_regexlib_load(e.ctx, "en_pattern", nullptr, &e.index); }},
    {"grammar", "grammar/en_person.zel", [](Editor& e) { return open_resource<tq_grammar_edit>(e, "en_person"); },
     [](Editor& e) { return tq_grammar_save(e.ctx, e.index, e.lock); }, true,
     [](Editor& e) { return tq_grammar_load(e.ctx, "en_person", &e.index); }},
    {"phonetics", "phonetx/en_name_sound.zel", phonetx_open,
     [](Editor& e) { return tq_phonetx_save(e.ctx, e.index, e.lock); }, true,
     [](Editor& e) { return tq_phonetx_load(e.ctx, "en_name_sound", &e.index); }},
    {"vocabulary", "vocab/en_name_noise.zev",
     [](Editor& e) { return open_resource<tq_vocabulary_load>(e, "en_name_noise"); },
     [](Editor& e) { return tq_vocab_save(e.ctx, e.index, e.lock); }, true,
     [](Editor& e) { return tq_vocabulary_load(e.ctx, "en_name_noise", nullptr, &e.index); }},
    {"vault file", "locale/en.loc.zel", [](Editor& e) { return tq_zel_vlt_file_edit(e.ctx, "en.loc", 7, &e.vault); },
     [](Editor& e) { return tq_zel_vlt_file_write(e.ctx, e.vault); }},
    {"compiled vocabulary vault file", "vocab/en_gender.zev",
     [](Editor& e) { return tq_zel_vlt_file_edit(e.ctx, "en_gender", 8, &e.vault); },
     [](Editor& e) { return tq_zel_vlt_file_write(e.ctx, e.vault); }},
    // An edit load locks the locale's ancestors' files too, which B would
    // find held by A unless their folder moved as well: this one's files
    // are only the renamed folder's.
    {"locale", "locale/en.loc.zel",
     [](Editor& e) { return tq_zel_locale_load_edit(e.ctx, kSampleEn, TQ_LOAD_DATATYPES, e.lock); },
     [](Editor& e) { return tq_locale_write(e.ctx, kSampleEn, e.lock); }, false,
     [](Editor& e) { return tq_zel_locale_load(e.ctx, kSampleEn, TQ_LOAD_DATATYPES); }},
};

// A file as one save left it: its identity (a save replaces it by a new
// file) and its bytes.
inline std::string state_of(const fs::path& file) {
  struct stat st {};
  if (::lstat(file.c_str(), &st) != 0) return "none";
  return std::to_string(st.st_ino) + ":" + tq_test::read_file(file);
}

}  // namespace held_kinds

// A save writes the file its lock holds. Editor A holds a file; then the
// link that led A to it is pointed at another file, or its folder is
// renamed and a copy put in its place. Editor B, reaching the other file
// by the same name, is let in, saves and keeps its lock. A's save writes
// the file A holds and leaves B's as B saved it; A's release removes A's
// lock file where it now is and leaves B's; a third editor is refused
// while B holds. For every save kind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "support/sample_locales.h"
#include "support/tq_test.h"

namespace {

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
};

template <auto Open>
int32_t open_resource(Editor& e, const char* name) {
  return Open(e.ctx, name, e.lock, &e.index);
}

int32_t phonetx_open(Editor& e) {
  const int32_t rc = tq_phonetx_edit(e.ctx, "en_name_sound", e.lock);
  return rc < 0 ? rc : tq_phonetx_load(e.ctx, "en_name_sound", &e.index);
}

const SaveKind kKinds[] = {
    {"chopper", "chopinfo/en_name.zel", [](Editor& e) { return open_resource<tq_chopper_edit>(e, "en_name"); },
     [](Editor& e) { return tq_chopper_save(e.ctx, e.index, e.lock); }},
    {"scheme", "scheme/en_nickname.sch.zel",
     [](Editor& e) { return open_resource<tq_scheme_load_edit>(e, "en_nickname"); },
     [](Editor& e) { return tq_scheme_write(e.ctx, e.index, e.lock); }},
    {"regex library", "regexlib/en_pattern.zel",
     [](Editor& e) { return open_resource<tq_regexlib_load>(e, "en_pattern"); },
     [](Editor& e) { return tq_regexlib_save(e.ctx, e.index, e.lock); }},
    {"grammar", "grammar/en_person.zel", [](Editor& e) { return open_resource<tq_grammar_edit>(e, "en_person"); },
     [](Editor& e) { return tq_grammar_save(e.ctx, e.index, e.lock); }},
    {"phonetics", "phonetx/en_name_sound.zel", phonetx_open,
     [](Editor& e) { return tq_phonetx_save(e.ctx, e.index, e.lock); }},
    {"vocabulary", "vocab/en_name_noise.zev",
     [](Editor& e) { return open_resource<tq_vocabulary_load>(e, "en_name_noise"); },
     [](Editor& e) { return tq_vocab_save(e.ctx, e.index, e.lock); }},
    {"vault file", "locale/en.loc.zel", [](Editor& e) { return tq_zel_vlt_file_edit(e.ctx, "en.loc", 7, &e.vault); },
     [](Editor& e) { return tq_zel_vlt_file_write(e.ctx, e.vault); }},
    // An edit load locks the locale's ancestors' files too, which B would
    // find held by A unless their folder moved as well: this one's files
    // are only the renamed folder's.
    {"locale", "locale/en.loc.zel",
     [](Editor& e) { return tq_zel_locale_load_edit(e.ctx, kSampleEn, TQ_LOAD_DATATYPES, e.lock); },
     [](Editor& e) { return tq_locale_write(e.ctx, kSampleEn, e.lock); }, false},
};

// A file as one save left it: its identity (a save replaces it by a new
// file) and its bytes.
std::string state_of(const fs::path& file) {
  struct stat st {};
  if (::lstat(file.c_str(), &st) != 0) return "none";
  return std::to_string(st.st_ino) + ":" + tq_test::read_file(file);
}

bool leftovers_in(const fs::path& folder) {
  for (const auto& e : fs::directory_iterator(folder)) {
    if (e.path().filename().string().find(".~tq") != std::string::npos) return true;
  }
  return false;
}

// The two ways A's name comes to lead elsewhere while A holds its file:
// given the file's place in the knowledge base, makes the file A will hold
// and returns it; then moves the name on, returning the file it leads to.
struct Move {
  const char* name;
  bool link;
  std::function<fs::path(const fs::path& kb, const fs::path& file, const fs::path& elsewhere)> before;
  std::function<fs::path(const fs::path& kb, const fs::path& file, const fs::path& elsewhere)> after;
};

const Move kMoves[] = {
    {"link pointed elsewhere", true,
     [](const fs::path&, const fs::path& file, const fs::path& elsewhere) {
       for (const char* t : {"t1", "t2"}) {
         fs::create_directories(elsewhere / t);
         fs::copy_file(file, elsewhere / t / file.filename());
       }
       fs::remove(file);
       fs::create_symlink(elsewhere / "t1" / file.filename(), file);
       return elsewhere / "t1" / file.filename();
     },
     [](const fs::path&, const fs::path& file, const fs::path& elsewhere) {
       fs::remove(file);
       fs::create_symlink(elsewhere / "t2" / file.filename(), file);
       return elsewhere / "t2" / file.filename();
     }},
    {"folder renamed", false,
     [](const fs::path&, const fs::path& file, const fs::path& elsewhere) {
       return elsewhere / "old" / file.filename();
     },
     [](const fs::path&, const fs::path& file, const fs::path& elsewhere) {
       const fs::path folder = file.parent_path();
       fs::rename(folder, elsewhere / "old");
       fs::copy(elsewhere / "old", folder, fs::copy_options::recursive);
       for (const auto& e : fs::directory_iterator(folder)) {
         if (e.path().extension() == ".lck") fs::remove(e.path());
       }
       return file;
     }},
};

TEST(HeldPlace, EverySaveWritesTheFileItsLockHolds) {
  for (const Move& move : kMoves) {
    for (const SaveKind& kind : kKinds) {
      if (move.link && !kind.through_link) continue;
      SCOPED_TRACE(std::string(move.name) + ": " + kind.name);
      tq_test::SampleKbCopy kb;
      tq_test::TempDir elsewhere;
      const fs::path file = kb / kind.file;
      const fs::path held = move.before(kb.path(), file, elsewhere.path());

      Editor a(kb.path());
      ASSERT_GE(kind.open(a), 0) << tq_test::error_list_text(a.ctx);
      const fs::path other = move.after(kb.path(), file, elsewhere.path());
      const std::string held_before = state_of(held);
      // Another file by the same name: B is let in, saves, keeps its lock.
      Editor b(kb.path());
      ASSERT_GE(kind.open(b), 0) << tq_test::error_list_text(b.ctx);
      ASSERT_GE(kind.save(b), 0) << tq_test::error_list_text(b.ctx);
      const std::string saved_by_b = state_of(other);

      EXPECT_GE(kind.save(a), 0) << tq_test::error_list_text(a.ctx);
      EXPECT_NE(state_of(held), held_before) << "the file A holds was not written";
      EXPECT_EQ(state_of(other), saved_by_b) << "B's file was written over";
      EXPECT_FALSE(leftovers_in(held.parent_path()));
      EXPECT_FALSE(leftovers_in(other.parent_path()));

      EXPECT_TRUE(fs::exists(held.string() + ".lck"));
      a.release();
      EXPECT_FALSE(fs::exists(held.string() + ".lck")) << "A's lock file stayed behind";
      EXPECT_TRUE(fs::exists(other.string() + ".lck")) << "B's lock file was removed";
      Editor c(kb.path());
      const uint32_t file_kind = file.extension() == ".zev" ? 8 : 7;
      EXPECT_EQ(tq_lock_create(c.ctx, file.c_str(), file_kind, c.lock, nullptr), -401);
    }
  }
}

}  // namespace

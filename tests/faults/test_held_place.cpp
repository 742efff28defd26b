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

#include "faults/edit_kinds.h"
#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;
using held_kinds::Editor;
using held_kinds::kKinds;
using held_kinds::SaveKind;
using held_kinds::state_of;

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

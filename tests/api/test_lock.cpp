// Lock files through the exported interface.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/file_holder.h"
#include "support/sample_locales.h"
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

// One way of opening a knowledge-base file through the interface: open,
// then for a resource read on first use, owner_get as that use.
using OwnerGet = int32_t (*)(tq_context*, int32_t, char*);
struct HeldRow {
  const char* file;  // under the root
  bool edit;
  int32_t (*open)(tq_context* ctx, tq_lock_handle* lock, int32_t* index);
  OwnerGet owner_get = nullptr;
};

int32_t open_row(const HeldRow& row, tq_context* ctx, tq_lock_handle* lock) {
  int32_t index = -1;
  int32_t rc = row.open(ctx, lock, &index);
  char owner[TQ_NAME_MAX + 2];
  return rc < 0 || row.owner_get == nullptr ? rc : row.owner_get(ctx, index, owner);
}

// A handle whose open failed is left to tq_close, so that its error list
// stays to be read.
int32_t vault_open(tq_context* ctx, const char* name, int32_t kind, bool edit) {
  tq_vault_file* h = nullptr;
  int32_t rc = edit ? tq_zel_vlt_file_edit(ctx, name, kind, &h) : tq_zel_vlt_file_open(ctx, name, kind, &h);
  if (rc >= 0) tq_zel_vlt_file_close(ctx, h);
  return rc;
}

using L = tq_lock_handle*;
const HeldRow kHeldRows[] = {
    {"locale/enusa.loc.zel", false,
     [](tq_context* c, L, int32_t*) { return tq_zel_locale_load(c, tq_test::kSampleEnusa, 0); }},
    {"locale/enusa.loc.zel", true,
     [](tq_context* c, L l, int32_t*) { return tq_zel_locale_load_edit(c, tq_test::kSampleEnusa, 0, l); }},
    {"locale/en.loc.zel", false, [](tq_context* c, L, int32_t*) { return vault_open(c, "en.loc", 7, false); }},
    {"locale/en.loc.zel", true, [](tq_context* c, L, int32_t*) { return vault_open(c, "en.loc", 7, true); }},
    {"vocab/en_gender.zev", false, [](tq_context* c, L, int32_t*) { return vault_open(c, "en_gender", 8, false); }},
    {"chopinfo/en_name.zel", false,
     [](tq_context* c, L, int32_t* i) { return tq_chopper_load(c, "en_name", i); }, tq_chopper_owner_get},
    {"chopinfo/en_name.zel", true,
     [](tq_context* c, L l, int32_t* i) { return tq_chopper_edit(c, "en_name", l, i); }, tq_chopper_owner_get},
    {"regexlib/en_comma.zel", false,
     [](tq_context* c, L, int32_t* i) { return tq_regexlib_load(c, "en_comma", nullptr, i); }, tq_regexlib_owner_get},
    {"regexlib/en_comma.zel", true,
     [](tq_context* c, L l, int32_t* i) { return tq_regexlib_load_no_compile(c, "en_comma", l, i); },
     tq_regexlib_owner_get},
    {"scheme/en_nickname.sch.zel", false,
     [](tq_context* c, L, int32_t* i) { return tq_transf_scheme_load(c, "en_nickname", -1, -1, 0, i); },
     tq_scheme_owner_get},
    {"scheme/en_nickname.sch.zel", true,
     [](tq_context* c, L l, int32_t* i) { return tq_scheme_load_edit(c, "en_nickname", l, i); }, tq_scheme_owner_get},
    {"phonetx/en_name_sound.zel", false,
     [](tq_context* c, L, int32_t* i) { return tq_phonetx_load(c, "en_name_sound", i); }, tq_phonetx_owner_get},
    {"phonetx/en_name_sound.zel", true,
     [](tq_context* c, L l, int32_t*) { return tq_phonetx_edit(c, "en_name_sound", l); }},
    {"grammar/en_person.zel", false,
     [](tq_context* c, L, int32_t* i) { return tq_grammar_load(c, "en_person", i); }, tq_grammar_owner_get},
    {"grammar/en_person.zel", true,
     [](tq_context* c, L l, int32_t* i) { return tq_grammar_edit(c, "en_person", l, i); }, tq_grammar_owner_get},
    {"vocab/en_person.zev", false,
     [](tq_context* c, L, int32_t* i) { return tq_vocabulary_load(c, "en_person", nullptr, i); }, tq_vocab_owner_get},
    {"vocab/en_person.zev", true,
     [](tq_context* c, L l, int32_t* i) { return tq_vocabulary_load(c, "en_person", l, i); }, tq_vocab_owner_get},
    {"vocab/en_person_x.xml", true,
     [](tq_context* c, L, int32_t*) { return tq_vocab_file_convert(c, 0, "en_person_x", "en_person_y"); }},
    {"tqx.meta", false,
     [](tq_context* c, L, int32_t*) {
       tq_zel_version_info info{};
       return tq_zel_version_info_get(c, &info);
     }},
};

// A file another program holds is reported as held, whichever kind it is
// and however it is opened: -401, the file named. With exclusive opens a
// reader's shared hold is enough; without them only an exclusive hold
// stops a read. Once the holder lets go, the same call opens it.
TEST(Lock, AFileHeldElsewhereIsHeldForEveryKind) {
  tq_test::SampleKbCopy kb;
  kb.write("tqx.meta", "description Knowledge Base - 2009A\n");
  {
    Context ctx(kb.str().c_str(), true);
    ASSERT_TQ_OK(ctx, tq_vocab_file_convert(ctx, 1, "en_person", (kb / "vocab" / "en_person_x").string().c_str()));
  }
  struct Mode {
    uint32_t options;
    int hold;
    int32_t rc;
  };
  const Mode modes[] = {{TQ_OPT_SECOND_OPEN_FLAG, LOCK_SH, -401},
                        {TQ_OPT_SECOND_OPEN_FLAG, LOCK_EX, -401},
                        {0, LOCK_EX, -401},
                        {0, LOCK_SH, 0}};
  for (const Mode& mode : modes) {
    for (const HeldRow& row : kHeldRows) {
      SCOPED_TRACE(std::string(row.file) + (row.edit ? " (edit)" : "") + " options " + std::to_string(mode.options) +
                   (mode.hold == LOCK_SH ? " shared hold" : " exclusive hold"));
      const fs::path file = kb / row.file;
      tq_test::FileHolder holder(file, mode.hold);
      ASSERT_TRUE(holder.held());
      Context ctx(kb.str().c_str(), row.edit);
      tq_options_set(ctx, tq_options_get(ctx) | mode.options);
      tq_lock_handle* lock = nullptr;
      ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
      const int32_t rc = open_row(row, ctx, lock);
      const std::string errors = tq_test::error_list_text(ctx);
      if (mode.rc == 0) {
        EXPECT_GE(rc, 0) << errors;
      } else {
        EXPECT_EQ(rc, mode.rc) << errors;
        EXPECT_NE(errors.find("The file '" + file.string() + "' is locked by another program or context."),
                  std::string::npos)
            << errors;
        holder.release();
        EXPECT_GE(open_row(row, ctx, lock), 0) << tq_test::error_list_text(ctx);
      }
      EXPECT_EQ(tq_lock_free(ctx, lock), 0);
    }
  }
}

}  // namespace

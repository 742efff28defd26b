// Editing several knowledge-base files through one lock handle: every save
// writes its own resource's file, a failure gives back only the locks it
// took, a freed handle is no longer used by the registrations that borrowed
// it, names keep their dots, and vault handles belong to their context.
#include <filesystem>
#include <string>

#include "support/tq_test.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;
namespace fs = std::filesystem;

constexpr int32_t kEnUsa = 29840;
constexpr int32_t kDeDeu = 39276;

// A knowledge base with the locale files of ENUSA (and a damaged DEDEU), and
// an edit-mode context in which ENUSA is current.
struct EditKb {
  TempDir dir;
  Context ctx;
  EditKb() : ctx(dir.str().c_str(), true) {
    for (const char* sub : {"locale", "chopinfo", "regexlib", "scheme", "phonetx", "vocab", "grammar"}) {
      fs::create_directories(dir / sub);
    }
    locale("l1.loc", "ISO-8859-1 (Latin-1)", "");
    locale("en.loc", "English", "l1.loc");
    locale("enusa.loc", "English (United States)", "");
    locale("dedeu.loc", "No such description", "");
    EXPECT_GE(tq_zel_locale_load(ctx, kEnUsa, 0), 0) << tq_test::error_list_text(ctx);
  }
  void locale(const char* file, const char* description, const char* parent) {
    tq_test::write_locale_settings(ctx, dir.path(), file, description, parent);
  }
  // A vault document of the given type without any locale: it cannot load.
  void damaged(const char* folder, const char* name, const char* type) {
    tq_xmldoc* doc = nullptr;
    ASSERT_EQ(tq_xml_create(ctx, type, "7.0", &doc), 0);
    ASSERT_EQ(tq_xml_write(ctx, 0, (dir / folder / name).string().c_str(), 1, doc), 0);
    tq_xml_free(ctx, doc);
  }
  std::string folder(const char* sub) const { return (dir / sub).string(); }
  bool locked(const char* folder, const char* file) const { return fs::exists(dir / folder / (std::string(file) + ".lck")); }
};

// The "Owner" property of a saved vault document, "" when it cannot be read.
std::string saved_owner(tq_context* ctx, const fs::path& file) {
  tq_xmldoc* doc = nullptr;
  if (tq_xml_read(ctx, file.string().c_str(), 9, &doc) != 0) return "";
  char owner[1100] = {};
  tq_xml_getprop(ctx, doc, "Owner", owner);
  tq_xml_free(ctx, doc);
  return owner;
}

// One kind of resource made in edit mode: its file is made and locked
// through the handle (edit_new), then the resource created; schemes do both
// in one call.
struct Kind {
  const char* folder;
  const char* extension;  // of the saved file, after the name
  int32_t (*edit_new)(tq_context*, const char*, const char*, tq_lock_handle*);
  int32_t (*create)(tq_context*, const char*, int32_t*);
  int32_t (*owner_set)(tq_context*, int32_t, const char*);
  int32_t (*save)(tq_context*, int32_t, tq_lock_handle*);
};
constexpr Kind kKinds[] = {
    {"chopinfo", ".zel", tq_chopper_edit_new, tq_chopper_create, tq_chopper_owner_set, tq_chopper_save},
    {"regexlib", ".zel", tq_regexlib_edit_new, tq_regexlib_create, tq_regexlib_owner_set, tq_regexlib_save},
    {"scheme", ".sch.zel", nullptr, nullptr, tq_scheme_owner_set, tq_scheme_write},
    {"phonetx", ".zel", tq_phonetx_edit_new, tq_phonetx_create, tq_phonetx_owner_set, tq_phonetx_save},
    {"grammar", ".zel", tq_grammar_edit_new, tq_grammar_create, tq_grammar_owner_set, tq_grammar_save},
};

int32_t make(EditKb& kb, const Kind& kind, const char* name, tq_lock_handle* lock, int32_t* i) {
  if (kind.edit_new == nullptr) return tq_scheme_create(kb.ctx, kb.folder(kind.folder).c_str(), name, 0, lock, i);
  int32_t rc = kind.edit_new(kb.ctx, kb.folder(kind.folder).c_str(), name, lock);
  if (rc >= 0) rc = kind.create(kb.ctx, name, i);
  // A regex library without records cannot be read back.
  if (rc >= 0 && kind.create == tq_regexlib_create) rc = tq_regexlib_element_array_size_set(kb.ctx, *i, 1);
  if (rc >= 0 && kind.create == tq_regexlib_create) rc = tq_regexlib_element_info_set(kb.ctx, *i, 0, "a", "b", "");
  return rc;
}

TEST(EditLocks, EachSaveWritesItsOwnFile) {
  EditKb kb;
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.folder);
    tq_lock_handle* lock = nullptr;
    tq_lock_handle* other = nullptr;
    ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
    ASSERT_EQ(tq_lock_init(kb.ctx, &other), 0);
    int32_t a = -1, b = -1, loose = -1;
    ASSERT_TQ_OK(kb.ctx, make(kb, kind, "first", lock, &a));
    ASSERT_TQ_OK(kb.ctx, kind.owner_set(kb.ctx, a, "owner of first"));
    ASSERT_TQ_OK(kb.ctx, kind.save(kb.ctx, a, lock));
    ASSERT_TQ_OK(kb.ctx, make(kb, kind, "second", lock, &b));
    ASSERT_TQ_OK(kb.ctx, kind.owner_set(kb.ctx, b, "owner of second"));
    ASSERT_TQ_OK(kb.ctx, kind.save(kb.ctx, b, lock));
    ASSERT_TQ_OK(kb.ctx, kind.save(kb.ctx, a, lock));  // after the handle took the second file
    const fs::path first = kb.dir / kind.folder / (std::string("first") + kind.extension);
    EXPECT_EQ(saved_owner(kb.ctx, first), "owner of first");
    EXPECT_EQ(saved_owner(kb.ctx, kb.dir / kind.folder / (std::string("second") + kind.extension)),
              "owner of second");
    // A resource whose file the handle does not lock is refused, and no
    // file changes.
    const std::string before = tq_test::read_file(first);
    ASSERT_TQ_OK(kb.ctx, make(kb, kind, "loose", other, &loose));
    EXPECT_EQ(kind.save(kb.ctx, loose, lock), -405);
    EXPECT_NE(tq_test::error_list_text(kb.ctx).find("does not lock its file"), std::string::npos);
    EXPECT_EQ(tq_test::read_file(first), before);
    EXPECT_EQ(tq_lock_free(kb.ctx, other), 0);
    EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);
  }

  // Vocabularies are made without a name: a save takes the handle's only
  // vocabulary file, and is refused when the handle locks several.
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
  int32_t v1 = -1, v2 = -1;
  ASSERT_TQ_OK(kb.ctx, tq_vocab_edit_new(kb.ctx, kb.folder("vocab").c_str(), "words1", lock));
  ASSERT_TQ_OK(kb.ctx, tq_vocabulary_create(kb.ctx, &v1));
  ASSERT_TQ_OK(kb.ctx, tq_vocab_save(kb.ctx, v1, lock));
  const std::string saved = tq_test::read_file(kb.dir / "vocab" / "words1.zev");
  EXPECT_FALSE(saved.empty());
  ASSERT_TQ_OK(kb.ctx, tq_vocab_edit_new(kb.ctx, kb.folder("vocab").c_str(), "words2", lock));
  ASSERT_TQ_OK(kb.ctx, tq_vocabulary_create(kb.ctx, &v2));
  ASSERT_TQ_OK(kb.ctx, tq_vocab_owner_set(kb.ctx, v2, "other"));
  EXPECT_EQ(tq_vocab_save(kb.ctx, v2, lock), -405);
  EXPECT_EQ(tq_test::read_file(kb.dir / "vocab" / "words1.zev"), saved);
  EXPECT_TRUE(tq_test::read_file(kb.dir / "vocab" / "words2.zev").empty());
  EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);
}

// Registering a resource for editing, and its first use, which reads (and
// locks) its file.
struct Editor {
  const char* folder;
  const char* extension;
  int32_t (*edit)(tq_context*, const char*, tq_lock_handle*, int32_t*);
  int32_t (*use)(tq_context*, int32_t, uint32_t*);
};
constexpr Editor kEditors[] = {
    {"chopinfo", ".zel", tq_chopper_edit, tq_chopper_table_char_count_get},
    {"regexlib", ".zel", tq_regexlib_load, tq_regexlib_rule_count_get},
    {"scheme", ".sch.zel", tq_scheme_load_edit, tq_scheme_element_count_get},
    {"vocab", ".zev", tq_vocabulary_load, tq_vocab_numwords_get},
    {"grammar", ".zel", tq_grammar_edit, tq_grammar_category_count_get},
};
constexpr int kEditorCount = static_cast<int>(sizeof kEditors / sizeof kEditors[0]);

// Edits and first use; resources of all kinds are found along one search
// path, so each kind's file has a name of its own.
int32_t edit_and_use(tq_context* ctx, const Editor& e, const std::string& name, tq_lock_handle* lock) {
  int32_t i = -1;
  uint32_t n = 0;
  int32_t rc = e.edit(ctx, name.c_str(), lock, &i);
  return rc < 0 ? rc : e.use(ctx, i, &n);
}

TEST(EditLocks, AFailureGivesBackOnlyWhatItTook) {
  EditKb kb;
  kb.damaged("chopinfo", "bad_chopinfo", "Chopping Table");
  kb.damaged("regexlib", "bad_regexlib", "Regex Library");
  kb.damaged("scheme", "bad_scheme.sch", "Scheme");
  kb.dir.write("vocab/bad_vocab.zev", "not a vocabulary");
  kb.damaged("grammar", "bad_grammar", "Grammar");
  Context other(kb.dir.str().c_str(), true);
  for (int c = 0; c <= kEditorCount; ++c) {
    SCOPED_TRACE(c);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
    int32_t keep = -1;
    ASSERT_TQ_OK(kb.ctx, tq_chopper_edit_new(kb.ctx, kb.folder("chopinfo").c_str(), "kept", lock));
    ASSERT_TQ_OK(kb.ctx, tq_chopper_create(kb.ctx, "kept", &keep));
    if (c < kEditorCount) {
      const Editor& e = kEditors[c];
      EXPECT_LT(edit_and_use(kb.ctx, e, std::string("bad_") + e.folder, lock), 0);
      EXPECT_FALSE(kb.locked(e.folder, (std::string("bad_") + e.folder + e.extension).c_str()));
    } else {
      EXPECT_LT(tq_zel_locale_load_edit(kb.ctx, kDeDeu, 0, lock), 0);
      EXPECT_FALSE(kb.locked("locale", "dedeu.loc.zel"));
    }
    // The earlier lock is still held: nobody else can take it, and the
    // chopper saves through the handle.
    EXPECT_TRUE(kb.locked("chopinfo", "kept.zel"));
    tq_lock_handle* theirs = nullptr;
    ASSERT_EQ(tq_lock_init(other, &theirs), 0);
    EXPECT_EQ(tq_lock_create(other, "kept", 7, theirs, nullptr), -401);
    EXPECT_EQ(tq_lock_free(other, theirs), 0);
    EXPECT_TQ_OK(kb.ctx, tq_chopper_save(kb.ctx, keep, lock));
    EXPECT_EQ(tq_chopper_unload(kb.ctx, keep), 0);
    EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);
    EXPECT_FALSE(kb.locked("chopinfo", "kept.zel"));
  }
}

// A registration for editing borrows the handle until its first use; a
// handle freed before that use is not touched by it (AddressSanitizer
// would report it), and the use reads the file without locking it.
TEST(EditLocks, FreedHandleLeavesTheRegistry) {
  EditKb kb;
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
  for (const Kind& kind : kKinds) {
    int32_t i = -1;
    ASSERT_TQ_OK(kb.ctx, make(kb, kind, (std::string("lent_") + kind.folder).c_str(), lock, &i));
    ASSERT_TQ_OK(kb.ctx, kind.save(kb.ctx, i, lock));
  }
  int32_t v = -1;
  ASSERT_TQ_OK(kb.ctx, tq_vocab_edit_new(kb.ctx, kb.folder("vocab").c_str(), "lent_vocab", lock));
  ASSERT_TQ_OK(kb.ctx, tq_vocabulary_create(kb.ctx, &v));
  ASSERT_TQ_OK(kb.ctx, tq_vocab_save(kb.ctx, v, lock));
  EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);

  Context ctx(kb.dir.str().c_str(), true);
  for (const Editor& e : kEditors) {
    SCOPED_TRACE(e.folder);
    const std::string name = std::string("lent_") + e.folder;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    int32_t i = -1;
    uint32_t n = 0;
    ASSERT_TQ_OK(ctx, e.edit(ctx, name.c_str(), lock, &i));
    ASSERT_EQ(tq_lock_free(ctx, lock), 0);
    EXPECT_TQ_OK(ctx, e.use(ctx, i, &n));
    EXPECT_FALSE(kb.locked(e.folder, (name + e.extension).c_str()));
  }
}

TEST(EditLocks, NamesDifferingAfterADotAreTwoResources) {
  EditKb kb;
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
  for (const char* name : {"Addr.v1", "Addr.v2"}) {
    int32_t lib = -1;
    ASSERT_TQ_OK(kb.ctx, make(kb, kKinds[1], name, lock, &lib));
    ASSERT_TQ_OK(kb.ctx, tq_regexlib_element_info_set(kb.ctx, lib, 0, "x", name, ""));
    ASSERT_TQ_OK(kb.ctx, tq_regexlib_save(kb.ctx, lib, lock));
  }
  int32_t dup = -1;
  EXPECT_EQ(tq_regexlib_create(kb.ctx, "Addr.v1.zel", &dup), -407);
  EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);
  Context ctx(kb.dir.str().c_str());
  int32_t v1 = -1, v2 = -1, again = -1, found = -1;
  ASSERT_TQ_OK(ctx, tq_regexlib_load(ctx, "Addr.v1", nullptr, &v1));
  ASSERT_TQ_OK(ctx, tq_regexlib_load(ctx, "Addr.v2", nullptr, &v2));
  ASSERT_TQ_OK(ctx, tq_regexlib_load(ctx, "Addr.v1.zel", nullptr, &again));
  EXPECT_NE(v1, v2);
  EXPECT_EQ(again, v1);
  EXPECT_EQ(tq_regexlib_index_get_by_name(ctx, "Addr.v2", &found), 0);
  EXPECT_EQ(found, v2);
  EXPECT_EQ(tq_regexlib_index_get_by_name(ctx, "Addr", &found), -404);
  for (auto [lib, expected] : {std::pair{v1, "Addr.v1"}, std::pair{v2, "Addr.v2"}}) {
    char out[1100] = {};
    int32_t matched = 0;
    ASSERT_EQ(tq_regexlib_match_and_replace(ctx, lib, "x", out, &matched), 0);
    EXPECT_STREQ(out, expected);
  }
}

TEST(EditLocks, FullHandleAndForeignVaultHandles) {
  EditKb kb;
  // A handle locks its primary file and ten further ones; the next is
  // refused as "locked" with a message that says why, and nobody else is
  // kept from it.
  for (int n = 0; n < 12; ++n) kb.dir.write("chopinfo/f" + std::to_string(n) + ".zel", "x");
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
  for (int n = 0; n < 11; ++n) ASSERT_EQ(tq_lock_create(kb.ctx, ("f" + std::to_string(n)).c_str(), 7, lock, nullptr), 0);
  EXPECT_EQ(tq_lock_create(kb.ctx, "f11", 7, lock, nullptr), -401);
  EXPECT_NE(tq_test::error_list_text(kb.ctx).find("already locks 10 further files"), std::string::npos);
  EXPECT_FALSE(kb.locked("chopinfo", "f11.zel"));
  Context other(kb.dir.str().c_str(), true);
  tq_lock_handle* theirs = nullptr;
  ASSERT_EQ(tq_lock_init(other, &theirs), 0);
  EXPECT_EQ(tq_lock_create(other, "f11", 7, theirs, nullptr), 0);

  // Every family's close: another context's handle is refused and keeps its
  // file; the own handle gives back every file; an empty one is closed
  // already, with nothing recorded.
  using close_fn = int32_t (*)(tq_context*, tq_lock_handle*);
  const close_fn closes[] = {tq_chopper_close, tq_grammar_close, tq_phonetx_close,
                             tq_regexlib_close, tq_scheme_close, tq_vocabulary_close};
  for (close_fn close : closes) EXPECT_EQ(close(kb.ctx, theirs), -802);
  EXPECT_TRUE(kb.locked("chopinfo", "f11.zel"));
  EXPECT_EQ(tq_scheme_close(kb.ctx, lock), 0);
  EXPECT_FALSE(kb.locked("chopinfo", "f0.zel"));
  EXPECT_FALSE(kb.locked("chopinfo", "f10.zel"));
  for (close_fn close : closes) {
    uint32_t errors = 1;
    EXPECT_EQ(close(kb.ctx, lock), 0);
    EXPECT_EQ(tq_error_count_get(kb.ctx, &errors), 0);
    EXPECT_EQ(errors, 0u);
  }
  EXPECT_EQ(tq_lock_free(other, theirs), 0);
  EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);

  // Another context cannot close a vault handle: refused, nothing changes,
  // and the owner still writes and closes it.
  tq_vault_file* h = nullptr;
  ASSERT_TQ_OK(kb.ctx, tq_zel_vlt_file_edit(kb.ctx, "enusa.loc", 7, &h));
  EXPECT_EQ(tq_zel_vlt_file_close(other, h), -802);
  EXPECT_TRUE(kb.locked("locale", "enusa.loc.zel"));
  EXPECT_TQ_OK(kb.ctx, tq_zel_vlt_file_write(kb.ctx, h));
  EXPECT_TQ_OK(kb.ctx, tq_zel_vlt_file_close(kb.ctx, h));
  EXPECT_FALSE(kb.locked("locale", "enusa.loc.zel"));

  // Handles left open are closed with their context (LeakSanitizer checks
  // that nothing stays behind).
  {
    Context left(kb.dir.str().c_str(), true);
    tq_vault_file* open = nullptr;
    ASSERT_TQ_OK(left, tq_zel_vlt_file_edit(left, "enusa.loc", 7, &h));
    ASSERT_TQ_OK(left, tq_zel_vlt_file_open(left, "en.loc", 7, &open));
    EXPECT_TRUE(kb.locked("locale", "enusa.loc.zel"));
  }
  EXPECT_FALSE(kb.locked("locale", "enusa.loc.zel"));
}

}  // namespace

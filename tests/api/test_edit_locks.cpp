// Editing several knowledge-base files through one lock handle: every save
// writes its own resource's file, a failure gives back only the locks it
// took, a freed handle is no longer used by the registrations that borrowed
// it, names keep their dots, and vault handles belong to their context.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

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
    for (const char* sub : {"locale", "chopinfo", "regexlib", "scheme", "phonetx", "vocab"}) {
      fs::create_directories(dir / sub);
    }
    locale("l1.loc", "ISO-8859-1 (Latin-1)", "");
    locale("en.loc", "English", "l1.loc");
    locale("enusa.loc", "English (United States)", "");
    locale("dedeu.loc", "No such description", "");
    EXPECT_GE(tq_zel_locale_load(ctx, kEnUsa, 0), 0) << tq_test::error_list_text(ctx);
  }
  void locale(const char* file, const char* description, const char* parent) {
    tq_xmldoc* doc = nullptr;
    ASSERT_EQ(tq_xml_create(ctx, "Locale Settings", "9.0", &doc), 0);
    tq_xml_addprop(ctx, doc, "Locale Description", description);
    tq_xml_addprop(ctx, doc, "Parent Locale", parent);
    ASSERT_EQ(tq_xml_write(ctx, 0, (dir / "locale" / file).string().c_str(), 1, doc), 0);
    tq_xml_free(ctx, doc);
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

// One kind of resource made in edit mode: it makes and locks the file of a
// named resource through the handle, creates the resource, and saves it.
struct Kind {
  const char* folder;
  const char* extension;  // of the saved file, after the name
  std::function<int32_t(EditKb&, const char*, tq_lock_handle*, int32_t*)> make;
  std::function<int32_t(tq_context*, int32_t, const char*)> owner_set;
  std::function<int32_t(tq_context*, int32_t, tq_lock_handle*)> save;
  std::function<int32_t(tq_context*, int32_t)> fill;  // what loading needs, if anything
};

const std::vector<Kind>& kinds() {
  static const std::vector<Kind> table = {
      {"chopinfo", ".zel",
       [](EditKb& kb, const char* name, tq_lock_handle* lock, int32_t* i) {
         int32_t rc = tq_chopper_edit_new(kb.ctx, kb.folder("chopinfo").c_str(), name, lock);
         return rc < 0 ? rc : tq_chopper_create(kb.ctx, name, i);
       },
       tq_chopper_owner_set, tq_chopper_save, nullptr},
      {"regexlib", ".zel",
       [](EditKb& kb, const char* name, tq_lock_handle* lock, int32_t* i) {
         int32_t rc = tq_regexlib_edit_new(kb.ctx, kb.folder("regexlib").c_str(), name, lock);
         return rc < 0 ? rc : tq_regexlib_create(kb.ctx, name, i);
       },
       tq_regexlib_owner_set, tq_regexlib_save,
       [](tq_context* ctx, int32_t i) {
         int32_t rc = tq_regexlib_element_array_size_set(ctx, i, 1);
         return rc < 0 ? rc : tq_regexlib_element_info_set(ctx, i, 0, "a", "b", "");
       }},
      {"scheme", ".sch.zel",
       [](EditKb& kb, const char* name, tq_lock_handle* lock, int32_t* i) {
         return tq_scheme_create(kb.ctx, kb.folder("scheme").c_str(), name, 0, lock, i);
       },
       tq_scheme_owner_set, tq_scheme_write, nullptr},
      {"phonetx", ".zel",
       [](EditKb& kb, const char* name, tq_lock_handle* lock, int32_t* i) {
         int32_t rc = tq_phonetx_edit_new(kb.ctx, kb.folder("phonetx").c_str(), name, lock);
         return rc < 0 ? rc : tq_phonetx_create(kb.ctx, name, i);
       },
       tq_phonetx_owner_set, tq_phonetx_save, nullptr},
  };
  return table;
}

TEST(EditLocks, EachSaveWritesItsOwnFile) {
  EditKb kb;
  for (const Kind& kind : kinds()) {
    SCOPED_TRACE(kind.folder);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
    int32_t a = -1, b = -1, loose = -1;
    ASSERT_TQ_OK(kb.ctx, kind.make(kb, "first", lock, &a));
    ASSERT_TQ_OK(kb.ctx, kind.owner_set(kb.ctx, a, "owner of first"));
    ASSERT_TQ_OK(kb.ctx, kind.save(kb.ctx, a, lock));
    ASSERT_TQ_OK(kb.ctx, kind.make(kb, "second", lock, &b));
    ASSERT_TQ_OK(kb.ctx, kind.owner_set(kb.ctx, b, "owner of second"));
    ASSERT_TQ_OK(kb.ctx, kind.save(kb.ctx, b, lock));
    // Saved again after the handle took the second file: still its own.
    ASSERT_TQ_OK(kb.ctx, kind.save(kb.ctx, a, lock));
    const fs::path first = kb.dir / kind.folder / (std::string("first") + kind.extension);
    const fs::path second = kb.dir / kind.folder / (std::string("second") + kind.extension);
    EXPECT_EQ(saved_owner(kb.ctx, first), "owner of first");
    EXPECT_EQ(saved_owner(kb.ctx, second), "owner of second");

    // A resource whose file the handle does not lock is refused, and no
    // other file changes.
    const std::string before = tq_test::read_file(first);
    if (std::string(kind.folder) == "scheme") {
      ASSERT_TQ_OK(kb.ctx, tq_scheme_create_in_memory(kb.ctx, "loose", 0, &loose));
    } else {
      tq_lock_handle* other = nullptr;
      ASSERT_EQ(tq_lock_init(kb.ctx, &other), 0);
      ASSERT_TQ_OK(kb.ctx, kind.make(kb, "loose", other, &loose));
      ASSERT_EQ(tq_lock_free(kb.ctx, other), 0);
    }
    EXPECT_EQ(kind.save(kb.ctx, loose, lock), -405);
    EXPECT_NE(tq_test::error_list_text(kb.ctx).find("does not lock its file"), std::string::npos);
    EXPECT_EQ(tq_test::read_file(first), before);
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

TEST(EditLocks, AFailureGivesBackOnlyWhatItTook) {
  EditKb kb;
  kb.damaged("chopinfo", "badchop", "Chopping Table");
  kb.damaged("regexlib", "badlib", "Regex Library");
  kb.damaged("scheme", "badsch.sch", "Scheme");
  struct Failing {
    const char* what;
    const char* folder;
    const char* file;  // whose lock the failure must not keep
    std::function<int32_t(tq_context*, tq_lock_handle*)> fail;
  };
  const Failing cases[] = {
      {"chopper", "chopinfo", "badchop.zel",
       [](tq_context* ctx, tq_lock_handle* lock) {
         int32_t i = -1;
         uint32_t n = 0;
         int32_t rc = tq_chopper_edit(ctx, "badchop", lock, &i);
         return rc < 0 ? rc : tq_chopper_table_char_count_get(ctx, i, &n);
       }},
      {"regex library", "regexlib", "badlib.zel",
       [](tq_context* ctx, tq_lock_handle* lock) {
         int32_t i = -1;
         uint32_t n = 0;
         int32_t rc = tq_regexlib_load(ctx, "badlib", lock, &i);
         return rc < 0 ? rc : tq_regexlib_rule_count_get(ctx, i, &n);
       }},
      {"scheme", "scheme", "badsch.sch.zel",
       [](tq_context* ctx, tq_lock_handle* lock) {
         int32_t i = -1;
         uint32_t n = 0;
         int32_t rc = tq_scheme_load_edit(ctx, "badsch", lock, &i);
         return rc < 0 ? rc : tq_scheme_element_count_get(ctx, i, &n);
       }},
      {"locale", "locale", "dedeu.loc.zel",
       [](tq_context* ctx, tq_lock_handle* lock) { return tq_zel_locale_load_edit(ctx, kDeDeu, 0, lock); }},
  };
  Context other(kb.dir.str().c_str(), true);
  for (const Failing& c : cases) {
    SCOPED_TRACE(c.what);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
    int32_t keep = -1;
    ASSERT_TQ_OK(kb.ctx, tq_chopper_edit_new(kb.ctx, kb.folder("chopinfo").c_str(), "kept", lock));
    ASSERT_TQ_OK(kb.ctx, tq_chopper_create(kb.ctx, "kept", &keep));
    EXPECT_LT(c.fail(kb.ctx, lock), 0);
    EXPECT_FALSE(kb.locked(c.folder, c.file));
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
  {
    // Files to edit: one of each kind, made and saved through a handle.
    // (Resources of all kinds are found along one search path, so their
    // names differ.)
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
    for (const Kind& kind : kinds()) {
      int32_t i = -1;
      ASSERT_TQ_OK(kb.ctx, kind.make(kb, (std::string("lent_") + kind.folder).c_str(), lock, &i));
      if (kind.fill) ASSERT_TQ_OK(kb.ctx, kind.fill(kb.ctx, i));
      ASSERT_TQ_OK(kb.ctx, kind.save(kb.ctx, i, lock));
    }
    int32_t v = -1;
    ASSERT_TQ_OK(kb.ctx, tq_vocab_edit_new(kb.ctx, kb.folder("vocab").c_str(), "lent_vocab", lock));
    ASSERT_TQ_OK(kb.ctx, tq_vocabulary_create(kb.ctx, &v));
    ASSERT_TQ_OK(kb.ctx, tq_vocab_save(kb.ctx, v, lock));
    EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);
  }
  Context ctx(kb.dir.str().c_str(), true);
  struct Borrowing {
    const char* name;
    const char* lock_file;
    std::function<int32_t(tq_context*, const char*, tq_lock_handle*, int32_t*)> edit;
    std::function<int32_t(tq_context*, int32_t)> use;
  };
  const Borrowing cases[] = {
      {"lent_chopinfo", "chopinfo/lent_chopinfo.zel.lck", tq_chopper_edit,
       [](tq_context* c, int32_t i) {
         uint32_t n = 0;
         return tq_chopper_table_char_count_get(c, i, &n);
       }},
      {"lent_regexlib", "regexlib/lent_regexlib.zel.lck", tq_regexlib_load,
       [](tq_context* c, int32_t i) {
         uint32_t n = 0;
         return tq_regexlib_rule_count_get(c, i, &n);
       }},
      {"lent_scheme", "scheme/lent_scheme.sch.zel.lck", tq_scheme_load_edit,
       [](tq_context* c, int32_t i) {
         uint32_t n = 0;
         return tq_scheme_element_count_get(c, i, &n);
       }},
      {"lent_vocab", "vocab/lent_vocab.zev.lck", tq_vocabulary_load,
       [](tq_context* c, int32_t i) {
         uint32_t n = 0;
         return tq_vocab_numwords_get(c, i, &n);
       }},
  };
  for (const Borrowing& c : cases) {
    SCOPED_TRACE(c.name);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    int32_t i = -1;
    ASSERT_TQ_OK(ctx, c.edit(ctx, c.name, lock, &i));
    ASSERT_EQ(tq_lock_free(ctx, lock), 0);
    EXPECT_TQ_OK(ctx, c.use(ctx, i));
    EXPECT_FALSE(fs::exists(kb.dir / c.lock_file));
  }
}

TEST(EditLocks, NamesDifferingAfterADotAreTwoResources) {
  EditKb kb;
  {
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
    for (const char* name : {"Addr.v1", "Addr.v2"}) {
      int32_t lib = -1;
      ASSERT_TQ_OK(kb.ctx, tq_regexlib_edit_new(kb.ctx, kb.folder("regexlib").c_str(), name, lock));
      ASSERT_TQ_OK(kb.ctx, tq_regexlib_create(kb.ctx, name, &lib));
      ASSERT_EQ(tq_regexlib_element_array_size_set(kb.ctx, lib, 1), 0);
      ASSERT_TQ_OK(kb.ctx, tq_regexlib_element_info_set(kb.ctx, lib, 0, "x", name, ""));
      ASSERT_TQ_OK(kb.ctx, tq_regexlib_save(kb.ctx, lib, lock));
    }
    // A third one with the same stem is no duplicate; the same name is.
    int32_t lib = -1;
    EXPECT_TQ_OK(kb.ctx, tq_regexlib_create(kb.ctx, "Addr.v3", &lib));
    EXPECT_EQ(tq_regexlib_create(kb.ctx, "Addr.v1.zel", &lib), -407);
    EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);
  }
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

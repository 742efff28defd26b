// What a save or an _edit_new answers when the file layer fails under it
// after the file is in place: a folder that cannot be forced to the disk
// (118 wins over the call's other warnings, which stay in the error list),
// and a temporary name that cannot be removed (named, under 119).
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/npfio.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;
namespace fs = std::filesystem;

// Fails with EIO the folder flush that follows a rename (a save's), or the
// first unlink: the file layer's hook, given back at the end of the scope.
struct FileFault {
  enum Kind { folder_sync, unlink };
  static inline Kind kind = folder_sync;
  static inline bool renamed = false;
  static inline int unlinks = 0;
  static int hook(const char* call) {
    if (kind == unlink) return std::strcmp(call, "unlink") == 0 && ++unlinks == 1 ? EIO : 0;
    if (std::strcmp(call, "rename") == 0 || std::strcmp(call, "renameat") == 0) renamed = true;
    return renamed && std::strcmp(call, "fsync") == 0 ? EIO : 0;
  }
  explicit FileFault(Kind k) {
    kind = k;
    renamed = false;
    unlinks = 0;
    np_fio_fault_set(&hook);
  }
  ~FileFault() { np_fio_fault_set(nullptr); }
  FileFault(const FileFault&) = delete;
  FileFault& operator=(const FileFault&) = delete;
};

// A vocabulary source whose word DR has the category PREFIX twice.
constexpr const char* kTwice = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE krxml SYSTEM "krxml.dtd">
<krxml><file type="Vocabulary" version="7.0">
<property name="Locale Code">29000</property><property name="Vault Object Name"></property>
<property name="Description"></property><property name="Locale ISO Code">EN</property>
<property name="Locale Description">English</property>
<include name="Category"><file type="Category" version="7.0"><data length="1">
<layout width="1"><column type="string">CategoryName</column></layout>
<record key="PREFIX"><field column="CategoryName">PREFIX</field></record>
</data></file></include>
<data length="2"><layout width="2"><column type="int">Likelihood</column>
<column type="string">CategoryAbbreviation</column></layout>
<record key="DR"><field column="Likelihood">90</field><field column="CategoryAbbreviation">PREFIX</field></record>
<record key="DR"><field column="Likelihood">50</field><field column="CategoryAbbreviation">PREFIX</field></record>
</data></file></krxml>
)";

TEST(SaveResults, NotDurableWinsOverDuplicatesDropped) {
  TempDir kb;
  const fs::path source = kb.write("vocab/twice.xml", kTwice);
  Context ctx(kb.str().c_str(), true);
  const std::string from = source.string();
  const std::string dropped = "the same category more than once";
  const std::string not_durable = "could not be forced to the disk (Input/output error)";
  // Clean: 111, said in the list.
  EXPECT_EQ(tq_vocab_file_convert(ctx, 0, from.c_str(), "clean"), TQ_WARN_DUPLICATES_DROPPED);
  EXPECT_TRUE(tq_test::holds(tq_test::error_list_text(ctx), dropped));
  ASSERT_TRUE(fs::exists(kb / "vocab/clean.zev"));
  // The folder not forced to the disk: 118, the 111 still in the list.
  for (const char* to : {"clean", "new"}) {
    SCOPED_TRACE(to);
    int32_t rc = 0;
    {
      FileFault fault(FileFault::folder_sync);
      rc = tq_vocab_file_convert(ctx, 0, from.c_str(), to);
    }
    EXPECT_EQ(rc, TQ_WARN_NOT_DURABLE);
    const std::string list = tq_test::error_list_text(ctx);
    EXPECT_TRUE(tq_test::holds(list, not_durable));
    EXPECT_TRUE(tq_test::holds(list, dropped));
  }

  // A vocabulary's own save: the word MAIN has the category AA twice.
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
  int32_t v = -1;
  ASSERT_TQ_OK(ctx, tq_vocab_edit_new(ctx, (kb / "vocab").c_str(), "v1", lock));
  ASSERT_TQ_OK(ctx, tq_vocabulary_create(ctx, &v));
  ASSERT_EQ(tq_vocab_edit_numcategories_set(ctx, v, 1), 0);
  ASSERT_EQ(tq_vocab_edit_category_set(ctx, v, 0, "aa", "Aye"), 0);
  ASSERT_EQ(tq_vocab_edit_numwords_set(ctx, v, 1), 0);
  ASSERT_EQ(tq_vocab_edit_word_set(ctx, v, 0, "MAIN", 2), 0);
  ASSERT_EQ(tq_vocab_edit_prepare(ctx, v), 0);
  ASSERT_EQ(tq_vocab_edit_wordcat_set(ctx, v, 0, 0, "AA", 70), 0);
  ASSERT_EQ(tq_vocab_edit_wordcat_set(ctx, v, 0, 1, "AA", 30), 0);
  ASSERT_EQ(tq_vocab_locale_info_set(ctx, v, "ENUSA", "English (United States)", 29840), 0);
  EXPECT_EQ(tq_vocab_save(ctx, v, lock), TQ_WARN_DUPLICATES_DROPPED);
  {
    FileFault fault(FileFault::folder_sync);
    EXPECT_EQ(tq_vocab_save(ctx, v, lock), TQ_WARN_NOT_DURABLE);
  }
  const std::string list = tq_test::error_list_text(ctx);
  EXPECT_TRUE(tq_test::holds(list, not_durable));
  EXPECT_TRUE(tq_test::holds(list, dropped));
  EXPECT_EQ(tq_lock_free(ctx, lock), 0);
}

// The temporary files beside the files of a folder.
std::vector<std::string> temporaries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().filename().string().find(".~tq") != std::string::npos) names.push_back(e.path().string());
  }
  return names;
}

// Every call that makes a new file through a temporary name: when that
// name cannot be removed, the file is made and locked all the same, and
// the call says so with 119, its list naming the temporary file.
TEST(SaveResults, EditNewNamesTheTemporaryThatStays) {
  using make_fn = std::function<int32_t(tq_context*, const char*, tq_lock_handle*)>;
  struct Case {
    const char* call;
    make_fn make;
    const char* file;
  };
  const std::vector<Case> cases = {
      {"tq_chopper_edit_new", [](tq_context* c, const char* d, tq_lock_handle* l) { return tq_chopper_edit_new(c, d, "made", l); },
       "made.zel"},
      {"tq_grammar_edit_new", [](tq_context* c, const char* d, tq_lock_handle* l) { return tq_grammar_edit_new(c, d, "made", l); },
       "made.zel"},
      {"tq_phonetx_edit_new", [](tq_context* c, const char* d, tq_lock_handle* l) { return tq_phonetx_edit_new(c, d, "made", l); },
       "made.zel"},
      {"tq_regexlib_edit_new",
       [](tq_context* c, const char* d, tq_lock_handle* l) { return tq_regexlib_edit_new(c, d, "made", l); }, "made.zel"},
      {"tq_vocab_edit_new", [](tq_context* c, const char* d, tq_lock_handle* l) { return tq_vocab_edit_new(c, d, "made", l); },
       "made.zev"},
      {"tq_scheme_create",
       [](tq_context* c, const char* d, tq_lock_handle* l) {
         int32_t index = -1;
         return tq_scheme_create(c, d, "made", 0, l, &index);
       },
       "made.sch.zel"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    TempDir kb;
    const fs::path dir = kb / "new";
    fs::create_directories(dir);
    fs::create_directories(kb / "locale");
    Context ctx(kb.str().c_str(), true);
    // A scheme is made for the current locale.
    tq_test::write_locale_settings(ctx, kb.path(), "l1.loc", "ISO-8859-1 (Latin-1)", "");
    tq_test::write_locale_settings(ctx, kb.path(), "en.loc", "English", "l1.loc");
    tq_test::write_locale_settings(ctx, kb.path(), "enusa.loc", "English (United States)", "");
    ASSERT_GE(tq_zel_locale_load(ctx, 29840, 0), 0) << tq_test::error_list_text(ctx);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    int32_t rc = 0;
    {
      FileFault fault(FileFault::unlink);
      rc = c.make(ctx, dir.c_str(), lock);
    }
    EXPECT_EQ(rc, TQ_WARN_TEMPORARY_STAYS);
    EXPECT_EQ(fs::file_size(dir / c.file), 0u);
    const std::vector<std::string> kept = temporaries(dir);
    ASSERT_EQ(kept.size(), 1u);
    const std::string list = tq_test::error_list_text(ctx);
    EXPECT_TRUE(tq_test::holds(list, "The temporary file '" + kept[0] + "' could not be removed (Input/output error)"));
    EXPECT_FALSE(tq_test::failure_recorded(ctx)) << list;
    EXPECT_EQ(tq_lock_free(ctx, lock), 0);
  }
}

}  // namespace

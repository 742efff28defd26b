// Regex libraries through the exported interface: building one in edit
// mode, matching and replacing, saving, and reading it back elsewhere.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;
namespace fs = std::filesystem;

constexpr size_t kText = 16384 + 2;

struct Kb {
  TempDir dir;
  Kb() { fs::create_directories(dir / "regexlib"); }
  std::string root() const { return dir.str(); }
  std::string folder() const { return (dir / "regexlib").string(); }
};

std::string replace(tq_context* ctx, int32_t lib, const char* in, int32_t* matched) {
  std::vector<char> out(1030, 'Z');
  EXPECT_EQ(tq_regexlib_match_and_replace(ctx, lib, in, out.data(), matched), 0);
  return out.data();
}

// Edit mode, no current locale: create, fill, use, save, then a plain
// context reads the file.
TEST(RegexlibApi, BuildSaveAndReload) {
  Kb kb;
  {
    Context ctx(kb.root().c_str(), true);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    ASSERT_TQ_OK(ctx, tq_regexlib_edit_new(ctx, kb.folder().c_str(), "names", lock));
    int32_t lib = -1;
    ASSERT_TQ_OK(ctx, tq_regexlib_create(ctx, "names", &lib));
    ASSERT_GE(lib, 0);
    int32_t dup = -1;
    EXPECT_EQ(tq_regexlib_create(ctx, "names", &dup), -407);
    EXPECT_EQ(dup, -1);

    ASSERT_EQ(tq_regexlib_element_array_size_set(ctx, lib, 3), 0);
    uint32_t count = 0;
    EXPECT_EQ(tq_regexlib_rule_count_get(ctx, lib, &count), 0);
    EXPECT_EQ(count, 3u);
    ASSERT_TQ_OK(ctx, tq_regexlib_element_info_set(ctx, lib, 0, "([A-Z]+)-([0-9]+)", "\\2 \\1", "swap"));
    ASSERT_TQ_OK(ctx, tq_regexlib_element_info_set(ctx, lib, 1, "^mc([a-z]+)", "Mc\\u\\1", ""));
    ASSERT_TQ_OK(ctx, tq_regexlib_element_info_set(ctx, lib, 2, "(\xE9[a-z]*)", "\\U\\1", "latin-1 session"));
    EXPECT_EQ(tq_regexlib_element_info_set(ctx, lib, 3, "a", "", ""), -800);
    EXPECT_EQ(tq_regexlib_element_info_set(ctx, lib, 1, "", "", ""), -802);
    EXPECT_EQ(tq_regexlib_element_info_set(ctx, lib, 1, "(", "", ""), -803);

    int32_t matched = -1;
    EXPECT_EQ(replace(ctx, lib, "AB-12", &matched), "12 AB");
    EXPECT_EQ(matched, 1);
    EXPECT_EQ(replace(ctx, lib, "mcdonald", &matched), "McDonald");
    EXPECT_EQ(replace(ctx, lib, "\xE9t\xE9", &matched), "\xC9T\xC9");
    EXPECT_EQ(replace(ctx, lib, "nothing", &matched), "nothing");
    EXPECT_EQ(matched, 0);
    EXPECT_EQ(tq_regexlib_match(ctx, lib, "XY-9", &matched), 0);
    EXPECT_EQ(matched, 1);
    EXPECT_EQ(tq_regexlib_match(ctx, lib, "xy", &matched), 0);
    EXPECT_EQ(matched, 0);

    std::vector<char> regex(kText), sub(kText), notes(kText);
    EXPECT_EQ(tq_regexlib_element_info_get(ctx, lib, 0, regex.data(), sub.data(), notes.data()), 0);
    EXPECT_STREQ(regex.data(), "([A-Z]+)-([0-9]+)");
    EXPECT_STREQ(sub.data(), "\\2 \\1");
    EXPECT_STREQ(notes.data(), "swap");
    EXPECT_EQ(tq_regexlib_element_info_get(ctx, lib, 3, regex.data(), sub.data(), notes.data()), -800);

    EXPECT_EQ(tq_regexlib_owner_set(ctx, lib, "Data team"), 0);
    EXPECT_EQ(tq_regexlib_vault_info_set(ctx, lib, "names", "Name fixes"), 0);

    // Without a locale the library would be written unreadable: refused.
    EXPECT_EQ(tq_regexlib_save(ctx, lib, lock), -300);
    EXPECT_EQ(tq_regexlib_locale_info_set(ctx, lib, "ENUSA", "English (United States)", 29840), 0);
    char iso[24], desc[330];
    int32_t code = 0;
    EXPECT_EQ(tq_regexlib_locale_info_get(ctx, lib, iso, desc, &code), 0);
    EXPECT_STREQ(iso, "ENUSA");
    EXPECT_EQ(code, 29840);
    ASSERT_TQ_OK(ctx, tq_regexlib_save(ctx, lib, lock));
    EXPECT_EQ(tq_regexlib_close(ctx, lock), 0);
    EXPECT_EQ(tq_regexlib_close(ctx, nullptr), 0);
    EXPECT_EQ(tq_lock_free(ctx, lock), 0);
    EXPECT_EQ(tq_regexlib_unload(ctx, lib), 0);
  }
  ASSERT_TRUE(fs::exists(kb.dir / "regexlib" / "names.zel"));

  Context ctx(kb.root().c_str());
  int32_t lib = -1;
  ASSERT_TQ_OK(ctx, tq_regexlib_load(ctx, "names", nullptr, &lib));
  uint32_t count = 0;
  ASSERT_TQ_OK(ctx, tq_regexlib_rule_count_get(ctx, lib, &count));
  EXPECT_EQ(count, 3u);
  int32_t matched = -1;
  EXPECT_EQ(replace(ctx, lib, "AB-12", &matched), "12 AB");
  EXPECT_EQ(replace(ctx, lib, "\xE9t\xE9", &matched), "\xC9T\xC9");
  std::vector<char> regex(kText), sub(kText), notes(kText);
  EXPECT_EQ(tq_regexlib_element_info_get(ctx, lib, 1, regex.data(), sub.data(), notes.data()), 0);
  EXPECT_STREQ(regex.data(), "^mc([a-z]+)");
  EXPECT_STREQ(sub.data(), "Mc\\u\\1");
  EXPECT_EQ(tq_regexlib_element_info_get(ctx, lib, 2, regex.data(), sub.data(), notes.data()), 0);
  EXPECT_STREQ(regex.data(), "(\xE9[a-z]*)");
  char owner[330];
  EXPECT_EQ(tq_regexlib_owner_get(ctx, lib, owner), 0);
  EXPECT_STREQ(owner, "Data team");
  char iso[24], desc[330];
  int32_t code = 0;
  EXPECT_EQ(tq_regexlib_locale_info_get(ctx, lib, iso, desc, &code), 0);
  EXPECT_STREQ(desc, "English (United States)");
  int32_t found = -1;
  EXPECT_EQ(tq_regexlib_index_get_by_name(ctx, "names", &found), 0);
  EXPECT_EQ(found, lib);
  EXPECT_EQ(tq_regexlib_index_get_by_name(ctx, "other", &found), -404);
  // Editing calls need edit mode.
  EXPECT_EQ(tq_regexlib_element_array_size_set(ctx, lib, 0), -501);
  EXPECT_EQ(tq_regexlib_unload_ex(ctx, lib), 0);
  EXPECT_EQ(tq_regexlib_rule_count_get(ctx, lib, &count), -800);

  // Loaded for editing through a lock handle, changed and written back.
  {
    Context edit(kb.root().c_str(), true);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(edit, &lock), 0);
    int32_t e = -1;
    ASSERT_TQ_OK(edit, tq_regexlib_load(edit, "names", lock, &e));
    ASSERT_TQ_OK(edit, tq_regexlib_rule_count_get(edit, e, &count));
    EXPECT_TRUE(fs::exists(kb.dir / "regexlib" / "names.zel.lck"));
    ASSERT_TQ_OK(edit, tq_regexlib_element_info_set(edit, e, 0, "([0-9]+)", "<\\1>", ""));
    ASSERT_TQ_OK(edit, tq_regexlib_save(edit, e, lock));
    EXPECT_EQ(tq_lock_free(edit, lock), 0);
  }
  Context again(kb.root().c_str());
  ASSERT_TQ_OK(again, tq_regexlib_load_no_compile(again, "names", nullptr, &lib));
  EXPECT_EQ(replace(again, lib, "AB-12", &matched), "AB-<12>");
  EXPECT_EQ(matched, 1);
}

// A document without records is a library saved empty: it loads, holds no
// element and matches nothing.
TEST(RegexlibApi, AnEmptyDocumentLoadsEmpty) {
  Kb kb;
  {
    Context ctx(kb.root().c_str(), true);
    tq_xmldoc* doc = nullptr;
    ASSERT_EQ(tq_xml_create(ctx, "Regexlib", "7.0", &doc), 0);
    ASSERT_EQ(tq_xml_addprop(ctx, doc, "Locale ISO Code", "ENUSA"), 0);
    ASSERT_EQ(tq_xml_addprop(ctx, doc, "Locale Description", "English (United States)"), 0);
    ASSERT_EQ(tq_xml_addprop(ctx, doc, "Locale Code", "29840"), 0);
    std::string path = kb.folder() + "/empty";
    ASSERT_TQ_OK(ctx, tq_xml_write(ctx, 0, path.c_str(), 1, doc));
    EXPECT_EQ(tq_xml_free(ctx, doc), 0);
  }
  Context ctx(kb.root().c_str());
  int32_t lib = -1;
  ASSERT_TQ_OK(ctx, tq_regexlib_load(ctx, "empty", nullptr, &lib));
  uint32_t count = 9;
  EXPECT_EQ(tq_regexlib_rule_count_get(ctx, lib, &count), 0);
  EXPECT_EQ(count, 0u);
  int32_t matched = -1;
  EXPECT_EQ(tq_regexlib_match(ctx, lib, "anything", &matched), 0);
  EXPECT_EQ(matched, 0);
  EXPECT_EQ(tq_regexlib_unload(ctx, lib), 0);
}

TEST(RegexlibApi, CompileCheckRenameAndMissingFiles) {
  Kb kb;
  Context ctx(kb.root().c_str(), true);
  EXPECT_EQ(tq_regexlib_regex_compile(ctx, "("), -803);
  uint32_t n = 0;
  EXPECT_EQ(tq_error_count_get(ctx, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(tq_regexlib_regex_compile(ctx, "[0-9]+"), 0);
  EXPECT_EQ(tq_regexlib_regex_compile(ctx, ""), -802);

  int32_t a = -1, b = -1;
  ASSERT_EQ(tq_regexlib_create(ctx, "first", &a), 0);
  ASSERT_EQ(tq_regexlib_create(ctx, "second", &b), 0);
  // A rename onto a name in use fails and says so.
  EXPECT_EQ(tq_regexlib_name_set(ctx, b, "first"), -407);
  EXPECT_EQ(tq_regexlib_name_set(ctx, b, "third"), 0);
  int32_t found = -1;
  EXPECT_EQ(tq_regexlib_index_get_by_name(ctx, "third", &found), 0);
  EXPECT_EQ(found, b);

  // Elements made by the size call are empty: such a library is not saved.
  ASSERT_EQ(tq_regexlib_element_array_size_set(ctx, a, 1), 0);
  ASSERT_EQ(tq_regexlib_locale_info_set(ctx, a, "ENUSA", "English (United States)", 29840), 0);
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
  ASSERT_EQ(tq_regexlib_edit_new(ctx, kb.folder().c_str(), "first", lock), 0);
  EXPECT_EQ(tq_regexlib_save(ctx, a, lock), -300);
  int32_t matched = -1;
  EXPECT_EQ(tq_regexlib_match(ctx, a, "anything", &matched), 0);
  EXPECT_EQ(matched, 0);
  EXPECT_EQ(tq_lock_free(ctx, lock), 0);

  int32_t missing = -5;
  EXPECT_LT(tq_regexlib_load(ctx, "nowhere", nullptr, &missing), 0);
  EXPECT_EQ(missing, -1);
  EXPECT_EQ(tq_regexlib_rule_count_get(ctx, 99, &n), -800);
  // Unloading names a library like every other call: a bad index is -800.
  EXPECT_EQ(tq_regexlib_unload(ctx, 99), -800);
}

// Conversion failures and patterns that give up are returned as results,
// never reported as "no match"; the output is then an empty text, the
// caller's old text gone.
TEST(RegexlibApi, FailuresAreReturnedNotTakenForNoMatch) {
  Context ctx(nullptr, true);
  int32_t lib = -1;
  ASSERT_EQ(tq_regexlib_create(ctx, "fails", &lib), 0);
  ASSERT_EQ(tq_regexlib_element_array_size_set(ctx, lib, 2), 0);
  ASSERT_TQ_OK(ctx, tq_regexlib_element_info_set(ctx, lib, 0, "(\xFF)", "\\U\\1", ""));
  ASSERT_TQ_OK(ctx, tq_regexlib_element_info_set(ctx, lib, 1, "(a+)+[bc]", "x", ""));
  int32_t matched = -1;
  std::vector<char> out(1030, 'Z');
  // Latin-1 session: y-diaeresis uppercases to U+0178, which Latin-1 lacks.
  tq_options_set(ctx, tq_options_get(ctx) | TQ_OPT_STRICT_CONVERSION);
  EXPECT_EQ(tq_regexlib_match_and_replace(ctx, lib, "\xFF", out.data(), &matched), -10000);
  EXPECT_EQ(matched, 0);
  std::fill(out.begin(), out.end(), 'Z');
  // UTF-8 session: a byte that is no character.
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  matched = -1;
  EXPECT_EQ(tq_regexlib_match(ctx, lib, "ab\xC3", &matched), -10000);
  EXPECT_EQ(matched, 0);
  EXPECT_EQ(tq_regexlib_match_and_replace(ctx, lib, "ab\xC3", out.data(), &matched), -10000);
  EXPECT_EQ(matched, 0);
  EXPECT_EQ(out[0], '\0');
  // Replaced instead, with a warning asked for: the warning is the result.
  tq_options_set(ctx, (tq_options_get(ctx) & ~TQ_OPT_STRICT_CONVERSION) | TQ_OPT_WARN_REPLACED);
  EXPECT_EQ(tq_regexlib_match(ctx, lib, "aab\xC3", &matched), 116);
  EXPECT_EQ(matched, 1);
  tq_options_set(ctx, tq_options_get(ctx) & ~TQ_OPT_WARN_REPLACED);

  // 100 a's: without limits this backtracks for seconds; the limit's code
  // says the match was stopped.
  std::string as(100, 'a');
  matched = -1;
  EXPECT_EQ(tq_regexlib_match(ctx, lib, as.c_str(), &matched), -601);
  EXPECT_EQ(matched, 0);
  EXPECT_EQ(tq_regexlib_match_and_replace(ctx, lib, as.c_str(), out.data(), &matched), -601);
  EXPECT_EQ(out[0], '\0');
  int32_t code = 0;
  std::vector<char> text(8200);
  ASSERT_EQ(tq_error_info_get(ctx, &code, text.data()), 0);
  EXPECT_EQ(code, -601);
  EXPECT_NE(std::string(text.data()).find("(a+)+[bc]"), std::string::npos) << text.data();
  // The same pattern on a value it can settle still works.
  EXPECT_EQ(tq_regexlib_match_and_replace(ctx, lib, "aab", out.data(), &matched), 0);
  EXPECT_STREQ(out.data(), "x");
  EXPECT_EQ(matched, 1);
}

}  // namespace

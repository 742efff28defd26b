// Parse definitions through their exports: made in edit mode in a locale
// and its parent, found across the two, edited field by field, written.
#include <filesystem>
#include <string>
#include <vector>

#include "support/tq_test.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;

constexpr int32_t kEnusa = 29840;
constexpr int32_t kEn = 29000;
constexpr int32_t kParent = 256;  // the parent's first definition, seen from the child in edit mode

// An edit-mode context on ENUSA below EN. EN holds the datatype "Name"
// (Given, Middle, Family) and the parse definitions "Name" and "Hidden"
// (not surfaced); ENUSA is current and holds none yet.
struct Kb {
  TempDir dir;
  Context ctx;
  bool built = false;
  Kb() : ctx(dir.str().c_str(), true) {
    std::filesystem::create_directories(dir / "locale");
    tq_test::write_locale_settings(ctx, dir.path(), "l1.loc", "ISO-8859-1 (Latin-1)", "");
    tq_test::write_locale_settings(ctx, dir.path(), "en.loc", "English", "l1.loc");
    tq_test::write_locale_settings(ctx, dir.path(), "enusa.loc", "English (United States)", "");
    EXPECT_GE(tq_zel_locale_load(ctx, kEnusa, 0), 0) << tq_test::error_list_text(ctx);
    // An engine without parse definitions refuses the kind (-802).
    uint32_t n = 0;
    built = tq_parse_defn_count_get_by_locale(ctx, kEn, &n) == 0;
    if (!built) return;
    EXPECT_EQ(tq_locale_set(ctx, kEn), 0);
    int32_t dt = -1, token = -1, index = -1;
    EXPECT_EQ(tq_datatype_add(ctx, "Name", &dt), 0);
    for (const char* value : {"Given", "Middle", "Family"}) {
      EXPECT_EQ(tq_datatype_token_add(ctx, dt, &token), 0);
      EXPECT_EQ(tq_datatype_token_value_set(ctx, dt, token, value), 0);
    }
    EXPECT_TQ_OK(ctx, tq_parse_defn_add(ctx, "Name", dt, &index));
    EXPECT_EQ(index, 0);
    EXPECT_TQ_OK(ctx, tq_parse_defn_add(ctx, "Hidden", dt, &index));
    EXPECT_EQ(tq_parse_defn_surface_flag_set(ctx, index, 0), 0);
    EXPECT_EQ(tq_locale_set(ctx, kEnusa), 0);
  }
};

#define REQUIRE_PARSE_DEFNS(kb) \
  if (!(kb).built) GTEST_SKIP() << "parse definitions are not built into this engine"

std::string text_or_rc(int32_t rc, const char* text) { return rc < 0 ? "rc " + std::to_string(rc) : text; }

std::string name_ex(tq_context* ctx, int32_t index) {
  char name[400] = "";
  return text_or_rc(tq_parse_defn_name_get_by_index_ex(ctx, index, name), name);
}

std::vector<std::string> token_names(tq_context* ctx, const char* defn) {
  std::vector<std::vector<char>> buffers(32, std::vector<char>(400));
  std::vector<char*> names;
  for (auto& b : buffers) names.push_back(b.data());
  uint32_t n = 0;
  EXPECT_EQ(tq_parse_defn_token_names_get(ctx, defn, names.data(), &n), 0);
  return std::vector<std::string>(names.begin(), names.begin() + n);
}

TEST(ParseDefnExports, FoundAcrossParentAndChild) {
  Kb kb;
  REQUIRE_PARSE_DEFNS(kb);
  tq_context* ctx = kb.ctx;
  int32_t index = -1;
  uint32_t count = 9;
  char name[400] = "";
  EXPECT_EQ(tq_parse_defn_index_get_by_name(ctx, "NAME", &index), 0);
  EXPECT_EQ(index, kParent);
  // Not surfaced: only the lookups of every definition find it.
  EXPECT_EQ(tq_parse_defn_index_get_by_name(ctx, "Hidden", &index), -800);
  EXPECT_EQ(tq_nonsurfaced_parse_defn_index_get_by_name(ctx, "Hidden", &index), 0);
  EXPECT_EQ(index, kParent + 1);
  EXPECT_EQ(tq_parse_defn_name_get_by_index(ctx, kParent + 1, name), -701);
  EXPECT_EQ(name_ex(ctx, kParent + 1), "Hidden");
  EXPECT_EQ(tq_parse_defn_surface_flag_get(ctx, kParent + 1, &count), 0);
  EXPECT_EQ(count, 0u);
  // Under option bit 20 every definition is surfaced, but not for the
  // stored flag.
  tq_options_set(ctx, 1 | TQ_OPT_ALL_SURFACED);
  EXPECT_EQ(tq_parse_defn_index_get_by_name(ctx, "Hidden", &index), 0);
  EXPECT_EQ(tq_parse_defn_name_get_by_index(ctx, kParent + 1, name), 0);
  EXPECT_EQ(tq_parse_defn_surface_flag_get(ctx, kParent + 1, &count), 0);
  EXPECT_EQ(count, 0u);
  tq_options_set(ctx, 1);
  // Counts: the surfaced family refuses edit mode, the plain count needs a
  // locale that is not being edited, by locale it counts the own ones.
  EXPECT_EQ(tq_surfaced_parse_defn_count_get(ctx, &count), -500);
  EXPECT_EQ(tq_surfaced_parse_defn_name_get(ctx, 0, name), -500);
  EXPECT_EQ(tq_parse_defn_count_get(ctx, &count), -500);
  EXPECT_EQ(tq_parse_defn_count_get_by_locale(ctx, kEn, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(tq_parse_defn_count_get_by_locale(ctx, kEnusa, &count), 0);
  EXPECT_EQ(count, 0u);

  // A copy in the child keeps the tokens; one on a datatype of the parent
  // gets one token per datatype token, in order.
  ASSERT_EQ(tq_parse_defn_copy(ctx, "hidden", "Mine", &index), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(tq_parse_defn_copy(ctx, "Nowhere", "Other", &index), -801);
  EXPECT_EQ(token_names(ctx, "Mine"), (std::vector<std::string>{"Given", "Middle", "Family"}));
  int32_t dt = -1;
  ASSERT_EQ(tq_datatype_index_get_by_name(ctx, "Name", &dt), 0);
  // A datatype that is not there leaves no definition behind: the name is
  // free for the next try.
  EXPECT_EQ(tq_parse_defn_add(ctx, "Made", dt + 7, &index), -800);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(tq_nonsurfaced_parse_defn_index_get_by_name(ctx, "Made", &index), -801);
  ASSERT_EQ(tq_parse_defn_add(ctx, "Made", dt, &index), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(token_names(ctx, "made"), (std::vector<std::string>{"Given", "Middle", "Family"}));
  EXPECT_EQ(tq_parse_defn_datatype_index_get(ctx, 1, &index), 0);
  EXPECT_EQ(index, dt);
  EXPECT_EQ(tq_parse_defn_token_count_get(ctx, 1, &count), 0);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(tq_parse_defn_token_key_get_by_name(ctx, 1, "family", &index), 0);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(tq_parse_defn_token_name_get_by_key(ctx, 1, 1, name), 0);
  EXPECT_STREQ(name, "Middle");

  // Names: the rules of the store, then an unloaded slot keeps its index.
  EXPECT_EQ(tq_parse_defn_name_set(ctx, 1, "Mine"), -801);
  EXPECT_EQ(tq_parse_defn_name_set(ctx, 1, " Renamed "), 0);
  EXPECT_EQ(name_ex(ctx, 1), "Renamed");
  EXPECT_EQ(tq_parse_defn_unload(ctx, 1), 0);
  EXPECT_EQ(tq_nonsurfaced_parse_defn_index_get_by_name(ctx, "Renamed", &index), -801);
  EXPECT_EQ(tq_parse_defn_count_get_by_locale(ctx, kEnusa, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(name_ex(ctx, 2), "rc -800");
}

// A number field: its setter, its getter, what is set and what is read back.
struct NumberField {
  const char* name;
  int32_t (*set)(tq_context*, int32_t, uint32_t);
  int32_t (*get)(tq_context*, int32_t, uint32_t*);
  uint32_t value;
  uint32_t expected;
};

TEST(ParseDefnExports, FieldsSetAndReadBack) {
  Kb kb;
  REQUIRE_PARSE_DEFNS(kb);
  tq_context* ctx = kb.ctx;
  int32_t index = -1;
  ASSERT_EQ(tq_parse_defn_copy(ctx, "Name", "Mine", &index), 0);
  const NumberField fields[] = {
      {"incomplete", tq_parse_defn_incomplete_set, tq_parse_defn_incomplete_get, 1, 1},
      {"valid", tq_parse_defn_valid_set, tq_parse_defn_valid_get, 7, 1},
      {"valid info", tq_parse_defn_valid_flag_info_set, tq_parse_defn_valid_flag_info_get, 9, 9},
      {"surface", tq_parse_defn_surface_flag_set, tq_parse_defn_surface_flag_get, 0, 0},
      {"uppercasing", tq_parse_defn_automatic_uppercasing_set, tq_parse_defn_automatic_uppercasing_get, 0, 0},
  };
  for (const NumberField& f : fields) {
    SCOPED_TRACE(f.name);
    uint32_t out = 99;
    EXPECT_EQ(f.set(ctx, index, f.value), 0);
    EXPECT_EQ(f.get(ctx, index, &out), 0);
    EXPECT_EQ(out, f.expected);
    EXPECT_EQ(f.set(ctx, 9, f.value), -800);
    EXPECT_EQ(f.get(ctx, 9, &out), -800);
  }
  uint32_t flag = 0;
  EXPECT_EQ(tq_parse_defn_editable_flag_get(ctx, index, &flag), 0);
  EXPECT_EQ(flag, 1u);

  // Texts cross in the session encoding.
  char text[400] = "";
  EXPECT_EQ(tq_parse_defn_owner_set(ctx, index, "Caf\xE9"), 0);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  EXPECT_EQ(tq_parse_defn_owner_get(ctx, index, text), 0);
  EXPECT_STREQ(text, "Caf\xC3\xA9");
  uint32_t deprecated = 9;
  EXPECT_EQ(tq_parse_defn_deprecated_info_set(ctx, index, 1, "Newer"), 0);
  EXPECT_EQ(tq_parse_defn_deprecated_info_get(ctx, index, &deprecated, text), 0);
  EXPECT_EQ(deprecated, 1u);
  EXPECT_STREQ(text, "Newer");
  EXPECT_EQ(tq_parse_defn_deprecated_info_set(ctx, index, 0, "Ignored"), 0);
  EXPECT_EQ(tq_parse_defn_deprecated_info_get(ctx, index, &deprecated, text), 0);
  EXPECT_EQ(deprecated, 0u);
  EXPECT_STREQ(text, "");

  // Token separators and names.
  EXPECT_EQ(tq_parse_defn_token_sep_get(ctx, index, 2, text), 0);
  EXPECT_STREQ(text, " ");
  EXPECT_EQ(tq_parse_defn_token_sep_set(ctx, index, 2, "\xE2\x80\x93"), 0);
  EXPECT_EQ(tq_parse_defn_token_sep_get(ctx, index, 2, text), 0);
  EXPECT_STREQ(text, "\xE2\x80\x93");
  EXPECT_EQ(tq_parse_defn_token_use_sep_flag_set(ctx, index, 2, 0), 0);
  EXPECT_EQ(tq_parse_defn_token_use_sep_flag_get(ctx, index, 2, &flag), 0);
  EXPECT_EQ(flag, 0u);
  EXPECT_EQ(tq_parse_defn_token_sep_get(ctx, index, 3, text), -800);
  EXPECT_EQ(tq_parse_defn_token_use_sep_flag_set(ctx, index, 3, 1), -800);
  EXPECT_EQ(tq_parse_defn_token_name_set(ctx, index, 0, "Nickname"), -300);
  EXPECT_EQ(tq_parse_defn_token_name_get(ctx, index, 0, text), 0);
  EXPECT_STREQ(text, "Given");

  // Default categories are uppercased as files hold them.
  int32_t entry = -1;
  uint32_t likelihood = 0;
  EXPECT_EQ(tq_parse_defn_default_category_add(ctx, index, &entry), 0);
  EXPECT_EQ(entry, 0);
  EXPECT_EQ(tq_parse_defn_default_category_info_set(ctx, index, 0, "street", 95), -802);
  EXPECT_EQ(tq_parse_defn_default_category_info_set(ctx, index, 0, "street", 70), 0);
  EXPECT_EQ(tq_parse_defn_default_category_info_get(ctx, index, 0, text, &likelihood), 0);
  EXPECT_STREQ(text, "STREET");
  EXPECT_EQ(likelihood, 70u);
  EXPECT_EQ(tq_parse_defn_default_category_info_get(ctx, index, 1, text, &likelihood), -800);

  // Regex libraries: none yet; the normalization getter says so, the
  // preprocessing one gives an empty name.
  uint32_t count = 9;
  EXPECT_EQ(tq_parse_defn_normalization_regexlib_name_get(ctx, index, text), -800);
  EXPECT_EQ(tq_parse_defn_preprocessing_regexlib_name_get(ctx, index, text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(tq_parse_defn_normalization_regexlib_add(ctx, index, ""), -802);
  int32_t lib = -1;
  ASSERT_EQ(tq_regexlib_create(ctx, "Strip", &lib), 0);
  EXPECT_EQ(tq_parse_defn_normalization_regexlib_add(ctx, index, "Strip"), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(tq_parse_defn_normalization_regexlib_add(ctx, index, "Strip"), 0);
  // The single form leaves one library, and a name that cannot be opened
  // changes nothing.
  EXPECT_LT(tq_parse_defn_normalization_regexlib_name_set(ctx, index, "Missing"), 0);
  EXPECT_EQ(tq_parse_defn_normalization_regexlib_count_get(ctx, index, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(tq_parse_defn_normalization_regexlib_name_set(ctx, index, "Strip"), 0);
  EXPECT_EQ(tq_parse_defn_normalization_regexlib_count_get(ctx, index, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(tq_parse_defn_normalization_regexlib_name_get(ctx, index, text), 0);
  EXPECT_STREQ(text, "Strip");
  // The single set switches uppercasing back on, as emptying the list does.
  EXPECT_EQ(tq_parse_defn_automatic_uppercasing_get(ctx, index, &flag), 0);
  EXPECT_EQ(flag, 1u);

  // Written as a "Parsorithm" include; an unloaded slot has nothing to write.
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Locale Settings", "7.0", &doc), 0);
  EXPECT_EQ(tq_parse_defn_write(ctx, doc, index), 0) << tq_test::error_list_text(ctx);
  const std::string file = (kb.dir / "written.xml").string();
  ASSERT_EQ(tq_xml_write(ctx, 0, file.c_str(), 8, doc), 0);
  tq_xml_free(ctx, doc);
  const std::string written = tq_test::read_file(file);
  for (const char* part : {"Parsorithm", "Mine", "Caf\xC3\xA9", "STREET", "Strip", "Middle"}) {
    EXPECT_NE(written.find(part), std::string::npos) << part;
  }
  ASSERT_EQ(tq_parse_defn_unload(ctx, index), 0);
  ASSERT_EQ(tq_xml_create(ctx, "Locale Settings", "7.0", &doc), 0);
  EXPECT_EQ(tq_parse_defn_write(ctx, doc, index), -800);
  tq_xml_free(ctx, doc);
}

}  // namespace

// Parse definitions through their exports: made in edit mode in a locale
// and its parent, found across the two, edited field by field, written with
// the locales and loaded again; and read from the name knowledge base.
#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/parse_kb.h"
#include "support/tq_test.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;

constexpr int32_t kEnusa = 29840;
constexpr int32_t kEn = 29000;
constexpr int32_t kParent = 256;  // the parent's first definition, seen from the child in edit mode

// A grammar made in memory: NAME -> GIVEN FAMILY.
int32_t make_grammar(tq_context* ctx, const char* name) {
  int32_t g = -1;
  EXPECT_EQ(tq_grammar_create(ctx, name, &g), 0);
  for (const char* c : {"NUM", "GIVEN", "FAMILY", "NAME"}) EXPECT_EQ(tq_grammar_category_add(ctx, g, c, c), 0);
  EXPECT_EQ(tq_grammar_rule_add(ctx, g, 3, 80), 0);
  for (const char* c : {"GIVEN", "FAMILY"}) EXPECT_EQ(tq_grammar_rule_category_add(ctx, g, 3, 0, c), 0);
  return g;
}

// An edit-mode context on ENUSA below EN. EN holds the datatype "Name"
// (Given, Middle, Family) and the parse definitions "Name" and "Hidden"
// (not surfaced), both on the grammar "People" (root NAME) and the
// vocabulary "Names", which are files of the knowledge base; ENUSA is
// current and holds none yet.
struct Kb {
  TempDir dir;
  Context ctx;
  bool built = false;
  Kb() : ctx(dir.str().c_str(), true) {
    std::filesystem::create_directories(dir / "locale");
    std::filesystem::create_directories(dir / "vocab");
    std::filesystem::create_directories(dir / "grammar");
    tq_test::write_locale_settings(ctx, dir.path(), "l1.loc", "ISO-8859-1 (Latin-1)", "");
    tq_test::write_locale_settings(ctx, dir.path(), "en.loc", "English", "l1.loc");
    tq_test::write_locale_settings(ctx, dir.path(), "enusa.loc", "English (United States)", "");
    EXPECT_GE(tq_zel_locale_load(ctx, kEnusa, 0), 0) << tq_test::error_list_text(ctx);
    // An engine without parse definitions refuses the kind (-802).
    uint32_t n = 0;
    built = tq_parse_defn_count_get_by_locale(ctx, kEn, &n) == 0;
    if (!built) return;
    EXPECT_EQ(tq_locale_set(ctx, kEn), 0);
    int32_t dt = -1, token = -1;
    EXPECT_EQ(tq_datatype_add(ctx, "Name", &dt), 0);
    for (const char* value : {"Given", "Middle", "Family"}) {
      EXPECT_EQ(tq_datatype_token_add(ctx, dt, &token), 0);
      EXPECT_EQ(tq_datatype_token_value_set(ctx, dt, token, value), 0);
    }
    vocabulary("Names");
    grammar("People");
    EXPECT_EQ(add("Name", dt), 0);
    EXPECT_EQ(tq_parse_defn_surface_flag_set(ctx, add("Hidden", dt), 0), 0);
    EXPECT_EQ(tq_locale_set(ctx, kEnusa), 0);
  }
  // A definition on the datatype at dt, with the vocabulary that reading
  // it back requires; its index.
  int32_t add(const char* name, int32_t dt) {
    int32_t index = -1;
    EXPECT_TQ_OK(ctx, tq_parse_defn_add(ctx, name, dt, &index));
    EXPECT_TQ_OK(ctx, tq_parse_defn_vocabulary_name_set(ctx, index, "Names"));
    EXPECT_TQ_OK(ctx, tq_parse_defn_grammar_name_set(ctx, index, "People"));
    EXPECT_TQ_OK(ctx, tq_parse_defn_root_category_index_set(ctx, index, 3));
    return index;
  }
  void grammar(const char* name) {
    tq_lock_handle* lock = nullptr;
    EXPECT_EQ(tq_lock_init(ctx, &lock), 0);
    EXPECT_TQ_OK(ctx, tq_grammar_edit_new(ctx, (dir / "grammar").string().c_str(), name, lock));
    EXPECT_TQ_OK(ctx, tq_grammar_save(ctx, make_grammar(ctx, name), lock));
    EXPECT_EQ(tq_grammar_close(ctx, lock), 0);
    EXPECT_EQ(tq_lock_free(ctx, lock), 0);
  }
  // A compiled vocabulary of one word (JOHN, GIVEN 90) in the vocab folder.
  void vocabulary(const char* name) {
    tq_lock_handle* lock = nullptr;
    int32_t v = -1;
    EXPECT_EQ(tq_lock_init(ctx, &lock), 0);
    EXPECT_TQ_OK(ctx, tq_vocab_edit_new(ctx, (dir / "vocab").string().c_str(), name, lock));
    EXPECT_TQ_OK(ctx, tq_vocabulary_create(ctx, &v));
    EXPECT_EQ(tq_vocab_edit_numcategories_set(ctx, v, 1), 0);
    EXPECT_EQ(tq_vocab_edit_category_set(ctx, v, 0, "GIVEN", "Given name"), 0);
    EXPECT_EQ(tq_vocab_edit_numwords_set(ctx, v, 1), 0);
    EXPECT_EQ(tq_vocab_edit_word_set(ctx, v, 0, "JOHN", 1), 0);
    EXPECT_EQ(tq_vocab_edit_prepare(ctx, v), 0);
    EXPECT_EQ(tq_vocab_edit_wordcat_set(ctx, v, 0, 0, "GIVEN", 90), 0);
    EXPECT_EQ(tq_vocab_locale_info_set(ctx, v, "EN", "English", kEn), 0);
    EXPECT_TQ_OK(ctx, tq_vocab_save(ctx, v, lock));
    EXPECT_EQ(tq_lock_free(ctx, lock), 0);
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
  // Nor does a datatype with a token longer than a token name keeps (320
  // bytes): the message says so.
  int32_t long_token = -1;
  ASSERT_EQ(tq_datatype_token_add(ctx, dt, &long_token), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_datatype_token_value_set(ctx, dt, long_token, std::string(321, 'L').c_str()), 0);
  EXPECT_EQ(tq_parse_defn_add(ctx, "Made", dt, &index), TQ_ERR_INVALID_CONTENT);
  EXPECT_TRUE(tq_test::holds(tq_test::error_list_text(ctx),
                             "tq_parse_defn_add was given a datatype with a token of 321 bytes, longer than the 320 "
                             "bytes a definition's token name keeps"));
  EXPECT_EQ(index, -1);
  EXPECT_EQ(tq_nonsurfaced_parse_defn_index_get_by_name(ctx, "Made", &index), -801);
  ASSERT_EQ(tq_datatype_token_delete(ctx, dt, long_token), 0);
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

  // An unloaded slot has nothing to write.
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_parse_defn_unload(ctx, index), 0);
  ASSERT_EQ(tq_xml_create(ctx, "Locale Settings", "7.0", &doc), 0);
  EXPECT_EQ(tq_parse_defn_write(ctx, doc, index), -800);
  tq_xml_free(ctx, doc);
}

}  // namespace

namespace {

std::string nosol_slot(tq_context* ctx, int32_t index, int32_t slot) {
  char name[1100] = "";
  uint32_t cats = 99;
  const int32_t rc = tq_parse_defn_nosol_token_info_get(ctx, index, slot, name, &cats);
  return rc < 0 ? "rc " + std::to_string(rc) : std::string(name) + "/" + std::to_string(cats);
}

std::string unknown_token(tq_context* ctx, int32_t index) {
  char name[1100] = "";
  int32_t at = 99;
  const int32_t rc = tq_parse_defn_nosol_unknown_token_info_get(ctx, index, name, &at);
  return rc < 0 ? "rc " + std::to_string(rc) : std::string(name) + "@" + std::to_string(at);
}

}  // namespace

TEST(ParseDefnExports, KindPartEditedAndWritten) {
  Kb kb;
  REQUIRE_PARSE_DEFNS(kb);
  tq_context* ctx = kb.ctx;
  int32_t index = -1;
  ASSERT_EQ(tq_parse_defn_copy(ctx, "Name", "Mine", &index), 0);
  char text[1100] = "x";

  // Grammar and root category: another grammar, then back.
  EXPECT_EQ(tq_parse_defn_grammar_name_get(ctx, index, text), 0);
  EXPECT_STREQ(text, "People");
  int32_t other = -1;
  ASSERT_EQ(tq_grammar_create(ctx, "Other", &other), 0);
  ASSERT_EQ(tq_grammar_category_add(ctx, other, "NUM", "Number"), 0);
  EXPECT_EQ(tq_parse_defn_grammar_name_set(ctx, index, "Other"), 0) << tq_test::error_list_text(ctx);
  // Its root category is not in the new grammar: it is written as it stands
  // all the same, the reader deciding, until one is chosen.
  tq_xmldoc* orphan = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Locale Settings", "7.0", &orphan), 0);
  EXPECT_EQ(tq_parse_defn_write(ctx, orphan, index), 0) << tq_test::error_list_text(ctx);
  tq_xml_free(ctx, orphan);
  EXPECT_EQ(tq_parse_defn_grammar_name_get(ctx, index, text), 0);
  EXPECT_STREQ(text, "Other");
  for (int32_t bad : {1, -1}) EXPECT_EQ(tq_parse_defn_root_category_index_set(ctx, index, bad), -800);
  EXPECT_EQ(tq_parse_defn_root_category_index_set(ctx, index, 0), 0);
  EXPECT_EQ(tq_parse_defn_root_category_name_get(ctx, index, text), 0);
  EXPECT_STREQ(text, "NUM");
  EXPECT_EQ(tq_parse_defn_grammar_name_set(ctx, index, "People"), 0);
  EXPECT_EQ(tq_parse_defn_root_category_index_set(ctx, index, 3), 0);
  EXPECT_EQ(tq_parse_defn_root_category_name_get(ctx, index, text), 0);
  EXPECT_STREQ(text, "NAME");

  // Optimization parameters: the context's defaults until the override is
  // on; every value setter switches it on.
  int32_t value = 0;
  uint32_t flag = 9;
  EXPECT_EQ(tq_parse_defn_opt_params_scoring_levels_get(ctx, index, &value), 0);
  EXPECT_EQ(value, 6);
  EXPECT_EQ(tq_parse_defn_opt_params_resource_limit_set(ctx, index, 4000), 0);
  EXPECT_EQ(tq_parse_defn_opt_params_override_get(ctx, index, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_parse_defn_opt_params_resource_limit_get(ctx, index, &value), 0);
  EXPECT_EQ(value, 4000);
  EXPECT_EQ(tq_parse_defn_opt_params_scoring_levels_set(ctx, index, 11), -802);
  EXPECT_EQ(tq_parse_defn_opt_params_scoring_levels_set(ctx, index, 8), 0);
  EXPECT_EQ(tq_parse_defn_opt_params_input_length_set(ctx, index, 1), 0);
  EXPECT_EQ(tq_parse_defn_opt_params_input_length_set(ctx, index, 3), -802);
  EXPECT_EQ(tq_parse_defn_opt_params_input_length_get(ctx, index, &value), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(tq_parse_defn_opt_params_override_set(ctx, index, 0), 0);
  EXPECT_EQ(tq_parse_defn_opt_params_scoring_levels_get(ctx, index, &value), 0);
  EXPECT_EQ(value, 6);
  // Switched on again, the block starts from the defaults.
  EXPECT_EQ(tq_parse_defn_opt_params_override_set(ctx, index, 1), 0);
  EXPECT_EQ(tq_parse_defn_opt_params_resource_limit_get(ctx, index, &value), 0);
  EXPECT_EQ(value, 2800);
  EXPECT_EQ(tq_parse_defn_opt_params_resource_limit_set(ctx, index, 4000), 0);

  // Token categories: uppercased, at most 32.
  uint32_t count = 0;
  EXPECT_EQ(tq_parse_defn_token_cat_add(ctx, index, 0, "given"), 0);
  EXPECT_EQ(tq_parse_defn_token_cat_abbr_get(ctx, index, 0, 0, text), 0);
  EXPECT_STREQ(text, "GIVEN");
  for (int i = 1; i < 32; ++i) EXPECT_EQ(tq_parse_defn_token_cat_add(ctx, index, 1, "GIVEN"), 0);
  EXPECT_EQ(tq_parse_defn_token_cat_add(ctx, index, 1, "GIVEN"), 0);
  EXPECT_EQ(tq_parse_defn_token_cat_add(ctx, index, 1, "GIVEN"), -601);
  EXPECT_EQ(tq_parse_defn_token_info_get(ctx, index, 1, text, &count), 0);
  EXPECT_STREQ(text, "Middle");
  EXPECT_EQ(count, 32u);
  EXPECT_EQ(tq_parse_defn_token_cat_abbr_get(ctx, index, 1, 32, text), -800);
  EXPECT_EQ(tq_parse_defn_token_cat_list_clear(ctx, index, 1), 0);
  EXPECT_EQ(tq_parse_defn_token_info_get(ctx, index, 1, text, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(tq_parse_defn_token_cat_add(ctx, index, 2, "Family"), 0);

  // Categorization libraries: a refused likelihood changes nothing.
  int32_t lib = -1;
  char category[200] = "";
  uint32_t likelihood = 0, stop = 0;
  ASSERT_EQ(tq_regexlib_create(ctx, "Initials", &lib), 0);
  EXPECT_EQ(tq_parse_defn_cat_regexlib_add(ctx, index, "Initials", 95, "initial", 0), -802);
  EXPECT_EQ(tq_parse_defn_cat_regexlib_add(ctx, index, "Initials", 70, "initial", 1), 0)
      << tq_test::error_list_text(ctx);
  EXPECT_EQ(tq_parse_defn_cat_regexlib_info_set(ctx, index, 0, "Initials", "other", 5, 0), -802);
  EXPECT_EQ(tq_parse_defn_cat_regexlib_info_get(ctx, index, 0, text, category, &likelihood, &stop), 0);
  EXPECT_STREQ(text, "Initials");
  EXPECT_STREQ(category, "INITIAL");
  EXPECT_EQ(likelihood, 70u);
  EXPECT_EQ(stop, 1u);
  EXPECT_EQ(tq_parse_defn_cat_regexlib_info_get(ctx, index, 1, text, category, &likelihood, &stop), -800);
  EXPECT_EQ(likelihood, 50u);
  EXPECT_EQ(tq_parse_defn_cat_regexlib_delete(ctx, index, 1), -800);
  EXPECT_EQ(tq_parse_defn_cat_regexlib_count_get(ctx, index, &count), 0);
  EXPECT_EQ(count, 1u);

  // No-solution settings: no slot until a token is set up, then one per token.
  int32_t at = -1;
  EXPECT_EQ(tq_parse_defn_nosol_category_add(ctx, index, "Given", "given", 2, &at), -800);
  EXPECT_EQ(tq_parse_defn_nosol_token_add(ctx, index, "Nickname", &at), -802);
  EXPECT_EQ(tq_parse_defn_nosol_token_add(ctx, index, "", &at), -802);
  EXPECT_EQ(tq_parse_defn_nosol_token_add(ctx, index, "Given", &at), 0);
  EXPECT_EQ(at, 0);
  EXPECT_EQ(tq_parse_defn_nosol_token_count_get(ctx, index, &count), 0);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(nosol_slot(ctx, index, 0), "Given/0");
  EXPECT_EQ(nosol_slot(ctx, index, 1), "/0");
  EXPECT_EQ(nosol_slot(ctx, index, 3), "rc -800");
  EXPECT_EQ(tq_parse_defn_nosol_category_add(ctx, index, "Given", "given", 2, &at), 0);
  EXPECT_EQ(tq_parse_defn_nosol_category_add(ctx, index, "Family", "family", 0, &at), 0);
  EXPECT_EQ(at, 0);
  EXPECT_EQ(nosol_slot(ctx, index, 2), "Family/1");
  EXPECT_EQ(tq_parse_defn_nosol_token_cat_info_get(ctx, index, 0, 0, text, &count), 0);
  EXPECT_STREQ(text, "GIVEN");
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(tq_parse_defn_nosol_token_cat_info_get(ctx, index, 0, 1, text, &count), -800);
  EXPECT_EQ(unknown_token(ctx, index), "@0");
  EXPECT_EQ(tq_parse_defn_nosol_unknown_token_set(ctx, index, "Middle", &at), 0);
  EXPECT_EQ(unknown_token(ctx, index), "Middle@1");
  for (const char* x : {"title", "suffix", "prefix"}) EXPECT_EQ(tq_parse_defn_nosol_xcat_add(ctx, index, x, &at), 0);
  EXPECT_EQ(at, 2);
  EXPECT_EQ(tq_parse_defn_nosol_xcat_delete(ctx, index, 2), 0);
  EXPECT_EQ(tq_parse_defn_nosol_xcat_count_get(ctx, index, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(tq_parse_defn_nosol_xcat_info_get(ctx, index, 1, text), 0);
  EXPECT_STREQ(text, "SUFFIX");
  EXPECT_EQ(tq_parse_defn_nosol_xcat_info_get(ctx, index, 2, text), -800);

  // Everything is written, and read back as files keep it.
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Locale Settings", "7.0", &doc), 0);
  EXPECT_EQ(tq_parse_defn_write(ctx, doc, index), 0) << tq_test::error_list_text(ctx);
  const std::string file = (kb.dir / "written.xml").string();
  ASSERT_EQ(tq_xml_write(ctx, 0, file.c_str(), 8, doc), 0);
  tq_xml_free(ctx, doc);
  const std::string written = tq_test::read_file(file);
  for (const char* part : {"People", "NAME", "INITIAL", "Initials", "4000", "FAMILY", "TITLE", "Middle"}) {
    EXPECT_NE(written.find(part), std::string::npos) << part;
  }

  // Deleting a token before the unknown token moves it down with the slots.
  EXPECT_EQ(tq_parse_defn_token_delete(ctx, index, 0), 0);
  EXPECT_EQ(unknown_token(ctx, index), "Middle@0");
  EXPECT_EQ(nosol_slot(ctx, index, 1), "Family/1");
  EXPECT_EQ(tq_parse_defn_nosol_token_count_get(ctx, index, &count), 0);
  EXPECT_EQ(count, 2u);
  // Clearing the only slot with categories leaves no slot and no unknown token.
  EXPECT_EQ(tq_parse_defn_nosol_token_delete(ctx, index, "Family"), 0);
  EXPECT_EQ(tq_parse_defn_nosol_token_count_get(ctx, index, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(unknown_token(ctx, index), "@0");
  // A token added back gets one slot per token; a name the datatype lacks
  // leaves no token behind.
  EXPECT_EQ(tq_parse_defn_token_add(ctx, index, "Nickname", &at), -300);
  EXPECT_EQ(tq_parse_defn_token_add(ctx, index, "Given", &at), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(at, 2);
  EXPECT_EQ(tq_parse_defn_token_count_get(ctx, index, &count), 0);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(nosol_slot(ctx, index, 2), "Given/0");
  EXPECT_EQ(tq_parse_defn_nosol_delete_all(ctx, index), 0);
  EXPECT_EQ(tq_parse_defn_nosol_xcat_count_get(ctx, index, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(tq_parse_defn_cat_regexlibs_delete_all(ctx, index), 0);
  EXPECT_EQ(tq_parse_defn_cat_regexlib_count_get(ctx, index, &count), 0);
  EXPECT_EQ(count, 0u);
}

namespace {

std::string surfaced_name(tq_context* ctx, int32_t index) {
  char name[400] = "";
  return text_or_rc(tq_surfaced_parse_defn_name_get(ctx, index, name), name);
}

}  // namespace

TEST(ParseDefnExports, WrittenWithTheLocalesAndLoadedAgain) {
  Kb kb;
  REQUIRE_PARSE_DEFNS(kb);
  {
    tq_context* ctx = kb.ctx;
    int32_t dt = -1, index = -1;
    ASSERT_EQ(tq_datatype_index_get_by_name(ctx, "Name", &dt), 0);
    index = kb.add("Child", dt);
    ASSERT_EQ(tq_parse_defn_owner_set(ctx, index, "Caf\xE9"), 0);
    ASSERT_EQ(tq_parse_defn_token_sep_set(ctx, index, 1, "-"), 0);
    ASSERT_EQ(tq_parse_defn_surface_flag_set(ctx, kb.add("Quiet", dt), 0), 0);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    for (const auto& [file, code] : {std::pair{"en.loc", kEn}, std::pair{"enusa.loc", kEnusa}}) {
      ASSERT_EQ(tq_lock_create(ctx, file, 7, lock, nullptr), 0);
      ASSERT_EQ(tq_locale_write(ctx, code, lock), 0) << tq_test::error_list_text(ctx);
    }
    tq_lock_free(ctx, lock);
  }
  Context ctx(kb.dir.str().c_str());
  ASSERT_EQ(tq_zel_locale_load(ctx, kEnusa, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS), 0)
      << tq_test::error_list_text(ctx);
  // Own ones first (Child, Quiet), then the inherited ones (Name, Hidden).
  uint32_t count = 0;
  EXPECT_EQ(tq_parse_defn_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(tq_surfaced_parse_defn_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(tq_surfaced_parse_defn_count_get_by_locale(ctx, kEn, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(surfaced_name(ctx, 0), "Child");
  EXPECT_EQ(surfaced_name(ctx, 1), "Name");
  EXPECT_EQ(surfaced_name(ctx, 2), "rc -800");
  int32_t index = -1;
  EXPECT_EQ(tq_parse_defn_index_get_by_name(ctx, "quiet", &index), -800);
  EXPECT_EQ(tq_nonsurfaced_parse_defn_index_get_by_name(ctx, "quiet", &index), 0);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(tq_parse_defn_index_get_by_name(ctx, "Hidden", &index), -800);
  EXPECT_EQ(tq_nonsurfaced_parse_defn_index_get_by_name(ctx, "Hidden", &index), 0);
  EXPECT_EQ(index, 3);
  // Every definition counts as surfaced under option bit 20.
  tq_options_set(ctx, 1 | TQ_OPT_ALL_SURFACED);
  EXPECT_EQ(tq_surfaced_parse_defn_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(surfaced_name(ctx, 1), "Quiet");
  EXPECT_EQ(tq_parse_defn_index_get_by_name(ctx, "quiet", &index), 0);
  uint32_t flag = 9;
  EXPECT_EQ(tq_parse_defn_surface_flag_get(ctx, 1, &flag), 0);
  EXPECT_EQ(flag, 0u);  // the stored flag
  tq_options_set(ctx, 1);
  // What was set is read back.
  char text[17000] = "";
  EXPECT_EQ(tq_parse_defn_vocabulary_name_get(ctx, 0, text), 0);
  EXPECT_STREQ(text, "Names");
  EXPECT_EQ(tq_parse_defn_owner_get(ctx, 0, text), 0);
  EXPECT_STREQ(text, "Caf\xE9");
  EXPECT_EQ(tq_parse_defn_token_sep_get(ctx, 0, 1, text), 0);
  EXPECT_STREQ(text, "-");
  EXPECT_EQ(token_names(ctx, "Child"), (std::vector<std::string>{"Given", "Middle", "Family"}));
}

TEST(ParseDefnExports, GrammarChangedPreparesAgain) {
  Kb kb;
  REQUIRE_PARSE_DEFNS(kb);
  tq_context* ctx = kb.ctx;
  int32_t index = -1, other = -1;
  ASSERT_EQ(tq_parse_defn_copy(ctx, "Name", "Mine", &index), 0);
  ASSERT_EQ(tq_parse_defn_valid_set(ctx, index, 1), 0);
  ASSERT_EQ(tq_grammar_create(ctx, "Other", &other), 0);
  ASSERT_EQ(tq_grammar_category_add(ctx, other, "NUM", "Number"), 0);
  std::vector<tq_parse_token> tokens(TQ_PARSE_TOKENS);
  uint32_t n = 0;
  EXPECT_GE(tq_parse_by_index(ctx, index, "John Smith", tokens.data(), &n), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(n, 3u);
  // The root category is looked up again in the new grammar, which lacks it.
  ASSERT_EQ(tq_parse_defn_grammar_name_set(ctx, index, "Other"), 0);
  EXPECT_EQ(tq_parse_by_index(ctx, index, "John Smith", tokens.data(), &n), -706);
  ASSERT_EQ(tq_parse_defn_grammar_name_set(ctx, index, "People"), 0);
  EXPECT_GE(tq_parse_by_index(ctx, index, "John Smith", tokens.data(), &n), 0) << tq_test::error_list_text(ctx);
}

TEST(ParseDefnExports, ReadFromTheNameKnowledgeBase) {
  tq_test::ParseKb kb;
  tq_context* ctx = kb.ctx();
  int32_t index = -1;
  ASSERT_EQ(tq_parse_defn_index_get_by_name(ctx, "Name", &index), 0) << tq_test::error_list_text(ctx);
  char text[17000] = "";
  const std::pair<int32_t (*)(tq_context*, int32_t, char*), const char*> names[] = {
      {tq_parse_defn_grammar_name_get, "PersonName"},
      {tq_parse_defn_root_category_name_get, "NAME"},
      {tq_parse_defn_vocabulary_name_get, "PersonName"},
      {tq_parse_defn_normalization_regexlib_name_get, "StripPeriods"},
  };
  for (const auto& [get, expected] : names) {
    EXPECT_EQ(get(ctx, index, text), 0);
    EXPECT_STREQ(text, expected);
  }
  char category[200] = "";
  uint32_t n = 0, likelihood = 0, stop = 0;
  EXPECT_EQ(tq_parse_defn_cat_regexlib_info_get(ctx, index, 0, text, category, &likelihood, &stop), 0);
  EXPECT_EQ(std::string(text) + " " + category + " " + std::to_string(likelihood) + " " + std::to_string(stop),
            "Initials INITIAL 70 1");
  EXPECT_EQ(tq_parse_defn_token_info_get(ctx, index, 1, text, &n), 0);
  EXPECT_EQ(std::string(text) + "/" + std::to_string(n), "Given Name/1");
  EXPECT_EQ(tq_parse_defn_token_cat_abbr_get(ctx, index, 1, 0, text), 0);
  EXPECT_STREQ(text, "GIVEN");
  // One no-solution slot per token; the middle name's is not filled.
  EXPECT_EQ(tq_parse_defn_nosol_token_count_get(ctx, index, &n), 0);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(nosol_slot(ctx, index, 1), "Given Name/1");
  EXPECT_EQ(nosol_slot(ctx, index, 2), "/0");
  EXPECT_EQ(unknown_token(ctx, index), "Middle Name@2");
  EXPECT_EQ(tq_parse_defn_nosol_xcat_info_get(ctx, index, 0, text), 0);
  EXPECT_STREQ(text, "INITIAL");
  // Without an override the context's default levels apply.
  int32_t levels = 0;
  EXPECT_EQ(tq_parse_defn_opt_params_scoring_levels_get(ctx, index, &levels), 0);
  EXPECT_EQ(levels, 6);
  // A sought category read in lower case is kept as files keep categories.
  ASSERT_EQ(tq_parse_defn_index_get_by_name(ctx, "Name Split", &index), 0);
  EXPECT_EQ(tq_parse_defn_root_category_name_get(ctx, index, text), 0);
  EXPECT_STREQ(text, "NAME");
  EXPECT_EQ(tq_surfaced_parse_defn_name_get(ctx, 1, text), 0);
  EXPECT_STREQ(text, "Name Split");
}

namespace {

// What the no-solution getters report of every slot that has categories,
// as "name: CAT CAT", sorted: the form a write and a read must keep.
std::vector<std::string> nosol_view(tq_context* ctx, int32_t index) {
  std::vector<std::string> view;
  uint32_t slots = 0;
  EXPECT_EQ(tq_parse_defn_nosol_token_count_get(ctx, index, &slots), 0);
  for (uint32_t s = 0; s < slots; ++s) {
    char name[1100] = "";
    uint32_t cats = 0;
    if (tq_parse_defn_nosol_token_info_get(ctx, index, static_cast<int32_t>(s), name, &cats) < 0 || cats == 0) {
      continue;
    }
    std::string line = std::string(name) + ":";
    for (uint32_t c = 0; c < cats; ++c) {
      char abbr[200] = "";
      uint32_t max_words = 0;
      EXPECT_EQ(tq_parse_defn_nosol_token_cat_info_get(ctx, index, static_cast<int32_t>(s), static_cast<int32_t>(c),
                                                       abbr, &max_words),
                0);
      line += std::string(" ") + abbr;
    }
    view.push_back(line);
  }
  std::sort(view.begin(), view.end());
  return view;
}

// "rc: value|value|..." of a parse by the definition.
std::string parsed(tq_context* ctx, int32_t index, const char* value) {
  std::vector<tq_parse_token> tokens(TQ_PARSE_TOKENS);
  uint32_t n = 0;
  std::string out = std::to_string(tq_parse_by_index(ctx, index, value, tokens.data(), &n)) + ":";
  for (uint32_t i = 0; i < n; ++i) out += std::string(i == 0 ? " " : "|") + tokens[i].value;
  return out;
}

}  // namespace

// The no-solution slots and the unknown token are written under the names
// their getters report and come back at the same token positions: after a
// token before them was deleted (and added again at the end), after two
// tokens swapped names, and after their datatype token was renamed. A value
// without a parse solution then parses as before the write, where the
// definition comes back usable (tokens that no longer match the datatype
// leave it not valid).
TEST(ParseDefnExports, NoSolutionSlotsSurviveTokenEditsThroughAWrite) {
  const struct {
    const char* edit;
    int32_t token;  // the definition token deleted or swapped with the next, or the datatype token renamed
    std::vector<std::string> view;
    const char* unknown;
  } cases[] = {
      {"delete", 0, {"Family Name: FAMILY", "Given Name: GIVEN", "Suffix: SUFFIX"}, "Middle Name@1"},
      {"delete", 2, {"Family Name: FAMILY", "Given Name: GIVEN", "Prefix: PREFIX", "Suffix: SUFFIX"}, "@0"},
      {"delete", 3, {"Given Name: GIVEN", "Prefix: PREFIX", "Suffix: SUFFIX"}, "Middle Name@2"},
      {"readd", 0, {"Family Name: FAMILY", "Given Name: GIVEN", "Suffix: SUFFIX"}, "Middle Name@1"},
      {"readd", 1, {"Family Name: FAMILY", "Prefix: PREFIX", "Suffix: SUFFIX"}, "Middle Name@1"},
      {"rename", 3, {"Given Name: GIVEN", "Prefix: PREFIX", "Suffix: SUFFIX", "Surname: FAMILY"}, "Middle Name@2"},
      {"swap", 1, {"Family Name: FAMILY", "Middle Name: GIVEN", "Prefix: PREFIX", "Suffix: SUFFIX"}, "Given Name@2"},
      {"swap", 2, {"Given Name: GIVEN", "Middle Name: FAMILY", "Prefix: PREFIX", "Suffix: SUFFIX"}, "Family Name@2"},
      // No slot left, the unknown token set anew (after a swap, so that its
      // position is not its datatype token's).
      {"bare", 1, {}, "Given Name@2"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.edit) + " " + std::to_string(k.token));
    tq_test::ParseKb kb(true);
    tq_context* ctx = kb.ctx();
    int32_t index = -1, dt = -1;
    ASSERT_EQ(tq_parse_defn_index_get_by_name(ctx, "Name", &index), 0);
    const std::string edit = k.edit;
    const std::vector<std::string> names = token_names(ctx, "Name");
    if (edit == "delete" || edit == "readd") {
      ASSERT_TQ_OK(ctx, tq_parse_defn_token_delete(ctx, index, k.token));
      int32_t at = -1;
      if (edit == "readd") ASSERT_TQ_OK(ctx, tq_parse_defn_token_add(ctx, index, names[k.token].c_str(), &at));
    } else if (edit == "swap" || edit == "bare") {
      ASSERT_TQ_OK(ctx, tq_parse_defn_token_name_set(ctx, index, k.token, names[k.token + 1].c_str()));
      ASSERT_TQ_OK(ctx, tq_parse_defn_token_name_set(ctx, index, k.token + 1, names[k.token].c_str()));
      if (edit == "bare") {
        int32_t at = -1;
        ASSERT_TQ_OK(ctx, tq_parse_defn_nosol_delete_all(ctx, index));
        ASSERT_TQ_OK(ctx, tq_parse_defn_nosol_unknown_token_set(ctx, index, "Given Name", &at));
      }
    } else {
      ASSERT_EQ(tq_parse_defn_datatype_index_get(ctx, index, &dt), 0);
      ASSERT_TQ_OK(ctx, tq_datatype_token_value_set(ctx, dt, k.token, "Surname"));
    }
    ASSERT_EQ(nosol_view(ctx, index), k.view);
    ASSERT_EQ(unknown_token(ctx, index), k.unknown);
    const std::string before = parsed(ctx, index, "Smith Zed Q. Jr. Dr.");
    ASSERT_TQ_OK(ctx, tq_locale_write(ctx, tq_test::kParseKbLocale, kb.lock()));

    Context again(kb.dir().string().c_str());
    // The definition may come back not valid (its tokens no longer match
    // its datatype), but every slot it had is read under its own name.
    EXPECT_GE(tq_zel_locale_load(again, tq_test::kParseKbLocale, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS), 0)
        << tq_test::error_list_text(again);
    ASSERT_EQ(tq_parse_defn_index_get_by_name(again, "Name", &index), 0);
    EXPECT_EQ(nosol_view(again, index), k.view) << tq_test::error_list_text(again);
    EXPECT_EQ(unknown_token(again, index), k.unknown);
    const bool usable = edit == "readd" || edit == "swap" || edit == "bare";
    EXPECT_EQ(parsed(again, index, "Smith Zed Q. Jr. Dr."), usable ? before : "-704:");
  }
}

// Two tokens named alike (half way through swapping two names) and written
// so: what is read back has no token for one datatype token and cannot put
// its no-solution slots back, and is not valid.
TEST(ParseDefnExports, TwoTokensOfOneDatatypeTokenReadBackNotValid) {
  tq_test::ParseKb kb(true);
  tq_context* ctx = kb.ctx();
  int32_t index = -1;
  ASSERT_EQ(tq_parse_defn_index_get_by_name(ctx, "Name", &index), 0);
  const std::vector<std::string> names = token_names(ctx, "Name");
  ASSERT_TQ_OK(ctx, tq_parse_defn_token_name_set(ctx, index, 0, names[1].c_str()));
  ASSERT_TQ_OK(ctx, tq_locale_write(ctx, tq_test::kParseKbLocale, kb.lock()));

  Context again(kb.dir().string().c_str());
  EXPECT_EQ(tq_zel_locale_load(again, tq_test::kParseKbLocale, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS),
            TQ_WARN_LOCALE_PROBLEMS);
  EXPECT_NE(tq_test::error_list_text(again).find("does not have one token per token"), std::string::npos)
      << tq_test::error_list_text(again);
  ASSERT_EQ(tq_parse_defn_index_get_by_name(again, "Name", &index), 0);
  EXPECT_EQ(parsed(again, index, "Smith Zed Q. Jr. Dr."), "-704:");
}

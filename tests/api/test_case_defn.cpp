// Case definitions through their exports: made in edit mode in a locale and
// its parent, found across the two, edited field by field, their
// known-word scheme and known-pattern library set and checked, written with
// the locales and loaded again.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/tq_test.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;

constexpr int32_t kEnusa = 29840;
constexpr int32_t kEn = 29000;
constexpr int32_t kParent = 256;  // the parent's first definition, seen from the child in edit mode

// An edit-mode context on ENUSA below EN, with the schemes and the regex
// library of tests/kb/case as files of the knowledge base. EN holds the
// datatype "Name" and the case definitions "Names" and "Hidden" (not
// surfaced); ENUSA is current and holds none yet. Every definition names
// the datatype, without which it would not be read back.
struct Kb {
  TempDir dir;
  Context ctx;
  Kb() : ctx(dir.str().c_str(), true) {
    for (const char* f : {"scheme/Particles.sch", "scheme/Uneven.sch", "regexlib/InnerCapital"}) {
      std::filesystem::create_directories((dir / f).parent_path());
      const std::string source = std::string(TQ_TEST_KB_DIR) + "/case/" + f + ".xml";
      tq_xmldoc* doc = nullptr;
      EXPECT_EQ(tq_xml_read(ctx, source.c_str(), 8, &doc), 0) << f << tq_test::error_list_text(ctx);
      EXPECT_EQ(tq_xml_write(ctx, 0, (dir / f).c_str(), 1, doc), 0) << f << tq_test::error_list_text(ctx);
      tq_xml_free(ctx, doc);
    }
    std::filesystem::create_directories(dir / "locale");
    tq_test::write_locale_settings(ctx, dir.path(), "l1.loc", "ISO-8859-1 (Latin-1)", "");
    tq_test::write_locale_settings(ctx, dir.path(), "en.loc", "English", "l1.loc");
    tq_test::write_locale_settings(ctx, dir.path(), "enusa.loc", "English (United States)", "");
    EXPECT_GE(tq_zel_locale_load(ctx, kEnusa, 0), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(tq_locale_set(ctx, kEn), 0);
    int32_t dt = -1;
    EXPECT_EQ(tq_datatype_add(ctx, "Name", &dt), 0);
    EXPECT_EQ(add("Names"), 0);
    EXPECT_EQ(tq_case_defn_surface_flag_set(ctx, add("Hidden"), 0), 0);
    EXPECT_EQ(tq_locale_set(ctx, kEnusa), 0);
  }
  int32_t add(const char* name) {
    int32_t index = -1;
    EXPECT_TQ_OK(ctx, tq_case_defn_add(ctx, name, &index));
    int32_t dt = -1;
    EXPECT_EQ(tq_datatype_index_get_by_name(ctx, "Name", &dt), 0);
    EXPECT_EQ(tq_case_defn_datatype_index_set(ctx, index, dt), 0);
    return index;
  }
};

std::string text_or_rc(int32_t rc, const char* text) { return rc < 0 ? "rc " + std::to_string(rc) : text; }

std::string name_ex(tq_context* ctx, int32_t index) {
  char name[400] = "";
  return text_or_rc(tq_case_defn_name_get_by_index_ex(ctx, index, name), name);
}

std::string surfaced_name(tq_context* ctx, int32_t position) {
  char name[400] = "";
  return text_or_rc(tq_surfaced_case_defn_name_get(ctx, position, name), name);
}

std::pair<std::string, uint32_t> scheme_info(tq_context* ctx, int32_t index) {
  char name[5000] = "x";
  uint32_t options = 9;
  const int32_t rc = tq_case_defn_known_word_scheme_info_get(ctx, index, name, &options);
  return {text_or_rc(rc, name), options};
}

std::string pattern_name(tq_context* ctx, int32_t index) {
  char name[5000] = "x";
  return text_or_rc(tq_case_defn_known_patrn_rgx_name_get(ctx, index, name), name);
}

TEST(CaseDefnExports, FoundAcrossParentAndChild) {
  Kb kb;
  tq_context* ctx = kb.ctx;
  int32_t index = -1;
  uint32_t count = 9;
  char name[400] = "";
  EXPECT_EQ(tq_case_defn_index_get_by_name(ctx, "NAMES", &index), 0);
  EXPECT_EQ(index, kParent);
  // Not surfaced: only the lookups of every definition find it.
  EXPECT_EQ(tq_case_defn_index_get_by_name(ctx, "Hidden", &index), -800);
  EXPECT_EQ(tq_nonsurfaced_case_defn_index_get_by_name(ctx, "hidden", &index), 0);
  EXPECT_EQ(index, kParent + 1);
  EXPECT_EQ(tq_case_defn_name_get_by_index(ctx, kParent + 1, name), -701);
  EXPECT_EQ(name_ex(ctx, kParent + 1), "Hidden");
  // The surfaced family refuses edit mode; by locale the own ones count.
  EXPECT_EQ(tq_surfaced_case_defn_count_get(ctx, &count), -500);
  EXPECT_EQ(tq_surfaced_case_defn_name_get(ctx, 0, name), -500);
  EXPECT_EQ(tq_case_defn_count_get_by_locale(ctx, kEn, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(tq_case_defn_count_get_by_locale(ctx, kEnusa, &count), 0);
  EXPECT_EQ(count, 0u);

  // A copy of the parent's hidden one in the child, then names, then an
  // unloaded slot that keeps its index.
  ASSERT_EQ(tq_case_defn_copy(ctx, "hidden", "Mine", &index), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(tq_case_defn_copy(ctx, "Nowhere", "Other", &index), -801);
  ASSERT_EQ(tq_case_defn_add(ctx, "Made", &index), 0);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(tq_case_defn_name_set(ctx, 1, "Mine"), -801);
  EXPECT_EQ(tq_case_defn_name_set(ctx, 1, " Renamed "), 0);
  EXPECT_EQ(name_ex(ctx, 1), "Renamed");
  EXPECT_EQ(tq_case_defn_unload(ctx, 1), 0);
  EXPECT_EQ(tq_nonsurfaced_case_defn_index_get_by_name(ctx, "Renamed", &index), -801);
  uint32_t target = 9;
  EXPECT_EQ(tq_case_defn_target_case_get(ctx, 1, &target), -800);
  EXPECT_EQ(target, 0u);
  EXPECT_EQ(pattern_name(ctx, 1), "rc -800");
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Test", "7.0", &doc), 0);
  EXPECT_EQ(tq_case_defn_write(ctx, doc, 1), -800);
  tq_xml_free(ctx, doc);
}

// A number field: its setter, its getter, what is set and what is read back.
struct NumberField {
  const char* name;
  int32_t (*set)(tq_context*, int32_t, uint32_t);
  int32_t (*get)(tq_context*, int32_t, uint32_t*);
  uint32_t initial;  // of a definition just added
  uint32_t value;
  uint32_t expected;
};

TEST(CaseDefnExports, FieldsSetAndReadBack) {
  Kb kb;
  tq_context* ctx = kb.ctx;
  const int32_t index = kb.add("Mine");
  const NumberField fields[] = {
      {"target case", tq_case_defn_target_case_set, tq_case_defn_target_case_get, 3, 1, 1},
      {"skip flag", tq_case_defn_skip_regexlib_flag_set, tq_case_defn_skip_regexlib_flag_get, 0, 2, 2},
      {"unicode casing", tq_case_defn_unicode_casing_flag_set, tq_case_defn_unicode_casing_flag_get, 1, 0, 0},
      {"surface", tq_case_defn_surface_flag_set, tq_case_defn_surface_flag_get, 1, 5, 1},
      {"valid", tq_case_defn_valid_set, tq_case_defn_valid_get, 0, 1, 1},
      {"incomplete", tq_case_defn_incomplete_set, tq_case_defn_incomplete_get, 0, 1, 1},
      {"valid info", tq_case_defn_valid_flag_info_set, tq_case_defn_valid_flag_info_get, 1, 9, 9},
  };
  for (const NumberField& f : fields) {
    SCOPED_TRACE(f.name);
    uint32_t out = 99;
    EXPECT_EQ(f.get(ctx, index, &out), 0);
    EXPECT_EQ(out, f.initial);
    EXPECT_EQ(f.set(ctx, index, f.value), 0);
    EXPECT_EQ(f.get(ctx, index, &out), 0);
    EXPECT_EQ(out, f.expected);
    EXPECT_EQ(f.set(ctx, 9, f.value), -800);
    EXPECT_EQ(f.get(ctx, 9, &out), -800);
  }
  // Only the four case modes.
  uint32_t target = 0;
  EXPECT_EQ(tq_case_defn_target_case_set(ctx, index, 4), -802);
  EXPECT_EQ(tq_case_defn_target_case_get(ctx, index, &target), 0);
  EXPECT_EQ(target, 1u);

  // The regex libraries of the common record.
  char name[5000] = "";
  EXPECT_EQ(tq_case_defn_postprocessing_regexlib_name_set(ctx, index, "InnerCapital"), 0);
  EXPECT_EQ(tq_case_defn_postprocessing_regexlib_name_get(ctx, index, name), 0);
  EXPECT_STREQ(name, "InnerCapital");
  EXPECT_EQ(tq_case_defn_preprocessing_regexlib_name_get(ctx, index, name), 0);
  EXPECT_STREQ(name, "");
}

TEST(CaseDefnExports, KnownPatternsAndKnownWords) {
  Kb kb;
  tq_context* ctx = kb.ctx;
  const int32_t index = kb.add("Mine");
  EXPECT_EQ(pattern_name(ctx, index), "");
  EXPECT_EQ(scheme_info(ctx, index), (std::pair<std::string, uint32_t>{"", 0}));

  // A library that cannot be opened leaves the one the definition had; an
  // empty name removes it.
  EXPECT_EQ(tq_case_defn_known_patrn_rgx_name_set(ctx, index, "InnerCapital"), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(pattern_name(ctx, index), "InnerCapital");
  EXPECT_LT(tq_case_defn_known_patrn_rgx_name_set(ctx, index, "Nosuch"), 0);
  EXPECT_EQ(pattern_name(ctx, index), "InnerCapital");
  EXPECT_EQ(tq_case_defn_known_patrn_rgx_name_set(ctx, index, ""), 0);
  EXPECT_EQ(pattern_name(ctx, index), "");

  // Options keep only the case-insensitive bit; a scheme whose standards
  // change the length of their data is refused (-706), and a name that
  // cannot be opened too, each keeping the scheme; an empty name removes it.
  EXPECT_EQ(tq_case_defn_known_word_scheme_info_set(ctx, index, "Particles", 2 | 4 | 16), 0)
      << tq_test::error_list_text(ctx);
  EXPECT_EQ(scheme_info(ctx, index), (std::pair<std::string, uint32_t>{"Particles", 2}));
  EXPECT_EQ(tq_case_defn_known_word_scheme_info_set(ctx, index, "Uneven", 0), -706);
  EXPECT_EQ(scheme_info(ctx, index), (std::pair<std::string, uint32_t>{"Particles", 2}));
  EXPECT_LT(tq_case_defn_known_word_scheme_info_set(ctx, index, "Nosuch", 2), 0);
  EXPECT_EQ(scheme_info(ctx, index), (std::pair<std::string, uint32_t>{"Particles", 2}));
  EXPECT_EQ(tq_case_defn_known_word_scheme_info_set(ctx, index, "Particles", 0), 0);
  EXPECT_EQ(tq_case_defn_known_word_scheme_info_set(ctx, index, "", 2), 0);
  EXPECT_EQ(scheme_info(ctx, index), (std::pair<std::string, uint32_t>{"", 0}));

  // A scheme file checked: the first entry (in sorted order) of another
  // length, unconverted; the check gives the scheme and the hold back, so
  // the setters that follow work and the scheme is opened again.
  uint32_t legal = 9;
  char standard[1028] = "x", data[1028] = "x";
  EXPECT_EQ(tq_case_defn_check_scheme_legal(ctx, "Uneven", &legal, standard, data), -706);
  EXPECT_EQ(legal, 0u);
  EXPECT_STREQ(standard, "ABCDE");
  EXPECT_STREQ(data, "ABCD");
  EXPECT_EQ(tq_case_defn_check_scheme_legal(ctx, "Particles", &legal, standard, data), 0);
  EXPECT_EQ(legal, 1u);
  EXPECT_STREQ(standard, "");
  EXPECT_LT(tq_case_defn_check_scheme_legal(ctx, "Nosuch", &legal, standard, data), 0);
  EXPECT_EQ(legal, 0u);
  EXPECT_EQ(tq_case_defn_known_word_scheme_info_set(ctx, index, "Uneven", 2), -706);
}

TEST(CaseDefnExports, WrittenWithTheLocalesAndLoadedAgain) {
  Kb kb;
  {
    tq_context* ctx = kb.ctx;
    const int32_t index = kb.add("Child");
    ASSERT_EQ(tq_case_defn_owner_set(ctx, index, "Caf\xE9"), 0);
    ASSERT_EQ(tq_case_defn_target_case_set(ctx, index, 1), 0);
    ASSERT_EQ(tq_case_defn_skip_regexlib_flag_set(ctx, index, 1), 0);
    ASSERT_EQ(tq_case_defn_unicode_casing_flag_set(ctx, index, 0), 0);
    ASSERT_EQ(tq_case_defn_known_word_scheme_info_set(ctx, index, "Particles", 2), 0);
    ASSERT_EQ(tq_case_defn_known_patrn_rgx_name_set(ctx, index, "InnerCapital"), 0);
    ASSERT_EQ(tq_case_defn_surface_flag_set(ctx, kb.add("Quiet"), 0), 0);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    for (const auto& [file, code] : {std::pair{"en.loc", kEn}, std::pair{"enusa.loc", kEnusa}}) {
      ASSERT_EQ(tq_lock_create(ctx, file, 7, lock, nullptr), 0);
      ASSERT_EQ(tq_locale_write(ctx, code, lock), 0) << tq_test::error_list_text(ctx);
    }
    tq_lock_free(ctx, lock);
  }
  Context ctx(kb.dir.str().c_str());
  ASSERT_EQ(tq_zel_locale_load(ctx, kEnusa, TQ_LOAD_DATATYPES | TQ_LOAD_CASE_DEFNS), 0)
      << tq_test::error_list_text(ctx);
  // Own ones first (Child, Quiet), then the inherited ones (Names, Hidden).
  uint32_t count = 0;
  EXPECT_EQ(tq_case_defn_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(tq_surfaced_case_defn_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(tq_surfaced_case_defn_count_get_by_locale(ctx, kEn, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(surfaced_name(ctx, 0), "Child");
  EXPECT_EQ(surfaced_name(ctx, 1), "Names");
  EXPECT_EQ(surfaced_name(ctx, 2), "rc -800");
  int32_t index = -1;
  EXPECT_EQ(tq_nonsurfaced_case_defn_index_get_by_name(ctx, "Hidden", &index), 0);
  EXPECT_EQ(index, 3);
  // Every definition counts as surfaced under option bit 20.
  tq_options_set(ctx, 1 | TQ_OPT_ALL_SURFACED);
  EXPECT_EQ(tq_surfaced_case_defn_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(surfaced_name(ctx, 1), "Quiet");
  tq_options_set(ctx, 1);

  // What was set is read back.
  char text[400] = "";
  EXPECT_EQ(tq_case_defn_owner_get(ctx, 0, text), 0);
  EXPECT_STREQ(text, "Caf\xE9");
  uint32_t value = 9;
  EXPECT_EQ(tq_case_defn_target_case_get(ctx, 0, &value), 0);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(tq_case_defn_skip_regexlib_flag_get(ctx, 0, &value), 0);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(tq_case_defn_unicode_casing_flag_get(ctx, 0, &value), 0);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(scheme_info(ctx, 0), (std::pair<std::string, uint32_t>{"Particles", 2}));
  EXPECT_EQ(pattern_name(ctx, 0), "InnerCapital");
  // The parent's definition as added: Proper, unicode casing.
  EXPECT_EQ(tq_case_defn_target_case_get(ctx, 2, &value), 0);
  EXPECT_EQ(value, 3u);
  EXPECT_EQ(tq_case_defn_unicode_casing_flag_get(ctx, 2, &value), 0);
  EXPECT_EQ(value, 1u);
}

}  // namespace

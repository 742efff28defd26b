// Pattern analysis and pattern analysis definitions through their exports:
// definitions read from tests/kb/pattern (a good one, the vertical form, one
// without a library and one naming a library without a file), values
// rewritten into their patterns with the matched flag, definitions made and
// edited in edit mode, written and read back, copied and outliving their
// source.
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "support/tq_test.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;

constexpr int32_t kEn = 29000;

std::filesystem::path source(const std::string& name) { return std::filesystem::path(TQ_TEST_KB_DIR) / name; }

// The knowledge base of tests/kb/pattern in vault form, with its locale
// loaded into a context (edit mode on request). The load reports the two
// broken definitions (104); the others are usable.
struct PatternKb {
  TempDir dir;
  std::unique_ptr<Context> ctx;
  tq_lock_handle* lock = nullptr;
  int32_t load_rc = 0;

  explicit PatternKb(bool edit = false) {
    {
      Context maker(dir.str().c_str(), true);
      const std::pair<const char*, const char*> files[] = {{"pattern/regexlib/PAT", "regexlib/PAT"},
                                                           {"pattern/regexlib/Vowels", "regexlib/Vowels"},
                                                           {"pattern/locale/en.loc", "locale/en.loc"},
                                                           {"parse/locale/l1.loc", "locale/l1.loc"}};
      for (const auto& [from, to] : files) {
        std::filesystem::create_directories((dir / to).parent_path());
        tq_xmldoc* doc = nullptr;
        EXPECT_EQ(tq_xml_read(maker, source(std::string(from) + ".xml").c_str(), 8, &doc), 0) << from;
        EXPECT_EQ(tq_xml_write(maker, 0, (dir / to).c_str(), 1, doc), 0) << to;
        tq_xml_free(maker, doc);
      }
    }
    ctx = std::make_unique<Context>(dir.str().c_str(), edit);
    const uint32_t mask = TQ_LOAD_DATATYPES | TQ_LOAD_PATTERN_DEFNS;
    if (edit) {
      EXPECT_EQ(tq_lock_init(*ctx, &lock), 0);
      load_rc = tq_zel_locale_load_edit(*ctx, kEn, mask, lock);
    } else {
      load_rc = tq_zel_locale_load(*ctx, kEn, mask);
    }
    EXPECT_GE(load_rc, 0) << tq_test::error_list_text(*ctx);
    tq_locale_set(*ctx, kEn);
  }
  ~PatternKb() {
    if (lock != nullptr) {
      tq_zel_locale_unload_edit(*ctx, kEn, lock);
      tq_lock_free(*ctx, lock);
    }
  }
  operator tq_context*() const { return ctx->get(); }
  int32_t index(const char* name) const {
    int32_t i = -1;
    EXPECT_EQ(tq_patrn_defn_index_get_by_name(*ctx, name, &i), 0) << name;
    return i;
  }
};

std::string analyze(tq_context* ctx, const char* defn, const char* value) {
  char out[1028] = "x";
  const int32_t rc = tq_pattern_analyze(ctx, defn, value, out);
  return rc < 0 ? "rc " + std::to_string(rc) + (out[0] == '\0' ? "" : " with output") : out;
}

std::string regexlib_name(tq_context* ctx, int32_t index) {
  char name[4100] = "x";
  const int32_t rc = tq_patrn_defn_regexlib_name_get(ctx, index, name);
  return rc < 0 ? "rc " + std::to_string(rc) : name;
}

std::string last_error(tq_context* ctx) {
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  if (count == 0) return "";
  int32_t code = 0;
  char text[TQ_ERROR_TEXT_MAX + 1] = "";
  tq_error_info_get_by_index(ctx, count - 1, &code, text);
  return text;
}

TEST(PatternAnalysis, RewritesValuesAndRecordsTheMatch) {
  PatternKb kb;
  tq_context* ctx = kb;
  // Reading reported the two broken definitions and went on.
  EXPECT_EQ(kb.load_rc, 104);
  struct Case {
    const char* defn;
    const char* value;
    const char* pattern;
  };
  const Case cases[] = {
      {"Pattern", "Ab 12-x", "Aa 99-a"},
      {"pattern", "Ab 12-x", "Aa 99-a"},  // names ignore case
      {"Pattern", "-- /", "-- /"},        // nothing to rewrite
      {"Pattern", "", ""},
      {"Pattern", "Caf\xE9 7", "Aaa\xE9 9"},  // a character outside the classes stays
      {"Vertical", "banana", "bVnVnV"},       // the vertical element form
      {"No Library", "abc", "rc -704"},       // not valid
      {"Missing Library", "abc", "rc -704"},
      {"Nowhere", "abc", "rc -801"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.defn) + " / " + c.value);
    EXPECT_EQ(analyze(ctx, c.defn, c.value), c.pattern);
  }

  // The flag by index: 1 after a rewrite, 0 when nothing matched; a NULL
  // info is no info.
  const int32_t index = kb.index("Pattern");
  tq_patrn_info* info = nullptr;
  ASSERT_EQ(tq_patrn_info_init(ctx, &info), 0);
  EXPECT_EQ(info->matched, 0u);
  char out[1028] = "";
  EXPECT_EQ(tq_pattern_analyze_by_index_with_info(ctx, index, "Ab 12-x", out, info), 0);
  EXPECT_STREQ(out, "Aa 99-a");
  EXPECT_EQ(info->matched, 1u);
  EXPECT_EQ(tq_pattern_analyze_by_index_with_info(ctx, index, "-- /", out, info), 0);
  EXPECT_STREQ(out, "-- /");
  EXPECT_EQ(info->matched, 0u);
  EXPECT_EQ(tq_pattern_analyze_by_index_with_info(ctx, index, "x", out, nullptr), 0);
  EXPECT_STREQ(out, "a");
  EXPECT_EQ(tq_pattern_analyze_by_index(ctx, index, "Zz9", out), 0);
  EXPECT_STREQ(out, "Aa9");
  // A value is taken in at most 1,024 bytes.
  EXPECT_EQ(analyze(ctx, "Pattern", std::string(2000, 'b').c_str()), std::string(1024, 'a'));
  EXPECT_EQ(tq_pattern_analyze_by_index(ctx, 99, "Zz9", out), -800);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(tq_patrn_info_free(ctx, info), 0);
  EXPECT_EQ(tq_patrn_info_free(ctx, nullptr), 0);

  // Argument guards, and a value that does not convert (option 0x40000).
  EXPECT_EQ(tq_pattern_analyze(ctx, "Pattern", nullptr, out), -802);
  EXPECT_EQ(last_error(ctx), "'data' is null.");
  tq_options_set(ctx, 1u | 0x40000u);
  EXPECT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  std::strcpy(out, "x");
  EXPECT_EQ(tq_pattern_analyze_by_index(ctx, index, "bad \xFF", out), -10000);
  EXPECT_STREQ(out, "");
}

TEST(PatternAnalysis, BrokenDefinitionsAreReportedAndNotValid) {
  PatternKb kb;
  tq_context* ctx = kb;
  uint32_t count = 0;
  EXPECT_EQ(tq_patrn_defn_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 4u);
  struct Expect {
    const char* name;
    uint32_t valid;
    const char* regexlib;
  };
  const Expect expects[] = {
      {"Pattern", 1, "PAT"}, {"Vertical", 1, "Vowels"}, {"No Library", 0, ""}, {"Missing Library", 0, ""}};
  for (const Expect& e : expects) {
    SCOPED_TRACE(e.name);
    uint32_t valid = 9;
    EXPECT_EQ(tq_patrn_defn_valid_get(ctx, kb.index(e.name), &valid), 0);
    EXPECT_EQ(valid, e.valid);
    EXPECT_EQ(regexlib_name(ctx, kb.index(e.name)), e.regexlib);
  }
  // The load's messages name the definitions.
  Context again(kb.dir.str().c_str());
  EXPECT_EQ(tq_zel_locale_load(again, kEn, TQ_LOAD_DATATYPES | TQ_LOAD_PATTERN_DEFNS), 104);
  const std::string errors = tq_test::error_list_text(again);
  EXPECT_NE(errors.find("The pattern analysis definition 'No Library' names no regex library."), std::string::npos)
      << errors;
  EXPECT_NE(errors.find("'Nosuch' named by the Pattern Analysis definition 'Missing Library' cannot be opened"),
            std::string::npos)
      << errors;
}

TEST(PatternAnalysis, EditedDefinitions) {
  PatternKb kb(true);
  tq_context* ctx = kb;
  int32_t index = -1;
  ASSERT_EQ(tq_patrn_defn_add(ctx, "P2", &index), 0) << tq_test::error_list_text(ctx);
  int32_t dt = -1;
  ASSERT_EQ(tq_datatype_index_get_by_name(ctx, "Name", &dt), 0);
  ASSERT_EQ(tq_patrn_defn_datatype_index_set(ctx, index, dt), 0);

  // A new definition is not valid; once valid, without a library it gives
  // an empty pattern and leaves the info's flag as it was.
  char out[1028] = "x";
  EXPECT_EQ(tq_pattern_analyze_by_index(ctx, index, "abc", out), -704);
  ASSERT_EQ(tq_patrn_defn_valid_set(ctx, index, 1), 0);
  tq_patrn_info info{1};
  EXPECT_EQ(tq_pattern_analyze_by_index_with_info(ctx, index, "abc", out, &info), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(info.matched, 1u);

  // The library: set, replaced, kept when a name cannot be opened, dropped
  // by an empty name.
  EXPECT_EQ(regexlib_name(ctx, index), "");
  EXPECT_EQ(tq_patrn_defn_regexlib_name_set(ctx, index, "PAT"), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(regexlib_name(ctx, index), "PAT");
  EXPECT_EQ(analyze(ctx, "P2", "Ab1"), "Aa9");
  EXPECT_EQ(tq_patrn_defn_regexlib_name_set(ctx, index, "PAT"), 0);  // the same library: nothing changes
  EXPECT_LT(tq_patrn_defn_regexlib_name_set(ctx, index, "Nosuch"), 0);
  EXPECT_EQ(regexlib_name(ctx, index), "PAT");
  EXPECT_EQ(analyze(ctx, "P2", "Ab1"), "Aa9");
  EXPECT_EQ(tq_patrn_defn_regexlib_name_set(ctx, index, "Vowels"), 0);
  EXPECT_EQ(analyze(ctx, "P2", "Ab1"), "Ab1");
  // None is refused: the file must name a library.
  EXPECT_EQ(tq_patrn_defn_regexlib_name_set(ctx, index, ""), -802);
  EXPECT_EQ(regexlib_name(ctx, index), "Vowels");
  EXPECT_EQ(tq_patrn_defn_regexlib_name_set(ctx, 99, "PAT"), -800);
  EXPECT_EQ(regexlib_name(ctx, 99), "rc -800");

  // Written: the include "Pattern Analysis Def" of version 7.0 with its
  // library; none without one; a NULL document is refused.
  ASSERT_EQ(tq_patrn_defn_regexlib_name_set(ctx, index, "PAT"), 0);
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Test", "7.0", &doc), 0);
  EXPECT_EQ(tq_patrn_defn_write(ctx, doc, index), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(tq_patrn_defn_write(ctx, nullptr, index), -802);
  EXPECT_EQ(last_error(ctx), "'xml' is null.");
  const std::string path = (kb.dir / "written.xml").string();
  ASSERT_EQ(tq_xml_write(ctx, 0, path.c_str(), 8, doc), 0) << tq_test::error_list_text(ctx);
  tq_xml_free(ctx, doc);
  const std::string text = tq_test::read_file(path);
  EXPECT_NE(text.find("<include name=\"Pattern Analysis Def\">"), std::string::npos) << text;
  EXPECT_NE(text.find("<file type=\"Pattern Analysis Def\" version=\"7.0\">"), std::string::npos) << text;
  EXPECT_NE(text.find("<property name=\"Regexlib\">PAT</property>"), std::string::npos) << text;

  // A copy keeps its own reference: it still rewrites after its source is
  // unloaded.
  int32_t copy = -1;
  ASSERT_EQ(tq_patrn_defn_copy(ctx, "P2", "P3", &copy), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_patrn_defn_valid_set(ctx, copy, 1), 0);
  EXPECT_EQ(tq_patrn_defn_unload(ctx, index), 0);
  EXPECT_EQ(tq_pattern_analyze_by_index(ctx, copy, "Ab 12-x", out), 0);
  EXPECT_STREQ(out, "Aa 99-a");
  EXPECT_EQ(regexlib_name(ctx, index), "rc -800");
}

TEST(PatternAnalysis, SettersNeedEditModeAndDefinitionsReadBack) {
  PatternKb edit(true);
  {
    tq_context* ctx = edit;
    int32_t index = -1;
    ASSERT_EQ(tq_patrn_defn_add(ctx, "Made", &index), 0);
    int32_t dt = -1;
    ASSERT_EQ(tq_datatype_index_get_by_name(ctx, "Name", &dt), 0);
    ASSERT_EQ(tq_patrn_defn_datatype_index_set(ctx, index, dt), 0);
    ASSERT_EQ(tq_patrn_defn_regexlib_name_set(ctx, index, "Vowels"), 0);
    ASSERT_EQ(tq_patrn_defn_valid_set(ctx, index, 1), 0);
    ASSERT_EQ(tq_patrn_defn_owner_set(ctx, index, "Me"), 0);
    // The broken ones go out as they are, without a library, and the write
    // says so as the load will.
    ASSERT_EQ(tq_locale_write(ctx, kEn, edit.lock), TQ_WARN_LOCALE_PROBLEMS) << tq_test::error_list_text(ctx);
    tq_zel_locale_unload_edit(ctx, kEn, edit.lock);
    tq_lock_free(ctx, edit.lock);
    edit.lock = nullptr;
  }
  Context ctx(edit.dir.str().c_str());
  EXPECT_EQ(tq_zel_locale_load(ctx, kEn, TQ_LOAD_DATATYPES | TQ_LOAD_PATTERN_DEFNS), 104);
  int32_t index = -1;
  ASSERT_EQ(tq_patrn_defn_index_get_by_name(ctx, "Made", &index), 0);
  char out[1028] = "";
  EXPECT_EQ(tq_patrn_defn_regexlib_name_set(ctx, index, "PAT"), -501);
  EXPECT_EQ(tq_patrn_defn_valid_set(ctx, index, 0), -501);
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Test", "7.0", &doc), 0);
  EXPECT_EQ(tq_patrn_defn_write(ctx, doc, index), -501);
  tq_xml_free(ctx, doc);
  EXPECT_EQ(regexlib_name(ctx, index), "Vowels");
  EXPECT_EQ(tq_patrn_defn_owner_get(ctx, index, out), 0);
  EXPECT_STREQ(out, "Me");
  EXPECT_EQ(analyze(ctx, "Made", "banana"), "bVnVnV");
  EXPECT_EQ(analyze(ctx, "Pattern", "Ab 12-x"), "Aa 99-a");
  EXPECT_EQ(analyze(ctx, "No Library", "x"), "rc -704");
  EXPECT_EQ(analyze(ctx, "Missing Library", "x"), "rc -704");
}

// The sample knowledge base's definition "Pattern": letters of any script
// by their case, digits of any script.
TEST(PatternAnalysis, SampleDefinition) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_PATTERN_DEFNS), 0)
      << tq_test::error_list_text(ctx);
  EXPECT_EQ(analyze(ctx, "Pattern", "Ab 12-x"), "Aa 99-a");
  EXPECT_EQ(analyze(ctx, "Pattern", "\xC3\x89lise M\xC3\xBCller \xD9\xA3"), "Aaaaa Aaaaaa 9");
  EXPECT_EQ(analyze(ctx, "Pattern", "(555) 123-4567"), "(999) 999-9999");
}

}  // namespace

// Extraction definitions through their exports: the edit-mode rules of the
// family, and definitions made in edit mode, edited through the shared
// accessors, copied and written.
#include <filesystem>
#include <string>

#include "support/tq_test.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;

constexpr int32_t kEn = 29000;

// An edit-mode context on EN, which is current and holds the datatype
// "Contact" (Given Name, Family Name, Company, Other).
struct Kb {
  TempDir dir;
  Context ctx;
  bool built = false;
  Kb() : ctx(dir.str().c_str(), true) {
    std::filesystem::create_directories(dir / "locale");
    tq_test::write_locale_settings(ctx, dir.path(), "l1.loc", "ISO-8859-1 (Latin-1)", "");
    tq_test::write_locale_settings(ctx, dir.path(), "en.loc", "English", "l1.loc");
    EXPECT_GE(tq_zel_locale_load(ctx, kEn, 0), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(tq_locale_set(ctx, kEn), 0);
    // An engine without extraction definitions refuses the kind (-802).
    uint32_t n = 0;
    built = tq_extraction_defn_count_get_by_locale(ctx, kEn, &n) == 0;
    int32_t dt = -1, token = -1;
    EXPECT_EQ(tq_datatype_add(ctx, "Contact", &dt), 0);
    for (const char* value : {"Given Name", "Family Name", "Company", "Other"}) {
      EXPECT_EQ(tq_datatype_token_add(ctx, dt, &token), 0);
      EXPECT_EQ(tq_datatype_token_value_set(ctx, dt, token, value), 0);
    }
  }
};

#define REQUIRE_EXTRACTION_DEFNS(kb) \
  if (!(kb).built) GTEST_SKIP() << "extraction definitions are not built into this engine"

// Every change of the family needs edit mode: a context outside it is
// refused before anything is looked at.
TEST(ExtractionDefnExports, ChangesNeedEditMode) {
  Context ctx;
  int32_t out = 0;
  const struct {
    const char* name;
    int32_t rc;
  } calls[] = {
      {"name_set", tq_extraction_defn_name_set(ctx, 0, "X")},
      {"owner_set", tq_extraction_defn_owner_set(ctx, 0, "X")},
      {"valid_set", tq_extraction_defn_valid_set(ctx, 0, 1)},
      {"uppercasing_set", tq_extraction_defn_automatic_uppercasing_set(ctx, 0, 0)},
      {"chopper_name_set", tq_extraction_defn_chopper_name_set(ctx, 0, "C")},
      {"token_add", tq_extraction_defn_token_add(ctx, 0, "Other", &out)},
      {"token_name_set", tq_extraction_defn_token_name_set(ctx, 0, 0, "Other")},
      {"vocabulary_add", tq_extraction_defn_vocabulary_add(ctx, 0, "V", 0)},
      {"vocabulary_delete_all", tq_extraction_defn_vocabulary_delete_all(ctx, 0)},
      {"normalization_add", tq_extraction_defn_normalization_regexlib_add(ctx, 0, "R")},
      {"preprocessing_add", tq_extraction_defn_preprocessing_regexlib_add(ctx, 0, "R")},
      {"default_category_add", tq_extraction_defn_default_category_add(ctx, 0, &out)},
      {"fuzzy_set", tq_extraction_defn_fuzzy_vocab_lookup_params_set(ctx, 0, 1, 90)},
      {"add", tq_extraction_defn_add(ctx, "X", &out)},
      {"copy", tq_extraction_defn_copy(ctx, "X", "Y", &out)},
      {"unload", tq_extraction_defn_unload(ctx, 0)},
  };
  for (const auto& c : calls) EXPECT_EQ(c.rc, -501) << c.name;
}

// Made, edited through the shared accessors, copied, written and read back.
TEST(ExtractionDefnExports, MadeEditedCopiedAndWritten) {
  Kb kb;
  REQUIRE_EXTRACTION_DEFNS(kb);
  tq_context* ctx = kb.ctx;
  int32_t index = -1;
  ASSERT_EQ(tq_extraction_defn_add(ctx, "Ex", &index), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(tq_extraction_defn_add(ctx, "Ex", &index), -801);
  ASSERT_EQ(tq_extraction_defn_index_get_by_name(ctx, "EX", &index), 0);
  EXPECT_EQ(tq_extraction_defn_owner_set(ctx, index, "Team"), 0);
  EXPECT_EQ(tq_extraction_defn_normalization_regexlib_add(ctx, index, ""), -802);
  char text[400] = "";
  EXPECT_EQ(tq_extraction_defn_owner_get(ctx, index, text), 0);
  EXPECT_STREQ(text, "Team");
  // The parser flag is a flag, as its file holds it.
  uint32_t parser = 9;
  EXPECT_EQ(tq_extraction_defn_parser_enabled_set(ctx, index, 13), 0);
  EXPECT_EQ(tq_extraction_defn_parser_enabled_get(ctx, index, &parser), 0);
  EXPECT_EQ(parser, 1u);
  int32_t copy = -1;
  ASSERT_EQ(tq_extraction_defn_copy(ctx, "Ex", "Ex2", &copy), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(tq_extraction_defn_owner_get(ctx, copy, text), 0);
  EXPECT_STREQ(text, "Team");
  uint32_t count = 0;
  EXPECT_EQ(tq_extraction_defn_count_get_by_locale(ctx, kEn, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(tq_extraction_defn_unload(ctx, copy), 0);
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Locale Settings", "7.0", &doc), 0);
  EXPECT_EQ(tq_extraction_defn_write(ctx, doc, copy), -800);
  tq_xml_free(ctx, doc);
}

// The sample knowledge base's contact extraction: its company scheme knows
// the phrases case-insensitively, and the definition reads as valid.
TEST(ExtractionDefnExports, SampleKbContact) {
  Context ctx(TQ_SAMPLE_KB);
  int32_t scheme = -1;
  ASSERT_TQ_OK(ctx, tq_transf_scheme_load(ctx, "en_company", -1, -1, 0, &scheme));
  char out[64] = "";
  int32_t applied = 0;
  EXPECT_TQ_OK(ctx, tq_transf_scheme_apply(ctx, scheme, "acme corp", out, sizeof out, &applied));
  EXPECT_EQ(applied, 1);
  EXPECT_EQ(tq_transf_scheme_unload(ctx, scheme), 0);
  const uint32_t parts = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_EXTRACT_DEFNS;
  ASSERT_GE(tq_zel_locale_load(ctx, kEn, parts), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_locale_set(ctx, kEn), 0);
  uint32_t n = 0;
  if (tq_extraction_defn_count_get(ctx, &n) == -802) GTEST_SKIP() << "extraction definitions are not built";
  int32_t index = -1;
  ASSERT_TQ_OK(ctx, tq_extraction_defn_index_get_by_name(ctx, "Contact", &index));
  uint32_t valid = 0, tokens = 0;
  EXPECT_EQ(tq_extraction_defn_valid_get(ctx, index, &valid), 0);
  EXPECT_EQ(valid, 1u) << tq_test::error_list_text(ctx);
  EXPECT_EQ(tq_extraction_defn_token_count_get(ctx, index, &tokens), 0);
  EXPECT_EQ(tokens, 4u);
}

}  // namespace

namespace {

// The kind part edited on "Ex" (datatype Contact): a pattern on the grammar
// G (NAME -> GIVEN FAMILY) seeking GIVEN and FAMILY, a known-word scheme for
// Company and the default token Other.
struct Ex : Kb {
  int32_t index = -1;
  Ex() {
    if (!built) return;
    int32_t g = -1;
    EXPECT_EQ(tq_grammar_create(ctx, "G", &g), 0);
    for (const char* c : {"GIVEN", "FAMILY", "NAME"}) EXPECT_EQ(tq_grammar_category_add(ctx, g, c, c), 0);
    EXPECT_EQ(tq_grammar_rule_add(ctx, g, 2, 80), 0);
    for (const char* c : {"GIVEN", "FAMILY"}) EXPECT_EQ(tq_grammar_rule_category_add(ctx, g, 2, 0, c), 0);
    int32_t s = -1;
    EXPECT_EQ(tq_scheme_create_in_memory(ctx, "Companies", 3, &s), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(tq_scheme_import_record(ctx, s, "ACME CORP", "ACME CORP"), 0);
    EXPECT_GE(tq_scheme_import_end(ctx, s), 0);
    EXPECT_EQ(tq_scheme_finalize_in_memory(ctx, s), 0);
    int32_t dt = -1;
    uint32_t p = 9;
    EXPECT_EQ(tq_datatype_index_get_by_name(ctx, "Contact", &dt), 0);
    EXPECT_EQ(tq_extraction_defn_add(ctx, "Ex", &index), 0);
    EXPECT_EQ(tq_extraction_defn_datatype_index_set(ctx, index, dt), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(tq_extraction_defn_pattern_add(ctx, index, "G", "NAME", 0, 1, 1, &p), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(tq_extraction_defn_pattern_sought_cat_add(ctx, index, 0, "GIVEN", 0), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(tq_extraction_defn_pattern_sought_cat_add(ctx, index, 0, "FAMILY", 1), 0);
    EXPECT_EQ(tq_extraction_defn_scheme_add(ctx, index, 2, "Companies", 0), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(tq_extraction_defn_default_token_set(ctx, index, 3), 0);
  }
  // "NAME/GIVEN>0,FAMILY>1" for pattern j.
  std::string pattern(uint32_t j) {
    char root[200] = "";
    uint32_t mode = 0, n = 0;
    int32_t weight = 0, max = 0;
    int32_t rc = tq_extraction_defn_pattern_info_get(ctx, index, j, root, &mode, &weight, &max);
    if (rc < 0) return "rc " + std::to_string(rc);
    std::string out = root;
    EXPECT_EQ(tq_extraction_defn_pattern_sought_cat_count_get(ctx, index, j, &n), 0);
    for (uint32_t k = 0; k < n; ++k) {
      int32_t tok = -9;
      EXPECT_EQ(tq_extraction_defn_pattern_sought_cat_info_get(ctx, index, j, k, root, &tok), 0);
      out += (k == 0 ? "/" : ",") + std::string(root) + ">" + std::to_string(tok);
    }
    return out;
  }
  int32_t default_token() {
    int32_t t = -9;
    EXPECT_EQ(tq_extraction_defn_default_token_get(ctx, index, &t), 0);
    return t;
  }
  uint32_t scheme_token() {
    uint32_t t = 99, cs = 9;
    char name[5000] = "";
    EXPECT_EQ(tq_extraction_defn_scheme_info_get(ctx, index, 0, &t, name, &cs), 0);
    EXPECT_STREQ(name, "Companies");
    EXPECT_EQ(cs, 0u);
    return t;
  }
};

TEST(ExtractionDefnExports, TokenDeleteRenumbers) {
  Ex ex;
  REQUIRE_EXTRACTION_DEFNS(ex);
  tq_context* ctx = ex.ctx;
  EXPECT_EQ(ex.pattern(0), "NAME/GIVEN>0,FAMILY>1");
  EXPECT_EQ(ex.scheme_token(), 2u);
  EXPECT_EQ(ex.default_token(), 3);
  ASSERT_EQ(tq_extraction_defn_token_delete(ctx, ex.index, 0), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(ex.pattern(0), "NAME/FAMILY>0");
  EXPECT_EQ(ex.scheme_token(), 1u);
  EXPECT_EQ(ex.default_token(), 2);
  // The scheme's token goes: so does its entry.
  ASSERT_EQ(tq_extraction_defn_token_delete(ctx, ex.index, 1), 0);
  uint32_t n = 9;
  EXPECT_EQ(tq_extraction_defn_scheme_count_get(ctx, ex.index, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(ex.default_token(), 1);
  // A datatype with a token no definition can name (over 320 bytes) is
  // refused before anything of the definition changes.
  int32_t dt = -1;
  ASSERT_EQ(tq_datatype_index_get_by_name(ctx, "Contact", &dt), 0);
  uint32_t count_before = 0;
  ASSERT_EQ(tq_extraction_defn_token_count_get(ctx, ex.index, &count_before), 0);
  const std::string pattern_before = ex.pattern(0);
  const int32_t default_before = ex.default_token();
  int32_t dt_before = -1;
  ASSERT_EQ(tq_extraction_defn_datatype_index_get(ctx, ex.index, &dt_before), 0);
  int32_t long_token = -1;
  ASSERT_EQ(tq_datatype_token_add(ctx, dt, &long_token), 0);
  ASSERT_EQ(tq_datatype_token_value_set(ctx, dt, long_token, std::string(321, 'L').c_str()), 0);
  EXPECT_EQ(tq_extraction_defn_datatype_index_set(ctx, ex.index, dt), TQ_ERR_INVALID_CONTENT);
  EXPECT_TRUE(tq_test::holds(tq_test::error_list_text(ctx), "a token of 321 bytes, longer than the 320 bytes"));
  EXPECT_EQ(tq_extraction_defn_token_count_get(ctx, ex.index, &n), 0);
  EXPECT_EQ(n, count_before);
  EXPECT_EQ(ex.pattern(0), pattern_before);
  EXPECT_EQ(ex.default_token(), default_before);
  int32_t kept_dt = -1;
  EXPECT_EQ(tq_extraction_defn_datatype_index_get(ctx, ex.index, &kept_dt), 0);
  EXPECT_EQ(kept_dt, dt_before);
  ASSERT_EQ(tq_datatype_token_delete(ctx, dt, long_token), 0);
  // A new datatype: every token and whatever named one goes first.
  ASSERT_EQ(tq_extraction_defn_datatype_index_set(ctx, ex.index, dt), 0);
  EXPECT_EQ(tq_extraction_defn_token_count_get(ctx, ex.index, &n), 0);
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(ex.pattern(0), "NAME");
  EXPECT_EQ(ex.default_token(), -1);
  EXPECT_EQ(tq_extraction_defn_datatype_index_set(ctx, ex.index, dt + 9), -800);
  EXPECT_EQ(tq_extraction_defn_token_count_get(ctx, ex.index, &n), 0);
  EXPECT_EQ(n, 4u);
}

TEST(ExtractionDefnExports, RefusalsAndLimits) {
  Ex ex;
  REQUIRE_EXTRACTION_DEFNS(ex);
  tq_context* ctx = ex.ctx;
  const int32_t i = ex.index;
  uint32_t p = 0, n = 0;
  const struct {
    const char* what;
    int32_t rc;
    int32_t expected;
  } calls[] = {
      {"default token past the tokens", tq_extraction_defn_default_token_set(ctx, i, 4), -800},
      {"root the grammar lacks", tq_extraction_defn_pattern_add(ctx, i, "G", "XYZ", 0, 1, 1, &p), -802},
      {"mode 2", tq_extraction_defn_pattern_add(ctx, i, "G", "NAME", 2, 1, 1, &p), -802},
      {"max matches 0", tq_extraction_defn_pattern_add(ctx, i, "G", "NAME", 0, 1, 0, &p), -802},
      {"no such grammar", tq_extraction_defn_pattern_add(ctx, i, "None", "NAME", 0, 1, 1, &p), -400},
      {"sought token past the tokens", tq_extraction_defn_pattern_sought_cat_add(ctx, i, 0, "GIVEN", 4), -800},
      {"sought category the grammar lacks", tq_extraction_defn_pattern_sought_cat_add(ctx, i, 0, "NOPE", 2), -802},
      {"sought of no pattern", tq_extraction_defn_pattern_sought_cat_add(ctx, i, 1, "GIVEN", 2), -800},
      {"scheme without name", tq_extraction_defn_scheme_add(ctx, i, 2, "", 0), -802},
      {"scheme token past the tokens", tq_extraction_defn_scheme_add(ctx, i, 4, "Companies", 0), -800},
      {"a fifth token", tq_extraction_defn_token_add(ctx, i, "Other", reinterpret_cast<int32_t*>(&p)), 0},
      {"cat regexlib past the end", tq_extraction_defn_cat_regexlib_delete(ctx, i, 9), 0},
  };
  for (const auto& c : calls) EXPECT_EQ(c.rc, c.expected) << c.what;
  // Refused adds leave nothing behind.
  EXPECT_EQ(tq_extraction_defn_pattern_count_get(ctx, i, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(ex.pattern(0), "NAME/GIVEN>0,FAMILY>1");
  // Bounded lists: 32 sought categories, 256 patterns, 32 tokens.
  for (int k = 2; k < 32; ++k) ASSERT_EQ(tq_extraction_defn_pattern_sought_cat_add(ctx, i, 0, "GIVEN", 0), 0);
  EXPECT_EQ(tq_extraction_defn_pattern_sought_cat_add(ctx, i, 0, "GIVEN", 0), -601);
  EXPECT_EQ(tq_test::error_list_text(ctx),
            "  [0] -601: Pattern 0 of the Extraction definition 'Ex' already seeks 32 categories.\n");
  for (int k = 1; k < 256; ++k) ASSERT_EQ(tq_extraction_defn_pattern_add(ctx, i, "G", "NAME", 1, k, 1, &p), 0);
  EXPECT_EQ(p, 255u);
  EXPECT_EQ(tq_extraction_defn_pattern_add(ctx, i, "G", "NAME", 1, 0, 1, &p), -601);
  EXPECT_EQ(tq_test::error_list_text(ctx), "  [0] -601: The Extraction definition 'Ex' already holds 256 patterns.\n");
  int32_t t = -1;
  for (int k = 5; k < 32; ++k) ASSERT_EQ(tq_extraction_defn_token_add(ctx, i, "Other", &t), 0);
  EXPECT_EQ(tq_extraction_defn_token_add(ctx, i, "Other", &t), -601);
  EXPECT_EQ(tq_extraction_defn_patterns_delete_all(ctx, i), 0);
  EXPECT_EQ(tq_extraction_defn_pattern_count_get(ctx, i, &n), 0);
  EXPECT_EQ(n, 0u);
}

// The same grammar and root keep the sought categories; another root
// clears them. The pattern's optimization parameters follow the context's
// until a value is set.
TEST(ExtractionDefnExports, PatternChanges) {
  Ex ex;
  REQUIRE_EXTRACTION_DEFNS(ex);
  tq_context* ctx = ex.ctx;
  ASSERT_EQ(tq_extraction_defn_pattern_info_set(ctx, ex.index, 0, "G", "NAME", 1, 7, 2), 0);
  EXPECT_EQ(ex.pattern(0), "NAME/GIVEN>0,FAMILY>1");
  EXPECT_EQ(tq_extraction_defn_pattern_info_set(ctx, ex.index, 0, "G", "XYZ", 1, 7, 2), -802);
  ASSERT_EQ(tq_extraction_defn_pattern_info_set(ctx, ex.index, 0, "G", "GIVEN", 1, 7, 2), 0);
  EXPECT_EQ(ex.pattern(0), "GIVEN");
  uint32_t flag = 9;
  int32_t limit = 0;
  EXPECT_EQ(tq_extraction_defn_opt_params_override_get(ctx, ex.index, 0, &flag), 0);
  EXPECT_EQ(flag, 0u);
  ASSERT_EQ(tq_extraction_defn_opt_params_resource_limit_set(ctx, ex.index, 0, 1000), 0);
  EXPECT_EQ(tq_extraction_defn_opt_params_override_get(ctx, ex.index, 0, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_extraction_defn_opt_params_resource_limit_get(ctx, ex.index, 0, &limit), 0);
  EXPECT_EQ(limit, 1000);
  EXPECT_EQ(tq_extraction_defn_opt_params_input_length_set(ctx, ex.index, 0, 3), -802);
  EXPECT_EQ(tq_extraction_defn_opt_params_input_length_set(ctx, ex.index, 0, 2), 0);
  char sep[100] = "";
  ASSERT_EQ(tq_extraction_defn_separator_set(ctx, ex.index, "|"), 0);
  EXPECT_EQ(tq_extraction_defn_separator_get(ctx, ex.index, sep), 0);
  EXPECT_STREQ(sep, "|");
  // Written, with the default token in the properties of version 9.0.
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Locale Settings", "7.0", &doc), 0);
  EXPECT_EQ(tq_extraction_defn_write(ctx, doc, ex.index), 0) << tq_test::error_list_text(ctx);
  tq_xml_free(ctx, doc);
}

}  // namespace

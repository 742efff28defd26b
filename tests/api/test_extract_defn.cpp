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

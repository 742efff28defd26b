// Identification definitions through their exports: read at each format
// level from tests/kb/ident_defn, edited, written by the family's own write and
// by the locale writer, and loaded again.
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "support/built_kb.h"
#include "support/ident_kb.h"
#include "support/tq_test.h"

namespace {

using tq_test::Context;

constexpr int32_t kEn = 29000;
// The fixture's definitions, in file order (own definitions of EN, so the
// same indices in and outside edit mode).
enum : int32_t { kId5, kId7, kId8, kVertical, kVertical8, kOther };

// A knowledge base with the personal-name resources of tests/kb/parse and
// the locale EN of tests/kb/ident_defn (or a locale document given instead).
class IdentKb : public tq_test::BuiltKb {
 public:
  explicit IdentKb(bool edit_mode = false, tq_xmldoc* en = nullptr) {
    write_sources({{"parse/grammar/PersonName", "grammar/PersonName"},
                   {"parse/regexlib/StripPeriods", "regexlib/StripPeriods"},
                   {"parse/locale/l1.loc", "locale/l1.loc"}});
    if (en != nullptr) {
      write_doc(en, "locale/en.loc");
    } else {
      write_sources({{"ident_defn/en.loc", "locale/en.loc"}});
    }
    compile_vocab("parse/vocab/PersonName", "PersonName");
    open(kEn, TQ_LOAD_DATATYPES | TQ_LOAD_IDENT_DEFNS, edit_mode, 0);
    // An engine without identification definitions refuses the kind (-802).
    uint32_t n = 0;
    built_ = tq_identification_defn_count_get_by_locale(ctx(), kEn, &n) == 0;
  }
  bool built() const { return built_; }

 private:
  bool built_ = false;
};

#define REQUIRE_IDENT_DEFNS(kb) \
  if (!(kb).built()) GTEST_SKIP() << "identification definitions are not built into this engine"

std::string name_of(tq_context* ctx, int32_t index) {
  char name[400] = "";
  const int32_t rc = tq_identification_defn_name_get_by_index(ctx, index, name);
  return rc < 0 ? "rc " + std::to_string(rc) : name;
}

// The text of a document as written plainly.
std::string plain_text(tq_context* ctx, tq_xmldoc* doc, const std::filesystem::path& dir) {
  const std::string file = (dir / "plain.xml").string();
  EXPECT_EQ(tq_xml_write(ctx, 0, file.c_str(), 8, doc), 0) << tq_test::error_list_text(ctx);
  return tq_test::read_file(file);
}

// ---- Edit-mode rules ------------------------------------------------------------------

// Every change refuses a context outside edit mode before it looks at its
// arguments; the count refuses one in edit mode.
TEST(IdentDefnExports, EditModeRules) {
  Context plain;
  tq_xmldoc* doc = nullptr;
  int32_t index = -1;
  const std::vector<std::pair<const char*, std::function<int32_t(tq_context*)>>> changes = {
      {"name_set", [](tq_context* c) { return tq_identification_defn_name_set(c, 0, "X"); }},
      {"comments_set", [&](tq_context* c) { return tq_identification_defn_comments_set(c, 0, doc); }},
      {"layouts_set", [&](tq_context* c) { return tq_identification_defn_layouts_set(c, 0, doc); }},
      {"owner_set", [](tq_context* c) { return tq_identification_defn_owner_set(c, 0, "me"); }},
      {"deprecated_info_set", [](tq_context* c) { return tq_identification_defn_deprecated_info_set(c, 0, 1, "Y"); }},
      {"incomplete_set", [](tq_context* c) { return tq_identification_defn_incomplete_set(c, 0, 1); }},
      {"valid_set", [](tq_context* c) { return tq_identification_defn_valid_set(c, 0, 1); }},
      {"datatype_index_set_no_upcast",
       [](tq_context* c) { return tq_identification_defn_datatype_index_set_no_upcast(c, 0, 0); }},
      {"automatic_uppercasing_set",
       [](tq_context* c) { return tq_identification_defn_automatic_uppercasing_set(c, 0, 0); }},
      {"add", [&](tq_context* c) { return tq_identification_defn_add(c, "X", &index); }},
      {"copy", [&](tq_context* c) { return tq_identification_defn_copy(c, "A", "B", &index); }},
      {"write", [&](tq_context* c) { return tq_identification_defn_write(c, 0, doc); }},
      {"touch", [](tq_context* c) { return tq_identification_defn_touch(c, 0); }},
      {"vocabulary_add", [](tq_context* c) { return tq_identification_defn_vocabulary_add(c, 0, "V", 0); }},
      {"value_add", [](tq_context* c) { return tq_identification_defn_value_add(c, 0, "V", "", 0); }},
      {"known_identity_add",
       [](tq_context* c) { return tq_identification_defn_known_identity_add(c, 0, "S", 0, "V"); }},
      {"pattern_add",
       [](tq_context* c) { return tq_identification_defn_pattern_add(c, 0, "G", "R", "S", 0, "V", 1, 0); }},
      {"grammar_name_set", [](tq_context* c) { return tq_identification_defn_grammar_name_set(c, 0, 0, "G"); }},
      {"opt_params_resource_limit_set",
       [](tq_context* c) { return tq_identification_defn_opt_params_resource_limit_set(c, 0, 0, 7000); }},
      {"cat_regexlib_add",
       [](tq_context* c) { return tq_identification_defn_cat_regexlib_add(c, 0, "C", 50, "R", 0); }},
      {"patterns_delete_all", [](tq_context* c) { return tq_identification_defn_patterns_delete_all(c, 0); }},
  };
  for (const auto& [name, call] : changes) EXPECT_EQ(call(plain), TQ_ERR_NEEDS_EDIT_MODE) << name;

  IdentKb kb(true);
  REQUIRE_IDENT_DEFNS(kb);
  uint32_t n = 7;
  EXPECT_EQ(tq_identification_defn_count_get(kb.ctx(), &n), TQ_ERR_EDIT_MODE);
  EXPECT_EQ(n, 0u);
}

// ---- Reading the fixture ----------------------------------------------------------------

// Every type name of the kind reads; a type that only begins like them is
// kept, not valid.
TEST(IdentDefnExports, TypesReadAndValidity) {
  IdentKb kb;
  REQUIRE_IDENT_DEFNS(kb);
  tq_context* c = kb.ctx();
  uint32_t n = 0;
  ASSERT_EQ(tq_identification_defn_count_get(c, &n), 0);
  ASSERT_EQ(n, 6u);
  const struct {
    int32_t index;
    const char* name;
    uint32_t valid;
  } rows[] = {{kId5, "Id5", 1},           {kId7, "Id7", 1},           {kId8, "Id8", 1},
              {kVertical, "IdVertical", 1}, {kVertical8, "IdVertical8", 1}, {kOther, "IdOther", 0}};
  for (const auto& row : rows) {
    EXPECT_EQ(name_of(c, row.index), row.name);
    int32_t found = -1;
    EXPECT_EQ(tq_identification_defn_index_get_by_name(c, row.name, &found), 0);
    EXPECT_EQ(found, row.index);
    uint32_t valid = 9;
    EXPECT_EQ(tq_identification_defn_valid_get(c, row.index, &valid), 0);
    EXPECT_EQ(valid, row.valid) << row.name << tq_test::error_list_text(c);
  }
  // The common part as read: vocabulary, normalization, default categories.
  char text[16400] = "";
  EXPECT_EQ(tq_identification_defn_vocabulary_name_get(c, kId8, text), 0);
  EXPECT_STREQ(text, "PersonName");
  EXPECT_EQ(tq_identification_defn_normalization_regexlib_name_get(c, kId5, text), 0);
  EXPECT_STREQ(text, "StripPeriods");
  EXPECT_EQ(tq_identification_defn_normalization_regexlib_name_get(c, kId8, text), TQ_ERR_INDEX);
  uint32_t likelihood = 0;
  EXPECT_EQ(tq_identification_defn_default_category_info_get(c, kId8, 0, text, &likelihood), 0);
  EXPECT_STREQ(text, "UNK");
  EXPECT_EQ(likelihood, 10u);
}

// ---- Format levels ----------------------------------------------------------------------

uint32_t level(tq_context* ctx, int32_t index) {
  uint32_t value = 0;
  EXPECT_EQ(tq_identification_defn_version_get(ctx, index, &value), 0) << tq_test::error_list_text(ctx);
  return value;
}

// The level each type reads as; which lists the level-dependent counts
// give; which changes raise the level to 8 and which keep it.
TEST(IdentDefnExports, LevelsAndLevelDependentCounts) {
  IdentKb kb(true);
  REQUIRE_IDENT_DEFNS(kb);
  tq_context* c = kb.ctx();
  const std::pair<int32_t, uint32_t> levels[] = {{kId5, 5}, {kId7, 7}, {kId8, 8}, {kVertical, 7}, {kVertical8, 8}};
  for (const auto& [index, expected] : levels) EXPECT_EQ(level(c, index), expected) << name_of(c, index);

  // At level 5 the normalization libraries are the preprocessing ones.
  const struct {
    int32_t index;
    uint32_t preprocessing, normalization;
  } counts[] = {{kId5, 1, 0}, {kId7, 1, 1}, {kId8, 0, 0}};
  for (const auto& row : counts) {
    uint32_t pre = 9, norm = 9;
    EXPECT_EQ(tq_identification_defn_preprocessing_regexlib_count_get(c, row.index, &pre), 0);
    EXPECT_EQ(tq_identification_defn_normalization_regexlib_count_get(c, row.index, &norm), 0);
    EXPECT_EQ(pre, row.preprocessing) << name_of(c, row.index);
    EXPECT_EQ(norm, row.normalization) << name_of(c, row.index);
  }
  char name[4100] = "";
  EXPECT_EQ(tq_identification_defn_preprocessing_regexlib_name_get_by_index(c, kId5, 0, name), 0);
  EXPECT_STREQ(name, "StripPeriods");
  EXPECT_EQ(tq_identification_defn_preprocessing_regexlib_name_get_by_index(c, kId5, 1, name), TQ_ERR_INDEX);

  // Common fields and touch's sibling setters keep level 7.
  tq_xmldoc* comments = nullptr;
  ASSERT_EQ(tq_xml_create(c, "Comments", "7.0", &comments), 0);
  EXPECT_TQ_OK(c, tq_identification_defn_name_set(c, kId7, "Id7b"));
  EXPECT_TQ_OK(c, tq_identification_defn_owner_set(c, kId7, "me"));
  EXPECT_TQ_OK(c, tq_identification_defn_comments_set(c, kId7, comments));
  EXPECT_TQ_OK(c, tq_identification_defn_automatic_uppercasing_set(c, kId7, 0));
  int32_t dtype = -1;
  EXPECT_TQ_OK(c, tq_identification_defn_datatype_index_get(c, kId7, &dtype));
  EXPECT_TQ_OK(c, tq_identification_defn_datatype_index_set_no_upcast(c, kId7, dtype));
  tq_xml_free(c, comments);  // it held no include, so the definition kept none
  EXPECT_EQ(level(c, kId7), 7u);
  EXPECT_TQ_OK(c, tq_identification_defn_touch(c, kId7));
  EXPECT_EQ(level(c, kId7), 8u);
  // A change with the epilogue raises 7 to 8 ...
  EXPECT_TQ_OK(c, tq_identification_defn_vocabulary_add(c, kVertical, "PersonName", 0));
  EXPECT_EQ(level(c, kVertical), 8u);
  // ... and 5 to 8, after which the normalization libraries are analysis
  // ones again.
  int32_t entry = -1;
  EXPECT_TQ_OK(c, tq_identification_defn_default_category_add(c, kId5, &entry));
  EXPECT_EQ(level(c, kId5), 8u);
  uint32_t pre = 9, norm = 9;
  EXPECT_EQ(tq_identification_defn_preprocessing_regexlib_count_get(c, kId5, &pre), 0);
  EXPECT_EQ(tq_identification_defn_normalization_regexlib_count_get(c, kId5, &norm), 0);
  EXPECT_EQ(pre, 0u);
  EXPECT_EQ(norm, 1u);
  // A failed change raises nothing.
  EXPECT_LT(tq_identification_defn_chopper_name_set(c, kVertical8, "NoSuchChopper"), 0);
  EXPECT_EQ(tq_identification_defn_normalization_regexlib_name_set(c, kId8, "NoSuchLibrary") < 0, true);
  EXPECT_EQ(tq_identification_defn_normalization_regexlib_count_get(c, kId8, &norm), 0);
  EXPECT_EQ(norm, 0u);
}

// ---- The kind's own part ------------------------------------------------------------------

// Refused arguments change nothing; texts are cut to their documented
// sizes; optimization parameters switch their override on.
TEST(IdentDefnExports, ArgumentChecksAndBounds) {
  IdentKb kb(true);
  REQUIRE_IDENT_DEFNS(kb);
  tq_context* c = kb.ctx();
  auto count = [&](int32_t (*get)(tq_context*, int32_t, uint32_t*), int32_t index) {
    uint32_t n = 99;
    EXPECT_EQ(get(c, index, &n), 0);
    return n;
  };
  const struct {
    const char* what;
    std::function<int32_t()> call;
    int32_t rc;
  } refused[] = {
      {"sought category the grammar lacks",
       [&] { return tq_identification_defn_pattern_add(c, kId8, "PersonName", "NAME", "XYZ", 1, "PERSON", 10, 0); },
       TQ_ERR_ARGUMENT},
      {"identity that names no value",
       [&] { return tq_identification_defn_pattern_add(c, kId8, "PersonName", "NAME", "BODY", 1, "NOBODY", 10, 0); },
       TQ_ERR_NAME},
      {"no grammar",
       [&] { return tq_identification_defn_pattern_add(c, kId8, "", "NAME", "BODY", 1, "PERSON", 10, 0); },
       TQ_ERR_ARGUMENT},
      {"likelihood 95",
       [&] { return tq_identification_defn_cat_regexlib_add(c, kId8, "INITIAL", 95, "StripPeriods", 0); },
       TQ_ERR_ARGUMENT},
      {"empty value", [&] { return tq_identification_defn_value_add(c, kId8, "", "d", 0); }, TQ_ERR_ARGUMENT},
  };
  for (const auto& row : refused) {
    EXPECT_EQ(row.call(), row.rc) << row.what;
    EXPECT_EQ(count(tq_identification_defn_pattern_count_get, kId8), 1u) << row.what;
    EXPECT_EQ(count(tq_identification_defn_cat_regexlib_count_get, kId8), 0u) << row.what;
    EXPECT_EQ(count(tq_identification_defn_value_count_get, kId8), 3u) << row.what;
  }
  uint32_t n = 9;
  EXPECT_EQ(tq_identification_defn_value_count_get(c, 999, &n), TQ_ERR_INDEX);

  // Out of range.
  char a[200] = "", b[1100] = "", v[200] = "";
  uint32_t options = 0, stop = 0, dflt = 0;
  int32_t weight = 0;
  EXPECT_EQ(tq_identification_defn_value_info_get(c, kId8, 3, v, b, &dflt), TQ_ERR_INDEX);
  EXPECT_EQ(tq_identification_defn_pattern_info_get(c, kId8, 1, a, b, &options, v, &weight, &stop), TQ_ERR_INDEX);
  EXPECT_EQ(tq_identification_defn_grammar_name_get(c, kId8, 1, b), TQ_ERR_INDEX);

  // A value over 127 bytes is refused; one of 127 is kept whole and read
  // back whole in the getter's fixed size (128 with the terminator).
  ASSERT_EQ(tq_session_encoding_set(c, TQ_ENC_UTF8), 0);
  std::string long_value = "e";
  for (int i = 0; i < 63; ++i) long_value += "\xc3\xa9";  // then 126 bytes of "é"
  EXPECT_EQ(tq_identification_defn_value_add(c, kId8, (long_value + "e").c_str(), "d", 0), TQ_ERR_ARGUMENT);
  EXPECT_TQ_OK(c, tq_identification_defn_value_add(c, kId8, long_value.c_str(), "d", 0));
  EXPECT_TQ_OK(c, tq_identification_defn_value_info_get(c, kId8, 3, v, b, &dflt));
  EXPECT_EQ(std::string(v), long_value);

  // Grammars: none below level 8 without the property, else the registered name.
  EXPECT_EQ(tq_identification_defn_grammar_name_get(c, kId5, 0, b), 0);
  EXPECT_STREQ(b, "");
  EXPECT_EQ(tq_identification_defn_grammar_name_get(c, kId8, 0, b), 0);
  EXPECT_STREQ(b, "PersonName");

  // A value setter of a pattern without override switches it on from the
  // context's defaults.
  int32_t levels = 0, limit = 0, default_levels = 0;
  uint32_t on = 9;
  EXPECT_EQ(tq_identification_defn_opt_params_override_get(c, kId5, 0, &on), 0);
  EXPECT_EQ(on, 0u);
  EXPECT_TQ_OK(c, tq_identification_defn_opt_params_resource_limit_set(c, kId5, 0, 7000));
  EXPECT_EQ(tq_identification_defn_opt_params_override_get(c, kId5, 0, &on), 0);
  EXPECT_EQ(tq_identification_defn_opt_params_resource_limit_get(c, kId5, 0, &limit), 0);
  EXPECT_EQ(tq_identification_defn_opt_params_scoring_levels_get(c, kId5, 0, &levels), 0);
  EXPECT_EQ(tq_parse_opt_params_scoring_levels_default_get(c, &default_levels), 0);
  EXPECT_EQ(on, 1u);
  EXPECT_EQ(limit, 7000);
  EXPECT_EQ(levels, default_levels);
  // Values no parser takes are refused and change nothing.
  EXPECT_EQ(tq_identification_defn_opt_params_scoring_levels_set(c, kId5, 0, 11), TQ_ERR_ARGUMENT);
  EXPECT_EQ(tq_identification_defn_opt_params_input_length_set(c, kId5, 0, 3), TQ_ERR_ARGUMENT);
  EXPECT_EQ(tq_identification_defn_opt_params_input_length_get(c, kId5, 0, &limit), 0);
  int32_t default_length = -1;
  EXPECT_EQ(tq_parse_opt_params_input_length_default_get(c, &default_length), 0);
  EXPECT_EQ(limit, default_length);

  // The entry that is kept reads back as given.
  EXPECT_TQ_OK(c, tq_identification_defn_cat_regexlib_add(c, kId8, "initial", 50, "StripPeriods", 1));
  uint32_t likelihood = 0;
  EXPECT_EQ(tq_identification_defn_cat_regexlib_info_get(c, kId8, 0, a, &likelihood, b, &stop), 0);
  EXPECT_STREQ(a, "INITIAL");
  EXPECT_STREQ(b, "StripPeriods");
  EXPECT_EQ(likelihood, 50u);
  EXPECT_EQ(stop, 1u);
}

// Ten sets of every resource a definition names take no reference beyond
// the one each slot holds, a failed set and emptying the patterns give back
// what they took, and unloading the definitions returns every count to
// where it was: the test's own reference alone keeps each resource.
TEST(IdentDefnExports, ReferenceCountsAfterTenSetsAndAnUnload) {
  IdentKb kb(true);
  REQUIRE_IDENT_DEFNS(kb);
  tq_context* c = kb.ctx();
  struct Resource {
    const char* name;
    std::function<int32_t(int32_t*)> load;
    std::function<int32_t(int32_t)> unload;
    std::function<int32_t(int32_t*)> find;
    int32_t mine = -1;
  } resources[] = {
      {"grammar", [&](int32_t* i) { return tq_grammar_load(c, "PersonName", i); },
       [&](int32_t i) { return tq_grammar_unload(c, i); },
       [&](int32_t* i) { return tq_grammar_index_get_by_name(c, "PersonName", i); }},
      {"vocabulary", [&](int32_t* i) { return tq_vocabulary_load(c, "PersonName", nullptr, i); },
       [&](int32_t i) { return tq_vocabulary_unload(c, i); },
       [&](int32_t* i) { return tq_vocab_index_get_by_name(c, "PersonName", i); }},
      {"regexlib", [&](int32_t* i) { return tq_regexlib_load(c, "StripPeriods", nullptr, i); },
       [&](int32_t i) { return tq_regexlib_unload(c, i); },
       [&](int32_t* i) { return tq_regexlib_index_get_by_name(c, "StripPeriods", i); }},
  };
  for (Resource& r : resources) ASSERT_EQ(r.load(&r.mine), 0) << r.name << tq_test::error_list_text(c);

  const std::pair<const char*, std::function<int32_t()>> sets[] = {
      {"pattern_info_set",
       [&] {
         return tq_identification_defn_pattern_info_set(c, kId8, 0, "PersonName", "NAME", "BODY", 1, "PERSON", 10, 0);
       }},
      {"grammar_name_set", [&] { return tq_identification_defn_grammar_name_set(c, kId7, 0, "PersonName"); }},
      {"vocabulary_name_set", [&] { return tq_identification_defn_vocabulary_name_set(c, kId8, "PersonName"); }},
      {"vocabulary_info_set_by_index",
       [&] { return tq_identification_defn_vocabulary_info_set_by_index(c, kId7, 0, "PersonName", 0); }},
      {"normalization_regexlib_name_set",
       [&] { return tq_identification_defn_normalization_regexlib_name_set(c, kId7, "StripPeriods"); }},
      {"normalization_regexlib_name_set_by_index",
       [&] { return tq_identification_defn_normalization_regexlib_name_set_by_index(c, kId5, 0, "StripPeriods"); }},
      {"preprocessing_regexlib_name_set_by_index",
       [&] { return tq_identification_defn_preprocessing_regexlib_name_set_by_index(c, kId7, 0, "StripPeriods"); }},
      {"cat_regexlib_add",
       [&] { return tq_identification_defn_cat_regexlib_add(c, kId8, "INITIAL", 50, "StripPeriods", 0); }},
      {"cat_regexlib_info_set",
       [&] { return tq_identification_defn_cat_regexlib_info_set(c, kId8, 0, "INITIAL", 60, "StripPeriods", 1); }},
  };
  for (int i = 0; i < 10; ++i)
    for (const auto& [what, set] : sets) EXPECT_EQ(set(), 0) << what << tq_test::error_list_text(c);
  // A set that fails after taking the grammar, sets and an add whose
  // grammar cannot be opened, a copy, and emptied patterns.
  EXPECT_EQ(tq_identification_defn_pattern_info_set(c, kId8, 0, "PersonName", "NAME", "XYZ", 1, "PERSON", 1, 0),
            TQ_ERR_ARGUMENT);
  EXPECT_LT(tq_identification_defn_pattern_info_set(c, kId8, 0, "NoSuchGrammar", "NAME", "BODY", 1, "PERSON", 1, 0), 0);
  EXPECT_LT(tq_identification_defn_grammar_name_set(c, kId7, 0, "NoSuchGrammar"), 0);
  EXPECT_LT(tq_identification_defn_pattern_add(c, kId8, "NoSuchGrammar", "NAME", "BODY", 1, "PERSON", 1, 0), 0);
  char grammar[1100] = "";
  EXPECT_EQ(tq_identification_defn_grammar_name_get(c, kId7, 0, grammar), 0);
  EXPECT_STREQ(grammar, "PersonName");
  int32_t copy = -1;
  EXPECT_TQ_OK(c, tq_identification_defn_copy(c, "Id8", "Id8Copy", &copy));
  EXPECT_TQ_OK(c, tq_identification_defn_patterns_delete_all(c, kId7));
  EXPECT_TQ_OK(c, tq_identification_defn_cat_regexlib_delete_all(c, copy));

  uint32_t n = 0;
  ASSERT_EQ(tq_identification_defn_count_get_by_locale(c, kEn, &n), 0);
  for (int32_t index = 0; index < static_cast<int32_t>(n); ++index)
    EXPECT_TQ_OK(c, tq_identification_defn_unload(c, index));
  for (Resource& r : resources) {
    int32_t found = -1;
    EXPECT_EQ(r.find(&found), 0) << r.name << ": given back more often than taken";
    EXPECT_EQ(found, r.mine) << r.name;
    EXPECT_EQ(r.unload(r.mine), 0) << r.name;
    EXPECT_LT(r.find(&found), 0) << r.name << ": a definition kept a reference";
  }
}

// A known identity naming no value is refused, added or set, and leaves the
// identities, their schemes and options, as they were.
TEST(IdentDefnExports, KnownIdentityNamingNoValueChangesNothing) {
  tq_test::IdentKb kb(true);
  tq_context* c = kb.ctx();
  int32_t id5 = -1;
  ASSERT_EQ(tq_identification_defn_index_get_by_name(c, "Id5", &id5), 0);
  auto known = [&] {
    char scheme[1100] = "", value[200] = "";
    uint32_t n = 0, opts = 9;
    EXPECT_EQ(tq_identification_defn_known_identity_count_get(c, id5, &n), 0);
    EXPECT_EQ(tq_identification_defn_known_identity_info_get(c, id5, 0, scheme, &opts, value), 0);
    return std::to_string(n) + " " + scheme + " " + std::to_string(opts) + " " + value;
  };
  const std::string before = known();
  ASSERT_EQ(before, "1 Titles 2 TITLE");
  EXPECT_EQ(tq_identification_defn_known_identity_add(c, id5, "Titles", 2, "NOBODY"), TQ_ERR_NAME);
  EXPECT_EQ(tq_identification_defn_known_identity_info_set(c, id5, 0, "Titles", 2, "NOBODY"), TQ_ERR_NAME);
  EXPECT_EQ(tq_identification_defn_known_identity_info_set(c, id5, 0, "Titles", 0, "NOBODY"), TQ_ERR_NAME);
  // Options the file cannot hold (an edit state no engine applies).
  EXPECT_EQ(tq_identification_defn_known_identity_add(c, id5, "Titles", 91, "TITLE"), -802);
  EXPECT_EQ(tq_identification_defn_known_identity_info_set(c, id5, 0, "Titles", 3, "TITLE"), -802);
  EXPECT_EQ(known(), before);
}

// Raising the level by an edit changes how the definition runs: at level 7
// the first pattern's parse decides a later pattern of the same grammar and
// root, at level 8 each pattern runs alone ("John Smith" then ties).
// Changes without the epilogue keep level 7 and its result.
TEST(IdentDefnExports, RaisingTheLevelChangesTheResult) {
  tq_test::IdentKb kb(true);
  tq_context* c = kb.ctx();
  auto identify = [&](const char* defn) {
    char out[1028] = "";
    EXPECT_EQ(tq_identify(c, defn, "John Smith", out), 0) << defn << tq_test::error_list_text(c);
    return std::string(out);
  };
  int32_t id7 = -1, copy = -1;
  ASSERT_EQ(tq_identification_defn_index_get_by_name(c, "Id7", &id7), 0);
  ASSERT_EQ(identify("Id7"), "TITLE");
  ASSERT_TQ_OK(c, tq_identification_defn_copy(c, "Id7", "Id7b", &copy));
  EXPECT_TQ_OK(c, tq_identification_defn_owner_set(c, id7, "me"));
  EXPECT_EQ(identify("Id7"), "TITLE");
  EXPECT_EQ(identify("Id7b"), "TITLE");
  EXPECT_TQ_OK(c, tq_identification_defn_touch(c, id7));
  EXPECT_EQ(identify("Id7"), "UNKNOWN");
  // The same vocabulary taken out and put back: only the level changed.
  EXPECT_TQ_OK(c, tq_identification_defn_vocabulary_delete_all(c, copy));
  EXPECT_TQ_OK(c, tq_identification_defn_vocabulary_add(c, copy, "PersonName", 0));
  EXPECT_EQ(identify("Id7b"), "UNKNOWN");
}

// ---- Writing and reading back ---------------------------------------------------------

// Everything the family reads of a definition, one line an item, with any
// result that is not 0.
std::string describe(tq_context* c, int32_t index) {
  std::string out;
  auto add = [&](int32_t rc, const std::string& item) {
    out += item;
    if (rc != 0) out += " rc " + std::to_string(rc);
    out += "\n";
  };
  // The call first, then the texts it filled.
#define ITEM(call, item) \
  do {                   \
    const int32_t rc_ = (call); \
    add(rc_, item);      \
  } while (0)
  auto num = [](auto v) { return " " + std::to_string(v); };
  char a[16400] = "", b[16400] = "", v[200] = "";
  uint32_t n = 0, x = 0, y = 0, z = 0;
  int32_t w = 0;
  ITEM(tq_identification_defn_version_get(c, index, &x), "level" + num(x));
  ITEM(tq_identification_defn_chopper_name_get(c, index, a), std::string("chopper ") + a);
  ITEM(tq_identification_defn_automatic_uppercasing_get(c, index, &x), "uppercasing" + num(x));
  ITEM(tq_identification_defn_vocabulary_count_get(c, index, &n), "vocabularies" + num(n));
  for (int32_t i = 0; i < static_cast<int32_t>(n); ++i) {
    ITEM(tq_identification_defn_vocabulary_info_get_by_index(c, index, i, a, &x), std::string(a) + num(x));
    ITEM(tq_identification_defn_fuzzy_vocab_lookup_params_get_by_index(c, index, i, &x, &y), "fuzzy" + num(x) + num(y));
  }
  ITEM(tq_identification_defn_normalization_regexlib_count_get(c, index, &n), "normalization" + num(n));
  for (int32_t i = 0; i < static_cast<int32_t>(n); ++i)
    ITEM(tq_identification_defn_normalization_regexlib_name_get_by_index(c, index, i, a), a);
  ITEM(tq_identification_defn_preprocessing_regexlib_count_get(c, index, &n), "preprocessing" + num(n));
  for (int32_t i = 0; i < static_cast<int32_t>(n); ++i)
    ITEM(tq_identification_defn_preprocessing_regexlib_name_get_by_index(c, index, i, a), a);
  ITEM(tq_identification_defn_default_category_count_get(c, index, &n), "default categories" + num(n));
  for (int32_t i = 0; i < static_cast<int32_t>(n); ++i)
    ITEM(tq_identification_defn_default_category_info_get(c, index, i, a, &x), a + num(x));
  ITEM(tq_identification_defn_value_count_get(c, index, &n), "values" + num(n));
  for (int32_t i = 0; i < static_cast<int32_t>(n); ++i)
    ITEM(tq_identification_defn_value_info_get(c, index, i, v, a, &x), std::string(v) + " '" + a + "'" + num(x));
  ITEM(tq_identification_defn_known_identity_count_get(c, index, &n), "known identities" + num(n));
  for (int32_t i = 0; i < static_cast<int32_t>(n); ++i)
    ITEM(tq_identification_defn_known_identity_info_get(c, index, i, a, &x, v), std::string(a) + num(x) + " " + v);
  ITEM(tq_identification_defn_pattern_count_get(c, index, &n), "patterns" + num(n));
  for (int32_t i = 0; i < static_cast<int32_t>(n); ++i) {
    char sought[200];
    ITEM(tq_identification_defn_pattern_info_get(c, index, i, b, sought, &x, v, &w, &y),
        std::string(b) + " " + sought + num(x) + " " + v + num(w) + num(y));
    ITEM(tq_identification_defn_grammar_name_get(c, index, i, a), std::string("grammar ") + a);
    int32_t limit = 0, levels = 0, length = 0;
    ITEM(tq_identification_defn_opt_params_override_get(c, index, i, &z), "override" + num(z));
    ITEM(tq_identification_defn_opt_params_resource_limit_get(c, index, i, &limit), "limit" + num(limit));
    ITEM(tq_identification_defn_opt_params_scoring_levels_get(c, index, i, &levels), "levels" + num(levels));
    ITEM(tq_identification_defn_opt_params_input_length_get(c, index, i, &length), "length" + num(length));
  }
  ITEM(tq_identification_defn_cat_regexlib_count_get(c, index, &n), "categorization" + num(n));
  for (int32_t i = 0; i < static_cast<int32_t>(n); ++i)
    ITEM(tq_identification_defn_cat_regexlib_info_get(c, index, i, v, &x, a, &y),
         std::string(v) + num(x) + " " + a + num(y));
#undef ITEM
  return out;
}

// The family's write and the locale writer put a definition under the same
// include name with the level's element type, and what either wrote loads
// again with the same content.
TEST(IdentDefnExports, WriteAndReloadAtEachLevel) {
  IdentKb kb(true);
  REQUIRE_IDENT_DEFNS(kb);
  tq_context* c = kb.ctx();
  const struct {
    int32_t index;
    const char* type;
  } levels[] = {{kId5, "Dovirizered"}, {kId7, "Dovirizered V7"}, {kId8, "Dovirizered V8"}};

  // Level 8 with what only edits give it here: another value, a
  // categorization library, a pattern's own input length.
  EXPECT_TQ_OK(c, tq_identification_defn_value_add(c, kId8, "ORG", "An organisation", 0));
  EXPECT_TQ_OK(c, tq_identification_defn_cat_regexlib_add(c, kId8, "INITIAL", 60, "StripPeriods", 1));
  EXPECT_TQ_OK(c, tq_identification_defn_opt_params_input_length_set(c, kId8, 0, 0));  // "Short"

  tq_xmldoc* en = nullptr;
  ASSERT_EQ(tq_locale_file_xml_create(c, &en), 0);
  EXPECT_EQ(tq_xml_setprop(c, en, "Parent Locale", "l1.loc"), 0);
  ASSERT_TQ_OK(c, tq_datatype_write(c, en, 0));  // "Name", which the definitions read
  for (const auto& level : levels) ASSERT_TQ_OK(c, tq_identification_defn_write(c, level.index, en));
  const std::string written = plain_text(c, en, kb.dir());
  for (const auto& level : levels) {
    const std::regex element("<include name=\"Dovirizered\">\\s*<file type=\"" + std::string(level.type) + "\"");
    EXPECT_TRUE(std::regex_search(written, element)) << level.type;
  }

  ASSERT_TQ_OK(c, tq_locale_write(c, kEn, kb.lock()));
  tq_xmldoc* saved = nullptr;
  ASSERT_EQ(tq_xml_read(c, (kb.dir() / "locale" / "en.loc").c_str(), 1, &saved), 0);
  const std::string by_locale = plain_text(c, saved, kb.dir());
  for (const auto& level : levels) {
    const std::regex element("<include name=\"Dovirizered\">\\s*<file type=\"" + std::string(level.type) + "\"");
    EXPECT_TRUE(std::regex_search(by_locale, element)) << level.type;
  }

  for (tq_xmldoc* doc : {en, saved}) {
    IdentKb again(false, doc);
    tq_context* r = again.ctx();
    for (const auto& level : levels) {
      EXPECT_EQ(name_of(r, level.index), name_of(c, level.index));
      uint32_t valid = 0;
      EXPECT_EQ(tq_identification_defn_valid_get(r, level.index, &valid), 0);
      EXPECT_EQ(valid, 1u) << level.type << tq_test::error_list_text(r);
      EXPECT_EQ(describe(r, level.index), describe(c, level.index)) << level.type;
    }
  }
  tq_xml_free(c, en);
  tq_xml_free(c, saved);
}

// ---- The sample knowledge base ------------------------------------------------------------

// Its definition "Name" reads whole with the rest of the locale.
TEST(IdentDefnExports, SampleKbDefinitionReads) {
  Context ctx(TQ_SAMPLE_KB);
  const int32_t rc = tq_zel_locale_load(ctx, 29840, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_IDENT_DEFNS);
  uint32_t n = 0;
  if (tq_identification_defn_count_get(ctx, &n) != 0) GTEST_SKIP() << "identification definitions are not built";
  ASSERT_EQ(rc, 0) << tq_test::error_list_text(ctx);
  int32_t index = -1;
  ASSERT_EQ(tq_identification_defn_index_get_by_name(ctx, "Name", &index), 0);
  uint32_t valid = 0;
  EXPECT_EQ(tq_identification_defn_valid_get(ctx, index, &valid), 0);
  EXPECT_EQ(valid, 1u) << tq_test::error_list_text(ctx);
}

}  // namespace

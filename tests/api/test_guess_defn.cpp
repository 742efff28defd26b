// Locale guess definitions through their exports: both document forms read
// (and the definitions that read with problems), the level that changes
// raise, the refusals that leave a definition as it was, copies, and a
// write that loads again.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/built_kb.h"
#include "support/tq_test.h"

namespace {

using tq_test::Context;

constexpr int32_t kEn = 29000;
constexpr uint32_t kMask = TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS | TQ_LOAD_GUESS_DEFNS;

// tests/kb/guess with the personal-name grammar, regex libraries and
// vocabulary of tests/kb/parse and a training scheme of tests/kb/lang.
class GuessKb : public tq_test::BuiltKb {
 public:
  explicit GuessKb(bool edit_mode = false, uint32_t options = 0) {
    write_sources({{"parse/grammar/PersonName", "grammar/PersonName"},
                   {"parse/regexlib/StripPeriods", "regexlib/StripPeriods"},
                   {"parse/regexlib/Initials", "regexlib/Initials"},
                   {"lang/scheme/EN3", "scheme/EN3.sch"},
                   {"guess/locale/en.loc", "locale/en.loc"},
                   {"guess/locale/l1.loc", "locale/l1.loc"}});
    compile_vocab("parse/vocab/PersonName", "PersonName");
    open(kEn, kMask, edit_mode, options);
  }
};

int32_t index_of(tq_context* ctx, const char* name) {
  int32_t index = -1;
  EXPECT_EQ(tq_guess_defn_index_get_by_name(ctx, name, &index), 0) << name;
  return index;
}

uint32_t version(tq_context* ctx, int32_t index) {
  uint32_t v = 99;
  EXPECT_EQ(tq_guess_defn_version_get(ctx, index, &v), 0);
  return v;
}

uint32_t valid(tq_context* ctx, const char* name) {
  uint32_t v = 99;
  EXPECT_EQ(tq_guess_defn_valid_get(ctx, index_of(ctx, name), &v), 0) << name;
  return v;
}

// A pattern as "ROOT|SOUGHT|grammar|mode|likelihood|stop|override levels limit length".
std::string pattern(tq_context* ctx, int32_t index, uint32_t j) {
  char root[4096], sought[4096], grammar[4096];
  uint32_t mode = 9, like = 9, stop = 9, over = 9, levels = 0, limit = 0, length = 9;
  const int32_t rc = tq_guess_defn_pattern_info_get(ctx, index, j, root, sought, &mode, &like, &stop);
  if (rc != 0) return "rc " + std::to_string(rc);
  EXPECT_EQ(tq_guess_defn_grammar_name_get(ctx, index, j, grammar), 0);
  EXPECT_EQ(tq_guess_defn_opt_params_override_get(ctx, index, j, &over), 0);
  EXPECT_EQ(tq_guess_defn_opt_params_scoring_levels_get(ctx, index, j, &levels), 0);
  EXPECT_EQ(tq_guess_defn_opt_params_resource_limit_get(ctx, index, j, &limit), 0);
  EXPECT_EQ(tq_guess_defn_opt_params_input_length_get(ctx, index, j, &length), 0);
  std::ostringstream s;
  s << root << '|' << sought << '|' << grammar << '|' << mode << '|' << like << '|' << stop << '|' << over << ' '
    << levels << ' ' << limit << ' ' << length;
  return s.str();
}

std::vector<std::string> patterns(tq_context* ctx, int32_t index) {
  uint32_t n = 0;
  EXPECT_EQ(tq_guess_defn_pattern_count_get(ctx, index, &n), 0);
  std::vector<std::string> all;
  for (uint32_t j = 0; j < n; ++j) all.push_back(pattern(ctx, index, j));
  return all;
}

// Known pattern regex libraries as "NAME:likelihood" entries.
std::vector<std::string> known_regexlibs(tq_context* ctx, int32_t index) {
  uint32_t n = 0;
  EXPECT_EQ(tq_guess_defn_known_ptrn_rgx_count_get(ctx, index, &n), 0);
  std::vector<std::string> all;
  for (uint32_t j = 0; j < n; ++j) {
    char name[4096];
    uint32_t like = 9;
    EXPECT_EQ(tq_guess_defn_known_ptrn_rgx_info_get(ctx, index, j, name, &like), 0);
    all.push_back(std::string(name) + ":" + std::to_string(like));
  }
  return all;
}

uint32_t count_of(int32_t (*get)(tq_context*, int32_t, uint32_t*), tq_context* ctx, int32_t index) {
  uint32_t n = 99;
  EXPECT_EQ(get(ctx, index, &n), 0);
  return n;
}

using Strings = std::vector<std::string>;

// What reading makes of each definition of the fixture.
TEST(GuessDefnExports, BothFormsRead) {
  GuessKb kb;
  tq_context* ctx = kb.ctx();
  EXPECT_EQ(kb.load_rc(), 104) << "three definitions read with problems";
  uint32_t flag = 9;

  // The older form: both flags default to "Yes", the known-word vocabulary
  // joins the vocabularies, the regex library reads "Medium", and one
  // default pattern counts every word with a category.
  const int32_t text = index_of(ctx, "Text");
  EXPECT_EQ(version(ctx, text), 0u);
  EXPECT_EQ(tq_guess_defn_word_analysis_enabled_get(ctx, text, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_guess_defn_force_guess_choice_get(ctx, text, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(patterns(ctx, text), (Strings{"|||0|3|0|0 6 2800 0"}));
  EXPECT_EQ(known_regexlibs(ctx, text), (Strings{"Initials:2"}));
  EXPECT_EQ(count_of(tq_guess_defn_known_word_vocab_count_get, ctx, text), 1u);
  EXPECT_EQ(count_of(tq_guess_defn_parse_vocab_count_get, ctx, text), 1u);
  char name[4096];
  EXPECT_EQ(tq_guess_defn_norm_rgx_name_get(ctx, text, name), 0);
  EXPECT_STREQ(name, "StripPeriods");
  int32_t lang = 9;
  EXPECT_EQ(tq_guess_defn_lang_defn_index_get(ctx, text, &lang), 0);
  EXPECT_EQ(lang, -1);

  // The V8 form: flags, language definition, likelihoods and patterns as
  // written; category names uppercased as the grammar's are.
  const int32_t full = index_of(ctx, "Name");
  EXPECT_EQ(version(ctx, full), 8u);
  EXPECT_EQ(tq_guess_defn_word_analysis_enabled_get(ctx, full, &flag), 0);
  EXPECT_EQ(flag, 0u);
  EXPECT_EQ(tq_guess_defn_force_guess_choice_get(ctx, full, &flag), 0);
  EXPECT_EQ(flag, 0u);
  EXPECT_EQ(tq_guess_defn_lang_defn_index_get(ctx, full, &lang), 0);
  int32_t en_lang = -1;
  EXPECT_EQ(tq_lang_defn_index_get_by_name(ctx, "EN Lang", &en_lang), 0);
  EXPECT_EQ(lang, en_lang);
  EXPECT_EQ(known_regexlibs(ctx, full), (Strings{"Initials:1", "StripPeriods:5"}));
  EXPECT_EQ(patterns(ctx, full),
            (Strings{"NAME|GIVEN|PersonName|1|1|1|1 7 5000 1", "GIVEN|||0|4|0|0 6 2800 0"}));

  // Without a "Datatype" the name decides it; without "Patterns" there are
  // none, and word analysis keeps its default.
  const int32_t postal = index_of(ctx, "Postal Code");
  int32_t dt = -1, expected_dt = -2;
  EXPECT_EQ(tq_guess_defn_datatype_index_get(ctx, postal, &dt), 0);
  EXPECT_EQ(tq_datatype_index_get_by_name(ctx, "City - State/Province - Postal Code", &expected_dt), 0);
  EXPECT_EQ(dt, expected_dt);
  EXPECT_EQ(valid(ctx, "Postal Code"), 1u);
  EXPECT_EQ(patterns(ctx, postal), Strings{});
  EXPECT_EQ(tq_guess_defn_word_analysis_enabled_get(ctx, postal, &flag), 0);
  EXPECT_EQ(flag, 1u);

  // "Guessorithm -- Vertical" is the newer form: its known-word vocabulary
  // is read but not moved, and it gets no default pattern.
  const int32_t vertical = index_of(ctx, "Vertical");
  EXPECT_EQ(version(ctx, vertical), 8u);
  EXPECT_EQ(count_of(tq_guess_defn_known_word_vocab_count_get, ctx, vertical), 1u);
  EXPECT_EQ(count_of(tq_guess_defn_parse_vocab_count_get, ctx, vertical), 0u);
  EXPECT_EQ(count_of(tq_guess_defn_pattern_count_get, ctx, vertical), 0u);

  // Likelihood names compare exactly; a name without a datatype of its own;
  // a language definition the locale lacks.
  for (const char* bad : {"Bad Likelihood", "Foo", "Bad Lang"}) EXPECT_EQ(valid(ctx, bad), 0u) << bad;
  for (const char* good : {"Text", "Name", "Vertical", "Bad Sought"}) EXPECT_EQ(valid(ctx, good), 1u) << good;
  EXPECT_EQ(count_of(tq_guess_defn_known_ptrn_rgx_count_get, ctx, index_of(ctx, "Bad Likelihood")), 0u);

  uint32_t imp = 0;
  EXPECT_EQ(tq_guess_defn_implemented_for_locale(ctx, 1, 2, &imp), 0);
  EXPECT_EQ(imp, 1u);
}

// Preparing on reading (option bit 22) finds a sought category that the
// grammar lacks: that definition is not valid, the others are.
TEST(GuessDefnExports, PreparedOnReading) {
  GuessKb kb(false, TQ_OPT_PREPARE_ON_READ);
  tq_context* ctx = kb.ctx();
  EXPECT_EQ(valid(ctx, "Bad Sought"), 0u);
  for (const char* good : {"Text", "Name", "Postal Code"}) EXPECT_EQ(valid(ctx, good), 1u) << good;
}

TEST(GuessDefnExports, ChangesNeedEditMode) {
  Context ctx;
  int32_t out = 0;
  const struct {
    const char* name;
    int32_t rc;
  } calls[] = {
      {"name_set", tq_guess_defn_name_set(ctx, 0, "X")},
      {"touch", tq_guess_defn_touch(ctx, 0)},
      {"word_analysis_enabled_set", tq_guess_defn_word_analysis_enabled_set(ctx, 0, 1)},
      {"force_guess_choice_set", tq_guess_defn_force_guess_choice_set(ctx, 0, 1)},
      {"lang_defn_index_set", tq_guess_defn_lang_defn_index_set(ctx, 0, -1)},
      {"known_word_vocab_add", tq_guess_defn_known_word_vocab_add(ctx, 0, "V")},
      {"known_ptrn_rgx_add", tq_guess_defn_known_ptrn_rgx_add(ctx, 0, 2, "R")},
      {"cat_regexlib_add", tq_guess_defn_cat_regexlib_add(ctx, 0, "C", 50, "R", 0)},
      {"pattern_add", tq_guess_defn_pattern_add(ctx, 0, "", "A", "", 0, 3, 0)},
      {"patterns_delete_all", tq_guess_defn_patterns_delete_all(ctx, 0)},
      {"grammar_name_set", tq_guess_defn_grammar_name_set(ctx, 0, 0, "G")},
      {"opt_params_resource_limit_set", tq_guess_defn_opt_params_resource_limit_set(ctx, 0, 0, 1)},
      {"chopper_name_set", tq_guess_defn_chopper_name_set(ctx, 0, "C")},
      {"norm_rgx_name_set", tq_guess_defn_norm_rgx_name_set(ctx, 0, "R")},
      {"parse_vocab_add", tq_guess_defn_parse_vocab_add(ctx, 0, "V", 0)},
      {"default_category_add", tq_guess_defn_default_category_add(ctx, 0, &out)},
      {"add", tq_guess_defn_add(ctx, "X", &out)},
      {"copy", tq_guess_defn_copy(ctx, "X", "Y", &out)},
  };
  for (const auto& c : calls) EXPECT_EQ(c.rc, -501) << c.name;
}

// Which changes raise the older form to level 8, and what a refused change
// leaves: nothing of it.
TEST(GuessDefnExports, LevelsAndRefusals) {
  GuessKb kb(true);
  tq_context* ctx = kb.ctx();
  const int32_t text = index_of(ctx, "Text");
  char name[4096];
  int32_t old_copy = -1;
  ASSERT_EQ(tq_guess_defn_copy(ctx, "Text", "Old Copy", &old_copy), 0);
  EXPECT_EQ(version(ctx, old_copy), 0u);

  // Flags are kept as the file keeps them, yes or no.
  uint32_t flag = 0;
  EXPECT_EQ(tq_guess_defn_force_guess_choice_set(ctx, text, 2147483647u), 0);
  EXPECT_EQ(tq_guess_defn_force_guess_choice_get(ctx, text, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_guess_defn_force_guess_choice_set(ctx, text, 0), 0);
  EXPECT_EQ(tq_guess_defn_known_word_vocab_name_set(ctx, text, 0, "PersonName"), 0);
  EXPECT_EQ(tq_guess_defn_known_word_vocab_name_set(ctx, text, 1, "PersonName"), -800);
  EXPECT_EQ(version(ctx, text), 0u);

  // A name that cannot be opened leaves the old resource in place.
  EXPECT_LT(tq_guess_defn_known_word_vocab_name_set(ctx, text, 0, "NoSuchVocab"), 0);
  EXPECT_EQ(tq_guess_defn_known_word_vocab_name_get(ctx, text, 0, name), 0);
  EXPECT_STRNE(name, "");
  EXPECT_LT(tq_guess_defn_norm_rgx_name_set(ctx, text, "NoSuchLib"), 0);
  EXPECT_EQ(tq_guess_defn_norm_rgx_name_get(ctx, text, name), 0);
  EXPECT_STREQ(name, "StripPeriods");
  EXPECT_LT(tq_guess_defn_known_ptrn_rgx_info_set(ctx, text, 0, 1, "NoSuchLib"), 0);
  EXPECT_EQ(known_regexlibs(ctx, text), (Strings{"Initials:2"}));
  EXPECT_EQ(tq_guess_defn_known_ptrn_rgx_info_set(ctx, text, 0, 6, "Initials"), -802);
  EXPECT_EQ(tq_guess_defn_known_ptrn_rgx_add(ctx, text, 6, "Initials"), -802);

  // Patterns: a mode or likelihood off the tables, or a category the
  // grammar lacks, appends nothing.
  EXPECT_EQ(tq_guess_defn_pattern_add(ctx, text, "PersonName", "NAME", "GIVEN", 2, 3, 0), -802);
  EXPECT_EQ(tq_guess_defn_pattern_add(ctx, text, "PersonName", "NAME", "GIVEN", 1, 7, 0), -802);
  EXPECT_EQ(tq_guess_defn_pattern_add(ctx, text, "PersonName", "NAME", "NOSUCH", 1, 3, 0), -802);
  EXPECT_LT(tq_guess_defn_pattern_add(ctx, text, "NoSuchGrammar", "NAME", "GIVEN", 1, 3, 0), 0);
  EXPECT_EQ(tq_guess_defn_pattern_info_set(ctx, text, 0, "PersonName", "NAME", "NOSUCH", 1, 3, 0), -802);
  EXPECT_EQ(tq_guess_defn_lang_defn_index_set(ctx, text, 7), -800);
  EXPECT_EQ(patterns(ctx, text), (Strings{"|||0|3|0|0 6 2800 0"}));
  EXPECT_EQ(version(ctx, text), 0u);

  EXPECT_EQ(tq_guess_defn_pattern_add(ctx, text, "PersonName", "name", "family", 1, 2, 1), 0);
  EXPECT_EQ(version(ctx, text), 8u);
  EXPECT_EQ(patterns(ctx, text), (Strings{"|||0|3|0|0 6 2800 0", "NAME|FAMILY|PersonName|1|2|1|0 6 2800 0"}));
  EXPECT_EQ(pattern(ctx, text, 2), "rc -800");

  // A parse option switches the pattern's override on with the context's
  // defaults (6 levels), then takes its own value.
  const int32_t postal = index_of(ctx, "Postal Code");
  EXPECT_EQ(tq_guess_defn_opt_params_resource_limit_set(ctx, text, 0, 5000), 0);
  EXPECT_EQ(pattern(ctx, text, 0), "|||0|3|0|1 6 5000 0");
  EXPECT_EQ(tq_guess_defn_opt_params_scoring_levels_set(ctx, text, 0, 9), 0);
  EXPECT_EQ(pattern(ctx, text, 0), "|||0|3|0|1 9 5000 0");
  EXPECT_EQ(tq_guess_defn_opt_params_resource_limit_set(ctx, postal, 0, 1), -800);

  // Known pattern regex libraries: deleting the middle of three.
  for (const char* lib : {"StripPeriods", "Initials"}) EXPECT_EQ(tq_guess_defn_known_ptrn_rgx_add(ctx, text, 4, lib), 0);
  EXPECT_EQ(tq_guess_defn_known_ptrn_rgx_delete(ctx, text, 1), 0);
  EXPECT_EQ(known_regexlibs(ctx, text), (Strings{"Initials:2", "Initials:4"}));
  EXPECT_EQ(tq_guess_defn_known_ptrn_rgx_delete(ctx, text, 2), -800);

  // Categorization regex libraries.
  EXPECT_EQ(tq_guess_defn_cat_regexlib_add(ctx, postal, "init", 60, "Initials", 1), 0);
  EXPECT_EQ(tq_guess_defn_cat_regexlib_add(ctx, postal, "init", 95, "Initials", 1), -802);
  uint32_t like = 0, stop = 0;
  char lib[16384];
  EXPECT_EQ(tq_guess_defn_cat_regexlib_info_get(ctx, postal, 0, name, &like, lib, &stop), 0);
  EXPECT_EQ(std::string(name) + " " + lib + " " + std::to_string(like) + " " + std::to_string(stop),
            "INIT Initials 60 1");
  EXPECT_EQ(count_of(tq_guess_defn_cat_regexlib_count_get, ctx, postal), 1u);

  // The grammar of a pattern without one reads empty.
  EXPECT_EQ(tq_guess_defn_grammar_name_get(ctx, text, 0, name), 0);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(tq_guess_defn_grammar_name_get(ctx, text, 5, name), -800);

  // Touch, and a new definition, are the newer form.
  const int32_t vertical = index_of(ctx, "Vertical");
  EXPECT_EQ(tq_guess_defn_touch(ctx, vertical), 0);
  EXPECT_EQ(version(ctx, vertical), 8u);
  EXPECT_EQ(tq_guess_defn_word_analysis_enabled_set(ctx, old_copy, 2147483647u), 0);
  EXPECT_EQ(tq_guess_defn_word_analysis_enabled_get(ctx, old_copy, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_guess_defn_word_analysis_enabled_set(ctx, old_copy, 0), 0);
  EXPECT_EQ(version(ctx, old_copy), 8u);
  int32_t added = -1;
  ASSERT_EQ(tq_guess_defn_add(ctx, "Fresh", &added), 0);
  EXPECT_EQ(version(ctx, added), 8u);
}

// Copies keep the level and the lists; a write loads again as it was.
TEST(GuessDefnExports, CopiedWrittenAndLoadedAgain) {
  GuessKb kb(true);
  {
    tq_context* ctx = kb.ctx();
    int32_t copy = -1;
    ASSERT_EQ(tq_guess_defn_copy(ctx, "Postal Code", "Postal Copy", &copy), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(version(ctx, copy), 8u);
    ASSERT_EQ(tq_guess_defn_copy(ctx, "Name", "Name Copy", &copy), 0);
    EXPECT_EQ(patterns(ctx, copy), patterns(ctx, index_of(ctx, "Name")));
    EXPECT_EQ(known_regexlibs(ctx, copy), (Strings{"Initials:1", "StripPeriods:5"}));
    const int32_t text = index_of(ctx, "Text");
    EXPECT_EQ(tq_guess_defn_cat_regexlib_add(ctx, text, "INIT", 40, "Initials", 0), 0);
    EXPECT_EQ(version(ctx, text), 8u);
    ASSERT_EQ(tq_guess_defn_unload(ctx, index_of(ctx, "Foo")), 0);
    ASSERT_EQ(tq_locale_write(ctx, kEn, kb.lock()), 0) << tq_test::error_list_text(ctx);
  }
  Context ctx(kb.dir().c_str());
  EXPECT_GE(tq_zel_locale_load(ctx, kEn, kMask), 0) << tq_test::error_list_text(ctx);
  const int32_t full = index_of(ctx, "Name Copy");
  EXPECT_EQ(version(ctx, full), 8u);
  EXPECT_EQ(patterns(ctx, full),
            (Strings{"NAME|GIVEN|PersonName|1|1|1|1 7 5000 1", "GIVEN|||0|4|0|0 6 2800 0"}));
  EXPECT_EQ(known_regexlibs(ctx, full), (Strings{"Initials:1", "StripPeriods:5"}));
  int32_t lang = -1, en_lang = -2;
  EXPECT_EQ(tq_guess_defn_lang_defn_index_get(ctx, full, &lang), 0);
  EXPECT_EQ(tq_lang_defn_index_get_by_name(ctx, "EN Lang", &en_lang), 0);
  EXPECT_EQ(lang, en_lang);
  // The older form written as V8: its regex library as a "Medium" row, its
  // known-word vocabulary kept as it was in memory, and among the
  // vocabularies where the older form's read put it.
  const int32_t text = index_of(ctx, "Text");
  EXPECT_EQ(version(ctx, text), 8u);
  EXPECT_EQ(known_regexlibs(ctx, text), (Strings{"Initials:2"}));
  EXPECT_EQ(count_of(tq_guess_defn_known_word_vocab_count_get, ctx, text), 1u);
  EXPECT_EQ(count_of(tq_guess_defn_parse_vocab_count_get, ctx, text), 1u);
  EXPECT_EQ(count_of(tq_guess_defn_cat_regexlib_count_get, ctx, text), 1u);
  EXPECT_EQ(patterns(ctx, text), (Strings{"|||0|3|0|0 6 2800 0"}));
  EXPECT_EQ(valid(ctx, "Postal Copy"), 1u);
}

}  // namespace

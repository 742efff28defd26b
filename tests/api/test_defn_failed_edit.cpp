// Edits of definitions whose results in memory must be what a caller gets
// from the same edits written and read back, on an edit-mode copy of the
// sample knowledge base with ENUSA current:
// - an edit that fails leaves the definition as it was. Every list add that
//   names a resource, given a name no resource has, on a definition that has
//   run once (so it is prepared): the add returns its error, the definition
//   written out reads the same as before, and a run after it gives what the
//   run before gave. Under the sanitizer build a list moved by the failed
//   add would show as a read of freed memory in the run after. The same for
//   setters, entry sets and adds that name a file of another kind, or no
//   file where one is needed;
// - a definition of ENUSA's own that overrides EN's, unloaded, uncovers
//   EN's at once, as the written locale read again does.
#include <cstddef>
#include <string>
#include <vector>

#include "support/sample_locales.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;

constexpr int32_t kEn = tq_test::kSampleEn;
constexpr int32_t kEnusa = tq_test::kSampleEnusa;
constexpr uint32_t kEverything = tq_test::kEveryPart;
constexpr const char* kNone = "no_such_resource";
constexpr const char* kPerson = "DR BILL O'BRIEN-MCDONALD JUNIOR";

// What a run gives, or its failure.
template <typename Run>
std::string run_text(int32_t rc, Run out) {
  return rc < 0 ? "rc " + std::to_string(rc) : std::to_string(rc) + " " + out();
}

std::string parsed(tq_context* ctx) {
  std::vector<tq_parse_token> tokens(TQ_PARSE_TOKENS);
  uint32_t n = TQ_PARSE_TOKENS;
  const int32_t rc = tq_parse(ctx, "Name", kPerson, tokens.data(), &n);
  return run_text(rc, [&] {
    std::string s;
    for (uint32_t i = 0; i < n; ++i) s += std::to_string(tokens[i].index) + "=" + tokens[i].value + "|";
    return s;
  });
}

std::string extracted(tq_context* ctx) {
  std::vector<tq_extract_token> tokens(TQ_EXTRACT_TOKENS);
  uint32_t n = TQ_EXTRACT_TOKENS;
  const int32_t rc = tq_extract(ctx, "Contact", "call John Smith of Acme Inc", tokens.data(), &n);
  return run_text(rc, [&] {
    std::string s;
    for (uint32_t i = 0; i < n; ++i) s += std::to_string(tokens[i].index) + "=" + tokens[i].value + "|";
    return s;
  });
}

std::string identified(tq_context* ctx) {
  char out[1100] = "";
  const int32_t rc = tq_identify(ctx, "Name", kPerson, out);
  return run_text(rc, [&] { return std::string(out); });
}

std::string standardized(tq_context* ctx) {
  char out[1100] = "";
  const int32_t rc = tq_standardize(ctx, "Name", kPerson, out);
  return run_text(rc, [&] { return std::string(out); });
}

std::string matched(tq_context* ctx) {
  char out[4200] = "";
  const int32_t rc = tq_match(ctx, "Name", 85, kPerson, out);
  return run_text(rc, [&] { return std::string(out); });
}

std::string gendered(tq_context* ctx) {
  char out[64] = "";
  const int32_t rc = tq_gender_determine(ctx, "Name", kPerson, out);
  return run_text(rc, [&] { return std::string(out); });
}

std::string language_scored(tq_context* ctx) {
  int32_t score = 0;
  const int32_t rc = tq_language_guess_score(ctx, "English", "the weather is fine and the house is warm", &score);
  return run_text(rc, [&] { return std::to_string(score); });
}

std::string locale_scored(tq_context* ctx) {
  uint32_t score = 0;
  const int32_t rc = tq_guess_locale_score(ctx, "Language", "the weather is fine and the house is warm", kEn, &score);
  return run_text(rc, [&] { return std::to_string(score); });
}

std::string propercased(tq_context* ctx) {
  char out[1100] = "";
  const int32_t rc = tq_propercase(ctx, "Name", "dr bill o'brien-mcdonald junior", out, 1000);
  return run_text(rc, [&] { return std::string(out); });
}

std::string pattern_analyzed(tq_context* ctx) {
  char out[1100] = "";
  const int32_t rc = tq_pattern_analyze(ctx, "Pattern", "Flat 4B, 12 High St", out);
  return run_text(rc, [&] { return std::string(out); });
}

using find_fn = int32_t (*)(tq_context*, const char*, int32_t*);
using write_fn = int32_t (*)(tq_context*, tq_xmldoc*, int32_t);
using copy_fn = int32_t (*)(tq_context*, const char*, const char*, int32_t*);
using unload_fn = int32_t (*)(tq_context*, int32_t);

// A kind: its definition of the sample, how it is written into a document,
// the run that uses it, its copy and its unload.
struct Kind {
  const char* row;
  find_fn find;
  const char* name;
  write_fn write;
  std::string (*run)(tq_context*);
  copy_fn copy;
  unload_fn unload;
};

const Kind kParse{"parse", tq_parse_defn_index_get_by_name, "Name", tq_parse_defn_write, parsed, tq_parse_defn_copy,
                  tq_parse_defn_unload};
const Kind kIdent{"identification",
                  tq_identification_defn_index_get_by_name,
                  "Name",
                  [](tq_context* c, tq_xmldoc* x, int32_t i) { return tq_identification_defn_write(c, i, x); },
                  identified,
                  tq_identification_defn_copy,
                  tq_identification_defn_unload};
const Kind kStdzn{"stdzn",      tq_stdzn_defn_index_get_by_name, "Name", tq_stdzn_defn_write, standardized,
                  tq_stdzn_defn_copy, tq_stdzn_defn_unload};
const Kind kExtract{"extraction",       tq_extraction_defn_index_get_by_name, "Contact", tq_extraction_defn_write,
                    extracted,          tq_extraction_defn_copy,              tq_extraction_defn_unload};
const Kind kMatch{"match", tq_match_defn_index_get_by_name, "Name", tq_match_defn_write, matched, tq_match_defn_copy,
                  tq_match_defn_unload};
const Kind kGender{"gender",           tq_gender_defn_index_get_by_name, "Name", tq_gender_defn_write, gendered,
                   tq_gender_defn_copy, tq_gender_defn_unload};
const Kind kLang{"language",        tq_lang_defn_index_get_by_name, "English", tq_lang_defn_write, language_scored,
                 tq_lang_defn_copy, tq_lang_defn_unload};
const Kind kGuess{"locale guess",    tq_guess_defn_index_get_by_name, "Language", tq_guess_defn_write, locale_scored,
                  tq_guess_defn_copy, tq_guess_defn_unload};
const Kind kCase{"case",           tq_case_defn_index_get_by_name, "Name", tq_case_defn_write, propercased,
                 tq_case_defn_copy, tq_case_defn_unload};
const Kind kPattern{"pattern",         tq_patrn_defn_index_get_by_name, "Pattern", tq_patrn_defn_write,
                    pattern_analyzed, tq_patrn_defn_copy,              tq_patrn_defn_unload};

struct AddRow {
  const char* row;
  const Kind* kind;
  int32_t (*add)(tq_context*, int32_t index);
  int32_t rc;  // what the add gives
};

// Token 1 is "Given Name" of the parse, standardization and gender
// definitions; token 0 of the match definition is "Family Name".
const AddRow kAddRows[] = {
    {"parse preprocessing", &kParse,
     [](tq_context* c, int32_t i) { return tq_parse_defn_preprocessing_regexlib_add(c, i, kNone); }, -400},
    {"parse normalization", &kParse,
     [](tq_context* c, int32_t i) { return tq_parse_defn_normalization_regexlib_add(c, i, kNone); }, -400},
    {"parse vocabulary", &kParse, [](tq_context* c, int32_t i) { return tq_parse_defn_vocabulary_add(c, i, kNone, 0); },
     -400},
    {"parse categorization", &kParse,
     [](tq_context* c, int32_t i) { return tq_parse_defn_cat_regexlib_add(c, i, kNone, 50, "GIVEN", 0); }, -400},
    {"identification normalization", &kIdent,
     [](tq_context* c, int32_t i) { return tq_identification_defn_normalization_regexlib_add(c, i, kNone); }, -400},
    {"identification preprocessing", &kIdent,
     [](tq_context* c, int32_t i) { return tq_identification_defn_preprocessing_regexlib_add(c, i, kNone); }, -400},
    {"identification vocabulary", &kIdent,
     [](tq_context* c, int32_t i) { return tq_identification_defn_vocabulary_add(c, i, kNone, 0); }, -400},
    {"identification known identity", &kIdent,
     [](tq_context* c, int32_t i) { return tq_identification_defn_known_identity_add(c, i, kNone, 0, "PERSON"); },
     -400},
    {"identification pattern", &kIdent,
     [](tq_context* c, int32_t i) {
       return tq_identification_defn_pattern_add(c, i, kNone, "NAME", "NAME", 0, "PERSON", 1, 0);
     },
     -400},
    {"identification categorization", &kIdent,
     [](tq_context* c, int32_t i) { return tq_identification_defn_cat_regexlib_add(c, i, "GIVEN", 50, kNone, 0); },
     -400},
    {"stdzn token regexlib", &kStdzn,
     [](tq_context* c, int32_t i) { return tq_stdzn_defn_token_regexlib_add(c, i, 1, kNone); }, -400},
    {"stdzn token scheme", &kStdzn,
     [](tq_context* c, int32_t i) { return tq_stdzn_defn_token_scheme_add(c, i, 1, kNone, 0); }, -400},
    {"stdzn token transformation", &kStdzn,
     [](tq_context* c, int32_t i) { return tq_stdzn_defn_token_trans_regexlib_add(c, i, 1, kNone); }, -400},
    {"extraction preprocessing", &kExtract,
     [](tq_context* c, int32_t i) { return tq_extraction_defn_preprocessing_regexlib_add(c, i, kNone); }, -400},
    {"extraction normalization", &kExtract,
     [](tq_context* c, int32_t i) { return tq_extraction_defn_normalization_regexlib_add(c, i, kNone); }, -400},
    {"extraction vocabulary", &kExtract,
     [](tq_context* c, int32_t i) { return tq_extraction_defn_vocabulary_add(c, i, kNone, 0); }, -400},
    {"extraction pattern", &kExtract,
     [](tq_context* c, int32_t i) {
       uint32_t at = 0;
       return tq_extraction_defn_pattern_add(c, i, kNone, "NAME", 0, 1, 1, &at);
     },
     -400},
    {"extraction pattern of a grammar without the root", &kExtract,
     [](tq_context* c, int32_t i) {
       uint32_t at = 0;
       return tq_extraction_defn_pattern_add(c, i, "en_person", "NO_SUCH_CATEGORY", 0, 1, 1, &at);
     },
     -802},
    {"extraction sought category the grammar lacks", &kExtract,
     [](tq_context* c, int32_t i) { return tq_extraction_defn_pattern_sought_cat_add(c, i, 0, "NO_SUCH_CATEGORY", 0); },
     -802},
    {"extraction scheme", &kExtract,
     [](tq_context* c, int32_t i) { return tq_extraction_defn_scheme_add(c, i, 0, kNone, 0); }, -400},
    {"extraction categorization", &kExtract,
     [](tq_context* c, int32_t i) { return tq_extraction_defn_cat_regexlib_add(c, i, "GIVEN", 50, kNone, 0); }, -400},
    {"match scheme", &kMatch, [](tq_context* c, int32_t i) { return tq_match_defn_scheme_add(c, i, kNone, 0); }, -400},
    {"match token regexlib", &kMatch,
     [](tq_context* c, int32_t i) { return tq_match_defn_token_regexlib_add(c, i, 0, kNone, 100, 0); }, -400},
    {"match token scheme", &kMatch,
     [](tq_context* c, int32_t i) { return tq_match_defn_token_stdz_scheme_add(c, i, 0, kNone, 0, 0, 100, 0); }, -400},
    {"match token noise vocabulary", &kMatch,
     [](tq_context* c, int32_t i) { return tq_match_defn_token_noise_vocab_add(c, i, 0, kNone, 100, 0); }, -400},
    {"match token phonetics", &kMatch,
     [](tq_context* c, int32_t i) { return tq_match_defn_token_phonetx_lib_add(c, i, 0, kNone, 100, 0); }, -400},
    {"match token transformation", &kMatch,
     [](tq_context* c, int32_t i) { return tq_match_defn_token_trans_regexlib_add(c, i, 0, kNone, 100, 0); }, -400},
    {"match token categorization normalization", &kMatch,
     [](tq_context* c, int32_t i) { return tq_match_defn_token_cat_norm_regexlib_add(c, i, 0, kNone); }, -400},
    {"match token vocabulary", &kMatch,
     [](tq_context* c, int32_t i) { return tq_match_defn_token_vocabulary_add(c, i, 0, kNone, 0, 0, 80); }, -400},
    {"match token categorization", &kMatch,
     [](tq_context* c, int32_t i) { return tq_match_defn_token_cat_regexlib_add(c, i, 0, "FAMILY", 50, kNone, 0); },
     -400},
    {"gender normalization", &kGender,
     [](tq_context* c, int32_t i) { return tq_gender_defn_normalization_regexlib_add(c, i, kNone); }, -400},
    {"gender vocabulary", &kGender,
     [](tq_context* c, int32_t i) { return tq_gender_defn_vocabulary_add(c, i, kNone, 0); }, -400},
    {"gender token regexlib", &kGender,
     [](tq_context* c, int32_t i) { return tq_gender_defn_token_regexlib_add(c, i, 0, kNone, "M"); }, -400},
    {"language preprocessing", &kLang,
     [](tq_context* c, int32_t i) { return tq_lang_defn_preprocessing_regexlib_add(c, i, kNone); }, -400},
    {"language training scheme", &kLang,
     [](tq_context* c, int32_t i) { return tq_lang_defn_training_scheme_add(c, i, kNone); }, -400},
    {"language known pattern", &kLang,
     [](tq_context* c, int32_t i) { return tq_lang_defn_known_ptrn_rgx_add(c, i, 1, kNone); }, -400},
    {"locale guess normalization", &kGuess,
     [](tq_context* c, int32_t i) { return tq_guess_defn_norm_rgx_add(c, i, kNone); }, -400},
    {"locale guess parse vocabulary", &kGuess,
     [](tq_context* c, int32_t i) { return tq_guess_defn_parse_vocab_add(c, i, kNone, 0); }, -400},
    {"locale guess known-word vocabulary", &kGuess,
     [](tq_context* c, int32_t i) { return tq_guess_defn_known_word_vocab_add(c, i, kNone); }, -400},
    {"locale guess known pattern", &kGuess,
     [](tq_context* c, int32_t i) { return tq_guess_defn_known_ptrn_rgx_add(c, i, 1, kNone); }, -400},
    {"locale guess categorization", &kGuess,
     [](tq_context* c, int32_t i) { return tq_guess_defn_cat_regexlib_add(c, i, "NAME", 50, kNone, 0); }, -400},
    {"locale guess pattern", &kGuess,
     [](tq_context* c, int32_t i) { return tq_guess_defn_pattern_add(c, i, kNone, "NAME", "NAME", 0, 1, 0); }, -400},
};

// The definition as its kind writes it, in the text of a written document.
std::string written(tq_context* ctx, const tq_test::TempDir& dir, const Kind& k, int32_t index) {
  tq_xmldoc* doc = nullptr;
  if (tq_xml_create(ctx, "Snapshot", "7.0", &doc) != 0) return "no document";
  int32_t rc = k.write(ctx, doc, index);
  const auto file = dir / "snapshot.xml";
  if (rc == 0) rc = tq_xml_write(ctx, 0, file.c_str(), 8, doc);
  tq_xml_free(ctx, doc);
  return rc == 0 ? tq_test::read_file(file) : "rc " + std::to_string(rc);
}

// Each row's edit is refused with its code, and the definition written out
// and a run after it are what they were before.
template <size_t N>
void expect_refused_unchanged(const AddRow (&rows)[N]) {
  tq_test::SampleKbCopy dir;
  Context ctx(dir.path().c_str(), true);
  ASSERT_EQ(tq_zel_locale_load(ctx, kEnusa, kEverything), 0) << tq_test::error_list_text(ctx);
  for (const AddRow& r : rows) {
    SCOPED_TRACE(r.row);
    int32_t index = -1;
    ASSERT_EQ(r.kind->find(ctx, r.kind->name, &index), 0) << tq_test::error_list_text(ctx);
    const std::string before = r.kind->run(ctx);
    EXPECT_EQ(before.rfind("rc ", 0), std::string::npos) << before << tq_test::error_list_text(ctx);
    const std::string defn = written(ctx, dir, *r.kind, index);
    EXPECT_EQ(r.add(ctx, index), r.rc) << tq_test::error_list_text(ctx);
    EXPECT_EQ(written(ctx, dir, *r.kind, index), defn);
    EXPECT_EQ(r.kind->run(ctx), before);
  }
}

TEST(DefnFailedEdit, ListAddOfAMissingResourceChangesNothing) { expect_refused_unchanged(kAddRows); }

// Files of the sample that are not of the kind a row names: a regex library,
// a grammar and a chopper.
constexpr const char* kRegexlibFile = "en_comma";
constexpr const char* kGrammarFile = "en_person";
constexpr const char* kChopperFile = "en_name";

// Setters, entry sets and adds naming a file of another kind, which a run
// could not use and the next load would not read, and empty names where the
// file must name a resource. What the edit is refused with is the load's
// failure of the file read as the kind named.
const AddRow kWrongKindRows[] = {
    {"parse grammar, a regex library", &kParse,
     [](tq_context* c, int32_t i) { return tq_parse_defn_grammar_name_set(c, i, kRegexlibFile); }, -300},
    {"parse grammar, a chopper", &kParse,
     [](tq_context* c, int32_t i) { return tq_parse_defn_grammar_name_set(c, i, kChopperFile); }, -300},
    {"parse grammar, empty", &kParse, [](tq_context* c, int32_t i) { return tq_parse_defn_grammar_name_set(c, i, ""); },
     -400},
    {"parse chopper, a grammar", &kParse,
     [](tq_context* c, int32_t i) { return tq_parse_defn_chopper_name_set(c, i, kGrammarFile); }, -300},
    {"parse preprocessing, a chopper", &kParse,
     [](tq_context* c, int32_t i) { return tq_parse_defn_preprocessing_regexlib_add(c, i, kChopperFile); }, -300},
    {"parse categorization, a grammar", &kParse,
     [](tq_context* c, int32_t i) { return tq_parse_defn_cat_regexlib_add(c, i, kGrammarFile, 50, "GIVEN", 0); },
     -300},
    {"identification grammar, a regex library", &kIdent,
     [](tq_context* c, int32_t i) { return tq_identification_defn_grammar_name_set(c, i, 0, kRegexlibFile); }, -300},
    {"identification chopper, a regex library", &kIdent,
     [](tq_context* c, int32_t i) { return tq_identification_defn_chopper_name_set(c, i, kRegexlibFile); }, -300},
    {"identification normalization, a grammar", &kIdent,
     [](tq_context* c, int32_t i) {
       return tq_identification_defn_normalization_regexlib_name_set(c, i, kGrammarFile);
     },
     -300},
    {"stdzn token regexlib, a grammar", &kStdzn,
     [](tq_context* c, int32_t i) { return tq_stdzn_defn_token_regexlib_add(c, i, 1, kGrammarFile); }, -300},
    {"stdzn token transformation, a chopper", &kStdzn,
     [](tq_context* c, int32_t i) { return tq_stdzn_defn_token_trans_regexlib_add(c, i, 1, kChopperFile); }, -300},
    {"extraction grammar, a regex library", &kExtract,
     [](tq_context* c, int32_t i) { return tq_extraction_defn_grammar_name_set(c, i, 0, kRegexlibFile); }, -300},
    {"extraction pattern, a chopper", &kExtract,
     [](tq_context* c, int32_t i) {
       uint32_t at = 0;
       return tq_extraction_defn_pattern_add(c, i, kChopperFile, "NAME", 0, 1, 1, &at);
     },
     -300},
    {"match token phonetics, a regex library", &kMatch,
     [](tq_context* c, int32_t i) { return tq_match_defn_token_phonetx_lib_add(c, i, 0, kRegexlibFile, 100, 0); },
     -300},
    {"match token transformation, a grammar", &kMatch,
     [](tq_context* c, int32_t i) { return tq_match_defn_token_trans_regexlib_add(c, i, 0, kGrammarFile, 100, 0); },
     -300},
    {"gender token regexlib, a grammar", &kGender,
     [](tq_context* c, int32_t i) { return tq_gender_defn_token_regexlib_add(c, i, 0, kGrammarFile, "M"); }, -300},
    {"language known pattern, a grammar", &kLang,
     [](tq_context* c, int32_t i) { return tq_lang_defn_known_ptrn_rgx_add(c, i, 1, kGrammarFile); }, -300},
    {"locale guess chopper, a grammar", &kGuess,
     [](tq_context* c, int32_t i) { return tq_guess_defn_chopper_name_set(c, i, kGrammarFile); }, -300},
    {"locale guess pattern, a chopper", &kGuess,
     [](tq_context* c, int32_t i) { return tq_guess_defn_pattern_add(c, i, kChopperFile, "NAME", "NAME", 0, 1, 0); },
     -300},
    {"case known pattern, a grammar", &kCase,
     [](tq_context* c, int32_t i) { return tq_case_defn_known_patrn_rgx_name_set(c, i, kGrammarFile); }, -300},
    {"pattern regexlib, a grammar", &kPattern,
     [](tq_context* c, int32_t i) { return tq_patrn_defn_regexlib_name_set(c, i, kGrammarFile); }, -300},
    {"pattern regexlib, empty", &kPattern,
     [](tq_context* c, int32_t i) { return tq_patrn_defn_regexlib_name_set(c, i, ""); }, -802},
};

TEST(DefnFailedEdit, SetterNamingAFileOfAnotherKindChangesNothing) { expect_refused_unchanged(kWrongKindRows); }

int32_t write_enusa(tq_context* ctx) {
  tq_lock_handle* lock = nullptr;
  EXPECT_EQ(tq_lock_init(ctx, &lock), 0);
  int32_t rc = tq_lock_create(ctx, "enusa.loc", 7, lock, nullptr);
  if (rc == 0) rc = tq_locale_write(ctx, kEnusa, lock);
  tq_lock_free(ctx, lock);
  return rc;
}

// Every kind: a copy of EN's definition made ENUSA's own under the same
// name hides EN's; unloaded, it uncovers EN's again, which is found by name
// and runs as before, in memory (in edit mode and outside it, where the own
// one was read from the file) and in the locale written and read again.
TEST(DefnFailedEdit, UnloadedOwnDefinitionUncoversTheParents) {
  for (const Kind* k : {&kParse, &kIdent, &kStdzn, &kExtract, &kMatch, &kGender, &kLang, &kGuess, &kCase, &kPattern}) {
    SCOPED_TRACE(k->row);
    tq_test::SampleKbCopy dir;
    Context ctx(dir.path().c_str(), true);
    ASSERT_EQ(tq_zel_locale_load(ctx, kEnusa, kEverything), 0) << tq_test::error_list_text(ctx);
    int32_t parents = -1, own = -1, found = -1;
    ASSERT_EQ(k->find(ctx, k->name, &parents), 0);
    const std::string before = k->run(ctx);
    EXPECT_EQ(before.rfind("rc ", 0), std::string::npos) << before << tq_test::error_list_text(ctx);
    ASSERT_EQ(k->copy(ctx, k->name, k->name, &own), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(k->find(ctx, k->name, &found), 0);
    EXPECT_EQ(found, own);
    ASSERT_EQ(write_enusa(ctx), 0) << tq_test::error_list_text(ctx);

    {
      Context plain(dir.path().c_str());
      ASSERT_EQ(tq_zel_locale_load(plain, kEnusa, kEverything), 0) << tq_test::error_list_text(plain);
      int32_t read_own = -1, uncovered = -1;
      ASSERT_EQ(k->find(plain, k->name, &read_own), 0);
      EXPECT_EQ(k->run(plain), before);
      // Extraction definitions are unloaded in edit mode only (-501).
      const int32_t unloaded = k->unload(plain, read_own);
      EXPECT_EQ(unloaded, k == &kExtract ? -501 : 0) << tq_test::error_list_text(plain);
      EXPECT_EQ(k->find(plain, k->name, &uncovered), 0) << tq_test::error_list_text(plain);
      EXPECT_EQ(uncovered == read_own, unloaded != 0);
      EXPECT_EQ(k->run(plain), before) << tq_test::error_list_text(plain);
    }

    ASSERT_EQ(k->unload(ctx, own), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(k->find(ctx, k->name, &found), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(found, parents);
    EXPECT_EQ(k->run(ctx), before);
    ASSERT_EQ(write_enusa(ctx), 0) << tq_test::error_list_text(ctx);
    Context again(dir.path().c_str(), true);
    ASSERT_EQ(tq_zel_locale_load(again, kEnusa, kEverything), 0) << tq_test::error_list_text(again);
    EXPECT_EQ(k->find(again, k->name, &found), 0);
    EXPECT_EQ(found, parents);
    EXPECT_EQ(k->run(again), before);
  }
}

// An unloaded slot keeps its index and reads as empty, but takes no change:
// it is not written, so a change there would be lost (and a kind's
// follow-up on its gone part used to fail after the change was made).
TEST(DefnFailedEdit, UnloadedSlotTakesNoChange) {
  tq_test::SampleKbCopy dir;
  Context ctx(dir.path().c_str(), true);
  ASSERT_EQ(tq_zel_locale_load(ctx, kEnusa, kEverything), 0) << tq_test::error_list_text(ctx);
  int32_t index = -1, entry = -1;
  ASSERT_EQ(tq_identification_defn_index_get_by_name(ctx, "Name", &index), 0);
  ASSERT_EQ(tq_identification_defn_unload(ctx, index), 0);
  EXPECT_EQ(tq_identification_defn_default_category_add(ctx, index, &entry), TQ_ERR_INDEX);
  EXPECT_EQ(tq_identification_defn_owner_set(ctx, index, "someone"), TQ_ERR_INDEX);
  uint32_t count = 9;
  EXPECT_EQ(tq_identification_defn_default_category_count_get(ctx, index, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(tq_identification_defn_unload(ctx, index), 0);  // again: nothing to do, no failure
}

}  // namespace

// Language definitions as the locale loader reads them from tests/kb/lang,
// their training, binding and writing, and language scores with their info.
// The expected scores are worked out by hand from the fixture's small
// models (EN3: THE 1000, "HE " 500, AND 300; window 3, no bookends).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "guess/krldefacc.h"
#include "guess/krlginfo.h"
#include "guess/lang_kb.h"

namespace {

using namespace tq;
using lang_test::LangKb;

const lang_defn_kind_rec* part_of(defn_rec* rec) { return lang_defn_part(rec); }

TEST(LanguageDefn, FixtureReadsAndBadSettingsInvalidate) {
  LangKb kb;
  EXPECT_EQ(kb.load_rc(), TQ_WARN_LOCALE_PROBLEMS) << kb.errors();
  const lang_defn_kind_rec* en3 = part_of(kb.defn("EN3"));
  ASSERT_NE(en3, nullptr);
  EXPECT_EQ(kb.defn("EN3")->valid, 1);
  EXPECT_EQ(en3->window, 3u);
  EXPECT_EQ(en3->bias, 0u);
  EXPECT_EQ(en3->options, 0u);
  EXPECT_EQ(en3->schemes.size(), 1u);
  EXPECT_EQ(en3->trained.load(), 0u);
  EXPECT_EQ(part_of(kb.defn("Mixed"))->options, kLangBookends);
  ASSERT_EQ(part_of(kb.defn("Digits"))->known.size(), 1u);
  EXPECT_EQ(part_of(kb.defn("Digits"))->known[0].likelihood, kLangLikelihoodMedium);
  // A window nobody could set, a bias name in the wrong case and an unknown
  // likelihood leave their definitions not valid, and scoring refuses them.
  for (const char* name : {"Wide", "Lower Bias", "Bad Likelihood"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(kb.defn(name)->valid, 0);
    EXPECT_EQ(kb.score(name, "the"), TQ_ERR_DEFN_INVALID);
  }
}

TEST(LanguageDefn, TrainingTakesEntriesOfTheWindowWithCountsOfAtLeastOne) {
  LangKb kb;
  defn_rec* rec = kb.defn("Mixed");
  ASSERT_EQ(lang_defn_train_model(kb.ctx(), rec), 0) << kb.errors();
  const lang_defn_kind_rec* part = part_of(rec);
  EXPECT_EQ(part->trained.load(), 1u);
  // ABCD is skipped; ABC ("0"), XYZ ("-7") and QQQ ("many") count 1, the
  // bookended n-gram 4.
  EXPECT_EQ(part->model->total, 4u);
  EXPECT_EQ(part->model->entries.size(), 4u);
  const int32_t abc[] = {'A', 'B', 'C'};
  const int32_t start[] = {kNgramStartMarker, 'A', 'B'};
  ASSERT_NE(ngram_profile_find(part->model, abc, 3), nullptr);
  ASSERT_NE(ngram_profile_find(part->model, start, 3), nullptr);
  // Prefixes of one code point: A and Q and X have one n-gram each, as has
  // the start marker.
  EXPECT_DOUBLE_EQ(ngram_profile_find(part->model, abc, 3)->logp, std::log(2.0 / 257.0));
  EXPECT_DOUBLE_EQ(ngram_profile_find(part->model, start, 3)->logp, std::log(5.0 / 257.0));
  EXPECT_DOUBLE_EQ(part->model->score, std::log(5.0 / 257.0));
}

// Given back, each scheme leaves its name.
TEST(LanguageDefn, BindingOutsideEditModeGivesTheSchemesBack) {
  LangKb kb;
  defn_rec* rec = kb.defn("EN3");
  ASSERT_EQ(part_of(rec)->schemes.size(), 1u);
  EXPECT_TRUE(part_of(rec)->schemes[0].ref.held());
  EXPECT_EQ(kb.score("EN3", "the"), 1000);
  ASSERT_EQ(part_of(rec)->schemes.size(), 1u);
  EXPECT_FALSE(part_of(rec)->schemes[0].ref.held());
  EXPECT_EQ(part_of(rec)->schemes[0].name, "EN3");
  EXPECT_EQ(part_of(rec)->bound.load(), 1u);
  // Untrained again outside edit mode: nothing can retrain it.
  lang_defn_part(rec)->trained.store(0);
  EXPECT_EQ(kb.score("EN3", "the"), TQ_ERR_HOLD_NOT_HELD);
}

// Option bit 22 trains while reading.
TEST(LanguageDefn, TrainedWhileReadingUnderOptionBit22) {
  LangKb eager(kOptPrepareOnRead);
  EXPECT_EQ(part_of(eager.defn("EN3"))->trained.load(), 1u);
  ASSERT_EQ(part_of(eager.defn("EN3"))->schemes.size(), 1u);
  EXPECT_FALSE(part_of(eager.defn("EN3"))->schemes[0].ref.held());
}

TEST(LanguageDefn, WritesItsSettingsAndLists) {
  LangKb kb;
  defn_rec* rec = kb.defn("Digits");
  lang_defn_part(rec)->bias = 9;  // out of the table: written as "Equal"
  lang_defn_part(rec)->options = kLangBookends;
  xmldoc* target = nullptr;
  ASSERT_EQ(xmldoc_create(kb.ctx(), "Locale Settings", "9.0", &target), 0);
  ASSERT_EQ(defn_element_write(kb.ctx(), target, rec), 0) << kb.errors();
  const xmldoc* el = xmldoc_include_doc_find(target, kLangRootType);
  ASSERT_NE(el, nullptr);
  EXPECT_STREQ(xmldoc_prop_get(kb.ctx(), el, "Window Size"), "3");
  EXPECT_STREQ(xmldoc_prop_get(kb.ctx(), el, "Scoring Bias"), "Equal");
  EXPECT_STREQ(xmldoc_prop_get(kb.ctx(), el, "Case Sensitive"), "No");
  EXPECT_STREQ(xmldoc_prop_get(kb.ctx(), el, "Use Bookends"), "Yes");
  const xmldoc* schemes = xmldoc_include_doc_find(el, "Training Schemes");
  const xmldoc* known = xmldoc_include_doc_find(el, "Known Pattern Regexlibs");
  ASSERT_NE(schemes, nullptr);
  ASSERT_NE(known, nullptr);
  EXPECT_EQ(schemes->record_count, 0);
  ASSERT_EQ(known->record_count, 1);
  EXPECT_STREQ(xmldoc_record_text(known->records[0], 0), "Digits");
  EXPECT_STREQ(xmldoc_record_text(known->records[0], 1), "Medium");
  xml_free(kb.ctx(), target);
}

// ---- Scores -----------------------------------------------------------------------------------

TEST(LanguageScore, WorkedScores) {
  LangKb kb;
  ASSERT_GE(kb.load_rc(), 0) << kb.errors();
  const struct {
    const char* defn;
    const char* text;
    int32_t score;
  } cases[] = {
      // "Scheme Only": the n-gram part alone.
      {"EN3", "the", 1000},
      {"EN3", "and", 618},
      {"EN3", "the end", 356},
      {"EN3", "xyz", 0},
      {"EN3", "", 0},
      // "Equal" without regex libraries: half of it.
      {"EN3 Equal", "the end", 178},
      {"EN3 Equal", "and", 309},
      // Two schemes: THE counts 1000, but the model holds four n-grams.
      {"EN3 Twice", "the end", 359},
      {"EN3 Twice", "and", 650},
      // "Regex Only": the coverage of [0-9]+ at "Medium", "Never" clamped.
      {"Digits", "1234ABCD", 500},
      {"Digits", "", 0},
      {"Never Digits", "12345678", 0},
      // Two models, each only for its own language.
      {"EN", "the thing", 531},
      {"DE", "the thing", 0},
      {"DE", "und der", 372},
      {"EN", "und der", 0},
      // Without the Turkish locale current, "i" uppercases to a plain I.
      {"TR", "istanbul", 728},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.defn) + ": " + c.text);
    EXPECT_EQ(kb.score(c.defn, c.text), c.score) << kb.errors();
  }
}

// A model whose best value equals the value of an unknown n-gram (65
// n-grams of count 1, prefixes shared by four or five): the n-gram part
// divides 0 by 0, and counts as 0 instead of an undefined truncation.
TEST(LanguageScore, DegenerateModelScoresZero) {
  LangKb kb;
  defn_rec* rec = kb.defn("EN3");
  ASSERT_EQ(lang_defn_train_model(kb.ctx(), rec), 0);
  ngram_profile* model = lang_defn_part(rec)->model;
  ngram_profile_clear(kb.ctx(), model);
  for (int32_t i = 0; i < 65; ++i) {
    const int32_t key[] = {'A' + std::min(i / 4, 15), 'a' + i % 26, '0' + i / 26};
    ASSERT_EQ(ngram_profile_add(model, key, 3, 1), 0);
  }
  ASSERT_EQ(ngram_profile_finalize(kb.ctx(), model), 0);
  lang_defn_part(rec)->trained.store(1);
  ASSERT_EQ(model->score, std::log(0.5 / 65.0));
  EXPECT_EQ(kb.score("EN3", "xyz"), 0);
}

// The same text scored again in one context, while the current locale's
// casing rules change between the scores.
TEST(LanguageScore, TurkishCasingUnderTheTurkishLocale) {
  LangKb kb;
  EXPECT_EQ(kb.score("TR", "istanbul"), 728);
  ASSERT_GE(zel_locale_load(kb.ctx(), lang_test::kTr, kLoadDatatypes | kLoadLanguageDefns), 0) << kb.errors();
  ASSERT_EQ(locale_select(kb.ctx(), lang_test::kTr), 0);
  EXPECT_EQ(kb.score("TR", "istanbul"), 895);
  ASSERT_EQ(locale_select(kb.ctx(), lang_test::kEn), 0);
  EXPECT_EQ(kb.score("TR", "istanbul"), 728);
}

TEST(LanguageScore, InfoRecordsTheStepsAndChangesNothing) {
  LangKb kb;
  language_guess_info info;
  EXPECT_EQ(kb.score("EN3", "and", &info), 618);
  EXPECT_EQ(kb.score("EN3", "the end", &info), kb.score("EN3", "the end"));
  // Only the second call's results remain.
  ASSERT_EQ(info.ngrams.size(), 5u);
  const char* grams[] = {"THE", "HE ", "E E", " EN", "END"};
  for (size_t i = 0; i < 5; ++i) EXPECT_STREQ(info.ngrams[i].text, grams[i]);
  EXPECT_STREQ(info.cased, "THE END");
  EXPECT_EQ(info.ngram_bias, 1.0);
  EXPECT_EQ(info.regex_bias, 0.0);
  EXPECT_EQ(info.ngram_raw, info.final_score);
  EXPECT_NEAR(info.final_score, 356.07, 0.01);
  context* ctx = kb.ctx();
  char gram[1028];
  uint32_t pos = 9, freq = 9, weight = 9;
  EXPECT_EQ(tqx_language_guess_info_input_ngram_info_get(ctx, &info, 0, gram, &pos, &freq, &weight), 0);
  EXPECT_EQ(std::make_tuple(std::string(gram), pos, freq, weight), std::make_tuple(std::string("THE"), 1u, 1u, 0u));
  EXPECT_EQ(tqx_language_guess_info_input_ngram_info_get(ctx, &info, 2, gram, &pos, &freq, &weight), 0);
  EXPECT_EQ(pos, 3u);
  EXPECT_EQ(tqx_language_guess_info_input_ngram_info_get(ctx, &info, 5, gram, &pos, &freq, &weight), -800);
  // N-grams of the markers are found nowhere in the cased text: position 0.
  EXPECT_EQ(kb.score("Mixed", "ab", &info), 500);
  ASSERT_EQ(info.ngrams.size(), 2u);
  for (int32_t i = 0; i < 2; ++i) {
    EXPECT_EQ(tqx_language_guess_info_input_ngram_info_get(ctx, &info, i, gram, &pos, &freq, &weight), 0);
    EXPECT_EQ(pos, 0u) << i;
  }
  // The regex part's entries: covered bytes and the value x 1000.
  EXPECT_EQ(kb.score("Digits", "1234ABCD", &info), 500);
  ASSERT_EQ(info.regexes.size(), 1u);
  EXPECT_STREQ(info.regexes[0].name, "Digits");
  EXPECT_EQ(info.regexes[0].covered, 4u);
  EXPECT_EQ(info.regexes[0].score, 500.0);
  EXPECT_TRUE(info.ngrams.empty());
}

TEST(LanguageScore, EditModeRetrainsAndReportsTrainingWeights) {
  LangKb kb(0, true);
  ASSERT_GE(kb.load_rc(), 0) << kb.errors();
  language_guess_info info;
  EXPECT_EQ(kb.score("EN3", "the end", &info), 356);
  // In edit mode the schemes stay, and give the weights.
  defn_rec* rec = kb.defn("EN3");
  EXPECT_EQ(part_of(rec)->schemes.size(), 1u);
  char gram[1028];
  uint32_t pos = 0, freq = 0, weight = 0;
  EXPECT_EQ(tqx_language_guess_info_input_ngram_info_get(kb.ctx(), &info, 0, gram, &pos, &freq, &weight), 0)
      << kb.errors();
  EXPECT_EQ(weight, 1000u);
  // A change that leaves the model untrained retrains it at the next score.
  lang_defn_part(rec)->trained.store(0);
  EXPECT_EQ(kb.score("EN3", "the end"), 356);
  EXPECT_EQ(part_of(rec)->trained.load(), 1u);
}

// A window longer than every training entry trains an empty model, which
// scores 0; each later change retrains before the next score all the same.
TEST(LanguageScore, EditModeRetrainsAfterAnEmptyModel) {
  LangKb kb(0, true);
  context* ctx = kb.ctx();
  ASSERT_EQ(kb.score("EN3", "the"), 1000);
  int32_t copy = -1;
  ASSERT_EQ(tqx_lang_defn_copy(ctx, "EN3", "EN3 Copy", &copy), 0) << kb.errors();
  EXPECT_EQ(kb.score("EN3 Copy", "the"), 1000);
  ASSERT_EQ(tqx_lang_defn_window_size_set(ctx, copy, 4), 0);
  EXPECT_EQ(kb.score("EN3 Copy", "the"), 0);
  EXPECT_EQ(part_of(kb.defn("EN3 Copy"))->model->total, 0u);
  const struct {
    const char* step;
    int32_t (*edit)(context*, int32_t);
    const char* text;
    int32_t score;
  } steps[] = {
      {"window 3", [](context* c, int32_t i) { return tqx_lang_defn_window_size_set(c, i, 3); }, "the", 1000},
      // Case sensitive: the n-grams are uppercased all the same.
      {"options", [](context* c, int32_t i) { return tqx_lang_defn_options_set(c, i, kLangCaseSensitive); }, "and",
       618},
      // THE now counts 1,400 among four entries.
      {"scheme", [](context* c, int32_t i) { return tqx_lang_defn_training_scheme_add(c, i, "The400"); }, "and", 592},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    ASSERT_EQ(s.edit(ctx, copy), 0) << kb.errors();
    EXPECT_EQ(part_of(kb.defn("EN3 Copy"))->trained.load(), 0u);
    EXPECT_EQ(kb.score("EN3 Copy", s.text), s.score) << kb.errors();
  }
  EXPECT_EQ(kb.score("EN3", "and"), 618);
}

}  // namespace

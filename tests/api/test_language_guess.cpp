// Language scores through the exported family, on the sample knowledge
// base's English, German, French and Turkish definitions: sentences that
// are in none of the training texts score highest for their own language,
// and the info reads back what a score did.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;

constexpr int32_t kEn = 29000;
const char* const kLanguages[] = {"English", "German", "French", "Turkish"};

// The definition with the best score for the text ("" for none above 0).
std::string best_language(tq_context* ctx, const char* text) {
  std::string best;
  int32_t best_score = 0;
  for (const char* lang : kLanguages) {
    int32_t score = -1;
    EXPECT_EQ(tq_language_guess_score(ctx, lang, text, &score), 0) << lang << tq_test::error_list_text(ctx);
    if (score > best_score) {
      best_score = score;
      best = lang;
    }
  }
  return best;
}

// Sentences written for this test, in none of the training texts. The
// models are trained on names (of languages, countries, months, units,
// time zones), not on running text, so not every sentence comes out right:
// at least one per language must, and 13 of the 20 did when the models were
// made (German, whose names are mostly "-isch" adjectives, is the weakest).
TEST(LanguageGuess, HeldOutSentencesScoreHighestForTheirLanguage) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_TQ_OK(ctx, tq_session_encoding_set(ctx, TQ_ENC_UTF8));
  ASSERT_TQ_OK(ctx, tq_zel_locale_load(ctx, kEn, TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS));
  const struct {
    const char* text;
    const char* language;
    bool must;  // pinned: one per language
  } cases[] = {
      {"The weather was cold and windy all through the night", "English", true},
      {"Where is the nearest railway station, please?", "English", false},
      {"I would like to order two cups of coffee and a sandwich", "English", false},
      {"She has been working at the hospital for three years", "English", false},
      {"Ich habe heute leider keine Zeit für das Treffen", "German", true},
      {"Wir fahren morgen früh mit dem Zug nach Hamburg", "German", false},
      {"Die Kinder spielen im Garten hinter dem Haus", "German", false},
      {"Der Zug nach München ist pünktlich angekommen", "German", false},
      {"Unsere Nachbarn wohnen seit zwanzig Jahren in dieser Straße", "German", false},
      {"Die Rechnung muss bis Ende des Monats bezahlt werden", "German", false},
      {"Nous avons mangé une très bonne soupe à la maison", "French", true},
      {"Le chat dort sur la chaise près de la fenêtre", "French", false},
      {"Je voudrais réserver une chambre pour deux nuits", "French", false},
      {"Les enfants jouent dans le jardin derrière la maison", "French", false},
      {"Il fait très beau aujourd'hui dans le sud de la France", "French", false},
      {"Çocuklar bahçede top oynuyorlar ve çok mutlular", "Turkish", true},
      {"Bu akşam arkadaşlarımla birlikte sinemaya gideceğiz", "Turkish", false},
      {"Yarın sabah erkenden otobüsle Ankara'ya gideceğim", "Turkish", false},
      {"Bu kitabı geçen hafta kütüphaneden ödünç aldım", "Turkish", false},
      {"Hava bugün çok güzel, dışarıda yürüyüş yapalım", "Turkish", false},
  };
  int right = 0;
  for (const auto& c : cases) {
    const std::string best = best_language(ctx, c.text);
    right += best == c.language ? 1 : 0;
    if (c.must) {
      EXPECT_EQ(best, c.language) << c.text;
    }
  }
  EXPECT_GE(right, 13);
}

// A context scores each text once per definition it is asked about, but
// counts the text's n-grams only when the text or the settings differ from
// its last score. Whatever came before a score in a context, it equals the
// score of a fresh clone: the same phrases against the four definitions in
// several orders, interleaved with other phrases, with and without an
// info; and the locale scores of the four locales (Turkish casing among
// them) in both orders.
TEST(LanguageGuess, ScoresInAnyOrderEqualThoseOfFreshClones) {
  Context base(TQ_SAMPLE_KB);
  ASSERT_TQ_OK(base, tq_session_encoding_set(base, TQ_ENC_UTF8));
  constexpr uint32_t kMask = TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS | TQ_LOAD_GUESS_DEFNS;
  for (int32_t code : {kEn, 39000, 33000, 123000}) ASSERT_TQ_OK(base, tq_zel_locale_load(base, code, kMask));
  ASSERT_TQ_OK(base, tq_locale_set(base, kEn));
  const char* const phrases[] = {"Wir sehen uns morgen im Büro", "The train leaves at seven tonight",
                                 "Yarın akşam sinemaya gidelim mi", "istanbul İzmir ılık"};
  int32_t index[4];
  for (int d = 0; d < 4; ++d) ASSERT_EQ(tq_lang_defn_index_get_by_name(base, kLanguages[d], &index[d]), 0);
  tq_language_guess_info* info = nullptr;
  ASSERT_EQ(tq_language_guess_info_init(base, &info), 0);
  // score(c, p, d): language score of phrase p against definition d (with
  // the info every third call); d 4 + j: locale score for candidate j.
  const uint32_t locales[] = {static_cast<uint32_t>(kEn), 39000, 33000, 123000};
  int calls = 0;
  auto score = [&](tq_context* c, int p, int d) {
    int32_t s = -1;
    int32_t rc = 0;
    if (d >= 4) {
      uint32_t u = 0;
      rc = tq_guess_locale_score(c, "Language", phrases[p], locales[d - 4], &u);
      s = static_cast<int32_t>(u);
    } else if (++calls % 3 == 0) {
      rc = tq_language_guess_score_by_index_with_info(c, index[d], phrases[p], &s, info);
    } else {
      rc = tq_language_guess_score_by_index(c, index[d], phrases[p], &s);
    }
    EXPECT_EQ(rc, 0) << p << ' ' << d << tq_test::error_list_text(c);
    return s;
  };
  int32_t expected[4][8];
  for (int p = 0; p < 4; ++p) {
    for (int d = 0; d < 8; ++d) {
      tq_context* fresh = nullptr;
      ASSERT_EQ(tq_clone(base, &fresh), 0);
      expected[p][d] = score(fresh, p, d);
      tq_close(fresh);
    }
  }
  std::vector<std::pair<int, int>> script;
  for (const std::vector<int>& order : {std::vector<int>{0, 1, 2, 3}, {3, 2, 1, 0}, {2, 2, 0, 3, 1, 1},
                                         {4, 5, 6, 7}, {7, 6, 5, 4}, {0, 4, 1, 7, 3, 6}}) {
    for (int p = 0; p < 4; ++p) {
      for (int d : order) script.emplace_back(p, d);
    }
    for (int d : order) {
      for (int p : {0, 1, 0, 3, 3, 2}) script.emplace_back(p, d);
    }
  }
  tq_context* c = nullptr;
  ASSERT_EQ(tq_clone(base, &c), 0);
  for (const auto& [p, d] : script) EXPECT_EQ(score(c, p, d), expected[p][d]) << p << ' ' << d;
  tq_close(c);
  EXPECT_EQ(tq_language_guess_info_free(base, info), 0);
}

TEST(LanguageGuess, InfoReadsBackTheScoreAndIndexRules) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_TQ_OK(ctx, tq_zel_locale_load(ctx, kEn, TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS));
  tq_language_guess_info* info = nullptr;
  ASSERT_EQ(tq_language_guess_info_init(ctx, &info), 0);
  int32_t plain = -1;
  int32_t with_info = -2;
  ASSERT_EQ(tq_language_guess_score(ctx, "English", "the end", &plain), 0);
  ASSERT_EQ(tq_language_guess_score_with_info(ctx, "English", "the end", &with_info, info), 0);
  EXPECT_EQ(plain, with_info);
  char text[1028];
  EXPECT_EQ(tq_language_guess_info_cased_string_get(ctx, info, text), 0);
  EXPECT_STREQ(text, "THE END");
  uint32_t count = 0;
  EXPECT_EQ(tq_language_guess_info_ngram_count_get(ctx, info, &count), 0);
  EXPECT_EQ(count, 7u);  // with the start and end markers
  uint32_t pos = 0, freq = 0, weight = 9;
  EXPECT_EQ(tq_language_guess_info_input_ngram_info_get(ctx, info, 1, text, &pos, &freq, &weight), 0);
  EXPECT_STREQ(text, "THE");
  EXPECT_EQ(pos, 1u);
  EXPECT_EQ(freq, 1u);
  EXPECT_EQ(weight, 0u);  // outside edit mode
  EXPECT_EQ(tq_language_guess_info_input_ngram_info_get(ctx, info, static_cast<int32_t>(count), text, &pos, &freq,
                                                        &weight),
            -800);
  double final_score = 0.0, ngram_bias = 0.0, regex_bias = 1.0;
  EXPECT_EQ(tq_language_guess_info_regex_final_score_get(ctx, info, &final_score), 0);
  EXPECT_EQ(static_cast<int32_t>(final_score), plain);
  EXPECT_EQ(tq_language_guess_info_ngram_bias_get(ctx, info, &ngram_bias), 0);
  EXPECT_EQ(tq_language_guess_info_regex_bias_get(ctx, info, &regex_bias), 0);
  EXPECT_EQ(ngram_bias, 1.0);
  EXPECT_EQ(regex_bias, 0.0);
  uint32_t matched = 1;
  EXPECT_EQ(tq_language_guess_info_preproc_info_get(ctx, info, 0, text, &matched), -800);
  EXPECT_EQ(matched, 0u);
  EXPECT_EQ(tq_language_guess_info_free(ctx, info), 0);
  EXPECT_EQ(tq_language_guess_info_free(ctx, nullptr), 0);
  // Unknown names and indices.
  int32_t score = 0;
  EXPECT_LT(tq_language_guess_score(ctx, "Klingon", "x", &score), 0);
  EXPECT_EQ(tq_language_guess_score_by_index(ctx, 99, "x", &score), -800);
}

}  // namespace

namespace {

// The definitions' lists and settings edited through the family, in an
// edit-mode context on a copy of the sample knowledge base.
TEST(LangDefnExports, ListEditsSettingsAndTraining) {
  tq_test::SampleKbCopy kb;
  Context ctx(kb.str().c_str(), true);
  ASSERT_TQ_OK(ctx, tq_zel_locale_load(ctx, kEn, TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS));
  int32_t en = -1;
  ASSERT_EQ(tq_lang_defn_index_get_by_name(ctx, "English", &en), 0);
  // Known pattern regex libraries: deleting the second of four keeps the
  // others in order; a library that cannot be opened changes nothing.
  const char* libs[] = {"en_comma", "en_initial", "en_name_normalize", "en_comma"};
  for (uint32_t i = 0; i < 4; ++i) ASSERT_TQ_OK(ctx, tq_lang_defn_known_ptrn_rgx_add(ctx, en, i, libs[i]));
  uint32_t count = 0;
  EXPECT_LT(tq_lang_defn_known_ptrn_rgx_add(ctx, en, 0, "no_such_library"), 0);
  // A likelihood or window out of range is refused (-802, nothing changed)
  // naming the value and the range, as every number setter does.
  const struct {
    int32_t (*call)(tq_context*, int32_t);
    const char* said;
  } refused[] = {
      {[](tq_context* c, int32_t d) { return tq_lang_defn_known_ptrn_rgx_add(c, d, 6, "en_comma"); },
       "The Likelihood 6 is outside the 0 to 5 it may take."},
      {[](tq_context* c, int32_t d) { return tq_lang_defn_known_ptrn_rgx_info_set(c, d, 0, UINT32_MAX, "en_initial"); },
       "The Likelihood 4294967295 is outside the 0 to 5 it may take."},
      {[](tq_context* c, int32_t d) { return tq_lang_defn_window_size_set(c, d, 5); },
       "The Window Size 5 is outside the 2 to 4 it may take."},
      {[](tq_context* c, int32_t d) { return tq_lang_defn_window_size_set(c, d, 1); },
       "The Window Size 1 is outside the 2 to 4 it may take."},
  };
  for (const auto& row : refused) {
    SCOPED_TRACE(row.said);
    EXPECT_EQ(row.call(ctx, en), TQ_ERR_ARGUMENT);
    EXPECT_TRUE(tq_test::holds(tq_test::error_list_text(ctx), row.said));
  }
  EXPECT_EQ(tq_lang_defn_known_ptrn_rgx_delete(ctx, en, 1), 0);
  ASSERT_EQ(tq_lang_defn_known_ptrn_rgx_count_get(ctx, en, &count), 0);
  ASSERT_EQ(count, 3u);
  const std::pair<std::string, uint32_t> expected[] = {{"en_comma", 0}, {"en_name_normalize", 2}, {"en_comma", 3}};
  char name[4097];
  uint32_t likelihood = 0;
  for (uint32_t i = 0; i < 3; ++i) {
    ASSERT_EQ(tq_lang_defn_known_ptrn_rgx_info_get(ctx, en, i, &likelihood, name), 0);
    EXPECT_EQ(std::make_pair(std::string(name), likelihood), expected[i]);
  }
  EXPECT_EQ(tq_lang_defn_known_ptrn_rgx_info_get(ctx, en, 99, &likelihood, name), -800);
  EXPECT_EQ(likelihood, 2u);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(tq_lang_defn_known_ptrn_rgx_info_set(ctx, en, 0, 4, "en_initial"), 0);
  EXPECT_LT(tq_lang_defn_known_ptrn_rgx_info_set(ctx, en, 0, 1, "no_such_library"), 0);
  ASSERT_EQ(tq_lang_defn_known_ptrn_rgx_info_get(ctx, en, 0, &likelihood, name), 0);
  EXPECT_EQ(std::make_pair(std::string(name), likelihood), std::make_pair(std::string("en_initial"), 4u));
  EXPECT_EQ(tq_lang_defn_known_ptrn_rgx_delete_all(ctx, en), 0);
  ASSERT_EQ(tq_lang_defn_known_ptrn_rgx_count_get(ctx, en, &count), 0);
  EXPECT_EQ(count, 0u);
  // Settings in range only.
  uint32_t value = 0;
  EXPECT_EQ(tq_lang_defn_window_size_get(ctx, en, &value), 0);
  EXPECT_EQ(value, 3u);
  EXPECT_EQ(tq_lang_defn_scoring_bias_set(ctx, en, 7), -802);
  ASSERT_EQ(tq_lang_defn_options_get(ctx, en, &value), 0);
  const uint32_t options = value;
  EXPECT_EQ(tq_lang_defn_options_set(ctx, en, 0x53), -802);  // bits no file keeps
  ASSERT_EQ(tq_lang_defn_options_get(ctx, en, &value), 0);
  EXPECT_EQ(value, options);
  EXPECT_EQ(tq_lang_defn_scoring_bias_set(ctx, en, 3), 0);
  EXPECT_EQ(tq_lang_defn_scoring_bias_get(ctx, en, &value), 0);
  EXPECT_EQ(value, 3u);
  // Training schemes stay in edit mode; a new window retrains at the next
  // score, which then differs.
  EXPECT_EQ(tq_lang_defn_training_scheme_add(ctx, en, ""), -802);
  ASSERT_EQ(tq_lang_defn_training_scheme_count_get(ctx, en, &count), 0);
  EXPECT_EQ(count, 1u);
  ASSERT_EQ(tq_lang_defn_training_scheme_info_get(ctx, en, 0, name), 0);
  EXPECT_STREQ(name, "lang_en_trigrams");
  int32_t at3 = -1, at4 = -1, again = -1;
  ASSERT_EQ(tq_language_guess_score_by_index(ctx, en, "the weather", &at3), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_lang_defn_window_size_set(ctx, en, 4), 0);
  EXPECT_EQ(tq_lang_defn_window_size_get(ctx, en, &value), 0);
  EXPECT_EQ(value, 4u);
  ASSERT_EQ(tq_language_guess_score_by_index(ctx, en, "the weather", &at4), 0);
  EXPECT_NE(at3, at4);
  ASSERT_EQ(tq_lang_defn_train(ctx, en), 0);
  ASSERT_EQ(tq_language_guess_score_by_index(ctx, en, "the weather", &again), 0);
  EXPECT_EQ(again, at4);
  // Written with its settings.
  tq_xmldoc* xml = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Locale Settings", "9.0", &xml), 0);
  EXPECT_EQ(tq_lang_defn_write(ctx, xml, en), 0);
  EXPECT_EQ(tq_xml_free(ctx, xml), 0);
}

// Edits of the bookends, the case rule and the window of the definitions
// between scores of the same phrases: each score equals the one counted
// afresh (right after a score of another text) under the same settings.
// The models hold trigrams only: another window scores 0.
TEST(LangDefnExports, ScoresBetweenEditsEqualScoresCountedAfresh) {
  tq_test::SampleKbCopy kb;
  Context ctx(kb.str().c_str(), true);
  ASSERT_TQ_OK(ctx, tq_session_encoding_set(ctx, TQ_ENC_UTF8));
  ASSERT_TQ_OK(ctx, tq_zel_locale_load(ctx, kEn, TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS));
  int32_t index[4];
  uint32_t options[4];
  for (int d = 0; d < 4; ++d) {
    ASSERT_EQ(tq_lang_defn_index_get_by_name(ctx, kLanguages[d], &index[d]), 0);
    ASSERT_EQ(tq_lang_defn_options_get(ctx, index[d], &options[d]), 0);
  }
  const char* const phrases[] = {"Das Wetter ist heute sehr schön", "Please close the door behind you"};
  auto score = [&](const char* text, int d) {
    int32_t s = -1;
    EXPECT_EQ(tq_language_guess_score_by_index(ctx, index[d], text, &s), 0) << tq_test::error_list_text(ctx);
    return s;
  };
  constexpr uint32_t kCaseSensitive = 0x1;
  constexpr uint32_t kBookends = 0x2;
  const struct {
    int d;
    uint32_t window;
    uint32_t toggled;  // options changed from the definition's own
  } edits[] = {{0, 3, kBookends}, {1, 3, kBookends}, {2, 3, kCaseSensitive}, {0, 3, 0}, {1, 2, 0}, {1, 3, 0}};
  for (const auto& e : edits) {
    SCOPED_TRACE(std::to_string(e.d) + " window " + std::to_string(e.window) + " options " +
                 std::to_string(options[e.d] ^ e.toggled));
    ASSERT_EQ(tq_lang_defn_window_size_set(ctx, index[e.d], e.window), 0);
    ASSERT_EQ(tq_lang_defn_options_set(ctx, index[e.d], options[e.d] ^ e.toggled), 0);
    int32_t afresh[2][4];
    for (int p = 0; p < 2; ++p) {
      for (int d = 0; d < 4; ++d) {
        score("-", d);
        afresh[p][d] = score(phrases[p], d);
      }
    }
    for (int d : {0, 1, 2, 3, 1, 0, 0}) {
      for (int p : {0, 1, 1, 0}) EXPECT_EQ(score(phrases[p], d), afresh[p][d]) << p << ' ' << d;
    }
  }
}

// The training schemes a definition holds, as the getters report them.
std::vector<std::string> training_schemes(tq_context* ctx, int32_t index) {
  std::vector<std::string> names;
  uint32_t count = 0;
  EXPECT_EQ(tq_lang_defn_training_scheme_count_get(ctx, index, &count), 0);
  for (uint32_t i = 0; i < count; ++i) {
    char name[4096] = "";
    EXPECT_EQ(tq_lang_defn_training_scheme_info_get(ctx, index, i, name), 0);
    names.emplace_back(name);
  }
  return names;
}

// Outside edit mode a definition trains at its first score, by whichever
// clone, and nothing retrains it there; it still holds its training
// schemes: the getters report them and a locale written then keeps them,
// so that the definitions score the same once loaded again.
TEST(LangDefnExports, ScoredOutsideEditModeWrittenAndLoadedAgainScoresTheSame) {
  tq_test::SampleKbCopy kb;
  const char* const text = "Wir fahren morgen früh mit dem Zug nach Hamburg";
  std::vector<std::string> schemes[4];
  int32_t scores[4];
  {
    Context ctx(kb.str().c_str());
    ASSERT_TQ_OK(ctx, tq_session_encoding_set(ctx, TQ_ENC_UTF8));
    ASSERT_TQ_OK(ctx, tq_zel_locale_load(ctx, kEn, TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS));
    tq_context* made = nullptr;
    ASSERT_EQ(tq_clone(ctx, &made), 0);
    const std::unique_ptr<tq_context, decltype(&tq_close)> owned(made, &tq_close);
    tq_context* clone = owned.get();
    int32_t index = -1;
    for (int d = 0; d < 4; ++d) {
      ASSERT_EQ(tq_lang_defn_index_get_by_name(ctx, kLanguages[d], &index), 0);
      schemes[d] = training_schemes(ctx, index);
      ASSERT_EQ(schemes[d].size(), 1u) << kLanguages[d];
      // English and French train in the clone.
      tq_context* scorer = d % 2 == 0 ? clone : static_cast<tq_context*>(ctx);
      ASSERT_EQ(tq_language_guess_score_by_index(scorer, index, text, &scores[d]), 0) << tq_test::error_list_text(scorer);
      EXPECT_EQ(training_schemes(ctx, index), schemes[d]) << kLanguages[d];
      EXPECT_EQ(training_schemes(clone, index), schemes[d]) << kLanguages[d];
    }
    EXPECT_GT(scores[1], 0);
    EXPECT_EQ(tq_lang_defn_train(ctx, index), -501);
    EXPECT_EQ(tq_lang_defn_window_size_set(ctx, index, 3), -501);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    EXPECT_EQ(tq_lock_create(ctx, "en.loc", 7, lock, nullptr), 0);
    EXPECT_EQ(tq_locale_write(ctx, kEn, lock), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(tq_lock_free(ctx, lock), 0);
  }
  Context ctx(kb.str().c_str());
  ASSERT_TQ_OK(ctx, tq_session_encoding_set(ctx, TQ_ENC_UTF8));
  ASSERT_TQ_OK(ctx, tq_zel_locale_load(ctx, kEn, TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS));
  for (int d = 0; d < 4; ++d) {
    int32_t index = -1;
    ASSERT_EQ(tq_lang_defn_index_get_by_name(ctx, kLanguages[d], &index), 0);
    EXPECT_EQ(training_schemes(ctx, index), schemes[d]) << kLanguages[d];
    int32_t score = -1;
    EXPECT_EQ(tq_language_guess_score_by_index(ctx, index, text, &score), 0);
    EXPECT_EQ(score, scores[d]) << kLanguages[d];
  }
}

}  // namespace

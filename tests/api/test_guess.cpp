// Locale guessing through the exported family, on the knowledge base of
// tests/kb/guessrun: candidate locales DE, FR and ES holding definitions that
// score "1234ABCD" by its digits, IT holding none, and EN whose definitions
// ENUSA and ENGBR inherit (language scores, word analysis with a
// vocabulary and a grammar). The guess info reads back every part.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/built_kb.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::error_list_text;

constexpr uint32_t kDe = 39000, kFr = 33000, kEs = 103000, kIt = 51000;
constexpr uint32_t kEn = 29000, kEnusa = 29840, kEngbr = 29826;
constexpr uint32_t kNone = TQ_GUESS_NO_LOCALE;
constexpr uint32_t kMask = TQ_LOAD_DATATYPES | TQ_LOAD_GUESS_DEFNS | TQ_LOAD_LANGUAGE_DEFNS;

class GuessKb : public tq_test::BuiltKb {
 public:
  // with_it: IT is loaded too.
  explicit GuessKb(bool with_it = true) {
    write_sources({{"guessrun/regexlib/Digits", "regexlib/Digits"},
                   {"guessrun/regexlib/Letters", "regexlib/Letters"},
                   {"guessrun/scheme/EN3", "scheme/EN3.sch"},
                   {"parse/grammar/PersonName", "grammar/PersonName"}});
    for (const char* iso : {"l1", "en", "enusa", "engbr", "de", "fr", "es", "it"}) {
      write_sources({{std::string("guessrun/locale/") + iso + ".loc", std::string("locale/") + iso + ".loc"}});
    }
    compile_vocab("parse/vocab/PersonName", "PersonName");
    open(kEnusa, kMask, false, 0);
    for (uint32_t code : {kEngbr, kFr, kEs, kIt, kEn, kDe}) {
      if (code == kIt && !with_it) continue;
      // ES holds a definition that is not valid: 104.
      EXPECT_EQ(tq_zel_locale_load(ctx(), static_cast<int32_t>(code), kMask), code == kEs ? 104 : 0)
          << code << error_list_text(ctx());
    }
  }
  // The current locale's definition `name` guessing among `locales`: the
  // guessed code, or the failure's code.
  int64_t guess(uint32_t current, const char* name, const char* value, std::vector<uint32_t> locales,
                const uint32_t* mins = nullptr, tq_guess_info* info = nullptr) {
    EXPECT_EQ(tq_locale_set(ctx(), static_cast<int32_t>(current)), 0);
    uint32_t guessed = 12345;
    const int32_t rc = tq_guess_locale_with_info(ctx(), name, value, locales.data(), mins,
                                                 static_cast<uint32_t>(locales.size()), &guessed, info);
    return rc < 0 ? rc : static_cast<int64_t>(guessed);
  }
  int64_t score(uint32_t current, const char* name, const char* value, uint32_t locale) {
    EXPECT_EQ(tq_locale_set(ctx(), static_cast<int32_t>(current)), 0);
    uint32_t s = 12345;
    const int32_t rc = tq_guess_locale_score(ctx(), name, value, locale, &s);
    return rc < 0 ? rc : static_cast<int64_t>(s);
  }
};

TEST(GuessLocale, ScoresCombineLanguageRegexAndPatternParts) {
  GuessKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << error_list_text(kb.ctx());
  const struct {
    uint32_t locale;
    const char* defn;
    const char* value;
    int64_t score;
  } cases[] = {
      {kDe, "Text", "1234ABCD", 500},       // half covered at "Medium"
      {kEn, "High", "1234ABCD", 1000},      // 2.0 x 1000, capped
      {kEn, "Regexes", "1234ABCD", 375},    // (0.5 + 0.125) / 2
      {kEn, "Never", "12345678", 0},        // -4000 pulls the whole score to 0
      {kEn, "Lang", "1234ABCD", 750},       // L 500 and R 500
      {kEn, "Names", "John Smith Xyz", 666},      // older form: two of three words known
      {kEn, "Names", "John Smith Xyz Qrs", 500},
      {kEn, "Phrase", "John Smith", 1000},        // BODY spans both words
      {kEn, "Phrase", "John Smith Xyz", 0},       // "Phrase" parses all three once, and fails
      {kEn, "Element", "John Smith", 500},        // GIVEN covers JOHN and stops
      {kEs, "Text", "1234ABCD", 250},
      {kEs, "Text", "", 0},
      {kIt, "Text", "1234ABCD", 0},               // no such definition: score 0, result 0
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kb.score(c.locale == kIt ? kDe : c.locale, c.defn, c.value, c.locale), c.score)
        << c.defn << " " << c.value << error_list_text(kb.ctx());
  }
  // The older names give the same; the score of a failure is not written.
  uint32_t s = 7;
  ASSERT_EQ(tq_locale_set(kb.ctx(), static_cast<int32_t>(kEn)), 0);
  EXPECT_EQ(tq_locale_score(kb.ctx(), "Lang", "1234ABCD", kEn, &s), 0);
  EXPECT_EQ(s, 750u);
  s = 7;
  EXPECT_EQ(tq_locale_score(kb.ctx(), "Missing", "1234ABCD", kEn, &s), TQ_ERR_NAME);
  EXPECT_EQ(s, 7u);
}

TEST(GuessLocale, TieRuleMinimumsAndForceChoice) {
  GuessKb kb;
  // A tie goes to the caller's last locale, else to the first.
  EXPECT_EQ(kb.guess(kDe, "Text", "1234ABCD", {kDe, kFr}), kFr);
  EXPECT_EQ(kb.guess(kDe, "Text", "1234ABCD", {kDe, kFr, kEs}), kDe);
  EXPECT_EQ(kb.guess(kDe, "Text", "1234ABCD", {kEs, kDe}), kDe);
  // A locale listed twice is scored twice; IT holds no "Text".
  EXPECT_EQ(kb.guess(kDe, "Text", "1234ABCD", {kDe, kIt}), kDe);
  uint32_t guessed = 0;
  ASSERT_EQ(tq_locale_set(kb.ctx(), static_cast<int32_t>(kDe)), 0);
  EXPECT_EQ(tq_guess_locale(kb.ctx(), "Text", "1234ABCD", &kFr, nullptr, 0, &guessed), 0);
  EXPECT_EQ(guessed, kNone);
  // Minimums go by the position among candidates: IT is none, so FR reads
  // the second entry.
  const uint32_t second[] = {0, 600, 0};
  const uint32_t third[] = {0, 0, 600};
  EXPECT_EQ(kb.guess(kDe, "Mins", "1234ABCD", {kDe, kIt, kFr}, second), kDe);
  EXPECT_EQ(kb.guess(kDe, "Mins", "1234ABCD", {kDe, kIt, kFr}, third), kFr);
  // Nothing above 0: none, or the last locale under force choice; the
  // override wins over the definition until removed.
  EXPECT_EQ(kb.guess(kDe, "Text", "ABCD", {kDe, kFr}), kNone);
  EXPECT_EQ(kb.guess(kDe, "Force", "ABCD", {kDe, kFr}), kFr);
  EXPECT_EQ(kb.guess(kDe, "Force", "ABCD", {kDe, kIt}), kIt);
  ASSERT_EQ(tq_guess_locale_force_choice_override_set(kb.ctx(), 0), 0);
  EXPECT_EQ(kb.guess(kDe, "Force", "ABCD", {kDe, kFr}), kNone);
  ASSERT_EQ(tq_guess_locale_force_choice_override_set(kb.ctx(), 1), 0);
  EXPECT_EQ(kb.guess(kDe, "Text", "ABCD", {kDe, kFr}), kFr);
  ASSERT_EQ(tq_guess_locale_force_choice_override_remove(kb.ctx()), 0);
  EXPECT_EQ(kb.guess(kDe, "Text", "ABCD", {kDe, kFr}), kNone);
  // The older name has no minimums; the current locale is put back.
  const uint32_t list[] = {kDe, kFr, kEs};
  ASSERT_EQ(tq_locale_set(kb.ctx(), static_cast<int32_t>(kEs)), 0);
  EXPECT_EQ(tq_locale_guess(kb.ctx(), "Text", "1234ABCD", list, 3, &guessed), 0);
  EXPECT_EQ(guessed, kDe);
  int32_t current = 0;
  EXPECT_EQ(tq_locale_get(kb.ctx(), &current), 0);
  EXPECT_EQ(current, static_cast<int32_t>(kEs));
  // A locale outside the table ends the guess, and so does a candidate
  // whose definition is not valid, also when the current locale's is.
  EXPECT_LT(kb.guess(kDe, "Text", "1234ABCD", {kDe, 1}), 0);
  EXPECT_EQ(kb.guess(kDe, "Mixed", "1234ABCD", {kDe}), kDe);
  EXPECT_EQ(kb.guess(kDe, "Mixed", "1234ABCD", {kDe, kEs}), TQ_ERR_DEFN_INVALID);
  EXPECT_EQ(tq_locale_get(kb.ctx(), &current), 0);
  EXPECT_EQ(current, static_cast<int32_t>(kDe));
  EXPECT_EQ(kb.guess(kEs, "Mixed", "1234ABCD", {kDe}), TQ_ERR_DEFN_INVALID);
}

TEST(GuessLocale, InheritedDefinitionsAnswerTheRequestedLocale) {
  GuessKb kb;
  EXPECT_EQ(kb.guess(kEnusa, "Shared", "1234ABCD", {kEnusa, kEngbr}), kEngbr);
  EXPECT_EQ(kb.guess(kEnusa, "Shared", "1234ABCD", {kEngbr, kEnusa}), kEnusa);
  EXPECT_EQ(kb.guess(kEn, "Shared", "1234ABCD", {kEnusa, kEn}), kEn);
  // ENUSA numbers its own language definition first: "Lang" still scores
  // with EN's "Digits Only" (L 500), not ENUSA's "Other" (L 0).
  EXPECT_EQ(kb.score(kEnusa, "Lang", "1234ABCD", kEnusa), 750);
  EXPECT_EQ(kb.score(kEn, "Lang", "1234ABCD", kEngbr), 750);
}

TEST(GuessLocale, InfoRecordsEveryCandidate) {
  GuessKb kb;
  tq_context* ctx = kb.ctx();
  tq_guess_info* info = nullptr;
  ASSERT_EQ(tq_guess_info_init(ctx, &info), 0);
  uint32_t n = 9, code = 0, u = 0, like = 0, matches = 0, matched = 0, stop = 0, type = 0;
  double d = -1.0;
  char text[1028];
  // No candidate at all.
  EXPECT_EQ(kb.guess(kDe, "Text", "1234ABCD", {kIt}, nullptr, info), kNone);
  EXPECT_EQ(tq_guess_info_pruned_locales_count_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(tq_guess_info_pruned_locale_get(ctx, info, 0, &code), TQ_ERR_INDEX);
  EXPECT_EQ(tq_guess_info_score_get(ctx, info, 0, &d), TQ_ERR_INDEX);
  // [A, X, B]: the two candidates, in order, with their parts.
  EXPECT_EQ(kb.guess(kDe, "Text", "1234ABCD", {kDe, kIt, kEs}, nullptr, info), kDe);
  EXPECT_EQ(tq_guess_info_pruned_locales_count_get(ctx, info, &n), 0);
  ASSERT_EQ(n, 2u);
  EXPECT_EQ(tq_guess_info_pruned_locale_get(ctx, info, 1, &code), 0);
  EXPECT_EQ(code, kEs);
  EXPECT_EQ(tq_guess_info_score_get(ctx, info, 1, &d), 0);
  EXPECT_DOUBLE_EQ(d, 250.0);
  EXPECT_EQ(tq_guess_info_known_regexlib_score_get(ctx, info, 0, &d), 0);
  EXPECT_DOUBLE_EQ(d, 500.0);
  EXPECT_EQ(tq_guess_info_known_vocab_score_get(ctx, info, 0, &d), 0);
  EXPECT_EQ(d, 0.0);
  EXPECT_EQ(tq_guess_info_known_regexlib_count_get(ctx, info, 0, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(tq_guess_info_known_regexlib_info_get(ctx, info, 0, 0, text, &like, &matches, &d), 0);
  EXPECT_STREQ(text, "Digits");
  EXPECT_EQ(like, 2u);
  EXPECT_EQ(matches, 4u);
  EXPECT_DOUBLE_EQ(d, 500.0);
  EXPECT_EQ(tq_guess_info_known_regexlib_info_get(ctx, info, 0, 1, text, &like, &matches, &d), TQ_ERR_INDEX);
  EXPECT_STREQ(text, "");
  // Without word analysis: no words, no morph info, no patterns.
  tq_morph_analyzer_info* ma = reinterpret_cast<tq_morph_analyzer_info*>(info);
  tq_language_guess_info* li = reinterpret_cast<tq_language_guess_info*>(info);
  EXPECT_EQ(tq_guess_info_chopped_word_list_count_get(ctx, info, 0, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(tq_guess_info_morph_analyzer_info_get(ctx, info, 0, &ma), 0);
  EXPECT_EQ(ma, nullptr);
  EXPECT_EQ(tq_guess_info_language_guess_info_get(ctx, info, 0, &li), 0);
  EXPECT_EQ(li, nullptr);
  EXPECT_EQ(tq_guess_info_pattern_count_get(ctx, info, 0, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(tq_guess_info_discarded_get(ctx, info, 99, &u), 0);
  EXPECT_EQ(u, 0u);
  // Language part: its own info, owned by the guess info.
  EXPECT_EQ(kb.score(kEn, "Lang", "1234ABCD", kEn), 750);
  uint32_t s = 0;
  ASSERT_EQ(tq_guess_locale_score_with_info(ctx, "Lang", "1234ABCD", kEn, &s, info), 0);
  EXPECT_EQ(tq_guess_info_language_guess_info_get(ctx, info, 0, &li), 0);
  ASSERT_NE(li, nullptr);
  EXPECT_EQ(tq_language_guess_info_regex_final_score_get(ctx, li, &d), 0);
  EXPECT_DOUBLE_EQ(d, 500.0);
  EXPECT_EQ(tq_guess_info_language_guess_score_get(ctx, info, 0, &d), 0);
  EXPECT_DOUBLE_EQ(d, 500.0);
  // An "Element" pattern: one phrase per covered word, no solutions; the
  // stop flag ends the pattern loop.
  ASSERT_EQ(tq_guess_locale_score_with_info(ctx, "Element", "John Smith", kEn, &s, info), 0);
  EXPECT_EQ(s, 500u);
  EXPECT_EQ(tq_guess_info_chopped_word_list_count_get(ctx, info, 0, &n), 0);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(tq_guess_info_chopped_word_get(ctx, info, 0, 1, text), 0);
  EXPECT_STREQ(text, "Smith");
  EXPECT_EQ(tq_guess_info_chopped_word_get(ctx, info, 0, 2, text), TQ_ERR_INDEX);
  EXPECT_EQ(tq_guess_info_morph_analyzer_info_get(ctx, info, 0, &ma), 0);
  EXPECT_NE(ma, nullptr);
  EXPECT_EQ(tq_guess_info_pattern_count_get(ctx, info, 0, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(tq_guess_info_pattern_info_get(ctx, info, 0, 0, &matched, &stop, &type, &d), 0);
  EXPECT_EQ(matched, 1u);
  EXPECT_EQ(stop, 1u);
  EXPECT_EQ(type, 2u);
  EXPECT_DOUBLE_EQ(d, 500.0);
  EXPECT_EQ(tq_guess_info_pattern_phrase_count_get(ctx, info, 0, 0, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(tq_guess_info_pattern_phrase_string_get(ctx, info, 0, 0, 0, text), 0);
  EXPECT_STREQ(text, "John");
  EXPECT_EQ(tq_guess_info_pattern_phrase_solution_count_get(ctx, info, 0, 0, 0, &n), TQ_ERR_NOT_SUPPORTED);
  EXPECT_EQ(tq_guess_info_pattern_phrase_solution_count_get(ctx, info, 0, 0, 1, &n), TQ_ERR_INDEX);
  // A "Phrase" pattern: the phrase with copies of the parse's solutions,
  // readable after the next guess replaced nothing in this info.
  ASSERT_EQ(tq_guess_locale_score_with_info(ctx, "Phrase", "John Smith", kEn, &s, info), 0);
  EXPECT_EQ(s, 1000u);
  EXPECT_EQ(tq_guess_info_pattern_info_get(ctx, info, 0, 0, &matched, &stop, &type, &d), 0);
  EXPECT_EQ(type, 1u);
  EXPECT_EQ(tq_guess_info_pattern_phrase_string_get(ctx, info, 0, 0, 0, text), 0);
  EXPECT_STREQ(text, "John Smith");
  EXPECT_EQ(tq_guess_info_pattern_phrase_solution_count_get(ctx, info, 0, 0, 0, &n), 0);
  EXPECT_GE(n, 1u);
  EXPECT_EQ(tq_guess_info_pattern_phrase_solution_score_get(ctx, info, 0, 0, 0, 0, &u), 0);
  EXPECT_GT(u, 0u);
  tq_solution_rule* rule = nullptr;
  EXPECT_EQ(tq_guess_info_pattern_best_phrase_solution_rule_get(ctx, info, 0, 0, 0, &rule), 0);
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(tq_solution_rule_parent_abbr_get(ctx, rule, text), 0);
  EXPECT_STREQ(text, "NAME");
  EXPECT_EQ(tq_solution_rule_free(ctx, rule), 0);
  EXPECT_EQ(tq_guess_info_pattern_phrase_solution_rule_get(ctx, info, 0, 0, 0, n, &rule), TQ_ERR_INDEX);
  // A failed lookup leaves the info empty.
  EXPECT_EQ(kb.guess(kEn, "Missing", "x", {kEn}, nullptr, info), TQ_ERR_NAME);
  EXPECT_EQ(tq_guess_info_pruned_locales_count_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 0u);
  // So does a guess by an index that names nothing, after one that filled it.
  ASSERT_EQ(tq_guess_locale_score_with_info(ctx, "Phrase", "John Smith", kEn, &s, info), 0);
  EXPECT_LT(tq_guess_locale_score_by_index_with_info(ctx, 999, "John Smith", kEn, &s, info), 0);
  EXPECT_LT(tq_guess_info_pattern_info_get(ctx, info, 0, 0, &matched, &stop, &type, &d), 0);
  EXPECT_EQ(tq_guess_info_free(ctx, info), 0);
  EXPECT_EQ(tq_guess_info_free(ctx, nullptr), 0);
}

// The sample knowledge base: English (United States) inherits English's
// "Language", which German, French and Turkish hold too, each scoring with
// its own language definition.
TEST(GuessLocale, SampleKnowledgeBaseGuessesTheLanguageOfASentence) {
  tq_test::Context ctx(TQ_SAMPLE_KB);
  ASSERT_TQ_OK(ctx, tq_session_encoding_set(ctx, TQ_ENC_UTF8));
  for (uint32_t code : {kDe, kFr, 123000u, kEnusa}) {
    ASSERT_TQ_OK(ctx, tq_zel_locale_load(ctx, static_cast<int32_t>(code), kMask));
  }
  const uint32_t locales[] = {kEn, kDe, kFr, 123000};
  const struct {
    const char* text;
    uint32_t locale;
  } cases[] = {
      {"The weather was cold and windy all through the night", kEn},
      {"Ich habe heute leider keine Zeit für das Treffen", kDe},
      {"Nous avons mangé une très bonne soupe à la maison", kFr},
      {"Çocuklar bahçede top oynuyorlar ve çok mutlular", 123000},
  };
  for (const auto& c : cases) {
    uint32_t guessed = 0;
    EXPECT_TQ_OK(ctx, tq_guess_locale(ctx, "Language", c.text, locales, nullptr, 4, &guessed));
    EXPECT_EQ(guessed, c.locale) << c.text;
  }
}

// Two clones guess (one with an info, which holds the write hold) while a
// third changes the shared state: it loads and unloads a locale.
TEST(GuessLocale, TwoClonesGuessWhileAThirdEdits) {
  GuessKb kb(false);
  ASSERT_EQ(tq_locale_set(kb.ctx(), static_cast<int32_t>(kEn)), 0);
  tq_context* clones[3] = {nullptr, nullptr, nullptr};
  for (auto& c : clones) ASSERT_EQ(tq_clone(kb.ctx(), &c), 0);
  tq_context* editor = clones[2];
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      tq_context* ctx = clones[t];
      if (tq_locale_set(ctx, static_cast<int32_t>(kEn)) != 0) ++wrong;
      tq_guess_info* info = nullptr;
      if (t == 1 && tq_guess_info_init(ctx, &info) != 0) ++wrong;
      const uint32_t list[] = {kEn};
      for (int i = 0; i < 60 && !stop; ++i) {
        uint32_t s = 0;
        if (tq_guess_locale_score_with_info(ctx, "Element", "John Smith", kEn, &s, info) != 0 || s != 500) ++wrong;
        uint32_t g = 0;
        if (tq_guess_locale(ctx, "Phrase", "John Smith", list, nullptr, 1, &g) != 0 || g != kEn) ++wrong;
      }
      tq_guess_info_free(ctx, info);
    });
  }
  for (int i = 0; i < 20; ++i) {
    // Loading and unloading a locale changes the shared state under the
    // write hold while the clones read it.
    EXPECT_EQ(tq_zel_locale_load(editor, static_cast<int32_t>(kIt), kMask), 0) << error_list_text(editor);
    EXPECT_EQ(tq_zel_locale_unload(editor, static_cast<int32_t>(kIt)), 0) << error_list_text(editor);
  }
  stop = true;
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
  for (auto& c : clones) tq_close(c);
}

}  // namespace

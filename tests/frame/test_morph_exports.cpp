// The morph analyzer info exports through the frame: which index each one
// bounds by the number of chopped words, which only by the 128 analysed
// slots, and which by the vocabulary count or a category position. (The
// NULL guards of every row are the export walk's, tests/api.)
#include <functional>
#include <string>
#include <vector>

#include "parse/krmorph.h"
#include "resources/krchop.h"
#include "resources/krregx.h"
#include "resources/krvcld.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using Info = tq_morph_analyzer_info;

struct Case {
  const char* name;
  std::function<int32_t(tq_context*, Info*, int32_t)> call;
  std::vector<int32_t> ok;       // indexes that give 0
  std::vector<int32_t> refused;  // indexes that give -800
};

TEST(MorphExports, IndexRulesOfEveryGetter) {
  tq_test::Context ctx;
  // "Dr. John 42": three chopped words; one vocabulary (empty), one
  // normalization library; word 2 gets "NUM".
  std::vector<defn_vocab> vocabs(1);
  int32_t v = -1;
  ASSERT_EQ(vocabulary_create(ctx, &v), 0);
  vocabs[0].vocab = rsrc_ref::adopt(kRsrcVocab, v);
  std::vector<rsrc_ref> norm;
  int32_t r = -1;
  ASSERT_EQ(regexlib_create(ctx, "Strip", &r), 0);
  ASSERT_EQ(regexlib_element_array_size_set(ctx, r, 1), 0);
  ASSERT_EQ(regexlib_element_info_set(ctx, r, 0, "\\.+$", "", ""), 0);
  norm.push_back(rsrc_ref::adopt(kRsrcRegex, r));
  morph_options_rec opts;
  morph_options_init(ctx, &opts);
  ASSERT_EQ(morph_options_set(ctx, &opts, 1, norm.data(), nullptr, 0, nullptr, 1, 1, -1, 1, vocabs.data()), 0);
  word_list words{};
  ASSERT_EQ(chop_run(ctx, -1, "Dr. John 42", &words), 0);
  Info* info = nullptr;
  ASSERT_EQ(morph_info_create(&info), 0);
  analysed_word_list* out = nullptr;
  ASSERT_EQ(morph_analyze(ctx, &opts, &words, 0, &out, info), 0);

  char text[1032];
  uint32_t u = 0;
  int32_t n = 0;
  const std::vector<int32_t> words_ok = {0, 2};
  const std::vector<int32_t> past_words = {-1, 3, 128};
  const std::vector<Case> cases = {
      {"analyzed_word_string", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_analyzed_word_string_get(c, i, k, text); }, words_ok, past_words},
      {"uppercased_word", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_uppercased_word_get(c, i, k, text); }, words_ok, past_words},
      {"analyzed_word_norm", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_analyzed_word_norm_get(c, i, k, text); }, words_ok, past_words},
      {"norm_per_regexlib", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_analyzed_word_norm_per_regexlib_get(c, i, k, 5, text, &u); }, words_ok, past_words},
      {"analyzed_word_fuzzy", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_analyzed_word_fuzzy_get(c, i, k, text); }, words_ok, past_words},
      {"fuzzy_per_vocab", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_analyzed_word_fuzzy_per_vocab_get(c, i, k, 0, text); }, words_ok, past_words},
      {"cat_count", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_analyzed_word_cat_count_get(c, i, k, &u); }, words_ok, past_words},
      {"cat_count_per_vocab", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_analyzed_word_cat_count_per_vocab_get(c, i, k, 0, &u); }, words_ok, past_words},
      // Category j of word 2 ("NUM" only).
      {"cat_abbr j", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_analyzed_word_cat_abbr_get(c, i, 2, k, text); }, {0}, {-1, 1}},
      {"cat_like j", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_analyzed_word_cat_like_get(c, i, 2, k, &n); }, {0}, {-1, 1}},
      // No word has vocabulary results, so every j is past them.
      {"cat_abbr_per_vocab", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_analyzed_word_cat_abbr_per_vocab_get(c, i, k, 0, 0, text); }, {}, {0, 2, 3}},
      {"cat_like_per_vocab", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_analyzed_word_cat_like_per_vocab_get(c, i, k, 0, 0, &n); }, {}, {0, 2, 3}},
      {"fuzzy_enabled", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_fuzzy_enabled_get(c, i, k, &u); }, {0}, {-1, 1}},
      // Bounded by the 128 slots only.
      {"num_check_flag", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_num_check_flag_get(c, i, k, &u); }, {0, 3, 127}, {-1, 128}},
      {"cat_regex_info", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_cat_regex_info_get(c, i, k, "Strip", text, &n); }, {0, 3, 127}, {-1, 128}},
      {"cat_regex_info_per_regexlib", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_cat_regex_info_per_regexlib_get(c, i, k, 0, text, &n); }, {0, 3, 127}, {-1, 128}},
      {"default_cats_count", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_default_cats_count_get(c, i, k, &u); }, {0, 3, 127}, {-1, 128}},
      {"default_cats_info j", [&](tq_context* c, Info* i, int32_t k) { return tq_morph_analyzer_info_default_cats_info_get(c, i, 2, k, text, &n); }, {0}, {-1, 1}},
  };
  for (const Case& c : cases) {
    for (int32_t k : c.ok) EXPECT_EQ(c.call(ctx, info, k), 0) << c.name << " " << k;
    for (int32_t k : c.refused) {
      std::snprintf(text, sizeof text, "stale");
      EXPECT_EQ(c.call(ctx, info, k), TQ_ERR_INDEX) << c.name << " " << k;
      uint32_t errors = 0;
      tq_error_count_get(ctx, &errors);
      EXPECT_EQ(errors, 1u) << c.name;
    }
  }
  // A refused text getter leaves its output empty.
  EXPECT_EQ(tq_morph_analyzer_info_analyzed_word_string_get(ctx, info, 3, text), TQ_ERR_INDEX);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(tq_morph_analyzer_info_analyzed_word_cat_abbr_get(ctx, info, 2, 0, text), 0);
  EXPECT_STREQ(text, "NUM");
  EXPECT_EQ(tq_morph_analyzer_info_analyzed_word_list_count_get(ctx, info, &u), 0);
  EXPECT_EQ(u, 3u);

  morph_info_free(info);
  wordlist_free(&words);
  for (rsrc_ref& ref : norm) ref.release(ctx);
  for (defn_vocab& d : vocabs) d.vocab.release(ctx);
}

}  // namespace

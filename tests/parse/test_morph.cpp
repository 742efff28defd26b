// Word analysis on a small name vocabulary and two regex libraries: the
// categories each word gets, deletion of words that normalization empties,
// the morph info's record of every step, and the analysed lists' copies.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/krenc.h"
#include "kbstore/krdefn.h"
#include "parse/krmorph.h"
#include "resources/krchop.h"
#include "resources/krregx.h"
#include "resources/krvcld.h"
#include "resources/krwlst.h"
#include "support/alloc_counter.h"
#include "support/bare_context.h"

namespace {

using namespace tq;

struct VocabWord {
  const char* text;
  std::vector<std::pair<const char*, uint8_t>> cats;
};

// A vocabulary made in memory and registered; the reference is the caller's.
int32_t make_vocab(context* ctx, const std::vector<VocabWord>& words) {
  int32_t index = -1;
  EXPECT_EQ(vocabulary_create(ctx, &index), 0);
  vocab_rec* v = nullptr;
  EXPECT_EQ(vocab_get(ctx, index, &v), 0);
  std::vector<std::string> names;
  for (const VocabWord& w : words) {
    for (const auto& c : w.cats) {
      if (std::find(names.begin(), names.end(), c.first) == names.end()) names.emplace_back(c.first);
    }
  }
  EXPECT_EQ(vocab_clear(v, static_cast<uint32_t>(words.size()), static_cast<uint32_t>(names.size())), 0);
  for (size_t k = 0; k < names.size(); ++k) EXPECT_EQ(category_intern(ctx, &v->categories[k], names[k].c_str(), ""), 0);
  for (size_t i = 0; i < words.size(); ++i) {
    std::vector<vocab_pair> pairs;
    for (const auto& c : words[i].cats) {
      auto at = std::find(names.begin(), names.end(), c.first) - names.begin();
      pairs.push_back({static_cast<uint32_t>(at), c.second});
    }
    EXPECT_EQ(vocab_word_set(v, static_cast<uint32_t>(i), words[i].text, static_cast<uint32_t>(pairs.size()),
                             pairs.data()),
              0);
  }
  EXPECT_EQ(vocab_sort(v), 0);
  return index;
}

int32_t make_regexlib(context* ctx, const char* name, const char* regex, const char* sub) {
  int32_t index = -1;
  EXPECT_EQ(regexlib_create(ctx, name, &index), 0);
  EXPECT_EQ(regexlib_element_array_size_set(ctx, index, 1), 0);
  EXPECT_EQ(regexlib_element_info_set(ctx, index, 0, regex, sub, ""), 0);
  return index;
}

// The name knowledge: vocabulary DR:PREFIX 90; JOHN:GIVEN 90, FAMILY 30;
// SMITH:FAMILY 90; JR:SUFFIX 90; normalization "\.+$" -> ""; the
// categorization regexlib "Initials" ^[A-Za-z]\.?$ -> INITIAL 70 (stop).
struct NameKb {
  tq_test::BareContext bc;
  std::vector<rsrc_ref> norm;
  std::vector<defn_vocab> vocabs;
  cat_regexlib_entry initials{};
  std::vector<cat_regexlib_entry*> cats;
  default_category_list defaults{};
  morph_options_rec opts{};
  word_list words{};
  analysed_word_list* out = nullptr;

  NameKb() {
    context* c = ctx();
    vocabs.emplace_back();
    vocabs[0].vocab = rsrc_ref::adopt(kRsrcVocab, make_vocab(c, {{"DR", {{"PREFIX", 90}}},
                                                                 {"JOHN", {{"FAMILY", 30}, {"GIVEN", 90}}},
                                                                 {"SMITH", {{"FAMILY", 90}}},
                                                                 {"JR", {{"SUFFIX", 90}}}}));
    norm.push_back(rsrc_ref::adopt(kRsrcRegex, make_regexlib(c, "StripPeriods", "\\.+$", "")));
    cat_regexlib_entry_init(&initials);
    std::strcpy(initials.name, "INITIAL");
    initials.likelihood = 70;
    initials.stop = 1;
    initials.regexlib = make_regexlib(c, "Initials", "^[A-Za-z]\\.?$", "");
    EXPECT_EQ(cat_regexlib_entry_bind_grammar(c, &initials, -1), 0);
    cats.push_back(&initials);
    EXPECT_EQ(default_category_list_init(&defaults), 0);
    morph_options_init(c, &opts);
    set_options();
  }
  ~NameKb() {
    wordlist_free(&words);
    cat_regexlib_entry_free(ctx(), &initials, 0);
    default_category_list_free(&defaults);
    for (rsrc_ref& r : norm) r.release(ctx());
    for (defn_vocab& v : vocabs) v.vocab.release(ctx());
  }
  void set_options() {
    EXPECT_EQ(morph_options_set(ctx(), &opts, static_cast<int32_t>(norm.size()), norm.data(), cats.data(),
                                static_cast<int32_t>(cats.size()), &defaults, opts.numeric_check, opts.uppercase,
                                -1, static_cast<int32_t>(vocabs.size()), vocabs.data()),
              0);
  }
  context* ctx() { return bc.get(); }
  int32_t analyze(const char* value, morph_analyzer_info* info = nullptr, uint32_t flags = 0) {
    wordlist_free(&words);
    int32_t rc = chop_run(ctx(), -1, value, &words);
    EXPECT_EQ(rc, 0);
    return morph_analyze(ctx(), &opts, &words, flags, &out, info);
  }
  // "NAME/likelihood" per category of analysed position p.
  std::string cats_of(int32_t p) {
    std::string s;
    uint32_t n = 0;
    if (morph_word_list_cat_count(ctx(), out, p, &n) != 0) return "-800";
    for (uint32_t j = 0; j < n; ++j) {
      cat_entry* e = nullptr;
      EXPECT_EQ(morph_word_list_cat_get(ctx(), out, p, static_cast<int32_t>(j), &e), 0);
      s += (j ? " " : "") + std::string(e->category->name) + "/" + std::to_string(e->likelihood);
    }
    return s;
  }
};

struct Info {
  morph_analyzer_info* p = nullptr;
  Info() { EXPECT_EQ(morph_info_create(&p), 0); }
  ~Info() { morph_info_free(p); }
};

std::string text_of(int32_t rc, const char* buf) { return rc < 0 ? std::to_string(rc) : std::string(buf); }

TEST(Morph, NameValueGetsItsCategoriesAndTheInfoRecordsEachStep) {
  NameKb kb;
  Info info;
  context* c = kb.ctx();
  ASSERT_EQ(kb.analyze("Dr. John Q. Smith Jr.", info.p, kMorphKeepTexts), 0) << kb.bc.last_error();
  ASSERT_EQ(vec_count(kb.out), 5u);
  // A word's categories come in the vocabulary's stored order.
  const std::vector<std::string> expected = {"PREFIX/90", "FAMILY/30 GIVEN/90", "INITIAL/70", "FAMILY/90",
                                             "SUFFIX/90"};
  for (int32_t p = 0; p < 5; ++p) EXPECT_EQ(kb.cats_of(p), expected[p]) << p;
  EXPECT_EQ(kb.cats_of(5), "-800");
  EXPECT_STREQ(reinterpret_cast<awl_side*>(kb.out->user_data)->texts[4], "JR");

  char buf[1032];
  uint32_t n = 0;
  int32_t like = 0;
  EXPECT_EQ(morph_analyzer_info_analyzed_word_list_count_get(c, info.p, &n), 0);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(text_of(morph_analyzer_info_analyzed_word_string_get(c, info.p, 0, buf), buf), "Dr.");
  EXPECT_EQ(text_of(morph_analyzer_info_uppercased_word_get(c, info.p, 0, buf), buf), "DR.");
  EXPECT_EQ(text_of(morph_analyzer_info_analyzed_word_norm_get(c, info.p, 0, buf), buf), "DR");
  EXPECT_EQ(morph_analyzer_info_analyzed_word_cat_count_get(c, info.p, 1, &n), 0);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(text_of(morph_analyzer_info_analyzed_word_cat_abbr_get(c, info.p, 1, 0, buf), buf), "FAMILY");
  EXPECT_EQ(morph_analyzer_info_analyzed_word_cat_like_get(c, info.p, 1, 1, &like), 0);
  EXPECT_EQ(like, 90);
  EXPECT_EQ(morph_analyzer_info_analyzed_word_cat_count_per_vocab_get(c, info.p, 1, 0, &n), 0);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(text_of(morph_analyzer_info_analyzed_word_cat_abbr_per_vocab_get(c, info.p, 1, 1, 0, buf), buf), "GIVEN");
  EXPECT_EQ(morph_analyzer_info_analyzed_word_cat_abbr_per_vocab_get(c, info.p, 1, 2, 0, buf), TQ_ERR_INDEX);
  EXPECT_EQ(text_of(morph_analyzer_info_cat_regex_info_get(c, info.p, 2, "Initials", buf, &like), buf), "INITIAL");
  EXPECT_EQ(like, 70);
  EXPECT_EQ(text_of(morph_analyzer_info_cat_regex_info_per_regexlib_get(c, info.p, 2, 0, buf, &like), buf),
            "INITIAL");
  EXPECT_EQ(text_of(morph_analyzer_info_cat_regex_info_get(c, info.p, 1, "Initials", buf, &like), buf), "");
  uint32_t flag = 9;
  EXPECT_EQ(morph_analyzer_info_analyzed_word_norm_per_regexlib_get(c, info.p, 3, 0, buf, &flag), 0);
  EXPECT_EQ(std::string(buf) + "/" + std::to_string(flag), "SMITH/0");
  EXPECT_EQ(morph_analyzer_info_any_normalization_regexlib_matched_get(c, info.p, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(morph_analyzer_info_any_vocab_found_get(c, info.p, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(morph_analyzer_info_any_categorization_regexlib_matched_get(c, info.p, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(morph_analyzer_info_categorization_regexlib_count_get(c, info.p, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(morph_analyzer_info_fuzzy_enabled_get(c, info.p, 0, &flag), 0);
  EXPECT_EQ(flag, 0u);
  EXPECT_EQ(morph_analyzer_info_fuzzy_enabled_get(c, info.p, 1, &flag), TQ_ERR_INDEX);
  EXPECT_EQ(morph_analyzer_info_default_cats_count_get(c, info.p, 2, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(morph_info_word_index_adjust(c, info.p, 4), 4);
  EXPECT_EQ(morph_info_word_index_adjust(c, info.p, 5), -1);

  // The info keeps its own category records: it reads the same once the
  // vocabulary is gone.
  for (defn_vocab& v : kb.vocabs) v.vocab.release(c);
  EXPECT_EQ(text_of(morph_analyzer_info_analyzed_word_cat_abbr_get(c, info.p, 3, 0, buf), buf), "FAMILY");
}

TEST(Morph, FallbacksRunOnlyForWordsNoVocabularyKnows) {
  NameKb kb;
  Info info;
  context* c = kb.ctx();
  // Digits: "NUM" 50. A digit that a categorization regexlib matches gets
  // no "NUM"; an unknown word gets the defaults.
  cat_regexlib_entry sevens{};
  cat_regexlib_entry_init(&sevens);
  std::strcpy(sevens.name, "ROOM");
  sevens.likelihood = 60;
  sevens.regexlib = make_regexlib(c, "Sevens", "^7+$", "");
  ASSERT_EQ(cat_regexlib_entry_bind_grammar(c, &sevens, -1), 0);
  kb.cats.push_back(&sevens);
  kb.set_options();
  ASSERT_EQ(default_category_add(c, &kb.defaults, "given", 20), 0);
  ASSERT_EQ(default_category_add(c, &kb.defaults, "family", 10), 0);
  ASSERT_EQ(kb.analyze("Dr. John 42 Smith 7 Zed", info.p), 0) << kb.bc.last_error();
  EXPECT_EQ(kb.cats_of(2), "NUM/50");
  EXPECT_EQ(kb.cats_of(4), "ROOM/60");
  EXPECT_EQ(kb.cats_of(5), "GIVEN/20 FAMILY/10");
  uint32_t flag = 9, n = 0;
  char buf[1032];
  int32_t like = 0;
  EXPECT_EQ(morph_analyzer_info_num_check_flag_get(c, info.p, 2, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(morph_analyzer_info_default_cats_count_get(c, info.p, 2, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(text_of(morph_analyzer_info_default_cats_info_get(c, info.p, 2, 0, buf, &like), buf), "NUM");
  EXPECT_EQ(like, 50);
  EXPECT_EQ(morph_analyzer_info_num_check_flag_get(c, info.p, 4, &flag), 0);
  EXPECT_EQ(flag, 0u);
  EXPECT_EQ(morph_analyzer_info_default_cats_count_get(c, info.p, 5, &n), 0);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(morph_analyzer_info_default_cats_info_get(c, info.p, 5, 2, buf, &like), TQ_ERR_INDEX);

  // Without the numeric check digits fall through to the defaults; the
  // uppercasing flag off keeps the case (and the vocabulary misses "Dr").
  kb.opts.numeric_check = 0;
  kb.opts.uppercase = 0;
  kb.set_options();
  ASSERT_EQ(kb.analyze("Dr 42", info.p), 0);
  EXPECT_EQ(kb.cats_of(0), "GIVEN/20 FAMILY/10");
  EXPECT_EQ(kb.cats_of(1), "GIVEN/20 FAMILY/10");
  EXPECT_EQ(text_of(morph_analyzer_info_uppercased_word_get(c, info.p, 0, buf), buf), "");

  // Options never set are refused.
  morph_options_rec unset;
  morph_options_init(c, &unset);
  EXPECT_EQ(morph_analyze(c, &unset, &kb.words, 0, &kb.out, nullptr), TQ_ERR_PARSER_UNBOUND);
  EXPECT_EQ(kb.out, nullptr);
  cat_regexlib_entry_free(c, &sevens, 0);
}

TEST(Morph, UppercasingFollowsTheLocaleAndFailuresPassThrough) {
  NameKb kb;
  Info info;
  context* c = kb.ctx();
  // Turkish special casing; German sharp s lengthens the word. (The getter
  // converts to the session encoding: UTF-8 here.)
  c->current_locale_code = 123000;
  c->session_encoding = kEncodingUtf8;
  ASSERT_EQ(kb.analyze("istanbul stra\xC3\x9F" "e", info.p, kMorphKeepTexts), 0);
  char buf[1032];
  EXPECT_EQ(text_of(morph_analyzer_info_uppercased_word_get(c, info.p, 0, buf), buf), "\xC4\xB0STANBUL");
  EXPECT_STREQ(reinterpret_cast<awl_side*>(kb.out->user_data)->texts[1], "STRASSE");
  c->current_locale_code = 0;

  // A normalization library that is not there ends the analysis with the
  // registry's code.
  kb.norm.push_back(rsrc_ref::adopt(kRsrcRegex, 999));
  kb.set_options();
  EXPECT_EQ(kb.analyze("Dr", info.p), TQ_ERR_INDEX);
  kb.norm.back().forget();
}

TEST(Morph, VocabulariesMergeByNameAndStopOnlyAfterAHit) {
  NameKb kb;
  Info info;
  context* c = kb.ctx();
  // A second vocabulary that knows JOHN as GIVEN 50 and SMITH with fuzzy
  // lookup on; the first one's stop flag is set but it misses "SMYTH".
  kb.vocabs.emplace_back();
  kb.vocabs[1].vocab = rsrc_ref::adopt(kRsrcVocab, make_vocab(c, {{"JOHN", {{"GIVEN", 50}, {"NICK", 40}}},
                                                                   {"SMITH", {{"SURNAME", 80}}}}));
  kb.vocabs[1].fuzzy = {1, 70};
  kb.vocabs[0].stop = 1;
  kb.set_options();
  ASSERT_EQ(kb.analyze("John Smyth", info.p), 0) << kb.bc.last_error();
  // JOHN stops at the first vocabulary; SMYTH is missed by it and found by
  // the second one's fuzzy lookup.
  EXPECT_EQ(kb.cats_of(0), "FAMILY/30 GIVEN/90");
  EXPECT_EQ(kb.cats_of(1), "SURNAME/80");
  char buf[1032];
  uint32_t flag = 9;
  EXPECT_EQ(text_of(morph_analyzer_info_analyzed_word_fuzzy_get(c, info.p, 1, buf), buf), "SMITH");
  EXPECT_EQ(text_of(morph_analyzer_info_analyzed_word_fuzzy_per_vocab_get(c, info.p, 1, 0, buf), buf), "");
  EXPECT_EQ(text_of(morph_analyzer_info_analyzed_word_fuzzy_per_vocab_get(c, info.p, 1, 1, buf), buf), "SMITH");
  EXPECT_EQ(morph_analyzer_info_fuzzy_enabled_get(c, info.p, 1, &flag), 0);
  EXPECT_EQ(flag, 1u);

  // Without the stop, JOHN's GIVEN takes the later likelihood and NICK joins.
  kb.vocabs[0].stop = 0;
  ASSERT_EQ(kb.analyze("John", info.p), 0);
  EXPECT_EQ(kb.cats_of(0), "FAMILY/30 GIVEN/50 NICK/40");
  uint32_t n = 0;
  EXPECT_EQ(morph_analyzer_info_analyzed_word_cat_count_per_vocab_get(c, info.p, 0, 1, &n), 0);
  EXPECT_EQ(n, 2u);
  // The second analysis replaced the first's per-word results.
  EXPECT_EQ(morph_analyzer_info_analyzed_word_fuzzy_get(c, info.p, 1, buf), TQ_ERR_INDEX);
  EXPECT_EQ(morph_analyzer_info_fuzzy_enabled_get(c, info.p, 1, &flag), 0);
  EXPECT_EQ(flag, 0u);
}

TEST(Morph, EmptiedWordsAreDeletedAndMapBackAcrossRuns) {
  NameKb kb;
  Info info;
  context* c = kb.ctx();
  char buf[1032];
  uint32_t n = 9;
  // A first analysis leaves results that the second must not show.
  ASSERT_EQ(kb.analyze("Dr. John Q. Smith Jr.", info.p), 0);
  ASSERT_EQ(kb.analyze(". .. John ... Smith", info.p), 0) << kb.bc.last_error();
  ASSERT_EQ(vec_count(kb.out), 2u);
  EXPECT_EQ(wordlist_word_count(&kb.words), 2u);
  EXPECT_STREQ(wordlist_word_at(&kb.words, 0)->text, "John");
  EXPECT_EQ(kb.cats_of(1), "FAMILY/90");
  // Analysed position -> chopped word: 0 -> 2 over two deleted words, 1 -> 4.
  EXPECT_EQ(morph_info_word_index_adjust(c, info.p, 0), 2);
  EXPECT_EQ(morph_info_word_index_adjust(c, info.p, 1), 4);
  EXPECT_EQ(morph_info_word_index_adjust(c, info.p, 2), -1);
  EXPECT_EQ(morph_info_word_index_adjust(c, info.p, -1), -1);
  EXPECT_EQ(morph_analyzer_info_analyzed_word_list_count_get(c, info.p, &n), 0);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(morph_analyzer_info_analyzed_word_cat_count_get(c, info.p, 1, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(morph_analyzer_info_analyzed_word_cat_abbr_get(c, info.p, 1, 0, buf), TQ_ERR_INDEX);
  EXPECT_EQ(text_of(morph_analyzer_info_analyzed_word_cat_abbr_get(c, info.p, 2, 1, buf), buf), "GIVEN");
  EXPECT_EQ(text_of(morph_analyzer_info_analyzed_word_norm_get(c, info.p, 0, buf), buf), "");
  EXPECT_EQ(morph_analyzer_info_analyzed_word_cat_count_per_vocab_get(c, info.p, 0, 0, &n), 0);
  EXPECT_EQ(n, 0u);
  int32_t like = 9;
  EXPECT_EQ(text_of(morph_analyzer_info_cat_regex_info_get(c, info.p, 2, "Initials", buf, &like), buf), "");
  EXPECT_EQ(like, 0);
  EXPECT_EQ(morph_analyzer_info_categorization_regexlib_count_get(c, info.p, &n), 0);
  EXPECT_EQ(n, 0u);  // no word reached the categorization libraries
}

TEST(Morph, OnlyTheFirst128WordsAreAnalysed) {
  NameKb kb;
  Info info;
  context* c = kb.ctx();
  std::string value;
  for (int i = 0; i < 130; ++i) value += (i ? " " : "") + std::string(i % 2 ? "Smith" : "7");
  ASSERT_EQ(kb.analyze(value.c_str(), info.p), 0) << kb.bc.last_error();
  EXPECT_EQ(vec_count(kb.out), 128u);
  EXPECT_EQ(wordlist_word_count(&kb.words), 130u);
  char buf[1032];
  uint32_t n = 0;
  int32_t like = 0;
  EXPECT_EQ(text_of(morph_analyzer_info_analyzed_word_string_get(c, info.p, 129, buf), buf), "Smith");
  EXPECT_EQ(morph_analyzer_info_analyzed_word_string_get(c, info.p, 130, buf), TQ_ERR_INDEX);
  for (int32_t i : {128, 129}) {
    EXPECT_EQ(morph_analyzer_info_uppercased_word_get(c, info.p, i, buf), TQ_ERR_INDEX);
    EXPECT_EQ(morph_analyzer_info_analyzed_word_norm_get(c, info.p, i, buf), TQ_ERR_INDEX);
    EXPECT_EQ(morph_analyzer_info_analyzed_word_cat_count_get(c, info.p, i, &n), TQ_ERR_INDEX);
    EXPECT_EQ(morph_analyzer_info_num_check_flag_get(c, info.p, i, &n), TQ_ERR_INDEX);
    EXPECT_EQ(morph_analyzer_info_default_cats_info_get(c, info.p, i, 0, buf, &like), TQ_ERR_INDEX);
  }
  EXPECT_EQ(morph_info_word_index_adjust(c, info.p, 127), 127);
  EXPECT_EQ(morph_info_word_index_adjust(c, info.p, 128), -1);
}

TEST(Morph, WarmAnalysesAllocateNothingAndCopiesStandAlone) {
  NameKb kb;
  context* c = kb.ctx();
  ASSERT_EQ(kb.analyze("Dr. John Q. Smith Jr. 42 Zed"), 0);
  word_list words{};
  ASSERT_EQ(chop_run(c, -1, "Dr. John Q. Smith Jr. 42 Zed", &words), 0);
  {
    tq_test::AllocCounter counter;
    ASSERT_EQ(morph_analyze(c, &kb.opts, &words, kMorphKeepTexts, &kb.out, nullptr), 0);
    if (counter.available) {
      EXPECT_EQ(counter.allocations(), 0);
    }
  }
  wordlist_free(&words);

  // A deep heap copy owns its records; a pool copy lives in the pool.
  analysed_word_list* heap = nullptr;
  ASSERT_EQ(morph_word_list_copy(c, nullptr, kb.out, &heap, 1), 0);
  mempool pool{};
  ASSERT_EQ(mempool_init(&pool, 64), 0);
  mempool_enable_set(&pool, 1);
  analysed_word_list* pooled = nullptr;
  ASSERT_EQ(morph_word_list_copy(c, &pool, kb.out, &pooled, 0), 0);
  for (analysed_word_list* copy : {heap, pooled}) {
    ASSERT_EQ(vec_count(copy), 7u);
    cat_entry* e = nullptr;
    ASSERT_EQ(morph_word_list_cat_get(c, copy, 1, 1, &e), 0);
    EXPECT_STREQ(e->category->name, "GIVEN");
    EXPECT_STREQ(reinterpret_cast<awl_side*>(copy->user_data)->texts[5], "42");
  }
  cat_entry* original = nullptr;
  ASSERT_EQ(morph_word_list_cat_get(c, kb.out, 1, 1, &original), 0);
  cat_entry* copied = nullptr;
  ASSERT_EQ(morph_word_list_cat_get(c, heap, 1, 1, &copied), 0);
  EXPECT_NE(copied->category, original->category);
  ASSERT_EQ(morph_word_list_cat_get(c, pooled, 1, 1, &copied), 0);
  EXPECT_EQ(copied->category, original->category);
  morph_word_list_free(c, heap, 1);
  morph_word_list_free(c, pooled, 0);
  EXPECT_EQ(vec_count(pooled), 0u);
  mempool_free(&pool);
}

}  // namespace

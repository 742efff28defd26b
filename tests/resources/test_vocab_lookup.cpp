// The in-memory vocabulary and word lookup: exact, fuzzy and prefix.
#include <string>
#include <vector>

#include "resources/krvcld.h"
#include "resources/krvocb.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;

struct Vocab {
  tq_test::BareContext bc;
  vocab_rec* v = nullptr;
  // Words with one category "X" each (likelihood 50), sorted.
  explicit Vocab(const std::vector<std::string>& words) {
    EXPECT_EQ(vocab_rec_create(&v), 0);
    EXPECT_EQ(vocab_clear(v, static_cast<uint32_t>(words.size()), 1), 0);
    EXPECT_EQ(category_intern(bc.get(), &v->categories[0], "x", "Ex"), 0);
    vocab_pair pair{0, 50};
    for (uint32_t i = 0; i < words.size(); ++i) EXPECT_EQ(vocab_word_set(v, i, words[i].c_str(), 1, &pair), 0);
    EXPECT_EQ(vocab_sort(v), 0);
  }
  ~Vocab() { vocab_rec_destroy(v); }
  context* ctx() { return bc.get(); }
};

struct Prefix {
  uint32_t found;
  uint32_t finished;
};

Prefix step(Vocab& vocab, vocab_prefix_range* range, const char* text) {
  Prefix p{9, 9};
  EXPECT_EQ(vocab_prefix_lookup(vocab.ctx(), vocab.v, range, text, &p.found, &p.finished, nullptr), 0);
  return p;
}

TEST(VocabLookup, EmptyVocabularyFindsNothing) {
  Vocab vocab({});
  uint32_t found = 9;
  vocab_word_match match{};
  EXPECT_EQ(vocab_word_find_exact(vocab.v, "A", &found, &match), 0);
  EXPECT_EQ(found, 0u);
  EXPECT_EQ(vocab_word_lookup(vocab.ctx(), vocab.v, "A", 1, 0, &found, &match), 0);
  EXPECT_EQ(found, 0u);
  vocab_prefix_range range{};
  vocab_prefix_range_init(vocab.ctx(), vocab.v, &range);
  Prefix p = step(vocab, &range, "A");
  EXPECT_EQ(p.found, 0u);
  EXPECT_EQ(p.finished, 1u);
}

TEST(VocabLookup, ExactFillsTheMatch) {
  tq_test::BareContext bc;
  vocab_rec* v = nullptr;
  ASSERT_EQ(vocab_rec_create(&v), 0);
  ASSERT_EQ(vocab_clear(v, 3, 2), 0);
  ASSERT_EQ(category_intern(bc.get(), &v->categories[0], "zz", "Zed"), 0);
  ASSERT_EQ(category_intern(bc.get(), &v->categories[1], "aa", "Aye"), 0);
  vocab_pair main_pairs[2] = {{0, 70}, {1, 30}};  // ZZ 70, AA 30
  vocab_pair one{1, 90};
  ASSERT_EQ(vocab_word_set(v, 0, "STREET", 1, &one), 0);
  ASSERT_EQ(vocab_word_set(v, 1, "MAIN", 2, main_pairs), 0);
  ASSERT_EQ(vocab_word_set(v, 2, "\xC3\x89TAGE", 1, &one), 0);
  ASSERT_EQ(vocab_sort(v), 0);
  // Sorting the categories moved AA first; the pairs followed them.
  EXPECT_STREQ(v->categories[0].name, "AA");
  EXPECT_STREQ(v->categories[1].name, "ZZ");
  EXPECT_STREQ(v->words[0].text, "MAIN");
  EXPECT_STREQ(v->words[2].text, "\xC3\x89TAGE");  // bytes compared unsigned

  uint32_t found = 0;
  vocab_word_match match{};
  EXPECT_EQ(vocab_word_find_exact(v, "MAIN", &found, &match), 0);
  ASSERT_EQ(found, 1u);
  EXPECT_STREQ(match.text, "MAIN");
  ASSERT_EQ(match.category_count, 2u);
  EXPECT_STREQ(match.categories[0].category->name, "ZZ");
  EXPECT_EQ(match.categories[0].likelihood, 70u);
  EXPECT_STREQ(match.categories[1].category->name, "AA");
  EXPECT_EQ(match.categories[1].likelihood, 30u);
  EXPECT_EQ(vocab_word_find_exact(v, "\xC3\x89TAGE", &found, nullptr), 0);
  EXPECT_EQ(found, 1u);
  for (const char* miss : {"MAI", "MAINS", "main", "", "A", "ZZZ"}) {
    EXPECT_EQ(vocab_word_find_exact(v, miss, &found, &match), 0);
    EXPECT_EQ(found, 0u) << miss;
  }
  EXPECT_EQ(vocab_category_find(v, "AA"), 0);
  EXPECT_EQ(vocab_category_find(v, "aa"), -1);
  EXPECT_EQ(vocab_category_get(v, 2), nullptr);
  vocab_rec_destroy(v);
}

// The exact lookup through the hash index lands on the entry the binary
// search lands on (among twins too), and the index goes as soon as a word
// changes and comes back with the next sort.
void expect_same_as_search(const vocab_rec* v, const std::string& probe) {
  uint32_t found = 9;
  vocab_word_match match{};
  EXPECT_EQ(vocab_word_find_exact(v, probe.c_str(), &found, &match), 0);
  const int32_t at = vocab_word_search(v, probe.c_str());
  EXPECT_EQ(found, at >= 0 ? 1u : 0u) << probe;
  if (at >= 0 && found == 1) {
    EXPECT_EQ(match.text, v->words[at].text) << probe;
  }
}

TEST(VocabLookup, HashIndexFindsWhatTheSearchFinds) {
  std::vector<std::string> words = {"B", "B", "B", "A", "C", "C", "ABC", "AB", "\xC3\x9F" "E", "ZZ"};
  for (int i = 0; i < 3000; ++i) words.push_back("W" + std::to_string(i * 7919 % 100003));
  Vocab vocab(words);
  ASSERT_NE(vocab.v->index.slots, nullptr);
  std::vector<std::string> probes = words;
  for (const char* miss : {"", "A ", "Z", "ABCD", "W", "W100003", "\xC3\x9F"}) probes.push_back(miss);
  for (const std::string& p : probes) expect_same_as_search(vocab.v, p);

  // An edit drops the index; lookups search until the words are sorted again.
  const vocab_pair pair{0, 50};
  ASSERT_EQ(vocab_word_set(vocab.v, 0, "ZZZ", 1, &pair), 0);
  EXPECT_EQ(vocab.v->index.slots, nullptr);
  for (const char* p : {"ZZZ", "B", "ZZ"}) expect_same_as_search(vocab.v, p);
  ASSERT_EQ(vocab_sort(vocab.v), 0);
  ASSERT_NE(vocab.v->index.slots, nullptr);
  uint32_t found = 0;
  vocab_word_find_exact(vocab.v, "ZZZ", &found, nullptr);
  EXPECT_EQ(found, 1u);

  // Words out of order get no index; a word never set reads as "".
  vocab_rec* raw = nullptr;
  ASSERT_EQ(vocab_rec_create(&raw), 0);
  ASSERT_EQ(vocab_clear(raw, 3, 1), 0);
  ASSERT_EQ(vocab_word_set(raw, 0, "Q", 1, &pair), 0);
  ASSERT_EQ(vocab_word_set(raw, 1, "P", 1, &pair), 0);
  ASSERT_EQ(vocab_index_build(raw), 0);
  EXPECT_EQ(raw->index.slots, nullptr);
  ASSERT_EQ(vocab_sort(raw), 0);
  ASSERT_NE(raw->index.slots, nullptr);
  for (const char* p : {"", "P", "Q", "R"}) expect_same_as_search(raw, p);
  vocab_rec_destroy(raw);
}

TEST(VocabLookup, FuzzyThresholdEdges) {
  Vocab vocab({"ABDC"});
  uint32_t found = 0;
  vocab_word_match match{};
  // ABCD against ABDC scores exactly 0.75.
  EXPECT_EQ(vocab_word_lookup(vocab.ctx(), vocab.v, "ABCD", 1, 75, &found, &match), 0);
  EXPECT_EQ(found, 1u);
  EXPECT_STREQ(match.text, "ABDC");
  EXPECT_EQ(vocab_word_lookup(vocab.ctx(), vocab.v, "ABCD", 1, 76, &found, &match), 0);
  EXPECT_EQ(found, 0u);
  // Fuzzy off: only exact.
  EXPECT_EQ(vocab_word_lookup(vocab.ctx(), vocab.v, "ABCD", 0, 0, &found, &match), 0);
  EXPECT_EQ(found, 0u);
  // Threshold 100 takes only a perfect score. Scores compare uppercased
  // texts, but the first character must match as it is.
  EXPECT_EQ(vocab_word_find_fuzzy(vocab.ctx(), vocab.v, "ABCD", 100, &found, &match), 0);
  EXPECT_EQ(found, 0u);
  EXPECT_EQ(vocab_word_find_fuzzy(vocab.ctx(), vocab.v, "Abdc", 100, &found, &match), 0);
  EXPECT_EQ(found, 1u);
  EXPECT_EQ(vocab_word_find_fuzzy(vocab.ctx(), vocab.v, "abdc", 0, &found, &match), 0);
  EXPECT_EQ(found, 0u);
  // Threshold 0 succeeds whenever a word shares the first character.
  EXPECT_EQ(vocab_word_find_fuzzy(vocab.ctx(), vocab.v, "AZZZZZZZZ", 0, &found, &match), 0);
  EXPECT_EQ(found, 1u);
  // No word begins with B.
  EXPECT_EQ(vocab_word_find_fuzzy(vocab.ctx(), vocab.v, "BBDC", 0, &found, &match), 0);
  EXPECT_EQ(found, 0u);
}

TEST(VocabLookup, FuzzyRefusesBadArguments) {
  Vocab vocab({"ABDC"});
  uint32_t found = 7;
  EXPECT_EQ(vocab_word_find_fuzzy(nullptr, vocab.v, "A", 50, &found, nullptr), -100);
  EXPECT_EQ(found, 0u);
  EXPECT_EQ(vocab_word_find_fuzzy(vocab.ctx(), vocab.v, nullptr, 50, &found, nullptr), -802);
  EXPECT_EQ(vocab.bc.last_error(), "'word' is null.");
  EXPECT_EQ(vocab_word_find_fuzzy(vocab.ctx(), vocab.v, "", 50, &found, nullptr), -802);
  EXPECT_EQ(vocab.bc.last_error(), "'word' is empty.");
  EXPECT_EQ(vocab_word_find_fuzzy(vocab.ctx(), vocab.v, "A", -1, &found, nullptr), -802);
  EXPECT_EQ(vocab.bc.last_error(), "threshold < 0");
  EXPECT_EQ(vocab_word_find_fuzzy(vocab.ctx(), vocab.v, "A", 101, &found, nullptr), -802);
  EXPECT_EQ(vocab.bc.last_error(), "threshold > 100");
  // The combined lookup passes the failure on.
  EXPECT_EQ(vocab_word_lookup(vocab.ctx(), vocab.v, "AX", 1, 101, &found, nullptr), -802);
  // An undecodable first character.
  EXPECT_EQ(vocab_word_find_fuzzy(vocab.ctx(), vocab.v, "\xFF" "A", 50, &found, nullptr), -10000);
}

TEST(VocabLookup, FuzzyTiesGoToTheAnchorThenDownwards) {
  uint32_t found = 0;
  vocab_word_match match{};
  {
    // "A" scores 0.75 against AB, AC and AD; the search anchors on AC.
    Vocab vocab({"AB", "AC", "AD"});
    EXPECT_EQ(vocab_word_find_fuzzy(vocab.ctx(), vocab.v, "A", 50, &found, &match), 0);
    ASSERT_EQ(found, 1u);
    EXPECT_STREQ(match.text, "AC");
  }
  {
    // Anchored on ABC (0.67); AB below and AC above both score 0.75.
    Vocab vocab({"AB", "ABC", "AC"});
    EXPECT_EQ(vocab_word_find_fuzzy(vocab.ctx(), vocab.v, "A", 50, &found, &match), 0);
    ASSERT_EQ(found, 1u);
    EXPECT_STREQ(match.text, "AB");
  }
  {
    // The scan stops at words of another first character.
    Vocab vocab({"A", "B", "BA", "BB", "C"});
    EXPECT_EQ(vocab_word_find_fuzzy(vocab.ctx(), vocab.v, "BX", 50, &found, &match), 0);
    ASSERT_EQ(found, 1u);
    EXPECT_EQ(match.text[0], 'B');
  }
}

TEST(VocabLookup, PrefixSteps) {
  Vocab vocab({"AB", "ABC", "ABD"});
  vocab_prefix_range range{};
  vocab_prefix_range_init(vocab.ctx(), vocab.v, &range);
  Prefix p = step(vocab, &range, "A");
  EXPECT_EQ(p.found, 0u);
  EXPECT_EQ(p.finished, 0u);
  vocab_word_match match{};
  uint32_t found = 0;
  uint32_t finished = 9;
  EXPECT_EQ(vocab_prefix_lookup(vocab.ctx(), vocab.v, &range, "AB", &found, &finished, &match), 0);
  EXPECT_EQ(found, 1u);
  EXPECT_EQ(finished, 0u);
  EXPECT_STREQ(match.text, "AB");
  p = step(vocab, &range, "ABC");
  EXPECT_EQ(p.found, 1u);
  EXPECT_EQ(p.finished, 1u);
  // A finished range: found cleared, finished untouched.
  found = 5;
  finished = 7;
  EXPECT_EQ(vocab_prefix_lookup(vocab.ctx(), vocab.v, &range, "ABCD", &found, &finished, nullptr), 0);
  EXPECT_EQ(found, 0u);
  EXPECT_EQ(finished, 7u);

  vocab_prefix_range_init(vocab.ctx(), vocab.v, &range);
  step(vocab, &range, "A");
  step(vocab, &range, "AB");
  p = step(vocab, &range, "ABX");
  EXPECT_EQ(p.found, 0u);
  EXPECT_EQ(p.finished, 1u);

  // Before every word, and after every word.
  vocab_prefix_range_init(vocab.ctx(), vocab.v, &range);
  p = step(vocab, &range, "0");
  EXPECT_EQ(p.found, 0u);
  EXPECT_EQ(p.finished, 1u);
  vocab_prefix_range_init(vocab.ctx(), vocab.v, &range);
  p = step(vocab, &range, "Z");
  EXPECT_EQ(p.found, 0u);
  EXPECT_EQ(p.finished, 1u);

  EXPECT_EQ(vocab_prefix_compare("AB", "ABC"), 0);
  EXPECT_EQ(vocab_prefix_compare("AB", "AB"), 0);
  EXPECT_EQ(vocab_prefix_compare("ABC", "AB"), 1);
  EXPECT_EQ(vocab_prefix_compare("ABC", "ABD"), -1);
  EXPECT_EQ(vocab_prefix_compare("\xC3", "A"), 1);
}

TEST(VocabLookup, PrefixFindsTheLongestWordOfALargeVocabulary) {
  std::vector<std::string> words;
  for (char a = 'A'; a <= 'Z'; ++a) {
    for (char b = 'A'; b <= 'Z'; ++b) words.push_back(std::string{a, b});
  }
  words.push_back("MNOPQ");
  words.push_back("MNO");
  Vocab vocab(words);
  vocab_prefix_range range{};
  vocab_prefix_range_init(vocab.ctx(), vocab.v, &range);
  const std::string text = "MNOPQRS";
  std::string longest;
  for (size_t n = 1; n <= text.size(); ++n) {
    uint32_t found = 0;
    uint32_t finished = 0;
    std::string prefix = text.substr(0, n);
    vocab_prefix_lookup(vocab.ctx(), vocab.v, &range, prefix.c_str(), &found, &finished, nullptr);
    if (found) longest = prefix;
    if (finished) break;
  }
  EXPECT_EQ(longest, "MNOPQ");
}

TEST(VocabRecord, PoolsAndBounds) {
  tq_test::BareContext bc;
  vocab_rec* v = nullptr;
  ASSERT_EQ(vocab_rec_create(&v), 0);
  const uint32_t n = 3000;
  ASSERT_EQ(vocab_clear(v, n, 1), 0);
  std::vector<vocab_pair> pairs(256, vocab_pair{0, 10});
  std::string long_word(kVocabWordMax, 'W');
  // Enough text and pairs to fill many chunks; every block stays aligned.
  for (uint32_t i = 0; i < n; ++i) {
    std::string w = long_word.substr(0, 1 + (i * 37) % kVocabWordMax) + std::to_string(i);
    if (w.size() > kVocabWordMax) w.resize(kVocabWordMax);
    ASSERT_EQ(vocab_word_set(v, i, w.c_str(), 255, pairs.data()), 0) << i;
    ASSERT_EQ(reinterpret_cast<uintptr_t>(v->words[i].pairs) % alignof(vocab_pair), 0u);
  }
  EXPECT_EQ(vocab_word_set(v, 0, "X", 256, pairs.data()), -802);
  EXPECT_EQ(vocab_word_set(v, 0, (long_word + "W").c_str(), 1, pairs.data()), -802);
  EXPECT_EQ(vocab_word_set(v, n, "X", 1, pairs.data()), -802);
  EXPECT_EQ(vocab_text_pool_alloc(&v->texts, kVocabChunkSize + 1), nullptr);
  EXPECT_NE(vocab_text_pool_alloc(&v->texts, kVocabChunkSize), nullptr);
  vocab_rec_destroy(v);

  char out[16];
  EXPECT_EQ(vocab_name_cut("abc.zev", out, sizeof out), 0);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(vocab_name_cut("a.zev", out, sizeof out), 0);
  EXPECT_STREQ(out, "a");
  EXPECT_EQ(vocab_name_cut(".zev", out, sizeof out), 0);
  EXPECT_STREQ(out, ".zev");
  EXPECT_EQ(vocab_name_cut("abc.ZEV", out, sizeof out), 0);
  EXPECT_STREQ(out, "abc.ZEV");
  EXPECT_EQ(vocab_name_cut("abc.xml", out, sizeof out), 0);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(vocab_name_cut("a-long-name.krv", out, sizeof out), 0);
  EXPECT_STREQ(out, "a-long-name");
  EXPECT_EQ(vocab_name_cut("a-very-long-name.krv", out, sizeof out), -1);
}

}  // namespace

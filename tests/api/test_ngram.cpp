// N-gram profiles and iterators through the exported family.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/tq_test.h"

namespace {

using tq_test::Context;
using Grams = std::vector<std::pair<std::string, uint32_t>>;

struct Profile {
  tq_context* ctx;
  tq_ngram_profile* p = nullptr;
  explicit Profile(tq_context* c) : ctx(c) { EXPECT_EQ(tq_ngram_profile_create(ctx, &p), 0); }
  ~Profile() {
    if (p != nullptr) {
      EXPECT_EQ(tq_ngram_profile_free(ctx, p), 0);
    }
  }
  Grams walk() const {
    Grams out;
    tq_ngram_iterator* it = nullptr;
    EXPECT_EQ(tq_ngram_iterator_create(ctx, &it), 0);
    EXPECT_EQ(tq_ngram_iterator_init(ctx, p, it), 0);
    uint32_t done = 0;
    for (int guard = 0; guard < 1000 && tq_ngram_iterator_done(ctx, it, &done) == 0 && done == 0; ++guard) {
      char gram[1028];
      uint32_t count = 0;
      EXPECT_EQ(tq_ngram_iterator_next(ctx, it, gram, &count), 0);
      out.emplace_back(gram, count);
    }
    char gram[1028];
    uint32_t count = 0;
    EXPECT_EQ(tq_ngram_iterator_next(ctx, it, gram, &count), -1);
    EXPECT_EQ(tq_ngram_iterator_free(ctx, it), 0);
    return out;
  }
  std::pair<uint32_t, uint32_t> counts() const {
    uint32_t total = 0, unique = 0;
    EXPECT_EQ(tq_ngram_profile_total_count_get(ctx, p, &total), 0);
    EXPECT_EQ(tq_ngram_profile_unique_count_get(ctx, p, &unique), 0);
    return {total, unique};
  }
};

TEST(NgramProfile, TextsMakeTheirNgrams) {
  Context edit(nullptr, true);
  struct Case {
    uint32_t options;
    uint32_t window;
    std::vector<std::pair<std::string, uint32_t>> adds;  // text, weight
    uint32_t total;
    Grams grams;
  };
  const std::string a300(300, 'a');
  const Case cases[] = {
      // One blank stands for the run; nothing else.
      {4, 3, {{"A  B", 1}}, 1, {{"A B", 1}}},
      // The default options: markers, uppercased.
      {6, 3, {{"ab", 1}}, 2, {{"\x02" "AB", 1}, {"AB\x03", 1}}},
      {6, 2, {{"abab", 1}}, 5, {{"\x02" "A", 1}, {"AB", 2}, {"BA", 1}, {"B\x03", 1}}},
      // The weight adds to the count; the total counts occurrences.
      {0, 3, {{"abc", 5}, {"abc", 5}}, 2, {{"ABC", 10}}},
      {1, 3, {{"abc", 5}, {"abc", 5}}, 2, {{"abc", 10}}},
      // Without squashing white space stays as it is.
      {0, 3, {{"a\tb  c", 1}}, 4, {{"A\tB", 1}, {"\tB ", 1}, {"B  ", 1}, {"  C", 1}}},
      // Only the first 256 code points.
      {0, 3, {{a300, 1}}, 254, {{"AAA", 254}}},
      // Shorter than the window, and a window of 0: nothing.
      {6, 4, {{"a", 1}}, 0, {}},
      {0, 0, {{"abc", 1}}, 0, {}},
      // Leading and trailing runs become one blank each.
      {6, 3, {{"  x ", 1}}, 3, {{"\x02 X", 1}, {" X ", 1}, {"X \x03", 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.grams.empty() ? std::string("(none)") : c.grams[0].first);
    Profile p(edit);
    ASSERT_EQ(tq_ngram_profile_options_set(edit, p.p, c.options), 0);
    ASSERT_EQ(tq_ngram_profile_window_size_set(edit, p.p, c.window), 0);
    for (const auto& [text, weight] : c.adds) EXPECT_EQ(tq_ngram_profile_update(edit, p.p, text.c_str(), weight), 0);
    EXPECT_EQ(p.counts(), std::make_pair(c.total, static_cast<uint32_t>(c.grams.size())));
    EXPECT_EQ(p.walk(), c.grams);
  }
}

TEST(NgramProfile, DefaultsClearAndSessionText) {
  Context edit(nullptr, true);
  Profile p(edit);
  uint32_t options = 0;
  EXPECT_EQ(tq_ngram_profile_options_get(edit, p.p, &options), 0);
  EXPECT_EQ(options, 6u);
  EXPECT_EQ(tq_ngram_profile_update(edit, p.p, "abc", 1), 0);
  EXPECT_EQ(tq_ngram_profile_clear(edit, p.p), 0);
  EXPECT_EQ(p.counts(), std::make_pair(0u, 0u));
  EXPECT_TRUE(p.walk().empty());
  // Texts cross in the session encoding (ISO-8859-1 here): e-acute.
  ASSERT_EQ(tq_ngram_profile_options_set(edit, p.p, 0), 0);
  EXPECT_EQ(tq_ngram_profile_update(edit, p.p, "caf\xe9", 1), 0);
  EXPECT_EQ(p.walk(), (Grams{{"CAF", 1}, {"AF\xc9", 1}}));
}

TEST(NgramIterator, NoticesClearFreeAndWindowChanges) {
  Context edit(nullptr, true);
  tq_ngram_iterator* it = nullptr;
  ASSERT_EQ(tq_ngram_iterator_create(edit, &it), 0);
  char gram[1028];
  uint32_t count = 0, done = 0;
  // Never initialised: done, and next has nothing.
  EXPECT_EQ(tq_ngram_iterator_done(edit, it, &done), 0);
  EXPECT_EQ(done, 1u);
  EXPECT_EQ(tq_ngram_iterator_next(edit, it, gram, &count), -1);
  {
    Profile p(edit);
    ASSERT_EQ(tq_ngram_profile_options_set(edit, p.p, 0), 0);
    ASSERT_EQ(tq_ngram_profile_update(edit, p.p, "abcd", 1), 0);
    ASSERT_EQ(tq_ngram_iterator_init(edit, p.p, it), 0);
    // A cleared profile: the iterator stops rather than read what is gone.
    ASSERT_EQ(tq_ngram_profile_clear(edit, p.p), 0);
    ASSERT_EQ(tq_ngram_profile_update(edit, p.p, "abcd", 1), 0);
    EXPECT_EQ(tq_ngram_iterator_next(edit, it, gram, &count), -1);
    // Keys keep their own length after the window changes.
    ASSERT_EQ(tq_ngram_iterator_init(edit, p.p, it), 0);
    ASSERT_EQ(tq_ngram_profile_window_size_set(edit, p.p, 40), 0);
    EXPECT_EQ(tq_ngram_iterator_next(edit, it, gram, &count), 0);
    EXPECT_STREQ(gram, "ABC");
    EXPECT_EQ(count, 1u);
  }
  // The profile was freed under the iterator.
  EXPECT_EQ(tq_ngram_iterator_done(edit, it, &done), 0);
  EXPECT_EQ(done, 1u);
  EXPECT_EQ(tq_ngram_iterator_next(edit, it, gram, &count), -1);
  EXPECT_EQ(tq_ngram_iterator_free(edit, it), 0);
  EXPECT_EQ(tq_ngram_iterator_free(edit, nullptr), 0);
}

TEST(NgramProfile, RulesOfTheFamily) {
  Context plain;
  Context edit(nullptr, true);
  tq_ngram_profile* p = nullptr;
  EXPECT_EQ(tq_ngram_profile_create(plain, &p), -501);
  tq_ngram_iterator* it = nullptr;
  EXPECT_EQ(tq_ngram_iterator_create(plain, &it), 0);
  EXPECT_EQ(tq_ngram_iterator_free(plain, it), 0);
}

}  // namespace

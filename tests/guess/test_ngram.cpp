// Finalizing n-gram profiles: log-probabilities smoothed by the n-grams
// sharing a prefix, and the summary score over the best values.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "guess/krgcase.h"
#include "guess/krngram.h"
#include "platform/npuchar.h"
#include "support/bare_context.h"

namespace {

using namespace tq;

TEST(NgramFinalize, BestValuesCountAndSmoothing) {
  tq_test::BareContext bc;
  const struct {
    uint32_t distinct;
    uint32_t best;  // values averaged: a thousandth of the distinct n-grams, at least 1
  } cases[] = {{0, 1}, {999, 1}, {3500, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.distinct);
    ngram_profile* p = nullptr;
    ASSERT_EQ(ngram_profile_create(bc.get(), &p), 0);
    // N-grams (i, 7, 7): each prefix of one code point its own; counts 1 to
    // the distinct count, the highest counts last.
    for (uint32_t i = 0; i < c.distinct; ++i) {
      const int32_t key[] = {static_cast<int32_t>(100 + i), 7, 7};
      ASSERT_EQ(ngram_profile_add(p, key, 3, i + 1), 0);
    }
    ASSERT_EQ(ngram_profile_finalize(bc.get(), p), 0);
    EXPECT_EQ(p->state, kNgramFinalized);
    double expected = kNgramNoScore;
    if (c.distinct > 0) {
      double sum = 0.0;
      for (uint32_t k = 0; k < c.best; ++k) sum += std::log((static_cast<double>(c.distinct - k) + 1.0) / 257.0);
      expected = sum / c.best;
    }
    EXPECT_DOUBLE_EQ(p->score, expected);
    // Finalizing again changes nothing.
    const double score = p->score;
    ASSERT_EQ(ngram_profile_finalize(bc.get(), p), 0);
    EXPECT_EQ(p->score, score);
    // Shared prefixes smooth: two n-grams of prefix 9 divide by 258.
    ngram_profile_clear(bc.get(), p);
    const int32_t a[] = {9, 1, 1};
    const int32_t b[] = {9, 2, 2};
    ASSERT_EQ(ngram_profile_add(p, a, 3, 3), 0);
    ASSERT_EQ(ngram_profile_add(p, b, 3, UINT32_MAX), 0);
    ASSERT_EQ(ngram_profile_add(p, b, 3, 5), 0);  // saturates
    EXPECT_EQ(ngram_profile_find(p, b, 3)->count, UINT32_MAX);
    ASSERT_EQ(ngram_profile_finalize(bc.get(), p), 0);
    EXPECT_DOUBLE_EQ(ngram_profile_find(p, a, 3)->logp, std::log(4.0 / 258.0));
    ngram_profile_free(bc.get(), p);
  }
}

// Keys longer than an entry holds, and many clears of a warm profile: what
// a clear dropped is never found again, whatever was added before it.
TEST(NgramProfile, LongKeysAndRepeatedClears) {
  tq_test::BareContext bc;
  ngram_profile* p = nullptr;
  ASSERT_EQ(ngram_profile_create(bc.get(), &p), 0);
  for (uint32_t window : {3u, 6u}) {
    SCOPED_TRACE(window);
    p->window = window;
    for (uint32_t round = 0; round < 600; ++round) {
      ngram_profile_clear(bc.get(), p);
      // Round r: the codes r .. r + 9, then the first window again.
      int32_t codes[16];
      for (uint32_t i = 0; i < 10; ++i) codes[i] = static_cast<int32_t>(round + i);
      for (uint32_t i = 0; i < window; ++i) codes[10 + i] = codes[i];
      const uint32_t len = 10 + window;
      for (uint32_t i = 0; i + window <= len; ++i) ASSERT_EQ(ngram_profile_add(p, codes + i, window, 1), 0);
      ASSERT_EQ(p->entries.size(), 10u);  // the last window repeats the first
      const ngram_entry* first = ngram_profile_find(p, codes, window);
      ASSERT_NE(first, nullptr);
      EXPECT_EQ(first, &p->entries[0]);
      EXPECT_EQ(first->count, 2u);
      EXPECT_TRUE(std::equal(codes, codes + window, ngram_entry_key(p, *first)));
      // The previous round's first n-gram started one code point lower.
      const int32_t before[6] = {codes[0] - 1, codes[0], codes[1], codes[2], codes[3], codes[4]};
      EXPECT_EQ(ngram_profile_find(p, before, window), nullptr);
    }
  }
  ngram_profile_free(bc.get(), p);
}

// The direct uppercasing of the guessing layer gives what the case mapping
// gives: every two-byte character between ASCII letters, and texts that
// mix in characters the direct path leaves to it.
TEST(GuessUpper, AgreesWithTheCaseMapping) {
  std::vector<std::string> texts = {"Stra\xC3\x9F" "e", "\xC5\x89" "ab", "x\xE2\x84\xAAy \xC4\xB1i", "\xC3",
                                    "a\xC3("};
  for (uint32_t c = 0x80; c < 0x800; ++c) {
    const char ch[3] = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F)), '\0'};
    texts.push_back(std::string("ab") + ch + "z");
  }
  for (const std::string& t : texts) {
    SCOPED_TRACE(t);
    char direct[1025];
    char mapped[1025];
    std::snprintf(direct, sizeof direct, "%s", t.c_str());
    guess_upper_current_locale(nullptr, direct, sizeof direct);
    if (np_uchar_upper_cs(t.c_str(), mapped, sizeof mapped, nullptr) < 0) {
      std::snprintf(mapped, sizeof mapped, "%s", t.c_str());
    }
    EXPECT_STREQ(direct, mapped);
  }
}

}  // namespace

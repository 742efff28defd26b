// Finalizing n-gram profiles: log-probabilities smoothed by the n-grams
// sharing a prefix, and the summary score over the best values.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "guess/krgcase.h"
#include "core/krerr.h"
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

// count_text counts again exactly when the text's bytes, the options, the
// window or the casing language differ from its last count, or the profile
// changed since; either way the profile holds what a clear and an update
// give.
TEST(NgramProfile, CountTextCountsAgainOnlyWhenSomethingDiffers) {
  tq_test::BareContext bc;
  context* ctx = bc.get();
  constexpr uint32_t kSq = kNgramSquashSpace;
  constexpr uint32_t kBe = kNgramSquashSpace | kNgramBookends;
  constexpr uint32_t kKeep = kNgramSquashSpace | kNgramKeepCase;
  enum Between { kNothing, kAdd, kClear };
  const struct {
    const char* text;
    uint32_t options;
    uint32_t window;
    int32_t locale;  // the current locale's code: 123000 cases as Turkish
    Between between;
    bool counted;
  } steps[] = {
      {"the end", kSq, 3, 0, kNothing, true},     {"the end", kSq, 3, 0, kNothing, false},
      {"the end", kSq, 2, 0, kNothing, true},     {"the end", kBe, 2, 0, kNothing, true},
      {"the end", kBe, 2, 0, kNothing, false},    {"the enD", kBe, 2, 0, kNothing, true},
      {"the en", kBe, 2, 0, kNothing, true},      {"the end", kBe, 2, 0, kAdd, true},
      {"the end", kBe, 2, 0, kClear, true},       {"istanbul", kSq, 3, 0, kNothing, true},
      {"istanbul", kSq, 3, 123000, kNothing, true}, {"istanbul", kSq, 3, 123000, kNothing, false},
      {"istanbul", kSq, 3, 29000, kNothing, true}, {"istanbul", kKeep, 3, 29000, kNothing, true},
      {"istanbul", kKeep, 3, 123000, kNothing, false}, {"", kSq, 3, 0, kNothing, true},
      {"", kSq, 3, 0, kNothing, false},
  };
  ngram_profile* p = nullptr;
  ngram_profile* fresh = nullptr;
  ASSERT_EQ(ngram_profile_create(ctx, &p), 0);
  ASSERT_EQ(ngram_profile_create(ctx, &fresh), 0);
  for (size_t i = 0; i < std::size(steps); ++i) {
    const auto& s = steps[i];
    SCOPED_TRACE(i);
    const int32_t en[] = {'E', 'N'};
    if (s.between == kAdd) {
      ASSERT_EQ(ngram_profile_add(p, en, 2, 1), 0);
    }
    if (s.between == kClear) ngram_profile_clear(ctx, p);
    ctx->current_locale_code = s.locale;
    p->options = fresh->options = s.options;
    p->window = fresh->window = s.window;
    const uint32_t generation = p->generation;
    const ngram_key* keys = nullptr;
    ASSERT_EQ(ngram_profile_count_text(ctx, p, s.text, &keys), 0);
    EXPECT_EQ(p->generation != generation, s.counted);
    ngram_profile_clear(ctx, fresh);
    ASSERT_EQ(ngram_profile_update_text(ctx, fresh, s.text, 1), 0);
    EXPECT_EQ(p->total, fresh->total);
    ASSERT_EQ(p->entries.size(), fresh->entries.size());
    for (size_t k = 0; k < p->entries.size(); ++k) {
      const ngram_entry& a = p->entries[k];
      const ngram_entry& b = fresh->entries[k];
      EXPECT_TRUE(a.n == b.n && a.count == b.count && std::equal(a.key, a.key + a.n, b.key)) << k;
      EXPECT_EQ(ngram_profile_find_key(fresh, keys[k]), &b) << k;
    }
  }
  // A text that cannot be decoded fails every time.
  const ngram_key* keys = nullptr;
  EXPECT_EQ(ngram_profile_count_text(ctx, p, "a\xC3(", &keys), TQ_ERR_INVALID_CHAR);
  EXPECT_EQ(ngram_profile_count_text(ctx, p, "a\xC3(", &keys), TQ_ERR_INVALID_CHAR);
  ngram_profile_free(ctx, fresh);
  ngram_profile_free(ctx, p);
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

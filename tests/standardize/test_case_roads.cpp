// The two roads of upper- and lowercasing with no definition: the whole
// value cased by one call of the character library (taken without a case
// info) and the word road (taken with one). Both must give the same bytes
// for every locale's special casing, every output size and every kind of
// text, ill-formed ones included; title casing through UTF-16 must give
// what ICU's UTF-8 title casing gives; and a warm context cases without
// allocating.
#include <gtest/gtest.h>
#include <unicode/ucasemap.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/npuchar.h"
#include "standardize/krcase.h"
#include "standardize/krcdef.h"
#include "standardize/krstctx.h"
#include "support/alloc_counter.h"
#include "support/bare_context.h"

namespace {

using tq_test::BareContext;

// No special casing, Turkish, Azeri, Lithuanian.
constexpr int32_t kLocales[] = {0, 123792, 800440, 803230};

std::string repeat(const std::string& s, int n) {
  std::string r;
  for (int k = 0; k < n; ++k) r += s;
  return r;
}

const std::vector<std::string>& tricky() {
  static const std::vector<std::string> values = {
      "",
      "   ",
      " \t\n lead and trail \r\f ",
      "straße GROSS ß",
      "ΟΣ ΟΔΟΣ ΣΑΣ. ΑΣ'Α Σ ὈΔΥΣΣΕΎΣ",  // final sigma at word ends, before ignorables, alone
      "istanbul İZMİR ıI iI",
      "I\xCC\x87 i\xCC\x87 I\xCC\x87x",  // I and i with a combining dot above
      "I\xCC\x80 J\xCC\x81 \xC4\xAE\xCC\x83 \xC3\x8C \xC3\x8D \xC4\xA8",  // Lithuanian: dot kept or added
      "i \xCC\x87 j\xCC\x87 x\xCC\x87",  // a dot above after a blank, after j, after x
      "e\xCC\x81 \xCC\x81x \xCC\x81",    // combining marks at word starts
      "Ärger ΑΒΓ Привет 東京 ǅ ŉ ﬀ ΐ 𐐨",  // mixed scripts, title case, special lengthening
      "a\xC2\xA0" "b\xE2\x80\x83" "c",    // spaces that do not part words
      repeat("a", 1023) + " ß",
      repeat("ß", 600),
      repeat("ŉ", 340) + "aa €€ b",  // lengthens to just under the bound, then a wide character
      repeat("i ", 512),
      repeat("x", 1030),
      repeat("a", 1022) + "€",  // a character across the input bound
      "ab \xFF cd", "ab\xFF cd", "\xC3", "abc \xE2\x82", "\xED\xA0\x80 x", "\xC0\xAF x", "ok \xF4\x90\x80\x80",
  };
  return values;
}

// The context's casing work area, made as the engine's first run makes it.
tq::case_work* work_of(tq_context* ctx) {
  tq::case_work* work = nullptr;
  EXPECT_EQ(tq::case_work_get(ctx, &work), 0);
  return work;
}

// The cased text; *whole (when given) the whole cased text's length as the
// run measured it.
std::string run(tq_context* ctx, uint32_t mode, const std::string& in, uint32_t max, tq::case_info* info,
                uint64_t* whole = nullptr) {
  std::vector<char> out(tq::kCaseTextSize + 8, '\x5A');
  uint64_t measured = 0;
  const int32_t rc =
      tq::case_engine_run(ctx, nullptr, work_of(ctx), mode, in.c_str(), max, out.data(), info, &measured);
  EXPECT_EQ(rc, 0);
  if (whole != nullptr) *whole = measured;
  for (size_t k = max; k < out.size(); ++k) {
    if (out[k] != '\x5A') {
      ADD_FAILURE() << "written past " << max;
      break;
    }
  }
  return std::string(out.data());
}

TEST(CaseRoads, WholeValueGivesTheWordRoadsBytes) {
  BareContext bare;
  tq_context* ctx = bare.get();
  int compared = 0;
  for (const int32_t locale : kLocales) {
    ctx->current_locale_code = locale;
    for (const uint32_t mode : {tq::kCaseUpper, tq::kCaseLower}) {
      for (const uint32_t max : {1028u, 1025u, 1024u, 1023u, 9u, 2u, 1u}) {
        for (const std::string& in : tricky()) {
          tq::case_info info;
          uint64_t whole_length = 0;
          uint64_t words_length = 0;
          const std::string whole = run(ctx, mode, in, max, nullptr, &whole_length);
          const std::string words = run(ctx, mode, in, max, &info, &words_length);
          ASSERT_EQ(whole, words) << "locale " << locale << " mode " << mode << " max " << max << " input "
                                  << in.substr(0, 60);
          EXPECT_LT(whole.size(), std::min<size_t>(max, tq::kCaseValueMax + 1));
          // Both measure the same whole cased text, whatever the bound kept.
          EXPECT_EQ(whole_length, words_length) << "locale " << locale << " mode " << mode << " max " << max;
          EXPECT_GE(whole_length, whole.size());
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 0);
}

// Worked values: the special casing really applies on the whole road, and
// a value that lengthens past the bound ends at a character boundary of the
// cased text, never skipping a character that does not fit to take a later
// one.
TEST(CaseRoads, WorkedValues) {
  BareContext bare;
  tq_context* ctx = bare.get();
  struct row {
    int32_t locale;
    uint32_t mode;
    std::string in, out;
  };
  const std::vector<row> rows = {
      {0, tq::kCaseUpper, "straße", "STRASSE"},
      {0, tq::kCaseLower, "ΟΔΟΣ ΣΑΣ", "οδος σας"},
      {0, tq::kCaseUpper, "istanbul", "ISTANBUL"},
      {123792, tq::kCaseUpper, "istanbul ı", "İSTANBUL I"},
      {800440, tq::kCaseLower, "IRAN İ", "ıran i"},
      {803230, tq::kCaseLower, "\xC3\x8C", "i\xCC\x87\xCC\x80"},
      {803230, tq::kCaseUpper, "i\xCC\x87", "I"},
      {0, tq::kCaseUpper, repeat("ŉ", 340) + "aa €€ b", repeat("ʼN", 340) + "AA "},
  };
  for (const row& r : rows) {
    ctx->current_locale_code = r.locale;
    tq::case_info info;
    EXPECT_EQ(run(ctx, r.mode, r.in, tq::kCaseTextSize, nullptr), r.out) << r.in.substr(0, 40);
    EXPECT_EQ(run(ctx, r.mode, r.in, tq::kCaseTextSize, &info), r.out) << r.in.substr(0, 40);
  }
}

// Title casing goes through UTF-16 to keep ICU from allocating; it must
// give what ICU's UTF-8 title casing gives, in each special casing.
TEST(CaseRoads, TitleThroughUtf16MatchesIcu) {
  const std::vector<std::string> values = {
      "jean-paul o'neil", "ΟΔΟΣ ΣΑΣ", "ǆemal ǉubo", "istanbul ıI", "i\xCC\x87stanbul", "ŉ ﬀoo ΐx",
      "1st 2nd", "  spaced  out  ", "", repeat("ab ", 400)};
  for (const char* lang : {"", "tr", "az", "lt"}) {
    UErrorCode err = U_ZERO_ERROR;
    UCaseMap* map = ucasemap_open(lang, 0, &err);
    ASSERT_TRUE(U_SUCCESS(err));
    for (const std::string& v : values) {
      std::vector<char> icu(4096);
      err = U_ZERO_ERROR;
      const int32_t n = ucasemap_utf8ToTitle(map, icu.data(), 4096, v.data(), static_cast<int32_t>(v.size()), &err);
      ASSERT_TRUE(U_SUCCESS(err));
      std::vector<char> ours(4096);
      EXPECT_EQ(tq::np_uchar_title_cs(v.c_str(), ours.data(), 4096, lang), n);
      EXPECT_EQ(std::string(ours.data()), std::string(icu.data(), static_cast<size_t>(n))) << lang << " " << v;
    }
    ucasemap_close(map);
  }
}

// Once warm, casing allocates nothing: both roads of upper and lower, proper
// casing's first-character rule, and title casing of a word as definitions
// with unicode casing ask for it (words of names: ICU copies a word of more
// than 27 UTF-16 units for its break iterator).
TEST(CaseRoads, WarmRunsAllocateNothing) {
  BareContext bare;
  tq_context* ctx = bare.get();
  const std::vector<std::string> values = {"John Quincy Smith", "ÉLISE MÜLLER STRASSE", "jean-paul van der berg",
                                           repeat("word ", 150)};
  char out[tq::kCaseTextSize];
  const auto all = [&] {
    for (const std::string& v : values) {
      for (const uint32_t mode : {tq::kCaseUpper, tq::kCaseLower, tq::kCaseProper}) {
        uint64_t whole = 0;
        ASSERT_EQ(tq::case_engine_run(ctx, nullptr, work_of(ctx), mode, v.c_str(), sizeof out, out, nullptr, &whole),
                  0);
      }
      for (const char* w : {"jean-paul", "o'neil", "ΟΔΟΣ", "istanbul"}) {
        char word[tq::kCaseWordSize];
        std::snprintf(word, sizeof word, "%s", w);
        tq::case_default_apply(ctx, tq::kCaseProper, 1, word, sizeof word);
      }
    }
  };
  for (const int32_t locale : kLocales) {
    ctx->current_locale_code = locale;
    all();
  }
  tq_test::AllocCounter counter;
  if (!counter.available) GTEST_SKIP() << "allocation hooks need a sanitizer build";
  for (const int32_t locale : kLocales) {
    ctx->current_locale_code = locale;
    all();
  }
  EXPECT_EQ(counter.allocations(), 0);
}

}  // namespace

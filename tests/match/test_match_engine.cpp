// The match engine on the fixtures of tests/kb/match ("M": one token,
// positions only; "R": every resource list; "MP": "M" with a parse
// definition, spliced in from mp_defns.xml) and on the sample knowledge
// base: buckets and ranges, placement, whole-value codes, the parsed road,
// the guards and pre-fill, the info's record, golden codes, keyed schemes.
#include <cstring>
#include <string>
#include <vector>

#include "match/krmeng.h"
#include "match_kb.h"
#include "support/alloc_counter.h"

namespace {

using namespace tq;
using match_test::MatchKb;

constexpr int32_t kM = 0;
constexpr int32_t kR = 1;
constexpr int32_t kMP = 2;

std::string sp(size_t n) { return std::string(n, ' '); }

// The locale text with fixture MP's datatype and definitions in it.
std::string locale_with_mp() {
  std::string text = match_test::locale_text();
  const std::string mp = tq_test::read_file(match_test::source("match/mp_defns"));
  text.insert(text.rfind("</file>"), mp.substr(mp.find("-->") + 4));
  return text;
}

struct Codes {
  int32_t rc;
  std::vector<std::string> codes;
};

// Codes of a UTF-8 value (no conversion), one buffer of 4L+1 bytes per
// sensitivity.
Codes codes_of(MatchKb& kb, int32_t index, std::vector<uint32_t> sens, const char* value, match_info* info = nullptr) {
  std::vector<std::vector<char>> bufs(sens.size(), std::vector<char>(kMatchTextSize, 'x'));
  std::vector<char*> ptrs;
  for (auto& b : bufs) ptrs.push_back(b.data());
  Codes r{match_string_by_defn_index(kb.ctx(), index, sens.data(), static_cast<uint32_t>(sens.size()), value, 0,
                                   ptrs.data(), info),
        {}};
  for (auto& b : bufs) r.codes.emplace_back(b.data());
  return r;
}

TEST(MatchEngine, BucketsRangesAndWholeValues) {
  MatchKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  Codes r = codes_of(kb, kM, {100, 94, 85, 84, 0}, " mc donald ");
  EXPECT_EQ(r.rc, 0) << kb.errors();
  EXPECT_EQ(r.codes, (std::vector<std::string>{"MC DONA" + sp(8), "MC DON" + sp(9), "MC DO" + sp(10),
                                               "MC D" + sp(11), "MC" + sp(13)}));
  // The range takes the sensitivity as given, the bucket its threshold.
  defn_rec* m = kb.defn(kM);
  ASSERT_EQ(dtok_regexlib_add(kb.ctx(), m->tokens.items[0].get(), "StripPeriods", 80, 0, 0), 0) << kb.errors();
  match_defn_unprepare(m);
  r = codes_of(kb, kM, {95, 81, 80}, "ab.");
  EXPECT_EQ(r.codes, (std::vector<std::string>{"AB." + sp(12), "AB." + sp(12), "AB" + sp(13)}));

  // Whole-value codes.
  char out[kMatchTextSize];
  struct {
    const char* text;
    uint32_t length, no_pad;
    std::string code;
  } const exact[] = {{"ab c", 5, 0, "ABC  "}, {"ab c", 5, 1, "ABC"}, {"", 4, 0, sp(4)},
                     {"a", 300, 0, "A" + sp(255)}, {"", 4, 1, ""}};
  for (const auto& x : exact) {
    EXPECT_EQ(match_exact_code(kb.ctx(), x.length, x.text, out, x.no_pad), 0);
    EXPECT_EQ(out, x.code) << x.text << " " << x.length;
  }
  EXPECT_EQ(match_exact_code(kb.ctx(), 0, "a", out, 0), -802);
}

TEST(MatchEngine, ParsedValues) {
  MatchKb kb(locale_with_mp(), 0, kLoadParseDefns);
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  Codes r = codes_of(kb, kMP, {95, 50}, "John Smith");
  EXPECT_EQ(r.rc, 0) << kb.errors();
  EXPECT_EQ(r.codes, (std::vector<std::string>{"SMITH  JOHN" + sp(4), "SM" + sp(13)}));
  r = codes_of(kb, kMP, {95}, "12345");
  EXPECT_EQ(r.rc, 101) << kb.errors();
  EXPECT_EQ(r.codes, (std::vector<std::string>{"12345" + sp(10)}));
}

}  // namespace

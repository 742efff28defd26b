// The match engine on the fixtures of tests/kb/match ("M": one token,
// positions only; "R": every resource list; "MP": "M" with a parse
// definition, spliced in from mp_defns.xml) and on the sample knowledge
// base: buckets and ranges, placement, whole-value codes, the parsed road,
// the guards and pre-fill, the info's record, golden codes, keyed schemes.
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "match/krmeng.h"
#include "platform/nputf8.h"
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

TEST(MatchEngine, PositionsAndPlacement) {
  MatchKb kb;
  match_token_kind_rec* tok = kb.token(kM);
  ASSERT_NE(tok, nullptr);
  // {sensitivity, stored start, stored end, bucket, 0-based start, end}; -1 none.
  struct {
    uint32_t sens;
    int32_t start, end;
    uint32_t bucket;
    int64_t s0, e0;
  } const rows[] = {{100, 1, 7, 0, 0, 6},   {92, 2, 2, 1, 1, 1},       {49, 1, 256, 9, 0, 255},
                    {0, 0, 0, 9, -1, -1},   {95, 300, 310, 0, -1, -1}, {90, 5, 3, 1, -1, -1},
                    {85, 1, 65537, 2, 0, -1}, {50, 257, 257, 9, -1, -1}};
  for (const auto& r : rows) {
    tok->positions[r.bucket] = {r.start, r.end};
    uint32_t s0 = 0, e0 = 0;
    EXPECT_EQ(match_sens_bucket(r.sens), r.bucket) << r.sens;
    EXPECT_EQ(match_token_position_get(kb.defn(kM), r.sens, 0, &s0, &e0), 0);
    EXPECT_EQ(s0, r.s0 < 0 ? kMatchNone : r.s0) << r.sens << " " << r.start;
    EXPECT_EQ(e0, r.e0 < 0 ? kMatchNone : r.e0) << r.sens << " " << r.end;
  }
  // Placement: {start, end, value} in turn on one code, then its text at 12.
  struct {
    uint32_t start, end;
    const char* value;
    const char* code;
  } const steps[] = {
      {0, 4, "A B", "A B         "},     // a short value leaves spaces
      {0, 2, "XYZ", "A B         "},     // an earlier token owns position 0
      {1, 3, "CD", "ACD         "},      // position 1 still held a space
      {6, 7, "LONGER", "ACD   LO    "},  // cut at the end
      {9, 9, "\xff", "ACD   LO ?  "},    // an undecodable byte
      {10, kMatchNone, "Q", "ACD   LO ?  "}};
  match_code code;
  match_code_clear(&code);
  char text[kMatchTextSize];
  for (const auto& st : steps) {
    match_code_place(&code, st.start, st.end, st.value);
    match_code_text(&code, 12, text);
    EXPECT_STREQ(text, st.code) << st.value;
  }
  match_code_text(&code, 300, text);
  EXPECT_EQ(std::strlen(text), 256u);
  // The code-point table is the identity: every code point below 384 (and
  // beyond) stays itself, so codes keep their size.
  std::string all;
  for (char32_t cp = 1; cp < 384; ++cp) {
    char u[5] = {};
    np_uchar_intcopy(static_cast<int32_t>(cp), u, sizeof u);
    all += u;
  }
  std::string copy = all;
  EXPECT_EQ(match_encode(copy.data()), all.size());
  EXPECT_EQ(copy, all);
  char bad[] = "A\xff" "B";
  EXPECT_EQ(match_encode(bad), 3u);
  EXPECT_STREQ(bad, "A?B");
  EXPECT_EQ(match_encode(nullptr), 0u);
}

TEST(MatchEngine, ParsedRoadsAndGuards) {
  MatchKb kb(locale_with_mp(), 0, kLoadParseDefns);
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  Codes r = codes_of(kb, kMP, {95, 50}, "John Smith");
  EXPECT_EQ(r.rc, 0) << kb.errors();
  EXPECT_EQ(r.codes, (std::vector<std::string>{"SMITH  JOHN" + sp(4), "SM" + sp(13)}));
  match_info info;
  r = codes_of(kb, kMP, {95}, "12345", &info);
  EXPECT_EQ(r.rc, 101) << kb.errors();
  EXPECT_EQ(r.codes, (std::vector<std::string>{"12345" + sp(10)}));
  EXPECT_EQ(info.exact_match, 1u);
  EXPECT_TRUE(info.tokens.empty() && info.sig_tokens.empty());
  EXPECT_EQ(info.preprocessed, "12345");
  // A count of 0: 101 still for a value without a solution, else 0.
  EXPECT_EQ(codes_of(kb, kMP, {}, "12345").rc, 101);
  EXPECT_EQ(codes_of(kb, kMP, {}, "John Smith").rc, 0);
  // The same info on another definition starts afresh.
  r = codes_of(kb, kM, {95}, " mc donald ", &info);
  EXPECT_EQ(info.exact_match, 0u);
  ASSERT_EQ(info.sig_tokens.size(), 1u);
  ASSERT_EQ(info.tokens.size(), 1u);
  EXPECT_EQ(info.tokens[0].name, "Name");
  EXPECT_EQ(info.sig_tokens[0].slots[0].uppercased, "MC DONALD");
  EXPECT_EQ(info.codes[0].unencoded, "MC DONA" + sp(8));
  EXPECT_EQ(info.codes[0].encoded, r.codes[0]);
  EXPECT_EQ(info.output_count, 1u);

  // Parsed input: the later of two slots of a key wins; slots of keys the
  // definition does not use are ignored.
  defn_rec* m = kb.defn(kM);
  char code[kMatchTextSize] = "zzz";
  char* codes[2] = {code, nullptr};
  const uint32_t sens[2] = {95, 95};
  parse_token_slot in[3] = {{-1, "x"}, {0, "ann"}, {0, "bob lee"}};
  // A run refused early leaves nothing of the run before in the info.
  EXPECT_EQ(match_parsed_by_defn_index(kb.ctx(), kM, sens, 1, in, 3, 0, codes, &info), -702);
  EXPECT_STREQ(code, "zzz");
  EXPECT_TRUE(info.tokens.empty() && info.sig_tokens.empty() && info.codes.empty());
  EXPECT_EQ(info.output_count, 0u);
  m->allow_parsed_input = 1;
  EXPECT_EQ(match_parsed_by_defn_index(kb.ctx(), kM, sens, 1, in, 3, 0, codes, nullptr), 0) << kb.errors();
  EXPECT_EQ(code, "BOB LEE" + sp(8));
  in[1].index = in[2].index = 7;
  EXPECT_EQ(match_parsed_by_defn_index(kb.ctx(), kM, sens, 1, in, 3, 0, codes, nullptr), 0);
  EXPECT_EQ(code, sp(15));
  EXPECT_EQ(match_parsed_by_defn_index(kb.ctx(), kM, sens, 1, in, 33, 0, codes, nullptr), -802);
  // A NULL output: -802 naming it; the outputs before it keep the pre-fill.
  EXPECT_EQ(match_string_by_defn_index(kb.ctx(), kM, sens, 2, "abc", 0, codes, nullptr), -802);
  EXPECT_EQ(code, std::string(60, '$'));
  EXPECT_NE(kb.errors().find("'matchcodes[1]' is null."), std::string::npos);
  // The pre-fill and the code stay inside 4 x 256 + 1 bytes whatever the code
  // length (ASan watches the heap buffer's end).
  match_defn_part(m)->code_length = 1024;
  kb.token(kM)->positions[0] = {1, 1024};
  std::vector<char> big(4 * 256 + 1);
  char* one[2] = {big.data(), nullptr};
  EXPECT_EQ(match_string_by_defn_index(kb.ctx(), kM, sens, 2, "abc", 0, one, nullptr), -802);
  EXPECT_EQ(std::string(big.data()), std::string(1024, '$'));
  kb.token(kM)->positions[0] = {1, 256};
  EXPECT_EQ(match_string_by_defn_index(kb.ctx(), kM, sens, 1, std::string(600, 'a').c_str(), 0, one, nullptr), 0);
  EXPECT_EQ(std::string(big.data()), std::string(256, 'A'));
  // A definition that is not valid; a run nested in a running one.
  m->valid = 0;
  EXPECT_EQ(match_string_by_defn_index(kb.ctx(), kM, sens, 1, "abc", 0, one, nullptr), -704);
  m->valid = 1;
  kb.ctx()->match_work_area->depth = 1;
  EXPECT_EQ(match_string_by_defn_index(kb.ctx(), kM, sens, 1, "abc", 0, one, nullptr), -603);
  kb.ctx()->match_work_area->depth = 0;
}

// Fixture R's pipeline recorded stage by stage, and its golden codes.
TEST(MatchEngine, EveryStageOfFixtureR) {
  MatchKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  match_info info;
  // The info keeps the last sensitivity's record.
  Codes r = codes_of(kb, kR, {95, 60}, "  acme corp  phillip smith jr. ", &info);
  ASSERT_GE(r.rc, 0) << kb.errors();
  ASSERT_EQ(info.sig_tokens.size(), 1u);
  const match_info::sig_token& t = info.sig_tokens[0];
  const std::string stages = t.slots[0].uppercased + "|" + t.normalized + "|" + t.noise_filtered + "|" +
                             t.standardized + "|" + t.transformed + "|" + t.phonetic;
  EXPECT_EQ(stages, "ACME PHILLIP SMITH JR.|ACME PHILLIP SMITH JR.|ACME PHILLIP JR.|ACME PHILLIP JR.|"
                    "ACME PHILLIP JR|ACME FILLIP JR");
  EXPECT_EQ(info.preprocessed, "ACME phillip smith jr.");
  ASSERT_EQ(t.noise.size(), 1u);
  EXPECT_EQ(t.noise[0][0].filtered, std::vector<std::string>{"SMITH"});
  EXPECT_EQ(t.noise[0][0].matched, 1u);
  EXPECT_EQ(t.transformation[0][0].matched, 1u);
  EXPECT_EQ(t.phonetics[0][0].matched, 1u);
  EXPECT_EQ(t.phonetics[0][0].value, "ACME FILLIP JR");
  EXPECT_EQ(info.preproc_matched, std::vector<uint32_t>{1});
  // At 50 the token has no positions: it is not placed, yet recorded.
  r = codes_of(kb, kR, {50}, "jack", &info);
  EXPECT_EQ(r.codes[0], sp(40));
  EXPECT_EQ(info.sig_tokens[0].phonetic, "JAK");
}

TEST(MatchEngine, GoldenCodesOfFixtureR) {
  MatchKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  const auto lines = tq_test::read_lines(std::string(TQ_TEST_KB_DIR) + "/match/golden_codes.tsv");
  bool in_r = false;
  size_t n = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      in_r = line == "[R]";
      continue;
    }
    if (!in_r) continue;
    const size_t a = line.find('\t'), b = line.find('\t', a + 1);
    ASSERT_NE(b, std::string::npos) << "golden_codes.tsv:" << i + 1;
    const Codes c = codes_of(kb, kR, {static_cast<uint32_t>(std::stoul(line.substr(a + 1, b - a - 1)))},
                             line.substr(0, a).c_str());
    EXPECT_GE(c.rc, 0) << "golden_codes.tsv:" << i + 1 << kb.errors();
    EXPECT_EQ("[" + c.codes[0] + "]", line.substr(b + 1)) << "golden_codes.tsv:" << i + 1;
    ++n;
  }
  EXPECT_GT(n, 0u);
}

TEST(MatchEngine, NoAllocationOnceWarm) {
  MatchKb kb(locale_with_mp(), 0, kLoadParseDefns);
  const char* values[] = {"John Smith", "mary ann jones", "12345", "o'brien"};
  char buf[2][kMatchTextSize];
  char* codes[2] = {buf[0], buf[1]};
  const uint32_t sens[2] = {95, 60};
  auto run_all = [&] {
    for (const char* v : values) {
      for (int32_t d : {kM, kR, kMP}) ASSERT_GE(match_string_by_defn_index(kb.ctx(), d, sens, 2, v, 0, codes, nullptr), 0);
    }
  };
  run_all();
  tq_test::AllocCounter counter;
  if (!counter.available) GTEST_SKIP() << "allocations are counted in sanitizer builds only";
  run_all();
  EXPECT_EQ(counter.allocations(), 0);
}

}  // namespace

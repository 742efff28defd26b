// Standardization through the exports, on the parse fixture's knowledge base
// with the definitions of tests/kb/standardize in ENUSA below it: the value
// road (golden cases), the parsed road, the stand info's record of every
// step, bounds, and the road's allocations once warm.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "kbstore/krdefn.h"
#include "support/alloc_counter.h"
#include "support/parse_kb.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::error_list_text;

constexpr int32_t kEnusa = 29840;

std::filesystem::path source(const std::string& name) {
  return std::filesystem::path(TQ_TEST_KB_DIR) / "standardize" / name;
}

// The parse fixture (EN loaded, with its parse definition "Name") and
// ENUSA with the standardization definitions, current; texts in UTF-8.
class StdznKb {
 public:
  StdznKb() {
    tq_context* c = kb_.ctx();
    const auto& dir = kb_.dir();
    for (const char* f : {"regexlib/NoDots", "regexlib/Dashes", "scheme/StreetLong.sch", "scheme/StreetShort.sch",
                          "locale/enusa.loc"}) {
      std::filesystem::create_directories((dir / f).parent_path());
      tq_xmldoc* doc = nullptr;
      EXPECT_EQ(tq_xml_read(c, source(std::string(f) + ".xml").c_str(), 8, &doc), 0) << f << error_list_text(c);
      EXPECT_EQ(tq_xml_write(c, 0, (dir / f).c_str(), 1, doc), 0) << f << error_list_text(c);
      tq_xml_free(c, doc);
    }
    EXPECT_EQ(tq_zel_locale_load(c, kEnusa, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_STDZN_DEFNS), 0)
        << error_list_text(c);
    EXPECT_EQ(tq_locale_set(c, kEnusa), 0);
    EXPECT_EQ(tq_session_encoding_set(c, 13), 0);
  }
  tq_context* ctx() const { return kb_.ctx(); }

 private:
  tq_test::ParseKb kb_;
};

struct Outcome {
  int32_t rc;
  std::string out;
};

Outcome standardize(tq_context* c, const char* defn, const char* value, tq_stand_info* info = nullptr) {
  char out[TQ_STANDARD_SIZE];
  const int32_t rc = tq_standardize_with_info(c, defn, value, out, info);
  return {rc, out};
}

std::vector<tq_parse_token> tokens(const std::vector<std::pair<int32_t, std::string>>& in) {
  std::vector<tq_parse_token> t(in.size());
  for (size_t k = 0; k < in.size(); ++k) {
    t[k].index = in[k].first;
    std::snprintf(t[k].value, sizeof t[k].value, "%s", in[k].second.c_str());
  }
  return t;
}

Outcome parsed(tq_context* c, const char* defn, const std::vector<tq_parse_token>& t) {
  char out[TQ_STANDARD_SIZE];
  const int32_t rc = tq_standardize_parsed(c, defn, t.data(), static_cast<uint32_t>(t.size()), out);
  return {rc, out};
}

// The first error record of the last call.
std::string first_error(tq_context* c) {
  int32_t code = 0;
  char text[4100] = "";
  return tq_error_info_get_by_index(c, 0, &code, text) == 0 ? text : "";
}

std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> f;
  std::stringstream in(line);
  for (std::string part; std::getline(in, part, '\t');) f.push_back(part);
  if (!line.empty() && line.back() == '\t') f.emplace_back();
  return f;
}

TEST(Standardize, GoldenValues) {
  StdznKb kb;
  const auto lines = tq_test::read_lines(source("golden.tsv"));
  int n = 0;
  for (size_t k = 0; k < lines.size(); ++k) {
    if (lines[k].empty() || lines[k][0] == '#') continue;
    const auto f = split_tabs(lines[k]);
    ASSERT_EQ(f.size(), 4u) << "golden.tsv:" << k + 1;
    const Outcome r = standardize(kb.ctx(), f[0].c_str(), f[1].c_str());
    EXPECT_EQ(r.rc, std::stoi(f[2])) << "golden.tsv:" << k + 1 << "\n" << error_list_text(kb.ctx());
    EXPECT_EQ(r.out, f[3]) << "golden.tsv:" << k + 1;
    ++n;
  }
  EXPECT_GT(n, 10);
}

TEST(Standardize, LookupsAndRefusals) {
  StdznKb kb;
  tq_context* c = kb.ctx();
  char out[TQ_STANDARD_SIZE];
  EXPECT_EQ(tq_standardize(c, "nosuch", "x", out), TQ_ERR_NAME);
  EXPECT_STREQ(out, "");
  int32_t index = -1;
  ASSERT_EQ(tq_stdzn_defn_index_get_by_name(c, "s", &index), 0);
  EXPECT_EQ(tq_standardize_by_index(c, index, "a st", out), 0);
  EXPECT_STREQ(out, "A ST");
  EXPECT_EQ(tq_standardize_by_index(c, 999, "a st", out), TQ_ERR_INDEX);
  // A value longer than 1,024 bytes is cut, between characters, and the
  // cut is told (102 wins over the output's equalling the input).
  const std::string long_value = std::string(1023, 'a') + "\xC3\xA9";
  EXPECT_EQ(tq_standardize(c, "SLower", long_value.c_str(), out), TQ_WARN_LIMIT_REACHED);
  EXPECT_EQ(std::string(out), std::string(1023, 'a'));

  // In UCS-2 the output keeps within its 1,028 bytes, the two-byte
  // terminator included, however long the value (cut: 102).
  ASSERT_EQ(tq_session_encoding_set(c, TQ_ENC_UCS2_LE), 0);
  std::vector<char> ucs2(2 * 1100 + 2, 0);
  for (size_t k = 0; k < 1100; ++k) ucs2[2 * k] = 'a';
  std::vector<char> big(TQ_STANDARD_SIZE + 16, '#');
  const char name[] = {'S', 0, 0, 0};
  EXPECT_EQ(tq_standardize(c, name, ucs2.data(), big.data()), TQ_WARN_LIMIT_REACHED) << error_list_text(c);
  for (size_t k = 0; k < 513; ++k) ASSERT_EQ(big[2 * k], 'A') << k;
  EXPECT_EQ(big[1026], 0);
  EXPECT_EQ(big[1027], 0);
  EXPECT_EQ(big[TQ_STANDARD_SIZE], '#');
}

TEST(Standardize, StandInfoRecordsEveryStep) {
  StdznKb kb;
  tq_context* c = kb.ctx();
  tq_stand_info* info = nullptr;
  ASSERT_EQ(tq_stand_info_init(c, &info), 0);
  char text[1028];
  uint32_t n = 99, flag = 99;

  ASSERT_EQ(standardize(c, "SChain", "st.", info).out, "STR");
  EXPECT_EQ(tq_stand_info_token_count_get(c, info, &n), 0);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(tq_stand_info_whole_string_stdzn_flag_get(c, info, &flag), 0);
  EXPECT_EQ(flag, 0u);
  const struct {
    int32_t (*get)(tq_context*, tq_stand_info*, int32_t, char*);
    const char* expect;
  } steps[] = {{tq_stand_info_token_name_get, "Street"},   {tq_stand_info_token_get, "st."},
               {tq_stand_info_uppercased_token_get, "ST."}, {tq_stand_info_norm_token_get, "ST"},
               {tq_stand_info_stdz_token_get, "STR"},       {tq_stand_info_trans_token_get, "STR"}};
  for (const auto& s : steps) {
    EXPECT_EQ(s.get(c, info, 0, text), 0);
    EXPECT_STREQ(text, s.expect);
    EXPECT_EQ(s.get(c, info, 1, text), TQ_ERR_INDEX);
    EXPECT_STREQ(text, "");
  }
  EXPECT_EQ(tq_stand_info_cased_token_get(c, info, 0, &flag, text), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_STREQ(text, "STR");
  // Per entry: the normalization library, each scheme on the previous one's
  // result, the transformation library that changed nothing.
  const struct {
    int32_t (*count)(tq_context*, tq_stand_info*, int32_t, uint32_t*);
    int32_t (*entry)(tq_context*, tq_stand_info*, int32_t, int32_t, uint32_t*, char*);
    int32_t (*any)(tq_context*, tq_stand_info*, int32_t, uint32_t*);
    std::vector<std::pair<uint32_t, std::string>> expect;
  } lists[] = {
      {tq_stand_info_regexlib_count_get, tq_stand_info_norm_token_get_per_regexlib,
       tq_stand_info_token_any_regexlib_matched_get, {{1, "ST"}}},
      {tq_stand_info_scheme_count_get, tq_stand_info_stdz_token_get_per_scheme,
       tq_stand_info_token_any_scheme_matched_get, {{1, "STREET"}, {1, "STR"}}},
      {tq_stand_info_token_trans_regex_count_get, tq_stand_info_trans_token_value_get_per_regex,
       tq_stand_info_token_any_trans_regex_matched_get, {{0, "STR"}}},
  };
  for (const auto& l : lists) {
    EXPECT_EQ(l.count(c, info, 0, &n), 0);
    ASSERT_EQ(n, l.expect.size());
    uint32_t any_expected = 0;
    for (size_t j = 0; j < l.expect.size(); ++j) {
      EXPECT_EQ(l.entry(c, info, 0, static_cast<int32_t>(j), &flag, text), 0);
      EXPECT_EQ(flag, l.expect[j].first) << j;
      EXPECT_EQ(std::string(text), l.expect[j].second) << j;
      any_expected |= l.expect[j].first;
    }
    EXPECT_EQ(l.entry(c, info, 0, static_cast<int32_t>(n), &flag, text), TQ_ERR_INDEX);
    EXPECT_EQ(l.any(c, info, 0, &flag), 0);
    EXPECT_EQ(flag, any_expected);
  }
  // Only the entry that changed the value is matched; a library that
  // changed nothing keeps the value.
  ASSERT_EQ(standardize(c, "SChain", "street", info).out, "STR");
  EXPECT_EQ(tq_stand_info_stdz_token_get_per_scheme(c, info, 0, 0, &flag, text), 0);
  EXPECT_EQ(flag, 0u);
  EXPECT_STREQ(text, "STREET");
  EXPECT_EQ(tq_stand_info_norm_token_get_per_regexlib(c, info, 0, 0, &flag, text), 0);
  EXPECT_EQ(flag, 0u);
  EXPECT_STREQ(text, "STREET");
  EXPECT_EQ(tq_stand_info_token_any_regexlib_matched_get(c, info, 0, &flag), 0);
  EXPECT_EQ(flag, 0u);

  // The joined text, and the output before the postprocessing case.
  ASSERT_EQ(standardize(c, "SPost", "main st", info).out, "Main St");
  EXPECT_EQ(tq_stand_info_precased_get(c, info, text), 0);
  EXPECT_STREQ(text, "main st");
  EXPECT_EQ(tq_stand_info_pre_postcased_get(c, info, text), 0);
  EXPECT_STREQ(text, "main st");
  EXPECT_EQ(tq_stand_info_cased_token_get(c, info, 0, &flag, text), 0);
  EXPECT_EQ(flag, 0u);
  EXPECT_EQ(tq_stand_info_regexlib_count_get(c, info, 0, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(tq_stand_info_token_any_regexlib_matched_get(c, info, 0, &flag), 0);
  EXPECT_EQ(flag, 0u);

  // No parse solution: one string, no token steps recorded.
  const Outcome whole = standardize(c, "PersonUpper", "Smith Jr. Dr.", info);
  EXPECT_EQ(whole.rc, TQ_WARN_NO_SOLUTION);
  EXPECT_EQ(tq_stand_info_whole_string_stdzn_flag_get(c, info, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_stand_info_token_count_get(c, info, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(tq_stand_info_token_name_get(c, info, 0, text), TQ_ERR_INDEX);
  EXPECT_EQ(tq_stand_info_pre_postcased_get(c, info, text), 0);
  EXPECT_STREQ(text, "SMITH JR. DR.");

  // The object's own NULL names.
  EXPECT_EQ(tq_stand_info_whole_string_stdzn_flag_get(c, nullptr, &flag), TQ_ERR_ARGUMENT);
  EXPECT_EQ(first_error(c), "'info' is null.");
  EXPECT_EQ(tq_stand_info_token_trans_regex_count_get(c, nullptr, 0, &n), TQ_ERR_ARGUMENT);
  EXPECT_EQ(first_error(c), "'stdzn_info' is null.");
  EXPECT_EQ(tq_stand_info_free(c, info), 0);
  EXPECT_EQ(tq_stand_info_free(c, nullptr), 0);
}

TEST(Standardize, ParsedTokens) {
  StdznKb kb;
  tq_context* c = kb.ctx();
  // A definition without a parse definition reads "Allow Parsed Input" as
  // off; the test allows it on the two that take tokens.
  auto record = [&](const char* name) {
    int32_t index = -1;
    EXPECT_EQ(tq_stdzn_defn_index_get_by_name(c, name, &index), 0);
    tq::defn_rec* rec = nullptr;
    EXPECT_EQ(tq::defn_record_get_for_read(c, tq::kDefnStdzn, index, &rec), 0);
    return rec;
  };
  record("Pair")->allow_parsed_input = 1;
  record("PairJoined")->allow_parsed_input = 1;
  EXPECT_EQ(parsed(c, "Pair", tokens({{1, " b"}, {0, "a "}})).out, "A B");
  EXPECT_EQ(parsed(c, "PairJoined", tokens({{0, "a"}, {1, "b"}})).out, "AB");
  // Indexes outside 0..31 are ignored; the later of two equal ones wins.
  EXPECT_EQ(parsed(c, "Pair", tokens({{40, "x"}, {-3, "y"}, {1, "b"}, {1, "c"}})).out, "C");
  // An unchanged value is not reported as such on this road.
  EXPECT_EQ(parsed(c, "Pair", tokens({{0, "A"}})).rc, 0);
  EXPECT_EQ(parsed(c, "PairClosed", tokens({{0, "a"}})).rc, TQ_ERR_FAILED);
  std::vector<tq_parse_token> many = tokens(std::vector<std::pair<int32_t, std::string>>(33, {0, "a"}));
  EXPECT_EQ(parsed(c, "Pair", many).rc, TQ_ERR_ARGUMENT);
  many.pop_back();
  EXPECT_EQ(parsed(c, "Pair", many).out, "A");

  // An empty separator joins with one blank.
  tq::defn_rec* rec = record("Pair");
  rec->tokens.items[1]->separator[0] = '\0';
  EXPECT_EQ(parsed(c, "Pair", tokens({{0, "a"}, {1, "b"}})).out, "A B");
  std::snprintf(rec->tokens.items[1]->separator, sizeof rec->tokens.items[1]->separator, "%s", ", ");
  EXPECT_EQ(parsed(c, "Pair", tokens({{0, "a"}, {1, "b"}})).out, "A, B");
  // The join stops within 1,024 bytes: a separator that would reach the
  // end is left out with the rest.
  const std::string a(1022, 'a');
  EXPECT_EQ(parsed(c, "Pair", tokens({{0, a}, {1, "b"}})).out, std::string(1022, 'A'));
}

// Once warm, standardizing a value allocates nothing.
TEST(Standardize, NoAllocationOnceWarm) {
  StdznKb kb;
  tq_context* c = kb.ctx();
  char out[TQ_STANDARD_SIZE];
  for (const char* defn : {"SChain", "Person"}) ASSERT_GE(tq_standardize(c, defn, "john q st", out), 0);
  tq_test::AllocCounter counter;
  if (!counter.available) GTEST_SKIP() << "allocation hooks need a sanitizer build";
  for (const char* defn : {"SChain", "Person"}) {
    const long before = counter.allocations();
    for (int k = 0; k < 3; ++k) EXPECT_GE(tq_standardize(c, defn, "john q st", out), 0);
    EXPECT_EQ(counter.allocations() - before, 0) << defn;
  }
}

}  // namespace

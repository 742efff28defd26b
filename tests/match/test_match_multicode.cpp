// The multicode road on the match fixture. tests/kb/match/multicode.tsv
// holds the worked codes: per definition variant (set up below), value and
// sensitivity, the result and every entry counted, in order, with its score.
#include <cstring>
#include <map>
#include <sstream>

#include "core/krstr.h"
#include "match/krmmulti.h"
#include "match_kb.h"
#include "support/alloc_counter.h"

namespace {

using namespace tq;
using match_test::MatchKb;
namespace fs = std::filesystem;

constexpr int32_t kM = 0;
constexpr int32_t kR = 1;
constexpr int32_t kMP = 2;
constexpr const char* kNames[] = {"M", "R", "MP"};

// The fixture's locale with "MP" (M with a parse definition) in it.
std::string locale_with_mp() {
  std::string text = match_test::locale_text();
  const std::string mp = tq_test::read_file(match_test::source("match/mp_defns"));
  text.insert(text.rfind("</file>"), mp.substr(mp.find("-->") + 4));
  return text;
}

// A block made for a definition, given back at the end.
struct Block {
  context* ctx;
  match_multicode_entry* p = nullptr;
  Block(context* c, const char* defn) : ctx(c) { EXPECT_EQ(tqx_match_multicode_output_create(ctx, defn, &p), 0); }
  ~Block() { tqx_match_multicode_output_destroy(ctx, p); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
};

// Entries as the golden file writes them: CODE@score, '_' for a space.
std::string shown(const match_multicode_entry* block, uint32_t n) {
  std::string out;
  for (uint32_t k = 0; k < n; ++k) {
    std::string code = block[k].code;
    for (char& c : code) c = c == ' ' ? '_' : c;
    std::ostringstream score;
    score << block[k].score;
    out += (k > 0 ? "|" : "") + code + "@" + score.str();
  }
  return out;
}

// The definition variants of the golden file: which definition, its
// "Include Default" (-1: as read), rules added (range, weight, position <-
// token; names as a caller may write them), and whether the first rule's
// condition is negated.
struct Variant {
  int32_t defn;
  int32_t include_default;
  std::vector<match_combination_rule> rules;
  bool negate = false;
};
match_combination_rule rule(int32_t low, int32_t high, double weight,
                            std::vector<std::pair<const char*, const char*>> map) {
  match_combination_rule r;
  r.sens_low = low;
  r.sens_high = high;
  r.weight = weight;
  for (auto [position, token] : map) {
    r.mapping.emplace_back();
    str_copy_bounded(r.mapping.back().position, position, kDtokNameSize);
    str_copy_bounded(r.mapping.back().token, token, kDtokNameSize);
  }
  return r;
}
const std::map<std::string, Variant>& variants() {
  static const std::map<std::string, Variant> v{
      {"M", {kM, -1, {}}},
      // Name from Name, and a rule that gives Name nothing (all spaces).
      {"M+2rules", {kM, -1, {rule(0, 100, 2.5, {{"Name", "Name"}}), rule(0, 100, 100, {{"Name", ""}})}}},
      // No default, and a rule only up to 50: nothing applies above it.
      {"M-nothing", {kM, 0, {rule(0, 50, 100, {{"Name", "Name"}})}}},
      // R's rule asks for a GIVEN word of likelihood 50 or more; negated,
      // for none.
      {"R", {kR, -1, {}}},
      {"R-negate", {kR, -1, {}, true}},
      {"MP", {kMP, -1, {}}},
      // MP's two names swapped, from 90 up.
      {"MP-swap",
       {kMP, -1, {rule(90, 100, 50, {{"Family Name", "Given Name"}, {"Given Name", "family name"}})}}},
  };
  return v;
}

TEST(MatchMulticode, GoldenCodes) {
  const auto lines = tq_test::read_lines(fs::path(TQ_TEST_KB_DIR) / "match" / "multicode.tsv");
  std::map<std::string, std::vector<std::pair<size_t, std::vector<std::string>>>> rows;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].empty() || lines[i][0] == '#') continue;
    std::vector<std::string> f;
    std::stringstream in(lines[i]);
    for (std::string part; std::getline(in, part, '\t');) f.push_back(part);
    if (f.size() == 4) f.emplace_back();
    ASSERT_EQ(f.size(), 5u) << "multicode.tsv:" << i + 1;
    rows[f[0]].push_back({i + 1, f});
  }
  ASSERT_EQ(rows.size(), variants().size());
  for (const auto& [variant, cases] : rows) {
    MatchKb kb(locale_with_mp(), 0, kLoadParseDefns);
    ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
    context* ctx = kb.ctx();
    const Variant& setup = variants().at(variant);
    match_defn_kind_rec* part = match_defn_part(kb.defn(setup.defn));
    for (const match_combination_rule& r : setup.rules) part->rules.push_back(r);
    if (setup.include_default >= 0) part->include_default = static_cast<uint32_t>(setup.include_default);
    if (setup.negate) part->rules[0].conditions[0].negate = 1;
    const char* defn = kNames[setup.defn];
    Block block(ctx, defn);
    for (const auto& [line, f] : cases) {
      uint32_t num = 99;
      const int32_t rc = match_multicode(ctx, defn, static_cast<uint32_t>(std::stoul(f[2])), f[1].c_str(), &block.p,
                                         &num);
      EXPECT_EQ(rc, std::stoi(f[3])) << "multicode.tsv:" << line << "\n" << kb.errors();
      EXPECT_EQ(shown(block.p, num), f[4]) << "multicode.tsv:" << line;
    }
    // Warm, a run allocates nothing (R's conditions analyse its token).
    uint32_t num = 0;
    tq_test::AllocCounter counter;
    EXPECT_GE(match_multicode(ctx, defn, 95, "john smith", &block.p, &num), 0);
    EXPECT_TRUE(!counter.available || counter.allocations() == 0) << variant << ": " << counter.allocations();
  }
}

// The default code is the single-code road's; with two rules the info
// records which slots applied, their mappings and scores, and the repeat;
// a block made before the rules were added is refused.
TEST(MatchMulticode, RulesInTheInfo) {
  MatchKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  context* ctx = kb.ctx();
  Block before(ctx, "M");
  uint32_t sens = 95;
  char single[kMatchTextSize];
  char* codes[] = {single};
  ASSERT_EQ(match_string_by_defn_index(ctx, kM, &sens, 1, " mc donald ", 0, codes, nullptr), 0) << kb.errors();
  uint32_t num = 0;
  ASSERT_EQ(match_multicode(ctx, "M", 95, " mc donald ", &before.p, &num), 0) << kb.errors();
  EXPECT_EQ(num, 1u);
  EXPECT_STREQ(before.p[0].code, single);

  // The two rules of "M+2rules", through the rule operations.
  uint32_t r = 0;
  ASSERT_EQ(tqx_match_defn_token_combination_rule_add(ctx, kM, &r), 0);
  ASSERT_EQ(tqx_match_defn_token_combination_rule_sensitivities_set(ctx, kM, 0, 0, 100), 0);
  ASSERT_EQ(tqx_match_defn_token_combination_rule_position_set(ctx, kM, 0, "Name", "Name"), 0);
  ASSERT_EQ(tqx_match_defn_token_combination_rule_weight_set(ctx, kM, 0, 2.5), 0);
  ASSERT_EQ(tqx_match_defn_token_combination_rule_add(ctx, kM, &r), 0);
  ASSERT_EQ(tqx_match_defn_token_combination_rule_sensitivities_set(ctx, kM, 1, 0, 100), 0);
  EXPECT_EQ(match_multicode(ctx, "M", 95, " mc donald ", &before.p, &num), TQ_ERR_ARGUMENT);
  EXPECT_TRUE(kb.has_error("'matchcodes[0]' holds fewer entries")) << kb.errors();
  Block block(ctx, "M");
  match_info info;
  ASSERT_EQ(match_with_info_multicode(ctx, "M", 95, " mc donald ", &block.p, &num, &info), 0) << kb.errors();
  ASSERT_EQ(num, 2u);
  ASSERT_EQ(info.codes.size(), 4u);
  EXPECT_EQ(info.output_count, 2u);
  EXPECT_EQ(info.codes[0].duplicate, 0u);
  EXPECT_EQ(info.codes[2].duplicate, 1u);
  EXPECT_EQ(info.codes[2].score, 100.0);
  EXPECT_EQ(info.codes[1].encoded, std::string(15, ' '));
  EXPECT_EQ(info.codes[0].unencoded, "MC DONA" + std::string(8, ' '));
  EXPECT_EQ(info.rules[0].matched, 1u);
  EXPECT_EQ(info.rules[0].score, 2.5);
  EXPECT_EQ(info.rules[1].mapping[0], -1);
  EXPECT_EQ(info.rules[0].mapping[0], 0);
  EXPECT_EQ(info.rules[2].mapping[0], 0);
  EXPECT_EQ(info.default_used, 1u);
  ASSERT_EQ(info.sig_tokens.size(), 1u);
  EXPECT_EQ(info.sig_tokens[0].words, (std::vector<std::string>{"mc", "donald"}));
  EXPECT_EQ(info.sig_tokens[0].slots.at(0).uppercased, "MC DONALD");
  EXPECT_EQ(info.sig_tokens[0].slots.at(1).uppercased, "");  // rule 1 gives the token nothing

  // Two sensitivities: both blocks, no codes in the info.
  Block second(ctx, "M");
  match_multicode_entry* blocks[] = {block.p, second.p};
  uint32_t nums[2] = {};
  const uint32_t two[] = {95, 50};
  ASSERT_EQ(match_multiple_sens_multicode(ctx, "M", two, 2, " mc donald ", blocks, nums), 0) << kb.errors();
  EXPECT_EQ(nums[0], 2u);
  EXPECT_EQ(std::string(second.p[0].code), "MC" + std::string(13, ' '));
  ASSERT_EQ(match_multicode_by_defn_index(ctx, kM, two, 2, " mc donald ", 0, blocks, nums, &info), 0);
  EXPECT_EQ(info.output_count, 0u);
  EXPECT_EQ(info.codes.at(0).encoded, "");

  // A missing block: -802 naming it; the blocks before it are pre-filled.
  blocks[1] = nullptr;
  EXPECT_EQ(match_multiple_sens_multicode(ctx, "M", two, 2, "x", blocks, nums), TQ_ERR_ARGUMENT);
  EXPECT_TRUE(kb.has_error("'matchcodes[1]' is null.")) << kb.errors();
  EXPECT_EQ(std::string(block.p[0].code), std::string(60, '$'));
  EXPECT_EQ(block.p[2].score, 0.0);
}

// Tokens a caller parsed: the later of two slots with one key wins, a slot
// of -1 is skipped; -702 without "Allow Parsed Input" leaves the block as it
// was; more than 32 slots are refused.
TEST(MatchMulticode, ParsedRoad) {
  MatchKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  context* ctx = kb.ctx();
  kb.defn(kM)->allow_parsed_input = 1;
  Block block(ctx, "M");
  parse_token_slot slots[33] = {};
  slots[0] = {-1, "x"};
  slots[1] = {0, "ann"};
  slots[2] = {0, "bob lee"};
  uint32_t num = 0;
  match_info info;
  ASSERT_EQ(match_parsed_with_info_multicode(ctx, "M", 95, slots, 3, &block.p, &num, &info), 0) << kb.errors();
  EXPECT_EQ(shown(block.p, num), "BOB_LEE________@100");
  EXPECT_EQ(info.preprocessed, "");
  EXPECT_EQ(info.tokens.size(), 3u);
  EXPECT_EQ(match_parsed_by_index_multicode(ctx, kM, 95, slots, 33, &block.p, &num), TQ_ERR_ARGUMENT);

  kb.defn(kM)->allow_parsed_input = 0;
  std::strcpy(block.p[0].code, "zzz");
  EXPECT_EQ(match_parsed_multicode(ctx, "M", 95, slots, 3, &block.p, &num), TQ_ERR_FAILED);
  EXPECT_STREQ(block.p[0].code, "zzz");
}

}  // namespace

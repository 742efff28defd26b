// Token slots in a definition's order: parse output keyed by datatype token,
// rearranged into one slot per token of the definition.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "kbstore/krdefn.h"
#include "standardize/krtslot.h"

namespace {

using tq::parse_token_slot;

// A definition whose token i carries datatype key keys[i].
std::unique_ptr<tq::defn_rec> defn_with_keys(const std::vector<int32_t>& keys) {
  auto rec = std::make_unique<tq::defn_rec>();
  for (int32_t key : keys) {
    auto tok = std::make_unique<tq::dtok_rec>();
    tok->key = key;
    rec->tokens.items.push_back(std::move(tok));
  }
  return rec;
}

std::vector<parse_token_slot> slots_of(const std::vector<std::pair<int32_t, std::string>>& in) {
  std::vector<parse_token_slot> slots(in.size());
  for (size_t k = 0; k < in.size(); ++k) {
    slots[k].index = in[k].first;
    snprintf(slots[k].value, sizeof slots[k].value, "%s", in[k].second.c_str());
  }
  return slots;
}

struct Case {
  const char* what;
  std::vector<int32_t> keys;                            // the definition's tokens
  std::vector<std::pair<int32_t, std::string>> input;   // the parse's slots
  std::vector<std::pair<int32_t, std::string>> expect;  // one per definition token
};

TEST(TokenSlots, FillsOneSlotPerDefinitionToken) {
  const Case cases[] = {
      {"reordered by key", {2, 0, 1}, {{0, "a"}, {1, "b"}, {2, "c"}}, {{2, "c"}, {0, "a"}, {1, "b"}}},
      {"unused key ignored, missing key empty", {0, 3}, {{0, "x"}, {1, "unused"}}, {{0, "x"}, {-1, ""}}},
      {"index -1 never copied", {0}, {{-1, "x"}, {0, "ann"}, {-1, "y"}}, {{0, "ann"}}},
      {"later duplicate wins", {0}, {{-1, "x"}, {0, "ann"}, {0, "bob lee"}}, {{0, "bob lee"}}},
      {"keys outside 0..31 ignored", {0, 1}, {{32, "far"}, {-7, "neg"}, {1, "b"}}, {{-1, ""}, {1, "b"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto rec = defn_with_keys(c.keys);
    auto in = slots_of(c.input);
    std::vector<parse_token_slot> out(tq::kParseSlots);
    for (auto& s : out) {
      s.index = 99;
      snprintf(s.value, sizeof s.value, "stale");
    }
    EXPECT_EQ(tq::match_token_slots_fill(out.data(), rec.get(), static_cast<uint32_t>(in.size()), in.data()), 0);
    for (size_t i = 0; i < c.expect.size(); ++i) {
      EXPECT_EQ(out[i].index, c.expect[i].first) << i;
      EXPECT_STREQ(out[i].value, c.expect[i].second.c_str()) << i;
    }
    // Slots past the definition's tokens are left alone.
    EXPECT_EQ(out[c.keys.size()].index, 99);
  }
}

TEST(TokenSlots, NoTokensLeavesOutputAndLongValuesAreCutBetweenCharacters) {
  auto none = defn_with_keys({});
  auto in = slots_of({{0, "a"}});
  parse_token_slot out[1];
  out[0].index = 5;
  snprintf(out[0].value, sizeof out[0].value, "kept");
  EXPECT_EQ(tq::match_token_slots_fill(out, none.get(), 1, in.data()), 0);
  EXPECT_EQ(out[0].index, 5);
  EXPECT_STREQ(out[0].value, "kept");

  // 1,023 bytes then a two-byte character: the character does not fit.
  auto one = defn_with_keys({0});
  parse_token_slot big{};
  big.index = 0;
  std::string text(1023, 'a');
  text += "\xC3\xA9";
  snprintf(big.value, sizeof big.value, "%s", text.c_str());
  EXPECT_EQ(tq::match_token_slots_fill(out, one.get(), 1, &big), 0);
  EXPECT_EQ(std::string(out[0].value), std::string(1023, 'a'));
}

}  // namespace

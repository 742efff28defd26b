// The parse road end to end on the personal-name knowledge base of
// tests/kb/parse: values into tokens through the exports, the result codes,
// the no-solution handling and the even split, parse info, and the
// definitions that preparation or validation refuses. Worked values live in
// parse_golden.tsv.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/alloc_counter.h"
#include "support/parse_kb.h"
#include "support/tq_test.h"

namespace {

using tq_test::ParseKb;

struct Parsed {
  int32_t rc = 0;
  std::vector<std::string> values;
  std::vector<int32_t> indexes;
};

Parsed parse(tq_context* ctx, const char* defn, const char* value, tq_parse_info* info = nullptr) {
  static tq_parse_token tokens[TQ_PARSE_TOKENS];
  Parsed p;
  uint32_t n = 99;
  p.rc = info != nullptr ? tq_parse_with_info(ctx, defn, value, tokens, &n, info)
                         : tq_parse(ctx, defn, value, tokens, &n);
  for (uint32_t i = 0; i < n && i < TQ_PARSE_TOKENS; ++i) {
    p.values.emplace_back(tokens[i].value);
    p.indexes.push_back(tokens[i].index);
  }
  return p;
}

std::string joined(const std::vector<std::string>& v) {
  std::string s;
  for (size_t i = 0; i < v.size(); ++i) s += (i ? "|" : "") + v[i];
  return s;
}

TEST(ParseRoad, NamesIntoTokens) {
  ParseKb kb;
  tq_context* ctx = kb.ctx();
  EXPECT_EQ(kb.load_rc(), 105) << tq_test::error_list_text(ctx);
  Parsed p = parse(ctx, "Name", "Dr. John Q. Smith Jr.");
  EXPECT_EQ(p.rc, 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(joined(p.values), "Dr.|John|Q.|Smith|Jr.");
  EXPECT_EQ(p.indexes, (std::vector<int32_t>{0, 1, 2, 3, 4}));
}

}  // namespace

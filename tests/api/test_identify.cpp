// Identification on the knowledge base of tests/kb/ident (Id5 at level 5,
// Id8 at level 8): results and their ties, the info of a worked value,
// refused definitions, and that an info never changes a result.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/ident_kb.h"

namespace {

using tq_test::IdentKb;

struct Identified {
  int32_t rc;
  std::string result;
};

Identified identify(tq_context* ctx, const char* defn, const char* value, tq_ident_info* info = nullptr) {
  char out[1028];
  std::memset(out, 'x', sizeof out);
  const int32_t rc = info != nullptr ? tq_identify_with_info(ctx, defn, value, out, info)
                                     : tq_identify(ctx, defn, value, out);
  return {rc, out};
}

// Every worked value gives the same result with and without an info.
struct Case {
  const char* defn;
  const char* value;
  const char* expected;
};
constexpr Case kCases[] = {
    {"Id5", "  doctor ", "TITLE"},  // known identity, case-insensitive, trimmed
    {"Id5", "Dr Jr", "UNKNOWN"},    // a tie cancels: the default
    {"Id5", "Dr Jr Jr", "PERSON"},  // each SUFFIX word adds the weight
    {"Id5", "Dr Dr Jr", "TITLE"},
    {"Id5", "Smith", "UNKNOWN"},    // nothing scores
    {"Id5", "", "UNKNOWN"},         // no words
    {"Id8", "John Smith", "PERSON"},
    {"Id8", "Hello John Smith", "UNKNOWN"},  // a phrase must cover every word
};

TEST(Identify, ResultsWithAndWithoutInfo) {
  IdentKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << tq_test::error_list_text(kb.ctx());
  tq_ident_info* info = nullptr;
  ASSERT_EQ(tq_ident_info_init(kb.ctx(), &info), 0);
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.defn) + " '" + c.value + "'");
    const Identified plain = identify(kb.ctx(), c.defn, c.value);
    EXPECT_EQ(plain.rc, 0) << tq_test::error_list_text(kb.ctx());
    EXPECT_EQ(plain.result, c.expected);
    const Identified with = identify(kb.ctx(), c.defn, c.value, info);
    EXPECT_EQ(with.rc, 0) << tq_test::error_list_text(kb.ctx());
    EXPECT_EQ(with.result, c.expected);
  }
  char out[1028];
  EXPECT_EQ(tq_identify_by_index(kb.ctx(), 1, "John Smith", out), 0);  // Id8, the second
  EXPECT_STREQ(out, "PERSON");
  EXPECT_EQ(tq_identify(kb.ctx(), "Nope", "John", out), -801);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(tq_ident_info_free(kb.ctx(), info), 0);
}

TEST(Identify, InfoOfAWorkedValue) {
  IdentKb kb;
  tq_context* ctx = kb.ctx();
  tq_ident_info* info = nullptr;
  ASSERT_EQ(tq_ident_info_init(ctx, &info), 0);
  int32_t idx = 0;
  uint32_t n = 9;
  char text[1028];
  // A fresh info holds nothing.
  EXPECT_EQ(tq_ident_info_known_identity_index_get(ctx, info, &idx), 0);
  EXPECT_EQ(idx, -1);
  EXPECT_EQ(tq_ident_info_snapshot_count_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(tq_ident_info_chopped_word_list_count_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 0u);

  ASSERT_EQ(identify(ctx, "Id5", "Dr Jr Jr", info).result, "PERSON");
  EXPECT_EQ(tq_ident_info_snapshot_count_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 2u);  // one per pattern evaluated
  EXPECT_EQ(tq_ident_info_id_count_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 2u);  // PERSON and TITLE scored
  EXPECT_EQ(tq_ident_info_id_value_get(ctx, info, 0, text), 0);
  EXPECT_STREQ(text, "PERSON");
  int32_t score = 0;
  EXPECT_EQ(tq_ident_info_id_score_get(ctx, info, 0, &score), 0);
  EXPECT_EQ(score, 20);
  EXPECT_EQ(tq_ident_info_id_pattern_count_get(ctx, info, 0, &n), 0);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(tq_ident_info_id_pattern_string_get(ctx, info, 0, 0, text), 0);
  EXPECT_STREQ(text, "Jr");
  EXPECT_EQ(tq_ident_info_id_pattern_solution_count_get(ctx, info, 0, 0, &n), 0);
  EXPECT_EQ(n, 0u);  // a word-category hit has no solutions
  EXPECT_EQ(tq_ident_info_snapshot_id_count_get(ctx, info, 0, &n), 0);
  EXPECT_EQ(n, 1u);  // after the first pattern only PERSON scored
  uint32_t position = 9;
  EXPECT_EQ(tq_ident_info_snapshot_id_pattern_pat_index_in_defn_get(ctx, info, 1, 1, 0, &position), 0);
  EXPECT_EQ(position, 1u);
  EXPECT_EQ(tq_ident_info_id_value_get(ctx, info, 2, text), -800);
  EXPECT_EQ(tq_ident_info_snapshot_id_count_get(ctx, info, 2, &n), -800);
  EXPECT_EQ(tq_ident_info_chopped_word_get(ctx, info, 2, text), 0);
  EXPECT_STREQ(text, "Jr");
  EXPECT_EQ(tq_ident_info_chopped_word_get(ctx, info, 3, text), -800);
  EXPECT_EQ(tq_ident_info_chopped_word_get(ctx, info, -1, text), -800);

  // A second run shows only itself: decided by the known identity.
  ASSERT_EQ(identify(ctx, "Id5", "  doctor ", info).result, "TITLE");
  EXPECT_EQ(tq_ident_info_known_identity_index_get(ctx, info, &idx), 0);
  EXPECT_EQ(idx, 0);
  EXPECT_EQ(tq_ident_info_known_identity_get(ctx, info, text), 0);
  EXPECT_STREQ(text, "TITLE");
  EXPECT_EQ(tq_ident_info_snapshot_count_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(tq_ident_info_id_count_get(ctx, info, &n), 0);
  EXPECT_EQ(n, 0u);
  uint32_t matched = 9;
  EXPECT_EQ(tq_ident_info_preprocessed_info_get(ctx, info, 3, text, &matched), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(matched, 0u);

  // A grammar hit keeps its solutions and the covered text.
  ASSERT_EQ(identify(ctx, "Id8", "John Smith", info).result, "PERSON");
  EXPECT_EQ(tq_ident_info_id_pattern_solution_count_get(ctx, info, 0, 0, &n), 0);
  EXPECT_GE(n, 1u);
  EXPECT_EQ(tq_ident_info_id_pattern_string_get(ctx, info, 0, 0, text), 0);
  EXPECT_STREQ(text, "John Smith");
  EXPECT_EQ(tq_ident_info_id_pattern_sought_cat_get(ctx, info, 0, 0, text), 0);
  EXPECT_STREQ(text, "BODY");
  tq_solution_rule* rule = nullptr;
  ASSERT_EQ(tq_ident_info_id_pattern_solution_rule_get(ctx, info, 0, 0, 0, &rule), 0);
  EXPECT_EQ(tq_ident_info_id_pattern_solution_rule_string_get(ctx, info, rule, text), 0);
  EXPECT_STREQ(text, "John Smith");
  EXPECT_EQ(tq_solution_rule_free(ctx, rule), 0);
  EXPECT_EQ(tq_ident_info_free(ctx, info), 0);
}

}  // namespace

// Identification on the knowledge base of tests/kb/ident (Id5 at level 5,
// Id8 at level 8): results and their ties, the info of a worked value,
// refused definitions, and that an info never changes a result.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
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

// Every worked value, with its result code; each gives the same result with
// and without an info.
struct Case {
  const char* defn;
  const char* value;
  int32_t rc;
  const char* expected;
};
constexpr Case kCases[] = {
    {"Id5", "  doctor ", 0, "TITLE"},  // known identity, case-insensitive, trimmed
    {"Id5", "Dr Jr", 0, "UNKNOWN"},    // a tie cancels: the default
    {"Id5", "Dr Jr Jr", 0, "PERSON"},  // each SUFFIX word adds the weight
    {"Id5", "Dr Dr Jr", 0, "TITLE"},
    {"Id5", "Smith", 0, "UNKNOWN"},    // nothing scores
    {"Id5", "", 0, "UNKNOWN"},         // no words
    {"Id8", "John Smith", 0, "PERSON"},
    {"Id8", "Hello John Smith", 0, "UNKNOWN"},  // a phrase must cover every word
    {"Id8Element", "Hello John Smith", 0, "PERSON"},  // an element search finds the span
    // Level 7: the phrase parse of the first pattern decides the third
    // (same grammar and root), which adds its weight before the second
    // pattern stops the loop. At level 8 each pattern runs alone: a tie.
    {"Id7", "John Smith", 0, "TITLE"},
    {"Id7As8", "John Smith", 0, "UNKNOWN"},
    {"IdVertical", "Dr Jr Jr", 0, "PERSON"},
    {"Id8NoGrammar", "Dr Jr Jr", 0, "PERSON"},  // patterns without grammar score by categories
    {"IdNoDefault", "Dr Jr", 0, ""},
    {"IdNoDefault", "Dr Jr Jr", 0, "PERSON"},
    {"IdStop", "Dr Dr Jr", 0, "PERSON"},  // the SUFFIX pattern (weight 1) stops first
    {"IdUnknownType", "Dr Jr Jr", -704, ""},
    {"IdNoValue", "Dr Jr Jr", -704, ""},
    {"IdTwoDefaults", "Dr Jr Jr", -704, ""},
    {"IdNoCategory", "Dr Jr Jr", -704, ""},
};

void expect_cases(tq_context* ctx, tq_ident_info* info, bool written = false) {
  for (Case c : kCases) {
    // A definition whose only fault was its type is written at level 5.
    if (written && std::strcmp(c.defn, "IdUnknownType") == 0) c = Case{c.defn, c.value, 0, "PERSON"};
    SCOPED_TRACE(std::string(c.defn) + " '" + c.value + "'");
    const Identified plain = identify(ctx, c.defn, c.value);
    EXPECT_EQ(plain.rc, c.rc) << tq_test::error_list_text(ctx);
    EXPECT_EQ(plain.result, c.expected);
    const Identified with = identify(ctx, c.defn, c.value, info);
    EXPECT_EQ(with.rc, c.rc) << tq_test::error_list_text(ctx);
    EXPECT_EQ(with.result, c.expected);
  }
}

TEST(Identify, ResultsWithAndWithoutInfo) {
  IdentKb kb;
  // The definitions that are not valid are reported by the load.
  EXPECT_EQ(kb.load_rc(), 104) << tq_test::error_list_text(kb.ctx());
  tq_ident_info* info = nullptr;
  ASSERT_EQ(tq_ident_info_init(kb.ctx(), &info), 0);
  expect_cases(kb.ctx(), info);
  uint32_t n = 0;
  ASSERT_EQ(identify(kb.ctx(), "IdStop", "Dr Dr Jr", info).result, "PERSON");
  EXPECT_EQ(tq_ident_info_snapshot_count_get(kb.ctx(), info, &n), 0);
  EXPECT_EQ(n, 1u);
  char out[1028];
  EXPECT_EQ(tq_identify_by_index(kb.ctx(), 1, "John Smith", out), 0);  // Id8, the second
  EXPECT_STREQ(out, "PERSON");
  EXPECT_EQ(tq_identify(kb.ctx(), "Nope", "John", out), -801);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(tq_ident_info_free(kb.ctx(), info), 0);
}

// Definitions bound as they are read (option bit 22) run the same.
TEST(Identify, BoundOnReading) {
  IdentKb kb(false, TQ_OPT_PREPARE_ON_READ);
  EXPECT_EQ(kb.load_rc(), 104) << tq_test::error_list_text(kb.ctx());
  tq_ident_info* info = nullptr;
  ASSERT_EQ(tq_ident_info_init(kb.ctx(), &info), 0);
  expect_cases(kb.ctx(), info);
  EXPECT_EQ(tq_ident_info_free(kb.ctx(), info), 0);
}

// The locale writer writes each definition under the include "Dovirizered"
// with its level's type, the broken ones too, naming those (104) as the
// load will hold them; read again, every definition gives what it gave.
TEST(Identify, WrittenAndReadAgainAtEachLevel) {
  IdentKb kb(true);
  ASSERT_EQ(tq_locale_write(kb.ctx(), tq_test::kIdentKbLocale, kb.lock()), TQ_WARN_LOCALE_PROBLEMS);
  const std::string said = tq_test::error_list_text(kb.ctx());
  for (const char* broken : {"'IdNoValue'", "'IdTwoDefaults'", "'IdNoCategory'"}) {
    EXPECT_NE(said.find(std::string("Identification Analysis definition ") + broken + " of locale"), std::string::npos)
        << broken << "\n" << said;
  }
  EXPECT_NE(said.find("of an identity pattern of the identification definition 'IdNoValue' is not one of its "
                      "identity values."),
            std::string::npos)
      << said;
  tq_test::Context again(kb.dir().c_str());
  EXPECT_EQ(tq_zel_locale_load(again, tq_test::kIdentKbLocale, TQ_LOAD_DATATYPES | TQ_LOAD_IDENT_DEFNS), 104)
      << tq_test::error_list_text(again);
  tq_ident_info* info = nullptr;
  ASSERT_EQ(tq_ident_info_init(again, &info), 0);
  expect_cases(again, info, true);
  EXPECT_EQ(tq_ident_info_free(again, info), 0);

  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_read(again, (kb.dir() / "locale" / "en.loc").c_str(), 1, &doc), 0)
      << tq_test::error_list_text(again);
  const std::string plain = (kb.dir() / "plain.xml").string();
  ASSERT_EQ(tq_xml_write(again, 0, plain.c_str(), 0, doc), 0) << tq_test::error_list_text(again);
  std::ifstream in(plain);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::regex element(R"re(<include name="Dovirizered">\s*<file type="([^"]+)")re");
  std::string types;
  for (std::sregex_iterator it(text.begin(), text.end(), element), end; it != end; ++it) types += (*it)[1].str() + ";";
  tq_xml_free(again, doc);
  EXPECT_EQ(types,
            "Dovirizered;Dovirizered V8;Dovirizered V8;Dovirizered V7;Dovirizered V8;Dovirizered V7;Dovirizered V8;"
            "Dovirizered;Dovirizered;Dovirizered;Dovirizered;Dovirizered;Dovirizered;");
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

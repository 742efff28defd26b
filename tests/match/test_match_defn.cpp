// Match definitions as the locale loader reads them from tests/kb/match:
// positions and code length, preprocessing schemes, token resource lists
// with their ranges and flags, combination rules; read errors with their
// messages; the written sections and a write read back; copies and their
// references; preparation.
#include <string>
#include <vector>

#include "match/krmdef.h"
#include "match/krmrule.h"
#include "match/krmtres.h"
#include "match_kb.h"

namespace {

using namespace tq;
using match_test::MatchKb;
using match_test::with_definition;

constexpr int32_t kM = 0;
constexpr int32_t kR = 1;

void replace(std::string* text, const std::string& from, const std::string& to) {
  const size_t at = text->find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text->replace(at, from.size(), to);
}

// Every occurrence inside one definition's element ("M" or "R").
void replace_in(std::string* text, const std::string& which, const std::string& from, const std::string& to) {
  const std::string head = "<include name=\"Rivoruzeduv\">";
  const size_t r = text->find(head, text->find(head) + 1);
  size_t begin = which == "M" ? 0 : r;
  size_t end = which == "M" ? r : text->size();
  size_t n = 0;
  for (size_t at = text->find(from, begin); at != std::string::npos && at < end; at = text->find(from, at + to.size())) {
    text->replace(at, from.size(), to);
    end = end + to.size() - from.size();
    ++n;
  }
  EXPECT_GT(n, 0u) << from;
}

TEST(MatchDefn, FixtureMReadsItsPositionsAndWritesEverySection) {
  MatchKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  defn_rec* m = kb.defn(kM);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->valid, 1);
  const match_defn_kind_rec* part = match_defn_part(m);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->code_length, 15u);
  EXPECT_EQ(part->include_default, 1u);
  EXPECT_TRUE(part->schemes.empty());
  const match_token_kind_rec* tok = kb.token(kM);
  ASSERT_NE(tok, nullptr);
  const int32_t ends[10] = {7, 6, 5, 4, 4, 4, 2, 2, 2, 2};
  for (int b = 0; b < 10; ++b) {
    EXPECT_EQ(tok->positions[b].start, 1) << b;
    EXPECT_EQ(tok->positions[b].end, ends[b]) << b;
  }
  EXPECT_EQ(tok->cat_uppercasing, 1);
  EXPECT_EQ(tok->sort_words, 0);

  const std::string text = kb.written(kM);
  EXPECT_NE(text.find("<file type=\"Rivoruzeduv\" version=\"7.0\">"), std::string::npos) << text;
  for (const char* empty : {"PreProc Schemes", "Noise Vocabs", "PhonetX Libs", "Transformation Regexlibs"}) {
    EXPECT_NE(text.find(std::string("<file type=\"") + empty + "\""), std::string::npos) << empty;
  }
  EXPECT_EQ(text.find("Combination Rule List"), std::string::npos);
  EXPECT_EQ(text.find("Norm Cat Regexlibs"), std::string::npos);
  EXPECT_NE(text.find("<property name=\"Sens 95 Start pos\">1</property>"), std::string::npos) << text;
  EXPECT_NE(text.find("<property name=\"Sens 95 End pos\">7</property>"), std::string::npos);
  EXPECT_NE(text.find("<data length=\"9\">"), std::string::npos);
  EXPECT_EQ(text.find("<field column=\"Sensitivity\">95</field>"), std::string::npos);

  // Written and read back: the same positions.
  MatchKb again(with_definition(match_test::locale_text(), "M", text));
  ASSERT_EQ(again.load_rc(), 0) << again.errors();
  const match_token_kind_rec* back = again.token(kM);
  for (int b = 0; b < 10; ++b) EXPECT_EQ(back->positions[b].end, ends[b]) << b;
  EXPECT_EQ(match_defn_part(again.defn(kM))->code_length, 15u);
}

void expect_r(MatchKb& kb) {
  defn_rec* r = kb.defn(kR);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->valid, 1) << kb.errors();
  const match_defn_kind_rec* part = match_defn_part(r);
  // Without a "Case Insensitive" column the scheme is case-insensitive; any
  // type but "Phrase" (here "element") is element mode.
  ASSERT_EQ(part->schemes.size(), 1u);
  EXPECT_TRUE(part->schemes[0].scheme.held());
  EXPECT_EQ(part->schemes[0].options, kMatchSchemeElement | kMatchSchemeCaseInsensitive);
  // Bucket 95 without its properties takes bucket 90's pair, whose end 40
  // makes the code length.
  EXPECT_EQ(part->code_length, 40u);
  EXPECT_EQ(part->include_default, 0u);
  ASSERT_EQ(part->rules.size(), 1u);
  const match_combination_rule& rule = part->rules[0];
  EXPECT_EQ(rule.sens_low, 10);
  EXPECT_EQ(rule.sens_high, 100);
  EXPECT_DOUBLE_EQ(rule.weight, 1.5);
  ASSERT_EQ(rule.conditions.size(), 1u);
  EXPECT_STREQ(rule.conditions[0].token, "Name");
  EXPECT_STREQ(rule.conditions[0].category, "GIVEN");
  EXPECT_EQ(rule.conditions[0].likelihood, 50);
  EXPECT_EQ(rule.conditions[0].negate, 0);
  ASSERT_EQ(rule.mapping.size(), 1u);
  EXPECT_STREQ(rule.mapping[0].position, "Name");
  EXPECT_STREQ(rule.mapping[0].token, "Name");

  const match_token_kind_rec* tok = kb.token(kR);
  EXPECT_EQ(tok->positions[0].end, 40);
  EXPECT_EQ(tok->positions[1].end, 40);
  EXPECT_EQ(tok->positions[9].end, 0);  // no record for 50
  ASSERT_EQ(tok->noise.size(), 1u);
  EXPECT_TRUE(tok->noise[0].ref.held());
  EXPECT_EQ(tok->noise[0].low, 20);
  EXPECT_EQ(tok->noise[0].high, 90);
  // No "Sens Range Low" column: the whole range.
  ASSERT_EQ(tok->phonetx.size(), 1u);
  EXPECT_TRUE(tok->phonetx[0].ref.held());
  EXPECT_EQ(tok->phonetx[0].low, 0);
  EXPECT_EQ(tok->phonetx[0].high, 100);
  ASSERT_EQ(tok->transform.size(), 1u);
  EXPECT_EQ(tok->transform[0].high, 80);
  // "N" is not "No": categorization uppercasing stays on; "Y" sorts words.
  EXPECT_EQ(tok->cat_uppercasing, 1);
  EXPECT_EQ(tok->sort_words, 1);
  ASSERT_EQ(tok->norm_cat.size(), 1u);
  EXPECT_TRUE(tok->norm_cat[0].held());
  ASSERT_EQ(tok->vocabularies.size(), 1u);
  EXPECT_EQ(tok->vocabularies[0].stop, 1);
  EXPECT_EQ(tok->vocabularies[0].fuzzy.enabled, 1u);
  EXPECT_EQ(tok->vocabularies[0].fuzzy.threshold, 70u);
  ASSERT_EQ(tok->cat_regexlibs.size(), 1u);
  EXPECT_STREQ(tok->cat_regexlibs[0]->name, "INITIAL");
  EXPECT_EQ(tok->cat_regexlibs[0]->stop, 1);
  EXPECT_EQ(vec_count(&tok->defaults), 1u);
}

TEST(MatchDefn, FixtureRReadsEveryListAndReadsBackTheSameAfterAWrite) {
  std::string text;
  {
    MatchKb kb;
    ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
    expect_r(kb);
    text = kb.written(kR);
  }
  EXPECT_NE(text.find("<property name=\"Weight\">1.50</property>"), std::string::npos) << text;
  EXPECT_NE(text.find("<property name=\"Include Default\">N</property>"), std::string::npos);
  EXPECT_NE(text.find("<field column=\"Scheme Type\">Element</field>"), std::string::npos);
  EXPECT_NE(text.find("<field column=\"Case Insensitive\">Yes</field>"), std::string::npos);
  MatchKb again(with_definition(match_test::locale_text(), "R", text));
  ASSERT_EQ(again.load_rc(), 0) << again.errors();
  expect_r(again);
}

// Each variant of M's or R's element with the message it must record.
struct ReadCase {
  const char* what;
  const char* from;
  const char* to;
  bool valid;
  const char* message;  // part of the recorded text; "" for none
  const char* from2 = nullptr;  // a second change, when not NULL
  const char* to2 = nullptr;
};

const ReadCase kReadCases[] = {
    {"end 1024 accepted", "<field column=\"End pos\">6</field>", "<field column=\"End pos\">1024</field>", true, ""},
    {"end 1025 refused", "<field column=\"End pos\">6</field>", "<field column=\"End pos\">1025</field>", false,
     "positions 1 to 1025"},
    {"end 65537 refused, not cut to 1", "<field column=\"End pos\">6</field>",
     "<field column=\"End pos\">65537</field>", false, "positions 1 to 65537"},
    {"start after end", "<field column=\"Start pos\">1</field><field column=\"End pos\">6</field>",
     "<field column=\"Start pos\">7</field><field column=\"End pos\">6</field>", false, "positions 7 to 6"},
    {"sensitivity 92", "<field column=\"Sensitivity\">90</field>", "<field column=\"Sensitivity\">92</field>", false,
     "sensitivity 92"},
    {"ten records", "<record><field column=\"Sensitivity\">90</field>",
     "<record><field column=\"Sensitivity\">95</field><field column=\"Start pos\">1</field><field "
     "column=\"End pos\">3</field></record><record><field column=\"Sensitivity\">90</field>",
     false, "it has 10 records", "<data length=\"9\">", "<data length=\"10\">"},
    {"missing column", "Start pos", "Begin", false,
     "column 'Start pos' is missing from the sensitivities of token 'Name'"},
    {"95 property not a number", "<property name=\"Sens 95 End pos\">7</property>",
     "<property name=\"Sens 95 End pos\">7x</property>", false, "positions 1 to -1"},
    {"no Sensitivities", "<file type=\"Sensitivities\" version=\"7.0\">", "<file type=\"Sensitivitiez\" version=\"7.0\">",
     false, "it has 0 records"},
};

TEST(MatchDefn, ReadErrorsMarkTheDefinitionNotValidWithTheirMessages) {
  for (const ReadCase& c : kReadCases) {
    SCOPED_TRACE(c.what);
    std::string text = match_test::locale_text();
    replace_in(&text, "M", c.from, c.to);
    if (c.from2 != nullptr) replace_in(&text, "M", c.from2, c.to2);
    MatchKb kb(text);
    defn_rec* m = kb.defn(kM);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->valid, c.valid ? 1 : 0) << kb.errors();
    if (c.message[0] != '\0') {
      EXPECT_TRUE(kb.has_error(c.message)) << kb.errors();
    }
    // The other definition is unaffected.
    EXPECT_EQ(kb.defn(kR)->valid, 1);
  }
  // End 1024 gives the longest code.
  std::string text = match_test::locale_text();
  replace(&text, "<field column=\"End pos\">6</field>", "<field column=\"End pos\">1024</field>");
  MatchKb kb(text);
  EXPECT_EQ(match_defn_part(kb.defn(kM))->code_length, 1024u);
}

TEST(MatchDefn, ResourcesThatCannotBeOpenedStayUnboundAndTheRestReads) {
  std::string text = match_test::locale_text();
  // A second noise vocabulary that does not exist, a scheme without its
  // type column, a "Sort Words" that is no yes/no.
  replace(&text, "<data length=\"1\">\n                                    <layout width=\"2\">\n                                        <column type=\"int\">Sens Range High</column>",
          "<data length=\"2\">\n                                    <layout width=\"2\">\n                                        <column type=\"int\">Sens Range High</column>");
  replace(&text, "<field column=\"Sens Range Low\">20</field><value>PersonName</value></record>",
          "<field column=\"Sens Range Low\">20</field><value>PersonName</value></record><record key=\"\"><field "
          "column=\"Sens Range High\">100</field><field column=\"Sens Range Low\">0</field><value>NoSuchVocab</value></record>");
  replace(&text, "<property name=\"Sort Words\">Y</property>", "<property name=\"Sort Words\">maybe</property>");
  MatchKb kb(text);
  EXPECT_EQ(kb.load_rc(), 104) << kb.errors();
  defn_rec* r = kb.defn(kR);
  EXPECT_EQ(r->valid, 0);
  EXPECT_TRUE(kb.has_error("The vocabulary 'NoSuchVocab' of token 'Name' of the Match definition 'R'")) << kb.errors();
  const match_token_kind_rec* tok = kb.token(kR);
  ASSERT_EQ(tok->noise.size(), 2u);
  EXPECT_TRUE(tok->noise[0].ref.held());
  EXPECT_FALSE(tok->noise[1].ref.held());
  EXPECT_EQ(tok->sort_words, 0);
  // Everything after the failures was still read.
  EXPECT_EQ(tok->vocabularies.size(), 1u);
  EXPECT_EQ(match_defn_part(r)->code_length, 40u);

  // A copy of the unbound definition keeps the entry unbound and takes no
  // reference for it; every reference goes back with the last holder.
  const int32_t noise = tok->noise[0].ref.index();
  const uint32_t before = kb.refs(kRsrcVocab, noise);
  int32_t copy = -1;
  ASSERT_EQ(defn_copy(kb.ctx(), kDefnMatch, "R", "R2", 0, &copy), 0) << kb.errors();
  const match_token_kind_rec* ct = kb.token(copy);
  ASSERT_EQ(ct->noise.size(), 2u);
  EXPECT_FALSE(ct->noise[1].ref.held());
  // The vocabulary is also the token's categorization vocabulary: two more.
  EXPECT_EQ(kb.refs(kRsrcVocab, noise), before + 2);
  std::string schemes_missing = match_test::locale_text();
  replace_in(&schemes_missing, "R", "Scheme Type", "Kind");
  MatchKb kb2(schemes_missing);
  EXPECT_EQ(kb2.defn(kR)->valid, 0);
  EXPECT_TRUE(kb2.has_error("column 'Scheme Type' is missing from the preprocessing schemes of the match definition 'R'"))
      << kb2.errors();
  // With a "Case Insensitive" column only the exact "Yes" makes a scheme
  // case-insensitive; "Phrase" is phrase mode.
  std::string phrase = match_test::locale_text();
  replace_in(&phrase, "R", "<layout width=\"1\">\n                                <column type=\"string\">Scheme Type</column>",
             "<layout width=\"2\">\n                                <column type=\"string\">Scheme Type</column><column "
             "type=\"string\">Case Insensitive</column>");
  replace_in(&phrase, "R", "<field column=\"Scheme Type\">element</field>",
             "<field column=\"Scheme Type\">Phrase</field><field column=\"Case Insensitive\">yes</field>");
  MatchKb kb3(phrase);
  ASSERT_EQ(kb3.load_rc(), 0) << kb3.errors();
  ASSERT_EQ(match_defn_part(kb3.defn(kR))->schemes.size(), 1u);
  EXPECT_EQ(match_defn_part(kb3.defn(kR))->schemes[0].options, 0u);
}

TEST(MatchDefn, ACopyHoldsItsOwnReferencesAfterTheSourceIsUnloaded) {
  MatchKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  const match_token_kind_rec* src = kb.token(kR);
  struct Held {
    uint32_t kind;
    int32_t index;
  };
  const std::vector<Held> held = {{kRsrcVocab, src->noise[0].ref.index()},
                                  {kRsrcPhonetx, src->phonetx[0].ref.index()},
                                  {kRsrcRegex, src->transform[0].ref.index()},
                                  {kRsrcRegex, src->norm_cat[0].index()},
                                  {kRsrcScheme, match_defn_part(kb.defn(kR))->schemes[0].scheme.index()}};
  std::vector<uint32_t> before;
  for (const Held& h : held) before.push_back(kb.refs(h.kind, h.index));
  int32_t copy = -1;
  ASSERT_EQ(defn_copy(kb.ctx(), kDefnMatch, "R", "Copy", 0, &copy), 0) << kb.errors();
  // R alone holds these (some twice: the vocabulary is a noise and a
  // categorization vocabulary, Initials a "Norm Cat" and a categorization
  // library): the copy holds as many again.
  for (size_t i = 0; i < held.size(); ++i) EXPECT_EQ(kb.refs(held[i].kind, held[i].index), 2 * before[i]) << i;
  ASSERT_EQ(defn_unload(kb.ctx(), kDefnMatch, kR), 0);
  for (size_t i = 0; i < held.size(); ++i) EXPECT_EQ(kb.refs(held[i].kind, held[i].index), before[i]) << i;
  // The copy is whole: same lists, rules and code length.
  defn_rec* c = kb.defn(copy);
  EXPECT_EQ(match_defn_part(c)->code_length, 40u);
  EXPECT_EQ(match_defn_part(c)->rules.size(), 1u);
  EXPECT_EQ(match_defn_part(c)->schemes[0].options, kMatchSchemeElement | kMatchSchemeCaseInsensitive);
  const match_token_kind_rec* ct = kb.token(copy);
  EXPECT_EQ(ct->noise[0].high, 90);
  EXPECT_EQ(ct->vocabularies[0].fuzzy.threshold, 70u);
  EXPECT_EQ(ct->cat_regexlibs.size(), 1u);
  EXPECT_EQ(ct->positions[1].end, 40);
  ASSERT_EQ(defn_unload(kb.ctx(), kDefnMatch, copy), 0);
  // The vocabulary is also held by the token's categorization list: with
  // both definitions gone nothing holds any of them.
  for (const Held& h : held) EXPECT_EQ(kb.refs(h.kind, h.index), 0u);
}

TEST(MatchDefn, PreparationPointsTheOptionsAtTheListsAndChangesUndoIt) {
  MatchKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  defn_rec* r = kb.defn(kR);
  match_defn_kind_rec* part = match_defn_part(r);
  EXPECT_EQ(part->prepared.load(), 0u);
  ASSERT_EQ(match_defn_prepare(kb.ctx(), r), 0) << kb.errors();
  EXPECT_EQ(part->prepared.load(), 1u);
  const match_token_kind_rec* tok = kb.token(kR);
  EXPECT_EQ(tok->prepared, 1u);
  EXPECT_EQ(tok->morph->set, 1u);
  EXPECT_EQ(tok->morph->norm_count, 1);
  EXPECT_EQ(tok->morph->vocab_count, 1);
  EXPECT_EQ(tok->morph->cat_count, 1);
  EXPECT_EQ(tok->morph->vocabs, tok->vocabularies.data());
  kDefnRecords.invalidate(kb.ctx(), r, kFieldDropsPrepared);
  EXPECT_EQ(part->prepared.load(), 0u);
  EXPECT_EQ(tok->prepared, 0u);

  // Under option bit 22 the definitions are prepared as they are read.
  MatchKb eager(match_test::locale_text(), kOptPrepareOnRead);
  ASSERT_EQ(eager.load_rc(), 0) << eager.errors();
  EXPECT_EQ(match_defn_part(eager.defn(kR))->prepared.load(), 1u);
  EXPECT_EQ(eager.token(kR)->cat_regexlibs[0]->bound, 1);
}

TEST(MatchDefn, RuleWeightsKeepTwoDecimalsAndIncludeDefaultOffIsKeptWithoutRules) {
  std::string r_text;
  std::string m_text;
  {
    MatchKb kb;
    ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
    match_defn_part(kb.defn(kR))->rules[0].weight = 1.234;
    // Without rules the list is written for "Include Default" off alone.
    match_defn_part(kb.defn(kM))->include_default = 0;
    r_text = kb.written(kR);
    m_text = kb.written(kM);
  }
  EXPECT_NE(r_text.find("<property name=\"Weight\">1.23</property>"), std::string::npos) << r_text;
  EXPECT_NE(m_text.find("Include Default"), std::string::npos) << m_text;
  MatchKb again(with_definition(with_definition(match_test::locale_text(), "R", r_text), "M", m_text));
  ASSERT_EQ(again.load_rc(), 0) << again.errors();
  EXPECT_DOUBLE_EQ(match_defn_part(again.defn(kR))->rules[0].weight, 1.23);
  EXPECT_EQ(match_defn_part(again.defn(kM))->include_default, 0u);
  EXPECT_TRUE(match_defn_part(again.defn(kM))->rules.empty());
}

TEST(MatchDefn, RuleChangesRaiseTheVersionButIncludeDefaultDoesNot) {
  MatchKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  defn_rec* m = kb.defn(kM);
  const std::string before = m->version;
  ASSERT_NE(before, "9.0");
  ASSERT_EQ(tqx_match_defn_token_combination_include_default_set(kb.ctx(), kM, 0), 0) << kb.errors();
  EXPECT_EQ(std::string(m->version), before);
  uint32_t rule = 9;
  ASSERT_EQ(tqx_match_defn_token_combination_rule_add(kb.ctx(), kM, &rule), 0) << kb.errors();
  EXPECT_STREQ(m->version, "9.0");
  // A failed change raises nothing.
  defn_rec* r = kb.defn(kR);
  const std::string r_before = r->version;
  EXPECT_EQ(tqx_match_defn_token_combination_rule_weight_set(kb.ctx(), kR, 4, 1.0), TQ_ERR_INDEX);
  EXPECT_EQ(std::string(r->version), r_before);
}

TEST(MatchDefn, RulesFollowTokenRenamesAndDeletions) {
  MatchKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  defn_rec* r = kb.defn(kR);
  match_defn_kind_rec* part = match_defn_part(r);
  match_combination_rule extra;
  extra.mapping.resize(2);
  std::strcpy(extra.mapping[0].position, "Name");
  std::strcpy(extra.mapping[0].token, "name");  // another name: byte for byte
  std::strcpy(extra.mapping[1].position, "Other");
  std::strcpy(extra.mapping[1].token, "Name");
  extra.conditions.resize(2);
  std::strcpy(extra.conditions[0].token, "Name");
  std::strcpy(extra.conditions[1].token, "Other");
  part->rules.push_back(extra);

  ASSERT_EQ(match_rules_token_name_changed(kb.ctx(), r, "Name", "Full"), 0);
  const match_combination_rule& e = part->rules[1];
  EXPECT_STREQ(e.mapping[0].position, "Full");
  EXPECT_STREQ(e.mapping[0].token, "name");
  EXPECT_STREQ(e.mapping[1].token, "Full");
  EXPECT_STREQ(e.conditions[0].token, "Full");
  EXPECT_STREQ(part->rules[0].mapping[0].token, "Full");
  // A token named for the first time gains an entry in every rule.
  ASSERT_EQ(match_rules_token_name_changed(kb.ctx(), r, "", "New"), 0);
  EXPECT_EQ(part->rules[0].mapping.size(), 2u);
  EXPECT_STREQ(part->rules[0].mapping[1].position, "New");
  EXPECT_STREQ(part->rules[0].mapping[1].token, "");

  // The token "Full" is removed (the store has taken it off; here the
  // definition's only token is renamed so that "Full" names none).
  std::strcpy(r->tokens.items[0]->name, "Other");
  ASSERT_EQ(match_rules_token_deleted(kb.ctx(), r, "Full"), 0);
  for (const match_combination_rule& rule : part->rules) {
    ASSERT_EQ(rule.mapping.size(), 1u);
    EXPECT_STREQ(rule.mapping[0].position, "Other");
    for (const match_rule_condition& c : rule.conditions) EXPECT_STRNE(c.token, "Full");
  }
  EXPECT_STREQ(part->rules[1].mapping[0].token, "");  // it took its value from "Full"
  EXPECT_EQ(part->rules[1].conditions.size(), 1u);
  EXPECT_EQ(part->rules[0].conditions.size(), 0u);
}

}  // namespace

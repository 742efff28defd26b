// Extraction definitions as the locale loader reads them from the fixture
// of tests/kb/extract (definition Ex on the datatype Contact), their
// references, validation, and a write read back.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <cstring>

#include "core/krcorvel.h"
#include "core/krerr.h"
#include "fields/krxdef.h"
#include "fields/krxeng.h"
#include "fields/krxinfo.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"
#include "resources/krchpr.h"
#include "resources/krgram.h"
#include "resources/krregx.h"
#include "resources/krsch.h"
#include "resources/krvcld.h"
#include "support/bare_kb.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
namespace fs = std::filesystem;

// The fixture's files as vault files in a fresh knowledge base, EN loaded
// with its datatypes and extraction definitions (the locale document is
// given as a text so that tests can vary it).
class ExtractKb : public tq_test::BareKb {
 public:
  explicit ExtractKb(const std::string& locale_text = "")
      : BareKb({"chopinfo", "grammar", "locale", "regexlib", "scheme", "vocab"}, tq_test::fields_layers(),
               {{kDefnExtract, &kExtractDefnKindOps}}) {
    put({{"parse/grammar/PersonName", "grammar/PersonName"},
         {"parse/locale/l1.loc", "locale/l1.loc"},
         {"extract/chopinfo/NameChopper", "chopinfo/NameChopper"},
         {"extract/scheme/Companies", "scheme/Companies.sch"}});
    // The vocabulary is compiled from its plain source, as the engine uses it.
    compile_vocab("parse/vocab/PersonName", "PersonName");
    if (locale_text.empty()) {
      put({{"extract/locale/en.loc", "locale/en.loc"}});
    } else {
      put_text(locale_text, "locale/en.loc");
    }
    load(29000, 0x2u | 0x400u);
  }
  defn_rec* ex(int32_t index = 0) { return record(kDefnExtract, index); }
};

TEST(ExtractDefn, FixtureReadsWithItsPatternsSchemesAndTokens) {
  ExtractKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  defn_rec* rec = kb.ex();
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->valid, 1);
  const extract_defn_kind_rec* part = extract_defn_part(rec);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->parser_enabled, 1u);
  EXPECT_STREQ(part->separator, " ");
  EXPECT_EQ(part->default_token, 3);
  ASSERT_EQ(part->schemes.size(), 1u);
  EXPECT_EQ(part->schemes[0].token, 2);
  EXPECT_TRUE(part->schemes[0].scheme.held());
  ASSERT_EQ(part->patterns.size(), 1u);
  const extract_pattern_rec& p = part->patterns[0];
  EXPECT_STREQ(p.root_name, "NAME");
  EXPECT_EQ(p.weight, 1);
  EXPECT_EQ(p.max_matches, 1);
  EXPECT_EQ(p.mode, kExtractElement);
  ASSERT_EQ(p.sought.size(), 2u);
  EXPECT_STREQ(p.sought[1].name, "FAMILY");
  EXPECT_EQ(p.sought[1].token, 1);
  // Preparation binds the categories and builds the pattern's parser.
  ASSERT_EQ(extract_defn_prepare(kb.ctx(), rec), 0) << kb.errors();
  EXPECT_GE(p.root_index, 0);
  EXPECT_NE(p.parser, nullptr);
  EXPECT_EQ(part->prepared.load(), 1u);
}

TEST(ExtractDefn, WrittenAndReadBackTheSame) {
  std::string text;
  {
    ExtractKb kb;
    ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
    defn_rec* rec = kb.ex();
    // A second pattern on the same grammar, no categorization table.
    ASSERT_EQ(extract_pattern_add(kb.ctx(), rec, "PersonName", "NAME", kExtractPhrase, -5, 3, nullptr), 0);
    ASSERT_EQ(extract_sought_cat_add(kb.ctx(), rec, 1, "GIVEN", 0), 0);
    xmldoc* doc = nullptr;
    ASSERT_EQ(xmldoc_create(kb.ctx(), "Locale Settings", "9.0", &doc), 0);
    ASSERT_EQ(defn_element_write(kb.ctx(), doc, rec), 0) << kb.errors();
    const xmldoc* el = xmldoc_include_doc_find(doc, kExtractRootType);
    ASSERT_NE(el, nullptr);
    EXPECT_EQ(xmldoc_include_doc_find(el, "Categorization Regexlibs"), nullptr);
    fs::path out = fs::temp_directory_path() / "tq_extract_written.xml";
    ASSERT_EQ(xmldoc_write(kb.ctx(), out.c_str(), kXmlFlagNameAsGiven, doc), 0) << kb.errors();
    xml_free(kb.ctx(), doc);
    std::ifstream in(out);
    text.assign(std::istreambuf_iterator<char>(in), {});
    fs::remove(out);
  }
  // The written element replaces Ex in the locale document.
  std::ifstream in(tq_test::BareKb::source("extract/locale/en.loc"));
  std::string loc((std::istreambuf_iterator<char>(in)), {});
  const size_t a = loc.find("<include name=\"Vidurivodidiz\">");
  const size_t b = loc.rfind("</include>", loc.rfind("</file>"));
  const size_t s = text.find("<include name=\"Vidurivodidiz\">");
  const size_t e = text.rfind("</include>", text.rfind("</file>"));
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(s, std::string::npos);
  loc.replace(a, b + 10 - a, text.substr(s, e + 10 - s));
  ExtractKb kb(loc);
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  const extract_defn_kind_rec* part = extract_defn_part(kb.ex());
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->parser_enabled, 1u);
  EXPECT_STREQ(part->separator, " ");
  EXPECT_EQ(part->default_token, 3);
  ASSERT_EQ(part->schemes.size(), 1u);
  ASSERT_EQ(part->patterns.size(), 2u);
  EXPECT_EQ(part->patterns[0].sought.size(), 2u);
  EXPECT_EQ(part->patterns[1].mode, kExtractPhrase);
  EXPECT_EQ(part->patterns[1].weight, -5);
  EXPECT_EQ(part->patterns[1].max_matches, 3);
  ASSERT_EQ(part->patterns[1].sought.size(), 1u);
  EXPECT_EQ(part->patterns[1].sought[0].token, 0);
}

TEST(ExtractDefn, ChangesKeepReferencesAndRefusePreparationWithoutGrammar) {
  ExtractKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  defn_rec* rec = kb.ex();
  extract_defn_kind_rec* part = extract_defn_part(rec);
  // A failed add leaves no pattern behind.
  EXPECT_LT(extract_pattern_add(kb.ctx(), rec, "NoSuchGrammar", "NAME", 0, 1, 1, nullptr), 0);
  EXPECT_EQ(part->patterns.size(), 1u);
  // Limits checked against the definition's own tokens.
  EXPECT_EQ(extract_sought_cat_add(kb.ctx(), rec, 0, "GIVEN", 4), TQ_ERR_INDEX);
  for (int i = 2; i < 32; ++i) ASSERT_EQ(extract_sought_cat_add(kb.ctx(), rec, 0, "GIVEN", 0), 0);
  EXPECT_EQ(extract_sought_cat_add(kb.ctx(), rec, 0, "GIVEN", 0), TQ_ERR_CALL_STACK_FULL);
  // Token 0 goes: its sought categories go, the others move down.
  ASSERT_EQ(extract_defn_token_deleted(kb.ctx(), rec, 0), 0);
  ASSERT_EQ(part->patterns[0].sought.size(), 1u);
  EXPECT_EQ(part->patterns[0].sought[0].token, 0);
  EXPECT_EQ(part->schemes[0].token, 1);
  EXPECT_EQ(part->default_token, 2);
  // A grammar that fails to load leaves the pattern as it was; a pattern
  // left without one is refused by preparation, by name.
  const int32_t grammar = part->patterns[0].grammar.index();
  EXPECT_LT(extract_pattern_grammar_set(kb.ctx(), rec, 0, "NoSuchGrammar"), 0);
  EXPECT_EQ(part->patterns[0].grammar.index(), grammar);
  EXPECT_EQ(extract_pattern_grammar_set(kb.ctx(), rec, 0, ""), 0);
  EXPECT_FALSE(part->patterns[0].grammar.held());
  EXPECT_EQ(extract_defn_prepare(kb.ctx(), rec), TQ_ERR_RESOURCE_LACKS);
  EXPECT_NE(kb.errors().find("NAME"), std::string::npos) << kb.errors();
}

TEST(ExtractDefn, BadRowsAreAccountedAndLimitsHold) {
  std::ifstream in(tq_test::BareKb::source("extract/locale/en.loc"));
  std::string loc((std::istreambuf_iterator<char>(in)), {});
  // "yes" is not "Yes"; Maximum Matches below 1 reads as 1; an unknown mode
  // marks the definition not valid.
  auto swap = [&loc](const std::string& from, const std::string& to) {
    const size_t at = loc.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    loc.replace(at, from.size(), to);
  };
  swap("<property name=\"Use Parser\">Yes", "<property name=\"Use Parser\">yes");
  swap("\"Maximum Matches\">1<", "\"Maximum Matches\">-3<");
  {
    ExtractKb kb(loc);
    ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
    const extract_defn_kind_rec* part = extract_defn_part(kb.ex());
    EXPECT_EQ(part->parser_enabled, 0u);
    EXPECT_EQ(part->patterns[0].max_matches, 1);
  }
  swap("\"Mode\">Element<", "\"Mode\">Elem<");
  swap("<include name=\"Token\"><file type=\"Token\" version=\"7.0\"><property name=\"Name\">Other</property></file></include>", "");
  ExtractKb kb(loc);
  EXPECT_EQ(kb.load_rc(), TQ_WARN_LOCALE_PROBLEMS) << kb.errors();
  EXPECT_EQ(kb.ex()->valid, 0);
}

// The common reader asks the kind part whether the definition needs a
// vocabulary: with "Use Parser" it does, without it none is required.
TEST(ExtractDefn, UsingTheParserRequiresAVocabulary) {
  std::ifstream in(tq_test::BareKb::source("extract/locale/en.loc"));
  std::string loc((std::istreambuf_iterator<char>(in)), {});
  const std::string vocabulary = "<property name=\"Vocabulary\">PersonName</property>";
  const size_t at = loc.find(vocabulary);
  ASSERT_NE(at, std::string::npos);
  loc.erase(at, vocabulary.size());
  {
    ExtractKb kb(loc);
    EXPECT_EQ(kb.load_rc(), TQ_WARN_LOCALE_PROBLEMS) << kb.errors();
    EXPECT_NE(kb.errors().find("names no vocabulary"), std::string::npos) << kb.errors();
  }
  const std::string uses = "<property name=\"Use Parser\">Yes";
  loc.replace(loc.find(uses), uses.size(), "<property name=\"Use Parser\">No");
  ExtractKb kb(loc);
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  EXPECT_EQ(kb.ex()->valid, 1);
  EXPECT_EQ(extract_defn_part(kb.ex())->parser_enabled, 0u);
}

std::vector<std::string> run(ExtractKb& kb, const char* text, extract_info* info = nullptr) {
  extract_value out[kExtractTokensMax];
  uint32_t n = 0;
  const int32_t rc = extract_engine_run(kb.ctx(), kb.ex(), text, out, &n, info);
  EXPECT_EQ(rc, 0) << text << kb.errors();
  std::vector<std::string> values;
  for (uint32_t i = 0; i < n; ++i) values.emplace_back(out[i].value);
  return values;
}

TEST(ExtractRun, KnownWordsSeparatorsAndTheDefaultToken) {
  ExtractKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  extract_defn_kind_rec* part = extract_defn_part(kb.ex());
  part->parser_enabled = 0;
  using V = std::vector<std::string>;
  extract_info* info = nullptr;
  ASSERT_EQ(extract_info_create(&info), 0);
  EXPECT_EQ(run(kb, "call acme corp today", info), (V{"", "", "acme corp", "call today"}));
  // Every phrase looked up is recorded, found or not, with a copy of the
  // scheme's name.
  ASSERT_EQ(info->known_words.size(), 3u);
  EXPECT_EQ(info->known_words[0].found, 0u);
  EXPECT_EQ(info->known_words[0].phrase, "call");
  EXPECT_EQ(info->known_words[0].scheme_index, -1);
  EXPECT_EQ(info->known_words[1].found, 1u);
  EXPECT_EQ(info->known_words[1].phrase, "acme corp");
  EXPECT_EQ(info->known_words[1].scheme_name, "Companies");
  EXPECT_EQ(info->known_words[1].token, 2);
  EXPECT_EQ(wordlist_word_count(&info->chopped.list), 2u);
  EXPECT_TRUE(info->iterations.empty());
  // A second run empties the info first.
  EXPECT_EQ(run(kb, "", info), (V{"", "", "", ""}));
  EXPECT_TRUE(info->known_words.empty());
  extract_info_free(kb.ctx(), info);
  std::strcpy(part->separator, "|");
  EXPECT_EQ(run(kb, "call acme corp today"), (V{"", "", "acme corp", "call|today"}));
  part->separator[0] = '\0';
  EXPECT_EQ(run(kb, "call acme corp today globex inc"), (V{"", "", "acme corpglobex inc", "calltoday"}));
}

TEST(ExtractRun, ManyWordsStayInBoundsAndValuesAreCutBetweenCharacters) {
  ExtractKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  extract_defn_part(kb.ex())->parser_enabled = 0;
  std::string many;
  for (int i = 0; i < 600; ++i) many += (i == 0 ? "" : " ") + std::string(1, static_cast<char>('a' + i % 26));
  many.resize(1024);
  auto values = run(kb, many.c_str());
  ASSERT_EQ(values.size(), 4u);
  EXPECT_EQ(values[3], many.substr(0, many.find_last_not_of(' ') + 1));
  // With the pattern phase too: windows over the first 128 words only.
  extract_defn_part(kb.ex())->parser_enabled = 1;
  EXPECT_EQ(run(kb, many.c_str()).size(), 4u);
  extract_defn_part(kb.ex())->parser_enabled = 0;
  // Two-byte characters: a value is never cut inside one.
  std::string wide;
  while (wide.size() < 1000) wide += "\xC3\xA9\xC3\xA9 ";
  std::strcpy(extract_defn_part(kb.ex())->separator, "x");
  values = run(kb, (wide.substr(0, 1010) + " acme corp").c_str());
  ASSERT_EQ(values.size(), 4u);
  EXPECT_LE(values[3].size(), 1024u);
  EXPECT_NE(static_cast<unsigned char>(values[3].back()), 0xC3u);
  // Values that lose words to their length are told once each, when they
  // are made, with the whole value's length (one's cut does not hide the
  // other's): 16 company names of 9 bytes and 17 words of 2, each joined
  // by a separator of 64.
  std::strcpy(extract_defn_part(kb.ex())->separator, std::string(64, '-').c_str());
  kb.ctx()->cuts = 0;
  err_list_reset(kb.ctx());
  std::string runs;
  for (int i = 0; i < 16; ++i) runs += "ab acme corp ";
  values = run(kb, (runs + "ab").c_str());
  ASSERT_EQ(values.size(), 4u);
  EXPECT_EQ(kb.ctx()->errors.count, 2u) << kb.errors();
  for (const auto& [value, whole] : {std::pair{values[2], 1104}, std::pair{values[3], 1058}}) {
    EXPECT_NE(kb.errors().find("an extracted token's value was cut to " + std::to_string(value.size()) +
                               " bytes (UTF-8); the whole text needs " + std::to_string(whole) + " bytes."),
              std::string::npos)
        << kb.errors();
  }
}

TEST(ExtractRun, PatternsTakeTheirWindowsUpToTheirMaximum) {
  ExtractKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  using V = std::vector<std::string>;
  EXPECT_EQ(run(kb, "John Smith met John Smith"), (V{"John", "Smith", "", "met John Smith"}));
  EXPECT_EQ(run(kb, "acme corp John Smith"), (V{"John", "Smith", "acme corp", ""}));
  // The info: one iteration per window, then a last one with every word
  // consumed; offsets in characters.
  extract_info* info = nullptr;
  ASSERT_EQ(extract_info_create(&info), 0);
  EXPECT_EQ(run(kb, "Zo\xC3\xAB Smith", info), (V{"", "", "", "Zo\xC3\xAB Smith"}));
  ASSERT_EQ(info->iterations.size(), 2u);
  uint32_t status = 0, begin = 0, end = 0;
  ASSERT_EQ(extract_info_state_word_info_get(info, 0, 1, &status, &begin, &end), 0);
  EXPECT_EQ(status, kWordInWindow);
  EXPECT_EQ(begin, 4u);
  EXPECT_EQ(end, 8u);
  EXPECT_EQ(info->iterations[0]->patterns[0].matched, 0u);
  const auto& last = *info->iterations.back();
  EXPECT_TRUE(last.patterns.empty());
  for (uint32_t st : last.states) EXPECT_EQ(st, kWordConsumed);
  // A match is recorded with its solutions and flagged as chosen.
  EXPECT_EQ(run(kb, "John Smith", info), (V{"John", "Smith", "", ""}));
  ASSERT_EQ(info->iterations.size(), 2u);
  EXPECT_EQ(info->iterations[0]->patterns[0].matched, 1u);
  EXPECT_EQ(info->iterations[0]->patterns[0].kind, kExtractSolutions);
  EXPECT_FALSE(info->iterations[0]->patterns[0].solutions.empty());
  extract_info_free(kb.ctx(), info);
  extract_defn_part(kb.ex())->patterns[0].max_matches = 2;
  EXPECT_EQ(run(kb, "John Smith met John Smith"), (V{"John John", "Smith Smith", "", "met"}));
}

TEST(ExtractDefn, AGrammarSharedWithOthersOutlivesTheDefinition) {
  ExtractKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  // Two patterns of the definition hold the grammar, and so does someone else.
  ASSERT_EQ(extract_pattern_add(kb.ctx(), kb.ex(), "PersonName", "NAME", 0, 1, 0, nullptr), 0);
  int32_t mine = -1;
  ASSERT_EQ(grammar_load_by_name(kb.ctx(), "PersonName", nullptr, &mine), 0);
  ASSERT_EQ(zel_locale_unload(kb.ctx(), 29000), 0) << kb.errors();
  grammar_rec* g = nullptr;
  EXPECT_EQ(grammar_get(kb.ctx(), mine, &g), 0) << kb.errors();
  EXPECT_GE(grammar_category_index_by_name(kb.ctx(), g, "NAME"), 0);
  resource_slot* slot = nullptr;
  ASSERT_EQ(rsrc_slot_get_used(kb.ctx(), kRsrcGrammar, mine, &slot), 0);
  EXPECT_EQ(slot->refs, 1u);
}

}  // namespace

namespace {

using namespace tq;

int32_t run_rc(ExtractKb& kb, const char* text, std::vector<std::string>* values) {
  extract_value out[kExtractTokensMax];
  uint32_t n = 99;
  const int32_t rc = extract_engine_run(kb.ctx(), kb.ex(), text, out, &n, nullptr);
  values->clear();
  for (uint32_t i = 0; i < n; ++i) values->emplace_back(out[i].value);
  return rc;
}

// A run that fails part-way (after the known words filled a token) leaves
// nothing behind: the next run gives what it gives alone. A datatype that
// is not there any more is refused before anything is done.
TEST(ExtractRun, AFailedRunLeavesNothingForTheNext) {
  ExtractKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  using V = std::vector<std::string>;
  const V alone = run(kb, "John Smith");
  EXPECT_EQ(alone, (V{"John", "Smith", "", ""}));
  extract_pattern_rec& p = extract_defn_part(kb.ex())->patterns[0];
  const int32_t root = p.root_index;
  p.root_index = -1;  // the pattern's parser cannot run
  V values;
  EXPECT_EQ(run_rc(kb, "acme corp John Smith", &values), TQ_ERR_HOLD_NOT_HELD);
  EXPECT_TRUE(values.empty());
  p.root_index = root;
  EXPECT_EQ(run(kb, "John Smith"), alone);
  defn_rec* rec = kb.ex();
  const int32_t datatype = rec->datatype;
  rec->datatype = 77;
  EXPECT_EQ(run_rc(kb, "John Smith", &values), TQ_ERR_INDEX);
  EXPECT_TRUE(values.empty());
  rec->datatype = datatype;
  EXPECT_EQ(run(kb, "acme corp John Smith"), (V{"John", "Smith", "acme corp", ""}));
}

// The analysis options of a prepared definition point into its lists: a
// change of a list after a run makes the next run prepare again rather than
// read what was freed (AddressSanitizer reports such a read).
TEST(ExtractRun, ListsChangedAfterARunAreNotReadStale) {
  ExtractKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  using V = std::vector<std::string>;
  const V want{"John", "Smith", "", "met"};
  const struct {
    const char* name;
    int32_t (*change)(context*);
  } changes[] = {
      {"vocabularies", [](context* c) {
         int32_t rc = defn_vocabularies_delete_all(c, kDefnExtract, 0);
         return rc < 0 ? rc : defn_vocabulary_add(c, kDefnExtract, 0, "PersonName", 0);
       }},
      {"vocabulary set", [](context* c) { return defn_vocabulary_info_set_by_index(c, kDefnExtract, 0, 0, "PersonName", 1); }},
      {"normalization", [](context* c) { return defn_normalization_regexlibs_delete_all(c, kDefnExtract, 0); }},
      {"default categories", [](context* c) { return defn_default_categories_delete_all(c, kDefnExtract, 0); }},
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run(kb, "John Smith met"), want);
    ASSERT_EQ(extract_defn_part(kb.ex())->prepared.load(), 1u);
    ASSERT_GE(c.change(kb.ctx()), 0) << kb.errors();
    EXPECT_EQ(extract_defn_part(kb.ex())->prepared.load(), 0u);
    EXPECT_EQ(run(kb, "John Smith met"), want);
  }
}

// Twelve one-word patterns over one window: identical matches merge, the
// rest compete in the combination search, which must not try every
// ordering of them.
TEST(ExtractRun, TwelveOneWordPatternsInOneWindow) {
  ExtractKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << kb.errors();
  defn_rec* rec = kb.ex();
  const char* cats[] = {"PREFIX", "GIVEN", "FAMILY", "SUFFIX"};
  for (int i = 0; i < 12; ++i) {
    int32_t at = -1;
    const char* cat = cats[i % 4];
    ASSERT_EQ(extract_pattern_add(kb.ctx(), rec, "PersonName", cat, kExtractElement, 2 + i, 0, &at), 0);
    ASSERT_EQ(extract_sought_cat_add(kb.ctx(), rec, at, cat, i % 4 == 2 ? 1 : i % 4 == 1 ? 0 : 3), 0);
  }
  using V = std::vector<std::string>;
  V values;
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(run_rc(kb, "Dr John Smith Jr Dr John Smith Jr Dr John Smith Jr", &values), 0) << kb.errors();
  }
  // "John" is a family name too, and the family patterns weigh more than
  // the given-name ones; the titles and suffixes go to Other.
  EXPECT_EQ(values, (V{"", "John Smith John Smith John Smith", "", "Dr Jr Dr Jr Dr Jr"}));
}

}  // namespace

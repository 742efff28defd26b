// Extraction definitions as the locale loader reads them from the fixture
// of tests/kb/extract (definition Ex on the datatype Contact), their
// references, validation, and a write read back.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include <cstring>

#include "fields/krxdef.h"
#include "fields/krxeng.h"
#include "fields/krxinfo.h"
#include "kbstore/krdefn.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"
#include "resources/krchpr.h"
#include "resources/krgram.h"
#include "resources/krregx.h"
#include "resources/krsch.h"
#include "resources/krvcld.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
namespace fs = std::filesystem;

int32_t open_regexlib(context* ctx, const char* name, int32_t* index) {
  return regexlib_load_by_name(ctx, name, nullptr, index, 0);
}
int32_t open_scheme(context* ctx, const char* name, uint32_t options, int32_t* index) {
  return scheme_load_by_name(ctx, name, static_cast<int32_t>(options), -1, 0, nullptr, 0, index);
}
int32_t open_chopper(context* ctx, const char* name, int32_t* index) {
  return chopper_load_by_name(ctx, name, nullptr, index);
}
int32_t open_vocab(context* ctx, const char* name, int32_t* index) {
  return vocab_load_by_name(ctx, name, nullptr, kVocabFormCompiled, index);
}
constexpr rsrc_open_ops kOpen{open_regexlib, open_scheme, open_chopper, open_vocab};

fs::path source(const std::string& dir, const std::string& name) {
  return fs::path(TQ_TEST_KB_DIR) / dir / (name + ".xml");
}

// The fixture's files as vault files in a fresh knowledge base, EN loaded
// with its datatypes and extraction definitions (the locale document is
// given as a text so that tests can vary it).
class ExtractKb {
 public:
  explicit ExtractKb(const std::string& locale_text = "") {
    rsrc_open_ops_set(&kOpen);
    defn_kind_ops_set(kDefnExtract, &kExtractDefnKindOps);
    std::string path;
    for (const char* sub : {"chopinfo", "grammar", "locale", "regexlib", "scheme", "vocab"}) {
      fs::create_directories(dir_ / sub);
      path += (path.empty() ? "" : ";") + (dir_ / sub).string();
    }
    bc_ = std::make_unique<tq_test::BareContext>(path, tq_test::fields_layers());
    put("parse", "grammar/PersonName");
    // The vocabulary is compiled from its plain source, as the engine uses it.
    fs::copy_file(source("parse", "vocab/PersonName"), dir_ / "vocab/PersonNameSource.xml");
    EXPECT_EQ(vocab_file_convert(ctx(), 0, "PersonNameSource", "PersonName"), 0) << errors();
    put("parse", "locale/l1.loc");
    put("extract", "chopinfo/NameChopper");
    write_vault(source("extract", "scheme/Companies"), dir_ / "scheme/Companies.sch");
    if (locale_text.empty()) {
      put("extract", "locale/en.loc");
    } else {
      const fs::path p = dir_.write("src/en.loc.xml", locale_text);
      write_vault(p, dir_ / "locale/en.loc");
    }
    load_rc_ = zel_locale_load(ctx(), 29000, 0x2u | 0x400u);
  }
  ~ExtractKb() {
    bc_.reset();
    defn_kind_ops_set(kDefnExtract, nullptr);
    rsrc_open_ops_set(nullptr);
  }
  context* ctx() { return bc_->get(); }
  int32_t load_rc() const { return load_rc_; }
  std::string errors() {
    std::string all;
    for (uint32_t i = 0; i < ctx()->errors.count; ++i) all += std::string(ctx()->errors.recs[i].text) + "\n";
    return all;
  }
  defn_rec* ex(int32_t index = 0) {
    defn_rec* rec = nullptr;
    EXPECT_EQ(defn_record_get_for_read(ctx(), kDefnExtract, index, &rec), 0) << errors();
    return rec;
  }

 private:
  void put(const std::string& dir, const std::string& name) { write_vault(source(dir, name), dir_ / name); }
  void write_vault(const fs::path& from, const fs::path& to) {
    xmldoc* doc = nullptr;
    ASSERT_EQ(xmldoc_read(ctx(), from.c_str(), kXmlFlagNameAsGiven, &doc), 0) << from << errors();
    const int32_t rc = xmldoc_write(ctx(), to.c_str(), kXmlFlagVault, doc);
    xml_free(ctx(), doc);
    ASSERT_EQ(rc, 0) << to << errors();
  }

  tq_test::TempDir dir_;
  std::unique_ptr<tq_test::BareContext> bc_;
  int32_t load_rc_ = 0;
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
  std::ifstream in(source("extract", "locale/en.loc"));
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
  // A grammar that fails to load leaves the index empty, and preparation
  // refuses the pattern by name.
  EXPECT_LT(extract_pattern_grammar_set(kb.ctx(), rec, 0, "NoSuchGrammar"), 0);
  EXPECT_FALSE(part->patterns[0].grammar.held());
  EXPECT_EQ(extract_defn_prepare(kb.ctx(), rec), TQ_ERR_RESOURCE_LACKS);
  EXPECT_NE(kb.errors().find("NAME"), std::string::npos) << kb.errors();
}

TEST(ExtractDefn, BadRowsAreAccountedAndLimitsHold) {
  std::ifstream in(source("extract", "locale/en.loc"));
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
  extract_info_free(info);
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
  extract_info_free(info);
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

// Gender analysis definitions as the locale loader reads them from the
// fixture of tests/kb/gender (see support/gender_kb.h for its definitions),
// the references their "Match Regexlibs" entries hold through copies,
// changes and frees, and a write read back.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "fields/krgdef.h"
#include "core/krstr.h"
#include "fields/krgender.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"
#include "parse/krpdef.h"
#include "resources/krchpr.h"
#include "resources/krregx.h"
#include "resources/krsch.h"
#include "resources/krvcld.h"
#include "support/bare_kb.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
namespace fs = std::filesystem;

std::string file_text(const fs::path& p) {
  std::ifstream in(p);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The fixture as vault files, EN loaded with datatypes, parse and gender
// definitions (the locale document may be given as a text instead).
class GenderStoreKb : public tq_test::BareKb {
 public:
  explicit GenderStoreKb(const std::string& locale_text = "")
      : BareKb({"grammar", "locale", "regexlib", "vocab"}, tq_test::fields_layers(),
               {{kDefnParse, &kParseDefnKindOps}, {kDefnGender, &kGenderDefnKindOps}}) {
    put({{"parse/grammar/PersonName", "grammar/PersonName"},
         {"parse/regexlib/StripPeriods", "regexlib/StripPeriods"},
         {"parse/regexlib/Initials", "regexlib/Initials"},
         {"gender/regexlib/FEM", "regexlib/FEM"},
         {"gender/regexlib/ENDN", "regexlib/ENDN"},
         {"parse/locale/l1.loc", "locale/l1.loc"}});
    compile_vocab("parse/vocab/PersonName", "PersonName");
    compile_vocab("gender/vocab/GNDR", "GNDR");
    if (locale_text.empty()) {
      put({{"gender/locale/en.loc", "locale/en.loc"}});
    } else {
      put_text(locale_text, "locale/en.loc");
    }
    load(29000, 0x2u | 0x4u | 0x20u);
  }
  defn_rec* defn(const char* name) { return record(kDefnGender, name, 0); }
  int32_t index_of(const char* name) { return BareKb::index_of(kDefnGender, name, 0); }
  // The registry references of a regex library by name; 0 when absent.
  uint32_t refs(const char* lib) { return BareKb::refs(kRsrcRegex, lib); }
};

const gender_token_kind_rec* token_part(defn_rec* rec, size_t t) {
  return rec != nullptr && t < rec->tokens.items.size() ? gender_token_part(rec->tokens.items[t].get()) : nullptr;
}

TEST(GenderDefn, FixtureReadsValuesTokensAndRecordsItsBrokenDefinitions) {
  GenderStoreKb kb;
  // The broken definitions were reported; the locale loaded all the same.
  EXPECT_EQ(kb.load_rc(), TQ_WARN_LOCALE_PROBLEMS) << kb.errors();
  defn_rec* name = kb.defn("Name");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->valid, 1) << kb.errors();
  EXPECT_EQ(name->allow_parsed_input, 1);
  const gender_defn_kind_rec* part = gender_defn_part(name);
  ASSERT_EQ(part->values.size(), 4u);
  EXPECT_STREQ(part->values[2].value, "U");
  EXPECT_STREQ(part->values[2].desc, "Unknown");
  EXPECT_EQ(part->values[3].dflt, 1);
  ASSERT_EQ(name->tokens.count(), 2u);
  EXPECT_STREQ(name->tokens.items[0]->name, "Given Name");
  EXPECT_EQ(name->tokens.items[0]->key, 1);
  const gender_token_kind_rec* given = token_part(name, 0);
  EXPECT_EQ(given->stop, 1);
  ASSERT_EQ(given->cats.size(), 2u);
  EXPECT_STREQ(given->cats[1].name, "FEMALE");
  EXPECT_STREQ(given->cats[1].value, "F");
  ASSERT_EQ(given->regexlibs.size(), 1u);
  EXPECT_TRUE(given->regexlibs[0].lib.held());
  EXPECT_EQ(token_part(name, 1)->stop, 0);

  // The vertical type reads as a gender definition; "" and a missing
  // "Stop Flag" read 0; texts are cut at 80 and 4 bytes.
  defn_rec* vertical = kb.defn("Vertical");
  ASSERT_NE(vertical, nullptr);
  EXPECT_EQ(vertical->valid, 1);
  EXPECT_STREQ(gender_defn_part(vertical)->values[0].value, "Fema");
  const gender_token_kind_rec* v0 = token_part(vertical, 0);
  EXPECT_EQ(v0->stop, 0);
  EXPECT_TRUE(v0->regexlibs.empty());
  EXPECT_EQ(std::string(v0->cats[0].name), std::string(80, 'C'));
  EXPECT_STREQ(v0->cats[0].value, "Fema");
  EXPECT_EQ(token_part(vertical, 1)->stop, 0);

  // Not valid: no parse definition, a library that cannot be registered
  // (its entry keeps none, the others are read), no values table.
  EXPECT_EQ(kb.defn("NoParse")->valid, 0);
  defn_rec* bad = kb.defn("BadLib");
  EXPECT_EQ(bad->valid, 0);
  ASSERT_EQ(token_part(bad, 0)->regexlibs.size(), 2u);
  EXPECT_TRUE(token_part(bad, 0)->regexlibs[0].lib.held());
  EXPECT_FALSE(token_part(bad, 0)->regexlibs[1].lib.held());
  EXPECT_STREQ(token_part(bad, 0)->regexlibs[1].value, "M");
  EXPECT_EQ(kb.defn("NoValues")->valid, 0);
  const std::string errors = kb.errors();
  EXPECT_NE(errors.find("'NoParse' names no Parse"), std::string::npos) << errors;
  EXPECT_NE(errors.find("definition 'BadLib', token 'Given Name', cannot be registered"), std::string::npos);
  EXPECT_NE(errors.find("'NoValues' has no gender values table"), std::string::npos);
}

// Writes every gender definition of the locale into one document and gives
// its text.
std::string write_all(GenderStoreKb& kb, const std::string& at) {
  xmldoc* doc = nullptr;
  EXPECT_EQ(xmldoc_create(kb.ctx(), "Locale Settings", "9.0", &doc), 0);
  for (const char* n : {"Name", "Strict", "Shared", "Vertical"}) {
    EXPECT_EQ(defn_element_write(kb.ctx(), doc, kb.defn(n)), 0) << n << kb.errors();
  }
  const fs::path out = fs::temp_directory_path() / at;
  EXPECT_EQ(xmldoc_write(kb.ctx(), out.c_str(), kXmlFlagNameAsGiven, doc), 0) << kb.errors();
  xml_free(kb.ctx(), doc);
  std::string text = file_text(out);
  fs::remove(out);
  return text;
}

TEST(GenderDefn, WrittenInTheFileFormatAndReadBackTheSame) {
  std::string first;
  {
    GenderStoreKb kb;
    xmldoc* doc = nullptr;
    ASSERT_EQ(xmldoc_create(kb.ctx(), "Locale Settings", "9.0", &doc), 0);
    ASSERT_EQ(defn_element_write(kb.ctx(), doc, kb.defn("Vertical")), 0) << kb.errors();
    // The vertical type is written as the plain one.
    const xmldoc* el = xmldoc_include_doc_find(doc, kGenderRootType);
    ASSERT_NE(el, nullptr);
    EXPECT_STREQ(el->type, kGenderRootType);
    const xmldoc* values = xmldoc_include_doc_find(el, "Gender Values");
    ASSERT_NE(values, nullptr);
    ASSERT_EQ(values->column_count, 3);
    EXPECT_STREQ(values->columns[2].name, "Default");
    const xmldoc* tok = xmldoc_include_doc_find(el, "Token");
    ASSERT_NE(tok, nullptr);
    EXPECT_STREQ(tok->type, "Parse Substring");
    EXPECT_STREQ(xmldoc_prop_get(kb.ctx(), tok, "Stop Flag"), "0");
    // Written even without entries.
    const xmldoc* libs = xmldoc_include_doc_find(tok, "Match Regexlibs");
    ASSERT_NE(libs, nullptr);
    EXPECT_EQ(libs->record_count, 0);
    ASSERT_EQ(tok->column_count, 2);
    EXPECT_STREQ(tok->columns[0].name, "Category");
    EXPECT_EQ(tok->record_count, 1);
    xml_free(kb.ctx(), doc);
    first = write_all(kb, "tq_gender_written_1.xml");
  }
  // The written definitions replace the fixture's gender definitions.
  std::string loc = file_text(tq_test::BareKb::source("gender/locale/en.loc"));
  const size_t a = loc.find("<include name=\"Gendorithm\">");
  const size_t b = loc.rfind("</include>", loc.rfind("</file>"));
  const size_t s = first.find("<include name=\"Gendorithm\">");
  const size_t e = first.rfind("</include>", first.rfind("</file>"));
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(s, std::string::npos);
  loc.replace(a, b + 10 - a, first.substr(s, e + 10 - s));
  GenderStoreKb kb(loc);
  // The parse fixture's broken definitions are reported; no gender one is.
  ASSERT_EQ(kb.errors().find("gender"), std::string::npos) << kb.errors();
  EXPECT_EQ(kb.defn("Vertical")->valid, 1);
  EXPECT_EQ(write_all(kb, "tq_gender_written_2.xml"), first);
}

TEST(GenderDefn, CopiesAndChangesKeepTheRegexLibraryReferencesRight) {
  GenderStoreKb kb;
  const uint32_t fem = kb.refs("FEM");
  ASSERT_GT(fem, 0u);
  // A copy of a definition with an entry that holds no library: the entry is
  // copied without a reference, the held one gains one.
  int32_t copy = -1;
  ASSERT_GE(defn_copy_named(kb.ctx(), kDefnGender, "BadLib", "Copy", &copy), 0) << kb.errors();
  EXPECT_EQ(kb.refs("FEM"), fem + 1);
  defn_rec* rec = nullptr;
  ASSERT_EQ(defn_record_get_for_read(kb.ctx(), kDefnGender, copy, &rec), 0);
  const gender_token_kind_rec* part = token_part(rec, 0);
  ASSERT_EQ(part->regexlibs.size(), 2u);
  EXPECT_FALSE(part->regexlibs[1].lib.held());
  // Unloading the source gives back its references; the copy keeps its own.
  ASSERT_EQ(defn_unload(kb.ctx(), kDefnGender, kb.index_of("BadLib")), 0);
  EXPECT_EQ(kb.refs("FEM"), fem);
  ASSERT_EQ(defn_record_get_for_read(kb.ctx(), kDefnGender, copy, &rec), 0);
  dtok_rec* tok = rec->tokens.items[0].get();

  // A failed swap leaves the entry as it was; a good one moves the reference.
  EXPECT_LT(gender_token_regexlib_set(kb.ctx(), tok, 0, "NoSuchLib", "X"), 0);
  char name[kRsrcNameSize];
  ASSERT_EQ(gender_token_regexlib_name_get(kb.ctx(), tok, 0, name, sizeof name), 0);
  EXPECT_STREQ(name, "FEM");
  EXPECT_STREQ(part->regexlibs[0].value, "F");
  EXPECT_EQ(kb.refs("FEM"), fem);
  EXPECT_EQ(gender_token_regexlib_set(kb.ctx(), tok, 0, "ENDN", "M"), 0) << kb.errors();
  EXPECT_EQ(kb.refs("FEM"), fem - 1);
  EXPECT_EQ(kb.refs("ENDN"), 1u);
  EXPECT_STREQ(part->regexlibs[0].value, "M");
  EXPECT_EQ(gender_token_regexlib_set(kb.ctx(), tok, 2, "ENDN", "M"), TQ_ERR_INDEX);
  EXPECT_EQ(gender_token_regexlib_set(kb.ctx(), tok, 0, "", "M"), TQ_ERR_ARGUMENT);
  // The entry without library has no name to give.
  EXPECT_LT(gender_token_regexlib_name_get(kb.ctx(), tok, 1, name, sizeof name), 0);

  // A failed add adds nothing; delete_all skips the entry without library
  // and empties the list.
  EXPECT_LT(gender_token_regexlib_add(kb.ctx(), tok, "NoSuchLib", "F"), 0);
  EXPECT_EQ(part->regexlibs.size(), 2u);
  EXPECT_EQ(gender_token_regexlib_add(kb.ctx(), tok, "FEM", ""), TQ_ERR_ARGUMENT);
  EXPECT_EQ(gender_token_regexlib_add(kb.ctx(), tok, "FEM", "Female"), 0);
  EXPECT_STREQ(part->regexlibs[2].value, "Fema");
  EXPECT_EQ(kb.refs("FEM"), fem);
  EXPECT_EQ(gender_token_regexlibs_delete_all(kb.ctx(), tok), 0);
  EXPECT_TRUE(part->regexlibs.empty());
  EXPECT_EQ(kb.refs("FEM"), fem - 1);
  EXPECT_EQ(kb.refs("ENDN"), 0u);

  // Values and categories: empty texts refused, cuts between characters.
  gender_defn_kind_rec* values = gender_defn_part(rec);
  const size_t n = values->values.size();
  EXPECT_EQ(gender_value_add(kb.ctx(), rec, "", "none", 0), TQ_ERR_ARGUMENT);
  EXPECT_EQ(values->values.size(), n);
  EXPECT_EQ(gender_value_add(kb.ctx(), rec, "Fr\xc3\xa9" "e", "with an accent", 1), 0);
  EXPECT_STREQ(values->values[n].value, "Fr\xc3\xa9");
  EXPECT_EQ(gender_token_category_add(kb.ctx(), tok, "MALE", ""), TQ_ERR_ARGUMENT);
  EXPECT_EQ(gender_token_category_add(kb.ctx(), tok, "MALE", "M"), 0);
  EXPECT_EQ(part->cats.size(), 3u);
  EXPECT_EQ(gender_token_categories_delete_all(kb.ctx(), tok), 0);
  EXPECT_TRUE(part->cats.empty());
  EXPECT_EQ(gender_values_delete_all(kb.ctx(), rec), 0);
  EXPECT_TRUE(values->values.empty());
}

// The engine on definitions changed in place, as the edit exports change
// them: parsed input, no conversion.
std::string parsed(GenderStoreKb& kb, int32_t index, std::initializer_list<std::pair<int32_t, const char*>> in,
                   int32_t* rc) {
  tq_parse_token tokens[4]{};
  int32_t n = 0;
  for (const auto& [key, value] : in) {
    tokens[n].index = key;
    str_copy_bounded(tokens[n].value, value, sizeof tokens[n].value);
    ++n;
  }
  char out[8] = "zz";
  *rc = gender_determine_parsed(kb.ctx(), index, tokens, n, 0, out, nullptr);
  return out;
}

TEST(GenderDefn, ACopyKeepsItsLibrariesWhenTheSourceIsUnloaded) {
  GenderStoreKb kb;
  int32_t copy = -1;
  ASSERT_GE(defn_copy_named(kb.ctx(), kDefnGender, "Name", "Copy", &copy), 0) << kb.errors();
  defn_rec* rec = nullptr;
  ASSERT_EQ(defn_record_get_for_read(kb.ctx(), kDefnGender, copy, &rec), 0);
  rec->valid = 1;  // a copy is valid once someone says so
  ASSERT_EQ(defn_unload(kb.ctx(), kDefnGender, kb.index_of("Name")), 0);
  int32_t rc = 0;
  EXPECT_EQ(parsed(kb, copy, {{1, "Anna"}}, &rc), "F");
  EXPECT_EQ(rc, 0) << kb.errors();
}

TEST(GenderDefn, EngineFollowsChangedStopFlagsEntriesAndVocabularies) {
  GenderStoreKb kb;
  const int32_t index = kb.index_of("Name");
  defn_rec* rec = kb.defn("Name");
  dtok_rec* given = rec->tokens.items[0].get();
  int32_t rc = 0;
  EXPECT_EQ(parsed(kb, index, {{2, "John"}, {1, "Mary"}}, &rc), "F");
  // Without the stop flag Middle Name is read too: a tie, the last default.
  ASSERT_EQ(gender_token_stop_flag_set(given, 0), 0);
  EXPECT_EQ(parsed(kb, index, {{2, "John"}, {1, "Mary"}}, &rc), "X");
  EXPECT_EQ(rc, 0);
  // A stop vocabulary that knows the word ends the lookup even though none
  // of its categories scores: the word then goes to the libraries.
  defn_vocab first;
  ASSERT_GE(rsrc_open(kb.ctx(), kRsrcVocab, "PersonName", 0, &first.vocab), 0) << kb.errors();
  first.stop = 1;
  rec->vocabularies.insert(rec->vocabularies.begin(), std::move(first));
  EXPECT_EQ(parsed(kb, index, {{1, "John"}}, &rc), "X");
  rec->vocabularies[0].stop = 0;
  EXPECT_EQ(parsed(kb, index, {{1, "John"}}, &rc), "M");
  // A second entry that would match "Jean": the vocabulary scored the word,
  // so no library is tried and the tie stands.
  ASSERT_EQ(gender_token_regexlib_add(kb.ctx(), given, "ENDN", "M"), 0) << kb.errors();
  EXPECT_EQ(parsed(kb, index, {{1, "Jean"}}, &rc), "X");
  EXPECT_EQ(parsed(kb, index, {{1, "Dean"}}, &rc), "M");
  // Without vocabularies a word fails the run; no word decides nothing.
  for (defn_vocab& v : rec->vocabularies) (void)v.vocab.release(kb.ctx());
  rec->vocabularies.clear();
  EXPECT_EQ(parsed(kb, index, {{1, "John"}}, &rc), "");
  EXPECT_EQ(rc, TQ_ERR_NOTHING_TO_DO);
  EXPECT_EQ(parsed(kb, index, {{3, "Smith"}}, &rc), "X");
  EXPECT_EQ(rc, 0);
}

}  // namespace

// Definition elements of locale documents, read into a loaded locale and
// written back, with the test kind: real regex libraries, choppers and
// vocabularies opened by name through the wiring, a current locale with a
// datatype. Each case reads a small krxml text; the round trip compares the
// written element with a golden file and reads it again.
#include <filesystem>
#include <string>

#include "core/krerr.h"
#include "kbstore/krdefn.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"
#include "support/test_defn_kind.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using tqtest::kTestKind;

constexpr int32_t kEnusa = 29840;

// A definition element of the test kind, named `name`, with further content.
std::string defn(const std::string& name, const std::string& body, const char* include = "Test Definition") {
  return std::string("<include name=\"") + include + "\"><file type=\"Test Definition\" version=\"7.0\">" +
         "<property name=\"Name\">" + name + "</property>" + body + "<data length=\"0\"></data></file></include>";
}
std::string prop(const char* name, const char* value) {
  return std::string("<property name=\"") + name + "\">" + value + "</property>";
}
std::string group9(const std::string& props) {
  return "<include name=\"Properties\"><file type=\"Properties\" version=\"9.0\">" + props +
         "<data length=\"0\"></data></file></include>";
}
// A key-only table of regex library names.
std::string libs(const char* include, std::initializer_list<const char*> names) {
  std::string s = std::string("<include name=\"") + include + "\"><file type=\"" + include + "\" version=\"7.0\">" +
                  "<data length=\"" + std::to_string(names.size()) + "\">";
  for (const char* n : names) s += std::string("<record key=\"") + n + "\"></record>";
  return s + "</data></file></include>";
}
// A "Vocabularies" table; with fuzzy columns when `fuzzy` is set.
std::string vocabs(bool fuzzy, std::initializer_list<const char*> rows) {
  std::string s = "<include name=\"Vocabularies\"><file type=\"Vocabularies\" version=\"7.0\"><data length=\"" +
                  std::to_string(rows.size()) + "\"><layout width=\"" + (fuzzy ? "4" : "2") +
                  "\"><column type=\"string\">Name</column>" +
                  "<column type=\"int\">Stop Flag</column>";
  if (fuzzy) {
    s += "<column type=\"string\">Fuzzy Vocab Enabled</column><column type=\"int\">Fuzzy Vocab Threshold</column>";
  }
  s += "</layout>";
  for (const char* r : rows) s += r;  // "<record>...</record>"
  return s + "</data></file></include>";
}
std::string vocab_row(const char* name, int stop, const char* enabled = nullptr, int threshold = 0) {
  std::string s = std::string("<record><field column=\"Name\">") + name + "</field><field column=\"Stop Flag\">" +
                  std::to_string(stop) + "</field>";
  if (enabled != nullptr) {
    s += std::string("<field column=\"Fuzzy Vocab Enabled\">") + enabled +
         "</field><field column=\"Fuzzy Vocab Threshold\">" + std::to_string(threshold) + "</field>";
  }
  return s + "</record>";
}

std::string resource_name(context* ctx, const rsrc_ref& ref) {
  char name[kRsrcNameSize] = "";
  if (rsrc_name_get(ctx, ref.kind(), ref.index(), name, sizeof name) != 0) return "?";
  return name;
}

// ENUSA loaded and current in edit mode, with the datatype "Name" (tokens
// Given and Family) and the resource files definitions name.
struct Kb {
  tqtest::TestDefnKind kind;
  tq_test::TempDir dir;
  tq_test::Context ctx;
  int serial = 0;
  Kb() : ctx(dir.str().c_str(), true) {
    for (const char* f : {"regexlib/R1.zel", "regexlib/R2.zel", "chopinfo/C.zel", "vocab/V1.zev", "vocab/V2.zev"}) {
      dir.write(f, "x");  // registered by name, read only on first use
    }
    std::filesystem::create_directories(dir / "locale");
    tq_test::write_locale_settings(ctx, dir.path(), "l1.loc", "ISO-8859-1 (Latin-1)", "");
    tq_test::write_locale_settings(ctx, dir.path(), "en.loc", "English", "l1.loc");
    tq_test::write_locale_settings(ctx, dir.path(), "enusa.loc", "English (United States)", "");
    EXPECT_GE(tq_zel_locale_load(ctx, kEnusa, 0), 0) << tq_test::error_list_text(ctx);
    int32_t index = -1, token = -1;
    EXPECT_EQ(tq_datatype_add(ctx, "Name", &index), 0);
    for (const char* value : {"Given", "Family"}) {
      EXPECT_EQ(tq_datatype_token_add(ctx, index, &token), 0);
      EXPECT_EQ(tq_datatype_token_value_set(ctx, index, token, value), 0);
    }
  }
  // Unloading a locale does not free its definitions yet: they go here, with
  // their references, before the context closes.
  ~Kb() { defn_set_free(ctx, &set(), 0); }
  // Reads a locale document holding the elements; the result of the read.
  int32_t read(const std::string& elements) {
    std::string file = "doc" + std::to_string(++serial) + ".xml";
    auto path = dir.write(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<krxml><file type=\"Locale Settings\" "
                                "version=\"7.0\">" + elements + "<data length=\"0\"></data></file></krxml>\n");
    xmldoc* doc = nullptr;
    int32_t rc = xmldoc_read(ctx, path.string().c_str(), kXmlFlagNameAsGiven, &doc);
    EXPECT_EQ(rc, 0) << tq_test::error_list_text(ctx);
    if (rc != 0) return rc;
    rc = defn_locale_xml_read(ctx, kEnusa, kTestKind, doc);
    xml_free(ctx, doc);
    return rc;
  }
  defn_set& set() {
    loaded_locale_rec* loc = nullptr;
    EXPECT_EQ(locale_rec_get(ctx, kEnusa, &loc), 0);
    return loc->defns[kTestKind];
  }
  // The last definition read (a cleared record when there is none).
  defn_rec& last() {
    static defn_rec none;
    EXPECT_GT(set().count, 0u);
    return set().count > 0 ? *set().recs[set().count - 1] : none;
  }
  std::string errors() { return tq_test::error_list_text(ctx); }
};

TEST(DefnXml, ReadingStepByStep) {
  Kb kb;
  context* ctx = kb.ctx;

  // Only include names the type test accepts are read; flags read as the
  // engine writes them ("Editable" counts only as "Y").
  EXPECT_EQ(kb.read(defn("Flags", prop("Datatype", "name") + prop("Editable", "Yes") + prop("Surface", "Y") +
                                     prop("Allow Parsed Input", "Yes") + prop("Automatic Uppercasing", "no")) +
                    defn("Vertical", prop("Datatype", "Name"), "Test Definition -- Vertical") +
                    defn("Other", prop("Datatype", "Name"), "Something Else")),
            0)
      << kb.errors();
  ASSERT_EQ(kb.set().count, 2u);
  const defn_rec& flags = *kb.set().recs[0];
  EXPECT_EQ(flags.valid, 1);
  EXPECT_EQ(flags.validity_bits, 0u);
  EXPECT_EQ(flags.datatype, 0);
  EXPECT_EQ(flags.editable, 0);
  EXPECT_EQ(flags.surface, 1);
  EXPECT_EQ(flags.allow_parsed_input, 0);  // no parse definition
  EXPECT_EQ(flags.automatic_uppercasing, 1);  // only "No" turns it off
  EXPECT_STREQ(kb.set().recs[1]->name, "Vertical");

  // A newer version: read with warning 117, refused in use.
  EXPECT_EQ(kb.read(defn("Newer", prop("Datatype", "Name") + group9(prop("Version", "9.1")))), 105);
  EXPECT_EQ(kb.last().valid, 1);
  EXPECT_EQ(kb.last().version_supported, 0);
  EXPECT_STREQ(kb.last().version, "9.1");
  EXPECT_EQ(defn_rec_check_usable(ctx, &kb.last()), TQ_ERR_NOT_USABLE);
  EXPECT_NE(kb.errors().find("117: "), std::string::npos) << kb.errors();

  // A datatype the locale lacks, and none at all: the definition stays, not valid.
  EXPECT_EQ(kb.read(defn("Lost", prop("Datatype", "Nope")) + defn("None", "")), 105);
  ASSERT_EQ(kb.set().count, 5u);
  for (uint32_t i = 3; i < 5; ++i) {
    EXPECT_EQ(kb.set().recs[i]->valid, 0);
    EXPECT_EQ(kb.set().recs[i]->datatype, -1);
    EXPECT_EQ(kb.set().recs[i]->validity_bits, kDefnValidityStepReported);
  }
  EXPECT_NE(kb.errors().find("'Nope'"), std::string::npos) << kb.errors();

  // Incomplete with no other complaint: not valid, bit 3 only, result 0.
  EXPECT_EQ(kb.read(defn("Draft", prop("Datatype", "Name") + group9(prop("Incomplete", "Yes")))), 0);
  EXPECT_EQ(kb.last().valid, 0);
  EXPECT_EQ(kb.last().incomplete, 0);
  EXPECT_EQ(kb.last().validity_bits, kDefnValidityIncomplete);
  xmldoc* out = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Locale Settings", "7.0", &out), 0);
  ASSERT_EQ(defn_element_write(ctx, out, &kb.last()), 0);
  ASSERT_EQ(out->include_count, 1);
  EXPECT_STREQ(out->includes[0].name, "Test Definition");
  EXPECT_STREQ(xmldoc_prop_get(ctx, out->includes[0].doc, "Incomplete"), "Yes");
  xml_free(ctx, out);

  // A library that cannot be opened keeps its name and place (read for
  // editing: a write writes what was read); the others stay.
  EXPECT_EQ(kb.read(defn("Libs", prop("Datatype", "Name") + prop("Normalization Regexlib", "R1") +
                                     libs("Normalization Regexlibs", {"R1", "Gone", "R2"}))),
            105);
  ASSERT_EQ(kb.last().normalization.size(), 3u);
  EXPECT_EQ(resource_name(ctx, kb.last().normalization[0]), "R1");
  EXPECT_EQ(resource_name(ctx, kb.last().normalization[1]), "Gone");
  EXPECT_EQ(resource_name(ctx, kb.last().normalization[2]), "R2");
  EXPECT_EQ(kb.last().valid, 0);
  EXPECT_NE(kb.errors().find("'Gone'"), std::string::npos) << kb.errors();
  // A library given back since (an empty entry) is not written.
  EXPECT_EQ(kb.last().normalization[0].release(ctx), 0);
  ASSERT_EQ(xmldoc_create(ctx, "Locale Settings", "7.0", &out), 0);
  ASSERT_EQ(defn_element_write(ctx, out, &kb.last()), 0) << kb.errors();
  const xmldoc* table = xmldoc_include_doc_find(out->includes[0].doc, "Normalization Regexlibs");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->record_count, 2);
  EXPECT_STREQ(table->records[0].key, "Gone");
  EXPECT_STREQ(table->records[1].key, "R2");
  xml_free(ctx, out);

  // A duplicate name is refused (186) and the definition stays, nameless and not valid.
  EXPECT_EQ(kb.read(defn("Flags", prop("Datatype", "Name"))), 105);
  EXPECT_STREQ(kb.last().name, "");
  EXPECT_EQ(kb.last().valid, 0);

  // A kind part of a newer layout names it in the element's type; the
  // include keeps the root type that the type test looks for.
  defn_kind_ops versioned = tqtest::detail::test_kind_ops();
  versioned.element_type = [](const defn_rec*) { return "Test Definition V8"; };
  defn_kind_ops_set(kTestKind, &versioned);
  ASSERT_EQ(xmldoc_create(ctx, "Locale Settings", "7.0", &out), 0);
  EXPECT_EQ(defn_element_write(ctx, out, kb.set().recs[0]), 0);
  defn_kind_ops_set(kTestKind, &tqtest::detail::test_kind_ops());
  ASSERT_EQ(out->include_count, 1);
  EXPECT_STREQ(out->includes[0].name, "Test Definition");
  EXPECT_STREQ(out->includes[0].doc->type, "Test Definition V8");
  EXPECT_STREQ(out->includes[0].doc->version, "7.0");
  xml_free(ctx, out);
}

TEST(DefnXml, VocabulariesAndTheLegacyThreshold) {
  Kb kb;
  struct Case {
    const char* what;
    std::string body;
    size_t count;
    uint32_t enabled[3];
    uint32_t threshold[3];
    int32_t stop[3];
    int32_t result = 0;
  };
  const Case cases[] = {
      {"table without fuzzy columns: the definition's threshold applies to all",
       prop("Fuzzy Vocab Threshold", "85") + vocabs(false, {vocab_row("V1", 1).c_str(), vocab_row("V2", 0).c_str()}),
       2, {1, 1}, {85, 85}, {1, 0}},
      {"table with fuzzy columns: the definition's threshold is ignored",
       prop("Fuzzy Vocab Threshold", "85") +
           vocabs(true, {vocab_row("V1", 0, "No").c_str(), vocab_row("V2", 1, "Yes", 60).c_str()}),
       2, {0, 1}, {80, 60}, {0, 1}},
      {"no table: the single vocabulary takes the threshold",
       prop("Vocabulary", "V2") + prop("Fuzzy Vocab Threshold", "85"), 1, {1, 0}, {85, 0}, {0, 0}},
      {"a vocabulary that cannot be opened keeps its name and place (read for editing), the others kept",
       vocabs(false, {vocab_row("V1", 0).c_str(), vocab_row("Gone", 0).c_str(), vocab_row("V2", 1).c_str()}), 3,
       {0, 0, 0}, {80, 80, 80}, {0, 0, 1}, 105},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(kb.read(defn(std::string("D") + std::to_string(kb.serial), prop("Datatype", "Name") + c.body)),
              c.result)
        << kb.errors();
    const defn_rec& rec = kb.last();
    ASSERT_EQ(rec.vocabularies.size(), c.count);
    for (size_t i = 0; i < c.count; ++i) {
      uint32_t enabled = 9, threshold = 9;
      fuzzy_params_get(&rec.vocabularies[i].fuzzy, &enabled, &threshold);
      EXPECT_EQ(enabled, c.enabled[i]) << i;
      EXPECT_EQ(threshold, c.threshold[i]) << i;
      EXPECT_EQ(rec.vocabularies[i].stop, c.stop[i]) << i;
    }
  }
}

TEST(DefnXml, EveryCommonFieldSurvivesAWriteAndARead) {
  Kb kb;
  context* ctx = kb.ctx;
  const std::string body =
      prop("Editable", "Y") + prop("Surface", "N") + prop("Datatype", "Name") + prop("Automatic Uppercasing", "No") +
      prop("Chop Table", "C") + prop("Postprocessing Regexlib", "R2") + prop("Test Value", "7") +
      group9(prop("Version", "7.0") + prop("Owner", "  Team  ") + prop("Deprecated", "Yes") +
             prop("Deprecated Replacement", "Newer")) +
      libs("Preprocessing Regexlibs", {"R1"}) + libs("Normalization Regexlibs", {"R1", "R2"}) +
      vocabs(true, {vocab_row("V1", 1, "Yes", 70).c_str(), vocab_row("V2", 0, "No").c_str()}) +
      "<include name=\"Deflt Cat List\"><file type=\"Deflt Cat List\" version=\"7.0\"><data length=\"1\">"
      "<layout width=\"2\"><column type=\"string\">Category</column><column type=\"int\">Likelihood</column>"
      "</layout><record><field column=\"Category\">NUM</field><field column=\"Likelihood\">60</field></record>"
      "</data></file></include>"
      "<include name=\"Token\"><file type=\"Token\" version=\"7.0\">" + prop("Name", "Family") +
      "<data length=\"0\"></data></file></include>"
      // Comments and layouts keep their includes, not what they hold themselves.
      "<include name=\"Comments\"><file type=\"Comments\" version=\"7.0\">" + prop("Dropped", "x") +
      "<include name=\"Note\"><file type=\"Note\" version=\"7.0\">" + prop("Text", "kept") +
      "<data length=\"0\"></data></file></include><data length=\"1\"><record key=\"1\"><value>dropped</value>"
      "</record></data></file></include>"
      "<include name=\"Layouts\"><file type=\"Layouts\" version=\"7.0\"><include name=\"Grid\"><file type=\"Grid\" "
      "version=\"7.0\"><data length=\"0\"></data></file></include><data length=\"0\"></data></file></include>";
  ASSERT_EQ(kb.read(defn("Full", body)), 0) << kb.errors();
  defn_rec& first = kb.last();
  EXPECT_STREQ(first.owner, "Team");
  ASSERT_EQ(first.preprocessing.size(), 1u);
  ASSERT_NE(first.comments, nullptr);
  EXPECT_EQ(first.comments->prop_count, 0);
  EXPECT_EQ(first.comments->record_count, 0);
  ASSERT_EQ(first.comments->include_count, 1);
  EXPECT_EQ(static_cast<tqtest::test_kind_part*>(first.part)->value, 7);

  // The written element, against the golden file.
  xmldoc* out = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Locale Settings", "7.0", &out), 0);
  ASSERT_EQ(defn_element_write(ctx, out, &first), 0) << kb.errors();
  const auto written = kb.dir / "written.xml";
  ASSERT_EQ(xmldoc_write(ctx, written.string().c_str(), kXmlFlagNameAsGiven, out), 0) << kb.errors();
  const auto golden = std::filesystem::path(TQ_TEST_KB_DIR) / "defnxml" / "full.xml";
  EXPECT_EQ(tq_test::read_file(written), tq_test::read_file(golden)) << "written: " << written;

  // Read back under another name: the same record, the single
  // preprocessing library once (the table, not the property too).
  ASSERT_EQ(xmldoc_prop_set(ctx, out->includes[0].doc, "Name", "Again"), 0);
  ASSERT_EQ(defn_locale_xml_read(ctx, kEnusa, kTestKind, out), 0) << kb.errors();
  xml_free(ctx, out);
  const defn_rec& a = *kb.set().recs[0];
  const defn_rec& b = kb.last();
  ASSERT_NE(&a, &b);
  EXPECT_STREQ(b.name, "Again");
  EXPECT_STREQ(b.version, a.version);
  EXPECT_STREQ(b.owner, a.owner);
  EXPECT_STREQ(b.replacement, "Newer");
  for (auto f : {&defn_rec::version_supported, &defn_rec::incomplete, &defn_rec::deprecated, &defn_rec::surface,
                 &defn_rec::valid, &defn_rec::datatype, &defn_rec::editable, &defn_rec::parse_defn,
                 &defn_rec::allow_parsed_input, &defn_rec::automatic_uppercasing}) {
    EXPECT_EQ(b.*f, a.*f);
  }
  EXPECT_EQ(b.deprecated, 1);
  EXPECT_EQ(b.editable, 1);
  EXPECT_EQ(b.surface, 0);
  auto names = [&](const std::vector<rsrc_ref>& v) {
    std::string s;
    for (const rsrc_ref& r : v) s += resource_name(ctx, r) + ",";
    return s;
  };
  EXPECT_EQ(names(b.preprocessing), "R1,");
  EXPECT_EQ(names(b.normalization), "R1,R2,");
  EXPECT_EQ(resource_name(ctx, b.chopper), "C");
  EXPECT_EQ(resource_name(ctx, b.postprocessing), "R2");
  ASSERT_EQ(b.vocabularies.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(resource_name(ctx, b.vocabularies[i].vocab), resource_name(ctx, a.vocabularies[i].vocab));
    EXPECT_EQ(b.vocabularies[i].stop, a.vocabularies[i].stop);
    EXPECT_EQ(b.vocabularies[i].fuzzy.enabled, a.vocabularies[i].fuzzy.enabled);
    EXPECT_EQ(b.vocabularies[i].fuzzy.threshold, a.vocabularies[i].fuzzy.threshold);
  }
  ASSERT_EQ(b.default_categories.count, 1u);
  EXPECT_EQ(static_cast<default_category_entry*>(b.default_categories.slots[0])->likelihood, 60);
  ASSERT_EQ(b.tokens.count(), 1u);
  EXPECT_STREQ(b.tokens.items[0]->name, "Family");
  EXPECT_EQ(b.tokens.items[0]->key, 1);
  EXPECT_EQ(static_cast<tqtest::test_kind_part*>(b.part)->value, 7);
  ASSERT_NE(b.comments, nullptr);
  ASSERT_EQ(b.comments->include_count, 1);
  EXPECT_STREQ(xmldoc_prop_get(ctx, b.comments->includes[0].doc, "Text"), "kept");
  ASSERT_NE(b.layouts, nullptr);
  EXPECT_EQ(b.layouts->include_count, 1);
}

TEST(DefnXml, ACriticalReadHookResultStopsTheLocale) {
  Kb kb;
  kb.kind.counters().read_result = TQ_ERR_NO_MEMORY;
  EXPECT_EQ(kb.read(defn("One", prop("Datatype", "Name")) + defn("Two", prop("Datatype", "Name"))), TQ_ERR_NO_MEMORY);
  EXPECT_EQ(kb.kind.counters().read, 1);
  EXPECT_EQ(kb.set().count, 1u);
  EXPECT_EQ(kb.last().valid, 0);
}

}  // namespace

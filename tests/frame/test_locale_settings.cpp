// Locales loaded with their datatypes and definitions, and locale settings
// files written, created and imported. The knowledge base is made from the
// plain sources in tests/kb/locales (L1 <- EN <- ENUSA, each with datatypes
// and definitions of the test kind), turned into vault files by the
// library's own reader and writer.
#include <string>
#include <vector>

#include "kbstore/krdefn.h"
#include "kbstore/krlocload.h"
#include "support/test_defn_kind.h"
#include "support/tq_test.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;
using tqtest::kTestKind;

constexpr uint32_t kWithDefns = TQ_LOAD_DATATYPES | TQ_LOAD_GUESS_DEFNS;  // the test kind's bit

std::string source(const std::string& name) { return std::string(TQ_TEST_KB_DIR) + "/locales/" + name; }

tq_xmldoc* read_plain(tq_context* ctx, const std::string& path) {
  tq_xmldoc* doc = nullptr;
  EXPECT_EQ(tq_xml_read(ctx, path.c_str(), 8, &doc), 0) << tq_test::error_list_text(ctx);
  return doc;
}

// The locale folder of a sandbox knowledge base.
struct LocaleKb {
  TempDir dir;
  explicit LocaleKb(tq_context* ctx) {
    std::filesystem::create_directories(dir / "locale");
    for (const char* iso : {"l1", "en", "enusa"}) install(ctx, iso, read_plain(ctx, source(std::string(iso) + ".xml")));
  }
  // Writes a document (taken over) as the vault file locale/<iso>.loc.
  void install(tq_context* ctx, const std::string& iso, tq_xmldoc* doc) {
    ASSERT_NE(doc, nullptr);
    int32_t rc = tq_xml_write(ctx, 0, (dir / "locale" / (iso + ".loc")).string().c_str(), 1, doc);
    tq_xml_free(ctx, doc);
    ASSERT_EQ(rc, 0) << tq_test::error_list_text(ctx);
  }
};

std::vector<std::string> datatype_names(tq_context* ctx) {
  std::vector<std::string> names;
  uint32_t count = 0;
  EXPECT_EQ(tq_datatype_count_get(ctx, &count), 0);
  for (uint32_t i = 0; i < count; ++i) {
    char name[400] = "";
    EXPECT_EQ(tq_datatype_name_get_by_index(ctx, static_cast<int32_t>(i), name), 0);
    names.emplace_back(name);
  }
  return names;
}

std::vector<std::string> defn_names(tq_context* ctx) {
  std::vector<std::string> names;
  uint32_t count = 0;
  EXPECT_EQ(tq::defn_count_get(ctx, kTestKind, &count), 0);
  for (uint32_t i = 0; i < count; ++i) {
    char name[tq::kDefnNameMax + 1] = "";
    EXPECT_EQ(tq::defn_name_get_by_index(ctx, kTestKind, static_cast<int32_t>(i), 0, name), 0);
    names.emplace_back(name);
  }
  return names;
}

int32_t current(tq_context* ctx) {
  int32_t code = -1;
  tq_locale_get(ctx, &code);
  return code;
}

// The names of a document's includes, in order.
std::vector<std::string> include_names(const tq_xmldoc* doc) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < doc->include_count; ++i) names.emplace_back(doc->includes[i].name);
  return names;
}

std::vector<std::string> prop_names(const tq_xmldoc* doc) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < doc->prop_count; ++i) names.emplace_back(doc->props[i].name);
  return names;
}

std::string prop(tq_context* ctx, tq_xmldoc* doc, const char* name) {
  char value[4200] = "";
  tq_xml_getprop(ctx, doc, name, value);
  return value;
}

TEST(LocaleParts, DatatypesLoadWithTheirAncestors) {
  Context ctx;
  LocaleKb kb(ctx);
  Context c(kb.dir.str().c_str());
  ASSERT_EQ(tq_zel_locale_load(c, 29840, TQ_LOAD_DATATYPES), 0) << tq_test::error_list_text(c);
  EXPECT_EQ(current(c), 29840);
  // Own first, then the parent's others, then the grandparent's.
  EXPECT_EQ(datatype_names(c), (std::vector<std::string>{"Address", "Email", "Name", "Phone", "Text"}));
  uint32_t count = 0;
  EXPECT_EQ(tq_datatype_count_get_by_locale(c, 29000, &count), 0);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(tq_datatype_token_count_get(c, 0, &count), 0);
  EXPECT_EQ(count, 3u);  // ENUSA's own Address, not EN's
  // A mask without the datatype bit reads none (EN is loaded already: a
  // fresh locale is needed to see it).
  Context d(kb.dir.str().c_str());
  ASSERT_EQ(tq_zel_locale_load(d, 800000, 0), 0);
  EXPECT_EQ(tq_datatype_count_get(d, &count), 0);
  EXPECT_EQ(count, 0u);
}

TEST(LocaleParts, TestKindDefinitionsWithInheritance) {
  tqtest::TestDefnKind kind;
  {
    Context ctx;
    LocaleKb kb(ctx);
    Context c(kb.dir.str().c_str());
    ASSERT_EQ(tq_zel_locale_load(c, 29840, kWithDefns), 0) << tq_test::error_list_text(c);
    // ENUSA's Street hides EN's; EN's Person and L1's Plain are inherited.
    EXPECT_EQ(defn_names(c), (std::vector<std::string>{"Street", "Mail", "Person", "Plain"}));
    uint32_t count = 0;
    EXPECT_EQ(tq::defn_count_get_by_locale(c, kTestKind, 29000, &count), 0);
    EXPECT_EQ(count, 2u);
    tq::defn_rec* rec = nullptr;
    ASSERT_EQ(tq::defn_record_get_for_read(c, kTestKind, 0, &rec), 0);
    EXPECT_EQ(static_cast<tqtest::test_kind_part*>(rec->part)->value, 20);
    EXPECT_EQ(rec->valid, 1);
    EXPECT_EQ(tq_zel_locale_unload(c, 29840), 0);
    EXPECT_EQ(kind.counters().init, kind.counters().free);
    EXPECT_EQ(kind.counters().init, 5);
    // Loaded again and left for the context's end to free.
    ASSERT_EQ(tq_zel_locale_load(c, 29840, kWithDefns), 0);
  }
  EXPECT_EQ(kind.counters().init, 10);
  EXPECT_EQ(kind.counters().init, kind.counters().free);
}

TEST(LocaleParts, AFailedDefinitionLeavesTheLocaleLoaded) {
  tqtest::TestDefnKind kind;
  Context ctx;
  LocaleKb kb(ctx);
  // ENUSA with one more definition, whose datatype the locale lacks.
  tq_xmldoc* doc = read_plain(ctx, source("enusa.xml"));
  tq_xmldoc* bad = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, tqtest::kTestKindRootType, "7.0", &bad), 0);
  tq_xml_addprop(ctx, bad, "Name", "Stray");
  tq_xml_addprop(ctx, bad, "Datatype", "Nowhere");
  ASSERT_EQ(tq_xml_addref(ctx, doc, tqtest::kTestKindRootType, 1, bad), 0);
  kb.install(ctx, "enusa", doc);
  Context c(kb.dir.str().c_str());
  EXPECT_EQ(tq_zel_locale_load(c, 29840, kWithDefns), 104);
  EXPECT_EQ(current(c), 29840);
  // It stays, not valid, after the others.
  EXPECT_EQ(defn_names(c), (std::vector<std::string>{"Street", "Mail", "Stray", "Person", "Plain"}));
  tq::defn_rec* rec = nullptr;
  ASSERT_EQ(tq::defn_record_get_for_read(c, kTestKind, 2, &rec), 0);
  EXPECT_EQ(rec->valid, 0);
}

TEST(LocaleParts, ACriticalReadAbortsTheLoad) {
  tqtest::TestDefnKind kind;
  {
    Context ctx;
    LocaleKb kb(ctx);
    Context c(kb.dir.str().c_str());
    ASSERT_EQ(tq_zel_locale_load(c, 29000, kWithDefns), 0);
    kind.counters().read_result = -600;
    EXPECT_EQ(tq_zel_locale_load(c, 29840, kWithDefns), -600);
    EXPECT_EQ(current(c), 29000);
    EXPECT_EQ(tq_locale_set(c, 29840), -707);
    // EN keeps only the client's reference: one unload frees the chain.
    EXPECT_EQ(tq_zel_locale_unload(c, 29000), 0);
    EXPECT_EQ(tq_locale_set(c, 29000), -707);
    EXPECT_EQ(tq_locale_set(c, 800000), -707);
    EXPECT_EQ(kind.counters().init, kind.counters().free);

    // A client's edit-mode load gives back the locks it took.
    Context e(kb.dir.str().c_str(), true);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(e, &lock), 0);
    EXPECT_EQ(tq_zel_locale_load_edit(e, 29840, kWithDefns, lock), -600);
    EXPECT_FALSE(std::filesystem::exists(kb.dir / "locale" / "enusa.loc.zel.lck"));
    EXPECT_FALSE(std::filesystem::exists(kb.dir / "locale" / "l1.loc.zel.lck"));
    EXPECT_EQ(current(e), -1);
    tq_lock_free(e, lock);
  }
  EXPECT_EQ(kind.counters().init, kind.counters().free);
}

TEST(LocaleSettings, NewDocumentFromTheLocaleTable) {
  Context ctx;
  LocaleKb kb(ctx);
  Context c(kb.dir.str().c_str());
  tq_xmldoc* doc = reinterpret_cast<tq_xmldoc*>(&c);  // not NULL: must be cleared
  EXPECT_EQ(tq_locale_file_xml_create(c, &doc), -707);
  EXPECT_EQ(doc, nullptr);
  ASSERT_EQ(tq_zel_locale_load(c, 29840, 0), 0);
  ASSERT_EQ(tq_locale_file_xml_create(c, &doc), 0);
  EXPECT_STREQ(doc->type, "Locale Settings");
  EXPECT_EQ(prop(c, doc, "Locale ISO Code"), "ENUSA");
  EXPECT_EQ(prop(c, doc, "Locale Description"), "English (United States)");
  EXPECT_EQ(prop(c, doc, "Locale Code"), "29840");
  EXPECT_EQ(prop(c, doc, "Parent Locale"), "en.loc");
  EXPECT_EQ(prop(c, doc, "Encoding"), "ISO-8859-1 (Latin 1)");
  EXPECT_EQ(doc->include_count, 0);
  tq_xml_free(c, doc);
  ASSERT_EQ(tq_locale_set(c, 800000), 0);
  ASSERT_EQ(tq_locale_file_xml_create(c, &doc), 0);
  EXPECT_EQ(prop(c, doc, "Locale ISO Code"), "L1");
  EXPECT_EQ(prop_names(doc), (std::vector<std::string>{"Locale ISO Code", "Locale Description", "Locale Code",
                                                        "Locale Description", "Encoding"}));
  tq_xml_free(c, doc);
}

TEST(LocaleSettings, WrittenUnderTheLockAndLoadedAgain) {
  tqtest::TestDefnKind kind;
  Context ctx;
  LocaleKb kb(ctx);
  {
    Context c(kb.dir.str().c_str());
    ASSERT_EQ(tq_zel_locale_load(c, 29840, kWithDefns), 0) << tq_test::error_list_text(c);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(c, &lock), 0);
    ASSERT_EQ(tq_lock_create(c, "en.loc", 7, lock, nullptr), 0);
    EXPECT_EQ(tq_locale_write(c, 29840, lock), -405);
    ASSERT_EQ(tq_lock_create(c, "enusa.loc", 7, lock, nullptr), 0);
    // A locale without a file: the handle holds none of its (a write never
    // looks the name up again).
    EXPECT_EQ(tq_locale_write(c, 39276, lock), -405);
    ASSERT_EQ(tq_locale_write(c, 29840, lock), 0) << tq_test::error_list_text(c);
    tq_lock_free(c, lock);
  }
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_read(ctx, (kb.dir / "locale" / "enusa.loc").string().c_str(), 1, &doc), 0);
  EXPECT_STREQ(doc->type, "Locale Settings");
  EXPECT_EQ(prop_names(doc), (std::vector<std::string>{"Locale ISO Code", "Locale Description", "Locale Code",
                                                        "Locale Description", "Parent Locale", "Encoding"}));
  EXPECT_EQ(prop(ctx, doc, "Locale ISO Code"), "ENUSA");
  EXPECT_EQ(prop(ctx, doc, "Locale Code"), "29840");
  EXPECT_EQ(prop(ctx, doc, "Parent Locale"), "en.loc");
  EXPECT_EQ(prop(ctx, doc, "Encoding"), "UTF-8");
  // Its own datatypes and definitions only.
  EXPECT_EQ(include_names(doc), (std::vector<std::string>{"Datatype", "Datatype", "Test Definition", "Test Definition"}));
  tq_xml_free(ctx, doc);

  Context again(kb.dir.str().c_str());
  ASSERT_EQ(tq_zel_locale_load(again, 29840, kWithDefns), 0) << tq_test::error_list_text(again);
  EXPECT_EQ(datatype_names(again), (std::vector<std::string>{"Address", "Email", "Name", "Phone", "Text"}));
  EXPECT_EQ(defn_names(again), (std::vector<std::string>{"Street", "Mail", "Person", "Plain"}));
  tq::defn_rec* rec = nullptr;
  ASSERT_EQ(tq::defn_record_get_for_read(again, kTestKind, 1, &rec), 0);
  EXPECT_EQ(static_cast<tqtest::test_kind_part*>(rec->part)->value, 5);
}

TEST(LocaleSettings, ImportAddsToTheCurrentLocale) {
  tqtest::TestDefnKind kind;
  Context ctx;
  LocaleKb kb(ctx);
  Context c(kb.dir.str().c_str());
  tq_xmldoc* doc = read_plain(c, source("import.xml"));
  EXPECT_EQ(tq_locale_import(c, doc), -707);
  ASSERT_EQ(tq_zel_locale_load(c, 29840, kWithDefns), 0);
  ASSERT_EQ(tq_locale_import(c, doc), 0) << tq_test::error_list_text(c);
  EXPECT_EQ(datatype_names(c), (std::vector<std::string>{"Address", "Email", "Fax", "Name", "Phone", "Text"}));
  EXPECT_EQ(defn_names(c), (std::vector<std::string>{"Street", "Mail", "Fax Line", "Person", "Plain"}));
  tq_xmldoc* comments = nullptr;
  ASSERT_EQ(tq_datatype_comments_get(c, 2, &comments), 0);
  EXPECT_NE(comments, nullptr);
  // The caller's document keeps what it had (the datatype's comments); a
  // second import finds its names taken.
  ASSERT_EQ(doc->includes[0].doc->include_count, 1);
  EXPECT_NE(tq_locale_import(c, doc), 0);
  tq_xml_free(c, doc);
}

// A section of a newer engine inside a definition of a kind the edit load
// left out: the write keeps the file's definition as it is, and the section
// the edit read kept aside goes into it once, write after write.
TEST(LocaleSettings, ANewerSectionOfAPartLeftOutIsWrittenOnce) {
  tqtest::TestDefnKind kind;
  Context ctx;
  LocaleKb kb(ctx);
  tq_xmldoc* en = read_plain(ctx, source("en.xml"));
  tq_xmldoc* newer = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Later Part", "10.0", &newer), 0);
  ASSERT_EQ(tq_xml_addprop(ctx, newer, "Name", "later"), 0);
  tq_xmldoc* person = en->includes[3].doc;  // the definition "Person"
  ASSERT_STREQ(en->includes[3].name, "Test Definition");
  ASSERT_EQ(tq_xml_addref(ctx, person, "Later Part", 1, newer), 0);
  kb.install(ctx, "en", en);

  Context edit(kb.dir.str().c_str(), true);
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(edit, &lock), 0);
  ASSERT_EQ(tq_zel_locale_load_edit(edit, 29000, TQ_LOAD_DATATYPES, lock), 0) << tq_test::error_list_text(edit);
  for (int write = 1; write <= 2; ++write) {
    SCOPED_TRACE("write " + std::to_string(write));
    ASSERT_EQ(tq_locale_write(edit, 29000, lock), 0) << tq_test::error_list_text(edit);
    tq_xmldoc* doc = nullptr;
    ASSERT_EQ(tq_xml_read(ctx, (kb.dir / "locale" / "en.loc").string().c_str(), 1, &doc), 0);
    int32_t sections = 0;
    for (int32_t i = 0; i < doc->include_count; ++i) {
      const tq_xmldoc* d = doc->includes[i].doc;
      for (int32_t k = 0; d != nullptr && k < d->include_count; ++k) {
        sections += std::string(d->includes[k].name) == "Later Part" ? 1 : 0;
      }
    }
    EXPECT_EQ(sections, 1);
    EXPECT_EQ(include_names(doc), (std::vector<std::string>{"Datatype", "Datatype", "Datatype", "Test Definition",
                                                            "Test Definition"}));
    tq_xml_free(ctx, doc);
  }
  tq_lock_free(edit, lock);
}

}  // namespace

// Token categories: the registry, default-category lists and their document
// form, and the fuzzy lookup parameters.
#include <cstring>
#include <string>

#include "kbstore/krdcat.h"
#include "kbstore/krxml.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using tq_test::BareContext;

TEST(Categories, InternNumbersNamesInOrderOfFirstUse) {
  BareContext bc;
  context* ctx = bc.get();
  category_rec rec{};
  EXPECT_EQ(category_intern(ctx, &rec, "num", "whatever"), 0);
  EXPECT_STREQ(rec.name, "NUM");
  EXPECT_STREQ(rec.description, "whatever");
  EXPECT_EQ(rec.id, 0);
  EXPECT_EQ(category_intern(ctx, &rec, "Foo", ""), 0);
  EXPECT_EQ(rec.id, 1);
  EXPECT_STREQ(rec.name, "FOO");
  EXPECT_EQ(category_intern(ctx, &rec, "FOO", nullptr), 0);
  EXPECT_EQ(rec.id, 1);
  EXPECT_EQ(category_intern(ctx, &rec, "street", ""), 0);
  EXPECT_EQ(rec.id, 2);
  // Non-ASCII names are uppercased before keying.
  category_rec a{}, b{};
  EXPECT_EQ(category_intern(ctx, &a, "stra\xC3\x9F" "e", ""), 0);
  EXPECT_EQ(category_intern(ctx, &b, "STRASSE", ""), 0);
  EXPECT_EQ(a.id, b.id);
  EXPECT_EQ(a.id, 3);
  // The write hold is given back on every path.
  EXPECT_EQ(ctx->write_holds, 0u);
  EXPECT_EQ(category_intern(ctx, nullptr, "x", ""), -802);

  // Long names are cut to 128 bytes between characters; descriptions to
  // 1,024 (what a file read brings: the setters refuse longer texts).
  std::string longname;
  for (int i = 0; i < 100; ++i) longname += "\xC3\xA9";  // 200 bytes
  std::string longdesc(1100, 'd');
  EXPECT_EQ(category_intern(ctx, &rec, longname.c_str(), longdesc.c_str()), 0);
  EXPECT_EQ(std::strlen(rec.name), 128u);
  EXPECT_EQ(std::strlen(rec.description), 1024u);

  category_rec num{}, copy{};
  category_init_number(&num);
  EXPECT_STREQ(num.name, "NUM");
  EXPECT_STREQ(num.description, "Number");
  EXPECT_EQ(num.id, 0);
  category_copy(&rec, &copy);
  EXPECT_EQ(std::memcmp(&rec, &copy, sizeof rec), 0);
}

TEST(Categories, RegistryIsSharedAndFreedWithTheState) {
  category_registry reg{};
  ASSERT_EQ(category_registry_create(&reg), 0);
  EXPECT_EQ(reg.table.count, 1u);
  category_registry_free(&reg);
  category_registry_free(&reg);  // twice is harmless
}

TEST(Categories, DefaultListEditCopyWriteRead) {
  BareContext bc;
  context* ctx = bc.get();
  default_category_list list{};
  ASSERT_EQ(default_category_list_init(&list), 0);
  EXPECT_EQ(default_category_add(ctx, &list, "street", 70), 0);
  EXPECT_EQ(default_category_add(ctx, &list, "name", 30), 0);
  ASSERT_EQ(list.count, 2u);
  auto* e0 = static_cast<default_category_entry*>(vec_get(&list, 0));
  EXPECT_STREQ(e0->category->name, "STREET");
  EXPECT_EQ(e0->likelihood, 70);
  EXPECT_EQ(e0->category->description[0], '\0');
  EXPECT_EQ(default_category_entry_set(ctx, e0, "road", 50), 0);
  EXPECT_STREQ(e0->category->name, "ROAD");
  EXPECT_EQ(default_category_delete(&list, 2), -800);
  EXPECT_EQ(default_category_delete(&list, -1), -800);

  // An entry without a category is copied and written without one.
  auto* bare = static_cast<default_category_entry*>(std::calloc(1, sizeof(default_category_entry)));
  bare->likelihood = 10;
  ASSERT_EQ(vec_push(&list, bare), 0);

  default_category_list copy{};
  ASSERT_EQ(default_category_list_init(&copy), 0);
  ASSERT_EQ(default_category_list_copy(ctx, &list, &copy), 0);
  ASSERT_EQ(copy.count, 3u);
  EXPECT_STREQ(static_cast<default_category_entry*>(vec_get(&copy, 1))->category->name, "NAME");
  EXPECT_EQ(static_cast<default_category_entry*>(vec_get(&copy, 2))->category, nullptr);

  xmldoc* defn = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Parse Definition", "9.0", &defn), 0);
  ASSERT_EQ(default_category_list_write(ctx, &list, defn), 0);
  default_category_list back{};
  ASSERT_EQ(default_category_list_init(&back), 0);
  ASSERT_EQ(default_category_list_read(ctx, &back, defn), 0);
  ASSERT_EQ(back.count, 3u);
  auto* b0 = static_cast<default_category_entry*>(vec_get(&back, 0));
  auto* b1 = static_cast<default_category_entry*>(vec_get(&back, 1));
  EXPECT_STREQ(b0->category->name, "ROAD");
  EXPECT_EQ(b0->likelihood, 50);
  EXPECT_STREQ(b1->category->name, "NAME");
  EXPECT_EQ(b1->likelihood, 30);
  EXPECT_EQ(static_cast<default_category_entry*>(vec_get(&back, 2))->category, nullptr);

  ASSERT_EQ(default_category_delete(&back, 0), 0);
  EXPECT_EQ(back.count, 2u);
  EXPECT_STREQ(static_cast<default_category_entry*>(vec_get(&back, 0))->category->name, "NAME");

  // An empty list writes nothing; a document without the include reads nothing.
  default_category_list empty{};
  ASSERT_EQ(default_category_list_init(&empty), 0);
  xmldoc* plain = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Parse Definition", "9.0", &plain), 0);
  EXPECT_EQ(default_category_list_write(ctx, &empty, plain), 0);
  EXPECT_EQ(plain->include_count, 0);
  EXPECT_EQ(default_category_list_read(ctx, &empty, plain), 0);
  EXPECT_EQ(empty.count, 0u);

  default_category_list_free(&empty);
  default_category_list_free(&back);
  default_category_list_free(&copy);
  default_category_list_free(&list);
  xml_free(ctx, plain);
  xml_free(ctx, defn);
}

TEST(Categories, DefaultListWithoutLikelihoodColumnIsRefused) {
  BareContext bc;
  context* ctx = bc.get();
  xmldoc* defn = nullptr;
  xmldoc* inc = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Parse Definition", "9.0", &defn), 0);
  ASSERT_EQ(xmldoc_create(ctx, "Deflt Cat List", "7.0", &inc), 0);
  ASSERT_EQ(xmldoc_column_add(ctx, inc, "Category", kXmlColString), 0);
  ASSERT_EQ(xmldoc_record_add(ctx, inc, "", nullptr, nullptr), 0);
  ASSERT_EQ(xmldoc_include_add(ctx, defn, "Deflt Cat List", kXmlIncludeInline, inc), 0);
  default_category_list list{};
  ASSERT_EQ(default_category_list_init(&list), 0);
  EXPECT_EQ(default_category_list_read(ctx, &list, defn), -300);
  EXPECT_EQ(list.count, 0u);
  default_category_list_free(&list);
  xml_free(ctx, defn);
}

TEST(Categories, FuzzyParameters) {
  BareContext bc;
  context* ctx = bc.get();
  fuzzy_params p{};
  fuzzy_params_default(&p);
  uint32_t en = 9, th = 9;
  fuzzy_params_get(&p, &en, &th);
  EXPECT_EQ(en, 0u);
  EXPECT_EQ(th, 80u);
  fuzzy_params_set(&p, 1, 75);
  fuzzy_params_get(&p, &en, &th);
  EXPECT_EQ(en, 1u);
  EXPECT_EQ(th, 75u);
  // Any value but 0 switches it on, as the files can hold it.
  fuzzy_params_set(&p, 2, 75);
  fuzzy_params_get(&p, &en, &th);
  EXPECT_EQ(en, 1u);
  // Disabling keeps the stored threshold but reports 80.
  fuzzy_params_set(&p, 0, 60);
  EXPECT_EQ(p.threshold, 75u);
  fuzzy_params_get(&p, &en, &th);
  EXPECT_EQ(th, 80u);

  xmldoc* el = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Parse Definition", "9.0", &el), 0);
  EXPECT_EQ(fuzzy_params_from_property(ctx, el, &p), 0);
  EXPECT_EQ(p.enabled, 0u);
  ASSERT_EQ(xmldoc_prop_add(ctx, el, "Fuzzy Vocab Threshold", "75"), 0);
  fuzzy_params q{};
  fuzzy_params_default(&q);
  EXPECT_EQ(fuzzy_params_from_property(ctx, el, &q), 0);
  EXPECT_EQ(q.enabled, 1u);
  EXPECT_EQ(q.threshold, 75u);
  ASSERT_EQ(xmldoc_prop_set(ctx, el, "Fuzzy Vocab Threshold", ""), 0);
  EXPECT_EQ(fuzzy_params_from_property(ctx, el, &q), 0);
  EXPECT_EQ(q.enabled, 0u);
  EXPECT_EQ(q.threshold, 75u);

  // Property written only when enabled.
  xmldoc* w = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Parse Definition", "9.0", &w), 0);
  fuzzy_params off{};
  fuzzy_params_default(&off);
  EXPECT_EQ(fuzzy_params_property_write(ctx, w, &off), 0);
  EXPECT_EQ(xmldoc_prop_exists(ctx, w, "Fuzzy Vocab Threshold"), 0);
  fuzzy_params on{1, 65};
  EXPECT_EQ(fuzzy_params_property_write(ctx, w, &on), 0);
  EXPECT_STREQ(xmldoc_prop_get(ctx, w, "Fuzzy Vocab Threshold"), "65");

  // Columns: declared after a caller's own column, filled, read back.
  xmldoc* table = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Vocabularies", "9.0", &table), 0);
  ASSERT_EQ(xmldoc_column_add(ctx, table, "Name", kXmlColString), 0);
  xmldoc_field fields[3];
  int32_t added = 0;
  EXPECT_EQ(fuzzy_params_columns_declare(ctx, table, 1, fields, 2, &added), -802);
  ASSERT_EQ(fuzzy_params_columns_declare(ctx, table, 1, fields, 3, &added), 0);
  EXPECT_EQ(added, 2);
  char name[] = "v1";
  fields[0].type = kXmlColString;
  fields[0].text = name;
  fuzzy_params_columns_fill(&on, fields, 1);
  ASSERT_EQ(xmldoc_record_add(ctx, table, "", nullptr, fields), 0);
  fuzzy_params_columns_fill(&off, fields, 1);
  ASSERT_EQ(xmldoc_record_add(ctx, table, "", nullptr, fields), 0);
  fuzzy_params r0{}, r1{};
  fuzzy_params_default(&r0);
  fuzzy_params_default(&r1);
  EXPECT_EQ(fuzzy_params_columns_read(ctx, table, 0, &r0), 0);
  EXPECT_EQ(fuzzy_params_columns_read(ctx, table, 1, &r1), 0);
  EXPECT_EQ(r0.enabled, 1u);
  EXPECT_EQ(r0.threshold, 65u);
  EXPECT_EQ(r1.enabled, 0u);
  EXPECT_EQ(r1.threshold, 80u);
  EXPECT_EQ(fuzzy_params_columns_read(ctx, table, 2, &r1), -1);
  xmldoc* nocols = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Vocabularies", "9.0", &nocols), 0);
  EXPECT_EQ(fuzzy_params_columns_read(ctx, nocols, 0, &r1), -1);

  xml_free(ctx, nocols);
  xml_free(ctx, table);
  xml_free(ctx, w);
  xml_free(ctx, el);
}

}  // namespace

// Regex libraries as resources: reading their documents, compiling on load
// or on first use, failures, and categorization regexlib entries.
#include <cstring>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krlib.h"
#include "kbstore/krxml.h"
#include "resources/krgram.h"
#include "resources/krregx.h"
#include "resources/krregxcat.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using tq_test::BareContext;

struct Row {
  std::string regex, sub, notes;
  int32_t options;
};

// Writes a "Regexlib" vault document into dir/name.zel.
void write_lib(context* ctx, const tq_test::TempDir& dir, const std::string& name, const std::vector<Row>& rows,
               const char* sub_column = "Substitution V7", bool with_locale = true, bool with_options = true) {
  xmldoc* doc = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Regexlib", "7.0", &doc), 0);
  if (with_locale) {
    ASSERT_EQ(xmldoc_prop_add(ctx, doc, "Locale ISO Code", "ENUSA"), 0);
    ASSERT_EQ(xmldoc_prop_add(ctx, doc, "Locale Description", "English (United States)"), 0);
    ASSERT_EQ(xmldoc_prop_add(ctx, doc, "Locale Code", "29840"), 0);
  }
  ASSERT_EQ(xmldoc_prop_add_grouped(ctx, doc, "9.0", "Owner", "Tester"), 0);
  ASSERT_EQ(xmldoc_column_add(ctx, doc, "Regex", kXmlColString), 0);
  ASSERT_EQ(xmldoc_column_add(ctx, doc, sub_column, kXmlColString), 0);
  ASSERT_EQ(xmldoc_column_add(ctx, doc, "Notes", kXmlColString), 0);
  if (with_options) {
    ASSERT_EQ(xmldoc_column_add(ctx, doc, "Options", kXmlColInt), 0);
  }
  for (const Row& r : rows) {
    xmldoc_field f[4];
    f[0].type = kXmlColString;
    f[0].text = const_cast<char*>(r.regex.c_str());
    f[1].type = kXmlColString;
    f[1].text = const_cast<char*>(r.sub.c_str());
    f[2].type = kXmlColString;
    f[2].text = const_cast<char*>(r.notes.c_str());
    f[3].type = kXmlColInt;
    f[3].number = r.options;
    ASSERT_EQ(xmldoc_record_add(ctx, doc, "", nullptr, f), 0);
  }
  std::string path = (dir.path() / name).string();
  ASSERT_EQ(xmldoc_write(ctx, path.c_str(), kXmlFlagVault, doc), 0) << (ctx->errors.count ? ctx->errors.last->text : "");
  xml_free(ctx, doc);
}

bool has_error(context* ctx, int32_t code) {
  for (uint32_t i = 0; i < ctx->errors.count; ++i) {
    if (ctx->errors.recs[i].code == code) return true;
  }
  return false;
}

TEST(RegexLibrary, LoadsOnFirstUseAndApplies) {
  tq_test::TempDir dir;
  BareContext bc(dir.str());
  context* ctx = bc.get();
  write_lib(ctx, dir, "names", {{"([A-Z]+)-([0-9]+)", "\\2 \\1", "swap", 7}, {"^MC", "Mc", "", 0}});
  int32_t index = -1;
  ASSERT_EQ(regexlib_load_by_name(ctx, "names", nullptr, &index, 0), 0);
  int32_t again = -1;
  EXPECT_EQ(regexlib_load_by_name(ctx, "names", nullptr, &again, 0), 0);
  EXPECT_EQ(again, index);
  regexlib_rec* rec = nullptr;
  ASSERT_EQ(regexlib_get(ctx, index, &rec), 0) << bc.last_error();
  ASSERT_EQ(rec->count, 2u);
  EXPECT_STREQ(rec->elements[0].notes, "swap");
  EXPECT_EQ(rec->elements[0].options, 7u);
  EXPECT_EQ(rec->elements[0].encoding, 0);  // the default encoding of ENUSA
  EXPECT_EQ(rec->locale.code, 29840);
  char out[kRegexResultSize];
  EXPECT_EQ(regexlib_replace_all(ctx, rec, "AB-12", out, 0), 1);
  EXPECT_STREQ(out, "12 AB");
  EXPECT_EQ(regexlib_match_any(ctx, rec, "MCX", 0), 1);
  char owner[kRsrcOwnerSize];
  EXPECT_EQ(rsrc_owner_get(ctx, kRsrcRegex, index, 0, owner), 0);
  EXPECT_STREQ(owner, "Tester");
  // Two references: the first unload keeps it, the second frees it.
  EXPECT_EQ(regexlib_unload(ctx, index), 0);
  EXPECT_EQ(regexlib_get(ctx, index, &rec), 0);
  EXPECT_EQ(regexlib_unload(ctx, index), 0);
  EXPECT_EQ(regexlib_get(ctx, index, &rec), -800);
}

TEST(RegexLibrary, OldSubstitutionColumnAndLazyCompile) {
  tq_test::TempDir dir;
  BareContext bc(dir.str());
  context* ctx = bc.get();
  write_lib(ctx, dir, "old", {{"a", "b", "", 1}}, "Substitution");
  int32_t index = -1;
  // Read without compiling: the first use compiles.
  resource_slot* slot = nullptr;
  rsrc_callbacks cb{};
  cb.load = regexlib_rsrc_load_no_compile;
  cb.free = regexlib_rsrc_free;
  ASSERT_EQ(rsrc_register(ctx, kRsrcRegex, "old", &cb, &index), 0);
  ASSERT_EQ(rsrc_slot_get_loaded(ctx, kRsrcRegex, index, 0, &slot), 0);
  auto* raw = static_cast<regexlib_rec*>(slot->part);
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(raw->elements[0].code, nullptr);
  regexlib_rec* rec = nullptr;
  ASSERT_EQ(regexlib_get(ctx, index, &rec), 0);
  EXPECT_NE(rec->elements[0].code, nullptr);
  char out[kRegexResultSize];
  EXPECT_EQ(regexlib_replace_all(ctx, rec, "banana", out, 0), 1);
  EXPECT_STREQ(out, "bbnbnb");
  EXPECT_EQ(ctx->write_holds, 0u);
  EXPECT_EQ(regexlib_unload(ctx, index), 0);
}

TEST(RegexLibrary, BadDocumentsFailCleanlyAndCanBeRetried) {
  tq_test::TempDir dir;
  BareContext bc(dir.str());
  context* ctx = bc.get();
  regexlib_rec* rec = nullptr;
  int32_t index = -1;

  // A library without records (one an editor saved empty) reads back
  // empty.
  write_lib(ctx, dir, "empty", {});
  ASSERT_EQ(regexlib_load_by_name(ctx, "empty", nullptr, &index, 0), 0);
  ASSERT_EQ(regexlib_get(ctx, index, &rec), 0);
  EXPECT_EQ(rec->count, 0u);
  EXPECT_EQ(regexlib_match_any(ctx, rec, "anything", 0), 0);
  EXPECT_EQ(regexlib_unload(ctx, index), 0);

  // A failed load leaves the slot registered with its reference: a second
  // use tries again, and the unload frees it.

  write_lib(ctx, dir, "noopts", {{"a", "b", "", 1}}, "Substitution V7", true, false);
  ASSERT_EQ(regexlib_load_by_name(ctx, "noopts", nullptr, &index, 0), 0);
  EXPECT_EQ(regexlib_get(ctx, index, &rec), -300);
  EXPECT_TRUE(has_error(ctx, -300));
  EXPECT_NE(bc.last_error().find("'Options'"), std::string::npos) << bc.last_error();
  EXPECT_EQ(regexlib_get(ctx, index, &rec), -300);
  EXPECT_EQ(regexlib_unload(ctx, index), 0);

  write_lib(ctx, dir, "nolocale", {{"a", "b", "", 1}}, "Substitution V7", false);
  ASSERT_EQ(regexlib_load_by_name(ctx, "nolocale", nullptr, &index, 0), 0);
  EXPECT_EQ(regexlib_get(ctx, index, &rec), -300);
  EXPECT_EQ(regexlib_unload(ctx, index), 0);

  write_lib(ctx, dir, "emptyregex", {{"a", "b", "", 1}, {"", "b", "", 1}});
  ASSERT_EQ(regexlib_load_by_name(ctx, "emptyregex", nullptr, &index, 0), 0);
  EXPECT_EQ(regexlib_get(ctx, index, &rec), -802);
  EXPECT_NE(bc.last_error().find("record 2"), std::string::npos) << bc.last_error();
  EXPECT_EQ(regexlib_unload(ctx, index), 0);

  write_lib(ctx, dir, "badregex", {{"a", "b", "", 1}, {"([", "b", "", 1}});
  ASSERT_EQ(regexlib_load_by_name(ctx, "badregex", nullptr, &index, 0), 0);
  EXPECT_EQ(regexlib_get(ctx, index, &rec), -803);
  EXPECT_EQ(regexlib_unload(ctx, index), 0);

  // A library whose file does not exist cannot be registered.
  EXPECT_LT(regexlib_load_by_name(ctx, "missing", nullptr, &index, 0), 0);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(ctx->write_holds, 0u);
}

TEST(RegexLibrary, CreateTakesTheCurrentLocale) {
  BareContext bc;
  context* ctx = bc.get();
  int32_t plain = -1, local = -1;
  ASSERT_EQ(regexlib_create(ctx, "plain", &plain), 0);
  ctx->current_locale_code = 29840;
  ASSERT_EQ(regexlib_create(ctx, "local", &local), 0);
  regexlib_rec* rec = nullptr;
  ASSERT_EQ(regexlib_get(ctx, plain, &rec), 0);
  EXPECT_EQ(rec->locale.code, -1);
  EXPECT_EQ(rec->count, 0u);
  ASSERT_EQ(regexlib_get(ctx, local, &rec), 0);
  EXPECT_EQ(rec->locale.code, 29840);
  EXPECT_STREQ(rec->locale.iso, "ENUSA");
  EXPECT_EQ(regexlib_unload(ctx, plain), 0);
  EXPECT_EQ(regexlib_unload(ctx, local), 0);
}

TEST(CatRegexlib, BuildSetCopyFreeAndReferences) {
  tq_test::TempDir dir;
  BareContext bc(dir.str());
  context* ctx = bc.get();
  write_lib(ctx, dir, "digits", {{"^[0-9]+$", "", "", 1}});
  write_lib(ctx, dir, "alpha", {{"^[A-Z]+$", "", "", 1}});

  cat_regexlib_entry e;
  cat_regexlib_entry_init(&e);
  EXPECT_EQ(cat_regexlib_entry_build(ctx, &e, "house", -1, 95, 0, "digits"), -802);
  EXPECT_EQ(e.regexlib, -1);
  EXPECT_EQ(e.name[0], '\0');
  ASSERT_EQ(cat_regexlib_entry_build(ctx, &e, "house", -1, 70, 1, "digits"), 0);
  EXPECT_STREQ(e.name, "HOUSE");
  ASSERT_NE(e.category, nullptr);
  EXPECT_EQ(e.category->id, -1);
  EXPECT_EQ(e.bound, 1);
  EXPECT_EQ(e.stop, 1);
  const int32_t digits = e.regexlib;
  ASSERT_GE(digits, 0);

  // A refused set leaves the entry as it was.
  EXPECT_EQ(cat_regexlib_entry_set(ctx, &e, "name", -1, 5, "alpha", 0, 0), -802);
  EXPECT_EQ(cat_regexlib_entry_set(ctx, &e, "name", -1, 50, "nowhere", 0, 0) < 0, true);
  // The table's reader refuses a row without a library name: so does the set.
  EXPECT_EQ(cat_regexlib_entry_set(ctx, &e, "name", -1, 50, "", 0, 0), -802);
  EXPECT_STREQ(e.name, "HOUSE");
  EXPECT_EQ(e.regexlib, digits);

  cat_regexlib_entry c;
  cat_regexlib_entry_init(&c);
  ASSERT_EQ(cat_regexlib_entry_copy(ctx, &e, &c, 0), 0);
  EXPECT_STREQ(c.category->name, "HOUSE");
  EXPECT_NE(c.category, e.category);

  char cat[kCategoryNameSize];
  char rx[kCatRegexlibNameMax + 1];
  int32_t lik = 0, stop = 0;
  ASSERT_EQ(cat_regexlib_entry_info_get(ctx, &c, cat, rx, &lik, &stop, 0), 0);
  EXPECT_STREQ(cat, "HOUSE");
  EXPECT_STREQ(rx, "digits");
  EXPECT_EQ(lik, 70);
  EXPECT_EQ(stop, 1);

  ASSERT_EQ(cat_regexlib_entry_set(ctx, &e, "name", -1, 30, "alpha", 0, 0), 0);
  EXPECT_STREQ(e.name, "NAME");
  EXPECT_NE(e.regexlib, digits);

  // The copy still holds "digits": freeing it gives the last reference back.
  regexlib_rec* rec = nullptr;
  EXPECT_EQ(regexlib_get(ctx, digits, &rec), 0);
  cat_regexlib_entry_free(ctx, &c, 0);
  EXPECT_EQ(c.regexlib, -1);
  EXPECT_EQ(regexlib_get(ctx, digits, &rec), -800);

  // Binding without a grammar interns the name.
  ASSERT_EQ(cat_regexlib_entry_bind_grammar(ctx, &e, -1), 0);
  EXPECT_GE(e.category->id, 1);
  category_rec again{};
  ASSERT_EQ(category_intern(ctx, &again, "Name", ""), 0);
  EXPECT_EQ(again.id, e.category->id);
  cat_regexlib_entry_free(ctx, &e, 0);
  EXPECT_EQ(ctx->write_holds, 0u);
}

// Entries bound to a grammar hold a copy of its category (name, description,
// registry id): edits that grow the grammar and its unload leave them whole.
TEST(CatRegexlib, GrammarCategoriesAreCopiedNotPointedAt) {
  tq_test::TempDir dir;
  BareContext bc(dir.str());
  context* ctx = bc.get();
  write_lib(ctx, dir, "digits", {{"^[0-9]+$", "", "", 1}});
  int32_t g = -1;
  ASSERT_EQ(grammar_create(ctx, "g", &g), 0);
  ASSERT_EQ(grammar_category_add(ctx, g, "street", "Street name"), 0);
  category_rec street{};
  ASSERT_EQ(category_intern(ctx, &street, "STREET", ""), 0);

  cat_regexlib_entry e, own;
  cat_regexlib_entry_init(&e);
  cat_regexlib_entry_init(&own);
  ASSERT_EQ(cat_regexlib_entry_build(ctx, &e, "Street", g, 60, 0, "digits"), 0);
  EXPECT_EQ(e.borrowed, 1);
  EXPECT_STREQ(e.category->description, "Street name");
  EXPECT_EQ(e.category->id, street.id);
  ASSERT_EQ(cat_regexlib_entry_build(ctx, &own, "other", g, 60, 0, "digits"), 0);
  EXPECT_EQ(own.borrowed, 0);
  EXPECT_EQ(own.category->id, -1);
  // A grammar index that names no grammar is refused; the entry stays as it was.
  EXPECT_EQ(cat_regexlib_entry_set(ctx, &e, "x", 99, 50, "digits", 0, 0), -800);
  EXPECT_STREQ(e.name, "STREET");
  EXPECT_EQ(e.borrowed, 1);

  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(grammar_category_add(ctx, g, ("c" + std::to_string(i)).c_str(), ""), 0);
  }
  ASSERT_EQ(grammar_category_add(ctx, g, "other", "Other"), 0);
  ASSERT_EQ(cat_regexlib_entry_bind_grammar(ctx, &own, g), 0);
  EXPECT_EQ(own.borrowed, 1);
  EXPECT_STREQ(own.category->description, "Other");
  ASSERT_EQ(rsrc_client_unload(ctx, kRsrcGrammar, g), 0);
  EXPECT_STREQ(e.category->name, "STREET");
  EXPECT_STREQ(e.category->description, "Street name");
  EXPECT_EQ(cat_regexlib_entry_bind_grammar(ctx, &e, g), -800);
  EXPECT_STREQ(e.category->description, "Street name");
  cat_regexlib_entry c;
  cat_regexlib_entry_init(&c);
  ASSERT_EQ(cat_regexlib_entry_copy(ctx, &own, &c, 0), 0);
  EXPECT_STREQ(c.category->description, "Other");
  for (cat_regexlib_entry* x : {&e, &own, &c}) cat_regexlib_entry_free(ctx, x, 0);
  EXPECT_EQ(ctx->write_holds, 0u);
}

TEST(CatRegexlib, TableRoundTripKeepsStopFlags) {
  tq_test::TempDir dir;
  BareContext bc(dir.str());
  context* ctx = bc.get();
  write_lib(ctx, dir, "digits", {{"^[0-9]+$", "", "", 1}});
  cat_regexlib_entry a, b;
  cat_regexlib_entry_init(&a);
  cat_regexlib_entry_init(&b);
  ASSERT_EQ(cat_regexlib_entry_build(ctx, &a, "num2", -1, 70, 1, "digits"), 0);
  ASSERT_EQ(cat_regexlib_entry_build(ctx, &b, "zip", -1, 30, 0, "digits"), 0);

  xmldoc* table = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Cat Rlib List", "7.0", &table), 0);
  xmldoc_field fields[3];
  int32_t added = -1;
  EXPECT_EQ(cat_regexlib_table_declare(ctx, table, 1, fields, 3, &added), -802);
  ASSERT_EQ(cat_regexlib_table_declare(ctx, table, 0, fields, 3, &added), 0);
  EXPECT_EQ(added, 3);
  ASSERT_EQ(cat_regexlib_row_write(ctx, table, &a, 0, fields), 0);
  ASSERT_EQ(cat_regexlib_row_write(ctx, table, &b, 0, fields), 0);

  // Through a file and back, as a definition would be.
  std::string path = (dir.path() / "table").string();
  ASSERT_EQ(xmldoc_write(ctx, path.c_str(), 0, table), 0) << bc.last_error();
  xmldoc* read = nullptr;
  ASSERT_EQ(xmldoc_read(ctx, "table", 0, &read), 0) << bc.last_error();
  ASSERT_EQ(read->record_count, 2);
  cat_regexlib_entry r0, r1;
  cat_regexlib_entry_init(&r0);
  cat_regexlib_entry_init(&r1);
  ASSERT_EQ(cat_regexlib_table_read(ctx, read, 0, &r0), 0);
  ASSERT_EQ(cat_regexlib_table_read(ctx, read, 1, &r1), 0);
  EXPECT_STREQ(r0.name, "NUM2");
  EXPECT_EQ(r0.likelihood, 70);
  EXPECT_EQ(r0.stop, 1);
  EXPECT_EQ(r0.bound, 0);
  EXPECT_EQ(r0.category, nullptr);
  EXPECT_STREQ(r1.name, "ZIP");
  EXPECT_EQ(r1.stop, 0);
  EXPECT_EQ(r0.regexlib, a.regexlib);

  // Without the nested document (or with one shorter than the table) every
  // missing stop flag reads 0; a bad value is refused.
  xmldoc* plain = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Cat Rlib List", "7.0", &plain), 0);
  ASSERT_EQ(xmldoc_column_add(ctx, plain, "Category", kXmlColString), 0);
  ASSERT_EQ(xmldoc_column_add(ctx, plain, "Regexlib", kXmlColString), 0);
  xmldoc_field pf[2];
  char c1[] = "street", r1n[] = "digits", empty[] = "";
  pf[0].type = kXmlColString;
  pf[0].text = c1;
  pf[1].type = kXmlColString;
  pf[1].text = r1n;
  ASSERT_EQ(xmldoc_record_add(ctx, plain, "", nullptr, pf), 0);
  pf[1].text = empty;
  ASSERT_EQ(xmldoc_record_add(ctx, plain, "", nullptr, pf), 0);
  cat_regexlib_entry p0;
  cat_regexlib_entry_init(&p0);
  ASSERT_EQ(cat_regexlib_table_read(ctx, plain, 0, &p0), 0);
  EXPECT_EQ(p0.stop, 0);
  EXPECT_EQ(p0.likelihood, 50);
  cat_regexlib_entry p1;
  cat_regexlib_entry_init(&p1);
  EXPECT_EQ(cat_regexlib_table_read(ctx, plain, 1, &p1), -300);
  EXPECT_EQ(p1.regexlib, -1);
  EXPECT_EQ(cat_regexlib_table_read(ctx, plain, 2, &p1), -800);

  xmldoc* nocat = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Cat Rlib List", "7.0", &nocat), 0);
  EXPECT_EQ(cat_regexlib_table_read(ctx, nocat, 0, &p1), -1);

  // A nested "Stop" value other than Yes/No fails; a row the nested table
  // lacks reads 0.
  xmldoc* nested = const_cast<xmldoc*>(read->includes[0].doc);
  ASSERT_NE(nested, nullptr);
  ASSERT_EQ(xmldoc_field_string_set(ctx, nested, 0, 0, "Maybe"), 0);
  cat_regexlib_entry bad;
  cat_regexlib_entry_init(&bad);
  EXPECT_EQ(cat_regexlib_table_read(ctx, read, 0, &bad), -1);
  EXPECT_EQ(bad.regexlib, -1);
  ASSERT_EQ(xmldoc_field_string_set(ctx, nested, 1, 0, "Yes"), 0);
  cat_regexlib_entry y;
  cat_regexlib_entry_init(&y);
  ASSERT_EQ(cat_regexlib_table_read(ctx, read, 1, &y), 0);
  EXPECT_EQ(y.stop, 1);
  cat_regexlib_entry_free(ctx, &y, 0);
  ASSERT_EQ(xmldoc_record_set(ctx, nested, 1, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(cat_regexlib_table_read(ctx, read, 1, &y), 0);
  EXPECT_EQ(y.stop, 0);
  cat_regexlib_entry_free(ctx, &y, 0);

  for (cat_regexlib_entry* e : {&a, &b, &r0, &r1, &p0}) cat_regexlib_entry_free(ctx, e, 0);
  xml_free(ctx, nocat);
  xml_free(ctx, plain);
  xml_free(ctx, read);
  xml_free(ctx, table);
}

}  // namespace

// The locale record resources keep in their documents.
#include <cstring>
#include <string>

#include "kbstore/krlocp.h"
#include "kbstore/krxml.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using tq_test::BareContext;

struct Doc {
  BareContext& bc;
  xmldoc* doc = nullptr;
  explicit Doc(BareContext& c) : bc(c) { xmldoc_create(bc.get(), "Vocabulary", "9.0", &doc); }
  ~Doc() { xml_free(bc.get(), doc); }
};

TEST(LocaleInfo, ReadsAndWritesTheThreeProperties) {
  BareContext bc;
  Doc in(bc);
  xmldoc_prop_add(bc.get(), in.doc, "Locale Code", "29840");
  xmldoc_prop_add(bc.get(), in.doc, "Locale ISO Code", "ENUSA");
  xmldoc_prop_add(bc.get(), in.doc, "Locale Description", "English (United States)");
  locale_info info{};
  ASSERT_EQ(locale_info_read(bc.get(), in.doc, &info), 0);
  EXPECT_EQ(info.code, 29840);
  EXPECT_STREQ(info.iso, "ENUSA");
  EXPECT_STREQ(info.description, "English (United States)");
  Doc out(bc);
  ASSERT_EQ(locale_info_write(bc.get(), &info, out.doc), 0);
  ASSERT_EQ(out.doc->prop_count, 3);
  EXPECT_STREQ(out.doc->props[0].name, "Locale ISO Code");
  EXPECT_STREQ(out.doc->props[1].name, "Locale Description");
  EXPECT_STREQ(out.doc->props[2].name, "Locale Code");
  EXPECT_STREQ(out.doc->props[2].value, "29840");
}

TEST(LocaleInfo, MissingOrUnknownPropertiesAreRefused) {
  BareContext bc;
  locale_info info{};
  {
    Doc d(bc);
    EXPECT_EQ(locale_info_read(bc.get(), d.doc, &info), -300);
    EXPECT_EQ(bc.last_error(), "The document has no locale code.");
    EXPECT_EQ(info.code, -1);
  }
  {
    Doc d(bc);
    xmldoc_prop_add(bc.get(), d.doc, "Locale Code", "12345");
    EXPECT_EQ(locale_info_read(bc.get(), d.doc, &info), -300);
    EXPECT_EQ(bc.last_error(), "Locale code 12345 is not in the locale table.");
  }
  {
    Doc d(bc);
    xmldoc_prop_add(bc.get(), d.doc, "Locale Code", "29000");
    EXPECT_EQ(locale_info_read(bc.get(), d.doc, &info), -300);
    EXPECT_EQ(bc.last_error(), "The document has no locale ISO code.");
    // Fields read before the failure stay set.
    EXPECT_EQ(info.code, 29000);
    xmldoc_prop_add(bc.get(), d.doc, "Locale ISO Code", "EN");
    EXPECT_EQ(locale_info_read(bc.get(), d.doc, &info), -300);
    EXPECT_EQ(bc.last_error(), "The document has no locale description.");
  }
}

TEST(LocaleInfo, GetAndSetThroughTheInterface) {
  BareContext bc;
  locale_info info{};
  locale_info_clear(&info);
  // In ISO-8859-1 going in, UTF-8 inside.
  EXPECT_EQ(locale_info_set(bc.get(), &info, "DEDEU", "Deutsch (\xD6sterreich)", 39276, 1), 0);
  EXPECT_EQ(info.code, 39276);
  EXPECT_STREQ(info.description, "Deutsch (\xC3\x96sterreich)");
  char iso[22], desc[330];
  int32_t code = 0;
  EXPECT_EQ(locale_info_get(bc.get(), &info, iso, desc, &code, 1), 0);
  EXPECT_STREQ(iso, "DEDEU");
  EXPECT_STREQ(desc, "Deutsch (\xD6sterreich)");
  EXPECT_EQ(code, 39276);
  // What no file reader takes is refused, and the record stays as it was: a
  // code outside the table, an empty ISO code or description.
  EXPECT_EQ(locale_info_set(bc.get(), &info, "XX", "Nowhere", 4242, 1), -802);
  EXPECT_EQ(bc.last_error(), "Locale code 4242 is not in the locale table.");
  EXPECT_EQ(locale_info_set(bc.get(), &info, "", "German", 39276, 1), -802);
  EXPECT_EQ(locale_info_set(bc.get(), &info, "DEDEU", "", 39276, 1), -802);
  EXPECT_EQ(info.code, 39276);
  EXPECT_STREQ(info.iso, "DEDEU");
  // A character the session encoding lacks, under the strict option.
  bc.ctx.options |= kOptStrictConversion;
  std::strcpy(info.description, "\xE2\x82\xAC");
  EXPECT_EQ(locale_info_get(bc.get(), &info, iso, desc, &code, 1), -10000);
}

TEST(LocaleInfo, FromTheCurrentLocale) {
  BareContext bc;
  locale_info info{};
  locale_info_from_current(bc.get(), &info);
  EXPECT_EQ(info.code, -1);
  bc.ctx.current_locale_code = 39276;
  locale_info_from_current(bc.get(), &info);
  EXPECT_EQ(info.code, 39276);
  EXPECT_STREQ(info.iso, "DEDEU");
  EXPECT_STREQ(info.description, "German (Germany)");
}

}  // namespace

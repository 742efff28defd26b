// The locale table through the exported interface.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;

std::string last_error(tq_context* ctx) {
  int32_t code = 0;
  char text[TQ_ERROR_TEXT_MAX + 2];
  tq_error_info_get(ctx, &code, text);
  return text;
}

TEST(LocaleTable, SupportedLocales) {
  Context ctx;
  uint32_t count = 0;
  ASSERT_EQ(tq_supported_locale_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 511u);

  char iso[TQ_LOCALE_ISO_MAX + 2];
  char description[TQ_LOCALE_DESCRIPTION_MAX + 2];
  ASSERT_EQ(tq_supported_locale_info_get(ctx, 0, iso, description), 0);
  EXPECT_STREQ(iso, "AF");
  EXPECT_STREQ(description, "Afrikaans");
  ASSERT_EQ(tq_supported_locale_info_get(ctx, 510, iso, description), 0);
  EXPECT_STREQ(iso, "ZUZAF");
  EXPECT_STREQ(description, "Zulu (South Africa)");
  EXPECT_EQ(tq_supported_locale_info_get(ctx, 511, iso, description), -800);
  EXPECT_STREQ(iso, "");
  EXPECT_STREQ(description, "");

  int32_t code = 0;
  ASSERT_EQ(tq_supported_locale_code_get(ctx, 0, &code), 0);
  EXPECT_EQ(code, 3000);
  EXPECT_EQ(tq_supported_locale_code_get(ctx, 511, &code), -800);
  EXPECT_EQ(code, -1);

  // Every index's code leads back to the same ISO code and description.
  for (uint32_t i = 0; i < count; ++i) {
    ASSERT_EQ(tq_supported_locale_info_get(ctx, i, iso, description), 0);
    ASSERT_EQ(tq_supported_locale_code_get(ctx, i, &code), 0);
    char by_code[TQ_LOCALE_DESCRIPTION_MAX + 2];
    ASSERT_EQ(tq_locale_iso_name_get_by_code(ctx, code, by_code), 0);
    EXPECT_STREQ(by_code, iso);
    int32_t back = 0;
    ASSERT_EQ(tq_locale_code_get_by_iso_name(ctx, iso, &back), 0);
    EXPECT_EQ(back, code);
  }
}

TEST(LocaleTable, LookupsByIsoCodeDescriptionAndCode) {
  Context ctx;
  int32_t code = 0;
  ASSERT_EQ(tq_locale_code_get_by_iso_name(ctx, "ENUSA", &code), 0);
  EXPECT_EQ(code, 29840);
  EXPECT_EQ(tq_locale_code_get_by_iso_name(ctx, "enusa", &code), -802);
  EXPECT_EQ(code, -1);
  EXPECT_EQ(last_error(ctx), "ISO code 'enusa' is not in the locale table.");

  ASSERT_EQ(tq_locale_code_get_by_description(ctx, "English (United States)", &code), 0);
  EXPECT_EQ(code, 29840);
  ASSERT_EQ(tq_locale_code_get_by_description(ctx, "ISO-8859-1 (Latin-1)", &code), 0);
  EXPECT_EQ(code, 800000);
  EXPECT_EQ(tq_locale_code_get_by_description(ctx, "ISO-8859-1 (Latin 1)", &code), -802);
  EXPECT_EQ(code, -1);
  EXPECT_EQ(tq_locale_code_get_by_description(ctx, "english (united states)", &code), -802);

  char text[TQ_LOCALE_DESCRIPTION_MAX + 2];
  ASSERT_EQ(tq_locale_iso_name_get_by_code(ctx, 39276, text), 0);
  EXPECT_STREQ(text, "DEDEU");
  ASSERT_EQ(tq_locale_description_get_by_code(ctx, 39276, text), 0);
  EXPECT_STREQ(text, "German (Germany)");
  std::strcpy(text, "old");
  EXPECT_EQ(tq_locale_description_get_by_code(ctx, 12345, text), -802);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(last_error(ctx), "Locale code 12345 is not in the locale table.");
  std::strcpy(text, "old");
  EXPECT_EQ(tq_locale_iso_name_get_by_code(ctx, -1, text), -802);
  EXPECT_STREQ(text, "");

  int32_t parent = 0;
  ASSERT_EQ(tq_supported_locale_parent_get(ctx, 29840, &parent), 0);
  EXPECT_EQ(parent, 29000);
  ASSERT_EQ(tq_supported_locale_parent_get(ctx, 29000, &parent), 0);
  EXPECT_EQ(parent, 800000);
  ASSERT_EQ(tq_supported_locale_parent_get(ctx, 800000, &parent), 0);
  EXPECT_EQ(parent, -1);
  ASSERT_EQ(tq_supported_locale_parent_get(ctx, 3710, &parent), 0);
  EXPECT_EQ(parent, 29710);
  EXPECT_EQ(tq_supported_locale_parent_get(ctx, 12345, &parent), -802);
  EXPECT_EQ(parent, -1);
}

TEST(LocaleTable, TextsCrossInTheSessionEncoding) {
  Context ctx;
  char text[2 * (TQ_LOCALE_DESCRIPTION_MAX + 2)];
  int32_t code = 0;
  // The default session encoding is ISO-8859-1.
  ASSERT_EQ(tq_locale_description_get_by_code(ctx, 123792, text), 0);
  EXPECT_STREQ(text, "Turkish (T\xFCrkiye)");
  ASSERT_EQ(tq_locale_code_get_by_description(ctx, "Turkish (T\xFCrkiye)", &code), 0);
  EXPECT_EQ(code, 123792);

  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_locale_description_get_by_code(ctx, 123792, text), 0);
  EXPECT_STREQ(text, "Turkish (T\xC3\xBCrkiye)");
  ASSERT_EQ(tq_locale_code_get_by_description(ctx, "Turkish (T\xC3\xBCrkiye)", &code), 0);
  EXPECT_EQ(code, 123792);

  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UCS2_LE), 0);
  std::memset(text, 0x55, sizeof text);
  ASSERT_EQ(tq_locale_iso_name_get_by_code(ctx, 39000, text), 0);
  EXPECT_EQ(std::string(text, 6), std::string("D\0E\0\0\0", 6));
  ASSERT_EQ(tq_locale_code_get_by_iso_name(ctx, std::string("E\0N\0\0\0", 6).c_str(), &code), 0);
  EXPECT_EQ(code, 29000);
}

TEST(LocaleTable, FileNames) {
  Context ctx;
  char name[TQ_LOCALE_FILE_NAME_MAX + 2];
  ASSERT_EQ(tq_locale_get_file_name(ctx, "ENUSA", name), 0);
  EXPECT_STREQ(name, "enusa.loc");
  ASSERT_EQ(tq_locale_get_file_name(ctx, "de.loc", name), 0);
  EXPECT_STREQ(name, "de.loc");

  char iso[TQ_LOCALE_ISO_MAX + 2];
  ASSERT_EQ(tq_locale_get_iso_name_from_filename(ctx, "enusa.loc", iso), 0);
  EXPECT_STREQ(iso, "ENUSA");
  ASSERT_EQ(tq_locale_get_iso_name_from_filename(ctx, "enusa.loc.zel", iso), 0);
  EXPECT_STREQ(iso, "ENUSA");
  std::strcpy(iso, "old");
  ASSERT_EQ(tq_locale_get_iso_name_from_filename(ctx, "enusa.zel", iso), 0);
  EXPECT_STREQ(iso, "");
  // A stem longer than any ISO code is no locale file name.
  std::strcpy(iso, "old");
  ASSERT_EQ(tq_locale_get_iso_name_from_filename(ctx, "abcdefghijklmnopqrstuvwxyz.loc", iso), 0);
  EXPECT_STREQ(iso, "");
}

// Writes a locale file (a vault file) with the given "Parent Locale", or
// without that property when parent is NULL.
void write_locale_file(const TempDir& kb, const char* name, const char* parent) {
  Context ctx;
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Locale Settings", "7.0", &doc), 0);
  ASSERT_EQ(tq_xml_addprop(ctx, doc, "Locale ISO Code", "X"), 0);
  if (parent != nullptr) {
    ASSERT_EQ(tq_xml_addprop(ctx, doc, "Parent Locale", parent), 0);
  }
  std::string path = (kb / "locale" / name).string();
  ASSERT_TQ_OK(ctx, tq_xml_write(ctx, 0, path.c_str(), 1, doc));
  tq_xml_free(ctx, doc);
}

TEST(LocaleTable, ParentFromTheFileOfALocaleThatIsNotLoaded) {
  TempDir kb;
  kb.write("locale/.keep", "");
  write_locale_file(kb, "enusa.loc", "en.loc");
  write_locale_file(kb, "en.loc", "");
  write_locale_file(kb, "l1.loc", nullptr);
  ASSERT_TRUE(std::filesystem::exists(kb / "locale" / "enusa.loc.zel"));
  Context ctx(kb.str().c_str());
  char parent[TQ_LOCALE_ISO_MAX + 2];
  ASSERT_TQ_OK(ctx, tq_parent_locale_nonloaded_get_from_file(ctx, "ENUSA", parent));
  EXPECT_STREQ(parent, "EN");
  std::strcpy(parent, "old");
  EXPECT_EQ(tq_parent_locale_nonloaded_get_from_file(ctx, "EN", parent), -1);
  EXPECT_STREQ(parent, "");
  EXPECT_EQ(tq_parent_locale_nonloaded_get_from_file(ctx, "L1", parent), -1);
  EXPECT_LT(tq_parent_locale_nonloaded_get_from_file(ctx, "DEDEU", parent), 0);
  EXPECT_STREQ(parent, "");
}

TEST(LocaleTable, AvailableLocalesFollowTheFilesOnTheSearchPath) {
  TempDir kb;
  kb.write("locale/en.loc.zel", "x");
  kb.write("locale/l1.loc.krd", "x");
  kb.write("locale/unrelated.zel", "x");
  kb.write("vocab/enusa.loc", "x");  // no vault extension: not a locale file
  Context ctx(kb.str().c_str());
  void* iter = nullptr;
  ASSERT_EQ(tq_available_locale_code_get_begin(ctx, &iter), 0);
  ASSERT_NE(iter, nullptr);
  std::vector<int32_t> codes;
  for (int guard = 0; guard < 600; ++guard) {
    int32_t code = 0;
    ASSERT_EQ(tq_available_locale_code_get_next(ctx, iter, &code), 0);
    if (code == -1) break;
    codes.push_back(code);
  }
  EXPECT_EQ(codes, (std::vector<int32_t>{29000, 800000}));
  int32_t code = 0;
  EXPECT_EQ(tq_available_locale_code_get_next(ctx, iter, &code), 0);
  EXPECT_EQ(code, -1);
  EXPECT_EQ(tq_available_locale_code_get_end(ctx, iter), 0);

  TempDir empty;
  Context none(empty.str().c_str());
  ASSERT_EQ(tq_available_locale_code_get_begin(none, &iter), 0);
  ASSERT_NE(iter, nullptr);
  EXPECT_EQ(tq_available_locale_code_get_next(none, iter, &code), 0);
  EXPECT_EQ(code, -1);
  EXPECT_EQ(tq_available_locale_code_get_end(none, iter), 0);

  EXPECT_EQ(tq_available_locale_code_get_next(none, nullptr, &code), -802);
  EXPECT_EQ(tq_available_locale_code_get_end(none, nullptr), 0);
}

}  // namespace

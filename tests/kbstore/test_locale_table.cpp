// The built-in locale table: its invariants, the rows other parts of the
// engine rely on, and the lookups on it.
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/krenc.h"
#include "kbstore/krlocl.h"
#include "platform/nputf8.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using tq_test::BareContext;

const locale_row& row_of(const char* iso) {
  for (const locale_row& row : kLocaleTable) {
    if (std::strcmp(row.iso, iso) == 0) return row;
  }
  ADD_FAILURE() << "no row " << iso;
  return kLocaleTable[0];
}

std::vector<int32_t> ancestors_of(const locale_row& row) {
  std::vector<int32_t> out;
  for (int32_t a : row.ancestors) {
    if (a != -1) out.push_back(a);
  }
  return out;
}

TEST(LocaleTable, ShapeCountsAndOrder) {
  ASSERT_EQ(sizeof kLocaleTable / sizeof kLocaleTable[0], 511u);
  std::set<int32_t> codes;
  std::set<std::string> descriptions;
  uint32_t two = 0, five = 0, reserved = 0, other = 0;
  std::map<uint32_t, uint32_t> encodings;
  for (uint32_t i = 0; i < kLocaleCount; ++i) {
    const locale_row& row = kLocaleTable[i];
    SCOPED_TRACE(row.iso);
    if (i > 0) {
      EXPECT_LT(std::strcmp(kLocaleTable[i - 1].iso, row.iso), 0) << "not in byte order";
    }
    EXPECT_TRUE(codes.insert(row.code).second) << "code twice";
    EXPECT_TRUE(descriptions.insert(row.description).second) << "description twice";
    EXPECT_LE(std::strlen(row.iso), kLocaleIsoMax);
    EXPECT_LE(std::strlen(row.description), kLocaleDescriptionMax);
    EXPECT_GE(row.code, 0);
    EXPECT_EQ(enc_id_is_known(static_cast<int32_t>(row.encoding)), 1);
    size_t n = std::strlen(row.iso);
    if (n == 2) ++two;
    if (n == 5) ++five;
    if (n == 5 && std::strncmp(row.iso, "RE", 2) == 0) ++reserved;
    if (n != 2 && n != 5) ++other;
    ++encodings[row.encoding];
  }
  EXPECT_EQ(two, 131u);
  EXPECT_EQ(five, 379u);
  EXPECT_EQ(reserved, 26u);
  EXPECT_EQ(other, 1u);
  std::map<uint32_t, uint32_t> expected{{0, 63}, {2, 21}, {3, 3}, {4, 3}, {5, 7}, {6, 3}, {13, 411}};
  EXPECT_EQ(encodings, expected);
  EXPECT_STREQ(kLocaleTable[0].iso, "AF");
  EXPECT_STREQ(kLocaleTable[0].description, "Afrikaans");
  EXPECT_STREQ(kLocaleTable[510].iso, "ZUZAF");
  EXPECT_STREQ(kLocaleTable[510].description, "Zulu (South Africa)");
}

TEST(LocaleTable, AncestorsExistAndFollowTheRules) {
  for (const locale_row& row : kLocaleTable) {
    SCOPED_TRACE(row.iso);
    std::vector<int32_t> chain = ancestors_of(row);
    // Ancestors are packed at the front and name other rows.
    for (size_t i = 0; i < chain.size(); ++i) {
      EXPECT_EQ(row.ancestors[i], chain[i]);
      EXPECT_NE(chain[i], row.code);
      EXPECT_NE(locale_table_row_get(chain[i]), nullptr);
    }
    // Following the default parents always ends.
    const locale_row* at = &row;
    int steps = 0;
    while (at->ancestors[0] != -1 && steps < 8) {
      at = locale_table_row_get(at->ancestors[0]);
      ASSERT_NE(at, nullptr);
      ++steps;
    }
    EXPECT_LT(steps, 8);
    size_t n = std::strlen(row.iso);
    bool reserved = n == 5 && std::strncmp(row.iso, "RE", 2) == 0 && row.code >= 900010;
    if (n == 5 && !reserved && std::strcmp(row.iso, "AFZAF") != 0) {
      // A country locale: its language, then the language's ancestors.
      std::string lang(row.iso, 2);
      const locale_row& language = row_of(lang.c_str());
      std::vector<int32_t> want{language.code};
      for (int32_t a : ancestors_of(language)) want.push_back(a);
      EXPECT_EQ(chain, want);
      std::string prefix = std::string(language.description) + " (";
      EXPECT_EQ(std::string(row.description).rfind(prefix, 0), 0u);
    }
  }
}

TEST(LocaleTable, FixedRows) {
  struct fixed {
    const char* iso;
    const char* description;  // NULL: any
    int32_t code;
    int32_t encoding;  // -1: any
    std::vector<int32_t> ancestors;
  };
  const fixed rows[] = {
      {"L1", "ISO-8859-1 (Latin-1)", 800000, 0, {}},
      {"L2", "ISO-8859-2 (Latin-2)", 800001, 2, {}},
      {"LS", "ISO-8859-11 (Latin Thai)", 800003, 4, {}},
      {"LC", "ISO-8859-5 (Latin Cyrillic)", 800004, 5, {}},
      {"L5", "ISO-8859-9 (Latin 5)", 800005, 6, {}},
      {"GB", "Global", 800010, 13, {}},
      {"ALL", "All Locales", 900000, -1, {}},
      {"RE001", "Reserved001", 900010, -1, {}},
      {"RE026", "Reserved026", 900260, -1, {}},
      {"EN", "English", 29000, 0, {800000}},
      {"ENUSA", "English (United States)", 29840, 0, {29000, 800000}},
      {"DE", "German", 39000, -1, {800000}},
      {"DEDEU", "German (Germany)", 39276, -1, {39000, 800000}},
      {"AF", "Afrikaans", 3000, -1, {800000}},
      {"AFZAF", nullptr, 3710, -1, {29710, 29000, 800000, 3000}},
      {"ENZAF", nullptr, 29710, -1, {29000, 800000}},
      {"TR", nullptr, 123000, 6, {800005}},
      {"TRTUR", nullptr, 123792, 6, {123000, 800005}},
      {"AZ", nullptr, 800430, -1, {800010}},
      {"AZAZE", nullptr, 800440, -1, {800430, 800010}},
      {"LT", nullptr, 803220, -1, {800010}},
      {"LTLTU", nullptr, 803230, -1, {803220, 800010}},
      {"ZUZAF", "Zulu (South Africa)", 135710, -1, {135000, 800010}},
  };
  for (const fixed& f : rows) {
    SCOPED_TRACE(f.iso);
    const locale_row& row = row_of(f.iso);
    if (f.description != nullptr) {
      EXPECT_STREQ(row.description, f.description);
    }
    EXPECT_EQ(row.code, f.code);
    if (f.encoding >= 0) {
      EXPECT_EQ(row.encoding, static_cast<uint32_t>(f.encoding));
    }
    EXPECT_EQ(ancestors_of(row), f.ancestors);
  }
  for (int i = 1; i <= 26; ++i) {
    char iso[8], description[16];
    std::snprintf(iso, sizeof iso, "RE%03d", i);
    std::snprintf(description, sizeof description, "Reserved%03d", i);
    EXPECT_STREQ(row_of(iso).description, description);
    EXPECT_EQ(row_of(iso).code, 900000 + 10 * i);
  }
}

TEST(LocaleTable, LookupsFindEveryRowAndRecordMisses) {
  BareContext bc;
  for (const locale_row& row : kLocaleTable) {
    SCOPED_TRACE(row.iso);
    int32_t code = 0;
    ASSERT_EQ(locale_table_code_get_by_iso(bc.get(), row.iso, &code), 0);
    EXPECT_EQ(code, row.code);
    ASSERT_EQ(locale_table_code_get_by_description(bc.get(), row.description, &code), 0);
    EXPECT_EQ(code, row.code);
    char text[kLocaleDescriptionMax + 1];
    ASSERT_EQ(locale_table_iso_get(bc.get(), row.code, text, sizeof text), 0);
    EXPECT_STREQ(text, row.iso);
    ASSERT_EQ(locale_table_description_get(bc.get(), row.code, text, sizeof text), 0);
    EXPECT_STREQ(text, row.description);
    uint32_t encoding = 99;
    ASSERT_EQ(locale_table_encoding_get(bc.get(), row.code, &encoding), 0);
    EXPECT_EQ(encoding, row.encoding);
    EXPECT_EQ(locale_table_contains(row.code), 1);
  }
  EXPECT_EQ(bc.ctx.errors.count, 0u);

  int32_t code = 5;
  EXPECT_EQ(locale_table_code_get_by_iso(bc.get(), "enusa", &code), -802);
  EXPECT_EQ(code, -1);
  EXPECT_EQ(bc.last_error(), "ISO code 'enusa' is not in the locale table.");
  EXPECT_EQ(locale_table_code_get_by_iso(bc.get(), "", &code), -802);
  EXPECT_EQ(locale_table_code_get_by_iso(bc.get(), "ZZZZZ", &code), -802);
  EXPECT_EQ(locale_table_code_get_by_description(bc.get(), "ISO-8859-1 (Latin 1)", &code), -802);
  EXPECT_EQ(code, -1);
  EXPECT_EQ(bc.last_error(), "Locale description 'ISO-8859-1 (Latin 1)' is not in the locale table.");
  char text[32] = "x";
  EXPECT_EQ(locale_table_iso_get(bc.get(), 12345, text, sizeof text), -802);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(bc.last_error(), "Locale code 12345 is not in the locale table.");
  uint32_t encoding = 0;
  EXPECT_EQ(locale_table_encoding_get(bc.get(), -1, &encoding), -802);
  EXPECT_EQ(locale_table_contains(12345), 0);
  // Without a context nothing is recorded.
  EXPECT_EQ(locale_table_code_get_by_iso(nullptr, "XX", &code), -802);
}

TEST(LocaleTable, DescriptionsAreValidUtf8) {
  for (const locale_row& row : kLocaleTable) {
    const char* p = row.description;
    while (*p != '\0') {
      int32_t cp = 0;
      ASSERT_GT(np_uchar_toint(&p, &cp), 0) << row.iso;
    }
  }
}

TEST(LocaleFileNames, BothDirections) {
  BareContext bc;
  char out[kLocaleFileNameMax + 1];
  ASSERT_EQ(locale_file_name_get(bc.get(), "DE", out, sizeof out), 0);
  EXPECT_STREQ(out, "de.loc");
  ASSERT_EQ(locale_file_name_get(bc.get(), "ENUSA", out, sizeof out), 0);
  EXPECT_STREQ(out, "enusa.loc");
  ASSERT_EQ(locale_file_name_get(bc.get(), "de.loc", out, sizeof out), 0);
  EXPECT_STREQ(out, "de.loc");
  ASSERT_EQ(locale_file_name_get(bc.get(), "OLD.KRD", out, sizeof out), 0);
  EXPECT_STREQ(out, "old.krd");
  // A result that does not fit is refused, never cut.
  EXPECT_EQ(locale_file_name_get(bc.get(), "ENUSA", out, 9), -1);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(locale_file_name_get(bc.get(), "ENUSA", out, 10), 0);
  std::string huge(kLocaleFileNameMax, 'A');
  EXPECT_EQ(locale_file_name_get(bc.get(), huge.c_str(), out, sizeof out), -1);

  const char* cases[][2] = {
      {"enusa.loc", "ENUSA"},   {"ENUSA.LOC", "ENUSA"}, {"enusa.loc.zel", "ENUSA"},
      {"de.loc.KRD", "DE"},     {"enusa.zel", ""},      {"enusa", ""},
      {"enusa.loc.txt", ""},    {".loc", ""},           {"l1.loc", "L1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c[0]);
    std::memset(out, 'x', 16);
    ASSERT_EQ(locale_iso_from_file_name(bc.get(), c[0], out, sizeof out), 0);
    EXPECT_STREQ(out, c[1]);
  }
  // Every row's file name leads back to its ISO code.
  for (const locale_row& row : kLocaleTable) {
    char name[kLocaleFileNameMax + 1];
    ASSERT_EQ(locale_file_name_get(bc.get(), row.iso, name, sizeof name), 0);
    ASSERT_EQ(locale_iso_from_file_name(bc.get(), name, out, sizeof out), 0);
    EXPECT_STREQ(out, row.iso);
  }
}

}  // namespace

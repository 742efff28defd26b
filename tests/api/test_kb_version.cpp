// The knowledge-base product table and the version of the meta file.
#include <cstring>
#include <string>

#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;

struct Version {
  int32_t rc;
  int32_t product;
  std::string version;
};

Version version_of(const char* meta) {
  TempDir kb;
  if (meta != nullptr) kb.write("tqx.meta", meta);
  Context ctx(kb.str().c_str());
  tq_zel_version_info info;
  std::memset(&info, 0x55, sizeof info);
  int32_t rc = tq_zel_version_info_get(ctx, &info);
  return {rc, info.product_code, std::string(info.version, strnlen(info.version, sizeof info.version))};
}

TEST(KbVersion, FromTheDescriptionLine) {
  Version v = version_of("description Knowledge Base - 2009A\n");
  EXPECT_EQ(v.rc, 0);
  EXPECT_EQ(v.product, 0);
  EXPECT_EQ(v.version, "2009A");

  int32_t core = 0;
  Context ctx;
  ASSERT_EQ(tq_zel_product_code_get_by_abbrev(ctx, "CO", &core), 0);
  v = version_of("name kb\r\ndescription Knowledge Base - CO - 2010B\r\nother - x - y\r\n");
  EXPECT_EQ(v.rc, 0);
  EXPECT_EQ(v.product, core);
  EXPECT_EQ(v.version, "2010B");

  // Only the first five characters of the version count.
  v = version_of("description KB - 2011Cextra\n");
  EXPECT_EQ(v.rc, 0);
  EXPECT_EQ(v.version, "2011C");

  // The separator search starts at the second-to-last token.
  v = version_of("description - 2012D");
  EXPECT_EQ(v.rc, 0);
  EXPECT_EQ(v.product, 0);
  EXPECT_EQ(v.version, "2012D");
}

TEST(KbVersion, MissingOrUnreadableMetaFile) {
  for (const char* meta : {static_cast<const char*>(nullptr), "", "name kb\n", "description no separator\n",
                           "description ends with -\n", "  \ndescription\n"}) {
    SCOPED_TRACE(meta == nullptr ? "(no file)" : meta);
    Version v = version_of(meta);
    EXPECT_EQ(v.rc, 107);
    EXPECT_EQ(v.product, -1);
    EXPECT_EQ(v.version, "0000X");
  }
  // A description with a " - " of its own still gives the version; what
  // stands between the separators names a product only when it is one
  // abbreviation of the table.
  for (const char* meta : {"description Data Quality - ZZ - 2009A\n", "description Data Quality - KB - 2009A\n",
                           "description Data - Quality CO - 2009A\n", "description A - B - C - 2009A\n"}) {
    SCOPED_TRACE(meta);
    Version v = version_of(meta);
    EXPECT_EQ(v.rc, 0);
    EXPECT_EQ(v.product, 0);
    EXPECT_EQ(v.version, "2009A");
  }

  // No root at all.
  Context ctx;
  tq_zel_version_info info;
  EXPECT_EQ(tq_zel_version_info_get(ctx, &info), 107);
  EXPECT_EQ(info.product_code, -1);
  EXPECT_STREQ(info.version, "0000X");
  int32_t code = 0;
  char text[TQ_ERROR_TEXT_MAX + 2];
  tq_error_info_get(ctx, &code, text);
  EXPECT_EQ(code, 107);
  EXPECT_EQ(std::string(text).rfind("The knowledge-base meta file could not be read: ", 0), 0u);
}

TEST(KbVersion, ProductLookups) {
  Context ctx;
  int32_t by_name = 0;
  int32_t by_abbrev = 0;
  ASSERT_EQ(tq_zel_product_code_get_by_name(ctx, "CORE", &by_name), 0);
  ASSERT_EQ(tq_zel_product_code_get_by_abbrev(ctx, "CO", &by_abbrev), 0);
  EXPECT_GE(by_name, 1);
  EXPECT_LE(by_name, 16);
  EXPECT_EQ(by_name, by_abbrev);
  int32_t code = 0;
  EXPECT_EQ(tq_zel_product_code_get_by_abbrev(ctx, "ZZ", &code), -1);
  EXPECT_EQ(code, -1);
  EXPECT_EQ(tq_zel_product_code_get_by_abbrev(ctx, "co", &code), -1);
  // Longer texts are not cut down to a name of the table.
  EXPECT_EQ(tq_zel_product_code_get_by_abbrev(ctx, "COX", &code), -1);
  EXPECT_EQ(tq_zel_product_code_get_by_name(ctx, "CORE2", &code), -1);
  EXPECT_EQ(tq_zel_product_code_get_by_name(ctx, "COR", &code), -1);
  EXPECT_EQ(tq_zel_product_code_get_by_name(ctx, "", &code), -1);
}

}  // namespace

// Datatypes through the exports, in edit mode on a locale and its parent
// (datatypes are not yet read when a locale loads: both are made here).
#include <filesystem>
#include <string>

#include "support/tq_test.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;

constexpr int32_t kEnusa = 29840;
constexpr int32_t kEn = 29000;

std::string name_at(tq_context* ctx, int32_t index) {
  char name[400] = "";
  int32_t rc = tq_datatype_name_get_by_index(ctx, index, name);
  return rc == 0 ? name : "rc " + std::to_string(rc);
}

TEST(DatatypeExports, ParentAndChildEditedThroughTheCurrentLocale) {
  TempDir dir;
  std::filesystem::create_directories(dir / "locale");
  Context ctx(dir.str().c_str(), true);
  tq_test::write_locale_settings(ctx, dir.path(), "l1.loc", "ISO-8859-1 (Latin-1)", "");
  tq_test::write_locale_settings(ctx, dir.path(), "en.loc", "English", "l1.loc");
  tq_test::write_locale_settings(ctx, dir.path(), "enusa.loc", "English (United States)", "");
  ASSERT_GE(tq_zel_locale_load(ctx, kEnusa, 0), 0) << tq_test::error_list_text(ctx);
  uint32_t count = 9;
  EXPECT_EQ(tq_datatype_count_get(ctx, &count), -500);

  // The parent's datatype, made while the parent is current.
  ASSERT_EQ(tq_locale_set(ctx, kEn), 0);
  int32_t index = -1, token = -1;
  ASSERT_EQ(tq_datatype_add(ctx, "Name", &index), 0);
  ASSERT_EQ(index, 0);
  for (const char* value : {"Given", "Family"}) {
    ASSERT_EQ(tq_datatype_token_add(ctx, index, &token), 0);
    ASSERT_EQ(tq_datatype_token_value_set(ctx, index, token, value), 0);
  }
  ASSERT_EQ(tq_datatype_owner_set(ctx, index, "Base"), 0);

  // From the child: depth x 256 + position, and a copy that differs from
  // its source only in case.
  ASSERT_EQ(tq_locale_set(ctx, kEnusa), 0);
  EXPECT_EQ(name_at(ctx, 256), "Name");
  EXPECT_EQ(tq_datatype_index_get_by_name(ctx, "NAME", &index), 0);
  EXPECT_EQ(index, 256);
  EXPECT_EQ(name_at(ctx, 512), "rc -800");  // L1 has none
  EXPECT_EQ(name_at(ctx, 768), "rc -603");  // L1 has no parent
  EXPECT_EQ(name_at(ctx, -1), "rc -800");
  ASSERT_EQ(tq_datatype_copy(ctx, "name", "NAME", &index), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(name_at(ctx, 0), "NAME");
  char text[1100] = "";
  uint32_t flag = 0;
  EXPECT_EQ(tq_datatype_token_count_get(ctx, 0, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(tq_datatype_owner_get(ctx, 0, text), 0);
  EXPECT_STREQ(text, "Base");
  EXPECT_EQ(tq_datatype_editable_flag_get(ctx, 0, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_datatype_count_get_by_locale(ctx, kEn, &count), 0);
  EXPECT_EQ(count, 1u);

  // A refused token value keeps the old one.
  EXPECT_EQ(tq_datatype_token_value_set(ctx, 0, 1, "given"), -300);
  EXPECT_EQ(tq_datatype_token_value_get(ctx, 0, 1, text), 0);
  EXPECT_STREQ(text, "Family");
  EXPECT_EQ(tq_datatype_token_value_get(ctx, 0, 2, text), -800);
  EXPECT_EQ(tq_datatype_token_delete(ctx, 0, 0), 0);
  EXPECT_EQ(tq_datatype_token_value_get(ctx, 0, 0, text), 0);
  EXPECT_STREQ(text, "Family");

  // Comments handed back as they were handed out stay.
  tq_xmldoc* comments = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Comments", "7.0", &comments), 0);
  ASSERT_EQ(tq_xml_addrec(ctx, comments, "1", "note", nullptr), 0);
  ASSERT_EQ(tq_datatype_comments_set(ctx, 0, comments), 0);
  tq_xmldoc* got = nullptr;
  ASSERT_EQ(tq_datatype_comments_get(ctx, 0, &got), 0);
  ASSERT_EQ(got, comments);
  ASSERT_EQ(tq_datatype_comments_set(ctx, 0, got), 0);
  ASSERT_EQ(tq_datatype_comments_get(ctx, 0, &got), 0);
  EXPECT_EQ(got, comments);

  tq_xmldoc* settings = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Locale Settings", "7.0", &settings), 0);
  EXPECT_EQ(tq_datatype_write(ctx, settings, 0), 0);
  EXPECT_EQ(tq_datatype_write(ctx, settings, 1), -800);
  tq_xml_free(ctx, settings);

  EXPECT_EQ(tq_datatype_unload(ctx, 0), 0);
  EXPECT_EQ(name_at(ctx, 0), "rc -800");
  Context plain(dir.str().c_str());
  EXPECT_EQ(tq_datatype_add(plain, "X", &index), -501);
}

}  // namespace

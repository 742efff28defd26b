// The exported vault-file family, black-box.
#include <cstring>
#include <filesystem>
#include <string>

#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;
using tq_test::Context;
using tq_test::TempDir;

// Writes root/locale/enusa.loc.zel with the usual locale properties.
void write_locale_vault(tq_context* ctx, const TempDir& dir) {
  fs::create_directories(dir / "locale");
  tq_xmldoc* x = nullptr;
  ASSERT_TQ_OK(ctx, tq_xml_create(ctx, "Locale Settings", "9.0", &x));
  ASSERT_TQ_OK(ctx, tq_xml_addprop(ctx, x, "Locale ISO Code", "ENUSA"));
  ASSERT_TQ_OK(ctx, tq_xml_addprop(ctx, x, "Locale Code", "29840"));
  ASSERT_TQ_OK(ctx, tq_xml_addprop(ctx, x, "Locale Description", "English (United States)"));
  ASSERT_TQ_OK(ctx, tq_xml_addprop(ctx, x, "std_type", "3"));
  ASSERT_TQ_OK(ctx, tq_xml_addrec(ctx, x, "k", "v", nullptr));
  ASSERT_TQ_OK(ctx, tq_xml_write(ctx, 0, (dir / "locale" / "enusa.loc").string().c_str(), 1, x));
  tq_xml_free(ctx, x);
}

TEST(VaultExports, OpenReadsTheProperties) {
  TempDir dir;
  Context ctx(dir.str().c_str());
  write_locale_vault(ctx, dir);
  tq_vault_file* h = nullptr;
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_open(ctx, "enusa.loc", 7, &h));
  char text[1032] = {};
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_obj_name_get(ctx, h, text));
  EXPECT_STREQ(text, "");
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_obj_name_set(ctx, h, "X"));
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_obj_name_get(ctx, h, text));
  EXPECT_STREQ(text, "X");
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_desc_set(ctx, h, "About"));
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_desc_get(ctx, h, text));
  EXPECT_STREQ(text, "About");
  int32_t n = 0;
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_locale_get(ctx, h, &n));
  EXPECT_EQ(n, 29840);
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_stdtype_get(ctx, h, &n));
  EXPECT_EQ(n, 3);
  ASSERT_TQ_OK(ctx, tq_locale_props_noload_get(ctx, h, text));
  EXPECT_STREQ(text, "ENUSA");
  // A handle that was only opened holds no lock and cannot write.
  EXPECT_EQ(tq_zel_vlt_file_write(ctx, h), -603);
  EXPECT_TQ_OK(ctx, tq_zel_vlt_file_close(ctx, h));

  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_open(ctx, "enusa.loc", 3, &h));
  EXPECT_EQ(tq_zel_vlt_file_stdtype_get(ctx, h, &n), -1);  // only for kind 7
  EXPECT_EQ(n, -1);
  EXPECT_TQ_OK(ctx, tq_zel_vlt_file_close(ctx, h));
}

TEST(VaultExports, EditWritesBackAndLocks) {
  TempDir dir;
  Context ctx(dir.str().c_str(), true);
  write_locale_vault(ctx, dir);
  const fs::path file = dir / "locale" / "enusa.loc.zel";
  const std::string original = tq_test::read_file(file);

  tq_vault_file* h = nullptr;
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_edit(ctx, "enusa.loc", 7, &h));
  EXPECT_TRUE(fs::exists(dir / "locale" / "enusa.loc.zel.lck"));
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_write(ctx, h));
  EXPECT_EQ(tq_test::read_file(file), original);  // re-written byte for byte

  // Another context finds it locked.
  Context other(dir.str().c_str(), true);
  tq_vault_file* h2 = nullptr;
  EXPECT_EQ(tq_zel_vlt_file_edit(other, "enusa.loc", 7, &h2), -401);
  EXPECT_TQ_OK(other, tq_zel_vlt_file_close(other, h2));

  // The locale properties: an unknown ISO code changes nothing.
  EXPECT_EQ(tq_locale_props_noload_set(ctx, h, "XXXXX"), -802);
  char text[1032] = {};
  ASSERT_TQ_OK(ctx, tq_locale_props_noload_get(ctx, h, text));
  EXPECT_STREQ(text, "ENUSA");
  ASSERT_TQ_OK(ctx, tq_locale_props_noload_set(ctx, h, "DEDEU"));
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_obj_name_set(ctx, h, "Obj"));
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_write(ctx, h));
  EXPECT_TQ_OK(ctx, tq_zel_vlt_file_close(ctx, h));
  EXPECT_FALSE(fs::exists(dir / "locale" / "enusa.loc.zel.lck"));

  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_open(ctx, "enusa.loc", 7, &h));
  int32_t code = 0;
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_locale_get(ctx, h, &code));
  EXPECT_EQ(code, 39276);
  ASSERT_TQ_OK(ctx, tq_locale_props_noload_get(ctx, h, text));
  EXPECT_STREQ(text, "DEDEU");
  ASSERT_TQ_OK(ctx, tq_zel_vlt_file_obj_name_get(ctx, h, text));
  EXPECT_STREQ(text, "Obj");
  EXPECT_TQ_OK(ctx, tq_zel_vlt_file_close(ctx, h));

  tq_xmldoc* x = nullptr;
  ASSERT_TQ_OK(ctx, tq_xml_read(ctx, "enusa.loc", 1, &x));
  char value[1032] = {};
  ASSERT_TQ_OK(ctx, tq_xml_getprop(ctx, x, "Locale Description", value));
  EXPECT_STREQ(value, "German (Germany)");
  tq_xml_free(ctx, x);
}

TEST(VaultExports, FailedOpenLeavesAHandleToClose) {
  TempDir dir;
  Context ctx(dir.str().c_str());
  tq_vault_file* h = nullptr;
  EXPECT_EQ(tq_zel_vlt_file_open(ctx, "missing", 7, &h), -400);
  ASSERT_NE(h, nullptr);
  char text[1032] = {};
  int32_t n = 0;
  EXPECT_EQ(tq_zel_vlt_file_obj_name_get(ctx, h, text), -1);
  EXPECT_EQ(tq_zel_vlt_file_locale_get(ctx, h, &n), -1);
  EXPECT_EQ(n, -1);
  // Nothing to change: said so, naming the failed open.
  EXPECT_EQ(tq_locale_props_noload_set(ctx, h, "DEDEU"), TQ_ERR_NOT_USABLE);
  EXPECT_TRUE(tq_test::holds(tq_test::error_list_text(ctx), "holds no file: its open failed"));
  EXPECT_TQ_OK(ctx, tq_zel_vlt_file_close(ctx, h));

  // Compiled vocabulary vaults need the vocabulary resource.
  dir.write("vocab/w.zev", "00000000");
  h = nullptr;
  int32_t rc = tq_zel_vlt_file_open(ctx, "w", 8, &h);
  EXPECT_NE(rc, 0);
  ASSERT_NE(h, nullptr);
  EXPECT_TQ_OK(ctx, tq_zel_vlt_file_close(ctx, h));
}

}  // namespace

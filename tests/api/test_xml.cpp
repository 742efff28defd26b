// The exported XML family, black-box.
#include <cstring>
#include <filesystem>
#include <string>

#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;
using tq_test::Context;
using tq_test::TempDir;

constexpr const char* kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE krxml SYSTEM \"krxml.dtd\">\n<krxml>\n";

std::string last_error(tq_context* ctx) {
  int32_t code = 0;
  char text[4100] = {};
  tq_error_info_get(ctx, &code, text);
  return text;
}

TEST(XmlExports, BuildAndWriteTheExactFile) {
  TempDir dir;
  Context ctx(dir.str().c_str());
  tq_xmldoc* x = nullptr;
  ASSERT_TQ_OK(ctx, tq_xml_create(ctx, "Vocabulary", "9.0", &x));
  ASSERT_TQ_OK(ctx, tq_xml_addprop(ctx, x, "Name", "A&B"));
  ASSERT_TQ_OK(ctx, tq_xml_addrec(ctx, x, "K1", "v<1>", nullptr));
  ASSERT_TQ_OK(ctx, tq_xml_write(ctx, 0, (dir / "t").string().c_str(), 0, x));
  std::string text = tq_test::read_file(dir / "t.xml");
  EXPECT_EQ(text, std::string(kHead) +
                      "    <file type=\"Vocabulary\" version=\"9.0\">\n"
                      "        <property name=\"Name\">A&amp;B</property>\n"
                      "        <data length=\"1\">\n"
                      "            <record key=\"K1\"><value>v&lt;1&gt;</value></record>\n"
                      "        </data>\n"
                      "    </file>\n"
                      "</krxml>\n");
  EXPECT_EQ(text.size(), 302u);
  EXPECT_TQ_OK(ctx, tq_xml_free(ctx, x));
}

TEST(XmlExports, SessionEncodingTextsBecomeUtf8) {
  TempDir dir;
  Context ctx(dir.str().c_str());  // ISO-8859-1 by default
  tq_xmldoc* x = nullptr;
  ASSERT_TQ_OK(ctx, tq_xml_create(ctx, "T", "1.0", &x));
  ASSERT_TQ_OK(ctx, tq_xml_addprop(ctx, x, "Name", "Caf\xe9"));
  ASSERT_TQ_OK(ctx, tq_xml_addrec(ctx, x, "M\xfcller", "\xe0 la", nullptr));
  ASSERT_TQ_OK(ctx, tq_xml_write(ctx, 0, (dir / "t").string().c_str(), 0, x));
  std::string text = tq_test::read_file(dir / "t.xml");
  EXPECT_NE(text.find(">Caf\xc3\xa9<"), std::string::npos);
  EXPECT_NE(text.find("<record key=\"M\xc3\xbcller\"><value>\xc3\xa0 la</value>"), std::string::npos);
  ASSERT_TQ_OK(ctx, tq_xml_free(ctx, x));

  tq_xmldoc* back = nullptr;
  ASSERT_TQ_OK(ctx, tq_xml_read(ctx, (dir / "t").string().c_str(), 0, &back));
  char value[1032] = {};
  ASSERT_TQ_OK(ctx, tq_xml_getprop(ctx, back, "Name", value));
  EXPECT_STREQ(value, "Caf\xe9");
  ASSERT_TQ_OK(ctx, tq_xml_getprop(ctx, back, "Missing", value));
  EXPECT_STREQ(value, "");
  ASSERT_TQ_OK(ctx, tq_xml_setprop(ctx, back, "Name", "Th\xe9"));
  ASSERT_TQ_OK(ctx, tq_xml_getprop(ctx, back, "Name", value));
  EXPECT_STREQ(value, "Th\xe9");
  EXPECT_TQ_OK(ctx, tq_xml_free(ctx, back));
}

TEST(XmlExports, RecordsWithFields) {
  TempDir dir;
  Context ctx(dir.str().c_str());
  tq_context* c = ctx;
  // Columns come from a file: the family has no column export.
  dir.write("cols.xml", std::string(kHead) +
                            "<file type=\"T\" version=\"1.0\"><data length=\"0\"><layout width=\"2\">"
                            "<column type=\"string\">S</column><column type=\"int\">N</column></layout></data>"
                            "</file></krxml>\n");
  tq_xmldoc* x = nullptr;
  ASSERT_TQ_OK(c, tq_xml_read(c, (dir / "cols").string().c_str(), 0, &x));
  tq_xml_field f[2] = {{1, "s\xe9", 0}, {2, nullptr, -3}};
  ASSERT_TQ_OK(c, tq_xml_addrec(c, x, "a", nullptr, f));
  ASSERT_TQ_OK(c, tq_xml_addrec(c, x, nullptr, nullptr, nullptr));  // key "", empty fields
  tq_xml_field wrong[2] = {{2, nullptr, 1}, {2, nullptr, 1}};
  EXPECT_EQ(tq_xml_addrec(c, x, "b", nullptr, wrong), -1);
  ASSERT_TQ_OK(c, tq_xml_setrecstring(c, x, 1, 0, "later"));
  EXPECT_EQ(tq_xml_setrecstring(c, x, 0, 1, "int column"), -1);
  EXPECT_EQ(tq_xml_setrecstring(c, x, 5, 0, "no record"), -1);
  tq_xml_field g[2] = {{1, "t", 0}, {2, nullptr, 9}};
  ASSERT_TQ_OK(c, tq_xml_setrec(c, x, 0, "z", "val", g));
  EXPECT_EQ(tq_xml_setrec(c, x, 2, "z", "val", g), -1);
  ASSERT_TQ_OK(c, tq_xml_write(c, 0, (dir / "out").string().c_str(), 2, x));  // sorted
  std::string text = tq_test::read_file(dir / "out.xml");
  EXPECT_NE(text.find("            <record>\n                <field column=\"S\">later</field>\n"
                      "                <field column=\"N\">0</field>\n            </record>\n"
                      "            <record key=\"z\">\n                <field column=\"S\">t</field>\n"
                      "                <field column=\"N\">9</field>\n                <value>val</value>\n"),
            std::string::npos)
      << text;
  EXPECT_TQ_OK(c, tq_xml_free(c, x));
}

TEST(XmlExports, IncludesAndReferences) {
  TempDir dir;
  Context ctx(dir.str().c_str());
  tq_xmldoc* parent = nullptr;
  tq_xmldoc* child = nullptr;
  ASSERT_TQ_OK(ctx, tq_xml_create(ctx, "P", "1.0", &parent));
  ASSERT_TQ_OK(ctx, tq_xml_create(ctx, "C", "1.0", &child));
  ASSERT_TQ_OK(ctx, tq_xml_addprop(ctx, child, "Name", "inner"));
  ASSERT_TQ_OK(ctx, tq_xml_addref(ctx, parent, "Inline", 1, child));  // the parent owns it now
  ASSERT_TQ_OK(ctx, tq_xml_addref(ctx, parent, "Other", 2, const_cast<char*>("other")));
  EXPECT_EQ(tq_xml_addref(ctx, parent, "Self", 1, parent), -802);
  ASSERT_TQ_OK(ctx, tq_xml_write(ctx, 0, (dir / "p").string().c_str(), 0, parent));
  std::string text = tq_test::read_file(dir / "p.xml");
  EXPECT_NE(text.find("        <include name=\"Inline\">\n            <file type=\"C\" version=\"1.0\">\n"), std::string::npos);
  EXPECT_NE(text.find("        <include name=\"Other\"><ref>other</ref></include>\n"), std::string::npos);
  EXPECT_TQ_OK(ctx, tq_xml_free(ctx, parent));

  // Reading it needs the referenced file.
  tq_xmldoc* back = nullptr;
  EXPECT_EQ(tq_xml_read(ctx, (dir / "p").string().c_str(), 0, &back), -400);
  EXPECT_EQ(back, nullptr);
  EXPECT_NE(last_error(ctx).find("other.xml"), std::string::npos);
}

TEST(XmlExports, ReadFailuresAreRecorded) {
  TempDir dir;
  Context ctx(dir.str().c_str());
  dir.write("bad.xml", std::string(kHead) + "<file type=\"T\" version=\"1\"><data length=\"0\"></data>"
                                            "<property name=\"P\"/></file></krxml>\n");
  tq_xmldoc* x = reinterpret_cast<tq_xmldoc*>(&dir);
  EXPECT_EQ(tq_xml_read(ctx, (dir / "bad").string().c_str(), 0, &x), -5002);
  EXPECT_EQ(x, nullptr);
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(last_error(ctx), "Read error in file '" + (dir / "bad.xml").string() +
                                "' at line 4, column 52: element not expected here.");
}

TEST(XmlExports, FileExists) {
  TempDir dir;
  dir.write("locale/x.krd", "x");
  dir.write("vocab/w.zev", "w");
  Context ctx(dir.str().c_str());
  char path[16388] = {};
  EXPECT_EQ(tq_file_exists(ctx, "x", 0, path), 0);
  EXPECT_EQ(fs::path(path), dir / "locale" / "x.krd");
  EXPECT_EQ(tq_file_exists(ctx, "w", 1, nullptr), 0);
  EXPECT_EQ(tq_file_exists(ctx, "w", 0, path), -1);
  EXPECT_STREQ(path, "");
  EXPECT_EQ(tq_file_exists(ctx, "x", 1, path), -1);
}

}  // namespace

// krxml documents: the model, the exact file form, the reader's checks and
// the kept newer sections.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/krerr.h"
#include "kbstore/krlock.h"
#include "kbstore/krvlt.h"
#include "kbstore/krxml.h"
#include "platform/npfio.h"
#include "support/alloc_counter.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

namespace fs = std::filesystem;
using namespace tq;

constexpr const char* kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE krxml SYSTEM \"krxml.dtd\">\n<krxml>\n";

// A bare context with the parts documents use: search path, kept-section
// table and lock table.
struct Env {
  tq_test::TempDir dir;
  tq_test::BareContext bc{dir.str()};
  context* ctx() { return bc.get(); }
  std::string path(const std::string& name) const { return (dir / name).string(); }
};

// Frees a document at the end of the scope.
struct Doc {
  xmldoc* d = nullptr;
  ~Doc() { xml_free(nullptr, d); }
  xmldoc* operator->() const { return d; }
  operator xmldoc*() const { return d; }
};

std::string wrap(const std::string& body) { return std::string(kHead) + body + "</krxml>\n"; }

int32_t read_text(Env& env, const std::string& text, Doc* out, uint32_t flags = 0) {
  env.dir.write("t.xml", text);
  return xmldoc_read(env.ctx(), env.path("t.xml").c_str(), flags, &out->d);
}

std::string write_text(Env& env, xmldoc* doc, uint32_t flags = 0) {
  EXPECT_EQ(xmldoc_write(env.ctx(), env.path("out").c_str(), flags, doc), 0) << env.bc.last_error();
  return tq_test::read_file(env.dir / ((flags & kXmlFlagVault) ? "out.zel" : "out.xml"));
}

// A text enciphered as a vault file holds it.
std::string vault_text(const std::string& text) {
  cipher_state st;
  cipher_key_setup(&st);
  std::string out;
  char line[kCipherLineSize];
  for (size_t off = 0; off < text.size();) {
    int32_t ready = 0;
    off += static_cast<size_t>(
        cipher_line_encode(&st, text.data() + off, static_cast<uint32_t>(text.size() - off), line, &ready));
    if (ready) out += line;
  }
  int32_t ready = 0;
  cipher_line_encode(&st, nullptr, 0, line, &ready);
  if (ready) out += line;
  return out;
}

// The encodings Expat reads itself.
enum class Form { kUtf8, kLatin1, kUtf16Le, kUtf16Be };

// A document body (UTF-8, Latin-1 characters only when not UTF-16) in one
// of them, with its declaration on line 1 (and a byte order mark for UTF-16).
std::string in_form(const std::string& body, Form form) {
  const char* name = form == Form::kUtf8 ? "UTF-8" : form == Form::kLatin1 ? "ISO-8859-1" : "UTF-16";
  const std::string text = std::string("<?xml version=\"1.0\" encoding=\"") + name + "\"?>\n" + body;
  if (form == Form::kUtf8) return text;
  std::string out = form == Form::kUtf16Le ? "\xFF\xFE" : form == Form::kUtf16Be ? "\xFE\xFF" : "";
  const auto* u = reinterpret_cast<const unsigned char*>(text.data());
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = u[i];
    size_t len = cp < 0x80 ? 1 : cp < 0xE0 ? 2 : cp < 0xF0 ? 3 : 4;
    if (len > 1) cp &= 0x3Fu >> (len - 1);
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (u[i + k] & 0x3Fu);
    i += len;
    if (form == Form::kLatin1) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    uint32_t units[2] = {cp, 0};
    int count = 1;
    if (cp >= 0x10000) {
      units[0] = 0xD800 + ((cp - 0x10000) >> 10);
      units[1] = 0xDC00 + ((cp - 0x10000) & 0x3FF);
      count = 2;
    }
    for (int k = 0; k < count; ++k) {
      char hi = static_cast<char>(units[k] >> 8);
      char lo = static_cast<char>(units[k] & 0xFF);
      out += form == Form::kUtf16Le ? std::string{lo, hi} : std::string{hi, lo};
    }
  }
  return out;
}

TEST(Krxml, WriterProducesTheExactFileForm) {
  Env env;
  Doc doc;
  ASSERT_EQ(xmldoc_create(env.ctx(), "Vocabulary", "9.0", &doc.d), 0);
  ASSERT_EQ(xmldoc_prop_add(env.ctx(), doc, "Name", "A&B"), 0);
  ASSERT_EQ(xmldoc_record_add(env.ctx(), doc, "K1", "v<1>", nullptr), 0);
  std::string text = write_text(env, doc);
  EXPECT_EQ(text, wrap("    <file type=\"Vocabulary\" version=\"9.0\">\n"
                       "        <property name=\"Name\">A&amp;B</property>\n"
                       "        <data length=\"1\">\n"
                       "            <record key=\"K1\"><value>v&lt;1&gt;</value></record>\n"
                       "        </data>\n"
                       "    </file>\n"));
  EXPECT_EQ(text.size(), 302u);

  Doc empty;
  ASSERT_EQ(xmldoc_create(env.ctx(), "T", "1.0", &empty.d), 0);
  text = write_text(env, empty);
  EXPECT_EQ(text, wrap("    <file type=\"T\" version=\"1.0\">\n        <data length=\"0\">\n        </data>\n    </file>\n"));
  EXPECT_EQ(text.size(), 180u);
}

const char* kCanonical =
    "    <file type=\"Vocabulary\" version=\"9.0\">\n"
    "        <property name=\"Name\">Words</property>\n"
    "        <property name=\"Owner\">&quot;me&quot; &apos;n&apos; you</property>\n"
    "        <include name=\"Category\">\n"
    "            <file type=\"Category\" version=\"7.0\">\n"
    "                <data length=\"2\">\n"
    "                    <layout width=\"1\">\n"
    "                        <column type=\"string\">CategoryName</column>\n"
    "                    </layout>\n"
    "                    <record key=\"A\">\n"
    "                        <field column=\"CategoryName\">Alpha</field>\n"
    "                    </record>\n"
    "                    <record key=\"B\">\n"
    "                        <field column=\"CategoryName\"></field>\n"
    "                        <value>x</value>\n"
    "                    </record>\n"
    "                </data>\n"
    "            </file>\n"
    "        </include>\n"
    "        <data length=\"2\">\n"
    "            <layout width=\"2\">\n"
    "                <column type=\"int\">Likelihood</column>\n"
    "                <column type=\"string\">CategoryAbbreviation</column>\n"
    "            </layout>\n"
    "            <record key=\"street\">\n"
    "                <field column=\"Likelihood\">-1</field>\n"
    "                <field column=\"CategoryAbbreviation\">A</field>\n"
    "            </record>\n"
    "            <record>\n"
    "                <field column=\"Likelihood\">70</field>\n"
    "                <field column=\"CategoryAbbreviation\">a&#x10ff09;b&#x10ff0a;c&#x10ff7f;</field>\n"
    "            </record>\n"
    "        </data>\n"
    "    </file>\n";

TEST(Krxml, CanonicalFileReadsAndWritesBackByteForByte) {
  Env env;
  Doc doc;
  ASSERT_EQ(read_text(env, wrap(kCanonical), &doc), 0) << env.bc.last_error();
  ASSERT_EQ(doc->include_count, 1);
  xmldoc* cat = doc->includes[0].doc;
  ASSERT_NE(cat, nullptr);
  EXPECT_EQ(doc->includes[0].kind, kXmlIncludeInline);
  EXPECT_STREQ(cat->type, "Category");
  ASSERT_EQ(doc->record_count, 2);
  EXPECT_EQ(doc->records[0].fields[0].number, -1);  // negative numbers read back as written
  EXPECT_STREQ(doc->records[1].key, "");            // no "key": the empty key
  EXPECT_STREQ(doc->records[1].fields[1].text, "a\tb\nc\x7f");
  EXPECT_STREQ(cat->records[1].fields[0].text, "");
  EXPECT_STREQ(cat->records[1].value, "x");
  EXPECT_STREQ(xmldoc_prop_get(env.ctx(), doc, "Owner"), "\"me\" 'n' you");
  EXPECT_EQ(write_text(env, doc), wrap(kCanonical));
}

TEST(Krxml, ControlCharactersAreEscapedAndRestored) {
  Env env;
  Doc doc;
  ASSERT_EQ(xmldoc_create(env.ctx(), "T", "1.0", &doc.d), 0);
  ASSERT_EQ(xmldoc_prop_add(env.ctx(), doc, "P", "a\tb\x01z\x1f."), 0);
  ASSERT_EQ(xmldoc_record_add(env.ctx(), doc, "k\x7f", "l1\r\nl2", nullptr), 0);
  std::string text = write_text(env, doc);
  EXPECT_NE(text.find("<property name=\"P\">a&#x10ff09;b&#x10ff01;z&#x10ff1f;.</property>"), std::string::npos);
  EXPECT_NE(text.find("<record key=\"k&#x10ff7f;\"><value>l1&#x10ff0d;&#x10ff0a;l2</value></record>"),
            std::string::npos);

  Doc back;
  ASSERT_EQ(xmldoc_read(env.ctx(), env.path("out").c_str(), 0, &back.d), 0) << env.bc.last_error();
  EXPECT_STREQ(xmldoc_prop_get(env.ctx(), back, "P"), "a\tb\x01z\x1f.");
  EXPECT_STREQ(back->records[0].key, "k\x7f");
  EXPECT_STREQ(back->records[0].value, "l1\r\nl2");

  // Other characters of that range, and NUL, are dropped.
  Doc other;
  ASSERT_EQ(read_text(env,
                      wrap("<file type=\"T\" version=\"1\"><property name=\"P\">x&#x10FF41;y&#x10ff00;z</property>"
                           "<data length=\"0\"></data></file>"),
                      &other),
            0);
  EXPECT_STREQ(xmldoc_prop_get(env.ctx(), other, "P"), "xyz");
}

struct BadCase {
  const char* body;
  int32_t code;
};

TEST(Krxml, EveryReaderErrorHasItsCode) {
  const BadCase cases[] = {
      {"<file type=\"T\" version=\"1\"><property name=\"P\">x</property>", -5001},  // unclosed
      {"<file type=\"T\" version=\"1\"><bogus/></file>", -5002},
      {"<file type=\"T\" version=\"1\"><data length=\"0\"></data><property name=\"P\"/></file>", -5002},
      {"<file type=\"T\" version=\"1\"><data length=\"1\"><record key=\"k\"><value>v</value><field column=\"c\"/>"
       "</record></data></file>",
       -5002},
      {"<file type=\"T\" version=\"1\"><data length=\"0\"></data></file><file type=\"T\" version=\"1\"></file>", -5002},
      {"<file type=\"T\" version=\"1\"><include name=\"I\"><file type=\"U\" version=\"1\"/>"
       "<file type=\"U\" version=\"1\"/></include></file>",
       -5002},
      {"", -5003},
      {"<file version=\"1\"></file>", -5004},
      {"<file type=\"T\"></file>", -5005},
      {"<file type=\"T\" version=\"1\"><property>v</property></file>", -5006},
      {"<file type=\"T\" version=\"1\"><include><ref>x</ref></include></file>", -5007},
      {"<file type=\"T\" version=\"1\"><data length=\"0\"><layout width=\"1\"><column type=\"NULL\">c</column>"
       "</layout></data></file>",
       -5008},
      {"<file type=\"T\" version=\"1\"><data length=\"0\"><layout width=\"1\"><column type=\"float\">c</column>"
       "</layout></data></file>",
       -5008},
      {"<file type=\"T\" version=\"1\"><data length=\"2\"><record key=\"a\"/></data></file>", -5009},
      {"<file type=\"T\" version=\"1\"><data length=\"1\"><record key=\"a\"/><record key=\"b\"/></data></file>", -5009},
      {"<file type=\"T\" version=\"1\"><data length=\"-1\"></data></file>", -5009},
      {"<file type=\"T\" version=\"1\"><data length=\"0\"><layout width=\"2\"><column>c</column></layout></data>"
       "</file>",
       -5010},
      {"<file type=\"T\" version=\"1\"><data length=\"0\"><layout width=\"0\"><column>c</column></layout></data>"
       "</file>",
       -5010},
      {"<file type=\"T\" version=\"1\"><data length=\"1\"><layout width=\"1\"><column>c</column></layout>"
       "<record key=\"a\"><field column=\"d\">x</field></record></data></file>",
       -5011},
      {"<file type=\"T\" version=\"1\"><data length=\"1\"><record key=\"a\"><field>x</field></record></data></file>",
       -5011},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.body);
    Env env;
    Doc doc;
    std::string text = c.code == -5003 ? std::string(kHead) + "</krxml>\n" : wrap(c.body);
    EXPECT_EQ(read_text(env, text, &doc), c.code);
    EXPECT_EQ(doc.d, nullptr);
    ASSERT_EQ(env.ctx()->errors.count, 1u);
    EXPECT_EQ(env.ctx()->errors.recs[0].code, c.code);
    EXPECT_EQ(env.bc.last_error().rfind("Read error in file '", 0), 0u) << env.bc.last_error();
    EXPECT_NE(env.bc.last_error().find("t.xml' at line "), std::string::npos);
  }
}

// A document's texts are its own: a reference that Expat would read as
// nothing (an undefined entity, which it skips silently under an external
// DTD, or an external one, never loaded) is refused where it stands. Expat
// refuses some itself (with no DTD, or a standalone document): the answer
// is the same, on every road a document is read by.
TEST(Krxml, EntitiesOutsideTheDocumentAreRefused) {
  struct EntityCase {
    const char* subset;  // the internal DTD subset, on line 2
    const char* record;  // on line 5
    uint32_t line;       // of the reference, the first of its line but for &amp;
  };
  const EntityCase cases[] = {
      {"", "<record key=\"k\"><value>ACME &undefined; CORP</value></record>", 5},
      {"", "<record key=\"ACME &undefined; CORP\"><value>v</value></record>", 5},
      {"<!ENTITY undefined SYSTEM \"ext.xml\">", "<record key=\"k\"><value>&undefined;</value></record>", 5},
      {"<!ENTITY undefined SYSTEM \"ext.xml\">", "<record key=\"&amp;&undefined;\"><value>v</value></record>", 5},
      {"<!ENTITY a \"x&undefined;\">", "<record key=\"&a;\"><value>v</value></record>", 5},
      {"<!ENTITY a \"x&undefined;\">", "<record key=\"k\"><value>&a;</value></record>", 5},
      // What a comment, a processing instruction or a CDATA section of an
      // entity's text holds is no reference.
      {"<!ENTITY a \"<!--&zz;-->&undefined;\">", "<record key=\"k\"><value>&a;</value></record>", 5},
      {"<!ENTITY b \"<![CDATA[&zz;]]>&undefined;\"><!ENTITY a \"<?pi &zz;?>&b;\">",
       "<record key=\"k\"><value>&a;</value></record>", 5},
      {"<!ENTITY a \"<value a='&undefined;'>v</value>\">", "<record key=\"k\">&a;</record>", 5},
      {"<!ATTLIST record key CDATA \"&undefined;\">", "<record><value>v</value></record>", 2},
  };
  // With an external DTD, with none (line 2 then holds the subset alone,
  // or a comment), and standalone.
  enum Dtd { kExternal, kNone, kStandalone };
  auto document = [](Dtd dtd, const std::string& subset, const std::string& record) {
    std::string head = dtd == kStandalone ? "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                                          : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    std::string doctype = dtd == kNone ? (subset.empty() ? "<!-- no DTD -->" : "<!DOCTYPE krxml [" + subset + "]>")
                                       : "<!DOCTYPE krxml SYSTEM \"krxml.dtd\"" +
                                             (subset.empty() ? "" : " [" + subset + "]") + ">";
    return head + doctype + "\n<krxml>\n<file type=\"T\" version=\"1\"><data length=\"1\">\n" + record +
           "\n</data></file></krxml>\n";
  };
  enum Road { kPlain, kVault, kEdit, kReferenced };
  for (const EntityCase& c : cases) {
    for (Dtd dtd : {kExternal, kNone, kStandalone}) {
      for (Road road : {kPlain, kVault, kEdit, kReferenced}) {
        SCOPED_TRACE(std::string(c.record) + " dtd " + std::to_string(dtd) + " road " + std::to_string(road));
        Env env;
        env.dir.write("ext.xml", "OUTSIDE");
        const std::string text = document(dtd, c.subset, c.record);
        Doc doc;
        int32_t rc = 0;
        if (road == kVault) {
          env.dir.write("t.zel", vault_text(text));
          rc = xmldoc_read(env.ctx(), env.path("t").c_str(), kXmlFlagVault, &doc.d);
        } else if (road == kEdit) {
          env.dir.write("t.xml", text);
          tq_lock_handle lock{};
          lock.owner = env.ctx();
          rc = xmldoc_read_for_edit(env.ctx(), "t", 0, &lock, &doc.d);
          EXPECT_EQ(lock.held, 0u);
        } else if (road == kReferenced) {
          env.dir.write("t.xml", text);
          env.dir.write("m.xml", wrap("<file type=\"M\" version=\"1\"><include name=\"I\"><ref>t</ref></include>"
                                      "<data length=\"0\"></data></file>"));
          rc = xmldoc_read(env.ctx(), env.path("m").c_str(), 0, &doc.d);
        } else {
          rc = read_text(env, text, &doc);
        }
        EXPECT_EQ(rc, -300);
        EXPECT_EQ(doc.d, nullptr);
        // Lines and columns count from 1.
        size_t line_start = 0;
        for (uint32_t l = 1; l < c.line; ++l) line_start = text.find('\n', line_start) + 1;
        size_t amp = text.find('&', line_start);
        if (text.compare(amp, 5, "&amp;") == 0) amp = text.find('&', amp + 1);
        const size_t column = amp - line_start + 1;
        const std::string at = (road == kVault ? "t.zel" : "t.xml") + std::string("' at line ") +
                               std::to_string(c.line) + ", column " + std::to_string(column) + ":";
        EXPECT_NE(env.bc.last_error().find(at), std::string::npos) << env.bc.last_error();
        EXPECT_NE(env.bc.last_error().find("&undefined;."), std::string::npos) << env.bc.last_error();
      }
    }
  }
  // The predefined entities, character references and the document's own
  // internal entities read as ever.
  Env env;
  Doc doc;
  ASSERT_EQ(read_text(env,
                      document(kExternal, "<!ENTITY co \"ACME &amp; Co\"><!ENTITY nest \"&co;&#33;\">",
                               "<record key=\"&nest; &lt;&#x41;&gt;\"><value>&co; &quot;&#66;&apos;</value></record>"),
                      &doc),
            0)
      << env.bc.last_error();
  EXPECT_STREQ(doc->records[0].key, "ACME & Co! <A>");
  EXPECT_STREQ(doc->records[0].value, "ACME & Co \"B'");
}

// A document in ISO-8859-1 or UTF-16 reaches Expat's handlers converted, in
// pieces of 1,024 bytes; where a piece ends changes nothing: every
// document gives the answer its UTF-8 twin gives, whatever the comment,
// processing instruction or literal that a cut falls in.
TEST(Krxml, PieceEdgesChangeNothing) {
  struct PieceCase {
    const char* subset;  // '@' stands for the filler
    const char* record;
    size_t before;       // characters of the token before the filler
    int32_t code;
    const char* says;    // the refused entity, or the key read
  };
  const PieceCase cases[] = {
      {"", "<record key=\"k\"><value>ACME<!--@&x;--> CORP</value></record>", 4, 0, "k"},
      {"", "<record key=\"k\"><value><!--@\"-->ACME &undefined; CORP</value></record>", 4, -300, "&undefined;."},
      {"", "<record key=\"k\"><value>ACME<?pi @&x;?> CORP</value></record>", 5, 0, "k"},
      {"", "<record key=\"k\"><value><?pi @\"?>ACME &undefined; CORP</value></record>", 5, -300, "&undefined;."},
      {"<!--@\"--><!ATTLIST record key CDATA \"&undefined;\">", "<record><value>v</value></record>", 4, -300,
       "&undefined;."},
      {"<?pi @'?><!ATTLIST record key CDATA '&undefined;'>", "<record><value>v</value></record>", 5, -300,
       "&undefined;."},
      {"<!ATTLIST record key CDATA \"@&amp;\">", "<record><value>v</value></record>", 1, 0, "@&"},
      {"<!ATTLIST record key CDATA \"@&und\xC3\xA9" "fined;\">", "<record><value>v</value></record>", 1, -300,
       "&und\xC3\xA9" "fined;."},
      {"", "<record key=\"@&amp;\"><value>v</value></record>", 13, 0, "@&"},
      {"", "<record key=\"@&und\xC3\xA9" "fined;\"><value>v</value></record>", 13, -300, "&und\xC3\xA9" "fined;."},
  };
  for (const PieceCase& c : cases) {
    for (size_t cut : {1024u, 2048u}) {
      for (size_t n = cut - c.before - 1; n <= cut - c.before + 1; ++n) {
        const std::string fill(n, 'a');
        auto filled = [&fill](std::string t) {
          size_t at = t.find('@');
          return at == std::string::npos ? t : t.replace(at, 1, fill);
        };
        const std::string subset = filled(c.subset);
        const std::string body = "<!DOCTYPE krxml SYSTEM \"krxml.dtd\"" + (subset.empty() ? "" : " [" + subset + "]") +
                                 ">\n<krxml>\n<file type=\"T\" version=\"1\"><data length=\"1\">\n" + filled(c.record) +
                                 "\n</data></file></krxml>\n";
        std::string twin;
        for (Form form : {Form::kUtf8, Form::kLatin1, Form::kUtf16Le, Form::kUtf16Be}) {
          SCOPED_TRACE(std::string(c.record) + " " + c.subset + " fill " + std::to_string(n) + " form " +
                       std::to_string(static_cast<int>(form)));
          Env env;
          Doc doc;
          env.dir.write("t.xml", in_form(body, form));
          const int32_t rc = xmldoc_read(env.ctx(), env.path("t.xml").c_str(), kXmlFlagNameAsGiven, &doc.d);
          EXPECT_EQ(rc, c.code) << env.bc.last_error();
          // The same answer but for the folder.
          std::string message = env.bc.last_error();
          std::string answer = std::to_string(rc) + " " + message.substr(std::min(message.find("t.xml'"), message.size()));
          if (rc == 0) {
            EXPECT_EQ(doc->records[0].key, filled(c.says));
            answer += std::string(doc->records[0].key) + "|" + (doc->records[0].value ? doc->records[0].value : "");
          } else {
            EXPECT_NE(env.bc.last_error().find(c.says), std::string::npos) << env.bc.last_error();
          }
          if (form == Form::kUtf8) twin = answer;
          EXPECT_EQ(answer, twin);
        }
      }
    }
  }
}

// The memory a start tag takes does not grow with the references it holds:
// a key of many references reads within what a key of as many letters
// takes.
TEST(Krxml, ReferencesInATagTakeNoMemoryEach) {
  const size_t size = 1u << 20;
  std::string refs;
  while (refs.size() < size) refs += "&e;";
  const std::string letters(refs.size(), 'x');
  long long peak[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    Env env;
    env.dir.write("t.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE krxml SYSTEM \"krxml.dtd\" "
                           "[<!ENTITY e \"x\">]>\n<krxml><file type=\"T\" version=\"1\"><data length=\"1\"><record key=\"" +
                               (i == 0 ? refs : letters) + "\"/></data></file></krxml>\n");
    Doc doc;
    tq_test::AllocCounter counter;
    if (!counter.available) GTEST_SKIP() << "allocations are counted in sanitizer builds";
    ASSERT_EQ(xmldoc_read(env.ctx(), env.path("t.xml").c_str(), kXmlFlagNameAsGiven, &doc.d), 0)
        << env.bc.last_error();
    peak[i] = counter.peak_bytes();
  }
  EXPECT_LT(peak[0], peak[1] + static_cast<long long>(size) / 4) << peak[0] << " against " << peak[1];
}

// A token of a megabyte (an attribute value and a text) comes back whole
// from a plain and a vault file, however the reads and the parser's blocks
// cut it; a read that fails on the way fails the read.
TEST(Krxml, LongTokensReadBackWhole) {
  std::string token;
  const std::string piece = "ab<&>\"' \xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E 0123456789";
  while (token.size() < (1u << 20)) token += piece;
  for (uint32_t flags : {0u, kXmlFlagVault}) {
    SCOPED_TRACE(flags);
    Env env;
    Doc doc;
    ASSERT_EQ(xmldoc_create(env.ctx(), "T", "1.0", &doc.d), 0);
    ASSERT_EQ(xmldoc_record_add(env.ctx(), doc, token.c_str(), token.c_str(), nullptr), 0);
    ASSERT_EQ(xmldoc_write(env.ctx(), env.path("out").c_str(), flags, doc), 0) << env.bc.last_error();
    Doc back;
    ASSERT_EQ(xmldoc_read(env.ctx(), env.path("out").c_str(), flags, &back.d), 0) << env.bc.last_error();
    ASSERT_EQ(back->record_count, 1);
    EXPECT_TRUE(back->records[0].key == token) << "the key differs";
    EXPECT_TRUE(back->records[0].value == token) << "the value differs";

    // The second read of the file fails: so does the read, as a file that
    // could not be read (not as bad content), naming the cause.
    static int reads;
    reads = 0;
    np_fio_fault_set([](const char* call) { return std::strcmp(call, "read") == 0 && ++reads == 2 ? EIO : 0; });
    Doc failed;
    int32_t rc = xmldoc_read(env.ctx(), env.path("out").c_str(), flags, &failed.d);
    np_fio_fault_set(nullptr);
    EXPECT_EQ(rc, TQ_ERR_FILE_OPEN);
    EXPECT_EQ(failed.d, nullptr);
    EXPECT_NE(env.bc.last_error().find("could not be read: Input/output error"), std::string::npos)
        << env.bc.last_error();
  }
}

TEST(Krxml, PlacementAcceptsTheChains) {
  Env env;
  Doc doc;
  // data right after property; value without field; a record without fields.
  ASSERT_EQ(read_text(env,
                      wrap("<file type=\"T\" version=\"1\"><property name=\"P\">p</property><data length=\"2\">"
                           "<layout width=\"1\"><column type=\"int\">n</column></layout>"
                           "<record key=\"a\"><value>v</value></record><record key=\"b\"/></data></file>"),
                      &doc),
            0)
      << env.bc.last_error();
  ASSERT_EQ(doc->record_count, 2);
  EXPECT_STREQ(doc->records[0].value, "v");
  EXPECT_EQ(doc->records[1].fields[0].number, 0);
  EXPECT_EQ(doc->records[1].value, nullptr);

  Doc missing;
  EXPECT_EQ(xmldoc_read(env.ctx(), env.path("nothing").c_str(), 0, &missing.d), -400);
  EXPECT_NE(env.bc.last_error().find("nothing.xml"), std::string::npos);
}

TEST(Krxml, ReferencesAreReadAndCyclesRefused) {
  Env env;
  env.dir.write("cat.xml", wrap("<file type=\"Category\" version=\"7.0\"><property name=\"Name\">c</property>"
                                "<data length=\"0\"></data></file>"));
  Doc doc;
  ASSERT_EQ(read_text(env,
                      wrap("<file type=\"T\" version=\"1\"><include name=\"Category\"><ref>cat</ref></include>"
                           "<include name=\"Empty\"></include><data length=\"0\"></data></file>"),
                      &doc),
            0)
      << env.bc.last_error();
  ASSERT_EQ(doc->include_count, 1);  // an include with neither is dropped
  EXPECT_EQ(doc->includes[0].kind, kXmlIncludeRef);
  EXPECT_STREQ(doc->includes[0].file_name, "cat");
  ASSERT_NE(doc->includes[0].doc, nullptr);
  EXPECT_STREQ(xmldoc_prop_get(env.ctx(), doc->includes[0].doc, "Name"), "c");
  // Written back as the reference, not the referenced content.
  EXPECT_NE(write_text(env, doc).find("        <include name=\"Category\"><ref>cat</ref></include>\n"),
            std::string::npos);

  // A file that includes itself, and two that include each other.
  env.dir.write("self.xml", wrap("<file type=\"T\" version=\"1\"><include name=\"I\"><ref>self</ref></include>"
                                 "<data length=\"0\"></data></file>"));
  env.dir.write("a.xml", wrap("<file type=\"T\" version=\"1\"><include name=\"I\"><ref>b</ref></include>"
                              "<data length=\"0\"></data></file>"));
  env.dir.write("b.xml", wrap("<file type=\"T\" version=\"1\"><include name=\"I\"><ref>a</ref></include>"
                              "<data length=\"0\"></data></file>"));
  for (const char* name : {"self", "a"}) {
    Doc cyc;
    EXPECT_EQ(xmldoc_read(env.ctx(), name, 0, &cyc.d), -300);
    EXPECT_EQ(cyc.d, nullptr);
    EXPECT_NE(env.bc.last_error().find("includes itself"), std::string::npos);
  }
  // A missing referenced file fails the whole read with its result.
  Doc broken;
  EXPECT_EQ(read_text(env,
                      wrap("<file type=\"T\" version=\"1\"><include name=\"I\"><ref>gone</ref></include>"
                           "<data length=\"0\"></data></file>"),
                      &broken),
            -400);
  EXPECT_NE(env.bc.last_error().find("gone.xml"), std::string::npos);
}

TEST(Krxml, RecordsFillTrailingEmptiesAndEmptyOnesAreNotWritten) {
  Env env;
  Doc doc;
  ASSERT_EQ(xmldoc_create(env.ctx(), "T", "1.0", &doc.d), 0);
  ASSERT_EQ(xmldoc_column_add(env.ctx(), doc, "S", kXmlColString), 0);
  ASSERT_EQ(xmldoc_column_add(env.ctx(), doc, "N", kXmlColInt), 0);
  ASSERT_EQ(xmldoc_records_append_empty(env.ctx(), doc, 3), 0);
  EXPECT_EQ(xmldoc_column_add(env.ctx(), doc, "Late", kXmlColString), -1);
  EXPECT_EQ(write_text(env, doc).find("<record"), std::string::npos);
  EXPECT_NE(write_text(env, doc).find("<data length=\"0\">"), std::string::npos);

  ASSERT_EQ(xmldoc_record_add(env.ctx(), doc, "x", nullptr, nullptr), 0);  // fields never set
  EXPECT_EQ(doc->record_count, 3);
  EXPECT_STREQ(doc->records[0].key, "x");
  xmldoc_field wrong[2] = {};
  wrong[0].type = kXmlColInt;
  wrong[1].type = kXmlColInt;
  EXPECT_EQ(xmldoc_record_add(env.ctx(), doc, "y", nullptr, wrong), -1);
  xmldoc_field ok[2] = {};
  ok[0].type = kXmlColString;
  ok[0].text = const_cast<char*>("s");
  ok[1].type = kXmlColInt;
  ok[1].number = -7;
  ASSERT_EQ(xmldoc_record_add(env.ctx(), doc, "y", nullptr, ok), 0);
  EXPECT_STREQ(doc->records[1].key, "y");
  EXPECT_EQ(xmldoc_record_set(env.ctx(), doc, 3, "z", "v", ok), -1);

  std::string text = write_text(env, doc);
  EXPECT_NE(text.find("<record key=\"x\">\n                <field column=\"S\"></field>\n"
                      "                <field column=\"N\">0</field>\n            </record>"),
            std::string::npos);
  EXPECT_NE(text.find("<field column=\"N\">-7</field>"), std::string::npos);
  EXPECT_NE(text.find("<data length=\"2\">"), std::string::npos);

  // A short text is copied over the old one, a longer one gets new room.
  EXPECT_EQ(xmldoc_field_string_set(env.ctx(), doc, 1, 0, "t"), 0);
  EXPECT_STREQ(doc->records[1].fields[0].text, "t");
  EXPECT_EQ(xmldoc_field_string_set(env.ctx(), doc, 0, 0, "longer"), 0);
  EXPECT_STREQ(doc->records[0].fields[0].text, "longer");
  EXPECT_EQ(xmldoc_field_string_set(env.ctx(), doc, 0, 1, "no"), -1);  // an int column
  EXPECT_EQ(xmldoc_field_string_set(env.ctx(), doc, 2, 0, "no"), -1);  // an empty record
}

int32_t same_key(context*, const xmldoc_record* a, const xmldoc_record* b) { return std::strcmp(a->key, b->key) == 0; }

TEST(Krxml, SortAndDedupe) {
  Env env;
  Doc doc;
  ASSERT_EQ(xmldoc_create(env.ctx(), "T", "1.0", &doc.d), 0);
  for (const char* k : {"b", "\xc3\xa9", "a", "b", "a"}) ASSERT_EQ(xmldoc_record_add(env.ctx(), doc, k, nullptr, nullptr), 0);
  ASSERT_EQ(xmldoc_records_append_empty(env.ctx(), doc, 1), 0);
  EXPECT_EQ(xmldoc_records_dedupe(env.ctx(), doc, same_key), -5012);
  ASSERT_EQ(xmldoc_records_sort(env.ctx(), doc, nullptr), 0);
  EXPECT_STREQ(doc->records[0].key, "a");
  EXPECT_STREQ(doc->records[4].key, "\xc3\xa9");  // unsigned byte order
  EXPECT_EQ(doc->records[5].key, nullptr);        // empty records last
  EXPECT_EQ(xmldoc_records_dedupe(env.ctx(), doc, same_key), 111);
  EXPECT_EQ(write_text(env, doc), wrap("    <file type=\"T\" version=\"1.0\">\n        <data length=\"3\">\n"
                                       "            <record key=\"a\"></record>\n"
                                       "            <record key=\"b\"></record>\n"
                                       "            <record key=\"\xc3\xa9\"></record>\n"
                                       "        </data>\n    </file>\n"));
  EXPECT_EQ(xmldoc_records_dedupe(env.ctx(), doc, same_key), 0);
}

TEST(Krxml, PropertiesAndGroups) {
  Env env;
  Doc doc;
  ASSERT_EQ(xmldoc_create(env.ctx(), "A-very-long-document-type-name-over-31", "9.0.0.0.0.0.0.0.1", &doc.d), 0);
  EXPECT_EQ(std::strlen(doc->type), 31u);
  EXPECT_EQ(std::strlen(doc->version), 15u);
  ASSERT_EQ(xmldoc_prop_add_yes_no_grouped(env.ctx(), doc, "9.0", "Sort Words", 1, 0), 0);
  ASSERT_EQ(xmldoc_prop_add_grouped(env.ctx(), doc, "9.0", "Owner", "me"), 0);
  ASSERT_EQ(xmldoc_prop_add_yes_no(env.ctx(), doc, "Flag", 0, 1), 0);
  ASSERT_EQ(doc->include_count, 1);  // one group per version
  EXPECT_STREQ(doc->includes[0].name, "Properties");
  EXPECT_EQ(doc->includes[0].doc->prop_count, 2);
  EXPECT_STREQ(xmldoc_prop_get(env.ctx(), doc, "Owner"), "me");
  EXPECT_STREQ(xmldoc_prop_get(env.ctx(), doc, "Nope"), "");
  EXPECT_EQ(xmldoc_prop_exists(env.ctx(), doc, "Nope"), 0);
  int32_t flag = 5;
  EXPECT_EQ(xmldoc_prop_get_yes_no(env.ctx(), doc, "Sort Words", 0, &flag, nullptr), 0);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(xmldoc_prop_get_yes_no(env.ctx(), doc, "Flag", 1, &flag, nullptr), 0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(xmldoc_prop_get_yes_no(env.ctx(), doc, "Nope", 7, &flag, nullptr), 0);
  EXPECT_EQ(flag, 7);
  EXPECT_EQ(xmldoc_prop_get_yes_no(env.ctx(), doc, "Owner", 7, &flag, nullptr), -1);
  EXPECT_EQ(flag, 7);
  EXPECT_EQ(xmldoc_prop_set(env.ctx(), doc, "Owner", "you"), 0);
  EXPECT_STREQ(doc->includes[0].doc->props[1].value, "you");
  EXPECT_EQ(xmldoc_prop_set(env.ctx(), doc, "Nope", "x"), 0);
  EXPECT_EQ(xmldoc_prop_exists(env.ctx(), doc, "Nope"), 0);

  int32_t index = 9;
  EXPECT_EQ(xmldoc_column_find(env.ctx(), doc, "C", &index), -1);
  EXPECT_EQ(index, -1);
  // A document cannot include itself or one that holds it.
  EXPECT_EQ(xmldoc_include_add(env.ctx(), doc, "Me", kXmlIncludeInline, doc.d), -802);
  EXPECT_EQ(xmldoc_include_add(env.ctx(), doc->includes[0].doc, "Up", kXmlIncludeInline, doc.d), -802);
}

TEST(Krxml, CopyAndMove) {
  Env env;
  Doc doc;
  ASSERT_EQ(read_text(env, wrap(kCanonical), &doc), 0);
  Doc copy;
  ASSERT_EQ(xmldoc_copy(env.ctx(), &copy.d, doc), 0);
  EXPECT_EQ(write_text(env, copy), wrap(kCanonical));
  xmldoc* none = reinterpret_cast<xmldoc*>(1);
  EXPECT_EQ(xmldoc_copy(env.ctx(), &none, nullptr), 0);
  EXPECT_EQ(none, nullptr);
  Doc moved;
  ASSERT_EQ(xmldoc_includes_move(env.ctx(), &moved.d, copy), 0);
  EXPECT_EQ(copy->include_count, 0);
  ASSERT_EQ(moved->include_count, 1);
  EXPECT_STREQ(moved->type, "Vocabulary");
}

TEST(Krxml, IndentationStopsAt64) {
  Env env;
  Doc doc;
  ASSERT_EQ(xmldoc_create(env.ctx(), "L0", "1", &doc.d), 0);
  xmldoc* at = doc;
  for (int i = 1; i <= 12; ++i) {
    xmldoc* inner = nullptr;
    // Built with append: GCC 12 at -O2 and above warns falsely (-Wrestrict) on "literal" + temporary string.
    ASSERT_EQ(xmldoc_create(env.ctx(), std::string("L").append(std::to_string(i)).c_str(), "1", &inner), 0);
    ASSERT_EQ(xmldoc_include_add(env.ctx(), at, "I", kXmlIncludeInline, inner), 0);
    at = inner;
  }
  std::string text = write_text(env, doc);
  EXPECT_NE(text.find(std::string(64, ' ') + "<file type=\"L12\""), std::string::npos);
  EXPECT_EQ(text.find(std::string(65, ' ')), std::string::npos);
  Doc back;
  ASSERT_EQ(xmldoc_read(env.ctx(), env.path("out").c_str(), 0, &back.d), 0);
  EXPECT_EQ(write_text(env, back), text);
}

TEST(Krxml, FailedWriteLeavesThePreviousFile) {
  Env env;
  Doc doc;
  ASSERT_EQ(xmldoc_create(env.ctx(), "T", "1.0", &doc.d), 0);
  ASSERT_EQ(xmldoc_record_add(env.ctx(), doc, "k", "v", nullptr), 0);
  std::string before = write_text(env, doc);

  // An include of a kind the format lacks fails the write half way.
  xmldoc* odd = nullptr;
  ASSERT_EQ(xmldoc_create(env.ctx(), "U", "1.0", &odd), 0);
  ASSERT_EQ(xmldoc_include_add(env.ctx(), doc, "Odd", 3, odd), 0);
  EXPECT_EQ(xmldoc_write(env.ctx(), env.path("out").c_str(), 0, doc), -1);
  EXPECT_EQ(tq_test::read_file(env.dir / "out.xml"), before);
  int files = 0;
  for (const auto& e : fs::directory_iterator(env.dir.path())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1);  // no temporary file left behind

  // A folder that does not exist.
  EXPECT_EQ(xmldoc_write(env.ctx(), env.path("no/such/out").c_str(), 0, doc), -400);
}

TEST(Krxml, PlainNamesGoAlongTheSearchPath) {
  Env env;
  Doc doc;
  ASSERT_EQ(xmldoc_create(env.ctx(), "T", "1.0", &doc.d), 0);
  ASSERT_EQ(xmldoc_write(env.ctx(), "plain", 0, doc), 0);
  EXPECT_TRUE(fs::exists(env.dir / "plain.xml"));
  Doc back;
  ASSERT_EQ(xmldoc_read(env.ctx(), "plain", kXmlFlagSort, &back.d), 0);
  EXPECT_STREQ(back->type, "T");
  // With the name as given no extension is added.
  ASSERT_EQ(xmldoc_write(env.ctx(), env.path("raw.name").c_str(), kXmlFlagNameAsGiven, doc), 0);
  EXPECT_TRUE(fs::exists(env.dir / "raw.name"));
}

TEST(Krxml, NewerSectionsAreKeptAsideAndWrittenBack) {
  Env env;
  env.bc.ctx.edit_mode = 1;
  const std::string file = wrap(
      "    <file type=\"Locale\" version=\"9.0\">\n"
      "        <include name=\"Defn\">\n"
      "            <file type=\"Parse\" version=\"9.0\">\n"
      "                <property name=\"Name\">P1</property>\n"
      "                <include name=\"Future\">\n"
      "                    <file type=\"Extra\" version=\"9.1\">\n"
      "                        <data length=\"0\">\n"
      "                        </data>\n"
      "                    </file>\n"
      "                </include>\n"
      "                <include name=\"Now\">\n"
      "                    <file type=\"Extra\" version=\"9.0\">\n"
      "                        <data length=\"0\">\n"
      "                        </data>\n"
      "                    </file>\n"
      "                </include>\n"
      "                <data length=\"0\">\n"
      "                </data>\n"
      "            </file>\n"
      "        </include>\n"
      "        <data length=\"0\">\n"
      "        </data>\n"
      "    </file>\n");
  env.dir.write("loc.xml", file);
  tq_lock_handle lock{};
  lock.owner = env.ctx();
  Doc doc;
  ASSERT_EQ(xmldoc_read_for_edit(env.ctx(), "loc", 0, &lock, &doc.d), 0) << env.bc.last_error();
  EXPECT_TRUE(fs::exists(env.dir / "loc.xml.lck"));
  xmldoc* parse = doc->includes[0].doc;
  ASSERT_EQ(parse->include_count, 1);  // the 9.1 section is kept aside
  EXPECT_STREQ(parse->includes[0].name, "Now");

  // Written back, it follows its parent's includes; writing twice does
  // not double it, and the caller's document stays without it.
  ASSERT_EQ(xmldoc_write_locked(env.ctx(), 0, &lock, doc), 0);
  ASSERT_EQ(xmldoc_write_locked(env.ctx(), 0, &lock, doc), 0);
  EXPECT_EQ(parse->include_count, 1);
  std::string written = tq_test::read_file(env.dir / "loc.xml");
  EXPECT_NE(written.find("<include name=\"Now\">"), std::string::npos);
  EXPECT_LT(written.find("<include name=\"Now\">"), written.find("<include name=\"Future\">"));
  EXPECT_EQ(written.find("<include name=\"Future\">"), written.rfind("<include name=\"Future\">"));
  EXPECT_NE(written.find("version=\"9.1\""), std::string::npos);

  // A section whose path is gone is not written.
  std::strcpy(parse->includes[0].name, "x");
  ASSERT_EQ(xmldoc_prop_set(env.ctx(), parse, "Name", "P2"), 0);
  ASSERT_EQ(xmldoc_write_locked(env.ctx(), 0, &lock, doc), 0);
  EXPECT_EQ(tq_test::read_file(env.dir / "loc.xml").find("9.1"), std::string::npos);
  ASSERT_EQ(lock_release_all(env.ctx(), &lock), 0);
  EXPECT_FALSE(fs::exists(env.dir / "loc.xml.lck"));

  // A document newer than the engine is refused, and its lock released.
  env.dir.write("new.xml", wrap("<file type=\"T\" version=\"10.0\"><data length=\"0\"></data></file>"));
  Doc newer;
  EXPECT_EQ(xmldoc_read_for_edit(env.ctx(), "new", 0, &lock, &newer.d), -705);
  EXPECT_EQ(newer.d, nullptr);
  EXPECT_EQ(lock.held, 0u);
  EXPECT_FALSE(fs::exists(env.dir / "new.xml.lck"));
  EXPECT_NE(env.bc.last_error().find("10.0"), std::string::npos);
  EXPECT_EQ(xmldoc_write_locked(env.ctx(), 0, &lock, doc), -603);
}

TEST(Krxml, FileCreateLocksAndKeepsTheFile) {
  Env env;
  env.dir.write("res.xml", "precious");
  tq_test::BareContext other(env.dir.str());
  tq_lock_handle theirs{};
  theirs.owner = other.get();
  ASSERT_EQ(lock_file_create(other.get(), "res", kFioKindXml, &theirs, nullptr, 0), 0);

  tq_lock_handle mine{};
  mine.owner = env.ctx();
  EXPECT_EQ(xmldoc_file_create(env.ctx(), nullptr, "res", 0, &mine), -401);
  EXPECT_EQ(tq_test::read_file(env.dir / "res.xml"), "precious");
  lock_release_all(other.get(), &theirs);
  lock_table_free(other.get());

  // The file stays as it is until a save replaces it.
  EXPECT_EQ(xmldoc_file_create(env.ctx(), nullptr, "res", 0, &mine), 0);
  EXPECT_EQ(tq_test::read_file(env.dir / "res.xml"), "precious");
  EXPECT_EQ(xmldoc_file_create(env.ctx(), env.dir.str().c_str(), "fresh", kXmlFlagVault, &mine), 0);
  EXPECT_TRUE(fs::exists(env.dir / "fresh.zel"));
  lock_release_all(env.ctx(), &mine);
}

TEST(Krxml, VersionComparison) {
  EXPECT_EQ(xmldoc_version_is_newer("9.0"), 0);
  EXPECT_EQ(xmldoc_version_is_newer("9"), 0);
  EXPECT_EQ(xmldoc_version_is_newer("9.00"), 0);
  EXPECT_EQ(xmldoc_version_is_newer("7.0"), 0);
  EXPECT_EQ(xmldoc_version_is_newer("9.1"), 1);
  EXPECT_EQ(xmldoc_version_is_newer("9.01"), 1);
  EXPECT_EQ(xmldoc_version_is_newer("10.0"), 1);
  EXPECT_EQ(xmldoc_version_is_newer("8.9"), 0);
}

}  // namespace

namespace {

// Files c0 .. cN: each but the last names the next one twice, the last has
// the property Name. Read whole each time, that is 2^N reads.
void write_double_chain(Env& env, int n) {
  for (int i = 0; i < n; ++i) {
    std::string next = "c" + std::to_string(i + 1);
    env.dir.write("c" + std::to_string(i) + ".xml",
                  wrap("<file type=\"T\" version=\"1\"><include name=\"A\"><ref>" + next +
                       "</ref></include><include name=\"B\"><ref>" + next +
                       "</ref></include><data length=\"0\"></data></file>"));
  }
  env.dir.write("c" + std::to_string(n) + ".xml",
                wrap("<file type=\"Leaf\" version=\"1\"><property name=\"Name\">end</property>"
                     "<data length=\"1\"><record key=\"k\"><value>v</value></record></data></file>"));
}

TEST(Krxml, AFileReferencedTwiceIsReadOnce) {
  constexpr int kDepth = 24;  // 16 million reads if each reference read its file
  Env env;
  write_double_chain(env, kDepth);
  Doc doc;
  ASSERT_EQ(xmldoc_read(env.ctx(), "c0", 0, &doc.d), 0) << env.bc.last_error();

  // Both includes hold the same document, which is what each of them would
  // hold when read apart.
  auto walk = [](const xmldoc* at) {
    for (int i = 0; i < kDepth; ++i) {
      if (at->include_count != 2 || at->includes[0].doc == nullptr) return std::string("bad at ") + std::to_string(i);
      const xmldoc_include& a = at->includes[0];
      const xmldoc_include& b = at->includes[1];
      if (a.kind != kXmlIncludeRef || b.kind != kXmlIncludeRef || a.doc != b.doc ||
          std::strcmp(a.file_name, ("c" + std::to_string(i + 1)).c_str()) != 0) {
        return std::string("unshared at ") + std::to_string(i);
      }
      at = a.doc;
    }
    return std::string(at->type) + " " + xmldoc_prop_get(nullptr, at, "Name") + " " + at->records[0].key;
  };
  EXPECT_EQ(walk(doc), "Leaf end k");

  // A copy keeps the sharing; freeing either leaves the other whole.
  Doc copy;
  ASSERT_EQ(xmldoc_copy(env.ctx(), &copy.d, doc), 0);
  xml_free(nullptr, doc.d);
  doc.d = nullptr;
  EXPECT_EQ(walk(copy), "Leaf end k");
  // Written back as its two references.
  std::string text = write_text(env, copy);
  EXPECT_NE(text.find("<include name=\"A\"><ref>c1</ref></include>\n        <include name=\"B\"><ref>c1</ref></include>"),
            std::string::npos);
  // Included into another document: the loop check looks through each
  // shared document once.
  Doc outer;
  ASSERT_EQ(xmldoc_create(env.ctx(), "Outer", "1", &outer.d), 0);
  ASSERT_EQ(xmldoc_include_add(env.ctx(), outer, "Chain", kXmlIncludeInline, copy.d), 0);
  xmldoc* chain = copy.d;
  copy.d = nullptr;
  EXPECT_EQ(xmldoc_include_add(env.ctx(), chain, "Loop", kXmlIncludeInline, outer.d), -802);

  // Another name for a file already read (a link) is the same file.
  fs::create_symlink("c2.xml", env.dir / "alias.xml");
  env.dir.write("two.xml", wrap("<file type=\"T\" version=\"1\"><include name=\"A\"><ref>c2</ref></include>"
                                "<include name=\"B\"><ref>alias</ref></include><data length=\"0\"></data></file>"));
  Doc two;
  ASSERT_EQ(xmldoc_read(env.ctx(), "two", 0, &two.d), 0) << env.bc.last_error();
  EXPECT_EQ(two->includes[0].doc, two->includes[1].doc);
  EXPECT_STREQ(two->includes[1].file_name, "alias");

  // A file met again deeper down nests as deep as it would read afresh
  // there: d0 holds 39 levels below it; met again under m0 .. m<k>.
  auto chain_file = [&](const std::string& name, const std::string& next) {
    std::string inc = next.empty() ? "" : "<include name=\"N\"><ref>" + next + "</ref></include>";
    env.dir.write(name + ".xml", wrap("<file type=\"T\" version=\"1\">" + inc + "<data length=\"0\"></data></file>"));
  };
  for (int i = 0; i < 40; ++i) chain_file("d" + std::to_string(i), i < 39 ? "d" + std::to_string(i + 1) : "");
  for (int k : {4, 29}) {
    for (int i = 0; i <= k; ++i) chain_file("m" + std::to_string(i), i < k ? "m" + std::to_string(i + 1) : "d0");
    env.dir.write("top.xml", wrap("<file type=\"T\" version=\"1\"><include name=\"A\"><ref>d0</ref></include>"
                                  "<include name=\"B\"><ref>m0</ref></include><data length=\"0\"></data></file>"));
    Doc top;
    Doc alone;
    int32_t expected = k == 4 ? 0 : -300;
    EXPECT_EQ(xmldoc_read(env.ctx(), "top", 0, &top.d), expected) << k;
    EXPECT_EQ(xmldoc_read(env.ctx(), "m0", 0, &alone.d), expected) << k;
  }
}

TEST(Krxml, SearchSkipsWhatIsNoFileAndRewritesKeepLinksAndModes) {
  Env env;
  tq_test::TempDir second;
  std::string search = env.dir.str() + ";" + second.str();
  ASSERT_EQ(path_list_set(env.ctx(), env.ctx()->search_path, search.c_str()), 0);
  // In the first folder a folder and a pipe carry the names; the files are
  // in the second.
  fs::create_directories(env.dir / "d.xml");
  ASSERT_EQ(::mkfifo((env.dir / "p.xml").c_str(), 0600), 0);
  for (const char* name : {"d", "p"}) {
    second.write(std::string(name) + ".xml", wrap("<file type=\"T\" version=\"1\"><data length=\"0\"></data></file>"));
    Doc found;
    EXPECT_EQ(xmldoc_read(env.ctx(), name, 0, &found.d), 0) << name << ": " << env.bc.last_error();
  }

  // A document written through a link replaces the file the link names,
  // with that file's permissions.
  Doc doc;
  ASSERT_EQ(xmldoc_create(env.ctx(), "T", "1.0", &doc.d), 0);
  second.write("real.xml", "old");
  fs::permissions(second / "real.xml", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(second / "real.xml", env.dir / "out.xml");
  std::string text = write_text(env, doc);
  EXPECT_TRUE(fs::is_symlink(env.dir / "out.xml"));
  EXPECT_EQ(tq_test::read_file(second / "real.xml"), text);
  EXPECT_EQ(fs::status(second / "real.xml").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  // A loop of links is refused.
  fs::create_symlink("loop.xml", env.dir / "loop.xml");
  EXPECT_EQ(xmldoc_write(env.ctx(), env.path("loop").c_str(), 0, doc), -400);
}

}  // namespace

// The line cipher, whole-text Base64 and the form of vault files.
#include <cstring>
#include <string>
#include <vector>

#include "kbstore/krvlt.h"
#include "kbstore/krxml.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;

std::string encode_all(cipher_state* st, const std::string& text) {
  std::string out;
  char line[kCipherLineSize];
  size_t off = 0;
  while (off < text.size()) {
    int32_t ready = 0;
    off += static_cast<size_t>(cipher_line_encode(st, text.data() + off, static_cast<uint32_t>(text.size() - off), line, &ready));
    if (ready) out += line;
  }
  int32_t ready = 0;
  cipher_line_encode(st, nullptr, 0, line, &ready);
  if (ready) out += line;
  return out;
}

TEST(Cipher, PublishedRc4Vector) {
  // RC4 with key "Wiki" turns "pedia" into 10 21 BF 04 20.
  cipher_state st;
  cipher_key_setup_with(&st, reinterpret_cast<const uint8_t*>("Wiki"), 4);
  EXPECT_EQ(encode_all(&st, "pedia"), "ECG/BCA=\r\n");
  cipher_key_setup_with(&st, reinterpret_cast<const uint8_t*>("Wiki"), 4);
  char out[kCipherDecodedSize];
  ASSERT_EQ(cipher_line_decode(&st, "ECG/BCA=", out), 5);
  EXPECT_STREQ(out, "pedia");
}

TEST(Cipher, LineShapes) {
  cipher_state st;
  cipher_key_setup(&st);
  std::string full = encode_all(&st, std::string(54, 'x'));
  EXPECT_EQ(full.size(), 74u);  // one line of 72 and CR LF, no second line
  EXPECT_EQ(full.substr(72), "\r\n");
  EXPECT_EQ(full.find('='), std::string::npos);

  cipher_key_setup(&st);
  std::string one = encode_all(&st, "a");
  EXPECT_EQ(one.size(), 6u);
  EXPECT_EQ(one.substr(2), "==\r\n");
  cipher_key_setup(&st);
  std::string two = encode_all(&st, "ab");
  EXPECT_EQ(two.substr(3), "=\r\n");

  // Each line continues the keystream; characters past 72 are ignored.
  std::string text(100, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('A' + i % 26);
  cipher_key_setup(&st);
  std::string lines = encode_all(&st, text);
  ASSERT_EQ(lines.size(), 74u + 66u);
  cipher_key_setup(&st);
  char out[kCipherDecodedSize];
  std::string first = lines.substr(0, 72) + "JUNKJUNK";
  ASSERT_EQ(cipher_line_decode(&st, first.c_str(), out), 54);
  std::string back(out, 54);
  ASSERT_EQ(cipher_line_decode(&st, lines.substr(74, 64).c_str(), out), 46);
  back.append(out, 46);
  EXPECT_EQ(back, text);
}

TEST(Cipher, WholeTextBase64) {
  char buf[64];
  EXPECT_EQ(cipher_base64_encode("Man", buf, sizeof buf), 4);
  EXPECT_STREQ(buf, "TWFu");
  EXPECT_EQ(cipher_base64_encode("Ma", buf, sizeof buf), 4);
  EXPECT_STREQ(buf, "TWE=");
  std::strcpy(buf, "M");
  EXPECT_EQ(cipher_base64_encode(buf, buf, sizeof buf), 4);  // in place
  EXPECT_STREQ(buf, "TQ==");
  EXPECT_EQ(cipher_base64_decode(buf, buf, sizeof buf), 1);
  EXPECT_STREQ(buf, "M");
  EXPECT_EQ(cipher_base64_encode("\xc3\xa9t\xc3\xa9", buf, 5), 4);  // at most size - 1 characters
  EXPECT_STREQ(buf, "w6l0");
  EXPECT_EQ(cipher_base64_decode("w6l0w6k=", buf, sizeof buf), 5);
  EXPECT_STREQ(buf, "\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(cipher_base64_decode("w6l0w6k=", buf, 3), 2);
}

struct Env {
  tq_test::TempDir dir;
  tq_test::BareContext bc{dir.str()};
  context* ctx() { return bc.get(); }
  std::string path(const std::string& n) const { return (dir / n).string(); }
};

std::string write_vault(Env& env, const char* type, const char* name, bool with_record) {
  xmldoc* doc = nullptr;
  EXPECT_EQ(xmldoc_create(env.ctx(), type, type[0] == 'V' ? "9.0" : "1.0", &doc), 0);
  if (with_record) {
    xmldoc_prop_add(env.ctx(), doc, "Name", "A&B");
    xmldoc_record_add(env.ctx(), doc, "K1", "v<1>", nullptr);
  }
  EXPECT_EQ(xmldoc_write(env.ctx(), env.path(name).c_str(), kXmlFlagVault, doc), 0) << env.bc.last_error();
  xml_free(env.ctx(), doc);
  return tq_test::read_file(env.dir / (std::string(name) + ".zel"));
}

std::vector<std::string> crlf_lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back(text.substr(at) + "<no CR LF>");
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

std::string unbase64(const std::string& text) {
  std::string all;
  for (const std::string& line : crlf_lines(text)) {
    std::vector<char> buf(line.size() + 1);
    int32_t n = cipher_base64_decode(line.c_str(), buf.data(), static_cast<uint32_t>(buf.size()));
    all.append(buf.data(), static_cast<size_t>(n));
  }
  return all;
}

TEST(Vault, FileForms) {
  Env env;
  std::string empty = write_vault(env, "T", "t", false);
  EXPECT_EQ(empty.size(), 248u);
  auto lines = crlf_lines(empty);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].size(), 72u);
  EXPECT_EQ(lines[2].size(), 72u);
  EXPECT_EQ(lines[3].size(), 24u);
  EXPECT_EQ(empty.find('='), std::string::npos);

  std::string full = write_vault(env, "Vocabulary", "v", true);
  EXPECT_EQ(full.size(), 416u);
  lines = crlf_lines(full);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[5].size(), 44u);
  EXPECT_EQ(lines[5].find('='), 43u);

  // The keystream starts afresh for every file: two documents that differ
  // in one byte differ in that one byte of the enciphered stream.
  std::string a = unbase64(write_vault(env, "T", "a", false));
  std::string b = unbase64(write_vault(env, "U", "b", false));
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(static_cast<uint8_t>(a[i] ^ b[i]), i == 99 ? 1u : 0u) << i;
  }
}

TEST(Vault, ReadBackAndRewriteIdentically) {
  Env env;
  std::string first = write_vault(env, "Vocabulary", "v", true);
  xmldoc* doc = nullptr;
  ASSERT_EQ(xmldoc_read(env.ctx(), env.path("v").c_str(), kXmlFlagVault, &doc), 0) << env.bc.last_error();
  EXPECT_STREQ(xmldoc_prop_get(env.ctx(), doc, "Name"), "A&B");
  ASSERT_EQ(xmldoc_write(env.ctx(), env.path("w").c_str(), kXmlFlagVault, doc), 0);
  EXPECT_EQ(tq_test::read_file(env.dir / "w.zel"), first);
  xml_free(env.ctx(), doc);

  // Lines ending in LF alone, and junk past character 72, read the same.
  std::string relaxed;
  for (const std::string& line : crlf_lines(first)) relaxed += line + (line.size() == 72 ? "JUNK\n" : "\n");
  env.dir.write("lf.zel", relaxed);
  ASSERT_EQ(xmldoc_read(env.ctx(), env.path("lf").c_str(), kXmlFlagVault, &doc), 0) << env.bc.last_error();
  ASSERT_EQ(doc->record_count, 1);
  EXPECT_STREQ(doc->records[0].value, "v<1>");
  xml_free(env.ctx(), doc);

  // The older extension is found when there is no "zel".
  env.dir.write("old.krd", first);
  ASSERT_EQ(xmldoc_read(env.ctx(), "old", kXmlFlagVault, &doc), 0);
  xml_free(env.ctx(), doc);
}

TEST(Vault, FormatErrorsAreContentErrors) {
  Env env;
  std::string bad = "<?xml version=\"1.0\"?>\n<krxml><file type=\"T\"></file></krxml>\n";
  cipher_state st;
  cipher_key_setup(&st);
  env.dir.write("bad.zel", encode_all(&st, bad));
  xmldoc* doc = nullptr;
  EXPECT_EQ(xmldoc_read(env.ctx(), "bad", kXmlFlagVault, &doc), -300);
  EXPECT_EQ(doc, nullptr);
  EXPECT_NE(env.bc.last_error().find("bad.zel' at line 2, column "), std::string::npos) << env.bc.last_error();
  EXPECT_NE(env.bc.last_error().find(": file without a version."), std::string::npos) << env.bc.last_error();

  env.dir.write("junk.zel", "not base64 at all\r\n");
  EXPECT_EQ(xmldoc_read(env.ctx(), "junk", kXmlFlagVault, &doc), -300);

  // A reference to an entity the document does not define would read as
  // nothing.
  const std::string entity =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE krxml SYSTEM \"krxml.dtd\">\n<krxml><file type=\"T\" version=\"1\">"
      "<data length=\"1\">\n<record key=\"k\"><value>ACME &undefined; CORP</value></record></data></file></krxml>\n";
  cipher_key_setup(&st);
  env.dir.write("entity.zel", encode_all(&st, entity));
  EXPECT_EQ(xmldoc_read(env.ctx(), "entity", kXmlFlagVault, &doc), -300);
  EXPECT_EQ(doc, nullptr);
  EXPECT_NE(env.bc.last_error().find("entity.zel' at line 4, column 29: "), std::string::npos) << env.bc.last_error();
  EXPECT_NE(env.bc.last_error().find("&undefined;."), std::string::npos) << env.bc.last_error();
}

TEST(Vault, ResourceHeaderAndNameStopColumns) {
  Env env;
  xmldoc* doc = nullptr;
  ASSERT_EQ(xmldoc_create(env.ctx(), "T", "1.0", &doc), 0);
  vault_info info;
  vault_info_set(&info, "Obj", "Desc");
  ASSERT_EQ(vault_info_write(doc, &info), 0);
  vault_info back;
  vault_info_clear(&back);
  vault_info_read(doc, &back);
  EXPECT_STREQ(back.name, "Obj");
  EXPECT_STREQ(back.description, "Desc");
  EXPECT_STREQ(doc->props[0].name, "Vault Object Name");
  std::string longer(1100, 'x');
  vault_info_set(&info, longer.c_str(), "");
  EXPECT_EQ(std::strlen(info.name), 1024u);

  xmldoc_field* pairs = nullptr;
  int32_t capacity = 0;
  int32_t count = 0;
  ASSERT_EQ(xmldoc_name_stop_columns_add(env.ctx(), doc, 0, &pairs, &capacity, &count), 0);
  EXPECT_EQ(count, 2);
  EXPECT_GE(capacity, 2);
  xmldoc_name_stop_fields_set(env.ctx(), "Street Words", 1, 0, pairs);
  ASSERT_EQ(xmldoc_record_add(env.ctx(), doc, nullptr, nullptr, pairs), 0);
  EXPECT_STREQ(doc->records[0].fields[0].text, "Street Words");
  EXPECT_EQ(doc->records[0].fields[1].number, 1);
  std::free(pairs);
  xml_free(env.ctx(), doc);
}

}  // namespace

namespace {

// A stand-in for the vocabulary's compiled-file header.
struct FakeHeader {
  std::string name = "N";
  std::string desc = "D";
  std::string iso = "ENUSA";
  int writes = 0;
};

int32_t fake_open(context*, const char* path, const fio_place*, void** header) {
  if (std::strcmp(path, "w") != 0) return -400;
  *header = new FakeHeader;
  return 0;
}
int32_t fake_write(context*, void* header, const fio_place&) {
  static_cast<FakeHeader*>(header)->writes++;
  return 0;
}
void fake_free(void* header) { delete static_cast<FakeHeader*>(header); }
void fake_fields(const void* header, const char** name, const char** desc, int32_t* locale) {
  const auto* h = static_cast<const FakeHeader*>(header);
  *name = h->name.c_str();
  *desc = h->desc.c_str();
  *locale = 29840;
}
void fake_vault_set(void* header, const char* name, const char* desc) {
  auto* h = static_cast<FakeHeader*>(header);
  h->name = name;
  h->desc = desc;
}
int32_t fake_locale_get(context*, const void* header, locale_info* out) {
  std::strcpy(out->iso, static_cast<const FakeHeader*>(header)->iso.c_str());
  return 0;
}
int32_t fake_locale_set(context*, void* header, const char* iso) {
  static_cast<FakeHeader*>(header)->iso = iso;
  return 0;
}

TEST(Vault, CompiledVocabularyHandlesGoThroughTheLentOperations) {
  Env env;
  tq_vault_file* h = nullptr;
  EXPECT_EQ(zel_vlt_file_open(env.ctx(), "w", kVaultKindVocabulary, &h), -700);  // nothing lent yet
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(zel_vlt_file_close(env.ctx(), h), 0);

  static const vault_vocab_ops ops = {fake_open,       fake_write,     fake_free,      fake_fields,
                                      fake_vault_set, fake_locale_get, fake_locale_set};
  vault_vocab_ops_set(&ops);
  ASSERT_EQ(zel_vlt_file_open(env.ctx(), "w", kVaultKindVocabulary, &h), 0);
  char text[kVaultTextMax + 1];
  ASSERT_EQ(zel_vlt_file_obj_name_get(env.ctx(), h, text), 0);
  EXPECT_STREQ(text, "N");
  ASSERT_EQ(zel_vlt_file_desc_set(env.ctx(), h, "New"), 0);
  ASSERT_EQ(zel_vlt_file_desc_get(env.ctx(), h, text), 0);
  EXPECT_STREQ(text, "New");
  ASSERT_EQ(zel_vlt_file_obj_name_get(env.ctx(), h, text), 0);
  EXPECT_STREQ(text, "N");
  int32_t code = 0;
  ASSERT_EQ(zel_vlt_file_locale_get(env.ctx(), h, &code), 0);
  EXPECT_EQ(code, 29840);
  EXPECT_EQ(zel_vlt_file_stdtype_get(env.ctx(), h, &code), -1);
  ASSERT_EQ(locale_props_noload_set(env.ctx(), h, "DEDEU"), 0);
  ASSERT_EQ(locale_props_noload_get(env.ctx(), h, text), 0);
  EXPECT_STREQ(text, "DEDEU");
  // Only opened, it holds no lock: nothing to write to.
  EXPECT_EQ(zel_vlt_file_write(env.ctx(), h), -603);
  EXPECT_EQ(static_cast<FakeHeader*>(h->vocab_header)->writes, 0);
  EXPECT_EQ(zel_vlt_file_close(env.ctx(), h), 0);
  vault_vocab_ops_set(nullptr);
}

}  // namespace

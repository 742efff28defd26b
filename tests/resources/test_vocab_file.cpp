// Compiled vocabulary files: exact bytes, read-back, damaged and cut files,
// and the header object.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kbstore/krvlt.h"
#include "kbstore/krxml.h"
#include "resources/krvcld.h"
#include "resources/krrsacc.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;

std::string b64(const std::string& text) {
  std::vector<char> out(text.size() * 2 + 8);
  cipher_base64_encode(text.c_str(), out.data(), static_cast<uint32_t>(out.size()));
  return out.data();
}

std::string hex8(uint32_t v) {
  char out[9];
  hex8_format(v, out);
  return out;
}

std::string padded(std::string text, size_t size, char pad = ' ') {
  text.resize(size, pad);
  return text;
}

// The locale block the compiler writes for ENUSA: the substituted ISO code,
// its terminator, spaces.
std::string enusa_block() {
  std::string iso = "ENUSA";
  vocab_locale_code_substitute(reinterpret_cast<unsigned char*>(iso.data()), 5);
  return padded(iso + std::string(1, '\0'), kVocabLocaleBlockSize);
}

// The small vocabulary: category AA "Aye", word MAIN (AA 50), ENUSA.
vocab_rec* small_vocab(context* ctx) {
  vocab_rec* v = nullptr;
  EXPECT_EQ(vocab_rec_create(&v), 0);
  EXPECT_EQ(vocab_clear(v, 1, 1), 0);
  EXPECT_EQ(category_intern(ctx, &v->categories[0], "AA", "Aye"), 0);
  vocab_pair pair{0, 50};
  EXPECT_EQ(vocab_word_set(v, 0, "MAIN", 1, &pair), 0);
  v->locale.code = 29840;
  std::strcpy(v->locale.iso, "ENUSA");
  std::strcpy(v->locale.description, "English (United States)");
  return v;
}

struct Files {
  tq_test::TempDir dir;
  tq_test::BareContext bc{dir.str()};
  context* ctx() { return bc.get(); }
  std::string path(const std::string& name) { return (dir / name).string(); }
  // Reads a compiled file of the folder into a vocabulary.
  int32_t load(const std::string& stem, vocab_rec** out) {
    return vocab_read_file(ctx(), path(stem).c_str(), kVocabFormCompiled, nullptr, out);
  }
};

const std::string kSmallFile = hex8(1) + hex8(1) + hex8(14) + hex8(24) + std::string("QUE=\0QXll\0    ", 14) +
                               std::string("00000032TUFJTg==\0QUE=\0  ", 24) + hex8(29840) + hex8(0) +
                               enusa_block() + hex8(13) + std::string(2048, '\0');

TEST(VocabFile, SmallVocabularyByteForByte) {
  Files f;
  vocab_rec* v = small_vocab(f.ctx());
  EXPECT_EQ(vocab_write(v, nullptr, f.ctx(), f.path("v1").c_str(), kVocabFormCompiled), 0);
  vocab_rec_destroy(v);
  const std::string bytes = tq_test::read_file(f.dir / "v1.zev");
  EXPECT_EQ(bytes.size(), 2229u);
  EXPECT_EQ(bytes, kSmallFile);

  vocab_rec* back = nullptr;
  ASSERT_EQ(f.load("v1", &back), 0) << f.bc.last_error();
  EXPECT_EQ(back->word_count, 1u);
  EXPECT_STREQ(back->words[0].text, "MAIN");
  ASSERT_EQ(back->words[0].category_count, 1u);
  EXPECT_EQ(back->words[0].pairs[0].likelihood, 50);
  EXPECT_STREQ(back->categories[0].name, "AA");
  EXPECT_STREQ(back->categories[0].description, "Aye");
  EXPECT_EQ(back->locale.code, 29840);
  EXPECT_STREQ(back->locale.iso, "ENUSA");
  EXPECT_STREQ(back->locale.description, "English (United States)");
  vocab_rec_destroy(back);
}

TEST(VocabFile, EmptyVocabularyByteForByte) {
  Files f;
  vocab_rec* v = nullptr;
  ASSERT_EQ(vocab_rec_create(&v), 0);
  v->locale.code = 29840;
  std::strcpy(v->locale.iso, "ENUSA");
  std::strcpy(v->locale.description, "English (United States)");
  std::strcpy(v->vault.name, "Object");
  EXPECT_EQ(vocab_write(v, nullptr, f.ctx(), f.path("empty.zev").c_str(), kVocabFormCompiled), 0);
  vocab_rec_destroy(v);
  const std::string bytes = tq_test::read_file(f.dir / "empty.zev");
  const std::string expected = hex8(0) + hex8(0) + hex8(8) + hex8(16) + hex8(29840) + hex8(0) + enusa_block() +
                               hex8(13) + padded("Object", 1024, '\0') + std::string(1024, '\0');
  EXPECT_EQ(bytes.size(), 2191u);
  EXPECT_EQ(bytes, expected);
  vocab_rec* back = nullptr;
  ASSERT_EQ(f.load("empty", &back), 0) << f.bc.last_error();
  EXPECT_EQ(back->word_count, 0u);
  EXPECT_EQ(back->category_count, 0u);
  EXPECT_STREQ(back->vault.name, "Object");
  vocab_rec_destroy(back);
}

TEST(VocabFile, RecordSizesFitTheLongestTexts) {
  // Lengths of 1 modulo 3 leave no slack in the record sizes; 1,024-byte
  // words and 128-byte abbreviations are the largest a vocabulary holds.
  for (size_t word_len : {1u, 4u, 7u, 767u, 768u, 769u, 1024u}) {
    Files f;
    vocab_rec* v = nullptr;
    ASSERT_EQ(vocab_rec_create(&v), 0);
    ASSERT_EQ(vocab_clear(v, 2, 2), 0);
    const std::string abbrev(word_len % 2 ? 128 : 97, 'C');
    ASSERT_EQ(category_intern(f.ctx(), &v->categories[0], abbrev.c_str(), std::string(256, 'n').c_str()), 0);
    ASSERT_EQ(category_intern(f.ctx(), &v->categories[1], "B", "b"), 0);
    vocab_pair pairs[2] = {{0, 10}, {1, 90}};
    const std::string word(word_len, '\xC3');
    ASSERT_EQ(vocab_word_set(v, 0, word.c_str(), 2, pairs), 0);
    ASSERT_EQ(vocab_word_set(v, 1, "Z", 1, &pairs[1]), 0);
    v->locale.code = 3710;  // AFZAF
    std::strcpy(v->locale.iso, "AFZAF");
    std::strcpy(v->locale.description, "Afrikaans (South Africa)");
    ASSERT_EQ(vocab_sort(v), 0);
    ASSERT_EQ(vocab_write(v, nullptr, f.ctx(), f.path("big").c_str(), kVocabFormCompiled), 0) << word_len;
    vocab_rec_destroy(v);
    vocab_rec* back = nullptr;
    ASSERT_EQ(f.load("big", &back), 0) << word_len << f.bc.last_error();
    ASSERT_EQ(back->word_count, 2u);
    // "Z" sorts before the lead bytes 0xC3.
    EXPECT_TRUE(std::string(back->words[1].text) == word) << word_len;
    EXPECT_EQ(back->words[1].category_count, 2u);
    EXPECT_EQ(std::string(back->categories[1].name), abbrev);
    vocab_rec_destroy(back);
  }
}

TEST(VocabFile, CutFilesGiveClearCodes) {
  Files f;
  // Every cut of the small file: the header and records give -300, the
  // locale fields -200; a file that ends after the locale block takes the
  // locale's default encoding, which for ENUSA is a legacy one (-700).
  for (size_t n = 0; n < kSmallFile.size(); ++n) {
    f.dir.write("cut.zev", kSmallFile.substr(0, n));
    vocab_rec* v = nullptr;
    const int32_t rc = f.load("cut", &v);
    int32_t expected = 0;
    if (n < 70) {
      expected = -300;
    } else if (n < 70 + 16 + 87) {
      expected = -200;
    } else if (n < 70 + 16 + 87 + 8) {
      expected = -700;
    }
    EXPECT_EQ(rc, expected) << "cut at " << n;
    if (rc == 0) {
      EXPECT_EQ(v->word_count, 1u);
      EXPECT_STREQ(v->vault.name, "");
    }
    vocab_rec_destroy(v);
  }
  // A locale whose default encoding is UTF-8 reads a file without the
  // encoding field.
  std::string afzaf = kSmallFile.substr(0, 70) + hex8(3710) + hex8(0) + enusa_block();
  f.dir.write("old.zev", afzaf);
  vocab_rec* v = nullptr;
  ASSERT_EQ(f.load("old", &v), 0) << f.bc.last_error();
  EXPECT_STREQ(v->locale.iso, "AFZAF");
  EXPECT_STREQ(v->words[0].text, "MAIN");
  vocab_rec_destroy(v);
}

TEST(VocabFile, DamagedFilesAreRefused) {
  Files f;
  const std::string tail = hex8(29840) + hex8(0) + enusa_block() + hex8(13);
  struct Case {
    const char* what;
    std::string bytes;
    int32_t rc;
  };
  const std::vector<Case> cases = {
      {"counts beyond the file", hex8(0xFFFFFFFF) + hex8(0xFFFFFFFF) + hex8(0xFFFFFFFF) + hex8(0xFFFFFFFF) + tail,
       -300},
      {"records of size 0", hex8(1) + hex8(0) + hex8(0) + hex8(16) + tail, -300},
      {"no terminator", hex8(1) + hex8(0) + hex8(6) + hex8(16) + "QUE=QX" + tail, -300},
      {"one terminator", hex8(1) + hex8(0) + hex8(6) + hex8(16) + std::string("QUE=\0X", 6) + tail, -300},
      {"entry shorter than its likelihood", hex8(0) + hex8(1) + hex8(8) + hex8(4) + std::string("00\0\0", 4) + tail,
       -300},
      {"legacy encoding", hex8(0) + hex8(0) + hex8(8) + hex8(16) + hex8(29840) + hex8(0) + enusa_block() + hex8(0),
       -700},
      {"word over 1,024 bytes",
       hex8(1) + hex8(1) + hex8(20) + hex8(1400) + padded(std::string("QQ==\0QQ==\0", 10), 20) +
           padded("00000032" + b64(std::string(1025, 'w')) + std::string(1, '\0') + "QQ==" + std::string(1, '\0'),
                  1400) +
           tail,
       -300},
      {"unknown category", hex8(1) + hex8(1) + hex8(20) + hex8(40) + padded(std::string("QQ==\0QQ==\0", 10), 20) +
                               padded("00000032" + b64("W") + std::string(1, '\0') + b64("B") + std::string(1, '\0'),
                                      40) +
                               tail,
       -300},
      {"locale outside the table", hex8(0) + hex8(0) + hex8(8) + hex8(16) + hex8(12345) + hex8(0) + enusa_block() +
                                       hex8(13),
       -300},
  };
  for (const Case& c : cases) {
    f.dir.write("bad.zev", c.bytes);
    vocab_rec* v = nullptr;
    EXPECT_EQ(f.load("bad", &v), c.rc) << c.what << ": " << f.bc.last_error();
    EXPECT_EQ(v, nullptr);
  }
  vocab_rec* v = nullptr;
  EXPECT_EQ(f.load("missing", &v), -400);

  // Numbers: upper-case digits only; anything else counts as 0.
  EXPECT_EQ(hex8_parse(reinterpret_cast<const unsigned char*>("0000000a")), 0u);
  EXPECT_EQ(hex8_parse(reinterpret_cast<const unsigned char*>("0000001A")), 26u);
  EXPECT_EQ(hex8_parse(reinterpret_cast<const unsigned char*>("FFFFFFFF")), 0xFFFFFFFFu);
}

TEST(VocabFile, WordsOfOneRunAndMoreThan255Categories) {
  Files f;
  auto file = [&](int n_cats) {
    std::string cats;
    std::string entries;
    for (int i = 0; i < n_cats; ++i) {
      char abbrev[16];
      std::snprintf(abbrev, sizeof abbrev, "C%03d", i);
      cats += padded(b64(abbrev) + std::string(1, '\0') + b64("n") + std::string(1, '\0'), 20);
      entries += padded("0000000A" + b64("W") + std::string(1, '\0') + b64(abbrev) + std::string(1, '\0'), 40);
    }
    return hex8(n_cats) + hex8(n_cats) + hex8(20) + hex8(40) + cats + entries + hex8(3710) + hex8(0) +
           enusa_block() + hex8(13);
  };
  f.dir.write("w255.zev", file(255));
  f.dir.write("w256.zev", file(256));
  vocab_rec* v = nullptr;
  ASSERT_EQ(f.load("w255", &v), 0) << f.bc.last_error();
  EXPECT_EQ(v->word_count, 1u);
  EXPECT_EQ(v->words[0].category_count, 255u);
  vocab_rec_destroy(v);
  v = nullptr;
  EXPECT_EQ(f.load("w256", &v), -300);
  EXPECT_NE(f.bc.last_error().find("more than 255"), std::string::npos) << f.bc.last_error();
}

TEST(VocabFile, HeaderRewritesOnlyWhatChanged) {
  Files f;
  f.dir.write("h.zev", kSmallFile);
  vocab_baked_header* h = nullptr;
  ASSERT_EQ(vocab_baked_header_open(f.ctx(), f.path("h").c_str(), 0, &h), 0);
  EXPECT_EQ(h->found_kind, 8u);
  EXPECT_EQ(h->category_count, 1u);
  EXPECT_EQ(h->entry_count, 1u);
  EXPECT_EQ(h->locale_code, 29840);
  vocab_baked_header_vault_set(h, "Streets", nullptr);
  ASSERT_EQ(vocab_baked_header_write(f.ctx(), h), 0);
  vocab_baked_header_free(h);
  std::string expected = kSmallFile;
  std::memcpy(&expected[kSmallFile.size() - 2048], "Streets", 7);
  EXPECT_EQ(tq_test::read_file(f.dir / "h.zev"), expected);

  // Found only as the older kind: written back as that kind.
  f.dir.write("old.krv", kSmallFile);
  ASSERT_EQ(vocab_baked_header_open(f.ctx(), f.path("old").c_str(), 0, &h), 0);
  EXPECT_EQ(h->found_kind, 6u);
  ASSERT_EQ(vocab_baked_header_locale_set(f.ctx(), h, "DEDEU"), 0);
  locale_info info{};
  ASSERT_EQ(vocab_baked_header_locale_get(f.ctx(), h, &info), 0);
  EXPECT_EQ(info.code, 39276);
  EXPECT_STREQ(info.iso, "DEDEU");
  ASSERT_EQ(vocab_baked_header_write(f.ctx(), h), 0);
  vocab_baked_header_free(h);
  EXPECT_FALSE(std::filesystem::exists(f.dir / "old.zev"));
  vocab_rec* v = nullptr;
  ASSERT_EQ(f.load("old", &v), 0) << f.bc.last_error();
  EXPECT_EQ(v->locale.code, 39276);
  EXPECT_STREQ(v->locale.iso, "DEDEU");
  EXPECT_STREQ(v->words[0].text, "MAIN");
  vocab_rec_destroy(v);

  EXPECT_EQ(vocab_baked_header_open(f.ctx(), f.path("none").c_str(), 0, &h), -400);
  EXPECT_EQ(h, nullptr);
}

TEST(VocabFile, VaultHandlesReachCompiledFiles) {
  Files f;
  vault_vocab_ops_set(vocab_vault_ops());
  f.dir.write("x.krv", kSmallFile);
  tq_vault_file* h = nullptr;
  ASSERT_EQ(zel_vlt_file_edit(f.ctx(), f.path("x").c_str(), 8, &h), 0) << f.bc.last_error();
  EXPECT_EQ(zel_vlt_file_obj_name_set(f.ctx(), h, "Obj"), 0);
  int32_t locale = 0;
  EXPECT_EQ(zel_vlt_file_locale_get(f.ctx(), h, &locale), 0);
  EXPECT_EQ(locale, 29840);
  EXPECT_EQ(zel_vlt_file_write(f.ctx(), h), 0) << f.bc.last_error();
  EXPECT_EQ(zel_vlt_file_close(f.ctx(), h), 0);
  std::string expected = kSmallFile;
  std::memcpy(&expected[kSmallFile.size() - 2048], "Obj", 3);
  EXPECT_EQ(tq_test::read_file(f.dir / "x.krv"), expected);
  EXPECT_FALSE(std::filesystem::exists(f.dir / "x.zev"));
}

// An XML vocabulary written from code: records in any order.
xmldoc* xml_vocab(context* ctx, bool with_category, bool with_name_column) {
  xmldoc* doc = nullptr;
  xmldoc* cat = nullptr;
  EXPECT_EQ(xmldoc_create(ctx, "Vocabulary", "7.0", &doc), 0);
  EXPECT_EQ(xmldoc_prop_add(ctx, doc, "Locale ISO Code", "AFZAF"), 0);
  EXPECT_EQ(xmldoc_prop_add(ctx, doc, "Locale Description", "Afrikaans (South Africa)"), 0);
  EXPECT_EQ(xmldoc_prop_add(ctx, doc, "Locale Code", "3710"), 0);
  EXPECT_EQ(xmldoc_column_add(ctx, doc, "Likelihood", kXmlColInt), 0);
  EXPECT_EQ(xmldoc_column_add(ctx, doc, "CategoryAbbreviation", kXmlColString), 0);
  const char* rows[][2] = {{"STREET", "ST"}, {"AVENUE", "ST"}, {"STREET", "NM"}};
  for (const auto& row : rows) {
    xmldoc_field fields[2]{};
    fields[0].type = kXmlColInt;
    fields[0].number = 70;
    fields[1].type = kXmlColString;
    fields[1].text = const_cast<char*>(row[1]);
    EXPECT_EQ(xmldoc_record_add(ctx, doc, row[0], nullptr, fields), 0);
  }
  if (with_category) {
    EXPECT_EQ(xmldoc_create(ctx, "Category", "7.0", &cat), 0);
    if (with_name_column) {
      EXPECT_EQ(xmldoc_column_add(ctx, cat, "CategoryName", kXmlColString), 0);
    }
    EXPECT_EQ(xmldoc_record_add(ctx, cat, "st", nullptr, nullptr), 0);
    EXPECT_EQ(xmldoc_record_add(ctx, cat, "NM", nullptr, nullptr), 0);
    EXPECT_EQ(xmldoc_include_add(ctx, doc, "Category", kXmlIncludeInline, cat), 0);
  }
  return doc;
}

TEST(VocabFile, XmlFormLoadsSortedAndChecksItsTables) {
  Files f;
  struct Case {
    bool category;
    bool name_column;
    int32_t rc;
  };
  for (const Case& c : {Case{true, true, 0}, Case{false, true, -1}, Case{true, false, -300}}) {
    xmldoc* doc = xml_vocab(f.ctx(), c.category, c.name_column);
    ASSERT_EQ(xmldoc_write(f.ctx(), f.path("x").c_str(), 0, doc), 0);
    xml_free(f.ctx(), doc);
    vocab_rec* v = nullptr;
    ASSERT_EQ(vocab_read_file(f.ctx(), f.path("x").c_str(), kVocabFormXml, nullptr, &v), c.rc) << f.bc.last_error();
    if (v == nullptr) continue;
    // Runs of equal keys make words; the words end up sorted; the
    // abbreviations were uppercased and found.
    ASSERT_EQ(v->word_count, 3u);
    EXPECT_STREQ(v->words[0].text, "AVENUE");
    EXPECT_STREQ(v->words[1].text, "STREET");
    EXPECT_STREQ(v->categories[1].name, "ST");
    EXPECT_EQ(v->words[1].category_count, 1u);
    vocab_rec_destroy(v);
  }
}

TEST(VocabFile, NewVocabulariesTakeTheCurrentLocale) {
  Files f;
  f.bc.ctx.current_locale_code = 29840;
  int32_t index = -1;
  ASSERT_EQ(vocabulary_create(f.ctx(), &index), 0);
  vocab_rec* v = nullptr;
  ASSERT_EQ(vocab_get(f.ctx(), index, &v), 0);
  EXPECT_EQ(v->locale.code, 29840);
  EXPECT_STREQ(v->locale.iso, "ENUSA");
  f.bc.ctx.current_locale_code = 0;
  int32_t other = -1;
  ASSERT_EQ(vocabulary_create(f.ctx(), &other), 0);
  ASSERT_EQ(vocab_get(f.ctx(), other, &v), 0);
  EXPECT_EQ(v->locale.code, -1);
  EXPECT_EQ(rsrc_unload(f.ctx(), kVocabAccess, index), 0);
  EXPECT_EQ(rsrc_unload(f.ctx(), kVocabAccess, other), 0);
}

}  // namespace

namespace {

TEST(VocabFile, RewriteKeepsLinksAndPermissions) {
  Files f;
  namespace fs = std::filesystem;
  vocab_rec* v = small_vocab(f.ctx());
  f.dir.write("store/v1.zev", "old");
  fs::permissions(f.dir / "store" / "v1.zev", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("store/v1.zev", f.dir / "v1.zev");
  EXPECT_EQ(vocab_write(v, nullptr, f.ctx(), f.path("v1").c_str(), kVocabFormCompiled), 0);
  vocab_rec_destroy(v);
  EXPECT_TRUE(fs::is_symlink(f.dir / "v1.zev"));
  EXPECT_EQ(tq_test::read_file(f.dir / "store" / "v1.zev"), kSmallFile);
  EXPECT_EQ(fs::status(f.dir / "store" / "v1.zev").permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

// A save by name over a file that cannot be looked at (a loop of links)
// fails with the cause, and writes no copy in a later folder of the search
// path, where loads would find it only while the loop lasts.
TEST(VocabFile, SaveByNameStopsAtAFileThatCannotBeLookedAt) {
  namespace fs = std::filesystem;
  for (const bool later_copy : {false, true}) {
    SCOPED_TRACE(later_copy ? "a copy further on" : "no copy further on");
    tq_test::TempDir dir;
    fs::create_directories(dir / "A");
    fs::create_symlink("v.zev", dir / "A" / "v.zev");
    if (later_copy) dir.write("B/v.zev", "old");
    fs::create_directories(dir / "B");
    tq_test::BareContext bc((dir / "A").string() + ";" + (dir / "B").string());
    vocab_rec* v = small_vocab(bc.get());
    EXPECT_EQ(vocab_write(v, nullptr, bc.get(), "v", kVocabFormCompiled), -400);
    vocab_rec_destroy(v);
    EXPECT_NE(bc.last_error().find("Too many levels of symbolic links"), std::string::npos) << bc.last_error();
    EXPECT_EQ(fs::exists(dir / "B" / "v.zev"), later_copy);
    if (later_copy) {
      EXPECT_EQ(tq_test::read_file(dir / "B" / "v.zev"), "old");
    }
  }
}

}  // namespace

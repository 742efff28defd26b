// The character library: charset conversion and case mapping.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/npuchar.h"

namespace {

using namespace tq;

TEST(NpUcharConvert, BoundsTerminatorsAndBadArguments) {
  char out[8];
  // Size 0 writes nothing; size 1 holds only the terminator.
  std::memset(out, 0x55, sizeof out);
  EXPECT_EQ(np_uchar_encode(kNpCharsetIso8859_1, "abc", out, 0), 0);
  EXPECT_EQ(static_cast<unsigned char>(out[0]), 0x55u);
  EXPECT_EQ(np_uchar_encode(kNpCharsetIso8859_1, "abc", out, 1), 0);
  EXPECT_EQ(out[0], '\0');
  EXPECT_EQ(static_cast<unsigned char>(out[1]), 0x55u);
  // UCS-2 needs two bytes of terminator; with 3 bytes no unit fits.
  std::memset(out, 0x55, sizeof out);
  EXPECT_EQ(np_uchar_decode(kNpCharsetUcs2Le, "ab", out, 3), 0);
  EXPECT_EQ(std::string(out, 3), std::string("\0\0\x55", 3));
  // Unknown charsets and missing pointers are failures, not conversions.
  EXPECT_EQ(np_uchar_encode(9, "a", out, 8), -1);
  EXPECT_EQ(np_uchar_decode(27, "a", out, 8), -1);
  EXPECT_EQ(np_uchar_encode(kNpCharsetUtf8, nullptr, out, 8), -1);
  EXPECT_EQ(np_uchar_decode(kNpCharsetUtf8, "a", nullptr, 8), -1);
  EXPECT_EQ(np_uchar_chsize_min(kNpCharsetUcs2Be), 2);
  EXPECT_EQ(np_uchar_chsize_min(kNpCharsetCp1254 | kNpUcharStrict | kNpUcharCompat), 1);
  EXPECT_EQ(np_uchar_chsize_min(9), -1);
  // The compatibility bit changes nothing; the strict bit stops at a refusal.
  EXPECT_EQ(np_uchar_decode(kNpCharsetIso8859_1 | kNpUcharCompat, "x\xE2\x82\xACy", out, 8), 1);
  EXPECT_STREQ(out, "x?y");
  EXPECT_EQ(np_uchar_decode(kNpCharsetIso8859_1 | kNpUcharStrict, "x\xE2\x82\xACy", out, 8), 1);
  EXPECT_STREQ(out, "x");
  // An undefined byte of a single-byte charset coming in.
  EXPECT_EQ(np_uchar_encode(kNpCharsetIso8859_11, "a\xDB" "b", out, 8), 1);
  EXPECT_STREQ(out, "a\xEF\xBF\xBD" "b");
  // A cut after a replacement still reports the replacement.
  EXPECT_EQ(np_uchar_encode(kNpCharsetUtf8, "\xFF" "abcdef", out, 5), 1);
  EXPECT_STREQ(out, "\xEF\xBF\xBD" "a");
}

TEST(NpUcharConvert, EverySingleByteCharsetRoundTripsItsBytes) {
  const uint32_t charsets[] = {1, 2, 3, 4, 5, 6, 10, 21, 22, 23, 24, 25, 26};
  for (uint32_t cs : charsets) {
    SCOPED_TRACE(cs);
    int defined = 0;
    for (int b = 1; b < 256; ++b) {
      const char in[2] = {static_cast<char>(b), 0};
      char utf8[8];
      if (np_uchar_encode(cs, in, utf8, sizeof utf8) != 0) continue;
      ++defined;
      char back[4];
      ASSERT_EQ(np_uchar_decode(cs | kNpUcharStrict, utf8, back, sizeof back), 0) << b;
      EXPECT_EQ(static_cast<unsigned char>(back[0]), b);
      EXPECT_EQ(back[1], '\0');
    }
    EXPECT_GT(defined, 200);
  }
}

TEST(NpUcharConvert, TablesBuildOnceAcrossThreads) {
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &failures] {
      for (uint32_t cs : {22u, 23u, 25u, 26u, 21u}) {
        char out[16];
        char back[16];
        if (np_uchar_decode(cs, "abc \xE2\x82\xAC", out, sizeof out) != 0 ||
            np_uchar_encode(cs, out, back, sizeof back) != 0 || std::strcmp(back, "abc \xE2\x82\xAC") != 0) {
          ++failures[static_cast<size_t>(t)];
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

// A converter this ICU lacks is an encoding it cannot convert (-3, which
// the library answers as -700), never out of memory.
TEST(NpUcharConvert, AMissingConverterIsNotOutOfMemory) {
  EXPECT_EQ(np_uchar_table_try("windows-1252"), 0);
  EXPECT_EQ(np_uchar_table_try("no-such-charset-x"), -3);
}

TEST(NpUcharCase, CompareAndClassify) {
  EXPECT_EQ(np_uchar_icomp("Stra\xC3\x9F" "e", "STRASSE"), 0);
  EXPECT_EQ(np_uchar_icomp("\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89"), 0);
  EXPECT_LT(np_uchar_icomp("abc", "ABD"), 0);
  EXPECT_GT(np_uchar_icomp("abd", "ABC"), 0);
  EXPECT_LT(np_uchar_icomp("ab", "ABC"), 0);
  // Folded, A-Z sort after "[": "[" against "A" is "[" against "a".
  EXPECT_LT(np_uchar_icomp("[", "A"), 0);
  EXPECT_GT(np_uchar_icomp("Z", "["), 0);
  // An ASCII text equal to a non-ASCII one after folding (Kelvin sign).
  EXPECT_EQ(np_uchar_icomp("Kelvin", "\xE2\x84\xAA" "ELVIN"), 0);
  EXPECT_EQ(np_uchar_icomp("ss", "\xC3\x9F"), 0);
  EXPECT_LT(np_uchar_icomp(nullptr, "a"), 0);
  EXPECT_EQ(np_uchar_icomp(nullptr, nullptr), 0);
  // Code point order: U+FF21 (fullwidth A) sorts before U+1F600.
  EXPECT_LT(np_uchar_icomp("\xEF\xBC\xA1", "\xF0\x9F\x98\x80"), 0);

  EXPECT_EQ(np_uchar_isupper("Abc"), 1);
  EXPECT_EQ(np_uchar_isupper("abc"), 0);
  EXPECT_EQ(np_uchar_isupper("\xC3\x89"), 1);  // É
  EXPECT_EQ(np_uchar_isupper("1"), 0);
  EXPECT_EQ(np_uchar_isupper("\xC3"), 0);
  EXPECT_EQ(np_uchar_isupper(""), 0);
  EXPECT_EQ(np_uchar_isupper(nullptr), 0);
}

TEST(NpUcharCase, OneCharacterAtACursor) {
  const char* text = "\xC3\xA9" "a\xC3\x9F";
  const char* p = text;
  char out[8];
  EXPECT_EQ(np_uchar_upper(&p, out, sizeof out), 2);
  EXPECT_STREQ(out, "\xC3\x89");
  EXPECT_EQ(p, text + 2);
  EXPECT_EQ(np_uchar_lower(&p, out, sizeof out), 1);
  EXPECT_STREQ(out, "a");
  // ß uppercases to two letters; they must fit with the terminator.
  EXPECT_EQ(np_uchar_upper(&p, out, 2), -1);
  EXPECT_EQ(p, text + 3);
  EXPECT_EQ(np_uchar_upper(&p, out, 3), 2);
  EXPECT_STREQ(out, "SS");
  EXPECT_EQ(np_uchar_upper(&p, out, sizeof out), 0);
  EXPECT_STREQ(out, "");
  // A malformed byte passes unchanged and the cursor moves on.
  const char* bad = "\xFF" "b";
  EXPECT_EQ(np_uchar_lower(&bad, out, sizeof out), 1);
  EXPECT_EQ(static_cast<unsigned char>(out[0]), 0xFFu);
  EXPECT_STREQ(bad, "b");
  EXPECT_EQ(np_uchar_upper(nullptr, out, sizeof out), -1);
}

TEST(NpUcharCase, TextCasingWithLanguages) {
  char out[64];
  EXPECT_EQ(np_uchar_upper_cs("stra\xC3\x9F" "e", out, sizeof out, nullptr), 7);
  EXPECT_STREQ(out, "STRASSE");
  EXPECT_EQ(np_uchar_upper_cs("i", out, sizeof out, "tr"), 2);
  EXPECT_STREQ(out, "\xC4\xB0");
  EXPECT_EQ(np_uchar_upper_cs("i", out, sizeof out, ""), 1);
  EXPECT_STREQ(out, "I");
  EXPECT_EQ(np_uchar_lower_cs("I", out, sizeof out, "az"), 2);
  EXPECT_STREQ(out, "\xC4\xB1");
  EXPECT_EQ(np_uchar_title_cs("jean-paul o'neil", out, sizeof out, nullptr), 16);
  EXPECT_STREQ(out, "Jean-Paul O'neil");
  // A language outside the cached ones: Greek drops accents in uppercase.
  np_uchar_upper_cs("\xCE\xAC\xCE\xBB", out, sizeof out, "el");
  EXPECT_STREQ(out, "\xCE\x91\xCE\x9B");
  // Cased into a buffer of its own, so the source may be the destination.
  char same[8] = "\xC3\x9F\xC3\x9F\xC3\x9F";  // ßßß, 6 bytes
  EXPECT_EQ(np_uchar_upper_cs(same, same, sizeof same, nullptr), 6);
  EXPECT_STREQ(same, "SSSSSS");
  // Cut between characters: "İİİ" in 6 bytes keeps two.
  char small[8];
  std::memset(small, 0x55, sizeof small);
  EXPECT_EQ(np_uchar_upper_cs("iii", small, 6, "tr"), 4);
  EXPECT_STREQ(small, "\xC4\xB0\xC4\xB0");
  EXPECT_EQ(static_cast<unsigned char>(small[6]), 0x55u);
  EXPECT_EQ(np_uchar_upper_cs("a", small, 0, nullptr), -1);
  EXPECT_EQ(np_uchar_upper_cs(nullptr, small, 4, nullptr), -1);
  // A long text whose cased form outgrows the first buffer.
  std::string dotted(600, 'i');
  std::string big(1200, '\x55');
  EXPECT_EQ(np_uchar_upper_cs(dotted.c_str(), big.data(), 1025, "tr"), 1024);
  std::string want;
  for (int i = 0; i < 512; ++i) want += "\xC4\xB0";
  EXPECT_EQ(std::string(big.c_str()), want);
  EXPECT_EQ(big[1025], '\x55');
}

}  // namespace

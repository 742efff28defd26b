#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/krstr.h"

namespace {

using namespace tq;

TEST(Str, CopyBoundedCutsBetweenCharacters) {
  char out[16];
  EXPECT_EQ(str_copy_bounded(out, "vocab", 4), 5u);
  EXPECT_STREQ(out, "voc");
  EXPECT_EQ(str_copy_bounded(out, "vocab", 6), 5u);
  EXPECT_STREQ(out, "vocab");
  EXPECT_EQ(str_copy_bounded(out, "vocab", 1), 5u);
  EXPECT_STREQ(out, "");
  // "aé" is three bytes: with room for two, the é is left out whole.
  EXPECT_EQ(str_copy_bounded(out, "a\xC3\xA9", 3), 3u);
  EXPECT_STREQ(out, "a");
  EXPECT_EQ(str_copy_bounded(out, nullptr, 4), 0u);
  EXPECT_STREQ(out, "");
}

TEST(Str, DupIntCommaStem) {
  char* copy = str_dup("Corvel");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "Corvel");
  std::free(copy);
  EXPECT_EQ(str_dup(nullptr), nullptr);

  char num[kIntTextSize];
  EXPECT_STREQ(str_from_int(-42, num), "-42");
  EXPECT_STREQ(str_from_int(0, num), "0");
  EXPECT_STREQ(str_from_int(INT32_MAX, num), "2147483647");
  EXPECT_STREQ(str_from_int(INT32_MIN, num), "-2147483648");

  EXPECT_EQ(str_has_comma("a,b"), -1);
  EXPECT_EQ(str_has_comma("ab"), 0);

  EXPECT_EQ(str_stem_compare("de.loc", "de.zel"), 0);
  EXPECT_NE(str_stem_compare("de.loc", "de"), 0);
  EXPECT_NE(str_stem_compare("de", "de.loc"), 0);
  EXPECT_EQ(str_stem_compare("de", "de"), 0);
  EXPECT_LT(str_stem_compare("da.x", "de.x"), 0);
  EXPECT_GT(str_stem_compare("\xC3\xA9.x", "e.x"), 0);  // bytes compare unsigned
}

TEST(Str, CaseFoldIsAsciiOnlyAndTrimUsesWhiteSpace) {
  char text[32];
  std::strcpy(text, "Stra\xC3\x9F" "e \xC3\xA9t\xC3\xA9");
  EXPECT_EQ(str_case_fold(nullptr, text, 0), 0);
  EXPECT_STREQ(text, "STRA\xC3\x9F" "E \xC3\xA9T\xC3\xA9");
  str_case_fold(nullptr, text, 1);
  EXPECT_STREQ(text, "stra\xC3\x9F" "e \xC3\xA9t\xC3\xA9");

  std::strcpy(text, "\xC2\xA0 x y \t");
  str_trim(text);
  EXPECT_STREQ(text, "x y");
}

TEST(Str, UcharGetRefusesBadUtf8AndAlwaysAdvances) {
  // é, an overlong '/', a surrogate, a stray continuation, then a sequence cut short.
  const char* text = "\xC3\xA9\xC0\xAF\xED\xA0\x80\x80" "A\xE2\x82";
  const char* p = text;
  int32_t code = 0;
  EXPECT_EQ(uchar_get(&p, &code), 0);
  EXPECT_EQ(code, 0xE9);
  int32_t bad = 0;
  std::string good;
  while (*p != '\0') {
    const char* before = p;
    if (uchar_get(&p, &code) == kRcBadCharacter) {
      EXPECT_EQ(code, '?');
      ++bad;
    } else {
      good += static_cast<char>(code);
    }
    ASSERT_GT(p, before);
  }
  EXPECT_EQ(good, "A");
  EXPECT_EQ(bad, 2 + 3 + 1 + 2);  // each bad byte is refused on its own
  EXPECT_EQ(uchar_get(&p, &code), 0);
  EXPECT_EQ(code, 0);
}

TEST(Str, UcharPutAndArrays) {
  char buf[8];
  char* p = buf;
  uint32_t room = 4;
  EXPECT_EQ(uchar_put(0x20AC, &p, &room), 3);
  EXPECT_EQ(room, 1u);
  EXPECT_EQ(uchar_put(0xE9, &p, &room), 0);  // does not fit: nothing written
  EXPECT_EQ(room, 1u);
  EXPECT_EQ(uchar_put(0, &p, &room), 1);
  EXPECT_STREQ(buf, "\xE2\x82\xAC");
  p = buf;
  room = 4;
  EXPECT_EQ(uchar_put(0xD800, &p, &room), 1);  // not a code point: '?'
  EXPECT_EQ(buf[0], '?');

  const int32_t codes[] = {'a', 0xE9, 0x1F600, 'b', 0};
  char text[16];
  EXPECT_EQ(uchar_array_to_text(codes, text, sizeof text), 8);
  EXPECT_STREQ(text, "a\xC3\xA9\xF0\x9F\x98\x80" "b");
  // Room runs out inside the emoji: the text stops before it, still terminated.
  std::memset(text, 'z', sizeof text);
  EXPECT_EQ(uchar_array_to_text(codes, text, 6), 3);
  EXPECT_STREQ(text, "a\xC3\xA9");
  EXPECT_EQ(uchar_array_to_text(codes, text, 1), 0);
  EXPECT_STREQ(text, "");

  int32_t back[8] = {};
  EXPECT_EQ(uchar_text_to_array("a\xC3\xA9\xF0\x9F\x98\x80" "b", back, 8), 4);
  EXPECT_EQ(back[2], 0x1F600);
  EXPECT_EQ(uchar_text_to_array("abcdef", back, 3), 3);
  EXPECT_EQ(back[3], 'b');  // nothing written past the maximum

  EXPECT_TRUE(uchar_is_space(0x2003));
  EXPECT_FALSE(uchar_is_space('x'));
  EXPECT_TRUE(uchar_is_space("\xE2\x80\x83z"));
  EXPECT_FALSE(uchar_is_space("z "));

  char dest[5];
  EXPECT_EQ(uchar_buf_copy(dest, "ab\xE2\x82\xAC", sizeof dest), 2u);
  EXPECT_STREQ(dest, "ab");
}

TEST(Str, SimilarityOfCodePoints) {
  EXPECT_DOUBLE_EQ(str_similarity(nullptr, 1, "ABC", "ABC"), 1.0);
  EXPECT_DOUBLE_EQ(str_similarity(nullptr, 1, "ABC", ""), 0.0);
  EXPECT_DOUBLE_EQ(str_similarity(nullptr, 1, "", "ABC"), 0.0);
  EXPECT_DOUBLE_EQ(str_similarity(nullptr, 1, "ABCD", "ABDC"), 0.75);
  EXPECT_DOUBLE_EQ(str_similarity(nullptr, 1, "AB", "BA"), 0.5);
  EXPECT_DOUBLE_EQ(str_similarity(nullptr, 1, "AAB", "AB"), (1.0 / 3.0 + 1.0) / 2.0);
  // Code points, not bytes: É and E differ once, whatever their byte lengths.
  EXPECT_DOUBLE_EQ(str_similarity(nullptr, 1, "\xC3\x89T\xC3\x89", "ETE"), 1.0 / 3.0);
  // Unless told the texts are uppercased already, both are uppercased first.
  EXPECT_DOUBLE_EQ(str_similarity(nullptr, 0, "stra\xC3\x9F" "e", "STRASSE"), 1.0);
  EXPECT_DOUBLE_EQ(str_similarity(nullptr, 0, "abc", "ABC"), 1.0);
  EXPECT_DOUBLE_EQ(str_similarity(nullptr, 1, "abc", "ABC"), 0.0);
  // Only the first 257 code points count.
  const std::string a(300, 'A');
  std::string b(257, 'A');
  b += std::string(43, 'B');
  EXPECT_DOUBLE_EQ(str_similarity(nullptr, 1, a.c_str(), b.c_str()), 1.0);
}

}  // namespace

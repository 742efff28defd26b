#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/nputf8.h"

namespace {

using namespace tq;

// Decodes one code point; returns {result, code, bytes advanced}.
struct decoded {
  int32_t rc;
  int32_t code;
  long advanced;
};

decoded decode(const char* text) {
  const char* p = text;
  int32_t code = 12345;
  const int32_t rc = np_uchar_toint(&p, &code);
  return {rc, code, static_cast<long>(p - text)};
}

TEST(Utf8, DecodesEveryLengthAndTheTerminator) {
  EXPECT_EQ(decode("A").code, 'A');
  EXPECT_EQ(decode("\xC3\xA9").code, 0xE9);
  EXPECT_EQ(decode("\xE2\x82\xAC").code, 0x20AC);
  EXPECT_EQ(decode("\xF0\x9F\x98\x80").code, 0x1F600);
  EXPECT_EQ(decode("\xF4\x8F\xBF\xBF").code, 0x10FFFF);
  EXPECT_EQ(decode("\xF0\x9F\x98\x80").advanced, 4);
  const decoded end = decode("");
  EXPECT_EQ(end.rc, 1);
  EXPECT_EQ(end.code, 0);
}

TEST(Utf8, RefusesMalformedSequencesAdvancingOneByte) {
  const char* bad[] = {
      "\xC0\xAF",          // overlong '/'
      "\xE0\x80\xAF",      // overlong, three bytes
      "\xF0\x80\x80\xAF",  // overlong, four bytes
      "\xED\xA0\x80",      // surrogate U+D800
      "\xED\xBF\xBF",      // surrogate U+DFFF
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\xF5\x80\x80\x80",  // lead byte never valid
      "\x80",              // stray continuation
      "\xC3",              // cut short by the terminator
      "\xE2\x82",          // cut short by the terminator
      "\xE2\x82" "A",      // cut short by an ASCII letter
  };
  for (const char* text : bad) {
    const decoded d = decode(text);
    EXPECT_LT(d.rc, 0) << "input " << text;
    EXPECT_EQ(d.code, -1);
    EXPECT_EQ(d.advanced, 1);
  }
}

TEST(Utf8, EncodesAndRoundTrips) {
  const int32_t codes[] = {1, 0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFF, 0x10000, 0x10FFFF};
  for (int32_t c : codes) {
    char buf[8] = {};
    const int32_t n = np_uchar_intcopy(c, buf, sizeof buf);
    ASSERT_GT(n, 0);
    const decoded d = decode(buf);
    EXPECT_EQ(d.code, c);
    EXPECT_EQ(d.advanced, n);
  }
  // Too little room: nothing written.
  char small[2] = {'x', 'y'};
  EXPECT_EQ(np_uchar_intcopy(0x20AC, small, 2), 0);
  EXPECT_EQ(small[0], 'x');
  EXPECT_EQ(small[1], 'y');
  // Not code points.
  EXPECT_EQ(np_uchar_intcopy(0xD800, small, 2), -1);
  EXPECT_EQ(np_uchar_intcopy(0x110000, small, 2), -1);
  EXPECT_EQ(np_uchar_intcopy(-5, small, 2), -1);
  EXPECT_EQ(np_uchar_intcopy(0, small, 2), 1);
  EXPECT_EQ(small[0], '\0');
}

TEST(Utf8, LengthAndSeek) {
  const char* text = "a\xC3\xA9\xE2\x82\xAC" "b";  // a é € b
  EXPECT_EQ(np_uchar_length(text), 4);
  EXPECT_EQ(np_uchar_length(""), 0);
  EXPECT_EQ(np_uchar_length("\xFF\xFF"), 2);  // each bad byte counts once
  EXPECT_EQ(np_uchar_seek(text, 0), 0);
  EXPECT_EQ(np_uchar_seek(text, 2), 3);
  EXPECT_EQ(np_uchar_seek(text, 3), 6);
  EXPECT_EQ(np_uchar_seek(text, 9), 7);
  EXPECT_EQ(np_uchar_seek(text, -1), 0);
}

TEST(Utf8, WhiteSpace) {
  EXPECT_TRUE(np_uchar_isspace(' '));
  EXPECT_TRUE(np_uchar_isspace('\t'));
  EXPECT_TRUE(np_uchar_isspace(0x00A0));
  EXPECT_TRUE(np_uchar_isspace(0x3000));
  EXPECT_FALSE(np_uchar_isspace('a'));
  EXPECT_FALSE(np_uchar_isspace(0));
  EXPECT_FALSE(np_uchar_isspace(-1));
}

TEST(Utf8, BufCopyKeepsWholeCharacters) {
  char out[8];
  std::memset(out, 'z', sizeof out);
  // "ab€" needs 5 bytes; with 5 bytes of room only "ab" fits beside the terminator.
  EXPECT_EQ(np_uchar_bufcopy(out, "ab\xE2\x82\xAC", 5), 2u);
  EXPECT_STREQ(out, "ab");
  EXPECT_EQ(np_uchar_bufcopy(out, "ab\xE2\x82\xAC", 6), 5u);
  EXPECT_STREQ(out, "ab\xE2\x82\xAC");
  EXPECT_EQ(np_uchar_bufcopy(out, "abc", 1), 0u);
  EXPECT_STREQ(out, "");
  out[0] = 'q';
  EXPECT_EQ(np_uchar_bufcopy(out, "abc", 0), 0u);
  EXPECT_EQ(out[0], 'q');
  EXPECT_EQ(np_uchar_cut("a\xF0\x9F\x98\x80", 4), 1u);
  EXPECT_EQ(np_uchar_cut("a\xF0\x9F\x98\x80", 5), 5u);
}

TEST(Utf8, TrimInPlace) {
  char text[64];
  std::strcpy(text, " \t\xE3\x80\x80 caf\xC3\xA9 au lait\xC2\xA0\n ");
  EXPECT_EQ(np_uchar_trim(text, sizeof text), 13);
  EXPECT_STREQ(text, "caf\xC3\xA9 au lait");
  std::strcpy(text, "   ");
  EXPECT_EQ(np_uchar_trim(text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  // No terminator within the bound: cut between characters first.
  std::strcpy(text, " x\xC3\xA9yz");
  EXPECT_EQ(np_uchar_trim(text, 4), 1);
  EXPECT_STREQ(text, "x");
}

}  // namespace

// Session encodings, the interface string layer and locale casing.
#include <cstring>
#include <memory>
#include <string>

#include "core/krcaseloc.h"
#include "core/krcorvel.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

tq_test::ContextPtr bare_context(int32_t encoding = 0, uint32_t options = 1) {
  tq_test::ContextPtr ctx = tq_test::make_bare_context();
  ctx->session_encoding = encoding;
  ctx->options = options;
  return ctx;
}

std::string bytes(const char* p, size_t n) { return std::string(p, n); }

// Byte length of a text in a session encoding, terminator not included.
size_t session_len(const char* p, int32_t encoding) {
  if (encoding < tq::kEncodingUcs2Be) return std::strlen(p);
  size_t n = 0;
  while (p[n] != 0 || p[n + 1] != 0) n += 2;
  return n;
}

TEST(EncodingTable, NamesAndIds) {
  int32_t id = 99;
  EXPECT_EQ(tq::enc_id_get_by_name("UTF-8", &id), 0);
  EXPECT_EQ(id, 13);
  EXPECT_EQ(tq::enc_id_get_by_name("utf-8", &id), -1);
  EXPECT_EQ(tq::enc_id_get_by_name("UTF-8 ", &id), -1);
  EXPECT_EQ(tq::enc_id_get_by_name("CP874 (WinThai)", &id), 0);
  EXPECT_EQ(id, 10);
  for (int32_t i = 0; i < tq::kEncodingCount; ++i) {
    char name[321];
    ASSERT_EQ(tq::enc_name_get_by_id(i, name, sizeof name), 0);
    EXPECT_EQ(tq::enc_id_get_by_name(name, &id), 0);
    EXPECT_EQ(id, i);
    EXPECT_EQ(tq::enc_id_is_known(i), 1);
  }
  char small[6];
  EXPECT_EQ(tq::enc_name_get_by_id(15, small, sizeof small), 0);
  EXPECT_STREQ(small, "UCS-2");
  EXPECT_EQ(tq::enc_name_get_by_id(16, small, sizeof small), -1);
  EXPECT_EQ(tq::enc_id_is_known(16), 0);
  EXPECT_EQ(tq::enc_id_is_known(-1), 0);

  auto ctx = bare_context();
  uint32_t size = 0;
  EXPECT_EQ(tq::enc_char_size_min(ctx.get(), 14, &size), 0);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(tq::enc_char_size_min(ctx.get(), 1, &size), 0);
  EXPECT_EQ(size, 1u);
  // The conversions' own terminator sizes agree with the character library.
  for (int32_t e = 0; e < tq::kEncodingCount; ++e) {
    ASSERT_EQ(tq::enc_char_size_min(ctx.get(), e, &size), 0);
    EXPECT_EQ(tq::strio_char_size(e), size) << e;
  }
  EXPECT_EQ(tq::enc_char_size_min(ctx.get(), 16, &size), -802);
  ASSERT_EQ(ctx->errors.count, 1u);
  EXPECT_EQ(ctx->errors.recs[0].code, -802);
  EXPECT_NE(std::strstr(ctx->errors.recs[0].text, "16"), nullptr);
}

TEST(EncodingTable, CodePointOfOneByte) {
  EXPECT_EQ(tq::enc_char_code_point_get(0xC1, 1), 'A');      // EBCDIC
  EXPECT_EQ(tq::enc_char_code_point_get(0xE9, 0), 0xE9);     // Latin-1 é
  EXPECT_EQ(tq::enc_char_code_point_get(0x80, 7), 0x20AC);   // CP1252 euro sign
  EXPECT_EQ(tq::enc_char_code_point_get(0xDD, 12), 0x130);   // CP1254 İ
  EXPECT_EQ(tq::enc_char_code_point_get(0xC1, 5), 0x421);    // ISO-8859-5 С
  EXPECT_EQ(tq::enc_char_code_point_get(0xDB, 4), -1);       // unassigned in ISO-8859-11
  EXPECT_EQ(tq::enc_char_code_point_get(0xC3, 13), -1);      // half a UTF-8 character
  EXPECT_EQ(tq::enc_char_code_point_get('A', 13), 'A');
  EXPECT_EQ(tq::enc_char_code_point_get('A', 15), 'A');
  EXPECT_EQ(tq::enc_char_code_point_get('A', 16), -1);
}

// A text each encoding can hold, in UTF-8.
const char* const kSamples[tq::kEncodingCount] = {
    "M\xC3\xBCller caf\xC3\xA9 \xC2\xBD",                       // 0 Latin-1
    "M\xC3\xBCller {x} [y] \xC3\xA9",                            // 1 EBCDIC
    "\xC5\x81\xC3\xB3\x64\xC5\xBA",                              // 2 Łódź
    "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1",                  // 3 Αθήνα
    "\xE0\xB8\x81\xE0\xB8\xA3\xE0\xB8\xB8\xE0\xB8\x87",          // 4 Thai
    "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",          // 5 Москва
    "\xC4\xB0stanbul \xC4\x9F\xC5\x9F",                          // 6 İstanbul ğş
    "\xE2\x82\xAC caf\xC3\xA9 \xE2\x80\x9Cq\xE2\x80\x9D",        // 7 € café “q”
    "\xC5\x81\xC3\xB3\x64\xC5\xBA \xE2\x82\xAC",                 // 8
    "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1 \xE2\x82\xAC",     // 9
    "\xE0\xB8\x81\xE0\xB8\xA3 \xE2\x82\xAC",                     // 10
    "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 \xE2\x82\xAC",  // 11
    "\xC4\xB0stanbul \xC4\x9F\xC5\x9F \xE2\x82\xAC",             // 12
    "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80",                 // 13 日本 😀
    "\xE6\x97\xA5\xE6\x9C\xAC caf\xC3\xA9",                      // 14
    "\xE6\x97\xA5\xE6\x9C\xAC caf\xC3\xA9",                      // 15
};

TEST(Strio, RoundTripThroughEveryEncoding) {
  for (int32_t e = 0; e < tq::kEncodingCount; ++e) {
    SCOPED_TRACE(e);
    for (uint32_t options : {1u, 1u | tq::kOptStrictConversion, 1u | tq::kOptWarnReplaced}) {
      auto ctx = bare_context(e, options);
      char out[200];
      std::memset(out, 0x55, sizeof out);
      ASSERT_EQ(tq::strio_out(ctx.get(), kSamples[e], out, 190, tq::kStrioConvert), 0);
      size_t n = session_len(out, e);
      EXPECT_GT(n, 0u);
      char back[200];
      ASSERT_EQ(tq::strio_in(ctx.get(), out, back, 190, tq::kStrioConvert), 0);
      EXPECT_STREQ(back, kSamples[e]);
      EXPECT_EQ(ctx->errors.count, 0u);
    }
  }
  // The byte forms of a few.
  auto ctx = bare_context(1);
  char out[16];
  ASSERT_EQ(tq::strio_out(ctx.get(), "A1", out, 10, 1), 0);
  EXPECT_EQ(bytes(out, 3), std::string("\xC1\xF1\0", 3));
  ctx->session_encoding = 0;
  ASSERT_EQ(tq::strio_out(ctx.get(), "\xC3\xA9", out, 10, 1), 0);
  EXPECT_EQ(bytes(out, 2), std::string("\xE9\0", 2));
  ctx->session_encoding = 15;
  ASSERT_EQ(tq::strio_out(ctx.get(), "A\xE2\x82\xAC", out, 10, 1), 0);
  EXPECT_EQ(bytes(out, 6), std::string("A\0\xAC\x20\0\0", 6));
  ctx->session_encoding = 14;
  ASSERT_EQ(tq::strio_out(ctx.get(), "A\xE2\x82\xAC", out, 10, 1), 0);
  EXPECT_EQ(bytes(out, 6), std::string("\0A\x20\xAC\0\0", 6));
  // UCS-2 in: the text ends at two zero bytes, not at the first zero byte.
  char in[16];
  ASSERT_EQ(tq::strio_in(ctx.get(), std::string("\0/\0k\0b\0\0", 8).c_str(), in, 10, 1), 0);
  EXPECT_STREQ(in, "/kb");
}

TEST(Strio, UnconvertibleCharacterOutcomesFollowTheOptions) {
  // Ω has no byte in Latin-1.
  const char* text = "a\xCE\xA9z";
  char out[16];
  auto ctx = bare_context(0, 1);
  EXPECT_EQ(tq::strio_out(ctx.get(), text, out, 10, 1), 0);
  EXPECT_STREQ(out, "a?z");
  ctx->options = 1 | tq::kOptWarnReplaced;
  EXPECT_EQ(tq::strio_out(ctx.get(), text, out, 10, 1), 116);
  EXPECT_STREQ(out, "a?z");
  ctx->options = 1 | tq::kOptStrictConversion;
  EXPECT_EQ(tq::strio_out(ctx.get(), text, out, 10, 1), -10000);
  EXPECT_STREQ(out, "a");  // refused: the output stops before it
  ctx->options = 1 | tq::kOptStrictConversion | tq::kOptWarnReplaced;
  EXPECT_EQ(tq::strio_out(ctx.get(), text, out, 10, 1), -10000);
  // EBCDIC replaces with its own question mark.
  ctx->options = 1;
  ctx->session_encoding = 1;
  EXPECT_EQ(tq::strio_out(ctx.get(), text, out, 10, 1), 0);
  EXPECT_EQ(bytes(out, 4), std::string("\x81\x6F\xA9\0", 4));

  // Malformed UTF-8 coming in.
  char in[16];
  ctx->session_encoding = 13;
  ctx->options = 1;
  EXPECT_EQ(tq::strio_in(ctx.get(), "/kb/\xFF", in, 10, 1), 0);
  EXPECT_STREQ(in, "/kb/\xEF\xBF\xBD");
  ctx->options = 1 | tq::kOptWarnReplaced;
  EXPECT_EQ(tq::strio_in(ctx.get(), "/kb/\xFF", in, 10, 1), 116);
  ctx->options = 1 | tq::kOptStrictConversion;
  EXPECT_EQ(tq::strio_in(ctx.get(), "/kb/\xFF/x", in, 10, 1), -10000);
  EXPECT_STREQ(in, "/kb/");
  // Overlong forms and encoded surrogates are malformed too.
  EXPECT_EQ(tq::strio_in(ctx.get(), "\xC0\xAF", in, 10, 1), -10000);
  EXPECT_EQ(tq::strio_in(ctx.get(), "\xED\xA0\x80", in, 10, 1), -10000);
  // Out in UTF-8 too.
  EXPECT_EQ(tq::strio_out(ctx.get(), "a\xE2\x82", out, 10, 1), -10000);

  // UCS-2 holds the BMP only: a surrogate coming in, an emoji going out.
  ctx->session_encoding = 14;
  ctx->options = 1 | tq::kOptWarnReplaced;
  EXPECT_EQ(tq::strio_in(ctx.get(), std::string("\0a\xD8\x3D\xDE\x00\0\0", 8).c_str(), in, 10, 1), 116);
  EXPECT_STREQ(in, "a\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(tq::strio_out(ctx.get(), "a\xF0\x9F\x98\x80", out, 10, 1), 116);
  EXPECT_EQ(bytes(out, 6), std::string("\0a\xFF\xFD\0\0", 6));
  ctx->options = 1 | tq::kOptStrictConversion;
  EXPECT_EQ(tq::strio_out(ctx.get(), "a\xF0\x9F\x98\x80", out, 10, 1), -10000);
  EXPECT_EQ(bytes(out, 4), std::string("\0a\0\0", 4));
  // Replacements and refusals record nothing: the caller's frame does.
  EXPECT_EQ(ctx->errors.count, 0u);
}

TEST(Strio, OtherFailuresStayFailures) {
  char buf[16] = "x";
  for (uint32_t options : {1u, 1u | tq::kOptWarnReplaced, 1u | tq::kOptStrictConversion}) {
    auto ctx = bare_context(16, options);
    EXPECT_EQ(tq::strio_in(ctx.get(), "abc", buf, 10, 1), -802);
    EXPECT_EQ(tq::strio_out(ctx.get(), "abc", buf, 10, 1), -802);
    ASSERT_EQ(ctx->errors.count, 2u);
    EXPECT_EQ(ctx->errors.recs[0].code, -802);
    ctx->session_encoding = -1;  // after teardown
    EXPECT_EQ(tq::strio_in(ctx.get(), "abc", buf, 10, 1), -802);
  }
  auto ctx = bare_context();
  EXPECT_EQ(tq::strio_in(ctx.get(), nullptr, buf, 10, 1), -802);
  EXPECT_EQ(tq::strio_out(ctx.get(), "a", nullptr, 10, 1), -802);
  EXPECT_EQ(tq::strio_in(nullptr, "a", buf, 10, 1), -100);
  EXPECT_EQ(tq::enc_convert_in(ctx.get(), 20, "a", buf, 10), -802);
  EXPECT_EQ(tq::enc_convert_out(ctx.get(), -3, "a", buf, 10), -802);
}

TEST(Strio, LongTextsAreCutBetweenCharacters) {
  auto ctx = bare_context(13);
  char buf[16];
  // "aaaé" is 5 bytes; a maximum of 4 keeps "aaa" of a value, and refuses
  // a text the knowledge base would keep (nothing kept).
  std::memset(buf, 0x55, sizeof buf);
  EXPECT_EQ(tq::strio_in(ctx.get(), "aaa\xC3\xA9", buf, 4, 1 | tq::kStrioValue), 0);
  EXPECT_STREQ(buf, "aaa");
  EXPECT_EQ(tq::strio_in(ctx.get(), "aaa\xC3\xA9", buf, 4, 1), -802);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(tq::strio_out(ctx.get(), "aaa\xC3\xA9", buf, 4, 1), 0);
  EXPECT_STREQ(buf, "aaa");
  // Byte-for-byte copies cut between characters too.
  std::memset(buf, 0x55, sizeof buf);
  EXPECT_EQ(tq::strio_in(ctx.get(), "aaa\xC3\xA9", buf, 4, 0), 0);
  EXPECT_STREQ(buf, "aaa");
  EXPECT_EQ(static_cast<unsigned char>(buf[5]), 0x55u);
  EXPECT_EQ(tq::strio_in(ctx.get(), "aaa\xC3\xA9", buf, 5, 0), 0);
  EXPECT_STREQ(buf, "aaa\xC3\xA9");
  // Latin-1 to UTF-8 doubles é: three of them in 5 bytes keep two.
  ctx->session_encoding = 0;
  EXPECT_EQ(tq::strio_in(ctx.get(), "\xE9\xE9\xE9", buf, 5, 1 | tq::kStrioValue), 0);
  EXPECT_STREQ(buf, "\xC3\xA9\xC3\xA9");
  // UCS-2 out: max 5 bytes hold two units, then the two-byte terminator;
  // nothing is written past max + 2.
  ctx->session_encoding = 15;
  std::memset(buf, 0x55, sizeof buf);
  EXPECT_EQ(tq::strio_out(ctx.get(), "ABCD", buf, 5, 1), 0);
  EXPECT_EQ(bytes(buf, 8), std::string("A\0B\0\0\0\x55\x55", 8));
  // Flag clear in a UCS-2 session: internal UTF-8 text, one terminator
  // byte, as its buffer of max + 1 (or size) bytes holds.
  std::memset(buf, 0x55, sizeof buf);
  EXPECT_EQ(tq::strio_out(ctx.get(), "ABCDEFG", buf, 4, 0), 0);
  EXPECT_EQ(bytes(buf, 7), std::string("ABCD\0\x55\x55", 7));
  std::memset(buf, 0x55, sizeof buf);
  EXPECT_EQ(tq::strio_out_sized(ctx.get(), "ABCDEFG", buf, 5, 0), 0);
  EXPECT_EQ(bytes(buf, 7), std::string("ABCD\0\x55\x55", 7));
  // The fixed maxima: 1,024 bytes of text plus one terminator.
  ctx->session_encoding = 13;
  std::string big(3000, 'x');
  std::string dst(1100, '\x55');
  EXPECT_EQ(tq::strio_in_1024(ctx.get(), big.c_str(), dst.data(), 1 | tq::kStrioValue), 0);
  EXPECT_EQ(std::strlen(dst.c_str()), 1024u);
  EXPECT_EQ(dst[1025], '\x55');
  std::string out(1100, '\x55');
  EXPECT_EQ(tq::strio_out_1028(ctx.get(), big.c_str(), out.data(), 1), 0);
  EXPECT_EQ(std::strlen(out.c_str()), 1028u);
  EXPECT_EQ(out[1029], '\x55');
}

TEST(Strio, ReadInPlaceOnlyWhereConvertingWouldCopyUnchanged) {
  struct Case {
    const char* text;
    bool in_place;  // in a UTF-8 session, max 8
  };
  const Case cases[] = {
      {"", true},           {"abc", true},          {"12345678", true},        {"123456789", false},
      {"a\xC3\xA9", true},  {"1234567\xC3\xA9", false}, {"a\x80z", false},        {"\xED\xA0\x80", false},
      {"\xC0\xAF", false}, {"\xF0\x9F\x98\x80!", true}, {"\xF0\x9F\x98", false},
  };
  for (int32_t encoding : {tq::kEncodingUtf8, 0}) {
    for (uint32_t options : {1u, 1u | tq::kOptStrictConversion, 1u | tq::kOptWarnReplaced}) {
      // Only values (and texts not kept) are read where they lie: a text
      // the knowledge base may keep is checked in its copy.
      for (uint32_t flags : {tq::kStrioValue, tq::kStrioConvert | tq::kStrioValue, tq::kStrioUnkept}) {
        auto ctx = bare_context(encoding, options);
        for (const Case& c : cases) {
          char viewed[16];
          char copied[16];
          std::memset(viewed, 0x5A, sizeof viewed);
          std::memset(copied, 0x5A, sizeof copied);
          const char* out = nullptr;
          const int32_t rv = tq::strio_in_view(ctx.get(), c.text, viewed, 8, flags, &out);
          const int32_t rc = tq::strio_in(ctx.get(), c.text, copied, 8, flags);
          const bool utf8_reading = (flags & tq::kStrioConvert) == 0 || encoding == tq::kEncodingUtf8;
          EXPECT_EQ(rv, rc) << c.text;
          EXPECT_STREQ(out, copied) << c.text;
          EXPECT_EQ(out == c.text, utf8_reading && c.in_place) << c.text << " enc " << encoding << " flags " << flags;
        }
      }
    }
  }
}

TEST(Strio, ClearAndEmpty) {
  auto ctx = bare_context(14);
  char buf[8];
  std::memset(buf, 0x55, sizeof buf);
  tq::strio_out_clear(ctx.get(), buf);
  EXPECT_EQ(bytes(buf, 5), std::string("\0\0\0\0\x55", 5));
  std::memset(buf, 0x55, sizeof buf);
  tq::strio_out_clear_n(ctx.get(), buf, 2);
  EXPECT_EQ(bytes(buf, 3), std::string("\0\0\x55", 3));
  tq::strio_out_clear_n(ctx.get(), nullptr, 2);

  EXPECT_EQ(tq::strio_is_empty(ctx.get(), nullptr, 1), 1);
  EXPECT_EQ(tq::strio_is_empty(ctx.get(), std::string("\0\0", 2).c_str(), 1), 1);
  // "A" in UCS-2 big endian starts with a zero byte but is not empty.
  const std::string ucs_a("\0A\0\0", 4);
  EXPECT_EQ(tq::strio_is_empty(ctx.get(), ucs_a.c_str(), 1), 0);
  EXPECT_EQ(tq::strio_is_empty(ctx.get(), ucs_a.c_str(), 0), 1);
  ctx->session_encoding = 0;
  EXPECT_EQ(tq::strio_is_empty(ctx.get(), "", 1), 1);
  EXPECT_EQ(tq::strio_is_empty(ctx.get(), "x", 1), 0);
  EXPECT_EQ(tq::strio_is_empty(nullptr, "", 1), 0);
  EXPECT_EQ(tq::strio_terminator_size(ctx.get()), 1u);
  ctx->session_encoding = 15;
  EXPECT_EQ(tq::strio_terminator_size(ctx.get()), 2u);
}

TEST(SessionEncoding, ExportImplementations) {
  auto ctx = bare_context(0);
  uint32_t enc = 99;
  EXPECT_EQ(tq::session_encoding_get(ctx.get(), &enc), 0);
  EXPECT_EQ(enc, 0u);
  EXPECT_EQ(tq::session_encoding_set(ctx.get(), 16), -802);
  EXPECT_EQ(tq::session_encoding_set(ctx.get(), 0xFFFFFFFFu), -802);
  EXPECT_EQ(ctx->session_encoding, 0);
  EXPECT_EQ(tq::session_encoding_set(ctx.get(), 15), 0);
  EXPECT_EQ(ctx->session_encoding, 15);

  char name[330];
  std::memset(name, 0x55, sizeof name);
  EXPECT_EQ(tq::session_encoding_name_get(ctx.get(), name), 0);
  std::string want;
  for (char c : std::string("UCS-2 Little Endian")) want += std::string{c, '\0'};
  want += std::string("\0\0", 2);
  EXPECT_EQ(bytes(name, want.size()), want);

  // The name comes in through the session encoding.
  EXPECT_EQ(tq::encoding_get_by_name(ctx.get(), want.c_str(), &enc), 0);
  EXPECT_EQ(enc, 15u);
  ctx->session_encoding = 13;
  EXPECT_EQ(tq::encoding_get_by_name(ctx.get(), "UTF-8", &enc), 0);
  EXPECT_EQ(enc, 13u);
  EXPECT_EQ(tq::encoding_get_by_name(ctx.get(), "utf-8", &enc), -1);
  EXPECT_EQ(enc, 0xFFFFFFFFu);
  // A refused character fails before *enc is touched.
  ctx->options = 1 | tq::kOptStrictConversion;
  enc = 7;
  EXPECT_EQ(tq::encoding_get_by_name(ctx.get(), "UTF\xFF", &enc), -10000);
  EXPECT_EQ(enc, 7u);
  // A replaced one still looks the name up and passes the warning on.
  ctx->options = 1 | tq::kOptWarnReplaced;
  EXPECT_EQ(tq::encoding_get_by_name(ctx.get(), "UTF\xFF", &enc), -1);

  ctx->session_encoding = -1;
  std::memset(name, 0x55, sizeof name);
  EXPECT_EQ(tq::session_encoding_name_get(ctx.get(), name), -1);
  EXPECT_EQ(bytes(name, 5), std::string("\0\0\0\0\x55", 5));
}

TEST(Casing, SpecialLanguages) {
  EXPECT_STREQ(tq::case_locale_special_lang_get(123792), "tr");
  EXPECT_STREQ(tq::case_locale_special_lang_get(123000), "tr");
  EXPECT_STREQ(tq::case_locale_special_lang_get(800005), "tr");
  EXPECT_STREQ(tq::case_locale_special_lang_get(800430), "az");
  EXPECT_STREQ(tq::case_locale_special_lang_get(800440), "az");
  EXPECT_STREQ(tq::case_locale_special_lang_get(803220), "lt");
  EXPECT_STREQ(tq::case_locale_special_lang_get(803230), "lt");
  EXPECT_EQ(tq::case_locale_special_lang_get(29840), nullptr);
  EXPECT_EQ(tq::case_locale_special_lang_get(0), nullptr);
}

TEST(Casing, BuiltinUppercaseIsBoundedAndLocaleAware) {
  auto ctx = bare_context();
  char out[1028];
  EXPECT_EQ(tq::case_upper_builtin(ctx.get(), "stra\xC3\x9F" "e", out, sizeof out), 0);
  EXPECT_STREQ(out, "STRASSE");
  EXPECT_EQ(tq::case_upper_builtin(ctx.get(), "istanbul", out, sizeof out), 0);
  EXPECT_STREQ(out, "ISTANBUL");
  ctx->current_locale_code = 123000;
  EXPECT_EQ(tq::case_upper_builtin(ctx.get(), "istanbul", out, sizeof out), 0);
  EXPECT_STREQ(out, "\xC4\xB0STANBUL");
  ctx->current_locale_code = 800430;
  EXPECT_EQ(tq::case_upper_builtin(ctx.get(), "i", out, sizeof out), 0);
  EXPECT_STREQ(out, "\xC4\xB0");
  // Lengthening stays within the size and cuts between characters.
  char small[8];
  std::memset(small, 0x55, sizeof small);
  ctx->current_locale_code = 0;
  EXPECT_EQ(tq::case_upper_builtin(ctx.get(), "stra\xC3\x9F" "e", small, 7), 0);
  EXPECT_STREQ(small, "STRASS");
  EXPECT_EQ(static_cast<unsigned char>(small[7]), 0x55u);
  ctx->current_locale_code = 123792;
  EXPECT_EQ(tq::case_upper_builtin(ctx.get(), "iii", small, 6), 0);
  EXPECT_STREQ(small, "\xC4\xB0\xC4\xB0");  // a third İ would need 7 bytes
  EXPECT_EQ(tq::case_upper_builtin(ctx.get(), "", small, 6), 0);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(tq::case_upper_builtin(ctx.get(), nullptr, small, 6), -802);
  EXPECT_EQ(tq::case_upper_builtin(ctx.get(), "a", nullptr, 6), -802);
  EXPECT_EQ(tq::case_upper_builtin(nullptr, "a", small, 6), 0);
  EXPECT_STREQ(small, "A");
}

TEST(Casing, InPlaceByLocaleAndCurrentLocale) {
  auto ctx = bare_context();
  // Turkish dotless and dotted i both ways.
  char text[16] = "Iiz";
  tq::case_lower_by_locale(ctx.get(), text, 123000, sizeof text);
  EXPECT_STREQ(text, "\xC4\xB1iz");
  tq::case_upper_by_locale(ctx.get(), text, 123000, sizeof text);
  EXPECT_STREQ(text, "I\xC4\xB0Z");
  tq::case_lower_by_locale(ctx.get(), text, 0, sizeof text);
  EXPECT_STREQ(text, "ii\xCC\x87z");  // root: İ lowers to i + combining dot
  // Lithuanian keeps the dot above an i with an accent.
  char lt[16] = "\xC3\x8C";  // Ì
  tq::case_lower_by_locale(ctx.get(), lt, 803220, sizeof lt);
  EXPECT_STREQ(lt, "i\xCC\x87\xCC\x80");
  // Lengthening in place never writes past max_bytes.
  char buf[12];
  std::memset(buf, 0x55, sizeof buf);
  std::strcpy(buf, "iiiiii");  // 6 bytes; uppercased in Turkish it needs 12
  tq::case_upper_by_locale(ctx.get(), buf, 123000, 8);
  EXPECT_STREQ(buf, "\xC4\xB0\xC4\xB0\xC4\xB0");
  EXPECT_EQ(static_cast<unsigned char>(buf[8]), 0x55u);
  // A text without a terminator inside the bound is read only up to it.
  char raw[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
  tq::case_upper_by_locale(ctx.get(), raw, 0, 4);
  EXPECT_STREQ(raw, "ABC");
  tq::case_upper_by_locale(ctx.get(), nullptr, 0, 4);

  ctx->current_locale_code = 800440;
  char word[32] = "jean-paul ipek";
  tq::case_title_current_locale(ctx.get(), word, sizeof word);
  EXPECT_STREQ(word, "Jean-Paul \xC4\xB0pek");
  tq::case_upper_current_locale(ctx.get(), word, sizeof word);
  EXPECT_STREQ(word, "JEAN-PAUL \xC4\xB0PEK");
  tq::case_lower_current_locale(ctx.get(), word, sizeof word);
  EXPECT_STREQ(word, "jean-paul ipek");
  ctx->current_locale_code = 0;
  std::strcpy(word, "stra\xC3\x9F" "e");
  tq::case_upper_current_locale(ctx.get(), word, sizeof word);
  EXPECT_STREQ(word, "STRASSE");
}

}  // namespace

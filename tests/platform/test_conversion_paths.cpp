// The fast conversions against the character-at-a-time ones they replace:
// for every charset of the session encodings, both directions, strict and
// replacing, random and edge inputs and every output size up to past the
// text, the output bytes (the whole buffer) and the result must be the same.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/npuchar.h"

namespace {

using namespace tq;

constexpr uint32_t kCharsets[] = {kNpCharsetIso8859_1, kNpCharsetIbm1047, kNpCharsetIso8859_2, kNpCharsetIso8859_7,
                                  kNpCharsetIso8859_11, kNpCharsetIso8859_5, kNpCharsetIso8859_9, kNpCharsetCp1252,
                                  kNpCharsetCp1250, kNpCharsetCp1253, kNpCharsetCp874, kNpCharsetCp1251,
                                  kNpCharsetCp1254, kNpCharsetUtf8, kNpCharsetUcs2Be, kNpCharsetUcs2Le};

using convert_fn = int32_t (*)(uint32_t, const char*, char*, uint32_t);

// Runs both forms over one input at sizes 0 .. length + 5 and one roomy size.
void same_everywhere(convert_fn fast, convert_fn reference, uint32_t flags, const std::string& in,
                     const char* what) {
  std::string src = in;
  src.append(4, '\0');  // room for any terminator, UCS-2's included
  std::vector<uint32_t> sizes;
  for (uint32_t n = 0; n <= in.size() + 5; ++n) sizes.push_back(n);
  sizes.push_back(static_cast<uint32_t>(in.size() * 4 + 8));
  for (uint32_t size : sizes) {
    std::vector<char> a(size + 8, '\x5A');
    std::vector<char> b(size + 8, '\x5A');
    const int32_t ra = fast(flags, src.data(), a.data(), size);
    const int32_t rb = reference(flags, src.data(), b.data(), size);
    ASSERT_EQ(ra, rb) << what << " flags " << std::hex << flags << " size " << std::dec << size;
    ASSERT_EQ(a, b) << what << " flags " << std::hex << flags << " size " << std::dec << size;
  }
}

std::string utf8_of(uint32_t cp) {
  std::string s;
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | (cp >> 6));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | (cp >> 12));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (cp >> 18));
    s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return s;
}

// Pieces of UTF-8 input: ASCII runs of odd lengths, characters of many
// scripts (mappable in some charsets, not in others), and ill-formed
// sequences of every kind.
std::vector<std::string> utf8_pieces() {
  std::vector<std::string> p = {"a", "Ab", "xyz", "Hello", "1234567", " ", "-", "?"};
  for (uint32_t cp : {0xA0u, 0xC4u, 0xDFu, 0xE9u, 0xFFu, 0x104u, 0x15Eu, 0x160u, 0x192u, 0x2C6u, 0x391u, 0x3C9u,
                      0x410u, 0x44Fu, 0xE01u, 0xE5Bu, 0x2013u, 0x2026u, 0x20ACu, 0x2122u, 0x4E00u, 0xFFFDu,
                      0xFFFEu, 0x1F600u, 0x10FFFFu}) {
    p.push_back(utf8_of(cp));
  }
  for (const char* bad : {"\x80", "\xBF", "\xC0\x80", "\xC1\xBF", "\xC3", "\xE0\x80\x80", "\xE0\xA0", "\xED\xA0\x80",
                          "\xEF\xBF", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF0\x9F\x98", "\xF5\x80\x80\x80",
                          "\xFE", "\xFF", "\xC3\x28"}) {
    p.push_back(bad);
  }
  return p;
}

std::string random_text(std::mt19937& rng, const std::vector<std::string>& pieces, int max_pieces) {
  std::uniform_int_distribution<int> count(1, max_pieces);
  std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
  std::string s;
  for (int i = count(rng); i > 0; --i) s += pieces[pick(rng)];
  return s;
}

TEST(ConversionPaths, FastMatchesCharacterAtATimeEverywhere) {
  std::mt19937 rng(20261207);
  const std::vector<std::string> pieces = utf8_pieces();
  // Single-byte source pieces: ASCII runs and every byte from 0x80 up.
  std::vector<std::string> byte_pieces = {"a", "Ab", "xyz", "Hello", "1234567", " "};
  for (int b = 0x01; b < 0x100; b += (b < 0x80 ? 9 : 1)) byte_pieces.emplace_back(1, static_cast<char>(b));
  for (uint32_t charset : kCharsets) {
    const bool ucs2 = charset == kNpCharsetUcs2Be || charset == kNpCharsetUcs2Le;
    for (uint32_t extra : {kNpUcharCompat, kNpUcharCompat | kNpUcharStrict}) {
      const uint32_t flags = charset | extra;
      // UTF-8 -> charset: fixed edge texts, then random mixes.
      std::vector<std::string> texts = {"", "plain ascii only", std::string(300, 'q'), "ab\xC3\xA9" "cd\x80" "ef",
                                        "\xE2\x82\xAC\xE2\x82\xAC x \xF0\x9F\x98\x80"};
      for (int i = 0; i < 60; ++i) texts.push_back(random_text(rng, pieces, 12));
      for (const std::string& t : texts) same_everywhere(np_uchar_decode, np_uchar_decode_reference, flags, t, "decode");
      if (ucs2) continue;
      // charset -> UTF-8 (UCS-2 sources take the one general path).
      std::vector<std::string> sources = {"", "ascii run", std::string(257, 'z')};
      const auto& source_pieces = charset == kNpCharsetUtf8 ? pieces : byte_pieces;
      for (int i = 0; i < 60; ++i) sources.push_back(random_text(rng, source_pieces, 12));
      for (const std::string& t : sources) same_everywhere(np_uchar_encode, np_uchar_encode_reference, flags, t, "encode");
    }
  }
}

TEST(ConversionPaths, ValidLengthAgreesWithTheConversion) {
  std::mt19937 rng(7);
  const std::vector<std::string> pieces = utf8_pieces();
  std::vector<std::string> texts = {"", "a", "\xC3\xA9", std::string(64, 'x')};
  for (int i = 0; i < 300; ++i) texts.push_back(random_text(rng, pieces, 8));
  for (const std::string& t : texts) {
    std::vector<char> out(t.size() * 3 + 8);
    const bool well_formed =
        np_uchar_decode_reference(kNpCharsetUtf8 | kNpUcharStrict, t.c_str(), out.data(),
                                  static_cast<uint32_t>(out.size())) == 0 &&
        std::string(out.data()) == t;
    for (uint32_t max : {0u, 1u, static_cast<uint32_t>(t.size()) - (t.empty() ? 0 : 1),
                         static_cast<uint32_t>(t.size()), 4096u}) {
      const int32_t expected = well_formed && t.size() <= max ? static_cast<int32_t>(t.size()) : -1;
      EXPECT_EQ(np_uchar_valid_length(t.c_str(), max), expected) << "max " << max;
    }
  }
  EXPECT_EQ(np_uchar_valid_length(nullptr, 10), -1);
}

// The measured length of a whole conversion is what the conversion writes
// given room (a cut and the size a caller needs are told from it), in both
// directions and every charset, replaced characters included.
TEST(ConversionPaths, MeasuredLengthIsWhatTheConversionWrites) {
  std::mt19937 rng(102);
  const std::vector<std::string> pieces = utf8_pieces();
  const auto written = [](const std::vector<char>& out, bool ucs2) {
    size_t n = 0;
    while (ucs2 ? (out[n] != 0 || out[n + 1] != 0) : out[n] != 0) n += ucs2 ? 2 : 1;
    return static_cast<int64_t>(n);
  };
  for (uint32_t charset : kCharsets) {
    const bool ucs2 = charset == kNpCharsetUcs2Be || charset == kNpCharsetUcs2Le;
    for (int i = 0; i < 80; ++i) {
      std::string t = random_text(rng, pieces, 10);
      t.append(4, '\0');
      std::vector<char> out(t.size() * 4 + 8, '\x5A');
      ASSERT_GE(np_uchar_decode(charset, t.data(), out.data(), static_cast<uint32_t>(out.size())), 0);
      ASSERT_EQ(np_uchar_decode_length(charset, t.data()), written(out, ucs2)) << "decode " << charset << " " << t;
      // And back: the charset's text (with its terminator) to UTF-8.
      std::vector<char> back(out.size() * 3 + 8, '\x5A');
      ASSERT_GE(np_uchar_encode(charset, out.data(), back.data(), static_cast<uint32_t>(back.size())), 0);
      ASSERT_EQ(np_uchar_encode_length(charset, out.data()), written(back, false)) << "encode " << charset;
    }
  }
  EXPECT_EQ(np_uchar_decode_length(99, "x"), -1);
  EXPECT_EQ(np_uchar_encode_length(kNpCharsetUtf8, nullptr), -1);
}

}  // namespace

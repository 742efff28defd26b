#include "guess/krgcase.h"

#include <cstring>

#include "core/krcaseloc.h"
#include "platform/npuchar.h"
#include "platform/nputf8.h"

namespace tq {

namespace {

// The texts of the road: a value of 1,024 bytes with its terminator.
constexpr uint32_t kRoadText = 1025;

// Without language rules, uppercasing maps each character on its own. For
// the characters of two UTF-8 bytes (U+0080 .. U+07FF: Latin, Greek,
// Cyrillic and more) the table holds what that mapping gives, taken from
// the same case mapping once, when it is one character of two bytes again;
// 0 sends the text to the case mapping (sharp s, or a capital of another
// length).
struct two_byte_upper {
  uint16_t to[0x800] = {};
  two_byte_upper() {
    for (uint32_t c = 0x80; c < 0x800; ++c) {
      const char in[3] = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F)), '\0'};
      char out[16];
      if (np_uchar_upper_cs(in, out, sizeof out, nullptr) != 2) continue;
      const auto b0 = static_cast<unsigned char>(out[0]);
      const auto b1 = static_cast<unsigned char>(out[1]);
      if (b0 < 0xC2 || b0 > 0xDF || (b1 & 0xC0) != 0x80) continue;
      to[c] = static_cast<uint16_t>(((b0 & 0x1F) << 6) | (b1 & 0x3F));
    }
  }
};

// True when the table uppercased the text (ASCII and table characters
// only); else the text is unchanged.
bool upper_by_table(char* text) {
  static const two_byte_upper table;
  auto* p = reinterpret_cast<unsigned char*>(text);
  size_t i = 0;
  for (; p[i] != 0; ++i) {
    if (p[i] < 0x80) continue;
    if (p[i] < 0xC2 || p[i] > 0xDF || (p[i + 1] & 0xC0) != 0x80) return false;
    if (table.to[((p[i] & 0x1F) << 6) | (p[i + 1] & 0x3F)] == 0) return false;
    ++i;
  }
  for (i = 0; p[i] != 0; ++i) {
    if (p[i] < 0x80) {
      if (p[i] >= 'a' && p[i] <= 'z') p[i] = static_cast<unsigned char>(p[i] - 'a' + 'A');
      continue;
    }
    const uint16_t u = table.to[((p[i] & 0x1F) << 6) | (p[i + 1] & 0x3F)];
    p[i] = static_cast<unsigned char>(0xC0 | (u >> 6));
    p[i + 1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
    ++i;
  }
  return true;
}

}  // namespace

const char* guess_casing_lang(const context* ctx) {
  return case_locale_special_lang_get(ctx != nullptr ? ctx->current_locale_code : 0);
}

void guess_upper_current_locale(context* ctx, char* text, uint32_t size) {
  if (text == nullptr || size == 0) return;
  const char* lang = guess_casing_lang(ctx);
  const size_t len = strnlen(text, size);
  if (len == size || size > kRoadText) {
    case_upper_current_locale(ctx, text, size);
    return;
  }
  if (lang == nullptr && upper_by_table(text)) return;
  // The case mapping writes over its source; a failure gives the text back
  // as it was, as case_upper_current_locale does, without a scratch text
  // from the heap.
  char saved[kRoadText];
  std::memcpy(saved, text, len + 1);
  if (np_uchar_upper_cs(saved, text, size, lang) < 0) std::memcpy(text, saved, len + 1);
}

}  // namespace tq

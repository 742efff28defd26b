#include "platform/tqmsg.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kMessageSize = 4100;

// The length of `s[0, len)` without a last character that the cut left
// incomplete, so a cut text never ends in half a character.
std::size_t utf8_cut(const char* s, std::size_t len) {
  std::size_t start = len;
  while (start > 0 && (static_cast<unsigned char>(s[start - 1]) & 0xC0) == 0x80) --start;
  if (start == 0) return len;
  unsigned char lead = static_cast<unsigned char>(s[start - 1]);
  std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  std::size_t have = len - (start - 1);
  return have < need ? start - 1 : len;
}

}  // namespace

int32_t tqmsg12_set_locale(const char* locale) {
  if (locale == nullptr) return -1;
  std::size_t n = std::strlen(locale);
  if (n < 2 || n > 19) return -1;
  for (std::size_t i = 0; i < n; ++i) {
    char c = locale[i];
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letter) return -1;
  }
  return 0;
}

int32_t tqmsg12_get_loc_vmessage(const char* file, uint32_t line, const char* locale,
                                 const char* catalogue, int32_t number, char* dest, va_list args) {
  (void)file;
  (void)line;
  (void)locale;
  (void)catalogue;
  if (dest == nullptr) return -1;
  dest[0] = '\0';
  const char* format = tq::msg::find_format(number);
  if (format == nullptr) return -1;
  // The format comes from our own compile-time checked table, never from a caller.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  int n = std::vsnprintf(dest, kMessageSize, format, args);
#pragma GCC diagnostic pop
  if (n < 0) {
    dest[0] = '\0';
    return -1;
  }
  if (static_cast<std::size_t>(n) >= kMessageSize) {
    std::size_t len = utf8_cut(dest, kMessageSize - 1);
    dest[len] = '\0';
  }
  return 0;
}

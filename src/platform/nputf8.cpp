#include "platform/nputf8.h"

#include <unicode/uchar.h>

#include <cstring>

namespace tq {

namespace {

inline bool is_continuation(unsigned char b) { return (b & 0xC0u) == 0x80u; }

// Length of the sequence a lead byte announces; 1 for anything that cannot
// lead a multi-byte sequence.
inline size_t lead_length(unsigned char b) {
  if (b >= 0xC2u && b <= 0xDFu) return 2;
  if (b >= 0xE0u && b <= 0xEFu) return 3;
  if (b >= 0xF0u && b <= 0xF4u) return 4;
  return 1;
}

}  // namespace

int32_t np_uchar_toint(const char** cursor, int32_t* code) {
  const auto* p = reinterpret_cast<const unsigned char*>(*cursor);
  const unsigned char b0 = p[0];
  if (b0 < 0x80u) {
    *code = b0;
    *cursor += 1;
    return 1;
  }
  // The range the second byte must lie in closes off overlong forms,
  // surrogates and values above U+10FFFF.
  uint32_t need = 0;
  uint32_t value = 0;
  unsigned char lo = 0x80u;
  unsigned char hi = 0xBFu;
  if (b0 >= 0xC2u && b0 <= 0xDFu) {
    need = 1;
    value = b0 & 0x1Fu;
  } else if (b0 >= 0xE0u && b0 <= 0xEFu) {
    need = 2;
    value = b0 & 0x0Fu;
    if (b0 == 0xE0u) lo = 0xA0u;
    if (b0 == 0xEDu) hi = 0x9Fu;
  } else if (b0 >= 0xF0u && b0 <= 0xF4u) {
    need = 3;
    value = b0 & 0x07u;
    if (b0 == 0xF0u) lo = 0x90u;
    if (b0 == 0xF4u) hi = 0x8Fu;
  } else {
    *code = -1;
    *cursor += 1;
    return -1;
  }
  for (uint32_t i = 1; i <= need; ++i) {
    const unsigned char b = p[i];  // a zero byte fails the test below, so we stop at the terminator
    const bool ok = (i == 1) ? (b >= lo && b <= hi) : is_continuation(b);
    if (!ok) {
      *code = -1;
      *cursor += 1;
      return -1;
    }
    value = (value << 6) | (b & 0x3Fu);
  }
  *code = static_cast<int32_t>(value);
  *cursor += need + 1;
  return static_cast<int32_t>(need + 1);
}

int32_t np_uchar_intcopy(int32_t code, char* out, uint32_t room) {
  if (code < 0 || code > kMaxCodePoint || (code >= 0xD800 && code <= 0xDFFF)) return -1;
  const auto c = static_cast<uint32_t>(code);
  unsigned char buf[4];
  uint32_t n = 0;
  if (c < 0x80u) {
    buf[0] = static_cast<unsigned char>(c);
    n = 1;
  } else if (c < 0x800u) {
    buf[0] = static_cast<unsigned char>(0xC0u | (c >> 6));
    buf[1] = static_cast<unsigned char>(0x80u | (c & 0x3Fu));
    n = 2;
  } else if (c < 0x10000u) {
    buf[0] = static_cast<unsigned char>(0xE0u | (c >> 12));
    buf[1] = static_cast<unsigned char>(0x80u | ((c >> 6) & 0x3Fu));
    buf[2] = static_cast<unsigned char>(0x80u | (c & 0x3Fu));
    n = 3;
  } else {
    buf[0] = static_cast<unsigned char>(0xF0u | (c >> 18));
    buf[1] = static_cast<unsigned char>(0x80u | ((c >> 12) & 0x3Fu));
    buf[2] = static_cast<unsigned char>(0x80u | ((c >> 6) & 0x3Fu));
    buf[3] = static_cast<unsigned char>(0x80u | (c & 0x3Fu));
    n = 4;
  }
  if (out == nullptr || n > room) return 0;
  std::memcpy(out, buf, n);
  return static_cast<int32_t>(n);
}

int32_t np_uchar_length(const char* text) {
  if (text == nullptr) return 0;
  int32_t count = 0;
  const char* p = text;
  int32_t code = 0;
  while (*p != '\0') {
    // ASCII needs no decoding; anything else counts as the decoder steps.
    if (static_cast<unsigned char>(*p) < 0x80) {
      ++p;
    } else {
      np_uchar_toint(&p, &code);
    }
    ++count;
  }
  return count;
}

int32_t np_uchar_seek(const char* text, int32_t n) {
  if (text == nullptr || n <= 0) return 0;
  const char* p = text;
  int32_t code = 0;
  for (int32_t i = 0; i < n && *p != '\0'; ++i) np_uchar_toint(&p, &code);
  return static_cast<int32_t>(p - text);
}

int32_t np_uchar_isspace(int32_t code) {
  if (code < 0 || code > kMaxCodePoint) return 0;
  return u_isUWhiteSpace(static_cast<UChar32>(code)) ? 1 : 0;
}

size_t np_uchar_cut(const char* text, size_t n) {
  if (n == 0) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  // Find where the character holding byte n-1 starts (at most three
  // continuation bytes back), then see whether it ends within n.
  size_t s = n - 1;
  for (int i = 0; i < 3 && s > 0 && is_continuation(p[s]); ++i) --s;
  if (s + lead_length(p[s]) > n) return s;
  return n;
}

uint32_t np_uchar_bufcopy(char* dest, const char* src, uint32_t size) {
  if (dest == nullptr || size == 0) return 0;
  if (src == nullptr) {
    dest[0] = '\0';
    return 0;
  }
  size_t n = strnlen(src, size);
  if (n == size) n = np_uchar_cut(src, size - 1);
  std::memmove(dest, src, n);
  dest[n] = '\0';
  return static_cast<uint32_t>(n);
}

int32_t np_uchar_trim(char* text, uint32_t size) {
  if (text == nullptr || size == 0) return 0;
  size_t len = strnlen(text, size);
  if (len == size) {
    len = np_uchar_cut(text, size - 1);
    text[len] = '\0';
  }
  const char* p = text;
  int32_t code = 0;
  // Leading white space.
  while (*p != '\0') {
    const char* q = p;
    if (np_uchar_toint(&q, &code) < 0 || !np_uchar_isspace(code)) break;
    p = q;
  }
  // Trailing white space: remember where the last other character ends.
  const char* start = p;
  const char* keep_end = p;
  while (*p != '\0') {
    if (np_uchar_toint(&p, &code) < 0 || !np_uchar_isspace(code)) keep_end = p;
  }
  const size_t kept = static_cast<size_t>(keep_end - start);
  std::memmove(text, start, kept);
  text[kept] = '\0';
  return static_cast<int32_t>(kept);
}

}  // namespace tq

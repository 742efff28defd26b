#include "core/krstr.h"

#include <cstdlib>
#include <cstring>

#include "core/krcaseloc.h"
#include "platform/nputf8.h"
#include "platform/npmem.h"

namespace tq {

size_t str_copy_bounded(char* out, const char* text, uint32_t size) {
  if (text == nullptr) text = "";
  const size_t len = std::strlen(text);
  if (out == nullptr || size == 0) return len;
  const size_t n = len < size ? len : np_uchar_cut(text, size - 1);
  std::memmove(out, text, n);
  out[n] = '\0';
  return len;
}

char* str_dup(const char* text) {
  if (text == nullptr) return nullptr;
  const size_t n = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(np_malloc(n));
  if (copy != nullptr) std::memcpy(copy, text, n);
  return copy;
}

char* str_from_int(int32_t value, char* out) {
  if (out == nullptr) return nullptr;
  char digits[kIntTextSize];
  // Work on the magnitude as unsigned so that INT32_MIN has one too.
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  uint32_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0);
  char* p = out;
  if (value < 0) *p++ = '-';
  while (n > 0) *p++ = digits[--n];
  *p = '\0';
  return out;
}

int32_t str_has_comma(const char* text) {
  return (text != nullptr && std::strchr(text, ',') != nullptr) ? -1 : 0;
}

int32_t str_stem_compare(const char* a, const char* b) {
  if (a == nullptr) a = "";
  if (b == nullptr) b = "";
  for (size_t i = 0;; ++i) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if (ca != cb) return static_cast<int32_t>(ca) - static_cast<int32_t>(cb);
    if (ca == '.' || ca == '\0') return 0;
  }
}

int32_t str_case_fold(context* /*ctx*/, char* text, int32_t lower) {
  if (text == nullptr) return 0;
  // ASCII only: the runtime's toupper/tolower would treat the bytes of
  // multi-byte characters as letters of some code page and break them.
  for (char* p = text; *p != '\0'; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    if (lower) {
      if (c >= 'A' && c <= 'Z') *p = static_cast<char>(c - 'A' + 'a');
    } else {
      if (c >= 'a' && c <= 'z') *p = static_cast<char>(c - 'a' + 'A');
    }
  }
  return 0;
}

void str_trim(char* text) { np_uchar_trim(text, kTrimSize); }

int32_t uchar_get(const char** cursor, int32_t* code) {
  int32_t dummy = 0;
  int32_t& out = code != nullptr ? *code : dummy;
  if (cursor == nullptr || *cursor == nullptr) {
    out = 0;
    return 0;
  }
  if (np_uchar_toint(cursor, &out) < 0) {
    out = '?';
    return kRcBadCharacter;
  }
  return 0;
}

int32_t uchar_put(int32_t code, char** out, uint32_t* room) {
  if (out == nullptr || *out == nullptr || room == nullptr) return 0;
  int32_t n = np_uchar_intcopy(code, *out, *room);
  if (n < 0) n = np_uchar_intcopy('?', *out, *room);
  if (n <= 0) return 0;
  *out += n;
  *room -= static_cast<uint32_t>(n);
  return n;
}

int32_t uchar_array_to_text(const int32_t* codes, char* out, uint32_t room) {
  if (out == nullptr || room == 0) return 0;
  // One byte stays for the terminator whatever happens.
  char* p = out;
  uint32_t left = room - 1;
  if (codes != nullptr) {
    for (const int32_t* c = codes; *c != 0; ++c) {
      if (uchar_put(*c, &p, &left) == 0) break;
    }
  }
  *p = '\0';
  return static_cast<int32_t>(p - out);
}

int32_t uchar_text_to_array(const char* text, int32_t* codes, int32_t max) {
  if (text == nullptr || codes == nullptr) return 0;
  int32_t count = 0;
  const char* p = text;
  while (count < max) {
    int32_t code = 0;
    uchar_get(&p, &code);
    if (code == 0) break;
    codes[count++] = code;
  }
  return count;
}

int32_t uchar_is_space(int32_t code) { return np_uchar_isspace(code); }

int32_t uchar_is_space(const char* text) {
  if (text == nullptr) return 0;
  const char* p = text;
  int32_t code = 0;
  if (np_uchar_toint(&p, &code) < 0) return 0;
  return np_uchar_isspace(code);
}

uint32_t uchar_buf_copy(char* dest, const char* src, uint32_t size) { return np_uchar_bufcopy(dest, src, size); }

namespace {

// Matches of a against b where a[i] may pair with b[i] or b[i + 1], each
// position of b at most once.
int32_t window_matches(const int32_t* a, int32_t na, const int32_t* b, int32_t nb) {
  bool taken[kSimilarityMaxCodes] = {};
  int32_t matches = 0;
  for (int32_t i = 0; i < na; ++i) {
    for (int32_t j = i; j <= i + 1 && j < nb; ++j) {
      if (!taken[j] && b[j] == a[i]) {
        taken[j] = true;
        ++matches;
        break;
      }
    }
  }
  return matches;
}

}  // namespace

double str_similarity(context* ctx, uint32_t uppercased, const char* text1, const char* text2) {
  if (text1 == nullptr) text1 = "";
  if (text2 == nullptr) text2 = "";
  char upper1[1025];
  char upper2[1025];
  if (uppercased == 0) {
    // When uppercasing fails the texts are compared as given.
    if (case_upper_builtin(ctx, text1, upper1, sizeof upper1) >= 0) text1 = upper1;
    if (case_upper_builtin(ctx, text2, upper2, sizeof upper2) >= 0) text2 = upper2;
  }
  int32_t codes1[kSimilarityMaxCodes];
  int32_t codes2[kSimilarityMaxCodes];
  const int32_t n1 = uchar_text_to_array(text1, codes1, kSimilarityMaxCodes);
  const int32_t n2 = uchar_text_to_array(text2, codes2, kSimilarityMaxCodes);
  if (n1 == 0 || n2 == 0) return 0.0;
  const double ratio1 = static_cast<double>(window_matches(codes1, n1, codes2, n2)) / n1;
  const double ratio2 = static_cast<double>(window_matches(codes2, n2, codes1, n1)) / n2;
  // Summed in this order, then halved: callers truncate the score, and
  // thresholds stored in definitions were set against exactly these values.
  return (ratio2 + ratio1) * 0.5;
}

}  // namespace tq

// Message catalogue: message number -> format text. The texts are English
// and our own. Formats are looked up and checked against the argument types
// at compile time, so a report can never hand vsnprintf the wrong arguments.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <type_traits>

namespace tq::msg {

struct entry {
  int32_t number;
  const char* format;
};

inline constexpr entry kCatalog[] = {
#define TQ_MSG(n, f) {n, f},
#include "platform/tqmsg_catalog.inc"
#undef TQ_MSG
};

inline constexpr int32_t kCatalogSize = static_cast<int32_t>(sizeof(kCatalog) / sizeof(kCatalog[0]));

constexpr const char* find_format(int32_t n) {
  for (const entry& e : kCatalog) {
    if (e.number == n) return e.format;
  }
  return nullptr;
}

// Argument classes a format conversion accepts.
enum class arg_class { none, text, sint, uint, real, pointer, other };

template <typename T>
constexpr arg_class class_of() {
  using U = std::remove_cv_t<T>;
  if constexpr (std::is_same_v<U, const char*> || std::is_same_v<U, char*>) {
    return arg_class::text;
  } else if constexpr (std::is_same_v<U, bool>) {
    return arg_class::other;
  } else if constexpr (std::is_integral_v<U> && std::is_signed_v<U> && sizeof(U) <= 4) {
    return arg_class::sint;
  } else if constexpr (std::is_integral_v<U> && std::is_unsigned_v<U> && sizeof(U) <= 4) {
    return arg_class::uint;
  } else if constexpr (std::is_floating_point_v<U>) {
    return arg_class::real;
  } else if constexpr (std::is_pointer_v<U>) {
    return arg_class::pointer;
  } else {
    return arg_class::other;
  }
}

// The conversions of a format in order: %s text, %d/%i/%c signed, %u/%x
// unsigned, %g/%f real, %p pointer; "%%" is a literal. No flags, width or
// precision are allowed, which keeps every text's size predictable.
constexpr int conversions(const char* f, arg_class* out, int max) {
  int n = 0;
  for (const char* p = f; *p; ++p) {
    if (*p != '%') continue;
    ++p;
    arg_class c = arg_class::other;
    switch (*p) {
      case '%': continue;
      case 's': c = arg_class::text; break;
      case 'd': case 'i': case 'c': c = arg_class::sint; break;
      case 'u': case 'x': case 'X': c = arg_class::uint; break;
      case 'g': case 'f': c = arg_class::real; break;
      case 'p': c = arg_class::pointer; break;
      default: return -1;
    }
    if (n < max && out) out[n] = c;
    ++n;
  }
  return n;
}

template <int32_t N, typename... A>
constexpr bool args_match() {
  constexpr const char* f = find_format(N);
  if (f == nullptr) return false;
  arg_class want[16] = {};
  int n = conversions(f, want, 16);
  if (n != static_cast<int>(sizeof...(A))) return false;
  arg_class have[sizeof...(A) + 1] = {class_of<A>()..., arg_class::none};
  for (int i = 0; i < n; ++i) {
    arg_class w = want[i];
    arg_class h = have[i];
    bool ok = w == h || (w == arg_class::uint && h == arg_class::sint) ||
              (w == arg_class::sint && h == arg_class::uint);
    if (!ok) return false;
  }
  return true;
}

// What each argument becomes when passed through "...".
inline const char* vararg(const char* s) { return s ? s : "(null)"; }
inline const char* vararg(char* s) { return s ? s : "(null)"; }
template <typename T>
inline T vararg(T v) {
  return v;
}

}  // namespace tq::msg

// The catalogue interface in place of the closed message library.
// Accepts a locale of 2 to 19 letters; all texts are English.
int32_t tqmsg12_set_locale(const char* locale);
// Formats message `number` into `dest` (at most 4,100 bytes with the
// terminator, cut between characters). Negative for an unknown number.
int32_t tqmsg12_get_loc_vmessage(const char* file, uint32_t line, const char* locale,
                                 const char* catalogue, int32_t number, char* dest, va_list args);

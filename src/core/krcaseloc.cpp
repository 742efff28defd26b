#include "core/krcaseloc.h"

#include <cstring>
#include <new>

#include "core/krcorvel.h"
#include "core/krenc.h"
#include "platform/npuchar.h"
#include "platform/nputf8.h"

namespace tq {

namespace {

int32_t current_locale_code(const context* ctx) { return ctx != nullptr ? ctx->current_locale_code : 0; }

// Cases a text in place: the text held in a buffer of max_bytes bytes, up to
// its terminator or, when the buffer holds none, its first max_bytes - 1
// bytes cut between characters. The character library builds the cased
// form apart before writing it back within the buffer's size, and a failed
// mapping writes only the first byte, so restoring that byte puts the text
// back as it was, without a copy of its own. Out of memory (title casing's
// word-break iterator) is thrown as std::bad_alloc, which the call's frame
// answers with -600: a text left uncased would be a wrong result.
uint32_t case_in_place(context* ctx, uint32_t op, char* text, int32_t locale_code, uint32_t max_bytes) {
  if (text == nullptr || max_bytes == 0) return 0;
  size_t len = strnlen(text, max_bytes);
  if (len == max_bytes) len = np_uchar_cut(text, max_bytes - 1);
  const char first = text[0];
  uint32_t full = 0;
  const int32_t rc = np_uchar_case_n(op, text, static_cast<int32_t>(len), text, max_bytes,
                                     case_locale_special_lang_get(locale_code), &full,
                                     ctx != nullptr ? &ctx->case_cache : nullptr);
  if (rc < 0) {
    text[0] = first;
    text[len] = '\0';
    if (rc == -2) throw std::bad_alloc();
    return static_cast<uint32_t>(len);
  }
  return full;
}

}  // namespace

const char* case_locale_special_lang_get(int32_t locale_code) {
  switch (locale_code) {
    case 800430:
    case 800440:
      return "az";
    case 803220:
    case 803230:
      return "lt";
    case 123000:
    case 123792:
    case 800005:
      return "tr";
    default:
      return nullptr;
  }
}

uint32_t case_upper_by_locale(context* ctx, char* text, int32_t locale_code, uint32_t max_bytes) {
  return case_in_place(ctx, kNpCaseUpper, text, locale_code, max_bytes);
}

uint32_t case_lower_by_locale(context* ctx, char* text, int32_t locale_code, uint32_t max_bytes) {
  return case_in_place(ctx, kNpCaseLower, text, locale_code, max_bytes);
}

uint32_t case_title_by_locale(context* ctx, char* text, int32_t locale_code, uint32_t max_bytes) {
  return case_in_place(ctx, kNpCaseTitle, text, locale_code, max_bytes);
}

uint32_t case_upper_current_locale(context* ctx, char* text, uint32_t max_bytes) {
  return case_upper_by_locale(ctx, text, current_locale_code(ctx), max_bytes);
}

uint32_t case_upper_root(context* ctx, char* text, uint32_t max_bytes) {
  return case_in_place(ctx, kNpCaseUpper, text, 0, max_bytes);
}

uint32_t case_lower_current_locale(context* ctx, char* text, uint32_t max_bytes) {
  return case_lower_by_locale(ctx, text, current_locale_code(ctx), max_bytes);
}

uint32_t case_title_current_locale(context* ctx, char* text, uint32_t max_bytes) {
  return case_title_by_locale(ctx, text, current_locale_code(ctx), max_bytes);
}

void case_upper_current_locale_noted(context* ctx, char* text, uint32_t max_bytes, const char* what) {
  const uint32_t whole = case_upper_current_locale(ctx, text, max_bytes);
  if (max_bytes > 0 && whole > max_bytes - 1) strio_note_inside_cut(ctx, what, std::strlen(text), whole);
}

namespace {

int32_t upper_into(const char* lang, const char* in, char* out, uint32_t size, uint32_t* whole) {
  if (whole != nullptr) *whole = 0;
  if (out == nullptr || size == 0) return TQ_ERR_ARGUMENT;
  out[0] = '\0';
  if (in == nullptr) return TQ_ERR_ARGUMENT;
  if (in[0] == '\0') return 0;
  int32_t rc = np_uchar_case_n(kNpCaseUpper, in, -1, out, size, lang, whole);
  if (rc >= 0) return 0;
  return rc == -2 ? TQ_ERR_NO_MEMORY : -1;
}

}  // namespace

int32_t case_upper_builtin(context* ctx, const char* in, char* out, uint32_t size, uint32_t* whole) {
  return upper_into(case_locale_special_lang_get(current_locale_code(ctx)), in, out, size, whole);
}

int32_t case_upper_name(const char* in, char* out, uint32_t size, uint32_t* whole) {
  return upper_into(nullptr, in, out, size, whole);
}

}  // namespace tq

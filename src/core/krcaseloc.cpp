#include "core/krcaseloc.h"

#include <cstring>
#include <string>

#include "core/krcorvel.h"
#include "platform/npuchar.h"
#include "platform/nputf8.h"

namespace tq {

namespace {

using case_fn = int32_t (*)(const char*, char*, uint32_t, const char*);

int32_t current_locale_code(const context* ctx) { return ctx != nullptr ? ctx->current_locale_code : 0; }

// The text held in a buffer of `size` bytes: up to its terminator, or, when
// the buffer holds none, its first size - 1 bytes cut between characters.
std::string bounded_text(const char* text, uint32_t size) {
  size_t len = strnlen(text, size);
  if (len == size) len = np_uchar_cut(text, size - 1);
  return std::string(text, len);
}

// Cases a text in place. The cased form is built apart and written back
// within the buffer's size; when the case mapping fails the text is put back
// as it was.
void case_in_place(case_fn fn, char* text, int32_t locale_code, uint32_t max_bytes) {
  if (text == nullptr || max_bytes == 0) return;
  std::string scratch = bounded_text(text, max_bytes);
  if (fn(scratch.c_str(), text, max_bytes, case_locale_special_lang_get(locale_code)) < 0) {
    std::memcpy(text, scratch.c_str(), scratch.size() + 1);
  }
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

void case_upper_by_locale(context* ctx, char* text, int32_t locale_code, uint32_t max_bytes) {
  (void)ctx;
  case_in_place(np_uchar_upper_cs, text, locale_code, max_bytes);
}

void case_lower_by_locale(context* ctx, char* text, int32_t locale_code, uint32_t max_bytes) {
  (void)ctx;
  case_in_place(np_uchar_lower_cs, text, locale_code, max_bytes);
}

void case_title_by_locale(context* ctx, char* text, int32_t locale_code, uint32_t max_bytes) {
  (void)ctx;
  case_in_place(np_uchar_title_cs, text, locale_code, max_bytes);
}

void case_upper_current_locale(context* ctx, char* text, uint32_t max_bytes) {
  case_upper_by_locale(ctx, text, current_locale_code(ctx), max_bytes);
}

void case_lower_current_locale(context* ctx, char* text, uint32_t max_bytes) {
  case_lower_by_locale(ctx, text, current_locale_code(ctx), max_bytes);
}

void case_title_current_locale(context* ctx, char* text, uint32_t max_bytes) {
  case_title_by_locale(ctx, text, current_locale_code(ctx), max_bytes);
}

int32_t case_upper_builtin(context* ctx, const char* in, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return TQ_ERR_ARGUMENT;
  out[0] = '\0';
  if (in == nullptr) return TQ_ERR_ARGUMENT;
  if (in[0] == '\0') return 0;
  int32_t rc = np_uchar_upper_cs(in, out, size, case_locale_special_lang_get(current_locale_code(ctx)));
  if (rc >= 0) return 0;
  return rc == -2 ? TQ_ERR_NO_MEMORY : -1;
}

}  // namespace tq

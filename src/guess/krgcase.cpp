#include "guess/krgcase.h"

#include "core/krcaseloc.h"

namespace tq {

void guess_upper_current_locale(context* ctx, char* text, uint32_t size) {
  if (text == nullptr || size == 0) return;
  const int32_t code = ctx != nullptr ? ctx->current_locale_code : 0;
  if (case_locale_special_lang_get(code) == nullptr) {
    char* p = text;
    const char* end = text + size;
    while (p < end && *p != '\0' && static_cast<unsigned char>(*p) < 0x80) ++p;
    if (p < end && *p == '\0') {
      for (char* q = text; q < p; ++q) {
        if (*q >= 'a' && *q <= 'z') *q = static_cast<char>(*q - 'a' + 'A');
      }
      return;
    }
  }
  case_upper_current_locale(ctx, text, size);
}

}  // namespace tq

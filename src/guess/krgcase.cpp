#include "guess/krgcase.h"

#include <cstring>

#include "core/krcaseloc.h"
#include "platform/npuchar.h"
#include "platform/nputf8.h"

namespace tq {

namespace {

// The texts of the road: a value of 1,024 bytes with its terminator.
constexpr uint32_t kRoadText = 1025;

}  // namespace

void guess_upper_current_locale(context* ctx, char* text, uint32_t size) {
  if (text == nullptr || size == 0) return;
  const int32_t code = ctx != nullptr ? ctx->current_locale_code : 0;
  const char* lang = case_locale_special_lang_get(code);
  const size_t len = strnlen(text, size);
  if (len == size || size > kRoadText) {
    case_upper_current_locale(ctx, text, size);
    return;
  }
  if (lang == nullptr) {
    const char* p = text;
    while (*p != '\0' && static_cast<unsigned char>(*p) < 0x80) ++p;
    if (*p == '\0') {
      for (char* q = text; *q != '\0'; ++q) {
        if (*q >= 'a' && *q <= 'z') *q = static_cast<char>(*q - 'a' + 'A');
      }
      return;
    }
  }
  // The case mapping writes over its source; a failure gives the text back
  // as it was, as case_upper_current_locale does, without a scratch text
  // from the heap.
  char saved[kRoadText];
  std::memcpy(saved, text, len + 1);
  if (np_uchar_upper_cs(saved, text, size, lang) < 0) std::memcpy(text, saved, len + 1);
}

}  // namespace tq

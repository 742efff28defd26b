// Uppercasing for the guessing layer's main road: the current locale's
// rules as case_upper_current_locale applies them, with a direct path for
// texts of one- and two-byte characters in locales without special casing,
// where the result is the same and no scratch text is needed.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

namespace tq {

// Uppercases the text in place in a buffer of size bytes (terminator
// included), cut between characters.
void guess_upper_current_locale(context* ctx, char* text, uint32_t size);

// The language whose special rules that uppercasing follows ("tr", "az",
// "lt"), or NULL for the common rules: all it takes from the context, so
// two texts uppercased under the same value come out alike.
const char* guess_casing_lang(const context* ctx);

}  // namespace tq

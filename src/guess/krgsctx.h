// The parts the guessing layer (locale and language guessing) adds to every
// context: the scratch areas of its engines.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer guess_context_parts();

// The locale guess engine's work area, made on first use: 0, or -600
// (recorded).
extern const context_part kGuessWork;
inline int32_t guess_work_area_get(context* ctx, guess_work_area** out) {
  return context_work_get(ctx, &context::guess_work_area, kGuessWork, out);
}

// The context's scratch profile, refilled with every text it scores; -600.
int32_t lang_scratch_profile_create(context* ctx);
void lang_scratch_profile_free(context* ctx);

}  // namespace tq

// The parts the guessing layer (locale and language guessing) adds to every
// context: the scratch areas of its engines.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer guess_context_parts();

// The context's scratch profile, refilled with every text it scores; -600.
int32_t lang_scratch_profile_create(context* ctx);
void lang_scratch_profile_free(context* ctx);

}  // namespace tq

// The parts the matching layer (match definitions and the match engine) adds
// to every context: the work areas of its engines.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer match_context_parts();

// The match engine's work area, made on first use: 0, or -600 (recorded).
extern const context_part kMatchWork;
inline int32_t match_work_area_get(context* ctx, match_work_area** out) {
  return context_work_get(ctx, &context::match_work_area, kMatchWork, out);
}

}  // namespace tq

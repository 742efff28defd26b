// The parts the standardization layer (casing and standardization) adds to
// every context: the work areas of its engines.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer standardize_context_parts();

// The engines' work areas, made on first use: 0, or -600 (recorded).
extern const context_part kCaseWork;
inline int32_t case_work_get(context* ctx, case_work** out) {
  return context_work_get(ctx, &context::case_work, kCaseWork, out);
}
extern const context_part kStdznWork;
inline int32_t stdzn_work_area_get(context* ctx, stdzn_work_area** out) {
  return context_work_get(ctx, &context::stdzn_work_area, kStdznWork, out);
}

}  // namespace tq

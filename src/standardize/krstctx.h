// The parts the standardization layer (casing and standardization) adds to
// every context: the work areas of its engines.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer standardize_context_parts();

// The engines' work areas, made on first use: 0, or -600 (recorded).
int32_t case_work_get(context* ctx, case_work** out);
int32_t stdzn_work_area_get(context* ctx, stdzn_work_area** out);

}  // namespace tq

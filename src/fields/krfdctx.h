// The parts the field-analysis layer (identification, extraction, gender and
// pattern analysis) adds to every context: the work areas of its engines.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer fields_context_parts();

// The engines' work areas, made on first use: 0, or -600 (recorded).
int32_t ident_work_area_get(context* ctx, ident_work_area** out);
int32_t extract_work_area_get(context* ctx, extract_work_area** out);
int32_t gender_work_area_get(context* ctx, gender_work_area** out);

}  // namespace tq

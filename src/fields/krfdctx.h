// The parts the field-analysis layer (identification, extraction, gender and
// pattern analysis) adds to every context: the work areas of its engines.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer fields_context_parts();

// The engines' work areas, made on first use: 0, or -600 (recorded).
extern const context_part kIdentWork;
inline int32_t ident_work_area_get(context* ctx, ident_work_area** out) {
  return context_work_get(ctx, &context::ident_work_area, kIdentWork, out);
}
extern const context_part kExtractWork;
inline int32_t extract_work_area_get(context* ctx, extract_work_area** out) {
  return context_work_get(ctx, &context::extract_work_area, kExtractWork, out);
}
extern const context_part kGenderWork;
inline int32_t gender_work_area_get(context* ctx, gender_work_area** out) {
  return context_work_get(ctx, &context::gender_work_area, kGenderWork, out);
}

}  // namespace tq

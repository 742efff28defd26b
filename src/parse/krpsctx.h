// The parts the parse layer adds to every context: the work areas of word
// analysis and of the parse engines, and the parse settings a context keeps.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer parse_context_parts();

// The scratch of word analysis and of the parse road, made on first use:
// 0, or -600 (recorded).
extern const context_part kMorphScratch;
inline int32_t morph_scratch_get(context* ctx, morph_scratch** out) {
  return context_work_get(ctx, &context::morph_scratch, kMorphScratch, out);
}
extern const context_part kParseScratch;
inline int32_t parse_scratch_get(context* ctx, parse_scratch** out) {
  return context_work_get(ctx, &context::parse_scratch, kParseScratch, out);
}

}  // namespace tq

// The parts the resources layer adds to every context: the work areas of
// schemes, phonetics, chopping and regex matching, the built-in choppers and
// the phonetics edit session, and how the engines obtain their work areas.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer resources_context_parts();

// The engines' work areas, made on first use: 0, or -600 (recorded).
extern const context_part kPhonetxWork;
inline int32_t phonetx_work_get(context* ctx, phonetx_work** out) {
  return context_work_get(ctx, &context::phonetx_work, kPhonetxWork, out);
}
extern const context_part kChopWork;
inline int32_t chop_work_get(context* ctx, chop_work** out) {
  return context_work_get(ctx, &context::chop_work, kChopWork, out);
}
// The regex work area, whose release it carries.
extern const context_part kRegexWork;
inline int32_t regex_work_get(context* ctx, lazy_work** out) {
  return context_work_get(ctx, &context::regex_work, kRegexWork, out);
}
// Makes the built-in choppers (ctx->chopper_whitespace and chopper_cjk) if
// they are not yet.
extern const context_part kBuiltinChoppers;
inline int32_t chopper_builtins_get(context* ctx) {
  chopper_builtin* made = nullptr;
  return context_work_get(ctx, &context::chopper_whitespace, kBuiltinChoppers, &made);
}

}  // namespace tq

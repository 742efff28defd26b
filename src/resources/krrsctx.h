// The parts the resources layer adds to every context: the work areas of
// schemes, phonetics, chopping and regex matching, the built-in choppers and
// the phonetics edit session, and how the engines obtain their work areas.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer resources_context_parts();

// The engines' work areas, made on first use: 0, or -600 (recorded).
int32_t phonetx_work_get(context* ctx, phonetx_work** out);
int32_t chop_work_get(context* ctx, chop_work** out);
// The regex work area, whose release it carries.
int32_t regex_work_get(context* ctx, lazy_work** out);
// Makes the built-in choppers (ctx->chopper_whitespace and chopper_cjk) if
// they are not yet.
int32_t chopper_builtins_get(context* ctx);

}  // namespace tq

#include "fields/krfdctx.h"

#include "fields/krident.h"

namespace tq {

namespace {

int32_t ident_part_create(context* ctx) { return ident_work_area_create(ctx, &ctx->ident_work_area); }

void ident_part_free(context* ctx) {
  ident_work_area_free(ctx, ctx->ident_work_area);
  ctx->ident_work_area = nullptr;
}

// Each work area of the layer is one entry, made in this order and freed in
// reverse. The first entry only marks where the layer's parts begin.
constexpr context_part kFieldsParts[] = {
    {"fields layer", nullptr, nullptr, nullptr},
    // A clone identifies in a work area of its own.
    {"identification work area", ident_part_create, ident_part_free, nullptr},
};

}  // namespace

context_layer fields_context_parts() { return kFieldsParts; }

}  // namespace tq

#include "fields/krfdctx.h"

#include "fields/krgender.h"
#include "fields/krident.h"
#include "fields/krxeng.h"

namespace tq {

namespace {

int32_t ident_part_create(context* ctx) { return ident_work_area_create(ctx, &ctx->ident_work_area); }

void ident_part_free(context* ctx) {
  ident_work_area_free(ctx, ctx->ident_work_area);
  ctx->ident_work_area = nullptr;
}

int32_t extract_part_create(context* ctx) { return extract_work_area_create(ctx, &ctx->extract_work_area); }

void extract_part_free(context* ctx) {
  extract_work_area_free(ctx, ctx->extract_work_area);
  ctx->extract_work_area = nullptr;
}

int32_t gender_part_create(context* ctx) { return gender_work_area_create(ctx, &ctx->gender_work_area); }

void gender_part_free(context* ctx) {
  gender_work_area_free(ctx, ctx->gender_work_area);
  ctx->gender_work_area = nullptr;
}

}  // namespace

// Made on the engines' first runs: a clone identifies, extracts and
// determines gender in work areas of its own.
constexpr context_part kIdentWork = {"identification work area", ident_part_create, ident_part_free, nullptr, true};
constexpr context_part kExtractWork = {"extraction work area", extract_part_create, extract_part_free, nullptr, true};
constexpr context_part kGenderWork = {"gender work area", gender_part_create, gender_part_free, nullptr, true};

namespace {

// Each work area of the layer is one entry, made in this order and freed in
// reverse. The first entry only marks where the layer's parts begin.
constexpr context_part kFieldsParts[] = {
    {"fields layer", nullptr, nullptr, nullptr},
    kIdentWork,
    kExtractWork,
    kGenderWork,
};

}  // namespace

context_layer fields_context_parts() { return kFieldsParts; }

}  // namespace tq

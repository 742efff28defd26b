#include "resources/krrsctx.h"

#include "resources/krchop.h"
#include "resources/krchpr.h"
#include "resources/krphtx.h"
#include "resources/krpx.h"
#include "resources/krregx.h"
#include "resources/krsch.h"

namespace tq {

namespace {

// The phonetics engine gives no code of its own; its only failure is memory.
int32_t phonetx_part_create(context* ctx) {
  return phonetx_work_create(ctx, &ctx->phonetx_work) != 0 ? TQ_ERR_NO_MEMORY : 0;
}

void phonetx_part_free(context* ctx) {
  phonetx_work_free(ctx, ctx->phonetx_work);
  ctx->phonetx_work = nullptr;
}

int32_t chop_part_create(context* ctx) { return chop_work_create(ctx, &ctx->chop_work); }

void chop_part_free(context* ctx) {
  chop_work_free(ctx->chop_work);
  ctx->chop_work = nullptr;
}

// It carries its own release.
void regex_work_free(context* ctx) {
  if (ctx->regex_work != nullptr) ctx->regex_work->release(ctx->regex_work);
  ctx->regex_work = nullptr;
}

}  // namespace

// The engines' work areas are made on their first run; a clone that never
// chops, matches a regex or runs phonetics has none.
constexpr context_part kPhonetxWork = {"phonetics work area", phonetx_part_create, phonetx_part_free, nullptr, true};
constexpr context_part kChopWork = {"chopping work area", chop_part_create, chop_part_free, nullptr, true};
constexpr context_part kBuiltinChoppers = {"built-in choppers", chopper_builtins_create, chopper_builtins_free,
                                           nullptr, true};
constexpr context_part kRegexWork = {"regex work area", regex_work_create, regex_work_free, nullptr, true};

namespace {

constexpr context_part kResourcesParts[] = {
    {"scheme scratch", scheme_scratch_create, scheme_scratch_free, nullptr},
    kPhonetxWork,
    kChopWork,
    kBuiltinChoppers,
    {"phonetics edit session", nullptr, phonetx_edit_session_free, nullptr},
    kRegexWork,
};

}  // namespace

context_layer resources_context_parts() { return kResourcesParts; }

}  // namespace tq

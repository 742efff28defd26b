#include "guess/krgsctx.h"

#include "guess/krgeng.h"
#include "guess/krngram.h"

namespace tq {

int32_t lang_scratch_profile_create(context* ctx) { return ngram_profile_create(ctx, &ctx->lang_scratch_profile); }

void lang_scratch_profile_free(context* ctx) {
  ngram_profile_free(ctx, ctx->lang_scratch_profile);
  ctx->lang_scratch_profile = nullptr;
}

// A clone guesses with candidates and word flags of its own, made on its
// first guess, and starts without a force-choice override.
constexpr context_part kGuessWork = {"guess work area", guess_work_area_create, guess_work_area_free, nullptr, true};

namespace {

// Each part of the layer is one entry, made in this order and freed in
// reverse. The first entry only marks where the layer's parts begin.
constexpr context_part kGuessParts[] = {
    {"guess layer", nullptr, nullptr, nullptr},
    // A clone scores into a profile of its own.
    {"language scratch profile", lang_scratch_profile_create, lang_scratch_profile_free, nullptr},
    kGuessWork,
};

}  // namespace

context_layer guess_context_parts() { return kGuessParts; }

}  // namespace tq

#include "kbstore/krkbctx.h"

#include "core/krzel.h"
#include "kbstore/krlock.h"
#include "kbstore/krshared.h"
#include "kbstore/krvlt.h"
#include "kbstore/krxml.h"

namespace tq {

namespace {

int32_t locale_create(context* ctx) {
  ctx->current_locale = -1;
  ctx->current_locale_code = 0;
  return 0;
}

// A copy starts in its source's current locale (of the state they share).
int32_t locale_clone(context* src, context* dst) {
  dst->current_locale = src->current_locale;
  dst->current_locale_code = src->current_locale_code;
  return 0;
}

void locale_free(context* ctx) {
  ctx->current_locale = -1;
  ctx->current_locale_code = 0;
}

// Handles the client left open are closed with the context that opened them.
void vault_files_free(context* ctx) { vault_files_close_all(ctx); }

int32_t shared_create(context* ctx) {
  int32_t rc = shared_state_create(ctx, &ctx->shared);
  if (rc != 0) return rc;
  return shared_contents_create(ctx, ctx->shared);
}

int32_t shared_clone(context* src, context* dst) { return shared_state_addref(src, src->shared, dst); }

// The last context to leave unloads every locale; a failure here is not
// reported, as teardown always runs to the end.
void shared_free(context* ctx) {
  if (ctx->shared == nullptr) return;
  (void)shared_state_release(ctx, ctx->shared);
  ctx->shared = nullptr;
}

constexpr context_part kKbstoreParts[] = {
    {"lock-file table", lock_table_init, lock_table_free, nullptr},
    {"XML stash", xmldoc_stash_create, xmldoc_stash_free, nullptr},
    {"current locale", locale_create, locale_free, locale_clone},
    {"vault files", nullptr, vault_files_free, nullptr},
};

constexpr context_part kSharedParts[] = {
    {"shared state", shared_create, shared_free, shared_clone},
};

}  // namespace

context_layer kbstore_context_parts() { return kKbstoreParts; }

context_layer shared_state_parts() { return kSharedParts; }

}  // namespace tq

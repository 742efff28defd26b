#include "kbstore/krshared.h"

#include <cstdlib>

namespace tq {

namespace {

// Frees the contents at the last release of the shared state, under its
// write hold.
void contents_free(context* ctx, shared_state* ss) {
  shared_contents* sc = ss->contents;
  if (sc == nullptr) return;
  // Locales first: their definitions hold references to resources.
  loaded_locales_free(ctx, &sc->locales);
  if (sc->parser_cache_free != nullptr) sc->parser_cache_free(ctx, sc->parser_cache);
  sc->parser_cache = nullptr;
  rsrc_tables_free(ctx, sc->rsrc);
  category_registry_free(&sc->categories);
  std::free(sc);
  ss->contents = nullptr;
}

}  // namespace

int32_t shared_contents_create(context* ctx, shared_state* ss) {
  (void)ctx;
  auto* sc = static_cast<shared_contents*>(std::calloc(1, sizeof(shared_contents)));
  if (sc == nullptr) return TQ_ERR_NO_MEMORY;
  if (category_registry_create(&sc->categories) != 0) {
    std::free(sc);
    return TQ_ERR_NO_MEMORY;
  }
  ss->contents = sc;
  ss->contents_free = contents_free;
  return 0;
}

shared_contents* ctx_contents(const context* ctx) {
  return ctx != nullptr && ctx->shared != nullptr ? ctx->shared->contents : nullptr;
}

}  // namespace tq

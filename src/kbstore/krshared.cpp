#include "kbstore/krshared.h"

#include <cstdlib>
#include "platform/npmem.h"

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

// A context that closes while others stay: its client loads of locales and
// resources pass to the state, one count per locale or slot, which any
// context's unload may give back. Its entries go from every record, so that
// no record grows with closed contexts.
void contents_leave(context* ctx, shared_state* ss) {
  shared_contents* sc = ss->contents;
  if (sc == nullptr) return;
  for (uint32_t i = 0; i < sc->locales.count; ++i) {
    loaded_locale_rec* rec = sc->locales.recs[i];
    if (rec->code != -1) sharer_loads_leave(&rec->client_refs, ctx);
  }
  for (uint32_t kind = 1; kind <= kRsrcKindCount; ++kind) {
    const rsrc_table& table = sc->rsrc[kind];
    for (uint32_t i = 0; i < table.count; ++i) {
      resource_slot* slot = table.slots[i];
      if (slot->state != kRsrcFree) sharer_loads_leave(&slot->client_loads, ctx);
    }
  }
}

}  // namespace

int32_t shared_contents_create(context* ctx, shared_state* ss) {
  (void)ctx;
  auto* sc = static_cast<shared_contents*>(np_calloc(1, sizeof(shared_contents)));
  if (sc == nullptr) return TQ_ERR_NO_MEMORY;
  if (category_registry_create(&sc->categories) != 0) {
    std::free(sc);
    return TQ_ERR_NO_MEMORY;
  }
  ss->contents = sc;
  ss->contents_free = contents_free;
  ss->contents_leave = contents_leave;
  return 0;
}

shared_contents* ctx_contents(const context* ctx) {
  return ctx != nullptr && ctx->shared != nullptr ? ctx->shared->contents : nullptr;
}

}  // namespace tq

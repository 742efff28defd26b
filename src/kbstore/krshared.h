// What the knowledge-base store keeps in the shared state of a context and
// its clones.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "core/krzel.h"
#include "kbstore/krdcat.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocload.h"

namespace tq {

struct shared_contents {
  locale_table_loaded locales;          // the loaded locales
  rsrc_table rsrc[kRsrcKindCount + 1];  // per resource kind; index 0 unused
  category_registry categories;         // token category names -> ids
  // The parse layer's cache of parser objects, made on its first use and
  // freed by its own function: after the locales (whose definitions give
  // their parsers back) and before the resources (which cached parsers
  // still hold).
  void* parser_cache;
  void (*parser_cache_free)(context* ctx, void* cache);
};

// Creates the contents of a new shared state and hands the state the
// function that frees them at its last release; -600.
int32_t shared_contents_create(context* ctx, shared_state* ss);

// The contents of the context's shared state (never NULL once the context is open).
shared_contents* ctx_contents(const context* ctx);

}  // namespace tq

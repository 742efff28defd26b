// The parts the knowledge-base store adds to every context, and the shared
// state that a context and its clones reference.
#pragma once

#include "core/krcorvel.h"

namespace tq {

// Lock-file table, XML stash, current locale, open vault files.
context_layer kbstore_context_parts();

// The shared state with the store's contents: joined by a context after all
// of its own parts (a copy joins its source's), so that a failure before it
// leaves nothing to give back, and released before any of them, while every
// work area that unloading may use still exists.
context_layer shared_state_parts();

}  // namespace tq

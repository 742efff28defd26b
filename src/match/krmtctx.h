// The parts the matching layer (match definitions and the match engine) adds
// to every context: the work areas of its engines.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer match_context_parts();

}  // namespace tq

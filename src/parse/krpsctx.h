// The parts the parse layer adds to every context: the work areas of word
// analysis and of the parse engines, and the parse settings a context keeps.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer parse_context_parts();

}  // namespace tq

// The parts the standardization layer (casing and standardization) adds to
// every context: the work areas of its engines.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer standardize_context_parts();

}  // namespace tq

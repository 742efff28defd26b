// The parts the field-analysis layer (identification, extraction, gender and
// pattern analysis) adds to every context: the work areas of its engines.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer fields_context_parts();

}  // namespace tq

// The parts the resources layer adds to every context: the work areas of
// schemes, phonetics, chopping and regex matching, the built-in choppers and
// the phonetics edit session.
#pragma once

#include "core/krcorvel.h"

namespace tq {

context_layer resources_context_parts();

}  // namespace tq

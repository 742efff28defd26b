#include "fields/krfdctx.h"

namespace tq {

namespace {

// Each work area of the layer is one entry, made in this order and freed in
// reverse. The first entry only marks where the layer's parts begin.
constexpr context_part kFieldsParts[] = {
    {"fields layer", nullptr, nullptr, nullptr},
};

}  // namespace

context_layer fields_context_parts() { return kFieldsParts; }

}  // namespace tq

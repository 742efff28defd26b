#include "parse/krpsctx.h"

namespace tq {

namespace {

// Each work area of the layer is one entry, made in this order and freed in
// reverse. The first entry only marks where the layer's parts begin.
constexpr context_part kParseParts[] = {
    {"parse layer", nullptr, nullptr, nullptr},
};

}  // namespace

context_layer parse_context_parts() { return kParseParts; }

}  // namespace tq

#include "match/krmtctx.h"

#include "match/krmeng.h"

namespace tq {

namespace {

// Each work area of the layer is one entry, made in this order and freed in
// reverse. The first entry only marks where the layer's parts begin.
constexpr context_part kMatchParts[] = {
    {"match layer", nullptr, nullptr, nullptr},
    // A clone matches in a work area of its own.
    {"match work area", match_work_area_create, match_work_area_free, nullptr},
};

}  // namespace

context_layer match_context_parts() { return kMatchParts; }

}  // namespace tq

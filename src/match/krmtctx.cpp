#include "match/krmtctx.h"

#include "match/krmeng.h"

namespace tq {

// A clone matches in a work area of its own, made on its first match: the
// token slots and the 512 KB memory pool are not made for a clone that
// never matches.
constexpr context_part kMatchWork = {"match work area", match_work_area_create, match_work_area_free, nullptr, true};

namespace {

// Each work area of the layer is one entry, made in this order and freed in
// reverse. The first entry only marks where the layer's parts begin.
constexpr context_part kMatchParts[] = {
    {"match layer", nullptr, nullptr, nullptr},
    kMatchWork,
};

}  // namespace

context_layer match_context_parts() { return kMatchParts; }

}  // namespace tq

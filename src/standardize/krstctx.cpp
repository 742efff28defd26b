#include "standardize/krstctx.h"

#include "standardize/krcase.h"

namespace tq {

namespace {

// Each work area of the layer is one entry, made in this order and freed in
// reverse. The first entry only marks where the layer's parts begin.
constexpr context_part kStandardizeParts[] = {
    {"standardize layer", nullptr, nullptr, nullptr},
    // A clone cases with a work area of its own.
    {"case work area", case_work_area_create, case_work_area_free, nullptr},
};

}  // namespace

context_layer standardize_context_parts() { return kStandardizeParts; }

}  // namespace tq

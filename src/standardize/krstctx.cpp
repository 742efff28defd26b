#include "standardize/krstctx.h"

#include "standardize/krcase.h"
#include "standardize/krstdz.h"

namespace tq {

// Made on the engines' first runs: a clone cases with a work area of its
// own and standardizes in slots of its own.
constexpr context_part kCaseWork = {"case work area", case_work_area_create, case_work_area_free, nullptr, true};
constexpr context_part kStdznWork = {"standardization work area", stdzn_work_area_create, stdzn_work_area_free,
                                     nullptr, true};

namespace {

// Each work area of the layer is one entry, made in this order and freed in
// reverse. The first entry only marks where the layer's parts begin.
constexpr context_part kStandardizeParts[] = {
    {"standardize layer", nullptr, nullptr, nullptr},
    kCaseWork,
    kStdznWork,
};

}  // namespace

context_layer standardize_context_parts() { return kStandardizeParts; }

}  // namespace tq

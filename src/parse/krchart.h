// The chart engine (parser kind 0): a top-down chart over the analysed
// words of one input, one column of states per word position, with
// predict, scan and complete steps and a per-column resource limit. Every
// complete derivation of the root over the range becomes a solution.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "core/krvec.h"
#include "parse/krawl.h"
#include "parse/krparser.h"

namespace tq {

// The kind 0 runtime state; its columns and marks keep their capacity from
// one parse to the next, its states come from the runtime's pool.
int32_t chart_work_create(chart_work** out);
void chart_work_free(chart_work* work);
void chart_work_reset(chart_work* work);

// Parses words [first, last] (last lowered to the last word) from the
// object's root. 0 (solutions appended, possibly none), 102 when a column
// outgrew the limit (no solution), -802 when first lies beyond the end, -600.
int32_t chart_parse(context* ctx, parser_rec* p, parser_runtime* rt, vec* solutions, const analysed_word_list* words,
                    int32_t first, int32_t last, int32_t limit, int32_t levels);

}  // namespace tq

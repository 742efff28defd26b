// The LR engine (parser kind 1). The grammar is compiled, once per parser
// object when it is bound, into an automaton with one item set per kernel
// item (rule, dot) and a start set for the root; the words then run through
// it breadth first: each word position keeps its live stack tops (a node is
// an item set and the stack top it was predicted from), shifts every
// category of the word, and reduces until nothing changes. Derivations are
// enumerated, not packed, so every derivation of the root over the range is
// a solution of its own, scored like the chart engine's.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "core/krvec.h"
#include "parse/krawl.h"
#include "parse/krparser.h"

namespace tq {

// Builds the object's automaton from its compiled grammar (at binding,
// under the write hold, so it is read-only for every parse after). -600.
int32_t lr_automaton_build(parser_rec* p);
void lr_automaton_free(lr_automaton* a);

int32_t lr_work_create(lr_work** out);
void lr_work_free(lr_work* work);
void lr_work_reset(lr_work* work);

// 0 (solutions appended), 101 when a word cannot be shifted from any live
// stack top (no solution), 102 when a node would receive more alternatives
// than the limit (no solution), -802 for a first word beyond the last, -600.
int32_t lrparse_parse(context* ctx, parser_rec* p, parser_runtime* rt, vec* solutions, const analysed_word_list* words,
                      int32_t first, int32_t last, int32_t limit, int32_t levels);

}  // namespace tq

// Language scoring: how well a text fits one language definition, as an
// integer from 0 to 1000. Two parts are blended by the definition's bias:
// the n-gram part compares the text's character n-grams with the trained
// model, the regex part measures how much of the text the known pattern
// regex libraries cover (a "Never" library counts against the language).
//
// Scores are doubles truncated at the end, so the order of operations
// decides borderline results: every formula is evaluated step by step in
// one order, this file is compiled without contraction into fused
// multiply-adds, and a value that is not finite counts as 0.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "guess/krlginfo.h"
#include "guess/krngram.h"
#include "kbstore/krdefn.h"

namespace tq {

// The bias k (-3 .. 3) of a bias index, and the weight of a likelihood;
// values outside the tables read as "Equal" and "Medium".
int32_t lang_bias_k(uint32_t bias);
double lang_likelihood_weight(uint32_t likelihood);

// Scores a UTF-8 text (at most 1,024 bytes are read) against the
// definition with the context's scratch profile, which keeps the text's
// n-grams for the next score of the same text; fills the info when given.
// 0 with *score set, or a negative code (score untouched): -704/-705 for a
// definition that is not usable, -603 when the model is untrained outside
// edit mode, the codes of binding, training, regex libraries and the
// profile. With an info the score runs under the write hold (asked for
// first: kRcNeedsWriteHold while the call only reads, the info untouched).
int32_t lang_score_compute(context* ctx, defn_rec* rec, ngram_profile* scratch, const char* text, int32_t* score,
                           language_guess_info* info);

}  // namespace tq

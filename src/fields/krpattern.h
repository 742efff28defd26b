// Pattern analysis: a value rewritten into its character pattern by the
// regex library of a pattern analysis definition (fields/krpadef.h), every
// element in turn as search and replace on the running text. With a library
// mapping upper-case letters to "A", lower-case ones to "a" and digits to
// "9", "Ab 12-x" becomes "Aa 99-a". The caller's info (a public one-word
// struct, tq_patrn_info) records whether any element rewrote the value.
//
// A run needs no work area: the running texts are two buffers on the
// stack, so nothing is allocated per value.
#pragma once

#include <cstdint>

#include "tq.h"
#include "core/krcorvel.h"
#include "kbstore/krdefn.h"

namespace tq {

using patrn_info = ::tq_patrn_info;

inline constexpr uint32_t kPatternOutMax = 1024;  // bytes of the pattern, UTF-8, before conversion

// One analysis of a UTF-8 value (at most 1,024 bytes) with the record:
// -704/-705 for a definition that is not usable; a definition without a
// library gives 0 with an empty pattern and leaves the info as it was;
// otherwise the pattern (kPatternOutMax + 1 bytes, UTF-8) and, with an
// info, its flag := 1 when an element rewrote something, else 0. A match
// that gave up at its limits (-601) is returned with the pattern empty.
int32_t pattern_engine_run(context* ctx, const defn_rec* rec, const char* value, char* pattern, patrn_info* info);

// ---- Exports ---------------------------------------------------------------------------
// Data in the session encoding (at most 1,024 bytes), the pattern out into
// 1,028 bytes of the session encoding, empty on failure. The result is the
// input conversion's warning, else the output conversion's, else 0.

int32_t tqx_pattern_analyze(context* ctx, const char* patrn_defn, const char* data, char* pattern);
int32_t tqx_pattern_analyze_by_index(context* ctx, int32_t index, const char* data, char* pattern);
// A NULL info is no info.
int32_t tqx_pattern_analyze_by_index_with_info(context* ctx, int32_t index, const char* data, char* pattern,
                                               patrn_info* info);
// *info := a new object with the flag 0 (NULL first; -600).
int32_t tqx_patrn_info_init(context* ctx, patrn_info** info);
// Frees a non-NULL object; NULL is nothing to do.
int32_t tqx_patrn_info_free(context* ctx, patrn_info* info);

}  // namespace tq

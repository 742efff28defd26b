// The gender engine: the gender of a value (typically a person's name) by a
// gender analysis definition (fields/krgdef.h). The value is parsed with the
// definition's parse definition, or the caller gives the tokens already
// parsed; each token the definition lists is chopped into words; every word
// is uppercased, trimmed, normalized and looked up in the definition's
// vocabularies, and each of its categories that the token maps to a gender
// adds one point to that gender. A word no vocabulary scored is tried, as
// chopped, against the token's "Match Regexlibs": each matching library adds
// one point to its gender. The gender with the single highest score wins; a
// tie at the top or no score leaves the default.
//
// Behaviours callers rely on:
// - Scores are kept per first byte of a gender value's text, so two values
//   that begin with the same byte share one score and always tie.
// - An empty value gives the FIRST default value (without parsing), and so
//   does a parse that failed or found no solution; a run that decides
//   nothing gives the LAST default value.
// - A positive parse code (101 no solution, 102 resource limit) is not
//   returned: the result is the first default and the info's no-solution
//   flag tells it.
// - A token with the stop flag ends the run as soon as a single best gender
//   exists after it.
// - Parsed input: a token whose index is not a token of the parse
//   definition's datatype (such as -1, which parse output uses for empty
//   slots) has no name and matches nothing; at most 32 tokens are read, a
//   negative count reads none.
// - The gender output holds at most 4 bytes of text and the terminator of
//   the session encoding (callers give at least 5 bytes, 6 in UCS-2).
//
// A run works in the context's gender work area (the scores, the parsed
// token block, the copied input tokens); without an info it allocates
// nothing of its own.
#pragma once

#include <cstdint>

#include "tq.h"
#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "fields/krginfo.h"

namespace tq {

struct gender_work_area;

inline constexpr uint32_t kGenderTokensMax = 32;

int32_t gender_work_area_create(context* ctx, gender_work_area** out);
void gender_work_area_free(context* ctx, gender_work_area* area);

// The string road: the definition at `index` in the current locale (-800,
// message 160, when it cannot be had), the value in UTF-8, the result text
// (UTF-8, 5 bytes). A positive parse code is returned for the caller to
// swallow. Both roads run with an info under the write hold (asked for
// first: kRcNeedsWriteHold while the call only reads, the info untouched).
int32_t gender_determine_by_index(context* ctx, int32_t index, const char* value, char* result, gender_info* info);
// The parsed road: tokens in the session encoding when convert is set; the
// gender written (at most 4 bytes) into `gender`. -702 when the definition
// does not allow parsed input.
int32_t gender_determine_parsed(context* ctx, int32_t index, const ::tq_parse_token* tokens, int32_t count,
                                uint32_t convert, char* gender, gender_info* info);

// ---- Exports -------------------------------------------------------------------------------
// An absent or empty definition name selects the definition named "Name".

int32_t tqx_gender_determine(context* ctx, const char* gender_defn, const char* name, char* gender);
int32_t tqx_gender_determine_with_info(context* ctx, const char* gender_defn, const char* name, char* gender,
                                       gender_info* gender_info);
int32_t tqx_gender_determine_by_index(context* ctx, int32_t index, const char* name, char* gender);
int32_t tqx_gender_determine_parsed(context* ctx, const char* gender_defn, const ::tq_parse_token* tokens,
                                    int32_t num_tokens, char* gender);
int32_t tqx_gender_determine_parsed_with_info(context* ctx, const char* gender_defn,
                                              const ::tq_parse_token* tokens, int32_t num_tokens, char* gender,
                                              gender_info* gender_info);
int32_t tqx_gender_determine_parsed_by_index(context* ctx, int32_t index, const ::tq_parse_token* tokens,
                                             int32_t num_tokens, char* gender);

}  // namespace tq

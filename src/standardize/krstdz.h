// The standardization engine: a value, or tokens a caller parsed, turned
// into its standard form under a standardization definition (kind 7,
// krsdef.h). The value is parsed with the definition's parse definition;
// each token is trimmed, uppercased, normalized by its regex libraries,
// passed through its schemes in turn (each works on the previous one's
// result) and its transformation regex libraries, then cased; the tokens
// are joined with their separators and the whole cased once more. When the
// parse finds no solution the value is cased as one string instead.
//
// Token slots live in the context's work area and scheme outputs borrow
// pointer blocks from its pool, so a run without a stand info allocates
// nothing. Working texts are locals: a scheme or a casing run nested in a
// run cannot clobber them.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "parse/krparse.h"
#include "resources/krsch.h"
#include "standardize/krsinfo.h"

namespace tq {

// Texts inside: 1,024 bytes and the terminator.
inline constexpr uint32_t kStdznTextSize = 1025;
inline constexpr uint32_t kStdznTextMax = 1024;
// The caller's output buffer, terminator included.
inline constexpr uint32_t kStdznStandardSize = TQ_STANDARD_SIZE;

struct stdzn_work_area {
  parse_token_slot parsed[kParseSlots];  // what the parse gives, by datatype key
  parse_token_slot tokens[kParseSlots];  // one per token of the definition
  scheme_pool pool;                      // output-pointer blocks of scheme applications
  uint32_t ready;
};

// The context part: made on first use (-600), freed at teardown.
int32_t stdzn_work_area_create(context* ctx);
void stdzn_work_area_free(context* ctx);

// The engine on UTF-8 texts. `output` holds kStdznTextSize bytes. 0, 101 or
// 102 (the parse's warning), 103 when the output equals the input, or a
// negative code with the output empty or partial.
int32_t stdzn_engine_run(context* ctx, defn_rec* rec, stdzn_work_area* area, const char* input, char* output,
                         stand_info* info);
// The same from the caller's slots (count at most 32, values UTF-8): no
// parse, no whole-string or postprocessing case, no 103. -702 when the
// definition does not allow parsed input.
int32_t stdzn_parsed_engine_run(context* ctx, defn_rec* rec, stdzn_work_area* area, const parse_token_slot* slots,
                                uint32_t count, char* output, stand_info* info);

// The definition at `index` of the current locale run on a caller's value
// or tokens; with convert 1 (kStrioConvert) texts come and go in the
// session encoding. `standard` holds kStdznStandardSize bytes. The first
// positive of the input conversion's, the engine's and the output
// conversion's results, else 0; or the first failure. With an info the
// run is under the write hold (asked for first: kRcNeedsWriteHold while the
// call only reads, nothing touched).
int32_t stdzn_value_run(context* ctx, int32_t index, const char* data, char* standard, uint32_t convert,
                        stand_info* info);
int32_t stdzn_parsed_value_run(context* ctx, int32_t index, const parse_token_slot* tokens, uint32_t count,
                               uint32_t convert, char* standard, stand_info* info);

// ---- Export implementations ---------------------------------------------------------------

int32_t standardize(context* ctx, const char* stdzn_defn, const char* data, char* standard);
int32_t standardize_by_index(context* ctx, int32_t index, const char* data, char* standard);
int32_t standardize_with_info(context* ctx, const char* stdzn_defn, const char* data, char* standard,
                              stand_info* info);
int32_t standardize_by_index_with_info(context* ctx, int32_t index, const char* data, char* standard,
                                       stand_info* info);
int32_t standardize_parsed(context* ctx, const char* stdzn_defn, const parse_token_slot* input_array,
                           uint32_t num_tokens, char* standard);
int32_t standardize_parsed_by_index(context* ctx, int32_t index, const parse_token_slot* input_array,
                                    uint32_t num_tokens, char* standard);
int32_t standardize_parsed_with_info(context* ctx, const char* stdzn_defn, const parse_token_slot* input_array,
                                     uint32_t num_tokens, char* standard, stand_info* info);

}  // namespace tq

// The single-code match operations: codes of a value or of tokens a caller
// parsed, under a match definition named by name (looked up among the
// current locale's, ignoring case) or by index, at one sensitivity or
// several; whole-value codes without a definition; encoding a code.
//
// Texts cross in the session encoding; each code buffer holds
// min(code length, 256) x 4 + 1 bytes. Results: a failure; else a warning
// of converting the caller's text (116); else 101 when the value's parse
// found no solution (whole-value codes, or the no-solution tokens); else 0.
// The parsed operations give the last conversion warning or 0, and
// tq_match_parsed and tq_match_multiple_sens_parsed 0 in place of any
// warning.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "match/krminfo.h"
#include "parse/krparse.h"

namespace tq {

int32_t match(context* ctx, const char* match_defn, uint32_t sensitivity, const char* data, char* matchcode);
int32_t match_with_info(context* ctx, const char* match_defn, uint32_t sensitivity, const char* data,
                        char* matchcode, match_info* info);
int32_t match_by_index(context* ctx, int32_t index, uint32_t sensitivity, const char* data, char* matchcode);
int32_t match_by_index_with_info(context* ctx, int32_t index, uint32_t sensitivity, const char* data,
                                 char* matchcode, match_info* info);
int32_t match_multiple_sens(context* ctx, const char* match_defn, const uint32_t* sensitivities, uint32_t count,
                            const char* data, char* const* matchcodes);
int32_t match_multiple_sens_by_index(context* ctx, int32_t index, const uint32_t* sensitivities, uint32_t count,
                                     const char* data, char* const* matchcodes);
int32_t match_parsed(context* ctx, const char* match_defn, uint32_t sensitivity, const parse_token_slot* input_array,
                     uint32_t num_tokens, char* matchcode);
int32_t match_parsed_with_info(context* ctx, const char* match_defn, uint32_t sensitivity,
                               const parse_token_slot* input_array, uint32_t num_tokens, char* matchcode,
                               match_info* info);
int32_t match_parsed_by_index(context* ctx, int32_t index, uint32_t sensitivity, const parse_token_slot* input_array,
                              uint32_t num_tokens, char* matchcode);
int32_t match_multiple_sens_parsed(context* ctx, const char* match_defn, const uint32_t* sensitivities,
                                   uint32_t count, const parse_token_slot* token_array, uint32_t num_tokens,
                                   char* const* matchcodes);
int32_t match_multiple_sens_parsed_by_index(context* ctx, int32_t index, const uint32_t* sensitivities,
                                            uint32_t count, const parse_token_slot* token_array, uint32_t num_tokens,
                                            char* const* matchcodes);
// The whole-value code of length code points (a length above 256 as 256;
// 0: -802), padded with spaces or not; uppercased with the current locale's
// casing, root casing when there is none.
int32_t match_exact(context* ctx, const char* data, uint32_t length, char* matchcode);
int32_t match_exact_no_pad(context* ctx, const char* data, uint32_t length, char* matchcode);
// Encodes a UTF-8 code in place; the bytes written.
int32_t match_encode_export(context* ctx, char* matchcode);

}  // namespace tq

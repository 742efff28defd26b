#include "match/krmops.h"

#include <algorithm>

#include "core/krenc.h"
#include "kbstore/krdefn.h"
#include "match/krmeng.h"

namespace tq {

namespace {

int32_t index_by_name(context* ctx, const char* name, int32_t* index) {
  return defn_index_get_by_name(ctx, kDefnMatch, name, kDefnNameConvert, index);
}

int32_t value_codes(context* ctx, int32_t index, const uint32_t* sens, uint32_t count, const char* data,
                    char* const* codes, match_info* info) {
  return match_string_by_defn_index(ctx, index, sens, count, data, kStrioConvert, codes, info);
}

int32_t named_value_codes(context* ctx, const char* name, const uint32_t* sens, uint32_t count, const char* data,
                          char* const* codes, match_info* info) {
  int32_t index = -1;
  const int32_t rc = index_by_name(ctx, name, &index);
  if (rc < 0) return rc;
  return value_codes(ctx, index, sens, count, data, codes, info);
}

int32_t parsed_codes(context* ctx, int32_t index, const uint32_t* sens, uint32_t count, const parse_token_slot* slots,
                     uint32_t num, char* const* codes, match_info* info) {
  return match_parsed_by_defn_index(ctx, index, sens, count, slots, num, kStrioConvert, codes, info);
}

int32_t named_parsed_codes(context* ctx, const char* name, const uint32_t* sens, uint32_t count,
                           const parse_token_slot* slots, uint32_t num, char* const* codes, match_info* info) {
  int32_t index = -1;
  const int32_t rc = index_by_name(ctx, name, &index);
  if (rc < 0) return rc;
  return parsed_codes(ctx, index, sens, count, slots, num, codes, info);
}

int32_t no_warning(int32_t rc) { return rc < 0 ? rc : 0; }

int32_t exact(context* ctx, const char* data, uint32_t length, char* matchcode, uint32_t no_pad) {
  char text[kMatchTextSize];
  const int32_t in = strio_in(ctx, data, text, kMatchTextMax, kStrioConvert | kStrioValue);
  if (in < 0) return in;
  char code[kMatchTextSize];
  int32_t rc = match_exact_code(ctx, length, text, code, no_pad);
  if (rc < 0) return rc;
  // The caller's buffer holds 4 x length + 1 bytes (a length above 256 as 256).
  const uint32_t room = std::min(length, kMatchCodeMax) * 4 + 1;
  rc = strio_out(ctx, code, matchcode, room - strio_terminator_size(ctx), kStrioConvert);
  if (rc < 0) return rc;
  return in > 0 ? in : rc;
}

}  // namespace

int32_t match(context* ctx, const char* match_defn, uint32_t sensitivity, const char* data, char* matchcode) {
  return named_value_codes(ctx, match_defn, &sensitivity, 1, data, &matchcode, nullptr);
}

int32_t match_with_info(context* ctx, const char* match_defn, uint32_t sensitivity, const char* data,
                        char* matchcode, match_info* info) {
  return named_value_codes(ctx, match_defn, &sensitivity, 1, data, &matchcode, info);
}

int32_t match_by_index(context* ctx, int32_t index, uint32_t sensitivity, const char* data, char* matchcode) {
  return value_codes(ctx, index, &sensitivity, 1, data, &matchcode, nullptr);
}

int32_t match_by_index_with_info(context* ctx, int32_t index, uint32_t sensitivity, const char* data,
                                 char* matchcode, match_info* info) {
  return value_codes(ctx, index, &sensitivity, 1, data, &matchcode, info);
}

int32_t match_multiple_sens(context* ctx, const char* match_defn, const uint32_t* sensitivities, uint32_t count,
                            const char* data, char* const* matchcodes) {
  return named_value_codes(ctx, match_defn, sensitivities, count, data, matchcodes, nullptr);
}

int32_t match_multiple_sens_by_index(context* ctx, int32_t index, const uint32_t* sensitivities, uint32_t count,
                                     const char* data, char* const* matchcodes) {
  return value_codes(ctx, index, sensitivities, count, data, matchcodes, nullptr);
}

int32_t match_parsed(context* ctx, const char* match_defn, uint32_t sensitivity, const parse_token_slot* input_array,
                     uint32_t num_tokens, char* matchcode) {
  return no_warning(named_parsed_codes(ctx, match_defn, &sensitivity, 1, input_array, num_tokens, &matchcode, nullptr));
}

int32_t match_parsed_with_info(context* ctx, const char* match_defn, uint32_t sensitivity,
                               const parse_token_slot* input_array, uint32_t num_tokens, char* matchcode,
                               match_info* info) {
  return named_parsed_codes(ctx, match_defn, &sensitivity, 1, input_array, num_tokens, &matchcode, info);
}

int32_t match_parsed_by_index(context* ctx, int32_t index, uint32_t sensitivity, const parse_token_slot* input_array,
                              uint32_t num_tokens, char* matchcode) {
  return parsed_codes(ctx, index, &sensitivity, 1, input_array, num_tokens, &matchcode, nullptr);
}

int32_t match_multiple_sens_parsed(context* ctx, const char* match_defn, const uint32_t* sensitivities,
                                   uint32_t count, const parse_token_slot* token_array, uint32_t num_tokens,
                                   char* const* matchcodes) {
  return no_warning(
      named_parsed_codes(ctx, match_defn, sensitivities, count, token_array, num_tokens, matchcodes, nullptr));
}

int32_t match_multiple_sens_parsed_by_index(context* ctx, int32_t index, const uint32_t* sensitivities,
                                            uint32_t count, const parse_token_slot* token_array, uint32_t num_tokens,
                                            char* const* matchcodes) {
  return parsed_codes(ctx, index, sensitivities, count, token_array, num_tokens, matchcodes, nullptr);
}

int32_t match_exact(context* ctx, const char* data, uint32_t length, char* matchcode) {
  return exact(ctx, data, length, matchcode, 0);
}

int32_t match_exact_no_pad(context* ctx, const char* data, uint32_t length, char* matchcode) {
  return exact(ctx, data, length, matchcode, 1);
}

int32_t match_encode_export(context* ctx, char* matchcode) {
  return static_cast<int32_t>(match_encode(matchcode));
}

}  // namespace tq

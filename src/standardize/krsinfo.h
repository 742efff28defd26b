// The stand info object: the caller-owned record of one standardization
// run (krstdz.h) and its getters. Per token of the definition it keeps the
// value after each step and, per normalization regex library,
// transformation regex library and scheme, whether the entry changed the
// value and what it gave; for the whole value, the joined text, the text
// before the postprocessing case and whether the value was standardized as
// one string. A run rebuilds the record from scratch. Texts go out in the
// session encoding, at most 1,028 bytes with the terminator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/krcorvel.h"

struct tq_stand_info {
  struct entry {
    uint32_t matched = 0;
    std::string text;
  };
  struct token {
    std::string name;
    std::string input;
    std::string uppercased;
    std::string normalized;
    std::string standardized;  // after the schemes
    std::string transformed;
    std::string cased;
    uint32_t cased_flag = 0;  // a case mode other than None applied
    std::vector<entry> normalization;
    std::vector<entry> transformation;
    std::vector<entry> schemes;
  };
  std::vector<token> tokens;
  std::string precased;       // the joined tokens
  std::string pre_postcased;  // the output before the postprocessing case
  uint32_t whole_string = 0;  // the parse found no solution or stopped at its limit
};

namespace tq {

using stand_info = ::tq_stand_info;

int32_t stand_info_init(context* ctx, stand_info** info);
// NULL is accepted (0).
int32_t stand_info_free(context* ctx, stand_info* info);
int32_t stand_info_whole_string_stdzn_flag_get(context* ctx, stand_info* info, uint32_t* flag);
int32_t stand_info_token_count_get(context* ctx, stand_info* info, uint32_t* count);
// Per token: the list lengths. A token at or beyond the count: -800.
int32_t stand_info_regexlib_count_get(context* ctx, stand_info* info, int32_t token, uint32_t* count);
int32_t stand_info_token_trans_regex_count_get(context* ctx, stand_info* info, int32_t token, uint32_t* count);
int32_t stand_info_scheme_count_get(context* ctx, stand_info* info, int32_t token, uint32_t* count);
// Per token: its name and its text after each step.
int32_t stand_info_token_name_get(context* ctx, stand_info* info, int32_t token, char* name);
int32_t stand_info_token_get(context* ctx, stand_info* info, int32_t token, char* val);
int32_t stand_info_uppercased_token_get(context* ctx, stand_info* info, int32_t token, char* buf);
int32_t stand_info_norm_token_get(context* ctx, stand_info* info, int32_t token, char* norm);
int32_t stand_info_trans_token_get(context* ctx, stand_info* info, int32_t token, char* trans);
int32_t stand_info_stdz_token_get(context* ctx, stand_info* info, int32_t token, char* standard);
int32_t stand_info_cased_token_get(context* ctx, stand_info* info, int32_t token, uint32_t* applied, char* cased);
// Per list entry: its flag and text; an entry at or beyond the token's
// list length: -800.
int32_t stand_info_norm_token_get_per_regexlib(context* ctx, stand_info* info, int32_t token, int32_t entry,
                                               uint32_t* matched, char* norm);
int32_t stand_info_trans_token_value_get_per_regex(context* ctx, stand_info* info, int32_t token, int32_t entry,
                                                   uint32_t* matched, char* value);
int32_t stand_info_stdz_token_get_per_scheme(context* ctx, stand_info* info, int32_t token, int32_t entry,
                                             uint32_t* matched, char* norm);
// 1 when any entry of the token's list changed the value.
int32_t stand_info_token_any_regexlib_matched_get(context* ctx, stand_info* info, int32_t token,
                                                  uint32_t* matched);
int32_t stand_info_token_any_trans_regex_matched_get(context* ctx, stand_info* info, int32_t token,
                                                     uint32_t* value);
int32_t stand_info_token_any_scheme_matched_get(context* ctx, stand_info* info, int32_t token, uint32_t* matched);
int32_t stand_info_precased_get(context* ctx, stand_info* info, char* val);
int32_t stand_info_pre_postcased_get(context* ctx, stand_info* info, char* val);

}  // namespace tq

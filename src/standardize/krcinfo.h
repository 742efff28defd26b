// The case info object: the caller-owned record of casing runs (filled by
// the casing engine, krcase.h) and its getters. Three exported families
// (tq_case_info_, tq_ucase_info_, tq_lcase_info_) make, free and read the
// same object. Texts go out in the session encoding, at most 1,028 bytes
// with the terminator.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "standardize/krcase.h"

namespace tq {

int32_t case_info_init(context* ctx, case_info** info);
// NULL is accepted (0).
int32_t case_info_free(context* ctx, case_info* info);
int32_t case_info_preprocessed_info_get(context* ctx, case_info* info, char* value, uint32_t* matched);
int32_t case_info_preprocessed_string_get(context* ctx, case_info* info, char* value);
int32_t case_info_concat_string_get(context* ctx, case_info* info, char* value);
int32_t case_info_chop_word_count_get(context* ctx, case_info* info, uint32_t* count);
int32_t case_info_chop_word_get(context* ctx, case_info* info, int32_t index, char* value);
int32_t case_info_word_count_get(context* ctx, case_info* info, uint32_t* count);
// The record's four texts as recorded.
int32_t case_info_word_info_get(context* ctx, case_info* info, int32_t index, char* value, char* standard,
                                char* regexed, char* final_text);
int32_t case_info_known_word_scheme_matched_get(context* ctx, case_info* info, uint32_t* matched);
int32_t case_info_known_word_scheme_word_matched_get(context* ctx, case_info* info, int32_t index, uint32_t* value);
// The source, and the after-scheme text or the source when it is empty.
int32_t case_info_known_word_scheme_word_get(context* ctx, case_info* info, int32_t index, char* input,
                                             char* value);
int32_t case_info_known_pattern_regex_matched_get(context* ctx, case_info* info, uint32_t* matched);
// The after-regex text, or the after-scheme text when it is empty.
int32_t case_info_known_pattern_regex_word_get(context* ctx, case_info* info, int32_t index, char* value);
// The final text, or the source when it is empty.
int32_t case_info_final_word_get(context* ctx, case_info* info, int32_t index, char* value);
int32_t case_info_default_casing_used_get(context* ctx, case_info* info, uint32_t* value);
int32_t case_info_postprocessed_matched_get(context* ctx, case_info* info, uint32_t* matched);

}  // namespace tq

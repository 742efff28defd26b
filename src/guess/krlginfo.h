// The language guess info: a caller-owned record of one language score with
// every step (preprocessing results, the cased text, the text's n-grams,
// each known pattern regex library's coverage and the intermediate scores),
// and the exported score functions that fill it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/krcorvel.h"

namespace tq {

inline constexpr uint32_t kLangInfoText = 1028;
inline constexpr uint32_t kLangInfoCodes = 256;

struct lang_preproc_result {
  char text[kLangInfoText];
  uint32_t matched;
};

struct lang_ngram_result {
  char text[kLangInfoText];  // UTF-8
  std::vector<int32_t> codes;
  uint32_t n;
  uint32_t count;
};

struct lang_regex_result {
  char name[kLangInfoText];
  uint32_t likelihood;
  uint32_t covered;  // bytes of the text inside a match
  double score;      // the library's value x 1000
};

}  // namespace tq

struct tq_language_guess_info {
  uint32_t defn_index = 0;
  std::vector<tq::lang_preproc_result> preproc;
  uint32_t any_preproc_matched = 0;
  char cased[tq::kLangInfoText] = {};
  int32_t cased_codes[tq::kLangInfoCodes] = {};
  uint32_t cased_count = 0;
  std::vector<tq::lang_ngram_result> ngrams;
  std::vector<tq::lang_regex_result> regexes;
  double ngram_raw = 0.0;
  double regex_raw = 0.0;
  double ngram_bias = 0.0;
  double regex_bias = 0.0;
  double ngram_weighted = 0.0;
  double regex_weighted = 0.0;
  double final_score = 0.0;
};

namespace tq {

using language_guess_info = ::tq_language_guess_info;

// Starts the info's result lists afresh for a new score.
void lang_info_reset(language_guess_info* info);

int32_t tqx_language_guess_score(context* ctx, const char* name, const char* data, int32_t* score);
int32_t tqx_language_guess_score_with_info(context* ctx, const char* name, const char* data, int32_t* score,
                                           language_guess_info* info);
int32_t tqx_language_guess_score_by_index(context* ctx, int32_t index, const char* data, int32_t* score);
int32_t tqx_language_guess_score_by_index_with_info(context* ctx, int32_t index, const char* data, int32_t* score,
                                                    language_guess_info* info);

int32_t tqx_language_guess_info_init(context* ctx, language_guess_info** info);
int32_t tqx_language_guess_info_free(context* ctx, language_guess_info* info);
int32_t tqx_language_guess_info_preproc_regexlibs_count_get(context* ctx, language_guess_info* info,
                                                            uint32_t* count);
int32_t tqx_language_guess_info_preproc_info_get(context* ctx, language_guess_info* info, int32_t index,
                                                 char* result, uint32_t* matched);
int32_t tqx_language_guess_info_any_preproc_regexlib_matched_get(context* ctx, language_guess_info* info,
                                                                 uint32_t* matched);
int32_t tqx_language_guess_info_cased_string_get(context* ctx, language_guess_info* info, char* result);
int32_t tqx_language_guess_info_ngram_count_get(context* ctx, language_guess_info* info, uint32_t* count);
int32_t tqx_language_guess_info_input_ngram_info_get(context* ctx, language_guess_info* info, int32_t index,
                                                     char* ngram, uint32_t* first_pos, uint32_t* frequency,
                                                     uint32_t* weight);
int32_t tqx_language_guess_info_known_regexlib_count_get(context* ctx, language_guess_info* info, uint32_t* count);
int32_t tqx_language_guess_info_known_regexlib_info_get(context* ctx, language_guess_info* info, int32_t index,
                                                        char* regexlib, uint32_t* likelihood, uint32_t* num_matches,
                                                        double* score);
int32_t tqx_language_guess_info_ngram_raw_score_get(context* ctx, language_guess_info* info, double* score);
int32_t tqx_language_guess_info_regex_raw_score_get(context* ctx, language_guess_info* info, double* score);
int32_t tqx_language_guess_info_ngram_weighted_score_get(context* ctx, language_guess_info* info, double* score);
int32_t tqx_language_guess_info_regex_weighted_score_get(context* ctx, language_guess_info* info, double* score);
int32_t tqx_language_guess_info_ngram_bias_get(context* ctx, language_guess_info* info, double* bias);
int32_t tqx_language_guess_info_regex_bias_get(context* ctx, language_guess_info* info, double* bias);
int32_t tqx_language_guess_info_regex_final_score_get(context* ctx, language_guess_info* info, double* score);

}  // namespace tq

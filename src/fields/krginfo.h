// The gender info: the caller-owned record of one gender run (the input
// tokens, the definition's tokens that found a value, every word with its
// normalization, vocabulary categories, fuzzy hits and regex-library hits,
// the scores per gender value, and the stop and no-solution flags), and its
// exported getters, which take no hold.
//
// A run into an object that holds an earlier run's record replaces the
// per-run lists (input tokens, per-token records, scores) and appends its
// significant tokens and word rows behind the earlier ones; the stop and
// no-solution flags are only ever set. Per-word normalization rows and
// per-entry regex-library values are sized when a token's words are
// recorded, so a run that failed half-way still reads within bounds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/krcorvel.h"

struct tq_gender_info {
  struct norm_row {
    std::string output;
    uint32_t replaced = 0;
  };
  struct cat_row {
    uint32_t vocab = 0;
    std::string category;
    std::string gender;
  };
  struct fuzzy_row {
    uint32_t vocab = 0;
    std::string found;
  };
  struct word {
    std::string chopped;
    std::string uppercased;
    std::vector<norm_row> norms;              // one per normalization library
    std::vector<cat_row> cats;
    std::vector<fuzzy_row> fuzzy;
    std::vector<std::string> entry_values;    // one per "Match Regexlibs" entry
  };
  struct token {
    uint32_t skipped = 0;
    uint32_t norm_count = 0;
    uint32_t any_norm_matched = 0;
    uint32_t vocab_count = 0;
    uint32_t regexlib_count = 0;
    uint32_t regexlibs_skipped = 0;
    std::vector<word> words;
  };
  struct row {
    std::string word;
    std::string normalized;
    std::string fuzzy;
    std::string gender;
  };
  uint32_t stop = 0;
  uint32_t no_solution = 0;
  std::vector<std::string> input_names;
  std::vector<std::string> input_values;
  std::vector<std::string> sig_names;
  std::vector<std::string> sig_values;
  std::vector<row> rows;
  std::vector<token> tokens;
  std::vector<int32_t> scores;
};

namespace tq {

using gender_info = ::tq_gender_info;

// ---- Recording, for the engine ---------------------------------------------------------
// Each gives -802 without object and -600 when memory runs out (what was
// recorded before stays readable).

// The input token lists, n empty names and values (the engine fills them).
int32_t gender_info_tokens_init(gender_info* info, uint32_t n);
int32_t gender_info_token_set(gender_info* info, uint32_t i, const char* name, const char* value);
// Per-token records for the definition's tokens, all zero, and the scores
// of its gender values, all 0.
int32_t gender_info_token_records_init(gender_info* info, uint32_t token_count, uint32_t value_count);
// Token t's words: word_count empty records, each with its normalization
// rows and per-entry values sized; the token's counts; its any-matched flag
// cleared.
int32_t gender_info_token_words_init(gender_info* info, uint32_t t, uint32_t word_count, uint32_t vocab_count,
                                     uint32_t norm_count, uint32_t regexlib_count);
int32_t gender_info_sig_token_add(gender_info* info, const char* name, const char* value);
int32_t gender_info_word_row_add(gender_info* info, const char* word, const char* normalized, const char* fuzzy,
                                 const char* gender);
int32_t gender_info_fuzzy_add(gender_info* info, uint32_t t, uint32_t w, uint32_t vocab, const char* found);
int32_t gender_info_vocab_cat_add(gender_info* info, uint32_t t, uint32_t w, uint32_t vocab, const char* gender,
                                  const char* category);
// The word's own texts, a normalization row and an entry's value (-800 for
// a position the words_init did not make).
int32_t gender_info_word_texts_set(gender_info* info, uint32_t t, uint32_t w, const char* chopped,
                                   const char* uppercased);
int32_t gender_info_norm_set(gender_info* info, uint32_t t, uint32_t w, uint32_t n, const char* output,
                             uint32_t replaced);
int32_t gender_info_entry_value_set(gender_info* info, uint32_t t, uint32_t w, uint32_t e, const char* value);

// ---- Exports (no hold) --------------------------------------------------------------------
// Outputs are cleared first; texts go out in the session encoding, at most
// 1,028 bytes (a word row's gender value at most 4). An index out of range
// is -800.

int32_t tqx_gender_info_init(context* ctx, gender_info** gender_info);
int32_t tqx_gender_info_free(context* ctx, gender_info* gender_info);
int32_t tqx_gender_info_normalized_string_get(context* ctx, gender_info* gender_info, char* value);
int32_t tqx_gender_info_stop_flag_get(context* ctx, gender_info* gender_info, uint32_t* flag);
int32_t tqx_gender_info_no_solution_flag_get(context* ctx, gender_info* gender_info, uint32_t* flag);
int32_t tqx_gender_info_token_count_get(context* ctx, gender_info* gender_info, uint32_t* count);
int32_t tqx_gender_info_token_info_get(context* ctx, gender_info* gender_info, uint32_t index, char* name,
                                       char* value);
int32_t tqx_gender_info_sig_token_count_get(context* ctx, gender_info* gender_info, uint32_t* count);
int32_t tqx_gender_info_sig_token_info_get(context* ctx, gender_info* gender_info, uint32_t index, char* name,
                                           char* value);
int32_t tqx_gender_info_token_skipped_flag_get(context* ctx, gender_info* gender_info, uint32_t token,
                                               uint32_t* skipped);
int32_t tqx_gender_info_word_count_get(context* ctx, gender_info* gender_info, uint32_t* count);
int32_t tqx_gender_info_word_info_get(context* ctx, gender_info* gender_info, uint32_t index, char* value,
                                      char* norm, char* fuzzy, char* gender);
int32_t tqx_gender_info_word_count_per_token_get(context* ctx, gender_info* gender_info, uint32_t token,
                                                 uint32_t* count);
int32_t tqx_gender_info_word_get_by_token(context* ctx, gender_info* gender_info, uint32_t token,
                                          uint32_t word_index, char* word);
int32_t tqx_gender_info_word_uppercased_get_by_token(context* ctx, gender_info* gender_info, uint32_t token,
                                                     uint32_t word, char* value);
int32_t tqx_gender_info_norm_regexlib_count_get(context* ctx, gender_info* gender_info, uint32_t token,
                                                uint32_t* count);
int32_t tqx_gender_info_any_norm_regexlib_matched_get(context* ctx, gender_info* gender_info, uint32_t token,
                                                      uint32_t* matched);
int32_t tqx_gender_info_word_norm_get_by_token(context* ctx, gender_info* gender_info, uint32_t token,
                                               uint32_t word_index, uint32_t regexlib, char* word,
                                               uint32_t* matched);
int32_t tqx_gender_info_vocab_count_get(context* ctx, gender_info* gender_info, uint32_t token, uint32_t* count);
int32_t tqx_gender_info_vocab_cat_by_token_count_get(context* ctx, gender_info* gender_info, uint32_t token,
                                                     uint32_t word, uint32_t vocab, uint32_t* count);
int32_t tqx_gender_info_vocab_cat_by_token_get(context* ctx, gender_info* gender_info, uint32_t token,
                                               uint32_t word, uint32_t n, uint32_t vocab, char* cat, char* gender);
int32_t tqx_gender_info_fuzzy_match_by_token_get(context* ctx, gender_info* gender_info, uint32_t token,
                                                 uint32_t word, uint32_t vocab, char* value);
int32_t tqx_gender_info_cat_regexlibs_skipped_by_token_get(context* ctx, gender_info* gender_info,
                                                           uint32_t token, uint32_t* skipped);
int32_t tqx_gender_info_cat_regexlib_info_by_token_get(context* ctx, gender_info* gender_info, uint32_t token,
                                                       uint32_t word, uint32_t entry, char* value);
int32_t tqx_gender_info_gender_value_count_get(context* ctx, gender_info* gender_info, uint32_t* count);
int32_t tqx_gender_info_score_get(context* ctx, gender_info* gender_info, uint32_t index, int32_t* score);

}  // namespace tq

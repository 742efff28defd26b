// Parse info: the caller-owned record of one parse (the preprocessing
// steps, the words as chopped and as analysed, the solutions with the best
// one, the token names, the morph analyzer info) and its getters.
//
// The info keeps copies of its own of everything it reports: the solutions
// and the analysed words are copied off the context's pools, so a later
// parse on the context, or freeing the info after one, never touches
// another parse's results. Its word lists hold pieces of the context's
// block pools: an info is freed before the context that filled it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tq.h"
#include "core/krcorvel.h"
#include "parse/krawl.h"
#include "parse/krmorph.h"
#include "parse/krsoln.h"
#include "resources/krwlst.h"

namespace tq {

struct parse_info_step {
  std::string text;
  uint32_t matched;
};

}  // namespace tq

struct tq_parse_info {
  uint32_t abandoned = 0;
  std::string preprocessed;
  uint32_t any_matched = 0;
  std::vector<tq::parse_info_step> steps;
  tq::word_list words{};    // as analysis left them
  tq::word_list chopped{};  // right after chopping
  tq::analysed_word_list* analysed = nullptr;  // heap copy
  std::vector<tq::parse_solution*> solutions;  // heap copies with their own storage
  tq::parser_rec* parser = nullptr;            // one reference: the solutions' parser object
  int32_t best = -1;                           // position in solutions; -1 none
  std::vector<std::string> token_names;
  tq::morph_analyzer_info* morph = nullptr;
};

namespace tq {

using parse_info = ::tq_parse_info;

// Frees what an earlier parse left in the info; it stays usable.
void parse_info_results_clear(context* ctx, parse_info* info);

int32_t tqx_parse_info_init(context* ctx, parse_info** out);
int32_t tqx_parse_info_free(context* ctx, parse_info* info);
int32_t tqx_parse_info_chopped_word_list_count_get(context* ctx, parse_info* info, uint32_t* count);
int32_t tqx_parse_info_chopped_word_get(context* ctx, parse_info* info, int32_t index, char* word);
int32_t tqx_parse_info_morph_analyzer_info_get(context* ctx, parse_info* info, morph_analyzer_info** morph_info);
int32_t tqx_parse_info_solution_list_count_get(context* ctx, parse_info* info, uint32_t* count);
int32_t tqx_parse_info_solution_score_get(context* ctx, parse_info* info, int32_t index, uint32_t* score);
int32_t tqx_parse_info_solution_rule_get(context* ctx, parse_info* info, int32_t index, solution_rule** rule);
int32_t tqx_parse_info_best_solution_score_get(context* ctx, parse_info* info, uint32_t* score);
int32_t tqx_parse_info_best_solution_rule_get(context* ctx, parse_info* info, solution_rule** rule);
int32_t tqx_parse_solution_rule_string_get(context* ctx, parse_info* info, solution_rule* rule, char* rule_string);
int32_t tqx_parse_info_abandoned_flag_get(context* ctx, parse_info* info, uint32_t* abandoned);
int32_t tqx_parse_info_preprocessed_string_get(context* ctx, parse_info* info, char* preprocessed_string);
int32_t tqx_parse_info_any_preprocessing_regexlib_matched_get(context* ctx, parse_info* info, uint32_t* matched);
int32_t tqx_parse_info_preprocessed_info_get(context* ctx, parse_info* info, int32_t index,
                                             char* preprocessed_string, uint32_t* matched);
int32_t tqx_parse_info_token_name_get(context* ctx, parse_info* info, int32_t index, char* name);

}  // namespace tq

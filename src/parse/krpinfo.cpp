#include "parse/krpinfo.h"

#include <new>

#include "core/krenc.h"
#include "core/krerr.h"
#include "parse/krparser.h"

namespace tq {

namespace {

bool in_range(int32_t i, size_t n) { return i >= 0 && static_cast<size_t>(i) < n; }

// A text out-value: only a negative conversion result is kept when asked.
int32_t text_out(context* ctx, const char* text, char* out) {
  return strio_out_sized(ctx, text, out, kTextOutSize, kStrioConvert);
}

}  // namespace

void parse_info_results_clear(context* ctx, parse_info* info) {
  info->abandoned = 0;
  info->preprocessed.clear();
  info->any_matched = 0;
  info->steps.clear();
  wordlist_free(&info->words);
  info->words = word_list{};
  wordlist_free(&info->chopped);
  info->chopped = word_list{};
  morph_word_list_free(ctx, info->analysed, 1);
  info->analysed = nullptr;
  for (parse_solution* s : info->solutions) {
    parse_solution_free(s);
    delete s;
  }
  info->solutions.clear();
  info->best = -1;
  if (info->parser != nullptr) (void)parser_release(ctx, info->parser);
  info->parser = nullptr;
  info->token_names.clear();
}

int32_t tqx_parse_info_init(context*, parse_info** out) {
  *out = nullptr;
  auto* info = new (std::nothrow) parse_info;
  if (info == nullptr) return TQ_ERR_NO_MEMORY;
  const int32_t rc = morph_info_create(&info->morph);
  if (rc < 0) {
    delete info;
    return rc;
  }
  *out = info;
  return 0;
}

int32_t tqx_parse_info_free(context* ctx, parse_info* info) {
  if (info == nullptr) return 0;
  parse_info_results_clear(ctx, info);
  morph_info_free(info->morph);
  delete info;
  return 0;
}

int32_t tqx_parse_info_chopped_word_list_count_get(context*, parse_info* info, uint32_t* count) {
  *count = wordlist_word_count(&info->chopped);
  return 0;
}

int32_t tqx_parse_info_chopped_word_get(context* ctx, parse_info* info, int32_t index, char* word) {
  strio_out_clear(ctx, word);
  const word_rec* w = wordlist_word_at(&info->chopped, index);
  if (w == nullptr) return TQ_ERR_INDEX;
  return text_out(ctx, w->text, word);
}

int32_t tqx_parse_info_morph_analyzer_info_get(context*, parse_info* info, morph_analyzer_info** morph_info) {
  *morph_info = info->morph;
  return 0;
}

int32_t tqx_parse_info_solution_list_count_get(context*, parse_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->solutions.size());
  return 0;
}

int32_t tqx_parse_info_solution_score_get(context* ctx, parse_info* info, int32_t index, uint32_t* score) {
  *score = 0;
  if (!in_range(index, info->solutions.size())) return TQ_ERR_INDEX;
  int32_t value = 0;
  const int32_t rc = parse_solution_score_get(ctx, info->solutions[static_cast<size_t>(index)], &value);
  if (rc < 0) return rc;
  *score = static_cast<uint32_t>(value);
  return 0;
}

int32_t tqx_parse_info_solution_rule_get(context* ctx, parse_info* info, int32_t index, solution_rule** rule) {
  *rule = nullptr;
  if (!in_range(index, info->solutions.size())) return TQ_ERR_INDEX;
  const int32_t rc = solrule_from_solution(ctx, info->solutions[static_cast<size_t>(index)], rule);
  return rc < 0 ? rc : 0;
}

int32_t tqx_parse_info_best_solution_score_get(context* ctx, parse_info* info, uint32_t* score) {
  *score = 0;
  if (info->best < 0) return 0;
  return tqx_parse_info_solution_score_get(ctx, info, info->best, score);
}

int32_t tqx_parse_info_best_solution_rule_get(context* ctx, parse_info* info, solution_rule** rule) {
  *rule = nullptr;
  if (info->best < 0) return 0;
  return tqx_parse_info_solution_rule_get(ctx, info, info->best, rule);
}

int32_t tqx_parse_solution_rule_string_get(context* ctx, parse_info* info, solution_rule* rule, char* rule_string) {
  strio_out_clear(ctx, rule_string);
  char text[kWordTextSize];
  int32_t rc = solrule_string_get(ctx, rule, &info->words, text);
  if (rc < 0) return rc;
  rc = text_out(ctx, text, rule_string);
  return rc < 0 ? rc : 0;
}

int32_t tqx_parse_info_abandoned_flag_get(context*, parse_info* info, uint32_t* abandoned) {
  *abandoned = info->abandoned;
  return 0;
}

int32_t tqx_parse_info_preprocessed_string_get(context* ctx, parse_info* info, char* preprocessed_string) {
  strio_out_clear(ctx, preprocessed_string);
  return text_out(ctx, info->preprocessed.c_str(), preprocessed_string);
}

int32_t tqx_parse_info_any_preprocessing_regexlib_matched_get(context*, parse_info* info, uint32_t* matched) {
  *matched = info->any_matched;
  return 0;
}

int32_t tqx_parse_info_preprocessed_info_get(context* ctx, parse_info* info, int32_t index,
                                             char* preprocessed_string, uint32_t* matched) {
  strio_out_clear(ctx, preprocessed_string);
  *matched = 0;
  if (index == 0 && info->steps.empty()) return 0;
  if (!in_range(index, info->steps.size())) return TQ_ERR_INDEX;
  const parse_info_step& step = info->steps[static_cast<size_t>(index)];
  *matched = step.matched;
  return text_out(ctx, step.text.c_str(), preprocessed_string);
}

int32_t tqx_parse_info_token_name_get(context* ctx, parse_info* info, int32_t index, char* name) {
  strio_out_clear(ctx, name);
  if (!in_range(index, info->token_names.size())) return TQ_ERR_INDEX;
  return text_out(ctx, info->token_names[static_cast<size_t>(index)].c_str(), name);
}

}  // namespace tq

#include "standardize/krcinfo.h"

#include <new>

#include "core/krenc.h"
#include "core/krerr.h"

namespace tq {

namespace {

constexpr uint32_t kInfoTextSize = 1028;

// A text out in the session encoding; the buffer holds kInfoTextSize bytes
// with the terminator.
int32_t text_out(context* ctx, const std::string& text, char* out) {
  strio_out_clear_n(ctx, out, kInfoTextSize);
  return strio_out_sized(ctx, text.c_str(), out, kInfoTextSize, kStrioConvert);
}

const std::string& or_else(const std::string& text, const std::string& fallback) {
  return text.empty() ? fallback : text;
}

// The word record at an index; NULL (with the caller's -800) out of range.
const case_info::word* record_at(const case_info* info, int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= info->words.size()) return nullptr;
  return &info->words[static_cast<size_t>(index)];
}

}  // namespace

int32_t case_info_init(context*, case_info** info) {
  *info = new (std::nothrow) case_info;
  return *info == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

int32_t case_info_free(context*, case_info* info) {
  delete info;
  return 0;
}

int32_t case_info_preprocessed_info_get(context* ctx, case_info* info, char* value, uint32_t* matched) {
  *matched = info->preprocessing_matched;
  return text_out(ctx, info->preprocessed, value);
}

int32_t case_info_preprocessed_string_get(context* ctx, case_info* info, char* value) {
  return text_out(ctx, info->preprocessed, value);
}

int32_t case_info_concat_string_get(context* ctx, case_info* info, char* value) {
  return text_out(ctx, info->concatenated, value);
}

int32_t case_info_chop_word_count_get(context*, case_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->chop_words.size());
  return 0;
}

int32_t case_info_chop_word_get(context* ctx, case_info* info, int32_t index, char* value) {
  strio_out_clear_n(ctx, value, kInfoTextSize);
  if (index < 0 || static_cast<size_t>(index) >= info->chop_words.size()) return TQ_ERR_INDEX;
  return text_out(ctx, info->chop_words[static_cast<size_t>(index)], value);
}

int32_t case_info_word_count_get(context*, case_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->words.size());
  return 0;
}

int32_t case_info_word_info_get(context* ctx, case_info* info, int32_t index, char* value, char* standard,
                                char* regexed, char* final_text) {
  for (char* out : {value, standard, regexed, final_text}) strio_out_clear_n(ctx, out, kInfoTextSize);
  const case_info::word* w = record_at(info, index);
  if (w == nullptr) return TQ_ERR_INDEX;
  int32_t first = 0;
  const std::pair<const std::string*, char*> texts[] = {
      {&w->source, value}, {&w->after_scheme, standard}, {&w->after_regex, regexed}, {&w->final_text, final_text}};
  for (const auto& [text, out] : texts) {
    const int32_t rc = text_out(ctx, *text, out);
    if (rc < 0) return rc;
    if (rc > 0 && first == 0) first = rc;
  }
  return first;
}

int32_t case_info_known_word_scheme_matched_get(context*, case_info* info, uint32_t* matched) {
  *matched = info->scheme_matched;
  return 0;
}

int32_t case_info_known_word_scheme_word_matched_get(context*, case_info* info, int32_t index, uint32_t* value) {
  *value = 0;
  const case_info::word* w = record_at(info, index);
  if (w == nullptr) return TQ_ERR_INDEX;
  *value = w->scheme_flag;
  return 0;
}

int32_t case_info_known_word_scheme_word_get(context* ctx, case_info* info, int32_t index, char* input,
                                             char* value) {
  strio_out_clear_n(ctx, input, kInfoTextSize);
  strio_out_clear_n(ctx, value, kInfoTextSize);
  const case_info::word* w = record_at(info, index);
  if (w == nullptr) return TQ_ERR_INDEX;
  const int32_t rc = text_out(ctx, w->source, input);
  if (rc < 0) return rc;
  const int32_t rc2 = text_out(ctx, or_else(w->after_scheme, w->source), value);
  return rc2 < 0 ? rc2 : (rc > 0 ? rc : rc2);
}

int32_t case_info_known_pattern_regex_matched_get(context*, case_info* info, uint32_t* matched) {
  *matched = info->regex_matched;
  return 0;
}

int32_t case_info_known_pattern_regex_word_get(context* ctx, case_info* info, int32_t index, char* value) {
  strio_out_clear_n(ctx, value, kInfoTextSize);
  const case_info::word* w = record_at(info, index);
  if (w == nullptr) return TQ_ERR_INDEX;
  return text_out(ctx, or_else(w->after_regex, w->after_scheme), value);
}

int32_t case_info_final_word_get(context* ctx, case_info* info, int32_t index, char* value) {
  strio_out_clear_n(ctx, value, kInfoTextSize);
  const case_info::word* w = record_at(info, index);
  if (w == nullptr) return TQ_ERR_INDEX;
  return text_out(ctx, or_else(w->final_text, w->source), value);
}

int32_t case_info_default_casing_used_get(context*, case_info* info, uint32_t* value) {
  *value = info->default_casing_used;
  return 0;
}

int32_t case_info_postprocessed_matched_get(context*, case_info* info, uint32_t* matched) {
  *matched = info->postprocessing_matched;
  return 0;
}

}  // namespace tq

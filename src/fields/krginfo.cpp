#include "fields/krginfo.h"

#include <new>

#include "core/krenc.h"
#include "core/krerr.h"

namespace tq {

namespace {

constexpr uint32_t kGenderOutMax = 4;
// The info's other texts: at most 1,024 bytes of text and the session's
// terminator, so a 1,028-byte buffer takes any in every session encoding.
constexpr uint32_t kTextOutMax = 1024;

template <typename F>
int32_t guarded(gender_info* info, F&& body) {
  if (info == nullptr) return TQ_ERR_ARGUMENT;
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
}

const char* text_or_empty(const char* s) { return s != nullptr ? s : ""; }

gender_info::word* word_at(gender_info* info, uint32_t t, uint32_t w) {
  if (t >= info->tokens.size() || w >= info->tokens[t].words.size()) return nullptr;
  return &info->tokens[t].words[w];
}

int32_t text_out(context* ctx, const std::string& s, char* out) {
  return strio_out(ctx, s.c_str(), out, kTextOutMax, kStrioConvert);
}

// The texts of getters that give their conversions' warnings: the first
// positive code, or the first failure.
int32_t texts_out(context* ctx, std::initializer_list<std::pair<const std::string*, char*>> texts) {
  int32_t result = 0;
  for (const auto& [s, out] : texts) {
    const int32_t rc = text_out(ctx, *s, out);
    if (rc < 0) return rc;
    if (result == 0) result = rc;
  }
  return result;
}

}  // namespace

// ---- Recording ----------------------------------------------------------------------------

int32_t gender_info_tokens_init(gender_info* info, uint32_t n) {
  return guarded(info, [&] {
    info->input_names.assign(n, std::string());
    info->input_values.assign(n, std::string());
    return 0;
  });
}

int32_t gender_info_token_set(gender_info* info, uint32_t i, const char* name, const char* value) {
  return guarded(info, [&] {
    if (i >= info->input_names.size()) return TQ_ERR_INDEX;
    info->input_names[i] = text_or_empty(name);
    info->input_values[i] = text_or_empty(value);
    return 0;
  });
}

int32_t gender_info_token_records_init(gender_info* info, uint32_t token_count, uint32_t value_count) {
  return guarded(info, [&] {
    // Replaced lists free what they held.
    std::vector<gender_info::token>(token_count).swap(info->tokens);
    info->scores.assign(value_count, 0);
    return 0;
  });
}

int32_t gender_info_token_words_init(gender_info* info, uint32_t t, uint32_t word_count, uint32_t vocab_count,
                                     uint32_t norm_count, uint32_t regexlib_count) {
  return guarded(info, [&] {
    if (t >= info->tokens.size()) return TQ_ERR_INDEX;
    gender_info::token& tok = info->tokens[t];
    std::vector<gender_info::word> words(word_count);
    for (gender_info::word& w : words) {
      w.norms.resize(norm_count);
      w.entry_values.resize(regexlib_count);
    }
    tok.words.swap(words);
    tok.vocab_count = vocab_count;
    tok.norm_count = norm_count;
    tok.regexlib_count = regexlib_count;
    tok.any_norm_matched = 0;
    return 0;
  });
}

int32_t gender_info_sig_token_add(gender_info* info, const char* name, const char* value) {
  return guarded(info, [&] {
    info->sig_names.reserve(info->sig_names.size() + 1);
    info->sig_values.reserve(info->sig_values.size() + 1);
    info->sig_names.emplace_back(text_or_empty(name));
    info->sig_values.emplace_back(text_or_empty(value));
    return 0;
  });
}

int32_t gender_info_word_row_add(gender_info* info, const char* word, const char* normalized, const char* fuzzy,
                                 const char* gender) {
  return guarded(info, [&] {
    info->rows.push_back({text_or_empty(word), text_or_empty(normalized), text_or_empty(fuzzy),
                          text_or_empty(gender)});
    return 0;
  });
}

int32_t gender_info_fuzzy_add(gender_info* info, uint32_t t, uint32_t w, uint32_t vocab, const char* found) {
  return guarded(info, [&] {
    gender_info::word* rec = word_at(info, t, w);
    if (rec == nullptr) return TQ_ERR_INDEX;
    rec->fuzzy.push_back({vocab, text_or_empty(found)});
    return 0;
  });
}

int32_t gender_info_vocab_cat_add(gender_info* info, uint32_t t, uint32_t w, uint32_t vocab, const char* gender,
                                  const char* category) {
  return guarded(info, [&] {
    gender_info::word* rec = word_at(info, t, w);
    if (rec == nullptr) return TQ_ERR_INDEX;
    rec->cats.push_back({vocab, text_or_empty(category), text_or_empty(gender)});
    return 0;
  });
}

int32_t gender_info_word_texts_set(gender_info* info, uint32_t t, uint32_t w, const char* chopped,
                                   const char* uppercased) {
  return guarded(info, [&] {
    gender_info::word* rec = word_at(info, t, w);
    if (rec == nullptr) return TQ_ERR_INDEX;
    if (chopped != nullptr) rec->chopped = chopped;
    if (uppercased != nullptr) rec->uppercased = uppercased;
    return 0;
  });
}

int32_t gender_info_norm_set(gender_info* info, uint32_t t, uint32_t w, uint32_t n, const char* output,
                             uint32_t replaced) {
  return guarded(info, [&] {
    gender_info::word* rec = word_at(info, t, w);
    if (rec == nullptr || n >= rec->norms.size()) return TQ_ERR_INDEX;
    rec->norms[n].output = text_or_empty(output);
    rec->norms[n].replaced = replaced;
    if (replaced != 0) info->tokens[t].any_norm_matched = 1;
    return 0;
  });
}

int32_t gender_info_entry_value_set(gender_info* info, uint32_t t, uint32_t w, uint32_t e, const char* value) {
  return guarded(info, [&] {
    gender_info::word* rec = word_at(info, t, w);
    if (rec == nullptr || e >= rec->entry_values.size()) return TQ_ERR_INDEX;
    rec->entry_values[e] = text_or_empty(value);
    return 0;
  });
}

// ---- Exports ------------------------------------------------------------------------------

int32_t tqx_gender_info_init(context*, gender_info** out) {
  *out = new (std::nothrow) gender_info;
  return *out == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

int32_t tqx_gender_info_free(context*, gender_info* info) {
  delete info;
  return 0;
}

int32_t tqx_gender_info_normalized_string_get(context* ctx, gender_info*, char* value) {
  strio_out_clear(ctx, value);
  return 0;
}

int32_t tqx_gender_info_stop_flag_get(context*, gender_info* info, uint32_t* flag) {
  *flag = info->stop;
  return 0;
}

int32_t tqx_gender_info_no_solution_flag_get(context*, gender_info* info, uint32_t* flag) {
  *flag = info->no_solution;
  return 0;
}

int32_t tqx_gender_info_token_count_get(context*, gender_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->input_names.size());
  return 0;
}

int32_t tqx_gender_info_token_info_get(context* ctx, gender_info* info, uint32_t index, char* name, char* value) {
  strio_out_clear(ctx, name);
  strio_out_clear(ctx, value);
  if (index >= info->input_names.size()) return TQ_ERR_INDEX;
  return texts_out(ctx, {{&info->input_names[index], name}, {&info->input_values[index], value}});
}

int32_t tqx_gender_info_sig_token_count_get(context*, gender_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->sig_names.size());
  return 0;
}

int32_t tqx_gender_info_sig_token_info_get(context* ctx, gender_info* info, uint32_t index, char* name,
                                           char* value) {
  strio_out_clear(ctx, name);
  strio_out_clear(ctx, value);
  if (index >= info->sig_names.size()) return TQ_ERR_INDEX;
  return texts_out(ctx, {{&info->sig_names[index], name}, {&info->sig_values[index], value}});
}

int32_t tqx_gender_info_token_skipped_flag_get(context*, gender_info* info, uint32_t token, uint32_t* skipped) {
  *skipped = 0;
  if (token >= info->tokens.size()) return TQ_ERR_INDEX;
  *skipped = info->tokens[token].skipped;
  return 0;
}

int32_t tqx_gender_info_word_count_get(context*, gender_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->rows.size());
  return 0;
}

int32_t tqx_gender_info_word_info_get(context* ctx, gender_info* info, uint32_t index, char* value, char* norm,
                                      char* fuzzy, char* gender) {
  for (char* out : {value, norm, fuzzy, gender}) strio_out_clear(ctx, out);
  if (index >= info->rows.size()) return TQ_ERR_INDEX;
  const gender_info::row& r = info->rows[index];
  int32_t rc = texts_out(ctx, {{&r.word, value}, {&r.normalized, norm}, {&r.fuzzy, fuzzy}});
  if (rc < 0) return rc;
  const int32_t g = strio_out(ctx, r.gender.c_str(), gender, kGenderOutMax, kStrioConvert);
  if (g < 0) return g;
  return rc != 0 ? rc : g;
}

int32_t tqx_gender_info_word_count_per_token_get(context*, gender_info* info, uint32_t token, uint32_t* count) {
  *count = 0;
  if (token >= info->tokens.size()) return TQ_ERR_INDEX;
  *count = static_cast<uint32_t>(info->tokens[token].words.size());
  return 0;
}

int32_t tqx_gender_info_word_get_by_token(context* ctx, gender_info* info, uint32_t token, uint32_t word_index,
                                          char* word) {
  strio_out_clear(ctx, word);
  const gender_info::word* w = word_at(info, token, word_index);
  if (w == nullptr) return TQ_ERR_INDEX;
  const int32_t rc = text_out(ctx, w->chopped, word);
  return rc < 0 ? rc : 0;
}

int32_t tqx_gender_info_word_uppercased_get_by_token(context* ctx, gender_info* info, uint32_t token,
                                                     uint32_t word, char* value) {
  strio_out_clear(ctx, value);
  const gender_info::word* w = word_at(info, token, word);
  if (w == nullptr) return TQ_ERR_INDEX;
  return text_out(ctx, w->uppercased, value);
}

int32_t tqx_gender_info_norm_regexlib_count_get(context*, gender_info* info, uint32_t token, uint32_t* count) {
  *count = 0;
  if (token >= info->tokens.size()) return TQ_ERR_INDEX;
  *count = info->tokens[token].norm_count;
  return 0;
}

int32_t tqx_gender_info_any_norm_regexlib_matched_get(context*, gender_info* info, uint32_t token,
                                                      uint32_t* matched) {
  *matched = 0;
  if (token >= info->tokens.size()) return TQ_ERR_INDEX;
  *matched = info->tokens[token].any_norm_matched;
  return 0;
}

int32_t tqx_gender_info_word_norm_get_by_token(context* ctx, gender_info* info, uint32_t token,
                                               uint32_t word_index, uint32_t regexlib, char* word,
                                               uint32_t* matched) {
  strio_out_clear(ctx, word);
  *matched = 0;
  const gender_info::word* w = word_at(info, token, word_index);
  if (w == nullptr || regexlib >= w->norms.size()) return TQ_ERR_INDEX;
  const int32_t rc = text_out(ctx, w->norms[regexlib].output, word);
  if (rc < 0) return rc;
  *matched = w->norms[regexlib].replaced;
  return 0;
}

int32_t tqx_gender_info_vocab_count_get(context*, gender_info* info, uint32_t token, uint32_t* count) {
  *count = 0;
  if (token >= info->tokens.size()) return TQ_ERR_INDEX;
  *count = info->tokens[token].vocab_count;
  return 0;
}

int32_t tqx_gender_info_vocab_cat_by_token_count_get(context*, gender_info* info, uint32_t token, uint32_t word,
                                                     uint32_t vocab, uint32_t* count) {
  *count = 0;
  const gender_info::word* w = word_at(info, token, word);
  if (w == nullptr) return TQ_ERR_INDEX;
  for (const auto& c : w->cats) *count += c.vocab == vocab ? 1 : 0;
  return 0;
}

int32_t tqx_gender_info_vocab_cat_by_token_get(context* ctx, gender_info* info, uint32_t token, uint32_t word,
                                               uint32_t n, uint32_t vocab, char* cat, char* gender) {
  strio_out_clear(ctx, cat);
  strio_out_clear(ctx, gender);
  const gender_info::word* w = word_at(info, token, word);
  // n is checked against all the word's rows, then sought among those of
  // the vocabulary; none there leaves both texts empty.
  if (w == nullptr || n >= w->cats.size()) return TQ_ERR_INDEX;
  uint32_t seen = 0;
  for (const auto& c : w->cats) {
    if (c.vocab != vocab || seen++ != n) continue;
    const int32_t rc = texts_out(ctx, {{&c.category, cat}, {&c.gender, gender}});
    return rc < 0 ? rc : 0;
  }
  return 0;
}

int32_t tqx_gender_info_fuzzy_match_by_token_get(context* ctx, gender_info* info, uint32_t token, uint32_t word,
                                                 uint32_t vocab, char* value) {
  strio_out_clear(ctx, value);
  const gender_info::word* w = word_at(info, token, word);
  if (w == nullptr) return TQ_ERR_INDEX;
  for (auto it = w->fuzzy.rbegin(); it != w->fuzzy.rend(); ++it) {
    if (it->vocab != vocab) continue;
    const int32_t rc = text_out(ctx, it->found, value);
    return rc < 0 ? rc : 0;
  }
  return 0;
}

int32_t tqx_gender_info_cat_regexlibs_skipped_by_token_get(context*, gender_info* info, uint32_t token,
                                                           uint32_t* skipped) {
  *skipped = 0;
  if (token >= info->tokens.size()) return TQ_ERR_INDEX;
  *skipped = info->tokens[token].regexlibs_skipped;
  return 0;
}

int32_t tqx_gender_info_cat_regexlib_info_by_token_get(context* ctx, gender_info* info, uint32_t token,
                                                       uint32_t word, uint32_t entry, char* value) {
  strio_out_clear(ctx, value);
  const gender_info::word* w = word_at(info, token, word);
  if (w == nullptr || entry >= w->entry_values.size()) return TQ_ERR_INDEX;
  const int32_t rc = text_out(ctx, w->entry_values[entry], value);
  return rc < 0 ? rc : 0;
}

int32_t tqx_gender_info_gender_value_count_get(context*, gender_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->scores.size());
  return 0;
}

int32_t tqx_gender_info_score_get(context*, gender_info* info, uint32_t index, int32_t* score) {
  *score = 0;
  if (index >= info->scores.size()) return TQ_ERR_INDEX;
  *score = info->scores[index];
  return 0;
}

}  // namespace tq

#include "fields/krxinfo.h"

#include <algorithm>
#include <new>

#include "core/krenc.h"
#include "core/krerr.h"
#include "platform/nputf8.h"

namespace tq {

namespace {

void solution_delete(parse_solution* s) {
  if (s == nullptr) return;
  parse_solution_free(s);  // the copy's own storage
  delete s;
}

}  // namespace

int32_t extract_owned_words::assign(context* ctx, const word_list* src) {
  clear();
  int32_t rc = wordlist_copy(ctx, src, &list);
  if (rc < 0) return rc;
  present = 1;
  return 0;
}

int32_t extract_info_create(extract_info** out) {
  *out = new (std::nothrow) extract_info;
  return *out == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

void extract_info_free(context* ctx, extract_info* info) {
  if (info == nullptr) return;
  (void)extract_info_reset(ctx, info);
  delete info;
}

int32_t extract_info_reset(context* ctx, extract_info* info) {
  if (info == nullptr) return 0;
  info->preprocessing.clear();
  info->any_preprocessing_matched = 0;
  info->all_words.clear();
  info->chopped.clear();
  info->known_words.clear();
  // The solutions go before the parsers they name.
  info->iterations.clear();
  return parser_release_all(ctx, &info->parsers);
}

int32_t extract_info_iteration_add(extract_info* info, uint32_t words, extract_info_iteration_rec** out) {
  *out = nullptr;
  try {
    auto it = std::make_unique<extract_info_iteration_rec>();
    it->states.assign(words, kWordUnexamined);
    info->iterations.push_back(std::move(it));
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  *out = info->iterations.back().get();
  return 0;
}

int32_t extract_info_iteration_window_set(context* ctx, extract_info_iteration_rec* it, morph_analyzer_info* morph,
                                          const word_list* window) {
  morph_info_free(it->morph);
  it->morph = morph;
  return window != nullptr ? it->window.assign(ctx, window) : 0;
}

int32_t extract_info_iteration_patterns_init(extract_info_iteration_rec* it, uint32_t patterns) {
  try {
    it->patterns.clear();
    it->patterns.resize(patterns);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  for (uint32_t p = 0; p < patterns; ++p) it->patterns[p].pattern_index = p;
  return 0;
}

int32_t extract_info_pattern_solutions_record(context* ctx, extract_info* info, extract_info_pattern_rec* rec,
                                              parser_rec* parser, const vec* solutions, const word_list* window) {
  rec->kind = kExtractSolutions;
  rec->solutions.clear();
  rec->phrase.clear();
  const int32_t n = solutions != nullptr ? static_cast<int32_t>(solutions->count) : 0;
  try {
    if (parser != nullptr && std::find(info->parsers.begin(), info->parsers.end(), parser) == info->parsers.end()) {
      info->parsers.push_back(parser);
      parser->refs += 1;
    }
    for (int32_t i = 0; i < n; ++i) {
      const auto* s = static_cast<const parse_solution*>(vec_get(solutions, i));
      if (s == nullptr) continue;
      auto* copy = new parse_solution{};
      std::unique_ptr<parse_solution, void (*)(parse_solution*)> owned(copy, solution_delete);
      if (int32_t rc = parse_solution_copy(ctx, s, copy); rc < 0) return rc;
      rec->solutions.push_back(std::move(owned));
    }
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  if (!rec->solutions.empty() && window != nullptr) {
    char text[kExtractTextSize] = "";
    if (int32_t rc = parse_solution_text_get(ctx, rec->solutions[0].get(), window, text); rc < 0) return rc;
    rec->phrase = text;
  }
  return 0;
}

int32_t extract_info_pattern_word_record(context* ctx, extract_info_iteration_rec* it, uint32_t pattern,
                                         int32_t analysed) {
  if (pattern >= it->patterns.size()) return TQ_ERR_INDEX;
  extract_info_pattern_rec& rec = it->patterns[pattern];
  rec.kind = kExtractWord;
  const int32_t w = it->morph != nullptr ? morph_info_word_index_adjust(ctx, it->morph, analysed) : analysed;
  const word_rec* word = it->window.present != 0 ? wordlist_word_at(&it->window.list, w) : nullptr;
  if (word == nullptr) return TQ_ERR_INDEX;
  rec.phrase = word->text;
  return 0;
}

int32_t extract_info_state_word_info_get(const extract_info* info, uint32_t iteration, uint32_t word,
                                         uint32_t* status, uint32_t* begin, uint32_t* end) {
  *status = 0;
  *begin = 0;
  *end = 0;
  if (iteration >= info->iterations.size() || info->all_words.present == 0) return TQ_ERR_INDEX;
  const word_rec* w = wordlist_word_at(&info->all_words.list, static_cast<int32_t>(word));
  const extract_info_iteration_rec& it = *info->iterations[iteration];
  if (w == nullptr || word >= it.states.size()) return TQ_ERR_INDEX;
  *status = it.states[word];
  char text[kWordTextSize];
  wordlist_surface_text_all(text, &info->all_words.list);
  // Characters, not bytes: decode up to the word's start.
  const char* cursor = text;
  const char* stop = text + (w->start < 0 ? 0 : w->start);
  uint32_t chars = 0;
  while (cursor < stop && *cursor != '\0') {
    int32_t code = 0;
    if (np_uchar_toint(&cursor, &code) < 0) return TQ_ERR_INVALID_CHAR;
    ++chars;
  }
  *begin = chars;
  const uint32_t length = static_cast<uint32_t>(np_uchar_length(w->text));
  *end = length == 0 ? chars : chars + length - 1;
  return 0;
}

// ---- Exports ---------------------------------------------------------------------------------

namespace {

int32_t text_out(context* ctx, const char* utf8, char* out) {
  const int32_t rc = strio_out_sized(ctx, utf8, out, kTextOutSize, kStrioConvert);
  if (rc < 0) strio_out_clear(ctx, out);
  return rc < 0 ? rc : 0;
}

const extract_info_iteration_rec* iteration_of(const extract_info* info, uint32_t iteration) {
  return iteration < info->iterations.size() ? info->iterations[iteration].get() : nullptr;
}

// The solutions of a pattern record: -800 for an iteration or pattern out of
// range, -700 for a record that holds none.
int32_t solutions_of(const extract_info* info, uint32_t iteration, uint32_t pattern,
                     const extract_info_pattern_rec** out) {
  *out = nullptr;
  const extract_info_iteration_rec* it = iteration_of(info, iteration);
  if (it == nullptr || pattern >= it->patterns.size()) return TQ_ERR_INDEX;
  if (it->patterns[pattern].kind != kExtractSolutions) return TQ_ERR_NOT_SUPPORTED;
  *out = &it->patterns[pattern];
  return 0;
}

}  // namespace

int32_t tqx_extract_info_init(context*, extract_info** info) {
  *info = nullptr;
  return extract_info_create(info);
}

int32_t tqx_extract_info_free(context* ctx, extract_info* info) {
  extract_info_free(ctx, info);
  return 0;
}

int32_t tqx_extract_info_preproc_rgx_count_get(context*, extract_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->preprocessing.size());
  return 0;
}

int32_t tqx_extract_info_any_preprocessing_regexlib_matched_get(context*, extract_info* info, uint32_t* matched) {
  *matched = info->any_preprocessing_matched;
  return 0;
}

int32_t tqx_extract_info_preprocessed_info_get(context* ctx, extract_info* info, uint32_t index,
                                               char* preprocessed_string, uint32_t* matched) {
  strio_out_clear(ctx, preprocessed_string);
  *matched = 0;
  if (index >= info->preprocessing.size()) return TQ_ERR_INDEX;
  *matched = info->preprocessing[index].matched;
  return text_out(ctx, info->preprocessing[index].text.c_str(), preprocessed_string);
}

int32_t tqx_extract_info_chopped_word_list_count_get(context*, extract_info* info, uint32_t* count) {
  *count = info->chopped.present != 0 ? wordlist_word_count(&info->chopped.list) : 0;
  return 0;
}

int32_t tqx_extract_info_chopped_word_get(context* ctx, extract_info* info, uint32_t index, char* word) {
  strio_out_clear(ctx, word);
  const word_rec* w = info->chopped.present != 0 && index < wordlist_word_count(&info->chopped.list)
                          ? wordlist_word_at(&info->chopped.list, static_cast<int32_t>(index))
                          : nullptr;
  if (w == nullptr) return TQ_ERR_INDEX;
  return text_out(ctx, w->text, word);
}

int32_t tqx_extract_info_known_word_count_get(context*, extract_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->known_words.size());
  return 0;
}

int32_t tqx_extract_info_known_word_get(context* ctx, extract_info* info, uint32_t index, char* word) {
  strio_out_clear(ctx, word);
  if (index >= info->known_words.size()) return TQ_ERR_INDEX;
  return text_out(ctx, info->known_words[index].phrase.c_str(), word);
}

int32_t tqx_extract_info_known_word_info_get(context* ctx, extract_info* info, uint32_t index, uint32_t* used,
                                             char* scheme_name, int32_t* scheme_idx, int32_t* token_index) {
  *used = 0;
  strio_out_clear(ctx, scheme_name);
  *scheme_idx = -1;
  *token_index = -1;
  if (index >= info->known_words.size()) return TQ_ERR_INDEX;
  const extract_known_word_rec& r = info->known_words[index];
  if (r.found == 0) return 0;
  *used = 1;
  *scheme_idx = r.scheme_index;
  *token_index = r.token;
  return text_out(ctx, r.scheme_name.c_str(), scheme_name);
}

int32_t tqx_extract_info_iteration_count_get(context*, extract_info* xinfo, uint32_t* count) {
  *count = static_cast<uint32_t>(xinfo->iterations.size());
  return 0;
}

int32_t tqx_extract_info_iteration_morph_analyzer_info_get(context*, extract_info* xinfo, uint32_t iteration,
                                                           morph_analyzer_info** ma_info) {
  *ma_info = nullptr;
  const extract_info_iteration_rec* it = iteration_of(xinfo, iteration);
  if (it == nullptr) return TQ_ERR_INDEX;
  *ma_info = it->morph;
  return 0;
}

int32_t tqx_extract_info_iteration_state_string_get(context* ctx, extract_info* xinfo, uint32_t iteration,
                                                    char* result) {
  strio_out_clear(ctx, result);
  if (iteration_of(xinfo, iteration) == nullptr) return TQ_ERR_INDEX;
  char text[kWordTextSize] = "";
  if (xinfo->all_words.present != 0) wordlist_surface_text_all(text, &xinfo->all_words.list);
  return text_out(ctx, text, result);
}

int32_t tqx_extract_info_iteration_state_word_count_get(context*, extract_info* xinfo, uint32_t iteration,
                                                        uint32_t* count) {
  *count = 0;
  if (iteration_of(xinfo, iteration) == nullptr) return TQ_ERR_INDEX;
  *count = xinfo->all_words.present != 0 ? wordlist_word_count(&xinfo->all_words.list) : 0;
  return 0;
}

int32_t tqx_extract_info_iteration_state_word_info_get(context*, extract_info* xinfo, uint32_t iteration,
                                                       uint32_t word, uint32_t* status, uint32_t* begin_idx,
                                                       uint32_t* end_idx) {
  return extract_info_state_word_info_get(xinfo, iteration, word, status, begin_idx, end_idx);
}

int32_t tqx_extract_info_iteration_matched_count_get(context*, extract_info* xinfo, uint32_t iteration,
                                                     uint32_t* count) {
  *count = 0;
  const extract_info_iteration_rec* it = iteration_of(xinfo, iteration);
  if (it == nullptr) return TQ_ERR_INDEX;
  for (const extract_info_pattern_rec& p : it->patterns) *count += p.matched != 0 ? 1 : 0;
  return 0;
}

int32_t tqx_extract_info_iteration_matched_info_get(context* ctx, extract_info* xinfo, uint32_t iteration,
                                                    uint32_t match, char* phrase, uint32_t* pat_idx,
                                                    uint32_t* sol_type, uint32_t* sol_count) {
  strio_out_clear(ctx, phrase);
  *pat_idx = 0;
  *sol_type = 0;
  *sol_count = 0;
  const extract_info_iteration_rec* it = iteration_of(xinfo, iteration);
  if (it == nullptr || it->patterns.empty()) return TQ_ERR_INDEX;
  uint32_t seen = 0;
  for (size_t p = 0; p < it->patterns.size(); ++p) {
    const extract_info_pattern_rec& r = it->patterns[p];
    if (r.matched == 0 || seen++ != match) continue;
    *pat_idx = static_cast<uint32_t>(p);
    *sol_type = r.kind;
    *sol_count = r.kind == kExtractSolutions ? static_cast<uint32_t>(r.solutions.size()) : 0;
    return text_out(ctx, r.phrase.c_str(), phrase);
  }
  return TQ_ERR_INDEX;
}

int32_t tqx_extract_info_iteration_pattern_solution_score_get(context* ctx, extract_info* xinfo,
                                                              uint32_t iteration, uint32_t pattern,
                                                              uint32_t solution, int32_t* score) {
  *score = 0;
  const extract_info_pattern_rec* r = nullptr;
  int32_t rc = solutions_of(xinfo, iteration, pattern, &r);
  if (rc < 0) return rc;
  if (solution >= r->solutions.size()) return TQ_ERR_INDEX;
  rc = parse_solution_score_get(ctx, r->solutions[solution].get(), score);
  return rc < 0 ? rc : 0;
}

int32_t tqx_extract_info_iteration_pattern_solution_rule_get(context* ctx, extract_info* xinfo,
                                                             uint32_t iteration, uint32_t pattern,
                                                             uint32_t solution, solution_rule** rule) {
  *rule = nullptr;
  const extract_info_pattern_rec* r = nullptr;
  int32_t rc = solutions_of(xinfo, iteration, pattern, &r);
  if (rc < 0) return rc;
  if (solution >= r->solutions.size()) return TQ_ERR_INDEX;
  rc = solrule_from_solution(ctx, r->solutions[solution].get(), rule);
  return rc < 0 ? rc : 0;
}

int32_t tqx_extract_info_iteration_pattern_best_solution_rule_get(context* ctx, extract_info* xinfo,
                                                                  uint32_t iteration, uint32_t pattern,
                                                                  solution_rule** rule) {
  *rule = nullptr;
  const extract_info_pattern_rec* r = nullptr;
  int32_t rc = solutions_of(xinfo, iteration, pattern, &r);
  if (rc < 0) return rc;
  // The first of the strictly greatest scores above 0; none when every
  // score is 0 or less.
  parse_solution* best = nullptr;
  int32_t best_score = 0;
  for (const auto& s : r->solutions) {
    int32_t score = 0;
    if ((rc = parse_solution_score_get(ctx, s.get(), &score)) < 0) return rc;
    if (score > best_score) {
      best_score = score;
      best = s.get();
    }
  }
  if (best == nullptr) return 0;
  rc = solrule_from_solution(ctx, best, rule);
  return rc < 0 ? rc : 0;
}

int32_t tqx_extract_info_iteration_pattern_solution_rule_string_get(context* ctx, extract_info* xinfo,
                                                                    uint32_t iteration, solution_rule* rule,
                                                                    char* str) {
  strio_out_clear(ctx, str);
  const extract_info_iteration_rec* it = iteration_of(xinfo, iteration);
  // The last iteration has no window to read the rule's words from.
  if (it == nullptr || it->window.present == 0) return TQ_ERR_INDEX;
  char text[kWordTextSize];
  const int32_t rc = solrule_string_get(ctx, rule, &it->window.list, text);
  if (rc < 0) return rc;
  return text_out(ctx, text, str);
}

}  // namespace tq

#include "fields/krxinfo.h"

#include <new>

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

void extract_info_free(extract_info* info) { delete info; }

void extract_info_reset(extract_info* info) {
  if (info == nullptr) return;
  info->preprocessing.clear();
  info->any_preprocessing_matched = 0;
  info->all_words.clear();
  info->chopped.clear();
  info->known_words.clear();
  info->iterations.clear();
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

int32_t extract_info_pattern_solutions_record(context* ctx, extract_info_pattern_rec* rec, const vec* solutions,
                                              const word_list* window) {
  rec->kind = kExtractSolutions;
  rec->solutions.clear();
  rec->phrase.clear();
  const int32_t n = solutions != nullptr ? static_cast<int32_t>(solutions->count) : 0;
  try {
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

}  // namespace tq

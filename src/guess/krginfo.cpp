#include "guess/krginfo.h"

#include <algorithm>
#include <new>

#include "core/krenc.h"
#include "core/krerr.h"

namespace tq {

void guess_info_solution_free::operator()(parse_solution* s) const {
  if (s == nullptr) return;
  parse_solution_free(s);  // the copy's own storage
  delete s;
}

guess_info_locale_rec::~guess_info_locale_rec() {
  delete lang;
  morph_info_free(morph);
  if (chopped_present != 0) wordlist_free(&chopped);
}

int32_t guess_info_reset(context* ctx, guess_info* info) {
  if (info == nullptr) return 0;
  // The solutions go before the parsers they name; a call refused the
  // write hold that giving parsers back takes keeps them for its run again.
  info->candidates.clear();
  return parser_release_all(ctx, &info->parsers);
}

int32_t guess_info_candidates_make(context* ctx, guess_info* info, uint32_t count) {
  int32_t rc = guess_info_reset(ctx, info);
  if (rc < 0) return rc;
  try {
    info->candidates.reserve(count);
    for (uint32_t i = 0; i < count; ++i) info->candidates.push_back(std::make_unique<guess_info_locale_rec>());
  } catch (const std::bad_alloc&) {
    info->candidates.clear();
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

int32_t guess_info_phrase_add(context* ctx, guess_info* info, guess_info_pattern_rec* entry, parser_rec* parser,
                              const vec* solutions, const word_list* surface) {
  entry->kind = kGuessInfoPhrases;
  const int32_t n = solutions != nullptr ? static_cast<int32_t>(solutions->count) : 0;
  try {
    if (parser != nullptr && std::find(info->parsers.begin(), info->parsers.end(), parser) == info->parsers.end()) {
      info->parsers.push_back(parser);
      parser->refs += 1;
    }
    entry->phrases.emplace_back();
    guess_info_phrase_rec& phrase = entry->phrases.back();
    for (int32_t i = 0; i < n; ++i) {
      const auto* s = static_cast<const parse_solution*>(vec_get(solutions, i));
      if (s == nullptr) continue;
      guess_info_solution copy(new parse_solution{});
      if (int32_t rc = parse_solution_copy(ctx, s, copy.get()); rc < 0) return rc;
      phrase.solutions.push_back(std::move(copy));
    }
    if (!phrase.solutions.empty() && surface != nullptr) {
      char text[kWordTextSize] = "";
      if (int32_t rc = parse_solution_text_get(ctx, phrase.solutions[0].get(), surface, text); rc < 0) return rc;
      phrase.text = text;
    }
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

int32_t guess_info_word_add(context* ctx, guess_info_pattern_rec* entry, const morph_analyzer_info* morph,
                            int32_t analysed, const word_list* surface) {
  entry->kind = kGuessInfoWords;
  const int32_t w = morph != nullptr ? morph_info_word_index_adjust(ctx, morph, analysed) : analysed;
  const word_rec* word = w >= 0 && surface != nullptr ? wordlist_word_at(surface, w) : nullptr;
  if (word == nullptr) return TQ_ERR_INDEX;
  try {
    entry->phrases.emplace_back();
    entry->phrases.back().text = word->text;
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

// ---- Exports ---------------------------------------------------------------------------------

namespace {

int32_t text_out(context* ctx, const std::string& utf8, char* out) {
  const int32_t rc = strio_out_sized(ctx, utf8.c_str(), out, kTextOutSize, kStrioConvert);
  if (rc < 0) strio_out_clear(ctx, out);
  return rc < 0 ? rc : 0;
}

const guess_info_locale_rec* candidate_of(const guess_info* info, uint32_t i) {
  return i < info->candidates.size() ? info->candidates[i].get() : nullptr;
}

const guess_info_pattern_rec* pattern_of(const guess_info* info, uint32_t i, uint32_t j) {
  const guess_info_locale_rec* c = candidate_of(info, i);
  return c != nullptr && j < c->patterns.size() ? &c->patterns[j] : nullptr;
}

const guess_info_phrase_rec* phrase_of(const guess_info* info, uint32_t i, uint32_t j, uint32_t k) {
  const guess_info_pattern_rec* p = pattern_of(info, i, j);
  return p != nullptr && k < p->phrases.size() ? &p->phrases[k] : nullptr;
}

// The phrase of an entry that recorded solutions: -800 for an index out of
// range, -700 for an entry that recorded words (or nothing).
int32_t solutions_of(const guess_info* info, uint32_t i, uint32_t j, uint32_t k, const guess_info_phrase_rec** out) {
  *out = nullptr;
  const guess_info_pattern_rec* p = pattern_of(info, i, j);
  if (p == nullptr || k >= p->phrases.size()) return TQ_ERR_INDEX;
  if (p->kind != kGuessInfoPhrases) return TQ_ERR_NOT_SUPPORTED;
  *out = &p->phrases[k];
  return 0;
}

template <double guess_info_locale_rec::*Field>
int32_t score_get(const guess_info* info, uint32_t i, double* score) {
  const guess_info_locale_rec* c = candidate_of(info, i);
  if (c == nullptr) return TQ_ERR_INDEX;
  *score = c->*Field;
  return 0;
}

}  // namespace

int32_t tqx_guess_info_init(context*, guess_info** info) {
  *info = new (std::nothrow) guess_info;
  return *info == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

int32_t tqx_guess_info_free(context* ctx, guess_info* info) {
  if (info == nullptr) return 0;
  // Everything is released even when giving a parser back fails.
  const int32_t rc = guess_info_reset(ctx, info);
  delete info;
  return rc;
}

int32_t tqx_guess_info_pruned_locales_count_get(context*, guess_info* info, uint32_t* num_locales) {
  *num_locales = static_cast<uint32_t>(info->candidates.size());
  return 0;
}

int32_t tqx_guess_info_pruned_locale_get(context*, guess_info* info, uint32_t i, uint32_t* locale) {
  const guess_info_locale_rec* c = candidate_of(info, i);
  if (c == nullptr) return TQ_ERR_INDEX;
  *locale = c->locale;
  return 0;
}

int32_t tqx_guess_info_language_guess_info_get(context*, guess_info* info, uint32_t i,
                                               language_guess_info** lang_info) {
  const guess_info_locale_rec* c = candidate_of(info, i);
  if (c == nullptr) return TQ_ERR_INDEX;
  *lang_info = c->lang;
  return 0;
}

int32_t tqx_guess_info_morph_analyzer_info_get(context*, guess_info* info, uint32_t i,
                                               morph_analyzer_info** ma_info) {
  const guess_info_locale_rec* c = candidate_of(info, i);
  if (c == nullptr) return TQ_ERR_INDEX;
  *ma_info = c->morph;
  return 0;
}

int32_t tqx_guess_info_chopped_word_list_count_get(context*, guess_info* info, uint32_t i, uint32_t* count) {
  const guess_info_locale_rec* c = candidate_of(info, i);
  if (c == nullptr) return TQ_ERR_INDEX;
  *count = c->chopped_present != 0 ? wordlist_word_count(&c->chopped) : 0;
  return 0;
}

int32_t tqx_guess_info_chopped_word_get(context* ctx, guess_info* info, uint32_t i, uint32_t w, char* word) {
  // Cleared in the session encoding's width: one zero byte is not an empty
  // text in UTF-16.
  strio_out_clear(ctx, word);
  const guess_info_locale_rec* c = candidate_of(info, i);
  if (c == nullptr) return TQ_ERR_INDEX;
  if (c->chopped_present == 0 || w >= wordlist_word_count(&c->chopped)) return TQ_ERR_INDEX;
  return text_out(ctx, wordlist_word_at(&c->chopped, static_cast<int32_t>(w))->text, word);
}

int32_t tqx_guess_info_score_get(context*, guess_info* info, uint32_t i, double* score) {
  return score_get<&guess_info_locale_rec::score>(info, i, score);
}
int32_t tqx_guess_info_language_guess_score_get(context*, guess_info* info, uint32_t i, double* score) {
  return score_get<&guess_info_locale_rec::lang_score>(info, i, score);
}
int32_t tqx_guess_info_known_regexlib_score_get(context*, guess_info* info, uint32_t i, double* score) {
  return score_get<&guess_info_locale_rec::regex_score>(info, i, score);
}
int32_t tqx_guess_info_known_vocab_score_get(context*, guess_info* info, uint32_t i, double* score) {
  return score_get<&guess_info_locale_rec::vocab_score>(info, i, score);
}
int32_t tqx_guess_info_pattern_score_get(context*, guess_info* info, uint32_t i, double* score) {
  return score_get<&guess_info_locale_rec::pattern_score>(info, i, score);
}

int32_t tqx_guess_info_known_regexlib_count_get(context*, guess_info* info, uint32_t i, uint32_t* count) {
  const guess_info_locale_rec* c = candidate_of(info, i);
  if (c == nullptr) return TQ_ERR_INDEX;
  *count = static_cast<uint32_t>(c->regexlibs.size());
  return 0;
}

int32_t tqx_guess_info_known_regexlib_info_get(context* ctx, guess_info* info, uint32_t i, uint32_t j, char* name,
                                               uint32_t* likelihood, uint32_t* num_matches, double* score) {
  strio_out_clear(ctx, name);
  const guess_info_locale_rec* c = candidate_of(info, i);
  if (c == nullptr || j >= c->regexlibs.size()) return TQ_ERR_INDEX;
  const guess_info_regexlib_rec& r = c->regexlibs[j];
  // A name that cannot be converted is reported before any number is written.
  const int32_t rc = text_out(ctx, r.name, name);
  if (rc < 0) return rc;
  *likelihood = r.likelihood;
  *num_matches = r.covered;
  *score = r.score;
  return 0;
}

int32_t tqx_guess_info_pattern_count_get(context*, guess_info* info, uint32_t i, uint32_t* count) {
  const guess_info_locale_rec* c = candidate_of(info, i);
  if (c == nullptr) return TQ_ERR_INDEX;
  *count = static_cast<uint32_t>(c->patterns.size());
  return 0;
}

int32_t tqx_guess_info_pattern_info_get(context*, guess_info* info, uint32_t i, uint32_t j, uint32_t* matched,
                                        uint32_t* stop, uint32_t* sol_type, double* score) {
  const guess_info_pattern_rec* p = pattern_of(info, i, j);
  if (p == nullptr) return TQ_ERR_INDEX;
  *matched = p->matched;
  *stop = p->stop;
  *sol_type = p->kind;
  *score = p->score;
  return 0;
}

int32_t tqx_guess_info_pattern_phrase_count_get(context*, guess_info* info, uint32_t i, uint32_t j,
                                                uint32_t* count) {
  const guess_info_pattern_rec* p = pattern_of(info, i, j);
  if (p == nullptr) return TQ_ERR_INDEX;
  *count = static_cast<uint32_t>(p->phrases.size());
  return 0;
}

int32_t tqx_guess_info_pattern_phrase_string_get(context* ctx, guess_info* info, uint32_t i, uint32_t j, uint32_t k,
                                                 char* str) {
  strio_out_clear(ctx, str);
  const guess_info_phrase_rec* ph = phrase_of(info, i, j, k);
  if (ph == nullptr) return TQ_ERR_INDEX;
  return text_out(ctx, ph->text, str);
}

int32_t tqx_guess_info_pattern_phrase_solution_count_get(context*, guess_info* info, uint32_t i, uint32_t j,
                                                         uint32_t k, uint32_t* count) {
  const guess_info_phrase_rec* ph = nullptr;
  const int32_t rc = solutions_of(info, i, j, k, &ph);
  if (rc < 0) return rc;
  *count = static_cast<uint32_t>(ph->solutions.size());
  return 0;
}

int32_t tqx_guess_info_pattern_phrase_solution_score_get(context* ctx, guess_info* info, uint32_t i, uint32_t j,
                                                         uint32_t k, uint32_t s, uint32_t* score) {
  const guess_info_phrase_rec* ph = nullptr;
  int32_t rc = solutions_of(info, i, j, k, &ph);
  if (rc < 0) return rc;
  if (s >= ph->solutions.size()) return TQ_ERR_INDEX;
  int32_t value = 0;
  rc = parse_solution_score_get(ctx, ph->solutions[s].get(), &value);
  if (rc < 0) return rc;
  *score = static_cast<uint32_t>(value);
  return 0;
}

int32_t tqx_guess_info_pattern_phrase_solution_rule_get(context* ctx, guess_info* info, uint32_t i, uint32_t j,
                                                        uint32_t k, uint32_t s, solution_rule** rule) {
  *rule = nullptr;
  const guess_info_phrase_rec* ph = nullptr;
  int32_t rc = solutions_of(info, i, j, k, &ph);
  if (rc < 0) return rc;
  if (s >= ph->solutions.size()) return TQ_ERR_INDEX;
  rc = solrule_from_solution(ctx, ph->solutions[s].get(), rule);
  return rc < 0 ? rc : 0;
}

int32_t tqx_guess_info_pattern_best_phrase_solution_rule_get(context* ctx, guess_info* info, uint32_t i, uint32_t j,
                                                             uint32_t k, solution_rule** rule) {
  *rule = nullptr;
  const guess_info_phrase_rec* ph = nullptr;
  int32_t rc = solutions_of(info, i, j, k, &ph);
  if (rc < 0) return rc;
  // The first of the strictly greatest scores above 0; none when every
  // score is 0 or less.
  parse_solution* best = nullptr;
  int32_t best_score = 0;
  for (const guess_info_solution& sol : ph->solutions) {
    int32_t score = 0;
    if ((rc = parse_solution_score_get(ctx, sol.get(), &score)) < 0) return rc;
    if (score > best_score) {
      best_score = score;
      best = sol.get();
    }
  }
  if (best == nullptr) return 0;
  rc = solrule_from_solution(ctx, best, rule);
  return rc < 0 ? rc : 0;
}

int32_t tqx_guess_info_discarded_get(context*, guess_info*, uint32_t, uint32_t* discarded) {
  *discarded = 0;
  return 0;
}

}  // namespace tq

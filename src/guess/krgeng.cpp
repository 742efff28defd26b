#include "guess/krgeng.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "guess/krgdef.h"
#include "guess/krgsctx.h"
#include "guess/krldef.h"
#include "guess/krlscore.h"
#include "kbstore/krlocload.h"
#include "platform/nputf8.h"
#include "parse/krawl.h"
#include "parse/krmorph.h"
#include "parse/krparser.h"
#include "parse/krsoln.h"
#include "resources/krchop.h"
#include "resources/krgram.h"
#include "resources/krregx.h"
#include "resources/krwlst.h"

namespace tq {

namespace {

constexpr uint32_t kValueSize = 1025;  // 1,024 bytes and the terminator

// Weights by likelihood: "Very High" .. "Never" for known pattern regex
// libraries, "Always" .. "Never" for guess patterns.
constexpr double kRegexWeights[kGuessRegexLikelihoodCount] = {4.0, 2.0, 1.0, 0.5, 0.25, -4.0};
constexpr double kPatternWeights[kGuessPatternLikelihoodCount] = {8.0, 4.0, 2.0, 1.0, 0.5, 0.25, -1.0};

}  // namespace

struct guess_work_area {
  // Candidates of the run: the requested locale, the definition's index in
  // it and its record. They only grow.
  std::vector<uint32_t> codes;
  std::vector<int32_t> indexes;
  std::vector<defn_rec*> recs;
  uint32_t capacity = 0;
  uint32_t count = 0;
  // The pattern part: which of the first 32 analysed words a pattern covered
  // already, the value chopped (analysis deletes what normalization
  // empties) and its copy that recorded texts are taken from.
  uint8_t flags[kGuessWordsMax] = {};
  word_list chopped{};
  word_list surface{};
  char name[kDefnNameMax + 1] = {};
  char given[kValueSize] = {};  // the exports' input in UTF-8
};

int32_t guess_work_area_create(context* ctx) {
  ctx->guess_work_area = new (std::nothrow) guess_work_area;
  return ctx->guess_work_area == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

void guess_work_area_free(context* ctx) {
  guess_work_area* area = ctx->guess_work_area;
  if (area == nullptr) return;
  wordlist_free(&area->chopped);
  wordlist_free(&area->surface);
  delete area;
  ctx->guess_work_area = nullptr;
}

double guess_regex_weight(uint32_t likelihood) {
  return kRegexWeights[likelihood < kGuessRegexLikelihoodCount ? likelihood : kGuessRegexLikelihoodMedium];
}

double guess_pattern_weight(uint32_t likelihood) {
  return kPatternWeights[likelihood < kGuessPatternLikelihoodCount ? likelihood : kGuessPatternLikelihoodMedium];
}

namespace {

// What one guess works with.
struct run_state {
  context* ctx;
  guess_work_area* area;
  const char* value;
  const uint32_t* locales;
  const uint32_t* min_scores;
  uint32_t count;
  guess_info* info;
};

void lists_free(guess_work_area* a) {
  wordlist_free(&a->chopped);
  a->chopped = word_list{};
  wordlist_free(&a->surface);
  a->surface = word_list{};
}

// ---- The parts of a score -------------------------------------------------------------------

int32_t regex_part(run_state& s, const guess_defn_kind_rec* part, guess_info_locale_rec* el, double* out) {
  *out = 0.0;
  const size_t n = part->known_regexlibs.size();
  if (el != nullptr) {
    try {
      el->regexlibs.reserve(n);
    } catch (const std::bad_alloc&) {
      return TQ_ERR_NO_MEMORY;
    }
  }
  double r = 0.0;
  for (const guess_known_regexlib& k : part->known_regexlibs) {
    uint32_t covered = 0;
    uint32_t length = 0;
    // An entry whose library could not be opened covers nothing.
    if (k.lib.held()) {
      regexlib_rec* lib = nullptr;
      if (int32_t rc = regexlib_get(s.ctx, k.lib.index(), &lib); rc < 0) return rc;
      if (int32_t rc = regexlib_coverage_scan(s.ctx, lib, s.value, nullptr, &covered, &length); rc < 0) return rc;
    }
    const double x = length == 0 ? 0.0
                                 : static_cast<double>(covered) * guess_regex_weight(k.likelihood) /
                                       static_cast<double>(length);
    r += x;
    if (el != nullptr) {
      guess_info_regexlib_rec rec;
      char name[kRsrcNameSize] = "";
      if (k.lib.held()) (void)rsrc_name_get(s.ctx, kRsrcRegex, k.lib.index(), name, sizeof name);
      if (std::strlen(name) >= kGuessInfoTextSize) name[np_uchar_cut(name, kGuessInfoTextSize - 1)] = '\0';
      rec.likelihood = k.likelihood;
      rec.covered = covered;
      rec.score = x * 1000.0;
      try {
        rec.name = name;
        el->regexlibs.push_back(std::move(rec));
      } catch (const std::bad_alloc&) {
        return TQ_ERR_NO_MEMORY;
      }
    }
  }
  if (n != 0) r = r / static_cast<double>(n);
  r = r * 1000.0;
  if (r >= 1000.0 || std::isnan(r)) r = 1000.0;
  *out = r;
  return 0;
}

// Phrase matching: from the first word not covered yet, the longest span of
// uncovered words is parsed, then ever shorter ones, until the sought
// category's span is found in the best solution; a "Phrase" pattern parses
// once only. Spans are absolute word positions; one that reaches outside
// the parsed words is cut to them, so every step moves forward.
int32_t phrase_match(run_state& s, const guess_pattern_rec& p, const analysed_word_list* awl, uint32_t n,
                     const morph_analyzer_info*, guess_info_pattern_rec* entry, uint32_t* covered) {
  guess_work_area* a = s.area;
  vec solutions{};
  struct cleanup {
    vec* v;
    ~cleanup() { vec_free(v); }
  } guard{&solutions};
  uint32_t start = 0;
  bool done = false;
  while (start < n && !done) {
    if (a->flags[start] != 0) {
      ++start;
      continue;
    }
    uint32_t end = start;
    while (end + 1 < n && a->flags[end + 1] == 0) ++end;
    bool found = false;
    for (uint32_t e = end + 1; e-- > start && !done && !found;) {
      vec_free(&solutions);
      int32_t rc = parser_run(s.ctx, p.parser, awl, static_cast<int32_t>(start), static_cast<int32_t>(e), &solutions);
      if (rc < 0) return rc;
      parse_solution* best = nullptr;
      if (vec_count(&solutions) > 0 && (rc = parse_solution_best_get(s.ctx, &solutions, &best)) < 0) return rc;
      cat_span span{};
      if (best != nullptr && (rc = parse_solution_cat_span_get(s.ctx, best, p.sought, &span)) < 0) return rc;
      if (span.found != 0) {
        const int32_t first = std::max(span.first, static_cast<int32_t>(start));
        const int32_t last = std::min(span.last, static_cast<int32_t>(e));
        if (first <= last) {
          for (int32_t w = first; w <= last; ++w) a->flags[w] = 1;
          *covered += static_cast<uint32_t>(last - first + 1);
          start = static_cast<uint32_t>(last) + 1;
          found = true;
          if (entry != nullptr &&
              (rc = guess_info_phrase_add(s.ctx, s.info, entry, p.parser, &solutions, &a->surface)) < 0) {
            return rc;
          }
        }
      }
      if (p.mode == kGuessPhrase) done = true;
    }
    if (!found) ++start;
  }
  return 0;
}

// Element matching: every uncovered word that carries the category (any
// category for a pattern without a grammar).
int32_t element_match(run_state& s, const char* category, const analysed_word_list* awl, uint32_t n,
                      const morph_analyzer_info* morph, guess_info_pattern_rec* entry, uint32_t* covered) {
  for (uint32_t w = 0; w < n; ++w) {
    if (s.area->flags[w] != 0) continue;
    uint32_t cats = 0;
    (void)morph_word_list_cat_count(s.ctx, awl, static_cast<int32_t>(w), &cats);
    bool match = category == nullptr && cats > 0;
    for (uint32_t j = 0; category != nullptr && j < cats && !match; ++j) {
      cat_entry* e = nullptr;
      if (morph_word_list_cat_get(s.ctx, awl, static_cast<int32_t>(w), static_cast<int32_t>(j), &e) < 0) continue;
      match = e != nullptr && e->category != nullptr && std::strcmp(e->category->name, category) == 0;
    }
    if (!match) continue;
    s.area->flags[w] = 1;
    *covered += 1;
    if (entry != nullptr) {
      if (int32_t rc = guess_info_word_add(s.ctx, entry, morph, static_cast<int32_t>(w), &s.area->surface); rc < 0)
        return rc;
    }
  }
  return 0;
}

int32_t pattern_match(run_state& s, const guess_pattern_rec& p, const analysed_word_list* awl, uint32_t n,
                      const morph_analyzer_info* morph, guess_info_pattern_rec* entry, uint32_t* covered) {
  *covered = 0;
  if (n == 0) return 0;
  if (p.parser != nullptr && grammar_category_has_rules(p.parser->root_cat) != 0) {
    return phrase_match(s, p, awl, n, morph, entry, covered);
  }
  if (p.mode == kGuessPhrase && n > 1) return 0;
  return element_match(s, p.parser != nullptr ? p.category : nullptr, awl, n, morph, entry, covered);
}

int32_t pattern_part(run_state& s, const guess_defn_kind_rec* part, const analysed_word_list* awl,
                     guess_info_locale_rec* el, double* out) {
  *out = 0.0;
  const uint32_t words = awl != nullptr ? vec_count(awl) : 0;
  const uint32_t n = std::min(words, kGuessWordsMax);
  std::memset(s.area->flags, 0, n);
  if (el != nullptr) {
    try {
      el->patterns.reserve(part->patterns.size());
    } catch (const std::bad_alloc&) {
      return TQ_ERR_NO_MEMORY;
    }
  }
  double p = 0.0;
  uint32_t total = 0;
  bool stopped = false;
  for (size_t k = 0; k < part->patterns.size() && !stopped; ++k) {
    const guess_pattern_rec& pat = part->patterns[k];
    guess_info_pattern_rec* entry = nullptr;
    if (el != nullptr) {
      el->patterns.emplace_back();  // room was reserved
      entry = &el->patterns.back();
    }
    uint32_t covered = 0;
    if (int32_t rc = pattern_match(s, pat, awl, n, el != nullptr ? el->morph : nullptr, entry, &covered); rc < 0)
      return rc;
    // The ratio divides by every analysed word, also past the 32 looked at.
    double x = words > 0 ? static_cast<double>(covered) / static_cast<double>(words) * guess_pattern_weight(pat.likelihood)
                         : 0.0;
    x = x * 1000.0;
    p += x;
    total += covered;
    if (covered > 0 && pat.stop != 0) stopped = true;
    if (entry != nullptr) {
      entry->matched = total > 0 ? 1 : 0;
      entry->stop = stopped ? 1 : 0;
      entry->score = x;
    }
  }
  if (p >= 1000.0 || std::isnan(p)) p = 1000.0;
  *out = p;
  return 0;
}

int32_t word_analysis(run_state& s, const defn_rec* rec, const guess_defn_kind_rec* part, guess_info_locale_rec* el,
                      double* out) {
  guess_work_area* a = s.area;
  int32_t rc = chop_run(s.ctx, rec->chopper.index(), s.value, &a->chopped);
  if (rc >= 0 && el != nullptr) {
    rc = wordlist_copy(s.ctx, &a->chopped, &el->chopped);
    if (rc >= 0) el->chopped_present = 1;
    if (rc >= 0) rc = morph_info_create(&el->morph);
  }
  if (rc >= 0) rc = wordlist_copy(s.ctx, &a->chopped, &a->surface);
  analysed_word_list* awl = nullptr;
  if (rc >= 0) rc = morph_analyze(s.ctx, part->morph.get(), &a->chopped, 0, &awl, el != nullptr ? el->morph : nullptr);
  if (rc >= 0) rc = pattern_part(s, part, awl, el, out);
  lists_free(a);
  return rc < 0 ? rc : 0;
}

// The score of one candidate, 0 to 1000.
int32_t score_compute(run_state& s, uint32_t code, const defn_rec* rec, const guess_defn_kind_rec* part,
                      guess_info_locale_rec* el, uint32_t* score) {
  double l = 0.0;
  if (part->lang_index != -1) {
    // The index is the owning locale's numbering (an inherited definition
    // names a language definition of its own locale).
    defn_rec* lang = nullptr;
    int32_t rc = defn_record_get_for_read_in_locale(s.ctx, kDefnLangGuess, rec->locale, part->lang_index, &lang);
    if (rc < 0) return rc;
    if (el != nullptr && (rc = tqx_language_guess_info_init(s.ctx, &el->lang)) < 0) return rc;
    int32_t ls = 0;
    rc = lang_score_compute(s.ctx, lang, s.ctx->lang_scratch_profile, s.value, &ls, el != nullptr ? el->lang : nullptr);
    if (rc < 0) return rc;
    l = static_cast<double>(ls);
  }
  double r = 0.0;
  if (int32_t rc = regex_part(s, part, el, &r); rc < 0) return rc;
  double p = 0.0;
  if (part->word_analysis != 0) {
    if (int32_t rc = word_analysis(s, rec, part, el, &p); rc < 0) return rc;
  }
  const double v = 0.0;  // known vocabularies no longer score on their own
  double acc = l / 1000.0;
  acc = acc + (1.0 - acc) * r / 1000.0;
  acc = acc + (1.0 - acc) * v / 1000.0;
  acc = acc + (1.0 - acc) * p / 1000.0;
  if (!(acc > 0.0)) acc = 0.0;
  const double total = acc * 1000.0;
  if (el != nullptr) {
    el->locale = code;
    el->lang_score = l;
    el->regex_score = r;
    el->vocab_score = v;
    el->pattern_score = p;
    el->score = total;
  }
  *score = static_cast<uint32_t>(total);
  return 0;
}

// ---- The guess ------------------------------------------------------------------------------

int32_t grow(guess_work_area* a, uint32_t count) {
  if (count <= a->capacity) return 0;
  try {
    a->codes.resize(count);
    a->indexes.resize(count);
    a->recs.resize(count);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  a->capacity = count;
  return 0;
}

// The requested locales that hold a definition of the name, in order; a
// locale listed twice is a candidate twice. Only a locale that is not
// loaded, or lacks the definition, is passed over.
int32_t candidates_collect(run_state& s) {
  guess_work_area* a = s.area;
  a->count = 0;
  for (uint32_t k = 0; k < s.count; ++k) {
    int32_t index = -1;
    const int32_t locale = static_cast<int32_t>(s.locales[k]);
    const uint32_t mark = s.ctx->errors.count;
    int32_t rc = defn_index_get_by_name_in_locale(s.ctx, kDefnLocaleGuess, a->name, locale, kDefnAnySurface, &index);
    if (rc == TQ_ERR_NAME || rc == TQ_ERR_NO_LOCALE) {
      // No candidate, which is no failure of the guess: the lookup's
      // message goes too.
      err_list_truncate(s.ctx, mark);
      continue;
    }
    if (rc < 0) return rc;
    defn_rec* rec = nullptr;
    rc = defn_record_get_for_read_in_locale(s.ctx, kDefnLocaleGuess, locale, index, &rec);
    if (rc < 0) return rc;
    a->codes[a->count] = s.locales[k];
    a->indexes[a->count] = index;
    a->recs[a->count] = rec;
    a->count += 1;
  }
  if (s.info != nullptr) return guess_info_candidates_make(s.ctx, s.info, a->count);
  return 0;
}

// Scores every candidate with its locale current. The context's current
// locale (index and code) is put back as it was on every path, without
// asking for its record: the scoring reads only the candidates, and the
// current one may be gone (another context gave back its last load) or
// never set. The code it keeps decides special casing afterwards.
int32_t candidates_score(run_state& s, uint32_t* guessed, uint32_t* best) {
  guess_work_area* a = s.area;
  const current_locale_kept saved(s.ctx);
  int32_t rc = 0;
  const uint32_t last = s.locales[s.count - 1];
  for (uint32_t j = 0; j < a->count && rc >= 0; ++j) {
    rc = locale_select(s.ctx, static_cast<int32_t>(a->codes[j]));
    if (rc < 0) break;
    defn_rec* rec = a->recs[j];
    guess_defn_kind_rec* part = guess_defn_part(rec);
    if (part == nullptr) {
      rc = TQ_ERR_DEFN_INVALID;
      break;
    }
    // Every candidate must be usable, not only the one the caller named.
    if ((rc = defn_rec_check_usable(s.ctx, rec)) < 0) break;
    if ((rc = guess_defn_prepare(s.ctx, rec)) < 0) break;
    // The entry of the candidate's position, not of the locale's place in
    // the caller's list: a locale without the definition shifts the later
    // ones.
    const uint32_t minimum = s.min_scores != nullptr ? s.min_scores[j] : 0;
    uint32_t score = 0;
    guess_info_locale_rec* el = s.info != nullptr ? s.info->candidates[j].get() : nullptr;
    rc = score_compute(s, a->codes[j], rec, part, el, &score);
    if (rc != 0) break;
    // The first of the highest scores wins, unless a later one equal to it
    // is the caller's last locale; 0 never wins.
    if (score >= *best && score >= minimum && score > 0 && (score > *best || a->codes[j] == last)) {
      *guessed = a->codes[j];
      *best = score;
    }
  }
  return rc;
}

int32_t run_once(run_state& s, uint32_t* guessed, uint32_t* best) {
  *guessed = kGuessNoLocale;
  *best = 0;
  int32_t rc = candidates_collect(s);
  if (rc < 0) return rc;
  return candidates_score(s, guessed, best);
}

}  // namespace

int32_t guess_locale_run(context* ctx, defn_rec* rec, const char* value, const uint32_t* locales,
                         const uint32_t* min_scores, uint32_t count, uint32_t* guessed, uint32_t* best,
                         guess_info* info) {
  *guessed = kGuessNoLocale;
  *best = 0;
  guess_work_area* a = nullptr;
  if (int32_t made = guess_work_area_get(ctx, &a); made != 0) return made;
  // With an info the whole guess holds the write hold: the info gives its
  // parsers back, and its solution copies take references to theirs.
  write_hold hold = info != nullptr ? write_hold(ctx) : write_hold();
  if (hold.rc() != 0) return hold.rc();
  uint32_t g = kGuessNoLocale;
  uint32_t b = 0;
  uint32_t force_setting = 0;
  int32_t rc = [&]() -> int32_t {
    // Whatever happens, the info holds this guess only.
    if (info != nullptr) {
      if (int32_t r = guess_info_reset(ctx, info); r < 0) return r;
    }
    const guess_defn_kind_rec* part = guess_defn_part(rec);
    if (part == nullptr) return TQ_ERR_DEFN_INVALID;
    if (int32_t r = defn_rec_check_usable(ctx, rec); r < 0) return r;
    // Candidates are found by name in each locale.
    str_copy_bounded(a->name, rec->name, sizeof a->name);
    force_setting = part->force_choice;
    if (int32_t r = grow(a, count); r < 0) return r;
    if (count == 0) return 0;
    run_state s{ctx, a, value, locales, min_scores, count, info};
    return run_once(s, &g, &b);
  }();
  const int32_t released = hold.release();
  if (rc >= 0 && released < 0) rc = released;
  if (rc < 0) return rc;
  const bool force = ctx->guess_force_override_set != 0 ? ctx->guess_force_override != 0 : force_setting != 0;
  if (force && g == kGuessNoLocale && count > 0) g = locales[count - 1];
  *guessed = g;
  *best = b;
  return 0;
}

// ---- Exports ---------------------------------------------------------------------------------

namespace {

int32_t guess_at(context* ctx, int32_t index, const char* data, const uint32_t* locales, const uint32_t* min_scores,
                 uint32_t count, uint32_t* guessed, uint32_t* score, guess_info* info) {
  // A failed conversion or lookup leaves nothing of an earlier guess in the
  // info either.
  if (info != nullptr) {
    if (int32_t r = guess_info_reset(ctx, info); r < 0) return r;
  }
  guess_work_area* a = nullptr;
  int32_t rc = guess_work_area_get(ctx, &a);
  if (rc != 0) return rc;
  // The conversion's warning (116, a character replaced) is the call's.
  const int32_t converted = strio_in_1024(ctx, data, a->given, kStrioConvert | kStrioValue);
  if (converted < 0) return converted;
  defn_rec* rec = nullptr;
  if ((rc = defn_record_get_for_read(ctx, kDefnLocaleGuess, index, &rec)) < 0) return rc;
  uint32_t g = kGuessNoLocale;
  uint32_t b = 0;
  rc = guess_locale_run(ctx, rec, a->given, locales, min_scores, count, &g, &b, info);
  if (rc < 0) return rc;
  if (guessed != nullptr) *guessed = g;
  if (score != nullptr) *score = b;
  return converted;
}

int32_t index_by_name(context* ctx, const char* name, guess_info* info, int32_t* index) {
  // A failed lookup leaves nothing of an earlier guess in the info.
  if (info != nullptr) {
    if (int32_t rc = guess_info_reset(ctx, info); rc < 0) return rc;
  }
  const int32_t rc = defn_index_get_by_name(ctx, kDefnLocaleGuess, name, kDefnNameConvert, index);
  return rc < 0 ? rc : 0;
}

}  // namespace

int32_t tqx_guess_locale_by_index_with_info(context* ctx, int32_t index, const char* data,
                                            const uint32_t* locale_set, const uint32_t* min_scores, uint32_t count,
                                            uint32_t* guessed_locale, guess_info* info) {
  return guess_at(ctx, index, data, locale_set, min_scores, count, guessed_locale, nullptr, info);
}

int32_t tqx_guess_locale_with_info(context* ctx, const char* name, const char* data, const uint32_t* locales,
                                   const uint32_t* min_scores, uint32_t count, uint32_t* guessed, guess_info* info) {
  int32_t index = -1;
  const int32_t rc = index_by_name(ctx, name, info, &index);
  if (rc < 0) return rc;
  return tqx_guess_locale_by_index_with_info(ctx, index, data, locales, min_scores, count, guessed, info);
}

int32_t tqx_guess_locale_by_index(context* ctx, int32_t index, const char* data, const uint32_t* locale_set,
                                  const uint32_t* min_scores, uint32_t count, uint32_t* guessed) {
  return tqx_guess_locale_by_index_with_info(ctx, index, data, locale_set, min_scores, count, guessed, nullptr);
}

int32_t tqx_guess_locale(context* ctx, const char* name, const char* data, const uint32_t* locales,
                         const uint32_t* min_scores, uint32_t count, uint32_t* guessed) {
  return tqx_guess_locale_with_info(ctx, name, data, locales, min_scores, count, guessed, nullptr);
}

int32_t tqx_guess_locale_score_by_index_with_info(context* ctx, int32_t index, const char* data, uint32_t locale,
                                                  uint32_t* score, guess_info* info) {
  return guess_at(ctx, index, data, &locale, nullptr, 1, nullptr, score, info);
}

int32_t tqx_guess_locale_score_with_info(context* ctx, const char* name, const char* data, uint32_t locale,
                                         uint32_t* score, guess_info* info) {
  int32_t index = -1;
  const int32_t rc = index_by_name(ctx, name, info, &index);
  if (rc < 0) return rc;
  return tqx_guess_locale_score_by_index_with_info(ctx, index, data, locale, score, info);
}

int32_t tqx_guess_locale_score_by_index(context* ctx, int32_t index, const char* data, uint32_t locale,
                                        uint32_t* score) {
  return tqx_guess_locale_score_by_index_with_info(ctx, index, data, locale, score, nullptr);
}

int32_t tqx_guess_locale_score(context* ctx, const char* name, const char* data, uint32_t locale, uint32_t* score) {
  return tqx_guess_locale_score_with_info(ctx, name, data, locale, score, nullptr);
}

int32_t tqx_locale_guess(context* ctx, const char* guess_defn_name, const char* data, const uint32_t* locale_set,
                         uint32_t count, uint32_t* guessed_locale) {
  return tqx_guess_locale(ctx, guess_defn_name, data, locale_set, nullptr, count, guessed_locale);
}

int32_t tqx_locale_guess_by_index(context* ctx, int32_t index, const char* data, const uint32_t* locale_set,
                                  uint32_t count, uint32_t* guessed_locale) {
  return tqx_guess_locale_by_index(ctx, index, data, locale_set, nullptr, count, guessed_locale);
}

int32_t tqx_locale_score(context* ctx, const char* guess_defn_name, const char* data, uint32_t locale,
                         uint32_t* score) {
  return tqx_guess_locale_score(ctx, guess_defn_name, data, locale, score);
}

int32_t tqx_locale_score_by_index(context* ctx, int32_t index, const char* data, uint32_t locale, uint32_t* score) {
  return tqx_guess_locale_score_by_index(ctx, index, data, locale, score);
}

int32_t tqx_guess_locale_force_choice_override_set(context* ctx, uint32_t value) {
  ctx->guess_force_override = value;
  ctx->guess_force_override_set = 1;
  return 0;
}

int32_t tqx_guess_locale_force_choice_override_remove(context* ctx) {
  ctx->guess_force_override_set = 0;
  return 0;
}

}  // namespace tq

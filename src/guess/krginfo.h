// The guess info: the caller-owned record of one locale guess (or score),
// with one entry per candidate locale that was scored: the candidate's code,
// the parts of its score, the language scoring's own info, each known
// pattern regex library's coverage, the chopped words with the morph
// analyzer info, and per guess pattern tried the phrases or words it
// covered (phrases with copies of their parse solutions).
//
// It keeps copies of its own, so its getters touch no shared state: the
// solution copies name the parsers that made them, and the info holds one
// reference to each such parser until it is emptied. A guess empties the
// object first; free it before its context.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "guess/krlginfo.h"
#include "parse/krmorph.h"
#include "parse/krparser.h"
#include "parse/krsoln.h"
#include "resources/krwlst.h"

namespace tq {

inline constexpr uint32_t kGuessInfoTextSize = 1028;

enum guess_info_solution_kind : uint32_t { kGuessInfoNothing = 0, kGuessInfoPhrases = 1, kGuessInfoWords = 2 };

struct guess_info_solution_free {
  void operator()(parse_solution* s) const;
};
using guess_info_solution = std::unique_ptr<parse_solution, guess_info_solution_free>;

struct guess_info_regexlib_rec {
  std::string name;
  uint32_t likelihood = 0;
  uint32_t covered = 0;  // bytes of the value inside a match
  double score = 0.0;    // the library's weighted coverage x 1000
};

struct guess_info_phrase_rec {
  std::string text;
  std::vector<guess_info_solution> solutions;  // kind 1 only
};

struct guess_info_pattern_rec {
  uint32_t kind = kGuessInfoNothing;
  double score = 0.0;
  uint32_t matched = 0;
  uint32_t stop = 0;
  std::vector<guess_info_phrase_rec> phrases;
};

struct guess_info_locale_rec {
  uint32_t locale = 0;
  language_guess_info* lang = nullptr;  // owned; none without a language definition
  morph_analyzer_info* morph = nullptr; // owned; none without word analysis
  std::vector<guess_info_regexlib_rec> regexlibs;
  word_list chopped{};
  uint32_t chopped_present = 0;
  std::vector<guess_info_pattern_rec> patterns;  // the patterns tried
  double lang_score = 0.0;
  double regex_score = 0.0;
  double vocab_score = 0.0;
  double pattern_score = 0.0;
  double score = 0.0;

  guess_info_locale_rec() = default;
  guess_info_locale_rec(const guess_info_locale_rec&) = delete;
  guess_info_locale_rec& operator=(const guess_info_locale_rec&) = delete;
  ~guess_info_locale_rec();
};

}  // namespace tq

// The object the interface hands out (tq_guess_info in tq.h).
struct tq_guess_info {
  std::vector<std::unique_ptr<tq::guess_info_locale_rec>> candidates;
  // One reference per parser that made a solution copy.
  std::vector<tq::parser_rec*> parsers;
};

namespace tq {

using guess_info = ::tq_guess_info;

// Empties the info: candidates first, then the parser references (which
// take the write hold to give back). Every part is released even when one
// fails; the first failure is returned.
int32_t guess_info_reset(context* ctx, guess_info* info);

// ---- Recording (the engine) -------------------------------------------------------------
// Called under the write hold when phrases are recorded (the parser
// references).

// Empties the info and makes `count` zeroed candidate entries (-600); with 0
// nothing is allocated.
int32_t guess_info_candidates_make(context* ctx, guess_info* info, uint32_t count);
// Kind 1: a phrase whose solutions are copies of the list's, its text the
// surface text of the first solution's span in `surface`.
int32_t guess_info_phrase_add(context* ctx, guess_info* info, guess_info_pattern_rec* entry, parser_rec* parser,
                              const vec* solutions, const word_list* surface);
// Kind 2: word `analysed` of the analysed words, as the surface copy holds it
// (mapped back through the morph analyzer info: -800 when it has no word).
int32_t guess_info_word_add(context* ctx, guess_info_pattern_rec* entry, const morph_analyzer_info* morph,
                            int32_t analysed, const word_list* surface);

// ---- Exports (no hold: the object is the caller's) ---------------------------------------
// i the candidate, j the pattern or regex library entry, k the phrase, s
// the solution: -800 for any not below its count (checked in that order).
// Text outputs take 1,028 bytes in the session encoding, cleared first.

int32_t tqx_guess_info_init(context* ctx, guess_info** info);
int32_t tqx_guess_info_free(context* ctx, guess_info* info);
int32_t tqx_guess_info_pruned_locales_count_get(context* ctx, guess_info* info, uint32_t* num_locales);
int32_t tqx_guess_info_pruned_locale_get(context* ctx, guess_info* info, uint32_t i, uint32_t* locale);
int32_t tqx_guess_info_language_guess_info_get(context* ctx, guess_info* info, uint32_t i,
                                               language_guess_info** lang_info);
int32_t tqx_guess_info_morph_analyzer_info_get(context* ctx, guess_info* info, uint32_t i,
                                               morph_analyzer_info** ma_info);
int32_t tqx_guess_info_chopped_word_list_count_get(context* ctx, guess_info* info, uint32_t i, uint32_t* count);
int32_t tqx_guess_info_chopped_word_get(context* ctx, guess_info* info, uint32_t i, uint32_t w, char* word);
int32_t tqx_guess_info_score_get(context* ctx, guess_info* info, uint32_t i, double* score);
int32_t tqx_guess_info_language_guess_score_get(context* ctx, guess_info* info, uint32_t i, double* score);
int32_t tqx_guess_info_known_regexlib_score_get(context* ctx, guess_info* info, uint32_t i, double* score);
int32_t tqx_guess_info_known_vocab_score_get(context* ctx, guess_info* info, uint32_t i, double* score);
int32_t tqx_guess_info_pattern_score_get(context* ctx, guess_info* info, uint32_t i, double* score);
int32_t tqx_guess_info_known_regexlib_count_get(context* ctx, guess_info* info, uint32_t i, uint32_t* count);
int32_t tqx_guess_info_known_regexlib_info_get(context* ctx, guess_info* info, uint32_t i, uint32_t j, char* name,
                                               uint32_t* likelihood, uint32_t* num_matches, double* score);
int32_t tqx_guess_info_pattern_count_get(context* ctx, guess_info* info, uint32_t i, uint32_t* count);
int32_t tqx_guess_info_pattern_info_get(context* ctx, guess_info* info, uint32_t i, uint32_t j, uint32_t* matched,
                                        uint32_t* stop, uint32_t* sol_type, double* score);
int32_t tqx_guess_info_pattern_phrase_count_get(context* ctx, guess_info* info, uint32_t i, uint32_t j,
                                                uint32_t* count);
int32_t tqx_guess_info_pattern_phrase_string_get(context* ctx, guess_info* info, uint32_t i, uint32_t j, uint32_t k,
                                                 char* str);
int32_t tqx_guess_info_pattern_phrase_solution_count_get(context* ctx, guess_info* info, uint32_t i, uint32_t j,
                                                         uint32_t k, uint32_t* count);
int32_t tqx_guess_info_pattern_phrase_solution_score_get(context* ctx, guess_info* info, uint32_t i, uint32_t j,
                                                         uint32_t k, uint32_t s, uint32_t* score);
int32_t tqx_guess_info_pattern_phrase_solution_rule_get(context* ctx, guess_info* info, uint32_t i, uint32_t j,
                                                        uint32_t k, uint32_t s, solution_rule** rule);
int32_t tqx_guess_info_pattern_best_phrase_solution_rule_get(context* ctx, guess_info* info, uint32_t i, uint32_t j,
                                                             uint32_t k, solution_rule** rule);
int32_t tqx_guess_info_discarded_get(context* ctx, guess_info* info, uint32_t i, uint32_t* discarded);

}  // namespace tq

// The locale guess engine: which of a caller's locales a value most likely
// belongs to, and how well it fits one locale. Each candidate locale holds a
// locale guess definition of the same name; the engine makes the locale
// current, prepares the definition on first use and combines up to three
// parts into a score from 0 to 1000: the language score of the language
// definition it names, the coverage of its known pattern regex libraries,
// and the share of the analysed words its guess patterns cover.
//
// Scores are doubles truncated at the end, so the order of operations
// decides borderline results: each formula is evaluated step by step in one
// order, and this file is compiled without contraction into fused
// multiply-adds.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "guess/krginfo.h"
#include "kbstore/krdefn.h"

namespace tq {

// The code that stands for no locale.
inline constexpr uint32_t kGuessNoLocale = 0xFFFFFFFFu;
// At most this many analysed words are looked at by the guess patterns.
inline constexpr uint32_t kGuessWordsMax = 32;

struct guess_work_area;

// The context's work area: candidate arrays that only grow, the word lists
// and flags of the pattern part, the exports' converted input. -600.
int32_t guess_work_area_create(context* ctx);
void guess_work_area_free(context* ctx);

// Weights of the likelihoods; out of range reads as "Medium".
double guess_regex_weight(uint32_t likelihood);
double guess_pattern_weight(uint32_t likelihood);

// Guesses the locale of `value` (UTF-8, at most 1,024 bytes) among `locales`
// with the definition `rec` of the current locale, whose name the
// candidates are looked up by. min_scores (NULL: all 0) is read by candidate
// position. *guessed is the requested locale that won (kGuessNoLocale for
// none) and *best its score; info, when given, is emptied and filled with
// one entry per candidate. A locale that is not loaded or lacks the
// definition is skipped; every other failure ends the guess with its code,
// the current locale made current again.
int32_t guess_locale_run(context* ctx, defn_rec* rec, const char* value, const uint32_t* locales,
                         const uint32_t* min_scores, uint32_t count, uint32_t* guessed, uint32_t* best,
                         guess_info* info);

// ---- Exports -------------------------------------------------------------------------------
// data in the session encoding (at most 1,024 bytes after conversion); a
// conversion warning is not passed on.

int32_t tqx_guess_locale(context* ctx, const char* name, const char* data, const uint32_t* locales,
                         const uint32_t* min_scores, uint32_t count, uint32_t* guessed);
int32_t tqx_guess_locale_by_index(context* ctx, int32_t index, const char* data, const uint32_t* locale_set,
                                  const uint32_t* min_scores, uint32_t count, uint32_t* guessed);
int32_t tqx_guess_locale_with_info(context* ctx, const char* name, const char* data, const uint32_t* locales,
                                   const uint32_t* min_scores, uint32_t count, uint32_t* guessed, guess_info* info);
int32_t tqx_guess_locale_by_index_with_info(context* ctx, int32_t index, const char* data,
                                            const uint32_t* locale_set, const uint32_t* min_scores, uint32_t count,
                                            uint32_t* guessed_locale, guess_info* info);
int32_t tqx_guess_locale_score(context* ctx, const char* name, const char* data, uint32_t locale, uint32_t* score);
int32_t tqx_guess_locale_score_by_index(context* ctx, int32_t index, const char* data, uint32_t locale,
                                        uint32_t* score);
int32_t tqx_guess_locale_score_with_info(context* ctx, const char* name, const char* data, uint32_t locale,
                                         uint32_t* score, guess_info* info);
int32_t tqx_guess_locale_score_by_index_with_info(context* ctx, int32_t index, const char* data, uint32_t locale,
                                                  uint32_t* score, guess_info* info);
int32_t tqx_locale_guess(context* ctx, const char* guess_defn_name, const char* data, const uint32_t* locale_set,
                         uint32_t count, uint32_t* guessed_locale);
int32_t tqx_locale_guess_by_index(context* ctx, int32_t index, const char* data, const uint32_t* locale_set,
                                  uint32_t count, uint32_t* guessed_locale);
int32_t tqx_locale_score(context* ctx, const char* guess_defn_name, const char* data, uint32_t locale,
                         uint32_t* score);
int32_t tqx_locale_score_by_index(context* ctx, int32_t index, const char* data, uint32_t locale, uint32_t* score);
// The force-choice override of the context: a value other than 0 turns
// force choice on, 0 turns it off, whatever the definitions say; removing it
// goes back to the definitions' setting.
int32_t tqx_guess_locale_force_choice_override_set(context* ctx, uint32_t value);
int32_t tqx_guess_locale_force_choice_override_remove(context* ctx);

}  // namespace tq

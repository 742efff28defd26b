// The extract info: the caller-owned record of one extraction run, holding
// copies of its own (word lists, parse solutions, morph analyzer infos, the
// names of the schemes that found known words), so that its getters touch no
// shared state and survive the unload of what the run used. A run empties
// the object first: an object passed to two runs holds the second only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "parse/krmorph.h"
#include "parse/krparser.h"
#include "parse/krsoln.h"
#include "resources/krwlst.h"

namespace tq {

inline constexpr uint32_t kExtractTextSize = 1028;

enum extract_solution_kind : uint32_t { kExtractNoAttempt = 0, kExtractSolutions = 1, kExtractWord = 2 };
enum extract_word_state : uint32_t { kWordUnexamined = 0, kWordInWindow = 1, kWordConsumed = 2 };

struct extract_preproc_rec {
  std::string text;  // the running text after the step
  uint32_t matched = 0;
};

struct extract_known_word_rec {
  uint32_t found = 0;
  std::string scheme_name;  // a copy: "" when not found
  int32_t scheme_index = -1;
  int32_t token = -1;
  std::string phrase;  // the phrase looked up last
};

// A word list owned by the info (freed with it).
struct extract_owned_words {
  word_list list{};
  uint32_t present = 0;
  extract_owned_words() = default;
  extract_owned_words(const extract_owned_words&) = delete;
  extract_owned_words& operator=(const extract_owned_words&) = delete;
  ~extract_owned_words() { clear(); }
  void clear() {
    if (present != 0) wordlist_free(&list);
    present = 0;
  }
  // A copy of src (the old content given back first).
  int32_t assign(context* ctx, const word_list* src);
};

struct extract_info_pattern_rec {
  uint32_t pattern_index = 0;
  uint32_t matched = 0;
  uint32_t kind = kExtractNoAttempt;
  std::vector<std::unique_ptr<parse_solution, void (*)(parse_solution*)>> solutions;
  std::string phrase;
};

struct extract_info_iteration_rec {
  morph_analyzer_info* morph = nullptr;  // owned; none in the final record
  extract_owned_words window;
  std::vector<extract_info_pattern_rec> patterns;
  std::vector<uint32_t> states;  // one per word of the all-words list
  extract_info_iteration_rec() = default;
  extract_info_iteration_rec(const extract_info_iteration_rec&) = delete;
  extract_info_iteration_rec& operator=(const extract_info_iteration_rec&) = delete;
  ~extract_info_iteration_rec() { morph_info_free(morph); }
};

}  // namespace tq

// The object the interface hands out (tq_extract_info in tq.h).
struct tq_extract_info {
  std::vector<tq::extract_preproc_rec> preprocessing;
  uint32_t any_preprocessing_matched = 0;
  tq::extract_owned_words all_words;
  tq::extract_owned_words chopped;
  std::vector<tq::extract_known_word_rec> known_words;
  std::vector<std::unique_ptr<tq::extract_info_iteration_rec>> iterations;
  // The solution copies name the parsers that made them: one reference
  // each, given back when the info is emptied.
  std::vector<tq::parser_rec*> parsers;
};

namespace tq {

using extract_info = ::tq_extract_info;

// Makes an empty info (-600); frees one (NULL: nothing).
int32_t extract_info_create(extract_info** out);
void extract_info_free(context* ctx, extract_info* info);
// Empties the info: what a run finds there is its own only. Giving its
// parsers back takes the write hold (see parser_release_all).
int32_t extract_info_reset(context* ctx, extract_info* info);

// ---- Recording (the engine) -------------------------------------------------------------

// A new iteration with `words` states of 0 (-600); *out the record.
int32_t extract_info_iteration_add(extract_info* info, uint32_t words, extract_info_iteration_rec** out);
// Takes over the window's morph analyzer info and copies the window's words.
int32_t extract_info_iteration_window_set(context* ctx, extract_info_iteration_rec* it, morph_analyzer_info* morph,
                                          const word_list* window);
// One unattempted record per pattern (-600).
int32_t extract_info_iteration_patterns_init(extract_info_iteration_rec* it, uint32_t patterns);
// Kind 1: a copy of every solution of the list, the phrase from the first;
// the info takes a reference to the parser that made them (the caller holds
// the write hold).
int32_t extract_info_pattern_solutions_record(context* ctx, extract_info* info, extract_info_pattern_rec* rec,
                                              parser_rec* parser, const vec* solutions, const word_list* window);
// Kind 2: the text of the window word at that analysed position (mapped back
// through the morph analyzer info; -800 when it has no such word).
int32_t extract_info_pattern_word_record(context* ctx, extract_info_iteration_rec* it, uint32_t pattern,
                                         int32_t analysed);

// ---- Reading -----------------------------------------------------------------------------

// The state of word `word` in iteration `iteration` and its first and last
// character positions in the value's text rebuilt from the all-words list.
// -800 out of range; a decoding failure's code.
int32_t extract_info_state_word_info_get(const extract_info* info, uint32_t iteration, uint32_t word,
                                         uint32_t* status, uint32_t* begin, uint32_t* end);

// ---- Exports (no hold: the object is the caller's) ---------------------------------------
// Text outputs take 1,028 bytes in the session encoding and are cleared
// first; indexes out of range give -800; solutions of a record that holds
// none (a one-word match, or no attempt) give -700.

int32_t tqx_extract_info_init(context* ctx, extract_info** info);
int32_t tqx_extract_info_free(context* ctx, extract_info* info);
int32_t tqx_extract_info_preproc_rgx_count_get(context* ctx, extract_info* info, uint32_t* count);
int32_t tqx_extract_info_any_preprocessing_regexlib_matched_get(context* ctx, extract_info* info,
                                                               uint32_t* matched);
int32_t tqx_extract_info_preprocessed_info_get(context* ctx, extract_info* info, uint32_t index,
                                               char* preprocessed_string, uint32_t* matched);
int32_t tqx_extract_info_chopped_word_list_count_get(context* ctx, extract_info* info, uint32_t* count);
int32_t tqx_extract_info_chopped_word_get(context* ctx, extract_info* info, uint32_t index, char* word);
int32_t tqx_extract_info_known_word_count_get(context* ctx, extract_info* info, uint32_t* count);
int32_t tqx_extract_info_known_word_get(context* ctx, extract_info* info, uint32_t index, char* word);
int32_t tqx_extract_info_known_word_info_get(context* ctx, extract_info* info, uint32_t index, uint32_t* used,
                                             char* scheme_name, int32_t* scheme_idx, int32_t* token_index);
int32_t tqx_extract_info_iteration_count_get(context* ctx, extract_info* xinfo, uint32_t* count);
int32_t tqx_extract_info_iteration_morph_analyzer_info_get(context* ctx, extract_info* xinfo,
                                                           uint32_t iteration, morph_analyzer_info** ma_info);
int32_t tqx_extract_info_iteration_state_string_get(context* ctx, extract_info* xinfo, uint32_t iteration,
                                                    char* result);
int32_t tqx_extract_info_iteration_state_word_count_get(context* ctx, extract_info* xinfo,
                                                        uint32_t iteration, uint32_t* count);
int32_t tqx_extract_info_iteration_state_word_info_get(context* ctx, extract_info* xinfo, uint32_t iteration,
                                                       uint32_t word, uint32_t* status, uint32_t* begin_idx,
                                                       uint32_t* end_idx);
int32_t tqx_extract_info_iteration_matched_count_get(context* ctx, extract_info* xinfo, uint32_t iteration,
                                                     uint32_t* count);
int32_t tqx_extract_info_iteration_matched_info_get(context* ctx, extract_info* xinfo, uint32_t iteration,
                                                    uint32_t match, char* phrase, uint32_t* pat_idx,
                                                    uint32_t* sol_type, uint32_t* sol_count);
int32_t tqx_extract_info_iteration_pattern_solution_score_get(context* ctx, extract_info* xinfo,
                                                              uint32_t iteration, uint32_t pattern,
                                                              uint32_t solution, int32_t* score);
int32_t tqx_extract_info_iteration_pattern_solution_rule_get(context* ctx, extract_info* xinfo,
                                                             uint32_t iteration, uint32_t pattern,
                                                             uint32_t solution, solution_rule** rule);
int32_t tqx_extract_info_iteration_pattern_best_solution_rule_get(context* ctx, extract_info* xinfo,
                                                                  uint32_t iteration, uint32_t pattern,
                                                                  solution_rule** rule);
int32_t tqx_extract_info_iteration_pattern_solution_rule_string_get(context* ctx, extract_info* xinfo,
                                                                    uint32_t iteration, solution_rule* rule,
                                                                    char* str);

}  // namespace tq

// Word analysis: every word of a chopped value gets its candidate token
// categories with likelihoods, which the parse engines then combine.
//
// Per word (the first kAwlMaxWords of a value): the text is uppercased with
// the current locale's casing, the normalization regex libraries rewrite it
// in turn, and the vocabularies are asked for it (exact, then fuzzy where
// enabled). Only a word that no vocabulary knows falls back to the
// categorization regex libraries (on the text as chopped), then the numeric
// category "NUM", then the definition's default categories. A word that
// normalization empties is deleted from the word list and gets no position.
//
// The result is an analysed_word_list (parse/krawl.h) made in the context's
// morph scratch pool, which every analysis rewinds: the list is valid until
// the next analysis on that context, and a warm context allocates nothing
// on the heap per word. A morph_analyzer_info, when given, records every
// step on the heap; it keeps its own copies of the category records, so it
// stays readable after the resources it came from are unloaded.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "core/krvec.h"
#include "kbstore/krdcat.h"
#include "kbstore/krdefn.h"
#include "parse/krawl.h"
#include "resources/krregxcat.h"
#include "resources/krvcld.h"
#include "resources/krwlst.h"

namespace tq {

// Blocks of the scratch's memory pool.
inline constexpr uint32_t kMorphPoolKilobytes = 512;
// morph_analyze flag: keep each word's normalized text in the list's slots.
inline constexpr uint32_t kMorphKeepTexts = 0x1;
// Likelihood of the numeric category.
inline constexpr int32_t kMorphNumberLikelihood = 50;

// What a definition asks of the analysis. The lists are the definition's
// own (referred to, never copied or owned): the record is valid only while
// they stay unchanged, which the definition's preparation guarantees.
struct morph_options_rec {
  uint32_t set;                            // 1 once filled; analysis refuses 0
  int32_t norm_count;
  const rsrc_ref* norm;                    // regex libraries, applied in order
  int32_t vocab_count;
  const defn_vocab* vocabs;                // in lookup order, each with its stop flag and fuzzy parameters
  category_rec numeric;                    // "NUM", "Number", id 0
  const default_category_list* defaults;   // may be NULL
  cat_regexlib_entry* const* cat_entries;  // categorization regex libraries
  int32_t cat_count;
  uint32_t numeric_check;                  // 1 by default
  uint32_t uppercase;                      // 1 by default
  int32_t chopper;                         // classifies characters for the numeric check; -1 none
};

// Not set, no lists, "NUM", numeric check and uppercasing on, no chopper.
void morph_options_init(context* ctx, morph_options_rec* opts);
// A definition kind part that carries morph options is made together with
// them, so that no half-made part reaches the store: NULL when either
// allocation fails.
template <typename Part>
Part* defn_part_with_morph_new(context* ctx) {
  std::unique_ptr<Part> part(new (std::nothrow) Part);
  if (part == nullptr) return nullptr;
  part->morph.reset(new (std::nothrow) morph_options_rec);
  if (part->morph == nullptr) return nullptr;
  morph_options_init(ctx, part->morph.get());
  return part.release();
}
// Stores the references and marks the record set. -802 for a negative
// count or a count without its list.
int32_t morph_options_set(context* ctx, morph_options_rec* opts, int32_t norm_count, const rsrc_ref* norm,
                          cat_regexlib_entry* const* cat_entries, int32_t cat_count,
                          const default_category_list* defaults, uint32_t numeric_check, uint32_t uppercase,
                          int32_t chopper, int32_t vocab_count, const defn_vocab* vocabs);
// The record holds only references: it goes back to its initial state.
void morph_options_release(context* ctx, morph_options_rec* opts);

// The per-context work area of the analysis.
struct morph_scratch {
  uint32_t word_count;  // words normalized by the last analysis
  uint32_t pool_ready;  // the pool's first block is made
  mempool pool;
  vocab_word_match match;  // the last vocabulary hit (large; kept off the stack)
  char words[kAwlMaxWords][kAwlTextSize];  // word i uppercased and normalized
};

int32_t morph_scratch_create(context* ctx, morph_scratch** out);
void morph_scratch_free(context* ctx, morph_scratch* scratch);

// ---- Morph info -------------------------------------------------------------------

struct morph_norm_result {
  uint32_t regexlib;  // position in the options' list
  std::string text;
  uint32_t matched;
};
struct morph_vocab_result {
  uint32_t vocab;  // position in the options' list
  std::string category;
  int32_t likelihood;
};
struct morph_fuzzy_result {
  uint32_t vocab;
  std::string word;  // the vocabulary's word that matched
};
struct morph_cat_result {
  std::string regexlib_name;
  uint32_t regexlib;  // position in the options' list
  std::string category;
  int32_t likelihood;
};
struct morph_fallback_result {
  std::string category;
  int32_t likelihood;
};

struct morph_word_info {
  int32_t position = -1;  // in the analysed list; -1 when deleted or not analysed
  std::vector<morph_norm_result> norm;
  std::vector<morph_vocab_result> vocab;
  std::vector<morph_fuzzy_result> fuzzy;
  std::vector<morph_cat_result> cat;
  uint32_t num_check = 0;
  std::vector<morph_fallback_result> fallback;  // the whole list after NUM or the defaults
};

}  // namespace tq

// The record of one analysis. Every analysis given the info replaces all of
// it, per-word results included.
struct tq_morph_analyzer_info {
  uint32_t filled = 0;                // 1 once an analysis wrote it
  std::vector<std::string> chopped;   // every word of the value as chopped, before deletion
  int32_t norm_count = 0;
  uint32_t any_norm = 0;
  std::vector<std::string> uppercased;  // per word of the value; empty when not recorded
  int32_t vocab_count = 0;
  uint32_t any_vocab = 0;
  std::vector<uint32_t> fuzzy_used;   // per vocabulary
  int32_t cat_count = 0;
  uint32_t any_cat = 0;
  tq::morph_word_info words[tq::kAwlMaxWords];
  tq::analysed_word_list* analysed = nullptr;  // heap copy with its own category records
};

namespace tq {

using morph_analyzer_info = ::tq_morph_analyzer_info;

// -600 when out of memory.
int32_t morph_info_create(morph_analyzer_info** out);
// Frees everything the info holds and the info; NULL is ignored.
void morph_info_free(morph_analyzer_info* info);
// The chopped word that analysed position n came from; -1 when no word has
// that position (n out of range, or nothing analysed).
int32_t morph_info_word_index_adjust(context* ctx, const morph_analyzer_info* info, int32_t n);

// ---- Analysis -----------------------------------------------------------------------

// Analyses the words; *out is made in the context's scratch pool (valid
// until the next analysis on this context). Words that normalization
// empties are deleted from `words`. -703 for options not set; -802 for a
// missing argument; -600; the failures of the pool, regex libraries,
// vocabularies and choppers pass through. A failing analysis leaves the
// word list and the info as far as it got.
int32_t morph_analyze(context* ctx, const morph_options_rec* opts, word_list* words, uint32_t flags,
                      analysed_word_list** out, morph_analyzer_info* info);

// A copy of a list in a memory pool (pool given) or on the heap (pool NULL):
// every entry copied, each category record duplicated when deep is 1, the
// kept texts copied. -600; the pool's failures pass through.
int32_t morph_word_list_copy(context* ctx, mempool* pool, const analysed_word_list* src,
                             analysed_word_list** out, uint32_t deep);
// A list living in a memory pool only has its vectors emptied (the pool owns
// the memory); a heap list is freed whole, each entry's category record
// first when release is 1 (a deep copy's). NULL is ignored.
void morph_word_list_free(context* ctx, analysed_word_list* list, uint32_t release);

// ---- Export implementations -------------------------------------------------------

int32_t morph_analyzer_info_analyzed_word_list_count_get(context* ctx, morph_analyzer_info* info,
                                                         uint32_t* count);
int32_t morph_analyzer_info_analyzed_word_string_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                     char* word);
int32_t morph_analyzer_info_uppercased_word_get(context* ctx, morph_analyzer_info* info, int32_t i, char* buf);
int32_t morph_analyzer_info_analyzed_word_norm_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                   char* norm);
int32_t morph_analyzer_info_any_normalization_regexlib_matched_get(context* ctx, morph_analyzer_info* info,
                                                                   uint32_t* matched);
int32_t morph_analyzer_info_normalization_regexlib_count_get(context* ctx, morph_analyzer_info* info,
                                                             uint32_t* count);
int32_t morph_analyzer_info_analyzed_word_norm_per_regexlib_get(context* ctx, morph_analyzer_info* info,
                                                                int32_t i, int32_t regexlib, char* norm,
                                                                uint32_t* matched);
int32_t morph_analyzer_info_fuzzy_enabled_get(context* ctx, morph_analyzer_info* info, int32_t vocab,
                                              uint32_t* fuzzy);
int32_t morph_analyzer_info_analyzed_word_fuzzy_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                    char* fuzzy);
int32_t morph_analyzer_info_analyzed_word_fuzzy_per_vocab_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                              int32_t vocab, char* fuzzy);
int32_t morph_analyzer_info_vocab_count_get(context* ctx, morph_analyzer_info* info, uint32_t* count);
int32_t morph_analyzer_info_any_vocab_found_get(context* ctx, morph_analyzer_info* info, uint32_t* matched);
int32_t morph_analyzer_info_analyzed_word_cat_count_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                        uint32_t* count);
int32_t morph_analyzer_info_analyzed_word_cat_count_per_vocab_get(context* ctx, morph_analyzer_info* info,
                                                                  int32_t i, int32_t vocab, uint32_t* count);
int32_t morph_analyzer_info_analyzed_word_cat_abbr_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                       int32_t j, char* abbr);
int32_t morph_analyzer_info_analyzed_word_cat_abbr_per_vocab_get(context* ctx, morph_analyzer_info* info,
                                                                 int32_t i, int32_t j, int32_t vocab, char* abbr);
int32_t morph_analyzer_info_analyzed_word_cat_like_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                       int32_t j, int32_t* likelihood);
int32_t morph_analyzer_info_analyzed_word_cat_like_per_vocab_get(context* ctx, morph_analyzer_info* info,
                                                                 int32_t i, int32_t j, int32_t vocab,
                                                                 int32_t* likelihood);
int32_t morph_analyzer_info_num_check_flag_get(context* ctx, morph_analyzer_info* ma_info, int32_t i,
                                               uint32_t* flag);
int32_t morph_analyzer_info_cat_regex_info_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                               const char* regex_name, char* cat, int32_t* like);
int32_t morph_analyzer_info_categorization_regexlib_count_get(context* ctx, morph_analyzer_info* info,
                                                              uint32_t* count);
int32_t morph_analyzer_info_any_categorization_regexlib_matched_get(context* ctx, morph_analyzer_info* info,
                                                                    uint32_t* matched);
int32_t morph_analyzer_info_cat_regex_info_per_regexlib_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                            int32_t regexlib, char* cat, int32_t* like);
int32_t morph_analyzer_info_default_cats_count_get(context* ctx, morph_analyzer_info* info, int32_t i,
                                                   uint32_t* count);
int32_t morph_analyzer_info_default_cats_info_get(context* ctx, morph_analyzer_info* info, int32_t i, int32_t j,
                                                  char* cat, int32_t* like);

}  // namespace tq

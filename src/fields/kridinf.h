// The identification info: the caller-owned record of one identification
// run (the known identity that decided it, each preprocessing step, the
// words as chopped and as analysed, the morph analyzer info, and per
// identity value its score and the pattern hits that built it, at the end
// of the run and after each pattern), and its getters.
//
// Everything is a copy of the info's own: solutions are copied off the
// context's pools, and the info holds one reference on each parser object
// its solutions were made by (taken under the write hold the run holds),
// so later runs, edits and unloads leave it readable. Free it before the
// context that filled it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "parse/krawl.h"
#include "parse/krmorph.h"
#include "parse/krparser.h"
#include "parse/krsoln.h"
#include "resources/krwlst.h"

namespace tq {

struct ident_defn_kind_rec;
struct ident_pattern_rec;

struct ident_info_step {
  std::string text;
  uint32_t matched;
};

struct ident_info_pattern {
  uint32_t position = 0;
  std::string root;
  std::string sought;
  std::vector<parse_solution*> solutions;  // heap copies, owned
  int32_t weight = 0;
  uint32_t stop = 0;
  std::string text;  // the pattern string
};

struct ident_info_id {
  std::string value;
  int32_t score = 0;
  uint32_t stop = 0;
  std::vector<ident_info_pattern> patterns;
};

}  // namespace tq

struct tq_ident_info {
  std::string known_text;
  int32_t known_index = -1;
  std::vector<tq::ident_info_step> steps;
  uint32_t any_matched = 0;
  tq::word_list words{};    // as the run chopped (and analysis left) them
  tq::word_list chopped{};  // a copy right after chopping: what the word getters read
  tq::analysed_word_list* analysed = nullptr;  // heap copy
  std::vector<tq::ident_info_id> ids;
  std::vector<std::vector<tq::ident_info_id>> snapshots;
  tq::morph_analyzer_info* morph = nullptr;
  std::vector<tq::parser_rec*> parsers;  // one reference each
};

namespace tq {

using ident_info = ::tq_ident_info;

// Bytes of text (before the terminator) the 128-byte value and category
// outputs take.
inline constexpr uint32_t kIdentInfoNameOut = 128;

// ---- Filling (the engine, under the write hold) ------------------------------------------

// Empties the info and readies it for a run of a definition with
// value_count identity values (one empty record each, a new morph info).
int32_t ident_info_run_prepare(context* ctx, ident_info* info, uint32_t value_count);
// Records a hit of pattern p (its value's current score given): with
// solutions (copied; the pattern's parser is referenced) the pattern string
// is the first solution's text over `words`, else `word` is.
int32_t ident_info_pattern_record(context* ctx, ident_info* info, const ident_defn_kind_rec* part,
                                  const ident_pattern_rec& p, int32_t score, const vec* solutions,
                                  const word_list* words, const char* word);
// Appends a deep copy of the identity records as the next snapshot.
int32_t ident_info_snapshot_take(context* ctx, ident_info* info);
// Releases everything the info holds; it stays usable.
void ident_info_clear(context* ctx, ident_info* info);

// ---- Exports ---------------------------------------------------------------------------------

int32_t tqx_ident_info_init(context* ctx, ident_info** ident_info);
int32_t tqx_ident_info_free(context* ctx, ident_info* ident_info);
int32_t tqx_ident_info_known_identity_get(context* ctx, ident_info* ident_info, char* value);
int32_t tqx_ident_info_known_identity_index_get(context* ctx, ident_info* ident_info, int32_t* idx);
int32_t tqx_ident_info_any_preprocessing_regexlib_matched_get(context* ctx, ident_info* ident_info,
                                                              uint32_t* matched);
int32_t tqx_ident_info_preprocessed_info_get(context* ctx, ident_info* ident_info, uint32_t index,
                                             char* preprocessed_string, uint32_t* matched);
int32_t tqx_ident_info_chopped_word_list_count_get(context* ctx, ident_info* ident_info, uint32_t* count);
int32_t tqx_ident_info_chopped_word_get(context* ctx, ident_info* ident_info, int32_t index, char* word);
int32_t tqx_ident_info_morph_analyzer_info_get(context* ctx, ident_info* ident_info,
                                               morph_analyzer_info** morph_info);
int32_t tqx_ident_info_snapshot_count_get(context* ctx, ident_info* ident_info, uint32_t* count);
int32_t tqx_ident_info_id_count_get(context* ctx, ident_info* ident_info, uint32_t* count);
int32_t tqx_ident_info_snapshot_id_count_get(context* ctx, ident_info* ident_info, uint32_t snapshot,
                                             uint32_t* count);
int32_t tqx_ident_info_id_value_get(context* ctx, ident_info* ident_info, uint32_t id, char* value);
int32_t tqx_ident_info_id_score_get(context* ctx, ident_info* ident_info, uint32_t id, int32_t* score);
int32_t tqx_ident_info_id_stop_flag_get(context* ctx, ident_info* ident_info, uint32_t id, uint32_t* stop_flag);
int32_t tqx_ident_info_id_pattern_count_get(context* ctx, ident_info* ident_info, uint32_t id, uint32_t* count);
int32_t tqx_ident_info_id_pattern_root_cat_get(context* ctx, ident_info* ident_info, uint32_t id,
                                               uint32_t pattern, char* cat);
int32_t tqx_ident_info_id_pattern_sought_cat_get(context* ctx, ident_info* ident_info, uint32_t id,
                                                 uint32_t pattern, char* cat);
int32_t tqx_ident_info_id_pattern_weight_get(context* ctx, ident_info* ident_info, uint32_t id, uint32_t pattern,
                                             int32_t* weight);
int32_t tqx_ident_info_id_pattern_stop_flag_get(context* ctx, ident_info* ident_info, uint32_t id,
                                                uint32_t pattern, uint32_t* stop_flag);
int32_t tqx_ident_info_id_pattern_string_get(context* ctx, ident_info* ident_info, uint32_t id, uint32_t pattern,
                                             char* pat_string);
int32_t tqx_ident_info_id_pattern_solution_count_get(context* ctx, ident_info* ident_info, uint32_t id,
                                                     uint32_t pattern, uint32_t* count);
int32_t tqx_ident_info_id_pattern_solution_score_get(context* ctx, ident_info* ident_info, uint32_t id,
                                                     uint32_t pattern, uint32_t solution, int32_t* score);
int32_t tqx_ident_info_id_pattern_solution_rule_get(context* ctx, ident_info* ident_info, uint32_t id,
                                                    uint32_t pattern, uint32_t solution, solution_rule** rule);
int32_t tqx_ident_info_id_pattern_solution_rule_string_get(context* ctx, ident_info* ident_info,
                                                           solution_rule* rule, char* rule_string);
int32_t tqx_ident_info_snapshot_id_value_get(context* ctx, ident_info* ident_info, uint32_t snapshot, uint32_t id,
                                             char* value);
int32_t tqx_ident_info_snapshot_id_score_get(context* ctx, ident_info* ident_info, uint32_t snapshot, uint32_t id,
                                             int32_t* score);
int32_t tqx_ident_info_snapshot_id_stop_flag_get(context* ctx, ident_info* ident_info, uint32_t snapshot,
                                                 uint32_t id, uint32_t* stop_flag);
int32_t tqx_ident_info_snapshot_id_pattern_count_get(context* ctx, ident_info* ident_info, uint32_t snapshot,
                                                     uint32_t id, uint32_t* count);
int32_t tqx_ident_info_snapshot_id_pattern_root_cat_get(context* ctx, ident_info* ident_info, uint32_t snapshot,
                                                        uint32_t id, uint32_t pattern, char* cat);
int32_t tqx_ident_info_snapshot_id_pattern_sought_cat_get(context* ctx, ident_info* ident_info, uint32_t snapshot,
                                                          uint32_t id, uint32_t pattern, char* cat);
int32_t tqx_ident_info_snapshot_id_pattern_weight_get(context* ctx, ident_info* ident_info, uint32_t snapshot,
                                                      uint32_t id, uint32_t pattern, int32_t* weight);
int32_t tqx_ident_info_snapshot_id_pattern_stop_flag_get(context* ctx, ident_info* ident_info, uint32_t snapshot,
                                                         uint32_t id, uint32_t pattern, uint32_t* stop_flag);
int32_t tqx_ident_info_snapshot_id_pattern_string_get(context* ctx, ident_info* ident_info, uint32_t snapshot,
                                                      uint32_t id, uint32_t pattern, char* pat_string);
int32_t tqx_ident_info_snapshot_id_pattern_solution_count_get(context* ctx, ident_info* ident_info,
                                                              uint32_t snapshot, uint32_t id, uint32_t pattern,
                                                              uint32_t* count);
int32_t tqx_ident_info_snapshot_id_pattern_solution_score_get(context* ctx, ident_info* ident_info,
                                                              uint32_t snapshot, uint32_t id, uint32_t pattern,
                                                              uint32_t solution, int32_t* score);
int32_t tqx_ident_info_snapshot_id_pattern_solution_rule_get(context* ctx, ident_info* ident_info,
                                                             uint32_t snapshot, uint32_t id, uint32_t pattern,
                                                             uint32_t solution, solution_rule** rule);
int32_t tqx_ident_info_snapshot_id_pattern_pat_index_in_defn_get(context* ctx, ident_info* ident_info,
                                                                 uint32_t snapshot, uint32_t id, uint32_t pattern,
                                                                 uint32_t* pat_ind_defn);

}  // namespace tq

#include "fields/kridinf.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krvec.h"
#include "fields/kridef.h"

namespace tq {

namespace {

void solutions_free(std::vector<parse_solution*>* list) {
  for (parse_solution* s : *list) {
    parse_solution_free(s);
    delete s;
  }
  list->clear();
}

void ids_free(std::vector<ident_info_id>* ids) {
  for (ident_info_id& id : *ids) {
    for (ident_info_pattern& p : id.patterns) solutions_free(&p.solutions);
  }
  ids->clear();
}

int32_t solution_copy(context* ctx, const parse_solution* s, std::vector<parse_solution*>* out) {
  auto* copy = new (std::nothrow) parse_solution{};
  if (copy == nullptr) return TQ_ERR_NO_MEMORY;
  const int32_t rc = parse_solution_copy(ctx, s, copy);
  if (rc < 0) {
    delete copy;
    return rc;
  }
  try {
    out->push_back(copy);
  } catch (const std::bad_alloc&) {
    parse_solution_free(copy);
    delete copy;
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

// A deep copy of identity records (solutions copied with storage of their own).
int32_t ids_copy(context* ctx, const std::vector<ident_info_id>& from, std::vector<ident_info_id>* to) {
  to->resize(from.size());
  for (size_t i = 0; i < from.size(); ++i) {
    const ident_info_id& a = from[i];
    ident_info_id& b = (*to)[i];
    b.value = a.value;
    b.score = a.score;
    b.stop = a.stop;
    b.patterns.resize(a.patterns.size());
    for (size_t j = 0; j < a.patterns.size(); ++j) {
      const ident_info_pattern& pa = a.patterns[j];
      ident_info_pattern& pb = b.patterns[j];
      pb.position = pa.position;
      pb.root = pa.root;
      pb.sought = pa.sought;
      pb.weight = pa.weight;
      pb.stop = pa.stop;
      pb.text = pa.text;
      for (const parse_solution* s : pa.solutions) {
        if (int32_t rc = solution_copy(ctx, s, &pb.solutions); rc < 0) return rc;
      }
    }
  }
  return 0;
}

// The listed identities of a set of records: those whose score is not 0.
// Listed index k is the (k+1)-th of them; NULL when there is none.
const ident_info_id* listed(const std::vector<ident_info_id>& ids, uint32_t k) {
  for (const ident_info_id& id : ids) {
    if (id.score == 0) continue;
    if (k-- == 0) return &id;
  }
  return nullptr;
}

uint32_t listed_count(const std::vector<ident_info_id>& ids) {
  return static_cast<uint32_t>(std::count_if(ids.begin(), ids.end(), [](const ident_info_id& id) {
    return id.score != 0;
  }));
}

// The records of the run (snapshot -1) or of a snapshot; NULL out of range.
const std::vector<ident_info_id>* records_of(const ident_info* info, int64_t snapshot) {
  if (snapshot < 0) return &info->ids;
  if (static_cast<uint64_t>(snapshot) >= info->snapshots.size()) return nullptr;
  return &info->snapshots[static_cast<size_t>(snapshot)];
}

const ident_info_id* id_of(const ident_info* info, int64_t snapshot, uint32_t id) {
  const std::vector<ident_info_id>* ids = records_of(info, snapshot);
  return ids == nullptr ? nullptr : listed(*ids, id);
}

const ident_info_pattern* pattern_of(const ident_info* info, int64_t snapshot, uint32_t id, uint32_t pattern) {
  const ident_info_id* rec = id_of(info, snapshot, id);
  if (rec == nullptr || pattern >= rec->patterns.size()) return nullptr;
  return &rec->patterns[pattern];
}

const parse_solution* solution_of(const ident_info* info, int64_t snapshot, uint32_t id, uint32_t pattern,
                                  uint32_t solution) {
  const ident_info_pattern* p = pattern_of(info, snapshot, id, pattern);
  if (p == nullptr || solution >= p->solutions.size()) return nullptr;
  return p->solutions[solution];
}

// A 128-byte output: the text cut to what fits with the session's terminator.
int32_t name_out(context* ctx, const std::string& text, char* out) {
  const int32_t rc = strio_out_sized(ctx, text.c_str(), out, kIdentInfoNameOut, kStrioConvert);
  return rc < 0 ? rc : 0;
}

int32_t text_out(context* ctx, const std::string& text, char* out) {
  const int32_t rc = strio_out_sized(ctx, text.c_str(), out, kTextOutSize, kStrioConvert);
  return rc < 0 ? rc : 0;
}

// The getters of one field over the run's records (snapshot -1) or a snapshot's.
int32_t value_get(context* ctx, ident_info* info, int64_t snapshot, uint32_t id, char* value) {
  strio_out_clear(ctx, value);
  const ident_info_id* rec = id_of(info, snapshot, id);
  return rec == nullptr ? TQ_ERR_INDEX : name_out(ctx, rec->value, value);
}
int32_t score_get(ident_info* info, int64_t snapshot, uint32_t id, int32_t* score) {
  *score = 0;
  const ident_info_id* rec = id_of(info, snapshot, id);
  if (rec == nullptr) return TQ_ERR_INDEX;
  *score = rec->score;
  return 0;
}
int32_t stop_get(ident_info* info, int64_t snapshot, uint32_t id, uint32_t* stop) {
  *stop = 0;
  const ident_info_id* rec = id_of(info, snapshot, id);
  if (rec == nullptr) return TQ_ERR_INDEX;
  *stop = rec->stop;
  return 0;
}
int32_t pattern_count_get(ident_info* info, int64_t snapshot, uint32_t id, uint32_t* count) {
  *count = 0;
  const ident_info_id* rec = id_of(info, snapshot, id);
  if (rec == nullptr) return TQ_ERR_INDEX;
  *count = static_cast<uint32_t>(rec->patterns.size());
  return 0;
}
int32_t cat_get(context* ctx, ident_info* info, int64_t snapshot, uint32_t id, uint32_t pattern, bool root,
                char* cat) {
  strio_out_clear(ctx, cat);
  const ident_info_pattern* p = pattern_of(info, snapshot, id, pattern);
  return p == nullptr ? TQ_ERR_INDEX : name_out(ctx, root ? p->root : p->sought, cat);
}
int32_t weight_get(ident_info* info, int64_t snapshot, uint32_t id, uint32_t pattern, int32_t* weight) {
  *weight = 0;
  const ident_info_pattern* p = pattern_of(info, snapshot, id, pattern);
  if (p == nullptr) return TQ_ERR_INDEX;
  *weight = p->weight;
  return 0;
}
int32_t pattern_stop_get(ident_info* info, int64_t snapshot, uint32_t id, uint32_t pattern, uint32_t* stop) {
  *stop = 0;
  const ident_info_pattern* p = pattern_of(info, snapshot, id, pattern);
  if (p == nullptr) return TQ_ERR_INDEX;
  *stop = p->stop;
  return 0;
}
int32_t string_get(context* ctx, ident_info* info, int64_t snapshot, uint32_t id, uint32_t pattern, char* out) {
  strio_out_clear(ctx, out);
  const ident_info_pattern* p = pattern_of(info, snapshot, id, pattern);
  return p == nullptr ? TQ_ERR_INDEX : text_out(ctx, p->text, out);
}
int32_t solution_count_get(ident_info* info, int64_t snapshot, uint32_t id, uint32_t pattern, uint32_t* count) {
  *count = 0;
  const ident_info_pattern* p = pattern_of(info, snapshot, id, pattern);
  if (p == nullptr) return TQ_ERR_INDEX;
  *count = static_cast<uint32_t>(p->solutions.size());
  return 0;
}
int32_t solution_score_get(context* ctx, ident_info* info, int64_t snapshot, uint32_t id, uint32_t pattern,
                           uint32_t solution, int32_t* score) {
  *score = 0;
  const parse_solution* s = solution_of(info, snapshot, id, pattern, solution);
  if (s == nullptr) return TQ_ERR_INDEX;
  const int32_t rc = parse_solution_score_get(ctx, s, score);
  return rc < 0 ? rc : 0;
}
int32_t solution_rule_get(context* ctx, ident_info* info, int64_t snapshot, uint32_t id, uint32_t pattern,
                          uint32_t solution, solution_rule** rule) {
  *rule = nullptr;
  const parse_solution* s = solution_of(info, snapshot, id, pattern, solution);
  if (s == nullptr) return TQ_ERR_INDEX;
  const int32_t rc = solrule_from_solution(ctx, const_cast<parse_solution*>(s), rule);
  return rc < 0 ? rc : 0;
}

}  // namespace

// ---- Filling -----------------------------------------------------------------------------

void ident_info_clear(context* ctx, ident_info* info) {
  info->known_text.clear();
  info->known_index = -1;
  info->steps.clear();
  info->any_matched = 0;
  wordlist_free(&info->words);
  info->words = word_list{};
  wordlist_free(&info->chopped);
  info->chopped = word_list{};
  morph_word_list_free(ctx, info->analysed, 1);
  info->analysed = nullptr;
  ids_free(&info->ids);
  for (auto& snapshot : info->snapshots) ids_free(&snapshot);
  info->snapshots.clear();
  morph_info_free(info->morph);
  info->morph = nullptr;
  for (parser_rec* p : info->parsers) (void)parser_release(ctx, p);
  info->parsers.clear();
}

int32_t ident_info_run_prepare(context* ctx, ident_info* info, uint32_t value_count) {
  ident_info_clear(ctx, info);
  try {
    info->ids.resize(value_count);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  const int32_t rc = morph_info_create(&info->morph);
  if (rc < 0) {
    info->ids.clear();
    return rc;
  }
  return 0;
}

int32_t ident_info_pattern_record(context* ctx, ident_info* info, const ident_defn_kind_rec* part,
                                  const ident_pattern_rec& p, int32_t score, const vec* solutions,
                                  const word_list* words, const char* word) {
  if (info == nullptr) return 0;
  if (p.value < 0 || static_cast<size_t>(p.value) >= info->ids.size()) return TQ_ERR_INDEX;
  try {
    ident_info_id& id = info->ids[static_cast<size_t>(p.value)];
    id.value = part->values[static_cast<size_t>(p.value)].value;
    id.score = score;
    id.stop = p.stop;
    id.patterns.emplace_back();
    ident_info_pattern& r = id.patterns.back();
    r.position = p.position;
    r.root = p.root_name;
    r.sought = p.sought_name;
    r.weight = p.weight;
    r.stop = p.stop;
    if (solutions != nullptr) {
      // The copies name the pattern's parser object: it stays alive with the info.
      if (p.parser != nullptr &&
          std::find(info->parsers.begin(), info->parsers.end(), p.parser) == info->parsers.end()) {
        info->parsers.push_back(p.parser);
        p.parser->refs += 1;
      }
      const uint32_t n = vec_count(solutions);
      for (uint32_t i = 0; i < n; ++i) {
        const auto* s = static_cast<const parse_solution*>(vec_get(solutions, static_cast<int32_t>(i)));
        if (int32_t rc = solution_copy(ctx, s, &r.solutions); rc < 0) return rc;
      }
      if (n > 0) {
        char text[kWordTextSize];
        const auto* first = static_cast<const parse_solution*>(vec_get(solutions, 0));
        if (parse_solution_text_get(ctx, first, words, text) >= 0) r.text = text;
      }
    } else if (word != nullptr) {
      r.text.assign(word, std::min<size_t>(std::strlen(word), kWordTextSize - 1));
    }
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

int32_t ident_info_snapshot_take(context* ctx, ident_info* info) {
  if (info == nullptr) return 0;
  try {
    info->snapshots.emplace_back();
    return ids_copy(ctx, info->ids, &info->snapshots.back());
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
}

// ---- Exports -------------------------------------------------------------------------------

int32_t tqx_ident_info_init(context*, ident_info** out) {
  *out = new (std::nothrow) ident_info;
  return *out == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

int32_t tqx_ident_info_free(context* ctx, ident_info* info) {
  if (info == nullptr) return 0;
  ident_info_clear(ctx, info);
  delete info;
  return 0;
}

int32_t tqx_ident_info_known_identity_get(context* ctx, ident_info* info, char* value) {
  strio_out_clear(ctx, value);
  return name_out(ctx, info->known_text, value);
}

int32_t tqx_ident_info_known_identity_index_get(context*, ident_info* info, int32_t* idx) {
  *idx = info->known_index;
  return 0;
}

int32_t tqx_ident_info_any_preprocessing_regexlib_matched_get(context*, ident_info* info, uint32_t* matched) {
  *matched = info->any_matched;
  return 0;
}

int32_t tqx_ident_info_preprocessed_info_get(context* ctx, ident_info* info, uint32_t index,
                                             char* preprocessed_string, uint32_t* matched) {
  strio_out_clear(ctx, preprocessed_string);
  *matched = 0;
  if (info->known_index >= 0) return 0;
  if (index >= info->steps.size()) return TQ_ERR_INDEX;
  *matched = info->steps[index].matched;
  return text_out(ctx, info->steps[index].text, preprocessed_string);
}

int32_t tqx_ident_info_chopped_word_list_count_get(context*, ident_info* info, uint32_t* count) {
  *count = wordlist_word_count(&info->chopped);
  return 0;
}

int32_t tqx_ident_info_chopped_word_get(context* ctx, ident_info* info, int32_t index, char* word) {
  strio_out_clear(ctx, word);
  const word_rec* w = index < 0 ? nullptr : wordlist_word_at(&info->chopped, index);
  if (w == nullptr) return TQ_ERR_INDEX;
  const int32_t rc = strio_out_sized(ctx, w->text, word, kTextOutSize, kStrioConvert);
  return rc < 0 ? rc : 0;
}

int32_t tqx_ident_info_morph_analyzer_info_get(context*, ident_info* info, morph_analyzer_info** morph_info) {
  *morph_info = info->morph;
  return 0;
}

int32_t tqx_ident_info_snapshot_count_get(context*, ident_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->snapshots.size());
  return 0;
}

int32_t tqx_ident_info_id_count_get(context*, ident_info* info, uint32_t* count) {
  *count = listed_count(info->ids);
  return 0;
}

int32_t tqx_ident_info_snapshot_id_count_get(context*, ident_info* info, uint32_t snapshot, uint32_t* count) {
  *count = 0;
  const std::vector<ident_info_id>* ids = records_of(info, snapshot);
  if (ids == nullptr) return TQ_ERR_INDEX;
  *count = listed_count(*ids);
  return 0;
}

int32_t tqx_ident_info_id_value_get(context* ctx, ident_info* info, uint32_t id, char* value) {
  return value_get(ctx, info, -1, id, value);
}
int32_t tqx_ident_info_id_score_get(context*, ident_info* info, uint32_t id, int32_t* score) {
  return score_get(info, -1, id, score);
}
int32_t tqx_ident_info_id_stop_flag_get(context*, ident_info* info, uint32_t id, uint32_t* stop_flag) {
  return stop_get(info, -1, id, stop_flag);
}
int32_t tqx_ident_info_id_pattern_count_get(context*, ident_info* info, uint32_t id, uint32_t* count) {
  return pattern_count_get(info, -1, id, count);
}
int32_t tqx_ident_info_id_pattern_root_cat_get(context* ctx, ident_info* info, uint32_t id, uint32_t pattern,
                                               char* cat) {
  return cat_get(ctx, info, -1, id, pattern, true, cat);
}
int32_t tqx_ident_info_id_pattern_sought_cat_get(context* ctx, ident_info* info, uint32_t id, uint32_t pattern,
                                                 char* cat) {
  return cat_get(ctx, info, -1, id, pattern, false, cat);
}
int32_t tqx_ident_info_id_pattern_weight_get(context*, ident_info* info, uint32_t id, uint32_t pattern,
                                             int32_t* weight) {
  return weight_get(info, -1, id, pattern, weight);
}
int32_t tqx_ident_info_id_pattern_stop_flag_get(context*, ident_info* info, uint32_t id, uint32_t pattern,
                                                uint32_t* stop_flag) {
  return pattern_stop_get(info, -1, id, pattern, stop_flag);
}
int32_t tqx_ident_info_id_pattern_string_get(context* ctx, ident_info* info, uint32_t id, uint32_t pattern,
                                             char* pat_string) {
  return string_get(ctx, info, -1, id, pattern, pat_string);
}
int32_t tqx_ident_info_id_pattern_solution_count_get(context*, ident_info* info, uint32_t id, uint32_t pattern,
                                                     uint32_t* count) {
  return solution_count_get(info, -1, id, pattern, count);
}
int32_t tqx_ident_info_id_pattern_solution_score_get(context* ctx, ident_info* info, uint32_t id,
                                                     uint32_t pattern, uint32_t solution, int32_t* score) {
  return solution_score_get(ctx, info, -1, id, pattern, solution, score);
}
int32_t tqx_ident_info_id_pattern_solution_rule_get(context* ctx, ident_info* info, uint32_t id, uint32_t pattern,
                                                    uint32_t solution, solution_rule** rule) {
  return solution_rule_get(ctx, info, -1, id, pattern, solution, rule);
}

int32_t tqx_ident_info_id_pattern_solution_rule_string_get(context* ctx, ident_info* info, solution_rule* rule,
                                                           char* rule_string) {
  strio_out_clear(ctx, rule_string);
  char text[kWordTextSize];
  int32_t rc = solrule_string_get(ctx, rule, &info->words, text);
  if (rc < 0) return rc;
  rc = strio_out_sized(ctx, text, rule_string, kTextOutSize, kStrioConvert);
  return rc < 0 ? rc : 0;
}

int32_t tqx_ident_info_snapshot_id_value_get(context* ctx, ident_info* info, uint32_t snapshot, uint32_t id,
                                             char* value) {
  return value_get(ctx, info, snapshot, id, value);
}
int32_t tqx_ident_info_snapshot_id_score_get(context*, ident_info* info, uint32_t snapshot, uint32_t id,
                                             int32_t* score) {
  return score_get(info, snapshot, id, score);
}
int32_t tqx_ident_info_snapshot_id_stop_flag_get(context*, ident_info* info, uint32_t snapshot, uint32_t id,
                                                 uint32_t* stop_flag) {
  return stop_get(info, snapshot, id, stop_flag);
}
int32_t tqx_ident_info_snapshot_id_pattern_count_get(context*, ident_info* info, uint32_t snapshot, uint32_t id,
                                                     uint32_t* count) {
  return pattern_count_get(info, snapshot, id, count);
}
int32_t tqx_ident_info_snapshot_id_pattern_root_cat_get(context* ctx, ident_info* info, uint32_t snapshot,
                                                        uint32_t id, uint32_t pattern, char* cat) {
  return cat_get(ctx, info, snapshot, id, pattern, true, cat);
}
int32_t tqx_ident_info_snapshot_id_pattern_sought_cat_get(context* ctx, ident_info* info, uint32_t snapshot,
                                                          uint32_t id, uint32_t pattern, char* cat) {
  return cat_get(ctx, info, snapshot, id, pattern, false, cat);
}
int32_t tqx_ident_info_snapshot_id_pattern_weight_get(context*, ident_info* info, uint32_t snapshot, uint32_t id,
                                                      uint32_t pattern, int32_t* weight) {
  return weight_get(info, snapshot, id, pattern, weight);
}
int32_t tqx_ident_info_snapshot_id_pattern_stop_flag_get(context*, ident_info* info, uint32_t snapshot,
                                                         uint32_t id, uint32_t pattern, uint32_t* stop_flag) {
  return pattern_stop_get(info, snapshot, id, pattern, stop_flag);
}
int32_t tqx_ident_info_snapshot_id_pattern_string_get(context* ctx, ident_info* info, uint32_t snapshot,
                                                      uint32_t id, uint32_t pattern, char* pat_string) {
  return string_get(ctx, info, snapshot, id, pattern, pat_string);
}
int32_t tqx_ident_info_snapshot_id_pattern_solution_count_get(context*, ident_info* info, uint32_t snapshot,
                                                              uint32_t id, uint32_t pattern, uint32_t* count) {
  return solution_count_get(info, snapshot, id, pattern, count);
}
int32_t tqx_ident_info_snapshot_id_pattern_solution_score_get(context* ctx, ident_info* info, uint32_t snapshot,
                                                              uint32_t id, uint32_t pattern, uint32_t solution,
                                                              int32_t* score) {
  return solution_score_get(ctx, info, snapshot, id, pattern, solution, score);
}
int32_t tqx_ident_info_snapshot_id_pattern_solution_rule_get(context* ctx, ident_info* info, uint32_t snapshot,
                                                             uint32_t id, uint32_t pattern, uint32_t solution,
                                                             solution_rule** rule) {
  return solution_rule_get(ctx, info, snapshot, id, pattern, solution, rule);
}
int32_t tqx_ident_info_snapshot_id_pattern_pat_index_in_defn_get(context*, ident_info* info, uint32_t snapshot,
                                                                 uint32_t id, uint32_t pattern,
                                                                 uint32_t* pat_ind_defn) {
  *pat_ind_defn = 0;
  const ident_info_pattern* p = pattern_of(info, snapshot, id, pattern);
  if (p == nullptr) return TQ_ERR_INDEX;
  *pat_ind_defn = p->position;
  return 0;
}

}  // namespace tq

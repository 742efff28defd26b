#include "fields/krident.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krvec.h"
#include "core/krzel.h"
#include "fields/krfdctx.h"
#include "fields/kridef.h"
#include "kbstore/krfield.h"
#include "kbstore/krshared.h"
#include "platform/nputf8.h"
#include "resources/krchop.h"
#include "resources/krgram.h"
#include "resources/krregx.h"
#include "resources/krsch.h"

namespace tq {

struct ident_work_area {
  vec solutions{};  // made by each parse, freed after it
  std::vector<int32_t> scores;
  std::vector<uint32_t> parse_state;  // 0 not parsed, 1 the whole-value parse gave solutions, 2 none
  std::vector<uint32_t> outcome;      // 0 undecided, 1 matched, 2 not matched
  word_list words{};                  // the chopped value of a run without an info
  uint32_t words_made = 0;
  char input[kIdentResultSize];
  char work[kRegexResultSize];
  char prev[kRegexResultSize];
  char result[kIdentResultSize];
};

namespace {

constexpr uint32_t kChopInputMax = 1024;

// What the pattern phase of one run works with.
struct run_state {
  context* ctx;
  const defn_rec* rec;
  ident_defn_kind_rec* part;
  ident_work_area* area;
  ident_info* info;
  word_list* words;
  const analysed_word_list* awl;
  uint32_t n;       // analysed words
  uint32_t stop;    // the stop result of the current pattern
};

const grammar_category* category_record(context* ctx, const ident_pattern_rec& p, int32_t index) {
  grammar_rec* g = nullptr;
  if (!p.grammar.held() || index < 0 || grammar_get(ctx, p.grammar.index(), &g) < 0) return nullptr;
  return grammar_category_get(g, index);
}

// Adds a pattern's weight to its value: -800 (nothing changed) for a value
// that does not exist.
int32_t score_add(run_state& s, const ident_pattern_rec& p) {
  if (p.value < 0 || static_cast<size_t>(p.value) >= s.area->scores.size()) return TQ_ERR_INDEX;
  // Weights are any int32 a file or setter gives; their sum saturates.
  int32_t& score = s.area->scores[static_cast<size_t>(p.value)];
  score = saturated_add(score, p.weight);
  return 0;
}

int32_t record(run_state& s, const ident_pattern_rec& p, const vec* solutions, const char* word) {
  if (s.info == nullptr) return 0;
  return ident_info_pattern_record(s.ctx, s.info, s.part, p, s.area->scores[static_cast<size_t>(p.value)],
                                   solutions, s.words, word);
}

struct solutions_scope {
  vec* v;
  ~solutions_scope() { vec_free(v); }
};

bool solution_holds(context* ctx, const parse_solution* best, const char* name) {
  if (best == nullptr) return false;  // a list whose scores are all 0 or less has no best
  cat_span span{};
  return parse_solution_cat_span_get(ctx, best, name, &span) >= 0 && span.found != 0;
}

int32_t pattern_word_cats(run_state& s, const ident_pattern_rec& p, bool* matched) {
  for (uint32_t w = 0; w < s.n; ++w) {
    const vec* word = awl_word(s.awl, static_cast<int32_t>(w));
    if (word == nullptr) continue;
    for (uint32_t j = 0; j < vec_count(word); ++j) {
      const auto* e = static_cast<const cat_entry*>(word->slots[j]);
      if (e == nullptr || e->category == nullptr || std::strcmp(e->category->name, p.root_name) != 0) continue;
      if (int32_t rc = score_add(s, p); rc < 0) return rc;
      *matched = true;
      s.stop = p.stop;
      // Analysis deletes the words it empties from the list, so the analysed
      // position is the word's place in the list as analysed.
      const word_rec* chopped = wordlist_word_at(s.words, static_cast<int32_t>(w));
      if (int32_t rc = record(s, p, nullptr, chopped != nullptr ? chopped->text : ""); rc < 0) return rc;
      break;  // one hit per word
    }
  }
  return 0;
}

// Decides later patterns on the same grammar and root category from the
// whole-value parse of pattern i (level 7 only).
int32_t propagate(run_state& s, size_t i, const grammar_category* root, const grammar_category* sought,
                  bool gave, const parse_solution* best) {
  for (size_t j = i + 1; j < s.part->patterns.size(); ++j) {
    if (s.area->outcome[j] != 0) continue;
    const ident_pattern_rec& q = s.part->patterns[j];
    const grammar_category* q_root = category_record(s.ctx, q, q.root_index);
    if (q_root == nullptr || grammar_category_has_rules(q_root) == 0 || q_root != root) continue;
    if (gave) {
      if (category_record(s.ctx, q, q.sought_index) == sought) {
        s.area->outcome[j] = s.area->outcome[i];
      } else {
        s.area->outcome[j] = solution_holds(s.ctx, best, q.sought_name) ? 1 : 2;
      }
    } else if ((q.options & kIdentPhrase) != 0) {
      s.area->outcome[j] = 2;
    }
    if (s.area->outcome[j] == 1) {
      if (int32_t rc = score_add(s, q); rc < 0) return rc;
      if (q.stop != 0) break;
    }
  }
  return 0;
}

int32_t phrase_search(run_state& s, size_t i, const grammar_category* root, const grammar_category* sought,
                      bool* matched) {
  const ident_pattern_rec& p = s.part->patterns[i];
  s.area->parse_state[i] = 2;
  s.area->outcome[i] = 2;
  if (p.parser == nullptr) return TQ_ERR_PARSER_UNBOUND;
  solutions_scope scope{&s.area->solutions};
  int32_t rc = parser_run(s.ctx, p.parser, s.awl, 0, static_cast<int32_t>(s.n) - 1, &s.area->solutions);
  if (rc < 0) return rc;
  const bool gave = parse_solution_list_nonempty(s.ctx, &s.area->solutions);
  parse_solution* best = nullptr;
  if (gave) {
    s.area->parse_state[i] = 1;
    rc = parse_solution_best_get(s.ctx, &s.area->solutions, &best);
    if (rc < 0) return rc;
    if (solution_holds(s.ctx, best, p.sought_name)) {
      if ((rc = score_add(s, p)) < 0) return rc;
      *matched = true;
      s.area->outcome[i] = 1;
      s.stop = p.stop;
      if ((rc = record(s, p, &s.area->solutions, nullptr)) < 0) return rc;
    }
  }
  if (s.part->level == kIdentLevel7 && s.stop == 0) return propagate(s, i, root, sought, gave, best);
  return 0;
}

int32_t element_search(run_state& s, size_t i, bool* matched) {
  const ident_pattern_rec& p = s.part->patterns[i];
  if (p.parser == nullptr) return TQ_ERR_PARSER_UNBOUND;
  const uint32_t n = std::min(s.n, kIdentElementWords);
  uint32_t start = 0;
  while (start < n) {
    uint32_t next = start + 1;
    for (uint32_t end = n; end-- > start;) {
      solutions_scope scope{&s.area->solutions};
      int32_t rc = parser_run(s.ctx, p.parser, s.awl, static_cast<int32_t>(start), static_cast<int32_t>(end),
                              &s.area->solutions);
      if (rc < 0) return rc;
      if (!parse_solution_list_nonempty(s.ctx, &s.area->solutions)) continue;
      parse_solution* best = nullptr;
      if ((rc = parse_solution_best_get(s.ctx, &s.area->solutions, &best)) < 0) return rc;
      *matched = solution_holds(s.ctx, best, p.sought_name);
      if (*matched) {
        if ((rc = score_add(s, p)) < 0) return rc;
        s.stop = p.stop;
        if ((rc = record(s, p, &s.area->solutions, nullptr)) < 0) return rc;
        next = end + 1;
      }
      break;
    }
    start = next;
  }
  return 0;
}

struct words_scope {
  ident_work_area* area;
  ~words_scope() {
    if (area->words_made != 0) wordlist_free(&area->words);
    area->words_made = 0;
  }
};

int32_t pattern_phase(context* ctx, const defn_rec* rec, ident_defn_kind_rec* part, ident_work_area* area,
                      ident_info* info) {
  // Chopping takes at most 1,024 bytes; preprocessing may leave more.
  if (const size_t len = std::strlen(area->work); len > kChopInputMax) {
    area->work[np_uchar_cut(area->work, kChopInputMax)] = '\0';
    strio_note_inside_cut(ctx, "the preprocessed value", std::strlen(area->work), len);
  }
  words_scope guard{area};
  word_list* words = &area->words;
  if (info != nullptr) {
    words = &info->words;
  } else {
    area->words_made = 1;
  }
  int32_t rc = chop_run(ctx, rec->chopper.held() ? rec->chopper.index() : -1, area->work, words);
  if (rc < 0) return rc;
  if (wordlist_word_count(words) == 0) return 0;
  if (info != nullptr && (rc = wordlist_copy(ctx, words, &info->chopped)) < 0) return rc;
  analysed_word_list* awl = nullptr;
  rc = morph_analyze(ctx, part->morph.get(), words, 0, &awl, info != nullptr ? info->morph : nullptr);
  if (rc < 0) return rc;
  if (info != nullptr && (rc = morph_word_list_copy(ctx, nullptr, awl, &info->analysed, 1)) < 0) return rc;
  run_state s{ctx, rec, part, area, info, words, awl, std::min(vec_count(awl), kAwlMaxWords), 0};
  for (size_t i = 0; i < part->patterns.size(); ++i) {
    const ident_pattern_rec& p = part->patterns[i];
    bool matched = false;
    // The stop result belongs to the pattern being evaluated: one left by an
    // earlier element search must not hold back this pattern's propagation.
    s.stop = 0;
    const grammar_category* root = category_record(ctx, p, p.root_index);
    if (part->level >= kIdentLevel7 && root != nullptr && grammar_category_has_rules(root) != 0) {
      if (area->outcome[i] == 1) {
        matched = true;  // decided by propagation, which added the weight
        s.stop = p.stop;
      } else if (area->outcome[i] == 0) {
        rc = (p.options & kIdentPhrase) != 0
                 ? phrase_search(s, i, root, category_record(ctx, p, p.sought_index), &matched)
                 : element_search(s, i, &matched);
      }
    } else {
      rc = pattern_word_cats(s, p, &matched);
    }
    if (rc < 0) return rc;
    if ((rc = ident_info_snapshot_take(ctx, info)) < 0) return rc;
    if (matched && s.stop != 0) break;
  }
  int32_t best = 0;
  int32_t candidate = -1;
  for (size_t v = 0; v < area->scores.size(); ++v) {
    if (area->scores[v] > best) {
      best = area->scores[v];
      candidate = static_cast<int32_t>(v);
    } else if (area->scores[v] == best) {
      candidate = -1;
    }
  }
  if (candidate >= 0) {
    str_copy_bounded(area->result, part->values[static_cast<size_t>(candidate)].value, kIdentResultSize);
  }
  return 0;
}

int32_t preprocess(context* ctx, const defn_rec* rec, const ident_defn_kind_rec* part, ident_work_area* area,
                   ident_info* info) {
  const std::vector<rsrc_ref>& list = ident_defn_preproc_list(rec, part);
  if (info != nullptr) info->steps.reserve(list.size());
  for (const rsrc_ref& ref : list) {
    if (!ref.held()) continue;
    regexlib_rec* lib = nullptr;
    int32_t rc = regexlib_get(ctx, ref.index(), &lib);
    if (rc < 0) return rc;
    std::memcpy(area->prev, area->work, sizeof area->prev);
    const int32_t matched = regexlib_replace_all(ctx, lib, area->prev, area->work, 0);
    if (matched < 0) return matched;
    if (info != nullptr) {
      info->steps.push_back(ident_info_step{area->work, matched == 1 ? 1u : 0u});
      if (matched == 1) info->any_matched = 1;
    }
  }
  return 0;
}

// The known identities: 1 when one decided the run.
int32_t known_identities(context* ctx, const ident_defn_kind_rec* part, ident_work_area* area, ident_info* info) {
  for (size_t k = 0; k < part->known.size(); ++k) {
    const ident_known_rec& known = part->known[k];
    if (!known.scheme.held()) continue;
    scheme_rec* sch = nullptr;
    int32_t rc = scheme_get(ctx, known.scheme.index(), &sch);
    if (rc < 0) return rc;
    rc = scheme_standard_get_by_data(ctx, sch, area->input, nullptr);
    if (rc < 0) return rc;
    if (rc == 0) continue;
    if (known.value < 0 || static_cast<size_t>(known.value) >= part->values.size()) return TQ_ERR_INDEX;
    str_copy_bounded(area->result, part->values[static_cast<size_t>(known.value)].value, kIdentResultSize);
    if (info != nullptr) {
      info->known_text = part->values[static_cast<size_t>(known.value)].value;
      info->known_index = static_cast<int32_t>(k);
    }
    return 1;
  }
  return 0;
}

// The run once the record is known to stay (read hold on a bound definition
// without an info, or the write hold).
int32_t engine_core(context* ctx, defn_rec* rec, ident_defn_kind_rec* part, const char* data, char* result,
                    ident_info* info) {
  int32_t rc = defn_rec_check_usable(ctx, rec);
  if (rc < 0) return rc;
  ident_work_area* area = nullptr;
  if ((rc = ident_work_area_get(ctx, &area)) != 0) return rc;
  const int32_t input = strio_in_1024(ctx, data, area->input, kStrioConvert | kStrioValue);
  if (input < 0) return input;
  if (part->bound.load(std::memory_order_acquire) == 0 && (rc = ident_defn_bind_held(ctx, rec)) < 0) return rc;
  try {
    area->scores.assign(part->values.size(), 0);
    area->parse_state.assign(part->patterns.size(), 0);
    area->outcome.assign(part->patterns.size(), 0);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  int32_t dflt = -1;
  for (size_t v = 0; v < part->values.size(); ++v) {
    if (part->values[v].dflt != 0) dflt = static_cast<int32_t>(v);
  }
  str_copy_bounded(area->result, dflt >= 0 ? part->values[static_cast<size_t>(dflt)].value : "", kIdentResultSize);
  if (info != nullptr && (rc = ident_info_run_prepare(ctx, info, static_cast<uint32_t>(part->values.size()))) < 0) {
    return rc;
  }
  str_trim(area->input);
  rc = known_identities(ctx, part, area, info);
  if (rc < 0) return rc;
  if (rc == 0) {
    str_copy_bounded(area->work, area->input, sizeof area->work);
    if ((rc = preprocess(ctx, rec, part, area, info)) < 0) return rc;
    if ((rc = pattern_phase(ctx, rec, part, area, info)) < 0) return rc;
  }
  const int32_t output = strio_out_sized(ctx, area->result, result, kIdentResultSize, kStrioConvert);
  if (output < 0) return output;
  return input > 0 ? input : output;
}

}  // namespace

int32_t ident_work_area_create(context*, ident_work_area** out) {
  *out = new (std::nothrow) ident_work_area;
  return *out == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

void ident_work_area_free(context*, ident_work_area* area) {
  if (area == nullptr) return;
  if (area->words_made != 0) wordlist_free(&area->words);
  delete area;
}

int32_t ident_defn_bind_held(context* ctx, defn_rec* rec) {
  ident_defn_kind_rec* part = ident_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  ident_defn_unbind(part);
  for (cat_regexlib_entry* e : part->cat_regexlibs) {
    if (int32_t rc = cat_regexlib_entry_bind_grammar(ctx, e, -1); rc < 0) return rc;
  }
  // Below level 7 normalization runs as preprocessing, not in the analysis.
  const bool norm = part->level >= kIdentLevel7;
  int32_t rc = morph_options_set(ctx, part->morph.get(), norm ? static_cast<int32_t>(rec->normalization.size()) : 0,
                                 norm ? rec->normalization.data() : nullptr, part->cat_regexlibs.data(),
                                 static_cast<int32_t>(part->cat_regexlibs.size()), &rec->default_categories, 1,
                                 rec->automatic_uppercasing != 0 ? 1u : 0u, rec->chopper.index(),
                                 static_cast<int32_t>(rec->vocabularies.size()), rec->vocabularies.data());
  if (rc < 0) return rc;
  for (ident_pattern_rec& p : part->patterns) {
    // The pattern keeps its old object until the new one is got: should
    // the get throw, no reference is lost.
    parser_rec* got = nullptr;
    p.root_index = -1;
    p.sought_index = -1;
    if (p.grammar.held()) {
      grammar_rec* g = nullptr;
      rc = grammar_get(ctx, p.grammar.index(), &g);
      if (rc < 0) {
        (void)parser_release(ctx, std::exchange(p.parser, nullptr));
        return rc;
      }
      p.root_index = grammar_category_index_by_name(ctx, g, p.root_name);
      p.sought_index = grammar_category_index_by_name(ctx, g, p.sought_name);
      // Only a root with rules is ever parsed; a terminal or missing root
      // scores by the words' categories and needs no parser.
      const grammar_category* root = grammar_category_get(g, p.root_index);
      if (root != nullptr && grammar_category_has_rules(root) != 0) {
        parse_opt_params eff;
        optp_effective_get(ctx, &p.opt, &eff);
        eff.override_flag = 1;
        rc = parse_defn_parser_get(ctx, p.grammar.index(), p.root_index, &eff, &got);
        if (rc < 0) {
          (void)parser_release(ctx, std::exchange(p.parser, nullptr));
          return rc;
        }
      }
    }
    if ((rc = parser_release(ctx, std::exchange(p.parser, got))) < 0) return rc;
  }
  part->bound.store(1, std::memory_order_release);
  return 0;
}

int32_t ident_defn_bind(context* ctx, defn_rec* rec) {
  return defn_run_under_write_hold(ctx, rec, kDefnIdent, ident_defn_bind_held);
}

int32_t ident_engine_run(context* ctx, defn_rec* rec, const char* data, char* result, ident_info* info) {
  strio_out_clear(ctx, result);
  ident_defn_kind_rec* part = ident_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  int32_t rc = 0;
  if (part->bound.load(std::memory_order_acquire) != 0 && info == nullptr) {
    rc = engine_core(ctx, rec, part, data, result, info);
  } else {
    // Binding needs the write hold, and so does an info, which takes a
    // reference to the parsers its solutions were made by. While the call
    // only reads it is refused, and runs again under it.
    write_hold hold(ctx);
    if (!hold.held()) return hold.rc();
    rc = engine_core(ctx, rec, part, data, result, info);
    const int32_t released = hold.release();
    if (rc >= 0 && released != 0) rc = released;
  }
  if (rc < 0) strio_out_clear(ctx, result);
  return rc;
}

// ---- Exports -------------------------------------------------------------------------------

int32_t tqx_identify_by_index(context* ctx, int32_t index, const char* data, char* result) {
  strio_out_clear(ctx, result);
  defn_rec* rec = nullptr;
  const int32_t rc = defn_record_get_for_read(ctx, kDefnIdent, index, &rec);
  if (rc < 0) return rc;
  return ident_engine_run(ctx, rec, data, result, nullptr);
}

int32_t tqx_identify_with_info(context* ctx, const char* ident_defn, const char* data, char* result,
                               ident_info* info) {
  strio_out_clear(ctx, result);
  int32_t index = -1;
  int32_t rc = defn_index_get_by_name(ctx, kDefnIdent, ident_defn, kDefnNameConvert, &index);
  if (rc < 0) return rc;
  defn_rec* rec = nullptr;
  rc = defn_record_get_for_read(ctx, kDefnIdent, index, &rec);
  if (rc < 0) return rc;
  return ident_engine_run(ctx, rec, data, result, info);
}

int32_t tqx_identify(context* ctx, const char* ident_defn, const char* data, char* result) {
  return tqx_identify_with_info(ctx, ident_defn, data, result, nullptr);
}

}  // namespace tq

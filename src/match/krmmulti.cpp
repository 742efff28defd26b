#include "match/krmmulti.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krzel.h"
#include "match/krmdef.h"
#include "match/krmtctx.h"
#include "platform/npuchar.h"
#include "resources/krchop.h"
#include "resources/krwlst.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr int32_t K = kDefnMatch;
constexpr uint32_t kMappingSize = kParseSlots;
// The whitespace-only chopper: rule conditions look at the words as typed.
constexpr int32_t kWhitespaceChopper = -2;
constexpr double kDefaultWeight = 100.0;

// In front of the entries a block hands out: the entry count, and a mark
// that tells a block of ours from a freed one in the common case.
struct block_header {
  uint64_t capacity;
  uint64_t mark;
};
static_assert(sizeof(block_header) % alignof(match_multicode_entry) == 0, "entries stay aligned");
constexpr uint64_t kBlockMark = 0x6d756c7469636f64ULL;

block_header* header_of(match_multicode_entry* block) {
  return reinterpret_cast<block_header*>(reinterpret_cast<char*>(block) - sizeof(block_header));
}
const block_header* header_of(const match_multicode_entry* block) {
  return reinterpret_cast<const block_header*>(reinterpret_cast<const char*>(block) - sizeof(block_header));
}

uint32_t token_count(const defn_rec* rec) { return std::min(rec->tokens.count(), kDtokMax); }

uint32_t rule_count(const defn_rec* rec) {
  return static_cast<uint32_t>(match_defn_part(rec)->rules.size());
}

bool in_range(int32_t low, int32_t high, uint32_t sensitivity) {
  return static_cast<uint32_t>(low) <= sensitivity && sensitivity <= static_cast<uint32_t>(high);
}

// -802 "'matchcodes[i]' is null." or "... is too small": every block
// checked and pre-filled before anything else runs, so a failed call leaves
// '$' codes and no stale ones.
int32_t blocks_prefill(context* ctx, const defn_rec* rec, match_multicode_entry* const* blocks, uint32_t count,
                       caller_keep& kept) {
  const uint32_t entries = rule_count(rec) + 1;
  const uint32_t length = match_defn_part(rec)->code_length;
  for (uint32_t i = 0; i < count; ++i) {
    match_multicode_entry* block = blocks[i];
    char text[96];
    if (block == nullptr) {
      std::snprintf(text, sizeof text, "'matchcodes[%u]' is null.", i);
      TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, text);
      return TQ_ERR_ARGUMENT;
    }
    if (header_of(block)->mark != kBlockMark || match_multicode_capacity(block) < entries) {
      std::snprintf(text, sizeof text, "'matchcodes[%u]' holds fewer entries than the definition's %u.", i,
                    entries);
      TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, text);
      return TQ_ERR_ARGUMENT;
    }
    for (uint32_t e = 0; e < entries; ++e) {
      int32_t rc = kept.keep(block[e].code, match_code_prefill_size(length));
      if (rc == 0) rc = kept.keep(&block[e].score, sizeof block[e].score);
      if (rc < 0) return rc;
      match_code_prefill(block[e].code, length);
      block[e].score = 0.0;
    }
  }
  return 0;
}

// Whole-value codes (a parse without solution): the first entry of every
// block, converted as the single-code road converts, count 1.
int32_t blocks_whole_value(context* ctx, const defn_rec* rec, const char* value, match_multicode_entry* const* blocks,
                           uint32_t* num, uint32_t count, uint32_t convert) {
  const uint32_t length = match_defn_part(rec)->code_length;
  const uint32_t bytes = std::min(length, kMatchCodeMax) * 4;
  char code[kMatchTextSize];
  for (uint32_t i = 0; i < count; ++i) {
    int32_t rc = match_exact_code(ctx, length, value, code, 0);
    if (rc < 0) return rc;
    rc = strio_out(ctx, code, blocks[i][0].code, bytes, convert);
    if (rc < 0) return rc;
    num[i] = 1;
  }
  return 0;
}

// The working set of one call, made in the work area's memory pool.
struct multicode_run {
  context* ctx;
  defn_rec* rec;
  match_work_area* area;
  parse_token_slot* permuted;   // 32 slots: the value reaching each position, then its pipeline's result
  analysed_word_list** lists;   // per token
};

int32_t run_make(context* ctx, defn_rec* rec, match_work_area* area, multicode_run* run) {
  int32_t rc = 0;
  run->ctx = ctx;
  run->rec = rec;
  run->area = area;
  run->permuted = static_cast<parse_token_slot*>(mempool_alloc(&area->memory, sizeof(parse_token_slot) * kParseSlots, &rc));
  if (run->permuted == nullptr) return rc != 0 ? rc : TQ_ERR_NO_MEMORY;
  run->lists = static_cast<analysed_word_list**>(mempool_alloc(&area->memory, sizeof(analysed_word_list*) * kParseSlots, &rc));
  if (run->lists == nullptr) return rc != 0 ? rc : TQ_ERR_NO_MEMORY;
  for (uint32_t t = 0; t < kParseSlots; ++t) run->lists[t] = nullptr;
  return 0;
}

// One rule slot's code into `entry` (E): every token's value through its
// pipeline with its own resources, placed when the rule maps a token to its
// position. Without an info, tokens that are not placed are not run; with
// one every token is run so the info is complete, and a token that is not
// placed cannot fail the call.
int32_t rule_code(const multicode_run& run, const int32_t* mapping, uint32_t sensitivity, uint32_t slot,
                  match_multicode_entry* entry, match_info* info) {
  context* ctx = run.ctx;
  const defn_rec* rec = run.rec;
  const uint32_t tokens = token_count(rec);
  match_code code;
  match_code_clear(&code);
  for (uint32_t t = 0; t < tokens; ++t) {
    uint32_t start = kMatchNone;
    uint32_t end = kMatchNone;
    int32_t rc = match_token_position_get(rec, sensitivity, t, &start, &end);
    if (rc < 0) return rc;
    const bool placed = mapping[t] != -1 && start != kMatchNone && end != kMatchNone;
    if (!placed && info == nullptr) continue;
    char* value = run.permuted[t].value;
    rc = match_token_uppercase(ctx, rec, t, value, info, slot);
    if (rc >= 0) rc = match_token_pipeline(ctx, rec, t, sensitivity, value, info, slot);
    if (rc < 0 && placed) return rc;
    if (placed) match_code_place(&code, start, end, value);
  }
  match_code_text(&code, match_defn_part(rec)->code_length, entry->code);
  if (info != nullptr) info->codes[slot].unencoded = entry->code;
  match_encode(entry->code);
  entry->score = slot < rule_count(rec) ? match_defn_part(rec)->rules[slot].weight : kDefaultWeight;
  if (info != nullptr) {
    info->codes[slot].encoded = entry->code;
    info->codes[slot].score = entry->score;
  }
  return 0;
}

// One sensitivity into one block (D): every rule slot that applies, repeats
// dropped.
int32_t for_sens(const multicode_run& run, uint32_t sensitivity, match_multicode_entry* block, uint32_t* num,
                 match_info* info) {
  const defn_rec* rec = run.rec;
  const uint32_t tokens = token_count(rec);
  const uint32_t slots = rule_count(rec) + 1;
  const parse_token_slot* values = run.area->tokens;
  uint32_t written = 0;
  int32_t mapping[kMappingSize];
  for (uint32_t r = 0; r < slots; ++r) {
    for (int32_t& m : mapping) m = -1;
    if (!match_rule_apply(mapping, sensitivity, run.lists, rec, r, info)) continue;
    for (uint32_t t = 0; t < tokens; ++t) {
      parse_token_slot& p = run.permuted[t];
      if (mapping[t] < 0) {
        p.index = -1;
        p.value[0] = '\0';
      } else {
        const parse_token_slot& from = values[mapping[t]];
        p.index = from.index;
        std::memcpy(p.value, from.value, std::strlen(from.value) + 1);
      }
    }
    match_multicode_entry* entry = &block[written];
    const int32_t rc = rule_code(run, mapping, sensitivity, r, entry, info);
    if (rc < 0) return rc;
    bool repeat = false;
    for (uint32_t k = 0; k < written && !repeat; ++k) repeat = std::strcmp(block[k].code, entry->code) == 0;
    if (repeat) {
      if (info != nullptr) info->codes[r].duplicate = 1;
    } else {
      written += 1;
    }
  }
  if (info != nullptr) info->output_count = written;
  *num = written;
  return 0;
}

// Every sensitivity (S); the info only when there is exactly one.
int32_t all_sens(context* ctx, defn_rec* rec, match_work_area* area, const uint32_t* sens, uint32_t count,
                 match_multicode_entry* const* blocks, uint32_t* num, match_info* info) {
  multicode_run run{};
  int32_t rc = run_make(ctx, rec, area, &run);
  if (rc < 0) return rc;
  match_info* one = count == 1 ? info : nullptr;
  // The values do not change from one sensitivity to the next, nor does
  // their analysis: it is made once. Only conditions read it: without any,
  // it is made for the info alone, and cannot fail the call.
  bool conditions = false;
  for (const match_combination_rule& r : match_defn_part(rec)->rules) conditions = conditions || !r.conditions.empty();
  if (conditions || one != nullptr) {
    rc = match_rule_tokens_analyse(ctx, rec, area, area->tokens, run.lists, one);
    if (rc < 0 && conditions) return rc;
  }
  for (uint32_t k = 0; k < count; ++k) {
    rc = for_sens(run, sens[k], blocks[k], &num[k], one);
    if (rc < 0) return rc;
  }
  return 0;
}

int32_t index_by_name(context* ctx, const char* name, int32_t* index) {
  const int32_t rc = defn_index_get_by_name(ctx, K, name, kDefnNameConvert, index);
  return rc < 0 ? rc : 0;
}

}  // namespace

// ---- Rule evaluation ------------------------------------------------------------------

int32_t match_defn_token_index_by_name(const defn_rec* rec, const char* name) {
  const uint32_t tokens = token_count(rec);
  for (uint32_t t = 0; t < tokens; ++t) {
    if (np_uchar_icomp(rec->tokens.items[t]->name, name) == 0) return static_cast<int32_t>(t);
  }
  return -1;
}

bool match_token_has_category(match_token_lists lists, uint32_t list_count, int32_t token, const char* category,
                              int32_t likelihood) {
  if (token < 0 || static_cast<uint32_t>(token) >= list_count || lists[token] == nullptr) return false;
  const analysed_word_list* words = lists[token];
  for (uint32_t w = 0; w < vec_count(words); ++w) {
    const vec* word = awl_word(words, static_cast<int32_t>(w));
    for (uint32_t j = 0; word != nullptr && j < vec_count(word); ++j) {
      const auto* e = static_cast<const cat_entry*>(word->slots[j]);
      if (e != nullptr && e->category != nullptr && e->likelihood >= likelihood &&
          std::strcmp(e->category->name, category) == 0) {
        return true;
      }
    }
  }
  return false;
}

bool match_rule_conditions_eval(int32_t* mapping, match_token_lists lists, const defn_rec* rec,
                                const match_combination_rule& rule, match_info* info, uint32_t slot) {
  const uint32_t tokens = token_count(rec);
  for (const match_rule_condition& c : rule.conditions) {
    const int32_t t = match_defn_token_index_by_name(rec, c.token);
    if (t < 0) return false;
    const bool has = match_token_has_category(lists, tokens, t, c.category, c.likelihood);
    if (has == (c.negate != 0)) return false;
  }
  for (const match_rule_mapping& m : rule.mapping) {
    const int32_t position = match_defn_token_index_by_name(rec, m.position);
    if (position < 0) continue;
    const int32_t token = match_defn_token_index_by_name(rec, m.token);
    mapping[position] = token;
    if (info != nullptr && slot < info->rules.size()) info->rules[slot].mapping[position] = token;
  }
  return true;
}

bool match_rule_apply(int32_t* mapping, uint32_t sensitivity, match_token_lists lists, const defn_rec* rec,
                      uint32_t slot, match_info* info) {
  const match_defn_kind_rec* part = match_defn_part(rec);
  const bool recorded = info != nullptr && slot < info->rules.size();
  if (slot < part->rules.size()) {
    const match_combination_rule& rule = part->rules[slot];
    if (!in_range(rule.sens_low, rule.sens_high, sensitivity)) return false;
    if (!match_rule_conditions_eval(mapping, lists, rec, rule, info, slot)) return false;
    if (recorded) {
      info->rules[slot].matched = 1;
      info->rules[slot].score = rule.weight;
    }
    return true;
  }
  if (part->include_default == 0) return false;
  const uint32_t tokens = token_count(rec);
  for (uint32_t t = 0; t < tokens; ++t) mapping[t] = static_cast<int32_t>(t);
  if (recorded) {
    info->rules[slot].matched = 1;
    info->rules[slot].score = kDefaultWeight;
    info->default_used = 1;
    for (uint32_t t = 0; t < tokens; ++t) info->rules[slot].mapping[t] = static_cast<int32_t>(t);
  }
  return true;
}

int32_t match_rule_tokens_analyse(context* ctx, const defn_rec* rec, match_work_area* area,
                                  const parse_token_slot* tokens, analysed_word_list** lists, match_info* info) {
  const uint32_t count = token_count(rec);
  for (uint32_t t = 0; t < count; ++t) {
    lists[t] = nullptr;
    const match_token_kind_rec* tok = match_token_part(rec->tokens.items[t].get());
    if (tok == nullptr || tok->morph == nullptr) return TQ_ERR_PART_MISSING;
    match_info::sig_token* record = info != nullptr && t < info->sig_tokens.size() ? &info->sig_tokens[t] : nullptr;
    word_list words{};
    int32_t rc = chop_run(ctx, kWhitespaceChopper, tokens[t].value, &words);
    if (rc >= 0 && record != nullptr) {
      const uint32_t n = wordlist_word_count(&words);
      record->words.clear();
      record->words.reserve(n);
      for (uint32_t w = 0; w < n; ++w) record->words.emplace_back(wordlist_word_at(&words, static_cast<int32_t>(w))->text);
    }
    analysed_word_list* analysed = nullptr;
    if (rc >= 0) {
      rc = morph_analyze(ctx, tok->morph.get(), &words, 0, &analysed, record != nullptr ? record->morph : nullptr);
    }
    // The analysis lives in the context's analysis pool until the next
    // token's: it is copied into the work area's pool, rewound per call.
    if (rc >= 0) rc = morph_word_list_copy(ctx, &area->memory, analysed, &lists[t], 0);
    wordlist_free(&words);
    if (rc < 0) return rc;
  }
  return 0;
}

// ---- Blocks ------------------------------------------------------------------------------

uint32_t match_multicode_capacity(const match_multicode_entry* block) {
  return block == nullptr ? 0 : static_cast<uint32_t>(header_of(block)->capacity);
}

void match_multicode_block_empty(match_multicode_entry* block) {
  if (block == nullptr || header_of(block)->mark != kBlockMark) return;
  const uint64_t entries = header_of(block)->capacity;
  for (uint64_t e = 0; e < entries; ++e) {
    // The whole-value code is in the session encoding: two zero bytes end
    // a UCS-2 text.
    block[e].code[0] = block[e].code[1] = '\0';
    block[e].score = 0.0;
  }
}

// ---- The road ----------------------------------------------------------------------------

int32_t match_multicode_engine_run(match_multicode_entry* const* blocks, uint32_t* num, context* ctx, defn_rec* rec,
                                   match_work_area* area, const uint32_t* sens, uint32_t count, const char* input,
                                   uint32_t convert, match_info* info) {
  match_area_hold hold(area);
  int32_t rc = hold.refused(ctx);
  if (rc < 0) return rc;
  // Whatever happens next, the info tells of this run only.
  if (info != nullptr) match_info_clear(info);
  rc = match_defn_ready(ctx, rec);
  if (rc < 0) return rc;
  mempool_reset(&area->memory);
  caller_keep kept(ctx, area);
  rc = kept.keep(num, sizeof *num * count);
  if (rc == 0) rc = blocks_prefill(ctx, rec, blocks, count, kept);
  if (rc < 0) return rc;
  match_prepared prepared;
  rc = match_value_prepare(ctx, rec, area, input, info, rule_count(rec) + 1, &prepared);
  if (rc < 0) return rc;
  if (prepared.whole_value != 0) {
    if (info != nullptr) info->exact_match = 1;
    rc = blocks_whole_value(ctx, rec, area->input, blocks, num, count, convert);
    return rc < 0 ? rc : TQ_WARN_NO_SOLUTION;
  }
  rc = all_sens(ctx, rec, area, sens, count, blocks, num, info);
  if (rc < 0) return rc;
  return prepared.no_solution != 0 ? TQ_WARN_NO_SOLUTION : 0;
}

int32_t match_multicode_engine_run_parsed(defn_rec* rec, context* ctx, match_work_area* area, const uint32_t* sens,
                                          uint32_t count, const parse_token_slot* slots, uint32_t slot_count,
                                          match_multicode_entry* const* blocks, uint32_t* num, match_info* info) {
  match_area_hold hold(area);
  int32_t rc = hold.refused(ctx);
  if (rc < 0) return rc;
  if (info != nullptr) match_info_clear(info);
  rc = defn_rec_check_usable(ctx, rec);
  if (rc < 0) return rc;
  if (match_defn_part(rec) == nullptr) return TQ_ERR_DEFN_INVALID;
  if (defn_rec_parsed_input_get(ctx, rec) == 0) return TQ_ERR_FAILED;
  rc = match_defn_ready(ctx, rec);
  if (rc < 0) return rc;
  mempool_reset(&area->memory);
  caller_keep kept(ctx, area);
  rc = kept.keep(num, sizeof *num * count);
  if (rc == 0) rc = blocks_prefill(ctx, rec, blocks, count, kept);
  if (rc < 0) return rc;
  rc = match_parsed_prepare(ctx, rec, area, slots, slot_count, info, rule_count(rec) + 1);
  if (rc < 0) return rc;
  rc = all_sens(ctx, rec, area, sens, count, blocks, num, info);
  return rc < 0 ? rc : 0;
}

int32_t match_multicode_by_defn_index(context* ctx, int32_t index, const uint32_t* sens, uint32_t count,
                                      const char* input, uint32_t convert, match_multicode_entry* const* blocks,
                                      uint32_t* num, match_info* info) {
  match_work_area* area = nullptr;
  if (int32_t made = match_work_area_get(ctx, &area); made != 0) return made;
  if (area->depth != 0) return match_area_hold(area).refused(ctx);
  if (int32_t claimed = shared_state_write_claim_for(ctx, info); claimed != 0) return claimed;
  if (info != nullptr) match_info_clear(info);
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnMatch, index, &rec);
  if (rc < 0) return rc;
  char text[kMatchTextSize];
  const int32_t converted = strio_in(ctx, input, text, kMatchTextMax, convert | kStrioValue);
  if (converted < 0) return converted;
  rc = match_multicode_engine_run(blocks, num, ctx, rec, area, sens, count, text, convert, info);
  if (rc < 0) return rc;
  return converted > 0 ? converted : rc;
}

int32_t match_multicode_parsed_by_defn_index(context* ctx, int32_t index, const uint32_t* sens, uint32_t count,
                                             const parse_token_slot* slots, uint32_t slot_count,
                                             match_multicode_entry* const* blocks, uint32_t* num,
                                             match_info* info) {
  match_work_area* area = nullptr;
  if (int32_t made = match_work_area_get(ctx, &area); made != 0) return made;
  int32_t rc = match_slot_count_check(ctx, slot_count);
  if (rc < 0) return rc;
  defn_rec* rec = nullptr;
  write_hold held;
  rc = defn_record_get_for_write(ctx, K, index, &rec, &held);
  if (rc < 0) return rc;
  // The caller's values in UTF-8, in the block a parse would fill (no parse
  // runs on this road).
  int32_t converted = 0;
  for (uint32_t k = 0; k < slot_count && rc >= 0; ++k) {
    area->parsed[k].index = slots[k].index;
    rc = strio_in(ctx, slots[k].value, area->parsed[k].value, kMatchTextMax, kStrioConvert | kStrioValue);
    if (rc > 0) converted = rc;
  }
  if (rc >= 0) {
    rc = match_multicode_engine_run_parsed(rec, ctx, area, sens, count, area->parsed, slot_count, blocks, num, info);
  }
  const int32_t released = held.release();
  if (rc < 0) return rc;
  if (released < 0) return released;
  return converted;
}

// ---- Exports -----------------------------------------------------------------------------

int32_t match_multicode(context* ctx, const char* match_defn, uint32_t sensitivity, const char* data,
                        match_multicode_entry* const* matchcodes, uint32_t* num) {
  return match_with_info_multicode(ctx, match_defn, sensitivity, data, matchcodes, num, nullptr);
}

int32_t match_with_info_multicode(context* ctx, const char* match_defn, uint32_t sensitivity, const char* data,
                                  match_multicode_entry* const* matchcodes, uint32_t* num, match_info* info) {
  int32_t index = -1;
  const int32_t rc = index_by_name(ctx, match_defn, &index);
  if (rc < 0) return rc;
  return match_multicode_by_defn_index(ctx, index, &sensitivity, 1, data, kStrioConvert, matchcodes, num, info);
}

int32_t match_by_index_multicode(context* ctx, int32_t index, uint32_t sensitivity, const char* data,
                                 match_multicode_entry* const* matchcodes, uint32_t* num) {
  return match_multicode_by_defn_index(ctx, index, &sensitivity, 1, data, kStrioConvert, matchcodes, num, nullptr);
}

int32_t match_by_index_with_info_multicode(context* ctx, int32_t index, uint32_t sensitivity, const char* data,
                                           match_multicode_entry* const* matchcodes, uint32_t* num,
                                           match_info* info) {
  return match_multicode_by_defn_index(ctx, index, &sensitivity, 1, data, kStrioConvert, matchcodes, num, info);
}

int32_t match_multiple_sens_multicode(context* ctx, const char* match_defn, const uint32_t* sensitivities,
                                      uint32_t count, const char* data, match_multicode_entry* const* matchcodes,
                                      uint32_t* num) {
  int32_t index = -1;
  const int32_t rc = index_by_name(ctx, match_defn, &index);
  if (rc < 0) return rc;
  return match_multicode_by_defn_index(ctx, index, sensitivities, count, data, kStrioConvert, matchcodes, num,
                                       nullptr);
}

int32_t match_multiple_sens_by_index_multicode(context* ctx, int32_t index, const uint32_t* sensitivities,
                                               uint32_t count, const char* data,
                                               match_multicode_entry* const* matchcodes, uint32_t* num) {
  return match_multicode_by_defn_index(ctx, index, sensitivities, count, data, kStrioConvert, matchcodes, num,
                                       nullptr);
}

int32_t match_parsed_multicode(context* ctx, const char* match_defn, uint32_t sensitivity,
                               const parse_token_slot* input_array, uint32_t num_tokens,
                               match_multicode_entry* const* matchcodes, uint32_t* num) {
  return match_parsed_with_info_multicode(ctx, match_defn, sensitivity, input_array, num_tokens, matchcodes, num,
                                          nullptr);
}

int32_t match_parsed_with_info_multicode(context* ctx, const char* match_defn, uint32_t sensitivity,
                                         const parse_token_slot* input_array, uint32_t num_tokens,
                                         match_multicode_entry* const* matchcodes, uint32_t* num,
                                         match_info* info) {
  int32_t index = -1;
  const int32_t rc = index_by_name(ctx, match_defn, &index);
  if (rc < 0) return rc;
  return match_multicode_parsed_by_defn_index(ctx, index, &sensitivity, 1, input_array, num_tokens, matchcodes, num,
                                              info);
}

int32_t match_parsed_by_index_multicode(context* ctx, int32_t index, uint32_t sensitivity,
                                        const parse_token_slot* input_array, uint32_t num_tokens,
                                        match_multicode_entry* const* matchcodes, uint32_t* num) {
  return match_multicode_parsed_by_defn_index(ctx, index, &sensitivity, 1, input_array, num_tokens, matchcodes, num,
                                              nullptr);
}

int32_t match_multiple_sens_parsed_multicode(context* ctx, const char* match_defn, const uint32_t* sensitivities,
                                             uint32_t count, const parse_token_slot* token_array,
                                             uint32_t num_tokens, match_multicode_entry* const* matchcodes,
                                             uint32_t* num) {
  int32_t index = -1;
  const int32_t rc = index_by_name(ctx, match_defn, &index);
  if (rc < 0) return rc;
  const int32_t run = match_multicode_parsed_by_defn_index(ctx, index, sensitivities, count, token_array, num_tokens,
                                                           matchcodes, num, nullptr);
  return run < 0 ? run : 0;
}

int32_t match_multiple_sens_parsed_by_index_multicode(context* ctx, int32_t index, const uint32_t* sensitivities,
                                                      uint32_t count, const parse_token_slot* token_array,
                                                      uint32_t num_tokens, match_multicode_entry* const* matchcodes,
                                                      uint32_t* num) {
  return match_multicode_parsed_by_defn_index(ctx, index, sensitivities, count, token_array, num_tokens, matchcodes,
                                              num, nullptr);
}

int32_t tqx_match_multicode_output_create(context* ctx, const char* match_defn, match_multicode_entry** output) {
  *output = nullptr;
  int32_t index = -1;
  int32_t rc = index_by_name(ctx, match_defn, &index);
  if (rc < 0) return rc;
  defn_rec* rec = nullptr;
  rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  if (match_defn_part(rec) == nullptr) return TQ_ERR_DEFN_INVALID;
  const uint64_t entries = static_cast<uint64_t>(rule_count(rec)) + 1;
  void* memory = np_calloc(1, sizeof(block_header) + entries * sizeof(match_multicode_entry));
  if (memory == nullptr) {
    TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Creating match multicode output");
    return TQ_ERR_NO_MEMORY;
  }
  auto* header = static_cast<block_header*>(memory);
  header->capacity = entries;
  header->mark = kBlockMark;
  *output = reinterpret_cast<match_multicode_entry*>(header + 1);
  return 0;
}

int32_t tqx_match_multicode_output_destroy(context*, match_multicode_entry* output) {
  if (output == nullptr) return 0;
  block_header* header = header_of(output);
  header->mark = 0;
  std::free(header);
  return 0;
}

}  // namespace tq

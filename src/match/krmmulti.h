// The multicode road of the match engine: for each sensitivity, one code per
// token combination rule of the definition that applies to the value
// (krmrule.h), then the default code, repeats dropped, each with a score,
// written into a caller's block of fixed 1,040-byte entries.
//
// A rule is another arrangement of the definition's tokens: for each token
// position it names the token whose value goes there. The road analyses
// every token's value into word categories once (the rules' conditions ask
// for categories), and for each rule that applies builds the permuted
// values, runs every token's pipeline (krmeng.h) on the value that reaches
// its position with that position's resources, and places the results.
//
// The preparation, pipeline, placement and encoding are the single-code
// engine's; only the rule evaluation and the blocks are here. Blocks carry
// their capacity in a header in front of the entries the caller sees, so a
// block made before rules were added to the definition is refused instead
// of overrun.
#pragma once

#include <cstdint>

#include "tq.h"
#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "match/krmeng.h"
#include "match/krminfo.h"
#include "match/krmrule.h"
#include "parse/krawl.h"
#include "parse/krparse.h"

namespace tq {

using match_multicode_entry = ::tq_match_multicode_entry;
static_assert(sizeof(match_multicode_entry) == 1040, "callers index blocks by the 1,040-byte entry");

// ---- Rule evaluation ------------------------------------------------------------------

// The analysed words of every token, by token (NULL: no words).
using match_token_lists = analysed_word_list* const*;

// The index of the first token whose name equals `name` ignoring case, -1
// when none does.
int32_t match_defn_token_index_by_name(const defn_rec* rec, const char* name);
// Whether any word of the token has `category` (compared byte for byte)
// with at least `likelihood`. False for a token without words or outside
// the definition.
bool match_token_has_category(match_token_lists lists, uint32_t list_count, int32_t token, const char* category,
                              int32_t likelihood);
// Whether every condition of the rule holds, in order, stopping at the
// first that does not (a condition on a name that is no token never holds).
// When all hold, the mapping entries are applied: mapping[position] :=
// token (-1 for a token name that names none; entries whose position names
// no token are skipped), and recorded for rule slot `slot` of the info.
bool match_rule_conditions_eval(int32_t* mapping, match_token_lists lists, const defn_rec* rec,
                                const match_combination_rule& rule, match_info* info, uint32_t slot);
// Whether rule slot `slot` (a rule, or the default at slot rule count)
// applies at the sensitivity, filling the mapping (32 entries, all -1 on
// entry). A rule applies within its range (compared unsigned, as the
// tokens' resource ranges are) when its conditions hold; the default
// applies when "Include Default" is set, with every token in its own
// position. The info records the slot as matched, with its weight.
bool match_rule_apply(int32_t* mapping, uint32_t sensitivity, match_token_lists lists, const defn_rec* rec,
                      uint32_t slot, match_info* info);
// Chops every token's value (as parsed) at white space and analyses the
// words with the token's analysis options; the lists are made in the work
// area's memory pool (lists[t], one per token of the definition). With an
// info, each token's words and analysis are recorded. A negative code.
int32_t match_rule_tokens_analyse(context* ctx, const defn_rec* rec, match_work_area* area,
                                  const parse_token_slot* tokens, analysed_word_list** lists, match_info* info);

// ---- Blocks ------------------------------------------------------------------------------

// Entries a block made by tq_match_multicode_output_create holds.
uint32_t match_multicode_capacity(const match_multicode_entry* block);
// Empties the code of every entry of a block made by
// match_multicode_output_create (score 0.0); anything else is left alone.
void match_multicode_block_empty(match_multicode_entry* block);

// ---- The road ----------------------------------------------------------------------------

// `blocks` and `num` hold count entries, one per sensitivity. The input is
// UTF-8; with convert set (kStrioConvert) whole-value codes go out in the
// session encoding. 0, 101 (a parse without solution), or a negative code.
int32_t match_multicode_engine_run(match_multicode_entry* const* blocks, uint32_t* num, context* ctx, defn_rec* rec,
                                   match_work_area* area, const uint32_t* sens, uint32_t count, const char* input,
                                   uint32_t convert, match_info* info);
// From a caller's slots (UTF-8, at most 32): -702 when the definition does
// not allow parsed input; 0 or a negative code.
int32_t match_multicode_engine_run_parsed(defn_rec* rec, context* ctx, match_work_area* area, const uint32_t* sens,
                                          uint32_t count, const parse_token_slot* slots, uint32_t slot_count,
                                          match_multicode_entry* const* blocks, uint32_t* num, match_info* info);

// The definition at `index` of the current locale run on a caller's value
// (session encoding when convert is set). A negative code; else a positive
// result of converting the input; else the road's.
int32_t match_multicode_by_defn_index(context* ctx, int32_t index, const uint32_t* sens, uint32_t count,
                                      const char* input, uint32_t convert, match_multicode_entry* const* blocks,
                                      uint32_t* num, match_info* info);
// The same for a caller's tokens (session encoding), under the write hold
// for the whole run. A negative code; else the last positive conversion
// result; else 0.
int32_t match_multicode_parsed_by_defn_index(context* ctx, int32_t index, const uint32_t* sens, uint32_t count,
                                             const parse_token_slot* slots, uint32_t slot_count,
                                             match_multicode_entry* const* blocks, uint32_t* num,
                                             match_info* info);

// ---- Export implementations (tables/match_multicode.def) ---------------------------------
// By name (current locale, ignoring case) or index; a match info may be
// NULL.

int32_t match_multicode(context* ctx, const char* match_defn, uint32_t sensitivity, const char* data,
                            match_multicode_entry* const* matchcodes, uint32_t* num);
int32_t match_with_info_multicode(context* ctx, const char* match_defn, uint32_t sensitivity, const char* data,
                                      match_multicode_entry* const* matchcodes, uint32_t* num,
                                      match_info* info);
int32_t match_by_index_multicode(context* ctx, int32_t index, uint32_t sensitivity, const char* data,
                                     match_multicode_entry* const* matchcodes, uint32_t* num);
int32_t match_by_index_with_info_multicode(context* ctx, int32_t index, uint32_t sensitivity, const char* data,
                                               match_multicode_entry* const* matchcodes, uint32_t* num,
                                               match_info* info);
int32_t match_multiple_sens_multicode(context* ctx, const char* match_defn, const uint32_t* sensitivities,
                                          uint32_t count, const char* data, match_multicode_entry* const* matchcodes,
                                          uint32_t* num);
int32_t match_multiple_sens_by_index_multicode(context* ctx, int32_t index, const uint32_t* sensitivities,
                                                   uint32_t count, const char* data,
                                                   match_multicode_entry* const* matchcodes, uint32_t* num);
int32_t match_parsed_multicode(context* ctx, const char* match_defn, uint32_t sensitivity,
                                   const parse_token_slot* input_array, uint32_t num_tokens,
                                   match_multicode_entry* const* matchcodes, uint32_t* num);
int32_t match_parsed_with_info_multicode(context* ctx, const char* match_defn, uint32_t sensitivity,
                                             const parse_token_slot* input_array, uint32_t num_tokens,
                                             match_multicode_entry* const* matchcodes, uint32_t* num,
                                             match_info* info);
int32_t match_parsed_by_index_multicode(context* ctx, int32_t index, uint32_t sensitivity,
                                            const parse_token_slot* input_array, uint32_t num_tokens,
                                            match_multicode_entry* const* matchcodes, uint32_t* num);
int32_t match_multiple_sens_parsed_multicode(context* ctx, const char* match_defn,
                                                 const uint32_t* sensitivities, uint32_t count,
                                                 const parse_token_slot* token_array, uint32_t num_tokens,
                                                 match_multicode_entry* const* matchcodes, uint32_t* num);
int32_t match_multiple_sens_parsed_by_index_multicode(context* ctx, int32_t index,
                                                          const uint32_t* sensitivities, uint32_t count,
                                                          const parse_token_slot* token_array, uint32_t num_tokens,
                                                          match_multicode_entry* const* matchcodes, uint32_t* num);
int32_t tqx_match_multicode_output_create(context* ctx, const char* match_defn, match_multicode_entry** output);
// NULL is accepted.
int32_t tqx_match_multicode_output_destroy(context* ctx, match_multicode_entry* output);

}  // namespace tq

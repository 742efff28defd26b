// The parse road: a value in, the named tokens of a parse definition out.
// Preprocessing regex libraries, chopping, word analysis, the grammar parse
// and the best solution; then the tokens are filled from that solution, or,
// when the grammar found none, by the definition's no-solution tokens or an
// even split of the words.
//
// Everything a parse works in lives in the context's parse scratch (its 32
// slots, word list, solution list, no-solution tables) and the pools of the
// analysis and the engines, so a warm context allocates nothing per value
// unless a parse info asks for copies.
#pragma once

#include <cstdint>

#include "tq.h"
#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "parse/krawl.h"
#include "parse/krpinfo.h"
#include "parse/krsoln.h"
#include "resources/krwlst.h"

namespace tq {

// One output token: the caller's slots and the scratch share the layout.
using parse_token_slot = ::tq_parse_token;
inline constexpr uint32_t kParseSlots = TQ_PARSE_TOKENS;
inline constexpr uint32_t kParseValueMax = 1024;  // bytes of text in a value

struct parse_scratch;

int32_t parse_scratch_create(context* ctx, parse_scratch** out);
void parse_scratch_free(context* ctx, parse_scratch* scratch);

// Parses the UTF-8 text with the definition into slots[0 .. 31] (values in
// UTF-8); *count := the definition's token count (at most 32). 0, 101 (no
// solution), 102 (the engine's resource limit), or a failure: -704/-705
// for a definition that is not usable, -301 without a grammar or
// vocabularies, the failures of preparation and of every step. With an
// info, the info is filled (what it held before is released first).
//
// A definition that is not prepared is prepared here, and the whole parse
// then runs under the shared state's write hold. A caller that only reads
// is refused it (kRcNeedsWriteHold, passed up unchanged) with its read hold
// kept, and the frame runs the whole call again under the write hold.
int32_t parse_defn_run(context* ctx, defn_rec* rec, const char* text, parse_token_slot* slots, uint32_t* count,
                       parse_info* info);
// The same with a given scratch (parse_defn_run passes the context's).
int32_t parse_engine_run(context* ctx, parse_scratch* scratch, defn_rec* rec, const char* text,
                         parse_token_slot* slots, uint32_t* count, parse_info* info);

// The fillers. token_count: the definition's tokens, at most 32.
int32_t parse_tokens_from_solution(context* ctx, const defn_rec* rec, const parse_solution* best,
                                   uint32_t token_count, const word_list* words, const analysed_word_list* awl,
                                   parse_token_slot* slots);
int32_t parse_tokens_nosol(context* ctx, parse_scratch* scratch, const defn_rec* rec, uint32_t token_count,
                           const word_list* words, const analysed_word_list* awl, parse_token_slot* slots);
// Each token takes w / t + 1 words in order (w words, t tokens), so the
// last tokens may stay empty: 5 words over 5 tokens give 2, 2, 1, 0, 0.
int32_t parse_tokens_even_split(context* ctx, const defn_rec* rec, uint32_t token_count, const word_list* words,
                                const analysed_word_list* awl, parse_token_slot* slots);

// ---- Exports -----------------------------------------------------------------------------

int32_t tqx_parse(context* ctx, const char* parse_defn, const char* data, parse_token_slot* tokens,
                  uint32_t* num_tokens);
int32_t tqx_parse_by_index(context* ctx, int32_t index, const char* data, parse_token_slot* tokens,
                           uint32_t* num_tokens);
int32_t tqx_parse_nonsurfaced(context* ctx, const char* parse_defn, const char* data, parse_token_slot* tokens,
                              uint32_t* num_tokens);
int32_t tqx_parse_with_info(context* ctx, const char* parse_defn, const char* data, parse_token_slot* tokens,
                            uint32_t* num_tokens, parse_info* info);
int32_t tqx_parse_with_info_nonsurfaced(context* ctx, const char* parse_defn, const char* data,
                                        parse_token_slot* tokens, uint32_t* num_tokens, parse_info* info);
int32_t tqx_parse_with_info_by_index(context* ctx, int32_t index, const char* data, parse_token_slot* tokens,
                                     uint32_t* num_tokens, parse_info* info);

}  // namespace tq

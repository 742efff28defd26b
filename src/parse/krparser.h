// Parser objects: a grammar bound to a root category under a set of
// optimization parameters, compiled once into flat read-only tables and
// shared through a cache in the shared state by every definition (and
// clone) that asks for the same grammar, root and parameters. Four kinds:
// 0 the chart engine, 1 the LR engine, 2 the one-word engine and 3 the
// composite that picks one of the three per input.
//
// Everything a parse changes lives in the calling context's runtimes (one
// per engine kind, each with a memory pool rewound before every parse), so
// clones parse with one object at the same time.
#pragma once

#include <cstdint>
#include <vector>

#include "core/krcorvel.h"
#include "core/krvec.h"
#include "parse/krawl.h"
#include "parse/kroptp.h"

namespace tq {

struct grammar_category;
struct lr_automaton;
struct chart_work;
struct lr_work;

inline constexpr uint32_t kParserChart = 0;
inline constexpr uint32_t kParserLr = 1;
inline constexpr uint32_t kParserOneWord = 2;
inline constexpr uint32_t kParserComposite = 3;
inline constexpr uint32_t kParserRuntimeKinds = 3;

// ---- The compiled grammar ---------------------------------------------------------

struct cg_cat {
  const grammar_category* src;  // for its name; the object holds the grammar
  int32_t id;                   // registry id
  int32_t first_rule;           // its rules are rules[first_rule .. first_rule + rule_count)
  int32_t rule_count;           // 0: terminal
  int32_t min_len;              // fewest words it derives (terminal 1)
};

struct cg_rule {
  int32_t left;      // category index
  int32_t priority;
  int32_t len;       // right-side length, at least 1
  int32_t rhs;       // offset of its right side in compiled_grammar::rhs
};

struct compiled_grammar {
  cg_cat* cats;
  int32_t cat_count;
  cg_rule* rules;
  int32_t rule_count;
  int32_t* rhs;       // category indexes of every right side
  int32_t root;       // category index of the root
  int32_t num;        // category index of "NUM"
  int32_t* by_id;     // registry id -> category index, -1; id_count entries
  int32_t id_count;   // ids at or beyond it (registered later) belong to no category
  // Per category, the terminal categories a derivation of it can begin
  // with, as a bit set of first_words 64-bit words (bit t: category t).
  uint64_t* first;
  int32_t first_words;
  int32_t* by_name;   // category indexes in byte order of their names
};

// The category index of a registry id, -1 when the grammar has none (ids
// registered after the grammar was compiled included).
inline int32_t cg_cat_of_id(const compiled_grammar* g, int32_t id) {
  return id >= 0 && id < g->id_count ? g->by_id[id] : -1;
}
inline const int32_t* cg_rhs(const compiled_grammar* g, const cg_rule& r) { return g->rhs + r.rhs; }
const char* cg_cat_name(const compiled_grammar* g, int32_t cat);
// The index of the category named exactly `name` (byte for byte), -1 when
// none.
int32_t cg_cat_find(const compiled_grammar* g, const char* name);
inline const uint64_t* cg_first(const compiled_grammar* g, int32_t cat) {
  return g->first + static_cast<size_t>(cat) * static_cast<size_t>(g->first_words);
}

// ---- Parser objects ----------------------------------------------------------------

struct parser_rec {
  uint32_t kind;
  uint32_t bound;
  const grammar_category* num_cat;
  const grammar_category* root_cat;
  parse_opt_params params;
  int32_t grammar;          // registry index, -1 when none
  int32_t root;             // category index in the grammar, -1 when none
  int32_t refs;
  uint64_t grammar_serial;  // the grammar record it was built on
  uint32_t holds_grammar;   // 1 while it holds a registry reference to its grammar
  compiled_grammar* cg;     // kinds 0, 1, 2 once bound
  parser_rec* sub[kParserRuntimeKinds];  // kind 3: its chart, LR and one-word parsers
  lr_automaton* lr;         // kind 1
  char* key;                // the cache key it is stored under, or NULL
};

// ---- Runtimes --------------------------------------------------------------------------

struct parser_runtime {
  uint32_t kind;
  mempool* pool;
  uint32_t pool_ready;
  chart_work* chart;  // kind 0
  lr_work* lr;        // kind 1
};

struct parser_runtimes {
  parser_runtime* rt[kParserRuntimeKinds];
};

inline constexpr uint32_t kRuntimePoolKb = 24000;

int32_t parser_runtime_create(context* ctx, parser_runtime** out, uint32_t kind);
void parser_runtime_free(parser_runtime* rt);
int32_t parser_runtime_reset(parser_runtime* rt);
// The context's runtime of a kind, made on first use; -1 for another kind.
int32_t parser_runtime_for_kind(context* ctx, uint32_t kind, parser_runtime** out);

int32_t parser_runtimes_part_create(context* ctx);
void parser_runtimes_part_free(context* ctx);

// ---- Objects and the cache --------------------------------------------------------------

int32_t parser_init(parser_rec* p, uint32_t kind);
// -800 without a grammar; -706 when the grammar lacks "NUM" (message 2270)
// or the root index names none of its categories (2271); -300 (2272) when
// it has a rule with an empty right side; the grammar's load failure.
int32_t parser_bind(context* ctx, parser_rec* p, int32_t grammar, int32_t root, const parse_opt_params* block);
int32_t parser_unbind(context* ctx, parser_rec* p);
// The key text: kind, grammar, root, effective levels, limit and input
// length, and the grammar record's serial. out holds kParserKeySize bytes.
inline constexpr uint32_t kParserKeySize = 128;
int32_t parser_cache_key(context* ctx, uint32_t kind, int32_t grammar, int32_t root, const parse_opt_params* block,
                         char* out);

// The cached object for the key with one reference more, or a new one
// made, bound and cached with one reference. Under the write hold.
int32_t parser_get(context* ctx, uint32_t kind, int32_t grammar, int32_t root, const parse_opt_params* block,
                   parser_rec** out);
int32_t parse_defn_parser_get(context* ctx, int32_t grammar, int32_t root, const parse_opt_params* block,
                              parser_rec** out);
// Gives one reference back; the last one removes the object from the cache
// and frees it (with its reference to the grammar). NULL does nothing.
int32_t parser_unref(context* ctx, parser_rec* p);
int32_t parser_release(context* ctx, parser_rec* p);
// Gives back every reference an info holds and empties the list. Refused
// while only reading (kRcNeedsWriteHold): then nothing is given back and
// the list stays as it was. Else the first failure; the list is emptied.
int32_t parser_release_all(context* ctx, std::vector<parser_rec*>* parsers);
// The number of objects the context's shared state caches.
uint32_t parser_cache_count(context* ctx);

// Parses words [first, last] into `solutions`, which is made here (an
// owning vector the caller frees with vec_free). 0, 102 when the resource
// limit stopped the engine (no solution), -703 for an unbound object, -802
// for levels to score outside 5 to 10, or an engine's failure.
int32_t parser_run(context* ctx, parser_rec* p, const analysed_word_list* words, int32_t first, int32_t last,
                   vec* solutions);

int32_t parser_composite_bind(context* ctx, parser_rec* composite, int32_t grammar, int32_t root,
                              const parse_opt_params* block);
int32_t parser_composite_select(context* ctx, parser_rec* composite, int32_t input_length,
                                const analysed_word_list* words, parser_rec** out);

int32_t parse_oneword_run(context* ctx, parser_rec* p, parser_runtime* rt, vec* solutions,
                          const analysed_word_list* words, int32_t first, int32_t last, int32_t limit,
                          int32_t levels);

}  // namespace tq

// Parse solutions: one per derivation of the root category over the parsed
// words, with its level-weighted score; the choice of the best; category
// spans, surface texts, copies that outlive the parse; and the rule handles
// through which callers walk a solution's tree.
//
// The chart and LR engines build the same tree: a node per rule applied
// and a leaf per word, spans in absolute word positions.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "core/krvec.h"
#include "kbstore/krdcat.h"
#include "parse/krawl.h"
#include "parse/krparser.h"

struct tq_solution_rule;

namespace tq {

struct word_list;

inline constexpr int32_t kSolutionLevels = 10;

struct level_pair {
  int32_t sum;
  int32_t count;
};

struct parse_node {
  int32_t cat;             // category index in the parser's compiled grammar
  int32_t rule;            // compiled rule index; -1 for a word
  const cat_entry* entry;  // a word's category entry
  int32_t start;           // word positions, end exclusive
  int32_t end;
  uint32_t child_count;
  parse_node** children;
};

struct parse_solution {
  level_pair levels[kSolutionLevels];
  int32_t level_count;     // pairs in use (never above kSolutionLevels)
  int32_t score;
  parser_rec* parser;      // kind 0, 1 or 2
  parser_runtime* runtime;
  int32_t first;           // the first and the last word it covers
  int32_t last;
  uint32_t own_storage;
  mempool* own_pool;
  parse_node* root;        // kinds 0 and 1
  char root_name[kCategoryNameSize];  // kind 2
  int32_t value;                      // kind 2
};

struct cat_span {
  int32_t found;
  int32_t first;
  int32_t last;
};

// A solution from the runtime's pool, its first `levels` pairs zeroed
// (levels clamped to the pairs it holds).
int32_t parse_solution_create(context* ctx, parser_rec* p, parser_runtime* rt, int32_t first, int32_t last,
                              int32_t levels, parse_solution** out);
void parse_solution_free(void* solution);
// dst gets storage of its own: it outlives the next parse (not its parser).
int32_t parse_solution_copy(context* ctx, const parse_solution* src, parse_solution* dst);
// Adds the level-weighted score over min(levels, the solution's pairs).
void parse_solution_score(context* ctx, parse_solution* s, int32_t levels);
// Fills the level pairs and the word score from the tree, then weighs them.
void parse_solution_score_tree(context* ctx, parse_solution* s, int32_t levels);
int32_t parse_solution_score_get(context* ctx, const parse_solution* s, int32_t* score);
bool parse_solution_list_nonempty(context* ctx, const vec* list);
// The first solution of strictly greatest score above 0; NULL when none.
int32_t parse_solution_best_get(context* ctx, const vec* list, parse_solution** best);
// The shallowest, then leftmost, node of the category (by name).
int32_t parse_solution_cat_span_get(context* ctx, const parse_solution* s, const char* name, cat_span* span);
int32_t parse_solution_text_get(context* ctx, const parse_solution* s, const word_list* words, char* out);

// ---- Rule handles ------------------------------------------------------------------------

using solution_rule = ::tq_solution_rule;

int32_t solrule_from_solution(context* ctx, parse_solution* s, solution_rule** out);
// The surface text of the rule's words, out of kWordTextSize bytes (UTF-8).
int32_t solrule_string_get(context* ctx, const solution_rule* rule, const word_list* words, char* out);

int32_t tqx_solution_rule_free(context* ctx, solution_rule* rule);
int32_t tqx_solution_rule_parent_abbr_get(context* ctx, solution_rule* rule, char* abbr);
int32_t tqx_solution_rule_priority_get(context* ctx, solution_rule* rule, uint32_t* priority);
int32_t tqx_solution_rule_cat_count_get(context* ctx, solution_rule* rule, uint32_t* count);
int32_t tqx_solution_rule_cat_abbr_get(context* ctx, solution_rule* rule, int32_t index, char* abbr);
int32_t tqx_solution_rule_child_rule_count_get(context* ctx, solution_rule* rule, uint32_t* count);
int32_t tqx_solution_rule_child_rule_get(context* ctx, solution_rule* rule, int32_t index, solution_rule** child);

}  // namespace tq

struct tq_solution_rule {
  tq::parse_solution* solution;
  const tq::parse_node* node;  // kinds 0 and 1; NULL for kind 2
};

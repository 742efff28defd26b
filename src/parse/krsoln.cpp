#include "parse/krsoln.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/krenc.h"
#include "kbstore/krfield.h"
#include "resources/krgram.h"
#include "resources/krwlst.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr uint32_t kCopyPoolKb = 20;
constexpr char kNoParent[] = "(None)";

int32_t clamp_levels(int32_t levels) {
  return levels < 0 ? 0 : levels > kSolutionLevels ? kSolutionLevels : levels;
}

// Rule nodes add their priority to their depth's pair; words add ten times
// their likelihood to the score.
void score_node(const compiled_grammar* g, parse_solution* s, const parse_node* n, int32_t depth, int32_t levels) {
  if (n->rule < 0) {
    if (n->entry != nullptr) s->score = saturated_add(s->score, int64_t{10} * n->entry->likelihood);
    return;
  }
  if (depth < levels) {
    s->levels[depth].sum = saturated_add(s->levels[depth].sum, g->rules[n->rule].priority);
    s->levels[depth].count += 1;
  }
  for (uint32_t i = 0; i < n->child_count; ++i) score_node(g, s, n->children[i], depth + 1, levels);
}

const compiled_grammar* grammar_of(const parse_solution* s) {
  return s->parser != nullptr ? s->parser->cg : nullptr;
}

parse_node* node_copy(mempool* pool, const parse_node* src, int32_t* status) {
  auto* n = static_cast<parse_node*>(mempool_alloc(pool, sizeof(parse_node), status));
  if (n == nullptr) return nullptr;
  *n = *src;
  n->children = nullptr;
  if (src->entry != nullptr) {
    auto* e = static_cast<cat_entry*>(mempool_alloc(pool, sizeof(cat_entry), status));
    if (e == nullptr) return nullptr;
    *e = *src->entry;
    n->entry = e;
  }
  if (src->child_count > 0) {
    n->children = static_cast<parse_node**>(mempool_alloc(pool, src->child_count * sizeof(parse_node*), status));
    if (n->children == nullptr) return nullptr;
    for (uint32_t i = 0; i < src->child_count; ++i) {
      n->children[i] = node_copy(pool, src->children[i], status);
      if (n->children[i] == nullptr) return nullptr;
    }
  }
  return n;
}

// The i-th child of a node that is not a word, or NULL.
const parse_node* rule_child(const parse_node* n, int32_t index) {
  int32_t seen = 0;
  for (uint32_t i = 0; i < n->child_count; ++i) {
    if (n->children[i]->rule < 0) continue;
    if (seen++ == index) return n->children[i];
  }
  return nullptr;
}

// The leftmost node of the category at exactly `depth` below n; *deeper
// tells whether the tree goes below that depth.
const parse_node* find_at_depth(const parse_node* n, int32_t cat, int32_t depth, bool* deeper) {
  if (depth == 0) {
    if (n->child_count > 0) *deeper = true;
    return n->cat == cat ? n : nullptr;
  }
  for (uint32_t i = 0; i < n->child_count; ++i) {
    const parse_node* hit = find_at_depth(n->children[i], cat, depth - 1, deeper);
    if (hit != nullptr) return hit;
  }
  return nullptr;
}

uint32_t kind_of(const solution_rule* rule) {
  return rule->solution != nullptr && rule->solution->parser != nullptr ? rule->solution->parser->kind : 99;
}

// Kinds 0 and 1 walk a tree; kind 2 stands for one category over its words.
bool has_tree(const solution_rule* rule) {
  uint32_t k = kind_of(rule);
  return (k == kParserChart || k == kParserLr) && rule->node != nullptr;
}

}  // namespace

int32_t parse_solution_create(context* ctx, parser_rec* p, parser_runtime* rt, int32_t first, int32_t last,
                              int32_t levels, parse_solution** out) {
  (void)ctx;
  *out = nullptr;
  if (p == nullptr || p->kind > kParserOneWord) return -1;
  int32_t status = 0;
  auto* s = static_cast<parse_solution*>(mempool_alloc(rt->pool, sizeof(parse_solution), &status));
  if (s == nullptr) return status != 0 ? status : TQ_ERR_NO_MEMORY;
  std::memset(s, 0, sizeof *s);
  s->parser = p;
  s->runtime = rt;
  s->first = first;
  s->last = last;
  s->level_count = clamp_levels(levels);
  *out = s;
  return 0;
}

void parse_solution_free(void* solution) {
  auto* s = static_cast<parse_solution*>(solution);
  if (s == nullptr) return;
  if (s->own_storage != 0) {
    mempool_free(s->own_pool);
    std::free(s->own_pool);
    s->own_pool = nullptr;
    s->own_storage = 0;
  }
  // Otherwise the tree lives in the runtime's pool, rewound by the next parse.
  s->root = nullptr;
}

int32_t parse_solution_copy(context* ctx, const parse_solution* src, parse_solution* dst) {
  (void)ctx;
  if (src == nullptr || dst == nullptr || src->parser == nullptr || src->parser->kind > kParserOneWord) return -1;
  auto* pool = static_cast<mempool*>(np_calloc(1, sizeof(mempool)));
  if (pool == nullptr) return TQ_ERR_NO_MEMORY;
  int32_t rc = mempool_init(pool, kCopyPoolKb);
  if (rc != 0) {
    std::free(pool);
    return rc;
  }
  mempool_enable_set(pool, 1);
  *dst = *src;
  dst->own_storage = 1;
  dst->own_pool = pool;
  dst->root = nullptr;
  if (src->root != nullptr) {
    int32_t status = 0;
    dst->root = node_copy(pool, src->root, &status);
    if (dst->root == nullptr) {
      mempool_free(pool);
      std::free(pool);
      dst->own_pool = nullptr;
      dst->own_storage = 0;
      return status != 0 ? status : TQ_ERR_NO_MEMORY;
    }
  }
  return 0;
}

void parse_solution_score(context* ctx, parse_solution* s, int32_t levels) {
  (void)ctx;
  const int32_t n = levels < s->level_count ? (levels < 0 ? 0 : levels) : s->level_count;
  const int32_t divisor = n * (n - 1) / 2;
  if (divisor <= 0) return;
  int64_t weighted = 0;
  for (int32_t i = 0; i < n; ++i) {
    const level_pair& lp = s->levels[i];
    const int64_t value = lp.count != 0 ? int64_t{10} * lp.sum / lp.count : 500;
    weighted += static_cast<int64_t>(n - i) * value;
  }
  const int64_t mean = weighted / divisor;
  // Half as much again, cut toward zero; the mean of int32 sums stays far
  // inside int64.
  s->score = saturated_add(s->score, mean * 3 / 2);
}

void parse_solution_score_tree(context* ctx, parse_solution* s, int32_t levels) {
  for (auto& lp : s->levels) lp = {0, 0};
  s->score = 0;
  const int32_t n = levels < s->level_count ? levels : s->level_count;
  if (s->root != nullptr) score_node(grammar_of(s), s, s->root, 0, n);
  parse_solution_score(ctx, s, n);
}

int32_t parse_solution_score_get(context* ctx, const parse_solution* s, int32_t* score) {
  (void)ctx;
  *score = s != nullptr ? s->score : 0;
  return s != nullptr ? 0 : TQ_ERR_ARGUMENT;
}

bool parse_solution_list_nonempty(context* ctx, const vec* list) {
  (void)ctx;
  return list != nullptr && list->count > 0;
}

int32_t parse_solution_best_get(context* ctx, const vec* list, parse_solution** best) {
  (void)ctx;
  *best = nullptr;
  if (list == nullptr) return 0;
  int32_t best_score = 0;
  for (uint32_t i = 0; i < list->count; ++i) {
    auto* s = static_cast<parse_solution*>(list->slots[i]);
    if (s != nullptr && s->score > best_score) {
      best_score = s->score;
      *best = s;
    }
  }
  return 0;
}

int32_t parse_solution_cat_span_get(context* ctx, const parse_solution* s, const char* name, cat_span* span) {
  (void)ctx;
  span->found = 0;
  if (s == nullptr || s->parser == nullptr) return -1;
  switch (s->parser->kind) {
    case kParserChart:
    case kParserLr: {
      // Breadth first, children in order: the shallowest node wins, then
      // the leftmost. Trees are small, so each depth is walked from the
      // root again rather than queued: the search allocates nothing, and
      // a copy that is searched often does not grow.
      const int32_t cat = cg_cat_find(grammar_of(s), name);
      if (cat < 0) return 0;
      for (int32_t depth = 0; s->root != nullptr; ++depth) {
        bool deeper = false;
        const parse_node* hit = find_at_depth(s->root, cat, depth, &deeper);
        if (hit != nullptr) {
          span->found = 1;
          span->first = hit->start;
          span->last = hit->end - 1;
          return 0;
        }
        if (!deeper) break;
      }
      return 0;
    }
    case kParserOneWord:
      if (std::strcmp(s->root_name, name) == 0) {
        span->found = 1;
        span->first = s->first;
        span->last = s->last;
      }
      return 0;
    default:
      return -1;
  }
}

int32_t parse_solution_text_get(context* ctx, const parse_solution* s, const word_list* words, char* out) {
  (void)ctx;
  out[0] = '\0';
  if (s == nullptr || words == nullptr) return TQ_ERR_ARGUMENT;
  wordlist_surface_text(out, words, s->first, s->last + 1);
  return 0;
}

// ---- Rule handles ------------------------------------------------------------------------

int32_t solrule_from_solution(context* ctx, parse_solution* s, solution_rule** out) {
  (void)ctx;
  *out = nullptr;
  if (s == nullptr || s->parser == nullptr || s->parser->kind > kParserOneWord) return -1;
  auto* rule = static_cast<solution_rule*>(np_calloc(1, sizeof(solution_rule)));
  if (rule == nullptr) return TQ_ERR_NO_MEMORY;
  rule->solution = s;
  rule->node = s->parser->kind == kParserOneWord ? nullptr : s->root;
  if (s->parser->kind != kParserOneWord && rule->node == nullptr) {
    std::free(rule);
    return TQ_ERR_INDEX;
  }
  *out = rule;
  return 0;
}

int32_t solrule_string_get(context* ctx, const solution_rule* rule, const word_list* words, char* out) {
  (void)ctx;
  out[0] = '\0';
  if (rule == nullptr || words == nullptr) return TQ_ERR_ARGUMENT;
  if (has_tree(rule)) {
    wordlist_surface_text(out, words, rule->node->start, rule->node->end);
    return 0;
  }
  if (kind_of(rule) != kParserOneWord) return -1;
  wordlist_surface_text(out, words, rule->solution->first, rule->solution->last + 1);
  return 0;
}

int32_t tqx_solution_rule_free(context* ctx, solution_rule* rule) {
  (void)ctx;
  if (kind_of(rule) > kParserOneWord) return -1;
  rule->node = nullptr;
  std::free(rule);
  return 0;
}

int32_t tqx_solution_rule_parent_abbr_get(context* ctx, solution_rule* rule, char* abbr) {
  strio_out_clear(ctx, abbr);
  if (has_tree(rule)) {
    const char* name = cg_cat_name(grammar_of(rule->solution), rule->node->cat);
    int32_t rc = strio_out_sized(ctx, name, abbr, kTextOutSize, kStrioConvert);
    return rc < 0 ? rc : 0;
  }
  if (kind_of(rule) != kParserOneWord) return -1;
  int32_t rc = strio_out_sized(ctx, kNoParent, abbr, kTextOutSize, kStrioConvert);
  return rc < 0 ? rc : 0;
}

int32_t tqx_solution_rule_priority_get(context* ctx, solution_rule* rule, uint32_t* priority) {
  (void)ctx;
  *priority = 0;
  if (has_tree(rule)) {
    if (rule->node->rule < 0) return TQ_ERR_INDEX;
    *priority = static_cast<uint32_t>(grammar_of(rule->solution)->rules[rule->node->rule].priority);
    return 0;
  }
  if (kind_of(rule) != kParserOneWord) return -1;
  *priority = static_cast<uint32_t>(rule->solution->value);
  return 0;
}

int32_t tqx_solution_rule_cat_count_get(context* ctx, solution_rule* rule, uint32_t* count) {
  (void)ctx;
  *count = 0;
  if (has_tree(rule)) {
    if (rule->node->rule >= 0) *count = static_cast<uint32_t>(grammar_of(rule->solution)->rules[rule->node->rule].len);
    return 0;
  }
  if (kind_of(rule) != kParserOneWord) return -1;
  *count = 1;
  return 0;
}

int32_t tqx_solution_rule_cat_abbr_get(context* ctx, solution_rule* rule, int32_t index, char* abbr) {
  strio_out_clear(ctx, abbr);
  const char* name = nullptr;
  if (has_tree(rule)) {
    const compiled_grammar* g = grammar_of(rule->solution);
    if (rule->node->rule < 0) return TQ_ERR_INDEX;
    const cg_rule& r = g->rules[rule->node->rule];
    if (index < 0 || index >= r.len) return TQ_ERR_INDEX;
    name = cg_cat_name(g, cg_rhs(g, r)[index]);
  } else if (kind_of(rule) == kParserOneWord) {
    if (index > 0) return TQ_ERR_INDEX;
    name = rule->solution->root_name;
  } else {
    return -1;
  }
  int32_t rc = strio_out_sized(ctx, name, abbr, kTextOutSize, kStrioConvert);
  return rc < 0 ? rc : 0;
}

int32_t tqx_solution_rule_child_rule_count_get(context* ctx, solution_rule* rule, uint32_t* count) {
  (void)ctx;
  *count = 0;
  if (has_tree(rule)) {
    for (uint32_t i = 0; i < rule->node->child_count; ++i)
      if (rule->node->children[i]->rule >= 0) *count += 1;
    return 0;
  }
  return kind_of(rule) == kParserOneWord ? 0 : -1;
}

int32_t tqx_solution_rule_child_rule_get(context* ctx, solution_rule* rule, int32_t index, solution_rule** child) {
  (void)ctx;
  *child = nullptr;
  if (!has_tree(rule)) return -1;
  // A handle always stands for a node: an index past the rule children is
  // refused rather than answered with a handle its accessors cannot use.
  if (index < 0 || static_cast<uint32_t>(index) >= rule->node->child_count) return TQ_ERR_INDEX;
  const parse_node* node = rule_child(rule->node, index);
  if (node == nullptr) return TQ_ERR_INDEX;
  auto* out = static_cast<solution_rule*>(np_calloc(1, sizeof(solution_rule)));
  if (out == nullptr) return TQ_ERR_NO_MEMORY;
  out->solution = rule->solution;
  out->node = node;
  *child = out;
  return 0;
}

}  // namespace tq

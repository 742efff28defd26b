#include "parse/krlr.h"

#include <algorithm>
#include <new>
#include <vector>

#include "parse/krsoln.h"

namespace tq {

// The automaton. Item set 0 holds the start item (start -> . root); every
// other item set has one kernel item (rule, dot) with dot above 0, numbered
// 1 + the rule's right-side offset + dot - 1, so that advancing a kernel
// item is the next set. A set's closure is that of the category after its
// dot, kept per category: its rules in closure order, and grouped by the
// first category of their right side (the rules a goto on that category
// starts).
struct lr_automaton {
  int32_t set_count;
  std::vector<int32_t> set_rule;   // -1 for set 0
  std::vector<int32_t> set_dot;
  std::vector<int32_t> set_next;   // the category after the dot, -1 when complete
  std::vector<int32_t> set_need;   // fewest words that finish the kernel item
  std::vector<int32_t> first_set;  // per rule: the set of (rule, 1)
  // Per category, [cf_begin[c], cf_begin[c + 1]) of (first category, rule)
  // pairs of its closure, sorted by first category, closure order within.
  std::vector<int32_t> cf_begin;
  std::vector<int32_t> cf_first;
  std::vector<int32_t> cf_rule;
};

namespace {

struct lr_alt {
  const lr_alt* prev;  // the alternative of the item one dot back; NULL at dot 1
  parse_node* child;   // what the category before the dot matched
  lr_alt* next;
};

// A live stack top: an item set at a word position, and the stack top
// whose closure predicted its rule (NULL for the start).
struct lr_node {
  int32_t set;
  int32_t pos;
  const lr_node* origin;
  lr_alt* head;
  lr_alt* tail;
  int32_t alt_count;
  lr_node* next_same_set;
};

struct pending {
  lr_node* node;
  const lr_alt* alt;
};

}  // namespace

struct lr_work {
  std::vector<lr_node*> prev;       // the stack tops of the previous position
  std::vector<lr_node*> cur;        // those of the current one
  std::vector<int32_t> set_stamp;   // the position a set's node list belongs to
  std::vector<lr_node*> set_head;
  std::vector<pending> work;        // complete items still to reduce
  std::vector<parse_node*> accepted;
};

namespace {

struct lr_run {
  const compiled_grammar* g;
  const lr_automaton* a;
  lr_work* w;
  mempool* pool;
  int32_t pos;    // the current position (absolute)
  int32_t end;    // one past the last word
  int32_t limit;
};

template <typename T>
int32_t take(mempool* pool, T** out) {
  int32_t status = 0;
  *out = static_cast<T*>(mempool_alloc(pool, sizeof(T), &status));
  if (*out == nullptr) return status != 0 ? status : TQ_ERR_NO_MEMORY;
  **out = T{};
  return 0;
}

// Adds an alternative to the stack top (set, origin) of the current
// position, made when missing. Items that cannot be finished in the words
// left are not pursued. 102 when the node already holds `limit`.
int32_t add_alt(lr_run& r, int32_t set, const lr_node* origin, const lr_alt* prev, parse_node* child) {
  if (r.a->set_need[set] > r.end - r.pos) return 0;
  lr_node* node = nullptr;
  if (r.w->set_stamp[set] == r.pos) {
    for (lr_node* n = r.w->set_head[set]; n != nullptr; n = n->next_same_set)
      if (n->origin == origin) {
        node = n;
        break;
      }
  } else {
    r.w->set_stamp[set] = r.pos;
    r.w->set_head[set] = nullptr;
  }
  if (node == nullptr) {
    int32_t rc = take(r.pool, &node);
    if (rc != 0) return rc;
    node->set = set;
    node->pos = r.pos;
    node->origin = origin;
    node->next_same_set = r.w->set_head[set];
    r.w->set_head[set] = node;
    r.w->cur.push_back(node);
  }
  if (node->alt_count >= r.limit) return TQ_WARN_LIMIT_REACHED;
  lr_alt* alt = nullptr;
  int32_t rc = take(r.pool, &alt);
  if (rc != 0) return rc;
  alt->prev = prev;
  alt->child = child;
  if (node->tail == nullptr) node->head = alt;
  else node->tail->next = alt;
  node->tail = alt;
  node->alt_count += 1;
  if (r.a->set_next[set] < 0) r.w->work.push_back({node, alt});
  return 0;
}

// The goto on category y (matched by `child`, ending at the current
// position) from stack top o: its kernel item advances with each of its
// alternatives, and the rules of its closure that start with y begin.
int32_t goto_from(lr_run& r, const lr_node* o, int32_t y, parse_node* child) {
  const int32_t x = r.a->set_next[o->set];
  if (x < 0) return 0;
  if (x == y) {
    if (o->set == 0) {
      // The root over words from the first: a solution when it reaches the end.
      if (r.pos == r.end) r.w->accepted.push_back(child);
    } else {
      for (const lr_alt* b = o->head; b != nullptr; b = b->next) {
        int32_t rc = add_alt(r, o->set + 1, o->origin, b, child);
        if (rc != 0) return rc;
      }
    }
  }
  const int32_t lo = r.a->cf_begin[x];
  const int32_t hi = r.a->cf_begin[x + 1];
  const int32_t* f = r.a->cf_first.data();
  int32_t i = static_cast<int32_t>(std::lower_bound(f + lo, f + hi, y) - f);
  for (; i < hi && f[i] == y; ++i) {
    int32_t rc = add_alt(r, r.a->first_set[r.a->cf_rule[i]], o, nullptr, child);
    if (rc != 0) return rc;
  }
  return 0;
}

// Reduces every complete item of the current position, those that the
// reductions themselves complete included.
int32_t reduce_all(lr_run& r) {
  for (size_t i = 0; i < r.w->work.size(); ++i) {
    const pending p = r.w->work[i];
    const int32_t ri = r.a->set_rule[p.node->set];
    const cg_rule& rule = r.g->rules[ri];
    parse_node* n = nullptr;
    int32_t rc = take(r.pool, &n);
    if (rc != 0) return rc;
    int32_t status = 0;
    n->children = static_cast<parse_node**>(mempool_alloc(r.pool, static_cast<uint32_t>(rule.len) * sizeof(parse_node*), &status));
    if (n->children == nullptr) return status != 0 ? status : TQ_ERR_NO_MEMORY;
    n->child_count = static_cast<uint32_t>(rule.len);
    const lr_alt* a = p.alt;
    for (int32_t k = rule.len - 1; k >= 0; --k, a = a->prev) n->children[k] = a->child;
    n->cat = rule.left;
    n->rule = ri;
    n->start = n->children[0]->start;
    n->end = r.pos;
    rc = goto_from(r, p.node->origin, rule.left, n);
    if (rc != 0) return rc;
  }
  r.w->work.clear();
  return 0;
}

}  // namespace

int32_t lr_automaton_build(parser_rec* p) {
  const compiled_grammar* g = p->cg;
  if (g == nullptr) return TQ_ERR_PARSER_UNBOUND;
  auto* a = new (std::nothrow) lr_automaton;
  if (a == nullptr) return TQ_ERR_NO_MEMORY;
  try {
    int32_t rhs_total = 0;
    for (int32_t ri = 0; ri < g->rule_count; ++ri) rhs_total += g->rules[ri].len;
    a->set_count = 1 + rhs_total;
    a->set_rule.assign(static_cast<size_t>(a->set_count), -1);
    a->set_dot.assign(static_cast<size_t>(a->set_count), 0);
    a->set_next.assign(static_cast<size_t>(a->set_count), -1);
    a->set_need.assign(static_cast<size_t>(a->set_count), 0);
    a->first_set.assign(static_cast<size_t>(g->rule_count), 0);
    auto capped = [](int64_t v) { return static_cast<int32_t>(std::min<int64_t>(v, INT32_MAX / 2)); };
    a->set_next[0] = g->root;
    a->set_need[0] = capped(g->cats[g->root].min_len);
    for (int32_t ri = 0; ri < g->rule_count; ++ri) {
      const cg_rule& rule = g->rules[ri];
      a->first_set[ri] = 1 + rule.rhs;
      for (int32_t d = 1; d <= rule.len; ++d) {
        const int32_t s = 1 + rule.rhs + d - 1;
        a->set_rule[s] = ri;
        a->set_dot[s] = d;
        a->set_next[s] = d < rule.len ? cg_rhs(g, rule)[d] : -1;
        int64_t need = 0;
        for (int32_t k = d; k < rule.len; ++k) need += g->cats[cg_rhs(g, rule)[k]].min_len;
        a->set_need[s] = capped(need);
      }
    }
    // Closures, per category: its rules, then those of every syntactic
    // category first met after a dot 0, each category expanded once.
    a->cf_begin.assign(static_cast<size_t>(g->cat_count) + 1, 0);
    std::vector<int32_t> seen(static_cast<size_t>(g->cat_count), -1);
    std::vector<int32_t> queue;
    std::vector<std::pair<int32_t, int32_t>> pairs;
    for (int32_t x = 0; x < g->cat_count; ++x) {
      a->cf_begin[x] = static_cast<int32_t>(a->cf_first.size());
      if (g->cats[x].rule_count == 0) continue;
      pairs.clear();
      queue.assign(1, x);
      seen[x] = x;
      for (size_t qi = 0; qi < queue.size(); ++qi) {
        const cg_cat& c = g->cats[queue[qi]];
        for (int32_t k = 0; k < c.rule_count; ++k) {
          const int32_t ri = c.first_rule + k;
          const int32_t y = cg_rhs(g, g->rules[ri])[0];
          pairs.emplace_back(y, ri);
          if (g->cats[y].rule_count > 0 && seen[y] != x) {
            seen[y] = x;
            queue.push_back(y);
          }
        }
      }
      std::stable_sort(pairs.begin(), pairs.end(),
                       [](const auto& l, const auto& r) { return l.first < r.first; });
      for (const auto& [y, ri] : pairs) {
        a->cf_first.push_back(y);
        a->cf_rule.push_back(ri);
      }
    }
    a->cf_begin[g->cat_count] = static_cast<int32_t>(a->cf_first.size());
  } catch (const std::bad_alloc&) {
    delete a;
    return TQ_ERR_NO_MEMORY;
  }
  lr_automaton_free(p->lr);
  p->lr = a;
  return 0;
}

void lr_automaton_free(lr_automaton* a) { delete a; }

int32_t lr_work_create(lr_work** out) {
  *out = new (std::nothrow) lr_work;
  return *out != nullptr ? 0 : TQ_ERR_NO_MEMORY;
}

void lr_work_free(lr_work* work) { delete work; }

void lr_work_reset(lr_work* work) {
  if (work == nullptr) return;
  work->prev.clear();
  work->cur.clear();
  work->work.clear();
  work->accepted.clear();
}

int32_t lrparse_parse(context* ctx, parser_rec* p, parser_runtime* rt, vec* solutions, const analysed_word_list* words,
                      int32_t first, int32_t last, int32_t limit, int32_t levels) {
  const compiled_grammar* g = p->cg;
  const lr_automaton* a = p->lr;
  lr_work* w = rt->lr;
  if (g == nullptr || a == nullptr || w == nullptr) return TQ_ERR_PARSER_UNBOUND;
  const int32_t n = static_cast<int32_t>(vec_count(words));
  last = std::min(last, n - 1);
  if (first < 0 || first > last + 1) return TQ_ERR_ARGUMENT;
  lr_run r{g, a, w, rt->pool, first, last + 1, limit};
  try {
    w->set_stamp.assign(static_cast<size_t>(a->set_count), -1);
    w->set_head.assign(static_cast<size_t>(a->set_count), nullptr);
    // The start stack top is made per parse: stack tops change as they parse.
    lr_node* start = nullptr;
    int32_t rc = take(r.pool, &start);
    if (rc != 0) return rc;
    start->pos = first;
    w->cur.assign(1, start);
    for (int32_t word = first; word <= last; ++word) {
      std::swap(w->prev, w->cur);
      w->cur.clear();
      r.pos = word + 1;
      // Shift each terminal category of the word once, with its first
      // entry, as the chart engine scans it.
      const vec* entries = awl_word(words, word);
      for (uint32_t e = 0; entries != nullptr && e < entries->count; ++e) {
        auto* entry = static_cast<cat_entry*>(entries->slots[e]);
        if (entry == nullptr || entry->category == nullptr) continue;
        const int32_t x = cg_cat_of_id(g, entry->category->id);
        if (x < 0 || g->cats[x].rule_count > 0) continue;
        bool earlier = false;
        for (uint32_t k = 0; k < e && !earlier; ++k) {
          auto* other = static_cast<cat_entry*>(entries->slots[k]);
          earlier = other != nullptr && other->category != nullptr && other->category->id == entry->category->id;
        }
        if (earlier) continue;
        parse_node* leaf = nullptr;
        rc = take(r.pool, &leaf);
        if (rc != 0) return rc;
        leaf->cat = x;
        leaf->rule = -1;
        leaf->entry = entry;
        leaf->start = word;
        leaf->end = word + 1;
        for (const lr_node* top : w->prev) {
          rc = goto_from(r, top, x, leaf);
          if (rc != 0) return rc;
        }
      }
      rc = reduce_all(r);
      if (rc != 0) return rc;
      if (w->cur.empty()) return TQ_WARN_NO_SOLUTION;
    }
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  for (parse_node* root : w->accepted) {
    parse_solution* sol = nullptr;
    int32_t rc = parse_solution_create(ctx, p, rt, first, last, levels, &sol);
    if (rc != 0) return rc;
    sol->root = root;
    parse_solution_score_tree(ctx, sol, levels);
    if (vec_push(solutions, sol) != 0) return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

}  // namespace tq

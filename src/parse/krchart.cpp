#include "parse/krchart.h"

#include <algorithm>
#include <new>
#include <vector>

#include "parse/krsoln.h"

namespace tq {

namespace {

struct chart_state {
  int32_t left;               // category index
  int32_t rule;               // compiled rule index; -1 for a scanned word
  const cat_entry* entry;     // a scanned word's entry
  int32_t start;
  int32_t end;
  int32_t dot;
  const chart_state* prev;    // the state this one advanced from (NULL at dot 0)
  const chart_state* child;   // the state that matched the category before the dot
  chart_state* next_waiting;  // the next state of its column waiting on the same category
};

}  // namespace

struct chart_work {
  std::vector<std::vector<chart_state*>> columns;
  std::vector<int32_t> predicted;  // per category: the column it was last predicted in
  std::vector<int32_t> scanned;    // per category: the column it was last scanned from
  // Per column and category, the incomplete states waiting on that
  // category, in column order: what a completion visits.
  std::vector<chart_state*> wait_head;
  std::vector<chart_state*> wait_tail;
  // Per word, the grammar's categories it has, as a bit set of the
  // grammar's first_words words.
  std::vector<uint64_t> word_cats;
  int32_t last_n = -1;
};

namespace {

struct chart_run {
  const compiled_grammar* g;
  chart_work* w;
  mempool* pool;
  const analysed_word_list* words;
  int32_t n;
  int32_t limit;
  int32_t cats;
};

bool complete_state(const compiled_grammar* g, const chart_state* s) {
  return s->rule < 0 || s->dot == g->rules[s->rule].len;
}

int32_t state_new(chart_run& r, chart_state** out) {
  int32_t status = 0;
  auto* s = static_cast<chart_state*>(mempool_alloc(r.pool, sizeof(chart_state), &status));
  if (s == nullptr) return status != 0 ? status : TQ_ERR_NO_MEMORY;
  *s = chart_state{};
  *out = s;
  return 0;
}

// Appends to column k; an incomplete state joins the waiters on its next
// category. 102 once the column holds more states than the limit.
int32_t column_add(chart_run& r, int32_t k, chart_state* s, bool check_limit) {
  auto& col = r.w->columns[k];
  col.push_back(s);
  if (!complete_state(r.g, s)) {
    const int32_t next = cg_rhs(r.g, r.g->rules[s->rule])[s->dot];
    const size_t slot = static_cast<size_t>(k) * r.cats + next;
    if (r.w->wait_tail[slot] == nullptr) r.w->wait_head[slot] = s;
    else r.w->wait_tail[slot]->next_waiting = s;
    r.w->wait_tail[slot] = s;
  }
  if (check_limit && static_cast<int64_t>(col.size()) > r.limit) return TQ_WARN_LIMIT_REACHED;
  return 0;
}

int32_t predict(chart_run& r, int32_t x, int32_t k) {
  // Predictions of a category in a column are made once: a second would
  // find every rule of it already there.
  if (r.w->predicted[x] == k) return 0;
  r.w->predicted[x] = k;
  const cg_cat& c = r.g->cats[x];
  const auto words = static_cast<size_t>(r.g->first_words);
  const uint64_t* have = r.w->word_cats.data() + static_cast<size_t>(k) * words;
  for (int32_t i = 0; i < c.rule_count; ++i) {
    const int32_t ri = c.first_rule + i;
    if (r.g->rules[ri].len + k > r.n) continue;  // longer than the words left
    // A rule that cannot begin with any category of the next word would
    // never advance: it is not made at all.
    const uint64_t* can = cg_first(r.g, cg_rhs(r.g, r.g->rules[ri])[0]);
    bool fits = false;
    for (size_t j = 0; j < words && !fits; ++j) fits = (can[j] & have[j]) != 0;
    if (!fits) continue;
    chart_state* s = nullptr;
    int32_t rc = state_new(r, &s);
    if (rc != 0) return rc;
    s->left = x;
    s->rule = ri;
    s->start = k;
    s->end = k;
    rc = column_add(r, k, s, true);
    if (rc != 0) return rc;
  }
  return 0;
}

int32_t scan(chart_run& r, int32_t x, int32_t k) {
  if (k >= r.n || r.w->scanned[x] == k) return 0;
  cat_entry* entry = nullptr;
  (void)morph_word_list_cat_by_id(nullptr, r.words, k, r.g->cats[x].id, &entry);
  if (entry == nullptr) return 0;
  r.w->scanned[x] = k;
  chart_state* s = nullptr;
  int32_t rc = state_new(r, &s);
  if (rc != 0) return rc;
  s->left = x;
  s->rule = -1;
  s->entry = entry;
  s->start = k;
  s->end = k + 1;
  return column_add(r, k + 1, s, false);
}

int32_t complete(chart_run& r, const chart_state* c) {
  const size_t slot = static_cast<size_t>(c->start) * r.cats + c->left;
  for (const chart_state* s = r.w->wait_head[slot]; s != nullptr; s = s->next_waiting) {
    chart_state* t = nullptr;
    int32_t rc = state_new(r, &t);
    if (rc != 0) return rc;
    t->left = s->left;
    t->rule = s->rule;
    t->start = s->start;
    t->end = c->end;
    t->dot = s->dot + 1;
    t->prev = s;
    t->child = c;
    rc = column_add(r, c->end, t, true);
    if (rc != 0) return rc;
  }
  return 0;
}

// The tree of a complete state: a leaf for a word, else a node whose
// children are the states its dot moved over, in order.
int32_t tree_build(chart_run& r, const chart_state* s, parse_node** out) {
  int32_t status = 0;
  auto* n = static_cast<parse_node*>(mempool_alloc(r.pool, sizeof(parse_node), &status));
  if (n == nullptr) return status != 0 ? status : TQ_ERR_NO_MEMORY;
  *n = parse_node{};
  n->cat = s->left;
  n->rule = s->rule;
  n->entry = s->entry;
  n->start = s->start;
  n->end = s->end;
  if (s->rule >= 0 && s->dot > 0) {
    n->child_count = static_cast<uint32_t>(s->dot);
    n->children = static_cast<parse_node**>(mempool_alloc(r.pool, n->child_count * sizeof(parse_node*), &status));
    if (n->children == nullptr) return status != 0 ? status : TQ_ERR_NO_MEMORY;
    const chart_state* at = s;
    for (int32_t i = s->dot - 1; i >= 0; --i, at = at->prev) {
      int32_t rc = tree_build(r, at->child, &n->children[i]);
      if (rc != 0) return rc;
    }
  }
  *out = n;
  return 0;
}

}  // namespace

int32_t chart_work_create(chart_work** out) {
  *out = new (std::nothrow) chart_work;
  return *out != nullptr ? 0 : TQ_ERR_NO_MEMORY;
}

void chart_work_free(chart_work* work) { delete work; }

void chart_work_reset(chart_work* work) {
  if (work == nullptr) return;
  const size_t upto = work->last_n < 0 ? work->columns.size()
                                       : std::min(work->columns.size(), static_cast<size_t>(work->last_n) + 1);
  for (size_t i = 0; i < upto; ++i) work->columns[i].clear();
  work->last_n = -1;
}

int32_t chart_parse(context* ctx, parser_rec* p, parser_runtime* rt, vec* solutions, const analysed_word_list* words,
                    int32_t first, int32_t last, int32_t limit, int32_t levels) {
  const compiled_grammar* g = p->cg;
  chart_work* w = rt->chart;
  if (g == nullptr || w == nullptr) return TQ_ERR_PARSER_UNBOUND;
  const int32_t n = static_cast<int32_t>(vec_count(words));
  const int32_t end_col = std::min(last + 1, n);
  if (first < 0 || first > end_col) return TQ_ERR_ARGUMENT;
  w->last_n = n;
  try {
    if (w->columns.size() < static_cast<size_t>(n) + 1) w->columns.resize(static_cast<size_t>(n) + 1);
    w->predicted.assign(static_cast<size_t>(g->cat_count), -1);
    w->scanned.assign(static_cast<size_t>(g->cat_count), -1);
    const size_t slots = (static_cast<size_t>(n) + 1) * static_cast<size_t>(g->cat_count);
    w->wait_head.assign(slots, nullptr);
    w->wait_tail.assign(slots, nullptr);
    const auto fw = static_cast<size_t>(g->first_words);
    w->word_cats.assign((static_cast<size_t>(n) + 1) * fw, 0);
    for (int32_t k = 0; k < n; ++k) {
      const vec* word = awl_word(words, k);
      uint64_t* bits = w->word_cats.data() + static_cast<size_t>(k) * fw;
      for (uint32_t j = 0; word != nullptr && j < word->count; ++j) {
        const auto* entry = static_cast<const cat_entry*>(word->slots[j]);
        if (entry == nullptr || entry->category == nullptr) continue;
        const int32_t cat = cg_cat_of_id(g, entry->category->id);
        if (cat >= 0) bits[static_cast<size_t>(cat) / 64] |= 1ull << (cat % 64);
      }
    }
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  chart_run r{g, w, rt->pool, words, n, limit, g->cat_count};

  // The start: predicting the root at the first word.
  int32_t rc = 0;
  if (g->cats[g->root].rule_count > 0) {
    // Only a failure stops the parse here; a column already over the
    // limit stops it at the next state added to it.
    rc = predict(r, g->root, first);
    if (rc < 0) return rc;
    rc = 0;
  }
  try {
    for (int32_t k = first; k <= end_col && rc == 0; ++k) {
      auto& col = w->columns[k];
      for (size_t i = 0; i < col.size() && rc == 0; ++i) {
        const chart_state* s = col[i];
        if (complete_state(g, s)) {
          rc = complete(r, s);
          continue;
        }
        const int32_t next = cg_rhs(g, g->rules[s->rule])[s->dot];
        if (g->cats[next].rule_count > 0) rc = predict(r, next, k);
        else rc = scan(r, next, k);
      }
    }
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  if (rc != 0) return rc;

  // Collection: every complete derivation of the root over the range.
  for (const chart_state* s : w->columns[end_col]) {
    if (s->rule < 0 || !complete_state(g, s) || s->start != first || s->left != g->root) continue;
    parse_solution* sol = nullptr;
    rc = parse_solution_create(ctx, p, rt, first, end_col - 1, levels, &sol);
    if (rc != 0) return rc;
    rc = tree_build(r, s, &sol->root);
    if (rc != 0) return rc;
    parse_solution_score_tree(ctx, sol, levels);
    if (vec_push(solutions, sol) != 0) return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

}  // namespace tq

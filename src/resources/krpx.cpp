#include "resources/krpx.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/krerr.h"
#include "core/krtrace.h"
#include "core/krvec.h"
#include "platform/nputf8.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr uint32_t kArrayInitial = 64;

// ---- Arrays ----------------------------------------------------------------------

template <typename T>
bool array_init(px_array<T>* a) {
  a->count = 0;
  a->capacity = kArrayInitial;
  a->items = static_cast<T*>(np_malloc(sizeof(T) * kArrayInitial));
  return a->items != nullptr;
}

template <typename T>
void array_free(px_array<T>* a) {
  std::free(a->items);
  a->items = nullptr;
  a->count = 0;
  a->capacity = 0;
}

// Makes room for n entries; the contents are kept.
template <typename T>
bool array_reserve(px_array<T>* a, uint32_t n) {
  if (n <= a->capacity) return true;
  uint32_t capacity = a->capacity + a->capacity / 2;
  if (capacity < n) capacity = n;
  auto* grown = static_cast<T*>(np_realloc(static_cast<void*>(a->items), sizeof(T) * capacity));
  if (grown == nullptr) return false;
  a->items = grown;
  a->capacity = capacity;
  return true;
}

template <typename T>
inline bool array_push(px_array<T>* a, T value) {
  if (a->count == a->capacity && !array_reserve(a, a->count + 1)) return false;
  a->items[a->count++] = value;
  return true;
}

// ---- Tracing --------------------------------------------------------------------

// A symbol as trace text: the markers by their sign characters.
std::string sym_text(px_sym s) {
  if (s == kPxBow) return "^";
  if (s == kPxEow) return "$";
  if (s == kPxCopy) return ".";
  if (s == kPxWild) return "*";
  char buf[8];
  int32_t n = np_uchar_intcopy(s, buf, sizeof buf - 1);
  if (n <= 0) return "?";
  buf[n] = '\0';
  return buf;
}

std::string rule_text(const px_sym* text) {
  std::string out;
  for (const px_sym* p = text; *p != 0; ++p) out += sym_text(*p);
  return out;
}

// ---- Choosing the preferred match -------------------------------------------

// The nearest earlier rule that ends before the best one's first symbol, or
// -1. Ends never decrease along the list, so the search is a bisection.
int64_t ends_before(const px_rule* const* rules, const px_sym* ends, uint32_t best) {
  int64_t first = static_cast<int64_t>(ends[best]) - static_cast<int64_t>(rules[best]->path_length);
  if (best <= 16) {  // a few rules: looking back is quicker
    int64_t j = static_cast<int64_t>(best) - 1;
    while (j >= 0 && static_cast<int64_t>(ends[j]) > first) --j;
    return j;
  }
  uint32_t lo = 0;
  uint32_t hi = best;  // ends[0..lo) <= first < ends[hi..best)
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    if (static_cast<int64_t>(ends[mid]) <= first) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return static_cast<int64_t>(lo) - 1;
}

// ---- The run -------------------------------------------------------------------

struct run_state {
  context* ctx;
  const px_ruleset* set;
  const px_tables* tables;
  phonetx_work* work;
  uint32_t ws;         // the window: steps ws .. the current one
  uint32_t pins_ws;    // the window start the partial matches were last sorted out for
  uint32_t best;       // the matched rule with the best key, from window_matches
  uint32_t memo_hash;  // of the window being decided
  int64_t budget;      // rewinds left
  int64_t work_left;   // see kPxWorkPerSymbolRule
  uint32_t max;        // bytes of text the output takes
  uint32_t visible;    // symbols on the output that are text (not markers)
  bool spent;          // the work budget ran out
  bool trace;
};

bool out_push(run_state* st, px_sym s) {
  if (!array_push(&st->work->output, s)) return false;
  if (s > 0) st->visible += 1;
  return true;
}

// Once more text symbols went out than the output takes bytes, the result
// is cut whatever follows: the run can stop.
bool output_full(const run_state* st) { return st->visible > st->max; }

std::string steps_text(const phonetx_work* work, uint32_t from, uint32_t to) {
  std::string text;
  for (uint32_t i = from; i < to; ++i) {
    text.push_back('[');
    text.append(sym_text(work->steps.items[i].sym));
    text.push_back(']');
  }
  return text;
}

// Fills the input stack so that popping gives the text with a BOW before
// and an EOW after every word; blanks stay as symbols.
bool input_fill(phonetx_work* work, const px_sym* text, uint32_t n) {
  bool in_blank = true;
  for (uint32_t i = n; i-- > 0;) {
    px_sym c = text[i];
    if (c != ' ' && in_blank) {
      if (!array_push(&work->input, kPxEow)) return false;
      in_blank = false;
    } else if (c == ' ' && !in_blank) {
      if (!array_push(&work->input, kPxBow)) return false;
      in_blank = true;
    }
    if (!array_push(&work->input, c)) return false;
  }
  if (n > 0 && text[0] != ' ' && !array_push(&work->input, kPxBow)) return false;
  return true;
}

// A child that accepted the symbol read at step t: its rule is matched, and
// a partial match waits there when it has children.
inline bool child_take(run_state* st, uint32_t child, uint32_t start) {
  phonetx_work* work = st->work;
  const px_rule* rule = st->tables->rules[child];
  if (rule != nullptr && !array_push(&work->hits, px_hit{rule, start, st->tables->keys[child], work->steps.count})) {
    return false;
  }
  return !st->tables->has_children[child] || array_push(&work->next_pins, px_pin{child, start});
}

// The children of a node that accept s, tested one by one in the order
// they were added: when tracing, which writes every test, and for the
// wildcard.
bool node_scan(run_state* st, const px_check* node, px_sym s, uint32_t start) {
  for (int32_t i = 0; i < node->child_count; ++i) {
    const px_check* child = node->children[i];
    if (st->trace) {
      TQ_TRACE(st->ctx, 0, "Input letter is '%s' (%d)", sym_text(s).c_str(), s);
      TQ_TRACE(st->ctx, 0, "Check type is %d", static_cast<int32_t>(child->type));
      if (child->type == kPxCheckChar) {
        TQ_TRACE(st->ctx, 0, "Checking against state char '%s' (%d)", sym_text(child->code).c_str(), child->code);
      }
    }
    if (!px_check_matches(child, s)) continue;
    if (st->trace && child->rule != nullptr) {
      TQ_TRACE(st->ctx, 0, "Grabbing '%s' (int pos %d)--> '%s'", rule_text(child->rule->pattern).c_str(),
               static_cast<int32_t>(st->work->steps.count - st->ws), rule_text(child->rule->replacement).c_str());
    }
    if (st->trace && child->child_count > 0) TQ_TRACE(st->ctx, 0, "  Positive. Pin '%s'", sym_text(s).c_str());
    if (!child_take(st, child->id, start)) return false;
  }
  return true;
}

// The same through the node's index, for sets too large for the transition
// table: at most one CHAR child accepts a symbol other than the wildcard, so
// only it and the children of other kinds are tested, still in the order
// they were added.
bool node_visit(run_state* st, const px_check* node, px_sym s, uint32_t start) {
  if (st->trace || s == kPxWild || node->char_links == nullptr) return node_scan(st, node, s, start);
  int32_t char_pos = px_char_child(node, s);
  for (uint32_t k = 0; k < node->other_count; ++k) {
    uint32_t p = node->other_positions[k];
    if (char_pos >= 0 && static_cast<uint32_t>(char_pos) < p) {
      if (!child_take(st, node->children[char_pos]->id, start)) return false;
      char_pos = -1;
    }
    const px_check* child = node->children[p];
    if (px_check_matches(child, s) && !child_take(st, child->id, start)) return false;
  }
  return char_pos < 0 || child_take(st, node->children[char_pos]->id, start);
}

// Reads a new symbol as step t: every partial match that starts in the
// window, and a new one at the root, advances over it. The list of partial
// matches is kept newest last, as it grows; they are advanced newest first.
bool step_read(run_state* st, px_sym s) {
  phonetx_work* work = st->work;
  const px_tables* tables = st->tables;
  uint32_t t = work->steps.count;
  uint32_t ws = st->ws;
  // Partial matches that start before the window were dropped with it.
  if (work->pins.count > 0 && st->pins_ws != ws) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < work->pins.count; ++i) {
      if (work->pins.items[i].start >= ws) work->pins.items[kept++] = work->pins.items[i];
    }
    work->pins.count = kept;
  }
  st->pins_ws = ws;
  // Room for the most this step can add, so that the loops below need not
  // check. A node is reached at most once in a step (its depth fixes where
  // the partial match started), so no step adds more than there are nodes.
  uint64_t fan = static_cast<uint64_t>(work->pins.count + 1) * (tables->max_children > 0 ? tables->max_children : 1);
  auto most = static_cast<uint32_t>(fan < tables->node_count ? fan : tables->node_count);
  if (!array_reserve(&work->pins, work->pins.count + 1) || !array_reserve(&work->next_pins, most) ||
      !array_reserve(&work->hits, work->hits.count + most) || !array_reserve(&work->alive, work->alive.count + most) ||
      !array_reserve(&work->steps, t + 1)) {
    return false;
  }
  work->pins.items[work->pins.count++] = px_pin{0, t};
  work->next_pins.count = 0;
  const px_pin* pins = work->pins.items;
  uint32_t hits_from = work->hits.count;
  if (!tables->next.empty() && !st->trace) {
    uint32_t cls = px_class_of(tables, s);
    const uint32_t* next = tables->next.data();
    const uint32_t* lists = tables->lists.data();
    const px_tables::ending* endings = tables->endings.data();
    size_t stride = tables->class_count;
    px_hit* hits = work->hits.items;
    uint32_t nh = work->hits.count;
    px_pin* out = work->next_pins.items;
    uint32_t np = 0;
    for (uint32_t i = work->pins.count; i-- > 0;) {
      uint32_t offset = next[pins[i].node * stride + cls];
      if (offset == 0) continue;
      uint32_t start = pins[i].start;
      const uint32_t* entry = lists + offset + 1;
      for (const uint32_t* last = entry + lists[offset]; entry < last; ++entry) {
        uint32_t child = *entry >> 2;
        if (*entry & 1u) hits[nh++] = px_hit{endings[child].rule, start, endings[child].key, t};
        if (*entry & 2u) out[np++] = px_pin{child, start};
      }
    }
    work->hits.count = nh;
    work->next_pins.count = np;
  } else {
    for (uint32_t i = work->pins.count; i-- > 0;) {
      if (!node_visit(st, tables->nodes[pins[i].node], s, pins[i].start)) return false;
    }
  }
  // The first positions of the partial matches left, and the latest.
  uint32_t top = 0;
  uint32_t* alive = work->alive.items + work->alive.count;
  for (uint32_t i = 0; i < work->next_pins.count; ++i) {
    uint32_t start = work->next_pins.items[i].start;
    alive[i] = start;
    if (start + 1 > top) top = start + 1;
  }
  work->alive.count += work->next_pins.count;
  px_pin* items = work->pins.items;
  uint32_t capacity = work->pins.capacity;
  work->pins.items = work->next_pins.items;
  work->pins.capacity = work->next_pins.capacity;
  work->pins.count = work->next_pins.count;
  work->next_pins.items = items;
  work->next_pins.capacity = capacity;
  work->next_pins.count = 0;
  // The bound counts every partial match left after the step before and
  // every rule matched here, whichever window they start in.
  int64_t before = t > 0 ? work->steps.items[t - 1].bound : 0;
  uint32_t alive_before = t > 0 ? work->steps.items[t - 1].alive - (t > 1 ? work->steps.items[t - 2].alive : 0) : 0;
  int64_t bound = before + 2 + alive_before + (work->hits.count - hits_from);
  work->steps.items[work->steps.count++] = px_step{s, work->hits.count, work->alive.count, top, bound};
  return true;
}

// Partial matches left after step t that start in the window.
inline uint32_t alive_in_window(const run_state* st, uint32_t t) {
  const phonetx_work* work = st->work;
  uint32_t n = 0;
  for (uint32_t i = t > 0 ? work->steps.items[t - 1].alive : 0; i < work->steps.items[t].alive; ++i) {
    n += work->alive.items[i] >= st->ws ? 1 : 0;
  }
  return n;
}

// Whether a partial match that starts in the window is left after step t.
inline bool alive_after(const run_state* st, uint32_t t) { return st->work->steps.items[t].top > st->ws; }

// Rules matched at step t that start in the window.
inline uint32_t hits_in_window(const run_state* st, uint32_t t) {
  const phonetx_work* work = st->work;
  uint32_t from = t > 0 ? work->steps.items[t - 1].hits : 0;
  uint32_t n = 0;
  for (uint32_t i = from; i < work->steps.items[t].hits; ++i) n += work->hits.items[i].start >= st->ws ? 1 : 0;
  return n;
}

// Rules matched in steps ws..t that start in the window.
uint32_t hits_in_range(const run_state* st, uint32_t t) {
  const phonetx_work* work = st->work;
  uint32_t n = 0;
  for (uint32_t i = st->ws > 0 ? work->steps.items[st->ws - 1].hits : 0; i < work->steps.items[t].hits; ++i) {
    n += work->hits.items[i].start >= st->ws ? 1 : 0;
  }
  return n;
}

// The cost of the steps ws..t of the window, with the number of rules
// matched in them: two for each, and the partial matches left after the
// steps before t that start in the window (they are one list).
int64_t scan_cost(const run_state* st, uint32_t t, uint32_t hits) {
  const phonetx_work* work = st->work;
  uint32_t ws = st->ws;
  int64_t cost = 2 * static_cast<int64_t>(t - ws + 1) + hits;
  if (t > ws) {
    const uint32_t* a = work->alive.items;
    for (uint32_t i = ws > 0 ? work->steps.items[ws - 1].alive : 0; i < work->steps.items[t - 1].alive; ++i) {
      cost += a[i] >= ws ? 1 : 0;
    }
  }
  return cost;
}

// Empties the buffer of steps (nothing in it is waiting any longer).
void steps_clear(phonetx_work* work, run_state* st) {
  work->steps.count = 0;
  work->hits.count = 0;
  work->alive.count = 0;
  work->pins.count = 0;
  st->ws = 0;
}

// Sends the symbols read from position `from` on back to the input, to be
// read again in order, and empties the buffer: what follows is no longer
// what was read.
bool unread_from(run_state* st, uint32_t from) {
  phonetx_work* work = st->work;
  for (uint32_t i = work->steps.count; i-- > from;) {
    if (!array_push(&work->input, work->steps.items[i].sym)) return false;
  }
  steps_clear(work, st);
  return true;
}

// When the work budget is spent the run stops applying rules: what was read
// and what is left to read go out unchanged, as far as the output takes them.
bool stop_and_flush(run_state* st) {
  phonetx_work* work = st->work;
  st->spent = true;
  for (uint32_t i = st->ws; i < work->steps.count && !output_full(st); ++i) {
    if (!out_push(st, work->steps.items[i].sym)) return false;
  }
  while (work->input.count > 0 && !output_full(st)) {
    if (!out_push(st, work->input.items[--work->input.count])) return false;
  }
  steps_clear(work, st);
  work->input.count = 0;
  return true;
}

bool matched_contains(const phonetx_work* work, const px_rule* rule) {
  for (uint32_t i = 0; i < work->matched.count; ++i) {
    if (work->matched.items[i] == rule) return true;
  }
  return false;
}

// The symbol a replacement symbol stands for: a copy symbol takes the symbol
// read at start + its index, within the span the rule matched (up to step
// t); outside it there is nothing to copy (false).
bool resolve(const run_state* st, const px_rule* rule, uint32_t start, uint32_t t, uint32_t index, px_sym* out) {
  px_sym s = rule->marked[index];
  if (s != kPxCopy) {
    *out = s;
    return true;
  }
  if (index >= rule->path_length || start + index > t) return false;
  *out = st->work->steps.items[start + index].sym;
  return true;
}

// A window's choice: the rule chosen, the one used (its word-end twin when
// that matched too), and where in the window the chosen rule ends.
struct px_choice {
  const px_rule* chosen;
  const px_rule* used;
  uint32_t end;  // in the window
};

// Chooses among the window's matches (window_matches filled them).
bool choose(run_state* st, px_choice* out) {
  phonetx_work* work = st->work;
  uint32_t n = work->matched.count;
  // Most often the best rule is first, or nothing ends before it starts:
  // it is chosen without the prefix tables.
  uint32_t chosen = st->best;
  if (chosen != 0 && ends_before(work->matched.items, work->ends.items, chosen) >= 0) {
    if (!array_reserve(&work->scratch, 2 * n)) return false;
    chosen = px_preferred_match(work->matched.items, work->keys.items, work->ends.items, n, work->scratch.items);
  }
  const px_rule* m = work->matched.items[chosen];
  out->chosen = m;
  out->used = m->linked != nullptr && matched_contains(work, m->linked) ? m->linked : m;
  out->end = static_cast<uint32_t>(work->ends.items[chosen]);
  if (st->trace) {
    TQ_TRACE(st->ctx, 0, "(0 based) grab with highest priority is %d", static_cast<int32_t>(chosen));
    TQ_TRACE(st->ctx, 0, "Preferred repl: '%s' ending at stack pos %d", rule_text(m->replacement).c_str(),
             work->ends.items[chosen]);
  }
  return true;
}

// Applies the window's choice; the window ends at step t.
bool apply_match(run_state* st, uint32_t t, const px_choice& choice) {
  phonetx_work* work = st->work;
  const px_rule* m = choice.chosen;
  uint32_t end = st->ws + choice.end;
  uint32_t start = end + 1 - m->path_length;
  if (st->trace) TQ_TRACE(st->ctx, 0, "Emit pre: %s", steps_text(work, st->ws, start).c_str());
  for (uint32_t i = st->ws; i < start; ++i) {
    if (!out_push(st, work->steps.items[i].sym)) return false;
  }
  const px_rule* used = choice.used;
  uint32_t keep_from = start + used->replace_length;  // symbols from here are read again
  uint32_t window_start = st->ws;
  bool rewound = false;
  if ((used->flags & kPxFlagRewind) && st->budget > 0) {
    st->budget -= 1;
    rewound = true;
    // The symbols after the match go back first, then the replacement on
    // top of them (its copies take symbols still in the buffer).
    for (uint32_t i = work->steps.count; i-- > keep_from;) {
      if (!array_push(&work->input, work->steps.items[i].sym)) return false;
    }
    for (uint32_t i = used->marked_length; i-- > 0;) {
      px_sym s = 0;
      if (resolve(st, used, start, t, i, &s) && !array_push(&work->input, s)) return false;
    }
    steps_clear(work, st);
    if (st->trace) TQ_TRACE(st->ctx, 0, "Push-back repl: %s", rule_text(used->marked).c_str());
  } else {
    if (!(used->flags & kPxFlagIgnore)) {
      for (uint32_t i = 0; i < used->marked_length; ++i) {
        px_sym s = 0;
        if (resolve(st, used, start, t, i, &s) && !out_push(st, s)) return false;
      }
      if (st->trace) TQ_TRACE(st->ctx, 0, "Emit repl: %s", rule_text(used->marked).c_str());
    }
    if (st->trace && keep_from <= t) {
      TQ_TRACE(st->ctx, 0, "Push-back post: %s", steps_text(work, keep_from, t + 1).c_str());
    }
    if (used->flags & kPxFlagIgnore) {
      if (st->trace) {
        TQ_TRACE(st->ctx, 0, "IGNORE flag set, emit pos %d - %d: ", static_cast<int32_t>(start - window_start),
                 static_cast<int32_t>(keep_from - window_start) - 1);
      }
      for (uint32_t i = start; i < keep_from && i <= t; ++i) {
        if (!out_push(st, work->steps.items[i].sym)) return false;
      }
    }
    // The symbols from keep_from on are not read again: the window starts
    // there and what reading them found is replayed.
    st->ws = keep_from;
  }
  if (used->flags & kPxFlagResetBow) {
    // A match that only replaced the begin-of-word marker opening the window
    // would, with the marker pushed again, start over from the very same
    // input and never end; the marker is then not pushed.
    bool same_again = !rewound && start == window_start && used->replace_length == 1 &&
                      work->steps.items[window_start].sym == kPxBow;
    if (!same_again) {
      if (st->trace) TQ_TRACE(st->ctx, 0, "Pushing BOW onto input stack");
      // The marker is read next, before what follows the match: the
      // buffer no longer holds what will be read.
      if (!rewound && !unread_from(st, keep_from)) return false;
      if (!array_push(&work->input, kPxBow)) return false;
    }
  }
  work->matched.count = 0;
  work->ends.count = 0;
  return true;
}

// Collects the rules matched in the window up to step t, in the order they
// were found, with their window positions. False when out of memory.
bool window_matches(run_state* st, uint32_t t) {
  phonetx_work* work = st->work;
  uint32_t ws = st->ws;
  uint32_t need = work->steps.items[t].hits - (ws > 0 ? work->steps.items[ws - 1].hits : 0);
  if (!array_reserve(&work->matched, need) || !array_reserve(&work->ends, need) || !array_reserve(&work->keys, need)) {
    return false;
  }
  const px_hit* hits = work->hits.items;
  const px_rule** rules = work->matched.items;
  px_sym* ends = work->ends.items;
  uint32_t* keys = work->keys.items;
  uint32_t n = 0;
  // The best rule by key comes along (see px_preferred_match).
  uint32_t best = 0;
  uint32_t best_key = 0;
  for (uint32_t i = ws > 0 ? work->steps.items[ws - 1].hits : 0, to = work->steps.items[t].hits; i < to; ++i) {
    if (hits[i].start < ws) continue;
    uint32_t key = hits[i].key;
    if (n == 0 || (key >> 1) < (best_key >> 1) || ((key >> 1) == (best_key >> 1) && (key & 1u) != 0)) {
      best = n;
      best_key = key;
    }
    rules[n] = hits[i].rule;
    keys[n] = key;
    ends[n] = static_cast<px_sym>(hits[i].end - ws);
    ++n;
  }
  st->best = best;
  work->matched.count = n;
  work->ends.count = n;
  return true;
}

void trace_grab_bag(context* ctx, const phonetx_work* work) {
  TQ_TRACE(ctx, 0, "Grab bag looks like this (# Search Ends Len):");
  for (uint32_t i = 0; i < work->matched.count; ++i) {
    const px_rule* r = work->matched.items[i];
    TQ_TRACE(ctx, 0, "%d: %s %d %d\n", static_cast<int32_t>(i), rule_text(r->pattern).c_str(), work->ends.items[i],
             static_cast<int32_t>(r->path_length));
  }
}

// ---- Windows met before -------------------------------------------------------

uint32_t window_hash(const phonetx_work* work, uint32_t from, uint32_t to) {
  uint32_t h = 2166136261u;
  for (uint32_t i = from; i <= to; ++i) {
    h ^= static_cast<uint32_t>(work->steps.items[i].sym);
    h *= 16777619u;
  }
  return h;
}

// The memo slot of the window ws..t, or NULL when the window is too long to
// keep.
px_memo_entry* memo_slot(run_state* st, uint32_t t) {
  uint32_t length = t + 1 - st->ws;
  if (length > kPxMemoSymbols) return nullptr;
  st->memo_hash = window_hash(st->work, st->ws, t);
  return &st->work->memo[st->memo_hash & st->work->memo_mask & (kPxMemoSlots - 1)];
}

bool memo_matches(const run_state* st, uint32_t t, const px_memo_entry* e) {
  uint32_t length = t + 1 - st->ws;
  if (e->serial != st->tables->serial || e->hash != st->memo_hash || e->length != length) return false;
  for (uint32_t i = 0; i < length; ++i) {
    if (e->syms[i] != st->work->steps.items[st->ws + i].sym) return false;
  }
  return true;
}

void memo_store(const run_state* st, uint32_t t, px_memo_entry* e, const px_choice& choice, int64_t cost) {
  uint32_t length = t + 1 - st->ws;
  e->serial = st->tables->serial;
  e->hash = st->memo_hash;
  e->length = length;
  for (uint32_t i = 0; i < length; ++i) e->syms[i] = st->work->steps.items[st->ws + i].sym;
  e->chosen = choice.chosen;
  e->used = choice.used;
  e->end = choice.end;
  e->cost = cost;
}

// The loop over the input: each step is a symbol read, or one read before
// and replayed. 0, 114 when no rewind budget is left or the work budget was
// spent, -1.
int32_t matching_loop(run_state* st) {
  phonetx_work* work = st->work;
  int64_t symbols = static_cast<int64_t>(work->input.count);
  int64_t rules = st->set->rules_added > 0 ? static_cast<int64_t>(st->set->rules_added) : 1;
  st->budget = 2 * static_cast<int64_t>(st->set->rules_added) * symbols;
  st->work_left = kPxWorkPerSymbolRule * symbols * rules;
  if (st->trace) TQ_TRACE(st->ctx, 0, "Maximum rewinds: %lld", static_cast<long long>(st->budget));
  uint32_t t = 0;  // the step to take next
  bool exact = false;  // their cost is counted step by step
  for (;;) {
    if (st->ws == work->steps.count) {
      steps_clear(work, st);
      t = 0;
    }
    if (t == work->steps.count && work->input.count == 0) break;
    if (output_full(st)) break;
    if (t < work->steps.count && !exact && !st->trace) {
      // Replayed steps that neither end the scan of the window nor could
      // run out the budget are passed over at once.
      const px_step* steps = work->steps.items;
      int64_t limit = (st->ws > 0 ? steps[st->ws - 1].bound : 0) + st->work_left;
      uint32_t end = work->steps.count - (work->input.count == 0 ? 1 : 0);
      while (t < end && steps[t].bound <= limit && steps[t].top > st->ws) ++t;
      if (t == work->steps.count) continue;
    }
    if (t == work->steps.count) {
      px_sym s = work->input.items[--work->input.count];
      if (st->trace) TQ_TRACE(st->ctx, 0, "--Incoming letter-->'%s'", sym_text(s).c_str());
      if (!step_read(st, s)) return -1;
    } else if (st->trace) {
      TQ_TRACE(st->ctx, 0, "--Incoming letter-->'%s'", sym_text(work->steps.items[t].sym).c_str());
    }
    // What taking the step costs: the symbol, the partial matches advanced
    // over it (the new one at the root among them), the rules matched,
    // counting only those that start in the window. Counted exactly when a
    // scan of the window ends; until then a bound from the totals that
    // reading found shows whether the budget could run out on this step.
    if (exact) {
      st->work_left -= 2 + (t > st->ws ? alive_in_window(st, t - 1) : 0) + hits_in_window(st, t);
    } else {
      int64_t bound = work->steps.items[t].bound - (st->ws > 0 ? work->steps.items[st->ws - 1].bound : 0);
      if (st->work_left - bound < 0) {
        st->work_left -= scan_cost(st, t, hits_in_range(st, t));
        exact = true;
      }
    }
    if (st->work_left < 0) {
      if (!stop_and_flush(st)) return -1;
      break;
    }
    bool last = t + 1 == work->steps.count && work->input.count == 0;
    if (last && st->trace && alive_after(st, t)) {
      TQ_TRACE(st->ctx, 0, "End of input string");
      TQ_TRACE(st->ctx, 0, "    Release dangling pin");
    }
    if (!last && alive_after(st, t)) {
      t += 1;
      continue;
    }
    // The choice and the cost of the scan depend only on the symbols of the
    // window: a window met before is looked up.
    px_choice choice{nullptr, nullptr, 0};
    px_memo_entry* memo = nullptr;
    bool known = false;
    if (!exact && !st->trace && work->memo != nullptr) {
      memo = memo_slot(st, t);
      known = memo != nullptr && memo_matches(st, t, memo);
    }
    int64_t cost = 0;
    if (known) {
      choice = {memo->chosen, memo->used, memo->end};
      cost = memo->cost;
    } else {
      if (!window_matches(st, t)) return -1;
      if (!exact) cost = scan_cost(st, t, work->matched.count);
      if (st->trace && work->matched.count > 0) {
        TQ_TRACE(st->ctx, 0, "Grabs exist...int-stack: %s", steps_text(work, st->ws, t + 1).c_str());
        trace_grab_bag(st->ctx, work);
      }
      if (work->matched.count > 0 && !choose(st, &choice)) return -1;
      if (memo != nullptr) memo_store(st, t, memo, choice, cost);
    }
    if (!exact) st->work_left -= cost;
    exact = false;
    if (choice.chosen == nullptr) {
      if (st->trace) TQ_TRACE(st->ctx, 0, "No grabs...Emit int-stack: %s", steps_text(work, st->ws, t + 1).c_str());
      for (uint32_t i = st->ws; i <= t; ++i) {
        if (!out_push(st, work->steps.items[i].sym)) return -1;
      }
      st->ws = t + 1;
      t += 1;
      continue;
    }
    if (!apply_match(st, t, choice)) return -1;
    t = st->ws;  // the steps after the match are taken again (replayed)
    // Rewinds that lengthen the text pile it up on the input; past a bound
    // no output could still take it in.
    if (work->input.count + (work->steps.count - st->ws) > kPxPendingMax) {
      if (!stop_and_flush(st)) return -1;
      break;
    }
  }
  if (st->budget <= 0 || st->spent) {
    TQ_REPORT(st->ctx, TQ_WARN_PHONETICS_REWIND, 1486, st->set->name);
    return TQ_WARN_PHONETICS_REWIND;
  }
  return 0;
}

// Encodes the output as UTF-8 into at most max bytes and the terminator,
// leaving the markers out: 0, or 115 when a symbol did not fit.
int32_t output_encode(context* ctx, const px_ruleset* set, const phonetx_work* work, char* output, uint32_t max) {
  uint32_t used = 0;
  for (uint32_t i = 0; i < work->output.count; ++i) {
    px_sym s = work->output.items[i];
    if (s <= 0) continue;  // markers
    if (s < 0x80 && used < max) {
      output[used++] = static_cast<char>(s);
      continue;
    }
    int32_t n = np_uchar_intcopy(s, output + used, max - used);
    if (n == 0) {
      output[used] = '\0';
      TQ_REPORT(ctx, TQ_WARN_PHONETICS_CUT, 1485, set->name);
      return TQ_WARN_PHONETICS_CUT;
    }
    if (n > 0) used += static_cast<uint32_t>(n);
  }
  output[used] = '\0';
  return 0;
}

}  // namespace

int32_t phonetx_work_create(context* ctx, phonetx_work** out) {
  (void)ctx;
  *out = nullptr;
  auto* work = static_cast<phonetx_work*>(np_calloc(1, sizeof(phonetx_work)));
  if (work == nullptr) return -1;
  if (!array_init(&work->input) || !array_init(&work->output) || !array_init(&work->steps) ||
      !array_init(&work->hits) || !array_init(&work->alive) || !array_init(&work->pins) ||
      !array_init(&work->next_pins) || !array_init(&work->matched) || !array_init(&work->ends) ||
      !array_init(&work->keys) || !array_init(&work->scratch)) {
    phonetx_work_free(ctx, work);
    return -1;
  }
  work->memo_mask = kPxMemoSlots - 1;
  *out = work;
  return 0;
}

void phonetx_work_free(context* ctx, phonetx_work* work) {
  (void)ctx;
  if (work == nullptr) return;
  array_free(&work->input);
  array_free(&work->output);
  array_free(&work->steps);
  array_free(&work->hits);
  array_free(&work->alive);
  array_free(&work->pins);
  array_free(&work->next_pins);
  array_free(&work->matched);
  array_free(&work->ends);
  array_free(&work->keys);
  array_free(&work->scratch);
  big_block_free(work->memo);
  std::free(work);
}

uint32_t px_preferred_match(const px_rule* const* rules, const uint32_t* keys, const px_sym* ends, uint32_t n,
                            uint32_t* scratch) {
  if (n <= 1) return 0;
  // i replaces the best so far, b: a lower order number, or an equal one
  // and i generated.
  auto better = [&](uint32_t i, uint32_t b) {
    return (keys[i] >> 1) < (keys[b] >> 1) || ((keys[i] >> 1) == (keys[b] >> 1) && (keys[i] & 1u) != 0);
  };
  uint32_t best = 0;
  for (uint32_t i = 1; i < n; ++i) {
    if (better(i, best)) best = i;
  }
  // Most often the best rule is first, or nothing ends before it starts.
  if (best == 0 || ends_before(rules, ends, best) < 0) return best;

  // lowest[m]: the rule with the lowest order number among the first m (on
  // equal numbers a generated rule replaces the current best); first_min[m]:
  // the first rule with the lowest number among the first m. Both are folds
  // over the list, so one pass gives every prefix and each choice below
  // takes constant time.
  uint32_t* lowest = scratch;
  uint32_t* first_min = scratch + n;
  lowest[1] = 0;
  first_min[1] = 0;
  // Every choice below looks at rules before the best one only.
  for (uint32_t m = 2; m <= best; ++m) {
    lowest[m] = better(m - 1, lowest[m - 1]) ? m - 1 : lowest[m - 1];
    first_min[m] = (keys[m - 1] >> 1) < (keys[first_min[m - 1]] >> 1) ? m - 1 : first_min[m - 1];
  }
  // Among rules 0..k: k itself unless an earlier one has a strictly lower
  // number (then the first of the lowest).
  auto lowest_up_to = [&](uint32_t k) { return k > 0 && (keys[first_min[k]] >> 1) < (keys[k] >> 1) ? first_min[k] : k; };

  // A choice among rules 0..j nested in the current one hands its result
  // back; `pending` counts the choices waiting for one. The best rule only
  // moves to earlier positions, so the loop ends within about 2n rounds.
  uint32_t pending = 0;
  for (;;) {
    uint32_t result = 0;
    bool decided = true;
    if (best != 0) {
      int64_t j = ends_before(rules, ends, best);
      if (j < 0) {
        result = best;
      } else if (j > 0) {
        pending += 1;
        best = lowest[j + 1];
        decided = false;
      }
    }
    if (!decided) continue;
    bool resumed = false;
    while (pending > 0 && !resumed) {
      pending -= 1;
      if (result != 0) {
        best = lowest_up_to(result);
        resumed = true;
      }
    }
    if (!resumed) return result;
  }
}

int32_t px_run(context* ctx, const px_ruleset* set, phonetx_work* work, const char* input, char* output,
               uint32_t size) {
  if (size > kPxOutputMax) size = kPxOutputMax;
  output[0] = '\0';
  if (input == nullptr || input[0] == '\0') return 0;
  if (set == nullptr || set->state != kPxStateCompiled || set->machine == nullptr || set->machine->tables == nullptr ||
      work == nullptr) {
    return -1;
  }
  // A run always starts from a clean work area, whatever the previous run
  // left behind when it failed.
  work->input.count = 0;
  work->output.count = 0;
  if (work->memo == nullptr) {
    // Made on the first run of a context, kept until it closes.
    work->memo = static_cast<px_memo_entry*>(big_block_alloc(kPxMemoSlots * sizeof(px_memo_entry), true));
  }
  run_state st{ctx, set, set->machine->tables, work, 0, 0, 0, 0, 0, 0, size, 0, false, ctx != nullptr && ctx->trace.on != 0};
  steps_clear(work, &st);
  px_sym text[kPxTextMax + 1];
  uint32_t n = px_decode(input, text, kPxTextMax);
  if (!input_fill(work, text, n)) return -1;
  int32_t rc = matching_loop(&st);
  if (rc < 0) {
    work->input.count = 0;
    work->output.count = 0;
    steps_clear(work, &st);
    return -1;
  }
  int32_t cut = output_encode(ctx, set, work, output, size);
  return cut != 0 ? cut : rc;
}

}  // namespace tq

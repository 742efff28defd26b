#include "resources/px_reference.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/krerr.h"
#include "core/krtrace.h"
#include "platform/nputf8.h"

namespace tq_ref {


namespace {

constexpr uint32_t kStackInitial = 64;
constexpr uint32_t kStackStep = 32;

// ---- Stacks ---------------------------------------------------------------------

template <typename S>
bool stack_init(S* stack) {
  stack->count = 0;
  stack->capacity = kStackInitial;
  stack->items = static_cast<decltype(stack->items)>(std::malloc(sizeof(*stack->items) * kStackInitial));
  return stack->items != nullptr;
}

template <typename S>
void stack_free(S* stack) {
  std::free(stack->items);
  stack->items = nullptr;
  stack->count = 0;
  stack->capacity = 0;
}

// Grows by at least 32 entries, and by half the capacity once the stack is
// large, so that long rewind chains do not copy the stack at every step.
template <typename S, typename T>
bool stack_push(S* stack, T value) {
  if (stack->count == stack->capacity) {
    uint32_t step = stack->capacity / 2 > kStackStep ? stack->capacity / 2 : kStackStep;
    auto* grown = static_cast<decltype(stack->items)>(
        std::realloc(static_cast<void*>(stack->items), sizeof(*stack->items) * (stack->capacity + step)));
    if (grown == nullptr) return false;
    stack->items = grown;
    stack->capacity += step;
  }
  stack->items[stack->count++] = value;
  return true;
}


// ---- Pins -----------------------------------------------------------------------

px_pin* pin_add(px_ref_work* work, const px_check* node) {
  if (work->free_pins == nullptr) {
    auto* block = static_cast<px_pin_block*>(std::calloc(1, sizeof(px_pin_block)));
    if (block == nullptr) return nullptr;
    block->next = work->blocks;
    work->blocks = block;
    for (uint32_t i = 0; i < kPxPinBlock; ++i) {
      block->pins[i].next = work->free_pins;
      work->free_pins = &block->pins[i];
    }
  }
  px_pin* pin = work->free_pins;
  work->free_pins = pin->next;
  pin->node = node;
  pin->next = work->active;
  work->active = pin;
  return pin;
}

void pins_release_list(px_ref_work* work, px_pin* list) {
  while (list != nullptr) {
    px_pin* next = list->next;
    list->node = nullptr;
    list->next = work->free_pins;
    work->free_pins = list;
    list = next;
  }
}

// A run always starts from a clean work area, whatever the previous run
// left behind when it failed.
void work_reset(px_ref_work* work) {
  pins_release_list(work, work->active);
  work->active = nullptr;
  work->input.count = 0;
  work->window.count = 0;
  work->output.count = 0;
  work->matched.count = 0;
  work->ends.count = 0;
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

std::string syms_text(const px_sym* syms, uint32_t from, uint32_t to) {
  std::string text;
  for (uint32_t i = from; i < to; ++i) {
    text.push_back('[');
    text.append(sym_text(syms[i]));
    text.push_back(']');
  }
  return text;
}

std::string rule_text(const px_sym* text) {
  std::string out;
  for (const px_sym* p = text; *p != 0; ++p) out += sym_text(*p);
  return out;
}

void trace_grab_bag(context* ctx, const px_ref_work* work) {
  TQ_TRACE(ctx, 0, "Grab bag looks like this (# Search Ends Len):");
  for (uint32_t i = 0; i < work->matched.count; ++i) {
    const px_rule* r = work->matched.items[i];
    TQ_TRACE(ctx, 0, "%d: %s %d %d\n", static_cast<int32_t>(i), rule_text(r->pattern).c_str(), work->ends.items[i],
             static_cast<int32_t>(r->path_length));
  }
}

// ---- Choosing the preferred match -------------------------------------------


// Lowest order number among the first n rules; on equal numbers a generated
// rule replaces the current best.
uint32_t lowest_order(const px_rule* const* rules, uint32_t n) {
  uint32_t best = 0;
  for (uint32_t i = 1; i < n; ++i) {
    if (rules[i]->order < rules[best]->order || (rules[i]->order == rules[best]->order && rules[i]->generated)) {
      best = i;
    }
  }
  return best;
}

// Lowest order number among rules 0..k, k itself unless one is strictly lower.
uint32_t lowest_order_up_to(const px_rule* const* rules, uint32_t k) {
  uint32_t best = k;
  for (uint32_t i = 0; i < k; ++i) {
    if (rules[i]->order < rules[best]->order) best = i;
  }
  return best;
}

// The nearest earlier rule that ends before the best one's first symbol, or -1.
int64_t ends_before_scan(const px_rule* const* rules, const px_sym* ends, uint32_t best) {
  int64_t first = static_cast<int64_t>(ends[best]) - static_cast<int64_t>(rules[best]->path_length);
  for (int64_t j = static_cast<int64_t>(best) - 1; j >= 0; --j) {
    if (ends[j] <= first) return j;
  }
  return -1;
}

// ---- The matching loop ------------------------------------------------------------

struct run_state {
  context* ctx;
  const px_ruleset* set;
  px_ref_work* work;
  int64_t budget;     // rewinds left
  int64_t work_left;  // see kPxWorkPerSymbolRule
  uint32_t max;       // bytes of text the output takes
  uint32_t visible;   // symbols on the output that are text (not markers)
  bool spent;         // the work budget ran out
  bool trace;
};

bool out_push(run_state* st, px_sym s) {
  if (!stack_push(&st->work->output, s)) return false;
  if (s > 0) st->visible += 1;
  return true;
}

// Once more text symbols went out than the output takes bytes, the result
// is cut whatever follows: the run can stop.
bool output_full(const run_state* st) { return st->visible > st->max; }

// Fills the input stack so that popping gives the text with a BOW before
// and an EOW after every word; blanks stay as symbols.
bool input_fill(px_ref_work* work, const px_sym* text, uint32_t n) {
  bool in_blank = true;
  for (uint32_t i = n; i-- > 0;) {
    px_sym c = text[i];
    if (c != ' ' && in_blank) {
      if (!stack_push(&work->input, kPxEow)) return false;
      in_blank = false;
    } else if (c == ' ' && !in_blank) {
      if (!stack_push(&work->input, kPxBow)) return false;
      in_blank = true;
    }
    if (!stack_push(&work->input, c)) return false;
  }
  if (n > 0 && text[0] != ' ' && !stack_push(&work->input, kPxBow)) return false;
  return true;
}

// The symbol a replacement symbol stands for: a copy symbol takes the window
// symbol at start + its index, within the span the rule matched; outside it
// there is nothing to copy (false).
bool resolve(const px_ref_work* work, const px_rule* rule, uint32_t start, uint32_t index, px_sym* out) {
  px_sym s = rule->marked[index];
  if (s != kPxCopy) {
    *out = s;
    return true;
  }
  if (index >= rule->path_length || start + index >= work->window.count) return false;
  *out = work->window.items[start + index];
  return true;
}

// One child check that accepted s: its rule, if any, is matched at this
// window position, and a pin waits there when the child has children.
bool child_accepts(run_state* st, const px_check* child, px_sym s, uint32_t position) {
  px_ref_work* work = st->work;
  if (child->rule != nullptr) {
    if (st->trace) {
      TQ_TRACE(st->ctx, 0, "Grabbing '%s' (int pos %d)--> '%s'", rule_text(child->rule->pattern).c_str(),
               static_cast<int32_t>(position), rule_text(child->rule->replacement).c_str());
    }
    st->work_left -= 1;
    if (!stack_push(&work->matched, static_cast<const px_rule*>(child->rule)) ||
        !stack_push(&work->ends, static_cast<px_sym>(position))) {
      return false;
    }
  }
  if (child->child_count > 0) {
    if (st->trace) TQ_TRACE(st->ctx, 0, "  Positive. Pin '%s'", sym_text(s).c_str());
    if (pin_add(work, child) == nullptr) return false;
  }
  return true;
}

// Tests every child of a node in order, tracing each test.
bool node_scan(run_state* st, const px_check* node, px_sym s, uint32_t position) {
  for (int32_t i = 0; i < node->child_count; ++i) {
    const px_check* child = node->children[i];
    if (st->trace) {
      TQ_TRACE(st->ctx, 0, "Input letter is '%s' (%d)", sym_text(s).c_str(), s);
      TQ_TRACE(st->ctx, 0, "Check type is %d", static_cast<int32_t>(child->type));
      if (child->type == kPxCheckChar) {
        TQ_TRACE(st->ctx, 0, "Checking against state char '%s' (%d)", sym_text(child->code).c_str(), child->code);
      }
    }
    if (px_check_matches(child, s) && !child_accepts(st, child, s, position)) return false;
  }
  return true;
}

// The same through the node's index: at most one CHAR child can accept a
// symbol other than the wildcard, so only it and the other kinds of checks
// are tested, still in the order the children were added.
bool node_visit(run_state* st, const px_check* node, px_sym s, uint32_t position) {
  if (st->trace || s == kPxWild || node->char_links == nullptr) return node_scan(st, node, s, position);
  int32_t char_pos = px_char_child(node, s);
  for (uint32_t k = 0; k < node->other_count; ++k) {
    uint32_t p = node->other_positions[k];
    if (char_pos >= 0 && static_cast<uint32_t>(char_pos) < p) {
      if (!child_accepts(st, node->children[char_pos], s, position)) return false;
      char_pos = -1;
    }
    const px_check* child = node->children[p];
    if (px_check_matches(child, s) && !child_accepts(st, child, s, position)) return false;
  }
  return char_pos < 0 || child_accepts(st, node->children[char_pos], s, position);
}

// Advances every active pin over s; the pins added here wait for the next symbol.
bool pins_advance(run_state* st, px_sym s, uint32_t position) {
  px_ref_work* work = st->work;
  px_pin* old = work->active;
  work->active = nullptr;
  bool ok = true;
  for (px_pin* pin = old; pin != nullptr && ok; pin = pin->next) {
    st->work_left -= 1;
    ok = node_visit(st, pin->node, s, position);
  }
  pins_release_list(work, old);
  return ok;
}

bool matched_contains(const px_ref_work* work, const px_rule* rule) {
  for (uint32_t i = 0; i < work->matched.count; ++i) {
    if (work->matched.items[i] == rule) return true;
  }
  return false;
}

// Applies the preferred match of the window.
bool apply_match(run_state* st) {
  px_ref_work* work = st->work;
  uint32_t chosen = px_ref_preferred_match(work->matched.items, work->ends.items, work->matched.count);
  const px_rule* m = work->matched.items[chosen];
  uint32_t end = static_cast<uint32_t>(work->ends.items[chosen]);
  uint32_t start = end + 1 - m->path_length;
  if (st->trace) {
    TQ_TRACE(st->ctx, 0, "(0 based) grab with highest priority is %d", static_cast<int32_t>(chosen));
    TQ_TRACE(st->ctx, 0, "Preferred repl: '%s' ending at stack pos %d", rule_text(m->replacement).c_str(),
             static_cast<int32_t>(end));
    TQ_TRACE(st->ctx, 0, "Emit pre: %s", syms_text(work->window.items, 0, start).c_str());
  }
  for (uint32_t i = 0; i < start; ++i) {
    if (!out_push(st, work->window.items[i])) return false;
  }
  const px_rule* used = m;
  if (m->linked != nullptr && matched_contains(work, m->linked)) used = m->linked;
  uint32_t top = work->window.count;
  uint32_t keep_from = start + used->replace_length;  // window symbols from here are read again
  bool rewound = false;
  if ((used->flags & kPxFlagRewind) && st->budget > 0) {
    st->budget -= 1;
    rewound = true;
    for (uint32_t i = top; i-- > keep_from;) {
      if (!stack_push(&work->input, work->window.items[i])) return false;
    }
    for (uint32_t i = used->marked_length; i-- > 0;) {
      px_sym s = 0;
      if (resolve(work, used, start, i, &s) && !stack_push(&work->input, s)) return false;
    }
    if (st->trace) TQ_TRACE(st->ctx, 0, "Push-back repl: %s", rule_text(used->marked).c_str());
  } else {
    if (!(used->flags & kPxFlagIgnore)) {
      for (uint32_t i = 0; i < used->marked_length; ++i) {
        px_sym s = 0;
        if (resolve(work, used, start, i, &s) && !out_push(st, s)) return false;
      }
      if (st->trace) TQ_TRACE(st->ctx, 0, "Emit repl: %s", rule_text(used->marked).c_str());
    }
    if (st->trace && keep_from < top) {
      TQ_TRACE(st->ctx, 0, "Push-back post: %s", syms_text(work->window.items, keep_from, top).c_str());
    }
    for (uint32_t i = top; i-- > keep_from;) {
      if (!stack_push(&work->input, work->window.items[i])) return false;
    }
    if (used->flags & kPxFlagIgnore) {
      if (st->trace) {
        TQ_TRACE(st->ctx, 0, "IGNORE flag set, emit pos %d - %d: ", static_cast<int32_t>(start),
                 static_cast<int32_t>(keep_from) - 1);
      }
      for (uint32_t i = start; i < keep_from && i < top; ++i) {
        if (!out_push(st, work->window.items[i])) return false;
      }
    }
  }
  if (used->flags & kPxFlagResetBow) {
    // A match that only replaced the begin-of-word marker opening the window
    // would, with the marker pushed again, start over from the very same
    // input and never end; the marker is then not pushed.
    bool same_again = !rewound && start == 0 && used->replace_length == 1 && work->window.items[0] == kPxBow;
    if (!same_again) {
      if (st->trace) TQ_TRACE(st->ctx, 0, "Pushing BOW onto input stack");
      if (!stack_push(&work->input, kPxBow)) return false;
    }
  }
  work->window.count = 0;
  work->matched.count = 0;
  work->ends.count = 0;
  return true;
}

// When the work budget is spent the run stops applying rules: what was read
// and what is left to read go out unchanged, as far as the output takes them.
bool stop_and_flush(run_state* st) {
  px_ref_work* work = st->work;
  st->spent = true;
  for (uint32_t i = 0; i < work->window.count && !output_full(st); ++i) {
    if (!out_push(st, work->window.items[i])) return false;
  }
  while (work->input.count > 0 && !output_full(st)) {
    if (!out_push(st, work->input.items[--work->input.count])) return false;
  }
  pins_release_list(work, work->active);
  work->active = nullptr;
  work->window.count = 0;
  work->input.count = 0;
  return true;
}

// The loop over the input stack: 0, 114 when no rewind budget is left or
// the work budget was spent, -1.
int32_t matching_loop(run_state* st) {
  px_ref_work* work = st->work;
  int64_t symbols = static_cast<int64_t>(work->input.count);
  int64_t rules = st->set->rules_added > 0 ? static_cast<int64_t>(st->set->rules_added) : 1;
  st->budget = 2 * static_cast<int64_t>(st->set->rules_added) * symbols;
  st->work_left = kPxWorkPerSymbolRule * symbols * rules;
  if (st->trace) TQ_TRACE(st->ctx, 0, "Maximum rewinds: %lld", static_cast<long long>(st->budget));
  while (work->input.count > 0 && !output_full(st)) {
    px_sym s = work->input.items[--work->input.count];
    if (st->trace) TQ_TRACE(st->ctx, 0, "--Incoming letter-->'%s'", sym_text(s).c_str());
    st->work_left -= 1;
    if (pin_add(work, st->set->machine) == nullptr) return -1;
    if (!stack_push(&work->window, s)) return -1;
    if (!pins_advance(st, s, work->window.count - 1)) return -1;
    if (st->work_left < 0) {
      if (!stop_and_flush(st)) return -1;
      break;
    }
    if (work->input.count == 0 && work->active != nullptr) {
      if (st->trace) TQ_TRACE(st->ctx, 0, "End of input string");
      if (st->trace) TQ_TRACE(st->ctx, 0, "    Release dangling pin");
      pins_release_list(work, work->active);
      work->active = nullptr;
    }
    if (work->active != nullptr) continue;
    if (work->matched.count == 0) {
      if (st->trace) {
        TQ_TRACE(st->ctx, 0, "No grabs...Emit int-stack: %s",
                 syms_text(work->window.items, 0, work->window.count).c_str());
      }
      for (uint32_t i = 0; i < work->window.count; ++i) {
        if (!out_push(st, work->window.items[i])) return -1;
      }
      work->window.count = 0;
      continue;
    }
    if (st->trace) {
      TQ_TRACE(st->ctx, 0, "Grabs exist...int-stack: %s", syms_text(work->window.items, 0, work->window.count).c_str());
      trace_grab_bag(st->ctx, work);
    }
    if (!apply_match(st)) return -1;
    // Rewinds that lengthen the text pile it up on the input; past a bound
    // no output could still take it in.
    if (work->input.count > kPxPendingMax) {
      if (!stop_and_flush(st)) return -1;
      break;
    }
  }
  if (st->budget <= 0 || st->spent) {
    TQ_REPORT(st->ctx, 114, 1486, st->set->name);
    return 114;
  }
  return 0;
}

// Encodes the output stack as UTF-8 into at most max bytes and the
// terminator, leaving the markers out: 0, or 115 when a symbol did not fit.
int32_t output_encode(context* ctx, const px_ruleset* set, const px_ref_work* work, char* output, uint32_t max) {
  uint32_t used = 0;
  for (uint32_t i = 0; i < work->output.count; ++i) {
    px_sym s = work->output.items[i];
    if (s <= 0) continue;  // markers
    int32_t n = np_uchar_intcopy(s, output + used, max - used);
    if (n == 0) {
      output[used] = '\0';
      TQ_REPORT(ctx, 115, 1485, set->name);
      return 115;
    }
    if (n > 0) used += static_cast<uint32_t>(n);
  }
  output[used] = '\0';
  return 0;
}

}  // namespace

int32_t px_ref_work_create(px_ref_work** out) {
  *out = nullptr;
  auto* work = static_cast<px_ref_work*>(std::calloc(1, sizeof(px_ref_work)));
  if (work == nullptr) return -1;
  if (!stack_init(&work->input) || !stack_init(&work->window) || !stack_init(&work->output) ||
      !stack_init(&work->matched) || !stack_init(&work->ends)) {
    px_ref_work_free(work);
    return -1;
  }
  *out = work;
  return 0;
}

void px_ref_work_free(px_ref_work* work) {
  if (work == nullptr) return;
  stack_free(&work->input);
  stack_free(&work->window);
  stack_free(&work->output);
  stack_free(&work->matched);
  stack_free(&work->ends);
  while (work->blocks != nullptr) {
    px_pin_block* next = work->blocks->next;
    std::free(work->blocks);
    work->blocks = next;
  }
  std::free(work);
}

uint32_t px_ref_preferred_match(const px_rule* const* rules, const px_sym* ends, uint32_t n) {
  if (n <= 1) return 0;
  // A choice among rules 0..j nested in the current one hands its result
  // back; `pending` counts the choices waiting for one.
  uint32_t pending = 0;
  uint32_t best = lowest_order(rules, n);
  for (;;) {
    uint32_t result = 0;
    bool decided = true;
    if (best != 0) {
      int64_t j = ends_before_scan(rules, ends, best);
      if (j < 0) {
        result = best;
      } else if (j > 0) {
        pending += 1;
        best = lowest_order(rules, static_cast<uint32_t>(j) + 1);
        decided = false;
      }
    }
    if (!decided) continue;
    bool resumed = false;
    while (pending > 0 && !resumed) {
      pending -= 1;
      if (result != 0) {
        best = lowest_order_up_to(rules, result);
        resumed = true;
      }
    }
    if (!resumed) return result;
  }
}

int32_t px_ref_run(context* ctx, const px_ruleset* set, px_ref_work* work, const char* input, char* output,
               uint32_t size) {
  if (size > kPxOutputMax) size = kPxOutputMax;
  output[0] = '\0';
  if (input == nullptr || input[0] == '\0') return 0;
  if (set == nullptr || set->state != kPxStateCompiled || set->machine == nullptr || work == nullptr) return -1;
  work_reset(work);
  px_sym text[kPxTextMax + 1];
  uint32_t n = px_decode(input, text, kPxTextMax);
  if (!input_fill(work, text, n)) return -1;
  run_state st{ctx, set, work, 0, 0, size, 0, false, ctx != nullptr && ctx->trace.on != 0};
  int32_t rc = matching_loop(&st);
  if (rc < 0) {
    work_reset(work);
    return -1;
  }
  int32_t cut = output_encode(ctx, set, work, output, size);
  return cut != 0 ? cut : rc;
}

}  // namespace tq_ref

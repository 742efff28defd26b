#include "resources/krpxfsm.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <new>

#include "core/krerr.h"
#include "core/krtrace.h"
#include "platform/npmem.h"

namespace tq {

namespace {

// Texts of a rule for messages: at most 1,024 bytes each.
constexpr uint32_t kMessageTextSize = 1025;

struct rule_texts {
  char pattern[kMessageTextSize];
  char replacement[kMessageTextSize];
};

void texts_of(const px_rule* rule, rule_texts* out) {
  px_encode(rule->pattern, out->pattern, sizeof out->pattern);
  px_encode(rule->replacement, out->replacement, sizeof out->replacement);
}

// Reports a pattern syntax error of one rule: -803 with the message.
template <int32_t N>
int32_t syntax_error(context* ctx, const px_ruleset* set, const px_rule* rule, const char* file, uint32_t line) {
  rule_texts texts;
  texts_of(rule, &texts);
  if constexpr (N == 1484) {
    err_report<N>(ctx, TQ_ERR_SYNTAX, file, line, set->name, static_cast<const char*>(texts.pattern),
                  static_cast<const char*>(texts.replacement));
  } else {
    err_report<N>(ctx, TQ_ERR_SYNTAX, file, line, set->name, static_cast<const char*>(texts.pattern));
  }
  return TQ_ERR_SYNTAX;
}

#define PX_SYNTAX(n) syntax_error<n>(ctx, set, rule, __FILE__, __LINE__)

px_check* node_new(uint32_t type) {
  auto* node = static_cast<px_check*>(np_calloc(1, sizeof(px_check)));
  if (node != nullptr) node->type = type;
  return node;
}

void node_free(px_check* node) {
  delete node->tables;
  std::free(node->set);
  std::free(node->children);
  std::free(node->char_links);
  std::free(node->other_positions);
  std::free(node);
}

// Builds the child index of a node and of every node below it. -600.
int32_t index_build(px_check* node) {
  uint32_t n = static_cast<uint32_t>(node->child_count);
  if (n == 0) return 0;
  node->char_links = static_cast<px_char_link*>(np_malloc(sizeof(px_char_link) * n));
  node->other_positions = static_cast<uint32_t*>(np_malloc(sizeof(uint32_t) * n));
  if (node->char_links == nullptr || node->other_positions == nullptr) return TQ_ERR_NO_MEMORY;
  for (uint32_t i = 0; i < n; ++i) {
    const px_check* child = node->children[i];
    if (child->type == kPxCheckChar) {
      node->char_links[node->char_count++] = {child->code, i};
    } else {
      node->other_positions[node->other_count++] = i;
    }
  }
  std::sort(node->char_links, node->char_links + node->char_count,
            [](const px_char_link& a, const px_char_link& b) { return a.code < b.code; });
  for (uint32_t i = 0; i < n; ++i) {
    int32_t rc = index_build(node->children[i]);
    if (rc != 0) return rc;
  }
  return 0;
}

bool same_check(const px_check* a, const px_check* b) {
  if (a->type != b->type) return false;
  switch (a->type) {
    case kPxCheckChar:
      return a->code == b->code;
    case kPxCheckClass:
    case kPxCheckNotClass:
      return a->set_count == b->set_count &&
             (a->set_count == 0 || std::memcmp(a->set, b->set, sizeof(px_sym) * a->set_count) == 0);
    default:
      return true;
  }
}

void trace_found(context* ctx, uint32_t type) {
  if (type == kPxCheckChar) {
    TQ_TRACE(ctx, 0, "Existing check found (CHAR)");
  } else if (type == kPxCheckClass || type == kPxCheckNotClass) {
    TQ_TRACE(ctx, 0, "Existing check found (CLASS/NOTCLASS)");
  } else {
    TQ_TRACE(ctx, 0, "Existing check found (BOW/EOW/ANY)");
  }
}

// The child of `node` equal to `probe`, or a new child made from it (the
// probe's class set then belongs to the child). The probe's set is freed
// when an equal child exists. NULL when out of memory.
px_check* child_find_or_add(context* ctx, px_check* node, px_check* probe) {
  for (int32_t i = 0; i < node->child_count; ++i) {
    px_check* child = node->children[i];
    if (same_check(child, probe)) {
      trace_found(ctx, probe->type);
      std::free(probe->set);
      probe->set = nullptr;
      return child;
    }
  }
  if (static_cast<uint32_t>(node->child_count) == node->child_capacity) {
    uint32_t capacity = node->child_capacity == 0 ? 4 : node->child_capacity * 2;
    auto* grown = static_cast<px_check**>(np_realloc(node->children, sizeof(px_check*) * capacity));
    if (grown == nullptr) return nullptr;
    node->children = grown;
    node->child_capacity = capacity;
  }
  px_check* child = node_new(probe->type);
  if (child == nullptr) return nullptr;
  child->code = probe->code;
  child->set = probe->set;
  child->set_count = probe->set_count;
  probe->set = nullptr;
  node->children[node->child_count++] = child;
  return child;
}

// The class between pattern[open] ("[") and pattern[close] ("]"): a "^"
// right after the "[" makes it a NOTCLASS; inside, "$" stands for EOW and
// "^" for BOW. -600.
int32_t class_make(const px_sym* pattern, uint32_t open, uint32_t close, px_check* probe) {
  uint32_t first = open + 1;
  probe->type = kPxCheckClass;
  if (first < close && pattern[first] == '^') {
    probe->type = kPxCheckNotClass;
    first += 1;
  }
  uint32_t n = close - first;
  probe->set = nullptr;
  probe->set_count = 0;
  if (n == 0) return 0;
  probe->set = static_cast<px_sym*>(np_malloc(sizeof(px_sym) * n));
  if (probe->set == nullptr) return TQ_ERR_NO_MEMORY;
  for (uint32_t i = 0; i < n; ++i) {
    px_sym c = pattern[first + i];
    probe->set[i] = c == '$' ? kPxEow : c == '^' ? kPxBow : c;
  }
  std::sort(probe->set, probe->set + n);
  probe->set_count = static_cast<uint32_t>(std::unique(probe->set, probe->set + n) - probe->set);
  return 0;
}

// Merges one rule's pattern into the tree below the root.
int32_t merge(context* ctx, px_ruleset* set, px_check* root, px_rule* rule) {
  const px_sym* pattern = rule->pattern;
  uint32_t length = px_length(pattern);
  px_check* node = root;
  uint32_t checks = 0;
  bool slash = false;
  uint32_t before_slash = 0;
  for (uint32_t i = 0; i < length; ++i) {
    px_sym c = pattern[i];
    px_check probe{};
    if (c == '\\') {
      // The next character is plain, whatever it is; a backslash at the very
      // end stands for itself.
      probe.type = kPxCheckChar;
      probe.code = i + 1 < length ? pattern[++i] : '\\';
    } else if (c == '^') {
      if (i != 0) return PX_SYNTAX(1482);
      probe.type = kPxCheckBow;
    } else if (c == '$') {
      if (!rule->generated && i + 1 != length) return PX_SYNTAX(1483);
      probe.type = kPxCheckEow;
    } else if (c == '.') {
      probe.type = kPxCheckAny;
    } else if (c == '/') {
      if (i == 0) return PX_SYNTAX(1479);
      if (slash) return PX_SYNTAX(1480);
      slash = true;
      before_slash = checks;
      continue;
    } else if (c == '[') {
      uint32_t close = i + 1;
      while (close < length && pattern[close] != ']') ++close;
      if (close >= length) return PX_SYNTAX(1481);
      if (class_make(pattern, i, close, &probe) != 0) return TQ_ERR_NO_MEMORY;
      i = close;
    } else {
      probe.type = kPxCheckChar;
      probe.code = c;
    }
    px_check* next = child_find_or_add(ctx, node, &probe);
    if (next == nullptr) {
      std::free(probe.set);
      return TQ_ERR_NO_MEMORY;
    }
    node = next;
    checks += 1;
  }
  if (node->rule != nullptr) return PX_SYNTAX(1484);
  node->rule = rule;
  rule->path_length = checks;
  rule->replace_length = slash ? before_slash : checks;
  return 0;
}

bool set_has_blank_rule(const px_ruleset* set) {
  for (uint32_t i = 0; i < set->rule_count; ++i) {
    const px_sym* p = set->rules[i]->pattern;
    if (p[0] == ' ' && p[1] == 0) return true;
  }
  return false;
}

// A twin before every rule that ends a word and does not keep its text.
int32_t twins_add(px_ruleset* set) {
  for (uint32_t i = 0; i < set->rule_count; ++i) {
    px_rule* rule = set->rules[i];
    if (rule->generated || (rule->flags & kPxFlagIgnore) || !px_pattern_ends_word(rule->pattern)) continue;
    px_rule* twin = px_twin_make(rule);
    if (twin == nullptr || px_rules_insert(set, i, twin) != 0) {
      px_rule_free(twin);
      return TQ_ERR_NO_MEMORY;
    }
    rule->linked = twin;
    i += 1;  // past the rule itself
  }
  return 0;
}

}  // namespace

bool px_class_holds(const px_check* check, px_sym s) {
  return std::binary_search(check->set, check->set + check->set_count, s);
}

int32_t px_compile(context* ctx, px_ruleset* set) {
  if (set->state != kPxStateEditable) {
    TQ_REPORT(ctx, -603, 1488, set->name);
    return -603;
  }
  px_rules_drop_generated(set);
  // Compiling puts the rules in priority order, numbers them by it and adds
  // the word-end twins. A set refused (rules that cannot go together) stays
  // editable, and as it was given: its order and insertion numbers are kept
  // aside and put back, the twins taken out again.
  const uint32_t given_count = set->rule_count;
  auto* given = static_cast<px_rule**>(np_malloc(sizeof(px_rule*) * (given_count + 1)));
  auto* given_order = static_cast<uint32_t*>(np_malloc(sizeof(uint32_t) * (given_count + 1)));
  px_check* root = given != nullptr && given_order != nullptr ? node_new(kPxCheckRoot) : nullptr;
  if (root == nullptr) {
    std::free(given);
    std::free(given_order);
    return TQ_ERR_NO_MEMORY;
  }
  for (uint32_t i = 0; i < given_count; ++i) {
    given[i] = set->rules[i];
    given_order[i] = set->rules[i]->order;
  }
  std::sort(set->rules, set->rules + set->rule_count, [](const px_rule* a, const px_rule* b) {
    if (a->priority != b->priority) return a->priority > b->priority;
    return a->order < b->order;
  });
  for (uint32_t i = 0; i < set->rule_count; ++i) set->rules[i]->order = i;

  int32_t rc = set_has_blank_rule(set) ? twins_add(set) : 0;
  for (uint32_t i = 0; rc == 0 && i < set->rule_count; ++i) rc = merge(ctx, set, root, set->rules[i]);
  if (rc == 0) rc = index_build(root);
  if (rc == 0) rc = px_tables_build(root, kPxDenseMax);
  if (rc != 0) {
    px_machine_free(root);
    px_rules_drop_generated(set);
    for (uint32_t i = 0; i < given_count; ++i) {
      set->rules[i] = given[i];
      given[i]->order = given_order[i];
    }
  }
  std::free(given);
  std::free(given_order);
  if (rc != 0) return rc;
  set->machine = root;
  set->state = kPxStateCompiled;
  return 0;
}

void px_reopen(px_ruleset* set) {
  if (set->state != kPxStateCompiled) return;
  px_machine_free(set->machine);
  set->machine = nullptr;
  px_rules_drop_generated(set);
  for (uint32_t i = 0; i < set->rule_count; ++i) set->rules[i]->order = i + 1;
  set->state = kPxStateEditable;
}

namespace {

void tables_fill(px_tables* t, px_check* root, size_t dense_max) {
  // Breadth first, so that the root is 0 and a node's children are near.
  t->nodes.push_back(root);
  for (size_t i = 0; i < t->nodes.size(); ++i) {
    px_check* node = const_cast<px_check*>(t->nodes[i]);
    node->id = static_cast<uint32_t>(i);
    for (int32_t k = 0; k < node->child_count; ++k) t->nodes.push_back(node->children[k]);
  }
  t->node_count = static_cast<uint32_t>(t->nodes.size());
  t->rules.resize(t->node_count);
  t->has_children.resize(t->node_count);
  t->keys.resize(t->node_count);
  t->endings.resize(t->node_count);
  for (uint32_t i = 0; i < t->node_count; ++i) {
    t->rules[i] = t->nodes[i]->rule;
    if (t->rules[i] != nullptr) t->keys[i] = t->rules[i]->order << 1 | (t->rules[i]->generated != 0 ? 1u : 0u);
    t->endings[i] = {t->rules[i], t->keys[i]};
    t->has_children[i] = t->nodes[i]->child_count > 0 ? 1 : 0;
    t->max_children = std::max(t->max_children, static_cast<uint32_t>(t->nodes[i]->child_count));
    const px_check* node = t->nodes[i];
    if (node->type == kPxCheckChar) t->class_syms.push_back(node->code);
    if (node->type == kPxCheckClass || node->type == kPxCheckNotClass) {
      t->class_syms.insert(t->class_syms.end(), node->set, node->set + node->set_count);
    }
  }
  t->class_syms.push_back(kPxBow);
  t->class_syms.push_back(kPxEow);
  std::sort(t->class_syms.begin(), t->class_syms.end());
  t->class_syms.erase(std::unique(t->class_syms.begin(), t->class_syms.end()), t->class_syms.end());
  t->class_count = static_cast<uint32_t>(t->class_syms.size()) + 2;
  for (px_sym s = 0; s < 128; ++s) {
    auto at = std::lower_bound(t->class_syms.begin(), t->class_syms.end(), s);
    t->ascii[s] = at != t->class_syms.end() && *at == s ? static_cast<uint32_t>(at - t->class_syms.begin()) + 1 : 0;
  }

  if (static_cast<size_t>(t->node_count) * t->class_count <= dense_max) {
    // A symbol standing for each class: one no check names (beyond every
    // code point), each named symbol, the wildcard.
    std::vector<px_sym> reps;
    reps.push_back(0x110000);
    reps.insert(reps.end(), t->class_syms.begin(), t->class_syms.end());
    reps.push_back(kPxWild);
    t->next.assign(static_cast<size_t>(t->node_count) * t->class_count, 0);
    t->lists.push_back(0);  // offset 0: no children
    std::vector<uint32_t> list;
    std::vector<std::pair<std::vector<uint32_t>, uint32_t>> seen;  // this node's lists
    for (uint32_t n = 0; n < t->node_count; ++n) {
      const px_check* node = t->nodes[n];
      seen.clear();
      for (uint32_t c = 0; c < t->class_count; ++c) {
        list.clear();
        for (int32_t k = 0; k < node->child_count; ++k) {
          const px_check* child = node->children[k];
          if (!px_check_matches(child, reps[c])) continue;
          list.push_back(child->id << 2 | (child->rule != nullptr ? 1u : 0u) | (child->child_count > 0 ? 2u : 0u));
        }
        if (list.empty()) continue;
        uint32_t offset = 0;
        for (const auto& entry : seen) {
          if (entry.first == list) offset = entry.second;
        }
        if (offset == 0) {
          offset = static_cast<uint32_t>(t->lists.size());
          t->lists.push_back(static_cast<uint32_t>(list.size()));
          t->lists.insert(t->lists.end(), list.begin(), list.end());
          seen.emplace_back(list, offset);
        }
        t->next[static_cast<size_t>(n) * t->class_count + c] = offset;
      }
    }
  }
}

}  // namespace

int32_t px_tables_build(px_check* root, size_t dense_max) {
  delete root->tables;
  root->tables = nullptr;
  auto* t = new (std::nothrow) px_tables;
  if (t == nullptr) return TQ_ERR_NO_MEMORY;
  static std::atomic<uint64_t> serials{0};
  t->serial = ++serials;
  try {
    tables_fill(t, root, dense_max);
  } catch (const std::bad_alloc&) {
    delete t;
    return TQ_ERR_NO_MEMORY;
  }
  root->tables = t;
  return 0;
}

int32_t px_char_child(const px_check* node, px_sym s) {
  const px_char_link* first = node->char_links;
  const px_char_link* last = first + node->char_count;
  const px_char_link* at =
      std::lower_bound(first, last, s, [](const px_char_link& link, px_sym code) { return link.code < code; });
  return at != last && at->code == s ? static_cast<int32_t>(at->position) : -1;
}

void px_machine_free(px_check* root) {
  if (root == nullptr) return;
  for (int32_t i = 0; i < root->child_count; ++i) px_machine_free(root->children[i]);
  node_free(root);
}

}  // namespace tq

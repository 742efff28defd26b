#include "resources/krpxraw.h"

#include <cstdlib>
#include <cstring>

#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krtrace.h"
#include "platform/nputf8.h"
#include "platform/npmem.h"

namespace tq {

namespace {

// The patterns that stand for a blank between words.
constexpr px_sym kBlankForms[][4] = {{' ', 0}, {'\\', ' ', 0}, {'[', ' ', ']', 0}};

px_sym* sym_dup(const px_sym* text, uint32_t length) {
  auto* copy = static_cast<px_sym*>(np_malloc(sizeof(px_sym) * (length + 1)));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text, sizeof(px_sym) * length);
  copy[length] = 0;
  return copy;
}

// Whether the pattern, without a leading "^" and a trailing "$", is one of
// the blank forms as a whole. Only the whole pattern counts: " S" or "\"
// keep their own rules.
bool is_blank_form(const px_sym* pattern, uint32_t length) {
  uint32_t begin = 0;
  uint32_t end = length;
  if (begin < end && pattern[begin] == '^') begin += 1;
  if (begin < end && pattern[end - 1] == '$') end -= 1;
  for (const auto& form : kBlankForms) {
    uint32_t form_length = px_length(form);
    if (end - begin == form_length && std::memcmp(pattern + begin, form, sizeof(px_sym) * form_length) == 0) {
      return true;
    }
  }
  return false;
}

// BOW when the pattern starts with "^", the replacement, EOW when the
// pattern ends a word.
px_sym* marked_make(const px_sym* pattern, const px_sym* replacement, uint32_t* length) {
  uint32_t repl_length = px_length(replacement);
  bool bow = pattern[0] == '^';
  bool eow = px_pattern_ends_word(pattern);
  uint32_t n = repl_length + (bow ? 1 : 0) + (eow ? 1 : 0);
  auto* marked = static_cast<px_sym*>(np_malloc(sizeof(px_sym) * (n + 1)));
  if (marked == nullptr) return nullptr;
  uint32_t at = 0;
  if (bow) marked[at++] = kPxBow;
  std::memcpy(marked + at, replacement, sizeof(px_sym) * repl_length);
  at += repl_length;
  if (eow) marked[at++] = kPxEow;
  marked[at] = 0;
  *length = n;
  return marked;
}

void trace_rule(context* ctx, int32_t priority, uint32_t flags) {
  TQ_TRACE(ctx, 0, "Add rule -- Priority: [%d] flags: [%d]", priority, static_cast<int32_t>(flags));
  if (flags & kPxFlagRewind) TQ_TRACE(ctx, 0, "  rewind flag");
  if (flags & kPxFlagIgnore) TQ_TRACE(ctx, 0, "  ignore flag");
  if (flags & kPxFlagResetBow) TQ_TRACE(ctx, 0, "  reset bow flag");
}

int32_t list_reserve(px_ruleset* set, uint32_t needed) {
  if (needed <= set->rule_capacity) return 0;
  uint32_t capacity = set->rule_capacity < 16 ? 16 : set->rule_capacity * 2;
  while (capacity < needed) capacity *= 2;
  auto* grown = static_cast<px_rule**>(np_realloc(set->rules, sizeof(px_rule*) * capacity));
  if (grown == nullptr) return TQ_ERR_NO_MEMORY;
  set->rules = grown;
  set->rule_capacity = capacity;
  return 0;
}

}  // namespace

void px_ruleset_init(px_ruleset* set, const char* name) {
  set->name = name != nullptr ? name : "";
  set->state = kPxStateEditable;
  set->rules_added = 0;
  set->machine = nullptr;
  set->rules = nullptr;
  set->rule_count = 0;
  set->rule_capacity = 0;
}

uint32_t px_decode(const char* text, px_sym* out, uint32_t max) {
  uint32_t n = 0;
  const char* cursor = text != nullptr ? text : "";
  while (n < max) {
    auto byte = static_cast<unsigned char>(*cursor);
    if (byte != 0 && byte < 0x80) {  // ASCII, most of every text
      out[n++] = byte;
      ++cursor;
      continue;
    }
    int32_t code = 0;
    (void)uchar_get(&cursor, &code);
    if (code == 0) break;
    out[n++] = code;
  }
  out[n] = 0;
  return n;
}

uint32_t px_length(const px_sym* text) {
  uint32_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

uint32_t px_encode(const px_sym* text, char* out, uint32_t size) {
  if (size == 0) return 0;
  uint32_t used = 0;
  for (const px_sym* p = text; *p != 0; ++p) {
    if (*p < 0) continue;
    int32_t n = np_uchar_intcopy(*p, out + used, size - 1 - used);
    if (n == 0) break;
    if (n > 0) used += static_cast<uint32_t>(n);
  }
  out[used] = '\0';
  return used;
}

bool px_pattern_ends_word(const px_sym* pattern) {
  uint32_t length = px_length(pattern);
  if (length == 0 || pattern[length - 1] != '$') return false;
  // An odd run of backslashes before it makes the "$" a plain character.
  uint32_t slashes = 0;
  for (uint32_t i = length - 1; i > 0 && pattern[i - 1] == '\\'; --i) ++slashes;
  return slashes % 2 == 0;
}

int32_t px_rule_intake(context* ctx, px_ruleset* set, const char* pattern_text, const char* replacement_text,
                       int32_t priority, uint32_t flags) {
  if ((flags & kPxFlagRewind) && (flags & kPxFlagIgnore)) {
    TQ_REPORT(ctx, TQ_ERR_NOT_USABLE, 1487, set->name);
    return TQ_ERR_NOT_USABLE;
  }
  px_sym pattern[kPxTextMax + 1];
  px_sym replacement[kPxTextMax + 1];
  uint32_t pattern_length = px_decode(pattern_text, pattern, kPxTextMax);
  uint32_t replacement_length = px_decode(replacement_text, replacement, kPxTextMax);

  // Blank patterns all become " "; the pattern as given is kept for saving.
  px_sym given[kPxTextMax + 1];
  bool replaced = false;
  if (!(pattern_length == 1 && pattern[0] == ' ') &&
      (pattern_length == 0 || is_blank_form(pattern, pattern_length))) {
    std::memcpy(given, pattern, sizeof(px_sym) * (pattern_length + 1));
    replaced = true;
    pattern[0] = ' ';
    pattern[1] = 0;
    pattern_length = 1;
  }
  if (ctx != nullptr && ctx->trace.on) trace_rule(ctx, priority, flags);

  if (list_reserve(set, set->rule_count + 1) != 0) return TQ_ERR_NO_MEMORY;
  auto* rule = static_cast<px_rule*>(np_calloc(1, sizeof(px_rule)));
  if (rule == nullptr) return TQ_ERR_NO_MEMORY;
  rule->pattern = sym_dup(pattern, pattern_length);
  rule->replacement = sym_dup(replacement, replacement_length);
  rule->given_pattern = replaced ? sym_dup(given, px_length(given)) : nullptr;
  rule->marked = rule->pattern != nullptr && rule->replacement != nullptr
                     ? marked_make(rule->pattern, rule->replacement, &rule->marked_length)
                     : nullptr;
  if (rule->pattern == nullptr || rule->replacement == nullptr || rule->marked == nullptr ||
      (replaced && rule->given_pattern == nullptr)) {
    px_rule_free(rule);
    return TQ_ERR_NO_MEMORY;
  }
  rule->priority = priority;
  rule->given_priority = priority;
  rule->flags = flags;
  rule->order = set->rule_count + 1;
  set->rules[set->rule_count++] = rule;
  set->rules_added += 1;
  return 0;
}

px_rule* px_twin_make(const px_rule* rule) {
  auto* twin = static_cast<px_rule*>(np_calloc(1, sizeof(px_rule)));
  if (twin == nullptr) return nullptr;
  uint32_t pattern_length = px_length(rule->pattern);
  twin->pattern = static_cast<px_sym*>(np_malloc(sizeof(px_sym) * (pattern_length + 2)));
  twin->replacement = sym_dup(rule->replacement, px_length(rule->replacement));
  twin->marked = static_cast<px_sym*>(np_malloc(sizeof(px_sym) * (rule->marked_length + 2)));
  if (twin->pattern == nullptr || twin->replacement == nullptr || twin->marked == nullptr) {
    px_rule_free(twin);
    return nullptr;
  }
  std::memcpy(twin->pattern, rule->pattern, sizeof(px_sym) * pattern_length);
  twin->pattern[pattern_length] = ' ';
  twin->pattern[pattern_length + 1] = 0;
  // The word markers stay; each code point of the replacement becomes a copy
  // of the input symbol at its position.
  for (uint32_t i = 0; i < rule->marked_length; ++i) {
    twin->marked[i] = rule->marked[i] >= 0 ? kPxCopy : rule->marked[i];
  }
  twin->marked[rule->marked_length] = kPxWild;
  twin->marked[rule->marked_length + 1] = 0;
  twin->marked_length = rule->marked_length + 1;
  twin->priority = rule->priority;
  twin->given_priority = rule->given_priority;
  twin->order = rule->order;
  twin->flags = rule->flags;
  twin->generated = 1;
  return twin;
}

void px_rule_free(px_rule* rule) {
  if (rule == nullptr) return;
  std::free(rule->pattern);
  std::free(rule->replacement);
  std::free(rule->marked);
  std::free(rule->given_pattern);
  std::free(rule);
}

int32_t px_rules_insert(px_ruleset* set, uint32_t position, px_rule* rule) {
  if (position > set->rule_count) position = set->rule_count;
  if (list_reserve(set, set->rule_count + 1) != 0) return TQ_ERR_NO_MEMORY;
  std::memmove(set->rules + position + 1, set->rules + position, sizeof(px_rule*) * (set->rule_count - position));
  set->rules[position] = rule;
  set->rule_count += 1;
  return 0;
}

void px_rules_drop_generated(px_ruleset* set) {
  uint32_t kept = 0;
  for (uint32_t i = 0; i < set->rule_count; ++i) {
    px_rule* rule = set->rules[i];
    if (rule->generated) {
      px_rule_free(rule);
      continue;
    }
    rule->linked = nullptr;
    set->rules[kept++] = rule;
  }
  set->rule_count = kept;
}

void px_rules_free(px_ruleset* set) {
  for (uint32_t i = 0; i < set->rule_count; ++i) px_rule_free(set->rules[i]);
  std::free(set->rules);
  set->rules = nullptr;
  set->rule_count = 0;
  set->rule_capacity = 0;
}

}  // namespace tq

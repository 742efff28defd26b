// Phonetics rule records: the symbols the phonetics engine works on, one
// rewrite rule (pattern, replacement, priority, flags) and the rule list of a
// rule set. Rule intake turns a rule's UTF-8 texts into 32-bit symbols,
// normalises blank patterns and builds the replacement with its word markers.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

namespace tq {

struct px_check;

// A symbol: a Unicode code point or one of the markers below. The markers
// are negative as signed values, so they sort before every code point.
using px_sym = int32_t;

inline constexpr px_sym kPxBow = static_cast<px_sym>(0x8000005Eu);   // begin of word
inline constexpr px_sym kPxEow = static_cast<px_sym>(0x80000024u);   // end of word
inline constexpr px_sym kPxCopy = static_cast<px_sym>(0x8000002Eu);  // the input symbol at this position
inline constexpr px_sym kPxWild = static_cast<px_sym>(0xF0000000u);  // input symbol matching every check

// Rule flags.
inline constexpr uint32_t kPxFlagResetBow = 0x1;  // read a begin-of-word marker next
inline constexpr uint32_t kPxFlagRewind = 0x2;    // feed the replacement back as input
inline constexpr uint32_t kPxFlagIgnore = 0x4;    // keep the matched text unchanged

// Rule-set states.
inline constexpr uint32_t kPxStateEditable = 0xFEED;
inline constexpr uint32_t kPxStateCompiled = 0xE8B4;

// Code points kept of a pattern, a replacement or an input text.
inline constexpr uint32_t kPxTextMax = 257;

struct px_rule {
  px_sym* pattern;        // zero-terminated code points, as normalised by intake
  px_sym* replacement;    // zero-terminated code points
  px_sym* marked;         // BOW (pattern starts with "^"), replacement, EOW (pattern ends with "$")
  uint32_t marked_length;
  int32_t priority;
  uint32_t order;         // 1-based insertion number; the 0-based list position once compiled
  uint32_t flags;
  uint32_t path_length;     // checks of the pattern (set by compiling)
  uint32_t replace_length;  // checks before the "/" (the path length without one)
  uint32_t generated;       // 1 for a word-end twin made by compiling
  px_sym* given_pattern;    // the pattern as given when intake replaced it by " ", else NULL
  int32_t given_priority;
  px_rule* linked;          // this rule's word-end twin, else NULL
};

// The engine's part of a rule set: its state, its rules and its machine.
struct px_ruleset {
  const char* name;       // for messages; not owned
  uint32_t state;         // kPxStateEditable or kPxStateCompiled
  uint32_t rules_added;   // rules taken in by intake; sets the rewind budget
  px_check* machine;      // root of the check tree once compiled, else NULL
  px_rule** rules;        // in the order added; priority order once compiled
  uint32_t rule_count;
  uint32_t rule_capacity;
};

// An empty editable set (no rules, no machine).
void px_ruleset_init(px_ruleset* set, const char* name);

// Decodes UTF-8 into at most `max` code points (the rest is ignored) and
// terminates them: out holds max + 1 symbols. An undecodable byte becomes
// '?'. Returns the number of code points.
uint32_t px_decode(const char* text, px_sym* out, uint32_t max);
// Number of symbols before the terminator.
uint32_t px_length(const px_sym* text);
// Encodes code points as UTF-8 into out (size bytes), whole characters only,
// always terminated when size >= 1; markers are left out. Returns the bytes
// written.
uint32_t px_encode(const px_sym* text, char* out, uint32_t size);

// Whether a pattern ends with an unescaped "$" (the rule then applies at the
// end of a word).
bool px_pattern_ends_word(const px_sym* pattern);

// Takes one rule into the set (appended to the rule list): 0; -705 (message
// 1487) for rewind together with ignore; -600.
int32_t px_rule_intake(context* ctx, px_ruleset* set, const char* pattern, const char* replacement,
                       int32_t priority, uint32_t flags);

// The word-end twin of a rule: its pattern followed by a blank, the same
// replacement, priority, order and flags, generated; its marked replacement
// copies the input in place of every code point and ends in a wildcard.
// NULL when out of memory.
px_rule* px_twin_make(const px_rule* rule);

void px_rule_free(px_rule* rule);
// Inserts a rule at a position of the list (0..count); -600.
int32_t px_rules_insert(px_ruleset* set, uint32_t position, px_rule* rule);
// Removes and frees the rules compiling generated; clears every link.
void px_rules_drop_generated(px_ruleset* set);
// Frees every rule and the list.
void px_rules_free(px_ruleset* set);

}  // namespace tq

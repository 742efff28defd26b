// Chopping rules: an ordered list of rules a chopper applies besides its
// character table. The rules pass walks a value from left to right; at each
// position the first rule whose prerequisite expression holds over the
// current flags and whose method (an anchored regular expression, or the
// longest word of a vocabulary) matches there fires: it marks a word start
// before and/or after the match, replaces the flags with its output flags,
// and the pass goes on after the match. So units such as "Mc" or "NEW YORK"
// can be cut out as words of their own.
//
// Flags are named (see krprex.h for names and prerequisite expressions); a
// chopper numbers its flag names 0..255. A name lives as long as something
// uses its id: an initial flag, a rule's output flags or a rule's
// prerequisite. The rules pass itself is the chopping engine's (krchop).
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "core/krhash.h"
#include "core/krvec.h"
#include "kbstore/krlock.h"
#include "resources/krprex.h"
#include "resources/krregx.h"

struct tq_xmldoc;

namespace tq {

using xmldoc = ::tq_xmldoc;

// Rule methods.
inline constexpr uint32_t kRuleMethodRegex = 0;
inline constexpr uint32_t kRuleMethodVocab = 1;
// Option bits: a word starts before the match, after the match.
inline constexpr uint32_t kRuleBoundaryBefore = 0x1;
inline constexpr uint32_t kRuleBoundaryAfter = 0x2;
// Error bits: the vocabulary could not be had; the category is not in it.
inline constexpr uint32_t kRuleErrVocab = 0x1;
inline constexpr uint32_t kRuleErrCategory = 0x2;

struct chopper_rule {
  uint32_t id;
  uint32_t method;
  regexlib_element regex;  // method 0
  int32_t vocab;           // method 1: registry index holding a reference, or -1
  int32_t category;        // index among the vocabulary's categories; -1 any (or unset)
  // The vocabulary and category names as given, kept so that a saved chopper
  // names them again even when they could not be had (NULL: none given).
  char* vocab_name;
  char* category_name;
  char* prereq;  // the expression text, "" for none
  prereq_element* postfix;
  uint32_t postfix_count;
  uint8_t output_flags[kFlagCount];
  uint32_t options;
  char* notes;  // NULL for none
  uint32_t errors;
};

struct chopper_rules {
  uint32_t use_rules;
  uint8_t initial_flags[kFlagCount];
  uint8_t flag_free[kFlagCount];  // 1 = id free
  hash_table flag_ids;            // name -> id
  char* flag_names[kFlagCount];   // id -> name (owned), NULL when free
  vec rules;                      // chopper_rule*, in list order
  uint32_t next_rule_id;
};

// ---- The rules part of a chopper ---------------------------------------------------

// "Use Rules" 0, no flags, no names, no rules, next rule id 0. -600.
int32_t chopper_rules_init(chopper_rules* rules);
// Frees every rule (its vocabulary reference given back) and the names.
void chopper_rules_free(context* ctx, chopper_rules* rules);

// The rule with that id, or NULL.
chopper_rule* chopper_rule_find(const chopper_rules* rules, uint32_t id);
// The rule at position i of the list (i below the rule count).
chopper_rule* chopper_rule_at(const chopper_rules* rules, uint32_t i);
// Replaces an owned text of a rule with a copy (NULL for NULL). -600.
int32_t chopper_rule_text_replace(char** slot, const char* text);

// The id of a flag name, making it when new (the lowest free id; -601 with
// message 1476 when all 256 are taken). `chopper` names the chopper in
// messages (NULL: "[none]").
int32_t chopper_flag_id_get_or_create(context* ctx, const char* chopper, chopper_rules* rules, const char* name,
                                      uint32_t* id);
// The id of a registered name: 0, or -1 when not registered.
int32_t chopper_flag_id_find(const chopper_rules* rules, const char* name, uint32_t* id);
// Frees the names no initial flag, output flag or prerequisite uses.
void chopper_flag_names_sweep(chopper_rules* rules);
// 1 when the name holds none of blank, tab, '!', '&', '(', ')', ',' and '|'.
uint32_t chopper_flag_name_valid(const char* name);

// ---- Prerequisites over a chopper's flags ----------------------------------------

// Compiles a checked expression (prereq_compile) with the chopper's flag
// names, making ids for new names. `chopper` names the chopper in messages.
int32_t chopper_prereq_compile(context* ctx, const char* chopper, chopper_rules* rules, const char* expr,
                               prereq_element** out, uint32_t* count);

// ---- Rules ------------------------------------------------------------------------------

// Adds a rule: method 0 with `regex`, or method 1 with `vocab` and
// `category` (NULL for any category; a name, an empty one too, is looked
// up); then prerequisite, output flags, options and notes. A vocabulary or
// category that cannot be had leaves the rule with error bits (recorded
// with message 1549 or 1550) and the add succeeds with the warning 105;
// any other failure (-803 for a bad pattern, prerequisite or flags text,
// -601, -600) adds nothing. *id (may be NULL) receives the new rule's id.
// `chopper` names the chopper in messages; `lock` is the handle it was
// loaded for editing with (or NULL), which loads the vocabulary too.
int32_t chopper_rule_add(context* ctx, const char* chopper, lock_handle* lock, chopper_rules* rules, uint32_t method,
                         const char* regex, const char* vocab, const char* category, const char* prereq,
                         const char* flags, uint32_t options, const char* notes, uint32_t* id);
// Frees one rule and gives its vocabulary reference back.
void chopper_rule_free(context* ctx, chopper_rule* rule);
// Parses an output-flags text into the 256 bytes (cleared first). -803 with
// message 1475 for a character out of place.
int32_t chopper_output_flags_parse(context* ctx, const char* chopper, chopper_rules* rules, const char* text,
                                   uint8_t* out);
// Replaces the rule's vocabulary (a reference to a different one is given
// back) and looks its category up again. A vocabulary or category that
// cannot be had leaves the rule with error bits, its failure recorded, and
// gives 105; -600 for a lack of memory.
int32_t chopper_rule_vocab_assign(context* ctx, const char* chopper, lock_handle* lock, chopper_rule* rule,
                                  const char* vocab);
// Looks a category up in the rule's vocabulary (NULL or "": any category).
// On failure the rule gets error bit 2 and the failure is returned.
int32_t chopper_rule_category_assign(context* ctx, const char* chopper, chopper_rule* rule, const char* category);
// The index of a category among the rule's vocabulary's (names are stored
// uppercased). -802 when absent; the vocabulary's failure when it cannot be
// had. Failures are recorded with message 1550.
int32_t chopper_rule_category_lookup(context* ctx, const char* chopper, const chopper_rule* rule, const char* name,
                                     int32_t* index);
// Drops the rule's method data: the compiled pattern, or the vocabulary
// reference and the names.
void chopper_rule_method_clear(context* ctx, chopper_rule* rule);

// ---- Document part ---------------------------------------------------------------------

// Adds "Use Rules" and the included "Chopping Rules" document.
int32_t chopper_rules_write(context* ctx, const chopper_rules* rules, xmldoc* doc);
// Reads the rules part into initialised rules (`chopper` and `lock` as for
// chopper_rule_add); the document lacking it leaves "Use Rules" 0.
int32_t chopper_rules_read(context* ctx, const xmldoc* doc, const char* chopper, lock_handle* lock,
                           chopper_rules* rules);

}  // namespace tq

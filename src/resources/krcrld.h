// Chopping rules: an ordered list of rules a chopper applies besides its
// character table. The rules pass walks a value from left to right; at each
// position the first rule whose prerequisite expression holds over the
// current flags and whose method (an anchored regular expression, or the
// longest word of a vocabulary) matches there fires: it marks a word start
// before and/or after the match, replaces the flags with its output flags,
// and the pass goes on after the match. So units such as "Mc" or "NEW YORK"
// can be cut out as words of their own.
//
// Flags are named (at most 128 bytes, none of the characters blank, tab,
// '!', '&', '(', ')', ',' and '|'); a chopper numbers its flag names 0..255.
// A name lives as long as something uses its id: an initial flag, a rule's
// output flags or a rule's prerequisite.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "core/krhash.h"
#include "core/krvec.h"
#include "resources/krregx.h"

struct tq_xmldoc;
struct tq_chop_info;

namespace tq {

using xmldoc = ::tq_xmldoc;
struct chopper_rec;

inline constexpr uint32_t kFlagCount = 256;
inline constexpr uint32_t kFlagNameSize = 129;  // 128 bytes and the terminator
inline constexpr uint32_t kEvalStackSize = 32;
inline constexpr uint32_t kOperatorStackSize = 31;

// Rule methods.
inline constexpr uint32_t kRuleMethodRegex = 0;
inline constexpr uint32_t kRuleMethodVocab = 1;
// Option bits: a word starts before the match, after the match.
inline constexpr uint32_t kRuleBoundaryBefore = 0x1;
inline constexpr uint32_t kRuleBoundaryAfter = 0x2;
// Error bits: the vocabulary could not be had; the category is not in it.
inline constexpr uint32_t kRuleErrVocab = 0x1;
inline constexpr uint32_t kRuleErrCategory = 0x2;

// Postfix element types of a compiled prerequisite.
inline constexpr uint32_t kPostAnd = 1;
inline constexpr uint32_t kPostOr = 2;
inline constexpr uint32_t kPostNot = 3;
inline constexpr uint32_t kPostFlag = 6;

struct prereq_element {
  uint32_t type;
  int32_t flag;  // the flag id of an operand, -1 for operators
};

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

// ---- Prerequisite expressions ---------------------------------------------------

// Syntax check. With record 1 a failure records -803 with message 754
// (unbalanced ')'), 755 (unclosed '('), 756 (',') or 757 (token not allowed
// here) and the 1-based byte position; with record 0 nothing is recorded.
int32_t prereq_syntax_check(context* ctx, const char* expr, uint32_t record);
// Compiles a checked expression into postfix (heap array, NULL for an empty
// expression), making flag ids for new names. -601 when operators nest
// deeper than the operator stack; flag-id failures pass through.
int32_t prereq_compile(context* ctx, const char* chopper, chopper_rules* rules, const char* expr,
                       prereq_element** out, uint32_t* count);
// Evaluates postfix over the flag state with the given stack: *holds 1 or 0.
// -601 when the stack overflows, -602 when an operator lacks operands, -603
// for a malformed list.
int32_t prereq_evaluate(const prereq_element* postfix, uint32_t count, const uint8_t* flags, uint32_t* stack,
                        uint32_t* holds);

// ---- Rules ------------------------------------------------------------------------------

// Adds a rule: method 0 with `regex`, or method 1 with `vocab` and
// `category` (NULL or "" for any category); then prerequisite, output
// flags, options and notes. A vocabulary or category that cannot be had
// leaves the rule with error bits (recorded with message 1549 or 1550) and
// the add succeeds; any other failure (-803 for a bad pattern,
// prerequisite or flags text, -601, -600) adds nothing. *id (may be NULL)
// receives the new rule's id.
int32_t chopper_rule_add(context* ctx, chopper_rec* chopper, uint32_t method, const char* regex, const char* vocab,
                         const char* category, const char* prereq, const char* flags, uint32_t options,
                         const char* notes, uint32_t* id);
// Frees one rule and gives its vocabulary reference back.
void chopper_rule_free(context* ctx, chopper_rule* rule);
// Parses an output-flags text into the 256 bytes (cleared first). -803 with
// message 1475 for a character out of place.
int32_t chopper_output_flags_parse(context* ctx, const char* chopper, chopper_rules* rules, const char* text,
                                   uint8_t* out);
// Replaces the rule's vocabulary (a reference to a different one is given
// back) and looks its category up again. On failure the rule keeps error
// bits and the failure is returned.
int32_t chopper_rule_vocab_assign(context* ctx, chopper_rec* chopper, chopper_rule* rule, const char* vocab);
// Looks a category up in the rule's vocabulary (NULL or "": any category).
// On failure the rule gets error bit 2 and the failure is returned.
int32_t chopper_rule_category_assign(context* ctx, chopper_rec* chopper, chopper_rule* rule, const char* category);
// Drops the rule's method data: the compiled pattern, or the vocabulary
// reference and the names.
void chopper_rule_method_clear(context* ctx, chopper_rule* rule);

// ---- The rules pass ------------------------------------------------------------------

// Marks word starts (code 0) in `codes` (prepared by the engine) where rules
// fire over the UTF-8 value of `length` bytes; with info, records the rule's
// id as the source at those positions. `stack` is the evaluation stack of the
// context's chop work area. Failures of an evaluation, a vocabulary or a
// match end the pass with their code.
int32_t chopper_rules_pass(context* ctx, const chopper_rec* chopper, const char* value, uint32_t length,
                           uint8_t* codes, uint32_t* stack, ::tq_chop_info* info);

// ---- Document part ---------------------------------------------------------------------

// Adds "Use Rules" and the included "Chopping Rules" document.
int32_t chopper_rules_write(context* ctx, const chopper_rec* chopper, xmldoc* doc);
// Reads the rules part into an initialised chopper; the document lacking it
// leaves "Use Rules" 0.
int32_t chopper_rules_read(context* ctx, const xmldoc* doc, chopper_rec* chopper);

// ---- Export implementations ------------------------------------------------------------

int32_t chopper_rule_flag_name_validate(context* ctx, const char* name, uint32_t* valid);
int32_t chopper_rule_validate(context* ctx, const char* expr, uint32_t* valid);
int32_t chopper_rules_init_flag_add(context* ctx, int32_t chopper, const char* name, uint32_t* flag_id);
int32_t chopper_rules_init_flag_remove(context* ctx, int32_t chopper, uint32_t flag_id);
int32_t chopper_rules_flag_name_get(context* ctx, int32_t chopper, uint32_t flag_id, char* name);
int32_t chopper_rules_flag_id_get(context* ctx, int32_t chopper, const char* name, uint32_t* id);
int32_t chopper_rules_init_flags_get(context* ctx, int32_t chopper, uint32_t* flag_ids, uint32_t* num_flags);
int32_t chopper_rules_list_get(context* ctx, int32_t chopper, uint32_t* rule_ids);
int32_t chopper_rules_list_count(context* ctx, int32_t chopper, uint32_t* count);
int32_t chopper_rule_output_flag_add(context* ctx, int32_t chopper, uint32_t rule, const char* name,
                                     uint32_t* flag_id);
int32_t chopper_rule_output_flag_remove(context* ctx, int32_t chopper, uint32_t rule, uint32_t flag_id);
int32_t chopper_rule_output_flags_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* flag_ids,
                                      uint32_t* num_flags);
int32_t chopper_rule_notes_set(context* ctx, int32_t chopper, uint32_t rule, const char* notes);
int32_t chopper_rule_notes_get(context* ctx, int32_t chopper, uint32_t rule, char* notes);
int32_t chopper_rule_method_regex_set(context* ctx, int32_t chopper, uint32_t rule, const char* regex);
int32_t chopper_rule_method_vocab_set(context* ctx, int32_t chopper, uint32_t rule, const char* vocab,
                                      const char* category);
int32_t chopper_rule_method_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* type);
int32_t chopper_rule_regex_set(context* ctx, int32_t chopper, uint32_t rule, const char* regex);
int32_t chopper_rule_regex_get(context* ctx, int32_t chopper, uint32_t rule, char* regex);
int32_t chopper_rule_vocab_set(context* ctx, int32_t chopper, uint32_t rule, const char* vocab);
int32_t chopper_rule_vocab_get(context* ctx, int32_t chopper, uint32_t rule, char* vocab);
int32_t chopper_rule_vocab_category_set(context* ctx, int32_t chopper, uint32_t rule, const char* cat);
int32_t chopper_rule_vocab_category_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* all, char* cat);
int32_t chopper_rule_prereq_set(context* ctx, int32_t chopper, uint32_t rule, const char* prereq);
int32_t chopper_rule_prereq_get(context* ctx, int32_t chopper, uint32_t rule, char* prereq);
int32_t chopper_rule_options_set(context* ctx, int32_t chopper, uint32_t rule, uint32_t options);
int32_t chopper_rule_options_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* options);
int32_t chopper_rules_list_clear(context* ctx, int32_t chopper);
int32_t chopper_regex_rule_add(context* ctx, int32_t chopper, const char* regex, const char* prereq,
                               const char* flags, uint32_t options, const char* notes, uint32_t* rule_id);
int32_t chopper_vocab_rule_add(context* ctx, int32_t chopper, const char* vocab, const char* category,
                               const char* prereq, const char* flags, uint32_t options, const char* notes,
                               uint32_t* rule_id);
int32_t chopper_rules_enabled_get(context* ctx, int32_t chopper, uint32_t* enabled);
int32_t chopper_rules_enabled_set(context* ctx, int32_t chopper, uint32_t value);
int32_t chopper_rule_errors_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* errors);

}  // namespace tq

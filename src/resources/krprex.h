// Prerequisite expressions of chopping rules: flag names joined by '&'
// (and), '|' (or), '!' (not) and parentheses, such as "CAPS & !(NUM | X)".
// An expression is checked, compiled once into postfix with its names
// turned into flag ids, and evaluated over a rule pass's current flags at
// every position. The compiler knows nothing of choppers: the caller says
// how a name becomes an id.
//
// Flag names are at most 128 bytes and hold none of blank, tab, '!', '&',
// '(', ')', ',' and '|'; ids run 0..255.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/krcorvel.h"

namespace tq {

inline constexpr uint32_t kFlagCount = 256;
inline constexpr uint32_t kFlagNameSize = 129;  // 128 bytes and the terminator
inline constexpr uint32_t kEvalStackSize = 32;
inline constexpr uint32_t kOperatorStackSize = 31;

// Postfix element types of a compiled prerequisite.
inline constexpr uint32_t kPostAnd = 1;
inline constexpr uint32_t kPostOr = 2;
inline constexpr uint32_t kPostNot = 3;
inline constexpr uint32_t kPostFlag = 6;

struct prereq_element {
  uint32_t type;
  int32_t flag;  // the flag id of an operand, -1 for operators
};

inline bool prereq_blank(char c) { return c == ' ' || c == '\t'; }
// The characters that end a flag name (blanks and the operators).
inline bool prereq_special(char c) {
  return c == ' ' || c == '\t' || c == '!' || c == '&' || c == '(' || c == ')' || c == ',' || c == '|';
}
// Copies the first `len` bytes of a name cut to 128 bytes between
// characters into `out` (kFlagNameSize bytes).
void prereq_name_cut(const char* text, size_t len, char* out);

// Gives the id of a flag name, making it when new; a failure ends the
// compile with its code.
using prereq_flag_fn = int32_t (*)(context* ctx, void* arg, const char* name, uint32_t* id);

// Syntax check. With record 1 a failure records -803 with message 754
// (unbalanced ')'), 755 (unclosed '('), 756 (',') or 757 (token not allowed
// here) and the 1-based byte position; with record 0 nothing is recorded.
int32_t prereq_syntax_check(context* ctx, const char* expr, uint32_t record);
// Compiles a checked expression into postfix (heap array, NULL for an empty
// expression), asking `flag_id` for the id of every name. -601 (message
// 1907) when operators nest deeper than the operator stack; flag-id
// failures pass through.
int32_t prereq_compile(context* ctx, const char* expr, prereq_flag_fn flag_id, void* arg, prereq_element** out,
                       uint32_t* count);
// Evaluates postfix over the flag state with the given stack: *holds 1 or 0.
// -601 when the stack overflows, -602 when an operator lacks operands, -603
// for a malformed list.
int32_t prereq_evaluate(const prereq_element* postfix, uint32_t count, const uint8_t* flags, uint32_t* stack,
                        uint32_t* holds);

}  // namespace tq

// The phonetics run: a text, marked with word boundaries, is fed symbol by
// symbol through a compiled rule set's check tree; the rules that match are
// collected, one is chosen by priority and position, and its replacement is
// emitted or fed back as input. Each context runs in its own work area.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "resources/krpxfsm.h"
#include "resources/krpxraw.h"

namespace tq {

// Bytes of text a run writes at most (the output holds one more for the
// terminator).
inline constexpr uint32_t kPxOutputMax = 1024;

// The work a run may do, per input symbol (markers included) and per rule
// added to the set: every symbol read, every partial match advanced over it
// and every rule matched costs one. Rewinding rules can otherwise make a run
// take time far beyond its input; a run that spends it stops applying rules
// and reports 114 (message 1486), as when the rewind budget is used up.
inline constexpr int64_t kPxWorkPerSymbolRule = 64;
// Symbols that may wait on the input: rewinds that lengthen the text stop
// there (114), since no output could take more.
inline constexpr uint32_t kPxPendingMax = 65536;

struct px_sym_stack {
  px_sym* items;
  uint32_t count;
  uint32_t capacity;
};

struct px_rule_stack {
  const px_rule** items;
  uint32_t count;
  uint32_t capacity;
};

// A partial match: the check node reached so far.
struct px_pin {
  const px_check* node;
  px_pin* next;
};

inline constexpr uint32_t kPxPinBlock = 32;

struct px_pin_block {
  px_pin_block* next;
  px_pin pins[kPxPinBlock];
};

// The per-context work area of the engine.
struct phonetx_work {
  px_sym_stack input;    // popping gives the text still to read
  px_sym_stack window;   // symbols read since the last emission
  px_sym_stack output;
  px_rule_stack matched; // rules matched in the window, in the order found
  px_sym_stack ends;     // the window position where each matched rule ends
  px_sym_stack scratch;  // for choosing the preferred match
  px_pin_block* blocks;
  px_pin* free_pins;
  px_pin* active;        // newest first
};

// Makes a work area (stacks of 64 entries, no pins yet): 0, or -1 when any
// part cannot be made (what was made is freed).
int32_t phonetx_work_create(context* ctx, phonetx_work** out);
// NULL is accepted.
void phonetx_work_free(context* ctx, phonetx_work* work);

// Rewrites `input` (UTF-8; its first 257 characters) with a compiled set into
// `output`, which holds size + 1 bytes: at most size bytes of text (never
// more than 1,024), always terminated. 0; 114 (message 1486) when the
// rewind budget or the work budget was used up; 115 (message 1485) when the result was cut to
// fit; -1 for a set that is not compiled or when memory runs out (output
// empty). An empty input gives an empty output and 0.
int32_t px_run(context* ctx, const px_ruleset* set, phonetx_work* work, const char* input, char* output,
               uint32_t size);

// The position (0..n-1) of the preferred match among n matched rules, in
// the order found, with the window position where each ends; scratch holds
// 2n entries.
uint32_t px_preferred_match(const px_rule* const* rules, const px_sym* ends, uint32_t n, uint32_t* scratch);

}  // namespace tq

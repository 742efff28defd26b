// The phonetics run as it was first written, kept for the tests only: a
// pin per partial match, advanced over the tree node by node, and every
// symbol after a match's end read again. The engine the library runs must
// give the same output, result and messages for every rule set and input.
#pragma once

#include <cstdint>

#include "resources/krpx.h"
#include "resources/krpxfsm.h"
#include "resources/krpxraw.h"

namespace tq_ref {

using namespace tq;

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
struct px_ref_work {
  px_sym_stack input;    // popping gives the text still to read
  px_sym_stack window;   // symbols read since the last emission
  px_sym_stack output;
  px_rule_stack matched; // rules matched in the window, in the order found
  px_sym_stack ends;     // the window position where each matched rule ends
  px_pin_block* blocks;
  px_pin* free_pins;
  px_pin* active;        // newest first
};

int32_t px_ref_work_create(px_ref_work** out);
void px_ref_work_free(px_ref_work* work);
int32_t px_ref_run(context* ctx, const px_ruleset* set, px_ref_work* work, const char* input, char* output,
                   uint32_t size);
// The preferred match as first written: every choice rescans the rules.
uint32_t px_ref_preferred_match(const px_rule* const* rules, const px_sym* ends, uint32_t n);

}  // namespace tq_ref

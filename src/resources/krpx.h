// The phonetics run: a text, marked with word boundaries, is fed symbol by
// symbol through a compiled rule set's run tables (made from its check tree
// when it compiles); the rules that match are collected, one is chosen by
// priority and position, and its replacement is emitted or fed back as
// input. Each symbol is read once: the symbols after a match that the rules
// would read again are replayed from what reading them found. Each context
// runs in its own work area, which keeps its buffers from run to run.
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

// A growable array of the work area (malloc'd, kept between runs).
template <typename T>
struct px_array {
  T* items;
  uint32_t count;
  uint32_t capacity;
};

using px_sym_stack = px_array<px_sym>;

// A partial match: the node reached (its number in the run tables) and the
// read position of its first symbol.
struct px_pin {
  uint32_t node;
  uint32_t start;
};

// A rule matched when a symbol was read: the rule and its first position.
struct px_hit {
  const px_rule* rule;
  uint32_t start;
  uint32_t key;  // the rule's order number times two, plus one when generated
  uint32_t end;  // the read position it ends at
};

// One symbol read, with what reading it found: its matches end at `hits`
// in the hit array, and the first positions of the partial matches left
// after it, ascending, end at `alive` in the alive array.
struct px_step {
  px_sym sym;
  uint32_t hits;
  uint32_t alive;
  uint32_t top;    // the latest first position of those partial matches, plus one; 0 when none
  int64_t bound;   // the most steps 0 to this one can cost, whatever the window (see the run)
};

// A window met before and what was decided for it: the rule chosen and the
// one used, where the chosen one ends, and the cost of scanning the window.
// Windows of a set are told apart from those of others by the set tables'
// serial number.
inline constexpr uint32_t kPxMemoSymbols = 12;
inline constexpr uint32_t kPxMemoSlots = 1024;  // a power of two

struct px_memo_entry {
  uint64_t serial;
  uint32_t hash;
  uint32_t length;
  const px_rule* chosen;  // NULL: nothing matched
  const px_rule* used;
  uint32_t end;
  int64_t cost;
  px_sym syms[kPxMemoSymbols];
};

// The per-context work area of the engine. The run reads each symbol once:
// what was read and not yet emitted stays in `steps`, and a match that would
// send the symbols after it back to be read again instead moves the window
// start over them and replays what reading them found, which is the same
// for every partial match that starts there.
struct phonetx_work {
  px_sym_stack input;            // popping gives the symbols still to read
  px_sym_stack output;
  px_array<px_step> steps;       // symbols read since the buffer was last emptied
  px_array<px_hit> hits;
  px_array<uint32_t> alive;
  px_array<px_pin> pins;         // the partial matches after the last step, newest last
  px_array<px_pin> next_pins;
  px_array<const px_rule*> matched;  // the window's matches, for choosing
  px_array<uint32_t> keys;           // their keys (see px_hit)
  px_array<px_sym> ends;             // their window positions
  px_array<uint32_t> scratch;        // for choosing the preferred match
  px_memo_entry* memo;               // kPxMemoSlots, by hash of the window; NULL until the first run
  uint32_t memo_mask;                // slot of a hash: hash & memo_mask (kPxMemoSlots - 1)
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
// the order found, with their keys (see px_hit) and the window position
// where each ends; scratch holds 2n entries.
uint32_t px_preferred_match(const px_rule* const* rules, const uint32_t* keys, const px_sym* ends, uint32_t n,
                            uint32_t* scratch);

}  // namespace tq

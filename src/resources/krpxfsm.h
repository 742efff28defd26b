// The phonetics check tree: every rule's pattern merged into one tree of
// character checks, so that a run tests each input symbol once per partial
// match whatever the number of rules. Compiling orders the rules, adds the
// word-end twins and builds the tree.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "resources/krpxraw.h"

namespace tq {

enum px_check_type : uint32_t {
  kPxCheckRoot = 0,
  kPxCheckBow = 1,
  kPxCheckEow = 2,
  kPxCheckChar = 3,
  kPxCheckAny = 4,
  kPxCheckClass = 5,
  kPxCheckNotClass = 6,
};

// A CHAR child of a node by its code point, with its position among the
// node's children.
struct px_char_link {
  px_sym code;
  uint32_t position;
};

struct px_check {
  uint32_t type;
  px_sym code;           // CHAR: the code point
  px_sym* set;           // CLASS, NOTCLASS: sorted ascending as signed values, no repeats
  uint32_t set_count;
  px_rule* rule;         // the rule whose pattern ends here, or NULL
  int32_t child_count;
  uint32_t child_capacity;
  px_check** children;   // in the order they were added
  // Made once the tree is complete, so that a symbol finds its one CHAR
  // child without testing them all: the CHAR children sorted by code point,
  // and the positions of the other children in order.
  px_char_link* char_links;
  uint32_t char_count;
  uint32_t* other_positions;
  uint32_t other_count;
};

// Whether a class set holds a symbol.
bool px_class_holds(const px_check* check, px_sym s);

// Whether a check accepts an input symbol. The wildcard symbol matches
// every check; the root matches nothing. Inline: the run calls it for every
// child of every active partial match.
inline bool px_check_matches(const px_check* check, px_sym s) {
  if (check->type == kPxCheckChar) return s == check->code || s == kPxWild;
  if (s == kPxWild) return true;
  switch (check->type) {
    case kPxCheckBow:
      return s == kPxBow;
    case kPxCheckEow:
      return s == kPxEow;
    case kPxCheckAny:
      return true;
    case kPxCheckClass:
      return px_class_holds(check, s);
    case kPxCheckNotClass:
      return !px_class_holds(check, s);
    default:
      return false;
  }
}

// Compiles an editable set: generated rules of an earlier attempt dropped,
// rules sorted by priority (highest first) then order, order numbers become
// positions, word-end twins added when the set has a " " rule, and every
// pattern merged into the tree. 0; -603 (message 1488) for a set that is
// not editable; -803 (messages 1479 to 1484) for a pattern that does not
// compile, the set then staying editable without a machine; -600.
int32_t px_compile(context* ctx, px_ruleset* set);

// The position of the CHAR child of a node that has code point s, or -1.
int32_t px_char_child(const px_check* node, px_sym s);

// Frees a tree node by node; NULL is accepted.
void px_machine_free(px_check* root);

}  // namespace tq

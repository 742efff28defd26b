// The phonetics check tree: every rule's pattern merged into one tree of
// character checks, so that a run tests each input symbol once per partial
// match whatever the number of rules. Compiling orders the rules, adds the
// word-end twins and builds the tree.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

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

struct px_tables;

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
  uint32_t id;           // the node's number in the run tables (the root is 0)
  px_tables* tables;     // the root only: the run tables
};

// The tables a run steps through, made from the tree once it is complete.
// Symbols fall into classes: 0 for every symbol no check names, one class
// per symbol some check names (a CHAR code point, a class-set member, the
// word markers), in ascending signed order, and a last class for the
// wildcard. For each node and class, `next` gives the children that accept
// the class's symbols, in the order they were added, as an offset into
// `lists` (a count, then entries: node number times four, plus one when a
// rule ends there, plus two when it has children; 0 for none). When nodes times
// classes would make the table too large, `next` is left empty and a run
// tests each node's children instead.
struct px_tables {
  uint64_t serial = 0;                  // different for every set of tables made
  uint32_t node_count = 0;
  std::vector<const px_check*> nodes;   // by number
  std::vector<const px_rule*> rules;    // by number: the rule ending there, or NULL
  std::vector<uint8_t> has_children;    // by number
  std::vector<uint32_t> keys;           // by number: the rule's order number times two, plus one when generated
  struct ending {
    const px_rule* rule;
    uint32_t key;
  };
  std::vector<ending> endings;          // by number: rule and key together, for the run
  std::vector<px_sym> class_syms;       // the named symbols, ascending
  uint32_t class_count = 0;             // class_syms + 2
  uint32_t ascii[128] = {};             // the class of each ASCII symbol
  std::vector<uint32_t> next;           // node * class_count + class
  std::vector<uint32_t> lists;
  uint32_t max_children = 0;            // the most children a node has
};

// The class of an input symbol.
inline uint32_t px_class_of(const px_tables* t, px_sym s) {
  if (s >= 0 && s < 128) return t->ascii[s];
  if (s == kPxWild) return t->class_count - 1;
  auto at = std::lower_bound(t->class_syms.begin(), t->class_syms.end(), s);
  return at != t->class_syms.end() && *at == s ? static_cast<uint32_t>(at - t->class_syms.begin()) + 1 : 0;
}

// Entries of `next` above which a set is run from its tree alone.
inline constexpr size_t kPxDenseMax = size_t{1} << 21;

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

// Puts a compiled set back to editable once its rule list has changed: the
// machine no longer holds every rule, so it is freed and the set runs no
// more (-1) until compiled again, as a set read from its file would take
// every rule. The generated twins go and the rules are numbered 1..n in
// their list order, so that compiling again keeps that order among equal
// priorities. An editable set is left as it is.
void px_reopen(px_ruleset* set);

// The position of the CHAR child of a node that has code point s, or -1.
int32_t px_char_child(const px_check* node, px_sym s);

// Numbers the nodes of a complete tree and makes its run tables (hung on
// the root); dense_max bounds the transition table (see kPxDenseMax). -600.
int32_t px_tables_build(px_check* root, size_t dense_max);

// Frees a tree node by node, and the run tables; NULL is accepted.
void px_machine_free(px_check* root);

}  // namespace tq

// The index by which callers name a datatype or a definition of the current
// locale. There are two spaces:
//   - outside edit mode, 0 .. own - 1 are the locale's own records and
//     own .. own + inherited - 1 the inherited list, in list order;
//   - in edit mode, depth x 256 + position, where depth 0 is the locale,
//     1 its parent and so on, and position indexes that locale's own array.
// One decoder serves datatypes and definitions alike, so that both refuse
// the same bad indices: a negative one, a position past the records there,
// a depth past the last ancestor. Since a position must fit below 256, a
// locale holds at most 256 own records in edit mode (a 257th would read as
// the parent's first).
#pragma once

#include <cstdint>

namespace tq {

inline constexpr uint32_t kKbIndexSpan = 256;

enum class kb_index_status : uint8_t {
  ok,
  out_of_range,  // negative, or no record at that place
  no_ancestor,   // edit mode: the depth climbs past the last ancestor
};

struct kb_index_ref {
  bool inherited;     // outside edit mode: position indexes the inherited list
  uint32_t depth;     // edit mode: 0 the locale, 1 its parent ...
  uint32_t position;  // in the own array at that depth, or in the inherited list
};

// own_counts[d]: the own records of the locale at depth d, for the `levels`
// locales of the chain (at least 1: the locale itself). Outside edit mode
// only own_counts[0] and inherited_count matter.
kb_index_status kb_index_decode(int32_t index, bool edit_mode, const uint32_t* own_counts, uint32_t levels,
                                uint32_t inherited_count, kb_index_ref* out);

// The edit-mode index of a record; -1 for a position that has none.
int32_t kb_index_encode(uint32_t depth, uint32_t position);

}  // namespace tq

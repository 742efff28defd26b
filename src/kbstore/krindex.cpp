#include "kbstore/krindex.h"

#include <limits>

namespace tq {

kb_index_status kb_index_decode(int32_t index, bool edit_mode, const uint32_t* own_counts, uint32_t levels,
                                uint32_t inherited_count, kb_index_ref* out) {
  *out = kb_index_ref{false, 0, 0};
  if (index < 0 || own_counts == nullptr || levels == 0) return kb_index_status::out_of_range;
  const uint32_t at = static_cast<uint32_t>(index);
  if (edit_mode) {
    const uint32_t depth = at / kKbIndexSpan;
    const uint32_t position = at % kKbIndexSpan;
    if (depth >= levels) return kb_index_status::no_ancestor;
    if (position >= own_counts[depth]) return kb_index_status::out_of_range;
    *out = kb_index_ref{false, depth, position};
    return kb_index_status::ok;
  }
  if (at < own_counts[0]) {
    *out = kb_index_ref{false, 0, at};
    return kb_index_status::ok;
  }
  if (at - own_counts[0] < inherited_count) {
    *out = kb_index_ref{true, 0, at - own_counts[0]};
    return kb_index_status::ok;
  }
  return kb_index_status::out_of_range;
}

int32_t kb_index_encode(uint32_t depth, uint32_t position) {
  if (position >= kKbIndexSpan) return -1;
  if (depth > static_cast<uint32_t>(std::numeric_limits<int32_t>::max()) / kKbIndexSpan - 1) return -1;
  return static_cast<int32_t>(depth * kKbIndexSpan + position);
}

}  // namespace tq

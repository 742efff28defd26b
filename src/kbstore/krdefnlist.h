// Growing a list that a definition or one of its tokens holds, for the adds
// of every kind. What a kind prepares from a definition, and the engine
// state made from that, points into the record's lists, so a list that
// moves must be prepared again; an add that fails must not move it, or the
// prepared definition would read freed memory on its next run. Every add
// therefore does first what can fail (converting the name, opening the
// resource, which records its failure) and grows the list last, through
// this helper, where only memory can fail and a failure leaves the list
// where it was.
#pragma once

#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "core/krerr.h"

namespace tq {

// Appends entry, whose references the caller has taken. When the list
// cannot grow, release(entry) gives them back and the list is as it was
// (-600); otherwise 0.
template <typename E, typename Release>
int32_t defn_list_append(std::vector<E>& list, E&& entry, Release&& release) {
  if (list.size() == list.capacity()) {
    try {
      list.reserve(list.empty() ? 4 : list.size() * 2);
    } catch (const std::bad_alloc&) {
      release(entry);
      return TQ_ERR_NO_MEMORY;
    }
  }
  list.push_back(std::move(entry));  // within the room: moves cannot throw
  return 0;
}

// The same for an entry that holds no reference.
template <typename E>
int32_t defn_list_append(std::vector<E>& list, E&& entry) {
  return defn_list_append(list, std::move(entry), [](E&) {});
}

}  // namespace tq

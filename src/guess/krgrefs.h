// Copies of the resource lists of the guessing kinds' definitions (locale
// guess and language): each entry appended to the target with a reference
// of its own. An entry whose resource could not be opened is copied empty:
// there is no reference to share. A copy stops at the first failure and
// leaves what it appended for the caller to release; appending may throw
// std::bad_alloc (callers reserve first).
#pragma once

#include <cstdint>
#include <vector>

#include "kbstore/krlib.h"

namespace tq {

inline int32_t guess_ref_list_copy(context* ctx, const std::vector<rsrc_ref>& from, std::vector<rsrc_ref>* to) {
  for (const rsrc_ref& r : from) {
    if (int32_t rc = r.share(ctx, &to->emplace_back()); rc < 0) return rc;
  }
  return 0;
}

// Known regex libraries: a library and the likelihood its match gives.
template <typename Known>
int32_t guess_known_list_copy(context* ctx, const std::vector<Known>& from, std::vector<Known>* to) {
  for (const Known& k : from) {
    Known& t = to->emplace_back();
    t.likelihood = k.likelihood;
    if (int32_t rc = k.lib.share(ctx, &t.lib); rc < 0) return rc;
  }
  return 0;
}

}  // namespace tq

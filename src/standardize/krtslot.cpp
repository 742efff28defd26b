#include "standardize/krtslot.h"

#include "platform/nputf8.h"

namespace tq {

int32_t match_token_slots_fill(parse_token_slot* out, const defn_rec* rec, uint32_t count,
                               const parse_token_slot* in) {
  // Which input slot holds each datatype key; a key is trusted only inside
  // the table, so an index from a caller can never reach past it.
  const parse_token_slot* by_key[kParseSlots] = {};
  for (uint32_t k = 0; k < count; ++k) {
    const int32_t key = in[k].index;
    if (key >= 0 && static_cast<uint32_t>(key) < kParseSlots) by_key[key] = &in[k];
  }
  const uint32_t tokens = rec->tokens.count() < kParseSlots ? rec->tokens.count() : kParseSlots;
  for (uint32_t i = 0; i < tokens; ++i) {
    out[i].index = -1;
    out[i].value[0] = '\0';
    const int32_t key = rec->tokens.items[i]->key;
    if (key < 0 || static_cast<uint32_t>(key) >= kParseSlots || by_key[key] == nullptr) continue;
    out[i].index = key;
    np_uchar_bufcopy(out[i].value, by_key[key]->value, kParseValueMax + 1);
  }
  return 0;
}

}  // namespace tq

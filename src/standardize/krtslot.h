// Token slots in a definition's own order. A parse hands its values over in
// slots keyed by the datatype token each belongs to; standardization and
// matching work on one slot per token of their definition. The filler
// rearranges the one into the other; it lives here, below both users,
// because standardization (this layer) needs it and the match layer sits
// above this one.
#pragma once

#include <cstdint>

#include "kbstore/krdefn.h"
#include "parse/krparse.h"

namespace tq {

// Fills out[i] for every token i of the definition (at most 32) from the
// `count` input slots: {token i's datatype key, a copy of the value the
// input gave that key} or {-1, ""} when none did. An input slot of index -1
// or outside 0..31 is skipped; of two inputs with the same index the later
// wins; a definition without tokens leaves `out` untouched. Values are
// copied up to 1,024 bytes, cut between characters. Always 0.
int32_t match_token_slots_fill(parse_token_slot* out, const defn_rec* rec, uint32_t count,
                               const parse_token_slot* in);

}  // namespace tq

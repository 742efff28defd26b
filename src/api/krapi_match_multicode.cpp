// Framed exports of the multicode road of the match engine.
#include "api/krapi_frame.h"
#include "match/krmmulti.h"

namespace tq::api {

void output_clear_code_blocks(context* ctx, const void* value, uint64_t n) {
  (void)ctx;
  if (value == nullptr) return;
  match_multicode_entry* const* blocks = static_cast<match_multicode_entry* const*>(value);
  for (uint64_t i = 0; i < n; ++i) match_multicode_block_empty(blocks[i]);
}

}  // namespace tq::api

#define TQ_FN TQ_FN_DEFINE
#define TQ_FNK TQ_FN_DEFINE
#include "api/tables/match_multicode.def"
#undef TQ_FN
#undef TQ_FNK

// Compiled vocabularies: the input is the compiled file itself ("v.zev" in
// the vocab folder), loaded and walked word by word.
#include "fuzz_kb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  tq_fuzz::Kb& kb = tq_fuzz::Kb::fresh();
  tq_fuzz::write_file(kb / "vocab" / "v.zev", in.main);
  tq_fuzz::Context ctx(kb.root());
  if (!ctx.ok()) return 0;
  int32_t idx = -1;
  if (tq_vocabulary_load(ctx, "v", nullptr, &idx) < 0) return 0;
  char text[1100], abbrev[1100];
  uint32_t words = 0, cats = 0;
  tq_vocab_numwords_get(ctx, idx, &words);
  tq_vocab_numcats_get(ctx, idx, &cats);
  for (uint32_t c = 0; c < cats && c < 64; ++c) tq_vocab_category_get(ctx, idx, c, text, abbrev);
  for (uint32_t w = 0; w < words && w < 64; ++w) {
    uint32_t n = 0;
    if (tq_vocab_word_get(ctx, idx, w, text, &n) < 0) continue;
    for (uint32_t c = 0; c < n && c < 8; ++c) {
      int32_t likelihood = 0;
      tq_vocab_wordcat_get(ctx, idx, w, c, abbrev, &likelihood);
    }
  }
  tq_vocabulary_unload(ctx, idx);
  return 0;
}

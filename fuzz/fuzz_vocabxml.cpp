// Vocabularies in their krxml exchange form: the main file is the plain
// document "v.xml" of the vocab folder, converted to the compiled form with
// tq_vocab_file_convert (edit mode), which is then loaded.
#include "fuzz_kb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  tq_fuzz::Kb& kb = tq_fuzz::Kb::fresh();
  tq_fuzz::write_file(kb / "vocab" / "v.xml", in.main);
  tq_fuzz::Context ctx(kb.root(), true);
  if (!ctx.ok()) return 0;
  if (tq_vocab_file_convert(ctx, 0, "v", (kb / "vocab" / "w").c_str()) < 0) return 0;
  int32_t idx = -1;
  if (tq_vocabulary_load(ctx, "w", nullptr, &idx) < 0) return 0;
  uint32_t words = 0;
  tq_vocab_numwords_get(ctx, idx, &words);
  tq_vocabulary_unload(ctx, idx);
  return 0;
}

// Phonetics rule sets and tq_phonetx_execute: the main file is a "phonetx"
// document (plain krxml), installed as the vault file of rule set "p" and
// loaded; each line of the "values" section is then executed.
#include "fuzz_kb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  tq_fuzz::Kb& kb = tq_fuzz::Kb::fresh();
  tq_fuzz::Context ctx(kb.root());
  if (!ctx.ok() || !tq_fuzz::install_resource(ctx, in.main, kb / "phonetx" / "p")) return 0;
  int32_t idx = -1;
  if (tq_phonetx_load(ctx, "p", &idx) < 0) return 0;
  char out[1100];
  for (const std::string& value : in.values) tq_phonetx_execute(ctx, idx, value.c_str(), out, sizeof out);
  tq_phonetx_unload(ctx, idx);
  return 0;
}

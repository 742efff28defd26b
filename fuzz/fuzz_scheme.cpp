// Schemes and tq_transf_scheme_apply: the main file is a "scheme" document
// (plain krxml), installed as the vault file of scheme "s" beside the
// locale files of ENUSA (loaded first) and loaded with its own options; each
// line of the "values" section is then applied.
#include "fuzz_kb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  tq_fuzz::Kb& kb = tq_fuzz::Kb::fresh();
  tq_fuzz::Context ctx(kb.root());
  if (!ctx.ok() || tq_fuzz::install_locales(ctx) < 0) return 0;
  if (!tq_fuzz::install_resource(ctx, in.main, kb / "scheme" / "s.sch")) return 0;
  int32_t idx = -1;
  if (tq_transf_scheme_load(ctx, "s", -1, -1, 0, &idx) < 0) return 0;
  char out[1100];
  char bufs[4][1100];
  char* outs[4] = {bufs[0], bufs[1], bufs[2], bufs[3]};
  for (const std::string& value : in.values) {
    int32_t applied = 0;
    uint32_t filled = 0;
    tq_transf_scheme_apply(ctx, idx, value.c_str(), out, sizeof out, &applied);
    tq_transf_scheme_apply_mult_out(ctx, idx, value.c_str(), 4, sizeof bufs[0], outs, &filled);
  }
  tq_transf_scheme_unload(ctx, idx);
  return 0;
}

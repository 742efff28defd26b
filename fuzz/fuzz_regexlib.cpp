// Regex libraries, tq_regexlib_match and tq_regexlib_match_and_replace: the
// main file is a regex library document (plain krxml), installed as the
// vault file of library "r" and loaded; each line of the "values" section is
// then matched and replaced.
#include "fuzz_kb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  tq_fuzz::Kb& kb = tq_fuzz::Kb::fresh();
  tq_fuzz::Context ctx(kb.root());
  if (!ctx.ok() || !tq_fuzz::install_resource(ctx, in.main, kb / "regexlib" / "r")) return 0;
  int32_t lib = -1;
  if (tq_regexlib_load(ctx, "r", nullptr, &lib) < 0) return 0;
  static char out[16384 + 8];
  for (const std::string& value : in.values) {
    int32_t matched = 0;
    tq_regexlib_match(ctx, lib, value.c_str(), &matched);
    tq_regexlib_match_and_replace(ctx, lib, value.c_str(), out, &matched);
  }
  tq_regexlib_unload(ctx, lib);
  return 0;
}

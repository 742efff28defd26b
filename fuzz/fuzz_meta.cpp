// The meta file: the input is "tqx.meta" of the knowledge-base root, read
// when the product and version are asked for.
#include "fuzz_kb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  tq_fuzz::Kb& kb = tq_fuzz::Kb::fresh();
  tq_fuzz::write_file(kb / "tqx.meta", in.main);
  tq_fuzz::Context ctx(kb.root());
  if (!ctx.ok()) return 0;
  tq_zel_version_info info;
  tq_zel_version_info_get(ctx, &info);
  return 0;
}

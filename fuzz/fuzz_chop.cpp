// Choppers and tq_chop_string: the main file is a "Chopping Table" document
// (plain krxml), installed as the vault file of chopper "c" and loaded; each
// line of the "values" section is then chopped, with chop info.
#include <vector>

#include "fuzz_kb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  tq_fuzz::Kb& kb = tq_fuzz::Kb::fresh();
  tq_fuzz::Context ctx(kb.root());
  if (!ctx.ok() || !tq_fuzz::install_resource(ctx, in.main, kb / "chopinfo" / "c")) return 0;
  int32_t ch = -1;
  if (tq_chopper_load(ctx, "c", &ch) < 0) return 0;
  tq_chop_info* info = nullptr;
  if (tq_chop_info_init(ctx, &info) < 0) return 0;
  std::vector<tq_chop_word> words(64);
  for (const std::string& value : in.values) {
    uint32_t n = static_cast<uint32_t>(words.size());
    tq_chop_string(ctx, ch, value.c_str(), words.data(), &n);
    n = static_cast<uint32_t>(words.size());
    if (tq_chop_string_with_info(ctx, ch, value.c_str(), words.data(), &n, info) >= 0) {
      uint32_t type = 0, source = 0;
      for (uint32_t i = 0; i < n; ++i) {
        tq_chop_info_source_type_get(ctx, info, static_cast<int32_t>(i), &type);
        tq_chop_info_source_data_get(ctx, info, static_cast<int32_t>(i), &source);
      }
    }
  }
  tq_chop_info_free(ctx, info);
  tq_chopper_unload(ctx, ch);
  return 0;
}

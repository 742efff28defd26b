// Locale settings and locale loading: the main file is the locale settings
// document (plain krxml) of ENUSA; the further files are more settings
// documents (a parent such as "en.loc"). All are written as vault files
// into the locale folder, then ENUSA is loaded with its ancestors.
#include "fuzz_kb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  tq_fuzz::Kb& kb = tq_fuzz::Kb::fresh();
  tq_fuzz::Context ctx(kb.root());
  if (!ctx.ok()) return 0;
  if (tq_fuzz::install_vault(ctx, in.main, kb / "locale" / "enusa.loc") < 0) return 0;
  for (const auto& [name, bytes] : in.files) tq_fuzz::install_vault(ctx, bytes, kb / "locale" / name);
  char parent[400];
  for (const char* iso : {"ENUSA", "EN", "L1"}) tq_parent_locale_nonloaded_get_from_file(ctx, iso, parent);
  if (tq_zel_locale_load(ctx, 29840, 0) >= 0) {
    int32_t code = 0;
    tq_locale_get(ctx, &code);
    tq_parent_locale_get(ctx, 29840, &code);
    tq_zel_locale_unload(ctx, 29840);
  }
  return 0;
}

// Grammars: the main file is a "Grammar" document (plain krxml), installed as
// the vault file of grammar "g" and read for editing through a lock handle;
// every category and rule is read back, the grammar is saved, and the saved
// file is loaded and read again.
#include "fuzz_kb.h"

namespace {

void walk(tq_context* ctx, int32_t g) {
  uint32_t count = 0;
  if (tq_grammar_category_count_get(ctx, g, &count) < 0) return;
  char abbrev[1100], name[1100];
  for (uint32_t c = 0; c < count; ++c) {
    const int32_t ci = static_cast<int32_t>(c);
    uint32_t rules = 0;
    int32_t derived = 0;
    if (tq_grammar_category_info_get(ctx, g, ci, abbrev, name, &rules) < 0) continue;
    tq_grammar_syntactic_category_info_get(ctx, g, ci, name, &derived);
    tq_grammar_syntactic_category_desc_get(ctx, g, ci, name);
    for (uint32_t r = 0; r < rules; ++r) {
      int32_t priority = 0;
      uint32_t entries = 0;
      if (tq_grammar_rule_info_get(ctx, g, ci, static_cast<int32_t>(r), &priority, &entries) < 0) continue;
      for (uint32_t p = 0; p < entries; ++p) {
        tq_grammar_rule_category_abbrev_get(ctx, g, ci, static_cast<int32_t>(r), static_cast<int32_t>(p), abbrev);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  tq_fuzz::Kb& kb = tq_fuzz::Kb::fresh();
  tq_fuzz::Context ctx(kb.root(), /*edit=*/true);
  if (!ctx.ok() || !tq_fuzz::install_resource(ctx, in.main, kb / "grammar" / "g")) return 0;
  tq_lock_handle* lock = nullptr;
  if (tq_lock_init(ctx, &lock) < 0) return 0;
  int32_t g = -1;
  if (tq_grammar_edit(ctx, "g", lock, &g) >= 0) {
    walk(ctx, g);
    bool saved = tq_grammar_save(ctx, g, lock) >= 0;
    tq_grammar_unload(ctx, g);
    tq_grammar_close(ctx, lock);
    // What the library wrote, it reads again.
    if (saved && tq_grammar_load(ctx, "g", &g) >= 0) {
      uint32_t count = 0;
      if (tq_grammar_category_count_get(ctx, g, &count) < 0) std::abort();
      walk(ctx, g);
      tq_grammar_unload(ctx, g);
    }
  }
  tq_lock_free(ctx, lock);
  return 0;
}

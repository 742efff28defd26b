// Datatype documents: the main file is read as a locale settings document,
// its "Datatype" includes are taken in as a locale's datatypes, and a second
// locale inheriting from the first is read from it too; every index is
// looked up in both index spaces; the datatypes are written back, and the
// written form read again.
//
// Datatypes reach the interface only through a loaded locale, so this
// target links the engine's layers and calls the reader itself, on a
// context built from the layers' parts as tq_init builds one.
#include <array>

#include "core/krcorvel.h"
#include "core/krfio.h"
#include "fuzz_kb.h"
#include "kbstore/krdtyp.h"
#include "kbstore/krkbctx.h"
#include "kbstore/krxml.h"

namespace {

struct BareContext {
  tq_context ctx{};
  std::array<tq::context_layer, 3> layers{tq::core_context_parts(), tq::kbstore_context_parts(),
                                          tq::shared_state_parts()};
  bool ok = false;
  explicit BareContext(const std::filesystem::path& root) {
    tq::context_record_init(&ctx);
    ok = tq::context_parts_create(&ctx, layers) == 0;
    if (ok) tq::path_list_set(&ctx, ctx.search_path, root.c_str());
  }
  ~BareContext() {
    if (ok) tq::context_parts_free(&ctx, layers);
  }
};

struct Set {
  tq::context* ctx;
  tq::dtype_set s{};
  ~Set() { tq::dtype_set_free(ctx, &s); }
};

void look_up(tq::context* ctx, const tq::dtype_chain& chain) {
  const tq::dtype_set& own = *chain.sets[0];
  tq::dtype_rec* rec = nullptr;
  for (uint32_t edit = 0; edit < 2; ++edit) {
    ctx->edit_mode = edit;
    for (int32_t i = -1; i <= static_cast<int32_t>(tq::dtype_count(own)); ++i) {
      if (tq::dtype_record_get(ctx, chain, i, &rec) == 0) {
        int32_t index = 0;
        tq::dtype_index_get_by_name(ctx, chain, rec->name, &index);
      }
    }
    tq::dtype_record_get(ctx, chain, 257, &rec);
  }
  ctx->edit_mode = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  tq_fuzz::Kb& kb = tq_fuzz::Kb::fresh();
  std::filesystem::path dir = kb / "locale";
  std::string main = tq_fuzz::write_input(in, dir, "main.in").string();
  BareContext bare(kb.root());
  if (!bare.ok) return 0;
  tq::context* ctx = &bare.ctx;
  tq::xmldoc* doc = nullptr;
  if (tq::xmldoc_read(ctx, main.c_str(), tq::kXmlFlagNameAsGiven, &doc) < 0) return 0;
  Set parent{ctx}, child{ctx};
  tq::dtype_read_all(ctx, &parent.s, doc);
  tq::xml_free(ctx, doc);
  doc = nullptr;
  if (tq::xmldoc_read(ctx, main.c_str(), tq::kXmlFlagNameAsGiven, &doc) < 0) return 0;
  tq::dtype_read_all(ctx, &child.s, doc);
  tq::xml_free(ctx, doc);
  tq::dtype_chain chain{};
  chain.sets[0] = &child.s;
  chain.sets[1] = &parent.s;
  chain.levels = 2;
  tq::dtype_inherited_build(ctx, chain);
  look_up(ctx, chain);

  tq::xmldoc* out = nullptr;
  if (tq::xmldoc_create(ctx, "Locale Settings", "7.0", &out) < 0) return 0;
  std::string written = (dir / "main.out").string();
  if (tq::dtype_write_all(ctx, parent.s, out) >= 0 &&
      tq::xmldoc_write(ctx, written.c_str(), tq::kXmlFlagNameAsGiven, out) >= 0) {
    tq::xmldoc* again = nullptr;
    if (tq::xmldoc_read(ctx, written.c_str(), tq::kXmlFlagNameAsGiven, &again) >= 0) {
      Set back{ctx};
      tq::dtype_read_all(ctx, &back.s, again);
      tq::xml_free(ctx, again);
    }
  }
  tq::xml_free(ctx, out);
  return 0;
}

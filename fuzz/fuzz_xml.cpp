// krxml documents: the main file is read as a plain document (the further
// files of the input are documents it may refer to by name), written back
// and read again.
#include "fuzz_kb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  tq_fuzz::Kb& kb = tq_fuzz::Kb::fresh();
  // Names are found along the search path: the root's sub-folders.
  std::filesystem::path dir = kb / "locale";
  std::string main = tq_fuzz::write_input(in, dir, "main.in").string();
  tq_fuzz::Context ctx(kb.root());
  if (!ctx.ok()) return 0;
  tq_xmldoc* doc = nullptr;
  if (tq_xml_read(ctx, main.c_str(), 8, &doc) < 0) return 0;
  char value[4200];
  tq_xml_getprop(ctx, doc, "Locale ISO Code", value);
  std::string out = (dir / "main.out").string();
  if (tq_xml_write(ctx, 0, out.c_str(), 8, doc) >= 0) {
    tq_xmldoc* again = nullptr;
    if (tq_xml_read(ctx, out.c_str(), 8, &again) >= 0) tq_xml_free(ctx, again);
  }
  tq_xml_free(ctx, doc);
  return 0;
}

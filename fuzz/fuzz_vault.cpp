// Vault files: the main file is the enciphered file itself ("in.zel"), the
// further files are vault files it may refer to (by names such as
// "leaf.zel"). It is opened through the vault-file family and read as a
// vault document.
#include "fuzz_kb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  tq_fuzz::Kb& kb = tq_fuzz::Kb::fresh();
  std::filesystem::path dir = kb / "locale";
  std::string path = tq_fuzz::write_input(in, dir, "in.zel").string();
  tq_fuzz::Context ctx(kb.root());
  if (!ctx.ok()) return 0;
  tq_vault_file* h = nullptr;
  if (tq_zel_vlt_file_open(ctx, path.c_str(), 7, &h) >= 0) {
    char text[1100];
    int32_t n = 0;
    tq_zel_vlt_file_obj_name_get(ctx, h, text);
    tq_zel_vlt_file_desc_get(ctx, h, text);
    tq_zel_vlt_file_locale_get(ctx, h, &n);
    tq_zel_vlt_file_stdtype_get(ctx, h, &n);
    tq_locale_props_noload_get(ctx, h, text);
  }
  if (h != nullptr) tq_zel_vlt_file_close(ctx, h);
  tq_xmldoc* doc = nullptr;
  if (tq_xml_read(ctx, (dir / "in").c_str(), 1, &doc) >= 0) tq_xml_free(ctx, doc);
  return 0;
}

// Definition elements: the main file is read as a locale document and its
// definitions of every kind are read into ENUSA (with the datatype
// "Name", and the regex libraries R1 and R2, the chopper C and the
// vocabulary V1 present to be named); every definition read is written back
// and the written document read again.
//
// Parse definitions ("Parsorithm" elements),
// case definitions ("Caseorithm"), standardization definitions
// ("Standorithm"), identification definitions ("Dovirizered"), match
// definitions ("Rivoruzeduv"), extraction definitions ("Vidurivodidiz"),
// gender analysis definitions ("Gendorithm"), pattern analysis definitions,
// locale guess definitions ("Guessorithm") and language definitions
// ("Ravororura") are read. The
// target links the engine's layers (with the wiring that lends resource
// opens and every kind) in place
// of the library, calling the reader itself.
#include "fuzz_kb.h"
#include "kbstore/krdefn.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"

namespace {

constexpr int32_t kEnusa = 29840;
constexpr int32_t kKinds[] = {tq::kDefnParse,  tq::kDefnCase,    tq::kDefnStdzn,       tq::kDefnIdent,
                               tq::kDefnMatch,  tq::kDefnExtract, tq::kDefnGender,      tq::kDefnPattern,
                               tq::kDefnLangGuess, tq::kDefnLocaleGuess};

// Reads the document at path into ENUSA.
void read_into_locale(tq::context* ctx, const std::string& path) {
  tq::xmldoc* doc = nullptr;
  if (tq::xmldoc_read(ctx, path.c_str(), tq::kXmlFlagNameAsGiven, &doc) < 0) return;
  for (int32_t kind : kKinds) tq::defn_locale_xml_read(ctx, kEnusa, kind, doc);
  tq::xml_free(ctx, doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tq_fuzz::Input in = tq_fuzz::split_input(data, size);
  tq_fuzz::Kb& kb = tq_fuzz::Kb::fresh();
  for (const char* f : {"regexlib/R1.zel", "regexlib/R2.zel", "chopinfo/C.zel", "vocab/V1.zev", "grammar/G.zel",
                        "scheme/S.sch.zel", "phonetx/P.zel"}) {
    tq_fuzz::write_file(kb / f, "x");  // registered by name, never read here
  }
  std::filesystem::path dir = kb / "locale";
  std::string main = tq_fuzz::write_input(in, dir, "main.in").string();
  tq_fuzz::Context ctx(kb.root(), true);
  if (!ctx.ok() || tq_fuzz::install_locales(ctx) < 0) return 0;
  int32_t index = -1;
  int32_t token = -1;
  if (tq_datatype_add(ctx, "Name", &index) < 0) return 0;
  for (const char* value : {"Given", "Family"}) {
    if (tq_datatype_token_add(ctx, index, &token) < 0 || tq_datatype_token_value_set(ctx, index, token, value) < 0) {
      return 0;
    }
  }
  tq::loaded_locale_rec* locale = nullptr;
  if (tq::locale_rec_get(ctx, kEnusa, &locale) != 0) return 0;
  // Unloading a locale does not free its definitions yet: they go with
  // their references before the context closes.
  struct Release {
    tq::context* ctx;
    tq::loaded_locale_rec* locale;
    ~Release() {
      for (int32_t kind : kKinds) tq::defn_set_free(ctx, &locale->defns[kind], 0);
    }
  } release{ctx, locale};
  read_into_locale(ctx, main);

  tq::xmldoc* out = nullptr;
  if (tq::xmldoc_create(ctx, "Locale Settings", "7.0", &out) < 0) return 0;
  for (int32_t k : kKinds) {
    const tq::defn_set& set = locale->defns[k];
    for (uint32_t i = 0; i < set.count; ++i) {
      if (set.recs[i]->kind != 0) tq::defn_element_write(ctx, out, set.recs[i]);
    }
  }
  std::string written = (dir / "main.out").string();
  int32_t rc = tq::xmldoc_write(ctx, written.c_str(), tq::kXmlFlagNameAsGiven, out);
  tq::xml_free(ctx, out);
  if (rc >= 0) read_into_locale(ctx, written);
  return 0;
}

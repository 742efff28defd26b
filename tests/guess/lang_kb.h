// The language fixture of tests/kb/lang as a knowledge base of vault files:
// EN (and TR) loaded with their language definitions, a context of the
// guessing layer's parts, the kind and the resource opens lent.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "guess/krldef.h"
#include "guess/krlscore.h"
#include "kbstore/krdefn.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"
#include "resources/krregx.h"
#include "resources/krsch.h"
#include "support/bare_kb.h"
#include "support/tq_test.h"

namespace lang_test {

namespace fs = std::filesystem;
using namespace tq;

inline constexpr int32_t kEn = 29000;
inline constexpr int32_t kTr = 123000;

class LangKb : public tq_test::BareKb {
 public:
  // options: the context's option word before loading (bit 22 trains on
  // reading); edit: an edit-mode context.
  explicit LangKb(uint32_t options = 0, bool edit = false)
      : BareKb({"locale", "regexlib", "scheme"}, tq_test::default_layers(),
               {{kDefnLangGuess, &kLangDefnKindOps}}) {
    ctx()->options |= options;
    ctx()->options |= kOptNoLockFiles;
    ctx()->edit_mode = edit ? 1 : 0;
    const fs::path src = fs::path(TQ_TEST_KB_DIR) / "lang";
    for (const auto& e : fs::recursive_directory_iterator(src)) {
      if (!e.is_regular_file()) continue;
      std::string name = fs::relative(e.path(), src).string();
      name.resize(name.size() - 4);  // ".xml"
      const std::string to = name + (fs::path(name).parent_path() == "scheme" ? ".sch" : "");
      put({{"lang/" + name, to}});
    }
    load(kEn, kLoadDatatypes | kLoadLanguageDefns);
  }
  defn_rec* defn(const char* name) { return record(kDefnLangGuess, name); }
  // The score of a text, or the failure's code.
  int32_t score(const char* name, const char* text, language_guess_info* info = nullptr) {
    int32_t s = -1;
    const int32_t rc = lang_score_compute(ctx(), defn(name), ctx()->lang_scratch_profile, text, &s, info);
    return rc < 0 ? rc : s;
  }
};

}  // namespace lang_test

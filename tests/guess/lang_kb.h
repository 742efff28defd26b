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
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace lang_test {

namespace fs = std::filesystem;
using namespace tq;

inline int32_t open_regexlib(context* ctx, const char* name, int32_t* index) {
  return regexlib_load_by_name(ctx, name, nullptr, index, 0);
}
inline int32_t open_scheme(context* ctx, const char* name, uint32_t options, int32_t* index) {
  return scheme_load_by_name(ctx, name, static_cast<int32_t>(options), -1, 0, nullptr, 0, index);
}
inline int32_t no_open(context*, const char*, int32_t*) { return TQ_ERR_NOT_SUPPORTED; }
inline constexpr rsrc_open_ops kOpen{open_regexlib, open_scheme, no_open, no_open};

inline constexpr int32_t kEn = 29000;
inline constexpr int32_t kTr = 123000;

class LangKb {
 public:
  // options: the context's option word before loading (bit 22 trains on
  // reading); edit: an edit-mode context.
  explicit LangKb(uint32_t options = 0, bool edit = false) {
    rsrc_open_ops_set(&kOpen);
    defn_kind_ops_set(kDefnLangGuess, &kLangDefnKindOps);
    std::string path;
    for (const char* sub : {"locale", "regexlib", "scheme"}) {
      fs::create_directories(dir_ / sub);
      path += (path.empty() ? "" : ";") + (dir_ / sub).string();
    }
    bc_ = std::make_unique<tq_test::BareContext>(path);
    ctx()->options |= options;
    ctx()->options |= kOptNoLockFiles;
    ctx()->edit_mode = edit ? 1 : 0;
    const fs::path src = fs::path(TQ_TEST_KB_DIR) / "lang";
    for (const auto& e : fs::recursive_directory_iterator(src)) {
      if (!e.is_regular_file()) continue;
      const fs::path rel = fs::relative(e.path(), src);
      std::string name = rel.string();
      name.resize(name.size() - 4);  // ".xml"
      if (rel.parent_path() == "scheme") name += ".sch";
      write_vault(e.path(), dir_ / name);
    }
    load_rc_ = zel_locale_load(ctx(), kEn, kLoadDatatypes | kLoadLanguageDefns);
  }
  ~LangKb() {
    bc_.reset();
    defn_kind_ops_set(kDefnLangGuess, nullptr);
    rsrc_open_ops_set(nullptr);
  }
  context* ctx() { return bc_->get(); }
  int32_t load_rc() const { return load_rc_; }
  std::string errors() {
    std::string all;
    for (uint32_t i = 0; i < ctx()->errors.count; ++i) all += std::string(ctx()->errors.recs[i].text) + "\n";
    return all;
  }
  defn_rec* defn(const char* name) {
    int32_t index = -1;
    EXPECT_EQ(defn_index_get_by_name(ctx(), kDefnLangGuess, name, kDefnAnySurface, &index), 0) << name;
    defn_rec* rec = nullptr;
    EXPECT_EQ(defn_record_get_for_read(ctx(), kDefnLangGuess, index, &rec), 0) << errors();
    return rec;
  }
  // The score of a text, or the failure's code.
  int32_t score(const char* name, const char* text, language_guess_info* info = nullptr) {
    int32_t s = -1;
    const int32_t rc = lang_score_compute(ctx(), defn(name), ctx()->lang_scratch_profile, text, &s, info);
    return rc < 0 ? rc : s;
  }

 private:
  void write_vault(const fs::path& from, const fs::path& to) {
    xmldoc* doc = nullptr;
    ASSERT_EQ(xmldoc_read(ctx(), from.c_str(), kXmlFlagNameAsGiven, &doc), 0) << from << errors();
    const int32_t rc = xmldoc_write(ctx(), to.c_str(), kXmlFlagVault, doc);
    xml_free(ctx(), doc);
    ASSERT_EQ(rc, 0) << to << errors();
  }

  tq_test::TempDir dir_;
  std::unique_ptr<tq_test::BareContext> bc_;
  int32_t load_rc_ = 0;
};

}  // namespace lang_test

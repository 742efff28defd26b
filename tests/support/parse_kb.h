// The personal-name knowledge base of tests/kb/parse, turned into a
// knowledge base by the library's own writers: the grammar, regex libraries
// and locale files as vault files, the vocabulary compiled. A context opened
// on it has the locale EN (29000) loaded and current, with the datatype
// "Name" and the parse definitions of locale/en.loc.xml read.
//
// White-box (it reads the locale document into the store itself while the
// locale loader does not read definitions): include it only from tests
// linked with every layer.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "kbstore/krdefn.h"
#include "kbstore/krdtyp.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"
#include "core/krzel.h"
#include "resources/krvcld.h"
#include "support/tq_test.h"

namespace tq_test {

inline constexpr int32_t kParseKbLocale = 29000;

class ParseKb {
 public:
  // options: bits added to the context's option word before the load.
  explicit ParseKb(bool edit_mode = false, uint32_t options = 0) {
    build();
    ctx_ = std::make_unique<Context>(dir_.str().c_str(), edit_mode);
    if (options != 0) tq_options_set(ctx_->get(), 1u | options);
    load_rc_ = load();
  }
  ~ParseKb() {
    // The store frees a locale's definitions only with the locale's record.
    tq::loaded_locale_rec* loc = nullptr;
    if (tq::locale_rec_get(*ctx_, kParseKbLocale, &loc) == 0) {
      for (int32_t kind = 1; kind <= tq::kDefnKindCount; ++kind) tq::defn_set_free(*ctx_, &loc->defns[kind], 0);
    }
  }
  ParseKb(const ParseKb&) = delete;
  ParseKb& operator=(const ParseKb&) = delete;

  tq_context* ctx() const { return ctx_->get(); }
  int32_t load_rc() const { return load_rc_; }
  const TempDir& dir() const { return dir_; }
  static std::filesystem::path source(const std::string& name) {
    return std::filesystem::path(TQ_TEST_KB_DIR) / "parse" / name;
  }

 private:
  // Plain source -> vault file (or compiled vocabulary) under the root.
  void build() {
    Context maker(dir_.str().c_str(), true);
    for (const char* folder : {"grammar", "regexlib", "vocab", "locale"}) {
      std::filesystem::create_directories(dir_ / folder);
    }
    for (const char* f : {"grammar/PersonName", "grammar/Ambiguous", "regexlib/StripPeriods", "regexlib/Initials", "locale/en.loc",
                          "locale/l1.loc"}) {
      tq::xmldoc* doc = read(maker, std::string(f) + ".xml");
      ASSERT_NE(doc, nullptr) << f;
      const std::string out = (dir_ / (std::string(f) + ".zel")).string();
      EXPECT_EQ(tq::xmldoc_write(maker, out.c_str(), tq::kXmlFlagVault | tq::kXmlFlagNameAsGiven, doc), 0)
          << error_list_text(maker);
      tq::xml_free(maker, doc);
    }
    tq::xmldoc* vocab = read(maker, "vocab/PersonName.xml");
    ASSERT_NE(vocab, nullptr);
    const std::string out = (dir_ / "vocab" / "PersonName.zev").string();
    EXPECT_EQ(tq::vocab_compile(out.c_str(), maker, vocab, tq::kVocabFileCode | tq::kVocabFileNameAsGiven), 0)
        << error_list_text(maker);
    tq::xml_free(maker, vocab);
  }

  static tq::xmldoc* read(tq_context* ctx, const std::string& name) {
    tq::xmldoc* doc = nullptr;
    const std::string path = source(name).string();
    EXPECT_EQ(tq::xmldoc_read(ctx, path.c_str(), tq::kXmlFlagNameAsGiven, &doc), 0) << name << error_list_text(ctx);
    return doc;
  }

  // Loads EN, then reads its datatypes and parse definitions as the loader
  // will: the result of reading the definitions.
  int32_t load() {
    tq_context* c = ctx_->get();
    int32_t rc = tq_zel_locale_load(c, kParseKbLocale, 0);
    EXPECT_GE(rc, 0) << error_list_text(c);
    tq::xmldoc* doc = nullptr;
    const std::string path = (dir_ / "locale" / "en.loc.zel").string();
    rc = tq::xmldoc_read(c, path.c_str(), tq::kXmlFlagVault | tq::kXmlFlagNameAsGiven, &doc);
    EXPECT_EQ(rc, 0) << error_list_text(c);
    if (rc != 0) return rc;
    tq::loaded_locale_rec* loc = nullptr;
    rc = tq::locale_rec_get(c, kParseKbLocale, &loc);
    if (rc == 0 && loc->datatypes.count == 0) {
      EXPECT_EQ(tq::shared_state_write_lock(c, c->shared), 0);
      EXPECT_GE(tq::dtype_read_all(c, &loc->datatypes, doc), 0) << error_list_text(c);
      EXPECT_EQ(tq::ctx_shared_state_write_unlock(c), 0);
    }
    if (rc == 0 && loc->defns[tq::kDefnParse].count == 0) rc = tq::defn_locale_xml_read(c, kParseKbLocale, tq::kDefnParse, doc);
    tq::xml_free(c, doc);
    return rc;
  }

  TempDir dir_;
  std::unique_ptr<Context> ctx_;
  int32_t load_rc_ = 0;
};

}  // namespace tq_test

// The personal-name knowledge base of tests/kb/parse, turned into a
// knowledge base by the library's own writers (through its exports): the
// grammars, regex libraries and locale files as vault files, the vocabulary
// compiled from its plain source. A context opened on it has the locale EN
// (29000) loaded and current with its datatypes and parse definitions.
// Public interface only, so black-box and white-box tests share it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "support/tq_test.h"

namespace tq_test {

inline constexpr int32_t kParseKbLocale = 29000;

class ParseKb {
 public:
  // options: bits added to the context's option word before the load.
  explicit ParseKb(bool edit_mode = false, uint32_t options = 0) {
    build();
    ctx_ = std::make_unique<Context>(dir_.str().c_str(), edit_mode);
    tq_context* c = ctx_->get();
    if (options != 0) tq_options_set(c, 1u | options);
    const uint32_t mask = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS;
    if (edit_mode) {
      EXPECT_EQ(tq_lock_init(c, &lock_), 0);
      load_rc_ = tq_zel_locale_load_edit(c, kParseKbLocale, mask, lock_);
    } else {
      load_rc_ = tq_zel_locale_load(c, kParseKbLocale, mask);
    }
    EXPECT_GE(load_rc_, 0) << error_list_text(c);
  }
  ~ParseKb() {
    if (lock_ != nullptr) {
      tq_zel_locale_unload_edit(ctx_->get(), kParseKbLocale, lock_);
      tq_lock_free(ctx_->get(), lock_);
    }
  }
  ParseKb(const ParseKb&) = delete;
  ParseKb& operator=(const ParseKb&) = delete;

  tq_context* ctx() const { return ctx_->get(); }
  // The knowledge base's root, for tests that add files and locales of their own.
  const TempDir& dir() const { return dir_; }
  // The locale load's result: 104 when a definition could not be read whole.
  int32_t load_rc() const { return load_rc_; }
  static std::filesystem::path source(const std::string& name) {
    return std::filesystem::path(TQ_TEST_KB_DIR) / "parse" / name;
  }

 private:
  void build() {
    Context maker(dir_.str().c_str(), true);
    for (const char* f : {"grammar/PersonName", "grammar/Ambiguous", "regexlib/StripPeriods", "regexlib/Initials",
                          "locale/en.loc", "locale/l1.loc"}) {
      std::filesystem::create_directories((dir_ / f).parent_path());
      tq_xmldoc* doc = nullptr;
      ASSERT_EQ(tq_xml_read(maker, source(std::string(f) + ".xml").c_str(), 8, &doc), 0)
          << f << error_list_text(maker);
      const int32_t rc = tq_xml_write(maker, 0, (dir_ / f).c_str(), 1, doc);
      tq_xml_free(maker, doc);
      ASSERT_EQ(rc, 0) << f << error_list_text(maker);
    }
    // The vocabulary is compiled from its plain source beside it.
    std::filesystem::create_directories(dir_ / "vocab");
    std::filesystem::copy_file(source("vocab/PersonName.xml"), dir_ / "vocab" / "PersonNameSource.xml");
    ASSERT_EQ(tq_vocab_file_convert(maker, 0, "PersonNameSource", "PersonName"), 0) << error_list_text(maker);
  }

  TempDir dir_;
  std::unique_ptr<Context> ctx_;
  tq_lock_handle* lock_ = nullptr;
  int32_t load_rc_ = 0;
};

}  // namespace tq_test

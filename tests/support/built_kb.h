// A knowledge base built in a temporary folder from the krxml sources under
// tests/kb by the library's own writers (through its exports), then opened
// by a context with one locale loaded. Fixtures derive from it, build their
// files in their constructor and call open(). Public interface only, so
// black-box and white-box tests share it.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "support/tq_test.h"

namespace tq_test {

class BuiltKb {
 public:
  BuiltKb(const BuiltKb&) = delete;
  BuiltKb& operator=(const BuiltKb&) = delete;
  ~BuiltKb() {
    if (lock_ != nullptr) {
      tq_zel_locale_unload_edit(ctx_->get(), locale_, lock_);
      tq_lock_free(ctx_->get(), lock_);
    }
  }

  tq_context* ctx() const { return ctx_->get(); }
  tq_lock_handle* lock() const { return lock_; }
  // The locale load's result: 104 when a definition could not be read whole.
  int32_t load_rc() const { return load_rc_; }
  const std::filesystem::path& dir() const { return dir_.path(); }
  static std::filesystem::path source(const std::string& name) {
    return std::filesystem::path(TQ_TEST_KB_DIR) / name;
  }

 protected:
  BuiltKb() : maker_(std::make_unique<Context>(dir_.str().c_str(), true)) {}

  tq_context* maker() const { return maker_->get(); }
  // Each source tests/kb/<from>.xml written as the vault file <to>.
  void write_sources(std::initializer_list<std::pair<std::string, std::string>> files) {
    for (const auto& [from, to] : files) {
      std::filesystem::create_directories((dir_ / to).parent_path());
      tq_xmldoc* doc = nullptr;
      ASSERT_EQ(tq_xml_read(maker(), source(from + ".xml").c_str(), 8, &doc), 0) << from << error_list_text(maker());
      const int32_t rc = tq_xml_write(maker(), 0, (dir_ / to).c_str(), 1, doc);
      tq_xml_free(maker(), doc);
      ASSERT_EQ(rc, 0) << to << error_list_text(maker());
    }
  }
  // A document (a locale a test varies) written as the vault file <to>.
  void write_doc(tq_xmldoc* doc, const std::string& to) {
    std::filesystem::create_directories((dir_ / to).parent_path());
    ASSERT_EQ(tq_xml_write(maker(), 0, (dir_ / to).c_str(), 1, doc), 0) << to << error_list_text(maker());
  }
  // A vocabulary compiled from its plain source tests/kb/<from>.xml.
  void compile_vocab(const std::string& from, const std::string& name) {
    std::filesystem::create_directories(dir_ / "vocab");
    std::filesystem::copy_file(source(from + ".xml"), dir_ / "vocab" / (name + "Source.xml"));
    ASSERT_EQ(tq_vocab_file_convert(maker(), 0, (name + "Source").c_str(), name.c_str()), 0)
        << error_list_text(maker());
  }
  // options: bits added to the context's option word before the load.
  void open(int32_t locale, uint32_t mask, bool edit_mode, uint32_t options) {
    maker_.reset();  // the building context is gone before the knowledge base is used
    locale_ = locale;
    ctx_ = std::make_unique<Context>(dir_.str().c_str(), edit_mode);
    tq_context* c = ctx_->get();
    if (options != 0) tq_options_set(c, 1u | options);
    if (edit_mode) {
      EXPECT_EQ(tq_lock_init(c, &lock_), 0);
      load_rc_ = tq_zel_locale_load_edit(c, locale, mask, lock_);
    } else {
      load_rc_ = tq_zel_locale_load(c, locale, mask);
    }
    EXPECT_GE(load_rc_, 0) << error_list_text(c);
  }

 private:
  TempDir dir_;
  std::unique_ptr<Context> maker_;
  std::unique_ptr<Context> ctx_;
  tq_lock_handle* lock_ = nullptr;
  int32_t locale_ = 0;
  int32_t load_rc_ = 0;
};

}  // namespace tq_test

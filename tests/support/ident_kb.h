// The identification knowledge base of tests/kb/ident: the name grammar,
// vocabulary and regex library of tests/kb/parse, the phrase scheme Titles
// (DOCTOR -> DR), and a locale file whose EN (29000) holds the datatype
// "Name" and the identification definitions Id5 (level 5: PERSON by a
// SUFFIX word, TITLE by a PREFIX word, the known identity Titles) and Id8
// (level 8: PERSON by the grammar's NAME holding a BODY). Built with the
// library's own writers; public interface only.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "support/tq_test.h"

namespace tq_test {

inline constexpr int32_t kIdentKbLocale = 29000;

class IdentKb {
 public:
  explicit IdentKb(bool edit_mode = false, uint32_t options = 0) {
    build();
    ctx_ = std::make_unique<Context>(dir_.str().c_str(), edit_mode);
    tq_context* c = ctx_->get();
    if (options != 0) tq_options_set(c, 1u | options);
    const uint32_t mask = TQ_LOAD_DATATYPES | TQ_LOAD_IDENT_DEFNS;
    if (edit_mode) {
      EXPECT_EQ(tq_lock_init(c, &lock_), 0);
      load_rc_ = tq_zel_locale_load_edit(c, kIdentKbLocale, mask, lock_);
    } else {
      load_rc_ = tq_zel_locale_load(c, kIdentKbLocale, mask);
    }
    EXPECT_GE(load_rc_, 0) << error_list_text(c);
  }
  ~IdentKb() {
    if (lock_ != nullptr) {
      tq_zel_locale_unload_edit(ctx_->get(), kIdentKbLocale, lock_);
      tq_lock_free(ctx_->get(), lock_);
    }
  }
  IdentKb(const IdentKb&) = delete;
  IdentKb& operator=(const IdentKb&) = delete;

  tq_context* ctx() const { return ctx_->get(); }
  tq_lock_handle* lock() const { return lock_; }
  int32_t load_rc() const { return load_rc_; }
  const std::filesystem::path& dir() const { return dir_.path(); }

 private:
  static std::filesystem::path source(const std::string& name) {
    return std::filesystem::path(TQ_TEST_KB_DIR) / name;
  }
  void build() {
    Context maker(dir_.str().c_str(), true);
    const std::pair<const char*, const char*> files[] = {
        {"parse/grammar/PersonName", "grammar/PersonName"}, {"parse/regexlib/StripPeriods", "regexlib/StripPeriods"},
        {"ident/locale/en.loc", "locale/en.loc"},           {"parse/locale/l1.loc", "locale/l1.loc"}};
    for (const auto& [from, to] : files) {
      std::filesystem::create_directories((dir_ / to).parent_path());
      tq_xmldoc* doc = nullptr;
      ASSERT_EQ(tq_xml_read(maker, source(std::string(from) + ".xml").c_str(), 8, &doc), 0)
          << from << error_list_text(maker);
      const int32_t rc = tq_xml_write(maker, 0, (dir_ / to).c_str(), 1, doc);
      tq_xml_free(maker, doc);
      ASSERT_EQ(rc, 0) << to << error_list_text(maker);
    }
    std::filesystem::create_directories(dir_ / "vocab");
    std::filesystem::copy_file(source("parse/vocab/PersonName.xml"), dir_ / "vocab" / "PersonNameSource.xml");
    ASSERT_EQ(tq_vocab_file_convert(maker, 0, "PersonNameSource", "PersonName"), 0) << error_list_text(maker);
    // The scheme of the known identity, written by the scheme editor.
    std::filesystem::create_directories(dir_ / "scheme");
    ASSERT_GE(tq_zel_locale_load(maker, kIdentKbLocale, 0), 0) << error_list_text(maker);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(maker, &lock), 0);
    int32_t index = -1;
    EXPECT_EQ(tq_scheme_create(maker, (dir_ / "scheme").c_str(), "Titles", 0, lock, &index), 0)
        << error_list_text(maker);
    EXPECT_EQ(tq_scheme_entry_add(maker, index, "DOCTOR", "DR"), 0) << error_list_text(maker);
    EXPECT_EQ(tq_scheme_write(maker, index, lock), 0) << error_list_text(maker);
    EXPECT_EQ(tq_scheme_unload_edit(maker, index, lock), 0);
    tq_lock_free(maker, lock);
  }

  TempDir dir_;
  std::unique_ptr<Context> ctx_;
  tq_lock_handle* lock_ = nullptr;
  int32_t load_rc_ = 0;
};

}  // namespace tq_test

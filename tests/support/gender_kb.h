// The gender knowledge base of tests/kb/gender: the personal-name grammar,
// vocabulary, regex libraries and parse definitions of tests/kb/parse, the
// vocabulary GNDR (JEAN {MALE, FEMALE}, JOHN {MALE}, LUCA {MALE}, MARY
// {FEMALE}), the
// regex libraries FEM (a$) and ENDN (n$), and a locale file whose EN (29000)
// holds the gender definitions:
//   Name      values M, F, U (default), X (default); Given Name (stop flag,
//             MALE->M, FEMALE->F, FEM->F) and Middle Name (MALE->M,
//             FEMALE->F); parsed input allowed
//   Strict    as Name with Given Name only; parsed input not allowed
//   Shared    values M, MX, F without default; Given Name MALE->M, FEMALE->F
//   Vertical  a "Gendorithm -- Vertical" element: one value "Female" cut to
//             4 bytes; tokens without "Match Regexlibs" table, with an empty
//             or missing "Stop Flag", a 90-byte category name
//   NoParse   no parse definition (not valid)
//   BadLib    a "Match Regexlibs" entry naming a missing library (not valid)
//   NoValues  no "Gender Values" table (not valid)
// Datatype tokens: Prefix 0, Given Name 1, Middle Name 2, Family Name 3,
// Suffix 4. Built with the library's own writers; public interface only.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "support/tq_test.h"

namespace tq_test {

inline constexpr int32_t kGenderKbLocale = 29000;

class GenderKb {
 public:
  explicit GenderKb(bool edit_mode = false, uint32_t options = 0) {
    build();
    ctx_ = std::make_unique<Context>(dir_.str().c_str(), edit_mode);
    tq_context* c = ctx_->get();
    if (options != 0) tq_options_set(c, 1u | options);
    const uint32_t mask = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_GENDER_DEFNS;
    if (edit_mode) {
      EXPECT_EQ(tq_lock_init(c, &lock_), 0);
      load_rc_ = tq_zel_locale_load_edit(c, kGenderKbLocale, mask, lock_);
    } else {
      load_rc_ = tq_zel_locale_load(c, kGenderKbLocale, mask);
    }
    EXPECT_GE(load_rc_, 0) << error_list_text(c);
  }
  ~GenderKb() {
    if (lock_ != nullptr) {
      tq_zel_locale_unload_edit(ctx_->get(), kGenderKbLocale, lock_);
      tq_lock_free(ctx_->get(), lock_);
    }
  }
  GenderKb(const GenderKb&) = delete;
  GenderKb& operator=(const GenderKb&) = delete;

  tq_context* ctx() const { return ctx_->get(); }
  tq_lock_handle* lock() const { return lock_; }
  // 104: the definitions that are not valid on purpose were reported.
  int32_t load_rc() const { return load_rc_; }
  const std::filesystem::path& dir() const { return dir_.path(); }

 private:
  static std::filesystem::path source(const std::string& name) {
    return std::filesystem::path(TQ_TEST_KB_DIR) / name;
  }
  void build() {
    Context maker(dir_.str().c_str(), true);
    const std::pair<const char*, const char*> files[] = {
        {"parse/grammar/PersonName", "grammar/PersonName"}, {"parse/grammar/Ambiguous", "grammar/Ambiguous"},
        {"parse/regexlib/StripPeriods", "regexlib/StripPeriods"}, {"parse/regexlib/Initials", "regexlib/Initials"},
        {"gender/regexlib/FEM", "regexlib/FEM"},           {"gender/regexlib/ENDN", "regexlib/ENDN"},
        {"gender/locale/en.loc", "locale/en.loc"},         {"parse/locale/l1.loc", "locale/l1.loc"}};
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
    for (const char* v : {"parse/vocab/PersonName", "gender/vocab/GNDR"}) {
      const std::string name = std::filesystem::path(v).filename().string();
      std::filesystem::copy_file(source(std::string(v) + ".xml"), dir_ / "vocab" / (name + "Source.xml"));
      ASSERT_EQ(tq_vocab_file_convert(maker, 0, (name + "Source").c_str(), name.c_str()), 0)
          << error_list_text(maker);
    }
  }

  TempDir dir_;
  std::unique_ptr<Context> ctx_;
  tq_lock_handle* lock_ = nullptr;
  int32_t load_rc_ = 0;
};

}  // namespace tq_test

// The identification knowledge base of tests/kb/ident: the name grammar,
// vocabulary and regex library of tests/kb/parse, the phrase scheme Titles
// (DOCTOR -> DR), and a locale file whose EN (29000) holds the datatype
// "Name" and the identification definitions Id5 (level 5: PERSON by a
// SUFFIX word, TITLE by a PREFIX word, the known identity Titles) and Id8
// (level 8: PERSON by the grammar's NAME holding a BODY).
#pragma once

#include "support/built_kb.h"

namespace tq_test {

inline constexpr int32_t kIdentKbLocale = 29000;

// The scheme of the known identity (DOCTOR -> DR), written by the scheme
// editor into dir/scheme; m has the locale's files to load.
inline void write_titles_scheme(tq_context* m, const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir / "scheme");
  ASSERT_GE(tq_zel_locale_load(m, kIdentKbLocale, 0), 0) << error_list_text(m);
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(m, &lock), 0);
  int32_t index = -1;
  EXPECT_EQ(tq_scheme_create(m, (dir / "scheme").c_str(), "Titles", 0, lock, &index), 0) << error_list_text(m);
  EXPECT_EQ(tq_scheme_entry_add(m, index, "DOCTOR", "DR"), 0) << error_list_text(m);
  EXPECT_EQ(tq_scheme_write(m, index, lock), 0) << error_list_text(m);
  EXPECT_EQ(tq_scheme_unload_edit(m, index, lock), 0);
  tq_lock_free(m, lock);
}

class IdentKb : public BuiltKb {
 public:
  explicit IdentKb(bool edit_mode = false, uint32_t options = 0) {
    write_sources({{"parse/grammar/PersonName", "grammar/PersonName"},
                   {"parse/regexlib/StripPeriods", "regexlib/StripPeriods"},
                   {"ident/locale/en.loc", "locale/en.loc"},
                   {"parse/locale/l1.loc", "locale/l1.loc"}});
    compile_vocab("parse/vocab/PersonName", "PersonName");
    write_titles_scheme(maker(), dir());
    open(kIdentKbLocale, TQ_LOAD_DATATYPES | TQ_LOAD_IDENT_DEFNS, edit_mode, options);
  }
};

}  // namespace tq_test

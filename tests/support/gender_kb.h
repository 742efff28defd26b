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

#include "support/built_kb.h"

namespace tq_test {

inline constexpr int32_t kGenderKbLocale = 29000;

class GenderKb : public BuiltKb {
 public:
  explicit GenderKb(bool edit_mode = false, uint32_t options = 0) {
    write_sources({{"parse/grammar/PersonName", "grammar/PersonName"},
                   {"parse/grammar/Ambiguous", "grammar/Ambiguous"},
                   {"parse/regexlib/StripPeriods", "regexlib/StripPeriods"},
                   {"parse/regexlib/Initials", "regexlib/Initials"},
                   {"gender/regexlib/FEM", "regexlib/FEM"},
                   {"gender/regexlib/ENDN", "regexlib/ENDN"},
                   {"gender/locale/en.loc", "locale/en.loc"},
                   {"parse/locale/l1.loc", "locale/l1.loc"}});
    compile_vocab("parse/vocab/PersonName", "PersonName");
    compile_vocab("gender/vocab/GNDR", "GNDR");
    // 104: the definitions that are not valid on purpose were reported.
    open(kGenderKbLocale, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_GENDER_DEFNS, edit_mode, options);
  }
};

}  // namespace tq_test

// The personal-name knowledge base of tests/kb/parse: the grammars, regex
// libraries and locale files as vault files, the vocabulary compiled from
// its plain source. A context opened on it has the locale EN (29000) loaded
// and current with its datatypes and parse definitions.
#pragma once

#include "support/built_kb.h"

namespace tq_test {

inline constexpr int32_t kParseKbLocale = 29000;

class ParseKb : public BuiltKb {
 public:
  // options: bits added to the context's option word before the load.
  explicit ParseKb(bool edit_mode = false, uint32_t options = 0) {
    write_sources({{"parse/grammar/PersonName", "grammar/PersonName"},
                   {"parse/grammar/Ambiguous", "grammar/Ambiguous"},
                   {"parse/regexlib/StripPeriods", "regexlib/StripPeriods"},
                   {"parse/regexlib/Initials", "regexlib/Initials"},
                   {"parse/locale/en.loc", "locale/en.loc"},
                   {"parse/locale/l1.loc", "locale/l1.loc"}});
    compile_vocab("parse/vocab/PersonName", "PersonName");
    open(kParseKbLocale, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS, edit_mode, options);
  }
  static std::filesystem::path source(const std::string& name) { return BuiltKb::source("parse/" + name); }
};

}  // namespace tq_test

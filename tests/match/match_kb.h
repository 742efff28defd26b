// The match fixture of tests/kb/match as vault files in a fresh knowledge
// base (with the regex libraries and vocabulary of tests/kb/parse and the
// scheme of tests/kb/extract), EN loaded with its datatypes and match
// definitions: "M" (one token "Name", positions only) and "R" (every
// resource list, a preprocessing scheme and one combination rule). The
// locale document can be given as a text, so that tests can vary it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "kbstore/krdefn.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"
#include "match/krmdef.h"
#include "parse/krpdef.h"
#include "resources/krregx.h"
#include "resources/krsch.h"
#include "resources/krvcld.h"
#include "support/bare_kb.h"
#include "support/tq_test.h"

namespace match_test {

namespace fs = std::filesystem;

inline fs::path source(const std::string& name) { return fs::path(TQ_TEST_KB_DIR) / (name + ".xml"); }

inline std::string locale_text() { return tq_test::read_file(source("match/locale/en.loc")); }

class MatchKb : public tq_test::BareKb {
 public:
  // also: what the locale load reads besides datatypes and match
  // definitions (tq::kLoadParseDefns for a locale text with parse
  // definitions, whose grammar is there too).
  explicit MatchKb(const std::string& locale = locale_text(), uint32_t options = 0, uint32_t also = 0)
      : BareKb({"grammar", "locale", "phonetx", "regexlib", "scheme", "vocab"}, tq_test::match_layers(),
               {{tq::kDefnMatch, &tq::kMatchDefnKindOps}, {tq::kDefnParse, &tq::kParseDefnKindOps}}) {
    compile_vocab("parse/vocab/PersonName", "PersonName");
    put({{"parse/regexlib/StripPeriods", "regexlib/StripPeriods"},
         {"parse/regexlib/Initials", "regexlib/Initials"},
         {"parse/locale/l1.loc", "locale/l1.loc"},
         {"extract/scheme/Companies", "scheme/Companies.sch"},
         {"match/phonetx/Sound", "phonetx/Sound"},
         {"parse/grammar/PersonName", "grammar/PersonName"}});
    put_text(locale, "locale/en.loc");
    ctx()->options |= options;
    load(29000, tq::kLoadDatatypes | tq::kLoadMatchDefns | also);
  }

  bool has_error(const std::string& part) { return errors().find(part) != std::string::npos; }
  // Definition i of the current locale (0 "M", 1 "R").
  tq::defn_rec* defn(int32_t index) { return record(tq::kDefnMatch, index); }
  tq::match_token_kind_rec* token(int32_t index, int32_t t = 0) {
    tq::defn_rec* rec = defn(index);
    return rec == nullptr ? nullptr : tq::match_token_part(rec->tokens.items[static_cast<size_t>(t)].get());
  }
  // The definition's element as the store writes it, as krxml text.
  std::string written(int32_t index) {
    tq::xmldoc* doc = nullptr;
    EXPECT_EQ(tq::xmldoc_create(ctx(), "Locale Settings", "9.0", &doc), 0);
    EXPECT_EQ(tq::defn_element_write(ctx(), doc, defn(index)), 0) << errors();
    const fs::path out = dir() / "written.xml";
    EXPECT_EQ(tq::xmldoc_write(ctx(), out.c_str(), tq::kXmlFlagNameAsGiven, doc), 0) << errors();
    tq::xml_free(ctx(), doc);
    const std::string text = tq_test::read_file(out);
    const size_t s = text.find("<include name=\"Rivoruzeduv\">");
    const size_t e = text.rfind("</include>", text.rfind("</file>"));
    return s == std::string::npos ? "" : text.substr(s, e + 10 - s);
  }
  using BareKb::refs;
  // The registry references held on a resource.
  uint32_t refs(uint32_t kind, int32_t index) {
    tq::resource_slot* slot = nullptr;
    if (tq::rsrc_slot_get_used(ctx(), kind, index, &slot) != 0 || slot == nullptr) return 0;
    return slot->refs;
  }
};

// The locale text with definition `which` ("M" or "R") replaced by `element`
// (an <include name="Rivoruzeduv"> ... </include> text).
inline std::string with_definition(std::string text, const std::string& which, const std::string& element) {
  const std::string head = "<include name=\"Rivoruzeduv\">";
  size_t a = text.find(head);
  if (which == "R") a = text.find(head, a + 1);
  size_t depth = 0;
  size_t pos = a;
  // The matching </include>: count nested includes.
  while (pos != std::string::npos) {
    const size_t open = text.find("<include ", pos + 1);
    const size_t close = text.find("</include>", pos + 1);
    if (open != std::string::npos && open < close) {
      ++depth;
      pos = open;
    } else {
      if (depth == 0) {
        text.replace(a, close + 10 - a, element);
        return text;
      }
      --depth;
      pos = close;
    }
  }
  return text;
}

}  // namespace match_test

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
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace match_test {

namespace fs = std::filesystem;

inline int32_t open_regexlib(tq::context* ctx, const char* name, int32_t* index) {
  return tq::regexlib_load_by_name(ctx, name, nullptr, index, 0);
}
inline int32_t open_scheme(tq::context* ctx, const char* name, uint32_t options, int32_t* index) {
  return tq::scheme_load_by_name(ctx, name, static_cast<int32_t>(options), -1, 0, nullptr, 0, index);
}
inline int32_t open_vocab(tq::context* ctx, const char* name, int32_t* index) {
  return tq::vocab_load_by_name(ctx, name, nullptr, tq::kVocabFormCompiled, index);
}
inline constexpr tq::rsrc_open_ops kOpen{open_regexlib, open_scheme, nullptr, open_vocab};

inline fs::path source(const std::string& name) { return fs::path(TQ_TEST_KB_DIR) / (name + ".xml"); }

inline std::string locale_text() { return tq_test::read_file(source("match/locale/en.loc")); }

class MatchKb {
 public:
  // load: what the locale load reads besides datatypes and match
  // definitions (tq::kLoadParseDefns for a locale text with parse
  // definitions, whose grammar is there too).
  explicit MatchKb(const std::string& locale = locale_text(), uint32_t options = 0, uint32_t load = 0) {
    ++alive();
    tq::rsrc_open_ops_set(&kOpen);
    tq::defn_kind_ops_set(tq::kDefnMatch, &tq::kMatchDefnKindOps);
    tq::defn_kind_ops_set(tq::kDefnParse, &tq::kParseDefnKindOps);
    std::string path;
    for (const char* sub : {"grammar", "locale", "phonetx", "regexlib", "scheme", "vocab"}) {
      fs::create_directories(dir_ / sub);
      path += (path.empty() ? "" : ";") + (dir_ / sub).string();
    }
    bc_ = std::make_unique<tq_test::BareContext>(path, tq_test::match_layers());
    fs::copy_file(source("parse/vocab/PersonName"), dir_ / "vocab/PersonNameSource.xml");
    EXPECT_EQ(tq::vocab_file_convert(ctx(), 0, "PersonNameSource", "PersonName"), 0) << errors();
    put(source("parse/regexlib/StripPeriods"), "regexlib/StripPeriods");
    put(source("parse/regexlib/Initials"), "regexlib/Initials");
    put(source("parse/locale/l1.loc"), "locale/l1.loc");
    put(source("extract/scheme/Companies"), "scheme/Companies.sch");
    put(source("match/phonetx/Sound"), "phonetx/Sound");
    put(source("parse/grammar/PersonName"), "grammar/PersonName");
    put(dir_.write("src/en.loc.xml", locale), "locale/en.loc");
    ctx()->options |= options;
    load_rc_ = tq::zel_locale_load(ctx(), 29000, tq::kLoadDatatypes | tq::kLoadMatchDefns | load);
  }
  // The lent operations stay while any fixture is open: a fixture's
  // definitions are freed through them.
  ~MatchKb() {
    bc_.reset();
    if (--alive() > 0) return;
    tq::defn_kind_ops_set(tq::kDefnMatch, nullptr);
    tq::defn_kind_ops_set(tq::kDefnParse, nullptr);
    tq::rsrc_open_ops_set(nullptr);
  }
  MatchKb(const MatchKb&) = delete;
  MatchKb& operator=(const MatchKb&) = delete;

  tq::context* ctx() { return bc_->get(); }
  int32_t load_rc() const { return load_rc_; }
  std::string errors() {
    std::string all;
    for (uint32_t i = 0; i < ctx()->errors.count; ++i) all += std::string(ctx()->errors.recs[i].text) + "\n";
    return all;
  }
  bool has_error(const std::string& part) { return errors().find(part) != std::string::npos; }
  // Definition i of the current locale (0 "M", 1 "R").
  tq::defn_rec* defn(int32_t index) {
    tq::defn_rec* rec = nullptr;
    EXPECT_EQ(tq::defn_record_get_for_read(ctx(), tq::kDefnMatch, index, &rec), 0) << errors();
    return rec;
  }
  tq::match_token_kind_rec* token(int32_t index, int32_t t = 0) {
    tq::defn_rec* rec = defn(index);
    return rec == nullptr ? nullptr : tq::match_token_part(rec->tokens.items[static_cast<size_t>(t)].get());
  }
  // The definition's element as the store writes it, as krxml text.
  std::string written(int32_t index) {
    tq::xmldoc* doc = nullptr;
    EXPECT_EQ(tq::xmldoc_create(ctx(), "Locale Settings", "9.0", &doc), 0);
    EXPECT_EQ(tq::defn_element_write(ctx(), doc, defn(index)), 0) << errors();
    const fs::path out = dir_ / "written.xml";
    EXPECT_EQ(tq::xmldoc_write(ctx(), out.c_str(), tq::kXmlFlagNameAsGiven, doc), 0) << errors();
    tq::xml_free(ctx(), doc);
    const std::string text = tq_test::read_file(out);
    const size_t s = text.find("<include name=\"Rivoruzeduv\">");
    const size_t e = text.rfind("</include>", text.rfind("</file>"));
    return s == std::string::npos ? "" : text.substr(s, e + 10 - s);
  }
  // The registry references held on a resource.
  uint32_t refs(uint32_t kind, int32_t index) {
    tq::resource_slot* slot = nullptr;
    if (tq::rsrc_slot_get_used(ctx(), kind, index, &slot) != 0 || slot == nullptr) return 0;
    return slot->refs;
  }

 private:
  static int& alive() {
    static int n = 0;
    return n;
  }
  void put(const fs::path& from, const std::string& to) {
    tq::xmldoc* doc = nullptr;
    ASSERT_EQ(tq::xmldoc_read(ctx(), from.c_str(), tq::kXmlFlagNameAsGiven, &doc), 0) << from << errors();
    const int32_t rc = tq::xmldoc_write(ctx(), (dir_ / to).c_str(), tq::kXmlFlagVault, doc);
    tq::xml_free(ctx(), doc);
    ASSERT_EQ(rc, 0) << to << errors();
  }

  tq_test::TempDir dir_;
  std::unique_ptr<tq_test::BareContext> bc_;
  int32_t load_rc_ = 0;
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

// Parse definitions inside the store: prepared when read, prepared again
// after a change, copied, written as elements that read back into
// definitions parsing alike, and refused once no loaded locale holds them.
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kbstore/krdefn.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"
#include "parse/krparse.h"
#include "parse/krpdef.h"
#include "support/parse_kb.h"
#include "support/tq_test.h"

namespace {

using tq_test::ParseKb;

struct Parsed {
  int32_t rc = 0;
  std::string values;  // "|" between them
  std::vector<int32_t> indexes;
};

Parsed parse(tq_context* ctx, const char* defn, const char* value, tq_parse_info* info = nullptr) {
  std::vector<tq_parse_token> tokens(TQ_PARSE_TOKENS);
  Parsed p;
  uint32_t n = 99;
  p.rc = tq_parse_with_info(ctx, defn, value, tokens.data(), &n, info);
  for (uint32_t i = 0; i < n && i < TQ_PARSE_TOKENS; ++i) {
    p.values += (i ? "|" : "") + std::string(tokens[i].value);
    p.indexes.push_back(tokens[i].index);
  }
  return p;
}

// ---- Golden cases ---------------------------------------------------------------------

struct Golden {
  int line;
  std::string defn, value, values;
  int32_t rc;
};

std::vector<Golden> golden_cases() {
  std::vector<Golden> cases;
  std::ifstream in(ParseKb::source("golden.tsv"));
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(cell);
    if (f.size() == 3) f.emplace_back();
    if (f.size() != 4) {
      ADD_FAILURE() << "golden.tsv:" << n << ": four fields expected";
      continue;
    }
    cases.push_back({n, f[0], f[1], f[3], std::stoi(f[2])});
  }
  return cases;
}

// With the option to prepare on reading, a definition whose categories the
// grammar lacks is not valid at all; the others are prepared already.
TEST(Parse, PreparedWhenRead) {
  ParseKb kb(false, TQ_OPT_PREPARE_ON_READ);
  tq_context* ctx = kb.ctx();
  EXPECT_EQ(kb.load_rc(), TQ_WARN_LOCALE_PROBLEMS);
  int32_t index = -1;
  tq::defn_rec* rec = nullptr;
  ASSERT_EQ(tq::defn_index_get_by_name(ctx, tq::kDefnParse, "Name", 0, &index), 0);
  ASSERT_EQ(tq::defn_record_get_for_read(ctx, tq::kDefnParse, index, &rec), 0);
  EXPECT_EQ(tq::parse_defn_part(rec)->prepared.load(), 1u);
  EXPECT_EQ(parse(ctx, "Missing Category", "John Smith").rc, TQ_ERR_DEFN_INVALID);
  EXPECT_EQ(parse(ctx, "Name", "Dr. John Q. Smith Jr.").values, "Dr.|John|Q.|Smith|Jr.");
}

// A copy of a prepared definition starts unprepared, holds the grammar once
// more, and shares the original's parser object once it parses.
TEST(Parse, CopiesPrepareOnTheirOwn) {
  ParseKb kb(true);
  tq_context* ctx = kb.ctx();
  ASSERT_EQ(parse(ctx, "Name", "John Smith").rc, 0);
  tq::defn_rec* original = nullptr;
  ASSERT_EQ(tq::defn_record_get_for_read(ctx, tq::kDefnParse, 0, &original), 0);
  const tq::parse_defn_kind_rec* from = tq::parse_defn_part(original);
  tq::resource_slot* grammar = nullptr;
  ASSERT_EQ(tq::rsrc_slot_get(ctx, tq::kRsrcGrammar, from->grammar.index(), 0, &grammar), 0);
  const uint32_t refs = grammar->refs;
  int32_t index = -1;
  ASSERT_EQ(tq::defn_copy(ctx, tq::kDefnParse, "Name", "Name Copy", 0, &index), 0) << tq_test::error_list_text(ctx);
  tq::defn_rec* copy = nullptr;
  ASSERT_EQ(tq::defn_record_get_for_read(ctx, tq::kDefnParse, index, &copy), 0);
  const tq::parse_defn_kind_rec* to = tq::parse_defn_part(copy);
  EXPECT_EQ(grammar->refs, refs + 1);
  EXPECT_EQ(to->prepared.load(), 0u);
  EXPECT_EQ(to->parser, nullptr);
  EXPECT_EQ(to->nosol.count(), from->nosol.count());
  EXPECT_EQ(parse(ctx, "Name Copy", "Smith Jr. Dr.").values, "Dr.|||Smith|Jr.");
  EXPECT_EQ(to->parser, from->parser);
}

// Each definition written as an element and read back into the locale
// parses as the original did; a vertical include comes back as
// "Parsorithm", a lower-case sought category as the grammar spells it.
TEST(Parse, DefinitionsWrittenAndReadBack) {
  ParseKb kb;
  tq_context* ctx = kb.ctx();
  tq::loaded_locale_rec* loc = nullptr;
  ASSERT_EQ(tq::locale_rec_get(ctx, tq_test::kParseKbLocale, &loc), 0);
  tq::defn_set& set = loc->defns[tq::kDefnParse];
  tq::xmldoc* doc = nullptr;
  ASSERT_EQ(tq::xmldoc_create(ctx, "Locale Settings", "9.0", &doc), 0);
  std::vector<std::string> names;
  for (uint32_t i = 0; i < set.count; ++i) {
    if (set.recs[i]->valid == 0) continue;
    std::string name = set.recs[i]->name;
    ASSERT_EQ(tq::defn_element_write(ctx, doc, set.recs[i]), 0) << name << tq_test::error_list_text(ctx);
    doc->includes[doc->include_count - 1].doc->props[0].value[0] = 'Z';  // a new name: "Zame" ...
    names.push_back("Z" + name.substr(1));
  }
  for (int32_t i = 0; i < doc->include_count; ++i) EXPECT_STREQ(doc->includes[i].name, "Parsorithm");
  const tq::xmldoc* split = doc->includes[1].doc;
  EXPECT_STREQ(tq::xmldoc_prop_get(ctx, split, "Sought Category"), "NAME");
  EXPECT_STREQ(tq::xmldoc_prop_get(ctx, doc->includes[0].doc, "NoSol Unknown Token"), "Middle Name");
  // A no-solution limit below 1 is written as 0 (no limit).
  for (int32_t i = 0; i < doc->include_count; ++i) {
    const tq::xmldoc* el = doc->includes[i].doc;
    if (std::strcmp(tq::xmldoc_prop_get(ctx, el, "Name"), "Zame Limited") != 0) continue;
    int found = 0;
    for (int32_t k = 0; k < el->include_count; ++k) {
      const tq::xmldoc* nosol = el->includes[k].doc;
      if (std::strcmp(nosol->type, "NoSol Token") != 0) continue;
      ASSERT_EQ(nosol->column_count, 1);
      const int32_t limit = nosol->records[0].fields[0].number;
      EXPECT_EQ(limit, std::strcmp(tq::xmldoc_prop_get(ctx, nosol, "Name"), "Suffix") == 0 ? 0 : 1);
      ++found;
    }
    EXPECT_EQ(found, 2);
  }
  const uint32_t before = set.count;
  EXPECT_EQ(tq::defn_locale_xml_read(ctx, tq_test::kParseKbLocale, tq::kDefnParse, doc), 0)
      << tq_test::error_list_text(ctx);
  tq::xml_free(ctx, doc);
  ASSERT_EQ(set.count, before + names.size());
  for (const Golden& g : golden_cases()) {
    const std::string copy = "Z" + g.defn.substr(1);
    SCOPED_TRACE(copy + " / " + g.value);
    Parsed p = parse(ctx, copy.c_str(), g.value.c_str());
    EXPECT_EQ(p.rc, g.rc);
    EXPECT_EQ(p.values, g.values);
  }
}

// A change to a list the analysis options point into drops the preparation:
// the next parse prepares again with the lists as they are now.
TEST(ParseDefn, ChangedListsArePreparedAgain) {
  ParseKb kb(true);
  tq_context* ctx = kb.ctx();
  ASSERT_EQ(parse(ctx, "Name", "Dr. John Q. Smith Jr.").values, "Dr.|John|Q.|Smith|Jr.");
  // Without normalization "DR." is no word the vocabulary knows.
  ASSERT_EQ(tq::defn_normalization_regexlibs_delete_all(ctx, tq::kDefnParse, 0), 0);
  EXPECT_EQ(parse(ctx, "Name", "Dr. John Q. Smith Jr.").rc, TQ_WARN_NO_SOLUTION);
  ASSERT_EQ(tq::defn_normalization_regexlib_add(ctx, tq::kDefnParse, 0, "StripPeriods"), 0);
  ASSERT_EQ(tq::defn_preprocessing_regexlib_add(ctx, tq::kDefnParse, 0, "StripPeriods"), 0);
  EXPECT_EQ(parse(ctx, "Name", "Dr. John Q. Smith Jr.").values, "Dr.|John|Q.|Smith|Jr");
}

}  // namespace

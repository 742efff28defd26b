// Standardization definitions as the locale loader reads them from the
// fixture of tests/kb/stdzn: the record and token parts, what a bad one
// reports, the element written back, and copies with their references.
#include <filesystem>
#include <memory>
#include <string>

#include "kbstore/krdefn.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"
#include "resources/krregx.h"
#include "standardize/krcdef.h"
#include "standardize/krsdef.h"
#include "support/bare_kb.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
namespace fs = std::filesystem;

// EN of the fixture loaded with its datatypes, case and standardization
// definitions (its parent L1 from the parse fixture).
class StdznKb : public tq_test::BareKb {
 public:
  StdznKb()
      : BareKb({"locale", "regexlib"}, tq_test::standardize_layers(),
               {{kDefnCase, &kCaseDefnKindOps}, {kDefnStdzn, &kStdznDefnKindOps}}) {
    put({{"parse/locale/l1.loc", "locale/l1.loc"},
         {"stdzn/locale/en.loc", "locale/en.loc"},
         {"stdzn/regexlib/Abbrev", "regexlib/Abbrev"}});
    load(29000, kLoadDatatypes | kLoadCaseDefns | kLoadStdznDefns);
  }
  defn_rec* defn(const char* name) { return record(kDefnStdzn, name); }
  int32_t case_index(const char* name) {
    const int32_t index = index_of(kDefnCase, name);
    EXPECT_GE(index, 0) << name;
    return index;
  }
  int32_t regexlib_refs(const char* name) { return static_cast<int32_t>(refs(kRsrcRegex, name)); }
};

const stdzn_token_kind_rec* token(const defn_rec* rec, size_t i) {
  return i < rec->tokens.items.size() ? stdzn_token_part(rec->tokens.items[i].get()) : nullptr;
}

TEST(StdznDefnKind, FixtureReadsItsCasesTokensAndLibraries) {
  StdznKb kb;
  // BadCase and BadRefs are read with problems.
  ASSERT_EQ(kb.load_rc(), TQ_WARN_LOCALE_PROBLEMS) << kb.errors();
  const int32_t shout = kb.case_index("Shout");
  const int32_t title = kb.case_index("Title");

  const defn_rec* full = kb.defn("Full");
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(full->valid, 1) << kb.errors();
  const stdzn_defn_kind_rec* part = stdzn_defn_part(full);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->case_mode, kCaseLower);
  EXPECT_EQ(part->case_defn, shout);
  EXPECT_EQ(part->post_case_mode, kCaseProper);
  EXPECT_EQ(part->post_case_defn, title);
  const stdzn_token_kind_rec* number = token(full, 0);
  const stdzn_token_kind_rec* street = token(full, 1);
  ASSERT_TRUE(number != nullptr && street != nullptr);
  // Its own case None, and no uppercasing property: not uppercased.
  EXPECT_EQ(number->case_set, 1u);
  EXPECT_EQ(number->case_mode, kCaseNone);
  EXPECT_EQ(full->tokens.items[0]->automatic_uppercasing, 0);
  EXPECT_EQ(stdzn_token_case_mode(full, full->tokens.items[0].get()), kCaseNone);
  EXPECT_EQ(street->case_set, 1u);
  EXPECT_EQ(street->case_mode, kCaseProper);
  EXPECT_EQ(street->case_defn, title);
  EXPECT_EQ(full->tokens.items[1]->automatic_uppercasing, 1);
  ASSERT_EQ(street->trans.size(), 1u);
  char name[kRsrcNameSize];
  EXPECT_EQ(stdzn_token_trans_name_get(kb.ctx(), full->tokens.items[1].get(), 0, name, sizeof name), 0);
  EXPECT_STREQ(name, "Abbrev");

  // Without "Case" Upper, without "Postprocessing Case" none; a token
  // without a case takes the definition's.
  const defn_rec* bare = kb.defn("Bare");
  EXPECT_EQ(stdzn_defn_part(bare)->case_mode, kCaseUpper);
  EXPECT_EQ(stdzn_defn_part(bare)->post_case_mode, kCaseNone);
  EXPECT_EQ(token(bare, 0)->case_set, 0u);
  EXPECT_EQ(stdzn_token_case_mode(bare, bare->tokens.items[0].get()), kCaseUpper);
  EXPECT_EQ(bare->tokens.items[0]->automatic_uppercasing, 1);

  // Case None for the definition: only the token that says so is uppercased.
  const defn_rec* quiet = kb.defn("Quiet");
  EXPECT_EQ(quiet->tokens.items[0]->automatic_uppercasing, 0);
  EXPECT_EQ(quiet->tokens.items[1]->automatic_uppercasing, 1);

  // Not valid, each problem reported with the definition's name.
  EXPECT_EQ(kb.defn("BadCase")->valid, 0);
  const defn_rec* bad = kb.defn("BadRefs");
  EXPECT_EQ(bad->valid, 0);
  const std::string errors = kb.errors();
  for (const char* text : {"'Uppercase' is not a case", "'Nosuch' named by the Standardization definition 'BadRefs'",
                           "'Nocase' named by token 'Street' of the Standardization definition 'BadRefs'",
                           "library 'Nolib' of token 'Street' of the Standardization definition 'BadRefs'"}) {
    EXPECT_NE(errors.find(text), std::string::npos) << text << "\n" << errors;
  }
  // The library that failed leaves an empty entry; the next one is read.
  ASSERT_EQ(token(bad, 0)->trans.size(), 2u);
  EXPECT_FALSE(token(bad, 0)->trans[0].held());
  EXPECT_TRUE(token(bad, 0)->trans[1].held());
  EXPECT_TRUE(token(bad, 0)->problems.empty());
}

TEST(StdznDefnKind, WrittenElementHoldsWhatWasRead) {
  StdznKb kb;
  defn_rec* full = kb.defn("Full");
  ASSERT_NE(full, nullptr);
  xmldoc* target = nullptr;
  ASSERT_EQ(xmldoc_create(kb.ctx(), "Test", "7.0", &target), 0);
  ASSERT_EQ(defn_element_write(kb.ctx(), target, full), 0) << kb.errors();
  const xmldoc* el = xmldoc_include_doc_find(target, kStdznRootType);
  ASSERT_NE(el, nullptr);
  context* ctx = kb.ctx();
  EXPECT_STREQ(xmldoc_prop_get(ctx, el, "Case"), "Lower");
  EXPECT_STREQ(xmldoc_prop_get(ctx, el, "Caseorithm"), "Shout");
  // 9.0 features sit in the group of that version.
  const xmldoc* group = xmldoc_include_doc_find(el, "Properties");
  ASSERT_NE(group, nullptr);
  EXPECT_STREQ(group->version, "9.0");
  EXPECT_STREQ(xmldoc_prop_get(ctx, group, "Postprocessing Case"), "Proper");
  EXPECT_STREQ(xmldoc_prop_get(ctx, group, "Postprocessing Caseorithm"), "Title");
  int tokens = 0;
  for (int32_t i = 0; i < el->include_count; ++i) {
    if (std::string(el->includes[i].name) != "Token") continue;
    const xmldoc* tok = el->includes[i].doc;
    const xmldoc* trans = xmldoc_include_doc_find(tok, "Transformation Regexlibs");
    ASSERT_NE(trans, nullptr) << "written also when empty";
    EXPECT_STREQ(trans->version, "9.0");
    if (tokens++ == 0) {
      EXPECT_STREQ(xmldoc_prop_get(ctx, tok, "Case"), "None");
      EXPECT_STREQ(xmldoc_prop_get(ctx, tok, "Caseorithm"), "");
      EXPECT_EQ(trans->record_count, 0);
    } else {
      EXPECT_STREQ(xmldoc_prop_get(ctx, tok, "Case"), "Proper");
      EXPECT_STREQ(xmldoc_prop_get(ctx, tok, "Caseorithm"), "Title");
      ASSERT_EQ(trans->record_count, 1);
      EXPECT_STREQ(trans->records[0].value, "Abbrev");
    }
  }
  EXPECT_EQ(tokens, 2);
  // A token without a case of its own writes none, and an entry whose
  // library failed is skipped.
  xmldoc* second = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "Test", "7.0", &second), 0);
  ASSERT_EQ(defn_element_write(ctx, second, kb.defn("BadRefs")), 0) << kb.errors();
  const xmldoc* bad = xmldoc_include_doc_find(second, kStdznRootType);
  ASSERT_NE(bad, nullptr);
  const xmldoc* tok = xmldoc_include_doc_find(bad, "Token");
  ASSERT_NE(tok, nullptr);
  EXPECT_EQ(xmldoc_prop_exists(ctx, tok, "Case"), 0);
  ASSERT_EQ(xmldoc_include_doc_find(tok, "Transformation Regexlibs")->record_count, 1);
  xml_free(ctx, second);
  xml_free(ctx, target);
}

TEST(StdznDefnKind, CopiesTakeReferencesAndUnloadsGiveThemBack) {
  StdznKb kb;
  context* ctx = kb.ctx();
  // Full and BadRefs each hold Abbrev once.
  EXPECT_EQ(kb.regexlib_refs("Abbrev"), 2);
  int32_t index = -1;
  ASSERT_EQ(defn_copy(ctx, kDefnStdzn, "Full", "Copy", 0, &index), 0) << kb.errors();
  EXPECT_EQ(kb.regexlib_refs("Abbrev"), 3);
  defn_rec* copy = nullptr;
  ASSERT_EQ(defn_record_get_for_read(ctx, kDefnStdzn, index, &copy), 0);
  const defn_rec* full = kb.defn("Full");
  EXPECT_EQ(stdzn_defn_part(copy)->post_case_defn, stdzn_defn_part(full)->post_case_defn);
  EXPECT_EQ(token(copy, 1)->case_defn, token(full, 1)->case_defn);
  EXPECT_EQ(token(copy, 1)->locale, full->locale);
  ASSERT_EQ(defn_unload(ctx, kDefnStdzn, index), 0);
  EXPECT_EQ(kb.regexlib_refs("Abbrev"), 2);
}

}  // namespace

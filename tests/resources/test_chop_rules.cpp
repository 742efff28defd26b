// Chopping rules (prerequisites, flags, the rules pass with regular
// expressions and vocabularies) and the chopper resource: saving, reloading
// and failed loads.
#include <cstring>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krlib.h"
#include "kbstore/krlock.h"
#include "kbstore/krxml.h"
#include "resources/krchop.h"
#include "resources/krrsacc.h"
#include "resources/krchpr.h"
#include "resources/krchprexp.h"
#include "resources/krcrld.h"
#include "resources/krvcld.h"
#include "resources/krwlst.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using Words = std::vector<std::string>;

struct ChopContext {
  tq_test::BareContext bc;
  explicit ChopContext(const std::string& path = "") : bc(path) { bc.ctx.current_locale_code = 800010; }
  context* get() { return bc.get(); }
  int32_t create(const char* name) {
    int32_t index = -1;
    EXPECT_EQ(chopper_create(get(), name, &index), 0) << bc.last_error();
    EXPECT_EQ(field_set(get(), kRsrcChopper, kChopperUseRules, index, 1u), 0);
    return index;
  }
  chopper_rec* rec(int32_t index) {
    chopper_rec* r = nullptr;
    EXPECT_EQ(chopper_get(get(), index, &r), 0);
    return r;
  }
  uint32_t regex_rule(int32_t ch, const char* regex, const char* prereq, const char* flags, uint32_t options) {
    uint32_t id = 99;
    EXPECT_EQ(chopper_regex_rule_add(get(), ch, regex, prereq, flags, options, "", &id), 0) << bc.last_error();
    return id;
  }
  bool has_error_text(const std::string& part) {
    for (uint32_t i = 0; i < bc.ctx.errors.count; ++i) {
      if (std::string(bc.ctx.errors.recs[i].text).find(part) != std::string::npos) return true;
    }
    return false;
  }
};

Words chop_words(context* ctx, int32_t handle, const std::string& value, int32_t* rc = nullptr,
                 chop_info* info = nullptr) {
  word_list list;
  int32_t result = chop_core(ctx, handle, value.c_str(), &list, info);
  if (rc != nullptr) *rc = result;
  Words out;
  for (uint32_t i = 0; i < wordlist_word_count(&list); ++i) out.push_back(wordlist_word_at(&list, static_cast<int32_t>(i))->text);
  wordlist_free(&list);
  return out;
}

// A vocabulary made in memory and registered under `name`: each word with
// one category.
int32_t make_vocab(context* ctx, const char* name, const std::vector<std::pair<std::string, uint32_t>>& words,
                   const std::vector<std::string>& categories) {
  vocab_rec* v = nullptr;
  EXPECT_EQ(vocab_rec_create(&v), 0);
  EXPECT_EQ(vocab_clear(v, static_cast<uint32_t>(words.size()), static_cast<uint32_t>(categories.size())), 0);
  for (size_t c = 0; c < categories.size(); ++c) {
    std::strcpy(v->categories[c].name, categories[c].c_str());
    v->categories[c].id = static_cast<int32_t>(c) + 1;
  }
  for (size_t w = 0; w < words.size(); ++w) {
    vocab_pair pair{words[w].second, 50};
    EXPECT_EQ(vocab_word_set(v, static_cast<uint32_t>(w), words[w].first.c_str(), 1, &pair), 0);
  }
  EXPECT_EQ(vocab_sort(v), 0);
  rsrc_callbacks cb{};
  cb.free = vocab_rsrc_free;
  int32_t index = -1;
  EXPECT_EQ(rsrc_slot_create(ctx, kRsrcVocab, name, 0, &cb, &index), 0);
  resource_slot* slot = nullptr;
  EXPECT_EQ(rsrc_slot_get_used(ctx, kRsrcVocab, index, &slot), 0);
  slot->part = v;
  v->slot = slot;
  return index;
}

// ---- Prerequisite expressions -------------------------------------------------------------------

TEST(ChopRules, SyntaxCheckMessagesAndPositions) {
  ChopContext cc;
  struct Case {
    const char* expr;
    int32_t rc;
    const char* message;
  };
  for (const Case& c : {Case{"A | B & C", 0, ""}, Case{"!(A|B) & C", 0, ""}, Case{"A &", 0, ""}, Case{"", 0, ""},
                        Case{"!!A", -803, "(position 2)"}, Case{"A B", -803, "(position 3)"},
                        Case{"(A", -803, "leaves a group open"}, Case{"A)", -803, "not opened (position 2)"},
                        Case{"A,B", -803, "',' (position 2)"}, Case{"A & | B", -803, "(position 5)"}}) {
    SCOPED_TRACE(c.expr);
    err_list_reset(cc.get());
    EXPECT_EQ(prereq_syntax_check(cc.get(), c.expr, 1), c.rc);
    if (c.rc != 0) {
      EXPECT_TRUE(cc.has_error_text(c.message)) << cc.bc.last_error();
      // Without recording, nothing is recorded.
      err_list_reset(cc.get());
      EXPECT_EQ(prereq_syntax_check(cc.get(), c.expr, 0), c.rc);
      EXPECT_EQ(cc.bc.ctx.errors.count, 0u);
    }
  }
}

TEST(ChopRules, GroupingOfCompiledExpressions) {
  ChopContext cc;
  chopper_rules rules;
  ASSERT_EQ(chopper_rules_init(&rules), 0);
  uint32_t stack[kEvalStackSize];
  // flags: A B C D -> ids in order of first use.
  auto eval = [&](const char* expr, std::vector<int> set) {
    prereq_element* postfix = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(chopper_prereq_compile(cc.get(), "t", &rules, expr, &postfix, &count), 0);
    uint8_t flags[kFlagCount] = {};
    for (int name = 0; name < 4; ++name) {
      const char text[2] = {static_cast<char>('A' + name), 0};
      uint32_t id = 0;
      if (chopper_flag_id_find(&rules, text, &id) == 0) flags[id] = set[static_cast<size_t>(name)] ? 1 : 0;
    }
    uint32_t holds = 9;
    int32_t rc = prereq_evaluate(postfix, count, flags, stack, &holds);
    std::free(postfix);
    return rc == 0 ? static_cast<int>(holds) : rc;
  };
  // '&' and '|' bind equally from the left.
  EXPECT_EQ(eval("A | B & C", {1, 0, 0, 0}), 0);
  EXPECT_EQ(eval("A | (B & C)", {1, 0, 0, 0}), 1);
  // Nested groups keep their grouping.
  EXPECT_EQ(eval("A & ((B | C) | D)", {0, 0, 0, 1}), 0);
  EXPECT_EQ(eval("A & ((B | C) | D)", {1, 0, 0, 1}), 1);
  EXPECT_EQ(eval("A & ((B) | C)", {0, 1, 0, 0}), 0);
  EXPECT_EQ(eval("!(A | B) & C", {0, 0, 1, 0}), 1);
  EXPECT_EQ(eval("!A & B", {1, 1, 0, 0}), 0);
  EXPECT_EQ(eval("", {0, 0, 0, 0}), 1);
  EXPECT_EQ(eval("A &", {1, 0, 0, 0}), -602);
  EXPECT_EQ(eval("(A)(B)", {1, 1, 0, 0}), -603);
  // Operators nested past the operator stack.
  std::string deep(40, '(');
  deep += "A" + std::string(40, ')');
  prereq_element* postfix = nullptr;
  uint32_t count = 0;
  EXPECT_EQ(chopper_prereq_compile(cc.get(), "t", &rules, deep.c_str(), &postfix, &count), -601);
  chopper_rules_free(cc.get(), &rules);
}

TEST(ChopRules, FlagNamesLiveWhileUsed) {
  ChopContext cc;
  int32_t ch = cc.create("flags");
  uint32_t a = 0, b = 0, id = 0;
  ASSERT_EQ(chopper_rules_init_flag_add(cc.get(), ch, "START", &a), 0);
  EXPECT_EQ(chopper_rules_init_flag_add(cc.get(), ch, "BAD NAME", &id), -802);
  uint32_t rule = cc.regex_rule(ch, "x", "START & MID", "OUT", 0);
  ASSERT_EQ(chopper_rules_flag_id_get(cc.get(), ch, "MID", &b), 0);
  EXPECT_EQ(chopper_rules_flag_id_get(cc.get(), ch, "NONE", &id), -801);
  EXPECT_TRUE(cc.has_error_text("no flag named 'NONE'"));
  char name[1040];
  EXPECT_EQ(chopper_rules_flag_name_get(cc.get(), ch, b, name), 0);
  EXPECT_STREQ(name, "MID");
  EXPECT_EQ(chopper_rules_flag_name_get(cc.get(), ch, 200, name), -1);
  EXPECT_EQ(chopper_rules_flag_name_get(cc.get(), ch, 256, name), -802);
  uint32_t ids[256];
  uint32_t n = 0;
  EXPECT_EQ(chopper_rules_init_flags_get(cc.get(), ch, ids, &n), 0);
  ASSERT_EQ(n, 1u);
  EXPECT_EQ(ids[0], a);
  EXPECT_EQ(chopper_rule_output_flags_get(cc.get(), ch, rule, ids, &n), 0);
  ASSERT_EQ(n, 1u);
  // START stays: the rule's prerequisite still uses it.
  EXPECT_EQ(chopper_rules_init_flag_remove(cc.get(), ch, a), 0);
  EXPECT_EQ(chopper_rules_flag_id_get(cc.get(), ch, "START", &id), 0);
  // A new prerequisite lets MID and START go.
  EXPECT_EQ(chopper_rule_prereq_set(cc.get(), ch, rule, "OTHER"), 0);
  EXPECT_EQ(chopper_rules_flag_id_get(cc.get(), ch, "MID", &id), -801);
  EXPECT_EQ(chopper_rules_flag_id_get(cc.get(), ch, "START", &id), -801);
  EXPECT_EQ(chopper_rule_prereq_set(cc.get(), ch, rule, "!!X"), -803);
  char text[4100];
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRulePrereq, ch, rule, text), 0);
  EXPECT_STREQ(text, "OTHER");
  // Clearing the list keeps only the names of initial flags.
  ASSERT_EQ(chopper_rules_init_flag_add(cc.get(), ch, "KEEP", &a), 0);
  EXPECT_EQ(chopper_rules_list_clear(cc.get(), ch), 0);
  EXPECT_EQ(chopper_rules_flag_id_get(cc.get(), ch, "OUT", &id), -801);
  EXPECT_EQ(chopper_rules_flag_id_get(cc.get(), ch, "KEEP", &id), 0);
  uint32_t count = 9;
  EXPECT_EQ(chopper_rules_list_count(cc.get(), ch, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(cc.regex_rule(ch, "x", "", "", 0), 0u);  // ids start again at 0

  // 256 names fit; the 257th distinct one does not.
  for (int i = 0; i < 255; ++i) {
    // Built with append: GCC 12 at -O2 and above warns falsely (-Wrestrict) on "literal" + temporary string.
    ASSERT_EQ(chopper_rules_init_flag_add(cc.get(), ch, std::string("F").append(std::to_string(i)).c_str(), &id), 0) << i;
  }
  EXPECT_EQ(chopper_rules_init_flag_add(cc.get(), ch, "ONE_TOO_MANY", &id), -601);
  EXPECT_TRUE(cc.has_error_text("All 256 flag ids"));
  // A failed add leaves no name behind.
  EXPECT_EQ(chopper_rules_init_flag_remove(cc.get(), ch, 0), 0);
  uint32_t before_rule = 0;
  EXPECT_EQ(chopper_regex_rule_add(cc.get(), ch, "(", "NEW1", "", 0, "", &before_rule), -803);
  EXPECT_EQ(chopper_rules_init_flag_add(cc.get(), ch, "AGAIN", &id), 0);
}

// ---- Rule records ---------------------------------------------------------------------------------

TEST(ChopRules, RuleAccessorsAndMethods) {
  ChopContext cc;
  int32_t ch = cc.create("acc");
  uint32_t rule = 0;
  ASSERT_EQ(chopper_regex_rule_add(cc.get(), ch, "[0-9]+", "", " A , B ", 3, "digits", &rule), 0);
  char text[4100];
  uint32_t value = 9;
  EXPECT_EQ(chopper_rule_regex_get(cc.get(), ch, rule, text), 0);
  EXPECT_STREQ(text, "[0-9]+");
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRuleNotes, ch, rule, text), 0);
  EXPECT_STREQ(text, "digits");
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRuleOptions, ch, rule, &value), 0);
  EXPECT_EQ(value, 3u);
  EXPECT_EQ(chopper_rule_options_set(cc.get(), ch, 77, 1), 0);  // unknown rule ignored
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRuleOptions, ch, 77, &value), -802);
  EXPECT_EQ(chopper_rule_vocab_get(cc.get(), ch, rule, text), -700);
  EXPECT_EQ(chopper_rule_vocab_set(cc.get(), ch, rule, "v"), -700);
  EXPECT_EQ(chopper_rule_vocab_category_set(cc.get(), ch, rule, "C"), -700);
  // A pattern that does not compile changes nothing.
  EXPECT_EQ(chopper_rule_regex_set(cc.get(), ch, rule, "[0-9"), -803);
  EXPECT_EQ(chopper_rule_method_regex_set(cc.get(), ch, rule, "("), -803);
  EXPECT_EQ(chopper_rule_regex_get(cc.get(), ch, rule, text), 0);
  EXPECT_STREQ(text, "[0-9]+");
  EXPECT_EQ(chopper_rule_regex_set(cc.get(), ch, rule, "[a-z]+"), 0);
  EXPECT_EQ(chopper_rule_regex_get(cc.get(), ch, rule, text), 0);
  EXPECT_STREQ(text, "[a-z]+");
  // Output flags: names separated by ',', blanks around them allowed.
  uint32_t ids[256];
  uint32_t n = 0;
  EXPECT_EQ(chopper_rule_output_flags_get(cc.get(), ch, rule, ids, &n), 0);
  EXPECT_EQ(n, 2u);
  uint32_t bad = 0;
  EXPECT_EQ(chopper_regex_rule_add(cc.get(), ch, "x", "", "A B", 0, "", &bad), -803);
  EXPECT_TRUE(cc.has_error_text("offset 2"));
  EXPECT_EQ(chopper_regex_rule_add(cc.get(), ch, "x", "", "A|B", 0, "", &bad), -803);
  // The rule is changed and kept with its error bits: a warning beside the
  // failure recorded, never a failure that changed the rule.
  EXPECT_EQ(chopper_rule_method_vocab_set(cc.get(), ch, rule, "nosuch", "PFX"), 105);
  EXPECT_TRUE(cc.has_error_text("nosuch"));
  EXPECT_EQ(chopper_rule_vocab_set(cc.get(), ch, rule, "nosuch2"), 105);
  EXPECT_TRUE(cc.has_error_text("nosuch2"));
  uint32_t errors = 0;
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRuleErrors, ch, rule, &errors), 0);
  EXPECT_EQ(errors, kRuleErrVocab | kRuleErrCategory);
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRuleMethod, ch, rule, &value), 0);
  EXPECT_EQ(value, kRuleMethodVocab);
  EXPECT_EQ(chopper_rule_regex_get(cc.get(), ch, rule, text), -700);
  EXPECT_EQ(chopper_rule_vocab_get(cc.get(), ch, rule, text), 0);
  EXPECT_STREQ(text, "");
  uint32_t ids_list[4];
  EXPECT_EQ(chopper_rules_list_get(cc.get(), ch, ids_list), 0);
  EXPECT_EQ(ids_list[0], rule);
  EXPECT_EQ(field_set(cc.get(), kRsrcChopper, kChopperRuleNotes, ch, 99, "x"), -802);
}

// ---- The rules pass ----------------------------------------------------------------------------------

TEST(ChopRules, RegexRulesAddWordStartsOnly) {
  ChopContext cc;
  int32_t ch = cc.create("regex");
  uint32_t rule = cc.regex_rule(ch, "[0-9]+", "", "", kRuleBoundaryBefore | kRuleBoundaryAfter);
  chop_info* info = nullptr;
  ASSERT_EQ(chop_info_init(cc.get(), &info), 0);
  EXPECT_EQ(chop_words(cc.get(), ch, "ABC123DEF", nullptr, info), (Words{"ABC", "123", "DEF"}));
  ASSERT_EQ(info->word_count, 3);
  EXPECT_EQ(info->word_sources[1].type, kSourceRule);
  EXPECT_EQ(info->word_sources[1].data, rule);
  EXPECT_EQ(info->word_sources[2].type, kSourceRule);
  EXPECT_NE(info->rules_codes, nullptr);
  EXPECT_NE(info->table_codes, nullptr);
  chop_info_free(cc.get(), info);

  // A match across a separator cannot join the words, nor can a rule's
  // word start break into the separator.
  int32_t ch2 = cc.create("phrase");
  cc.regex_rule(ch2, "NEW YORK", "", "", 3);
  cc.regex_rule(ch2, " ", "", "", 1);
  EXPECT_EQ(chop_words(cc.get(), ch2, "NEW YORK CITY"), (Words{"NEW", "YORK", "CITY"}));

  // A lookahead matches nothing, and the pass still moves on.
  int32_t ch3 = cc.create("lookahead");
  cc.regex_rule(ch3, "(?=[A-Z])", "", "", 1);
  EXPECT_EQ(chop_words(cc.get(), ch3, "abCdEf"), (Words{"ab", "Cd", "Ef"}));

  // Only the rules: the table's separators no longer apply.
  chopper_rec* rec = cc.rec(ch);
  rec->table.use_table = 0;
  EXPECT_EQ(chop_words(cc.get(), ch, "AB 12"), (Words{"AB ", "12"}));
}

TEST(ChopRules, FlagsChainRulesAndBadPrerequisitesFailTheChop) {
  ChopContext cc;
  int32_t ch = cc.create("chain");
  cc.regex_rule(ch, "Y", "", "A", 0);
  cc.regex_rule(ch, "[0-9]", "A", "", kRuleBoundaryBefore);
  EXPECT_EQ(chop_words(cc.get(), ch, "1Y2Y3"), (Words{"1Y", "2Y", "3"}));
  // An initial flag holds at the start of every chop; empty output flags
  // clear it.
  uint32_t id = 0;
  ASSERT_EQ(chopper_rules_init_flag_add(cc.get(), ch, "A", &id), 0);
  EXPECT_EQ(chop_words(cc.get(), ch, "X1Z2"), (Words{"X", "1Z2"}));
  EXPECT_EQ(chop_words(cc.get(), ch, "X1Z2"), (Words{"X", "1Z2"}));

  int32_t broken = cc.create("broken");
  cc.regex_rule(broken, "x", "A &", "", 1);
  int32_t rc = 0;
  chop_words(cc.get(), broken, "abc", &rc);
  EXPECT_EQ(rc, -602);
  // With the rules off the same chopper chops.
  ASSERT_EQ(field_set(cc.get(), kRsrcChopper, kChopperUseRules, broken, 0u), 0);
  EXPECT_EQ(chop_words(cc.get(), broken, "abc", &rc), (Words{"abc"}));
  EXPECT_EQ(rc, 0);
}

TEST(ChopRules, VocabularyRulesMatchUppercasedTextAndCutTheOriginal) {
  ChopContext cc;
  make_vocab(cc.get(), "names", {{"MC", 0}, {"MAC", 1}, {"\xC4\xB0" "Z", 0}}, {"PFX", "OTHER"});
  int32_t ch = cc.create("voc");
  uint32_t rule = 0;
  ASSERT_EQ(chopper_vocab_rule_add(cc.get(), ch, "names", "pfx", "", "", kRuleBoundaryAfter, "", &rule), 0)
      << cc.bc.last_error();
  uint32_t errors = 9;
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRuleErrors, ch, rule, &errors), 0);
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(chop_words(cc.get(), ch, "McDonald"), (Words{"Mc", "Donald"}));
  // "MAC" is a word of another category.
  EXPECT_EQ(chop_words(cc.get(), ch, "MacDonald"), (Words{"MacDonald"}));
  char cat[1040];
  uint32_t all = 9;
  EXPECT_EQ(chopper_rule_vocab_category_get(cc.get(), ch, rule, &all, cat), 0);
  EXPECT_EQ(all, 0u);
  EXPECT_STREQ(cat, "PFX");
  EXPECT_EQ(chopper_rule_vocab_get(cc.get(), ch, rule, cat), 0);
  EXPECT_STREQ(cat, "names");
  EXPECT_EQ(chopper_rule_vocab_category_set(cc.get(), ch, rule, "NOPE"), -802);
  EXPECT_EQ(chopper_rule_vocab_category_set(cc.get(), ch, rule, ""), 0);
  EXPECT_EQ(chopper_rule_vocab_category_get(cc.get(), ch, rule, &all, cat), 0);
  EXPECT_EQ(all, 1u);
  EXPECT_EQ(chop_words(cc.get(), ch, "MacDonald"), (Words{"Mac", "Donald"}));

  // Turkish: 'i' uppercases to the two-byte dotted capital I. The cut falls
  // after the one byte of 'i', not inside the next character.
  cc.bc.ctx.current_locale_code = 123000;
  int32_t rc = 0;
  EXPECT_EQ(chop_words(cc.get(), ch, "iz\xC3\xA7", &rc), (Words{"iz", "\xC3\xA7"}));
  EXPECT_EQ(rc, 0);
  cc.bc.ctx.current_locale_code = 800010;
  EXPECT_EQ(chop_words(cc.get(), ch, "iz\xC3\xA7"), (Words{"iz\xC3\xA7"}));

  // A vocabulary that cannot be had: the rule is kept, flagged and skipped.
  uint32_t missing = 0;
  err_list_reset(cc.get());
  ASSERT_EQ(chopper_vocab_rule_add(cc.get(), ch, "nosuch", "PFX", "", "", 3, "", &missing), TQ_WARN_READ_PROBLEMS);
  EXPECT_TRUE(cc.has_error_text("'nosuch'"));
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRuleErrors, ch, missing, &errors), 0);
  EXPECT_EQ(errors, kRuleErrVocab | kRuleErrCategory);
  uint32_t wrong_cat = 0;
  ASSERT_EQ(chopper_vocab_rule_add(cc.get(), ch, "names", "NOPE", "", "", 3, "", &wrong_cat), TQ_WARN_READ_PROBLEMS);
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRuleErrors, ch, wrong_cat, &errors), 0);
  EXPECT_EQ(errors, kRuleErrCategory);
  EXPECT_EQ(chopper_rule_vocab_category_get(cc.get(), ch, wrong_cat, &all, cat), 0);
  EXPECT_EQ(all, 0u);
  EXPECT_STREQ(cat, "");
  EXPECT_EQ(chop_words(cc.get(), ch, "McDonald"), (Words{"Mc", "Donald"}));

  // An empty category name given to the add is refused: the document's
  // empty "Vocab Cat" means any category, which the category setter makes
  // from an empty name; written and read back, it stays any category.
  int32_t ch2 = cc.create("voc2");
  uint32_t empty_cat = 0;
  EXPECT_EQ(chopper_vocab_rule_add(cc.get(), ch2, "names", "", "", "", kRuleBoundaryAfter, "", &empty_cat), -802);
  EXPECT_TRUE(cc.has_error_text("empty category name"));
  ASSERT_EQ(chopper_vocab_rule_add(cc.get(), ch2, "names", "PFX", "", "", kRuleBoundaryAfter, "", &empty_cat), 0);
  EXPECT_EQ(chopper_rule_method_vocab_set(cc.get(), ch2, empty_cat, "names", ""), -802);
  ASSERT_EQ(chopper_rule_vocab_category_set(cc.get(), ch2, empty_cat, ""), 0);
  EXPECT_EQ(chop_words(cc.get(), ch2, "MacDonald"), (Words{"Mac", "Donald"}));
  xmldoc* doc = nullptr;
  ASSERT_EQ(xmldoc_create(cc.get(), "Chopping Table", "7.0", &doc), 0);
  ASSERT_EQ(chopper_rules_write(cc.get(), &cc.rec(ch2)->rules, doc), 0);
  ASSERT_EQ(chopper_rules_list_clear(cc.get(), ch2), 0);
  chopper_rec* rec2 = cc.rec(ch2);
  ASSERT_EQ(chopper_rules_read(cc.get(), doc, chopper_name(rec2), chopper_lock(rec2), &rec2->rules), 0);
  xml_free(cc.get(), doc);
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRuleErrors, ch2, 0, &errors), 0);
  EXPECT_EQ(errors, 0u);
  EXPECT_EQ(chopper_rule_vocab_category_get(cc.get(), ch2, 0, &all, cat), 0);
  EXPECT_EQ(all, 1u);
  EXPECT_EQ(chop_words(cc.get(), ch2, "McDonald"), (Words{"Mc", "Donald"}));
}

// A rule's category is found alike whichever locale is current: Turkish
// must not make "given" "G\u0130VEN" when a rule is added, its category set,
// or a chopper written under English is read back.
TEST(ChopRules, CategoryFoundAlikeUnderEveryLocale) {
  ChopContext cc;
  make_vocab(cc.get(), "names", {{"MC", 0}}, {"GIVEN"});
  const int32_t ch = cc.create("voc");
  uint32_t english = 0;
  ASSERT_EQ(chopper_vocab_rule_add(cc.get(), ch, "names", "given", "", "", kRuleBoundaryAfter, "", &english), 0);
  xmldoc* doc = nullptr;
  ASSERT_EQ(xmldoc_create(cc.get(), "Chopping Table", "7.0", &doc), 0);
  ASSERT_EQ(chopper_rules_write(cc.get(), &cc.rec(ch)->rules, doc), 0);
  cc.bc.ctx.current_locale_code = 123000;
  uint32_t turkish = 0;
  EXPECT_EQ(chopper_vocab_rule_add(cc.get(), ch, "names", "given", "", "", kRuleBoundaryAfter, "", &turkish), 0)
      << cc.bc.last_error();
  EXPECT_EQ(chopper_rule_vocab_category_set(cc.get(), ch, english, "given"), 0) << cc.bc.last_error();
  ASSERT_EQ(chopper_rules_list_clear(cc.get(), ch), 0);
  chopper_rec* rec = cc.rec(ch);
  ASSERT_EQ(chopper_rules_read(cc.get(), doc, chopper_name(rec), chopper_lock(rec), &rec->rules), 0);
  xml_free(cc.get(), doc);
  uint32_t errors = 9;
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRuleErrors, ch, 0, &errors), 0);
  EXPECT_EQ(errors, 0u);
}

TEST(ChopRules, DocumentWithoutRulesPartTurnsRulesOff) {
  ChopContext cc;
  int32_t ch = cc.create("plain");
  xmldoc* doc = nullptr;
  ASSERT_EQ(xmldoc_create(cc.get(), "Chopping Table", "7.0", &doc), 0);
  ASSERT_EQ(xmldoc_prop_add(cc.get(), doc, "Use Rules", "Yes"), 0);
  chopper_rec* rec = cc.rec(ch);
  EXPECT_EQ(chopper_rules_read(cc.get(), doc, chopper_name(rec), chopper_lock(rec), &rec->rules), 0);
  EXPECT_EQ(rec->rules.use_rules, 0u);
  // With the part written by the chopper itself, "Use Rules" comes back.
  cc.regex_rule(ch, "x", "", "", 1);
  ASSERT_EQ(chopper_rules_write(cc.get(), &rec->rules, doc), 0);
  ASSERT_EQ(chopper_rules_list_clear(cc.get(), ch), 0);
  ASSERT_EQ(xmldoc_prop_set(cc.get(), doc, "Use Rules", "Yes"), 0);
  EXPECT_EQ(chopper_rules_read(cc.get(), doc, chopper_name(rec), chopper_lock(rec), &rec->rules), 0);
  EXPECT_EQ(rec->rules.use_rules, 1u);
  uint32_t count = 0;
  EXPECT_EQ(chopper_rules_list_count(cc.get(), ch, &count), 0);
  EXPECT_EQ(count, 1u);
  xml_free(cc.get(), doc);
}

// ---- The resource: save, reload, failed loads --------------------------------------------------------

TEST(ChopperResource, SavedChopperReloadsWithTheSameTableRulesAndNames) {
  tq_test::TempDir dir;
  {
    ChopContext cc(dir.str());
    make_vocab(cc.get(), "names", {{"MC", 0}}, {"PFX"});
    int32_t ch = cc.create("roundtrip");
    ASSERT_EQ(chopper_table_char_metadata_set_begin(cc.get(), ch), 0);
    ASSERT_EQ(chopper_table_char_metadata_set(cc.get(), ch, 0xA0, "NO-BREAK SPACE", 6, 1), 0);
    ASSERT_EQ(chopper_table_char_metadata_set(cc.get(), ch, 0x4E00, "CJK", 4, 0), 0);
    ASSERT_EQ(chopper_table_char_metadata_set(cc.get(), ch, '#', "HASH", 0, 2), 0);
    ASSERT_EQ(chopper_table_char_metadata_set_end(cc.get(), ch), 0);
    ASSERT_EQ(field_set(cc.get(), kRsrcChopper, kChopperImplicitSep, ch, 1u), 0);
    uint32_t id = 0;
    ASSERT_EQ(chopper_rules_init_flag_add(cc.get(), ch, "START", &id), 0);
    cc.regex_rule(ch, "Q+", "START | AFTER", "AFTER,NUM", 3);
    ASSERT_EQ(chopper_vocab_rule_add(cc.get(), ch, "names", "PFX", "!NUM", "", 2, "prefixes", &id), 0);
    ASSERT_EQ(chopper_vocab_rule_add(cc.get(), ch, "nosuch", "GONE", "", "", 2, "", &id), TQ_WARN_READ_PROBLEMS);
    ASSERT_EQ(rsrc_vault_info_set(cc.get(), kChopperAccess, ch, "RT vault", "for tests"), 0);
    ASSERT_EQ(rsrc_owner_set(cc.get(), kChopperAccess, ch, "tester"), 0);
    std::strcpy(cc.rec(ch)->slot->version, "9.5");
    lock_handle* lock = nullptr;
    ASSERT_EQ(lock_init(cc.get(), reinterpret_cast<tq_lock_handle**>(&lock)), 0);
    ASSERT_EQ(chopper_edit_new(cc.get(), dir.str().c_str(), "roundtrip", lock), 0) << cc.bc.last_error();
    ASSERT_EQ(chopper_save(cc.get(), ch, lock), 0) << cc.bc.last_error();
    lock_free(cc.get(), lock);
    // After "QQ" the flag NUM keeps the vocabulary rule from firing.
    EXPECT_EQ(chop_words(cc.get(), ch, "QQxMc"), (Words{"QQ", "xMc"}));
    // The vocabulary rule clears START, so "QQ" is left to the table.
    EXPECT_EQ(chop_words(cc.get(), ch, "McQQ"), (Words{"Mc", "QQ"}));
  }
  ChopContext cc(dir.str());
  make_vocab(cc.get(), "names", {{"MC", 0}}, {"PFX"});
  int32_t ch = -1;
  ASSERT_EQ(chopper_load(cc.get(), "roundtrip", &ch), 0) << cc.bc.last_error();
  chopper_rec* rec = nullptr;
  ASSERT_EQ(chopper_get(cc.get(), ch, &rec), 0) << cc.bc.last_error();
  ASSERT_EQ(rec->table.count, 130u);
  EXPECT_EQ(rec->table.entries[128].code_point, 0x4E00u);
  EXPECT_EQ(rec->table.entries[129].code_point, 0xA0u);
  EXPECT_STREQ(rec->table.entries[129].description, "NO-BREAK SPACE");
  EXPECT_EQ(rec->table.entries['#'].operation, kOperSuppress);
  EXPECT_EQ(rec->table.implicit_sep, 1u);
  EXPECT_EQ(rec->rules.use_rules, 1u);
  EXPECT_EQ(rec->locale.code, 800010);
  EXPECT_STREQ(rec->locale.iso, "GB");
  EXPECT_STREQ(rec->vault.name, "RT vault");
  EXPECT_STREQ(rec->vault.description, "for tests");
  EXPECT_STREQ(rec->slot->owner, "tester");
  // A version newer than the engine's is read with a warning.
  EXPECT_STREQ(rec->slot->version, "9.5");
  EXPECT_EQ(rec->slot->version_supported, 0u);
  uint32_t count = 0;
  ASSERT_EQ(chopper_rules_list_count(cc.get(), ch, &count), 0);
  ASSERT_EQ(count, 3u);
  uint32_t ids[3];
  ASSERT_EQ(chopper_rules_list_get(cc.get(), ch, ids), 0);
  char text[4100];
  EXPECT_EQ(chopper_rule_regex_get(cc.get(), ch, ids[0], text), 0);
  EXPECT_STREQ(text, "Q+");
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRulePrereq, ch, ids[0], text), 0);
  EXPECT_STREQ(text, "START | AFTER");
  uint32_t flags[256];
  uint32_t n = 0;
  EXPECT_EQ(chopper_rule_output_flags_get(cc.get(), ch, ids[0], flags, &n), 0);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(chopper_rules_init_flags_get(cc.get(), ch, flags, &n), 0);
  ASSERT_EQ(n, 1u);
  EXPECT_EQ(chopper_rules_flag_name_get(cc.get(), ch, flags[0], text), 0);
  EXPECT_STREQ(text, "START");
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRuleNotes, ch, ids[1], text), 0);
  EXPECT_STREQ(text, "prefixes");
  uint32_t errors = 9;
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRuleErrors, ch, ids[1], &errors), 0);
  EXPECT_EQ(errors, 0u);
  // A vocabulary that could not be had keeps the names it was given.
  EXPECT_EQ(field_get(cc.get(), kRsrcChopper, kChopperRuleErrors, ch, ids[2], &errors), 0);
  EXPECT_EQ(errors, kRuleErrVocab | kRuleErrCategory);
  chopper_rule* kept = chopper_rule_find(&rec->rules, ids[2]);
  ASSERT_NE(kept, nullptr);
  EXPECT_STREQ(kept->vocab_name, "nosuch");
  EXPECT_STREQ(kept->category_name, "GONE");
  EXPECT_EQ(chop_words(cc.get(), ch, "A\xC2\xA0" "B12#C QQx"), (Words{"A", "B", "12", "C", "QQ", "x"}));
  EXPECT_EQ(chop_words(cc.get(), ch, "McQQ"), (Words{"Mc", "QQ"}));
  ASSERT_EQ(field_set(cc.get(), kRsrcChopper, kChopperImplicitSep, ch, 0u), 0);
  EXPECT_EQ(chop_words(cc.get(), ch, "B12 x"), (Words{"B12", "x"}));
}

TEST(ChopperResource, EditLocksTheFileAndSavesBackThroughTheLock) {
  tq_test::TempDir dir;
  {
    ChopContext cc(dir.str());
    int32_t ch = cc.create("edited");
    lock_handle* lock = nullptr;
    ASSERT_EQ(lock_init(cc.get(), reinterpret_cast<tq_lock_handle**>(&lock)), 0);
    ASSERT_EQ(chopper_edit_new(cc.get(), dir.str().c_str(), "edited", lock), 0);
    ASSERT_EQ(chopper_save(cc.get(), ch, lock), 0) << cc.bc.last_error();
    lock_free(cc.get(), lock);
  }
  ChopContext cc(dir.str());
  lock_handle* lock = nullptr;
  ASSERT_EQ(lock_init(cc.get(), reinterpret_cast<tq_lock_handle**>(&lock)), 0);
  int32_t ch = -1;
  ASSERT_EQ(chopper_edit(cc.get(), "edited", lock, &ch), 0);
  uint32_t count = 0;
  // The first use reads it for editing, which locks its file.
  ASSERT_EQ(chopper_table_char_count_get(cc.get(), ch, &count), 0) << cc.bc.last_error();
  EXPECT_EQ(lock->held, 1u);
  ASSERT_EQ(chopper_table_char_metadata_set_begin(cc.get(), ch), 0);
  ASSERT_EQ(chopper_table_char_metadata_set(cc.get(), ch, '/', "SOLIDUS", 6, 1), 0);
  ASSERT_EQ(chopper_table_char_metadata_set_end(cc.get(), ch), 0);
  ASSERT_EQ(chopper_save(cc.get(), ch, lock), 0) << cc.bc.last_error();
  EXPECT_EQ(lock_handle_close(cc.get(), lock), 0);
  EXPECT_EQ(lock->held, 0u);
  lock_free(cc.get(), lock);

  ChopContext reader(dir.str());
  ASSERT_EQ(chopper_load(reader.get(), "edited", &ch), 0);
  EXPECT_EQ(chop_words(reader.get(), ch, "a/b"), (Words{"a", "b"}));
}

TEST(ChopperResource, FailedLoadKeepsTheRegistrationAndCreateNeedsALocale) {
  tq_test::TempDir dir;
  ChopContext cc(dir.str());
  int32_t ch = -1;
  // No file at all: refused at registration.
  EXPECT_EQ(chopper_load(cc.get(), "absent", &ch), -400);
  // A file that is not a chopper document: the registration stays, each use
  // fails again.
  xmldoc* doc = nullptr;
  ASSERT_EQ(xmldoc_create(cc.get(), "Chopping Table", "7.0", &doc), 0);
  ASSERT_EQ(xmldoc_write(cc.get(), (dir.str() + "/nolocale").c_str(), kXmlFlagVault, doc), 0);
  xml_free(cc.get(), doc);
  ASSERT_EQ(chopper_load(cc.get(), "nolocale", &ch), 0);
  chopper_rec* rec = nullptr;
  EXPECT_EQ(chopper_get(cc.get(), ch, &rec), -300);
  EXPECT_TRUE(cc.has_error_text("locale of chopper 'nolocale'"));
  EXPECT_EQ(chopper_get(cc.get(), ch, &rec), -300);
  int32_t again = -1;
  EXPECT_EQ(rsrc_index_get_by_name(cc.get(), kChopperAccess, "nolocale", &again), 0);
  EXPECT_EQ(again, ch);
  EXPECT_EQ(rsrc_unload(cc.get(), kChopperAccess, ch), 0);
  EXPECT_EQ(rsrc_index_get_by_name(cc.get(), kChopperAccess, "nolocale", &again), -404);
  EXPECT_EQ(rsrc_unload(cc.get(), kChopperAccess, ch), -800);

  cc.bc.ctx.current_locale_code = 0;
  EXPECT_EQ(chopper_create(cc.get(), "fresh", &ch), -707);
  cc.bc.ctx.current_locale_code = 800010;
  EXPECT_EQ(chopper_create(cc.get(), "fresh", &ch), 0);
  EXPECT_EQ(chopper_create(cc.get(), "fresh", &again), -407);
}

}  // namespace

// Grammars through the exported interface: built in edit mode, refused
// edits, saved, loaded again by a plain context, and documents changed by
// hand.
#include <filesystem>
#include <string>
#include <vector>

#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;
namespace fs = std::filesystem;

struct Kb {
  TempDir dir;
  Kb() {
    fs::create_directories(dir / "grammar");
    fs::create_directories(dir / "locale");
  }
  std::string root() const { return dir.str(); }
  std::string folder() const { return (dir / "grammar").string(); }
  std::string file(const char* name) const { return (dir / "grammar" / name).string(); }
  // ENUSA loaded and current.
  void locales(tq_context* ctx) const {
    const char* files[][3] = {{"l1.loc", "ISO-8859-1 (Latin-1)", ""},
                              {"en.loc", "English", "l1.loc"},
                              {"enusa.loc", "English (United States)", ""}};
    for (const auto& [f, description, parent] : files) {
      tq_test::write_locale_settings(ctx, dir.path(), f, description, parent);
    }
    ASSERT_TQ_OK(ctx, tq_zel_locale_load(ctx, 29840, 0));
  }
};

// Category cat_index's rules as "PRIORITY:A B ..." texts.
std::vector<std::string> rules_of(tq_context* ctx, int32_t g, int32_t cat) {
  char abbrev[1100], name[1100];
  uint32_t count = 0;
  EXPECT_EQ(tq_grammar_category_info_get(ctx, g, cat, abbrev, name, &count), 0);
  std::vector<std::string> out;
  for (uint32_t r = 0; r < count; ++r) {
    int32_t priority = 0;
    uint32_t n = 0;
    EXPECT_EQ(tq_grammar_rule_info_get(ctx, g, cat, static_cast<int32_t>(r), &priority, &n), 0);
    std::string text = std::to_string(priority) + ":";
    for (uint32_t p = 0; p < n; ++p) {
      EXPECT_EQ(tq_grammar_rule_category_abbrev_get(ctx, g, cat, static_cast<int32_t>(r), static_cast<int32_t>(p),
                                                    abbrev),
                0);
      text += (p > 0 ? " " : "") + std::string(abbrev);
    }
    out.push_back(text);
  }
  return out;
}

int32_t index_of(tq_context* ctx, int32_t g, const char* abbrev) {
  uint32_t count = 0;
  EXPECT_EQ(tq_grammar_category_count_get(ctx, g, &count), 0);
  for (uint32_t c = 0; c < count; ++c) {
    char name[200];
    EXPECT_EQ(tq_grammar_syntactic_category_name_get(ctx, g, static_cast<int32_t>(c), name), 0);
    if (std::string(name) == abbrev) return static_cast<int32_t>(c);
  }
  return -1;
}

TEST(GrammarApi, BuildRefuseSaveAndReload) {
  Kb kb;
  {
    Context ctx(kb.root().c_str(), true);
    kb.locales(ctx);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    ASSERT_TQ_OK(ctx, tq_grammar_edit_new(ctx, kb.folder().c_str(), "g", lock));
    int32_t g = -1;
    ASSERT_TQ_OK(ctx, tq_grammar_create(ctx, "g", &g));
    // Categories S, B, A (in that order); a name in other letter case is the same name.
    ASSERT_TQ_OK(ctx, tq_grammar_category_add(ctx, g, "s", "Sentence"));
    ASSERT_TQ_OK(ctx, tq_grammar_category_add(ctx, g, "B", "Bee"));
    ASSERT_TQ_OK(ctx, tq_grammar_category_add(ctx, g, "A", "Ay"));
    EXPECT_EQ(tq_grammar_category_add(ctx, g, "a", "again"), -300);
    uint32_t count = 0;
    ASSERT_EQ(tq_grammar_category_count_get(ctx, g, &count), 0);
    EXPECT_EQ(count, 3u);

    // Rules of S: [A B] at 70, then [B] at 50.
    EXPECT_EQ(tq_grammar_rule_add(ctx, g, 0, 9), -802);
    EXPECT_EQ(tq_grammar_rule_add(ctx, g, 0, 91), -802);
    EXPECT_EQ(tq_grammar_rule_add(ctx, g, 3, 50), -800);
    ASSERT_TQ_OK(ctx, tq_grammar_rule_add(ctx, g, 0, 70));
    EXPECT_EQ(tq_grammar_rule_add(ctx, g, 0, 50), -300);  // a second empty right side
    EXPECT_EQ(tq_grammar_rule_category_add(ctx, g, 0, 0, "nothing"), -801);
    EXPECT_EQ(tq_grammar_rule_category_add(ctx, g, 0, 1, "a"), -800);
    EXPECT_EQ(tq_grammar_rule_category_add(ctx, g, 1, 0, "a"), -800);  // terminal
    ASSERT_TQ_OK(ctx, tq_grammar_rule_category_add(ctx, g, 0, 0, "a"));
    ASSERT_TQ_OK(ctx, tq_grammar_rule_category_add(ctx, g, 0, 0, "b"));
    ASSERT_TQ_OK(ctx, tq_grammar_rule_add(ctx, g, 0, 50));
    ASSERT_TQ_OK(ctx, tq_grammar_rule_category_add(ctx, g, 0, 1, "B"));
    EXPECT_EQ(rules_of(ctx, g, 0), (std::vector<std::string>{"70:A B", "50:B"}));

    // Terminal categories: no rules, not derived.
    char abbrev[1100], name[1100];
    uint32_t rules = 9;
    int32_t priority = 5, derived = 7;
    EXPECT_EQ(tq_grammar_category_info_get(ctx, g, 2, abbrev, name, &rules), 0);
    EXPECT_STREQ(abbrev, "A");
    EXPECT_STREQ(name, "Ay");
    EXPECT_EQ(rules, 0u);
    EXPECT_EQ(tq_grammar_rule_info_get(ctx, g, 2, 0, &priority, &rules), -800);
    EXPECT_EQ(tq_grammar_syntactic_category_info_get(ctx, g, 2, name, &derived), 0);
    EXPECT_EQ(derived, 0);
    EXPECT_EQ(tq_grammar_syntactic_category_info_get(ctx, g, 0, name, &derived), 0);
    EXPECT_EQ(derived, 1);
    EXPECT_EQ(tq_grammar_syntactic_category_desc_get(ctx, g, 0, name), 0);
    EXPECT_STREQ(name, "Sentence");
    EXPECT_EQ(tq_grammar_category_info_get(ctx, g, 3, abbrev, name, &rules), -800);
    EXPECT_EQ(tq_grammar_category_info_get(ctx, g, -1, abbrev, name, &rules), -800);

    // Two rules alike, made through the editor, are refused at save and
    // nothing is written; once they differ again the grammar saves.
    ASSERT_TQ_OK(ctx, tq_grammar_rule_add(ctx, g, 1, 60));
    ASSERT_TQ_OK(ctx, tq_grammar_rule_category_add(ctx, g, 1, 0, "A"));
    ASSERT_TQ_OK(ctx, tq_grammar_rule_add(ctx, g, 1, 40));
    ASSERT_TQ_OK(ctx, tq_grammar_rule_category_add(ctx, g, 1, 1, "A"));
    const auto before = fs::file_size(kb.file("g.zel"));
    EXPECT_EQ(tq_grammar_save(ctx, g, lock), -300);
    EXPECT_EQ(fs::file_size(kb.file("g.zel")), before);
    ASSERT_TQ_OK(ctx, tq_grammar_rule_category_add(ctx, g, 1, 1, "A"));  // [A A]
    ASSERT_TQ_OK(ctx, tq_grammar_owner_set(ctx, g, "Grammar team"));
    ASSERT_TQ_OK(ctx, tq_grammar_vault_info_set(ctx, g, "g", "Test grammar"));
    ASSERT_TQ_OK(ctx, tq_grammar_save(ctx, g, lock));
    EXPECT_EQ(tq_grammar_close(ctx, lock), 0);
    tq_lock_free(ctx, lock);
  }
  {
    // Read back: categories and rules in the order the grammar held them,
    // each at the index it had before the save.
    Context ctx(kb.root().c_str());
    int32_t g = -1;
    EXPECT_EQ(tq_grammar_create(ctx, "other", &g), -501);
    ASSERT_TQ_OK(ctx, tq_grammar_load(ctx, "g", &g));
    int32_t same = -1;
    ASSERT_TQ_OK(ctx, tq_grammar_index_get_by_name(ctx, "g", &same));
    EXPECT_EQ(same, g);
    EXPECT_EQ(index_of(ctx, g, "S"), 0);
    EXPECT_EQ(index_of(ctx, g, "B"), 1);
    EXPECT_EQ(index_of(ctx, g, "A"), 2);
    EXPECT_EQ(rules_of(ctx, g, 0), (std::vector<std::string>{"70:A B", "50:B"}));
    EXPECT_EQ(rules_of(ctx, g, 1), (std::vector<std::string>{"60:A", "40:A A"}));
    char owner[400], iso[40], desc[400];
    int32_t code = 0;
    EXPECT_EQ(tq_grammar_owner_get(ctx, g, owner), 0);
    EXPECT_STREQ(owner, "Grammar team");
    EXPECT_EQ(tq_grammar_locale_info_get(ctx, g, iso, desc, &code), 0);
    EXPECT_STREQ(iso, "ENUSA");
    EXPECT_EQ(code, 29840);
    EXPECT_EQ(tq_grammar_unload(ctx, g), 0);
    EXPECT_EQ(tq_grammar_unload(ctx, g), -800);
    int32_t missing = 5;
    EXPECT_EQ(tq_grammar_load(ctx, "nothing", &missing), -400);
    EXPECT_EQ(missing, -1);
  }
}

TEST(GrammarApi, ALocaleIsNeededToSave) {
  Kb kb;
  Context ctx(kb.root().c_str(), true);
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
  ASSERT_TQ_OK(ctx, tq_grammar_edit_new(ctx, kb.folder().c_str(), "g", lock));
  int32_t g = -1;
  ASSERT_TQ_OK(ctx, tq_grammar_create(ctx, "g", &g));  // no locale is current
  ASSERT_TQ_OK(ctx, tq_grammar_category_add(ctx, g, "N", "Noun"));
  EXPECT_EQ(tq_grammar_save(ctx, g, lock), -300);
  ASSERT_TQ_OK(ctx, tq_grammar_locale_info_set(ctx, g, "EN", "English", 29000));
  EXPECT_TQ_OK(ctx, tq_grammar_save(ctx, g, lock));
  EXPECT_EQ(tq_grammar_close(ctx, lock), 0);
  EXPECT_EQ(tq_grammar_unload(ctx, g), 0);
  // Edited again through a lock handle: the file is locked until closed.
  ASSERT_TQ_OK(ctx, tq_grammar_edit(ctx, "g", lock, &g));
  ASSERT_TQ_OK(ctx, tq_grammar_category_add(ctx, g, "V", "Verb"));
  EXPECT_TQ_OK(ctx, tq_grammar_save(ctx, g, lock));
  uint32_t count = 0;
  EXPECT_EQ(tq_grammar_category_count_get(ctx, g, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(tq_grammar_close(ctx, lock), 0);
  // Edited again while it is still loaded: the edit locks the file for the
  // handle all the same, so the save is not refused for a handle holding
  // nothing.
  int32_t again = -1;
  ASSERT_TQ_OK(ctx, tq_grammar_edit(ctx, "g", lock, &again));
  EXPECT_EQ(again, g);
  EXPECT_TQ_OK(ctx, tq_grammar_save(ctx, g, lock));
  EXPECT_EQ(tq_grammar_close(ctx, lock), 0);
  tq_lock_free(ctx, lock);
}

// A saved grammar whose "Rule" text is changed by hand: names are uppercased
// on reading; a text with fewer names than its count fails the load, and
// the registrant keeps its reference.
TEST(GrammarApi, RuleTextsReadFromAFile) {
  Kb kb;
  Context ctx(kb.root().c_str(), true);
  kb.locales(ctx);
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
  ASSERT_TQ_OK(ctx, tq_grammar_edit_new(ctx, kb.folder().c_str(), "g", lock));
  int32_t g = -1;
  ASSERT_TQ_OK(ctx, tq_grammar_create(ctx, "g", &g));
  for (const char* c : {"S", "A", "B"}) ASSERT_TQ_OK(ctx, tq_grammar_category_add(ctx, g, c, c));
  ASSERT_TQ_OK(ctx, tq_grammar_rule_add(ctx, g, 0, 50));
  ASSERT_TQ_OK(ctx, tq_grammar_rule_category_add(ctx, g, 0, 0, "B"));
  ASSERT_TQ_OK(ctx, tq_grammar_rule_category_add(ctx, g, 0, 0, "A"));
  ASSERT_TQ_OK(ctx, tq_grammar_save(ctx, g, lock));
  EXPECT_EQ(tq_grammar_close(ctx, lock), 0);
  tq_lock_free(ctx, lock);
  EXPECT_EQ(tq_grammar_unload(ctx, g), 0);

  struct Case {
    const char* text;
    int32_t rc;
    const char* rules;
  };
  for (const Case& c : {Case{"a|b|", 0, "50:A B"}, Case{"a|b|a|", 0, "50:A B"}, Case{"a|", -300, ""},
                        Case{"a|x|", -300, ""}}) {
    SCOPED_TRACE(c.text);
    tq_xmldoc* doc = nullptr;
    ASSERT_TQ_OK(ctx, tq_xml_read(ctx, kb.file("g.zel").c_str(), 1 | 8, &doc));
    ASSERT_TQ_OK(ctx, tq_xml_setrecstring(ctx, doc, 0, 2, c.text));  // the "Rule" field
    ASSERT_TQ_OK(ctx, tq_xml_write(ctx, 0, kb.file("g.zel").c_str(), 1 | 8, doc));
    tq_xml_free(ctx, doc);
    ASSERT_TQ_OK(ctx, tq_grammar_load(ctx, "g", &g));
    uint32_t count = 0;
    EXPECT_EQ(tq_grammar_category_count_get(ctx, g, &count), c.rc);
    if (c.rc == 0) {
      EXPECT_EQ(rules_of(ctx, g, index_of(ctx, g, "S")), std::vector<std::string>{c.rules});
    } else {
      // Still registered: the next use tries again.
      EXPECT_EQ(tq_grammar_category_count_get(ctx, g, &count), c.rc);
    }
    EXPECT_EQ(tq_grammar_unload(ctx, g), 0);
  }
}

}  // namespace

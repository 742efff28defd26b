// Every resource writer against its reader: each row builds an edge state
// through the exports (empty, partly filled, a setter's odd value), saves
// it, and either loads it again in a fresh context and compares what the
// getters give, or expects the save (or the setter) to refuse and the file
// on disk to be as it was.
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;
namespace fs = std::filesystem;

constexpr int32_t kEnUsa = 29840;

struct Kb {
  TempDir dir;
  Kb() {
    for (const char* f : {"chopinfo", "grammar", "locale", "phonetx", "regexlib", "scheme", "vocab"}) {
      fs::create_directories(dir / f);
    }
  }
  std::string folder(const char* kind) const { return (dir / kind).string(); }
  // ENUSA loaded and current, texts in UTF-8.
  void locale(tq_context* ctx) const {
    const char* files[][3] = {{"l1.loc", "ISO-8859-1 (Latin-1)", ""},
                              {"en.loc", "English", "l1.loc"},
                              {"enusa.loc", "English (United States)", ""}};
    for (const auto& [f, description, parent] : files) {
      if (!fs::exists(dir / "locale" / (std::string(f) + ".zel"))) {
        tq_test::write_locale_settings(ctx, dir.path(), f, description, parent);
      }
    }
    ASSERT_TQ_OK(ctx, tq_zel_locale_load(ctx, kEnUsa, 0));
    ASSERT_EQ(tq_session_encoding_set(ctx, 13), 0);
  }
};

uint32_t count_of(int32_t (*get)(tq_context*, int32_t, uint32_t*), tq_context* ctx, int32_t i) {
  uint32_t n = 999;
  EXPECT_EQ(get(ctx, i, &n), 0) << tq_test::error_list_text(ctx);
  return n;
}

std::string text_of(int32_t rc, const char* text) { return rc >= 0 ? text : "rc " + std::to_string(rc); }

// What the getters of each kind give, compared before the save (in the
// editing context) and after it (in a fresh context that loaded the file).
std::string regex_look(tq_context* ctx, int32_t i) {
  int32_t matched = -1;
  const int32_t rc = tq_regexlib_match(ctx, i, "AB-12", &matched);
  return std::to_string(count_of(tq_regexlib_rule_count_get, ctx, i)) + " match " + std::to_string(rc) + "/" +
         std::to_string(matched);
}

std::string vocab_look(tq_context* ctx, int32_t i) {
  std::string out = std::to_string(count_of(tq_vocab_numcats_get, ctx, i)) + " cats";
  const uint32_t words = count_of(tq_vocab_numwords_get, ctx, i);
  for (uint32_t w = 0; w < words; ++w) {
    char word[1100] = "";
    uint32_t cats = 0;
    EXPECT_EQ(tq_vocab_word_get(ctx, i, w, word, &cats), 0);
    out += std::string(" ") + word + ":" + std::to_string(cats);
  }
  return out;
}

std::string scheme_look(tq_context* ctx, int32_t i) {
  uint32_t options = 0, sens = 0;
  int32_t mdefn = 0;
  EXPECT_EQ(tq_transf_scheme_options_get(ctx, i, &options, &mdefn, &sens), 0);
  std::string out = "options " + std::to_string(options & 0x2FF) + " mdefn " + std::to_string(mdefn);
  const uint32_t n = count_of(tq_scheme_element_count_get, ctx, i);
  for (uint32_t e = 0; e < n; ++e) {
    char data[1100] = "";
    out += " [" + text_of(tq_scheme_element_data_get(ctx, i, e, data), data) + "]";
  }
  return out;
}

std::string chopper_look(tq_context* ctx, int32_t i) {
  uint32_t table = 9, rules = 9, chars = 0;
  // The first use reads a chopper loaded from its file: 105 when one of
  // its rules' vocabularies cannot be had.
  EXPECT_TQ_OK(ctx, tq_chopper_table_enabled_get(ctx, i, &table));
  EXPECT_EQ(tq_chopper_rules_enabled_get(ctx, i, &rules), 0);
  const int32_t crc = tq_chopper_table_char_count_get(ctx, i, &chars);
  return "table " + std::to_string(table) + " rules " + std::to_string(rules) + " chars " +
         (crc == 0 ? std::to_string(chars) : "rc " + std::to_string(crc)) + " list " +
         std::to_string(count_of(tq_chopper_rules_list_count, ctx, i));
}

std::string grammar_look(tq_context* ctx, int32_t i) {
  const uint32_t n = count_of(tq_grammar_category_count_get, ctx, i);
  std::string out = std::to_string(n) + " categories";
  for (uint32_t c = 0; c < n; ++c) {
    char abbrev[1100] = "", name[1100] = "";
    uint32_t rules = 0;
    EXPECT_EQ(tq_grammar_category_info_get(ctx, i, static_cast<int32_t>(c), abbrev, name, &rules), 0);
    out += std::string(" ") + abbrev + ":" + std::to_string(rules);
  }
  return out;
}

std::string phonetx_look(tq_context* ctx, int32_t i) {
  // Compiled once for use; a set read from its file is compiled already.
  (void)tq_phonetx_prepare(ctx, i);
  char out[1100] = "";
  return text_of(tq_phonetx_execute(ctx, i, "PHQ Q", out, sizeof out), out);
}

// The resource kinds: where a row's file lives, and how it is made in edit
// mode (its file made by edit_new), saved, loaded again and looked at.
enum class Kind { regex, vocab, scheme, chopper, grammar, phonetx };
struct KindOps {
  const char* folder;
  const char* file;  // as the folder holds it
  int32_t (*save)(tq_context*, int32_t, tq_lock_handle*);
  std::string (*look)(tq_context*, int32_t);
};
const KindOps& ops(Kind k) {
  static const KindOps table[] = {
      {"regexlib", "rl.zel", tq_regexlib_save, regex_look},     {"vocab", "vv.zev", tq_vocab_save, vocab_look},
      {"scheme", "sc.sch.zel", tq_scheme_write, scheme_look},   {"chopinfo", "ch.zel", tq_chopper_save, chopper_look},
      {"grammar", "gr.zel", tq_grammar_save, grammar_look},     {"phonetx", "ph.zel", tq_phonetx_save, phonetx_look},
  };
  return table[static_cast<int>(k)];
}

int32_t make(tq_context* ctx, const Kb& kb, Kind k, tq_lock_handle* lock) {
  const std::string folder = kb.folder(ops(k).folder);
  const char* f = folder.c_str();
  int32_t i = -1;
  switch (k) {
    case Kind::regex:
      EXPECT_TQ_OK(ctx, tq_regexlib_edit_new(ctx, f, "rl", lock));
      EXPECT_TQ_OK(ctx, tq_regexlib_create(ctx, "rl", &i));
      break;
    case Kind::vocab:
      EXPECT_TQ_OK(ctx, tq_vocab_edit_new(ctx, f, "vv", lock));
      EXPECT_TQ_OK(ctx, tq_vocabulary_create(ctx, &i));
      EXPECT_EQ(tq_vocab_locale_info_set(ctx, i, "ENUSA", "English (United States)", kEnUsa), 0);
      break;
    case Kind::scheme:
      EXPECT_TQ_OK(ctx, tq_scheme_create(ctx, f, "sc", 0, lock, &i));
      break;
    case Kind::chopper:
      EXPECT_TQ_OK(ctx, tq_chopper_edit_new(ctx, f, "ch", lock));
      EXPECT_TQ_OK(ctx, tq_chopper_create(ctx, "ch", &i));
      break;
    case Kind::grammar:
      EXPECT_TQ_OK(ctx, tq_grammar_edit_new(ctx, f, "gr", lock));
      EXPECT_TQ_OK(ctx, tq_grammar_create(ctx, "gr", &i));
      break;
    case Kind::phonetx:
      EXPECT_TQ_OK(ctx, tq_phonetx_edit_new(ctx, f, "ph", lock));
      EXPECT_TQ_OK(ctx, tq_phonetx_create(ctx, "ph", &i));
      break;
  }
  return i;
}

// A fresh edit-mode context on the knowledge base, ENUSA current, with a
// lock handle and the kind's resource made (its index, -1 when not).
struct Made {
  Context ctx;
  tq_lock_handle* lock = nullptr;
  int32_t i = -1;
  Made(const Kb& kb, Kind k) : ctx(kb.dir.str().c_str(), true) {
    kb.locale(ctx);
    if (tq_lock_init(ctx, &lock) != 0) return;
    i = make(ctx, kb, k, lock);
  }
  ~Made() {
    if (lock != nullptr) tq_lock_free(ctx, lock);
  }
  Made(const Made&) = delete;
  Made& operator=(const Made&) = delete;
};

// Loads the saved resource in a fresh context (a scheme for editing, which
// keeps its entries readable).
int32_t load(tq_context* ctx, Kind k, tq_lock_handle* lock) {
  int32_t i = -1;
  int32_t rc = 0;
  switch (k) {
    case Kind::regex: rc = tq_regexlib_load(ctx, "rl", nullptr, &i); break;
    case Kind::vocab: rc = tq_vocabulary_load(ctx, "vv", nullptr, &i); break;
    case Kind::scheme: rc = tq_scheme_load_edit(ctx, "sc", lock, &i); break;
    case Kind::chopper: rc = tq_chopper_load(ctx, "ch", &i); break;
    case Kind::grammar: rc = tq_grammar_load(ctx, "gr", &i); break;
    case Kind::phonetx: rc = tq_phonetx_load(ctx, "ph", &i); break;
  }
  EXPECT_GE(rc, 0) << tq_test::error_list_text(ctx);
  return i;
}

// Fills a made vocabulary: its categories (abbreviation, name), prepared,
// then its words, each with one category.
struct VocabWord {
  const char* text;
  const char* abbrev;
  int32_t likelihood;
};
void vocab_fill(tq_context* ctx, int32_t i, const std::vector<std::pair<const char*, const char*>>& categories,
                const std::vector<VocabWord>& words) {
  ASSERT_EQ(tq_vocab_edit_numcategories_set(ctx, i, static_cast<uint32_t>(categories.size())), 0);
  for (uint32_t c = 0; c < categories.size(); ++c) {
    ASSERT_EQ(tq_vocab_edit_category_set(ctx, i, c, categories[c].first, categories[c].second), 0);
  }
  ASSERT_EQ(tq_vocab_edit_numwords_set(ctx, i, static_cast<uint32_t>(words.size())), 0);
  ASSERT_EQ(tq_vocab_edit_prepare(ctx, i), 0);
  for (uint32_t w = 0; w < words.size(); ++w) {
    ASSERT_EQ(tq_vocab_edit_word_set(ctx, i, w, words[w].text, 1), 0);
    ASSERT_EQ(tq_vocab_edit_wordcat_set(ctx, i, w, 0, words[w].abbrev, words[w].likelihood), 0);
  }
}

// Loads the resource for editing through the handle.
int32_t edit(tq_context* ctx, Kind k, tq_lock_handle* lock) {
  int32_t i = -1;
  int32_t rc = -1;
  switch (k) {
    case Kind::regex: rc = tq_regexlib_load(ctx, "rl", lock, &i); break;
    case Kind::vocab: rc = tq_vocabulary_load(ctx, "vv", lock, &i); break;
    case Kind::scheme: rc = tq_scheme_load_edit(ctx, "sc", lock, &i); break;
    case Kind::chopper: rc = tq_chopper_edit(ctx, "ch", lock, &i); break;
    case Kind::grammar: rc = tq_grammar_edit(ctx, "gr", lock, &i); break;
    case Kind::phonetx: break;  // edited as a session of its own, not a resource
  }
  EXPECT_GE(rc, 0) << tq_test::error_list_text(ctx);
  return i;
}

struct Row {
  const char* what;
  Kind kind;
  // Builds the state on the made resource; a setter that must refuse is
  // checked here.
  std::function<void(tq_context*, int32_t)> edit;
  // The save's result: 0, or the refusal (the file then stays as it was).
  int32_t save_rc;
};

const std::vector<Row>& rows() {
  static const std::vector<Row> table = {
      // An emptied library is a state an editor saves mid-work: it reads
      // back empty, and matches nothing.
      {"regex library emptied", Kind::regex,
       [](tq_context* ctx, int32_t i) {
         ASSERT_EQ(tq_regexlib_element_array_size_set(ctx, i, 1), 0);
         ASSERT_TQ_OK(ctx, tq_regexlib_element_info_set(ctx, i, 0, "([A-Z]+)-([0-9]+)", "\\2 \\1", ""));
         ASSERT_EQ(tq_regexlib_element_array_size_set(ctx, i, 0), 0);
       },
       0},
      {"regex library never filled", Kind::regex, [](tq_context*, int32_t) {}, 0},
      {"regex library with an element left unset", Kind::regex,
       [](tq_context* ctx, int32_t i) {
         ASSERT_EQ(tq_regexlib_element_array_size_set(ctx, i, 2), 0);
         ASSERT_TQ_OK(ctx, tq_regexlib_element_info_set(ctx, i, 0, "A", "B", ""));
       },
       -300},

      {"vocabulary without words or categories", Kind::vocab, [](tq_context*, int32_t) {}, 0},
      // A word without categories has no record in the file: the setter
      // refuses it, so no save can lose it.
      {"vocabulary word without categories", Kind::vocab,
       [](tq_context* ctx, int32_t i) {
         ASSERT_EQ(tq_vocab_edit_numcategories_set(ctx, i, 1), 0);
         ASSERT_EQ(tq_vocab_edit_category_set(ctx, i, 0, "AA", "Aye"), 0);
         ASSERT_EQ(tq_vocab_edit_numwords_set(ctx, i, 1), 0);
         EXPECT_EQ(tq_vocab_edit_word_set(ctx, i, 0, "LONE", 0), -802);
       },
       -300},
      // Two words of one text would come back as one word.
      {"vocabulary with a word twice", Kind::vocab,
       [](tq_context* ctx, int32_t i) {
         vocab_fill(ctx, i, {{"AA", "Aye"}}, {{"TWICE", "AA", 50}, {"TWICE", "AA", 50}});
       },
       -300},
      {"vocabulary category without abbreviation", Kind::vocab,
       [](tq_context* ctx, int32_t i) {
         ASSERT_EQ(tq_vocab_edit_numcategories_set(ctx, i, 1), 0);
         EXPECT_EQ(tq_vocab_edit_category_set(ctx, i, 0, "", "Nameless"), -802);
       },
       -300},
      {"vocabulary with an empty word", Kind::vocab,
       [](tq_context* ctx, int32_t i) { vocab_fill(ctx, i, {{"AA", "Aye"}}, {{"", "AA", 50}}); },
       0},
      {"vocabulary with an unused category", Kind::vocab,
       [](tq_context* ctx, int32_t i) { vocab_fill(ctx, i, {{"AA", "Aye"}, {"BB", "Bee"}}, {{"ONE", "BB", 70}}); },
       0},

      {"scheme without entries", Kind::scheme, [](tq_context*, int32_t) {}, 0},
      // Keyed by match codes, a scheme names its match definition in the
      // file: an index that names none is refused when set.
      {"scheme keyed by a match definition that does not exist", Kind::scheme,
       [](tq_context* ctx, int32_t i) {
         ASSERT_EQ(tq_scheme_entry_add(ctx, i, "ST", "STREET"), 0);
         EXPECT_EQ(tq_transf_scheme_options_set(ctx, i, 4, 7, 85), -800);
       },
       0},
      // Data kept with their white space, then trimming turned on: the
      // file's reader would trim them, so the setter does it at once.
      {"scheme entries untrimmed, then trimming on", Kind::scheme,
       [](tq_context* ctx, int32_t i) {
         ASSERT_EQ(tq_transf_scheme_options_set(ctx, i, 0x200, -1, 0), 0);
         ASSERT_EQ(tq_scheme_entry_add(ctx, i, " ST ", "STREET"), 0);
         ASSERT_EQ(tq_scheme_entry_add(ctx, i, "AVE", "AVENUE"), 0);
         ASSERT_EQ(tq_transf_scheme_options_set(ctx, i, 0, -1, 0), 0);
       },
       0},

      {"chopper as created", Kind::chopper, [](tq_context*, int32_t) {}, 0},
      // Every reader refuses such a locale: so does the (shared) setter.
      {"chopper locale no reader takes", Kind::chopper,
       [](tq_context* ctx, int32_t i) {
         EXPECT_EQ(tq_chopper_locale_info_set(ctx, i, "XX", "Nowhere", 4242), -802);
         EXPECT_EQ(tq_chopper_locale_info_set(ctx, i, "", "", kEnUsa), -802);
       },
       0},
      // The switches are flags: any other value is kept as 1, as the file
      // keeps it.
      {"chopper switches set to 5", Kind::chopper,
       [](tq_context* ctx, int32_t i) {
         ASSERT_EQ(tq_chopper_table_enabled_set(ctx, i, 5), 0);
         ASSERT_EQ(tq_chopper_rules_enabled_set(ctx, i, 5), 0);
       },
       0},
      // Half-way through a table edit the table is not what a load makes of it.
      {"chopper table edit not ended", Kind::chopper,
       [](tq_context* ctx, int32_t i) {
         ASSERT_EQ(tq_chopper_table_char_metadata_set_begin(ctx, i), 0);
         ASSERT_EQ(tq_chopper_table_char_metadata_set(ctx, i, 0x2013, "EN DASH", 6, 1), 0);
       },
       -500},
      // The file's empty category means any category; a rule cannot be given
      // an empty name that would mean something else until saved.
      {"chopper vocabulary rule with an empty category", Kind::chopper,
       [](tq_context* ctx, int32_t i) {
         uint32_t id = 9;
         EXPECT_EQ(tq_chopper_vocab_rule_add(ctx, i, "nosuch", "", "", "", 1, "", &id), -802);
         ASSERT_EQ(tq_chopper_vocab_rule_add(ctx, i, "nosuch", "PFX", "", "", 1, "", &id), TQ_WARN_READ_PROBLEMS);
         EXPECT_EQ(tq_chopper_rule_method_vocab_set(ctx, i, id, "nosuch", ""), -802);
       },
       0},

      {"grammar without categories", Kind::grammar, [](tq_context*, int32_t) {}, 0},
      // A rule's right side is stored as names each ended by '|'.
      {"grammar category named with a bar", Kind::grammar,
       [](tq_context* ctx, int32_t i) {
         EXPECT_EQ(tq_grammar_category_add(ctx, i, "A|B", "bar"), -802);
         ASSERT_TQ_OK(ctx, tq_grammar_category_add(ctx, i, "S", "Sentence"));
         ASSERT_TQ_OK(ctx, tq_grammar_rule_add(ctx, i, 0, 50));
       },
       0},

      {"phonetics rule set without rules", Kind::phonetx, [](tq_context*, int32_t) {}, 0},
      {"phonetics rules with blank and word-end patterns", Kind::phonetx,
       [](tq_context* ctx, int32_t i) {
         int32_t r = -1;
         ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, i, "", "", 50, 0, &r));
         ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, i, "Q$", "K", 95, 0, &r));
         ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, i, "^PH", "F", 5, 8, &r));
       },
       0},
  };
  return table;
}

TEST(SaveRoundTrip, WhatIsSavedLoadsBackTheSame) {
  for (const Row& row : rows()) {
    SCOPED_TRACE(row.what);
    Kb kb;
    const KindOps& kind = ops(row.kind);
    const fs::path file = kb.dir / kind.folder / kind.file;
    std::string before;
    {
      Made made(kb, row.kind);
      ASSERT_GE(made.i, 0);
      tq_context* ctx = made.ctx;
      tq_lock_handle* lock = made.lock;
      const int32_t i = made.i;
      // A first save, so that a refused one has a file to leave alone.
      ASSERT_TQ_OK(ctx, kind.save(ctx, i, lock));
      const std::string first = tq_test::read_file(file);
      row.edit(ctx, i);
      if (::testing::Test::HasFatalFailure()) return;
      before = kind.look(ctx, i);
      const int32_t rc = kind.save(ctx, i, lock);
      EXPECT_EQ(rc, row.save_rc) << tq_test::error_list_text(ctx);
      if (row.save_rc < 0) {
        EXPECT_EQ(tq_test::read_file(file), first);
        EXPECT_FALSE(tq_test::error_list_text(ctx).empty());
        continue;
      }
    }
    Context ctx(kb.dir.str().c_str(), true);
    kb.locale(ctx);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    const int32_t i = load(ctx, row.kind, lock);
    if (i >= 0) {
      EXPECT_EQ(kind.look(ctx, i), before);
    }
    tq_lock_free(ctx, lock);
  }
}

// Each vocabulary's categories in order, its words and their categories:
// what a sort would move.
std::string vocab_in_order(tq_context* ctx, int32_t i) {
  std::string out;
  const uint32_t cats = count_of(tq_vocab_numcats_get, ctx, i);
  for (uint32_t c = 0; c < cats; ++c) {
    char name[1100] = "", abbrev[200] = "";
    EXPECT_EQ(tq_vocab_category_get(ctx, i, c, name, abbrev), 0);
    out += std::string(abbrev) + " ";
  }
  const uint32_t words = count_of(tq_vocab_numwords_get, ctx, i);
  for (uint32_t w = 0; w < words; ++w) {
    char word[1100] = "";
    uint32_t n = 0;
    EXPECT_EQ(tq_vocab_word_get(ctx, i, w, word, &n), 0);
    out += std::string("| ") + word;
    for (uint32_t p = 0; p < n; ++p) {
      char abbrev[200] = "";
      int32_t likelihood = 0;
      EXPECT_EQ(tq_vocab_wordcat_get(ctx, i, w, p, abbrev, &likelihood), 0);
      out += std::string(" ") + abbrev + ":" + std::to_string(likelihood);
    }
  }
  return out;
}

// Categories FAMILY GIVEN TITLE, prepared, with a word of each of the first
// two; then the first category renamed TITLE, which the third one has.
void vocab_abbreviation_twice(tq_context* ctx, int32_t i) {
  vocab_fill(ctx, i, {{"GIVEN", "Given name"}, {"FAMILY", "Family name"}, {"TITLE", "Title"}},
             {{"SMITH", "FAMILY", 70}, {"JOHN", "GIVEN", 50}});
  ASSERT_EQ(tq_vocab_edit_category_set(ctx, i, 0, "TITLE", "Title again"), 0);
}

// A prepare, compile or save that is refused changes nothing (a scheme's
// refused finalize: test_scheme.cpp):
// each row builds a state the call refuses, and what the getters give and
// the file holds before the call is what they give and hold after it.
struct RefusedRow {
  const char* what;
  Kind kind;
  std::function<void(tq_context*, int32_t, const Kb&, tq_lock_handle*)> edit;
  std::function<int32_t(tq_context*, int32_t, tq_lock_handle*)> call;
  int32_t rc;
  // What the getters give, when the kind's own look misses what could move.
  std::string (*look)(tq_context*, int32_t) = nullptr;
  // A further check of the state after the call, where no getter shows it.
  std::function<void(tq_context*, int32_t)> after = nullptr;
};

int32_t save_of(Kind k, tq_context* ctx, int32_t i, tq_lock_handle* lock) { return ops(k).save(ctx, i, lock); }

const std::vector<RefusedRow>& refused_rows() {
  static const std::vector<RefusedRow> table = {
      {"vocabulary prepared with an abbreviation twice", Kind::vocab,
       [](tq_context* ctx, int32_t i, const Kb&, tq_lock_handle*) { vocab_abbreviation_twice(ctx, i); },
       [](tq_context* ctx, int32_t i, tq_lock_handle*) { return tq_vocab_edit_prepare(ctx, i); }, -300,
       vocab_in_order},
      {"vocabulary saved with an abbreviation twice", Kind::vocab,
       [](tq_context* ctx, int32_t i, const Kb&, tq_lock_handle*) { vocab_abbreviation_twice(ctx, i); },
       [](tq_context* ctx, int32_t i, tq_lock_handle* lock) { return save_of(Kind::vocab, ctx, i, lock); }, -300,
       vocab_in_order},
      // Categories out of order and a file that cannot be written: the
      // failed save leaves them in the caller's order.
      {"vocabulary saved where its folder is gone", Kind::vocab,
       [](tq_context* ctx, int32_t i, const Kb& kb, tq_lock_handle*) {
         ASSERT_EQ(tq_vocab_edit_numcategories_set(ctx, i, 2), 0);
         ASSERT_EQ(tq_vocab_edit_category_set(ctx, i, 0, "BB", "Bee"), 0);
         ASSERT_EQ(tq_vocab_edit_category_set(ctx, i, 1, "AA", "Aye"), 0);
         fs::remove_all(kb.dir / "vocab");
       },
       [](tq_context* ctx, int32_t i, tq_lock_handle* lock) { return save_of(Kind::vocab, ctx, i, lock); },
       TQ_ERR_FILE_OPEN, vocab_in_order},
      // Two rules of one pattern cannot go together; the word-end twins the
      // blank rule asks for are made on the way and must not stay: the
      // next rule added is the fifth.
      {"phonetics rules that cannot go together", Kind::phonetx,
       [](tq_context* ctx, int32_t i, const Kb&, tq_lock_handle*) {
         int32_t r = -1;
         ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, i, "", "", 50, 0, &r));
         ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, i, "Q$", "K", 95, 0, &r));
         ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, i, "X", "Y", 20, 0, &r));
         ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, i, "X", "Z", 30, 0, &r));
       },
       [](tq_context* ctx, int32_t i, tq_lock_handle*) { return tq_phonetx_prepare(ctx, i); }, TQ_ERR_SYNTAX,
       [](tq_context* ctx, int32_t i) {
         char out[64] = "";
         return text_of(tq_phonetx_execute(ctx, i, "Q", out, sizeof out), out);
       },
       [](tq_context* ctx, int32_t i) {
         int32_t r = -1;
         ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, i, "W", "V", 50, 0, &r));
         EXPECT_EQ(r, 4);
       }},
      // A rule added to a prepared and saved set that cannot go with its
      // rules: the file keeps the rules it had, which a load can compile.
      {"phonetics rule added to a prepared set that cannot go with it", Kind::phonetx,
       [](tq_context* ctx, int32_t i, const Kb&, tq_lock_handle* lock) {
         int32_t r = -1;
         ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, i, "PH", "F", 50, 0, &r));
         ASSERT_TQ_OK(ctx, tq_phonetx_prepare(ctx, i));
         ASSERT_TQ_OK(ctx, tq_phonetx_save(ctx, i, lock));
         ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, i, "PH", "G", 50, 0, &r));
       },
       [](tq_context* ctx, int32_t i, tq_lock_handle* lock) { return save_of(Kind::phonetx, ctx, i, lock); },
       TQ_ERR_SYNTAX},
      // The rules of a file read for editing stay until another file is read
      // whole.
      {"phonetics file for editing not found", Kind::phonetx,
       [](tq_context* ctx, int32_t i, const Kb&, tq_lock_handle* lock) {
         int32_t r = -1;
         ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, i, "PH", "F", 50, 0, &r));
         ASSERT_TQ_OK(ctx, tq_phonetx_save(ctx, i, lock));
         ASSERT_TQ_OK(ctx, tq_phonetx_edit(ctx, "ph", lock));
       },
       [](tq_context* ctx, int32_t, tq_lock_handle* lock) { return tq_phonetx_edit(ctx, "nosuch", lock); },
       TQ_ERR_FILE_MISSING,
       [](tq_context* ctx, int32_t) {
         uint32_t n = 9;
         EXPECT_EQ(tq_phonetx_edit_rule_count_get(ctx, &n), 0);
         char iso[64] = "", desc[400] = "";
         int32_t code = 0;
         EXPECT_EQ(tq_phonetx_edit_locale_info_get(ctx, iso, desc, &code), 0);
         return std::to_string(n) + " rules " + iso;
       }},
      {"regex library sized past its limit", Kind::regex,
       [](tq_context* ctx, int32_t i, const Kb&, tq_lock_handle*) {
         ASSERT_EQ(tq_regexlib_element_array_size_set(ctx, i, 1), 0);
         ASSERT_TQ_OK(ctx, tq_regexlib_element_info_set(ctx, i, 0, "([A-Z]+)-([0-9]+)", "\\2 \\1", ""));
       },
       [](tq_context* ctx, int32_t i, tq_lock_handle*) {
         return tq_regexlib_element_array_size_set(ctx, i, (1u << 20) + 1);
       },
       TQ_ERR_NO_MEMORY},
  };
  return table;
}

TEST(SaveRoundTrip, ARefusedPrepareOrSaveChangesNothing) {
  for (const RefusedRow& row : refused_rows()) {
    SCOPED_TRACE(row.what);
    Kb kb;
    Made made(kb, row.kind);
    const fs::path file = kb.dir / ops(row.kind).folder / ops(row.kind).file;
    auto look = row.look != nullptr ? row.look : ops(row.kind).look;
    ASSERT_GE(made.i, 0);
    tq_context* ctx = made.ctx;
    tq_lock_handle* lock = made.lock;
    const int32_t i = made.i;
    row.edit(ctx, i, kb, lock);
    if (::testing::Test::HasFatalFailure()) return;
    const std::string before = look(ctx, i);
    const std::string bytes = tq_test::read_file(file);
    EXPECT_EQ(row.call(ctx, i, lock), row.rc) << tq_test::error_list_text(ctx);
    EXPECT_EQ(look(ctx, i), before);
    EXPECT_EQ(tq_test::read_file(file), bytes);
    if (row.after) row.after(ctx, i);
  }
}

// A resource registered already (here by a first editor's handle) and
// loaded again for editing with another handle: the second handle locks the
// file too, so its save writes (it was refused, the handle holding
// nothing), and the file reads back with the change.
TEST(SaveRoundTrip, ASecondEditorsHandleSaves) {
  using Owner = int32_t (*)(tq_context*, int32_t, const char*);
  using OwnerGet = int32_t (*)(tq_context*, int32_t, char*);
  struct Case {
    Kind kind;
    Owner set;
    OwnerGet get;
  };
  // A compiled vocabulary's file has no place for the owner: its save is
  // checked, not what reads back.
  for (const Case& c : {Case{Kind::regex, tq_regexlib_owner_set, tq_regexlib_owner_get},
                        Case{Kind::vocab, tq_vocab_owner_set, nullptr},
                        Case{Kind::scheme, tq_scheme_owner_set, tq_scheme_owner_get},
                        Case{Kind::chopper, tq_chopper_owner_set, tq_chopper_owner_get},
                        Case{Kind::grammar, tq_grammar_owner_set, tq_grammar_owner_get}}) {
    const KindOps& kind = ops(c.kind);
    SCOPED_TRACE(kind.folder);
    Kb kb;
    {
      Context ctx(kb.dir.str().c_str(), true);
      kb.locale(ctx);
      tq_lock_handle* lock = nullptr;
      ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
      const int32_t made = make(ctx, kb, c.kind, lock);
      ASSERT_TQ_OK(ctx, kind.save(ctx, made, lock));
      tq_lock_free(ctx, lock);
    }
    Context ctx(kb.dir.str().c_str(), true);
    kb.locale(ctx);
    tq_lock_handle* first = nullptr;
    tq_lock_handle* second = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &first), 0);
    ASSERT_EQ(tq_lock_init(ctx, &second), 0);
    const int32_t i = edit(ctx, c.kind, first);
    ASSERT_GE(i, 0);
    ASSERT_EQ(c.set(ctx, i, "First"), 0);  // loads it, locking the file for the first handle
    EXPECT_EQ(edit(ctx, c.kind, second), i);
    ASSERT_EQ(c.set(ctx, i, "Second"), 0);
    EXPECT_TQ_OK(ctx, kind.save(ctx, i, second));
    tq_lock_free(ctx, second);
    tq_lock_free(ctx, first);
    if (c.get == nullptr) continue;
    Context again(kb.dir.str().c_str(), true);
    kb.locale(again);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(again, &lock), 0);
    const int32_t back = load(again, c.kind, lock);
    char owner[1100] = "";
    if (back >= 0) {
      EXPECT_EQ(c.get(again, back, owner), 0);
    }
    EXPECT_STREQ(owner, "Second");
    tq_lock_free(again, lock);
  }
}

// The sample's "Name" definitions name the library en_name_normalize:
// emptied and saved, it reads back empty, and parsing and standardizing go
// on without it.
TEST(SaveRoundTrip, AnEmptiedLibraryLeavesItsDefinitionsWorking) {
  tq_test::SampleKbCopy kb;
  {
    Context ctx(kb.str().c_str(), true);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    int32_t i = -1;
    ASSERT_TQ_OK(ctx, tq_regexlib_load(ctx, "en_name_normalize", lock, &i));
    ASSERT_EQ(tq_regexlib_element_array_size_set(ctx, i, 0), 0);
    ASSERT_TQ_OK(ctx, tq_regexlib_save(ctx, i, lock));
    tq_lock_free(ctx, lock);
  }
  Context ctx(kb.str().c_str());
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, kEnUsa,
                               TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_CASE_DEFNS | TQ_LOAD_STDZN_DEFNS),
            0)
      << tq_test::error_list_text(ctx);
  std::vector<tq_parse_token> tokens(32);
  uint32_t count = 0;
  EXPECT_TQ_OK(ctx, tq_parse(ctx, "Name", "Dr John Smith Jr", tokens.data(), &count));
  EXPECT_EQ(count, 5u);
  char out[TQ_STANDARD_SIZE] = "";
  EXPECT_TQ_OK(ctx, tq_standardize(ctx, "Name", "dr john smith jr", out));
  EXPECT_NE(std::string(out), "");
}

}  // namespace

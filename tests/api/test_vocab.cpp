// Vocabularies through the exported interface: likelihood names, building a
// vocabulary in edit mode, saving and reloading it, converting between the
// compiled and the XML form, and damaged files.
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
  Kb() { fs::create_directories(dir / "vocab"); }
  std::string root() const { return dir.str(); }
  std::string vocab_dir() const { return (dir / "vocab").string(); }
  fs::path file(const std::string& name) const { return dir / "vocab" / name; }
};

// Builds the vocabulary of categories ZZ "Zed" and AA "Aye" and the word
// MAIN (AA 70, AA 30) in file v1, and saves it.
struct Built {
  tq_lock_handle* lock = nullptr;
  int32_t index = -1;
};

Built build_v1(tq_context* ctx, const Kb& kb, int32_t* save_rc) {
  Built b;
  EXPECT_EQ(tq_lock_init(ctx, &b.lock), 0);
  EXPECT_TQ_OK(ctx, tq_vocab_edit_new(ctx, kb.vocab_dir().c_str(), "v1", b.lock));
  EXPECT_TQ_OK(ctx, tq_vocabulary_create(ctx, &b.index));
  EXPECT_EQ(tq_vocab_edit_numcategories_set(ctx, b.index, 2), 0);
  EXPECT_EQ(tq_vocab_edit_category_set(ctx, b.index, 0, "zz", "Zed"), 0);
  EXPECT_EQ(tq_vocab_edit_category_set(ctx, b.index, 1, "aa", "Aye"), 0);
  EXPECT_EQ(tq_vocab_edit_numwords_set(ctx, b.index, 1), 0);
  EXPECT_EQ(tq_vocab_edit_word_set(ctx, b.index, 0, "MAIN", 2), 0);
  // Not prepared yet: the categories are not sorted, so AA is not found.
  EXPECT_EQ(tq_vocab_edit_wordcat_set(ctx, b.index, 0, 0, "AA", 70), -1);
  EXPECT_EQ(tq_vocab_edit_prepare(ctx, b.index), 0);
  EXPECT_EQ(tq_vocab_edit_wordcat_set(ctx, b.index, 0, 0, "AA", 70), 0);
  EXPECT_EQ(tq_vocab_edit_wordcat_set(ctx, b.index, 0, 1, "AA", 30), 0);
  EXPECT_EQ(tq_vocab_locale_info_set(ctx, b.index, "ENUSA", "English (United States)", 29840), 0);
  EXPECT_EQ(tq_vocab_vault_info_set(ctx, b.index, "Streets", "Street words"), 0);
  *save_rc = tq_vocab_save(ctx, b.index, b.lock);
  return b;
}

TEST(Vocab, LikelihoodNames) {
  Context ctx;
  uint32_t count = 0;
  EXPECT_EQ(tq_vocabulary_likelihood_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 5u);
  char name[1100] = "x";
  int32_t value = -5;
  EXPECT_EQ(tq_vocabulary_likelihood_info_get(ctx, 0, name, &value), 0);
  EXPECT_STREQ(name, "Very Low");
  EXPECT_EQ(value, 10);
  EXPECT_EQ(tq_vocabulary_likelihood_info_get(ctx, 4, name, &value), 0);
  EXPECT_STREQ(name, "Very High");
  EXPECT_EQ(value, 90);
  EXPECT_EQ(tq_vocabulary_likelihood_info_get(ctx, 5, name, &value), -802);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(value, 0);
  EXPECT_EQ(tq_vocabulary_likelihood_info_get(ctx, -1, name, &value), -802);
  EXPECT_EQ(tq_vocabulary_likelihood_name_get_by_value(ctx, 70, name), 0);
  EXPECT_STREQ(name, "High");
  EXPECT_EQ(tq_vocabulary_likelihood_name_get_by_value(ctx, 55, name), -802);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(tq_vocabulary_likelihood_value_get_by_name(ctx, "Medium", &value), 0);
  EXPECT_EQ(value, 50);
  EXPECT_EQ(tq_vocabulary_likelihood_value_get_by_name(ctx, "very low", &value), 0);
  EXPECT_EQ(value, 0);
}

TEST(Vocab, EditSaveReload) {
  Kb kb;
  Context ctx(kb.root().c_str(), true);
  int32_t save_rc = 0;
  Built b = build_v1(ctx, kb, &save_rc);
  // The two pairs of MAIN name the same category: the lower likelihood stays.
  EXPECT_EQ(save_rc, 111) << tq_test::error_list_text(ctx);

  // Edit bounds.
  EXPECT_EQ(tq_vocab_edit_wordcat_set(ctx, b.index, 0, 0, "aa", 50), -1);
  EXPECT_EQ(tq_vocab_edit_wordcat_set(ctx, b.index, 0, 0, "AA", 95), -802);
  EXPECT_EQ(tq_vocab_edit_wordcat_set(ctx, b.index, 0, 0, "AA", 9), -802);
  EXPECT_EQ(tq_vocab_edit_wordcat_set(ctx, b.index, 0, 2, "AA", 50), -800);
  EXPECT_EQ(tq_vocab_edit_wordcat_set(ctx, b.index, 1, 0, "AA", 50), -800);
  EXPECT_EQ(tq_vocab_edit_numwords_set(ctx, b.index, 3), -1);
  EXPECT_EQ(tq_vocab_edit_numcategories_set(ctx, b.index, 3), -1);
  EXPECT_EQ(tq_vocab_edit_word_set(ctx, b.index, 1, "X", 1), -800);
  EXPECT_EQ(tq_vocab_edit_word_set(ctx, b.index, 0, "X", 256), -802);
  EXPECT_EQ(tq_vocab_edit_word_set(ctx, b.index, 0, std::string(1025, 'w').c_str(), 1), -802);
  EXPECT_EQ(tq_vocab_edit_category_set(ctx, b.index, 2, "X", "x"), -800);
  EXPECT_EQ(tq_vocabulary_close(ctx, b.lock), 0);
  EXPECT_EQ(tq_lock_free(ctx, b.lock), 0);

  int32_t v = -1;
  ASSERT_TQ_OK(ctx, tq_vocabulary_load(ctx, "v1", nullptr, &v));
  EXPECT_NE(v, b.index);
  int32_t again = -1;
  EXPECT_EQ(tq_vocabulary_load(ctx, "v1.zev", nullptr, &again), 0);
  EXPECT_EQ(again, v);
  int32_t found = -1;
  EXPECT_EQ(tq_vocab_index_get_by_name(ctx, "v1", &found), 0);
  EXPECT_EQ(found, v);

  uint32_t n = 0;
  ASSERT_TQ_OK(ctx, tq_vocab_numcats_get(ctx, v, &n));
  EXPECT_EQ(n, 2u);
  char category[1100];
  char abbrev[200];
  EXPECT_EQ(tq_vocab_category_get(ctx, v, 0, category, abbrev), 0);
  EXPECT_STREQ(category, "Aye");
  EXPECT_STREQ(abbrev, "AA");
  EXPECT_EQ(tq_vocab_category_get(ctx, v, 1, category, abbrev), 0);
  EXPECT_STREQ(abbrev, "ZZ");
  EXPECT_EQ(tq_vocab_category_get(ctx, v, 2, category, abbrev), -1);
  EXPECT_STREQ(abbrev, "");

  EXPECT_EQ(tq_vocab_numwords_get(ctx, v, &n), 0);
  EXPECT_EQ(n, 1u);
  char word[1100];
  uint32_t cats = 0;
  EXPECT_EQ(tq_vocab_word_get(ctx, v, 0, word, &cats), 0);
  EXPECT_STREQ(word, "MAIN");
  EXPECT_EQ(cats, 1u);
  EXPECT_EQ(tq_vocab_word_get(ctx, v, 1, word, &cats), -1);
  EXPECT_STREQ(word, "");
  EXPECT_EQ(cats, 0u);
  int32_t likelihood = 0;
  EXPECT_EQ(tq_vocab_wordcat_get(ctx, v, 0, 0, abbrev, &likelihood), 0);
  EXPECT_STREQ(abbrev, "AA");
  EXPECT_EQ(likelihood, 30);
  EXPECT_EQ(tq_vocab_wordcat_get(ctx, v, 0, 1, abbrev, &likelihood), -1);
  EXPECT_EQ(likelihood, -1);

  char iso[32];
  char desc[400];
  int32_t code = 0;
  EXPECT_EQ(tq_vocab_locale_info_get(ctx, v, iso, desc, &code), 0);
  EXPECT_STREQ(iso, "ENUSA");
  EXPECT_STREQ(desc, "English (United States)");
  EXPECT_EQ(code, 29840);

  EXPECT_EQ(tq_vocabulary_unload(ctx, again), 0);
  EXPECT_EQ(tq_vocabulary_unload(ctx, v), 0);
  EXPECT_EQ(tq_vocab_numwords_get(ctx, v, &n), -800);
  EXPECT_EQ(tq_vocab_index_get_by_name(ctx, "v1", &found), -404);
  EXPECT_EQ(tq_vocabulary_unload(ctx, v), -800);
}

TEST(Vocab, IncompleteVocabulariesAreNotSaved) {
  Kb kb;
  Context ctx(kb.root().c_str(), true);
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
  ASSERT_TQ_OK(ctx, tq_vocab_edit_new(ctx, kb.vocab_dir().c_str(), "v2", lock));
  int32_t index = -1;
  ASSERT_TQ_OK(ctx, tq_vocabulary_create(ctx, &index));
  ASSERT_EQ(tq_vocab_edit_numcategories_set(ctx, index, 1), 0);
  ASSERT_EQ(tq_vocab_edit_category_set(ctx, index, 0, "A", "a"), 0);
  ASSERT_EQ(tq_vocab_edit_numwords_set(ctx, index, 2), 0);
  ASSERT_EQ(tq_vocab_edit_word_set(ctx, index, 0, "ONE", 1), 0);
  // No locale is current, so the new vocabulary has none.
  EXPECT_EQ(tq_vocab_save(ctx, index, lock), -300);
  ASSERT_EQ(tq_vocab_locale_info_set(ctx, index, "DEDEU", "German (Germany)", 39276), 0);
  EXPECT_EQ(tq_vocab_save(ctx, index, lock), -300);  // word 1 never set
  ASSERT_EQ(tq_vocab_edit_word_set(ctx, index, 1, "TWO", 1), 0);
  EXPECT_EQ(tq_vocab_save(ctx, index, lock), -300);  // pairs never set
  ASSERT_EQ(tq_vocab_edit_wordcat_set(ctx, index, 0, 0, "A", 10), 0);
  ASSERT_EQ(tq_vocab_edit_wordcat_set(ctx, index, 1, 0, "A", 90), 0);
  EXPECT_TQ_OK(ctx, tq_vocab_save(ctx, index, lock));
  EXPECT_EQ(tq_vocab_save(ctx, index, nullptr), -802);
  EXPECT_EQ(tq_lock_free(ctx, lock), 0);
  // Without a lock the save has no file: -405, as a locale write answers.
  ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
  EXPECT_EQ(tq_vocab_save(ctx, index, lock), -405);
  EXPECT_EQ(tq_lock_free(ctx, lock), 0);

  // Edits need edit mode.
  Context plain(kb.root().c_str(), false);
  EXPECT_EQ(tq_vocabulary_create(plain, &index), -501);
  EXPECT_EQ(tq_vocab_file_convert(plain, 0, "a", "b"), -501);
}

TEST(Vocab, ConvertRoundTrip) {
  Kb kb;
  Context ctx(kb.root().c_str(), true);
  int32_t save_rc = 0;
  Built b = build_v1(ctx, kb, &save_rc);
  ASSERT_EQ(save_rc, 111);
  EXPECT_EQ(tq_lock_free(ctx, b.lock), 0);
  const std::string compiled = tq_test::read_file(kb.file("v1.zev"));
  ASSERT_EQ(compiled.size(), 32u + 2 * 14 + 24 + 16 + 87 + 8 + 2048);

  EXPECT_EQ(tq_vocab_file_convert(ctx, 2, "v1", "v1x"), -802);
  ASSERT_TQ_OK(ctx, tq_vocab_file_convert(ctx, 1, "v1", "v1x"));
  const std::string xml = tq_test::read_file(kb.file("v1x.xml"));
  for (const char* part : {"Vocabulary", "CategoryAbbreviation", "MAIN", "Aye", "ENUSA", "Streets"}) {
    EXPECT_NE(xml.find(part), std::string::npos) << part;
  }
  // Back from XML, with no compiled file of that name: the same bytes.
  ASSERT_TQ_OK(ctx, tq_vocab_file_convert(ctx, 0, "v1x", "v1y"));
  EXPECT_EQ(tq_test::read_file(kb.file("v1y.zev")), compiled);
  EXPECT_FALSE(fs::exists(kb.file("v1x.zev")));

  // A missing source.
  EXPECT_LT(tq_vocab_file_convert(ctx, 0, "nothing", "v9"), 0);
  EXPECT_LT(tq_vocab_file_convert(ctx, 1, "nothing", "v9"), 0);
  EXPECT_FALSE(fs::exists(kb.file("v9.zev")));
}

// A source name too long is refused with its own length, however long:
// never the length of a copy cut on its way in.
TEST(Vocab, ConvertGivesTheLengthOfALongSourceName) {
  Kb kb;
  Context ctx(kb.root().c_str(), true);
  for (const size_t n : {1025u, 4096u, 4097u, 5000u, 70000u}) {
    for (const char* ext : {"", ".xml"}) {
      const std::string name = std::string(n, 'v') + ext;
      EXPECT_EQ(tq_vocab_file_convert(ctx, 0, name.c_str(), "out"), TQ_ERR_ARGUMENT) << n << ext;
      EXPECT_NE(tq_test::error_list_text(ctx).find("a source path of " + std::to_string(n) + " bytes"),
                std::string::npos)
          << tq_test::error_list_text(ctx);
    }
  }
  EXPECT_FALSE(fs::exists(kb.file("out.zev")));
  // A written name is taken whole too, and refused when no path can hold it.
  const std::string to = std::string(20000, 'o');
  EXPECT_EQ(tq_vocab_file_convert(ctx, 0, "v", to.c_str()), TQ_ERR_ARGUMENT);
  EXPECT_NE(tq_test::error_list_text(ctx).find(" 20004 bytes long"), std::string::npos)
      << tq_test::error_list_text(ctx);
}

TEST(Vocab, DamagedFilesFailOnFirstUse) {
  Kb kb;
  Context ctx(kb.root().c_str(), false);
  // Cut inside the locale code: critical -200 when first used.
  kb.dir.write("vocab/cut.zev", "00000000000000000000000800000010000074");
  int32_t v = -1;
  ASSERT_EQ(tq_vocabulary_load(ctx, "cut", nullptr, &v), 0);
  uint32_t n = 9;
  EXPECT_EQ(tq_vocab_numwords_get(ctx, v, &n), -200);
  EXPECT_EQ(n, 0u);
  EXPECT_NE(tq_error_is_critical(-200), 0u);
  // A failed load leaves the vocabulary registered; it is tried again.
  EXPECT_EQ(tq_vocab_numwords_get(ctx, v, &n), -200);
  EXPECT_EQ(tq_vocabulary_unload(ctx, v), 0);

  kb.dir.write("vocab/junk.zev", std::string(3000, 'F'));
  ASSERT_EQ(tq_vocabulary_load(ctx, "junk", nullptr, &v), 0);
  EXPECT_EQ(tq_vocab_numwords_get(ctx, v, &n), -300);
  EXPECT_EQ(tq_vocabulary_unload(ctx, v), 0);

  EXPECT_EQ(tq_vocabulary_load(ctx, "absent", nullptr, &v), -400);
  EXPECT_EQ(v, -1);
}

TEST(Vocab, EditLoadsLockTheFile) {
  Kb kb;
  {
    Context ctx(kb.root().c_str(), true);
    int32_t save_rc = 0;
    Built b = build_v1(ctx, kb, &save_rc);
    ASSERT_EQ(save_rc, 111);
    EXPECT_EQ(tq_lock_free(ctx, b.lock), 0);
  }
  Context a(kb.root().c_str(), true);
  Context b(kb.root().c_str(), true);
  tq_lock_handle* lock_a = nullptr;
  tq_lock_handle* lock_b = nullptr;
  ASSERT_EQ(tq_lock_init(a, &lock_a), 0);
  ASSERT_EQ(tq_lock_init(b, &lock_b), 0);
  int32_t va = -1;
  int32_t vb = -1;
  uint32_t n = 0;
  ASSERT_EQ(tq_vocabulary_load(a, "v1", lock_a, &va), 0);
  ASSERT_TQ_OK(a, tq_vocab_numwords_get(a, va, &n));
  EXPECT_TRUE(fs::exists(kb.file("v1.zev.lck")));
  ASSERT_EQ(tq_vocabulary_load(b, "v1", lock_b, &vb), 0);
  EXPECT_EQ(tq_vocab_numwords_get(b, vb, &n), -401);
  // Once the first context lets go, the second one's next use loads it.
  EXPECT_EQ(tq_vocabulary_close(a, lock_a), 0);
  EXPECT_TQ_OK(b, tq_vocab_numwords_get(b, vb, &n));
  EXPECT_EQ(n, 1u);
  // The owner is kept in memory; the compiled form has no place for it.
  EXPECT_EQ(tq_vocab_owner_set(b, vb, "Team"), 0);
  char owner[400];
  EXPECT_EQ(tq_vocab_owner_get(b, vb, owner), 0);
  EXPECT_STREQ(owner, "Team");
  EXPECT_EQ(tq_vocabulary_close(b, lock_b), 0);
  EXPECT_EQ(tq_vocabulary_close(b, lock_b), 0);  // nothing left to release
  EXPECT_EQ(tq_lock_free(a, lock_a), 0);
  EXPECT_EQ(tq_lock_free(b, lock_b), 0);
}

TEST(Vocab, TextsCrossTheInterfaceInTheSessionEncoding) {
  Kb kb;
  Context ctx(kb.root().c_str(), true);
  int32_t index = -1;
  ASSERT_TQ_OK(ctx, tq_vocabulary_create(ctx, &index));
  ASSERT_EQ(tq_vocab_edit_numcategories_set(ctx, index, 1), 0);
  // ISO-8859-1 by default: "e" with acute accent is one byte outside, two inside.
  ASSERT_EQ(tq_vocab_edit_category_set(ctx, index, 0, "caf\xE9", "Caf\xE9s"), 0);
  ASSERT_EQ(tq_vocab_edit_prepare(ctx, index), 0);
  ASSERT_EQ(tq_vocab_edit_numwords_set(ctx, index, 1), 0);
  ASSERT_EQ(tq_vocab_edit_word_set(ctx, index, 0, "CR\xC8ME", 1), 0);
  ASSERT_EQ(tq_vocab_edit_wordcat_set(ctx, index, 0, 0, "CAF\xC9", 50), 0);
  char word[1100];
  uint32_t cats = 0;
  ASSERT_EQ(tq_vocab_word_get(ctx, index, 0, word, &cats), 0);
  EXPECT_STREQ(word, "CR\xC8ME");
  char name[1100];
  char abbrev[200];
  ASSERT_EQ(tq_vocab_category_get(ctx, index, 0, name, abbrev), 0);
  EXPECT_STREQ(name, "Caf\xE9s");
  EXPECT_STREQ(abbrev, "CAF\xC9");  // stored uppercased
  // 600 characters that take 1,200 bytes inside: refused, not cut.
  EXPECT_EQ(tq_vocab_edit_word_set(ctx, index, 0, std::string(600, '\xE9').c_str(), 1), -802);
  ASSERT_EQ(tq_vocab_word_get(ctx, index, 0, word, &cats), 0);
  EXPECT_STREQ(word, "CR\xC8ME");
}

}  // namespace

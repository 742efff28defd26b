// Phonetics rule sets through the exported interface: built in edit mode,
// compiled and executed, saved, read back in the edit session and loaded by
// a plain context.
#include <cstring>
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
  Kb() { fs::create_directories(dir / "phonetx"); }
  std::string root() const { return dir.str(); }
  std::string folder() const { return (dir / "phonetx").string(); }
};

std::string execute(tq_context* ctx, int32_t index, const char* input, int32_t expected_rc = 0,
                    uint32_t size = 1100) {
  std::vector<char> out(size + 8, '#');
  EXPECT_EQ(tq_phonetx_execute(ctx, index, input, out.data(), size), expected_rc)
      << tq_test::error_list_text(ctx);
  return out.data();
}

std::string last_error(tq_context* ctx) {
  int32_t code = 0;
  char text[4200] = {};
  tq_error_info_get(ctx, &code, text);
  return text;
}

// Worked by hand: PH -> F; in "Q " the word-end twin of Q$ wins, copies the
// Q and takes the blank; the last Q ends the input, so Q$ -> K applies.
constexpr const char* kInput = "PHQ Q";
constexpr const char* kExpected = "FQK";

TEST(PhonetxApi, BuildSaveEditAndReload) {
  Kb kb;
  {
    Context ctx(kb.root().c_str(), true);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    ASSERT_TQ_OK(ctx, tq_phonetx_edit_new(ctx, kb.folder().c_str(), "sound", lock));
    int32_t idx = -1;
    ASSERT_TQ_OK(ctx, tq_phonetx_create(ctx, "sound", &idx));
    ASSERT_GE(idx, 0);
    ASSERT_TQ_OK(ctx, tq_phonetx_locale_info_set(ctx, idx, "EN", "English", 29000));
    int32_t ri = -5;
    ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, "\\ ", "", 50, 0, &ri));
    EXPECT_EQ(ri, 0);
    ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, "Q$", "K", 95, 0, &ri));
    ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, "PH", "F", 5, 0, &ri));
    EXPECT_EQ(ri, 2);
    EXPECT_EQ(tq_phonetx_rule_add(ctx, idx, "A", "B", 50, 6, &ri), -705);
    EXPECT_EQ(ri, -1);

    EXPECT_EQ(execute(ctx, idx, kInput, -1), "");
    ASSERT_TQ_OK(ctx, tq_phonetx_prepare(ctx, idx));
    EXPECT_EQ(tq_phonetx_prepare(ctx, idx), -603);
    EXPECT_NE(last_error(ctx).find("'sound' is already compiled"), std::string::npos) << last_error(ctx);
    EXPECT_EQ(execute(ctx, idx, kInput), kExpected);
    EXPECT_EQ(tq_phonetx_owner_set(ctx, idx, "Sound team"), 0);
    EXPECT_EQ(tq_phonetx_vault_info_set(ctx, idx, "sound", "Test rules"), 0);
    ASSERT_TQ_OK(ctx, tq_phonetx_save(ctx, idx, lock));

    // The saved file: three rules in priority order, clamped, no twin, the
    // blank pattern as given.
    tq_lock_handle* lock2 = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock2), 0);
    ASSERT_TQ_OK(ctx, tq_phonetx_edit(ctx, "sound", lock2));
    uint32_t count = 0;
    EXPECT_EQ(tq_phonetx_edit_rule_count_get(ctx, &count), 0);
    ASSERT_EQ(count, 3u);
    const char* patterns[] = {"Q$", "\\ ", "PH"};
    const int32_t priorities[] = {90, 50, 10};
    for (uint32_t i = 0; i < count; ++i) {
      char text[1100], repl[1100];
      int32_t priority = 0;
      uint32_t flags = 9;
      EXPECT_EQ(tq_phonetx_edit_rule_get(ctx, static_cast<int32_t>(i), text, repl, &priority, &flags), 0);
      EXPECT_STREQ(text, patterns[i]);
      EXPECT_EQ(priority, priorities[i]);
      EXPECT_EQ(flags, 0u);
    }
    char iso[40], desc[400];
    int32_t code = 0;
    EXPECT_EQ(tq_phonetx_edit_locale_info_get(ctx, iso, desc, &code), 0);
    EXPECT_STREQ(desc, "English");
    EXPECT_EQ(tq_phonetx_edit_free(ctx), 0);
    EXPECT_EQ(tq_phonetx_close(ctx, lock2), 0);
    EXPECT_EQ(tq_phonetx_close(ctx, lock), 0);
    tq_lock_free(ctx, lock2);
    tq_lock_free(ctx, lock);
  }
  {
    Context ctx(kb.root().c_str());
    int32_t idx = -1;
    EXPECT_EQ(tq_phonetx_create(ctx, "other", &idx), -501);
    ASSERT_TQ_OK(ctx, tq_phonetx_load(ctx, "sound", &idx));
    EXPECT_EQ(execute(ctx, idx, kInput), kExpected);
    // The result buffer's size includes the terminator.
    EXPECT_EQ(execute(ctx, idx, kInput, 115, 3), "FQ");
    EXPECT_EQ(tq_phonetx_prepare(ctx, idx), -603);
    char owner[400];
    EXPECT_EQ(tq_phonetx_owner_get(ctx, idx, owner), 0);
    EXPECT_STREQ(owner, "Sound team");
    char iso[40], desc[400];
    int32_t code = 0;
    EXPECT_EQ(tq_phonetx_locale_info_get(ctx, idx, iso, desc, &code), 0);
    EXPECT_STREQ(iso, "EN");
    EXPECT_EQ(code, 29000);
    EXPECT_EQ(tq_phonetx_unload(ctx, idx), 0);
    int32_t missing = 5;
    EXPECT_EQ(tq_phonetx_load(ctx, "nothing", &missing), -400);
    EXPECT_EQ(missing, -1);
  }
}

TEST(PhonetxApi, CompileErrorsGiveTheirCodesAndMessages) {
  Context ctx(nullptr, true);
  const tq_test::TextSaid cases[] = {
      {"A[B", "opens a '[' class without a closing ']'"},
      {"A/B/C", "has more than one '/'"},
  };
  int n = 0;
  for (const tq_test::TextSaid& c : cases) {
    SCOPED_TRACE(c.text);
    std::string name = "bad" + std::to_string(n++);
    int32_t idx = -1, ri = -1;
    ASSERT_TQ_OK(ctx, tq_phonetx_create(ctx, name.c_str(), &idx));
    ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, c.text, "x", 50, 0, &ri));
    EXPECT_EQ(tq_phonetx_prepare(ctx, idx), -803);
    EXPECT_TRUE(tq_test::holds(last_error(ctx), c.said));
    EXPECT_TRUE(tq_test::holds(last_error(ctx), "'" + name + "'"));
    // Still editable: compiling again fails the same way.
    EXPECT_EQ(tq_phonetx_prepare(ctx, idx), -803);
    EXPECT_EQ(execute(ctx, idx, "A", -1), "");
  }
  int32_t idx = -1, ri = -1;
  ASSERT_TQ_OK(ctx, tq_phonetx_create(ctx, "dup", &idx));
  ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, "AB", "x", 50, 0, &ri));
  ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, "AB", "y", 60, 0, &ri));
  EXPECT_EQ(tq_phonetx_prepare(ctx, idx), -803);
  EXPECT_NE(last_error(ctx).find("'AB' (replacement 'x') repeats"), std::string::npos) << last_error(ctx);
}

// An edit-mode context with a new English set (make), its file made and
// locked by `lock`.
class PhonetxNewSet : public ::testing::Test {
 protected:
  void make(const char* name) {
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    ASSERT_TQ_OK(ctx, tq_phonetx_edit_new(ctx, kb.folder().c_str(), name, lock));
    ASSERT_TQ_OK(ctx, tq_phonetx_create(ctx, name, &idx));
    ASSERT_TQ_OK(ctx, tq_phonetx_locale_info_set(ctx, idx, "EN", "English", 29000));
  }
  Kb kb;
  Context ctx{kb.root().c_str(), true};
  tq_lock_handle* lock = nullptr;
  int32_t idx = -1, ri = -1;
};

// A set never prepared is compiled when its file is read: one whose rules do
// not compile is not saved (its file stays as it was), as it could not be
// read back; once its rules go together it is saved and reads back.
TEST_F(PhonetxNewSet, SaveRefusesRulesThatDoNotCompile) {
  make("dup");
  if (HasFatalFailure()) return;
  ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, "AB", "x", 50, 0, &ri));
  // The folder's files and their sizes (the new file and its lock file).
  auto files = [&] {
    std::string out;
    for (const auto& e : fs::directory_iterator(kb.folder())) {
      out += e.path().filename().string() + ":" + std::to_string(e.file_size()) + " ";
    }
    return out;
  };
  const std::string before = files();
  ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, "AB", "y", 60, 0, &ri));
  EXPECT_EQ(tq_phonetx_save(ctx, idx, lock), -803);
  EXPECT_NE(last_error(ctx).find("repeats"), std::string::npos) << last_error(ctx);
  EXPECT_EQ(files(), before);
  EXPECT_EQ(execute(ctx, idx, "AB", -1), "");  // still not compiled

  ASSERT_TQ_OK(ctx, tq_phonetx_unload(ctx, idx));
  ASSERT_TQ_OK(ctx, tq_phonetx_create(ctx, "dup", &idx));
  ASSERT_TQ_OK(ctx, tq_phonetx_locale_info_set(ctx, idx, "EN", "English", 29000));
  ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, "AB", "x", 50, 0, &ri));
  ASSERT_TQ_OK(ctx, tq_phonetx_save(ctx, idx, lock));
  tq_lock_free(ctx, lock);
  Context again(kb.root().c_str());
  int32_t back = -1;
  ASSERT_TQ_OK(again, tq_phonetx_load(again, "dup", &back));
  EXPECT_EQ(execute(again, back, "AB"), "x");
}

// A rule added to a compiled set is not in its machine: the set runs no
// more until prepared again, as its file would be read with every rule. A
// rule that cannot go with the others is refused by that prepare and by the
// save, and the set keeps its rules as given; a rule refused at intake
// leaves the set compiled.
TEST_F(PhonetxNewSet, RuleAddedToACompiledSetIsCompiledWithTheOthers) {
  make("more");
  if (HasFatalFailure()) return;
  ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, "", "", 50, 0, &ri));  // twins for Q$
  ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, "Q$", "K", 60, 0, &ri));
  ASSERT_TQ_OK(ctx, tq_phonetx_prepare(ctx, idx));
  EXPECT_EQ(tq_phonetx_rule_add(ctx, idx, "A", "B", 50, 6, &ri), -705);
  EXPECT_EQ(execute(ctx, idx, "Q AQ"), "QAK");
  ASSERT_TQ_OK(ctx, tq_phonetx_save(ctx, idx, lock));
  const fs::path file = fs::path(kb.folder()) / "more.zel";
  const std::string saved = tq_test::read_file(file);
  ASSERT_FALSE(saved.empty());

  // The same pattern again: its position leaves out the twins.
  ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, "Q$", "G", 60, 0, &ri));
  EXPECT_EQ(ri, 2);
  EXPECT_EQ(execute(ctx, idx, "Q AQ", -1), "");
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(tq_phonetx_prepare(ctx, idx), -803);
    EXPECT_NE(last_error(ctx).find("repeats"), std::string::npos) << last_error(ctx);
    EXPECT_EQ(tq_phonetx_save(ctx, idx, lock), -803);
    EXPECT_EQ(tq_test::read_file(file), saved);
    EXPECT_EQ(execute(ctx, idx, "Q AQ", -1), "");
  }

  // A set read from its file takes a rule that goes with its own, and runs
  // with it once prepared, as it does once saved and read again.
  Context other(kb.root().c_str(), true);
  int32_t back = -1;
  ASSERT_TQ_OK(other, tq_phonetx_load(other, "more", &back));
  ASSERT_TQ_OK(other, tq_phonetx_rule_add(other, back, "A", "E", 70, 0, &ri));
  EXPECT_EQ(ri, 2);
  EXPECT_EQ(execute(other, back, "Q AQ", -1), "");
  ASSERT_TQ_OK(other, tq_phonetx_prepare(other, back));
  EXPECT_EQ(tq_phonetx_prepare(other, back), -603);
  EXPECT_EQ(execute(other, back, "Q AQ"), "QEK");
  tq_lock_handle* lock2 = nullptr;
  ASSERT_EQ(tq_lock_init(other, &lock2), 0);
  ASSERT_TQ_OK(ctx, tq_phonetx_close(ctx, lock));
  tq_lock_free(ctx, lock);
  ASSERT_TQ_OK(other, tq_phonetx_edit(other, "more", lock2));
  ASSERT_TQ_OK(other, tq_phonetx_save(other, back, lock2));
  tq_lock_free(other, lock2);
  Context third(kb.root().c_str());
  ASSERT_TQ_OK(third, tq_phonetx_load(third, "more", &back));
  EXPECT_EQ(execute(third, back, "Q AQ"), "QEK");
}

TEST(PhonetxApi, RewindLimitAndLatin1Text) {
  Context ctx(nullptr, true);
  int32_t idx = -1, ri = -1;
  ASSERT_TQ_OK(ctx, tq_phonetx_create(ctx, "loop", &idx));
  ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, "A", "A", 50, TQ_PHONETX_FLAG_REWIND, &ri));
  ASSERT_TQ_OK(ctx, tq_phonetx_rule_add(ctx, idx, "\xE9", "E", 50, 0, &ri));  // é in Latin-1
  ASSERT_TQ_OK(ctx, tq_phonetx_prepare(ctx, idx));
  EXPECT_EQ(execute(ctx, idx, "A", 114), "A");
  EXPECT_NE(last_error(ctx).find("rewind limit"), std::string::npos);
  EXPECT_EQ(execute(ctx, idx, "\xE9t\xE9"), "EtE");
}

}  // namespace

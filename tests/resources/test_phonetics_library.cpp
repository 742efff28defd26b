// Phonetics rule sets as a resource: made and filled in memory, compiled,
// executed, saved, read back, refused when their files are not sound, and
// read into the edit session.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "core/krenc.h"
#include "kbstore/krlock.h"
#include "kbstore/krxml.h"
#include "resources/krphtx.h"
#include "resources/krrsacc.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;

// A context with what the phonetics library needs: a search path on a
// temporary folder, lock files, the XML stash and the engine's work area.
struct Lib {
  tq_test::TempDir dir;
  tq_test::BareContext bc{dir.str()};
  tq_lock_handle* lock = nullptr;

  Lib() { EXPECT_EQ(lock_init(ctx(), &lock), 0); }
  ~Lib() { lock_free(ctx(), lock); }
  tq_context* ctx() { return bc.get(); }

  std::string execute(int32_t index, const char* input, int32_t expected_rc = 0) {
    char out[1100];
    EXPECT_EQ(phonetx_execute(ctx(), index, input, out, sizeof out), expected_rc) << bc.last_error();
    return out;
  }
  bool has_error(const std::string& part) {
    for (uint32_t i = 0; i < ctx()->errors.count; ++i) {
      if (std::string(ctx()->errors.recs[i].text).find(part) != std::string::npos) return true;
    }
    return false;
  }
};

struct FileRule {
  const char* pattern;
  const char* replacement;
  int32_t priority;
  int32_t flags;
};

// Writes a rule-set vault file "<name>.zel" into the folder, with the given
// columns (all four by default) and with or without locale properties.
void write_set(Lib& lib, const char* name, const std::vector<FileRule>& rules, bool with_locale = true,
               int columns = 4) {
  context* ctx = lib.ctx();
  xmldoc* doc = nullptr;
  ASSERT_EQ(xmldoc_create(ctx, "phonetx", "7.0", &doc), 0);
  if (with_locale) {
    ASSERT_EQ(xmldoc_prop_add(ctx, doc, "Locale ISO Code", "EN"), 0);
    ASSERT_EQ(xmldoc_prop_add(ctx, doc, "Locale Description", "English"), 0);
    ASSERT_EQ(xmldoc_prop_add(ctx, doc, "Locale Code", "29000"), 0);
  }
  const char* names[] = {"search_for", "replace_with", "priority", "flags"};
  const uint32_t types[] = {kXmlColString, kXmlColString, kXmlColInt, kXmlColInt};
  for (int c = 0; c < columns; ++c) ASSERT_EQ(xmldoc_column_add(ctx, doc, names[c], types[c]), 0);
  for (const FileRule& r : rules) {
    xmldoc_field f[4];
    f[0].type = kXmlColString;
    f[0].text = const_cast<char*>(r.pattern);
    f[1].type = kXmlColString;
    f[1].text = const_cast<char*>(r.replacement);
    f[2].type = kXmlColInt;
    f[2].number = r.priority;
    f[3].type = kXmlColInt;
    f[3].number = r.flags;
    ASSERT_EQ(xmldoc_record_add(ctx, doc, nullptr, nullptr, f), 0);
  }
  std::string path = (lib.dir / (std::string(name) + ".zel")).string();
  ASSERT_EQ(xmldoc_write(ctx, path.c_str(), kXmlFlagVault | kXmlFlagNameAsGiven, doc), 0);
  xml_free(ctx, doc);
}

TEST(PhonetxLibrary, InMemorySetClampsCompilesAndExecutes) {
  Lib lib;
  int32_t idx = -1;
  ASSERT_EQ(phonetx_create(lib.ctx(), "mem", &idx), 0);
  int32_t ri = -5;
  EXPECT_EQ(phonetx_rule_add(lib.ctx(), idx, "A", "BBBB", 5, 0, &ri), 0);
  EXPECT_EQ(ri, 0);
  EXPECT_EQ(phonetx_rule_add(lib.ctx(), idx, "Q", "K", 95, 0, &ri), 0);
  EXPECT_EQ(ri, 1);
  EXPECT_EQ(phonetx_rule_add(lib.ctx(), idx, "Z", "Y", 50, 6, &ri), -705);
  EXPECT_EQ(ri, -1);
  EXPECT_TRUE(lib.has_error("'mem'"));
  phonetx_rec* rec = nullptr;
  ASSERT_EQ(phonetx_get(lib.ctx(), idx, &rec), 0);
  ASSERT_EQ(rec->rules.rule_count, 2u);
  EXPECT_EQ(rec->rules.rules[0]->priority, 10);
  EXPECT_EQ(rec->rules.rules[1]->priority, 90);
  EXPECT_EQ(rec->locale.code, -1);  // no current locale

  EXPECT_EQ(lib.execute(idx, "AQ", -1), "");
  EXPECT_EQ(phonetx_prepare(lib.ctx(), idx), 0);
  EXPECT_EQ(phonetx_prepare(lib.ctx(), idx), -603);
  EXPECT_EQ(lib.execute(idx, "AQ"), "BBBBK");
  EXPECT_EQ(lib.execute(idx, ""), "");

  // size counts the whole buffer: 4 bytes of text and the terminator.
  std::vector<char> buf(16, '#');
  EXPECT_EQ(phonetx_execute(lib.ctx(), idx, "AA", buf.data(), 5), 115);
  EXPECT_STREQ(buf.data(), "BBBB");
  EXPECT_EQ(buf[5], '#');
  EXPECT_EQ(phonetx_execute(lib.ctx(), idx, "AA", buf.data(), 0), -802);

  // A rule added after compiling is not in the machine: the set is
  // editable again and runs once compiled with it.
  EXPECT_EQ(phonetx_rule_add(lib.ctx(), idx, "K", "C", 50, 0, &ri), 0);
  EXPECT_EQ(ri, 2);
  EXPECT_EQ(lib.execute(idx, "AQ", -1), "");
  EXPECT_EQ(phonetx_prepare(lib.ctx(), idx), 0);
  EXPECT_EQ(lib.execute(idx, "AQ"), "BBBBK");
  EXPECT_EQ(lib.execute(idx, "K"), "C");
  EXPECT_EQ(phonetx_get(lib.ctx(), 99, &rec), -800);
}

TEST(PhonetxLibrary, ExecuteCutsInTheSessionEncoding) {
  Lib lib;
  int32_t idx = -1, ri = -1;
  ASSERT_EQ(phonetx_create(lib.ctx(), "wide", &idx), 0);
  ASSERT_EQ(phonetx_rule_add(lib.ctx(), idx, "A", "BBBB", 50, 0, &ri), 0);
  ASSERT_EQ(phonetx_prepare(lib.ctx(), idx), 0);
  // The limit counts bytes of the session encoding: three Latin-1 letters
  // fit in a buffer of 4 although their UTF-8 form takes 6 bytes.
  int32_t latin = -1;
  ASSERT_EQ(phonetx_create(lib.ctx(), "latin", &latin), 0);
  ASSERT_EQ(phonetx_rule_add(lib.ctx(), latin, "E", "\xE9", 50, 0, &ri), 0);
  ASSERT_EQ(phonetx_prepare(lib.ctx(), latin), 0);
  std::vector<char> small(8, '#');
  EXPECT_EQ(phonetx_execute(lib.ctx(), latin, "EEE", small.data(), 4), 0);
  EXPECT_STREQ(small.data(), "\xE9\xE9\xE9");
  EXPECT_EQ(phonetx_execute(lib.ctx(), latin, "EEE", small.data(), 3), 115);
  EXPECT_STREQ(small.data(), "\xE9\xE9");
  EXPECT_TRUE(lib.has_error("'latin': the result was cut"));

  lib.ctx()->session_encoding = kEncodingUcs2Le;
  const char input[] = {'A', 0, 0, 0};
  std::vector<char> buf(32, '#');
  // Four characters take 8 bytes in UCS-2: a buffer of 8 holds three and
  // the two-byte terminator.
  EXPECT_EQ(phonetx_execute(lib.ctx(), idx, input, buf.data(), 8), 115);
  EXPECT_EQ(std::string(buf.data(), 8), std::string("B\0B\0B\0\0\0", 8));
  EXPECT_EQ(buf[8], '#');
  EXPECT_EQ(phonetx_execute(lib.ctx(), idx, input, buf.data(), 10), 0);
  EXPECT_EQ(std::string(buf.data(), 10), std::string("B\0B\0B\0B\0\0\0", 10));
}

TEST(PhonetxLibrary, SaveAndLoadRoundTrip) {
  Lib lib;
  context* ctx = lib.ctx();
  ASSERT_EQ(phonetx_edit_new(ctx, lib.dir.str().c_str(), "ph", lib.lock), 0);
  ASSERT_TRUE(std::filesystem::exists(lib.dir / "ph.zel"));
  int32_t idx = -1, ri = -1;
  ASSERT_EQ(phonetx_create(ctx, "ph", &idx), 0);
  // Without a locale the set could never be loaded again: not saved.
  ASSERT_EQ(phonetx_save(ctx, idx, lib.lock), -300);
  ASSERT_EQ(rsrc_locale_info_set(ctx, kPhonetxAccess, idx, "EN", "English", 29000), 0);
  ASSERT_EQ(phonetx_rule_add(ctx, idx, "\\ ", "_", 50, 0, &ri), 0);
  ASSERT_EQ(phonetx_rule_add(ctx, idx, "Q$", "K", 70, 0, &ri), 0);
  ASSERT_EQ(phonetx_rule_add(ctx, idx, "AB", "X", 5, 0, &ri), 0);
  ASSERT_EQ(phonetx_rule_add(ctx, idx, "C", "S", 60, kPxFlagRewind, &ri), 0);
  ASSERT_EQ(rsrc_owner_set(ctx, kPhonetxAccess, idx, "Team"), 0);
  ASSERT_EQ(rsrc_vault_info_set(ctx, kPhonetxAccess, idx, "ph", "Phonetics test"), 0);
  ASSERT_EQ(phonetx_prepare(ctx, idx), 0);
  phonetx_rec* rec = nullptr;
  ASSERT_EQ(phonetx_get(ctx, idx, &rec), 0);
  EXPECT_EQ(rec->rules.rule_count, 5u);  // the twin of Q$
  // Worked by hand: AB -> X; the blank -> _; in "QQ " the twin of Q$ wins
  // and copies Q, taking the blank; C -> S is read again.
  const std::string expected = "X_QQS";
  EXPECT_EQ(lib.execute(idx, "AB QQ C"), expected);
  ASSERT_EQ(phonetx_save(ctx, idx, lib.lock), 0) << lib.bc.last_error();

  // The file: four rules in priority order, the twin left out, the blank
  // pattern as given.
  xmldoc* doc = nullptr;
  ASSERT_EQ(xmldoc_read(ctx, "ph", kXmlFlagVault, &doc), 0);
  EXPECT_STREQ(doc->type, "phonetx");
  EXPECT_STREQ(doc->version, "7.0");
  ASSERT_EQ(doc->column_count, 4);
  ASSERT_EQ(doc->record_count, 4);
  const char* patterns[] = {"Q$", "C", "\\ ", "AB"};
  const int32_t priorities[] = {70, 60, 50, 10};
  for (int r = 0; r < 4; ++r) {
    EXPECT_STREQ(doc->records[r].fields[0].text, patterns[r]);
    EXPECT_EQ(doc->records[r].fields[2].number, priorities[r]);
  }
  EXPECT_EQ(doc->records[1].fields[3].number, static_cast<int32_t>(kPxFlagRewind));
  EXPECT_STREQ(xmldoc_prop_get(ctx, doc, "Owner"), "Team");
  EXPECT_STREQ(xmldoc_prop_get(ctx, doc, "Locale Code"), "29000");
  EXPECT_STREQ(xmldoc_prop_get(ctx, doc, "Description"), "Phonetics test");
  xml_free(ctx, doc);

  EXPECT_EQ(rsrc_unload(ctx, kPhonetxAccess, idx), 0);
  EXPECT_EQ(lock_handle_close(ctx, lib.lock), 0);
  EXPECT_EQ(rsrc_unload(ctx, kPhonetxAccess, idx), -800);

  int32_t loaded = -1;
  ASSERT_EQ(phonetx_load(ctx, "ph", &loaded), 0);
  int32_t again = -1;
  ASSERT_EQ(phonetx_load(ctx, "ph.zel", &again), 0);
  EXPECT_EQ(again, loaded);
  EXPECT_EQ(lib.execute(loaded, "AB QQ C"), expected);
  ASSERT_EQ(phonetx_get(ctx, loaded, &rec), 0);
  EXPECT_EQ(rec->rules.state, kPxStateCompiled);
  EXPECT_EQ(rec->rules.rules_added, 4u);
  EXPECT_STREQ(rec->vault.name, "ph");
  EXPECT_EQ(phonetx_prepare(ctx, loaded), -603);
  char owner[400];
  EXPECT_EQ(rsrc_owner_get(ctx, kPhonetxAccess, loaded, owner), 0);
  EXPECT_STREQ(owner, "Team");
  char iso[40], desc[400];
  int32_t code = 0;
  EXPECT_EQ(rsrc_locale_info_get(ctx, kPhonetxAccess, loaded, iso, desc, &code), 0);
  EXPECT_STREQ(iso, "EN");
  EXPECT_STREQ(desc, "English");
  EXPECT_EQ(code, 29000);
}

TEST(PhonetxLibrary, FilesThatAreNotSoundAreRefused) {
  Lib lib;
  context* ctx = lib.ctx();
  write_set(lib, "low", {{"A", "B", 5, 0}});
  int32_t idx = -1;
  ASSERT_EQ(phonetx_load(ctx, "low", &idx), 0);
  phonetx_rec* rec = nullptr;
  ASSERT_EQ(phonetx_get(ctx, idx, &rec), 0);
  EXPECT_EQ(rec->rules.rules[0]->priority, 5);  // file rules are taken as written
  EXPECT_EQ(lib.execute(idx, "A"), "B");

  EXPECT_EQ(phonetx_load(ctx, "missing", &idx), -400);
  EXPECT_EQ(idx, -1);

  struct Bad {
    const char* name;
    std::vector<FileRule> rules;
    bool locale;
    int columns;
    int32_t rc;
    const char* message;
  };
  const Bad cases[] = {
      {"three", {{"A", "B", 50, 0}}, true, 3, -300, nullptr},
      {"nolocale", {{"A", "B", 50, 0}}, false, 4, -300, "locale properties of phonetics rule set 'nolocale'"},
      {"syntax", {{"A[", "B", 50, 0}}, true, 4, -803, "without a closing"},
      {"flags", {{"A", "B", 50, 6}}, true, 4, -705, "rewind and the ignore"},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.name);
    write_set(lib, c.name, c.rules, c.locale, c.columns);
    int32_t bad = -1;
    ASSERT_EQ(phonetx_load(ctx, c.name, &bad), 0);  // registered, read on first use
    err_list_reset(ctx);
    EXPECT_EQ(phonetx_get(ctx, bad, &rec), c.rc);
    if (c.message != nullptr) {
      EXPECT_TRUE(lib.has_error(c.message)) << lib.bc.last_error();
    }
    // The slot stays registered with its reference: the next use tries again.
    EXPECT_EQ(phonetx_get(ctx, bad, &rec), c.rc);
    EXPECT_EQ(rsrc_unload(ctx, kPhonetxAccess, bad), 0);
  }
}

TEST(PhonetxLibrary, EditSessionShowsTheRulesOfAFile) {
  Lib lib;
  context* ctx = lib.ctx();
  write_set(lib, "ed", {{"\\ ", "_", 50, 0}, {"^K", "", 70, 1}, {"X$", "\xC3\xA9", 5, 0}});
  ASSERT_EQ(phonetx_edit(ctx, "ed", lib.lock), 0) << lib.bc.last_error();
  EXPECT_EQ(lib.lock->held, 1u);
  uint32_t count = 0;
  EXPECT_EQ(phonetx_edit_rule_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 3u);
  char text[1100], repl[1100];
  int32_t priority = 0;
  uint32_t flags = 9;
  EXPECT_EQ(phonetx_edit_rule_get(ctx, 0, text, repl, &priority, &flags), 0);
  EXPECT_STREQ(text, "\\ ");
  EXPECT_STREQ(repl, "_");
  EXPECT_EQ(priority, 50);
  EXPECT_EQ(phonetx_edit_rule_get(ctx, 1, text, repl, &priority, &flags), 0);
  EXPECT_EQ(flags, 1u);
  EXPECT_EQ(priority, 70);
  EXPECT_EQ(phonetx_edit_rule_get(ctx, 2, text, repl, &priority, &flags), 0);
  EXPECT_EQ(priority, 5);
  EXPECT_STREQ(repl, "\xE9");  // out in the session encoding, Latin-1
  EXPECT_EQ(phonetx_edit_rule_get(ctx, 3, text, repl, &priority, &flags), -800);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(priority, 50);
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(phonetx_edit_rule_get(ctx, -1, text, repl, &priority, &flags), -800);
  char iso[40], desc[400];
  int32_t code = 0;
  EXPECT_EQ(phonetx_edit_locale_info_get(ctx, iso, desc, &code), 0);
  EXPECT_STREQ(iso, "EN");
  EXPECT_EQ(code, 29000);
  EXPECT_EQ(phonetx_edit_free(ctx), 0);
  EXPECT_EQ(phonetx_edit_rule_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(lock_handle_close(ctx, lib.lock), 0);
  EXPECT_EQ(lib.lock->held, 0u);

  // A file without its locale or its four columns: nothing read, the lock
  // given back.
  write_set(lib, "noloc", {{"A", "B", 50, 0}}, false);
  EXPECT_EQ(phonetx_edit(ctx, "noloc", lib.lock), -300);
  EXPECT_EQ(lib.lock->held, 0u);
  write_set(lib, "cols", {{"A", "B", 50, 0}}, true, 2);
  EXPECT_EQ(phonetx_edit(ctx, "cols", lib.lock), -300);
  EXPECT_EQ(lib.lock->held, 0u);
  EXPECT_EQ(phonetx_edit_rule_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 0u);
}

TEST(PhonetxLibrary, CreateTakesTheCurrentLocaleAndVaultTextsMustConvert) {
  Lib lib;
  context* ctx = lib.ctx();
  ctx->current_locale_code = 29000;
  int32_t idx = -1;
  ASSERT_EQ(phonetx_create(ctx, "loc", &idx), 0);
  phonetx_rec* rec = nullptr;
  ASSERT_EQ(phonetx_get(ctx, idx, &rec), 0);
  EXPECT_EQ(rec->locale.code, 29000);
  EXPECT_STREQ(rec->locale.iso, "EN");
  int32_t dup = 7;
  EXPECT_EQ(phonetx_create(ctx, "loc", &dup), -407);
  EXPECT_EQ(dup, -1);

  ctx->session_encoding = kEncodingUtf8;
  ctx->options |= kOptStrictConversion;
  EXPECT_EQ(rsrc_vault_info_set(ctx, kPhonetxAccess, idx, "\xFF", "desc"), -10000);
  EXPECT_STREQ(rec->vault.name, "");
  EXPECT_EQ(rsrc_vault_info_set(ctx, kPhonetxAccess, idx, "name", "\xFF"), -10000);
  EXPECT_STREQ(rec->vault.name, "");
  EXPECT_EQ(rsrc_vault_info_set(ctx, kPhonetxAccess, idx, "name", "desc"), 0);
  EXPECT_STREQ(rec->vault.description, "desc");
  int32_t ri = -1;
  EXPECT_EQ(phonetx_rule_add(ctx, idx, "\xFF", "x", 50, 0, &ri), -10000);
  EXPECT_EQ(ri, -1);
  EXPECT_EQ(rec->rules.rule_count, 0u);
}

}  // namespace

// A locale write keeps what the file it replaces holds and the locale does
// not: the parts its load left out, as the file has them, and the head's
// properties the writer does not make (a vault handle's name and
// description). So the sample's EN written after a load of some of its
// parts, then loaded whole and written, is the file a write after a whole
// load makes, byte for byte. An edit load asking for more parts than the
// loaded locale holds reads them.
#include <filesystem>
#include <functional>
#include <string>

#include "support/sample_locales.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

namespace fs = std::filesystem;
using tq_test::kEveryPart;
using tq_test::kSampleEn;

fs::path en_file(const fs::path& root) { return root / "locale" / "en.loc.zel"; }

// An edit-mode context on a copy of the sample with a lock handle.
struct Editor {
  tq_test::SampleKbCopy kb;
  tq_test::Context ctx{kb.str().c_str(), true};
  tq_lock_handle* lock = nullptr;
  Editor() { EXPECT_EQ(tq_lock_init(ctx, &lock), 0); }
  ~Editor() { release(); }
  void release() {
    if (lock != nullptr) tq_lock_free(ctx, lock);
    lock = nullptr;
  }
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;
};

// EN edit-loaded whole in a new context on the root and written back: 0
// for both, else the first failure.
int32_t whole_write(const fs::path& root) {
  tq_test::Context ctx(root.c_str(), true);
  tq_lock_handle* lock = nullptr;
  int32_t rc = tq_lock_init(ctx, &lock);
  if (rc == 0) rc = tq_zel_locale_load_edit(ctx, kSampleEn, kEveryPart, lock);
  if (rc == 0) rc = tq_locale_write(ctx, kSampleEn, lock);
  EXPECT_EQ(rc, 0) << tq_test::error_list_text(ctx);
  tq_lock_free(ctx, lock);
  return rc;
}

// What a write after a whole load makes of the sample's EN.
const std::string& whole_written() {
  static const std::string bytes = [] {
    tq_test::SampleKbCopy kb;
    whole_write(kb.path());
    return tq_test::read_file(en_file(kb.path()));
  }();
  return bytes;
}

// EN taken for editing some way and written unchanged.
struct Road {
  const char* name;
  std::function<int32_t(Editor&)> load;
};

const Road kRoads[] = {
    {"datatypes", [](Editor& e) { return tq_zel_locale_load_edit(e.ctx, kSampleEn, TQ_LOAD_DATATYPES, e.lock); }},
    {"three kinds",
     [](Editor& e) {
       return tq_zel_locale_load_edit(e.ctx, kSampleEn,
                                      TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_CASE_DEFNS | TQ_LOAD_MATCH_DEFNS,
                                      e.lock);
     }},
    // An import reads into the locale from a document, not from its file:
    // the parts its load left out are still the file's.
    {"datatypes and an import",
     [](Editor& e) {
       int32_t rc = tq_zel_locale_load_edit(e.ctx, kSampleEn, TQ_LOAD_DATATYPES, e.lock);
       tq_xmldoc* doc = nullptr;
       if (rc >= 0) rc = tq_locale_file_xml_create(e.ctx, &doc);
       if (rc >= 0) rc = tq_locale_import(e.ctx, doc);
       if (doc != nullptr) tq_xml_free(e.ctx, doc);
       return rc;
     }},
    // Taken as it is by the edit load, which reads what it lacks.
    {"plain load of the datatypes, then an edit load of every part",
     [](Editor& e) {
       int32_t rc = tq_zel_locale_load(e.ctx, kSampleEn, TQ_LOAD_DATATYPES);
       if (rc >= 0) rc = tq_zel_locale_load_edit(e.ctx, kSampleEn, kEveryPart, e.lock);
       int32_t parse = -1;
       if (rc >= 0) rc = tq_parse_defn_index_get_by_name(e.ctx, "Name", &parse);
       return rc;
     }},
};

TEST(LocaleWriteKeeps, WhatTheLoadLeftOut) {
  for (const Road& road : kRoads) {
    SCOPED_TRACE(road.name);
    Editor e;
    ASSERT_EQ(road.load(e), 0) << tq_test::error_list_text(e.ctx);
    EXPECT_EQ(tq_locale_write(e.ctx, kSampleEn, e.lock), 0) << tq_test::error_list_text(e.ctx);
    e.release();
    // Every definition is there to be loaded: written again after a whole
    // load, the file is the one a whole load's write makes.
    ASSERT_EQ(whole_write(e.kb.path()), 0);
    EXPECT_TRUE(tq_test::read_file(en_file(e.kb.path())) == whole_written()) << "the written EN differs";
  }
}

// The vault file's name and description of EN, as "name|description".
std::string vault_texts(tq_context* ctx) {
  tq_vault_file* h = nullptr;
  char name[1100] = "", description[1100] = "";
  int32_t rc = tq_zel_vlt_file_open(ctx, "en.loc", 7, &h);
  if (rc >= 0) rc = tq_zel_vlt_file_obj_name_get(ctx, h, name);
  if (rc >= 0) rc = tq_zel_vlt_file_desc_get(ctx, h, description);
  if (h != nullptr) tq_zel_vlt_file_close(ctx, h);
  return rc < 0 ? "rc " + std::to_string(rc) : std::string(name) + "|" + description;
}

void vault_texts_set(tq_context* ctx, const char* name, const char* description) {
  tq_vault_file* h = nullptr;
  ASSERT_GE(tq_zel_vlt_file_edit(ctx, "en.loc", 7, &h), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(tq_zel_vlt_file_obj_name_set(ctx, h, name), 0);
  EXPECT_EQ(tq_zel_vlt_file_desc_set(ctx, h, description), 0);
  EXPECT_EQ(tq_zel_vlt_file_write(ctx, h), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(tq_zel_vlt_file_close(ctx, h), 0);
}

// Set before the locale's load, or after a plain load and before the
// locale is locked: the write takes them from the file as it stands. (Set
// after the load, they make the file another version than the one the
// locale was read from: its write is refused until it is loaded again.)
TEST(LocaleWriteKeeps, TheVaultNameAndDescription) {
  struct Case {
    const char* name;
    uint32_t parts;
    bool set_after_load;
  };
  for (const Case& c : {Case{"whole edit load", kEveryPart, false}, Case{"datatypes", TQ_LOAD_DATATYPES, false},
                        Case{"plain whole load", kEveryPart, true}}) {
    SCOPED_TRACE(c.name);
    Editor e;
    int32_t rc = 0;
    if (c.set_after_load) {
      ASSERT_EQ(tq_zel_locale_load(e.ctx, kSampleEn, c.parts), 0);
      vault_texts_set(e.ctx, "English names", "Kept by every write");
      ASSERT_EQ(tq_lock_create(e.ctx, "en.loc", 7, e.lock, nullptr), 0);
      EXPECT_EQ(tq_locale_write(e.ctx, kSampleEn, e.lock), -405);
      EXPECT_EQ(vault_texts(e.ctx), "English names|Kept by every write");
      ASSERT_EQ(tq_zel_locale_unload(e.ctx, kSampleEn), 0);
      rc = tq_zel_locale_load(e.ctx, kSampleEn, c.parts);
    } else {
      vault_texts_set(e.ctx, "English names", "Kept by every write");
      rc = tq_zel_locale_load_edit(e.ctx, kSampleEn, c.parts, e.lock);
    }
    ASSERT_EQ(rc, 0) << tq_test::error_list_text(e.ctx);
    EXPECT_EQ(tq_locale_write(e.ctx, kSampleEn, e.lock), 0) << tq_test::error_list_text(e.ctx);
    EXPECT_EQ(vault_texts(e.ctx), "English names|Kept by every write");
  }
}

}  // namespace

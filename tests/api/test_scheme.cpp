// Schemes through the exports: building in memory, applying to phrases and
// element runs, editing, importing, merging, writing and reading back.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/built_kb.h"
#include "support/chopper_doc.h"
#include "support/locale_taken.h"
#include "support/tq_test.h"

namespace {

using tq_test::Context;
using tq_test::TempDir;
using tq_test::Taken;
using tq_test::current_locale_taken;

constexpr int32_t kEnUsa = 29840;

// A knowledge base with the locale files of ENUSA and a scheme folder.
std::string kb_root(const TempDir& dir) {
  std::filesystem::create_directories(dir / "locale");
  std::filesystem::create_directories(dir / "scheme");
  std::filesystem::create_directories(dir / "chopinfo");
  return dir.str();
}

struct SchemeKb {
  TempDir dir;
  Context ctx{kb_root(dir).c_str()};
  SchemeKb() {
    tq_test::write_locale_settings(ctx, dir.path(), "l1.loc", "ISO-8859-1 (Latin-1)", "");
    tq_test::write_locale_settings(ctx, dir.path(), "en.loc", "English", "l1.loc");
    tq_test::write_locale_settings(ctx, dir.path(), "enusa.loc", "English (United States)", "");
    EXPECT_GE(tq_zel_locale_load(ctx, kEnUsa, 0), 0) << tq_test::error_list_text(ctx);
    // Texts cross the interface in UTF-8 here.
    EXPECT_EQ(tq_session_encoding_set(ctx, 13), 0);
  }
  std::string scheme_dir() const { return (dir / "scheme").string(); }

  // A scheme made in memory with the entries given, then finalized.
  int32_t make(const char* name, uint32_t options, const std::vector<std::pair<std::string, std::string>>& entries,
               bool finalize = true) {
    int32_t index = -1;
    EXPECT_EQ(tq_scheme_create_in_memory(ctx, name, options, &index), 0) << tq_test::error_list_text(ctx);
    for (const auto& [data, standard] : entries) {
      EXPECT_EQ(tq_scheme_import_record(ctx, index, data.c_str(), standard.c_str()), 0);
    }
    EXPECT_GE(tq_scheme_import_end(ctx, index), 0);
    if (finalize) {
      EXPECT_EQ(tq_scheme_finalize_in_memory(ctx, index), 0) << tq_test::error_list_text(ctx);
    }
    return index;
  }

  std::string apply(int32_t index, const char* value, int32_t* found = nullptr, uint32_t size = 64) {
    std::vector<char> out(size + 4, 'x');
    int32_t n = -1;
    int32_t rc = tq_transf_scheme_apply(ctx, index, value, out.data(), size, &n);
    EXPECT_GE(rc, 0) << value << "\n" << tq_test::error_list_text(ctx);
    if (found != nullptr) *found = n;
    return out.data();
  }

  std::vector<std::string> apply_many(int32_t index, const char* value, uint32_t bufs, int32_t* rc_out = nullptr) {
    std::vector<std::vector<char>> space(bufs, std::vector<char>(64, 'x'));
    std::vector<char*> ptrs;
    for (auto& s : space) ptrs.push_back(s.data());
    uint32_t n = 99;
    int32_t rc = tq_transf_scheme_apply_mult_out(ctx, index, value, bufs, 64, ptrs.data(), &n);
    if (rc_out != nullptr) *rc_out = rc;
    std::vector<std::string> result;
    for (uint32_t i = 0; i < n && i < bufs; ++i) result.emplace_back(space[i].data());
    return result;
  }

  uint32_t count(int32_t index) {
    uint32_t n = 0;
    EXPECT_EQ(tq_scheme_element_count_get(ctx, index, &n), 0);
    return n;
  }

  std::string data_at(int32_t index, uint32_t i) {
    char text[1100] = "x";
    EXPECT_EQ(tq_scheme_element_data_get(ctx, index, i, text), 0);
    return text;
  }

  std::string standard_at(int32_t index, uint32_t i) {
    char text[1100] = "x";
    EXPECT_EQ(tq_scheme_element_standard_get(ctx, index, i, text), 0);
    return text;
  }
};

TEST(Scheme, PhraseSchemeReplacesWholeValues) {
  SchemeKb kb;
  int32_t i = kb.make("streets", 0, {{"ST", "STREET"}, {"AVE", "AVENUE"}});
  int32_t n = -1;
  EXPECT_EQ(kb.apply(i, " ST ", &n), "STREET");
  EXPECT_EQ(n, 1);
  EXPECT_EQ(kb.apply(i, "MAIN ST", &n), "MAIN ST");
  EXPECT_EQ(n, 0);
  // Case-sensitive: the lowercase value is not found and comes back as it was.
  EXPECT_EQ(kb.apply(i, "st", &n), "st");
  EXPECT_EQ(n, 0);
  // The output is cut to the buffer, terminator included.
  EXPECT_EQ(kb.apply(i, "AVE", &n, 5), "AVEN");
  EXPECT_EQ(n, 1);
}

TEST(Scheme, ElementSchemeReplacesLongestRuns) {
  SchemeKb kb;
  int32_t i = kb.make("elems", 1, {{"ST", "STREET"}, {"ST LOUIS", "SAINT LOUIS"}, {"N", "NORTH"}});
  int32_t n = -1;
  EXPECT_EQ(kb.apply(i, "MAIN ST", &n), "MAIN STREET");
  EXPECT_EQ(n, 1);
  // The longest run from a word wins; the scan goes on after it.
  EXPECT_EQ(kb.apply(i, "N ST LOUIS ST", &n), "NORTH SAINT LOUIS STREET");
  EXPECT_EQ(n, 3);
  // Nothing replaced: the value itself, its inner separators kept.
  EXPECT_EQ(kb.apply(i, "  MAIN   ROAD ", &n), "MAIN   ROAD");
  EXPECT_EQ(n, 0);
}

TEST(Scheme, ElementSchemeKeepsWordsAfterTheLookedUpOnes) {
  SchemeKb kb;
  int32_t i = kb.make("elems", 1, {{"ST", "STREET"}});
  std::string value = "ST";
  std::string expected = "STREET";
  for (int w = 1; w < 70; ++w) {
    value += " W" + std::to_string(w);
    expected += " W" + std::to_string(w);
  }
  value += " ST";
  expected += " ST";  // the 71st word is not looked up, but it is kept
  int32_t n = -1;
  EXPECT_EQ(kb.apply(i, value.c_str(), &n, 1024), expected);
  EXPECT_EQ(n, 1);
}

TEST(Scheme, CaseInsensitiveSchemes) {
  SchemeKb kb;
  int32_t i = kb.make("ci", 2, {{"St", "STREET"}, {"ŉ", "APOSTROPHE N"}, {"Z", "ZED"}});
  int32_t n = -1;
  EXPECT_EQ(kb.apply(i, "st", &n), "STREET");
  EXPECT_EQ(n, 1);
  EXPECT_EQ(kb.apply(i, "ST", &n), "STREET");
  // A datum whose uppercase form is longer ("ŉ" -> "ʼN") is stored apart,
  // leaving its neighbours whole.
  EXPECT_EQ(kb.apply(i, "ŉ", &n), "APOSTROPHE N");
  EXPECT_EQ(n, 1);
  EXPECT_EQ(kb.apply(i, "z", &n), "ZED");
}

TEST(Scheme, OutputCasing) {
  SchemeKb kb;
  int32_t upper = kb.make("up", 0x20, {{"ST", "Saint street"}});
  int32_t lower = kb.make("low", 0x40, {{"ST", "Saint STREET"}});
  int32_t proper = kb.make("prop", 0x80, {{"ST", "saint STREET"}});
  EXPECT_EQ(kb.apply(upper, "ST"), "SAINT STREET");
  EXPECT_EQ(kb.apply(lower, "ST"), "saint street");
  EXPECT_EQ(kb.apply(proper, "ST"), "Saint Street");
  // A value that is not found is not cased.
  EXPECT_EQ(kb.apply(upper, "Main"), "Main");
}

TEST(Scheme, RemoveAndPercentStandards) {
  SchemeKb kb;
  int32_t i = kb.make("special", 0, {{"C/O", "//Remove"}, {"ATTN", "//remove"}, {"KEEP", "%"}});
  int32_t n = -1;
  EXPECT_EQ(kb.apply(i, "C/O", &n), "");
  EXPECT_EQ(n, 1);
  EXPECT_EQ(kb.apply(i, "ATTN", &n), "");
  EXPECT_EQ(n, 1);
  EXPECT_EQ(kb.apply(i, "KEEP", &n), "KEEP");
  EXPECT_EQ(n, 0);
  // In an element scheme a removed run leaves no gap.
  int32_t e = kb.make("special-e", 1, {{"C/O", "//Remove"}, {"KEEP", "%"}});
  EXPECT_EQ(kb.apply(e, "JOHN C/O MARY", &n), "JOHN MARY");
  EXPECT_EQ(n, 1);
  EXPECT_EQ(kb.apply(e, "KEEP IT", &n), "KEEP IT");
  EXPECT_EQ(n, 0);
}

TEST(Scheme, SeveralOutputsWithDuplicateGroups) {
  SchemeKb kb;
  // Adding the same data twice is refused; importing keeps both in a
  // scheme that keeps duplicates.
  int32_t i = kb.make("dups", 0x10, {{"A", "X"}, {"A", "Y"}, {"B", "Z"}, {"A", "%"}});
  EXPECT_EQ(kb.apply_many(i, "A", 4), (std::vector<std::string>{"X", "Y"}));
  EXPECT_EQ(kb.apply_many(i, "B", 4), (std::vector<std::string>{"Z"}));
  EXPECT_EQ(kb.apply_many(i, "C", 4), (std::vector<std::string>{"C"}));
  // Fewer buffers than standards: the first ones.
  EXPECT_EQ(kb.apply_many(i, "A", 1), (std::vector<std::string>{"X"}));
  // One output through the single-output export: the first standard.
  EXPECT_EQ(kb.apply(i, "A"), "X");

  // Element runs with several standards multiply the outputs, in order.
  int32_t e = kb.make("dups-e", 0x11, {{"ST", "STREET"}, {"ST", "SAINT"}, {"N", "NORTH"}, {"N", "NEW"}});
  EXPECT_EQ(kb.apply_many(e, "N ST", 8),
            (std::vector<std::string>{"NORTH STREET", "NORTH SAINT", "NEW STREET", "NEW SAINT"}));
  // Never more than the buffers given.
  EXPECT_EQ(kb.apply_many(e, "N ST", 3), (std::vector<std::string>{"NORTH STREET", "NORTH SAINT", "NEW STREET"}));

  // Without duplicates kept there are no several outputs.
  int32_t plain = kb.make("plain", 0, {{"A", "X"}});
  int32_t rc = 0;
  kb.apply_many(plain, "A", 4, &rc);
  EXPECT_EQ(rc, -705);
}

TEST(Scheme, ImportRemovesDuplicates) {
  SchemeKb kb;
  int32_t i = -1;
  ASSERT_EQ(tq_scheme_create_in_memory(kb.ctx, "imp", 0, &i), 0);
  EXPECT_EQ(tq_scheme_import_begin(kb.ctx, i), 0);
  EXPECT_EQ(tq_scheme_import_record(kb.ctx, i, "B", "FIRST"), 0);
  EXPECT_EQ(tq_scheme_import_record(kb.ctx, i, "A", "X"), 0);
  EXPECT_EQ(tq_scheme_import_record(kb.ctx, i, " A ", "X"), 0);
  EXPECT_EQ(tq_scheme_import_record(kb.ctx, i, "B", "SECOND"), 0);
  EXPECT_EQ(tq_scheme_import_record(kb.ctx, i, "", "EMPTY"), 0);
  EXPECT_EQ(kb.count(i), 4u);
  EXPECT_EQ(tq_scheme_import_end(kb.ctx, i), 112);
  ASSERT_EQ(kb.count(i), 2u);
  EXPECT_EQ(kb.data_at(i, 0), "A");
  EXPECT_EQ(kb.data_at(i, 1), "B");
  // Of equal data, the one imported last stays.
  EXPECT_EQ(kb.standard_at(i, 1), "SECOND");
  // Nothing more to remove.
  EXPECT_EQ(tq_scheme_import_end(kb.ctx, i), 0);

  // A case-insensitive scheme keeps equal data with different standards.
  int32_t ci = -1;
  ASSERT_EQ(tq_scheme_create_in_memory(kb.ctx, "imp-ci", 2, &ci), 0);
  EXPECT_EQ(tq_scheme_import_record(kb.ctx, ci, "ST", "STREET"), 0);
  EXPECT_EQ(tq_scheme_import_record(kb.ctx, ci, "ST", "SAINT"), 0);
  EXPECT_EQ(tq_scheme_import_record(kb.ctx, ci, "ST", "STREET"), 0);
  EXPECT_EQ(tq_scheme_import_end(kb.ctx, ci), 112);
  EXPECT_EQ(kb.count(ci), 2u);
}

TEST(Scheme, EntriesAddDeleteAndRefusals) {
  SchemeKb kb;
  int32_t i = -1;
  ASSERT_EQ(tq_scheme_create_in_memory(kb.ctx, "edit", 0, &i), 0);
  EXPECT_EQ(tq_scheme_entry_add(kb.ctx, i, "ST", "STREET"), 0);
  EXPECT_EQ(tq_scheme_entry_add(kb.ctx, i, " AVE", "AVENUE"), 0);
  EXPECT_EQ(tq_scheme_entry_add(kb.ctx, i, "ST ", "SAINT"), -407);
  EXPECT_EQ(tq_scheme_entry_add(kb.ctx, i, "", "NOTHING"), 0);
  EXPECT_EQ(tq_scheme_entry_add(kb.ctx, i, "   ", "NOTHING"), 0);
  ASSERT_EQ(kb.count(i), 2u);
  EXPECT_EQ(kb.data_at(i, 0), "AVE");
  EXPECT_EQ(kb.standard_at(i, 1), "STREET");
  char text[1100];
  EXPECT_EQ(tq_scheme_element_data_get(kb.ctx, i, 2, text), -802);
  EXPECT_STREQ(text, "");

  EXPECT_EQ(tq_scheme_entry_delete(kb.ctx, i, "RD"), 0);
  EXPECT_EQ(tq_scheme_entry_delete(kb.ctx, i, ""), 0);
  EXPECT_EQ(kb.count(i), 2u);
  EXPECT_EQ(tq_scheme_entry_delete(kb.ctx, i, "AVE"), 0);
  ASSERT_EQ(kb.count(i), 1u);
  EXPECT_EQ(kb.data_at(i, 0), "ST");

  // In edit state the scheme is not applied.
  char out[64];
  int32_t n = 7;
  EXPECT_EQ(tq_transf_scheme_apply(kb.ctx, i, "ST", out, sizeof out, &n), -500);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(tq_scheme_chopper_name_get(kb.ctx, i, text), -708);
  EXPECT_EQ(tq_scheme_locale_set(kb.ctx, i, 12345), -700);

  // Once finalized, reading and changing the content need edit state.
  EXPECT_EQ(tq_scheme_finalize_in_memory(kb.ctx, i), 0);
  uint32_t count = 9;
  EXPECT_EQ(tq_scheme_element_count_get(kb.ctx, i, &count), -501);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(tq_scheme_entry_add(kb.ctx, i, "RD", "ROAD"), -501);
  EXPECT_EQ(tq_scheme_import_begin(kb.ctx, i), -501);
  EXPECT_EQ(tq_scheme_finalize_in_memory(kb.ctx, i), -501);
  EXPECT_EQ(tq_transf_scheme_options_set(kb.ctx, i, 1, -1, 0), -501);
  EXPECT_EQ(kb.apply(i, "ST"), "STREET");

  // Clear takes it back to an empty scheme in edit state.
  int32_t j = kb.make("clr", 2, {{"A", "B"}}, false);
  EXPECT_EQ(tq_scheme_clear(kb.ctx, j), 0);
  EXPECT_EQ(kb.count(j), 0u);
  uint32_t options = 0;
  int32_t mdefn = 5;
  uint32_t sens = 5;
  EXPECT_EQ(tq_transf_scheme_options_get(kb.ctx, j, &options, &mdefn, &sens), 0);
  EXPECT_EQ(options, 8u);
  EXPECT_EQ(mdefn, -1);
  EXPECT_EQ(sens, 0u);

  // A scheme needs a loaded locale and a name.
  tq_test::Context bare;
  EXPECT_EQ(tq_scheme_create_in_memory(bare, "x", 0, &j), -707);
  EXPECT_EQ(j, -1);
  EXPECT_EQ(tq_scheme_create_in_memory(kb.ctx, "", 0, &j), -802);
}

TEST(Scheme, MergeNeedsEditStateAndAddsMissingData) {
  SchemeKb kb;
  int32_t source = kb.make("src", 0, {{"A", "SRC-A"}, {"C", "SRC-C"}, {"E", "SRC-E"}});
  int32_t ready = kb.make("ready", 0, {{"B", "B"}});
  EXPECT_EQ(tq_scheme_merge(kb.ctx, ready, source), -501);
  int32_t target = kb.make("tgt", 0, {{"D", "TGT-D"}, {"C", "TGT-C"}}, false);
  EXPECT_EQ(tq_scheme_merge(kb.ctx, target, source), 0);
  ASSERT_EQ(kb.count(target), 4u);
  EXPECT_EQ(kb.data_at(target, 0), "A");
  EXPECT_EQ(kb.data_at(target, 1), "C");
  EXPECT_EQ(kb.standard_at(target, 1), "TGT-C");
  EXPECT_EQ(kb.data_at(target, 2), "D");
  EXPECT_EQ(kb.data_at(target, 3), "E");
  EXPECT_EQ(tq_scheme_merge(kb.ctx, target, target), 0);
  EXPECT_EQ(kb.count(target), 4u);
  EXPECT_EQ(tq_scheme_merge(kb.ctx, target, 999), -800);
  // The source is unchanged and still applies.
  EXPECT_EQ(kb.apply(source, "E"), "SRC-E");
}

TEST(Scheme, OptionsAndKeyedSchemesWithoutTheirMatchDefinition) {
  SchemeKb kb;
  int32_t i = -1;
  ASSERT_EQ(tq_scheme_create_in_memory(kb.ctx, "opts", 0x21, &i), 0);
  uint32_t options = 0;
  int32_t mdefn = 0;
  uint32_t sens = 9;
  EXPECT_EQ(tq_transf_scheme_options_get(kb.ctx, i, &options, &mdefn, &sens), 0);
  EXPECT_EQ(options, 0x29u);
  EXPECT_EQ(mdefn, -1);
  EXPECT_EQ(sens, 0u);
  EXPECT_EQ(tq_transf_scheme_options_set(kb.ctx, i, 0x14, 2, 85), -705);
  // Keyed by match codes, a scheme names its match definition in its file
  // and builds its keys with it: an index the locale does not hold is
  // refused when set (message 1900), and the options stay as they were.
  EXPECT_EQ(tq_transf_scheme_options_set(kb.ctx, i, 0x4, 2, 85), -800);
  int32_t code = 0;
  char text[4100];
  tq_error_info_get(kb.ctx, &code, text);
  EXPECT_EQ(code, -800);
  EXPECT_NE(std::string(text).find("'opts' cannot be keyed by match definition 2"), std::string::npos) << text;
  EXPECT_EQ(tq_transf_scheme_options_get(kb.ctx, i, &options, &mdefn, &sens), 0);
  EXPECT_EQ(options, 0x29u);
  EXPECT_EQ(mdefn, -1);
  EXPECT_EQ(tq_scheme_entry_add(kb.ctx, i, "A", "B"), 0);
  EXPECT_EQ(tq_scheme_finalize_in_memory(kb.ctx, i), 0);
}

TEST(Scheme, WriteAndReload) {
  SchemeKb kb;
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
  int32_t i = -1;
  ASSERT_EQ(tq_scheme_create(kb.ctx, kb.scheme_dir().c_str(), "streets", 0, lock, &i), 0)
      << tq_test::error_list_text(kb.ctx);
  EXPECT_TRUE(std::filesystem::exists(kb.dir / "scheme" / "streets.sch.zel"));
  EXPECT_EQ(tq_scheme_entry_add(kb.ctx, i, "ST", "STREET"), 0);
  EXPECT_EQ(tq_scheme_entry_add(kb.ctx, i, "AVE", "AVENUE"), 0);
  EXPECT_EQ(tq_scheme_owner_set(kb.ctx, i, "Tester"), 0);
  EXPECT_EQ(tq_scheme_vault_info_set(kb.ctx, i, "Street types", "Abbreviations"), 0);
  char iso[32], desc[400];
  int32_t code = 0;
  EXPECT_EQ(tq_scheme_locale_info_get(kb.ctx, i, iso, desc, &code), 0);
  EXPECT_STREQ(iso, "ENUSA");
  EXPECT_EQ(code, kEnUsa);
  EXPECT_EQ(tq_scheme_write(kb.ctx, i, lock), 0) << tq_test::error_list_text(kb.ctx);
  EXPECT_EQ(tq_scheme_unload_edit(kb.ctx, i, lock), 0);

  // The document as written.
  tq_xmldoc* doc = nullptr;
  std::string file = (kb.dir / "scheme" / "streets.sch").string();
  ASSERT_EQ(tq_xml_read(kb.ctx, file.c_str(), 1, &doc), 0) << tq_test::error_list_text(kb.ctx);
  auto prop = [&](const char* name) {
    char value[1100] = "";
    tq_xml_getprop(kb.ctx, doc, name, value);
    return std::string(value);
  };
  EXPECT_EQ(prop("std_type"), "phrase");
  EXPECT_EQ(prop("Case Insensitive"), "No");
  EXPECT_EQ(prop("Trim Whitespace"), "Yes");
  EXPECT_EQ(prop("Owner"), "Tester");
  EXPECT_EQ(prop("Locale ISO Code"), "ENUSA");
  EXPECT_EQ(prop("Vault Object Name"), "Street types");
  tq_xml_free(kb.ctx, doc);

  // Read back for editing, by the name it was created with.
  int32_t j = -1;
  ASSERT_EQ(tq_scheme_load_edit(kb.ctx, "streets", lock, &j), 0) << tq_test::error_list_text(kb.ctx);
  ASSERT_EQ(kb.count(j), 2u);
  EXPECT_EQ(kb.data_at(j, 0), "AVE");
  EXPECT_EQ(kb.standard_at(j, 1), "STREET");
  char owner[400];
  EXPECT_EQ(tq_scheme_owner_get(kb.ctx, j, owner), 0);
  EXPECT_STREQ(owner, "Tester");
  // Changed to an element scheme and written again.
  EXPECT_EQ(tq_transf_scheme_options_set(kb.ctx, j, 1, -1, 0), 0);
  EXPECT_EQ(tq_scheme_write(kb.ctx, j, lock), 0) << tq_test::error_list_text(kb.ctx);
  EXPECT_EQ(tq_scheme_unload_edit(kb.ctx, j, lock), 0);

  // Loaded for use with the options of its file.
  int32_t k = -1;
  ASSERT_EQ(tq_transf_scheme_load(kb.ctx, "streets", -1, -1, 0, &k), 0) << tq_test::error_list_text(kb.ctx);
  char name[4100];
  EXPECT_EQ(tq_scheme_name_get_by_index(kb.ctx, k, name), 0);
  EXPECT_STREQ(name, "streets");
  int32_t found_index = -1;
  EXPECT_EQ(tq_scheme_index_get_by_name(kb.ctx, "streets", &found_index), 0);
  EXPECT_EQ(found_index, k);
  int32_t n = -1;
  EXPECT_EQ(kb.apply(k, "MAIN ST", &n), "MAIN STREET");
  EXPECT_EQ(n, 1);
  uint32_t options = 0;
  int32_t mdefn = 0;
  uint32_t sens = 0;
  EXPECT_EQ(tq_transf_scheme_options_get(kb.ctx, k, &options, &mdefn, &sens), 0);
  EXPECT_EQ(options, 0x1u);
  // Loaded to be applied, it is not written, though the context is in edit
  // mode and the handle locks its file: the error list says why.
  ASSERT_EQ(tq_lock_create(kb.ctx, "streets.sch", 7, lock, nullptr), 0) << tq_test::error_list_text(kb.ctx);
  EXPECT_EQ(tq_scheme_write(kb.ctx, k, lock), TQ_ERR_NEEDS_EDIT_MODE);
  EXPECT_TRUE(tq_test::holds(tq_test::error_list_text(kb.ctx), "Scheme 'streets' is not in edit state"));
  // Loaded with options of its own: a phrase scheme this time, a slot of its own.
  int32_t p = -1;
  ASSERT_EQ(tq_transf_scheme_load(kb.ctx, "streets.sch", 2, 0, 0, &p), 0) << tq_test::error_list_text(kb.ctx);
  EXPECT_NE(p, k);
  EXPECT_EQ(kb.apply(p, "ave", &n), "AVENUE");
  EXPECT_EQ(kb.apply(p, "MAIN ST", &n), "MAIN ST");
  // The same request shares the slot.
  int32_t q = -1;
  ASSERT_EQ(tq_transf_scheme_load(kb.ctx, "streets", 2, 7, 7, &q), 0);
  EXPECT_EQ(q, p);
  EXPECT_EQ(tq_transf_scheme_unload(kb.ctx, q), 0);
  EXPECT_EQ(tq_transf_scheme_unload(kb.ctx, p), 0);
  EXPECT_EQ(tq_transf_scheme_unload(kb.ctx, k), 0);
  EXPECT_EQ(tq_transf_scheme_unload(kb.ctx, k), -800);
  EXPECT_EQ(tq_scheme_name_get_by_index(kb.ctx, k, name), -800);
  EXPECT_EQ(tq_transf_scheme_load(kb.ctx, "nosuch", -1, -1, 0, &k), -400);
  EXPECT_EQ(k, -1);
  EXPECT_EQ(tq_scheme_close(kb.ctx, lock), 0);
  EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);
}

// A scheme document written directly, as a knowledge base delivers it.
void scheme_file(tq_context* ctx, const TempDir& dir, const char* name,
                 const std::vector<std::pair<const char*, const char*>>& props,
                 const std::vector<std::pair<const char*, const char*>>& records) {
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "scheme", "7.0", &doc), 0);
  tq_xml_addprop(ctx, doc, "Locale ISO Code", "ENUSA");
  tq_xml_addprop(ctx, doc, "Locale Description", "English (United States)");
  tq_xml_addprop(ctx, doc, "Locale Code", "29840");
  for (const auto& [key, value] : props) tq_xml_addprop(ctx, doc, key, value);
  for (const auto& [data, standard] : records) tq_xml_addrec(ctx, doc, data, standard, nullptr);
  std::string path = (dir / "scheme" / name).string();
  ASSERT_EQ(tq_xml_write(ctx, 0, path.c_str(), 1, doc), 0) << tq_test::error_list_text(ctx);
  tq_xml_free(ctx, doc);
}

TEST(Scheme, FilesFromTheKnowledgeBase) {
  SchemeKb kb;
  scheme_file(kb.ctx, kb.dir, "ci.sch", {{"std_type", "phrase"}, {"Case Insensitive", "Yes"}},
              {{"  Rue ", "RUE"}, {"ŉ", "N"}, {"straße", "STRASSE"}, {"Zz", "ZZ"}});
  int32_t i = -1;
  ASSERT_EQ(tq_transf_scheme_load(kb.ctx, "ci", -1, -1, 0, &i), 0) << tq_test::error_list_text(kb.ctx);
  EXPECT_EQ(kb.apply(i, "rue"), "RUE");
  EXPECT_EQ(kb.apply(i, "ŉ"), "N");
  EXPECT_EQ(kb.apply(i, "STRASSE"), "STRASSE");
  EXPECT_EQ(kb.apply(i, "zZ"), "ZZ");

  scheme_file(kb.ctx, kb.dir, "notrim.sch", {{"Trim Whitespace", "No"}}, {{" X ", "PADDED"}});
  ASSERT_EQ(tq_transf_scheme_load(kb.ctx, "notrim", -1, -1, 0, &i), 0) << tq_test::error_list_text(kb.ctx);
  int32_t n = 0;
  EXPECT_EQ(kb.apply(i, " X ", &n), "PADDED");
  EXPECT_EQ(n, 1);
  EXPECT_EQ(kb.apply(i, "X", &n), "X");
  EXPECT_EQ(n, 0);

  scheme_file(kb.ctx, kb.dir, "badtrim.sch", {{"Trim Whitespace", "Maybe"}}, {{"A", "B"}});
  EXPECT_EQ(tq_transf_scheme_load(kb.ctx, "badtrim", -1, -1, 0, &i), 0);
  char out[64];
  EXPECT_EQ(tq_transf_scheme_apply(kb.ctx, i, "A", out, sizeof out, &n), -300);

  // Keyed by a match definition the locale does not hold: message 93.
  scheme_file(kb.ctx, kb.dir, "keyed.sch", {{"Match Definition", "Name"}, {"Sensitivity", "85"}}, {{"A", "B"}});
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
  ASSERT_EQ(tq_scheme_load_edit(kb.ctx, "keyed", lock, &i), 0);
  uint32_t count = 9;
  EXPECT_EQ(tq_scheme_element_count_get(kb.ctx, i, &count), -801);
  EXPECT_NE(tq_test::error_list_text(kb.ctx).find("The match definition 'Name' named by scheme 'keyed'"),
            std::string::npos)
      << tq_test::error_list_text(kb.ctx);
  EXPECT_EQ(tq_scheme_unload_edit(kb.ctx, i, lock), 0);
  EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);

  // Keyed and keeping duplicates cannot go together.
  scheme_file(kb.ctx, kb.dir, "both.sch", {}, {{"A", "B"}});
  ASSERT_EQ(tq_transf_scheme_load(kb.ctx, "both", 0x14, 1, 85, &i), 0);
  EXPECT_EQ(tq_transf_scheme_apply(kb.ctx, i, "A", out, sizeof out, &n), -705);
}

constexpr int32_t kTurkish = 123000;

// A scheme without match-code keys needs no loaded locale: with its
// current locale taken by other contexts, a context reads, prepares and
// applies it on first use and after, as a context without a current locale
// does, and finalizes one made in memory before. Uppercasing still takes
// the special casing of the locale code the context keeps ("i" to "İ").
TEST(Scheme, SchemesWithoutKeysNeedNoLocale) {
  for (const Taken how : {Taken::ByAClone, Taken::LeftByAClosedClone}) {
    SCOPED_TRACE(static_cast<int>(how));
    SchemeKb kb;
    tq_test::write_locale_settings(kb.ctx, kb.dir.path(), "l5.loc", "ISO-8859-9 (Latin 5)", "");
    tq_test::write_locale_settings(kb.ctx, kb.dir.path(), "tr.loc", "Turkish", "l5.loc");
    ASSERT_EQ(tq_zel_locale_load(kb.ctx, kTurkish, 0), 0) << tq_test::error_list_text(kb.ctx);
    ASSERT_EQ(tq_locale_set(kb.ctx, kTurkish), 0);
    scheme_file(kb.ctx, kb.dir, "plain.sch", {}, {{"ST", "STREET"}});
    scheme_file(kb.ctx, kb.dir, "ci.sch", {{"Case Insensitive", "Yes"}}, {{"St", "STREET"}, {"İSTANBUL", "IST"}});
    scheme_file(kb.ctx, kb.dir, "elem.sch", {{"std_type", "element"}}, {{"ST", "STREET"}});
    const int32_t made = kb.make("made", TQ_SCHEME_CASE_INSENSITIVE, {{"ave", "AVENUE"}}, false);
    current_locale_taken(kb.ctx, kTurkish, 0, how);
    if (::testing::Test::HasFatalFailure()) return;

    const struct {
      const char *scheme;
      int32_t options;
      const char *value, *out;
    } cases[] = {
        {"plain", -1, "ST", "STREET"},
        {"ci", -1, "st", "STREET"},
        {"ci", -1, "istanbul", "IST"},
        {"ci", TQ_SCHEME_CASE_INSENSITIVE | TQ_SCHEME_DUPLICATES, "istanbul", "IST"},
        {"elem", -1, "MAIN ST", "MAIN STREET"},
        {"plain", TQ_SCHEME_ELEMENT | TQ_SCHEME_OUT_PROPER, "MAIN ST", "MAIN Street"},
    };
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.scheme) + " " + c.value);
      int32_t i = -1;
      ASSERT_EQ(tq_transf_scheme_load(kb.ctx, c.scheme, c.options, -1, 0, &i), 0) << tq_test::error_list_text(kb.ctx);
      for (int use = 0; use < 2; ++use) EXPECT_EQ(kb.apply(i, c.value), c.out);
      EXPECT_EQ(tq_transf_scheme_unload(kb.ctx, i), 0);
    }
    EXPECT_EQ(tq_scheme_finalize_in_memory(kb.ctx, made), 0) << tq_test::error_list_text(kb.ctx);
    EXPECT_EQ(kb.apply(made, "Ave"), "AVENUE");
  }
}

// Loaded again with the same options once in use, a scheme is found where
// it was loaded, with one more load on it, whether the options are the
// file's or the caller's; each load is given back by one unload.
TEST(Scheme, LoadedAgainItIsFoundInItsSlot) {
  SchemeKb kb;
  scheme_file(kb.ctx, kb.dir, "again.sch", {{"Case Insensitive", "Yes"}}, {{"St", "STREET"}});
  for (const int32_t options : {-1, 2}) {
    SCOPED_TRACE(options);
    int32_t first = -1;
    ASSERT_EQ(tq_transf_scheme_load(kb.ctx, "again", options, -1, 0, &first), 0) << tq_test::error_list_text(kb.ctx);
    std::vector<int32_t> again;
    for (int load = 0; load < 2; ++load) {
      EXPECT_EQ(kb.apply(first, "st"), "STREET");
      int32_t i = -1;
      ASSERT_EQ(tq_transf_scheme_load(kb.ctx, "again", options, -1, 0, &i), 0);
      again.push_back(i);
    }
    EXPECT_EQ(again, std::vector<int32_t>({first, first}));
    // No slot was made beside it.
    char name[4100];
    EXPECT_EQ(tq_scheme_name_get_by_index(kb.ctx, first + 1, name), -800);
    for (int unload = 0; unload < 3; ++unload) EXPECT_EQ(tq_transf_scheme_unload(kb.ctx, first), 0);
    EXPECT_EQ(tq_transf_scheme_unload(kb.ctx, first), -800);
  }
}

// The match fixture of tests/kb/match (EN: match definitions "M" and "R")
// with ENUSA beside it, for schemes keyed by match codes.
class MatchKeyedKb : public tq_test::BuiltKb {
 public:
  MatchKeyedKb() {
    write_sources({{"parse/regexlib/StripPeriods", "regexlib/StripPeriods"},
                   {"parse/regexlib/Initials", "regexlib/Initials"},
                   {"parse/locale/l1.loc", "locale/l1.loc"},
                   {"extract/scheme/Companies", "scheme/Companies.sch"},
                   {"match/phonetx/Sound", "phonetx/Sound"},
                   {"match/locale/en.loc", "locale/en.loc"}});
    compile_vocab("parse/vocab/PersonName", "PersonName");
    open(29000, TQ_LOAD_DATATYPES | TQ_LOAD_MATCH_DEFNS, false, 0);
    tq_test::write_locale_settings(ctx(), dir(), "enusa.loc", "English (United States)", "");
    EXPECT_GE(tq_zel_locale_load(ctx(), kEnUsa, 0), 0) << tq_test::error_list_text(ctx());
    EXPECT_EQ(tq_session_encoding_set(ctx(), 13), 0);
  }
};

// A scheme of EN keyed by match definition "M" at 85, written as
// scheme/<name>.sch of the match fixture; its path.
std::string names_scheme(MatchKeyedKb& kb, const char* name) {
  tq_context* c = kb.ctx();
  tq_xmldoc* doc = nullptr;
  EXPECT_EQ(tq_xml_create(c, "scheme", "7.0", &doc), 0);
  tq_xml_addprop(c, doc, "Locale ISO Code", "EN");
  tq_xml_addprop(c, doc, "Locale Description", "English");
  tq_xml_addprop(c, doc, "Locale Code", "29000");
  tq_xml_addprop(c, doc, "Match Definition", "m");
  tq_xml_addprop(c, doc, "Sensitivity", "85");
  tq_xml_addrec(c, doc, "McDonald", "MACDONALD", nullptr);
  tq_xml_addrec(c, doc, "Smith", "SMITH", nullptr);
  const std::string file = (kb.dir() / "scheme" / (std::string(name) + ".sch")).string();
  EXPECT_EQ(tq_xml_write(c, 0, file.c_str(), 1, doc), 0) << tq_test::error_list_text(c);
  tq_xml_free(c, doc);
  return file;
}

TEST(Scheme, KeyedByMatchCodes) {
  MatchKeyedKb kb;
  tq_context* c = kb.ctx();
  ASSERT_EQ(tq_locale_set(c, 29000), 0);
  const std::string file = names_scheme(kb, "names");
  tq_xmldoc* doc = nullptr;
  int32_t i = -1;
  ASSERT_EQ(tq_transf_scheme_load(c, "names", -1, -1, 0, &i), 0) << tq_test::error_list_text(c);
  auto apply = [&](const char* value) {
    char out[64] = "x";
    int32_t n = -1;
    EXPECT_GE(tq_transf_scheme_apply(c, i, value, out, sizeof out, &n), 0) << tq_test::error_list_text(c);
    return std::string(out);
  };
  // At 85 "M" keeps five letters: "mcdonnell" shares McDonald's code.
  EXPECT_EQ(apply("mcdonnell"), "MACDONALD");
  EXPECT_EQ(apply("smithers"), "SMITH");
  EXPECT_EQ(apply("Jones"), "Jones");
  // Under another current locale the codes are still those of EN, where the
  // keys were built, and the current locale is the caller's again after.
  ASSERT_EQ(tq_locale_set(c, kEnUsa), 0);
  EXPECT_EQ(apply("mcdonnell"), "MACDONALD");
  int32_t current = 0;
  EXPECT_EQ(tq_locale_get(c, &current), 0);
  EXPECT_EQ(current, kEnUsa);

  // Written back with its match definition's name and the sensitivity.
  ASSERT_EQ(tq_locale_set(c, 29000), 0);
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(c, &lock), 0);
  int32_t j = -1;
  ASSERT_EQ(tq_scheme_load_edit(c, "names", lock, &j), 0) << tq_test::error_list_text(c);
  EXPECT_EQ(tq_scheme_write(c, j, lock), 0) << tq_test::error_list_text(c);
  EXPECT_EQ(tq_scheme_unload_edit(c, j, lock), 0);
  tq_lock_free(c, lock);
  ASSERT_EQ(tq_xml_read(c, file.c_str(), 1, &doc), 0) << tq_test::error_list_text(c);
  char value[64] = "";
  tq_xml_getprop(c, doc, "Match Definition", value);
  EXPECT_STREQ(value, "M");
  tq_xml_getprop(c, doc, "Sensitivity", value);
  EXPECT_STREQ(value, "85");
  tq_xml_free(c, doc);
}

// A scheme keyed by match codes needs the locale whose match definition
// builds its keys: with it taken by other contexts, reading, preparing (on
// first use and every retry) and applying are refused with -707 and a
// message naming the scheme and the locale; a refused finalize leaves the
// entries as they were given. With the locale back, all of them work.
TEST(Scheme, KeyedSchemesNeedTheLocaleOfTheirMatchDefinition) {
  MatchKeyedKb kb;
  tq_context* c = kb.ctx();
  constexpr uint32_t kParts = TQ_LOAD_DATATYPES | TQ_LOAD_MATCH_DEFNS;
  ASSERT_EQ(tq_locale_set(c, 29000), 0);
  names_scheme(kb, "names");
  names_scheme(kb, "later");
  int32_t m = -1;
  ASSERT_EQ(tq_match_defn_index_get_by_name(c, "M", &m), 0);
  int32_t used = -1;
  ASSERT_EQ(tq_transf_scheme_load(c, "names", -1, -1, 0, &used), 0) << tq_test::error_list_text(c);
  int32_t made = -1;
  ASSERT_EQ(tq_scheme_create_in_memory(c, "made", 0, &made), 0);
  ASSERT_EQ(tq_transf_scheme_options_set(c, made, TQ_SCHEME_MATCH_KEYED, m, 85), 0) << tq_test::error_list_text(c);
  ASSERT_EQ(tq_scheme_entry_add(c, made, "Smith", "SMITH"), 0);
  ASSERT_EQ(tq_scheme_entry_add(c, made, "McDonald", "MACDONALD"), 0);
  auto apply = [&](int32_t index) {
    char out[64] = "x";
    int32_t n = -1;
    const int32_t rc = tq_transf_scheme_apply(c, index, "mcdonnell", out, sizeof out, &n);
    return std::to_string(rc) + " " + out;
  };
  EXPECT_EQ(apply(used), "0 MACDONALD");

  // ENUSA, a child of EN, would keep it loaded.
  ASSERT_EQ(tq_zel_locale_unload(c, kEnUsa), 0);
  current_locale_taken(c, 29000, kParts, Taken::ByAClone);
  if (::testing::Test::HasFatalFailure()) return;
  // "" when the list names the scheme and the locale its keys want; else the list.
  auto refused_for = [&](const std::string& name) {
    const std::string text = tq_test::error_list_text(c);
    const std::string wanted = "Scheme '" + name + "' is keyed by match codes, which a match definition of locale";
    return text.find(wanted + " 29000 builds") != std::string::npos ? "" : text;
  };
  int32_t keyed = -1;
  ASSERT_EQ(tq_transf_scheme_load(c, "names", TQ_SCHEME_MATCH_KEYED, m, 85, &keyed), 0);
  int32_t later = -1;
  ASSERT_EQ(tq_transf_scheme_load(c, "later", -1, -1, 0, &later), 0);
  const std::pair<int32_t, const char*> refusals[] = {{used, "names"}, {keyed, "names"}, {later, "later"}};
  for (int tries = 0; tries < 2; ++tries) {
    for (const auto& [index, name] : refusals) {
      EXPECT_EQ(apply(index), "-707 ");
      EXPECT_EQ(refused_for(name), "");
    }
  }
  EXPECT_EQ(tq_scheme_finalize_in_memory(c, made), TQ_ERR_NO_LOCALE);
  EXPECT_EQ(refused_for("made"), "");
  // Still in edit state, with the entries as they were given.
  char data[2][1100] = {};
  for (uint32_t e = 0; e < 2; ++e) EXPECT_EQ(tq_scheme_element_data_get(c, made, e, data[e]), 0);
  EXPECT_STREQ(data[0], "McDonald");
  EXPECT_STREQ(data[1], "Smith");

  ASSERT_EQ(tq_zel_locale_load(c, 29000, kParts), 0) << tq_test::error_list_text(c);
  ASSERT_EQ(tq_locale_set(c, 29000), 0);
  EXPECT_EQ(tq_scheme_finalize_in_memory(c, made), 0) << tq_test::error_list_text(c);
  for (const int32_t index : {used, keyed, later, made}) EXPECT_EQ(apply(index), "0 MACDONALD") << index;
}

// A chopper whose table makes '-' a separator, installed as a vault file.
void dash_chopper(tq_context* ctx, const TempDir& dir) {
  std::string text = tq_test::chopping_table_head(tq_test::encoding_name(ctx, TQ_ENC_UTF8)) +
                     "<property name=\"Use Rules\">No</property>\n" +
                     tq_test::char_table(tq_test::char_row("DASH", '-', "FULL SEPARATOR", "TRIM"), 1);
  tq_test::install_chopper(ctx, dir, "dash", text);
}

TEST(Scheme, ElementSchemesChopWithTheirChopper) {
  SchemeKb kb;
  dash_chopper(kb.ctx, kb.dir);
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
  int32_t i = -1;
  ASSERT_EQ(tq_scheme_create(kb.ctx, kb.scheme_dir().c_str(), "chopped", 1, lock, &i), 0) << tq_test::error_list_text(kb.ctx);
  EXPECT_EQ(tq_scheme_entry_add(kb.ctx, i, "ST", "STREET"), 0);
  char name[4100];
  EXPECT_EQ(tq_scheme_chopper_name_get(kb.ctx, i, name), -708);
  EXPECT_EQ(tq_scheme_chopper_name_set(kb.ctx, i, "dash"), 0) << tq_test::error_list_text(kb.ctx);
  EXPECT_EQ(tq_scheme_chopper_name_get(kb.ctx, i, name), 0);
  EXPECT_STREQ(name, "dash");
  // A name that cannot be had leaves the scheme with the chopper it had; ""
  // takes it away.
  EXPECT_EQ(tq_scheme_chopper_name_set(kb.ctx, i, "missing"), -400);
  EXPECT_EQ(tq_scheme_chopper_name_get(kb.ctx, i, name), 0);
  EXPECT_STREQ(name, "dash");
  EXPECT_EQ(tq_scheme_chopper_name_set(kb.ctx, i, ""), 0);
  EXPECT_EQ(tq_scheme_chopper_name_get(kb.ctx, i, name), -708);
  EXPECT_EQ(tq_scheme_chopper_name_set(kb.ctx, i, "dash"), 0);
  EXPECT_EQ(tq_scheme_chopper_name_set(kb.ctx, i, "dash"), 0);
  EXPECT_EQ(tq_scheme_write(kb.ctx, i, lock), 0) << tq_test::error_list_text(kb.ctx);
  EXPECT_EQ(tq_scheme_unload_edit(kb.ctx, i, lock), 0);
  EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);

  int32_t k = -1;
  ASSERT_EQ(tq_transf_scheme_load(kb.ctx, "chopped", -1, -1, 0, &k), 0);
  int32_t n = 0;
  EXPECT_EQ(kb.apply(k, "MAIN-ST", &n), "MAIN STREET");
  EXPECT_EQ(n, 1);
  EXPECT_EQ(tq_scheme_chopper_name_get(kb.ctx, k, name), 0);
  EXPECT_STREQ(name, "dash");
  EXPECT_EQ(tq_transf_scheme_unload(kb.ctx, k), 0);
}

// A name past what a call takes is refused with its own length and the
// limit it passed: a scheme's or chopper's name keeps 1,024 bytes however
// long the name, and the file a lock names has 16,383 bytes with its
// kind's extension.
TEST(Scheme, OverLongNamesAreRefusedWithTheLimitTheyPass) {
  SchemeKb kb;
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
  int32_t edited = -1;
  ASSERT_EQ(tq_scheme_create_in_memory(kb.ctx, "edited", 0, &edited), 0);
  const auto kept = [](const char* call, size_t n) {
    return std::string(call) + " was given a text of " + std::to_string(n) +
           " bytes once in UTF-8, longer than the 1024 bytes it keeps: the text is refused and nothing is changed.";
  };
  // Each call's error list, read at once: a braced list is run in order.
  const auto list = [&] { return tq_test::error_list_text(kb.ctx); };
  int32_t index = 7;
  const std::string a2000(2000, 'a'), a20000(20000, 'a');
  const struct {
    int32_t rc;
    std::string list;
    std::string said;
  } rows[] = {
      {tq_transf_scheme_load(kb.ctx, a2000.c_str(), -1, -1, 0, &index), list(), kept("tq_transf_scheme_load", 2000)},
      {tq_transf_scheme_load(kb.ctx, a20000.c_str(), -1, -1, 0, &index), list(),
       kept("tq_transf_scheme_load", 20000)},
      {tq_scheme_load_edit(kb.ctx, a20000.c_str(), lock, &index), list(), kept("tq_scheme_load_edit", 20000)},
      {tq_scheme_create_in_memory(kb.ctx, a20000.c_str(), 0, &index), list(),
       kept("tq_scheme_create_in_memory", 20000)},
      {tq_scheme_chopper_name_set(kb.ctx, edited, a20000.c_str()), list(), kept("tq_scheme_chopper_name_set", 20000)},
      {tq_lock_create(kb.ctx, a20000.c_str(), 1, lock, nullptr), list(),
       "The file name (with its kind's extension) given to tq_lock_create is 20004 bytes long in UTF-8, longer than "
       "the 16383 bytes it may have: it is refused and nothing is changed."},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.rc, -802) << row.said;
    EXPECT_EQ(row.list, "  [0] -802: " + row.said + "\n");
  }
  EXPECT_EQ(index, -1);
  char name[4100];
  EXPECT_EQ(tq_scheme_chopper_name_get(kb.ctx, edited, name), -708);
  EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);
}

// A file an edit-mode call makes, and one tq_xml_read reads, has a path of
// at most 16,383 bytes once its folder, name and extension are joined: one
// longer is refused before anything is made, with its length and that
// limit (never -1, never a folder cut to fit); one at the limit goes on to
// the system, which can neither make nor find it.
TEST(Scheme, OverLongFilePathsAreRefusedWithTheirLengthAndTheLimit) {
  SchemeKb kb;
  Context edit(kb.dir.str().c_str(), true);
  const std::string near = kb.dir.str();
  ASSERT_EQ(tq_path_set(edit, near.c_str()), 0);  // the folder an edit_new path "" takes
  tq_lock_handle* lock = nullptr;
  tq_lock_handle* edit_lock = nullptr;
  ASSERT_EQ(tq_lock_init(kb.ctx, &lock), 0);
  ASSERT_EQ(tq_lock_init(edit, &edit_lock), 0);
  // A folder of n bytes below the knowledge base (none of it made).
  const auto folder = [&](size_t n) {
    std::string f = near + "/";
    while (f.size() < n) f += f.size() % 200 == 0 ? '/' : 'd';
    return f;
  };
  const auto refused = [](const char* call, size_t n) {
    const bool joined = std::strcmp(call, "tq_xml_read") != 0;
    return std::string("  [0] -802: The ") +
           (joined ? "file path (the folder joined with the name and its kind's extension)"
                   : "file name (with its kind's extension)") +
           " given to " + call + " is " + std::to_string(n) +
           " bytes long in UTF-8, longer than the 16383 bytes it may have: it is refused and nothing is changed.\n";
  };
  enum Call { kScheme, kRegexlib, kRegexlibFirst, kXml };
  // What each call adds to its text to make the path: "<folder>/s.sch.zel",
  // "<near>/<name>.zel", "<name>.xml".
  const size_t extra[] = {10, near.size() + 5, near.size() + 5, 4};
  const struct {
    Call call;
    size_t total;  // the path's length
  } rows[] = {
      {kScheme, 16383},
      {kScheme, 16384},
      {kScheme, 16390},
      {kScheme, 16395},
      {kScheme, 20000},
      {kRegexlib, 16383},
      {kRegexlib, 16384},
      {kRegexlibFirst, 16383},
      {kRegexlibFirst, 16382 + extra[kRegexlibFirst]},
      {kRegexlibFirst, 16384 + extra[kRegexlibFirst]},
      {kXml, 16383},
      {kXml, 16384},
      {kXml, 16388},
      {kXml, 20000},
  };
  const char* names[] = {"tq_scheme_create", "tq_regexlib_edit_new", "tq_regexlib_edit_new", "tq_xml_read"};
  for (const auto& row : rows) {
    const std::string text(row.total - extra[row.call], 'n');
    int32_t rc = 0;
    tq_context* ctx = kb.ctx;
    switch (row.call) {
      case kScheme: {
        int32_t index = 7;
        rc = tq_scheme_create(ctx, folder(text.size()).c_str(), "s", 0, lock, &index);
        EXPECT_EQ(index, -1);
        break;
      }
      case kRegexlib:
      case kRegexlibFirst:
        ctx = edit;
        rc = tq_regexlib_edit_new(ctx, row.call == kRegexlib ? near.c_str() : "", text.c_str(), edit_lock);
        break;
      case kXml: {
        tq_xmldoc* doc = nullptr;
        rc = tq_xml_read(ctx, text.c_str(), 0, &doc);
        EXPECT_EQ(doc, nullptr);
        break;
      }
    }
    const std::string list = tq_test::error_list_text(ctx);
    SCOPED_TRACE(std::string(names[row.call]) + ", a path of " + std::to_string(row.total) + " bytes");
    if (row.total <= 16383) {
      EXPECT_EQ(rc, -400) << list;
    } else {
      EXPECT_EQ(rc, -802);
      EXPECT_EQ(list, refused(names[row.call], row.total));
    }
  }
  EXPECT_EQ(tq_lock_free(kb.ctx, lock), 0);
  EXPECT_EQ(tq_lock_free(edit, edit_lock), 0);
}

}  // namespace

// The character table, the chopping engine and word lists, on a context
// built without the export layer.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krlock.h"
#include "kbstore/krxml.h"
#include "resources/krchop.h"
#include "resources/krchpr.h"
#include "resources/krchprexp.h"
#include "resources/krctld.h"
#include "resources/krwlst.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;

// A bare context with what chopping needs: the work area and the built-ins.
struct ChopContext {
  tq_test::BareContext bc;
  explicit ChopContext(const std::string& path = "") : bc(path) { bc.ctx.current_locale_code = 800010; }
  context* get() { return bc.get(); }
  // A new chopper made in memory.
  int32_t create(const char* name) {
    int32_t index = -1;
    EXPECT_EQ(chopper_create(get(), name, &index), 0) << bc.last_error();
    return index;
  }
  chopper_rec* rec(int32_t index) {
    chopper_rec* r = nullptr;
    EXPECT_EQ(chopper_get(get(), index, &r), 0);
    return r;
  }
};

struct Chopped {
  int32_t rc = 0;
  std::vector<std::string> words, separators, dropped;
  std::vector<int32_t> word_starts, separator_starts, dropped_starts;
  std::string text, surface;
};

Chopped chop(context* ctx, int32_t handle, const std::string& value, chop_info* info = nullptr) {
  Chopped out;
  word_list list;
  out.rc = chop_core(ctx, handle, value.c_str(), &list, info);
  for (uint32_t i = 0; i < vec_count(&list.words); ++i) {
    out.words.push_back(wordlist_word_at(&list, static_cast<int32_t>(i))->text);
    out.word_starts.push_back(wordlist_word_at(&list, static_cast<int32_t>(i))->start);
  }
  for (uint32_t i = 0; i < vec_count(&list.separators); ++i) {
    out.separators.push_back(wordlist_separator_at(&list, static_cast<int32_t>(i))->text);
    out.separator_starts.push_back(wordlist_separator_at(&list, static_cast<int32_t>(i))->start);
  }
  for (uint32_t i = 0; i < vec_count(&list.dropped); ++i) {
    out.dropped.push_back(wordlist_dropped_at(&list, static_cast<int32_t>(i))->text);
    out.dropped_starts.push_back(wordlist_dropped_at(&list, static_cast<int32_t>(i))->start);
  }
  out.text = list.text;
  char surface[kWordTextSize];
  wordlist_surface_text_all(surface, &list);
  out.surface = surface;
  wordlist_free(&list);
  return out;
}

using Words = std::vector<std::string>;

// ---- Character table ----------------------------------------------------------------------

TEST(ChopperTable, FixedTablesAndDefaultRows) {
  uint32_t id = 0;
  EXPECT_EQ(chop_class_by_name("LEAD_SEPARATOR", &id), 0);
  EXPECT_EQ(id, kClassLeadSeparator);
  EXPECT_EQ(chop_class_by_name("LETTER/SYMBOL", &id), 0);
  EXPECT_EQ(id, kClassLetter);
  EXPECT_EQ(chop_class_by_name("letter", &id), -1);
  EXPECT_EQ(id, 8u);
  EXPECT_EQ(chop_oper_by_name("REPLACE", &id), 0);
  EXPECT_EQ(id, kOperReplace);
  EXPECT_EQ(chop_oper_by_name("Use", &id), -1);
  EXPECT_EQ(id, 4u);
  std::vector<uint32_t> listed;
  for (uint32_t i = 0; chop_class_listed(i, &id) == 0; ++i) listed.push_back(id);
  EXPECT_EQ(listed, (std::vector<uint32_t>{0, 3, 4, 5, 6}));
  EXPECT_EQ(id, 8u);
  EXPECT_EQ(chop_oper_listed(3, &id), -1);
  EXPECT_EQ(id, 4u);

  chopper_table t;
  ASSERT_EQ(chopper_table_init(&t), 0);
  EXPECT_EQ(t.count, 128u);
  uint32_t c = 9, op = 9;
  struct Row {
    uint32_t cp, cls, op;
    const char* name;
  };
  for (const Row& r : {Row{9, 6, 1, "CHARACTER TABULATION"}, Row{10, 6, 1, "LINE FEED (LF)"},
                       Row{11, 0, 0, "LINE TABULATION"}, Row{13, 6, 1, "CARRIAGE RETURN (CR)"},
                       Row{32, 6, 1, "SPACE"}, Row{48, 3, 0, "DIGIT ZERO"}, Row{65, 0, 0, "LATIN CAPITAL LETTER A"},
                       Row{127, 0, 0, "DELETE"}}) {
    EXPECT_EQ(chopper_table_char_lookup(&t, r.cp, &c, &op), 0);
    EXPECT_EQ(c, r.cls) << r.cp;
    EXPECT_EQ(op, r.op) << r.cp;
    EXPECT_STREQ(t.entries[r.cp].description, r.name);
  }
  // Beyond ASCII every code point is a letter that is used.
  for (uint32_t cp : {0xA0u, 0x3000u, 0x10FFFFu}) {
    EXPECT_EQ(chopper_table_char_lookup(&t, cp, &c, &op), 0);
    EXPECT_EQ(c, 0u);
    EXPECT_EQ(op, 0u);
  }
  EXPECT_EQ(chopper_table_char_lookup(&t, 0x110000u, &c, &op), -802);
  chopper_table_free(&t);
}

TEST(ChopperTable, EntriesSortDeduplicateAndDrop) {
  ChopContext cc;
  chopper_table t;
  ASSERT_EQ(chopper_table_init(&t), 0);
  // Out-of-range ids are refused before they can reach the break matrix.
  EXPECT_EQ(chopper_table_entry_set(cc.get(), &t, "x", 8, 0, 0x4E00, 0), -802);
  EXPECT_EQ(chopper_table_entry_set(cc.get(), &t, "x", 0, 4, 0x4E00, 0), -802);
  EXPECT_EQ(chopper_table_entry_set(cc.get(), &t, "x", 0, 0, kBadCodePoint, 0), -802);
  // A default row from a document is never stored.
  EXPECT_EQ(chopper_table_entry_set(cc.get(), &t, "", 0, 0, 0x4E00, 1), 0);
  EXPECT_EQ(t.count, 128u);
  // Two document rows for one code point: the one read last survives.
  EXPECT_EQ(chopper_table_entry_set(cc.get(), &t, "first", 6, 1, 0xA0, 1), 0);
  EXPECT_EQ(chopper_table_entry_set(cc.get(), &t, "ideo", 4, 0, 0x4E00, 1), 0);
  EXPECT_EQ(chopper_table_entry_set(cc.get(), &t, "second", 5, 2, 0xA0, 1), 0);
  EXPECT_EQ(chopper_table_entry_set(cc.get(), &t, "nbsp", 3, 0, 0x3000, 1), 0);
  EXPECT_EQ(chopper_table_finish(&t), 0);
  ASSERT_EQ(t.count, 131u);
  EXPECT_EQ(t.entries[128].code_point, 0x4E00u);
  EXPECT_EQ(t.entries[129].code_point, 0x3000u);
  EXPECT_EQ(t.entries[130].code_point, 0xA0u);
  EXPECT_STREQ(t.entries[130].description, "second");
  uint32_t c = 0, op = 0;
  EXPECT_EQ(chopper_table_char_lookup(&t, 0xA0, &c, &op), 0);
  EXPECT_EQ(c, 5u);
  EXPECT_EQ(op, 2u);
  EXPECT_EQ(chopper_table_char_lookup(&t, 0x4E00, &c, &op), 0);
  EXPECT_EQ(c, 4u);
  // Set back to the default through the interface: dropped at the end.
  EXPECT_EQ(chopper_table_entry_set(cc.get(), &t, "", 0, 0, 0x3000, 0), 0);
  EXPECT_EQ(chopper_table_finish(&t), 0);
  EXPECT_EQ(t.count, 130u);
  EXPECT_EQ(chopper_table_char_lookup(&t, 0x3000, &c, &op), 0);
  EXPECT_EQ(c, 0u);
  // A description is cut between characters.
  std::string long_desc(82, 'a');
  long_desc += "\xC3\xA9";  // 84 bytes, the last character crossing the limit
  EXPECT_EQ(chopper_table_entry_set(cc.get(), &t, long_desc.c_str(), 0, 0, 'a', 0), 0);
  EXPECT_EQ(std::string(t.entries['a'].description), std::string(82, 'a'));
  // ASCII rows out of place.
  t.entries[5].code_point = 6;
  EXPECT_EQ(chopper_table_finish(&t), -706);
  chopper_table_free(&t);
}

TEST(ChopperTable, EditExportsThroughTheRegistry) {
  ChopContext cc;
  int32_t ch = cc.create("edited");
  uint32_t count = 0;
  EXPECT_EQ(chopper_table_char_metadata_set(cc.get(), ch, 0x4E00, "CJK", 6, 1), -501);
  EXPECT_EQ(chopper_table_char_metadata_set_end(cc.get(), ch), -501);
  ASSERT_EQ(chopper_table_char_metadata_set_begin(cc.get(), ch), 0);
  EXPECT_EQ(chopper_table_char_count_get(cc.get(), ch, &count), -500);
  uint32_t cp = 1, cls = 1, op = 1;
  EXPECT_EQ(chopper_table_char_metadata_get_by_index(cc.get(), ch, 0, &cp, &cls, &op), -500);
  EXPECT_EQ(chopper_table_char_metadata_get_by_codepoint(cc.get(), ch, 'A', &cls, &op), -500);
  EXPECT_EQ(chop(cc.get(), ch, "a b").rc, -500);
  EXPECT_EQ(chopper_table_char_metadata_set(cc.get(), ch, 0x4E00, "CJK", 6, 1), 0);
  EXPECT_EQ(chopper_table_char_metadata_set(cc.get(), ch, 0x4E00, "CJK", 9, 1), -802);
  EXPECT_EQ(chopper_table_char_metadata_set_end(cc.get(), ch), 0);
  EXPECT_EQ(chopper_table_char_count_get(cc.get(), ch, &count), 0);
  EXPECT_EQ(count, 129u);
  EXPECT_EQ(chopper_table_char_metadata_get_by_index(cc.get(), ch, 128, &cp, &cls, &op), 0);
  EXPECT_EQ(cp, 0x4E00u);
  EXPECT_EQ(cls, 6u);
  EXPECT_EQ(op, 1u);
  EXPECT_EQ(chopper_table_char_metadata_get_by_index(cc.get(), ch, 129, &cp, &cls, &op), -802);
  EXPECT_EQ(chop(cc.get(), ch, "a\xE4\xB8\x80" "b").words, (Words{"a", "b"}));
  ASSERT_EQ(chopper_table_char_metadata_set_begin(cc.get(), ch), 0);
  EXPECT_EQ(chopper_table_char_metadata_set(cc.get(), ch, 0x4E00, "", 0, 0), 0);
  EXPECT_EQ(chopper_table_char_metadata_set_end(cc.get(), ch), 0);
  EXPECT_EQ(chopper_table_char_count_get(cc.get(), ch, &count), 0);
  EXPECT_EQ(count, 128u);
  // Only chopping accepts the built-in handles.
  EXPECT_EQ(chopper_table_char_count_get(cc.get(), -2, &count), -800);
  EXPECT_EQ(chopper_table_char_count_get(cc.get(), 7, &count), -800);
}

// A table document with the four columns (or all but `skip`) and one row.
xmldoc* table_doc(context* ctx, const char* skip, const char* cls, const char* op, int32_t value) {
  xmldoc* doc = nullptr;
  EXPECT_EQ(xmldoc_create(ctx, "Chopping Table", "7.0", &doc), 0);
  xmldoc_prop_add(ctx, doc, "Use Table", "No");
  const char* names[4] = {"Char Description", "Char Value", "Char Classification", "Char Operation"};
  std::vector<xmldoc_field> fields;
  for (int k = 0; k < 4; ++k) {
    if (std::strcmp(names[k], skip) == 0) continue;
    EXPECT_EQ(xmldoc_column_add(ctx, doc, names[k], k == 1 ? kXmlColInt : kXmlColString), 0);
    xmldoc_field f;
    f.type = k == 1 ? kXmlColInt : kXmlColString;
    if (k == 1) {
      f.number = value;
    } else {
      f.text = const_cast<char*>(k == 0 ? "row" : k == 2 ? cls : op);
    }
    fields.push_back(f);
  }
  EXPECT_EQ(xmldoc_record_add(ctx, doc, "", nullptr, fields.data()), 0);
  return doc;
}

TEST(ChopperTable, DocumentReadingRefusesBadRows) {
  ChopContext cc;
  struct Case {
    const char* skip;
    const char* cls;
    const char* op;
    int32_t value;
    int32_t rc;
    const char* message;
  };
  for (const Case& c : {Case{"", "NUMBER", "USE", 0x4E00, 0, ""},
                        Case{"Char Operation", "NUMBER", "USE", 65, -300, "column 'Char Operation'"},
                        Case{"", "DIGIT", "USE", 65, -300, "classification 'DIGIT'"},
                        Case{"", "NUMBER", "KEEP", 65, -300, "operation 'KEEP'"},
                        Case{"", "NUMBER", "USE", -1, -300, "Char Value -1 is outside the 0 to 1114111"}}) {
    SCOPED_TRACE(c.message);
    err_list_reset(cc.get());
    xmldoc* doc = table_doc(cc.get(), c.skip, c.cls, c.op, c.value);
    chopper_table t;
    ASSERT_EQ(chopper_table_init(&t), 0);
    EXPECT_EQ(chopper_table_read(cc.get(), doc, "doc", &t), c.rc);
    if (c.rc == -300) {
      EXPECT_NE(cc.bc.last_error().find(c.message), std::string::npos) << cc.bc.last_error();
    }
    if (c.rc == 0) {
      EXPECT_EQ(t.use_table, 0u);
      EXPECT_EQ(t.implicit_sep, 0u);
      EXPECT_EQ(t.count, 129u);
    }
    chopper_table_free(&t);
    xml_free(cc.get(), doc);
  }
}

// ---- Chopping ------------------------------------------------------------------------------

TEST(ChopEngine, BuiltInsSplitAtWhiteSpaceOnly) {
  ChopContext cc;
  for (int32_t handle : {-1, -2, -3}) {
    Chopped c = chop(cc.get(), handle, "  John   Smith ");
    EXPECT_EQ(c.rc, 0);
    EXPECT_EQ(c.words, (Words{"John", "Smith"}));
    EXPECT_EQ(c.word_starts, (std::vector<int32_t>{2, 9}));
    EXPECT_EQ(c.separators, (Words{"  ", "   ", " "}));
    EXPECT_EQ(c.separator_starts, (std::vector<int32_t>{0, 6, 14}));
    EXPECT_EQ(c.surface, "  John   Smith ");
  }
  EXPECT_EQ(chop(cc.get(), -4, "a").rc, -802);
  // No-break space, ideographic space and line tabulation stay inside words.
  EXPECT_EQ(chop(cc.get(), -2, "A\xC2\xA0" "B").words, (Words{"A\xC2\xA0" "B"}));
  EXPECT_EQ(chop(cc.get(), -3, "A\xE3\x80\x80" "B").words, (Words{"A\xE3\x80\x80" "B"}));
  EXPECT_EQ(chop(cc.get(), -2, "A\x0B" "B").words, (Words{"A\x0B" "B"}));
  EXPECT_EQ(chop(cc.get(), -2, "John\tSmith\r\nJr").words, (Words{"John", "Smith", "Jr"}));
  Chopped empty = chop(cc.get(), -2, "");
  EXPECT_EQ(empty.rc, 0);
  EXPECT_TRUE(empty.words.empty());
  EXPECT_TRUE(empty.separators.empty());
  // 1,024 bytes are taken; one more is refused.
  EXPECT_EQ(chop(cc.get(), -2, std::string(1024, 'x')).words.size(), 1u);
  EXPECT_EQ(chop(cc.get(), -2, std::string(1025, 'x')).rc, -601);
}

TEST(ChopEngine, ImplicitSeparationSuppressionAndNothingToUse) {
  ChopContext cc;
  int32_t ch = cc.create("table");
  chopper_rec* rec = cc.rec(ch);
  chop_info* info = nullptr;
  ASSERT_EQ(chop_info_init(cc.get(), &info), 0);
  EXPECT_EQ(chop(cc.get(), ch, "ABC123").words, (Words{"ABC123"}));
  chopper_table_impsep_set(&rec->table, 1);
  Chopped split = chop(cc.get(), ch, "ABC123 x", info);
  EXPECT_EQ(split.words, (Words{"ABC", "123", "x"}));
  ASSERT_EQ(info->word_count, 3);
  EXPECT_EQ(info->word_sources[0].type, kSourceNone);
  EXPECT_EQ(info->word_sources[1].type, kSourceImplicit);
  EXPECT_EQ(info->word_sources[1].data, static_cast<uint32_t>('1'));
  EXPECT_EQ(info->word_sources[2].type, kSourceSeparator);
  EXPECT_EQ(info->word_sources[2].data, 32u);
  EXPECT_EQ(chop(cc.get(), ch, "1A").words, (Words{"1", "A"}));
  chopper_table_impsep_set(&rec->table, 0);

  // '#' dropped: it splits the word, counts in the offsets and leaves the
  // word list's text.
  ASSERT_EQ(chopper_table_entry_set(cc.get(), &rec->table, "", kClassLetter, kOperSuppress, '#', 0), 0);
  Chopped dropped = chop(cc.get(), ch, "AB#CD");
  EXPECT_EQ(dropped.words, (Words{"AB", "CD"}));
  EXPECT_EQ(dropped.word_starts, (std::vector<int32_t>{0, 3}));
  EXPECT_EQ(dropped.dropped, (Words{"#"}));
  EXPECT_EQ(dropped.dropped_starts, (std::vector<int32_t>{2}));
  EXPECT_EQ(dropped.text, "ABCD");
  EXPECT_EQ(dropped.surface, "ABCD");
  EXPECT_EQ(chop(cc.get(), ch, "##A").words, (Words{"A"}));

  rec->table.use_table = 0;
  Chopped none = chop(cc.get(), ch, "a b c");
  EXPECT_EQ(none.rc, 0);
  EXPECT_TRUE(none.words.empty());
  chop_info_free(cc.get(), info);
}

TEST(ChopEngine, ChopInfoAppendsAcrossChopsAndStopsAtItsCapacity) {
  ChopContext cc;
  chop_info* info = nullptr;
  ASSERT_EQ(chop_info_init(cc.get(), &info), 0);
  chop(cc.get(), -2, "John  Smith", info);
  chop(cc.get(), -2, "A\tB", info);
  ASSERT_EQ(info->word_count, 4);
  uint32_t type = 9, data = 9;
  EXPECT_EQ(chop_info_source_type_get(cc.get(), info, 1, &type), 0);
  EXPECT_EQ(chop_info_source_data_get(cc.get(), info, 1, &data), 0);
  EXPECT_EQ(type, kSourceSeparator);
  EXPECT_EQ(data, 32u);
  EXPECT_EQ(chop_info_source_data_get(cc.get(), info, 3, &data), 0);
  EXPECT_EQ(data, 9u);
  EXPECT_EQ(chop_info_source_type_get(cc.get(), info, 4, &type), -800);
  EXPECT_EQ(chop_info_source_type_get(cc.get(), info, -1, &type), -800);
  // 512 words per chop: the third chop fills the records up and no more.
  std::string many;
  for (int i = 0; i < 512; ++i) many += "a ";
  many.pop_back();
  chop(cc.get(), -2, many, info);
  chop(cc.get(), -2, many, info);
  EXPECT_EQ(info->word_count, 1025);
  EXPECT_EQ(chop_info_source_type_get(cc.get(), info, 1024, &type), 0);
  EXPECT_EQ(chop_info_source_type_get(cc.get(), info, 1025, &type), -800);
  chop_info_free(cc.get(), info);
}

// ---- Word lists -------------------------------------------------------------------------------

struct ListFixture {
  ChopContext cc;
  word_list list{};
  explicit ListFixture(const std::string& value, int32_t handle = -2) {
    EXPECT_EQ(chop_core(cc.get(), handle, value.c_str(), &list, nullptr), 0);
  }
  ~ListFixture() { wordlist_free(&list); }
  std::string surface(int32_t from, int32_t to) {
    char out[kWordTextSize];
    wordlist_surface_text(out, &list, from, to);
    return out;
  }
  std::string all() {
    char out[kWordTextSize];
    wordlist_surface_text_all(out, &list);
    return out;
  }
};

// Every piece starts where the one before it ends.
void expect_tiled(const word_list* l) {
  std::vector<std::pair<int32_t, int32_t>> pieces;
  for (const vec* v : {&l->words, &l->separators, &l->dropped}) {
    for (uint32_t i = 0; i < vec_count(v); ++i) {
      auto* r = static_cast<const word_rec*>(vec_get(v, static_cast<int32_t>(i)));
      pieces.emplace_back(r->start, r->length);
    }
  }
  std::sort(pieces.begin(), pieces.end());
  for (size_t i = 1; i < pieces.size(); ++i) EXPECT_EQ(pieces[i - 1].first + pieces[i - 1].second, pieces[i].first);
}

TEST(WordList, SurfaceTextAndWordAccess) {
  ListFixture f("  John   Q.  Smith ");
  EXPECT_EQ(f.all(), "  John   Q.  Smith ");
  EXPECT_EQ(f.surface(0, 3), "John   Q.  Smith");
  EXPECT_EQ(f.surface(1, 3), "Q.  Smith");
  EXPECT_EQ(f.surface(1, 2), "Q.");
  EXPECT_EQ(f.surface(2, 9), "Smith");
  char word[kWordTextSize];
  EXPECT_EQ(wordlist_word_get(f.cc.get(), &f.list, 1, word), 0);
  EXPECT_STREQ(word, "Q.");
  EXPECT_EQ(wordlist_word_get(f.cc.get(), &f.list, 3, word), -800);
  EXPECT_EQ(wordlist_word_get(f.cc.get(), &f.list, -1, word), -800);
  EXPECT_EQ(f.list.words.count, 3u);
  EXPECT_EQ(wordlist_word_at(&f.list, 0)->char_length, 4);
  expect_tiled(&f.list);
}

// A rebuilt text that runs out of room ends where the first piece that did
// not fit whole was cut: nothing after the gap is appended.
TEST(WordList, SurfaceTextCutAtTheFirstPieceThatDoesNotFit) {
  // Words grow when an engine rewrites them in place (casing, schemes).
  const std::string head(1018, 'a');
  ListFixture f("x y z");
  ASSERT_EQ(f.list.words.count, 3u);
  std::snprintf(const_cast<word_rec*>(wordlist_word_at(&f.list, 0))->text, kWordTextSize, "%s", head.c_str());
  std::snprintf(const_cast<word_rec*>(wordlist_word_at(&f.list, 1))->text, kWordTextSize, "\xE2\x82\xAC\xE2\x82\xAC");
  const std::string all = f.all();
  EXPECT_EQ(all, head + " \xE2\x82\xAC") << all.substr(1018);
  EXPECT_EQ(f.surface(0, 3), head + " \xE2\x82\xAC");
}

TEST(WordList, OffsetsCountDroppedSpansAndSlicesRebuildTheirText) {
  ChopContext cc;
  int32_t ch = cc.create("drops");
  ASSERT_EQ(chopper_table_entry_set(cc.get(), &cc.rec(ch)->table, "", kClassLetter, kOperSuppress, '#', 0), 0);
  word_list list;
  ASSERT_EQ(chop_core(cc.get(), ch, "AB#CD EF", &list, nullptr), 0);
  EXPECT_STREQ(list.text, "ABCD EF");
  expect_tiled(&list);
  char out[kWordTextSize];
  wordlist_surface_text(out, &list, 0, 3);
  EXPECT_STREQ(out, "ABCD EF");

  word_list slice;
  ASSERT_EQ(wordlist_slice_copy(cc.get(), &list, 1, 2, &slice), 0);
  ASSERT_EQ(slice.words.count, 2u);
  EXPECT_EQ(wordlist_word_at(&slice, 0)->start, 0);
  EXPECT_EQ(wordlist_word_at(&slice, 1)->start, 3);
  EXPECT_STREQ(slice.text, "CD EF");
  wordlist_surface_text_all(out, &slice);
  EXPECT_STREQ(out, "CD EF");
  wordlist_free(&slice);

  // A slice of one word followed by a separator keeps that separator whole.
  ASSERT_EQ(wordlist_slice_copy(cc.get(), &list, 1, 1, &slice), 0);
  EXPECT_EQ(slice.separators.count, 1u);
  EXPECT_STREQ(slice.text, "CD ");
  wordlist_free(&slice);
  EXPECT_EQ(wordlist_slice_copy(cc.get(), &list, 2, 1, &slice), -800);
  EXPECT_EQ(wordlist_slice_copy(cc.get(), &list, 0, 3, &slice), -800);

  word_list copy;
  ASSERT_EQ(wordlist_copy(cc.get(), &list, &copy), 0);
  EXPECT_STREQ(copy.text, list.text);
  EXPECT_EQ(copy.dropped.count, 1u);
  EXPECT_EQ(wordlist_dropped_at(&copy, 0)->start, 2);
  wordlist_free(&copy);
  wordlist_free(&list);
}

TEST(WordList, DeleteAndSort) {
  {
    ListFixture f(" A  B C");
    ASSERT_EQ(wordlist_word_delete(f.cc.get(), &f.list, 1), 0);
    EXPECT_EQ(f.list.words.count, 2u);
    // The separators on both sides of the deleted word stay.
    EXPECT_EQ(wordlist_word_at(&f.list, 1)->start, 5);
    EXPECT_EQ(f.all(), " A   C");
    expect_tiled(&f.list);
    EXPECT_EQ(wordlist_word_delete(f.cc.get(), &f.list, 2), -800);
  }
  {
    ListFixture f(" A ");
    ASSERT_EQ(wordlist_word_delete(f.cc.get(), &f.list, 0), 0);
    EXPECT_EQ(f.list.words.count, 0u);
    EXPECT_EQ(wordlist_separator_at(&f.list, 0)->start, 0);
  }
  {
    ListFixture f("B A");
    ASSERT_EQ(wordlist_merge_by_offset(f.cc.get(), &f.list), 0);
    EXPECT_STREQ(f.list.text, "A B");
    EXPECT_EQ(wordlist_word_at(&f.list, 0)->start, 0);
    EXPECT_EQ(wordlist_separator_at(&f.list, 0)->start, 1);
    EXPECT_EQ(f.all(), "A B");
  }
  {
    ListFixture f(" DD  CCC B ");
    ASSERT_EQ(wordlist_merge_by_offset(f.cc.get(), &f.list), 0);
    EXPECT_STREQ(f.list.text, " B  CCC DD ");
    EXPECT_EQ(f.all(), " B  CCC DD ");
    expect_tiled(&f.list);
  }
}

}  // namespace

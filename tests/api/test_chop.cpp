// Chopping through the public interface: the built-in choppers, chop info,
// the fixed tables of the character table, rule validation, and a chopper
// document written by hand and loaded from a knowledge base.
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "support/chopper_doc.h"
#include "support/tq_test.h"

namespace {

using tq_test::char_row;
using tq_test::chopper_document;
using tq_test::Context;
using tq_test::encoding_name;
using tq_test::install_chopper;
using Words = std::vector<std::string>;

struct ChopResult {
  int32_t rc;
  Words words;
};

ChopResult chop(tq_context* ctx, int32_t chopper, const std::string& value, uint32_t entries = 16,
                tq_chop_info* info = nullptr) {
  std::vector<tq_chop_word> out(entries + 1);
  std::memset(out.data(), 0x55, out.size() * sizeof(tq_chop_word));
  uint32_t n = entries;
  int32_t rc = info != nullptr ? tq_chop_string_with_info(ctx, chopper, value.c_str(), out.data(), &n, info)
                               : tq_chop_string(ctx, chopper, value.c_str(), out.data(), &n);
  ChopResult r{rc, {}};
  if (rc >= 0) {
    for (uint32_t i = 0; i < n; ++i) r.words.emplace_back(out[i]);
    // The entry after the last one written is untouched.
    EXPECT_EQ(static_cast<unsigned char>(out[n][0]), 0x55u);
  }
  return r;
}

int32_t last_code(tq_context* ctx) {
  int32_t code = 0;
  char text[4200];
  tq_error_info_get(ctx, &code, text);
  return code;
}

TEST(Chop, BuiltInChoppersOnAContextWithoutKnowledgeBase) {
  Context ctx;
  for (int32_t handle : {TQ_CHOPPER_DEFAULT, TQ_CHOPPER_WHITESPACE, TQ_CHOPPER_WHITESPACE_CJK}) {
    ChopResult r = chop(ctx, handle, "  John   Smith ");
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.words, (Words{"John", "Smith"}));
  }
  EXPECT_EQ(chop(ctx, -4, "a").rc, -802);
  // Fewer entries than words: the first ones, and the count says so.
  ChopResult two = chop(ctx, -2, "a b c", 2);
  EXPECT_EQ(two.words, (Words{"a", "b"}));
  uint32_t zero = 0;
  tq_chop_word one[1];
  EXPECT_EQ(tq_chop_string(ctx, -2, "a", one, &zero), -802);
  EXPECT_EQ(last_code(ctx), -802);
  // Session encoding ISO-8859-1: no-break space and line tabulation stay
  // inside words; text comes back in the session encoding.
  EXPECT_EQ(chop(ctx, -2, "A\xA0" "B").words, (Words{"A\xA0" "B"}));
  EXPECT_EQ(chop(ctx, -2, "A\x0B" "B").words, (Words{"A\x0B" "B"}));
  EXPECT_EQ(chop(ctx, -2, "M\xFCller\tStra\xDF" "e").words, (Words{"M\xFCller", "Stra\xDF" "e"}));
  // 1,024 bytes are chopped; anything longer is refused, never overrun.
  EXPECT_EQ(chop(ctx, -2, std::string(1024, 'x')).words, (Words{std::string(1024, 'x')}));
  EXPECT_EQ(chop(ctx, -2, std::string(1025, 'x')).rc, -601);
  EXPECT_EQ(chop(ctx, -2, std::string(20000, 'x')).rc, -601);
  // Two-byte characters in UTF-8 count their bytes: 512 of them fit.
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  std::string wide;
  for (int i = 0; i < 512; ++i) wide += "\xC3\xA9";
  EXPECT_EQ(chop(ctx, -3, wide).words.size(), 1u);
  EXPECT_EQ(chop(ctx, -3, wide + "e").rc, -601);
}

// What is past a chop's limits fails with -601, and the error list says
// which limit, not that the call-state stack is full.
TEST(Chop, LimitsSayWhatWasFull) {
  Context ctx;
  tq_chop_info* info = nullptr;
  ASSERT_EQ(tq_chop_info_init(ctx, &info), 0);
  const std::string value(1025, 'x');
  const std::string deep = std::string(40, '(') + "A" + std::string(40, ')');
  uint32_t valid = 9;
  const struct {
    const char* name;
    std::function<int32_t()> call;
    const char* said;
  } calls[] = {
      {"tq_chop_string", [&] { return chop(ctx, -2, value).rc; },
       "The text to chop in tq_chop_string is longer than the 1024 bytes (UTF-8) a chopper takes: it is not "
       "chopped."},
      {"tq_chop_string_with_info", [&] { return chop(ctx, -2, value, 16, info).rc; },
       "The text to chop in tq_chop_string_with_info is longer than the 1024 bytes (UTF-8) a chopper takes: it is "
       "not chopped."},
      {"tq_chopper_rule_validate", [&] { return tq_chopper_rule_validate(ctx, deep.c_str(), &valid); },
       "The prerequisite expression nests its groups and operators too deeply (position 31)."},
  };
  for (const auto& c : calls) {
    EXPECT_EQ(c.call(), -601) << c.name;
    EXPECT_EQ(tq_test::error_list_text(ctx), std::string("  [0] -601: ") + c.said + "\n") << c.name;
  }
  // The deepest expression that passes: 29 groups around one name.
  for (const auto& [depth, rc, ok] : {std::tuple{29, 0, 1u}, std::tuple{30, -601, 0u}}) {
    const std::string nested = std::string(depth, '(') + "A" + std::string(depth, ')');
    EXPECT_EQ(tq_chopper_rule_validate(ctx, nested.c_str(), &valid), rc) << depth;
    EXPECT_EQ(valid, ok) << depth;
  }
  EXPECT_EQ(tq_chop_info_free(ctx, info), 0);
}

// A chopper that chops nothing (its table and its rules off) refuses a value
// too long to chop as every chopper does: the length counts once in UTF-8,
// whatever the session encoding.
TEST(Chop, LongValuesAreRefusedWhateverTheSwitches) {
  tq_test::TempDir kb;
  kb.write("chopinfo/.keep", "");
  Context ctx(kb.str().c_str(), true);
  install_chopper(ctx, kb, "off", chopper_document("UTF-8", "", 0));
  int32_t ch = -1;
  ASSERT_EQ(tq_chopper_load(ctx, "off", &ch), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_chopper_table_enabled_set(ctx, ch, 0), 0);
  ASSERT_EQ(tq_chopper_rules_enabled_set(ctx, ch, 0), 0);
  // In ISO-8859-1 here: 'x' takes one byte in UTF-8, U+00E9 two.
  const struct {
    std::string latin1;
    int32_t rc;
  } values[] = {{std::string(1024, 'x'), 0},       {std::string(1025, 'x'), -601}, {std::string(1030, 'x'), -601},
                {std::string(4500, 'x'), -601},    {std::string(512, '\xE9'), 0},  {std::string(513, '\xE9'), -601}};
  for (uint32_t enc : {TQ_ENC_UTF8, TQ_ENC_UCS2_LE}) {
    ASSERT_EQ(tq_session_encoding_set(ctx, enc), 0);
    for (const auto& v : values) {
      std::string given;
      for (const char c : v.latin1) given += c == 'x' ? "x" : "\xC3\xA9";
      if (enc == TQ_ENC_UCS2_LE) given = tq_test::ucs2le(v.latin1);
      SCOPED_TRACE("encoding " + std::to_string(enc) + ", " + std::to_string(v.latin1.size()) + " characters");
      EXPECT_EQ(chop(ctx, ch, given).rc, v.rc);
      if (v.rc < 0) {
        // The newest record says why, in the session encoding.
        uint32_t count = 0;
        ASSERT_EQ(tq_error_count_get(ctx, &count), 0);
        int32_t code = 0;
        char text[TQ_ERROR_TEXT_MAX + 1];
        std::string said = enc == TQ_ENC_UTF8 ? (tq_error_info_get(ctx, &code, text), text)
                                              : tq_test::ucs2_error_text(ctx, count - 1, &code);
        EXPECT_EQ(code, -601);
        EXPECT_TRUE(tq_test::holds(said, "a chopper takes: it is not chopped."));
      }
    }
  }
}

TEST(Chop, SessionConversionOutcomesAndLongValues) {
  Context ctx;
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  // A well-formed value is chopped where it lies; an ill-formed one is
  // converted first, its bad byte replaced or refused as the options say.
  EXPECT_EQ(chop(ctx, -2, "Gr\xC3\xBC\xC3\x9F Gott").words, (Words{"Gr\xC3\xBC\xC3\x9F", "Gott"}));
  const uint32_t base = tq_options_get(ctx);
  struct Outcome {
    uint32_t options;
    int32_t rc;
  };
  for (const Outcome& o : {Outcome{0, 0}, Outcome{TQ_OPT_WARN_REPLACED, 116}, Outcome{TQ_OPT_STRICT_CONVERSION, -10000}}) {
    tq_options_set(ctx, base | o.options);
    ChopResult r = chop(ctx, -2, "A\x80" "B C");
    EXPECT_EQ(r.rc, o.rc) << o.options;
    if (o.rc >= 0) {
      EXPECT_EQ(r.words, (Words{"A\xEF\xBF\xBD" "B", "C"}));
    }
  }
  tq_options_set(ctx, base);
  // Hundreds of pieces in one value: every word comes back, in both sessions.
  std::string many;
  for (int i = 0; i < 511; ++i) many += static_cast<char>('a' + i % 26) + std::string(" ");
  many += "z";
  ASSERT_EQ(many.size(), 1023u);
  for (uint32_t enc : {TQ_ENC_UTF8, TQ_ENC_ISO_8859_1}) {
    ASSERT_EQ(tq_session_encoding_set(ctx, enc), 0);
    for (int round = 0; round < 2; ++round) {
      ChopResult r = chop(ctx, -2, many, 600);
      ASSERT_EQ(r.rc, 0);
      ASSERT_EQ(r.words.size(), 512u);
      EXPECT_EQ(r.words[27], "b");
      EXPECT_EQ(r.words[511], "z");
    }
  }
}

TEST(Chop, WordsComeBackInTheSessionEncoding) {
  // Each word with its terminator, ASCII and not, in sessions that write
  // ASCII as itself and in sessions that do not.
  struct Case {
    uint32_t enc;
    std::string value;
    Words words;
  };
  using namespace std::string_literals;
  const Case cases[] = {
      {TQ_ENC_ISO_8859_1, "Ab \xE9t\xE9"s, {"Ab\0"s, "\xE9t\xE9\0"s}},
      {TQ_ENC_UTF8, "Ab \xC3\xA9t"s, {"Ab\0"s, "\xC3\xA9t\0"s}},
      {TQ_ENC_IBM_1047, "\xC1\x82\x40\xC3"s, {"\xC1\x82\0"s, "\xC3\0"s}},
      {TQ_ENC_UCS2_LE, "A\0b\0 \0\xE9\0\0\0"s, {"A\0b\0\0\0"s, "\xE9\0\0\0"s}},
  };
  Context ctx;
  for (const Case& c : cases) {
    ASSERT_EQ(tq_session_encoding_set(ctx, c.enc), 0);
    std::vector<tq_chop_word> out(4);
    uint32_t n = 4;
    ASSERT_EQ(tq_chop_string(ctx, -2, c.value.data(), out.data(), &n), 0) << c.enc;
    ASSERT_EQ(n, c.words.size()) << c.enc;
    for (uint32_t i = 0; i < n; ++i) {
      EXPECT_EQ(std::string(out[i], c.words[i].size()), c.words[i]) << c.enc << " word " << i;
    }
  }
}

TEST(Chop, ChopInfoRecordsWhyWordsStart) {
  Context ctx;
  tq_chop_info* info = nullptr;
  ASSERT_EQ(tq_chop_info_init(ctx, &info), 0);
  EXPECT_EQ(chop(ctx, -2, "John  Smith", 16, info).words, (Words{"John", "Smith"}));
  uint32_t type = 9, data = 9;
  EXPECT_EQ(tq_chop_info_source_type_get(ctx, info, 0, &type), 0);
  EXPECT_EQ(type, 0u);
  EXPECT_EQ(tq_chop_info_source_type_get(ctx, info, 1, &type), 0);
  EXPECT_EQ(tq_chop_info_source_data_get(ctx, info, 1, &data), 0);
  EXPECT_EQ(type, 1u);
  EXPECT_EQ(data, 32u);
  EXPECT_EQ(tq_chop_info_source_type_get(ctx, info, 2, &type), -800);
  // A second chop appends its words.
  chop(ctx, -2, "A\tB", 16, info);
  EXPECT_EQ(tq_chop_info_source_data_get(ctx, info, 3, &data), 0);
  EXPECT_EQ(data, 9u);
  EXPECT_EQ(tq_chop_info_source_data_get(ctx, info, 4, &data), -800);
  EXPECT_EQ(tq_chop_info_source_data_get(ctx, info, -1, &data), -800);
  EXPECT_EQ(tq_chop_info_free(ctx, info), 0);
}

TEST(Chop, FixedTablesAndValidation) {
  Context ctx;
  uint32_t count = 0;
  EXPECT_EQ(tq_chopper_table_char_classif_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(tq_chopper_table_char_oper_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 3u);
  std::vector<uint32_t> ids;
  for (uint32_t i = 0; i < 5; ++i) {
    uint32_t id = 99;
    EXPECT_EQ(tq_chopper_table_char_classif_get_by_index(ctx, i, &id), 0);
    ids.push_back(id);
  }
  EXPECT_EQ(ids, (std::vector<uint32_t>{0, 3, 4, 5, 6}));
  uint32_t id = 0;
  EXPECT_EQ(tq_chopper_table_char_classif_get_by_index(ctx, 5, &id), -1);
  EXPECT_EQ(id, 8u);
  EXPECT_EQ(tq_chopper_table_char_oper_get_by_index(ctx, 3, &id), -1);
  EXPECT_EQ(id, 4u);
  char name[1040];
  EXPECT_EQ(tq_chopper_table_char_classif_name_get(ctx, 2, name), 0);
  EXPECT_STREQ(name, "UPPERCASE LETTER");
  EXPECT_EQ(tq_chopper_table_char_classif_name_get(ctx, 0, name), 0);
  EXPECT_STREQ(name, "LETTER/SYMBOL");
  EXPECT_EQ(tq_chopper_table_char_oper_name_get(ctx, 3, name), 0);
  EXPECT_STREQ(name, "REPLACE");
  EXPECT_EQ(tq_chopper_table_char_classif_name_get(ctx, 8, name), -802);
  EXPECT_STREQ(name, "");
  uint32_t errors = 0;
  tq_error_count_get(ctx, &errors);
  EXPECT_EQ(errors, 1u);

  struct Case {
    const char* expr;
    uint32_t valid;
  };
  for (const Case& c : {Case{"A | B & C", 1}, Case{"A &", 1}, Case{"!(A | B)", 1}, Case{"", 1}, Case{"!!A", 0},
                        Case{"A B", 0}, Case{"(A", 0}, Case{"A)", 0}, Case{"A,B", 0}}) {
    uint32_t valid = 9;
    EXPECT_EQ(tq_chopper_rule_validate(ctx, c.expr, &valid), 0) << c.expr;
    EXPECT_EQ(valid, c.valid) << c.expr;
    tq_error_count_get(ctx, &errors);
    EXPECT_EQ(errors, 0u) << c.expr;
  }
  for (const Case& c : {Case{"ABC", 1}, Case{"", 1}, Case{"A_B-1", 1}, Case{"A B", 0}, Case{"A|B", 0},
                        Case{"A,B", 0}, Case{"(A)", 0}, Case{"!A", 0}}) {
    uint32_t valid = 9;
    EXPECT_EQ(tq_chopper_rule_flag_name_validate(ctx, c.expr, &valid), 0);
    EXPECT_EQ(valid, c.valid) << c.expr;
  }
}

TEST(Chop, BadHandlesAndEditRules) {
  Context plain;
  Context edit(nullptr, true);
  uint32_t count = 0;
  EXPECT_EQ(tq_chopper_table_char_count_get(plain, 0, &count), -800);
  EXPECT_EQ(tq_chopper_table_char_count_get(plain, -2, &count), -800);
  EXPECT_EQ(tq_chopper_rules_list_count(plain, 3, &count), -800);
  EXPECT_EQ(tq_chopper_table_char_metadata_set_begin(plain, 0), -501);
  EXPECT_EQ(tq_chopper_table_char_metadata_set_begin(edit, -3), -800);
  EXPECT_EQ(tq_chopper_unload(plain, 0), -800);
  int32_t index = 5;
  EXPECT_EQ(tq_chopper_index_get_by_name(plain, "none", &index), -404);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(tq_chopper_load(plain, "none", &index), -400);
  // Creating needs a current locale.
  EXPECT_EQ(tq_chopper_create(edit, "new", &index), -707);
  EXPECT_EQ(tq_chopper_create(plain, "new", &index), -501);
}

// ---- A chopper document written by hand -------------------------------------------------------

TEST(Chop, HandWrittenChopperLoadsAndChops) {
  tq_test::TempDir kb;
  kb.write("chopinfo/.keep", "");
  Context ctx(kb.str().c_str());
  std::string cp1252 = encoding_name(ctx, TQ_ENC_CP1252);
  // In a CP1252 document, value 128 is the euro sign; ';' becomes a trail
  // separator and '-' a suppressed character.
  std::string rows = char_row("EURO", 128, "FULL SEPARATOR", "TRIM") + char_row("SEMI", ';', "TRAIL_SEPARATOR", "USE") +
                     char_row("DASH", '-', "LETTER", "SUPPRESS");
  install_chopper(ctx, kb, "hand", chopper_document(cp1252, rows, 3));
  install_chopper(ctx, kb, "badvalue", chopper_document(cp1252, char_row("BIG", 300, "NUMBER", "USE"), 1));

  int32_t ch = -1;
  ASSERT_EQ(tq_chopper_load(ctx, "hand", &ch), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  // The euro sign separates, ';' ends a word, '-' is dropped, implicit
  // separation splits AB12.
  EXPECT_EQ(chop(ctx, ch, "a\xE2\x82\xAC" "b;c AB12 x-y").words, (Words{"a", "b;", "c", "AB", "12", "x", "y"}));
  uint32_t cls = 0, op = 0, count = 0, flag = 0;
  EXPECT_EQ(tq_chopper_table_char_metadata_get_by_codepoint(ctx, ch, 0x20AC, &cls, &op), 0);
  EXPECT_EQ(cls, 6u);
  EXPECT_EQ(op, 1u);
  EXPECT_EQ(tq_chopper_table_char_count_get(ctx, ch, &count), 0);
  EXPECT_EQ(count, 129u);
  EXPECT_EQ(tq_chopper_table_impsep_flag_get(ctx, ch, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_chopper_rules_list_count(ctx, ch, &count), 0);
  EXPECT_EQ(count, 1u);
  char text[4200];
  EXPECT_EQ(tq_chopper_rule_notes_get(ctx, ch, 0, text), 0);
  EXPECT_STREQ(text, "first number");
  char iso[40], desc[400];
  int32_t code = 0;
  EXPECT_EQ(tq_chopper_locale_info_get(ctx, ch, iso, desc, &code), 0);
  EXPECT_STREQ(iso, "GB");
  EXPECT_EQ(code, 800010);
  int32_t again = -1;
  EXPECT_EQ(tq_chopper_load(ctx, "hand", &again), 0);
  EXPECT_EQ(again, ch);
  EXPECT_EQ(tq_chopper_unload(ctx, ch), 0);
  EXPECT_EQ(tq_chopper_unload(ctx, ch), 0);
  EXPECT_EQ(tq_chopper_table_char_count_get(ctx, ch, &count), -800);

  // A value that is no character of the document's encoding.
  ASSERT_EQ(tq_chopper_load(ctx, "badvalue", &ch), 0);
  EXPECT_EQ(tq_chopper_table_char_count_get(ctx, ch, &count), -300);
  EXPECT_NE(tq_test::error_list_text(ctx).find("300"), std::string::npos);
  EXPECT_EQ(chop(ctx, ch, "a").rc, -300);
}

// A chopper keeps 128 bytes of a flag name. A longer name given to an
// export is refused wherever it enters (an add, a rule's prerequisite or
// output flags), -802 with nothing changed, never cut into another flag's
// name; a chopper file keeps its longer names cut, as it always has.
TEST(Chop, FlagNamesPast128BytesAreRefusedWhereverTheyEnter) {
  tq_test::TempDir kb;
  kb.write("chopinfo/.keep", "");
  Context ctx(kb.str().c_str(), true);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  const std::string n128(128, 'N');
  const std::string from_file = std::string(126, 'F') + "\xE2\x82\xAC";  // U+20AC across byte 128
  install_chopper(ctx, kb, "hand", chopper_document("UTF-8", "", 0, "[0-9]+", "S | " + from_file));
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
  const std::unique_ptr<tq_lock_handle, std::function<void(tq_lock_handle*)>> held(
      lock, [&ctx](tq_lock_handle* l) { tq_lock_free(ctx, l); });
  int32_t ch = -1;
  ASSERT_EQ(tq_chopper_edit(ctx, "hand", lock, &ch), 0) << tq_test::error_list_text(ctx);
  uint32_t id = 0;
  char name[1100] = "";
  ASSERT_EQ(tq_chopper_rules_flag_id_get(ctx, ch, std::string(126, 'F').c_str(), &id), 0);
  ASSERT_EQ(tq_chopper_rules_flag_name_get(ctx, ch, id, name), 0);
  EXPECT_EQ(name, std::string(126, 'F'));

  // What a refused call could change: the flags, names and rules.
  auto state = [&] {
    std::string out;
    uint32_t ids[256], n = 0, count = 0;
    EXPECT_EQ(tq_chopper_rules_init_flags_get(ctx, ch, ids, &n), 0);
    for (uint32_t f = 0; f < n; ++f) out += std::to_string(ids[f]) + " ";
    for (uint32_t f = 0; f < 256; ++f) {
      if (tq_chopper_rules_flag_name_get(ctx, ch, f, name) == 0) out += "|" + std::string(name);
    }
    EXPECT_EQ(tq_chopper_rules_list_count(ctx, ch, &count), 0);
    std::vector<uint32_t> rules(count + 1);
    EXPECT_EQ(tq_chopper_rules_list_get(ctx, ch, rules.data()), 0);
    for (uint32_t r = 0; r < count; ++r) {
      char prereq[4200] = "";
      EXPECT_EQ(tq_chopper_rule_prereq_get(ctx, ch, rules[r], prereq), 0);
      EXPECT_EQ(tq_chopper_rule_output_flags_get(ctx, ch, rules[r], ids, &n), 0);
      out += "\nrule " + std::to_string(rules[r]) + ": " + prereq + " ->";
      for (uint32_t f = 0; f < n; ++f) out += " " + std::to_string(ids[f]);
    }
    return out;
  };
  struct Entry {
    const char* what;
    std::function<int32_t(const std::string&)> call;
  };
  uint32_t flag = 0;
  const Entry entries[] = {
      {"initial flag", [&](const std::string& n) { return tq_chopper_rules_init_flag_add(ctx, ch, n.c_str(), &flag); }},
      {"output flag", [&](const std::string& n) { return tq_chopper_rule_output_flag_add(ctx, ch, 0, n.c_str(), &flag); }},
      {"prerequisite", [&](const std::string& n) { return tq_chopper_rule_prereq_set(ctx, ch, 0, ("S & !" + n).c_str()); }},
      {"regex rule's prerequisite",
       [&](const std::string& n) {
         return tq_chopper_regex_rule_add(ctx, ch, "[a-z]+", ("(S|" + n + ")").c_str(), "", 0, "", nullptr);
       }},
      {"regex rule's output flags",
       [&](const std::string& n) {
         return tq_chopper_regex_rule_add(ctx, ch, "[a-z]+", "", ("A, " + n).c_str(), 0, "", nullptr);
       }},
      {"vocabulary rule's output flags",
       [&](const std::string& n) {
         return tq_chopper_vocab_rule_add(ctx, ch, "none", "CAT", "", (n + ",A").c_str(), 0, "", nullptr);
       }},
  };
  const std::string before = state();
  for (const Entry& e : entries) {
    for (const std::string& longer : {n128 + "Z", std::string(126, 'N') + "\xE2\x82\xAC", from_file}) {
      EXPECT_EQ(e.call(longer), TQ_ERR_ARGUMENT) << e.what;
      EXPECT_TRUE(tq_test::holds(tq_test::error_list_text(ctx), "of 129 bytes once in UTF-8")) << e.what;
      EXPECT_TRUE(tq_test::holds(tq_test::error_list_text(ctx), "longer than the 128 bytes")) << e.what;
      EXPECT_EQ(state(), before) << e.what;
    }
  }
  // At 128 bytes a name is taken whole, and one longer names no flag.
  ASSERT_EQ(tq_chopper_rules_init_flag_add(ctx, ch, n128.c_str(), &id), 0);
  ASSERT_EQ(tq_chopper_rules_flag_name_get(ctx, ch, id, name), 0);
  EXPECT_EQ(name, n128);
  EXPECT_EQ(tq_chopper_rules_flag_id_get(ctx, ch, (n128 + "Z").c_str(), &flag), TQ_ERR_NAME);
  for (const Entry& e : entries) EXPECT_GE(e.call(n128), 0) << e.what << "\n" << tq_test::error_list_text(ctx);
  // What the setters refuse, the validations call not valid.
  uint32_t valid = 9;
  EXPECT_EQ(tq_chopper_rule_flag_name_validate(ctx, (n128 + "Z").c_str(), &valid), 0);
  EXPECT_EQ(valid, 0u);
  EXPECT_EQ(tq_chopper_rule_validate(ctx, ("S & !" + n128 + "Z").c_str(), &valid), 0);
  EXPECT_EQ(valid, 0u);
  EXPECT_EQ(tq_chopper_rule_validate(ctx, ("S & !" + n128).c_str(), &valid), 0);
  EXPECT_EQ(valid, 1u);
}

// A rule that backtracks without end gives up at its limit on the first
// position and ends the chop: the limit's own code says it stopped the
// match, where without a limit the chop would backtrack for seconds.
TEST(Chop, BacktrackingRuleGivesUpQuickly) {
  tq_test::TempDir kb;
  kb.write("chopinfo/.keep", "");
  Context ctx(kb.str().c_str());
  install_chopper(ctx, kb, "backtrack", chopper_document("UTF-8", "", 0, "(a+)+[bc]", ""));
  int32_t ch = -1;
  ASSERT_EQ(tq_chopper_load(ctx, "backtrack", &ch), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(chop(ctx, ch, std::string(100, 'a')).rc, -601);
  EXPECT_EQ(chop(ctx, ch, std::string(1024, 'a')).rc, -601);
  EXPECT_EQ(last_code(ctx), -601);
  // Values the pattern settles chop as before.
  EXPECT_EQ(chop(ctx, ch, "aab x").words, (Words{"aab", "x"}));
}

}  // namespace

// Numbers a knowledge base gives, at the largest value each field takes
// and one past it: what a setter or a file gives reaches the engine that
// adds it up, which never overflows (under the sanitizers a wrapped sum
// stops the process), and a value past a field's range is refused where it
// is read or set, naming the field and its range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "support/chopper_doc.h"
#include "support/ident_kb.h"
#include "support/sample_locales.h"
#include "support/tq_test.h"

namespace {

using tq_test::error_list_text;

constexpr int32_t kLocale = tq_test::kIdentKbLocale;

// The identification knowledge base of tests/kb/ident, with every `from`
// of one source file replaced by `to` before it is written.
class VariedKb : public tq_test::BuiltKb {
 public:
  // first_only: the first `from` alone.
  VariedKb(const std::string& source, const std::string& from, const std::string& to, bool edit_mode = false,
           bool first_only = false)
      : first_only_(first_only) {
    const std::pair<const char*, const char*> files[] = {{"parse/grammar/PersonName", "grammar/PersonName"},
                                                         {"parse/regexlib/StripPeriods", "regexlib/StripPeriods"},
                                                         {"ident/locale/en.loc", "locale/en.loc"},
                                                         {"parse/locale/l1.loc", "locale/l1.loc"}};
    for (const auto& [s, to_name] : files) write_varied(s, to_name, source == s ? from : "", to);
    const std::string vocab = varied_text("parse/vocab/PersonName", source == "parse/vocab/PersonName" ? from : "", to);
    std::filesystem::create_directories(dir() / "vocab");
    std::ofstream(dir() / "vocab" / "PersonNameSource.xml") << vocab;
    built_rc_ = tq_vocab_file_convert(maker(), 0, "PersonNameSource", "PersonName");
    built_text_ = error_list_text(maker());
    if (built_rc_ < 0) return;
    tq_test::write_titles_scheme(maker(), dir());
    open(kLocale, TQ_LOAD_DATATYPES | TQ_LOAD_IDENT_DEFNS, edit_mode, 0);
    built_text_ += error_list_text(ctx());
  }
  // The first failure while the files were made, and every message until
  // the locale was loaded.
  int32_t built_rc() const { return built_rc_; }
  const std::string& built_text() const { return built_text_; }

 private:
  std::string varied_text(const std::string& source, const std::string& from, const std::string& to) {
    std::ifstream in(BuiltKb::source(source + ".xml"));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t at = from.empty() ? std::string::npos : text.find(from); at != std::string::npos;
         at = first_only_ ? std::string::npos : text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
    return text;
  }
  void write_varied(const std::string& source, const std::string& to_name, const std::string& from,
                    const std::string& to) {
    const auto plain = dir() / "plain.xml";
    std::ofstream(plain) << varied_text(source, from, to);
    tq_xmldoc* doc = nullptr;
    ASSERT_EQ(tq_xml_read(maker(), plain.c_str(), 8, &doc), 0) << source << error_list_text(maker());
    write_doc(doc, to_name);
    tq_xml_free(maker(), doc);
    std::filesystem::remove(plain);
  }
  bool first_only_ = false;
  int32_t built_rc_ = 0;
  std::string built_text_;
};

std::string refusal(const char* field, int64_t value, int32_t min, int32_t max) {
  return std::string(field) + " " + std::to_string(value) + " is outside the " + std::to_string(min) + " to " +
         std::to_string(max) + " it may take.";
}

// A field with a range, given in a file: at its largest value the locale
// loads and Id8 (grammar and vocabulary) identifies; one past it, the file
// is refused where it is read (the load, or the vocabulary's compile),
// naming the field and its range.
struct FileRow {
  const char* source;
  const char* field_text;  // the field as the source writes it, with its value
  const char* field;
  int32_t min;
  int32_t max;
};
constexpr FileRow kFileRows[] = {
    {"ident/locale/en.loc", "<field column=\"Likelihood\">10<", "Likelihood", 10, 90},  // default categories
    {"parse/vocab/PersonName", "<field column=\"Likelihood\">90<", "Likelihood", 10, 90},
};

std::string with_value(const char* field_text, int64_t value) {
  std::string text = field_text;
  const size_t digits = text.find_last_of('>') + 1;
  return text.substr(0, digits) + std::to_string(value) + "<";
}

TEST(KbNumbers, FileFieldsRefusedPastTheirRangeWhereRead) {
  for (const FileRow& row : kFileRows) {
    SCOPED_TRACE(std::string(row.source) + " " + row.field);
    {
      VariedKb kb(row.source, row.field_text, with_value(row.field_text, row.max));
      ASSERT_EQ(kb.built_rc(), 0) << kb.built_text();
      char out[1028];
      EXPECT_EQ(tq_identify(kb.ctx(), "Id8", "John Smith", out), 0) << error_list_text(kb.ctx());
      EXPECT_STREQ(out, "PERSON");
    }
    // Past the int32 range too: one more value out of the field's range.
    for (const int64_t past :
         {int64_t{row.max} + 1, int64_t{INT32_MAX}, int64_t{INT32_MAX} + 1, int64_t{row.min} - 1}) {
      VariedKb kb(row.source, row.field_text, with_value(row.field_text, past));
      std::string text = kb.built_text();
      if (kb.built_rc() >= 0) {
        char out[1028];
        EXPECT_LT(tq_identify(kb.ctx(), "Id8", "John Smith", out), 0) << past;
        text += error_list_text(kb.ctx());
      } else {
        EXPECT_EQ(kb.built_rc(), TQ_ERR_INVALID_CONTENT);
      }
      EXPECT_NE(text.find(refusal(row.field, past, row.min, row.max)), std::string::npos) << past << "\n" << text;
    }
  }
}

// The same ranges through their setters: the largest value is taken, one
// past either end refused (-802) with the same message.
TEST(KbNumbers, SettersRefuseWhatTheReadersRefuse) {
  VariedKb kb("", "", "", true);
  tq_context* c = kb.ctx();
  int32_t id5 = -1;
  ASSERT_EQ(tq_identification_defn_index_get_by_name(c, "Id5", &id5), 0);
  int32_t entry = -1;
  ASSERT_EQ(tq_identification_defn_default_category_add(c, id5, &entry), 0);
  int32_t grammar = -1;
  ASSERT_EQ(tq_grammar_create(c, "Numbers", &grammar), 0) << error_list_text(c);
  ASSERT_EQ(tq_grammar_category_add(c, grammar, "WHOLE", "whole"), 0) << error_list_text(c);
  const struct {
    const char* field;
    int32_t min;
    int32_t max;
    int32_t (*set)(tq_context*, int32_t index, int32_t entry, int64_t value);
    int32_t index;
    int64_t far;  // the farthest value the setter's type takes
  } rows[] = {
      {"Likelihood", 10, 90,  // a default category
       [](tq_context* ctx, int32_t index, int32_t at, int64_t v) {
         return tq_identification_defn_default_category_info_set(ctx, index, at, "UNK", static_cast<uint32_t>(v));
       },
       id5, UINT32_MAX},
      {"Likelihood", 10, 90,  // a categorization library
       [](tq_context* ctx, int32_t index, int32_t, int64_t v) {
         return tq_identification_defn_cat_regexlib_add(ctx, index, "UNK", static_cast<uint32_t>(v), "StripPeriods", 0);
       },
       id5, UINT32_MAX},
      {"Priority", 10, 90,  // a grammar rule
       [](tq_context* ctx, int32_t index, int32_t, int64_t v) {
         return tq_grammar_rule_add(ctx, index, 0, static_cast<int32_t>(v));
       },
       grammar, INT32_MAX},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.field);
    EXPECT_EQ(row.set(c, row.index, entry, row.max), 0) << error_list_text(c);
    for (const int64_t past : {int64_t{row.max} + 1, int64_t{row.min} - 1, row.far}) {
      EXPECT_EQ(row.set(c, row.index, entry, past), TQ_ERR_ARGUMENT) << past;
      EXPECT_NE(error_list_text(c).find(refusal(row.field, past, row.min, row.max)), std::string::npos)
          << past << "\n" << error_list_text(c);
    }
  }
}

// Sums of numbers a knowledge base gives saturate. In Id5 each SUFFIX word
// of "Dr Jr Jr" adds its pattern's weight (the first in the file) to
// PERSON, the PREFIX word 10 to TITLE; in Id8 the parse of "John Smith"
// adds up its rules' priorities, which a file may give past the setters'
// range (here one at the int32 limit; a number past that range is no
// value an "int" field holds, and the read refuses it).
TEST(KbNumbers, ScoresSaturate) {
  constexpr int64_t kAny = INT64_MIN;  // a score not looked at
  const struct {
    const char* source;
    const char* from;
    std::string to;
    bool first_only;
    const char* defn;
    const char* value;
    const char* result;
    int64_t id_score;        // of PERSON
    int64_t solution_score;  // of PERSON's first pattern's first solution
  } rows[] = {
      {"ident/locale/en.loc", "<field column=\"Weight\">10<", "<field column=\"Weight\">2147483647<", true, "Id5",
       "Dr Jr Jr", "PERSON", INT32_MAX, kAny},
      {"ident/locale/en.loc", "<field column=\"Weight\">10<", "<field column=\"Weight\">-2147483648<", true, "Id5",
       "Dr Jr Jr", "TITLE", INT32_MIN, kAny},
      {"parse/grammar/PersonName", "<field column=\"Priority\">70<", "<field column=\"Priority\">2147483647<", true,
       "Id8", "John Smith", "PERSON", kAny, INT32_MAX},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.to);
    VariedKb kb(row.source, row.from, row.to, false, row.first_only);
    ASSERT_EQ(kb.built_rc(), 0) << kb.built_text();
    tq_context* c = kb.ctx();
    tq_ident_info* info = nullptr;
    ASSERT_EQ(tq_ident_info_init(c, &info), 0);
    char out[1028];
    EXPECT_EQ(tq_identify_with_info(c, row.defn, row.value, out, info), 0) << error_list_text(c);
    EXPECT_STREQ(out, row.result);
    uint32_t ids = 0;
    EXPECT_EQ(tq_ident_info_id_count_get(c, info, &ids), 0);
    bool seen = false;
    for (uint32_t id = 0; id < ids; ++id) {
      char name[1028];
      int32_t score = 0;
      EXPECT_EQ(tq_ident_info_id_value_get(c, info, id, name), 0);
      if (std::strcmp(name, "PERSON") != 0) continue;
      seen = true;
      EXPECT_EQ(tq_ident_info_id_score_get(c, info, id, &score), 0);
      if (row.id_score != kAny) {
        EXPECT_EQ(score, row.id_score);
      }
      if (row.solution_score == kAny) continue;
      EXPECT_EQ(tq_ident_info_id_pattern_solution_score_get(c, info, id, 0, 0, &score), 0) << error_list_text(c);
      EXPECT_EQ(score, row.solution_score);
    }
    EXPECT_TRUE(seen);
    tq_ident_info_free(c, info);
  }
}

// A training scheme's count past every integer type stops at the int32
// limit, as training reads it, and the weight an info gives (the sum over
// the definition's schemes) at the uint32 limit.
TEST(KbNumbers, TrainingWeightsSaturate) {
  tq_test::SampleKbCopy kb;
  tq_test::Context ctx(kb.str().c_str(), true);
  ASSERT_TQ_OK(ctx, tq_zel_locale_load(ctx, kLocale, TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS));
  int32_t en = -1;
  ASSERT_EQ(tq_lang_defn_index_get_by_name(ctx, "English", &en), 0);
  tq_language_guess_info* info = nullptr;
  ASSERT_EQ(tq_language_guess_info_init(ctx, &info), 0);
  const auto weight_of_the = [&] {
    int32_t score = 0;
    EXPECT_EQ(tq_language_guess_score_with_info(ctx, "English", "the end", &score, info), 0) << error_list_text(ctx);
    char ngram[1028];
    uint32_t pos = 0, freq = 0, weight = 0;
    EXPECT_EQ(tq_language_guess_info_input_ngram_info_get(ctx, info, 1, ngram, &pos, &freq, &weight), 0);
    EXPECT_STREQ(ngram, "THE");
    return weight;
  };
  const uint64_t before = weight_of_the();
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
  for (const char* name : {"Huge1", "Huge2"}) {
    int32_t index = -1;
    ASSERT_EQ(tq_scheme_create(ctx, (kb.path() / "scheme").c_str(), name, 0, lock, &index), 0) << error_list_text(ctx);
    EXPECT_EQ(tq_scheme_entry_add(ctx, index, "THE", "99999999999999999999999"), 0);
    EXPECT_EQ(tq_scheme_write(ctx, index, lock), 0) << error_list_text(ctx);
    EXPECT_EQ(tq_scheme_unload_edit(ctx, index, lock), 0);
    ASSERT_EQ(tq_lang_defn_training_scheme_add(ctx, en, name), 0) << error_list_text(ctx);
  }
  tq_lock_free(ctx, lock);
  EXPECT_EQ(weight_of_the(), std::min<uint64_t>(before + 2ull * INT32_MAX, UINT32_MAX));
  tq_language_guess_info_free(ctx, info);
}

// A chopper's character values: code points up to U+10FFFF; past it, past
// the int32 range, or past every integer type in a column typed as text,
// refused whole, never wrapped onto another character, and named as the
// file writes them.
TEST(KbNumbers, ChopperCodePointsRefusedPastUnicode) {
  tq_test::TempDir kb;
  kb.write("chopinfo/.keep", "");
  tq_test::Context ctx(kb.str().c_str());
  const std::string int_column = "<column type=\"int\">Char Value";
  const struct {
    const char* name;
    const char* value;
    bool as_text;  // the column typed "string"
    int32_t rc;    // of the table's count
  } rows[] = {{"top", "1114111", false, 0},
              {"past", "1114112", false, TQ_ERR_INVALID_CONTENT},
              {"beyond", "+00099999999999999999999", false, TQ_ERR_INVALID_CONTENT},
              {"wraps", "4294967361", true, TQ_ERR_INVALID_CONTENT}};  // 2^32 + 'A'
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::string doc = tq_test::chopper_document("UTF-8", tq_test::char_row("X", 0, "LETTER", "USE"), 1);
    doc.replace(doc.find("Char Value\">0<"), std::strlen("Char Value\">0<"),
                "Char Value\">" + std::string(row.value) + "<");
    if (row.as_text) doc.replace(doc.find(int_column), int_column.size(), "<column type=\"string\">Char Value");
    tq_test::install_chopper(ctx, kb, row.name, doc);
    int32_t ch = -1;
    ASSERT_EQ(tq_chopper_load(ctx, row.name, &ch), 0) << error_list_text(ctx);
    std::string text = error_list_text(ctx);
    uint32_t count = 0;
    EXPECT_EQ(tq_chopper_table_char_count_get(ctx, ch, &count), row.rc);
    text += error_list_text(ctx);
    if (row.rc != 0) {
      EXPECT_NE(text.find(std::string("Char Value ") + row.value + " is outside the 0 to 1114111"), std::string::npos)
          << text;
    }
    EXPECT_EQ(tq_chopper_unload(ctx, ch), 0);
  }
}

// The vault file `vault` (under the sample's root) with the first `from` of
// its plain form replaced by `to`, written by the library's own writer.
void vary_sample(const tq_test::SampleKbCopy& kb, const std::string& vault, const std::string& from,
                 const std::string& to) {
  const std::string path = (kb.path() / vault).string();
  const std::string plain = (kb.path() / "varied.xml").string();
  tq_test::Context maker(kb.str().c_str(), true);
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_read(maker, path.c_str(), 1, &doc), 0) << error_list_text(maker);
  ASSERT_EQ(tq_xml_write(maker, 0, plain.c_str(), 8, doc), 0) << error_list_text(maker);
  tq_xml_free(maker, doc);
  std::string text = tq_test::read_file(plain);
  const size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  std::ofstream(plain, std::ios::trunc) << text.replace(at, from.size(), to);
  ASSERT_EQ(tq_xml_read(maker, plain.c_str(), 8, &doc), 0) << error_list_text(maker);
  EXPECT_EQ(tq_xml_write(maker, 0, path.c_str(), 1, doc), 0) << error_list_text(maker);
  tq_xml_free(maker, doc);
}

// A file of the sample knowledge base with one text changed (golden file
// kb_refusals.tsv), the locale then loaded: the failure's record names the
// field, the value as the file writes it, where it stands and the range.
TEST(KbNumbers, SampleFilesRefusedNamingFieldValueAndPlace) {
  for (const tq_test::GoldenRow& row :
       tq_test::golden_rows(std::filesystem::path(TQ_API_GOLDEN_DIR) / "kb_refusals.tsv")) {
    SCOPED_TRACE("kb_refusals.tsv:" + std::to_string(row.line));
    ASSERT_EQ(row.f.size(), 5u);
    tq_test::SampleKbCopy kb;
    vary_sample(kb, row.f[0], row.f[2], row.f[3]);
    if (HasFatalFailure()) return;
    tq_test::Context user(kb.str().c_str());
    tq_zel_locale_load(user, std::stoi(row.f[1]), tq_test::kEveryPart);
    const std::string said = error_list_text(user);
    const size_t found = said.find(row.f[4]);
    EXPECT_NE(found, std::string::npos) << said;
    if (found == std::string::npos) continue;
    const size_t record = said.rfind('\n', found) + 1;  // 0 for the first line
    EXPECT_NE(said.substr(record, found - record).find("] -300: "), std::string::npos) << said;
  }
}

// A number past int32 in one definition of EN: the locale loads (104), that
// definition alone is not valid and takes no change, and a write of the
// locale puts the number back as the file gave it.
TEST(KbNumbers, NumberPastInt32RefusesItsDefinitionAlone) {
  tq_test::SampleKbCopy kb;
  const std::string past = "<field column=\"Likelihood\">2147483648<";
  vary_sample(kb, "locale/en.loc", "<field column=\"Likelihood\">70<", past);
  if (HasFatalFailure()) return;
  tq_test::Context ctx(kb.str().c_str(), true);
  tq_lock_handle* lock = nullptr;
  ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
  EXPECT_EQ(tq_zel_locale_load_edit(ctx, 29000, tq_test::kEveryPart, lock), TQ_WARN_LOCALE_PROBLEMS);
  int32_t parse = -1, casing = -1;
  uint32_t valid = 1;
  ASSERT_EQ(tq_parse_defn_index_get_by_name(ctx, "Name", &parse), 0) << error_list_text(ctx);
  EXPECT_EQ(tq_parse_defn_valid_get(ctx, parse, &valid), 0);
  EXPECT_EQ(valid, 0u);
  ASSERT_EQ(tq_case_defn_index_get_by_name(ctx, "Name", &casing), 0) << error_list_text(ctx);
  EXPECT_EQ(tq_case_defn_valid_get(ctx, casing, &valid), 0);
  EXPECT_EQ(valid, 1u);
  EXPECT_EQ(tq_parse_defn_owner_set(ctx, parse, "someone"), TQ_ERR_DEFN_INVALID);
  EXPECT_NE(error_list_text(ctx).find("refused whole"), std::string::npos) << error_list_text(ctx);
  EXPECT_EQ(tq_locale_write(ctx, 29000, lock), TQ_WARN_LOCALE_PROBLEMS) << error_list_text(ctx);
  EXPECT_NE(error_list_text(ctx).find("the Likelihood 2147483648 is outside the 10 to 90"), std::string::npos)
      << error_list_text(ctx);
  tq_lock_free(ctx, lock);
  tq_xmldoc* doc = nullptr;
  const std::string plain = (kb.path() / "written.xml").string();
  ASSERT_EQ(tq_xml_read(ctx, (kb.path() / "locale/en.loc").c_str(), 1, &doc), 0) << error_list_text(ctx);
  EXPECT_EQ(tq_xml_write(ctx, 0, plain.c_str(), 8, doc), 0);
  tq_xml_free(ctx, doc);
  EXPECT_NE(tq_test::read_file(plain).find(past), std::string::npos);
}

}  // namespace

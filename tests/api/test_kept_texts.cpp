// Texts no knowledge-base file can hold: U+FFFE and U+FFFF are not XML
// characters (the reader refuses the whole file), and U+10FF00..U+10FFFF
// are how the format carries control bytes (such a character would read
// back as a control byte, or not at all). Every framed export that keeps a
// caller's text is driven from the export tables, each of its texts in
// turn given such a character: it gives -802 with a message naming the
// call, the character and its place, and changes nothing (the locales, the
// resources, the document and the vault file it could change are written
// again with the same bytes). The texts that are not kept (the engines'
// values, names looked up, paths, texts only tried) are not refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "api/export_guard.h"
#include "support/sample_locales.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

namespace fs = std::filesystem;
using tq_test::Context;

// What a row's call is given: the text under test for the parameter of
// that name, "A" for every other text; the record's index for the
// parameter naming the definition or resource; the
// test's document, lock handle and vault file; zeroed scratch for other
// pointers; 0 for other numbers, but for the flag that makes a definition's
// replacement name kept ("deprecated", "value").
struct Args {
  const char* bad_param;
  const char* bad_text;
  int32_t index;
  tq_xmldoc* doc;
  tq_lock_handle* lock;
  tq_vault_file* vault;
};

bool names_record(const char* name) {
  return std::strcmp(name, "index") == 0 || std::strcmp(name, "chopper") == 0 || std::strcmp(name, "library") == 0;
}

template <typename T>
T pick(const char* name, const Args& a) {
  if constexpr (std::is_same_v<T, const char*>) {
    return std::strcmp(name, a.bad_param) == 0 ? a.bad_text : "A";
  } else if constexpr (std::is_same_v<T, tq_xmldoc*>) {
    return a.doc;
  } else if constexpr (std::is_same_v<T, tq_lock_handle*>) {
    return a.lock;
  } else if constexpr (std::is_same_v<T, tq_vault_file*>) {
    return a.vault;
  } else if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<T>(tq_export_guard::scratch());
  } else if constexpr (std::is_same_v<T, int32_t>) {
    return names_record(name) ? a.index : 0;
  } else {
    return static_cast<T>(std::strcmp(name, "deprecated") == 0 || std::strcmp(name, "value") == 0 ? 1 : 0);
  }
}

// Pointers a call may be given scratch for whatever it does with them:
// outputs of texts and numbers, number arrays read up to a count of 0.
template <typename T>
constexpr bool plain_pointer() {
  using U = std::remove_cv_t<std::remove_pointer_t<T>>;
  return !std::is_pointer_v<T> || std::is_same_v<U, char> || std::is_same_v<U, int32_t> ||
         std::is_same_v<U, uint32_t> || std::is_same_v<U, double> || std::is_same_v<T, tq_xmldoc*> ||
         std::is_same_v<T, tq_lock_handle*> || std::is_same_v<T, tq_vault_file*>;
}

constexpr size_t kMaxTexts = 16;

struct Row {
  const char* name;
  const char* table;
  const char* texts[kMaxTexts];  // the text inputs' names
  bool plain;                     // every pointer is plain_pointer
  int32_t (*call)(tq_context* ctx, const Args& a);
};

template <typename T>
constexpr const char* text_name(const char* name) {
  return std::is_same_v<T, const char*> ? name : nullptr;
}

#define TQ_K_ARG(p) , TQ_K_ARG_ p
#define TQ_K_ARG_(type, name, ...) pick<type>(#name, a)
#define TQ_K_A_ARG(a) TQ_T_PARAM(TQ_K_ARG, a)
#define TQ_K_TEXT(p) TQ_K_TEXT_ p
#define TQ_K_TEXT_(type, name, ...) text_name<type>(#name),
#define TQ_K_A_TEXT(a) TQ_T_PARAM(TQ_K_TEXT, a)
#define TQ_K_PLAIN(p) TQ_K_PLAIN_ p
#define TQ_K_PLAIN_(type, name, ...) &&plain_pointer<type>()
#define TQ_K_A_PLAIN(a) TQ_T_PARAM(TQ_K_PLAIN, a)
#undef TQ_FN
#undef TQ_FNK
#define TQ_FN(export_name, hold, edit, impl, ...)                                                    \
  Row{#export_name, kTable, {TQ_T_FOR_EACH(TQ_K_A_TEXT, __VA_ARGS__)},                             \
      true TQ_T_FOR_EACH(TQ_K_A_PLAIN, __VA_ARGS__), [](tq_context* ctx, const Args& a) -> int32_t { \
        (void)a;                                                                                     \
        return export_name(ctx TQ_T_FOR_EACH(TQ_K_A_ARG, __VA_ARGS__));                              \
      }},
#define TQ_FNK TQ_FN

// The tables of the exports that keep texts, and of those that only read
// theirs (the engines).
#define TQ_K_TABLE(t) []() { constexpr const char* kTable = #t; return std::vector<Row>{
#define TQ_K_END }; }()
const std::vector<std::vector<Row>> kKeeping = {
    TQ_K_TABLE(datatype)
#include "api/tables/datatype.def"
    TQ_K_END,
    TQ_K_TABLE(case_defn)
#include "api/tables/case_defn.def"
    TQ_K_END,
    TQ_K_TABLE(extract_defn)
#include "api/tables/extract_defn.def"
    TQ_K_END,
    TQ_K_TABLE(gender_defn)
#include "api/tables/gender_defn.def"
    TQ_K_END,
    TQ_K_TABLE(guess_defn)
#include "api/tables/guess_defn.def"
    TQ_K_END,
    TQ_K_TABLE(ident_defn)
#include "api/tables/ident_defn.def"
    TQ_K_END,
    TQ_K_TABLE(lang_defn)
#include "api/tables/lang_defn.def"
    TQ_K_END,
    TQ_K_TABLE(match_defn)
#include "api/tables/match_defn.def"
#include "api/tables/match_rule.def"
#include "api/tables/match_token.def"
    TQ_K_END,
    TQ_K_TABLE(parse_defn)
#include "api/tables/parse_defn.def"
    TQ_K_END,
    TQ_K_TABLE(patrn_defn)
#include "api/tables/patrn_defn.def"
    TQ_K_END,
    TQ_K_TABLE(stdzn_defn)
#include "api/tables/stdzn_defn.def"
    TQ_K_END,
    TQ_K_TABLE(chopper)
#include "api/tables/chopper.def"
    TQ_K_END,
    TQ_K_TABLE(grammar)
#include "api/tables/grammar.def"
    TQ_K_END,
    TQ_K_TABLE(phonetx)
#include "api/tables/phonetx.def"
    TQ_K_END,
    TQ_K_TABLE(regexlib)
#include "api/tables/regexlib.def"
    TQ_K_END,
    TQ_K_TABLE(scheme)
#include "api/tables/scheme.def"
    TQ_K_END,
    TQ_K_TABLE(vocab)
#include "api/tables/vocab.def"
    TQ_K_END,
    TQ_K_TABLE(xml)
#include "api/tables/xml.def"
    TQ_K_END,
    TQ_K_TABLE(vault)
#include "api/tables/vault.def"
    TQ_K_END,
    TQ_K_TABLE(locale)
#include "api/tables/encoding.def"
#include "api/tables/locale.def"
#include "api/tables/lock.def"
#include "api/tables/morph.def"
#include "api/tables/version.def"
    TQ_K_END,
};
const std::vector<std::vector<Row>> kReading = {
    TQ_K_TABLE(engines)
#include "api/tables/casing.def"
#include "api/tables/chop.def"
#include "api/tables/extract.def"
#include "api/tables/gender.def"
#include "api/tables/guess.def"
#include "api/tables/identify.def"
#include "api/tables/language_guess.def"
#include "api/tables/match.def"
#include "api/tables/match_multicode.def"
#include "api/tables/ngram.def"
#include "api/tables/parse.def"
#include "api/tables/pattern.def"
#include "api/tables/standardize.def"
    TQ_K_END,
};
#undef TQ_FN
#undef TQ_FNK

// The texts of the keeping tables that are not kept: names looked up
// (a copy's source, a deletion's name), paths and file names, texts only
// tried (a validation, a compile), a phonetics or scheme input. "export"
// for every text of the export, "export.param" for one.
const std::set<std::string> kNotKept = {
    // Looked up.
    "tq_datatype_index_get_by_name", "tq_datatype_copy.source", "tq_case_defn_index_get_by_name",
    "tq_nonsurfaced_case_defn_index_get_by_name", "tq_case_defn_copy.source", "tq_extraction_defn_index_get_by_name",
    "tq_extraction_defn_token_names_get", "tq_extraction_defn_token_key_get_by_name", "tq_extraction_defn_copy.sname",
    "tq_gender_defn_index_get_by_name", "tq_gender_defn_parse_defn_token_key_get_by_name",
    "tq_gender_defn_token_names_get", "tq_gender_defn_token_key_get_by_name", "tq_gender_defn_copy.source",
    "tq_guess_defn_index_get_by_name", "tq_guess_defn_copy.sname", "tq_identification_defn_index_get_by_name",
    "tq_identification_defn_copy.sname", "tq_lang_defn_index_get_by_name", "tq_lang_defn_copy.sname",
    "tq_match_defn_index_get_by_name", "tq_match_defn_parse_defn_token_key_get_by_name",
    "tq_match_defn_token_key_get_by_name", "tq_match_defn_token_names_get", "tq_match_defn_copy.source",
    "tq_match_defn_token_combination_rule_position_get", "tq_parse_defn_index_get_by_name",
    "tq_nonsurfaced_parse_defn_index_get_by_name", "tq_parse_defn_token_names_get",
    "tq_parse_defn_token_key_get_by_name", "tq_parse_defn_nosol_category_delete",
    "tq_parse_defn_nosol_token_delete", "tq_parse_defn_copy.source", "tq_patrn_defn_index_get_by_name",
    "tq_patrn_defn_copy.source", "tq_stdzn_defn_index_get_by_name", "tq_stdzn_defn_parse_defn_token_key_get_by_name",
    "tq_stdzn_defn_token_key_get_by_name", "tq_stdzn_defn_copy.source", "tq_chopper_index_get_by_name",
    "tq_chopper_rules_flag_id_get", "tq_grammar_index_get_by_name", "tq_regexlib_index_get_by_name",
    "tq_scheme_index_get_by_name", "tq_scheme_entry_delete", "tq_vocab_index_get_by_name",
    "tq_vocabulary_likelihood_value_get_by_name", "tq_xml_getprop", "tq_xml_setprop.name", "tq_encoding_get_by_name",
    "tq_locale_code_get_by_description", "tq_locale_code_get_by_iso_name", "tq_locale_get_iso_name_from_filename",
    "tq_locale_get_file_name", "tq_parent_locale_nonloaded_get_from_file",
    "tq_morph_analyzer_info_cat_regex_info_get", "tq_zel_product_code_get_by_name",
    "tq_zel_product_code_get_by_abbrev", "tq_zel_file_is_loaded",
    // Paths and files.
    "tq_chopper_edit_new.path", "tq_grammar_edit_new.path",
    "tq_phonetx_edit_new.path", "tq_regexlib_edit_new.path", "tq_scheme_create.path", "tq_vocab_edit_new.path",
    "tq_vocab_file_convert", "tq_xml_read", "tq_xml_write", "tq_file_exists", "tq_zel_vlt_file_open",
    "tq_zel_vlt_file_edit", "tq_lock_create",
    // Tried, not kept.
    "tq_chopper_rule_flag_name_validate", "tq_chopper_rule_validate", "tq_regexlib_regex_compile",
    // Values.
    "tq_phonetx_execute", "tq_regexlib_match", "tq_regexlib_match_and_replace", "tq_transf_scheme_apply",
    "tq_transf_scheme_apply_mult_out"};

bool kept(const Row& row, const char* param) {
  return kNotKept.count(row.name) == 0 && kNotKept.count(std::string(row.name) + "." + param) == 0;
}

// The characters and where the message says they are.
struct Flaw {
  const char* text;
  const char* said;
};
constexpr Flaw kFlaws[] = {
    {"x\xEF\xBF\xBEy", "a text holding U+FFFE at character 2 (counted from 1)"},
    {"xyz\xEF\xBF\xBF", "a text holding U+FFFF at character 4 (counted from 1)"},
    {"x\xF4\x8F\xBF\xBFyz", "a text holding U+10FFFF at character 2 (counted from 1)"},
    {"\xF4\x8F\xBC\x81", "a text holding U+10FF01 at character 1 (counted from 1)"},
};

// The family's record a row's index names, by the export's prefix.
struct Target {
  const char* prefix;
  int32_t index;
};

// The sample knowledge base in edit mode with ENUSA loaded whole, a
// resource of each kind opened for editing, a document and a vault file;
// everything they write goes under the copy's root.
class Kb {
 public:
  tq_test::SampleKbCopy dir;
  Context ctx{dir.path().c_str(), true};
  std::vector<Target> targets;
  tq_xmldoc* doc = nullptr;
  tq_vault_file* vault = nullptr;
  tq_lock_handle* spare = nullptr;  // given to the rows that take a handle

  Kb() {
    EXPECT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
    EXPECT_EQ(tq_zel_locale_load(ctx, tq_test::kSampleEnusa, tq_test::kEveryPart), 0) << tq_test::error_list_text(ctx);
    defn("tq_case_defn_", tq_case_defn_index_get_by_name, "Name");
    defn("tq_extraction_defn_", tq_extraction_defn_index_get_by_name, "Contact");
    defn("tq_gender_defn_", tq_gender_defn_index_get_by_name, "Name");
    defn("tq_guess_defn_", tq_guess_defn_index_get_by_name, "Language");
    defn("tq_identification_defn_", tq_identification_defn_index_get_by_name, "Name");
    defn("tq_lang_defn_", tq_lang_defn_index_get_by_name, "English");
    defn("tq_match_defn_", tq_match_defn_index_get_by_name, "Name");
    defn("tq_parse_defn_", tq_parse_defn_index_get_by_name, "Name");
    defn("tq_patrn_defn_", tq_patrn_defn_index_get_by_name, "Pattern");
    defn("tq_stdzn_defn_", tq_stdzn_defn_index_get_by_name, "Name");
    defn("tq_datatype_", tq_datatype_index_get_by_name, "Name");
    int32_t i = -1;
    EXPECT_TQ_OK(ctx, tq_chopper_edit(ctx, "en_name", lock(kChopper), &i));
    targets.push_back({"tq_chopper_", i});
    EXPECT_TQ_OK(ctx, tq_grammar_edit(ctx, "en_person", lock(kGrammar), &i));
    targets.push_back({"tq_grammar_", i});
    EXPECT_TQ_OK(ctx, tq_regexlib_load(ctx, "en_initial", lock(kRegexlib), &i));
    targets.push_back({"tq_regexlib_", i});
    EXPECT_TQ_OK(ctx, tq_scheme_load_edit(ctx, "en_nickname", lock(kScheme), &i));
    targets.push_back({"tq_scheme_", i});
    EXPECT_TQ_OK(ctx, tq_vocabulary_load(ctx, "en_gender", lock(kVocab), &i));
    targets.push_back({"tq_vocab", i});
    EXPECT_TQ_OK(ctx, tq_phonetx_load(ctx, "en_name_sound", &i));
    EXPECT_TQ_OK(ctx, tq_lock_create(ctx, "en_name_sound", 7, lock(kPhonetx), nullptr));
    targets.push_back({"tq_phonetx_", i});
    EXPECT_TQ_OK(ctx, tq_xml_create(ctx, "Plain", "7.0", &doc));
    EXPECT_TQ_OK(ctx, tq_xml_addprop(ctx, doc, "Name", "plain"));
    EXPECT_TQ_OK(ctx, tq_zel_vlt_file_edit(ctx, "fr.loc", 7, &vault));
    EXPECT_EQ(tq_lock_init(ctx, &spare), 0);
  }
  ~Kb() {
    tq_xml_free(ctx, doc);
    if (vault != nullptr) tq_zel_vlt_file_close(ctx, vault);
    for (tq_lock_handle* l : locks_) tq_lock_free(ctx, l);
    tq_lock_free(ctx, spare);
  }

  int32_t index_for(const std::string& name) const {
    for (const Target& t : targets) {
      if (name.rfind(t.prefix, 0) == 0) return t.index;
    }
    return 0;
  }

  // Writes everything the rows could change and reads back every file of
  // the copy.
  std::map<std::string, std::string> written() {
    for (const auto& [code, file] : {std::pair{tq_test::kSampleEn, "en.loc"}, std::pair{tq_test::kSampleEnusa, "enusa.loc"}}) {
      tq_lock_handle* l = nullptr;
      EXPECT_EQ(tq_lock_init(ctx, &l), 0);
      int32_t rc = tq_lock_create(ctx, file, 7, l, nullptr);
      if (rc == 0) rc = tq_locale_write(ctx, code, l);
      EXPECT_GE(rc, 0) << file << "\n" << tq_test::error_list_text(ctx);
      tq_lock_free(ctx, l);
    }
    EXPECT_TQ_OK(ctx, tq_chopper_save(ctx, index_for("tq_chopper_"), locks_[kChopper]));
    EXPECT_TQ_OK(ctx, tq_grammar_save(ctx, index_for("tq_grammar_"), locks_[kGrammar]));
    EXPECT_TQ_OK(ctx, tq_regexlib_save(ctx, index_for("tq_regexlib_"), locks_[kRegexlib]));
    EXPECT_TQ_OK(ctx, tq_scheme_write(ctx, index_for("tq_scheme_"), locks_[kScheme]));
    EXPECT_TQ_OK(ctx, tq_vocab_save(ctx, index_for("tq_vocab"), locks_[kVocab]));
    EXPECT_TQ_OK(ctx, tq_phonetx_save(ctx, index_for("tq_phonetx_"), locks_[kPhonetx]));
    EXPECT_TQ_OK(ctx, tq_xml_write(ctx, 0, (dir.path() / "plain.xml").string().c_str(), 8, doc));
    EXPECT_TQ_OK(ctx, tq_zel_vlt_file_write(ctx, vault));
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
      if (e.is_regular_file() && e.path().extension() != ".lck") {
        files[fs::relative(e.path(), dir.path()).string()] = tq_test::read_file(e.path());
      }
    }
    return files;
  }

 private:
  enum { kChopper, kGrammar, kRegexlib, kScheme, kVocab, kPhonetx, kLocks };
  tq_lock_handle* locks_[kLocks] = {};
  tq_lock_handle* lock(int k) {
    EXPECT_EQ(tq_lock_init(ctx, &locks_[k]), 0);
    return locks_[k];
  }
  void defn(const char* prefix, int32_t (*find)(tq_context*, const char*, int32_t*), const char* name) {
    int32_t i = -1;
    EXPECT_TQ_OK(ctx, find(ctx, name, &i));
    targets.push_back({prefix, i});
  }
};

// The files that differ between two readings of the copy.
std::string changed(const std::map<std::string, std::string>& before, const std::map<std::string, std::string>& after) {
  std::string out;
  for (const auto& [file, bytes] : after) {
    auto it = before.find(file);
    if (it == before.end() || it->second != bytes) out += " " + file;
  }
  for (const auto& [file, bytes] : before) {
    if (after.count(file) == 0) out += " " + file + " (gone)";
  }
  return out;
}

TEST(KeptTexts, EveryExportKeepingATextRefusesWhatNoFileCanHold) {
  Kb kb;
  const auto start = kb.written();
  ASSERT_FALSE(start.empty());
  { auto again = kb.written(); EXPECT_EQ(changed(start, again), "") << "TWICE"; auto a3 = kb.written(); EXPECT_EQ(changed(again, a3), "") << "THRICE"; }
  auto before = start;
  size_t refusals = 0;
  for (const std::vector<Row>& table : kKeeping) {
    std::string rows;
    for (const Row& row : table) {
      for (const char* param : row.texts) {
        if (param == nullptr || !kept(row, param)) continue;
        rows += std::string(" ") + row.name;
        for (const Flaw& flaw : kFlaws) {
          const Args args{param, flaw.text, kb.index_for(row.name), kb.doc, kb.spare, kb.vault};
          const int32_t rc = row.call(kb.ctx, args);
          const std::string said = tq_test::error_list_text(kb.ctx);
          const std::string expected = std::string(row.name) + " was given " + flaw.said;
          EXPECT_EQ(rc, TQ_ERR_ARGUMENT) << row.name << "." << param << "\n" << said;
          EXPECT_NE(said.find(expected), std::string::npos) << row.name << "." << param << "\n" << said;
          ++refusals;
        }
      }
    }
    if (rows.empty()) continue;
    const auto after = kb.written();
    EXPECT_EQ(changed(before, after), "") << "changed by a refused call of table " << table.front().table << ":" << rows;
    before = after;
  }
  EXPECT_GT(refusals, 1000u);
}

TEST(KeptTexts, TextsNotKeptAreTakenAsTheyAre) {
  Kb kb;
  for (const auto* tables : {&kKeeping, &kReading}) {
    for (const std::vector<Row>& table : *tables) {
      for (const Row& row : table) {
        if (!row.plain) continue;
        for (const char* param : row.texts) {
          if (param == nullptr || (tables == &kKeeping && kept(row, param))) continue;
          for (const Flaw& flaw : kFlaws) {
            const Args args{param, flaw.text, kb.index_for(row.name), kb.doc, kb.spare, kb.vault};
            (void)row.call(kb.ctx, args);
            const std::string said = tq_test::error_list_text(kb.ctx);
            EXPECT_EQ(said.find("was given a text holding"), std::string::npos) << row.name << "." << param << "\n" << said;
          }
        }
      }
    }
  }
}

// The check is made on the text as it would be kept, in UTF-8: a UCS-2
// session can give U+FFFE and U+FFFF (placed as in any other session); the
// single-byte encodings cannot, and their bytes FE and FF are characters
// like any other. The vault family's texts are UTF-8 as given, unconverted:
// a byte that is not UTF-8 is refused as well (a converted text has it
// replaced, or refused under TQ_OPT_STRICT_CONVERSION).
TEST(KeptTexts, CheckedAsKeptWhateverTheSessionEncoding) {
  Kb kb;
  tq_xmldoc* doc = kb.doc;
  EXPECT_EQ(tq_session_encoding_set(kb.ctx, TQ_ENC_ISO_8859_1), 0);
  EXPECT_TQ_OK(kb.ctx, tq_xml_addprop(kb.ctx, doc, "Latin", "x\xFE\xFFy"));
  for (uint32_t enc : {TQ_ENC_UCS2_LE, TQ_ENC_UCS2_BE}) {
    ASSERT_EQ(tq_session_encoding_set(kb.ctx, enc), 0);
    const bool le = enc == TQ_ENC_UCS2_LE;
    auto unit = [le](uint16_t u) {
      const char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
      return le ? std::string{lo, hi} : std::string{hi, lo};
    };
    const std::string name = unit('N') + unit(0);
    for (const auto& [code, said] : {std::pair{0xFFFE, "U+FFFE"}, std::pair{0xFFFF, "U+FFFF"}}) {
      const std::string value = unit('x') + unit('y') + unit(static_cast<uint16_t>(code)) + unit(0);
      EXPECT_EQ(tq_xml_addprop(kb.ctx, doc, name.c_str(), value.c_str()), TQ_ERR_ARGUMENT);
      if (!le) continue;  // the helper reads little-endian records
      const std::string text = tq_test::ucs2_error_text(kb.ctx, 0);
      EXPECT_NE(text.find(std::string("tq_xml_addprop was given a text holding ") + said + " at character 3"),
                std::string::npos)
          << text;
    }
  }
  ASSERT_EQ(tq_session_encoding_set(kb.ctx, TQ_ENC_UTF8), 0);
  char got[2000] = "";
  EXPECT_TQ_OK(kb.ctx, tq_xml_getprop(kb.ctx, doc, "Latin", got));
  EXPECT_STREQ(got, "x\xC3\xBE\xC3\xBFy");
  EXPECT_TQ_OK(kb.ctx, tq_xml_getprop(kb.ctx, doc, "N", got));
  EXPECT_STREQ(got, "");

  // The texts reached through a record's fields and a reference's value.
  const fs::path layout = kb.dir.path() / "layout.xml";
  {
    std::FILE* f = std::fopen(layout.string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("<krxml><file type=\"T\" version=\"7.0\"><data length=\"0\"><layout width=\"1\">"
               "<column type=\"string\">C</column></layout></data></file></krxml>",
               f);
    std::fclose(f);
  }
  tq_xmldoc* table = nullptr;
  ASSERT_TQ_OK(kb.ctx, tq_xml_read(kb.ctx, layout.string().c_str(), 8, &table));
  const tq_xml_field field{1, kFlaws[0].text, 0};
  EXPECT_EQ(tq_xml_addrec(kb.ctx, table, "k", nullptr, &field), TQ_ERR_ARGUMENT);
  EXPECT_NE(tq_test::error_list_text(kb.ctx).find(std::string("tq_xml_addrec was given ") + kFlaws[0].said),
            std::string::npos);
  EXPECT_EQ(tq_xml_addref(kb.ctx, table, "R", 2, const_cast<char*>(kFlaws[2].text)), TQ_ERR_ARGUMENT);
  EXPECT_NE(tq_test::error_list_text(kb.ctx).find(std::string("tq_xml_addref was given ") + kFlaws[2].said),
            std::string::npos);
  tq_xml_free(kb.ctx, table);

  EXPECT_EQ(tq_zel_vlt_file_desc_set(kb.ctx, kb.vault, "ab\xC3("), TQ_ERR_ARGUMENT);
  const std::string said = tq_test::error_list_text(kb.ctx);
  EXPECT_NE(said.find("tq_zel_vlt_file_desc_set was given a text holding the byte 0xC3 at character 3 (counted "
                      "from 1), which is not UTF-8"),
            std::string::npos)
      << said;
  EXPECT_TQ_OK(kb.ctx, tq_zel_vlt_file_desc_get(kb.ctx, kb.vault, got));
  EXPECT_EQ(std::string(got).find("ab"), std::string::npos);
}

// Base64 of a text, as compiled vocabularies keep their texts.
std::string base64(const std::string& in) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t n = static_cast<uint32_t>(static_cast<unsigned char>(in[i])) << 16;
    if (i + 1 < in.size()) n |= static_cast<uint32_t>(static_cast<unsigned char>(in[i + 1])) << 8;
    if (i + 2 < in.size()) n |= static_cast<unsigned char>(in[i + 2]);
    out += kDigits[(n >> 18) & 63];
    out += kDigits[(n >> 12) & 63];
    out += i + 1 < in.size() ? kDigits[(n >> 6) & 63] : '=';
    out += i + 2 < in.size() ? kDigits[n & 63] : '=';
  }
  return out;
}

std::string hex8(uint32_t n) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", n);
  return text;
}

// A compiled vocabulary of ENUSA with the category NAME and the words
// given (likelihood 50), as any program may write one.
std::string compiled_vocab(const std::vector<std::string>& words) {
  constexpr uint32_t kCategorySize = 64;
  constexpr uint32_t kEntrySize = 96;
  auto padded = [](std::string record, uint32_t size) {
    record.resize(size, ' ');
    return record;
  };
  std::string file = hex8(1) + hex8(static_cast<uint32_t>(words.size())) + hex8(kCategorySize) + hex8(kEntrySize);
  file += padded(base64("NAME") + '\0' + base64("Name") + '\0', kCategorySize);
  for (const std::string& w : words) file += padded(hex8(50) + base64(w) + '\0' + base64("NAME") + '\0', kEntrySize);
  file += hex8(tq_test::kSampleEnusa) + hex8(0) + std::string(87, ' ') + hex8(TQ_ENC_UTF8);
  return file + std::string(2048, '\0');
}

// What a compiled vocabulary brings in was never given to a setter: the
// writer refuses a file its reader would refuse or read back changed,
// names the file and the text, and leaves the file as it was.
TEST(KeptTexts, WritersRefuseWhatCameInAnotherWay) {
  tq_test::TempDir dir;
  fs::create_directories(dir / "vocab");
  Context ctx(dir.str().c_str(), true);
  struct Case {
    const char* name;
    std::string word;
    const char* said;
  };
  const Case cases[] = {
      {"nonchar", "AB\xEF\xBF\xBF", "holds U+FFFF at character 3 (counted from 1, after 'AB'), which is not a character"},
      {"reserved", "X\xF4\x8F\xBF\xBFYZ", "holds U+10FFFF at character 2 (counted from 1, after 'X'), which knowledge-base "
                                         "files keep for the control bytes they carry"},
      {"control", "\xF4\x8F\xBC\x81", "holds U+10FF01 at character 1 (counted from 1, after '')"},
      {"broken", "ABC\xC3(", "holds the byte 0xC3 at character 4 (counted from 1, after 'ABC'), which is not UTF-8"},
  };
  for (const Case& c : cases) {
    dir.write(std::string("vocab/") + c.name + ".zev", compiled_vocab({"GOOD", c.word}));
    const fs::path xml = dir.write(std::string("vocab/") + c.name + ".xml", "as it was");
    EXPECT_EQ(tq_vocab_file_convert(ctx, 1, c.name, c.name), TQ_ERR_INVALID_CONTENT) << c.name;
    const std::string said = tq_test::error_list_text(ctx);
    EXPECT_NE(said.find("The file '" + xml.string() + "' is not written: a text of it " + c.said), std::string::npos)
        << said;
    EXPECT_NE(said.find("The file is left as it was."), std::string::npos) << said;
    EXPECT_EQ(tq_test::read_file(xml), "as it was");
  }
  // Nothing else was left behind (no temporary file).
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(dir / "vocab")) files += e.path().extension() != ".lck" ? 1 : 0;
  EXPECT_EQ(files, 2 * std::size(cases));
  // A vocabulary without such words converts.
  dir.write("vocab/fine.zev", compiled_vocab({"GOOD", "x\xC3\xA9\x01y"}));
  EXPECT_TQ_OK(ctx, tq_vocab_file_convert(ctx, 1, "fine", "fine"));
  EXPECT_NE(tq_test::read_file(dir / "vocab" / "fine.xml").find("x\xC3\xA9&#x10ff01;y"), std::string::npos);
}

}  // namespace

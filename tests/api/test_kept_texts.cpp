// Texts no knowledge-base file can hold: U+FFFE and U+FFFF (not XML
// characters) and U+10FF00..U+10FFFF (how the format carries control bytes).
// Every framed export that keeps a caller's text, driven from the export
// tables, refuses them with -802 and a message naming the call, character
// and place, and changes no file; the texts it does not keep are taken.
#include <gtest/gtest.h>

#include <fnmatch.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
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
using tq_test::holds;
using tq_test::TextSaid;

// What a row's call is given: the text under test for the parameter of that
// name, `other` ("A" in the session encoding) for other texts; the record's index for the parameter naming the
// definition or resource; the test's document, lock and vault file; scratch
// for other pointers; 0 for other numbers but 1 for the flags that make a
// replacement name kept ("deprecated", "value").
struct Args {
  const char* bad_param;
  const char* bad_text;
  int32_t index;
  tq_xmldoc* doc;
  tq_lock_handle* lock;
  tq_vault_file* vault;
  const char* other = "A";
};

bool same(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

template <typename T>
T pick(const char* name, const Args& a) {
  if constexpr (std::is_same_v<T, const char*>) {
    return same(name, a.bad_param) ? a.bad_text : a.other;
  } else if constexpr (std::is_same_v<T, tq_xmldoc*>) {
    return a.doc;
  } else if constexpr (std::is_same_v<T, tq_lock_handle*>) {
    return a.lock;
  } else if constexpr (std::is_same_v<T, tq_vault_file*>) {
    return a.vault;
  } else if constexpr (std::is_pointer_v<T>) {
    // The text output of that name at the start, where it is read from.
    const bool read = std::is_same_v<T, char*> && same(name, a.bad_param);
    return reinterpret_cast<T>(static_cast<char*>(tq_export_guard::scratch()) + (read ? 0 : 1 << 15));
  } else if constexpr (std::is_same_v<T, int32_t>) {
    return same(name, "index") || same(name, "chopper") || same(name, "library") ? a.index : 0;
  } else {
    return static_cast<T>(same(name, "deprecated") || same(name, "value") ? 1 : 0);
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

struct Row {
  const char* name;
  const char* texts[16];  // the text inputs' names
  bool plain;             // every pointer is plain_pointer
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
#define TQ_FN(export_name, hold, edit, impl, ...)                                                   \
  Row{#export_name, {TQ_T_FOR_EACH(TQ_K_A_TEXT, __VA_ARGS__)}, true TQ_T_FOR_EACH(TQ_K_A_PLAIN, __VA_ARGS__), \
      [](tq_context* ctx, const Args& a) -> int32_t {                                               \
        (void)a;                                                                                    \
        return export_name(ctx TQ_T_FOR_EACH(TQ_K_A_ARG, __VA_ARGS__));                             \
      }},
#define TQ_FNK TQ_FN
// Each table in a function of its own; TQ_K_NEXT ends one and starts the next.
#define TQ_K_NEXT \
  };              \
  }(), []() { return std::vector<Row>{

// The tables of the exports that keep texts (what a refused call could
// change is checked after each), and the engines', which only read theirs.
const std::vector<std::vector<Row>> kKeeping = {[]() { return std::vector<Row>{
#include "api/tables/datatype.def"
TQ_K_NEXT
#include "api/tables/case_defn.def"
TQ_K_NEXT
#include "api/tables/extract_defn.def"
TQ_K_NEXT
#include "api/tables/gender_defn.def"
TQ_K_NEXT
#include "api/tables/guess_defn.def"
TQ_K_NEXT
#include "api/tables/ident_defn.def"
TQ_K_NEXT
#include "api/tables/lang_defn.def"
TQ_K_NEXT
#include "api/tables/match_defn.def"
#include "api/tables/match_rule.def"
#include "api/tables/match_token.def"
TQ_K_NEXT
#include "api/tables/parse_defn.def"
TQ_K_NEXT
#include "api/tables/patrn_defn.def"
TQ_K_NEXT
#include "api/tables/stdzn_defn.def"
TQ_K_NEXT
#include "api/tables/chopper.def"
TQ_K_NEXT
#include "api/tables/grammar.def"
TQ_K_NEXT
#include "api/tables/phonetx.def"
TQ_K_NEXT
#include "api/tables/regexlib.def"
TQ_K_NEXT
#include "api/tables/scheme.def"
TQ_K_NEXT
#include "api/tables/vocab.def"
TQ_K_NEXT
#include "api/tables/xml.def"
TQ_K_NEXT
#include "api/tables/vault.def"
TQ_K_NEXT
#include "api/tables/encoding.def"
#include "api/tables/locale.def"
#include "api/tables/lock.def"
#include "api/tables/morph.def"
#include "api/tables/version.def"
};}()};
const std::vector<Row> kReading = {
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

// The longest text each kept parameter takes, in bytes once in UTF-8, as
// tq.h gives it: the first row with a pattern ("export.param", '*' for any
// run) that matches. kWhole: kept whole at any length.
constexpr uint32_t kWhole = UINT32_MAX;
struct Limit {
  uint32_t bytes;
  const char* patterns;
};
constexpr Limit kLimits[] = {
    {kWhole, "tq_xml_*"},  // a document's texts
    {128, "tq_chopper_rules_init_flag_add.name tq_chopper_rule_output_flag_add.name"},  // a flag name
    {1024, "tq_zel_vlt_file_* tq_chopper_*.category tq_chopper_*.cat tq_parse_defn_nosol_*.name *.tname"},
    {4, "tq_gender_defn_*.value"},
    {20, "*_locale_info_set.iso tq_locale_props_noload_set.iso"},
    {64, "*_sep_set.sep *_separator_set.separator"},
    {80, "tq_gender_defn_token_category_add.abbrev"},
    {83, "tq_chopper_table_char_metadata_set.desc"},
    {256, "tq_grammar_category_add.name tq_match_defn_token_combination_rule_condition_*.cat"},
    {320, "*.owner *.replacement *_locale_info_set.desc *_defn_name_set.name *_defn_add.name *_copy.dest "
          "*_copy.dname tq_datatype_name_set.name tq_datatype_add.name *_token_name_set.name *_token_add.name "
          "*.token"},
    {127, "tq_identification_defn_value_add.value *.id_val *.identity"},
    {128, "*.cat_abbr *.abbr *.category *.root_cat *.sought_cat *.cname *.abbrev"},
    // The name a load registers, and a resource a definition names.
    {1024, "tq_grammar_load.name tq_grammar_edit*.name tq_grammar_create.name tq_phonetx_load.name "
           "tq_phonetx_edit*.name tq_phonetx_create.name "
           "tq_vocabulary_load.name tq_*scheme_load*.scheme_name tq_scheme_chopper_name_set.name "
           "tq_*_defn_*.name tq_*_defn_*.rlib_name tq_*_defn_*.sch_name tq_*_defn_*.grammar_name "
           "tq_*_defn_*.scheme tq_*_defn_*.filename"},
    {16384, "tq_regexlib_edit_new.name tq_regexlib_element_info_set.*"},
    {1024, "*_vault_info_set.* *.desc *.value *.position *.vocab *.data *.standard *.rule_text *.replace_text "
           "tq_datatype_example_set.example tq_chopper_*.name tq_grammar_edit_new.name tq_regexlib_*.name "
           "tq_scheme_create*.scheme_name tq_vocab_edit_*"},
    {4096, "tq_chopper_*.regex tq_chopper_*.prereq tq_chopper_*.flags tq_chopper_*.notes"},
};

// The kept categories a setter uppercases, which uppercasing can lengthen
// past their limit: refused as the length once uppercased, never cut.
constexpr const char* kUppercased =
    "*.cat_abbr tq_*_defn_*.category *.cname *.sought_cat *.root_cat tq_parse_defn_*.abbr tq_grammar_category_add.abbrev "
    "tq_vocab_edit_category_set.abbrev";

bool matches(const char* patterns, const std::string& key) {
  std::istringstream words(patterns);
  for (std::string p; words >> p;) {
    if (fnmatch(p.c_str(), key.c_str(), 0) == 0) return true;
  }
  return false;
}

// The getters, and their outputs, that read what a setter keeps, where
// their names do not say so.
const std::map<std::string, std::string> kGetters = {
    {"tq_vocab_edit_category_set.name", "tq_vocab_category_get.category"},
    {"tq_vocab_edit_category_set.abbrev", "tq_vocab_category_get.abbrev"},
};

uint32_t limit_of(const Row& row, const char* param) {
  const std::string key = std::string(row.name) + "." + param;
  for (const Limit& limit : kLimits) {
    if (matches(limit.patterns, key)) return limit.bytes;
  }
  return 0;
}

// The characters and where the message says they are.
constexpr TextSaid kFlaws[] = {
    {"x\xEF\xBF\xBEy", "a text holding U+FFFE at character 2 (counted from 1)"},
    {"xyz\xEF\xBF\xBF", "a text holding U+FFFF at character 4 (counted from 1)"},
    {"x\xF4\x8F\xBF\xBFyz", "a text holding U+10FFFF at character 2 (counted from 1)"},
    {"\xF4\x8F\xBC\x81", "a text holding U+10FF01 at character 1 (counted from 1)"},
};

using Files = std::map<std::string, std::string>;

// The sample knowledge base in edit mode with ENUSA loaded whole, a record
// of each definition and resource kind open for editing (a row's index is
// its family's, told by the export's prefix), a document and a vault file;
// everything they write goes under the copy's root.
class Kb {
 public:
  tq_test::SampleKbCopy dir;
  Context ctx{dir.path().c_str(), true};
  tq_xmldoc* doc = nullptr;
  tq_vault_file* vault = nullptr;
  tq_lock_handle* spare = nullptr;  // given to the rows that take a handle

  Kb() {
    EXPECT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
    EXPECT_EQ(tq_zel_locale_load(ctx, tq_test::kSampleEnusa, tq_test::kEveryPart), 0) << tq_test::error_list_text(ctx);
    const struct {
      const char* prefix;
      int32_t (*find)(tq_context*, const char*, int32_t*);
      const char* name;
    } defns[] = {
        {"tq_case_defn_", tq_case_defn_index_get_by_name, "Name"},
        {"tq_extraction_defn_", tq_extraction_defn_index_get_by_name, "Contact"},
        {"tq_gender_defn_", tq_gender_defn_index_get_by_name, "Name"}, {"tq_guess_defn_", tq_guess_defn_index_get_by_name, "Language"},
        {"tq_identification_defn_", tq_identification_defn_index_get_by_name, "Name"},
        {"tq_lang_defn_", tq_lang_defn_index_get_by_name, "English"}, {"tq_match_defn_", tq_match_defn_index_get_by_name, "Name"},
        {"tq_parse_defn_", tq_parse_defn_index_get_by_name, "Name"}, {"tq_patrn_defn_", tq_patrn_defn_index_get_by_name, "Pattern"},
        {"tq_stdzn_defn_", tq_stdzn_defn_index_get_by_name, "Name"}, {"tq_datatype_", tq_datatype_index_get_by_name, "Name"}};
    for (const auto& d : defns) {
      EXPECT_TQ_OK(ctx, d.find(ctx, d.name, &targets_.emplace_back(Target{d.prefix}).index));
    }
    const struct {
      const char* prefix;
      int32_t (*open)(tq_context*, const char*, tq_lock_handle*, int32_t*);
      const char* name;
      Save save;
    } resources[] = {{"tq_chopper_", tq_chopper_edit, "en_name", tq_chopper_save},
                     {"tq_grammar_", tq_grammar_edit, "en_person", tq_grammar_save},
                     {"tq_regexlib_", tq_regexlib_load, "en_initial", tq_regexlib_save},
                     {"tq_scheme_", tq_scheme_load_edit, "en_nickname", tq_scheme_write},
                     {"tq_vocab", tq_vocabulary_load, "en_gender", tq_vocab_save}};
    for (const auto& r : resources) {
      Target& t = targets_.emplace_back(Target{r.prefix, -1, nullptr, r.save});
      EXPECT_EQ(tq_lock_init(ctx, &t.lock), 0);
      EXPECT_TQ_OK(ctx, r.open(ctx, r.name, t.lock, &t.index));
    }
    Target& p = targets_.emplace_back(Target{"tq_phonetx_", -1, nullptr, tq_phonetx_save});
    EXPECT_EQ(tq_lock_init(ctx, &p.lock), 0);
    EXPECT_TQ_OK(ctx, tq_phonetx_load(ctx, "en_name_sound", &p.index));
    EXPECT_TQ_OK(ctx, tq_lock_create(ctx, "en_name_sound", 7, p.lock, nullptr));
    EXPECT_TQ_OK(ctx, tq_xml_create(ctx, "Plain", "7.0", &doc));
    EXPECT_TQ_OK(ctx, tq_xml_addprop(ctx, doc, "Name", "plain"));
    EXPECT_TQ_OK(ctx, tq_zel_vlt_file_edit(ctx, "fr.loc", 7, &vault));
    EXPECT_EQ(tq_lock_init(ctx, &spare), 0);
  }
  ~Kb() {
    tq_xml_free(ctx, doc);
    if (vault != nullptr) tq_zel_vlt_file_close(ctx, vault);
    for (const Target& t : targets_) {
      if (t.lock != nullptr) tq_lock_free(ctx, t.lock);
    }
    tq_lock_free(ctx, spare);
  }

  // The row's call with `text` for its parameter `param` (`other` for its
  // other texts).
  int32_t call(const Row& row, const char* param, const char* text, const char* other = "A") {
    int32_t index = 0;
    for (const Target& t : targets_) {
      if (std::string(row.name).rfind(t.prefix, 0) == 0) {
        index = t.index;
        break;
      }
    }
    return row.call(ctx, {param, text, index, doc, spare, vault, other});
  }

  // Writes everything the rows could change and reads back every file of
  // the copy.
  Files written() {
    for (const auto& [code, file] : {std::pair{tq_test::kSampleEn, "en.loc"}, std::pair{tq_test::kSampleEnusa, "enusa.loc"}}) {
      tq_lock_handle* l = nullptr;
      EXPECT_EQ(tq_lock_init(ctx, &l), 0);
      int32_t rc = tq_lock_create(ctx, file, 7, l, nullptr);
      if (rc == 0) rc = tq_locale_write(ctx, code, l);
      EXPECT_GE(rc, 0) << file << "\n" << tq_test::error_list_text(ctx);
      tq_lock_free(ctx, l);
    }
    for (const Target& t : targets_) {
      SCOPED_TRACE(t.prefix);
      if (t.save != nullptr) EXPECT_TQ_OK(ctx, t.save(ctx, t.index, t.lock));
    }
    EXPECT_TQ_OK(ctx, tq_xml_write(ctx, 0, (dir.path() / "plain.xml").string().c_str(), 8, doc));
    EXPECT_TQ_OK(ctx, tq_zel_vlt_file_write(ctx, vault));
    Files files;
    for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
      if (e.is_regular_file() && e.path().extension() != ".lck") {
        files[fs::relative(e.path(), dir.path()).string()] = tq_test::read_file(e.path());
      }
    }
    return files;
  }

 private:
  using Save = int32_t (*)(tq_context*, int32_t, tq_lock_handle*);
  struct Target {
    const char* prefix;
    int32_t index = -1;
    tq_lock_handle* lock = nullptr;
    Save save = nullptr;  // the resource's writer
  };
  std::vector<Target> targets_;
};

// The files that differ between two readings of the copy.
std::string changed(const Files& before, const Files& after) {
  std::string out;
  for (const auto& [file, bytes] : after) {
    if (auto it = before.find(file); it == before.end() || it->second != bytes) out += " " + file;
  }
  for (const auto& [file, bytes] : before) {
    if (after.count(file) == 0) out += " " + file + " (gone)";
  }
  return out;
}

// Each kept text, given each flaw, gives -802 and the message; no table's
// refused calls change a file (and writing again changes none either).
TEST(KeptTexts, EveryExportKeepingATextRefusesWhatNoFileCanHold) {
  Kb kb;
  Files before = kb.written();
  ASSERT_FALSE(before.empty());
  for (const char* when : {"TWICE", "THRICE"}) {
    Files again = kb.written();
    EXPECT_EQ(changed(before, again), "") << when;
    before = std::move(again);
  }
  size_t refusals = 0;
  for (const std::vector<Row>& table : kKeeping) {
    std::string rows;
    for (const Row& row : table) {
      for (const char* param : row.texts) {
        if (param == nullptr || !kept(row, param)) continue;
        rows += std::string(" ") + row.name;
        for (const TextSaid& flaw : kFlaws) {
          if (std::strlen(flaw.text) > limit_of(row, param)) continue;  // refused for its length
          const int32_t rc = kb.call(row, param, flaw.text);
          const std::string said = tq_test::error_list_text(kb.ctx);
          EXPECT_EQ(rc, TQ_ERR_ARGUMENT) << row.name << "." << param << "\n" << said;
          EXPECT_TRUE(holds(said, std::string(row.name) + " was given " + flaw.said)) << row.name << "." << param;
          ++refusals;
        }
      }
    }
    if (rows.empty()) continue;
    Files after = kb.written();
    EXPECT_EQ(changed(before, after), "") << "changed by a refused call of" << rows;
    before = std::move(after);
  }
  EXPECT_GT(refusals, 1000u);
}

// The texts not kept, and the engines' texts, are not refused.
TEST(KeptTexts, TextsNotKeptAreTakenAsTheyAre) {
  Kb kb;
  auto take = [&kb](const Row& row, bool keeping) {
    for (const char* param : row.texts) {
      if (!row.plain || param == nullptr || (keeping && kept(row, param))) continue;
      for (const TextSaid& flaw : kFlaws) {
        (void)kb.call(row, param, flaw.text);
        const std::string said = tq_test::error_list_text(kb.ctx);
        EXPECT_EQ(said.find("was given a text holding"), std::string::npos) << row.name << "." << param << "\n" << said;
      }
    }
  };
  for (const std::vector<Row>& table : kKeeping) {
    for (const Row& row : table) take(row, true);
  }
  for (const Row& row : kReading) take(row, false);
}

// The check is made on the text as kept, in UTF-8: a UCS-2 session can give
// U+FFFE and U+FFFF, single-byte ones cannot (FE and FF are characters); a
// record's fields and a reference's value are checked too; the vault
// family's texts are UTF-8 as given, so a byte that is not UTF-8 is refused.
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
      EXPECT_TRUE(holds(tq_test::ucs2_error_text(kb.ctx, 0),
                        std::string("tq_xml_addprop was given a text holding ") + said + " at character 3"));
    }
  }
  ASSERT_EQ(tq_session_encoding_set(kb.ctx, TQ_ENC_UTF8), 0);
  char got[2000] = "";
  EXPECT_TQ_OK(kb.ctx, tq_xml_getprop(kb.ctx, doc, "Latin", got));
  EXPECT_STREQ(got, "x\xC3\xBE\xC3\xBFy");
  EXPECT_TQ_OK(kb.ctx, tq_xml_getprop(kb.ctx, doc, "N", got));
  EXPECT_STREQ(got, "");

  const fs::path layout = kb.dir.write("layout.xml",
                                       "<krxml><file type=\"T\" version=\"7.0\"><data length=\"0\"><layout width=\"1\">"
                                       "<column type=\"string\">C</column></layout></data></file></krxml>");
  tq_xmldoc* table = nullptr;
  ASSERT_TQ_OK(kb.ctx, tq_xml_read(kb.ctx, layout.string().c_str(), 8, &table));
  const tq_xml_field field{1, kFlaws[0].text, 0};
  EXPECT_EQ(tq_xml_addrec(kb.ctx, table, "k", nullptr, &field), TQ_ERR_ARGUMENT);
  EXPECT_TRUE(holds(tq_test::error_list_text(kb.ctx), std::string("tq_xml_addrec was given ") + kFlaws[0].said));
  EXPECT_EQ(tq_xml_addref(kb.ctx, table, "R", 2, const_cast<char*>(kFlaws[2].text)), TQ_ERR_ARGUMENT);
  EXPECT_TRUE(holds(tq_test::error_list_text(kb.ctx), std::string("tq_xml_addref was given ") + kFlaws[2].said));
  tq_xml_free(kb.ctx, table);

  EXPECT_EQ(tq_zel_vlt_file_desc_set(kb.ctx, kb.vault, "ab\xC3("), TQ_ERR_ARGUMENT);
  EXPECT_TRUE(holds(tq_test::error_list_text(kb.ctx), "tq_zel_vlt_file_desc_set was given a text holding the byte 0xC3 at "
                                                      "character 3 (counted from 1), which is not UTF-8"));
  EXPECT_TQ_OK(kb.ctx, tq_zel_vlt_file_desc_get(kb.ctx, kb.vault, got));
  EXPECT_EQ(std::string(got).find("ab"), std::string::npos);
}

// A kept text of exactly `bytes` bytes in UTF-8: a tag telling it from the
// others, as many U+20AC (3 bytes) as fit, then "X" to the end (at least
// two). One past it ends two bytes earlier with a U+20AC: one byte too
// long, the limit falling inside its last character.
std::string at_limit(uint32_t tag, uint32_t bytes) {
  std::string text = "K" + std::to_string(tag) + "K";
  while (text.size() + 3 + 2 <= bytes) text += "\xE2\x82\xAC";
  return text.append(bytes - text.size(), 'X');
}
std::string past_limit(const std::string& at) { return at.substr(0, at.size() - 2) + "\xE2\x82\xAC"; }
// The kept texts that are lists of flag names, each name at most 128 bytes.
constexpr const char* kFlagLists = "tq_chopper_*.prereq tq_chopper_*.flags";
// A list of flag names of exactly `bytes` bytes in UTF-8, as at_limit ends:
// names of 99 bytes, the first with the tag, joined by `sep`.
std::string names_at_limit(uint32_t tag, uint32_t bytes, char sep) {
  std::string text = "K" + std::to_string(tag) + "K";
  while (text.size() < bytes) text += text.size() % 100 == 99 && text.size() + 2 < bytes ? sep : 'X';
  return text;
}
// The same length, ending in U+0250, whose capital U+2C6F is one byte longer.
std::string past_once_upper(const std::string& at) { return at.substr(0, at.size() - 2) + "\xC9\x90"; }

// A UTF-8 text of the Basic Multilingual Plane as a UCS-2 (little-endian)
// session gives it, terminator included.
std::string ucs2le_of(const std::string& utf8) {
  std::string wide;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = [&utf8](size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(utf8[k])); };
    unsigned unit = b(i);
    if (unit >= 0xE0) {
      unit = ((unit & 0x0F) << 12) | ((b(i + 1) & 0x3F) << 6) | (b(i + 2) & 0x3F);
      i += 3;
    } else if (unit >= 0x80) {
      unit = ((unit & 0x1F) << 6) | (b(i + 1) & 0x3F);
      i += 2;
    } else {
      i += 1;
    }
    wide += std::string{static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  }
  return wide.append(2, '\0');
}

// The whole error list, in either session.
std::string said(tq_context* ctx, bool ucs2) {
  return ucs2 ? tq_test::ucs2_error_list_text(ctx) : tq_test::error_list_text(ctx);
}

// Every kept text with a limit, in a UTF-8 and a UCS-2 session: one at its
// limit is taken (not refused for its length), and a setter's getter
// ("..._set" -> "..._get", one text out) reads it back whole; one a byte
// past its limit is refused (-802) with a message naming the call, the
// length and the limit, and the getter still reads the text at the limit;
// so is a category at its limit that uppercasing lengthens.
TEST(KeptTexts, EveryKeptTextIsTakenWholeToItsLimitAndRefusedPastIt) {
  for (const uint32_t enc : {TQ_ENC_UTF8, TQ_ENC_UCS2_LE}) {
    SCOPED_TRACE(enc);
    const bool ucs2 = enc == TQ_ENC_UCS2_LE;
    Kb kb;
    ASSERT_EQ(tq_session_encoding_set(kb.ctx, enc), 0);
    const std::string other = ucs2 ? tq_test::ucs2le("A") : "A";
    // A UTF-8 text as the row's call takes it, terminator included: the vault
    // family's texts are UTF-8 in every session.
    auto given = [ucs2](const Row& row, const std::string& utf8) {
      const bool vault = std::strncmp(row.name, "tq_zel_vlt_", 11) == 0 || same(row.name, "tq_locale_props_noload_set");
      return ucs2 && !vault ? ucs2le_of(utf8) : utf8 + '\0';
    };
    // What the setter's getter ("_set" -> "_get" or "_get_by_index", its
    // output of the same name, or as kGetters says) reads back, terminator
    // included; "" when there is none or it fails.
    auto read_back = [&](const std::vector<Row>& table, const Row& setter, const char* param) {
      std::string name = setter.name, get;
      if (auto it = kGetters.find(name + "." + param); it != kGetters.end()) {
        get = it->second.substr(0, it->second.find('.'));
        param = it->second.c_str() + get.size() + 1;
      } else if (name.size() > 4 && name.compare(name.size() - 4, 4, "_set") == 0) {
        get = name.substr(0, name.size() - 4) + "_get";
      }
      for (const Row& row : table) {
        if (get.empty() || (get != row.name && get + "_by_index" != row.name)) continue;
        auto* out = static_cast<char*>(tq_export_guard::scratch());
        std::memset(out, 0, 1 << 15);
        if (kb.call(row, param, other.c_str(), other.c_str()) < 0) return std::string();
        size_t n = 0;
        const size_t unit = given(row, "").size();
        while (out[n] != 0 || (unit == 2 && out[n + 1] != 0)) n += unit;
        return std::string(out, n + unit);
      }
      return std::string();
    };
    uint32_t tag = 0;
    size_t read = 0;
    for (const std::vector<Row>& table : kKeeping) {
      struct Kept {
        std::string at;      // the text at the limit
        bool taken = false;  // the call took it
        std::string back;    // what the getter read back then
      };
      std::vector<Kept> rows;
      for (int pass = 0; pass < 3; ++pass) {
        size_t next = 0;
        for (const Row& row : table) {
          for (const char* param : row.texts) {
            if (param == nullptr || !kept(row, param)) continue;
            const std::string name = std::string(row.name) + "." + param;
            const uint32_t limit = limit_of(row, param);
            ASSERT_NE(limit, 0u) << name << " has no limit in kLimits";
            if (limit == kWhole) continue;
            if (pass == 0) {
              const char sep = name.find(".prereq") != std::string::npos ? '|' : ',';
              rows.push_back(Kept{matches(kFlagLists, name) ? names_at_limit(++tag, limit, sep) : at_limit(++tag, limit),
                                  false, ""});
            }
            Kept& k = rows[next++];
            if (pass == 2 && !matches(kUppercased, name)) continue;
            const std::string before = pass > 0 && !k.back.empty() ? read_back(table, row, param) : "";
            const std::string text =
                given(row, pass == 0 ? k.at : pass == 1 ? past_limit(k.at) : past_once_upper(k.at));
            const int32_t rc = kb.call(row, param, text.c_str(), other.c_str());
            const std::string told = said(kb.ctx, ucs2);
            if (pass == 0) {
              // A name at its limit may still make a file path past the file
              // layer's (tq_regexlib_edit_new's): refused for the path, not
              // for its own length.
              const bool path_refused = told.find("The file path (the folder joined with the name") != std::string::npos;
              EXPECT_TRUE(path_refused || told.find("longer than the") == std::string::npos)
                  << name << " at " << limit << "\n" << told;
              k.taken = rc >= 0;
              if (k.taken) k.back = read_back(table, row, param);
              if (!k.back.empty()) {
                EXPECT_EQ(k.back, given(row, k.at)) << name << " at its limit";
              }
              continue;
            }
            // Uppercasing comes after what else the call checks.
            if (k.taken || (pass == 1 && rc == TQ_ERR_ARGUMENT)) {
              EXPECT_EQ(rc, TQ_ERR_ARGUMENT) << name << " pass " << pass;
              EXPECT_TRUE(holds(told, std::string(row.name) + " was given a " + (pass == 1 ? "text" : "category") +
                                          " of " + std::to_string(limit + 1) + " bytes once " +
                                          (pass == 1 ? "in UTF-8" : "uppercased as it is kept, in UTF-8") +
                                          ", longer than the " + std::to_string(limit) + " bytes it keeps"))
                  << name << "\n" << told;
            } else {
              // What the text names could not be had at the limit either (a
              // library, an entry to set): that refuses it first.
              EXPECT_LT(rc, 0) << name;
            }
            if (k.back.empty()) continue;
            EXPECT_EQ(read_back(table, row, param), before) << name << " after a refusal";
            ++read;
          }
        }
      }
    }
    EXPECT_GE(read, 50u);
  }
}

// A definition's name at its limit comes out whole in a UCS-2 session, in
// the TQ_NAME_MAX bytes and two-byte terminator tq.h gives its getters, and
// names the definition after a write and a load.
TEST(KeptTexts, ANameAtItsLimitComesOutWholeInUcs2) {
  Kb kb;
  int32_t parse = -1, match = -1;
  ASSERT_TQ_OK(kb.ctx, tq_parse_defn_index_get_by_name(kb.ctx, "Name", &parse));
  ASSERT_TQ_OK(kb.ctx, tq_match_defn_index_get_by_name(kb.ctx, "Name", &match));
  std::string name;
  for (int i = 0; i < TQ_NAME_MAX / 2; ++i) name += "\xC3\xA9";  // U+00E9, 2 bytes in UTF-8 and UCS-2
  const std::string wide = ucs2le_of(name);
  ASSERT_EQ(tq_session_encoding_set(kb.ctx, TQ_ENC_UCS2_LE), 0);
  ASSERT_EQ(tq_parse_defn_name_set(kb.ctx, parse, wide.c_str()), 0) << said(kb.ctx, true);
  for (int from_match = 0; from_match < 2; ++from_match) {
    std::string out(TQ_NAME_MAX + 2 + 4, '\x55');
    EXPECT_EQ(from_match != 0 ? tq_match_defn_parse_defn_name_get(kb.ctx, match, out.data())
                               : tq_parse_defn_name_get_by_index(kb.ctx, parse, out.data()),
              0);
    EXPECT_EQ(out.substr(0, wide.size()), wide);
    EXPECT_EQ(out.substr(wide.size()), std::string(4, '\x55'));
  }
  ASSERT_EQ(tq_session_encoding_set(kb.ctx, TQ_ENC_UTF8), 0);
  (void)kb.written();
  Context again{kb.dir.path().c_str(), false};
  ASSERT_EQ(tq_session_encoding_set(again, TQ_ENC_UTF8), 0);
  ASSERT_GE(tq_zel_locale_load(again, tq_test::kSampleEnusa, tq_test::kEveryPart), 0)
      << tq_test::error_list_text(again);
  int32_t found = -1;
  EXPECT_TQ_OK(again, tq_parse_defn_index_get_by_name(again, name.c_str(), &found));
  char back[TQ_NAME_MAX + 1] = "";
  EXPECT_TQ_OK(again, tq_parse_defn_name_get_by_index(again, found, back));
  EXPECT_EQ(back, name);
}

// An identification definition's short outputs are 128 bytes in all,
// terminator included: a value at its limit reads back whole in them, and a
// categorization abbreviation of 128 bytes comes back cut inside them (102),
// never past them.
TEST(KeptTexts, IdentificationTextsFitTheir128Bytes) {
  Kb kb;
  int32_t ident = -1;
  ASSERT_TQ_OK(kb.ctx, tq_identification_defn_index_get_by_name(kb.ctx, "Name", &ident));
  const std::string value = at_limit(1, 127), abbrev = at_limit(2, 128);
  ASSERT_TQ_OK(kb.ctx, tq_identification_defn_value_add(kb.ctx, ident, value.c_str(), "d", 0));
  ASSERT_TQ_OK(kb.ctx, tq_identification_defn_cat_regexlib_add(kb.ctx, ident, abbrev.c_str(), 50, "en_initial", 0));
  uint32_t values = 0, entries = 0, flag = 0;
  ASSERT_TQ_OK(kb.ctx, tq_identification_defn_value_count_get(kb.ctx, ident, &values));
  ASSERT_TQ_OK(kb.ctx, tq_identification_defn_cat_regexlib_count_get(kb.ctx, ident, &entries));
  std::string out(128 + 4, '\x55'), desc(1028, '\0'), lib(16384, '\0');
  EXPECT_TQ_OK(kb.ctx, tq_identification_defn_value_info_get(kb.ctx, ident, static_cast<int32_t>(values) - 1,
                                                             out.data(), desc.data(), &flag));
  EXPECT_EQ(out, value + '\0' + std::string(4, '\x55'));
  out.assign(128 + 4, '\x55');
  EXPECT_EQ(tq_identification_defn_cat_regexlib_info_get(kb.ctx, ident, static_cast<int32_t>(entries) - 1, out.data(),
                                                         &flag, lib.data(), &flag),
            TQ_WARN_LIMIT_REACHED);
  EXPECT_EQ(out.substr(128), std::string(4, '\x55'));
  EXPECT_EQ(out.substr(0, 127), abbrev.substr(0, 127));
  // Categories uppercased past their 128 bytes, which the table's rows
  // cannot reach (no library "A", no default category), are refused too.
  const std::string longer = past_once_upper(abbrev);
  const std::string said = "was given a category of 129 bytes once uppercased as it is kept, in UTF-8, longer than "
                           "the 128 bytes it keeps";
  EXPECT_EQ(tq_identification_defn_cat_regexlib_add(kb.ctx, ident, longer.c_str(), 50, "en_initial", 0),
            TQ_ERR_ARGUMENT);
  EXPECT_TRUE(holds(tq_test::error_list_text(kb.ctx), said));
  int32_t cat = -1;
  ASSERT_TQ_OK(kb.ctx, tq_identification_defn_default_category_add(kb.ctx, ident, &cat));
  EXPECT_EQ(tq_identification_defn_default_category_info_set(kb.ctx, ident, cat, longer.c_str(), 50), TQ_ERR_ARGUMENT);
  EXPECT_TRUE(holds(tq_test::error_list_text(kb.ctx), said));
  uint32_t after = 0;
  EXPECT_TQ_OK(kb.ctx, tq_identification_defn_cat_regexlib_count_get(kb.ctx, ident, &after));
  EXPECT_EQ(after, entries);
}

// Base64 of a text, as compiled vocabularies keep their texts.
std::string base64(const std::string& in) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    uint32_t n = 0;
    for (size_t k = 0; k < 3; ++k) n = (n << 8) | (i + k < in.size() ? static_cast<unsigned char>(in[i + k]) : 0u);
    for (size_t k = 0; k < 4; ++k) out += k <= in.size() - i ? kDigits[(n >> (18 - 6 * k)) & 63] : '=';
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
  auto padded = [](std::string record, uint32_t size) {
    record.resize(size, ' ');
    return record;
  };
  std::string file = hex8(1) + hex8(static_cast<uint32_t>(words.size())) + hex8(64) + hex8(96);
  file += padded(base64("NAME") + '\0' + base64("Name") + '\0', 64);
  for (const std::string& w : words) file += padded(hex8(50) + base64(w) + '\0' + base64("NAME") + '\0', 96);
  file += hex8(tq_test::kSampleEnusa) + hex8(0) + std::string(87, ' ') + hex8(TQ_ENC_UTF8);
  return file + std::string(2048, '\0');
}

// What a compiled vocabulary brings in was never given to a setter: the
// writer refuses a file its reader would refuse or read back changed,
// names the file and the text, and leaves the file as it was.
TEST(KeptTexts, WritersRefuseWhatCameInAnotherWay) {
  tq_test::TempDir dir;
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
    EXPECT_TRUE(holds(said, "The file '" + xml.string() + "' is not written: a text of it " + c.said));
    EXPECT_TRUE(holds(said, "The file is left as it was."));
    EXPECT_EQ(tq_test::read_file(xml), "as it was");
  }
  // Nothing else was left behind (no temporary file).
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(dir / "vocab")) files += e.path().extension() != ".lck" ? 1 : 0;
  EXPECT_EQ(files, 2 * std::size(cases));
  // A vocabulary without such words converts.
  dir.write("vocab/fine.zev", compiled_vocab({"GOOD", "x\xC3\xA9\x01y"}));
  EXPECT_TQ_OK(ctx, tq_vocab_file_convert(ctx, 1, "fine", "fine"));
  EXPECT_TRUE(holds(tq_test::read_file(dir / "vocab" / "fine.xml"), "x\xC3\xA9&#x10ff01;y"));
}

}  // namespace

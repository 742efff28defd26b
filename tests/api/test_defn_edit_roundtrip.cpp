// Definition edits that must survive a write and a read, on an edit-mode
// copy of the sample knowledge base with ENUSA current, so that EN's
// definitions and datatypes are seen at the edit-mode indices 256 and up:
// the datatype index of every kind, parse definitions that their users stop
// naming, unloaded definitions that their users forget, datatypes that stay
// while definitions are of them, setters of ranged numbers that the
// readers check, ENUSA's definitions binding its own or EN's as a load
// does, a match definition's "Include Default" off without rules, the
// write's warning for definitions that will not read back valid, states of
// one definition that no longer fail the write of the rest, and an import
// that keeps what the locale's definitions hold.
#include <string>
#include <utility>
#include <vector>

#include "support/sample_locales.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;

constexpr int32_t kEn = tq_test::kSampleEn;
constexpr int32_t kEnusa = tq_test::kSampleEnusa;
constexpr uint32_t kEverything = tq_test::kEveryPart;

// A copy of the sample knowledge base, open in edit mode with ENUSA (and so
// EN) loaded whole.
struct SampleEdit {
  tq_test::SampleKbCopy dir;
  Context ctx;
  // `unreadable`: a resource file of the copy made unreadable first (its
  // definitions only name it until it is used).
  explicit SampleEdit(const char* unreadable = nullptr) : ctx(dir.path().c_str(), true) {
    if (unreadable != nullptr) dir.write(unreadable, "not a vault\n");
    // A file the load reads itself (a grammar whose categories the
    // identification definition looks up) leaves its failure, and 104.
    const int32_t rc = tq_zel_locale_load(ctx, kEnusa, kEverything);
    EXPECT_EQ(rc, unreadable != nullptr && tq_test::failure_recorded(ctx) ? TQ_WARN_LOCALE_PROBLEMS : 0)
        << tq_test::error_list_text(ctx);
  }
  // What the last write put in the error list.
  std::string written;
  // A locale written back to its file.
  int32_t write(int32_t code, const char* file) {
    tq_lock_handle* lock = nullptr;
    EXPECT_EQ(tq_lock_init(ctx, &lock), 0);
    int32_t rc = tq_lock_create(ctx, file, 7, lock, nullptr);
    if (rc == 0) rc = tq_locale_write(ctx, code, lock);
    written = tq_test::error_list_text(ctx);
    tq_lock_free(ctx, lock);
    return rc;
  }
  int32_t write_en() { return write(kEn, "en.loc"); }
  int32_t write_enusa() { return write(kEnusa, "enusa.loc"); }
};

using index_by_name_fn = int32_t (*)(tq_context*, const char*, int32_t*);
using dtype_get_fn = int32_t (*)(tq_context*, int32_t, int32_t*);
using dtype_set_fn = int32_t (*)(tq_context*, int32_t, int32_t);

struct DatatypeRow {
  const char* row;
  const char* defn;
  index_by_name_fn find;
  dtype_get_fn get;
  dtype_set_fn set;
  int32_t none_rc;  // what set(-1) gives
};

const DatatypeRow kDatatypeRows[] = {
    {"parse", "Name", tq_parse_defn_index_get_by_name, tq_parse_defn_datatype_index_get,
     tq_parse_defn_datatype_index_set, -800},
    {"match", "Name", tq_match_defn_index_get_by_name, tq_match_defn_datatype_index_get,
     tq_match_defn_datatype_index_set, -800},
    {"case", "Name", tq_case_defn_index_get_by_name, tq_case_defn_datatype_index_get, tq_case_defn_datatype_index_set,
     -800},
    {"gender", "Name", tq_gender_defn_index_get_by_name, tq_gender_defn_datatype_index_get,
     tq_gender_defn_datatype_index_set, -800},
    {"extraction", "Contact", tq_extraction_defn_index_get_by_name, tq_extraction_defn_datatype_index_get,
     tq_extraction_defn_datatype_index_set, -800},
    {"stdzn", "Name", tq_stdzn_defn_index_get_by_name, tq_stdzn_defn_datatype_index_get,
     tq_stdzn_defn_datatype_index_set, -800},
    {"patrn", "Pattern", tq_patrn_defn_index_get_by_name, tq_patrn_defn_datatype_index_get,
     tq_patrn_defn_datatype_index_set, -800},
    {"identification", "Name", tq_identification_defn_index_get_by_name, tq_identification_defn_datatype_index_get,
     tq_identification_defn_datatype_index_set,-800},
    {"identification no upcast", "Name", tq_identification_defn_index_get_by_name,
     tq_identification_defn_datatype_index_get, tq_identification_defn_datatype_index_set_no_upcast,-800},
    {"lang", "English", tq_lang_defn_index_get_by_name, tq_lang_defn_datatype_index_get,
     tq_lang_defn_datatype_index_set, -800},
    {"guess", "Language", tq_guess_defn_index_get_by_name, tq_guess_defn_datatype_index_get,
     tq_guess_defn_datatype_index_set, -800},
};

std::string datatype_name(tq_context* ctx, int32_t index) {
  char name[400] = "";
  const int32_t rc = tq_datatype_name_get_by_index(ctx, index, name);
  return rc < 0 ? "rc " + std::to_string(rc) : name;
}

// Every kind's setter takes what its getter gives and reads it back the
// same; an index that names no datatype, and none where the kind's files
// need one, are refused with -800 and change nothing; the locale is then
// written, and read again whole with each definition on its datatype.
TEST(DefnEditRoundTrip, DatatypeIndexOfEveryKind) {
  SampleEdit kb;
  tq_context* ctx = kb.ctx;
  std::vector<std::string> before;
  for (const DatatypeRow& r : kDatatypeRows) {
    SCOPED_TRACE(r.row);
    int32_t index = -1, dt = -9, now = -9;
    ASSERT_EQ(r.find(ctx, r.defn, &index), 0) << tq_test::error_list_text(ctx);
    ASSERT_EQ(r.get(ctx, index, &dt), 0);
    ASSERT_GE(dt, 256);  // EN's datatype, seen from ENUSA in edit mode
    EXPECT_EQ(r.set(ctx, index, dt), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(r.get(ctx, index, &now), 0);
    EXPECT_EQ(now, dt);
    for (int32_t bad : {3, 999, 255, -2}) {
      EXPECT_EQ(r.set(ctx, index, bad), -800) << bad;
      EXPECT_EQ(r.get(ctx, index, &now), 0);
      EXPECT_EQ(now, dt) << bad;
    }
    EXPECT_EQ(r.set(ctx, index, -1), r.none_rc);
    EXPECT_EQ(r.get(ctx, index, &now), 0);
    EXPECT_EQ(now, r.none_rc == 0 ? -1 : dt);
    ASSERT_EQ(r.set(ctx, index, dt), 0);
    before.push_back(datatype_name(ctx, dt));
  }
  ASSERT_EQ(kb.write_en(), 0) << tq_test::error_list_text(ctx);

  Context again(kb.dir.str().c_str());
  ASSERT_EQ(tq_zel_locale_load(again, kEnusa, kEverything), 0) << tq_test::error_list_text(again);
  for (size_t i = 0; i < std::size(kDatatypeRows); ++i) {
    const DatatypeRow& r = kDatatypeRows[i];
    int32_t index = -1, dt = -9;
    ASSERT_EQ(r.find(again, r.defn, &index), 0) << r.row;
    ASSERT_EQ(r.get(again, index, &dt), 0) << r.row;
    EXPECT_EQ(datatype_name(again, dt), before[i]) << r.row;
  }
}

struct ParsedInputRow {
  const char* row;
  index_by_name_fn find;
  dtype_get_fn parse_get;
  dtype_set_fn parse_set;
  int32_t (*flag_get)(tq_context*, int32_t, uint32_t*);
  int32_t (*flag_set)(tq_context*, int32_t, uint32_t);
  // A gender definition is not read without its parse definition: it keeps
  // one (none is -800), and the parse definition goes only with it.
  bool needs_parse;
};

const ParsedInputRow kParsedInputRows[] = {
    {"match", tq_match_defn_index_get_by_name, tq_match_defn_parse_defn_index_get, tq_match_defn_parse_defn_index_set,
     tq_match_defn_parsed_input_flag_get, tq_match_defn_parsed_input_flag_set, false},
    {"stdzn", tq_stdzn_defn_index_get_by_name, tq_stdzn_defn_parse_defn_index_get, tq_stdzn_defn_parse_defn_index_set,
     tq_stdzn_defn_parsed_input_flag_get, tq_stdzn_defn_parsed_input_flag_set, false},
    {"gender", tq_gender_defn_index_get_by_name, tq_gender_defn_parse_defn_index_get,
     tq_gender_defn_parse_defn_index_set, tq_gender_defn_parsed_input_flag_get, tq_gender_defn_parsed_input_flag_set,
     true},
};

// "index flag" of a definition "Name" of the row's kind.
std::string parsed_input(tq_context* ctx, const ParsedInputRow& r) {
  int32_t index = -1, parse = -9;
  uint32_t flag = 9;
  if (r.find(ctx, "Name", &index) != 0) return "not found";
  EXPECT_EQ(r.parse_get(ctx, index, &parse), 0);
  EXPECT_EQ(r.flag_get(ctx, index, &flag), 0);
  return std::to_string(parse) + " " + std::to_string(flag);
}

// "Allow Parsed Input" goes with the parse definition: set to none by the
// setter, or gone with an unloaded parse definition, the definition takes
// no parsed input, and a write and a read give back the same; the flag
// cannot be switched on without a parse definition, nor the index set to
// one that is not there. A gender definition keeps its parse definition:
// none is refused, and so is the unload while the gender definition is
// loaded, which leaves everything as it was.
TEST(DefnEditRoundTrip, ParsedInputFollowsTheParseDefinition) {
  for (const char* how : {"set to none", "unloaded"}) {
    SCOPED_TRACE(how);
    SampleEdit kb;
    tq_context* ctx = kb.ctx;
    int32_t parse = -1;
    ASSERT_EQ(tq_parse_defn_index_get_by_name(ctx, "Name", &parse), 0);
    std::vector<std::string> expected;
    for (const ParsedInputRow& r : kParsedInputRows) {
      SCOPED_TRACE(r.row);
      int32_t index = -1;
      ASSERT_EQ(r.find(ctx, "Name", &index), 0);
      EXPECT_EQ(parsed_input(ctx, r).substr(parsed_input(ctx, r).size() - 1), "1");
      EXPECT_EQ(r.parse_set(ctx, index, 999), -800);
      if (std::string(how) == "set to none") {
        const std::string held = parsed_input(ctx, r);
        EXPECT_EQ(r.parse_set(ctx, index, -1), r.needs_parse ? -800 : 0);
        EXPECT_EQ(parsed_input(ctx, r), r.needs_parse ? held : "-1 0");
        if (r.needs_parse) continue;
        EXPECT_EQ(r.flag_set(ctx, index, 1), -708);
        EXPECT_EQ(r.flag_set(ctx, index, 0), 0);
      }
    }
    if (std::string(how) == "unloaded") {
      std::vector<std::string> held;
      for (const ParsedInputRow& r : kParsedInputRows) held.push_back(parsed_input(ctx, r));
      EXPECT_EQ(tq_parse_defn_unload(ctx, parse), -705);
      EXPECT_NE(tq_test::error_list_text(ctx).find(
                    "definition 'Name' cannot be unloaded: the Gender Analysis definition 'Name' of locale 29000"),
                std::string::npos)
          << tq_test::error_list_text(ctx);
      for (size_t i = 0; i < std::size(kParsedInputRows); ++i) {
        EXPECT_EQ(parsed_input(ctx, kParsedInputRows[i]), held[i]) << kParsedInputRows[i].row;
      }
      int32_t gender = -1;
      ASSERT_EQ(tq_gender_defn_index_get_by_name(ctx, "Name", &gender), 0);
      ASSERT_EQ(tq_gender_defn_unload(ctx, gender), 0);
      ASSERT_EQ(tq_parse_defn_unload(ctx, parse), 0) << tq_test::error_list_text(ctx);
    }
    for (const ParsedInputRow& r : kParsedInputRows) {
      const bool gone = r.needs_parse && std::string(how) == "unloaded";
      EXPECT_EQ(parsed_input(ctx, r), gone ? "not found" : r.needs_parse ? "0 1" : "-1 0") << r.row;
      expected.push_back(parsed_input(ctx, r));
    }
    ASSERT_EQ(kb.write_en(), 0) << tq_test::error_list_text(ctx);

    Context again(kb.dir.str().c_str(), true);
    EXPECT_EQ(tq_zel_locale_load(again, kEnusa, kEverything), 0) << tq_test::error_list_text(again);
    for (size_t i = 0; i < std::size(kParsedInputRows); ++i) {
      EXPECT_EQ(parsed_input(again, kParsedInputRows[i]), expected[i]) << kParsedInputRows[i].row;
    }
  }
}

// A definition that others name by index, unloaded: they forget it, as a
// locale file without it reads, so the locale can still be written, and
// they run after the unload as they do once it is read again. A row makes
// what the sample lacks of the dependency (make may be NULL) and unloads
// the definition `name` (its index `gone`); `state` gives the dependant's
// index getters, then what it makes of a value, before (the dependency
// held) and after the unload; `relink` names the unloaded index again,
// which the dependant's setter refuses.
struct ForgetRow {
  const char* row;
  void (*make)(tq_context*);
  index_by_name_fn find;
  const char* name;
  int32_t (*unload)(tq_context*, int32_t gone);
  int32_t (*relink)(tq_context*, int32_t gone);
  std::string (*state)(tq_context*);
  const char* before;
  const char* after;
  int32_t reload_rc;
  // Not 0: the unload is refused with this code, and everything stays.
  int32_t unload_rc = 0;
};

int32_t index_of(tq_context* ctx, index_by_name_fn find, const char* name) {
  int32_t index = -1;
  EXPECT_EQ(find(ctx, name, &index), 0) << name;
  return index;
}

// What an index getter (or a run giving a number) gives, or its failure.
template <typename Get>
std::string got(Get get) {
  int32_t value = -9;
  const int32_t rc = get(&value);
  return rc < 0 ? "rc " + std::to_string(rc) : std::to_string(value);
}

std::string standardized(tq_context* ctx) {
  char out[1100] = "";
  const int32_t rc = tq_standardize(ctx, "Name", "DR BILL O'BRIEN-MCDONALD JUNIOR", out);
  return "| " + (rc < 0 ? "rc " + std::to_string(rc) : std::string(out));
}

int32_t stdzn_name(tq_context* ctx) { return index_of(ctx, tq_stdzn_defn_index_get_by_name, "Name"); }

// An index getter of the standardization definition "Name", then a space.
std::string stdzn_got(tq_context* ctx, int32_t (*get)(tq_context*, int32_t, int32_t*)) {
  return got([&](int32_t* v) { return get(ctx, stdzn_name(ctx), v); }) + " ";
}

void unload_gender(tq_context* ctx) {
  ASSERT_EQ(tq_gender_defn_unload(ctx, index_of(ctx, tq_gender_defn_index_get_by_name, "Name")), 0);
}

const ForgetRow kForgetRows[] = {
    {"stdzn case, post-case and token case definitions <- case",
     [](tq_context* ctx) {
       const int32_t cased = index_of(ctx, tq_case_defn_index_get_by_name, "Name");
       // Proper, as the case definition.
       EXPECT_EQ(tq_stdzn_defn_case_set(ctx, stdzn_name(ctx), 3), 0);
       EXPECT_EQ(tq_stdzn_defn_case_defn_index_set(ctx, stdzn_name(ctx), cased), 0);
       EXPECT_EQ(tq_stdzn_defn_token_case_set(ctx, stdzn_name(ctx), 3, 3), 0);
       EXPECT_EQ(tq_stdzn_defn_token_case_defn_index_set(ctx, stdzn_name(ctx), 3, cased), 0);
     },
     tq_case_defn_index_get_by_name, "Name", tq_case_defn_unload,
     [](tq_context* ctx, int32_t gone) { return tq_stdzn_defn_post_case_defn_index_set(ctx, stdzn_name(ctx), gone); },
     [](tq_context* ctx) {
       return stdzn_got(ctx, tq_stdzn_defn_case_defn_index_get) + stdzn_got(ctx, tq_stdzn_defn_post_case_defn_index_get) +
              got([&](int32_t* v) { return tq_stdzn_defn_token_case_defn_index_get(ctx, stdzn_name(ctx), 3, v); }) +
              " " + standardized(ctx);
     },
     // Post-casing stays Proper, without the case definition's known words.
     "256 256 256 | Dr William O'Brien-McDonald Jr", "-1 -1 -1 | Dr William O'brien-mcdonald Jr", 0},
    {"locale guess language definition <- language", nullptr, tq_lang_defn_index_get_by_name, "English",
     tq_lang_defn_unload,
     [](tq_context* ctx, int32_t gone) {
       return tq_guess_defn_lang_defn_index_set(ctx, index_of(ctx, tq_guess_defn_index_get_by_name, "Language"), gone);
     },
     [](tq_context* ctx) {
       const int32_t guess = index_of(ctx, tq_guess_defn_index_get_by_name, "Language");
       return got([&](int32_t* v) { return tq_guess_defn_lang_defn_index_get(ctx, guess, v); }) + " | " +
              got([&](int32_t* v) {
                uint32_t score = 0;
                const int32_t rc =
                    tq_guess_locale_score(ctx, "Language", "the weather is fine and the house is warm", kEn, &score);
                *v = static_cast<int32_t>(score);
                return rc;
              });
     },
     "0 | 624", "-1 | 0", 0},
    // The gender definition "Name" cannot be read without its parse
    // definition: it goes first.
    {"stdzn parse definition <- parse", unload_gender, tq_parse_defn_index_get_by_name, "Name", tq_parse_defn_unload,
     [](tq_context* ctx, int32_t gone) { return tq_stdzn_defn_parse_defn_index_set(ctx, stdzn_name(ctx), gone); },
     [](tq_context* ctx) { return stdzn_got(ctx, tq_stdzn_defn_parse_defn_index_get) + standardized(ctx); },
     "0 | Dr William O'Brien-McDonald Jr", "-1 | Dr Bill O'Brien-McDonald Junior", 0},
    // While it is loaded, the parse definition stays.
    {"gender parse definition <- parse, refused", nullptr, tq_parse_defn_index_get_by_name, "Name",
     tq_parse_defn_unload, nullptr,
     [](tq_context* ctx) {
       char out[64] = "";
       const int32_t gender = index_of(ctx, tq_gender_defn_index_get_by_name, "Name");
       const int32_t rc = tq_gender_determine(ctx, "Name", "Mary Smith", out);
       return got([&](int32_t* v) { return tq_gender_defn_parse_defn_index_get(ctx, gender, v); }) + " | " +
              (rc < 0 ? "rc " + std::to_string(rc) : std::string(out)) + " " + standardized(ctx);
     },
     "0 | F | Dr William O'Brien-McDonald Jr", "0 | F | Dr William O'Brien-McDonald Jr", 0, -705},
};

TEST(DefnEditRoundTrip, UnloadedDefinitionsAreForgottenByTheirUsers) {
  for (const ForgetRow& r : kForgetRows) {
    SCOPED_TRACE(r.row);
    SampleEdit kb;
    tq_context* ctx = kb.ctx;
    if (r.make != nullptr) r.make(ctx);
    EXPECT_EQ(r.state(ctx), r.before);
    const int32_t gone = index_of(ctx, r.find, r.name);
    ASSERT_EQ(r.unload(ctx, gone), r.unload_rc) << tq_test::error_list_text(ctx);
    EXPECT_EQ(r.state(ctx), r.after);
    if (r.relink != nullptr) {
      EXPECT_EQ(r.relink(ctx, gone), -800);
    }
    EXPECT_EQ(r.state(ctx), r.after);
    ASSERT_EQ(kb.write_en(), 0) << tq_test::error_list_text(ctx);

    Context again(kb.dir.str().c_str(), true);
    EXPECT_EQ(tq_zel_locale_load(again, kEnusa, kEverything), r.reload_rc) << tq_test::error_list_text(again);
    EXPECT_EQ(r.state(again), r.after);
  }
}

// A datatype goes only when no loaded definition is of it: while one is
// (EN's on EN's "Name", a new one of ENUSA on a new datatype), the unload
// is refused with a message that names it, everything stays as it was and
// the locale writable; once its last definition is unloaded, the datatype
// can be too.
TEST(DefnEditRoundTrip, DatatypeInUseIsNotUnloaded) {
  SampleEdit kb;
  tq_context* ctx = kb.ctx;
  int32_t name_dt = -1, tmp = -1, cased = -1, dt = -1;
  ASSERT_EQ(tq_datatype_index_get_by_name(ctx, "Name", &name_dt), 0);
  EXPECT_EQ(tq_datatype_unload(ctx, name_dt), -705);
  EXPECT_NE(tq_test::error_list_text(ctx).find("datatype 'Name' cannot be unloaded"), std::string::npos)
      << tq_test::error_list_text(ctx);
  EXPECT_EQ(datatype_name(ctx, name_dt), "Name");
  // ENUSA's own definition of a datatype of its own.
  ASSERT_EQ(tq_datatype_add(ctx, "Tmp", &tmp), 0);
  ASSERT_EQ(tq_datatype_token_add(ctx, tmp, &dt), 0);
  ASSERT_EQ(tq_datatype_token_value_set(ctx, tmp, dt, "Word"), 0);
  ASSERT_EQ(tq_case_defn_add(ctx, "Tmp", &cased), 0);
  ASSERT_EQ(tq_case_defn_datatype_index_set(ctx, cased, tmp), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(tq_datatype_unload(ctx, tmp), -705);
  ASSERT_EQ(tq_case_defn_datatype_index_get(ctx, cased, &dt), 0);
  EXPECT_EQ(datatype_name(ctx, dt), "Tmp");
  ASSERT_EQ(kb.write_en(), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_case_defn_unload(ctx, cased), 0);
  EXPECT_EQ(tq_datatype_unload(ctx, tmp), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(datatype_name(ctx, tmp), "rc -800");
}

// The scoring levels of a pattern's parse options: outside 5 to 10 the
// reader refuses them, so the setters do too; a value taken is written and
// read back. The input length of a locale guess pattern likewise (a pattern
// added, the sample's definition having none).
TEST(DefnEditRoundTrip, RangedParseOptionsOfPatterns) {
  SampleEdit kb;
  tq_context* ctx = kb.ctx;
  int32_t contact = -1, language = -1, value = 0;
  ASSERT_EQ(tq_extraction_defn_index_get_by_name(ctx, "Contact", &contact), 0);
  ASSERT_EQ(tq_guess_defn_index_get_by_name(ctx, "Language", &language), 0);
  ASSERT_TQ_OK(ctx, tq_guess_defn_pattern_add(ctx, language, "en_person", "NAME", "PERSON", 0, 0, 0));
  for (uint32_t bad : {1u, 4u, 11u, 0x80000000u}) {
    EXPECT_EQ(tq_extraction_defn_opt_params_scoring_levels_set(ctx, contact, 0, bad), -802) << bad;
    EXPECT_EQ(tq_guess_defn_opt_params_scoring_levels_set(ctx, language, 0, bad), -802) << bad;
  }
  for (uint32_t bad : {3u, 99u}) EXPECT_EQ(tq_guess_defn_opt_params_input_length_set(ctx, language, 0, bad), -802);
  EXPECT_EQ(tq_extraction_defn_opt_params_scoring_levels_set(ctx, contact, 0, 7), 0);
  EXPECT_EQ(tq_guess_defn_opt_params_scoring_levels_set(ctx, language, 0, 9), 0);
  EXPECT_EQ(tq_guess_defn_opt_params_input_length_set(ctx, language, 0, 1), 0);
  ASSERT_EQ(kb.write_en(), 0) << tq_test::error_list_text(ctx);

  Context again(kb.dir.str().c_str(), true);
  ASSERT_EQ(tq_zel_locale_load(again, kEnusa, kEverything), 0) << tq_test::error_list_text(again);
  ASSERT_EQ(tq_extraction_defn_index_get_by_name(again, "Contact", &contact), 0);
  ASSERT_EQ(tq_guess_defn_index_get_by_name(again, "Language", &language), 0);
  EXPECT_EQ(tq_extraction_defn_opt_params_scoring_levels_get(again, contact, 0, &value), 0);
  EXPECT_EQ(value, 7);
  uint32_t u = 0;
  EXPECT_EQ(tq_guess_defn_opt_params_scoring_levels_get(again, language, 0, &u), 0);
  EXPECT_EQ(u, 9u);
  EXPECT_EQ(tq_guess_defn_opt_params_input_length_get(again, language, 0, &u), 0);
  EXPECT_EQ(u, 1u);
}

// ENUSA's own definitions that hold EN's (a standardization, a gender and a
// locale guess definition, copied from EN's) and a definition ENUSA then
// gets, loses or renames under EN's name: in memory they bind what the
// name finds from ENUSA, its own before EN's, as the locale written and
// read again does. The state is each held definition as "depth:name" (0
// ENUSA, 1 EN) and a standardization through the copy.
struct BindRow {
  const char* row;
  void (*edit)(tq_context*);
  const char* state;
};

std::string held_name(tq_context* ctx, int32_t (*name_get)(tq_context*, int32_t, char*), int32_t index) {
  char name[400] = "";
  if (index < 0) return std::to_string(index);
  const int32_t rc = name_get(ctx, index, name);
  return std::to_string(index / 256) + ":" + (rc < 0 ? "rc " + std::to_string(rc) : name);
}

std::string bound(tq_context* ctx) {
  const int32_t mine = index_of(ctx, tq_stdzn_defn_index_get_by_name, "Mine");
  const int32_t gender = index_of(ctx, tq_gender_defn_index_get_by_name, "G");
  const int32_t guess = index_of(ctx, tq_guess_defn_index_get_by_name, "L");
  int32_t parse = -9, cased = -9, token_cased = -9, gparse = -9, lang = -9;
  EXPECT_EQ(tq_stdzn_defn_parse_defn_index_get(ctx, mine, &parse), 0);
  EXPECT_EQ(tq_stdzn_defn_post_case_defn_index_get(ctx, mine, &cased), 0);
  EXPECT_EQ(tq_stdzn_defn_token_case_defn_index_get(ctx, mine, 3, &token_cased), 0);
  EXPECT_EQ(tq_gender_defn_parse_defn_index_get(ctx, gender, &gparse), 0);
  EXPECT_EQ(tq_guess_defn_lang_defn_index_get(ctx, guess, &lang), 0);
  char out[1100] = "";
  const int32_t rc = tq_standardize(ctx, "Mine", "bill q. smith junior", out);
  return held_name(ctx, tq_parse_defn_name_get_by_index, parse) + " " +
         held_name(ctx, tq_case_defn_name_get_by_index, cased) + " " +
         held_name(ctx, tq_case_defn_name_get_by_index, token_cased) + " " +
         held_name(ctx, tq_parse_defn_name_get_by_index, gparse) + " " +
         held_name(ctx, tq_lang_defn_name_get_by_index, lang) + " | " +
         (rc < 0 ? "rc " + std::to_string(rc) : std::string(out));
}

void copy_parse(tq_context* ctx) {
  int32_t at = -1;
  ASSERT_EQ(tq_parse_defn_copy(ctx, "Name", "Name", &at), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(at, 0);
}

const BindRow kBindRows[] = {
    {"as copied", [](tq_context*) {}, "1:Name 1:Name 1:Name 1:Name 1:English | William Q Smith Jr"},
    {"parse definition copied", copy_parse, "0:Name 1:Name 1:Name 0:Name 1:English | William Q Smith Jr"},
    {"parse definition copied, then unloaded",
     [](tq_context* ctx) {
       copy_parse(ctx);
       // The gender definition that names it takes EN's in its place.
       EXPECT_EQ(tq_parse_defn_unload(ctx, 0), 0) << tq_test::error_list_text(ctx);
     },
     "1:Name 1:Name 1:Name 1:Name 1:English | William Q Smith Jr"},
    {"parse definition copied, then renamed",
     [](tq_context* ctx) {
       copy_parse(ctx);
       EXPECT_EQ(tq_parse_defn_name_set(ctx, 0, "Other"), 0);
     },
     "0:Other 1:Name 1:Name 0:Other 1:English | William Q Smith Jr"},
    {"parse definition added empty",
     [](tq_context* ctx) {
       int32_t dt = -1, at = -1;
       ASSERT_EQ(tq_datatype_index_get_by_name(ctx, "Name", &dt), 0);
       ASSERT_EQ(tq_parse_defn_add(ctx, "name", dt, &at), 0) << tq_test::error_list_text(ctx);
     },
     // Not valid until it is finished: what holds it fails as after a load.
     "0:name 1:Name 1:Name 0:name 1:English | rc -704"},
    {"parse definition add refused for its datatype",
     [](tq_context* ctx) {
       // Refused after the name was taken: what held EN's "Name" holds it
       // again, not a position past ENUSA's parse definitions.
       int32_t at = -1;
       EXPECT_EQ(tq_parse_defn_add(ctx, "Name", -2, &at), -800);
       EXPECT_EQ(at, -1);
     },
     "1:Name 1:Name 1:Name 1:Name 1:English | William Q Smith Jr"},
    {"case definition copied, language definition copied",
     [](tq_context* ctx) {
       int32_t at = -1;
       ASSERT_EQ(tq_case_defn_copy(ctx, "Name", "Name", &at), 0) << tq_test::error_list_text(ctx);
       ASSERT_EQ(tq_lang_defn_copy(ctx, "English", "English", &at), 0) << tq_test::error_list_text(ctx);
     },
     "1:Name 0:Name 0:Name 1:Name 0:English | William Q Smith Jr"},
};

TEST(DefnEditRoundTrip, ChildDefinitionsBindAsTheyReadBack) {
  for (const BindRow& r : kBindRows) {
    SCOPED_TRACE(r.row);
    SampleEdit kb;
    tq_context* ctx = kb.ctx;
    int32_t at = -1;
    ASSERT_EQ(tq_stdzn_defn_copy(ctx, "Name", "Mine", &at), 0) << tq_test::error_list_text(ctx);
    const int32_t cased = index_of(ctx, tq_case_defn_index_get_by_name, "Name");
    ASSERT_EQ(tq_stdzn_defn_post_case_defn_index_set(ctx, at, cased), 0) << tq_test::error_list_text(ctx);
    ASSERT_EQ(tq_stdzn_defn_token_case_set(ctx, at, 3, 3), 0);
    ASSERT_EQ(tq_stdzn_defn_token_case_defn_index_set(ctx, at, 3, cased), 0) << tq_test::error_list_text(ctx);
    ASSERT_EQ(tq_gender_defn_copy(ctx, "Name", "G", &at), 0);
    ASSERT_EQ(tq_guess_defn_copy(ctx, "Language", "L", &at), 0);
    r.edit(ctx);
    EXPECT_EQ(bound(ctx), r.state);
    // EN's parse definition "Name" named by index: refused where ENUSA's
    // own of its name hides it, as the written locale would name that one.
    const bool hidden = std::string(r.state).find("0:Name 1") == 0 || std::string(r.state).find("0:name") == 0;
    EXPECT_EQ(tq_stdzn_defn_parse_defn_index_set(ctx, index_of(ctx, tq_stdzn_defn_index_get_by_name, "Mine"), 256),
              hidden ? -800 : 0);
    const std::string in_memory = bound(ctx);
    EXPECT_EQ(in_memory.substr(0, 7) == "1:Name ", !hidden) << in_memory;
    ASSERT_GE(kb.write_enusa(), 0) << tq_test::error_list_text(ctx);

    Context again(kb.dir.str().c_str(), true);
    EXPECT_GE(tq_zel_locale_load(again, kEnusa, kEverything), 0) << tq_test::error_list_text(again);
    EXPECT_EQ(bound(again), in_memory);
  }
}

// "Include Default" off without any combination rule leaves a match
// definition no code at all; the locale's file keeps it so.
TEST(DefnEditRoundTrip, IncludeDefaultOffWithoutRules) {
  SampleEdit kb;
  tq_context* ctx = kb.ctx;
  auto codes = [](tq_context* c) {
    tq_match_multicode_entry* block = nullptr;
    EXPECT_EQ(tq_match_multicode_output_create(c, "Name", &block), 0);
    uint32_t num = 9, flag = 9;
    const int32_t rc = tq_match_multicode(c, "Name", 85, "Bill Smith", &block, &num);
    EXPECT_EQ(tq_match_multicode_output_destroy(c, block), 0);
    EXPECT_EQ(tq_match_defn_token_combination_include_default_get(
                  c, index_of(c, tq_match_defn_index_get_by_name, "Name"), &flag),
              0);
    return std::to_string(rc) + " " + std::to_string(num) + " codes, include default " + std::to_string(flag);
  };
  const int32_t match = index_of(ctx, tq_match_defn_index_get_by_name, "Name");
  ASSERT_EQ(tq_match_defn_token_combination_rules_delete_all(ctx, match), 0);
  ASSERT_EQ(tq_match_defn_token_combination_include_default_set(ctx, match, 0), 0);
  EXPECT_EQ(codes(ctx), "0 0 codes, include default 0");
  ASSERT_EQ(kb.write_en(), 0) << tq_test::error_list_text(ctx);

  Context again(kb.dir.str().c_str(), true);
  ASSERT_EQ(tq_zel_locale_load(again, kEnusa, kEverything), 0) << tq_test::error_list_text(again);
  EXPECT_EQ(codes(again), "0 0 codes, include default 0");
}

// Unfinished definitions are written as they are, but the write warns (104,
// as the next load will) and names each one that will not be valid, with
// what the reader will say of it; one marked incomplete is named too.
TEST(DefnEditRoundTrip, WritingDefinitionsThatWillNotReadBackWarns) {
  SampleEdit kb;
  tq_context* ctx = kb.ctx;
  int32_t at = -1, token = -1, dt = -1;
  ASSERT_EQ(kb.write_enusa(), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_case_defn_add(ctx, "No datatype", &at), 0);
  ASSERT_EQ(tq_datatype_index_get_by_name(ctx, "Name", &dt), 0);
  ASSERT_EQ(tq_parse_defn_add(ctx, "No vocabulary", dt, &at), 0);
  ASSERT_EQ(tq_stdzn_defn_copy(ctx, "Name", "Unnamed token", &at), 0);
  ASSERT_EQ(tq_stdzn_defn_token_add(ctx, at, &token), 0);
  ASSERT_EQ(tq_case_defn_copy(ctx, "Name", "Unfinished", &at), 0);
  ASSERT_EQ(tq_case_defn_incomplete_set(ctx, at, 1), 0);
  EXPECT_EQ(kb.write_enusa(), TQ_WARN_LOCALE_PROBLEMS);
  const std::string said = kb.written;
  const std::string head = " of locale 29840 is written, but will not be valid when the locale is read again: ";
  for (const std::string& line :
       {"The Case definition 'No datatype'" + head + "The Case definition 'No datatype' names no datatype.",
        "The Parse definition 'No vocabulary'" + head + "The Parse definition 'No vocabulary' names no vocabulary.",
        "The Standardization definition 'Unnamed token'" + head +
            "The Standardization definition 'Unnamed token' has no token named ''.",
        "The Case definition 'Unfinished'" + head + "it is marked incomplete."}) {
    EXPECT_NE(said.find(line), std::string::npos) << line << "\n" << said;
  }

  Context again(kb.dir.str().c_str(), true);
  EXPECT_EQ(tq_zel_locale_load(again, kEnusa, kEverything), TQ_WARN_LOCALE_PROBLEMS);
}

// States of one definition that its write once refused, failing the write
// of the whole locale and losing every other edit to a reload. Each row
// makes one on a definition ENUSA copied from EN (its name kept); the write
// then gives 0 or 104, and a fresh load finds ENUSA's other definitions'
// edits (a copy "Marker") and the unfinished definition, holding what it
// held. `unreadable`: a resource file made unreadable before the load.
struct UnfinishedRow {
  const char* row;
  const char* unreadable;
  void (*edit)(tq_context*, int32_t own);
  index_by_name_fn find;
  const char* name;
  int32_t (*copy)(tq_context*, const char*, const char*, int32_t*);
  std::string (*state)(tq_context*, int32_t own);
  const char* expected;
};

std::string parse_grammar_root(tq_context* ctx, int32_t own) {
  char grammar[1100] = "", root[1100] = "";
  const int32_t rc = tq_parse_defn_grammar_name_get(ctx, own, grammar);
  const int32_t rc2 = tq_parse_defn_root_category_name_get(ctx, own, root);
  return rc < 0 || rc2 < 0 ? "rc " + std::to_string(rc) + " " + std::to_string(rc2)
                           : std::string(grammar) + " " + root;
}

const UnfinishedRow kUnfinishedRows[] = {
    {"parse: a grammar without the root category", nullptr,
     [](tq_context* ctx, int32_t own) { EXPECT_EQ(tq_parse_defn_grammar_name_set(ctx, own, "en_firm"), 0); },
     tq_parse_defn_index_get_by_name, "Name", tq_parse_defn_copy, parse_grammar_root, "en_firm NAME"},
    {"parse: a grammar whose file cannot be read", "grammar/en_person.zel", [](tq_context*, int32_t) {},
     tq_parse_defn_index_get_by_name, "Name", tq_parse_defn_copy, parse_grammar_root, "en_person NAME"},
    {"case: a known-word scheme whose file cannot be read", "scheme/en_name_case.sch.zel",
     [](tq_context*, int32_t) {}, tq_case_defn_index_get_by_name, "Name", tq_case_defn_copy,
     [](tq_context* ctx, int32_t own) {
       char name[4200] = "";
       uint32_t options = 9;
       const int32_t rc = tq_case_defn_known_word_scheme_info_get(ctx, own, name, &options);
       return "rc " + std::to_string(rc) + " " + name + " " + std::to_string(options);
     },
     "rc 0 en_name_case 2"},
    {"extraction: a known-word scheme whose file cannot be read", "scheme/en_company.sch.zel",
     [](tq_context*, int32_t) {}, tq_extraction_defn_index_get_by_name, "Contact", tq_extraction_defn_copy,
     [](tq_context* ctx, int32_t own) {
       char name[4200] = "";
       uint32_t token = 9, sensitive = 9;
       const int32_t rc = tq_extraction_defn_scheme_info_get(ctx, own, 0, &token, name, &sensitive);
       return "rc " + std::to_string(rc) + " " + name + " token " + std::to_string(token) + " case " +
              std::to_string(sensitive);
     },
     "rc 0 en_company token 2 case 0"},
    {"match: a rule weight of 309 digits", nullptr,
     [](tq_context* ctx, int32_t own) {
       uint32_t rule = 9;
       ASSERT_EQ(tq_match_defn_token_combination_rule_add(ctx, own, &rule), 0);
       EXPECT_EQ(tq_match_defn_token_combination_rule_weight_set(ctx, own, rule, -1e308), 0);
     },
     tq_match_defn_index_get_by_name, "Name", tq_match_defn_copy,
     [](tq_context* ctx, int32_t own) {
       double weight = 0;
       const int32_t rc = tq_match_defn_token_combination_rule_weight_get(ctx, own, 0, &weight);
       return "rc " + std::to_string(rc) + (weight == -1e308 ? " -1e308" : " " + std::to_string(weight));
     },
     "rc 0 -1e308"},
};

TEST(DefnEditRoundTrip, NoDefinitionsStateFailsTheWriteOfTheRest) {
  for (const UnfinishedRow& r : kUnfinishedRows) {
    SCOPED_TRACE(r.row);
    SampleEdit kb(r.unreadable);
    tq_context* ctx = kb.ctx;
    int32_t own = -1, marker = -1;
    ASSERT_EQ(r.copy(ctx, r.name, r.name, &own), 0) << tq_test::error_list_text(ctx);
    ASSERT_EQ(tq_case_defn_copy(ctx, "Name", "Marker", &marker), 0);
    r.edit(ctx, own);
    EXPECT_EQ(r.state(ctx, own), r.expected);
    const int32_t written = kb.write_enusa();
    EXPECT_TRUE(written == 0 || written == TQ_WARN_LOCALE_PROBLEMS) << written << "\n" << kb.written;

    Context again(kb.dir.str().c_str(), true);
    EXPECT_GE(tq_zel_locale_load(again, kEnusa, kEverything), 0) << tq_test::error_list_text(again);
    EXPECT_LT(index_of(again, tq_case_defn_index_get_by_name, "Marker"), 256);
    const int32_t back = index_of(again, r.find, r.name);
    EXPECT_LT(back, 256);  // ENUSA's own, not EN's
    EXPECT_EQ(r.state(again, back), r.expected);
  }
}

// Outside edit mode a locale's inherited datatypes and definitions are
// counted after its own: what an import adds moves them. The definitions
// an earlier import brought (an extraction definition of EN's datatype
// "Contact", a standardization definition of EN's parse definition "Name")
// still hold them after the import of a datatype and a parse definition,
// and the locale written reads back so.
TEST(DefnEditRoundTrip, ImportKeepsWhatTheLocalesDefinitionsHold) {
  tq_test::SampleKbCopy dir;
  Context edit(dir.path().c_str(), true);
  ASSERT_EQ(tq_zel_locale_load(edit, kEnusa, kEverything), 0);
  tq_xmldoc* first = nullptr;
  tq_xmldoc* second = nullptr;
  ASSERT_EQ(tq_xml_create(edit, "Locale Settings", "7.0", &first), 0);
  ASSERT_EQ(tq_xml_create(edit, "Locale Settings", "7.0", &second), 0);
  int32_t other = -1;
  ASSERT_EQ(tq_extraction_defn_write(edit, first, index_of(edit, tq_extraction_defn_index_get_by_name, "Contact")), 0);
  ASSERT_EQ(tq_stdzn_defn_write(edit, first, index_of(edit, tq_stdzn_defn_index_get_by_name, "Name")), 0);
  int32_t text = -1;
  ASSERT_EQ(tq_datatype_index_get_by_name(edit, "Text", &text), 0);
  ASSERT_EQ(tq_datatype_write(edit, second, text), 0);
  ASSERT_EQ(tq_parse_defn_copy(edit, "Name", "Other", &other), 0);
  ASSERT_EQ(tq_parse_defn_write(edit, second, other), 0);

  auto held = [](tq_context* ctx) {
    const int32_t contact = index_of(ctx, tq_extraction_defn_index_get_by_name, "Contact");
    const int32_t stdzn = index_of(ctx, tq_stdzn_defn_index_get_by_name, "Name");
    int32_t dt = -1, parse = -1;
    EXPECT_EQ(tq_extraction_defn_datatype_index_get(ctx, contact, &dt), 0);
    EXPECT_EQ(tq_stdzn_defn_parse_defn_index_get(ctx, stdzn, &parse), 0);
    char out[1100] = "";
    const int32_t rc = tq_standardize(ctx, "Name", "DR BILL O'BRIEN-MCDONALD JUNIOR", out);
    return datatype_name(ctx, dt) + " " + held_name(ctx, tq_parse_defn_name_get_by_index, parse).substr(2) + " | " +
           (rc < 0 ? "rc " + std::to_string(rc) : std::string(out));
  };
  const char* expected = "Contact Name | Dr William O'Brien-McDonald Jr";
  {
    Context ctx(dir.path().c_str());
    ASSERT_EQ(tq_zel_locale_load(ctx, kEnusa, kEverything), 0);
    EXPECT_GE(tq_locale_import(ctx, first), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(held(ctx), expected);
    EXPECT_GE(tq_locale_import(ctx, second), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(held(ctx), expected);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    EXPECT_EQ(tq_lock_create(ctx, "enusa.loc", 7, lock, nullptr), 0);
    EXPECT_EQ(tq_locale_write(ctx, kEnusa, lock), 0) << tq_test::error_list_text(ctx);
    tq_lock_free(ctx, lock);
  }
  tq_xml_free(edit, first);
  tq_xml_free(edit, second);
  Context again(dir.str().c_str());
  ASSERT_EQ(tq_zel_locale_load(again, kEnusa, kEverything), 0) << tq_test::error_list_text(again);
  EXPECT_EQ(held(again), expected);
}

}  // namespace

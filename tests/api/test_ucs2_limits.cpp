// Every value-taking export of the sample knowledge base, in every form, run
// in both UCS-2 session encodings on values at the engines' limits: a word
// of 1,023, 1,024 and 1,025 characters, 512 two-byte letters, many short
// words and values the schemes change; the match and gender roads again on
// copies of their definitions edited to their limits (preprocessing schemes
// on the match definition, gender values of the full 4 bytes). Inside, the
// engines keep UTF-8 text in buffers sized for one terminator byte; outside,
// the caller's buffers take the session's two. Under the sanitizers no write
// may land past either: every call answers a result or a documented
// failure, and every text output ends within the size tq.h gives it.
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/sample_locales.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;
using tq_test::ucs2;

std::u16string repeated(const std::u16string& piece, size_t length) {
  std::u16string text;
  while (text.size() < length) text += piece;
  return text.substr(0, length);
}

// Whether a UCS-2 text ends (a zero unit) within its first size bytes.
bool ends_within(const char* text, size_t size) {
  for (size_t k = 0; k + 1 < size; k += 2) {
    if (text[k] == 0 && text[k + 1] == 0) return true;
  }
  return false;
}

constexpr size_t kTextRoom = 1030;  // the largest text output: 1,028 bytes + a UCS-2 terminator
constexpr size_t kGuard = 16;       // bytes after it that no call may touch
constexpr uint32_t kSens = 80;      // the match roads' sensitivity: noise words and phonetics come in
const uint32_t kTwoSens[] = {95, 50};
const uint32_t kLocales[] = {tq_test::kSampleEnusa};

// What a row's call fills: a text (or two, the codes of two sensitivities)
// of `size` bytes, token slots, chopped words, a multicode block, nothing.
enum class Out { none, text, codes, parsed, extracted, words, block };

// The definitions a run uses, by name in the session encoding and by index.
struct Defns {
  std::string name, contact, pattern, english, language, match, gender;
  int32_t case_i, stdzn, parse, ident, extract, patrn, guess, lang, match_i, gender_i;
  tq_match_multicode_entry* block;
};

// One call's arguments and outputs.
struct Call {
  tq_context* ctx;
  const Defns* d;
  const char* v;                      // the value, session encoding
  std::vector<tq_parse_token> given;  // the caller's tokens of the parsed forms
  int32_t chopper, phonetx, regexlib, schemes[3];
  tq_ngram_profile* profile;
  tq_case_info* cinfo;
  tq_stand_info* sinfo;
  tq_match_info* minfo;
  tq_gender_info* ginfo;
  tq_ident_info* iinfo;
  tq_extract_info* xinfo;
  tq_patrn_info* pinfo;
  tq_parse_info* painfo;
  tq_guess_info* guinfo;
  tq_language_guess_info* linfo;
  std::array<std::vector<char>, 2> texts{std::vector<char>(kTextRoom + kGuard), std::vector<char>(kTextRoom + kGuard)};
  char* o = texts[0].data();
  char* codes[2] = {texts[0].data(), texts[1].data()};
  std::vector<tq_parse_token> parsed = std::vector<tq_parse_token>(TQ_PARSE_TOKENS);
  std::vector<tq_extract_token> extracted = std::vector<tq_extract_token>(TQ_EXTRACT_TOKENS);
  std::vector<tq_chop_word> words = std::vector<tq_chop_word>(64);
  uint32_t n = 0, num[2] = {}, u = 0;
  int32_t i = 0;
  const char* name() const { return d->name.c_str(); }
  const char* match() const { return d->match.c_str(); }
  const char* gender() const { return d->gender.c_str(); }
  uint32_t ntok() const { return static_cast<uint32_t>(given.size()); }
  int32_t itok() const { return static_cast<int32_t>(given.size()); }
  tq_match_multicode_entry* const* block() const { return &d->block; }
};

struct Row {
  const char* name;
  Out out;
  uint32_t size;  // Out::text, Out::codes: bytes in all, terminator included
  std::function<int32_t(Call&)> call;
  bool edited;          // a match or gender road: run on the edited copies too
  int32_t refused = 0;  // a failure tq.h gives this export at the limits (0: none)
};

constexpr uint32_t kCode = TQ_MATCHCODE_SIZE;
constexpr uint32_t kGenderOut = 4 + 2;  // 4 bytes of text and a UCS-2 terminator
const int32_t kChopTooLong = -601;      // a value over 1,024 bytes once in UTF-8

// A row of the export `fn`, called with the context and `args` (in terms
// of the Call r); its name is the export's own.
#define ROW(fn, out, size, edited, ...) \
  Row { #fn, Out::out, size, [](Call& r) { return fn(r.ctx, __VA_ARGS__); }, edited }
// The five casing forms of one operation share their arguments.
#define CASE_ROWS(op, defn, index)                                                \
  ROW(tq_##op, text, 1028, false, defn, r.v, r.o, 1028),                         \
      ROW(tq_##op##_by_index, text, 1028, false, index, r.v, r.o, 1028),          \
      ROW(tq_##op##_nonsurfaced, text, 1028, false, defn, r.v, r.o, 1028),        \
      ROW(tq_##op##_with_info, text, 1028, false, defn, r.v, r.o, 1028, r.cinfo), \
      ROW(tq_##op##_with_info_nonsurfaced, text, 1028, false, defn, r.v, r.o, 1028, r.cinfo)

const std::vector<Row>& rows() {
  constexpr uint32_t kStd = TQ_STANDARD_SIZE;
  constexpr uint32_t kExact = 4 * 256 + 1;
  static const std::vector<Row> list = {
      CASE_ROWS(uppercase, nullptr, -1),
      CASE_ROWS(lowercase, nullptr, -1),
      CASE_ROWS(propercase, r.name(), r.d->case_i),

      ROW(tq_standardize, text, kStd, false, r.name(), r.v, r.o),
      ROW(tq_standardize_by_index, text, kStd, false, r.d->stdzn, r.v, r.o),
      ROW(tq_standardize_with_info, text, kStd, false, r.name(), r.v, r.o, r.sinfo),
      ROW(tq_standardize_by_index_with_info, text, kStd, false, r.d->stdzn, r.v, r.o, r.sinfo),
      ROW(tq_standardize_parsed, text, kStd, false, r.name(), r.given.data(), r.ntok(), r.o),
      ROW(tq_standardize_parsed_by_index, text, kStd, false, r.d->stdzn, r.given.data(), r.ntok(), r.o),
      ROW(tq_standardize_parsed_with_info, text, kStd, false, r.name(), r.given.data(), r.ntok(), r.o, r.sinfo),

      ROW(tq_match, text, kCode, true, r.match(), kSens, r.v, r.o),
      ROW(tq_match_with_info, text, kCode, true, r.match(), kSens, r.v, r.o, r.minfo),
      ROW(tq_match_by_index, text, kCode, true, r.d->match_i, kSens, r.v, r.o),
      ROW(tq_match_by_index_with_info, text, kCode, true, r.d->match_i, kSens, r.v, r.o, r.minfo),
      ROW(tq_match_multiple_sens, codes, kCode, true, r.match(), kTwoSens, 2, r.v, r.codes),
      ROW(tq_match_multiple_sens_by_index, codes, kCode, true, r.d->match_i, kTwoSens, 2, r.v, r.codes),
      ROW(tq_match_parsed, text, kCode, true, r.match(), kSens, r.given.data(), r.ntok(), r.o),
      ROW(tq_match_parsed_with_info, text, kCode, true, r.match(), kSens, r.given.data(), r.ntok(), r.o, r.minfo),
      ROW(tq_match_parsed_by_index, text, kCode, true, r.d->match_i, kSens, r.given.data(), r.ntok(), r.o),
      ROW(tq_match_multiple_sens_parsed, codes, kCode, true, r.match(), kTwoSens, 2, r.given.data(), r.ntok(),
          r.codes),
      ROW(tq_match_multiple_sens_parsed_by_index, codes, kCode, true, r.d->match_i, kTwoSens, 2, r.given.data(),
          r.ntok(), r.codes),
      ROW(tq_match_exact, text, kExact, false, r.v, 256, r.o),
      ROW(tq_match_exact_no_pad, text, kExact, false, r.v, 256, r.o),

      ROW(tq_match_multicode, block, 0, true, r.match(), kSens, r.v, r.block(), r.num),
      ROW(tq_match_with_info_multicode, block, 0, true, r.match(), kSens, r.v, r.block(), r.num, r.minfo),
      ROW(tq_match_by_index_multicode, block, 0, true, r.d->match_i, kSens, r.v, r.block(), r.num),
      ROW(tq_match_by_index_with_info_multicode, block, 0, true, r.d->match_i, kSens, r.v, r.block(), r.num, r.minfo),
      ROW(tq_match_multiple_sens_multicode, block, 0, true, r.match(), &kSens, 1, r.v, r.block(), r.num),
      ROW(tq_match_multiple_sens_by_index_multicode, block, 0, true, r.d->match_i, &kSens, 1, r.v, r.block(), r.num),
      ROW(tq_match_parsed_multicode, block, 0, true, r.match(), kSens, r.given.data(), r.ntok(), r.block(), r.num),
      ROW(tq_match_parsed_with_info_multicode, block, 0, true, r.match(), kSens, r.given.data(), r.ntok(), r.block(),
          r.num, r.minfo),
      ROW(tq_match_parsed_by_index_multicode, block, 0, true, r.d->match_i, kSens, r.given.data(), r.ntok(),
          r.block(), r.num),
      ROW(tq_match_multiple_sens_parsed_multicode, block, 0, true, r.match(), &kSens, 1, r.given.data(), r.ntok(),
          r.block(), r.num),
      ROW(tq_match_multiple_sens_parsed_by_index_multicode, block, 0, true, r.d->match_i, &kSens, 1, r.given.data(),
          r.ntok(), r.block(), r.num),

      ROW(tq_gender_determine, text, kGenderOut, true, r.gender(), r.v, r.o),
      ROW(tq_gender_determine_with_info, text, kGenderOut, true, r.gender(), r.v, r.o, r.ginfo),
      ROW(tq_gender_determine_by_index, text, kGenderOut, true, r.d->gender_i, r.v, r.o),
      ROW(tq_gender_determine_parsed, text, kGenderOut, true, r.gender(), r.given.data(), r.itok(), r.o),
      ROW(tq_gender_determine_parsed_with_info, text, kGenderOut, true, r.gender(), r.given.data(), r.itok(), r.o,
          r.ginfo),
      ROW(tq_gender_determine_parsed_by_index, text, kGenderOut, true, r.d->gender_i, r.given.data(), r.itok(), r.o),

      ROW(tq_identify, text, 1028, false, r.name(), r.v, r.o),
      ROW(tq_identify_by_index, text, 1028, false, r.d->ident, r.v, r.o),
      ROW(tq_identify_with_info, text, 1028, false, r.name(), r.v, r.o, r.iinfo),

      ROW(tq_extract, extracted, 0, false, r.d->contact.c_str(), r.v, r.extracted.data(), &r.n),
      ROW(tq_extract_by_index, extracted, 0, false, r.d->extract, r.v, r.extracted.data(), &r.n),
      ROW(tq_extract_with_info, extracted, 0, false, r.d->contact.c_str(), r.v, r.extracted.data(), &r.n, r.xinfo),
      ROW(tq_extract_by_index_with_info, extracted, 0, false, r.d->extract, r.v, r.extracted.data(), &r.n, r.xinfo),

      ROW(tq_pattern_analyze, text, 1028, false, r.d->pattern.c_str(), r.v, r.o),
      ROW(tq_pattern_analyze_by_index, text, 1028, false, r.d->patrn, r.v, r.o),
      ROW(tq_pattern_analyze_by_index_with_info, text, 1028, false, r.d->patrn, r.v, r.o, r.pinfo),

      ROW(tq_parse, parsed, 0, false, r.name(), r.v, r.parsed.data(), &r.n),
      ROW(tq_parse_by_index, parsed, 0, false, r.d->parse, r.v, r.parsed.data(), &r.n),
      ROW(tq_parse_nonsurfaced, parsed, 0, false, r.name(), r.v, r.parsed.data(), &r.n),
      ROW(tq_parse_with_info, parsed, 0, false, r.name(), r.v, r.parsed.data(), &r.n, r.painfo),
      ROW(tq_parse_with_info_nonsurfaced, parsed, 0, false, r.name(), r.v, r.parsed.data(), &r.n, r.painfo),
      ROW(tq_parse_with_info_by_index, parsed, 0, false, r.d->parse, r.v, r.parsed.data(), &r.n, r.painfo),

      ROW(tq_guess_locale, none, 0, false, r.d->language.c_str(), r.v, kLocales, nullptr, 1, &r.u),
      ROW(tq_guess_locale_by_index, none, 0, false, r.d->guess, r.v, kLocales, nullptr, 1, &r.u),
      ROW(tq_guess_locale_with_info, none, 0, false, r.d->language.c_str(), r.v, kLocales, nullptr, 1, &r.u,
          r.guinfo),
      ROW(tq_guess_locale_by_index_with_info, none, 0, false, r.d->guess, r.v, kLocales, nullptr, 1, &r.u, r.guinfo),
      ROW(tq_guess_locale_score, none, 0, false, r.d->language.c_str(), r.v, kLocales[0], &r.u),
      ROW(tq_guess_locale_score_by_index, none, 0, false, r.d->guess, r.v, kLocales[0], &r.u),
      ROW(tq_guess_locale_score_with_info, none, 0, false, r.d->language.c_str(), r.v, kLocales[0], &r.u, r.guinfo),
      ROW(tq_guess_locale_score_by_index_with_info, none, 0, false, r.d->guess, r.v, kLocales[0], &r.u, r.guinfo),
      ROW(tq_locale_guess, none, 0, false, r.d->language.c_str(), r.v, kLocales, 1, &r.u),
      ROW(tq_locale_guess_by_index, none, 0, false, r.d->guess, r.v, kLocales, 1, &r.u),
      ROW(tq_locale_score, none, 0, false, r.d->language.c_str(), r.v, kLocales[0], &r.u),
      ROW(tq_locale_score_by_index, none, 0, false, r.d->guess, r.v, kLocales[0], &r.u),
      ROW(tq_language_guess_score, none, 0, false, r.d->english.c_str(), r.v, &r.i),
      ROW(tq_language_guess_score_with_info, none, 0, false, r.d->english.c_str(), r.v, &r.i, r.linfo),
      ROW(tq_language_guess_score_by_index, none, 0, false, r.d->lang, r.v, &r.i),
      ROW(tq_language_guess_score_by_index_with_info, none, 0, false, r.d->lang, r.v, &r.i, r.linfo),

      {"tq_chop_string", Out::words, 0,
       [](Call& r) { return tq_chop_string(r.ctx, r.chopper, r.v, r.words.data(), &r.n); }, false, kChopTooLong},
      {"tq_chop_string_with_info", Out::words, 0,
       [](Call& r) {
         tq_chop_info* info = nullptr;
         if (tq_chop_info_init(r.ctx, &info) != 0) return -1;
         const int32_t rc = tq_chop_string_with_info(r.ctx, r.chopper, r.v, r.words.data(), &r.n, info);
         tq_chop_info_free(r.ctx, info);
         return rc;
       },
       false, kChopTooLong},
      ROW(tq_phonetx_execute, text, 1028, false, r.phonetx, r.v, r.o, 1028),
      // The schemes: [0] by phrase, [1] by element, [2] keyed by match codes.
      ROW(tq_transf_scheme_apply, text, 1028, false, r.schemes[0], r.v, r.o, 1028, &r.i),
      ROW(tq_transf_scheme_apply, text, 1028, false, r.schemes[1], r.v, r.o, 1028, &r.i),
      ROW(tq_transf_scheme_apply, text, 1028, false, r.schemes[2], r.v, r.o, 1028, &r.i),
      ROW(tq_transf_scheme_apply_mult_out, codes, 1028, false, r.schemes[0], r.v, 2, 1028, r.codes, &r.n),
      ROW(tq_transf_scheme_apply_mult_out, codes, 1028, false, r.schemes[1], r.v, 2, 1028, r.codes, &r.n),
      ROW(tq_regexlib_match, none, 0, false, r.regexlib, r.v, &r.i),
      ROW(tq_regexlib_match_and_replace, text, 1028 + 2, false, r.regexlib, r.v, r.o, &r.i),
      ROW(tq_ngram_profile_update, none, 0, false, r.profile, r.v, 1),
  };
  return list;
}
#undef CASE_ROWS
#undef ROW

// The sample in edit mode, every part of ENUSA loaded, the resources the
// rows apply loaded, and copies "Edited" of the match and gender definitions
// "Name" at their limits: the match copy with preprocessing schemes (a
// phrase and an element scheme), the gender copy with values of 4 bytes (a
// default of two two-byte letters, and categories whose values take 4
// bytes) and its regex libraries' values the same.
class Sample {
 public:
  tq_test::SampleKbCopy dir;
  Context ctx{dir.path().c_str(), true};
  Call run{};
  int32_t index[10] = {};
  int32_t edited_match = -1, edited_gender = -1;
  tq_match_multicode_entry* blocks[2] = {};

  Sample() {
    EXPECT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
    EXPECT_EQ(tq_zel_locale_load(ctx, tq_test::kSampleEnusa, tq_test::kEveryPart), 0) << tq_test::error_list_text(ctx);
    using find_fn = int32_t (*)(tq_context*, const char*, int32_t*);
    const std::pair<find_fn, const char*> defns[10] = {
        {tq_case_defn_index_get_by_name, "Name"},          {tq_stdzn_defn_index_get_by_name, "Name"},
        {tq_parse_defn_index_get_by_name, "Name"},         {tq_identification_defn_index_get_by_name, "Name"},
        {tq_extraction_defn_index_get_by_name, "Contact"}, {tq_patrn_defn_index_get_by_name, "Pattern"},
        {tq_guess_defn_index_get_by_name, "Language"},     {tq_lang_defn_index_get_by_name, "English"},
        {tq_match_defn_index_get_by_name, "Name"},         {tq_gender_defn_index_get_by_name, "Name"}};
    for (size_t k = 0; k < 10; ++k) EXPECT_TQ_OK(ctx, defns[k].first(ctx, defns[k].second, &index[k]));
    tq_context* c = ctx;
    run.ctx = c;
    EXPECT_TQ_OK(c, tq_chopper_load(c, "en_name", &run.chopper));
    EXPECT_TQ_OK(c, tq_phonetx_load(c, "en_name_sound", &run.phonetx));
    EXPECT_TQ_OK(c, tq_regexlib_load(c, "en_name_fold", nullptr, &run.regexlib));
    // The schemes by data keep equal data, as apply_mult_out needs (one
    // keyed by match codes cannot).
    const int32_t phrase = TQ_SCHEME_DUPLICATES | TQ_SCHEME_CASE_INSENSITIVE;
    EXPECT_TQ_OK(c, tq_transf_scheme_load(c, "en_given_variants", phrase, -1, 0, &run.schemes[0]));
    EXPECT_TQ_OK(c, tq_transf_scheme_load(c, "en_name_case", phrase | TQ_SCHEME_ELEMENT, -1, 0, &run.schemes[1]));
    EXPECT_TQ_OK(c, tq_transf_scheme_load(c, "en_nickname", TQ_SCHEME_MATCH_KEYED, index[8], 85, &run.schemes[2]));
    EXPECT_EQ(tq_ngram_profile_create(c, &run.profile), 0);
    EXPECT_EQ(tq_case_info_init(c, &run.cinfo), 0);
    EXPECT_EQ(tq_stand_info_init(c, &run.sinfo), 0);
    EXPECT_EQ(tq_match_info_init(c, &run.minfo), 0);
    EXPECT_EQ(tq_gender_info_init(c, &run.ginfo), 0);
    EXPECT_EQ(tq_ident_info_init(c, &run.iinfo), 0);
    EXPECT_EQ(tq_extract_info_init(c, &run.xinfo), 0);
    EXPECT_EQ(tq_patrn_info_init(c, &run.pinfo), 0);
    EXPECT_EQ(tq_parse_info_init(c, &run.painfo), 0);
    EXPECT_EQ(tq_guess_info_init(c, &run.guinfo), 0);
    EXPECT_EQ(tq_language_guess_info_init(c, &run.linfo), 0);

    EXPECT_TQ_OK(c, tq_match_defn_copy(c, "Name", "Edited", &edited_match));
    EXPECT_TQ_OK(c, tq_match_defn_scheme_add(c, edited_match, "en_nickname", TQ_SCHEME_CASE_INSENSITIVE));
    EXPECT_TQ_OK(
        c, tq_match_defn_scheme_add(c, edited_match, "en_name_case", TQ_SCHEME_ELEMENT | TQ_SCHEME_CASE_INSENSITIVE));
    EXPECT_TQ_OK(c, tq_gender_defn_copy(c, "Name", "Edited", &edited_gender));
    EXPECT_TQ_OK(c, tq_gender_defn_values_delete_all(c, edited_gender));
    EXPECT_TQ_OK(c, tq_gender_defn_value_add(c, edited_gender, "MALE", "Male", 0));
    EXPECT_TQ_OK(c, tq_gender_defn_value_add(c, edited_gender, "FEMA", "Female", 0));
    EXPECT_TQ_OK(c, tq_gender_defn_value_add(c, edited_gender, "\xC3\x89\xC3\x89", "Unknown", 1));
    for (int32_t token = 0; token < 2; ++token) {
      EXPECT_TQ_OK(c, tq_gender_defn_token_categories_delete_all(c, edited_gender, token));
      EXPECT_TQ_OK(c, tq_gender_defn_token_category_add(c, edited_gender, token, "MALE", "MALE"));
      EXPECT_TQ_OK(c, tq_gender_defn_token_category_add(c, edited_gender, token, "FEMALE", "FEMA"));
    }
    EXPECT_TQ_OK(c, tq_gender_defn_token_regexlib_info_set(c, edited_gender, 0, 0, "en_gender_female", "FEMA"));
    EXPECT_TQ_OK(c, tq_gender_defn_token_regexlib_info_set(c, edited_gender, 0, 1, "en_gender_male", "MALE"));
    EXPECT_TQ_OK(c, tq_match_multicode_output_create(c, "Name", &blocks[0]));
    EXPECT_TQ_OK(c, tq_match_multicode_output_create(c, "Edited", &blocks[1]));
  }
  ~Sample() {
    tq_context* c = ctx;
    tq_ngram_profile_free(c, run.profile);
    tq_case_info_free(c, run.cinfo);
    tq_stand_info_free(c, run.sinfo);
    tq_match_info_free(c, run.minfo);
    tq_gender_info_free(c, run.ginfo);
    tq_ident_info_free(c, run.iinfo);
    tq_extract_info_free(c, run.xinfo);
    tq_patrn_info_free(c, run.pinfo);
    tq_parse_info_free(c, run.painfo);
    tq_guess_info_free(c, run.guinfo);
    tq_language_guess_info_free(c, run.linfo);
    for (tq_match_multicode_entry* b : blocks) tq_match_multicode_output_destroy(c, b);
  }

  // The definitions by name in `encoding`, the match and gender roads' own
  // either the sample's or the edited copies.
  Defns defns(uint32_t encoding, bool edited) const {
    const auto w = [encoding](const char16_t* text) { return ucs2(text, encoding); };
    return Defns{w(u"Name"),
                 w(u"Contact"),
                 w(u"Pattern"),
                 w(u"English"),
                 w(u"Language"),
                 w(edited ? u"Edited" : u"Name"),
                 w(edited ? u"Edited" : u"Name"),
                 index[0],
                 index[1],
                 index[2],
                 index[3],
                 index[4],
                 index[5],
                 index[6],
                 index[7],
                 edited ? edited_match : index[8],
                 edited ? edited_gender : index[9],
                 blocks[edited ? 1 : 0]};
  }
};

// Whether nothing past a row's text outputs was touched and, after a call
// that did not fail (a failure need not write them), its outputs end within
// their sizes; a failure names what.
::testing::AssertionResult outputs_hold(const Row& row, const Call& r, int32_t rc) {
  const size_t texts = row.out == Out::codes ? 2 : row.out == Out::text ? 1 : 0;
  for (size_t t = 0; t < texts; ++t) {
    const std::vector<char>& text = r.texts[t];
    if (rc >= 0 && !ends_within(text.data(), row.size)) {
      return ::testing::AssertionFailure() << "text " << t << " has no terminator";
    }
    if (!std::all_of(text.begin() + row.size, text.end(), [](char ch) { return ch == 'z'; })) {
      return ::testing::AssertionFailure() << "text " << t << " written past its " << row.size << " bytes";
    }
  }
  const size_t n = rc < 0 ? 0 : r.n;
  for (size_t k = 0; row.out == Out::parsed && k < std::min(n, r.parsed.size()); ++k) {
    if (!ends_within(r.parsed[k].value, TQ_PARSE_VALUE_SIZE)) return ::testing::AssertionFailure() << "token " << k;
  }
  for (size_t k = 0; row.out == Out::extracted && k < std::min(n, r.extracted.size()); ++k) {
    if (!ends_within(r.extracted[k].value, TQ_EXTRACT_VALUE_SIZE)) {
      return ::testing::AssertionFailure() << "token " << k;
    }
  }
  for (size_t k = 0; row.out == Out::words && k < std::min(n, r.words.size()); ++k) {
    if (!ends_within(r.words[k], TQ_CHOP_WORD_MAX + 2)) return ::testing::AssertionFailure() << "word " << k;
  }
  // Multicode codes are UTF-8 but for a whole-value code: some zero ends each.
  for (uint32_t k = 0; row.out == Out::block && rc >= 0 && k < std::min<uint32_t>(r.num[0], 32); ++k) {
    if (std::memchr(r.d->block[k].code, 0, TQ_MATCH_MULTICODE_TEXT_SIZE) == nullptr) {
      return ::testing::AssertionFailure() << "code " << k;
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(Ucs2Limits, EveryValueRoadKeepsItsBuffers) {
  Sample sample;
  Call& r = sample.run;
  const struct {
    const char* what;
    std::u16string text;
  } values[] = {
      {"a word of 1,023 characters", std::u16string(1023, u'x')},
      {"a word of 1,024 characters", std::u16string(1024, u'x')},
      {"a word of 1,025 characters", std::u16string(1025, u'x')},
      {"512 two-byte letters", std::u16string(512, u'\u00E9')},
      {"130 short words", repeated(u"al ", 390)},
      {"a nickname the schemes lengthen", u"bill " + std::u16string(1019, u'x')},
      {"words the schemes and libraries change", repeated(u"Bill van der Mcdonald J\u00FCrgen Jr. ", 264)},
  };
  for (const uint32_t encoding : {TQ_ENC_UCS2_BE, TQ_ENC_UCS2_LE}) {
    ASSERT_EQ(tq_session_encoding_set(r.ctx, encoding), 0);
    const Defns sample_defns = sample.defns(encoding, false), edited_defns = sample.defns(encoding, true);
    for (const auto& value : values) {
      const std::string v = ucs2(value.text, encoding);
      r.v = v.c_str();
      // The parsed forms' tokens: every datatype token holds as much of the
      // value as its field takes.
      r.given.assign(5, tq_parse_token{});
      for (int32_t k = 0; k < 5; ++k) {
        r.given[k].index = k;
        std::memcpy(r.given[k].value, v.data(), std::min(v.size() - 2, sizeof r.given[k].value - 2));
      }
      for (const Defns* d : {&sample_defns, &edited_defns}) {
        r.d = d;
        for (size_t at = 0; at < rows().size(); ++at) {
          const Row& row = rows()[at];
          if (d == &edited_defns && !row.edited) continue;
          // Every output holds no terminator before the call.
          for (std::vector<char>& text : r.texts) std::fill(text.begin(), text.end(), 'z');
          std::memset(r.parsed.data(), 'z', r.parsed.size() * sizeof r.parsed[0]);
          std::memset(r.extracted.data(), 'z', r.extracted.size() * sizeof r.extracted[0]);
          std::memset(r.words.data(), 'z', r.words.size() * sizeof r.words[0]);
          r.n = static_cast<uint32_t>(std::max(r.parsed.size(), r.words.size()));
          if (row.out == Out::parsed || row.out == Out::extracted) r.n = TQ_PARSE_TOKENS;
          r.num[0] = r.num[1] = 0;
          const int32_t rc = row.call(r);
          const std::string where = "row " + std::to_string(at) + " " + row.name +
                                    (d == &edited_defns ? " (edited)" : "") + ", " +
                                    (encoding == TQ_ENC_UCS2_BE ? "UCS-2 BE" : "UCS-2 LE") + ", " + value.what;
          EXPECT_TRUE(rc >= 0 || (row.refused != 0 && rc == row.refused)) << where << ": " << rc << "\n"
                                                                          << tq_test::ucs2_error_text(r.ctx, 0);
          EXPECT_TRUE(outputs_hold(row, r, rc)) << where;
        }
      }
    }
  }
}

}  // namespace

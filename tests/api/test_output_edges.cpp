// What a caller finds in its outputs at the edges: a text cut to the
// caller's size, a value cut to the engines' length or a text an engine cut
// on the way is told by the warning 102 and a message, and a call that fails leaves no old text of the
// caller's in its outputs.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/sample_locales.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::Context;

constexpr uint32_t kAllDefns = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_MATCH_DEFNS | TQ_LOAD_CASE_DEFNS |
                               TQ_LOAD_STDZN_DEFNS | TQ_LOAD_IDENT_DEFNS | TQ_LOAD_GENDER_DEFNS;

void load_sample(tq_context* ctx) {
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, kAllDefns), 0) << tq_test::error_list_text(ctx);
}

bool has_message(tq_context* ctx, const std::string& part) {
  return tq_test::error_list_text(ctx).find(part) != std::string::npos;
}

// Text outputs given a small size: cut between characters with 102 and a
// message naming the export; a text that just fits gives 0 and no message.
TEST(OutputEdges, OutputCutToTheCallersSizeIsTold) {
  Context ctx(TQ_SAMPLE_KB);
  load_sample(ctx);
  struct Row {
    const char* name;
    std::function<int32_t(char*, int32_t)> call;
    int32_t size;
    int32_t rc;
    const char* out;
  };
  const std::vector<Row> rows = {
      {"tq_uppercase", [&](char* o, int32_t n) { return tq_uppercase(ctx, nullptr, "john smith", o, n); }, 5, 102,
       "JOHN"},
      {"tq_uppercase", [&](char* o, int32_t n) { return tq_uppercase(ctx, nullptr, "john smith", o, n); }, 11, 0,
       "JOHN SMITH"},
      {"tq_uppercase", [&](char* o, int32_t n) { return tq_uppercase(ctx, nullptr, "stra\xc3\x9f" "e", o, n); }, 7,
       102, "STRASS"},
      {"tq_lowercase_by_index",
       [&](char* o, int32_t n) { return tq_lowercase_by_index(ctx, -1, "JOHN SMITH", o, n); }, 5, 102, "john"},
      {"tq_propercase", [&](char* o, int32_t n) { return tq_propercase(ctx, "Name", "john smith", o, n); }, 5, 102,
       "John"},
      {"tq_propercase", [&](char* o, int32_t n) { return tq_propercase(ctx, "Name", "john smith", o, n); }, 11, 0,
       "John Smith"},
      {"tq_propercase_nonsurfaced",
       [&](char* o, int32_t n) { return tq_propercase_nonsurfaced(ctx, "Name", "john o'neil", o, n); }, 9, 102,
       nullptr},
      {"tq_path_get", [&](char* o, int32_t n) { return tq_path_get(ctx, o, static_cast<uint32_t>(n)); }, 5, 102,
       nullptr},
  };
  for (const Row& r : rows) {
    char out[1100];
    std::memset(out, 'z', sizeof out);
    const int32_t rc = r.call(out, r.size);
    EXPECT_EQ(rc, r.rc) << r.name << " size " << r.size << "\n" << tq_test::error_list_text(ctx);
    EXPECT_LT(std::strlen(out), static_cast<size_t>(r.size)) << r.name;
    if (r.out != nullptr) {
      EXPECT_STREQ(out, r.out) << r.name << " size " << r.size;
    }
    EXPECT_EQ(has_message(ctx, std::string("An output of ") + r.name + " was cut"), r.rc == 102) << r.name;
  }
  // A getter of a fixed size whose text fits is untouched by all this.
  char name[TQ_ENCODING_NAME_MAX + 1];
  EXPECT_EQ(tq_session_encoding_name_get(ctx, name), 0);
  EXPECT_STREQ(name, "UTF-8");
  uint32_t count = 9;
  EXPECT_EQ(tq_error_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 0u);
  // The needed size is in the message: a UCS-2 caller's text takes two
  // bytes a character.
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UCS2_LE), 0);
  const char in[] = {'a', 0, 'b', 0, 'c', 0, 0, 0};
  char out[8];
  EXPECT_EQ(tq_uppercase(ctx, nullptr, in, out, 6), 102);
  EXPECT_EQ(std::memcmp(out, "A\0B\0\0\0", 6), 0);
  // (The message comes in the session encoding too: ASCII, one byte a unit.)
  int32_t code = 0;
  const std::string message = tq_test::ucs2_error_text(ctx, 0, &code);
  EXPECT_EQ(code, 102);
  EXPECT_NE(message.find("cut to fit 4 bytes; the whole text needs 6 bytes"), std::string::npos) << message;
}

// A 2,011-byte name loses its family name to the engines' 1,024 bytes: every
// value road tells it (102, whatever the engine's own warning), and strict
// conversion still refuses a character it cannot convert.
TEST(OutputEdges, ValueCutToTheEnginesLengthIsTold) {
  Context ctx(TQ_SAMPLE_KB);
  load_sample(ctx);
  const std::string value = "john " + std::string(2000, 'x') + " jones";
  ASSERT_EQ(value.size(), 2011u);
  const char* v = value.c_str();
  std::vector<tq_parse_token> tokens(32);
  uint32_t count = 0;
  char out[1100];
  struct Row {
    const char* name;
    std::function<int32_t()> call;
  };
  const std::vector<Row> rows = {
      {"tq_parse", [&] { return tq_parse(ctx, "Name", v, tokens.data(), &count); }},
      {"tq_standardize", [&] { return tq_standardize(ctx, "Name", v, out); }},
      {"tq_match", [&] { return tq_match(ctx, "Name", 85, v, out); }},
      {"tq_propercase", [&] { return tq_propercase(ctx, "Name", v, out, 1024); }},
      {"tq_uppercase", [&] { return tq_uppercase(ctx, nullptr, v, out, 1028); }},
      {"tq_identify", [&] { return tq_identify(ctx, "Name", v, out); }},
      {"tq_gender_determine", [&] { return tq_gender_determine(ctx, nullptr, v, out); }},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(r.call(), 102) << r.name << "\n" << tq_test::error_list_text(ctx);
    EXPECT_TRUE(has_message(ctx, std::string("The value given to ") + r.name + " was cut to the engines' 1024 bytes"))
        << r.name << "\n" << tq_test::error_list_text(ctx);
  }
  // One byte over says so in the singular.
  const std::string over = std::string(1025, 'x');
  EXPECT_EQ(tq_uppercase(ctx, nullptr, over.c_str(), out, 1028), 102);
  EXPECT_TRUE(has_message(ctx, "cut to the engines' 1024 bytes (UTF-8); 1 byte was left out."))
      << tq_test::error_list_text(ctx);
  // A value that just fits is whole.
  const std::string fits = "john " + std::string(1019, 'x');
  EXPECT_EQ(tq_uppercase(ctx, nullptr, fits.c_str(), out, 1028), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(std::strlen(out), 1024u);
  // In UCS-2 the standardized start of the cut value takes more than the
  // output's room: that cut cannot know how long the whole standardized
  // value is, and says it is longer.
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UCS2_LE), 0);
  const std::string wide = tq_test::ucs2le(value);
  std::vector<char> standard(TQ_STANDARD_SIZE);
  EXPECT_EQ(tq_standardize(ctx, tq_test::ucs2le("Name").c_str(), wide.data(), standard.data()), 102);
  const std::string told = tq_test::ucs2_error_list_text(ctx);
  EXPECT_NE(told.find("The value given to tq_standardize was cut"), std::string::npos) << told;
  EXPECT_NE(told.find("An output of tq_standardize was cut to fit 1026 bytes; the whole text is longer."),
            std::string::npos)
      << told;
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  tq_options_set(ctx, 1 | TQ_OPT_STRICT_CONVERSION);
  const std::string bad = "\xff" + value;
  EXPECT_EQ(tq_match(ctx, "Name", 85, bad.c_str(), out), -10000);
  EXPECT_EQ(tq_standardize(ctx, "Name", bad.c_str(), out), -10000);
  EXPECT_EQ(tq_propercase(ctx, "Name", bad.c_str(), out, 1024), -10000);
}

// A value holding what the session cannot convert (a lone surrogate in a
// UCS-2 session), with the option that tells a replaced character: every
// value road says so with 116, the guessing calls too.
TEST(OutputEdges, ReplacedCharacterIsToldByEveryValueRoad) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840, tq_test::kEveryPart), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UCS2_LE), 0);
  tq_options_set(ctx, tq_options_get(ctx) | TQ_OPT_WARN_REPLACED);
  const std::string value = tq_test::ucs2le("John ").substr(0, 10) + std::string("\x00\xD8", 2) +
                            tq_test::ucs2le(" Smith");
  const char* v = value.c_str();
  auto name = [](const char* latin1) { return tq_test::ucs2le(latin1); };
  const std::string n_name = name("Name"), n_contact = name("Contact"), n_pattern = name("Pattern"),
                    n_english = name("English"), n_language = name("Language");
  const uint32_t locales[] = {29840};
  std::vector<tq_parse_token> tokens(TQ_PARSE_TOKENS);
  std::vector<tq_extract_token> extracted(TQ_EXTRACT_TOKENS);
  std::vector<char> out(TQ_STANDARD_SIZE);
  uint32_t count = 0;
  int32_t score = 0;
  struct Row {
    const char* name;
    std::function<int32_t()> call;
  };
  const std::vector<Row> rows = {
      {"tq_parse", [&] { return tq_parse(ctx, n_name.c_str(), v, tokens.data(), &count); }},
      {"tq_standardize", [&] { return tq_standardize(ctx, n_name.c_str(), v, out.data()); }},
      {"tq_match", [&] { return tq_match(ctx, n_name.c_str(), 85, v, out.data()); }},
      {"tq_propercase", [&] { return tq_propercase(ctx, n_name.c_str(), v, out.data(), 1024); }},
      {"tq_uppercase", [&] { return tq_uppercase(ctx, nullptr, v, out.data(), 1028); }},
      {"tq_identify", [&] { return tq_identify(ctx, n_name.c_str(), v, out.data()); }},
      {"tq_extract", [&] { return tq_extract(ctx, n_contact.c_str(), v, extracted.data(), &count); }},
      {"tq_gender_determine", [&] { return tq_gender_determine(ctx, n_name.c_str(), v, out.data()); }},
      {"tq_pattern_analyze", [&] { return tq_pattern_analyze(ctx, n_pattern.c_str(), v, out.data()); }},
      {"tq_language_guess_score", [&] { return tq_language_guess_score(ctx, n_english.c_str(), v, &score); }},
      {"tq_guess_locale",
       [&] { return tq_guess_locale(ctx, n_language.c_str(), v, locales, nullptr, 1, &count); }},
      {"tq_guess_locale_score", [&] { return tq_guess_locale_score(ctx, n_language.c_str(), v, 29840, &count); }},
  };
  for (const Row& r : rows) EXPECT_EQ(r.call(), TQ_WARN_CHAR_REPLACED) << r.name << "\n" << tq_test::ucs2_error_list_text(ctx);
}

// In a UCS-2 session a terminator takes two bytes. An output of a fixed size
// in all (a token's value field, a pattern, an info's text) holds the text
// that fits with that terminator: a 1,024-character value fills each one, is
// cut there with 102 and a message, and nothing lands past the size (for a
// token's field: in the next slot's index). The gender info's texts take at
// most 1,024 bytes of text.
TEST(OutputEdges, FixedSizeOutputsKeepTheUcs2TerminatorInside) {
  Context ctx(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_zel_locale_load(ctx, 29840,
                               kAllDefns | TQ_LOAD_PATTERN_DEFNS | TQ_LOAD_EXTRACT_DEFNS | TQ_LOAD_LANGUAGE_DEFNS),
            0)
      << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UCS2_LE), 0);
  const auto wide = tq_test::ucs2le;
  const std::string value = wide("john " + std::string(1019, 'x'));
  const std::string name = wide("Name"), pattern = wide("Pattern"), contact = wide("Contact"),
                    english = wide("English");
  const char* v = value.c_str();
  std::vector<tq_parse_token> parsed(TQ_PARSE_TOKENS);
  std::vector<tq_extract_token> extracted(TQ_EXTRACT_TOKENS);
  uint32_t n = 0;
  int32_t score = 0;
  char gender[8], token_name[TQ_DATATYPE_TOKEN_SIZE];
  tq_parse_info* pinfo = nullptr;
  tq_ident_info* iinfo = nullptr;
  tq_extract_info* xinfo = nullptr;
  tq_language_guess_info* linfo = nullptr;
  tq_gender_info* ginfo = nullptr;
  tq_morph_analyzer_info* morph = nullptr;
  ASSERT_EQ(tq_parse_info_init(ctx, &pinfo), 0);
  ASSERT_EQ(tq_ident_info_init(ctx, &iinfo), 0);
  ASSERT_EQ(tq_extract_info_init(ctx, &xinfo), 0);
  ASSERT_EQ(tq_language_guess_info_init(ctx, &linfo), 0);
  ASSERT_EQ(tq_gender_info_init(ctx, &ginfo), 0);
  // A token field: the slot the long word went to, copied out; the next
  // slot's index is still one the call gave (or -1).
  const auto field = [](const auto& slots, uint32_t count, char* out) {
    uint32_t k = 0;
    while (k + 1 < count && slots[k].value[0] != 'x') ++k;
    std::memcpy(out, slots[k].value, sizeof slots[k].value);
    EXPECT_GE(slots[k + 1].index, -1);
    EXPECT_LT(slots[k + 1].index, static_cast<int32_t>(count));
  };
  struct Row {
    const char* name;  // the export the cut message names
    uint32_t size;     // what tq.h gives it, terminator included
    std::function<int32_t(char*)> call;
  };
  // In order: the runs with an info come before the info's getters.
  const std::vector<Row> rows = {
      {"tq_parse_with_info", TQ_PARSE_VALUE_SIZE,
       [&](char* out) {
         const int32_t rc = tq_parse_with_info(ctx, name.c_str(), v, parsed.data(), &n, pinfo);
         field(parsed, n, out);
         return rc;
       }},
      {"tq_extract_with_info", TQ_EXTRACT_VALUE_SIZE,
       [&](char* out) {
         const int32_t rc = tq_extract_with_info(ctx, contact.c_str(), v, extracted.data(), &n, xinfo);
         field(extracted, n, out);
         return rc;
       }},
      {"tq_pattern_analyze", 1028, [&](char* out) { return tq_pattern_analyze(ctx, pattern.c_str(), v, out); }},
      {"tq_parse_info_preprocessed_string_get", 1028,
       [&](char* out) { return tq_parse_info_preprocessed_string_get(ctx, pinfo, out); }},
      {"tq_morph_analyzer_info_analyzed_word_string_get", 1028,
       [&](char* out) {
         EXPECT_EQ(tq_parse_info_morph_analyzer_info_get(ctx, pinfo, &morph), 0);
         return tq_morph_analyzer_info_analyzed_word_string_get(ctx, morph, 1, out);
       }},
      {"tq_extract_info_chopped_word_get", 1028,
       [&](char* out) { return tq_extract_info_chopped_word_get(ctx, xinfo, 1, out); }},
      {"tq_ident_info_chopped_word_get", 1028,
       [&](char* out) {
         EXPECT_GE(tq_identify_with_info(ctx, name.c_str(), v, token_name, iinfo), 0);
         return tq_ident_info_chopped_word_get(ctx, iinfo, 1, out);
       }},
      {"tq_language_guess_info_cased_string_get", 1028,
       [&](char* out) {
         EXPECT_GE(tq_language_guess_score_with_info(ctx, english.c_str(), v, &score, linfo), 0);
         return tq_language_guess_info_cased_string_get(ctx, linfo, out);
       }},
      {"tq_gender_info_token_info_get", 1024 + 2,
       [&](char* out) {
         EXPECT_GE(tq_gender_determine_with_info(ctx, nullptr, v, gender, ginfo), 0);
         return tq_gender_info_token_info_get(ctx, ginfo, 3, token_name, out);
       }},
  };
  for (const Row& r : rows) {
    std::vector<char> out(r.size + 8, 'z');
    EXPECT_EQ(r.call(out.data()), 102) << r.name << "\n" << tq_test::ucs2_error_text(ctx, 0);
    EXPECT_EQ(std::string(out.data() + r.size, 8), std::string(8, 'z')) << r.name << ": written past its size";
    size_t end = 0;
    while (end + 2 <= r.size && (out[end] != 0 || out[end + 1] != 0)) end += 2;
    EXPECT_EQ(end, r.size - 2) << r.name << ": the text fills the output and its terminator ends it";
    EXPECT_TRUE(tq_test::holds(tq_test::ucs2_error_text(ctx, 0),
                               "An output of " + std::string(r.name) + " was cut to fit " +
                                   std::to_string(r.size - 2) + " bytes"))
        << r.name;
  }
  EXPECT_EQ(tq_parse_info_free(ctx, pinfo), 0);
  EXPECT_EQ(tq_ident_info_free(ctx, iinfo), 0);
  EXPECT_EQ(tq_extract_info_free(ctx, xinfo), 0);
  EXPECT_EQ(tq_language_guess_info_free(ctx, linfo), 0);
  EXPECT_EQ(tq_gender_info_free(ctx, ginfo), 0);
}

// Match exports that fail before the '$' pre-fill (no locale, an unknown
// definition, NULL data, a character strict conversion refuses) leave an
// empty text in every code buffer, whatever the buffer held.
TEST(OutputEdges, FailedMatchLeavesNoStaleCode) {
  Context loaded(TQ_SAMPLE_KB);
  load_sample(loaded);
  Context bare(TQ_SAMPLE_KB);
  ASSERT_EQ(tq_session_encoding_set(bare, TQ_ENC_UTF8), 0);
  tq_match_info* info = nullptr;
  ASSERT_EQ(tq_match_info_init(loaded, &info), 0);
  tq_match_multicode_entry* block = nullptr;
  ASSERT_EQ(tq_match_multicode_output_create(loaded, "Name", &block), 0);

  struct Cause {
    const char* what;
    tq_context* ctx;
    const char* defn;  // by name
    int32_t index;     // by index
    const char* data;
    int32_t rc;        // by name; by index an unknown definition is -800
    bool strict;
  };
  const Cause causes[] = {
      {"no locale", bare, "Name", 0, "John Smith", TQ_ERR_NO_LOCALE, false},
      {"unknown definition", loaded, "Nope", 99, "John Smith", TQ_ERR_NAME, false},
      {"NULL data", loaded, "Name", 0, nullptr, TQ_ERR_ARGUMENT, false},
      {"strict conversion", loaded, "Name", 0, "Jo\xffhn Smith", TQ_ERR_INVALID_CHAR, true},
  };
  char a[TQ_MATCHCODE_SIZE], b[TQ_MATCHCODE_SIZE];
  char* codes[2] = {a, b};
  const uint32_t sens[2] = {85, 50};
  uint32_t num = 7;
  tq_parse_token tokens[1] = {{0, "Smith"}};
  struct Export {
    const char* name;
    bool by_index;
    std::function<int32_t(const Cause&)> call;
  };
  const auto data_token = [&](const Cause& c) {
    std::strcpy(tokens[0].value, c.data != nullptr ? c.data : "");
    return c.data != nullptr ? tokens : nullptr;
  };
  const std::vector<Export> exports = {
      {"tq_match", false, [&](const Cause& c) { return tq_match(c.ctx, c.defn, 85, c.data, a); }},
      {"tq_match_with_info", false,
       [&](const Cause& c) { return tq_match_with_info(c.ctx, c.defn, 85, c.data, a, info); }},
      {"tq_match_by_index", true, [&](const Cause& c) { return tq_match_by_index(c.ctx, c.index, 85, c.data, a); }},
      {"tq_match_by_index_with_info", true,
       [&](const Cause& c) { return tq_match_by_index_with_info(c.ctx, c.index, 85, c.data, a, info); }},
      {"tq_match_multiple_sens", false,
       [&](const Cause& c) { return tq_match_multiple_sens(c.ctx, c.defn, sens, 2, c.data, codes); }},
      {"tq_match_multiple_sens_by_index", true,
       [&](const Cause& c) { return tq_match_multiple_sens_by_index(c.ctx, c.index, sens, 2, c.data, codes); }},
      {"tq_match_parsed", false,
       [&](const Cause& c) { return tq_match_parsed(c.ctx, c.defn, 85, data_token(c), 1, a); }},
      {"tq_match_multiple_sens_parsed_by_index", true,
       [&](const Cause& c) {
         return tq_match_multiple_sens_parsed_by_index(c.ctx, c.index, sens, 2, data_token(c), 1, codes);
       }},
      {"tq_match_multicode", false,
       [&](const Cause& c) { return tq_match_multicode(c.ctx, c.defn, 85, c.data, &block, &num); }},
      {"tq_match_multiple_sens_by_index_multicode", true,
       [&](const Cause& c) {
         return tq_match_multiple_sens_by_index_multicode(c.ctx, c.index, sens, 1, c.data, &block, &num);
       }},
  };
  for (const Cause& c : causes) {
    tq_options_set(c.ctx, c.strict ? 1 | TQ_OPT_STRICT_CONVERSION : 1);
    for (const Export& e : exports) {
      std::strcpy(a, "STALE");
      std::strcpy(b, "STALE");
      std::strcpy(block[0].code, "STALE");
      block[0].score = 7.0;
      num = 7;
      const int32_t rc = e.call(c);
      const int32_t want = e.by_index && c.rc == TQ_ERR_NAME ? TQ_ERR_INDEX : c.rc;
      // The parsed forms take the caller's tokens as they are.
      if (std::strstr(e.name, "parsed") != nullptr && c.strict) {
        EXPECT_LT(rc, 0) << e.name << ", " << c.what;
      } else {
        EXPECT_EQ(rc, want) << e.name << ", " << c.what << "\n" << tq_test::error_list_text(c.ctx);
      }
      if (std::strstr(e.name, "multicode") != nullptr) {
        EXPECT_STREQ(block[0].code, "") << e.name << ", " << c.what;
        EXPECT_EQ(block[0].score, 0.0) << e.name << ", " << c.what;
        EXPECT_EQ(num, 0u) << e.name << ", " << c.what;
        continue;
      }
      EXPECT_STREQ(a, "") << e.name << ", " << c.what;
      if (std::strstr(e.name, "multiple_sens") != nullptr) {
        EXPECT_STREQ(b, "") << e.name << ", " << c.what;
      }
    }
    tq_options_set(c.ctx, 1);
  }
  // The same buffers then take codes as ever.
  EXPECT_EQ(tq_match(loaded, "Name", 85, "John Smith", a), 0) << tq_test::error_list_text(loaded);
  EXPECT_GT(std::strlen(a), 0u);
  EXPECT_EQ(std::string(a).find('$'), std::string::npos);
  EXPECT_EQ(tq_match_multicode_output_destroy(loaded, block), 0);
  EXPECT_EQ(tq_match_info_free(loaded, info), 0);
}

// The other value roads' text outputs keep no old text either, however the
// call fails: NULL data (refused before the call starts), an unknown
// definition, no locale.
TEST(OutputEdges, FailedValueRoadsLeaveEmptyOutputs) {
  Context loaded(TQ_SAMPLE_KB);
  load_sample(loaded);
  Context bare(TQ_SAMPLE_KB);
  char out[1100];
  int32_t n = 0;
  int32_t matched = 0;
  struct Row {
    const char* name;
    std::function<int32_t(tq_context*, const char*, const char*)> call;
  };
  const std::vector<Row> rows = {
      {"tq_standardize", [&](tq_context* c, const char* d, const char* v) { return tq_standardize(c, d, v, out); }},
      {"tq_identify", [&](tq_context* c, const char* d, const char* v) { return tq_identify(c, d, v, out); }},
      {"tq_gender_determine",
       [&](tq_context* c, const char* d, const char* v) { return tq_gender_determine(c, d, v, out); }},
      {"tq_pattern_analyze",
       [&](tq_context* c, const char* d, const char* v) { return tq_pattern_analyze(c, d, v, out); }},
      {"tq_propercase",
       [&](tq_context* c, const char* d, const char* v) { return tq_propercase(c, d, v, out, sizeof out); }},
      {"tq_uppercase_with_info",
       [&](tq_context* c, const char* d, const char* v) {
         return tq_uppercase_with_info(c, d, v, out, sizeof out, nullptr);
       }},
      {"tq_phonetx_execute",
       [&](tq_context* c, const char*, const char* v) { return tq_phonetx_execute(c, 99, v, out, sizeof out); }},
      {"tq_transf_scheme_apply",
       [&](tq_context* c, const char*, const char* v) {
         return tq_transf_scheme_apply(c, 99, v, out, sizeof out, &n);
       }},
      {"tq_regexlib_match_and_replace",
       [&](tq_context* c, const char*, const char* v) { return tq_regexlib_match_and_replace(c, 99, v, out, &matched); }},
  };
  for (const Row& r : rows) {
    struct Case {
      tq_context* ctx;
      const char* defn;
      const char* data;
    };
    for (const Case& k : {Case{loaded, "Name", nullptr}, Case{loaded, "Nope", "John Smith"},
                          Case{bare, "Name", "John Smith"}}) {
      std::strcpy(out, "STALE");
      EXPECT_LT(r.call(k.ctx, k.defn, k.data), 0) << r.name;
      EXPECT_STREQ(out, "") << r.name << " " << k.defn << (k.data == nullptr ? " NULL data" : "");
    }
  }
}

// True when the text is whole UTF-8 characters (a cut fell between them).
bool whole_characters(const std::string& text) {
  size_t k = 0;
  while (k < text.size()) {
    const auto lead = static_cast<unsigned char>(text[k]);
    const size_t n = lead < 0x80 ? 1 : lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 0;
    if (n == 0 || k + n > text.size()) return false;
    for (size_t j = 1; j < n; ++j) {
      if ((static_cast<unsigned char>(text[k + j]) & 0xc0) != 0x80) return false;
    }
    k += n;
  }
  return true;
}

// A value that fits the engines' 1,024 bytes but grows inside one past
// them (a nickname's standard form, a Greek letter that uppercases to three
// characters), or loses words past what a step looks at, is cut there: 102 before the engine's own warning, with a
// message naming the call and the step, and a text result that is the start
// of the whole one, between characters. A value of exactly 1,024 bytes that
// does not grow comes out whole.
TEST(OutputEdges, CutInsideAnEngineIsTold) {
  Context ctx(TQ_SAMPLE_KB);
  load_sample(ctx);
  std::string greek;
  while (greek.size() < 1024) greek += "\xce\x90";  // U+0390: uppercased, three characters of 6 bytes
  const std::string bill = "bill " + std::string(1019, 'x');
  // A family name of 70 particles: noise removal looks at 64 words only.
  std::string particles = "Mike";
  for (int k = 0; k < 70; ++k) particles += " van";
  particles += " Velt";
  // Schemes, phrase and element, whose one standard is the Greek text,
  // their outputs uppercased.
  int32_t schemes[2] = {-1, -1};
  for (uint32_t k = 0; k < 2; ++k) {
    const uint32_t options = TQ_SCHEME_OUT_UPPER | (k == 1 ? TQ_SCHEME_ELEMENT : 0u);
    ASSERT_EQ(tq_scheme_create_in_memory(ctx, k == 1 ? "element" : "phrase", options, &schemes[k]), 0);
    ASSERT_EQ(tq_scheme_import_record(ctx, schemes[k], "g", greek.c_str()), 0);
    ASSERT_GE(tq_scheme_import_end(ctx, schemes[k]), 0);
    ASSERT_EQ(tq_scheme_finalize_in_memory(ctx, schemes[k]), 0) << tq_test::error_list_text(ctx);
  }
  const int32_t scheme = schemes[0];
  const int32_t element = schemes[1];
  int32_t applied = 0;
  char out[1100];
  struct Row {
    const char* name;
    std::function<int32_t()> call;
    const char* message;  // after "In <name>, "
    const char* prefix;   // the result's start; NULL: the result is no text of the value
  };
  const std::vector<Row> rows = {
      {"tq_standardize", [&] { return tq_standardize(ctx, "Name", bill.c_str(), out); },
       "the joined text was cut to 1024 bytes (UTF-8); the whole text needs 1027 bytes.", "William Xxxxxxxxxx"},
      {"tq_standardize", [&] { return tq_standardize(ctx, "Name", greek.c_str(), out); },
       "the cased text was longer than the engines' 1024 bytes (UTF-8) and was cut to 1024 bytes; the whole text "
       "needs 1028 bytes.",
       "\xce\x99\xcc\x88\xcc\x81\xce\x90"},
      {"tq_match", [&] { return tq_match(ctx, "Name", 85, greek.c_str(), out); },
       "a token's uppercased value was cut to 1024 bytes (UTF-8); the whole text needs 3072 bytes.", nullptr},
      {"tq_match", [&] { return tq_match(ctx, "Name", 80, particles.c_str(), out); },
       "a token's value without its noise words was cut to 0 bytes (UTF-8); the whole text is longer.", nullptr},
      {"tq_transf_scheme_apply", [&] { return tq_transf_scheme_apply(ctx, scheme, "g", out, 1025, &applied); },
       "a scheme's cased output was cut to 1024 bytes (UTF-8); the whole text needs 3072 bytes.",
       "\xce\x99\xcc\x88\xcc\x81\xce\x99"},
      // Not in the scheme: the value itself, cut to the caller's 5 bytes.
      {"tq_transf_scheme_apply", [&] { return tq_transf_scheme_apply(ctx, scheme, "not held", out, 5, &applied); },
       "a scheme's output was cut to 4 bytes (UTF-8); the whole text needs 8 bytes.", nullptr},
      {"tq_transf_scheme_apply", [&] { return tq_transf_scheme_apply(ctx, element, "g", out, 1025, &applied); },
       "a scheme's cased output was cut to 1024 bytes (UTF-8); the whole text needs 3072 bytes.",
       "\xce\x99\xcc\x88\xcc\x81\xce\x99"},
      {"tq_transf_scheme_apply",
       [&] { return tq_transf_scheme_apply(ctx, element, "not held", out, 5, &applied); },
       "a scheme's output was cut to 4 bytes (UTF-8); the whole text needs 8 bytes.", nullptr},
  };
  for (const Row& r : rows) {
    const int32_t rc = r.call();
    const std::string errors = tq_test::error_list_text(ctx);
    EXPECT_EQ(rc, 102) << r.name << "\n" << errors;
    EXPECT_NE(errors.find(std::string("In ") + r.name + ", " + r.message), std::string::npos) << r.name << "\n"
                                                                                            << errors;
    uint32_t told = 0;
    EXPECT_EQ(tq_error_count_get(ctx, &told), 0);
    EXPECT_EQ(told, 1u) << r.name << ": one cut, one message\n" << errors;
    if (r.prefix == nullptr) continue;
    const std::string result = out;
    EXPECT_EQ(result.rfind(r.prefix, 0), 0u) << r.name << ": " << result.substr(0, 40);
    EXPECT_LE(result.size(), 1024u) << r.name;
    EXPECT_GT(result.size(), 1020u) << r.name;
    EXPECT_TRUE(whole_characters(result)) << r.name;
  }
  // A standard cut to the caller's 5 bytes and then uppercased past them
  // again: the second cut measures what the first kept, and says the whole
  // text is longer rather than giving that length.
  EXPECT_EQ(tq_transf_scheme_apply(ctx, scheme, "g", out, 5, &applied), 102);
  const std::string errors = tq_test::error_list_text(ctx);
  EXPECT_NE(errors.find("a scheme's standard was cut to 4 bytes (UTF-8); the whole text needs 1024 bytes."),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("a scheme's cased output was cut to 4 bytes (UTF-8); the whole text is longer."),
            std::string::npos)
      << errors;
  // 1,024 bytes that casing keeps at 1,024: whole, and nothing told.
  const std::string fits = "john " + std::string(1019, 'x');
  const int32_t rc = tq_standardize(ctx, "Name", fits.c_str(), out);
  EXPECT_TRUE(rc == 0 || rc == TQ_WARN_OUTPUT_EQUALS_INPUT) << rc << "\n" << tq_test::error_list_text(ctx);
  EXPECT_EQ(std::strlen(out), 1024u);
  EXPECT_EQ(std::string(out).rfind("John Xxxx", 0), 0u) << out;
}

}  // namespace

// Gender analysis definitions through their exports, on the gender
// knowledge base of tests/kb/gender (support/gender_kb.h): the default
// lookup, the named parse definition's tokens, gender values, token stop
// flags, substring categories and "Match Regexlibs" entries (whose setters
// leave the token as it was when a library cannot be opened, and whose
// delete_all empties the list even past an entry without library), the
// shared rows on kind 2, edit-mode refusals, and write.
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

#include "support/gender_kb.h"
#include "support/tq_test.h"

namespace {

using tq_test::GenderKb;

int32_t index_of(tq_context* ctx, const char* name) {
  int32_t index = -1;
  EXPECT_EQ(tq_gender_defn_index_get_by_name(ctx, name, &index), 0) << name;
  return index;
}

std::string value_info(tq_context* ctx, int32_t index, int32_t position) {
  char value[8] = "x", desc[1100] = "x";
  uint32_t dflt = 9;
  const int32_t rc = tq_gender_defn_value_info_get(ctx, index, position, value, desc, &dflt);
  if (rc < 0) return "rc " + std::to_string(rc) + (value[0] || desc[0] || dflt ? " with output" : "");
  return std::string(value) + "|" + desc + "|" + std::to_string(dflt);
}

std::string regexlib_info(tq_context* ctx, int32_t index, int32_t token, int32_t position) {
  char name[4100] = "x", value[8] = "x";
  const int32_t rc = tq_gender_defn_token_regexlib_info_get(ctx, index, token, position, name, value);
  if (rc < 0) return "rc " + std::to_string(rc) + (name[0] || value[0] ? " with output" : "");
  return std::string(name) + "|" + value;
}

std::string category_info(tq_context* ctx, int32_t index, int32_t token, int32_t position) {
  char name[100] = "x", value[8] = "x";
  const int32_t rc = tq_gender_defn_token_category_info_get(ctx, index, token, position, name, value);
  if (rc < 0) return "rc " + std::to_string(rc) + (name[0] || value[0] ? " with output" : "");
  return std::string(name) + "|" + value;
}

uint32_t regexlib_count(tq_context* ctx, int32_t index, int32_t token) {
  uint32_t count = 99;
  EXPECT_EQ(tq_gender_defn_token_regexlib_count_get(ctx, index, token, &count), 0);
  return count;
}

// The gender of caller-parsed tokens {datatype token index, value} by the
// definition at index (Given Name is token 1, Middle Name 2).
std::string determine(tq_context* ctx, int32_t index, std::initializer_list<std::pair<int32_t, const char*>> tokens) {
  tq_parse_token parsed[4] = {};
  int32_t n = 0;
  for (const auto& [key, value] : tokens) {
    parsed[n].index = key;
    std::strcpy(parsed[n].value, value);
    ++n;
  }
  char gender[8] = "x";
  const int32_t rc = tq_gender_determine_parsed_by_index(ctx, index, parsed, n, gender);
  return rc < 0 ? "rc " + std::to_string(rc) : gender;
}

std::string last_error(tq_context* ctx) {
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  if (count == 0) return "";
  int32_t code = 0;
  char text[TQ_ERROR_TEXT_MAX + 1] = "";
  tq_error_info_get_by_index(ctx, count - 1, &code, text);
  return text;
}

TEST(GenderDefnExports, ReadThroughTheSharedAndOwnRows) {
  GenderKb kb;
  tq_context* ctx = kb.ctx();
  const int32_t name = index_of(ctx, "Name");
  int32_t index = -1;
  EXPECT_EQ(tq_gender_defn_index_get_default(ctx, &index), 0);
  EXPECT_EQ(index, name);

  // The shared rows answer for kind 2.
  uint32_t flag = 9, count = 0;
  char text[400] = "";
  EXPECT_EQ(tq_gender_defn_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 7u);
  EXPECT_EQ(tq_gender_defn_parsed_input_flag_get(ctx, name, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_gender_defn_parsed_input_flag_get(ctx, index_of(ctx, "Strict"), &flag), 0);
  EXPECT_EQ(flag, 0u);
  EXPECT_EQ(tq_gender_defn_valid_get(ctx, index_of(ctx, "NoValues"), &flag), 0);
  EXPECT_EQ(flag, 0u);
  EXPECT_EQ(tq_gender_defn_vocabulary_name_get(ctx, name, text), 0);
  EXPECT_STREQ(text, "GNDR");
  EXPECT_EQ(tq_gender_defn_parse_defn_name_get(ctx, name, text), 0);
  EXPECT_STREQ(text, "Name");
  EXPECT_EQ(tq_gender_defn_token_count_get(ctx, name, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(tq_gender_defn_token_name_get(ctx, name, 1, text), 0);
  EXPECT_STREQ(text, "Middle Name");
  EXPECT_EQ(tq_gender_defn_automatic_uppercasing_get(ctx, name, 0, &flag), 0);
  EXPECT_EQ(flag, 1u);

  // The named parse definition's tokens; none named: -708.
  EXPECT_EQ(tq_gender_defn_parse_defn_token_count_get(ctx, name, &count), 0);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(tq_gender_defn_parse_defn_token_name_get(ctx, name, 3, text), 0);
  EXPECT_STREQ(text, "Family Name");
  int32_t key = -1;
  EXPECT_EQ(tq_gender_defn_parse_defn_token_key_get_by_name(ctx, name, "middle name", &key), 0);
  EXPECT_EQ(key, 2);
  const int32_t no_parse = index_of(ctx, "NoParse");
  EXPECT_EQ(tq_gender_defn_parse_defn_token_count_get(ctx, no_parse, &count), -708);
  EXPECT_EQ(tq_gender_defn_parse_defn_token_name_get(ctx, no_parse, 0, text), -708);
  EXPECT_EQ(tq_gender_defn_parse_defn_token_key_get_by_name(ctx, no_parse, "Given Name", &key), -708);
  EXPECT_EQ(key, -1);

  // Values, token parts, entries as read.
  EXPECT_EQ(tq_gender_defn_value_count_get(ctx, name, &count), 0);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(value_info(ctx, name, 0), "M|Male|0");
  EXPECT_EQ(value_info(ctx, name, 3), "X|Mixed|1");
  EXPECT_EQ(value_info(ctx, name, 4), "rc -800");
  EXPECT_EQ(value_info(ctx, name, -1), "rc -800");
  EXPECT_EQ(value_info(ctx, index_of(ctx, "Vertical"), 0).substr(0, 5), "Fema|");
  EXPECT_EQ(tq_gender_defn_token_stop_flag_get(ctx, name, 0, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_gender_defn_token_stop_flag_get(ctx, name, 1, &flag), 0);
  EXPECT_EQ(flag, 0u);
  EXPECT_EQ(tq_gender_defn_token_stop_flag_get(ctx, name, 2, &flag), -800);
  EXPECT_EQ(tq_gender_defn_token_category_count_get(ctx, name, 1, &count), 0);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(category_info(ctx, name, 1, 1), "FEMALE|F");
  EXPECT_EQ(category_info(ctx, name, 1, 2), "rc -800");
  EXPECT_EQ(regexlib_count(ctx, name, 0), 1u);
  EXPECT_EQ(regexlib_info(ctx, name, 0, 0), "FEM|F");
  EXPECT_EQ(regexlib_info(ctx, name, 0, 1), "rc -800");

  // Changes need edit mode.
  EXPECT_EQ(tq_gender_defn_token_stop_flag_set(ctx, name, 0, 0), -501);
  EXPECT_EQ(tq_gender_defn_value_add(ctx, name, "Z", "", 0), -501);
  EXPECT_EQ(tq_gender_defn_token_regexlib_add(ctx, name, 0, "FEM", "F"), -501);
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Test", "7.0", &doc), 0);
  EXPECT_EQ(tq_gender_defn_write(ctx, doc, name), -501);
  tq_xml_free(ctx, doc);
}

TEST(GenderDefnExports, DefaultLookupByLiteralNames) {
  GenderKb kb(true);
  tq_context* ctx = kb.ctx();
  const int32_t name = index_of(ctx, "Name");
  int32_t index = -1;
  // Under UCS-2 the literal names are still found: they are not converted.
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UCS2_LE), 0);
  EXPECT_EQ(tq_gender_defn_index_get_default(ctx, &index), 0);
  EXPECT_EQ(index, name);
  ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
  ASSERT_EQ(tq_gender_defn_name_set(ctx, name, "Gender"), 0);
  // The second name found, the first one's miss is no failure of the call.
  EXPECT_TQ_OK(ctx, tq_gender_defn_index_get_default(ctx, &index));
  EXPECT_EQ(index, name);
  ASSERT_EQ(tq_gender_defn_name_set(ctx, name, "Other"), 0);
  EXPECT_EQ(tq_gender_defn_index_get_default(ctx, &index), -801);
  EXPECT_EQ(index, -1);
  // Neither found: both misses are told.
  const std::string errors = tq_test::error_list_text(ctx);
  EXPECT_NE(errors.find("'Name'"), std::string::npos) << errors;
  EXPECT_NE(errors.find("'Gender'"), std::string::npos) << errors;
}

TEST(GenderDefnExports, ValuesAndCategoriesEdited) {
  GenderKb kb(true);
  tq_context* ctx = kb.ctx();
  const int32_t name = index_of(ctx, "Name");
  // The stop flag as given; the engine then goes on past Given Name, and
  // Mary (F) and John (M) tie: the last default.
  uint32_t flag = 9;
  EXPECT_EQ(determine(ctx, name, {{2, "John"}, {1, "Mary"}}), "F");
  EXPECT_EQ(tq_gender_defn_token_stop_flag_set(ctx, name, 0, 7), 0);  // a flag: kept as 1, as written
  EXPECT_EQ(tq_gender_defn_token_stop_flag_get(ctx, name, 0, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_gender_defn_token_stop_flag_set(ctx, name, 0, 0), 0);
  EXPECT_EQ(tq_gender_defn_token_stop_flag_get(ctx, name, 0, &flag), 0);
  EXPECT_EQ(flag, 0u);
  EXPECT_EQ(determine(ctx, name, {{2, "John"}, {1, "Mary"}}), "X");
  EXPECT_EQ(tq_gender_defn_token_stop_flag_set(ctx, name, 5, 1), -800);

  uint32_t count = 0;
  // An empty value is refused and adds nothing; so is one longer than 4
  // bytes ("Abc" and é, two bytes in UTF-8): a cut value is another value.
  EXPECT_EQ(tq_gender_defn_value_add(ctx, name, "", "Nothing", 0), -802);
  EXPECT_EQ(tq_gender_defn_value_add(ctx, name, "Female", "Women", 1), -802);
  EXPECT_EQ(tq_gender_defn_value_add(ctx, name, "Abc\xE9", "", 0), -802);
  EXPECT_EQ(tq_gender_defn_value_count_get(ctx, name, &count), 0);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(tq_gender_defn_value_add(ctx, name, "Fema", "Women", 1), 0);
  EXPECT_EQ(value_info(ctx, name, 4), "Fema|Women|1");
  EXPECT_EQ(tq_gender_defn_value_add(ctx, name, "Ab\xE9", "", 0), 0);
  EXPECT_EQ(value_info(ctx, name, 5), "Ab\xE9||0");
  EXPECT_EQ(tq_gender_defn_values_delete_all(ctx, name), 0);
  EXPECT_EQ(tq_gender_defn_value_count_get(ctx, name, &count), 0);
  EXPECT_EQ(count, 0u);

  // Categories: empty parts refused, so are a name over 80 bytes and a
  // value over 4.
  const std::string long_name(80, 'C');
  EXPECT_EQ(tq_gender_defn_token_category_add(ctx, name, 1, "", "M"), -802);
  EXPECT_EQ(tq_gender_defn_token_category_add(ctx, name, 1, "MALE", ""), -802);
  EXPECT_EQ(tq_gender_defn_token_category_add(ctx, name, 1, (long_name + "C").c_str(), "Fema"), -802);
  EXPECT_EQ(tq_gender_defn_token_category_add(ctx, name, 1, long_name.c_str(), "Female"), -802);
  EXPECT_EQ(tq_gender_defn_token_category_add(ctx, name, 1, long_name.c_str(), "Fema"), 0);
  EXPECT_EQ(category_info(ctx, name, 1, 2), std::string(80, 'C') + "|Fema");
  EXPECT_EQ(tq_gender_defn_token_category_add(ctx, name, 9, "MALE", "M"), -800);
  EXPECT_EQ(tq_gender_defn_token_categories_delete_all(ctx, name, 1), 0);
  EXPECT_EQ(tq_gender_defn_token_category_count_get(ctx, name, 1, &count), 0);
  EXPECT_EQ(count, 0u);

}

TEST(GenderDefnExports, MatchRegexlibEntriesKeepTheirReferences) {
  GenderKb kb(true);
  tq_context* ctx = kb.ctx();
  const int32_t name = index_of(ctx, "Name");
  // A library without a file: refused, nothing added.
  EXPECT_LT(tq_gender_defn_token_regexlib_add(ctx, name, 0, "Nosuch", "M"), 0);
  EXPECT_EQ(regexlib_count(ctx, name, 0), 1u);
  EXPECT_EQ(tq_gender_defn_token_regexlib_add(ctx, name, 0, "", "M"), -802);
  EXPECT_EQ(tq_gender_defn_token_regexlib_add(ctx, name, 0, "ENDN", ""), -802);
  EXPECT_EQ(tq_gender_defn_token_regexlib_add(ctx, name, 0, "ENDN", "Male"), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(regexlib_count(ctx, name, 0), 2u);
  EXPECT_EQ(regexlib_info(ctx, name, 0, 1), "ENDN|Male");

  // A set to a library that cannot be opened leaves the entry as it was,
  // still holding its library; a good one replaces library and value.
  EXPECT_LT(tq_gender_defn_token_regexlib_info_set(ctx, name, 0, 0, "Nosuch", "X"), 0);
  EXPECT_EQ(regexlib_info(ctx, name, 0, 0), "FEM|F");
  EXPECT_EQ(tq_gender_defn_token_regexlib_info_set(ctx, name, 0, 2, "FEM", "F"), -800);
  EXPECT_EQ(tq_gender_defn_token_regexlib_info_set(ctx, name, 0, 0, "ENDN", "X"), 0);
  EXPECT_EQ(regexlib_info(ctx, name, 0, 0), "ENDN|X");

  // A copy holds references of its own: after its source is unloaded its
  // entries still name their libraries, and its regexes still score.
  EXPECT_EQ(tq_gender_defn_token_regexlib_info_set(ctx, name, 0, 0, "FEM", "F"), 0);
  int32_t copy = -1;
  ASSERT_EQ(tq_gender_defn_copy(ctx, "Name", "Copy", &copy), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_gender_defn_valid_set(ctx, copy, 1), 0);
  ASSERT_EQ(tq_gender_defn_unload(ctx, name), 0);
  EXPECT_EQ(regexlib_info(ctx, copy, 0, 0), "FEM|F");
  EXPECT_EQ(regexlib_info(ctx, copy, 0, 1), "ENDN|Male");
  EXPECT_EQ(determine(ctx, copy, {{1, "Anna"}}), "F");

  // delete_all empties a list holding an entry whose library was never
  // opened (BadLib), and a second time finds nothing to do.
  const int32_t bad = index_of(ctx, "BadLib");
  EXPECT_EQ(regexlib_count(ctx, bad, 0), 2u);
  EXPECT_EQ(tq_gender_defn_token_regexlibs_delete_all(ctx, bad, 0), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(regexlib_count(ctx, bad, 0), 0u);
  EXPECT_EQ(tq_gender_defn_token_regexlibs_delete_all(ctx, bad, 0), 0);
  EXPECT_EQ(tq_gender_defn_token_regexlibs_delete_all(ctx, copy, 0), 0);
  EXPECT_EQ(regexlib_count(ctx, copy, 0), 0u);
}

TEST(GenderDefnExports, NormalizationSingleFormAndWrite) {
  GenderKb kb(true);
  tq_context* ctx = kb.ctx();
  const int32_t name = index_of(ctx, "Name");
  char text[4100] = "x";
  uint32_t count = 9;
  EXPECT_EQ(tq_gender_defn_normalization_regexlib_name_get(ctx, name, text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(tq_gender_defn_normalization_regexlib_add(ctx, name, "FEM"), 0);
  EXPECT_EQ(tq_gender_defn_normalization_regexlib_add(ctx, name, "ENDN"), 0);
  EXPECT_EQ(tq_gender_defn_normalization_regexlib_name_set(ctx, name, "StripPeriods"), 0);
  EXPECT_EQ(tq_gender_defn_normalization_regexlib_count_get(ctx, name, &count), 0);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(tq_gender_defn_normalization_regexlib_name_get(ctx, name, text), 0);
  EXPECT_STREQ(text, "StripPeriods");
  EXPECT_LT(tq_gender_defn_normalization_regexlib_name_set(ctx, name, "Nosuch"), 0);
  EXPECT_EQ(tq_gender_defn_normalization_regexlib_name_get(ctx, name, text), 0);
  EXPECT_STREQ(text, "StripPeriods");
  EXPECT_EQ(tq_gender_defn_normalization_regexlib_name_set(ctx, name, ""), 0);
  EXPECT_EQ(tq_gender_defn_normalization_regexlib_count_get(ctx, name, &count), 0);
  EXPECT_EQ(count, 0u);

  // Written as a "Gendorithm" include with the kind's own part.
  tq_xmldoc* doc = nullptr;
  ASSERT_EQ(tq_xml_create(ctx, "Test", "7.0", &doc), 0);
  EXPECT_EQ(tq_gender_defn_write(ctx, nullptr, name), -802);
  EXPECT_EQ(last_error(ctx), "'xml' is null.");
  EXPECT_EQ(tq_gender_defn_write(ctx, doc, name), 0) << tq_test::error_list_text(ctx);
  const std::string path = (kb.dir() / "written.xml").string();
  ASSERT_EQ(tq_xml_write(ctx, 0, path.c_str(), 8, doc), 0) << tq_test::error_list_text(ctx);
  tq_xml_free(ctx, doc);
  const std::string written = tq_test::read_file(path);
  for (const char* part : {"<include name=\"Gendorithm\">", "<file type=\"Gendorithm\" version=\"7.0\">",
                           "Gender Values", "Match Regexlibs", ">FEM<"}) {
    EXPECT_NE(written.find(part), std::string::npos) << part << "\n" << written;
  }
}

TEST(GenderDefnExports, DefinitionBuiltThroughTheExports) {
  GenderKb kb(true);
  tq_context* ctx = kb.ctx();
  int32_t index = -1, dt = -1, parse = -1, token = -1;
  ASSERT_EQ(tq_gender_defn_add(ctx, "Built", &index), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_datatype_index_get_by_name(ctx, "Name", &dt), 0);
  ASSERT_EQ(tq_parse_defn_index_get_by_name(ctx, "Name", &parse), 0);
  ASSERT_EQ(tq_gender_defn_datatype_index_set(ctx, index, dt), 0);
  ASSERT_EQ(tq_gender_defn_parse_defn_index_set(ctx, index, parse), 0);
  ASSERT_EQ(tq_gender_defn_parsed_input_flag_set(ctx, index, 1), 0);
  for (const auto& [value, dflt] : {std::pair{"M", 0u}, {"F", 0u}, {"U", 1u}, {"X", 1u}}) {
    ASSERT_EQ(tq_gender_defn_value_add(ctx, index, value, "", dflt), 0);
  }
  ASSERT_EQ(tq_gender_defn_token_add(ctx, index, &token), 0);
  ASSERT_EQ(tq_gender_defn_token_name_set(ctx, index, token, "Given Name"), 0) << tq_test::error_list_text(ctx);
  ASSERT_EQ(tq_gender_defn_token_category_add(ctx, index, token, "MALE", "M"), 0);
  ASSERT_EQ(tq_gender_defn_token_category_add(ctx, index, token, "FEMALE", "F"), 0);
  ASSERT_EQ(tq_gender_defn_token_regexlib_add(ctx, index, token, "FEM", "F"), 0);
  ASSERT_EQ(tq_gender_defn_token_stop_flag_set(ctx, index, token, 1), 0);
  ASSERT_EQ(tq_gender_defn_valid_set(ctx, index, 1), 0);
  uint32_t count = 0;
  EXPECT_EQ(tq_gender_defn_parse_defn_token_count_get(ctx, index, &count), 0);
  EXPECT_EQ(count, 5u);

  // Without vocabularies a token with a value has nothing to score with;
  // a value on no gender token decides nothing (the last default).
  EXPECT_EQ(determine(ctx, index, {{1, "John"}}), "rc -301");
  EXPECT_EQ(determine(ctx, index, {{3, "Smith"}}), "X");
  ASSERT_EQ(tq_gender_defn_vocabulary_add(ctx, index, "GNDR", 0), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(determine(ctx, index, {{1, "John"}}), "M");
  EXPECT_EQ(determine(ctx, index, {{1, "Anna"}}), "F");
  EXPECT_EQ(determine(ctx, index, {{1, "Jean"}}), "X");
}

}  // namespace

// Match definitions and their token lists through their exports: the
// fixture of tests/kb/match ("M": one token with positions only; "R": every
// list, a preprocessing scheme and a combination rule) read in edit mode,
// edited, written with the locale and loaded again.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/built_kb.h"

namespace {

using tq_test::Context;

constexpr int32_t kEn = 29000;
constexpr uint32_t kMask = TQ_LOAD_DATATYPES | TQ_LOAD_MATCH_DEFNS;
constexpr int32_t kM = 0;  // edit mode: the locale's own definitions in file order
constexpr int32_t kR = 1;

class MatchKb : public tq_test::BuiltKb {
 public:
  explicit MatchKb(bool edit_mode = true) {
    write_sources({{"match/locale/en.loc", "locale/en.loc"},
                   {"parse/locale/l1.loc", "locale/l1.loc"},
                   {"parse/regexlib/StripPeriods", "regexlib/StripPeriods"},
                   {"parse/regexlib/Initials", "regexlib/Initials"},
                   {"extract/scheme/Companies", "scheme/Companies.sch"},
                   {"match/phonetx/Sound", "phonetx/Sound"}});
    compile_vocab("parse/vocab/PersonName", "PersonName");
    open(kEn, kMask, edit_mode, 0);
  }
  // The edits so far written back to the locale file.
  void save() {
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx(), &lock), 0);
    ASSERT_EQ(tq_lock_create(ctx(), "en.loc", 7, lock, nullptr), 0);
    EXPECT_EQ(tq_locale_write(ctx(), kEn, lock), 0) << tq_test::error_list_text(ctx());
    tq_lock_free(ctx(), lock);
  }
};

std::string rc_text(int32_t rc) { return "rc " + std::to_string(rc); }

// One entry of a token list as "name|value|value..." (or "rc N").
std::string entry(tq_context* ctx, int32_t index, int32_t tok, const std::string& list, int32_t e) {
  char name[16400] = "x";
  char abbrev[200] = "x";
  uint32_t a = 99, b = 99, c = 99;
  int32_t rc = -1;
  std::string values;
  auto num = [](uint32_t v) { return "|" + std::to_string(v); };
  if (list == "regexlib") {
    rc = tq_match_defn_token_regexlib_info_get(ctx, index, tok, e, name, &a, &b);
    values = num(a) + num(b);
  } else if (list == "stdz") {
    uint32_t s = 99;
    rc = tq_match_defn_token_stdz_scheme_info_get(ctx, index, tok, e, name, &s, &a, &b, &c);
    values = num(s) + num(a) + num(b) + num(c);
  } else if (list == "noise") {
    rc = tq_match_defn_token_noise_vocab_info_get(ctx, index, tok, e, name, &a, &b);
    values = num(a) + num(b);
  } else if (list == "phonetx") {
    rc = tq_match_defn_token_phonetx_lib_info_get(ctx, index, tok, e, name, &a, &b);
    values = num(a) + num(b);
  } else if (list == "trans") {
    rc = tq_match_defn_token_trans_regexlib_info_get(ctx, index, tok, e, name, &a, &b);
    values = num(a) + num(b);
  } else if (list == "normcat") {
    rc = tq_match_defn_token_cat_norm_regexlib_info_get(ctx, index, tok, e, name);
  } else if (list == "vocab") {
    rc = tq_match_defn_token_vocabulary_info_get(ctx, index, tok, e, name, &a, &b, &c);
    values = num(a) + num(b) + num(c);
  } else if (list == "catregex") {
    rc = tq_match_defn_token_cat_regexlib_info_get(ctx, index, tok, e, name, abbrev, &a, &b);
    values = std::string("|") + abbrev + num(a) + num(b);
  } else if (list == "default") {
    rc = tq_match_defn_token_default_category_info_get(ctx, index, tok, e, abbrev, &a);
    std::strcpy(name, abbrev);
    values = num(a);
  } else if (list == "sens") {
    rc = tq_match_defn_token_sensitivity_info_get(ctx, index, tok, e, &a, &b, &c);
    name[0] = '\0';
    values = num(a) + num(b) + num(c);
  } else if (list == "scheme") {
    rc = tq_match_defn_scheme_info_get(ctx, index, e, name, &a);
    values = num(a);
  }
  return rc < 0 ? rc_text(rc) : name + values;
}

// A count or single value of a definition or token.
int64_t number(tq_context* ctx, int32_t index, int32_t tok, const std::string& what) {
  uint32_t v = 99;
  int32_t rc = -1;
  if (what == "length") rc = tq_match_defn_matchcode_length_get(ctx, index, &v);
  if (what == "schemes") rc = tq_match_defn_scheme_count_get(ctx, index, &v);
  if (what == "regexlib") rc = tq_match_defn_token_regexlib_count_get(ctx, index, tok, &v);
  if (what == "stdz") rc = tq_match_defn_token_stdz_scheme_count_get(ctx, index, tok, &v);
  if (what == "noise") rc = tq_match_defn_token_noise_vocab_count_get(ctx, index, tok, &v);
  if (what == "phonetx") rc = tq_match_defn_token_phonetx_lib_count_get(ctx, index, tok, &v);
  if (what == "trans") rc = tq_match_defn_token_trans_regexlib_count_get(ctx, index, tok, &v);
  if (what == "normcat") rc = tq_match_defn_token_cat_norm_regexlib_count_get(ctx, index, tok, &v);
  if (what == "vocab") rc = tq_match_defn_token_vocabulary_count_get(ctx, index, tok, &v);
  if (what == "catregex") rc = tq_match_defn_token_cat_regexlib_count_get(ctx, index, tok, &v);
  if (what == "default") rc = tq_match_defn_token_default_category_count_get(ctx, index, tok, &v);
  if (what == "cat upper") rc = tq_match_defn_token_cat_automatic_uppercasing_get(ctx, index, tok, &v);
  if (what == "sort words") rc = tq_match_defn_sort_words_flag_get(ctx, index, tok, &v);
  if (what == "tokens") rc = tq_match_defn_token_count_get(ctx, index, &v);
  if (what == "valid") rc = tq_match_defn_valid_get(ctx, index, &v);
  if (what == "parse tokens") rc = tq_match_defn_parse_defn_token_count_get(ctx, index, &v);
  if (what == "surfaced") rc = tq_match_defn_parse_defn_surfaced_get(ctx, index, &v);
  return rc < 0 ? rc : static_cast<int64_t>(v);
}

struct Entry {
  int32_t index;
  const char* list;
  int32_t entry;
  const char* expected;
};
struct Number {
  int32_t index;
  int32_t tok;
  const char* what;
  int64_t expected;
};

void check(tq_context* ctx, const std::vector<Entry>& entries, const std::vector<Number>& numbers) {
  for (const Entry& e : entries) {
    SCOPED_TRACE(std::to_string(e.index) + " " + e.list + " " + std::to_string(e.entry));
    EXPECT_EQ(entry(ctx, e.index, 0, e.list, e.entry), e.expected);
  }
  for (const Number& n : numbers) {
    SCOPED_TRACE(std::to_string(n.index) + " " + std::to_string(n.tok) + " " + n.what);
    EXPECT_EQ(number(ctx, n.index, n.tok, n.what), n.expected);
  }
}

std::string written(tq_context* ctx, const std::filesystem::path& dir, int32_t index) {
  tq_xmldoc* doc = nullptr;
  EXPECT_EQ(tq_xml_create(ctx, "Test", "7.0", &doc), 0);
  EXPECT_EQ(tq_match_defn_write(ctx, doc, index), 0) << tq_test::error_list_text(ctx);
  const std::filesystem::path path = dir / "written.xml";
  EXPECT_EQ(tq_xml_write(ctx, 0, path.c_str(), 8, doc), 0) << tq_test::error_list_text(ctx);
  tq_xml_free(ctx, doc);
  return tq_test::read_file(path);
}

TEST(MatchDefnExports, FixtureAsRead) {
  MatchKb kb;
  tq_context* ctx = kb.ctx();
  char name[400] = "";
  ASSERT_EQ(tq_match_defn_name_get_by_index(ctx, kR, name), 0) << tq_test::error_list_text(ctx);
  EXPECT_STREQ(name, "R");
  check(ctx,
        {
            // R names its scheme "element" without a "Case Insensitive"
            // column: element mode and case insensitive.
            {kR, "scheme", 0, "Companies|3"},
            {kR, "scheme", 1, "rc -800"},
            {kR, "noise", 0, "PersonName|90|20"},
            {kR, "noise", 1, "rc -800"},
            {kR, "phonetx", 0, "Sound|100|0"},  // a range needs both columns
            {kR, "trans", 0, "StripPeriods|80|0"},
            {kR, "normcat", 0, "Initials"},
            {kR, "vocab", 0, "PersonName|1|1|70"},
            {kR, "catregex", 0, "Initials|INITIAL|70|1"},
            {kR, "default", 0, "GIVEN|40"},
            {kR, "default", -1, "rc -800"},
            // Without the two 95 properties bucket 0 takes bucket 90's pair.
            {kR, "sens", 0, "|95|1|40"},
            {kR, "sens", 9, "|50|0|0"},
            {kR, "sens", 10, "rc -800"},
            {kM, "sens", 0, "|95|1|7"},
            {kM, "sens", 1, "|90|1|6"},
        },
        {
            {kM, -1, "length", 60},   {kR, -1, "length", 160},      {kR, -1, "schemes", 1},
            {kR, 0, "cat upper", 1},  // "N" reads as the default  {kR, 0, "sort words", 1},     {kM, 0, "cat upper", 1},
            {kM, 0, "sort words", 0}, {kM, 0, "noise", 0},           {kM, 0, "default", 0},
            {kM, -1, "parse tokens", TQ_ERR_PART_MISSING},           {kM, -1, "surfaced", -301},
            {kM, 5, "noise", -800},   {kM, -1, "tokens", 1},
        });
  int32_t current = -1;
  EXPECT_EQ(tq_locale_get(ctx, &current), 0);
  EXPECT_EQ(current, kEn);
}

TEST(MatchDefnExports, PositionsAndCodeLength) {
  MatchKb kb;
  tq_context* ctx = kb.ctx();
  EXPECT_EQ(tq_match_defn_token_sensitivity_info_set(ctx, kM, 0, 0, 1, 40), 0);
  EXPECT_EQ(number(ctx, kM, 0, "length"), 160);
  EXPECT_EQ(tq_match_defn_token_sensitivity_info_set(ctx, kM, 0, 0, 1, 7), 0);
  EXPECT_EQ(number(ctx, kM, 0, "length"), 60);
  // Positions a file could not hold are refused and change nothing.
  const uint32_t bad[][2] = {{1, 1025}, {5, 4}, {1, 0xFFFFFFFFu}, {0xFFFFFFFFu, 3}};
  for (const auto& p : bad) {
    EXPECT_EQ(tq_match_defn_token_sensitivity_info_set(ctx, kM, 0, 2, p[0], p[1]), TQ_ERR_ARGUMENT) << p[1];
  }
  EXPECT_EQ(entry(ctx, kM, 0, "sens", 2), "|85|1|5");
  EXPECT_EQ(tq_match_defn_token_sensitivity_info_set(ctx, kM, 0, 10, 1, 2), TQ_ERR_INDEX);
  EXPECT_EQ(tq_match_defn_token_sensitivity_info_set(ctx, kM, 0, 3, 0, 1024), 0);
  EXPECT_EQ(number(ctx, kM, 0, "length"), 4096);

  // Deleting the token that held the longest position shortens the code.
  EXPECT_EQ(tq_match_defn_token_delete(ctx, kR, 0), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(number(ctx, kR, 0, "length"), 60);
  EXPECT_EQ(number(ctx, kR, -1, "tokens"), 0);
  uint32_t rules = 9;
  EXPECT_EQ(tq_match_defn_token_combination_rule_count_get(ctx, kR, &rules), 0);
  EXPECT_EQ(rules, 1u);
  EXPECT_EQ(tq_match_defn_token_delete(ctx, kR, 0), TQ_ERR_INDEX);
}

TEST(MatchDefnExports, SchemesBindOrStayUnbound) {
  MatchKb kb;
  tq_context* ctx = kb.ctx();
  // A scheme that cannot be found is not added.
  EXPECT_LT(tq_match_defn_scheme_add(ctx, kR, "NoSuch", 0), 0);
  EXPECT_EQ(number(ctx, kR, -1, "schemes"), 1);
  EXPECT_EQ(tq_match_defn_scheme_add(ctx, kM, "Companies", 2), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(entry(ctx, kM, 0, "scheme", 0), "Companies|2");
  // Replacing by a name that cannot be found leaves the entry as it was.
  const std::string held = entry(ctx, kR, 0, "scheme", 0);
  EXPECT_LT(tq_match_defn_scheme_info_set(ctx, kR, 0, "NoSuch", 1), 0);
  EXPECT_EQ(entry(ctx, kR, 0, "scheme", 0), held);
  EXPECT_EQ(tq_match_defn_scheme_info_set(ctx, kR, 1, "Companies", 1), TQ_ERR_INDEX);
  EXPECT_EQ(tq_match_defn_scheme_info_set(ctx, kR, 0, "Companies", 0), 0);
  EXPECT_EQ(entry(ctx, kR, 0, "scheme", 0), "Companies|0");
  EXPECT_EQ(tq_match_defn_schemes_delete_all(ctx, kR), 0);
  EXPECT_EQ(number(ctx, kR, -1, "schemes"), 0);
}

TEST(MatchDefnExports, TokenListsEdited) {
  MatchKb kb;
  tq_context* ctx = kb.ctx();
  const int32_t t = 0;
  // Noise, phonetics, transformation: set, add, and names that cannot be
  // opened (the entry then as it was, or nothing added).
  EXPECT_EQ(tq_match_defn_token_noise_vocab_info_set(ctx, kR, t, 0, "PersonName", 70, 10), 0);
  EXPECT_EQ(tq_match_defn_token_noise_vocab_add(ctx, kM, t, "PersonName", 100, 0), 0);
  EXPECT_LT(tq_match_defn_token_noise_vocab_add(ctx, kM, t, "NoSuch", 100, 0), 0);
  EXPECT_NE(tq_test::error_list_text(ctx).find("NoSuch"), std::string::npos);
  EXPECT_EQ(tq_match_defn_token_phonetx_lib_add(ctx, kM, t, "Sound", 95, 50), 0) << tq_test::error_list_text(ctx);
  const std::string phonetx = entry(ctx, kR, t, "phonetx", 0);
  EXPECT_LT(tq_match_defn_token_phonetx_lib_info_set(ctx, kR, t, 0, "NoSuch", 10, 0), 0);
  EXPECT_EQ(entry(ctx, kR, t, "phonetx", 0), phonetx);
  EXPECT_EQ(tq_match_defn_token_phonetx_lib_info_set(ctx, kR, t, 1, "Sound", 10, 0), TQ_ERR_INDEX);
  EXPECT_EQ(tq_match_defn_token_trans_regexlib_add(ctx, kM, t, "Initials", 90, 0), 0);
  EXPECT_EQ(tq_match_defn_token_trans_regexlib_info_set(ctx, kM, t, 0, "StripPeriods", 80, 5), 0);
  // Categorization lists.
  EXPECT_EQ(tq_match_defn_token_cat_norm_regexlib_add(ctx, kM, t, "StripPeriods"), 0);
  EXPECT_EQ(tq_match_defn_token_cat_norm_regexlib_add(ctx, kM, t, "Initials"), 0);
  EXPECT_EQ(tq_match_defn_token_cat_norm_regexlib_delete(ctx, kM, t, 0), 0);
  EXPECT_EQ(tq_match_defn_token_cat_norm_regexlib_delete(ctx, kM, t, 1), TQ_ERR_INDEX);
  EXPECT_EQ(tq_match_defn_token_cat_regexlib_add(ctx, kM, t, "initial", 95, "Initials", 0), TQ_ERR_ARGUMENT);
  EXPECT_EQ(tq_match_defn_token_cat_regexlib_add(ctx, kM, t, "initial", 60, "Initials", 0), 0);
  EXPECT_EQ(tq_match_defn_token_cat_regexlib_info_set(ctx, kR, t, 0, "dot", 5, "StripPeriods", 0), TQ_ERR_ARGUMENT);
  EXPECT_EQ(tq_match_defn_token_cat_regexlib_info_set(ctx, kR, t, 0, "dot", 30, "StripPeriods", 0), 0);
  int32_t cat = -5;
  EXPECT_EQ(tq_match_defn_token_default_category_add(ctx, kM, t, &cat), 0);
  EXPECT_EQ(cat, 0);
  EXPECT_EQ(entry(ctx, kM, t, "default", 0), "|50");
  EXPECT_EQ(tq_match_defn_token_default_category_info_set(ctx, kM, t, 0, "family", 60), 0);
  EXPECT_EQ(tq_match_defn_token_default_category_info_set(ctx, kM, t, 1, "family", 60), TQ_ERR_INDEX);
  // Likelihoods 10 to 90, as every other setter and the files take them.
  EXPECT_EQ(tq_match_defn_token_default_category_info_set(ctx, kM, t, 0, "family", 91), TQ_ERR_ARGUMENT);
  EXPECT_EQ(tq_match_defn_token_default_category_info_set(ctx, kM, t, 0, "family", UINT32_MAX), TQ_ERR_ARGUMENT);
  EXPECT_EQ(entry(ctx, kM, t, "default", 0), "FAMILY|60");
  // Vocabularies: deleting the first keeps the others' fuzzy settings.
  EXPECT_EQ(tq_match_defn_token_vocabulary_add(ctx, kR, t, "PersonName", 0, 0, 60), 0);
  EXPECT_EQ(tq_match_defn_token_vocabulary_add(ctx, kR, t, "PersonName", 1, 1, 90), 0);
  EXPECT_EQ(tq_match_defn_token_vocabulary_delete(ctx, kR, t, 0), 0);
  EXPECT_EQ(tq_match_defn_token_vocabulary_info_set(ctx, kR, t, 1, "PersonName", 0, 1, 75), 0);
  EXPECT_LT(tq_match_defn_token_vocabulary_add(ctx, kR, t, "NoSuch", 0, 0, 0), 0);
  // Uppercasing and word sorting.
  EXPECT_EQ(tq_match_defn_token_cat_automatic_uppercasing_set(ctx, kM, t, 0), 0);
  EXPECT_EQ(tq_match_defn_sort_words_flag_set(ctx, kM, t, 1), 0);
  // Outside the token list.
  EXPECT_EQ(tq_match_defn_token_vocabulary_add(ctx, kR, 3, "PersonName", 0, 0, 0), TQ_ERR_INDEX);

  const std::vector<Entry> after = {
      {kR, "noise", 0, "PersonName|70|10"},
      {kM, "noise", 0, "PersonName|100|0"},
      {kM, "phonetx", 0, "Sound|95|50"},
      {kR, "phonetx", 0, "Sound|100|0"},  // as it was: the failed replacement changed nothing
      {kM, "trans", 0, "StripPeriods|80|5"},
      {kM, "normcat", 0, "Initials"},
      {kM, "catregex", 0, "Initials|INITIAL|60|0"},
      {kR, "catregex", 0, "StripPeriods|DOT|30|0"},
      {kM, "default", 0, "FAMILY|60"},
      {kR, "vocab", 0, "PersonName|0|0|80"},
      {kR, "vocab", 1, "PersonName|0|1|75"},
  };
  const std::vector<Number> counts = {
      {kM, 0, "noise", 1},      {kM, 0, "phonetx", 1},    {kR, 0, "phonetx", 1},   {kM, 0, "trans", 1},
      {kM, 0, "normcat", 1},    {kM, 0, "catregex", 1},   {kM, 0, "default", 1},   {kR, 0, "vocab", 2},
      {kM, 0, "cat upper", 0},  {kM, 0, "sort words", 1},
  };
  check(ctx, after, counts);
  // The 9.0 features raise the version of a 7.0 definition.
  EXPECT_NE(written(ctx, kb.dir(), kM).find("<property name=\"Version\">9.0</property>"), std::string::npos);

  // Written and read again, the definitions keep every list.
  EXPECT_EQ(tq_match_defn_token_sensitivity_info_set(ctx, kM, t, 4, 2, 30), 0);
  kb.save();
  Context again(kb.dir().c_str());
  ASSERT_GE(tq_zel_locale_load(again, kEn, kMask), 0) << tq_test::error_list_text(again);
  std::vector<Entry> reread = after;
  reread.push_back({kM, "sens", 4, "|75|2|30"});
  std::vector<Number> recount = counts;
  recount.push_back({kM, -1, "length", 120});
  check(again, reread, recount);

  // Emptying every list.
  EXPECT_EQ(tq_match_defn_token_noise_vocabs_delete_all(ctx, kM, t), 0);
  EXPECT_EQ(tq_match_defn_token_phonetx_libs_delete_all(ctx, kM, t), 0);
  EXPECT_EQ(tq_match_defn_token_trans_regexlib_delete_all(ctx, kM, t), 0);
  EXPECT_EQ(tq_match_defn_token_cat_norm_regexlibs_delete_all(ctx, kM, t), 0);
  EXPECT_EQ(tq_match_defn_token_cat_regexlibs_delete_all(ctx, kM, t), 0);
  EXPECT_EQ(tq_match_defn_token_default_categories_delete_all(ctx, kM, t), 0);
  EXPECT_EQ(tq_match_defn_token_vocabulary_delete_all(ctx, kR, t), 0);
  check(ctx, {}, {{kM, 0, "noise", 0}, {kM, 0, "phonetx", 0}, {kM, 0, "trans", 0}, {kM, 0, "normcat", 0},
                  {kM, 0, "catregex", 0}, {kM, 0, "default", 0}, {kR, 0, "vocab", 0}});
}

// A token's scheme entry keeps only what its file holds (type, case
// sensitivity, one output case): other option bits, such as the edit state
// that no engine may apply, are refused and change nothing, so that the
// engine gives in memory what it gives once written and loaded again.
TEST(MatchDefnExports, TokenSchemeOptionsAsTheFileHoldsThem) {
  MatchKb kb;
  tq_context* ctx = kb.ctx();
  ASSERT_EQ(tq_match_defn_token_stdz_scheme_add(ctx, kM, 0, "Companies", 0x1 | 0x2 | 0x40, 1, 90, 10), 0)
      << tq_test::error_list_text(ctx);
  const std::string kept = "Companies|67|1|90|10";
  const uint32_t refused[] = {TQ_SCHEME_EDIT_STATE | 0x2, TQ_SCHEME_MATCH_KEYED, TQ_SCHEME_DUPLICATES,
                              TQ_SCHEME_TRANSF_LOAD,      TQ_SCHEME_NO_TRIM,     0x20 | 0x40,
                              0x80000000u};
  for (uint32_t options : refused) {
    SCOPED_TRACE(options);
    EXPECT_EQ(tq_match_defn_token_stdz_scheme_add(ctx, kM, 0, "Companies", options, 0, 100, 0), TQ_ERR_ARGUMENT);
    EXPECT_EQ(tq_match_defn_token_stdz_scheme_info_set(ctx, kM, 0, 0, "Companies", options, 0, 100, 0),
              TQ_ERR_ARGUMENT);
    EXPECT_EQ(number(ctx, kM, 0, "stdz"), 1);
    EXPECT_EQ(entry(ctx, kM, 0, "stdz", 0), kept);
  }
  const char* const values[] = {"Acme Corp", "Dr. John Q. Smith Jr.", ""};
  auto codes = [&](tq_context* c) {
    std::string all;
    for (const char* v : values) {
      char out[1100] = "";
      const int32_t rc = tq_match(c, "M", 85, v, out);
      all += std::to_string(rc) + " '" + out + "'\n";
    }
    return all;
  };
  const std::string in_memory = codes(ctx);
  EXPECT_EQ(in_memory.find("-500"), std::string::npos) << in_memory;
  kb.save();
  Context again(kb.dir().c_str());
  ASSERT_GE(tq_zel_locale_load(again, kEn, kMask), 0) << tq_test::error_list_text(again);
  EXPECT_EQ(entry(again, kM, 0, "stdz", 0), kept);
  EXPECT_EQ(codes(again), in_memory);
}

TEST(MatchDefnExports, CommonListsAndTokens) {
  MatchKb kb;
  tq_context* ctx = kb.ctx();
  EXPECT_EQ(tq_match_defn_token_regexlib_add(ctx, kM, 0, "Initials", 90, 10), 0);
  EXPECT_EQ(tq_match_defn_token_regexlib_set(ctx, kM, 0, 0, "StripPeriods", 80, 20), 0);
  EXPECT_EQ(tq_match_defn_token_stdz_scheme_add(ctx, kM, 0, "Companies", 1, 1, 70, 30), 0);
  EXPECT_EQ(entry(ctx, kM, 0, "regexlib", 0), "StripPeriods|80|20");
  EXPECT_EQ(entry(ctx, kM, 0, "regexlib", 1), "rc -800");
  EXPECT_EQ(entry(ctx, kM, 0, "stdz", 0), "Companies|1|1|70|30");
  EXPECT_EQ(tq_match_defn_token_stdz_scheme_info_set(ctx, kM, 0, 0, "Companies", 1, 0, 60, 40), 0);
  EXPECT_EQ(entry(ctx, kM, 0, "stdz", 0), "Companies|1|0|60|40");
  EXPECT_EQ(tq_match_defn_token_regexlibs_delete_all(ctx, kM, 0), 0);
  EXPECT_EQ(tq_match_defn_token_stdz_schemes_delete_all(ctx, kM, 0), 0);
  EXPECT_EQ(number(ctx, kM, 0, "regexlib"), 0);
  EXPECT_EQ(number(ctx, kM, 0, "stdz"), 0);

  // Token by key is token by position; a new token starts unnamed.
  char name[400] = "x";
  EXPECT_EQ(tq_match_defn_token_name_get_by_key(ctx, kM, 0, name), 0);
  EXPECT_STREQ(name, "Name");
  int32_t tok = -1;
  EXPECT_EQ(tq_match_defn_token_add(ctx, kM, &tok), 0);
  EXPECT_EQ(tok, 1);
  EXPECT_EQ(entry(ctx, kM, 1, "sens", 3), "|80|0|0");
  EXPECT_EQ(tq_match_defn_token_name_set(ctx, kM, 1, "Nope"), -300);
  EXPECT_EQ(tq_match_defn_token_delete(ctx, kM, 1), 0);

  // Renaming R's token carries into its rule's condition.
  EXPECT_EQ(tq_match_defn_token_name_set(ctx, kR, 0, "Name"), 0) << tq_test::error_list_text(ctx);

  // Whole definitions: add, copy, unload, and edit mode for changes.
  int32_t added = -1, copy = -1;
  ASSERT_EQ(tq_match_defn_add(ctx, "New", &added), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(number(ctx, added, -1, "length"), 60);
  ASSERT_EQ(tq_match_defn_copy(ctx, "R", "R2", &copy), 0) << tq_test::error_list_text(ctx);
  EXPECT_EQ(tq_match_defn_unload(ctx, kR), 0);
  check(ctx, {{copy, "noise", 0, "PersonName|90|20"}, {copy, "scheme", 0, "Companies|3"}},
        {{copy, -1, "length", 160}});
  Context reader(kb.dir().c_str());
  ASSERT_GE(tq_zel_locale_load(reader, kEn, kMask), 0);
  EXPECT_EQ(tq_match_defn_sort_words_flag_set(reader, 0, 0, 1), -501);
  EXPECT_EQ(tq_match_defn_token_sensitivity_info_set(reader, 0, 0, 0, 1, 2), -501);
}

}  // namespace

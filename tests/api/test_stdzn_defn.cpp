// Standardization definitions through their exports: the fixture of
// tests/kb/stdzn read in a child locale, then definitions made, edited,
// copied from the parent in edit mode, written with the locales and loaded
// again.
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/built_kb.h"
#include "support/tq_test.h"

namespace {

using tq_test::Context;

constexpr int32_t kEnusa = 29840;
constexpr int32_t kEn = 29000;
constexpr int32_t kParent = 256;  // the parent's first definition, seen from the child in edit mode
constexpr uint32_t kMask = TQ_LOAD_DATATYPES | TQ_LOAD_CASE_DEFNS | TQ_LOAD_STDZN_DEFNS;

// A knowledge base with EN from tests/kb/stdzn (case definitions Shout and
// Title, standardization definitions Full, Bare, Quiet, BadCase, BadRefs),
// an empty ENUSA below it, the regex libraries Abbrev and InnerCapital and
// the scheme Particles.
class Kb : public tq_test::BuiltKb {
 public:
  Kb() {
    write_sources({{"stdzn/locale/en.loc", "locale/en.loc"},
                   {"stdzn/regexlib/Abbrev", "regexlib/Abbrev"},
                   {"case/regexlib/InnerCapital", "regexlib/InnerCapital"},
                   {"case/scheme/Particles.sch", "scheme/Particles.sch"}});
    tq_test::write_locale_settings(maker(), dir(), "l1.loc", "ISO-8859-1 (Latin-1)", "");
    tq_test::write_locale_settings(maker(), dir(), "enusa.loc", "English (United States)", "");
  }
  using BuiltKb::open;
};

int32_t index_of(tq_context* ctx, const char* name) {
  int32_t index = -1;
  EXPECT_EQ(tq_stdzn_defn_index_get_by_name(ctx, name, &index), 0) << name << tq_test::error_list_text(ctx);
  return index;
}

int32_t case_index_of(tq_context* ctx, const char* name) {
  int32_t index = -1;
  EXPECT_EQ(tq_nonsurfaced_case_defn_index_get_by_name(ctx, name, &index), 0) << name;
  return index;
}

std::string text_or_rc(int32_t rc, const char* text) { return rc < 0 ? "rc " + std::to_string(rc) : text; }

std::string trans_name(tq_context* ctx, int32_t index, int32_t token, int32_t entry) {
  char name[5000] = "x";
  return text_or_rc(tq_stdzn_defn_token_trans_regexlib_name_get(ctx, index, token, entry, name), name);
}

// The definition's element as written, as text.
std::string written(tq_context* ctx, const std::filesystem::path& dir, int32_t index) {
  tq_xmldoc* doc = nullptr;
  EXPECT_EQ(tq_xml_create(ctx, "Test", "7.0", &doc), 0);
  EXPECT_EQ(tq_stdzn_defn_write(ctx, doc, index), 0) << tq_test::error_list_text(ctx);
  const std::filesystem::path path = dir / "written.xml";
  EXPECT_EQ(tq_xml_write(ctx, 0, path.c_str(), 8, doc), 0) << tq_test::error_list_text(ctx);
  tq_xml_free(ctx, doc);
  return tq_test::read_file(path);
}

bool has_version9(const std::string& text) {
  return text.find("<property name=\"Version\">9.0</property>") != std::string::npos;
}

// A getter of a number of a definition or of one of its tokens (token -1:
// the definition's own).
struct Number {
  const char* defn;
  int32_t token;
  const char* what;
  int64_t expected;
};

int64_t number(tq_context* ctx, int32_t index, int32_t token, const std::string& what) {
  uint32_t u = 99;
  int32_t i = 99;
  int32_t rc = -1;
  if (what == "case") rc = token < 0 ? tq_stdzn_defn_case_get(ctx, index, &u) : tq_stdzn_defn_token_case_get(ctx, index, token, &u);
  if (what == "post case") rc = tq_stdzn_defn_post_case_get(ctx, index, &u);
  if (what == "valid") rc = tq_stdzn_defn_valid_get(ctx, index, &u);
  if (what == "auto upper") rc = tq_stdzn_defn_automatic_uppercasing_get(ctx, index, token, &u);
  if (what == "trans count") rc = tq_stdzn_defn_token_trans_regexlib_count_get(ctx, index, token, &u);
  if (what == "parse tokens") rc = tq_stdzn_defn_parse_defn_token_count_get(ctx, index, &u);
  if (what == "case defn" || what == "post case defn") {
    if (token >= 0) {
      rc = tq_stdzn_defn_token_case_defn_index_get(ctx, index, token, &i);
    } else {
      rc = what == "case defn" ? tq_stdzn_defn_case_defn_index_get(ctx, index, &i)
                               : tq_stdzn_defn_post_case_defn_index_get(ctx, index, &i);
    }
    return rc < 0 ? rc : i;
  }
  return rc < 0 ? rc : static_cast<int64_t>(u);
}

TEST(StdznDefnExports, FixtureReadInTheChild) {
  Kb kb;
  kb.open(kEnusa, kMask, false, 0);
  tq_context* ctx = kb.ctx();
  // BadCase and BadRefs are read with problems.
  ASSERT_EQ(kb.load_rc(), TQ_WARN_LOCALE_PROBLEMS) << tq_test::error_list_text(ctx);
  uint32_t count = 0;
  EXPECT_EQ(tq_stdzn_defn_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 5u);
  // The definitions are the parent's, the case definitions they name are
  // given as the child's indices.
  const int32_t shout = case_index_of(ctx, "Shout");
  const int32_t title = case_index_of(ctx, "Title");
  const Number checks[] = {
      {"Full", -1, "case", 2},         {"Full", -1, "post case", 3},      {"Full", -1, "case defn", shout},
      {"Full", -1, "post case defn", title},
      {"Full", 0, "case", 0},          {"Full", 0, "auto upper", 0},     {"Full", 0, "trans count", 0},
      {"Full", 1, "case", 3},          {"Full", 1, "case defn", title},  {"Full", 1, "trans count", 1},
      {"Full", 1, "auto upper", 1},    {"Full", -1, "parse tokens", -708},
      {"Bare", -1, "case", 1},         {"Bare", -1, "post case", 0},      {"Bare", 0, "case", 1},
      {"Bare", 0, "case defn", -1},    {"Bare", -1, "valid", 1},
      {"Quiet", 0, "auto upper", 0},   {"Quiet", 1, "auto upper", 1},
      {"BadCase", -1, "valid", 0},     {"BadRefs", -1, "valid", 0},      {"BadRefs", 0, "trans count", 2},
      {"Full", 2, "case", -800},       {"Nowhere", -1, "case", -800},
  };
  for (const Number& n : checks) {
    SCOPED_TRACE(std::string(n.defn) + " " + std::to_string(n.token) + " " + n.what);
    int32_t index = 99;
    if (tq_stdzn_defn_index_get_by_name(ctx, n.defn, &index) < 0) index = 99;
    EXPECT_EQ(number(ctx, index, n.token, n.what), n.expected);
  }
  const int32_t full = index_of(ctx, "Full");
  char name[400] = "x";
  EXPECT_EQ(tq_stdzn_defn_case_defn_name_get(ctx, full, name), 0);
  EXPECT_STREQ(name, "Shout");
  EXPECT_EQ(tq_stdzn_defn_post_case_defn_name_get(ctx, full, name), 0);
  EXPECT_STREQ(name, "Title");
  EXPECT_EQ(tq_stdzn_defn_case_defn_name_get(ctx, index_of(ctx, "Bare"), name), 0);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(tq_stdzn_defn_parse_defn_token_name_get(ctx, full, 0, name), -708);
  int32_t key = 0;
  EXPECT_EQ(tq_stdzn_defn_parse_defn_token_key_get_by_name(ctx, full, "Street", &key), -708);
  EXPECT_EQ(tq_stdzn_defn_token_key_get_by_name(ctx, full, "street", &key), 0);
  EXPECT_EQ(key, 1);
  EXPECT_EQ(trans_name(ctx, full, 1, 0), "Abbrev");
  EXPECT_EQ(trans_name(ctx, full, 1, 1), "rc -800");
  // An entry whose library could not be opened reads as empty.
  const int32_t bad = index_of(ctx, "BadRefs");
  EXPECT_EQ(trans_name(ctx, bad, 0, 0), "");
  EXPECT_EQ(trans_name(ctx, bad, 0, 1), "Abbrev");
  // Changes need edit mode.
  EXPECT_EQ(tq_stdzn_defn_case_set(ctx, full, 1), -501);
  EXPECT_EQ(tq_stdzn_defn_token_trans_regexlib_add(ctx, full, 1, "Abbrev"), -501);
}

TEST(StdznDefnExports, EditedInTheChildWrittenAndLoadedAgain) {
  Kb kb;
  int32_t shout = -1, title = -1;
  {
    Context ctx(kb.dir().c_str(), true);
    ASSERT_GE(tq_zel_locale_load(ctx, kEnusa, kMask), 0) << tq_test::error_list_text(ctx);
    shout = case_index_of(ctx, "Shout");
    title = case_index_of(ctx, "Title");
    EXPECT_EQ(shout, kParent);
    EXPECT_EQ(title, kParent + 1);

    // A new definition: Upper with postprocessing Upper; a new token has
    // its own case None, whatever the definition's.
    int32_t mine = -1, dt = -1, tok = -1;
    ASSERT_EQ(tq_stdzn_defn_add(ctx, "Mine", &mine), 0);
    ASSERT_EQ(tq_datatype_index_get_by_name(ctx, "Address", &dt), 0);
    ASSERT_EQ(tq_stdzn_defn_datatype_index_set(ctx, mine, dt), 0);
    EXPECT_EQ(number(ctx, mine, -1, "post case"), 1);
    ASSERT_EQ(tq_stdzn_defn_token_add(ctx, mine, &tok), 0);
    EXPECT_EQ(number(ctx, mine, tok, "case"), 0);
    EXPECT_EQ(number(ctx, mine, -1, "case"), 1);
    ASSERT_EQ(tq_stdzn_defn_token_name_set(ctx, mine, 0, "Street"), 0) << tq_test::error_list_text(ctx);
    ASSERT_EQ(tq_stdzn_defn_token_add(ctx, mine, &tok), 0);
    ASSERT_EQ(tq_stdzn_defn_token_name_set(ctx, mine, 1, "Number"), 0);

    // Case modes 0..3 only; the definition takes a case definition of any
    // target case, a token only one that makes its own case.
    EXPECT_EQ(tq_stdzn_defn_case_set(ctx, mine, 4), -802);
    EXPECT_EQ(tq_stdzn_defn_post_case_set(ctx, mine, 9), -802);
    EXPECT_EQ(tq_stdzn_defn_token_case_set(ctx, mine, 0, 4), -802);
    EXPECT_EQ(tq_stdzn_defn_case_set(ctx, mine, 3), 0);
    EXPECT_EQ(tq_stdzn_defn_case_defn_index_set(ctx, mine, shout), 0);
    EXPECT_EQ(tq_stdzn_defn_case_defn_index_set(ctx, mine, kParent + 9), -800);
    EXPECT_EQ(number(ctx, mine, -1, "case defn"), shout);
    EXPECT_EQ(tq_stdzn_defn_token_case_set(ctx, mine, 1, 1), 0);
    EXPECT_EQ(tq_stdzn_defn_token_case_defn_index_set(ctx, mine, 1, title), -802);
    EXPECT_EQ(tq_stdzn_defn_token_case_defn_index_set(ctx, mine, 1, shout), 0);
    EXPECT_EQ(number(ctx, mine, 1, "case defn"), shout);
    // Only the case definition is set so far, not the postprocessing case.
    EXPECT_FALSE(has_version9(written(ctx, kb.dir(), mine)));
    EXPECT_EQ(tq_stdzn_defn_post_case_set(ctx, mine, 1), 0);
    EXPECT_FALSE(has_version9(written(ctx, kb.dir(), mine))) << "the same value changes nothing";
    EXPECT_EQ(tq_stdzn_defn_post_case_set(ctx, mine, 2), 0);
    EXPECT_TRUE(has_version9(written(ctx, kb.dir(), mine)));

    // Transformation libraries: one that cannot be opened is not counted;
    // a name that cannot be converted is refused with the conversion's code.
    EXPECT_EQ(tq_stdzn_defn_token_trans_regexlib_add(ctx, mine, 0, "Abbrev"), 0);
    EXPECT_LT(tq_stdzn_defn_token_trans_regexlib_add(ctx, mine, 0, "Nosuch"), 0);
    EXPECT_EQ(tq_stdzn_defn_token_trans_regexlib_add(ctx, mine, 0, "InnerCapital"), 0);
    EXPECT_EQ(number(ctx, mine, 0, "trans count"), 2);
    EXPECT_EQ(tq_stdzn_defn_token_trans_regexlib_name_set(ctx, mine, 0, 2, "Abbrev"), -800);
    EXPECT_LT(tq_stdzn_defn_token_trans_regexlib_name_set(ctx, mine, 0, 1, "Nosuch"), 0);
    EXPECT_EQ(trans_name(ctx, mine, 0, 1), "InnerCapital");
    const uint32_t options = tq_options_get(ctx);
    ASSERT_EQ(tq_session_encoding_set(ctx, TQ_ENC_UTF8), 0);
    tq_options_set(ctx, options | TQ_OPT_STRICT_CONVERSION);
    EXPECT_EQ(tq_stdzn_defn_token_trans_regexlib_add(ctx, mine, 0, "Abbrev\xFF"), -10000);
    EXPECT_EQ(tq_stdzn_defn_token_trans_regexlib_name_set(ctx, mine, 0, 0, "\xFF"), -10000);
    tq_options_set(ctx, options);
    EXPECT_EQ(number(ctx, mine, 0, "trans count"), 2);
    EXPECT_EQ(trans_name(ctx, mine, 0, 0), "Abbrev");

    // The common token fields.
    EXPECT_EQ(tq_stdzn_defn_token_regexlib_add(ctx, mine, 0, "InnerCapital"), 0);
    EXPECT_EQ(tq_stdzn_defn_token_scheme_add(ctx, mine, 0, "Particles", 2), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(tq_stdzn_defn_token_sep_set(ctx, mine, 0, "-"), 0);
    EXPECT_EQ(tq_stdzn_defn_token_use_sep_flag_set(ctx, mine, 1, 0), 0);
    EXPECT_EQ(tq_stdzn_defn_automatic_uppercasing_set(ctx, mine, 1, 0), 0);
    const int32_t order[] = {1, 0};
    EXPECT_EQ(tq_stdzn_defn_token_rearrange(ctx, mine, order), 0);

    // A definition holds at most 32 tokens.
    int32_t many = -1;
    ASSERT_EQ(tq_stdzn_defn_add(ctx, "Many", &many), 0);
    for (int i = 0; i < 32; ++i) ASSERT_EQ(tq_stdzn_defn_token_add(ctx, many, &tok), 0);
    EXPECT_EQ(tq_stdzn_defn_token_add(ctx, many, &tok), -601);
    EXPECT_EQ(tok, -1);
    EXPECT_EQ(tq_stdzn_defn_unload(ctx, many), 0);

    // A copy of the parent's definition: its case definitions are
    // re-expressed from the child. The library already in an entry changes
    // nothing, so the copy keeps its version.
    int32_t copy = -1;
    ASSERT_EQ(tq_stdzn_defn_copy(ctx, "Full", "FullCopy", &copy), 0) << tq_test::error_list_text(ctx);
    EXPECT_EQ(number(ctx, copy, -1, "case defn"), shout);
    EXPECT_EQ(number(ctx, copy, -1, "post case defn"), title);
    EXPECT_EQ(number(ctx, copy, 1, "case defn"), title);
    EXPECT_EQ(tq_stdzn_defn_token_trans_regexlib_name_set(ctx, copy, 1, 0, "Abbrev"), 0);
    EXPECT_FALSE(has_version9(written(ctx, kb.dir(), copy)));
    EXPECT_EQ(tq_stdzn_defn_token_trans_regexlibs_delete_all(ctx, copy, 1), 0);
    EXPECT_EQ(number(ctx, copy, 1, "trans count"), 0);
    EXPECT_TRUE(has_version9(written(ctx, kb.dir(), copy)));

    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(ctx, &lock), 0);
    // BadRefs keeps the library 'Nolib' its file names, whose file is
    // missing: written as it was read, with the reader's 104 naming it.
    for (const auto& [file, code] : {std::pair{"en.loc", kEn}, std::pair{"enusa.loc", kEnusa}}) {
      ASSERT_EQ(tq_lock_create(ctx, file, 7, lock, nullptr), 0);
      ASSERT_EQ(tq_locale_write(ctx, code, lock), code == kEn ? TQ_WARN_LOCALE_PROBLEMS : 0)
          << tq_test::error_list_text(ctx);
      if (code == kEn) {
        EXPECT_NE(tq_test::error_list_text(ctx).find("'BadRefs'"), std::string::npos);
        EXPECT_NE(tq_test::error_list_text(ctx).find("'Nolib'"), std::string::npos);
      }
    }
    tq_lock_free(ctx, lock);
  }

  kb.open(kEnusa, kMask, false, 0);
  tq_context* ctx = kb.ctx();
  ASSERT_GE(kb.load_rc(), 0) << tq_test::error_list_text(ctx);
  shout = case_index_of(ctx, "Shout");
  title = case_index_of(ctx, "Title");
  const int32_t mine = index_of(ctx, "Mine");
  const Number checks[] = {
      {"Mine", -1, "case", 3},       {"Mine", -1, "post case", 2},   {"Mine", -1, "case defn", shout},
      {"Mine", 0, "case", 1},         {"Mine", 0, "case defn", shout},
      {"Mine", 0, "auto upper", 0},  {"Mine", 1, "case", 0},         {"Mine", 1, "trans count", 2},
      {"FullCopy", -1, "case defn", shout}, {"FullCopy", 1, "case defn", title}, {"FullCopy", 1, "trans count", 0},
      {"Full", 1, "trans count", 1},
  };
  for (const Number& n : checks) {
    SCOPED_TRACE(std::string(n.defn) + " " + std::to_string(n.token) + " " + n.what);
    EXPECT_EQ(number(ctx, index_of(ctx, n.defn), n.token, n.what), n.expected);
  }
  char text[5000] = "";
  EXPECT_EQ(tq_stdzn_defn_token_name_get(ctx, mine, 0, text), 0);
  EXPECT_STREQ(text, "Number");
  EXPECT_EQ(tq_stdzn_defn_token_sep_get(ctx, mine, 1, text), 0);
  EXPECT_STREQ(text, "-");
  uint32_t flag = 9, options = 9;
  EXPECT_EQ(tq_stdzn_defn_token_use_sep_flag_get(ctx, mine, 0, &flag), 0);
  EXPECT_EQ(flag, 0u);
  EXPECT_EQ(tq_stdzn_defn_token_scheme_info_get(ctx, mine, 1, 0, text, &options), 0);
  EXPECT_STREQ(text, "Particles");
  EXPECT_EQ(options, 2u);
  EXPECT_EQ(tq_stdzn_defn_token_regexlib_name_get(ctx, mine, 1, 0, text), 0);
  EXPECT_STREQ(text, "InnerCapital");
  EXPECT_EQ(trans_name(ctx, mine, 1, 1), "InnerCapital");
}

}  // namespace

// Casing through the exports on the knowledge base of tests/kb/casing: case
// definitions read by the locale loader, default casing with each locale's
// special casing, known-word spans, known patterns, pre- and postprocessing,
// bounded outputs in every session encoding, case info, and the length
// check of known-word schemes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kbstore/krdefn.h"
#include "kbstore/krxml.h"
#include "standardize/krcase.h"
#include "standardize/krcdef.h"
#include "support/alloc_counter.h"
#include "support/built_kb.h"
#include "support/tq_test.h"
#include "tq.h"

namespace {

using tq_test::error_list_text;

const std::map<std::string, int32_t> kLocales = {
    {"ENUSA", 29840}, {"TRTUR", 123792}, {"AZAZE", 800440}, {"LTLTU", 803230}};

std::filesystem::path source(const std::string& name) {
  return std::filesystem::path(TQ_TEST_KB_DIR) / "casing" / name;
}

// The sources written as vault files, the scheme of name particles made
// through the scheme exports; then a context with the four locales loaded
// (case definitions read) and ENUSA current, texts in UTF-8.
class CasingKb : public tq_test::BuiltKb {
 public:
  explicit CasingKb(uint32_t options = 0) {
    build();
    open(29840, TQ_LOAD_DATATYPES | TQ_LOAD_CASE_DEFNS, false, options);
    EXPECT_EQ(load_rc(), 0) << error_list_text(ctx());
    for (const auto& [iso, code] : kLocales) {
      if (iso == "ENUSA") continue;
      EXPECT_GE(tq_zel_locale_load(ctx(), code, TQ_LOAD_CASE_DEFNS), 0) << iso << error_list_text(ctx());
    }
    select("ENUSA");
    EXPECT_EQ(tq_session_encoding_set(ctx(), 13), 0);
  }
  void select(const std::string& iso) { ASSERT_EQ(tq_locale_set(ctx(), kLocales.at(iso)), 0) << iso; }

 private:
  void build() {
    std::filesystem::create_directories(dir() / "scheme");
    for (const char* f : {"locale/enusa.loc", "locale/trtur.loc", "locale/azaze.loc", "locale/ltltu.loc",
                          "regexlib/mac", "regexlib/tidy", "regexlib/squeeze"}) {
      write_sources({{std::string("casing/") + f, f}});
    }
    // The ancestors the locale table names, without definitions of their own.
    for (const auto& [file, description] : std::vector<std::pair<const char*, const char*>>{
             {"en.loc", "English"},
             {"l1.loc", "ISO-8859-1 (Latin-1)"},
             {"tr.loc", "Turkish"},
             {"l5.loc", "ISO-8859-9 (Latin 5)"},
             {"az.loc", "Azerbaijani"},
             {"lt.loc", "Lithuanian"},
             {"gb.loc", "Global"}}) {
      tq_test::write_locale_settings(maker(), dir(), file, description, "");
    }
    tq_context* maker = this->maker();
    ASSERT_GE(tq_zel_locale_load(maker, 29840, 0), 0) << error_list_text(maker);
    tq_lock_handle* lock = nullptr;
    ASSERT_EQ(tq_lock_init(maker, &lock), 0);
    int32_t i = -1;
    ASSERT_EQ(tq_scheme_create(maker, (dir() / "scheme").c_str(), "particles", 2, lock, &i), 0)
        << error_list_text(maker);
    for (const auto& [data, standard] : std::vector<std::pair<const char*, const char*>>{
             {"VAN DER", "van der"}, {"DE LA", "de la"}, {"VAN", "van"}}) {
      EXPECT_EQ(tq_scheme_entry_add(maker, i, data, standard), 0) << error_list_text(maker);
    }
    EXPECT_EQ(tq_scheme_write(maker, i, lock), 0) << error_list_text(maker);
    EXPECT_EQ(tq_scheme_unload_edit(maker, i, lock), 0);
    tq_lock_free(maker, lock);
  }
};

using case_fn = int32_t (*)(tq_context*, const char*, const char*, char*, int32_t);
case_fn by_mode(const std::string& mode) {
  if (mode == "upper") return tq_uppercase;
  if (mode == "lower") return tq_lowercase;
  return tq_propercase;
}

TEST(Casing, GoldenValues) {
  CasingKb kb;
  ASSERT_EQ(kb.load_rc(), 0) << error_list_text(kb.ctx());
  std::ifstream in(source("golden.tsv"));
  std::string line;
  int rows = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(cell);
    ASSERT_EQ(f.size(), 5u) << line;
    kb.select(f[0]);
    char out[1028] = {};
    const char* defn = f[2] == "-" ? nullptr : f[2].c_str();
    EXPECT_EQ(by_mode(f[1])(kb.ctx(), defn, f[3].c_str(), out, sizeof out), 0) << line << error_list_text(kb.ctx());
    EXPECT_EQ(std::string(out), f[4]) << line;
    ++rows;
  }
  EXPECT_GE(rows, 15);
}

// A definition made for another case: empty input still 0; else -300 and
// an empty output. Hidden definitions need the nonsurfaced forms; unknown
// names -801; a lowercase definition is taken by name even when it is not
// usable, refused by index.
TEST(Casing, DefinitionLookupAndTests) {
  CasingKb kb;
  tq_context* c = kb.ctx();
  char out[64] = "junk";
  EXPECT_EQ(tq_uppercase(c, "Low", "", out, sizeof out), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(tq_uppercase(c, "Low", "abc", out, sizeof out), -300);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(tq_propercase(c, "Up", "abc", out, sizeof out), -300);
  EXPECT_EQ(tq_uppercase(c, "Hidden", "abc", out, sizeof out), -800);
  EXPECT_EQ(tq_uppercase_nonsurfaced(c, "Hidden", "abc", out, sizeof out), 0);
  EXPECT_STREQ(out, "ABC");
  EXPECT_EQ(tq_uppercase(c, "Nosuch", "abc", out, sizeof out), -801);
  EXPECT_EQ(tq_uppercase_by_index(c, -1, "abc", out, sizeof out), 0);
  EXPECT_EQ(tq_uppercase_by_index(c, 999, "abc", out, sizeof out), -800);

  tq::defn_rec* rec = nullptr;
  int32_t low = -1;
  ASSERT_EQ(tq::defn_index_get_by_name(c, tq::kDefnCase, "Low", 0, &low), 0);
  ASSERT_EQ(tq::defn_record_get_for_read(c, tq::kDefnCase, low, &rec), 0);
  rec->version_supported = 0;  // as a definition of a newer engine
  EXPECT_EQ(tq_lowercase(c, "Low", "ABC", out, sizeof out), 0);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(tq_lowercase_by_index(c, low, "ABC", out, sizeof out), -705);
  rec->version_supported = 1;
}

// Outputs never pass the size given, in any session encoding: a canary after
// the buffer survives, and the cut is told (102); a size below one
// terminator gives -802 and writes nothing; proper casing takes 0 as
// "'max_len' is 0." and 5,000 as 1,024.
TEST(Casing, BoundedOutputsInEveryEncoding) {
  CasingKb kb;
  tq_context* c = kb.ctx();
  const std::string value = "abcdefgh ijkl";
  for (uint32_t enc = 0; enc < 16; ++enc) {
    if (tq_session_encoding_set(c, enc) != 0) continue;
    uint32_t term = enc == 14 || enc == 15 ? 2 : 1;
    // The input in the session encoding (ASCII in every one of them).
    std::string in;
    for (char ch : value) {
      if (enc == 14) in += '\0';
      in += ch;
      if (enc == 15) in += '\0';
    }
    in.append(4, '\0');
    if (enc == 10) continue;  // EBCDIC: ASCII bytes are not its letters
    for (case_fn fn : {case_fn{tq_uppercase}, case_fn{tq_lowercase}, case_fn{tq_propercase}}) {
      for (int32_t size : {1, 2, 3, 4, 5, 8, 9}) {
        std::vector<char> buf(static_cast<size_t>(size) + 8, '\x5A');
        const int32_t rc = fn(c, nullptr, in.data(), buf.data(), size);
        if (static_cast<uint32_t>(size) < term) {
          EXPECT_EQ(rc, -802) << enc << " " << size;
          EXPECT_EQ(buf[0], '\x5A');
        } else {
          EXPECT_EQ(rc, TQ_WARN_LIMIT_REACHED) << enc << " " << size << error_list_text(c);
          EXPECT_NE(std::memchr(buf.data(), 0, static_cast<size_t>(size)), nullptr) << enc << " " << size;
        }
        for (size_t k = static_cast<size_t>(size); k < buf.size(); ++k) {
          ASSERT_EQ(buf[k], '\x5A') << "canary overwritten, encoding " << enc << " size " << size;
        }
      }
    }
  }
  ASSERT_EQ(tq_session_encoding_set(c, 13), 0);
  char out[8] = "junk";
  EXPECT_EQ(tq_uppercase(c, nullptr, "abcdefgh", out, 4), TQ_WARN_LIMIT_REACHED);
  EXPECT_STREQ(out, "ABC");
  EXPECT_EQ(tq_uppercase(c, nullptr, "abc", out, 0), -802);
  EXPECT_STREQ(out, "ABC");
  EXPECT_EQ(tq_propercase(c, nullptr, "x", out, 0), -802);
  EXPECT_NE(error_list_text(c).find("'max_len' is 0."), std::string::npos) << error_list_text(c);
  std::vector<char> big(5000, 'x');
  big.back() = '\0';
  std::vector<char> wide(5000, '\0');
  EXPECT_EQ(tq_propercase(c, nullptr, big.data(), wide.data(), 5000), TQ_WARN_LIMIT_REACHED);
  EXPECT_EQ(std::strlen(wide.data()), 1023u);
}

// Casing that lengthens text stays within the output and whole characters:
// 512 words "i" uppercased in Turkish grow from 1 to 2 bytes each, past the
// engines' 1,024 bytes, which the call tells.
TEST(Casing, LengtheningStaysBounded) {
  CasingKb kb;
  kb.select("TRTUR");
  std::string in;
  for (int k = 0; k < 512; ++k) in += "i ";
  std::vector<char> buf(1028 + 16, '\x5A');
  EXPECT_EQ(tq_uppercase(kb.ctx(), nullptr, in.c_str(), buf.data(), 1028), TQ_WARN_LIMIT_REACHED);
  const size_t n = std::strlen(buf.data());
  EXPECT_LE(n, 1027u);
  EXPECT_EQ(std::string(buf.data(), 4), "\xC4\xB0 \xC4");
  EXPECT_NE(static_cast<unsigned char>(buf[n - 1]), 0xC4u);  // not cut inside a character
  for (size_t k = 1028; k < buf.size(); ++k) ASSERT_EQ(buf[k], '\x5A');
}

std::string repeated(const std::string& s, int n) {
  std::string r;
  for (int k = 0; k < n; ++k) r += s;
  return r;
}

// The start of a UTF-8 text in at most n bytes, cut between characters.
std::string utf8_start(const std::string& text, size_t n) {
  if (text.size() <= n) return text;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

// Values that casing lengthens past the engines' 1,024 bytes, through every
// casing export with and without a definition: 340 words of U+0149 (2 bytes)
// upper- and title-cased, or of U+0130 lowercased, grow to 1,360 bytes (3
// bytes a word's letter). Each call gives 102, the start of the whole cased
// text cut between characters, and a message with the engines' length, the
// bytes kept and the whole length; an output size below the engines' length
// (lower- and propercasing use at most 1,024 bytes) cuts it again, told
// with the same whole length.
TEST(Casing, GrowthPastTheEnginesLengthIsTold) {
  CasingKb kb;
  tq_context* c = kb.ctx();
  using name_fn = int32_t (*)(tq_context*, const char*, const char*, char*, int32_t);
  using index_fn = int32_t (*)(tq_context*, int32_t, const char*, char*, int32_t);
  using info_fn = int32_t (*)(tq_context*, const char*, const char*, char*, int32_t, tq_case_info*);
  struct Mode {
    std::string stem;  // the exports' names start with it
    const char* defn;
    int32_t limit;  // the most of a caller's size the mode uses
    std::string value, cased;
    name_fn by_name, nonsurfaced;
    index_fn by_index;
    info_fn with_info, with_info_nonsurfaced;
  };
  const std::string n_apostrophe = repeated("\xC5\x89 ", 340);
  const std::string upper_n = repeated("\xCA\xBCN ", 340);
  const std::vector<Mode> modes = {
      {"tq_uppercase", "Up", 1028, n_apostrophe, upper_n, tq_uppercase, tq_uppercase_nonsurfaced,
       tq_uppercase_by_index, tq_uppercase_with_info, tq_uppercase_with_info_nonsurfaced},
      {"tq_lowercase", "Low", 1024, repeated("\xC4\xB0 ", 340), repeated("i\xCC\x87 ", 340), tq_lowercase,
       tq_lowercase_nonsurfaced, tq_lowercase_by_index, tq_lowercase_with_info, tq_lowercase_with_info_nonsurfaced},
      {"tq_propercase", "Unicode Names", 1024, n_apostrophe, upper_n, tq_propercase, tq_propercase_nonsurfaced,
       tq_propercase_by_index, tq_propercase_with_info, tq_propercase_with_info_nonsurfaced},
  };
  tq_case_info* info = nullptr;
  ASSERT_EQ(tq_case_info_init(c, &info), 0);
  std::vector<char> out(1100);
  int calls = 0;
  for (const Mode& m : modes) {
    ASSERT_EQ(m.cased.size(), 1360u);
    for (const char* defn : {static_cast<const char*>(nullptr), m.defn}) {
      int32_t index = -1;
      if (defn != nullptr) {
        ASSERT_EQ(tq_case_defn_index_get_by_name(c, defn, &index), 0) << defn;
      }
      const std::vector<std::pair<std::string, std::function<int32_t(int32_t)>>> forms = {
          {"", [&](int32_t size) { return m.by_name(c, defn, m.value.c_str(), out.data(), size); }},
          {"_by_index", [&](int32_t size) { return m.by_index(c, index, m.value.c_str(), out.data(), size); }},
          {"_nonsurfaced", [&](int32_t size) { return m.nonsurfaced(c, defn, m.value.c_str(), out.data(), size); }},
          {"_with_info",
           [&](int32_t size) { return m.with_info(c, defn, m.value.c_str(), out.data(), size, info); }},
          {"_with_info_nonsurfaced",
           [&](int32_t size) { return m.with_info_nonsurfaced(c, defn, m.value.c_str(), out.data(), size, info); }},
      };
      for (const auto& [suffix, call] : forms) {
        const std::string name = m.stem + suffix;
        for (const int32_t size : {1028, 1025, 9}) {
          const std::string where = name + (defn != nullptr ? " with " + std::string(defn) : "") + ", size " +
                                    std::to_string(size);
          std::fill(out.begin(), out.end(), '\x5A');
          EXPECT_EQ(call(size), TQ_WARN_LIMIT_REACHED) << where << "\n" << error_list_text(c);
          ++calls;
          const size_t room = static_cast<size_t>(std::min(size, m.limit)) - 1;
          EXPECT_EQ(std::string(out.data()), utf8_start(m.cased, std::min<size_t>(room, 1024))) << where;
          const std::string errors = error_list_text(c);
          EXPECT_NE(errors.find("In " + name +
                                ", the cased text was longer than the engines' 1024 bytes (UTF-8) and was cut to "
                                "1024 bytes; the whole text needs 1360 bytes."),
                    std::string::npos)
              << where << "\n" << errors;
          uint32_t told = 0;
          EXPECT_EQ(tq_error_count_get(c, &told), 0);
          EXPECT_EQ(told, room < 1024 ? 2u : 1u) << where << "\n" << errors;
          if (room < 1024) {
            EXPECT_NE(errors.find("An output of " + name + " was cut to fit " + std::to_string(room) +
                                  " bytes; the whole text needs 1360 bytes and its terminator."),
                      std::string::npos)
                << where << "\n" << errors;
          }
        }
      }
    }
  }
  EXPECT_EQ(calls, 90);
  EXPECT_EQ(tq_case_info_free(c, info), 0);

  // A value cut on its way in: how long its whole cased text is, is not known.
  char buf[1028];
  EXPECT_EQ(tq_uppercase(c, nullptr, repeated("\xC5\x89", 600).c_str(), buf, sizeof buf), TQ_WARN_LIMIT_REACHED);
  EXPECT_EQ(std::string(buf), repeated("\xCA\xBCN", 341));
  EXPECT_NE(error_list_text(c).find("In tq_uppercase, the cased text was longer than the engines' 1024 bytes "
                                    "(UTF-8) and was cut to 1023 bytes; the whole text is longer."),
            std::string::npos)
      << error_list_text(c);
  // Casing that shortens a value: the whole value is cased, whatever the
  // caller's size (20 dotless i of 2 bytes uppercase to 20 bytes).
  EXPECT_EQ(tq_uppercase(c, nullptr, repeated("\xC4\xB1", 20).c_str(), buf, 30), 0) << error_list_text(c);
  EXPECT_EQ(std::string(buf), std::string(20, 'I'));
  // In UCS-2 the engines' 1,024 bytes of UTF-8 (768 characters) are cut
  // again to the output's 1,026 bytes, whose whole length in UCS-2 is not
  // known.
  ASSERT_EQ(tq_session_encoding_set(c, TQ_ENC_UCS2_LE), 0);
  std::string ucs2;
  for (int k = 0; k < 340; ++k) ucs2 += std::string("\x49\x01\x20\x00", 4);
  ucs2.append(2, '\0');
  EXPECT_EQ(tq_uppercase(c, nullptr, ucs2.data(), buf, sizeof buf), TQ_WARN_LIMIT_REACHED);
  EXPECT_EQ(std::memcmp(buf, "\xBC\x02N\0 \0", 6), 0);
  EXPECT_EQ(buf[1026], 0);
  EXPECT_EQ(buf[1027], 0);
  uint32_t told = 0;
  EXPECT_EQ(tq_error_count_get(c, &told), 0);
  EXPECT_EQ(told, 2u);
  // (The messages come in the session encoding: ASCII, one byte a unit.)
  EXPECT_EQ(tq_test::ucs2_error_text(c, 1),
            "An output of tq_uppercase was cut to fit 1026 bytes; the whole text is longer.");
}

// One run recorded: worked values of the info with no definition, and a
// known-word span recorded once for its words.
TEST(Casing, CaseInfo) {
  CasingKb kb;
  tq_context* c = kb.ctx();
  tq_case_info* info = nullptr;
  ASSERT_EQ(tq_case_info_init(c, &info), 0);
  char out[1028];
  ASSERT_EQ(tq_uppercase_with_info(c, nullptr, "ab  cd", out, sizeof out, info), 0);
  uint32_t n = 0;
  EXPECT_EQ(tq_case_info_word_count_get(c, info, &n), 0);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(tq_case_info_chop_word_count_get(c, info, &n), 0);
  EXPECT_EQ(n, 2u);
  char a[1028], b[1028], d[1028], e[1028];
  EXPECT_EQ(tq_case_info_chop_word_get(c, info, 1, a), 0);
  EXPECT_STREQ(a, "cd");
  EXPECT_EQ(tq_case_info_word_info_get(c, info, 0, a, b, d, e), 0);
  EXPECT_STREQ(a, "ab");
  EXPECT_STREQ(b, "");
  EXPECT_STREQ(d, "");
  EXPECT_STREQ(e, "AB");
  EXPECT_EQ(tq_case_info_known_word_scheme_word_get(c, info, 0, a, b), 0);
  EXPECT_STREQ(a, "ab");
  EXPECT_STREQ(b, "ab");
  EXPECT_EQ(tq_case_info_final_word_get(c, info, 0, a), 0);
  EXPECT_STREQ(a, "AB");
  uint32_t flag = 0;
  EXPECT_EQ(tq_case_info_default_casing_used_get(c, info, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_case_info_concat_string_get(c, info, a), 0);
  EXPECT_STREQ(a, "AB  CD");
  EXPECT_EQ(tq_case_info_final_word_get(c, info, 2, a), -800);
  EXPECT_EQ(tq_case_info_free(c, info), 0);

  ASSERT_EQ(tq_ucase_info_init(c, &info), 0);
  ASSERT_EQ(tq_propercase_with_info(c, "Names", "VAN DER BERG", out, sizeof out, info), 0);
  EXPECT_STREQ(out, "van der Berg");
  EXPECT_EQ(tq_ucase_info_word_count_get(c, info, &n), 0);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(tq_ucase_info_word_info_get(c, info, 0, a, b, d, e), 0);
  EXPECT_STREQ(a, "VAN DER");
  EXPECT_STREQ(b, "van der");
  EXPECT_STREQ(d, "");
  EXPECT_STREQ(e, "");
  EXPECT_EQ(tq_ucase_info_final_word_get(c, info, 0, a), 0);
  EXPECT_STREQ(a, "VAN DER");
  EXPECT_EQ(tq_ucase_info_known_word_scheme_matched_get(c, info, &flag), 0);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(tq_ucase_info_free(c, info), 0);

  EXPECT_EQ(tq_case_info_free(c, nullptr), -802);
  EXPECT_NE(error_list_text(c).find("'case_info' is null."), std::string::npos);
  EXPECT_EQ(tq_ucase_info_free(c, nullptr), 0);
  EXPECT_EQ(tq_lcase_info_free(c, nullptr), 0);
}

// Under a definition every word record shows what each step was given: the
// after-scheme text is the word until the scheme changes it, the after-regex
// text starts from it. Each of the three info families reads the same record.
TEST(Casing, CaseInfoWordTextsUnderADefinition) {
  CasingKb kb;
  tq_context* c = kb.ctx();
  using word_info_fn = int32_t (*)(tq_context*, tq_case_info*, int32_t, char*, char*, char*, char*);
  using init_fn = int32_t (*)(tq_context*, tq_case_info**);
  using free_fn = int32_t (*)(tq_context*, tq_case_info*);
  const struct {
    init_fn init;
    word_info_fn get;
    free_fn release;
  } families[] = {{tq_case_info_init, tq_case_info_word_info_get, tq_case_info_free},
                  {tq_ucase_info_init, tq_ucase_info_word_info_get, tq_ucase_info_free},
                  {tq_lcase_info_init, tq_lcase_info_word_info_get, tq_lcase_info_free}};
  const struct {
    const char* defn;
    const char* value;
    int32_t word;
    const char* texts;  // source, after scheme, after regex, final
  } cases[] = {
      // No scheme; the known-pattern regexlib changes the word.
      {"Macs", "mcdonald", 0, "mcdonald|mcdonald|McDonald|McDonald"},
      // A scheme that does not know the word, no regexlib: the default rule.
      {"Names", "VAN DER BERG", 1, "BERG|BERG|BERG|Berg"},
  };
  for (const auto& f : families) {
    for (const auto& k : cases) {
      tq_case_info* info = nullptr;
      ASSERT_EQ(f.init(c, &info), 0);
      char out[1028];
      ASSERT_EQ(tq_propercase_with_info(c, k.defn, k.value, out, sizeof out, info), 0) << error_list_text(c);
      char a[1028], b[1028], d[1028], e[1028];
      ASSERT_EQ(f.get(c, info, k.word, a, b, d, e), 0);
      EXPECT_EQ(std::string(a) + "|" + b + "|" + d + "|" + e, k.texts) << k.defn;
      EXPECT_EQ(tq_case_info_known_pattern_regex_word_get(c, info, k.word, a), 0);
      EXPECT_STREQ(a, d) << k.defn;
      EXPECT_EQ(f.release(c, info), 0);
    }
  }
}

// A known-word scheme whose standard is longer in characters than its data
// fails the check each time the definition is used unprepared: -706 and no
// output. Checked at load under option bit 22, the definition is not valid.
TEST(Casing, SchemeLengthCheck) {
  CasingKb kb;
  tq_context* c = kb.ctx();
  int32_t names = -1;
  ASSERT_EQ(tq::defn_index_get_by_name(c, tq::kDefnCase, "Names", 0, &names), 0);
  tq::defn_rec* rec = nullptr;
  ASSERT_EQ(tq::defn_record_get_for_read(c, tq::kDefnCase, names, &rec), 0);
  int32_t grow = -1;
  ASSERT_EQ(tq_scheme_create_in_memory(c, "grow", 0, &grow), 0);
  ASSERT_EQ(tq_scheme_entry_add(c, grow, "ABCD", "ABCDE"), 0);
  ASSERT_EQ(tq_scheme_finalize_in_memory(c, grow), 0);
  tq::case_defn_kind_rec* part = tq::case_defn_part(rec);
  ASSERT_NE(part, nullptr);
  // Put in place as an accessor does: the old scheme dropped, the new one
  // (with the reference its creation gave) unprepared.
  ASSERT_EQ(part->known_word_scheme.release(c), 0);
  part->known_word_scheme = tq::rsrc_ref::adopt(tq::kRsrcScheme, grow);
  part->prepared.store(0);
  char out[64] = "junk";
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(tq_propercase(c, "Names", "abcd", out, sizeof out), -706);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(part->prepared.load(), 0u);
  }
  EXPECT_NE(error_list_text(c).find("ABCDE"), std::string::npos) << error_list_text(c);
}

// Once warm, casing a value allocates nothing, with or without a
// definition: spans, title casing, known patterns, pre- and postprocessing.
TEST(Casing, WarmRunAllocatesNothing) {
  CasingKb kb;
  tq_context* c = kb.ctx();
  char out[1028];
  const auto all = [&] {
    for (const char* v : {"jean van der berg", "MACDONALD o'neil", "Élise de la Straße"}) {
      ASSERT_EQ(tq_uppercase(c, nullptr, v, out, sizeof out), 0);
      ASSERT_EQ(tq_lowercase(c, nullptr, v, out, sizeof out), 0);
      ASSERT_EQ(tq_uppercase(c, "Up", v, out, sizeof out), 0);
      ASSERT_EQ(tq_lowercase(c, "Low", v, out, sizeof out), 0);
      for (const char* defn : {"Names", "Unicode Names", "Macs"}) {
        ASSERT_EQ(tq_propercase(c, defn, v, out, sizeof out), 0) << defn;
      }
    }
  };
  all();
  tq_test::AllocCounter counter;
  if (!counter.available) GTEST_SKIP() << "allocation hooks need a sanitizer build";
  for (int k = 0; k < 10; ++k) all();
  EXPECT_EQ(counter.allocations(), 0);
}

}  // namespace

namespace {

// The kind part written back: the case by name, "Unicode Casing" (absent
// from the source, so 0) as "No" in the "9.0" group, the resources by name
// with the scheme's case-insensitivity.
TEST(Casing, DefinitionWrittenBack) {
  CasingKb kb;
  tq_context* c = kb.ctx();
  for (const auto& [name, props] : std::vector<std::pair<const char*, std::vector<std::pair<const char*, const char*>>>>{
           {"Names", {{"Case", "Proper"}, {"Unicode Casing", "No"}, {"Known Word Scheme", "particles"},
                      {"Case Insensitive", "Yes"}, {"Skip Regexlib On Scheme Xform", "No"}}},
           {"Macs", {{"Case", "Proper"}, {"Known Pattern Regexlib", "mac"}, {"Known Word Scheme", ""}}},
           {"Unicode Names", {{"Unicode Casing", "Yes"}}}}) {
    int32_t index = -1;
    ASSERT_EQ(tq::defn_index_get_by_name(c, tq::kDefnCase, name, 0, &index), 0);
    tq::defn_rec* rec = nullptr;
    ASSERT_EQ(tq::defn_record_get_for_read(c, tq::kDefnCase, index, &rec), 0);
    tq::xmldoc* doc = nullptr;
    ASSERT_EQ(tq::xmldoc_create(c, "Caseorithm", "7.0", &doc), 0);
    EXPECT_EQ(tq::case_defn_kind_write(c, doc, rec), 0) << error_list_text(c);
    for (const auto& [prop, value] : props) EXPECT_STREQ(tq::xmldoc_prop_get(c, doc, prop), value) << name << prop;
    EXPECT_EQ(tq::xmldoc_prop_exists(c, doc, "Unicode Casing"), 1);
    // Only inside the version group, not among the element's own.
    bool own = false;
    for (int32_t k = 0; k < doc->prop_count; ++k) own = own || std::strcmp(doc->props[k].name, "Unicode Casing") == 0;
    EXPECT_FALSE(own) << name;
    tq_xml_free(c, doc);
  }
  EXPECT_EQ(tq::case_id_get_by_name("Proper case"), 3);
  EXPECT_EQ(tq::case_id_get_by_name("Uppercase"), -1);
  EXPECT_EQ(tq::case_id_get_by_name("Upper"), 1);
}

}  // namespace

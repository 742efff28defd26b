// The regex element engine: compilation, matching, search and replace with
// the substitution syntax and its case escapes, whole-library operations.
#include <cstring>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "resources/krregx.h"
#include "support/alloc_counter.h"
#include "support/bare_context.h"
#include "support/tq_test.h"

namespace {

using namespace tq;
using tq_test::BareContext;

// A compiled library built from (regex, substitution) pairs.
struct Lib {
  regexlib_rec rec{};
  Lib(context* ctx, const std::vector<std::pair<std::string, std::string>>& elems) {
    rec.count = static_cast<uint32_t>(elems.size());
    rec.elements = static_cast<regexlib_element*>(std::calloc(elems.size() + 1, sizeof(regexlib_element)));
    for (size_t i = 0; i < elems.size(); ++i) {
      EXPECT_EQ(regexlib_element_create(&rec.elements[i], elems[i].first.c_str(), elems[i].second.c_str(), "", 1), 0);
      EXPECT_GE(regexlib_element_compile(ctx, &rec.elements[i], regexlib_compile_options(ctx)), 0);
    }
  }
  ~Lib() { regexlib_elements_free(&rec); }
};

// Runs the library over a UTF-8 text: (matched, result).
std::pair<int32_t, std::string> replace(context* ctx, const std::vector<std::pair<std::string, std::string>>& elems,
                                        const std::string& in) {
  Lib lib(ctx, elems);
  char out[kRegexResultSize];
  std::memset(out, 'Z', sizeof out);
  int32_t m = regexlib_replace_all(ctx, &lib.rec, in.c_str(), out, 0);
  return {m, std::string(out)};
}

TEST(RegexEngine, GroupsAndCaseEscapes) {
  BareContext bc;
  context* ctx = bc.get();
  EXPECT_EQ(replace(ctx, {{"([A-Z]+)-([0-9]+)", "\\2 \\1"}}, "AB-12"), std::make_pair(1, std::string("12 AB")));
  EXPECT_EQ(replace(ctx, {{"([a-z]+)", "\\U\\1"}}, "smith").second, "SMITH");
  EXPECT_EQ(replace(ctx, {{"([a-z]+)", "\\u\\1"}}, "smith").second, "Smith");
  EXPECT_EQ(replace(ctx, {{"([A-Za-z]+)", "\\L\\1"}}, "McDonald").second, "mcdonald");
  // Only the first character changes after \L\u.
  EXPECT_EQ(replace(ctx, {{"([A-Za-z]+)", "\\L\\u\\1"}}, "mCDONALD").second, "MCDONALD");
  // \u after \L with something between applies no more than the \L.
  EXPECT_EQ(replace(ctx, {{"([a-z]+) ([a-z]+)", "\\Lx\\u\\1 \\2"}}, "ab cd").second, "xab cd");
  // Case escapes end with the replacement of their match: the \L of one
  // match neither lowers the next match's replacement nor stops its \u, and
  // the text between matches is copied as it is.
  EXPECT_EQ(replace(ctx, {{"\\b(\\w)(\\w*)", "\\u\\1\\L\\2"}}, "aBC dEF").second, "Abc Def");
  EXPECT_EQ(replace(ctx, {{"b", "\\U\\0x"}}, "bcb").second, "BXcBX");
  EXPECT_EQ(replace(ctx, {{"(b)", "\\1\\u"}}, "bcb").second, "bcb");
  // \E ends \U; \l lowers only the first character of the next segment.
  EXPECT_EQ(replace(ctx, {{"([a-z]+)", "\\U\\1\\Ex\\l\\1"}}, "ab").second, "ABxab");
  // \E ends a case range; upper-casing is full (sharp s).
  EXPECT_EQ(replace(ctx, {{"(\\w+) (\\w+)", "\\U\\1\\E \\2"}}, "abc def").second, "ABC def");
  EXPECT_EQ(replace(ctx, {{"(.+)", "\\U\\1"}}, "stra\xC3\x9F" "e").second, "STRASSE");
  // A doubled backslash never yields a backslash; an unset group gives nothing.
  EXPECT_EQ(replace(ctx, {{"a", "x\\\\y"}}, "a").second, "xy");
  EXPECT_EQ(replace(ctx, {{"(a)|(b)", "[\\2]"}}, "a").second, "[]");
  EXPECT_EQ(replace(ctx, {{"b", "<\\0>"}}, "abc").second, "a<b>c");
}

TEST(RegexEngine, RunningTextAndNoMatch) {
  BareContext bc;
  context* ctx = bc.get();
  EXPECT_EQ(replace(ctx, {{"a", "b"}}, "banana").second, "bbnbnb");
  EXPECT_EQ(replace(ctx, {{"A", "B"}, {"B", "C"}}, "A").second, "C");
  auto r = replace(ctx, {{"x", "y"}, {"q", "z"}}, "abc");
  EXPECT_EQ(r.first, 0);
  EXPECT_EQ(r.second, "abc");
  // A single element that does not match leaves the result untouched.
  Lib lib(ctx, {{"x", "y"}});
  char out[kRegexResultSize] = "keep";
  EXPECT_EQ(regexlib_element_replace(ctx, &lib.rec.elements[0], "abc", out), 0);
  EXPECT_STREQ(out, "keep");
  EXPECT_EQ(regexlib_match_any(ctx, &lib.rec, "xx", 0), 1);
  EXPECT_EQ(regexlib_match_any(ctx, &lib.rec, "ab", 0), 0);
}

TEST(RegexEngine, EmptyMatchesKeepEveryCharacter) {
  BareContext bc;
  context* ctx = bc.get();
  EXPECT_EQ(replace(ctx, {{"a*", "-"}}, "baaac").second, "-b--c");
  // A multi-byte character at an empty match is kept whole.
  std::string out = replace(ctx, {{"x*", "-"}}, "\xC3\xA9t\xC3\xA9").second;
  EXPECT_EQ(out, "-\xC3\xA9-t-\xC3\xA9");
}

TEST(RegexEngine, ResultIsCutAt1024BytesOnACharacterBoundary) {
  BareContext bc;
  context* ctx = bc.get();
  auto r = replace(ctx, {{"a", "aaaa"}}, std::string(300, 'a'));
  EXPECT_EQ(r.first, 1);
  EXPECT_EQ(r.second, std::string(1024, 'a'));
  // Two-byte characters: 1,023 bytes would split one, so 1,022 are kept.
  r = replace(ctx, {{"a", "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"}}, "x" + std::string(200, 'a'));
  EXPECT_EQ(r.second.size(), 1023u);  // "x" + 511 characters of 2 bytes
  EXPECT_EQ(static_cast<unsigned char>(r.second.back()), 0xA9);
  // A long substitution with four-byte characters never overruns.
  std::string emoji;
  for (int i = 0; i < 300; ++i) emoji += "\xF0\x9F\x98\x80";
  r = replace(ctx, {{"^", emoji}}, "ab");
  EXPECT_LE(r.second.size(), 1024u);
  EXPECT_EQ(r.second.size() % 4, 0u);
}

TEST(RegexEngine, CompileOptionsAndFailures) {
  BareContext bc;
  context* ctx = bc.get();
  EXPECT_EQ(regexlib_compile_options(ctx), kRegexOptUtf8);
  ctx->current_locale_code = 123000;  // TR
  EXPECT_EQ(regexlib_compile_options(ctx), kRegexOptUtf8 | kRegexOptTurkish);
  ctx->current_locale_code = 29840;  // not Turkish
  EXPECT_EQ(regexlib_compile_options(ctx), kRegexOptUtf8);

  regexlib_element e{};
  EXPECT_EQ(regexlib_element_create(&e, "", "x", nullptr, 1), -802);
  ASSERT_EQ(regexlib_element_create(&e, "(", nullptr, nullptr, 1), 0);
  EXPECT_EQ(e.encoding, -1);
  EXPECT_STREQ(e.sub, "");
  EXPECT_EQ(regexlib_element_compile(ctx, &e, kRegexOptUtf8 | kRegexOptTurkish), -803);
  EXPECT_EQ(ctx->errors.count, 1u);
  EXPECT_EQ(ctx->errors.last->code, -803);
  regexlib_element_free(&e);

  // The Turkish bit compiles (it is ours, not PCRE2's ANCHORED) and is kept.
  ASSERT_EQ(regexlib_element_create(&e, "b", nullptr, nullptr, 1), 0);
  EXPECT_EQ(regexlib_element_compile(ctx, &e, kRegexOptUtf8 | kRegexOptTurkish), 0);
  EXPECT_EQ(e.compiled_with, kRegexOptUtf8 | kRegexOptTurkish);
  size_t ov[kRegexOvectorSize];
  int32_t rc = 0;
  EXPECT_EQ(regexlib_element_exec(ctx, &e, "ab", 2, 0, ov, kRegexOvectorSize, &rc, 0), 1);
  EXPECT_EQ(ov[0], 1u);
  regexlib_element_free(&e);

  // Anchored elements match only at the start offset.
  ASSERT_EQ(regexlib_element_create(&e, "[0-9]+", nullptr, nullptr, 1), 0);
  ASSERT_EQ(regexlib_element_compile(ctx, &e, kRegexOptUtf8 | kRegexOptAnchored), 0);
  EXPECT_EQ(regexlib_element_exec(ctx, &e, "ab12", 4, 0, ov, kRegexOvectorSize, &rc, 0), 0);
  EXPECT_EQ(regexlib_element_exec(ctx, &e, "ab12", 4, 2, ov, kRegexOvectorSize, &rc, 0), 1);
  EXPECT_EQ(ov[1], 4u);
  regexlib_element_free(&e);
}

TEST(RegexEngine, MatchingDetails) {
  BareContext bc;
  context* ctx = bc.get();
  // \w stays ASCII in UTF mode; '.' takes a whole character.
  Lib lib(ctx, {{"^\\w+$", ""}, {"^.$", ""}});
  EXPECT_EQ(regexlib_element_exec(ctx, &lib.rec.elements[0], "caf\xC3\xA9", 5, 0, nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(regexlib_element_exec(ctx, &lib.rec.elements[1], "\xC3\xA9", 2, 0, nullptr, 0, nullptr, 0), 1);
  // More than ten pairs needed: no match, as with the classic interface.
  Lib many(ctx, {{"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)", ""}});
  int32_t rc = -1;
  size_t ov[kRegexOvectorSize];
  EXPECT_EQ(regexlib_element_exec(ctx, &many.rec.elements[0], "abcdefghijk", 11, 0, ov, kRegexOvectorSize, &rc, 0), 0);
  EXPECT_EQ(rc, 0);
  // An uncompiled element or a NULL subject never matches.
  regexlib_element raw{};
  ASSERT_EQ(regexlib_element_create(&raw, "a", nullptr, nullptr, 1), 0);
  EXPECT_EQ(regexlib_element_exec(ctx, &raw, "a", 1, 0, nullptr, 0, nullptr, 0), 0);
  EXPECT_EQ(regexlib_element_exec(ctx, &lib.rec.elements[1], nullptr, 0, 0, nullptr, 0, nullptr, 0), 0);
  regexlib_element_free(&raw);
}

// A library passes over the elements that no byte of the running text can
// begin a match of; what it writes is what running every element in turn
// writes: a caseless first letter, a byte that an earlier element wrote, a
// lookbehind before the first byte, patterns that can match empty text or
// begin at a line start, bytes of a multi-byte letter.
TEST(RegexEngine, SkippedElementsWriteWhatRunningThemWrites) {
  BareContext bc;
  context* ctx = bc.get();
  const std::vector<std::pair<std::string, std::string>> elems = {
      {"(?i)x", "y"},          {"a", "\xC3\xA9"}, {"[\xC3\xA9\xC3\xA8]", "E"}, {"(?<=o)'", ""},
      {"x*", "-"},             {"^q|z", "Q"},       {"\\x{0301}+", ""},           {"[\\x{0141}\\x{0142}]", "L"}};
  const char* inputs[] = {"aXb", "o'b", "cafe\xCC\x81", "\xC5\x81ukasz", "qz", "", "plain", "\xC3\xA8"};
  Lib lib(ctx, elems);
  for (const char* in : inputs) {
    char running[kRegexResultSize];
    char next[kRegexResultSize];
    std::strcpy(running, in);
    int32_t any = 0;
    for (uint32_t i = 0; i < lib.rec.count; ++i) {
      const int32_t m = regexlib_element_replace(ctx, &lib.rec.elements[i], running, next);
      ASSERT_GE(m, 0);
      if (m != 0) std::strcpy(running, next);
      any |= m;
    }
    char out[kRegexResultSize];
    EXPECT_EQ(regexlib_replace_all(ctx, &lib.rec, in, out, 0), any) << in;
    EXPECT_STREQ(out, running) << in;
  }
  // Elements whose first bytes are known: the letters' lead bytes, the
  // apostrophe after a lookbehind; not one that can match empty text.
  EXPECT_EQ(lib.rec.elements[2].first_known, 1u);
  EXPECT_EQ(lib.rec.elements[3].first_known, 1u);
  EXPECT_EQ(lib.rec.elements[4].first_known, 0u);
}

TEST(RegexEngine, CoverageScan) {
  BareContext bc;
  context* ctx = bc.get();
  Lib lib(ctx, {{"[0-9]+", ""}, {"[A-Z]", ""}, {"x*", ""}});
  uint32_t matches = 0, covered = 0, length = 0;
  EXPECT_EQ(regexlib_coverage_scan(ctx, &lib.rec, "AB 12 c3", &matches, &covered, &length), 0);
  EXPECT_EQ(length, 8u);
  // "12", "3"; "A", "B"; and the empty matches of x* at 0..8 (9 of them).
  EXPECT_EQ(matches, 2u + 2u + 9u);
  EXPECT_EQ(covered, 5u);
}

// Matching keeps its match data and limits in the context: once warm, no
// call allocates, case escapes included.
TEST(RegexEngine, MatchingAllocatesNothingOnceWarm) {
  BareContext bc;
  context* ctx = bc.get();
  Lib lib(ctx, {{"([A-Z]+)-([0-9]+)", "\\U\\2 \\1"}, {"x*", "-"}, {"(\\w+)", "\\u\\L\\1"}});
  const char* value = "ab AB-12 stra\xC3\x9F" "e cd";
  char out[kRegexResultSize];
  ASSERT_EQ(regexlib_replace_all(ctx, &lib.rec, value, out, 0), 1);
  tq_test::AllocCounter counter;
  if (!counter.available) GTEST_SKIP() << "allocations are counted in sanitizer builds only";
  uint32_t matches = 0;
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(regexlib_match_any(ctx, &lib.rec, value, 0), 1);
    EXPECT_EQ(regexlib_replace_all(ctx, &lib.rec, value, out, 0), 1);
    EXPECT_EQ(regexlib_coverage_scan(ctx, &lib.rec, value, &matches, nullptr, nullptr), 0);
  }
  EXPECT_EQ(counter.allocations(), 0);
}

// A pattern that backtracks without end gives up at its limit, says so,
// and fails the operation instead of passing for "no match".
TEST(RegexEngine, BacktrackingGivesUpAtTheLimit) {
  BareContext bc;
  context* ctx = bc.get();
  Lib lib(ctx, {{"(a+)+[bc]", "x"}});
  std::string as(1024, 'a');
  char out[kRegexResultSize] = "untouched";
  int32_t rc = 0;
  EXPECT_EQ(regexlib_element_exec(ctx, &lib.rec.elements[0], as.c_str(), as.size(), 0, nullptr, 0, &rc, 0),
            kRcRegexLimit);
  EXPECT_LT(rc, 0);
  EXPECT_NE(bc.last_error().find("(a+)+[bc]"), std::string::npos) << bc.last_error();
  EXPECT_EQ(regexlib_match_any(ctx, &lib.rec, as.c_str(), 0), kRcRegexLimit);
  EXPECT_EQ(regexlib_replace_all(ctx, &lib.rec, as.c_str(), out, 0), kRcRegexLimit);
  EXPECT_STREQ(out, "untouched");
  EXPECT_EQ(regexlib_coverage_scan(ctx, &lib.rec, as.c_str(), nullptr, nullptr, nullptr), kRcRegexLimit);
  // Ill-formed UTF-8 matches nothing, and is no failure.
  EXPECT_EQ(regexlib_match_any(ctx, &lib.rec, "aab\xC3", 0), 0);
  EXPECT_EQ(regexlib_match_any(ctx, &lib.rec, "aab", 0), 1);
}

}  // namespace

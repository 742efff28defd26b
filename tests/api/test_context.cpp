// The context life cycle, paths, options and version, through the exports.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/tq_test.h"

extern "C" int tq_c_header_check(void);

namespace {

using tq_test::Context;

std::string path_of(tq_context* ctx, uint32_t size = 20000) {
  std::vector<char> buf(size + 4, '\x7f');
  EXPECT_EQ(tq_path_get(ctx, buf.data(), size), 0);
  return buf.data();
}

TEST(Context, HeaderCompilesAsC) { EXPECT_EQ(tq_c_header_check(), 1); }

TEST(Context, VersionTextAndNumber) {
  // The header's version macros say what the library gives.
  EXPECT_EQ(tq_version_get(nullptr), TQ_VERSION_MAJOR << 8 | TQ_VERSION_MINOR);
  EXPECT_EQ(tq_version_get(nullptr), 2304);
  char buf[80];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(tq_version_get(buf), 2304);
  EXPECT_STREQ(buf, "Corvel version 9.0 (build 135)");
  // Nothing past the terminator is touched.
  EXPECT_EQ(buf[std::strlen(buf) + 1], 'x');
}

TEST(Context, InitRejectsNullOutAndAcceptsNoRoot) {
  EXPECT_EQ(tq_init(nullptr, "x"), -802);
  tq_context* ctx = reinterpret_cast<tq_context*>(1);
  ASSERT_EQ(tq_init(&ctx, nullptr), 0);
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(path_of(ctx), "");
  char root[16390];
  EXPECT_EQ(tq_root_path_get(ctx, root), 0);
  EXPECT_STREQ(root, "");
  uint32_t count = 7;
  EXPECT_EQ(tq_error_count_get(ctx, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(tq_close(ctx), 0);
  EXPECT_EQ(tq_close(nullptr), -100);
}

TEST(Context, RootGivesTheEightSubFolders) {
  Context ctx("/kb");
  EXPECT_EQ(path_of(ctx),
            "/kb/casetab;/kb/chopinfo;/kb/grammar;/kb/locale;/kb/phonetx;/kb/regexlib;/kb/scheme;/kb/vocab");
  ASSERT_EQ(tq_zel_path_set(ctx, "/data/kb/"), 0);
  EXPECT_EQ(path_of(ctx),
            "/data/kb/casetab;/data/kb/chopinfo;/data/kb/grammar;/data/kb/locale;/data/kb/phonetx;"
            "/data/kb/regexlib;/data/kb/scheme;/data/kb/vocab");
  // A root that already ends in a backslash gets no second separator.
  ASSERT_EQ(tq_zel_path_set(ctx, "C:\\kb\\"), 0);
  EXPECT_EQ(path_of(ctx).substr(0, 23), "C:\\kb\\casetab;C:\\kb\\cho");
  // An empty root changes nothing.
  ASSERT_EQ(tq_zel_path_set(ctx, ""), 0);
  EXPECT_EQ(path_of(ctx).substr(0, 13), "C:\\kb\\casetab");
  char root[16390];
  EXPECT_EQ(tq_root_path_get(ctx, root), 0);
  EXPECT_STREQ(root, "C:\\kb\\");
  EXPECT_EQ(tq_zel_path_set(ctx, nullptr), -802);
  EXPECT_EQ(tq_zel_path_set(nullptr, "/kb"), -100);
}

TEST(Context, SearchPathSetAndGet) {
  Context ctx;
  ASSERT_EQ(tq_path_set(ctx, "a;;b;"), 0);
  EXPECT_EQ(path_of(ctx), "a;b");
  ASSERT_EQ(tq_path_set(ctx, ";a"), 0);
  EXPECT_EQ(path_of(ctx), "a");
  ASSERT_EQ(tq_path_set(ctx, "abcdef"), 0);
  // The caller's size bounds the output, terminator included; the cut is
  // told.
  char small[8];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(tq_path_get(ctx, small, 4), TQ_WARN_LIMIT_REACHED);
  EXPECT_STREQ(small, "abc");
  EXPECT_EQ(small[4], 'x');
  EXPECT_EQ(tq_path_get(ctx, small, 0), -802);
  EXPECT_EQ(small[0], 'a');
  EXPECT_EQ(tq_path_get(ctx, nullptr, 10), -802);
  EXPECT_EQ(tq_path_get(nullptr, small, 8), -100);
  EXPECT_EQ(tq_path_set(ctx, nullptr), -802);
  ASSERT_EQ(tq_path_set(ctx, ""), 0);
  EXPECT_EQ(path_of(ctx), "");
  // The root stays as it was.
  char root[16390];
  EXPECT_EQ(tq_root_path_get(ctx, root), 0);
  EXPECT_STREQ(root, "");
  EXPECT_EQ(tq_root_path_get(ctx, nullptr), -802);
  int32_t code = 0;
  char text[4100];
  EXPECT_EQ(tq_error_info_get(ctx, &code, text), 0);
  EXPECT_EQ(code, -802);
  EXPECT_STREQ(text, "'path' is null.");
}

TEST(Context, PathOutputsAreBoundedInUcs2) {
  Context ctx;
  ASSERT_EQ(tq_path_set(ctx, "abcdef"), 0);
  ASSERT_EQ(tq_session_encoding_set(ctx, 15), 0);
  char buf[16];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(tq_path_get(ctx, buf, 8), TQ_WARN_LIMIT_REACHED);
  // Three characters and the two-byte terminator fit in eight bytes.
  EXPECT_EQ(std::string(buf, 8), std::string("a\0b\0c\0\0\0", 8));
  EXPECT_EQ(buf[8], 'x');
  // A root of 9,000 characters takes 18,000 bytes in UCS-2: its first
  // 8,192 characters fill TQ_PATH_MAX bytes, and the cut is told.
  const std::string root = tq_test::ucs2le(std::string(9000, 'r'));
  ASSERT_EQ(tq_zel_path_set(ctx, root.c_str()), 0);
  std::vector<char> path(TQ_PATH_MAX + 3, 'x');
  EXPECT_EQ(tq_root_path_get(ctx, path.data()), TQ_WARN_LIMIT_REACHED);
  EXPECT_EQ(std::string(path.data(), TQ_PATH_MAX + 3), root.substr(0, TQ_PATH_MAX) + std::string("\0\0x", 3));
  // Added after tq_path_get's record: neither call clears the list.
  uint32_t count = 0;
  EXPECT_EQ(tq_error_count_get(ctx, &count), 0);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(tq_test::ucs2_error_text(ctx, 1),
            "An output of tq_root_path_get was cut to fit 16384 bytes; the whole text needs 18000 bytes and its "
            "terminator.");
}

// The search path of a long root is longer than TQ_PATH_MAX bytes:
// tq_path_get gives its start and tells the cut with the whole length,
// whatever room the caller gives.
TEST(Context, LongSearchPathCutIsTold) {
  Context ctx;
  const std::string root = "/" + std::string(2099, 'r');
  ASSERT_EQ(tq_zel_path_set(ctx, root.c_str()), 0);
  std::string whole;
  for (const char* folder : {"casetab", "chopinfo", "grammar", "locale", "phonetx", "regexlib", "scheme", "vocab"}) {
    whole += (whole.empty() ? "" : ";") + root + "/" + folder;
  }
  ASSERT_EQ(whole.size(), 16869u);
  for (const uint32_t size : {100u, TQ_PATH_MAX + 1u, 20000u}) {
    SCOPED_TRACE(size);
    std::vector<char> buf(size + 1, 'x');
    EXPECT_EQ(tq_path_get(ctx, buf.data(), size), TQ_WARN_LIMIT_REACHED);
    const uint32_t kept = std::min<uint32_t>(size - 1, TQ_PATH_MAX);
    EXPECT_EQ(std::string(buf.data()), whole.substr(0, kept));
    int32_t code = 0;
    char text[TQ_ERROR_TEXT_MAX + 1];
    EXPECT_EQ(tq_error_info_get(ctx, &code, text), 0);
    EXPECT_EQ(code, TQ_WARN_LIMIT_REACHED);
    EXPECT_EQ(std::string(text), "An output of tq_path_get was cut to fit " + std::to_string(kept) +
                                     " bytes; the whole text needs 16869 bytes and its terminator.");
  }
}

// A root or search path longer than TQ_PATH_MAX bytes once in UTF-8 is
// refused whole, never cut to a folder the caller did not name: the context
// keeps its root and search path. Exactly TQ_PATH_MAX bytes are taken.
TEST(Context, LongRootOrPathIsRefused) {
  // 8,193 characters of two bytes in UTF-8: 16,386 bytes.
  const std::string over = std::string(8193, '\xE9');
  const std::string fits = "/" + std::string(TQ_PATH_MAX - 1, 'k');
  const struct {
    const char* name;
    int32_t (*set)(tq_context*, const char*);
    const char* said;
  } setters[] = {
      {"tq_zel_path_set", tq_zel_path_set,
       "The root given to tq_zel_path_set is 16386 bytes long in UTF-8, longer than the 16384 bytes it may have: it "
       "is refused and nothing is changed."},
      {"tq_path_set", tq_path_set,
       "The search path given to tq_path_set is 16386 bytes long in UTF-8, longer than the 16384 bytes it may "
       "have: it is refused and nothing is changed."},
  };
  for (const auto& s : setters) {
    SCOPED_TRACE(s.name);
    Context ctx("/kb");
    const std::string path_before = path_of(ctx);
    EXPECT_EQ(s.set(ctx, over.c_str()), TQ_ERR_ARGUMENT);
    EXPECT_EQ(path_of(ctx), path_before);
    std::vector<char> root(TQ_PATH_MAX + 2);
    EXPECT_EQ(tq_root_path_get(ctx, root.data()), 0);
    EXPECT_STREQ(root.data(), "/kb");
    int32_t code = 0;
    char text[TQ_ERROR_TEXT_MAX + 1];
    EXPECT_EQ(tq_error_info_get(ctx, &code, text), 0);
    EXPECT_EQ(code, TQ_ERR_ARGUMENT);
    EXPECT_STREQ(text, s.said);
    EXPECT_EQ(s.set(ctx, fits.c_str()), 0);
  }
  for (auto init : {tq_init, tq_init_edit_mode}) {
    tq_context* ctx = reinterpret_cast<tq_context*>(1);
    EXPECT_EQ(init(&ctx, over.c_str()), TQ_ERR_ARGUMENT);
    EXPECT_EQ(ctx, nullptr);
    ASSERT_EQ(init(&ctx, fits.c_str()), 0);
    std::vector<char> root(TQ_PATH_MAX + 2);
    EXPECT_EQ(tq_root_path_get(ctx, root.data()), 0);
    EXPECT_EQ(root.data(), fits);
    tq_close(ctx);
  }
}

TEST(Context, Options) {
  Context ctx;
  EXPECT_EQ(tq_options_get(ctx), 1u);
  EXPECT_EQ(tq_options_set(ctx, 0x80000), 1u);
  EXPECT_EQ(tq_options_get(ctx), 0x80000u);
  EXPECT_EQ(tq_options_get(nullptr), 0u);
  EXPECT_EQ(tq_options_set(nullptr, 5), 0u);
}

TEST(Context, CloneCopiesSettingsAndErrors) {
  tq_context* ctx = nullptr;
  ASSERT_EQ(tq_init(&ctx, "/kb"), 0);
  tq_options_set(ctx, 0x40001);
  ASSERT_EQ(tq_session_encoding_set(ctx, 13), 0);
  // Leave one error record on the source.
  uint32_t enc = 0;
  EXPECT_EQ(tq_session_encoding_get(ctx, nullptr), -802);
  tq_context* copy = nullptr;
  ASSERT_EQ(tq_clone(ctx, &copy), 0);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(tq_options_get(copy), 0x40001u);
  EXPECT_EQ(tq_session_encoding_get(ctx, &enc), 0);
  uint32_t count = 0;
  EXPECT_EQ(tq_error_count_get(copy, &count), 0);
  EXPECT_EQ(count, 1u);
  int32_t code = 0;
  char text[4100];
  EXPECT_EQ(tq_error_info_get_by_index(copy, 0, &code, text), 0);
  EXPECT_EQ(code, -802);
  EXPECT_STREQ(text, "'enc' is null.");
  EXPECT_EQ(path_of(copy), path_of(ctx));
  // The clone outlives its source: its records and paths are its own.
  std::string source_path = path_of(ctx);
  tq_close(ctx);
  EXPECT_EQ(path_of(copy), source_path);
  EXPECT_EQ(tq_error_info_get(copy, &code, text), 0);
  EXPECT_STREQ(text, "'enc' is null.");
  EXPECT_EQ(tq_session_encoding_get(copy, &enc), 0);
  EXPECT_EQ(enc, 13u);
  EXPECT_EQ(tq_close(copy), 0);
}

TEST(Context, CloneRefusals) {
  Context edit(nullptr, true);
  tq_context* copy = reinterpret_cast<tq_context*>(1);
  EXPECT_EQ(tq_clone(edit, &copy), -500);
  EXPECT_EQ(tq_clone(nullptr, &copy), -100);
  Context ctx;
  EXPECT_EQ(tq_clone(ctx, nullptr), -802);
  int32_t code = 0;
  char text[4100];
  EXPECT_EQ(tq_error_info_get(ctx, &code, text), 0);
  EXPECT_EQ(code, -802);
  EXPECT_STREQ(text, "'result' is null.");
}

TEST(Context, ClonesShareAndCloseInAnyOrder) {
  tq_context* a = nullptr;
  ASSERT_EQ(tq_init(&a, nullptr), 0);
  tq_context* b = nullptr;
  tq_context* c = nullptr;
  ASSERT_EQ(tq_clone(a, &b), 0);
  ASSERT_EQ(tq_clone(b, &c), 0);
  EXPECT_EQ(tq_close(b), 0);
  EXPECT_EQ(tq_close(a), 0);
  uint32_t enc = 9;
  EXPECT_EQ(tq_session_encoding_get(c, &enc), 0);
  EXPECT_EQ(enc, 0u);
  EXPECT_EQ(tq_close(c), 0);
}

}  // namespace

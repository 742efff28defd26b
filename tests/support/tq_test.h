// Shared test helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tq.h"

namespace tq_test {

// The context's error records, one per line, for failure messages.
std::string error_list_text(tq_context* ctx);
// Whether the context's error list holds a failure (a negative record).
bool failure_recorded(tq_context* ctx);

// The text of error record `index` of a context in a UCS-2 session of
// either byte order, as the ASCII it is (one byte a unit); *code (when
// given) its code. A record that cannot be read fails the test.
std::string ucs2_error_text(tq_context* ctx, uint32_t index, int32_t* code = nullptr);
// Every record's text so, one a line, oldest first.
std::string ucs2_error_list_text(tq_context* ctx);
// A text of UTF-16 units without surrogates as a UCS-2 session of that byte
// order (TQ_ENC_UCS2_BE or TQ_ENC_UCS2_LE) takes it: two bytes a character
// and the two-byte terminator, which std::string keeps.
inline std::string ucs2(const std::u16string& text, uint32_t encoding) {
  std::string wide;
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    wide += encoding == TQ_ENC_UCS2_BE ? std::string{high, low} : std::string{low, high};
  }
  return wide.append(2, '\0');
}
// A text of ISO-8859-1 bytes (ASCII included) as a UCS-2 (little-endian)
// session takes it: each byte is its own character.
inline std::string ucs2le(const std::string& latin1) {
  std::u16string units;
  for (const char ch : latin1) units += static_cast<char16_t>(static_cast<unsigned char>(ch));
  return ucs2(units, TQ_ENC_UCS2_LE);
}

// A text given and a part of the message it must bring.
struct TextSaid {
  const char* text;
  const char* said;
};
// Whether `text` holds `part`; a failure shows both.
inline ::testing::AssertionResult holds(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "'" << part << "' is not in:\n" << text;
}

// A temporary folder removed when the test ends.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Writes a file (creating its folders) and returns its path.
  std::filesystem::path write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

// Copies the fixture knowledge base tests/kb/<name> into a temporary folder.
class KbSandbox : public TempDir {
 public:
  explicit KbSandbox(const std::string& fixture);
};

#ifdef TQ_SAMPLE_KB
// Copies the sample knowledge base (examples/kb, as the build makes it) into
// a temporary folder, for tests that edit, write or add to it.
class SampleKbCopy : public TempDir {
 public:
  SampleKbCopy() { std::filesystem::copy(TQ_SAMPLE_KB, path(), std::filesystem::copy_options::recursive); }
};
#endif

std::string read_file(const std::filesystem::path& path);
std::vector<std::string> read_lines(const std::filesystem::path& path);

// Access control lists, through setfacl and getfacl (Debian's acl package).
// Whether files in `dir` take lists: the tools are there and the file
// system keeps them.
bool acl_supported(const std::filesystem::path& dir);
// setfacl with the arguments ("-m u:1235:rw", "-b") on the path; true when it worked.
bool setfacl(const std::string& args, const std::filesystem::path& path);
// The list of a file as getfacl prints it, with numeric ids and no header:
// a file without a list shows its mode alone.
std::string acl_text(const std::filesystem::path& path);

// A row of a tab-separated golden file: its line number (for messages) and
// its fields, empty ones kept.
struct GoldenRow {
  size_t line;
  std::vector<std::string> f;
};
// The rows of a golden file, blank lines and lines starting with '#' left
// out; a file without a row fails the test.
std::vector<GoldenRow> golden_rows(const std::filesystem::path& path);

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_;
  std::string old_;
};

// Writes root/locale/FILE (FILE without the vault extension) as a "Locale
// Settings" vault file with the library's writer: the description, and the
// parent locale's file ("" for none). The locale folder must exist.
void write_locale_settings(tq_context* ctx, const std::filesystem::path& root, const char* file,
                           const char* description, const char* parent);

// The name of an encoding (a TQ_ENC_* value) as documents give it; the
// session encoding is left as it was.
std::string encoding_name(tq_context* ctx, uint32_t enc);

// Writes a plain krxml text as kb/NAME.xml, reads it and writes it as the
// vault file chopinfo/NAME of the knowledge base kb.
void install_chopper(tq_context* ctx, const TempDir& kb, const std::string& name, const std::string& text);

// An open context closed at the end of the scope.
class Context {
 public:
  explicit Context(const char* root = nullptr, bool edit_mode = false);
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
  tq_context* get() const { return ctx_; }
  operator tq_context*() const { return ctx_; }

 private:
  tq_context* ctx_ = nullptr;
};

}  // namespace tq_test

// Expects a call to succeed (0 or a warning); on failure prints the context's
// error list. A call that answers 0 leaves no failure in its list: one that
// went on past a failure says so with a warning.
#define EXPECT_TQ_OK(ctx, call) TQ_TEST_OK_(EXPECT, ctx, call)
#define ASSERT_TQ_OK(ctx, call) TQ_TEST_OK_(ASSERT, ctx, call)
#define TQ_TEST_OK_(check, ctx, call)                                                          \
  do {                                                                                         \
    int32_t tq_rc_ = (call);                                                                   \
    check##_GE(tq_rc_, 0) << #call << "\n" << ::tq_test::error_list_text(ctx);                 \
    check##_FALSE(tq_rc_ == 0 && ::tq_test::failure_recorded(ctx))                            \
        << #call << " gave 0 beside a failure\n" << ::tq_test::error_list_text(ctx);           \
  } while (0)

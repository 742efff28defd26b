// What every fuzz target shares: the input format and a scratch knowledge
// base. Targets go through the public interface only.
//
// Input format. The bytes before the first marker line are the main file.
// A marker line is exactly "@@ NAME" (NAME of letters, digits, '.', '_' and
// '-', at most 64 bytes) and starts the next section, which runs to the next
// marker or the end; the line break before a marker belongs to the marker.
// A section named "values" holds the texts given to a string export, one per
// line; any other section is one more file of that name beside the main file
// (so that documents can refer to each other).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tq.h"

namespace tq_fuzz {

struct Input {
  std::string main;
  std::vector<std::pair<std::string, std::string>> files;  // further files: name, bytes
  std::vector<std::string> values;
};

inline bool marker_name_ok(std::string_view name) {
  if (name.empty() || name.size() > 64 || name == "." || name == "..") return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
              c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

inline Input split_input(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  Input in;
  std::string name;  // of the section being read; empty for the main file
  size_t start = 0;
  auto finish = [&](size_t end) {
    std::string body(text.substr(start, end - start));
    if (name.empty()) {
      in.main = std::move(body);
    } else if (name == "values") {
      for (size_t from = 0; from < body.size();) {
        size_t nl = body.find('\n', from);
        if (nl == std::string::npos) nl = body.size();
        in.values.push_back(body.substr(from, nl - from));
        from = nl + 1;
      }
    } else {
      in.files.emplace_back(name, std::move(body));
    }
  };
  size_t line = 0;
  while (line <= text.size()) {
    size_t nl = text.find('\n', line);
    size_t end = nl == std::string_view::npos ? text.size() : nl;
    std::string_view l = text.substr(line, end - line);
    if (l.size() > 3 && l.substr(0, 3) == "@@ " && marker_name_ok(l.substr(3))) {
      finish(line > start ? line - 1 : start);  // the line break before belongs to the marker
      name = std::string(l.substr(3));
      start = nl == std::string_view::npos ? text.size() : nl + 1;
    }
    if (nl == std::string_view::npos) break;
    line = nl + 1;
  }
  finish(text.size());
  return in;
}

// A knowledge-base root with its eight sub-folders in a temporary folder of
// its own, emptied for every input and removed when the process ends.
class Kb {
 public:
  static Kb& get() {
    static Kb kb;
    return kb;
  }
  // The knowledge base, emptied: where every input and every seed starts.
  static Kb& fresh() {
    Kb& kb = get();
    kb.reset();
    return kb;
  }
  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path operator/(const char* name) const { return root_ / name; }

  void reset() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
    for (const char* sub : {"casetab", "chopinfo", "grammar", "locale", "phonetx", "regexlib", "scheme", "vocab"}) {
      std::filesystem::create_directories(root_ / sub, ec);
    }
  }
  ~Kb() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

 private:
  Kb() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tq_fuzz_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    root_ = pattern;
  }
  std::filesystem::path root_;
};

inline void write_file(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Writes the further files of the input into dir under their own names, then
// the main file as main_name (so that it wins over a further file of that
// name). The main file's path.
inline std::filesystem::path write_input(const Input& in, const std::filesystem::path& dir, const char* main_name) {
  for (const auto& [name, bytes] : in.files) write_file(dir / name, bytes);
  std::filesystem::path main = dir / main_name;
  write_file(main, in.main);
  return main;
}

// Writes a plain krxml text as a vault file (the form the registry reads)
// with the library's own reader and writer: dest is the path without
// extension. 0, or the failure of the reader or writer.
inline int32_t install_vault(tq_context* ctx, const std::string& text, const std::filesystem::path& dest) {
  std::filesystem::path plain = Kb::get() / "input.txt";
  write_file(plain, text);
  tq_xmldoc* doc = nullptr;
  int32_t rc = tq_xml_read(ctx, plain.c_str(), 8, &doc);
  if (rc < 0) return rc;
  rc = tq_xml_write(ctx, 0, dest.c_str(), 1, doc);
  tq_xml_free(ctx, doc);
  return rc < 0 ? rc : 0;
}

// For the targets of a resource made from a krxml document: the session
// encoding becomes UTF-8 (the values are UTF-8) and the main file is
// installed as the vault file dest. False when either fails: the input goes
// no further.
inline bool install_resource(tq_context* ctx, const std::string& text, const std::filesystem::path& dest) {
  return tq_session_encoding_set(ctx, TQ_ENC_UTF8) >= 0 && install_vault(ctx, text, dest) >= 0;
}

// Writes the locale settings of ENUSA and its ancestors (EN, L1) as vault
// files, as the library writes them, and loads ENUSA: what resources made
// for a locale need. 0 or the failure.
inline int32_t install_locales(tq_context* ctx) {
  struct Row {
    const char* file;
    const char* description;
    const char* parent;
  };
  for (Row r : {Row{"l1.loc", "ISO-8859-1 (Latin-1)", ""}, Row{"en.loc", "English", "l1.loc"},
                Row{"enusa.loc", "English (United States)", ""}}) {
    tq_xmldoc* doc = nullptr;
    int32_t rc = tq_xml_create(ctx, "Locale Settings", "9.0", &doc);
    if (rc < 0) return rc;
    tq_xml_addprop(ctx, doc, "Locale Description", r.description);
    tq_xml_addprop(ctx, doc, "Parent Locale", r.parent);
    rc = tq_xml_write(ctx, 0, (Kb::get() / "locale" / r.file).c_str(), 1, doc);
    tq_xml_free(ctx, doc);
    if (rc < 0) return rc;
  }
  return tq_zel_locale_load(ctx, 29840, 0);
}

// The value targets fuzz every session encoding: an input's first byte,
// taken mod 16, is the encoding (a TQ_ENC_* value) and the rest is the
// input in the format above, its values in that encoding. An empty input is
// UTF-8 and empty. The first byte's bits 4 and 5 are the conversion options
// of the session (session_options), so that a character the encoding
// cannot convert is fuzzed on each of its roads: refused, replaced and
// told, replaced silently.
inline uint32_t take_encoding(const uint8_t** data, size_t* size, uint8_t* first = nullptr) {
  if (first != nullptr) *first = *size > 0 ? **data : 0;
  if (*size == 0) return TQ_ENC_UTF8;
  const uint32_t encoding = **data % 16u;
  ++*data;
  --*size;
  return encoding;
}

// Sets the context's conversion options from an input's first byte: bit 4
// TQ_OPT_STRICT_CONVERSION, bit 5 TQ_OPT_WARN_REPLACED; a byte below 16
// (every seed's) sets neither, as before these bits chose anything.
inline void session_options(tq_context* ctx, uint8_t first) {
  uint32_t options = tq_options_get(ctx) & ~(TQ_OPT_STRICT_CONVERSION | TQ_OPT_WARN_REPLACED);
  if ((first & 0x10u) != 0) options |= TQ_OPT_STRICT_CONVERSION;
  if ((first & 0x20u) != 0) options |= TQ_OPT_WARN_REPLACED;
  tq_options_set(ctx, options);
}

// A value's bytes as a caller of that session gives them: three zero bytes
// end it in every encoding, a UCS-2 text of an odd length included.
inline std::string session_value(const std::string& bytes) { return bytes + std::string(3, '\0'); }

// A name of ASCII letters, digits and blanks (a definition's) in a session
// encoding, ended as session_value ends a value: two bytes a character in
// UCS-2, the EBCDIC letters in IBM 1047, the same bytes in the other
// encodings, which all keep ASCII.
inline std::string session_name(const char* ascii, uint32_t encoding) {
  std::string text;
  for (const char* p = ascii; *p != '\0'; ++p) {
    char c = *p;
    if (encoding == TQ_ENC_IBM_1047) {
      const char* const rows[] = {"abcdefghi", "jklmnopqr", "stuvwxyz", "ABCDEFGHI", "JKLMNOPQR", "STUVWXYZ",
                                  "0123456789"};
      const unsigned char starts[] = {0x81, 0x91, 0xA2, 0xC1, 0xD1, 0xE2, 0xF0};
      unsigned char code = 0x40;  // a blank, and what the names hold besides
      for (size_t r = 0; r < sizeof starts; ++r) {
        if (const char* at = std::strchr(rows[r], c); at != nullptr) {
          code = static_cast<unsigned char>(starts[r] + (at - rows[r]));
        }
      }
      c = static_cast<char>(code);
    }
    if (encoding == TQ_ENC_UCS2_BE) text += '\0';
    text += c;
    if (encoding == TQ_ENC_UCS2_LE) text += '\0';
  }
  return session_value(text);
}

// An open context closed at the end of the scope.
class Context {
 public:
  explicit Context(const std::filesystem::path& root, bool edit = false) {
    if ((edit ? tq_init_edit_mode(&ctx_, root.c_str()) : tq_init(&ctx_, root.c_str())) < 0) ctx_ = nullptr;
  }
  ~Context() {
    if (ctx_ != nullptr) tq_close(ctx_);
  }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
  operator tq_context*() const { return ctx_; }
  bool ok() const { return ctx_ != nullptr; }

 private:
  tq_context* ctx_ = nullptr;
};

}  // namespace tq_fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

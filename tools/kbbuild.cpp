// kbbuild: turns the plain krxml sources of a knowledge base into the files
// the engine loads, with the library's own writers.
//
//   kbbuild SOURCE_ROOT OUTPUT_ROOT
//
// SOURCE_ROOT holds one folder per file kind (locale, grammar, chopinfo,
// regexlib, vocab, ...) of plain "*.xml" documents. Every document becomes
// the vault file of the same name in the same folder under OUTPUT_ROOT
// (locale/en.loc.xml -> locale/en.loc.zel); a vocabulary (folder "vocab")
// is compiled instead (vocab/en_person.xml -> vocab/en_person.zev). Folders
// of other files (name lists, notes) are left alone. Exits 1 on the first
// document the library refuses, naming it and printing the error list.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tq.h"

namespace fs = std::filesystem;

namespace {

// The folders of the search path that hold krxml documents.
constexpr const char* kVaultFolders[] = {"casetab", "chopinfo", "grammar", "locale", "phonetx", "regexlib", "scheme"};
constexpr const char* kVocabFolder = "vocab";

void print_errors(tq_context* ctx) {
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  std::vector<char> text(TQ_ERROR_TEXT_MAX + 1);
  for (uint32_t i = 0; i < count; ++i) {
    int32_t code = 0;
    tq_error_info_get_by_index(ctx, i, &code, text.data());
    std::fprintf(stderr, "  %d: %s\n", code, text.data());
  }
}

std::vector<fs::path> documents_in(const fs::path& folder) {
  std::vector<fs::path> out;
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return out;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.is_regular_file() && entry.path().extension() == ".xml") out.push_back(entry.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

bool fail(tq_context* ctx, const fs::path& source, int32_t rc) {
  std::fprintf(stderr, "kbbuild: %s: %d\n", source.c_str(), rc);
  print_errors(ctx);
  return false;
}

bool vault_write(tq_context* ctx, const fs::path& source, const fs::path& target_stem) {
  tq_xmldoc* doc = nullptr;
  // 8: the path as given, no extension added.
  int32_t rc = tq_xml_read(ctx, source.c_str(), 8, &doc);
  if (rc < 0) return fail(ctx, source, rc);
  // 1: a vault file; the writer adds its extension.
  rc = tq_xml_write(ctx, 0, target_stem.c_str(), 1, doc);
  tq_xml_free(ctx, doc);
  return rc < 0 ? fail(ctx, source, rc) : true;
}

bool vocab_compile(tq_context* ctx, const fs::path& source, const fs::path& target_stem) {
  // Direction 0: the XML form to the compiled file.
  int32_t rc = tq_vocab_file_convert(ctx, 0, source.c_str(), target_stem.c_str());
  return rc < 0 ? fail(ctx, source, rc) : true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kbbuild SOURCE_ROOT OUTPUT_ROOT\n");
    return 2;
  }
  const fs::path source_root = argv[1];
  const fs::path output_root = argv[2];
  tq_context* ctx = nullptr;
  // Edit mode: converting vocabularies is an authoring step. Paths cross
  // the interface as UTF-8.
  if (tq_init_edit_mode(&ctx, nullptr) != 0) {
    std::fprintf(stderr, "kbbuild: cannot open a context\n");
    return 1;
  }
  tq_session_encoding_set(ctx, TQ_ENC_UTF8);
  bool ok = true;
  int written = 0;
  std::vector<std::string> folders(std::begin(kVaultFolders), std::end(kVaultFolders));
  folders.push_back(kVocabFolder);
  for (const std::string& folder : folders) {
    const auto sources = documents_in(source_root / folder);
    if (sources.empty()) continue;
    std::error_code ec;
    fs::create_directories(output_root / folder, ec);
    if (ec) {
      std::fprintf(stderr, "kbbuild: cannot make %s: %s\n", (output_root / folder).c_str(), ec.message().c_str());
      ok = false;
      break;
    }
    for (const fs::path& source : sources) {
      const fs::path target = output_root / folder / source.stem();
      ok = folder == kVocabFolder ? vocab_compile(ctx, source, target) : vault_write(ctx, source, target);
      if (!ok) break;
      ++written;
    }
    if (!ok) break;
  }
  tq_close(ctx);
  if (ok) std::printf("kbbuild: %d files written into %s\n", written, output_root.c_str());
  return ok ? 0 : 1;
}

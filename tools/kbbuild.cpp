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
// of other files (name lists, notes) are left alone.
//
// Exits 1, saying why, when SOURCE_ROOT is not a folder or holds no
// document, when OUTPUT_ROOT cannot be written, or on the first document
// the library refuses (naming it and printing the error list). The files
// are written into a staging folder inside OUTPUT_ROOT and moved into place
// only once every document has been written, so that a failed build leaves
// OUTPUT_ROOT as it was.
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

// The "*.xml" documents of one folder, sorted; none when the folder is
// absent. False, saying why, when the folder cannot be read.
bool documents_in(const fs::path& folder, std::vector<fs::path>& out) {
  std::error_code ec;
  if (!fs::exists(folder, ec)) return true;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec) && it->path().extension() == ".xml") out.push_back(it->path());
  }
  if (ec) {
    std::fprintf(stderr, "kbbuild: cannot read %s: %s\n", folder.c_str(), ec.message().c_str());
    return false;
  }
  std::sort(out.begin(), out.end());
  return true;
}

bool fail(tq_context* ctx, const fs::path& source, int32_t rc) {
  std::fprintf(stderr, "kbbuild: cannot build %s (%d):\n", source.c_str(), rc);
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

// Moves every file of the staging folder's kind folders into the same
// folder under the output root.
bool move_into_place(const fs::path& staging, const fs::path& output_root) {
  std::error_code ec;
  for (fs::directory_iterator folder(staging, ec), end; !ec && folder != end; folder.increment(ec)) {
    const fs::path target = output_root / folder->path().filename();
    fs::create_directories(target, ec);
    for (fs::directory_iterator file(folder->path(), ec); !ec && file != end; file.increment(ec)) {
      fs::rename(file->path(), target / file->path().filename(), ec);
      if (ec) {
        std::fprintf(stderr, "kbbuild: cannot move %s into %s: %s\n", file->path().c_str(), target.c_str(),
                     ec.message().c_str());
        return false;
      }
    }
  }
  if (ec) std::fprintf(stderr, "kbbuild: cannot write into %s: %s\n", output_root.c_str(), ec.message().c_str());
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kbbuild SOURCE_ROOT OUTPUT_ROOT\n");
    return 2;
  }
  const fs::path source_root = argv[1];
  const fs::path output_root = argv[2];
  std::error_code ec;
  if (!fs::is_directory(source_root, ec)) {
    std::fprintf(stderr, "kbbuild: %s is not a folder%s%s\n", source_root.c_str(), ec ? ": " : "",
                 ec ? ec.message().c_str() : "");
    return 1;
  }
  std::vector<std::string> folders(std::begin(kVaultFolders), std::end(kVaultFolders));
  folders.push_back(kVocabFolder);
  std::vector<std::vector<fs::path>> sources(folders.size());
  size_t count = 0;
  for (size_t i = 0; i < folders.size(); ++i) {
    if (!documents_in(source_root / folders[i], sources[i])) return 1;
    count += sources[i].size();
  }
  if (count == 0) {
    std::string list;
    for (const std::string& folder : folders) list += " " + folder + "/";
    std::fprintf(stderr, "kbbuild: %s holds nothing to build: no *.xml document in any of%s\n", source_root.c_str(),
                 list.c_str());
    return 1;
  }

  const bool made_root = !fs::exists(output_root, ec);
  fs::create_directories(output_root, ec);
  const fs::path staging = output_root / ".kbbuild";
  if (!ec) fs::remove_all(staging, ec);
  if (!ec) fs::create_directory(staging, ec);
  if (ec) {
    std::fprintf(stderr, "kbbuild: cannot write into %s: %s\n", output_root.c_str(), ec.message().c_str());
    if (made_root) fs::remove(output_root, ec);
    return 1;
  }
  tq_context* ctx = nullptr;
  // Edit mode: converting vocabularies is an authoring step. Paths cross
  // the interface as UTF-8.
  bool ok = tq_init_edit_mode(&ctx, nullptr) == 0;
  if (!ok) std::fprintf(stderr, "kbbuild: cannot open a context\n");
  if (ok) tq_session_encoding_set(ctx, TQ_ENC_UTF8);
  for (size_t i = 0; ok && i < folders.size(); ++i) {
    if (sources[i].empty()) continue;
    fs::create_directories(staging / folders[i], ec);
    if (ec) {
      std::fprintf(stderr, "kbbuild: cannot make %s: %s\n", (staging / folders[i]).c_str(), ec.message().c_str());
      ok = false;
    }
    for (size_t k = 0; ok && k < sources[i].size(); ++k) {
      const fs::path& source = sources[i][k];
      const fs::path target = staging / folders[i] / source.stem();
      ok = folders[i] == kVocabFolder ? vocab_compile(ctx, source, target) : vault_write(ctx, source, target);
    }
  }
  tq_close(ctx);
  if (!ok) std::fprintf(stderr, "kbbuild: nothing written into %s\n", output_root.c_str());
  if (ok) ok = move_into_place(staging, output_root);
  fs::remove_all(staging, ec);
  if (!ok) {
    if (made_root) fs::remove_all(output_root, ec);
    return 1;
  }
  std::printf("kbbuild: %zu files written into %s\n", count, output_root.c_str());
  return 0;
}

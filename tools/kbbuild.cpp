// tq_kbbuild: turns the plain krxml sources of a knowledge base into the
// files the engine loads, with the library's own writers.
//
//   tq_kbbuild SOURCE_ROOT OUTPUT_ROOT
//
// SOURCE_ROOT holds one folder per file kind (locale, grammar, chopinfo,
// regexlib, vocab, ...) of plain "*.xml" documents. Every document becomes
// the vault file of the same name in the same folder under OUTPUT_ROOT
// (locale/en.loc.xml -> locale/en.loc.zel); a vocabulary (folder "vocab")
// is compiled instead (vocab/en_person.xml -> vocab/en_person.zev). Folders
// of other files (name lists, notes) are left alone.
//
// The files are written into a staging folder inside OUTPUT_ROOT. Then
// every locale built is loaded from there with every part, as a program
// would load it: a document that reads well alone can still leave a
// definition unusable (a scheme it names missing), which only the load
// tells. The load sees only what this build made, never the files already
// in OUTPUT_ROOT: rebuilding in place after a source was removed must fail
// as a first build would, not pass on the old output's copy. A file it
// misses is named as the sources would hold it. The files are written into
// place only when every document was written and every load was clean, so
// that a failed build leaves OUTPUT_ROOT as it was; they are written there
// by the library's writers again, so that a file replaced keeps its owner,
// group, access control list and permission bits. Built files of
// OUTPUT_ROOT that no source builds any more are listed and left in place.
//
// Exits 1, saying why, when SOURCE_ROOT is not a folder or holds no
// document, when OUTPUT_ROOT cannot be written, on the first document the
// library refuses (naming it and printing the error list), or when a
// built locale loads with an error or a warning (printing them); 2 on a
// wrong command line; 0 after "-h" or "--help", which print the usage.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "tq.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: tq_kbbuild SOURCE_ROOT OUTPUT_ROOT\n"
    "Builds the plain krxml sources of a knowledge base (SOURCE_ROOT/locale/*.xml,\n"
    "grammar/, vocab/, ...) into the files the engine loads, under OUTPUT_ROOT, then\n"
    "loads every locale built; nothing is put in place unless all went cleanly.\n";

// The folders of the search path that hold krxml documents.
constexpr const char* kVaultFolders[] = {"casetab", "chopinfo", "grammar", "locale", "phonetx", "regexlib", "scheme"};
constexpr const char* kVocabFolder = "vocab";

// Prints the context's error list, each text as `shown` gives it.
template <typename F>
void print_errors(tq_context* ctx, F&& shown) {
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  std::vector<char> text(TQ_ERROR_TEXT_MAX + 1);
  for (uint32_t i = 0; i < count; ++i) {
    int32_t code = 0;
    tq_error_info_get_by_index(ctx, i, &code, text.data());
    std::fprintf(stderr, "  %d: %s\n", code, shown(std::string(text.data())).c_str());
  }
}
void print_errors(tq_context* ctx) {
  print_errors(ctx, [](std::string text) { return text; });
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
    std::fprintf(stderr, "tq_kbbuild: cannot read %s: %s\n", folder.c_str(), ec.message().c_str());
    return false;
  }
  std::sort(out.begin(), out.end());
  return true;
}

// what: "build", or "put in place" for the second writing.
bool fail(tq_context* ctx, const char* what, const fs::path& source, int32_t rc) {
  std::fprintf(stderr, "tq_kbbuild: cannot %s %s (%d):\n", what, source.c_str(), rc);
  print_errors(ctx);
  return false;
}

bool vault_write(tq_context* ctx, const char* what, const fs::path& source, const fs::path& target_stem) {
  tq_xmldoc* doc = nullptr;
  // 8: the path as given, no extension added.
  int32_t rc = tq_xml_read(ctx, source.c_str(), 8, &doc);
  if (rc < 0) return fail(ctx, what, source, rc);
  // 1: a vault file; the writer adds its extension.
  rc = tq_xml_write(ctx, 0, target_stem.c_str(), 1, doc);
  tq_xml_free(ctx, doc);
  return rc < 0 ? fail(ctx, what, source, rc) : true;
}

bool vocab_compile(tq_context* ctx, const char* what, const fs::path& source, const fs::path& target_stem) {
  // Direction 0: the XML form to the compiled file.
  int32_t rc = tq_vocab_file_convert(ctx, 0, source.c_str(), target_stem.c_str());
  return rc < 0 ? fail(ctx, what, source, rc) : true;
}

// Writes every source document into the same kind folder under `into`:
// the staging folder first, then, once every locale built there loads
// cleanly, the output root. The output root is written by the library's
// writers, not by moving the staged files there, so that a file it holds
// already keeps what every save keeps: its owner, group, access control
// list and permission bits. False, saying why, on the first failure.
bool write_all(const fs::path& into, const char* what, const std::vector<std::string>& folders,
               const std::vector<std::vector<fs::path>>& sources) {
  tq_context* ctx = nullptr;
  // Edit mode: converting vocabularies is an authoring step. Paths cross
  // the interface as UTF-8.
  bool ok = tq_init_edit_mode(&ctx, nullptr) == 0;
  if (!ok) std::fprintf(stderr, "tq_kbbuild: cannot open a context\n");
  if (ok) tq_session_encoding_set(ctx, TQ_ENC_UTF8);
  std::error_code ec;
  for (size_t i = 0; ok && i < folders.size(); ++i) {
    if (sources[i].empty()) continue;
    fs::create_directories(into / folders[i], ec);
    if (ec) {
      std::fprintf(stderr, "tq_kbbuild: cannot make %s: %s\n", (into / folders[i]).c_str(), ec.message().c_str());
      ok = false;
    }
    for (size_t k = 0; ok && k < sources[i].size(); ++k) {
      const fs::path& source = sources[i][k];
      const fs::path target = into / folders[i] / source.stem();
      ok = folders[i] == kVocabFolder ? vocab_compile(ctx, what, source, target)
                                      : vault_write(ctx, what, source, target);
    }
  }
  tq_close(ctx);
  return ok;
}

// Every part a locale can hold.
constexpr uint32_t kEveryPart = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_IDENT_DEFNS | TQ_LOAD_STDZN_DEFNS |
                                TQ_LOAD_GENDER_DEFNS | TQ_LOAD_MATCH_DEFNS | TQ_LOAD_CASE_DEFNS | TQ_LOAD_GUESS_DEFNS |
                                TQ_LOAD_PATTERN_DEFNS | TQ_LOAD_EXTRACT_DEFNS | TQ_LOAD_LANGUAGE_DEFNS;

// The search path of the check: the kind folders of the staging folder
// alone, so that a locale finds only what this build made.
std::string check_path(const fs::path& staging) {
  std::string path;
  for (const char* folder : kVaultFolders) {
    path += (staging / folder).string();
    path += ';';
  }
  path += (staging / kVocabFolder).string();
  return path;
}

// The built file's name for a source document of a folder:
// scheme/en_nickname.sch.xml -> en_nickname.sch.zel, vocab/x.xml -> x.zev.
std::string built_name(const std::string& folder, const fs::path& source) {
  return source.stem().string() + (folder == kVocabFolder ? ".zev" : ".zel");
}

// What the check's messages say, in the terms of the sources: the staging
// folders are the tool's own and mean nothing to the user.
struct CheckView {
  std::string search_path;
  std::string staging;  // with its trailing separator
  std::vector<std::string> folders;
  fs::path source_root;
  fs::path output_root;

  std::string text_of(std::string text) const {
    const std::string quoted = "along the search path '" + search_path + "'";
    for (size_t at; (at = text.find(quoted)) != std::string::npos;) {
      text.replace(at, quoted.size(), "among the files this build makes");
    }
    for (size_t at; (at = text.find(staging)) != std::string::npos;) text.erase(at, staging.size());
    return text;
  }
  // The source a file the load missed would come from, relative to the
  // source root. The load names a resource as its definitions do
  // ("en_nickname"), so the name is looked for in the old output's kind
  // folders as each kind's built file, then taken by what the messages
  // call it ("The scheme 'en_nickname'"), then by its extension.
  std::string source_of(const std::string& missed, const std::string& texts) const {
    const fs::path name(missed);
    const bool built = name.extension() == ".zel" || name.extension() == ".zev";
    const std::string base = built ? name.stem().string() : missed;
    std::error_code ec;
    for (const std::string& folder : folders) {
      for (const std::string& file : {base + ".zel", base + ".sch.zel", base + ".zev"}) {
        if (fs::is_regular_file(output_root / folder / file, ec)) {
          return folder + "/" + fs::path(file).stem().string() + ".xml";
        }
      }
    }
    const std::string inner = fs::path(base).extension().string();
    if (texts.find("The scheme '" + base + "'") != std::string::npos) {
      return "scheme/" + base + (inner == ".sch" ? "" : ".sch") + ".xml";
    }
    if (name.extension() == ".zev") return std::string(kVocabFolder) + "/" + base + ".xml";
    if (inner == ".sch") return "scheme/" + base + ".xml";
    if (inner == ".loc") return "locale/" + base + ".xml";
    return "<kind folder>/" + base + ".xml";
  }
};

void print_check_errors(tq_context* ctx, const CheckView& view, const std::string& what) {
  std::vector<std::string> missing;
  std::string texts;
  print_errors(ctx, [&](const std::string& text) {
    std::string shown = view.text_of(text);
    texts += shown + '\n';
    // "The file 'en_nickname.sch.zel' was not found along ...".
    constexpr std::string_view kHead = "The file '";
    const size_t end = shown.find("' was not found");
    if (shown.rfind(kHead, 0) == 0 && end != std::string::npos) {
      std::string built = shown.substr(kHead.size(), end - kHead.size());
      if (std::find(missing.begin(), missing.end(), built) == missing.end()) missing.push_back(std::move(built));
    }
    return shown;
  });
  for (const std::string& built : missing) {
    std::fprintf(stderr, "tq_kbbuild: %s holds no %s, which %s names (as '%s')\n", view.source_root.c_str(),
                 view.source_of(built, texts).c_str(), what.c_str(), built.c_str());
  }
}

// Loads the locale of one built locale document ("enusa.loc.xml") with
// every part in a context of its own, so that its messages are its own and
// its ancestors'. False, printing the load's errors and warnings, when the
// load reports anything.
bool locale_loads_clean(const fs::path& source, const CheckView& view) {
  tq_context* ctx = nullptr;
  if (tq_init(&ctx, nullptr) != 0) {
    std::fprintf(stderr, "tq_kbbuild: cannot open a context\n");
    return false;
  }
  char iso[TQ_LOCALE_ISO_MAX + 1] = "";
  int32_t locale = -1;
  int32_t rc = tq_session_encoding_set(ctx, TQ_ENC_UTF8);
  if (rc >= 0) rc = tq_path_set(ctx, view.search_path.c_str());
  // "enusa.loc.xml" -> "enusa.loc" -> "ENUSA".
  if (rc >= 0) rc = tq_locale_get_iso_name_from_filename(ctx, source.stem().c_str(), iso);
  if (rc >= 0) rc = iso[0] == '\0' ? TQ_ERR_NAME : tq_locale_code_get_by_iso_name(ctx, iso, &locale);
  if (rc >= 0) rc = tq_zel_locale_load(ctx, locale, kEveryPart);
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  const bool clean = rc == 0 && count == 0;
  if (!clean) {
    std::fprintf(stderr, "tq_kbbuild: the locale %s built from %s does not load cleanly (%d)%s\n",
                 iso[0] != '\0' ? iso : "?", source.c_str(), rc, count > 0 ? ":" : "");
    const std::string what = std::string("the locale ") + (iso[0] != '\0' ? iso : "?") + " built from " + source.string();
    print_check_errors(ctx, view, what);
  }
  tq_close(ctx);
  return clean;
}

// Says which built files of the output root's kind folders no source of
// this build makes; they are left where they are.
void list_orphans(const std::vector<std::string>& folders, const std::vector<std::vector<fs::path>>& sources,
                  const fs::path& output_root) {
  for (size_t i = 0; i < folders.size(); ++i) {
    std::vector<std::string> built;
    for (const fs::path& source : sources[i]) built.push_back(built_name(folders[i], source));
    const std::string extension = folders[i] == kVocabFolder ? ".zev" : ".zel";
    std::vector<fs::path> orphans;
    std::error_code ec;
    for (fs::directory_iterator it(output_root / folders[i], ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (it->is_regular_file(ec) && it->path().extension() == extension &&
          std::find(built.begin(), built.end(), name) == built.end()) {
        orphans.push_back(it->path());
      }
    }
    std::sort(orphans.begin(), orphans.end());
    for (const fs::path& orphan : orphans) {
      std::fprintf(stderr, "tq_kbbuild: no source builds %s any more; it is left in place\n", orphan.c_str());
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const fs::path source_root = argv[1];
  const fs::path output_root = argv[2];
  std::error_code ec;
  if (!fs::is_directory(source_root, ec)) {
    std::fprintf(stderr, "tq_kbbuild: %s is not a folder%s%s\n", source_root.c_str(), ec ? ": " : "",
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
    std::fprintf(stderr, "tq_kbbuild: %s holds nothing to build: no *.xml document in any of%s\n", source_root.c_str(),
                 list.c_str());
    return 1;
  }

  const bool made_root = !fs::exists(output_root, ec);
  fs::create_directories(output_root, ec);
  const fs::path staging = output_root / ".kbbuild";
  if (!ec) fs::remove_all(staging, ec);
  if (!ec) fs::create_directory(staging, ec);
  if (ec) {
    std::fprintf(stderr, "tq_kbbuild: cannot write into %s: %s\n", output_root.c_str(), ec.message().c_str());
    if (made_root) fs::remove(output_root, ec);
    return 1;
  }
  bool ok = write_all(staging, "build", folders, sources);
  // Every locale built, as a program loads it.
  if (ok) {
    const CheckView view{check_path(staging), (staging / "").string(), folders, source_root, output_root};
    const auto& locales = sources[std::find(folders.begin(), folders.end(), "locale") - folders.begin()];
    for (const fs::path& source : locales) ok = locale_loads_clean(source, view) && ok;
  }
  if (!made_root) list_orphans(folders, sources, output_root);
  if (!ok) std::fprintf(stderr, "tq_kbbuild: nothing written into %s\n", output_root.c_str());
  if (ok) ok = write_all(output_root, "put in place", folders, sources);
  fs::remove_all(staging, ec);
  if (!ok) {
    if (made_root) fs::remove_all(output_root, ec);
    return 1;
  }
  std::printf("tq_kbbuild: %zu files written into %s\n", count, output_root.c_str());
  return 0;
}

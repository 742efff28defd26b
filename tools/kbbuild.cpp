// tq_kbbuild: turns the plain krxml sources of a knowledge base into the
// files the engine loads, with the library's own writers.
//
//   tq_kbbuild SOURCE_ROOT OUTPUT_ROOT
//
// What a user may rely on is its usage text (kUsage below, printed by
// "-h"); this comment says how the code keeps to it.
//
// An OUTPUT_ROOT too long for the paths the build makes in it is refused
// before anything is made (root_unusable).
//
// One build at a time runs into an OUTPUT_ROOT, under an exclusive flock
// on OUTPUT_ROOT/.kbbuild.lock (RootLock): the system drops it however the
// process ends, so a killed build never blocks the next, which takes the
// file over. The holder removes the lock file as its very last step, after
// all its tidying, so that no second run starts while it tidies. A run
// refused the lock touches nothing but the folders it made for the root,
// which it removes again while they are empty: the holder works in the
// root, the staging folder and the lock file, even in folders the refused
// run made, and those stay.
//
// A build goes in three steps, and only the last changes what OUTPUT_ROOT
// holds:
//
// 1. Every document is written into the staging folder ".kbbuild" inside
//    OUTPUT_ROOT, the builder's alone whatever the umask and the folder's
//    default access control list, since the outputs may be private. Every
//    locale built is then loaded from there with every part, as a program
//    would load it: a document that reads well alone can still leave a
//    definition unusable (a scheme it names missing), which only the load
//    tells. The load sees only what this build made, never the files
//    already in OUTPUT_ROOT: rebuilding in place after a source was removed
//    must fail as a first build would, not pass on the old output's copy.
//    It runs in the staging folder, its search path the kind folders named
//    from there, so that its length does not grow with OUTPUT_ROOT's. It
//    also tells each locale's parent chain, as a load finds it.
// 2. Every file of OUTPUT_ROOT that the build replaces is asked whether it
//    may be replaced, by the library itself, while nothing there has
//    changed. Its lock file ("<file>.lck") is taken as an editor takes it;
//    the file is kept as a hard link in the staging folder (which must
//    therefore be on its file system), and its new contents are saved over
//    a second hard link of it there, so that the library's writer either
//    gives the new file what every save keeps (owner, group, access control
//    list, permission bits) or refuses it as a save of the file would.
// 3. The files are put in place: each replacement renamed over the file it
//    replaces (the end of a chain of symbolic links), each new file written
//    by the library's writers, as a save makes one. The kinds that locales
//    name go first, then the locales, each after the locales of its parent
//    chain (which the load of step 1 found among this build's files, so
//    every one of them is put in place by this build): a locale this build
//    has put in place always finds its parents and the files it names. A
//    step that fails puts every file replaced back by renaming its kept link
//    (the very file) and removes what the pass made, files and folders, the
//    last first; then the lock files go, and then, as the lock is given up,
//    every folder the run made for OUTPUT_ROOT, while it is empty.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
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
    "\n"
    "Builds the plain krxml sources of a knowledge base into the files the engine\n"
    "loads. SOURCE_ROOT holds one folder per kind (casetab, chopinfo, grammar,\n"
    "locale, phonetx, regexlib, scheme, vocab) of *.xml documents. Each document\n"
    "becomes the file of the same name in the same folder of OUTPUT_ROOT: a vault\n"
    "file (locale/en.loc.xml -> locale/en.loc.zel) or, in vocab, a compiled\n"
    "vocabulary (vocab/names.xml -> vocab/names.zev). Other folders are left alone.\n"
    "\n"
    "One build at a time runs into an OUTPUT_ROOT:\n"
    "  - A run makes OUTPUT_ROOT and its missing parents if needed, then takes a\n"
    "    lock on OUTPUT_ROOT/.kbbuild.lock. The lock ends with its process, so a\n"
    "    killed build never blocks the next one.\n"
    "  - While another build into OUTPUT_ROOT runs, a run exits 1 at once, naming\n"
    "    that build's process where it can, and changes nothing. Should the two\n"
    "    start together, a folder the refused run made (OUTPUT_ROOT or a missing\n"
    "    parent) is removed again while empty; one the other build is at work in\n"
    "    stays, empty should that build fail.\n"
    "\n"
    "A build goes in three steps; only the last changes what OUTPUT_ROOT holds:\n"
    "  1. Every document is built into the staging folder OUTPUT_ROOT/.kbbuild\n"
    "     (mode 0700, its files 0600). Every locale built is loaded from there\n"
    "     with every part; the load sees only what this build made.\n"
    "  2. Every file of OUTPUT_ROOT that the build replaces is asked whether it may\n"
    "     be replaced as a save would replace it: not read-only, not held or\n"
    "     edited by another program (its lock file <file>.lck is taken as an\n"
    "     editor takes it), its owner, group, permission bits and access control\n"
    "     list kept.\n"
    "  3. The files are put in place: the files that locales name first, then\n"
    "     each locale after its parents. A file is replaced by renaming the new\n"
    "     one over it. A symbolic link stays a link; the file it leads to is\n"
    "     replaced. A file with several hard links is replaced under this name\n"
    "     only; its other names keep the old bytes. A new file is made as a save\n"
    "     makes one (the umask, the folder's default access control list).\n"
    "\n"
    "It exits 1, saying why, when:\n"
    "  - SOURCE_ROOT is not a folder or holds no document;\n"
    "  - another build into OUTPUT_ROOT is running, or OUTPUT_ROOT cannot be\n"
    "    written;\n"
    "  - OUTPUT_ROOT, or a name in it, is too long for the files the build makes\n"
    "    there (in its staging folder too): a path may have PATH_MAX - 1 bytes\n"
    "    (4,095 on Linux), a name NAME_MAX (255). It says how long OUTPUT_ROOT\n"
    "    may be, before making anything;\n"
    "  - the library refuses a document, or a locale built loads with an error\n"
    "    or a warning (a file it names is missing: the source is named);\n"
    "  - a file of OUTPUT_ROOT may not be replaced, or a step of putting the files\n"
    "    in place fails (the output, its source and the reason are named).\n"
    "A failed build leaves OUTPUT_ROOT as it was: files replaced are put back\n"
    "(bytes, owner, group, bits, list), files made are removed, and so are the\n"
    "folders the run made, OUTPUT_ROOT and its missing parents included, while\n"
    "they are empty. Only what killed programs left is gone: a killed build's\n"
    "staging folder and lock file, and any lock file <file>.lck of a file it\n"
    "replaces that no program held, which it took over and removed as a save\n"
    "does. Should a file replaced not go back, it says which, and its old copy\n"
    "stays in the staging folder until the next build clears it.\n"
    "\n"
    "A build killed at any moment leaves every locale it put in place loadable,\n"
    "since its parents and the files it names were put in place before it; in a\n"
    "first build that is every locale there. A locale it had not replaced yet\n"
    "keeps its old file, which is read with the new files already in place.\n"
    "Running the build again clears what the killed one left and completes it.\n"
    "\n"
    "Built files of OUTPUT_ROOT that no source builds any more are listed and left\n"
    "in place. Exit status: 0 built (or -h, --help), 1 failed, 2 a wrong command\n"
    "line.\n";

// The folders of the search path that hold krxml documents.
constexpr const char* kVaultFolders[] = {"casetab", "chopinfo", "grammar", "locale", "phonetx", "regexlib", "scheme"};
constexpr const char* kVocabFolder = "vocab";
// The order in which the kind folders are put in place: a file before the
// files that may name it (chopping rules name regex libraries and
// vocabularies, locales name every other kind), the locales last.
constexpr const char* kPutOrder[] = {"vocab", "regexlib", "scheme", "phonetx", "casetab", "grammar", "chopinfo", "locale"};
// The file kinds of the library's lock calls: a vault file, a compiled
// vocabulary.
constexpr uint32_t kKindVault = 7;
constexpr uint32_t kKindVocab = 8;

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

std::string reason_of(int err) { return std::error_code(err, std::generic_category()).message(); }

// The lock that lets one build at a time into an output root: an
// exclusive flock on OUTPUT_ROOT/.kbbuild.lock. The system drops it when
// the process ends, however it ends, so a killed build never blocks the
// next; the file it leaves is taken over by the next run. The holder writes
// its process id into the file, for a refused run to name, and removes the
// file as its very last step, after all its tidying, so that no second run
// gets in while it tidies. A run that opened the file before that removal
// and locks it after holds a file no name reaches any more: it sees so and
// starts again; so does a run that finds OUTPUT_ROOT removed by a run
// ending meanwhile.
class RootLock {
 public:
  enum Taken { kHeld, kBusy, kFailed };

  explicit RootLock(const fs::path& root) : root_(root), path_(root / ".kbbuild.lock") {}
  RootLock(const RootLock&) = delete;
  RootLock& operator=(const RootLock&) = delete;
  ~RootLock() {
    if (fd_ >= 0) ::close(fd_);
  }

  // Makes OUTPUT_ROOT when it is not there and takes the lock. kBusy when
  // another run holds it (holder() then its process id, or 0 when it cannot
  // be told): the folders this run made go again while they are empty, but
  // not a lock file it made, which is the holder's now; a folder that holds
  // the holder's lock file is not empty. kFailed, saying why(), when the
  // root or the lock cannot be had.
  Taken take() {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      if (const int err = make_folder(root_); err != 0) return failed(err);
      // Made here, or opened as a killed run or the holder left it.
      fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
      const bool created = fd_ >= 0;
      if (fd_ < 0 && errno == ENOENT) continue;  // the root removed by a run ending meanwhile
      bool writable = true;
      if (fd_ < 0 && errno == EEXIST) {
        fd_ = ::open(path_.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        // Another user's lock file can still be locked, and its holder
        // told, through a descriptor open for reading.
        if (fd_ < 0 && errno == EACCES) {
          writable = false;
          fd_ = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        }
        if (fd_ < 0 && errno == ENOENT) continue;  // removed by a run ending meanwhile
      }
      if (fd_ < 0) return failed(errno);
      struct stat by_fd {};
      if (::fstat(fd_, &by_fd) != 0) return failed(errno);
      if (!S_ISREG(by_fd.st_mode)) return failed(0, path_.string() + " is not a file");
      if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
          holder_ = pid_in_file();
          ::close(fd_);
          fd_ = -1;
          remove_made();
          return kBusy;
        }
        // Nobody can lock here, so nobody holds what this run made.
        const int err = errno;
        if (created) (void)::unlink(path_.c_str());
        return failed(err, "its lock file " + path_.string() + " cannot be locked: " + reason_of(err));
      }
      struct stat by_name {};
      const bool named = ::lstat(path_.c_str(), &by_name) == 0 && by_name.st_dev == by_fd.st_dev &&
                         by_name.st_ino == by_fd.st_ino;
      // Held and still named, but another user's: it was left by a killed
      // run, so it may go, for a lock file of this run's own.
      if (named && !writable && ::unlink(path_.c_str()) != 0) {
        const int err = errno;
        return failed(err, "its lock file " + path_.string() + ", another user's, cannot be taken over: " +
                               reason_of(err));
      }
      if (!named || !writable) {
        ::close(fd_);
        fd_ = -1;
        continue;
      }
      const std::string pid = std::to_string(::getpid()) + "\n";
      if (::ftruncate(fd_, 0) != 0 || ::write(fd_, pid.data(), pid.size()) != static_cast<ssize_t>(pid.size())) {
        const int err = errno;
        release(false);
        return failed(err);
      }
      return kHeld;
    }
    return failed(0, path_.string() + " or its folder was replaced or removed by other runs on every try");
  }

  // Ends the hold: the lock file goes, then, when `failed`, every folder
  // this run made for OUTPUT_ROOT that nothing else was put in meanwhile.
  void release(bool failed) {
    if (fd_ < 0) return;
    (void)::unlink(path_.c_str());
    if (failed) remove_made();
    ::close(fd_);
    fd_ = -1;
  }

  // Whether this run made OUTPUT_ROOT itself: there was no output before.
  bool made_root() const { return !made_.empty() && made_.back() == folder_of(root_); }
  long holder() const { return holder_; }
  const std::string& why() const { return why_; }

 private:
  // The folder a path names, as mkdir takes it: without trailing
  // separators ("out/" -> "out"), the root folder as it is.
  static fs::path folder_of(fs::path path) {
    while (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
    return path;
  }

  // Makes a folder unless it is there, its missing parents first, noting
  // each folder made in the order made, so that a failed run can remove
  // them deepest first: 0, or why not. Every step of the path goes to
  // mkdir as written, so "." and ".." parts mean what they mean to the
  // system, and a step that is there already ("a/..") is not noted. A
  // folder found there but gone when looked at, or a parent gone before
  // the folder is made in it, was removed by a run ending meanwhile (one
  // that made it and failed): it is made again.
  int make_folder(const fs::path& path) {
    const fs::path folder = folder_of(path);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      if (::mkdir(folder.c_str(), 0777) == 0) return noted(folder);
      if (errno == ENOENT && folder.has_relative_path() && folder.has_parent_path()) {
        if (const int err = make_folder(folder.parent_path()); err != 0) return err;
        continue;
      }
      if (errno != EEXIST) return errno;
      struct stat st {};
      if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
      if (errno != ENOENT) return errno;
      // Still named, as by a link that leads nowhere: no folder to be had.
      if (::lstat(folder.c_str(), &st) == 0) return ENOTDIR;
    }
    return ENOENT;
  }
  int noted(const fs::path& folder) {
    // A retry may make again what a run that ended meanwhile removed.
    if (std::find(made_.begin(), made_.end(), folder) == made_.end()) made_.push_back(folder);
    return 0;
  }

  // Removes the folders this run made, the deepest first, each only while
  // it is empty: one that another run or program has put something in
  // meanwhile stays, and with it the folders above it.
  void remove_made() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) (void)::rmdir(it->c_str());
    made_.clear();
  }

  // The process id the holder wrote, when that process is still there.
  long pid_in_file() const {
    char text[32] = "";
    const ssize_t got = ::pread(fd_, text, sizeof text - 1, 0);
    if (got <= 1 || text[got - 1] != '\n') return 0;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    if (end != text + got - 1 || pid <= 0 || static_cast<pid_t>(pid) != pid) return 0;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM ? pid : 0;
  }

  // Fails, removing again the folders this run made, where nothing was
  // put in them meanwhile.
  Taken failed(int err, std::string why = {}) {
    why_ = why.empty() ? reason_of(err) : std::move(why);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    remove_made();
    return kFailed;
  }

  // How many times a step that runs ending meanwhile undid is tried.
  static constexpr int kAttempts = 16;

  fs::path root_;
  fs::path path_;
  int fd_ = -1;
  std::vector<fs::path> made_;  // the folders this run made, in the order made
  long holder_ = 0;
  std::string why_;
};

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

// The built file's name for a source document of a folder:
// scheme/en_nickname.sch.xml -> en_nickname.sch.zel, vocab/x.xml -> x.zev.
std::string built_name(const std::string& folder, const fs::path& source) {
  return source.stem().string() + (folder == kVocabFolder ? ".zev" : ".zel");
}

// A context for writing: edit mode, since converting vocabularies is an
// authoring step; paths cross the interface as UTF-8. NULL, saying so,
// when none can be opened.
tq_context* writing_context() {
  tq_context* ctx = nullptr;
  if (tq_init_edit_mode(&ctx, nullptr) != 0) {
    tq_close(ctx);
    std::fprintf(stderr, "tq_kbbuild: cannot open a context\n");
    return nullptr;
  }
  tq_session_encoding_set(ctx, TQ_ENC_UTF8);
  return ctx;
}

// Writes one source document of a kind folder as the built file `stem`
// plus the kind's extension, with the library's writers. On a refusal
// `said(rc)` tells why while the context's error list still holds the
// reasons: freeing the document, a call like any other, clears the list.
template <typename Said>
bool write_built(tq_context* ctx, const std::string& folder, const fs::path& source, const fs::path& stem,
                 Said&& said) {
  tq_xmldoc* doc = nullptr;
  int32_t rc = 0;
  if (folder == kVocabFolder) {
    // Direction 0: the XML form to the compiled file.
    rc = tq_vocab_file_convert(ctx, 0, source.c_str(), stem.c_str());
  } else {
    // 8: the path as given, no extension added; 1: a vault file, to which
    // the writer adds its extension.
    rc = tq_xml_read(ctx, source.c_str(), 8, &doc);
    if (rc >= 0) rc = tq_xml_write(ctx, 0, stem.c_str(), 1, doc);
  }
  if (rc < 0) said(rc);
  if (doc != nullptr) tq_xml_free(ctx, doc);
  return rc >= 0;
}

// Makes the staging folder the builder's alone: without access control
// lists (a default list inherited from OUTPUT_ROOT would open what is made
// in it to others) and 0700, whatever the umask.
void make_private(const fs::path& folder, std::error_code& ec) {
  for (const char* list : {"system.posix_acl_default", "system.posix_acl_access"}) {
    if (::removexattr(folder.c_str(), list) != 0 && errno != ENODATA && errno != ENOTSUP) {
      ec.assign(errno, std::generic_category());
      return;
    }
  }
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
}

// Writes every source document into the same kind folder of the staging
// folder. False, saying why, on the first failure.
bool build_all(const fs::path& staging, const std::vector<std::string>& folders,
               const std::vector<std::vector<fs::path>>& sources) {
  tq_context* ctx = writing_context();
  bool ok = ctx != nullptr;
  std::error_code ec;
  for (size_t i = 0; ok && i < folders.size(); ++i) {
    if (sources[i].empty()) continue;
    fs::create_directories(staging / folders[i], ec);
    if (ec) {
      std::fprintf(stderr, "tq_kbbuild: cannot make %s: %s\n", (staging / folders[i]).c_str(), ec.message().c_str());
      ok = false;
    }
    for (size_t k = 0; ok && k < sources[i].size(); ++k) {
      const fs::path& source = sources[i][k];
      ok = write_built(ctx, folders[i], source, staging / folders[i] / source.stem(), [&](int32_t rc) {
        std::fprintf(stderr, "tq_kbbuild: cannot build %s (%d):\n", source.c_str(), rc);
        print_errors(ctx);
      });
    }
  }
  tq_close(ctx);
  return ok;
}

// One built file as the put-in-place pass sees it.
struct Output {
  std::string folder;
  fs::path source;
  fs::path name;  // OUTPUT_ROOT/<folder>/<built name>: where the engine looks
  fs::path file;  // what a save of `name` replaces: the end of its chain of links
  fs::path twin;  // the replacement, made in the staging folder
  fs::path kept;  // the file replaced, kept in the staging folder to be put back
  bool existed = false;
};

// The put-in-place pass: steps 2 and 3 of the opening comment, with what
// it has done so far, so that a failure can undo it.
class Placing {
 public:
  Placing(tq_context* ctx, const fs::path& staging, const fs::path& output_root)
      : ctx_(ctx), twin_root_((staging / "put" / "").string()), output_root_((output_root / "").string()) {}
  Placing(const Placing&) = delete;
  Placing& operator=(const Placing&) = delete;
  ~Placing() {
    for (tq_lock_handle* lock : locks_) tq_lock_free(ctx_, lock);
  }

  // Step 2 for one output: false, saying why, when it may not be replaced.
  bool prepare(Output& out) {
    if (!link_end(out)) return false;
    struct stat st {};
    if (::lstat(out.file.c_str(), &st) != 0) {
      if (errno != ENOENT) return refuse(out, "it cannot be looked at: " + reason_of(errno));
      // Made in the pass, as a save makes a new file: the nearest folder
      // that is there must take it.
      fs::path folder = out.file.parent_path();
      std::error_code ec;
      while (!folder.empty() && !fs::exists(folder, ec)) folder = folder.parent_path();
      if (folder.empty()) folder = ".";
      if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return refuse(out, "the folder " + folder.string() + " cannot be written: " + reason_of(errno));
      }
      return true;
    }
    if (!S_ISREG(st.st_mode)) return refuse(out, "it is not a file");
    out.existed = true;
    if (::access(out.file.parent_path().c_str(), W_OK | X_OK) != 0) {
      return refuse(out, "its folder cannot be written: " + reason_of(errno));
    }
    // Held as an editor holds it, until the pass ends.
    tq_lock_handle* lock = nullptr;
    int32_t rc = tq_lock_init(ctx_, &lock);
    if (rc >= 0) locks_.push_back(lock);
    if (rc >= 0) rc = tq_lock_create(ctx_, out.name.c_str(), out.folder == kVocabFolder ? kKindVocab : kKindVault, lock,
                                     nullptr);
    if (rc < 0) return said(out, rc);
    std::error_code ec;
    fs::create_directories(out.kept.parent_path(), ec);
    if (!ec) fs::create_directories(out.twin.parent_path(), ec);
    if (ec) return refuse(out, "the staging folder cannot be written: " + ec.message());
    if (::link(out.file.c_str(), out.kept.c_str()) != 0 || ::link(out.file.c_str(), out.twin.c_str()) != 0) {
      return refuse(out, "it cannot be kept to be put back should the build fail: " + reason_of(errno));
    }
    return write_built(ctx_, out.folder, out.source, out.twin.parent_path() / out.source.stem(),
                       [&](int32_t code) { said(out, code); });
  }

  // Step 3 for one output: false, saying why, when it fails.
  bool place(const Output& out) {
    if (out.existed) {
      if (::rename(out.twin.c_str(), out.file.c_str()) != 0) return refuse(out, reason_of(errno));
      done_.push_back({Done::kReplaced, out.file, out.kept});
      return true;
    }
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path folder = out.name.parent_path(); !folder.empty() && !fs::exists(folder, ec);
         folder = folder.parent_path()) {
      missing.push_back(folder);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      if (::mkdir(it->c_str(), 0777) != 0) return refuse(out, "cannot make " + it->string() + ": " + reason_of(errno));
      done_.push_back({Done::kFolder, *it, {}});
    }
    if (!write_built(ctx_, out.folder, out.source, out.name.parent_path() / out.source.stem(),
                     [&](int32_t code) { said(out, code); })) {
      return false;
    }
    done_.push_back({Done::kMade, out.file, {}});
    return true;
  }

  // Forces the renames to the disk: the replacements themselves were when
  // they were saved.
  void flush() const {
    std::vector<fs::path> folders;
    for (const Done& step : done_) {
      const fs::path folder = step.path.parent_path();
      if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
      folders.push_back(folder);
      const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
      }
    }
  }

  // Puts back every file replaced and removes what the pass made, the last
  // step first, so that no locale is left naming a file that is gone.
  // False, saying what, when something could not be put back: its old
  // file then stays in the staging folder, which is kept.
  bool undo() {
    bool whole = true;
    for (auto it = done_.rbegin(); it != done_.rend(); ++it) {
      const char* path = it->path.c_str();
      if (it->what == Done::kReplaced && ::rename(it->kept.c_str(), path) != 0) {
        std::fprintf(stderr, "tq_kbbuild: cannot put %s back (%s); the old file is kept as %s\n", path,
                     reason_of(errno).c_str(), it->kept.c_str());
        whole = false;
      } else if (it->what == Done::kMade && ::unlink(path) != 0) {
        std::fprintf(stderr, "tq_kbbuild: cannot remove %s, which this build made: %s\n", path,
                     reason_of(errno).c_str());
        whole = false;
      } else if (it->what == Done::kFolder) {
        (void)::rmdir(path);  // left when something else was put in it meanwhile
      }
    }
    done_.clear();
    return whole;
  }

 private:
  struct Done {
    enum What { kReplaced, kMade, kFolder } what;
    fs::path path;
    fs::path kept;
  };

  // The file a save of the output's name replaces: the name, or the end of
  // its chain of links.
  bool link_end(Output& out) {
    out.file = out.name;
    std::error_code ec;
    for (int hop = 0; fs::is_symlink(fs::symlink_status(out.file, ec)); ++hop) {
      // The system gives up on longer chains too.
      if (hop == 40) return refuse(out, "its links make a loop");
      const fs::path target = fs::read_symlink(out.file, ec);
      if (ec) return refuse(out, "its link cannot be read: " + ec.message());
      out.file = target.is_absolute() ? target : out.file.parent_path() / target;
    }
    return true;
  }

  bool refuse(const Output& out, const std::string& why) const {
    std::fprintf(stderr, "tq_kbbuild: cannot put %s in place (built from %s): %s\n", out.name.c_str(),
                 out.source.c_str(), why.c_str());
    return false;
  }

  // The library's refusal, its messages naming the output where they name
  // the replacement made for it in the staging folder.
  bool said(const Output& out, int32_t rc) const {
    std::fprintf(stderr, "tq_kbbuild: cannot put %s in place (built from %s) (%d):\n", out.name.c_str(),
                 out.source.c_str(), rc);
    print_errors(ctx_, [&](std::string text) {
      for (size_t at; (at = text.find(twin_root_)) != std::string::npos;) text.replace(at, twin_root_.size(), output_root_);
      return text;
    });
    return false;
  }

  tq_context* ctx_;
  std::string twin_root_;
  std::string output_root_;
  std::vector<tq_lock_handle*> locks_;
  std::vector<Done> done_;
};

// Puts every built file in place (steps 2 and 3), the kinds in kPutOrder.
// False, saying why, when a file may not be replaced or a step fails; then
// OUTPUT_ROOT is as it was, unless something could not be put back
// (*keep_staging then true: the staging folder holds the old files).
bool put_in_place(const fs::path& staging, const fs::path& output_root, const std::vector<std::string>& folders,
                  const std::vector<std::vector<fs::path>>& sources, mode_t user_mask, bool* keep_staging) {
  std::vector<Output> outputs;
  for (const char* kind : kPutOrder) {
    const auto at = std::find(folders.begin(), folders.end(), kind);
    for (const fs::path& source : sources[static_cast<size_t>(at - folders.begin())]) {
      const std::string built = built_name(kind, source);
      outputs.push_back({kind, source, output_root / kind / built, {}, staging / "put" / kind / built,
                         staging / "old" / kind / built});
    }
  }
  tq_context* ctx = writing_context();
  if (ctx == nullptr) return false;
  bool ok = true;
  {
    Placing placing(ctx, staging, output_root);
    // Every output is asked, so that every refusal is told at once.
    for (Output& out : outputs) ok = placing.prepare(out) && ok;
    // What the pass makes, it makes as a save would: with the user's umask.
    ::umask(user_mask);
    for (size_t i = 0; ok && i < outputs.size(); ++i) ok = placing.place(outputs[i]);
    if (ok) placing.flush();
    if (!ok) *keep_staging = !placing.undo();
  }
  tq_close(ctx);
  return ok;
}

// Every part a locale can hold.
constexpr uint32_t kEveryPart = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_IDENT_DEFNS | TQ_LOAD_STDZN_DEFNS |
                                TQ_LOAD_GENDER_DEFNS | TQ_LOAD_MATCH_DEFNS | TQ_LOAD_CASE_DEFNS | TQ_LOAD_GUESS_DEFNS |
                                TQ_LOAD_PATTERN_DEFNS | TQ_LOAD_EXTRACT_DEFNS | TQ_LOAD_LANGUAGE_DEFNS;

// The search path of the check: the kind folders of the staging folder
// alone, so that a locale finds only what this build made. They are named
// from the staging folder, where the check's loads run (CheckFolder): named
// from where the run started, eight of them are eight times as long as
// OUTPUT_ROOT, over the TQ_PATH_MAX bytes the library takes for a search
// path once OUTPUT_ROOT has some 2,000 bytes, though the library loads from
// roots twice as long.
std::string check_path() {
  std::string path;
  for (const char* folder : kVaultFolders) {
    path += folder;
    path += ';';
  }
  return path + kVocabFolder;
}

// Where the check's loads run: in the staging folder, entered for each load
// and left at once, since every other path of the run is named from the
// folder it started in.
class CheckFolder {
 public:
  // False, saying why, when the staging folder or the folder the run
  // started in cannot be opened.
  bool open(const fs::path& staging) {
    staging_ = ::open(staging.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (staging_ >= 0) start_ = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (start_ >= 0) return true;
    const std::string why = reason_of(errno);
    std::fprintf(stderr, "tq_kbbuild: cannot open %s for the check: %s\n", staging_ >= 0 ? "." : staging.c_str(),
                 why.c_str());
    return false;
  }
  CheckFolder() = default;
  CheckFolder(const CheckFolder&) = delete;
  CheckFolder& operator=(const CheckFolder&) = delete;
  ~CheckFolder() {
    if (staging_ >= 0) ::close(staging_);
    if (start_ >= 0) ::close(start_);
  }

  // False, saying why, when the staging folder cannot be entered.
  bool enter() const {
    if (::fchdir(staging_) == 0) return true;
    std::fprintf(stderr, "tq_kbbuild: cannot enter the staging folder for the check: %s\n", reason_of(errno).c_str());
    return false;
  }
  // Back to the folder the run started in. Should that fail, the paths the
  // run was given no longer name what they named, and none may be used: the
  // run ends at once, as a killed build would, whose leftovers the next
  // build clears.
  void leave() const {
    if (::fchdir(start_) == 0) return;
    std::fprintf(stderr, "tq_kbbuild: cannot go back to the folder it started in: %s; it stops as a killed build would\n",
                 reason_of(errno).c_str());
    std::_Exit(1);
  }

 private:
  int staging_ = -1;
  int start_ = -1;
};

// What the check's messages say, in the terms of the sources: the staging
// folders are the tool's own and mean nothing to the user.
struct CheckView {
  std::string search_path;
  std::vector<std::string> folders;
  fs::path source_root;
  fs::path output_root;

  std::string text_of(std::string text) const {
    const std::string quoted = "along the search path '" + search_path + "'";
    for (size_t at; (at = text.find(quoted)) != std::string::npos;) {
      text.replace(at, quoted.size(), "among the files this build makes");
    }
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
// load reports anything. *ancestors is how many locales the load took as
// the chain of its parents: since the load sees only what this build made,
// each of them is a locale this build writes.
bool locale_loads_clean(const fs::path& source, const CheckView& view, const CheckFolder& in, size_t* ancestors) {
  tq_context* ctx = nullptr;
  if (tq_init(&ctx, nullptr) != 0) {
    std::fprintf(stderr, "tq_kbbuild: cannot open a context\n");
    return false;
  }
  if (!in.enter()) {
    tq_close(ctx);
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
  *ancestors = 0;
  // A chain longer than the locale table would be a loop the load refused.
  for (int32_t at = locale, parent = -1;
       clean && *ancestors < 1024 && tq_parent_locale_get(ctx, at, &parent) == 0 && parent >= 0; at = parent) {
    ++*ancestors;
  }
  in.leave();
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

// Why no build into OUTPUT_ROOT can be made, told before anything is made
// there; "" when one can. The system refuses (ENAMETOOLONG) a name longer
// than NAME_MAX bytes and a path longer than PATH_MAX - 1, which is well
// under the TQ_PATH_MAX bytes the library takes for a root. The longest
// path the build makes is a replacement in the staging folder,
// OUTPUT_ROOT/.kbbuild/put/<kind>/<built file>, under the temporary name
// the library saves it as first: "<built file>.~tq<process id>.<count>".
std::string root_unusable(const fs::path& output_root, const std::vector<std::string>& folders,
                          const std::vector<std::vector<fs::path>>& sources) {
  static_assert(PATH_MAX <= TQ_PATH_MAX, "a root the system takes is one the library takes");
  for (const fs::path& part : output_root) {
    if (part.native().size() > NAME_MAX) {
      return "its part '" + part.native() + "' has " + std::to_string(part.native().size()) +
             " bytes, and a name may have at most " + std::to_string(NAME_MAX) + " (NAME_MAX)";
    }
  }
  constexpr size_t kPathMost = PATH_MAX - 1;  // PATH_MAX counts the terminator
  constexpr size_t kTemporaryName = 25;       // ".~tq", then 10 and 10 digits with '.' between
  const size_t root = output_root.native().size();
  fs::path longest;
  for (size_t i = 0; i < folders.size(); ++i) {
    for (const fs::path& source : sources[i]) {
      fs::path path = output_root / ".kbbuild" / "put" / folders[i] / built_name(folders[i], source);
      if (path.native().size() > longest.native().size()) longest = std::move(path);
    }
  }
  const size_t added = longest.native().size() - root + kTemporaryName;
  if (root + added <= kPathMost) return {};
  const size_t most = kPathMost > added ? kPathMost - added : 0;
  return "it has " + std::to_string(root) + " bytes, and with these sources OUTPUT_ROOT may have at most " +
         std::to_string(most) + ": a path may have at most " + std::to_string(kPathMost) +
         " bytes (PATH_MAX), and the longest this build makes adds " + std::to_string(added) + " (" +
         longest.native().substr(root) + ", then a temporary name of up to " + std::to_string(kTemporaryName) +
         " bytes)";
}

// Says that OUTPUT_ROOT cannot be written, and why, before anything was
// written into it: the exit status 1.
int cannot_write(const fs::path& output_root, const std::string& why) {
  std::fprintf(stderr, "tq_kbbuild: cannot write into %s: %s\ntq_kbbuild: nothing written into %s\n",
               output_root.c_str(), why.c_str(), output_root.c_str());
  return 1;
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

  if (const std::string why = root_unusable(output_root, folders, sources); !why.empty()) {
    return cannot_write(output_root, why);
  }
  // Nothing in OUTPUT_ROOT is touched before the lock is ours, and a run
  // refused it changes nothing: the staging folder, the lock file and the
  // outputs are the holder's.
  RootLock lock(output_root);
  switch (lock.take()) {
    case RootLock::kHeld:
      break;
    case RootLock::kBusy:
      std::fprintf(stderr, "tq_kbbuild: another build into %s is running", output_root.c_str());
      if (lock.holder() > 0) std::fprintf(stderr, " (process %ld)", lock.holder());
      std::fprintf(stderr, "; this one builds nothing and changes nothing: run it again once that one has ended\n");
      return 1;
    case RootLock::kFailed:
      return cannot_write(output_root, lock.why());
  }
  // Everything made from here to the put-in-place pass is the builder's
  // alone; the pass makes files with the user's umask again.
  const mode_t user_mask = ::umask(077);
  // A staging folder left by a killed build is cleared now that the lock is
  // ours: no other run can be using it.
  const fs::path staging = output_root / ".kbbuild";
  fs::remove_all(staging, ec);
  if (!ec) fs::create_directory(staging, ec);
  if (!ec) make_private(staging, ec);
  if (ec) {
    const std::string why = ec.message();
    fs::remove_all(staging, ec);
    lock.release(true);
    return cannot_write(output_root, why);
  }
  bool ok = build_all(staging, folders, sources);
  // Every locale built, as a program loads it.
  if (ok) {
    const CheckView view{check_path(), folders, source_root, output_root};
    CheckFolder in;
    const bool opened = in.open(staging);
    ok = opened;
    auto& locales = sources[static_cast<size_t>(std::find(folders.begin(), folders.end(), "locale") - folders.begin())];
    std::vector<std::pair<size_t, fs::path>> by_depth;
    for (const fs::path& source : locales) {
      size_t ancestors = 0;
      ok = opened && locale_loads_clean(source, view, in, &ancestors) && ok;
      by_depth.emplace_back(ancestors, source);
    }
    // A locale goes in place after every locale of its parent chain, each
    // of which has fewer ancestors than it: a build killed between two
    // locales leaves none whose parent is missing, in a first build too.
    std::stable_sort(by_depth.begin(), by_depth.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < locales.size(); ++i) locales[i] = std::move(by_depth[i].second);
  }
  if (!lock.made_root()) list_orphans(folders, sources, output_root);
  bool keep_staging = false;
  if (ok) ok = put_in_place(staging, output_root, folders, sources, user_mask, &keep_staging);
  if (keep_staging) {
    std::fprintf(stderr,
                 "tq_kbbuild: %s is not as it was: the files named above could not be put back; their old copies "
                 "stay in %s until the next build into %s clears it\n",
                 output_root.c_str(), staging.c_str(), output_root.c_str());
    lock.release(false);
    return 1;
  }
  if (!ok) std::fprintf(stderr, "tq_kbbuild: nothing written into %s\n", output_root.c_str());
  fs::remove_all(staging, ec);
  // The lock goes last, so that no other run starts while this one tidies.
  lock.release(!ok);
  if (!ok) return 1;
  std::printf("tq_kbbuild: %zu files written into %s\n", count, output_root.c_str());
  return 0;
}

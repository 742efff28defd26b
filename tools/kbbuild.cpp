// tq_kbbuild: turns the plain krxml sources of a knowledge base into the
// files the engine loads, with the library's own writers.
//
//   tq_kbbuild [--] SOURCE_ROOT OUTPUT_ROOT
//
// What a user may rely on is its usage text (kUsage below, printed by
// "-h"); this comment says how the code keeps to it.
//
// An OUTPUT_ROOT too long for the paths the build makes in it, and a source
// whose name is too long for the names the build makes from it (its
// temporary files "<built file>.~tq<process id>.<count>" the longest), are
// refused before anything is made (root_unusable, name_unusable); so are
// either when it is not UTF-8 text, which the library takes paths as, or
// holds a backslash, which the library takes as a separator.
//
// One build at a time runs into an OUTPUT_ROOT, under an exclusive flock
// on OUTPUT_ROOT/.kbbuild.lock (RootLock): the system drops it however the
// process ends, so a killed build never blocks the next, which takes the
// file over. The holder removes the lock file as its very last step, after
// all its tidying, so that no second run starts while it tidies. A run
// refused the lock touches nothing but the folders it made for the root,
// which it removes again while they are empty: the holder works in the
// root, the staging folder and the lock file, even in folders the refused
// run made, and those stay, forced to the disk by the refused run, since
// a holder that began after they were made takes them for old ones.
//
// A build goes in three steps, and only the last changes what OUTPUT_ROOT
// holds:
//
// 1. Every source is read once, copied byte for byte into the staging
//    folder ".kbbuild" inside OUTPUT_ROOT (its "src" folder), and every
//    output is built from that copy, there too. The staging folder is the
//    builder's alone whatever the umask and the folder's default access
//    control list, since the outputs may be private. Every locale built is
//    then loaded from there with every part, as a program would load it: a
//    document that reads well alone can still leave a definition unusable
//    (a scheme it names missing), which only the load tells. The load sees
//    only what this build made, never the files already in OUTPUT_ROOT:
//    rebuilding in place after a source was removed must fail as a first
//    build would, not pass on the old output's copy. It runs in the staging
//    folder, its search path the kind folders named from there, so that its
//    length does not grow with OUTPUT_ROOT's. It also tells each locale's
//    parent chain, as a load finds it.
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
//
// Steps 2 and 3 save the very documents step 1 checked: they are built
// again by the same writers from the copies of step 1, which nothing else
// writes, never from the sources, which may have changed meanwhile. So a
// build places a set of files that was checked as a whole, or fails.
//
// Every system call the builder makes is run again when a signal
// interrupts it (again()); one that changes something first looks whether
// the interrupted attempt took effect (rename_at, link_to, remove_at,
// make_dir_at, copy_bytes). Running out of memory is a failure like any
// other: each step catches std::bad_alloc and fails, and the guards
// (Staging, RootLock, Placing) undo on every way out; the removals they
// make allocate nothing. The staging folder and the lock file are removed
// through a descriptor of the folder the run started in, so a run that
// cannot go back there from the check still removes them. A last tidying
// that fails (the staging folder, the lock file, a file's lock file) is
// told, naming what stays; the next build clears it.

#include <dirent.h>
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
#include <memory>
#include <new>
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
    "       tq_kbbuild -- SOURCE_ROOT OUTPUT_ROOT\n"
    "       tq_kbbuild -h | --help\n"
    "\n"
    "Every argument before \"--\" that begins with '-' (but \"-\" alone) is an\n"
    "option: -h or --help prints this text; any other is a wrong command line.\n"
    "\"--\" ends the options, so a root whose name begins with '-' goes after it.\n"
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
    "    stays, empty should that build fail, and the refused run forces it to the\n"
    "    disk, with the folder that holds it, before it exits.\n"
    "\n"
    "A build goes in three steps; only the last changes what OUTPUT_ROOT holds:\n"
    "  1. Every source is read once, into the staging folder OUTPUT_ROOT/.kbbuild\n"
    "     (mode 0700, its files 0600), and every document is built there. Every\n"
    "     locale built is loaded from there with every part; the load sees only\n"
    "     what this build made.\n"
    "  2. Every file of OUTPUT_ROOT that the build replaces is asked whether it may\n"
    "     be replaced as a save would replace it: not read-only, not held or\n"
    "     edited by another program (its lock file <file>.lck, beside the file\n"
    "     its links end at, is taken as an editor takes it), its owner, group,\n"
    "     permission bits and access control list kept.\n"
    "  3. The files are put in place: the files that locales name first, then\n"
    "     each locale after its parents. A file is replaced by renaming the new\n"
    "     one over it. A symbolic link stays a link; the file it leads to is\n"
    "     replaced. A file with several hard links is replaced under this name\n"
    "     only; its other names keep the old bytes. A new file is made as a save\n"
    "     makes one (the umask, the folder's default access control list).\n"
    "What is put in place is what the load of step 1 checked, saved again from\n"
    "the copies of step 1: a source changed while a build runs is never put in\n"
    "place unchecked. A build places a set of files checked as a whole, or fails.\n"
    "\n"
    "It exits 1, saying why, when:\n"
    "  - SOURCE_ROOT is not a folder or holds no document, or a kind folder of it\n"
    "    or an *.xml entry of one cannot be looked at (a link that leads nowhere,\n"
    "    as to a share not mounted, or round in a loop) or is not what it should\n"
    "    be (a folder, a file): each such folder or entry is named with the\n"
    "    reason, and nothing is made;\n"
    "  - another build into OUTPUT_ROOT is running, or OUTPUT_ROOT cannot be\n"
    "    written;\n"
    "  - OUTPUT_ROOT, or a name in it, is too long for the files the build makes\n"
    "    there (in its staging folder too): a path may have PATH_MAX - 1 bytes\n"
    "    (4,095 on Linux), a name NAME_MAX (255). It says how long OUTPUT_ROOT\n"
    "    may be, before making anything. So is a source whose name has more than\n"
    "    230 bytes: the build makes temporary files named after it\n"
    "    (<file>.~tq<process id>.<count>, up to 25 bytes longer);\n"
    "  - OUTPUT_ROOT, or the name of a source, is not UTF-8 text, which the\n"
    "    library takes every path as, or holds a backslash, which the library\n"
    "    takes as a separator between folders, as '/': said, with the byte and\n"
    "    its place, before anything is made;\n"
    "  - the library refuses a document, or a locale built loads with an error\n"
    "    or a warning (a file it names is missing: the source that would make\n"
    "    it is named; a source there whose file failed, with its failure);\n"
    "  - a file of OUTPUT_ROOT may not be replaced, or a step of putting the files\n"
    "    in place fails (the output, its source and the reason are named);\n"
    "  - memory runs out, or a system call fails (its reason is named);\n"
    "  - once the files are in place, a folder cannot be forced to the disk (a\n"
    "    folder of them, a folder the run made, a folder of OUTPUT_ROOT's path\n"
    "    that was not there as the run began, OUTPUT_ROOT included, whichever\n"
    "    run made it, or the folder that holds one of these): it is named, with\n"
    "    the reason; the files stay in place, but what the build put there may\n"
    "    not survive a crash. The other folders of OUTPUT_ROOT's path, and the\n"
    "    one that holds them, are forced too where they can be opened (another\n"
    "    build may have made them just before this one began); they fail nothing.\n"
    "A failed build leaves OUTPUT_ROOT as it was: files replaced are put back\n"
    "(bytes, owner, group, bits, list), files made are removed, and so are the\n"
    "folders the run made, OUTPUT_ROOT and its missing parents included, while\n"
    "they are empty. Only what killed programs left is gone: a killed build's\n"
    "staging folder and lock file, and any lock file <file>.lck of a file it\n"
    "replaces that no program held, which it took over and removed as a save\n"
    "does. Should a file replaced not go back, it says which, and its old copy\n"
    "stays in the staging folder until the next build clears it. Should the\n"
    "last tidying fail (removing the staging folder, OUTPUT_ROOT/.kbbuild.lock or\n"
    "a lock file <file>.lck), it says what stays; the build stands, and the next\n"
    "build clears what stayed. A system call interrupted by a signal is made\n"
    "again; one that took effect before it was interrupted (network and FUSE\n"
    "file systems may say so) is seen to have, and is no failure.\n"
    "\n"
    "A build needs free space on the file system of OUTPUT_ROOT for its sources\n"
    "plus twice its output, each file counted in whole blocks of that file\n"
    "system (as du counts, not du --apparent-size), plus a block for each\n"
    "folder it makes (up to 36 in the staging folder, and OUTPUT_ROOT with its\n"
    "kind folders and missing parents) and one for its lock file: it copies\n"
    "every source into the staging folder and builds every file twice, there\n"
    "and again as the file put in place (each save writes a temporary file\n"
    "that becomes the file); the old files it replaces stay until it ends as\n"
    "hard links, which take no more room. It works alike where /proc is not\n"
    "mounted.\n"
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
// The longest name the library adds to a file's name for the temporary file
// it saves it as first: ".~tq", then a process id and a count of up to 10
// digits each, with '.' between.
constexpr size_t kTemporaryName = 25;

// Runs a system call again for as long as a signal interrupts it: a program
// beside signal handlers installed without SA_RESTART, or on a network or
// FUSE file system, sees EINTR from calls that otherwise work. (close is
// never made again: the descriptor is gone whatever it answers.)
template <typename Call>
auto again(Call call) -> decltype(call()) {
  for (;;) {
    const auto rc = call();
    if (rc != -1 || errno != EINTR) return rc;
  }
}

int open_again(const char* path, int flags, mode_t mode = 0) {
  return again([&] { return ::open(path, flags, mode); });
}
// lstat (follow false) or stat: 0, or the error number.
int status_of(const char* path, struct stat& st, bool follow) {
  return again([&] { return follow ? ::stat(path, &st) : ::lstat(path, &st); }) == 0 ? 0 : errno;
}

// The calls below change something, so that a first attempt interrupted
// after it took effect (network and FUSE file systems can say EINTR then)
// makes the retry fail: each checks, before it reports a failure after an
// interruption, whether the change it was asked for is there. 0, or the
// error number.

// Whether two stats are of one file.
bool same_file(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Renames `from` (relative to fromdir) over `to` (relative to todir): done
// when `from` is gone and `to` is the file `from` was.
int rename_at(int fromdir, const char* from, int todir, const char* to) {
  struct stat moved {};
  const bool known = again([&] { return ::fstatat(fromdir, from, &moved, AT_SYMLINK_NOFOLLOW); }) == 0;
  for (bool interrupted = false;; interrupted = true) {
    if (::renameat(fromdir, from, todir, to) == 0) return 0;
    const int err = errno;
    if (err == EINTR) continue;
    struct stat there {};
    struct stat left {};
    if (interrupted && known && again([&] { return ::fstatat(todir, to, &there, AT_SYMLINK_NOFOLLOW); }) == 0 &&
        same_file(there, moved) &&
        again([&] { return ::fstatat(fromdir, from, &left, AT_SYMLINK_NOFOLLOW); }) != 0 && errno == ENOENT) {
      return 0;
    }
    return err;
  }
}

// Makes the hard link `to` of `from`: done when `to` is `from`'s file.
int link_to(const char* from, const char* to) {
  for (bool interrupted = false;; interrupted = true) {
    if (::link(from, to) == 0) return 0;
    const int err = errno;
    if (err == EINTR) continue;
    struct stat a {};
    struct stat b {};
    if (interrupted && err == EEXIST && status_of(from, a, false) == 0 && status_of(to, b, false) == 0 &&
        same_file(a, b)) {
      return 0;
    }
    return err;
  }
}

// Removes a name (unlinkat's flags): done when it is gone, which a first
// attempt may have made so.
int remove_at(int dirfd, const char* path, int flags) {
  for (bool interrupted = false;; interrupted = true) {
    if (::unlinkat(dirfd, path, flags) == 0) return 0;
    const int err = errno;
    if (err == EINTR) continue;
    return interrupted && err == ENOENT ? 0 : err;
  }
}

// Makes a folder: done when the name, missing before, is a folder now (not
// through a link). A folder that was there before is EEXIST, as always.
int make_dir_at(int dirfd, const char* path, mode_t mode) {
  struct stat st {};
  const bool absent = again([&] { return ::fstatat(dirfd, path, &st, AT_SYMLINK_NOFOLLOW); }) != 0 && errno == ENOENT;
  for (bool interrupted = false;; interrupted = true) {
    if (::mkdirat(dirfd, path, mode) == 0) return 0;
    const int err = errno;
    if (err == EINTR) continue;
    if (interrupted && absent && err == EEXIST &&
        again([&] { return ::fstatat(dirfd, path, &st, AT_SYMLINK_NOFOLLOW); }) == 0 && S_ISDIR(st.st_mode)) {
      return 0;
    }
    return err;
  }
}

// A descriptor closed on every way out.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Forces a folder to the disk ("" is "."): 0, or the error number.
int sync_folder(const fs::path& folder) {
  const Descriptor fd(open_again(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  return again([&] { return ::fsync(fd.get()); }) != 0 ? errno : 0;
}

// A library context closed on every way out.
struct ContextClose {
  void operator()(tq_context* ctx) const { tq_close(ctx); }
};
using Context = std::unique_ptr<tq_context, ContextClose>;

// Calls `each(code, text)` for every record of the context's error list,
// oldest first.
template <typename F>
void for_each_error(tq_context* ctx, F&& each) {
  uint32_t count = 0;
  tq_error_count_get(ctx, &count);
  std::vector<char> text(TQ_ERROR_TEXT_MAX + 1);
  for (uint32_t i = 0; i < count; ++i) {
    int32_t code = 0;
    tq_error_info_get_by_index(ctx, i, &code, text.data());
    each(code, std::string(text.data()));
  }
}

// Prints the context's error list, each text as `shown` gives it.
template <typename F>
void print_errors(tq_context* ctx, F&& shown) {
  for_each_error(ctx, [&](int32_t code, const std::string& said) {
    std::fprintf(stderr, "  %d: %s\n", code, shown(said).c_str());
  });
}

std::string reason_of(int err) { return std::error_code(err, std::generic_category()).message(); }

// The text with every `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
  return text;
}

// Calls `each(name)` for every name of the open folder `fd` but "." and
// "..", from where its reading stands, until `each` answers false: 0, or
// the error number. Allocates nothing.
template <typename Each>
int each_name(int fd, Each&& each) {
  alignas(dirent64) char block[4096];
  for (ssize_t got; (got = again([&] { return ::getdents64(fd, block, sizeof block); })) != 0;) {
    if (got < 0) return errno;
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(block + at);
      at += entry->d_reclen;
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0 && !each(entry->d_name)) {
        return 0;
      }
    }
  }
  return 0;
}

// The names in a folder, sorted: 0, or the error number.
int names_in(const fs::path& folder, std::vector<std::string>& names) {
  const Descriptor fd(open_again(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  const int err = each_name(fd.get(), [&](const char* name) {
    names.emplace_back(name);
    return true;
  });
  std::sort(names.begin(), names.end());
  return err;
}

// Removes `name`, relative to the folder `dirfd` (a folder with all it
// holds), allocating nothing, so that it works when memory has run out: 0,
// or the error of the first thing that could not be removed, which stays.
int remove_tree(int dirfd, const char* name) {
  struct stat st {};
  if (again([&] { return ::fstatat(dirfd, name, &st, AT_SYMLINK_NOFOLLOW); }) != 0) return errno == ENOENT ? 0 : errno;
  if (S_ISDIR(st.st_mode)) {
    const Descriptor fd(
        again([&] { return ::openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
    if (fd.get() < 0) return errno;
    // Passes over the folder until one finds nothing: a folder read while
    // its names are removed may not show them all in one pass.
    int failed = 0;
    for (bool found = true; found && failed == 0;) {
      found = false;
      if (again([&] { return ::lseek(fd.get(), 0, SEEK_SET); }) != 0) return errno;
      const int err = each_name(fd.get(), [&](const char* inner) {
        found = true;
        failed = remove_tree(fd.get(), inner);
        return failed == 0;
      });
      if (failed == 0) failed = err;
    }
    if (failed != 0) return failed;
  }
  const int flags = S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0;
  const int err = remove_at(dirfd, name, flags);
  return err == ENOENT ? 0 : err;
}

// The lock that lets one build at a time into an output root: an
// exclusive flock on OUTPUT_ROOT/.kbbuild.lock. The system drops it when
// the process ends, however it ends, so a killed build never blocks the
// next; the file it leaves is taken over by the next run. The holder writes
// its process id into the file, for a refused run to name, and removes the
// file as its very last step, after all its tidying, so that no second run
// gets in while it tidies. A run that opened the file before that removal
// and locks it after holds a file no name reaches any more: it sees so and
// starts again; so does a run that finds OUTPUT_ROOT removed by a run
// ending meanwhile. The file and the folders made go through `start`, a
// descriptor of the folder the run started in, whatever folder the run is
// in then; a hold not given up by release() is, as a failed run's.
class RootLock {
 public:
  enum Taken { kHeld, kBusy, kFailed };

  RootLock(int start, const fs::path& root) : start_(start), root_(root), path_(root / ".kbbuild.lock") {}
  RootLock(const RootLock&) = delete;
  RootLock& operator=(const RootLock&) = delete;
  ~RootLock() {
    if (fd_ >= 0) release(true);
    remove_made();
  }

  // Makes OUTPUT_ROOT when it is not there and takes the lock. kBusy when
  // another run holds it (holder() then its process id, or 0 when it cannot
  // be told): the folders this run made go again while they are empty, but
  // not a lock file it made, which is the holder's now; a folder that holds
  // the holder's lock file is not empty, and stays, forced to the disk
  // (leave_to_holder). kFailed, saying why(), when the root or the lock
  // cannot be had.
  Taken take() {
    note_absent();
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      if (const int err = make_folder(root_); err != 0) return failed(err);
      // Made here, or opened as a killed run or the holder left it.
      fd_ = open_again(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
      const bool created = fd_ >= 0;
      if (fd_ < 0 && errno == ENOENT) continue;  // the root removed by a run ending meanwhile
      bool writable = true;
      if (fd_ < 0 && errno == EEXIST) {
        fd_ = open_again(path_.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        // Another user's lock file can still be locked, and its holder
        // told, through a descriptor open for reading.
        if (fd_ < 0 && errno == EACCES) {
          writable = false;
          fd_ = open_again(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        }
        if (fd_ < 0 && errno == ENOENT) continue;  // removed by a run ending meanwhile
      }
      if (fd_ < 0) return failed(errno);
      struct stat by_fd {};
      if (again([&] { return ::fstat(fd_, &by_fd); }) != 0) return failed(errno);
      if (!S_ISREG(by_fd.st_mode)) return failed(0, path_.string() + " is not a file");
      if (again([&] { return ::flock(fd_, LOCK_EX | LOCK_NB); }) != 0) {
        if (errno == EWOULDBLOCK) {
          holder_ = pid_in_file();
          ::close(fd_);
          fd_ = -1;
          leave_to_holder();
          return kBusy;
        }
        // Nobody can lock here, so nobody holds what this run made.
        const int err = errno;
        if (created) (void)remove_at(start_, path_.c_str(), 0);
        return failed(err, "its lock file " + path_.string() + " cannot be locked: " + reason_of(err));
      }
      struct stat by_name {};
      const bool named = status_of(path_.c_str(), by_name, false) == 0 && by_name.st_dev == by_fd.st_dev &&
                         by_name.st_ino == by_fd.st_ino;
      // Held and still named, but another user's: it was left by a killed
      // run, so it may go, for a lock file of this run's own.
      if (const int err = named && !writable ? remove_at(start_, path_.c_str(), 0) : 0; err != 0) {
        return failed(err, "its lock file " + path_.string() + ", another user's, cannot be taken over: " +
                               reason_of(err));
      }
      if (!named || !writable) {
        ::close(fd_);
        fd_ = -1;
        continue;
      }
      const std::string pid = std::to_string(::getpid()) + "\n";
      if (again([&] { return ::ftruncate(fd_, 0); }) != 0 ||
          again([&] { return ::write(fd_, pid.data(), pid.size()); }) != static_cast<ssize_t>(pid.size())) {
        const int err = errno;
        release(true);
        return failed(err);
      }
      return kHeld;
    }
    return failed(0, path_.string() + " or its folder was replaced or removed by other runs on every try");
  }

  // Ends the hold: the lock file goes, then, when `failed`, every folder
  // this run made for OUTPUT_ROOT that nothing else was put in meanwhile.
  // A lock file that cannot be removed is told: it stays, and the next
  // run takes it over. Allocates nothing.
  void release(bool failed) {
    if (fd_ < 0) return;
    if (const int err = remove_at(start_, path_.c_str(), 0); err != 0 && err != ENOENT) {
      std::fprintf(stderr, "tq_kbbuild: cannot remove the lock file %s (%s); it stays until the next build into %s\n",
                   path_.c_str(), std::strerror(err), root_.c_str());
    }
    if (failed) remove_made();
    made_.clear();
    ::close(fd_);
    fd_ = -1;
  }

  // Every folder of OUTPUT_ROOT's path, OUTPUT_ROOT first, each step as
  // make_folder takes it: a holder forces them all to the disk, those that
  // were there as it began too, since a run it refused may have made them
  // just before it began (and may be killed before it forces them itself).
  std::vector<fs::path> path_folders() const {
    std::vector<fs::path> folders;
    for (fs::path folder = folder_of(root_);; folder = folder_of(folder.parent_path())) {
      folders.push_back(folder);
      if (!folder.has_relative_path() || !folder.has_parent_path()) return folders;
    }
  }
  // Whether this run made OUTPUT_ROOT itself: there was no output before.
  bool made_root() const { return !made_.empty() && made_.back() == folder_of(root_); }
  // The folders of OUTPUT_ROOT's path that were not there as the run
  // began, OUTPUT_ROOT included: those it made, and those another run into
  // the root made meanwhile, which stay when that run is refused the lock,
  // since this one works in them. A crash after a build that succeeded
  // must lose none of them, whoever made them.
  std::vector<fs::path> new_folders() const {
    std::vector<fs::path> folders = absent_;
    for (const fs::path& folder : made_) {
      if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    return folders;
  }
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
    fs::path folder = folder_of(path);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      // Room to note it is made before the folder is: nothing allocates
      // between the mkdir and the note.
      made_.reserve(made_.size() + 1);
      const int made = make_dir_at(AT_FDCWD, folder.c_str(), 0777);
      if (made == 0) return noted(std::move(folder));
      if (made == ENOENT && folder.has_relative_path() && folder.has_parent_path()) {
        if (const int err = make_folder(folder.parent_path()); err != 0) return err;
        continue;
      }
      if (made != EEXIST) return made;
      struct stat st {};
      if (status_of(folder.c_str(), st, true) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
      if (errno != ENOENT) return errno;
      // Still named, as by a link that leads nowhere: no folder to be had.
      if (status_of(folder.c_str(), st, false) == 0) return ENOTDIR;
    }
    return ENOENT;
  }
  // Notes the folders of OUTPUT_ROOT's path missing as the run begins,
  // OUTPUT_ROOT first: a path that resolves has every shorter one resolve
  // too.
  void note_absent() {
    struct stat st {};
    for (fs::path& folder : path_folders()) {
      if (status_of(folder.c_str(), st, true) != ENOENT) return;
      absent_.push_back(std::move(folder));
    }
  }
  int noted(fs::path&& folder) {
    // A retry may make again what a run that ended meanwhile removed.
    if (std::find(made_.begin(), made_.end(), folder) == made_.end()) made_.push_back(std::move(folder));
    return 0;
  }

  // Refused the lock: removes the folders this run made, the deepest first,
  // while they are empty, and forces those that stay to the disk, each with
  // the folder that holds it. What stays holds the holder's work (its lock
  // file, in OUTPUT_ROOT); a holder that began after this run made them
  // found them there and does not know them for new, so that, unless this
  // run forces them, a crash after the holder's success may lose the whole
  // root. One that cannot be forced is told.
  void leave_to_holder() {
    std::vector<fs::path> stayed;
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
      if (const int err = remove_at(start_, it->c_str(), AT_REMOVEDIR); err != 0 && err != ENOENT) {
        for (const fs::path& folder : {*it, it->parent_path()}) {
          if (std::find(stayed.begin(), stayed.end(), folder) == stayed.end()) stayed.push_back(folder);
        }
      }
    }
    made_.clear();
    for (const fs::path& folder : stayed) {
      if (const int err = sync_folder(folder); err != 0) {
        std::fprintf(stderr,
                     "tq_kbbuild: the folder %s, made by this run for %s, where the other build works, could not be "
                     "forced to the disk (%s)\n",
                     folder.empty() ? "." : folder.c_str(), root_.c_str(), reason_of(err).c_str());
      }
    }
  }

  // Removes the folders this run made, the deepest first, each only while
  // it is empty: one that another run or program has put something in
  // meanwhile stays, and with it the folders above it.
  void remove_made() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
      (void)remove_at(start_, it->c_str(), AT_REMOVEDIR);
    }
    made_.clear();
  }

  // The process id the holder wrote, when that process is still there.
  long pid_in_file() const {
    char text[32] = "";
    const ssize_t got = again([&] { return ::pread(fd_, text, sizeof text - 1, 0); });
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

  int start_;
  fs::path root_;
  fs::path path_;
  int fd_ = -1;
  std::vector<fs::path> made_;    // the folders this run made, in the order made
  std::vector<fs::path> absent_;  // those of the path missing as it began, the deepest first
  long holder_ = 0;
  std::string why_;
};

// The "*.xml" documents of one folder, sorted; none when the folder is
// absent. False, saying why, when the folder cannot be read (a symbolic
// link that leads nowhere, as to a share not mounted, is a folder the user
// means, not an absent one; so is a loop of links), or when an entry of it
// cannot be looked at (likewise) or is no file: it is a source the user
// means, and a build without it would drop it unsaid. Every such entry is
// named.
bool documents_in(const fs::path& folder, std::vector<fs::path>& out) {
  std::vector<std::string> names;
  const int err = names_in(folder, names);
  struct stat named {};
  const bool dangling = err == ENOENT && status_of(folder.c_str(), named, false) == 0;
  if (err == ENOENT && !dangling) return true;
  if (err != 0) {
    std::fprintf(stderr, "tq_kbbuild: cannot read %s: %s%s\n", folder.c_str(),
                 dangling && S_ISLNK(named.st_mode) ? "it is a symbolic link to nothing there: " : "",
                 reason_of(err).c_str());
    return false;
  }
  bool ok = true;
  for (const std::string& name : names) {
    fs::path path = folder / name;
    if (path.extension() != ".xml") continue;
    struct stat st {};
    if (const int looked = status_of(path.c_str(), st, true); looked != 0) {
      const bool link = looked == ENOENT && status_of(path.c_str(), st, false) == 0 && S_ISLNK(st.st_mode);
      std::fprintf(stderr, "tq_kbbuild: cannot build %s: %s%s\n", path.c_str(),
                   link ? "it is a symbolic link to nothing there: " : "it cannot be looked at: ",
                   reason_of(looked).c_str());
      ok = false;
    } else if (!S_ISREG(st.st_mode)) {
      std::fprintf(stderr, "tq_kbbuild: cannot build %s: it is not a file\n", path.c_str());
      ok = false;
    } else {
      out.push_back(std::move(path));
    }
  }
  return ok;
}

// The built file's name for a source document of a folder:
// scheme/en_nickname.sch.xml -> en_nickname.sch.zel, vocab/x.xml -> x.zev.
std::string built_name(const std::string& folder, const fs::path& source) {
  return source.stem().string() + (folder == kVocabFolder ? ".zev" : ".zel");
}

// Makes a folder and its missing parents (the umask gives their bits): 0,
// or the error number.
int make_folders(const fs::path& folder) {
  fs::path at;
  for (const fs::path& part : folder) {
    at /= part;
    if (again([&] { return ::mkdir(at.c_str(), 0777); }) != 0 && errno != EEXIST) return errno;
  }
  return 0;
}

// A context for writing: edit mode, since converting vocabularies is an
// authoring step; paths cross the interface as UTF-8. None, saying so,
// when none can be opened.
Context writing_context() {
  tq_context* made = nullptr;
  int32_t rc = tq_init_edit_mode(&made, nullptr);
  Context ctx(made);
  if (rc == 0) rc = tq_session_encoding_set(ctx.get(), TQ_ENC_UTF8);
  if (rc >= 0) return ctx;
  std::fprintf(stderr, "tq_kbbuild: cannot open a context (%d)%s\n", rc, rc == TQ_ERR_NO_MEMORY ? ": out of memory" : "");
  return nullptr;
}

// Where a library call runs that names files from the staging folder (a
// load of the check, and a build from a copy when the copies cannot be
// named through the folder's descriptor): in the staging folder, entered
// for the call and left as the guard ends, an exception's way out
// included, since every other path of the run is named from the folder it
// started in.
// Should the way back fail, the paths the run was given no longer name
// what they named: *lost is set, and the run undoes what it made through
// the descriptor of that folder (Staging, RootLock) and fails.
class InStaging {
 public:
  InStaging(int staging, int start, bool* lost) : start_(start), lost_(lost) {
    entered_ = again([&] { return ::fchdir(staging); }) == 0;
    if (!entered_) {
      std::fprintf(stderr, "tq_kbbuild: cannot enter the staging folder: %s\n", std::strerror(errno));
    }
  }
  InStaging(const InStaging&) = delete;
  InStaging& operator=(const InStaging&) = delete;
  ~InStaging() {
    if (!entered_ || again([&] { return ::fchdir(start_); }) == 0) return;
    *lost_ = true;
    std::fprintf(stderr, "tq_kbbuild: cannot go back to the folder it started in: %s\n", std::strerror(errno));
  }
  bool entered() const { return entered_; }

 private:
  int start_;
  bool* lost_;
  bool entered_ = false;
};

// The staging folder OUTPUT_ROOT/.kbbuild, the builder's alone: made anew
// once the lock is ours (clearing what a killed build left), and removed on
// every way out, an exception included, unless it holds old files that a
// failed build could not put back (keep()). It is removed through `start`,
// the folder the run started in, wherever the run is then.
//
// Its "src" folder holds the copy of every source, the one reading of the
// source the build makes; every output, in step 1 and in step 3 alike, is
// built from that copy. The library must read the copies by a short name,
// whatever OUTPUT_ROOT's length, since a vocabulary's name may have at most
// 1,024 bytes: through the folder's descriptor where the system offers it
// ("/proc/self/fd/<n>/src/..."), else from within the folder (InStaging),
// every file the call names then named from there (named()): "src/...",
// "put/..." and "../<kind>/..." for OUTPUT_ROOT's files.
class Staging {
 public:
  Staging(int start, const fs::path& output_root)
      : start_(start), root_(output_root), path_(output_root / ".kbbuild") {}
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;
  ~Staging() {
    if (made_ && !kept_) tidy();
  }

  // Makes the folder, private: without access control lists (a default
  // list inherited from OUTPUT_ROOT would open what is made in it to
  // others) and 0700, whatever the umask. 0, or the error number.
  int make() {
    made_ = true;
    if (const int err = remove_tree(start_, path_.c_str()); err != 0) return err;
    if (const int err = make_dir_at(start_, path_.c_str(), 0700); err != 0) return err;
    fd_ = again([&] { return ::openat(start_, path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
    if (fd_ < 0) return errno;
    for (const char* list : {"system.posix_acl_default", "system.posix_acl_access"}) {
      if (again([&] { return ::fremovexattr(fd_, list); }) != 0 && errno != ENODATA && errno != ENOTSUP) return errno;
    }
    if (again([&] { return ::fchmod(fd_, 0700); }) != 0) return errno;
    const std::string through = "/proc/self/fd/" + std::to_string(fd_);
    struct stat by_fd {};
    struct stat by_name {};
    by_fd_ = again([&] { return ::fstat(fd_, &by_fd); }) == 0 && status_of(through.c_str(), by_name, true) == 0 &&
             same_file(by_fd, by_name);
    copies_ = by_fd_ ? through + "/src/" : "src/";
    return 0;
  }

  // Removes the folder: false, saying what stays, when it cannot.
  // Allocates nothing.
  bool tidy() {
    made_ = false;
    close();
    const int err = remove_tree(start_, path_.c_str());
    if (err == 0) return true;
    std::fprintf(stderr,
                 "tq_kbbuild: cannot remove the staging folder %s (%s); it stays, with what it holds, until the next "
                 "build into %s\n",
                 path_.c_str(), std::strerror(err), root_.c_str());
    return false;
  }
  void keep() {
    kept_ = true;
    close();
  }

  const fs::path& path() const { return path_; }
  int fd() const { return fd_; }
  // Where the copy of a source of a kind folder is made, and the name the
  // library reads it by.
  fs::path copy_of(const std::string& kind, const fs::path& source) const {
    return path_ / "src" / kind / source.filename();
  }
  std::string read_as(const std::string& kind, const fs::path& source) const {
    return copies_ + kind + "/" + source.filename().string();
  }
  // The name the library is given for a file of the staging folder or of
  // OUTPUT_ROOT, named from where the run started.
  std::string named(const fs::path& file) const {
    if (by_fd_) return file.string();
    // Both are named as OUTPUT_ROOT / ..., so the part after it tells.
    const std::string& text = file.native();
    const std::string inside = path_.native() + "/";
    if (text.rfind(inside, 0) == 0) return text.substr(inside.size());
    return "../" + text.substr((root_ / "").native().size());
  }
  // Runs a library call that names files as named() and read_as() give
  // them: what the call returned, false when it cannot run. Should the run
  // not go back to the folder it started in, *lost is set apart: the call
  // did its work all the same, and a file it made must be noted as made,
  // so that the undo removes it.
  template <typename Call>
  bool call(Call&& each, bool* lost) const {
    if (by_fd_) return each();
    const InStaging in(fd_, start_, lost);
    return in.entered() && each();
  }
  // A library message of a call that failed with `rc`, in the terms of the
  // run: the names named() gave named from where the run started (in
  // quotes, as every message names a file), and the copies of a kind
  // folder as the sources they were made from, since their bytes are the
  // sources'; but a copy that could not be opened or read is named as
  // itself: the source was read well.
  std::string as_source(std::string text, const std::string& kind, const fs::path& source, int32_t rc) const {
    if (!by_fd_) {
      // One pass, so that no name put in is read again as one to replace.
      const std::pair<std::string, std::string> names[] = {{"'../", "'" + (root_ / "").string()},
                                                           {"'" + copies_, "'" + (path_ / copies_).string()},
                                                           {"'put/", "'" + (path_ / "put" / "").string()},
                                                           {"'" + kind + "/", "'" + (path_ / kind / "").string()}};
      std::string whole;
      for (size_t at = 0; at < text.size();) {
        const auto name = std::find_if(std::begin(names), std::end(names),
                                       [&](const auto& pair) { return text.compare(at, pair.first.size(), pair.first) == 0; });
        if (name == std::end(names)) {
          whole += text[at++];
        } else {
          whole += name->second;
          at += name->first.size();
        }
      }
      text = std::move(whole);
    }
    const std::string copies = (by_fd_ ? copies_ : (path_ / copies_).string()) + kind + "/";
    // The copy that failed is marked first, so that the names of the copy
    // put in for it are not read as copies to replace.
    const bool unread = rc == TQ_ERR_FILE_OPEN || rc == TQ_ERR_FILE_OPERATION;
    if (unread) text = replaced(std::move(text), "'" + copies + source.filename().string() + "'", "\x01");
    text = replaced(std::move(text), copies, source.parent_path().string() + "/");
    if (!unread) return text;
    return replaced(std::move(text), "\x01",
                    "'" + copy_of(kind, source).string() + "' (the staging copy of " + source.string() + ")");
  }

 private:
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  int start_;
  fs::path root_;
  fs::path path_;
  int fd_ = -1;
  std::string copies_;
  bool by_fd_ = false;  // the copies named through the folder's descriptor
  bool made_ = false;
  bool kept_ = false;
};

// Copies a source document byte for byte, into a file this makes: 0, or
// the error number (-1: the source is not a file).
int copy_bytes(const fs::path& from, const fs::path& to) {
  const Descriptor in(open_again(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (in.get() < 0) return errno;
  struct stat st {};
  if (again([&] { return ::fstat(in.get(), &st); }) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return -1;
  // Made anew; an exclusive make interrupted after it took effect finds
  // its own file there, since nothing else makes files in the staging
  // folder: that file is written then.
  int out = -1;
  for (bool interrupted = false; out < 0; interrupted = true) {
    out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out >= 0 || errno == EINTR) continue;
    if (!interrupted || errno != EEXIST) return errno;
    out = open_again(to.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (out < 0) return errno;
  }
  static char block[1 << 16];
  int err = 0;
  for (ssize_t got = 1; err == 0 && got > 0;) {
    got = again([&] { return ::read(in.get(), block, sizeof block); });
    if (got < 0) err = errno;
    for (ssize_t done = 0; err == 0 && done < got;) {
      const ssize_t put = again([&] { return ::write(out, block + done, static_cast<size_t>(got - done)); });
      if (put < 0) err = errno;
      done += put;
    }
  }
  // A close interrupted has closed all the same.
  if (::close(out) != 0 && errno != EINTR && err == 0) err = errno;
  return err;
}

// Writes one document of a kind folder from the staging copy of its
// source, as the built file `stem` plus the kind's extension, with the
// library's writers. On a refusal `said(rc)` tells why while the context's
// error list still holds the reasons: freeing the document, a call like
// any other, clears the list. True when the file was saved, whether or
// not the run went back to its folder then (*lost: as Staging::call).
template <typename Said>
bool write_built(tq_context* ctx, const Staging& staging, const std::string& folder, const fs::path& source,
                 const fs::path& stem, bool* lost, Said&& said) {
  const std::string from = staging.read_as(folder, source);
  const std::string to = staging.named(stem);
  return staging.call(
      [&] {
        tq_xmldoc* doc = nullptr;
        int32_t rc = 0;
        if (folder == kVocabFolder) {
          // Direction 0: the XML form to the compiled file.
          rc = tq_vocab_file_convert(ctx, 0, from.c_str(), to.c_str());
        } else {
          // 8: the path as given, no extension added; 1: a vault file, to
          // which the writer adds its extension.
          rc = tq_xml_read(ctx, from.c_str(), 8, &doc);
          if (rc >= 0) rc = tq_xml_write(ctx, 0, to.c_str(), 1, doc);
        }
        if (rc < 0) said(rc);
        if (doc != nullptr) tq_xml_free(ctx, doc);
        return rc >= 0;
      },
      lost);
}

// Step 1's writing: copies every source into the staging folder, then
// writes every document from its copy into the same kind folder there.
// False, saying why, on the first failure.
bool build_all(const Staging& staging, const std::vector<std::string>& folders,
               const std::vector<std::vector<fs::path>>& sources, bool* lost) {
  try {
    const Context ctx = writing_context();
    if (!ctx) return false;
    for (size_t i = 0; i < folders.size(); ++i) {
      if (sources[i].empty()) continue;
      for (const fs::path& folder : {staging.path() / "src" / folders[i], staging.path() / folders[i]}) {
        if (const int err = make_folders(folder); err != 0) {
          std::fprintf(stderr, "tq_kbbuild: cannot make %s: %s\n", folder.c_str(), reason_of(err).c_str());
          return false;
        }
      }
      for (const fs::path& source : sources[i]) {
        if (const int err = copy_bytes(source, staging.copy_of(folders[i], source)); err != 0) {
          std::fprintf(stderr, "tq_kbbuild: cannot read %s into the staging folder: %s\n", source.c_str(),
                       err < 0 ? "it is not a file" : reason_of(err).c_str());
          return false;
        }
        const bool built = write_built(ctx.get(), staging, folders[i], source,
                                       staging.path() / folders[i] / source.stem(), lost, [&](int32_t rc) {
                                         std::fprintf(stderr, "tq_kbbuild: cannot build %s (%d):\n", source.c_str(), rc);
                                         print_errors(ctx.get(), [&](const std::string& text) {
                                           return staging.as_source(text, folders[i], source, rc);
                                         });
                                       });
        if (!built || *lost) return false;
      }
    }
    return true;
  } catch (const std::bad_alloc&) {
    std::fputs("tq_kbbuild: out of memory while building the documents\n", stderr);
    return false;
  }
}

// Removes a lock file "<file>.lck" that no program holds, as a save takes
// over and removes one a killed program left: one the library could not
// remove as it gave the lock up, or made and then could not lock. It is
// removed while locked and still named, so that an editor that opened it
// meanwhile sees it gone once it has the lock, and makes a new one. One
// another program holds is that program's, and stays. Told when it cannot
// be removed. Allocates nothing.
void clear_lock_file(int start, const char* path, const char* output_root) {
  const int fd = again([&] { return ::openat(start, path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
  if (fd < 0) return;
  struct stat by_fd {};
  struct stat by_name {};
  int err = 0;
  if (again([&] { return ::fstat(fd, &by_fd); }) == 0 && S_ISREG(by_fd.st_mode) &&
      again([&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0 &&
      again([&] { return ::fstatat(start, path, &by_name, AT_SYMLINK_NOFOLLOW); }) == 0 && same_file(by_name, by_fd) &&
      (err = remove_at(start, path, 0)) != 0 && err != ENOENT) {
    std::fprintf(stderr, "tq_kbbuild: cannot remove the lock file %s (%s); it stays until the next build into %s\n",
                 path, std::strerror(err), output_root);
  }
  ::close(fd);
}

// Removes the temporary files that this process's saves of `file` left
// beside it ("<file>.~tq<process id>.<count>"): a writer that fails should
// leave none, and none may stay in the output. Another process's are never
// touched. Allocates nothing.
void remove_own_temporaries(int start, const char* file) {
  const char* slash = std::strrchr(file, '/');
  char folder[PATH_MAX] = ".";
  if (slash != nullptr) {
    const size_t length = slash == file ? 1 : static_cast<size_t>(slash - file);
    if (length >= sizeof folder) return;
    std::memcpy(folder, file, length);
    folder[length] = '\0';
  }
  char prefix[NAME_MAX + 32];
  const int length =
      std::snprintf(prefix, sizeof prefix, "%s.~tq%ld.", slash != nullptr ? slash + 1 : file, static_cast<long>(::getpid()));
  if (length <= 0 || static_cast<size_t>(length) >= sizeof prefix) return;
  const Descriptor fd(again([&] { return ::openat(start, folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (fd.get() < 0) return;
  (void)each_name(fd.get(), [&](const char* name) {
    if (std::strncmp(name, prefix, static_cast<size_t>(length)) == 0) {
      (void)remove_at(fd.get(), name, 0);
    }
    return true;
  });
}

// One built file as the put-in-place pass sees it.
struct Output {
  std::string folder;
  fs::path source;
  fs::path name;     // OUTPUT_ROOT/<folder>/<built name>: where the engine looks
  fs::path file;     // what a save of `name` replaces: the end of its chain of links
  fs::path twin;     // the replacement, made in the staging folder
  fs::path kept;     // the file replaced, kept in the staging folder to be put back
  bool existed = false;
};

// The put-in-place pass: steps 2 and 3 of the opening comment, with what
// it has done so far, so that a failure can undo it.
class Placing {
 public:
  Placing(tq_context* ctx, const Staging& staging, const fs::path& output_root, int start)
      : ctx_(ctx),
        staging_(staging),
        start_(start),
        twin_root_((staging.path() / "put" / "").string()),
        output_root_((output_root / "").string()),
        root_(output_root) {}
  Placing(const Placing&) = delete;
  Placing& operator=(const Placing&) = delete;
  // Gives the lock files up, then removes those no program holds that the
  // library left: allocates nothing.
  ~Placing() {
    for (tq_lock_handle* lock : locks_) tq_lock_free(ctx_, lock);
    for (const std::string& path : lock_files_) clear_lock_file(start_, path.c_str(), root_.c_str());
  }

  bool lost() const { return lost_; }

  // Step 2 for one output: false, saying why, when it may not be replaced.
  bool prepare(Output& out) {
    if (!link_end(out)) return false;
    struct stat st {};
    if (const int err = status_of(out.file.c_str(), st, false); err != 0) {
      if (err != ENOENT) return refuse(out, "it cannot be looked at: " + reason_of(err));
      // Made in the pass, as a save makes a new file: the nearest folder
      // that is there must take it.
      fs::path folder = out.file.parent_path();
      while (!folder.empty() && status_of(folder.c_str(), st, true) != 0) folder = folder.parent_path();
      if (folder.empty()) folder = ".";
      if (again([&] { return ::access(folder.c_str(), W_OK | X_OK); }) != 0) {
        return refuse(out, "the folder " + folder.string() + " cannot be written: " + reason_of(errno));
      }
      return true;
    }
    if (!S_ISREG(st.st_mode)) return refuse(out, "it is not a file");
    out.existed = true;
    if (again([&] { return ::access(out.file.parent_path().c_str(), W_OK | X_OK); }) != 0) {
      return refuse(out, "its folder cannot be written: " + reason_of(errno));
    }
    // Held as an editor holds it, until the pass ends. Its lock file is
    // noted before the library is asked for it, so that one the library
    // made and could not lock goes too. It lies beside the file the links
    // end at, where the library takes it, whatever name reaches the file.
    lock_files_.push_back(out.file.string() + ".lck");
    tq_lock_handle* lock = nullptr;
    int32_t rc = tq_lock_init(ctx_, &lock);
    if (rc >= 0) locks_.push_back(lock);
    if (rc >= 0) rc = tq_lock_create(ctx_, out.name.c_str(), out.folder == kVocabFolder ? kKindVocab : kKindVault, lock,
                                     nullptr);
    if (rc < 0) return said(out, rc);
    for (const fs::path& folder : {out.kept.parent_path(), out.twin.parent_path()}) {
      if (const int err = make_folders(folder); err != 0) {
        return refuse(out, "the staging folder cannot be written: " + reason_of(err));
      }
    }
    for (const fs::path& copy : {out.kept, out.twin}) {
      if (const int err = link_to(out.file.c_str(), copy.c_str()); err != 0) {
        return refuse(out, "it cannot be kept to be put back should the build fail: " + reason_of(err));
      }
    }
    // The replacement lies in the staging folder, which goes as a whole.
    const bool built = write_built(ctx_, staging_, out.folder, out.source, out.twin.parent_path() / out.source.stem(),
                                   &lost_, [&](int32_t code) { said(out, code); });
    return built && !lost_;
  }

  // Step 3 for one output: false, saying why, when it fails. Each change
  // is noted before it is made (what may allocate comes first), and what
  // it was once it is made, so that undo() finds every one, however the
  // pass ends.
  bool place(const Output& out) {
    if (out.existed) {
      done_.push_back({Done::kNothing, out.file, out.kept});
      if (const int err = rename_at(AT_FDCWD, out.twin.c_str(), AT_FDCWD, out.file.c_str()); err != 0) {
        done_.pop_back();
        return refuse(out, reason_of(err));
      }
      done_.back().what = Done::kReplaced;
      return true;
    }
    std::vector<fs::path> missing;
    struct stat st {};
    for (fs::path folder = out.name.parent_path(); !folder.empty() && status_of(folder.c_str(), st, true) != 0;
         folder = folder.parent_path()) {
      missing.push_back(folder);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      done_.push_back({Done::kNothing, *it, {}});
      if (const int err = make_dir_at(AT_FDCWD, it->c_str(), 0777); err != 0) {
        done_.pop_back();
        return refuse(out, "cannot make " + it->string() + ": " + reason_of(err));
      }
      done_.back().what = Done::kFolder;
    }
    done_.push_back({Done::kWriting, out.file, {}});
    const bool built = write_built(ctx_, staging_, out.folder, out.source, out.name.parent_path() / out.source.stem(),
                                   &lost_, [&](int32_t code) { said(out, code); });
    // Saved, though the way back may then have failed: the new file is
    // there, and the undo must remove it.
    if (built) done_.back().what = Done::kMade;
    return built && !lost_;
  }

  // Forces the renames to the disk, and every folder the run made with the
  // folder that holds it (`made`: those of OUTPUT_ROOT's path that were
  // missing as the run began, whichever run made them; the kind folders the
  // pass made), so that a crash after exit 0 loses no name on the way from
  // a folder that was there to the files: the replacements themselves were
  // forced when they were saved. False, saying so, when a folder cannot be:
  // the files are in place, but a crash may still undo a rename, a file or
  // a folder made. The other folders of OUTPUT_ROOT's path (`path`), and
  // the one holding them, are forced too where they can be: a run refused
  // the lock may have made them just before this one began, and this one
  // cannot tell them from folders long there, which it may not be allowed
  // to open; that run forces them itself unless it is killed first.
  bool flush(const std::vector<fs::path>& made, const std::vector<fs::path>& path) const {
    std::vector<fs::path> folders;
    const auto add = [&](const fs::path& folder) {
      if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    };
    for (const Done& step : done_) {
      add(step.path.parent_path());
      if (step.what == Done::kFolder) add(step.path);
    }
    for (const fs::path& folder : made) {
      add(folder);
      add(folder.parent_path());
    }
    bool ok = true;
    for (const fs::path& folder : folders) {
      if (const int err = sync_folder(folder); err != 0) {
        std::fprintf(stderr,
                     "tq_kbbuild: the files are in place, but the folder %s could not be forced to the disk (%s): what "
                     "this build put there may not survive a crash\n",
                     folder.empty() ? "." : folder.c_str(), reason_of(err).c_str());
        ok = false;
      }
    }
    for (const fs::path& folder : path) {
      for (const fs::path& each : {folder, folder.parent_path()}) {
        if (std::find(folders.begin(), folders.end(), each) != folders.end()) continue;
        folders.push_back(each);
        (void)sync_folder(each);
      }
    }
    return ok;
  }

  // Puts back every file replaced and removes what the pass made, the last
  // step first, so that no locale is left naming a file that is gone.
  // False, saying what, when something could not be put back: its old
  // file then stays in the staging folder, which is kept. Allocates
  // nothing, so that it works when memory has run out.
  bool undo() {
    bool whole = true;
    for (auto it = done_.rbegin(); it != done_.rend(); ++it) {
      const char* path = it->path.c_str();
      int err = 0;
      if (it->what == Done::kReplaced && (err = rename_at(start_, it->kept.c_str(), start_, path)) != 0) {
        std::fprintf(stderr, "tq_kbbuild: cannot put %s back (%s); the old file is kept as %s\n", path,
                     std::strerror(err), it->kept.c_str());
        whole = false;
      } else if (it->what == Done::kMade && (err = remove_at(start_, path, 0)) != 0) {
        std::fprintf(stderr, "tq_kbbuild: cannot remove %s, which this build made: %s\n", path, std::strerror(err));
        whole = false;
      } else if (it->what == Done::kWriting) {
        remove_own_temporaries(start_, path);
      } else if (it->what == Done::kFolder) {
        (void)remove_at(start_, path, AT_REMOVEDIR);  // left when something else was put in it meanwhile
      }
    }
    done_.clear();
    return whole;
  }

 private:
  struct Done {
    // kNothing: not made (yet); kWriting: a new file being written, not
    // made, whose writer may have left a temporary file.
    enum What { kNothing, kWriting, kReplaced, kMade, kFolder } what;
    fs::path path;
    fs::path kept;
  };

  // The file a save of the output's name replaces: the name, or the end of
  // its chain of links.
  bool link_end(Output& out) {
    out.file = out.name;
    struct stat st {};
    for (int hop = 0; status_of(out.file.c_str(), st, false) == 0 && S_ISLNK(st.st_mode); ++hop) {
      // The system gives up on longer chains too.
      if (hop == 40) return refuse(out, "its links make a loop");
      std::vector<char> target(static_cast<size_t>(std::max<off_t>(st.st_size, PATH_MAX)) + 1);
      const ssize_t got = again([&] { return ::readlink(out.file.c_str(), target.data(), target.size()); });
      if (got < 0 || static_cast<size_t>(got) >= target.size()) {
        return refuse(out, "its link cannot be read: " + reason_of(got < 0 ? errno : ENAMETOOLONG));
      }
      const fs::path to(std::string(target.data(), static_cast<size_t>(got)));
      out.file = to.is_absolute() ? to : out.file.parent_path() / to;
    }
    return true;
  }

  bool refuse(const Output& out, const std::string& why) const {
    std::fprintf(stderr, "tq_kbbuild: cannot put %s in place (built from %s): %s\n", out.name.c_str(),
                 out.source.c_str(), why.c_str());
    return false;
  }

  // The library's refusal, its messages naming the output where they name
  // the replacement made for it in the staging folder, and the source
  // where they name its copy.
  bool said(const Output& out, int32_t rc) const {
    std::fprintf(stderr, "tq_kbbuild: cannot put %s in place (built from %s) (%d):\n", out.name.c_str(),
                 out.source.c_str(), rc);
    print_errors(ctx_, [&](const std::string& text) {
      return replaced(staging_.as_source(text, out.folder, out.source, rc), twin_root_, output_root_);
    });
    return false;
  }

  tq_context* ctx_;
  const Staging& staging_;
  int start_;
  bool lost_ = false;  // the run could not go back to the folder it started in
  std::string twin_root_;
  std::string output_root_;
  fs::path root_;
  std::vector<tq_lock_handle*> locks_;
  std::vector<std::string> lock_files_;
  std::vector<Done> done_;
};

// Puts every built file in place (steps 2 and 3), the kinds in kPutOrder.
// False, saying why, when a file may not be replaced or a step fails; then
// OUTPUT_ROOT is as it was, unless something could not be put back
// (*keep_staging then true: the staging folder holds the old files). A run
// that could not go back to the folder it started in fails so too: the
// undo, and all that follows it, names files through that folder's
// descriptor.
bool put_in_place(const Staging& staging, const fs::path& output_root, const std::vector<std::string>& folders,
                  const std::vector<std::vector<fs::path>>& sources, const std::vector<fs::path>& made_for_root,
                  const std::vector<fs::path>& root_path, mode_t user_mask, int start, bool* keep_staging,
                  bool* durable) {
  std::vector<Output> outputs;
  for (const char* kind : kPutOrder) {
    const auto at = std::find(folders.begin(), folders.end(), kind);
    for (const fs::path& source : sources[static_cast<size_t>(at - folders.begin())]) {
      const std::string built = built_name(kind, source);
      outputs.push_back({kind, source, output_root / kind / built, {},
                         staging.path() / "put" / kind / built, staging.path() / "old" / kind / built});
    }
  }
  const Context ctx = writing_context();
  if (!ctx) return false;
  Placing placing(ctx.get(), staging, output_root, start);
  bool ok = true;
  try {
    // Every output is asked, so that every refusal is told at once; not
    // once the run is lost, since the names it holds no longer lead there.
    for (size_t i = 0; !placing.lost() && i < outputs.size(); ++i) ok = placing.prepare(outputs[i]) && ok;
    // What the pass makes, it makes as a save would: with the user's umask.
    ::umask(user_mask);
    for (size_t i = 0; ok && i < outputs.size(); ++i) ok = placing.place(outputs[i]);
    if (ok) *durable = placing.flush(made_for_root, root_path);
  } catch (const std::bad_alloc&) {
    std::fputs("tq_kbbuild: out of memory while putting the files in place\n", stderr);
    ok = false;
  }
  if (!ok) *keep_staging = !placing.undo();
  return ok;
}

// Every part a locale can hold.
constexpr uint32_t kEveryPart = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_IDENT_DEFNS | TQ_LOAD_STDZN_DEFNS |
                                TQ_LOAD_GENDER_DEFNS | TQ_LOAD_MATCH_DEFNS | TQ_LOAD_CASE_DEFNS | TQ_LOAD_GUESS_DEFNS |
                                TQ_LOAD_PATTERN_DEFNS | TQ_LOAD_EXTRACT_DEFNS | TQ_LOAD_LANGUAGE_DEFNS;

// The search path of the check: the kind folders of the staging folder
// alone, so that a locale finds only what this build made. They are named
// from the staging folder, where the check's loads run (InStaging): named
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

// The library's messages whose words the check reads, each as the message
// catalogue of the library (src/platform/tqmsg_catalog.inc) gives it, by
// number. The facts they carry (which file a load missed or could not
// open, which grammar did not load or lacks NUM, which kind of file a
// definition names) come in no code or structure: a record holds a result
// code (-400, -300, -706, shared by many messages) and its text, and the
// library sets no message locale (tq.h offers none: its messages are its
// catalogue's, in English). A definition names its grammars and files,
// but not which of them failed: an identification definition's patterns
// name several grammars, and one lacking NUM leaves it not valid. So the
// tools' test holds each row below against the catalogue, and triggers
// messages of each fact through the library and checks the fact read from
// them: a reworded message fails the tests instead of losing its hint. A
// record of a file that could not be opened that none of them reads is
// told as such (print_check_errors).
struct MessageForm {
  int number;
  std::string_view format;
  // The words before its first "%s", and those after it up to the next
  // (or to the end).
  std::string_view head() const { return format.substr(0, format.find("%s")); }
  std::string_view tail() const {
    const std::string_view rest = format.substr(head().size() + 2);
    return rest.substr(0, rest.find("%s"));
  }
  std::string_view after_second() const {
    const std::string_view rest = format.substr(head().size() + 2 + tail().size());
    return rest.substr(std::min<size_t>(2, rest.size()));
  }
};
// One row a line, as the catalogue has it (the test reads them so).
constexpr MessageForm kFileNotFound = {1869, "The file '%s' was not found along the search path '%s'."};
constexpr MessageForm kFileNotOpened = {1860, "The file '%s' could not be opened: %s."};
constexpr MessageForm kPathNotFound = {2021, "The path '%s' was not found: a name holding a folder is used as it is, never looked for along the search path."};
constexpr MessageForm kGrammarNotLoaded = {157, "Grammar '%s' could not be loaded."};
constexpr MessageForm kGrammarLacksNumber = {2270, "The grammar '%s' has no category '%s', which analysis gives every number in a value: no parse can use the grammar."};
// The messages of a definition that names a file of a kind it cannot
// have: the name, and the kind folder of its source.
constexpr MessageForm kTokenScheme = {89, "The scheme '%s' of token '%s' of the %s definition '%s' cannot be opened."};
constexpr MessageForm kNamedScheme = {148, "The scheme '%s' named by the %s definition '%s' cannot be opened."};
constexpr MessageForm kMatchScheme = {132, "The preprocessing scheme '%s' of the match definition '%s' cannot be opened."};
constexpr MessageForm kNamedVocab = {192, "The vocabulary '%s' named by the %s definition '%s' cannot be loaded."};
constexpr MessageForm kTokenVocab = {133, "The vocabulary '%s' of token '%s' of the %s definition '%s' cannot be loaded."};
constexpr MessageForm kGuessVocab = {106, "The known-word vocabulary '%s' of the locale guess definition '%s' cannot be opened."};
constexpr MessageForm kChopperVocab = {1549, "The vocabulary '%s' of a rule of chopper '%s' cannot be had."};
constexpr MessageForm kNamedRegexlib = {187, "The regex library '%s' named by the %s definition '%s' cannot be opened."};
constexpr MessageForm kTokenRegexlib = {88, "The regex library '%s' of token '%s' of the %s definition '%s' cannot be opened."};
constexpr MessageForm kNormRegexlib = {189, "The normalization regex library '%s' named by the %s definition '%s' cannot be opened."};
constexpr MessageForm kTransformRegexlib = {1542, "The transformation regex library '%s' of token '%s' of the %s definition '%s' cannot be opened."};
constexpr MessageForm kGuessRegexlib = {108, "The regex library '%s' of the locale guess definition '%s' cannot be opened."};
constexpr MessageForm kNamedChopper = {188, "The chopper '%s' named by the %s definition '%s' cannot be opened."};
constexpr MessageForm kNamedGrammar = {190, "The grammar '%s' named by the %s definition '%s' cannot be opened."};
constexpr MessageForm kTokenPhonetx = {134, "The phonetics rule set '%s' of token '%s' of the %s definition '%s' cannot be loaded."};
constexpr MessageForm kParentLocale = {1583, "The locale file '%s' could not be loaded."};
struct KindForm {
  const MessageForm& form;
  const char* folder;
};
constexpr KindForm kKindForms[] = {
    {kTokenScheme, "scheme"},     {kNamedScheme, "scheme"},         {kMatchScheme, "scheme"},
    {kNamedVocab, "vocab"},       {kTokenVocab, "vocab"},           {kGuessVocab, "vocab"},
    {kChopperVocab, "vocab"},     {kNamedRegexlib, "regexlib"},     {kTokenRegexlib, "regexlib"},
    {kNormRegexlib, "regexlib"},  {kTransformRegexlib, "regexlib"}, {kGuessRegexlib, "regexlib"},
    {kNamedChopper, "chopinfo"},  {kNamedGrammar, "grammar"},       {kTokenPhonetx, "phonetx"},
    {kParentLocale, "locale"}};

// A name a definition gives a file, and the kind folder its messages say
// the file belongs to, with the first such message, as shown.
struct KindOf {
  std::string name;
  std::string folder;
  std::string said;
  bool operator==(const KindOf& other) const { return name == other.name && folder == other.folder; }
};

// A source a file the load missed would come from, relative to the source
// root, and the message that gave its kind ("" when its name told it).
struct SourceOf {
  std::string path;
  std::string said;
};

// What the check's messages say, in the terms of the sources: the staging
// folders are the tool's own and mean nothing to the user.
struct CheckView {
  std::string search_path;
  fs::path source_root;
  fs::path output_root;
  // Every source of this build, "<kind folder>/<name>", sorted.
  std::vector<std::string> held;

  bool holds(const std::string& source) const { return std::binary_search(held.begin(), held.end(), source); }

  // "The file 'x' was not found along the search path 'casetab;...'." ->
  // "... was not found among the files this build makes."
  std::string text_of(const std::string& text) const {
    return replaced(text, std::string(kFileNotFound.tail()) + search_path + std::string(kFileNotFound.after_second()),
                    std::string(kFileNotFound.tail().substr(0, kFileNotFound.tail().find(" along"))) +
                        " among the files this build makes.");
  }
  // The sources a file the load missed would come from, relative to the
  // source root. The load names a resource as its definitions do
  // ("en_nickname"), so its kind is the one the messages of the
  // definitions that name it give (`kinds`), each kind they give (one
  // name may be a vocabulary and a grammar); else the one its extension
  // tells. Never the old output's: the check sees only this build's files,
  // and names the sources alike in a first build and a rebuild.
  std::vector<SourceOf> sources_of(const std::string& missed, const std::vector<KindOf>& kinds) const {
    const fs::path name(missed);
    const bool built = name.extension() == ".zel" || name.extension() == ".zev";
    const std::string base = built ? name.stem().string() : missed;
    const std::string inner = fs::path(base).extension().string();
    std::vector<SourceOf> sources;
    for (const KindOf& kind : kinds) {
      if (kind.name != base) continue;
      const bool scheme = kind.folder == "scheme" && inner != ".sch";
      sources.push_back({kind.folder + "/" + base + (scheme ? ".sch" : "") + ".xml", kind.said});
    }
    if (!sources.empty()) return sources;
    if (name.extension() == ".zev") return {{std::string(kVocabFolder) + "/" + base + ".xml", {}}};
    if (inner == ".sch") return {{"scheme/" + base + ".xml", {}}};
    if (inner == ".loc") return {{"locale/" + base + ".xml", {}}};
    return {{"<kind folder>/" + base + ".xml", {}}};
  }
};

// How the library takes a name a definition gives a resource: looked for
// along the search path, unless it holds a '/' or a '\'; it is a path then,
// absolute when it starts with one of them or with a drive ("C:").
enum class NameIs { kName, kRelative, kAbsolute };
NameIs name_is(const std::string& name) {
  const auto separator = [](char c) { return c == '/' || c == '\\'; };
  if (!name.empty() && separator(name[0])) return NameIs::kAbsolute;
  const char drive = name.empty() ? '\0' : name[0];
  if (name.size() > 1 && name[1] == ':' && ((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z'))) {
    return NameIs::kAbsolute;
  }
  return std::any_of(name.begin(), name.end(), separator) ? NameIs::kRelative : NameIs::kName;
}

void print_check_errors(tq_context* ctx, const CheckView& view, const std::string& what) {
  std::vector<std::string> missing;
  std::vector<std::string> grammars;
  std::vector<KindOf> kinds;
  std::vector<std::string> lacking;
  std::vector<std::string> unopened;  // there, but not opened (as for an I/O error)
  bool unplaced = false;  // a file not opened (-400), in words no form reads
  // The name a message of `form` gives in place of its first "%s": true
  // when the message is of that form.
  const auto name_in = [](const std::string& said, const MessageForm& form, std::string& name) {
    const size_t end = said.find(form.tail(), form.head().size());
    if (said.rfind(form.head(), 0) != 0 || end == std::string::npos) return false;
    name = said.substr(form.head().size(), end - form.head().size());
    return true;
  };
  const auto note = [&](const std::string& said, const MessageForm& form, std::vector<std::string>& names) {
    std::string name;
    if (!name_in(said, form, name)) return false;
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
    return true;
  };
  // "The file 'en_nickname.sch.zel' was not found along ...", or "The
  // path 'scheme/../kw.sch' was not found: ...": a name holding a folder,
  // which is never searched. "Grammar 'en_person' could not be loaded.":
  // it read well as a document, so the load's messages above say what it
  // lacks. "The grammar 'en_person' has no category 'NUM' ...": it loads,
  // but no parse can use it. "The scheme 'en_nickname' ... cannot be
  // opened.": the kind.
  for_each_error(ctx, [&](int32_t code, const std::string& said) {
    std::fprintf(stderr, "  %d: %s\n", code, view.text_of(said).c_str());
    bool read = note(said, kFileNotFound, missing) || note(said, kPathNotFound, missing) ||
                note(said, kFileNotOpened, unopened) || note(said, kGrammarNotLoaded, grammars) ||
                note(said, kGrammarLacksNumber, lacking);
    for (const KindForm& kind : kKindForms) {
      KindOf of{{}, kind.folder, {}};
      if (read || !name_in(said, kind.form, of.name)) continue;
      read = true;
      of.said = view.text_of(said);
      if (std::find(kinds.begin(), kinds.end(), of) == kinds.end()) kinds.push_back(std::move(of));
    }
    unplaced = unplaced || (!read && code == TQ_ERR_FILE_OPEN);
  });
  // Files could not be opened, but no message that names a file missed or
  // not opened was read: said, rather than no hint at all. (Beside a file
  // named, such a record is most often what a definition says of it.)
  if (unplaced && missing.empty() && unopened.empty()) {
    std::fprintf(stderr,
                 "tq_kbbuild: a file that %s names could not be opened (-400); the messages above say which, in "
                 "words tq_kbbuild does not read, so it cannot name the source that would make it\n",
                 what.c_str());
  }
  // A path is never looked for along the search path: the check takes a
  // relative one from the staging folder, where it loads, and an absolute
  // one as it is, which is all there is to say of it.
  const std::string staging = (view.output_root / ".kbbuild").string();
  // A file there that could not be opened is named as the load named it,
  // beside any missed.
  for (const std::string& file : unopened) {
    const std::string where = name_is(file) == NameIs::kAbsolute ? "" : " (in the staging folder " + staging + ")";
    std::fprintf(stderr,
                 "tq_kbbuild: %s names '%s'%s, which is there but could not be opened (the message above says why)\n",
                 what.c_str(), file.c_str(), where.c_str());
  }
  for (const std::string& built : missing) {
    const NameIs is = name_is(built);
    if (is == NameIs::kAbsolute) {
      std::fprintf(stderr, "tq_kbbuild: %s names '%s', which was not found\n", what.c_str(), built.c_str());
    } else if (is == NameIs::kRelative) {
      std::fprintf(stderr,
                   "tq_kbbuild: %s names '%s', a path relative to the staging folder %s, where the check loads "
                   "from; it was not found there\n",
                   what.c_str(), built.c_str(), staging.c_str());
    } else {
      for (const SourceOf& source : view.sources_of(built, kinds)) {
        if (!view.holds(source.path)) {
          std::fprintf(stderr, "tq_kbbuild: %s holds no %s, which %s names (as '%s')\n", view.source_root.c_str(),
                       source.path.c_str(), what.c_str(), built.c_str());
          continue;
        }
        // There, and built: the file missed is one of another kind of the
        // same name (a vocabulary and a grammar share names), and what was
        // built from this one failed otherwise. A grammar's failure is told
        // below; any other's is its kind's message.
        const std::string grammar = source.path.substr(0, source.path.find('/')) == "grammar"
                                        ? fs::path(source.path).stem().string()
                                        : std::string();
        if (!grammar.empty() && (std::find(grammars.begin(), grammars.end(), grammar) != grammars.end() ||
                                 std::find(lacking.begin(), lacking.end(), grammar) != lacking.end())) {
          continue;
        }
        std::fprintf(stderr, "tq_kbbuild: the file built from %s, which %s names (as '%s'), is there but %s\n",
                     (view.source_root / source.path).c_str(), what.c_str(), built.c_str(),
                     source.said.empty() ? "could not be had: the messages above say why"
                                         : ("could not be had: " + source.said).c_str());
      }
    }
  }
  using Told = std::pair<const std::vector<std::string>*, const char*>;
  for (const auto& [names, fault] :
       {Told{&grammars, "does not load"}, Told{&lacking, "lacks the category NUM, which every parse needs"}}) {
    for (const std::string& grammar : *names) {
      const NameIs is = name_is(grammar);
      if (is == NameIs::kAbsolute) {
        std::fprintf(stderr, "tq_kbbuild: the grammar '%s' that %s names %s\n", grammar.c_str(), what.c_str(), fault);
      } else if (is == NameIs::kRelative) {
        std::fprintf(stderr,
                     "tq_kbbuild: the grammar '%s' that %s names, a path relative to the staging folder %s, %s\n",
                     grammar.c_str(), what.c_str(), staging.c_str(), fault);
      } else {
        std::fprintf(stderr, "tq_kbbuild: the grammar built from %s, which %s names, %s\n",
                     (view.source_root / "grammar" / (grammar + ".xml")).c_str(), what.c_str(), fault);
      }
    }
  }
}

// Loads the locale of one built locale document ("enusa.loc.xml") with
// every part in a context of its own, so that its messages are its own and
// its ancestors'. False, printing the load's errors and warnings, when the
// load reports anything, or when the run could not go back to the folder
// it started in (*lost). *ancestors is how many locales the load took as
// the chain of its parents: since the load sees only what this build made,
// each of them is a locale this build writes.
bool locale_loads_clean(const fs::path& source, const CheckView& view, const Staging& staging, int start, bool* lost,
                        size_t* ancestors) {
  tq_context* made = nullptr;
  const int32_t init = tq_init(&made, nullptr);
  const Context ctx(made);
  if (init != 0) {
    std::fprintf(stderr, "tq_kbbuild: cannot open a context (%d)%s\n", init,
                 init == TQ_ERR_NO_MEMORY ? ": out of memory" : "");
    return false;
  }
  const std::string search_path = view.search_path;
  // "enusa.loc.xml" -> "enusa.loc" -> "ENUSA".
  const std::string stem = source.stem().string();
  char iso[TQ_LOCALE_ISO_MAX + 1] = "";
  int32_t rc = 0;
  uint32_t count = 0;
  *ancestors = 0;
  {
    const InStaging in(staging.fd(), start, lost);
    if (!in.entered()) return false;
    int32_t locale = -1;
    rc = tq_session_encoding_set(ctx.get(), TQ_ENC_UTF8);
    // Every definition prepared as it is read, as a program's first call
    // would: a grammar that lacks a category a parse needs is then a
    // definition the load holds not valid, named in its messages.
    (void)tq_options_set(ctx.get(), tq_options_get(ctx.get()) | TQ_OPT_PREPARE_ON_READ);
    if (rc >= 0) rc = tq_path_set(ctx.get(), search_path.c_str());
    if (rc >= 0) rc = tq_locale_get_iso_name_from_filename(ctx.get(), stem.c_str(), iso);
    if (rc >= 0) rc = iso[0] == '\0' ? TQ_ERR_NAME : tq_locale_code_get_by_iso_name(ctx.get(), iso, &locale);
    if (rc >= 0) rc = tq_zel_locale_load(ctx.get(), locale, kEveryPart);
    tq_error_count_get(ctx.get(), &count);
    // A chain longer than the locale table would be a loop the load refused.
    for (int32_t at = locale, parent = -1; rc == 0 && count == 0 && *ancestors < 1024 &&
                                           tq_parent_locale_get(ctx.get(), at, &parent) == 0 && parent >= 0;
         at = parent) {
      ++*ancestors;
    }
  }
  if (*lost) return false;
  if (rc == 0 && count == 0) return true;
  std::fprintf(stderr, "tq_kbbuild: the locale %s built from %s does not load cleanly (%d)%s\n",
               iso[0] != '\0' ? iso : "?", source.c_str(), rc, count > 0 ? ":" : "");
  const std::string what = std::string("the locale ") + (iso[0] != '\0' ? iso : "?") + " built from " + source.string();
  print_check_errors(ctx.get(), view, what);
  return false;
}

// Step 1's check: every locale built, as a program loads it. False when
// one does not load cleanly, or when the run could not go back to the
// folder it started in (*lost). The locales are then in the order they go
// in place: each after every locale of its parent chain, each of which has
// fewer ancestors than it, so that a build killed between two locales
// leaves none whose parent is missing, in a first build too.
bool check_locales(const Staging& staging, int start, const CheckView& view, std::vector<fs::path>& locales,
                   bool* lost) {
  try {
    bool ok = true;
    std::vector<std::pair<size_t, fs::path>> by_depth;
    for (const fs::path& source : locales) {
      size_t ancestors = 0;
      ok = locale_loads_clean(source, view, staging, start, lost, &ancestors) && ok;
      if (*lost) return false;
      by_depth.emplace_back(ancestors, source);
    }
    std::stable_sort(by_depth.begin(), by_depth.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < locales.size(); ++i) locales[i] = std::move(by_depth[i].second);
    return ok;
  } catch (const std::bad_alloc&) {
    std::fputs("tq_kbbuild: out of memory while checking the locales built\n", stderr);
    return false;
  }
}

// Says which built files of the output root's kind folders no source of
// this build makes; they are left where they are.
void list_orphans(const std::vector<std::string>& folders, const std::vector<std::vector<fs::path>>& sources,
                  const fs::path& output_root) {
  for (size_t i = 0; i < folders.size(); ++i) {
    std::vector<std::string> built;
    for (const fs::path& source : sources[i]) built.push_back(built_name(folders[i], source));
    const std::string extension = folders[i] == kVocabFolder ? ".zev" : ".zel";
    std::vector<std::string> names;
    (void)names_in(output_root / folders[i], names);
    for (const std::string& name : names) {
      const fs::path orphan = output_root / folders[i] / name;
      struct stat st {};
      if (orphan.extension() == extension && std::find(built.begin(), built.end(), name) == built.end() &&
          status_of(orphan.c_str(), st, true) == 0 && S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "tq_kbbuild: no source builds %s any more; it is left in place\n", orphan.c_str());
      }
    }
  }
}

// Where the first byte of `text` stands (from 1) that begins no
// well-formed UTF-8 character, or 0 when every one does: no overlong form,
// no surrogate, nothing past U+10FFFF.
size_t not_utf8_at(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (length == 0 || at + length > text.size()) return at + 1;
    // The second byte's range narrows after E0, ED, F0 and F4.
    const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (size_t i = 1; i < length; ++i) {
      const auto next = static_cast<unsigned char>(text[at + i]);
      if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return at + 1;
    }
    at += length;
  }
  return 0;
}

// Why a path or a name (`what` says which) cannot reach the library,
// which takes paths as UTF-8 text, the session encoding the build sets:
// "" when it can.
std::string not_utf8(std::string_view text, const char* what) {
  const size_t at = not_utf8_at(text);
  if (at == 0) return {};
  char byte[8];
  std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(text[at - 1])));
  return std::string(what) + " not UTF-8 text (byte " + std::to_string(at) + ", " + byte +
         "), and the library takes every path as UTF-8";
}

// Why a path or a name (`what` says which) would name another file to the
// library than to the system: the library takes a backslash as a separator
// between folders, as '/' ("x\y" is "x/y" to it), and the system as a
// byte of a name. "" when it holds none.
std::string backslash_in(std::string_view text, const char* what) {
  const size_t at = text.find('\\');
  if (at == std::string_view::npos) return {};
  return std::string(what) + " a backslash (byte " + std::to_string(at + 1) +
         ", 0x5C), which the library takes as a separator between folders, as '/'";
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
  if (std::string why = not_utf8(output_root.native(), "its bytes are"); !why.empty()) return why;
  if (std::string why = backslash_in(output_root.native(), "it holds"); !why.empty()) return why;
  for (const fs::path& part : output_root) {
    if (part.native().size() > NAME_MAX) {
      return "its part '" + part.native() + "' has " + std::to_string(part.native().size()) +
             " bytes, and a name may have at most " + std::to_string(NAME_MAX) + " (NAME_MAX)";
    }
  }
  constexpr size_t kPathMost = PATH_MAX - 1;  // PATH_MAX counts the terminator
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

// The first source whose name is too long for the names the build makes
// from it, with why, told before anything is made; "" when none is. The
// longest is the temporary name the library saves its built file as first,
// "<built file>.~tq<process id>.<count>" (the built file's name has as many
// bytes as the source's); its lock file "<built file>.lck" and its copy in
// the staging folder are shorter.
std::string name_unusable(const std::vector<std::string>& folders, const std::vector<std::vector<fs::path>>& sources) {
  constexpr size_t kNameMost = NAME_MAX - kTemporaryName;
  for (size_t i = 0; i < folders.size(); ++i) {
    for (const fs::path& source : sources[i]) {
      for (const std::string& why : {not_utf8(source.filename().native(), "its name is"),
                              backslash_in(source.filename().native(), "its name holds")}) {
        if (!why.empty()) return source.string() + ": " + why;
      }
      const size_t name = built_name(folders[i], source).size();
      if (name <= kNameMost) continue;
      return source.string() + ": its name has " + std::to_string(source.filename().native().size()) +
             " bytes, and a source's name may have at most " + std::to_string(kNameMost) + ": the build saves " +
             built_name(folders[i], source) + " as a temporary file first, its name up to " +
             std::to_string(kTemporaryName) + " bytes longer (.~tq<process id>.<count>), and a name may have at most " +
             std::to_string(NAME_MAX) + " (NAME_MAX)";
    }
  }
  return {};
}

// Says that OUTPUT_ROOT cannot be written, and why, before anything was
// written into it: the exit status 1.
int cannot_write(const fs::path& output_root, const std::string& why) {
  std::fprintf(stderr, "tq_kbbuild: cannot write into %s: %s\ntq_kbbuild: nothing written into %s\n",
               output_root.c_str(), why.c_str(), output_root.c_str());
  return 1;
}

// The command line, read without allocating: the operands point into argv.
// Every argument before "--" that begins with '-' (but "-" alone, a folder's
// name) is an option, wherever it stands; "--" ends the options, so that a
// root whose name begins with '-' can be given after it. `status` is -1 when
// a build is to run, else the exit status, the usage printed.
struct CommandLine {
  int status = -1;
  const char* source_root = nullptr;
  const char* output_root = nullptr;
};

CommandLine read_command_line(int argc, char** argv) {
  CommandLine line;
  const char* operands[2] = {nullptr, nullptr};
  int count = 0;
  bool help = false;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (options && std::strcmp(arg, "--") == 0) {
      options = false;
    } else if (options && arg[0] == '-' && arg[1] != '\0') {
      if (std::strcmp(arg, "-h") != 0 && std::strcmp(arg, "--help") != 0) {
        std::fprintf(stderr, "tq_kbbuild: unknown option '%s' (a root whose name begins with '-' goes after --)\n",
                     arg);
        std::fputs(kUsage, stderr);
        line.status = 2;
        return line;
      }
      help = true;
    } else {
      if (count < 2) operands[count] = arg;
      ++count;
    }
  }
  if (help) {
    std::fputs(kUsage, stdout);
    line.status = 0;
  } else if (count != 2) {
    std::fputs(kUsage, stderr);
    line.status = 2;
  } else {
    line.source_root = operands[0];
    line.output_root = operands[1];
  }
  return line;
}

int run(const CommandLine& line) {
  const fs::path source_root = line.source_root;
  const fs::path output_root = line.output_root;
  struct stat st {};
  if (const int err = status_of(source_root.c_str(), st, true); err != 0 || !S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "tq_kbbuild: %s is not a folder%s%s\n", source_root.c_str(), err != 0 ? ": " : "",
                 err != 0 ? std::strerror(err) : "");
    return 1;
  }
  std::vector<std::string> folders(std::begin(kVaultFolders), std::end(kVaultFolders));
  folders.push_back(kVocabFolder);
  std::vector<std::vector<fs::path>> sources(folders.size());
  size_t count = 0;
  bool listed = true;
  for (size_t i = 0; i < folders.size(); ++i) {
    listed = documents_in(source_root / folders[i], sources[i]) && listed;
    count += sources[i].size();
  }
  if (!listed) {
    std::fprintf(stderr, "tq_kbbuild: nothing written into %s\n", output_root.c_str());
    return 1;
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
  if (const std::string why = name_unusable(folders, sources); !why.empty()) {
    std::fprintf(stderr, "tq_kbbuild: cannot build %s\ntq_kbbuild: nothing written into %s\n", why.c_str(),
                 output_root.c_str());
    return 1;
  }
  // Whatever folder the run is in later, what it made is removed through
  // this one.
  const Descriptor start(open_again(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (start.get() < 0) return cannot_write(output_root, "the folder it runs in cannot be opened: " + reason_of(errno));
  // Nothing in OUTPUT_ROOT is touched before the lock is ours, and a run
  // refused it changes nothing: the staging folder, the lock file and the
  // outputs are the holder's.
  RootLock lock(start.get(), output_root);
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
  Staging staging(start.get(), output_root);
  if (const int err = staging.make(); err != 0) {
    staging.tidy();
    lock.release(true);
    return cannot_write(output_root, reason_of(err));
  }
  bool lost = false;
  bool ok = build_all(staging, folders, sources, &lost);
  if (ok) {
    CheckView view{check_path(), source_root, output_root, {}};
    for (size_t i = 0; i < folders.size(); ++i) {
      for (const fs::path& source : sources[i]) view.held.push_back(folders[i] + "/" + source.filename().string());
    }
    std::sort(view.held.begin(), view.held.end());
    auto& locales = sources[static_cast<size_t>(std::find(folders.begin(), folders.end(), "locale") - folders.begin())];
    ok = check_locales(staging, start.get(), view, locales, &lost);
  }
  if (lost) {
    // Nothing is in place yet; what the run made goes through `start`.
    std::fprintf(stderr, "tq_kbbuild: nothing written into %s\n", output_root.c_str());
    staging.tidy();
    lock.release(true);
    return 1;
  }
  if (!lock.made_root()) list_orphans(folders, sources, output_root);
  bool keep_staging = false;
  bool durable = true;
  if (ok) {
    ok = put_in_place(staging, output_root, folders, sources, lock.new_folders(), lock.path_folders(), user_mask,
                      start.get(), &keep_staging, &durable);
  }
  if (keep_staging) {
    staging.keep();
    std::fprintf(stderr,
                 "tq_kbbuild: %s is not as it was: the files named above could not be put back; their old copies "
                 "stay in %s until the next build into %s clears it\n",
                 output_root.c_str(), staging.path().c_str(), output_root.c_str());
    lock.release(false);
    return 1;
  }
  if (!ok) std::fprintf(stderr, "tq_kbbuild: nothing written into %s\n", output_root.c_str());
  // A staging folder that stays is told; a build in place stands.
  staging.tidy();
  // The lock goes last, so that no other run starts while this one tidies.
  lock.release(!ok);
  if (!ok) return 1;
  // In place, but not known to be on the disk (said above): a failure the
  // user must hear of, though nothing is put back.
  if (!durable) return 1;
  std::printf("tq_kbbuild: %zu files written into %s\n", count, output_root.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine line = read_command_line(argc, argv);
  if (line.status >= 0) return line.status;
  // The guards of run() have undone what it made by the time an exception
  // comes here: a failed build leaves what any failed build leaves.
  try {
    return run(line);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "tq_kbbuild: out of memory; nothing written into %s\n", line.output_root);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "tq_kbbuild: %s; nothing written into %s\n", failure.what(), line.output_root);
  }
  return 1;
}

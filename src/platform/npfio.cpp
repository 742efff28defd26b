#include "platform/npfio.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "platform/npmem.h"

namespace {

constexpr uint32_t kReadBufferSize = 8192;
// A locked file whose name keeps being replaced under us is given up on
// after this many attempts rather than looping for ever.
constexpr int kOpenAttempts = 64;
constexpr uint32_t kMaxCount = static_cast<uint32_t>(INT32_MAX);

// The system's error number of this thread's last failure, for messages.
thread_local int t_last_error = 0;

std::atomic<np_fio_fault_fn> g_fault{nullptr};

template <typename R>
bool sys_failed(R r) {
  if constexpr (std::is_pointer_v<R>) {
    return r == nullptr;
  } else {
    return r == -1;
  }
}

// The error a test's hook gives the call about to be made, 0 for none.
int injected(const char* call) {
  const np_fio_fault_fn hook = g_fault.load(std::memory_order_relaxed);
  return hook != nullptr ? hook(call) : 0;
}

// The calls whose answer is a descriptor: one made by a call whose answer
// a test turns into a failure is closed, as the system hands none over.
bool gives_descriptor(const char* name) { return std::strcmp(name, "open") == 0 || std::strcmp(name, "openat") == 0; }

// Makes one system call, again for as long as it answers EINTR: a signal
// caught by a handler installed without SA_RESTART interrupts it, and on a
// network or FUSE file system so it may be even when it would not block
// here. Every call of this layer that can be interrupted goes through here.
// *interrupted (when given) tells whether an attempt was interrupted: on
// such file systems the work may have been done all the same, so a call
// that is not idempotent (a rename, an exclusive create, an unlink) must
// read its last attempt's failure in that light.
template <typename Call>
auto sys(const char* name, Call&& call, bool* interrupted = nullptr) -> decltype(call()) {
  using R = decltype(call());
  if (interrupted != nullptr) *interrupted = false;
  for (;;) {
    R r;
    const int err = injected(name);
    if (err != 0 && ((err & kNpFioFaultAfter) == 0 || std::is_pointer_v<R>)) {
      errno = err & ~kNpFioFaultAfter;
      if constexpr (std::is_pointer_v<R>) {
        r = nullptr;
      } else {
        r = -1;
      }
    } else {
      r = call();
      if constexpr (!std::is_pointer_v<R>) {
        if (err != 0) {
          if (r >= 0 && gives_descriptor(name)) ::close(static_cast<int>(r));
          errno = err & ~kNpFioFaultAfter;
          r = -1;
        }
      }
    }
    if (!sys_failed(r) || errno != EINTR) return r;
    if (interrupted != nullptr) *interrupted = true;
  }
}

// Closes a descriptor once: the descriptor is gone even when close answers
// EINTR, and closing it again could close one another thread has just
// been given. 0, or -1 with errno.
int close_fd(int fd) {
  const int err = injected("close");
  int r = ::close(fd);
  if (err != 0) {
    errno = err;
    r = -1;
  }
  return r == 0 || errno == EINTR ? 0 : -1;
}

// A file that is there but is not a regular file (a device, a pipe, a
// socket) has no error number of its own: this one, outside the system's,
// names it in np_fio_error_text.
constexpr int kNotRegularError = 0x7fff0001;

int32_t status_of(int err) {
  t_last_error = err;
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return kNpFioNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kNpFioDenied;
    case EISDIR:
      return kNpFioIsDirectory;
    case EMFILE:
    case ENFILE:
      return kNpFioTooManyOpen;
    case ENAMETOOLONG:
      return kNpFioNameTooLong;
    case EINVAL:
      return kNpFioBadArgument;
    case ENOMEM:
      return kNpFioNoMemory;
    default:
      return kNpFioFailed;
  }
}

// Knowledge bases authored elsewhere name their files with '\'; the system
// takes '/'. False when the path does not fit.
bool to_native(const char* path, char (&out)[PATH_MAX]) {
  size_t n = std::strlen(path);
  if (n >= sizeof out) return false;
  for (size_t i = 0; i < n; ++i) out[i] = path[i] == '\\' ? '/' : path[i];
  out[n] = '\0';
  return true;
}

ssize_t read_some(int fd, void* buffer, size_t size) {
  const ssize_t r = sys("read", [&] { return ::read(fd, buffer, size); });
  if (r < 0) t_last_error = errno;
  return r;
}

// A file named relative to a folder held open (dir), or by a path (dir
// AT_FDCWD): the call made, under the name the fault hook knows it by.
int open_rel(int dir, const char* name, int flags, mode_t mode, bool* interrupted = nullptr) {
  if (dir == AT_FDCWD) return sys("open", [&] { return ::open(name, flags, mode); }, interrupted);
  return sys("openat", [&] { return ::openat(dir, name, flags, mode); }, interrupted);
}
// The name itself, a link not followed (lstat).
int lstat_rel(int dir, const char* name, struct stat* st) {
  if (dir == AT_FDCWD) return sys("lstat", [&] { return ::lstat(name, st); });
  return sys("fstatat", [&] { return ::fstatat(dir, name, st, AT_SYMLINK_NOFOLLOW); });
}
int unlink_rel(int dir, const char* name, bool* interrupted = nullptr) {
  if (dir == AT_FDCWD) return sys("unlink", [&] { return ::unlink(name); }, interrupted);
  return sys("unlinkat", [&] { return ::unlinkat(dir, name, 0); }, interrupted);
}

np_fio_version version_of(const struct stat& st) {
  return np_fio_version{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                        static_cast<int64_t>(st.st_size), static_cast<int64_t>(st.st_mtim.tv_sec),
                        static_cast<int64_t>(st.st_mtim.tv_nsec)};
}

// A name in a held folder is one component: no separator, not "." or "..",
// so that a step can never leave the folder.
bool plain_name(const char* name) {
  if (name == nullptr || *name == '\0' || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
  return std::strchr(name, '/') == nullptr && std::strlen(name) <= NAME_MAX;
}

}  // namespace

// The file and a read-ahead buffer for line reads. Bytes read ahead but not
// yet handed out are given back to the file (by seeking) before any write,
// truncation or close-time position matters.
struct np_fio_file {
  int fd;
  np_fio_id id;
  np_fio_version opened;  // as the open found it
  // The error of a read that failed (0 for none): every read after it
  // fails alike, for where the file stands after it is not known.
  int read_err;
  uint32_t pos;
  uint32_t len;
  char buf[kReadBufferSize];
};

namespace {

bool sync_position(np_fio_file* f) {
  if (f->pos < f->len) {
    off_t back = static_cast<off_t>(f->len - f->pos);
    if (::lseek(f->fd, -back, SEEK_CUR) < 0) return false;
  }
  f->pos = 0;
  f->len = 0;
  return true;
}

}  // namespace

namespace {

// Opens `native`, a path (dir AT_FDCWD) or the name of a file in the held
// folder dir, where a link is not followed: the name must be the file.
int32_t open_in(int dir, const char* native, uint32_t mode, np_fio_handle* out) {
  const bool at = dir != AT_FDCWD;
  bool reads = (mode & kNpFioRead) != 0;
  bool writes = (mode & (kNpFioWrite | kNpFioCreate)) != 0;
  bool regular_only = (mode & kNpFioRegularOnly) != 0;
  if (!reads && !writes) return kNpFioBadArgument;
  int oflags = O_CLOEXEC | (reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY);
  // Never O_TRUNC: the file may be locked by someone else, and truncating
  // before the lock is ours would destroy their contents.
  if (mode & kNpFioCreate) oflags |= O_CREAT;
  // Opening a pipe would wait for a writer; a regular file ignores the flag.
  if (regular_only) oflags |= O_NONBLOCK;
  if (at) oflags |= O_NOFOLLOW;

  auto* f = static_cast<np_fio_file*>(np_calloc(1, sizeof(np_fio_file)));
  if (f == nullptr) return kNpFioNoMemory;

  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    int fd = open_rel(dir, native, oflags, 0666);
    if (fd < 0) {
      // A link where the held folder's file was: not the file held.
      int32_t st = at && errno == ELOOP ? kNpFioNotRegular : status_of(errno);
      if (st == kNpFioNotRegular) t_last_error = kNotRegularError;
      std::free(f);
      return st;
    }
    // A folder is one, anything else no file for a reader of regular files
    // only: each named so (np_fio_last_error).
    struct stat by_fd {};
    int32_t refused = kNpFioOk;
    if (sys("fstat", [&] { return ::fstat(fd, &by_fd); }) != 0) {
      refused = status_of(errno);
    } else if (S_ISDIR(by_fd.st_mode)) {
      t_last_error = EISDIR;
      refused = kNpFioIsDirectory;
    } else if (regular_only && !S_ISREG(by_fd.st_mode)) {
      t_last_error = kNotRegularError;
      refused = kNpFioNotRegular;
    }
    if (refused != kNpFioOk) {
      (void)close_fd(fd);
      std::free(f);
      return refused;
    }
    if ((mode & kNpFioNoLock) == 0) {
      int how = (mode & kNpFioShared) ? LOCK_SH : LOCK_EX;
      if (sys("flock", [&] { return ::flock(fd, how | LOCK_NB); }) != 0) {
        int err = errno;
        (void)close_fd(fd);
        std::free(f);
        t_last_error = err;
        return err == EWOULDBLOCK ? kNpFioLocked : status_of(err);
      }
      // The holder we waited behind may have removed or replaced the file
      // between our open and our lock; then our lock guards nothing that
      // the name reaches, so start again. A reader needs no such check:
      // files are replaced whole (renamed over), so the file it holds is
      // still one complete version, merely an older one.
      struct stat by_path {};
      if (writes) {
        const int looked = at ? lstat_rel(dir, native, &by_path) : sys("stat", [&] { return ::stat(native, &by_path); });
        if (looked != 0 && errno != ENOENT) {
          int32_t st = status_of(errno);
          (void)close_fd(fd);
          std::free(f);
          return st;
        }
        if (by_path.st_dev != by_fd.st_dev || by_path.st_ino != by_fd.st_ino) {
          (void)close_fd(fd);
          continue;
        }
      }
    }
    if ((mode & kNpFioCreate) && sys("ftruncate", [&] { return ::ftruncate(fd, 0); }) != 0) {
      int32_t st = status_of(errno);
      (void)close_fd(fd);
      std::free(f);
      return st;
    }
    f->fd = fd;
    f->id.device = static_cast<uint64_t>(by_fd.st_dev);
    f->id.inode = static_cast<uint64_t>(by_fd.st_ino);
    f->opened = version_of(by_fd);
    *out = f;
    return kNpFioOk;
  }
  std::free(f);
  return kNpFioFailed;
}

}  // namespace

int32_t np_fio_open(const char* path, uint32_t mode, np_fio_handle* out) {
  if (out == nullptr || path == nullptr) return kNpFioBadArgument;
  *out = nullptr;
  if (*path == '\0') return kNpFioNotFound;
  char native[PATH_MAX];
  if (!to_native(path, native)) return kNpFioNameTooLong;
  return open_in(AT_FDCWD, native, mode, out);
}

int32_t np_fio_open_at(int dir, const char* name, uint32_t mode, np_fio_handle* out) {
  if (out == nullptr || dir < 0 || !plain_name(name)) return kNpFioBadArgument;
  *out = nullptr;
  return open_in(dir, name, mode, out);
}

int32_t np_fio_folder_open(const char* path, int* dir, np_fio_id* id) {
  if (path == nullptr || dir == nullptr || id == nullptr) return kNpFioBadArgument;
  *dir = -1;
  if (*path == '\0') return status_of(ENOENT);
  char native[PATH_MAX];
  if (!to_native(path, native)) return status_of(ENAMETOOLONG);
  // Readable when it may be, so that its temporary files can be swept and
  // it can be forced to the disk through this descriptor; a folder that
  // may only be searched is held all the same, for its files.
  int fd = sys("open", [&] { return ::open(native, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0 && errno == EACCES) fd = sys("open", [&] { return ::open(native, O_PATH | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) return status_of(errno);
  struct stat st {};
  if (sys("fstat", [&] { return ::fstat(fd, &st); }) != 0) {
    const int32_t status = status_of(errno);
    (void)close_fd(fd);
    return status;
  }
  id->device = static_cast<uint64_t>(st.st_dev);
  id->inode = static_cast<uint64_t>(st.st_ino);
  *dir = fd;
  return kNpFioOk;
}

void np_fio_folder_close(int dir) {
  if (dir >= 0) (void)close_fd(dir);
}

int32_t np_fio_close(np_fio_handle handle) {
  if (handle == nullptr) return kNpFioOk;
  int r = close_fd(handle->fd);
  if (r != 0) t_last_error = errno;
  std::free(handle);
  return r == 0 ? kNpFioOk : kNpFioFailed;
}

namespace {

// Reads into the read-ahead buffer when it is used up: false, the handle
// failed for good, when a read fails or has failed.
bool refill(np_fio_file* f, bool* at_end) {
  *at_end = false;
  if (f->read_err == 0 && f->pos < f->len) return true;
  if (f->read_err == 0) {
    const ssize_t r = read_some(f->fd, f->buf, sizeof f->buf);
    if (r > 0) {
      f->pos = 0;
      f->len = static_cast<uint32_t>(r);
      return true;
    }
    if (r == 0) {
      *at_end = true;
      return true;
    }
    f->read_err = errno;
  }
  t_last_error = f->read_err;
  return false;
}

}  // namespace

int32_t np_fio_gets(np_fio_handle handle, char* buffer, uint32_t size) {
  if (handle == nullptr || buffer == nullptr || size == 0) return -kNpFioBadArgument;
  if (size > kMaxCount) size = kMaxCount;
  uint32_t n = 0;
  while (n < size - 1) {
    bool at_end = false;
    if (!refill(handle, &at_end)) {
      // What came before the failure is not a line: none is handed out.
      buffer[0] = '\0';
      return -kNpFioFailed;
    }
    if (at_end) break;
    uint32_t take = handle->len - handle->pos;
    if (take > size - 1 - n) take = size - 1 - n;
    const char* from = handle->buf + handle->pos;
    const void* nl = std::memchr(from, '\n', take);
    if (nl != nullptr) take = static_cast<uint32_t>(static_cast<const char*>(nl) - from) + 1;
    std::memcpy(buffer + n, from, take);
    n += take;
    handle->pos += take;
    if (nl != nullptr) break;
  }
  buffer[n] = '\0';
  return static_cast<int32_t>(n);
}

int32_t np_fio_getb(np_fio_handle handle, void* buffer, uint32_t size) {
  if (handle == nullptr || (buffer == nullptr && size != 0)) return -kNpFioBadArgument;
  if (size > kMaxCount) size = kMaxCount;
  if (handle->read_err != 0) {
    t_last_error = handle->read_err;
    return -kNpFioFailed;
  }
  auto* out = static_cast<char*>(buffer);
  uint32_t n = 0;
  if (handle->pos < handle->len) {
    uint32_t take = handle->len - handle->pos;
    if (take > size) take = size;
    std::memcpy(out, handle->buf + handle->pos, take);
    handle->pos += take;
    n = take;
  }
  while (n < size) {
    ssize_t r = read_some(handle->fd, out + n, size - n);
    if (r < 0) {
      // A short count would read as the end of the file.
      handle->read_err = errno;
      return -kNpFioFailed;
    }
    if (r == 0) break;
    n += static_cast<uint32_t>(r);
  }
  return static_cast<int32_t>(n);
}

int32_t np_fio_putb(np_fio_handle handle, const void* bytes, uint32_t size) {
  if (handle == nullptr || (bytes == nullptr && size != 0)) return -kNpFioBadArgument;
  if (size > kMaxCount) return -kNpFioBadArgument;
  if (!sync_position(handle)) return -kNpFioWriteFailed;
  const auto* from = static_cast<const char*>(bytes);
  uint32_t n = 0;
  while (n < size) {
    ssize_t w = sys("write", [&] { return ::write(handle->fd, from + n, size - n); });
    if (w < 0) {
      t_last_error = errno;
      return -kNpFioWriteFailed;
    }
    n += static_cast<uint32_t>(w);
  }
  return static_cast<int32_t>(n);
}

int32_t np_fio_puts(np_fio_handle handle, const char* text) {
  if (text == nullptr) return -kNpFioBadArgument;
  size_t n = std::strlen(text);
  if (n > kMaxCount) return -kNpFioBadArgument;
  return np_fio_putb(handle, text, static_cast<uint32_t>(n));
}

int32_t np_fio_trunc(np_fio_handle handle) {
  if (handle == nullptr) return kNpFioBadArgument;
  if (!sync_position(handle)) return status_of(errno);
  off_t at = ::lseek(handle->fd, 0, SEEK_CUR);
  if (at < 0 || sys("ftruncate", [&] { return ::ftruncate(handle->fd, at); }) != 0) return status_of(errno);
  return kNpFioOk;
}

// What a looked-at entry is to a caller that wants a plain file.
static int32_t regular_status(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) {
    t_last_error = EISDIR;
    return kNpFioIsDirectory;
  }
  if (!S_ISREG(st.st_mode)) {
    t_last_error = kNotRegularError;
    return kNpFioNotRegular;
  }
  return kNpFioOk;
}

int32_t np_fio_stat(const char* path, uint32_t flags) {
  (void)flags;
  if (path == nullptr) return kNpFioBadArgument;
  if (*path == '\0') return kNpFioNotFound;
  char native[PATH_MAX];
  if (!to_native(path, native)) return kNpFioNameTooLong;
  struct stat st {};
  if (sys("stat", [&] { return ::stat(native, &st); }) != 0) return status_of(errno);
  return regular_status(st);
}

int32_t np_fio_unlink(const char* path) {
  if (path == nullptr) return kNpFioBadArgument;
  if (*path == '\0') return kNpFioNotFound;
  char native[PATH_MAX];
  if (!to_native(path, native)) return kNpFioNameTooLong;
  bool interrupted = false;
  if (sys("unlink", [&] { return ::unlink(native); }, &interrupted) == 0) return kNpFioOk;
  // Nothing there after an interrupted attempt: that attempt removed it.
  return interrupted && errno == ENOENT ? kNpFioOk : status_of(errno);
}

int32_t np_fio_stat_at(int dir, const char* name) {
  if (dir < 0 || !plain_name(name)) return kNpFioBadArgument;
  struct stat st {};
  if (lstat_rel(dir, name, &st) != 0) return status_of(errno);
  // A link is not the file: the held file is the folder's own entry.
  return regular_status(st);
}

int32_t np_fio_unlink_at(int dir, const char* name) {
  if (dir < 0 || !plain_name(name)) return kNpFioBadArgument;
  bool interrupted = false;
  if (unlink_rel(dir, name, &interrupted) == 0) return kNpFioOk;
  return interrupted && errno == ENOENT ? kNpFioOk : status_of(errno);
}

int32_t np_fio_remove_held(int dir, const char* name, np_fio_handle held, bool* removed_other) {
  if (removed_other != nullptr) *removed_other = false;
  if (dir < 0 || !plain_name(name) || held == nullptr) return kNpFioBadArgument;
  auto gone = [] {
    t_last_error = ENOENT;
    return kNpFioNotFound;
  };
  // No link left: someone else removed the name while we held the file.
  struct stat before {};
  if (sys("fstat", [&] { return ::fstat(held->fd, &before); }) != 0) return status_of(errno);
  if (before.st_nlink == 0) return gone();
  struct stat by_name {};
  if (lstat_rel(dir, name, &by_name) != 0) return errno == ENOENT ? gone() : status_of(errno);
  if (static_cast<uint64_t>(by_name.st_dev) != held->id.device || static_cast<uint64_t>(by_name.st_ino) != held->id.inode) {
    return gone();
  }
  bool interrupted = false;
  if (unlink_rel(dir, name, &interrupted) != 0 && !(interrupted && errno == ENOENT)) return status_of(errno);
  // The held file kept its links: what the removal took was another file,
  // put at the name since the look. Not known when it cannot be looked at.
  struct stat after {};
  if (sys("fstat", [&] { return ::fstat(held->fd, &after); }) == 0 && after.st_nlink >= before.st_nlink) {
    if (removed_other != nullptr) *removed_other = true;
    return gone();
  }
  return kNpFioOk;
}

int32_t np_fio_ptype(const char* path) {
  if (path == nullptr || *path == '\0') return kNpFioPathEmpty;
  if (path[0] == '/' || path[0] == '\\') return kNpFioPathAbsolute;
  char c = path[0];
  if (((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && path[1] == ':') return kNpFioPathAbsolute;
  for (const char* p = path; *p; ++p) {
    if (*p == '/' || *p == '\\') return kNpFioPathRelative;
  }
  return kNpFioPathName;
}

int32_t np_fio_identity(np_fio_handle handle, np_fio_id* out) {
  if (handle == nullptr || out == nullptr) return kNpFioBadArgument;
  *out = handle->id;
  return kNpFioOk;
}

int32_t np_fio_version_opened(np_fio_handle handle, np_fio_version* out) {
  if (handle == nullptr || out == nullptr) return kNpFioBadArgument;
  *out = handle->opened;
  return kNpFioOk;
}

int32_t np_fio_version_now(np_fio_handle handle, np_fio_version* out) {
  if (handle == nullptr || out == nullptr) return kNpFioBadArgument;
  struct stat st {};
  if (sys("fstat", [&] { return ::fstat(handle->fd, &st); }) != 0) return status_of(errno);
  *out = version_of(st);
  return kNpFioOk;
}

int32_t np_fio_version_at(int dir, const char* name, np_fio_version* out) {
  if (dir < 0 || !plain_name(name) || out == nullptr) return kNpFioBadArgument;
  struct stat st {};
  if (lstat_rel(dir, name, &st) != 0) return status_of(errno);
  const int32_t status = regular_status(st);
  if (status != kNpFioOk) return status;
  *out = version_of(st);
  return kNpFioOk;
}

int32_t np_fio_path_identity(const char* path, np_fio_id* out) {
  if (path == nullptr || out == nullptr) return kNpFioBadArgument;
  if (*path == '\0') return status_of(ENOENT);
  char native[PATH_MAX];
  if (!to_native(path, native)) return status_of(ENAMETOOLONG);
  struct stat st {};
  if (sys("stat", [&] { return ::stat(native, &st); }) != 0) return status_of(errno);
  out->device = static_cast<uint64_t>(st.st_dev);
  out->inode = static_cast<uint64_t>(st.st_ino);
  return kNpFioOk;
}

int32_t np_fio_link_resolve(const char* path, char* out, uint32_t size) {
  if (path == nullptr || out == nullptr || size == 0) return kNpFioBadArgument;
  out[0] = '\0';
  if (*path == '\0') return kNpFioNotFound;
  char current[PATH_MAX];
  if (!to_native(path, current)) return kNpFioNameTooLong;
  // The kernel gives up on chains longer than this too (ELOOP).
  constexpr int kMaxLinks = 40;
  for (int hop = 0;; ++hop) {
    struct stat st {};
    if (sys("lstat", [&] { return ::lstat(current, &st); }) != 0) {
      // Nothing there is the end of the chain (a file a write will make);
      // what cannot be looked at is not.
      if (errno == ENOENT || errno == ENOTDIR) break;
      return status_of(errno);
    }
    if (!S_ISLNK(st.st_mode)) break;  // the end of the chain
    if (hop == kMaxLinks) {
      t_last_error = ELOOP;
      return kNpFioFailed;
    }
    char target[PATH_MAX];
    ssize_t n = sys("readlink", [&] { return ::readlink(current, target, sizeof target - 1); });
    if (n < 0) return status_of(errno);
    if (static_cast<size_t>(n) >= sizeof target - 1) return kNpFioNameTooLong;
    target[n] = '\0';
    if (target[0] == '/') {
      std::memcpy(current, target, static_cast<size_t>(n) + 1);
      continue;
    }
    // A relative target is relative to the folder that holds the link.
    char* slash = std::strrchr(current, '/');
    size_t keep = slash != nullptr ? static_cast<size_t>(slash - current) + 1 : 0;
    if (keep + static_cast<size_t>(n) >= sizeof current) return kNpFioNameTooLong;
    std::memcpy(current + keep, target, static_cast<size_t>(n) + 1);
  }
  size_t len = std::strlen(current);
  if (len >= size) return kNpFioNameTooLong;
  std::memcpy(out, current, len + 1);
  return kNpFioOk;
}

namespace {

// The access control list of a file is this extended attribute, whose
// value the kernel keeps in one binary form: copied as it is, it needs no
// library to parse it.
constexpr char kAccessList[] = "system.posix_acl_access";

// Where the file system has no lists, or the file has none.
bool no_list(int err) { return err == ENODATA || err == ENOTSUP || err == EOPNOTSUPP; }

// Where the owner, the bits and the list are read from: the file at a
// path, or an open one (fd >= 0), the file a held place's name led to.
struct source {
  const char* native;
  int fd;
};
int source_stat(const source& from, struct stat* st) {
  if (from.fd >= 0) return sys("fstat", [&] { return ::fstat(from.fd, st); });
  return sys("stat", [&] { return ::stat(from.native, st); });
}
ssize_t source_list(const source& from, void* buffer, size_t size) {
  if (from.fd >= 0) return sys("fgetxattr", [&] { return ::fgetxattr(from.fd, kAccessList, buffer, size); });
  return sys("getxattr", [&] { return ::getxattr(from.native, kAccessList, buffer, size); });
}

// The list of the file into *out (malloc'd; the caller frees it), its size
// in *size; *out NULL when it has none. kNpFioOk or a status.
int32_t access_list_read(const source& from, char** out, size_t* size) {
  *out = nullptr;
  *size = 0;
  // The list may change between asking its size and reading it: ask again.
  for (int attempt = 0; attempt < 8; ++attempt) {
    ssize_t n = source_list(from, nullptr, 0);
    if (n < 0) return no_list(errno) ? kNpFioOk : status_of(errno);
    auto* buffer = static_cast<char*>(np_malloc(n > 0 ? static_cast<size_t>(n) : 1));
    if (buffer == nullptr) return kNpFioNoMemory;
    ssize_t got = source_list(from, buffer, static_cast<size_t>(n));
    if (got >= 0) {
      *out = buffer;
      *size = static_cast<size_t>(got);
      return kNpFioOk;
    }
    const int err = errno;
    std::free(buffer);
    if (no_list(err)) return kNpFioOk;
    if (err != ERANGE) return status_of(err);
  }
  return status_of(ERANGE);
}

int32_t permissions_copy(np_fio_handle handle, const source& from, bool* unread) {
  struct stat st {};
  if (source_stat(from, &st) != 0) return errno == ENOENT ? kNpFioOk : status_of(errno);
  char* list = nullptr;
  size_t size = 0;
  int32_t status = access_list_read(from, &list, &size);
  if (status != kNpFioOk) return status;
  *unread = false;
  // The list first: it sets the permission bits with it (the group's are
  // its mask), and the mode set after it gives the same bits. The other way
  // round, the mode would widen the mask of a list the new file took from
  // its folder's default list before the old file's list replaced it.
  if (list != nullptr) {
    const int r = sys("fsetxattr", [&] { return ::fsetxattr(handle->fd, kAccessList, list, size, 0); });
    std::free(list);
    if (r != 0) return status_of(errno);
  } else if (sys("fgetxattr", [&] { return ::fgetxattr(handle->fd, kAccessList, nullptr, 0); }) >= 0) {
    // The old file has none, the new one took one from its folder's default
    // list: gone, or the mode would open it to the list's named entries.
    if (sys("fremovexattr", [&] { return ::fremovexattr(handle->fd, kAccessList); }) != 0 && !no_list(errno)) {
      return status_of(errno);
    }
  } else if (!no_list(errno)) {
    return status_of(errno);
  }
  // The permission bits only: set-id bits carried onto new contents would
  // hand them privileges nobody gave them.
  return sys("fchmod", [&] { return ::fchmod(handle->fd, st.st_mode & 0777); }) == 0 ? kNpFioOk : status_of(errno);
}

int32_t owner_copy(np_fio_handle handle, const source& from, uint32_t* uid, uint32_t* gid) {
  struct stat want {};
  if (source_stat(from, &want) != 0) return errno == ENOENT ? kNpFioOk : status_of(errno);
  struct stat have {};
  if (sys("fstat", [&] { return ::fstat(handle->fd, &have); }) != 0) return status_of(errno);
  if (have.st_uid == want.st_uid && have.st_gid == want.st_gid) return kNpFioOk;
  const uid_t new_uid = have.st_uid != want.st_uid ? want.st_uid : static_cast<uid_t>(-1);
  const gid_t new_gid = have.st_gid != want.st_gid ? want.st_gid : static_cast<gid_t>(-1);
  if (sys("fchown", [&] { return ::fchown(handle->fd, new_uid, new_gid); }) == 0) return kNpFioOk;
  const int err = errno;
  // The owner may be out of reach (only a privileged process gives files
  // away) while the group is not (a member may set it): keep what we can.
  if (new_uid != static_cast<uid_t>(-1) && new_gid != static_cast<gid_t>(-1)) {
    (void)sys("fchown", [&] { return ::fchown(handle->fd, static_cast<uid_t>(-1), new_gid); });
  }
  if (sys("fstat", [&] { return ::fstat(handle->fd, &have); }) != 0) return status_of(errno);
  const mode_t owner_bits = (want.st_mode >> 6) & 7;
  const mode_t group_bits = (want.st_mode >> 3) & 7;
  const mode_t other_bits = want.st_mode & 7;
  // The bits tell who may do what only where the file has no access
  // control list: with one, the group's bits are its mask, and the owning
  // group's entry or a named one may hold someone to less than the
  // others, which a new owner or group would undo.
  const ssize_t listed_size = source_list(from, nullptr, 0);
  if (listed_size < 0 && !no_list(errno)) return status_of(errno);
  const bool listed = listed_size >= 0;
  // Whoever owns or groups the new file then reads and writes it as every
  // class did the old one.
  const bool owner_moot =
      have.st_uid == want.st_uid || (!listed && owner_bits == group_bits && group_bits == other_bits);
  const bool group_moot = have.st_gid == want.st_gid || (!listed && group_bits == other_bits);
  if (owner_moot && group_moot) return kNpFioOk;
  // Refused: the owner and group that could not be given, as read.
  *uid = static_cast<uint32_t>(want.st_uid);
  *gid = static_cast<uint32_t>(want.st_gid);
  t_last_error = err;
  return kNpFioDenied;
}

}  // namespace

int32_t np_fio_permissions_copy(np_fio_handle handle, const char* path, bool* unread) {
  if (unread != nullptr) *unread = true;
  if (handle == nullptr || path == nullptr || unread == nullptr) return kNpFioBadArgument;
  char native[PATH_MAX];
  if (!to_native(path, native)) return kNpFioNameTooLong;
  return permissions_copy(handle, source{native, -1}, unread);
}

int32_t np_fio_permissions_copy_from(np_fio_handle handle, np_fio_handle from, bool* unread) {
  if (unread != nullptr) *unread = true;
  if (handle == nullptr || unread == nullptr) return kNpFioBadArgument;
  if (from == nullptr) return kNpFioOk;
  return permissions_copy(handle, source{nullptr, from->fd}, unread);
}

int32_t np_fio_owner_copy(np_fio_handle handle, const char* path, uint32_t* uid, uint32_t* gid) {
  if (uid != nullptr) *uid = kNpFioOwnerUnknown;
  if (gid != nullptr) *gid = kNpFioOwnerUnknown;
  if (handle == nullptr || path == nullptr || uid == nullptr || gid == nullptr) return kNpFioBadArgument;
  char native[PATH_MAX];
  if (!to_native(path, native)) return kNpFioNameTooLong;
  return owner_copy(handle, source{native, -1}, uid, gid);
}

int32_t np_fio_owner_copy_from(np_fio_handle handle, np_fio_handle from, uint32_t* uid, uint32_t* gid) {
  if (uid != nullptr) *uid = kNpFioOwnerUnknown;
  if (gid != nullptr) *gid = kNpFioOwnerUnknown;
  if (handle == nullptr || uid == nullptr || gid == nullptr) return kNpFioBadArgument;
  if (from == nullptr) return kNpFioOk;
  return owner_copy(handle, source{nullptr, from->fd}, uid, gid);
}

int np_fio_last_error() { return t_last_error; }
void np_fio_last_error_set(int err) { t_last_error = err; }

namespace {

// strerror_r comes in two shapes: the XSI one fills the buffer, the GNU one
// may return a text of its own.
[[maybe_unused]] const char* error_text_of(int rc, char* buffer) { return rc == 0 ? buffer : nullptr; }
[[maybe_unused]] const char* error_text_of(const char* text, char*) { return text; }

}  // namespace

const char* np_fio_error_text(int err, char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return "";
  buffer[0] = '\0';
  if (err == kNotRegularError) return "it is not a regular file";
  const char* text = error_text_of(::strerror_r(err, buffer, size), buffer);
  if (text == nullptr || *text == '\0') {
    std::snprintf(buffer, size, "system error %d", err);
    return buffer;
  }
  return text;
}

int32_t np_fio_writable(const char* path) {
  if (path == nullptr) return kNpFioBadArgument;
  char native[PATH_MAX];
  if (!to_native(path, native)) return kNpFioNameTooLong;
  struct stat st {};
  if (sys("stat", [&] { return ::stat(native, &st); }) != 0) return errno == ENOENT ? kNpFioOk : status_of(errno);
  if ((st.st_mode & 0222) == 0) {
    t_last_error = EACCES;
    return kNpFioReadOnly;
  }
  return sys("access", [&] { return ::access(native, W_OK); }) == 0 ? kNpFioOk : status_of(errno);
}

int32_t np_fio_writable_at(int dir, const char* name) {
  if (dir < 0 || !plain_name(name)) return kNpFioBadArgument;
  struct stat st {};
  if (lstat_rel(dir, name, &st) != 0) return errno == ENOENT ? kNpFioOk : status_of(errno);
  if (S_ISLNK(st.st_mode)) {
    t_last_error = kNotRegularError;
    return kNpFioNotRegular;
  }
  if ((st.st_mode & 0222) == 0) {
    t_last_error = EACCES;
    return kNpFioReadOnly;
  }
  return sys("faccessat", [&] { return ::faccessat(dir, name, W_OK, 0); }) == 0 ? kNpFioOk : status_of(errno);
}

int32_t np_fio_create_new(const char* path, bool* made, char* kept, uint32_t kept_size, int* kept_err) {
  if (kept_err != nullptr) *kept_err = 0;
  if (kept != nullptr && kept_size > 0) kept[0] = '\0';
  if (path == nullptr || made == nullptr) return kNpFioBadArgument;
  *made = false;
  if (*path == '\0') return kNpFioNotFound;
  char native[PATH_MAX];
  if (!to_native(path, native)) return kNpFioNameTooLong;
  // An exclusive create that answers EEXIST after an interrupted attempt
  // cannot tell whether that attempt made the file. So the file is made
  // under a name of our own and linked to its name: a link that finds the
  // name taken after an interrupted attempt asks whether the name reaches
  // our file. The name of our own is a temporary file's, which a sweep
  // removes should we die before removing it.
  char temp[PATH_MAX];
  np_fio_handle made_file = nullptr;
  int32_t status = np_fio_temp_open(native, 0666, temp, sizeof temp, &made_file, kept_err);
  if (status != kNpFioOk) {
    // Made, failed, and kept by the system: named as any temporary file that stays.
    if (kept_err != nullptr && *kept_err != 0 && kept != nullptr && kept_size > 0) {
      (void)std::snprintf(kept, kept_size, "%s", temp);
    }
    return status;
  }
  bool interrupted = false;
  int32_t result = kNpFioOk;
  if (sys("link", [&] { return ::link(temp, native); }, &interrupted) == 0) {
    *made = true;
  } else if (errno == EEXIST) {
    struct stat st {};
    *made = interrupted && sys("lstat", [&] { return ::lstat(native, &st); }) == 0 &&
            static_cast<uint64_t>(st.st_dev) == made_file->id.device &&
            static_cast<uint64_t>(st.st_ino) == made_file->id.inode;
  } else if (errno == EPERM || errno == ENOSYS || errno == EOPNOTSUPP || errno == EMLINK) {
    // A file system without hard links: made in place, where an EEXIST
    // after an interrupted attempt is taken as someone else's file (never
    // removed as ours).
    const int fd = sys("open", [&] { return ::open(native, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); });
    if (fd >= 0) {
      (void)close_fd(fd);
      *made = true;
    } else if (errno != EEXIST) {
      result = status_of(errno);
    }
  } else {
    result = status_of(errno);
  }
  const int result_err = t_last_error;
  // Removed before the close: while open it is locked against sweeps.
  if (np_fio_unlink(temp) != 0 && kept_err != nullptr) {
    *kept_err = t_last_error;
    if (kept != nullptr && kept_size > 0) (void)std::snprintf(kept, kept_size, "%s", temp);
  }
  (void)np_fio_close(made_file);
  t_last_error = result_err;
  return result;
}

int32_t np_fio_sync(np_fio_handle handle) {
  if (handle == nullptr) return kNpFioBadArgument;
  if (!sync_position(handle)) return status_of(errno);
  return sys("fsync", [&] { return ::fsync(handle->fd); }) == 0 ? kNpFioOk : status_of(errno);
}

namespace {

// Forces the held folder to the disk: through its own descriptor, or, when
// that one may only reach files (a folder that may be searched, not read),
// through one opened from it. 0, or the system's error.
int folder_sync(int dir) {
  if (sys("fsync", [&] { return ::fsync(dir); }) == 0) return 0;
  if (errno != EBADF) return errno;
  const int fd = sys("openat", [&] { return ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) return errno;
  const int err = sys("fsync", [&] { return ::fsync(fd); }) == 0 ? 0 : errno;
  (void)close_fd(fd);
  return err;
}

// The rename of np_fio_replace in a held folder (dir), or by paths (dir
// AT_FDCWD, to_folder then the folder to force to the disk).
int32_t replace_in(int dir, const char* from, const char* to, const np_fio_id* from_id, int* folder_err) {
  bool interrupted = false;
  const int renamed = dir == AT_FDCWD
                          ? sys("rename", [&] { return ::rename(from, to); }, &interrupted)
                          : sys("renameat", [&] { return ::renameat(dir, from, dir, to); }, &interrupted);
  if (renamed != 0) {
    const int err = errno;
    // The source gone after an interrupted attempt: that attempt renamed
    // it when the target is now the source's file.
    struct stat st {};
    if (!interrupted || err != ENOENT || lstat_rel(dir, to, &st) != 0 ||
        static_cast<uint64_t>(st.st_dev) != from_id->device || static_cast<uint64_t>(st.st_ino) != from_id->inode) {
      return status_of(err);
    }
  }
  return kNpFioOk;
}

}  // namespace

int32_t np_fio_replace(const char* from, const char* to, const np_fio_id* from_id, int* folder_err) {
  if (folder_err != nullptr) *folder_err = 0;
  if (from == nullptr || to == nullptr || from_id == nullptr || folder_err == nullptr) return kNpFioBadArgument;
  char native_from[PATH_MAX];
  char native_to[PATH_MAX];
  if (!to_native(from, native_from) || !to_native(to, native_to)) return kNpFioNameTooLong;
  const int32_t status = replace_in(AT_FDCWD, native_from, native_to, from_id, folder_err);
  if (status != kNpFioOk) return status;
  // The rename is an entry of the folder: until the folder is on the disk,
  // a power loss may bring back the old name or none. The file itself is
  // on the disk already, so a power loss can bring back only the old file
  // whole or the new one; which one is not sure until the folder is there
  // too. The rename stands as done either way; what kept the folder from
  // the disk is told beside it.
  char* slash = std::strrchr(native_to, '/');
  if (slash == native_to) {
    slash[1] = '\0';
  } else if (slash != nullptr) {
    *slash = '\0';
  } else {
    std::strcpy(native_to, ".");
  }
  int dir = sys("open", [&] { return ::open(native_to, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (dir < 0) {
    *folder_err = errno;
    return kNpFioOk;
  }
  if (sys("fsync", [&] { return ::fsync(dir); }) != 0) *folder_err = errno;
  (void)close_fd(dir);
  return kNpFioOk;
}

int32_t np_fio_replace_at(int dir, const char* from, const char* to, const np_fio_id* from_id, int* folder_err) {
  if (folder_err != nullptr) *folder_err = 0;
  if (dir < 0 || !plain_name(from) || !plain_name(to) || from_id == nullptr || folder_err == nullptr) {
    return kNpFioBadArgument;
  }
  const int32_t status = replace_in(dir, from, to, from_id, folder_err);
  // The folder through the descriptor held: the one the file was renamed
  // in, whatever its path leads to now.
  if (status == kNpFioOk) *folder_err = folder_sync(dir);
  return status;
}

namespace {

constexpr char kTempMark[] = ".~tq";
std::atomic<uint32_t> g_temp_counter{0};

// The process id of a temporary file name of `base` ("<base>.~tq<pid>.<n>"),
// or 0 when the name is not one.
long temp_owner(const char* name, const char* base, size_t base_len) {
  if (std::strncmp(name, base, base_len) != 0) return 0;
  const char* p = name + base_len;
  if (std::strncmp(p, kTempMark, sizeof kTempMark - 1) != 0) return 0;
  p += sizeof kTempMark - 1;
  long pid = 0;
  const char* digits = p;
  while (*p >= '0' && *p <= '9' && p - digits < 10) pid = pid * 10 + (*p++ - '0');
  if (p == digits || *p != '.' || pid <= 0) return 0;
  const char* count = ++p;
  while (*p >= '0' && *p <= '9') ++p;
  return p != count && *p == '\0' ? pid : 0;
}

// Removes the file `name` (of the folder dir_fd, or AT_FDCWD) when nobody
// holds it: only while we hold it, and only the file we hold, for the name
// may have been taken by a new file between our open and our lock.
void abandoned_remove(int dir_fd, const char* name) {
  const int fd = sys("openat", [&] { return ::openat(dir_fd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
  if (fd < 0) return;
  struct stat st {};
  struct stat by_name {};
  if (sys("fstat", [&] { return ::fstat(fd, &st); }) == 0 && S_ISREG(st.st_mode) &&
      sys("flock", [&] { return ::flock(fd, LOCK_EX | LOCK_NB); }) == 0 &&
      sys("fstatat", [&] { return ::fstatat(dir_fd, name, &by_name, AT_SYMLINK_NOFOLLOW); }) == 0 &&
      by_name.st_dev == st.st_dev && by_name.st_ino == st.st_ino) {
    (void)sys("unlinkat", [&] { return ::unlinkat(dir_fd, name, 0); });
  }
  (void)close_fd(fd);
}

}  // namespace

namespace {

// np_fio_temp_open for the file `native` of the held folder dir (its name
// there; out then the temporary file's name there), or for a path (dir
// AT_FDCWD).
int32_t temp_open_in(int dir, const char* native, uint32_t mode, char* out, uint32_t size, np_fio_handle* handle,
                     int* kept_err) {
  if (kept_err != nullptr) *kept_err = 0;
  auto* f = static_cast<np_fio_file*>(np_calloc(1, sizeof(np_fio_file)));
  if (f == nullptr) return kNpFioNoMemory;
  // Gives up with what made it fail: the file made goes (when `made`), so
  // that a failure leaves nothing beside the target. One the system keeps
  // keeps its name in out, for the caller to say that it stays.
  auto fail = [&](int err, int fd, bool made) {
    const int32_t st = status_of(err);
    if (fd >= 0) (void)close_fd(fd);
    bool kept = false;
    if (made && unlink_rel(dir, out) != 0 && errno != ENOENT) {
      kept = kept_err != nullptr;
      if (kept) *kept_err = errno;
    }
    t_last_error = err;
    if (!kept) out[0] = '\0';
    std::free(f);
    return st;
  };
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    int n = std::snprintf(out, size, "%s%s%ld.%u", native, kTempMark, static_cast<long>(::getpid()),
                          g_temp_counter.fetch_add(1));
    if (n < 0 || static_cast<uint32_t>(n) >= size || static_cast<size_t>(n) >= PATH_MAX ||
        (dir != AT_FDCWD && static_cast<size_t>(n) > NAME_MAX)) {
      out[0] = '\0';
      std::free(f);
      t_last_error = ENAMETOOLONG;
      return kNpFioNameTooLong;
    }
    // Read and write: where locks are byte-range locks underneath (network
    // file systems), a shared lock needs a file open for reading.
    bool interrupted = false;
    int fd = open_rel(dir, out, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode & 0666),
                      &interrupted);
    if (fd < 0) {
      if (errno != EEXIST) return fail(errno, -1, false);
      // Left by an earlier process of the same id, or made by the attempt
      // that was interrupted, which then stays unlocked beside the target:
      // that one goes, as a sweep would take it, and another name is tried.
      if (interrupted) abandoned_remove(dir, out);
      continue;
    }
    // The lock tells a sweep that the file is being written, and it is held
    // until the file has taken its final name (see np_fio_temp_sweep). It is
    // shared: once renamed, the file is the one readers open, and their
    // shared locks must not find it taken; a sweep asks for an exclusive
    // lock, which any holder refuses. A file system without advisory locks
    // still has the process check.
    if (sys("flock", [&] { return ::flock(fd, LOCK_SH | LOCK_NB); }) != 0) {
      int err = errno;
      if (err == EWOULDBLOCK) {
        // A sweep that took our name for an abandoned file before we locked
        // it holds it and will remove it: start over under another name.
        (void)close_fd(fd);
        (void)unlink_rel(dir, out);
        continue;
      }
      if (err != ENOLCK && err != EOPNOTSUPP) return fail(err, fd, true);
    }
    struct stat st {};
    if (sys("fstat", [&] { return ::fstat(fd, &st); }) != 0) return fail(errno, fd, true);
    // A sweep may have removed the name between our create and our lock:
    // the file then has no name to be renamed from. A name that reaches
    // another file is not ours to remove.
    struct stat by_name {};
    if (lstat_rel(dir, out, &by_name) != 0) {
      if (errno != ENOENT) return fail(errno, fd, true);
      (void)close_fd(fd);
      continue;
    }
    if (by_name.st_dev != st.st_dev || by_name.st_ino != st.st_ino) {
      (void)close_fd(fd);
      continue;
    }
    f->fd = fd;
    f->id.device = static_cast<uint64_t>(st.st_dev);
    f->id.inode = static_cast<uint64_t>(st.st_ino);
    *handle = f;
    return kNpFioOk;
  }
  out[0] = '\0';
  std::free(f);
  return kNpFioFailed;
}

// The sweep of np_fio_temp_sweep over the folder dir_fd (a descriptor it
// takes over and closes) for the file named base there.
void sweep_in(int dir_fd, const char* base) {
  const size_t base_len = std::strlen(base);
  DIR* dir = ::fdopendir(dir_fd);
  if (dir == nullptr) {
    (void)close_fd(dir_fd);
    return;
  }
  const long self = static_cast<long>(::getpid());
  // The end of the folder, or a failure to read it: either ends the sweep.
  auto next = [&] {
    return sys("readdir", [&] {
      errno = 0;
      return ::readdir(dir);
    });
  };
  while (const struct dirent* e = next()) {
    long pid = temp_owner(e->d_name, base, base_len);
    if (pid == 0 || pid == self) continue;
    // A process of that id that is still running may be writing it (or be
    // another program that took the id over: the file waits for a later
    // sweep). Another host's process cannot be asked; its lock answers.
    if (static_cast<pid_t>(pid) != pid || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    abandoned_remove(dir_fd, e->d_name);
  }
  // Closes dir_fd with it: once, as close_fd does.
  (void)::closedir(dir);
}

}  // namespace

int32_t np_fio_temp_open(const char* target, uint32_t mode, char* out, uint32_t size, np_fio_handle* handle,
                         int* kept_err) {
  if (kept_err != nullptr) *kept_err = 0;
  if (target == nullptr || out == nullptr || handle == nullptr || size == 0) return kNpFioBadArgument;
  *handle = nullptr;
  out[0] = '\0';
  char native[PATH_MAX];
  if (!to_native(target, native)) return kNpFioNameTooLong;
  return temp_open_in(AT_FDCWD, native, mode, out, size, handle, kept_err);
}

int32_t np_fio_temp_open_at(int dir, const char* name, uint32_t mode, char* out, uint32_t size,
                            np_fio_handle* handle, int* kept_err) {
  if (kept_err != nullptr) *kept_err = 0;
  if (dir < 0 || !plain_name(name) || out == nullptr || handle == nullptr || size == 0) return kNpFioBadArgument;
  *handle = nullptr;
  out[0] = '\0';
  return temp_open_in(dir, name, mode, out, size, handle, kept_err);
}

void np_fio_temp_sweep(const char* target) {
  if (target == nullptr) return;
  char folder[PATH_MAX];
  if (!to_native(target, folder)) return;
  char* slash = std::strrchr(folder, '/');
  const char* base = slash != nullptr ? slash + 1 : folder;
  char base_copy[NAME_MAX + 1];
  size_t base_len = std::strlen(base);
  if (base_len == 0 || base_len > NAME_MAX) return;
  std::memcpy(base_copy, base, base_len + 1);
  if (slash == folder) {
    folder[1] = '\0';
  } else if (slash != nullptr) {
    *slash = '\0';
  } else {
    std::strcpy(folder, ".");
  }
  int dir_fd = sys("open", [&] { return ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (dir_fd < 0) return;
  sweep_in(dir_fd, base_copy);
}

void np_fio_temp_sweep_at(int dir, const char* name) {
  if (dir < 0 || !plain_name(name)) return;
  // A descriptor of its own, read from the start: the held one stays as it
  // is (and may be one that only reaches files, which cannot be read).
  const int dir_fd = sys("openat", [&] { return ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (dir_fd < 0) return;
  sweep_in(dir_fd, name);
}

int32_t np_fio_append(const char* path, const void* bytes, uint32_t size, bool truncate) {
  if (path == nullptr || (bytes == nullptr && size != 0)) return kNpFioBadArgument;
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : O_APPEND);
  const int fd = sys("open", [&] { return ::open(path, flags, 0644); });
  if (fd < 0) return status_of(errno);
  const auto* from = static_cast<const char*>(bytes);
  uint32_t done = 0;
  int32_t status = kNpFioOk;
  while (done < size) {
    const ssize_t n = sys("write", [&] { return ::write(fd, from + done, size - done); });
    if (n < 0) {
      status = status_of(errno);
      break;
    }
    done += static_cast<uint32_t>(n);
  }
  if (close_fd(fd) != 0 && status == kNpFioOk) status = status_of(errno);
  return status;
}

void np_fio_fault_set(np_fio_fault_fn hook) noexcept { g_fault.store(hook, std::memory_order_relaxed); }

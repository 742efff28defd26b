/* A fault injector for the tq_kbbuild test, preloaded (LD_PRELOAD) into the
 * program. It counts the steps the program takes in one folder,
 * TQ_FAULT_ROOT (an absolute path without links; its staging folder
 * ".kbbuild" left out): a file made there (open with O_CREAT), a write to or
 * a flush of such a file, a rename or hard link onto a name there, a folder
 * made there, a removal there. The step numbered TQ_FAULT_ENOSPC (from 1)
 * fails with ENOSPC, as on a full disk, unless it is a removal, which
 * cannot run out of room; before the step numbered TQ_FAULT_KILL the
 * program is killed with SIGKILL. Either may be left out or 0. The step
 * acted on is appended to the file TQ_FAULT_LOG ("step N: what path, no
 * space" or "..., killed"), so a test that finds no line knows it has
 * passed the last step. The program's steps come in the same order on
 * every run, so a number names the same step each time: no timing is
 * involved. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

enum { kMaxFd = 4096 };
/* The files made in the folder, by descriptor: their writes are steps. */
static unsigned char made[kMaxFd];
static long steps;

/* The next definition of a function after this one (libc's, or a
 * sanitizer's interceptor): converted through memcpy, since ISO C has no
 * cast from an object pointer to a function pointer. */
#define REAL(name, result, params)         \
  static result(*real) params = NULL;      \
  if (real == NULL) {                      \
    void* found = dlsym(RTLD_NEXT, #name); \
    memcpy(&real, &found, sizeof real);    \
  }

static const char* env(const char* name) {
  const char* value = getenv(name);
  return value != NULL ? value : "";
}

/* Whether the path (relative to dirfd) names something in the folder
 * outside its staging folder. */
static int in_folder(int dirfd, const char* path) {
  const char* root = env("TQ_FAULT_ROOT");
  size_t n = strlen(root);
  if (n == 0 || path == NULL) return 0;
  char full[2 * PATH_MAX];
  if (path[0] == '/') {
    snprintf(full, sizeof full, "%s", path);
  } else {
    char base[PATH_MAX];
    if (dirfd == AT_FDCWD) {
      if (getcwd(base, sizeof base) == NULL) return 0;
    } else {
      char proc[64];
      snprintf(proc, sizeof proc, "/proc/self/fd/%d", dirfd);
      ssize_t got = readlink(proc, base, sizeof base - 1);
      if (got < 0) return 0;
      base[got] = '\0';
    }
    snprintf(full, sizeof full, "%s/%s", base, path);
  }
  if (strncmp(full, root, n) != 0 || full[n] != '/') return 0;
  return strncmp(full + n, "/.kbbuild", 9) != 0 || (full[n + 9] != '/' && full[n + 9] != '\0');
}

/* Appends the line to the log, around this file's own functions. */
static void log_line(const char* line, size_t size) {
  int fd = -1;
  {
    REAL(open, int, (const char*, int, ...));
    fd = real(env("TQ_FAULT_LOG"), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  }
  if (fd < 0) return;
  {
    REAL(write, ssize_t, (int, const void*, size_t));
    (void)real(fd, line, size);
  }
  REAL(close, int, (int));
  real(fd);
}

/* Counts one step: 1 when it must fail with ENOSPC; never returns when the
 * program is to be killed before it. */
static int step(const char* what, const char* path, int fills) {
  ++steps;
  const int killed = steps == atol(env("TQ_FAULT_KILL"));
  if (!killed && !(fills && steps == atol(env("TQ_FAULT_ENOSPC")))) return 0;
  char line[PATH_MAX + 64];
  int size = snprintf(line, sizeof line, "step %ld: %s %s, %s\n", steps, what, path, killed ? "killed" : "no space");
  if (size > 0) log_line(line, (size_t)size < sizeof line ? (size_t)size : sizeof line - 1);
  if (killed) kill(getpid(), SIGKILL);
  errno = ENOSPC;
  return 1;
}

static int removal(int dirfd, const char* path) { return in_folder(dirfd, path) && step("remove", path, 0); }

static int opened(int dirfd, const char* path, int flags, int fd) {
  if (fd >= 0 && fd < kMaxFd) made[fd] = (flags & O_CREAT) != 0 && in_folder(dirfd, path);
  return fd;
}

#define OPEN_MODE(flags, last)          \
  mode_t mode = 0;                      \
  if ((flags) & O_CREAT) {              \
    va_list args;                       \
    va_start(args, last);               \
    mode = (mode_t)va_arg(args, int);   \
    va_end(args);                       \
  }

int open(const char* path, int flags, ...) {
  OPEN_MODE(flags, flags);
  if ((flags & O_CREAT) && in_folder(AT_FDCWD, path) && step("open", path, 1)) return -1;
  REAL(open, int, (const char*, int, ...));
  return opened(AT_FDCWD, path, flags, real(path, flags, mode));
}

int open64(const char* path, int flags, ...) {
  OPEN_MODE(flags, flags);
  if ((flags & O_CREAT) && in_folder(AT_FDCWD, path) && step("open", path, 1)) return -1;
  REAL(open64, int, (const char*, int, ...));
  return opened(AT_FDCWD, path, flags, real(path, flags, mode));
}

int openat(int dirfd, const char* path, int flags, ...) {
  OPEN_MODE(flags, flags);
  if ((flags & O_CREAT) && in_folder(dirfd, path) && step("open", path, 1)) return -1;
  REAL(openat, int, (int, const char*, int, ...));
  return opened(dirfd, path, flags, real(dirfd, path, flags, mode));
}

int openat64(int dirfd, const char* path, int flags, ...) {
  OPEN_MODE(flags, flags);
  if ((flags & O_CREAT) && in_folder(dirfd, path) && step("open", path, 1)) return -1;
  REAL(openat64, int, (int, const char*, int, ...));
  return opened(dirfd, path, flags, real(dirfd, path, flags, mode));
}

int close(int fd) {
  if (fd >= 0 && fd < kMaxFd) made[fd] = 0;
  REAL(close, int, (int));
  return real(fd);
}

static int made_here(int fd) { return fd >= 0 && fd < kMaxFd && made[fd]; }

ssize_t write(int fd, const void* bytes, size_t size) {
  if (made_here(fd) && step("write", "", 1)) return -1;
  REAL(write, ssize_t, (int, const void*, size_t));
  return real(fd, bytes, size);
}

/* A flush fails like a write; it is otherwise skipped, to keep the test
 * quick: a killed program loses nothing the system holds, and power losses
 * are not what this injects. */
int fsync(int fd) { return made_here(fd) && step("fsync", "", 1) ? -1 : 0; }

int fdatasync(int fd) { return made_here(fd) && step("fdatasync", "", 1) ? -1 : 0; }

int rename(const char* from, const char* to) {
  if (in_folder(AT_FDCWD, to) && step("rename onto", to, 1)) return -1;
  REAL(rename, int, (const char*, const char*));
  return real(from, to);
}

int renameat(int fromfd, const char* from, int tofd, const char* to) {
  if (in_folder(tofd, to) && step("rename onto", to, 1)) return -1;
  REAL(renameat, int, (int, const char*, int, const char*));
  return real(fromfd, from, tofd, to);
}

int renameat2(int fromfd, const char* from, int tofd, const char* to, unsigned int flags) {
  if (in_folder(tofd, to) && step("rename onto", to, 1)) return -1;
  REAL(renameat2, int, (int, const char*, int, const char*, unsigned int));
  return real(fromfd, from, tofd, to, flags);
}

int link(const char* from, const char* to) {
  if (in_folder(AT_FDCWD, to) && step("link onto", to, 1)) return -1;
  REAL(link, int, (const char*, const char*));
  return real(from, to);
}

int linkat(int fromfd, const char* from, int tofd, const char* to, int flags) {
  if (in_folder(tofd, to) && step("link onto", to, 1)) return -1;
  REAL(linkat, int, (int, const char*, int, const char*, int));
  return real(fromfd, from, tofd, to, flags);
}

int mkdir(const char* path, mode_t mode) {
  if (in_folder(AT_FDCWD, path) && step("mkdir", path, 1)) return -1;
  REAL(mkdir, int, (const char*, mode_t));
  return real(path, mode);
}

int mkdirat(int dirfd, const char* path, mode_t mode) {
  if (in_folder(dirfd, path) && step("mkdir", path, 1)) return -1;
  REAL(mkdirat, int, (int, const char*, mode_t));
  return real(dirfd, path, mode);
}

/* A removal by a path alone: unlink, rmdir, remove. */
#define REMOVAL(name)                           \
  int name(const char* path) {                  \
    if (removal(AT_FDCWD, path)) return -1;     \
    REAL(name, int, (const char*));             \
    return real(path);                          \
  }
REMOVAL(unlink)
REMOVAL(rmdir)
REMOVAL(remove)

int unlinkat(int dirfd, const char* path, int flags) {
  if (removal(dirfd, path)) return -1;
  REAL(unlinkat, int, (int, const char*, int));
  return real(dirfd, path, flags);
}

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
 * involved.
 *
 * TQ_FAULT_HOLD holds the program instead, for another program to run
 * meanwhile: before the first call in the folder (its staging folder
 * included, and a flock of a file there) whose "what path" holds that text,
 * the path taken from the folder ("mkdir .kbbuild/locale", "rename onto
 * locale/en.loc.zel", "flock .kbbuild.lock"), it writes "held PID at what
 * path" into the FIFO TQ_FAULT_HELD and then waits until the FIFO
 * TQ_FAULT_GO has been opened for writing and closed again.
 *
 * TQ_FAULT_OTHER plays, inside the program's own calls, what another build
 * into the folder does meanwhile: "removes-root", once a mkdir of the folder
 * found it there, removes it (empty), as a build that made it and failed
 * does before the program looks at it; "holds-lock" answers a lock of
 * ".kbbuild.lock" with EWOULDBLOCK, as when another build holds it, and
 * removes that file, as that build does when it ends right after;
 * "keeps-lock" answers it so and leaves the file, as when that build goes
 * on;
 * "makes-root", before the program's first mkdir of the folder, makes it
 * and its missing parents, as a build into it that started just before and
 * was then refused the lock leaves them;
 * "fails-return" fails (EACCES) the fchdir out of the folder that follows
 * the Nth one into it, N being TQ_FAULT_RETURN (1 when left out), as when
 * the folder the program started in can no longer be entered, and appends
 * "return N: fchdir out, failed" to TQ_FAULT_LOG.
 *
 * TQ_FAULT_REFUSE fails (EACCES) the first removal in the folder, its
 * staging folder included, whose "remove path" holds that text, as a
 * removal the system refuses.
 *
 * The program's own calls (the library's left out: a call made from
 * libtq.so, as the stack shows) of open, mkdir, rename, link, removal,
 * flock, ftruncate, write and fsync in the folder (its staging folder
 * included) and of fchdir anywhere are numbered from 1 when TQ_FAULT_EINTR
 * or TQ_FAULT_CHANGE is set. The call numbered TQ_FAULT_EINTR fails with
 * EINTR, as when a signal comes; before the call numbered TQ_FAULT_CHANGE,
 * the file TQ_FAULT_CHANGE_FILE is written over with the bytes of
 * TQ_FAULT_CHANGE_TO, as when a user edits a source meanwhile. Each appends
 * "call N: what path, interrupted" (or ", changed") to TQ_FAULT_LOG.
 *
 * TQ_FAULT_DONE=N makes the program's own call numbered N (numbered as for
 * TQ_FAULT_EINTR), when it is one that changes something (a rename, a link,
 * a removal, a folder made, a file made with O_EXCL), and then answers
 * EINTR, as network and FUSE file systems may once the work is done; the
 * descriptor of an open is closed again. "list" fails none and notes each
 * such call ("call N: what path, may be done").
 *
 * TQ_FAULT_EIO fails (EIO, or the error number TQ_FAULT_ERRNO) the first
 * call in the folder, its staging folder included and the library's calls
 * too, whose "what path" is that text ("fsync locale": a flush of that
 * folder; "open .kbbuild/src/vocab/x.xml"; "lseek .kbbuild").
 *
 * TQ_FAULT_SYNCED names a file to which the path of every folder flushed
 * (fsync) is appended, a line each, the library's flushes included, once
 * the flush is made (a flush TQ_FAULT_EIO fails is not).
 *
 * TQ_FAULT_NO_PROC makes every look at a path under /proc fail (ENOENT), as
 * where no /proc is mounted.
 *
 * TQ_FAULT_MALLOC=N fails the Nth allocation (malloc, calloc, realloc and
 * their aligned kin; operator new comes through malloc) that the program
 * makes once its main has started, as when memory runs out, and appends
 * "allocation N: failed" to TQ_FAULT_LOG; 0 fails none. Either way, as
 * main returns, "allocations N" is appended with the count made. This
 * needs the C library's allocator: under a sanitizer, whose runtime owns
 * malloc and comes first, these are never reached. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kMaxFd = 4096 };
/* The files made in the folder, by descriptor: their writes are steps. */
static unsigned char made[kMaxFd];
static long steps;

static const char* env(const char* name) {
  const char* value = getenv(name);
  return value != NULL ? value : "";
}

/* The path (relative to dirfd) from the system's root, in a buffer of the
 * thread's, "." and ".." parts taken out and a path through
 * /proc/self/fd/N named by N's path; NULL when it cannot be told. */
static const char* full_path(int dirfd, const char* path) {
  static __thread char full[2 * PATH_MAX];
  char base[PATH_MAX] = "";
  const char* rest = path;
  if (path == NULL) return NULL;
  if (path[0] != '/' && dirfd == AT_FDCWD && getcwd(base, sizeof base) == NULL) return NULL;
  int through = -1;
  if (strncmp(path, "/proc/self/fd/", 14) == 0) {
    char* end = NULL;
    through = (int)strtol(path + 14, &end, 10);
    rest = end;
  }
  if (through >= 0 || (path[0] != '/' && dirfd != AT_FDCWD)) {
    char proc[64];
    snprintf(proc, sizeof proc, "/proc/self/fd/%d", through >= 0 ? through : dirfd);
    ssize_t got = readlink(proc, base, sizeof base - 1);
    if (got < 0) return NULL;
    base[got] = '\0';
  }
  char joined[2 * PATH_MAX];
  snprintf(joined, sizeof joined, "%s/%s", base, rest);
  /* Part by part, "." dropped and ".." taking the part before away. */
  size_t n = 0;
  char* save = NULL;
  for (char* part = strtok_r(joined, "/", &save); part != NULL; part = strtok_r(NULL, "/", &save)) {
    if (strcmp(part, ".") == 0) continue;
    if (strcmp(part, "..") == 0) {
      while (n > 0 && full[n - 1] != '/') --n;
      if (n > 0) --n;
      continue;
    }
    n += (size_t)snprintf(full + n, sizeof full - n, "/%s", part);
    if (n >= sizeof full) return NULL;
  }
  if (n == 0) full[n++] = '/';
  full[n] = '\0';
  return full;
}

/* Where the path (relative to dirfd) is: 0 outside the folder, 1 in its
 * staging folder, 2 elsewhere in it; *rel then points at the path taken
 * from the folder, in a buffer of the thread's. */
static int where(int dirfd, const char* path, const char** rel) {
  const char* root = env("TQ_FAULT_ROOT");
  size_t n = strlen(root);
  const char* full = n > 0 ? full_path(dirfd, path) : NULL;
  if (full == NULL || strncmp(full, root, n) != 0 || full[n] != '/') return 0;
  *rel = full + n + 1;
  return strncmp(*rel, ".kbbuild", 8) == 0 && ((*rel)[8] == '/' || (*rel)[8] == '\0') ? 1 : 2;
}

/* Holds the program before the call `what` on `rel` when TQ_FAULT_HOLD
 * names it, once a run. */
static void hold(const char* what, const char* rel) {
  static int held;
  const char* text = env("TQ_FAULT_HOLD");
  char call[PATH_MAX + 64];
  snprintf(call, sizeof call, "%s %s", what, rel);
  if (held || text[0] == '\0' || strstr(call, text) == NULL) return;
  held = 1;
  int fd = open(env("TQ_FAULT_HELD"), O_WRONLY | O_CLOEXEC);
  if (fd >= 0) dprintf(fd, "held %ld at %s\n", (long)getpid(), call);
  if (fd >= 0) close(fd);
  /* Opening blocks until the test opens it for writing; the read ends when
   * the test closes it. */
  fd = open(env("TQ_FAULT_GO"), O_RDONLY | O_CLOEXEC);
  char byte;
  if (fd >= 0) while (read(fd, &byte, 1) > 0) continue;
  if (fd >= 0) close(fd);
}

/* Whether the path names something in the folder outside its staging
 * folder, after holding the program before the call when it is named. */
static int in_folder(int dirfd, const char* path, const char* what) {
  const char* rel = NULL;
  int at = where(dirfd, path, &rel);
  if (at != 0) hold(what, rel);
  return at == 2;
}

/* Counts one step: 1 when it must fail with ENOSPC (a step that fills);
 * never returns when the program is to be killed before it. The log is
 * outside the folder, so its own open and write are no steps. */
static int step(const char* what, const char* path, int fills) {
  ++steps;
  const int killed = steps == atol(env("TQ_FAULT_KILL"));
  if (!killed && !(fills && steps == atol(env("TQ_FAULT_ENOSPC")))) return 0;
  int fd = open(env("TQ_FAULT_LOG"), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd >= 0) dprintf(fd, "step %ld: %s %s, %s\n", steps, what, path, killed ? "killed" : "no space");
  if (fd >= 0) close(fd);
  if (killed) kill(getpid(), SIGKILL);
  errno = ENOSPC;
  return 1;
}

/* Whether the call under way was made from the library: backtrace shows
 * libtq.so on the stack. Set while the shim itself works, so that its own
 * calls (backtrace's loading, the rewrite) are not counted. */
static __thread int inside;
static int from_library(void) {
  void* frames[64];
  inside = 1;
  int n = backtrace(frames, 64);
  inside = 0;
  for (int i = 0; i < n; ++i) {
    Dl_info info;
    if (dladdr(frames[i], &info) != 0 && info.dli_fname != NULL && strstr(info.dli_fname, "/libtq.so") != NULL) return 1;
  }
  return 0;
}

/* Writes the file TQ_FAULT_CHANGE_FILE over with TQ_FAULT_CHANGE_TO's
 * bytes, in place. */
static void rewrite(void) {
  inside = 1;
  int from = open(env("TQ_FAULT_CHANGE_TO"), O_RDONLY | O_CLOEXEC);
  int to = open(env("TQ_FAULT_CHANGE_FILE"), O_WRONLY | O_TRUNC | O_CLOEXEC);
  char block[4096];
  ssize_t got;
  while (from >= 0 && to >= 0 && (got = read(from, block, sizeof block)) > 0) {
    if (write(to, block, (size_t)got) != got) break;
  }
  if (from >= 0) close(from);
  if (to >= 0) close(to);
  inside = 0;
}

static void note(const char* kind, long n, const char* what, const char* path, const char* outcome) {
  int fd = open(env("TQ_FAULT_LOG"), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd >= 0) dprintf(fd, "%s %ld: %s %s, %s\n", kind, n, what, path, outcome);
  if (fd >= 0) close(fd);
}

/* Counts one call of the program's own (TQ_FAULT_EINTR, TQ_FAULT_CHANGE):
 * 1 when it must fail with EINTR. */
static long calls;
/* Set by an open with O_EXCL for its own_call; set by own_call when the
 * call is to be made and then answer EINTR (TQ_FAULT_DONE). */
static __thread int exclusive, done_pending;
static int counting_calls(void) {
  return env("TQ_FAULT_EINTR")[0] != '\0' || env("TQ_FAULT_CHANGE")[0] != '\0' || env("TQ_FAULT_DONE")[0] != '\0';
}
static int changes(const char* what) {
  return exclusive || strcmp(what, "rename onto") == 0 || strcmp(what, "link onto") == 0 ||
         strcmp(what, "remove") == 0 || strcmp(what, "mkdir") == 0;
}
static int own_call(const char* what, const char* rel) {
  const char* eintr = env("TQ_FAULT_EINTR");
  const char* change = env("TQ_FAULT_CHANGE");
  const char* done = env("TQ_FAULT_DONE");
  if (!counting_calls() || inside || from_library()) return 0;
  ++calls;
  char path[PATH_MAX];
  snprintf(path, sizeof path, "%s", rel);
  rel = path;
  if (done[0] != '\0' && changes(what)) {
    const int listed = strcmp(done, "list") == 0;
    if (listed || calls == atol(done)) {
      inside = 1;
      note("call", calls, what, rel, listed ? "may be done" : "done, then interrupted");
      inside = 0;
      done_pending = !listed;
    }
  }
  if (calls == atol(change)) {
    rewrite();
    inside = 1;
    note("call", calls, what, rel, "changed");
    inside = 0;
  }
  if (calls != atol(eintr)) return 0;
  inside = 1;
  note("call", calls, what, rel, "interrupted");
  inside = 0;
  errno = EINTR;
  return 1;
}

/* The path a descriptor names, in a buffer of the thread's ("" when it
 * cannot be told). */
static const char* fd_path(int fd) {
  static __thread char path[PATH_MAX];
  char proc[64];
  snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  ssize_t got = readlink(proc, path, sizeof path - 1);
  path[got > 0 ? got : 0] = '\0';
  return path;
}

/* The call TQ_FAULT_EIO names, once a run: 1 when it must fail. */
static int io_error(const char* what, const char* rel) {
  static int done;
  const char* text = env("TQ_FAULT_EIO");
  char call[PATH_MAX + 64];
  if (done || text[0] == '\0') return 0;
  snprintf(call, sizeof call, "%s %s", what, rel);
  if (strcmp(call, text) != 0) return 0;
  done = 1;
  /* Set last: the note's own calls may change errno. */
  const int err = env("TQ_FAULT_ERRNO")[0] != '\0' ? atoi(env("TQ_FAULT_ERRNO")) : EIO;
  inside = 1;
  note("call", 0, call, "", strerror(err));
  inside = 0;
  errno = err;
  return 1;
}

/* A call on a path: an own call when in the folder (staging included). */
static int own_at(int dirfd, const char* path, const char* what) {
  const char* rel = NULL;
  if (inside || (!counting_calls() && env("TQ_FAULT_EIO")[0] == '\0')) return 0;
  return where(dirfd, path, &rel) != 0 && (io_error(what, rel) || own_call(what, rel));
}
/* A call on a descriptor: an own call when its file is in the folder. */
static int own_fd(int fd, const char* what) {
  if (inside || (!counting_calls() && env("TQ_FAULT_EIO")[0] == '\0')) return 0;
  return own_at(AT_FDCWD, fd_path(fd), what);
}

/* The outcome of a call that was made: EINTR instead when TQ_FAULT_DONE
 * named it (an open's descriptor closed again). */
static int made_then(int rc) {
  if (!done_pending) return rc;
  done_pending = 0;
  if (rc < 0) return rc;
  if (exclusive) close(rc);
  errno = EINTR;
  return -1;
}

/* A removal refused (TQ_FAULT_REFUSE), once a run. */
static int refused(int dirfd, const char* path) {
  static int done;
  const char* text = env("TQ_FAULT_REFUSE");
  const char* rel = NULL;
  if (done || text[0] == '\0' || inside || where(dirfd, path, &rel) == 0) return 0;
  char call[PATH_MAX + 64];
  snprintf(call, sizeof call, "remove %s", rel);
  if (strstr(call, text) == NULL) return 0;
  done = 1;
  inside = 1;
  note("call", 0, call, "", "refused");
  inside = 0;
  errno = EACCES;
  return 1;
}

static int onto(int dirfd, const char* path, const char* what) {
  return (in_folder(dirfd, path, what) && step(what, path, 1)) || own_at(dirfd, path, what);
}
static int removal(int dirfd, const char* path) {
  return (in_folder(dirfd, path, "remove") && step("remove", path, 0)) || refused(dirfd, path) ||
         own_at(dirfd, path, "remove");
}
static int made_here(int fd) { return fd >= 0 && fd < kMaxFd && made[fd]; }
static int forget(int fd) {
  if (fd >= 0 && fd < kMaxFd) made[fd] = 0;
  return 0;
}
static int opened(int dirfd, const char* path, int flags, int fd) {
  const char* rel = NULL;
  if (fd >= 0 && fd < kMaxFd) made[fd] = (flags & O_CREAT) != 0 && where(dirfd, path, &rel) == 2;
  return fd;
}

/* The next definition of NAME after this one (libc's, or a sanitizer's
 * interceptor): converted through memcpy, since ISO C has no cast from an
 * object pointer to a function pointer. */
#define REAL(name, result, params)         \
  static result(*real) params = NULL;      \
  if (real == NULL) {                      \
    void* found = dlsym(RTLD_NEXT, #name); \
    memcpy(&real, &found, sizeof real);    \
  }

/* The call NAME, failing with -1 when FAULT (the step it takes) says so. */
#define WRAP(result, name, params, args, fault) \
  result name params {                           \
    if (fault) return -1;                        \
    REAL(name, result, params);                  \
    return real args;                            \
  }
/* The same for a call that changes something (TQ_FAULT_DONE). */
#define WRAP_CHANGE(name, params, args, fault) \
  int name params {                            \
    if (fault) return -1;                      \
    REAL(name, int, params);                   \
    return made_then(real args);               \
  }

/* An open: a step when it makes a file, whose writes are steps then. */
#define OPEN(name, params, dirfd, args)                        \
  int name params {                                            \
    mode_t mode = 0;                                           \
    if (flags & O_CREAT) {                                     \
      va_list list;                                            \
      va_start(list, flags);                                   \
      mode = (mode_t)va_arg(list, int);                        \
      va_end(list);                                            \
      exclusive = (flags & O_EXCL) != 0;                       \
      const int fault = onto(dirfd, path, "create");           \
      if (fault) exclusive = 0;                                \
      if (fault) return -1;                                    \
    } else if (own_at(dirfd, path, "open")) {                  \
      return -1;                                               \
    }                                                          \
    REAL(name, int, params);                                   \
    const int fd = made_then(real args);                       \
    exclusive = 0;                                             \
    return opened(dirfd, path, flags, fd);                     \
  }

OPEN(open, (const char* path, int flags, ...), AT_FDCWD, (path, flags, mode))
OPEN(open64, (const char* path, int flags, ...), AT_FDCWD, (path, flags, mode))
OPEN(openat, (int dirfd, const char* path, int flags, ...), dirfd, (dirfd, path, flags, mode))
OPEN(openat64, (int dirfd, const char* path, int flags, ...), dirfd, (dirfd, path, flags, mode))
WRAP(int, close, (int fd), (fd), forget(fd))
WRAP(ssize_t, write, (int fd, const void* bytes, size_t size), (fd, bytes, size),
     (made_here(fd) && step("write", "", 1)) || own_fd(fd, "write"))
WRAP(int, ftruncate, (int fd, off_t size), (fd, size), own_fd(fd, "ftruncate"))
/* A seek is no own call (TQ_FAULT_EINTR), but may fail (TQ_FAULT_EIO). */
static int seek_fails(int fd) {
  const char* rel = NULL;
  return !inside && env("TQ_FAULT_EIO")[0] != '\0' && where(AT_FDCWD, fd_path(fd), &rel) != 0 && io_error("lseek", rel);
}
WRAP(off_t, lseek, (int fd, off_t offset, int whence), (fd, offset, whence), seek_fails(fd))
WRAP(off64_t, lseek64, (int fd, off64_t offset, int whence), (fd, offset, whence), seek_fails(fd))
WRAP_CHANGE(rename, (const char* from, const char* to), (from, to), onto(AT_FDCWD, to, "rename onto"))
WRAP_CHANGE(renameat, (int fromfd, const char* from, int tofd, const char* to), (fromfd, from, tofd, to),
            onto(tofd, to, "rename onto"))
WRAP_CHANGE(renameat2, (int fromfd, const char* from, int tofd, const char* to, unsigned int flags),
            (fromfd, from, tofd, to, flags), onto(tofd, to, "rename onto"))
WRAP_CHANGE(link, (const char* from, const char* to), (from, to), onto(AT_FDCWD, to, "link onto"))
WRAP_CHANGE(linkat, (int fromfd, const char* from, int tofd, const char* to, int flags),
            (fromfd, from, tofd, to, flags), onto(tofd, to, "link onto"))
/* A folder made, which may vanish right after (TQ_FAULT_OTHER). */
static int vanishes(int dirfd, const char* path, int rc) {
  static int removed;
  if (rc != 0 && errno == EEXIST && !removed && strcmp(env("TQ_FAULT_OTHER"), "removes-root") == 0) {
    const char* full = full_path(dirfd, path);
    if (full != NULL && strcmp(full, env("TQ_FAULT_ROOT")) == 0) {
      removed = 1;
      rmdir(env("TQ_FAULT_ROOT"));
    }
    errno = EEXIST;
  }
  return rc;
}
/* The folder and its missing parents made first (TQ_FAULT_OTHER). */
static void made_first(int dirfd, const char* path) {
  static int made_it;
  if (made_it || strcmp(env("TQ_FAULT_OTHER"), "makes-root") != 0) return;
  const char* full = full_path(dirfd, path);
  if (full == NULL || strcmp(full, env("TQ_FAULT_ROOT")) != 0) return;
  made_it = 1;
  char parts[PATH_MAX];
  snprintf(parts, sizeof parts, "%s", full);
  REAL(mkdir, int, (const char*, mode_t));
  for (char* slash = parts; slash != NULL;) {
    slash = strchr(slash + 1, '/');
    if (slash != NULL) *slash = '\0';
    (void)real(parts, 0777);
    if (slash != NULL) *slash = '/';
  }
}
int mkdir(const char* path, mode_t mode) {
  if (onto(AT_FDCWD, path, "mkdir")) return -1;
  made_first(AT_FDCWD, path);
  REAL(mkdir, int, (const char*, mode_t));
  return made_then(vanishes(AT_FDCWD, path, real(path, mode)));
}
int mkdirat(int dirfd, const char* path, mode_t mode) {
  if (onto(dirfd, path, "mkdir")) return -1;
  made_first(dirfd, path);
  REAL(mkdirat, int, (int, const char*, mode_t));
  return made_then(vanishes(dirfd, path, real(dirfd, path, mode)));
}
WRAP_CHANGE(unlink, (const char* path), (path), removal(AT_FDCWD, path))
WRAP_CHANGE(rmdir, (const char* path), (path), removal(AT_FDCWD, path))
WRAP_CHANGE(remove, (const char* path), (path), removal(AT_FDCWD, path))
WRAP_CHANGE(unlinkat, (int dirfd, const char* path, int flags), (dirfd, path, flags), removal(dirfd, path))

/* Looks under /proc fail where it is hidden (TQ_FAULT_NO_PROC). */
static int no_proc(const char* path) {
  if (env("TQ_FAULT_NO_PROC")[0] == '\0' || path == NULL || strncmp(path, "/proc/", 6) != 0) return 0;
  errno = ENOENT;
  return 1;
}
WRAP(int, stat, (const char* path, struct stat* st), (path, st), no_proc(path))
WRAP(int, stat64, (const char* path, struct stat64* st), (path, st), no_proc(path))
WRAP(int, lstat, (const char* path, struct stat* st), (path, st), no_proc(path))
WRAP(int, fstatat, (int dirfd, const char* path, struct stat* st, int flags), (dirfd, path, st, flags), no_proc(path))

/* A lock is no step, but may be where the program is held, or be refused
 * (TQ_FAULT_OTHER). */
int flock(int fd, int operation) {
  char proc[64], path[PATH_MAX];
  snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  ssize_t got = readlink(proc, path, sizeof path - 1);
  const char* rel = NULL;
  if (got > 0) path[got] = '\0';
  if (got > 0 && where(AT_FDCWD, path, &rel) != 0) hold("flock", rel);
  const char* other = env("TQ_FAULT_OTHER");
  if (rel != NULL && strcmp(rel, ".kbbuild.lock") == 0 &&
      (strcmp(other, "holds-lock") == 0 || strcmp(other, "keeps-lock") == 0)) {
    if (strcmp(other, "holds-lock") == 0) unlink(path);
    errno = EWOULDBLOCK;
    return -1;
  }
  if (own_fd(fd, "flock")) return -1;
  REAL(flock, int, (int, int));
  return real(fd, operation);
}

/* The way into the folder and back out of it (TQ_FAULT_OTHER
 * "fails-return"). */
int fchdir(int fd) {
  static int entered;
  static long returns;
  const char* rel = NULL;
  const int in = !inside && where(AT_FDCWD, fd_path(fd), &rel) != 0;
  if (!in && entered && strcmp(env("TQ_FAULT_OTHER"), "fails-return") == 0) {
    entered = 0;
    const long nth = env("TQ_FAULT_RETURN")[0] != '\0' ? atol(env("TQ_FAULT_RETURN")) : 1;
    if (++returns == nth) {
      inside = 1;
      note("return", returns, "fchdir", "out", "failed");
      inside = 0;
      errno = EACCES;
      return -1;
    }
  }
  if (!inside && counting_calls() && own_call("fchdir", in ? rel : "out")) {
    return -1;
  }
  REAL(fchdir, int, (int));
  const int rc = real(fd);
  if (rc == 0 && in) entered = 1;
  return rc;
}

/* A flush fails like a write; it is otherwise skipped, to keep the test
 * quick: a killed program loses nothing the system holds, and power losses
 * are not what this injects. */
int fsync(int fd) {
  if ((made_here(fd) && step("fsync", "", 1)) || own_fd(fd, "fsync")) return -1;
  /* A flush of a folder that went well, anywhere, noted (TQ_FAULT_SYNCED). */
  struct stat st;
  if (!inside && env("TQ_FAULT_SYNCED")[0] != '\0' && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    inside = 1;
    const int out = open(env("TQ_FAULT_SYNCED"), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (out >= 0) dprintf(out, "%s\n", fd_path(fd));
    if (out >= 0) close(out);
    inside = 0;
  }
  return 0;
}
int fdatasync(int fd) { return made_here(fd) && step("fdatasync", "", 1) ? -1 : 0; }

/* Allocations (TQ_FAULT_MALLOC), counted once main has started: what the
 * loader and the libraries' constructors allocate before it is not the
 * program's to handle. Made through the C library's own entry points, so
 * that no lookup (which allocates) comes first. */
extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* block, size_t size);
extern void* __libc_memalign(size_t alignment, size_t size);
static long allocations;
static int counting;

static void note_line(const char* line) {
  int fd = open(env("TQ_FAULT_LOG"), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd >= 0) (void)!write(fd, line, strlen(line));
  if (fd >= 0) close(fd);
}

/* 1 when this allocation must fail. */
static int refuse_allocation(void) {
  if (!counting || inside) return 0;
  ++allocations;
  if (allocations != atol(env("TQ_FAULT_MALLOC"))) return 0;
  inside = 1;
  char line[64];
  snprintf(line, sizeof line, "allocation %ld: failed\n", allocations);
  note_line(line);
  inside = 0;
  errno = ENOMEM;
  return 1;
}

void* malloc(size_t size) { return refuse_allocation() ? NULL : __libc_malloc(size); }
void* calloc(size_t count, size_t size) { return refuse_allocation() ? NULL : __libc_calloc(count, size); }
void* realloc(void* block, size_t size) { return refuse_allocation() ? NULL : __libc_realloc(block, size); }
void* aligned_alloc(size_t alignment, size_t size) {
  return refuse_allocation() ? NULL : __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  if (refuse_allocation()) return ENOMEM;
  void* block = __libc_memalign(alignment, size);
  if (block == NULL) return ENOMEM;
  *out = block;
  return 0;
}

typedef int (*main_fn)(int, char**, char**);
static main_fn real_main;
static int counted_main(int argc, char** argv, char** envp) {
  counting = env("TQ_FAULT_MALLOC")[0] != '\0';
  int rc = real_main(argc, argv, envp);
  counting = 0;
  if (env("TQ_FAULT_MALLOC")[0] != '\0') {
    char line[64];
    snprintf(line, sizeof line, "allocations %ld\n", allocations);
    note_line(line);
  }
  return rc;
}
int __libc_start_main(main_fn main, int argc, char** argv, void (*init)(void), void (*fini)(void),
                      void (*rtld_fini)(void), void* stack_end) {
  real_main = main;
  REAL(__libc_start_main, int, (main_fn, int, char**, void (*)(void), void (*)(void), void (*)(void), void*));
  return real(counted_main, argc, argv, init, fini, rtld_fini, stack_end);
}

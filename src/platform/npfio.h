// Files of the system layer: binary, unbuffered for writing, with advisory
// locks that stand in for the share modes knowledge-base files are opened
// with. Paths may use '\' or '/' as the separator. Every system call made
// here that a signal can interrupt (EINTR) is made again, so that a
// program whose handlers do not restart calls, or a network file system,
// never sees a file fail for it.
#pragma once

#include <cstdint>

struct np_fio_file;
using np_fio_handle = np_fio_file*;

// Open mode bits.
inline constexpr uint32_t kNpFioRead = 1;
inline constexpr uint32_t kNpFioWrite = 2;
inline constexpr uint32_t kNpFioCreate = 4;   // create when missing, truncate when present
inline constexpr uint32_t kNpFioNoLock = 8;   // take no lock at all
inline constexpr uint32_t kNpFioShared = 16;  // shared lock; without it the lock is exclusive
// Only an existing regular file: a directory is kNpFioIsDirectory, anything
// else that is not a regular file (a pipe, a device) kNpFioNotRegular, and
// a pipe never blocks the open.
inline constexpr uint32_t kNpFioRegularOnly = 32;

// Statuses. Operations that return a count return a negative value on failure.
inline constexpr int32_t kNpFioOk = 0;
inline constexpr int32_t kNpFioNoMemory = 2;
inline constexpr int32_t kNpFioNotFound = 3;
inline constexpr int32_t kNpFioDenied = 4;
inline constexpr int32_t kNpFioIsDirectory = 5;
inline constexpr int32_t kNpFioTooManyOpen = 6;
inline constexpr int32_t kNpFioLocked = 7;
inline constexpr int32_t kNpFioNameTooLong = 8;
inline constexpr int32_t kNpFioBadArgument = 9;
inline constexpr int32_t kNpFioFailed = 11;
inline constexpr int32_t kNpFioWriteFailed = 12;
inline constexpr int32_t kNpFioReadOnly = 14;  // every write bit of the file is off
inline constexpr int32_t kNpFioNotRegular = 15;  // there, but a device, a pipe or a socket

// Path types (np_fio_ptype).
inline constexpr int32_t kNpFioPathEmpty = 0;
inline constexpr int32_t kNpFioPathName = 1;      // no separator
inline constexpr int32_t kNpFioPathRelative = 2;
inline constexpr int32_t kNpFioPathAbsolute = 3;  // starts with a separator or a drive "X:"

// Opens `path` with the mode bits above. A lock held elsewhere (another
// handle of this process included) that conflicts gives kNpFioLocked at once.
int32_t np_fio_open(const char* path, uint32_t mode, np_fio_handle* out);
// The identity of the open file (device and inode), the same for every name
// and link that reaches it.
struct np_fio_id {
  uint64_t device;
  uint64_t inode;
};
int32_t np_fio_identity(np_fio_handle handle, np_fio_id* out);
// A version of a file: its identity, size and modification time. A save
// replaces a file by a new one (a new identity); a change made in place
// moves its size or its time.
struct np_fio_version {
  uint64_t device;
  uint64_t inode;
  int64_t size;
  int64_t mtime_sec;
  int64_t mtime_nsec;
};
// The version of the open file as it was opened (no system call).
int32_t np_fio_version_opened(np_fio_handle handle, np_fio_version* out);
// The version of the open file now (fstat, through the fault hook).
int32_t np_fio_version_now(np_fio_handle handle, np_fio_version* out);
// The identity of whatever `path` names, a folder too, links followed.
int32_t np_fio_path_identity(const char* path, np_fio_id* out);
// The file a write that replaces `path` must replace: `path` itself, or,
// when it is a symbolic link, the file the chain of links ends at (which
// need not exist yet). kNpFioNameTooLong when that does not fit in size;
// kNpFioFailed for a loop of links.
int32_t np_fio_link_resolve(const char* path, char* out, uint32_t size);
// Gives the open file the access control list and the permission bits
// (0777) of the file at `path`; nothing (kNpFioOk) when there is none. A
// file without a list (or on a file system without lists) makes the open
// file lose the one it may have taken from its folder's default list. The
// list is set before the bits, so that the open file is at no moment open
// to more than the file at `path`. A list or bits the system refuses
// (EPERM: neither the file's owner nor privileged to act as one) give
// kNpFioDenied, the reason kept for np_fio_last_error. On a failure,
// *unread tells whether it was met reading the list or the bits of the
// file at `path` (nothing was given then) rather than giving them.
int32_t np_fio_permissions_copy(np_fio_handle handle, const char* path, bool* unread);
// Closes the file and releases its lock; NULL is ignored.
int32_t np_fio_close(np_fio_handle handle);
// Reads one line of at most size - 1 bytes, the '\n' kept, and terminates
// it. The byte count; 0 at the end of the file; negative on failure, the
// buffer emptied (the part read before the failure is not a line). A read
// that failed fails every read of the handle after it, with the same
// reason: where the file stands after it is not known.
int32_t np_fio_gets(np_fio_handle handle, char* buffer, uint32_t size);
// Reads up to size bytes, fewer only at the end of the file: the count, 0
// at the end, negative on failure, and from then on. A read that fails
// after some bytes fails the call, those bytes not handed out, so that a
// failure is never taken for the end of the file (readers feeding a parser
// in large blocks would otherwise parse a truncated file as a whole one).
int32_t np_fio_getb(np_fio_handle handle, void* buffer, uint32_t size);
// Writes the text (without its terminator) or the bytes in full: the count,
// or -kNpFioWriteFailed.
int32_t np_fio_puts(np_fio_handle handle, const char* text);
int32_t np_fio_putb(np_fio_handle handle, const void* bytes, uint32_t size);
// Cuts the file at the current position.
int32_t np_fio_trunc(np_fio_handle handle);
// 0 when `path` names a regular file, else a status: kNpFioNotFound only
// when nothing is there (ENOENT, or a step of the path that is not a
// folder), kNpFioIsDirectory, kNpFioNotRegular, or the status of the
// system's refusal, its reason kept. `flags` must be 0.
int32_t np_fio_stat(const char* path, uint32_t flags);
// Removes the name. Nothing there after an interrupted attempt is success:
// that attempt removed it.
int32_t np_fio_unlink(const char* path);
int32_t np_fio_ptype(const char* path);

// The system's error number behind the last failure of this layer on this
// thread (0 when none yet), and its text in the system's words ("No space
// left on device"), so that callers can name the cause. A file that is not
// a regular file has a number of this layer, whose text says so.
int np_fio_last_error();
// Makes a failure met earlier the last one again, for a caller that went on
// past it and now reports it.
void np_fio_last_error_set(int err);
const char* np_fio_error_text(int err, char* buffer, uint32_t size);

// Whether a file may be replaced by a writer: kNpFioOk when `path` names
// nothing, or a file with a write bit that this process may write;
// kNpFioReadOnly for a file whose write bits are all off (the owner made it
// read-only: refused even to a privileged writer); kNpFioDenied for one we
// may not write; another status when it cannot be looked at.
int32_t np_fio_writable(const char* path);
// Makes an empty file at `path` unless something is there already (never
// truncates): kNpFioOk, *made telling which. The file is made under a
// temporary name and linked to `path`, so that an attempt interrupted
// after it made the file is known by the file's identity. On a file system
// without hard links it is made in place; there a name found taken after
// an interrupted attempt is counted as someone else's (*made false).
// The temporary name is removed on every way out; when the system refuses
// (it stays beside the file), *kept_err is its reason and `kept` (of
// kept_size bytes, PATH_MAX enough) its name, whatever the result; else
// *kept_err is 0. kept_err NULL: not asked.
int32_t np_fio_create_new(const char* path, bool* made, char* kept = nullptr, uint32_t kept_size = 0,
                          int* kept_err = nullptr);
// Forces the file's contents to the disk.
int32_t np_fio_sync(np_fio_handle handle);
// Renames `from`, the file `from_id` (its open handle's identity), over
// `to` (one folder) and forces the folder to the disk, so that after a
// power loss the name holds the new file. A source missing after an
// interrupted attempt is success when `to` now reaches that file: the
// attempt was made. kNpFioOk once renamed, *folder_err then 0, or the
// system's error that kept the folder from the disk (it could not be
// opened or flushed): a power loss may then bring back the old file,
// whole (the caller has synced the new one).
int32_t np_fio_replace(const char* from, const char* to, const np_fio_id* from_id, int* folder_err);

// Gives the open file the owner and group of the file at `path` (nothing
// there: kNpFioOk). One that this process may not set is let go only where
// that changes nobody's access: the owner when the owner's, group's and
// others' permission bits of `path` are alike, the group when the group's
// and others' are, and never for a file with an access control list
// (whose entries may hold someone to less than the bits say). Otherwise
// kNpFioDenied, the system's reason kept for
// np_fio_last_error and the file's owner and group in *uid and *gid. Any
// other failure (the owner could not be read) is its status, with the
// reason kept; *uid and *gid are kNpFioOwnerUnknown unless refused.
inline constexpr uint32_t kNpFioOwnerUnknown = 0xFFFFFFFFu;
int32_t np_fio_owner_copy(np_fio_handle handle, const char* path, uint32_t* uid, uint32_t* gid);

// Temporary files beside a file being replaced are named
// "<file>.~tq<pid>.<count>", and held under a shared advisory lock from
// their making until the handle is closed, which a writer does only after
// the file has taken its final name. np_fio_temp_open creates one (never
// an existing file) for reading and writing, its path in out, with the
// permission bits `mode` (0666 at most) less the umask, or as the folder's
// default access control list gives them;
// np_fio_temp_sweep removes those of earlier writes of the same file that
// ended without finishing: a temporary file is stale when no process of
// its id runs here and nobody holds its lock (a writer in another process
// namespace or on another host is known by its lock alone). The files of
// this process are never touched: its writes in progress are alive, and
// its failed ones removed their own.
// A failure of np_fio_temp_open leaves no file behind, and neither does a
// create interrupted after it made its file (found then by its name taken,
// unlocked: removed, and another name tried), unless the system refuses to
// remove a file it made before the failure (its lock or its identity could
// not be had): out then keeps that file's name and *kept_err (when given)
// the system's reason; else out is emptied and *kept_err is 0. Without
// kept_err, out is emptied all the same.
int32_t np_fio_temp_open(const char* target, uint32_t mode, char* out, uint32_t size, np_fio_handle* handle,
                         int* kept_err = nullptr);
void np_fio_temp_sweep(const char* target);

// Appends the bytes to the file at `path` (made, 0644 less the umask, when
// missing; emptied first with `truncate`), open only for the call, in as
// few writes as the system takes, so that lines appended by several
// processes stay whole.
int32_t np_fio_append(const char* path, const void* bytes, uint32_t size, bool truncate);

// ---- Files of a folder held open -------------------------------------------
// A lock holds a file as the folder that holds it and its name there, so
// that every later step on the file reaches that file whatever the
// folder's path or a link leads to by then. `dir` is a descriptor from
// np_fio_folder_open; `name` one component of it (no '/', not "." or "..":
// kNpFioBadArgument). A link found at the name is never followed: the name
// is no longer the file held, kNpFioNotRegular. Each call goes through the
// fault hook by its system call's name ("openat", "fstatat", "renameat",
// "unlinkat", "faccessat"; the folder's own "open", "fstat", "fsync").
//
// Opens the folder at `path` (links followed), readable when it may be,
// else only to reach its files: its descriptor and its identity.
int32_t np_fio_folder_open(const char* path, int* dir, np_fio_id* id);
// Closes it; a negative descriptor is ignored.
void np_fio_folder_close(int dir);
// np_fio_open for the file of the folder.
int32_t np_fio_open_at(int dir, const char* name, uint32_t mode, np_fio_handle* out);
// np_fio_stat for the file of the folder.
int32_t np_fio_stat_at(int dir, const char* name);
// The version of the file of the folder (a link at the name not followed:
// kNpFioNotRegular), or a status.
int32_t np_fio_version_at(int dir, const char* name, np_fio_version* out);
// np_fio_writable for the file of the folder.
int32_t np_fio_writable_at(int dir, const char* name);
// Removes the name from the folder. Nothing there after an interrupted
// attempt is success.
int32_t np_fio_unlink_at(int dir, const char* name);
// Removes the name of the file `held` (open: a lock file held) from the
// folder, `name` there, only while the name reaches that file: never
// another file that has taken the name since. The held file's links are
// asked first (none left: someone else removed it), then what the name
// reaches. The system removes a file by name only, so a name looked at and
// then removed may be another file by the removal: ours removed by someone
// else in that moment and another editor's lock file made at the name.
// Taking the name aside first to look at it there would close that
// moment, but needs room in the folder that a removal never needs and
// leaves a second name to clear should it stay; the held file's links are
// asked again instead, which tells such a removal unless ours lost its
// last link in that same moment.
// kNpFioOk: removed. kNpFioNotFound: the name did not reach the held file
// (it had been removed, or replaced, by someone else): nothing is removed,
// unless *removed_other (when given) says that the removal found another
// file at the name and took it. Another status: the system refused (its
// reason kept) and the held file stays under its name.
int32_t np_fio_remove_held(int dir, const char* name, np_fio_handle held, bool* removed_other);
// np_fio_temp_open and np_fio_temp_sweep beside the file of the folder:
// out receives the temporary file's name in the folder.
int32_t np_fio_temp_open_at(int dir, const char* name, uint32_t mode, char* out, uint32_t size,
                            np_fio_handle* handle, int* kept_err = nullptr);
void np_fio_temp_sweep_at(int dir, const char* name);
// np_fio_replace within the folder: renames `from` over `to`, both of it,
// then forces that folder (through the descriptor) to the disk.
int32_t np_fio_replace_at(int dir, const char* from, const char* to, const np_fio_id* from_id, int* folder_err);
// np_fio_owner_copy and np_fio_permissions_copy from an open file (the
// file being replaced, held open), rather than from a path; a NULL `from`
// (no file there) gives nothing, kNpFioOk.
int32_t np_fio_owner_copy_from(np_fio_handle handle, np_fio_handle from, uint32_t* uid, uint32_t* gid);
int32_t np_fio_permissions_copy_from(np_fio_handle handle, np_fio_handle from, bool* unread);

// For tests of failure paths: a function asked before each system call of
// this layer, with the call's name ("open", "fstat", "flock", "rename",
// ...). 0 lets the call be made; an error number makes it fail with that
// error without being made, as the system would (EINTR: interrupted, and
// made again). An error number with kNpFioFaultAfter added makes the call
// and then fails it with that error, as a network or FUSE file system may
// answer EINTR for work it has done: meant for the calls whose work stays
// in the file system (rename, link, an exclusive open, unlink); a
// descriptor an open made is closed again, and a call that answers a
// pointer fails without being made. NULL, the default, asks nothing; the
// hook is read once per call, with no lock. Not for use while other
// threads make file calls.
inline constexpr int kNpFioFaultAfter = 0x40000000;
using np_fio_fault_fn = int (*)(const char* call);
void np_fio_fault_set(np_fio_fault_fn hook) noexcept;

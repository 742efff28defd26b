// Files of the system layer: binary, unbuffered for writing, with advisory
// locks that stand in for the share modes knowledge-base files are opened
// with. Paths may use '\' or '/' as the separator.
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
// Only an existing regular file: anything else (a directory, a pipe, a
// device) is kNpFioNotFound, and a pipe never blocks the open.
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
// The file a write that replaces `path` must replace: `path` itself, or,
// when it is a symbolic link, the file the chain of links ends at (which
// need not exist yet). kNpFioNameTooLong when that does not fit in size;
// kNpFioFailed for a loop of links.
int32_t np_fio_link_resolve(const char* path, char* out, uint32_t size);
// Gives the open file the permission bits (0777) of the file at `path`;
// nothing (kNpFioOk) when there is none.
int32_t np_fio_mode_copy(np_fio_handle handle, const char* path);
// Closes the file and releases its lock; NULL is ignored.
int32_t np_fio_close(np_fio_handle handle);
// Reads one line of at most size - 1 bytes, the '\n' kept, and terminates
// it. The byte count; 0 at the end of the file; negative on failure.
int32_t np_fio_gets(np_fio_handle handle, char* buffer, uint32_t size);
// Reads up to size bytes: the count, 0 at the end, negative on failure.
int32_t np_fio_getb(np_fio_handle handle, void* buffer, uint32_t size);
// Writes the text (without its terminator) or the bytes in full: the count,
// or -kNpFioWriteFailed.
int32_t np_fio_puts(np_fio_handle handle, const char* text);
int32_t np_fio_putb(np_fio_handle handle, const void* bytes, uint32_t size);
// Cuts the file at the current position.
int32_t np_fio_trunc(np_fio_handle handle);
// 0 when `path` names a regular file, else a status. `flags` must be 0.
int32_t np_fio_stat(const char* path, uint32_t flags);
int32_t np_fio_unlink(const char* path);
int32_t np_fio_ptype(const char* path);

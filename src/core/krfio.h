// The file layer: every knowledge-base file is named by its kind, found
// along the context's search path and opened through here, so that file
// statuses become result codes in one place. The search path itself is a
// path_list.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "core/krerr.h"

struct np_fio_file;

namespace tq {

// Directories of a search path. `block` owns one copy of the text given, in
// which every ';' became a terminator; dirs[i] points into it. Empty
// directories are not listed. The block is kept apart from dirs[0] because
// a leading empty directory moves dirs[0] past the block's start.
struct path_list {
  uint32_t count;
  char** dirs;
  char* block;
};

// File kinds; the index selects the extension.
enum fio_kind : uint32_t {
  kFioKindDat = 0,   // "dat"
  kFioKindSch = 1,   // "sch"
  kFioKindMct = 2,   // "mct"
  kFioKindXml = 3,   // "xml": plain XML
  kFioKindKrd = 4,   // "krd": older form of the vault
  kFioKindLck = 5,   // "lck": lock files
  kFioKindKrv = 6,   // "krv": older form of the vault vocabulary
  kFioKindZel = 7,   // "zel": vault files
  kFioKindZev = 8,   // "zev": vault vocabulary files
};
inline constexpr uint32_t kFioKindCount = 9;

// Engine open flags. 1, 2, 4 and 8 pass to the file library unchanged;
// 16 asks for an exclusive open (without it files are shared); 32 uses the
// name as given, with no extension added.
inline constexpr uint32_t kFioFlagRead = 1;
inline constexpr uint32_t kFioFlagWrite = 2;
inline constexpr uint32_t kFioFlagCreate = 4;
inline constexpr uint32_t kFioFlagNoLock = 8;
inline constexpr uint32_t kFioFlagExclusive = 16;
inline constexpr uint32_t kFioFlagNameAsGiven = 32;
inline constexpr uint32_t kFioOpenRead = 1;
inline constexpr uint32_t kFioOpenWrite = 6;   // created or truncated
inline constexpr uint32_t kFioOpenLock = 22;   // exclusive, created or truncated

// Size of the name and path buffers the layer builds into.
inline constexpr uint32_t kFioPathSize = 16384;

// An open file: one heap cell holding the file library's handle.
struct fio_handle {
  np_fio_file* file;
};

// The extension of a kind (without '.'), NULL for a kind out of range.
const char* fio_kind_extension(uint32_t kind);

// The record of an empty list; -600.
int32_t path_list_create(path_list** out);
// Replaces the directories by those of a ';'-separated text; NULL or empty
// text leaves the list empty. On -600 the list keeps its old directories.
int32_t path_list_set(context* ctx, path_list* list, const char* text);
// The directories joined by ';' into out: at most size - 1 bytes, cut between
// characters, terminated. Empty text for an empty list or size below 2.
int32_t path_list_join(context* ctx, const path_list* list, char* out, uint32_t size);
// Replaces dst's directories by a copy of src's; -600 (dst then unchanged).
int32_t path_list_copy(context* ctx, const path_list* src, path_list* dst);
// Frees the directories, not the record; count 0.
int32_t path_list_free(context* ctx, path_list* list);
// Frees the directories and the record; NULL is ignored.
void path_list_destroy(path_list* list);

// dir + '/' + name, the '/' left out when dir already ends in '/' or '\' (or
// is empty). -1 when the result does not fit in size, out then empty.
int32_t fio_path_join(const char* dir, const char* name, char* out, uint32_t size);
// The name with the extension (a leading '.' of it ignored): kept when the
// name already has it; the older twin replaced ("krd" -> "zel",
// "krv" -> "zev"); otherwise appended. -1 when it does not fit.
int32_t fio_name_extension_set(const char* name, const char* extension, char* out, uint32_t size);
// The name without a strippable extension ("xml", "krd", "krv", "zel",
// "zev"); -1 when it does not fit.
int32_t fio_name_extension_strip(const char* name, char* out, uint32_t size);
// The file name for a kind: with flag 32 the name as given, else with the
// kind's extension. -1 for a kind out of range or a result that does not fit.
int32_t fio_name_build(context* ctx, uint32_t kind, uint32_t flags, const char* name, char* out,
                       uint32_t size);
// The last component of a path ('/' or '\' separated; a trailing separator
// ignored); the whole path when it has no separator. -1 when it does not fit.
int32_t fio_path_basename_get(const char* path, char* out, uint32_t size);
// 0 a plain name, 1 a relative path, 2 an absolute path, -1 otherwise.
int32_t fio_path_type(const char* path);

// Finds an existing file of a kind: a path is checked as it is, a plain
// name along the search path. 0 with out the path found; -404 when there is
// none; -1 for a bad kind, an empty search path or a path too long for out.
int32_t fio_path_resolve(context* ctx, const char* name, uint32_t kind, char* out, uint32_t size);
// Opens a file of a kind, a plain name in the first search-path directory
// where it opens. -401 when any attempt found the file locked, -400 when no
// attempt opened it, -600, -1 for a bad kind or name.
int32_t fio_open_in_path(context* ctx, const char* name, uint32_t kind, uint32_t flags,
                         fio_handle** out);
// Opens one path with engine open flags; the file statuses mapped.
int32_t fio_open(const char* path, uint32_t flags, fio_handle** out);
// Opens a path when it names an existing regular file: -404 when it does
// not (nothing there, a folder, a pipe, a folder on the way that cannot be
// searched), so that a search goes on to its next folder; otherwise as
// fio_open. One open for a file that is there or plainly missing.
int32_t fio_open_existing(const char* path, uint32_t flags, fio_handle** out);
// Closes and frees; NULL is ignored.
void fio_close(fio_handle* handle);
// The identity of an open file: equal for every name or link reaching it.
struct fio_file_id {
  uint64_t device;
  uint64_t inode;
  bool operator==(const fio_file_id&) const = default;
};
// 0, or -802 for NULL.
int32_t fio_identity(fio_handle* handle, fio_file_id* out);
// The file that a write replacing `path` by a new file must replace: the
// end of the chain when `path` is a symbolic link (so the link stays a
// link), else `path`. -1 when it does not fit in out; -400 for a loop of
// links or a link that cannot be read.
int32_t fio_replace_target(const char* path, char* out, uint32_t size);
// A line with its '\n' (at most size - 1 bytes, terminated): the count, 0 or
// less at the end or on failure.
int32_t fio_gets(fio_handle* handle, char* buffer, uint32_t size);
// Up to size bytes: the count, 0 or less at the end or on failure.
int32_t fio_getb(fio_handle* handle, void* buffer, uint32_t size);
// The count written, or -402.
int32_t fio_puts(fio_handle* handle, const char* text);
int32_t fio_putb(fio_handle* handle, const void* bytes, uint32_t size);
// Cuts the file at the current position: 0 or -400.
int32_t fio_trunc(fio_handle* handle);
// 0 when path names a regular file, with the path copied into out (when out
// is not NULL; the rest of out zeroed); -404 when it does not; -1 when the
// path does not fit in out.
int32_t fio_stat(const char* path, char* out, uint32_t size);
// 0 or -400.
int32_t fio_unlink(const char* path);

// Prepares `path` for a write that will replace it: 0 when it may be
// replaced; a missing file is made empty (*made true), since a lock file
// needs the file it guards, while an existing one is left as it is. A file
// the replacing write would refuse (read-only, see below) is refused here
// too, -400 recorded; so is a file that cannot be made.
int32_t fio_prepare_replace(context* ctx, const char* path, bool* made);

// The system's words for the cause of the last failed file operation of
// this thread ("Permission denied"), into buffer.
const char* fio_last_error_text(char* buffer, uint32_t size);
// Records why opening `path` failed with rc: a file locked by someone else
// says so (-401); other failures name the system's reason. The _text form
// gives the text instead, for a reader that records it later.
void fio_report_open_failure(context* ctx, int32_t rc, const char* path);
void fio_open_failure_text(int32_t rc, const char* path, char (&out)[kErrTextSize]);
// Why the plain name was found in no folder of the search path: the
// knowledge-base root is missing or is not a folder, the search path is
// empty, or (the folders being there) the search path it was looked for in.
void fio_missing_text(context* ctx, const char* name, char (&out)[kErrTextSize]);
// Why fio_open_in_path failed with rc for the name as the kind: the file
// that is there and could not be opened, with the system's reason (or that
// it is locked), else why it was not found.
void fio_open_in_path_failure_text(context* ctx, const char* name, uint32_t kind, uint32_t flags, int32_t rc,
                                   char (&out)[kErrTextSize]);

// Writes a file whole into a new file beside `path` and renames it over
// `path` (over the file a link ends at, so the link stays a link), so that
// nobody ever sees a part of it and a failure leaves what was there:
// - an existing file whose write bits are all off, or that this process may
//   not write, is refused (-400, recorded), as is one locked by someone else
//   (-401);
// - the present file is held (locked) while its replacement is written;
// - temporary files that earlier writes of the same file left when they
//   were killed are removed first (never one that is being written);
// - the new file is born readable and writable by its owner alone (0600
//   less the umask) and takes the old one's owner, group, access control
//   list and permission bits, in that order, before its first byte, so
//   that it is never open to anyone the old file was not. An owner or
//   group this process may not give it is refused (-400, recorded with the
//   owner, the group and the system's reason, the file left as it was)
//   unless the old file has no access control list and its permission
//   bits grant that class nothing the others lack (see
//   np_fio_owner_copy); a list or bits it may not give it
//   are refused alike (-400, recorded with the system's reason). A file
//   that was not there is born as the system makes a new file (0666 less
//   the umask, or as the folder's default list says) and keeps that;
// - the new file is forced to the disk before the rename, and the folder
//   after it; it stays open, and so locked against sweeps, until it has
//   been renamed.
// fill writes the contents through the handle it is given: 0, or its
// failure (-402 for a write the system refused). Every failure is recorded
// with the file's name and the system's reason, and removes the temporary
// file.
using fio_fill_fn = int32_t (*)(fio_handle* file, void* arg);
int32_t fio_write_replacing(context* ctx, const char* path, fio_fill_fn fill, void* arg);
// For tests: a function called with the temporary file's path as it is
// made (nothing done to it yet), as it is about to be filled (it has the
// old file's owner, group, list and bits, and no byte), and once it is
// written and on the disk, just before the rename; NULL for none. Not for
// use while writes run on other threads.
enum class fio_write_stage { made, filling, renaming };
void fio_write_hook_set(void (*hook)(fio_write_stage stage, const char* temp));
template <typename F>
int32_t fio_write_replacing(context* ctx, const char* path, F&& fill) {
  return fio_write_replacing(
      ctx, path, [](fio_handle* file, void* arg) -> int32_t { return (*static_cast<F*>(arg))(file); },
      static_cast<void*>(&fill));
}

}  // namespace tq

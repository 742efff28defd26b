// The file layer: every knowledge-base file is named by its kind, found
// along the context's search path and opened through here, so that file
// statuses become result codes in one place. The search path itself is a
// path_list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

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

// A path buffer on the heap, of kFioPathSize bytes unless another size is
// asked for: the layer's paths are far too large for the stack of a small
// thread. Check ok() (false when memory ran out: the caller's answer is
// then -600). It starts as empty text.
class fio_path_buffer {
 public:
  explicit fio_path_buffer(uint32_t size = kFioPathSize);
  ~fio_path_buffer();
  fio_path_buffer(const fio_path_buffer&) = delete;
  fio_path_buffer& operator=(const fio_path_buffer&) = delete;
  bool ok() const { return text_ != nullptr; }
  char* get() { return text_; }
  const char* get() const { return text_; }
  uint32_t size() const { return size_; }

 private:
  char* text_;
  uint32_t size_;
};

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
// The length fio_path_join's result has (or would have), terminator not
// counted.
size_t fio_path_join_length(const char* dir, const char* name);
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

// Why a file could not be opened or looked at, kept when it failed: the
// system's error number and what it says of trying again.
struct fio_failure {
  int err = 0;
  err_cause cause = err_cause::none;
};

// The search path walked for a plain file name (its extension already
// given): the one walk every reader and writer takes, so that its edges
// are met alike. Each folder joined with the name is visited in order; a
// folder whose join is too long for a path is not visited (nothing of the
// file can be known there) and the length of the first such join is kept.
// The visitor answers true to end the walk.
struct fio_walk_end {
  uint32_t folders = 0;  // folders the search path has
  uint32_t visited = 0;  // folders whose join was visited
  uint32_t refused = 0;  // the first join too long for a path; 0 when none
  bool stopped = false;  // the visitor ended the walk
};
using fio_visit_fn = bool (*)(const char* path, void* arg);
// 0 when walked (stopped or not); -600 when the path buffer cannot be had,
// no folder visited then.
int32_t fio_search_walk(context* ctx, const char* name, fio_walk_end* end, fio_visit_fn visit, void* arg);
template <typename F>
int32_t fio_search_walk(context* ctx, const char* name, fio_walk_end* end, F&& visit) {
  return fio_search_walk(
      ctx, name, end, [](const char* path, void* arg) -> bool { return (*static_cast<F*>(arg))(path); },
      static_cast<void*>(&visit));
}
// The refusal of a file to be written along the search path when the walk
// visited no folder: -400, recorded as a read of the name says it, with the
// length of the join and the limit (message 2141) when every join was too
// long, or as no folder to make it in (message 2140) when the search path
// is empty.
int32_t fio_walk_nowhere(context* ctx, const fio_walk_end& end, const char* name);

// Finds an existing file of a kind: a path is checked as it is, a plain
// name along the search path. 0 with out the path found; -404 when there is
// none; -400 when the file could not be looked at (out then the path that
// could not; its reason also left as this thread's last file error); -1
// for a bad kind, an empty search path or a path too long for out. *why
// (when not NULL) says why it failed; a cause that may pass is counted on
// the context (err_passing_count). A folder whose join with the name is too
// long for a path is passed over; *refused (when not NULL) gets the length
// of the first such join, 0 when there was none, so that a name found
// nowhere can say why.
int32_t fio_path_resolve(context* ctx, const char* name, uint32_t kind, char* out, uint32_t size,
                         fio_failure* why = nullptr, uint32_t* refused = nullptr);
// Opens one path with engine open flags; the file statuses mapped.
int32_t fio_open(const char* path, uint32_t flags, fio_handle** out);
// Opens a path when it names an existing regular file: -404 when it does
// not (nothing there, a folder, a pipe, a folder on the way that cannot be
// searched), so that a search goes on to its next folder; otherwise as
// fio_open. One open for a file that is there or plainly missing.
int32_t fio_open_existing(const char* path, uint32_t flags, fio_handle** out);

// The older form a kind's file may still have: "krd" for "zel", "krv" for
// "zev"; kFioKindCount for a kind without one.
uint32_t fio_kind_older(uint32_t kind);
// The engine open flags with the context's options applied: no lock at all
// (TQ_OPT_NO_LOCK_FILES), or an exclusive open (TQ_OPT_SECOND_OPEN_FLAG).
// The options set bits rather than add them: adding 16 to the lock-file
// flags 22 would carry into 32 and open the lock file shared.
uint32_t fio_context_flags(const context* ctx, uint32_t flags);

// How an open of a knowledge-base file ended, kept when it ended, so that
// what is said about a failure is what happened then and no later attempt
// (another folder, another form, a look-up for the report) speaks for it.
struct fio_open_report {
  int32_t rc = 0;                     // as the open returned it
  uint32_t kind = kFioKindCount;      // the kind the file was met as
  int err = 0;                        // the system's error number of the failed attempt
  err_cause cause = err_cause::none;  // what that failure says of trying again
  // The file met; when none was, the name looked for. The report's own copy
  // on the heap ("" when memory ran out for it: the report is then -600).
  const char* path = "";
  // When no folder had the file: the length of the first join of the name
  // with a search-path folder that was too long for a path (that folder
  // was not looked in); 0 when none was.
  uint32_t refused_length = 0;

  fio_open_report() = default;
  ~fio_open_report();
  fio_open_report(const fio_open_report&) = delete;
  fio_open_report& operator=(const fio_open_report&) = delete;
  // Keeps a copy of the text as path: false when memory ran out (path "").
  bool path_set(const char* text);

 private:
  char* owned_ = nullptr;
  size_t capacity_ = 0;
};
// Opens one path, as it is, with the context's options (fio_context_flags):
// 0; -401 when someone else holds the file; -404 when no file is there (a
// folder or a pipe is none); -400 when the file is there but could not be
// opened; -600. *report says how it ended; a failure whose cause may pass
// is counted on the context (err_passing_count), as by fio_open_in_path.
int32_t fio_open_file(context* ctx, const char* path, uint32_t flags, fio_handle** out, fio_open_report* report);
// Opens the file a name stands for: as the kind, then as its older form
// (fio_kind_older; not with flag 32, where the name is the file), each a
// path as it is or a plain name along the search path, with the context's
// options. The first file met ends the search whatever its open gives: a
// file held elsewhere is -401, and is never passed over for a later folder
// or an older form. 0; -401; -400 for a file there that could not be
// opened, or for one in no folder where some folder's join with the name
// was too long for a path (report.refused_length); -404 when there is no
// file in any form; -600; -1 for a bad kind or a name that is empty or
// does not fit. *report says how it ended.
int32_t fio_open_in_path(context* ctx, const char* name, uint32_t kind, uint32_t flags, fio_handle** out,
                         fio_open_report* report);
// Looks for the file a name stands for as fio_open_in_path opens it (the
// same forms, folders, order and edges), without opening it: 0 with
// report->path the file found and report->kind its form; -404; -400 for a
// folder where the file could not be looked at and none that has it, or a
// join too long for a path (report.refused_length); -600; -1 for a bad kind
// or a name that is empty or does not fit. *report says how it ended.
int32_t fio_find_in_path(context* ctx, const char* name, uint32_t kind, uint32_t flags, fio_open_report* report);
// The one account of a failed open, whatever file and kind it was for: a
// file someone else holds is locked (message 1863, for -401, naming the
// file); memory that ran out while it was tried is said so (-600); a file
// there that could not be opened gets the system's reason kept in the
// report; a name found nowhere, why it was not found (fio_missing_text).
void fio_open_report_text(context* ctx, const fio_open_report& report, char (&out)[kErrTextSize]);
// Records that text with the report's result, a name found nowhere as
// -400, as the readers return it; -600 is not recorded.
void fio_open_report_record(context* ctx, const fio_open_report& report);
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
// One version of a file, as something was read from it or a save wrote
// it. A save replaces the file by a new one, so its device and inode tell
// a new version; size and modification time catch a file changed in
// place. Unknown (all zero: no file has inode 0) for what was not read
// from a file.
struct fio_version {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t mtime_sec = 0;
  int64_t mtime_nsec = 0;
  bool known() const { return inode != 0; }
  bool operator==(const fio_version&) const = default;
};
// The version of an open file as it was opened: what a read of it read.
fio_version fio_version_opened(fio_handle* handle);
// The version of the file of a held folder now (-400 when it cannot be
// looked at or is not a regular file there, -404 when it is gone, -600).
int32_t fio_version_at(int folder, const char* name, fio_version* out);
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
// A block of up to size bytes, fewer only at the end: the count, 0 at the
// end, negative when a read failed (np_fio_getb), *why (when not
// NULL) then the failure as it happened.
int32_t fio_read_block(fio_handle* handle, void* buffer, uint32_t size, fio_failure* why = nullptr);
// What a failure with the system's error number err says of trying again.
err_cause fio_error_cause(int err);
// The system's reason for a failure, as text.
const char* fio_failure_text(const fio_failure& failure, char* buffer, uint32_t size);
// The count written, or -402.
int32_t fio_puts(fio_handle* handle, const char* text);
int32_t fio_putb(fio_handle* handle, const void* bytes, uint32_t size);
// Cuts the file at the current position: 0 or -400.
int32_t fio_trunc(fio_handle* handle);
// 0 when path names a regular file, with the path copied into out (when out
// is not NULL; the rest of out zeroed); -404 when it does not; -400 when it
// could not be looked at (*why, when not NULL, then says why); -1 when the
// path does not fit in out.
int32_t fio_stat(const char* path, char* out, uint32_t size, fio_failure* why = nullptr);
// 0 or -400.
int32_t fio_unlink(const char* path);

// Prepares `path` for a write that will replace it: 0 when it may be
// replaced; a missing file is made empty (*made true), since a lock file
// needs the file it guards, while an existing one is left as it is. A file
// the replacing write would refuse (read-only, see below) is refused here
// too, -400 recorded; so is a file that cannot be made. The file is made
// through a temporary name; one the system keeps is named (message 2063)
// under the failure, or, when there is none, TQ_WARN_TEMPORARY_STAYS
// (119), *made as it was.
int32_t fio_prepare_replace(context* ctx, const char* path, bool* made);

// The system's words for the cause of the last failed file operation of
// this thread ("Permission denied"), into buffer.
const char* fio_last_error_text(char* buffer, uint32_t size);
// Records why opening `path` failed with rc, as fio_open_report_record
// does, with the reason kept in `why`.
void fio_report_open_failure(context* ctx, int32_t rc, const char* path, const fio_failure& why);
// The same for an open that has just failed, its reason this thread's last
// file error, read now; a cause that may pass is counted on the context.
void fio_report_open_failure(context* ctx, int32_t rc, const char* path);
// Why a plain name was found in no folder of the search path where it could
// be looked for: joined with a folder, it made a path of `length` bytes,
// too long for one (message 2141).
void fio_refused_join_text(const char* name, uint32_t length, char (&out)[kErrTextSize]);
// The refusal of a file that is to be made along the search path when no
// folder is given and the search path is empty: -400, recorded (message
// 2140) naming the call and the file.
int32_t fio_no_folder_report(context* ctx, const char* name);
// Why the name was not found. A path (a name holding '/' or '\') is never
// looked for along the search path: the path was not found. A plain name
// was in no folder of the search path: the knowledge-base root is missing
// or is not a folder, the search path is empty, or (the folders being
// there) the search path it was looked for in.
void fio_missing_text(context* ctx, const char* name, char (&out)[kErrTextSize]);
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
//   been renamed. A folder that cannot be forced to the disk gives
//   TQ_WARN_NOT_DURABLE (118), recorded with the folder and the reason:
//   the file is replaced, but a crash may bring the old one back.
// fill writes the contents through the handle it is given: 0, or its
// failure (-402 for a write the system refused). Every failure is recorded
// with the file's name and the system's reason, and removes the temporary
// file; one the system keeps is named in a record of its own.
using fio_fill_fn = int32_t (*)(fio_handle* file, void* arg);
int32_t fio_write_replacing(context* ctx, const char* path, fio_fill_fn fill, void* arg);
// A file as a lock holds it: the folder holding it, open (the descriptor
// belongs to the lock), and its name there. Every step of a write to it
// (the hold on the present file, the owner, group, list and bits read from
// it, the temporary file made, written, synced and renamed, the folder
// forced to the disk) is made relative to that folder, so that the write
// reaches the file held wherever the folder now is and whatever a link
// that led to it leads to now. `shown` is its path when it was locked,
// which messages name; `path` the name it was found by (a link stays a
// link there), by which tables kept per file know it.
struct fio_place {
  int folder = -1;
  const char* name = nullptr;
  const char* shown = nullptr;
  const char* path = nullptr;
  // When not NULL, a write that put its file in place sets it to the
  // version it wrote: what the writer holds in memory is that version.
  fio_version* written = nullptr;
};
// fio_write_replacing for the file of a place; the same rules and results.
// A link found at its name (not the file held) is refused, -400.
int32_t fio_write_replacing(context* ctx, const fio_place& place, fio_fill_fn fill, void* arg);
// Opens the file `name` of a held folder with engine open flags, a link
// there not followed: as fio_open.
int32_t fio_open_at(int folder, const char* name, uint32_t flags, fio_handle** out);
// For tests: a function called with the temporary file's path as it is
// made (nothing done to it yet), as it is about to be filled (it has the
// old file's owner, group, list and bits, and no byte), and once it is
// written and on the disk, just before the rename; NULL for none. Not for
// use while writes run on other threads.
enum class fio_write_stage { made, filling, renaming };
void fio_write_hook_set(void (*hook)(fio_write_stage stage, const char* temp));
template <typename Where, typename F>
int32_t fio_write_replacing(context* ctx, const Where& where, F&& fill) {
  return fio_write_replacing(
      ctx, where, [](fio_handle* file, void* arg) -> int32_t { return (*static_cast<std::remove_reference_t<F>*>(arg))(file); },
      static_cast<void*>(&fill));
}

}  // namespace tq

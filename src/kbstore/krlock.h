// Lock files: in edit mode a knowledge-base file read for change is guarded
// by a file "<file>.lck" beside the file its chain of links ends at (the
// file a save replaces), created and held open (with an exclusive lock)
// while any lock handle of the context references the file, and deleted
// when the last reference goes. The lock files of one context are shared
// through its lock table, keyed by the identity of the folder holding that
// file and its name there, so two handles locking the same file by any
// names share one lock file; a second context, or another process, finds
// it locked whatever name it uses.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "core/krfio.h"

namespace tq {

struct lock_entry;

// Further files one handle can lock besides its primary one.
inline constexpr uint32_t kLockFurtherMax = 10;
// Size of a resolved path, terminator included.
inline constexpr uint32_t kLockPathSize = 16388;

// A folder holding locked files, held open while any of them is locked:
// one descriptor per folder, however many of its files a context edits.
// Kept in the lock table under the folder's identity.
struct lock_folder {
  int fd;              // -1 while no entry references it
  uint32_t ref_count;  // entries referencing it
};

// One locked file of the context's lock table (from the lock-entry pool).
// The file is its folder, held open, and its name there: every later step
// on the file (a save, the lock file's removal) reaches that file, however
// the folder is renamed or a link that led to it is pointed elsewhere.
struct lock_entry {
  char path[kLockPathSize];    // the guarded file as first found along the search path
  char target[kLockPathSize];  // the end of its links when locked, for messages
  lock_folder* folder;         // the folder holding it
  uint32_t name_at;            // where its name in that folder starts in target
  fio_handle* file;            // the open lock file; NULL under option 0x10000
  uint32_t ref_count;          // handles referencing the entry
  uint64_t serial;             // set anew each time the entry is first referenced
};

// One file a handle locks, as it was taken: its entry and the serial the
// entry had then. What is read for editing keeps the ref of the file it was
// read through, and its save writes that file, never another held file
// found again by name. Empty (no entry) for what was never read from a file.
struct lock_ref {
  const lock_entry* entry = nullptr;
  uint64_t serial = 0;
  bool empty() const { return entry == nullptr; }
};

// What a resource or a locale was read from, kept in one place (the
// resource's slot, the loaded locale's record): the lock ref of the file
// it was read through, or taken for since, and the version read, or the
// one its last save wrote. Every save and every taking of its file again
// decides from this record alone (file_read_take, file_read_save_place),
// so that nothing is ever saved over a version it did not read.
struct file_read {
  lock_ref ref;         // empty when no lock took its file
  fio_version version;  // unknown for what was made in memory
};

// How a save finds the file of something made in memory (no version
// read) among a handle's files: its name without extension (folders of
// its own may lead it) with one of its kind's extensions. An empty stem
// stands for any one file of those extensions.
struct lock_name_rule {
  const char* stem;
  const char* const* extensions;  // NULL-terminated
};

// A client's hold on the lock files of the files it edits.
struct lock_handle {
  uint32_t held;  // 1 once it references a file
  context* owner;
  lock_entry* primary;
  uint32_t further_count;
  lock_entry* further[kLockFurtherMax];
  // Bit i: the file at index i (lock_file_path_at's order) was read or
  // made for editing through the handle, not only locked by name.
  uint32_t edited;
};

}  // namespace tq

// The handle under its public name; the exports take and give this type.
struct tq_lock_handle : tq::lock_handle {};

namespace tq {

// The context's lock table and lock-entry pool: made at context
// initialisation (-600), freed at teardown, where every lock file still held
// is closed and deleted. Both are safe to call on a partly built context.
int32_t lock_table_init(context* ctx);
void lock_table_free(context* ctx);

// Locks a file for a handle: name is UTF-8, resolved along the search path
// as the file kind (-404 when it does not exist), then to the file its
// links end at and the folder holding it, which must be looked at (-600,
// or -400 recorded with the system's reason). The first file becomes the
// handle's primary one, later ones are added as further files (lock_add).
// path (may be NULL) receives the resolved path, at most size - 1 bytes.
// -802 (recorded) for a handle of another context; -401 when another context
// or process holds the lock file; -400 when the lock file cannot be made;
// -600. Under option 0x10000 no lock file is made, but the file is resolved
// and recorded as locked all the same, so that editing and saving work.
// taken (may be NULL) receives the ref of the file locked, or already held,
// on success; it is left empty on failure. The same for the calls below.
int32_t lock_file_create(context* ctx, const char* name, uint32_t kind, lock_handle* handle, char* path,
                         uint32_t size, lock_ref* taken = nullptr);
// As lock_file_create for the file as the kind, or as its older form
// (fio_kind_older) when the kind's file is not there: a file there whose
// lock is held elsewhere or cannot be made is the answer, never passed over
// for the older form.
int32_t lock_file_create_found(context* ctx, const char* name, uint32_t kind, lock_handle* handle, char* path,
                               uint32_t size, lock_ref* taken = nullptr);
// Adds a further file to a held handle: -603 when not held, -401 (recorded
// as a full handle) when the handle already has kLockFurtherMax further
// files; a file the handle already locks is only reported (its path
// copied), 0.
int32_t lock_add(lock_handle* handle, context* ctx, const char* name, uint32_t kind, char* path,
                 uint32_t size, lock_ref* taken = nullptr);
// *held := 1 when the resolved file is the handle's primary or one of its
// further files (path then receives the resolved path), else 0 (path empty).
// The resolution's failure is returned.
int32_t lock_is_held_for(context* ctx, const char* name, uint32_t kind, lock_handle* handle, uint32_t* held,
                         char* path, uint32_t size);
// The primary file's resolved path: -802 for a handle of another context,
// -603 (message 1492) when the handle holds nothing, -1 when out is too small.
int32_t lock_path_get(context* ctx, lock_handle* handle, char* out, uint32_t size);
// The primary file's place, which a save writes to: -802 or -603 as
// lock_path_get. The place is valid while the handle holds the file.
int32_t lock_place_get(context* ctx, lock_handle* handle, fio_place* out);
// The place of a ref's file when the handle still holds it as it was taken
// (not released and taken again since): 1 and *out set, else 0 and *out
// empty. No owner check and nothing recorded.
bool lock_ref_held(const lock_handle* handle, const lock_ref& ref, fio_place* out);
// Marks the ref's file, when the handle holds it as taken, as read or made
// for editing through the handle: of the files of one name a handle holds,
// a save that has no ref of its own takes the one an edit took
// (file_read_save_place).
void lock_ref_edited(lock_handle* handle, const lock_ref& ref);
// The place of a ref's file while some handle of the context holds it as
// it was taken: 1 and *out set, else 0. Only for a ref taken in the calling
// context, whose entries live as long as it does.
bool lock_ref_live(const lock_ref& ref, fio_place* out);
// A lock just taken (`taken`) for something already read as `read`: 0,
// and read->ref := taken, when the file held is the version read (or
// nothing was read from a file). -405 (message 2480: the file changed
// since it was read, another editor saved it) when it is another version;
// the failure of looking at it (-400, -404, -600, recorded). On a failure
// the record is left as it was.
int32_t file_read_take(context* ctx, file_read* read, const lock_handle* handle, const lock_ref& taken,
                       const char* what, const char* name);
// The place a save of `what` named `name`, read as `read`, writes:
// - the file of its ref while the handle holds it as it was taken;
// - else, for what was read from a file, the one file the handle holds
//   that is the version read (the handle took it after the read); its ref
//   is taken into the record;
// - else, for what was made in memory, the one file of its name (`rule`)
//   the handle holds or, of several, the one an edit read or made through
//   it; its ref is taken into the record.
// Whichever it is, the file held must be the version read (or, after a
// save, written): -405 (message 2480) when it changed since. -405 too for
// a handle that holds nothing (2482), that holds no such file (1497), or
// several files of the name none of which an edit took (2481, naming two
// of them); -802 for a handle of another context; all recorded. On
// success place->written points at read->version, so that the write
// keeps the version it wrote. Under the write hold: the record is shared.
int32_t file_read_save_place(context* ctx, file_read* read, lock_handle* handle, const lock_name_rule& rule,
                             const char* what, const char* name, fio_place* place);

// Releases the further files (last first), then the primary one; the handle
// holds nothing afterwards. -802 for another context, -603 when not held;
// 119 or 120, recorded, for a lock file that stays or that someone else
// removed while it was held (as tq_lock_free says; 120 wins).
int32_t lock_release_all(context* ctx, lock_handle* handle);
// What every resource family's close export does: gives back every file the
// handle locks. No handle, or one that holds nothing, is already closed (0);
// a handle of another context is refused (-802, recorded).
int32_t lock_handle_close(context* ctx, lock_handle* handle);

// What a handle held at one moment. An operation that locks files through a
// handle the caller may already be using marks the handle first and, when it
// fails, gives back only what it took since (lock_release_since), so that the
// caller's other locks stay held.
struct lock_mark {
  uint32_t held;
  uint32_t further_count;
};
lock_mark lock_mark_get(const lock_handle* handle);
// Releases the files the handle took after the mark: the further files added
// since (last first) and, when it held nothing then, its primary file. A
// NULL handle, or one of another context, is left alone.
void lock_release_since(context* ctx, lock_handle* handle, lock_mark mark) noexcept;

// The mark as a guard: what the handle takes after the guard is made is
// given back when the guard goes, on every way out (an exception included),
// unless keep() said the operation succeeded. A NULL handle is left alone.
class lock_mark_guard {
 public:
  lock_mark_guard(context* ctx, lock_handle* handle) : ctx_(ctx), handle_(handle), mark_(lock_mark_get(handle)) {}
  ~lock_mark_guard() {
    if (!kept_) lock_release_since(ctx_, handle_, mark_);
  }
  lock_mark_guard(const lock_mark_guard&) = delete;
  lock_mark_guard& operator=(const lock_mark_guard&) = delete;
  void keep() { kept_ = true; }

 private:
  context* ctx_;
  lock_handle* handle_;
  lock_mark mark_;
  bool kept_ = false;
};

// The resolved paths of the files a handle locks, primary first (index 0),
// then its further files in the order they were added; count is 0 for a
// handle that holds nothing. No owner check: callers check it first with
// lock_owner_check.
uint32_t lock_file_count(const lock_handle* handle);
const char* lock_file_path_at(const lock_handle* handle, uint32_t index);
// The place of the file at that index (lock_file_path_at's order), valid
// while the handle holds it; an empty place (folder -1) for an index out
// of range.
fio_place lock_file_place_at(const lock_handle* handle, uint32_t index);
// 0 when the handle is the context's and holds a file; else -802 (another
// context) or -603 (holds nothing), both recorded.
int32_t lock_owner_check(context* ctx, const lock_handle* handle);

// ---- Export implementations --------------------------------------------------

int32_t lock_init(context* ctx, tq_lock_handle** lock);
int32_t lock_free(context* ctx, lock_handle* lock);
// fname in the session encoding (at most 16,384 bytes); path (may be NULL)
// receives the resolved path in the session encoding (at most 16,384 bytes
// and a terminator).
int32_t lock_create(context* ctx, const char* fname, uint32_t kind, lock_handle* lock, char* path);

}  // namespace tq

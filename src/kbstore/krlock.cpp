#include "kbstore/krlock.h"

#include <limits.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <memory>
#include <new>
#include <string>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krhash.h"
#include "core/krstr.h"
#include "core/krvec.h"
#include "kbstore/krlib.h"
#include "platform/npfio.h"
#include "platform/npmem.h"

namespace tq {

namespace {

// Serials of lock entries, unique in the process.
std::atomic<uint64_t> g_lock_serial{0};

// The lock file of a guarded file is the file its links end at with
// ".lck" added, always added: a guarded file that itself ends in ".lck"
// must never be opened (and emptied) as its own lock file. Beside the end
// of the links, not beside the name that reached the file, so that an
// editor coming through a symbolic link and one naming the link's target
// meet at one lock file.
constexpr char kLockSuffix[] = ".lck";
// A name in a folder, its suffix added: a name of more is refused by the
// system (ENAMETOOLONG), as the lock file's making says.
constexpr uint32_t kLockNameSize = NAME_MAX + sizeof kLockSuffix;

bool owned_by(const lock_handle* handle, const context* ctx) { return handle->owner == ctx; }

int32_t report_foreign(context* ctx) {
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1493);
  return TQ_ERR_ARGUMENT;
}

int32_t report_not_held(context* ctx) {
  TQ_REPORT(ctx, TQ_ERR_HOLD_NOT_HELD, 1492);
  return TQ_ERR_HOLD_NOT_HELD;
}

const char* entry_name(const lock_entry* entry) { return entry->target + entry->name_at; }

// The lock file's name in the held folder; false when it is too long for
// one.
bool lock_file_name(const lock_entry* entry, char (&out)[kLockNameSize]) {
  const char* name = entry_name(entry);
  const size_t n = std::strlen(name);
  if (n > NAME_MAX) return false;
  std::memcpy(out, name, n);
  std::memcpy(out + n, kLockSuffix, sizeof kLockSuffix);
  return true;
}

// Copies a resolved path whole: a cut path could name another file.
int32_t path_copy(const char* resolved, char* out, uint32_t size) {
  if (out == nullptr) return 0;
  if (std::strlen(resolved) >= size) {
    if (size > 0) out[0] = '\0';
    return -1;
  }
  std::strcpy(out, resolved);
  return 0;
}

// The file a name stands for: resolved along the search path, then to the
// file its links end at (the one a save replaces), whose folder is opened
// and held; keyed in the lock table by the identity of that folder (device
// and inode) and the file's name there, so that every name of one file (a
// link, the target's own path, another spelling of its folders) shares one
// entry and one lock file, while files whose names differ only in case,
// which this file system keeps apart, get entries of their own. Not the
// file's own device and inode: a save replaces the file by a new one, and
// the lock must outlast that. Not its absolute path: that may be longer
// than the system takes while the name that reached the file is not. The
// identity is the held descriptor's, so the key and the folder every later
// step is made in are one folder. On the heap: its paths are large.
struct resolved_file {
  char path[kLockPathSize];      // as found along the search path
  char target[kLockPathSize];    // the end of its links
  char key[kLockPathSize + 40];  // "<device>:<inode>/<name>": the target's folder and name
  uint32_t name_at = 0;          // the name's start in target
  uint32_t folder_key_length = 0;  // "<device>:<inode>", the folder's own key
  int folder = -1;               // the folder, open until an entry takes it
  resolved_file() = default;
  resolved_file(const resolved_file&) = delete;
  resolved_file& operator=(const resolved_file&) = delete;
  ~resolved_file() { np_fio_folder_close(folder); }
};

struct resolved_free {
  void operator()(resolved_file* file) const {
    file->~resolved_file();
    std::free(file);
  }
};
using resolved_ptr = std::unique_ptr<resolved_file, resolved_free>;

// A file whose place cannot be had is not locked, nor looked up, under any
// other key: that would be a second lock of one file.
int32_t resolve(context* ctx, const char* name, uint32_t kind, resolved_ptr& out) {
  if (name == nullptr || name[0] == '\0' || kind >= kFioKindCount) return TQ_ERR_ARGUMENT;
  void* block = np_malloc(sizeof(resolved_file));
  if (block == nullptr) return TQ_ERR_NO_MEMORY;
  out.reset(new (block) resolved_file);
  resolved_file& file = *out;
  file.path[0] = '\0';
  fio_failure why;
  int32_t rc = fio_path_resolve(ctx, name, kind, file.path, sizeof file.path, &why);
  // A file that could not be looked at is named with the system's reason.
  if (rc == TQ_ERR_FILE_OPEN) fio_report_open_failure(ctx, rc, file.path, why);
  if (rc != 0) return rc;
  int32_t status = np_fio_link_resolve(file.path, file.target, sizeof file.target);
  if (status == kNpFioOk) {
    // The folder: "." for a bare name, "/" for a file at the top, else the
    // target cut at its last '/' for the open.
    char* slash = std::strrchr(file.target, '/');
    const char* base = slash != nullptr ? slash + 1 : file.target;
    file.name_at = static_cast<uint32_t>(base - file.target);
    np_fio_id id{};
    if (*base == '\0') {
      status = kNpFioIsDirectory;
    } else if (slash == nullptr || slash == file.target) {
      status = np_fio_folder_open(slash == nullptr ? "." : "/", &file.folder, &id);
    } else {
      *slash = '\0';
      status = np_fio_folder_open(file.target, &file.folder, &id);
      *slash = '/';
    }
    if (status == kNpFioOk) {
      const int at = std::snprintf(file.key, sizeof file.key, "%llx:%llx", static_cast<unsigned long long>(id.device),
                                   static_cast<unsigned long long>(id.inode));
      const int n = at > 0 ? std::snprintf(file.key + at, sizeof file.key - static_cast<size_t>(at), "/%s", base) : -1;
      file.folder_key_length = static_cast<uint32_t>(at);
      if (n > 0 && static_cast<size_t>(at + n) < sizeof file.key) return 0;
      status = kNpFioNameTooLong;
    }
  }
  const int err = status == kNpFioNameTooLong  ? ENAMETOOLONG
                  : status == kNpFioIsDirectory ? EISDIR
                                                : np_fio_last_error();
  // Gone since it was found: missing, as the search would have said.
  if (status == kNpFioNotFound) return TQ_ERR_FILE_MISSING;
  if (status == kNpFioNoMemory) {
    TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 2001, static_cast<const char*>(file.path));
    return TQ_ERR_NO_MEMORY;
  }
  err_passing_count(ctx, fio_error_cause(err));
  char buffer[256];
  const char* reason = np_fio_error_text(err, buffer, sizeof buffer);
  TQ_REPORT(ctx, TQ_ERR_FILE_OPEN, 2000, static_cast<const char*>(file.path), reason);
  return TQ_ERR_FILE_OPEN;
}

// Entries are kept under "<device>:<inode>/<name>", the folders they hold
// under "<device>:<inode>": a key without a '/' is a folder's.
bool is_folder_key(const hash_entry* e) {
  return std::memchr(e->key, '/', static_cast<size_t>(e->key_length)) == nullptr;
}

lock_entry* entry_find(context* ctx, const resolved_file& file) {
  if (ctx->file_locks == nullptr) return nullptr;
  const char* key = file.key;
  return reinterpret_cast<lock_entry*>(
      hash_get_word(ctx->file_locks, key, static_cast<int32_t>(std::strlen(key))));
}

// One reference on the folder record of a resolved file, which takes over
// its open folder when the record holds none: 0 or -600.
int32_t folder_take(context* ctx, resolved_file& file, lock_folder** out) {
  const auto length = static_cast<int32_t>(file.folder_key_length);
  auto* folder = reinterpret_cast<lock_folder*>(hash_get_word(ctx->file_locks, file.key, length));
  if (folder == nullptr) {
    folder = static_cast<lock_folder*>(np_calloc(1, sizeof(lock_folder)));
    if (folder == nullptr) return TQ_ERR_NO_MEMORY;
    folder->fd = -1;
    auto word = reinterpret_cast<uintptr_t>(folder);
    if (hash_put_word(ctx->file_locks, file.key, length, word) == word) {
      std::free(folder);
      return TQ_ERR_NO_MEMORY;
    }
  }
  if (folder->ref_count == 0) {
    folder->fd = file.folder;
    file.folder = -1;
  }
  ++folder->ref_count;
  *out = folder;
  return 0;
}

void folder_release(lock_folder* folder) {
  if (folder == nullptr || folder->ref_count == 0) return;
  if (--folder->ref_count > 0) return;
  np_fio_folder_close(folder->fd);
  folder->fd = -1;
}

// The entry of a resolved file, made when the table has none: 0 or -600.
// An entry nobody references takes the file's place anew.
int32_t entry_get(context* ctx, resolved_file& file, lock_entry** out) {
  *out = nullptr;
  if (ctx->file_locks == nullptr || ctx->lock_entry_pool == nullptr) return TQ_ERR_NO_MEMORY;
  lock_entry* entry = entry_find(ctx, file);
  if (entry == nullptr) {
    void* block = pool_block_take(ctx->lock_entry_pool);
    if (block == nullptr) return TQ_ERR_NO_MEMORY;
    entry = new (block) lock_entry{};
    const char* key = file.key;
    auto word = reinterpret_cast<uintptr_t>(entry);
    if (hash_put_word(ctx->file_locks, key, static_cast<int32_t>(std::strlen(key)), word) == word) {
      pool_block_return(ctx->lock_entry_pool, block);
      return TQ_ERR_NO_MEMORY;
    }
  }
  if (entry->ref_count == 0) {
    if (entry->folder == nullptr) {
      int32_t rc = folder_take(ctx, file, &entry->folder);
      if (rc != 0) return rc;
    }
    std::strcpy(entry->path, file.path);
    std::strcpy(entry->target, file.target);
    entry->name_at = file.name_at;
  }
  *out = entry;
  return 0;
}

// Gives back the folder of an entry that took none of its file's lock (its
// first reference failed): the entry holds nothing then.
void entry_unused(lock_entry* entry) {
  if (entry == nullptr || entry->ref_count > 0) return;
  folder_release(entry->folder);
  entry->folder = nullptr;
}

// The lock file's path, for messages: its file's with the suffix; the
// file's own when memory is short. Freed with the object.
class lock_file_shown {
 public:
  explicit lock_file_shown(const lock_entry* entry) : entry_(entry) {
    const size_t n = std::strlen(entry->target);
    path_ = static_cast<char*>(np_malloc(n + sizeof kLockSuffix));
    if (path_ != nullptr) {
      std::memcpy(path_, entry->target, n);
      std::memcpy(path_ + n, kLockSuffix, sizeof kLockSuffix);
    }
  }
  ~lock_file_shown() { std::free(path_); }
  lock_file_shown(const lock_file_shown&) = delete;
  lock_file_shown& operator=(const lock_file_shown&) = delete;
  const char* get() const { return path_ != nullptr ? path_ : entry_->target; }

 private:
  const lock_entry* entry_;
  char* path_ = nullptr;
};

// The lock file could not be made or opened: named by its path. One that
// is there all the same (made, or found, before a later step failed: its
// lock, its identity, its emptying) is said to stay.
void report_lock_file(context* ctx, int32_t rc, const lock_entry* entry) {
  char reason[256];
  const char* why = fio_last_error_text(reason, sizeof reason);
  char lock_name[kLockNameSize];
  const bool there = lock_file_name(entry, lock_name) && np_fio_stat_at(entry->folder->fd, lock_name) == kNpFioOk;
  const lock_file_shown shown(entry);
  if (there) {
    TQ_REPORT(ctx, rc, 2463, shown.get(), why);
  } else {
    TQ_REPORT(ctx, rc, 1864, shown.get(), why);
  }
}

// Takes one reference on an entry, opening its lock file in the held
// folder first when the context uses lock files and none is open yet. An
// entry left with no reference gives its folder back.
int32_t entry_acquire(context* ctx, lock_entry* entry) {
  if (!(ctx->options & kOptNoLockFiles) && entry->file == nullptr) {
    char lock_name[kLockNameSize];
    fio_handle* file = nullptr;
    int32_t rc = TQ_ERR_FILE_OPEN;
    if (lock_file_name(entry, lock_name)) {
      rc = fio_open_at(entry->folder->fd, lock_name, kFioOpenLock, &file);
    } else {
      np_fio_last_error_set(ENAMETOOLONG);
    }
    if (rc == TQ_ERR_FILE_LOCKED) {
      // Someone else edits the file: said as every file held elsewhere is,
      // naming the file rather than its lock file.
      const fio_failure held{EWOULDBLOCK, err_cause::passing};
      err_passing_count(ctx, held.cause);
      fio_report_open_failure(ctx, rc, entry->path, held);
    } else if (rc != 0 && rc != TQ_ERR_NO_MEMORY) {
      report_lock_file(ctx, rc, entry);
    }
    if (rc != 0) {
      fio_close(file);
      entry_unused(entry);
      return rc;
    }
    entry->file = file;
  }
  // A file taken afresh gets a serial no earlier taking had: a ref kept
  // from before it was released names it no more.
  if (entry->ref_count++ == 0) entry->serial = g_lock_serial.fetch_add(1, std::memory_order_relaxed) + 1;
  return 0;
}

// What a release met at the lock file's name, said under its warning: 0,
// or TQ_WARN_LOCK_FILE_LOST when the lock file had been removed or
// replaced by someone else while held, else TQ_WARN_TEMPORARY_STAYS when
// it could not be removed. Nothing is recorded without a context.
int32_t report_release(context* ctx, const lock_entry* entry, int32_t status, bool removed_other) {
  if (status == kNpFioOk || status == kNpFioBadArgument) return 0;
  const int32_t warning = status == kNpFioNotFound ? TQ_WARN_LOCK_FILE_LOST : TQ_WARN_TEMPORARY_STAYS;
  if (ctx == nullptr) return warning;
  char buffer[256];
  const char* why = np_fio_error_text(np_fio_last_error(), buffer, sizeof buffer);
  const lock_file_shown shown(entry);
  if (warning == TQ_WARN_TEMPORARY_STAYS) {
    TQ_REPORT(ctx, warning, 2460, shown.get(), why);
  } else if (removed_other) {
    TQ_REPORT(ctx, warning, 2462, shown.get());
  } else {
    TQ_REPORT(ctx, warning, 2461, shown.get());
  }
  return warning;
}

// Gives one reference back; the last one removes the lock file, in the
// held folder and only while the name there is the lock file held open:
// never another editor's of the same name (np_fio_remove_held). The name
// goes before the lock is let go, so that whoever opens the path next
// makes a new lock file instead of locking the one being removed. A lock
// file that stays, or that someone else removed while it was held, is
// said (recorded when ctx is given) and answered with its warning; the
// entry holds nothing afterwards either way.
int32_t entry_release(context* ctx, lock_entry* entry) {
  if (entry == nullptr || entry->ref_count == 0) return 0;
  if (--entry->ref_count > 0) return 0;
  int32_t rc = 0;
  if (entry->file != nullptr) {
    char lock_name[kLockNameSize];
    if (lock_file_name(entry, lock_name)) {
      bool removed_other = false;
      const int32_t status = np_fio_remove_held(entry->folder->fd, lock_name, entry->file->file, &removed_other);
      rc = report_release(ctx, entry, status, removed_other);
    }
    fio_close(entry->file);
    entry->file = nullptr;
  }
  entry_unused(entry);
  return rc;
}

// The stronger of two releases' warnings: a lock file lost while held says
// more than one that stays.
int32_t release_worst(int32_t a, int32_t b) { return a == TQ_WARN_LOCK_FILE_LOST || b == 0 ? a : b; }

fio_place entry_place(const lock_entry* entry) {
  fio_place place;
  place.folder = entry->folder != nullptr ? entry->folder->fd : -1;
  place.name = entry_name(entry);
  place.shown = entry->target;
  place.path = entry->path;
  return place;
}

// What a successful lock gives its caller: the ref of the entry, taken
// after the path copy so that a failed copy leaves it empty.
int32_t ref_out(const lock_entry* entry, int32_t rc, lock_ref* taken) {
  if (rc == 0 && taken != nullptr) *taken = lock_ref{entry, entry->serial};
  return rc;
}

bool handle_has(const lock_handle* handle, const lock_entry* entry) {
  if (!handle->held || entry == nullptr) return false;
  if (handle->primary == entry) return true;
  for (uint32_t i = 0; i < handle->further_count; ++i) {
    if (handle->further[i] == entry) return true;
  }
  return false;
}

}  // namespace

int32_t lock_table_init(context* ctx) {
  auto* table = static_cast<hash_table*>(np_calloc(1, sizeof(hash_table)));
  if (table == nullptr) return TQ_ERR_NO_MEMORY;
  if (hash_init(table, kHashKeyBytes, 1, 0) != 0) {
    std::free(table);
    return TQ_ERR_NO_MEMORY;
  }
  block_pool* pool = pool_create(sizeof(lock_entry));
  if (pool == nullptr) {
    hash_free(table);
    std::free(table);
    return TQ_ERR_NO_MEMORY;
  }
  ctx->file_locks = table;
  ctx->lock_entry_pool = pool;
  return 0;
}

void lock_table_free(context* ctx) {
  if (ctx->file_locks != nullptr) {
    // The entries first, which give their folders back; then the folders.
    for (hash_entry* e = ctx->file_locks->list; e != nullptr; e = e->next) {
      auto* entry = reinterpret_cast<lock_entry*>(e->value[0]);
      if (entry == nullptr || is_folder_key(e)) continue;
      if (entry->ref_count > 0) {
        entry->ref_count = 1;
        (void)entry_release(nullptr, entry);  // the context closes: nobody reads its list
      }
    }
    for (hash_entry* e = ctx->file_locks->list; e != nullptr; e = e->next) {
      auto* folder = reinterpret_cast<lock_folder*>(e->value[0]);
      if (folder == nullptr || !is_folder_key(e)) continue;
      np_fio_folder_close(folder->fd);
      std::free(folder);
    }
    hash_free(ctx->file_locks);
    std::free(ctx->file_locks);
    ctx->file_locks = nullptr;
  }
  if (ctx->lock_entry_pool != nullptr) {
    pool_destroy(ctx->lock_entry_pool);
    ctx->lock_entry_pool = nullptr;
  }
}

int32_t lock_file_create(context* ctx, const char* name, uint32_t kind, lock_handle* handle, char* path,
                         uint32_t size, lock_ref* taken) {
  if (path != nullptr && size > 0) path[0] = '\0';
  if (taken != nullptr) *taken = lock_ref{};
  if (handle == nullptr) return TQ_ERR_ARGUMENT;
  if (!owned_by(handle, ctx)) return report_foreign(ctx);
  if (handle->held) return lock_add(handle, ctx, name, kind, path, size, taken);

  resolved_ptr file;
  int32_t rc = resolve(ctx, name, kind, file);
  if (rc != 0) return rc;
  if (path != nullptr && std::strlen(file->path) >= size) return -1;
  lock_entry* entry = nullptr;
  rc = entry_get(ctx, *file, &entry);
  if (rc == 0) rc = entry_acquire(ctx, entry);
  if (rc != 0) {
    entry_unused(entry);
    return rc;
  }
  handle->primary = entry;
  handle->held = 1;
  return ref_out(entry, path_copy(entry->path, path, size), taken);
}

int32_t lock_file_create_found(context* ctx, const char* name, uint32_t kind, lock_handle* handle, char* path,
                               uint32_t size, lock_ref* taken) {
  int32_t rc = lock_file_create(ctx, name, kind, handle, path, size, taken);
  const uint32_t older = fio_kind_older(kind);
  if (rc != TQ_ERR_FILE_MISSING || older == kFioKindCount) return rc;
  return lock_file_create(ctx, name, older, handle, path, size, taken);
}

int32_t lock_add(lock_handle* handle, context* ctx, const char* name, uint32_t kind, char* path,
                 uint32_t size, lock_ref* taken) {
  if (path != nullptr && size > 0) path[0] = '\0';
  if (taken != nullptr) *taken = lock_ref{};
  if (handle == nullptr) return TQ_ERR_ARGUMENT;
  if (!owned_by(handle, ctx)) return report_foreign(ctx);
  if (!handle->held) return report_not_held(ctx);

  resolved_ptr file;
  int32_t rc = resolve(ctx, name, kind, file);
  if (rc != 0) return rc;
  if (path != nullptr && std::strlen(file->path) >= size) return -1;
  lock_entry* known = entry_find(ctx, *file);
  // The name the entry was made under, whichever name reached it now: a
  // read for editing and the save after it must name one file alike.
  if (handle_has(handle, known)) return ref_out(known, path_copy(known->path, path, size), taken);
  if (handle->further_count >= kLockFurtherMax) {
    // Nothing is locked by anyone else: say so, or the caller goes looking
    // for another editor of the file.
    TQ_REPORT(ctx, TQ_ERR_FILE_LOCKED, 1494, kLockFurtherMax, static_cast<const char*>(file->path));
    return TQ_ERR_FILE_LOCKED;
  }

  lock_entry* entry = nullptr;
  rc = entry_get(ctx, *file, &entry);
  if (rc == 0) rc = entry_acquire(ctx, entry);
  if (rc != 0) {
    entry_unused(entry);
    return rc;
  }
  handle->further[handle->further_count++] = entry;
  return ref_out(entry, path_copy(entry->path, path, size), taken);
}

int32_t lock_is_held_for(context* ctx, const char* name, uint32_t kind, lock_handle* handle, uint32_t* held,
                         char* path, uint32_t size) {
  if (held != nullptr) *held = 0;
  if (path != nullptr && size > 0) path[0] = '\0';
  if (handle == nullptr || held == nullptr) return TQ_ERR_ARGUMENT;
  if (!owned_by(handle, ctx)) return report_foreign(ctx);
  resolved_ptr file;
  int32_t rc = resolve(ctx, name, kind, file);
  if (rc != 0) return rc;
  lock_entry* entry = entry_find(ctx, *file);
  if (!handle_has(handle, entry)) return 0;
  *held = 1;
  return path_copy(entry->path, path, size);
}

int32_t lock_path_get(context* ctx, lock_handle* handle, char* out, uint32_t size) {
  if (out != nullptr && size > 0) out[0] = '\0';
  if (handle == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  if (!owned_by(handle, ctx)) return report_foreign(ctx);
  if (!handle->held || handle->primary == nullptr) return report_not_held(ctx);
  return path_copy(handle->primary->path, out, size);
}

int32_t lock_place_get(context* ctx, lock_handle* handle, fio_place* out) {
  if (out != nullptr) *out = fio_place{};
  if (handle == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  if (!owned_by(handle, ctx)) return report_foreign(ctx);
  if (!handle->held || handle->primary == nullptr) return report_not_held(ctx);
  *out = entry_place(handle->primary);
  return 0;
}

bool lock_ref_held(const lock_handle* handle, const lock_ref& ref, fio_place* out) {
  if (out != nullptr) *out = fio_place{};
  // The handle must reference the entry before the entry is looked at: a
  // ref outlives the handle's hold on it.
  if (handle == nullptr || ref.entry == nullptr || !handle_has(handle, ref.entry)) return false;
  if (ref.entry->serial != ref.serial) return false;
  if (out != nullptr) *out = entry_place(ref.entry);
  return true;
}

namespace {

// Whether a held path is a file of the rule's name: the stem, then '.' and
// one of the extensions, the stem's folders matching whole ones.
bool named_by(const char* held, const lock_name_rule& rule) {
  const size_t n = std::strlen(held);
  for (const char* const* ext = rule.extensions; ext != nullptr && *ext != nullptr; ++ext) {
    const size_t e = std::strlen(*ext);
    if (n <= e + 1 || held[n - e - 1] != '.' || std::memcmp(held + n - e, *ext, e) != 0) continue;
    const size_t hn = n - e - 1;
    const size_t sn = std::strlen(rule.stem);
    if (sn == 0) return true;
    if (hn >= sn && std::memcmp(held + hn - sn, rule.stem, sn) == 0 &&
        (hn == sn || held[hn - sn - 1] == '/' || held[hn - sn - 1] == '\\')) {
      return true;
    }
  }
  return false;
}

lock_entry* entry_at(const lock_handle* handle, uint32_t index) {
  return index == 0 ? handle->primary : handle->further[index - 1];
}

// The held file must still be the version read: a version looked at and
// found another is refused (2480); one that cannot be looked at is the
// failure of looking. Nothing was read from a file: nothing to compare.
int32_t version_check(context* ctx, const file_read& read, const lock_entry* entry, const char* what,
                      const char* name) {
  if (!read.version.known()) return 0;
  fio_version now;
  const int32_t rc = fio_version_at(entry->folder != nullptr ? entry->folder->fd : -1, entry_name(entry), &now);
  if (rc == 0 && now == read.version) return 0;
  if (rc == 0 || rc == TQ_ERR_FILE_MISSING) {
    TQ_REPORT(ctx, TQ_ERR_LOCK_ACQUIRE, 2480, static_cast<const char*>(entry->target), what, name);
    return TQ_ERR_LOCK_ACQUIRE;
  }
  if (rc != TQ_ERR_NO_MEMORY) fio_report_open_failure(ctx, rc, entry->target);
  return rc;
}

}  // namespace

int32_t file_read_take(context* ctx, file_read* read, const lock_handle* handle, const lock_ref& taken,
                       const char* what, const char* name) {
  if (read == nullptr || !lock_ref_held(handle, taken, nullptr)) return TQ_ERR_ARGUMENT;
  const int32_t rc = version_check(ctx, *read, taken.entry, what, name);
  if (rc != 0) return rc;
  read->ref = taken;
  return 0;
}

int32_t file_read_save_place(context* ctx, file_read* read, lock_handle* handle, const lock_name_rule& rule,
                             const char* what, const char* name, fio_place* place) {
  if (place != nullptr) *place = fio_place{};
  if (read == nullptr || handle == nullptr || place == nullptr) return TQ_ERR_ARGUMENT;
  if (!owned_by(handle, ctx)) return report_foreign(ctx);
  if (!handle->held || handle->primary == nullptr) {
    TQ_REPORT(ctx, TQ_ERR_LOCK_ACQUIRE, 2482, what, name);
    return TQ_ERR_LOCK_ACQUIRE;
  }
  // The handle must reference the entry before the entry is looked at: a
  // ref kept in shared state may name an entry of a context closed since.
  const lock_entry* entry = nullptr;
  if (lock_ref_held(handle, read->ref, nullptr)) entry = read->ref.entry;
  const uint32_t count = lock_file_count(handle);
  if (entry == nullptr && read->version.known()) {
    // Read before this handle took its file: the one file held that is
    // still the version read. Of a name, only one file can be.
    const lock_entry* named = nullptr;
    for (uint32_t i = 0; i < count && entry == nullptr; ++i) {
      const lock_entry* e = entry_at(handle, i);
      fio_version now;
      if (fio_version_at(e->folder->fd, entry_name(e), &now) == 0 && now == read->version) {
        entry = e;
      } else if (named == nullptr && named_by(e->path, rule)) {
        named = e;
      }
    }
    if (entry == nullptr && named != nullptr) {
      TQ_REPORT(ctx, TQ_ERR_LOCK_ACQUIRE, 2480, static_cast<const char*>(named->target), what, name);
      return TQ_ERR_LOCK_ACQUIRE;
    }
  } else if (entry == nullptr) {
    // Made in memory: the one file of its name, or the one an edit took.
    const lock_entry* first = nullptr;
    const lock_entry* second = nullptr;
    const lock_entry* edited = nullptr;
    uint32_t edited_count = 0;
    for (uint32_t i = 0; i < count; ++i) {
      const lock_entry* e = entry_at(handle, i);
      if (!named_by(e->path, rule)) continue;
      if (first == nullptr) {
        first = e;
      } else if (second == nullptr) {
        second = e;
      }
      if ((handle->edited >> i & 1u) != 0) {
        edited = e;
        ++edited_count;
      }
    }
    entry = edited_count == 1 ? edited : second == nullptr ? first : nullptr;
    if (entry == nullptr && second != nullptr) {
      TQ_REPORT(ctx, TQ_ERR_LOCK_ACQUIRE, 2481, what, name, static_cast<const char*>(first->target),
                static_cast<const char*>(second->target));
      return TQ_ERR_LOCK_ACQUIRE;
    }
  }
  if (entry == nullptr) {
    const char* file = rule.stem[0] != '\0' ? rule.stem : "(it has no name, and the handle does not lock exactly one such file)";
    TQ_REPORT(ctx, TQ_ERR_LOCK_ACQUIRE, 1497, what, name, file);
    return TQ_ERR_LOCK_ACQUIRE;
  }
  const int32_t rc = version_check(ctx, *read, entry, what, name);
  if (rc != 0) return rc;
  read->ref = lock_ref{entry, entry->serial};
  *place = entry_place(entry);
  place->written = &read->version;
  return 0;
}

void lock_ref_edited(lock_handle* handle, const lock_ref& ref) {
  if (!lock_ref_held(handle, ref, nullptr)) return;
  for (uint32_t i = 0; i < lock_file_count(handle); ++i) {
    if ((i == 0 ? handle->primary : handle->further[i - 1]) == ref.entry) handle->edited |= 1u << i;
  }
}

bool lock_ref_live(const lock_ref& ref, fio_place* out) {
  if (out != nullptr) *out = fio_place{};
  if (ref.entry == nullptr || ref.entry->ref_count == 0 || ref.entry->serial != ref.serial) return false;
  if (out != nullptr) *out = entry_place(ref.entry);
  return true;
}

int32_t lock_release_all(context* ctx, lock_handle* handle) {
  if (handle == nullptr) return TQ_ERR_ARGUMENT;
  if (!owned_by(handle, ctx)) return report_foreign(ctx);
  if (!handle->held) return report_not_held(ctx);
  int32_t rc = 0;
  while (handle->further_count > 0) {
    --handle->further_count;
    rc = release_worst(rc, entry_release(ctx, handle->further[handle->further_count]));
    handle->further[handle->further_count] = nullptr;
  }
  rc = release_worst(rc, entry_release(ctx, handle->primary));
  handle->primary = nullptr;
  handle->held = 0;
  handle->edited = 0;
  return rc;
}

int32_t lock_handle_close(context* ctx, lock_handle* handle) {
  if (handle == nullptr) return 0;
  if (!owned_by(handle, ctx)) return report_foreign(ctx);
  return handle->held ? lock_release_all(ctx, handle) : 0;
}

lock_mark lock_mark_get(const lock_handle* handle) {
  if (handle == nullptr) return lock_mark{0, 0};
  return lock_mark{handle->held, handle->held ? handle->further_count : 0};
}

void lock_release_since(context* ctx, lock_handle* handle, lock_mark mark) noexcept {
  if (handle == nullptr || !owned_by(handle, ctx) || !handle->held) return;
  if (!mark.held) {
    (void)lock_release_all(ctx, handle);
    return;
  }
  while (handle->further_count > mark.further_count) {
    --handle->further_count;
    (void)entry_release(ctx, handle->further[handle->further_count]);  // said in the list, under the failure
    handle->further[handle->further_count] = nullptr;
  }
  handle->edited &= (2u << handle->further_count) - 1u;  // the marks of the files still held
}

uint32_t lock_file_count(const lock_handle* handle) {
  if (handle == nullptr || !handle->held || handle->primary == nullptr) return 0;
  return 1 + handle->further_count;
}

const char* lock_file_path_at(const lock_handle* handle, uint32_t index) {
  if (index >= lock_file_count(handle)) return nullptr;
  return index == 0 ? handle->primary->path : handle->further[index - 1]->path;
}

fio_place lock_file_place_at(const lock_handle* handle, uint32_t index) {
  if (index >= lock_file_count(handle)) return fio_place{};
  return entry_place(index == 0 ? handle->primary : handle->further[index - 1]);
}

int32_t lock_owner_check(context* ctx, const lock_handle* handle) {
  if (handle == nullptr) return TQ_ERR_ARGUMENT;
  if (!owned_by(handle, ctx)) return report_foreign(ctx);
  if (!handle->held || handle->primary == nullptr) return report_not_held(ctx);
  return 0;
}

// ---- Export implementations --------------------------------------------------

int32_t lock_init(context* ctx, tq_lock_handle** lock) {
  *lock = nullptr;
  auto* handle = static_cast<tq_lock_handle*>(np_calloc(1, sizeof(tq_lock_handle)));
  if (handle == nullptr) return TQ_ERR_NO_MEMORY;
  handle->owner = ctx;
  *lock = handle;
  return 0;
}

int32_t lock_free(context* ctx, lock_handle* lock) {
  if (lock == nullptr) return 0;
  if (!owned_by(lock, ctx)) return report_foreign(ctx);
  const int32_t rc = lock->held ? lock_release_all(ctx, lock) : 0;
  // Registrations made for editing borrowed the handle for their first
  // load; they must not keep it past this point.
  rsrc_lock_detach(ctx, lock);
  std::free(lock);
  return rc;
}

int32_t lock_create(context* ctx, const char* fname, uint32_t kind, lock_handle* lock, char* path) {
  if (path != nullptr) strio_out_clear(ctx, path);
  if (!owned_by(lock, ctx)) return report_foreign(ctx);
  std::string name;
  int32_t in = strio_in_whole(ctx, fname, &name, kStrioConvert | kStrioUnkept);
  if (in < 0) return in;
  // The file layer looks for the name with its kind's extension, in
  // kFioPathSize bytes: a longer one is refused with its length, never cut
  // (cut, it would name another file).
  if (const char* ext = fio_kind_extension(kind); ext != nullptr) {
    std::string file(name.size() + std::strlen(ext) + 2, '\0');
    (void)fio_name_extension_set(name.c_str(), ext, file.data(), static_cast<uint32_t>(file.size()));
    const size_t n = std::strlen(file.c_str());
    if (n >= kFioPathSize) {
      TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1910, "file name (with its kind's extension)", call_name_of(ctx),
                static_cast<uint32_t>(n), kFioPathSize - 1);
      return TQ_ERR_ARGUMENT;
    }
  }
  std::string resolved(kLockPathSize, '\0');  // on the heap: calls run on small stacks
  int32_t rc = lock_file_create(ctx, name.c_str(), kind, lock, resolved.data(), kLockPathSize);
  if (rc != 0) return rc;
  if (path != nullptr) {
    int32_t out = strio_out_16384(ctx, resolved.c_str(), path, kStrioConvert);
    if (out != 0) return out;
  }
  return in;
}

}  // namespace tq

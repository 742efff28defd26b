#include "kbstore/krlib.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krfio.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "kbstore/krlocp.h"
#include "kbstore/krlock.h"
#include "kbstore/krshared.h"
#include "kbstore/krvlt.h"
#include "kbstore/krxml.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr const char* kKindNames[] = {"", "Chopper", "Grammar", "Phonetx", "Regex", "Scheme", "Vocab"};

bool kind_ok(uint32_t kind) { return kind >= 1 && kind <= kRsrcKindCount; }

rsrc_table* table_of(const context* ctx, uint32_t kind) {
  shared_contents* sc = ctx_contents(ctx);
  return sc == nullptr ? nullptr : &sc->rsrc[kind];
}

// The extensions of the files a kind is read from, as its loader finds them
// from a name. Vocabularies are read compiled; their loader also cuts the
// extensions of their source forms.
constexpr const char* kVaultExtensions[] = {"zel", "krd", nullptr};
constexpr const char* kVocabFileExtensions[] = {"zev", "krv", nullptr};
constexpr const char* kVocabNameExtensions[] = {"zev", "krv", "krd", "xml", nullptr};

const char* const* name_extensions(uint32_t kind) {
  return kind == kRsrcVocab ? kVocabNameExtensions : kVaultExtensions;
}

const char* const* file_extensions(uint32_t kind) {
  return kind == kRsrcVocab ? kVocabFileExtensions : kVaultExtensions;
}

// Cuts ".ext" from the end of name[0..*n) when it is there with something
// before it.
bool cut_extension(const char* name, std::size_t* n, const char* ext) {
  std::size_t e = std::strlen(ext);
  if (*n <= e + 1 || name[*n - e - 1] != '.' || std::memcmp(name + *n - e, ext, e) != 0) return false;
  *n -= e + 1;
  return true;
}

// The length of a name without the file extension of its kind.
std::size_t without_file_extension(uint32_t kind, const char* name, std::size_t n) {
  for (const char* const* ext = name_extensions(kind); *ext != nullptr; ++ext) {
    if (cut_extension(name, &n, *ext)) break;
  }
  return n;
}

// The part of a name that tells resources of a kind apart: without its file
// extension, and for a scheme without ".sch" (its file name adds it).
std::size_t stem_length(uint32_t kind, const char* name) {
  std::size_t n = without_file_extension(kind, name, std::strlen(name));
  if (kind == kRsrcScheme) cut_extension(name, &n, "sch");
  return n;
}

// Forgets everything of the slot, the client loads recorded in it included.
void slot_clear(resource_slot* slot) {
  sharer_loads_free(&slot->client_loads);
  std::memset(static_cast<void*>(slot), 0, sizeof *slot);
}

// A free slot of the kind, or a new one at the end of the table.
int32_t slot_take(rsrc_table* table, int32_t* index) {
  for (uint32_t i = 0; i < table->count; ++i) {
    if (table->slots[i]->state == kRsrcFree) {
      *index = static_cast<int32_t>(i);
      return 0;
    }
  }
  auto* slot = static_cast<resource_slot*>(np_calloc(1, sizeof(resource_slot)));
  if (slot == nullptr) return TQ_ERR_NO_MEMORY;
  auto* grown = static_cast<resource_slot**>(np_realloc(table->slots, sizeof(resource_slot*) * (table->count + 1)));
  if (grown == nullptr) {
    std::free(slot);
    return TQ_ERR_NO_MEMORY;
  }
  table->slots = grown;
  table->slots[table->count] = slot;
  *index = static_cast<int32_t>(table->count);
  table->count += 1;
  return 0;
}

void slot_fill(resource_slot* slot, uint32_t kind, const char* name, uint32_t state, const rsrc_callbacks* cb) {
  slot_clear(slot);
  str_copy_bounded(slot->name, name != nullptr ? name : "", kRsrcNameSize);
  slot->kind = kind;
  slot->state = state;
  slot->refs = 1;
  slot->version_supported = 1;
  if (cb != nullptr) slot->cb = *cb;
}

resource_slot* slot_at(const rsrc_table* table, int32_t index) {
  if (table == nullptr || index < 0 || static_cast<uint32_t>(index) >= table->count) return nullptr;
  return table->slots[index];
}

// Whether an existing slot serves a registration of `name`, by the tests of
// the registration (not those stored in the slot).
int32_t slot_serves(context* ctx, resource_slot* slot, const char* name, const rsrc_callbacks* cb, int32_t* same) {
  auto test = slot->state == kRsrcRegistered ? cb->same_registered : cb->same_loaded;
  if (test == nullptr) {
    *same = rsrc_same_name(slot->kind, slot->name, name) ? 1 : 0;
    return 0;
  }
  return test(ctx, slot, name, cb->arg, same);
}

// Where a kind's file is looked for: the name (a scheme's file adds ".sch")
// and the file kind, vocabularies as compiled vaults, every other kind as a
// document vault (each also as its older form, fio_kind_older).
struct resource_file {
  const char* name = nullptr;
  uint32_t kind = kFioKindZel;
  char scheme_file[kRsrcNameSize + 8];
};

bool resource_file_of(uint32_t kind, const char* name, resource_file* out) {
  out->name = name;
  if (kind == kRsrcScheme) {
    if (rsrc_scheme_file_name(name, out->scheme_file, sizeof out->scheme_file) != 0) return false;
    out->name = out->scheme_file;
  }
  out->kind = kind == kRsrcVocab ? kFioKindZev : kFioKindZel;
  return true;
}

// Whether the resource's file exists along the search path, found as its
// load opens it (fio_find_in_path: the same forms, folders and edges): 0;
// -404 when it is in no folder (or its name makes no file name); -400 when
// it could not be looked for, recorded with the file and the system's
// reason, or with the length of its path in a folder where that was too
// long. The look-ups count a cause that may pass.
int32_t resource_file_find(context* ctx, uint32_t kind, const char* name) {
  resource_file file;
  if (!resource_file_of(kind, name, &file)) return -1;
  fio_open_report report;
  const int32_t rc = fio_find_in_path(ctx, file.name, file.kind, 0, &report);
  if (rc == 0 || rc == TQ_ERR_NO_MEMORY || rc == TQ_ERR_FILE_MISSING) return rc;
  if (rc != TQ_ERR_FILE_OPEN) return TQ_ERR_FILE_MISSING;
  fio_open_report_record(ctx, report);
  return TQ_ERR_FILE_OPEN;
}

// resource_file_find for a registration: the failure as the registration
// answers it, recorded. A file missing is named with where it was looked
// for (the search path, or why the root could not be searched) and
// answered -400 (so is a name that makes no file name); any other failure
// said why already.
int32_t registered_file_find(context* ctx, uint32_t kind, const char* stem) {
  const int32_t rc = resource_file_find(ctx, kind, stem);
  if (rc == 0) return rc;
  if (rc != TQ_ERR_FILE_OPEN && rc != TQ_ERR_NO_MEMORY) {
    char text[kErrTextSize];
    fio_missing_text(ctx, stem, text);
    TQ_REPORT(ctx, TQ_ERR_FILE_OPEN, 52, static_cast<const char*>(text));
  }
  return rc == TQ_ERR_NO_MEMORY ? rc : TQ_ERR_FILE_OPEN;
}

// An edit of a resource registered already locks its file for the editor's
// handle, as the first load of one registered for editing does; otherwise
// the handle holds nothing and the editor's save is refused. A resource
// without a file (made in memory, its file not made yet) has nothing to
// lock. The lock's failure (the file locked elsewhere, a handle of another
// context) is the edit's, and the handle keeps only what it held. What was
// read already must have been read from the version the lock now holds
// (file_read_take): another editor's save since it was read is never
// overwritten with what was read before it; the edit is refused instead
// (-405) and gives back what it locked. One not read yet is read on its
// first use through the handle, from the file it holds.
int32_t resource_file_lock(context* ctx, resource_slot* slot, lock_handle* lock) {
  resource_file file;
  if (!resource_file_of(slot->kind, slot->name, &file)) return TQ_ERR_ARGUMENT;
  lock_mark_guard kept(ctx, lock);
  lock_ref taken;
  int32_t rc = lock_file_create_found(ctx, file.name, file.kind, lock, nullptr, 0, &taken);
  if (rc == TQ_ERR_FILE_MISSING) return 0;
  if (rc < 0) return rc;
  if (slot->state == kRsrcRegistered) {
    slot->cb.lock = lock;
  } else {
    rc = file_read_take(ctx, &slot->read, lock, taken, rsrc_kind_name_get(slot->kind), slot->name);
    if (rc != 0) return rc;
  }
  kept.keep();
  lock_ref_edited(lock, taken);
  return 0;
}

// Loads a registered slot; the caller holds the write hold.
int32_t slot_load(context* ctx, resource_slot* slot) {
  if (slot->state != kRsrcRegistered) return 0;
  if (slot->cb.load != nullptr) {
    const uint32_t failures = err_failures_mark(ctx);
    int32_t rc = 0;
    // What the load locks through the handle it borrows is given back when
    // it fails, whichever way it leaves: its reader may throw.
    lock_mark_guard taken(ctx, slot->cb.lock);
    try {
      rc = slot->cb.load(ctx, slot, slot->cb.lock, slot->cb.arg);
    } catch (const std::bad_alloc&) {
      // Out of memory in a kind's reader: a failure like any other, so that
      // the holds its callers took are given back on their usual road.
      TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Allocating memory while reading a resource.");
      rc = TQ_ERR_NO_MEMORY;
    }
    // A failed load leaves the slot registered, so the next use tries again.
    if (rc < 0) return rc;
    taken.keep();
    // One that went on past a part it could not read is loaded as it is;
    // the call that read it answers for the failures in its list.
    if (err_failed_since(ctx, failures)) ctx->partial_reads = 1;
  }
  slot->state = kRsrcLoaded;
  slot->unfound = 0;
  return 0;
}

void slot_free(context* ctx, resource_slot* slot, int32_t* result) {
  int32_t rc = 0;
  if (slot->state != kRsrcRegistered && slot->cb.free != nullptr) rc = slot->cb.free(ctx, slot, slot->cb.arg);
  slot_clear(slot);
  if (result != nullptr) *result = rc;
}

// Gives back one reference of a used slot under the write hold the caller
// took, and ends that hold: the last reference frees the slot. The free
// operation's failure, else the release's result.
int32_t release_held(context* ctx, resource_slot* slot, write_hold& hold) {
  if (slot->refs > 0) slot->refs -= 1;
  int32_t result = 0;
  if (slot->refs == 0) slot_free(ctx, slot, &result);
  int32_t released = hold.release();
  return result != 0 ? result : released;
}

// The version text's integer part (its first 12 characters before '.').
long version_integer(const char* v) {
  char head[13];
  std::size_t n = std::strcspn(v, ".");
  if (n > 12) n = 12;
  std::memcpy(head, v, n);
  head[n] = '\0';
  return std::strtol(head, nullptr, 10);
}

}  // namespace

int32_t rsrc_scheme_file_name(const char* name, char* out, uint32_t size) {
  if (name == nullptr || out == nullptr || size == 0) return -1;
  std::size_t n = std::strlen(name);
  bool has_sch = (n >= 5 && std::memcmp(name + n - 4, ".sch", 4) == 0) ||
                 (n >= 9 && std::memcmp(name + n - 8, ".sch", 4) == 0);
  std::size_t total = n + (has_sch ? 0 : 4);
  if (total + 1 > size) return -1;
  std::memcpy(out, name, n);
  if (!has_sch) std::memcpy(out + n, ".sch", 4);
  out[total] = '\0';
  return 0;
}

bool rsrc_same_name(uint32_t kind, const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return false;
  std::size_t la = stem_length(kind, a);
  std::size_t lb = stem_length(kind, b);
  return la == lb && std::memcmp(a, b, la) == 0;
}

int32_t rsrc_save_place(context* ctx, resource_slot* slot, lock_handle* lock, fio_place* place) {
  if (place != nullptr) *place = fio_place{};
  if (slot == nullptr || place == nullptr) return TQ_ERR_ARGUMENT;
  // The slot's record is shared with every context of the state: it is
  // read and changed (the ref a handle took since, the version written)
  // under the write hold, which the whole save keeps.
  const write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  const uint32_t kind = slot->kind;
  // The file's name without its extension, as the kind's loader builds it.
  char file[kRsrcNameSize + 8];
  std::size_t n = without_file_extension(kind, slot->name, std::strlen(slot->name));
  std::memcpy(file, slot->name, n);
  file[n] = '\0';
  if (kind == kRsrcScheme && n > 0) {
    char base[kRsrcNameSize];
    std::memcpy(base, file, n + 1);
    if (rsrc_scheme_file_name(base, file, sizeof file) != 0) return TQ_ERR_ARGUMENT;
  }
  const lock_name_rule rule{file, file_extensions(kind)};
  return file_read_save_place(ctx, &slot->read, lock, rule, rsrc_kind_name_get(kind), slot->name, place);
}

int32_t rsrc_document_read(context* ctx, resource_slot* slot, lock_handle* lock, const char* file, uint32_t flags,
                           xmldoc** out) {
  lock_ref taken;
  const int32_t rc = lock != nullptr ? xmldoc_read_for_edit(ctx, file, flags, lock, out, &taken)
                                     : xmldoc_read(ctx, file, flags, out);
  if (rc >= 0 && *out != nullptr) slot->read = file_read{taken, (*out)->read_from};
  return rc;
}

void rsrc_lock_detach(context* ctx, const lock_handle* lock) {
  if (lock == nullptr || ctx_contents(ctx) == nullptr) return;
  // Loads run under the write hold, so none is using the handle while it
  // is forgotten. Should the hold be refused, it is forgotten all the same:
  // a registration left pointing at freed memory is worse.
  const write_hold hold(ctx);
  for (uint32_t kind = 1; kind <= kRsrcKindCount; ++kind) {
    rsrc_table* table = table_of(ctx, kind);
    for (uint32_t i = 0; i < table->count; ++i) {
      if (table->slots[i]->cb.lock == lock) table->slots[i]->cb.lock = nullptr;
    }
  }
}

const char* rsrc_kind_name_get(uint32_t kind) { return kind_ok(kind) ? kKindNames[kind] : kKindNames[0]; }

int32_t rsrc_save_build_failed(context* ctx, const resource_slot* slot, int32_t rc) {
  if (rc == TQ_ERR_NO_MEMORY && slot != nullptr) {
    TQ_REPORT(ctx, rc, 2040, rsrc_kind_name_get(slot->kind), static_cast<const char*>(slot->name));
  }
  return rc;
}

int32_t rsrc_register(context* ctx, uint32_t kind, const char* name, const rsrc_callbacks* cb, int32_t* out_index) {
  // Asked for this registration alone: what it does in turn (a load at
  // once that registers what the resource names) asks nothing.
  const bool keep = ctx != nullptr && std::exchange(ctx->rsrc_keep_name, 0u) != 0;
  if (out_index != nullptr) *out_index = -1;
  if (!kind_ok(kind) || name == nullptr || cb == nullptr || out_index == nullptr) return TQ_ERR_ARGUMENT;
  // Only an extension the kind's files carry is cut: "Addr.v1" stays whole.
  char stem[kRsrcNameSize];
  std::size_t stem_n = without_file_extension(kind, name, std::strlen(name));
  if (stem_n >= sizeof stem) {
    (void)strio_kept_length_check(ctx, name, kRsrcNameSize - 1);  // says why
    return TQ_ERR_ARGUMENT;
  }
  std::memcpy(stem, name, stem_n);
  stem[stem_n] = '\0';
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = 0;
  rsrc_table* table = table_of(ctx, kind);
  for (uint32_t i = 0; i < table->count; ++i) {
    resource_slot* slot = table->slots[i];
    if (slot->state == kRsrcFree) continue;
    int32_t same = 0;
    rc = slot_serves(ctx, slot, stem, cb, &same);
    if (rc != 0) return rc;
    if (same) {
      // A name kept without its file serves only once the file is found
      // (or, for a definition's reader, as the name it is).
      if (slot->unfound != 0) {
        rc = registered_file_find(ctx, kind, stem);
        if (rc == 0) slot->unfound = 0;
        if (rc != 0 && !keep) return rc;
      }
      const int32_t found = rc;
      if (found == 0 && cb->lock != nullptr) rc = resource_file_lock(ctx, slot, cb->lock);
      if (rc != 0 && found == 0) return rc;
      slot->refs += 1;
      *out_index = static_cast<int32_t>(i);
      return found != 0 ? found : TQ_WARN_ALREADY_REGISTERED;
    }
  }
  const int32_t found = registered_file_find(ctx, kind, stem);
  if (found != 0 && !keep) return found;
  int32_t index = -1;
  rc = slot_take(table, &index);
  if (rc != 0) return rc;
  resource_slot* slot = table->slots[index];
  slot_fill(slot, kind, stem, kRsrcRegistered, cb);
  *out_index = index;
  if (found != 0) {
    // Kept by its name alone: the registrant owns the reference, and the
    // first use looks for the file again.
    slot->unfound = 1;
    return rc_combine(found, hold.release());
  }
  // The registrant owns the reference even when loading at once fails.
  if (ctx->options & kOptPrepareOnRead) rc = slot_load(ctx, slot);
  int32_t released = hold.release();
  return rc != 0 ? rc : released;
}

int32_t rsrc_slot_create(context* ctx, uint32_t kind, const char* name, uint32_t allow_duplicate,
                         const rsrc_callbacks* cb, int32_t* out_index) {
  if (out_index != nullptr) *out_index = -1;
  if (!kind_ok(kind) || out_index == nullptr) return TQ_ERR_ARGUMENT;
  // Registered with at most 1,024 bytes, as a load registers a name: a
  // longer one is refused, since cut it would name another resource.
  if (name != nullptr && std::strlen(name) >= kRsrcNameSize) {
    (void)strio_kept_length_check(ctx, name, kRsrcNameSize - 1);  // says why
    return TQ_ERR_ARGUMENT;
  }
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  rsrc_table* table = table_of(ctx, kind);
  if (!allow_duplicate && name != nullptr) {
    for (uint32_t i = 0; i < table->count; ++i) {
      resource_slot* slot = table->slots[i];
      if (slot->state != kRsrcFree && rsrc_same_name(kind, slot->name, name)) return TQ_ERR_NAME_IN_USE;
    }
  }
  int32_t index = -1;
  const int32_t rc = slot_take(table, &index);
  if (rc == 0) {
    slot_fill(table->slots[index], kind, name, kRsrcCreated, cb);
    *out_index = index;
  }
  int32_t released = hold.release();
  return rc != 0 ? rc : released;
}

namespace {

// The used slot at the index, loaded on first use. A first use loads under
// the write hold, so that two contexts sharing the state never load the
// same resource at once: taken here unless the caller holds it (`held`).
int32_t slot_find_loaded(context* ctx, uint32_t kind, int32_t index, bool held, resource_slot** out) {
  resource_slot* slot = slot_at(table_of(ctx, kind), index);
  if (slot == nullptr || slot->state == kRsrcFree) return TQ_ERR_INDEX;
  if (slot->state == kRsrcRegistered) {
    write_hold loading = held ? write_hold() : write_hold(ctx);
    if (loading.rc() != 0) return loading.rc();
    int32_t rc = slot_load(ctx, slot);
    const int32_t released = loading.release();
    if (rc == 0) rc = released;
    if (rc != 0) return rc;
  }
  *out = slot;
  return 0;
}

}  // namespace

int32_t rsrc_slot_get_loaded(context* ctx, uint32_t kind, int32_t index, uint32_t hold, resource_slot** out) {
  if (out != nullptr) *out = nullptr;
  if (!kind_ok(kind) || out == nullptr) return TQ_ERR_ARGUMENT;
  if (hold != 1) return slot_find_loaded(ctx, kind, index, false, out);
  // The call returns holding the write hold on success: the guard lets it
  // go only then.
  write_hold held(ctx);
  if (!held.held()) return held.rc();
  const int32_t rc = slot_find_loaded(ctx, kind, index, true, out);
  if (rc == 0) held.keep();
  return rc;
}

int32_t rsrc_slot_get(context* ctx, uint32_t kind, int32_t index, uint32_t hold, resource_slot** out) {
  if (out != nullptr) *out = nullptr;
  if (!kind_ok(kind) || out == nullptr) return TQ_ERR_ARGUMENT;
  write_hold held = hold == 1 ? write_hold(ctx) : write_hold();
  if (held.rc() != 0) return held.rc();
  resource_slot* slot = slot_at(table_of(ctx, kind), index);
  // A stale index names a freed slot: out of range like any other.
  if (slot == nullptr || slot->state == kRsrcFree) return TQ_ERR_INDEX;
  *out = slot;
  held.keep();  // hold 1: returned holding it
  return 0;
}

int32_t rsrc_slot_get_used(context* ctx, uint32_t kind, int32_t index, resource_slot** out) {
  if (out != nullptr) *out = nullptr;
  if (!kind_ok(kind) || out == nullptr) return TQ_ERR_ARGUMENT;
  resource_slot* slot = slot_at(table_of(ctx, kind), index);
  if (slot == nullptr || slot->state == kRsrcFree) return TQ_ERR_INDEX;
  *out = slot;
  return 0;
}

int32_t rsrc_unlock(context* ctx, resource_slot* slot, uint32_t hold) {
  (void)slot;
  return hold == 1 ? write_hold::adopt(ctx).release() : 0;
}

int32_t rsrc_addref(context* ctx, uint32_t kind, int32_t index) {
  if (!kind_ok(kind)) return TQ_ERR_ARGUMENT;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  resource_slot* slot = slot_at(table_of(ctx, kind), index);
  if (slot == nullptr || slot->state == kRsrcFree) return TQ_ERR_INDEX;
  slot->refs += 1;
  return hold.release();
}

int32_t rsrc_release(context* ctx, resource_slot* slot) {
  if (slot == nullptr || slot->state == kRsrcFree) return 0;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  // Every reference left is a client's: none is this caller's to give back,
  // and freeing the slot would pull it from under the client (whose next
  // call, or a resource later registered into the slot, it would meet).
  const uint32_t client = slot->client_loads.total;
  if (client > 0 && slot->refs <= client) return hold.release();
  return release_held(ctx, slot, hold);
}

int32_t rsrc_unref(context* ctx, uint32_t kind, int32_t index) {
  resource_slot* slot = nullptr;
  if (rsrc_slot_get_used(ctx, kind, index, &slot) != 0) return 0;
  int32_t rc = rsrc_release(ctx, slot);
  return rc < 0 ? rc : 0;
}

int32_t rsrc_unload(context* ctx, uint32_t kind, int32_t index) {
  resource_slot* slot = nullptr;
  int32_t rc = rsrc_slot_get_used(ctx, kind, index, &slot);
  if (rc != 0) return rc;
  rc = rsrc_release(ctx, slot);
  return rc < 0 ? rc : 0;
}

int32_t rsrc_client_load_end(context* ctx, uint32_t kind, int32_t* index, int32_t rc, write_hold& hold) {
  resource_slot* slot = kind_ok(kind) && index != nullptr ? slot_at(table_of(ctx, kind), *index) : nullptr;
  // The index came with a reference the client now holds; the count can
  // never pass the references (a slot freed again on the way is not
  // counted).
  if (slot != nullptr && slot->state != kRsrcFree && slot->client_loads.total < slot->refs &&
      sharer_loads_add(&slot->client_loads, ctx) != 0) {
    // A load no record says this context holds could never be given back:
    // the reference goes back at once (freeing a slot made for it) and the
    // client gets no index.
    TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Allocating memory for the record of a client's load of a resource.");
    slot->refs -= 1;
    if (slot->refs == 0) slot_free(ctx, slot, nullptr);
    *index = -1;
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, hold.release());
}

int32_t rsrc_client_unload(context* ctx, uint32_t kind, int32_t index) {
  resource_slot* slot = nullptr;
  int32_t rc = rsrc_slot_get(ctx, kind, index, 1, &slot);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);
  // Only this context's own loads are its to give back, and those closed
  // contexts left: the rest are held by definitions (giving one back would
  // leave a definition naming a freed or reused slot) or by other open
  // contexts (whose next calls would fail, or run whatever resource comes
  // into the slot next). An index this context gave back, whose slot
  // another load has taken since, finds no load of its own here either: the
  // record went with the old resource.
  if (!sharer_loads_take(&slot->client_loads, ctx)) {
    TQ_REPORT(ctx, TQ_ERR_INDEX, 1840, rsrc_kind_name_get(kind), static_cast<const char*>(slot->name), index);
    return TQ_ERR_INDEX;
  }
  rc = release_held(ctx, slot, hold);
  return rc < 0 ? rc : 0;
}

int32_t rsrc_ref::share(context* ctx, rsrc_ref* out) const {
  if (out == nullptr || out->held()) return TQ_ERR_ARGUMENT;
  if (index_ < 0) return 0;  // unbound copies unbound: there is no reference to take
  int32_t rc = rsrc_addref(ctx, kind_, index_);
  if (rc != 0) return rc;
  *out = adopt(kind_, index_);
  return 0;
}

int32_t rsrc_ref::release(context* ctx) {
  if (index_ < 0) return 0;
  int32_t index = index_;
  index_ = -1;  // set before the slot is freed: nothing can give it back twice
  return rsrc_unref(ctx, kind_, index);
}

namespace {
std::atomic<const rsrc_open_ops*> g_open_ops{nullptr};
}  // namespace

void rsrc_open_ops_set(const rsrc_open_ops* ops) { g_open_ops.store(ops, std::memory_order_release); }

const rsrc_open_ops* rsrc_open_ops_get() { return g_open_ops.load(std::memory_order_acquire); }

namespace {

// A registration by name through the operations lent for the kind; index
// as the registration leaves it.
int32_t open_op(context* ctx, uint32_t kind, const char* name, uint32_t options, int32_t* index) {
  const rsrc_open_ops* ops = rsrc_open_ops_get();
  switch (kind) {
    case kRsrcRegex:
      if (ops != nullptr && ops->regexlib_open != nullptr) return ops->regexlib_open(ctx, name, index);
      break;
    case kRsrcScheme:
      if (ops != nullptr && ops->scheme_open != nullptr) return ops->scheme_open(ctx, name, options, index);
      break;
    case kRsrcChopper:
      if (ops != nullptr && ops->chopper_open != nullptr) return ops->chopper_open(ctx, name, index);
      break;
    case kRsrcVocab:
      if (ops != nullptr && ops->vocab_open != nullptr) return ops->vocab_open(ctx, name, index);
      break;
    default:
      return TQ_ERR_ARGUMENT;
  }
  return TQ_ERR_NOT_SUPPORTED;
}

}  // namespace

int32_t rsrc_open(context* ctx, uint32_t kind, const char* name, uint32_t options, rsrc_ref* out) {
  if (out == nullptr || out->held() || name == nullptr) return TQ_ERR_ARGUMENT;
  return rsrc_open_kept(ctx, kind, out, [&](int32_t* index) { return open_op(ctx, kind, name, options, index); });
}

int32_t rsrc_ref_check(context* ctx, const rsrc_ref& ref) {
  if (!ref.held()) return TQ_ERR_ARGUMENT;
  resource_slot* slot = nullptr;
  return rsrc_slot_get_loaded(ctx, ref.kind(), ref.index(), 0, &slot);
}

namespace {

// Keeps an opened reference only once it reads as its kind; a failed
// registration that handed out an index (its load at once failed) gives
// it back.
int32_t keep_checked(context* ctx, int32_t opened, int32_t index, uint32_t kind, rsrc_ref* out) {
  if (index >= 0) *out = rsrc_ref::adopt(kind, index);
  if (opened >= 0 && index < 0) opened = TQ_ERR_FAILED;
  if (opened < 0) {
    (void)out->release(ctx);
    return opened;
  }
  const int32_t rc = rsrc_ref_check(ctx, *out);
  if (rc == 0) return opened;
  (void)out->release(ctx);
  return rc < 0 ? rc : TQ_ERR_FAILED;
}

}  // namespace

namespace {

// The name an edit gives a resource is kept by the definition and
// registered with at most 1,024 bytes before its extension: a longer one is
// refused with its length, where a kind's own load might cut it (a regex
// library's) and then name another resource.
int32_t edit_name_check(context* ctx, uint32_t kind, const char* name) {
  const std::size_t n = std::strlen(name);
  if (without_file_extension(kind, name, n) < kRsrcNameSize) return 0;
  return strio_kept_length_check(ctx, name, kRsrcNameSize - 1);
}

}  // namespace

int32_t rsrc_open_checked(context* ctx, uint32_t kind, const char* name, uint32_t options, rsrc_ref* out) {
  if (name != nullptr && kind_ok(kind)) {
    if (const int32_t rc = edit_name_check(ctx, kind, name); rc < 0) return rc;
  }
  if (out == nullptr || out->held() || name == nullptr) return TQ_ERR_ARGUMENT;
  int32_t index = -1;
  const int32_t rc = open_op(ctx, kind, name, options, &index);
  return keep_checked(ctx, rc == TQ_WARN_ALREADY_REGISTERED ? 0 : rc, index, kind, out);
}

int32_t rsrc_open_checked_by(context* ctx, uint32_t kind, rsrc_register_fn reg, const char* name, rsrc_ref* out) {
  if (out == nullptr || out->held() || name == nullptr || reg == nullptr || !kind_ok(kind)) return TQ_ERR_ARGUMENT;
  if (const int32_t rc = edit_name_check(ctx, kind, name); rc < 0) return rc;
  int32_t index = -1;
  const int32_t rc = reg(ctx, name, &index);
  return keep_checked(ctx, rc == TQ_WARN_ALREADY_REGISTERED ? 0 : rc, index, kind, out);
}

int32_t rsrc_find_by_name(context* ctx, uint32_t kind, const char* name, int32_t* out_index) {
  if (out_index != nullptr) *out_index = -1;
  if (!kind_ok(kind) || name == nullptr || out_index == nullptr) return TQ_ERR_ARGUMENT;
  const rsrc_table* table = table_of(ctx, kind);
  for (uint32_t i = 0; i < table->count; ++i) {
    const resource_slot* slot = table->slots[i];
    if (slot->state != kRsrcFree && rsrc_same_name(kind, slot->name, name)) {
      *out_index = static_cast<int32_t>(i);
      return 0;
    }
  }
  return TQ_ERR_FILE_MISSING;
}

int32_t rsrc_name_get(context* ctx, uint32_t kind, int32_t index, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return TQ_ERR_ARGUMENT;
  out[0] = '\0';
  resource_slot* slot = nullptr;
  int32_t rc = rsrc_slot_get(ctx, kind, index, 0, &slot);
  if (rc != 0) return rc;
  uchar_buf_copy(out, slot->name, size);
  return 0;
}

int32_t rsrc_rename(context* ctx, uint32_t kind, int32_t index, const char* name) {
  if (name == nullptr || !kind_ok(kind)) return TQ_ERR_ARGUMENT;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  rsrc_table* table = table_of(ctx, kind);
  resource_slot* slot = slot_at(table, index);
  if (slot == nullptr || slot->state == kRsrcFree) return TQ_ERR_INDEX;
  for (uint32_t i = 0; i < table->count; ++i) {
    const resource_slot* other = table->slots[i];
    if (other->state != kRsrcFree && rsrc_same_name(kind, other->name, name)) return TQ_ERR_NAME_IN_USE;
  }
  str_copy_bounded(slot->name, name, kRsrcNameSize);
  return hold.release();
}

// ---- The accessors every resource kind shares --------------------------------------------

namespace {

// The record of a slot, held for reading (hold 0: the caller's read hold
// keeps it) or for change (hold 1: the write hold, given back by end() or
// on any path that leaves early). With content set the record must exist
// (-800) and meet the kind's state rule (-501).
struct part_guard {
  context* ctx;
  uint32_t hold;
  resource_slot* slot = nullptr;
  char* part = nullptr;
  int32_t rc;
  part_guard(context* c, const rsrc_access& k, int32_t index, uint32_t h, bool content) : ctx(c), hold(h) {
    rc = rsrc_slot_get_loaded(c, k.kind, index, h, &slot);
    if (rc != 0) {
      slot = nullptr;
      return;
    }
    part = static_cast<char*>(slot->part);
    if (!content) return;
    if (part == nullptr) {
      rc = TQ_ERR_INDEX;
    } else if (k.state_bit != 0) {
      uint32_t state = 0;
      std::memcpy(&state, part + k.state_at, sizeof state);
      if (!(state & k.state_bit)) rc = TQ_ERR_NEEDS_EDIT_MODE;
    }
  }
  ~part_guard() { (void)end(0); }
  part_guard(const part_guard&) = delete;
  part_guard& operator=(const part_guard&) = delete;
  // Gives the hold back; the call's result combined with the release's.
  int32_t end(int32_t result) {
    int32_t released = slot != nullptr && hold == 1 ? rsrc_unlock(ctx, slot, 1) : 0;
    slot = nullptr;
    return rc_combine(result, released);
  }
  locale_info* locale(const rsrc_access& k) const { return reinterpret_cast<locale_info*>(part + k.locale_at); }
  vault_info* vault(const rsrc_access& k) const { return reinterpret_cast<vault_info*>(part + k.vault_at); }
};

}  // namespace

int32_t rsrc_unload(context* ctx, const rsrc_access& k, int32_t index) {
  return rsrc_client_unload(ctx, k.kind, index);
}

int32_t rsrc_owner_set(context* ctx, uint32_t kind, int32_t index, const char* text, uint32_t flags) {
  if (text == nullptr) return TQ_ERR_ARGUMENT;
  char owner[kRsrcOwnerSize];
  int32_t crc = strio_in(ctx, text, owner, kRsrcOwnerSize - 1, flags);
  if (crc < 0) return crc;
  resource_slot* slot = nullptr;
  int32_t rc = rsrc_slot_get_loaded(ctx, kind, index, 1, &slot);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);
  std::memcpy(slot->owner, owner, sizeof owner);
  return rc_combine(crc, hold.release());
}

int32_t rsrc_owner_get(context* ctx, uint32_t kind, int32_t index, uint32_t flags, char* out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  resource_slot* slot = nullptr;
  int32_t rc = rsrc_slot_get_loaded(ctx, kind, index, 0, &slot);
  if (rc != 0) return rc;
  return strio_out(ctx, slot->owner, out, kRsrcOwnerSize - 1, flags);
}

int32_t rsrc_owner_get(context* ctx, const rsrc_access& k, int32_t index, char* owner) {
  return rsrc_owner_get(ctx, k.kind, index, kStrioConvert, owner);
}

int32_t rsrc_owner_set(context* ctx, const rsrc_access& k, int32_t index, const char* owner) {
  return rsrc_owner_set(ctx, k.kind, index, owner, kStrioConvert);
}

int32_t rsrc_locale_info_get(context* ctx, const rsrc_access& k, int32_t index, char* iso, char* desc,
                             int32_t* code) {
  part_guard g(ctx, k, index, 0, true);
  if (g.rc != 0) return g.rc;
  return locale_info_get(ctx, g.locale(k), iso, desc, code, kStrioConvert);
}

int32_t rsrc_locale_info_set(context* ctx, const rsrc_access& k, int32_t index, const char* iso,
                             const char* desc, int32_t code) {
  locale_info in{};
  int32_t crc = locale_info_set(ctx, &in, iso, desc, code, kStrioConvert);
  if (crc < 0) return crc;
  part_guard g(ctx, k, index, 1, true);
  if (g.rc != 0) return g.rc;
  *g.locale(k) = in;
  return g.end(crc);
}

int32_t rsrc_vault_info_set(context* ctx, const rsrc_access& k, int32_t index, const char* name,
                            const char* desc) {
  char name_in[kVaultTextMax + 1];
  char desc_in[kVaultTextMax + 1];
  int32_t crc = strio_in(ctx, name, name_in, kVaultTextMax, kStrioConvert);
  if (crc >= 0) crc = rc_combine(crc, strio_in(ctx, desc, desc_in, kVaultTextMax, kStrioConvert));
  if (crc < 0) return crc;
  part_guard g(ctx, k, index, 1, true);
  if (g.rc != 0) return g.rc;
  vault_info_set(g.vault(k), name_in, desc_in);
  return g.end(crc);
}

int32_t rsrc_index_get_by_name(context* ctx, const rsrc_access& k, const char* name, int32_t* index) {
  *index = -1;
  auto* in = static_cast<char*>(np_malloc(k.name_max + 1));
  if (in == nullptr) return TQ_ERR_NO_MEMORY;
  int32_t crc = strio_in(ctx, name, in, k.name_max, kStrioConvert | kStrioUnkept);
  int32_t rc = crc;
  if (crc >= 0) rc = k.find != nullptr ? k.find(ctx, in, index) : rsrc_find_by_name(ctx, k.kind, in, index);
  std::free(in);
  if (rc < 0) return rc;
  // Schemes answer a found name with 0 whatever its conversion gave.
  return k.find_warns ? crc : 0;
}

int32_t rsrc_name_get_by_index(context* ctx, const rsrc_access& k, int32_t index, char* name) {
  strio_out_clear(ctx, name);
  resource_slot* slot = nullptr;
  if (rsrc_slot_get_used(ctx, k.kind, index, &slot) != 0) return TQ_ERR_INDEX;
  return strio_out_4096(ctx, slot->name, name, kStrioConvert);
}

int32_t rsrc_name_set(context* ctx, const rsrc_access& k, int32_t index, const char* name) {
  char in[kRsrcNameSize];
  int32_t crc = strio_in(ctx, name, in, kRsrcNameSize - 1, kStrioConvert);
  if (crc < 0) return crc;
  return rc_combine(rsrc_rename(ctx, k.kind, index, in), crc);
}

int32_t rsrc_owner_read(context* ctx, resource_slot* slot, const xmldoc* doc) {
  const char* owner = xmldoc_prop_get(ctx, doc, "Owner");
  if (owner != nullptr && owner[0] != '\0') uchar_buf_copy(slot->owner, owner, kRsrcOwnerSize);
  return 0;
}

int32_t rsrc_version_read(context* ctx, resource_slot* slot, const xmldoc* doc) {
  const char* version = xmldoc_prop_get(ctx, doc, "Version");
  if (version == nullptr || version[0] == '\0') return 0;
  uchar_buf_copy(slot->version, version, kRsrcVersionSize);
  uint32_t not_newer = 1;
  kbstore_version_check_engine(ctx, slot->version, &not_newer);
  slot->version_supported = not_newer;
  if (!not_newer) {
    TQ_REPORT(ctx, TQ_WARN_NEWER_VERSION, 1539, rsrc_kind_name_get(slot->kind), static_cast<const char*>(slot->name),
              static_cast<const char*>(slot->version));
  }
  return 0;
}

void rsrc_tables_free(context* ctx, rsrc_table* tables) {
  // Chopper, grammar, regex, scheme, phonetics, vocabulary: resources that
  // use others go first.
  static constexpr uint32_t kOrder[] = {kRsrcChopper, kRsrcGrammar, kRsrcRegex, kRsrcScheme, kRsrcPhonetx, kRsrcVocab};
  for (uint32_t kind : kOrder) {
    rsrc_table* table = &tables[kind];
    for (uint32_t i = 0; i < table->count; ++i) {
      resource_slot* slot = table->slots[i];
      if (slot->state != kRsrcFree) slot_free(ctx, slot, nullptr);
      std::free(slot);
    }
    std::free(table->slots);
    table->slots = nullptr;
    table->count = 0;
  }
}

int32_t kbstore_version_compare(context* ctx, const char* a, const char* b, uint32_t* not_newer) {
  (void)ctx;
  if (a == nullptr || b == nullptr || not_newer == nullptr) return TQ_ERR_ARGUMENT;
  long ia = version_integer(a);
  long ib = version_integer(b);
  if (ia != ib) {
    *not_newer = ia > ib ? 0 : 1;
    return 0;
  }
  const char* fa = std::strchr(a, '.');
  const char* fb = std::strchr(b, '.');
  fa = fa != nullptr ? fa + 1 : "";
  fb = fb != nullptr ? fb + 1 : "";
  while (*fa != '\0' || *fb != '\0') {
    char ca = *fa != '\0' ? *fa++ : '0';
    char cb = *fb != '\0' ? *fb++ : '0';
    if (ca != cb) {
      *not_newer = ca > cb ? 0 : 1;
      return 0;
    }
  }
  *not_newer = 1;
  return 0;
}

int32_t kbstore_version_check_engine(context* ctx, const char* version, uint32_t* not_newer) {
  return kbstore_version_compare(ctx, version, kEngineVersion, not_newer);
}

}  // namespace tq

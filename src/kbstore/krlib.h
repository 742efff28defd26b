// The resource registry: per shared state and resource kind, the slots of the
// resources that definitions name. A resource is registered by name when a
// definition naming it is read, loaded on first use through its kind's load
// operation, shared by reference count and freed with its last reference.
// A client's loads of a resource are counted apart from the references
// definitions hold, and per context that made them, so that an open client
// can give back only what it took itself (and what closed contexts left).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/krcorvel.h"
#include "core/krfio.h"
#include "core/krzel.h"
#include "kbstore/krlock.h"

struct tq_xmldoc;

namespace tq {

struct lock_handle;
struct resource_slot;
using xmldoc = ::tq_xmldoc;

enum rsrc_kind : uint32_t {
  kRsrcChopper = 1,
  kRsrcGrammar = 2,
  kRsrcPhonetx = 3,
  kRsrcRegex = 4,
  kRsrcScheme = 5,
  kRsrcVocab = 6,
};
inline constexpr uint32_t kRsrcKindCount = 6;

enum rsrc_state : uint32_t {
  kRsrcFree = 0,
  kRsrcCreated = 1,     // made in edit mode
  kRsrcRegistered = 2,  // named, not read yet
  kRsrcLoaded = 3,
};

inline constexpr uint32_t kRsrcNameSize = 1025;
inline constexpr uint32_t kRsrcVersionSize = 17;
inline constexpr uint32_t kRsrcOwnerSize = 321;

// The operations a resource kind hands over with each registration.
struct rsrc_callbacks {
  // Reads the resource into the slot's part on first use. What it locks
  // through `lock` (which may lock other files for the caller) is given
  // back by the registry when it fails, whichever way it leaves.
  int32_t (*load)(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t arg);
  // Frees the slot's part at the last release of a created or loaded slot.
  int32_t (*free)(context* ctx, resource_slot* slot, uintptr_t arg);
  // Whether a created or loaded slot serves a new registration of `name`;
  // NULL: the names are compared as rsrc_same_name does (without the kind's file extension).
  int32_t (*same_loaded)(context* ctx, resource_slot* slot, const char* name, uintptr_t arg, int32_t* same);
  // The same for a registered slot.
  int32_t (*same_registered)(context* ctx, resource_slot* slot, const char* name, uintptr_t arg, int32_t* same);
  uintptr_t arg;
  lock_handle* lock;  // the lock handle of a load for editing, or NULL
};

struct resource_slot {
  char name[kRsrcNameSize];  // without file extension
  char version[kRsrcVersionSize];
  char owner[kRsrcOwnerSize];
  uint32_t version_supported;  // 0 when the version read is newer than the engine
  uint32_t kind;
  uint32_t state;
  uint32_t refs;               // definitions' references plus client loads
  // Registered by the name a definition's file gave while that name's file
  // could not be found (rsrc_open_kept); cleared once it is found or read.
  uint32_t unfound;
  sharer_loads client_loads;   // the part of refs that client loads hold (its
                               // total), per open context that made them and
                               // left by closed ones: one per load or
                               // creation; they go with the slot
  rsrc_callbacks cb;
  void* part;  // the kind's own record
  // What it was read from (its lock ref and the version read), which
  // decides its save (rsrc_save_place) and every taking of its file again.
  file_read read;
};

// The slots of one kind. Slots live in their own allocations so that a slot
// pointer stays valid while the table grows.
struct rsrc_table {
  resource_slot** slots;
  uint32_t count;
};

const char* rsrc_kind_name_get(uint32_t kind);

int32_t rsrc_register(context* ctx, uint32_t kind, const char* name, const rsrc_callbacks* cb, int32_t* out_index);
int32_t rsrc_slot_create(context* ctx, uint32_t kind, const char* name, uint32_t allow_duplicate,
                         const rsrc_callbacks* cb, int32_t* out_index);
// With hold 1 the write hold is taken and, on success, kept for the caller,
// who takes it over at once (write_hold::adopt) or ends it with rsrc_unlock
// (an edit scope).
int32_t rsrc_slot_get_loaded(context* ctx, uint32_t kind, int32_t index, uint32_t hold, resource_slot** out);
int32_t rsrc_slot_get(context* ctx, uint32_t kind, int32_t index, uint32_t hold, resource_slot** out);
int32_t rsrc_slot_get_used(context* ctx, uint32_t kind, int32_t index, resource_slot** out);
int32_t rsrc_unlock(context* ctx, resource_slot* slot, uint32_t hold);
int32_t rsrc_addref(context* ctx, uint32_t kind, int32_t index);
// Gives back one reference that a definition (or other engine code) holds;
// the last one frees the slot. It never takes a client load: a slot whose
// references are all client loads is left as it is.
int32_t rsrc_release(context* ctx, resource_slot* slot);
// For unload operations: releases and reports only failures.
int32_t rsrc_unref(context* ctx, uint32_t kind, int32_t index);
// As rsrc_unref, but -800 for a free or out-of-range index.
int32_t rsrc_unload(context* ctx, uint32_t kind, int32_t index);

// ---- Client loads ------------------------------------------------------------------------
//
// Every export that hands a client an index (a load by name, also of a
// resource already registered, and a creation in edit mode) gives it a
// reference of its own, counted among the slot's client loads under the
// context that made it. N loads by a context need N unloads by that same
// context while it is open; an unload by a context that holds no load of the
// slot is refused, so that a client never gives back a reference a
// definition or another open context holds (not even through a stale index,
// once the slot has been freed and reused), and a locale's unload (which
// gives back its definitions' references) never frees what a client holds.
// A context's loads outlive it: when it closes they pass to the shared state
// as one count per slot, and any context that holds no load of the slot may
// give one of them back with its unload.

// Runs `open` (a kind's registration or creation, which sets *index) under
// one write hold and, when it handed out an index, counts the reference
// that came with it as a client load of this context; that includes a
// registration whose load at once failed, for the registrant owns the
// reference all the same. When the load cannot be recorded (-600, recorded)
// the reference is given back and *index set to -1. The result is open's,
// else the release's.
int32_t rsrc_client_load_end(context* ctx, uint32_t kind, int32_t* index, int32_t rc, write_hold& hold);
// With the handle of an edit (lock), the files the edit locked through it
// are given back when the load fails, however late: a failed call leaves
// the handle as it found it.
template <typename Open>
int32_t rsrc_client_load(context* ctx, uint32_t kind, int32_t* index, Open&& open, lock_handle* lock = nullptr) {
  lock_mark_guard taken(ctx, lock);
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  const int32_t rc = rsrc_client_load_end(ctx, kind, index, open(), hold);
  if (rc >= 0) taken.keep();
  return rc;
}

// The unload export of every kind: one of this context's client loads (or,
// when it holds none, one that a closed context left) and its reference
// given back (the last reference frees the slot; a failure of the free
// operation is returned). -800 for a free or out-of-range index, and -800
// (recorded, message 1840, nothing changed) for a slot of which this
// context holds no load and closed contexts left none.
int32_t rsrc_client_unload(context* ctx, uint32_t kind, int32_t index);
int32_t rsrc_find_by_name(context* ctx, uint32_t kind, const char* name, int32_t* out_index);
// The slot's name, UTF-8, cut between characters to size bytes with the
// terminator; -802 for no buffer, -800 for a free or out-of-range index.
int32_t rsrc_name_get(context* ctx, uint32_t kind, int32_t index, char* out, uint32_t size);
int32_t rsrc_rename(context* ctx, uint32_t kind, int32_t index, const char* name);
// The owner text (at most 320 bytes), converted with the strio flags; a set
// converts before it takes the write hold and changes nothing on a failure.
int32_t rsrc_owner_set(context* ctx, uint32_t kind, int32_t index, const char* text, uint32_t flags);
int32_t rsrc_owner_get(context* ctx, uint32_t kind, int32_t index, uint32_t flags, char* out);

// Records the document's "Owner" and "Version" properties in the slot. A
// version newer than the engine's is recorded as the warning 117 and still
// read; the result is 0.
int32_t rsrc_owner_read(context* ctx, resource_slot* slot, const xmldoc* doc);
int32_t rsrc_version_read(context* ctx, resource_slot* slot, const xmldoc* doc);

// Whether two names of resources of a kind name the same resource: equal
// once the file extension that the kind's files carry is cut from each
// ("zel" or "krd"; for vocabularies "zev", "krv", "krd" or "xml"; a scheme's
// ".sch" as well). Any other dot belongs to the name: "Addr.v1" and
// "Addr.v2" are two resources.
bool rsrc_same_name(uint32_t kind, const char* a, const char* b);

// The file a save of the slot's resource writes, decided by the slot's
// record (file_read_save_place): the file it was read or made through, or
// the one the handle took for it since, never another version than the
// one read (-405, recorded). What was made in memory goes to the one file
// of its name the handle holds (its name with an extension of its kind;
// for a scheme its file name); a vocabulary made without a name to the
// handle's only vocabulary file. -802 for a handle of another context.
// A save runs under the write hold, for the record is shared: under a
// read hold alone this answers kRcNeedsWriteHold before anything is done,
// and the frame runs the call again. *place is where the lock holds the
// file, valid while the handle holds it; its write records the version
// written in the slot.
int32_t rsrc_save_place(context* ctx, resource_slot* slot, lock_handle* lock, fio_place* place);

// Reads the krxml document of a slot's resource, by its name along the
// search path or, with a lock handle, through the file it locks
// (xmldoc_read_for_edit), and records in the slot what it was read from.
int32_t rsrc_document_read(context* ctx, resource_slot* slot, lock_handle* lock, const char* file, uint32_t flags,
                           xmldoc** out);

// What a save answers when making the document of the slot's resource
// failed with rc: out of memory is -600, recorded with a message naming the
// resource (the file is not touched before the document is whole); any
// other failure is passed on as it is, recorded where it arose.
int32_t rsrc_save_build_failed(context* ctx, const resource_slot* slot, int32_t rc);

// Forgets a lock handle that is being freed: registrations that kept it for
// their first load (or for the vocabularies their rules name) load without
// it from now on.
void rsrc_lock_detach(context* ctx, const lock_handle* lock);

// The file name of a scheme: "<name>.sch", or the name as it is when it
// already ends in ".sch" or in ".sch" and a file extension ("t.sch.zel").
// The registry checks that this file exists before it registers a scheme,
// and the scheme loader reads it. -1 when it does not fit in size bytes.
int32_t rsrc_scheme_file_name(const char* name, char* out, uint32_t size);

// The kind's record of a slot for reading, loaded on first use; -800 when
// the slot holds no record.
template <typename T>
int32_t rsrc_part_get(context* ctx, uint32_t kind, int32_t index, T** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  resource_slot* slot = nullptr;
  int32_t rc = rsrc_slot_get_loaded(ctx, kind, index, 0, &slot);
  if (rc != 0) return rc;
  if (slot->part == nullptr) return TQ_ERR_INDEX;
  *out = static_cast<T*>(slot->part);
  return 0;
}

// The kind's record of a slot for change: loaded on first use and returned
// holding the write hold (give it back with rsrc_unlock(ctx, slot, 1));
// -800, holding nothing, when the slot holds no record. The slot is handed
// out too when `slot_out` is given.
template <typename T>
int32_t rsrc_part_get_for_edit(context* ctx, uint32_t kind, int32_t index, T** out,
                               resource_slot** slot_out = nullptr) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  resource_slot* slot = nullptr;
  int32_t rc = rsrc_slot_get_loaded(ctx, kind, index, 1, &slot);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);
  if (slot->part == nullptr) return TQ_ERR_INDEX;
  *out = static_cast<T*>(slot->part);
  if (slot_out != nullptr) *slot_out = slot;
  hold.keep();
  return 0;
}

// A resource record held for change for the life of the object: Get returns
// holding the shared state's write hold, End gives it back on every path.
template <typename T, int32_t (*Get)(context*, int32_t, T**), int32_t (*End)(context*, T*)>
struct rsrc_edit_scope {
  context* ctx;
  T* rec = nullptr;
  int32_t rc;
  rsrc_edit_scope(context* c, int32_t index) : ctx(c) { rc = Get(c, index, &rec); }
  ~rsrc_edit_scope() {
    if (rc == 0) (void)End(ctx, rec);
  }
  rsrc_edit_scope(const rsrc_edit_scope&) = delete;
  rsrc_edit_scope& operator=(const rsrc_edit_scope&) = delete;
};

// ---- The accessors every resource kind shares --------------------------------------------
//
// One function per operation serves all kinds: a kind's export rows bind its
// rsrc_access (TQ_FNK rows, src/api/krapi_frame.h), and what makes the kinds
// differ is data there, not code. Every one converts texts from and to the
// session encoding; a setter converts before it takes the write hold, changes
// nothing unless every text converted, and returns the first failure, else
// the first conversion warning.
struct rsrc_access {
  uint32_t kind;
  std::size_t locale_at;  // offsetof the record's locale_info
  std::size_t vault_at;   // offsetof the record's vault_info
  // A word of the record that must have state_bit set before its locale or
  // vault names are read or changed (a scheme's edit state), else -501;
  // state_bit 0: no such rule.
  std::size_t state_at;
  uint32_t state_bit;
  uint32_t name_max;        // bytes a name taken in converts into
  uint32_t find_warns;      // a lookup by name returns the name's conversion warning
  // The kind's lookup by name when it records more than the registry's
  // (NULL: rsrc_find_by_name).
  int32_t (*find)(context* ctx, const char* name, int32_t* index);
};

// The client's unload (rsrc_client_unload).
int32_t rsrc_unload(context* ctx, const rsrc_access& k, int32_t index);
int32_t rsrc_owner_get(context* ctx, const rsrc_access& k, int32_t index, char* owner);
int32_t rsrc_owner_set(context* ctx, const rsrc_access& k, int32_t index, const char* owner);
int32_t rsrc_locale_info_get(context* ctx, const rsrc_access& k, int32_t index, char* iso, char* desc,
                             int32_t* code);
// Both texts and the code, or nothing.
int32_t rsrc_locale_info_set(context* ctx, const rsrc_access& k, int32_t index, const char* iso,
                             const char* desc, int32_t code);
// Vault object name and description (1,024 bytes each), both or nothing.
int32_t rsrc_vault_info_set(context* ctx, const rsrc_access& k, int32_t index, const char* name,
                            const char* desc);
// index := the used slot of that name, -1 when none (-404).
int32_t rsrc_index_get_by_name(context* ctx, const rsrc_access& k, const char* name, int32_t* index);
// The slot's name out (at most 4,096 bytes); -800 for a free or out-of-range index.
int32_t rsrc_name_get_by_index(context* ctx, const rsrc_access& k, int32_t index, char* name);
// Renames the slot (-407 for a name in use); the conversion's warning.
int32_t rsrc_name_set(context* ctx, const rsrc_access& k, int32_t index, const char* name);

// ---- Counted references ------------------------------------------------------------------
//
// One registry reference to a resource, as a record keeps it. Move-only: a
// second holder needs share(), which takes a reference of its own, so two
// holders never give back the same reference, and moving leaves the source
// empty, so a record moved to another place holds the reference once.
// Giving a reference back takes the shared state's write hold, which belongs
// to a context, so it is explicit: release() gives it back, forget() drops
// the index without (for records whose references are accounted for
// elsewhere). Both leave the ref empty; on an empty ref they do nothing.
class rsrc_ref {
 public:
  rsrc_ref() = default;
  // Takes over one reference the caller holds (what an open by name gives).
  static rsrc_ref adopt(uint32_t kind, int32_t index) {
    rsrc_ref r;
    r.kind_ = kind;
    r.index_ = index;
    return r;
  }
  rsrc_ref(rsrc_ref&& other) noexcept : kind_(other.kind_), index_(other.index_) { other.index_ = -1; }
  // Into an empty ref only: a held reference must be released first (the
  // old one is otherwise kept and the move refused, so nothing is lost).
  rsrc_ref& operator=(rsrc_ref&& other) noexcept {
    if (this != &other && index_ < 0) {
      kind_ = other.kind_;
      index_ = other.index_;
      other.index_ = -1;
    }
    return *this;
  }
  rsrc_ref(const rsrc_ref&) = delete;
  rsrc_ref& operator=(const rsrc_ref&) = delete;
  ~rsrc_ref() = default;

  // A second reference to the same resource into an empty ref (out). An
  // empty ref (an entry whose resource could not be opened) shares as
  // empty: out stays empty and the result is 0. -800 when the slot is free.
  int32_t share(context* ctx, rsrc_ref* out) const;
  // Gives the reference back (the last one frees the resource); a failure of
  // the kind's free operation is returned. The ref is empty afterwards.
  int32_t release(context* ctx);
  void forget() { index_ = -1; }

  bool held() const { return index_ >= 0; }
  int32_t index() const { return index_; }
  uint32_t kind() const { return kind_; }

 private:
  uint32_t kind_ = 0;
  int32_t index_ = -1;
};

// ---- Opening by name ------------------------------------------------------------------
//
// Definitions and their tokens name the resources they use; opening one by
// name (registering it, or taking one more reference on a registered one)
// belongs to the resources layer above this one, which lends these
// operations when a context starts (src/api/krwire.cpp). Each gives one
// registry reference to the resource of that UTF-8 name, or a failure it
// recorded. An operation not lent fails with -700.
struct rsrc_open_ops {
  int32_t (*regexlib_open)(context* ctx, const char* name, int32_t* index);
  int32_t (*scheme_open)(context* ctx, const char* name, uint32_t options, int32_t* index);
  int32_t (*chopper_open)(context* ctx, const char* name, int32_t* index);
  int32_t (*vocab_open)(context* ctx, const char* name, int32_t* index);
};
// Lends (or with NULL takes back) the operations; they must outlive every
// context that may open through them.
void rsrc_open_ops_set(const rsrc_open_ops* ops);
const rsrc_open_ops* rsrc_open_ops_get();

// A definition read from its file for editing (in an edit-mode context,
// where tq_locale_write may write it back) keeps every name the file gave,
// whatever became of the file behind it: the name is a fact of the
// definition's file, its own file's state is not. (Outside edit mode
// nothing is written back, and a name whose file cannot be found is left
// out as it always was.) So a reader registers each name it reads through
// rsrc_open_kept: `reg(&index)` is one registration by name
// (a kind's load by name), which, when the name's file cannot be found now
// (missing, an I/O error, no descriptor or memory to look), registers the
// name all the same (resource_slot::unfound) and answers the failure it
// met, recorded, with the index. Whenever an index comes back the ref
// holds it, also beside a failure (a load at once that failed, under
// TQ_OPT_PREPARE_ON_READ, likewise): the reader reports the failure, marks
// the definition as it always has, and keeps the ref, so a write writes
// the name as it was read, and the next load's reader decides again what
// becomes of it. A first use of such a registration looks for its file
// again. A client's load or an edit (rsrc_open_checked) never keeps a name
// whose file cannot be found: it fails as before, holding nothing.
// The result: 0 (a name already registered counts as 0) or a positive
// warning; a failure, the ref empty or holding the name; -802 for a ref
// that holds one already.
template <typename Reg>
int32_t rsrc_open_kept(context* ctx, uint32_t kind, rsrc_ref* out, Reg&& reg);

// Opens a resource of the kind (kRsrcRegex, kRsrcScheme with its options,
// kRsrcChopper, kRsrcVocab) by name into an empty ref as a definition's
// reader does (rsrc_open_kept). -700 when no operation is lent for the
// kind, -802 for another kind.
int32_t rsrc_open(context* ctx, uint32_t kind, const char* name, uint32_t options, rsrc_ref* out);

// A definition read from its file registers what it names and leaves the
// read to the first use; an edit must not take a name the file would hold
// but no run could use. These read the resource at once as its kind, as
// its first use would: a file of that name that does not read as one
// (another kind's file, a broken one) is refused with the load's failure,
// recorded. A slot already read, or made in edit mode, passes at once.
int32_t rsrc_ref_check(context* ctx, const rsrc_ref& ref);
// rsrc_open, then rsrc_ref_check; on failure the reference is given back
// and the ref stays empty. Every edit that names a resource opens through
// this (or rsrc_open_checked_by for the kinds rsrc_open does not reach).
int32_t rsrc_open_checked(context* ctx, uint32_t kind, const char* name, uint32_t options, rsrc_ref* out);
// The same through a kind's own registration by UTF-8 name (grammars,
// phonetics), which gives one reference with the index, or a failure.
using rsrc_register_fn = int32_t (*)(context* ctx, const char* name, int32_t* index);
int32_t rsrc_open_checked_by(context* ctx, uint32_t kind, rsrc_register_fn reg, const char* name, rsrc_ref* out);

// The request of rsrc_open_kept (in edit mode), given up on every way out
// of the registration whether it reached the registry or not.
class rsrc_keep_name_scope {
 public:
  explicit rsrc_keep_name_scope(context* ctx) : ctx_(ctx) { ctx_->rsrc_keep_name = ctx_->edit_mode != 0 ? 1 : 0; }
  ~rsrc_keep_name_scope() { ctx_->rsrc_keep_name = 0; }
  rsrc_keep_name_scope(const rsrc_keep_name_scope&) = delete;
  rsrc_keep_name_scope& operator=(const rsrc_keep_name_scope&) = delete;

 private:
  context* ctx_;
};

template <typename Reg>
int32_t rsrc_open_kept(context* ctx, uint32_t kind, rsrc_ref* out, Reg&& reg) {
  if (out == nullptr || out->held()) return TQ_ERR_ARGUMENT;
  int32_t index = -1;
  int32_t rc = 0;
  {
    const rsrc_keep_name_scope keep(ctx);
    rc = reg(&index);
  }
  if (index >= 0) *out = rsrc_ref::adopt(kind, index);
  if (rc >= 0 && index < 0) return TQ_ERR_FAILED;
  return rc == TQ_WARN_ALREADY_REGISTERED ? 0 : rc;
}

// Frees every slot of every kind (the last release of the shared state).
void rsrc_tables_free(context* ctx, rsrc_table* tables);

// Compares dotted version texts: *not_newer := 1 when a is not newer than b.
int32_t kbstore_version_compare(context* ctx, const char* a, const char* b, uint32_t* not_newer);
// Compares with the engine's version "9.0".
int32_t kbstore_version_check_engine(context* ctx, const char* version, uint32_t* not_newer);

}  // namespace tq

// Editing knowledge-base files: reading under a lock file with the newer
// sections kept aside, writing back to the locked file, and creating the
// file of a resource made in edit mode.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "core/krcorvel.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krfio.h"
#include "kbstore/krlock.h"
#include "kbstore/krxml.h"
#include "kbstore/krxmlpriv.h"
#include "platform/npmem.h"

namespace tq {

namespace {

int32_t read_for_edit(context* ctx, const char* file, uint32_t flags, lock_handle* lock, char* path, uint32_t size,
                      xmldoc** out, lock_ref* taken) {
  bool vault = (flags & kXmlFlagVault) != 0;
  int32_t rc = lock_file_create_found(ctx, file, vault ? kFioKindZel : kFioKindXml, lock, path, size, taken);
  if (rc != 0) return rc;

  // The locked file itself, whatever its extension, in the folder the lock
  // holds: never what its name leads to by now, or a link pointed elsewhere
  // since the lock was taken would put another file's content in this one
  // at the save.
  fio_place place;
  if (!lock_ref_held(lock, *taken, &place)) return TQ_ERR_LOCK_ACQUIRE;
  rc = xmldoc_read_place(ctx, place, flags | kXmlFlagNameAsGiven, out);
  if (rc != 0) return rc;

  // A fresh read replaces whatever was kept of this file before.
  xml_stash_drop_file(ctx, path);
  xmldoc* doc = *out;
  if (xmldoc_version_is_newer(doc->version)) {
    TQ_REPORT(ctx, TQ_ERR_NOT_USABLE, 1536, path, doc->version, kEngineVersion);
    xml_free(ctx, doc);
    *out = nullptr;
    return TQ_ERR_NOT_USABLE;
  }
  rc = xml_stash_walk(ctx, doc, xml_stash_base_key(path));
  if (rc != 0) {
    xml_stash_drop_file(ctx, path);
    xml_free(ctx, doc);
    *out = nullptr;
  }
  return rc;
}

}  // namespace

int32_t xmldoc_read_for_edit(context* ctx, const char* file, uint32_t flags, lock_handle* lock, xmldoc** out,
                             lock_ref* taken) {
  lock_ref own;
  if (taken == nullptr) taken = &own;
  *taken = lock_ref{};
  if (out == nullptr || lock == nullptr || file == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  // The handle may already lock other files for the caller: a failure
  // gives back only what this read took.
  lock_mark_guard kept(ctx, lock);
  fio_path_buffer path_buffer(kLockPathSize);
  char* const path = path_buffer.get();
  if (path == nullptr) return TQ_ERR_NO_MEMORY;
  int32_t rc = 0;
  try {
    rc = read_for_edit(ctx, file, flags, lock, path, path_buffer.size(), out, taken);
  } catch (const std::bad_alloc&) {
    // Out of memory while the newer sections were being kept aside: the
    // document goes, and what was kept of it (the next read of the file
    // drops that anyway, should memory still be short now).
    xml_free(ctx, *out);
    *out = nullptr;
    try {
      if (path[0] != '\0') xml_stash_drop_file(ctx, path);
    } catch (const std::bad_alloc&) {
    }
    rc = TQ_ERR_NO_MEMORY;
  }
  if (rc >= 0) {
    kept.keep();
    lock_ref_edited(lock, *taken);
  } else {
    *taken = lock_ref{};
  }
  return rc;
}

int32_t xmldoc_read_held(context* ctx, const fio_place& place, uint32_t flags, xmldoc** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  xmldoc* read = nullptr;
  const int32_t rc = xmldoc_read_place(ctx, place, flags | kXmlFlagNameAsGiven, &read);
  if (rc < 0) return rc;
  xmldoc_ptr doc = xmldoc_owned(ctx, read);
  // The sections the edit read kept aside go out again with the write,
  // which finds their place in what is carried over from this document:
  // taken out here, each is written once.
  const char* path = place.path != nullptr ? place.path : place.shown;
  try {
    if (path != nullptr && xml_stash_holds_file(ctx, path)) {
      xml_stash_kept_drop(ctx, doc.get(), xml_stash_base_key(path));
    }
  } catch (const std::bad_alloc&) {
    TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Allocating memory while reading a held file again.");
    return TQ_ERR_NO_MEMORY;
  }
  *out = doc.release();
  return rc;
}

int32_t xmldoc_write_locked(context* ctx, uint32_t flags, lock_handle* lock, xmldoc* doc) {
  if (lock == nullptr || doc == nullptr) return TQ_ERR_ARGUMENT;
  // The file the lock holds, not whatever its path leads to now.
  fio_place place;
  int32_t rc = lock_place_get(ctx, lock, &place);
  if (rc != 0) return rc;
  return xml_write_place(ctx, place, flags, doc);
}

int32_t xmldoc_file_length_check(context* ctx, const char* folder, const char* name, uint32_t flags) {
  if (ctx == nullptr || name == nullptr) return TQ_ERR_ARGUMENT;
  const uint32_t kind = (flags & kXmlFlagVault) ? kFioKindZel : kFioKindXml;
  const bool as_given = (flags & kXmlFlagNameAsGiven) != 0;
  // Built whole, as the file layer builds it (a separator only where the
  // folder lacks one, an extension the name has not added again), for its
  // exact length: the joined name, then the file's path.
  const size_t joined_size = (folder != nullptr ? std::strlen(folder) + 1 : 0) + std::strlen(name) + 1;
  const size_t path_size = joined_size + std::strlen(fio_kind_extension(kind)) + 2;
  if (joined_size + path_size > UINT32_MAX) return TQ_ERR_ARGUMENT;  // no text taken in is this long
  auto* joined = static_cast<char*>(np_malloc(joined_size + path_size));
  if (joined == nullptr) return TQ_ERR_NO_MEMORY;
  char* path = joined + joined_size;
  if (folder != nullptr) {
    (void)fio_path_join(folder, name, joined, static_cast<uint32_t>(joined_size));
  } else {
    std::memcpy(joined, name, joined_size);
  }
  (void)fio_name_build(ctx, kind, as_given ? kFioFlagNameAsGiven : 0, joined, path, static_cast<uint32_t>(path_size));
  const size_t length = std::strlen(path);
  std::free(joined);
  if (length < kFioPathSize) return 0;
  const char* what = folder != nullptr ? "file path (the folder joined with the name and its kind's extension)"
                     : as_given        ? "file name"
                                       : "file name (with its kind's extension)";
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1910, what, call_name_of(ctx), static_cast<uint32_t>(length), kFioPathSize - 1);
  return TQ_ERR_ARGUMENT;
}

const char* xmldoc_file_folder(context* ctx, const char* folder) {
  if (folder != nullptr) return folder;
  if (ctx == nullptr || ctx->search_path == nullptr || ctx->search_path->count == 0) return nullptr;
  return ctx->search_path->dirs[0];
}

int32_t xmldoc_file_folder_in(context* ctx, const char* path, uint32_t max, std::string* folder) {
  const int32_t rc = strio_in_whole(ctx, path, folder, kStrioConvert | kStrioUnkept);
  if (rc < 0 || folder->size() <= max) return rc;
  const size_t n = folder->size();
  folder->clear();
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1910, "folder", call_name_of(ctx),
            n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n), max);
  return TQ_ERR_ARGUMENT;
}

int32_t xmldoc_file_create(context* ctx, const char* folder, const char* name, uint32_t flags, lock_handle* lock,
                           lock_ref* taken) {
  if (taken != nullptr) *taken = lock_ref{};
  if (ctx == nullptr || name == nullptr) return TQ_ERR_ARGUMENT;
  folder = xmldoc_file_folder(ctx, folder);
  const uint32_t kind = (flags & kXmlFlagVault) ? kFioKindZel : kFioKindXml;
  if (folder == nullptr) {
    // Neither a folder given nor one along the search path: named as the
    // file it would have been.
    fio_path_buffer built;
    if (!built.ok()) return TQ_ERR_NO_MEMORY;
    const bool fits = fio_name_build(ctx, kind, kFioOpenWrite, name, built.get(), built.size()) == 0;
    return fio_no_folder_report(ctx, fits ? built.get() : name);
  }
  if (int32_t rc = xmldoc_file_length_check(ctx, folder, name, flags & ~kXmlFlagNameAsGiven); rc != 0) return rc;
  fio_path_buffer joined;
  fio_path_buffer path;
  if (!joined.ok() || !path.ok()) return TQ_ERR_NO_MEMORY;
  if (fio_path_join(folder, name, joined.get(), joined.size()) != 0 ||
      fio_name_build(ctx, kind, kFioOpenWrite, joined.get(), path.get(), path.size()) != 0) {
    return -1;
  }
  return xml_edit_file_make(ctx, path.get(), kind, lock, taken);
}

int32_t xml_edit_file_make(context* ctx, const char* path, uint32_t kind, lock_handle* lock, lock_ref* taken) {
  if (taken != nullptr) *taken = lock_ref{};
  // An existing file is not emptied here: a crash, a kill or a failed save
  // before the save would leave the resource empty. The resource made for
  // it starts empty in memory, and the save replaces the file whole.
  bool made = false;
  int32_t rc = fio_prepare_replace(ctx, path, &made);
  // A temporary name that stays (a warning) leaves the file made.
  if (rc < 0 || lock == nullptr) return rc;
  const int32_t warning = rc;
  lock_mark_guard kept(ctx, lock);
  lock_ref locked;
  rc = lock_file_create(ctx, path, kind, lock, nullptr, 0, &locked);
  if (rc == 0) {
    kept.keep();
    lock_ref_edited(lock, locked);
    if (taken != nullptr) *taken = locked;
    return warning;
  }
  // The empty file made here goes again, unless someone else locked it in
  // between: then it is theirs.
  if (made && rc != TQ_ERR_FILE_LOCKED) (void)fio_unlink(path);
  return rc;
}

}  // namespace tq

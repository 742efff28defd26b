// Editing knowledge-base files: reading under a lock file with the newer
// sections kept aside, writing back to the locked file, and creating the
// file of a resource made in edit mode.
#include <new>
#include <string>

#include "core/krerr.h"
#include "core/krfio.h"
#include "kbstore/krlock.h"
#include "kbstore/krxml.h"
#include "kbstore/krxmlpriv.h"

namespace tq {

namespace {

int32_t read_for_edit(context* ctx, const char* file, uint32_t flags, lock_handle* lock, char (&path)[kLockPathSize],
                      xmldoc** out) {
  bool vault = (flags & kXmlFlagVault) != 0;
  int32_t rc = lock_file_create_found(ctx, file, vault ? kFioKindZel : kFioKindXml, lock, path, sizeof path);
  if (rc != 0) return rc;

  // The locked file itself, whatever its extension.
  rc = xmldoc_read(ctx, path, flags | kXmlFlagNameAsGiven, out);
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

int32_t xmldoc_read_for_edit(context* ctx, const char* file, uint32_t flags, lock_handle* lock, xmldoc** out) {
  if (out == nullptr || lock == nullptr || file == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  // The handle may already lock other files for the caller: a failure
  // gives back only what this read took.
  lock_mark_guard taken(ctx, lock);
  char path[kLockPathSize] = "";
  int32_t rc = 0;
  try {
    rc = read_for_edit(ctx, file, flags, lock, path, out);
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
  if (rc >= 0) taken.keep();
  return rc;
}

int32_t xmldoc_write_locked(context* ctx, uint32_t flags, lock_handle* lock, xmldoc* doc) {
  if (lock == nullptr || doc == nullptr) return TQ_ERR_ARGUMENT;
  char path[kLockPathSize];
  int32_t rc = lock_path_get(ctx, lock, path, sizeof path);
  if (rc != 0) return rc;
  return xmldoc_write(ctx, path, flags, doc);
}

int32_t xmldoc_file_create(context* ctx, const char* folder, const char* name, uint32_t flags, lock_handle* lock) {
  if (ctx == nullptr || name == nullptr) return TQ_ERR_ARGUMENT;
  if (folder == nullptr) {
    if (ctx->search_path == nullptr || ctx->search_path->count == 0) return -1;
    folder = ctx->search_path->dirs[0];
  }
  uint32_t kind = (flags & kXmlFlagVault) ? kFioKindZel : kFioKindXml;
  char joined[kFioPathSize];
  char path[kFioPathSize];
  if (fio_path_join(folder, name, joined, sizeof joined) != 0 ||
      fio_name_build(ctx, kind, kFioOpenWrite, joined, path, sizeof path) != 0) {
    return -1;
  }
  return xml_edit_file_make(ctx, path, kind, lock);
}

int32_t xml_edit_file_make(context* ctx, const char* path, uint32_t kind, lock_handle* lock) {
  // An existing file is not emptied here: a crash, a kill or a failed save
  // before the save would leave the resource empty. The resource made for
  // it starts empty in memory, and the save replaces the file whole.
  bool made = false;
  int32_t rc = fio_prepare_replace(ctx, path, &made);
  if (rc != 0 || lock == nullptr) return rc;
  lock_mark_guard taken(ctx, lock);
  rc = lock_file_create(ctx, path, kind, lock, nullptr, 0);
  if (rc == 0) {
    taken.keep();
    return 0;
  }
  // The empty file made here goes again, unless someone else locked it in
  // between: then it is theirs.
  if (made && rc != TQ_ERR_FILE_LOCKED) (void)fio_unlink(path);
  return rc;
}

}  // namespace tq

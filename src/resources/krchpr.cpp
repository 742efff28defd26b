#include "resources/krchpr.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "kbstore/krfield.h"
#include "kbstore/krlock.h"
#include "kbstore/krxml.h"
#include "resources/krrsctx.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr const char* kDocType = "Chopping Table";
constexpr const char* kDocVersion = "7.0";
constexpr const char* kPropertyGroup = "9.0";

constexpr const char* kWhitespaceName = "Vantrel Whitespace-Only Chopper";
constexpr const char* kCjkName = "Vantrel Whitespace and CJK Chopper";
constexpr int32_t kGlobalLocaleCode = 800010;
// The folder an edit_new makes its file in: at most 1,024 bytes in UTF-8,
// refused past that, never cut.
constexpr uint32_t kFolderMax = 1024;

}  // namespace

int32_t chopper_rec_init(chopper_rec* rec) {
  locale_info_clear(&rec->locale);
  vault_info_clear(&rec->vault);
  if (chopper_table_init(&rec->table) != 0) return TQ_ERR_NO_MEMORY;
  if (chopper_rules_init(&rec->rules) != 0) {
    chopper_table_free(&rec->table);
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

void chopper_rec_content_free(context* ctx, chopper_rec* rec) {
  if (rec == nullptr) return;
  chopper_rules_free(ctx, &rec->rules);
  chopper_table_free(&rec->table);
}

const char* chopper_name(const chopper_rec* rec) {
  return rec != nullptr && rec->slot != nullptr ? rec->slot->name : "[none]";
}

lock_handle* chopper_lock(const chopper_rec* rec) {
  return rec != nullptr && rec->slot != nullptr ? rec->slot->cb.lock : nullptr;
}

// ---- Built-ins ------------------------------------------------------------------------------

int32_t chopper_builtin_create(context* ctx, int32_t handle, chopper_builtin** out) {
  (void)ctx;
  *out = nullptr;
  const char* name = nullptr;
  if (handle == kChopperDefault || handle == kChopperWhitespace) {
    name = kWhitespaceName;
  } else if (handle == kChopperWhitespaceCjk) {
    name = kCjkName;
  } else {
    return TQ_ERR_ARGUMENT;
  }
  auto* builtin = static_cast<chopper_builtin*>(np_calloc(1, sizeof(chopper_builtin)));
  if (builtin == nullptr) return TQ_ERR_NO_MEMORY;
  if (chopper_rec_init(&builtin->rec) != 0) {
    std::free(builtin);
    return TQ_ERR_NO_MEMORY;
  }
  resource_slot* slot = &builtin->slot;
  str_copy_bounded(slot->name, name, kRsrcNameSize);
  slot->kind = kRsrcChopper;
  slot->state = kRsrcLoaded;
  slot->refs = 1;
  slot->version_supported = 1;
  slot->part = &builtin->rec;
  chopper_rec* rec = &builtin->rec;
  rec->slot = slot;
  rec->locale.code = kGlobalLocaleCode;
  str_copy_bounded(rec->locale.iso, "GB", kLocaleIsoSize);
  str_copy_bounded(rec->locale.description, "Global", kLocaleDescriptionSize);
  vault_info_set(&rec->vault, name, "For internal use only");
  *out = builtin;
  return 0;
}

void chopper_builtin_free(context* ctx, chopper_builtin* builtin) {
  if (builtin == nullptr) return;
  chopper_rec_content_free(ctx, &builtin->rec);
  std::free(builtin);
}

int32_t chopper_builtins_create(context* ctx) {
  int32_t rc = chopper_builtin_create(ctx, kChopperWhitespace, &ctx->chopper_whitespace);
  if (rc == 0) rc = chopper_builtin_create(ctx, kChopperWhitespaceCjk, &ctx->chopper_cjk);
  return rc;
}

void chopper_builtins_free(context* ctx) {
  chopper_builtin_free(ctx, ctx->chopper_whitespace);
  chopper_builtin_free(ctx, ctx->chopper_cjk);
  ctx->chopper_whitespace = nullptr;
  ctx->chopper_cjk = nullptr;
}

// ---- Getting choppers ----------------------------------------------------------------------

int32_t chopper_get(context* ctx, int32_t index, chopper_rec** out) {
  return rsrc_part_get(ctx, kRsrcChopper, index, out);
}

int32_t chopper_get_for_chop(context* ctx, int32_t handle, chopper_rec** out) {
  *out = nullptr;
  if (handle >= 0) return chopper_get(ctx, handle, out);
  const int32_t made = chopper_builtins_get(ctx);
  if (made != 0) return made;
  chopper_builtin* builtin = nullptr;
  if (handle == kChopperDefault || handle == kChopperWhitespace) {
    builtin = ctx->chopper_whitespace;
  } else if (handle == kChopperWhitespaceCjk) {
    builtin = ctx->chopper_cjk;
  }
  if (builtin == nullptr) return TQ_ERR_ARGUMENT;
  *out = &builtin->rec;
  return 0;
}

int32_t chopper_get_for_edit(context* ctx, int32_t index, chopper_rec** out) {
  return rsrc_part_get_for_edit(ctx, kRsrcChopper, index, out);
}

int32_t chopper_edit_end(context* ctx, chopper_rec* rec) {
  return rsrc_unlock(ctx, rec != nullptr ? rec->slot : nullptr, 1);
}

int32_t chopper_load_by_name(context* ctx, const char* name, lock_handle* lock, int32_t* index) {
  rsrc_callbacks cb{};
  cb.load = chopper_rsrc_load;
  cb.free = chopper_rsrc_free;
  cb.lock = lock;
  int32_t rc = rsrc_register(ctx, kRsrcChopper, name, &cb, index);
  return rc == TQ_WARN_ALREADY_REGISTERED ? 0 : rc;
}

// ---- Documents ----------------------------------------------------------------------------------

int32_t chopper_document_read(context* ctx, const xmldoc* doc, resource_slot* slot, chopper_rec* rec) {
  const char* name = slot != nullptr ? slot->name : "[none]";
  if (slot != nullptr) {
    (void)rsrc_version_read(ctx, slot, doc);
    (void)rsrc_owner_read(ctx, slot, doc);
  }
  int32_t rc = locale_info_read(ctx, doc, &rec->locale);
  if (rc < 0) {
    TQ_REPORT(ctx, rc, 207, name);
    return rc;
  }
  rc = chopper_table_read(ctx, doc, name, &rec->table);
  if (rc < 0) return rc;
  rc = chopper_rules_read(ctx, doc, chopper_name(rec), chopper_lock(rec), &rec->rules);
  if (rc < 0) return rc;
  vault_info_read(doc, &rec->vault);
  return 0;
}

int32_t chopper_document_build(context* ctx, const chopper_rec* rec, xmldoc** out) {
  *out = nullptr;
  xmldoc* made = nullptr;
  int32_t rc = xmldoc_create(ctx, kDocType, kDocVersion, &made);
  if (rc != 0) return rc;
  // Freed on every way out, an exception included, until handed out.
  xmldoc_ptr owned = xmldoc_owned(ctx, made);
  xmldoc* const doc = made;
  const resource_slot* slot = rec->slot;
  if (slot != nullptr && slot->version[0] != '\0') {
    rc = xmldoc_prop_add_grouped(ctx, doc, kPropertyGroup, "Version", slot->version);
  }
  if (rc == 0 && slot != nullptr && slot->owner[0] != '\0') {
    rc = xmldoc_prop_add_grouped(ctx, doc, kPropertyGroup, "Owner", slot->owner);
  }
  if (rc == 0) rc = locale_info_write(ctx, &rec->locale, doc);
  if (rc == 0) rc = xmldoc_prop_add(ctx, doc, "Encoding", kEncodingTable[kEncodingUtf8].name);
  if (rc == 0) rc = chopper_table_write(ctx, &rec->table, doc);
  if (rc == 0) rc = chopper_rules_write(ctx, &rec->rules, doc);
  if (rc == 0) rc = vault_info_write(doc, &rec->vault);
  if (rc != 0) return rc;
  *out = owned.release();
  return 0;
}

int32_t chopper_rsrc_load(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t arg) {
  (void)arg;
  xmldoc* read = nullptr;
  int32_t rc = rsrc_document_read(ctx, slot, lock, slot->name, kXmlFlagVault, &read);
  if (rc < 0) {
    TQ_REPORT(ctx, rc, 205, static_cast<const char*>(slot->name));
    return rc;
  }
  // The document and the chopper are freed on every way out, an exception
  // included, until the slot takes the chopper.
  xmldoc_ptr doc = xmldoc_owned(ctx, read);
  auto* rec = static_cast<chopper_rec*>(np_calloc(1, sizeof(chopper_rec)));
  if (rec == nullptr || chopper_rec_init(rec) != 0) {
    std::free(rec);
    TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 206, static_cast<const char*>(slot->name));
    return TQ_ERR_NO_MEMORY;
  }
  auto drop = [ctx](chopper_rec* r) {
    chopper_rec_content_free(ctx, r);
    std::free(r);
  };
  std::unique_ptr<chopper_rec, decltype(drop)> owned(rec, drop);
  rec->slot = slot;
  rc = chopper_document_read(ctx, doc.get(), slot, rec);
  if (rc >= 0) rc = rc_combine(rc, number_past_refuse(ctx, doc.get(), number_owner{"chopper", slot->name, false}));
  doc.reset();
  if (rc < 0) {
    // What the load built is gone; the registrant keeps its reference and
    // the next use tries again.
    return rc;
  }
  slot->part = owned.release();
  return 0;
}

int32_t chopper_rsrc_free(context* ctx, resource_slot* slot, uintptr_t arg) {
  (void)arg;
  auto* rec = static_cast<chopper_rec*>(slot->part);
  if (rec != nullptr) {
    chopper_rec_content_free(ctx, rec);
    std::free(rec);
  }
  slot->part = nullptr;
  return 0;
}

// ---- Export implementations ----------------------------------------------------------------------

namespace {

// A client's load by a name in the session encoding, counted as its own
// (the registry's client loads).
int32_t client_load(context* ctx, const char* name, lock_handle* lock, int32_t* index) {
  *index = -1;
  char converted[1024 + 1];
  int32_t warning = strio_in_1024(ctx, name, converted, 1);
  if (warning < 0) return warning;
  return rsrc_client_load(ctx, kRsrcChopper, index, [&] {
    return rc_combine(chopper_load_by_name(ctx, converted, lock, index), warning);
  }, lock);
}

int32_t create(context* ctx, const char* name, int32_t* index) {
  *index = -1;
  char converted[1024 + 1];
  int32_t warning = strio_in_1024(ctx, name, converted, 1);
  if (warning < 0) return warning;
  // The locale is checked before the slot is made, so that a refused create
  // leaves no slot behind holding the name.
  locale_info locale;
  locale_info_from_current(ctx, &locale);
  if (locale.code == -1) return TQ_ERR_NO_LOCALE;
  auto* rec = static_cast<chopper_rec*>(np_calloc(1, sizeof(chopper_rec)));
  if (rec == nullptr) return TQ_ERR_NO_MEMORY;
  if (chopper_rec_init(rec) != 0) {
    std::free(rec);
    return TQ_ERR_NO_MEMORY;
  }
  rec->locale = locale;
  rsrc_callbacks cb{};
  cb.free = chopper_rsrc_free;
  int32_t slot_index = -1;
  int32_t rc = rsrc_slot_create(ctx, kRsrcChopper, converted, 0, &cb, &slot_index);
  resource_slot* slot = nullptr;
  if (rc == 0) rc = rsrc_slot_get(ctx, kRsrcChopper, slot_index, 1, &slot);
  if (rc != 0) {
    chopper_rec_content_free(ctx, rec);
    std::free(rec);
    if (slot_index >= 0) (void)rsrc_unref(ctx, kRsrcChopper, slot_index);
    return rc;
  }
  write_hold hold = write_hold::adopt(ctx);  // rsrc_slot_get returned holding it
  rec->slot = slot;
  slot->part = rec;
  rc = hold.release();
  *index = slot_index;
  return rc_combine(rc, warning);
}

}  // namespace

int32_t chopper_load(context* ctx, const char* name, int32_t* index) { return client_load(ctx, name, nullptr, index); }

int32_t chopper_edit(context* ctx, const char* name, lock_handle* lock, int32_t* index) {
  return client_load(ctx, name, lock, index);
}

// What is created is the client's load, as a load by name is.
int32_t chopper_create(context* ctx, const char* name, int32_t* index) {
  return rsrc_client_load(ctx, kRsrcChopper, index, [&] { return create(ctx, name, index); });
}

int32_t chopper_edit_new(context* ctx, const char* path, const char* name, lock_handle* lock) {
  std::string folder;
  int32_t warning = xmldoc_file_folder_in(ctx, path, kFolderMax, &folder);
  if (warning < 0) return warning;
  char file[1024 + 1];
  int32_t rc = strio_in_1024(ctx, name, file, 1);
  if (rc < 0) return rc;
  if (rc > 0) warning = rc;
  rc = xmldoc_file_create(ctx, folder.empty() ? nullptr : folder.c_str(), file, kXmlFlagVault, lock);
  return rc_combine(rc, warning);
}

int32_t chopper_save(context* ctx, int32_t chopper, lock_handle* lock) {
  chopper_rec* rec = nullptr;
  int32_t rc = chopper_get(ctx, chopper, &rec);
  if (rc != 0) return rc;
  // Half-way through a table edit the entries are neither sorted nor freed
  // of their duplicates: what a load would make of them is not what the
  // chopper holds.
  if (rec->table.set_in_progress) {
    TQ_REPORT(ctx, TQ_ERR_EDIT_MODE, 1901, chopper_name(rec));
    return TQ_ERR_EDIT_MODE;
  }
  // The chopper's own file, which the handle must lock; never whichever
  // file the handle happened to lock first.
  fio_place place;  // the file the lock holds
  rc = rsrc_save_place(ctx, rec->slot, lock, &place);
  if (rc != 0) return rc;
  xmldoc* doc = nullptr;
  rc = chopper_document_build(ctx, rec, &doc);
  if (rc != 0) return rsrc_save_build_failed(ctx, rec->slot, rc);
  rc = xml_write_place(ctx, place, kXmlFlagVault, doc);
  xml_free(ctx, doc);
  return rc;
}

}  // namespace tq

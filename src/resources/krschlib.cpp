// The scheme as a resource of kind 5: registry callbacks, the "scheme"
// document, editing, writing, and the exported scheme family.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <strings.h>
#include <tuple>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krfield.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocl.h"
#include "kbstore/krlocload.h"
#include "kbstore/krlock.h"
#include "kbstore/krxml.h"
#include "platform/nputf8.h"
#include "resources/krchpr.h"
#include "resources/krregx.h"
#include "resources/krsch.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr const char* kDocType = "scheme";
constexpr const char* kDocVersion = "7.0";
constexpr const char* kGroup = "9.0";
constexpr const char* kPropStdType = "std_type";
constexpr const char* kPropCaseInsensitive = "Case Insensitive";
constexpr const char* kPropTrim = "Trim Whitespace";
constexpr const char* kPropMatchDefn = "Match Definition";
constexpr const char* kPropSensitivity = "Sensitivity";
constexpr const char* kPropChopper = "Chopper";

// Texts taken in: names of at most 1,024 bytes (the slot's limit), data and
// standards of at most 1,024; a folder whole, the file's path it makes
// checked where it is made.
constexpr uint32_t kTextSize = kSchemeValueMax + 1;

const scheme_options kNoOptions{-1, -1, 0};

const char* name_of(const scheme_rec* rec) { return rec->slot != nullptr ? rec->slot->name : ""; }

// ---- Option blocks -------------------------------------------------------------------------

// The words a scheme is opened with live as long as the process: a slot
// that is registered and never loaded is freed without its kind's free
// operation, so a block made per registration would be lost. Equal blocks
// are shared; there are only ever a few distinct ones.
struct options_less {
  bool operator()(const scheme_options& a, const scheme_options& b) const {
    return std::tie(a.flags, a.mdefn, a.sens) < std::tie(b.flags, b.mdefn, b.sens);
  }
};

}  // namespace

// The set is made under the lock on the first call that finds none, so a
// call that ran out of memory making it leaves none, and the next call makes
// it again (a failure is never kept for the rest of the process).
const scheme_options* scheme_options_intern(const scheme_options& wanted) {
  static std::mutex guard;
  static std::set<scheme_options, options_less>* blocks = nullptr;
  try {
    std::lock_guard<std::mutex> hold(guard);
    if (blocks == nullptr) blocks = new std::set<scheme_options, options_less>();
    return &*blocks->insert(wanted).first;
  } catch (...) {
    return nullptr;
  }
}

namespace {

// Without the match-code bit the match definition and sensitivity mean
// nothing: they are made the same, so that equal requests share a slot.
scheme_options options_normalise(int32_t flags, int32_t mdefn, uint32_t sens) {
  scheme_options o{flags, mdefn, sens};
  if (flags < 0 || !(static_cast<uint32_t>(flags) & kSchemeMatchKeyed)) {
    o.mdefn = -1;
    o.sens = 0;
  }
  return o;
}

const scheme_options* options_of(uintptr_t arg) {
  return arg != 0 ? reinterpret_cast<const scheme_options*>(arg) : &kNoOptions;
}

// ---- Reading -----------------------------------------------------------------------------------

// Entries from the document's records, in document order. A scheme in edit
// state gets a heap copy of every text; any other keeps them all in one
// block. Data are trimmed unless the scheme keeps white space.
int32_t entries_read(context* ctx, const xmldoc* doc, scheme_rec* rec) {
  const bool edit = (rec->flags & kSchemeEditState) != 0;
  const bool trim = !(rec->flags & kSchemeNoTrim);
  auto records = static_cast<uint32_t>(doc->record_count > 0 ? doc->record_count : 0);
  if (scheme_entries_reserve(rec, records + 1) != 0) return TQ_ERR_NO_MEMORY;
  if (edit) {
    for (uint32_t r = 0; r < records; ++r) {
      const xmldoc_record& record = doc->records[r];
      if (record.key == nullptr) continue;
      int32_t rc = scheme_entry_append_copy(rec, record.key, record.value != nullptr ? record.value : "");
      if (rc != 0) return rc;
      scheme_entry& e = rec->entries[rec->count - 1];
      if (trim) np_uchar_trim(e.data, static_cast<uint32_t>(std::strlen(e.data) + 1));
    }
    return 0;
  }
  size_t total = 0;
  for (uint32_t r = 0; r < records; ++r) {
    const xmldoc_record& record = doc->records[r];
    if (record.key == nullptr) continue;
    total += std::strlen(record.key) + 1 + std::strlen(record.value != nullptr ? record.value : "") + 1;
  }
  rec->text_block = static_cast<char*>(np_malloc(total > 0 ? total : 1));
  if (rec->text_block == nullptr) return TQ_ERR_NO_MEMORY;
  rec->text_size = total;
  char* at = rec->text_block;
  for (uint32_t r = 0; r < records; ++r) {
    const xmldoc_record& record = doc->records[r];
    if (record.key == nullptr) continue;
    const char* value = record.value != nullptr ? record.value : "";
    size_t dlen = std::strlen(record.key);
    size_t slen = std::strlen(value);
    scheme_entry& e = rec->entries[rec->count];
    e.data = at;
    std::memcpy(at, record.key, dlen + 1);
    at += dlen + 1;
    e.standard = at;
    std::memcpy(at, value, slen + 1);
    at += slen + 1;
    e.key = nullptr;
    e.group = 0;
    e.owned = 0;
    if (trim) np_uchar_trim(e.data, static_cast<uint32_t>(dlen + 1));
    rec->count += 1;
  }
  return 0;
}

// Decimal text to a sensitivity: leading digits, nothing else counted.
uint32_t sensitivity_parse(const char* text) {
  long value = std::strtol(text, nullptr, 10);
  if (value < 0) return 0;
  if (value > static_cast<long>(INT32_MAX)) return INT32_MAX;
  return static_cast<uint32_t>(value);
}

// The options of the document: element or phrase, case, trimming, match
// definition and sensitivity.
int32_t options_read(context* ctx, const xmldoc* doc, const char* name, scheme_rec* rec) {
  uint32_t flags = 0;
  if (std::strcmp(xmldoc_prop_get(ctx, doc, kPropStdType), "element") == 0) flags |= kSchemeElement;
  if (std::strcmp(xmldoc_prop_get(ctx, doc, kPropCaseInsensitive), "Yes") == 0) flags |= kSchemeCaseInsensitive;
  int32_t trim = 1;
  if (xmldoc_prop_get_yes_no(ctx, doc, kPropTrim, 1, &trim, nullptr) < 0) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1721, name, kPropTrim);
    return TQ_ERR_INVALID_CONTENT;
  }
  if (!trim) flags |= kSchemeNoTrim;
  rec->mdefn = -1;
  rec->sens = 0;
  const char* mdefn_name = xmldoc_prop_get(ctx, doc, kPropMatchDefn);
  if (mdefn_name[0] != '\0') {
    const scheme_match_ops* ops = scheme_match_ops_get();
    if (ops == nullptr) {
      TQ_REPORT(ctx, TQ_ERR_NOT_USABLE, 1720, name);
      return TQ_ERR_NOT_USABLE;
    }
    flags |= kSchemeMatchKeyed;
    int32_t index = -1;
    int32_t rc = ops->defn_index_get_by_name(ctx, mdefn_name, &index);
    if (rc < 0) {
      scheme_keys_refused(ctx, rc, mdefn_name, name, ctx->current_locale_code);
      return rc;
    }
    const char* sens = xmldoc_prop_get(ctx, doc, kPropSensitivity);
    if (sens[0] == '\0') {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 94, mdefn_name, name);
      return TQ_ERR_INVALID_CONTENT;
    }
    rec->mdefn = index;
    rec->sens = sensitivity_parse(sens);
  }
  rec->flags = flags;
  return 0;
}

int32_t document_read(context* ctx, resource_slot* slot, const xmldoc* doc, const scheme_options* options,
                      scheme_rec* rec) {
  const char* name = slot->name;
  rsrc_version_read(ctx, slot, doc);
  rsrc_owner_read(ctx, slot, doc);
  int32_t rc = locale_info_read(ctx, doc, &rec->locale);
  if (rc < 0) return rc;
  vault_info_read(doc, &rec->vault);
  const char* chopper = xmldoc_prop_get(ctx, doc, kPropChopper);
  if (chopper[0] != '\0') {
    int32_t index = -1;
    rc = chopper_load_by_name(ctx, chopper, nullptr, &index);
    if (rc < 0) return rc;
    rec->chopper = index;
  }
  if (options->flags >= 0 && !(static_cast<uint32_t>(options->flags) & kSchemeEditState)) {
    rec->flags = static_cast<uint32_t>(options->flags);
    if (rec->flags & kSchemeMatchKeyed) {
      rec->mdefn = options->mdefn;
      rec->sens = options->sens;
    }
  } else {
    rc = options_read(ctx, doc, name, rec);
    if (rc < 0) return rc;
    // Negative flags ask for the file's options and carry no bits.
    if (options->flags >= 0 && (static_cast<uint32_t>(options->flags) & kSchemeEditState)) {
      rec->flags |= kSchemeEditState;
    }
    // Marked so that the next request for the file's options finds it.
    if (options->flags < 0) rec->file_options = 1;
  }
  if ((rec->flags & kSchemeDuplicates) && (rec->flags & kSchemeMatchKeyed)) {
    TQ_REPORT(ctx, TQ_ERR_NOT_USABLE, 95, name);
    return TQ_ERR_NOT_USABLE;
  }
  rc = entries_read(ctx, doc, rec);
  if (rc == TQ_ERR_NO_MEMORY) {
    char detail[kRsrcNameSize + 64];
    std::snprintf(detail, sizeof detail, "Allocating the entries of scheme %s.", name);
    TQ_REPORT(ctx, rc, 29, static_cast<const char*>(detail));
  }
  return rc;
}

// ---- Editing helpers --------------------------------------------------------------------------

// 0 when the scheme can be keyed by match definition `mdefn` (an index of
// the current locale's match definitions): the file names it, and a load
// builds the keys with it, so an index naming none is refused when set and
// when written, with message 1900.
int32_t match_keyed_check(context* ctx, const scheme_rec* rec, int32_t mdefn) {
  const scheme_match_ops* ops = scheme_match_ops_get();
  if (ops == nullptr) {
    TQ_REPORT(ctx, TQ_ERR_NOT_USABLE, 1720, name_of(rec));
    return TQ_ERR_NOT_USABLE;
  }
  int32_t rc = mdefn < 0 ? TQ_ERR_INDEX : ops->defn_usable(ctx, mdefn);
  if (rc < 0) TQ_REPORT(ctx, rc, 1900, name_of(rec), mdefn);
  return rc < 0 ? rc : 0;
}

// Drops the white space around every entry's data, as a load of a scheme
// that trims does; an entry left without data goes, as one never taken in.
// In edit state every entry owns its texts.
void entries_trim(scheme_rec* rec) {
  uint32_t i = 0;
  while (i < rec->count) {
    scheme_entry& e = rec->entries[i];
    np_uchar_trim(e.data, static_cast<uint32_t>(std::strlen(e.data) + 1));
    if (e.data[0] == '\0') {
      scheme_entry_remove(rec, i);
    } else {
      ++i;
    }
  }
  rec->sorted = 0;
}

// Out of edit state a scheme's entries are made ready to be applied (sorted,
// trimmed, keyed), no longer what its file keeps: they are not read,
// changed or written (-501, naming the scheme: the context may well be in
// edit mode).
int32_t need_edit_state(context* ctx, const scheme_rec* rec) {
  if (rec->flags & kSchemeEditState) return 0;
  TQ_REPORT(ctx, TQ_ERR_NEEDS_EDIT_MODE, 2471, name_of(rec));
  return TQ_ERR_NEEDS_EDIT_MODE;
}

// A scheme for reading that must be in edit state.
int32_t get_editing(context* ctx, int32_t index, scheme_rec** rec) {
  int32_t rc = scheme_get(ctx, index, rec);
  if (rc != 0) return rc;
  return need_edit_state(ctx, *rec);
}

// The entries in data order, for operations that search them during an
// edit (an import leaves them unsorted).
void ensure_sorted(scheme_rec* rec) {
  if (!rec->sorted) scheme_sort(rec, 0);
}

void data_trim(const scheme_rec* rec, char* data) {
  if (!(rec->flags & kSchemeNoTrim)) np_uchar_trim(data, kTextSize);
}

// Whether a path names a vault file (".zel" or ".krd"), which is written
// enciphered.
bool is_vault_path(const char* path) {
  size_t n = std::strlen(path);
  if (n < 4) return false;
  const char* ext = path + n - 4;
  return strcasecmp(ext, ".zel") == 0 || strcasecmp(ext, ".krd") == 0;
}

rsrc_callbacks callbacks_for(const scheme_options* options, lock_handle* lock) {
  rsrc_callbacks cb{};
  cb.load = scheme_rsrc_load;
  cb.free = scheme_rsrc_free;
  cb.same_loaded = scheme_rsrc_same_loaded;
  cb.same_registered = scheme_rsrc_same_registered;
  cb.arg = reinterpret_cast<uintptr_t>(options);
  cb.lock = lock;
  return cb;
}

// A name a load registers, whole in UTF-8 (strio_in_whole), memory running
// out being -600: loads by name run inside a locale's load too, where no
// exception is looked for.
int32_t name_in(context* ctx, const char* name, uint32_t flags, std::string* out) noexcept {
  try {
    return strio_in_whole(ctx, name, out, flags);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
}

// A new scheme in edit state, named by a UTF-8 name, for the current locale.
int32_t create_in_memory(context* ctx, const char* name, uint32_t options, int32_t* index) {
  *index = -1;
  if (name[0] == '\0') return TQ_ERR_ARGUMENT;
  loaded_locale_rec* locale = nullptr;
  int32_t rc = locale_current_rec_get(ctx, &locale);
  if (rc != 0) return rc;
  scheme_rec* rec = scheme_rec_new();
  if (rec == nullptr || scheme_entries_reserve(rec, kSchemeInitialCapacity) != 0) {
    scheme_rec_delete(ctx, rec);
    return TQ_ERR_NO_MEMORY;
  }
  str_copy_bounded(rec->locale.iso, locale->iso, kLocaleIsoSize);
  str_copy_bounded(rec->locale.description, locale->description, kLocaleDescriptionSize);
  rec->locale.code = locale->code;
  rec->flags = options | kSchemeEditState;
  rsrc_callbacks cb = callbacks_for(nullptr, nullptr);
  cb.load = nullptr;
  int32_t slot_index = -1;
  rc = rsrc_slot_create(ctx, kRsrcScheme, name, 0, &cb, &slot_index);
  if (rc != 0) {
    scheme_rec_delete(ctx, rec);
    return rc;
  }
  resource_slot* slot = nullptr;
  rc = rsrc_slot_get(ctx, kRsrcScheme, slot_index, 1, &slot);
  if (rc != 0) {
    scheme_rec_delete(ctx, rec);
    (void)rsrc_unref(ctx, kRsrcScheme, slot_index);
    return rc;
  }
  write_hold hold = write_hold::adopt(ctx);  // rsrc_slot_get returned holding it
  slot->part = rec;
  rec->slot = slot;
  rc = hold.release();
  *index = slot_index;
  return rc;
}

int32_t document_write(context* ctx, const scheme_rec* rec, lock_handle* lock) {
  resource_slot* slot = rec->slot;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kDocType, kDocVersion, &doc);
  if (rc < 0) return rsrc_save_build_failed(ctx, slot, rc);
  if (slot != nullptr && slot->version[0] != '\0') rc = xmldoc_prop_add_grouped(ctx, doc, kGroup, "Version", slot->version);
  if (rc >= 0 && slot != nullptr && slot->owner[0] != '\0') {
    rc = xmldoc_prop_add_grouped(ctx, doc, kGroup, "Owner", slot->owner);
  }
  if (rc >= 0) rc = locale_info_write(ctx, &rec->locale, doc);
  if (rc >= 0) rc = xmldoc_prop_add(ctx, doc, kPropStdType, (rec->flags & kSchemeElement) ? "element" : "phrase");
  if (rc >= 0) rc = xmldoc_prop_add_yes_no(ctx, doc, kPropCaseInsensitive, (rec->flags & kSchemeCaseInsensitive) ? 1 : 0, 0);
  if (rc >= 0) rc = xmldoc_prop_add_yes_no(ctx, doc, kPropTrim, (rec->flags & kSchemeNoTrim) ? 0 : 1, 0);
  if (rc >= 0 && (rec->flags & kSchemeMatchKeyed)) {
    // The index was checked when set; the locale may have changed since.
    char mdefn_name[kRsrcNameSize] = "";
    rc = match_keyed_check(ctx, rec, rec->mdefn);
    if (rc >= 0) rc = scheme_match_ops_get()->defn_name_get(ctx, rec->mdefn, mdefn_name, sizeof mdefn_name);
    char sens[kIntTextSize];
    str_from_int(static_cast<int32_t>(rec->sens), sens);
    if (rc >= 0) rc = xmldoc_prop_add(ctx, doc, kPropMatchDefn, mdefn_name);
    if (rc >= 0) rc = xmldoc_prop_add(ctx, doc, kPropSensitivity, sens);
  }
  if (rc >= 0 && rec->chopper >= 0) {
    resource_slot* chopper = nullptr;
    if (rsrc_slot_get_used(ctx, kRsrcChopper, rec->chopper, &chopper) == 0) {
      rc = xmldoc_prop_add_grouped(ctx, doc, kGroup, kPropChopper, chopper->name);
    }
  }
  for (uint32_t i = 0; rc >= 0 && i < rec->count; ++i) {
    rc = xmldoc_record_add(ctx, doc, rec->entries[i].data, rec->entries[i].standard, nullptr);
  }
  if (rc >= 0) rc = vault_info_write(doc, &rec->vault);
  if (rc < 0) {
    rc = rsrc_save_build_failed(ctx, slot, rc);
  } else {
    // The scheme's own file, which the handle must lock.
    fio_place place;  // the file the lock holds
    rc = slot != nullptr ? rsrc_save_place(ctx, slot, lock, &place) : TQ_ERR_ARGUMENT;
    if (rc >= 0) rc = xml_write_place(ctx, place, is_vault_path(place.path) ? kXmlFlagVault : 0, doc);
  }
  xml_free(ctx, doc);
  return rc;
}

// Converts a text in (at most 1,024 bytes) into a heap buffer of kTextSize;
// `unkept` (kStrioUnkept) for a text only looked for.
struct text_in {
  char* text = nullptr;
  int32_t rc = 0;
  text_in(context* ctx, const char* src, uint32_t unkept = 0) {
    text = static_cast<char*>(np_malloc(kTextSize));
    if (text == nullptr) {
      rc = TQ_ERR_NO_MEMORY;
      return;
    }
    rc = strio_in_1024(ctx, src, text, kStrioConvert | unkept);
  }
  ~text_in() { std::free(text); }
  text_in(const text_in&) = delete;
  text_in& operator=(const text_in&) = delete;
};

}  // namespace

// ---- The resource kind -------------------------------------------------------------------------

int32_t scheme_rsrc_load(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t arg) {
  if (slot == nullptr) return TQ_ERR_ARGUMENT;
  const scheme_options* options = options_of(arg);
  char file[kRsrcNameSize + 8];
  if (rsrc_scheme_file_name(slot->name, file, sizeof file) != 0) return TQ_ERR_ARGUMENT;
  xmldoc* doc = nullptr;
  int32_t rc = rsrc_document_read(ctx, slot, lock, file, kXmlFlagVault, &doc);
  if (rc < 0) return rc;
  scheme_rec* rec = scheme_rec_new();
  if (rec == nullptr) {
    rc = TQ_ERR_NO_MEMORY;
  } else {
    rec->slot = slot;
    rc = document_read(ctx, slot, doc, options, rec);
  }
  if (rc >= 0) rc = rc_combine(rc, number_past_refuse(ctx, doc, number_owner{"scheme", slot->name, false}));
  xml_free(ctx, doc);
  if (rc >= 0) rc = scheme_prepare(ctx, rec);
  if (rc < 0) {
    // The slot stays registered with its references, so that a later use
    // tries again.
    scheme_rec_delete(ctx, rec);
    return rc;
  }
  slot->part = rec;
  return 0;
}

int32_t scheme_rsrc_free(context* ctx, resource_slot* slot, uintptr_t arg) {
  (void)arg;
  if (slot == nullptr) return 0;
  scheme_rec_delete(ctx, static_cast<scheme_rec*>(slot->part));
  slot->part = nullptr;
  return 0;
}

int32_t scheme_rsrc_same_registered(context* ctx, resource_slot* slot, const char* name, uintptr_t arg,
                                    int32_t* same) {
  (void)ctx;
  if (same == nullptr) return TQ_ERR_ARGUMENT;
  *same = 0;
  if (slot == nullptr || name == nullptr || !rsrc_same_name(kRsrcScheme, slot->name, name)) return 0;
  const scheme_options* stored = options_of(slot->cb.arg);
  const scheme_options* wanted = options_of(arg);
  *same = stored->flags == wanted->flags && stored->mdefn == wanted->mdefn && stored->sens == wanted->sens;
  return 0;
}

int32_t scheme_rsrc_same_loaded(context* ctx, resource_slot* slot, const char* name, uintptr_t arg, int32_t* same) {
  if (same == nullptr) return TQ_ERR_ARGUMENT;
  *same = 0;
  if (slot == nullptr || name == nullptr || !rsrc_same_name(kRsrcScheme, slot->name, name)) return 0;
  const auto* rec = static_cast<const scheme_rec*>(slot->part);
  if (rec == nullptr) return 0;
  const scheme_options* wanted = options_of(arg);
  // A request for the file's options (negative flags, which carry no bits)
  // is served by a scheme loaded for such a request, whoever made it: the
  // same file read the same way, its match-code keys (when the file names a
  // match definition) built under the locale current now.
  if (wanted->flags < 0) {
    *same = rec->file_options != 0 &&
            (!(rec->flags & kSchemeMatchKeyed) || ctx->current_locale_code == rec->key_locale);
    return 0;
  }
  const auto flags = static_cast<uint32_t>(wanted->flags);
  if (flags != rec->flags) return 0;
  if (flags & kSchemeMatchKeyed) {
    *same = wanted->mdefn == rec->mdefn && wanted->sens == rec->sens && ctx->current_locale_code == rec->key_locale;
    return 0;
  }
  *same = 1;
  return 0;
}

int32_t scheme_get(context* ctx, int32_t index, scheme_rec** out) {
  return rsrc_part_get(ctx, kRsrcScheme, index, out);
}

int32_t scheme_flags_get(context* ctx, int32_t index, uint32_t* flags) {
  *flags = 0;
  resource_slot* slot = nullptr;
  const int32_t rc = rsrc_slot_get(ctx, kRsrcScheme, index, 0, &slot);
  if (rc != 0) return rc;
  if (slot->part != nullptr) {
    *flags = static_cast<const scheme_rec*>(slot->part)->flags;
    return 0;
  }
  const scheme_options* options = options_of(slot->cb.arg);
  if (options->flags >= 0 && (static_cast<uint32_t>(options->flags) & kSchemeEditState) == 0) {
    *flags = static_cast<uint32_t>(options->flags);
    return 0;
  }
  // Registered for the file's options (a client's load, never a
  // definition's): only the file tells them.
  scheme_rec* rec = nullptr;
  const int32_t loaded = scheme_get(ctx, index, &rec);
  if (loaded != 0) return loaded;
  *flags = rec->flags;
  return 0;
}

int32_t scheme_get_for_edit(context* ctx, int32_t index, scheme_rec** out) {
  return rsrc_part_get_for_edit(ctx, kRsrcScheme, index, out);
}

int32_t scheme_edit_end(context* ctx, scheme_rec* rec) {
  return rsrc_unlock(ctx, rec != nullptr ? rec->slot : nullptr, 1);
}

int32_t scheme_load_by_name(context* ctx, const char* name, int32_t flags, int32_t mdefn, uint32_t sens,
                            lock_handle* lock, uint32_t convert, int32_t* index) {
  if (index != nullptr) *index = -1;
  if (name == nullptr || index == nullptr) return TQ_ERR_ARGUMENT;
  // Taken whole: the registry refuses a name past its 1,024 bytes (a file
  // extension aside) with the name's own length, where a copy cut to a
  // buffer first would be refused with the buffer's size as the limit.
  std::string in;
  int32_t crc = name_in(ctx, name, convert == 1 ? kStrioConvert : 0, &in);
  if (crc < 0) return crc;
  const scheme_options* options = scheme_options_intern(options_normalise(flags, mdefn, sens));
  if (options == nullptr) return TQ_ERR_NO_MEMORY;
  rsrc_callbacks cb = callbacks_for(options, lock);
  int32_t rc = rsrc_register(ctx, kRsrcScheme, in.c_str(), &cb, index);
  if (rc == TQ_WARN_ALREADY_REGISTERED) rc = 0;  // already registered: one more reference
  if (rc < 0) return rc;
  return rc_combine(crc, rc);
}

int32_t scheme_unload(context* ctx, int32_t index) { return rsrc_unload(ctx, kRsrcScheme, index); }

int32_t scheme_name_get(context* ctx, int32_t index, char* out, uint32_t size) {
  return rsrc_name_get(ctx, kRsrcScheme, index, out, size);
}

// ---- Export implementations ------------------------------------------------------------------

// A client's loads, counted as its own (the registry's client loads).
int32_t transf_scheme_load(context* ctx, const char* scheme_name, int32_t options, int32_t mdefn_index, uint32_t sens,
                           int32_t* index) {
  int32_t flags = static_cast<int32_t>(static_cast<uint32_t>(options) | kSchemeTransfLoad);
  return rsrc_client_load(ctx, kRsrcScheme, index, [&] {
    return scheme_load_by_name(ctx, scheme_name, flags, mdefn_index, sens, nullptr, 1, index);
  });
}

int32_t scheme_load_edit(context* ctx, const char* scheme_name, tq_lock_handle* lock, int32_t* index) {
  if (lock == nullptr) return TQ_ERR_ARGUMENT;
  return rsrc_client_load(ctx, kRsrcScheme, index, [&] {
    return scheme_load_by_name(ctx, scheme_name, static_cast<int32_t>(kSchemeEditState), -1, 0, lock, 1, index);
  }, lock);
}

// The handle's locks go whatever the unload gives: they belong to the
// client's edit, not to the reference.
int32_t scheme_unload_edit(context* ctx, int32_t index, tq_lock_handle* lock) {
  int32_t rc = rsrc_client_unload(ctx, kRsrcScheme, index);
  return rc_combine(rc, lock_handle_close(ctx, lock));
}

int32_t transf_scheme_apply(context* ctx, int32_t index, const char* data, char* out, uint32_t out_size,
                            int32_t* num_trans) {
  if (data == nullptr || out == nullptr || num_trans == nullptr) return TQ_ERR_ARGUMENT;
  *num_trans = 0;
  scheme_rec* rec = nullptr;
  int32_t rc = scheme_get(ctx, index, &rec);
  if (rc != 0) return rc;
  char* outputs[1] = {out};
  uint32_t count = 0;
  int32_t found = 0;
  rc = scheme_apply(ctx, rec, data, 1, out_size, 0, 1, outputs, &count, &found);
  *num_trans = found;
  return rc;
}

int32_t transf_scheme_apply_mult_out(context* ctx, int32_t index, const char* data, uint32_t num_bufs,
                                     uint32_t buf_size, char** out_bufs, uint32_t* num_out) {
  if (data == nullptr || out_bufs == nullptr || num_out == nullptr) return TQ_ERR_ARGUMENT;
  *num_out = 0;
  scheme_rec* rec = nullptr;
  int32_t rc = scheme_get(ctx, index, &rec);
  if (rc != 0) return rc;
  if (!(rec->flags & kSchemeDuplicates)) {
    TQ_REPORT(ctx, TQ_ERR_NOT_USABLE, 1478, name_of(rec));
    return TQ_ERR_NOT_USABLE;
  }
  if (num_bufs > kSchemeMaxOutputs) num_bufs = kSchemeMaxOutputs;
  uint32_t count = 0;
  int32_t found = 0;
  rc = scheme_apply(ctx, rec, data, num_bufs, buf_size, 0, 1, out_bufs, &count, &found);
  *num_out = count;
  return rc;
}

int32_t transf_scheme_options_get(context* ctx, int32_t index, uint32_t* options, int32_t* mdefn_index,
                                  uint32_t* sens) {
  if (options == nullptr || mdefn_index == nullptr || sens == nullptr) return TQ_ERR_ARGUMENT;
  *options = 0;
  *mdefn_index = -1;
  *sens = 0;
  scheme_rec* rec = nullptr;
  int32_t rc = scheme_get(ctx, index, &rec);
  if (rc != 0) return rc;
  *options = rec->flags;
  if (rec->flags & kSchemeMatchKeyed) {
    *mdefn_index = rec->mdefn;
    *sens = rec->sens;
  }
  return 0;
}

int32_t transf_scheme_options_set(context* ctx, int32_t index, uint32_t options, int32_t mdefn_index,
                                  uint32_t sens) {
  scheme_edit_scope edit(ctx, index);
  if (edit.rc != 0) return edit.rc;
  scheme_rec* rec = edit.rec;
  int32_t rc = need_edit_state(ctx, rec);
  if (rc != 0) return rc;
  // The same rule as for a scheme read from its file: keys made from
  // match codes leave no room for duplicate entries.
  if ((options & kSchemeMatchKeyed) && (options & kSchemeDuplicates)) {
    TQ_REPORT(ctx, TQ_ERR_NOT_USABLE, 95, name_of(rec));
    return TQ_ERR_NOT_USABLE;
  }
  if (options & kSchemeMatchKeyed) {
    rc = match_keyed_check(ctx, rec, mdefn_index);
    if (rc < 0) return rc;
  }
  // Entries taken in untrimmed are trimmed once trimming is on: the file
  // would give them back trimmed.
  if ((rec->flags & kSchemeNoTrim) && !(options & kSchemeNoTrim)) {
    entries_trim(rec);
    ensure_sorted(rec);
  }
  rec->flags = options | kSchemeEditState;
  if (options & kSchemeMatchKeyed) {
    rec->mdefn = mdefn_index;
    rec->sens = sens;
  } else {
    rec->mdefn = -1;
    rec->sens = 0;
  }
  return 0;
}

int32_t scheme_create(context* ctx, const char* path, const char* scheme_name, uint32_t options,
                      tq_lock_handle* lock, int32_t* index) {
  if (path == nullptr || scheme_name == nullptr || lock == nullptr || index == nullptr) return TQ_ERR_ARGUMENT;
  *index = -1;
  // The folder is taken whole, never cut (cut, it would name another
  // folder); the file's path, folder, name and extension together, is
  // checked against its limit before the scheme is made.
  std::string folder;
  int32_t prc = strio_in_whole(ctx, path, &folder, kStrioConvert | kStrioUnkept);
  char name[kTextSize];
  int32_t nrc = prc < 0 ? prc : strio_in_1024(ctx, scheme_name, name, kStrioConvert);
  if (prc < 0 || nrc < 0) return prc < 0 ? prc : nrc;
  char file[kTextSize + 8];
  if (rsrc_scheme_file_name(name, file, sizeof file) != 0) return TQ_ERR_ARGUMENT;
  const char* dir = xmldoc_file_folder(ctx, folder.empty() ? nullptr : folder.c_str());
  if (dir != nullptr) {
    if (int32_t rc = xmldoc_file_length_check(ctx, dir, file, kXmlFlagVault); rc != 0) return rc;
  }
  int32_t created = -1;
  int32_t rc =
      rsrc_client_load(ctx, kRsrcScheme, &created, [&] { return create_in_memory(ctx, name, options, &created); });
  if (rc != 0) return rc;
  lock_ref made;
  rc = xmldoc_file_create(ctx, dir, file, kXmlFlagVault, lock, &made);
  if (rc < 0) {
    (void)rsrc_client_unload(ctx, kRsrcScheme, created);
    return rc;
  }
  // The file made is the one its save writes, whatever else of the name
  // the handle holds.
  {
    write_hold hold(ctx);
    resource_slot* slot = nullptr;
    if (hold.held() && rsrc_slot_get_used(ctx, kRsrcScheme, created, &slot) == 0) slot->read = file_read{made, {}};
  }
  *index = created;
  return rc_combine(rc_combine(prc, nrc), rc);
}

int32_t scheme_create_in_memory(context* ctx, const char* scheme_name, uint32_t options, int32_t* index) {
  if (scheme_name == nullptr || index == nullptr) return TQ_ERR_ARGUMENT;
  *index = -1;
  // A scheme's name keeps 1,024 bytes: a longer one is refused, not cut.
  auto* name = static_cast<char*>(np_malloc(1024 + 1));
  if (name == nullptr) return TQ_ERR_NO_MEMORY;
  int32_t crc = strio_in_1024(ctx, scheme_name, name, kStrioConvert);
  // What is created is the client's load, as a load by name is.
  int32_t rc = crc;
  if (crc >= 0) {
    rc = rsrc_client_load(ctx, kRsrcScheme, index, [&] { return create_in_memory(ctx, name, options, index); });
  }
  std::free(name);
  if (rc < 0) return rc;
  return rc_combine(crc, rc);
}

int32_t scheme_finalize_in_memory(context* ctx, int32_t index) {
  scheme_edit_scope edit(ctx, index);
  if (edit.rc != 0) return edit.rc;
  scheme_rec* rec = edit.rec;
  int32_t rc = need_edit_state(ctx, rec);
  if (rc != 0) return rc;
  rec->flags &= ~kSchemeEditState;
  rc = scheme_prepare(ctx, rec);
  // A scheme that cannot be made ready stays in edit state: it is never
  // applied half prepared.
  if (rc < 0) rec->flags |= kSchemeEditState;
  return rc;
}

int32_t scheme_entry_add(context* ctx, int32_t index, const char* data, const char* standard) {
  if (data == nullptr || standard == nullptr) return TQ_ERR_ARGUMENT;
  text_in d(ctx, data);
  if (d.rc < 0) return d.rc;
  text_in s(ctx, standard);
  if (s.rc < 0) return s.rc;
  scheme_edit_scope edit(ctx, index);
  if (edit.rc != 0) return edit.rc;
  scheme_rec* rec = edit.rec;
  int32_t rc = need_edit_state(ctx, rec);
  if (rc != 0) return rc;
  data_trim(rec, d.text);
  if (d.text[0] == '\0') return 0;
  ensure_sorted(rec);
  if (scheme_search_data(rec, d.text) >= 0) return TQ_ERR_NAME_IN_USE;
  rc = scheme_entry_append_copy(rec, d.text, s.text);
  if (rc != 0) return rc;
  scheme_sort(rec, 0);
  return rc_combine(d.rc, s.rc);
}

int32_t scheme_entry_delete(context* ctx, int32_t index, const char* data) {
  if (data == nullptr) return TQ_ERR_ARGUMENT;
  scheme_edit_scope edit(ctx, index);
  if (edit.rc != 0) return edit.rc;
  scheme_rec* rec = edit.rec;
  int32_t rc = need_edit_state(ctx, rec);
  if (rc != 0) return rc;
  if (strio_is_empty(ctx, data, kStrioConvert)) return 0;
  text_in d(ctx, data, kStrioUnkept);
  if (d.rc < 0) return d.rc;
  data_trim(rec, d.text);
  if (d.text[0] == '\0') return 0;
  ensure_sorted(rec);
  int32_t at = scheme_search_data(rec, d.text);
  if (at < 0) return 0;
  scheme_entry_remove(rec, static_cast<uint32_t>(at));
  return d.rc;
}

int32_t scheme_import_begin(context* ctx, int32_t index) {
  scheme_edit_scope edit(ctx, index);
  if (edit.rc != 0) return edit.rc;
  int32_t rc = need_edit_state(ctx, edit.rec);
  if (rc != 0) return rc;
  edit.rec->sorted = 0;
  return 0;
}

int32_t scheme_import_record(context* ctx, int32_t index, const char* data, const char* standard) {
  if (data == nullptr || standard == nullptr) return TQ_ERR_ARGUMENT;
  if (strio_is_empty(ctx, data, kStrioConvert)) return 0;
  text_in d(ctx, data);
  if (d.rc < 0) return d.rc;
  text_in s(ctx, standard);
  if (s.rc < 0) return s.rc;
  scheme_edit_scope edit(ctx, index);
  if (edit.rc != 0) return edit.rc;
  scheme_rec* rec = edit.rec;
  int32_t rc = need_edit_state(ctx, rec);
  if (rc != 0) return rc;
  data_trim(rec, d.text);
  if (d.text[0] == '\0') return 0;
  rc = scheme_entry_append_copy(rec, d.text, s.text);
  if (rc != 0) return rc;
  rec->sorted = 0;
  return rc_combine(d.rc, s.rc);
}

int32_t scheme_import_end(context* ctx, int32_t index) {
  scheme_edit_scope edit(ctx, index);
  if (edit.rc != 0) return edit.rc;
  scheme_rec* rec = edit.rec;
  int32_t rc = need_edit_state(ctx, rec);
  if (rc != 0) return rc;
  uint32_t removed = 0;
  if (!(rec->flags & kSchemeDuplicates)) removed = scheme_duplicates_remove(rec, 0);
  rc = scheme_prepare(ctx, rec);
  if (rc < 0) return rc;
  return removed > 0 ? TQ_WARN_SCHEME_DUPLICATES : 0;
}

int32_t scheme_write(context* ctx, int32_t index, tq_lock_handle* lock) {
  if (lock == nullptr) return TQ_ERR_ARGUMENT;
  scheme_rec* rec = nullptr;
  int32_t rc = get_editing(ctx, index, &rec);
  if (rc != 0) return rc;
  return document_write(ctx, rec, lock);
}

int32_t scheme_element_count_get(context* ctx, int32_t index, uint32_t* count) {
  if (count == nullptr) return TQ_ERR_ARGUMENT;
  *count = 0;
  scheme_rec* rec = nullptr;
  int32_t rc = get_editing(ctx, index, &rec);
  if (rc != 0) return rc;
  *count = rec->count;
  return 0;
}

namespace {

int32_t element_text_get(context* ctx, int32_t index, uint32_t element, char* out, bool standard) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  strio_out_clear(ctx, out);
  scheme_rec* rec = nullptr;
  int32_t rc = get_editing(ctx, index, &rec);
  if (rc != 0) return rc;
  if (element >= rec->count) return TQ_ERR_ARGUMENT;
  const scheme_entry& e = rec->entries[element];
  return strio_out_1028(ctx, standard ? e.standard : e.data, out, kStrioConvert);
}

}  // namespace

int32_t scheme_element_data_get(context* ctx, int32_t index, uint32_t element, char* data) {
  return element_text_get(ctx, index, element, data, false);
}

int32_t scheme_element_standard_get(context* ctx, int32_t index, uint32_t element, char* standard) {
  return element_text_get(ctx, index, element, standard, true);
}

int32_t scheme_merge(context* ctx, int32_t index, int32_t source_index) {
  // The target is taken first: once the write hold is held, the source
  // cannot go away while it is read.
  scheme_edit_scope edit(ctx, index);
  if (edit.rc != 0) return edit.rc;
  scheme_rec* target = edit.rec;
  int32_t rc = need_edit_state(ctx, target);
  if (rc != 0) return rc;
  scheme_rec* source = nullptr;
  rc = scheme_get(ctx, source_index, &source);
  if (rc != 0) return rc;
  if (source == target) return 0;
  ensure_sorted(target);
  const uint32_t known = target->count;
  for (uint32_t i = 0; i < source->count; ++i) {
    const scheme_entry& e = source->entries[i];
    // Searched among the target's own entries only: a source that keeps
    // duplicates brings its groups over whole.
    uint32_t lo = 0;
    uint32_t hi = known;
    bool present = false;
    while (lo < hi && !present) {
      uint32_t mid = lo + (hi - lo) / 2;
      int c = std::strcmp(target->entries[mid].data, e.data);
      if (c == 0) {
        present = true;
      } else if (c < 0) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    if (present) continue;
    rc = scheme_entry_append_copy(target, e.data, e.standard);
    if (rc != 0) {
      // Memory ran out: the entries taken so far go again, so that a failed
      // merge leaves the target as it was.
      while (target->count > known) scheme_entry_remove(target, target->count - 1);
      return rc;
    }
  }
  scheme_sort(target, 0);
  return 0;
}

int32_t scheme_clear(context* ctx, int32_t index) {
  scheme_edit_scope edit(ctx, index);
  if (edit.rc != 0) return edit.rc;
  scheme_rec* rec = edit.rec;
  int32_t rc = need_edit_state(ctx, rec);
  if (rc != 0) return rc;
  scheme_entries_free(ctx, rec);
  if (rec->chopper >= 0) (void)rsrc_unref(ctx, kRsrcChopper, rec->chopper);
  rec->chopper = kSchemeNoChopper;
  rc = scheme_entries_reserve(rec, kSchemeInitialCapacity);
  rec->sorted = 1;
  rec->flags = kSchemeEditState;
  rec->mdefn = -1;
  rec->sens = 0;
  rec->key_locale = -1;
  return rc;
}

int32_t scheme_locale_set(context* ctx, int32_t index, int32_t code) {
  if (!locale_table_contains(code)) {
    TQ_REPORT(ctx, TQ_ERR_NOT_SUPPORTED, 1531, code);
    return TQ_ERR_NOT_SUPPORTED;
  }
  scheme_edit_scope edit(ctx, index);
  if (edit.rc != 0) return edit.rc;
  scheme_rec* rec = edit.rec;
  int32_t rc = need_edit_state(ctx, rec);
  if (rc != 0) return rc;
  locale_info info{};
  locale_info_clear(&info);
  rc = locale_table_iso_get(ctx, code, info.iso, kLocaleIsoSize);
  if (rc == 0) rc = locale_table_description_get(ctx, code, info.description, kLocaleDescriptionSize);
  if (rc != 0) return rc;
  info.code = code;
  rec->locale = info;
  return 0;
}

int32_t scheme_chopper_name_get(context* ctx, int32_t index, char* name) {
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  strio_out_clear(ctx, name);
  scheme_rec* rec = nullptr;
  int32_t rc = scheme_get(ctx, index, &rec);
  if (rc != 0) return rc;
  resource_slot* chopper = nullptr;
  if (rec->chopper < 0 || rsrc_slot_get_used(ctx, kRsrcChopper, rec->chopper, &chopper) != 0)
    return TQ_ERR_PART_MISSING;
  return strio_out_4096(ctx, chopper->name, name, kStrioConvert);
}

int32_t scheme_chopper_name_set(context* ctx, int32_t index, const char* name) {
  // Taken whole, as a load takes a name (scheme_load_by_name).
  std::string in;
  int32_t crc = name != nullptr ? name_in(ctx, name, kStrioConvert, &in) : 0;
  if (crc < 0) return crc;
  int32_t rc = 0;
  {
    scheme_edit_scope edit(ctx, index);
    rc = edit.rc;
    scheme_rec* rec = edit.rec;
    bool same = false;
    if (rc == 0 && rec->chopper >= 0) {
      resource_slot* chopper = nullptr;
      same = rsrc_slot_get_used(ctx, kRsrcChopper, rec->chopper, &chopper) == 0 && !in.empty() &&
             rsrc_same_name(kRsrcChopper, chopper->name, in.c_str());
    }
    if (rc == 0 && !same) {
      // The named chopper first: one that cannot be opened leaves the scheme
      // with the chopper it had.
      int32_t chopper = kSchemeNoChopper;
      if (!in.empty()) rc = chopper_load_by_name(ctx, in.c_str(), nullptr, &chopper);
      if (rc >= 0) {
        if (rec->chopper >= 0) (void)rsrc_unref(ctx, kRsrcChopper, rec->chopper);
        rec->chopper = chopper;
        rc = 0;
      }
    }
  }
  return rc != 0 ? rc : crc;
}

}  // namespace tq

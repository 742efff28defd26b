// The regex library as a resource of kind 4: registry callbacks, the
// "Regexlib" document, editing, saving, and the exported regexlib family.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "kbstore/krfield.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocl.h"
#include "kbstore/krlock.h"
#include "kbstore/krxml.h"
#include "platform/nputf8.h"
#include "resources/krregx.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr const char* kDocType = "Regexlib";
constexpr const char* kDocVersion = "7.0";
constexpr const char* kMarker = "9.0";
constexpr const char* kColRegex = "Regex";
constexpr const char* kColSubV7 = "Substitution V7";
constexpr const char* kColSub = "Substitution";
constexpr const char* kColNotes = "Notes";
constexpr const char* kColOptions = "Options";

// Names cross the interface in at most 1,024 bytes; element texts in at
// most 16,384.
constexpr uint32_t kNameMax = kRsrcNameSize - 1;
constexpr uint32_t kTextMax = 16384;
// More elements than any library needs: refused as out of memory rather
// than attempted.
constexpr uint32_t kElementCountMax = 1u << 20;

regexlib_rec* rec_new() {
  auto* rec = static_cast<regexlib_rec*>(np_calloc(1, sizeof(regexlib_rec)));
  if (rec == nullptr) return nullptr;
  vault_info_clear(&rec->vault);
  locale_info_clear(&rec->locale);
  return rec;
}

void rec_delete(regexlib_rec* rec) {
  if (rec == nullptr) return;
  regexlib_elements_free(rec);
  std::free(rec);
}



// Reads the document into a new record; on failure nothing is left behind.
int32_t read_document(context* ctx, resource_slot* slot, lock_handle* lock, regexlib_rec** out) {
  *out = nullptr;
  xmldoc* doc = nullptr;
  int32_t rc = rsrc_document_read(ctx, slot, lock, slot->name, kXmlFlagVault, &doc);
  if (rc < 0) return rc;
  const char* name = slot->name;
  regexlib_rec* rec = rec_new();
  if (rec == nullptr) {
    rc = TQ_ERR_NO_MEMORY;
    TQ_REPORT(ctx, rc, 29, "Allocating memory for regexlib.");
  }
  if (rc >= 0) {
    rsrc_version_read(ctx, slot, doc);
    rsrc_owner_read(ctx, slot, doc);
    int32_t lrc = locale_info_read(ctx, doc, &rec->locale);
    if (lrc < 0) {
      TQ_REPORT(ctx, lrc, 99, name);
      rc = lrc;
    }
  }
  if (rc >= 0) vault_info_read(doc, &rec->vault);
  // A library without elements is one an editor saved mid-work (emptied, or
  // created and not filled yet): it reads back empty and matches nothing,
  // so that definitions naming it go on working. It needs no columns.
  const bool empty = doc->record_count <= 0;
  int32_t col_regex = -1, col_sub = -1, col_notes = -1, col_options = -1;
  if (rc >= 0 && !empty) {
    rec->elements =
        static_cast<regexlib_element*>(np_calloc(static_cast<size_t>(doc->record_count), sizeof(regexlib_element)));
    if (rec->elements == nullptr) {
      rc = TQ_ERR_NO_MEMORY;
      char detail[kRsrcNameSize + 64];
      std::snprintf(detail, sizeof detail, "Allocate element memory for regexlib %s.", name);
      TQ_REPORT(ctx, rc, 29, static_cast<const char*>(detail));
    }
  }
  if (rc >= 0 && !empty) {
    const char* missing = nullptr;
    if (xmldoc_column_find(ctx, doc, kColRegex, &col_regex) != 0) {
      missing = kColRegex;
    } else if (xmldoc_column_find(ctx, doc, kColSubV7, &col_sub) != 0 &&
               xmldoc_column_find(ctx, doc, kColSub, &col_sub) != 0) {
      missing = kColSub;
    } else if (xmldoc_column_find(ctx, doc, kColOptions, &col_options) != 0) {
      missing = kColOptions;
    }
    if (xmldoc_column_find(ctx, doc, kColNotes, &col_notes) != 0) col_notes = -1;
    if (missing != nullptr) {
      rc = TQ_ERR_INVALID_CONTENT;
      TQ_REPORT(ctx, rc, 96, missing, name);
    }
  }
  uint32_t encoding = 0;
  if (rc >= 0 && locale_table_encoding_get(nullptr, rec->locale.code, &encoding) != 0) encoding = 0;
  for (int32_t r = 0; rc >= 0 && r < doc->record_count; ++r) {
    const char* regex = xmldoc_field_text(xmldoc_field_get(doc, r, col_regex));
    const char* sub = xmldoc_field_text(xmldoc_field_get(doc, r, col_sub));
    if (regex == nullptr || sub == nullptr) {
      rc = TQ_ERR_INVALID_CONTENT;
      char detail[kRsrcNameSize + 64];
      std::snprintf(detail, sizeof detail, "Regex library '%s' has a record without its regex or substitution.", name);
      TQ_REPORT(ctx, rc, 97, static_cast<const char*>(detail));
      break;
    }
    const char* notes = col_notes >= 0 ? xmldoc_field_text(xmldoc_field_get(doc, r, col_notes)) : nullptr;
    const xmldoc_field* of = xmldoc_field_get(doc, r, col_options);
    uint32_t options = of != nullptr && of->type == kXmlColInt ? static_cast<uint32_t>(of->number) : 0;
    regexlib_element* e = &rec->elements[rec->count];
    rc = regexlib_element_create(e, regex, sub, notes, options);
    if (rc == TQ_ERR_NO_MEMORY) {
      char detail[kRsrcNameSize + 64];
      std::snprintf(detail, sizeof detail, "Allocating regex memory for regexlib %s.", name);
      TQ_REPORT(ctx, rc, 29, static_cast<const char*>(detail));
    } else if (rc == TQ_ERR_ARGUMENT) {
      TQ_REPORT(ctx, rc, 98, kColRegex, name, r + 1);
    }
    if (rc < 0) break;
    e->encoding = static_cast<int32_t>(encoding);
    rec->count += 1;
  }
  if (rc >= 0) rc = rc_combine(rc, number_past_refuse(ctx, doc, number_owner{"regex library", name, false}));
  xml_free(ctx, doc);
  if (rc < 0) {
    rec_delete(rec);
    return rc;
  }
  *out = rec;
  return rc;
}

int32_t load_common(context* ctx, resource_slot* slot, lock_handle* lock, bool compile) {
  if (slot == nullptr) return TQ_ERR_ARGUMENT;
  // After a failed load the slot stays registered with its references, so
  // that a later use tries again.
  regexlib_rec* rec = nullptr;
  int32_t rc = read_document(ctx, slot, lock, &rec);
  if (rc < 0) return rc;
  int32_t warning = rc;
  if (compile) {
    uint32_t opts = regexlib_compile_options(ctx);
    for (uint32_t i = 0; i < rec->count; ++i) {
      int32_t crc = regexlib_element_compile(ctx, &rec->elements[i], opts);
      if (crc < 0) {
        rec_delete(rec);
        return crc;
      }
      if (warning == 0) warning = crc;
    }
  }
  slot->part = rec;
  return warning;
}

rsrc_callbacks callbacks_for(bool compile, lock_handle* lock) {
  rsrc_callbacks cb{};
  cb.load = compile ? regexlib_rsrc_load : regexlib_rsrc_load_no_compile;
  cb.free = regexlib_rsrc_free;
  cb.lock = lock;
  return cb;
}

int32_t load_by_name(context* ctx, const char* name, lock_handle* lock, int32_t* index, uint32_t convert,
                     bool compile) {
  if (index != nullptr) *index = -1;
  if (name == nullptr || index == nullptr) return TQ_ERR_ARGUMENT;
  char in[kRsrcNameSize];
  int32_t crc = strio_in(ctx, name, in, kNameMax, convert == 1 ? kStrioConvert : 0);
  if (crc < 0) return crc;
  rsrc_callbacks cb = callbacks_for(compile, lock);
  int32_t rc = rsrc_register(ctx, kRsrcRegex, in, &cb, index);
  if (rc == TQ_WARN_ALREADY_REGISTERED) rc = 0;  // already registered: one more reference
  if (rc < 0) return rc;
  return rc_combine(crc, rc);
}

// The library for change: the write hold is kept until edit_end.
int32_t get_for_edit(context* ctx, int32_t index, resource_slot** slot, regexlib_rec** rec) {
  return rsrc_part_get_for_edit(ctx, kRsrcRegex, index, rec, slot);
}

int32_t edit_end(write_hold& hold, int32_t rc) {
  int32_t released = hold.release();
  return rc != 0 ? rc : released;
}

// Whether a path names a vault file (".zel" or ".krd"), which is written
// enciphered.
bool is_vault_path(const char* path) {
  size_t n = std::strlen(path);
  if (n < 4) return false;
  const char* ext = path + n - 4;
  return strcasecmp(ext, ".zel") == 0 || strcasecmp(ext, ".krd") == 0;
}

int32_t save_document(context* ctx, resource_slot* slot, const regexlib_rec* rec, lock_handle* lock) {
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kDocType, kDocVersion, &doc);
  if (rc < 0) return rsrc_save_build_failed(ctx, slot, rc);
  rc = vault_info_write(doc, &rec->vault);
  if (rc >= 0 && slot->version[0] != '\0') rc = xmldoc_prop_add_grouped(ctx, doc, kMarker, "Version", slot->version);
  if (rc >= 0 && slot->owner[0] != '\0') rc = xmldoc_prop_add_grouped(ctx, doc, kMarker, "Owner", slot->owner);
  if (rc >= 0) rc = locale_info_write(ctx, &rec->locale, doc);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColRegex, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColSubV7, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColNotes, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColOptions, kXmlColInt);
  static char empty[] = "";
  for (uint32_t i = 0; rc >= 0 && i < rec->count; ++i) {
    const regexlib_element& e = rec->elements[i];
    xmldoc_field fields[4];
    fields[0].type = kXmlColString;
    fields[0].text = e.regex != nullptr ? e.regex : empty;
    fields[1].type = kXmlColString;
    fields[1].text = e.sub != nullptr ? e.sub : empty;
    fields[2].type = kXmlColString;
    fields[2].text = e.notes != nullptr ? e.notes : empty;
    fields[3].type = kXmlColInt;
    fields[3].number = static_cast<int32_t>(e.options);
    rc = xmldoc_record_add(ctx, doc, "", nullptr, fields);
  }
  if (rc < 0) {
    rc = rsrc_save_build_failed(ctx, slot, rc);
  } else {
    // The library's own file, which the handle must lock.
    fio_place place;  // the file the lock holds
    rc = rsrc_save_place(ctx, slot, lock, &place);
    if (rc >= 0) rc = xml_write_place(ctx, place, is_vault_path(place.path) ? kXmlFlagVault : 0, doc);
  }
  xml_free(ctx, doc);
  return rc;
}

}  // namespace

// ---- The resource kind -------------------------------------------------------------

int32_t regexlib_rsrc_load(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t arg) {
  (void)arg;
  return load_common(ctx, slot, lock, true);
}

int32_t regexlib_rsrc_load_no_compile(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t arg) {
  (void)arg;
  return load_common(ctx, slot, lock, false);
}

int32_t regexlib_rsrc_free(context* ctx, resource_slot* slot, uintptr_t arg) {
  (void)ctx;
  (void)arg;
  if (slot == nullptr) return 0;
  rec_delete(static_cast<regexlib_rec*>(slot->part));
  slot->part = nullptr;
  return 0;
}

int32_t regexlib_get(context* ctx, int32_t index, regexlib_rec** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  resource_slot* slot = nullptr;
  int32_t rc = rsrc_slot_get_loaded(ctx, kRsrcRegex, index, 0, &slot);
  if (rc != 0) return rc;
  auto* rec = static_cast<regexlib_rec*>(slot->part);
  if (rec == nullptr) return TQ_ERR_INDEX;
  bool pending = false;
  for (uint32_t i = 0; i < rec->count && !pending; ++i) {
    pending = rec->elements[i].code == nullptr && rec->elements[i].compile_rc == 0;
  }
  if (pending) {
    // A library read without compiling is compiled on its first use for
    // matching, under the write hold (it is shared): a call that only reads
    // is refused it and runs again under it.
    rc = rsrc_slot_get_loaded(ctx, kRsrcRegex, index, 1, &slot);
    if (rc != 0) return rc;
    write_hold hold = write_hold::adopt(ctx);  // rsrc_slot_get_loaded returned holding it
    rec = static_cast<regexlib_rec*>(slot->part);
    uint32_t opts = regexlib_compile_options(ctx);
    int32_t short_of_memory = 0;
    for (uint32_t i = 0; rec != nullptr && i < rec->count && short_of_memory == 0; ++i) {
      regexlib_element* e = &rec->elements[i];
      if (e->code != nullptr || e->compile_rc != 0) continue;
      // A pattern that does not compile stays so, and matches nothing; one
      // that memory failed stays pending, compiled on the next use.
      if (regexlib_element_compile(ctx, e, opts) == TQ_ERR_NO_MEMORY) {
        e->compile_rc = 0;
        short_of_memory = TQ_ERR_NO_MEMORY;
      }
    }
    rc = hold.release();
    if (rc != 0) return rc;
    if (short_of_memory != 0) return short_of_memory;
    if (rec == nullptr) return TQ_ERR_INDEX;
  }
  *out = rec;
  return 0;
}

int32_t regexlib_load_by_name(context* ctx, const char* name, lock_handle* lock, int32_t* index,
                              uint32_t convert) {
  return load_by_name(ctx, name, lock, index, convert, true);
}

int32_t regexlib_unload(context* ctx, int32_t index) { return rsrc_unload(ctx, kRsrcRegex, index); }

int32_t regexlib_name_get(context* ctx, int32_t index, char* out, uint32_t size) {
  return rsrc_name_get(ctx, kRsrcRegex, index, out, size);
}

// ---- Export implementations ----------------------------------------------------------

// A client's loads, counted as its own (the registry's client loads).
int32_t regexlib_load(context* ctx, const char* name, tq_lock_handle* lock, int32_t* index) {
  return rsrc_client_load(ctx, kRsrcRegex, index, [&] { return load_by_name(ctx, name, lock, index, 1, true); }, lock);
}

int32_t regexlib_load_no_compile(context* ctx, const char* name, tq_lock_handle* lock, int32_t* index) {
  return rsrc_client_load(ctx, kRsrcRegex, index, [&] { return load_by_name(ctx, name, lock, index, 1, false); }, lock);
}

int32_t regexlib_rule_count_get(context* ctx, int32_t library, uint32_t* count) {
  if (count == nullptr) return TQ_ERR_ARGUMENT;
  *count = 0;
  regexlib_rec* rec = nullptr;
  int32_t rc = regexlib_get(ctx, library, &rec);
  if (rc != 0) return rc;
  *count = rec->count;
  return 0;
}

int32_t regexlib_save(context* ctx, int32_t library, tq_lock_handle* lock) {
  if (lock == nullptr) return TQ_ERR_ARGUMENT;
  resource_slot* slot = nullptr;
  regexlib_rec* rec = nullptr;
  int32_t rc = regexlib_get(ctx, library, &rec);
  if (rc != 0) return rc;
  rc = rsrc_slot_get(ctx, kRsrcRegex, library, 0, &slot);
  if (rc != 0) return rc;
  // A library without a locale could be written but never read again.
  if (!locale_table_contains(rec->locale.code) || rec->locale.iso[0] == '\0' || rec->locale.description[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 99, static_cast<const char*>(slot->name));
    return TQ_ERR_INVALID_CONTENT;
  }
  // So is one with an element left without its regex.
  for (uint32_t i = 0; i < rec->count; ++i) {
    if (rec->elements[i].regex == nullptr || rec->elements[i].regex[0] == '\0') {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 98, kColRegex, static_cast<const char*>(slot->name),
                static_cast<int32_t>(i + 1));
      return TQ_ERR_INVALID_CONTENT;
    }
  }
  return save_document(ctx, slot, rec, lock);
}

namespace {

int32_t create(context* ctx, const char* name, int32_t* index) {
  if (name == nullptr || index == nullptr) return TQ_ERR_ARGUMENT;
  *index = -1;
  char in[kRsrcNameSize];
  int32_t crc = strio_in(ctx, name, in, kNameMax, kStrioConvert);
  if (crc < 0) return crc;
  regexlib_rec* rec = rec_new();
  if (rec == nullptr) return TQ_ERR_NO_MEMORY;
  // What is created takes the current locale, when there is one, so that
  // it can be saved and read back.
  locale_info_from_current(ctx, &rec->locale);
  rsrc_callbacks cb{};
  cb.free = regexlib_rsrc_free;
  int32_t slot_index = -1;
  int32_t rc = rsrc_slot_create(ctx, kRsrcRegex, in, 0, &cb, &slot_index);
  if (rc != 0) {
    rec_delete(rec);
    return rc;
  }
  resource_slot* slot = nullptr;
  rc = rsrc_slot_get(ctx, kRsrcRegex, slot_index, 1, &slot);
  if (rc != 0) {
    rec_delete(rec);
    return rc;
  }
  write_hold hold = write_hold::adopt(ctx);  // rsrc_slot_get returned holding it
  slot->part = rec;
  rc = edit_end(hold, 0);
  *index = slot_index;
  return rc_combine(crc, rc);
}

}  // namespace

// What is created is the client's load, as a load by name is.
int32_t regexlib_create(context* ctx, const char* name, int32_t* index) {
  return rsrc_client_load(ctx, kRsrcRegex, index, [&] { return create(ctx, name, index); });
}

int32_t regexlib_edit_new(context* ctx, const char* path, const char* name, tq_lock_handle* lock) {
  if (path == nullptr || name == nullptr || lock == nullptr) return TQ_ERR_ARGUMENT;
  // The folder is taken whole, never cut (cut, it would name another
  // folder): the file's path, folder, name and extension together, is
  // what has a limit, checked where the file is made.
  std::string folder;
  int32_t rc1 = strio_in_whole(ctx, path, &folder, kStrioConvert | kStrioUnkept);
  if (rc1 < 0) return rc1;
  fio_path_buffer file_buffer(kTextMax + 1);
  char* const file = file_buffer.get();
  if (file == nullptr) return TQ_ERR_NO_MEMORY;
  int32_t rc2 = strio_in_16384(ctx, name, file, kStrioConvert);
  if (rc2 < 0) return rc2;
  int32_t rc = xmldoc_file_create(ctx, folder.empty() ? nullptr : folder.c_str(), file, kXmlFlagVault, lock);
  if (rc < 0) return rc;
  return rc_combine(rc_combine(rc1, rc2), rc);
}


int32_t regexlib_element_array_size_set(context* ctx, int32_t library, uint32_t n) {
  resource_slot* slot = nullptr;
  regexlib_rec* rec = nullptr;
  int32_t rc = get_for_edit(ctx, library, &slot, &rec);
  if (rc != 0) return rc;
  write_hold hold = write_hold::adopt(ctx);  // get_for_edit returned holding it
  // The new elements are made before the old ones go: a size refused, or
  // memory running out, leaves the library as it was.
  regexlib_element* made = nullptr;
  if (n > 0) {
    if (n > kElementCountMax) return edit_end(hold, TQ_ERR_NO_MEMORY);
    made = static_cast<regexlib_element*>(np_calloc(n, sizeof(regexlib_element)));
    if (made == nullptr) return edit_end(hold, TQ_ERR_NO_MEMORY);
    for (uint32_t i = 0; i < n; ++i) {
      made[i].options = 1;
      made[i].encoding = -1;
    }
  }
  regexlib_elements_free(rec);
  rec->elements = made;
  rec->count = n;
  return edit_end(hold, 0);
}

int32_t regexlib_element_info_get(context* ctx, int32_t library, uint32_t index, char* regex, char* sub,
                                  char* notes) {
  if (regex == nullptr || sub == nullptr || notes == nullptr) return TQ_ERR_ARGUMENT;
  regexlib_rec* rec = nullptr;
  int32_t rc = regexlib_get(ctx, library, &rec);
  if (rc != 0) return rc;
  if (index >= rec->count) return TQ_ERR_INDEX;
  const regexlib_element& e = rec->elements[index];
  int32_t r1 = strio_out_16384(ctx, e.regex != nullptr ? e.regex : "", regex, kStrioConvert);
  if (r1 < 0) return r1;
  int32_t r2 = strio_out_16384(ctx, e.sub != nullptr ? e.sub : "", sub, kStrioConvert);
  if (r2 < 0) return r2;
  int32_t r3 = strio_out_16384(ctx, e.notes != nullptr ? e.notes : "", notes, kStrioConvert);
  if (r3 < 0) return r3;
  return rc_combine(rc_combine(r1, r2), r3);
}

int32_t regexlib_element_info_set(context* ctx, int32_t library, uint32_t index, const char* regex,
                                  const char* sub, const char* notes) {
  if (regex == nullptr || sub == nullptr || notes == nullptr) return TQ_ERR_ARGUMENT;
  // Converted before the hold is taken: a text that does not convert
  // leaves the element as it was.
  auto* texts = static_cast<char*>(np_malloc(3 * (kTextMax + 1)));
  if (texts == nullptr) return TQ_ERR_NO_MEMORY;
  char* r_in = texts;
  char* s_in = texts + (kTextMax + 1);
  char* n_in = texts + 2 * (kTextMax + 1);
  int32_t crc = strio_in_16384(ctx, regex, r_in, kStrioConvert);
  if (crc >= 0) crc = rc_combine(crc, strio_in_16384(ctx, sub, s_in, kStrioConvert));
  if (crc >= 0) crc = rc_combine(crc, strio_in_16384(ctx, notes, n_in, kStrioConvert));
  if (crc < 0) {
    std::free(texts);
    return crc;
  }
  resource_slot* slot = nullptr;
  regexlib_rec* rec = nullptr;
  int32_t rc = get_for_edit(ctx, library, &slot, &rec);
  if (rc != 0) {
    std::free(texts);
    return rc;
  }
  write_hold hold = write_hold::adopt(ctx);  // get_for_edit returned holding it
  if (index >= rec->count) {
    std::free(texts);
    return edit_end(hold, TQ_ERR_INDEX);
  }
  regexlib_element fresh{};
  rc = regexlib_element_create(&fresh, r_in, s_in, n_in, 1);
  std::free(texts);
  if (rc < 0) return edit_end(hold, rc);
  fresh.encoding = ctx->session_encoding;
  // Compiled before it replaces the old element: a pattern that does not
  // compile leaves the library as it was.
  rc = regexlib_element_compile(ctx, &fresh, regexlib_compile_options(ctx));
  if (rc < 0) {
    regexlib_element_free(&fresh);
    return edit_end(hold, rc);
  }
  regexlib_element* e = &rec->elements[index];
  regexlib_element_free(e);
  *e = fresh;
  rc = edit_end(hold, rc);
  return rc < 0 ? rc : rc_combine(crc, rc);
}

int32_t regexlib_regex_compile(context* ctx, const char* regex) {
  if (regex == nullptr) return TQ_ERR_ARGUMENT;
  auto* in = static_cast<char*>(np_malloc(kTextMax + 1));
  if (in == nullptr) return TQ_ERR_NO_MEMORY;
  int32_t crc = strio_in_16384(ctx, regex, in, kStrioConvert | kStrioUnkept);
  if (crc < 0) {
    std::free(in);
    return crc;
  }
  regexlib_element scratch{};
  int32_t rc = regexlib_element_create(&scratch, in, nullptr, nullptr, 1);
  std::free(in);
  if (rc < 0) return rc;
  rc = regexlib_element_compile(ctx, &scratch, regexlib_compile_options(ctx));
  regexlib_element_free(&scratch);
  return rc < 0 ? rc : rc_combine(crc, rc);
}

// A conversion's failure is returned like every other export's (under strict
// conversion an unconvertible character is -10000, never a silent "no
// match"); its positive warning is returned when the call succeeds.
int32_t regexlib_match(context* ctx, int32_t library, const char* s, int32_t* matched) {
  if (s == nullptr || matched == nullptr) return TQ_ERR_ARGUMENT;
  *matched = 0;
  regexlib_rec* rec = nullptr;
  int32_t rc = regexlib_get(ctx, library, &rec);
  if (rc != 0) return rc;
  // Only read: a UTF-8 session's value is matched where it lies.
  char in[kRegexResultSize];
  const char* text = nullptr;
  int32_t crc = strio_in_view(ctx, s, in, 1024, kStrioConvert | kStrioValue, &text);
  if (crc < 0) return crc;
  // A value viewed where it lies has just been found well-formed: PCRE2
  // need not check its UTF-8 again.
  int32_t m = regexlib_match_any(ctx, rec, text, text == s ? kRegexExecChecked : 0);
  if (m < 0) return m;
  *matched = m;
  return crc;
}

int32_t regexlib_match_and_replace(context* ctx, int32_t library, const char* s, char* r, int32_t* matched) {
  if (s == nullptr || r == nullptr || matched == nullptr) return TQ_ERR_ARGUMENT;
  *matched = 0;
  regexlib_rec* rec = nullptr;
  int32_t rc = regexlib_get(ctx, library, &rec);
  if (rc != 0) return rc;
  char in[kRegexResultSize];
  int32_t crc = strio_in_1024(ctx, s, in, kStrioConvert | kStrioValue);
  if (crc < 0) return crc;
  // Replaced apart and converted out last, so that a failure before the
  // end writes nothing into r (which the frame emptied on entry).
  char replaced[kRegexResultSize];
  int32_t m = regexlib_replace_all(ctx, rec, in, replaced, 0);
  if (m < 0) return m;
  int32_t orc = strio_out_1028(ctx, replaced, r, kStrioConvert);
  if (orc < 0) return orc;
  *matched = m;
  return rc_combine(crc, orc);
}

}  // namespace tq

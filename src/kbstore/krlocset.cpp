#include "kbstore/krlocset.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krfio.h"
#include "core/krzel.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdtyp.h"
#include "kbstore/krlock.h"
#include "kbstore/krlocl.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"

namespace tq {

namespace {

// The kinds in the order a settings document includes their definitions.
constexpr int32_t kWriteOrder[] = {kDefnParse, kDefnIdent,   kDefnGender,    kDefnMatch,       kDefnStdzn,
                                   kDefnCase,  kDefnPattern, kDefnLangGuess, kDefnLocaleGuess, kDefnExtract};

constexpr uint32_t kFileNameSize = kLocaleFileNameMax + 1;

// The properties of the head the writer makes (head_create); every other
// property of the head of the file a write replaces is kept as it is.
constexpr const char* kPropIso = "Locale ISO Code";
constexpr const char* kPropDescription = "Locale Description";
constexpr const char* kPropCode = "Locale Code";
constexpr const char* kPropParent = "Parent Locale";
constexpr const char* kPropEncoding = "Encoding";
constexpr const char* kHeadMade[] = {kPropIso, kPropDescription, kPropCode, kPropParent, kPropEncoding};

// What the head of a settings document says about its locale.
struct settings_head {
  const char* iso;
  const char* description;
  int32_t code;
  const char* parent_file;  // "" for none
  uint32_t encoding;
};

// A new document with the properties in their order. The description is
// given twice, after the ISO code and after the code: files have always
// carried it so, and readers take the first.
int32_t head_create(context* ctx, const settings_head& head, xmldoc** out) {
  *out = nullptr;
  char code[16];
  std::snprintf(code, sizeof code, "%d", head.code);
  char encoding[kEncodingNameMax + 1];
  if (enc_name_get_by_id(static_cast<int32_t>(head.encoding), encoding, sizeof encoding) != 0) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1490, static_cast<int32_t>(head.encoding));
    return TQ_ERR_ARGUMENT;
  }
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kLocaleSettingsType, kLocaleSettingsVersion, &doc);
  if (rc != 0) return rc;
  if (rc == 0) rc = xmldoc_prop_add(ctx, doc, kPropIso, head.iso);
  if (rc == 0) rc = xmldoc_prop_add(ctx, doc, kPropDescription, head.description);
  if (rc == 0) rc = xmldoc_prop_add(ctx, doc, kPropCode, code);
  if (rc == 0) rc = xmldoc_prop_add(ctx, doc, kPropDescription, head.description);
  if (rc == 0 && head.parent_file[0] != '\0') rc = xmldoc_prop_add(ctx, doc, kPropParent, head.parent_file);
  if (rc == 0) rc = xmldoc_prop_add(ctx, doc, kPropEncoding, encoding);
  if (rc != 0) {
    xml_free(ctx, doc);
    return rc;
  }
  *out = doc;
  return 0;
}

// The held file's head properties that the writer does not make ("Vault
// Object Name" and "Description", which the vault file calls set), after
// the writer's own, in the file's order.
bool head_made(const char* property) {
  for (const char* name : kHeadMade) {
    if (std::strcmp(property, name) == 0) return true;
  }
  return false;
}

int32_t head_keep(context* ctx, xmldoc* doc, const xmldoc* held) {
  for (int32_t i = 0; i < held->prop_count; ++i) {
    const xmldoc_prop& p = held->props[i];
    if (head_made(p.name)) continue;
    const int32_t rc = xmldoc_prop_add(ctx, doc, p.name, p.value);
    if (rc != 0) return rc;
  }
  return 0;
}

}  // namespace

int32_t locale_head_kept(context* ctx, const xmldoc* doc, xmldoc** out) {
  *out = nullptr;
  bool any = false;
  for (int32_t i = 0; i < doc->prop_count && !any; ++i) any = !head_made(doc->props[i].name);
  if (!any) return 0;
  xmldoc* kept = nullptr;
  int32_t rc = xmldoc_create(ctx, doc->type, doc->version, &kept);
  if (rc == 0) rc = head_keep(ctx, kept, doc);
  if (rc != 0) {
    xml_free(ctx, kept);
    return rc;
  }
  *out = kept;
  return 0;
}

namespace {

// Whether the load read the part of a kind (0: the datatypes) into the
// record; a kind no load flag reads counts as read.
bool part_read(const loaded_locale_rec* rec, int32_t kind) {
  const uint32_t bit = locale_part_flag(kind);
  return bit == 0 || (rec->parts & bit) != 0;
}

// Whether an include of a settings document is one the part of a kind (0:
// the datatypes) reads: a datatype by its document's type, as the datatype
// reader takes it, a definition by the include's name, as its kind's reader
// takes it.
bool part_holds(context* ctx, int32_t kind, const xmldoc_include& inc) {
  if (inc.doc == nullptr) return false;
  const bool datatype = std::strcmp(inc.doc->type, kDtypeType) == 0;
  if (kind == 0) return datatype;
  return !datatype && defn_kind_type_matches(ctx, kind, inc.name) != 0;
}

// The held file's elements of a part the load did not read, moved into the
// document being written as the file has them, in the file's order.
int32_t part_keep(context* ctx, xmldoc* doc, xmldoc* held, int32_t kind) {
  for (int32_t i = 0; i < held->include_count; ++i) {
    if (!part_holds(ctx, kind, held->includes[i])) continue;
    const int32_t rc = xmldoc_include_move(ctx, doc, held, i);
    if (rc != 0) return rc;
  }
  return 0;
}

}  // namespace

int32_t locale_settings_build(context* ctx, const loaded_locale_rec* rec, xmldoc* held, xmldoc** out) {
  *out = nullptr;
  char parent_file[kFileNameSize] = "";
  if (rec->parent >= 0) {
    loaded_locale_rec* parent = nullptr;
    int32_t rc = locale_rec_get_by_index(ctx, static_cast<uint32_t>(rec->parent), &parent);
    if (rc != 0 || parent->code == -1) return TQ_ERR_NO_LOCALE;
    if (locale_file_name_get(ctx, parent->iso, parent_file, sizeof parent_file) != 0) return TQ_ERR_ARGUMENT;
  }
  const settings_head head{rec->iso, rec->description, rec->code, parent_file, rec->encoding};
  xmldoc* doc = nullptr;
  int32_t rc = head_create(ctx, head, &doc);
  if (rc != 0) return rc;
  // Freed on every way out, an exception included, until handed out.
  xmldoc_ptr owned = xmldoc_owned(ctx, doc);
  // The rest of the head as the file the locale was read from had it (the
  // record keeps it), and, from the file it replaces, the elements of every
  // part the load left out, each where that part goes, before what the
  // record has of it (a datatype or definition made since).
  if (rec->head_kept != nullptr) rc = head_keep(ctx, doc, rec->head_kept);
  if (rc == 0 && held != nullptr && !part_read(rec, 0)) rc = part_keep(ctx, doc, held, 0);
  if (rc == 0) rc = dtype_write_all(ctx, rec->datatypes, doc);
  // Only the locale's own definitions: what it inherits is its ancestors'
  // files' business. Each is read back through the loader's own reader, as
  // the next load will read it, with the locale current as a load makes it:
  // one the reader will hold not valid (work in progress) is written all the
  // same, with a warning that names it and gives the reader's reason, so a
  // write and the next load cannot disagree.
  int32_t warned = 0;
  char why[kErrTextSize];
  {
    const current_locale_kept previous(ctx);
    if (rc >= 0) rc = locale_select(ctx, rec->code);
    for (int32_t kind : kWriteOrder) {
      if (rc >= 0 && held != nullptr && !part_read(rec, kind)) rc = part_keep(ctx, doc, held, kind);
      const defn_set& set = rec->defns[kind];
      for (uint32_t i = 0; rc >= 0 && i < set.count; ++i) {
        const defn_rec* d = set.recs[i];
        if (d == nullptr || d->kind == 0 || d->name[0] == '\0') continue;  // an unloaded slot
        const xmldoc* written = nullptr;
        rc = defn_element_write(ctx, doc, d, &written);
        const int32_t refused = rc >= 0 ? defn_element_read_back(ctx, d, written, why, sizeof why) : 0;
        if (refused < 0) rc = refused;
        if (refused > 0) {
          TQ_REPORT(ctx, TQ_WARN_LOCALE_PROBLEMS, 1960, defn_kind_name(kind), static_cast<const char*>(d->name),
                    rec->code, static_cast<const char*>(why));
          warned = TQ_WARN_LOCALE_PROBLEMS;
        }
      }
    }
  }
  if (rc < 0) return rc;
  *out = owned.release();
  return warned;
}

namespace {

// The load flags of the parts the load left out, as tq.h names them.
std::string parts_unread_names(const loaded_locale_rec* rec) {
  std::string names;
  for (int32_t kind = 0; kind <= kDefnKindCount; ++kind) {
    const char* flag = nullptr;
    if (part_read(rec, kind) || locale_part_flag(kind, &flag) == 0) continue;
    if (!names.empty()) names += ", ";
    names += flag;
  }
  return names;
}

}  // namespace

int32_t locale_settings_write(context* ctx, const loaded_locale_rec* rec, const fio_place& place) {
  // The file replaced is the version the locale was read from: its head's
  // own properties are the record's. What a load left out of its parts is
  // read from the file, through the place held.
  xmldoc* read = nullptr;
  if ((rec->parts & kLoadAllParts) != kLoadAllParts) {
    const int32_t read_rc = xmldoc_read_held(ctx, place, kXmlFlagVault, &read);
    if (read_rc < 0) {
      const char* shown = place.shown != nullptr ? place.shown : place.path;
      TQ_REPORT(ctx, read_rc, 2490, static_cast<const char*>(rec->iso), shown, parts_unread_names(rec).c_str());
      return read_rc;
    }
  }
  xmldoc_ptr held = xmldoc_owned(ctx, read);
  xmldoc* doc = nullptr;
  const int32_t built = locale_settings_build(ctx, rec, held.get(), &doc);
  if (built < 0) return built;
  const xmldoc_ptr owned = xmldoc_owned(ctx, doc);
  // The locked file itself: a locale file found as "krd" stays one.
  const int32_t rc = xml_write_place(ctx, place, kXmlFlagVault, doc);
  return rc_combine(rc, built);
}

// ---- Export implementations --------------------------------------------------

int32_t locale_file_xml_create(context* ctx, tq_xmldoc** file) {
  *file = nullptr;
  // The export takes no hold; the current locale is looked at under one.
  read_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  loaded_locale_rec* current = nullptr;
  int32_t rc = locale_current_rec_get(ctx, &current);
  const int32_t code = current != nullptr ? current->code : -1;
  int32_t released = hold.release();
  if (rc != 0) return rc;
  if (released != 0) return released;

  const locale_row* row = locale_table_row_get(code);
  if (row == nullptr) return TQ_ERR_NO_LOCALE;
  char parent_file[kFileNameSize] = "";
  if (row->ancestors[0] >= 0) {
    char parent_iso[kLocaleIsoMax + 1];
    if (locale_table_iso_get(ctx, row->ancestors[0], parent_iso, sizeof parent_iso) != 0 ||
        locale_file_name_get(ctx, parent_iso, parent_file, sizeof parent_file) != 0) {
      return TQ_ERR_ARGUMENT;
    }
  }
  const settings_head head{row->iso, row->description, row->code, parent_file, row->encoding};
  xmldoc* doc = nullptr;
  rc = head_create(ctx, head, &doc);
  if (rc == 0) *file = static_cast<tq_xmldoc*>(doc);
  return rc;
}

namespace {

constexpr const char* kLocaleFileExtensions[] = {"zel", "krd", nullptr};

int32_t locale_write_held(context* ctx, int32_t locale, lock_handle* lock) {
  char iso[kLocaleIsoMax + 1];
  int32_t rc = locale_table_iso_get(ctx, locale, iso, sizeof iso);
  if (rc != 0) return rc;
  char file[kFileNameSize];
  if (locale_file_name_get(ctx, iso, file, sizeof file) != 0) return TQ_ERR_ARGUMENT;
  if (lock->owner != ctx) return lock_owner_check(ctx, lock);
  loaded_locale_rec* rec = nullptr;
  const int32_t loaded = locale_rec_get(ctx, locale, &rec);
  // The file the locale was read from, as its record says: the one its
  // edit load read, or the one the handle took since that is still the
  // version read; never another version (file_read_save_place). One not
  // loaded is told as not held when the handle holds no file of its
  // name, before it is told as not loaded.
  std::string stem(kFileNameSize, '\0');  // on the heap: calls run on small stacks
  if (fio_name_extension_strip(file, stem.data(), kFileNameSize) != 0) return TQ_ERR_ARGUMENT;
  stem.resize(std::strlen(stem.c_str()));
  const lock_name_rule rule{stem.c_str(), kLocaleFileExtensions};
  file_read none;
  fio_place place;
  rc = file_read_save_place(ctx, loaded == 0 ? &rec->read : &none, lock, rule, "Locale settings", iso, &place);
  if (rc != 0) return rc;
  if (loaded != 0) return loaded;
  return locale_settings_write(ctx, rec, place);
}

}  // namespace

int32_t locale_write(context* ctx, int32_t locale, lock_handle* lock) {
  // Reading each definition back takes references on what it names, as a
  // load does: the whole write runs under the write hold, asked for before
  // anything else.
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  const int32_t rc = locale_write_held(ctx, locale, lock);
  return rc_combine(rc, hold.release());
}

int32_t locale_import(context* ctx, tq_xmldoc* settings) {
  if (settings->marker != kXmlDocMarker) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'settings' is not an XML document.");
    return TQ_ERR_ARGUMENT;
  }
  // Reading datatypes takes their comments out of the document read: the
  // caller's document is read through a copy.
  xmldoc* made = nullptr;
  int32_t rc = xmldoc_copy(ctx, &made, settings);
  const xmldoc_ptr copy = xmldoc_owned(ctx, made);
  if (rc != 0) return rc;
  // As a load: a failure met on the way that the import went on past (a
  // definition that reads what it names on first use) is a problem met.
  const uint32_t failures = err_failures_mark(ctx);
  loaded_locale_rec* rec = nullptr;
  write_hold hold;
  rc = locale_current_rec_get_locked(ctx, &rec, &hold);
  if (rc == 0) {
    // What the locale's definitions hold names the same records after the
    // read, which may move the inherited ones (defn_held_remember).
    std::vector<defn_held_record> held;
    rc = defn_held_remember(ctx, rec, &held);
    if (rc == 0) {
      // The parts read stay those its load read from its file: what the
      // file holds of the others is still the file's, which the locale's
      // write keeps beside what the import brought.
      const uint32_t parts = rec->parts;
      rc = locale_parts_read(ctx, rec, copy.get(), kLoadAllParts, 0);
      rec->parts = parts;
      defn_held_restore(ctx, rec, held);
    }
    // Definitions already loaded that name what the document brought bind
    // it, as the locale written and read again does.
    defn_all_rebind(ctx);
    rc = rc_combine(err_went_on(ctx, failures, rc, TQ_WARN_READ_PROBLEMS), hold.release());
  }
  return rc;
}

}  // namespace tq

// Locale settings files: the "Locale Settings" document of a locale (its
// ISO code, description, code, parent's file and encoding, then its
// datatypes and its own definitions as inline includes), written to the
// locale's locked vault file, created new for the current locale, and
// imported into the current locale.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krxml.h"

namespace tq {

struct loaded_locale_rec;
struct lock_handle;

inline constexpr const char* kLocaleSettingsType = "Locale Settings";
inline constexpr const char* kLocaleSettingsVersion = "7.0";

// The whole settings document of a loaded locale: the properties, one
// "Datatype" include per datatype, then the locale's own definitions kind by
// kind (cleared slots skipped). The head's properties the writer does not
// make follow the writer's, as the file the locale was read from had them
// (loaded_locale_rec::head_kept). With `held`, the file the document is to
// replace as it stands: the elements of every part the locale was loaded
// without are moved from it, as the file has them, to where that part
// goes, before what the locale holds of that part.
// *out NULL on failure. 104 (message 1960
// for each, with the reader's reason) when a definition written will not be
// valid when read again: each is read back through the loader's reader
// (defn_element_read_back). Under the write hold.
int32_t locale_settings_build(context* ctx, const loaded_locale_rec* rec, xmldoc* held, xmldoc** out);
// Builds the document and writes it as a vault file to the file a lock
// holds (xml_write_place), keeping what that file holds and the locale
// cannot write: for a locale loaded in part, the file is read first
// (xmldoc_read_held), and one that cannot be read is not written (its
// read's failure, message 2490 saying what was to be kept). The place is
// the version the locale was read from (file_read_save_place), whose head
// the record keeps. The first failure, else the build's warning.
int32_t locale_settings_write(context* ctx, const loaded_locale_rec* rec, const fio_place& place);
// The head's properties of a settings document that the writer does not
// make ("Vault Object Name", "Description"): a document of them alone in
// *out, NULL when there is none. -600.
int32_t locale_head_kept(context* ctx, const xmldoc* doc, xmldoc** out);

// ---- Export implementations --------------------------------------------------

// A new settings document (no includes) for the current locale from the
// locale table; *file NULL and -707 when there is no current locale.
int32_t locale_file_xml_create(context* ctx, tq_xmldoc** file);
// Writes a loaded locale's settings to its file, which the handle must lock
// (kind "zel", else "krd"): -405 when it does not; 104 as the build. Takes
// the write hold first (under a read hold alone: kRcNeedsWriteHold, before
// anything is done, for the frame to run it again).
int32_t locale_write(context* ctx, int32_t locale, lock_handle* lock);
// Reads the datatypes and the definitions of every kind this engine reads
// from a settings document into the current locale. The caller's document
// is left as it was.
int32_t locale_import(context* ctx, tq_xmldoc* settings);

}  // namespace tq

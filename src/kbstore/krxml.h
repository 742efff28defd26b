// krxml documents: the one container format of every knowledge-base file.
// A document has a type and version, named properties (some grouped in
// "Properties" sub-documents), includes (inline documents or references to
// other files) and one table of keyed records with typed columns. This
// header gives the in-memory model, its building operations, the reader
// and writer of krxml files (plain or enciphered vault files), and the
// implementations of the exported XML family.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "tq.h"
#include "core/krcorvel.h"
#include "core/krfio.h"

namespace tq {

struct lock_handle;
struct lock_ref;

// Sizes of the fixed texts, terminator included.
inline constexpr uint32_t kXmlTypeSize = 32;     // document type, at most 31 bytes
inline constexpr uint32_t kXmlVersionSize = 16;  // document version, at most 15 bytes
inline constexpr uint32_t kXmlNameSize = 32;     // property, include and column names

// Column and field types; the names are "NULL", "string" and "int".
inline constexpr uint32_t kXmlColNull = 0;
inline constexpr uint32_t kXmlColString = 1;
inline constexpr uint32_t kXmlColInt = 2;
// A field type only, never a column's: an "int" field whose file writes a
// number past the int32 range (see xmldoc_field).
inline constexpr uint32_t kXmlColPast = 3;

// Include kinds.
inline constexpr uint32_t kXmlIncludeInline = 1;
inline constexpr uint32_t kXmlIncludeRef = 2;

// Read and write flags.
inline constexpr uint32_t kXmlFlagVault = 0x1;        // enciphered vault file (kind "zel", else "krd")
inline constexpr uint32_t kXmlFlagSort = 0x2;         // sort the records by key
inline constexpr uint32_t kXmlFlagNameAsGiven = 0x8;  // use the name as given, no extension added

// Document flag bits: the records are sorted by the last comparator; a
// field of the records may be of type kXmlColPast.
inline constexpr uint32_t kXmlDocSorted = 0x1;
inline constexpr uint32_t kXmlDocPast = 0x2;

// The engine's own version: documents newer than this are kept aside when
// edited and refused when read for edit at the top.
inline constexpr const char* kEngineVersion = "9.0";

// Result codes of the reader and of de-duplication (declared in tq.h).
inline constexpr int32_t kXmlErrSyntax = TQ_ERR_XML_SYNTAX;
inline constexpr int32_t kXmlErrPlacement = TQ_ERR_XML_PLACEMENT;
inline constexpr int32_t kXmlErrNoFile = TQ_ERR_XML_NO_FILE;
inline constexpr int32_t kXmlErrNoType = TQ_ERR_XML_NO_TYPE;
inline constexpr int32_t kXmlErrNoVersion = TQ_ERR_XML_NO_VERSION;
inline constexpr int32_t kXmlErrPropertyName = TQ_ERR_XML_PROPERTY_NAME;
inline constexpr int32_t kXmlErrIncludeName = TQ_ERR_XML_INCLUDE_NAME;
inline constexpr int32_t kXmlErrColumnType = TQ_ERR_XML_COLUMN_TYPE;
inline constexpr int32_t kXmlErrRecordCount = TQ_ERR_XML_RECORD_COUNT;
inline constexpr int32_t kXmlErrColumnCount = TQ_ERR_XML_COLUMN_COUNT;
inline constexpr int32_t kXmlErrFieldColumn = TQ_ERR_XML_FIELD_COLUMN;
inline constexpr int32_t kXmlErrUnsorted = TQ_ERR_XML_UNSORTED;

struct xmldoc_prop {
  char name[kXmlNameSize];
  char* value;  // heap text, never NULL
};

using xmldoc = ::tq_xmldoc;

struct xmldoc_include {
  uint32_t kind;  // 1 inline, 2 reference
  char name[kXmlNameSize];
  char* file_name;  // heap text, kind 2 only
  xmldoc* doc;  // owned; for kind 2 the referenced file as read (NULL until read)
};

struct xmldoc_column {
  uint32_t type;
  char name[kXmlNameSize];
};

// One field of a record: a text for a "string" column (never NULL in a
// stored record), a number for an "int" column. An "int" field whose file
// writes a number past the int32 range holds no number: its type is
// kXmlColPast and its text the number as the file writes it, which a write
// puts back as it was. Only the reader and a copy make such a field; to a
// reader of numbers it is a field without one (xmldoc_field_number gives
// the default), and the reader of a definition or resource refuses what
// holds it (xmldoc_past_find, number_field_read).
struct xmldoc_field {
  uint32_t type;
  union {
    char* text;
    int32_t number;
  };
};

// key NULL marks an empty record (never written); value may be NULL;
// fields: one per column, or NULL when the document has no columns.
struct xmldoc_record {
  char* key;
  char* value;
  xmldoc_field* fields;
};

// The document's text pool: allocation only, freed with the document.
struct xml_pool_block;
struct xml_pool {
  xml_pool_block* blocks;  // newest first
  xml_pool_block* large;   // requests too big for a block, one each
};

}  // namespace tq

// The document itself is the public handle's structure, so that any
// document (an include too) may be handed out as it is.
struct tq_xmldoc {
  uint32_t marker;
  // Owners beyond the first: a file referenced by several includes of one
  // read is one document that each of those includes holds. xml_free gives
  // one back; the last frees the document.
  uint32_t shares;
  char type[tq::kXmlTypeSize];
  char version[tq::kXmlVersionSize];
  int32_t prop_count;
  int32_t prop_capacity;
  tq::xmldoc_prop* props;
  int32_t include_count;
  int32_t include_capacity;
  tq::xmldoc_include* includes;
  int32_t record_count;
  int32_t record_capacity;
  int32_t column_count;
  int32_t column_capacity;
  tq::xmldoc_column* columns;
  tq::xmldoc_record* records;
  int32_t trailing_empty;  // empty records at the end of the table
  tq::xml_pool pool;
  uint32_t flags;
  // The version of the file the document was read from; unknown for one
  // made in memory (or copied).
  tq::fio_version read_from;
};

namespace tq {

inline constexpr uint32_t kXmlDocMarker = 0x584D4C44u;  // "XMLD"

// Record order: negative, zero or positive like strcmp.
using xmldoc_record_compare_fn = int32_t (*)(const xmldoc_record* a, const xmldoc_record* b);
// Nonzero when `later` repeats `earlier` and is to be emptied.
using xmldoc_record_same_fn = int32_t (*)(context* ctx, const xmldoc_record* later,
                                          const xmldoc_record* earlier);

// ---- Building ------------------------------------------------------------------

// A new empty document; type cut to 31 bytes, version to 15. -600.
int32_t xmldoc_create(context* ctx, const char* type, const char* version, xmldoc** out);
// Frees the document with everything it owns, or, when it is shared, gives
// back one share; NULL is accepted. 0.
int32_t xml_free(context* ctx, xmldoc* doc);

// Owns a document until it is handed on with release(), so that every way
// out of its builder (an exception included) frees it.
struct xmldoc_deleter {
  context* ctx = nullptr;
  void operator()(xmldoc* doc) const noexcept { (void)xml_free(ctx, doc); }
};
using xmldoc_ptr = std::unique_ptr<xmldoc, xmldoc_deleter>;
inline xmldoc_ptr xmldoc_owned(context* ctx, xmldoc* doc = nullptr) { return xmldoc_ptr(doc, xmldoc_deleter{ctx}); }

// Appends a property (name cut to 31 bytes). With a non-empty group it goes
// into the first included "Properties" document of that version, made and
// included as "Properties" when there is none. -600.
int32_t xmldoc_prop_add(context* ctx, xmldoc* doc, const char* name, const char* value);
int32_t xmldoc_prop_add_grouped(context* ctx, xmldoc* doc, const char* group, const char* name,
                                const char* value);
// "Yes"/"No" (short_form 0) or "Y"/"N" (short_form 1).
int32_t xmldoc_prop_add_yes_no(context* ctx, xmldoc* doc, const char* name, int32_t flag, int32_t short_form);
int32_t xmldoc_prop_add_yes_no_grouped(context* ctx, xmldoc* doc, const char* group, const char* name,
                                       int32_t flag, int32_t short_form);
// The first property of that exact name among the document's own, then
// among its "Properties" groups in include order; "" when none (never NULL).
const char* xmldoc_prop_get(context* ctx, const xmldoc* doc, const char* name);
// 1 when xmldoc_prop_get would find one, else 0.
int32_t xmldoc_prop_exists(context* ctx, const xmldoc* doc, const char* name);
// Absent or empty: *flag = dflt; "Yes"/"Y": 1; "No"/"N": 0; anything else
// -1 with *flag unchanged. *text (when not NULL) receives the value.
int32_t xmldoc_prop_get_yes_no(context* ctx, const xmldoc* doc, const char* name, int32_t dflt,
                               int32_t* flag, const char** text);
// Replaces the value of the property xmldoc_prop_get would find; 0 and no
// change when there is none. -600.
int32_t xmldoc_prop_set(context* ctx, xmldoc* doc, const char* name, const char* value);

// Appends an include (name cut to 31 bytes). Kind 2: `what` is a file name,
// copied. Any other kind: `what` is a document the include takes over (on
// failure the caller keeps it); -802 for NULL, for something that is not a
// document, or for a document that holds `doc` (a cycle). -600.
int32_t xmldoc_include_add(context* ctx, xmldoc* doc, const char* name, uint32_t kind, void* what);

// Appends a column (name cut to 31 bytes). -1 once the document holds any
// record, empty ones included, or for a type other than string and int. -600.
int32_t xmldoc_column_add(context* ctx, xmldoc* doc, const char* name, uint32_t type);
// The last column of that exact name: 0 with its index, or -1 with *index -1.
int32_t xmldoc_column_find(context* ctx, const xmldoc* doc, const char* name, int32_t* index);

// Appends n empty records (n below 1 does nothing). -600.
int32_t xmldoc_records_append_empty(context* ctx, xmldoc* doc, int32_t n);
// Adds a record into the first of the trailing empty records, else at the
// end. key NULL counts as "". fields NULL gives every field its column's
// zero value ("" or 0); given fields must match the column types (-1).
// Texts are copied. -600.
int32_t xmldoc_record_add(context* ctx, xmldoc* doc, const char* key, const char* value,
                          const xmldoc_field* fields);
// Replaces key, value and fields of a record (-1 for an index out of range
// or a field type that differs from its column's). key NULL empties the
// record. fields NULL keeps the record's fields (zero values when it had
// none). Texts are copied unless they are the record's own.
int32_t xmldoc_record_set(context* ctx, xmldoc* doc, int32_t index, const char* key, const char* value,
                          const xmldoc_field* fields);
// Sets a string field (-1 when the record or column does not exist, the
// record is empty or the column is not a string column).
// Reading records: the field of a record's column (NULL when the record or
// column is out of range or the record has no fields); its text ("" when
// absent or not a string) and number (dflt when absent or not an int).
const xmldoc_field* xmldoc_field_get(const xmldoc* doc, int32_t record, int32_t column);
const char* xmldoc_field_text(const xmldoc_field* f);
int32_t xmldoc_field_number(const xmldoc_field* f, int32_t dflt);
// The same for a record whose column the caller found (column < 0: absent).
const char* xmldoc_record_text(const xmldoc_record& rec, int32_t column);
int32_t xmldoc_record_number(const xmldoc_record& rec, int32_t column, int32_t dflt);
// The document of the inline include of that name, or NULL.
const xmldoc* xmldoc_include_doc_find(const xmldoc* doc, const char* name);
// The first field of type kXmlColPast in the document or in a document it
// includes (inline or by reference), in the order a write puts them: 1
// with its table (the document holding it), record and column; 0 when it
// holds none; -600.
struct xmldoc_past_at {
  const xmldoc* table;
  int32_t record;
  int32_t column;
};
int32_t xmldoc_past_find(const xmldoc* doc, xmldoc_past_at* at);
int32_t xmldoc_field_string_set(context* ctx, xmldoc* doc, int32_t record, int32_t column, const char* text);

// Keys in unsigned byte order; empty records after every other, equal
// among themselves.
int32_t xmldoc_record_key_compare(const xmldoc_record* a, const xmldoc_record* b);
// Sorts the records (default comparator: by key) unless already sorted.
int32_t xmldoc_records_sort(context* ctx, xmldoc* doc, xmldoc_record_compare_fn compare);
// Empties every record that `same` finds equal to the nearest earlier
// non-empty record. Needs sorted records (-5012). 111 when any record was
// emptied, else 0.
int32_t xmldoc_records_dedupe(context* ctx, xmldoc* doc, xmldoc_record_same_fn same);

// Deep copy. -802 when out is NULL; source NULL: 0, *out NULL. -600. A
// document the source holds in several includes is copied once and held
// by the same includes of the copy.
int32_t xmldoc_copy(context* ctx, xmldoc** out, const xmldoc* source);
// A new document of the source's type and version that takes over every
// include of the source, in order. -600 (the source then unchanged).
int32_t xmldoc_includes_move(context* ctx, xmldoc** out, xmldoc* source);
// Appends include `index` of `from` to `to` as it is (an inline document,
// or a reference with the document read for it), which takes it over:
// `from` keeps the entry, holding nothing. `to` must not be held by `from`.
// -802 for an index out of range; -600 (nothing moved).
int32_t xmldoc_include_move(context* ctx, xmldoc* to, xmldoc* from, int32_t index);

// 1 when a version text is newer than the engine's "9.0", else 0.
int32_t xmldoc_version_is_newer(const char* version);

// ---- Files ---------------------------------------------------------------------

// Reads a krxml file found along the search path (kind "zel", then "krd",
// with kXmlFlagVault; else "xml"). Referenced files are read with the same
// flags; a reference cycle is -300. On failure message 52 is recorded and
// *out is NULL.
int32_t xmldoc_read(context* ctx, const char* file, uint32_t flags, xmldoc** out);
// Reads the krxml file of a place a lock holds, as xmldoc_read reads a
// file: in the held folder under its name there, with no search and no
// link followed at that name (-400, recorded, for a link or a file that
// cannot be opened there).
int32_t xmldoc_read_place(context* ctx, const fio_place& place, uint32_t flags, xmldoc** out);
// Writes the document to a file (kind "zel" with kXmlFlagVault, else "xml";
// a plain name goes into the first search-path folder where it can be
// made). The file is written whole to a temporary file beside it and then
// renamed over it, so a failure leaves the previous file as it was. Kept
// newer sections of this file are written with it. -401 when the file is
// locked, -400 when it cannot be made, -402 when writing fails, -1 for an
// include or field of a kind the format lacks.
int32_t xmldoc_write(context* ctx, const char* path, uint32_t flags, xmldoc* doc);
// Writes a document, as xmldoc_write does, to the file a lock holds
// (rsrc_save_place, lock_place_get): in the folder held, under its name
// there, whatever the path it was found by leads to now; that path keeps
// its kept newer sections. No extension is added and nothing is searched.
int32_t xml_write_place(context* ctx, const fio_place& place, uint32_t flags, xmldoc* doc);

// Reads a file for editing: locks it through the lock handle, reads it,
// and keeps aside included sections newer than the engine so that writing
// the file back restores them. -705 (message 1536) when the document itself
// is newer. On failure the lock handle releases everything it holds.
// The file read is the one the lock holds, in its folder under its name
// there (xmldoc_read_place); taken (may be NULL) receives the ref of that
// file, which the document's save must write (file_read_save_place), and is left
// empty on failure; the handle marks that file as read for editing
// (lock_ref_edited).
int32_t xmldoc_read_for_edit(context* ctx, const char* file, uint32_t flags, lock_handle* lock, xmldoc** out,
                             lock_ref* taken = nullptr);
// Reads the file of a place a lock holds again (xmldoc_read_place), as an
// edit read of it gives it: without the sections newer than the engine that
// the context keeps aside for that file (kept by its edit read), which a
// write of the file puts back. For a writer that keeps what the document
// it writes does not hold of the file it replaces. On failure *out is NULL
// and the failure recorded, naming the file and the cause.
int32_t xmldoc_read_held(context* ctx, const fio_place& place, uint32_t flags, xmldoc** out);
// Writes to the handle's primary file where the lock holds it
// (xml_write_place); -603 when it holds none.
int32_t xmldoc_write_locked(context* ctx, uint32_t flags, lock_handle* lock, xmldoc* doc);
// The length check of the file a name names: name joined to folder (when
// not NULL) with its kind's extension ("zel" with kXmlFlagVault, else
// "xml"; none with kXmlFlagNameAsGiven), as the file layer builds it, must
// fit a path of kFioPathSize - 1 bytes. 0; -802 (message 1910, with the
// length and the limit) for a longer one, refused before anything is
// done, never cut: cut, it would name another file.
int32_t xmldoc_file_length_check(context* ctx, const char* folder, const char* name, uint32_t flags);
// The folder of the file xmldoc_file_create makes: folder, or when it is
// NULL the first search-path folder (NULL when the path is empty).
const char* xmldoc_file_folder(context* ctx, const char* folder);
// The folder an edit-mode call is given for the file it makes, converted
// whole into *folder: a folder of more than max bytes in UTF-8 is refused,
// -802 (message 1910, its length and max), *folder empty, never cut: cut,
// it would name another folder, where the file would be made. Otherwise
// strio_in's results.
int32_t xmldoc_file_folder_in(context* ctx, const char* path, uint32_t max, std::string* folder);
// Makes ready the knowledge-base file of a resource made in edit mode:
// folder (default the first search-path folder) joined with name, kind
// "zel" with flag bit 0 else "xml" (-802 from xmldoc_file_length_check for
// one too long; -400, fio_no_folder_report, when no folder is given and
// the search path is empty); see xml_edit_file_make.
int32_t xmldoc_file_create(context* ctx, const char* folder, const char* name, uint32_t flags, lock_handle* lock,
                           lock_ref* taken = nullptr);
// The file at `path` (of the file kind) for a resource made in edit mode,
// locked through the handle: a missing file is made empty, an existing one
// keeps its contents until the resource's save replaces it whole. -400
// (recorded) for a file the save would refuse (read-only) or that cannot
// be made; the lock's failure (the file made here then removed); 119
// (TQ_WARN_TEMPORARY_STAYS) when all is done but the temporary name the
// file was made under stays (fio_prepare_replace). taken (may be NULL)
// receives the ref of the file locked, which the resource's save writes;
// the handle marks it as made for editing (lock_ref_edited).
int32_t xml_edit_file_make(context* ctx, const char* path, uint32_t kind, lock_handle* lock,
                           lock_ref* taken = nullptr);

// The context's table of kept newer sections.
int32_t xmldoc_stash_create(context* ctx);
void xmldoc_stash_free(context* ctx);

// ---- Export implementations ------------------------------------------------------

int32_t xml_read(context* ctx, const char* file, uint32_t flags, tq_xmldoc** xml);
int32_t xml_write(context* ctx, int32_t unused, const char* fname, uint32_t flags, tq_xmldoc* xml);
int32_t xml_create(context* ctx, const char* type, const char* version, tq_xmldoc** xml);
int32_t xml_addprop(context* ctx, tq_xmldoc* xml, const char* name, const char* value);
int32_t xml_addref(context* ctx, tq_xmldoc* xml, const char* name, uint32_t kind, void* value);
int32_t xml_getprop(context* ctx, tq_xmldoc* xml, const char* name, char* value);
int32_t xml_setprop(context* ctx, tq_xmldoc* xml, const char* name, const char* value);
int32_t xml_addrec(context* ctx, tq_xmldoc* xml, const char* key, const char* value, const tq_xml_field* fields);
int32_t xml_setrec(context* ctx, tq_xmldoc* xml, int32_t index, const char* key, const char* value,
                   const tq_xml_field* fields);
int32_t xml_setrecstring(context* ctx, tq_xmldoc* xml, int32_t index, int32_t field, const char* value);
int32_t file_exists(context* ctx, const char* file_name, int32_t vocab, char* path);

}  // namespace tq

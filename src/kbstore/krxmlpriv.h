// Internals shared by the document, reader and writer sources of krxml.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/krfio.h"
#include "kbstore/krxml.h"

namespace tq {

// Text pool of a document: NULL when out of memory.
void* xml_pool_alloc(xmldoc* doc, size_t size);
char* xml_pool_strdup(xmldoc* doc, const char* text);  // NULL text gives ""
char* xml_pool_strndup(xmldoc* doc, const char* text, size_t length);
// The shared empty text that zero-valued string fields point at.
char* xml_empty_text();

// Raw appends without the building rules; 0 or -600.
int32_t xml_column_push(xmldoc* doc, const char* name, uint32_t type);
int32_t xml_record_reserve(xmldoc* doc, int32_t need);
int32_t xml_include_push(xmldoc* doc, const xmldoc_include& inc);
int32_t xml_prop_push(xmldoc* doc, const char* name, const char* value);
// A field array of zero values for the document's columns (NULL when it
// has none); -600.
int32_t xml_fields_default(xmldoc* doc, xmldoc_field** out);

// The referenced files one document read has read so far, each kept once
// and shared by every include that names it.
struct xml_read_cache;

// Referenced files being read, innermost first: the guard against a file
// that includes itself, directly or through others.
struct xml_read_chain {
  fio_file_id id;  // the file being read, however it was named
  const xml_read_chain* parent;
  int32_t depth;
  xml_read_cache* cache;  // of the whole read
};

// The reader without recording: on failure *text holds the message text.
// With `at`, the file read is the one of that place (file is not used).
// *reach (when not NULL) receives the deepest nesting the document reaches,
// counted as the reader's nesting limit counts it.
int32_t xml_read_file(context* ctx, const char* file, uint32_t flags, const xml_read_chain* chain, xmldoc** out,
                      std::string* text, std::string* opened_path, int32_t* reach = nullptr,
                      const fio_place* at = nullptr);

// Writes a document to exactly this path (no extension added, no search):
// temporary file beside it, renamed over it on success.
int32_t xml_write_path(context* ctx, const char* path, uint32_t flags, xmldoc* doc);

// Kept newer sections (the context's stash table). Keys: the file's base
// name, then per include on the way down 0x01 name 0x01 type 0x02 "Name".
std::string xml_stash_base_key(const char* path);
void xml_stash_drop_file(context* ctx, const char* path);
// Takes over doc on success.
int32_t xml_stash_keep(context* ctx, const std::string& key, xmldoc* doc);
// Detaches the inline sections newer than the engine below doc into the table.
int32_t xml_stash_walk(context* ctx, xmldoc* doc, const std::string& key);

// Whether the table keeps any section of the file of this path.
bool xml_stash_holds_file(context* ctx, const char* path);
// Takes out of a document read from a file the newer sections the table
// keeps of it (what xml_stash_walk would have detached and the table holds
// under the same key); walks into the others. The table must exist.
void xml_stash_kept_drop(context* ctx, xmldoc* doc, const std::string& key);

// An interface text converted from the session encoding into UTF-8, never
// cut; NULL gives "". The conversion's result (a warning or a failure).
// `unkept` (kStrioUnkept) for a text only looked for (a name, a file).
int32_t text_in(context* ctx, const char* src, std::string* out, uint32_t unkept = 0);

// The text of a read that failed in the file at a position (line from 1,
// column from 0 as the parser counts), with the reason.
std::string xml_read_error_text(const char* file, uint32_t line, uint32_t column, const char* reason);

}  // namespace tq

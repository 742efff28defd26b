// The tables of resource names that definitions write into their elements:
// known regex libraries with a likelihood, schemes with their options,
// vocabularies within a sensitivity range, and plain lists of names. Each
// kind's writer says only what a record holds besides the name.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "kbstore/krlib.h"
#include "kbstore/krxml.h"

namespace tq {

// A table made for an element (rc: how making it went) included inline
// under name, or freed when making or including it failed.
inline int32_t xmldoc_include_or_free(context* ctx, xmldoc* el, const char* name, xmldoc* doc, int32_t rc) {
  if (rc >= 0) rc = xmldoc_include_add(ctx, el, name, kXmlIncludeInline, doc);
  if (rc < 0) xml_free(ctx, doc);
  return rc < 0 ? rc : 0;
}

struct xmldoc_column_spec {
  const char* name;
  uint32_t type;  // kXmlColString, kXmlColInt
};

// The table `type` (of that version) with the columns, included as
// `include`: one record per entry of list whose reference ref(entry) holds
// a resource of the kind, added by record(doc, entry, name) with the
// resource's UTF-8 name. An entry whose resource could not be opened has no
// name left to write and is left out. The first failure stops the table,
// which is then freed.
template <typename List, typename Ref, typename Record>
int32_t rsrc_name_table_write(context* ctx, xmldoc* el, const char* type, const char* include, const char* version,
                              uint32_t kind, std::initializer_list<xmldoc_column_spec> columns, const List& list,
                              Ref ref, Record record) {
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, type, version, &doc);
  if (rc != 0) return rc;
  for (const xmldoc_column_spec& c : columns) {
    if (rc >= 0) rc = xmldoc_column_add(ctx, doc, c.name, c.type);
  }
  for (const auto& entry : list) {
    if (rc < 0) break;
    const rsrc_ref& r = ref(entry);
    if (!r.held()) continue;
    char name[kRsrcNameSize];
    rc = rsrc_name_get(ctx, kind, r.index(), name, sizeof name);
    if (rc >= 0) rc = record(doc, entry, name);
  }
  return xmldoc_include_or_free(ctx, el, include, doc, rc);
}

}  // namespace tq

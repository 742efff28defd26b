// The exported XML family: texts arrive in the session encoding and are
// converted to UTF-8 before they reach a document, so that every file
// written is readable UTF-8 whatever the caller's encoding.
#include <cstring>
#include <string>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krfio.h"
#include "kbstore/krxml.h"
#include "kbstore/krxmlpriv.h"

namespace tq {

int32_t text_in(context* ctx, const char* src, std::string* out, uint32_t unkept) {
  return strio_in_whole(ctx, src, out, kStrioConvert | unkept);
}

namespace {

// Keeps the first conversion warning; a failure ends the call.
struct warnings {
  int32_t first = 0;
  int32_t take(int32_t rc) {
    if (rc > 0 && first == 0) first = rc;
    return rc;
  }
  // The operation's result, or the warning when it gave 0.
  int32_t result(int32_t rc) const { return rc == 0 ? first : rc; }
};

int32_t doc_check(context* ctx, const xmldoc* doc) {
  if (doc != nullptr && doc->marker == kXmlDocMarker) return 0;
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'xml' is not a document.");
  return TQ_ERR_ARGUMENT;
}

// Converted copies of a caller's fields, with the storage of their texts.
struct fields_in {
  std::vector<std::string> texts;
  std::vector<xmldoc_field> fields;
};

int32_t convert_fields(context* ctx, const xmldoc* doc, const tq_xml_field* given, fields_in* out, warnings* w) {
  if (given == nullptr) return 0;
  auto n = static_cast<size_t>(doc->column_count);
  out->texts.resize(n);
  out->fields.resize(n);
  for (size_t c = 0; c < n; ++c) {
    xmldoc_field& f = out->fields[c];
    f.type = given[c].type;
    if (f.type == kXmlColString) {
      int32_t rc = w->take(text_in(ctx, given[c].text, &out->texts[c]));
      if (rc < 0) return rc;
      f.text = out->texts[c].data();
    } else {
      f.number = given[c].number;
    }
  }
  return 0;
}

}  // namespace

int32_t xml_read(context* ctx, const char* file, uint32_t flags, tq_xmldoc** xml) {
  *xml = nullptr;
  warnings w;
  std::string name;
  if (int32_t rc = w.take(text_in(ctx, file, &name, kStrioUnkept)); rc < 0) return rc;
  if (int32_t rc = xmldoc_file_length_check(ctx, nullptr, name.c_str(), flags); rc != 0) return rc;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_read(ctx, name.c_str(), flags, &doc);
  *xml = static_cast<tq_xmldoc*>(doc);
  return w.result(rc);
}

int32_t xml_write(context* ctx, int32_t unused, const char* fname, uint32_t flags, tq_xmldoc* xml) {
  (void)unused;
  if (int32_t rc = doc_check(ctx, xml); rc != 0) return rc;
  warnings w;
  std::string name;
  if (int32_t rc = w.take(text_in(ctx, fname, &name, kStrioUnkept)); rc < 0) return rc;
  return w.result(xmldoc_write(ctx, name.c_str(), flags, xml));
}

int32_t xml_create(context* ctx, const char* type, const char* version, tq_xmldoc** xml) {
  *xml = nullptr;
  warnings w;
  std::string t;
  std::string v;
  if (int32_t rc = w.take(text_in(ctx, type, &t)); rc < 0) return rc;
  if (int32_t rc = w.take(text_in(ctx, version, &v)); rc < 0) return rc;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, t.c_str(), v.c_str(), &doc);
  *xml = static_cast<tq_xmldoc*>(doc);
  return w.result(rc);
}

int32_t xml_addprop(context* ctx, tq_xmldoc* xml, const char* name, const char* value) {
  if (int32_t rc = doc_check(ctx, xml); rc != 0) return rc;
  warnings w;
  std::string n;
  std::string v;
  if (int32_t rc = w.take(text_in(ctx, name, &n)); rc < 0) return rc;
  if (int32_t rc = w.take(text_in(ctx, value, &v)); rc < 0) return rc;
  return w.result(xmldoc_prop_add(ctx, xml, n.c_str(), v.c_str()));
}

int32_t xml_addref(context* ctx, tq_xmldoc* xml, const char* name, uint32_t kind, void* value) {
  if (int32_t rc = doc_check(ctx, xml); rc != 0) return rc;
  warnings w;
  std::string n;
  if (int32_t rc = w.take(text_in(ctx, name, &n)); rc < 0) return rc;
  if (kind == kXmlIncludeRef) {
    std::string file;
    if (int32_t rc = w.take(text_in(ctx, static_cast<const char*>(value), &file)); rc < 0) return rc;
    return w.result(xmldoc_include_add(ctx, xml, n.c_str(), kind, file.data()));
  }
  int32_t rc = xmldoc_include_add(ctx, xml, n.c_str(), kind, value);
  if (rc == TQ_ERR_ARGUMENT)
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'value' is not a document that can be included here.");
  return w.result(rc);
}

int32_t xml_getprop(context* ctx, tq_xmldoc* xml, const char* name, char* value) {
  strio_out_clear(ctx, value);
  if (int32_t rc = doc_check(ctx, xml); rc != 0) return rc;
  warnings w;
  std::string n;
  if (int32_t rc = w.take(text_in(ctx, name, &n, kStrioUnkept)); rc < 0) return rc;
  return w.result(strio_out_1028(ctx, xmldoc_prop_get(ctx, xml, n.c_str()), value, kStrioConvert));
}

int32_t xml_setprop(context* ctx, tq_xmldoc* xml, const char* name, const char* value) {
  if (int32_t rc = doc_check(ctx, xml); rc != 0) return rc;
  warnings w;
  std::string n;
  std::string v;
  // Only an existing property is set: its name is looked up.
  if (int32_t rc = w.take(text_in(ctx, name, &n, kStrioUnkept)); rc < 0) return rc;
  if (int32_t rc = w.take(text_in(ctx, value, &v)); rc < 0) return rc;
  return w.result(xmldoc_prop_set(ctx, xml, n.c_str(), v.c_str()));
}

int32_t xml_addrec(context* ctx, tq_xmldoc* xml, const char* key, const char* value, const tq_xml_field* fields) {
  if (int32_t rc = doc_check(ctx, xml); rc != 0) return rc;
  warnings w;
  std::string k;
  std::string v;
  fields_in f;
  if (int32_t rc = w.take(text_in(ctx, key, &k)); rc < 0) return rc;
  if (int32_t rc = w.take(text_in(ctx, value, &v)); rc < 0) return rc;
  if (int32_t rc = convert_fields(ctx, xml, fields, &f, &w); rc < 0) return rc;
  int32_t rc = xmldoc_record_add(ctx, xml, k.c_str(), value != nullptr ? v.c_str() : nullptr,
                                 fields != nullptr ? f.fields.data() : nullptr);
  return rc < 0 ? rc : 0;
}

int32_t xml_setrec(context* ctx, tq_xmldoc* xml, int32_t index, const char* key, const char* value,
                   const tq_xml_field* fields) {
  if (int32_t rc = doc_check(ctx, xml); rc != 0) return rc;
  warnings w;
  std::string k;
  std::string v;
  fields_in f;
  if (int32_t rc = w.take(text_in(ctx, key, &k)); rc < 0) return rc;
  if (int32_t rc = w.take(text_in(ctx, value, &v)); rc < 0) return rc;
  if (int32_t rc = convert_fields(ctx, xml, fields, &f, &w); rc < 0) return rc;
  return w.result(xmldoc_record_set(ctx, xml, index, k.c_str(), v.c_str(), fields != nullptr ? f.fields.data() : nullptr));
}

int32_t xml_setrecstring(context* ctx, tq_xmldoc* xml, int32_t index, int32_t field, const char* value) {
  if (int32_t rc = doc_check(ctx, xml); rc != 0) return rc;
  warnings w;
  std::string v;
  if (int32_t rc = w.take(text_in(ctx, value, &v)); rc < 0) return rc;
  return w.result(xmldoc_field_string_set(ctx, xml, index, field, v.c_str()));
}

int32_t file_exists(context* ctx, const char* file_name, int32_t vocab, char* path) {
  if (path != nullptr) strio_out_clear(ctx, path);
  warnings w;
  std::string name;
  if (int32_t rc = w.take(text_in(ctx, file_name, &name, kStrioUnkept)); rc < 0) return rc;
  const uint32_t kinds[2] = {vocab ? kFioKindZev : kFioKindZel, vocab ? kFioKindKrv : kFioKindKrd};
  fio_path_buffer found;
  if (!found.ok()) return TQ_ERR_NO_MEMORY;
  int32_t rc = -1;
  for (uint32_t kind : kinds) {
    if (fio_path_resolve(ctx, name.c_str(), kind, found.get(), found.size()) == 0) {
      rc = 0;
      break;
    }
  }
  if (rc != 0) return -1;
  if (path == nullptr) return w.result(0);
  return w.result(strio_out(ctx, found.get(), path, kFioPathSize, kStrioConvert));
}

}  // namespace tq

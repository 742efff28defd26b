// The in-memory krxml document: building, lookups, record order, copies.
#include "kbstore/krxml.h"
#include "kbstore/krlib.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "core/krstr.h"
#include "kbstore/krxmlpriv.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr uint32_t kPoolBlockData = 32768;
constexpr int32_t kInitialProps = 4;
constexpr const char* kGroupType = "Properties";

// An empty text that stored fields may point at; never written through
// (field_string_set replaces an empty text instead of copying over it).
char g_empty_text[1] = {'\0'};

}  // namespace

struct xml_pool_block {
  xml_pool_block* next;
  uint32_t used;
  uint32_t size;
  alignas(std::max_align_t) char data[1];
};

namespace {

xml_pool_block* block_new(uint32_t size) {
  size_t bytes = offsetof(xml_pool_block, data) + size;
  auto* b = static_cast<xml_pool_block*>(np_malloc(bytes));
  if (b == nullptr) return nullptr;
  b->next = nullptr;
  b->used = 0;
  b->size = size;
  return b;
}

void chain_free(xml_pool_block* b) {
  while (b != nullptr) {
    xml_pool_block* next = b->next;
    std::free(b);
    b = next;
  }
}

// Grows an array of T to hold at least `need` elements; false when out of memory.
template <typename T>
bool grow(T*& array, int32_t& capacity, int32_t need, int32_t first) {
  if (need <= capacity) return true;
  int64_t cap = capacity > 0 ? capacity : first;
  while (cap < need) cap *= 2;
  if (cap > INT32_MAX / 2) cap = need;
  void* p = np_realloc(array, static_cast<size_t>(cap) * sizeof(T));
  if (p == nullptr) return false;
  array = static_cast<T*>(p);
  capacity = static_cast<int32_t>(cap);
  return true;
}

bool is_group(const xmldoc_include& inc) {
  return inc.doc != nullptr && std::strcmp(inc.doc->type, kGroupType) == 0;
}

const xmldoc_prop* prop_find_own(const xmldoc* doc, const char* name) {
  for (int32_t i = 0; i < doc->prop_count; ++i) {
    if (std::strcmp(doc->props[i].name, name) == 0) return &doc->props[i];
  }
  return nullptr;
}

// The property xmldoc_prop_get reads: own properties first, then those of
// the "Properties" groups in include order.
xmldoc_prop* prop_find(const xmldoc* doc, const char* name) {
  if (doc == nullptr || name == nullptr) return nullptr;
  if (const xmldoc_prop* p = prop_find_own(doc, name)) return const_cast<xmldoc_prop*>(p);
  for (int32_t i = 0; i < doc->include_count; ++i) {
    const xmldoc_include& inc = doc->includes[i];
    if (!is_group(inc)) continue;
    if (const xmldoc_prop* p = prop_find_own(inc.doc, name)) return const_cast<xmldoc_prop*>(p);
  }
  return nullptr;
}

void includes_free(context* ctx, xmldoc* doc) {
  for (int32_t i = 0; i < doc->include_count; ++i) {
    xml_free(ctx, doc->includes[i].doc);
    std::free(doc->includes[i].file_name);
  }
  std::free(doc->includes);
  doc->includes = nullptr;
  doc->include_count = 0;
  doc->include_capacity = 0;
}

// Whether `inner` is `target` or holds it somewhere among its includes. A
// shared document is looked through once, however many includes hold it.
bool doc_contains(const xmldoc* inner, const xmldoc* target, std::unordered_set<const xmldoc*>& seen) {
  if (inner == target) return true;
  if (inner->shares > 0 && !seen.insert(inner).second) return false;
  for (int32_t i = 0; i < inner->include_count; ++i) {
    const xmldoc* d = inner->includes[i].doc;
    if (d != nullptr && doc_contains(d, target, seen)) return true;
  }
  return false;
}

bool fields_match_columns(const xmldoc* doc, const xmldoc_field* fields) {
  for (int32_t c = 0; c < doc->column_count; ++c) {
    if (fields[c].type != doc->columns[c].type) return false;
  }
  return true;
}

// A record's field array: copies of the given fields, or zero values.
int32_t fields_make(xmldoc* doc, const xmldoc_field* given, const xmldoc_field* own, xmldoc_field** out) {
  *out = nullptr;
  if (doc->column_count == 0) return 0;
  auto* f = static_cast<xmldoc_field*>(xml_pool_alloc(doc, sizeof(xmldoc_field) * doc->column_count));
  if (f == nullptr) return TQ_ERR_NO_MEMORY;
  for (int32_t c = 0; c < doc->column_count; ++c) {
    f[c].type = doc->columns[c].type;
    if (given != nullptr && given[c].type == kXmlColPast) {
      // A number past int32 is copied as its file writes it, never as a
      // number some reader would take.
      f[c].type = kXmlColPast;
      if ((f[c].text = xml_pool_strdup(doc, given[c].text)) == nullptr) return TQ_ERR_NO_MEMORY;
      doc->flags |= kXmlDocPast;
      continue;
    }
    if (f[c].type != kXmlColString) {
      f[c].number = given != nullptr ? given[c].number : 0;
      continue;
    }
    const char* text = given != nullptr ? given[c].text : nullptr;
    if (text == nullptr || *text == '\0') {
      f[c].text = g_empty_text;
    } else if (own != nullptr && own[c].type == kXmlColString && text == own[c].text) {
      f[c].text = own[c].text;
    } else {
      f[c].text = xml_pool_strdup(doc, text);
      if (f[c].text == nullptr) return TQ_ERR_NO_MEMORY;
    }
  }
  *out = f;
  return 0;
}

// Counts the empty records at the end of the table again.
void trailing_recount(xmldoc* doc) {
  int32_t n = 0;
  for (int32_t i = doc->record_count - 1; i >= 0 && doc->records[i].key == nullptr; --i) ++n;
  doc->trailing_empty = n;
}

int32_t prop_append(xmldoc* doc, const char* name, const char* value) {
  if (!grow(doc->props, doc->prop_capacity, doc->prop_count + 1, kInitialProps)) return TQ_ERR_NO_MEMORY;
  char* v = str_dup(value != nullptr ? value : "");
  if (v == nullptr) return TQ_ERR_NO_MEMORY;
  xmldoc_prop& p = doc->props[doc->prop_count];
  str_copy_bounded(p.name, name != nullptr ? name : "", kXmlNameSize);
  p.value = v;
  ++doc->prop_count;
  return 0;
}

}  // namespace

// ---- Text pool ---------------------------------------------------------------------

void* xml_pool_alloc(xmldoc* doc, size_t size) {
  // Rounded to the pointer size, so that field arrays stay aligned.
  size_t n = (std::max<size_t>(size, 1) + sizeof(void*) - 1) & ~(sizeof(void*) - 1);
  if (n > kPoolBlockData) {
    if (n > UINT32_MAX - 64) return nullptr;
    xml_pool_block* b = block_new(static_cast<uint32_t>(n));
    if (b == nullptr) return nullptr;
    b->used = static_cast<uint32_t>(n);
    b->next = doc->pool.large;
    doc->pool.large = b;
    return b->data;
  }
  xml_pool_block* b = doc->pool.blocks;
  if (b == nullptr || b->size - b->used < n) {
    b = block_new(kPoolBlockData);
    if (b == nullptr) return nullptr;
    b->next = doc->pool.blocks;
    doc->pool.blocks = b;
  }
  void* p = b->data + b->used;
  b->used += static_cast<uint32_t>(n);
  return p;
}

char* xml_pool_strdup(xmldoc* doc, const char* text) {
  return xml_pool_strndup(doc, text != nullptr ? text : "", text != nullptr ? std::strlen(text) : 0);
}

char* xml_pool_strndup(xmldoc* doc, const char* text, size_t length) {
  auto* p = static_cast<char*>(xml_pool_alloc(doc, length + 1));
  if (p == nullptr) return nullptr;
  std::memcpy(p, text, length);
  p[length] = '\0';
  return p;
}

char* xml_empty_text() { return g_empty_text; }

int32_t xml_column_push(xmldoc* doc, const char* name, uint32_t type) {
  if (!grow(doc->columns, doc->column_capacity, doc->column_count + 1, 8)) return TQ_ERR_NO_MEMORY;
  xmldoc_column& c = doc->columns[doc->column_count];
  c.type = type;
  str_copy_bounded(c.name, name != nullptr ? name : "", kXmlNameSize);
  ++doc->column_count;
  return 0;
}

int32_t xml_record_reserve(xmldoc* doc, int32_t need) {
  return grow(doc->records, doc->record_capacity, need, 16) ? 0 : TQ_ERR_NO_MEMORY;
}

int32_t xml_include_push(xmldoc* doc, const xmldoc_include& inc) {
  if (!grow(doc->includes, doc->include_capacity, doc->include_count + 1, 4)) return TQ_ERR_NO_MEMORY;
  doc->includes[doc->include_count++] = inc;
  return 0;
}

int32_t xml_prop_push(xmldoc* doc, const char* name, const char* value) { return prop_append(doc, name, value); }

int32_t xml_fields_default(xmldoc* doc, xmldoc_field** out) { return fields_make(doc, nullptr, nullptr, out); }

// ---- Building ----------------------------------------------------------------------

int32_t xmldoc_create(context* ctx, const char* type, const char* version, xmldoc** out) {
  (void)ctx;
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  // Allocated as the public handle, so that any document may be handed out.
  xmldoc* doc = static_cast<tq_xmldoc*>(np_calloc(1, sizeof(tq_xmldoc)));
  if (doc == nullptr) return TQ_ERR_NO_MEMORY;
  doc->marker = kXmlDocMarker;
  str_copy_bounded(doc->type, type != nullptr ? type : "", kXmlTypeSize);
  str_copy_bounded(doc->version, version != nullptr ? version : "", kXmlVersionSize);
  *out = doc;
  return 0;
}

int32_t xml_free(context* ctx, xmldoc* doc) {
  if (doc == nullptr) return 0;
  if (doc->shares > 0) {
    doc->shares -= 1;
    return 0;
  }
  for (int32_t i = 0; i < doc->prop_count; ++i) std::free(doc->props[i].value);
  std::free(doc->props);
  includes_free(ctx, doc);
  std::free(doc->columns);
  std::free(doc->records);
  chain_free(doc->pool.blocks);
  chain_free(doc->pool.large);
  doc->marker = 0;
  std::free(doc);
  return 0;
}

int32_t xmldoc_prop_add(context* ctx, xmldoc* doc, const char* name, const char* value) {
  return xmldoc_prop_add_grouped(ctx, doc, nullptr, name, value);
}

int32_t xmldoc_prop_add_grouped(context* ctx, xmldoc* doc, const char* group, const char* name,
                                const char* value) {
  if (doc == nullptr) return TQ_ERR_ARGUMENT;
  if (group == nullptr || *group == '\0') return prop_append(doc, name, value);
  for (int32_t i = 0; i < doc->include_count; ++i) {
    const xmldoc_include& inc = doc->includes[i];
    if (is_group(inc) && std::strcmp(inc.doc->version, group) == 0) return prop_append(inc.doc, name, value);
  }
  xmldoc* g = nullptr;
  int32_t rc = xmldoc_create(ctx, kGroupType, group, &g);
  if (rc != 0) return rc;
  rc = prop_append(g, name, value);
  if (rc == 0) rc = xmldoc_include_add(ctx, doc, kGroupType, kXmlIncludeInline, g);
  if (rc != 0) xml_free(ctx, g);
  return rc;
}

int32_t xmldoc_prop_add_yes_no(context* ctx, xmldoc* doc, const char* name, int32_t flag, int32_t short_form) {
  return xmldoc_prop_add_yes_no_grouped(ctx, doc, nullptr, name, flag, short_form);
}

int32_t xmldoc_prop_add_yes_no_grouped(context* ctx, xmldoc* doc, const char* group, const char* name,
                                       int32_t flag, int32_t short_form) {
  const char* text = short_form ? (flag ? "Y" : "N") : (flag ? "Yes" : "No");
  int32_t rc = xmldoc_prop_add_grouped(ctx, doc, group, name, text);
  return rc < 0 ? rc : 0;
}

const char* xmldoc_prop_get(context* ctx, const xmldoc* doc, const char* name) {
  (void)ctx;
  const xmldoc_prop* p = prop_find(doc, name);
  return p != nullptr ? p->value : "";
}

int32_t xmldoc_prop_exists(context* ctx, const xmldoc* doc, const char* name) {
  (void)ctx;
  return prop_find(doc, name) != nullptr ? 1 : 0;
}

int32_t xmldoc_prop_get_yes_no(context* ctx, const xmldoc* doc, const char* name, int32_t dflt,
                               int32_t* flag, const char** text) {
  const char* v = xmldoc_prop_get(ctx, doc, name);
  if (text != nullptr) *text = v;
  if (flag == nullptr) return TQ_ERR_ARGUMENT;
  if (*v == '\0') {
    *flag = dflt;
  } else if (std::strcmp(v, "Yes") == 0 || std::strcmp(v, "Y") == 0) {
    *flag = 1;
  } else if (std::strcmp(v, "No") == 0 || std::strcmp(v, "N") == 0) {
    *flag = 0;
  } else {
    return -1;
  }
  return 0;
}

int32_t xmldoc_prop_set(context* ctx, xmldoc* doc, const char* name, const char* value) {
  (void)ctx;
  xmldoc_prop* p = prop_find(doc, name);
  if (p == nullptr) return 0;
  char* v = str_dup(value != nullptr ? value : "");
  if (v == nullptr) return TQ_ERR_NO_MEMORY;
  std::free(p->value);
  p->value = v;
  return 0;
}

int32_t xmldoc_include_add(context* ctx, xmldoc* doc, const char* name, uint32_t kind, void* what) {
  (void)ctx;
  if (doc == nullptr) return TQ_ERR_ARGUMENT;
  xmldoc_include inc{};
  inc.kind = kind;
  str_copy_bounded(inc.name, name != nullptr ? name : "", kXmlNameSize);
  if (kind == kXmlIncludeRef) {
    inc.file_name = str_dup(what != nullptr ? static_cast<const char*>(what) : "");
    if (inc.file_name == nullptr) return TQ_ERR_NO_MEMORY;
  } else {
    xmldoc* child = static_cast<tq_xmldoc*>(what);
    // A document that holds the parent would make the tree a loop that
    // freeing and writing never leave.
    if (child == nullptr || child->marker != kXmlDocMarker) return TQ_ERR_ARGUMENT;
    try {
      std::unordered_set<const xmldoc*> seen;
      if (doc_contains(child, doc, seen)) return TQ_ERR_ARGUMENT;
    } catch (const std::bad_alloc&) {
      return TQ_ERR_NO_MEMORY;
    }
    inc.doc = child;
  }
  int32_t rc = xml_include_push(doc, inc);
  if (rc != 0) std::free(inc.file_name);
  return rc;
}

int32_t xmldoc_column_add(context* ctx, xmldoc* doc, const char* name, uint32_t type) {
  (void)ctx;
  if (doc == nullptr) return TQ_ERR_ARGUMENT;
  if (doc->record_count > 0) return -1;
  // A NULL column could never be written or read back.
  if (type != kXmlColString && type != kXmlColInt) return -1;
  return xml_column_push(doc, name, type);
}

int32_t xmldoc_column_find(context* ctx, const xmldoc* doc, const char* name, int32_t* index) {
  (void)ctx;
  if (index != nullptr) *index = -1;
  if (doc == nullptr || name == nullptr) return -1;
  for (int32_t c = doc->column_count - 1; c >= 0; --c) {
    if (std::strcmp(doc->columns[c].name, name) == 0) {
      if (index != nullptr) *index = c;
      return 0;
    }
  }
  return -1;
}

int32_t xmldoc_records_append_empty(context* ctx, xmldoc* doc, int32_t n) {
  (void)ctx;
  if (doc == nullptr) return TQ_ERR_ARGUMENT;
  if (n < 1) return 0;
  if (n > INT32_MAX - doc->record_count) return TQ_ERR_NO_MEMORY;
  if (xml_record_reserve(doc, doc->record_count + n) != 0) return TQ_ERR_NO_MEMORY;
  for (int32_t i = 0; i < n; ++i) doc->records[doc->record_count + i] = xmldoc_record{};
  doc->record_count += n;
  doc->trailing_empty += n;
  doc->flags &= ~kXmlDocSorted;
  return 0;
}

int32_t xmldoc_record_add(context* ctx, xmldoc* doc, const char* key, const char* value,
                          const xmldoc_field* fields) {
  (void)ctx;
  if (doc == nullptr) return TQ_ERR_ARGUMENT;
  if (fields != nullptr && !fields_match_columns(doc, fields)) return -1;
  xmldoc_record rec{};
  rec.key = xml_pool_strdup(doc, key);
  if (rec.key == nullptr) return TQ_ERR_NO_MEMORY;
  if (value != nullptr && (rec.value = xml_pool_strdup(doc, value)) == nullptr) return TQ_ERR_NO_MEMORY;
  if (fields_make(doc, fields, nullptr, &rec.fields) != 0) return TQ_ERR_NO_MEMORY;

  if (doc->trailing_empty > 0) {
    doc->records[doc->record_count - doc->trailing_empty] = rec;
    --doc->trailing_empty;
  } else {
    if (doc->record_count == INT32_MAX || xml_record_reserve(doc, doc->record_count + 1) != 0) return TQ_ERR_NO_MEMORY;
    doc->records[doc->record_count++] = rec;
  }
  doc->flags &= ~kXmlDocSorted;
  return 0;
}

int32_t xmldoc_record_set(context* ctx, xmldoc* doc, int32_t index, const char* key, const char* value,
                          const xmldoc_field* fields) {
  (void)ctx;
  if (doc == nullptr) return TQ_ERR_ARGUMENT;
  if (index < 0 || index >= doc->record_count) return -1;
  if (fields != nullptr && !fields_match_columns(doc, fields)) return -1;
  xmldoc_record& old = doc->records[index];
  xmldoc_record rec{};
  if (key != nullptr) {
    rec.key = key == old.key ? old.key : xml_pool_strdup(doc, key);
    if (rec.key == nullptr) return TQ_ERR_NO_MEMORY;
    if (value != nullptr) {
      rec.value = value == old.value ? old.value : xml_pool_strdup(doc, value);
      if (rec.value == nullptr) return TQ_ERR_NO_MEMORY;
    }
    if (fields != nullptr || old.fields == nullptr) {
      if (fields_make(doc, fields, old.fields, &rec.fields) != 0) return TQ_ERR_NO_MEMORY;
    } else {
      rec.fields = old.fields;
    }
  }
  old = rec;
  doc->flags &= ~kXmlDocSorted;
  // Keep the count of trailing empty records without walking the table:
  // filling a slot of the trailing run cuts the run after it; emptying the
  // record just before the run lengthens it.
  int32_t run_start = doc->record_count - doc->trailing_empty;
  if (rec.key != nullptr) {
    if (index >= run_start) doc->trailing_empty = doc->record_count - 1 - index;
  } else if (index == run_start - 1) {
    int32_t i = index;
    while (i >= 0 && doc->records[i].key == nullptr) --i;
    doc->trailing_empty = doc->record_count - 1 - i;
  }
  return 0;
}

const xmldoc_field* xmldoc_field_get(const xmldoc* doc, int32_t record, int32_t column) {
  if (doc == nullptr || record < 0 || record >= doc->record_count) return nullptr;
  if (column < 0 || column >= doc->column_count) return nullptr;
  const xmldoc_record& rec = doc->records[record];
  return rec.fields == nullptr ? nullptr : &rec.fields[column];
}

const char* xmldoc_field_text(const xmldoc_field* f) {
  return f != nullptr && f->type == kXmlColString && f->text != nullptr ? f->text : "";
}

int32_t xmldoc_field_number(const xmldoc_field* f, int32_t dflt) {
  return f != nullptr && f->type == kXmlColInt ? f->number : dflt;
}

const char* xmldoc_record_text(const xmldoc_record& rec, int32_t column) {
  return column < 0 || rec.fields == nullptr ? "" : xmldoc_field_text(&rec.fields[column]);
}

int32_t xmldoc_record_number(const xmldoc_record& rec, int32_t column, int32_t dflt) {
  return column < 0 || rec.fields == nullptr ? dflt : xmldoc_field_number(&rec.fields[column], dflt);
}

namespace {

bool past_find(const xmldoc* doc, xmldoc_past_at* at, std::unordered_set<const xmldoc*>& seen) {
  if (doc->shares > 0 && !seen.insert(doc).second) return false;
  for (int32_t i = 0; i < doc->include_count; ++i) {
    const xmldoc* inner = doc->includes[i].doc;
    if (inner != nullptr && past_find(inner, at, seen)) return true;
  }
  // Only a document the reader or a copy marked can hold one.
  if ((doc->flags & kXmlDocPast) == 0) return false;
  for (int32_t r = 0; r < doc->record_count; ++r) {
    const xmldoc_record& rec = doc->records[r];
    if (rec.key == nullptr || rec.fields == nullptr) continue;
    for (int32_t c = 0; c < doc->column_count; ++c) {
      if (rec.fields[c].type != kXmlColPast) continue;
      *at = xmldoc_past_at{doc, r, c};
      return true;
    }
  }
  return false;
}

}  // namespace

int32_t xmldoc_past_find(const xmldoc* doc, xmldoc_past_at* at) {
  if (doc == nullptr) return 0;
  try {
    std::unordered_set<const xmldoc*> seen;
    return past_find(doc, at, seen) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
}

const xmldoc* xmldoc_include_doc_find(const xmldoc* doc, const char* name) {
  for (int32_t i = 0; i < doc->include_count; ++i) {
    const xmldoc_include& inc = doc->includes[i];
    if (inc.kind == kXmlIncludeInline && inc.doc != nullptr && std::strcmp(inc.name, name) == 0) return inc.doc;
  }
  return nullptr;
}

int32_t xmldoc_field_string_set(context* ctx, xmldoc* doc, int32_t record, int32_t column, const char* text) {
  (void)ctx;
  if (doc == nullptr) return TQ_ERR_ARGUMENT;
  if (record < 0 || record >= doc->record_count || column < 0 || column >= doc->column_count) return -1;
  xmldoc_record& rec = doc->records[record];
  if (rec.fields == nullptr || rec.fields[column].type != kXmlColString) return -1;
  char*& slot = rec.fields[column].text;
  size_t n = text != nullptr ? std::strlen(text) : 0;
  if (n == 0) {
    slot = g_empty_text;
  } else if (slot != nullptr && n <= std::strlen(slot)) {
    std::memmove(slot, text, n + 1);
  } else {
    char* copy = xml_pool_strndup(doc, text, n);
    if (copy == nullptr) return TQ_ERR_NO_MEMORY;
    slot = copy;
  }
  doc->flags &= ~kXmlDocSorted;
  return 0;
}

int32_t xmldoc_record_key_compare(const xmldoc_record* a, const xmldoc_record* b) {
  if (a->key == nullptr || b->key == nullptr) {
    if (a->key == b->key) return 0;
    return a->key == nullptr ? 1 : -1;
  }
  // strcmp compares as unsigned char.
  int r = std::strcmp(a->key, b->key);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int32_t xmldoc_records_sort(context* ctx, xmldoc* doc, xmldoc_record_compare_fn compare) {
  (void)ctx;
  if (doc == nullptr) return TQ_ERR_ARGUMENT;
  if (doc->flags & kXmlDocSorted) return 0;
  if (compare == nullptr) compare = xmldoc_record_key_compare;
  std::sort(doc->records, doc->records + doc->record_count,
            [compare](const xmldoc_record& a, const xmldoc_record& b) { return compare(&a, &b) < 0; });
  trailing_recount(doc);
  doc->flags |= kXmlDocSorted;
  return 0;
}

int32_t xmldoc_records_dedupe(context* ctx, xmldoc* doc, xmldoc_record_same_fn same) {
  if (doc == nullptr || same == nullptr) return TQ_ERR_ARGUMENT;
  if ((doc->flags & kXmlDocSorted) == 0) return kXmlErrUnsorted;
  bool emptied = false;
  for (int32_t i = doc->record_count - 1; i >= 1; --i) {
    xmldoc_record& rec = doc->records[i];
    if (rec.key == nullptr) continue;
    int32_t j = i - 1;
    while (j >= 0 && doc->records[j].key == nullptr) --j;
    if (j < 0) break;
    if (same(ctx, &rec, &doc->records[j]) != 0) {
      rec = xmldoc_record{};
      emptied = true;
    }
  }
  trailing_recount(doc);
  return emptied ? TQ_WARN_DUPLICATES_DROPPED : 0;
}

namespace {

// Copies of shared documents made so far in one copy, so that each is
// copied once however many includes hold it.
using copy_memo = std::unordered_map<const xmldoc*, xmldoc*>;

int32_t copy_doc(context* ctx, xmldoc** out, const xmldoc* source, copy_memo& memo);

}  // namespace

int32_t xmldoc_copy(context* ctx, xmldoc** out, const xmldoc* source) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  if (source == nullptr) return 0;
  try {
    copy_memo memo;
    return copy_doc(ctx, out, source, memo);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
}

namespace {

int32_t copy_doc(context* ctx, xmldoc** out, const xmldoc* source, copy_memo& memo) {
  *out = nullptr;
  if (source == nullptr) return 0;
  if (source->shares > 0) {
    auto it = memo.find(source);
    if (it != memo.end()) {
      it->second->shares += 1;
      *out = it->second;
      return 0;
    }
  }
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, source->type, source->version, &doc);
  if (rc != 0) return rc;
  // Freed on every way out, a throwing memo included, until handed out.
  xmldoc_ptr owned = xmldoc_owned(ctx, doc);
  for (int32_t i = 0; i < source->prop_count; ++i) {
    if (prop_append(doc, source->props[i].name, source->props[i].value) != 0) return TQ_ERR_NO_MEMORY;
  }
  for (int32_t c = 0; c < source->column_count; ++c) {
    if (xml_column_push(doc, source->columns[c].name, source->columns[c].type) != 0) return TQ_ERR_NO_MEMORY;
  }
  if (xml_record_reserve(doc, source->record_count) != 0) return TQ_ERR_NO_MEMORY;
  for (int32_t r = 0; r < source->record_count; ++r) {
    const xmldoc_record& s = source->records[r];
    xmldoc_record d{};
    if (s.key != nullptr) {
      if ((d.key = xml_pool_strdup(doc, s.key)) == nullptr) return TQ_ERR_NO_MEMORY;
      if (s.value != nullptr && (d.value = xml_pool_strdup(doc, s.value)) == nullptr) return TQ_ERR_NO_MEMORY;
      if (s.fields != nullptr && fields_make(doc, s.fields, nullptr, &d.fields) != 0) return TQ_ERR_NO_MEMORY;
    }
    doc->records[r] = d;
  }
  doc->record_count = source->record_count;
  doc->trailing_empty = source->trailing_empty;
  doc->flags = source->flags;
  for (int32_t i = 0; i < source->include_count; ++i) {
    const xmldoc_include& s = source->includes[i];
    xmldoc_include d{};
    d.kind = s.kind;
    std::memcpy(d.name, s.name, kXmlNameSize);
    owned_str file_name(s.file_name != nullptr ? str_dup(s.file_name) : nullptr);
    if (s.file_name != nullptr && file_name == nullptr) return TQ_ERR_NO_MEMORY;
    d.file_name = file_name.get();
    rc = copy_doc(ctx, &d.doc, s.doc, memo);
    if (rc == 0 && xml_include_push(doc, d) != 0) {
      xml_free(ctx, d.doc);
      rc = TQ_ERR_NO_MEMORY;
    }
    if (rc != 0) return rc;
    (void)file_name.release();  // the include holds it now
  }
  // Entered only once the copy is whole: a failed copy leaves no entry
  // pointing at what its failure freed.
  if (source->shares > 0) memo.emplace(source, doc);
  *out = owned.release();
  return 0;
}

}  // namespace

int32_t xmldoc_includes_move(context* ctx, xmldoc** out, xmldoc* source) {
  if (out == nullptr || source == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, source->type, source->version, &doc);
  if (rc != 0) return rc;
  doc->includes = source->includes;
  doc->include_count = source->include_count;
  doc->include_capacity = source->include_capacity;
  source->includes = nullptr;
  source->include_count = 0;
  source->include_capacity = 0;
  *out = doc;
  return 0;
}

int32_t xmldoc_include_move(context* ctx, xmldoc* to, xmldoc* from, int32_t index) {
  (void)ctx;
  if (to == nullptr || from == nullptr || to == from || index < 0 || index >= from->include_count) {
    return TQ_ERR_ARGUMENT;
  }
  xmldoc_include& inc = from->includes[index];
  const int32_t rc = xml_include_push(to, inc);
  if (rc != 0) return rc;
  // Its name stays; what it held is the other document's now.
  inc.doc = nullptr;
  inc.file_name = nullptr;
  return 0;
}

int32_t xmldoc_version_is_newer(const char* version) {
  if (version == nullptr) return 0;
  uint32_t not_newer = 1;
  kbstore_version_check_engine(nullptr, version, &not_newer);
  return not_newer ? 0 : 1;
}

}  // namespace tq

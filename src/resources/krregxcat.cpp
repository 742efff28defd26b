#include "resources/krregxcat.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/krenc.h"
#include "kbstore/krdefn.h"
#include "kbstore/krfield.h"
#include "kbstore/krlib.h"
#include "kbstore/krxml.h"
#include "resources/krgram.h"
#include "resources/krregx.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr const char* kColCategory = "Category";
constexpr const char* kColRegexlib = "Regexlib";
constexpr const char* kColLikelihood = "Likelihood";
constexpr const char* kColStop = "Stop";

char g_yes[] = "Yes";
char g_no[] = "No";
char g_empty[] = "";

// The category a grammar holds under that name: 1 with *out a copy of its
// record (name, description, registry id), 0 when the grammar has none, or
// the failure to take the grammar. The entry keeps the copy, never a pointer
// into the grammar, so an edit or unload of the grammar leaves it whole.
int32_t grammar_category_find(context* ctx, int32_t grammar, const char* name, category_rec* out) {
  return grammar_category_copy_by_name(ctx, grammar, name, out);
}

category_rec* record_new(const char* name, int32_t id) {
  auto* rec = static_cast<category_rec*>(np_calloc(1, sizeof(category_rec)));
  if (rec == nullptr) return nullptr;
  std::memcpy(rec->name, name, kCategoryNameSize);
  rec->name[kCategoryNameSize - 1] = '\0';
  rec->id = id;
  return rec;
}

const xmldoc* nested_stop_doc(const xmldoc* table) {
  for (int32_t i = 0; i < table->include_count; ++i) {
    if (std::strcmp(table->includes[i].name, kCatRegexlibStopDoc) == 0) return table->includes[i].doc;
  }
  return nullptr;
}



// The stop flag of a record: 0 when nothing says otherwise, -1 for a value
// other than "Yes" and "No".
int32_t stop_read(context* ctx, const xmldoc* table, int32_t record, int32_t* stop) {
  *stop = 0;
  const xmldoc* doc = nested_stop_doc(table);
  int32_t row = record;
  if (doc == nullptr) doc = table;  // the four-column form of the table
  int32_t col = -1;
  if (xmldoc_column_find(ctx, doc, kColStop, &col) != 0) return 0;
  // A nested document shorter than the table gives the missing rows 0.
  const xmldoc_field* f = xmldoc_field_get(doc, row, col);
  if (f == nullptr || doc->records[row].key == nullptr) return 0;
  const char* text = xmldoc_field_text(f);
  if (std::strcmp(text, "Yes") == 0) {
    *stop = 1;
  } else if (std::strcmp(text, "No") != 0) {
    return -1;
  }
  return 0;
}

}  // namespace

void cat_regexlib_entry_init(cat_regexlib_entry* entry) {
  if (entry == nullptr) return;
  std::memset(entry, 0, sizeof *entry);
  entry->regexlib = -1;
}

int32_t cat_regexlib_entry_build(context* ctx, cat_regexlib_entry* entry, const char* category, int32_t grammar,
                                 int64_t likelihood, int32_t stop, const char* regexlib) {
  if (entry == nullptr || category == nullptr || regexlib == nullptr) return TQ_ERR_ARGUMENT;
  if (int32_t rc = number_limit_check(ctx, kLikelihoodLimit, likelihood, TQ_ERR_ARGUMENT); rc < 0) return rc;
  // The table form names the library; a row without a name is refused when
  // read, so an entry without one is not made.
  if (regexlib[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1905, static_cast<const char*>(category));
    return TQ_ERR_ARGUMENT;
  }
  cat_regexlib_entry fresh;
  cat_regexlib_entry_init(&fresh);
  fresh.likelihood = static_cast<int32_t>(likelihood);  // in range
  int32_t rc = category_name_upper(ctx, category, fresh.name, true);
  if (rc < 0) return rc;
  category_rec found{};
  int32_t in_grammar = grammar != -1 ? grammar_category_find(ctx, grammar, fresh.name, &found) : 0;
  if (in_grammar < 0) return in_grammar;
  if (in_grammar == 1) {
    fresh.category = static_cast<category_rec*>(np_calloc(1, sizeof(category_rec)));
    if (fresh.category != nullptr) category_copy(&found, fresh.category);
    fresh.borrowed = 1;
  } else {
    fresh.category = record_new(fresh.name, -1);
  }
  if (fresh.category == nullptr) return TQ_ERR_NO_MEMORY;
  // An edit's library is read at once, so that another kind's file of that
  // name is refused rather than written (a row read from a file leaves the
  // read to the first use).
  rsrc_ref lib;
  rc = rsrc_open_checked_by(
      ctx, kRsrcRegex,
      [](context* c, const char* n, int32_t* i) { return regexlib_load_by_name(c, n, nullptr, i, 0); }, regexlib,
      &lib);
  if (rc < 0) {
    std::free(fresh.category);
    return rc;
  }
  fresh.regexlib = lib.index();
  lib.forget();  // the entry holds the reference by index
  fresh.stop = stop;
  fresh.bound = 1;
  *entry = fresh;
  return 0;
}

int32_t cat_regexlib_entry_set(context* ctx, cat_regexlib_entry* entry, const char* category, int32_t grammar,
                               int64_t likelihood, const char* regexlib, int32_t stop, uint32_t flags) {
  if (entry == nullptr || category == nullptr || regexlib == nullptr) return TQ_ERR_ARGUMENT;
  char cat_in[kCategoryNameSize];
  int32_t crc = strio_in(ctx, category, cat_in, kCategoryNameSize - 1, flags);
  if (crc < 0) return crc;
  // The library is read at once by its name, which a load registers with at
  // most 1,024 bytes: a longer one is refused here, not cut.
  char name_in[kRsrcNameSize];
  int32_t nrc = strio_in(ctx, regexlib, name_in, kRsrcNameSize - 1, flags);
  if (nrc < 0) return nrc;
  cat_regexlib_entry fresh;
  cat_regexlib_entry_init(&fresh);
  int32_t rc = cat_regexlib_entry_build(ctx, &fresh, cat_in, grammar, likelihood, stop, name_in);
  if (rc < 0) return rc;
  cat_regexlib_entry_free(ctx, entry, 0);
  *entry = fresh;
  if (crc > 0) return crc;
  return nrc > 0 ? nrc : 0;
}

int32_t cat_regexlib_texts_check(context* ctx, const char* category, const char* regexlib, uint32_t flags) {
  const int32_t rc = strio_kept_check(ctx, category, flags);
  return rc < 0 ? rc : strio_kept_check(ctx, regexlib, flags);
}

int32_t cat_regexlib_entry_bind_grammar(context* ctx, cat_regexlib_entry* entry, int32_t grammar) {
  if (entry == nullptr) return TQ_ERR_ARGUMENT;
  category_rec found{};
  category_rec* rec = nullptr;
  int32_t borrowed = 0;
  int32_t in_grammar = grammar != -1 ? grammar_category_find(ctx, grammar, entry->name, &found) : 0;
  if (in_grammar < 0) return in_grammar;
  if (in_grammar == 1) {
    rec = static_cast<category_rec*>(np_calloc(1, sizeof(category_rec)));
    if (rec == nullptr) return TQ_ERR_NO_MEMORY;
    category_copy(&found, rec);
    borrowed = 1;
  } else {
    rec = static_cast<category_rec*>(np_calloc(1, sizeof(category_rec)));
    if (rec == nullptr) return TQ_ERR_NO_MEMORY;
    int32_t rc = category_intern(ctx, rec, entry->name, "");
    if (rc < 0) {
      std::free(rec);
      return rc;
    }
  }
  std::free(entry->category);
  entry->category = rec;
  entry->borrowed = borrowed;
  entry->bound = 1;
  return 0;
}

void cat_regexlib_entry_free(context* ctx, cat_regexlib_entry* entry, int32_t keep_refs) {
  if (entry == nullptr) return;
  std::free(entry->category);
  entry->category = nullptr;
  entry->bound = 0;
  entry->borrowed = 0;
  entry->name[0] = '\0';
  if (keep_refs == 0) {
    if (entry->regexlib >= 0) (void)regexlib_unload(ctx, entry->regexlib);
    entry->regexlib = -1;
  }
}

int32_t cat_regexlib_entry_copy(context* ctx, const cat_regexlib_entry* source, cat_regexlib_entry* target,
                                int32_t keep_refs) {
  if (source == nullptr || target == nullptr) return TQ_ERR_ARGUMENT;
  if (source == target) return 0;
  cat_regexlib_entry fresh;
  cat_regexlib_entry_init(&fresh);
  std::memcpy(fresh.name, source->name, sizeof fresh.name);
  fresh.likelihood = source->likelihood;
  fresh.stop = source->stop;
  fresh.borrowed = source->borrowed;
  fresh.bound = source->bound;
  if (source->category != nullptr) {
    fresh.category = static_cast<category_rec*>(np_calloc(1, sizeof(category_rec)));
    if (fresh.category == nullptr) {
      cat_regexlib_entry_init(target);
      return TQ_ERR_NO_MEMORY;
    }
    category_copy(source->category, fresh.category);
  } else {
    fresh.bound = 0;
  }
  fresh.regexlib = source->regexlib;
  if (source->regexlib >= 0 && keep_refs == 0) {
    int32_t rc = rsrc_addref(ctx, kRsrcRegex, source->regexlib);
    if (rc < 0) {
      std::free(fresh.category);
      cat_regexlib_entry_init(target);
      return rc;
    }
  }
  *target = fresh;
  return 0;
}

int32_t cat_regexlib_entry_info_get(context* ctx, const cat_regexlib_entry* entry, char* category,
                                    char* regexlib, int32_t* likelihood, int32_t* stop, uint32_t flags) {
  if (entry == nullptr || category == nullptr || regexlib == nullptr || likelihood == nullptr || stop == nullptr) {
    return TQ_ERR_ARGUMENT;
  }
  char name[kRsrcNameSize];
  name[0] = '\0';
  if (entry->regexlib >= 0) {
    int32_t rc = regexlib_name_get(ctx, entry->regexlib, name, sizeof name);
    if (rc < 0) name[0] = '\0';
  }
  int32_t r1 = strio_out(ctx, entry->name, category, kCategoryNameSize - 1, flags);
  if (r1 < 0) return r1;
  int32_t r2 = strio_out(ctx, name, regexlib, kCatRegexlibNameMax, flags);
  if (r2 < 0) return r2;
  *likelihood = entry->likelihood;
  *stop = entry->stop;
  return r1 > 0 ? r1 : r2;
}

int32_t cat_regexlib_table_declare(context* ctx, xmldoc* table, int32_t first, xmldoc_field* fields,
                                   int32_t capacity, int32_t* added) {
  if (added != nullptr) *added = 0;
  if (table == nullptr || fields == nullptr || first < 0 || capacity < 3 || first > capacity - 3)
    return TQ_ERR_ARGUMENT;
  int32_t rc = xmldoc_column_add(ctx, table, kColCategory, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, table, kColRegexlib, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, table, kColLikelihood, kXmlColInt);
  if (rc < 0) return rc;
  xmldoc* nested = nullptr;
  rc = xmldoc_create(ctx, kCatRegexlibStopDoc, "9.0", &nested);
  if (rc < 0) return rc;
  rc = xmldoc_column_add(ctx, nested, kColStop, kXmlColString);
  if (rc >= 0) rc = xmldoc_include_add(ctx, table, kCatRegexlibStopDoc, kXmlIncludeInline, nested);
  if (rc < 0) {
    xml_free(ctx, nested);
    return rc;
  }
  fields[first].type = kXmlColString;
  fields[first].text = g_empty;
  fields[first + 1].type = kXmlColString;
  fields[first + 1].text = g_empty;
  fields[first + 2].type = kXmlColInt;
  fields[first + 2].number = kLikelihoodDefault;
  if (added != nullptr) *added = 3;
  return 0;
}

int32_t cat_regexlib_row_write(context* ctx, xmldoc* table, const cat_regexlib_entry* entry, int32_t first,
                               xmldoc_field* fields) {
  if (table == nullptr || entry == nullptr || fields == nullptr || first < 0) return TQ_ERR_ARGUMENT;
  xmldoc* nested = const_cast<xmldoc*>(nested_stop_doc(table));
  if (nested == nullptr) return TQ_ERR_ARGUMENT;
  char name[kRsrcNameSize];
  name[0] = '\0';
  if (entry->regexlib >= 0 && regexlib_name_get(ctx, entry->regexlib, name, sizeof name) < 0) name[0] = '\0';
  char category[kCategoryNameSize];
  std::memcpy(category, entry->name, sizeof category);
  fields[first].type = kXmlColString;
  fields[first].text = category;
  fields[first + 1].type = kXmlColString;
  fields[first + 1].text = name;
  fields[first + 2].type = kXmlColInt;
  fields[first + 2].number = entry->likelihood;
  int32_t rc = xmldoc_record_add(ctx, table, "", nullptr, fields);
  // The caller's list must not keep pointers to these local texts.
  fields[first].text = g_empty;
  fields[first + 1].text = g_empty;
  if (rc < 0) return rc;
  xmldoc_field stop_field;
  stop_field.type = kXmlColString;
  stop_field.text = entry->stop != 0 ? g_yes : g_no;
  return xmldoc_record_add(ctx, nested, "", nullptr, &stop_field);
}

int32_t cat_regexlib_table_read(context* ctx, const xmldoc* table, int32_t record, cat_regexlib_entry* entry) {
  if (table == nullptr || entry == nullptr) return TQ_ERR_ARGUMENT;
  int32_t col_cat = -1, col_rx = -1, col_lik = -1;
  int32_t rc = xmldoc_column_find(ctx, table, kColCategory, &col_cat);
  if (rc != 0) return rc;
  rc = xmldoc_column_find(ctx, table, kColRegexlib, &col_rx);
  if (rc != 0) return rc;
  if (xmldoc_column_find(ctx, table, kColLikelihood, &col_lik) != 0) col_lik = -1;
  if (record < 0 || record >= table->record_count) return TQ_ERR_INDEX;

  cat_regexlib_entry fresh;
  cat_regexlib_entry_init(&fresh);
  rc = category_name_upper(ctx, xmldoc_field_text(xmldoc_field_get(table, record, col_cat)), fresh.name);
  if (rc < 0) return rc;
  rc = number_field_read(ctx, xmldoc_field_get(table, record, col_lik), kLikelihoodLimit, TQ_ERR_INVALID_CONTENT,
                         table->type, kLikelihoodDefault, &fresh.likelihood);
  if (rc < 0) return rc;
  rc = stop_read(ctx, table, record, &fresh.stop);
  if (rc < 0) return rc;
  const char* rx = xmldoc_field_text(xmldoc_field_get(table, record, col_rx));
  if (rx[0] == '\0') return TQ_ERR_INVALID_CONTENT;
  // A library whose file cannot be had now is kept by its name, and the
  // row with it: the definition's file names them (rsrc_open_kept).
  rsrc_ref lib;
  rc = rsrc_open_kept(ctx, kRsrcRegex, &lib,
                      [&](int32_t* index) { return regexlib_load_by_name(ctx, rx, nullptr, index, 0); });
  fresh.regexlib = lib.index();
  lib.forget();  // the entry holds the reference from here on
  if (fresh.regexlib >= 0) *entry = fresh;
  return rc < 0 ? rc : 0;
}

int32_t cat_regexlib_list_write(context* ctx, xmldoc* el, const std::vector<cat_regexlib_entry*>& list,
                                const char* doc_type, const char* include_name, const char* version) {
  if (list.empty()) return 0;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, doc_type, version, &doc);
  if (rc != 0) return rc;
  xmldoc_field fields[3]{};
  int32_t added = 0;
  rc = cat_regexlib_table_declare(ctx, doc, 0, fields, 3, &added);
  for (const cat_regexlib_entry* e : list) {
    if (rc < 0) break;
    rc = cat_regexlib_row_write(ctx, doc, e, 0, fields);
  }
  if (rc >= 0) rc = xmldoc_include_add(ctx, el, include_name, kXmlIncludeInline, doc);
  if (rc < 0) xml_free(ctx, doc);
  return rc < 0 ? rc : 0;
}

void cat_regexlib_list_clear(context* ctx, std::vector<cat_regexlib_entry*>* list, int32_t keep_refs) {
  for (cat_regexlib_entry* e : *list) {
    cat_regexlib_entry_free(ctx, e, keep_refs);
    delete e;
  }
  list->clear();
}

int32_t cat_regexlib_list_append(context* ctx, std::vector<cat_regexlib_entry*>* list, cat_regexlib_entry* entry) {
  if (entry == nullptr) return TQ_ERR_ARGUMENT;
  try {
    list->push_back(entry);
  } catch (const std::bad_alloc&) {
    cat_regexlib_entry_free(ctx, entry, 0);
    delete entry;
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

int32_t cat_regexlib_list_delete(context* ctx, std::vector<cat_regexlib_entry*>* list, int32_t j) {
  if (j < 0 || static_cast<size_t>(j) >= list->size()) return TQ_ERR_INDEX;
  cat_regexlib_entry* e = (*list)[static_cast<size_t>(j)];
  list->erase(list->begin() + j);
  cat_regexlib_entry_free(ctx, e, 0);
  delete e;
  return 0;
}

int32_t cat_regexlib_list_copy(context* ctx, const std::vector<cat_regexlib_entry*>& from,
                               std::vector<cat_regexlib_entry*>* to) {
  for (const cat_regexlib_entry* e : from) {
    auto* entry = new (std::nothrow) cat_regexlib_entry;
    if (entry == nullptr) return TQ_ERR_NO_MEMORY;
    cat_regexlib_entry_init(entry);
    if (int32_t rc = cat_regexlib_entry_copy(ctx, e, entry, 0); rc < 0) {
      delete entry;
      return rc;
    }
    if (int32_t rc = cat_regexlib_list_append(ctx, to, entry); rc < 0) return rc;
  }
  return 0;
}

int32_t cat_regexlib_list_read(context* ctx, const xmldoc* table, std::vector<cat_regexlib_entry*>* list,
                               const char* defn_name, const char* list_text, const char* entry_text,
                               int32_t (*row)(void* state, int32_t rc), void* state) {
  try {
    list->reserve(list->size() + static_cast<size_t>(table->record_count));
  } catch (const std::bad_alloc&) {
    defn_memory_report(ctx, list_text, defn_name);
    return TQ_ERR_NO_MEMORY;
  }
  for (int32_t i = 0; i < table->record_count; ++i) {
    if (table->records[i].key == nullptr) continue;
    auto* entry = new (std::nothrow) cat_regexlib_entry;
    if (entry == nullptr) {
      defn_memory_report(ctx, entry_text, defn_name);
      return TQ_ERR_NO_MEMORY;
    }
    cat_regexlib_entry_init(entry);
    list->push_back(entry);  // reserved: cannot throw
    if (int32_t stop = row(state, cat_regexlib_table_read(ctx, table, i, entry)); stop != 0) return stop;
  }
  return 0;
}

}  // namespace tq

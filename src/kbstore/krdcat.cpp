#include "kbstore/krdcat.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/krcaseloc.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krzel.h"
#include "kbstore/krshared.h"
#include "kbstore/krxml.h"
#include "platform/nputf8.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr const char* kDefaultListName = "Deflt Cat List";
constexpr const char* kDefaultListVersion = "7.0";
constexpr const char* kColCategory = "Category";
constexpr const char* kColLikelihood = "Likelihood";
constexpr const char* kFuzzyProperty = "Fuzzy Vocab Threshold";
constexpr const char* kColFuzzyEnabled = "Fuzzy Vocab Enabled";
constexpr const char* kColFuzzyThreshold = "Fuzzy Vocab Threshold";

// Static texts for the fuzzy "enabled" field: the document copies what it
// is given, so the field may point at them.
char g_yes[] = "Yes";
char g_no[] = "No";

// The first include of that name whose document is at hand.
const xmldoc* include_doc_get(const xmldoc* doc, const char* name) {
  if (doc == nullptr) return nullptr;
  for (int32_t i = 0; i < doc->include_count; ++i) {
    if (std::strcmp(doc->includes[i].name, name) == 0) return doc->includes[i].doc;
  }
  return nullptr;
}

// A record's field of a column, or NULL when the record is empty, has no
// fields or the column does not exist.
const xmldoc_field* record_field(const xmldoc* doc, int32_t record, int32_t column) {
  if (doc == nullptr || record < 0 || record >= doc->record_count) return nullptr;
  if (column < 0 || column >= doc->column_count) return nullptr;
  const xmldoc_record& rec = doc->records[record];
  if (rec.fields == nullptr) return nullptr;
  return &rec.fields[column];
}


void default_entry_delete(void* element) {
  auto* entry = static_cast<default_category_entry*>(element);
  if (entry == nullptr) return;
  default_category_entry_free(entry);
  std::free(entry);
}

// Appends an entry without a category (one a caller added and has not named
// yet). -600.
int32_t uncategorized_push(default_category_list* list, int32_t likelihood) {
  auto* e = static_cast<default_category_entry*>(np_calloc(1, sizeof(default_category_entry)));
  if (e == nullptr) return TQ_ERR_NO_MEMORY;
  e->likelihood = likelihood;
  if (vec_push(list, e) != 0) {
    std::free(e);
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

}  // namespace

// ---- Categories ----------------------------------------------------------------

// When the case mapping itself fails the name is kept as given (still
// bounded), so that a category is never lost for its letters. A name a
// caller gives to be kept (kept true) is never cut: uppercasing can lengthen
// it (a two-byte letter may have a three-byte capital), and a cut name
// would name another category.
int32_t category_name_upper(context* ctx, const char* name, char* out, bool kept) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  if (name == nullptr) name = "";
  uint32_t whole = 0;
  int32_t rc = case_upper_name(name, out, kCategoryNameSize, &whole);
  if (rc == TQ_ERR_NO_MEMORY) {
    out[0] = '\0';
    return rc;
  }
  if (rc < 0) np_uchar_bufcopy(out, name, kCategoryNameSize);
  if (kept && rc >= 0 && whole > kCategoryNameSize - 1) {
    out[0] = '\0';
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1953, call_name_of(ctx), whole, strio_bytes_word(whole), kCategoryNameSize - 1,
              strio_bytes_word(kCategoryNameSize - 1));
    return TQ_ERR_ARGUMENT;
  }
  return 0;
}

int32_t category_registry_create(category_registry* registry) {
  if (registry == nullptr) return TQ_ERR_ARGUMENT;
  registry->initialised = 0;
  if (hash_init(&registry->table, kHashKeyTextCi, 1, 0) != 0) return TQ_ERR_NO_MEMORY;
  registry->initialised = 1;
  // The word stored is the id; a word of 0 also reads as "absent", so the
  // table holds id + 1.
  if (hash_put_word(&registry->table, "NUM", -1, static_cast<uintptr_t>(kCategoryNumberId) + 1) != 0) {
    category_registry_free(registry);
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

void category_registry_free(category_registry* registry) {
  if (registry == nullptr || registry->initialised == 0) return;
  hash_free(&registry->table);
  registry->initialised = 0;
}

int32_t category_name_kept_check(context* ctx, const char* name) {
  char upper[kCategoryNameSize];
  return category_name_upper(ctx, name, upper, true);
}

category_registry* category_registry_of(context* ctx) {
  shared_contents* sc = ctx_contents(ctx);
  if (sc == nullptr || sc->categories.initialised == 0) return nullptr;
  return &sc->categories;
}

int32_t category_intern(context* ctx, category_rec* record, const char* name, const char* description, bool kept) {
  if (record == nullptr) return TQ_ERR_ARGUMENT;
  if (name == nullptr) name = "";
  if (description == nullptr) description = "";
  record->id = -1;
  int32_t rc = category_name_upper(ctx, name, record->name, kept);
  if (rc < 0) {
    record->name[0] = '\0';
    return rc;
  }
  np_uchar_bufcopy(record->description, description, kCategoryDescriptionSize);

  if (ctx == nullptr || ctx->shared == nullptr) return TQ_ERR_ARGUMENT;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  category_registry* reg = category_registry_of(ctx);
  if (reg == nullptr) {
    rc = TQ_ERR_NO_MEMORY;
  } else {
    uintptr_t word = hash_get_word(&reg->table, record->name, -1);
    if (word != 0) {
      record->id = static_cast<int32_t>(word - 1);
    } else {
      // The next id is the number of names registered so far.
      uint32_t next = reg->table.count;
      if (next >= static_cast<uint32_t>(INT32_MAX) ||
          hash_put_word(&reg->table, record->name, -1, static_cast<uintptr_t>(next) + 1) != 0) {
        rc = TQ_ERR_NO_MEMORY;
      } else {
        record->id = static_cast<int32_t>(next);
      }
    }
  }
  const int32_t urc = hold.release();
  if (rc == 0 && urc != 0) rc = urc;
  return rc;
}

void category_copy(const category_rec* source, category_rec* target) {
  if (source == nullptr || target == nullptr || source == target) return;
  std::memcpy(target->name, source->name, sizeof target->name);
  std::memcpy(target->description, source->description, sizeof target->description);
  target->name[kCategoryNameSize - 1] = '\0';
  target->description[kCategoryDescriptionSize - 1] = '\0';
  target->id = source->id;
}

void category_init_number(category_rec* record) {
  if (record == nullptr) return;
  std::memset(record, 0, sizeof *record);
  std::memcpy(record->name, "NUM", 4);
  std::memcpy(record->description, "Number", 7);
  record->id = kCategoryNumberId;
}

// ---- Default categories ---------------------------------------------------------

int32_t default_category_list_init(default_category_list* list) {
  if (list == nullptr) return TQ_ERR_ARGUMENT;
  std::memset(list, 0, sizeof *list);
  if (vec_init(list, 4) != 0) return TQ_ERR_NO_MEMORY;
  vec_free_fn_set(list, default_entry_delete);
  return 0;
}

int32_t default_category_entry_build(context* ctx, default_category_entry* entry, const char* name,
                                     int32_t likelihood, bool kept) {
  if (entry == nullptr) return TQ_ERR_ARGUMENT;
  auto* rec = static_cast<category_rec*>(np_calloc(1, sizeof(category_rec)));
  if (rec == nullptr) return TQ_ERR_NO_MEMORY;
  // category_intern uppercases the name by the root rules.
  int32_t rc = category_intern(ctx, rec, name, "", kept);
  if (rc < 0) {
    std::free(rec);
    return rc;
  }
  entry->likelihood = likelihood;
  entry->category = rec;
  return 0;
}

int32_t default_category_entry_set(context* ctx, default_category_entry* entry, const char* name,
                                   int64_t likelihood) {
  if (entry == nullptr) return TQ_ERR_ARGUMENT;
  if (int32_t rc = number_limit_check(ctx, kLikelihoodLimit, likelihood, TQ_ERR_ARGUMENT); rc < 0) return rc;
  default_category_entry fresh{0, nullptr};
  int32_t rc = default_category_entry_build(ctx, &fresh, name, static_cast<int32_t>(likelihood), true);
  if (rc < 0) return rc;
  default_category_entry_free(entry);
  *entry = fresh;
  return 0;
}

void default_category_entry_free(default_category_entry* entry) {
  if (entry == nullptr) return;
  std::free(entry->category);
  entry->category = nullptr;
  entry->likelihood = 0;
}

int32_t default_category_add(context* ctx, default_category_list* list, const char* name, int32_t likelihood) {
  if (list == nullptr) return TQ_ERR_ARGUMENT;
  auto* entry = static_cast<default_category_entry*>(np_calloc(1, sizeof(default_category_entry)));
  if (entry == nullptr) return TQ_ERR_NO_MEMORY;
  int32_t rc = default_category_entry_build(ctx, entry, name, likelihood);
  if (rc < 0) {
    std::free(entry);
    return rc;
  }
  if (vec_push(list, entry) != 0) {
    default_entry_delete(entry);
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

int32_t default_category_delete(default_category_list* list, int32_t i) {
  if (list == nullptr) return TQ_ERR_ARGUMENT;
  if (i < 0 || static_cast<uint32_t>(i) >= list->count) return TQ_ERR_INDEX;
  auto* entry = static_cast<default_category_entry*>(list->slots[i]);
  std::memmove(&list->slots[i], &list->slots[i + 1],
               (list->count - static_cast<uint32_t>(i) - 1) * sizeof(void*));
  --list->count;
  default_entry_delete(entry);
  return 0;
}

void default_category_list_clear(default_category_list* list) {
  if (list == nullptr) return;
  vec_clear(list);
}

void default_category_list_free(default_category_list* list) {
  if (list == nullptr) return;
  vec_free(list);
}

int32_t default_category_list_copy(context* ctx, const default_category_list* source,
                                   default_category_list* target) {
  if (source == nullptr || target == nullptr) return TQ_ERR_ARGUMENT;
  if (source == target) return 0;
  default_category_list_clear(target);
  for (uint32_t i = 0; i < source->count; ++i) {
    auto* s = static_cast<const default_category_entry*>(source->slots[i]);
    int32_t rc;
    if (s->category != nullptr) {
      rc = default_category_add(ctx, target, s->category->name, s->likelihood);
    } else {
      // An entry appended without a category stays without one.
      rc = uncategorized_push(target, s->likelihood);
    }
    if (rc < 0) {
      default_category_list_clear(target);
      return rc;
    }
  }
  return 0;
}

int32_t default_category_list_write(context* ctx, const default_category_list* list, xmldoc* defn) {
  if (list == nullptr || defn == nullptr) return TQ_ERR_ARGUMENT;
  if (list->count == 0) return 0;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kDefaultListName, kDefaultListVersion, &doc);
  if (rc < 0) return rc;
  rc = xmldoc_column_add(ctx, doc, kColCategory, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColLikelihood, kXmlColInt);
  for (uint32_t i = 0; rc >= 0 && i < list->count; ++i) {
    auto* e = static_cast<const default_category_entry*>(list->slots[i]);
    xmldoc_field fields[2];
    fields[0].type = kXmlColString;
    fields[0].text = const_cast<char*>(e->category != nullptr ? e->category->name : "");
    fields[1].type = kXmlColInt;
    fields[1].number = e->likelihood;
    rc = xmldoc_record_add(ctx, doc, "", nullptr, fields);
  }
  if (rc >= 0) rc = xmldoc_include_add(ctx, defn, kDefaultListName, kXmlIncludeInline, doc);
  if (rc < 0) {
    xml_free(ctx, doc);
    return rc;
  }
  return 0;
}

int32_t default_category_list_read(context* ctx, default_category_list* list, const xmldoc* defn) {
  if (list == nullptr || defn == nullptr) return TQ_ERR_ARGUMENT;
  const xmldoc* doc = include_doc_get(defn, kDefaultListName);
  if (doc == nullptr) return 0;
  int32_t col_cat = -1;
  int32_t col_lik = -1;
  if (xmldoc_column_find(ctx, doc, kColCategory, &col_cat) != 0 ||
      xmldoc_column_find(ctx, doc, kColLikelihood, &col_lik) != 0) {
    return TQ_ERR_INVALID_CONTENT;
  }
  for (int32_t r = 0; r < doc->record_count; ++r) {
    if (doc->records[r].key == nullptr) continue;  // an emptied record
    const char* name = xmldoc_field_text(record_field(doc, r, col_cat));
    int32_t likelihood = kLikelihoodDefault;
    if (int32_t rc = number_field_read(ctx, record_field(doc, r, col_lik), kLikelihoodLimit, TQ_ERR_INVALID_CONTENT,
                                       kDefaultListName, kLikelihoodDefault, &likelihood);
        rc < 0) {
      return rc;
    }
    // An entry written without a category (its writer's empty text) reads
    // back without one, rather than as a category named "".
    int32_t rc = (name == nullptr || name[0] == '\0') ? uncategorized_push(list, likelihood)
                                                       : default_category_add(ctx, list, name, likelihood);
    if (rc == TQ_ERR_NO_MEMORY) {
      TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Allocating memory for default category.");
      return rc;
    }
    if (rc < 0) return rc;
  }
  return 0;
}

// ---- Fuzzy vocabulary lookup -------------------------------------------------------

void fuzzy_params_default(fuzzy_params* params) {
  if (params == nullptr) return;
  params->enabled = 0;
  params->threshold = kFuzzyThresholdDefault;
}

void fuzzy_params_copy(const fuzzy_params* source, fuzzy_params* target) {
  if (source == nullptr || target == nullptr) return;
  *target = *source;
}

void fuzzy_params_get(const fuzzy_params* params, uint32_t* enabled, uint32_t* threshold) {
  if (params == nullptr) return;
  if (enabled != nullptr) *enabled = params->enabled;
  if (threshold != nullptr) *threshold = params->enabled != 0 ? params->threshold : kFuzzyThresholdDefault;
}

void fuzzy_params_set(fuzzy_params* params, uint32_t enabled, uint32_t threshold) {
  if (params == nullptr) return;
  // A flag: the files hold yes or no, so any other value is kept as 1 and
  // reads back as it was set.
  params->enabled = enabled != 0 ? 1 : 0;
  if (enabled != 0) params->threshold = threshold;
}

int32_t fuzzy_params_from_property(context* ctx, const xmldoc* element, fuzzy_params* params) {
  if (element == nullptr || params == nullptr) return TQ_ERR_ARGUMENT;
  const char* text = xmldoc_prop_get(ctx, element, kFuzzyProperty);
  if (text == nullptr || text[0] == '\0') {
    params->enabled = 0;
    return 0;
  }
  // The text's leading decimal integer, as atoi reads it, without overflow.
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t value = 0;
  while (*p >= '0' && *p <= '9' && value <= INT32_MAX) value = value * 10 + (*p++ - '0');
  if (value > INT32_MAX) value = INT32_MAX;
  if (negative) value = -value;
  params->enabled = 1;
  params->threshold = static_cast<uint32_t>(static_cast<int32_t>(value));
  return 0;
}

int32_t fuzzy_params_columns_read(context* ctx, const xmldoc* table, int32_t record, fuzzy_params* params) {
  if (table == nullptr || params == nullptr) return TQ_ERR_ARGUMENT;
  int32_t col_en = -1;
  int32_t col_th = -1;
  int32_t rc = xmldoc_column_find(ctx, table, kColFuzzyEnabled, &col_en);
  if (rc != 0) return rc;
  rc = xmldoc_column_find(ctx, table, kColFuzzyThreshold, &col_th);
  if (rc != 0) return rc;
  const xmldoc_field* en = record_field(table, record, col_en);
  if (en == nullptr) return -1;
  params->enabled = std::strcmp(xmldoc_field_text(en), "Yes") == 0 ? 1 : 0;
  if (params->enabled != 0) {
    params->threshold = static_cast<uint32_t>(xmldoc_field_number(record_field(table, record, col_th), 0));
  }
  return 0;
}

int32_t fuzzy_params_columns_declare(context* ctx, xmldoc* table, int32_t first, xmldoc_field* fields,
                                     int32_t capacity, int32_t* added) {
  if (added != nullptr) *added = 0;
  if (table == nullptr || fields == nullptr || first < 0 || capacity < 2 || first > capacity - 2)
    return TQ_ERR_ARGUMENT;
  int32_t rc = xmldoc_column_add(ctx, table, kColFuzzyEnabled, kXmlColString);
  if (rc < 0) return rc;
  rc = xmldoc_column_add(ctx, table, kColFuzzyThreshold, kXmlColInt);
  if (rc < 0) return rc;
  fields[first].type = kXmlColString;
  fields[first].text = g_no;
  fields[first + 1].type = kXmlColInt;
  fields[first + 1].number = 0;
  if (added != nullptr) *added = 2;
  return 0;
}

void fuzzy_params_columns_fill(const fuzzy_params* params, xmldoc_field* fields, int32_t position) {
  if (params == nullptr || fields == nullptr || position < 0) return;
  fields[position].type = kXmlColString;
  fields[position + 1].type = kXmlColInt;
  if (params->enabled != 0) {
    fields[position].text = g_yes;
    fields[position + 1].number = static_cast<int32_t>(params->threshold);
  } else {
    fields[position].text = g_no;
    fields[position + 1].number = 0;
  }
}

int32_t fuzzy_params_property_write(context* ctx, xmldoc* element, const fuzzy_params* params) {
  if (element == nullptr || params == nullptr) return TQ_ERR_ARGUMENT;
  if (params->enabled == 0) return 0;
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int32_t>(params->threshold));
  return xmldoc_prop_add(ctx, element, kFuzzyProperty, text);
}

}  // namespace tq

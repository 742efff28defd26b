#include "resources/krgram.h"

#include <strings.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krlocl.h"
#include "kbstore/krlock.h"
#include "kbstore/krxml.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr const char* kDocGrammar = "Grammar";
constexpr const char* kDocCategory = "Category";
constexpr const char* kDocVersion = "1.0";
constexpr const char* kPropGroup = "9.0";
constexpr const char* kColPreference = "CategoryPreference";
constexpr const char* kColCategoryName = "CategoryName";
constexpr const char* kColPriority = "Priority";
constexpr const char* kColQty = "CategoryQty";
constexpr const char* kColRule = "Rule";
// The columns of the "Grammar" table as the writer adds them.
constexpr int32_t kFieldPriority = 0;
constexpr int32_t kFieldQty = 1;
constexpr int32_t kFieldRule = 2;

constexpr uint32_t kNameMax = 4096;
constexpr uint32_t kNewNameMax = 1024;
constexpr uint32_t kFolderMax = 16384;
constexpr uint32_t kAbbrevInMax = 128;
constexpr uint32_t kDescInMax = 256;
constexpr uint32_t kRuleAbbrevInMax = 1024;
constexpr uint32_t kCategoriesStep = 16;

const char* name_of(const grammar_rec* rec) {
  return rec != nullptr && rec->slot != nullptr ? static_cast<const char*>(rec->slot->name) : "[none]";
}

void rule_delete(void* element) {
  auto* rule = static_cast<grammar_rule*>(element);
  if (rule == nullptr) return;
  grammar_rule_free(rule);
  std::free(rule);
}

void rule_list_delete(vec* rules) {
  if (rules == nullptr) return;
  vec_free(rules);
  std::free(rules);
}

void category_delete(void* element) {
  auto* category = static_cast<grammar_category*>(element);
  if (category == nullptr) return;
  rule_list_delete(category->rules);
  std::free(category);
}

// A new rule list, owning its rules.
vec* rule_list_new() {
  auto* rules = static_cast<vec*>(np_calloc(1, sizeof(vec)));
  if (rules == nullptr) return nullptr;
  if (vec_init(rules, 0) != 0) {
    std::free(rules);
    return nullptr;
  }
  rules->step = 4;
  vec_free_fn_set(rules, rule_delete);
  return rules;
}

// Making a grammar empty: what create and every load start from.
int32_t make_empty(grammar_rec* rec) {
  vault_info_clear(&rec->vault);
  rec->rule_counter = 0;
  if (hash_init(&rec->names, kHashKeyTextCi, 1, 0) != 0) return TQ_ERR_NO_MEMORY;
  if (vec_init(&rec->categories, 0) != 0) {
    hash_free(&rec->names);
    return TQ_ERR_NO_MEMORY;
  }
  rec->categories.step = kCategoriesStep;
  vec_free_fn_set(&rec->categories, category_delete);
  return 0;
}

grammar_rec* rec_new(resource_slot* slot) {
  auto* rec = static_cast<grammar_rec*>(np_calloc(1, sizeof(grammar_rec)));
  if (rec == nullptr) return nullptr;
  rec->slot = slot;
  static std::atomic<uint64_t> next_serial{1};
  rec->serial = next_serial.fetch_add(1, std::memory_order_relaxed);
  locale_info_clear(&rec->locale);
  if (make_empty(rec) != 0) {
    std::free(rec);
    return nullptr;
  }
  return rec;
}

void rec_delete(grammar_rec* rec) {
  if (rec == nullptr) return;
  hash_free(&rec->names);
  vec_free(&rec->categories);
  std::free(rec);
}

bool same_right_side(const grammar_rule* a, const grammar_rule* b) {
  if (a->right.count != b->right.count) return false;
  for (uint32_t i = 0; i < a->right.count; ++i) {
    auto* ca = static_cast<const grammar_category*>(a->right.slots[i]);
    auto* cb = static_cast<const grammar_category*>(b->right.slots[i]);
    if (std::strcmp(ca->cat.name, cb->cat.name) != 0) return false;
  }
  return true;
}

// The grammar's category of a right-side entry (by name), or NULL.
grammar_category* own_category(context* ctx, grammar_rec* rec, const grammar_category* entry) {
  return entry != nullptr ? grammar_category_get_by_name(ctx, rec, entry->cat.name) : nullptr;
}

// A new rule record: priority and right side copied, with the grammar's own
// categories (by name) in the right side. -300 (1464) when one is missing.
int32_t rule_copy_new(context* ctx, grammar_rec* rec, const grammar_rule* given, grammar_rule** out) {
  *out = nullptr;
  auto* rule = static_cast<grammar_rule*>(np_calloc(1, sizeof(grammar_rule)));
  if (rule == nullptr) return TQ_ERR_NO_MEMORY;
  grammar_rule_init(rule, given->priority);
  for (uint32_t i = 0; i < given->right.count; ++i) {
    grammar_category* own = own_category(ctx, rec, static_cast<const grammar_category*>(given->right.slots[i]));
    int32_t rc = 0;
    if (own == nullptr) {
      rc = TQ_ERR_INVALID_CONTENT;
      TQ_REPORT(ctx, rc, 1464, name_of(rec));
    } else if (vec_push(&rule->right, own) != 0) {
      rc = TQ_ERR_NO_MEMORY;
    }
    if (rc != 0) {
      rule_delete(rule);
      return rc;
    }
  }
  *out = rule;
  return 0;
}

// The rule of a category; NULL for a terminal category or an index out of range.
grammar_rule* rule_at(const grammar_category* category, int32_t rule_index) {
  if (category == nullptr || category->rules == nullptr) return nullptr;
  return static_cast<grammar_rule*>(vec_get(category->rules, rule_index));
}

// The first category holding two rules with the same right side, or NULL.
const grammar_category* duplicate_rules(const grammar_rec* rec) {
  for (uint32_t c = 0; c < rec->categories.count; ++c) {
    auto* category = static_cast<const grammar_category*>(rec->categories.slots[c]);
    if (category->rules == nullptr) continue;
    for (uint32_t i = 0; i < category->rules->count; ++i) {
      for (uint32_t j = i + 1; j < category->rules->count; ++j) {
        if (same_right_side(static_cast<const grammar_rule*>(category->rules->slots[i]),
                            static_cast<const grammar_rule*>(category->rules->slots[j]))) {
          return category;
        }
      }
    }
  }
  return nullptr;
}

// ---- Reading ---------------------------------------------------------------------------

int32_t missing_column(context* ctx, const char* column, const char* grammar) {
  TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 159, column, grammar);
  return TQ_ERR_INVALID_CONTENT;
}

int32_t categories_read(context* ctx, grammar_rec* rec, const xmldoc* table) {
  // A grammar document without a category table has no categories.
  if (table == nullptr) return 0;
  int32_t col = -1;
  if (xmldoc_column_find(ctx, table, kColCategoryName, &col) != 0) {
    return missing_column(ctx, kColCategoryName, name_of(rec));
  }
  for (int32_t r = 0; r < table->record_count; ++r) {
    const xmldoc_record& record = table->records[r];
    if (record.key == nullptr) continue;
    grammar_category given{};
    given.min_span = -1;
    // A grammar keeps 256 bytes of a category's name: a file's longer one
    // is read cut there, as it always was.
    char description[kDescInMax + 1];
    uchar_buf_copy(description, xmldoc_record_text(record, col), sizeof description);
    int32_t rc = category_intern(ctx, &given.cat, record.key, description);
    if (rc < 0) return rc;
    rc = grammar_category_append(ctx, rec, &given);
    if (rc < 0) return rc;
  }
  return 0;
}

// The right side of a "Rule" text: qty (0 or more) names, each ended by
// '|'. A text holding fewer is refused rather than read past its end.
int32_t right_side_read(context* ctx, grammar_rec* rec, const char* text, int32_t qty, grammar_rule* rule) {
  const char* at = text;
  for (int32_t i = 0; i < qty; ++i) {
    const char* bar = std::strchr(at, '|');
    if (bar == nullptr) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1744, name_of(rec), qty, text);
      return TQ_ERR_INVALID_CONTENT;
    }
    std::string piece(at, static_cast<size_t>(bar - at));
    at = bar + 1;
    grammar_category* category = grammar_category_get_by_name(ctx, rec, piece.c_str());
    if (category == nullptr) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1464, name_of(rec));
      return TQ_ERR_INVALID_CONTENT;
    }
    if (vec_push(&rule->right, category) != 0) return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

int32_t rules_read(context* ctx, grammar_rec* rec, const xmldoc* doc) {
  int32_t col_priority = -1, col_qty = -1, col_rule = -1;
  if (xmldoc_column_find(ctx, doc, kColPriority, &col_priority) != 0) {
    return missing_column(ctx, kColPriority, name_of(rec));
  }
  if (xmldoc_column_find(ctx, doc, kColQty, &col_qty) != 0) return missing_column(ctx, kColQty, name_of(rec));
  if (xmldoc_column_find(ctx, doc, kColRule, &col_rule) != 0) return missing_column(ctx, kColRule, name_of(rec));
  for (int32_t r = 0; r < doc->record_count; ++r) {
    const xmldoc_record& record = doc->records[r];
    if (record.key == nullptr) continue;
    const char* text = xmldoc_record_text(record, col_rule);
    // A count of names below none, or a number past the int32 range (a
    // priority has no range but that one): the refusal names the rule,
    // whose left side alone may be that of several.
    const auto refuse = [&](const char* column, const char* given, int32_t min) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 2441, name_of(rec), column, given, record.key, text, r + 1, min,
                INT32_MAX);
      return TQ_ERR_INVALID_CONTENT;
    };
    struct number_column {
      const char* name;
      int32_t at;
      int32_t min;
    };
    for (const number_column& c :
         {number_column{kColQty, col_qty, 0}, number_column{kColPriority, col_priority, INT32_MIN}}) {
      const xmldoc_field* f = xmldoc_field_get(doc, r, c.at);
      if (f != nullptr && f->type == kXmlColPast) return refuse(c.name, f->text, c.min);
    }
    const int32_t qty = xmldoc_record_number(record, col_qty, 0);
    if (qty < 0) {
      char given[16];
      std::snprintf(given, sizeof given, "%d", qty);
      return refuse(kColQty, given, 0);
    }
    grammar_rule rule;
    grammar_rule_init(&rule, static_cast<uint32_t>(xmldoc_record_number(record, col_priority, 0)));
    int32_t rc = right_side_read(ctx, rec, text, qty, &rule);
    if (rc == 0) {
      grammar_category* left = grammar_category_get_by_name(ctx, rec, record.key);
      if (left == nullptr) {
        // A left side the grammar does not hold is refused like any other
        // rule of a category not of this grammar.
        rc = TQ_ERR_INVALID_CONTENT;
        TQ_REPORT(ctx, rc, 1463, name_of(rec));
      } else {
        rc = grammar_rule_append(ctx, rec, left, &rule);
      }
    }
    grammar_rule_free(&rule);
    if (rc < 0) return rc;
  }
  return 0;
}

int32_t document_read(context* ctx, resource_slot* slot, grammar_rec* rec, const xmldoc* doc) {
  (void)rsrc_version_read(ctx, slot, doc);
  (void)rsrc_owner_read(ctx, slot, doc);
  int32_t rc = locale_info_read(ctx, doc, &rec->locale);
  if (rc < 0) {
    TQ_REPORT(ctx, rc, 158, static_cast<const char*>(slot->name), rc);
    return rc;
  }
  rc = categories_read(ctx, rec, xmldoc_include_doc_find(doc, kDocCategory));
  if (rc < 0) return rc;
  rc = rules_read(ctx, rec, doc);
  if (rc < 0) return rc;
  vault_info_read(doc, &rec->vault);
  return 0;
}

// ---- Writing ---------------------------------------------------------------------------

int32_t layer_rc(int32_t rc) { return rc == TQ_ERR_NO_MEMORY ? rc : -1; }

// Categories and rules are written in the grammar's own order, which is the
// order a load reads them in: a grammar saved and loaded again has every
// category and rule at the index it had, and the parsers built on it meet
// the rules in the same order. (Sorting the records would move them under
// a caller's indices, or, put back in memory after the save, under the
// category indices that prepared definitions keep.)
int32_t category_table_build(context* ctx, const grammar_rec* rec, xmldoc** out) {
  *out = nullptr;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kDocCategory, kDocVersion, &doc);
  if (rc < 0) return layer_rc(rc);
  rc = xmldoc_column_add(ctx, doc, kColPreference, kXmlColInt);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColCategoryName, kXmlColString);
  for (uint32_t c = 0; rc >= 0 && c < rec->categories.count; ++c) {
    auto* category = static_cast<grammar_category*>(rec->categories.slots[c]);
    xmldoc_field fields[2];
    fields[0].type = kXmlColInt;
    fields[0].number = 0;
    fields[1].type = kXmlColString;
    fields[1].text = category->cat.description;
    int32_t added = xmldoc_record_add(ctx, doc, category->cat.name, "", fields);
    if (added < 0) rc = layer_rc(added);
  }
  if (rc < 0) {
    xml_free(ctx, doc);
    return layer_rc(rc);
  }
  *out = doc;
  return 0;
}

int32_t rule_records_add(context* ctx, const grammar_rec* rec, xmldoc* doc) {
  std::string text;
  text.reserve(1025);
  for (uint32_t c = 0; c < rec->categories.count; ++c) {
    auto* category = static_cast<const grammar_category*>(rec->categories.slots[c]);
    if (category->rules == nullptr) continue;
    for (uint32_t i = 0; i < category->rules->count; ++i) {
      auto* rule = static_cast<const grammar_rule*>(category->rules->slots[i]);
      text.clear();
      for (uint32_t e = 0; e < rule->right.count; ++e) {
        text += static_cast<const grammar_category*>(rule->right.slots[e])->cat.name;
        text += '|';
      }
      xmldoc_field fields[3];
      fields[kFieldPriority].type = kXmlColInt;
      fields[kFieldPriority].number = static_cast<int32_t>(rule->priority);
      fields[kFieldQty].type = kXmlColInt;
      fields[kFieldQty].number = static_cast<int32_t>(rule->right.count);
      fields[kFieldRule].type = kXmlColString;
      fields[kFieldRule].text = text.data();
      int32_t added = xmldoc_record_add(ctx, doc, category->cat.name, "", fields);
      if (added < 0) return layer_rc(added);
    }
  }
  return 0;
}

int32_t document_build(context* ctx, const resource_slot* slot, const grammar_rec* rec, xmldoc** out) {
  *out = nullptr;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kDocGrammar, kDocVersion, &doc);
  if (rc < 0) return layer_rc(rc);
  // Freed on every way out (the rule texts may throw) until handed out.
  xmldoc_ptr owned = xmldoc_owned(ctx, doc);
  if (slot->version[0] != '\0') rc = xmldoc_prop_add_grouped(ctx, doc, kPropGroup, "Version", slot->version);
  if (rc >= 0 && slot->owner[0] != '\0') rc = xmldoc_prop_add_grouped(ctx, doc, kPropGroup, "Owner", slot->owner);
  if (rc < 0) rc = layer_rc(rc);
  if (rc >= 0) rc = locale_info_write(ctx, &rec->locale, doc);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColPriority, kXmlColInt);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColQty, kXmlColInt);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColRule, kXmlColString);
  if (rc < 0) rc = layer_rc(rc);
  if (rc >= 0) rc = rule_records_add(ctx, rec, doc);
  xmldoc* categories = nullptr;
  if (rc >= 0) rc = category_table_build(ctx, rec, &categories);
  if (rc >= 0) {
    rc = xmldoc_include_add(ctx, doc, kDocCategory, kXmlIncludeInline, categories);
    if (rc < 0) xml_free(ctx, categories);
  }
  if (rc >= 0 && vault_info_write(doc, &rec->vault) < 0) rc = TQ_ERR_NO_MEMORY;
  if (rc < 0) return rc;
  *out = owned.release();
  return 0;
}

bool is_vault_path(const char* path) {
  size_t n = std::strlen(path);
  if (n < 4) return false;
  const char* ext = path + n - 4;
  return strcasecmp(ext, ".zel") == 0 || strcasecmp(ext, ".krd") == 0;
}

// A right-side entry, rule or category of a grammar read for an info getter.
int32_t category_for_read(context* ctx, int32_t index, int32_t cat_index, grammar_rec** rec,
                          grammar_category** category) {
  int32_t rc = grammar_get(ctx, index, rec);
  if (rc != 0) return rc;
  *category = grammar_category_get(*rec, cat_index);
  return *category == nullptr ? TQ_ERR_INDEX : 0;
}

// A client's load by a name in the session encoding, counted as its own
// (the registry's client loads).
int32_t register_grammar(context* ctx, const char* name, lock_handle* lock, int32_t* index) {
  *index = -1;
  char text[kNameMax + 1];
  int32_t crc = strio_in(ctx, name, text, kNameMax, kStrioConvert);
  if (crc < 0) return crc;
  return rsrc_client_load(ctx, kRsrcGrammar, index,
                          [&] { return rc_combine(grammar_load_by_name(ctx, text, lock, index), crc); }, lock);
}

using edit_scope = rsrc_edit_scope<grammar_rec, grammar_get_for_edit, grammar_edit_end>;

}  // namespace

// ---- The resource kind -------------------------------------------------------------------

int32_t grammar_rsrc_load(context* ctx, resource_slot* slot, lock_handle* lock, uintptr_t arg) {
  (void)arg;
  if (slot == nullptr) return TQ_ERR_ARGUMENT;
  xmldoc* read = nullptr;
  int32_t rc = rsrc_document_read(ctx, slot, lock, slot->name, kXmlFlagVault, &read);
  // The document and the grammar are freed on every way out, an exception
  // included, until the slot takes the grammar.
  xmldoc_ptr doc = xmldoc_owned(ctx, read);
  std::unique_ptr<grammar_rec, void (*)(grammar_rec*)> rec(nullptr, rec_delete);
  if (rc >= 0) {
    rec.reset(rec_new(slot));
    rc = rec == nullptr ? TQ_ERR_NO_MEMORY : document_read(ctx, slot, rec.get(), doc.get());
  }
  if (rc >= 0) rc = rc_combine(rc, number_past_refuse(ctx, doc.get(), number_owner{"grammar", slot->name, false}));
  doc.reset();
  if (rc < 0) {
    // The registrant keeps its reference: the next use tries again.
    rec.reset();
    TQ_REPORT(ctx, rc, 157, static_cast<const char*>(slot->name));
    return rc;
  }
  slot->part = rec.release();
  return 0;
}

int32_t grammar_rsrc_free(context* ctx, resource_slot* slot, uintptr_t arg) {
  (void)ctx;
  (void)arg;
  if (slot == nullptr) return 0;
  rec_delete(static_cast<grammar_rec*>(slot->part));
  slot->part = nullptr;
  return 0;
}

int32_t grammar_get(context* ctx, int32_t index, grammar_rec** out) {
  return rsrc_part_get(ctx, kRsrcGrammar, index, out);
}

int32_t grammar_get_for_edit(context* ctx, int32_t index, grammar_rec** out) {
  return rsrc_part_get_for_edit(ctx, kRsrcGrammar, index, out);
}

int32_t grammar_edit_end(context* ctx, grammar_rec* rec) {
  return rsrc_unlock(ctx, rec != nullptr ? rec->slot : nullptr, 1);
}

int32_t grammar_load_by_name(context* ctx, const char* name, lock_handle* lock, int32_t* index) {
  rsrc_callbacks cb{};
  cb.load = grammar_rsrc_load;
  cb.free = grammar_rsrc_free;
  cb.lock = lock;
  int32_t rc = rsrc_register(ctx, kRsrcGrammar, name, &cb, index);
  return rc == TQ_WARN_ALREADY_REGISTERED ? 0 : rc;
}

int32_t grammar_register(context* ctx, const char* name, int32_t* index) {
  return grammar_load_by_name(ctx, name, nullptr, index);
}

const vec* grammar_category_list(const grammar_rec* rec) { return rec != nullptr ? &rec->categories : nullptr; }

int32_t grammar_category_index_by_name(context* ctx, grammar_rec* rec, const char* name) {
  if (rec == nullptr || name == nullptr) return -1;
  // Names are kept as the category registry keeps them; a name looked up
  // goes through the same uppercasing, then compares without ASCII case.
  char upper[kCategoryNameSize];
  if (category_name_upper(ctx, name, upper) < 0) return -1;
  uintptr_t word = hash_get_word(&rec->names, upper, -1);
  return word == 0 ? -1 : static_cast<int32_t>(word - 1);
}

grammar_category* grammar_category_get(const grammar_rec* rec, int32_t index) {
  if (rec == nullptr) return nullptr;
  return static_cast<grammar_category*>(vec_get(&rec->categories, index));
}

grammar_category* grammar_category_get_by_name(context* ctx, grammar_rec* rec, const char* name) {
  return grammar_category_get(rec, grammar_category_index_by_name(ctx, rec, name));
}

int32_t grammar_category_has_rules(const grammar_category* category) {
  return category != nullptr && category->rules != nullptr ? 1 : 0;
}

void grammar_rule_init(grammar_rule* rule, uint32_t priority) {
  rule->number = -1;
  rule->priority = priority;
  (void)vec_init(&rule->right, 0);  // no slots yet: cannot fail
  rule->right.step = 4;
  vec_free_fn_set(&rule->right, vec_free_noop);
  rule->min_span = -1;
  rule->passes = 0;
}

void grammar_rule_free(grammar_rule* rule) {
  if (rule != nullptr) vec_free(&rule->right);
}

int32_t grammar_category_append(context* ctx, grammar_rec* rec, const grammar_category* given) {
  if (rec == nullptr || given == nullptr) return TQ_ERR_ARGUMENT;
  if (grammar_category_index_by_name(ctx, rec, given->cat.name) >= 0) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1461, name_of(rec), static_cast<const char*>(given->cat.name));
    return TQ_ERR_INVALID_CONTENT;
  }
  if (given->rules != nullptr) {
    for (uint32_t i = 0; i < given->rules->count; ++i) {
      auto* rule = static_cast<const grammar_rule*>(given->rules->slots[i]);
      for (uint32_t e = 0; e < rule->right.count; ++e) {
        if (own_category(ctx, rec, static_cast<const grammar_category*>(rule->right.slots[e])) == nullptr) {
          TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1462, name_of(rec));
          return TQ_ERR_INVALID_CONTENT;
        }
      }
    }
  }
  auto* category = static_cast<grammar_category*>(np_calloc(1, sizeof(grammar_category)));
  if (category == nullptr) return TQ_ERR_NO_MEMORY;
  category_copy(&given->cat, &category->cat);
  category->min_span = -1;
  int32_t rc = 0;
  if (given->rules != nullptr) {
    category->rules = rule_list_new();
    if (category->rules == nullptr) rc = TQ_ERR_NO_MEMORY;
    for (uint32_t i = 0; rc == 0 && i < given->rules->count; ++i) {
      grammar_rule* copy = nullptr;
      rc = rule_copy_new(ctx, rec, static_cast<const grammar_rule*>(given->rules->slots[i]), &copy);
      if (rc == 0 && vec_push(category->rules, copy) != 0) {
        rule_delete(copy);
        rc = TQ_ERR_NO_MEMORY;
      }
    }
  }
  if (rc == 0 && vec_push(&rec->categories, category) != 0) rc = TQ_ERR_NO_MEMORY;
  if (rc != 0) {
    category_delete(category);
    return rc;
  }
  const uint32_t index = rec->categories.count - 1;
  if (hash_put_word(&rec->names, category->cat.name, -1, static_cast<uintptr_t>(index) + 1) != 0) {
    // Not indexed, so not kept: the list goes back to what it was.
    rec->categories.count -= 1;
    category_delete(category);
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

int32_t grammar_rule_append(context* ctx, grammar_rec* rec, grammar_category* category, const grammar_rule* rule) {
  if (category == nullptr) return -1;
  if (rec == nullptr || rule == nullptr) return TQ_ERR_ARGUMENT;
  if (grammar_category_get_by_name(ctx, rec, category->cat.name) != category) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1463, name_of(rec));
    return TQ_ERR_INVALID_CONTENT;
  }
  grammar_rule* copy = nullptr;
  int32_t rc = rule_copy_new(ctx, rec, rule, &copy);
  if (rc != 0) return rc;
  bool made_list = false;
  if (category->rules == nullptr) {
    category->rules = rule_list_new();
    if (category->rules == nullptr) {
      rule_delete(copy);
      return TQ_ERR_NO_MEMORY;
    }
    made_list = true;
  }
  for (uint32_t i = 0; i < category->rules->count; ++i) {
    if (same_right_side(static_cast<const grammar_rule*>(category->rules->slots[i]), copy)) {
      rule_delete(copy);
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1465, name_of(rec), static_cast<const char*>(category->cat.name));
      return TQ_ERR_INVALID_CONTENT;
    }
  }
  if (vec_push(category->rules, copy) != 0) {
    rule_delete(copy);
    // A terminal category stays terminal when its first rule is not added.
    if (made_list) {
      rule_list_delete(category->rules);
      category->rules = nullptr;
    }
    return TQ_ERR_NO_MEMORY;
  }
  copy->number = static_cast<int32_t>(rec->rule_counter);
  rec->rule_counter += 1;
  return 0;
}

int32_t grammar_category_copy_by_name(context* ctx, int32_t grammar, const char* name, category_rec* out) {
  edit_scope g(ctx, grammar);
  if (g.rc != 0) return g.rc;
  const grammar_category* category = grammar_category_get_by_name(ctx, g.rec, name);
  if (category == nullptr) return 0;
  category_copy(&category->cat, out);
  return 1;
}

// ---- Export implementations ----------------------------------------------------------------

int32_t grammar_load(context* ctx, const char* name, int32_t* index) {
  return register_grammar(ctx, name, nullptr, index);
}

int32_t grammar_edit(context* ctx, const char* name, tq_lock_handle* lock, int32_t* index) {
  return register_grammar(ctx, name, lock, index);
}

namespace {

int32_t create(context* ctx, const char* name, int32_t* index) {
  *index = -1;
  char text[kNameMax + 1];
  int32_t crc = strio_in(ctx, name, text, kNameMax, kStrioConvert);
  if (crc < 0) return crc;
  rsrc_callbacks cb{};
  cb.free = grammar_rsrc_free;
  int32_t slot_index = -1;
  int32_t rc = rsrc_slot_create(ctx, kRsrcGrammar, text, 0, &cb, &slot_index);
  if (rc != 0) return rc;
  resource_slot* slot = nullptr;
  rc = rsrc_slot_get(ctx, kRsrcGrammar, slot_index, 1, &slot);
  if (rc != 0) {
    (void)rsrc_unref(ctx, kRsrcGrammar, slot_index);
    return rc;
  }
  write_hold hold = write_hold::adopt(ctx);  // rsrc_slot_get returned holding it
  grammar_rec* rec = rec_new(slot);
  if (rec == nullptr) {
    (void)hold.release();
    (void)rsrc_release(ctx, slot);
    return TQ_ERR_NO_MEMORY;
  }
  // A grammar made here takes the current locale, when there is one, so
  // that once saved it can be read again.
  locale_info_from_current(ctx, &rec->locale);
  slot->part = rec;
  rc = hold.release();
  *index = slot_index;
  return rc_combine(rc, crc);
}

}  // namespace

// What is created is the client's load, as a load by name is.
int32_t grammar_create(context* ctx, const char* name, int32_t* index) {
  return rsrc_client_load(ctx, kRsrcGrammar, index, [&] { return create(ctx, name, index); });
}

int32_t grammar_edit_new(context* ctx, const char* path, const char* name, tq_lock_handle* lock) {
  char file[kNewNameMax + 1];
  std::string folder;
  int32_t rc_name = strio_in(ctx, name, file, kNewNameMax, kStrioConvert);
  int32_t rc_path = rc_name < 0 ? 0 : xmldoc_file_folder_in(ctx, path, kFolderMax, &folder);
  int32_t rc = rc_combine(rc_name, rc_path);
  if (rc >= 0) {
    rc = rc_combine(rc, xmldoc_file_create(ctx, folder.empty() ? nullptr : folder.c_str(), file, kXmlFlagVault, lock));
  }
  return rc;
}

int32_t grammar_save(context* ctx, int32_t index, tq_lock_handle* lock) {
  grammar_rec* rec = nullptr;
  int32_t rc = grammar_get(ctx, index, &rec);
  if (rc != 0) return rc;
  resource_slot* slot = rec->slot;
  // A grammar without a valid locale, or with two rules of one category
  // alike, would be written but refused when read again.
  if (!locale_table_contains(rec->locale.code) || rec->locale.iso[0] == '\0' ||
      rec->locale.description[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 158, static_cast<const char*>(slot->name), TQ_ERR_INVALID_CONTENT);
    return TQ_ERR_INVALID_CONTENT;
  }
  if (const grammar_category* twice = duplicate_rules(rec); twice != nullptr) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1465, static_cast<const char*>(slot->name),
              static_cast<const char*>(twice->cat.name));
    return TQ_ERR_INVALID_CONTENT;
  }
  fio_place place;  // the file the lock holds
  rc = rsrc_save_place(ctx, slot, lock, &place);
  if (rc != 0) return rc;
  xmldoc* doc = nullptr;
  rc = document_build(ctx, slot, rec, &doc);
  if (rc < 0) return rsrc_save_build_failed(ctx, slot, rc);
  const xmldoc_ptr owned = xmldoc_owned(ctx, doc);
  return xml_write_place(ctx, place, is_vault_path(place.path) ? kXmlFlagVault : 0, doc);
}

int32_t grammar_category_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  grammar_rec* rec = nullptr;
  int32_t rc = grammar_get(ctx, index, &rec);
  if (rc != 0) return rc;
  *count = rec->categories.count;
  return 0;
}

int32_t grammar_category_info_get(context* ctx, int32_t index, int32_t cat_index, char* abbrev, char* name,
                                  uint32_t* rule_count) {
  strio_out_clear(ctx, abbrev);
  strio_out_clear(ctx, name);
  *rule_count = 0;
  grammar_rec* rec = nullptr;
  grammar_category* category = nullptr;
  int32_t rc = category_for_read(ctx, index, cat_index, &rec, &category);
  if (rc != 0) return rc;
  int32_t r1 = strio_out_1028(ctx, category->cat.name, abbrev, kStrioConvert);
  if (r1 < 0) return r1;
  int32_t r2 = strio_out_1028(ctx, category->cat.description, name, kStrioConvert);
  if (r2 < 0) {
    strio_out_clear(ctx, abbrev);
    return r2;
  }
  *rule_count = category->rules != nullptr ? category->rules->count : 0;
  return rc_combine(r1, r2);
}

int32_t grammar_rule_info_get(context* ctx, int32_t index, int32_t cat_index, int32_t rule_index, int32_t* priority,
                              uint32_t* cat_count) {
  *priority = 0;
  *cat_count = 0;
  grammar_rec* rec = nullptr;
  grammar_category* category = nullptr;
  int32_t rc = category_for_read(ctx, index, cat_index, &rec, &category);
  if (rc != 0) return rc;
  const grammar_rule* rule = rule_at(category, rule_index);
  if (rule == nullptr) return TQ_ERR_INDEX;
  *priority = static_cast<int32_t>(rule->priority);
  *cat_count = rule->right.count;
  return 0;
}

int32_t grammar_rule_category_abbrev_get(context* ctx, int32_t index, int32_t cat_index, int32_t rule_index,
                                         int32_t position, char* abbrev) {
  strio_out_clear(ctx, abbrev);
  grammar_rec* rec = nullptr;
  grammar_category* category = nullptr;
  int32_t rc = category_for_read(ctx, index, cat_index, &rec, &category);
  if (rc != 0) return rc;
  const grammar_rule* rule = rule_at(category, rule_index);
  if (rule == nullptr) return TQ_ERR_INDEX;
  auto* entry = static_cast<const grammar_category*>(vec_get(&rule->right, position));
  if (entry == nullptr) return TQ_ERR_INDEX;
  return strio_out_1028(ctx, entry->cat.name, abbrev, kStrioConvert);
}

int32_t grammar_category_add(context* ctx, int32_t index, const char* abbrev, const char* name) {
  char abbrev_in[kAbbrevInMax + 1];
  char name_in[kDescInMax + 1];
  // Both convert before anything is made: a text that does not leaves the
  // grammar as it was.
  int32_t crc = strio_in(ctx, abbrev, abbrev_in, kAbbrevInMax, kStrioConvert);
  if (crc < 0) return crc;
  crc = rc_combine(crc, strio_in(ctx, name, name_in, kDescInMax, kStrioConvert));
  if (crc < 0) return crc;
  grammar_category given{};
  given.min_span = -1;
  int32_t rc = category_intern(ctx, &given.cat, abbrev_in, name_in, true);
  if (rc < 0) return rc;
  edit_scope g(ctx, index);
  if (g.rc != 0) return g.rc;
  // The file writes a rule's right side as names each ended by '|': a name
  // holding one would be read back as other names.
  if (std::strchr(given.cat.name, '|') != nullptr) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1903, name_of(g.rec), static_cast<const char*>(given.cat.name));
    return TQ_ERR_ARGUMENT;
  }
  rc = grammar_category_append(ctx, g.rec, &given);
  return rc < 0 ? rc : crc;
}

int32_t grammar_rule_add(context* ctx, int32_t index, int32_t cat_index, int32_t priority) {
  if (int32_t rc = number_limit_check(ctx, kGrammarPriorityLimit, priority, TQ_ERR_ARGUMENT); rc < 0) return rc;
  edit_scope g(ctx, index);
  if (g.rc != 0) return g.rc;
  grammar_category* category = grammar_category_get(g.rec, cat_index);
  if (category == nullptr) return TQ_ERR_INDEX;
  grammar_rule rule;
  grammar_rule_init(&rule, static_cast<uint32_t>(priority));
  int32_t rc = grammar_rule_append(ctx, g.rec, category, &rule);
  grammar_rule_free(&rule);
  return rc;
}

int32_t grammar_rule_category_add(context* ctx, int32_t index, int32_t cat_index, int32_t rule_index,
                                  const char* abbrev) {
  char in[kRuleAbbrevInMax + 1];
  int32_t crc = strio_in(ctx, abbrev, in, kRuleAbbrevInMax, kStrioConvert);
  if (crc < 0) return crc;
  edit_scope g(ctx, index);
  if (g.rc != 0) return g.rc;
  grammar_rule* rule = rule_at(grammar_category_get(g.rec, cat_index), rule_index);
  if (rule == nullptr) return TQ_ERR_INDEX;
  // Every right-side entry is a category of the grammar.
  grammar_category* entry = grammar_category_get_by_name(ctx, g.rec, in);
  if (entry == nullptr) {
    TQ_REPORT(ctx, TQ_ERR_NAME, 1464, name_of(g.rec));
    return TQ_ERR_NAME;
  }
  if (vec_push(&rule->right, entry) != 0) return TQ_ERR_NO_MEMORY;
  return crc;
}

int32_t grammar_syntactic_category_info_get(context* ctx, int32_t index, int32_t cat_index, char* name,
                                            int32_t* derived_flag) {
  strio_out_clear(ctx, name);
  *derived_flag = 0;
  grammar_rec* rec = nullptr;
  grammar_category* category = nullptr;
  int32_t rc = category_for_read(ctx, index, cat_index, &rec, &category);
  if (rc != 0) return rc;
  rc = strio_out(ctx, category->cat.name, name, kCategoryNameSize - 1, kStrioConvert);
  if (rc < 0) return rc;
  *derived_flag = category->rules != nullptr && category->rules->count > 0 ? 1 : 0;
  return rc;
}

int32_t grammar_syntactic_category_name_get(context* ctx, int32_t index, int32_t cat_index, char* name) {
  strio_out_clear(ctx, name);
  grammar_rec* rec = nullptr;
  grammar_category* category = nullptr;
  int32_t rc = category_for_read(ctx, index, cat_index, &rec, &category);
  if (rc != 0) return rc;
  return strio_out(ctx, category->cat.name, name, kCategoryNameSize - 1, kStrioConvert);
}

int32_t grammar_syntactic_category_desc_get(context* ctx, int32_t index, int32_t cat_index, char* desc) {
  strio_out_clear(ctx, desc);
  grammar_rec* rec = nullptr;
  grammar_category* category = nullptr;
  int32_t rc = category_for_read(ctx, index, cat_index, &rec, &category);
  if (rc != 0) return rc;
  return strio_out(ctx, category->cat.description, desc, kDescInMax, kStrioConvert);
}

}  // namespace tq

#include "fields/krgdef.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krxml.h"

namespace tq {

namespace {

constexpr const char* kTableVersion = "7.0";
constexpr const char* kIncValues = "Gender Values";
constexpr const char* kColDesc = "Description";
constexpr const char* kColValue = "Value";
constexpr const char* kColDefault = "Default";
constexpr const char* kPropStop = "Stop Flag";
constexpr const char* kIncRegexlibs = "Match Regexlibs";
constexpr const char* kColRegexlib = "Regexlib";
constexpr const char* kColGender = "Gender";
constexpr const char* kColCategory = "Category";
constexpr const char* kTokenTable = "Parse Substring";

const char* kind_name() { return defn_kind_name(kDefnGender); }

// The included document of that type or include name; NULL when none.
const xmldoc* include_of_type(const xmldoc* doc, const char* type) {
  for (int32_t i = 0; i < doc->include_count; ++i) {
    const xmldoc_include& inc = doc->includes[i];
    if (inc.doc == nullptr) continue;
    if (std::strcmp(inc.doc->type, type) == 0 || std::strcmp(inc.name, type) == 0) return inc.doc;
  }
  return nullptr;
}

// The records that hold something (an emptied record has no key).
int32_t used_records(const xmldoc* doc) {
  int32_t n = 0;
  for (int32_t r = 0; r < doc->record_count; ++r) n += doc->records[r].key != nullptr ? 1 : 0;
  return n;
}

template <typename T>
int32_t reserve(std::vector<T>& v, size_t n) {
  try {
    v.reserve(n);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

void no_memory(context* ctx, const char* what, const char* name) {
  char text[kDefnNameMax + 128];
  std::snprintf(text, sizeof text, what, name);
  TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, static_cast<const char*>(text));
}

int32_t values_read(context* ctx, const xmldoc* element, defn_rec* rec, gender_defn_kind_rec* part) {
  part->values.clear();
  const xmldoc* table = include_of_type(element, kIncValues);
  if (table == nullptr) {
    // Not a memory failure: the definition alone is unusable, the locale
    // goes on loading.
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 153, static_cast<const char*>(rec->name));
    return TQ_ERR_INVALID_CONTENT;
  }
  const int32_t n = used_records(table);
  if (n == 0) return 0;
  int32_t cols[3] = {-1, -1, -1};
  const char* names[3] = {kColDesc, kColValue, kColDefault};
  for (int32_t c = 0; c < 3; ++c) {
    xmldoc_column_find(ctx, table, names[c], &cols[c]);
    if (cols[c] < 0) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 154, names[c], kIncValues, static_cast<const char*>(rec->name));
      return TQ_ERR_INVALID_CONTENT;
    }
  }
  if (reserve(part->values, static_cast<size_t>(n)) != 0) {
    no_memory(ctx, "Allocating memory for gender values of gender analysis definition %s.", rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  for (int32_t r = 0; r < table->record_count; ++r) {
    const xmldoc_record& row = table->records[r];
    if (row.key == nullptr) continue;
    gender_value v;
    str_copy_bounded(v.desc, xmldoc_record_text(row, cols[0]), sizeof v.desc);
    str_copy_bounded(v.value, xmldoc_record_text(row, cols[1]), sizeof v.value);
    v.dflt = xmldoc_record_number(row, cols[2], 0);
    part->values.push_back(v);  // within the room reserved
  }
  return 0;
}

int32_t values_write(context* ctx, xmldoc* element, const gender_defn_kind_rec* part) {
  xmldoc* table = nullptr;
  int32_t rc = xmldoc_create(ctx, kIncValues, kTableVersion, &table);
  if (rc < 0) return rc;
  rc = xmldoc_column_add(ctx, table, kColDesc, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, table, kColValue, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, table, kColDefault, kXmlColInt);
  for (const gender_value& v : part->values) {
    if (rc < 0) break;
    xmldoc_field f[3];
    f[0].type = kXmlColString;
    f[0].text = const_cast<char*>(v.desc);
    f[1].type = kXmlColString;
    f[1].text = const_cast<char*>(v.value);
    f[2].type = kXmlColInt;
    f[2].number = v.dflt;
    rc = xmldoc_record_add(ctx, table, "", nullptr, f);
  }
  if (rc >= 0) rc = xmldoc_include_add(ctx, element, kIncValues, kXmlIncludeInline, table);
  if (rc < 0) {
    xml_free(ctx, table);
    return rc;
  }
  return 0;
}

// ---- Token steps --------------------------------------------------------------------------

// A decimal number; an empty, missing or unreadable text leaves 0.
int32_t stop_flag_read(context* ctx, const xmldoc* element) {
  const char* text = xmldoc_prop_get(ctx, element, kPropStop);
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  return end != text && v != 0 ? 1 : 0;
}

void problem_add(gender_token_kind_rec* part, int32_t code, int32_t msg, const char* column) {
  gender_token_problem p{code, msg, {}};
  str_copy_bounded(p.column, column, sizeof p.column);
  try {
    part->problems.push_back(p);
  } catch (const std::bad_alloc&) {
    // Only the message is lost; the code still reaches the load-result rule.
  }
}

int32_t cats_read(context* ctx, const xmldoc* element, dtok_rec* tok, gender_token_kind_rec* part) {
  const int32_t n = used_records(element);
  if (n == 0) return 0;
  int32_t cat_col = -1;
  int32_t gender_col = -1;
  xmldoc_column_find(ctx, element, kColCategory, &cat_col);
  xmldoc_column_find(ctx, element, kColGender, &gender_col);
  if (cat_col < 0 || gender_col < 0) {
    // Message 154 names the definition: reported with the others.
    problem_add(part, TQ_ERR_INVALID_CONTENT, 154, cat_col < 0 ? kColCategory : kColGender);
    return TQ_ERR_INVALID_CONTENT;
  }
  if (reserve(part->cats, static_cast<size_t>(n)) != 0) {
    no_memory(ctx, "Allocating memory for substring categories of gender definition token %s.", tok->name);
    return TQ_ERR_NO_MEMORY;
  }
  for (int32_t r = 0; r < element->record_count; ++r) {
    const xmldoc_record& row = element->records[r];
    if (row.key == nullptr) continue;
    gender_subcat c;
    str_copy_bounded(c.name, xmldoc_record_text(row, cat_col), sizeof c.name);
    str_copy_bounded(c.value, xmldoc_record_text(row, gender_col), sizeof c.value);
    part->cats.push_back(c);
  }
  return 0;
}

int32_t regexlibs_read(context* ctx, const xmldoc* element, dtok_rec* tok, gender_token_kind_rec* part) {
  const xmldoc* table = include_of_type(element, kIncRegexlibs);
  if (table == nullptr) return 0;
  const int32_t n = used_records(table);
  if (n == 0) return 0;
  int32_t lib_col = -1;
  int32_t gender_col = -1;
  xmldoc_column_find(ctx, table, kColRegexlib, &lib_col);
  xmldoc_column_find(ctx, table, kColGender, &gender_col);
  if (lib_col < 0 || gender_col < 0) {
    problem_add(part, TQ_ERR_INVALID_CONTENT, 155, lib_col < 0 ? kColRegexlib : kColGender);
    return TQ_ERR_INVALID_CONTENT;
  }
  if (reserve(part->regexlibs, static_cast<size_t>(n)) != 0) {
    no_memory(ctx, "Allocating memory for regexlib list of gender definition token %s.", tok->name);
    return TQ_ERR_NO_MEMORY;
  }
  int32_t result = 0;
  for (int32_t r = 0; r < table->record_count; ++r) {
    const xmldoc_record& row = table->records[r];
    if (row.key == nullptr) continue;
    gender_match_regexlib e;
    str_copy_bounded(e.value, xmldoc_record_text(row, gender_col), sizeof e.value);
    const char* name = xmldoc_record_text(row, lib_col);
    if (name[0] != '\0') {
      // A library that cannot be opened now fails only itself: its entry
      // keeps the name when the registry did (rsrc_open_kept), and the
      // others are read.
      const int32_t rc = rsrc_open(ctx, kRsrcRegex, name, 0, &e.lib);
      if (err_is_critical(rc)) return rc;
      if (rc < 0) {
        problem_add(part, rc, 156, "");
        if (result >= 0) result = rc;
      }
    }
    part->regexlibs.push_back(std::move(e));
  }
  return result;
}

int32_t regexlibs_write(context* ctx, xmldoc* element, const gender_token_kind_rec* part) {
  xmldoc* table = nullptr;
  int32_t rc = xmldoc_create(ctx, kIncRegexlibs, kTableVersion, &table);
  if (rc < 0) return rc;
  rc = xmldoc_column_add(ctx, table, kColRegexlib, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, table, kColGender, kXmlColString);
  char name[kRsrcNameSize];
  for (const gender_match_regexlib& e : part->regexlibs) {
    if (rc < 0) break;
    name[0] = '\0';
    if (e.lib.held()) rc = rsrc_name_get(ctx, kRsrcRegex, e.lib.index(), name, sizeof name);
    if (rc < 0) break;
    xmldoc_field f[2];
    f[0].type = kXmlColString;
    f[0].text = name;
    f[1].type = kXmlColString;
    f[1].text = const_cast<char*>(e.value);
    rc = xmldoc_record_add(ctx, table, "", nullptr, f);
  }
  if (rc >= 0) rc = xmldoc_include_add(ctx, element, kIncRegexlibs, kXmlIncludeInline, table);
  if (rc < 0) {
    xml_free(ctx, table);
    return rc;
  }
  return 0;
}

int32_t cats_write(context* ctx, xmldoc* element, const gender_token_kind_rec* part) {
  int32_t rc = xmldoc_column_add(ctx, element, kColCategory, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, element, kColGender, kXmlColString);
  for (const gender_subcat& c : part->cats) {
    if (rc < 0) break;
    xmldoc_field f[2];
    f[0].type = kXmlColString;
    f[0].text = const_cast<char*>(c.name);
    f[1].type = kXmlColString;
    f[1].text = const_cast<char*>(c.value);
    rc = xmldoc_record_add(ctx, element, "", nullptr, f);
  }
  return rc;
}

// Gives back (or with keep_refs forgets) every held library, emptying each
// entry as it goes, and empties the list; the first failure.
int32_t regexlibs_release(context* ctx, gender_token_kind_rec* part, int32_t keep_refs) {
  int32_t rc = 0;
  for (gender_match_regexlib& e : part->regexlibs) {
    if (keep_refs != 0) {
      e.lib.forget();
    } else {
      rc = rc_combine(rc, e.lib.release(ctx));
    }
    e.value[0] = '\0';
  }
  part->regexlibs.clear();
  return rc < 0 ? rc : 0;
}

bool empty_text(const char* text) { return text == nullptr || text[0] == '\0'; }

}  // namespace

// ---- Hooks ------------------------------------------------------------------------------

int32_t gender_defn_type_matches(context*, const char* include_name) {
  return defn_root_type_matches(include_name, kGenderRootType, kGenderRootTypeVertical);
}

int32_t gender_defn_kind_init(context* ctx, defn_rec* rec) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (rec == nullptr) return TQ_ERR_ARGUMENT;
  auto* part = new (std::nothrow) gender_defn_kind_rec;
  if (part == nullptr) return TQ_ERR_NO_MEMORY;
  rec->part = part;
  return 0;
}

int32_t gender_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec) {
  gender_defn_kind_rec* part = gender_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  int32_t last = 0;
  int32_t rc = 0;
  if (rec->parse_defn < 0) {
    TQ_REPORT(ctx, TQ_ERR_INDEX, 1555, kind_name(), static_cast<const char*>(rec->name),
              defn_kind_name(kDefnParse));
    rc = defn_rec_load_result(ctx, rec, TQ_ERR_INDEX, &last);
    if (rc != 0) return rc;
  }
  rc = defn_rec_load_result(ctx, rec, values_read(ctx, element, rec, part), &last);
  if (rc != 0) return rc;
  return last != 0 ? TQ_WARN_READ_PROBLEMS : 0;
}

int32_t gender_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  const gender_defn_kind_rec* part = gender_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  return values_write(ctx, element, part);
}

int32_t gender_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst) {
  const gender_defn_kind_rec* from = gender_defn_part(src);
  gender_defn_kind_rec* to = gender_defn_part(dst);
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  try {
    to->values = from->values;
  } catch (const std::bad_alloc&) {
    to->values.clear();
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

int32_t gender_defn_kind_free(context*, defn_rec* rec, int32_t) {
  gender_defn_kind_rec* part = gender_defn_part(rec);
  if (part == nullptr) return 0;
  delete part;
  rec->part = nullptr;
  return 0;
}

int32_t gender_defn_kind_validate(context* ctx, defn_rec* rec) {
  if (rec == nullptr) return TQ_ERR_ARGUMENT;
  for (const auto& t : rec->tokens.items) {
    gender_token_kind_rec* part = gender_token_part(t.get());
    if (part == nullptr) continue;
    for (const gender_token_problem& p : part->problems) {
      const char* column = p.column;
      if (p.msg == 154) {
        TQ_REPORT(ctx, p.code, 154, column, kTokenTable, static_cast<const char*>(rec->name));
      } else if (p.msg == 155) {
        TQ_REPORT(ctx, p.code, 155, column, kIncRegexlibs, static_cast<const char*>(rec->name),
                  static_cast<const char*>(t->name));
      } else {
        TQ_REPORT(ctx, p.code, 156, static_cast<const char*>(rec->name), static_cast<const char*>(t->name));
      }
    }
    part->problems.clear();
  }
  return 0;
}

int32_t gender_defn_token_init(context* ctx, dtok_rec* tok) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (tok == nullptr) return TQ_ERR_ARGUMENT;
  auto* part = new (std::nothrow) gender_token_kind_rec;
  if (part == nullptr) return TQ_ERR_NO_MEMORY;
  tok->part = part;
  return 0;
}

int32_t gender_defn_token_read(context* ctx, const xmldoc* element, dtok_rec* tok) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  gender_token_kind_rec* part = gender_token_part(tok);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  (void)regexlibs_release(ctx, part, 0);
  part->cats.clear();
  part->problems.clear();
  part->stop = stop_flag_read(ctx, element);
  // Each step runs; the result is the last step that reported something,
  // unless one was critical.
  int32_t result = 0;
  int32_t rc = cats_read(ctx, element, tok, part);
  if (err_is_critical(rc)) return rc;
  if (rc != 0) result = rc;
  rc = regexlibs_read(ctx, element, tok, part);
  if (err_is_critical(rc)) return rc;
  if (rc != 0) result = rc;
  return result;
}

int32_t gender_defn_token_write(context* ctx, xmldoc* element, const dtok_rec* tok) {
  const gender_token_kind_rec* part = gender_token_part(tok);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  int32_t rc = xmldoc_prop_add(ctx, element, kPropStop, part->stop != 0 ? "1" : "0");
  if (rc >= 0) rc = regexlibs_write(ctx, element, part);
  if (rc >= 0) rc = cats_write(ctx, element, part);
  return rc < 0 ? rc : 0;
}

int32_t gender_defn_token_copy(context* ctx, const dtok_rec* src, dtok_rec* dst, int32_t keep_refs) {
  const gender_token_kind_rec* from = gender_token_part(src);
  gender_token_kind_rec* to = gender_token_part(dst);
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  (void)regexlibs_release(ctx, to, 0);
  to->stop = from->stop;
  int32_t rc = 0;
  try {
    to->cats = from->cats;
    to->regexlibs.reserve(from->regexlibs.size());
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  for (size_t i = 0; rc == 0 && i < from->regexlibs.size(); ++i) {
    const gender_match_regexlib& e = from->regexlibs[i];
    gender_match_regexlib c;
    std::memcpy(c.value, e.value, sizeof c.value);
    // An entry without library stays one; it holds nothing to share.
    if (e.lib.held()) {
      if (keep_refs != 0) {
        c.lib = rsrc_ref::adopt(e.lib.kind(), e.lib.index());
      } else {
        rc = e.lib.share(ctx, &c.lib);
      }
    }
    if (rc == 0) to->regexlibs.push_back(std::move(c));
  }
  if (rc < 0) {
    // What the copy took goes back: the store frees a failed copy by its
    // count, and no reference may outlive it.
    (void)regexlibs_release(ctx, to, keep_refs);
    to->cats.clear();
    to->stop = 0;
  }
  return rc;
}

int32_t gender_defn_token_free(context* ctx, dtok_rec* tok, int32_t keep_refs) {
  gender_token_kind_rec* part = gender_token_part(tok);
  if (part == nullptr) return 0;
  (void)regexlibs_release(ctx, part, keep_refs);
  delete part;
  tok->part = nullptr;
  return 0;
}

const defn_kind_ops kGenderDefnKindOps = [] {
  defn_kind_ops ops;
  ops.root_type = kGenderRootType;
  ops.type_matches = gender_defn_type_matches;
  ops.init = gender_defn_kind_init;
  ops.read = gender_defn_kind_read;
  ops.write = gender_defn_kind_write;
  ops.copy = gender_defn_kind_copy;
  ops.free = gender_defn_kind_free;
  ops.validate = gender_defn_kind_validate;
  // The reader refuses a gender definition that names no parse definition.
  ops.needs_named = [](int32_t named_kind) -> int32_t { return named_kind == kDefnParse ? 1 : 0; };
  ops.token_init = gender_defn_token_init;
  ops.token_read = gender_defn_token_read;
  ops.token_write = gender_defn_token_write;
  ops.token_copy = gender_defn_token_copy;
  ops.token_free = gender_defn_token_free;
  return ops;
}();

// ---- Changes ------------------------------------------------------------------------------

int32_t gender_value_add(context*, defn_rec* rec, const char* value, const char* desc, int32_t dflt) {
  gender_defn_kind_rec* part = gender_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (empty_text(value)) return TQ_ERR_ARGUMENT;
  gender_value v;
  str_copy_bounded(v.value, value, sizeof v.value);
  str_copy_bounded(v.desc, desc, sizeof v.desc);
  v.dflt = dflt;
  try {
    part->values.push_back(v);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

int32_t gender_values_delete_all(context*, defn_rec* rec) {
  gender_defn_kind_rec* part = gender_defn_part(rec);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  part->values.clear();
  return 0;
}

int32_t gender_token_stop_flag_set(dtok_rec* tok, int32_t flag) {
  gender_token_kind_rec* part = gender_token_part(tok);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  part->stop = flag != 0 ? 1 : 0;  // written as 1 or 0
  return 0;
}

int32_t gender_token_category_add(context*, dtok_rec* tok, const char* name, const char* value) {
  gender_token_kind_rec* part = gender_token_part(tok);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (empty_text(name) || empty_text(value)) return TQ_ERR_ARGUMENT;
  gender_subcat c;
  str_copy_bounded(c.name, name, sizeof c.name);
  str_copy_bounded(c.value, value, sizeof c.value);
  try {
    part->cats.push_back(c);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

int32_t gender_token_categories_delete_all(context*, dtok_rec* tok) {
  gender_token_kind_rec* part = gender_token_part(tok);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  part->cats.clear();
  return 0;
}

int32_t gender_token_regexlib_add(context* ctx, dtok_rec* tok, const char* name, const char* value) {
  gender_token_kind_rec* part = gender_token_part(tok);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (empty_text(name) || empty_text(value)) return TQ_ERR_ARGUMENT;
  gender_match_regexlib e;
  str_copy_bounded(e.value, value, sizeof e.value);
  const int32_t rc = rsrc_open_checked(ctx, kRsrcRegex, name, 0, &e.lib);
  if (rc < 0) return rc;
  const int32_t grown =
      defn_list_append(part->regexlibs, std::move(e), [ctx](gender_match_regexlib& x) { (void)x.lib.release(ctx); });
  return grown < 0 ? grown : rc;
}

int32_t gender_token_regexlib_set(context* ctx, dtok_rec* tok, int32_t j, const char* name, const char* value) {
  gender_token_kind_rec* part = gender_token_part(tok);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (empty_text(name) || empty_text(value)) return TQ_ERR_ARGUMENT;
  if (j < 0 || static_cast<size_t>(j) >= part->regexlibs.size()) return TQ_ERR_INDEX;
  gender_match_regexlib& e = part->regexlibs[static_cast<size_t>(j)];
  bool changed = false;
  const int32_t rc = defn_ref_swap(ctx, kRsrcRegex, e.lib, name, &changed);
  if (!changed && rc < 0) return rc;  // the entry is as it was
  str_copy_bounded(e.value, value, sizeof e.value);
  return rc;
}

int32_t gender_token_regexlibs_delete_all(context* ctx, dtok_rec* tok) {
  gender_token_kind_rec* part = gender_token_part(tok);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  return regexlibs_release(ctx, part, 0);
}

int32_t gender_token_regexlib_name_get(context* ctx, const dtok_rec* tok, int32_t j, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return TQ_ERR_ARGUMENT;
  out[0] = '\0';
  const gender_token_kind_rec* part = gender_token_part(tok);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (j < 0 || static_cast<size_t>(j) >= part->regexlibs.size()) return TQ_ERR_INDEX;
  return rsrc_name_get(ctx, kRsrcRegex, part->regexlibs[static_cast<size_t>(j)].lib.index(), out, size);
}

}  // namespace tq

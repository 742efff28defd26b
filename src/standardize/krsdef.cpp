#include "standardize/krsdef.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krdefnlist.h"
#include "kbstore/krlocload.h"
#include "kbstore/krxml.h"

namespace tq {

namespace {

constexpr const char* kPropCase = "Case";
constexpr const char* kPropCaseDefn = "Caseorithm";
constexpr const char* kPropPostCase = "Postprocessing Case";
constexpr const char* kPropPostCaseDefn = "Postprocessing Caseorithm";
constexpr const char* kPropUppercasing = "Automatic Uppercasing";
constexpr const char* kIncTrans = "Transformation Regexlibs";

// Messages of a definition read.
constexpr int32_t kMsgBadCase = 90;
constexpr int32_t kMsgNoCaseDefn = 91;
constexpr int32_t kMsgNoTokenCaseDefn = 92;
constexpr int32_t kMsgNoTransLib = 1542;

const char* kind_name() { return defn_kind_name(kDefnStdzn); }

// The code of the current locale, -1 when none.
int32_t current_locale_code(context* ctx) {
  loaded_locale_rec* loc = nullptr;
  return locale_current_rec_get(ctx, &loc) == 0 && loc != nullptr ? loc->code : -1;
}

// One of the definition's case settings: "Case" (or "Postprocessing
// Case") and the case definition it names. An absent or empty mode leaves
// the defaults and ends the step.
int32_t read_case_pair(context* ctx, const xmldoc* el, defn_rec* rec, const char* mode_prop, const char* defn_prop,
                       uint32_t* mode, int32_t* defn) {
  const char* value = xmldoc_prop_get(ctx, el, mode_prop);
  if (value[0] == '\0') return 0;
  const int32_t id = case_id_get_by_name(value);
  if (id < 0) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, kMsgBadCase, value, kind_name(), rec->name);
    return TQ_ERR_INVALID_CONTENT;
  }
  *mode = static_cast<uint32_t>(id);
  const char* name = xmldoc_prop_get(ctx, el, defn_prop);
  if (name[0] == '\0') return 0;
  // Among every case definition, surfaced or not, of the definition's own
  // locale: the one the reader is filling.
  // Without case definitions loaded, that is the one thing to say.
  if (defn_rec_unloaded_report(ctx, rec, kDefnCase, name, TQ_ERR_INVALID_CONTENT)) return TQ_ERR_INVALID_CONTENT;
  int32_t index = -1;
  const int32_t rc = defn_index_get_by_name_in_locale(ctx, kDefnCase, name, rec->locale, kDefnAnySurface, &index);
  if (rc < 0 || index < 0) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, kMsgNoCaseDefn, name, kind_name(), rec->name);
    return TQ_ERR_INVALID_CONTENT;
  }
  *defn = index;
  return 0;
}

// A case definition held by index (in the index space of `locale`, -1 the
// current locale's), as a writer names it: the property with its name,
// none for none (or an index that names nothing any more, which the reader
// then takes as none).
int32_t case_defn_prop_add(context* ctx, xmldoc* el, const char* group, const char* prop, int32_t locale,
                           int32_t index) {
  const defn_rec* crec = defn_held_get(ctx, kDefnCase, locale < 0 ? current_locale_code(ctx) : locale, index);
  if (crec == nullptr) return 0;
  return group != nullptr ? xmldoc_prop_add_grouped(ctx, el, group, prop, crec->name)
                          : xmldoc_prop_add(ctx, el, prop, crec->name);
}

// Writes the case mode's name; a number outside 0..3 writes "None".
int32_t mode_prop_add(context* ctx, xmldoc* el, const char* group, const char* prop, uint32_t mode) {
  char name[8];
  if (case_name_get_by_id(mode, name, sizeof name) != 0) str_copy_bounded(name, "None", sizeof name);
  return group != nullptr ? xmldoc_prop_add_grouped(ctx, el, group, prop, name)
                          : xmldoc_prop_add(ctx, el, prop, name);
}

void problem_note(stdzn_token_kind_rec* part, int32_t message, int32_t code, const char* name) {
  try {
    part->problems.push_back({message, code, name});
  } catch (const std::bad_alloc&) {
    // The failure itself is still returned by the read; only its report is lost.
  }
}

// Token step 3: the transformation libraries of the token's table.
int32_t read_trans(context* ctx, const xmldoc* element, dtok_rec* tok, stdzn_token_kind_rec* part) {
  const xmldoc* table = xmldoc_include_doc_find(element, kIncTrans);
  if (table == nullptr) return 0;
  stdzn_token_trans_delete_all(ctx, tok);
  const size_t n = table->record_count > 0 ? static_cast<size_t>(table->record_count) : 0;
  try {
    part->trans.resize(n);
  } catch (const std::bad_alloc&) {
    char text[kDtokNameSize + 96];
    std::snprintf(text, sizeof text, "Allocating memory for transform regex library list of stdzn definition token %s.",
                  tok->name);
    TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, text);
    return TQ_ERR_NO_MEMORY;
  }
  int32_t last = 0;
  for (size_t r = 0; r < n; ++r) {
    const xmldoc_record& record = table->records[r];
    if (record.key == nullptr) continue;  // an empty record names nothing
    const char* name = record.value != nullptr && record.value[0] != '\0' ? record.value : record.key;
    int32_t rc = rsrc_open(ctx, kRsrcRegex, name, 0, &part->trans[r]);
    if (rc >= 0 && !part->trans[r].held()) rc = TQ_ERR_INVALID_CONTENT;
    if (rc < 0) {
      if (err_is_critical(rc)) return rc;
      problem_note(part, kMsgNoTransLib, rc, name);
      last = rc;
    }
  }
  return last;
}

}  // namespace

// ---- Case definitions held by index ----------------------------------------------------

int32_t stdzn_case_defn_get(context* ctx, int32_t locale, int32_t index, defn_rec** out) {
  *out = nullptr;
  if (index < 0) return TQ_ERR_INDEX;
  defn_rec* rec = nullptr;
  const int32_t rc = locale < 0 ? defn_record_get_for_read(ctx, kDefnCase, index, &rec)
                                : defn_record_get_for_read_in_locale(ctx, kDefnCase, locale, index, &rec);
  if (rc < 0) return rc;
  // An unloaded slot keeps its index but is no case definition: a setter
  // given it would hold an index that no write can name.
  if (rec->kind != kDefnCase) return TQ_ERR_INDEX;
  *out = rec;
  return 0;
}

uint32_t stdzn_token_case_mode(const defn_rec* rec, const dtok_rec* tok) {
  const stdzn_token_kind_rec* own = stdzn_token_part(tok);
  if (own != nullptr && own->case_set != 0) return own->case_mode;
  const stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
  return part != nullptr ? part->case_mode : kCaseUpper;
}

int32_t stdzn_token_case_defn(const defn_rec* rec, const dtok_rec* tok) {
  const stdzn_token_kind_rec* own = stdzn_token_part(tok);
  if (own != nullptr && own->case_set != 0) return own->case_defn;
  const stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
  return part != nullptr ? part->case_defn : -1;
}

// ---- Hooks ------------------------------------------------------------------------------

int32_t stdzn_defn_type_matches(context*, const char* include_name) {
  return defn_root_type_matches(include_name, kStdznRootType, kStdznRootTypeVertical);
}

int32_t stdzn_defn_kind_init(context*, defn_rec* rec) {
  auto* part = new (std::nothrow) stdzn_defn_kind_rec;
  if (part == nullptr) return TQ_ERR_NO_MEMORY;
  rec->part = part;
  return 0;
}

int32_t stdzn_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec) {
  stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  int32_t last = 0;
  // A document without "Case" applies Upper; one without "Postprocessing
  // Case" has no postprocessing case, whatever a new definition starts with.
  part->case_mode = kCaseUpper;
  part->case_defn = -1;
  int32_t rc = defn_rec_load_result(
      ctx, rec, read_case_pair(ctx, element, rec, kPropCase, kPropCaseDefn, &part->case_mode, &part->case_defn),
      &last);
  if (rc != 0) return rc;
  part->post_case_mode = kCaseNone;
  part->post_case_defn = -1;
  rc = defn_rec_load_result(ctx, rec,
                            read_case_pair(ctx, element, rec, kPropPostCase, kPropPostCaseDefn,
                                           &part->post_case_mode, &part->post_case_defn),
                            &last);
  if (rc != 0) return rc;
  return last != 0 ? TQ_WARN_READ_PROBLEMS : 0;
}

int32_t stdzn_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  const stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  int32_t rc = mode_prop_add(ctx, element, nullptr, kPropCase, part->case_mode);
  if (rc >= 0) rc = mode_prop_add(ctx, element, kStdznVersion9, kPropPostCase, part->post_case_mode);
  if (rc >= 0) rc = case_defn_prop_add(ctx, element, nullptr, kPropCaseDefn, rec->locale, part->case_defn);
  if (rc >= 0) {
    rc = case_defn_prop_add(ctx, element, kStdznVersion9, kPropPostCaseDefn, rec->locale, part->post_case_defn);
  }
  return rc < 0 ? rc : 0;
}

int32_t stdzn_defn_kind_copy(context*, const defn_rec* src, defn_rec* dst) {
  const stdzn_defn_kind_rec* from = stdzn_defn_part(src);
  stdzn_defn_kind_rec* to = stdzn_defn_part(dst);
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  *to = *from;
  return 0;
}

int32_t stdzn_defn_kind_free(context*, defn_rec* rec, int32_t) {
  stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
  if (part == nullptr) return 0;
  delete part;
  rec->part = nullptr;
  return 0;
}

int32_t stdzn_defn_kind_validate(context* ctx, defn_rec* rec) {
  const stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
  if (part == nullptr) return TQ_ERR_ARGUMENT;
  for (auto& item : rec->tokens.items) {
    dtok_rec* tok = item.get();
    stdzn_token_kind_rec* own = stdzn_token_part(tok);
    if (own == nullptr) continue;
    own->locale = rec->locale;
    for (const stdzn_token_read_problem& p : own->problems) {
      if (p.message == kMsgNoTokenCaseDefn) {
        TQ_REPORT(ctx, p.code, kMsgNoTokenCaseDefn, p.name.c_str(), static_cast<const char*>(tok->name), kind_name(),
                  static_cast<const char*>(rec->name));
      } else {
        TQ_REPORT(ctx, p.code, kMsgNoTransLib, p.name.c_str(), static_cast<const char*>(tok->name), kind_name(),
                  static_cast<const char*>(rec->name));
      }
    }
    std::vector<stdzn_token_read_problem>().swap(own->problems);
    // A token that says nothing of uppercasing and keeps its text's case is
    // not uppercased either.
    if (own->uppercasing_unread != 0 && stdzn_token_case_mode(rec, tok) == kCaseNone) tok->automatic_uppercasing = 0;
    own->uppercasing_unread = 0;
  }
  // The tokens' reads returned their failures already.
  return 0;
}

int32_t stdzn_defn_kind_remap(context*, defn_rec* rec, int32_t) {
  for (auto& item : rec->tokens.items) {
    stdzn_token_kind_rec* own = stdzn_token_part(item.get());
    if (own != nullptr) own->locale = rec->locale;
  }
  return 0;
}

void stdzn_defn_held_indices(defn_rec* rec, defn_held_visit visit, void* arg) {
  stdzn_defn_kind_rec* part = stdzn_defn_part(rec);
  if (part == nullptr) return;
  visit(arg, kDefnCase, &part->case_defn);
  visit(arg, kDefnCase, &part->post_case_defn);
  for (auto& item : rec->tokens.items) {
    stdzn_token_kind_rec* own = stdzn_token_part(item.get());
    if (own != nullptr) visit(arg, kDefnCase, &own->case_defn);
  }
}

int32_t stdzn_defn_token_init(context*, dtok_rec* tok) {
  auto* part = new (std::nothrow) stdzn_token_kind_rec;
  if (part == nullptr) return TQ_ERR_NO_MEMORY;
  tok->part = part;
  return 0;
}

int32_t stdzn_defn_token_read(context* ctx, const xmldoc* element, dtok_rec* tok) {
  stdzn_token_kind_rec* part = stdzn_token_part(tok);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  // Tokens are read while their definition's locale is current.
  part->locale = current_locale_code(ctx);
  int32_t last = 0;
  // 1. Only the exact names give the token a case of its own.
  const char* mode = xmldoc_prop_get(ctx, element, kPropCase);
  for (uint32_t id = kCaseNone; id <= kCaseProper; ++id) {
    char name[8];
    (void)case_name_get_by_id(id, name, sizeof name);
    if (std::strcmp(mode, name) == 0) {
      part->case_set = 1;
      part->case_mode = id;
    }
  }
  // 2. The case definition, whether or not the token has a case of its own.
  char name[kDefnNameMax + 1];
  str_copy_bounded(name, xmldoc_prop_get(ctx, element, kPropCaseDefn), sizeof name);
  if (name[0] != '\0') {
    int32_t index = -1;
    int32_t rc = defn_index_get_by_name_in_locale(ctx, kDefnCase, name, part->locale, kDefnAnySurface, &index);
    if (err_is_critical(rc)) return rc;
    if (rc < 0 || index < 0) {
      problem_note(part, kMsgNoTokenCaseDefn, TQ_ERR_INVALID_CONTENT, name);
      last = TQ_ERR_INVALID_CONTENT;
    } else {
      part->case_defn = index;
    }
  }
  // 3. The transformation libraries.
  const int32_t trans = read_trans(ctx, element, tok, part);
  if (err_is_critical(trans)) return trans;
  if (trans < 0) last = trans;
  // 4. Settled by the definition's validation, which knows its case mode.
  part->uppercasing_unread = xmldoc_prop_get(ctx, element, kPropUppercasing)[0] == '\0' ? 1 : 0;
  return last;
}

int32_t stdzn_defn_token_write(context* ctx, xmldoc* element, const dtok_rec* tok) {
  const stdzn_token_kind_rec* part = stdzn_token_part(tok);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  // "Use Separator" and "Separator" are written with the common token
  // fields.
  int32_t rc = 0;
  if (part->case_set != 0) {
    rc = mode_prop_add(ctx, element, nullptr, kPropCase, part->case_mode);
    if (rc >= 0) rc = case_defn_prop_add(ctx, element, nullptr, kPropCaseDefn, part->locale, part->case_defn);
  }
  if (rc < 0) return rc;
  xmldoc* table = nullptr;
  rc = xmldoc_create(ctx, kIncTrans, kStdznVersion9, &table);
  if (rc < 0) return rc;
  char name[kRsrcNameSize];
  for (const rsrc_ref& ref : part->trans) {
    // An entry whose library could not be opened has no name to keep.
    if (!ref.held()) continue;
    rc = rsrc_name_get(ctx, kRsrcRegex, ref.index(), name, sizeof name);
    if (rc >= 0) rc = xmldoc_record_add(ctx, table, "", name, nullptr);
    if (rc < 0) break;
  }
  if (rc >= 0) rc = xmldoc_include_add(ctx, element, kIncTrans, kXmlIncludeInline, table);
  if (rc < 0) {
    xml_free(ctx, table);
    return rc;
  }
  return 0;
}

int32_t stdzn_defn_token_copy(context* ctx, const dtok_rec* src, dtok_rec* dst, int32_t keep_refs) {
  const stdzn_token_kind_rec* from = stdzn_token_part(src);
  stdzn_token_kind_rec* to = stdzn_token_part(dst);
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  stdzn_token_trans_delete_all(ctx, dst);
  to->case_set = from->case_set;
  to->case_mode = from->case_mode;
  to->case_defn = from->case_defn;
  to->locale = from->locale;
  try {
    to->trans.resize(from->trans.size());
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  for (size_t i = 0; i < from->trans.size(); ++i) {
    if (!from->trans[i].held()) continue;
    int32_t rc = 0;
    if (keep_refs != 0) {
      to->trans[i] = rsrc_ref::adopt(kRsrcRegex, from->trans[i].index());
    } else {
      rc = from->trans[i].share(ctx, &to->trans[i]);
    }
    if (rc < 0) {
      // What was taken so far is given back, not leaked.
      if (keep_refs == 0) stdzn_token_trans_delete_all(ctx, dst);
      return rc;
    }
  }
  return 0;
}

int32_t stdzn_defn_token_free(context* ctx, dtok_rec* tok, int32_t keep_refs) {
  stdzn_token_kind_rec* part = stdzn_token_part(tok);
  if (part == nullptr) return 0;
  for (rsrc_ref& ref : part->trans) {
    if (keep_refs != 0) {
      ref.forget();
    } else {
      (void)ref.release(ctx);
    }
  }
  delete part;
  tok->part = nullptr;
  return 0;
}

const defn_kind_ops kStdznDefnKindOps = [] {
  defn_kind_ops ops;
  ops.root_type = kStdznRootType;
  ops.type_matches = stdzn_defn_type_matches;
  ops.init = stdzn_defn_kind_init;
  ops.read = stdzn_defn_kind_read;
  ops.write = stdzn_defn_kind_write;
  ops.copy = stdzn_defn_kind_copy;
  ops.free = stdzn_defn_kind_free;
  ops.validate = stdzn_defn_kind_validate;
  ops.remap = stdzn_defn_kind_remap;
  ops.held_indices = stdzn_defn_held_indices;
  ops.token_init = stdzn_defn_token_init;
  ops.token_read = stdzn_defn_token_read;
  ops.token_write = stdzn_defn_token_write;
  ops.token_copy = stdzn_defn_token_copy;
  ops.token_free = stdzn_defn_token_free;
  return ops;
}();

// ---- Transformation regex libraries ------------------------------------------------------

int32_t stdzn_token_trans_set(context* ctx, dtok_rec* tok, uint32_t j, const char* name, bool* changed) {
  *changed = false;
  stdzn_token_kind_rec* part = stdzn_token_part(tok);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (j >= part->trans.size()) return TQ_ERR_INDEX;
  rsrc_ref& entry = part->trans[j];
  if (entry.held()) {
    char present[kRsrcNameSize];
    if (rsrc_name_get(ctx, kRsrcRegex, entry.index(), present, sizeof present) >= 0 &&
        std::strcmp(present, name) == 0) {
      return 0;
    }
  }
  // The named library is opened before the old one is given back, so a
  // name that cannot be opened leaves the entry as it was.
  rsrc_ref fresh;
  const int32_t rc = rsrc_open_checked(ctx, kRsrcRegex, name, 0, &fresh);
  if (rc < 0) return rc;
  const int32_t released = entry.release(ctx);
  entry = std::move(fresh);
  *changed = true;
  return rc_combine(released, rc);
}

int32_t stdzn_token_trans_add(context* ctx, dtok_rec* tok, const char* name) {
  stdzn_token_kind_rec* part = stdzn_token_part(tok);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  rsrc_ref ref;
  const int32_t rc = rsrc_open_checked(ctx, kRsrcRegex, name, 0, &ref);
  if (rc < 0) return rc;
  const int32_t grown = defn_list_append(part->trans, std::move(ref), [ctx](rsrc_ref& r) { (void)r.release(ctx); });
  return grown < 0 ? grown : rc;
}

void stdzn_token_trans_delete_all(context* ctx, dtok_rec* tok) {
  stdzn_token_kind_rec* part = stdzn_token_part(tok);
  if (part == nullptr) return;
  for (rsrc_ref& ref : part->trans) (void)ref.release(ctx);
  std::vector<rsrc_ref>().swap(part->trans);
}

int32_t stdzn_token_trans_name_get(context* ctx, const dtok_rec* tok, uint32_t j, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return TQ_ERR_ARGUMENT;
  out[0] = '\0';
  const stdzn_token_kind_rec* part = stdzn_token_part(tok);
  if (part == nullptr) return TQ_ERR_PART_MISSING;
  if (j >= part->trans.size()) return TQ_ERR_INDEX;
  if (!part->trans[j].held()) return 0;
  return rsrc_name_get(ctx, kRsrcRegex, part->trans[j].index(), out, size);
}

}  // namespace tq

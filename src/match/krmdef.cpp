#include "match/krmdef.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krxml.h"
#include "kbstore/krxmltab.h"
#include "match/krmtres.h"

namespace tq {

namespace {

constexpr const char* kVersion7 = "7.0";
constexpr const char* kTypeSchemes = "PreProc Schemes";
constexpr const char* kColSchemeType = "Scheme Type";
constexpr const char* kColCaseInsensitive = "Case Insensitive";

const xmldoc* include_of_type(const xmldoc* el, const char* type) {
  for (int32_t i = 0; i < el->include_count; ++i) {
    const xmldoc* doc = el->includes[i].doc;
    if (doc != nullptr && std::strcmp(doc->type, type) == 0) return doc;
  }
  return nullptr;
}

void schemes_release(context* ctx, std::vector<match_scheme_entry>* schemes, int32_t keep_refs) {
  for (match_scheme_entry& e : *schemes) {
    if (keep_refs != 0) {
      e.scheme.forget();
    } else {
      (void)e.scheme.release(ctx);
    }
  }
  schemes->clear();
}

// ---- "PreProc Schemes" -------------------------------------------------------------

int32_t schemes_read(context* ctx, const xmldoc* el, defn_rec* rec, match_defn_kind_rec* part) {
  const xmldoc* table = include_of_type(el, kTypeSchemes);
  if (table == nullptr || table->record_count < 1) return 0;
  try {
    part->schemes.reserve(static_cast<size_t>(table->record_count));
  } catch (const std::bad_alloc&) {
    defn_memory_report(ctx, "Allocating memory for scheme indices of match definition %s.", rec->name);
    return TQ_ERR_NO_MEMORY;
  }
  int32_t ci_col = -1;
  int32_t type_col = -1;
  (void)xmldoc_column_find(ctx, table, kColCaseInsensitive, &ci_col);
  if (xmldoc_column_find(ctx, table, kColSchemeType, &type_col) != 0 || type_col < 0) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 131, kColSchemeType, rec->name);
    return TQ_ERR_INVALID_CONTENT;
  }
  int32_t result = 0;
  for (int32_t r = 0; r < table->record_count; ++r) {
    const xmldoc_record& row = table->records[r];
    if (row.key == nullptr) continue;
    const char* name = row.value != nullptr ? row.value : "";
    // Without the column every scheme is case-insensitive; with it only the
    // exact text "Yes" makes one so. Any type but "Phrase" is element mode.
    uint32_t options = 0;
    if (ci_col < 0 || std::strcmp(xmldoc_record_text(row, ci_col), "Yes") == 0) {
      options |= kMatchSchemeCaseInsensitive;
    }
    const xmldoc_field* type = xmldoc_field_get(table, r, type_col);
    if (type != nullptr && std::strcmp(xmldoc_field_text(type), "Phrase") != 0) options |= kMatchSchemeElement;
    match_scheme_entry entry;
    int32_t rc = match_scheme_open(ctx, name, options, &entry, false);
    if (rc < 0) TQ_REPORT(ctx, rc, 132, name, rec->name);
    // Kept by its name alone too: the file names it (rsrc_open_kept).
    if (entry.scheme.held()) part->schemes.push_back(std::move(entry));  // reserved: cannot throw
    if (err_is_critical(rc)) return rc;
    if (rc < 0) result = rc;
  }
  return result;
}

int32_t schemes_write(context* ctx, xmldoc* el, const match_defn_kind_rec* part) {
  return rsrc_name_table_write(
      ctx, el, kTypeSchemes, kTypeSchemes, kVersion7, kRsrcScheme,
      {{kColSchemeType, kXmlColString}, {kColCaseInsensitive, kXmlColString}}, part->schemes,
      [](const match_scheme_entry& e) -> const rsrc_ref& { return e.scheme; },
      [&](xmldoc* doc, const match_scheme_entry& e, const char* name) {
        xmldoc_field f[2]{};
        f[0].type = kXmlColString;
        f[0].text = const_cast<char*>((e.options & kMatchSchemeElement) != 0 ? "Element" : "Phrase");
        f[1].type = kXmlColString;
        f[1].text = const_cast<char*>((e.options & kMatchSchemeCaseInsensitive) != 0 ? "Yes" : "No");
        return xmldoc_record_add(ctx, doc, "", name, f);
      });
}

void problem_report(context* ctx, const defn_rec* rec, const dtok_rec* tok, const match_read_problem& p) {
  const char* name = p.name.empty() ? "" : p.name.data();
  switch (p.message) {
    case 133:
      TQ_REPORT(ctx, p.code, 133, name, tok->name, kMatchKindName, rec->name);
      break;
    case 134:
      TQ_REPORT(ctx, p.code, 134, name, tok->name, kMatchKindName, rec->name);
      break;
    case 1542:
      TQ_REPORT(ctx, p.code, 1542, name, tok->name, kMatchKindName, rec->name);
      break;
    case 88:
      TQ_REPORT(ctx, p.code, 88, name, tok->name, kMatchKindName, rec->name);
      break;
    case 192:
      TQ_REPORT(ctx, p.code, 192, name, kMatchKindName, rec->name);
      break;
    case 1469:
      TQ_REPORT(ctx, p.code, 1469, kMatchKindName, rec->name);
      break;
    case 135:
      TQ_REPORT(ctx, p.code, 135, tok->name, rec->name, static_cast<int32_t>(kMatchSensCount), p.number);
      break;
    default:
      break;
  }
}

}  // namespace

// ---- Shared helpers ------------------------------------------------------------------------

int32_t match_scheme_open(context* ctx, const char* name, uint32_t options, match_scheme_entry* entry,
                          bool checked) {
  if (entry == nullptr || entry->scheme.held()) return TQ_ERR_ARGUMENT;
  entry->options = options & (kMatchSchemeElement | kMatchSchemeCaseInsensitive);
  return checked ? rsrc_open_checked(ctx, kRsrcScheme, name, entry->options, &entry->scheme)
                 : rsrc_open(ctx, kRsrcScheme, name, entry->options, &entry->scheme);
}

void match_defn_code_length_recompute(defn_rec* rec) {
  match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr) return;
  int32_t length = static_cast<int32_t>(kMatchCodeLengthMin);
  for (const auto& item : rec->tokens.items) {
    const match_token_kind_rec* tp = match_token_part(item.get());
    if (tp == nullptr) continue;
    for (const match_position& p : tp->positions) length = std::max(length, p.end);
  }
  part->code_length = static_cast<uint32_t>(length);
}

int32_t match_position_check(int32_t start, int32_t end) {
  return 0 <= start && start <= end && end <= kMatchPositionMax ? 0 : TQ_ERR_ARGUMENT;
}

void match_defn_unprepare(defn_rec* rec) {
  match_defn_kind_rec* part = match_defn_part(rec);
  if (part != nullptr) part->prepared.store(0, std::memory_order_release);
  if (rec == nullptr) return;
  for (auto& item : rec->tokens.items) {
    if (match_token_kind_rec* tp = match_token_part(item.get())) tp->prepared = 0;
  }
}

// ---- Hooks ---------------------------------------------------------------------------------

int32_t match_defn_type_matches(context*, const char* include_name) {
  return defn_root_type_matches(include_name, kMatchRootType, kMatchRootTypeVertical);
}

int32_t match_defn_kind_init(context*, defn_rec* rec) {
  auto* part = new (std::nothrow) match_defn_kind_rec;
  if (part == nullptr) return TQ_ERR_NO_MEMORY;
  rec->part = part;
  return 0;
}

int32_t match_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec) {
  match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  int32_t last = 0;
  int32_t rc = defn_rec_load_result(ctx, rec, schemes_read(ctx, element, rec, part), &last);
  if (rc == 0) rc = defn_rec_load_result(ctx, rec, match_rules_read(ctx, element, rec), &last);
  if (rc != 0) return rc;
  return last != 0 ? TQ_WARN_READ_PROBLEMS : 0;
}

int32_t match_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec) {
  const match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  int32_t rc = schemes_write(ctx, element, part);
  if (rc >= 0) rc = match_rules_write(ctx, element, rec);
  return rc < 0 ? rc : 0;
}

int32_t match_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst) {
  const match_defn_kind_rec* from = match_defn_part(src);
  match_defn_kind_rec* to = match_defn_part(dst);
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  int32_t rc = 0;
  try {
    to->schemes.reserve(from->schemes.size());
    for (const match_scheme_entry& e : from->schemes) {
      match_scheme_entry& t = to->schemes.emplace_back();
      t.options = e.options;
      // An entry left unbound by a failed open stays unbound in the copy.
      rc = e.scheme.share(ctx, &t.scheme);
      if (rc < 0) break;
    }
    if (rc >= 0) to->rules = from->rules;
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  if (rc < 0) {
    schemes_release(ctx, &to->schemes, 0);
    to->rules.clear();
    return rc;
  }
  to->code_length = from->code_length;
  to->include_default = from->include_default;
  to->prepared.store(0, std::memory_order_release);
  return 0;
}

int32_t match_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs) {
  match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr) return 0;
  schemes_release(ctx, &part->schemes, keep_refs);
  delete part;
  rec->part = nullptr;
  return 0;
}

int32_t match_defn_kind_validate(context* ctx, defn_rec* rec) {
  match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr) return TQ_ERR_ARGUMENT;
  for (auto& item : rec->tokens.items) {
    match_token_kind_rec* tp = match_token_part(item.get());
    if (tp == nullptr) continue;
    for (const match_read_problem& p : tp->problems) problem_report(ctx, rec, item.get(), p);
    std::vector<match_read_problem>().swap(tp->problems);
  }
  match_defn_code_length_recompute(rec);
  // The tokens' reads returned their failures already.
  if (rec->valid != 0 && (ctx->options & kOptPrepareOnRead) != 0) return match_defn_prepare_held(ctx, rec);
  return 0;
}

int32_t match_defn_kind_remap(context*, defn_rec* rec, int32_t) {
  match_defn_code_length_recompute(rec);
  match_defn_unprepare(rec);
  return 0;
}

void match_defn_invalidate(context*, defn_rec* rec, uint32_t what) {
  if (what != 0) match_defn_unprepare(rec);
}

int32_t match_defn_token_init(context* ctx, dtok_rec* tok) {
  auto* part = defn_part_with_morph_new<match_token_kind_rec>(ctx);
  if (part == nullptr) return TQ_ERR_NO_MEMORY;
  if (default_category_list_init(&part->defaults) != 0) {
    delete part;
    TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Allocating memory for default cats list in token.");
    return TQ_ERR_NO_MEMORY;
  }
  tok->part = part;
  return 0;
}

const defn_kind_ops kMatchDefnKindOps = [] {
  defn_kind_ops ops;
  ops.root_type = kMatchRootType;
  ops.type_matches = match_defn_type_matches;
  ops.init = match_defn_kind_init;
  ops.read = match_defn_kind_read;
  ops.write = match_defn_kind_write;
  ops.copy = match_defn_kind_copy;
  ops.free = match_defn_kind_free;
  ops.validate = match_defn_kind_validate;
  ops.remap = match_defn_kind_remap;
  ops.token_init = match_defn_token_init;
  ops.token_read = match_defn_token_read;
  ops.token_write = match_defn_token_write;
  ops.token_copy = match_defn_token_copy;
  ops.token_free = match_defn_token_free;
  ops.invalidate = match_defn_invalidate;
  return ops;
}();

}  // namespace tq

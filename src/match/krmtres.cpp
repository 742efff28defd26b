#include "match/krmtres.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krdcat.h"
#include "kbstore/krvlt.h"
#include "kbstore/krxml.h"
#include "kbstore/krxmltab.h"
#include "resources/krphtx.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr const char* kVersion7 = "7.0";
constexpr const char* kVersion9 = "9.0";
constexpr const char* kTypeNoise = "Noise Vocabs";
constexpr const char* kTypePhonetx = "PhonetX Libs";
constexpr const char* kTypeTransform = "Transformation Regexlibs";
constexpr const char* kTypeNormCat = "Norm Cat Regexlibs";
constexpr const char* kTypeVocabs = "Vocabularies";
constexpr const char* kTypeCatList = "Categorization Regexlibs";
constexpr const char* kTypeSens = "Sensitivities";
constexpr const char* kColHigh = "Sens Range High";
constexpr const char* kColLow = "Sens Range Low";
constexpr const char* kColName = "Name";
constexpr const char* kColStop = "Stop Flag";
constexpr const char* kColSens = "Sensitivity";
constexpr const char* kColStart = "Start pos";
constexpr const char* kColEnd = "End pos";
constexpr const char* kProp95Start = "Sens 95 Start pos";
constexpr const char* kProp95End = "Sens 95 End pos";
constexpr const char* kPropCatUpper = "Automatic Cat Uppercasing";
constexpr const char* kPropSortWords = "Sort Words";
constexpr int32_t kMatchSensRecords = 9;

const xmldoc* include_of_type(const xmldoc* el, const char* type) {
  for (int32_t i = 0; i < el->include_count; ++i) {
    const xmldoc* doc = el->includes[i].doc;
    if (doc != nullptr && std::strcmp(doc->type, type) == 0) return doc;
  }
  return nullptr;
}

int32_t records_in(const xmldoc* table) {
  int32_t n = 0;
  for (int32_t r = 0; r < table->record_count; ++r) n += table->records[r].key != nullptr ? 1 : 0;
  return n;
}

// The token's read: the last result that did not stop it, and the problems
// whose messages name the definition, kept for its validate hook.
struct token_reader {
  context* ctx;
  dtok_rec* tok;
  match_token_kind_rec* part;
  int32_t last = 0;

  // 0 to go on; a critical code to stop.
  int32_t step(int32_t rc) {
    if (rc == 0) return 0;
    if (err_is_critical(rc)) return rc;
    last = rc;
    return 0;
  }
  void problem(int32_t code, int32_t message, const char* name, int32_t number = 0) {
    try {
      match_read_problem p{code, message, number, {}};
      p.name.assign(name, name + std::strlen(name) + 1);
      part->problems.push_back(std::move(p));
    } catch (const std::bad_alloc&) {
      // The read's result still marks the definition not valid.
    }
  }
};

// A section's records as one ranged list: the resource each record names,
// the range from the two int columns when the section has both, else
// {0, 100}.
int32_t ranged_read(token_reader& r, const xmldoc* el, const char* type, uint32_t kind, int32_t message,
                    std::vector<match_ranged_ref>* list) {
  const xmldoc* table = include_of_type(el, type);
  if (table == nullptr) return 0;
  try {
    list->reserve(static_cast<size_t>(records_in(table)));
  } catch (const std::bad_alloc&) {
    TQ_REPORT(r.ctx, TQ_ERR_NO_MEMORY, 29, "Allocating memory for a resource list of a match definition token.");
    return TQ_ERR_NO_MEMORY;
  }
  int32_t high_col = -1;
  int32_t low_col = -1;
  (void)xmldoc_column_find(r.ctx, table, kColHigh, &high_col);
  (void)xmldoc_column_find(r.ctx, table, kColLow, &low_col);
  const bool ranged = high_col >= 0 && low_col >= 0 && table->columns[high_col].type == kXmlColInt &&
                      table->columns[low_col].type == kXmlColInt;
  for (int32_t i = 0; i < table->record_count; ++i) {
    const xmldoc_record& row = table->records[i];
    if (row.key == nullptr) continue;
    match_ranged_ref& e = list->emplace_back();  // reserved
    if (ranged) {
      e.high = xmldoc_record_number(row, high_col, kMatchRangeHigh);
      e.low = xmldoc_record_number(row, low_col, kMatchRangeLow);
    }
    const char* name = row.value != nullptr ? row.value : "";
    int32_t rc = match_token_rsrc_open(r.ctx, kind, name, &e.ref, false);
    if (rc < 0) {
      r.problem(rc, message, name);
      if (int32_t critical = r.step(rc); critical != 0) return critical;
    }
  }
  return 0;
}

int32_t norm_cat_read(token_reader& r, const xmldoc* el) {
  const xmldoc* table = include_of_type(el, kTypeNormCat);
  if (table == nullptr) return 0;
  try {
    r.part->norm_cat.reserve(static_cast<size_t>(records_in(table)));
  } catch (const std::bad_alloc&) {
    TQ_REPORT(r.ctx, TQ_ERR_NO_MEMORY, 29, "Allocating memory for cat_norm regexlib list of match definition token.");
    return TQ_ERR_NO_MEMORY;
  }
  for (int32_t i = 0; i < table->record_count; ++i) {
    const xmldoc_record& row = table->records[i];
    if (row.key == nullptr) continue;
    rsrc_ref& ref = r.part->norm_cat.emplace_back();  // reserved
    const char* name = row.value != nullptr ? row.value : "";
    int32_t rc = match_token_rsrc_open(r.ctx, kRsrcRegex, name, &ref, false);
    if (rc < 0) {
      r.problem(rc, 88, name);
      if (int32_t critical = r.step(rc); critical != 0) return critical;
    }
  }
  return 0;
}

int32_t vocabs_read(token_reader& r, const xmldoc* el) {
  const xmldoc* table = include_of_type(el, kTypeVocabs);
  if (table == nullptr) return 0;
  try {
    r.part->vocabularies.reserve(static_cast<size_t>(records_in(table)));
  } catch (const std::bad_alloc&) {
    TQ_REPORT(r.ctx, TQ_ERR_NO_MEMORY, 29, "Allocating memory for vocabulary list of match definition token.");
    return TQ_ERR_NO_MEMORY;
  }
  int32_t name_col = -1;
  int32_t stop_col = -1;
  (void)xmldoc_column_find(r.ctx, table, kColName, &name_col);
  (void)xmldoc_column_find(r.ctx, table, kColStop, &stop_col);
  for (int32_t i = 0; i < table->record_count; ++i) {
    const xmldoc_record& row = table->records[i];
    if (row.key == nullptr) continue;
    defn_vocab& v = r.part->vocabularies.emplace_back();  // reserved
    const char* name = xmldoc_record_text(row, name_col);
    v.stop = xmldoc_record_number(row, stop_col, 0);
    int32_t rc = 0;
    if (name[0] == '\0') {
      r.problem(TQ_ERR_INVALID_CONTENT, 1469, "");
      rc = TQ_ERR_INVALID_CONTENT;
    } else {
      rc = match_token_rsrc_open(r.ctx, kRsrcVocab, name, &v.vocab, false);
      if (rc < 0) {
        r.problem(rc, 192, name);
        r.problem(rc, 133, name);
      }
    }
    // The fuzzy settings are kept whether or not the vocabulary opened.
    if (fuzzy_params_columns_read(r.ctx, table, i, &v.fuzzy) != 0) fuzzy_params_default(&v.fuzzy);
    if (rc < 0) {
      if (int32_t critical = r.step(rc); critical != 0) return critical;
    }
  }
  return 0;
}

int32_t cat_regexlibs_read(token_reader& r, const xmldoc* el) {
  const xmldoc* table = include_of_type(el, kTypeCatList);
  if (table == nullptr) return 0;
  for (int32_t i = 0; i < table->record_count; ++i) {
    if (table->records[i].key == nullptr) continue;
    auto* entry = new (std::nothrow) cat_regexlib_entry;
    if (entry == nullptr) {
      TQ_REPORT(r.ctx, TQ_ERR_NO_MEMORY, 29, "Allocating memory for cat regex list of match definition token.");
      return TQ_ERR_NO_MEMORY;
    }
    cat_regexlib_entry_init(entry);
    if (int32_t rc = cat_regexlib_list_append(r.ctx, &r.part->cat_regexlibs, entry); rc < 0) return rc;
    int32_t rc = cat_regexlib_table_read(r.ctx, table, i, entry);
    if (rc >= 0 && (r.ctx->options & kOptPrepareOnRead) != 0) rc = cat_regexlib_entry_bind_grammar(r.ctx, entry, -1);
    if (int32_t critical = r.step(rc < 0 ? rc : 0); critical != 0) return critical;
  }
  return 0;
}

// A whole decimal number, optionally signed; false for anything else.
bool whole_number(const char* text, int32_t* out) {
  if (text == nullptr || text[0] == '\0') return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

int32_t position_check(token_reader& r, int32_t start, int32_t end) {
  if (match_position_check(start, end) == 0) return 0;
  TQ_REPORT(r.ctx, TQ_ERR_INVALID_CONTENT, 138, r.tok->name, start, end);
  return TQ_ERR_INVALID_CONTENT;
}

// The ten position pairs. Numbers are taken whole and then checked, so a
// value that does not fit a position is refused rather than cut to one.
int32_t sensitivities_read(token_reader& r, const xmldoc* el) {
  const xmldoc* table = include_of_type(el, kTypeSens);
  const int32_t count = table != nullptr ? records_in(table) : 0;
  if (table == nullptr || count != kMatchSensRecords) {
    r.problem(TQ_ERR_INVALID_CONTENT, 135, "", count);
    return TQ_ERR_INVALID_CONTENT;
  }
  int32_t col[3] = {-1, -1, -1};
  const char* names[3] = {kColSens, kColStart, kColEnd};
  for (int i = 0; i < 3; ++i) {
    if (xmldoc_column_find(r.ctx, table, names[i], &col[i]) != 0 || col[i] < 0) {
      TQ_REPORT(r.ctx, TQ_ERR_INVALID_CONTENT, 136, names[i], r.tok->name);
      return TQ_ERR_INVALID_CONTENT;
    }
  }
  int32_t result = 0;
  for (int32_t i = 0; i < table->record_count; ++i) {
    const xmldoc_record& row = table->records[i];
    if (row.key == nullptr) continue;
    const int32_t sens = xmldoc_record_number(row, col[0], -1);
    uint32_t bucket = 0;
    while (bucket < kMatchSensCount && kMatchSensValues[bucket] != sens) ++bucket;
    if (bucket == kMatchSensCount) {
      TQ_REPORT(r.ctx, TQ_ERR_INVALID_CONTENT, 214, r.tok->name, sens);
      result = TQ_ERR_INVALID_CONTENT;
      continue;
    }
    const int32_t start = xmldoc_record_number(row, col[1], 0);
    const int32_t end = xmldoc_record_number(row, col[2], 0);
    if (position_check(r, start, end) != 0) {
      result = TQ_ERR_INVALID_CONTENT;
      continue;
    }
    r.part->positions[bucket] = {start, end};
  }
  // Bucket 95 from the section's own properties, else as bucket 90.
  const char* start_text = xmldoc_prop_get(r.ctx, table, kProp95Start);
  const char* end_text = xmldoc_prop_get(r.ctx, table, kProp95End);
  if (start_text[0] != '\0' && end_text[0] != '\0') {
    int32_t start = -1;
    int32_t end = -1;
    const bool numbers = whole_number(start_text, &start) && whole_number(end_text, &end);
    if (!numbers) {
      TQ_REPORT(r.ctx, TQ_ERR_INVALID_CONTENT, 138, r.tok->name, start, end);
      result = TQ_ERR_INVALID_CONTENT;
    } else if (position_check(r, start, end) != 0) {
      result = TQ_ERR_INVALID_CONTENT;
    } else {
      r.part->positions[0] = {start, end};
    }
  } else {
    r.part->positions[0] = r.part->positions[1];
  }
  return result;
}

void refs_release(context* ctx, std::vector<rsrc_ref>* list, int32_t keep_refs) {
  for (rsrc_ref& ref : *list) {
    if (keep_refs != 0) {
      ref.forget();
    } else {
      (void)ref.release(ctx);
    }
  }
  list->clear();
}

void vocabs_release(context* ctx, std::vector<defn_vocab>* list, int32_t keep_refs) {
  for (defn_vocab& v : *list) {
    if (keep_refs != 0) {
      v.vocab.forget();
    } else {
      (void)v.vocab.release(ctx);
    }
  }
  list->clear();
}

// Every list emptied, its references given back unless keep_refs.
void token_lists_release(context* ctx, match_token_kind_rec* part, int32_t keep_refs) {
  refs_release(ctx, &part->norm_cat, keep_refs);
  match_ranged_list_clear(ctx, &part->phonetx, keep_refs);
  match_ranged_list_clear(ctx, &part->transform, keep_refs);
  match_ranged_list_clear(ctx, &part->noise, keep_refs);
  vocabs_release(ctx, &part->vocabularies, keep_refs);
  cat_regexlib_list_clear(ctx, &part->cat_regexlibs, keep_refs);
  default_category_list_clear(&part->defaults);
  if (part->morph != nullptr) morph_options_release(ctx, part->morph.get());
  part->prepared = 0;
}

// An unbound entry (a resource that failed to open when the source was
// read) is copied unbound: the copy takes no reference for it.
int32_t ranged_copy(context* ctx, const std::vector<match_ranged_ref>& from, std::vector<match_ranged_ref>* to) {
  match_ranged_list_clear(ctx, to, 0);
  to->reserve(from.size());
  for (const match_ranged_ref& e : from) {
    match_ranged_ref& t = to->emplace_back();
    t.low = e.low;
    t.high = e.high;
    if (int32_t rc = e.ref.share(ctx, &t.ref); rc < 0) return rc;
  }
  return 0;
}

// ---- Token sections ----------------------------------------------------------------

// A section with the int columns "Sens Range High" and "Sens Range Low" and
// one record per bound entry, the resource's name as its value.
int32_t ranged_write(context* ctx, xmldoc* el, const char* type, const char* version, uint32_t kind,
                     const std::vector<match_ranged_ref>& list) {
  return rsrc_name_table_write(
      ctx, el, type, type, version, kind, {{kColHigh, kXmlColInt}, {kColLow, kXmlColInt}}, list,
      [](const match_ranged_ref& e) -> const rsrc_ref& { return e.ref; },
      [&](xmldoc* doc, const match_ranged_ref& e, const char* name) {
        xmldoc_field f[2]{};
        f[0].type = kXmlColInt;
        f[0].number = e.high;
        f[1].type = kXmlColInt;
        f[1].number = e.low;
        return xmldoc_record_add(ctx, doc, "", name, f);
      });
}

int32_t norm_cat_write(context* ctx, xmldoc* el, const std::vector<rsrc_ref>& list) {
  if (list.empty()) return 0;
  return rsrc_name_table_write(ctx, el, kTypeNormCat, kTypeNormCat, kVersion9, kRsrcRegex, {}, list,
                               [](const rsrc_ref& r) -> const rsrc_ref& { return r; },
                               [&](xmldoc* doc, const rsrc_ref&, const char* name) {
                                 return xmldoc_record_add(ctx, doc, "", name, nullptr);
                               });
}

int32_t vocabs_write(context* ctx, xmldoc* el, const std::vector<defn_vocab>& list) {
  if (list.empty()) return 0;
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kTypeVocabs, kVersion9, &doc);
  if (rc != 0) return rc;
  constexpr int32_t kFields = 4;
  auto* fields = static_cast<xmldoc_field*>(np_calloc(kFields, sizeof(xmldoc_field)));
  if (fields == nullptr) rc = TQ_ERR_NO_MEMORY;
  int32_t capacity = kFields;
  int32_t added = 0;
  if (rc >= 0) rc = xmldoc_name_stop_columns_add(ctx, doc, 0, &fields, &capacity, &added);
  if (rc >= 0) rc = fuzzy_params_columns_declare(ctx, doc, 2, fields, capacity, &added);
  for (const defn_vocab& v : list) {
    if (rc < 0) break;
    if (!v.vocab.held()) continue;
    char name[kRsrcNameSize];
    rc = rsrc_name_get(ctx, kRsrcVocab, v.vocab.index(), name, sizeof name);
    if (rc < 0) break;
    xmldoc_name_stop_fields_set(ctx, name, v.stop, 0, fields);
    fuzzy_params_columns_fill(&v.fuzzy, fields, 2);
    rc = xmldoc_record_add(ctx, doc, "", nullptr, fields);
  }
  std::free(fields);
  return xmldoc_include_or_free(ctx, el, kTypeVocabs, doc, rc);
}

int32_t sensitivities_write(context* ctx, xmldoc* el, const match_token_kind_rec* part) {
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kTypeSens, kVersion7, &doc);
  if (rc != 0) return rc;
  rc = xmldoc_column_add(ctx, doc, kColSens, kXmlColInt);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColStart, kXmlColInt);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColEnd, kXmlColInt);
  // Buckets 90 to 50 as records; 95 as the section's two properties.
  for (uint32_t b = 1; b < kMatchSensCount && rc >= 0; ++b) {
    xmldoc_field f[3]{};
    for (xmldoc_field& x : f) x.type = kXmlColInt;
    f[0].number = kMatchSensValues[b];
    f[1].number = part->positions[b].start;
    f[2].number = part->positions[b].end;
    rc = xmldoc_record_add(ctx, doc, "", nullptr, f);
  }
  char number[kIntTextSize];
  if (rc >= 0) {
    str_from_int(part->positions[0].start, number);
    rc = xmldoc_prop_add(ctx, doc, kProp95Start, number);
  }
  if (rc >= 0) {
    str_from_int(part->positions[0].end, number);
    rc = xmldoc_prop_add(ctx, doc, kProp95End, number);
  }
  return xmldoc_include_or_free(ctx, el, kTypeSens, doc, rc);
}

}  // namespace

// ---- Helpers ----------------------------------------------------------------------------------

void match_ranged_list_clear(context* ctx, std::vector<match_ranged_ref>* list, int32_t keep_refs) {
  for (match_ranged_ref& e : *list) {
    if (keep_refs != 0) {
      e.ref.forget();
    } else {
      (void)e.ref.release(ctx);
    }
  }
  list->clear();
}

int32_t match_token_rsrc_open(context* ctx, uint32_t kind, const char* name, rsrc_ref* out, bool checked) {
  if (out == nullptr || out->held() || name == nullptr) return TQ_ERR_ARGUMENT;
  if (checked) {
    return kind != kRsrcPhonetx ? rsrc_open_checked(ctx, kind, name, 0, out)
                                : rsrc_open_checked_by(ctx, kind, phonetx_load_by_name, name, out);
  }
  if (kind != kRsrcPhonetx) return rsrc_open(ctx, kind, name, 0, out);
  // Kept by its name when its file cannot be had now, as rsrc_open keeps
  // the other kinds (rsrc_open_kept).
  const int32_t rc =
      rsrc_open_kept(ctx, kind, out, [&](int32_t* index) { return phonetx_load_by_name(ctx, name, index); });
  return rc == TQ_ERR_FAILED ? TQ_ERR_FILE_OPEN : rc;
}

// ---- Token hooks ------------------------------------------------------------------------------

int32_t match_defn_token_read(context* ctx, const xmldoc* element, dtok_rec* tok) {
  match_token_kind_rec* part = match_token_part(tok);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  token_reader r{ctx, tok, part};
  int32_t rc = r.step(ranged_read(r, element, kTypeNoise, kRsrcVocab, 133, &part->noise));
  if (rc == 0) rc = r.step(ranged_read(r, element, kTypePhonetx, kRsrcPhonetx, 134, &part->phonetx));
  if (rc == 0) rc = r.step(ranged_read(r, element, kTypeTransform, kRsrcRegex, 1542, &part->transform));
  if (rc != 0) return rc;
  // Only the exact "No" turns categorization uppercasing off.
  part->cat_uppercasing = std::strcmp(xmldoc_prop_get(ctx, element, kPropCatUpper), "No") == 0 ? 0 : 1;
  int32_t sort = 0;
  if (xmldoc_prop_get_yes_no(ctx, element, kPropSortWords, 0, &sort, nullptr) != 0 || sort < 0) {
    sort = 0;
    (void)r.step(TQ_ERR_INVALID_CONTENT);
  }
  part->sort_words = sort;
  rc = r.step(norm_cat_read(r, element));
  if (rc == 0) rc = r.step(vocabs_read(r, element));
  if (rc == 0) rc = r.step(cat_regexlibs_read(r, element));
  if (rc == 0) rc = r.step(default_category_list_read(ctx, &part->defaults, element));
  if (rc == 0) rc = r.step(sensitivities_read(r, element));
  if (rc != 0) return rc;
  return r.last;
}

int32_t match_defn_token_write(context* ctx, xmldoc* element, const dtok_rec* tok) {
  const match_token_kind_rec* part = match_token_part(tok);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  int32_t rc = ranged_write(ctx, element, kTypeNoise, kVersion7, kRsrcVocab, part->noise);
  if (rc >= 0) rc = ranged_write(ctx, element, kTypePhonetx, kVersion7, kRsrcPhonetx, part->phonetx);
  if (rc >= 0) rc = ranged_write(ctx, element, kTypeTransform, kVersion9, kRsrcRegex, part->transform);
  if (rc >= 0) {
    rc = xmldoc_prop_add_yes_no_grouped(ctx, element, kVersion9, kPropCatUpper, part->cat_uppercasing != 0, 0);
  }
  if (rc >= 0) rc = xmldoc_prop_add_yes_no_grouped(ctx, element, kVersion9, kPropSortWords, part->sort_words != 0, 0);
  if (rc >= 0) rc = norm_cat_write(ctx, element, part->norm_cat);
  if (rc >= 0) rc = vocabs_write(ctx, element, part->vocabularies);
  if (rc >= 0) rc = cat_regexlib_list_write(ctx, element, part->cat_regexlibs, kTypeCatList, kTypeCatList, kVersion9);
  if (rc >= 0) rc = default_category_list_write(ctx, &part->defaults, element);
  if (rc >= 0) rc = sensitivities_write(ctx, element, part);
  return rc < 0 ? rc : 0;
}

int32_t match_defn_token_copy(context* ctx, const dtok_rec* src, dtok_rec* dst, int32_t) {
  const match_token_kind_rec* from = match_token_part(src);
  match_token_kind_rec* to = match_token_part(dst);
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  // A copy always takes references of its own, so that the source and the
  // copy never give back the same one.
  token_lists_release(ctx, to, 0);
  int32_t rc = 0;
  try {
    rc = ranged_copy(ctx, from->noise, &to->noise);
    if (rc >= 0) rc = ranged_copy(ctx, from->phonetx, &to->phonetx);
    if (rc >= 0) rc = ranged_copy(ctx, from->transform, &to->transform);
    to->cat_uppercasing = from->cat_uppercasing;
    to->sort_words = from->sort_words;
    if (rc >= 0) {
      to->norm_cat.reserve(from->norm_cat.size());
      for (const rsrc_ref& ref : from->norm_cat) {
        rsrc_ref& t = to->norm_cat.emplace_back();
        rc = ref.share(ctx, &t);
        if (rc < 0) break;
      }
    }
    if (rc >= 0) {
      to->vocabularies.reserve(from->vocabularies.size());
      for (const defn_vocab& v : from->vocabularies) {
        defn_vocab& t = to->vocabularies.emplace_back();
        t.stop = v.stop;
        fuzzy_params_copy(&v.fuzzy, &t.fuzzy);
        rc = v.vocab.share(ctx, &t.vocab);
        if (rc < 0) break;
      }
    }
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  if (rc >= 0) rc = cat_regexlib_list_copy(ctx, from->cat_regexlibs, &to->cat_regexlibs);
  if (rc >= 0) rc = default_category_list_copy(ctx, &from->defaults, &to->defaults);
  if (rc < 0) return rc;
  std::memcpy(to->positions, from->positions, sizeof to->positions);
  to->prepared = 0;
  return 0;
}

int32_t match_defn_token_free(context* ctx, dtok_rec* tok, int32_t keep_refs) {
  match_token_kind_rec* part = match_token_part(tok);
  if (part == nullptr) return 0;
  token_lists_release(ctx, part, keep_refs);
  default_category_list_free(&part->defaults);
  delete part;
  tok->part = nullptr;
  return 0;
}

// ---- Preparation ------------------------------------------------------------------------------

int32_t match_token_prepare(context* ctx, dtok_rec* tok) {
  match_token_kind_rec* part = match_token_part(tok);
  if (part == nullptr) return TQ_ERR_ARGUMENT;
  if (part->prepared != 0) return 0;
  for (cat_regexlib_entry* e : part->cat_regexlibs) {
    if (e == nullptr) continue;
    if (int32_t rc = cat_regexlib_entry_bind_grammar(ctx, e, -1); rc < 0) return rc;
  }
  int32_t rc = morph_options_set(ctx, part->morph.get(), static_cast<int32_t>(part->norm_cat.size()),
                                 part->norm_cat.data(), part->cat_regexlibs.data(),
                                 static_cast<int32_t>(part->cat_regexlibs.size()), &part->defaults, 1,
                                 part->cat_uppercasing != 0 ? 1u : 0u, -1,
                                 static_cast<int32_t>(part->vocabularies.size()), part->vocabularies.data());
  if (rc < 0) return rc;
  part->prepared = 1;
  return 0;
}

int32_t match_defn_prepare_held(context* ctx, defn_rec* rec) {
  match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  if (part->prepared.load(std::memory_order_acquire) != 0) return 0;
  for (auto& item : rec->tokens.items) {
    if (int32_t rc = match_token_prepare(ctx, item.get()); rc < 0) return rc;
  }
  part->prepared.store(1, std::memory_order_release);
  return 0;
}

int32_t match_defn_prepare(context* ctx, defn_rec* rec) {
  const match_defn_kind_rec* part = match_defn_part(rec);
  if (part != nullptr && part->prepared.load(std::memory_order_acquire) != 0) return 0;
  return defn_run_under_write_hold(ctx, rec, kDefnMatch, match_defn_prepare_held);
}

}  // namespace tq

#include "match/krmrule.h"

#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krxml.h"
#include "kbstore/krxmltab.h"
#include "match/krmdef.h"

namespace tq {

namespace {

constexpr int32_t K = kDefnMatch;
constexpr const char* kVersion9 = "9.0";
constexpr const char* kTypeList = "Combination Rule List";
constexpr const char* kTypeRule = "Combination Rule";
constexpr const char* kTypeConditions = "Combination Conditions";
constexpr const char* kPropIncludeDefault = "Include Default";
constexpr const char* kPropHigh = "Sens Range High";
constexpr const char* kPropLow = "Sens Range Low";
constexpr const char* kPropWeight = "Weight";
constexpr const char* kColToken = "Token";
constexpr const char* kColCategory = "Condition Category";
constexpr const char* kColLikelihood = "Likelihood";
constexpr const char* kColNegate = "Negate";
constexpr const char* kColPosition = "Position";
// Texts taken in: 1,024 bytes and the terminator; given out: 1,028 bytes.
constexpr uint32_t kTextIn = 1024;

const xmldoc* include_of_type(const xmldoc* el, const char* type) {
  for (int32_t i = 0; i < el->include_count; ++i) {
    const xmldoc* doc = el->includes[i].doc;
    if (doc != nullptr && std::strcmp(doc->type, type) == 0) return doc;
  }
  return nullptr;
}

// Copies a name into a rule's field, cut between characters.
template <size_t N>
void take(char (&field)[N], const char* text) {
  str_copy_bounded(field, text, static_cast<uint32_t>(N));
}

// A whole decimal number; false for an empty text or anything else.
bool whole_int(const char* text, int32_t* out) {
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

// Weights are read and written in the C form ("1.50") whatever the
// process's numeric locale.
bool weight_parse(const char* text, double* out) {
  const char* end = text + std::strlen(text);
  double v = 0.0;
  const auto res = std::from_chars(text, end, v);
  if (res.ec != std::errc() || res.ptr != end) return false;
  *out = v;
  return true;
}

// Room for any double with two decimals: 309 digits before the point at
// most, with a sign, the point and the terminator.
constexpr size_t kWeightTextSize = 320;

// A weight as written: two decimals ("1.50"). Any value the setter takes
// fits, so none makes its definition's write fail.
void weight_format(double value, char (&out)[kWeightTextSize]) {
  const auto res = std::to_chars(out, out + sizeof out - 1, value, std::chars_format::fixed, 2);
  *(res.ec == std::errc() ? res.ptr : out) = '\0';
}

// A field given in the record: the column exists and the record's field
// holds a value.
const xmldoc_field* given(const xmldoc* table, int32_t record, int32_t column) {
  if (column < 0) return nullptr;
  const xmldoc_field* f = xmldoc_field_get(table, record, column);
  if (f == nullptr) return nullptr;
  if (f->type == kXmlColString && (f->text == nullptr || f->text[0] == '\0')) return nullptr;
  return f;
}

int32_t column_of(context* ctx, const xmldoc* table, const char* name) {
  int32_t col = -1;
  (void)xmldoc_column_find(ctx, table, name, &col);
  return col;
}

// One rule: conditions, mapping entries, range and weight. A range or weight
// that is not a number keeps its default and is reported as -300.
int32_t rule_read(context* ctx, const xmldoc* section, match_combination_rule* rule) {
  int32_t result = 0;
  if (const xmldoc* conds = include_of_type(section, kTypeConditions)) {
    const int32_t cat_col = column_of(ctx, conds, kColCategory);
    const int32_t tok_col = column_of(ctx, conds, kColToken);
    const int32_t like_col = column_of(ctx, conds, kColLikelihood);
    const int32_t neg_col = column_of(ctx, conds, kColNegate);
    rule->conditions.reserve(static_cast<size_t>(conds->record_count));
    for (int32_t r = 0; r < conds->record_count; ++r) {
      if (conds->records[r].key == nullptr) continue;
      match_rule_condition& c = rule->conditions.emplace_back();
      if (const xmldoc_field* f = given(conds, r, cat_col)) take(c.category, xmldoc_field_text(f));
      if (const xmldoc_field* f = given(conds, r, tok_col)) take(c.token, xmldoc_field_text(f));
      if (const xmldoc_field* f = given(conds, r, like_col)) c.likelihood = xmldoc_field_number(f, c.likelihood);
      if (const xmldoc_field* f = given(conds, r, neg_col)) c.negate = xmldoc_field_number(f, c.negate);
    }
  }
  const int32_t pos_col = column_of(ctx, section, kColPosition);
  const int32_t tok_col = column_of(ctx, section, kColToken);
  rule->mapping.reserve(static_cast<size_t>(section->record_count));
  for (int32_t r = 0; r < section->record_count; ++r) {
    if (section->records[r].key == nullptr) continue;
    match_rule_mapping& m = rule->mapping.emplace_back();
    if (const xmldoc_field* f = given(section, r, pos_col)) take(m.position, xmldoc_field_text(f));
    if (const xmldoc_field* f = given(section, r, tok_col)) take(m.token, xmldoc_field_text(f));
  }
  const char* high = xmldoc_prop_get(ctx, section, kPropHigh);
  const char* low = xmldoc_prop_get(ctx, section, kPropLow);
  const char* weight = xmldoc_prop_get(ctx, section, kPropWeight);
  if (high[0] != '\0' && !whole_int(high, &rule->sens_high)) result = TQ_ERR_INVALID_CONTENT;
  if (low[0] != '\0' && !whole_int(low, &rule->sens_low)) result = TQ_ERR_INVALID_CONTENT;
  if (weight[0] != '\0' && !weight_parse(weight, &rule->weight)) result = TQ_ERR_INVALID_CONTENT;
  return result;
}

int32_t conditions_write(context* ctx, xmldoc* rule_doc, const match_combination_rule& rule) {
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kTypeConditions, kVersion9, &doc);
  if (rc != 0) return rc;
  rc = xmldoc_column_add(ctx, doc, kColToken, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColCategory, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColLikelihood, kXmlColInt);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColNegate, kXmlColInt);
  for (const match_rule_condition& c : rule.conditions) {
    if (rc < 0) break;
    xmldoc_field f[4]{};
    f[0].type = kXmlColString;
    f[0].text = const_cast<char*>(c.token);
    f[1].type = kXmlColString;
    f[1].text = const_cast<char*>(c.category);
    f[2].type = kXmlColInt;
    f[2].number = c.likelihood;
    f[3].type = kXmlColInt;
    f[3].number = c.negate;
    rc = xmldoc_record_add(ctx, doc, nullptr, nullptr, f);
  }
  return xmldoc_include_or_free(ctx, rule_doc, kTypeConditions, doc, rc);
}

int32_t rule_write(context* ctx, xmldoc* list, const match_combination_rule& rule) {
  xmldoc* doc = nullptr;
  int32_t rc = xmldoc_create(ctx, kTypeRule, kVersion9, &doc);
  if (rc != 0) return rc;
  char number[kIntTextSize];
  rc = xmldoc_prop_add(ctx, doc, kPropHigh, str_from_int(rule.sens_high, number));
  if (rc >= 0) rc = xmldoc_prop_add(ctx, doc, kPropLow, str_from_int(rule.sens_low, number));
  if (rc >= 0) {
    char weight[kWeightTextSize];
    weight_format(rule.weight, weight);
    rc = xmldoc_prop_add(ctx, doc, kPropWeight, weight);
  }
  if (rc >= 0) rc = conditions_write(ctx, doc, rule);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColPosition, kXmlColString);
  if (rc >= 0) rc = xmldoc_column_add(ctx, doc, kColToken, kXmlColString);
  for (const match_rule_mapping& m : rule.mapping) {
    if (rc < 0) break;
    xmldoc_field f[2]{};
    f[0].type = kXmlColString;
    f[0].text = const_cast<char*>(m.position);
    f[1].type = kXmlColString;
    f[1].text = const_cast<char*>(m.token);
    rc = xmldoc_record_add(ctx, doc, nullptr, nullptr, f);
  }
  return xmldoc_include_or_free(ctx, list, kTypeRule, doc, rc);
}

// ---- Export helpers ---------------------------------------------------------------------

int32_t part_for_read(context* ctx, int32_t index, defn_rec** rec, match_defn_kind_rec** part) {
  *part = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, rec);
  if (rc < 0) return rc;
  *part = match_defn_part(*rec);
  return *part == nullptr ? TQ_ERR_INDEX : 0;
}

// Runs body(rec, part) on the definition taken for change and gives the
// hold back on every path. A body result of 0 raises the version to "9.0"
// when `raise` is set, and the raise's result is the call's.
template <typename F>
int32_t edit_part(context* ctx, int32_t index, bool raise, F&& body) {
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, K, index, &rec, &held);
  if (rc < 0) return rc;
  try {
    match_defn_kind_rec* part = match_defn_part(rec);
    rc = part == nullptr ? TQ_ERR_INDEX : body(rec, part);
    if (rc >= 0 && raise) rc = rc_combine(defn_rec_version_raise(ctx, rec, kVersion9), rc);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, held.release());
}

int32_t rule_missing(context* ctx, const defn_rec* rec, uint32_t rule) {
  TQ_REPORT(ctx, TQ_ERR_INDEX, 1544, rule, rec->name);
  return TQ_ERR_INDEX;
}

bool rule_ok(const match_defn_kind_rec* part, uint32_t rule) { return rule < part->rules.size(); }

// `unkept` (kStrioUnkept) for a text only looked for; `max` for one kept
// in fewer bytes (a token name 320, a category 256), refused beyond them.
int32_t text_in(context* ctx, const char* text, std::vector<char>* buf, uint32_t unkept = 0,
                uint32_t max = kTextIn) {
  buf->assign(max + 1, '\0');
  return strio_in(ctx, text, buf->data(), max, kStrioConvert | unkept);
}

}  // namespace

// ---- Reading and writing ----------------------------------------------------------------

int32_t match_rules_read(context* ctx, const xmldoc* element, defn_rec* rec) {
  match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  // A definition is written with one list at most; only the first is read.
  const xmldoc* list = include_of_type(element, kTypeList);
  if (list == nullptr) return 0;
  int32_t flag = static_cast<int32_t>(part->include_default);
  if (xmldoc_prop_get_yes_no(ctx, list, kPropIncludeDefault, 1, &flag, nullptr) == 0 && flag >= 0) {
    part->include_default = static_cast<uint32_t>(flag);
  }
  int32_t result = 0;
  try {
    std::vector<match_combination_rule> rules;
    rules.reserve(static_cast<size_t>(list->include_count));
    for (int32_t i = 0; i < list->include_count; ++i) {
      const xmldoc_include& inc = list->includes[i];
      if (inc.doc == nullptr || std::strcmp(inc.name, kTypeRule) != 0) continue;
      const int32_t rc = rule_read(ctx, inc.doc, &rules.emplace_back());
      if (rc < 0) result = rc;
    }
    part->rules = std::move(rules);
  } catch (const std::bad_alloc&) {
    TQ_REPORT(ctx, TQ_ERR_NO_MEMORY, 29, "Token combination rules");
    return TQ_ERR_NO_MEMORY;
  }
  return result;
}

int32_t match_rules_write(context* ctx, xmldoc* element, const defn_rec* rec) {
  const match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  // "Include Default" off matters without rules too (the code of every
  // token in its own place is then left out), so a list carries it; a file
  // without the list reads as on.
  if (part->rules.empty() && part->include_default != 0) return 0;
  xmldoc* list = nullptr;
  int32_t rc = xmldoc_create(ctx, kTypeList, kVersion9, &list);
  if (rc != 0) return rc;
  rc = xmldoc_prop_add_yes_no(ctx, list, kPropIncludeDefault, part->include_default != 0, 1);
  // A rule that cannot be written fails the whole write: a saved file never
  // silently lacks one.
  for (const match_combination_rule& rule : part->rules) {
    if (rc < 0) break;
    rc = rule_write(ctx, list, rule);
  }
  return xmldoc_include_or_free(ctx, element, kTypeList, list, rc);
}

// ---- Token changes ----------------------------------------------------------------------------

int32_t match_rules_token_name_changed(context*, defn_rec* rec, const char* old_name, const char* new_name) {
  match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr || old_name == nullptr || new_name == nullptr) return TQ_ERR_ARGUMENT;
  try {
    if (old_name[0] == '\0') {
      for (match_combination_rule& rule : part->rules) rule.mapping.reserve(rule.mapping.size() + 1);
      for (match_combination_rule& rule : part->rules) take(rule.mapping.emplace_back().position, new_name);
      return 0;
    }
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  for (match_combination_rule& rule : part->rules) {
    for (match_rule_mapping& m : rule.mapping) {
      if (std::strcmp(m.position, old_name) == 0) take(m.position, new_name);
      if (std::strcmp(m.token, old_name) == 0) take(m.token, new_name);
    }
    for (match_rule_condition& c : rule.conditions) {
      if (std::strcmp(c.token, old_name) == 0) take(c.token, new_name);
    }
  }
  return 0;
}

int32_t match_rules_token_deleted(context*, defn_rec* rec, const char* name) {
  match_defn_kind_rec* part = match_defn_part(rec);
  if (part == nullptr || name == nullptr) return TQ_ERR_ARGUMENT;
  try {
    // Everything is built first, so that running out of memory leaves the
    // rules as they were.
    std::vector<match_combination_rule> rebuilt;
    rebuilt.reserve(part->rules.size());
    for (const match_combination_rule& rule : part->rules) {
      match_combination_rule& r = rebuilt.emplace_back();
      r.sens_low = rule.sens_low;
      r.sens_high = rule.sens_high;
      r.weight = rule.weight;
      r.mapping.reserve(rec->tokens.count());
      for (const auto& tok : rec->tokens.items) {
        match_rule_mapping& m = r.mapping.emplace_back();
        take(m.position, tok->name);
        for (const match_rule_mapping& old : rule.mapping) {
          if (std::strcmp(old.position, tok->name) != 0) continue;
          if (std::strcmp(old.token, name) != 0) take(m.token, old.token);
          break;
        }
      }
      for (const match_rule_condition& c : rule.conditions) {
        if (std::strcmp(c.token, name) != 0) r.conditions.push_back(c);
      }
    }
    part->rules = std::move(rebuilt);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

// ---- Exports ----------------------------------------------------------------------------------

int32_t tqx_match_defn_token_combination_rule_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  defn_rec* rec = nullptr;
  match_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  *count = static_cast<uint32_t>(part->rules.size());
  return 0;
}

int32_t tqx_match_defn_token_combination_include_default_get(context* ctx, int32_t index, uint32_t* def) {
  defn_rec* rec = nullptr;
  match_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  *def = part->include_default;
  return 0;
}

int32_t tqx_match_defn_token_combination_include_default_set(context* ctx, int32_t index, uint32_t value) {
  return edit_part(ctx, index, false, [&](defn_rec*, match_defn_kind_rec* part) {
    part->include_default = value != 0 ? 1u : 0u;
    return 0;
  });
}

int32_t tqx_match_defn_token_combination_rule_add(context* ctx, int32_t index, uint32_t* rule_index) {
  return edit_part(ctx, index, true, [&](defn_rec* rec, match_defn_kind_rec* part) {
    match_combination_rule rule;
    rule.sens_low = 0;
    rule.sens_high = 0;
    rule.mapping.reserve(rec->tokens.count());
    for (const auto& tok : rec->tokens.items) take(rule.mapping.emplace_back().position, tok->name);
    part->rules.push_back(std::move(rule));
    *rule_index = static_cast<uint32_t>(part->rules.size() - 1);
    return 0;
  });
}

int32_t tqx_match_defn_token_combination_rules_delete_all(context* ctx, int32_t index) {
  return edit_part(ctx, index, true, [&](defn_rec*, match_defn_kind_rec* part) {
    std::vector<match_combination_rule>().swap(part->rules);
    return 0;
  });
}

int32_t tqx_match_defn_token_combination_rule_weight_get(context* ctx, int32_t index, uint32_t rule, double* wt) {
  defn_rec* rec = nullptr;
  match_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  if (!rule_ok(part, rule)) return rule_missing(ctx, rec, rule);
  *wt = part->rules[rule].weight;
  return 0;
}

int32_t tqx_match_defn_token_combination_rule_weight_set(context* ctx, int32_t index, uint32_t rule, double weight) {
  return edit_part(ctx, index, true, [&](defn_rec* rec, match_defn_kind_rec* part) {
    if (!rule_ok(part, rule)) return rule_missing(ctx, rec, rule);
    part->rules[rule].weight = weight;
    return 0;
  });
}

int32_t tqx_match_defn_token_combination_rule_sensitivities_get(context* ctx, int32_t index, uint32_t rule,
                                                                uint32_t* sens_lo, uint32_t* sens_hi) {
  defn_rec* rec = nullptr;
  match_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  if (!rule_ok(part, rule)) return rule_missing(ctx, rec, rule);
  *sens_lo = static_cast<uint32_t>(part->rules[rule].sens_low);
  *sens_hi = static_cast<uint32_t>(part->rules[rule].sens_high);
  return 0;
}

int32_t tqx_match_defn_token_combination_rule_sensitivities_set(context* ctx, int32_t index, uint32_t rule,
                                                                uint32_t low, uint32_t high) {
  return edit_part(ctx, index, true, [&](defn_rec* rec, match_defn_kind_rec* part) {
    if (!rule_ok(part, rule)) return rule_missing(ctx, rec, rule);
    part->rules[rule].sens_low = static_cast<int32_t>(low);
    part->rules[rule].sens_high = static_cast<int32_t>(high);
    return 0;
  });
}

int32_t tqx_match_defn_token_combination_rule_conditions_count_get(context* ctx, int32_t index, uint32_t rule,
                                                                   uint32_t* count) {
  *count = 0;
  defn_rec* rec = nullptr;
  match_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  if (!rule_ok(part, rule)) return TQ_ERR_INDEX;
  *count = static_cast<uint32_t>(part->rules[rule].conditions.size());
  return 0;
}

int32_t tqx_match_defn_token_combination_rule_condition_get(context* ctx, int32_t index, uint32_t rule,
                                                            uint32_t cond, char* token, char* cat, uint32_t* like,
                                                            uint32_t* negate) {
  defn_rec* rec = nullptr;
  match_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  if (!rule_ok(part, rule) || cond >= part->rules[rule].conditions.size()) return TQ_ERR_INDEX;
  const match_rule_condition& c = part->rules[rule].conditions[cond];
  const int32_t t = strio_out_1028(ctx, c.token, token, kStrioConvert);
  if (t < 0) return t;
  const int32_t k = strio_out_1028(ctx, c.category, cat, kStrioConvert);
  if (k < 0) return k;
  *like = static_cast<uint32_t>(c.likelihood);
  *negate = static_cast<uint32_t>(c.negate);
  return t > 0 ? t : k;
}

namespace {

// Both texts converted first (nothing changes when either fails; one longer
// than its field is refused), then stored; the first positive conversion
// result.
// Made before the definition is looked up: a text no file can hold is
// refused whatever rule the call names.
int32_t condition_fill(context* ctx, const char* token, const char* cat, uint32_t likelihood, uint32_t negate,
                       match_rule_condition* c) {
  std::vector<char> t;
  std::vector<char> k;
  const int32_t rt = text_in(ctx, token, &t, 0, sizeof c->token - 1);
  if (rt < 0) return rt;
  const int32_t rk = text_in(ctx, cat, &k, 0, sizeof c->category - 1);
  if (rk < 0) return rk;
  take(c->token, t.data());
  take(c->category, k.data());
  c->likelihood = static_cast<int32_t>(likelihood);
  c->negate = static_cast<int32_t>(negate);
  return rt > 0 ? rt : rk;
}

}  // namespace

int32_t tqx_match_defn_token_combination_rule_condition_set(context* ctx, int32_t index, uint32_t rule,
                                                            uint32_t cond, const char* token, const char* cat,
                                                            uint32_t likelihood, uint32_t negate) {
  match_rule_condition c;
  const int32_t filled = condition_fill(ctx, token, cat, likelihood, negate, &c);
  if (filled < 0) return filled;
  return edit_part(ctx, index, true, [&](defn_rec*, match_defn_kind_rec* part) {
    if (!rule_ok(part, rule) || cond >= part->rules[rule].conditions.size()) return TQ_ERR_INDEX;
    part->rules[rule].conditions[cond] = c;
    return filled;
  });
}

int32_t tqx_match_defn_token_combination_rule_condition_add(context* ctx, int32_t index, uint32_t rule,
                                                            const char* token, const char* cat, uint32_t likelihood,
                                                            uint32_t negate, uint32_t* cond_index) {
  *cond_index = 0;
  match_rule_condition c;
  const int32_t filled = condition_fill(ctx, token, cat, likelihood, negate, &c);
  if (filled < 0) return filled;
  return edit_part(ctx, index, true, [&](defn_rec*, match_defn_kind_rec* part) {
    if (!rule_ok(part, rule)) return TQ_ERR_INDEX;
    std::vector<match_rule_condition>& conds = part->rules[rule].conditions;
    conds.push_back(c);
    *cond_index = static_cast<uint32_t>(conds.size() - 1);
    return filled;
  });
}

int32_t tqx_match_defn_token_combination_rule_conditions_delete_all(context* ctx, int32_t index, uint32_t rule) {
  return edit_part(ctx, index, true, [&](defn_rec*, match_defn_kind_rec* part) {
    if (!rule_ok(part, rule)) return TQ_ERR_INDEX;
    std::vector<match_rule_condition>().swap(part->rules[rule].conditions);
    return 0;
  });
}

int32_t tqx_match_defn_token_combination_rule_position_get(context* ctx, int32_t index, uint32_t rule,
                                                           const char* position, char* token) {
  defn_rec* rec = nullptr;
  match_defn_kind_rec* part = nullptr;
  int32_t rc = part_for_read(ctx, index, &rec, &part);
  if (rc < 0) return rc;
  if (!rule_ok(part, rule)) return TQ_ERR_INDEX;
  std::vector<char> pos;
  const int32_t conv = text_in(ctx, position, &pos, kStrioUnkept);
  if (conv < 0) return conv;
  for (const match_rule_mapping& m : part->rules[rule].mapping) {
    if (std::strcmp(m.position, pos.data()) != 0) continue;
    const int32_t out = strio_out_1028(ctx, m.token, token, kStrioConvert);
    if (out < 0) return out;
    return conv > 0 ? conv : out;
  }
  return TQ_ERR_ARGUMENT;
}

int32_t tqx_match_defn_token_combination_rule_position_set(context* ctx, int32_t index, uint32_t rule,
                                                           const char* position, const char* token) {
  std::vector<char> pos;
  std::vector<char> tok;
  const int32_t conv = text_in(ctx, position, &pos);
  if (conv < 0) return conv;
  const int32_t conv2 = text_in(ctx, token, &tok, 0, kDtokNameSize - 1);
  if (conv2 < 0) return conv2;
  return edit_part(ctx, index, true, [&](defn_rec*, match_defn_kind_rec* part) {
    if (!rule_ok(part, rule)) return TQ_ERR_INDEX;
    for (match_rule_mapping& m : part->rules[rule].mapping) {
      if (std::strcmp(m.position, pos.data()) != 0) continue;
      take(m.token, tok.data());
      return conv > 0 ? conv : conv2;
    }
    return TQ_ERR_ARGUMENT;
  });
}

}  // namespace tq

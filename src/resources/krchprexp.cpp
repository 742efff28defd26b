#include "resources/krchprexp.h"

#include <cstdlib>
#include <cstring>
#include <optional>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krlib.h"
#include "resources/krchpr.h"
#include "resources/krvcld.h"
#include "platform/npmem.h"

namespace tq {

// ---- Chopping rules ----------------------------------------------------------------------

namespace {

constexpr uint32_t kTextMax = 4096;
constexpr uint32_t kNameMax = 1024;

// A text converted in from the session encoding; keeps the first warning.
struct text_in {
  char text[kTextMax + 1];
};

// `unkept` (kStrioUnkept) for a text only tried or looked for, not kept.
int32_t convert_in(context* ctx, const char* src, char* dst, uint32_t max, int32_t* warning, uint32_t unkept = 0) {
  int32_t rc = strio_in(ctx, src, dst, max, kStrioConvert | unkept);
  if (rc > 0 && *warning == 0) *warning = rc;
  return rc < 0 ? rc : 0;
}

int32_t finish(int32_t rc, int32_t warning) {
  if (rc != 0) return rc;
  return warning > 0 ? warning : 0;
}

// A flag name is kept whole or not at all: a chopper keeps 128 bytes of
// one, and two names that differ past them would be one flag. So a name
// the caller gives past 128 bytes is refused (-802), alone (the conversion's
// limit, message 1943) or in a rule's prerequisite or output flags (here,
// message 1990). A chopper file keeps its names cut, as it always has.
constexpr uint32_t kFlagNameMax = kFlagNameSize - 1;

// The first name of a prerequisite or output-flags text (in UTF-8) longer
// than a flag name keeps: its offset and length, false when there is none.
// Names are the runs between blanks and operators in both texts.
bool flag_name_too_long(const char* text, size_t* at, size_t* length) {
  for (size_t i = 0; text[i] != '\0';) {
    if (prereq_special(text[i])) {
      ++i;
      continue;
    }
    size_t j = i;
    while (text[j] != '\0' && !prereq_special(text[j])) ++j;
    if (j - i > kFlagNameMax) {
      *at = i;
      *length = j - i;
      return true;
    }
    i = j;
  }
  return false;
}

// -802 (message 1990) when the text names a flag past 128 bytes, else 0.
int32_t flag_names_check(context* ctx, const char* text) {
  size_t at = 0;
  size_t length = 0;
  if (text == nullptr || !flag_name_too_long(text, &at, &length)) return 0;
  uint32_t character = 1;  // where the name starts, in characters counted from 1
  for (size_t i = 0; i < at; ++i) character += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 ? 1 : 0;
  const auto n = static_cast<uint32_t>(length);
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1990, call_name_of(ctx), n, strio_bytes_word(n), character, kFlagNameMax,
            strio_bytes_word(kFlagNameMax));
  return TQ_ERR_ARGUMENT;
}

constexpr uint32_t kAnyMethod = 0xFFFFFFFFu;

// The rule of an id for reading, or -802; -700 when it does not use the
// method asked for.
int32_t rule_for_read(context* ctx, int32_t chopper, uint32_t id, chopper_rule** rule, uint32_t method = kAnyMethod) {
  *rule = nullptr;
  chopper_rec* rec = nullptr;
  int32_t rc = chopper_get(ctx, chopper, &rec);
  if (rc != 0) return rc;
  *rule = chopper_rule_find(&rec->rules, id);
  if (*rule == nullptr) return TQ_ERR_ARGUMENT;
  return method == kAnyMethod || (*rule)->method == method ? 0 : TQ_ERR_NOT_SUPPORTED;
}

// A rule setter's start: the caller's text converted in and checked first
// (`check`, when given; so that its failure is the result whatever the
// indices), then the chopper held for change and the rule of the id found
// (-802 when none; -700 when it does not use the method asked for). rc: the
// first failure; warning: the conversion's.
struct rule_edit {
  text_in in;
  int32_t warning = 0;
  int32_t rc;
  std::optional<chopper_edit_scope> edit;
  chopper_rule* rule = nullptr;
  rule_edit(context* ctx, int32_t chopper, uint32_t id, const char* text, uint32_t max,
            uint32_t method = kAnyMethod, int32_t (*check)(context*, const char*) = nullptr) {
    rc = convert_in(ctx, text, in.text, max, &warning);
    if (rc == 0 && check != nullptr) rc = check(ctx, in.text);
    if (rc != 0) return;
    rc = edit.emplace(ctx, chopper).rc;
    if (rc != 0) return;
    rule = chopper_rule_find(&edit->rec->rules, id);
    if (rule == nullptr) {
      rc = TQ_ERR_ARGUMENT;
    } else if (method != kAnyMethod && rule->method != method) {
      rc = TQ_ERR_NOT_SUPPORTED;
    }
  }
  chopper_rec* rec() const { return edit->rec; }
};

// Sets a flag by name, its id made when the name is new: among the initial
// flags, or the output flags of the rule of an id (-802 when none). The
// name must convert, fit a flag name and be valid (-802) before the chopper
// is held.
int32_t flag_add(context* ctx, int32_t chopper, const uint32_t* rule, const char* name, uint32_t* flag_id) {
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, name, in.text, kFlagNameMax, &warning);
  if (rc < 0) return rc;
  if (!chopper_flag_name_valid(in.text)) return TQ_ERR_ARGUMENT;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  uint8_t* flags = edit.rec->rules.initial_flags;
  if (rule != nullptr) {
    chopper_rule* r = chopper_rule_find(&edit.rec->rules, *rule);
    if (r == nullptr) return TQ_ERR_ARGUMENT;
    flags = r->output_flags;
  }
  uint32_t id = 0;
  rc = chopper_flag_id_get_or_create(ctx, chopper_name(edit.rec), &edit.rec->rules, in.text, &id);
  if (rc != 0) return rc;
  flags[id] = 1;
  *flag_id = id;
  return finish(0, warning);
}

// A new compiled element for a rule's pattern; the caller frees it.
int32_t regex_element_make(context* ctx, const char* regex, regexlib_element* e) {
  *e = regexlib_element{};
  int32_t rc = regexlib_element_create(e, regex, "", "", 1);
  if (rc == 0) rc = regexlib_element_compile(ctx, e, regexlib_compile_options(ctx) | kRegexOptAnchored);
  if (rc < 0) {
    regexlib_element_free(e);
    return rc;
  }
  return 0;
}

bool category_empty(const char* name) { return name == nullptr || name[0] == '\0'; }

// An empty category name given to a vocabulary rule: its file writes an
// empty category for any category, so the name is refused rather than kept
// as a category never found that a save would turn into any category.
int32_t empty_category_refuse(context* ctx, const chopper_rec* rec) {
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1902, chopper_name(rec));
  return TQ_ERR_ARGUMENT;
}

// The stores of the chopper's fields: each finds the chopper by index (read
// on first use, under whatever hold the caller has) and gives the part its
// fields live in.
int32_t table_lookup(context* ctx, const field_addr& a, void** rec) {
  chopper_rec* chopper = nullptr;
  int32_t rc = chopper_get(ctx, a.index, &chopper);
  if (rc == 0) *rec = &chopper->table;
  return rc;
}
int32_t rules_lookup(context* ctx, const field_addr& a, void** rec) {
  chopper_rec* chopper = nullptr;
  int32_t rc = chopper_get(ctx, a.index, &chopper);
  if (rc == 0) *rec = &chopper->rules;
  return rc;
}
int32_t rule_lookup(context* ctx, const field_addr& a, void** rec) {
  chopper_rule* rule = nullptr;
  // The caller's rule id came through the item's int32_t unchanged.
  int32_t rc = rule_for_read(ctx, a.index, static_cast<uint32_t>(a.item), &rule);
  if (rc == 0) *rec = rule;
  return rc;
}
// The table's break matrix is what it has prepared from its flag.
void table_invalidate(context*, void* rec, uint32_t what) {
  auto* table = static_cast<chopper_table*>(rec);
  if (what & kFieldDropsPrepared) chopper_table_impsep_set(table, table->implicit_sep);
}

}  // namespace

const record_store kChopperTableStore{table_lookup, table_invalidate, nullptr};
const record_store kChopperRulesStore{rules_lookup, nullptr, nullptr};
const record_store kChopperRuleStore{rule_lookup, nullptr, nullptr};

int32_t chopper_rule_flag_name_validate(context* ctx, const char* name, uint32_t* valid) {
  *valid = 0;
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, name, in.text, kNameMax, &warning, kStrioUnkept);
  if (rc < 0) return rc;
  *valid = std::strlen(in.text) <= kFlagNameMax ? chopper_flag_name_valid(in.text) : 0;
  return finish(0, warning);
}

int32_t chopper_rule_validate(context* ctx, const char* expr, uint32_t* valid) {
  *valid = 0;
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, expr, in.text, kTextMax, &warning, kStrioUnkept);
  if (rc < 0) return rc;
  size_t at = 0;
  size_t length = 0;
  if (prereq_syntax_check(ctx, in.text, 0) != 0 || flag_name_too_long(in.text, &at, &length)) return 0;
  // Compiled against flag names of its own, so that no chopper changes.
  auto* scratch = static_cast<chopper_rules*>(np_malloc(sizeof(chopper_rules)));
  if (scratch == nullptr) return TQ_ERR_NO_MEMORY;
  rc = chopper_rules_init(scratch);
  if (rc == 0) {
    prereq_element* postfix = nullptr;
    uint32_t count = 0;
    rc = chopper_prereq_compile(ctx, nullptr, scratch, in.text, &postfix, &count);
    std::free(postfix);
    chopper_rules_free(ctx, scratch);
  }
  std::free(scratch);
  if (rc == 0) *valid = 1;
  return finish(rc, warning);
}

int32_t chopper_rules_init_flag_add(context* ctx, int32_t chopper, const char* name, uint32_t* flag_id) {
  return flag_add(ctx, chopper, nullptr, name, flag_id);
}

int32_t chopper_rules_init_flag_remove(context* ctx, int32_t chopper, uint32_t flag_id) {
  if (flag_id >= kFlagCount) return TQ_ERR_ARGUMENT;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  edit.rec->rules.initial_flags[flag_id] = 0;
  chopper_flag_names_sweep(&edit.rec->rules);
  return 0;
}

int32_t chopper_rules_flag_name_get(context* ctx, int32_t chopper, uint32_t flag_id, char* name) {
  strio_out_clear(ctx, name);
  if (flag_id >= kFlagCount) return TQ_ERR_ARGUMENT;
  chopper_rec* rec = nullptr;
  int32_t rc = chopper_get(ctx, chopper, &rec);
  if (rc != 0) return rc;
  const char* text = rec->rules.flag_names[flag_id];
  // A free id answers -1 with nothing recorded, not an error code: existing
  // clients read -1 as "no flag has this id".
  if (text == nullptr) return -1;
  return strio_out_1028(ctx, text, name, 1);
}

int32_t chopper_rules_flag_id_get(context* ctx, int32_t chopper, const char* name, uint32_t* id) {
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, name, in.text, kNameMax, &warning, kStrioUnkept);
  if (rc < 0) return rc;
  chopper_rec* rec = nullptr;
  rc = chopper_get(ctx, chopper, &rec);
  if (rc != 0) return rc;
  // Looked up whole: a name past 128 bytes names no flag (not the flag of
  // its first 128 bytes).
  if (chopper_flag_id_find(&rec->rules, in.text, id) != 0) {
    TQ_REPORT(ctx, TQ_ERR_NAME, 1477, chopper_name(rec), static_cast<const char*>(in.text));
    return TQ_ERR_NAME;
  }
  return finish(0, warning);
}

int32_t chopper_rules_init_flags_get(context* ctx, int32_t chopper, uint32_t* flag_ids, uint32_t* num_flags) {
  *num_flags = 0;
  chopper_rec* rec = nullptr;
  int32_t rc = chopper_get(ctx, chopper, &rec);
  if (rc != 0) return rc;
  uint32_t n = 0;
  for (uint32_t f = 0; f < kFlagCount; ++f) {
    if (rec->rules.initial_flags[f]) flag_ids[n++] = f;
  }
  *num_flags = n;
  return 0;
}

int32_t chopper_rules_list_get(context* ctx, int32_t chopper, uint32_t* rule_ids) {
  chopper_rec* rec = nullptr;
  int32_t rc = chopper_get(ctx, chopper, &rec);
  if (rc != 0) return rc;
  for (uint32_t i = 0; i < vec_count(&rec->rules.rules); ++i) rule_ids[i] = chopper_rule_at(&rec->rules, i)->id;
  return 0;
}

int32_t chopper_rules_list_count(context* ctx, int32_t chopper, uint32_t* count) {
  *count = 0;
  chopper_rec* rec = nullptr;
  int32_t rc = chopper_get(ctx, chopper, &rec);
  if (rc != 0) return rc;
  *count = vec_count(&rec->rules.rules);
  return 0;
}

int32_t chopper_rule_output_flag_add(context* ctx, int32_t chopper, uint32_t rule, const char* name,
                                     uint32_t* flag_id) {
  return flag_add(ctx, chopper, &rule, name, flag_id);
}

int32_t chopper_rule_output_flag_remove(context* ctx, int32_t chopper, uint32_t rule, uint32_t flag_id) {
  if (flag_id >= kFlagCount) return TQ_ERR_ARGUMENT;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rule* r = chopper_rule_find(&edit.rec->rules, rule);
  if (r == nullptr) return TQ_ERR_ARGUMENT;
  r->output_flags[flag_id] = 0;
  chopper_flag_names_sweep(&edit.rec->rules);
  return 0;
}

int32_t chopper_rule_output_flags_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* flag_ids,
                                      uint32_t* num_flags) {
  *num_flags = 0;
  chopper_rule* r = nullptr;
  int32_t rc = rule_for_read(ctx, chopper, rule, &r);
  if (rc != 0) return rc;
  uint32_t n = 0;
  for (uint32_t f = 0; f < kFlagCount; ++f) {
    if (r->output_flags[f]) flag_ids[n++] = f;
  }
  *num_flags = n;
  return 0;
}

int32_t chopper_rule_method_regex_set(context* ctx, int32_t chopper, uint32_t rule, const char* regex) {
  rule_edit e(ctx, chopper, rule, regex, kTextMax);
  if (e.rc != 0) return e.rc;
  chopper_rule* r = e.rule;
  // A pattern that does not compile leaves the rule as it was.
  regexlib_element fresh;
  int32_t rc = regex_element_make(ctx, e.in.text, &fresh);
  if (rc != 0) return rc;
  chopper_rule_method_clear(ctx, r);
  r->regex = fresh;
  r->method = kRuleMethodRegex;
  return finish(0, e.warning);
}

int32_t chopper_rule_method_vocab_set(context* ctx, int32_t chopper, uint32_t rule, const char* vocab,
                                      const char* category) {
  text_in vocab_in;
  text_in category_in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, vocab, vocab_in.text, kNameMax, &warning);
  if (rc == 0) rc = convert_in(ctx, category, category_in.text, kNameMax, &warning);
  if (rc < 0) return rc;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rule* r = chopper_rule_find(&edit.rec->rules, rule);
  if (r == nullptr) return TQ_ERR_ARGUMENT;
  if (category_empty(category_in.text)) return empty_category_refuse(ctx, edit.rec);
  chopper_rule_method_clear(ctx, r);
  r->method = kRuleMethodVocab;
  // The category is looked up as in adding a rule.
  if (chopper_rule_text_replace(&r->category_name, category_in.text) != 0) {
    return TQ_ERR_NO_MEMORY;
  }
  // A vocabulary that cannot be had leaves the rule with its error bit, so
  // that chopping skips it.
  rc = chopper_rule_vocab_assign(ctx, chopper_name(edit.rec), chopper_lock(edit.rec), r, vocab_in.text);
  return finish(rc, warning);
}

int32_t chopper_rule_regex_set(context* ctx, int32_t chopper, uint32_t rule, const char* regex) {
  rule_edit e(ctx, chopper, rule, regex, kTextMax, kRuleMethodRegex);
  if (e.rc != 0) return e.rc;
  chopper_rule* r = e.rule;
  regexlib_element fresh;
  int32_t rc = regex_element_make(ctx, e.in.text, &fresh);
  if (rc != 0) return rc;
  regexlib_element_free(&r->regex);
  r->regex = fresh;
  return finish(0, e.warning);
}

int32_t chopper_rule_regex_get(context* ctx, int32_t chopper, uint32_t rule, char* regex) {
  strio_out_clear(ctx, regex);
  chopper_rule* r = nullptr;
  int32_t rc = rule_for_read(ctx, chopper, rule, &r, kRuleMethodRegex);
  if (rc != 0) return rc;
  return strio_out_4096(ctx, r->regex.regex != nullptr ? r->regex.regex : "", regex, 1);
}

int32_t chopper_rule_vocab_set(context* ctx, int32_t chopper, uint32_t rule, const char* vocab) {
  rule_edit e(ctx, chopper, rule, vocab, kNameMax, kRuleMethodVocab);
  if (e.rc != 0) return e.rc;
  chopper_rule* r = e.rule;
  int32_t rc = chopper_rule_vocab_assign(ctx, chopper_name(e.rec()), chopper_lock(e.rec()), r, e.in.text);
  return finish(rc, e.warning);
}

int32_t chopper_rule_vocab_get(context* ctx, int32_t chopper, uint32_t rule, char* vocab) {
  strio_out_clear(ctx, vocab);
  chopper_rule* r = nullptr;
  int32_t rc = rule_for_read(ctx, chopper, rule, &r, kRuleMethodVocab);
  if (rc != 0) return rc;
  if (r->errors & kRuleErrVocab) return 0;
  resource_slot* slot = nullptr;
  const char* name = r->vocab_name != nullptr ? r->vocab_name : "";
  if (r->vocab >= 0 && rsrc_slot_get_used(ctx, kRsrcVocab, r->vocab, &slot) == 0) name = slot->name;
  return strio_out_1028(ctx, name, vocab, 1);
}

int32_t chopper_rule_vocab_category_set(context* ctx, int32_t chopper, uint32_t rule, const char* cat) {
  rule_edit e(ctx, chopper, rule, cat, kNameMax, kRuleMethodVocab);
  if (e.rc != 0) return e.rc;
  chopper_rule* r = e.rule;
  if (category_empty(e.in.text)) {
    return finish(chopper_rule_category_assign(ctx, chopper_name(e.rec()), r, nullptr), e.warning);
  }
  // A category the vocabulary lacks is refused and changes nothing.
  int32_t index = -1;
  int32_t rc = chopper_rule_category_lookup(ctx, chopper_name(e.rec()), r, e.in.text, &index);
  if (rc != 0) return rc;
  if (chopper_rule_text_replace(&r->category_name, e.in.text) != 0) return TQ_ERR_NO_MEMORY;
  r->category = index;
  r->errors &= ~kRuleErrCategory;
  return finish(0, e.warning);
}

int32_t chopper_rule_vocab_category_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* all, char* cat) {
  *all = 0;
  strio_out_clear(ctx, cat);
  chopper_rule* r = nullptr;
  int32_t rc = rule_for_read(ctx, chopper, rule, &r, kRuleMethodVocab);
  if (rc != 0) return rc;
  if (r->errors & kRuleErrCategory) return 0;
  if (r->category < 0) {
    *all = 1;
    return 0;
  }
  const char* name = r->category_name != nullptr ? r->category_name : "";
  vocab_rec* vocab = nullptr;
  if (vocab_get(ctx, r->vocab, &vocab) == 0) {
    const category_rec* c = vocab_category_get(vocab, static_cast<uint32_t>(r->category));
    if (c != nullptr) name = c->name;
  }
  return strio_out_1028(ctx, name, cat, 1);
}

int32_t chopper_rule_prereq_set(context* ctx, int32_t chopper, uint32_t rule, const char* prereq) {
  rule_edit e(ctx, chopper, rule, prereq, kTextMax, kAnyMethod, flag_names_check);
  if (e.rc != 0) return e.rc;
  chopper_rule* r = e.rule;
  chopper_rules* rules = &e.rec()->rules;
  int32_t rc = prereq_syntax_check(ctx, e.in.text, 1);
  if (rc != 0) return rc;
  prereq_element* postfix = nullptr;
  uint32_t count = 0;
  rc = chopper_prereq_compile(ctx, chopper_name(e.rec()), rules, e.in.text, &postfix, &count);
  char* text = rc == 0 ? str_dup(e.in.text) : nullptr;
  if (rc == 0 && text == nullptr) rc = TQ_ERR_NO_MEMORY;
  if (rc != 0) {
    std::free(postfix);
    chopper_flag_names_sweep(rules);
    return rc;
  }
  std::free(r->prereq);
  std::free(r->postfix);
  r->prereq = text;
  r->postfix = postfix;
  r->postfix_count = count;
  chopper_flag_names_sweep(rules);
  return finish(0, e.warning);
}

int32_t chopper_rule_options_set(context* ctx, int32_t chopper, uint32_t rule, uint32_t options) {
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rule* r = chopper_rule_find(&edit.rec->rules, rule);
  // An unknown rule id is ignored with result 0, unlike the other rule
  // setters; kept so that existing clients get the result they always got.
  if (r != nullptr) r->options = options;
  return 0;
}

int32_t chopper_rules_list_clear(context* ctx, int32_t chopper) {
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rules* rules = &edit.rec->rules;
  for (uint32_t i = 0; i < vec_count(&rules->rules); ++i) chopper_rule_free(ctx, chopper_rule_at(rules, i));
  vec_clear(&rules->rules);
  rules->next_rule_id = 0;
  chopper_flag_names_sweep(rules);
  return 0;
}

namespace {

// Adding a rule: every text converted in first, in the order of the call's
// arguments (the first warning is the one returned), then the chopper held
// for change. texts: pattern, vocabulary, category, prerequisite, flags,
// notes; NULL where the method has none.
int32_t rule_add(context* ctx, int32_t chopper, uint32_t method, const char* const (&texts)[6], uint32_t options,
                 uint32_t* rule_id) {
  static constexpr uint32_t kMax[6] = {kTextMax, kNameMax, kNameMax, kTextMax, kTextMax, kTextMax};
  auto* in = static_cast<text_in*>(np_malloc(sizeof(text_in) * 6));
  if (in == nullptr) return TQ_ERR_NO_MEMORY;
  const char* text[6] = {};
  int32_t warning = 0;
  int32_t rc = 0;
  for (int k = 0; k < 6 && rc == 0; ++k) {
    if (texts[k] == nullptr) continue;
    rc = convert_in(ctx, texts[k], in[k].text, kMax[k], &warning);
    // The prerequisite's and the output flags' names.
    if (rc == 0 && (k == 3 || k == 4)) rc = flag_names_check(ctx, in[k].text);
    text[k] = in[k].text;
  }
  if (rc == 0) {
    chopper_edit_scope edit(ctx, chopper);
    rc = edit.rc;
    if (rc == 0 && method == kRuleMethodVocab && category_empty(text[2])) rc = empty_category_refuse(ctx, edit.rec);
    if (rc == 0) {
      rc = chopper_rule_add(ctx, chopper_name(edit.rec), chopper_lock(edit.rec), &edit.rec->rules, method, text[0],
                            text[1], text[2], text[3], text[4], options, text[5], rule_id);
    }
  }
  std::free(in);
  return finish(rc, warning);
}

}  // namespace

int32_t chopper_regex_rule_add(context* ctx, int32_t chopper, const char* regex, const char* prereq,
                               const char* flags, uint32_t options, const char* notes, uint32_t* rule_id) {
  return rule_add(ctx, chopper, kRuleMethodRegex, {regex, nullptr, nullptr, prereq, flags, notes}, options, rule_id);
}

// The names are always given here; an empty category is refused (a rule
// for any category is made with the category setter and an empty name).
int32_t chopper_vocab_rule_add(context* ctx, int32_t chopper, const char* vocab, const char* category,
                               const char* prereq, const char* flags, uint32_t options, const char* notes,
                               uint32_t* rule_id) {
  return rule_add(ctx, chopper, kRuleMethodVocab, {nullptr, vocab, category, prereq, flags, notes}, options, rule_id);
}

// ---- Character table ---------------------------------------------------------------------

int32_t chopper_table_char_count_get(context* ctx, int32_t chopper, uint32_t* count) {
  *count = 0;
  chopper_rec* rec = nullptr;
  int32_t rc = chopper_get(ctx, chopper, &rec);
  if (rc != 0) return rc;
  if (rec->table.set_in_progress) return TQ_ERR_EDIT_MODE;
  *count = rec->table.count;
  return 0;
}

int32_t chopper_table_char_metadata_get_by_index(context* ctx, int32_t chopper, uint32_t index, uint32_t* codepoint,
                                                 uint32_t* clsfn, uint32_t* oprn) {
  *codepoint = 0;
  *clsfn = 0;
  *oprn = 0;
  chopper_rec* rec = nullptr;
  int32_t rc = chopper_get(ctx, chopper, &rec);
  if (rc != 0) return rc;
  if (rec->table.set_in_progress) return TQ_ERR_EDIT_MODE;
  if (index >= rec->table.count) return TQ_ERR_ARGUMENT;
  const chopper_char& e = rec->table.entries[index];
  *codepoint = e.code_point;
  *clsfn = e.classification;
  *oprn = e.operation;
  return 0;
}

int32_t chopper_table_char_metadata_get_by_codepoint(context* ctx, int32_t chopper, uint32_t codepoint,
                                                     uint32_t* clsfn, uint32_t* oprn) {
  *clsfn = 0;
  *oprn = 0;
  chopper_rec* rec = nullptr;
  int32_t rc = chopper_get(ctx, chopper, &rec);
  if (rc != 0) return rc;
  uint32_t c = 0;
  uint32_t op = 0;
  rc = chopper_table_char_lookup(&rec->table, codepoint, &c, &op);
  if (rc != 0) return rc;
  *clsfn = c;
  *oprn = op;
  return 0;
}

int32_t chopper_table_char_classif_name_get(context* ctx, uint32_t classif, char* name) {
  strio_out_clear(ctx, name);
  const char* text = chop_class_name(classif);
  if (text == nullptr) return TQ_ERR_ARGUMENT;
  return strio_out_1028(ctx, text, name, 1);
}

int32_t chopper_table_char_oper_name_get(context* ctx, uint32_t oper, char* name) {
  strio_out_clear(ctx, name);
  const char* text = chop_oper_name(oper);
  if (text == nullptr) return TQ_ERR_ARGUMENT;
  return strio_out_1028(ctx, text, name, 1);
}

int32_t chopper_table_char_classif_count_get(context* ctx, uint32_t* count) {
  (void)ctx;
  *count = kListedClassCount;
  return 0;
}

int32_t chopper_table_char_oper_count_get(context* ctx, uint32_t* count) {
  (void)ctx;
  *count = kListedOperCount;
  return 0;
}

int32_t chopper_table_char_classif_get_by_index(context* ctx, uint32_t index, uint32_t* classif) {
  (void)ctx;
  return chop_class_listed(index, classif);
}

int32_t chopper_table_char_oper_get_by_index(context* ctx, uint32_t index, uint32_t* oper) {
  (void)ctx;
  return chop_oper_listed(index, oper);
}

int32_t chopper_table_char_metadata_set_begin(context* ctx, int32_t chopper) {
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  edit.rec->table.set_in_progress = 1;
  return 0;
}

int32_t chopper_table_char_metadata_set(context* ctx, int32_t chopper, uint32_t codepoint, const char* desc,
                                        uint32_t clsfn, uint32_t oprn) {
  // The table keeps 83 bytes of a description: a longer one is refused.
  char description[kCharDescriptionSize];
  int32_t warning = strio_in(ctx, desc, description, kCharDescriptionSize - 1, kStrioConvert);
  if (warning < 0) return warning;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  if (!edit.rec->table.set_in_progress) return TQ_ERR_NEEDS_EDIT_MODE;
  int32_t rc = chopper_table_entry_set(ctx, &edit.rec->table, description, clsfn, oprn, codepoint, 0);
  if (rc != 0) return rc;
  return warning;
}

int32_t chopper_table_char_metadata_set_end(context* ctx, int32_t chopper) {
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  if (!edit.rec->table.set_in_progress) return TQ_ERR_NEEDS_EDIT_MODE;
  int32_t rc = chopper_table_finish(&edit.rec->table);
  if (rc == 0) edit.rec->table.set_in_progress = 0;
  return rc;
}

}  // namespace tq

#include "resources/krcrld.h"

#include <cstdlib>
#include <cstring>

#include "core/krcaseloc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krlib.h"
#include "kbstore/krxml.h"
#include "resources/krvcld.h"
#include "platform/npmem.h"

namespace tq {

namespace {

// ---- Flag-name use ----------------------------------------------------------------------

void mark_rule_uses(const chopper_rule* rule, bool* used) {
  for (uint32_t f = 0; f < kFlagCount; ++f) {
    if (rule->output_flags[f]) used[f] = true;
  }
  for (uint32_t k = 0; k < rule->postfix_count; ++k) {
    const prereq_element& e = rule->postfix[k];
    if (e.type == kPostFlag && e.flag >= 0 && static_cast<uint32_t>(e.flag) < kFlagCount) used[e.flag] = true;
  }
}

void flag_name_release(chopper_rules* rules, uint32_t id) {
  char* name = rules->flag_names[id];
  if (name == nullptr) return;
  hash_remove(&rules->flag_ids, name, static_cast<int32_t>(std::strlen(name)));
  std::free(name);
  rules->flag_names[id] = nullptr;
  rules->flag_free[id] = 1;
}

const char* name_of(const char* chopper) { return chopper != nullptr ? chopper : "[none]"; }

// ---- Document names ---------------------------------------------------------------------

constexpr const char* kDocRules = "Chopping Rules";
constexpr const char* kDocInitial = "Initial Flags";
constexpr const char* kDocList = "Rule List";
constexpr const char* kColName = "Name";
constexpr const char* kColMethod = "Method";
constexpr const char* kColRegex = "Regex";
constexpr const char* kColVocab = "Vocab";
constexpr const char* kColVocabCat = "Vocab Cat";
constexpr const char* kColPrereq = "Prerequisite Expression";
constexpr const char* kColOutput = "Output Flags";
constexpr const char* kColOptions = "Options";
constexpr const char* kColNotes = "Notes";

const xmldoc* include_named(const xmldoc* doc, const char* name) {
  for (int32_t i = 0; i < doc->include_count; ++i) {
    const xmldoc_include& inc = doc->includes[i];
    if (inc.doc != nullptr && std::strcmp(inc.name, name) == 0) return inc.doc;
  }
  return nullptr;
}

const char* record_text(const xmldoc_record& rec, int32_t col) {
  const xmldoc_field& f = rec.fields[col];
  return f.type == kXmlColString && f.text != nullptr ? f.text : "";
}

int64_t record_number(const xmldoc_record& rec, int32_t col) {
  const xmldoc_field& f = rec.fields[col];
  if (f.type == kXmlColInt) return f.number;
  // A number past int32 reads as none: the chopper that holds one is refused.
  return f.type == kXmlColString && f.text != nullptr ? std::strtoll(f.text, nullptr, 10) : 0;
}

int32_t includes_add(context* ctx, xmldoc* into, const char* name, xmldoc* what) {
  int32_t rc = xmldoc_include_add(ctx, into, name, kXmlIncludeInline, what);
  if (rc != 0) xml_free(ctx, what);
  return rc;
}

// The output flag names of a rule in id order, joined by ','.
char* output_flags_text(const chopper_rules* rules, const chopper_rule* rule) {
  size_t size = 1;
  for (uint32_t f = 0; f < kFlagCount; ++f) {
    if (rule->output_flags[f] && rules->flag_names[f] != nullptr) size += std::strlen(rules->flag_names[f]) + 1;
  }
  auto* text = static_cast<char*>(np_malloc(size));
  if (text == nullptr) return nullptr;
  size_t used = 0;
  for (uint32_t f = 0; f < kFlagCount; ++f) {
    if (!rule->output_flags[f] || rules->flag_names[f] == nullptr) continue;
    if (used > 0) text[used++] = ',';
    size_t n = std::strlen(rules->flag_names[f]);
    std::memcpy(text + used, rules->flag_names[f], n);
    used += n;
  }
  text[used] = '\0';
  return text;
}

}  // namespace

chopper_rule* chopper_rule_at(const chopper_rules* rules, uint32_t i) {
  return static_cast<chopper_rule*>(vec_get(&rules->rules, static_cast<int32_t>(i)));
}

int32_t chopper_rule_text_replace(char** slot, const char* text) {
  char* copy = nullptr;
  if (text != nullptr) {
    copy = str_dup(text);
    if (copy == nullptr) return TQ_ERR_NO_MEMORY;
  }
  std::free(*slot);
  *slot = copy;
  return 0;
}

int32_t chopper_rule_category_lookup(context* ctx, const char* chopper, const chopper_rule* rule, const char* name,
                                     int32_t* index) {
  *index = -1;
  int32_t rc = TQ_ERR_ARGUMENT;
  if (rule->vocab >= 0 && (rule->errors & kRuleErrVocab) == 0) {
    vocab_rec* vocab = nullptr;
    rc = vocab_get(ctx, rule->vocab, &vocab);
    if (rc == 0) {
      // Uppercased by the root rules, never the current locale's: a chopper
      // names the same category whichever locale is current when a rule is
      // set, saved or read back (Turkish would make "given" "GİVEN").
      char upper[kFlagNameSize * 4];
      str_copy_bounded(upper, name, sizeof upper);
      case_upper_root(ctx, upper, sizeof upper);
      int32_t found = vocab_category_find(vocab, upper);
      if (found >= 0) {
        *index = found;
        return 0;
      }
      rc = TQ_ERR_ARGUMENT;
    }
  }
  TQ_REPORT(ctx, rc, 1550, name, name_of(chopper));
  return rc;
}

// ---- The rules part -------------------------------------------------------------------------

int32_t chopper_rules_init(chopper_rules* rules) {
  std::memset(static_cast<void*>(rules), 0, sizeof *rules);
  std::memset(rules->flag_free, 1, sizeof rules->flag_free);
  if (hash_init(&rules->flag_ids, kHashKeyBytes, 1, 0) != 0) return TQ_ERR_NO_MEMORY;
  if (vec_init(&rules->rules, 8) != 0) {
    hash_free(&rules->flag_ids);
    return TQ_ERR_NO_MEMORY;
  }
  // Rules need the context to give their vocabulary back, which the
  // vector's free function lacks: chopper_rules_free frees them first.
  vec_free_fn_set(&rules->rules, vec_free_noop);
  return 0;
}

void chopper_rules_free(context* ctx, chopper_rules* rules) {
  if (rules == nullptr) return;
  for (uint32_t i = 0; i < vec_count(&rules->rules); ++i) chopper_rule_free(ctx, chopper_rule_at(rules, i));
  vec_free(&rules->rules);
  for (uint32_t id = 0; id < kFlagCount; ++id) {
    std::free(rules->flag_names[id]);
    rules->flag_names[id] = nullptr;
  }
  hash_free(&rules->flag_ids);
  std::memset(rules->initial_flags, 0, sizeof rules->initial_flags);
  std::memset(rules->flag_free, 1, sizeof rules->flag_free);
  rules->next_rule_id = 0;
}

chopper_rule* chopper_rule_find(const chopper_rules* rules, uint32_t id) {
  for (uint32_t i = 0; i < vec_count(&rules->rules); ++i) {
    chopper_rule* r = chopper_rule_at(rules, i);
    if (r->id == id) return r;
  }
  return nullptr;
}

uint32_t chopper_flag_name_valid(const char* name) {
  for (const char* p = name; *p != '\0'; ++p) {
    if (prereq_special(*p)) return 0;
  }
  return 1;
}

int32_t chopper_flag_id_find(const chopper_rules* rules, const char* name, uint32_t* id) {
  uintptr_t words[2] = {0, 0};
  auto* table = const_cast<hash_table*>(&rules->flag_ids);
  if (hash_get(table, name, static_cast<int32_t>(std::strlen(name)), words) != 1) return -1;
  *id = static_cast<uint32_t>(words[0]);
  return 0;
}

int32_t chopper_flag_id_get_or_create(context* ctx, const char* chopper, chopper_rules* rules, const char* name,
                                      uint32_t* id) {
  char cut[kFlagNameSize];
  prereq_name_cut(name, std::strlen(name), cut);
  if (chopper_flag_id_find(rules, cut, id) == 0) return 0;
  uint32_t free_id = kFlagCount;
  for (uint32_t f = 0; f < kFlagCount; ++f) {
    if (rules->flag_free[f]) {
      free_id = f;
      break;
    }
  }
  if (free_id == kFlagCount) {
    TQ_REPORT(ctx, -601, 1476, chopper != nullptr ? chopper : "[none]");
    return -601;
  }
  char* copy = str_dup(cut);
  if (copy == nullptr) return TQ_ERR_NO_MEMORY;
  uintptr_t out[2] = {0, 0};
  if (hash_put(&rules->flag_ids, copy, static_cast<int32_t>(std::strlen(copy)), free_id, 0, out) != 0) {
    std::free(copy);
    return TQ_ERR_NO_MEMORY;
  }
  rules->flag_names[free_id] = copy;
  rules->flag_free[free_id] = 0;
  *id = free_id;
  return 0;
}

void chopper_flag_names_sweep(chopper_rules* rules) {
  bool used[kFlagCount] = {};
  for (uint32_t f = 0; f < kFlagCount; ++f) {
    if (rules->initial_flags[f]) used[f] = true;
  }
  for (uint32_t i = 0; i < vec_count(&rules->rules); ++i) mark_rule_uses(chopper_rule_at(rules, i), used);
  for (uint32_t f = 0; f < kFlagCount; ++f) {
    if (!used[f]) flag_name_release(rules, f);
  }
}

// ---- Prerequisites over a chopper's flags -------------------------------------------------------

namespace {

struct flag_names {
  const char* chopper;
  chopper_rules* rules;
};

int32_t flag_id_of(context* ctx, void* arg, const char* name, uint32_t* id) {
  auto* names = static_cast<flag_names*>(arg);
  return chopper_flag_id_get_or_create(ctx, names->chopper, names->rules, name, id);
}

}  // namespace

int32_t chopper_prereq_compile(context* ctx, const char* chopper, chopper_rules* rules, const char* expr,
                               prereq_element** out, uint32_t* count) {
  flag_names names{chopper, rules};
  return prereq_compile(ctx, expr, flag_id_of, &names, out, count);
}

// ---- Rules ---------------------------------------------------------------------------------------

int32_t chopper_output_flags_parse(context* ctx, const char* chopper, chopper_rules* rules, const char* text,
                                   uint8_t* out) {
  std::memset(out, 0, kFlagCount);
  size_t i = 0;
  for (;;) {
    while (prereq_blank(text[i])) ++i;
    if (text[i] == '\0') break;
    if (text[i] == ',') {
      ++i;
      continue;
    }
    if (prereq_special(text[i])) {
      TQ_REPORT(ctx, TQ_ERR_SYNTAX, 1475, chopper, static_cast<int32_t>(i), text);
      return TQ_ERR_SYNTAX;
    }
    size_t j = i;
    while (text[j] != '\0' && !prereq_special(text[j])) ++j;
    char name[kFlagNameSize];
    prereq_name_cut(text + i, j - i, name);
    uint32_t id = 0;
    int32_t rc = chopper_flag_id_get_or_create(ctx, chopper, rules, name, &id);
    if (rc != 0) return rc;
    out[id] = 1;
    i = j;
    while (prereq_blank(text[i])) ++i;
    if (text[i] == '\0') break;
    if (text[i] != ',') {
      TQ_REPORT(ctx, TQ_ERR_SYNTAX, 1475, chopper, static_cast<int32_t>(i), text);
      return TQ_ERR_SYNTAX;
    }
    ++i;
  }
  return 0;
}

void chopper_rule_method_clear(context* ctx, chopper_rule* rule) {
  regexlib_element_free(&rule->regex);
  if (rule->vocab >= 0) (void)rsrc_unref(ctx, kRsrcVocab, rule->vocab);
  rule->vocab = -1;
  rule->category = -1;
  std::free(rule->vocab_name);
  std::free(rule->category_name);
  rule->vocab_name = nullptr;
  rule->category_name = nullptr;
  rule->errors = 0;
}

void chopper_rule_free(context* ctx, chopper_rule* rule) {
  if (rule == nullptr) return;
  chopper_rule_method_clear(ctx, rule);
  std::free(rule->prereq);
  std::free(rule->postfix);
  std::free(rule->notes);
  std::free(rule);
}

// No name (NULL) means any category. A name, an empty one included, is
// looked up like any other: the empty name is no category, so such a rule
// carries error bit 2 rather than silently matching every category.
int32_t chopper_rule_category_assign(context* ctx, const char* chopper, chopper_rule* rule, const char* category) {
  if (chopper_rule_text_replace(&rule->category_name, category) != 0) return TQ_ERR_NO_MEMORY;
  rule->category = -1;
  rule->errors &= ~kRuleErrCategory;
  if (category == nullptr) return 0;
  int32_t index = -1;
  int32_t rc = chopper_rule_category_lookup(ctx, chopper, rule, category, &index);
  if (rc != 0) {
    rule->errors |= kRuleErrCategory;
    return rc;
  }
  rule->category = index;
  return 0;
}

int32_t chopper_rule_vocab_assign(context* ctx, const char* chopper, lock_handle* lock, chopper_rule* rule,
                                  const char* vocab) {
  if (chopper_rule_text_replace(&rule->vocab_name, vocab) != 0) return TQ_ERR_NO_MEMORY;
  int32_t index = -1;
  int32_t rc = vocab_load_by_name(ctx, vocab, lock, kVocabFormCompiled, &index);
  if (rc >= 0) {
    // Read now, while the caller may take the write hold, so that chopping
    // never has to load it in the middle of a pass.
    vocab_rec* loaded = nullptr;
    rc = vocab_get(ctx, index, &loaded);
  }
  // A registration whose reading failed still holds the rule's reference.
  if (rc < 0 && index >= 0) (void)rsrc_unref(ctx, kRsrcVocab, index);
  // The new reference is taken before the old one goes, so that setting
  // the same vocabulary again never frees it in between.
  if (rule->vocab >= 0) (void)rsrc_unref(ctx, kRsrcVocab, rule->vocab);
  rule->vocab = -1;
  if (rc < 0) {
    rule->errors |= kRuleErrVocab;
    TQ_REPORT(ctx, rc, 1549, vocab, name_of(chopper));
  } else {
    rule->vocab = index;
    rule->errors &= ~kRuleErrVocab;
    rc = 0;
  }
  // The category is looked up again in the vocabulary now set.
  char* category = rule->category_name != nullptr ? str_dup(rule->category_name) : nullptr;
  if (rule->category_name != nullptr && category == nullptr) return TQ_ERR_NO_MEMORY;
  int32_t cat_rc = chopper_rule_category_assign(ctx, chopper, rule, category);
  std::free(category);
  // The rule is changed either way: kept with its error bits, that is the
  // warning 105 beside the failure recorded; only a lack of memory fails.
  const int32_t failed = rc != 0 ? rc : cat_rc;
  if (failed == TQ_ERR_NO_MEMORY) return failed;
  return failed < 0 ? TQ_WARN_READ_PROBLEMS : 0;
}

int32_t chopper_rule_add(context* ctx, const char* chopper, lock_handle* lock, chopper_rules* rules, uint32_t method,
                         const char* regex, const char* vocab, const char* category, const char* prereq,
                         const char* flags, uint32_t options, const char* notes, uint32_t* id) {
  if (method != kRuleMethodRegex && method != kRuleMethodVocab) return TQ_ERR_ARGUMENT;
  const char* name = name_of(chopper);
  auto* rule = static_cast<chopper_rule*>(np_calloc(1, sizeof(chopper_rule)));
  if (rule == nullptr) return TQ_ERR_NO_MEMORY;
  rule->vocab = -1;
  rule->category = -1;
  rule->method = method;
  int32_t rc = 0;
  int32_t kept = 0;
  if (method == kRuleMethodVocab) {
    // A vocabulary or category that cannot be had leaves error bits; the
    // rule is kept and skipped when chopping, and the add says so (105)
    // beside the failure it recorded.
    if (chopper_rule_text_replace(&rule->category_name, category) != 0) rc = TQ_ERR_NO_MEMORY;
    if (rc == 0) {
      const int32_t assigned = chopper_rule_vocab_assign(ctx, chopper, lock, rule, vocab != nullptr ? vocab : "");
      if (assigned < 0) rc = assigned;
      kept = assigned;
    }
  } else {
    rc = regexlib_element_create(&rule->regex, regex, "", "", 1);
    if (rc == 0) rc = regexlib_element_compile(ctx, &rule->regex, regexlib_compile_options(ctx) | kRegexOptAnchored);
    if (rc > 0) rc = 0;  // a pattern the JIT could not take still runs
  }
  if (rc == 0) rc = prereq_syntax_check(ctx, prereq != nullptr ? prereq : "", 1);
  if (rc == 0) rc = chopper_rule_text_replace(&rule->prereq, prereq != nullptr ? prereq : "");
  if (rc == 0) rc = chopper_prereq_compile(ctx, name, rules, rule->prereq, &rule->postfix, &rule->postfix_count);
  if (rc == 0) rc = chopper_output_flags_parse(ctx, name, rules, flags != nullptr ? flags : "", rule->output_flags);
  if (rc == 0 && notes != nullptr && notes[0] != '\0') rc = chopper_rule_text_replace(&rule->notes, notes);
  if (rc == 0) {
    rule->options = options;
    rule->id = rules->next_rule_id;
    rc = vec_push(&rules->rules, rule);
  }
  if (rc != 0) {
    chopper_rule_free(ctx, rule);
    chopper_flag_names_sweep(rules);
    return rc;
  }
  rules->next_rule_id += 1;
  if (id != nullptr) *id = rule->id;
  return kept;
}

// ---- Document part -----------------------------------------------------------------------------------

int32_t chopper_rules_write(context* ctx, const chopper_rules* rules, xmldoc* doc) {
  int32_t rc = xmldoc_prop_add_yes_no(ctx, doc, "Use Rules", rules->use_rules ? 1 : 0, 0);
  if (rc != 0) return rc;
  xmldoc* container = nullptr;
  xmldoc* initial = nullptr;
  xmldoc* list = nullptr;
  rc = xmldoc_create(ctx, kDocRules, "1.0", &container);
  if (rc != 0) return rc;
  rc = xmldoc_create(ctx, kDocInitial, "1.0", &initial);
  if (rc == 0) rc = xmldoc_create(ctx, kDocList, "1.0", &list);
  if (rc == 0) rc = xmldoc_column_add(ctx, initial, kColName, kXmlColString);
  for (uint32_t f = 0; f < kFlagCount && rc == 0; ++f) {
    if (!rules->initial_flags[f] || rules->flag_names[f] == nullptr) continue;
    xmldoc_field field;
    field.type = kXmlColString;
    field.text = rules->flag_names[f];
    rc = xmldoc_record_add(ctx, initial, "", nullptr, &field);
  }
  const char* const columns[8] = {kColMethod, kColRegex,  kColVocab,   kColVocabCat,
                                  kColPrereq, kColOutput, kColOptions, kColNotes};
  for (int k = 0; k < 8 && rc == 0; ++k) {
    rc = xmldoc_column_add(ctx, list, columns[k], k == 6 ? kXmlColInt : kXmlColString);
  }
  for (uint32_t i = 0; i < vec_count(&rules->rules) && rc == 0; ++i) {
    const chopper_rule* rule = chopper_rule_at(rules, i);
    char* output = output_flags_text(rules, rule);
    if (output == nullptr) {
      rc = TQ_ERR_NO_MEMORY;
      break;
    }
    const bool is_regex = rule->method == kRuleMethodRegex;
    const char* texts[8] = {
        is_regex ? "Regex" : "Vocab",
        is_regex && rule->regex.regex != nullptr ? rule->regex.regex : "",
        !is_regex && rule->vocab_name != nullptr ? rule->vocab_name : "",
        !is_regex && rule->category_name != nullptr ? rule->category_name : "",
        rule->prereq != nullptr ? rule->prereq : "",
        output,
        nullptr,
        rule->notes != nullptr ? rule->notes : "",
    };
    xmldoc_field fields[8];
    for (int k = 0; k < 8; ++k) {
      if (k == 6) {
        fields[k].type = kXmlColInt;
        fields[k].number = static_cast<int32_t>(rule->options);
      } else {
        fields[k].type = kXmlColString;
        fields[k].text = const_cast<char*>(texts[k]);
      }
    }
    rc = xmldoc_record_add(ctx, list, "", nullptr, fields);
    std::free(output);
  }
  if (rc == 0) {
    rc = includes_add(ctx, container, kDocInitial, initial);
    initial = nullptr;
  }
  if (rc == 0) {
    rc = includes_add(ctx, container, kDocList, list);
    list = nullptr;
  }
  if (rc == 0) {
    rc = includes_add(ctx, doc, kDocRules, container);
    container = nullptr;
  }
  xml_free(ctx, initial);
  xml_free(ctx, list);
  xml_free(ctx, container);
  return rc;
}

int32_t chopper_rules_read(context* ctx, const xmldoc* doc, const char* chopper, lock_handle* lock,
                           chopper_rules* rules) {
  const char* name = name_of(chopper);
  const uint32_t use = std::strcmp(xmldoc_prop_get(ctx, doc, "Use Rules"), "Yes") == 0 ? 1 : 0;
  rules->use_rules = 0;
  const xmldoc* container = include_named(doc, kDocRules);
  const xmldoc* initial = container != nullptr ? include_named(container, kDocInitial) : nullptr;
  const xmldoc* list = container != nullptr ? include_named(container, kDocList) : nullptr;
  if (initial == nullptr || list == nullptr) return 0;

  int32_t col_name = -1;
  if (initial->record_count > 0 && xmldoc_column_find(ctx, initial, kColName, &col_name) != 0) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 209, kColName, name);
    return TQ_ERR_INVALID_CONTENT;
  }
  for (int32_t r = 0; r < initial->record_count; ++r) {
    const xmldoc_record& rec = initial->records[r];
    if (rec.key == nullptr || rec.fields == nullptr) continue;
    uint32_t id = 0;
    int32_t rc = chopper_flag_id_get_or_create(ctx, name, rules, record_text(rec, col_name), &id);
    if (rc != 0) return rc;
    rules->initial_flags[id] = 1;
  }

  const char* const columns[8] = {kColMethod, kColRegex,  kColVocab,   kColVocabCat,
                                  kColPrereq, kColOutput, kColOptions, kColNotes};
  int32_t col[8];
  for (int k = 0; k < 8; ++k) {
    if (xmldoc_column_find(ctx, list, columns[k], &col[k]) != 0) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 209, columns[k], name);
      return TQ_ERR_INVALID_CONTENT;
    }
  }
  for (int32_t r = 0; r < list->record_count; ++r) {
    const xmldoc_record& rec = list->records[r];
    if (rec.key == nullptr || rec.fields == nullptr) continue;
    const char* method = record_text(rec, col[0]);
    uint32_t m = 0;
    if (std::strcmp(method, "Regex") == 0) {
      m = kRuleMethodRegex;
    } else if (std::strcmp(method, "Vocab") == 0) {
      m = kRuleMethodVocab;
    } else {
      continue;
    }
    // An empty "Vocab Cat" in a document is a rule for any category: that is
    // how saved choppers store one, unlike an empty name given to the setters.
    const char* category = record_text(rec, col[3]);
    int32_t rc = chopper_rule_add(ctx, chopper, lock, rules, m, record_text(rec, col[1]), record_text(rec, col[2]),
                                  category[0] != '\0' ? category : nullptr, record_text(rec, col[4]),
                                  record_text(rec, col[5]), static_cast<uint32_t>(record_number(rec, col[6])),
                                  record_text(rec, col[7]), nullptr);
    if (rc < 0) return rc;
  }
  rules->use_rules = use;
  return 0;
}

}  // namespace tq

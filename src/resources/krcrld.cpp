#include "resources/krcrld.h"

#include <cstdlib>
#include <cstring>

#include "core/krcaseloc.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krlib.h"
#include "kbstore/krxml.h"
#include "platform/npuchar.h"
#include "platform/nputf8.h"
#include "resources/krchop.h"
#include "resources/krchpr.h"
#include "resources/krvcld.h"
#include "resources/krvocb.h"

namespace tq {

namespace {

// ---- Tokens of prerequisite expressions --------------------------------------------

enum token_type : uint32_t {
  kTokStart = 0,
  kTokAnd = 1,
  kTokOr = 2,
  kTokNot = 3,
  kTokClose = 4,
  kTokOpen = 5,
  kTokName = 6,
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool is_special(char c) {
  return c == ' ' || c == '\t' || c == '!' || c == '&' || c == '(' || c == ')' || c == ',' || c == '|';
}

struct token {
  uint32_t type;
  size_t pos;  // byte offset of its first character
  size_t len;
};

// The next token from *i; false at the end of the text. A ',' is a name of
// length 0 here; the syntax check refuses it before any tokenising.
bool next_token(const char* text, size_t* i, token* out) {
  while (is_blank(text[*i])) ++*i;
  char c = text[*i];
  if (c == '\0') return false;
  out->pos = *i;
  out->len = 1;
  switch (c) {
    case '&': out->type = kTokAnd; break;
    case '|': out->type = kTokOr; break;
    case '!': out->type = kTokNot; break;
    case '(': out->type = kTokOpen; break;
    case ')': out->type = kTokClose; break;
    default: {
      size_t j = *i;
      while (text[j] != '\0' && !is_special(text[j])) ++j;
      out->type = kTokName;
      out->len = j > *i ? j - *i : 1;
      break;
    }
  }
  *i = out->pos + out->len;
  return true;
}

bool allowed_after(uint32_t tok, uint32_t prev) {
  switch (tok) {
    case kTokAnd:
    case kTokOr:
    case kTokClose: return prev == kTokClose || prev == kTokName;
    case kTokNot: return prev == kTokStart || prev == kTokAnd || prev == kTokOr || prev == kTokOpen;
    case kTokOpen: return prev != kTokName;
    case kTokName: return prev != kTokClose && prev != kTokName;
    default: return false;
  }
}

// Precedences by token type: taken by an incoming token, and held on the
// operator stack.
constexpr uint32_t kInPrec[7] = {0, 3, 3, 4, 2, 9, 9};
constexpr uint32_t kStackPrec[7] = {0, 3, 3, 4, 9, 2, 9};

struct stack_entry {
  uint32_t type;
  int32_t flag;
};

// A name cut to 128 bytes between characters.
void flag_name_cut(const char* text, size_t len, char* out) {
  size_t n = len < kFlagNameSize - 1 ? len : kFlagNameSize - 1;
  std::memcpy(out, text, n);
  out[n] = '\0';
  if (n < len) out[np_uchar_cut(out, n)] = '\0';
}

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

chopper_rule* rule_at(const chopper_rules* rules, uint32_t i) {
  return static_cast<chopper_rule*>(vec_get(&rules->rules, static_cast<int32_t>(i)));
}

// Replaces an owned text with a copy (NULL for NULL). -600.
int32_t text_replace(char** slot, const char* text) {
  char* copy = nullptr;
  if (text != nullptr) {
    copy = str_dup(text);
    if (copy == nullptr) return -600;
  }
  std::free(*slot);
  *slot = copy;
  return 0;
}

const char* name_of(const chopper_rec* chopper) { return chopper != nullptr ? chopper_name(chopper) : "[none]"; }

// ---- Vocabulary lookups --------------------------------------------------------------------

// The index of a category among the vocabulary's (names are stored
// uppercased). -802 when absent; the vocabulary's failure when it cannot be
// had. Failures are recorded with message 1550.
int32_t category_lookup(context* ctx, const chopper_rec* chopper, const chopper_rule* rule, const char* name,
                        int32_t* index) {
  *index = -1;
  int32_t rc = -802;
  if (rule->vocab >= 0 && (rule->errors & kRuleErrVocab) == 0) {
    vocab_rec* vocab = nullptr;
    rc = vocab_get(ctx, rule->vocab, &vocab);
    if (rc == 0) {
      char upper[kFlagNameSize * 4];
      str_copy_bounded(upper, name, sizeof upper);
      case_upper_current_locale(ctx, upper, sizeof upper);
      int32_t found = vocab_category_find(vocab, upper);
      if (found >= 0) {
        *index = found;
        return 0;
      }
      rc = -802;
    }
  }
  TQ_REPORT(ctx, rc, 1550, name, name_of(chopper));
  return rc;
}

bool category_empty(const char* name) { return name == nullptr || name[0] == '\0'; }

// Whether a vocabulary match carries the rule's category.
bool match_has_category(const vocab_rec* vocab, const chopper_rule* rule, const vocab_word_match& match) {
  if (rule->category < 0) return true;
  const category_rec* wanted = vocab_category_get(vocab, static_cast<uint32_t>(rule->category));
  if (wanted == nullptr) return false;
  for (uint32_t k = 0; k < match.category_count && k < kVocabCategoriesMax; ++k) {
    const category_rec* c = match.categories[k].category;
    if (c == wanted || (c != nullptr && std::strcmp(c->name, wanted->name) == 0)) return true;
  }
  return false;
}

// Byte length of the character at text (1 for an undecodable byte).
uint32_t char_length_at(const char* text) {
  const char* cursor = text;
  int32_t code = 0;
  int32_t n = np_uchar_toint(&cursor, &code);
  return n > 0 ? static_cast<uint32_t>(n) : 1;
}

// The longest word of the rule's vocabulary that the value starts with at
// `pos`, comparing uppercased text. Each character is uppercased on its own
// so that the matched length maps back to whole characters of the value
// (casing can change a character's byte length, as the Turkish i does).
int32_t vocab_method_match(context* ctx, const chopper_rule* rule, const char* value, uint32_t length, uint32_t pos,
                           uint32_t* matched) {
  *matched = 0;
  vocab_rec* vocab = nullptr;
  int32_t rc = vocab_get(ctx, rule->vocab, &vocab);
  if (rc < 0) return rc;
  const char* lang = case_locale_special_lang_get(ctx->current_locale_code);
  vocab_prefix_range range;
  vocab_prefix_range_init(ctx, vocab, &range);
  // A character uppercases to at most three characters.
  char upper[kChopValueMax * 3 + 16];
  size_t used = 0;
  vocab_word_match match;
  uint32_t o = pos;
  uint32_t best = 0;
  while (o < length) {
    uint32_t k = char_length_at(value + o);
    if (o + k > length) break;
    char one[8] = {};
    std::memcpy(one, value + o, k);
    char cased[32];
    int32_t m = np_uchar_upper_cs(one, cased, sizeof cased, lang);
    if (m < 0) break;
    if (used + static_cast<size_t>(m) + 1 > sizeof upper) break;
    std::memcpy(upper + used, cased, static_cast<size_t>(m));
    used += static_cast<size_t>(m);
    upper[used] = '\0';
    o += k;
    uint32_t found = 0;
    uint32_t finished = 0;
    vocab_prefix_lookup(ctx, vocab, &range, upper, &found, &finished, &match);
    if (found && match_has_category(vocab, rule, match)) best = o - pos;
    if (finished) break;
  }
  *matched = best;
  return best > 0 ? 1 : 0;
}

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
  return f.text != nullptr ? std::strtoll(f.text, nullptr, 10) : 0;
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
  auto* text = static_cast<char*>(std::malloc(size));
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

// ---- The rules part -------------------------------------------------------------------------

int32_t chopper_rules_init(chopper_rules* rules) {
  std::memset(static_cast<void*>(rules), 0, sizeof *rules);
  std::memset(rules->flag_free, 1, sizeof rules->flag_free);
  if (hash_init(&rules->flag_ids, kHashKeyBytes, 1, 0) != 0) return -600;
  if (vec_init(&rules->rules, 8) != 0) {
    hash_free(&rules->flag_ids);
    return -600;
  }
  // Rules need the context to give their vocabulary back, which the
  // vector's free function lacks: chopper_rules_free frees them first.
  vec_free_fn_set(&rules->rules, vec_free_noop);
  return 0;
}

void chopper_rules_free(context* ctx, chopper_rules* rules) {
  if (rules == nullptr) return;
  for (uint32_t i = 0; i < vec_count(&rules->rules); ++i) chopper_rule_free(ctx, rule_at(rules, i));
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
    chopper_rule* r = rule_at(rules, i);
    if (r->id == id) return r;
  }
  return nullptr;
}

uint32_t chopper_flag_name_valid(const char* name) {
  for (const char* p = name; *p != '\0'; ++p) {
    if (is_special(*p)) return 0;
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
  flag_name_cut(name, std::strlen(name), cut);
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
  if (copy == nullptr) return -600;
  uintptr_t out[2] = {0, 0};
  if (hash_put(&rules->flag_ids, copy, static_cast<int32_t>(std::strlen(copy)), free_id, 0, out) != 0) {
    std::free(copy);
    return -600;
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
  for (uint32_t i = 0; i < vec_count(&rules->rules); ++i) mark_rule_uses(rule_at(rules, i), used);
  for (uint32_t f = 0; f < kFlagCount; ++f) {
    if (!used[f]) flag_name_release(rules, f);
  }
}

// ---- Prerequisite expressions ----------------------------------------------------------------

int32_t prereq_syntax_check(context* ctx, const char* expr, uint32_t record) {
  const char* comma = std::strchr(expr, ',');
  if (comma != nullptr) {
    if (record) TQ_REPORT(ctx, -803, 756, static_cast<int32_t>(comma - expr + 1));
    return -803;
  }
  uint32_t prev = kTokStart;
  int32_t depth = 0;
  size_t i = 0;
  token tok{};
  while (next_token(expr, &i, &tok)) {
    const auto position = static_cast<int32_t>(tok.pos + 1);
    if (!allowed_after(tok.type, prev)) {
      if (record) TQ_REPORT(ctx, -803, 757, position);
      return -803;
    }
    if (tok.type == kTokOpen) depth += 1;
    if (tok.type == kTokClose) {
      if (depth == 0) {
        if (record) TQ_REPORT(ctx, -803, 754, position);
        return -803;
      }
      depth -= 1;
    }
    prev = tok.type;
  }
  if (depth > 0) {
    if (record) TQ_REPORT(ctx, -803, 755, static_cast<int32_t>(std::strlen(expr)));
    return -803;
  }
  return 0;
}

int32_t prereq_compile(context* ctx, const char* chopper, chopper_rules* rules, const char* expr,
                       prereq_element** out, uint32_t* count) {
  *out = nullptr;
  *count = 0;
  // Every token gives at most one element.
  size_t tokens = 0;
  {
    size_t i = 0;
    token tok{};
    while (next_token(expr, &i, &tok)) ++tokens;
  }
  if (tokens == 0) return 0;
  auto* list = static_cast<prereq_element*>(std::malloc(sizeof(prereq_element) * tokens));
  if (list == nullptr) return -600;
  uint32_t n = 0;
  stack_entry stack[kOperatorStackSize];
  uint32_t top = 1;
  stack[0] = {kTokStart, -1};
  auto emit = [&](const stack_entry& e) {
    switch (e.type) {
      case kTokAnd: list[n++] = {kPostAnd, -1}; break;
      case kTokOr: list[n++] = {kPostOr, -1}; break;
      case kTokNot: list[n++] = {kPostNot, -1}; break;
      case kTokName: list[n++] = {kPostFlag, e.flag}; break;
      default: break;  // parentheses leave nothing behind
    }
  };
  size_t i = 0;
  token tok{};
  int32_t rc = 0;
  while (rc == 0 && next_token(expr, &i, &tok)) {
    stack_entry entry{tok.type, -1};
    if (tok.type == kTokName) {
      char name[kFlagNameSize];
      flag_name_cut(expr + tok.pos, tok.len, name);
      uint32_t id = 0;
      rc = chopper_flag_id_get_or_create(ctx, chopper, rules, name, &id);
      if (rc != 0) break;
      entry.flag = static_cast<int32_t>(id);
    }
    if (tok.type == kTokClose) {
      // Down to the matching '(' only, so that nested groups keep their
      // grouping.
      while (top > 1 && stack[top - 1].type != kTokOpen) emit(stack[--top]);
      if (top > 1) --top;
      continue;
    }
    while (top > 0 && kInPrec[tok.type] <= kStackPrec[stack[top - 1].type] && stack[top - 1].type != kTokStart) {
      emit(stack[--top]);
    }
    if (top >= kOperatorStackSize) {
      rc = -601;
      break;
    }
    stack[top++] = entry;
  }
  if (rc != 0) {
    std::free(list);
    return rc;
  }
  while (top > 1) emit(stack[--top]);
  *out = list;
  *count = n;
  return 0;
}

int32_t prereq_evaluate(const prereq_element* postfix, uint32_t count, const uint8_t* flags, uint32_t* stack,
                        uint32_t* holds) {
  *holds = 1;
  if (postfix == nullptr || count == 0) return 0;
  uint32_t depth = 0;
  for (uint32_t k = 0; k < count; ++k) {
    const prereq_element& e = postfix[k];
    switch (e.type) {
      case kPostFlag:
        if (depth >= kEvalStackSize) return -601;
        if (e.flag < 0 || static_cast<uint32_t>(e.flag) >= kFlagCount) return -603;
        stack[depth++] = flags[e.flag] != 0 ? 1 : 0;
        break;
      case kPostAnd:
      case kPostOr: {
        if (depth < 2) return -602;
        uint32_t b = stack[--depth];
        uint32_t a = stack[--depth];
        stack[depth++] = e.type == kPostAnd ? (a && b) : (a || b);
        break;
      }
      case kPostNot:
        if (depth < 1) return -602;
        stack[depth - 1] = stack[depth - 1] ? 0 : 1;
        break;
      default: return -603;
    }
  }
  if (depth != 1) return -603;
  *holds = stack[0];
  return 0;
}

// ---- Rules ---------------------------------------------------------------------------------------

int32_t chopper_output_flags_parse(context* ctx, const char* chopper, chopper_rules* rules, const char* text,
                                   uint8_t* out) {
  std::memset(out, 0, kFlagCount);
  size_t i = 0;
  for (;;) {
    while (is_blank(text[i])) ++i;
    if (text[i] == '\0') break;
    if (text[i] == ',') {
      ++i;
      continue;
    }
    if (is_special(text[i])) {
      TQ_REPORT(ctx, -803, 1475, chopper, static_cast<int32_t>(i), text);
      return -803;
    }
    size_t j = i;
    while (text[j] != '\0' && !is_special(text[j])) ++j;
    char name[kFlagNameSize];
    flag_name_cut(text + i, j - i, name);
    uint32_t id = 0;
    int32_t rc = chopper_flag_id_get_or_create(ctx, chopper, rules, name, &id);
    if (rc != 0) return rc;
    out[id] = 1;
    i = j;
    while (is_blank(text[i])) ++i;
    if (text[i] == '\0') break;
    if (text[i] != ',') {
      TQ_REPORT(ctx, -803, 1475, chopper, static_cast<int32_t>(i), text);
      return -803;
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
int32_t chopper_rule_category_assign(context* ctx, chopper_rec* chopper, chopper_rule* rule, const char* category) {
  if (text_replace(&rule->category_name, category) != 0) return -600;
  rule->category = -1;
  rule->errors &= ~kRuleErrCategory;
  if (category == nullptr) return 0;
  int32_t index = -1;
  int32_t rc = category_lookup(ctx, chopper, rule, category, &index);
  if (rc != 0) {
    rule->errors |= kRuleErrCategory;
    return rc;
  }
  rule->category = index;
  return 0;
}

int32_t chopper_rule_vocab_assign(context* ctx, chopper_rec* chopper, chopper_rule* rule, const char* vocab) {
  if (text_replace(&rule->vocab_name, vocab) != 0) return -600;
  int32_t index = -1;
  int32_t rc = vocab_load_by_name(ctx, vocab, chopper_lock(chopper), kVocabFormCompiled, &index);
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
  if (rule->category_name != nullptr && category == nullptr) return -600;
  int32_t cat_rc = chopper_rule_category_assign(ctx, chopper, rule, category);
  std::free(category);
  return rc != 0 ? rc : cat_rc;
}

int32_t chopper_rule_add(context* ctx, chopper_rec* chopper, uint32_t method, const char* regex, const char* vocab,
                         const char* category, const char* prereq, const char* flags, uint32_t options,
                         const char* notes, uint32_t* id) {
  if (method != kRuleMethodRegex && method != kRuleMethodVocab) return -802;
  chopper_rules* rules = &chopper->rules;
  const char* name = name_of(chopper);
  auto* rule = static_cast<chopper_rule*>(std::calloc(1, sizeof(chopper_rule)));
  if (rule == nullptr) return -600;
  rule->vocab = -1;
  rule->category = -1;
  rule->method = method;
  int32_t rc = 0;
  if (method == kRuleMethodVocab) {
    // A vocabulary or category that cannot be had leaves error bits; the
    // rule is kept and skipped when chopping.
    if (text_replace(&rule->category_name, category) != 0) rc = -600;
    if (rc == 0) {
      int32_t assigned = chopper_rule_vocab_assign(ctx, chopper, rule, vocab != nullptr ? vocab : "");
      if (assigned == -600) rc = -600;
    }
  } else {
    rc = regexlib_element_create(&rule->regex, regex, "", "", 1);
    if (rc == 0) rc = regexlib_element_compile(ctx, &rule->regex, regexlib_compile_options(ctx) | kRegexOptAnchored);
    if (rc > 0) rc = 0;  // a pattern the JIT could not take still runs
  }
  if (rc == 0) rc = prereq_syntax_check(ctx, prereq != nullptr ? prereq : "", 1);
  if (rc == 0) rc = text_replace(&rule->prereq, prereq != nullptr ? prereq : "");
  if (rc == 0) rc = prereq_compile(ctx, name, rules, rule->prereq, &rule->postfix, &rule->postfix_count);
  if (rc == 0) rc = chopper_output_flags_parse(ctx, name, rules, flags != nullptr ? flags : "", rule->output_flags);
  if (rc == 0 && notes != nullptr && notes[0] != '\0') rc = text_replace(&rule->notes, notes);
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
  return 0;
}

// ---- The rules pass --------------------------------------------------------------------------------

int32_t chopper_rules_pass(context* ctx, const chopper_rec* chopper, const char* value, uint32_t length,
                           uint8_t* codes, uint32_t* stack, chop_info* info) {
  const chopper_rules* rules = &chopper->rules;
  uint8_t flags[kFlagCount];
  std::memcpy(flags, rules->initial_flags, sizeof flags);
  uint32_t pos = 0;
  // A value checked once for UTF-8 is not checked again by the match at
  // each of its positions.
  uint32_t exec_options = kRegexExecAnchored;
  bool any_regex = false;
  for (uint32_t i = 0; i < vec_count(&rules->rules) && !any_regex; ++i) {
    any_regex = rule_at(rules, i)->method == kRuleMethodRegex;
  }
  if (any_regex) {
    int32_t valid = regexlib_subject_check(ctx, value, length);
    if (valid < 0) return valid;
    if (valid == 1) exec_options |= kRegexExecChecked;
  }
  while (pos < length && value[pos] != '\0') {
    bool fired = false;
    for (uint32_t i = 0; i < vec_count(&rules->rules) && !fired; ++i) {
      const chopper_rule* rule = rule_at(rules, i);
      if (rule->errors != 0) continue;
      uint32_t holds = 0;
      int32_t rc = prereq_evaluate(rule->postfix, rule->postfix_count, flags, stack, &holds);
      if (rc < 0) return rc;
      if (!holds) continue;
      uint32_t n = 0;
      int32_t matched = 0;
      if (rule->method == kRuleMethodRegex) {
        size_t ovector[kRegexOvectorSize];
        int32_t result = 0;
        matched = regexlib_element_exec(ctx, &rule->regex, value, length, pos, ovector, kRegexOvectorSize, &result,
                                        exec_options);
        // A pattern that gives up at its limits ends the chop.
        if (matched < 0) return matched;
        if (matched) n = static_cast<uint32_t>(ovector[1] - ovector[0]);
      } else {
        matched = vocab_method_match(ctx, rule, value, length, pos, &n);
        if (matched < 0) return matched;
      }
      if (!matched) continue;
      if (pos + n > length) n = length - pos;
      fired = true;
      std::memcpy(flags, rule->output_flags, sizeof flags);
      if (rule->options & kRuleBoundaryBefore) {
        codes[pos] = kCodeWord;
        if (info != nullptr) info->rules_sources[pos] = {kSourceRule, rule->id};
      }
      if (rule->options & kRuleBoundaryAfter) {
        codes[pos + n] = kCodeWord;
        if (info != nullptr) info->rules_sources[pos + n] = {kSourceRule, rule->id};
      }
      // A match of no length still moves the pass on by one character.
      pos += n > 0 ? n : char_length_at(value + pos);
    }
    if (!fired) pos += char_length_at(value + pos);
  }
  return 0;
}

// ---- Document part -----------------------------------------------------------------------------------

int32_t chopper_rules_write(context* ctx, const chopper_rec* chopper, xmldoc* doc) {
  const chopper_rules* rules = &chopper->rules;
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
    const chopper_rule* rule = rule_at(rules, i);
    char* output = output_flags_text(rules, rule);
    if (output == nullptr) {
      rc = -600;
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

int32_t chopper_rules_read(context* ctx, const xmldoc* doc, chopper_rec* chopper) {
  chopper_rules* rules = &chopper->rules;
  const char* name = name_of(chopper);
  const uint32_t use = std::strcmp(xmldoc_prop_get(ctx, doc, "Use Rules"), "Yes") == 0 ? 1 : 0;
  rules->use_rules = 0;
  const xmldoc* container = include_named(doc, kDocRules);
  const xmldoc* initial = container != nullptr ? include_named(container, kDocInitial) : nullptr;
  const xmldoc* list = container != nullptr ? include_named(container, kDocList) : nullptr;
  if (initial == nullptr || list == nullptr) return 0;

  int32_t col_name = -1;
  if (initial->record_count > 0 && xmldoc_column_find(ctx, initial, kColName, &col_name) != 0) {
    TQ_REPORT(ctx, -300, 209, kColName, name);
    return -300;
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
      TQ_REPORT(ctx, -300, 209, columns[k], name);
      return -300;
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
    const char* category = record_text(rec, col[3]);
    int32_t rc = chopper_rule_add(ctx, chopper, m, record_text(rec, col[1]), record_text(rec, col[2]),
                                  category[0] != '\0' ? category : nullptr, record_text(rec, col[4]),
                                  record_text(rec, col[5]), static_cast<uint32_t>(record_number(rec, col[6])),
                                  record_text(rec, col[7]), nullptr);
    if (rc < 0) return rc;
  }
  rules->use_rules = use;
  return 0;
}

// ---- Export implementations ------------------------------------------------------------------

namespace {

constexpr uint32_t kTextMax = 4096;
constexpr uint32_t kNameMax = 1024;

// A text converted in from the session encoding; keeps the first warning.
struct text_in {
  char text[kTextMax + 1];
};

int32_t convert_in(context* ctx, const char* src, char* dst, uint32_t max, int32_t* warning) {
  int32_t rc = strio_in(ctx, src, dst, max, 1);
  if (rc > 0 && *warning == 0) *warning = rc;
  return rc < 0 ? rc : 0;
}

int32_t finish(int32_t rc, int32_t warning) {
  if (rc != 0) return rc;
  return warning > 0 ? warning : 0;
}

// The rule of an id for reading, or -802.
int32_t rule_for_read(context* ctx, int32_t chopper, uint32_t id, chopper_rec** rec, chopper_rule** rule) {
  *rule = nullptr;
  int32_t rc = chopper_get(ctx, chopper, rec);
  if (rc != 0) return rc;
  *rule = chopper_rule_find(&(*rec)->rules, id);
  return *rule != nullptr ? 0 : -802;
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

}  // namespace

int32_t chopper_rule_flag_name_validate(context* ctx, const char* name, uint32_t* valid) {
  *valid = 0;
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, name, in.text, kNameMax, &warning);
  if (rc < 0) return rc;
  *valid = chopper_flag_name_valid(in.text);
  return finish(0, warning);
}

int32_t chopper_rule_validate(context* ctx, const char* expr, uint32_t* valid) {
  *valid = 0;
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, expr, in.text, kTextMax, &warning);
  if (rc < 0) return rc;
  if (prereq_syntax_check(ctx, in.text, 0) != 0) return 0;
  // Compiled against flag names of its own, so that no chopper changes.
  auto* scratch = static_cast<chopper_rules*>(std::malloc(sizeof(chopper_rules)));
  if (scratch == nullptr) return -600;
  rc = chopper_rules_init(scratch);
  if (rc == 0) {
    prereq_element* postfix = nullptr;
    uint32_t count = 0;
    rc = prereq_compile(ctx, nullptr, scratch, in.text, &postfix, &count);
    std::free(postfix);
    chopper_rules_free(ctx, scratch);
  }
  std::free(scratch);
  if (rc == 0) *valid = 1;
  return finish(rc, warning);
}

int32_t chopper_rules_init_flag_add(context* ctx, int32_t chopper, const char* name, uint32_t* flag_id) {
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, name, in.text, kNameMax, &warning);
  if (rc < 0) return rc;
  if (!chopper_flag_name_valid(in.text)) return -802;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  uint32_t id = 0;
  rc = chopper_flag_id_get_or_create(ctx, chopper_name(edit.rec), &edit.rec->rules, in.text, &id);
  if (rc != 0) return rc;
  edit.rec->rules.initial_flags[id] = 1;
  *flag_id = id;
  return finish(0, warning);
}

int32_t chopper_rules_init_flag_remove(context* ctx, int32_t chopper, uint32_t flag_id) {
  if (flag_id >= kFlagCount) return -802;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  edit.rec->rules.initial_flags[flag_id] = 0;
  chopper_flag_names_sweep(&edit.rec->rules);
  return 0;
}

int32_t chopper_rules_flag_name_get(context* ctx, int32_t chopper, uint32_t flag_id, char* name) {
  strio_out_clear(ctx, name);
  if (flag_id >= kFlagCount) return -802;
  chopper_rec* rec = nullptr;
  int32_t rc = chopper_get(ctx, chopper, &rec);
  if (rc != 0) return rc;
  const char* text = rec->rules.flag_names[flag_id];
  if (text == nullptr) return -1;
  return strio_out_1028(ctx, text, name, 1);
}

int32_t chopper_rules_flag_id_get(context* ctx, int32_t chopper, const char* name, uint32_t* id) {
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, name, in.text, kNameMax, &warning);
  if (rc < 0) return rc;
  chopper_rec* rec = nullptr;
  rc = chopper_get(ctx, chopper, &rec);
  if (rc != 0) return rc;
  char cut[kFlagNameSize];
  flag_name_cut(in.text, std::strlen(in.text), cut);
  if (chopper_flag_id_find(&rec->rules, cut, id) != 0) {
    TQ_REPORT(ctx, -801, 1477, chopper_name(rec), static_cast<const char*>(cut));
    return -801;
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
  for (uint32_t i = 0; i < vec_count(&rec->rules.rules); ++i) rule_ids[i] = rule_at(&rec->rules, i)->id;
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
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, name, in.text, kNameMax, &warning);
  if (rc < 0) return rc;
  if (!chopper_flag_name_valid(in.text)) return -802;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rule* r = chopper_rule_find(&edit.rec->rules, rule);
  if (r == nullptr) return -802;
  uint32_t id = 0;
  rc = chopper_flag_id_get_or_create(ctx, chopper_name(edit.rec), &edit.rec->rules, in.text, &id);
  if (rc != 0) return rc;
  r->output_flags[id] = 1;
  *flag_id = id;
  return finish(0, warning);
}

int32_t chopper_rule_output_flag_remove(context* ctx, int32_t chopper, uint32_t rule, uint32_t flag_id) {
  if (flag_id >= kFlagCount) return -802;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rule* r = chopper_rule_find(&edit.rec->rules, rule);
  if (r == nullptr) return -802;
  r->output_flags[flag_id] = 0;
  chopper_flag_names_sweep(&edit.rec->rules);
  return 0;
}

int32_t chopper_rule_output_flags_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* flag_ids,
                                      uint32_t* num_flags) {
  *num_flags = 0;
  chopper_rec* rec = nullptr;
  chopper_rule* r = nullptr;
  int32_t rc = rule_for_read(ctx, chopper, rule, &rec, &r);
  if (rc != 0) return rc;
  uint32_t n = 0;
  for (uint32_t f = 0; f < kFlagCount; ++f) {
    if (r->output_flags[f]) flag_ids[n++] = f;
  }
  *num_flags = n;
  return 0;
}

int32_t chopper_rule_notes_set(context* ctx, int32_t chopper, uint32_t rule, const char* notes) {
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, notes, in.text, kTextMax, &warning);
  if (rc < 0) return rc;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rule* r = chopper_rule_find(&edit.rec->rules, rule);
  if (r == nullptr) return -802;
  rc = text_replace(&r->notes, in.text[0] != '\0' ? in.text : nullptr);
  return finish(rc, warning);
}

int32_t chopper_rule_notes_get(context* ctx, int32_t chopper, uint32_t rule, char* notes) {
  strio_out_clear(ctx, notes);
  chopper_rec* rec = nullptr;
  chopper_rule* r = nullptr;
  int32_t rc = rule_for_read(ctx, chopper, rule, &rec, &r);
  if (rc != 0) return rc;
  return strio_out_4096(ctx, r->notes != nullptr ? r->notes : "", notes, 1);
}

int32_t chopper_rule_method_regex_set(context* ctx, int32_t chopper, uint32_t rule, const char* regex) {
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, regex, in.text, kTextMax, &warning);
  if (rc < 0) return rc;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rule* r = chopper_rule_find(&edit.rec->rules, rule);
  if (r == nullptr) return -802;
  // A pattern that does not compile leaves the rule as it was.
  regexlib_element fresh;
  rc = regex_element_make(ctx, in.text, &fresh);
  if (rc != 0) return rc;
  chopper_rule_method_clear(ctx, r);
  r->regex = fresh;
  r->method = kRuleMethodRegex;
  return finish(0, warning);
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
  if (r == nullptr) return -802;
  chopper_rule_method_clear(ctx, r);
  r->method = kRuleMethodVocab;
  // The category is looked up as in adding a rule: an empty name too.
  if (text_replace(&r->category_name, category_in.text) != 0) {
    return -600;
  }
  // A vocabulary that cannot be had leaves the rule with its error bit, so
  // that chopping skips it.
  rc = chopper_rule_vocab_assign(ctx, edit.rec, r, vocab_in.text);
  return finish(rc, warning);
}

int32_t chopper_rule_method_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* type) {
  *type = 0;
  chopper_rec* rec = nullptr;
  chopper_rule* r = nullptr;
  int32_t rc = rule_for_read(ctx, chopper, rule, &rec, &r);
  if (rc != 0) return rc;
  *type = r->method;
  return 0;
}

int32_t chopper_rule_regex_set(context* ctx, int32_t chopper, uint32_t rule, const char* regex) {
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, regex, in.text, kTextMax, &warning);
  if (rc < 0) return rc;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rule* r = chopper_rule_find(&edit.rec->rules, rule);
  if (r == nullptr) return -802;
  if (r->method != kRuleMethodRegex) return -700;
  regexlib_element fresh;
  rc = regex_element_make(ctx, in.text, &fresh);
  if (rc != 0) return rc;
  regexlib_element_free(&r->regex);
  r->regex = fresh;
  return finish(0, warning);
}

int32_t chopper_rule_regex_get(context* ctx, int32_t chopper, uint32_t rule, char* regex) {
  strio_out_clear(ctx, regex);
  chopper_rec* rec = nullptr;
  chopper_rule* r = nullptr;
  int32_t rc = rule_for_read(ctx, chopper, rule, &rec, &r);
  if (rc != 0) return rc;
  if (r->method != kRuleMethodRegex) return -700;
  return strio_out_4096(ctx, r->regex.regex != nullptr ? r->regex.regex : "", regex, 1);
}

int32_t chopper_rule_vocab_set(context* ctx, int32_t chopper, uint32_t rule, const char* vocab) {
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, vocab, in.text, kNameMax, &warning);
  if (rc < 0) return rc;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rule* r = chopper_rule_find(&edit.rec->rules, rule);
  if (r == nullptr) return -802;
  if (r->method != kRuleMethodVocab) return -700;
  rc = chopper_rule_vocab_assign(ctx, edit.rec, r, in.text);
  return finish(rc, warning);
}

int32_t chopper_rule_vocab_get(context* ctx, int32_t chopper, uint32_t rule, char* vocab) {
  strio_out_clear(ctx, vocab);
  chopper_rec* rec = nullptr;
  chopper_rule* r = nullptr;
  int32_t rc = rule_for_read(ctx, chopper, rule, &rec, &r);
  if (rc != 0) return rc;
  if (r->method != kRuleMethodVocab) return -700;
  if (r->errors & kRuleErrVocab) return 0;
  resource_slot* slot = nullptr;
  const char* name = r->vocab_name != nullptr ? r->vocab_name : "";
  if (r->vocab >= 0 && rsrc_slot_get_used(ctx, kRsrcVocab, r->vocab, &slot) == 0) name = slot->name;
  return strio_out_1028(ctx, name, vocab, 1);
}

int32_t chopper_rule_vocab_category_set(context* ctx, int32_t chopper, uint32_t rule, const char* cat) {
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, cat, in.text, kNameMax, &warning);
  if (rc < 0) return rc;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rule* r = chopper_rule_find(&edit.rec->rules, rule);
  if (r == nullptr) return -802;
  if (r->method != kRuleMethodVocab) return -700;
  if (category_empty(in.text)) return finish(chopper_rule_category_assign(ctx, edit.rec, r, nullptr), warning);
  // A category the vocabulary lacks is refused and changes nothing.
  int32_t index = -1;
  rc = category_lookup(ctx, edit.rec, r, in.text, &index);
  if (rc != 0) return rc;
  if (text_replace(&r->category_name, in.text) != 0) return -600;
  r->category = index;
  r->errors &= ~kRuleErrCategory;
  return finish(0, warning);
}

int32_t chopper_rule_vocab_category_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* all, char* cat) {
  *all = 0;
  strio_out_clear(ctx, cat);
  chopper_rec* rec = nullptr;
  chopper_rule* r = nullptr;
  int32_t rc = rule_for_read(ctx, chopper, rule, &rec, &r);
  if (rc != 0) return rc;
  if (r->method != kRuleMethodVocab) return -700;
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
  text_in in;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, prereq, in.text, kTextMax, &warning);
  if (rc < 0) return rc;
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rules* rules = &edit.rec->rules;
  chopper_rule* r = chopper_rule_find(rules, rule);
  if (r == nullptr) return -802;
  rc = prereq_syntax_check(ctx, in.text, 1);
  if (rc != 0) return rc;
  prereq_element* postfix = nullptr;
  uint32_t count = 0;
  rc = prereq_compile(ctx, chopper_name(edit.rec), rules, in.text, &postfix, &count);
  char* text = rc == 0 ? str_dup(in.text) : nullptr;
  if (rc == 0 && text == nullptr) rc = -600;
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
  return finish(0, warning);
}

int32_t chopper_rule_prereq_get(context* ctx, int32_t chopper, uint32_t rule, char* prereq) {
  strio_out_clear(ctx, prereq);
  chopper_rec* rec = nullptr;
  chopper_rule* r = nullptr;
  int32_t rc = rule_for_read(ctx, chopper, rule, &rec, &r);
  if (rc != 0) return rc;
  return strio_out_4096(ctx, r->prereq != nullptr ? r->prereq : "", prereq, 1);
}

int32_t chopper_rule_options_set(context* ctx, int32_t chopper, uint32_t rule, uint32_t options) {
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rule* r = chopper_rule_find(&edit.rec->rules, rule);
  if (r != nullptr) r->options = options;
  return 0;
}

int32_t chopper_rule_options_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* options) {
  *options = 0;
  chopper_rec* rec = nullptr;
  chopper_rule* r = nullptr;
  int32_t rc = rule_for_read(ctx, chopper, rule, &rec, &r);
  if (rc != 0) return rc;
  *options = r->options;
  return 0;
}

int32_t chopper_rules_list_clear(context* ctx, int32_t chopper) {
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  chopper_rules* rules = &edit.rec->rules;
  for (uint32_t i = 0; i < vec_count(&rules->rules); ++i) chopper_rule_free(ctx, rule_at(rules, i));
  vec_clear(&rules->rules);
  rules->next_rule_id = 0;
  chopper_flag_names_sweep(rules);
  return 0;
}

int32_t chopper_regex_rule_add(context* ctx, int32_t chopper, const char* regex, const char* prereq,
                               const char* flags, uint32_t options, const char* notes, uint32_t* rule_id) {
  auto* in = static_cast<text_in*>(std::malloc(sizeof(text_in) * 4));
  if (in == nullptr) return -600;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, regex, in[0].text, kTextMax, &warning);
  if (rc == 0) rc = convert_in(ctx, prereq, in[1].text, kTextMax, &warning);
  if (rc == 0) rc = convert_in(ctx, flags, in[2].text, kTextMax, &warning);
  if (rc == 0) rc = convert_in(ctx, notes, in[3].text, kTextMax, &warning);
  if (rc == 0) {
    chopper_edit_scope edit(ctx, chopper);
    rc = edit.rc;
    if (rc == 0) {
      rc = chopper_rule_add(ctx, edit.rec, kRuleMethodRegex, in[0].text, nullptr, nullptr, in[1].text, in[2].text,
                            options, in[3].text, rule_id);
    }
  }
  std::free(in);
  return finish(rc, warning);
}

int32_t chopper_vocab_rule_add(context* ctx, int32_t chopper, const char* vocab, const char* category,
                               const char* prereq, const char* flags, uint32_t options, const char* notes,
                               uint32_t* rule_id) {
  auto* in = static_cast<text_in*>(std::malloc(sizeof(text_in) * 5));
  if (in == nullptr) return -600;
  int32_t warning = 0;
  int32_t rc = convert_in(ctx, vocab, in[0].text, kNameMax, &warning);
  if (rc == 0) rc = convert_in(ctx, category, in[1].text, kNameMax, &warning);
  if (rc == 0) rc = convert_in(ctx, prereq, in[2].text, kTextMax, &warning);
  if (rc == 0) rc = convert_in(ctx, flags, in[3].text, kTextMax, &warning);
  if (rc == 0) rc = convert_in(ctx, notes, in[4].text, kTextMax, &warning);
  if (rc == 0) {
    chopper_edit_scope edit(ctx, chopper);
    rc = edit.rc;
    if (rc == 0) {
      // The name is always given here, so an empty one is looked up (and
      // not found); only a chopper document makes an any-category rule.
      rc = chopper_rule_add(ctx, edit.rec, kRuleMethodVocab, nullptr, in[0].text, in[1].text, in[2].text,
                            in[3].text, options, in[4].text, rule_id);
    }
  }
  std::free(in);
  return finish(rc, warning);
}

int32_t chopper_rules_enabled_get(context* ctx, int32_t chopper, uint32_t* enabled) {
  *enabled = 0;
  chopper_rec* rec = nullptr;
  int32_t rc = chopper_get(ctx, chopper, &rec);
  if (rc != 0) return rc;
  *enabled = rec->rules.use_rules;
  return 0;
}

int32_t chopper_rules_enabled_set(context* ctx, int32_t chopper, uint32_t value) {
  chopper_edit_scope edit(ctx, chopper);
  if (edit.rc != 0) return edit.rc;
  edit.rec->rules.use_rules = value;
  return 0;
}

int32_t chopper_rule_errors_get(context* ctx, int32_t chopper, uint32_t rule, uint32_t* errors) {
  *errors = 0;
  chopper_rec* rec = nullptr;
  chopper_rule* r = nullptr;
  int32_t rc = rule_for_read(ctx, chopper, rule, &rec, &r);
  if (rc != 0) return rc;
  *errors = r->errors;
  return 0;
}

}  // namespace tq

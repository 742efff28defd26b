#include "resources/krchop.h"

#include <cstdlib>
#include <cstring>

#include "core/krcaseloc.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krzel.h"
#include "platform/npuchar.h"
#include "platform/nputf8.h"
#include "resources/krchpr.h"
#include "resources/krrsctx.h"
#include "resources/krvcld.h"
#include "resources/krvocb.h"
#include "platform/npmem.h"

namespace tq {

namespace {

static_assert(sizeof(::tq_chop_word) == TQ_CHOP_WORD_MAX + 4);

// Merge priority of each boundary code.
constexpr uint8_t kPriority[5] = {1, 2, 2, 1, 0};

enum table_state : uint32_t { kInWord = 0, kInSeparator = 1, kInDropped = 2, kAtStart = 4 };

// The table pass: boundaries where the character table says words part,
// separators (TRIM) begin and dropped spans (SUPPRESS) begin.
int32_t table_pass(const chopper_table* table, const char* value, uint8_t* codes, chop_info* info) {
  uint32_t state = kAtStart;
  uint32_t prev = kClassNull;
  uint32_t last_separator = 0;
  uint32_t p = 0;
  const bool direct = table->set_in_progress == 0 && table->count >= kAsciiRows;
  while (p < kChopPositions) {
    int32_t cp = static_cast<unsigned char>(value[p]);
    int32_t n = 1;
    if (cp >= 0x80) {
      const char* cursor = value + p;
      n = np_uchar_toint(&cursor, &cp);
    }
    if (n <= 0 || cp <= 0) break;
    const auto code_point = static_cast<uint32_t>(cp);
    uint32_t c = 0;
    uint32_t op = 0;
    if (direct && code_point < kAsciiRows) {
      // The rows of ASCII are indexed directly, as the lookup itself does.
      c = table->entries[code_point].classification;
      op = table->entries[code_point].operation;
    } else {
      int32_t rc = chopper_table_char_lookup(table, code_point, &c, &op);
      if (rc < 0) return rc;
    }
    if (c == kClassLeadSeparator || c == kClassFullSeparator) last_separator = code_point;
    if (op == kOperTrim) {
      if (state != kInSeparator) {
        codes[p] = kCodeSeparator;
        state = kInSeparator;
      }
    } else if (op == kOperSuppress) {
      if (state == kInWord) {
        prev = c;
        codes[p] = kCodeDropped;
        state = kInDropped;
      } else if (state != kInDropped) {
        codes[p] = kCodeDropped;
        state = kInDropped;
      }
    } else if (state == kInWord && chopper_table_breaks(table, prev, c) == 0) {
      prev = c;
    } else {
      codes[p] = kCodeWord;
      if (info != nullptr) {
        if (state == kInWord && table->implicit_sep) {
          info->table_sources[p] = {kSourceImplicit, code_point};
        } else if (last_separator != 0) {
          info->table_sources[p] = {kSourceSeparator, last_separator};
        }
      }
      prev = c;
      state = kInWord;
    }
    if (c == kClassTrailSeparator || c == kClassFullSeparator) last_separator = code_point;
    p += static_cast<uint32_t>(n);
  }
  return 0;
}

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

// The rules pass: marks word starts (code 0) in `codes` (prepared) where
// rules fire over the UTF-8 value of `length` bytes; with info, records the
// rule's id as the source at those positions. `stack` is the evaluation
// stack of the context's chop work area. Failures of an evaluation, a
// vocabulary or a match end the pass with their code.
int32_t rules_pass(context* ctx, const chopper_rec* chopper, const char* value, uint32_t length, uint8_t* codes,
                   uint32_t* stack, chop_info* info) {
  const chopper_rules* rules = &chopper->rules;
  uint8_t flags[kFlagCount];
  std::memcpy(flags, rules->initial_flags, sizeof flags);
  uint32_t pos = 0;
  // A value checked once for UTF-8 is not checked again by the match at
  // each of its positions.
  uint32_t exec_options = kRegexExecAnchored;
  bool any_regex = false;
  for (uint32_t i = 0; i < vec_count(&rules->rules) && !any_regex; ++i) {
    any_regex = chopper_rule_at(rules, i)->method == kRuleMethodRegex;
  }
  if (any_regex) {
    int32_t valid = regexlib_subject_check(ctx, value, length);
    if (valid < 0) return valid;
    if (valid == 1) exec_options |= kRegexExecChecked;
  }
  while (pos < length && value[pos] != '\0') {
    bool fired = false;
    for (uint32_t i = 0; i < vec_count(&rules->rules) && !fired; ++i) {
      const chopper_rule* rule = chopper_rule_at(rules, i);
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

// Chooses, position by position, between the primary pass's codes and the
// secondary's, writing the result into the primary array. A rule's word
// start splits a word the table left whole, but never breaks into a
// separator or dropped span; at equal priority the table wins.
void merge(uint8_t* primary, const uint8_t* secondary, uint32_t length, const chop_source* primary_sources,
           const chop_source* secondary_sources, chop_info* info) {
  if (secondary == nullptr) {
    if (info != nullptr) std::memcpy(info->merged_sources, primary_sources, sizeof(chop_source) * (length + 1));
    return;
  }
  uint8_t run = kCodeContinue;
  bool from_primary = true;
  for (uint32_t pos = 0; pos < length; ++pos) {
    const uint8_t a = primary[pos];
    const uint8_t b = secondary[pos];
    uint8_t result = kCodeContinue;
    if (a == kCodeContinue && from_primary) {
      if (kPriority[run] <= kPriority[b]) {
        result = b;
        run = b;
        from_primary = false;
      }
    } else if (b == kCodeContinue) {
      if (!from_primary && kPriority[run] > kPriority[a]) {
        result = kCodeContinue;
      } else {
        result = a;
        run = a;
        from_primary = true;
      }
    } else if (kPriority[b] > kPriority[a]) {
      result = b;
      run = b;
      from_primary = false;
    } else {
      result = a;
      run = a;
      from_primary = true;
    }
    if (info != nullptr) info->merged_sources[pos] = from_primary ? primary_sources[pos] : secondary_sources[pos];
    primary[pos] = result;
  }
}

// Characters of a piece's text, counted as np_uchar_length counts them;
// ASCII is counted here without a call per piece.
int32_t char_count(const char* text) {
  int32_t n = 0;
  for (const char* p = text; *p != '\0'; ++p, ++n) {
    if (static_cast<unsigned char>(*p) >= 0x80) return n + np_uchar_length(p);
  }
  return n;
}

// Index of the list a piece of boundary code `code` goes to: separators,
// dropped spans, else words.
inline int list_of(uint8_t code) { return code == kCodeSeparator ? 1 : code == kCodeDropped ? 2 : 0; }

// A list's slots come from a block of the context's small pool and would
// grow on the heap, on every chop, for a value of more pieces than the block
// holds; such a list takes a block of the large pool instead (still empty,
// so nothing moves). Lists that fit, and every value of few bytes, are left
// as they are.
void lists_make_room(context* ctx, word_list* out, const uint8_t* codes, uint32_t length) {
  vec* lists[3] = {&out->words, &out->separators, &out->dropped};
  uint32_t least = lists[0]->capacity;
  for (const vec* v : lists) least = v->capacity < least ? v->capacity : least;
  if (length <= least || ctx->large_pool == nullptr) return;
  uint32_t counts[3] = {0, 0, 0};
  counts[list_of(codes[0])] += 1;
  for (uint32_t q = 1; q < length; ++q) {
    if (codes[q] != kCodeContinue) counts[list_of(codes[q])] += 1;
  }
  for (int k = 0; k < 3; ++k) {
    if (counts[k] <= lists[k]->capacity) continue;
    vec larger{};
    if (vec_init_from_pool(ctx->large_pool, &larger) != 0) continue;
    if (larger.capacity <= lists[k]->capacity) {
      vec_free(&larger);
      continue;
    }
    vec_free(lists[k]);
    *lists[k] = larger;
    vec_free_fn_set(lists[k], wordlist_word_release);
  }
}

// Cuts the value at the merged boundaries into the word list.
int32_t word_split(context* ctx, block_pool* pool, const char* value, uint32_t length, const uint8_t* codes,
                   word_list* out, chop_info* info) {
  uint32_t s = 0;
  size_t text_used = 0;
  for (uint32_t q = 1; q <= length; ++q) {
    if (q < length && codes[q] == kCodeContinue) continue;
    const uint8_t type = codes[s];
    word_rec* rec = nullptr;
    int32_t rc = wordlist_word_take(ctx, pool, &rec, static_cast<int32_t>(s));
    if (rc != 0) return rc;
    const uint32_t bytes = q - s;
    // The value holds no zero byte before `length` (it was measured so), so
    // every piece copies whole: the copied length is the piece's length.
    std::memcpy(rec->text, value + s, bytes);
    rec->text[bytes] = '\0';
    rec->length = static_cast<int32_t>(bytes);
    rec->char_length = char_count(rec->text);
    vec* into = type == kCodeSeparator ? &out->separators : type == kCodeDropped ? &out->dropped : &out->words;
    if (type != kCodeDropped && text_used + bytes < kWordTextSize) {
      std::memcpy(out->text + text_used, rec->text, bytes);
      text_used += bytes;
      out->text[text_used] = '\0';
    }
    rc = vec_push(into, rec);
    if (rc != 0) {
      wordlist_word_release(rec);
      return rc;
    }
    if (info != nullptr && into == &out->words && info->word_count >= 0 &&
        static_cast<uint32_t>(info->word_count) < kChopPositions) {
      info->word_sources[info->word_count] = info->merged_sources[s];
      info->word_count += 1;
    }
    s = q;
  }
  return 0;
}

// An ASCII word that fits is what the conversion would write: it is copied
// with its terminator, true. False at the first other byte; the bytes copied
// until then are the ASCII the conversion writes over them the same.
bool ascii_copy(const char* text, int32_t length, char* out) {
  if (length < 0 || length > TQ_CHOP_WORD_MAX) return false;
  for (int32_t k = 0; k < length; ++k) {
    if (static_cast<unsigned char>(text[k]) >= 0x80) return false;
    out[k] = text[k];
  }
  out[length] = '\0';
  return true;
}

int32_t chop_strings(context* ctx, int32_t chopper, const char* in_string, ::tq_chop_word* out_strings,
                     uint32_t* num_out_strings, chop_info* info) {
  if (*num_out_strings == 0) return TQ_ERR_ARGUMENT;
  // With an info the chop asks for the write hold before it touches it: a
  // rule's vocabulary loaded on first use would refuse it with the info
  // half-rewritten, and the run again may fail before it rewrites it.
  if (int32_t claimed = shared_state_write_claim_for(ctx, info); claimed != 0) return claimed;
  // A UTF-8 session's well-formed value is chopped where it lies.
  char converted[4096 + 1];
  const char* value = converted;
  int32_t rc = strio_in_view(ctx, in_string, converted, 4096, kStrioConvert | kStrioValue, &value);
  if (rc < 0) return rc;
  int32_t warning = rc;
  word_list words;
  rc = chop_core(ctx, chopper, value, &words, info);
  if (rc < 0) {
    wordlist_free(&words);
    return rc;
  }
  uint32_t n = wordlist_word_count(&words);
  if (n > *num_out_strings) n = *num_out_strings;
  strio_out_plan plan;
  strio_out_plan_make(ctx, 1, &plan);
  for (uint32_t i = 0; i < n; ++i) {
    // i < the count of words: read from the list's slots directly.
    const auto* w = static_cast<const word_rec*>(words.words.slots[i]);
    if (plan.ascii_same && ascii_copy(w->text, w->length, out_strings[i])) continue;
    rc = strio_out_planned(&plan, w->text, out_strings[i], TQ_CHOP_WORD_MAX);
    if (rc < 0) {
      wordlist_free(&words);
      return rc;
    }
    if (rc > 0) warning = rc;
  }
  *num_out_strings = n;
  wordlist_free(&words);
  return warning > 0 ? warning : 0;
}

}  // namespace

int32_t chop_work_create(context* ctx, chop_work** out) {
  (void)ctx;
  *out = nullptr;
  auto* work = static_cast<chop_work*>(np_calloc(1, sizeof(chop_work)));
  if (work == nullptr) return TQ_ERR_NO_MEMORY;
  work->word_pool = pool_create(static_cast<uint32_t>(sizeof(word_rec)));
  if (work->word_pool == nullptr) {
    std::free(work);
    return TQ_ERR_NO_MEMORY;
  }
  *out = work;
  return 0;
}

void chop_work_free(chop_work* work) {
  if (work == nullptr) return;
  pool_destroy(work->word_pool);
  std::free(work);
}

int32_t chop_codes_prepare(uint8_t* codes, uint32_t length) {
  if (length > kChopValueMax) return -601;
  std::memset(codes, kCodeContinue, length);
  codes[0] = kCodeWord;
  codes[length] = kCodeWord;
  return 0;
}

int32_t chop_core(context* ctx, int32_t handle, const char* value, word_list* out, chop_info* info) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  // The list is made first, so that the caller can free it on every path.
  int32_t rc = wordlist_init(ctx, out);
  if (rc < 0) return rc;
  if (value == nullptr) return TQ_ERR_ARGUMENT;
  chop_work* work = nullptr;
  rc = chop_work_get(ctx, &work);
  if (rc != 0) return rc;
  chopper_rec* rec = nullptr;
  rc = chopper_get_for_chop(ctx, handle, &rec);
  if (rc < 0) return rc;
  // The length is checked before the chopper's switches: a value too long
  // to chop is refused by every chopper, also by one that chops nothing.
  const size_t length = strnlen(value, kChopPositions);
  if (length > kChopValueMax) {
    // -601, the code of every fixed room that overflows; the message says
    // which room, since the code's own text speaks of the call-state stack.
    TQ_REPORT(ctx, TQ_ERR_CALL_STACK_FULL, 1906, call_name_of(ctx), kChopValueMax);
    return TQ_ERR_CALL_STACK_FULL;
  }
  const chopper_table* table = &rec->table;
  const bool use_table = table->use_table != 0;
  const bool use_rules = rec->rules.use_rules != 0;
  if (!use_table && !use_rules) return 0;
  const auto len = static_cast<uint32_t>(length);
  if (info != nullptr) {
    // Positions where this chop records no reason hold none, not what an
    // earlier chop left there.
    std::memset(info->table_sources, 0, sizeof info->table_sources);
    std::memset(info->rules_sources, 0, sizeof info->rules_sources);
    std::memset(info->merged_sources, 0, sizeof info->merged_sources);
  }
  if (use_table) {
    rc = chop_codes_prepare(work->table_codes, len);
    if (rc == 0) rc = table_pass(table, value, work->table_codes, info);
    if (rc < 0) return rc;
  }
  if (use_rules) {
    rc = chop_codes_prepare(work->rules_codes, len);
    if (rc == 0) rc = rules_pass(ctx, rec, value, len, work->rules_codes, work->eval_stack, info);
    if (rc < 0) return rc;
  }
  if (info != nullptr) {
    info->table_codes = use_table ? work->table_codes : nullptr;
    info->rules_codes = use_rules ? work->rules_codes : nullptr;
  }
  uint8_t* primary = use_table ? work->table_codes : work->rules_codes;
  const uint8_t* secondary = use_table && use_rules ? work->rules_codes : nullptr;
  const chop_source* primary_sources = nullptr;
  const chop_source* secondary_sources = nullptr;
  if (info != nullptr) {
    primary_sources = use_table ? info->table_sources : info->rules_sources;
    secondary_sources = info->rules_sources;
  }
  merge(primary, secondary, len, primary_sources, secondary_sources, info);
  lists_make_room(ctx, out, primary, len);
  return word_split(ctx, work->word_pool, value, len, primary, out, info);
}

int32_t chop_run(context* ctx, int32_t handle, const char* value, word_list* out) {
  return chop_core(ctx, handle, value, out, nullptr);
}

// ---- Export implementations ------------------------------------------------------------------

int32_t chop_string(context* ctx, int32_t chopper, const char* in_string, ::tq_chop_word* out_strings,
                    uint32_t* num_out_strings) {
  return chop_strings(ctx, chopper, in_string, out_strings, num_out_strings, nullptr);
}

int32_t chop_string_with_info(context* ctx, int32_t chopper, const char* in_string, ::tq_chop_word* out_strings,
                              uint32_t* num_out_strings, chop_info* info) {
  return chop_strings(ctx, chopper, in_string, out_strings, num_out_strings, info);
}

int32_t chop_info_init(context* ctx, chop_info** info) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (info == nullptr) return TQ_ERR_ARGUMENT;
  *info = static_cast<::tq_chop_info*>(np_calloc(1, sizeof(::tq_chop_info)));
  if (*info == nullptr) return TQ_ERR_NO_MEMORY;
  (*info)->word_count = 0;
  return 0;
}

int32_t chop_info_free(context* ctx, chop_info* info) {
  (void)ctx;
  std::free(info);
  return 0;
}

int32_t chop_info_source_type_get(context* ctx, chop_info* info, int32_t word_index, uint32_t* type) {
  (void)ctx;
  if (word_index < 0 || word_index >= info->word_count) return TQ_ERR_INDEX;
  *type = info->word_sources[word_index].type;
  return 0;
}

int32_t chop_info_source_data_get(context* ctx, chop_info* info, int32_t word_index, uint32_t* data) {
  (void)ctx;
  if (word_index < 0 || word_index >= info->word_count) return TQ_ERR_INDEX;
  *data = info->word_sources[word_index].data;
  return 0;
}

}  // namespace tq

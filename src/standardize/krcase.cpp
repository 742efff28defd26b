#include "standardize/krcase.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/krcaseloc.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krzel.h"
#include "platform/npuchar.h"
#include "platform/nputf8.h"
#include "resources/krchop.h"
#include "resources/krregx.h"
#include "resources/krwlst.h"

namespace tq {

namespace {

// Casing with records allocates; the record is skipped when memory runs
// out, so that the run itself reports -600 once at its end.
struct recorder {
  case_info* info;
  bool failed = false;
  void word(const char* source, uint32_t scheme_flag, const char* after_scheme, const char* after_regex,
            const char* final_text) {
    if (info == nullptr) return;
    try {
      info->words.push_back({source, after_scheme, after_regex, final_text, scheme_flag});
    } catch (const std::bad_alloc&) {
      failed = true;
    }
  }
  void text(std::string* to, const char* from) {
    if (info == nullptr) return;
    try {
      to->assign(from);
    } catch (const std::bad_alloc&) {
      failed = true;
    }
  }
};

word_rec* word_at(word_list* list, int32_t i) { return static_cast<word_rec*>(vec_get(&list->words, i)); }

const char* special_lang(const context* ctx) { return case_locale_special_lang_get(ctx->current_locale_code); }

uint32_t case_op_of(uint32_t mode) { return mode == kCaseUpper ? kNpCaseUpper : kNpCaseLower; }

// The character library's casing in the current locale's language, title
// casing with the context's word-break iterator. Out of memory is thrown
// (the frame's -600): a word left uncased would be a wrong result.
int32_t case_n(context* ctx, uint32_t op, const char* src, int32_t src_len, char* dst, uint32_t size,
               uint32_t* full) {
  const int32_t n = np_uchar_case_n(op, src, src_len, dst, size, special_lang(ctx), full, &ctx->case_cache);
  if (n == -2) throw std::bad_alloc();
  return n;
}

// First character upper, the rest lower, in place; returns the length of
// the whole cased word, above size - 1 when it was cut to fit.
uint32_t proper_first_upper(context* ctx, char* text, uint32_t size) {
  if (text[0] == '\0') return 0;
  const char* rest = text;
  int32_t code = 0;
  if (np_uchar_toint(&rest, &code) <= 0) return static_cast<uint32_t>(strnlen(text, size));
  const auto first_len = static_cast<int32_t>(rest - text);
  char cased[kCaseWordSize];
  uint32_t first_full = 0;
  const int32_t n = case_n(ctx, kNpCaseUpper, text, first_len, cased, kCaseWordSize, &first_full);
  if (n < 0) return static_cast<uint32_t>(strnlen(text, size));
  uint32_t rest_full = 0;
  const int32_t m = case_n(ctx, kNpCaseLower, rest, -1, cased + n, kCaseWordSize - static_cast<uint32_t>(n), &rest_full);
  if (m < 0) cased[n] = '\0';
  const uint32_t written = np_uchar_bufcopy(text, cased, std::min(size, kCaseWordSize));
  return std::max(written, first_full + rest_full);
}

// The working text in a buffer of `size` bytes: the rest of what a scheme
// or regexlib gave, cut between characters; true when it was cut.
bool take_text(char* to, const char* from, uint32_t size) {
  const uint32_t n = np_uchar_bufcopy(to, from, size);
  return from[n] != '\0';
}

// The bytes a word's default casing lost to its buffer: the whole cased
// word's length (case_default_apply) less what the buffer kept.
uint64_t default_lost(uint32_t whole, const char* text, uint32_t size) {
  if (whole < size) return 0;
  return whole - std::strlen(text);
}

struct run_state {
  context* ctx;
  defn_rec* rec;
  const case_defn_kind_rec* part;  // NULL without a definition
  case_work* work;
  uint32_t mode;
  recorder rec_info;
  scheme_rec* scheme = nullptr;
  regexlib_rec* regexlib = nullptr;
  // The first word whose cased text was cut to fit its buffer, or -1: the
  // rebuilt value ends with it.
  int32_t cut_word = -1;
  // The bytes the cut words lost, which the whole cased text's length
  // counts; kWholeUnknown once a word lost what was not measured (a
  // regexlib's text, which may itself have been cut).
  uint64_t lost = 0;
  void cut_at(int32_t i, uint64_t bytes) {
    if (bytes == 0) return;
    if (cut_word < 0) cut_word = i;
    lost = bytes == kWholeUnknown || lost == kWholeUnknown ? kWholeUnknown : lost + bytes;
  }
};

// Applies the scheme as a phrase (element mode off, output casing its own)
// to `text`; *matched 1 with `out` (kCaseWordSize bytes) filled when an
// entry applied.
int32_t scheme_phrase(run_state& s, const char* text, char* out, int32_t* matched) {
  *matched = 0;
  void* block = nullptr;
  int32_t rc = scheme_pool_block_take(&s.work->pool, &block);
  if (rc < 0) return rc;
  char** outputs = static_cast<char**>(block);
  outputs[0] = out;
  uint32_t count = 0;
  int32_t found = 0;
  const int64_t flags = static_cast<int64_t>(s.scheme->flags & kSchemeOverridable & ~kSchemeElement);
  rc = scheme_apply(s.ctx, s.scheme, text, 1, kCaseWordSize, 0, 0, outputs, &count, &found, flags);
  (void)scheme_pool_block_return(&s.work->pool);
  if (rc < 0) return rc;
  *matched = count > 0 && found > 0 ? 1 : 0;
  return 0;
}

// The known-pattern regexlib on `text` (word i) in place; 1 when it
// replaced anything.
int32_t regex_apply(run_state& s, int32_t i, char* text, uint32_t size) {
  char out[kRegexResultSize];
  const int32_t rc = regexlib_replace_all(s.ctx, s.regexlib, text, out, 0);
  if (rc < 0) return rc;
  if (rc == 0) return 0;
  if (take_text(text, out, size)) s.cut_at(i, kWholeUnknown);
  return 1;
}

// Word i: the scheme, then the regexlib, else the default rule. The result
// is left in `text` (kCaseWordSize bytes). The texts of the steps are kept
// for a case info only: under a definition the after-scheme text starts as
// the word itself and the after-regex text as a copy of the after-scheme
// one, so that a step that changes nothing still shows what it was given.
int32_t word_step(run_state& s, int32_t i, char* text) {
  if (text[0] == '\0') return 0;
  const bool recording = s.rec_info.info != nullptr;
  char source[kCaseWordSize];
  if (recording) std::memcpy(source, text, std::strlen(text) + 1);
  const char* after_scheme = "";
  const char* after_regex = "";
  char scheme_text[kCaseWordSize];
  char regex_text[kCaseWordSize];
  int32_t matched = 0;
  uint32_t scheme_flag = 0;
  if (s.part != nullptr) {
    if (recording) {
      std::memcpy(scheme_text, text, std::strlen(text) + 1);
      after_scheme = scheme_text;
    }
    if (s.scheme != nullptr) {
      char standard[kCaseWordSize];
      int32_t hit = 0;
      const int32_t rc = scheme_phrase(s, text, standard, &hit);
      if (rc < 0) return rc;
      if (hit != 0) {
        if (take_text(text, standard, kCaseWordSize)) s.cut_at(i, kWholeUnknown);
        if (recording) {
          std::memcpy(scheme_text, text, std::strlen(text) + 1);
          s.rec_info.info->scheme_matched = 1;
        }
        matched = 1;
        scheme_flag = 1;
      }
    }
    if (recording) {
      std::memcpy(regex_text, scheme_text, std::strlen(scheme_text) + 1);
      after_regex = regex_text;
    }
    if (s.regexlib != nullptr && !(s.part->skip_regexlib_on_scheme != 0 && matched != 0)) {
      const int32_t rc = regex_apply(s, i, text, kCaseWordSize);
      if (rc < 0) return rc;
      if (rc > 0) {
        if (recording) {
          std::memcpy(regex_text, text, std::strlen(text) + 1);
          s.rec_info.info->regex_matched = 1;
        }
        matched = 1;
      }
    }
  }
  if (matched == 0) {
    const uint32_t whole =
        case_default_apply(s.ctx, s.mode, s.part != nullptr ? s.part->unicode_casing : 0, text, kCaseWordSize);
    s.cut_at(i, default_lost(whole, text, kCaseWordSize));
    if (recording) s.rec_info.info->default_casing_used = 1;
  }
  if (recording) s.rec_info.word(source, scheme_flag, after_scheme, after_regex, text);
  return 0;
}

// Words i..j (two or more) that the scheme knows as one run. The standard
// goes back to the words by characters: each word takes the characters at
// its own character offset in the span, as many as it had, so separators
// stay where they were whatever the byte lengths.
int32_t span_step(run_state& s, word_list* list, int32_t i, int32_t j) {
  char span[kWordTextSize];
  wordlist_surface_text(span, list, i, j + 1);
  char standard[kCaseWordSize];
  int32_t hit = 0;
  int32_t rc = scheme_phrase(s, span, standard, &hit);
  if (rc < 0) return rc;
  case_info* info = s.rec_info.info;
  if (hit != 0) {
    // Offsets from the words as they were, before any takes its part.
    int32_t offsets[kSchemeMaxWords + 1];
    int32_t lengths[kSchemeMaxWords + 1];
    char through[kWordTextSize];
    for (int32_t k = i; k <= j; ++k) {
      wordlist_surface_text(through, list, i, k + 1);
      lengths[k - i] = np_uchar_length(word_at(list, k)->text);
      offsets[k - i] = np_uchar_length(through) - lengths[k - i];
    }
    for (int32_t k = i; k <= j; ++k) {
      const int32_t from = np_uchar_seek(standard, offsets[k - i]);
      const int32_t to = np_uchar_seek(standard, offsets[k - i] + lengths[k - i]);
      word_rec* w = word_at(list, k);
      const size_t n = std::min<size_t>(static_cast<size_t>(to - from), kWordTextSize - 1);
      std::memcpy(w->text, standard + from, n);
      w->text[np_uchar_cut(w->text, n)] = '\0';
    }
    if (info != nullptr) info->scheme_matched = 1;
  }
  const bool matched_scheme = hit != 0;
  bool replaced = false;
  if (s.regexlib != nullptr && !(s.part->skip_regexlib_on_scheme != 0 && matched_scheme)) {
    for (int32_t k = i; k <= j; ++k) {
      rc = regex_apply(s, k, word_at(list, k)->text, kWordTextSize);
      if (rc < 0) return rc;
      if (rc > 0) replaced = true;
    }
    if (replaced && info != nullptr) info->regex_matched = 1;
  }
  if (matched_scheme || replaced) {
    if (info != nullptr) {
      char after_scheme[kWordTextSize] = "";
      char after_regex[kWordTextSize] = "";
      if (matched_scheme) np_uchar_bufcopy(after_scheme, standard, kWordTextSize);
      if (replaced) wordlist_surface_text(after_regex, list, i, j + 1);
      // A span the scheme alone changed records no final text: the info
      // shows its source in its place.
      s.rec_info.word(span, matched_scheme ? 1 : 0, after_scheme, after_regex, after_regex);
    }
    return 0;
  }
  for (int32_t k = i; k <= j; ++k) {
    word_rec* w = word_at(list, k);
    char before[kWordTextSize];
    if (info != nullptr) std::memcpy(before, w->text, std::strlen(w->text) + 1);
    const uint32_t whole = case_default_apply(s.ctx, s.mode, s.part->unicode_casing, w->text, kWordTextSize);
    s.cut_at(k, default_lost(whole, w->text, kWordTextSize));
    if (info != nullptr) {
      info->default_casing_used = 1;
      s.rec_info.word(before, 0, "", "", w->text);
    }
  }
  return 0;
}

// The last word of the longest run of two or more words from word i that
// the scheme knows, or -1.
int32_t longest_span(run_state& s, const word_list* list, int32_t i) {
  const int32_t count = static_cast<int32_t>(wordlist_word_count(list));
  const int32_t last = std::min(count - 1, i + static_cast<int32_t>(kSchemeMaxWords) - 1);
  char text[kWordTextSize];
  for (int32_t j = last; j > i; --j) {
    wordlist_surface_text(text, list, i, j + 1);
    if (scheme_standard_get_by_data(s.ctx, s.scheme, text, nullptr) == 1) return j;
  }
  return -1;
}

// The resources of the definition for this run.
int32_t resources_get(run_state& s) {
  if (s.part == nullptr) return 0;
  if (s.part->known_word_scheme.held()) {
    const int32_t rc = scheme_get(s.ctx, s.part->known_word_scheme.index(), &s.scheme);
    if (rc < 0) return rc;
  }
  if (s.part->known_pattern_regexlib.held()) {
    const int32_t rc = regexlib_get(s.ctx, s.part->known_pattern_regexlib.index(), &s.regexlib);
    if (rc < 0) return rc;
  }
  return 0;
}

int32_t words_run(run_state& s, word_list* list) {
  const int32_t count = static_cast<int32_t>(wordlist_word_count(list));
  for (int32_t i = 0; i < count;) {
    if (s.scheme != nullptr) {
      const int32_t j = longest_span(s, list, i);
      if (j > i) {
        const int32_t rc = span_step(s, list, i, j);
        if (rc < 0) return rc;
        i = j + 1;
        continue;
      }
    }
    const int32_t rc = word_step(s, i, word_at(list, i)->text);
    if (rc < 0) return rc;
    ++i;
  }
  return 0;
}

// The cased value being rebuilt into a bound: pieces are appended while
// they fit whole (the whole characters of the first that does not are
// written, and nothing after it), and every piece is counted, so that the
// whole cased value's length is known however much of it was kept.
struct rebuilt {
  char* out;
  uint32_t bound;  // bytes with the terminator
  uint32_t used = 0;
  uint64_t whole = 0;
  bool open = true;
  void put(const char* text) {
    const size_t n = std::strlen(text);
    whole += n;
    if (!open) return;
    if (used + n < bound) {
      std::memcpy(out + used, text, n + 1);
      used += static_cast<uint32_t>(n);
      return;
    }
    used += np_uchar_bufcopy(out + used, text, bound - used);
    open = false;
  }
};

// The cased value from the list into out (bound bytes with the terminator,
// at most kWordTextSize): the leading separator, the words with the
// separators between them (dropped spans give no text) and the trailing
// separator. It ends where a piece does not fit whole, and after word
// `last_word` (one whose casing was cut), so that whatever casing
// lengthened, the output is the start of the cased value and never skips a
// character to take a later one. Returns the length of the whole cased
// value, every piece counted (a cut word as its buffer kept it).
uint64_t rebuild(char* out, uint32_t bound, const word_list* list, int32_t last_word) {
  out[0] = '\0';
  rebuilt r{out, bound};
  const auto seps = static_cast<int32_t>(vec_count(&list->separators));
  const auto words = static_cast<int32_t>(wordlist_word_count(list));
  const auto piece = [](const vec* v, int32_t k) { return static_cast<const word_rec*>(vec_get(v, k)); };
  if (seps > 0) {
    const word_rec* lead = piece(&list->separators, 0);
    // Only a separator ahead of every word leads the text.
    if (lead->start == 0 && (words == 0 || piece(&list->words, 0)->start > 0)) r.put(lead->text);
  }
  int32_t p = 0;
  for (int32_t i = 0; i < words; ++i) {
    const word_rec* w = piece(&list->words, i);
    int32_t between = 0;
    if (i == 0) {
      p = w->start;
    } else if (p < w->start) {
      for (int32_t k = 0; k < seps; ++k) {
        const word_rec* sep = piece(&list->separators, k);
        if (sep->start > w->start) break;
        if (sep->start >= p) {
          r.put(sep->text);
          between += sep->length;
        }
      }
      const auto dropped = static_cast<int32_t>(vec_count(&list->dropped));
      for (int32_t k = 0; k < dropped; ++k) {
        const word_rec* d = piece(&list->dropped, k);
        if (d->start > w->start) break;
        if (d->start >= p) between += d->length;
      }
    }
    r.put(w->text);
    if (i == last_word) r.open = false;
    p += w->length + between;
  }
  if (seps > 0 && words > 0) {
    const word_rec* trail = piece(&list->separators, seps - 1);
    if (trail->start > piece(&list->words, words - 1)->start) r.put(trail->text);
  }
  return r.whole;
}

// True when the `len` bytes of text are well-formed UTF-8.
bool well_formed(const char* text, size_t len) {
  size_t k = 0;
  while (k < len) {
    if (static_cast<unsigned char>(text[k]) < 0x80) {
      ++k;
      continue;
    }
    const char* cursor = text + k;
    int32_t code = 0;
    const int32_t n = np_uchar_toint(&cursor, &code);
    if (n <= 0 || k + static_cast<size_t>(n) > len) return false;
    k += static_cast<size_t>(n);
  }
  return true;
}

// Upper- or lowercasing with no definition and no record: nothing depends
// on words, so the value is cased whole by one call of the character
// library. It gives what casing word by word gives: the built-in chopper
// parts words only at blanks, tabs, line feeds, form feeds and carriage
// returns, and no casing context (final sigma, the Lithuanian dot, the
// Turkish and Azeri i) reaches across those. The value is bounded as the
// word road bounds it (kCaseValueMax bytes in, the rebuilt text's size
// out), and *whole is the whole cased value's length, as the library
// measures it. False, with nothing decided, for a text that is not
// well-formed UTF-8 (the chopper stops parting words at the first bad
// byte), one longer than the engines' length (the word road cuts it and
// tells), or when the mapping fails; the word road then takes the value.
bool whole_value_case(context* ctx, uint32_t mode, const char* input, uint32_t max, char* out, uint64_t* whole) {
  // One pass measures and checks a value that fits, as most do.
  const int32_t valid = np_uchar_valid_length(input, kCaseValueMax);
  size_t len = valid >= 0 ? static_cast<size_t>(valid) : strnlen(input, kCaseValueMax + 1);
  if (valid < 0 && (len > kCaseValueMax || !well_formed(input, len))) return false;
  const uint32_t bound = std::min(max, kWordTextSize);
  uint32_t full = 0;
  if (case_n(ctx, case_op_of(mode), input, static_cast<int32_t>(len), out, bound, &full) < 0) {
    return false;
  }
  *whole = full;
  return true;
}

}  // namespace

uint32_t case_default_apply(context* ctx, uint32_t mode, uint32_t unicode, char* text, uint32_t size) {
  if (size == 0) return 0;
  uint32_t op = 0;
  switch (mode) {
    case kCaseUpper:
      op = kNpCaseUpper;
      break;
    case kCaseLower:
      op = kNpCaseLower;
      break;
    case kCaseProper:
      if (unicode == 0) return proper_first_upper(ctx, text, size);
      op = kNpCaseTitle;
      break;
    default:
      return static_cast<uint32_t>(strnlen(text, size - 1));
  }
  // In place: a failed mapping writes only the first byte, which is put
  // back, so the word stays as it was (and out of memory is thrown).
  size_t len = strnlen(text, size);
  if (len == size) len = np_uchar_cut(text, size - 1);
  const char first = text[0];
  uint32_t full = 0;
  const int32_t n = case_n(ctx, op, text, static_cast<int32_t>(len), text, size, &full);
  if (n < 0) {
    text[0] = first;
    text[len] = '\0';
    return static_cast<uint32_t>(len);
  }
  return std::max(full, static_cast<uint32_t>(n));
}

int32_t case_work_area_create(context* ctx) {
  auto* work = new (std::nothrow) case_work{};
  if (work == nullptr) return TQ_ERR_NO_MEMORY;
  scheme_pool_init(ctx, &work->pool);
  work->ready = 1;
  ctx->case_work = work;
  return 0;
}

void case_work_area_free(context* ctx) {
  if (ctx->case_work == nullptr) return;
  scheme_pool_free(ctx, &ctx->case_work->pool);
  delete ctx->case_work;
  ctx->case_work = nullptr;
}

int32_t case_engine_run(context* ctx, defn_rec* rec, case_work* work, uint32_t mode, const char* input,
                        uint32_t max, char* out, case_info* info, uint64_t* whole) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (work == nullptr || out == nullptr || input == nullptr || whole == nullptr) return TQ_ERR_ARGUMENT;
  *whole = 0;
  max = std::min(max, kCaseTextSize);
  if (max == 0) return TQ_ERR_ARGUMENT;
  // With an info the run holds the write hold from its start: a refusal on
  // the way (preparing the definition, loading a resource on first use)
  // would leave the info half-made, its words counted twice by the run
  // again.
  if (int32_t claimed = shared_state_write_claim_for(ctx, info); claimed != 0) return claimed;
  run_state s{ctx, rec, nullptr, work, mode, recorder{info}};
  if (rec != nullptr) {
    s.part = case_defn_part(rec);
    if (s.part == nullptr) return TQ_ERR_DEFN_INVALID;
    if (s.part->prepared.load(std::memory_order_acquire) == 0) {
      const int32_t rc = case_defn_prepare(ctx, rec);
      if (rc < 0) {
        out[0] = '\0';
        return rc;
      }
    }
  }
  out[0] = '\0';
  if (rec == nullptr && info == nullptr && (mode == kCaseUpper || mode == kCaseLower) &&
      whole_value_case(ctx, mode, input, max, out, whole)) {
    return 0;
  }
  if (info != nullptr) {
    // A run's texts and flags replace an earlier run's; word records add up.
    info->chop_words.clear();
    info->preprocessing_matched = info->scheme_matched = info->regex_matched = 0;
    info->default_casing_used = info->postprocessing_matched = 0;
  }
  char text[kRegexResultSize > kCaseTextSize ? kRegexResultSize : kCaseTextSize];
  uint32_t pre_matched = 0;
  if (rec != nullptr && !rec->preprocessing.empty() && rec->preprocessing[0].held()) {
    regexlib_rec* pre = nullptr;
    int32_t rc = regexlib_get(ctx, rec->preprocessing[0].index(), &pre);
    if (rc < 0) return rc;
    rc = regexlib_replace_all(ctx, pre, input, text, 0);
    if (rc < 0) return rc;
    pre_matched = rc > 0 ? 1 : 0;
  }
  // The whole value is cased, whatever the output's bound: casing can
  // shorten text as well as lengthen it. The chopper takes at most 1,024
  // bytes; longer texts lose their end, whole characters only.
  const size_t len = pre_matched != 0 ? std::strlen(text) : std::strlen(input);
  if (pre_matched == 0) np_uchar_bufcopy(text, input, sizeof text);
  if (len > kCaseValueMax) {
    text[np_uchar_cut(text, kCaseValueMax)] = '\0';
    strio_note_inside_cut(ctx, "the value to be cased", std::strlen(text), len);
  }
  if (info != nullptr) {
    info->preprocessing_matched = pre_matched;
    s.rec_info.text(&info->preprocessed, text);
  }
  int32_t rc = resources_get(s);
  if (rc < 0) return rc;
  word_list list{};
  const int32_t chopper = rec != nullptr && rec->chopper.held() ? rec->chopper.index() : -1;
  rc = chop_run(ctx, chopper, text, &list);
  if (info != nullptr) {
    const int32_t n = static_cast<int32_t>(wordlist_word_count(&list));
    try {
      for (int32_t k = 0; k < n; ++k) info->chop_words.emplace_back(word_at(&list, k)->text);
    } catch (const std::bad_alloc&) {
      s.rec_info.failed = true;
    }
  }
  const uint32_t bound = std::min(max, kWordTextSize);
  if (rc >= 0) rc = words_run(s, &list);
  if (rc >= 0) {
    // The words' texts between the separators as chopped, bounded and cut
    // between characters however casing lengthened them.
    const uint64_t pieces = rebuild(out, bound, &list, s.cut_word);
    *whole = s.lost == kWholeUnknown ? kWholeUnknown : pieces + s.lost;
  }
  wordlist_free(&list);
  if (rc < 0) return rc;
  if (info != nullptr) s.rec_info.text(&info->concatenated, out);
  if (rec != nullptr && rec->postprocessing.held()) {
    regexlib_rec* post = nullptr;
    rc = regexlib_get(ctx, rec->postprocessing.index(), &post);
    if (rc < 0) return rc;
    rc = regexlib_replace_all(ctx, post, out, text, 0);
    if (rc < 0) return rc;
    if (rc > 0) {
      if (info != nullptr) info->postprocessing_matched = 1;
      // What postprocessing makes of a cut text's whole is not known. (The
      // library tells a cut of its own result.)
      *whole = *whole > std::strlen(out) ? kWholeUnknown : std::strlen(text);
      np_uchar_bufcopy(out, text, bound);
    }
  }
  return s.rec_info.failed ? TQ_ERR_NO_MEMORY : 0;
}

}  // namespace tq

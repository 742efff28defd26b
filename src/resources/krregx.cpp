// The regex element engine: compiling on PCRE2, running, search and replace
// with the substitution syntax and its case escapes, and the library-wide
// operations (any-element match, replace with every element, coverage).
#include "resources/krregx.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "platform/npuchar.h"
#include "platform/nputf8.h"
#include "resources/krrsctx.h"
#include "platform/npmem.h"

namespace tq {

namespace {

// Locale codes whose regexes carry the Turkish bit.
constexpr int32_t kLocaleTr = 123000;
constexpr int32_t kLocaleTrTur = 123792;
constexpr int32_t kLocaleL5 = 800005;

// The pairs a match reports: whole match and groups 1..9.
constexpr uint32_t kMatchPairs = kRegexOvectorSize / 3;

// PCRE2 takes its memory through the library's allocator (np_malloc), so
// that its own out of memory comes back as PCRE2_ERROR_NOMEMORY or compile
// error 121 (-600 to the caller) where the rest of the library's would.
void* pcre2_block_take(PCRE2_SIZE size, void*) { return np_malloc(size); }
void pcre2_block_give(void* block, void*) { np_free(block); }

// The general context (allocator only) and the compile context made from
// it, shared by every thread: PCRE2 only reads them. Made on first use; one
// that cannot be made is not kept, and the next compile or match tries
// again.
template <typename T>
T* shared_context(std::atomic<T*>* slot, T* (*make)(), void (*free_fn)(T*)) {
  if (T* made = slot->load(std::memory_order_acquire)) return made;
  T* fresh = make();
  if (fresh == nullptr) return nullptr;
  T* expected = nullptr;
  if (slot->compare_exchange_strong(expected, fresh, std::memory_order_acq_rel)) return fresh;
  free_fn(fresh);  // another thread's came first
  return expected;
}

std::atomic<pcre2_general_context*> g_general{nullptr};
std::atomic<pcre2_compile_context*> g_compile{nullptr};

pcre2_general_context* general_context() {
  return shared_context<pcre2_general_context>(
      &g_general, [] { return pcre2_general_context_create(pcre2_block_take, pcre2_block_give, nullptr); },
      pcre2_general_context_free);
}

pcre2_compile_context* compile_context() {
  pcre2_general_context* general = general_context();
  if (general == nullptr) return nullptr;
  return shared_context<pcre2_compile_context>(
      &g_compile, [] { return pcre2_compile_context_create(general_context()); }, pcre2_compile_context_free);
}

// A compile error of PCRE2 that is out of memory rather than the pattern's.
bool compile_out_of_memory(int err) { return err == PCRE2_ERROR_HEAP_FAILED || err == PCRE2_ERROR_NOMEMORY; }

// The context's regex work area: match data for the pairs callers ask for,
// and a match context carrying the limits and the JIT's stack. Made on the
// context's first match and reused by every later one, so that matching
// allocates nothing per call. Libraries are shared between clones, so none
// of this can live in the element.
struct regex_work {
  lazy_work base;  // first: the context releases it through this
  pcre2_match_data* md;
  pcre2_match_context* mctx;
  pcre2_jit_stack* jit_stack;
};

// The JIT's own stack, grown on demand: deeply nested patterns over a
// 1,024-byte value outgrow the 32 KB the JIT otherwise takes from the
// machine stack, and would then run again in the slower interpreter.
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 1024 * 1024;

void work_release(lazy_work* base) {
  auto* work = reinterpret_cast<regex_work*>(base);
  if (work == nullptr) return;
  if (work->md != nullptr) pcre2_match_data_free(work->md);
  if (work->mctx != nullptr) pcre2_match_context_free(work->mctx);
  if (work->jit_stack != nullptr) pcre2_jit_stack_free(work->jit_stack);
  std::free(work);
}

regex_work* work_create() {
  pcre2_general_context* general = general_context();
  if (general == nullptr) return nullptr;
  auto* work = static_cast<regex_work*>(np_calloc(1, sizeof(regex_work)));
  if (work == nullptr) return nullptr;
  work->base.release = work_release;
  work->md = pcre2_match_data_create(kMatchPairs, general);
  work->mctx = pcre2_match_context_create(general);
  if (work->md == nullptr || work->mctx == nullptr) {
    work_release(&work->base);
    return nullptr;
  }
  pcre2_set_match_limit(work->mctx, kRegexMatchLimit);
  pcre2_set_depth_limit(work->mctx, kRegexDepthLimit);
  // Without its own stack the JIT uses 32 KB on the machine stack; a JIT
  // that cannot be given one still runs there.
  work->jit_stack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, general);
  if (work->jit_stack != nullptr) pcre2_jit_stack_assign(work->mctx, nullptr, work->jit_stack);
  return work;
}

// The work area a match uses: the context's, made on its first match (a
// failure recorded), or, for a match without a context (never on the
// engine's roads), one made for the match and given back with the holder.
// NULL when it cannot be made.
struct work_holder {
  regex_work* own = nullptr;
  work_holder() = default;
  work_holder(const work_holder&) = delete;
  work_holder& operator=(const work_holder&) = delete;
  ~work_holder() {
    if (own != nullptr) work_release(&own->base);
  }

  regex_work* get(context* ctx) {
    if (ctx == nullptr) return own = work_create();
    lazy_work* base = nullptr;
    if (regex_work_get(ctx, &base) != 0) return nullptr;
    return reinterpret_cast<regex_work*>(base);
  }
};

}  // namespace

int32_t regex_work_create(context* ctx) {
  regex_work* work = work_create();
  if (work == nullptr) return TQ_ERR_NO_MEMORY;
  ctx->regex_work = &work->base;
  return 0;
}

namespace {

bool is_limit(int rc) {
  return rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT ||
         rc == PCRE2_ERROR_JIT_STACKLIMIT;
}

// Whether a match result says the subject is not well-formed UTF-8.
bool is_utf_error(int32_t rc) { return rc <= PCRE2_ERROR_UTF8_ERR1 && rc >= PCRE2_ERROR_UTF8_ERR21; }

// A compiled pattern that matches at once: run at offset 0 it only checks
// the subject's UTF-8. Shared and made on first use (NULL when memory ran
// out: made again on the next call).
std::atomic<pcre2_code*> g_probe{nullptr};

pcre2_code* utf_probe() {
  pcre2_compile_context* compile = compile_context();
  if (compile == nullptr) return nullptr;
  return shared_context<pcre2_code>(
      &g_probe,
      [] {
        int err = 0;
        PCRE2_SIZE offset = 0;
        return pcre2_compile(reinterpret_cast<PCRE2_SPTR>(""), 0, PCRE2_UTF, &err, &offset, compile_context());
      },
      pcre2_code_free);
}

// Bytes of the UTF-8 character starting at text[pos] (1 for a byte that
// does not start a well-formed character), never past length.
size_t char_bytes_at(const char* text, size_t pos, size_t length) {
  if (pos >= length) return 0;
  const char* cursor = text + pos;
  int32_t code = 0;
  int32_t n = np_uchar_toint(&cursor, &code);
  if (n < 1) n = 1;
  size_t step = static_cast<size_t>(n);
  return pos + step > length ? length - pos : step;
}

// A growing output text bounded at `cap` bytes (a terminator follows).
struct bounded_text {
  char* data;
  uint32_t length;
  uint32_t cap;
  uint64_t lost = 0;  // bytes appended that did not fit

  uint32_t room() const { return length < cap ? cap - length : 0; }

  // Appends whole characters of src[0, n) that fit. Returns the bytes taken.
  uint32_t append(const char* src, size_t n) {
    size_t take = n < room() ? n : room();
    if (take < n) take = np_uchar_cut(src, take);
    lost += n - take;
    std::memcpy(data + length, src, take);
    length += static_cast<uint32_t>(take);
    data[length] = '\0';
    return static_cast<uint32_t>(take);
  }
};

// The case state of a substitution.
struct case_state {
  bool upper_all = false;
  bool lower_all = false;
  bool upper_next = false;
  bool lower_next = false;
  bool u_just_set = false;
  bool l_just_set = false;

  void clear_marks() { u_just_set = l_just_set = false; }
};

// Moves the segment into the result with the current case state. A pending
// upper-next / lower-next changes the first character only; the rest of
// that segment is copied as it is.
void flush_segment(bounded_text* seg, bounded_text* out, case_state* cs) {
  if (seg->length == 0) return;
  const char* src = seg->data;
  if (cs->upper_next || cs->lower_next) {
    bool upper = cs->upper_next;
    cs->upper_next = cs->lower_next = false;
    char first[16];
    const char* cursor = src;
    int32_t n = upper ? np_uchar_upper(&cursor, first, sizeof first) : np_uchar_lower(&cursor, first, sizeof first);
    if (n > 0 && static_cast<uint32_t>(n) <= out->room()) {
      out->append(first, static_cast<size_t>(n));
      out->append(cursor, seg->length - static_cast<size_t>(cursor - src));
    } else if (n <= 0) {
      out->append(src, seg->length);
    }
  } else if (cs->upper_all || cs->lower_all) {
    // Cased apart first (casing can lengthen the text), then appended whole
    // characters at a time.
    char cased[kRegexResultSize * 3 + 4];
    int32_t n = cs->upper_all ? np_uchar_upper_cs(src, cased, static_cast<uint32_t>(sizeof cased), nullptr)
                              : np_uchar_lower_cs(src, cased, static_cast<uint32_t>(sizeof cased), nullptr);
    if (n >= 0) {
      out->append(cased, static_cast<size_t>(n));
    } else {
      out->append(src, seg->length);
    }
  } else {
    out->append(src, seg->length);
  }
  seg->length = 0;
  seg->data[0] = '\0';
}

// Builds the replacement of one match from the substitution text into out.
// Each replacement starts with a clear case state: a \U or \L left open, or
// a \u with nothing after it, ends with the replacement it stands in, so the
// next match's replacement (and the text between matches) is not recased.
void substitute(const char* sub, const char* subject, const size_t* ov, int32_t pairs, bounded_text* out) {
  case_state cs;
  char seg_buf[kRegexResultSize];
  seg_buf[0] = '\0';
  bounded_text seg{seg_buf, 0, kRegexResultMax};
  bool escape = false;
  size_t sub_len = std::strlen(sub);
  size_t i = 0;
  while (i < sub_len) {
    size_t n = char_bytes_at(sub, i, sub_len);
    char c = sub[i];
    if (escape) {
      escape = false;
      if (c >= '0' && c <= '9') {
        int32_t g = c - '0';
        if (g < pairs && ov[2 * g] != kRegexUnset && ov[2 * g + 1] != kRegexUnset &&
            (g == 0 || ov[2 * g + 1] > ov[2 * g])) {
          seg.append(subject + ov[2 * g], ov[2 * g + 1] - ov[2 * g]);
        }
        cs.clear_marks();
      } else if (c == 'U' || c == 'L' || c == 'E' || c == 'u' || c == 'l') {
        flush_segment(&seg, out, &cs);
        switch (c) {
          case 'U':
            cs.upper_all = true;
            cs.lower_all = cs.upper_next = cs.lower_next = false;
            cs.u_just_set = true;
            cs.l_just_set = false;
            break;
          case 'L':
            cs.lower_all = true;
            cs.upper_all = cs.upper_next = cs.lower_next = false;
            cs.l_just_set = true;
            cs.u_just_set = false;
            break;
          case 'E':
            cs = case_state{};
            break;
          case 'u':
            if (!(cs.lower_all && !cs.l_just_set)) {
              cs.upper_next = true;
              cs.lower_next = false;
            }
            cs.clear_marks();
            break;
          default:  // 'l'
            if (!(cs.upper_all && !cs.u_just_set)) {
              cs.lower_next = true;
              cs.upper_next = false;
            }
            cs.clear_marks();
            break;
        }
      } else if (c == '\\') {
        // A backslash after a backslash only starts the escape again.
        escape = true;
      } else {
        seg.append(sub + i, n);
        cs.clear_marks();
      }
    } else if (c == '\\') {
      escape = true;
    } else {
      seg.append(sub + i, n);
      cs.clear_marks();
    }
    i += n;
  }
  flush_segment(&seg, out, &cs);
}

}  // namespace

// ---- Elements ----------------------------------------------------------------------

int32_t regexlib_element_create(regexlib_element* e, const char* regex, const char* sub, const char* notes,
                                uint32_t options) {
  if (e == nullptr) return TQ_ERR_ARGUMENT;
  if (regex == nullptr || regex[0] == '\0') return TQ_ERR_ARGUMENT;
  char* r = str_dup(regex);
  char* s = str_dup(sub != nullptr ? sub : "");
  char* n = str_dup(notes != nullptr ? notes : "");
  if (r == nullptr || s == nullptr || n == nullptr) {
    std::free(r);
    std::free(s);
    std::free(n);
    return TQ_ERR_NO_MEMORY;
  }
  *e = regexlib_element{};
  e->regex = r;
  e->sub = s;
  e->notes = n;
  e->options = options;
  e->encoding = -1;
  return 0;
}

void regexlib_element_free(regexlib_element* e) {
  if (e == nullptr) return;
  if (e->code != nullptr) pcre2_code_free(static_cast<pcre2_code*>(e->code));
  std::free(e->regex);
  std::free(e->sub);
  std::free(e->notes);
  *e = regexlib_element{};
}

uint32_t regexlib_compile_options(context* ctx) {
  uint32_t opts = kRegexOptUtf8;
  int32_t code = ctx != nullptr ? ctx->current_locale_code : 0;
  if (code == kLocaleTr || code == kLocaleTrTur || code == kLocaleL5) opts |= kRegexOptTurkish;
  return opts;
}

namespace {

// What the pattern says about the first byte of any match: one code unit
// (an ASCII one may be matched in either case), or the start bitmap. PCRE2
// itself skips a subject on this knowledge, so a subject without any of
// these bytes never matches. Patterns that can match empty text, or that
// begin at a line start, have neither, and stay unknown.
void first_bytes_learn(regexlib_element* e, const pcre2_code* code) {
  e->first_known = 0;
  std::memset(e->first_bytes, 0, sizeof e->first_bytes);
  uint32_t type = 0;
  if (pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODETYPE, &type) != 0) return;
  if (type == 1) {
    uint32_t unit = 0;
    if (pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODEUNIT, &unit) != 0 || unit > 0xFF) return;
    const auto add = [e](uint32_t b) { e->first_bytes[b >> 6] |= uint64_t{1} << (b & 63); };
    add(unit);
    if (unit >= 'A' && unit <= 'Z') add(unit + ('a' - 'A'));
    if (unit >= 'a' && unit <= 'z') add(unit - ('a' - 'A'));
    e->first_known = 1;
    return;
  }
  if (type != 0) return;
  const uint8_t* bitmap = nullptr;
  if (pcre2_pattern_info(code, PCRE2_INFO_FIRSTBITMAP, &bitmap) != 0 || bitmap == nullptr) return;
  // The bitmap's bit b % 8 of byte b / 8 stands for byte b.
  for (uint32_t b = 0; b < 256; ++b) {
    if ((bitmap[b >> 3] & (1u << (b & 7))) != 0) e->first_bytes[b >> 6] |= uint64_t{1} << (b & 63);
  }
  e->first_known = 1;
}

// The set of bytes a text holds, in the layout of first_bytes.
void byte_set_of(const char* text, uint64_t set[4]) {
  set[0] = set[1] = set[2] = set[3] = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    set[*p >> 6] |= uint64_t{1} << (*p & 63);
  }
}

bool may_match(const regexlib_element* e, const uint64_t set[4]) {
  if (e->first_known == 0) return true;
  return ((e->first_bytes[0] & set[0]) | (e->first_bytes[1] & set[1]) | (e->first_bytes[2] & set[2]) |
          (e->first_bytes[3] & set[3])) != 0;
}

int32_t element_compile(context* ctx, regexlib_element* e, uint32_t options) {
  e->first_known = 0;
  if (e->code != nullptr) {
    pcre2_code_free(static_cast<pcre2_code*>(e->code));
    e->code = nullptr;
    e->jit = 0;
  }
  // Translate the stored bits: UTF-8 without UCP, so that \w, \d and the
  // POSIX classes stay ASCII. The Turkish bit stays with the element.
  uint32_t pcre_opts = 0;
  if ((options & kRegexOptUtf8) != 0) pcre_opts |= PCRE2_UTF;
  if ((options & kRegexOptAnchored) != 0) pcre_opts |= PCRE2_ANCHORED;
  int err = 0;
  PCRE2_SIZE offset = 0;
  pcre2_compile_context* compile = compile_context();
  if (compile == nullptr) return TQ_ERR_NO_MEMORY;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(e->regex), PCRE2_ZERO_TERMINATED, pcre_opts,
                                   &err, &offset, compile);
  if (code == nullptr) {
    if (compile_out_of_memory(err)) return TQ_ERR_NO_MEMORY;
    PCRE2_UCHAR text[256];
    if (pcre2_get_error_message(err, text, sizeof text) < 0) text[0] = 0;
    TQ_REPORT(ctx, kRcRegexSyntax, 51, static_cast<const char*>(e->regex), reinterpret_cast<const char*>(text),
              static_cast<int32_t>(offset));
    return kRcRegexSyntax;
  }
  e->code = code;
  e->compiled_with = options;
  first_bytes_learn(e, code);
  int jrc = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
  if (jrc == 0) {
    e->jit = 1;
    return 0;
  }
  // JIT missing from this build or platform is not a fault of the pattern.
  if (jrc == PCRE2_ERROR_JIT_BADOPTION) return 0;
  // Out of memory is the call's failure, not a pattern the JIT refused:
  // the element is left uncompiled, to be compiled whole next time.
  if (jrc == PCRE2_ERROR_NOMEMORY) {
    pcre2_code_free(code);
    e->code = nullptr;
    return TQ_ERR_NO_MEMORY;
  }
  return kRcRegexNotStudied;
}

}  // namespace

int32_t regexlib_element_compile(context* ctx, regexlib_element* e, uint32_t options) {
  if (e == nullptr) return TQ_ERR_ARGUMENT;
  if (e->regex == nullptr || e->regex[0] == '\0') {
    e->compile_rc = TQ_ERR_ARGUMENT;
    return TQ_ERR_ARGUMENT;
  }
  e->compile_rc = element_compile(ctx, e, options);
  return e->compile_rc;
}

int32_t regexlib_element_exec(context* ctx, const regexlib_element* e, const char* subject, size_t length,
                              size_t start, size_t* ovector, uint32_t ovector_size, int32_t* result,
                              uint32_t exec_options) {
  uint32_t pairs_out = ovector_size / 3;
  if (pairs_out > kMatchPairs) pairs_out = kMatchPairs;
  // Without a match only the whole match's pair is set (unset); the rules
  // pass tries at every position, so the rest is written only on a match.
  if (ovector != nullptr && pairs_out > 0) ovector[0] = ovector[1] = kRegexUnset;
  if (result != nullptr) *result = PCRE2_ERROR_NOMATCH;
  if (e == nullptr || e->code == nullptr || subject == nullptr || start > length) return 0;
  work_holder holder;
  regex_work* work = holder.get(ctx);
  if (work == nullptr) return TQ_ERR_NO_MEMORY;
  uint32_t opts = 0;
  // Anchoring at match time would keep the JIT from running; a pattern
  // compiled anchored needs no more.
  if ((exec_options & kRegexExecAnchored) != 0 && (e->compiled_with & kRegexOptAnchored) == 0) {
    opts |= PCRE2_ANCHORED;
  }
  if ((exec_options & kRegexExecChecked) != 0) opts |= PCRE2_NO_UTF_CHECK;
  auto* code = static_cast<pcre2_code*>(e->code);
  int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject), length, start, opts, work->md, work->mctx);
  if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
    // The interpreter keeps its frames on the heap, under the same limits.
    rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject), length, start, opts | PCRE2_NO_JIT, work->md,
                     work->mctx);
  }
  if (result != nullptr) *result = rc;
  if (is_limit(rc)) {
    TQ_REPORT(ctx, kRcRegexLimit, 1730, static_cast<const char*>(e->regex));
    return kRcRegexLimit;
  }
  if (rc == PCRE2_ERROR_NOMEMORY) return TQ_ERR_NO_MEMORY;
  if (rc <= 0) return 0;
  if (ovector != nullptr) {
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(work->md);
    uint32_t n = static_cast<uint32_t>(rc) < pairs_out ? static_cast<uint32_t>(rc) : pairs_out;
    for (uint32_t i = 0; i < 2 * n; ++i) ovector[i] = ov[i] == PCRE2_UNSET ? kRegexUnset : ov[i];
    for (uint32_t i = 2 * n; i < 2 * pairs_out; ++i) ovector[i] = kRegexUnset;
  }
  return 1;
}

int32_t regexlib_subject_check(context* ctx, const char* subject, size_t length) {
  if (subject == nullptr) return 0;
  work_holder holder;
  regex_work* work = holder.get(ctx);
  pcre2_code* probe = utf_probe();
  if (work == nullptr || probe == nullptr) return TQ_ERR_NO_MEMORY;
  int rc = pcre2_match(probe, reinterpret_cast<PCRE2_SPTR>(subject), length, 0, 0, work->md, work->mctx);
  return rc >= 0 ? 1 : 0;
}

int32_t regexlib_element_replace(context* ctx, const regexlib_element* e, const char* subject, char* result) {
  if (e == nullptr || subject == nullptr || result == nullptr) return 0;
  const size_t length = std::strlen(subject);
  const char* sub = e->sub != nullptr ? e->sub : "";
  // Built apart, so that a caller may pass the subject's own buffer.
  char buf[kRegexResultSize];
  buf[0] = '\0';
  bounded_text out{buf, 0, kRegexResultMax};
  size_t pos = 0;
  int32_t matched = 0;
  // The first match, from offset 0, checks the whole subject's UTF-8; the
  // later ones need not check it again.
  uint32_t checked = 0;
  while (true) {
    size_t ov[kRegexOvectorSize];
    int32_t rc = 0;
    int32_t m = regexlib_element_exec(ctx, e, subject, length, pos, ov, kRegexOvectorSize, &rc, checked);
    if (m < 0) return m;
    checked = kRegexExecChecked;
    if (m == 0) {
      if (matched == 0) return 0;
      break;
    }
    matched = 1;
    size_t ms = ov[0];
    size_t me = ov[1];
    if (ms < pos || me < ms || me > length) break;  // not expected from PCRE2; stop safely
    out.append(subject + pos, ms - pos);
    size_t next;
    size_t kept = 0;  // bytes of the character an empty match stands before
    if (me > ms) {
      next = me;
    } else {
      // After an empty match the character at the match keeps its place
      // after the replacement and the search resumes behind it.
      kept = char_bytes_at(subject, ms, length);
      next = ms + kept;
    }
    substitute(sub, subject, ov, rc, &out);
    if (kept > 0) out.append(subject + ms, kept);
    pos = next;
    if (next >= length) break;
    if (out.length >= kRegexResultMax) {
      // The rest of the subject is left out, matched or not: how long the
      // whole result would be is not known.
      strio_note_inside_cut(ctx, "a regex replacement", out.length, 0);
      std::memcpy(result, buf, out.length + 1);
      return 1;
    }
  }
  if (pos < length) out.append(subject + pos, length - pos);
  if (out.lost > 0) strio_note_inside_cut(ctx, "a regex replacement", out.length, out.length + out.lost);
  std::memcpy(result, buf, out.length + 1);
  return matched;
}

// ---- Libraries -----------------------------------------------------------------------

int32_t regexlib_match_any(context* ctx, const regexlib_rec* lib, const char* text, uint32_t convert) {
  if (lib == nullptr || text == nullptr) return 0;
  char conv[kRegexResultSize];
  const char* s = text;
  if ((convert & ~kRegexExecChecked) == 1) {
    int32_t crc = strio_in_1024(ctx, text, conv, kStrioConvert | kStrioValue);
    if (crc < 0) return crc;
    s = conv;
  }
  size_t length = std::strlen(s);
  uint32_t checked = convert & kRegexExecChecked;
  for (uint32_t i = 0; i < lib->count; ++i) {
    const regexlib_element* e = &lib->elements[i];
    int32_t result = 0;
    int32_t m = regexlib_element_exec(ctx, e, s, length, 0, nullptr, 0, &result, checked);
    if (m != 0) return m;
    if (e->code == nullptr) continue;
    // Text that is not well-formed UTF-8 matches no element.
    if (is_utf_error(result)) return 0;
    checked = kRegexExecChecked;
  }
  return 0;
}

int32_t regexlib_replace_all(context* ctx, const regexlib_rec* lib, const char* input, char* out,
                             uint32_t convert) {
  if (lib == nullptr || input == nullptr || out == nullptr) return 0;
  char running[kRegexResultSize];
  if (convert == 1) {
    int32_t crc = strio_in_1024(ctx, input, running, kStrioConvert | kStrioValue);
    if (crc < 0) return crc;
  } else {
    np_uchar_bufcopy(running, input, kRegexResultSize);
  }
  int32_t any = 0;
  char next[kRegexResultSize];
  uint64_t held[4];
  byte_set_of(running, held);
  for (uint32_t i = 0; i < lib->count; ++i) {
    if (!may_match(&lib->elements[i], held)) continue;
    int32_t m = regexlib_element_replace(ctx, &lib->elements[i], running, next);
    if (m < 0) return m;
    if (m != 0) {
      any = 1;
      std::memcpy(running, next, std::strlen(next) + 1);
      byte_set_of(running, held);
    }
  }
  if (convert == 1) {
    int32_t crc = strio_out_1028(ctx, running, out, kStrioConvert);
    if (crc < 0) return crc;
  } else {
    std::memcpy(out, running, std::strlen(running) + 1);
  }
  return any;
}

int32_t regexlib_coverage_scan(context* ctx, const regexlib_rec* lib, const char* text, uint32_t* matches,
                               uint32_t* covered, uint32_t* length) {
  if (matches != nullptr) *matches = 0;
  if (covered != nullptr) *covered = 0;
  if (length != nullptr) *length = 0;
  if (lib == nullptr || text == nullptr) return TQ_ERR_ARGUMENT;
  const size_t len = std::strlen(text);
  // Values are at most 1,024 bytes; a longer text gets a map of its own.
  uint8_t local[kRegexResultSize];
  std::vector<uint8_t> grown;
  uint8_t* map = local;
  if (len > sizeof local) {
    grown.assign(len, 0);
    map = grown.data();
  } else {
    std::memset(local, 0, len);
  }
  uint32_t count = 0;
  for (uint32_t i = 0; i < lib->count; ++i) {
    size_t pos = 0;
    uint32_t checked = 0;
    while (pos <= len) {
      size_t ov[kRegexOvectorSize];
      int32_t m = regexlib_element_exec(ctx, &lib->elements[i], text, len, pos, ov, kRegexOvectorSize, nullptr,
                                        checked);
      if (m < 0) return m;
      if (m == 0) break;
      checked = kRegexExecChecked;
      size_t ms = ov[0];
      size_t me = ov[1];
      if (ms < pos || me < ms || me > len) break;
      ++count;
      for (size_t b = ms; b < me; ++b) map[b] = 1;
      if (me > ms) {
        pos = me;
      } else {
        // No progress from an empty match: move on one character.
        if (ms >= len) break;
        pos = ms + char_bytes_at(text, ms, len);
      }
    }
  }
  uint32_t cov = 0;
  for (size_t b = 0; b < len; ++b) cov += map[b];
  if (matches != nullptr) *matches = count;
  if (covered != nullptr) *covered = cov;
  if (length != nullptr) *length = static_cast<uint32_t>(len);
  return 0;
}

void regexlib_elements_free(regexlib_rec* lib) {
  if (lib == nullptr) return;
  for (uint32_t i = 0; lib->elements != nullptr && i < lib->count; ++i) regexlib_element_free(&lib->elements[i]);
  std::free(lib->elements);
  lib->elements = nullptr;
  lib->count = 0;
}

}  // namespace tq

// The scheme engine: entries and their ownership, sorting, groups of equal
// entries, duplicate removal, preparation (match-code keys, uppercased
// data), lookup, application to whole phrases and to runs of chopped
// words, and the per-context scratch pools.
#include "resources/krsch.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "core/krcaseloc.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krvec.h"
#include "core/krzel.h"
#include "kbstore/krlib.h"
#include "kbstore/krlocload.h"
#include "platform/npuchar.h"
#include "platform/nputf8.h"
#include "resources/krchop.h"
#include "resources/krwlst.h"
#include "platform/npmem.h"

namespace tq {

namespace {

std::atomic<const scheme_match_ops*> g_match_ops{nullptr};

// More entries than any scheme holds: refused as out of memory rather than
// attempted.
constexpr uint32_t kEntryCountMax = 1u << 26;
// Room for an uppercased value: casing can make a text up to three times
// longer in UTF-8.
constexpr uint32_t kUpperSize = 3 * kSchemeValueMax + 1;
// A value or span with its terminator.
constexpr uint32_t kValueSize = kSchemeValueMax + 1;

constexpr uint32_t kPoolApply = 0;
constexpr uint32_t kPoolRuns = 1;

const char* name_of(const scheme_rec* rec) { return rec->slot != nullptr ? rec->slot->name : ""; }

const char* key_of(const scheme_entry& e) { return e.key != nullptr ? e.key : ""; }

const char* sort_text(const scheme_entry& e, uint32_t by_key) { return by_key ? key_of(e) : e.data; }

void entry_texts_free(scheme_entry* e) {
  if (e->owned & kSchemeOwnData) std::free(e->data);
  if (e->owned & kSchemeOwnStandard) std::free(e->standard);
  std::free(e->key);
  std::memset(static_cast<void*>(e), 0, sizeof *e);
}

// First index in entries[0, n) whose sort text is not below `text`.
uint32_t lower_bound_of(const scheme_entry* entries, uint32_t n, const char* text, uint32_t by_key) {
  uint32_t lo = 0;
  uint32_t hi = n;
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    if (std::strcmp(sort_text(entries[mid], by_key), text) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// The first entry of entries[0, n) (sorted) whose sort text equals text, or -1.
int32_t search_sorted(const scheme_entry* entries, uint32_t n, const char* text, uint32_t by_key) {
  uint32_t at = lower_bound_of(entries, n, text, by_key);
  if (at < n && std::strcmp(sort_text(entries[at], by_key), text) == 0) return static_cast<int32_t>(at);
  return -1;
}

// An uppercased heap copy of a text (the current locale's casing), with
// room for the longer form; a plain copy when the case mapping fails. NULL
// when out of memory.
char* upper_dup(context* ctx, const char* text) {
  size_t n = std::strlen(text);
  if (n > (UINT32_MAX - 1) / 3) return str_dup(text);
  auto size = static_cast<uint32_t>(3 * n + 1);
  auto* out = static_cast<char*>(np_malloc(size));
  if (out == nullptr) return nullptr;
  int32_t rc = case_upper_builtin(ctx, text, out, size);
  if (rc == TQ_ERR_NO_MEMORY) {
    std::free(out);
    return nullptr;
  }
  if (rc < 0) std::memcpy(out, text, n + 1);
  return out;
}

// Replaces an entry's data by its uppercased form, taking `upper` (made
// by upper_dup). The text never grows in place: a longer form is stored as
// a text of its own.
void entry_data_take_upper(scheme_entry* e, char* upper) {
  size_t old_len = std::strlen(e->data);
  size_t new_len = std::strlen(upper);
  if (new_len <= old_len) {
    std::memcpy(e->data, upper, new_len + 1);
    std::free(upper);
    return;
  }
  if (e->owned & kSchemeOwnData) std::free(e->data);
  e->data = upper;
  e->owned |= kSchemeOwnData;
}

// Match-code keys for every entry, under the scheme's match definition at
// its sensitivity, into made[0, count): the entries' own keys stay until
// every one is made.
int32_t keys_make(context* ctx, const scheme_rec* rec, char** made) {
  const scheme_match_ops* ops = scheme_match_ops_get();
  if (ops == nullptr) {
    TQ_REPORT(ctx, TQ_ERR_NOT_USABLE, 1720, name_of(rec));
    return TQ_ERR_NOT_USABLE;
  }
  int32_t rc = ops->defn_usable(ctx, rec->mdefn);
  if (rc < 0) {
    scheme_keys_refused(ctx, rc, "", name_of(rec), ctx->current_locale_code);
    return rc;
  }
  uint32_t sens = rec->sens;
  for (uint32_t i = 0; i < rec->count; ++i) {
    made[i] = static_cast<char*>(np_calloc(1, kSchemeKeySize));
    if (made[i] == nullptr) return TQ_ERR_NO_MEMORY;
    char* codes[1] = {made[i]};
    rc = ops->match_string_by_defn_index(ctx, rec->mdefn, &sens, 1, rec->entries[i].data, 0, codes, nullptr);
    if (rc < 0) return rc;
  }
  return 0;
}

// The uppercased data of every entry into made[0, count).
int32_t uppers_make(context* ctx, const scheme_rec* rec, char** made) {
  for (uint32_t i = 0; i < rec->count; ++i) {
    made[i] = upper_dup(ctx, rec->entries[i].data);
    if (made[i] == nullptr) return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

// The match code of a value, computed under the locale the keys were built
// with; the context's current locale is put back afterwards.
int32_t value_key(context* ctx, const scheme_rec* rec, const char* value, char* key) {
  const scheme_match_ops* ops = scheme_match_ops_get();
  if (ops == nullptr) {
    TQ_REPORT(ctx, TQ_ERR_NOT_USABLE, 1720, name_of(rec));
    return TQ_ERR_NOT_USABLE;
  }
  // The locale whose match definition computes the code must be loaded; no
  // other is needed.
  int32_t key_locale = 0;
  int32_t rc = 0;
  {
    const current_locale_kept saved(ctx);
    key_locale = rec->key_locale > 0 ? rec->key_locale : saved.code();
    if (key_locale != saved.code()) rc = locale_set(ctx, key_locale);
    char* codes[1] = {key};
    key[0] = '\0';
    uint32_t sens = rec->sens;
    if (rc >= 0) rc = ops->match_string_by_defn_index(ctx, rec->mdefn, &sens, 1, value, 0, codes, nullptr);
  }
  if (rc == TQ_ERR_NO_LOCALE) scheme_keys_refused(ctx, rc, "", name_of(rec), key_locale);
  return rc < 0 ? rc : 0;
}

// ---- Lookup and application -----------------------------------------------------------

// Of a group of entries with equal keys, the one for a value: the first
// whose data are the value byte for byte; else, of those equal to it
// without regard to case, the one most like it; else the one whose
// standard is most like it. A later entry wins only with a higher score.
uint32_t group_choose(context* ctx, const scheme_rec* rec, uint32_t first, uint32_t last, const char* value) {
  const scheme_entry* e = rec->entries;
  for (uint32_t i = first; i <= last; ++i) {
    if (std::strcmp(e[i].data, value) == 0) return i;
  }
  int64_t best = -1;
  double best_score = -1.0;
  for (uint32_t i = first; i <= last; ++i) {
    if (np_uchar_icomp(e[i].data, value) != 0) continue;
    double score = str_similarity(ctx, 1, e[i].data, value);
    if (score > best_score) {
      best_score = score;
      best = i;
    }
  }
  if (best >= 0) return static_cast<uint32_t>(best);
  best = first;
  best_score = -1.0;
  for (uint32_t i = first; i <= last; ++i) {
    double score = str_similarity(ctx, 0, e[i].standard, value);
    if (score > best_score) {
      best_score = score;
      best = i;
    }
  }
  return static_cast<uint32_t>(best);
}

bool is_remove(const char* standard) {
  return std::strcmp(standard, "//Remove") == 0 || std::strcmp(standard, "//remove") == 0;
}

// Looks the search text up and writes the standards of the entries found
// into outs (each cap bytes): the entry alone, or with duplicates kept its
// whole group, or one entry chosen from its group. A standard "%" gives no
// output; "//Remove" an empty one. *produced: the outputs written.
void lookup(context* ctx, const scheme_rec* rec, uint32_t flags, const char* search, const char* value, uint32_t nout,
            uint32_t cap, char** outs, uint32_t* produced) {
  *produced = 0;
  uint32_t by_key = (flags & kSchemeMatchKeyed) ? 1 : 0;
  int32_t hit = search_sorted(rec->entries, rec->count, search, by_key);
  if (hit < 0) return;
  const scheme_entry* e = rec->entries;
  auto first = static_cast<uint32_t>(hit);
  uint32_t last = first;
  uint32_t group = e[first].group;
  if (group != 0) {
    while (first > 0 && e[first - 1].group == group) --first;
    while (last + 1 < rec->count && e[last + 1].group == group) ++last;
    if (!(flags & kSchemeDuplicates)) first = last = group_choose(ctx, rec, first, last, value);
  }
  for (uint32_t i = first; i <= last && *produced < nout; ++i) {
    const char* standard = e[i].standard;
    if (std::strcmp(standard, "%") == 0) continue;
    char* out = outs[*produced];
    if (is_remove(standard)) {
      out[0] = '\0';
    } else {
      strio_copy_noted(ctx, "a scheme's standard", out, standard, cap);
    }
    *produced += 1;
  }
}

// Casing can lengthen an output (a sharp s titled or uppercased, a dotted
// capital I lowercased outside Turkish): one that no longer fits is cut,
// and the call tells it.
void output_case(context* ctx, uint32_t flags, char* text, uint32_t cap) {
  uint32_t whole = 0;
  if (flags & kSchemeOutProper) {
    whole = case_title_current_locale(ctx, text, cap);
  } else if (flags & kSchemeOutLower) {
    whole = case_lower_current_locale(ctx, text, cap);
  } else if (flags & kSchemeOutUpper) {
    whole = case_upper_current_locale(ctx, text, cap);
  }
  if (whole > cap - 1) strio_note_inside_cut(ctx, "a scheme's cased output", std::strlen(text), whole);
}

// Applies the scheme to a whole value, or to a span of words of an element
// application (span 1: not trimmed). Without a hit the first output holds
// the value unchanged (*count 1, *found 0).
int32_t phrase_apply(context* ctx, const scheme_rec* rec, uint32_t flags, const char* value, uint32_t span,
                     uint32_t nout, uint32_t cap, char** outs, uint32_t* count, int32_t* found) {
  *count = 0;
  *found = 0;
  char text[kValueSize];
  str_copy_bounded(text, value, sizeof text);
  // Data of a scheme that keeps white space keep it, so the value does too.
  if (!span && !(rec->flags & kSchemeNoTrim)) np_uchar_trim(text, sizeof text);
  const char* search = text;
  char key[kSchemeKeySize];
  char upper[kUpperSize];
  if (flags & kSchemeMatchKeyed) {
    int32_t rc = value_key(ctx, rec, value, key);
    if (rc < 0) return rc;
    search = key;
  } else if (flags & kSchemeCaseInsensitive) {
    int32_t rc = case_upper_builtin(ctx, text, upper, sizeof upper);
    if (rc == TQ_ERR_NO_MEMORY) return rc;
    if (rc == 0) search = upper;
  }
  uint32_t produced = 0;
  lookup(ctx, rec, flags, search, text, nout, cap, outs, &produced);
  if (produced == 0) {
    // The caller's buffer may be smaller than the value. A span of an
    // element application is no output of the call: not found, it is
    // passed over.
    if (span) {
      str_copy_bounded(outs[0], value, cap);
    } else {
      strio_copy_noted(ctx, "a scheme's output", outs[0], value, cap);
    }
    *count = 1;
    return 0;
  }
  *found = 1;
  *count = produced;
  for (uint32_t i = 0; i < produced; ++i) {
    np_uchar_trim(outs[i], cap);
    output_case(ctx, flags, outs[i], cap);
  }
  return 0;
}

// Appends a piece to an output text after one blank (none when the output
// is empty); a piece that does not fit is left out, an empty one adds
// nothing.
void piece_append(context* ctx, char* out, uint32_t cap, const char* piece) {
  size_t plen = std::strlen(piece);
  if (plen == 0) return;
  size_t len = std::strlen(out);
  size_t need = len + (len > 0 ? 1 : 0) + plen;
  if (need > cap - 1) {
    // The word is left out whole; the call tells that the output lost it.
    // Later pieces may be left out too, or still fit: how long the whole
    // output would be is not known here.
    strio_note_inside_cut(ctx, "a scheme's output", static_cast<uint32_t>(len), kWholeUnknown);
    return;
  }
  if (len > 0) out[len++] = ' ';
  std::memcpy(out + len, piece, plen + 1);
}

// A pool block of pointer slots, given back at the end of the scope.
struct pool_block {
  scheme_pool* pool = nullptr;
  char** slots = nullptr;
  int32_t take(context* ctx, uint32_t which) {
    if (ctx->scheme_scratch == nullptr) return TQ_ERR_ARGUMENT;
    pool = &ctx->scheme_scratch->pools[which];
    void* block = nullptr;
    int32_t rc = scheme_pool_block_take(pool, &block);
    if (rc != 0) {
      pool = nullptr;
      return rc;
    }
    slots = static_cast<char**>(block);
    return 0;
  }
  ~pool_block() {
    if (pool != nullptr) (void)scheme_pool_block_return(pool);
  }
};

// n empty texts of cap bytes from the context's text arena, their
// addresses in slots; given back at the end of the scope.
struct text_set {
  scheme_text_arena* arena = nullptr;
  scheme_text_mark mark{};
  int32_t make(context* ctx, char** slots, uint32_t n, uint32_t cap) {
    if (ctx->scheme_scratch == nullptr) return TQ_ERR_ARGUMENT;
    char* block = nullptr;
    int32_t rc = scheme_text_take(&ctx->scheme_scratch->texts, static_cast<size_t>(n) * cap, &block, &mark);
    if (rc != 0) return rc;
    arena = &ctx->scheme_scratch->texts;
    for (uint32_t i = 0; i < n; ++i) {
      slots[i] = block + static_cast<size_t>(i) * cap;
      slots[i][0] = '\0';
    }
    return 0;
  }
  ~text_set() {
    if (arena != nullptr) scheme_text_give_back(arena, mark);
  }
};

// The words of a chop, freed at the end of the scope.
struct chopped {
  word_list list{};
  bool made = false;
  ~chopped() {
    if (made) wordlist_free(&list);
  }
};

int32_t chop(context* ctx, const scheme_rec* rec, const char* text, chopped* out) {
  int32_t handle = rec->chopper >= 0 ? rec->chopper : kSchemeNoChopper;
  out->made = true;
  return chop_run(ctx, handle, text, &out->list);
}

// The words from..to joined by single blanks; a word that would take the
// text past 1,024 bytes is left out.
void span_join(const word_list* list, uint32_t from, uint32_t to, char* span) {
  span[0] = '\0';
  size_t len = 0;
  for (uint32_t w = from; w <= to; ++w) {
    const char* word = wordlist_word_at(list, static_cast<int32_t>(w))->text;
    size_t wlen = std::strlen(word);
    size_t need = len + (len > 0 ? 1 : 0) + wlen;
    if (need > kSchemeValueMax) continue;
    if (len > 0) span[len++] = ' ';
    std::memcpy(span + len, word, wlen + 1);
    len += wlen;
  }
}

// Continues the outputs with the standards of a run. One standard: every
// output gets it. Several: each output present is repeated once per
// standard, in order, and each copy continued with its standard; copies
// beyond the outputs available are left out.
void outputs_continue(context* ctx, char** outs, uint32_t* n, uint32_t nout, uint32_t cap, char** run,
                      uint32_t run_count, char** next) {
  if (run_count == 1) {
    for (uint32_t i = 0; i < *n; ++i) piece_append(ctx, outs[i], cap, run[0]);
    return;
  }
  uint32_t made = 0;
  for (uint32_t i = 0; i < *n && made < nout; ++i) {
    for (uint32_t j = 0; j < run_count && made < nout; ++j) {
      std::memcpy(next[made], outs[i], std::strlen(outs[i]) + 1);
      piece_append(ctx, next[made], cap, run[j]);
      ++made;
    }
  }
  for (uint32_t i = 0; i < made; ++i) std::memcpy(outs[i], next[i], std::strlen(next[i]) + 1);
  *n = made;
}

// Applies an element scheme: the value is chopped into words and, from each
// word on, the longest run of words the scheme holds is replaced by its
// standard. Only the first 64 words are looked up; the words after them
// are kept as they are.
int32_t element_apply(context* ctx, const scheme_rec* rec, uint32_t flags, const char* value, uint32_t nout,
                      uint32_t cap, char** outs, uint32_t* count, int32_t* found) {
  *count = 0;
  *found = 0;
  chopped words;
  int32_t rc = chop(ctx, rec, value, &words);
  if (rc < 0) return rc;
  uint32_t word_count = wordlist_word_count(&words.list);
  uint32_t used = std::min(word_count, kSchemeMaxWords);

  // The standards of a run, and the copies made when a run has several.
  pool_block run_slots;
  rc = run_slots.take(ctx, kPoolRuns);
  if (rc != 0) return rc;
  pool_block next_slots;
  if (nout > 1) {
    rc = next_slots.take(ctx, kPoolRuns);
    if (rc != 0) return rc;
  }
  char** run = run_slots.slots;
  char** next = next_slots.slots;
  text_set run_texts;
  rc = run_texts.make(ctx, run, nout, cap);
  if (rc != 0) return rc;
  text_set next_texts;
  if (nout > 1) {
    rc = next_texts.make(ctx, next, nout, cap);
    if (rc != 0) return rc;
  }

  uint32_t n = 1;
  outs[0][0] = '\0';
  int32_t replaced = 0;
  // Words no run took are appended once a run has been replaced: until
  // then the output may yet be the value itself, and a word that would not
  // fit must not be told as a cut of an output that is not given.
  uint32_t waiting = 0;
  auto words_append = [&](uint32_t from, uint32_t to) {
    for (uint32_t w = from; w < to; ++w) {
      const char* word = wordlist_word_at(&words.list, static_cast<int32_t>(w))->text;
      for (uint32_t i = 0; i < n; ++i) piece_append(ctx, outs[i], cap, word);
    }
  };
  char span[kValueSize];
  uint32_t start = 0;
  while (start < used) {
    bool hit = false;
    for (uint32_t end = used; end-- > start;) {
      span_join(&words.list, start, end, span);
      uint32_t run_count = 0;
      int32_t run_found = 0;
      rc = phrase_apply(ctx, rec, flags, span, 1, nout, cap, run, &run_count, &run_found);
      if (rc < 0) return rc;
      if (run_found) {
        words_append(waiting, start);
        outputs_continue(ctx, outs, &n, nout, cap, run, run_count, next);
        replaced += 1;
        start = end + 1;
        waiting = start;
        hit = true;
        break;
      }
    }
    if (!hit) start += 1;
  }
  if (replaced == 0) {
    strio_copy_noted(ctx, "a scheme's output", outs[0], value, cap);
    n = 1;
  } else {
    words_append(waiting, word_count);
  }
  for (uint32_t i = 0; i < n; ++i) np_uchar_trim(outs[i], cap);
  *count = n;
  *found = replaced;
  return 0;
}

// Chops an output again and rebuilds it with its words in byte order.
int32_t rechop(context* ctx, const scheme_rec* rec, char* text, uint32_t cap) {
  chopped words;
  int32_t rc = chop(ctx, rec, text, &words);
  if (rc < 0) return rc;
  rc = wordlist_merge_by_offset(ctx, &words.list);
  if (rc < 0) return rc;
  char rebuilt[kWordTextSize];
  wordlist_surface_text(rebuilt, &words.list, 0, static_cast<int32_t>(wordlist_word_count(&words.list)));
  str_copy_bounded(text, rebuilt, cap);
  return 0;
}

}  // namespace

// ---- Scratch ---------------------------------------------------------------------------------

void scheme_pool_init(context* ctx, scheme_pool* pool) {
  (void)ctx;
  if (pool != nullptr) std::memset(static_cast<void*>(pool), 0, sizeof *pool);
}

int32_t scheme_pool_block_take(scheme_pool* pool, void** block) {
  if (pool == nullptr || block == nullptr) return TQ_ERR_ARGUMENT;
  *block = nullptr;
  if (pool->in_use == pool->page_count * kSchemePoolPageBlocks) {
    auto* page = static_cast<char*>(np_calloc(kSchemePoolPageBlocks, kSchemePoolBlockSize));
    if (page == nullptr) return TQ_ERR_NO_MEMORY;
    auto* pages = static_cast<char**>(np_realloc(pool->pages, sizeof(char*) * (pool->page_count + 1)));
    if (pages == nullptr) {
      std::free(page);
      return TQ_ERR_NO_MEMORY;
    }
    pool->pages = pages;
    pool->pages[pool->page_count] = page;
    pool->page_count += 1;
  }
  char* page = pool->pages[pool->in_use / kSchemePoolPageBlocks];
  char* at = page + static_cast<size_t>(pool->in_use % kSchemePoolPageBlocks) * kSchemePoolBlockSize;
  std::memset(at, 0, kSchemePoolBlockSize);
  pool->in_use += 1;
  *block = at;
  return 0;
}

int32_t scheme_pool_block_return(scheme_pool* pool) {
  if (pool == nullptr || pool->in_use == 0) return TQ_ERR_ARGUMENT;
  pool->in_use -= 1;
  return 0;
}

void scheme_pool_free(context* ctx, scheme_pool* pool) {
  (void)ctx;
  if (pool == nullptr) return;
  for (uint32_t i = 0; i < pool->page_count; ++i) std::free(pool->pages[i]);
  std::free(pool->pages);
  std::memset(static_cast<void*>(pool), 0, sizeof *pool);
}

int32_t scheme_text_take(scheme_text_arena* arena, size_t bytes, char** room, scheme_text_mark* mark) {
  *room = nullptr;
  if (arena->count > 0) {
    scheme_text_chunk& c = arena->chunks[arena->current];
    *mark = {arena->current, c.used};
    if (c.size - c.used >= bytes) {
      *room = c.data + c.used;
      c.used += bytes;
      return 0;
    }
  } else {
    *mark = {0, 0};
  }
  // The next chunk (unused: texts are given back in order), made or made
  // large enough now. An empty current chunk is replaced in place.
  uint32_t next = arena->count == 0 || arena->chunks[arena->current].used == 0 ? arena->current : arena->current + 1;
  if (next >= arena->count) {
    auto* grown =
        static_cast<scheme_text_chunk*>(np_realloc(arena->chunks, sizeof(scheme_text_chunk) * (next + 1)));
    if (grown == nullptr) return TQ_ERR_NO_MEMORY;
    arena->chunks = grown;
    for (uint32_t i = arena->count; i <= next; ++i) arena->chunks[i] = scheme_text_chunk{};
    arena->count = next + 1;
  }
  scheme_text_chunk& c = arena->chunks[next];
  if (c.size < bytes) {
    constexpr size_t kChunkMin = 64 * 1024;
    size_t size = bytes > kChunkMin ? bytes : kChunkMin;
    auto* data = static_cast<char*>(big_block_alloc(size, false));
    if (data == nullptr) return TQ_ERR_NO_MEMORY;
    big_block_free(c.data);
    c.data = data;
    c.size = size;
  }
  c.used = bytes;
  arena->current = next;
  *room = c.data;
  return 0;
}

void scheme_text_give_back(scheme_text_arena* arena, const scheme_text_mark& mark) {
  if (arena->count == 0) return;
  // Chunks taken after the mark are empty again.
  for (uint32_t i = mark.chunk + 1; i <= arena->current && i < arena->count; ++i) arena->chunks[i].used = 0;
  arena->current = mark.chunk;
  arena->chunks[mark.chunk].used = mark.used;
}

int32_t scheme_scratch_create(context* ctx) {
  if (ctx == nullptr) return TQ_ERR_ARGUMENT;
  auto* scratch = static_cast<scheme_scratch*>(np_calloc(1, sizeof(scheme_scratch)));
  if (scratch == nullptr) return TQ_ERR_NO_MEMORY;
  for (scheme_pool& pool : scratch->pools) scheme_pool_init(ctx, &pool);
  ctx->scheme_scratch = scratch;
  return 0;
}

void scheme_scratch_free(context* ctx) {
  if (ctx == nullptr || ctx->scheme_scratch == nullptr) return;
  for (scheme_pool& pool : ctx->scheme_scratch->pools) scheme_pool_free(ctx, &pool);
  scheme_text_arena& texts = ctx->scheme_scratch->texts;
  for (uint32_t i = 0; i < texts.count; ++i) big_block_free(texts.chunks[i].data);
  std::free(texts.chunks);
  std::free(ctx->scheme_scratch);
  ctx->scheme_scratch = nullptr;
}

// ---- Matching ------------------------------------------------------------------------------

void scheme_keys_refused(context* ctx, int32_t rc, const char* mdefn_name, const char* scheme_name,
                         int32_t locale_code) {
  if (rc != TQ_ERR_NO_LOCALE) {
    TQ_REPORT(ctx, rc, 93, mdefn_name, scheme_name);
  } else if (locale_code > 0) {
    TQ_REPORT(ctx, rc, 1722, scheme_name, locale_code);
  } else {
    TQ_REPORT(ctx, rc, 1723, scheme_name);
  }
}

void scheme_match_ops_set(const scheme_match_ops* ops) { g_match_ops.store(ops, std::memory_order_release); }

const scheme_match_ops* scheme_match_ops_get() { return g_match_ops.load(std::memory_order_acquire); }

// ---- Records and entries ----------------------------------------------------------------------

scheme_rec* scheme_rec_new() {
  auto* rec = static_cast<scheme_rec*>(np_calloc(1, sizeof(scheme_rec)));
  if (rec == nullptr) return nullptr;
  vault_info_clear(&rec->vault);
  locale_info_clear(&rec->locale);
  rec->chopper = kSchemeNoChopper;
  rec->mdefn = -1;
  rec->key_locale = -1;
  return rec;
}

void scheme_entries_free(context* ctx, scheme_rec* rec) {
  (void)ctx;
  if (rec == nullptr) return;
  for (uint32_t i = 0; i < rec->count; ++i) entry_texts_free(&rec->entries[i]);
  std::free(rec->entries);
  rec->entries = nullptr;
  rec->count = 0;
  rec->capacity = 0;
  rec->sorted = 0;
  std::free(rec->text_block);
  rec->text_block = nullptr;
  rec->text_size = 0;
}

void scheme_rec_delete(context* ctx, scheme_rec* rec) {
  if (rec == nullptr) return;
  scheme_entries_free(ctx, rec);
  if (rec->chopper >= 0) (void)rsrc_unref(ctx, kRsrcChopper, rec->chopper);
  std::free(rec);
}

int32_t scheme_entries_reserve(scheme_rec* rec, uint32_t extra) {
  if (extra > kEntryCountMax || rec->count > kEntryCountMax - extra) return TQ_ERR_NO_MEMORY;
  uint32_t need = rec->count + extra;
  if (need <= rec->capacity) return 0;
  uint32_t capacity = rec->capacity != 0 ? rec->capacity : kSchemeInitialCapacity;
  while (capacity < need) capacity *= 2;
  auto* grown = static_cast<scheme_entry*>(np_realloc(rec->entries, sizeof(scheme_entry) * capacity));
  if (grown == nullptr) return TQ_ERR_NO_MEMORY;
  std::memset(static_cast<void*>(grown + rec->capacity), 0, sizeof(scheme_entry) * (capacity - rec->capacity));
  rec->entries = grown;
  rec->capacity = capacity;
  return 0;
}

int32_t scheme_entry_append_copy(scheme_rec* rec, const char* data, const char* standard) {
  int32_t rc = scheme_entries_reserve(rec, 1);
  if (rc != 0) return rc;
  char* d = str_dup(data != nullptr ? data : "");
  char* s = str_dup(standard != nullptr ? standard : "");
  if (d == nullptr || s == nullptr) {
    std::free(d);
    std::free(s);
    return TQ_ERR_NO_MEMORY;
  }
  scheme_entry& e = rec->entries[rec->count];
  e.data = d;
  e.standard = s;
  e.key = nullptr;
  e.group = 0;
  e.owned = kSchemeOwnData | kSchemeOwnStandard;
  rec->count += 1;
  return 0;
}

void scheme_entry_remove(scheme_rec* rec, uint32_t i) {
  if (i >= rec->count) return;
  entry_texts_free(&rec->entries[i]);
  std::memmove(static_cast<void*>(&rec->entries[i]), &rec->entries[i + 1],
               sizeof(scheme_entry) * (rec->count - i - 1));
  rec->count -= 1;
  std::memset(static_cast<void*>(&rec->entries[rec->count]), 0, sizeof(scheme_entry));
}

// ---- Order, groups, duplicates ---------------------------------------------------------------

void scheme_sort(scheme_rec* rec, uint32_t by_key) {
  std::stable_sort(rec->entries, rec->entries + rec->count, [by_key](const scheme_entry& a, const scheme_entry& b) {
    return std::strcmp(sort_text(a, by_key), sort_text(b, by_key)) < 0;
  });
  for (uint32_t i = 0; i < rec->count; ++i) rec->entries[i].group = 0;
  rec->sorted = 1;
}

void scheme_groups_number(scheme_rec* rec, uint32_t by_key) {
  uint32_t last = 0;
  if (rec->count > 0) rec->entries[0].group = 0;
  for (uint32_t i = 1; i < rec->count; ++i) {
    scheme_entry& prev = rec->entries[i - 1];
    scheme_entry& cur = rec->entries[i];
    if (std::strcmp(sort_text(prev, by_key), sort_text(cur, by_key)) == 0) {
      if (prev.group == 0) prev.group = ++last;
      cur.group = prev.group;
    } else {
      cur.group = 0;
    }
  }
}

uint32_t scheme_duplicates_remove(scheme_rec* rec, uint32_t by_key) {
  const bool ci = (rec->flags & kSchemeCaseInsensitive) != 0;
  // Entries that count as the same are brought next to each other; among
  // them the one added last comes last and stays.
  auto order = [by_key, ci](const scheme_entry& a, const scheme_entry& b) {
    int c = std::strcmp(sort_text(a, by_key), sort_text(b, by_key));
    if (c == 0 && by_key) c = std::strcmp(a.data, b.data);
    if (c == 0 && ci) c = std::strcmp(a.standard, b.standard);
    return c < 0;
  };
  std::stable_sort(rec->entries, rec->entries + rec->count, order);
  uint32_t kept = 0;
  uint32_t removed = 0;
  for (uint32_t i = 0; i < rec->count; ++i) {
    scheme_entry& e = rec->entries[i];
    e.group = 0;
    bool same_as_next = i + 1 < rec->count && !order(e, rec->entries[i + 1]) && !order(rec->entries[i + 1], e);
    if (same_as_next) {
      entry_texts_free(&e);
      removed += 1;
      continue;
    }
    if (kept != i) {
      rec->entries[kept] = e;
      std::memset(static_cast<void*>(&e), 0, sizeof e);
    }
    kept += 1;
  }
  rec->count = kept;
  rec->sorted = 1;
  return removed;
}

int32_t scheme_search_data(const scheme_rec* rec, const char* data) {
  if (rec == nullptr || data == nullptr) return -1;
  return search_sorted(rec->entries, rec->count, data, 0);
}

// ---- Preparation -------------------------------------------------------------------------------

int32_t scheme_prepare(context* ctx, scheme_rec* rec) {
  if (rec->flags & kSchemeEditState) return 0;
  // Whatever can fail is done first, into texts of its own: a scheme that
  // cannot be made ready keeps its entries as they were (one being
  // finalized stays in edit state, to be changed and tried again).
  // Only match-code keys need a loaded locale (the match definition is one
  // of the current locale's), and their operations ask for it themselves.
  // Uppercasing takes the special casing of the current locale's code,
  // which the context keeps whether or not another context has unloaded
  // the locale since, as every application does: a scheme without keys is
  // made ready as a context without a current locale makes it.
  const bool keyed = (rec->flags & kSchemeMatchKeyed) != 0;
  const bool upper = !keyed && (rec->flags & kSchemeCaseInsensitive) != 0;
  char** made = nullptr;
  if ((keyed || upper) && rec->count > 0) {
    made = static_cast<char**>(np_calloc(rec->count, sizeof(char*)));
    if (made == nullptr) return TQ_ERR_NO_MEMORY;
  }
  int32_t rc = keyed ? keys_make(ctx, rec, made) : upper ? uppers_make(ctx, rec, made) : 0;
  if (rc < 0) {
    for (uint32_t i = 0; made != nullptr && i < rec->count; ++i) std::free(made[i]);
    std::free(made);
    return rc;
  }
  if (keyed) {
    rec->key_locale = ctx->current_locale_code;
    for (uint32_t i = 0; i < rec->count; ++i) {
      std::free(rec->entries[i].key);
      rec->entries[i].key = made[i];
    }
    (void)scheme_duplicates_remove(rec, 1);
    scheme_groups_number(rec, 1);
  } else {
    for (uint32_t i = 0; upper && i < rec->count; ++i) entry_data_take_upper(&rec->entries[i], made[i]);
    if (rec->flags & (kSchemeCaseInsensitive | kSchemeDuplicates)) {
      scheme_sort(rec, 0);
      scheme_groups_number(rec, 0);
    }
  }
  std::free(made);
  // Entries are UTF-8 and sorted by their bytes, whatever the session's or
  // the locale's encoding.
  if (!rec->sorted) scheme_sort(rec, 0);
  return 0;
}

// ---- Lookup and application ------------------------------------------------------------------

int32_t scheme_standard_get_by_data(context* ctx, const scheme_rec* rec, const char* data, const char** standard) {
  if (standard != nullptr) *standard = nullptr;
  if (rec == nullptr || data == nullptr) return 0;
  char* upper = nullptr;
  char local[kUpperSize];
  const char* text = data;
  if (rec->flags & kSchemeCaseInsensitive) {
    // A value of the usual size is uppercased on the stack.
    if (std::strlen(data) <= kSchemeValueMax) {
      int32_t rc = case_upper_builtin(ctx, data, local, sizeof local);
      if (rc == TQ_ERR_NO_MEMORY) return 0;
      text = rc < 0 ? data : local;
    } else {
      upper = upper_dup(ctx, data);
      if (upper == nullptr) return 0;
      text = upper;
    }
  }
  int32_t hit = -1;
  if ((rec->flags & kSchemeMatchKeyed) || !rec->sorted) {
    // Entries in key order, or not sorted yet: every entry is looked at.
    for (uint32_t i = 0; i < rec->count && hit < 0; ++i) {
      if (std::strcmp(rec->entries[i].data, text) == 0) hit = static_cast<int32_t>(i);
    }
  } else {
    hit = scheme_search_data(rec, text);
  }
  std::free(upper);
  if (hit < 0) return 0;
  if (standard != nullptr) *standard = rec->entries[hit].standard;
  return 1;
}

namespace {

// The application itself, on checked arguments: writes outputs [0, *n) and
// nothing else of the caller's; *n and *hits only on success.
int32_t apply_steps(context* ctx, const scheme_rec* rec, const char* value, uint32_t nout, uint32_t out_size,
                    uint32_t rechop_flag, uint32_t convert, char** outputs, uint32_t* written, int32_t* hits_out,
                    int64_t flags_override) {
  const uint32_t io_flags = convert ? kStrioConvert : 0;
  const uint32_t term = strio_terminator_for(ctx, io_flags);
  if (rec->flags & kSchemeEditState) return TQ_ERR_EDIT_MODE;
  if (value == nullptr) return 0;

  uint32_t flags = rec->flags;
  if (flags_override >= 0) {
    flags = (flags & ~kSchemeOverridable) | (static_cast<uint32_t>(flags_override) & kSchemeOverridable);
  }
  char in[kValueSize];
  int32_t in_rc = strio_in_1024(ctx, value, in, io_flags | kStrioValue);
  if (in_rc < 0) return in_rc;

  const uint32_t text_max = std::min(out_size - term, kSchemeOutputMax);
  const uint32_t cap = text_max + 1;
  pool_block slots;
  int32_t rc = slots.take(ctx, kPoolApply);
  if (rc != 0) return rc;
  text_set texts;
  rc = texts.make(ctx, slots.slots, nout, cap);
  if (rc != 0) return rc;
  char** outs = slots.slots;

  uint32_t n = 0;
  int32_t hits = 0;
  if (flags & kSchemeElement) {
    rc = element_apply(ctx, rec, flags, in, nout, cap, outs, &n, &hits);
  } else {
    rc = phrase_apply(ctx, rec, flags, in, 0, nout, cap, outs, &n, &hits);
  }
  if (rc < 0) return rc;
  if (rechop_flag) {
    for (uint32_t i = 0; i < n; ++i) {
      rc = rechop(ctx, rec, outs[i], cap);
      if (rc < 0) return rc;
    }
  }
  int32_t warning = 0;
  for (uint32_t i = 0; i < n; ++i) {
    rc = strio_out(ctx, outs[i], outputs[i], out_size - term, io_flags);
    if (rc < 0) return rc;
    if (rc > 0) warning = rc;
  }
  *written = n;
  *hits_out = hits;
  return in_rc > 0 ? in_rc : warning;
}

}  // namespace

// The outputs are cleared, and filled, once the application is done: a run
// refused the write hold on the way (a match definition prepared for keys,
// a chopper loaded on first use) leaves them as they were, since the run
// again may fail before it would clear them (the scheme unloaded in
// between), as a single-threaded call failing there leaves them. Any other
// failure leaves them cleared.
int32_t scheme_apply(context* ctx, const scheme_rec* rec, const char* value, uint32_t nout, uint32_t out_size,
                     uint32_t rechop_flag, uint32_t convert, char** outputs, uint32_t* count, int32_t* found,
                     int64_t flags_override) {
  if (count != nullptr) *count = 0;
  if (found != nullptr) *found = 0;
  if (ctx == nullptr || rec == nullptr || outputs == nullptr || nout == 0) return TQ_ERR_ARGUMENT;
  if (nout > kSchemeMaxOutputs) nout = kSchemeMaxOutputs;
  const uint32_t term = strio_terminator_for(ctx, convert ? kStrioConvert : 0);
  if (out_size < term) return TQ_ERR_ARGUMENT;
  for (uint32_t i = 0; i < nout; ++i) {
    if (outputs[i] == nullptr) return TQ_ERR_ARGUMENT;
  }
  uint32_t n = 0;
  int32_t hits = 0;
  const int32_t rc =
      apply_steps(ctx, rec, value, nout, out_size, rechop_flag, convert, outputs, &n, &hits, flags_override);
  if (rc < 0) {
    if (!call_refused(ctx)) {
      for (uint32_t i = 0; i < nout; ++i) strio_out_clear_n(ctx, outputs[i], out_size);
    }
    return rc;
  }
  for (uint32_t i = n; i < nout; ++i) strio_out_clear_n(ctx, outputs[i], out_size);
  if (count != nullptr) *count = n;
  if (found != nullptr) *found = hits;
  return rc;
}

}  // namespace tq

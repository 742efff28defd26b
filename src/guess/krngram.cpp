#include "guess/krngram.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "core/krcaseloc.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "guess/krgcase.h"
#include "platform/nputf8.h"

namespace tq {

// Keys of up to four code points are compared and hashed as two words
// laid over their entry's code points, low half first.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr uint32_t kInitialSlots = 64;
constexpr uint32_t kTextBuffer = 1025;
constexpr uint32_t kStampMax = 255;
// Texts longer than the road's (a regex result of 1,027 bytes) are
// counted every time.
constexpr uint32_t kMemoText = 1028;
constexpr uint32_t kMemoLang = 8;

bool key_equal(const ngram_profile* p, const ngram_entry& e, const ngram_key& k) {
  if (e.n != k.n) return false;
  if (k.n <= kNgramInlineCodes) {
    uint64_t w[2];
    std::memcpy(w, e.key, sizeof w);
    return ((w[0] ^ k.words[0]) | (w[1] ^ k.words[1])) == 0;
  }
  return std::memcmp(p->keys.data() + e.key[0], k.full, sizeof(int32_t) * k.n) == 0;
}

uint32_t entry_hash(const ngram_profile* p, const ngram_entry& e) {
  ngram_key k;
  ngram_key_make(ngram_entry_key(p, e), e.n, &k);
  return k.hash;
}

// A slot: in the high word the key's hash with its low byte replaced by
// the stamp of the profile when the slot was filled, in the low word the
// entry number. A slot of another stamp (0 among them) is empty.
uint32_t slot_tag(uint32_t hash, uint32_t stamp) { return (hash & 0xffffff00u) | stamp; }
uint64_t slot_word(uint32_t tag, uint32_t entry) { return (static_cast<uint64_t>(tag) << 32) | entry; }

// The slot holding the key, or the empty slot where it would go. Inlined:
// it is the inner step of every add and lookup.
[[gnu::always_inline]] inline uint32_t slot_of(const ngram_profile* p, const ngram_key& k) {
  const uint32_t mask = static_cast<uint32_t>(p->slots.size()) - 1;
  const uint32_t tag = slot_tag(k.hash, p->stamp);
  const uint64_t* slots = p->slots.data();
  uint32_t s = k.hash & mask;
  for (;;) {
    const uint64_t v = slots[s];
    const uint32_t high = static_cast<uint32_t>(v >> 32);
    if (high == tag && key_equal(p, p->entries[static_cast<uint32_t>(v)], k)) return s;
    if ((high & 0xffu) != p->stamp) return s;
    s = (s + 1) & mask;
  }
}

bool slot_empty(const ngram_profile* p, uint32_t s) {
  return (static_cast<uint32_t>(p->slots[s] >> 32) & 0xffu) != p->stamp;
}

// Doubles the index (or makes the first one) and places every entry again.
void grow_slots(ngram_profile* p) {
  const size_t size = p->slots.empty() ? kInitialSlots : p->slots.size() * 2;
  std::vector<uint64_t> slots(size, 0);  // may throw; the profile is unchanged then
  const uint32_t mask = static_cast<uint32_t>(size) - 1;
  for (uint32_t i = 0; i < p->entries.size(); ++i) {
    const uint32_t hash = entry_hash(p, p->entries[i]);
    uint32_t s = hash & mask;
    while (slots[s] != 0) s = (s + 1) & mask;
    slots[s] = slot_word(slot_tag(hash, p->stamp), i);
  }
  p->slots.swap(slots);
}

uint32_t saturating_add(uint32_t a, uint32_t b) { return a > UINT32_MAX - b ? UINT32_MAX : a + b; }

bool ascii_space(int32_t c) { return c == ' ' || (c >= 9 && c <= 13); }

void iterator_detach(ngram_iterator* it) {
  ngram_profile* p = it->profile;
  if (p == nullptr) return;
  if (it->link_prev != nullptr) {
    it->link_prev->link_next = it->link_next;
  } else {
    p->iterators = it->link_next;
  }
  if (it->link_next != nullptr) it->link_next->link_prev = it->link_prev;
  it->link_next = it->link_prev = nullptr;
  it->profile = nullptr;
}

}  // namespace

// What ngram_profile_count_text counted: the text, the settings that decide
// its n-grams, and the profile's generation and total just after, which any
// later clear or add changes.
struct ngram_text_memo {
  bool valid = false;
  uint32_t generation = 0;
  uint32_t total = 0;
  uint32_t options = 0;
  uint32_t window = 0;
  bool special_casing = false;
  char casing[kMemoLang] = {};
  uint32_t length = 0;
  char text[kMemoText];
  ngram_key keys[kNgramTextCodes];  // of the entries, whose count stays below the text's code points
};

namespace {

bool memo_holds(const ngram_profile* p, const ngram_text_memo& m, const char* casing, const char* text) {
  if (!m.valid || m.generation != p->generation || m.total != p->total || p->state != kNgramCounting) return false;
  if (m.options != p->options || m.window != p->window) return false;
  if (m.special_casing != (casing != nullptr)) return false;
  if (casing != nullptr && std::strcmp(m.casing, casing) != 0) return false;
  // Equal through the memo's terminator: the same text, and no byte past
  // the caller's terminator is read.
  return std::strncmp(m.text, text, m.length + 1) == 0;
}

void memo_set(const ngram_profile* p, ngram_text_memo* m, const char* casing, const char* text) {
  const size_t length = strnlen(text, kMemoText);
  m->valid = length < kMemoText && (casing == nullptr || std::strlen(casing) < kMemoLang);
  if (!m->valid) return;
  m->generation = p->generation;
  m->total = p->total;
  m->options = p->options;
  m->window = p->window;
  m->special_casing = casing != nullptr;
  if (casing != nullptr) std::strcpy(m->casing, casing);
  m->length = static_cast<uint32_t>(length);
  std::memcpy(m->text, text, length + 1);
}

}  // namespace

// ---- Profiles -------------------------------------------------------------------------------

int32_t ngram_profile_create(context*, ngram_profile** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = new (std::nothrow) ngram_profile;
  return *out == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

void ngram_profile_free(context*, ngram_profile* profile) {
  if (profile == nullptr) return;
  while (profile->iterators != nullptr) iterator_detach(profile->iterators);
  delete profile->memo;
  delete profile;
}

void ngram_profile_clear(context*, ngram_profile* profile) {
  if (profile == nullptr) return;
  // A new stamp empties every slot; only when the stamps run out are the
  // slots zeroed, so that no slot of an old stamp can read as filled.
  if (++profile->stamp > kStampMax) {
    std::fill(profile->slots.begin(), profile->slots.end(), 0);
    profile->stamp = 1;
  }
  profile->entries.clear();
  profile->keys.clear();
  profile->total = 0;
  profile->state = kNgramCounting;
  ++profile->generation;
}

uint32_t ngram_long_key_hash(const int32_t* codes, uint32_t n) {
  uint64_t h = n;
  for (uint32_t i = 0; i < n; ++i) h = (h ^ static_cast<uint32_t>(codes[i])) * 0x9e3779b97f4a7c15ull;
  h ^= h >> 32;
  h *= 0x94d049bb133111ebull;
  h ^= h >> 29;
  return static_cast<uint32_t>(h);
}

int32_t ngram_profile_add_key(ngram_profile* p, const ngram_key& key, uint32_t weight, ngram_entry** entry,
                              bool* fresh) {
  try {
    // At most half the slots are filled, so that a miss ends soon.
    if (p->slots.empty() || (p->entries.size() + 1) * 2 > p->slots.size()) grow_slots(p);
    const uint32_t s = slot_of(p, key);
    if (!slot_empty(p, s)) {
      ngram_entry& e = p->entries[static_cast<uint32_t>(p->slots[s])];
      e.count = saturating_add(e.count, weight);
      p->total = saturating_add(p->total, 1);
      *entry = &e;
      *fresh = false;
      return 0;
    }
    const uint32_t key_at = static_cast<uint32_t>(p->keys.size());
    if (key.n > kNgramInlineCodes) p->keys.insert(p->keys.end(), key.full, key.full + key.n);
    try {
      p->entries.emplace_back();
    } catch (...) {
      p->keys.resize(key_at);
      throw;
    }
    ngram_entry& e = p->entries.back();
    std::memcpy(e.key, key.words, sizeof key.words);
    if (key.n > kNgramInlineCodes) {
      e.key[0] = static_cast<int32_t>(key_at);
      e.key[1] = e.key[2] = e.key[3] = 0;
    }
    e.n = key.n;
    e.count = weight;
    e.logp = 0.0;
    p->slots[s] = slot_word(slot_tag(key.hash, p->stamp), static_cast<uint32_t>(p->entries.size() - 1));
    p->total = saturating_add(p->total, 1);
    *entry = &e;
    *fresh = true;
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

int32_t ngram_profile_add(ngram_profile* p, const int32_t* codes, uint32_t n, uint32_t weight) {
  if (p == nullptr || codes == nullptr) return TQ_ERR_ARGUMENT;
  if (n == 0) return 0;
  ngram_key key;
  ngram_key_make(codes, n, &key);
  ngram_entry* e = nullptr;
  bool fresh = false;
  return ngram_profile_add_key(p, key, weight, &e, &fresh);
}

const ngram_entry* ngram_profile_find(const ngram_profile* p, const int32_t* codes, uint32_t n) {
  if (p == nullptr || codes == nullptr || n == 0) return nullptr;
  ngram_key key;
  ngram_key_make(codes, n, &key);
  return ngram_profile_find_key(p, key);
}

const ngram_entry* ngram_profile_find_key(const ngram_profile* p, const ngram_key& key) {
  if (p == nullptr || p->slots.empty() || key.n == 0) return nullptr;
  const uint32_t s = slot_of(p, key);
  return slot_empty(p, s) ? nullptr : &p->entries[static_cast<uint32_t>(p->slots[s])];
}

void ngram_profile_prefetch_entry(const ngram_profile* p, const ngram_key& key) {
  if (p->slots.empty()) return;
  const uint32_t mask = static_cast<uint32_t>(p->slots.size()) - 1;
  const uint32_t tag = slot_tag(key.hash, p->stamp);
  for (uint32_t s = key.hash & mask;; s = (s + 1) & mask) {
    const uint64_t v = p->slots[s];
    const uint32_t high = static_cast<uint32_t>(v >> 32);
    if (high == tag) {
      __builtin_prefetch(p->entries.data() + static_cast<uint32_t>(v));
      return;
    }
    if ((high & 0xffu) != p->stamp) return;
  }
}

int32_t ngram_profile_lookup(const ngram_profile* p, const int32_t* codes, uint32_t n, int32_t* found,
                             double* value) {
  if (p == nullptr || found == nullptr || value == nullptr) return TQ_ERR_ARGUMENT;
  *found = 0;
  const ngram_entry* e = ngram_profile_find(p, codes, n);
  if (e == nullptr) return 0;
  if (p->state == kNgramCounting) {
    *value = e->count;
  } else if (p->state == kNgramFinalized) {
    *value = e->logp;
  } else {
    return -1;
  }
  *found = 1;
  return 0;
}

int32_t ngram_text_codes(context* ctx, uint32_t options, const char* text, int32_t* codes, uint32_t* len_out) {
  *len_out = 0;
  char cased[kTextBuffer];
  const char* cursor = text;
  if ((options & kNgramKeepCase) == 0) {
    uchar_buf_copy(cased, text, sizeof cased);
    guess_upper_current_locale(ctx, cased, sizeof cased);
    cursor = cased;
  }
  uint32_t len = 0;
  if ((options & kNgramBookends) != 0) codes[len++] = kNgramStartMarker;
  const bool squash = (options & kNgramSquashSpace) != 0;
  uint32_t kept = 0;
  uint32_t run = 0;
  while (kept < kNgramMaxCodes) {
    int32_t c = static_cast<unsigned char>(*cursor);
    if (c < 0x80) {
      ++cursor;
    } else if (uchar_get(&cursor, &c) != 0) {
      return TQ_ERR_INVALID_CHAR;
    }
    if (c == 0) break;
    const bool space = c < 0x80 ? ascii_space(c) : np_uchar_isspace(c) != 0;
    run = space ? run + 1 : 0;
    if (squash && space) {
      if (run > 1) continue;
      c = ' ';
    }
    codes[len++] = c;
    ++kept;
  }
  if ((options & kNgramBookends) != 0) codes[len++] = kNgramEndMarker;
  *len_out = len;
  return 0;
}

int32_t ngram_profile_update_text(context* ctx, ngram_profile* p, const char* text, uint32_t weight) {
  if (p == nullptr || text == nullptr) return TQ_ERR_ARGUMENT;
  int32_t codes[kNgramTextCodes];
  uint32_t len = 0;
  if (int32_t rc = ngram_text_codes(ctx, p->options, text, codes, &len); rc != 0) return rc;
  const uint32_t n = p->window;
  if (n == 0 || len < n) return 0;
  for (uint32_t i = 0; i + n <= len; ++i) {
    if (int32_t rc = ngram_profile_add(p, codes + i, n, weight); rc != 0) return rc;
  }
  return 0;
}

int32_t ngram_profile_count_text(context* ctx, ngram_profile* p, const char* text, const ngram_key** keys) {
  *keys = nullptr;
  if (p == nullptr || text == nullptr) return TQ_ERR_ARGUMENT;
  // Only uppercasing takes anything from the context.
  const char* casing = (p->options & kNgramKeepCase) == 0 ? guess_casing_lang(ctx) : nullptr;
  ngram_text_memo* m = p->memo;
  if (m != nullptr && memo_holds(p, *m, casing, text)) {
    *keys = m->keys;
    return 0;
  }
  if (m == nullptr) {
    m = p->memo = new (std::nothrow) ngram_text_memo;  // once
    if (m == nullptr) return TQ_ERR_NO_MEMORY;
  }
  m->valid = false;
  ngram_profile_clear(ctx, p);
  if (int32_t rc = ngram_profile_update_text(ctx, p, text, 1); rc != 0) return rc;
  // A text gives at most one n-gram per code point.
  for (size_t j = 0; j < p->entries.size() && j < kNgramTextCodes; ++j) {
    const ngram_entry& e = p->entries[j];
    ngram_key_make(ngram_entry_key(p, e), e.n, &m->keys[j]);
  }
  memo_set(p, m, casing, text);
  *keys = m->keys;
  return 0;
}

int32_t ngram_profile_finalize(context*, ngram_profile* p) {
  if (p == nullptr) return TQ_ERR_ARGUMENT;
  if (p->state == kNgramFinalized) return 0;
  if (p->state != kNgramCounting) return -1;
  const size_t count = p->entries.size();
  try {
    // d: how many distinct n-grams share each entry's prefix of floor(n / 2)
    // code points. Entries sorted by prefix form runs of equal prefixes.
    const uint32_t half = p->window / 2;
    auto prefix_len = [&](const ngram_entry& e) { return std::min(half, e.n); };
    auto prefix_less = [&](uint32_t a, uint32_t b) {
      const ngram_entry& x = p->entries[a];
      const ngram_entry& y = p->entries[b];
      const int32_t* kx = ngram_entry_key(p, x);
      const int32_t* ky = ngram_entry_key(p, y);
      return std::lexicographical_compare(kx, kx + prefix_len(x), ky, ky + prefix_len(y));
    };
    std::vector<uint32_t> order(count);
    for (uint32_t i = 0; i < count; ++i) order[i] = i;
    std::sort(order.begin(), order.end(), prefix_less);
    std::vector<uint32_t> shared(count);
    for (size_t i = 0; i < count;) {
      size_t j = i + 1;
      while (j < count && !prefix_less(order[i], order[j])) ++j;
      for (size_t k = i; k < j; ++k) shared[order[k]] = static_cast<uint32_t>(j - i);
      i = j;
    }
    size_t best_count = static_cast<size_t>(static_cast<double>(count) * 0.001);
    if (best_count < 1) best_count = 1;
    std::vector<double> best(best_count, kNgramNoScore);
    std::vector<double> values(count);
    for (size_t i = 0; i < count; ++i) {
      const double c = static_cast<double>(p->entries[i].count);
      const double d = static_cast<double>(shared[i]);
      const double value = std::log((c + 1.0) / (d + 256.0));
      values[i] = value;
      if (value > best.back()) {
        // After the last element not below it; the rest move down.
        size_t at = 0;
        while (at < best_count && best[at] >= value) ++at;
        for (size_t k = best_count - 1; k > at; --k) best[k] = best[k - 1];
        best[at] = value;
      }
    }
    double sum = 0.0;
    for (double b : best) sum += b;
    const double score = sum / static_cast<double>(best_count);
    for (size_t i = 0; i < count; ++i) p->entries[i].logp = values[i];
    p->score = score;
    p->state = kNgramFinalized;
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
  return 0;
}

// ---- Iterators ------------------------------------------------------------------------------

int32_t ngram_iterator_create(context*, ngram_iterator** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = new (std::nothrow) ngram_iterator;
  return *out == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

void ngram_iterator_free(context*, ngram_iterator* iter) {
  if (iter == nullptr) return;
  iterator_detach(iter);
  delete iter;
}

void ngram_iterator_init(ngram_profile* profile, ngram_iterator* iter) {
  if (iter == nullptr) return;
  if (iter->profile != profile) {
    iterator_detach(iter);
    if (profile != nullptr) {
      iter->profile = profile;
      iter->link_next = profile->iterators;
      if (profile->iterators != nullptr) profile->iterators->link_prev = iter;
      profile->iterators = iter;
    }
  }
  iter->generation = profile != nullptr ? profile->generation : 0;
  iter->next = 0;
}

uint32_t ngram_iterator_done(const ngram_iterator* iter) {
  const ngram_profile* p = iter != nullptr ? iter->profile : nullptr;
  if (p == nullptr || p->generation != iter->generation) return 1;
  return iter->next >= p->entries.size() ? 1 : 0;
}

int32_t ngram_iterator_step(ngram_iterator* iter, const ngram_entry** out) {
  if (iter == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  const ngram_profile* p = iter->profile;
  if (ngram_iterator_done(iter) != 0) return -1;
  if (p->state != kNgramCounting && p->state != kNgramFinalized) return -1;
  *out = &p->entries[iter->next++];
  return 0;
}

// ---- Exported operations --------------------------------------------------------------------

int32_t tqx_ngram_profile_create(context* ctx, ngram_profile** profile) {
  *profile = nullptr;
  return ngram_profile_create(ctx, profile);
}

int32_t tqx_ngram_profile_free(context* ctx, ngram_profile* profile) {
  ngram_profile_free(ctx, profile);
  return 0;
}

int32_t tqx_ngram_profile_clear(context* ctx, ngram_profile* profile) {
  ngram_profile_clear(ctx, profile);
  return 0;
}

int32_t tqx_ngram_profile_update(context* ctx, ngram_profile* profile, const char* data, uint32_t weight) {
  char text[kTextBuffer];
  const int32_t in = strio_in_1024(ctx, data, text, kStrioConvert | kStrioValue);
  if (in < 0) return in;
  const int32_t rc = ngram_profile_update_text(ctx, profile, text, weight);
  return rc != 0 ? rc : in;
}

int32_t tqx_ngram_profile_total_count_get(context*, ngram_profile* profile, uint32_t* count) {
  *count = profile->total;
  return 0;
}

int32_t tqx_ngram_profile_unique_count_get(context*, ngram_profile* profile, uint32_t* count) {
  *count = static_cast<uint32_t>(profile->entries.size());
  return 0;
}

int32_t tqx_ngram_profile_options_set(context*, ngram_profile* profile, uint32_t options) {
  profile->options = options;
  return 0;
}

int32_t tqx_ngram_profile_options_get(context*, ngram_profile* profile, uint32_t* options) {
  *options = profile->options;
  return 0;
}

int32_t tqx_ngram_profile_window_size_set(context*, ngram_profile* profile, uint32_t size) {
  profile->window = size;
  return 0;
}

int32_t tqx_ngram_iterator_create(context* ctx, ngram_iterator** iter) {
  *iter = nullptr;
  return ngram_iterator_create(ctx, iter);
}

int32_t tqx_ngram_iterator_free(context* ctx, ngram_iterator* iter) {
  ngram_iterator_free(ctx, iter);
  return 0;
}

int32_t tqx_ngram_iterator_init(context*, ngram_profile* profile, ngram_iterator* iter) {
  ngram_iterator_init(profile, iter);
  return 0;
}

int32_t tqx_ngram_iterator_next(context* ctx, ngram_iterator* iter, char* ngram, void* data) {
  const ngram_entry* e = nullptr;
  const ngram_profile* p = iter->profile;
  if (int32_t rc = ngram_iterator_step(iter, &e); rc != 0) return rc;
  // The key's own length, whatever the window is now.
  int32_t codes[kNgramMaxCodes + 3];
  const uint32_t n = std::min<uint32_t>(e->n, kNgramMaxCodes + 2);
  std::memcpy(codes, ngram_entry_key(p, *e), sizeof(int32_t) * n);
  codes[n] = 0;
  char text[1024];
  uchar_array_to_text(codes, text, sizeof text);
  if (p->state == kNgramFinalized) {
    std::memcpy(data, &e->logp, sizeof e->logp);
  } else {
    std::memcpy(data, &e->count, sizeof e->count);
  }
  return strio_out_sized(ctx, text, ngram, kTextOutSize, kStrioConvert);
}

int32_t tqx_ngram_iterator_done(context*, ngram_iterator* iter, uint32_t* done) {
  *done = ngram_iterator_done(iter);
  return 0;
}

}  // namespace tq

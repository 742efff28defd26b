#include "guess/krngram.h"

#include <algorithm>
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

namespace {

constexpr uint32_t kInitialSlots = 64;
constexpr uint32_t kTextBuffer = 1025;

uint32_t key_hash(const int32_t* codes, uint32_t n) {
  uint32_t h = 2166136261u ^ n;
  for (uint32_t i = 0; i < n; ++i) {
    h ^= static_cast<uint32_t>(codes[i]);
    h *= 16777619u;
    h ^= h >> 15;
  }
  return h;
}

bool key_equal(const ngram_profile* p, const ngram_entry& e, const int32_t* codes, uint32_t n) {
  return e.n == n && std::memcmp(p->keys.data() + e.key_at, codes, sizeof(int32_t) * n) == 0;
}

// The slot holding the key, or the empty slot where it would go.
uint32_t slot_of(const ngram_profile* p, const int32_t* codes, uint32_t n, uint32_t hash) {
  const uint32_t mask = static_cast<uint32_t>(p->slots.size()) - 1;
  uint32_t s = hash & mask;
  for (;;) {
    const uint32_t v = p->slots[s];
    if (v == 0) return s;
    const ngram_entry& e = p->entries[v - 1];
    if (e.hash == hash && key_equal(p, e, codes, n)) return s;
    s = (s + 1) & mask;
  }
}

// Doubles the index (or makes the first one) and places every entry again.
void grow_slots(ngram_profile* p) {
  const size_t size = p->slots.empty() ? kInitialSlots : p->slots.size() * 2;
  std::vector<uint32_t> slots(size, 0);  // may throw; the profile is unchanged then
  const uint32_t mask = static_cast<uint32_t>(size) - 1;
  for (uint32_t i = 0; i < p->entries.size(); ++i) {
    uint32_t s = p->entries[i].hash & mask;
    while (slots[s] != 0) s = (s + 1) & mask;
    slots[s] = i + 1;
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

// ---- Profiles -------------------------------------------------------------------------------

int32_t ngram_profile_create(context*, ngram_profile** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = new (std::nothrow) ngram_profile;
  return *out == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

void ngram_profile_free(context*, ngram_profile* profile) {
  if (profile == nullptr) return;
  while (profile->iterators != nullptr) iterator_detach(profile->iterators);
  delete profile;
}

void ngram_profile_clear(context*, ngram_profile* profile) {
  if (profile == nullptr) return;
  // Only the slots in use are emptied, so a warm profile clears in time
  // proportional to what it held.
  if (!profile->slots.empty()) {
    const uint32_t mask = static_cast<uint32_t>(profile->slots.size()) - 1;
    for (const ngram_entry& e : profile->entries) {
      uint32_t s = e.hash & mask;
      while (profile->slots[s] != 0) {
        profile->slots[s] = 0;
        s = (s + 1) & mask;
      }
    }
  }
  profile->entries.clear();
  profile->keys.clear();
  profile->total = 0;
  profile->state = kNgramCounting;
  ++profile->generation;
}

int32_t ngram_profile_add(ngram_profile* p, const int32_t* codes, uint32_t n, uint32_t weight) {
  if (p == nullptr || codes == nullptr) return TQ_ERR_ARGUMENT;
  if (n == 0) return 0;
  try {
    if (p->slots.empty() || (p->entries.size() + 1) * 4 > p->slots.size() * 3) grow_slots(p);
    const uint32_t hash = key_hash(codes, n);
    const uint32_t s = slot_of(p, codes, n, hash);
    if (p->slots[s] == 0) {
      ngram_entry e{static_cast<uint32_t>(p->keys.size()), n, hash, 0, 0.0};
      p->keys.insert(p->keys.end(), codes, codes + n);
      try {
        p->entries.push_back(e);
      } catch (...) {
        p->keys.resize(e.key_at);
        throw;
      }
      p->slots[s] = static_cast<uint32_t>(p->entries.size());
    }
    ngram_entry& e = p->entries[p->slots[s] - 1];
    e.count = saturating_add(e.count, weight);
    p->total = saturating_add(p->total, 1);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  return 0;
}

const ngram_entry* ngram_profile_find(const ngram_profile* p, const int32_t* codes, uint32_t n) {
  if (p == nullptr || p->slots.empty() || n == 0) return nullptr;
  const uint32_t v = p->slots[slot_of(p, codes, n, key_hash(codes, n))];
  return v == 0 ? nullptr : &p->entries[v - 1];
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

int32_t ngram_profile_update_text(context* ctx, ngram_profile* p, const char* text, uint32_t weight) {
  if (p == nullptr || text == nullptr) return TQ_ERR_ARGUMENT;
  char cased[kTextBuffer];
  const char* cursor = text;
  if ((p->options & kNgramKeepCase) == 0) {
    uchar_buf_copy(cased, text, sizeof cased);
    guess_upper_current_locale(ctx, cased, sizeof cased);
    cursor = cased;
  }
  int32_t codes[kNgramMaxCodes + 2];
  uint32_t len = 0;
  if ((p->options & kNgramBookends) != 0) codes[len++] = kNgramStartMarker;
  const bool squash = (p->options & kNgramSquashSpace) != 0;
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
  if ((p->options & kNgramBookends) != 0) codes[len++] = kNgramEndMarker;
  const uint32_t n = p->window;
  if (n == 0 || len < n) return 0;
  for (uint32_t i = 0; i + n <= len; ++i) {
    if (int32_t rc = ngram_profile_add(p, codes + i, n, weight); rc != 0) return rc;
  }
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
      return std::lexicographical_compare(p->keys.begin() + x.key_at, p->keys.begin() + x.key_at + prefix_len(x),
                                          p->keys.begin() + y.key_at, p->keys.begin() + y.key_at + prefix_len(y));
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
  const int32_t in = strio_in_1024(ctx, data, text, kStrioConvert);
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
  return strio_out_1028(ctx, text, ngram, kStrioConvert);
}

int32_t tqx_ngram_iterator_done(context*, ngram_iterator* iter, uint32_t* done) {
  *done = ngram_iterator_done(iter);
  return 0;
}

}  // namespace tq

// Character n-gram profiles: counts of the runs of n consecutive code points
// of texts and, once finalized, their smoothed log-probabilities with a
// summary score. A language definition keeps one finalized profile as its
// model; each context keeps one scratch profile for the text it scores; the
// exported family lets authoring tools build profiles and walk them.
//
// A profile keeps its n-grams in insertion order (the iteration order) in
// one array and an open-addressed index of entry numbers over it. Keys of
// up to four code points (every language model's) sit inside their entry,
// so a lookup reads one slot and one entry; longer keys go to a side array.
// A slot carries most of its key's hash and the profile's slot stamp: a
// clear raises the stamp, which empties every slot at once, so clearing
// and refilling a warm profile costs nothing per slot and allocates
// nothing. Counts saturate at 2^32 - 1 instead of wrapping.
//
// A profile that counts one text at a time (a context's scratch profile)
// remembers what it counted last: scoring the same text again under the
// same settings, as identifying a phrase among several definitions does,
// then finds its n-grams counted already.
//
// An iterator holds an entry number and the profile's generation, which a
// clear raises: stepping an iterator whose profile was cleared, or freed
// (the profile detaches its iterators), fails with -1 instead of reading
// entries that are gone.
#pragma once

#include <cstdint>
#include <vector>

#include "core/krcorvel.h"

struct tq_ngram_iterator;

namespace tq {

struct ngram_text_memo;

// Option bits of a profile.
inline constexpr uint32_t kNgramKeepCase = 0x1;
inline constexpr uint32_t kNgramBookends = 0x2;
inline constexpr uint32_t kNgramSquashSpace = 0x4;
inline constexpr uint32_t kNgramDefaultOptions = kNgramBookends | kNgramSquashSpace;
inline constexpr uint32_t kNgramDefaultWindow = 3;

// The code points that mark the start and the end of a text.
inline constexpr int32_t kNgramStartMarker = 2;
inline constexpr int32_t kNgramEndMarker = 3;

// At most this many code points of a text are profiled (markers aside).
inline constexpr uint32_t kNgramMaxCodes = 256;
// The score of a profile that is not finalized, or holds no n-grams.
inline constexpr double kNgramNoScore = -9999999.0;

enum ngram_state : uint32_t { kNgramCounting = 0, kNgramFinalized = 1 };

// Code points a key holds inside its entry.
inline constexpr uint32_t kNgramInlineCodes = 4;

struct ngram_entry {
  // The code points, zero after the n-th, when n <= kNgramInlineCodes;
  // else key[0] is the first code point's place in the profile's key array
  // and the rest are 0.
  int32_t key[kNgramInlineCodes];
  uint32_t n;      // code points of the key
  uint32_t count;  // occurrences, weighted
  // Once finalized, the log-probability. While counting it is free for the
  // owner of the profile (scoring keeps the model's value of the n-gram in
  // it).
  double logp;
};

// An n-gram to add or look up, with its hash (every profile hashes alike).
struct ngram_key {
  uint64_t words[2];  // code points 0 and 1, 2 and 3 (low half first), zero after the n-th
  uint32_t n;
  uint32_t hash;
  const int32_t* full;  // all n code points
};

}  // namespace tq

struct tq_ngram_profile {
  tq_ngram_profile() = default;
  // It owns its memo and is linked from its iterators: never copied.
  tq_ngram_profile(const tq_ngram_profile&) = delete;
  tq_ngram_profile& operator=(const tq_ngram_profile&) = delete;

  std::vector<tq::ngram_entry> entries;  // insertion order
  std::vector<int32_t> keys;             // code points of the keys too long for their entries
  std::vector<uint64_t> slots;           // hash, stamp and entry number; size a power of two
  uint32_t stamp = 1;                    // slots of another stamp are empty; 1 .. 255
  uint32_t total = 0;                    // occurrences added, one per add whatever the weight
  uint32_t options = tq::kNgramDefaultOptions;
  uint32_t window = tq::kNgramDefaultWindow;
  uint32_t state = tq::kNgramCounting;
  double score = tq::kNgramNoScore;
  uint32_t generation = 0;                // raised by every clear
  tq_ngram_iterator* iterators = nullptr; // attached iterators
  tq::ngram_text_memo* memo = nullptr;    // what count_text counted last; made at its first call
};

struct tq_ngram_iterator {
  tq_ngram_profile* profile = nullptr;  // NULL: never initialised, or the profile was freed
  uint32_t generation = 0;
  uint32_t next = 0;                    // entry number of the next step
  tq_ngram_iterator* link_next = nullptr;
  tq_ngram_iterator* link_prev = nullptr;
};

namespace tq {

using ngram_profile = ::tq_ngram_profile;
using ngram_iterator = ::tq_ngram_iterator;

// ---- Profiles -------------------------------------------------------------------------

// A new empty profile with the defaults (options 6, window 3); -600.
int32_t ngram_profile_create(context* ctx, ngram_profile** out);
// Frees the profile and detaches its iterators; NULL is accepted.
void ngram_profile_free(context* ctx, ngram_profile* profile);
// Empties the profile for counting again; options, window and score stay.
void ngram_profile_clear(context* ctx, ngram_profile* profile);

// Adds the n-grams of a UTF-8 text with the weight: uppercased with the
// current locale's rules unless the profile keeps case, white space runs
// made one blank when squashing, at most 256 code points, the markers when
// it has bookends. -10000 for an undecodable character; -1 when an n-gram
// cannot be stored (what was added before stays). A window of 0 adds
// nothing.
int32_t ngram_profile_update_text(context* ctx, ngram_profile* profile, const char* text, uint32_t weight);
// Makes the profile hold the n-grams of the text alone, as a clear and an
// update with weight 1 would, unless the last count_text already counted
// exactly this text (byte for byte) under the profile's options and window
// and the same casing language, and nothing was added or cleared since;
// then the profile is left as it is. *keys is then the key of each entry,
// in order, until the profile changes. The codes of update_text, or -600;
// after a failure the next call counts again.
int32_t ngram_profile_count_text(context* ctx, ngram_profile* profile, const char* text, const ngram_key** keys);
// Adds one n-gram of n code points with the weight (count saturating);
// the total grows by one. -600 when it cannot be stored.
int32_t ngram_profile_add(ngram_profile* profile, const int32_t* codes, uint32_t n, uint32_t weight);
// The same for a made key; *entry is the n-gram's entry and *fresh whether
// the n-gram was new to the profile (both when the result is 0).
int32_t ngram_profile_add_key(ngram_profile* profile, const ngram_key& key, uint32_t weight, ngram_entry** entry,
                              bool* fresh);
// The entry of the n-gram, or NULL.
const ngram_entry* ngram_profile_find(const ngram_profile* profile, const int32_t* codes, uint32_t n);
const ngram_entry* ngram_profile_find_key(const ngram_profile* profile, const ngram_key& key);
// Hash of a key of more than kNgramInlineCodes code points.
uint32_t ngram_long_key_hash(const int32_t* codes, uint32_t n);

// The key of n code points (n > 0); the key refers to the codes. Keys of
// up to four code points hash as their two words.
inline void ngram_key_make(const int32_t* codes, uint32_t n, ngram_key* key) {
  const auto at = [&](uint32_t i) -> uint64_t { return i < n ? static_cast<uint32_t>(codes[i]) : 0u; };
  const uint64_t w0 = at(0) | at(1) << 32;
  const uint64_t w1 = at(2) | at(3) << 32;
  key->words[0] = w0;
  key->words[1] = w1;
  key->n = n;
  key->full = codes;
  if (n > kNgramInlineCodes) {
    key->hash = ngram_long_key_hash(codes, n);
    return;
  }
  uint64_t h = (w0 * 0x9e3779b97f4a7c15ull) ^ ((w1 + n) * 0xc2b2ae3d27d4eb4full);
  h ^= h >> 32;
  h *= 0x94d049bb133111ebull;
  h ^= h >> 29;
  key->hash = static_cast<uint32_t>(h);
}

// Lookups in a big profile wait for memory: a batch of them first asks
// for the slot where each key would be, then for the entry of the first
// slot whose hash matches, so that the lookups proper find them loaded.
inline void ngram_profile_prefetch(const ngram_profile* profile, const ngram_key& key) {
  if (!profile->slots.empty()) {
    __builtin_prefetch(profile->slots.data() + (key.hash & (profile->slots.size() - 1)));
  }
}
void ngram_profile_prefetch_entry(const ngram_profile* profile, const ngram_key& key);

// The code points of a text as update_text adds n-grams of them (cased,
// squashed, cut at 256, markers) under the options; *len of them. -10000
// for an undecodable character.
int32_t ngram_text_codes(context* ctx, uint32_t options, const char* text, int32_t* codes, uint32_t* len);
// Room ngram_text_codes needs.
inline constexpr uint32_t kNgramTextCodes = kNgramMaxCodes + 2;
// found 0 when absent; else 1, and the count (counting) or the
// log-probability (finalized). -1 for any other state.
int32_t ngram_profile_lookup(const ngram_profile* profile, const int32_t* codes, uint32_t n, int32_t* found,
                             double* value);
// Turns counts into log-probabilities ln((c + 1) / (d + 256)), d the number
// of distinct n-grams sharing the first floor(n / 2) code points, and sets
// the score to the mean of the best max(1, distinct / 1000) values. A
// finalized profile is left as it is. -600; the state changes only on
// success.
int32_t ngram_profile_finalize(context* ctx, ngram_profile* profile);

inline const int32_t* ngram_entry_key(const ngram_profile* profile, const ngram_entry& e) {
  return e.n <= kNgramInlineCodes ? e.key : profile->keys.data() + e.key[0];
}

// ---- Iterators ------------------------------------------------------------------------

int32_t ngram_iterator_create(context* ctx, ngram_iterator** out);
// Detaches and frees; NULL is accepted.
void ngram_iterator_free(context* ctx, ngram_iterator* iter);
void ngram_iterator_init(ngram_profile* profile, ngram_iterator* iter);
// 1 when there is no next entry (also for a stale iterator), else 0.
uint32_t ngram_iterator_done(const ngram_iterator* iter);
// The next entry, then advances; -1 when done, when the profile was
// cleared or freed since the iterator's init, or for a state that is
// neither counting nor finalized.
int32_t ngram_iterator_step(ngram_iterator* iter, const ngram_entry** out);

// ---- Exported operations -------------------------------------------------------------

int32_t tqx_ngram_profile_create(context* ctx, ngram_profile** profile);
int32_t tqx_ngram_profile_free(context* ctx, ngram_profile* profile);
int32_t tqx_ngram_profile_clear(context* ctx, ngram_profile* profile);
int32_t tqx_ngram_profile_update(context* ctx, ngram_profile* profile, const char* data, uint32_t weight);
int32_t tqx_ngram_profile_total_count_get(context* ctx, ngram_profile* profile, uint32_t* count);
int32_t tqx_ngram_profile_unique_count_get(context* ctx, ngram_profile* profile, uint32_t* count);
int32_t tqx_ngram_profile_options_set(context* ctx, ngram_profile* profile, uint32_t options);
int32_t tqx_ngram_profile_options_get(context* ctx, ngram_profile* profile, uint32_t* options);
int32_t tqx_ngram_profile_window_size_set(context* ctx, ngram_profile* profile, uint32_t size);
int32_t tqx_ngram_iterator_create(context* ctx, ngram_iterator** iter);
int32_t tqx_ngram_iterator_free(context* ctx, ngram_iterator* iter);
int32_t tqx_ngram_iterator_init(context* ctx, ngram_profile* profile, ngram_iterator* iter);
// The n-gram as text (session encoding, 1,028 bytes) and its count (a
// uint32_t) or, for a finalized profile, its log-probability (a double).
int32_t tqx_ngram_iterator_next(context* ctx, ngram_iterator* iter, char* ngram, void* data);
int32_t tqx_ngram_iterator_done(context* ctx, ngram_iterator* iter, uint32_t* done);

}  // namespace tq

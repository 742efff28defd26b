// Character n-gram profiles: counts of the runs of n consecutive code points
// of texts and, once finalized, their smoothed log-probabilities with a
// summary score. A language definition keeps one finalized profile as its
// model; each context keeps one scratch profile for the text it scores; the
// exported family lets authoring tools build profiles and walk them.
//
// A profile keeps its n-grams in insertion order (the iteration order) in
// one array, their code points in another, and an open-addressed index of
// entry numbers over both, so clearing and refilling a warm profile
// allocates nothing. Counts saturate at 2^32 - 1 instead of wrapping.
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

struct ngram_entry {
  uint32_t key_at;  // first code point in the profile's key array
  uint32_t n;       // code points of the key
  uint32_t hash;
  uint32_t count;   // occurrences, weighted
  double logp;      // once finalized
};

}  // namespace tq

struct tq_ngram_profile {
  std::vector<tq::ngram_entry> entries;  // insertion order
  std::vector<int32_t> keys;             // the entries' code points, back to back
  std::vector<uint32_t> slots;           // entry number + 1, 0 for empty; size a power of two
  uint32_t total = 0;                    // occurrences added, one per add whatever the weight
  uint32_t options = tq::kNgramDefaultOptions;
  uint32_t window = tq::kNgramDefaultWindow;
  uint32_t state = tq::kNgramCounting;
  double score = tq::kNgramNoScore;
  uint32_t generation = 0;                // raised by every clear
  tq_ngram_iterator* iterators = nullptr; // attached iterators
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
// Adds one n-gram of n code points with the weight (count saturating);
// the total grows by one. -1 when it cannot be stored.
int32_t ngram_profile_add(ngram_profile* profile, const int32_t* codes, uint32_t n, uint32_t weight);
// The entry of the n-gram, or NULL.
const ngram_entry* ngram_profile_find(const ngram_profile* profile, const int32_t* codes, uint32_t n);
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
  return profile->keys.data() + e.key_at;
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

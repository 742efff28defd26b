#include "resources/krwlst.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/krstr.h"
#include "platform/nputf8.h"

namespace tq {

namespace {

word_rec* piece_at(const vec* v, int32_t i) { return static_cast<word_rec*>(vec_get(v, i)); }

// Appends text to out (a kWordTextSize buffer holding `used` bytes), whole
// characters only. Returns the new length; once a piece did not fit whole
// the buffer counts as full, so that no later, shorter piece is appended
// after the gap and the text is always a true beginning of the whole.
size_t append_text(char* out, size_t used, const char* text) {
  if (used >= kWordTextSize - 1) return used;
  const uint32_t room = static_cast<uint32_t>(kWordTextSize - used);
  const size_t copied = np_uchar_bufcopy(out + used, text, room);
  return text[copied] != '\0' ? kWordTextSize - 1 : used + copied;
}

int32_t list_make(context* ctx, vec* v) {
  int32_t rc = vec_init_owning(ctx != nullptr ? ctx->small_pool : nullptr, v);
  if (rc != 0) return rc;
  vec_free_fn_set(v, wordlist_word_release);
  return 0;
}

// A copy of one piece, from the source piece's pool, with its start moved.
int32_t piece_copy(context* ctx, const word_rec* src, int32_t shift, vec* into) {
  word_rec* copy = nullptr;
  int32_t rc = wordlist_word_take(ctx, src->pool, &copy, src->start - shift);
  if (rc != 0) return rc;
  std::memcpy(copy->text, src->text, sizeof copy->text);
  copy->length = src->length;
  copy->char_length = src->char_length;
  rc = vec_push(into, copy);
  if (rc != 0) wordlist_word_release(copy);
  return rc;
}

// A piece in order of start: 0 word, 1 separator, 2 dropped span.
struct ordered_piece {
  word_rec* rec;
  int kind;
};

// Visits the pieces of a list in order of start; on equal starts the word
// comes before the separator and the separator before the dropped span.
// Words that start beyond the value are never taken. false when pieces
// remain that cannot be placed (those before them were visited). Keeps
// nothing: the engines that slice windows out of a value (extraction)
// rebuild texts without allocating.
template <typename Visit>
bool pieces_in_order(const word_list* list, Visit&& visit) {
  const vec* lists[3] = {&list->words, &list->separators, &list->dropped};
  uint32_t next[3] = {0, 0, 0};
  uint32_t total = 0;
  for (const vec* v : lists) total += vec_count(v);
  for (uint32_t done = 0; done < total; ++done) {
    int best = -1;
    int32_t best_start = 0;
    for (int k = 0; k < 3; ++k) {
      if (next[k] >= vec_count(lists[k])) continue;
      const word_rec* r = piece_at(lists[k], static_cast<int32_t>(next[k]));
      if (k == 0 && r->start >= static_cast<int32_t>(kWordTextSize)) continue;
      if (best < 0 || r->start < best_start) {
        best = k;
        best_start = r->start;
      }
    }
    if (best < 0) return false;
    visit(ordered_piece{piece_at(lists[best], static_cast<int32_t>(next[best])), best});
    next[best] += 1;
  }
  return true;
}

// Rebuilds the list's text from its pieces: words and separators in order
// of start; empty when pieces cannot be placed.
void text_rebuild(word_list* list) {
  list->text[0] = '\0';
  size_t used = 0;
  const bool placed = pieces_in_order(list, [&](const ordered_piece& p) {
    if (p.kind != 2) used = append_text(list->text, used, p.rec->text);
  });
  if (!placed) list->text[0] = '\0';
}

}  // namespace

int32_t wordlist_init(context* ctx, word_list* list) {
  if (list == nullptr) return TQ_ERR_ARGUMENT;
  list->text[0] = '\0';
  list->words = vec{};
  list->separators = vec{};
  list->dropped = vec{};
  int32_t rc = list_make(ctx, &list->words);
  if (rc == 0) rc = list_make(ctx, &list->separators);
  if (rc == 0) rc = list_make(ctx, &list->dropped);
  if (rc < 0) {
    wordlist_free(list);
    return rc;
  }
  return 0;
}

int32_t wordlist_word_take(context* ctx, block_pool* pool, word_rec** out, int32_t start) {
  (void)ctx;
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  if (pool == nullptr || pool->block_size < sizeof(word_rec)) return TQ_ERR_NO_MEMORY;
  auto* rec = static_cast<word_rec*>(pool_block_take(pool));
  if (rec == nullptr) return TQ_ERR_NO_MEMORY;
  rec->text[0] = '\0';
  rec->start = start;
  rec->length = 0;
  rec->char_length = 0;
  rec->pool = pool;
  *out = rec;
  return 0;
}

void wordlist_word_release(void* record) {
  auto* rec = static_cast<word_rec*>(record);
  if (rec == nullptr || rec->pool == nullptr) return;
  pool_block_return(rec->pool, rec);
}

void wordlist_free(word_list* list) {
  if (list == nullptr) return;
  for (vec* v : {&list->words, &list->separators, &list->dropped}) {
    vec_free_fn_set(v, wordlist_word_release);
    vec_free(v);
  }
}

uint32_t wordlist_word_count(const word_list* list) { return list == nullptr ? 0 : vec_count(&list->words); }

const word_rec* wordlist_word_at(const word_list* list, int32_t i) {
  return list == nullptr ? nullptr : piece_at(&list->words, i);
}

const word_rec* wordlist_separator_at(const word_list* list, int32_t i) {
  return list == nullptr ? nullptr : piece_at(&list->separators, i);
}

const word_rec* wordlist_dropped_at(const word_list* list, int32_t i) {
  return list == nullptr ? nullptr : piece_at(&list->dropped, i);
}

int32_t wordlist_word_get(context* ctx, const word_list* list, int32_t i, char* out) {
  (void)ctx;
  const word_rec* w = wordlist_word_at(list, i);
  if (w == nullptr || out == nullptr) return TQ_ERR_INDEX;
  std::memcpy(out, w->text, kWordTextSize);
  out[kWordTextSize - 1] = '\0';
  return 0;
}

int32_t wordlist_copy(context* ctx, const word_list* src, word_list* dst) {
  if (src == nullptr || dst == nullptr) return TQ_ERR_ARGUMENT;
  int32_t rc = wordlist_init(ctx, dst);
  if (rc != 0) return rc;
  std::memcpy(dst->text, src->text, sizeof dst->text);
  dst->text[kWordTextSize - 1] = '\0';
  const vec* from[3] = {&src->words, &src->separators, &src->dropped};
  vec* into[3] = {&dst->words, &dst->separators, &dst->dropped};
  for (int k = 0; k < 3 && rc == 0; ++k) {
    for (uint32_t i = 0; i < vec_count(from[k]) && rc == 0; ++i) {
      rc = piece_copy(ctx, piece_at(from[k], static_cast<int32_t>(i)), 0, into[k]);
    }
  }
  if (rc != 0) wordlist_free(dst);
  return rc;
}

int32_t wordlist_slice_copy(context* ctx, const word_list* src, int32_t from, int32_t to, word_list* dst) {
  if (src == nullptr || dst == nullptr) return TQ_ERR_ARGUMENT;
  const int32_t count = static_cast<int32_t>(wordlist_word_count(src));
  if (from < 0 || to >= count || from > to) return TQ_ERR_INDEX;
  const word_rec* first = piece_at(&src->words, from);
  const word_rec* last = piece_at(&src->words, to);
  const int32_t lo = first->start;
  const int32_t hi = last->start + last->length;
  int32_t rc = wordlist_init(ctx, dst);
  if (rc != 0) return rc;
  for (int32_t i = from; i <= to && rc == 0; ++i) rc = piece_copy(ctx, piece_at(&src->words, i), lo, &dst->words);
  // Separators, then dropped spans, that start inside the words or right
  // after the last one; each list is in order, so its scan stops at the
  // first piece beyond.
  const vec* others[2] = {&src->separators, &src->dropped};
  vec* into[2] = {&dst->separators, &dst->dropped};
  for (int k = 0; k < 2 && rc == 0; ++k) {
    for (uint32_t i = 0; i < vec_count(others[k]) && rc == 0; ++i) {
      const word_rec* p = piece_at(others[k], static_cast<int32_t>(i));
      if (p->start > hi) break;
      if (p->start >= lo) rc = piece_copy(ctx, p, lo, into[k]);
    }
  }
  if (rc != 0) {
    wordlist_free(dst);
    return rc;
  }
  text_rebuild(dst);
  return 0;
}

int32_t wordlist_word_delete(context* ctx, word_list* list, int32_t i) {
  (void)ctx;
  if (list == nullptr) return TQ_ERR_ARGUMENT;
  if (i < 0 || static_cast<uint32_t>(i) >= vec_count(&list->words)) return TQ_ERR_INDEX;
  word_rec* gone = piece_at(&list->words, i);
  const int32_t s = gone->start;
  const int32_t length = gone->length;
  for (uint32_t k = static_cast<uint32_t>(i) + 1; k < vec_count(&list->words); ++k) {
    piece_at(&list->words, static_cast<int32_t>(k))->start -= length;
  }
  for (vec* v : {&list->separators, &list->dropped}) {
    for (uint32_t k = 0; k < vec_count(v); ++k) {
      word_rec* p = piece_at(v, static_cast<int32_t>(k));
      if (p->start > s) p->start -= length;
    }
  }
  vec_remove_value(&list->words, gone);
  wordlist_word_release(gone);
  return 0;
}

// The first piece of `v` (in order of start, as the chop makes them) that
// starts at `p` or later. A binary search: the text of a run of words deep
// in a long value is rebuilt for every run a casing scheme tries, and a
// scan from the value's first separator made that quadratic in its words.
namespace {
uint32_t first_from(const vec* v, int32_t p) {
  uint32_t lo = 0;
  uint32_t hi = vec_count(v);
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    if (piece_at(v, static_cast<int32_t>(mid))->start < p) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}
}  // namespace

void wordlist_surface_text(char* out, const word_list* list, int32_t from, int32_t to) {
  if (out == nullptr) return;
  out[0] = '\0';
  if (list == nullptr) return;
  if (from < 0) from = 0;
  const int32_t count = static_cast<int32_t>(wordlist_word_count(list));
  size_t used = 0;
  bool first = true;
  int32_t p = 0;
  for (int32_t i = from; i < to && i < count; ++i) {
    const word_rec* w = piece_at(&list->words, i);
    int32_t between = 0;
    if (first) {
      p = w->start;
      first = false;
    } else if (p < w->start) {
      // The pieces between the previous word and this one: separators give
      // their text, dropped spans only their length.
      for (uint32_t k = first_from(&list->separators, p); k < vec_count(&list->separators); ++k) {
        const word_rec* sep = piece_at(&list->separators, static_cast<int32_t>(k));
        if (sep->start > w->start) break;
        used = append_text(out, used, sep->text);
        between += sep->length;
      }
      for (uint32_t k = first_from(&list->dropped, p); k < vec_count(&list->dropped); ++k) {
        const word_rec* d = piece_at(&list->dropped, static_cast<int32_t>(k));
        if (d->start > w->start) break;
        between += d->length;
      }
    }
    used = append_text(out, used, w->text);
    p += w->length + between;
  }
}

void wordlist_surface_text_all(char* out, const word_list* list) {
  if (out == nullptr) return;
  out[0] = '\0';
  if (list == nullptr) return;
  const uint32_t seps = vec_count(&list->separators);
  const uint32_t words = vec_count(&list->words);
  size_t used = 0;
  if (seps > 0) {
    const word_rec* lead = piece_at(&list->separators, 0);
    // Only a separator ahead of every word leads the text.
    if (lead->start == 0 && (words == 0 || piece_at(&list->words, 0)->start > 0)) {
      used = append_text(out, used, lead->text);
    }
  }
  char inner[kWordTextSize];
  wordlist_surface_text(inner, list, 0, static_cast<int32_t>(words));
  used = append_text(out, used, inner);
  if (seps > 0 && words > 0) {
    const word_rec* trail = piece_at(&list->separators, static_cast<int32_t>(seps) - 1);
    if (trail->start > piece_at(&list->words, static_cast<int32_t>(words) - 1)->start) {
      append_text(out, used, trail->text);
    }
  }
}

int32_t wordlist_merge_by_offset(context* ctx, word_list* list) {
  (void)ctx;
  if (list == nullptr) return TQ_ERR_ARGUMENT;
  std::vector<ordered_piece> seq;
  seq.reserve(vec_count(&list->words) + vec_count(&list->separators) + vec_count(&list->dropped));
  if (!pieces_in_order(list, [&](const ordered_piece& p) { seq.push_back(p); })) return -603;
  // The word slots of the sequence keep their places; their occupants are
  // put in ascending byte order of their texts (equal texts keep their order).
  std::vector<word_rec*> occupants;
  for (const ordered_piece& p : seq) {
    if (p.kind == 0) occupants.push_back(p.rec);
  }
  std::stable_sort(occupants.begin(), occupants.end(),
                   [](const word_rec* a, const word_rec* b) { return std::strcmp(a->text, b->text) < 0; });
  size_t next_word = 0;
  for (ordered_piece& p : seq) {
    if (p.kind == 0) p.rec = occupants[next_word++];
  }
  // The lists keep their records and capacity; they are refilled in order,
  // so no push can fail.
  list->words.count = 0;
  list->separators.count = 0;
  list->dropped.count = 0;
  vec* lists[3] = {&list->words, &list->separators, &list->dropped};
  int32_t offset = 0;
  for (const ordered_piece& p : seq) {
    p.rec->start = offset;
    offset += p.rec->length;
    (void)vec_push(lists[p.kind], p.rec);
  }
  text_rebuild(list);
  return 0;
}

}  // namespace tq

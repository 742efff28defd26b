#include "parse/krmorph.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/krcaseloc.h"
#include "core/krstr.h"
#include "core/krvec.h"
#include "parse/krpsctx.h"
#include "resources/krchpr.h"
#include "resources/krctld.h"
#include "resources/krregx.h"
#include "resources/krvocb.h"
#include "platform/npmem.h"

namespace tq {

// ---- Options --------------------------------------------------------------------------

void morph_options_init(context* /*ctx*/, morph_options_rec* opts) {
  if (opts == nullptr) return;
  *opts = morph_options_rec{};
  category_init_number(&opts->numeric);
  opts->numeric_check = 1;
  opts->uppercase = 1;
  opts->chopper = -1;
}

int32_t morph_options_set(context* /*ctx*/, morph_options_rec* opts, int32_t norm_count, const rsrc_ref* norm,
                          cat_regexlib_entry* const* cat_entries, int32_t cat_count,
                          const default_category_list* defaults, uint32_t numeric_check, uint32_t uppercase,
                          int32_t chopper, int32_t vocab_count, const defn_vocab* vocabs) {
  if (opts == nullptr || norm_count < 0 || cat_count < 0 || vocab_count < 0) return TQ_ERR_ARGUMENT;
  if ((norm_count > 0 && norm == nullptr) || (cat_count > 0 && cat_entries == nullptr) ||
      (vocab_count > 0 && vocabs == nullptr)) {
    return TQ_ERR_ARGUMENT;
  }
  opts->norm_count = norm_count;
  opts->norm = norm;
  opts->cat_entries = cat_entries;
  opts->cat_count = cat_count;
  opts->defaults = defaults;
  opts->numeric_check = numeric_check;
  opts->uppercase = uppercase;
  opts->chopper = chopper;
  opts->vocab_count = vocab_count;
  opts->vocabs = vocabs;
  opts->set = 1;
  return 0;
}

void morph_options_release(context* ctx, morph_options_rec* opts) { morph_options_init(ctx, opts); }

// ---- Scratch ------------------------------------------------------------------------------

int32_t morph_scratch_create(context* /*ctx*/, morph_scratch** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  // The pool's first block is made on the first analysis, so a context that
  // never analyses pays only for the word buffers.
  *out = static_cast<morph_scratch*>(big_block_alloc(sizeof(morph_scratch), true));
  return *out == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

void morph_scratch_free(context* /*ctx*/, morph_scratch* scratch) {
  if (scratch == nullptr) return;
  mempool_free(&scratch->pool);
  big_block_free(scratch);
}

// ---- Analysed word lists --------------------------------------------------------------

namespace {

// Where a list's parts come from: a memory pool, or the heap.
struct awl_alloc {
  mempool* pool;

  void* get(uint32_t size, int32_t* rc) const {
    if (pool != nullptr) return mempool_alloc(pool, size, rc);
    void* p = np_calloc(1, size);
    *rc = p == nullptr ? TQ_ERR_NO_MEMORY : 0;
    return p;
  }
};

// A vector whose slots live in a memory pool: it grows by taking a larger
// slot array from the pool (the old one stays there until the pool is
// rewound), so it must never reach vec_push or vec_free.
int32_t pool_vec_make(mempool* pool, uint32_t capacity, vec** out) {
  int32_t rc = 0;
  auto* v = static_cast<vec*>(mempool_alloc(pool, sizeof(vec), &rc));
  if (v == nullptr) return rc != 0 ? rc : TQ_ERR_NO_MEMORY;
  *v = vec{};
  v->slots = static_cast<void**>(mempool_alloc(pool, capacity * sizeof(void*), &rc));
  if (v->slots == nullptr) return rc != 0 ? rc : TQ_ERR_NO_MEMORY;
  v->capacity = capacity;
  v->step = capacity;
  v->free_fn = vec_free_noop;
  *out = v;
  return 0;
}

int32_t pool_vec_push(mempool* pool, vec* v, void* element) {
  if (v->count == v->capacity) {
    const uint32_t capacity = v->capacity * 2;
    int32_t rc = 0;
    auto* slots = static_cast<void**>(mempool_alloc(pool, capacity * sizeof(void*), &rc));
    if (slots == nullptr) return rc != 0 ? rc : TQ_ERR_NO_MEMORY;
    std::memcpy(slots, v->slots, v->count * sizeof(void*));
    v->slots = slots;
    v->capacity = capacity;
    v->step = capacity;
  }
  v->slots[v->count++] = element;
  return 0;
}

// A heap vector, or a pool vector, of the given starting size.
int32_t awl_vec_make(const awl_alloc& a, uint32_t capacity, vec** out) {
  if (capacity == 0) capacity = 1;
  if (a.pool != nullptr) return pool_vec_make(a.pool, capacity, out);
  auto* v = static_cast<vec*>(np_calloc(1, sizeof(vec)));
  if (v == nullptr) return TQ_ERR_NO_MEMORY;
  if (vec_init(v, capacity) != 0) {
    std::free(v);
    return TQ_ERR_NO_MEMORY;
  }
  *out = v;
  return 0;
}

int32_t awl_vec_push(const awl_alloc& a, vec* v, void* element) {
  return a.pool != nullptr ? pool_vec_push(a.pool, v, element) : vec_push(v, element);
}

awl_side* side_of(const analysed_word_list* list) { return reinterpret_cast<awl_side*>(list->user_data); }

// An empty list with room for every word of a value, and its side block.
int32_t awl_make(const awl_alloc& a, analysed_word_list** out) {
  *out = nullptr;
  vec* list = nullptr;
  int32_t rc = awl_vec_make(a, kAwlMaxWords, &list);
  if (rc != 0) return rc;
  auto* side = static_cast<awl_side*>(a.get(sizeof(awl_side), &rc));
  if (side == nullptr) {
    if (a.pool == nullptr) {
      vec_free(list);
      std::free(list);
    }
    return rc != 0 ? rc : TQ_ERR_NO_MEMORY;
  }
  *side = awl_side{};
  side->pool = a.pool;
  vec_user_data_set(list, reinterpret_cast<uintptr_t>(side));
  *out = list;
  return 0;
}

// Appends {likelihood, category} to a word's vector, the entry made where
// the list lives.
int32_t entry_append(const awl_alloc& a, vec* word, int32_t likelihood, const category_rec* category) {
  int32_t rc = 0;
  auto* e = static_cast<cat_entry*>(a.get(sizeof(cat_entry), &rc));
  if (e == nullptr) return rc != 0 ? rc : TQ_ERR_NO_MEMORY;
  e->likelihood = likelihood;
  // Entries only read their category; the record stays its owner's.
  e->category = const_cast<category_rec*>(category);
  rc = awl_vec_push(a, word, e);
  if (rc != 0 && a.pool == nullptr) std::free(e);
  return rc;
}

}  // namespace

void morph_word_list_free(context* /*ctx*/, analysed_word_list* list, uint32_t release) {
  if (list == nullptr) return;
  awl_side* side = side_of(list);
  if (side != nullptr && side->pool != nullptr) {
    for (uint32_t i = 0; i < list->count; ++i) {
      auto* word = static_cast<vec*>(list->slots[i]);
      if (word != nullptr) word->count = 0;
    }
    list->count = 0;
    return;
  }
  for (uint32_t i = 0; i < list->count; ++i) {
    auto* word = static_cast<vec*>(list->slots[i]);
    if (word == nullptr) continue;
    for (uint32_t j = 0; j < word->count; ++j) {
      auto* e = static_cast<cat_entry*>(word->slots[j]);
      if (e == nullptr) continue;
      if (release) std::free(e->category);
      std::free(e);
    }
    word->count = 0;
    vec_free(word);
    std::free(word);
  }
  list->count = 0;
  if (side != nullptr) {
    for (char* text : side->texts) std::free(text);
    std::free(side);
  }
  vec_free(list);
  std::free(list);
}

int32_t morph_word_list_copy(context* ctx, mempool* pool, const analysed_word_list* src, analysed_word_list** out,
                             uint32_t deep) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  if (src == nullptr) return TQ_ERR_ARGUMENT;
  const awl_alloc a{pool};
  analysed_word_list* copy = nullptr;
  int32_t rc = awl_make(a, &copy);
  if (rc != 0) return rc;
  const awl_side* src_side = side_of(src);
  awl_side* side = side_of(copy);
  for (uint32_t i = 0; i < src->count && rc == 0; ++i) {
    const auto* word = static_cast<const vec*>(src->slots[i]);
    vec* target = nullptr;
    rc = awl_vec_make(a, vec_count(word), &target);
    if (rc != 0) break;
    rc = awl_vec_push(a, copy, target);
    if (rc != 0) {
      if (pool == nullptr) {
        vec_free(target);
        std::free(target);
      }
      break;
    }
    for (uint32_t j = 0; j < vec_count(word) && rc == 0; ++j) {
      const auto* e = static_cast<const cat_entry*>(word->slots[j]);
      const category_rec* category = e->category;
      if (deep && category != nullptr) {
        auto* dup = static_cast<category_rec*>(a.get(sizeof(category_rec), &rc));
        if (dup == nullptr) {
          rc = rc != 0 ? rc : TQ_ERR_NO_MEMORY;
          break;
        }
        category_copy(category, dup);
        rc = entry_append(a, target, e->likelihood, dup);
        if (rc != 0 && pool == nullptr) std::free(dup);
      } else {
        rc = entry_append(a, target, e->likelihood, category);
      }
    }
    if (rc == 0 && src_side != nullptr && i < kAwlMaxWords && src_side->texts[i] != nullptr) {
      side->texts[i] = static_cast<char*>(a.get(kAwlTextSize, &rc));
      if (side->texts[i] == nullptr) {
        rc = rc != 0 ? rc : TQ_ERR_NO_MEMORY;
      } else {
        std::memcpy(side->texts[i], src_side->texts[i], kAwlTextSize);
      }
    }
  }
  if (rc != 0) {
    morph_word_list_free(ctx, copy, deep);
    return rc;
  }
  *out = copy;
  return 0;
}

// ---- Morph info ------------------------------------------------------------------------

int32_t morph_info_create(morph_analyzer_info** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = new (std::nothrow) morph_analyzer_info();
  return *out == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

void morph_info_free(morph_analyzer_info* info) {
  if (info == nullptr) return;
  morph_word_list_free(nullptr, info->analysed, 1);
  delete info;
}

int32_t morph_info_word_index_adjust(context* /*ctx*/, const morph_analyzer_info* info, int32_t n) {
  if (info == nullptr || n < 0) return -1;
  // Positions are recorded as words survive, so a run of deleted words
  // before position n is skipped whole.
  const uint32_t words = static_cast<uint32_t>(info->chopped.size());
  for (uint32_t i = 0; i < words && i < kAwlMaxWords; ++i) {
    if (info->words[i].position == n) return static_cast<int32_t>(i);
  }
  return -1;
}

// ---- Analysis ------------------------------------------------------------------------------

namespace {

struct analysis {
  context* ctx;
  const morph_options_rec* opts;
  morph_scratch* s;
  word_list* words;
  morph_analyzer_info* info;
  awl_alloc a;
};

// Everything a reused info held goes: it describes this analysis only.
void info_begin(analysis& an, uint32_t word_count) {
  morph_analyzer_info* info = an.info;
  morph_word_list_free(an.ctx, info->analysed, 1);
  info->analysed = nullptr;
  info->filled = 1;
  info->chopped.resize(word_count);
  for (uint32_t i = 0; i < word_count; ++i) info->chopped[i] = wordlist_word_at(an.words, static_cast<int32_t>(i))->text;
  info->norm_count = an.opts->norm_count;
  info->any_norm = 0;
  info->uppercased.assign(word_count, std::string());
  info->vocab_count = an.opts->vocab_count;
  info->any_vocab = 0;
  info->fuzzy_used.assign(static_cast<size_t>(an.opts->vocab_count), 0);
  info->cat_count = 0;
  info->any_cat = 0;
  for (morph_word_info& w : info->words) {
    w.position = -1;
    w.norm.clear();
    w.vocab.clear();
    w.fuzzy.clear();
    w.cat.clear();
    w.num_check = 0;
    w.fallback.clear();
  }
}

int32_t normalize(analysis& an, uint32_t i, const char* chopped) {
  char* buf = an.s->words[i];
  if (an.opts->uppercase) {
    // Uppercasing can lengthen a text: it is cased from the chopped piece
    // into the buffer, cut between characters at the buffer's size.
    int32_t rc = case_upper_builtin(an.ctx, chopped, buf, kAwlTextSize);
    if (rc == TQ_ERR_NO_MEMORY) return rc;
    if (rc < 0) str_copy_bounded(buf, chopped, kAwlTextSize);  // the mapping failed: keep the text
    if (an.info != nullptr) an.info->uppercased[i] = buf;
  } else {
    str_copy_bounded(buf, chopped, kAwlTextSize);
  }
  for (int32_t j = 0; j < an.opts->norm_count; ++j) {
    const int32_t index = an.opts->norm[j].index();
    // An entry whose library could not be opened names nothing to apply.
    if (index < 0) continue;
    regexlib_rec* lib = nullptr;
    int32_t rc = regexlib_get(an.ctx, index, &lib);
    if (rc < 0) return rc;
    rc = regexlib_replace_all(an.ctx, lib, buf, buf, 0);
    if (rc < 0) return rc;
    if (an.info != nullptr) {
      an.info->words[i].norm.push_back({static_cast<uint32_t>(j), buf, rc > 0 ? 1u : 0u});
      if (rc > 0) an.info->any_norm = 1;
    }
  }
  ++an.s->word_count;
  return 0;
}

// Merges one vocabulary hit into the word's vector: a category already
// there takes the new likelihood, any other is appended.
int32_t merge_hit(analysis& an, vec* word, const vocab_word_match& m) {
  for (uint32_t k = 0; k < m.category_count; ++k) {
    const category_rec* category = m.categories[k].category;
    if (category == nullptr) continue;
    const auto likelihood = static_cast<int32_t>(m.categories[k].likelihood);
    bool merged = false;
    for (uint32_t e = 0; e < word->count; ++e) {
      auto* entry = static_cast<cat_entry*>(word->slots[e]);
      if (std::strcmp(entry->category->name, category->name) == 0) {
        entry->likelihood = likelihood;
        merged = true;
        break;
      }
    }
    if (merged) continue;
    int32_t rc = entry_append(an.a, word, likelihood, category);
    if (rc != 0) return rc;
  }
  return 0;
}

// The vocabularies in order; *word is made at the first hit (NULL: none).
int32_t vocab_lookup(analysis& an, uint32_t i, vec** word) {
  *word = nullptr;
  const char* buf = an.s->words[i];
  vocab_word_match& m = an.s->match;
  for (int32_t j = 0; j < an.opts->vocab_count; ++j) {
    const defn_vocab& dv = an.opts->vocabs[j];
    const int32_t index = dv.vocab.index();
    if (index < 0) continue;
    vocab_rec* vocab = nullptr;
    int32_t rc = vocab_get(an.ctx, index, &vocab);
    if (rc < 0) return rc;
    uint32_t found = 0;
    rc = vocab_word_lookup(an.ctx, vocab, buf, dv.fuzzy.enabled, static_cast<int32_t>(dv.fuzzy.threshold), &found,
                           &m);
    if (rc < 0) return rc;
    if (!found) continue;  // a miss never stops the lookup
    if (*word == nullptr) {
      rc = pool_vec_make(an.a.pool, 4, word);
      if (rc != 0) return rc;
    }
    rc = merge_hit(an, *word, m);
    if (rc != 0) return rc;
    if (an.info != nullptr) {
      morph_word_info& w = an.info->words[i];
      for (uint32_t k = 0; k < m.category_count; ++k) {
        const category_rec* c = m.categories[k].category;
        w.vocab.push_back({static_cast<uint32_t>(j), c != nullptr ? c->name : "",
                           static_cast<int32_t>(m.categories[k].likelihood)});
      }
      if (dv.fuzzy.enabled && m.text != nullptr && std::strcmp(m.text, buf) != 0) {
        w.fuzzy.push_back({static_cast<uint32_t>(j), m.text});
        an.info->fuzzy_used[static_cast<size_t>(j)] = 1;
      }
      an.info->any_vocab = 1;
    }
    if (dv.stop != 0) break;
  }
  return 0;
}

int32_t categorize(analysis& an, uint32_t i, const char* chopped, vec* word) {
  if (an.info != nullptr) an.info->cat_count = an.opts->cat_count;
  for (int32_t j = 0; j < an.opts->cat_count; ++j) {
    const cat_regexlib_entry* entry = an.opts->cat_entries[j];
    // An entry without its category record was never bound: it can give
    // the word nothing.
    if (entry == nullptr || entry->category == nullptr || entry->regexlib < 0) continue;
    regexlib_rec* lib = nullptr;
    int32_t rc = regexlib_get(an.ctx, entry->regexlib, &lib);
    if (rc < 0) return rc;
    rc = regexlib_match_any(an.ctx, lib, chopped, 0);
    if (rc < 0) return rc;
    if (rc == 0) continue;
    rc = entry_append(an.a, word, entry->likelihood, entry->category);
    if (rc != 0) return rc;
    if (an.info != nullptr) {
      char name[kRsrcNameSize];
      if (regexlib_name_get(an.ctx, entry->regexlib, name, sizeof name) < 0) name[0] = '\0';
      an.info->words[i].cat.push_back(
          {name, static_cast<uint32_t>(j), entry->category->name, entry->likelihood});
      an.info->any_cat = 1;
    }
    if (entry->stop) break;
  }
  return 0;
}

void record_fallback(analysis& an, uint32_t i, const vec* word) {
  if (an.info == nullptr) return;
  std::vector<morph_fallback_result>& out = an.info->words[i].fallback;
  out.clear();
  for (uint32_t k = 0; k < word->count; ++k) {
    const auto* e = static_cast<const cat_entry*>(word->slots[k]);
    out.push_back({e->category->name, e->likelihood});
  }
}

// 1 when every character of the chopped text is of class "NUMBER" in the
// chopper's table (without one: the ASCII digits, as the default table has
// them).
int32_t is_number(analysis& an, const char* chopped) {
  if (chopped[0] == '\0') return 0;
  const chopper_table* table = nullptr;
  if (an.opts->chopper != -1) {
    chopper_rec* rec = nullptr;
    int32_t rc = chopper_get(an.ctx, an.opts->chopper, &rec);
    if (rc < 0) return rc;
    table = &rec->table;
  }
  const char* p = chopped;
  while (*p != '\0') {
    int32_t code = 0;
    if (uchar_get(&p, &code) < 0) return 0;
    uint32_t clsfn = kClassLetter;
    if (table != nullptr) {
      uint32_t oprn = 0;
      int32_t rc = chopper_table_char_lookup(table, static_cast<uint32_t>(code), &clsfn, &oprn);
      if (rc < 0) return rc;
    } else if (code >= '0' && code <= '9') {
      clsfn = kClassNumber;
    }
    if (clsfn != kClassNumber) return 0;
  }
  return 1;
}

int32_t fall_back(analysis& an, uint32_t i, const char* chopped, vec* word) {
  if (an.opts->cat_count > 0) {
    int32_t rc = categorize(an, i, chopped, word);
    if (rc != 0) return rc;
  }
  if (word->count == 0 && an.opts->numeric_check) {
    int32_t rc = is_number(an, chopped);
    if (rc < 0) return rc;
    if (rc == 1) {
      rc = entry_append(an.a, word, kMorphNumberLikelihood, &an.opts->numeric);
      if (rc != 0) return rc;
      if (an.info != nullptr) an.info->words[i].num_check = 1;
      record_fallback(an, i, word);
    }
  }
  if (word->count == 0 && an.opts->defaults != nullptr && vec_count(an.opts->defaults) > 0) {
    const default_category_list* defaults = an.opts->defaults;
    for (uint32_t k = 0; k < defaults->count; ++k) {
      const auto* d = static_cast<const default_category_entry*>(defaults->slots[k]);
      if (d == nullptr || d->category == nullptr) continue;
      int32_t rc = entry_append(an.a, word, d->likelihood, d->category);
      if (rc != 0) return rc;
    }
    record_fallback(an, i, word);
  }
  return 0;
}

int32_t analyze_words(analysis& an, uint32_t flags, analysed_word_list* list) {
  const uint32_t n = wordlist_word_count(an.words) < kAwlMaxWords ? wordlist_word_count(an.words) : kAwlMaxWords;
  awl_side* side = side_of(list);
  for (uint32_t i = 0; i < n; ++i) {
    const char* chopped = wordlist_word_at(an.words, static_cast<int32_t>(i))->text;
    int32_t rc = normalize(an, i, chopped);
    if (rc != 0) return rc;
    if (an.s->words[i][0] == '\0') continue;
    vec* word = nullptr;
    rc = vocab_lookup(an, i, &word);
    if (rc != 0) return rc;
    if (word == nullptr) {
      rc = pool_vec_make(an.a.pool, 4, &word);
      if (rc != 0) return rc;
      rc = fall_back(an, i, chopped, word);
      if (rc != 0) return rc;
    }
    const uint32_t position = list->count;
    rc = pool_vec_push(an.a.pool, list, word);
    if (rc != 0) return rc;
    if (flags & kMorphKeepTexts) {
      side->texts[position] = static_cast<char*>(mempool_alloc(an.a.pool, kAwlTextSize, &rc));
      if (side->texts[position] == nullptr) return rc != 0 ? rc : TQ_ERR_NO_MEMORY;
      std::memcpy(side->texts[position], an.s->words[i], kAwlTextSize);
    }
    if (an.info != nullptr) an.info->words[i].position = static_cast<int32_t>(position);
  }
  // Last first, so that the earlier indexes stay valid.
  for (uint32_t i = n; i-- > 0;) {
    if (an.s->words[i][0] != '\0') continue;
    int32_t rc = wordlist_word_delete(an.ctx, an.words, static_cast<int32_t>(i));
    if (rc != 0) return rc;
  }
  return 0;
}

int32_t analyze(context* ctx, morph_scratch* s, const morph_options_rec* opts, word_list* words, uint32_t flags,
                analysed_word_list** out, morph_analyzer_info* info) {
  analysis an{ctx, opts, s, words, info, awl_alloc{&s->pool}};
  if (info != nullptr) info_begin(an, wordlist_word_count(words));
  s->word_count = 0;
  if (!s->pool_ready) {
    int32_t rc = mempool_init(&s->pool, kMorphPoolKilobytes);
    if (rc != 0) return rc;
    s->pool_ready = 1;
  }
  mempool_enable_set(&s->pool, 1);
  mempool_reset(&s->pool);
  analysed_word_list* list = nullptr;
  int32_t rc = awl_make(an.a, &list);
  if (rc != 0) return rc;
  *out = list;
  if (wordlist_word_count(words) == 0) return 0;
  rc = analyze_words(an, flags, list);
  if (rc != 0) return rc;
  if (info != nullptr) {
    // The info's copy owns its category records, so it outlives the
    // vocabularies and definitions the entries point into.
    rc = morph_word_list_copy(ctx, nullptr, list, &info->analysed, 1);
    if (rc != 0) return rc;
  }
  return 0;
}

}  // namespace

int32_t morph_analyze(context* ctx, const morph_options_rec* opts, word_list* words, uint32_t flags,
                      analysed_word_list** out, morph_analyzer_info* info) {
  if (out != nullptr) *out = nullptr;
  if (ctx == nullptr || opts == nullptr || words == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  if (!opts->set) return TQ_ERR_PARSER_UNBOUND;
  morph_scratch* scratch = nullptr;
  const int32_t made = morph_scratch_get(ctx, &scratch);
  if (made != 0) return made;
  try {
    return analyze(ctx, scratch, opts, words, flags, out, info);
  } catch (const std::bad_alloc&) {
    // Only the info's records reach the heap through the standard library.
    return TQ_ERR_NO_MEMORY;
  }
}

}  // namespace tq

#include "parse/krparser.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

#include "core/krerr.h"
#include "core/krhash.h"
#include "core/krzel.h"
#include "kbstore/krlib.h"
#include "kbstore/krshared.h"
#include "parse/krchart.h"
#include "parse/krlr.h"
#include "parse/krsoln.h"
#include "resources/krgram.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr int32_t kUnreachable = 1 << 20;
constexpr int32_t kOneWordScore = 500;
constexpr int32_t kOneWordValue = 50;

// The grammar's name as its registry slot gives it, for messages.
const char* grammar_name(const grammar_rec* rec) {
  return rec->slot != nullptr ? static_cast<const char*>(rec->slot->name) : "";
}

void cg_free(compiled_grammar* g) {
  if (g == nullptr) return;
  std::free(g->cats);
  std::free(g->rules);
  std::free(g->rhs);
  std::free(g->by_id);
  std::free(g->first);
  std::free(g->by_name);
  std::free(g);
}

// The fewest words each category derives: a terminal one; a rule the sum
// over its right side; a category the least of its rules. Categories that
// derive nothing finite stay kUnreachable.
void min_lengths(compiled_grammar* g) {
  for (int32_t c = 0; c < g->cat_count; ++c) g->cats[c].min_len = g->cats[c].rule_count == 0 ? 1 : kUnreachable;
  for (bool changed = true; changed;) {
    changed = false;
    for (int32_t ri = 0; ri < g->rule_count; ++ri) {
      const cg_rule& r = g->rules[ri];
      int64_t sum = 0;
      for (int32_t i = 0; i < r.len; ++i) sum += g->cats[cg_rhs(g, r)[i]].min_len;
      if (sum < g->cats[r.left].min_len) {
        g->cats[r.left].min_len = static_cast<int32_t>(sum);
        changed = true;
      }
    }
  }
}

// The terminal categories each category can begin with. No category
// derives the empty string (every right side has a word or more), so a
// rule begins as its first category does.
void first_sets(compiled_grammar* g) {
  const auto words = static_cast<size_t>(g->first_words);
  for (int32_t c = 0; c < g->cat_count; ++c) {
    if (g->cats[c].rule_count > 0) continue;
    g->first[static_cast<size_t>(c) * words + static_cast<size_t>(c) / 64] |= 1ull << (c % 64);
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (int32_t ri = 0; ri < g->rule_count; ++ri) {
      const cg_rule& r = g->rules[ri];
      uint64_t* to = g->first + static_cast<size_t>(r.left) * words;
      const uint64_t* from = cg_first(g, cg_rhs(g, r)[0]);
      for (size_t i = 0; i < words; ++i) {
        const uint64_t merged = to[i] | from[i];
        if (merged != to[i]) {
          to[i] = merged;
          changed = true;
        }
      }
    }
  }
}

// Flat tables of the grammar's categories and rules. -300 (message 2272)
// for a rule with an empty right side: no engine can place it over words.
int32_t cg_build(context* ctx, const grammar_rec* rec, int32_t root, compiled_grammar** out) {
  *out = nullptr;
  // Freed on every way out, an exception of the index map included, until
  // it is handed over.
  std::unique_ptr<compiled_grammar, void (*)(compiled_grammar*)> owned(
      static_cast<compiled_grammar*>(np_calloc(1, sizeof(compiled_grammar))), &cg_free);
  compiled_grammar* g = owned.get();
  if (g == nullptr) return TQ_ERR_NO_MEMORY;
  const vec* cats = &rec->categories;
  g->cat_count = static_cast<int32_t>(cats->count);
  std::unordered_map<const grammar_category*, int32_t> index;
  int32_t rules = 0;
  int32_t rhs = 0;
  int32_t max_id = -1;
  for (int32_t c = 0; c < g->cat_count; ++c) {
    auto* gc = static_cast<const grammar_category*>(cats->slots[c]);
    index[gc] = c;
    if (gc->cat.id > max_id) max_id = gc->cat.id;
    if (gc->rules == nullptr) continue;
    for (uint32_t i = 0; i < gc->rules->count; ++i) {
      auto* rule = static_cast<const grammar_rule*>(gc->rules->slots[i]);
      if (rule->right.count == 0) {
        TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 2272, grammar_name(rec), static_cast<const char*>(gc->cat.name));
        return TQ_ERR_INVALID_CONTENT;
      }
      rules += 1;
      rhs += static_cast<int32_t>(rule->right.count);
    }
  }
  g->cats = static_cast<cg_cat*>(np_calloc(static_cast<size_t>(g->cat_count) + 1, sizeof(cg_cat)));
  g->rules = static_cast<cg_rule*>(np_calloc(static_cast<size_t>(rules) + 1, sizeof(cg_rule)));
  g->rhs = static_cast<int32_t*>(np_calloc(static_cast<size_t>(rhs) + 1, sizeof(int32_t)));
  g->id_count = max_id + 1;
  g->by_id = static_cast<int32_t*>(np_calloc(static_cast<size_t>(g->id_count) + 1, sizeof(int32_t)));
  g->first_words = (g->cat_count + 63) / 64;
  g->first = static_cast<uint64_t*>(
      np_calloc(static_cast<size_t>(g->cat_count) * static_cast<size_t>(g->first_words) + 1, sizeof(uint64_t)));
  g->by_name = static_cast<int32_t*>(np_calloc(static_cast<size_t>(g->cat_count) + 1, sizeof(int32_t)));
  if (g->cats == nullptr || g->rules == nullptr || g->rhs == nullptr || g->by_id == nullptr || g->first == nullptr ||
      g->by_name == nullptr) {
    return TQ_ERR_NO_MEMORY;
  }
  for (int32_t i = 0; i < g->id_count; ++i) g->by_id[i] = -1;
  int32_t ri = 0;
  int32_t at = 0;
  for (int32_t c = 0; c < g->cat_count; ++c) {
    auto* gc = static_cast<const grammar_category*>(cats->slots[c]);
    cg_cat& cc = g->cats[c];
    cc.src = gc;
    cc.id = gc->cat.id;
    if (cc.id >= 0) g->by_id[cc.id] = c;
    cc.first_rule = ri;
    if (gc->rules == nullptr) continue;
    for (uint32_t i = 0; i < gc->rules->count; ++i, ++ri) {
      auto* rule = static_cast<const grammar_rule*>(gc->rules->slots[i]);
      cg_rule& r = g->rules[ri];
      r.left = c;
      r.priority = static_cast<int32_t>(rule->priority);
      r.len = static_cast<int32_t>(rule->right.count);
      r.rhs = at;
      for (uint32_t k = 0; k < rule->right.count; ++k) {
        auto found = index.find(static_cast<const grammar_category*>(rule->right.slots[k]));
        if (found == index.end()) {
          return TQ_ERR_INVALID_CONTENT;
        }
        g->rhs[at++] = found->second;
      }
      cc.rule_count += 1;
    }
  }
  g->rule_count = ri;
  g->root = root;
  min_lengths(g);
  first_sets(g);
  for (int32_t c = 0; c < g->cat_count; ++c) g->by_name[c] = c;
  std::sort(g->by_name, g->by_name + g->cat_count,
            [g](int32_t a, int32_t b) { return std::strcmp(cg_cat_name(g, a), cg_cat_name(g, b)) < 0; });
  *out = owned.release();
  return 0;
}

hash_table* cache_of(context* ctx, bool create);

void cache_free(context* ctx, void* cache) {
  auto* table = static_cast<hash_table*>(cache);
  if (table == nullptr) return;
  // Two passes: a composite's sub-parsers are cached objects of their own,
  // so nothing is freed while the table is walked.
  std::vector<parser_rec*> all;
  for (hash_entry* e = table->list; e != nullptr; e = e->next) all.push_back(reinterpret_cast<parser_rec*>(e->value[0]));
  hash_free(table);
  std::free(table);
  for (parser_rec* p : all) {
    for (auto& sub : p->sub) sub = nullptr;
    (void)parser_unbind(ctx, p);
    std::free(p->key);
    std::free(p);
  }
}

hash_table* cache_of(context* ctx, bool create) {
  shared_contents* sc = ctx_contents(ctx);
  if (sc == nullptr) return nullptr;
  if (sc->parser_cache == nullptr && create) {
    auto* table = static_cast<hash_table*>(np_calloc(1, sizeof(hash_table)));
    if (table == nullptr) return nullptr;
    if (hash_init(table, kHashKeyBytes, 1, 0) != 0) {
      std::free(table);
      return nullptr;
    }
    sc->parser_cache = table;
    sc->parser_cache_free = cache_free;
  }
  return static_cast<hash_table*>(sc->parser_cache);
}

int32_t key_length(const char* key) { return static_cast<int32_t>(std::strlen(key) + 1); }

}  // namespace

const char* cg_cat_name(const compiled_grammar* g, int32_t cat) {
  return g != nullptr && cat >= 0 && cat < g->cat_count ? g->cats[cat].src->cat.name : "";
}

int32_t cg_cat_find(const compiled_grammar* g, const char* name) {
  if (g == nullptr || name == nullptr) return -1;
  const int32_t* begin = g->by_name;
  const int32_t* end = begin + g->cat_count;
  const int32_t* at = std::lower_bound(begin, end, name, [g](int32_t c, const char* n) {
    return std::strcmp(cg_cat_name(g, c), n) < 0;
  });
  return at != end && std::strcmp(cg_cat_name(g, *at), name) == 0 ? *at : -1;
}

// ---- Runtimes --------------------------------------------------------------------------

int32_t parser_runtime_create(context* ctx, parser_runtime** out, uint32_t kind) {
  (void)ctx;
  *out = nullptr;
  if (kind >= kParserRuntimeKinds) return -1;
  auto* rt = static_cast<parser_runtime*>(np_calloc(1, sizeof(parser_runtime)));
  if (rt == nullptr) return TQ_ERR_NO_MEMORY;
  rt->kind = kind;
  rt->pool = static_cast<mempool*>(np_calloc(1, sizeof(mempool)));
  int32_t rc = rt->pool == nullptr ? TQ_ERR_NO_MEMORY : 0;
  if (rc == 0 && kind == kParserChart) rc = chart_work_create(&rt->chart);
  if (rc == 0 && kind == kParserLr) rc = lr_work_create(&rt->lr);
  if (rc != 0) {
    parser_runtime_free(rt);
    return rc;
  }
  *out = rt;
  return 0;
}

void parser_runtime_free(parser_runtime* rt) {
  if (rt == nullptr) return;
  chart_work_free(rt->chart);
  lr_work_free(rt->lr);
  if (rt->pool != nullptr) {
    if (rt->pool_ready != 0) mempool_free(rt->pool);
    std::free(rt->pool);
  }
  std::free(rt);
}

int32_t parser_runtime_reset(parser_runtime* rt) {
  if (rt->pool_ready == 0) {
    int32_t rc = mempool_init(rt->pool, kRuntimePoolKb);
    if (rc != 0) return rc;
    rt->pool_ready = 1;
  }
  mempool_enable_set(rt->pool, 1);
  mempool_reset(rt->pool);
  chart_work_reset(rt->chart);
  lr_work_reset(rt->lr);
  return 0;
}

int32_t parser_runtime_for_kind(context* ctx, uint32_t kind, parser_runtime** out) {
  *out = nullptr;
  if (kind >= kParserRuntimeKinds) return -1;
  parser_runtimes* all = ctx->parser_runtimes;
  if (all == nullptr) return TQ_ERR_NO_MEMORY;
  if (all->rt[kind] == nullptr) {
    int32_t rc = parser_runtime_create(ctx, &all->rt[kind], kind);
    if (rc != 0) return rc;
  }
  *out = all->rt[kind];
  return 0;
}

int32_t parser_runtimes_part_create(context* ctx) {
  ctx->parser_runtimes = static_cast<parser_runtimes*>(np_calloc(1, sizeof(parser_runtimes)));
  return ctx->parser_runtimes != nullptr ? 0 : TQ_ERR_NO_MEMORY;
}

void parser_runtimes_part_free(context* ctx) {
  if (ctx->parser_runtimes == nullptr) return;
  for (parser_runtime* rt : ctx->parser_runtimes->rt) parser_runtime_free(rt);
  std::free(ctx->parser_runtimes);
  ctx->parser_runtimes = nullptr;
}

// ---- Objects ----------------------------------------------------------------------------

int32_t parser_init(parser_rec* p, uint32_t kind) {
  if (kind > kParserComposite) return -1;
  std::memset(p, 0, sizeof *p);
  p->kind = kind;
  p->grammar = -1;
  p->root = -1;
  optp_block_init(&p->params);
  return 0;
}

int32_t parser_bind(context* ctx, parser_rec* p, int32_t grammar, int32_t root, const parse_opt_params* block) {
  if (grammar < 0) return TQ_ERR_INDEX;
  if (p->bound != 0) {
    // Binding again: what the old binding holds goes first; the object's
    // references from its holders stay.
    const int32_t refs = p->refs;
    int32_t rc = parser_unbind(ctx, p);
    p->refs = refs;
    if (rc != 0) return rc;
  }
  p->num_cat = nullptr;
  p->root_cat = nullptr;
  grammar_rec* rec = nullptr;
  int32_t rc = grammar_get(ctx, grammar, &rec);
  if (rc != 0) return rc;
  // Analysis gives every number of a value the category "NUM", which each
  // engine places by the grammar's category of that name: a grammar without
  // it can parse nothing, and says so by name rather than by a bare failure.
  constexpr const char* kNumberCategory = "NUM";
  const grammar_category* num = grammar_category_get_by_name(ctx, rec, kNumberCategory);
  if (num == nullptr) {
    TQ_REPORT(ctx, TQ_ERR_RESOURCE_LACKS, 2270, grammar_name(rec), kNumberCategory);
    return TQ_ERR_RESOURCE_LACKS;
  }
  const grammar_category* root_cat = grammar_category_get(rec, root);
  if (root_cat == nullptr) {
    TQ_REPORT(ctx, TQ_ERR_RESOURCE_LACKS, 2271, grammar_name(rec), root);
    return TQ_ERR_RESOURCE_LACKS;
  }
  optp_block_copy(block, &p->params);
  p->grammar = grammar;
  p->root = root;
  switch (p->kind) {
    case kParserChart:
    case kParserLr:
    case kParserOneWord:
      rc = cg_build(ctx, rec, root, &p->cg);
      if (rc == 0 && p->kind == kParserLr) rc = lr_automaton_build(p);
      break;
    case kParserComposite:
      rc = parser_composite_bind(ctx, p, grammar, root, block);
      break;
    default:
      rc = -1;
  }
  if (rc == 0) {
    // The object keeps its grammar loaded for as long as it lives.
    rc = rsrc_addref(ctx, kRsrcGrammar, grammar);
    if (rc == 0) p->holds_grammar = 1;
  }
  if (rc != 0) {
    (void)parser_unbind(ctx, p);
    return rc;
  }
  p->num_cat = num;
  p->root_cat = root_cat;
  p->grammar_serial = rec->serial;
  p->bound = 1;
  return 0;
}

int32_t parser_unbind(context* ctx, parser_rec* p) {
  if (p->kind > kParserComposite) return -1;
  int32_t result = 0;
  lr_automaton_free(p->lr);
  p->lr = nullptr;
  for (auto& sub : p->sub) {
    int32_t rc = parser_unref(ctx, sub);
    if (rc < 0 && result == 0) result = rc;
    sub = nullptr;
  }
  cg_free(p->cg);
  p->cg = nullptr;
  if (p->holds_grammar != 0) {
    p->holds_grammar = 0;
    int32_t rc = rsrc_unref(ctx, kRsrcGrammar, p->grammar);
    if (rc < 0 && result == 0) result = rc;
  }
  p->bound = 0;
  p->num_cat = nullptr;
  p->root_cat = nullptr;
  p->refs = 0;
  optp_block_init(&p->params);
  return result;
}

int32_t parser_cache_key(context* ctx, uint32_t kind, int32_t grammar, int32_t root, const parse_opt_params* block,
                         char* out) {
  out[0] = '\0';
  if (grammar < 0) return TQ_ERR_INDEX;
  grammar_rec* rec = nullptr;
  int32_t rc = grammar_get(ctx, grammar, &rec);
  if (rc != 0) return rc;
  parse_opt_params eff;
  optp_effective_get(ctx, block, &eff);
  // The grammar record's serial: a grammar freed and loaded again into the
  // same slot is a new grammar and never meets the old one's parsers.
  std::snprintf(out, kParserKeySize, "%u|%u|%u|%u|%u|%u|%llu", kind, static_cast<uint32_t>(grammar),
                static_cast<uint32_t>(root), static_cast<uint32_t>(eff.levels), static_cast<uint32_t>(eff.limit),
                static_cast<uint32_t>(eff.input_length), static_cast<unsigned long long>(rec->serial));
  return 0;
}

int32_t parser_get(context* ctx, uint32_t kind, int32_t grammar, int32_t root, const parse_opt_params* block,
                   parser_rec** out) {
  *out = nullptr;
  if (kind > kParserComposite) return -1;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  char key[kParserKeySize];
  int32_t rc = parser_cache_key(ctx, kind, grammar, root, block, key);
  if (rc != 0) return rc;
  hash_table* cache = cache_of(ctx, true);
  if (cache == nullptr) return TQ_ERR_NO_MEMORY;
  if (auto* p = reinterpret_cast<parser_rec*>(hash_get_word(cache, key, key_length(key))); p != nullptr) {
    p->refs += 1;
    *out = p;
    return 0;
  }
  auto* p = static_cast<parser_rec*>(np_calloc(1, sizeof(parser_rec)));
  if (p == nullptr) return TQ_ERR_NO_MEMORY;
  (void)parser_init(p, kind);
  // The object is built on the effective values, as its key says.
  parse_opt_params eff;
  optp_effective_get(ctx, block, &eff);
  try {
    rc = parser_bind(ctx, p, grammar, root, &eff);
  } catch (const std::bad_alloc&) {
    // Given back below with what it bound, as any failed bind is.
    rc = TQ_ERR_NO_MEMORY;
  }
  if (rc == 0) {
    p->key = static_cast<char*>(np_malloc(static_cast<size_t>(key_length(key))));
    if (p->key == nullptr) rc = TQ_ERR_NO_MEMORY;
    else std::memcpy(p->key, key, static_cast<size_t>(key_length(key)));
  }
  if (rc == 0 && hash_find_or_insert(cache, p->key, key_length(p->key), reinterpret_cast<uintptr_t>(p), 0) == nullptr)
    rc = TQ_ERR_NO_MEMORY;
  if (rc != 0) {
    (void)parser_unbind(ctx, p);
    std::free(p->key);
    std::free(p);
    return rc;
  }
  p->refs = 1;
  *out = p;
  return 0;
}

int32_t parse_defn_parser_get(context* ctx, int32_t grammar, int32_t root, const parse_opt_params* block,
                              parser_rec** out) {
  return parser_get(ctx, kParserComposite, grammar, root, block, out);
}

int32_t parser_unref(context* ctx, parser_rec* p) {
  if (p == nullptr) return 0;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  if (p->refs > 1) {
    p->refs -= 1;
    return 0;
  }
  // The last reference: out of the cache first, so nobody is handed it.
  p->refs = 0;
  if (hash_table* cache = cache_of(ctx, false); cache != nullptr && p->key != nullptr)
    (void)hash_remove(cache, p->key, key_length(p->key));
  int32_t rc = parser_unbind(ctx, p);
  std::free(p->key);
  std::free(p);
  return rc;
}

int32_t parser_release(context* ctx, parser_rec* p) {
  int32_t rc = parser_unref(ctx, p);
  return rc < 0 ? rc : 0;
}

int32_t parser_release_all(context* ctx, std::vector<parser_rec*>* parsers) {
  if (parsers->empty()) return 0;
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  int32_t first = 0;
  for (parser_rec* p : *parsers) {
    const int32_t rc = parser_release(ctx, p);
    if (rc < 0 && first == 0) first = rc;
  }
  parsers->clear();
  return first;
}

uint32_t parser_cache_count(context* ctx) {
  hash_table* cache = cache_of(ctx, false);
  return cache != nullptr ? cache->count : 0;
}

// ---- Running -----------------------------------------------------------------------------

int32_t parser_composite_bind(context* ctx, parser_rec* composite, int32_t grammar, int32_t root,
                              const parse_opt_params* block) {
  parser_rec* got[kParserRuntimeKinds] = {nullptr, nullptr, nullptr};
  for (uint32_t k = 0; k < kParserRuntimeKinds; ++k) {
    int32_t rc = parser_get(ctx, k, grammar, root, block, &got[k]);
    if (rc != 0) {
      for (uint32_t j = 0; j < k; ++j) (void)parser_release(ctx, got[j]);
      return rc;
    }
  }
  int32_t result = 0;
  for (uint32_t k = 0; k < kParserRuntimeKinds; ++k) {
    parser_rec* old = composite->sub[k];
    composite->sub[k] = got[k];
    int32_t rc = parser_release(ctx, old);
    if (rc < 0 && result == 0) result = rc;
  }
  return result;
}

int32_t parser_composite_select(context* ctx, parser_rec* composite, int32_t input_length,
                                const analysed_word_list* words, parser_rec** out) {
  (void)ctx;
  *out = nullptr;
  if (composite->bound == 0) return TQ_ERR_PARSER_UNBOUND;
  const uint32_t count = vec_count(words);
  if (count == 1 && grammar_category_has_rules(composite->root_cat) == 0) {
    *out = composite->sub[kParserOneWord];
    return 0;
  }
  switch (input_length) {
    case kInputLong:
      *out = composite->sub[kParserLr];
      return 0;
    case kInputAutomatic:
      *out = composite->sub[count >= 4 ? kParserLr : kParserChart];
      return 0;
    case kInputShort:
      *out = composite->sub[kParserChart];
      return 0;
    default:
      return -1;
  }
}

int32_t parse_oneword_run(context* ctx, parser_rec* p, parser_runtime* rt, vec* solutions,
                          const analysed_word_list* words, int32_t first, int32_t last, int32_t limit,
                          int32_t levels) {
  (void)limit;
  const int32_t count = static_cast<int32_t>(vec_count(words));
  if (last >= count) last = count - 1;
  if (first > last || first < 0) return 0;
  const int32_t id = p->root_cat->cat.id;
  bool found = false;
  for (int32_t w = first; w <= last && !found; ++w) {
    cat_entry* entry = nullptr;
    (void)morph_word_list_cat_by_id(ctx, words, w, id, &entry);
    found = entry != nullptr;
  }
  if (!found) return 0;
  parse_solution* s = nullptr;
  int32_t rc = parse_solution_create(ctx, p, rt, first, last, levels, &s);
  if (rc != 0) return rc < 0 ? rc : 0;
  s->score = kOneWordScore;
  if (s->level_count > 0) s->levels[0] = {0, 1};
  std::snprintf(s->root_name, sizeof s->root_name, "%s", p->root_cat->cat.name);
  s->value = kOneWordValue;
  return vec_push(solutions, s) != 0 ? TQ_ERR_NO_MEMORY : 0;
}

int32_t parser_run(context* ctx, parser_rec* p, const analysed_word_list* words, int32_t first, int32_t last,
                   vec* solutions) {
  if (vec_init_from_pool(ctx->small_pool, solutions) != 0) return TQ_ERR_NO_MEMORY;
  vec_free_fn_set(solutions, parse_solution_free);
  if (p == nullptr || words == nullptr) return TQ_ERR_ARGUMENT;
  const parse_opt_settings* s = optp_settings(ctx);
  if (p->kind == kParserComposite) {
    const int32_t length = s->input_length_set != 0 ? s->input_length : p->params.input_length;
    parser_rec* sub = nullptr;
    int32_t rc = parser_composite_select(ctx, p, length, words, &sub);
    if (rc != 0) return rc;
    p = sub;
  }
  if (p == nullptr || p->bound == 0) return TQ_ERR_PARSER_UNBOUND;
  parser_runtime* rt = nullptr;
  int32_t rc = parser_runtime_for_kind(ctx, p->kind, &rt);
  if (rc != 0) return rc;
  rc = parser_runtime_reset(rt);
  if (rc != 0) return rc;
  const int32_t limit = s->limit_set != 0 ? s->limit : p->params.limit;
  const int32_t levels = s->levels_set != 0 ? s->levels : p->params.levels;
  // A level count read from a definition's document reaches here
  // unchecked otherwise; a solution holds ten pairs at most.
  rc = optp_levels_validate(ctx, levels);
  if (rc != 0) return rc;
  switch (p->kind) {
    case kParserChart:
      return chart_parse(ctx, p, rt, solutions, words, first, last, limit, levels);
    case kParserLr:
      return lrparse_parse(ctx, p, rt, solutions, words, first, last, limit, levels);
    case kParserOneWord:
      return parse_oneword_run(ctx, p, rt, solutions, words, first, last, limit, levels);
    default:
      return -1;
  }
}

}  // namespace tq

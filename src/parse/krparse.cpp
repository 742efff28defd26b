#include "parse/krparse.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "core/krvec.h"
#include "core/krzel.h"
#include "parse/krmorph.h"
#include "parse/krparser.h"
#include "parse/krpdef.h"
#include "parse/krpsctx.h"
#include "platform/nputf8.h"
#include "resources/krchop.h"
#include "resources/krregx.h"
#include "platform/npmem.h"

namespace tq {

struct parse_scratch {
  parse_token_slot slots[kParseSlots];
  word_list words;   // the chopped value of a parse without an info
  uint32_t words_made;
  vec solutions;     // made by every grammar parse, freed at its end
  char text[kRegexResultSize];  // the running value of preprocessing
  char prev[kRegexResultSize];
  char span[kWordTextSize];
  // No-solution tables: per word whether it is placed; per token its words.
  uint8_t assigned[kAwlMaxWords];
  uint8_t token_words[kParseSlots][kAwlMaxWords];
  uint32_t token_word_count[kParseSlots];
  // Words each no-solution category took in this run.
  int32_t use_counts[kParseSlots][kParseTokenCats];
};

namespace {

// Appends text to a slot value (at most kParseValueMax bytes), after the
// separator when the value holds text already; the cut falls between
// characters. A separator that fills the value ends it there. True when
// something was left out.
bool value_append(char* value, const char* text, const char* separator) {
  if (text[0] == '\0') return false;
  size_t used = std::strlen(value);
  bool cut = false;
  auto put = [&](const char* piece) {
    size_t n = std::strlen(piece);
    if (used + n > kParseValueMax) {
      n = np_uchar_cut(piece, kParseValueMax - used);
      cut = true;
    }
    std::memcpy(value + used, piece, n);
    used += n;
    value[used] = '\0';
  };
  if (used != 0) {
    put(separator);
    if (used >= kParseValueMax) return true;
  }
  put(text);
  return cut;
}

// A token value that lost words or separators to its length: the call tells.
void value_cut_note(context* ctx, const char* value) {
  strio_note_inside_cut(ctx, "a parsed token's value", std::strlen(value), 0);
}

const char* token_separator(const dtok_rec* tok) {
  return tok != nullptr && tok->use_separator == 1 ? tok->separator : " ";
}

void slots_reset(parse_token_slot* slots, bool own_index) {
  for (uint32_t i = 0; i < kParseSlots; ++i) {
    slots[i].index = own_index ? static_cast<int32_t>(i) : -1;
    slots[i].value[0] = '\0';
  }
}

uint32_t token_count_of(const defn_rec* rec) { return std::min(rec->tokens.count(), kParseSlots); }

uint32_t analysed_count(const analysed_word_list* awl) {
  return awl == nullptr ? 0 : std::min(vec_count(awl), kAwlMaxWords);
}

// Word w of the analysed list carries an entry of that category.
bool word_has(const analysed_word_list* awl, uint32_t w, const char* name, int32_t likelihood, bool any_likelihood) {
  const vec* word = awl_word(awl, static_cast<int32_t>(w));
  if (word == nullptr) return false;
  for (uint32_t j = 0; j < vec_count(word); ++j) {
    const auto* e = static_cast<const cat_entry*>(word->slots[j]);
    if (e == nullptr || e->category == nullptr) continue;
    if ((any_likelihood || e->likelihood == likelihood) && std::strcmp(e->category->name, name) == 0) return true;
  }
  return false;
}

void scratch_words_free(parse_scratch* sc) {
  if (sc->words_made != 0) wordlist_free(&sc->words);
  sc->words_made = 0;
}

// The info keeps copies of what the parse left in the context's pools.
int32_t info_fill(context* ctx, parse_scratch* sc, const defn_rec* rec, const analysed_word_list* awl,
                  const parse_solution* best, int32_t parse_result, parse_info* info) {
  info->abandoned = parse_result == TQ_WARN_LIMIT_REACHED ? 1 : 0;
  // The copied solutions name the parser object (for their categories); it
  // must outlive them even when the definition is prepared again. The
  // caller holds the write hold, under which references change.
  if (const parse_defn_kind_rec* part = parse_defn_part(rec); part != nullptr && part->parser != nullptr) {
    info->parser = part->parser;
    info->parser->refs += 1;
  }
  int32_t rc = morph_word_list_copy(ctx, nullptr, awl, &info->analysed, 1);
  if (rc < 0) return rc;
  const uint32_t n = vec_count(&sc->solutions);
  info->solutions.reserve(n);
  for (uint32_t i = 0; i < n; ++i) {
    const auto* s = static_cast<const parse_solution*>(vec_get(&sc->solutions, static_cast<int32_t>(i)));
    auto* copy = new (std::nothrow) parse_solution{};
    if (copy == nullptr) return TQ_ERR_NO_MEMORY;
    rc = parse_solution_copy(ctx, s, copy);
    if (rc < 0) {
      delete copy;
      return rc;
    }
    info->solutions.push_back(copy);
    if (s == best) info->best = static_cast<int32_t>(i);
  }
  defn_token_owner owner{};
  rc = rec->datatype >= 0 ? defn_token_owner_get(ctx, rec, &owner) : 0;
  if (rc < 0) return rc;
  info->token_names.reserve(rec->tokens.count());
  for (const auto& tok : rec->tokens.items) {
    const bool known = tok->key >= 0 && static_cast<uint32_t>(tok->key) < owner.owner.datatype_token_count;
    info->token_names.emplace_back(known ? owner.datatype_tokens[tok->key] : "");
  }
  return 0;
}

// The core once the definition is known to stay loaded (under the read hold
// with a prepared definition, or under the write hold).
int32_t engine_core(context* ctx, parse_scratch* sc, defn_rec* rec, parse_defn_kind_rec* part, const char* text,
                    parse_token_slot* slots, uint32_t* count, parse_info* info) {
  int32_t rc = defn_rec_check_usable(ctx, rec);
  if (rc < 0) return rc;
  if (!part->grammar.held() || rec->vocabularies.empty()) return TQ_ERR_NOTHING_TO_DO;
  if (part->prepared.load(std::memory_order_acquire) == 0) {
    rc = parse_defn_prepare_held(ctx, rec);
    if (rc < 0) return rc;
  }
  if (info != nullptr) parse_info_results_clear(ctx, info);
  str_copy_bounded(sc->text, text, kParseValueMax + 1);

  // Preprocessing: each library rewrites the running value in turn.
  for (const rsrc_ref& ref : rec->preprocessing) {
    if (!ref.held()) continue;
    regexlib_rec* lib = nullptr;
    rc = regexlib_get(ctx, ref.index(), &lib);
    if (rc < 0) return rc;
    std::memcpy(sc->prev, sc->text, sizeof sc->prev);
    const int32_t matched = regexlib_replace_all(ctx, lib, sc->prev, sc->text, 0);
    if (matched < 0) return matched;
    if (info != nullptr) {
      info->steps.push_back(parse_info_step{sc->text, matched == 1 ? 1u : 0u});
      if (matched == 1) info->any_matched = 1;
    }
  }
  if (info != nullptr) info->preprocessed = sc->text;

  word_list* words = &sc->words;
  scratch_words_free(sc);
  if (info != nullptr) {
    words = &info->words;
  } else {
    sc->words_made = 1;
  }
  rc = chop_run(ctx, rec->chopper.held() ? rec->chopper.index() : -1, sc->text, words);
  if (rc < 0) return rc;
  if (info != nullptr) {
    rc = wordlist_copy(ctx, words, &info->chopped);
    if (rc < 0) return rc;
  }
  analysed_word_list* awl = nullptr;
  rc = morph_analyze(ctx, part->morph.get(), words, 0, &awl, info != nullptr ? info->morph : nullptr);
  if (rc < 0) return rc;

  const uint32_t n = analysed_count(awl);
  int32_t parse_result = 0;
  if (n == 0) {
    // No words: nothing for the grammar to find.
    if (vec_init_from_pool(ctx->small_pool, &sc->solutions) != 0) return TQ_ERR_NO_MEMORY;
    vec_free_fn_set(&sc->solutions, parse_solution_free);
  } else {
    rc = parser_run(ctx, part->parser, awl, 0, static_cast<int32_t>(n) - 1, &sc->solutions);
    if (rc < 0) {
      vec_free(&sc->solutions);
      return rc;
    }
    // Only the resource limit is the engine's to report; whether a solution
    // was found is decided below from the list itself.
    parse_result = rc == TQ_WARN_LIMIT_REACHED ? rc : 0;
  }

  const uint32_t tokens = token_count_of(rec);
  parse_solution* best = nullptr;
  int32_t filled = 0;
  if (vec_count(&sc->solutions) > 0) {
    rc = parse_solution_best_get(ctx, &sc->solutions, &best);
    filled = rc < 0 ? rc : parse_tokens_from_solution(ctx, rec, best, tokens, words, awl, slots);
  } else {
    filled = parse_defn_has_nosol_tokens(rec) != 0 ? parse_tokens_nosol(ctx, sc, rec, tokens, words, awl, slots)
                                                   : parse_tokens_even_split(ctx, rec, tokens, words, awl, slots);
    if (parse_result < 1) parse_result = TQ_WARN_NO_SOLUTION;
  }
  if (filled >= 0) *count = tokens;
  if (filled >= 0 && info != nullptr) filled = info_fill(ctx, sc, rec, awl, best, parse_result, info);
  vec_free(&sc->solutions);
  scratch_words_free(sc);
  if (filled < 0) return filled;
  return parse_result > 0 ? parse_result : filled;
}

// The definition index for a name, and the parse by index.
int32_t parse_by_name(context* ctx, const char* name, uint32_t flags, const char* data, parse_token_slot* tokens,
                      uint32_t* num_tokens, parse_info* info);
int32_t parse_by_index(context* ctx, int32_t index, const char* data, parse_token_slot* tokens,
                       uint32_t* num_tokens, parse_info* info);

}  // namespace

int32_t parse_scratch_create(context*, parse_scratch** out) {
  *out = static_cast<parse_scratch*>(np_calloc(1, sizeof(parse_scratch)));
  if (*out == nullptr) return TQ_ERR_NO_MEMORY;
  slots_reset((*out)->slots, false);
  return 0;
}

void parse_scratch_free(context*, parse_scratch* scratch) {
  if (scratch == nullptr) return;
  scratch_words_free(scratch);
  std::free(scratch);
}

int32_t parse_engine_run(context* ctx, parse_scratch* sc, defn_rec* rec, const char* text,
                         parse_token_slot* slots, uint32_t* count, parse_info* info) {
  *count = 0;
  if (sc == nullptr || text == nullptr || slots == nullptr) return TQ_ERR_ARGUMENT;
  parse_defn_kind_rec* part = parse_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  if (part->prepared.load(std::memory_order_acquire) != 0 && info == nullptr) {
    return engine_core(ctx, sc, rec, part, text, slots, count, info);
  }
  // Preparing needs the write hold, and so does an info, which takes a
  // reference to the parser object its solutions were made by. While the
  // call only reads it is refused, and runs again under it.
  write_hold hold(ctx);
  if (!hold.held()) return hold.rc();
  const int32_t rc = engine_core(ctx, sc, rec, part, text, slots, count, info);
  const int32_t released = hold.release();
  return rc < 0 || released == 0 ? rc : released;
}

int32_t parse_defn_run(context* ctx, defn_rec* rec, const char* text, parse_token_slot* slots, uint32_t* count,
                       parse_info* info) {
  parse_scratch* sc = nullptr;
  const int32_t made = parse_scratch_get(ctx, &sc);
  if (made != 0) {
    *count = 0;
    return made;
  }
  return parse_engine_run(ctx, sc, rec, text, slots, count, info);
}

// ---- Fillers ---------------------------------------------------------------------------

int32_t parse_tokens_from_solution(context* ctx, const defn_rec* rec, const parse_solution* best,
                                   uint32_t token_count, const word_list* words, const analysed_word_list* awl,
                                   parse_token_slot* slots) {
  if (best == nullptr) return parse_tokens_even_split(ctx, rec, token_count, words, awl, slots);
  slots_reset(slots, true);
  char text[kWordTextSize];
  for (const auto& tok : rec->tokens.items) {
    const parse_token_kind_rec* block = parse_token_part(tok.get());
    if (block == nullptr || tok->key < 0 || static_cast<uint32_t>(tok->key) >= kParseSlots) continue;
    char* value = slots[tok->key].value;
    bool cut = false;
    for (uint32_t j = 0; j < block->count && j < kParseTokenCats; ++j) {
      cat_span span{};
      int32_t rc = parse_solution_cat_span_get(ctx, best, block->cats[j].name, &span);
      if (rc < 0) return rc;
      if (span.found == 0) continue;
      wordlist_surface_text(text, words, span.first, span.last + 1);
      cut = value_append(value, text, token_separator(tok.get())) || cut;
    }
    if (cut) value_cut_note(ctx, value);
  }
  return 0;
}

int32_t parse_tokens_nosol(context* ctx, parse_scratch* sc, const defn_rec* rec, uint32_t token_count,
                           const word_list* words, const analysed_word_list* awl, parse_token_slot* slots) {
  (void)ctx;
  const parse_defn_kind_rec* part = parse_defn_part(rec);
  if (part == nullptr) return TQ_ERR_ARGUMENT;
  const uint32_t n = analysed_count(awl);
  // No slot beyond the definition's tokens, the no-solution slots or 32.
  const uint32_t slots_used = std::min(token_count, std::min(part->nosol.count(), kParseSlots));
  std::memset(sc->assigned, 0, sizeof sc->assigned);
  std::memset(sc->token_word_count, 0, sizeof sc->token_word_count);
  std::memset(sc->use_counts, 0, sizeof sc->use_counts);
  for (uint32_t j = 0; j < token_count; ++j) {
    slots[j].index = -1;
    slots[j].value[0] = '\0';
  }
  auto place = [&](uint32_t j, uint32_t w) {
    sc->token_words[j][sc->token_word_count[j]++] = static_cast<uint8_t>(w);
    sc->assigned[w] = 1;
  };
  static constexpr int32_t kBands[] = {90, 70, 50, 30, 10};
  for (int32_t band : kBands) {
    for (uint32_t j = 0; j < slots_used; ++j) {
      const parse_token_kind_rec* block = parse_token_part(part->nosol.items[j].get());
      if (block == nullptr || block->count == 0) continue;
      for (uint32_t w = 0; w < n; ++w) {
        if (sc->assigned[w] != 0) continue;
        for (uint32_t c = 0; c < block->count && sc->assigned[w] == 0; ++c) {
          const parse_token_cat& cat = block->cats[c];
          if (!word_has(awl, w, cat.name, band, false)) continue;
          if (cat.max_words > 0 && sc->use_counts[j][c] >= cat.max_words) continue;
          slots[j].index = static_cast<int32_t>(j);
          place(j, w);
          sc->use_counts[j][c] += 1;
        }
      }
    }
  }
  const int32_t u = part->unknown_token;
  if (u >= 0 && static_cast<uint32_t>(u) < slots_used) {
    for (uint32_t w = 0; w < n; ++w) {
      if (sc->assigned[w] != 0) continue;
      bool excluded = false;
      for (const parse_token_cat& x : part->excluded) excluded = excluded || word_has(awl, w, x.name, 0, true);
      if (excluded) {
        sc->assigned[w] = 1;
        continue;
      }
      place(static_cast<uint32_t>(u), w);
      slots[u].index = u;
    }
  }
  for (uint32_t j = 0; j < token_count; ++j) {
    if (slots[j].index == -1) {
      slots[j].index = static_cast<int32_t>(j);
      continue;
    }
    uint8_t* list = sc->token_words[j];
    const uint32_t m = sc->token_word_count[j];
    std::sort(list, list + m, [words](uint8_t a, uint8_t b) {
      const word_rec* wa = wordlist_word_at(words, a);
      const word_rec* wb = wordlist_word_at(words, b);
      if (wa == nullptr || wb == nullptr) return wa != nullptr;
      return wa->start < wb->start;
    });
    const char* separator = token_separator(j < part->nosol.count() ? part->nosol.items[j].get() : nullptr);
    bool cut = false;
    for (uint32_t k = 0; k < m; ++k) {
      const word_rec* w = wordlist_word_at(words, list[k]);
      if (w != nullptr) cut = value_append(slots[j].value, w->text, separator) || cut;
    }
    if (cut) value_cut_note(ctx, slots[j].value);
  }
  return 0;
}

int32_t parse_tokens_even_split(context*, const defn_rec* rec, uint32_t token_count, const word_list* words,
                                const analysed_word_list* awl, parse_token_slot* slots) {
  if (rec->tokens.count() == 0) {
    for (uint32_t i = 0; i < token_count; ++i) {
      slots[i].index = static_cast<int32_t>(i);
      slots[i].value[0] = '\0';
    }
    return 0;
  }
  if (token_count == 0) return -1;
  const int32_t w = static_cast<int32_t>(analysed_count(awl));
  const int32_t per = w / static_cast<int32_t>(token_count) + 1;
  for (uint32_t i = 0; i < token_count; ++i) {
    slots[i].index = static_cast<int32_t>(i);
    const int32_t from = static_cast<int32_t>(i) * per;
    const int32_t to = std::min(from + per, w);
    // The surface text is at most as long as a value.
    if (from < to) {
      wordlist_surface_text(slots[i].value, words, from, to);
    } else {
      slots[i].value[0] = '\0';
    }
  }
  return 0;
}

// ---- Exports ------------------------------------------------------------------------------

namespace {

void slots_clear(context* ctx, parse_token_slot* tokens, uint32_t* num_tokens) {
  for (uint32_t i = 0; i < kParseSlots; ++i) {
    tokens[i].index = -1;
    strio_out_clear_n(ctx, tokens[i].value, sizeof tokens[i].value);
  }
  *num_tokens = 0;
}

// The parse into the scratch's slots, the caller's not touched: the input
// converted, the definition found, the engine run. The input's warning, or
// the failure.
int32_t parse_to_scratch(context* ctx, int32_t index, const char* data, parse_info* info, parse_scratch** sc,
                         uint32_t* count, int32_t* parsed) {
  if (int32_t made = parse_scratch_get(ctx, sc); made != 0) return made;
  char text[kParseValueMax + 4];
  const int32_t input = strio_in_1024(ctx, data, text, kStrioConvert | kStrioValue);
  if (input < 0) return input;
  defn_rec* rec = nullptr;
  const int32_t rc = defn_record_get_for_read(ctx, kDefnParse, index, &rec);
  if (rc < 0) return rc;
  *parsed = parse_engine_run(ctx, *sc, rec, text, (*sc)->slots, count, info);
  return *parsed < 0 ? *parsed : input;
}

// The caller's slots are cleared, and filled, once the parse is done: a
// run refused the write hold on the way (the definition prepared on first
// use, a resource loaded) leaves them as they were, since the run again may
// fail before it would clear them (the locale unloaded in between), as a
// single-threaded call failing there leaves them. Any other failure leaves
// them cleared.
int32_t parse_by_index(context* ctx, int32_t index, const char* data, parse_token_slot* tokens,
                       uint32_t* num_tokens, parse_info* info) {
  parse_scratch* sc = nullptr;
  uint32_t count = 0;
  int32_t parsed = 0;
  const int32_t input = parse_to_scratch(ctx, index, data, info, &sc, &count, &parsed);
  if (input < 0) {
    if (!call_refused(ctx)) slots_clear(ctx, tokens, num_tokens);
    return input;
  }
  slots_clear(ctx, tokens, num_tokens);
  int32_t rc = 0;
  *num_tokens = count;
  int32_t output = 0;
  for (uint32_t k = 0; k < count; ++k) {
    tokens[k].index = sc->slots[k].index;
    rc = strio_out_sized(ctx, sc->slots[k].value, tokens[k].value, sizeof tokens[k].value, kStrioConvert);
    if (rc < 0) return rc;
    if (rc > 0) output = rc;
  }
  if (parsed > 0) return parsed;
  if (input > 0) return input;
  return output;
}

int32_t parse_by_name(context* ctx, const char* name, uint32_t flags, const char* data, parse_token_slot* tokens,
                      uint32_t* num_tokens, parse_info* info) {
  int32_t index = -1;
  const int32_t rc = defn_index_get_by_name(ctx, kDefnParse, name, kDefnNameConvert | flags, &index);
  if (rc < 0) return rc;
  return parse_by_index(ctx, index, data, tokens, num_tokens, info);
}

}  // namespace

int32_t tqx_parse(context* ctx, const char* parse_defn, const char* data, parse_token_slot* tokens,
                  uint32_t* num_tokens) {
  return parse_by_name(ctx, parse_defn, 0, data, tokens, num_tokens, nullptr);
}
int32_t tqx_parse_by_index(context* ctx, int32_t index, const char* data, parse_token_slot* tokens,
                           uint32_t* num_tokens) {
  return parse_by_index(ctx, index, data, tokens, num_tokens, nullptr);
}
int32_t tqx_parse_nonsurfaced(context* ctx, const char* parse_defn, const char* data, parse_token_slot* tokens,
                              uint32_t* num_tokens) {
  return parse_by_name(ctx, parse_defn, kDefnAnySurface, data, tokens, num_tokens, nullptr);
}
int32_t tqx_parse_with_info(context* ctx, const char* parse_defn, const char* data, parse_token_slot* tokens,
                            uint32_t* num_tokens, parse_info* info) {
  return parse_by_name(ctx, parse_defn, 0, data, tokens, num_tokens, info);
}
int32_t tqx_parse_with_info_nonsurfaced(context* ctx, const char* parse_defn, const char* data,
                                        parse_token_slot* tokens, uint32_t* num_tokens, parse_info* info) {
  return parse_by_name(ctx, parse_defn, kDefnAnySurface, data, tokens, num_tokens, info);
}
int32_t tqx_parse_with_info_by_index(context* ctx, int32_t index, const char* data, parse_token_slot* tokens,
                                     uint32_t* num_tokens, parse_info* info) {
  return parse_by_index(ctx, index, data, tokens, num_tokens, info);
}

}  // namespace tq

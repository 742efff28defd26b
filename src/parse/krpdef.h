// Parse definitions (kind 5): the kind part of a definition record, the
// categories each of its tokens takes, the hooks through which the
// definition store and the token layer reach them, the definition's own
// content in its "Parsorithm" element, and the preparation that makes a read
// definition usable (categories checked against the grammar, categorization
// libraries bound, analysis options filled, a parser object got from the
// shared cache).
//
// Preparation is lazy: the first parse that finds a definition unprepared
// prepares it under the shared state's write hold. Anything that changes
// what preparation used drops it again through the kind's invalidate hook
// (kFieldDropsPrepared or kFieldDropsParser), so the next parse prepares
// anew. Accessors that free or replace a list the analysis options point
// into (normalization libraries, vocabularies, categorization libraries,
// default categories, the chopper) must invalidate too, even where the
// change only removes: the options refer to the definition's lists, never
// copy them.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krdcat.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdtok.h"
#include "kbstore/krkind.h"
#include "parse/krmorph.h"
#include "parse/kroptp.h"
#include "parse/krparser.h"
#include "resources/krregxcat.h"

namespace tq {

inline constexpr const char* kParseRootType = "Parsorithm";
inline constexpr const char* kParseRootTypeVertical = "Parsorithm -- Vertical";
// A token (and a no-solution token) takes at most this many categories.
inline constexpr uint32_t kParseTokenCats = 32;

// One category of a token: its name in the grammar and, for a no-solution
// token, how many words it may take (0: no limit). The counts of a
// no-solution run live in the context's parse scratch, not here, so that
// contexts parsing with one definition never share them.
struct parse_token_cat {
  char name[kCategoryNameSize];
  int32_t max_words;
};

// The kind block of a token of a parse definition (and of a no-solution slot).
struct parse_token_kind_rec {
  parse_token_cat cats[kParseTokenCats];
  uint32_t count;
  // Set by reading when the element held more than 32 categories; the
  // definition's validation reports it (the token hook does not know the
  // definition) and clears it.
  uint32_t overflow;
};

struct parse_defn_kind_rec {
  int32_t root_index = -1;  // in the grammar's category list; set by preparation
  char root_name[kCategoryNameSize] = {};  // uppercased
  rsrc_ref grammar;                        // kRsrcGrammar; empty when none
  // Owned entries, in order; each holds one regex-library reference.
  std::vector<cat_regexlib_entry*> cat_regexlibs;
  std::unique_ptr<morph_options_rec> morph;  // filled by preparation
  parser_rec* parser = nullptr;              // one reference from the cache
  // One slot per datatype token when any "NoSol Token" was read (else
  // none); a slot the file left unfilled has key -1 and no categories.
  dtok_list nosol;
  int32_t unknown_token = -1;  // position among the tokens; -1 none
  std::vector<parse_token_cat> excluded;
  uint32_t excluded_present = 0;  // the list exists (written even when empty)
  parse_opt_params opt{};
  // 1 after a successful preparation. Written under the write hold; read
  // by parses under the read hold alone, so it is atomic and published with
  // release order after everything preparation filled.
  std::atomic<uint32_t> prepared{0};
};

inline parse_defn_kind_rec* parse_defn_part(defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnParse ? static_cast<parse_defn_kind_rec*>(rec->part) : nullptr;
}
inline const parse_defn_kind_rec* parse_defn_part(const defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnParse ? static_cast<const parse_defn_kind_rec*>(rec->part) : nullptr;
}
inline parse_token_kind_rec* parse_token_part(dtok_rec* tok) {
  return tok != nullptr && tok->kind == kDefnParse ? static_cast<parse_token_kind_rec*>(tok->part) : nullptr;
}
inline const parse_token_kind_rec* parse_token_part(const dtok_rec* tok) {
  return tok != nullptr && tok->kind == kDefnParse ? static_cast<const parse_token_kind_rec*>(tok->part) : nullptr;
}

// The kind's operations, lent to the definition store at context start.
extern const defn_kind_ops kParseDefnKindOps;

// ---- Hooks (reached through kParseDefnKindOps) ----------------------------------------

int32_t parse_defn_type_matches(context* ctx, const char* include_name);
int32_t parse_defn_kind_init(context* ctx, defn_rec* rec);
int32_t parse_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec);
int32_t parse_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec);
int32_t parse_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst);
int32_t parse_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs);
// The definition's token count must equal its datatype's (-300, message 115);
// token categories read without a grammar are refused here (-301, message
// 125), once every token was read. Under option bit 22 a definition read
// whole is prepared here, after its tokens, so that preparation sees their
// categories.
int32_t parse_defn_kind_validate(context* ctx, defn_rec* rec);
// Why the reader will refuse the definition's tokens (not one for each
// token of its datatype), or NULL; validate refuses by it.
const char* parse_defn_unreadable(context* ctx, const defn_rec* rec);
// Any drop bit resets "prepared": the next parse prepares again.
void parse_defn_invalidate(context* ctx, defn_rec* rec, uint32_t what);

int32_t parse_defn_token_init(context* ctx, dtok_rec* tok);
int32_t parse_defn_token_read(context* ctx, const xmldoc* element, dtok_rec* tok);
int32_t parse_defn_token_write(context* ctx, xmldoc* element, const dtok_rec* tok);
int32_t parse_defn_token_copy(context* ctx, const dtok_rec* src, dtok_rec* dst, int32_t keep_refs);
int32_t parse_defn_token_free(context* ctx, dtok_rec* tok, int32_t keep_refs);

// ---- Preparation -------------------------------------------------------------------------

// Prepares the definition under the write hold (taken and given back here;
// re-entrant when the caller holds it). A definition another context
// prepared meanwhile is left as it is (0). -704 when the record is no longer
// a parse definition of a loaded locale. -706 (message 1474) for a root or
// token category the grammar lacks; the failures of the grammar, the
// categorization binding, the analysis options and the parser cache. On
// failure the definition stays unprepared.
int32_t parse_defn_prepare(context* ctx, defn_rec* rec);
// The same for a caller that holds the write hold and knows the record is
// still loaded (the locale reader, a parse that re-checked it).
int32_t parse_defn_prepare_held(context* ctx, defn_rec* rec);
// The datatype position that names no-solution slot p, and the unknown
// token at p, in files and getters: the key of the definition's token at p,
// so that a slot goes with the token whose output it fills (after two
// tokens swapped names too); past the tokens, or for a token that names no
// datatype token, own_key.
int32_t parse_nosol_key(const defn_rec* rec, int32_t p, int32_t own_key);
// 1 when the definition has no-solution tokens, else 0.
int32_t parse_defn_has_nosol_tokens(const defn_rec* rec);

// ---- Lists of the kind part, for the accessors ---------------------------------------------
// Each changes the record as given (the caller holds the write hold and
// invalidates); names are UTF-8 and uppercased by the root rules, as names
// read from files are.

// Appends a category to a token's block: -601 (message 1473, naming the
// definition) past 32.
int32_t parse_token_cat_add(context* ctx, const defn_rec* rec, parse_token_kind_rec* block, const char* name,
                            int32_t max_words);
// Removes category j (-800 out of range); later ones move down.
int32_t parse_token_cat_delete(context* ctx, parse_token_kind_rec* block, int32_t j);
// Appends an excluded category (the list then exists).
int32_t parse_defn_excluded_add(context* ctx, parse_defn_kind_rec* part, const char* name);
// Appends a categorization entry (taking over `entry`, which the caller
// allocated with new); -600 with the entry freed.
int32_t parse_defn_cat_regexlib_append(context* ctx, parse_defn_kind_rec* part, cat_regexlib_entry* entry);
// Frees entry j (its references given back); -800 out of range.
int32_t parse_defn_cat_regexlib_delete(context* ctx, parse_defn_kind_rec* part, int32_t j);

// ---- Exports ------------------------------------------------------------------------------

// The block's override flag and its effective levels and limit.
int32_t tqx_parse_defn_optimization_params_get(context* ctx, int32_t index, int32_t* override_flag,
                                               int32_t* levels, int32_t* limit);
// Levels, then limit (each validated, -802), both switching the override on.
int32_t tqx_parse_defn_optimization_params_set(context* ctx, int32_t index, int32_t levels, int32_t limit);
// The override flag off.
int32_t tqx_parse_defn_optimization_params_remove(context* ctx, int32_t index);

}  // namespace tq

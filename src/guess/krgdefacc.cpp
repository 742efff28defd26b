#include "guess/krgdefacc.h"

#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "guess/krgdef.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krlib.h"
#include "resources/krgram.h"
#include "resources/krvcld.h"

namespace tq {

namespace {

constexpr int32_t K = kDefnLocaleGuess;
constexpr uint32_t kNameIn = 4096;
constexpr uint32_t kRegexNameIn = 16384;
constexpr uint32_t kGrammarNameIn = 1024;
constexpr uint32_t kCategoryIn = kCategoryNameSize - 1;

int32_t part_for_read(context* ctx, int32_t index, guess_defn_kind_rec** part) {
  *part = nullptr;
  defn_rec* rec = nullptr;
  const int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  *part = guess_defn_part(rec);
  return *part == nullptr ? TQ_ERR_INDEX : 0;
}

void unprepare(guess_defn_kind_rec* part) { part->prepared.store(0, std::memory_order_release); }

// Runs body(rec, part) on the definition taken for change and gives the
// hold back on every path. A body that succeeds with `unprepares` set clears
// "prepared" before the hold goes, so no guess sees the change half-made.
template <typename F>
int32_t edit_part(context* ctx, int32_t index, bool unprepares, F&& body) {
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, K, index, &rec, &held);
  if (rc < 0) return rc;
  try {
    guess_defn_kind_rec* part = guess_defn_part(rec);
    rc = part == nullptr ? TQ_ERR_INDEX : body(rec, part);
    if (rc >= 0 && unprepares) unprepare(part);
  } catch (const std::bad_alloc&) {
    rc = TQ_ERR_NO_MEMORY;
  }
  return rc_combine(rc, held.release());
}

// A change whose success raises the definition to level 8.
int32_t raising(context* ctx, int32_t index, int32_t rc) {
  if (rc < 0) return rc;
  const int32_t raised = guess_defn_level_raise(ctx, index, kGuessLevelV8);
  return raised < 0 ? raised : rc;
}

// A caller's text in UTF-8 (at most max bytes).
struct text_in {
  std::vector<char> text;
  int32_t rc;
  text_in(context* ctx, const char* given, uint32_t max) : text(max + 1, '\0') {
    rc = strio_in(ctx, given, text.data(), max, kStrioConvert);
  }
  const char* c_str() const { return text.data(); }
  bool empty() const { return text[0] == '\0'; }
};

int32_t name_out(context* ctx, uint32_t kind, const rsrc_ref& ref, char* out) {
  char name[kRsrcNameSize] = "";
  if (ref.held()) {
    if (int32_t rc = rsrc_name_get(ctx, kind, ref.index(), name, sizeof name); rc < 0) return rc;
  }
  const int32_t rc = strio_out_4096(ctx, name, out, kStrioConvert);
  if (rc < 0) strio_out_clear(ctx, out);
  return rc;
}

int32_t refuse(context* ctx, const char* what) {
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, what);
  return TQ_ERR_ARGUMENT;
}

int32_t vocab_open(context* ctx, const char* name, rsrc_ref* out) {
  const int32_t rc = rsrc_open_checked(ctx, kRsrcVocab, name, 0, out);
  return rc < 0 ? rc : 0;
}

int32_t grammar_open(context* ctx, const char* name, rsrc_ref* out) {
  const int32_t rc = rsrc_open_checked_by(ctx, kRsrcGrammar, grammar_register, name, out);
  return rc < 0 ? rc : 0;
}

int32_t release_all(context* ctx, std::vector<rsrc_ref>& list) {
  int32_t first = 0;
  for (rsrc_ref& r : list) {
    const int32_t rc = r.release(ctx);
    if (rc < 0 && first == 0) first = rc;
  }
  list.clear();
  return first;
}

// The pieces of a pattern as a caller gives them, checked and opened before
// any definition is touched.
// A pattern's texts converted as the call starts, so that a text no file
// can hold is refused whatever else the call names.
struct pattern_in {
  text_in grammar_name;
  text_in root;
  text_in sought_name;
  char category[kCategoryNameSize] = {};
  char sought[kCategoryNameSize] = {};
  rsrc_ref grammar;
  int32_t category_index = -1;
  int32_t sought_index = -1;
  int32_t warning = 0;
  pattern_in(context* ctx, const char* g, const char* r, const char* s)
      : grammar_name(ctx, g, kGrammarNameIn), root(ctx, r, kCategoryIn), sought_name(ctx, s, kCategoryIn) {}
  // The first conversion's failure; 0.
  int32_t failed() const {
    for (int32_t rc : {grammar_name.rc, root.rc, sought_name.rc}) {
      if (rc < 0) return rc;
    }
    return 0;
  }
};

// Mode 0 or 1 and a likelihood of the table, else -802; the names, which
// the caller converted (in.failed() 0), with categories uppercased as files
// keep them; the grammar opened and both categories found in it (-802 when
// either is missing). Without a grammar the pattern matches words by their
// category alone.
int32_t pattern_take(context* ctx, pattern_in& in, uint32_t mode, uint32_t likelihood) {
  if (mode > kGuessPhrase) return refuse(ctx, "'mode' is neither 0 (Element) nor 1 (Phrase).");
  if (likelihood >= kGuessPatternLikelihoodCount) return refuse(ctx, "'likelihood' is outside 0 to 6.");
  in.warning = in.grammar_name.rc > 0 ? in.grammar_name.rc : in.root.rc > 0 ? in.root.rc : in.sought_name.rc;
  if (int32_t rc = category_name_upper(ctx, in.root.c_str(), in.category, true); rc < 0) return rc;
  if (int32_t rc = category_name_upper(ctx, in.sought_name.c_str(), in.sought, true); rc < 0) return rc;
  if (in.grammar_name.empty()) return 0;
  if (int32_t rc = grammar_open(ctx, in.grammar_name.c_str(), &in.grammar); rc < 0) return rc;
  grammar_rec* g = nullptr;
  int32_t rc = grammar_get(ctx, in.grammar.index(), &g);
  if (rc >= 0) {
    in.category_index = grammar_category_index_by_name(ctx, g, in.category);
    in.sought_index = grammar_category_index_by_name(ctx, g, in.sought);
    if (in.category_index < 0 || in.sought_index < 0) {
      rc = refuse(ctx, "A category of the pattern is not in its grammar.");
    }
  }
  if (rc < 0) (void)in.grammar.release(ctx);
  return rc;
}

// Moves what pattern_take made into a pattern; the old grammar reference
// (held by the pattern) is given back after the new one is in place.
int32_t pattern_store(context* ctx, guess_pattern_rec& p, pattern_in& in, uint32_t mode, uint32_t likelihood,
                      uint32_t stop) {
  rsrc_ref old = std::move(p.grammar);
  p.grammar = std::move(in.grammar);
  int32_t rc = 0;
  if (p.parser != nullptr) rc = parser_release(ctx, p.parser);
  p.parser = nullptr;
  const int32_t released = old.release(ctx);
  std::memcpy(p.category, in.category, sizeof p.category);
  std::memcpy(p.sought, in.sought, sizeof p.sought);
  p.category_index = in.category_index;
  p.sought_index = in.sought_index;
  p.mode = mode;
  p.likelihood = likelihood;
  p.stop = stop;
  return rc < 0 ? rc : released;
}

template <typename List>
bool past(const List& list, uint32_t position) {
  return position >= list.size();
}

}  // namespace

int32_t guess_defn_level_raise(context* ctx, int32_t index, uint32_t level) {
  return edit_part(ctx, index, false, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
    if (part->level < level) part->level = level;
    return 0;
  });
}

// ---- Shared accessors that also raise the level ----------------------------------------------

int32_t tqx_guess_defn_add(context* ctx, const char* name, int32_t* index) {
  const int32_t rc = defn_add(ctx, K, name, kDefnNameConvert, index);
  return raising(ctx, *index, rc);
}

int32_t tqx_guess_defn_copy(context* ctx, const char* sname, const char* dname, int32_t* index) {
  return defn_copy(ctx, K, sname, dname, kDefnNameConvert, index);
}

int32_t tqx_guess_defn_chopper_name_set(context* ctx, int32_t index, const char* name) {
  return raising(ctx, index, defn_chopper_name_set(ctx, K, index, name));
}

int32_t tqx_guess_defn_norm_rgx_name_get(context* ctx, int32_t index, char* name) {
  return defn_normalization_regexlib_name_get_by_index(ctx, K, index, 0, name);
}

// The list ends up holding the named library alone (an empty name empties
// it); the new library is opened before the old ones are given back, so a
// name that cannot be opened leaves the list as it was.
int32_t tqx_guess_defn_norm_rgx_name_set(context* ctx, int32_t index, const char* name) {
  text_in in(ctx, name, kRegexNameIn);
  if (in.rc < 0) return in.rc;
  const int32_t rc = edit_part(ctx, index, true, [&](defn_rec* rec, guess_defn_kind_rec* part) -> int32_t {
    std::vector<rsrc_ref> fresh;
    fresh.reserve(1);
    if (!in.empty()) {
      rsrc_ref ref;
      if (int32_t orc = rsrc_open_checked(ctx, kRsrcRegex, in.c_str(), 0, &ref); orc < 0) return orc;
      fresh.push_back(std::move(ref));
    }
    std::swap(rec->normalization, fresh);
    // The list changed whatever giving the old ones back reports.
    const int32_t released = release_all(ctx, fresh);
    if (released < 0) unprepare(part);
    return released;
  });
  return raising(ctx, index, rc < 0 ? rc : in.rc);
}

int32_t tqx_guess_defn_norm_rgx_name_set_by_index(context* ctx, int32_t index, int32_t position, const char* name) {
  return raising(ctx, index, defn_normalization_regexlib_name_set_by_index(ctx, K, index, position, name));
}

int32_t tqx_guess_defn_norm_rgx_add(context* ctx, int32_t index, const char* name) {
  return raising(ctx, index, defn_normalization_regexlib_add(ctx, K, index, name));
}

int32_t tqx_guess_defn_parse_vocab_info_set(context* ctx, int32_t index, int32_t position, const char* name,
                                            uint32_t stop) {
  return raising(ctx, index, defn_vocabulary_info_set_by_index(ctx, K, index, position, name, stop));
}

int32_t tqx_guess_defn_parse_vocab_add(context* ctx, int32_t index, const char* name, uint32_t stop) {
  return raising(ctx, index, defn_vocabulary_add(ctx, K, index, name, stop));
}

int32_t tqx_guess_defn_parse_vocab_delete_all(context* ctx, int32_t index) {
  return raising(ctx, index, defn_vocabularies_delete_all(ctx, K, index));
}

int32_t tqx_guess_defn_fuzzy_vocab_lookup_params_set(context* ctx, int32_t index, uint32_t enabled,
                                                     uint32_t threshold) {
  return raising(ctx, index, defn_fuzzy_vocab_lookup_params_set(ctx, K, index, enabled, threshold));
}

int32_t tqx_guess_defn_fuzzy_vocab_lookup_params_set_by_index(context* ctx, int32_t index, int32_t position,
                                                              uint32_t enabled, uint32_t threshold) {
  return raising(ctx, index, defn_fuzzy_vocab_lookup_params_set_by_index(ctx, K, index, position, enabled, threshold));
}

int32_t tqx_guess_defn_default_category_info_set(context* ctx, int32_t index, int32_t position,
                                                 const char* category, uint32_t likelihood) {
  return raising(ctx, index, defn_default_category_info_set(ctx, K, index, position, category, likelihood));
}

int32_t tqx_guess_defn_default_category_add(context* ctx, int32_t index, int32_t* cat_index) {
  return raising(ctx, index, defn_default_category_add(ctx, K, index, cat_index));
}

int32_t tqx_guess_defn_default_category_delete(context* ctx, int32_t index, int32_t position) {
  return raising(ctx, index, defn_default_category_delete(ctx, K, index, position));
}

int32_t tqx_guess_defn_default_categories_delete_all(context* ctx, int32_t index) {
  return raising(ctx, index, defn_default_categories_delete_all(ctx, K, index));
}

// ---- Flags, level and language definition -------------------------------------------------------

int32_t tqx_guess_defn_implemented_for_locale(context*, uint32_t, uint32_t, uint32_t* imp) {
  *imp = 1;
  return 0;
}

int32_t tqx_guess_defn_version_get(context* ctx, int32_t index, uint32_t* value) {
  *value = 0;
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  *value = part->level;
  return 0;
}

int32_t tqx_guess_defn_touch(context* ctx, int32_t index) { return guess_defn_level_raise(ctx, index, kGuessLevelV8); }

int32_t tqx_guess_defn_word_analysis_enabled_get(context* ctx, int32_t index, uint32_t* enabled) {
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  *enabled = part->word_analysis;
  return 0;
}

int32_t tqx_guess_defn_word_analysis_enabled_set(context* ctx, int32_t index, uint32_t value) {
  return raising(ctx, index, edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
                   part->word_analysis = value != 0 ? 1u : 0u;  // kept as the file keeps it: yes or no
                   return 0;
                 }));
}

int32_t tqx_guess_defn_force_guess_choice_get(context* ctx, int32_t index, uint32_t* force) {
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  *force = part->force_choice;
  return 0;
}

int32_t tqx_guess_defn_force_guess_choice_set(context* ctx, int32_t index, uint32_t value) {
  return edit_part(ctx, index, false, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
    part->force_choice = value != 0 ? 1u : 0u;  // kept as the file keeps it: yes or no
    return 0;
  });
}

int32_t tqx_guess_defn_lang_defn_index_get(context* ctx, int32_t index, int32_t* lang_idx) {
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  *lang_idx = part->lang_index;
  return 0;
}

// -1 or a language definition of the guess definition's own locale: an
// index that names none would fail every later guess and every write.
int32_t tqx_guess_defn_lang_defn_index_set(context* ctx, int32_t index, int32_t value) {
  return raising(ctx, index, edit_part(ctx, index, true, [&](defn_rec* rec, guess_defn_kind_rec* part) -> int32_t {
                   if (value != -1) {
                     if (value < 0) return refuse(ctx, "'value' is not a language definition index.");
                     defn_rec* lang = nullptr;
                     const int32_t rc = defn_record_get_for_read_in_locale(ctx, kDefnLangGuess, rec->locale, value, &lang);
                     if (rc < 0) return rc;
                     if (lang->kind != kDefnLangGuess) return TQ_ERR_INDEX;  // an unloaded slot
                     // One hidden behind another of its name would not be
                     // named after a write and a load.
                     const int32_t hidden = defn_held_index_check(ctx, kDefnLangGuess, rec->locale, value);
                     if (hidden < 0) return hidden;
                   }
                   part->lang_index = value;
                   return 0;
                 }));
}

// ---- Known-word vocabularies ----------------------------------------------------------------

int32_t tqx_guess_defn_known_word_vocab_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  *count = static_cast<uint32_t>(part->known_vocabs.size());
  return 0;
}

int32_t tqx_guess_defn_known_word_vocab_name_get(context* ctx, int32_t index, uint32_t position, char* name) {
  strio_out_clear(ctx, name);
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  if (past(part->known_vocabs, position)) return TQ_ERR_INDEX;
  return name_out(ctx, kRsrcVocab, part->known_vocabs[position], name);
}

// The level stays: renaming a known-word vocabulary is the older form's own
// edit.
int32_t tqx_guess_defn_known_word_vocab_name_set(context* ctx, int32_t index, uint32_t position, const char* name) {
  text_in in(ctx, name, kNameIn);
  if (in.rc < 0) return in.rc;
  const int32_t rc = edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
    if (past(part->known_vocabs, position)) return TQ_ERR_INDEX;
    rsrc_ref& slot = part->known_vocabs[position];
    char present[kRsrcNameSize] = "";
    if (slot.held() && rsrc_name_get(ctx, kRsrcVocab, slot.index(), present, sizeof present) >= 0 &&
        std::strcmp(present, in.c_str()) == 0) {
      return 0;
    }
    rsrc_ref fresh;
    if (int32_t orc = vocab_open(ctx, in.c_str(), &fresh); orc < 0) return orc;
    const int32_t released = slot.release(ctx);
    slot = std::move(fresh);
    return released < 0 ? released : 0;
  });
  return rc < 0 ? rc : in.rc;
}

int32_t tqx_guess_defn_known_word_vocab_add(context* ctx, int32_t index, const char* name) {
  text_in in(ctx, name, kRegexNameIn);
  if (in.rc < 0) return in.rc;
  const int32_t rc = edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
    rsrc_ref fresh;
    if (int32_t orc = vocab_open(ctx, in.c_str(), &fresh); orc < 0) return orc;
    return defn_list_append(part->known_vocabs, std::move(fresh), [ctx](rsrc_ref& r) { (void)r.release(ctx); });
  });
  return raising(ctx, index, rc < 0 ? rc : in.rc);
}

int32_t tqx_guess_defn_known_word_vocab_delete(context* ctx, int32_t index, uint32_t position) {
  return raising(ctx, index, edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
                   if (past(part->known_vocabs, position)) return TQ_ERR_INDEX;
                   const int32_t released = part->known_vocabs[position].release(ctx);
                   part->known_vocabs.erase(part->known_vocabs.begin() + position);
                   if (released < 0) unprepare(part);  // the entry is gone all the same
                   return released < 0 ? released : 0;
                 }));
}

int32_t tqx_guess_defn_known_word_vocab_delete_all(context* ctx, int32_t index) {
  return raising(ctx, index, edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
                   const int32_t released = release_all(ctx, part->known_vocabs);
                   if (released < 0) unprepare(part);  // the list is empty all the same
                   return released;
                 }));
}

// ---- Known pattern regex libraries ------------------------------------------------------------
// The regex part of a guess does not depend on preparation: these leave
// "prepared" alone, but for a replaced library.

int32_t tqx_guess_defn_known_ptrn_rgx_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  *count = static_cast<uint32_t>(part->known_regexlibs.size());
  return 0;
}

int32_t tqx_guess_defn_known_ptrn_rgx_info_get(context* ctx, int32_t index, uint32_t position, char* rlib_name,
                                               uint32_t* likelihood) {
  strio_out_clear(ctx, rlib_name);
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  if (past(part->known_regexlibs, position)) return TQ_ERR_INDEX;
  const guess_known_regexlib& k = part->known_regexlibs[position];
  const int32_t rc = name_out(ctx, kRsrcRegex, k.lib, rlib_name);
  if (rc >= 0) *likelihood = k.likelihood;
  return rc;
}

int32_t tqx_guess_defn_known_ptrn_rgx_info_set(context* ctx, int32_t index, uint32_t position, uint32_t likelihood,
                                               const char* rlib_name) {
  if (likelihood >= kGuessRegexLikelihoodCount) return refuse(ctx, "'likelihood' is outside 0 to 5.");
  text_in in(ctx, rlib_name, kRegexNameIn);
  if (in.rc < 0) return in.rc;
  const int32_t rc = edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
    if (past(part->known_regexlibs, position)) return TQ_ERR_INDEX;
    guess_known_regexlib& k = part->known_regexlibs[position];
    rsrc_ref fresh;
    if (int32_t orc = rsrc_open_checked(ctx, kRsrcRegex, in.c_str(), 0, &fresh); orc < 0) return orc;
    const int32_t released = k.lib.release(ctx);
    k.lib = std::move(fresh);
    k.likelihood = likelihood;
    return released < 0 ? released : 0;
  });
  return raising(ctx, index, rc < 0 ? rc : in.rc);
}

int32_t tqx_guess_defn_known_ptrn_rgx_add(context* ctx, int32_t index, uint32_t likelihood, const char* rlib_name) {
  if (likelihood >= kGuessRegexLikelihoodCount) return refuse(ctx, "'likelihood' is outside 0 to 5.");
  text_in in(ctx, rlib_name, kRegexNameIn);
  if (in.rc < 0) return in.rc;
  const int32_t rc = edit_part(ctx, index, false, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
    guess_known_regexlib k;
    k.likelihood = likelihood;
    if (int32_t orc = rsrc_open_checked(ctx, kRsrcRegex, in.c_str(), 0, &k.lib); orc < 0) return orc;
    return defn_list_append(part->known_regexlibs, std::move(k),
                            [ctx](guess_known_regexlib& x) { (void)x.lib.release(ctx); });
  });
  return raising(ctx, index, rc < 0 ? rc : in.rc);
}

int32_t tqx_guess_defn_known_ptrn_rgx_delete(context* ctx, int32_t index, uint32_t position) {
  return raising(ctx, index, edit_part(ctx, index, false, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
                   if (past(part->known_regexlibs, position)) return TQ_ERR_INDEX;
                   const int32_t released = part->known_regexlibs[position].lib.release(ctx);
                   part->known_regexlibs.erase(part->known_regexlibs.begin() + position);
                   if (part->known_regexlibs.empty()) part->known_regexlibs.shrink_to_fit();
                   return released < 0 ? released : 0;
                 }));
}

int32_t tqx_guess_defn_known_ptrn_rgx_delete_all(context* ctx, int32_t index) {
  return raising(ctx, index, edit_part(ctx, index, false, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
                   int32_t first = 0;
                   for (guess_known_regexlib& k : part->known_regexlibs) {
                     const int32_t rc = k.lib.release(ctx);
                     if (rc < 0 && first == 0) first = rc;
                   }
                   part->known_regexlibs.clear();
                   return first;
                 }));
}

// ---- Categorization regex libraries ------------------------------------------------------------

int32_t tqx_guess_defn_cat_regexlib_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  *count = static_cast<uint32_t>(part->cat_regexlibs.size());
  return 0;
}

int32_t tqx_guess_defn_cat_regexlib_info_get(context* ctx, int32_t index, uint32_t position, char* abbrev,
                                             uint32_t* likelihood, char* rlib_name, uint32_t* stop) {
  strio_out_clear(ctx, abbrev);
  strio_out_clear(ctx, rlib_name);
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  if (past(part->cat_regexlibs, position)) return TQ_ERR_INDEX;
  int32_t like = 0;
  int32_t s = 0;
  const int32_t rc =
      cat_regexlib_entry_info_get(ctx, part->cat_regexlibs[position], abbrev, rlib_name, &like, &s, kStrioConvert);
  if (rc < 0) return rc;
  *likelihood = static_cast<uint32_t>(like);
  *stop = static_cast<uint32_t>(s);
  return rc;
}

int32_t tqx_guess_defn_cat_regexlib_info_set(context* ctx, int32_t index, uint32_t position, const char* cat_abbr,
                                             uint32_t likelihood, const char* rlib_name, uint32_t stop) {
  if (int32_t rc = cat_regexlib_texts_check(ctx, cat_abbr, rlib_name, kStrioConvert); rc < 0) return rc;
  return raising(ctx, index, edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
                   if (past(part->cat_regexlibs, position)) return TQ_ERR_INDEX;
                   // The entry keeps what it held when the new one cannot be built.
                   return cat_regexlib_entry_set(ctx, part->cat_regexlibs[position], cat_abbr, -1, likelihood,
                                                 rlib_name, static_cast<int32_t>(stop), kStrioConvert);
                 }));
}

int32_t tqx_guess_defn_cat_regexlib_add(context* ctx, int32_t index, const char* cat_abbr, uint32_t likelihood,
                                        const char* rlib_name, uint32_t stop) {
  return raising(ctx, index, edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
                   auto* entry = new (std::nothrow) cat_regexlib_entry;
                   if (entry == nullptr) return TQ_ERR_NO_MEMORY;
                   cat_regexlib_entry_init(entry);
                   const int32_t rc = cat_regexlib_entry_set(ctx, entry, cat_abbr, -1, likelihood,
                                                             rlib_name, static_cast<int32_t>(stop), kStrioConvert);
                   if (rc < 0) {
                     delete entry;
                     return rc;
                   }
                   const int32_t appended = cat_regexlib_list_append(ctx, &part->cat_regexlibs, entry);
                   return appended < 0 ? appended : rc;
                 }));
}

int32_t tqx_guess_defn_cat_regexlib_delete(context* ctx, int32_t index, uint32_t position) {
  return raising(ctx, index, edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
                   if (past(part->cat_regexlibs, position)) return TQ_ERR_INDEX;
                   return cat_regexlib_list_delete(ctx, &part->cat_regexlibs, static_cast<int32_t>(position));
                 }));
}

int32_t tqx_guess_defn_cat_regexlib_delete_all(context* ctx, int32_t index) {
  return raising(ctx, index, edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
                   cat_regexlib_list_clear(ctx, &part->cat_regexlibs, 0);
                   return 0;
                 }));
}

// ---- Patterns ------------------------------------------------------------------------------------

int32_t tqx_guess_defn_pattern_count_get(context* ctx, int32_t index, uint32_t* count) {
  *count = 0;
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  *count = static_cast<uint32_t>(part->patterns.size());
  return 0;
}

int32_t tqx_guess_defn_pattern_info_get(context* ctx, int32_t index, uint32_t position, char* root_cat,
                                        char* sought_cat, uint32_t* mode, uint32_t* likelihood, uint32_t* stop) {
  strio_out_clear(ctx, root_cat);
  strio_out_clear(ctx, sought_cat);
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  if (past(part->patterns, position)) return TQ_ERR_INDEX;
  const guess_pattern_rec& p = part->patterns[position];
  int32_t rc = strio_out_4096(ctx, p.category, root_cat, kStrioConvert);
  if (rc >= 0) rc = rc_combine(rc, strio_out_4096(ctx, p.sought, sought_cat, kStrioConvert));
  if (rc < 0) {
    strio_out_clear(ctx, root_cat);
    strio_out_clear(ctx, sought_cat);
    return rc;
  }
  *mode = p.mode;
  *likelihood = p.likelihood;
  *stop = p.stop;
  return rc;
}

// Everything is checked and the grammar opened before the pattern is
// appended: a refused pattern leaves the definition as it was.
int32_t tqx_guess_defn_pattern_add(context* ctx, int32_t index, const char* grammar_name, const char* root_cat,
                                   const char* sought_cat, uint32_t mode, uint32_t likelihood, uint32_t stop) {
  pattern_in in(ctx, grammar_name, root_cat, sought_cat);
  if (int32_t rc = in.failed(); rc < 0) return rc;
  const int32_t rc = edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
    if (int32_t trc = pattern_take(ctx, in, mode, likelihood); trc < 0) return trc;
    guess_pattern_rec p;
    optp_block_init(&p.opt);
    const int32_t stored = pattern_store(ctx, p, in, mode, likelihood, stop);  // a new pattern gives nothing back
    const int32_t grown =
        defn_list_append(part->patterns, std::move(p), [ctx](guess_pattern_rec& x) { (void)x.grammar.release(ctx); });
    return grown < 0 ? grown : stored;
  });
  return raising(ctx, index, rc < 0 ? rc : in.warning);
}

int32_t tqx_guess_defn_pattern_info_set(context* ctx, int32_t index, uint32_t position, const char* grammar_name,
                                        const char* root_cat, const char* sought_cat, uint32_t mode,
                                        uint32_t likelihood, uint32_t stop) {
  pattern_in in(ctx, grammar_name, root_cat, sought_cat);
  if (int32_t rc = in.failed(); rc < 0) return rc;
  const int32_t rc = edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
    if (past(part->patterns, position)) return TQ_ERR_INDEX;
    if (int32_t trc = pattern_take(ctx, in, mode, likelihood); trc < 0) return trc;
    return pattern_store(ctx, part->patterns[position], in, mode, likelihood, stop);
  });
  return raising(ctx, index, rc < 0 ? rc : in.warning);
}

int32_t tqx_guess_defn_patterns_delete_all(context* ctx, int32_t index) {
  return raising(ctx, index, edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
                   int32_t first = 0;
                   for (guess_pattern_rec& p : part->patterns) {
                     int32_t rc = p.parser != nullptr ? parser_release(ctx, p.parser) : 0;
                     p.parser = nullptr;
                     rc = rc_combine(rc, p.grammar.release(ctx));
                     if (rc < 0 && first == 0) first = rc;
                   }
                   part->patterns.clear();
                   return first;
                 }));
}

int32_t tqx_guess_defn_grammar_name_get(context* ctx, int32_t index, uint32_t position, char* name) {
  strio_out_clear(ctx, name);
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  if (past(part->patterns, position)) return TQ_ERR_INDEX;
  const guess_pattern_rec& p = part->patterns[position];
  if (!p.grammar.held()) return 0;
  return name_out(ctx, kRsrcGrammar, p.grammar, name);
}

// An empty name leaves the pattern without a grammar. The categories are
// looked up again by preparation, which reports one the grammar lacks.
int32_t tqx_guess_defn_grammar_name_set(context* ctx, int32_t index, uint32_t position, const char* name) {
  text_in in(ctx, name, kNameIn);
  if (in.rc < 0) return in.rc;
  const int32_t rc = edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
    if (past(part->patterns, position)) return TQ_ERR_INDEX;
    guess_pattern_rec& p = part->patterns[position];
    rsrc_ref fresh;
    if (!in.empty()) {
      if (int32_t orc = grammar_open(ctx, in.c_str(), &fresh); orc < 0) return orc;
    }
    const int32_t released = p.grammar.release(ctx);
    if (released < 0) {
      (void)fresh.release(ctx);
      return released;
    }
    p.grammar = std::move(fresh);
    p.category_index = -1;
    p.sought_index = -1;
    return 0;
  });
  return raising(ctx, index, rc < 0 ? rc : in.rc);
}

// ---- Parse options of a pattern -------------------------------------------------------------------

namespace {

template <typename F>
int32_t pattern_read(context* ctx, int32_t index, uint32_t position, F&& body) {
  guess_defn_kind_rec* part = nullptr;
  if (int32_t rc = part_for_read(ctx, index, &part); rc < 0) return rc;
  if (past(part->patterns, position)) return TQ_ERR_INDEX;
  body(part->patterns[position]);
  return 0;
}

// A parse option changes the pattern's parser: "prepared" goes, and the
// level rises so that the change survives a write and a read (patterns are
// written in the newer form only).
template <typename F>
int32_t pattern_opt_edit(context* ctx, int32_t index, uint32_t position, F&& body) {
  return raising(ctx, index, edit_part(ctx, index, true, [&](defn_rec*, guess_defn_kind_rec* part) -> int32_t {
                   if (past(part->patterns, position)) return TQ_ERR_INDEX;
                   body(part->patterns[position].opt);
                   return 0;
                 }));
}

// Switches the override on (copying the context's defaults in) unless it is
// on already, so that earlier values stay.
void override_on(context* ctx, parse_opt_params& opt) {
  if (opt.override_flag == 0) optp_override_set(ctx, &opt, 1);
}

}  // namespace

int32_t tqx_guess_defn_opt_params_override_get(context* ctx, int32_t index, uint32_t position, uint32_t* value) {
  return pattern_read(ctx, index, position, [&](const guess_pattern_rec& p) { *value = p.opt.override_flag; });
}

int32_t tqx_guess_defn_opt_params_resource_limit_get(context* ctx, int32_t index, uint32_t position,
                                                     uint32_t* limit) {
  return pattern_read(ctx, index, position, [&](const guess_pattern_rec& p) {
    *limit = static_cast<uint32_t>(optp_resource_limit_effective(ctx, &p.opt));
  });
}

int32_t tqx_guess_defn_opt_params_scoring_levels_get(context* ctx, int32_t index, uint32_t position,
                                                     uint32_t* levels) {
  return pattern_read(ctx, index, position, [&](const guess_pattern_rec& p) {
    *levels = static_cast<uint32_t>(optp_scoring_levels_effective(ctx, &p.opt));
  });
}

int32_t tqx_guess_defn_opt_params_input_length_get(context* ctx, int32_t index, uint32_t position,
                                                   uint32_t* length) {
  return pattern_read(ctx, index, position, [&](const guess_pattern_rec& p) {
    *length = static_cast<uint32_t>(optp_input_length_effective(ctx, &p.opt));
  });
}

int32_t tqx_guess_defn_opt_params_override_set(context* ctx, int32_t index, uint32_t position, uint32_t value) {
  return pattern_opt_edit(ctx, index, position,
                          [&](parse_opt_params& opt) { optp_override_set(ctx, &opt, value != 0 ? 1u : 0u); });
}

int32_t tqx_guess_defn_opt_params_resource_limit_set(context* ctx, int32_t index, uint32_t position,
                                                     uint32_t value) {
  return pattern_opt_edit(ctx, index, position, [&](parse_opt_params& opt) {
    override_on(ctx, opt);
    opt.limit = static_cast<int32_t>(value);
  });
}

int32_t tqx_guess_defn_opt_params_scoring_levels_set(context* ctx, int32_t index, uint32_t position,
                                                     uint32_t value) {
  // The reader refuses a level count outside what the engines score, and
  // the engines would meet it at the next run: refused here instead.
  if (value > INT32_MAX) return TQ_ERR_ARGUMENT;
  if (int32_t rc = optp_levels_validate(ctx, static_cast<int32_t>(value)); rc < 0) return rc;
  return pattern_opt_edit(ctx, index, position, [&](parse_opt_params& opt) {
    override_on(ctx, opt);
    opt.levels = static_cast<int32_t>(value);
  });
}

int32_t tqx_guess_defn_opt_params_input_length_set(context* ctx, int32_t index, uint32_t position,
                                                   uint32_t value) {
  // Any other value leaves no parser to pick and is written as automatic.
  if (value > INT32_MAX) return TQ_ERR_ARGUMENT;
  if (int32_t rc = optp_input_length_validate(ctx, static_cast<int32_t>(value)); rc < 0) return rc;
  return pattern_opt_edit(ctx, index, position, [&](parse_opt_params& opt) {
    override_on(ctx, opt);
    opt.input_length = static_cast<int32_t>(value);
  });
}

}  // namespace tq

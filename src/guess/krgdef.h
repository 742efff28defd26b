// Locale guess definitions (kind 9, "Locale Guess"): the kind part of a
// definition record, its "Guessorithm" element in the older form (level 0)
// and the "V8" form (level 8), the hooks through which the definition store
// reaches it, and the preparation that the guess engine asks for on first
// use.
//
// A definition says how strongly a value looks like data of its locale: the
// language definition it scores with, known pattern regex libraries with a
// likelihood each, and patterns over the analysed words (a category a word
// must carry, or a grammar's parse with a sought category). It holds one
// registry reference per known-word vocabulary, known pattern library,
// categorization library and pattern grammar it names; an entry whose
// resource could not be opened is an empty reference and is skipped by
// copies and writers.
//
// Preparation fills the word analysis options and gets one parser per
// pattern with a grammar, under the shared state's write hold. Every change
// of what it reads clears "prepared" in the same hold (the analysis options
// point into the definition's lists, they never copy them).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krdcat.h"
#include "kbstore/krdefn.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"
#include "parse/krmorph.h"
#include "parse/kroptp.h"
#include "parse/krparser.h"
#include "resources/krregxcat.h"

namespace tq {

inline constexpr const char* kGuessRootType = "Guessorithm";
inline constexpr const char* kGuessRootTypeV8 = "Guessorithm V8";

// Format levels: the older form and the "V8" form.
inline constexpr uint32_t kGuessLevelOld = 0;
inline constexpr uint32_t kGuessLevelV8 = 8;

// Likelihoods of known pattern regex libraries ("Very High" .. "Never") and
// of patterns ("Always" .. "Never").
inline constexpr uint32_t kGuessRegexLikelihoodCount = 6;
inline constexpr uint32_t kGuessRegexLikelihoodMedium = 2;
inline constexpr uint32_t kGuessPatternLikelihoodCount = 7;
inline constexpr uint32_t kGuessPatternLikelihoodMedium = 3;

enum guess_pattern_mode : uint32_t { kGuessElement = 0, kGuessPhrase = 1 };

struct guess_known_regexlib {
  rsrc_ref lib;  // kRsrcRegex; empty when it could not be opened
  uint32_t likelihood = kGuessRegexLikelihoodMedium;
};

struct guess_pattern_rec {
  char category[kCategoryNameSize] = {};  // uppercased
  char sought[kCategoryNameSize] = {};    // uppercased
  int32_t category_index = -1;            // in the grammar; set by preparation
  int32_t sought_index = -1;
  rsrc_ref grammar{};  // kRsrcGrammar; empty for none
  uint32_t mode = kGuessElement;
  uint32_t likelihood = kGuessPatternLikelihoodMedium;
  uint32_t stop = 0;
  parser_rec* parser = nullptr;  // one cache reference; set by preparation
  parse_opt_params opt{};
};

struct guess_defn_kind_rec {
  uint32_t level = kGuessLevelOld;
  uint32_t word_analysis = 0;
  uint32_t force_choice = 1;
  // A language definition of the owning locale, as the owning locale
  // numbers them; -1 for none.
  int32_t lang_index = -1;
  std::vector<rsrc_ref> known_vocabs;  // kRsrcVocab
  std::vector<guess_known_regexlib> known_regexlibs;
  std::vector<cat_regexlib_entry*> cat_regexlibs;  // owned
  std::vector<guess_pattern_rec> patterns;
  std::unique_ptr<morph_options_rec> morph;  // filled by preparation
  // 1 after a successful preparation; written under the write hold, read
  // by guesses under the read hold alone.
  std::atomic<uint32_t> prepared{0};
};

inline guess_defn_kind_rec* guess_defn_part(defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnLocaleGuess ? static_cast<guess_defn_kind_rec*>(rec->part) : nullptr;
}
inline const guess_defn_kind_rec* guess_defn_part(const defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnLocaleGuess ? static_cast<const guess_defn_kind_rec*>(rec->part)
                                                         : nullptr;
}

// Names of the likelihoods as files write them; -1 / NULL outside the
// tables (names compare exactly, letter case included).
int32_t guess_regex_likelihood_from_name(const char* name);
int32_t guess_pattern_likelihood_from_name(const char* name);
// Out of range reads as "Medium" (what the writer puts for it).
const char* guess_regex_likelihood_name(uint32_t likelihood);
const char* guess_pattern_likelihood_name(uint32_t likelihood);

// The kind's operations, lent to the definition store at context start.
extern const defn_kind_ops kGuessDefnKindOps;

// ---- Hooks (reached through kGuessDefnKindOps) ---------------------------------------------

// Every type that begins with "Guessorithm".
int32_t guess_defn_type_matches(context* ctx, const char* include_name);
int32_t guess_defn_kind_init(context* ctx, defn_rec* rec);
int32_t guess_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec);
int32_t guess_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec);
// Takes one new reference per copied resource (empty entries stay empty);
// on any failure the target's kind part is released and the code returned.
int32_t guess_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst);
int32_t guess_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs);
// The language definition the definition holds.
void guess_defn_held_indices(defn_rec* rec, defn_held_visit visit, void* arg);
// The datatype of a definition read without one, from its name (12 names,
// compared exactly); "" for any other name.
int32_t guess_defn_datatype_from_name(context* ctx, const char* defn_name, char* out, uint32_t size);
void guess_defn_invalidate(context* ctx, defn_rec* rec, uint32_t what);

// ---- Preparation ----------------------------------------------------------------------------

// Prepares under the write hold (taken here, re-entrant). A definition
// prepared meanwhile by another context is left as it is. -300 when the
// record is no longer loaded; -706 (message 1474) for a category or sought
// category a pattern's grammar lacks; failures of the resources and of the
// parser cache. A failure leaves it unprepared.
int32_t guess_defn_prepare(context* ctx, defn_rec* rec);
// The same for a caller holding the write hold with the record known loaded.
int32_t guess_defn_prepare_held(context* ctx, defn_rec* rec);

// ---- Writing ----------------------------------------------------------------------------------

// Appends the definition at the index of the current locale to the caller's
// document as an inline include "Guessorithm" of type "Guessorithm V8" (level
// 8) or "Guessorithm".
int32_t tqx_guess_defn_write(context* ctx, xmldoc* xml, int32_t index);

}  // namespace tq

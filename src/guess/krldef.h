// Language definitions (kind 10, "Language Guess"): the kind part of a
// definition record, its "Ravororura" element, the hooks through which the
// definition store reaches it, binding on first use and training.
//
// A definition describes one language for language scoring: an n-gram model
// trained from training schemes (each entry an n-gram of exactly n code
// points mapped to its count), regex libraries whose coverage of a text
// counts for or against the language, and the bias between the two. It
// holds one registry reference per training scheme and regex library.
//
// The model is trained at the first of: reading under option bit 22, the
// first score (binding), the exported train operation, or, in edit mode, a
// score after a change that left the model untrained. Outside edit mode
// binding gives the training schemes back once the model is trained (they
// weigh about as much as the model, and nothing retrains there), but keeps
// their names: the definition still holds them for its getters and its
// writer, so that a locale written afterwards trains the same model again.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/krcorvel.h"
#include "guess/krngram.h"
#include "kbstore/krdefn.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"

namespace tq {

inline constexpr const char* kLangRootType = "Ravororura";
inline constexpr const char* kLangRootTypeVertical = "Ravororura -- Vertical";

// Option bits of a language definition.
inline constexpr uint32_t kLangCaseSensitive = 0x1;
inline constexpr uint32_t kLangBookends = 0x2;
inline constexpr uint32_t kLangSquashSpace = 0x4;

inline constexpr uint32_t kLangWindowMin = 2;
inline constexpr uint32_t kLangWindowMax = 4;
inline constexpr uint32_t kLangBiasCount = 7;        // "Scheme Only" .. "Regex Only"
inline constexpr uint32_t kLangBiasEqual = 3;
inline constexpr uint32_t kLangLikelihoodCount = 6;  // "Very High" .. "Never"
inline constexpr uint32_t kLangLikelihoodMedium = 2;

// Scheme load options of training schemes: data keep their blanks, and are
// uppercased unless the definition is case sensitive.
inline constexpr uint32_t kLangSchemeLoadOptions = 0x200;
inline constexpr uint32_t kLangSchemeCaseInsensitive = 0x2;

struct lang_known_regexlib {
  rsrc_ref lib;  // kRsrcRegex
  uint32_t likelihood = kLangLikelihoodMedium;
};

// A training scheme: its reference until binding outside edit mode gives it
// back, then its name.
struct lang_training_scheme {
  rsrc_ref ref;      // kRsrcScheme
  std::string name;  // set when ref was given back (the registry names a held one)
};

struct lang_defn_kind_rec {
  std::vector<lang_training_scheme> schemes;
  std::vector<lang_known_regexlib> known;
  uint32_t window = 3;
  uint32_t bias = kLangBiasEqual;
  uint32_t options = 0;
  // Written under the write hold, read by scoring under the read hold.
  std::atomic<uint32_t> trained{0};  // the model matches the schemes, window and options
  std::atomic<uint32_t> bound{0};
  ngram_profile* model = nullptr;  // owned
};

inline lang_defn_kind_rec* lang_defn_part(defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnLangGuess ? static_cast<lang_defn_kind_rec*>(rec->part) : nullptr;
}
inline const lang_defn_kind_rec* lang_defn_part(const defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnLangGuess ? static_cast<const lang_defn_kind_rec*>(rec->part)
                                                       : nullptr;
}

// The decimal value of a training scheme's count as C's atoi reads it,
// without its undefined overflow: out-of-range values stop at the int32
// limits.
int32_t lang_count_value(const char* text);
// The names of biases and likelihoods as files write them; NULL outside the
// tables.
const char* lang_bias_name(uint32_t bias);
const char* lang_likelihood_name(uint32_t likelihood);
// The scheme load options for the definition's option word.
uint32_t lang_scheme_load_options(uint32_t options);
// The training scheme's name (UTF-8, at most size - 1 bytes): the
// registry's while the scheme is held, else the name kept when it was
// given back.
int32_t lang_training_scheme_name(context* ctx, const lang_training_scheme& scheme, char* out, uint32_t size);

// The kind's operations, lent to the definition store at context start.
extern const defn_kind_ops kLangDefnKindOps;

// ---- Hooks (reached through kLangDefnKindOps) ----------------------------------------------

int32_t lang_defn_type_matches(context* ctx, const char* include_name);
int32_t lang_defn_kind_init(context* ctx, defn_rec* rec);
int32_t lang_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec);
int32_t lang_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec);
int32_t lang_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst);
// Gives back (or with keep_refs forgets) every reference, each slot emptied
// as it goes, and frees the model; the first failure.
int32_t lang_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs);

// ---- Binding and training -------------------------------------------------------------------

// Binds under the write hold (taken here, re-entrant): trains an untrained
// model and, outside edit mode, gives the training schemes back, keeping
// their names. -704 when the record is no longer a language definition of a
// loaded locale.
int32_t lang_defn_bind(context* ctx, defn_rec* rec);
// Trains the model from the training schemes under the write hold (taken
// here): entries of exactly n code points, weight the standard's decimal
// value raised to 1.
int32_t lang_defn_train_model(context* ctx, defn_rec* rec);
// The same for a caller holding the write hold.
int32_t lang_defn_train_held(context* ctx, defn_rec* rec);

// ---- Writing ------------------------------------------------------------------------------

// Appends the definition at the index of the current locale to the caller's
// document as an inline include "Ravororura".
int32_t tqx_lang_defn_write(context* ctx, xmldoc* xml, int32_t index);

}  // namespace tq

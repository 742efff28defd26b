// Extraction definitions (kind 8): the kind part of a definition record, the
// hooks through which the definition store reaches it, its own content in the
// "Vidurivodidiz" element, the lazy preparation that makes a read definition
// usable (categories looked up in each pattern's grammar, analysis options
// filled, one parser per pattern got from the shared cache), and the small
// changes the accessors make to its lists.
//
// A definition holds one registry reference per grammar, known-word scheme
// and categorization library it names. Preparation is lazy: the first
// extraction that finds a definition unprepared prepares it under the shared
// state's write hold. Every change of a list drops "prepared" (the analysis
// options point into the definition's lists, they never copy them).
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

inline constexpr const char* kExtractRootType = "Vidurivodidiz";
inline constexpr const char* kExtractRootTypeVertical = "Vidurivodidiz -- Vertical";
inline constexpr uint32_t kExtractPatternsMax = 256;
inline constexpr uint32_t kExtractSoughtMax = 32;
inline constexpr uint32_t kExtractTokensMax = 32;
// Separator text without its terminator; names (categories) likewise.
inline constexpr uint32_t kExtractSeparatorMax = 64;
inline constexpr uint32_t kExtractNameMax = 128;

enum extract_mode : uint32_t { kExtractElement = 0, kExtractPhrase = 1 };

// A category of a pattern's grammar whose words go to a token.
struct extract_sought_cat {
  char name[kExtractNameMax + 1] = {};
  int32_t index = -1;  // in the pattern's grammar; set by preparation
  int32_t token = -1;  // position among the definition's tokens
};

struct extract_pattern_rec {
  char root_name[kExtractNameMax + 1] = {};
  int32_t root_index = -1;  // set by preparation
  std::vector<extract_sought_cat> sought;
  uint32_t mode = kExtractElement;
  int32_t weight = 0;
  uint32_t pattern_index = 0;  // its position in the definition
  int32_t max_matches = INT32_MAX;
  rsrc_ref grammar{};              // kRsrcGrammar; empty for none
  parser_rec* parser = nullptr;    // one reference from the cache; set by preparation
  parse_opt_params opt{};
};

// Phrases that are data of the scheme go whole to the token.
struct extract_known_word_scheme {
  rsrc_ref scheme{};  // kRsrcScheme
  int32_t token = -1;
};

struct extract_defn_kind_rec {
  uint32_t parser_enabled = 0;
  // 1 after a successful preparation; written under the write hold, read
  // by runs under the read hold alone.
  std::atomic<uint32_t> prepared{0};
  char separator[kExtractSeparatorMax + 1] = " ";
  int32_t default_token = -1;
  std::vector<extract_known_word_scheme> schemes;
  std::unique_ptr<morph_options_rec> morph;  // filled by preparation
  std::vector<cat_regexlib_entry*> cat_regexlibs;  // owned
  std::vector<extract_pattern_rec> patterns;
};

inline extract_defn_kind_rec* extract_defn_part(defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnExtract ? static_cast<extract_defn_kind_rec*>(rec->part) : nullptr;
}
inline const extract_defn_kind_rec* extract_defn_part(const defn_rec* rec) {
  return rec != nullptr && rec->kind == kDefnExtract ? static_cast<const extract_defn_kind_rec*>(rec->part)
                                                     : nullptr;
}

// The kind's operations, lent to the definition store at context start.
extern const defn_kind_ops kExtractDefnKindOps;

// ---- Hooks (reached through kExtractDefnKindOps) ------------------------------------------

int32_t extract_defn_type_matches(context* ctx, const char* include_name);
int32_t extract_defn_kind_init(context* ctx, defn_rec* rec);
int32_t extract_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec);
int32_t extract_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec);
int32_t extract_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst);
int32_t extract_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs);
// The token count must equal the datatype's (-300, message 1403). Under
// option bit 22 the definition is prepared here, once its tokens are read.
int32_t extract_defn_kind_validate(context* ctx, defn_rec* rec);
void extract_defn_invalidate(context* ctx, defn_rec* rec, uint32_t what);
// "Use Parser": the common reader then requires a vocabulary.
int32_t extract_defn_needs_vocabulary(const defn_rec* rec);

// ---- Preparation ----------------------------------------------------------------------------

// Prepares under the write hold (taken here, re-entrant). A definition
// prepared meanwhile by another context is left as it is. -704 when the
// record is no longer an extraction definition of a loaded locale; -706
// (message 1474) for a root or sought category a grammar lacks, or a pattern
// without a grammar; failures of the resources and of the parser cache.
int32_t extract_defn_prepare(context* ctx, defn_rec* rec);
// The same for a caller holding the write hold with the record known loaded.
int32_t extract_defn_prepare_held(context* ctx, defn_rec* rec);

// ---- Changes, for the accessors -------------------------------------------------------------
// The caller holds the write hold; each change that succeeds clears
// "prepared". Names are UTF-8 and cut at 128 bytes between characters.

// A bounded copy of a category name.
void extract_name_take(char* out, const char* name);
// The index of a category in a held grammar; -1 when there is none or it
// lacks the name.
int32_t extract_grammar_category(context* ctx, const rsrc_ref& grammar, const char* name);
// A pattern of that grammar (loaded by name), root category, mode, weight
// and maximum matches (0 reads as "no limit") appended; *at its position.
// -601 past 256 patterns; a grammar that cannot be loaded, or lacks the
// root (-802), leaves nothing.
int32_t extract_pattern_add(context* ctx, defn_rec* rec, const char* grammar, const char* root, uint32_t mode,
                            int32_t weight, int32_t max_matches, int32_t* at);
// Removes pattern j with its references; later patterns renumber. -800.
int32_t extract_pattern_delete(context* ctx, defn_rec* rec, int32_t j);
// Replaces the grammar of pattern j by the named one ("" leaves none), loaded
// first; with a root, the new grammar must hold it (-802) and the pattern's
// root index follows, else the index is -1. A failure changes nothing.
int32_t extract_pattern_grammar_set(context* ctx, defn_rec* rec, int32_t j, const char* grammar,
                                    const char* root = nullptr);
// A sought category of pattern j: -601 past 32; -800 for a token the
// definition does not have; -802 for a name the pattern's grammar lacks.
int32_t extract_sought_cat_add(context* ctx, defn_rec* rec, int32_t j, const char* name, int32_t token);
int32_t extract_sought_cat_delete(context* ctx, defn_rec* rec, int32_t j, int32_t k);
// A known-word scheme loaded by name as a phrase scheme (registration flags 1,
// or 3 when case-insensitive) for a token of the definition (-800).
int32_t extract_scheme_add(context* ctx, defn_rec* rec, const char* name, int32_t case_insensitive,
                           int32_t token);
int32_t extract_scheme_delete(context* ctx, defn_rec* rec, int32_t j);
// Takes over `entry` (allocated with new); -600 with the entry freed.
int32_t extract_cat_regexlib_append(context* ctx, defn_rec* rec, cat_regexlib_entry* entry);
int32_t extract_cat_regexlib_delete(context* ctx, defn_rec* rec, int32_t j);
// The definition's token `token` was removed: sought categories and
// known-word schemes of it go (their references given back), the default
// token goes when it was that one, and later token positions move down.
int32_t extract_defn_token_deleted(context* ctx, defn_rec* rec, int32_t token);
// The definition's tokens were all replaced: every sought category, scheme
// entry and the default token that name a token are dropped.
int32_t extract_defn_tokens_cleared(context* ctx, defn_rec* rec);

}  // namespace tq

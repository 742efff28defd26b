// The resources of a match definition's tokens: noise vocabularies,
// phonetics rule sets and transformation regex libraries (each within a
// sensitivity range), and the categorization lists ("Norm Cat" regex
// libraries, vocabularies, categorization regex libraries, default
// categories) from which preparation fills the token's analysis options.
//
// Reading binds every name it finds; a name that cannot be opened leaves its
// entry unbound, marks the definition not valid and reading goes on. Copying
// takes one more reference per bound entry and copies an unbound one
// unbound; freeing gives every reference back.
//
// Preparation takes no hold of its own: the definition is prepared under the
// write hold (match_defn_prepare takes it), so that two contexts sharing an
// unprepared definition never fill its options at the same time.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "match/krmdef.h"

namespace tq {

// ---- Token hooks (reached through kMatchDefnKindOps) ------------------------------------

// Every list, the two flags and the "Sensitivities" positions, in the file's
// order; the last failure that did not stop the read, else 0. Problems that
// name the definition are kept on the token for the definition's validate
// hook to report.
int32_t match_defn_token_read(context* ctx, const xmldoc* element, dtok_rec* tok);
// dst is freshly initialised. On failure it holds what it took so far,
// which the store's token free gives back.
int32_t match_defn_token_copy(context* ctx, const dtok_rec* src, dtok_rec* dst, int32_t keep_refs);
int32_t match_defn_token_free(context* ctx, dtok_rec* tok, int32_t keep_refs);

// ---- Preparation --------------------------------------------------------------------------

// The token's analysis options pointed at its categorization lists
// (categories bound to no grammar first). The caller holds the write hold.
int32_t match_token_prepare(context* ctx, dtok_rec* tok);
// Every token prepared, then the definition; a failure leaves the
// definition unprepared. The caller holds the write hold and knows the
// record loaded.
int32_t match_defn_prepare_held(context* ctx, defn_rec* rec);
// The same taking the write hold; a definition prepared meanwhile is left as
// it is; -300 when the record is no longer loaded.
int32_t match_defn_prepare(context* ctx, defn_rec* rec);

// ---- List helpers, for the token-list accessors ---------------------------------------------

// Frees a ranged list, giving back its references unless keep_refs.
void match_ranged_list_clear(context* ctx, std::vector<match_ranged_ref>* list, int32_t keep_refs);
// Opens a token resource of the kind (kRsrcVocab, kRsrcPhonetx, kRsrcRegex)
// by name (UTF-8) into an empty ref. The open's failure. checked: a
// caller's edit, which reads the resource at once as its kind
// (rsrc_open_checked); a token read from its file leaves that to the first
// use.
int32_t match_token_rsrc_open(context* ctx, uint32_t kind, const char* name, rsrc_ref* out, bool checked);

}  // namespace tq

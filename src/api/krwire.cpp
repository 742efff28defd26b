#include "api/krwire.h"

#include "fields/kridef.h"
#include "fields/krgdef.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"
#include "kbstore/krvlt.h"
#include "fields/krpadef.h"
#include "match/krmdef.h"
#include "match/krmeng.h"
#include "fields/krxdef.h"
#include "guess/krgdef.h"
#include "guess/krldef.h"
#include "parse/krpdef.h"
#include "resources/krchpr.h"
#include "resources/krregx.h"
#include "resources/krsch.h"
#include "resources/krvcld.h"
#include "standardize/krcdef.h"
#include "standardize/krsdef.h"

namespace tq {

namespace {

// Each definition kind's operations, by kind number, from the subsystem that
// builds the kind. A kind not built yet stays NULL: absent from the store.
constexpr const defn_kind_ops* kKindOps[kDefnKindCount + 1] = {
    nullptr,  // no kind 0
    &kCaseDefnKindOps,
    &kGenderDefnKindOps,
    &kIdentDefnKindOps,
    &kMatchDefnKindOps,
    &kParseDefnKindOps,
    &kPatternDefnKindOps,
    &kStdznDefnKindOps,
    &kExtractDefnKindOps,
    &kGuessDefnKindOps,
    &kLangDefnKindOps,
};

// What schemes keyed by match codes call in the matching subsystem: finding
// and naming a match definition, checking it, and the match codes of a value.
constexpr const scheme_match_ops* kSchemeMatchOps = &kMatchSchemeOps;

// How definitions and their tokens open the resources they name: the
// resources layer's loads by name, each giving one registry reference.
// Vocabularies load in their compiled form, as the engine uses them.
int32_t open_regexlib(context* ctx, const char* name, int32_t* index) {
  return regexlib_load_by_name(ctx, name, nullptr, index, 0);
}
int32_t open_scheme(context* ctx, const char* name, uint32_t options, int32_t* index) {
  return scheme_load_by_name(ctx, name, static_cast<int32_t>(options), -1, 0, nullptr, 0, index);
}
int32_t open_chopper(context* ctx, const char* name, int32_t* index) {
  return chopper_load_by_name(ctx, name, nullptr, index);
}
int32_t open_vocab(context* ctx, const char* name, int32_t* index) {
  return vocab_load_by_name(ctx, name, nullptr, kVocabFormCompiled, index);
}
constexpr rsrc_open_ops kRsrcOpenOps{open_regexlib, open_scheme, open_chopper, open_vocab};

}  // namespace

void wiring_install() {
  rsrc_open_ops_set(&kRsrcOpenOps);
  vault_vocab_ops_set(vocab_vault_ops());
  // Only what is built is installed, and only into an empty entry: a test
  // that lends its own operations in a kind's place keeps them across the
  // contexts it opens, and puts back what it found when it is done.
  if (scheme_match_ops_get() == nullptr) scheme_match_ops_set(kSchemeMatchOps);
  for (int32_t kind = 1; kind <= kDefnKindCount; ++kind) {
    if (kKindOps[kind] != nullptr && defn_kind_ops_get(kind) == nullptr) defn_kind_ops_set(kind, kKindOps[kind]);
  }
}

}  // namespace tq

#include "api/krwire.h"

#include "kbstore/krkind.h"
#include "kbstore/krvlt.h"
#include "resources/krsch.h"
#include "resources/krvcld.h"

namespace tq {

namespace {

// Each definition kind's operations, by kind number, from the subsystem that
// builds the kind. A kind not built yet stays NULL: absent from the store.
constexpr const defn_kind_ops* kKindOps[kDefnKindCount + 1] = {
    nullptr,  // no kind 0
    nullptr,  // kDefnCase: standardize/
    nullptr,  // kDefnGender: fields/
    nullptr,  // kDefnIdent: fields/
    nullptr,  // kDefnMatch: match/
    nullptr,  // kDefnParse: parse/
    nullptr,  // kDefnPattern: fields/
    nullptr,  // kDefnStdzn: standardize/
    nullptr,  // kDefnExtract: fields/
    nullptr,  // kDefnLocaleGuess: guess/
    nullptr,  // kDefnLangGuess: guess/
};

// What schemes keyed by match codes call in the matching subsystem. Matching
// is not built yet: without the operations such a scheme is refused with
// -705, so nothing is installed rather than a stand-in.
constexpr const scheme_match_ops* kSchemeMatchOps = nullptr;

}  // namespace

void wiring_install() {
  vault_vocab_ops_set(vocab_vault_ops());
  // Only what is built is installed: a test that lends its own operations
  // keeps them across the contexts it opens.
  if (kSchemeMatchOps != nullptr) scheme_match_ops_set(kSchemeMatchOps);
  for (int32_t kind = 1; kind <= kDefnKindCount; ++kind) {
    if (kKindOps[kind] != nullptr) defn_kind_ops_set(kind, kKindOps[kind]);
  }
}

}  // namespace tq

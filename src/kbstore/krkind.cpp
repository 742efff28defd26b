#include "kbstore/krkind.h"

#include <atomic>
#include <cstring>

#include "core/krerr.h"

namespace tq {

namespace {

constexpr const char* kKindNames[kDefnKindCount + 1] = {
    "",          "Case",  "Gender Analysis",   "Identification Analysis", "Match",       "Parse",
    "Pattern Analysis", "Standardization", "Extraction", "Locale Guess", "Language Guess"};

// Filled at every context start with the same pointers, possibly while
// another thread's context reads them: atomic, as the other hooks lent
// upwards.
std::atomic<const defn_kind_ops*> g_kind_ops[kDefnKindCount + 1];

bool kind_known(int32_t kind) { return kind >= 1 && kind <= kDefnKindCount; }

}  // namespace

const char* defn_kind_name(int32_t kind) { return kind_known(kind) ? kKindNames[kind] : ""; }

const defn_kind_ops* defn_kind_ops_get(int32_t kind) {
  return kind_known(kind) ? g_kind_ops[kind].load(std::memory_order_acquire) : nullptr;
}

void defn_kind_ops_set(int32_t kind, const defn_kind_ops* ops) {
  if (kind_known(kind)) g_kind_ops[kind].store(ops, std::memory_order_release);
}

int32_t defn_kind_check(context* ctx, int32_t kind) {
  if (defn_kind_ops_get(kind) != nullptr) return 0;
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 171, kind);
  return TQ_ERR_ARGUMENT;
}

int32_t defn_kind_type_matches(context* ctx, int32_t kind, const char* include_name) {
  const defn_kind_ops* ops = defn_kind_ops_get(kind);
  if (ops == nullptr || ops->type_matches == nullptr || include_name == nullptr) return 0;
  return ops->type_matches(ctx, include_name);
}

int32_t defn_root_type_matches(const char* include_name, const char* root, const char* vertical) {
  if (include_name == nullptr) return 0;
  return std::strcmp(include_name, root) == 0 || std::strcmp(include_name, vertical) == 0 ? 1 : 0;
}

}  // namespace tq

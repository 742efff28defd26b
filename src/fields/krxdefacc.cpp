// Accessors of extraction definitions with logic of their own; the plain
// ones are rows bound to the shared definition accessors
// (kbstore/krdefnacc.cpp).
#include "fields/krxdefacc.h"

#include <vector>

#include "core/krenc.h"
#include "core/krerr.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krdtok.h"

namespace tq {

namespace {

constexpr int32_t K = kDefnExtract;
// The code of a call-state stack that is full is also that of a bounded
// list that is.
constexpr int32_t kListFull = TQ_ERR_CALL_STACK_FULL;
constexpr uint32_t kTokensMax = 32;

}  // namespace

int32_t tqx_extraction_defn_token_add(context* ctx, int32_t index, const char* name, int32_t* tok_idx) {
  *tok_idx = -1;
  uint32_t count = 0;
  int32_t rc = defn_token_count_get(ctx, K, index, &count);
  if (rc < 0) return rc;
  if (count >= kTokensMax) {
    TQ_REPORT(ctx, kListFull, 57, "An extraction definition holds at most 32 tokens.");
    return kListFull;
  }
  int32_t p = -1;
  rc = defn_token_add(ctx, K, index, &p);
  if (rc < 0) return rc;
  rc = defn_token_name_set(ctx, K, index, p, name);
  if (rc < 0) {
    // A token without a name would leave the definition unusable.
    (void)defn_token_delete(ctx, K, index, p);
    return rc;
  }
  *tok_idx = p;
  return rc;
}

int32_t tqx_extraction_defn_normalization_regexlib_add(context* ctx, int32_t index, const char* name) {
  std::vector<char> text(kDtokRsrcNameMax + 1);
  const int32_t conv = strio_in(ctx, name, text.data(), kDtokRsrcNameMax, kStrioConvert);
  if (conv < 0) return conv;
  // The shared accessor takes an empty name for "delete all"; this export
  // refuses it.
  if (text[0] == '\0') return TQ_ERR_ARGUMENT;
  return defn_normalization_regexlib_add(ctx, K, index, name);
}

// ---- Whole definitions ---------------------------------------------------------------

int32_t tqx_extraction_defn_add(context* ctx, const char* name, int32_t* index) {
  return defn_add(ctx, K, name, kDefnNameConvert, index);
}

int32_t tqx_extraction_defn_copy(context* ctx, const char* sname, const char* dname, int32_t* index) {
  return defn_copy(ctx, K, sname, dname, kDefnNameConvert, index);
}

int32_t tqx_extraction_defn_write(context* ctx, tq_xmldoc* xml, int32_t index) {
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  if (rec->kind == 0) return TQ_ERR_INDEX;
  rc = defn_element_write(ctx, xml, rec);
  return rc < 0 ? rc : 0;
}

}  // namespace tq

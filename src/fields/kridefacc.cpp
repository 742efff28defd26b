// Accessors of identification definitions with logic of their own; the
// plain ones are rows bound to the shared definition accessors
// (kbstore/krdefnacc.cpp).
#include "fields/kridefacc.h"

#include "core/krerr.h"
#include "kbstore/krdefn.h"
#include "kbstore/krdefnacc.h"

namespace tq {

namespace {

constexpr int32_t K = kDefnIdent;

}  // namespace

int32_t tqx_identification_defn_datatype_index_set_no_upcast(context* ctx, int32_t index, int32_t dtype_index) {
  int32_t rc = field_set(ctx, K, kDefnDatatypeIndex, index, dtype_index);
  if (rc < 0) return rc;
  defn_rec* rec = nullptr;
  int32_t r = defn_record_get_for_write(ctx, K, index, &rec);
  if (r < 0) return r;
  kDefnRecords.invalidate(ctx, rec, kFieldDropsPrepared);
  return rc_combine(rc, defn_write_end(ctx));
}

int32_t tqx_identification_defn_normalization_regexlib_name_get(context* ctx, int32_t index, char* name) {
  return defn_normalization_regexlib_name_get_by_index(ctx, K, index, 0, name);
}

// ---- Whole definitions ---------------------------------------------------------------

int32_t tqx_identification_defn_add(context* ctx, const char* name, int32_t* index) {
  return defn_add(ctx, K, name, kDefnNameConvert, index);
}

int32_t tqx_identification_defn_copy(context* ctx, const char* sname, const char* dname, int32_t* index) {
  return defn_copy(ctx, K, sname, dname, kDefnNameConvert, index);
}

int32_t tqx_identification_defn_write(context* ctx, int32_t index, tq_xmldoc* xml) {
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, K, index, &rec);
  if (rc < 0) return rc;
  if (rec->kind == 0) return TQ_ERR_INDEX;
  rc = defn_element_write(ctx, xml, rec);
  return rc < 0 ? rc : 0;
}

}  // namespace tq

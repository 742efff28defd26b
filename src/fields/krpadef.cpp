#include "fields/krpadef.h"

#include <new>

#include "core/krenc.h"
#include "core/krerr.h"
#include "kbstore/krdefnacc.h"
#include "kbstore/krxml.h"
#include "platform/nputf8.h"

namespace tq {

namespace {

constexpr const char* kPropRegexlib = "Regexlib";
constexpr uint32_t kNameMax = 4096;  // a library name taken in or given out

const char* kind_name() { return defn_kind_name(kDefnPattern); }

// The part's reference given back, or with keep_refs only forgotten.
void part_clear(context* ctx, patrn_defn_kind_rec* part, int32_t keep_refs) {
  if (keep_refs != 0) {
    part->regexlib.forget();
  } else {
    (void)part->regexlib.release(ctx);
  }
}

int32_t read_regexlib(context* ctx, const xmldoc* element, defn_rec* rec, patrn_defn_kind_rec* part) {
  char name[kNameMax + 1];
  np_uchar_bufcopy(name, xmldoc_prop_get(ctx, element, kPropRegexlib), sizeof name);
  if (name[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 213, static_cast<const char*>(rec->name));
    return TQ_ERR_INVALID_CONTENT;
  }
  int32_t rc = rsrc_open(ctx, kRsrcRegex, name, 0, &part->regexlib);
  if (rc >= 0 && part->regexlib.held()) return 0;
  if (rc >= 0) rc = TQ_ERR_INVALID_CONTENT;
  TQ_REPORT(ctx, rc, 201, static_cast<const char*>(name), kind_name(), static_cast<const char*>(rec->name));
  return rc;
}

}  // namespace

// ---- Hooks ------------------------------------------------------------------------------

int32_t patrn_defn_type_matches(context*, const char* include_name) {
  return defn_root_type_matches(include_name, kPatternRootType, kPatternRootTypeVertical);
}

int32_t patrn_defn_kind_init(context* ctx, defn_rec* rec) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (rec == nullptr) return TQ_ERR_ARGUMENT;
  auto* part = new (std::nothrow) patrn_defn_kind_rec;
  if (part == nullptr) return TQ_ERR_NO_MEMORY;
  rec->part = part;
  return 0;
}

int32_t patrn_defn_kind_read(context* ctx, const xmldoc* element, defn_rec* rec) {
  patrn_defn_kind_rec* part = patrn_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  // A record read again starts without a library.
  part_clear(ctx, part, 0);
  int32_t last = 0;
  const int32_t rc = defn_rec_load_result(ctx, rec, read_regexlib(ctx, element, rec, part), &last);
  if (rc != 0) return rc;
  return last != 0 ? TQ_WARN_READ_PROBLEMS : 0;
}

int32_t patrn_defn_kind_write(context* ctx, xmldoc* element, const defn_rec* rec) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  const patrn_defn_kind_rec* part = patrn_defn_part(rec);
  if (part == nullptr || element == nullptr) return TQ_ERR_ARGUMENT;
  if (!part->regexlib.held()) return 0;
  char name[kRsrcNameSize];
  int32_t rc = rsrc_name_get(ctx, kRsrcRegex, part->regexlib.index(), name, sizeof name);
  if (rc >= 0) rc = xmldoc_prop_add(ctx, element, kPropRegexlib, name);
  return rc < 0 ? rc : 0;
}

int32_t patrn_defn_kind_copy(context* ctx, const defn_rec* src, defn_rec* dst) {
  const patrn_defn_kind_rec* from = patrn_defn_part(src);
  patrn_defn_kind_rec* to = patrn_defn_part(dst);
  if (from == nullptr || to == nullptr) return TQ_ERR_ARGUMENT;
  const int32_t rc = from->regexlib.share(ctx, &to->regexlib);
  return rc < 0 ? rc : 0;
}

int32_t patrn_defn_kind_free(context* ctx, defn_rec* rec, int32_t keep_refs) {
  patrn_defn_kind_rec* part = patrn_defn_part(rec);
  if (part == nullptr) return 0;
  part_clear(ctx, part, keep_refs);
  delete part;
  rec->part = nullptr;
  return 0;
}

const defn_kind_ops kPatternDefnKindOps = [] {
  defn_kind_ops ops;
  ops.root_type = kPatternRootType;
  ops.type_matches = patrn_defn_type_matches;
  ops.init = patrn_defn_kind_init;
  ops.read = patrn_defn_kind_read;
  ops.write = patrn_defn_kind_write;
  ops.copy = patrn_defn_kind_copy;
  ops.free = patrn_defn_kind_free;
  return ops;
}();

// ---- Accessors --------------------------------------------------------------------------

int32_t tqx_patrn_defn_regexlib_name_get(context* ctx, int32_t index, char* name) {
  strio_out_clear(ctx, name);
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnPattern, index, &rec);
  if (rc < 0) return rc;
  const patrn_defn_kind_rec* part = patrn_defn_part(rec);
  if (part == nullptr) return TQ_ERR_INDEX;
  if (!part->regexlib.held()) return 0;
  char utf8[kRsrcNameSize];
  rc = rsrc_name_get(ctx, kRsrcRegex, part->regexlib.index(), utf8, sizeof utf8);
  if (rc < 0) return rc;
  rc = strio_out(ctx, utf8, name, kNameMax, kStrioConvert);
  if (rc < 0) strio_out_clear(ctx, name);
  return rc;
}

int32_t tqx_patrn_defn_regexlib_name_set(context* ctx, int32_t index, const char* name) {
  char utf8[kNameMax + 1];
  const int32_t conv = strio_in(ctx, name, utf8, kNameMax, kStrioConvert);
  if (conv < 0) return conv;
  // The file must name a library (a definition without one is not read),
  // so none is refused, as an add of "" to a list is.
  if (utf8[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "A pattern definition needs a regex library: the name is empty.");
    return TQ_ERR_ARGUMENT;
  }
  defn_rec* rec = nullptr;
  write_hold held;
  int32_t rc = defn_record_get_for_write(ctx, kDefnPattern, index, &rec, &held);
  if (rc < 0) return rc;
  patrn_defn_kind_rec* part = patrn_defn_part(rec);
  if (part == nullptr) {
    rc = TQ_ERR_INDEX;
  } else {
    bool changed = false;
    rc = defn_ref_swap(ctx, kRsrcRegex, part->regexlib, utf8, &changed);
  }
  rc = rc_combine(rc, held.release());
  return rc_combine(rc, conv);
}

int32_t tqx_patrn_defn_write(context* ctx, tq_xmldoc* xml, int32_t index) {
  if (xml == nullptr) return TQ_ERR_ARGUMENT;
  return defn_write_into(ctx, kDefnPattern, xml, index);
}

}  // namespace tq

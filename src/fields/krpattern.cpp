#include "fields/krpattern.h"

#include <new>

#include "core/krenc.h"
#include "core/krerr.h"
#include "fields/krpadef.h"
#include "resources/krregx.h"

namespace tq {

namespace {

constexpr uint32_t kValueMax = 1024;  // bytes of a value taken in

int32_t analyze(context* ctx, int32_t index, const char* data, char* pattern, patrn_info* info) {
  strio_out_clear(ctx, pattern);
  // In a UTF-8 session a well-formed value is read where it lies.
  char converted[kValueMax + 1];
  const char* value = nullptr;
  const int32_t in = strio_in_view(ctx, data, converted, kValueMax, kStrioConvert | kStrioValue, &value);
  if (in < 0) return in;
  defn_rec* rec = nullptr;
  int32_t rc = defn_record_get_for_read(ctx, kDefnPattern, index, &rec);
  if (rc < 0) return rc;
  char utf8[kPatternOutMax + 1];
  rc = pattern_engine_run(ctx, rec, value, utf8, info);
  if (rc < 0) return rc;
  const int32_t out = strio_out_sized(ctx, utf8, pattern, kTextOutSize, kStrioConvert);
  if (out < 0) {
    strio_out_clear(ctx, pattern);
    return out;
  }
  return in != 0 ? in : out;
}

}  // namespace

int32_t pattern_engine_run(context* ctx, const defn_rec* rec, const char* value, char* pattern, patrn_info* info) {
  pattern[0] = '\0';
  int32_t rc = defn_rec_check_usable(ctx, rec);
  if (rc < 0) return rc;
  const patrn_defn_kind_rec* part = patrn_defn_part(rec);
  if (part == nullptr) return TQ_ERR_DEFN_INVALID;
  if (!part->regexlib.held()) return 0;
  regexlib_rec* lib = nullptr;
  rc = regexlib_get(ctx, part->regexlib.index(), &lib);
  if (rc < 0) return rc;
  const int32_t replaced = regexlib_replace_all(ctx, lib, value, pattern, 0);
  if (replaced < 0) {
    pattern[0] = '\0';
    return replaced;
  }
  if (info != nullptr) info->matched = replaced != 0 ? 1 : 0;
  return 0;
}

int32_t tqx_pattern_analyze_by_index(context* ctx, int32_t index, const char* data, char* pattern) {
  return analyze(ctx, index, data, pattern, nullptr);
}

int32_t tqx_pattern_analyze_by_index_with_info(context* ctx, int32_t index, const char* data, char* pattern,
                                               patrn_info* info) {
  return analyze(ctx, index, data, pattern, info);
}

int32_t tqx_pattern_analyze(context* ctx, const char* patrn_defn, const char* data, char* pattern) {
  if (pattern == nullptr) return TQ_ERR_ARGUMENT;
  strio_out_clear(ctx, pattern);
  if (patrn_defn == nullptr || data == nullptr) return TQ_ERR_ARGUMENT;
  int32_t index = -1;
  const int32_t rc = defn_index_get_by_name(ctx, kDefnPattern, patrn_defn, kDefnNameConvert, &index);
  if (rc < 0) return rc;
  return analyze(ctx, index, data, pattern, nullptr);
}

int32_t tqx_patrn_info_init(context*, patrn_info** info) {
  if (info == nullptr) return TQ_ERR_ARGUMENT;
  *info = nullptr;
  auto* made = new (std::nothrow) patrn_info;
  if (made == nullptr) return TQ_ERR_NO_MEMORY;
  made->matched = 0;
  *info = made;
  return 0;
}

int32_t tqx_patrn_info_free(context*, patrn_info* info) {
  delete info;
  return 0;
}

}  // namespace tq

#include "kbstore/krlocp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krlocl.h"
#include "kbstore/krxml.h"

namespace tq {

namespace {

constexpr const char* kPropIso = "Locale ISO Code";
constexpr const char* kPropDescription = "Locale Description";
constexpr const char* kPropCode = "Locale Code";

}  // namespace

void locale_info_clear(locale_info* info) {
  info->code = -1;
  info->iso[0] = '\0';
  info->description[0] = '\0';
}

int32_t locale_info_get(context* ctx, const locale_info* info, char* iso, char* description, int32_t* code,
                        uint32_t flags) {
  int32_t rc_iso = strio_out(ctx, info->iso, iso, kLocaleIsoSize - 1, flags);
  if (rc_iso < 0) return rc_iso;
  int32_t rc_desc = strio_out(ctx, info->description, description, kLocaleDescriptionSize - 1, flags);
  if (rc_desc < 0) return rc_desc;
  *code = info->code;
  return rc_combine(rc_iso, rc_desc);
}

int32_t locale_info_set(context* ctx, locale_info* info, const char* iso, const char* description, int32_t code,
                        uint32_t flags) {
  // Converted apart: a text that does not convert leaves the record as it was.
  locale_info in{};
  int32_t rc = strio_in(ctx, iso, in.iso, kLocaleIsoSize - 1, flags);
  if (rc >= 0) rc = rc_combine(rc, strio_in(ctx, description, in.description, kLocaleDescriptionSize - 1, flags));
  if (rc < 0) return rc;
  // What a resource's file can hold: every reader refuses a code outside the
  // locale table or a locale without its ISO code or description, so the
  // setter refuses them rather than let a save write what no load takes.
  if (!locale_table_contains(code)) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 144, code);
    return TQ_ERR_ARGUMENT;
  }
  if (in.iso[0] == '\0' || in.description[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1904);
    return TQ_ERR_ARGUMENT;
  }
  in.code = code;
  *info = in;
  return rc;
}

int32_t locale_info_write(context* ctx, const locale_info* info, xmldoc* doc) {
  char code[16];
  std::snprintf(code, sizeof code, "%d", info->code);
  int32_t rc = xmldoc_prop_add(ctx, doc, kPropIso, info->iso);
  if (rc != 0) return rc;
  rc = xmldoc_prop_add(ctx, doc, kPropDescription, info->description);
  if (rc != 0) return rc;
  return xmldoc_prop_add(ctx, doc, kPropCode, code);
}

int32_t locale_info_read(context* ctx, const xmldoc* doc, locale_info* info) {
  locale_info_clear(info);
  const char* code = xmldoc_prop_get(ctx, doc, kPropCode);
  if (code == nullptr || code[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 142);
    return TQ_ERR_INVALID_CONTENT;
  }
  long value = std::strtol(code, nullptr, 10);
  int32_t as_code = static_cast<int32_t>(value);
  if (value != as_code || !locale_table_contains(as_code)) {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 144, as_code);
    return TQ_ERR_INVALID_CONTENT;
  }
  info->code = as_code;
  const char* iso = xmldoc_prop_get(ctx, doc, kPropIso);
  if (iso == nullptr || iso[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 143);
    return TQ_ERR_INVALID_CONTENT;
  }
  uchar_buf_copy(info->iso, iso, kLocaleIsoSize);
  const char* description = xmldoc_prop_get(ctx, doc, kPropDescription);
  if (description == nullptr || description[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 145);
    return TQ_ERR_INVALID_CONTENT;
  }
  uchar_buf_copy(info->description, description, kLocaleDescriptionSize);
  return 0;
}

void locale_info_from_current(context* ctx, locale_info* info) {
  locale_info_clear(info);
  if (ctx == nullptr || ctx->current_locale_code == 0) return;
  int32_t code = ctx->current_locale_code;
  if (locale_table_iso_get(nullptr, code, info->iso, kLocaleIsoSize) != 0 ||
      locale_table_description_get(nullptr, code, info->description, kLocaleDescriptionSize) != 0) {
    locale_info_clear(info);
    return;
  }
  info->code = code;
}

}  // namespace tq

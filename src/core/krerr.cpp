#include "core/krerr.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "core/krcorvel.h"
#include "core/krtrace.h"

namespace tq {

namespace {

const err_rec kEmptyRecord = {0, {0}};

// The list grows by exactly one record at a time and never shrinks while the
// context lives.
int32_t grow(err_list* list) {
  uint32_t want = list->count + 1;
  auto* recs = static_cast<err_rec*>(std::realloc(list->recs, sizeof(err_rec) * want));
  if (recs == nullptr) return -600;
  list->recs = recs;
  list->capacity = want;
  return 0;
}

}  // namespace

const err_rec* err_empty_record() { return &kEmptyRecord; }

void err_report_at(context* ctx, const char* file, uint32_t line) {
  if (ctx == nullptr) return;
  ctx->pending_file = file;
  ctx->pending_line = line;
}

int32_t err_record_append(context* ctx, int32_t code, int32_t msg_number, ...) {
  if (ctx == nullptr) return 0;
  const char* file = ctx->pending_file != nullptr ? ctx->pending_file : "";
  uint32_t line = ctx->pending_line;
  ctx->pending_file = "";
  ctx->pending_line = 0;
  if (!ctx->allow_msgs) return 109;
  err_list* list = &ctx->errors;
  if (list->count == list->capacity && grow(list) != 0) return -600;
  err_rec* rec = &list->recs[list->count];
  rec->code = code;
  rec->text[0] = '\0';
  list->count++;
  va_list args;
  va_start(args, msg_number);
  int32_t rc = tqmsg12_get_loc_vmessage(file, line, ctx->msg_locale, "Corvel", msg_number, rec->text, args);
  va_end(args);
  list->last = rec;
  TQ_TRACE(ctx, 0, "Error: %s (rc = %d)", rec->text, code);
  return rc >= 0 ? 0 : 108;
}

void err_record_generic(context* ctx, int32_t code) {
  if (ctx == nullptr || code >= 0 || ctx->errors.count != 0) return;
  ctx->pending_file = __FILE__;
  ctx->pending_line = 644;
  // The generic messages take no arguments; the number depends on the code,
  // so it cannot go through the compile-time checked front.
  err_record_append(ctx, code, err_generic_msg_number(code));
}

void err_list_init(context* ctx) {
  ctx->errors.recs = nullptr;
  ctx->errors.count = 0;
  ctx->errors.capacity = 0;
  ctx->errors.last = &kEmptyRecord;
}

void err_list_reset(context* ctx) {
  if (ctx == nullptr) return;
  ctx->errors.count = 0;
  ctx->errors.last = &kEmptyRecord;
}

void err_list_free(context* ctx) {
  if (ctx == nullptr) return;
  err_list_reset(ctx);
  std::free(ctx->errors.recs);
  ctx->errors.recs = nullptr;
  ctx->errors.capacity = 0;
}

int32_t err_list_copy(const context* src, context* dst) {
  err_list_free(dst);
  const err_list& from = src->errors;
  if (from.count == 0) return 0;
  auto* recs = static_cast<err_rec*>(std::malloc(sizeof(err_rec) * from.count));
  if (recs == nullptr) return -600;
  std::memcpy(recs, from.recs, sizeof(err_rec) * from.count);
  dst->errors.recs = recs;
  dst->errors.count = from.count;
  dst->errors.capacity = from.count;
  // The last record must point into the copy's own array, or it would dangle
  // once the source closes.
  dst->errors.last = &recs[from.count - 1];
  return 0;
}

int32_t err_msg_locale_set(context* ctx, const char* locale) {
  if (ctx == nullptr) return -100;
  if (locale == nullptr) {
    TQ_REPORT(ctx, -802, 57, "'locale' is null.");
    return -802;
  }
  // The locale is kept as a terminated text; one that does not fit is refused
  // like any other locale the catalogue does not take.
  if (std::strlen(locale) >= sizeof ctx->msg_locale) return -101;
  if (tqmsg12_set_locale(locale) < 0) return -101;
  std::memset(ctx->msg_locale, 0, sizeof ctx->msg_locale);
  std::memcpy(ctx->msg_locale, locale, std::strlen(locale));
  return 0;
}

int32_t err_generic_msg_number(int32_t code) {
  switch (code) {
    case -100: return 1495;
    case -101: return 1496;
    case -200: return 1553;
    case -300: return 1500;
    case -301: return 1501;
    case -400: return 1502;
    case -401: return 1503;
    case -402: return 1504;
    case -403: return 1505;
    case -404: return 1506;
    case -405: return 1507;
    case -406: return 1508;
    case -407: return 1509;
    case -500: return 1510;
    case -501: return 1511;
    case -600: return 1512;
    case -601: return 1513;
    case -602: return 1514;
    case -603: return 1515;
    case -604: return 1516;
    case -700: return 1517;
    case -701: return 1518;
    case -702: return 1519;
    case -703: return 1520;
    case -704: return 1521;
    case -705: return 1522;
    case -706: return 1523;
    case -707: return 1524;
    case -708: return 1532;
    case -800: return 1525;
    case -801: return 1526;
    case -802: return 1527;
    case -803: return 1528;
    case -10000: return 1529;
    default: return 1530;
  }
}

bool err_is_critical(int32_t code) { return code == -100 || code == -200 || code == -600; }

// A result code names a kind of failure, not its cause, and clients test the
// numbers: a file library at its limit gives -601 like a full call-state
// stack, a bad file name -802 like any bad argument.
int32_t err_from_fio_status(int32_t status) {
  switch (status) {
    case 0: return 0;
    case 2: return -600;
    case 3: case 4: case 5: case 6: case 8: case 11: return -400;
    case 7: return -401;
    case 9: case 13: return -802;
    case 10: return -601;
    case 12: return -402;
    default: return -1;
  }
}

int32_t err_from_mutex_status(int32_t status) {
  switch (status) {
    case 0: return 0;
    case 2: return -600;
    case 3: return -405;
    case 4: return -406;
    default: return -1;
  }
}

}  // namespace tq

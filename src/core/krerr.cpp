#include "core/krerr.h"
#include "core/krzel.h"

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
  if (recs == nullptr) return TQ_ERR_NO_MEMORY;
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
  if (!ctx->allow_msgs) return TQ_WARN_MESSAGES_DISALLOWED;
  err_list* list = &ctx->errors;
  if (list->count == list->capacity && grow(list) != 0) return TQ_ERR_NO_MEMORY;
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
  return rc >= 0 ? 0 : TQ_WARN_NO_MESSAGE_TEXT;
}

void err_record_generic(context* ctx, int32_t code) {
  if (ctx == nullptr || code >= 0) return;
  // A warning recorded on the way (a text cut) does not stand for the
  // failure's message.
  for (uint32_t i = 0; i < ctx->errors.count; ++i) {
    if (ctx->errors.recs[i].code < 0) return;
  }
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
  if (recs == nullptr) return TQ_ERR_NO_MEMORY;
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
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (locale == nullptr) {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'locale' is null.");
    return TQ_ERR_ARGUMENT;
  }
  // The locale is kept as a terminated text; one that does not fit is refused
  // like any other locale the catalogue does not take.
  if (std::strlen(locale) >= sizeof ctx->msg_locale) return TQ_ERR_MSG_LOCALE;
  if (tqmsg12_set_locale(locale) < 0) return TQ_ERR_MSG_LOCALE;
  std::memset(ctx->msg_locale, 0, sizeof ctx->msg_locale);
  std::memcpy(ctx->msg_locale, locale, std::strlen(locale));
  return 0;
}

int32_t err_generic_msg_number(int32_t code) {
  switch (code) {
    case TQ_ERR_NULL_CONTEXT: return 1495;
    case TQ_ERR_MSG_LOCALE: return 1496;
    case TQ_ERR_COMPILED_VOCAB_SHORT: return 1553;
    case TQ_ERR_INVALID_CONTENT: return 1500;
    case TQ_ERR_NOTHING_TO_DO: return 1501;
    case TQ_ERR_FILE_OPEN: return 1502;
    case TQ_ERR_FILE_LOCKED: return 1503;
    case TQ_ERR_FILE_WRITE: return 1504;
    case -403: return 1505;
    case TQ_ERR_FILE_MISSING: return 1506;
    case TQ_ERR_LOCK_ACQUIRE: return 1507;
    case TQ_ERR_LOCK_RELEASE: return 1508;
    case TQ_ERR_NAME_IN_USE: return 1509;
    case TQ_ERR_EDIT_MODE: return 1510;
    case TQ_ERR_NEEDS_EDIT_MODE: return 1511;
    case TQ_ERR_NO_MEMORY: return 1512;
    case TQ_ERR_CALL_STACK_FULL: return 1513;
    case TQ_ERR_CALL_STACK_EMPTY: return 1514;
    case TQ_ERR_HOLD_NOT_HELD: return 1515;
    case TQ_ERR_EMPTY_STACK_READ: return 1516;
    case TQ_ERR_NOT_SUPPORTED: return 1517;
    case TQ_ERR_NOT_SURFACED: return 1518;
    case TQ_ERR_FAILED: return 1519;
    case TQ_ERR_PARSER_UNBOUND: return 1520;
    case TQ_ERR_DEFN_INVALID: return 1521;
    case TQ_ERR_NOT_USABLE: return 1522;
    case TQ_ERR_RESOURCE_LACKS: return 1523;
    case TQ_ERR_NO_LOCALE: return 1524;
    case TQ_ERR_PART_MISSING: return 1532;
    case TQ_ERR_INDEX: return 1525;
    case TQ_ERR_NAME: return 1526;
    case TQ_ERR_ARGUMENT: return 1527;
    case TQ_ERR_SYNTAX: return 1528;
    case TQ_ERR_INVALID_CHAR: return 1529;
    default: return 1530;
  }
}

bool err_is_critical(int32_t code) {
  // A call refused the write hold stops at once too, to run again under it.
  return is_restart(code) || code == TQ_ERR_NULL_CONTEXT || code == TQ_ERR_COMPILED_VOCAB_SHORT || code == TQ_ERR_NO_MEMORY;
}

// A result code names a kind of failure, not its cause, and clients test the
// numbers: a file library at its limit gives -601 like a full call-state
// stack, a bad file name -802 like any bad argument.
int32_t err_from_fio_status(int32_t status) {
  switch (status) {
    case 0: return 0;
    case 2: return TQ_ERR_NO_MEMORY;
    case 3: case 4: case 5: case 6: case 8: case 11: return TQ_ERR_FILE_OPEN;
    case 7: return TQ_ERR_FILE_LOCKED;
    case 9: case 13: return TQ_ERR_ARGUMENT;
    case 10: return -601;
    case 12: return TQ_ERR_FILE_WRITE;
    default: return -1;
  }
}

int32_t err_from_mutex_status(int32_t status) {
  switch (status) {
    case 0: return 0;
    case 2: return TQ_ERR_NO_MEMORY;
    case 3: return TQ_ERR_LOCK_ACQUIRE;
    case 4: return TQ_ERR_LOCK_RELEASE;
    default: return -1;
  }
}

}  // namespace tq

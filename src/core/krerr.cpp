#include "core/krerr.h"
#include "core/krzel.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "core/krcorvel.h"
#include "core/krtrace.h"
#include "platform/npmem.h"

namespace tq {

namespace {

const err_rec kEmptyRecord = {0, {0}};

// The list keeps its last slot apart for a failure, from the context's
// making on: records go into the slots before it, the list growing by one
// when they are full. When it cannot grow, a warning is left out and a
// failure takes the kept slot, so that a failed call never lists warnings
// alone, even under a lasting shortage of memory. Nothing recorded is ever
// replaced: a caller that marks the list before an attempt and truncates
// it to the mark after the attempt is passed over (err_list_truncate)
// drops that attempt's records and no other. The list never shrinks while
// the context lives.
int32_t grow(err_list* list) {
  uint32_t want = list->count + 2;
  auto* recs = static_cast<err_rec*>(np_realloc(list->recs, sizeof(err_rec) * want));
  if (recs == nullptr) return TQ_ERR_NO_MEMORY;
  list->recs = recs;
  list->capacity = want;
  return 0;
}

bool failure_recorded(const err_list& list) {
  for (uint32_t i = 0; i < list.count; ++i) {
    if (list.recs[i].code < 0) return true;
  }
  return false;
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
  // Counted whether or not it is recorded: a result must not depend on
  // whether messages are allowed.
  if (code < 0) ctx->errors.failures += 1;
  if (!ctx->allow_msgs) return TQ_WARN_MESSAGES_DISALLOWED;
  err_list* list = &ctx->errors;
  // A -600 asks for no memory: with the other slots full it takes the kept
  // one, so that it is recorded however little memory is left (unless a
  // failure took that slot first).
  if (list->count + 1 >= list->capacity && (code == TQ_ERR_NO_MEMORY || grow(list) != 0)) {
    if (code >= 0 || list->count >= list->capacity) return TQ_ERR_NO_MEMORY;
  }
  err_rec* rec = &list->recs[list->count];
  rec->code = code;
  rec->text[0] = '\0';
  list->count++;
  va_list args;
  va_start(args, msg_number);
  int32_t rc = tqmsg12_get_loc_vmessage(file, line, ctx->msg_locale, "Corvel", msg_number, rec->text, args);
  va_end(args);
  // A step that ran out of memory before it could make the text it meant
  // to give still leaves a -600 that says what it is. The catalogue's text
  // takes no argument and is written into the record, so nothing is
  // allocated for it.
  if (code == TQ_ERR_NO_MEMORY && rec->text[0] == '\0') {
    (void)err_text_vformat(rec->text, err_generic_msg_number(TQ_ERR_NO_MEMORY));
  }
  list->last = rec;
  TQ_TRACE(ctx, 0, "Error: %s (rc = %d)", rec->text, code);
  return rc >= 0 ? 0 : TQ_WARN_NO_MESSAGE_TEXT;
}

int32_t err_text_vformat(char* out, int32_t msg_number, ...) {
  out[0] = '\0';
  va_list args;
  va_start(args, msg_number);
  int32_t rc = tqmsg12_get_loc_vmessage("", 0, "", "Corvel", msg_number, out, args);
  va_end(args);
  return rc;
}

void err_record_generic(context* ctx, int32_t code) {
  if (ctx == nullptr || code >= 0) return;
  // A warning recorded on the way (a text cut) does not stand for the
  // failure's message.
  if (failure_recorded(ctx->errors)) return;
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
  ctx->errors.failures = 0;
  ctx->errors.passing = 0;
}

int32_t err_list_create(context* ctx) {
  err_list_init(ctx);
  ctx->errors.recs = static_cast<err_rec*>(np_malloc(sizeof(err_rec)));
  if (ctx->errors.recs == nullptr) return TQ_ERR_NO_MEMORY;
  ctx->errors.capacity = 1;
  return 0;
}

void err_list_reset(context* ctx) {
  if (ctx == nullptr) return;
  ctx->errors.count = 0;
  ctx->errors.last = &kEmptyRecord;
}

void err_list_truncate(context* ctx, uint32_t count) {
  if (ctx == nullptr || count >= ctx->errors.count) return;
  for (uint32_t i = count; i < ctx->errors.count; ++i) {
    if (ctx->errors.recs[i].code < 0) ctx->errors.failures -= 1;
  }
  if (count == 0) {
    err_list_reset(ctx);
    return;
  }
  ctx->errors.count = count;
  ctx->errors.last = &ctx->errors.recs[count - 1];
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
  // With the slot a new context keeps apart for a failure.
  const uint32_t room = from.count + 1;
  auto* recs = static_cast<err_rec*>(np_malloc(sizeof(err_rec) * room));
  if (recs == nullptr) return TQ_ERR_NO_MEMORY;
  if (from.count > 0) std::memcpy(recs, from.recs, sizeof(err_rec) * from.count);
  dst->errors.recs = recs;
  dst->errors.count = from.count;
  dst->errors.capacity = room;
  // The last record must point into the copy's own array, or it would dangle
  // once the source closes.
  dst->errors.last = from.count > 0 ? &recs[from.count - 1] : &kEmptyRecord;
  return 0;
}

uint32_t err_failures_mark(const context* ctx) { return ctx != nullptr ? ctx->errors.failures : 0; }

bool err_failed_since(const context* ctx, uint32_t mark) {
  return ctx != nullptr && ctx->errors.failures != mark;
}

int32_t err_went_on(const context* ctx, uint32_t mark, int32_t rc, int32_t warning) {
  return rc == 0 && err_failed_since(ctx, mark) ? warning : rc;
}

void err_passing_count(context* ctx, err_cause cause) {
  if (ctx != nullptr && cause == err_cause::passing) ctx->errors.passing += 1;
}

uint32_t err_passing_mark(const context* ctx) { return ctx != nullptr ? ctx->errors.passing : 0; }

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

namespace {

// Every failure code an export can return, with its generic message: the
// codes tq.h declares, no more and no fewer (a test compares the two).
constexpr err_code_row kCodeTable[] = {
    {TQ_ERR_GENERAL, 1530},
    {TQ_ERR_NULL_CONTEXT, 1495},
    {TQ_ERR_MSG_LOCALE, 1496},
    {TQ_ERR_COMPILED_VOCAB_SHORT, 1553},
    {TQ_ERR_INVALID_CONTENT, 1500},
    {TQ_ERR_NOTHING_TO_DO, 1501},
    {TQ_ERR_FILE_OPEN, 1502},
    {TQ_ERR_FILE_LOCKED, 1503},
    {TQ_ERR_FILE_WRITE, 1504},
    {TQ_ERR_FILE_OPERATION, 1505},
    {TQ_ERR_FILE_MISSING, 1506},
    {TQ_ERR_LOCK_ACQUIRE, 1507},
    {TQ_ERR_LOCK_RELEASE, 1508},
    {TQ_ERR_NAME_IN_USE, 1509},
    {TQ_ERR_EDIT_MODE, 1510},
    {TQ_ERR_NEEDS_EDIT_MODE, 1511},
    {TQ_ERR_NO_MEMORY, 1512},
    {TQ_ERR_CALL_STACK_FULL, 1513},
    {TQ_ERR_CALL_STACK_EMPTY, 1514},
    {TQ_ERR_HOLD_NOT_HELD, 1515},
    {TQ_ERR_EMPTY_STACK_READ, 1516},
    {TQ_ERR_NOT_SUPPORTED, 1517},
    {TQ_ERR_NOT_SURFACED, 1518},
    {TQ_ERR_FAILED, 1519},
    {TQ_ERR_PARSER_UNBOUND, 1520},
    {TQ_ERR_DEFN_INVALID, 1521},
    {TQ_ERR_NOT_USABLE, 1522},
    {TQ_ERR_RESOURCE_LACKS, 1523},
    {TQ_ERR_NO_LOCALE, 1524},
    {TQ_ERR_PART_MISSING, 1532},
    {TQ_ERR_INDEX, 1525},
    {TQ_ERR_NAME, 1526},
    {TQ_ERR_ARGUMENT, 1527},
    {TQ_ERR_SYNTAX, 1528},
    {TQ_ERR_XML_SYNTAX, 1874},
    {TQ_ERR_XML_PLACEMENT, 1875},
    {TQ_ERR_XML_NO_FILE, 1876},
    {TQ_ERR_XML_NO_TYPE, 1877},
    {TQ_ERR_XML_NO_VERSION, 1878},
    {TQ_ERR_XML_PROPERTY_NAME, 1879},
    {TQ_ERR_XML_INCLUDE_NAME, 1880},
    {TQ_ERR_XML_COLUMN_TYPE, 1881},
    {TQ_ERR_XML_RECORD_COUNT, 1882},
    {TQ_ERR_XML_COLUMN_COUNT, 1883},
    {TQ_ERR_XML_FIELD_COLUMN, 1884},
    {TQ_ERR_XML_UNSORTED, 1885},
    {TQ_ERR_INVALID_CHAR, 1529},
};

}  // namespace

std::span<const err_code_row> err_code_table() { return kCodeTable; }

int32_t err_generic_msg_number(int32_t code) {
  for (const err_code_row& row : kCodeTable) {
    if (row.code == code) return row.msg_number;
  }
  return 1530;
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
    case 3: case 4: case 5: case 6: case 8: case 11: case 15: return TQ_ERR_FILE_OPEN;
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

// Error list and result codes. Failures are recorded, not thrown: the failing
// code reports a result code and a catalogue message number with its
// arguments; the catalogue turns them into the record's text.
#pragma once

#include <cstdint>
#include <span>

#include "tq.h"
#include "platform/tqmsg.h"

struct tq_context;

namespace tq {

using context = ::tq_context;

inline constexpr uint32_t kErrTextSize = 4100;

// What a failure says of trying again, told where it happens and carried
// with it to where that is decided. A file that is not there (missing), or
// that can never be read as it stands (permanent: a link loop, a name too
// long, not a regular file, a refusal of access, content refused), stays
// so until someone mends the knowledge base; a failure of the moment
// (passing: out of memory, an I/O error, no descriptor left, a lock, an
// interrupted call) may be gone at the next attempt.
enum class err_cause : uint8_t { none, missing, permanent, passing };

struct err_rec {
  int32_t code;
  char text[kErrTextSize];
};

// The records of the current exported call. `last` points at the newest
// record, or at the static empty record while the list is empty.
struct err_list {
  err_rec* recs;
  uint32_t count;
  uint32_t capacity;
  const err_rec* last;
  // Failures reported on the context since it opened, whether recorded or
  // not (with messages disallowed nothing is), less those whose records a
  // truncation dropped. Only its change over a step counts (err_went_on).
  uint32_t failures;
  // Failures met on the context since it opened whose cause may pass,
  // counted where each happens (err_passing_count), recorded or not, and
  // never taken back: a step that went on past one may still have to be
  // made again. Only its change over a step counts (err_passing_mark).
  uint32_t passing;
};

const err_rec* err_empty_record();

// Where the next report comes from; err_record_append consumes it.
void err_report_at(context* ctx, const char* file, uint32_t line);

// Appends a record: 0, 109 when messages are disallowed (nothing recorded),
// 108 when the catalogue produced no text (the record stays), -600 when
// there is no room for it (nothing recorded): a warning finds none when the
// list cannot grow, a failure none when the slot the list keeps apart for
// one is taken as well. A -600 never asks for memory, and one whose text
// came out empty gets its code's own message. No record is ever replaced.
// Call it through TQ_REPORT, which checks the arguments against the
// message's format at compile time.
int32_t err_record_append(context* ctx, int32_t code, int32_t msg_number, ...);

// After an implementation returns: a negative code with no failure recorded
// gets the generic message of its code.
void err_record_generic(context* ctx, int32_t code);

void err_list_init(context* ctx);
// The list of a new context, with its slot kept apart for a failure: -600.
int32_t err_list_create(context* ctx);
void err_list_reset(context* ctx);
// Drops the records after the first `count`: an attempt that failed but was
// passed over (another folder tried next) leaves no trace, and its failures
// no longer count. With messages disallowed there is no record to drop, and
// such a failure still counts: no step that err_went_on answers for passes
// one over.
void err_list_truncate(context* ctx, uint32_t count);
void err_list_free(context* ctx);
// Copies the records of one context into another (tq_clone), with the slot
// kept apart for a failure; -600.
int32_t err_list_copy(const context* src, context* dst);

int32_t err_msg_locale_set(context* ctx, const char* locale);

// The result of a call that did two things: the first failure (in argument
// order) wins over any warning, then TQ_WARN_NOT_DURABLE (118), then the
// first warning, then 0. Among other warnings the caller's argument order
// is the precedence: every call that names one ("the path's warning, else
// the name's") names the earlier step first, so callers pass their steps
// in that order. 118 comes before them all wherever it stands: a save in
// place that a crash may yet take back is the one warning a caller must
// not miss behind a lesser one, which stays in the error list.
constexpr int32_t rc_combine(int32_t first, int32_t second) {
  if (first < 0) return first;
  if (second < 0) return second;
  if (second == TQ_WARN_NOT_DURABLE) return second;
  return first != 0 ? first : second;
}

// A step that goes on past the failures it meets (a locale load whose
// definition reads what it names on first use, a resource kept with a part
// it could not read) must not answer 0 beside a failure in the error list.
// Take the mark before the step; err_went_on then gives its result `rc`,
// but 0 becomes `warning` when a failure was reported since the mark
// (recorded, or not for disallowed messages); a failure or another warning
// stays as it is.
uint32_t err_failures_mark(const context* ctx);
bool err_failed_since(const context* ctx, uint32_t mark);
int32_t err_went_on(const context* ctx, uint32_t mark, int32_t rc, int32_t warning);
// Counts a failure that has just happened when its cause may pass; any
// other cause counts nothing. A step that takes the mark before it and
// finds it changed after met such a failure, whatever happened in between
// (a report, a trace line, another file looked at).
void err_passing_count(context* ctx, err_cause cause);
uint32_t err_passing_mark(const context* ctx);

// A failure code and its generic message.
struct err_code_row {
  int32_t code;
  int32_t msg_number;
};
std::span<const err_code_row> err_code_table();
int32_t err_generic_msg_number(int32_t code);
bool err_is_critical(int32_t code);
int32_t err_from_fio_status(int32_t status);
int32_t err_from_mutex_status(int32_t status);

}  // namespace tq

namespace tq {

// Checked front of err_record_append: the message number is a template
// argument so that its format is looked up and compared with the argument
// types at compile time.
template <int32_t N, typename... A>
int32_t err_report(context* ctx, int32_t code, const char* file, uint32_t line, A... args) {
  static_assert(msg::args_match<N, A...>(), "arguments do not match the format of this message");
  err_report_at(ctx, file, line);
  return err_record_append(ctx, code, N, msg::vararg(args)...);
}

}  // namespace tq

namespace tq {

// Formats catalogue message N into out (kErrTextSize bytes), for texts that
// are handed up and recorded later (a reader's failure text).
int32_t err_text_vformat(char* out, int32_t msg_number, ...);
template <int32_t N, typename... A>
void err_text(char (&out)[kErrTextSize], A... args) {
  static_assert(msg::args_match<N, A...>(), "arguments do not match the format of this message");
  if (err_text_vformat(out, N, msg::vararg(args)...) < 0) out[0] = '\0';
}

}  // namespace tq

// Records `code` with catalogue message `msgno`, reported at this source line.
#define TQ_REPORT(ctx, code, msgno, ...) \
  ::tq::err_report<(msgno)>((ctx), (code), __FILE__, __LINE__ __VA_OPT__(, ) __VA_ARGS__)

#include "api/krapi_frame.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krtrace.h"
#include "core/krzel.h"

namespace tq::api {

namespace {

// The frame's own trace lines and reports name the interface file, whatever
// wrapper file stamped out the export.
constexpr const char* kInterfaceFile = "krapi.cpp";

// Guard texts carry the parameter's name; names are short identifiers.
using guard_text = char[512];

int32_t check_failed(context* ctx, const char* file, uint32_t line, const guard_text& text) {
  err_report_at(ctx, file, line);
  err_record_append(ctx, TQ_ERR_ARGUMENT, 57, static_cast<const char*>(text));
  return TQ_ERR_ARGUMENT;
}

// The implementation, with out of memory and any other exception caught.
int32_t invoke_caught(invoke_fn invoke, void* closure) noexcept {
  try {
    return invoke(closure);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  } catch (...) {
    return -1;
  }
}

// A call refused the write hold (kRcNeedsWriteHold) while it read: clears
// the error list, takes the write hold on top of the read hold the call
// holds (if any), runs the implementation again from the beginning and
// gives the write hold back. Nothing of the refused run stays: its messages
// go (its trace lines were held back and are dropped), and the refused run
// left its caller's outputs and infos as it found them (an implementation
// asks for the write hold before it writes them, or puts back what it wrote
// when it is refused), so the run again starts where the call started.
int32_t run_again_under_write_hold(context* ctx, invoke_fn invoke, void* closure) noexcept {
  ctx->write_refused = 0;
  ctx->cuts = 0;
  ctx->partial_reads = 0;
  err_list_reset(ctx);
  write_hold hold = write_hold_upgrade(ctx);
  if (!hold.held()) return hold.rc();
  int32_t rc = invoke_caught(invoke, closure);
  const int32_t released = hold.release();
  // Under the write hold nothing is refused it.
  if (is_restart(rc)) rc = TQ_ERR_FAILED;
  return rc < 0 || released == 0 ? rc : released;
}

// Gives back the holds a call left above what it found (`reads` read holds,
// `writes` write holds): the write holds first, so that the context takes
// its place among the readers again if it still reads. The results are
// dropped: the call's own result is the one to report.
void holds_give_back(context* ctx, uint32_t reads, uint32_t writes) noexcept {
  for (uint32_t n = ctx->write_holds > writes ? ctx->write_holds - writes : 0; n > 0; --n) {
    (void)shared_state_write_unlock(ctx, ctx->shared);
  }
  for (uint32_t n = ctx->read_holds > reads ? ctx->read_holds - reads : 0; n > 0; --n) {
    (void)shared_state_read_unlock(ctx, ctx->shared);
  }
}

}  // namespace

namespace {

// The session encoding's terminator at the start of a text: these run on
// every call of their exports, so without a call into the conversion layer.
uint32_t terminator_bytes(const context* ctx) {
  return ctx->session_encoding == kEncodingUcs2Be || ctx->session_encoding == kEncodingUcs2Le ? 2 : 1;
}

void write_empty(void* text, uint32_t term) {
  char* p = static_cast<char*>(text);
  p[0] = '\0';
  if (term == 2) p[1] = '\0';
}

}  // namespace

void output_clear_text(context* ctx, const void* value, uint64_t n) {
  (void)n;
  // Every such buffer holds at least the terminator of the session encoding.
  if (value != nullptr) write_empty(const_cast<void*>(value), terminator_bytes(ctx));
}

void output_clear_texts(context* ctx, const void* value, uint64_t n) {
  if (value == nullptr) return;
  char* const* texts = static_cast<char* const*>(value);
  for (uint64_t i = 0; i < n; ++i) output_clear_text(ctx, texts[i], 1);
}

void output_clear_sized(context* ctx, const void* value, uint64_t n) {
  // A size that cannot hold the terminator is refused, and nothing written.
  const uint32_t term = terminator_bytes(ctx);
  if (value != nullptr && n >= term) write_empty(const_cast<void*>(value), term);
}

void output_clear_counts(context* ctx, const void* value, uint64_t n) {
  (void)ctx;
  if (value != nullptr) std::memset(const_cast<void*>(value), 0, n * sizeof(uint32_t));
}

int32_t api_check_not_null(context* ctx, const char* file, uint32_t line, uint32_t flag,
                           const char* name, const void* value) {
  if (!(flag & 1) || value != nullptr) return 0;
  guard_text text;
  std::snprintf(text, sizeof text, "'%s' is null.", name);
  return check_failed(ctx, file, line, text);
}

int32_t api_check_string_empty(context* ctx, const char* file, uint32_t line, uint32_t flag,
                               const char* name, const char* text) {
  if (!(flag & 2) || (text != nullptr && text[0] != '\0')) return 0;
  guard_text message;
  std::snprintf(message, sizeof message, "'%s' is empty.", name);
  return check_failed(ctx, file, line, message);
}

int32_t api_check_value_zero(context* ctx, const char* file, uint32_t line, uint32_t flag,
                             const char* name, uintptr_t value) {
  guard_text text;
  if ((flag & 1) && value == 0) {
    std::snprintf(text, sizeof text, "'%s' is 0.", name);
  } else if ((flag & 2) && value != 0) {
    std::snprintf(text, sizeof text, "'%s' is not 0.", name);
  } else if ((flag & 4) && value != 0) {
    std::snprintf(text, sizeof text, "'%s' is false.", name);
  } else {
    return 0;
  }
  return check_failed(ctx, file, line, text);
}

int32_t api_check_edit_mode(const context* ctx, const char* file, uint32_t line, uint32_t flag) {
  (void)file;
  (void)line;
  if (flag == NEEDS_EDIT && !ctx->edit_mode) return TQ_ERR_NEEDS_EDIT_MODE;
  if (flag == REFUSES_EDIT && ctx->edit_mode) return TQ_ERR_EDIT_MODE;
  return 0;
}

namespace {

// The frame once the context is known and its errors are gone; `rest` is
// the implementation's name after "tqx_". Made twice: tracing is a
// context's setting for its whole life, so the usual path (no trace) has no
// trace test in it at all.
template <bool kTraced>
int32_t frame_run(context* ctx, const char* rest, uint32_t hold, uint32_t edit, const checked_arg* checks,
                  invoke_fn invoke, void* closure) noexcept {
  if constexpr (kTraced) {
    ctx->trace.source_file = kInterfaceFile;
    trace_write(ctx, 0, "API Entry @ tqx_%s", rest);
  }
  // Outputs are emptied before any check can refuse the call.
  for (const checked_arg* c = checks; c->name != nullptr; ++c) {
    if (c->clear != nullptr) c->clear(ctx, c->value, c->n);
  }
  int32_t rc = 0;
  if (edit != ANY) {
    rc = api_check_edit_mode(ctx, kInterfaceFile, __LINE__, edit);
    if (rc != 0) return rc;
  }
  for (const checked_arg* c = checks; c->name != nullptr; ++c) {
    if (c->value == nullptr) return api_check_not_null(ctx, kInterfaceFile, __LINE__, 1, c->name, c->value);
  }
  // What the call finds, so that it leaves no more than that: the frame is
  // the last guard of every hold the implementation takes.
  const uint32_t depth = ctx->call_depth;
  if (depth >= kCallStateDepth) return TQ_ERR_CALL_STACK_FULL;
  const uint32_t writes = ctx->write_holds;
  ctx->call_state[depth] = hold;
  ctx->call_depth = depth + 1;
  rc = api_lock_enter(ctx, hold);
  if (rc != 0) {
    ctx->call_depth = depth;
    return rc;
  }
  const uint32_t reads = ctx->read_holds;
  // The outermost run (a call that reads, or one that calls a reader) may
  // be refused the write hold: its trace lines are held back until that is
  // known.
  bool held = false;
  if constexpr (kTraced) held = trace_hold_back(ctx, ctx->call_depth == 1 && ctx->write_holds == 0);
  rc = invoke_caught(invoke, closure);
  if constexpr (kTraced) {
    if (held) trace_held_end(ctx, ctx->write_refused != 0);
  }
  // A call that needs the write hold while it reads was refused it with all
  // it holds still valid; the outermost frame runs it again under the write
  // hold (a nested one passes the refusal up to its caller). The context's
  // flag says so even if a path on the way turned the code into another.
  if (ctx->write_refused != 0 && depth == 0) rc = run_again_under_write_hold(ctx, invoke, closure);
  // Holds the call took and did not give back (a path between a hold and
  // its release that no guard covers) are given back here, before another
  // clone waits on them for ever; the call's own result stands.
  if (ctx->write_holds != writes || ctx->read_holds != reads) [[unlikely]] holds_give_back(ctx, reads, writes);
  // A text the call cut on its way in or out makes the warning 102 (its
  // message is recorded where it was cut).
  if (ctx->cuts != 0) [[unlikely]] rc = strio_cuts_result(ctx, rc);
  // A resource read on first use in part (its failures recorded) makes the
  // warning 105 of what would be 0.
  if (ctx->partial_reads != 0) [[unlikely]] rc = rc_combine(rc, TQ_WARN_READ_PROBLEMS);
  if (rc != 0) {
    err_record_generic(ctx, rc);
    if constexpr (kTraced) {
      ctx->trace.source_file = kInterfaceFile;
      trace_write(ctx, 0, "API Exit @ tqx_%s, rc=%d", rest, rc);
    }
  }
  // Popped to where the call found it, whatever the call did to the stack.
  const uint32_t word = ctx->call_state[depth];
  ctx->call_depth = depth;
  int32_t released = api_lock_leave(ctx, word);
  return released != 0 ? released : rc;
}

}  // namespace

// The frame runs around every framed call, so its usual path (no trace, no
// error left from the call before, no failing guard) is kept to a few tests
// and stores on the context, plus the read hold's fast path.
int32_t frame(context* ctx, const char* export_name, uint32_t hold, uint32_t edit,
              const checked_arg* checks, invoke_fn invoke, void* closure) noexcept {
  if (api_check_context(ctx, kInterfaceFile, __LINE__, 1) != 0) return TQ_ERR_NULL_CONTEXT;
  // Errors of the call before are gone from here on. (The static empty
  // record is fetched once; a local static, so that a call made while the
  // program's statics are still being built finds it too.)
  static const err_rec* const empty = err_empty_record();
  ctx->errors.count = 0;
  ctx->errors.last = empty;
  ctx->cuts = 0;
  ctx->partial_reads = 0;
  ctx->call_name = export_name;
  // The implementation's name: the export's with "tq_" replaced by "tqx_".
  const char* rest = export_name + 3;
  if (ctx->trace.on) [[unlikely]] return frame_run<true>(ctx, rest, hold, edit, checks, invoke, closure);
  return frame_run<false>(ctx, rest, hold, edit, checks, invoke, closure);
}

}  // namespace tq::api

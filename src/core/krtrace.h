// Tracing: one line per event, appended to the file named by
// CORVEL_TRACE_FILE, filtered by module (the base name of the reporting
// source file).
#pragma once

#include <cstdint>

struct tq_context;

namespace tq {

using context = ::tq_context;

inline constexpr uint32_t kTracePathSize = 16388;
inline constexpr uint32_t kTraceMaxModules = 128;

// Option bits (CORVEL_TRACE_OPTIONS, hexadecimal; also ORed with each line's flag).
inline constexpr uint32_t kTraceTruncate = 0x1;
inline constexpr uint32_t kTraceAllModules = 0x2;
inline constexpr uint32_t kTraceInvertModules = 0x4;

struct trace_state {
  uint32_t on;
  char path[kTracePathSize];
  uint32_t options;
  const char* source_file;
  char* modules[kTraceMaxModules + 1];  // NULL-terminated; modules[0] owns the block
  // Lines held back while a call that may be refused the write hold runs
  // (trace_hold_back); owned, grown as lines come.
  uint32_t holding;
  char* held;
  uint32_t held_size;
  uint32_t held_capacity;
};

int32_t trace_init(context* ctx, trace_state* ts);
void trace_write(context* ctx, uint32_t flag, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int32_t trace_term(context* ctx, trace_state* ts);
int32_t trace_copy(context* ctx, const trace_state* src, trace_state* dst);

// A call run while it reads may be refused the write hold and run again
// from the start under it; the trace then tells of the run again only, as
// the error list does. The lines written from trace_hold_back on are held;
// trace_held_end writes them (one write, so they stay together) or, when
// the run was refused, drops them, and stops holding. Should the lines not
// fit in memory they are written at once instead.
// trace_hold_back holds when `outermost` (and tracing is on): whether it
// does.
bool trace_hold_back(context* ctx, bool outermost);
void trace_held_end(context* ctx, bool drop);

// The module of a source path: the text after its last '/' or '\', up to its first '.'.
void trace_module_of(const char* path, char* out, uint32_t size);

}  // namespace tq

// Writes one trace line reported from this source file (nothing when off).
#define TQ_TRACE(ctx, flag, ...)                          \
  do {                                                    \
    ::tq::context* tq_trace_ctx_ = (ctx);                 \
    if (tq_trace_ctx_ != nullptr && tq_trace_ctx_->trace.on) { \
      tq_trace_ctx_->trace.source_file = __FILE__;        \
      ::tq::trace_write(tq_trace_ctx_, (flag), __VA_ARGS__); \
    }                                                     \
  } while (0)

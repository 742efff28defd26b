#include "core/krtrace.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/krcorvel.h"
#include "platform/npfio.h"
#include "platform/nptix.h"
#include "platform/npmem.h"

namespace tq {

namespace {

bool is_separator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == ','; }

// Cuts the module list into names. Empty names (from leading commas or a
// list of blanks only) are dropped: an empty name would match no module and
// silence every ordinary line.
int32_t parse_modules(const char* text, trace_state* ts) {
  char* block = static_cast<char*>(np_malloc(std::strlen(text) + 1));
  if (block == nullptr) return TQ_ERR_NO_MEMORY;
  // The names are packed one after another from the start of the block, so
  // modules[0] owns it and freeing it frees every name.
  char* out = block;
  uint32_t n = 0;
  const char* p = text;
  while (*p != '\0' && n < kTraceMaxModules) {
    while (*p != '\0' && is_separator(*p)) ++p;
    if (*p == '\0') break;
    ts->modules[n++] = out;
    while (*p != '\0' && !is_separator(*p)) *out++ = *p++;
    *out++ = '\0';
  }
  ts->modules[n] = nullptr;
  if (n == 0) std::free(block);
  return 0;
}

void free_modules(trace_state* ts) {
  std::free(ts->modules[0]);
  for (uint32_t i = 0; i <= kTraceMaxModules; ++i) ts->modules[i] = nullptr;
}

bool module_listed(const trace_state* ts, const char* module) {
  for (uint32_t i = 0; ts->modules[i] != nullptr; ++i) {
    if (std::strcmp(ts->modules[i], module) == 0) return true;
  }
  return false;
}

// Appends one whole line with a single write so that lines of several
// contexts and processes interleave whole. Tracing only watches: a write
// that fails (the trace file became a folder, the disk is full) leaves the
// thread's last file error as the traced code left it.
void append_line(const char* path, const char* line, std::size_t len) {
  if (len > UINT32_MAX) return;
  const int err = np_fio_last_error();
  (void)np_fio_append(path, line, static_cast<uint32_t>(len), false);
  np_fio_last_error_set(err);
}

// Appends a whole line to the held lines; false when they cannot grow.
bool hold_line(trace_state* ts, const char* line, std::size_t len) {
  const std::size_t want = static_cast<std::size_t>(ts->held_size) + len;
  if (want > UINT32_MAX) return false;
  if (want > ts->held_capacity) {
    std::size_t capacity = ts->held_capacity != 0 ? ts->held_capacity : 4096;
    while (capacity < want) capacity *= 2;
    if (capacity > UINT32_MAX) capacity = UINT32_MAX;
    char* grown = static_cast<char*>(np_realloc(ts->held, capacity));
    if (grown == nullptr) return false;
    ts->held = grown;
    ts->held_capacity = static_cast<uint32_t>(capacity);
  }
  std::memcpy(ts->held + ts->held_size, line, len);
  ts->held_size = static_cast<uint32_t>(want);
  return true;
}

void held_write(trace_state* ts) {
  if (ts->held_size > 0) append_line(ts->path, ts->held, ts->held_size);
  ts->held_size = 0;
}

}  // namespace

void trace_module_of(const char* path, char* out, uint32_t size) {
  if (size == 0) return;
  out[0] = '\0';
  if (path == nullptr) return;
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') base = p + 1;
  }
  uint32_t n = 0;
  while (base[n] != '\0' && base[n] != '.' && n + 1 < size) {
    out[n] = base[n];
    ++n;
  }
  out[n] = '\0';
}

int32_t trace_init(context* ctx, trace_state* ts) {
  std::memset(ts, 0, sizeof *ts);
  const char* file = std::getenv("CORVEL_TRACE_FILE");
  const char* options = std::getenv("CORVEL_TRACE_OPTIONS");
  const char* modules = std::getenv("CORVEL_TRACE_MODULES");
  if (file == nullptr) return 0;
  // A path that does not fit is refused rather than cut: a cut path could
  // name some other file.
  if (std::strlen(file) >= kTracePathSize) return TQ_ERR_FILE_OPEN;
  if (options != nullptr) ts->options = static_cast<uint32_t>(std::strtoul(options, nullptr, 16));
  if (np_fio_append(file, nullptr, 0, (ts->options & kTraceTruncate) != 0) != kNpFioOk) return TQ_ERR_FILE_OPEN;
  ts->on = 1;
  std::strcpy(ts->path, file);
  if (modules != nullptr) {
    // Out of memory here starts tracing without a module list.
    (void)parse_modules(modules, ts);
  }
  ts->source_file = __FILE__;
  trace_write(ctx, 2, "Corvel tracing initiated.");
  return 0;
}

void trace_write(context* ctx, uint32_t flag, const char* format, ...) {
  if (ctx == nullptr || !ctx->trace.on) return;
  trace_state* ts = &ctx->trace;
  char module[256];
  trace_module_of(ts->source_file, module, sizeof module);
  uint32_t effective = flag | ts->options;
  if (!(effective & kTraceAllModules) && ts->modules[0] != nullptr) {
    bool listed = module_listed(ts, module);
    bool inverted = (effective & kTraceInvertModules) != 0;
    if (listed == inverted) return;
  }
  char stamp[1024];
  if (np_tix_write(0, 0, stamp, sizeof stamp) != 0) stamp[0] = '\0';
  char line[8192];
  int head = std::snprintf(line, sizeof line, "%s [%s, %p]: ", stamp, module, static_cast<void*>(ctx));
  if (head < 0) return;
  std::size_t len = static_cast<std::size_t>(head) < sizeof line ? static_cast<std::size_t>(head) : sizeof line - 1;
  va_list args;
  va_start(args, format);
  int body = std::vsnprintf(line + len, sizeof line - len, format, args);
  va_end(args);
  if (body > 0) len += static_cast<std::size_t>(body) < sizeof line - len ? static_cast<std::size_t>(body) : sizeof line - len - 1;
  if (len >= sizeof line - 1) len = sizeof line - 2;
  line[len++] = '\n';
  if (ts->holding != 0) {
    if (hold_line(ts, line, len)) return;
    // Out of memory: what is held goes out now, and so does the rest.
    held_write(ts);
    ts->holding = 0;
  }
  append_line(ts->path, line, len);
}

bool trace_hold_back(context* ctx, bool outermost) {
  if (ctx == nullptr || !ctx->trace.on || !outermost) return false;
  ctx->trace.holding = 1;
  return true;
}

void trace_held_end(context* ctx, bool drop) {
  if (ctx == nullptr) return;
  trace_state* ts = &ctx->trace;
  if (drop) ts->held_size = 0;
  held_write(ts);
  ts->holding = 0;
}

int32_t trace_term(context* ctx, trace_state* ts) {
  if (ts == nullptr) return 0;
  if (ts->on) {
    ts->source_file = __FILE__;
    trace_write(ctx, 2, "Corvel tracing terminated.");
  }
  free_modules(ts);
  std::free(ts->held);
  std::memset(ts, 0, sizeof *ts);
  return 0;
}

int32_t trace_copy(context* ctx, const trace_state* src, trace_state* dst) {
  (void)ctx;
  dst->on = src->on;
  if (!src->on) return 0;
  std::memcpy(dst->path, src->path, sizeof dst->path);
  dst->options = src->options;
  dst->source_file = src->source_file;
  if (src->modules[0] == nullptr) return 0;
  std::size_t total = 0;
  uint32_t n = 0;
  for (; src->modules[n] != nullptr; ++n) total += std::strlen(src->modules[n]) + 1;
  char* block = static_cast<char*>(np_malloc(total));
  if (block == nullptr) return TQ_ERR_NO_MEMORY;
  char* p = block;
  for (uint32_t i = 0; i < n; ++i) {
    std::size_t len = std::strlen(src->modules[i]) + 1;
    std::memcpy(p, src->modules[i], len);
    dst->modules[i] = p;
    p += len;
  }
  dst->modules[n] = nullptr;
  return 0;
}

}  // namespace tq

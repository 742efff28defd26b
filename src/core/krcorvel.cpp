// The context record's life cycle: the walk that makes, copies and frees the
// parts every layer adds to a context, and core's own parts.
#include "core/krcorvel.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/krerr.h"
#include "core/krfio.h"
#include "core/krstr.h"
#include "core/krtrace.h"
#include "core/krvec.h"
#include "platform/npmem.h"
#include "platform/npuchar.h"

namespace tq {

namespace {

constexpr uint32_t kSmallBlockSize = 320;
constexpr uint32_t kLargeBlockSize = 4096;

// Counts down to the part that the test hook makes fail; 0 when off.
std::atomic<uint32_t> g_fail_countdown{0};

// True when the test hook says this part is the one that fails.
bool injected_failure() {
  if (g_fail_countdown.load(std::memory_order_relaxed) == 0) return false;
  return g_fail_countdown.fetch_sub(1, std::memory_order_relaxed) == 1;
}

// Tracing from the environment. A copy takes its source's trace state as it
// is, so tracing is not started (nor its start line written) again.
int32_t trace_part_create(context* ctx) { return trace_init(ctx, &ctx->trace); }
int32_t trace_part_clone(context* src, context* dst) { return trace_copy(dst, &src->trace, &dst->trace); }
void trace_part_free(context* ctx) { (void)trace_term(ctx, &ctx->trace); }

int32_t settings_create(context* ctx) {
  ctx->allow_msgs = 1;
  int32_t rc = err_msg_locale_set(ctx, "EN");
  if (rc != 0) return rc;
  ctx->edit_mode = 0;
  ctx->session_encoding = 0;
  ctx->options = 1;
  return 0;
}

// A copy starts with its source's settings; the catalogue is still told the
// default locale, as for a new context, before the source's is copied over.
int32_t settings_clone(context* src, context* dst) {
  int32_t rc = settings_create(dst);
  if (rc != 0) return rc;
  dst->options = src->options;
  dst->edit_mode = src->edit_mode;
  dst->session_encoding = src->session_encoding;
  dst->pending_line = src->pending_line;
  dst->pending_file = src->pending_file;
  std::memcpy(dst->msg_locale, src->msg_locale, sizeof dst->msg_locale);
  dst->allow_msgs = src->allow_msgs;
  return 0;
}

int32_t errors_create(context* ctx) { return err_list_create(ctx); }

// The copy reports the source's records until its own next call.
int32_t errors_clone(context* src, context* dst) {
  err_list_init(dst);
  return err_list_copy(src, dst);
}

void errors_free(context* ctx) { err_list_free(ctx); }

int32_t pools_create(context* ctx) {
  ctx->small_pool = pool_create(kSmallBlockSize);
  ctx->large_pool = pool_create(kLargeBlockSize);
  return ctx->small_pool == nullptr || ctx->large_pool == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

void pools_free(context* ctx) {
  if (ctx->small_pool != nullptr) pool_destroy(ctx->small_pool);
  if (ctx->large_pool != nullptr) pool_destroy(ctx->large_pool);
  ctx->small_pool = nullptr;
  ctx->large_pool = nullptr;
}

// An empty search path and no root; a root given to tq_init is set once the
// context is built, as tq_zel_path_set sets it.
int32_t paths_create(context* ctx) { return path_list_create(&ctx->search_path); }

int32_t paths_clone(context* src, context* dst) {
  int32_t rc = path_list_create(&dst->search_path);
  if (rc != 0) return rc;
  if (src->root_path != nullptr) {
    dst->root_path = str_dup(src->root_path);
    if (dst->root_path == nullptr) return TQ_ERR_NO_MEMORY;
  }
  return path_list_copy(dst, src->search_path, dst->search_path);
}

void paths_free(context* ctx) {
  std::free(ctx->root_path);
  ctx->root_path = nullptr;
  if (ctx->search_path != nullptr) {
    path_list_destroy(ctx->search_path);
    ctx->search_path = nullptr;
  }
}

// Made by the first title casing of the context; a copy makes its own.
void case_cache_free(context* ctx) {
  np_case_cache_free(ctx->case_cache);
  ctx->case_cache = nullptr;
}

constexpr context_part kCoreParts[] = {
    {"trace state", trace_part_create, trace_part_free, trace_part_clone},
    {"messages and settings", settings_create, nullptr, settings_clone},
    {"error list", errors_create, errors_free, errors_clone},
    {"block pools", pools_create, pools_free, nullptr},
    {"root and search path", paths_create, paths_free, paths_clone},
    {"casing cache", nullptr, case_cache_free, nullptr},
};

// A part's create or clone, with out of memory thrown inside it (a
// container's growth) returned as -600 like the failures it returns: the
// walk then frees what was made, the failing part included.
int32_t part_make_caught(const context_part& part, context* src, context* dst) noexcept {
  try {
    if (src != nullptr && part.clone != nullptr) return part.clone(src, dst);
    return part.create != nullptr ? part.create(dst) : 0;
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  } catch (...) {
    return TQ_ERR_GENERAL;
  }
}

// Frees parts [0, made) of the walk, last first. Teardown runs to the end:
// a free that throws (out of memory while the shared state takes over what
// the context leaves) stops only its own part.
void free_made(context* ctx, std::span<const context_layer> layers, std::size_t made) noexcept {
  std::size_t index = 0;
  for (const context_layer& layer : layers) index += layer.size();
  for (auto layer = layers.rbegin(); layer != layers.rend(); ++layer) {
    for (auto part = layer->rbegin(); part != layer->rend(); ++part) {
      --index;
      if (index >= made || part->free == nullptr) continue;
      try {
        part->free(ctx);
      } catch (...) {
      }
    }
  }
}

void record_clear(context* ctx) {
  ctx->session_encoding = -1;
  std::memset(static_cast<void*>(ctx), 0, sizeof *ctx);
}

// The walk shared by create and clone; src is NULL for a new context.
int32_t parts_walk(context* src, context* dst, std::span<const context_layer> layers) {
  std::size_t made = 0;
  for (const context_layer& layer : layers) {
    for (const context_part& part : layer) {
      ++made;
      if (part.on_first_use) continue;
      const int32_t rc = injected_failure() ? TQ_ERR_NO_MEMORY : part_make_caught(part, src, dst);
      if (rc != 0) {
        free_made(dst, layers, made);
        record_clear(dst);
        return rc;
      }
    }
  }
  return 0;
}

}  // namespace

context_layer core_context_parts() { return kCoreParts; }

void context_record_init(context* ctx) {
  std::memset(static_cast<void*>(ctx), 0, sizeof *ctx);
  ctx->marker = kContextMarker;
  ctx->record_size = sizeof(context);
  // Failures reported before the error list exists read an empty record.
  ctx->errors.last = err_empty_record();
}

context* context_alloc() {
  auto* ctx = static_cast<context*>(np_malloc(sizeof(context)));
  if (ctx != nullptr) context_record_init(ctx);
  return ctx;
}

int32_t context_parts_create(context* ctx, std::span<const context_layer> layers) {
  return parts_walk(nullptr, ctx, layers);
}

int32_t context_parts_clone(context* src, context* dst, std::span<const context_layer> layers) {
  return parts_walk(src, dst, layers);
}

void context_parts_free(context* ctx, std::span<const context_layer> layers) {
  free_made(ctx, layers, static_cast<std::size_t>(-1));
  record_clear(ctx);
}

int32_t context_part_make(context* ctx, const context_part& part) {
  const int32_t rc = injected_failure() ? TQ_ERR_NO_MEMORY : part_make_caught(part, nullptr, ctx);
  if (rc == 0) return 0;
  if (part.free != nullptr) part.free(ctx);
  char text[96];
  std::snprintf(text, sizeof text, "Allocating memory for the %s.", part.name);
  TQ_REPORT(ctx, rc, 29, text);
  return rc;
}

void context_part_fail_at(uint32_t nth) { g_fail_countdown.store(nth, std::memory_order_relaxed); }

}  // namespace tq

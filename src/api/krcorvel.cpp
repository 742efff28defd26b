// The exports outside the frame: context life cycle, paths, options,
// version and the error readers. Each makes its own checks. Context
// initialisation and teardown live here, at the top of the layers, because
// they create and free the parts of every subsystem.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "tq.h"
#include "core/krcorvel.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krfio.h"
#include "core/krstr.h"
#include "core/krtrace.h"
#include "core/krvec.h"
#include "core/krzel.h"
#include "api/krwire.h"
#include "kbstore/krlock.h"
#include "kbstore/krshared.h"
#include "kbstore/krvlt.h"
#include "resources/krvcld.h"
#include "kbstore/krxml.h"
#include "resources/krchop.h"
#include "resources/krchpr.h"
#include "resources/krphtx.h"
#include "resources/krsch.h"

namespace tq {

namespace {

constexpr const char* kVersionText = "Corvel version 9.0 (build 135)";
constexpr int32_t kVersionNumber = 0x900;
constexpr uint32_t kPathMax = 16384;
constexpr uint32_t kSmallBlockSize = 320;
constexpr uint32_t kLargeBlockSize = 4096;
constexpr const char* kSubFolders[] = {"casetab", "chopinfo", "grammar", "locale",
                                       "phonetx", "regexlib", "scheme",  "vocab"};

// Interface buffers for paths: the maximum plus the widest terminator.
struct path_buffer {
  char text[kPathMax + 4];
};

// The search path of a root: the root joined with each sub-folder, ';'-separated.
int32_t search_path_from_root(context* ctx, const char* root) {
  std::string joined;
  std::size_t size = std::strlen(root) + 16;
  std::string one(size, '\0');
  for (const char* folder : kSubFolders) {
    if (fio_path_join(root, folder, one.data(), static_cast<uint32_t>(size)) != 0) return -802;
    if (!joined.empty()) joined += ';';
    joined += one.c_str();
  }
  return path_list_set(ctx, ctx->search_path, joined.c_str());
}

// Keeps a copy of the root and points the search path at its sub-folders.
int32_t root_set(context* ctx, const char* root) {
  char* copy = str_dup(root);
  if (copy == nullptr) return -600;
  int32_t rc = search_path_from_root(ctx, copy);
  if (rc != 0) {
    std::free(copy);
    return rc;
  }
  std::free(ctx->root_path);
  ctx->root_path = copy;
  return 0;
}

// The parts every context owns, built in the order teardown expects. The
// trace state is set up by the caller: a clone copies it instead of starting
// tracing again.
int32_t context_build(context* ctx) {
  // Lower layers reach the components above them through operations lent
  // here (once is enough, again is harmless).
  wiring_install();
  ctx->allow_msgs = 1;
  int32_t rc = err_msg_locale_set(ctx, "EN");
  if (rc != 0) return rc;
  ctx->edit_mode = 0;
  ctx->session_encoding = 0;
  ctx->options = 1;
  err_list_init(ctx);
  ctx->small_pool = pool_create(kSmallBlockSize);
  ctx->large_pool = pool_create(kLargeBlockSize);
  if (ctx->small_pool == nullptr || ctx->large_pool == nullptr) return -600;
  rc = path_list_create(&ctx->search_path);
  if (rc != 0) return rc;
  rc = lock_table_init(ctx);
  if (rc != 0) return rc;
  rc = xmldoc_stash_create(ctx);
  if (rc != 0) return rc;
  ctx->current_locale = -1;
  ctx->current_locale_code = 0;
  rc = scheme_scratch_create(ctx);
  if (rc != 0) return rc;
  if (phonetx_work_create(ctx, &ctx->phonetx_work) != 0) return -600;
  // The chopping work area first: the built-in choppers come after it.
  rc = chop_work_create(ctx, &ctx->chop_work);
  if (rc != 0) return rc;
  rc = chopper_builtins_create(ctx);
  if (rc != 0) return rc;
  return 0;
}

// Tears down whatever was built; always runs to the end.
void context_teardown(context* ctx) {
  if (ctx->shared != nullptr) {
    (void)shared_state_release(ctx, ctx->shared);
    ctx->shared = nullptr;
  }
  ctx->current_locale = -1;
  ctx->current_locale_code = 0;
  std::free(ctx->root_path);
  ctx->root_path = nullptr;
  if (ctx->search_path != nullptr) {
    path_list_destroy(ctx->search_path);
    ctx->search_path = nullptr;
  }
  chopper_builtins_free(ctx);
  scheme_scratch_free(ctx);
  chop_work_free(ctx->chop_work);
  ctx->chop_work = nullptr;
  phonetx_work_free(ctx, ctx->phonetx_work);
  ctx->phonetx_work = nullptr;
  phonetx_edit_session_free(ctx);
  vault_files_close_all(ctx);
  if (ctx->regex_work != nullptr) ctx->regex_work->release(ctx->regex_work);
  ctx->regex_work = nullptr;
  lock_table_free(ctx);
  xmldoc_stash_free(ctx);
  if (ctx->small_pool != nullptr) pool_destroy(ctx->small_pool);
  if (ctx->large_pool != nullptr) pool_destroy(ctx->large_pool);
  ctx->small_pool = nullptr;
  ctx->large_pool = nullptr;
  err_list_free(ctx);
  trace_term(ctx, &ctx->trace);
  ctx->session_encoding = -1;
  std::memset(static_cast<void*>(ctx), 0, sizeof *ctx);
}

context* context_alloc() {
  auto* ctx = static_cast<context*>(std::calloc(1, sizeof(context)));
  if (ctx == nullptr) return nullptr;
  ctx->marker = kContextMarker;
  ctx->record_size = sizeof(context);
  ctx->errors.last = err_empty_record();
  return ctx;
}

int32_t context_init(context* ctx, const char* root) {
  int32_t rc = trace_init(ctx, &ctx->trace);
  if (rc != 0) return rc;
  rc = context_build(ctx);
  if (rc != 0) return rc;
  if (root != nullptr && root[0] != '\0') {
    path_buffer converted;
    rc = strio_in_16384(ctx, root, converted.text, 1);
    if (rc < 0) return rc;
    if (converted.text[0] != '\0') {
      rc = root_set(ctx, converted.text);
      if (rc != 0) return rc;
    }
  }
  rc = shared_state_create(ctx, &ctx->shared);
  if (rc != 0) return rc;
  return shared_contents_create(ctx, ctx->shared);
}

int32_t open_context(tq_context** out, const char* root, uint32_t edit_mode) {
  if (out == nullptr) return -802;
  *out = nullptr;
  context* ctx = context_alloc();
  if (ctx == nullptr) return -600;
  int32_t rc = context_init(ctx, root);
  if (rc != 0) {
    context_teardown(ctx);
    std::free(ctx);
    return rc;
  }
  ctx->edit_mode = edit_mode;
  *out = ctx;
  return 0;
}

int32_t clone_into(context* src, context* dst) {
  int32_t rc = context_build(dst);
  if (rc != 0) return rc;
  if (src->root_path != nullptr) {
    dst->root_path = str_dup(src->root_path);
    if (dst->root_path == nullptr) return -600;
  }
  rc = path_list_copy(dst, src->search_path, dst->search_path);
  if (rc != 0) return rc;
  dst->options = src->options;
  dst->edit_mode = src->edit_mode;
  dst->session_encoding = src->session_encoding;
  rc = trace_copy(dst, &src->trace, &dst->trace);
  if (rc != 0) return rc;
  rc = err_list_copy(src, dst);
  if (rc != 0) return rc;
  dst->pending_line = src->pending_line;
  dst->pending_file = src->pending_file;
  std::memcpy(dst->msg_locale, src->msg_locale, sizeof dst->msg_locale);
  dst->allow_msgs = src->allow_msgs;
  dst->current_locale = src->current_locale;
  dst->current_locale_code = src->current_locale_code;
  // The copy joins the source's shared state (and its readers) last, so a
  // failure before here leaves nothing to give back.
  return shared_state_addref(src, src->shared, dst);
}

}  // namespace

}  // namespace tq

using namespace tq;

extern "C" {

TQ_API int32_t tq_init(tq_context** out, const char* root) noexcept { return open_context(out, root, 0); }

TQ_API int32_t tq_init_edit_mode(tq_context** out, const char* root) noexcept {
  return open_context(out, root, 1);
}

TQ_API int32_t tq_clone(tq_context* ctx, tq_context** result) noexcept {
  if (ctx == nullptr) return -100;
  if (ctx->edit_mode) return -500;
  if (result == nullptr) {
    TQ_REPORT(ctx, -802, 57, "'result' is null.");
    return -802;
  }
  *result = nullptr;
  context* copy = context_alloc();
  if (copy == nullptr) return -600;
  int32_t rc = clone_into(ctx, copy);
  if (rc != 0) {
    context_teardown(copy);
    std::free(copy);
    return rc;
  }
  *result = copy;
  return 0;
}

TQ_API int32_t tq_close(tq_context* ctx) noexcept {
  if (ctx == nullptr) return -100;
  context_teardown(ctx);
  std::free(ctx);
  return 0;
}

TQ_API int32_t tq_zel_path_set(tq_context* ctx, const char* root) noexcept {
  if (ctx == nullptr) return -100;
  if (root == nullptr) return -802;
  path_buffer converted;
  int32_t rc = strio_in_16384(ctx, root, converted.text, 1);
  if (rc < 0) return rc;
  if (converted.text[0] == '\0') return 0;
  int32_t set = root_set(ctx, converted.text);
  return set != 0 ? set : rc;
}

TQ_API int32_t tq_path_set(tq_context* ctx, const char* path) noexcept {
  if (ctx == nullptr) return -100;
  if (path == nullptr) return -802;
  path_buffer converted;
  int32_t rc = strio_in_16384(ctx, path, converted.text, 1);
  if (rc < 0) return rc;
  int32_t set = path_list_set(ctx, ctx->search_path, converted.text);
  return set != 0 ? set : rc;
}

TQ_API int32_t tq_path_get(tq_context* ctx, char* buffer, uint32_t size) noexcept {
  if (ctx == nullptr) return -100;
  if (buffer == nullptr) return -802;
  // The caller's size bounds everything written, terminator included.
  uint32_t term = strio_terminator_size(ctx);
  if (size < term) return -802;
  uint32_t max = size - term;
  if (max > kPathMax) max = kPathMax;
  path_buffer joined;
  path_list_join(ctx, ctx->search_path, joined.text, max + 1);
  int32_t rc = strio_out(ctx, joined.text, buffer, max, 1);
  return rc;
}

TQ_API int32_t tq_root_path_get(tq_context* ctx, char* path) noexcept {
  if (ctx == nullptr) return -100;
  if (path == nullptr) {
    TQ_REPORT(ctx, -802, 57, "'path' is null.");
    return -802;
  }
  return strio_out_16384(ctx, ctx->root_path != nullptr ? ctx->root_path : "", path, 1);
}

TQ_API uint32_t tq_options_get(tq_context* ctx) noexcept { return ctx == nullptr ? 0 : ctx->options; }

TQ_API uint32_t tq_options_set(tq_context* ctx, uint32_t options) noexcept {
  if (ctx == nullptr) return 0;
  uint32_t previous = ctx->options;
  ctx->options = options;
  return previous;
}

TQ_API int32_t tq_version_get(char* buffer) noexcept {
  if (buffer != nullptr) {
    // The text is shorter than the 64-character limit; only it and its
    // terminator are written.
    static_assert(sizeof("Corvel version 9.0 (build 135)") <= 65);
    std::memcpy(buffer, kVersionText, std::strlen(kVersionText) + 1);
  }
  return kVersionNumber;
}

TQ_API int32_t tq_error_info_get(tq_context* ctx, int32_t* error_code, char* error_string) noexcept {
  if (ctx == nullptr) return -100;
  if (error_code == nullptr) {
    TQ_REPORT(ctx, -802, 57, "'error_code' is null.");
    return -802;
  }
  if (error_string == nullptr) {
    TQ_REPORT(ctx, -802, 57, "'error_string' is null.");
    return -802;
  }
  const err_rec* last = ctx->errors.last != nullptr ? ctx->errors.last : err_empty_record();
  *error_code = last->code;
  const char* text = last->text[0] != '\0' ? last->text : "No error info available";
  return strio_out_4096(ctx, text, error_string, 1);
}

TQ_API int32_t tq_error_info_get_by_index(tq_context* ctx, uint32_t index, int32_t* error_code,
                                          char* error_string) noexcept {
  if (error_code == nullptr || error_string == nullptr) return -802;
  *error_code = 0;
  std::memset(error_string, 0, 4);
  if (ctx == nullptr) return -100;
  if (index >= ctx->errors.count) return -800;
  const err_rec& rec = ctx->errors.recs[index];
  *error_code = rec.code;
  return strio_out_4096(ctx, rec.text, error_string, 1);
}

TQ_API int32_t tq_error_count_get(tq_context* ctx, uint32_t* count) noexcept {
  if (count == nullptr) return -802;
  *count = 0;
  if (ctx == nullptr) return -100;
  *count = ctx->errors.count;
  return 0;
}

TQ_API int32_t tq_error_allow_msgs_set(tq_context* ctx, uint32_t allow) noexcept {
  if (ctx == nullptr) return -100;
  ctx->allow_msgs = allow;
  return 0;
}

TQ_API int32_t tq_error_allow_msgs_get(tq_context* ctx, uint32_t* allow) noexcept {
  if (ctx == nullptr) return -100;
  if (allow == nullptr) {
    TQ_REPORT(ctx, -802, 57, "'allow' is null.");
    return -802;
  }
  *allow = ctx->allow_msgs;
  return 0;
}

TQ_API uint32_t tq_error_is_critical(int32_t code) noexcept { return err_is_critical(code) ? 1u : 0u; }

}  // extern "C"

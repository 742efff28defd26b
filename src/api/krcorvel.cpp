// The exports outside the frame: context life cycle, paths, options,
// version and the error readers. Each makes its own checks and, as the
// frame does, catches what is thrown inside it: out of memory is -600, and
// nothing crosses the C boundary. Each layer lists
// the parts it adds to a context; context start, clone and close walk those
// lists from here, the top of the layers, where all of them are known.
#include <cstdlib>
#include <cstring>
#include <memory>
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
#include "fields/krfdctx.h"
#include "guess/krgsctx.h"
#include "kbstore/krkbctx.h"
#include "match/krmtctx.h"
#include "parse/krpsctx.h"
#include "platform/npuchar.h"
#include "resources/krrsctx.h"
#include "standardize/krstctx.h"

namespace tq {

namespace {

// The version comes from tq.h, where the build reads it too.
#define CORVEL_VERSION_TEXT_OF(major, minor) "Corvel version " #major "." #minor " (build 135)"
#define CORVEL_VERSION_TEXT(major, minor) CORVEL_VERSION_TEXT_OF(major, minor)
constexpr const char* kVersionText = CORVEL_VERSION_TEXT(TQ_VERSION_MAJOR, TQ_VERSION_MINOR);
constexpr int32_t kVersionNumber = TQ_VERSION_MAJOR << 8 | TQ_VERSION_MINOR;
constexpr uint32_t kPathMax = 16384;
constexpr const char* kSubFolders[] = {"casetab", "chopinfo", "grammar", "locale",
                                       "phonetx", "regexlib", "scheme",  "vocab"};

// The search path of a root: the root joined with each sub-folder, ';'-separated.
int32_t search_path_from_root(context* ctx, const char* root) {
  std::string joined;
  std::size_t size = std::strlen(root) + 16;
  std::string one(size, '\0');
  for (const char* folder : kSubFolders) {
    if (fio_path_join(root, folder, one.data(), static_cast<uint32_t>(size)) != 0) return TQ_ERR_ARGUMENT;
    if (!joined.empty()) joined += ';';
    joined += one.c_str();
  }
  return path_list_set(ctx, ctx->search_path, joined.c_str());
}

// The whole search path, its directories joined with ';'.
std::string search_path_joined(context* ctx) {
  const path_list* list = ctx->search_path;
  std::size_t size = 1;
  for (uint32_t i = 0; list != nullptr && i < list->count; ++i) size += std::strlen(list->dirs[i]) + 1;
  std::string joined(size, '\0');
  // At most eight roots of kPathMax bytes and their folders: far below 4 GiB.
  path_list_join(ctx, list, joined.data(), static_cast<uint32_t>(size));
  joined.resize(std::strlen(joined.c_str()));
  return joined;
}

// Keeps a copy of the root and points the search path at its sub-folders;
// on a failure (thrown ones included) both stay as they were.
int32_t root_set(context* ctx, const char* root) {
  std::unique_ptr<char, decltype(&std::free)> copy(str_dup(root), &std::free);
  if (copy == nullptr) return TQ_ERR_NO_MEMORY;
  int32_t rc = search_path_from_root(ctx, copy.get());
  if (rc != 0) return rc;
  std::free(ctx->root_path);
  ctx->root_path = copy.release();
  return 0;
}

// Wiring of the layers: operations that a lower layer calls upward, handed
// over when a context starts (once is enough, again is harmless).
int32_t layer_wiring(context* ctx) {
  (void)ctx;
  wiring_install();
  return 0;
}

constexpr context_part kApiParts[] = {
    {"layer wiring", layer_wiring, nullptr, nullptr},
};

// Every layer's parts, in the order a context is built; teardown walks them
// back. A new work area is an entry in its own layer's list; a new layer's
// list goes in layer order before the shared state, which comes last: a copy
// joins its source's only when everything else is made, and the last
// context to leave unloads while every work area still exists.
std::span<const context_layer> context_layers() {
  static const context_layer layers[] = {kApiParts,
                                         core_context_parts(),
                                         kbstore_context_parts(),
                                         resources_context_parts(),
                                         parse_context_parts(),
                                         standardize_context_parts(),
                                         match_context_parts(),
                                         fields_context_parts(),
                                         guess_context_parts(),
                                         shared_state_parts()};
  return layers;
}

void context_close(context* ctx) {
  context_parts_free(ctx, context_layers());
  std::free(ctx);
}

// A root or search path given by the caller, whole in UTF-8 into *out.
// One longer than a path may be (what the context keeps and gives back) is
// refused, never cut: a cut one would name a folder the caller never named.
// `what` and `call` name it in the message. Otherwise the conversion's
// result.
int32_t path_in(context* ctx, const char* given, const char* what, const char* call, std::string* out) {
  const int32_t rc = strio_in_whole(ctx, given, out, kStrioConvert | kStrioUnkept);
  if (rc < 0) return rc;
  if (out->size() > kPathMax) {
    // strio_in_whole takes no text of 4 GiB or more.
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1910, what, call, static_cast<uint32_t>(out->size()), kPathMax);
    return TQ_ERR_ARGUMENT;
  }
  return rc;
}

// A root given to tq_init is set as tq_zel_path_set sets it, once the
// context is built.
int32_t root_apply(context* ctx, const char* root) {
  if (root == nullptr || root[0] == '\0') return 0;
  std::string converted;
  int32_t rc = path_in(ctx, root, "root", "tq_init", &converted);
  if (rc < 0) return rc;
  if (converted.empty()) return 0;
  return root_set(ctx, converted.c_str());
}

// The body of an export outside the frame, with what it throws caught as
// the frame catches it: out of memory is -600, anything else -1. Each body
// changes nothing it cannot give back before the throw can come (a failed
// path set keeps the old root and search path; a failed start or copy frees
// what it made).
template <typename Body>
int32_t outside_frame(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  } catch (...) {
    return TQ_ERR_GENERAL;
  }
}

// A call outside the frame that tells its cuts as a framed call does: only
// its own, in messages that name it.
void cuts_start(context* ctx, const char* call) {
  ctx->cuts = 0;
  ctx->call_name = call;
}

// The error readers give a record's text out without touching the list they
// read: a text cut to TQ_ERROR_TEXT_MAX bytes is told by the result (102)
// alone. A record of the cut would become the newest record, which the
// next read would give instead, and its message would name the call whose
// records these are.
int32_t error_text_out(context* ctx, const char* text, char* out) {
  const uint32_t allow = ctx->allow_msgs;
  const uint32_t cuts = ctx->cuts;
  ctx->allow_msgs = 0;
  ctx->cuts = 0;
  const int32_t rc = strio_cuts_result(ctx, strio_out_4096(ctx, text, out, kStrioConvert));
  ctx->allow_msgs = allow;
  ctx->cuts = cuts;
  return rc;
}

int32_t open_context(tq_context** out, const char* root, uint32_t edit_mode) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  // ICU's once-per-process set-ups are reached before anything is made: a
  // lack of memory there is this call's -600, and the engines of a running
  // program never meet them.
  if (np_uchar_process_set_up() == -2) return TQ_ERR_NO_MEMORY;
  context* ctx = context_alloc();
  if (ctx == nullptr) return TQ_ERR_NO_MEMORY;
  int32_t rc = context_parts_create(ctx, context_layers());
  if (rc != 0) {
    std::free(ctx);
    return rc;
  }
  rc = outside_frame([&] { return root_apply(ctx, root); });
  if (rc != 0) {
    context_close(ctx);
    return rc;
  }
  ctx->edit_mode = edit_mode;
  *out = ctx;
  return 0;
}

}  // namespace

}  // namespace tq

using namespace tq;

extern "C" {

TQ_API int32_t tq_init(tq_context** out, const char* root) noexcept {
  return outside_frame([&] { return open_context(out, root, 0); });
}

TQ_API int32_t tq_init_edit_mode(tq_context** out, const char* root) noexcept {
  return outside_frame([&] { return open_context(out, root, 1); });
}

TQ_API int32_t tq_clone(tq_context* ctx, tq_context** result) noexcept {
  return outside_frame([&]() -> int32_t {
    if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
    if (ctx->edit_mode) return TQ_ERR_EDIT_MODE;
    if (result == nullptr) {
      TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'result' is null.");
      return TQ_ERR_ARGUMENT;
    }
    *result = nullptr;
    context* copy = context_alloc();
    if (copy == nullptr) return TQ_ERR_NO_MEMORY;
    int32_t rc = context_parts_clone(ctx, copy, context_layers());
    if (rc != 0) {
      std::free(copy);
      return rc;
    }
    *result = copy;
    return 0;
  });
}

TQ_API int32_t tq_close(tq_context* ctx) noexcept {
  return outside_frame([&]() -> int32_t {
    if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
    context_close(ctx);
    return 0;
  });
}

TQ_API int32_t tq_zel_path_set(tq_context* ctx, const char* root) noexcept {
  return outside_frame([&]() -> int32_t {
    if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
    if (root == nullptr) return TQ_ERR_ARGUMENT;
    std::string converted;
    int32_t rc = path_in(ctx, root, "root", "tq_zel_path_set", &converted);
    if (rc < 0) return rc;
    if (converted.empty()) return 0;
    int32_t set = root_set(ctx, converted.c_str());
    return set != 0 ? set : rc;
  });
}

TQ_API int32_t tq_path_set(tq_context* ctx, const char* path) noexcept {
  return outside_frame([&]() -> int32_t {
    if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
    if (path == nullptr) return TQ_ERR_ARGUMENT;
    std::string converted;
    int32_t rc = path_in(ctx, path, "search path", "tq_path_set", &converted);
    if (rc < 0) return rc;
    int32_t set = path_list_set(ctx, ctx->search_path, converted.c_str());
    return set != 0 ? set : rc;
  });
}

TQ_API int32_t tq_path_get(tq_context* ctx, char* buffer, uint32_t size) noexcept {
  return outside_frame([&]() -> int32_t {
    if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
    if (buffer == nullptr) return TQ_ERR_ARGUMENT;
    // The caller's size bounds everything written, terminator included.
    uint32_t term = strio_terminator_size(ctx);
    if (size < term) return TQ_ERR_ARGUMENT;
    uint32_t max = size - term;
    if (max > kPathMax) max = kPathMax;
    // Joined whole and cut only on the way out, where the cut is told with
    // the whole text's length (102, its message added to the list), as in the
    // framed exports. The search path of a long root is longer than kPathMax.
    cuts_start(ctx, "tq_path_get");
    const std::string joined = search_path_joined(ctx);
    const int32_t rc = strio_out(ctx, joined.c_str(), buffer, max, kStrioConvert);
    return strio_cuts_result(ctx, rc);
  });
}

TQ_API int32_t tq_root_path_get(tq_context* ctx, char* path) noexcept {
  return outside_frame([&]() -> int32_t {
    if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
    if (path == nullptr) {
      TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'path' is null.");
      return TQ_ERR_ARGUMENT;
    }
    cuts_start(ctx, "tq_root_path_get");
    const int32_t rc = strio_out_16384(ctx, ctx->root_path != nullptr ? ctx->root_path : "", path, kStrioConvert);
    return strio_cuts_result(ctx, rc);
  });
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
    static_assert(sizeof(CORVEL_VERSION_TEXT(TQ_VERSION_MAJOR, TQ_VERSION_MINOR)) <= TQ_VERSION_TEXT_MAX + 1);
    std::memcpy(buffer, kVersionText, std::strlen(kVersionText) + 1);
  }
  return kVersionNumber;
}

TQ_API int32_t tq_error_info_get(tq_context* ctx, int32_t* error_code, char* error_string) noexcept {
  return outside_frame([&]() -> int32_t {
    if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
    // A reader never adds to the list it reads, not even for its own
    // arguments: the record would become the newest, which is what it gives.
    if (error_code == nullptr || error_string == nullptr) return TQ_ERR_ARGUMENT;
    const err_rec* last = ctx->errors.last != nullptr ? ctx->errors.last : err_empty_record();
    *error_code = last->code;
    const char* text = last->text[0] != '\0' ? last->text : "No error info available";
    return error_text_out(ctx, text, error_string);
  });
}

TQ_API int32_t tq_error_info_get_by_index(tq_context* ctx, uint32_t index, int32_t* error_code,
                                          char* error_string) noexcept {
  return outside_frame([&]() -> int32_t {
    if (error_code == nullptr || error_string == nullptr) return TQ_ERR_ARGUMENT;
    *error_code = 0;
    std::memset(error_string, 0, 4);
    if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
    if (index >= ctx->errors.count) return TQ_ERR_INDEX;
    const err_rec& rec = ctx->errors.recs[index];
    *error_code = rec.code;
    return error_text_out(ctx, rec.text, error_string);
  });
}

TQ_API int32_t tq_error_count_get(tq_context* ctx, uint32_t* count) noexcept {
  if (count == nullptr) return TQ_ERR_ARGUMENT;
  *count = 0;
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  *count = ctx->errors.count;
  return 0;
}

TQ_API int32_t tq_error_allow_msgs_set(tq_context* ctx, uint32_t allow) noexcept {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  ctx->allow_msgs = allow;
  return 0;
}

TQ_API int32_t tq_error_allow_msgs_get(tq_context* ctx, uint32_t* allow) noexcept {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (allow == nullptr) return TQ_ERR_ARGUMENT;  // recorded nowhere, as every error reader
  *allow = ctx->allow_msgs;
  return 0;
}

// The internal restart code, critical inside the library (the call stops to
// run again under the write hold), never reaches a caller: not one of the
// codes tq.h names here.
TQ_API uint32_t tq_error_is_critical(int32_t code) noexcept {
  return err_is_critical(code) && !is_restart(code) ? 1u : 0u;
}

}  // extern "C"

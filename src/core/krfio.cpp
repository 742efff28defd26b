#include "core/krfio.h"

#include <limits.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "core/krerr.h"
#include "core/krstr.h"
#include "platform/npfio.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr const char* kKindExtensions[kFioKindCount] = {"dat", "sch", "mct", "xml", "krd",
                                                        "lck", "krv", "zel", "zev"};
constexpr const char* kStrippable[] = {"xml", "krd", "krv", "zel", "zev"};

bool is_separator(char c) { return c == '/' || c == '\\'; }

// Start of the last component: a '.' before it belongs to a directory and
// does not start an extension.
const char* last_component(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; ++p) {
    if (is_separator(*p)) base = p + 1;
  }
  return base;
}

// The '.' that starts the name's extension, or NULL.
const char* extension_dot(const char* name) {
  const char* dot = nullptr;
  for (const char* p = last_component(name); *p; ++p) {
    if (*p == '.') dot = p;
  }
  return dot;
}

// An older extension asked for as its newer kind is replaced, never the
// other way round.
bool is_older_twin(const char* have, const char* want) {
  return (std::strcmp(have, "krd") == 0 && std::strcmp(want, "zel") == 0) ||
         (std::strcmp(have, "krv") == 0 && std::strcmp(want, "zev") == 0);
}

// Copies the whole text or nothing: -1 (out emptied) when it does not fit.
int32_t copy_whole(const char* text, char* out, uint32_t size) {
  size_t n = std::strlen(text);
  if (n >= size) {
    if (size > 0) out[0] = '\0';
    return -1;
  }
  std::memcpy(out, text, n + 1);
  return 0;
}

// The length of a join of a search-path folder with a name that was too
// long for a path, said to the caller (never 0: it is past the limit).
uint32_t refused_length(const char* dir, const char* name) {
  const size_t n = fio_path_join_length(dir, name);
  return n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n);
}

// Whether two paths are one text, either separator matching the other
// (the file layer hands back a path with its own).
bool same_path_text(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (*a != *b && !(is_separator(*a) && is_separator(*b))) return false;
  }
  return *a == *b;
}

// The largest length <= limit that does not end inside a UTF-8 sequence.
size_t utf8_cut(const char* text, size_t limit) {
  while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80) --limit;
  return limit;
}

}  // namespace

fio_path_buffer::fio_path_buffer(uint32_t size) : text_(static_cast<char*>(np_malloc(size))), size_(size) {
  if (text_ != nullptr && size > 0) text_[0] = '\0';
}

fio_path_buffer::~fio_path_buffer() { std::free(text_); }

fio_open_report::~fio_open_report() { std::free(owned_); }

bool fio_open_report::path_set(const char* text) {
  if (text == nullptr) text = "";
  const size_t n = std::strlen(text) + 1;
  if (n > capacity_) {
    // A new block before the old one goes: the old text may be the one given.
    auto* block = static_cast<char*>(np_malloc(n));
    if (block == nullptr) {
      std::free(owned_);
      owned_ = nullptr;
      capacity_ = 0;
      path = "";
      return false;
    }
    std::memcpy(block, text, n);
    std::free(owned_);
    owned_ = block;
    capacity_ = n;
  } else if (text != owned_) {
    std::memmove(owned_, text, n);
  }
  path = owned_;
  return true;
}

const char* fio_kind_extension(uint32_t kind) {
  return kind < kFioKindCount ? kKindExtensions[kind] : nullptr;
}

int32_t path_list_create(path_list** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = static_cast<path_list*>(np_calloc(1, sizeof(path_list)));
  return *out != nullptr ? 0 : TQ_ERR_NO_MEMORY;
}

int32_t path_list_set(context* ctx, path_list* list, const char* text) {
  if (list == nullptr) return TQ_ERR_ARGUMENT;
  if (text == nullptr || *text == '\0') return path_list_free(ctx, list);

  size_t len = std::strlen(text);
  size_t slots = 1;
  for (const char* p = text; *p; ++p) {
    if (*p == ';') ++slots;
  }
  char* block = static_cast<char*>(np_malloc(len + 1));
  if (block == nullptr) return TQ_ERR_NO_MEMORY;
  std::memcpy(block, text, len + 1);
  char** dirs = static_cast<char**>(np_malloc(slots * sizeof(char*)));
  if (dirs == nullptr) {
    std::free(block);
    return TQ_ERR_NO_MEMORY;
  }

  uint32_t count = 0;
  char* start = block;
  for (char* p = block;; ++p) {
    if (*p != ';' && *p != '\0') continue;
    bool at_end = *p == '\0';
    *p = '\0';
    if (p > start) dirs[count++] = start;  // an empty directory takes no slot
    if (at_end) break;
    start = p + 1;
  }

  path_list_free(ctx, list);
  if (count == 0) {
    std::free(dirs);
    std::free(block);
    return 0;
  }
  list->block = block;
  list->dirs = dirs;
  list->count = count;
  return 0;
}

int32_t path_list_join(context* ctx, const path_list* list, char* out, uint32_t size) {
  (void)ctx;
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  if (list == nullptr || list->count == 0 || size < 2) return 0;
  size_t room = size - 1;
  size_t pos = 0;
  for (uint32_t i = 0; i < list->count; ++i) {
    if (i > 0) {
      if (pos >= room) break;
      out[pos++] = ';';
    }
    const char* dir = list->dirs[i];
    size_t n = std::strlen(dir);
    if (n > room - pos) {
      n = utf8_cut(dir, room - pos);
      std::memcpy(out + pos, dir, n);
      pos += n;
      break;
    }
    std::memcpy(out + pos, dir, n);
    pos += n;
  }
  out[pos] = '\0';
  return 0;
}

int32_t path_list_copy(context* ctx, const path_list* src, path_list* dst) {
  if (src == nullptr || dst == nullptr) return TQ_ERR_ARGUMENT;
  if (src == dst) return 0;
  if (src->count == 0) return path_list_free(ctx, dst);

  // Everything from the first directory to the end of the last one, so that
  // the copy's pointers keep their offsets.
  const char* first = src->dirs[0];
  const char* last = src->dirs[src->count - 1];
  size_t span = static_cast<size_t>(last - first) + std::strlen(last) + 1;
  char* block = static_cast<char*>(np_malloc(span));
  if (block == nullptr) return TQ_ERR_NO_MEMORY;
  char** dirs = static_cast<char**>(np_malloc(src->count * sizeof(char*)));
  if (dirs == nullptr) {
    std::free(block);
    return TQ_ERR_NO_MEMORY;
  }
  std::memcpy(block, first, span);
  for (uint32_t i = 0; i < src->count; ++i) dirs[i] = block + (src->dirs[i] - first);

  path_list_free(ctx, dst);
  dst->block = block;
  dst->dirs = dirs;
  dst->count = src->count;
  return 0;
}

int32_t path_list_free(context* ctx, path_list* list) {
  (void)ctx;
  if (list == nullptr) return 0;
  std::free(list->block);
  std::free(list->dirs);
  list->block = nullptr;
  list->dirs = nullptr;
  list->count = 0;
  return 0;
}

void path_list_destroy(path_list* list) {
  if (list == nullptr) return;
  path_list_free(nullptr, list);
  std::free(list);
}

size_t fio_path_join_length(const char* dir, const char* name) {
  if (dir == nullptr || name == nullptr) return 0;
  size_t dlen = std::strlen(dir);
  // An empty directory adds no separator: "/name" would be another file.
  bool sep = dlen > 0 && !is_separator(dir[dlen - 1]);
  return dlen + (sep ? 1 : 0) + std::strlen(name);
}

int32_t fio_path_join(const char* dir, const char* name, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return -1;
  out[0] = '\0';
  if (dir == nullptr || name == nullptr) return -1;
  size_t dlen = std::strlen(dir);
  size_t nlen = std::strlen(name);
  bool sep = dlen > 0 && !is_separator(dir[dlen - 1]);
  size_t total = fio_path_join_length(dir, name);
  // A cut path could name some other file that exists; refuse instead.
  if (total >= size) return -1;
  std::memcpy(out, dir, dlen);
  if (sep) out[dlen] = '/';
  std::memcpy(out + dlen + (sep ? 1 : 0), name, nlen + 1);
  return 0;
}

int32_t fio_name_extension_set(const char* name, const char* extension, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return -1;
  if (name == nullptr || extension == nullptr) {
    out[0] = '\0';
    return -1;
  }
  if (*extension == '.') ++extension;
  if (copy_whole(name, out, size) != 0) return -1;
  if (*extension == '\0') return 0;

  size_t nlen = std::strlen(name);
  size_t elen = std::strlen(extension);
  size_t keep = nlen + 1;  // the name and a new '.'
  if (const char* dot = extension_dot(name)) {
    if (std::strcmp(dot + 1, extension) == 0) return 0;
    if (is_older_twin(dot + 1, extension)) keep = static_cast<size_t>(dot - name) + 1;
  }
  if (keep + elen >= size) {
    out[0] = '\0';
    return -1;
  }
  out[keep - 1] = '.';
  std::memcpy(out + keep, extension, elen + 1);
  return 0;
}

int32_t fio_name_extension_strip(const char* name, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return -1;
  out[0] = '\0';
  if (name == nullptr) return -1;
  size_t n = std::strlen(name);
  if (const char* dot = extension_dot(name)) {
    for (const char* ext : kStrippable) {
      if (std::strcmp(dot + 1, ext) == 0) {
        n = static_cast<size_t>(dot - name);
        break;
      }
    }
  }
  if (n >= size) return -1;
  std::memcpy(out, name, n);
  out[n] = '\0';
  return 0;
}

int32_t fio_name_build(context* ctx, uint32_t kind, uint32_t flags, const char* name, char* out,
                       uint32_t size) {
  (void)ctx;
  if (out == nullptr || size == 0) return -1;
  out[0] = '\0';
  if (kind >= kFioKindCount || name == nullptr) return -1;
  if (flags & kFioFlagNameAsGiven) return copy_whole(name, out, size);
  return fio_name_extension_set(name, kKindExtensions[kind], out, size);
}

int32_t fio_path_basename_get(const char* path, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return -1;
  out[0] = '\0';
  if (path == nullptr) return -1;
  size_t end = std::strlen(path);
  while (end > 0 && is_separator(path[end - 1])) --end;
  size_t start = end;
  while (start > 0 && !is_separator(path[start - 1])) --start;
  size_t n = end - start;
  if (n >= size) return -1;
  std::memcpy(out, path + start, n);
  out[n] = '\0';
  return 0;
}

int32_t fio_path_type(const char* path) {
  switch (np_fio_ptype(path)) {
    case kNpFioPathName: return 0;
    case kNpFioPathRelative: return 1;
    case kNpFioPathAbsolute: return 2;
    default: return -1;
  }
}

namespace {

// What a failed call of the file library says of trying again, from its
// status and the system's error number read as it failed.
err_cause cause_of(int32_t status, int err) {
  switch (status) {
    case kNpFioOk: return err_cause::none;
    case kNpFioNotFound: return err_cause::missing;
    case kNpFioNoMemory:
    case kNpFioTooManyOpen:
    case kNpFioLocked: return err_cause::passing;
    case kNpFioIsDirectory:
    case kNpFioNotRegular:
    case kNpFioNameTooLong:
    case kNpFioBadArgument:
    case kNpFioDenied:
    case kNpFioReadOnly: return err_cause::permanent;
    default: break;
  }
  switch (err) {
    case ENOENT:
    case ENOTDIR: return err_cause::missing;
    case ELOOP:
    case ENAMETOOLONG:
    case EISDIR:
    case EACCES:
    case EPERM:
    case EROFS: return err_cause::permanent;
    // An I/O error, a lock, an interruption, a stale handle of a network
    // file system: none says anything lasting of the file.
    default: return err_cause::passing;
  }
}

// The failure of a call of the file library that has just answered status.
fio_failure failure_of(int32_t status) {
  if (status == kNpFioOk) return {};
  const int err = np_fio_last_error();
  return {err, cause_of(status, err)};
}

// fio_stat, and in *why the failure.
int32_t stat_one(const char* path, char* out, uint32_t size, fio_failure* why) {
  *why = {};
  if (path == nullptr) return TQ_ERR_ARGUMENT;
  const int32_t status = np_fio_stat(path, 0);
  *why = failure_of(status);
  switch (status) {
    case kNpFioOk: break;
    case kNpFioNotFound:
    case kNpFioIsDirectory:
    case kNpFioNotRegular: return TQ_ERR_FILE_MISSING;
    case kNpFioNoMemory: return TQ_ERR_NO_MEMORY;
    default: return TQ_ERR_FILE_OPEN;
  }
  if (out == nullptr) return 0;
  size_t n = std::strlen(path);
  if (n >= size) {
    if (size > 0) out[0] = '\0';
    return -1;
  }
  std::memcpy(out, path, n);
  std::memset(out + n, 0, size - n);
  return 0;
}

// A failure of a look-up or an open of the context's, counted when it may
// pass; rc as it is.
int32_t counted(context* ctx, int32_t rc, const fio_failure& why) {
  if (rc < 0) err_passing_count(ctx, why.cause);
  return rc;
}

}  // namespace

int32_t fio_search_walk(context* ctx, const char* name, fio_walk_end* end, fio_visit_fn visit, void* arg) {
  *end = {};
  const path_list* list = ctx != nullptr ? ctx->search_path : nullptr;
  if (list == nullptr || list->count == 0 || name == nullptr) return 0;
  end->folders = list->count;
  fio_path_buffer joined;
  if (!joined.ok()) return TQ_ERR_NO_MEMORY;
  for (uint32_t i = 0; i < list->count; ++i) {
    // A cut path could name some other file: the folder is passed over,
    // and the length said when no other folder answers.
    if (fio_path_join(list->dirs[i], name, joined.get(), joined.size()) != 0) {
      if (end->refused == 0) end->refused = refused_length(list->dirs[i], name);
      continue;
    }
    end->visited += 1;
    if (visit(joined.get(), arg)) {
      end->stopped = true;
      break;
    }
  }
  return 0;
}

int32_t fio_walk_nowhere(context* ctx, const fio_walk_end& end, const char* name) {
  if (end.refused == 0) return fio_no_folder_report(ctx, name);
  if (ctx != nullptr) {
    char text[kErrTextSize];
    fio_refused_join_text(name, end.refused, text);
    TQ_REPORT(ctx, TQ_ERR_FILE_OPEN, 52, static_cast<const char*>(text));
  }
  return TQ_ERR_FILE_OPEN;
}

int32_t fio_stat(const char* path, char* out, uint32_t size, fio_failure* why) {
  fio_failure none;
  return stat_one(path, out, size, why != nullptr ? why : &none);
}

int32_t fio_path_resolve(context* ctx, const char* name, uint32_t kind, char* out, uint32_t size,
                         fio_failure* why, uint32_t* refused) {
  if (refused != nullptr) *refused = 0;
  fio_failure none;
  if (why == nullptr) why = &none;
  *why = {};
  if (out == nullptr || size == 0) return TQ_ERR_ARGUMENT;
  out[0] = '\0';
  if (name == nullptr) return TQ_ERR_ARGUMENT;
  if (kind >= kFioKindCount || *name == '\0') return -1;

  fio_path_buffer built;
  if (!built.ok()) return TQ_ERR_NO_MEMORY;
  if (fio_name_extension_set(name, kKindExtensions[kind], built.get(), built.size()) != 0) return -1;
  int32_t type = fio_path_type(built.get());
  if (type < 0) return -1;
  if (type != 0 || ctx == nullptr) {
    // The path that could not be looked at, for the caller to name.
    int32_t rc = stat_one(built.get(), out, size, why);
    if (rc == TQ_ERR_FILE_OPEN && copy_whole(built.get(), out, size) != 0) return -1;
    return counted(ctx, rc, *why);
  }

  const path_list* list = ctx->search_path;
  if (list == nullptr || list->count == 0) return -1;
  // A folder where the file could not be looked at (it cannot be searched,
  // a link loop, an I/O error) says nothing of the others: the search goes
  // on, and only when no folder has the file is that failure the answer.
  fio_path_buffer failed;
  if (!failed.ok()) return TQ_ERR_NO_MEMORY;
  fio_failure failed_why;
  int32_t found = TQ_ERR_FILE_MISSING;
  fio_walk_end end;
  const int32_t walked = fio_search_walk(ctx, built.get(), &end, [&](const char* joined) {
    fio_failure attempt;
    const int32_t rc = stat_one(joined, out, size, &attempt);
    if (rc == TQ_ERR_FILE_MISSING) return false;
    if (rc == TQ_ERR_FILE_OPEN) {
      // Passed over or not, a failure that may pass is counted where it
      // happens: the file it hid may be the one the caller wanted.
      err_passing_count(ctx, attempt.cause);
      if (failed.get()[0] == '\0') {
        failed_why = attempt;
        std::memcpy(failed.get(), joined, std::strlen(joined) + 1);
      }
      return false;
    }
    found = rc;
    *why = attempt;
    return true;
  });
  if (walked != 0) return walked;
  if (refused != nullptr) *refused = end.refused;
  if (end.stopped) return counted(ctx, found, *why);
  if (failed.get()[0] == '\0') {
    why->cause = err_cause::missing;
    why->err = ENOENT;
    return TQ_ERR_FILE_MISSING;
  }
  *why = failed_why;
  // For a caller that names the failure from the thread's last file error.
  np_fio_last_error_set(failed_why.err);
  if (copy_whole(failed.get(), out, size) != 0) return -1;
  return counted(ctx, TQ_ERR_FILE_OPEN, failed_why);
}

namespace {

// Opens through the file library into a new handle cell: 0; -600 when the
// cell cannot be made; else the library's status as a result, the status
// itself in *status. *why says why it failed, kept as it failed.
int32_t open_cell(const char* path, uint32_t flags, uint32_t extra_mode, fio_handle** out, int32_t* status,
                  fio_failure* why) {
  *status = 0;
  *why = {};
  auto* cell = static_cast<fio_handle*>(np_calloc(1, sizeof(fio_handle)));
  if (cell == nullptr) {
    // Nothing was asked of the system: the reason is this one, not what
    // the thread's last file call left.
    *status = kNpFioNoMemory;
    *why = {ENOMEM, err_cause::passing};
    return TQ_ERR_NO_MEMORY;
  }
  // Engine flag 16 asks for an exclusive open; the file library's 16 means
  // shared, so the bit is inverted on the way down.
  uint32_t mode = (flags & 15u) | kNpFioShared | extra_mode;
  if (flags & kFioFlagExclusive) mode &= ~kNpFioShared;
  *status = np_fio_open(path, mode, &cell->file);
  if (*status == 0) {
    *out = cell;
    return 0;
  }
  *why = failure_of(*status);
  std::free(cell);
  return *status > 0 ? err_from_fio_status(*status) : *status;
}

}  // namespace

int32_t fio_open(const char* path, uint32_t flags, fio_handle** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  if (path == nullptr) return TQ_ERR_ARGUMENT;
  int32_t status = 0;
  fio_failure why;
  return open_cell(path, flags, 0, out, &status, &why);
}

namespace {

// fio_open_existing, and in *met whether a failure other than -404 was met
// at a file known to be there, which ends a search; *why says why it failed.
int32_t open_existing(const char* path, uint32_t flags, fio_handle** out, bool* met, fio_failure* why) {
  *met = true;
  *why = {};
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  if (path == nullptr) return TQ_ERR_ARGUMENT;
  int32_t status = 0;
  int32_t rc = open_cell(path, flags, kNpFioRegularOnly, out, &status, why);
  if (rc == 0 || status == kNpFioLocked || status == kNpFioNoMemory || rc == TQ_ERR_NO_MEMORY) return rc;
  if (status == kNpFioNotFound || status == kNpFioIsDirectory || status == kNpFioNotRegular) {
    return TQ_ERR_FILE_MISSING;
  }
  // A refusal says nothing certain about the file itself (the folder may be
  // the one that cannot be searched): only a file that is there stops the
  // search with the open's failure. The open's reason is the one named,
  // also as the thread's last file error.
  *met = np_fio_stat(path, 0) == kNpFioOk;
  np_fio_last_error_set(why->err);
  return rc;
}

}  // namespace

int32_t fio_open_existing(const char* path, uint32_t flags, fio_handle** out) {
  bool met = false;
  fio_failure why;
  return open_existing(path, flags, out, &met, &why);
}

uint32_t fio_kind_older(uint32_t kind) {
  switch (kind) {
    case kFioKindZel: return kFioKindKrd;
    case kFioKindZev: return kFioKindKrv;
    default: return kFioKindCount;
  }
}

uint32_t fio_context_flags(const context* ctx, uint32_t flags) {
  if (ctx != nullptr) {
    if (ctx->options & kOptNoLockFiles) flags |= kFioFlagNoLock;
    if (ctx->options & kOptSecondOpenFlag) flags |= kFioFlagExclusive;
  }
  return flags;
}

namespace {

// The report of an attempt that ended with rc for the reason `why`: rc, or
// -600 when the report could not keep the path.
int32_t reported(int32_t rc, const char* path, const fio_failure& why, fio_open_report* report) {
  fio_failure said = why;
  if (!report->path_set(path)) {
    rc = TQ_ERR_NO_MEMORY;
    said = {ENOMEM, err_cause::passing};
  } else if (rc == TQ_ERR_NO_MEMORY && why.err == 0) {
    said = {ENOMEM, err_cause::passing};
  }
  report->rc = rc;
  report->kind = kFioKindCount;
  report->err = rc != 0 ? said.err : 0;
  report->cause = rc != 0 ? said.cause : err_cause::none;
  report->refused_length = 0;
  return rc;
}

// A failure met before any file was tried (a bad name or kind).
int32_t reported(int32_t rc, const char* path, fio_open_report* report) {
  return reported(rc, path, fio_failure{0, err_cause::permanent}, report);
}

// One attempt with flags the context's options are applied to already;
// *met as open_existing gives it.
int32_t open_one(const char* path, uint32_t flags, fio_handle** out, fio_open_report* report, bool* met) {
  fio_failure why;
  const int32_t opened = open_existing(path, flags, out, met, &why);
  const int32_t rc = reported(opened, path, why, report);
  if (rc != opened && *out != nullptr) {
    // Opened, but its report could not be kept: nothing is handed out.
    fio_close(*out);
    *out = nullptr;
  }
  return rc;
}

// One look at a path, as open_one opens it: a failure to look at it never
// tells whether the file is there, so it never ends a search.
int32_t look_one(const char* path, fio_open_report* report, bool* met) {
  fio_failure why;
  const int32_t rc = stat_one(path, nullptr, 0, &why);
  *met = rc != TQ_ERR_FILE_OPEN;
  return reported(rc, path, why, report);
}

// The end of an open of the context's: a failure whose cause may pass is
// counted.
int32_t open_ended(context* ctx, const fio_open_report& report) {
  return counted(ctx, report.rc, fio_failure{report.err, report.cause});
}

// The names a search builds and keeps, on the heap: the name as the kind
// asked for, the form being tried, and the first attempt that failed where
// it could not tell whether the file is there.
struct search_names {
  char first[kFioPathSize];
  char built[kFioPathSize];
  char unsure[kFioPathSize];
};

// The search of fio_open_in_path, opening each file it tries when `out` is
// not NULL, else only looking at it (fio_find_in_path).
int32_t search(context* ctx, const char* name, uint32_t kind, uint32_t flags, fio_handle** out,
               fio_open_report* report) {
  if (name == nullptr || *name == '\0' || kind >= kFioKindCount) {
    return reported(-1, name != nullptr ? name : "", report);
  }
  auto* names = static_cast<search_names*>(np_malloc(sizeof(search_names)));
  if (names == nullptr) return reported(TQ_ERR_NO_MEMORY, name, report);
  struct names_guard {
    search_names* p;
    ~names_guard() { std::free(p); }
  } names_held{names};
  flags = fio_context_flags(ctx, flags);
  const uint32_t older = (flags & kFioFlagNameAsGiven) ? kFioKindCount : fio_kind_older(kind);
  fio_failure first_why{ENOENT, err_cause::missing};
  // The first join of the name (as the kind asked for) with a folder that
  // was too long for a path: that folder was not looked in.
  uint32_t refused = 0;
  // The first attempt that failed where it could not tell whether the file
  // is there (a folder that cannot be searched, a name too long, a link
  // loop): the search goes on past it, and it is the answer when no
  // attempt meets the file. Kept apart from *report, which each attempt
  // overwrites.
  int32_t unsure_rc = 0;
  uint32_t unsure_kind = kFioKindCount;
  fio_failure unsure_why;
  auto attempt = [&](const char* path, uint32_t k) {
    bool met = false;
    int32_t rc = out != nullptr ? open_one(path, flags, out, report, &met) : look_one(path, report, &met);
    if (rc == TQ_ERR_FILE_OPEN && !met) {
      // Counted though the search goes on: the file this folder hid may be
      // the one the caller wanted.
      err_passing_count(ctx, report->cause);
      if (unsure_rc == 0) {
        unsure_rc = rc;
        unsure_kind = k;
        unsure_why = {report->err, report->cause};
        std::memcpy(names->unsure, report->path, std::strlen(report->path) + 1);
      }
      rc = TQ_ERR_FILE_MISSING;
    }
    return rc;
  };
  for (uint32_t k : {kind, older}) {
    if (k == kFioKindCount) break;
    char* built = names->built;
    const int32_t type = fio_name_build(ctx, k, flags, name, built, kFioPathSize) == 0 ? fio_path_type(built) : -1;
    if (type < 0) return reported(-1, name, report);
    if (k == kind) std::memcpy(names->first, built, std::strlen(built) + 1);
    int32_t rc = reported(TQ_ERR_FILE_MISSING, built, fio_failure{ENOENT, err_cause::missing}, report);
    if (rc == TQ_ERR_NO_MEMORY) return rc;
    if (type != 0 || ctx == nullptr) {
      rc = attempt(built, k);
    } else {
      // One open per folder: a folder without the file costs one failed
      // open, not a look-up before it.
      fio_walk_end end;
      const int32_t walked = fio_search_walk(ctx, built, &end, [&](const char* joined) {
        rc = attempt(joined, k);
        return rc != TQ_ERR_FILE_MISSING;
      });
      if (walked != 0) return reported(walked, name, report);
      if (k == kind) refused = end.refused;
    }
    // A file met ends the search: held, it is held, not missing.
    if (rc != TQ_ERR_FILE_MISSING) {
      report->kind = k;
      return open_ended(ctx, *report);
    }
    if (k == kind) first_why = {report->err, report->cause};
  }
  if (unsure_rc != 0) {
    reported(unsure_rc, names->unsure, unsure_why, report);
    report->kind = unsure_kind;
    return open_ended(ctx, *report);
  }
  if (refused != 0) {
    // Not "not found": a folder it could not be looked in may hold it.
    if (reported(TQ_ERR_FILE_OPEN, names->first, fio_failure{ENAMETOOLONG, err_cause::permanent}, report) ==
        TQ_ERR_FILE_OPEN) {
      report->refused_length = refused;
    }
    report->kind = kind;
    return open_ended(ctx, *report);
  }
  // Named as the form asked for, with the reason its attempt had ("Is a
  // directory" for a path as given that names a folder, "not a regular
  // file" for a device).
  const int32_t rc = reported(TQ_ERR_FILE_MISSING, names->first, first_why, report);
  report->kind = kind;
  return rc;
}

}  // namespace

int32_t fio_open_file(context* ctx, const char* path, uint32_t flags, fio_handle** out, fio_open_report* report) {
  if (out == nullptr || report == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  if (path == nullptr) return reported(TQ_ERR_ARGUMENT, "", report);
  bool met = false;
  open_one(path, fio_context_flags(ctx, flags), out, report, &met);
  return open_ended(ctx, *report);
}

int32_t fio_open_in_path(context* ctx, const char* name, uint32_t kind, uint32_t flags, fio_handle** out,
                         fio_open_report* report) {
  if (out == nullptr || report == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  return search(ctx, name, kind, flags, out, report);
}

int32_t fio_find_in_path(context* ctx, const char* name, uint32_t kind, uint32_t flags, fio_open_report* report) {
  if (report == nullptr) return TQ_ERR_ARGUMENT;
  return search(ctx, name, kind, flags, nullptr, report);
}

int32_t fio_identity(fio_handle* handle, fio_file_id* out) {
  if (handle == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  np_fio_id id{};
  if (np_fio_identity(handle->file, &id) != 0) return TQ_ERR_ARGUMENT;
  out->device = id.device;
  out->inode = id.inode;
  return 0;
}

fio_version fio_version_opened(fio_handle* handle) {
  np_fio_version v{};
  if (handle == nullptr || np_fio_version_opened(handle->file, &v) != 0) return fio_version{};
  return fio_version{v.device, v.inode, v.size, v.mtime_sec, v.mtime_nsec};
}

int32_t fio_version_at(int folder, const char* name, fio_version* out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = fio_version{};
  np_fio_version v{};
  const int32_t status = np_fio_version_at(folder, name, &v);
  if (status == kNpFioNotFound) return TQ_ERR_FILE_MISSING;
  if (status != kNpFioOk) return status == kNpFioNoMemory ? TQ_ERR_NO_MEMORY : TQ_ERR_FILE_OPEN;
  *out = fio_version{v.device, v.inode, v.size, v.mtime_sec, v.mtime_nsec};
  return 0;
}

int32_t fio_replace_target(const char* path, char* out, uint32_t size) {
  if (path == nullptr || out == nullptr || size == 0) return TQ_ERR_ARGUMENT;
  int32_t status = np_fio_link_resolve(path, out, size);
  if (status == 0) return 0;
  return status == kNpFioNameTooLong ? -1 : TQ_ERR_FILE_OPEN;
}

void fio_close(fio_handle* handle) {
  if (handle == nullptr) return;
  np_fio_close(handle->file);
  std::free(handle);
}

int32_t fio_gets(fio_handle* handle, char* buffer, uint32_t size) {
  return np_fio_gets(handle != nullptr ? handle->file : nullptr, buffer, size);
}

int32_t fio_getb(fio_handle* handle, void* buffer, uint32_t size) {
  return np_fio_getb(handle != nullptr ? handle->file : nullptr, buffer, size);
}

int32_t fio_read_block(fio_handle* handle, void* buffer, uint32_t size, fio_failure* why) {
  const int32_t n = np_fio_getb(handle != nullptr ? handle->file : nullptr, buffer, size);
  if (n < 0 && why != nullptr) *why = failure_of(-n);
  return n;
}

err_cause fio_error_cause(int err) { return cause_of(kNpFioFailed, err); }

const char* fio_failure_text(const fio_failure& failure, char* buffer, uint32_t size) {
  if (failure.err == 0) {
    if (size > 0) std::snprintf(buffer, size, "%s", "unknown cause");
    return buffer;
  }
  return np_fio_error_text(failure.err, buffer, size);
}

int32_t fio_puts(fio_handle* handle, const char* text) {
  int32_t n = np_fio_puts(handle != nullptr ? handle->file : nullptr, text);
  return n < 0 ? TQ_ERR_FILE_WRITE : n;
}

int32_t fio_putb(fio_handle* handle, const void* bytes, uint32_t size) {
  int32_t n = np_fio_putb(handle != nullptr ? handle->file : nullptr, bytes, size);
  return n < 0 ? TQ_ERR_FILE_WRITE : n;
}

int32_t fio_trunc(fio_handle* handle) {
  return np_fio_trunc(handle != nullptr ? handle->file : nullptr) == 0 ? 0 : TQ_ERR_FILE_OPEN;
}

int32_t fio_unlink(const char* path) { return np_fio_unlink(path) == 0 ? 0 : TQ_ERR_FILE_OPEN; }

const char* fio_last_error_text(char* buffer, uint32_t size) {
  return fio_failure_text(fio_failure{np_fio_last_error()}, buffer, size);
}

void fio_open_report_text(context* ctx, const fio_open_report& report, char (&out)[kErrTextSize]) {
  if (report.rc == TQ_ERR_FILE_OPEN && report.refused_length != 0) {
    fio_refused_join_text(report.path, report.refused_length, out);
    return;
  }
  switch (report.rc) {
    case TQ_ERR_FILE_LOCKED: err_text<1863>(out, static_cast<const char*>(report.path)); return;
    case TQ_ERR_NO_MEMORY: err_text<2020>(out, static_cast<const char*>(report.path)); return;
    case -1: err_text<1860>(out, static_cast<const char*>(report.path), "the name is empty or too long"); return;
    case TQ_ERR_FILE_MISSING:
      if (fio_path_type(report.path) == 0 && ctx != nullptr) {
        fio_missing_text(ctx, report.path, out);
        return;
      }
      break;
    default: break;
  }
  char reason[256];
  const char* why = report.err != 0 ? np_fio_error_text(report.err, reason, sizeof reason) : "unknown cause";
  err_text<1860>(out, static_cast<const char*>(report.path), why);
}

void fio_open_report_record(context* ctx, const fio_open_report& report) {
  if (ctx == nullptr || report.rc == TQ_ERR_NO_MEMORY) return;
  char text[kErrTextSize];
  fio_open_report_text(ctx, report, text);
  TQ_REPORT(ctx, report.rc == TQ_ERR_FILE_MISSING ? TQ_ERR_FILE_OPEN : report.rc, 52, static_cast<const char*>(text));
}

void fio_report_open_failure(context* ctx, int32_t rc, const char* path, const fio_failure& why) {
  if (ctx == nullptr) return;
  fio_open_report report;
  reported(rc, path != nullptr ? path : "", why, &report);
  char text[kErrTextSize];
  fio_open_report_text(ctx, report, text);
  TQ_REPORT(ctx, rc, 52, static_cast<const char*>(text));
}

void fio_report_open_failure(context* ctx, int32_t rc, const char* path) {
  const int err = np_fio_last_error();
  // A file held by someone else, or not there, says so by its code; the
  // thread's last error speaks only for a failure of the system's.
  const fio_failure why{err, rc == TQ_ERR_FILE_LOCKED   ? err_cause::passing
                             : rc == TQ_ERR_FILE_MISSING ? err_cause::missing
                                                         : fio_error_cause(err)};
  err_passing_count(ctx, why.cause);
  fio_report_open_failure(ctx, rc, path, why);
}

void fio_refused_join_text(const char* name, uint32_t length, char (&out)[kErrTextSize]) {
  err_text<2141>(out, name != nullptr ? name : "", length, kFioPathSize - 1);
}

int32_t fio_no_folder_report(context* ctx, const char* name) {
  if (ctx != nullptr) TQ_REPORT(ctx, TQ_ERR_FILE_OPEN, 2140, call_name_of(ctx), name != nullptr ? name : "");
  return TQ_ERR_FILE_OPEN;
}

void fio_missing_text(context* ctx, const char* name, char (&out)[kErrTextSize]) {
  if (name == nullptr) name = "";
  // A path is used as it is, wherever the root and the search path are.
  if (fio_path_type(name) > 0) {
    err_text<2021>(out, name);
    return;
  }
  const char* root = ctx != nullptr ? ctx->root_path : nullptr;
  if (root != nullptr && *root != '\0') {
    int32_t status = np_fio_stat(root, 0);
    if (status == kNpFioNotFound) {
      err_text<1870>(out, name, root);
      return;
    }
    if (status == kNpFioOk || status == kNpFioNotRegular) {
      err_text<1871>(out, name, root);
      return;
    }
  }
  const path_list* list = ctx != nullptr ? ctx->search_path : nullptr;
  if (list == nullptr || list->count == 0) {
    err_text<1872>(out, name);
    return;
  }
  // Room for the rest of the text: a long search path is cut.
  char joined[kErrTextSize - 512];
  path_list_join(ctx, list, joined, sizeof joined);
  err_text<1869>(out, name, static_cast<const char*>(joined));
}

namespace {

// The write failed: the file's name and the system's reason.
int32_t report_write_failure(context* ctx, int32_t rc, const char* path) {
  if (ctx != nullptr) {
    char reason[256];
    TQ_REPORT(ctx, rc, 1862, path, static_cast<const char*>(fio_last_error_text(reason, sizeof reason)));
  }
  return rc;
}

// A link whose target is missing is refused by every writer, naming both:
// its target could not be made where the link stands (the name is taken by
// the link), and a save through it would make a file the link merely
// named. -404, recorded; 0 for anything else.
int32_t refuse_link_to_nothing(context* ctx, const char* path, const char* target) {
  if (same_path_text(target, path) || np_fio_stat(target, 0) != kNpFioNotFound) return 0;
  if (ctx != nullptr) TQ_REPORT(ctx, TQ_ERR_FILE_MISSING, 1891, path, target);
  return TQ_ERR_FILE_MISSING;
}

}  // namespace

int32_t fio_prepare_replace(context* ctx, const char* path, bool* made) {
  *made = false;
  if (path == nullptr) return TQ_ERR_ARGUMENT;
  // The lock that follows would fail on a link to nothing with no name
  // given: both names are said now.
  fio_path_buffer target;
  if (!target.ok()) return TQ_ERR_NO_MEMORY;
  if (np_fio_link_resolve(path, target.get(), target.size()) == kNpFioOk) {
    if (int32_t rc = refuse_link_to_nothing(ctx, path, target.get()); rc != 0) return rc;
  }
  int32_t status = np_fio_writable(path);
  if (status == kNpFioReadOnly) {
    if (ctx != nullptr) TQ_REPORT(ctx, TQ_ERR_FILE_OPEN, 1861, path);
    return TQ_ERR_FILE_OPEN;
  }
  // The name of the temporary file the making passes through, should it
  // stay: on the heap, as any path.
  const owned_str kept(static_cast<char*>(status == 0 ? np_malloc(kFioPathSize + 32) : nullptr));
  if (status == 0 && kept == nullptr) return TQ_ERR_NO_MEMORY;
  int kept_err = 0;
  if (status == 0) status = np_fio_create_new(path, made, kept.get(), kFioPathSize + 32, &kept_err);
  int32_t rc = 0;
  if (status != 0) {
    rc = status == kNpFioDenied ? TQ_ERR_FILE_OPEN : err_from_fio_status(status);
    if (rc != TQ_ERR_NO_MEMORY) fio_report_open_failure(ctx, rc, path);
  }
  // Named as a save names its own, under the call's failure, or, the file
  // made or found, under a warning of its own.
  if (kept_err != 0) {
    if (rc == 0) rc = TQ_WARN_TEMPORARY_STAYS;
    if (ctx != nullptr) {
      char reason[256];
      TQ_REPORT(ctx, rc, 2063, static_cast<const char*>(kept.get()), np_fio_error_text(kept_err, reason, sizeof reason));
    }
  }
  return rc;
}

namespace {
void (*g_write_hook)(fio_write_stage stage, const char* temp) = nullptr;

// The folder part of a path ("." for a bare name), for messages.
std::string folder_text(const char* path) {
  const char* base = last_component(path);
  size_t n = static_cast<size_t>(base - path);
  while (n > 1 && is_separator(path[n - 1])) --n;
  return n == 0 ? std::string(".") : std::string(path, n);
}

// What a replacing write holds: the present file, and the temporary file
// with its name in the held folder. Given back on every way out, an
// exception from the fill included; a temporary file that did not take the
// file's name goes first, while it is still locked against sweeps. On the
// heap: its names are paths.
struct replacing_write {
  const fio_place& place;
  fio_handle* guard = nullptr;
  fio_handle cell{nullptr};
  char temp[NAME_MAX + 1] = "";  // its name in the folder
  std::string shown_temp;        // its path, as messages and the test hook see it
  bool renamed = false;
  explicit replacing_write(const fio_place& p) : place(p) {}
  replacing_write(const replacing_write&) = delete;
  replacing_write& operator=(const replacing_write&) = delete;
  // Removes the temporary file of a write that failed with `rc`; one the
  // system keeps is named, for it stays beside the file.
  void discard(context* ctx, int32_t rc) {
    if (cell.file == nullptr || renamed || np_fio_unlink_at(place.folder, temp) == 0) return;
    if (ctx != nullptr) {
      char reason[256];
      TQ_REPORT(ctx, rc, 2063, shown_temp.c_str(), static_cast<const char*>(fio_last_error_text(reason, sizeof reason)));
    }
    renamed = true;  // nothing more to remove
  }
  ~replacing_write() {
    discard(nullptr, 0);
    // The contents are on the disk already (synced before the rename);
    // what a close could report after that concerns none of them.
    (void)np_fio_close(cell.file);
    fio_close(guard);
  }
};

void write_hook(fio_write_stage stage, const replacing_write& w) {
  if (g_write_hook != nullptr) g_write_hook(stage, w.shown_temp.c_str());
}

// Copies the present file's owner and group, then its access control list
// and permission bits (which a change of owner may clear), onto the new
// file: 0 or the failure, recorded naming the file.
int32_t give_access(context* ctx, replacing_write& w) {
  const char* shown = w.place.shown;
  uint32_t uid = kNpFioOwnerUnknown;
  uint32_t gid = kNpFioOwnerUnknown;
  int32_t status = np_fio_owner_copy_from(w.cell.file, w.guard != nullptr ? w.guard->file : nullptr, &uid, &gid);
  if (status == kNpFioNoMemory) return TQ_ERR_NO_MEMORY;
  if (status != 0) {
    if (ctx != nullptr) {
      char reason[256];
      const char* why = fio_last_error_text(reason, sizeof reason);
      if (status == kNpFioDenied && uid != kNpFioOwnerUnknown) {
        TQ_REPORT(ctx, TQ_ERR_FILE_OPEN, 1890, shown, uid, gid, why);
      } else {
        // Nothing is said of an owner that was not read.
        TQ_REPORT(ctx, TQ_ERR_FILE_OPEN, 2061, shown, why);
      }
    }
    return TQ_ERR_FILE_OPEN;
  }
  bool unread = false;
  status = np_fio_permissions_copy_from(w.cell.file, w.guard != nullptr ? w.guard->file : nullptr, &unread);
  if (status == kNpFioNoMemory) return TQ_ERR_NO_MEMORY;
  if (status == 0) return 0;
  if (ctx != nullptr) {
    char reason[256];
    const char* why = fio_last_error_text(reason, sizeof reason);
    if (unread) {
      TQ_REPORT(ctx, TQ_ERR_FILE_OPEN, 2062, shown, why);
    } else {
      TQ_REPORT(ctx, TQ_ERR_FILE_OPEN, 1892, shown, why);
    }
  }
  return TQ_ERR_FILE_OPEN;
}

int32_t write_in_place(context* ctx, const fio_place& place, fio_fill_fn fill, void* arg) {
  const char* shown = place.shown;
  // The rename would replace a file the user made read-only as easily as
  // any other (it asks only the folder): the write bits are asked first.
  int32_t status = np_fio_writable_at(place.folder, place.name);
  if (status == kNpFioReadOnly) {
    if (ctx != nullptr) TQ_REPORT(ctx, TQ_ERR_FILE_OPEN, 1861, shown);
    return TQ_ERR_FILE_OPEN;
  }
  if (status != 0) {
    int32_t rc = status == kNpFioNoMemory ? TQ_ERR_NO_MEMORY : TQ_ERR_FILE_OPEN;
    if (rc != TQ_ERR_NO_MEMORY) fio_report_open_failure(ctx, rc, shown);
    return rc;
  }
  auto w = std::make_unique<replacing_write>(place);
  // Hold the present file while its replacement is written, so that nobody
  // reads or writes it half way.
  status = np_fio_stat_at(place.folder, place.name);
  if (status == kNpFioOk) {
    // Shared like a reader's hold unless the options ask for exclusive
    // opens: writers are kept apart by the lock files, not by this hold.
    int32_t rc = fio_open_at(place.folder, place.name, fio_context_flags(ctx, kFioFlagWrite), &w->guard);
    if (rc != 0) {
      if (rc != TQ_ERR_NO_MEMORY) fio_report_open_failure(ctx, rc, shown);
      return rc;
    }
  } else if (status != kNpFioNotFound) {
    // Neither a file to hold nor nothing (a folder, a device, a failure to
    // look): named as the open the write cannot make.
    int32_t rc = status == kNpFioNoMemory ? TQ_ERR_NO_MEMORY : TQ_ERR_FILE_OPEN;
    if (rc != TQ_ERR_NO_MEMORY) fio_report_open_failure(ctx, rc, shown);
    return rc;
  }
  np_fio_temp_sweep_at(place.folder, place.name);

  // A replacement is born open to its owner alone, and opened to others
  // only as the old file was, before it holds a byte: whoever opened it
  // in between would keep a handle on the saved file. A new file is born
  // as the system makes new files (the umask, the folder's default list),
  // which is all it will be.
  int kept_err = 0;
  status = np_fio_temp_open_at(place.folder, place.name, w->guard != nullptr ? 0600 : 0666, w->temp, sizeof w->temp,
                               &w->cell.file, &kept_err);
  if (status != 0) {
    int32_t rc = err_from_fio_status(status);
    if (ctx != nullptr && rc != TQ_ERR_NO_MEMORY) {
      char reason[256];
      const char* why = fio_last_error_text(reason, sizeof reason);
      if (kept_err == 0) {
        TQ_REPORT(ctx, rc, 1865, shown, why);
      } else {
        // Made, then failed, and kept by the system: named as a save names
        // the temporary file it could not remove.
        TQ_REPORT(ctx, rc, 2464, shown, why);
        const std::string temp = folder_text(shown) + '/' + w->temp;
        TQ_REPORT(ctx, rc, 2063, temp.c_str(), np_fio_error_text(kept_err, reason, sizeof reason));
      }
    }
    return rc;
  }
  w->shown_temp = folder_text(shown);
  w->shown_temp += '/';
  w->shown_temp += w->temp;
  write_hook(fio_write_stage::made, *w);
  // The owner and group first (a privileged save would otherwise hand the
  // file to itself and lock its owner out, and the old group's bits would
  // apply to the new file's group), then the access control list and the
  // permission bits.
  int32_t rc = give_access(ctx, *w);
  if (rc == 0) {
    write_hook(fio_write_stage::filling, *w);
    rc = fill(&w->cell, arg);
    if (rc == TQ_ERR_FILE_WRITE) report_write_failure(ctx, rc, shown);
  }
  // On the disk before it takes the name: a power loss after the rename
  // must not leave an empty or partial file under it.
  if (rc == 0 && np_fio_sync(w->cell.file) != 0) rc = report_write_failure(ctx, TQ_ERR_FILE_WRITE, shown);
  if (rc == 0) write_hook(fio_write_stage::renaming, *w);
  // Renamed while still open: the temporary file's lock is what tells a
  // sweep elsewhere (whose process table does not know us) that the file
  // is alive, so it is held until the file has its final name.
  if (rc == 0) {
    np_fio_id id{};
    // The version the file will be once renamed (a rename keeps the
    // inode and the time), for a caller that keeps what it wrote.
    np_fio_version v{};
    int folder_err = 0;
    if (np_fio_identity(w->cell.file, &id) != 0 ||
        (place.written != nullptr && np_fio_version_now(w->cell.file, &v) != 0) ||
        np_fio_replace_at(place.folder, w->temp, place.name, &id, &folder_err) != 0) {
      rc = report_write_failure(ctx, TQ_ERR_FILE_WRITE, shown);
    } else {
      w->renamed = true;
      if (place.written != nullptr) *place.written = fio_version{v.device, v.inode, v.size, v.mtime_sec, v.mtime_nsec};
      // In place, and readable now; but a crash may yet bring back the old
      // file, which the caller is told with the reason.
      if (folder_err != 0) {
        rc = TQ_WARN_NOT_DURABLE;
        if (ctx != nullptr) {
          char reason[256];
          TQ_REPORT(ctx, rc, 2060, shown, folder_text(shown).c_str(),
                    np_fio_error_text(folder_err, reason, sizeof reason));
        }
      }
    }
  }
  if (rc < 0) w->discard(ctx, rc);
  return rc;
}

// The held folder of a write by path, closed when the write ends.
struct folder_held {
  int fd = -1;
  folder_held() = default;
  folder_held(const folder_held&) = delete;
  folder_held& operator=(const folder_held&) = delete;
  ~folder_held() { np_fio_folder_close(fd); }
};

}  // namespace

int32_t fio_open_at(int folder, const char* name, uint32_t flags, fio_handle** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  auto* cell = static_cast<fio_handle*>(np_calloc(1, sizeof(fio_handle)));
  if (cell == nullptr) return TQ_ERR_NO_MEMORY;
  // Engine flag 16 asks for an exclusive open; the file library's 16 means
  // shared, so the bit is inverted on the way down.
  uint32_t mode = (flags & 15u) | kNpFioShared;
  if (flags & kFioFlagExclusive) mode &= ~kNpFioShared;
  // A reader takes regular files only: a pipe put at the name would make
  // the open wait for a writer.
  if (!(flags & (kFioFlagWrite | kFioFlagCreate))) mode |= kNpFioRegularOnly;
  const int32_t status = np_fio_open_at(folder, name, mode, &cell->file);
  if (status == 0) {
    *out = cell;
    return 0;
  }
  std::free(cell);
  return err_from_fio_status(status);
}

int32_t fio_write_replacing(context* ctx, const fio_place& place, fio_fill_fn fill, void* arg) {
  if (place.folder < 0 || place.name == nullptr || place.shown == nullptr || fill == nullptr) return TQ_ERR_ARGUMENT;
  try {
    return write_in_place(ctx, place, fill, arg);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
}

namespace {

int32_t write_by_path(context* ctx, const char* path, fio_fill_fn fill, void* arg) {
  // What the path ends at is replaced: a link stays a link. Paths on the
  // heap: this runs on small thread stacks.
  std::string target(kFioPathSize, '\0');
  int32_t status = np_fio_link_resolve(path, target.data(), kFioPathSize);
  if (status != 0) {
    int32_t rc = status == kNpFioNameTooLong ? TQ_ERR_ARGUMENT : status == kNpFioNoMemory ? TQ_ERR_NO_MEMORY : TQ_ERR_FILE_OPEN;
    if (rc != TQ_ERR_NO_MEMORY) fio_report_open_failure(ctx, rc, path);
    return rc;
  }
  target.resize(std::strlen(target.c_str()));
  if (int32_t rc = refuse_link_to_nothing(ctx, path, target.c_str()); rc != 0) return rc;
  // Written as a held place: the folder the link's end is in, held for
  // the write, and the name there.
  const char* base = last_component(target.c_str());
  const std::string folder = folder_text(target.c_str());
  folder_held held;
  np_fio_id id{};
  status = *base == '\0' ? kNpFioIsDirectory : np_fio_folder_open(folder.c_str(), &held.fd, &id);
  if (status != 0) {
    int32_t rc = err_from_fio_status(status);
    if (ctx != nullptr && rc != TQ_ERR_NO_MEMORY) {
      char reason[256];
      TQ_REPORT(ctx, rc, 1865, target.c_str(), static_cast<const char*>(fio_last_error_text(reason, sizeof reason)));
    }
    return rc;
  }
  fio_place place;
  place.folder = held.fd;
  place.name = base;
  place.shown = target.c_str();
  return write_in_place(ctx, place, fill, arg);
}

}  // namespace

int32_t fio_write_replacing(context* ctx, const char* path, fio_fill_fn fill, void* arg) {
  if (path == nullptr || fill == nullptr) return TQ_ERR_ARGUMENT;
  try {
    return write_by_path(ctx, path, fill, arg);
  } catch (const std::bad_alloc&) {
    return TQ_ERR_NO_MEMORY;
  }
}

void fio_write_hook_set(void (*hook)(fio_write_stage stage, const char* temp)) { g_write_hook = hook; }

}  // namespace tq

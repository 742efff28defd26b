#include "kbstore/krlocl.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

#include "core/krcaseloc.h"
#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krfio.h"
#include "core/krstr.h"
#include "kbstore/krxml.h"
#include "platform/npmem.h"

namespace tq {

const locale_row kLocaleTable[kLocaleCount] = {
#include "kbstore/krlocl_table.inc"
};

namespace {

// Room for a text of the table or of a locale file name with the widest
// interface terminator.
constexpr uint32_t kIsoBufferSize = kLocaleIsoMax + 4;
constexpr uint32_t kDescriptionBufferSize = kLocaleDescriptionMax + 4;
constexpr uint32_t kFileNameBufferSize = kLocaleFileNameMax + 4;

int compare_iso(const char* a, const char* b) {
  return std::strcmp(a, b);  // byte order, as the table is sorted
}

void report_unknown_code(context* ctx, int32_t code) {
  if (ctx != nullptr) TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 144, code);
}

// A bounded copy that refuses rather than cuts: 0, or -1 with out empty.
int32_t copy_whole(const char* text, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return -1;
  size_t n = std::strlen(text);
  if (n >= size) {
    out[0] = '\0';
    return -1;
  }
  std::memcpy(out, text, n + 1);
  return 0;
}

bool ends_with(const char* text, const char* suffix) {
  size_t n = std::strlen(text);
  size_t m = std::strlen(suffix);
  return n >= m && std::memcmp(text + n - m, suffix, m) == 0;
}

// The iterator of the available-locale exports.
struct available_iter {
  uint32_t count;
  uint32_t position;
  int32_t* codes;  // NULL when no locale file was found
};

}  // namespace

const locale_row* locale_table_row_get(int32_t code) {
  for (const locale_row& row : kLocaleTable) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

int32_t locale_table_contains(int32_t code) { return locale_table_row_get(code) != nullptr ? 1 : 0; }

namespace {

// One text of a row: out empty and -802 (recorded) for an unknown code.
int32_t row_text_get(context* ctx, int32_t code, const char* locale_row::*field, char* out, uint32_t size) {
  if (out != nullptr && size > 0) out[0] = '\0';
  const locale_row* row = locale_table_row_get(code);
  if (row == nullptr) {
    report_unknown_code(ctx, code);
    return TQ_ERR_ARGUMENT;
  }
  if (out == nullptr || size == 0) return TQ_ERR_ARGUMENT;
  str_copy_bounded(out, row->*field, size);
  return 0;
}

}  // namespace

int32_t locale_table_iso_get(context* ctx, int32_t code, char* out, uint32_t size) {
  return row_text_get(ctx, code, &locale_row::iso, out, size);
}

int32_t locale_table_description_get(context* ctx, int32_t code, char* out, uint32_t size) {
  return row_text_get(ctx, code, &locale_row::description, out, size);
}

int32_t locale_table_code_get_by_iso(context* ctx, const char* iso, int32_t* code) {
  if (code == nullptr) return TQ_ERR_ARGUMENT;
  *code = -1;
  if (iso == nullptr) return TQ_ERR_ARGUMENT;
  uint32_t low = 0;
  uint32_t high = kLocaleCount;
  while (low < high) {
    uint32_t mid = low + (high - low) / 2;
    int c = compare_iso(kLocaleTable[mid].iso, iso);
    if (c == 0) {
      *code = kLocaleTable[mid].code;
      return 0;
    }
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  if (ctx != nullptr) TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1470, iso);
  return TQ_ERR_ARGUMENT;
}

int32_t locale_table_code_get_by_description(context* ctx, const char* description, int32_t* code) {
  if (code == nullptr) return TQ_ERR_ARGUMENT;
  *code = -1;
  if (description == nullptr) return TQ_ERR_ARGUMENT;
  for (const locale_row& row : kLocaleTable) {
    if (std::strcmp(row.description, description) == 0) {
      *code = row.code;
      return 0;
    }
  }
  if (ctx != nullptr) TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1471, description);
  return TQ_ERR_ARGUMENT;
}

int32_t locale_table_encoding_get(context* ctx, int32_t code, uint32_t* encoding) {
  const locale_row* row = locale_table_row_get(code);
  if (row == nullptr) {
    report_unknown_code(ctx, code);
    return TQ_ERR_ARGUMENT;
  }
  if (encoding == nullptr) return TQ_ERR_ARGUMENT;
  *encoding = row->encoding;
  return 0;
}

int32_t locale_file_name_get(context* ctx, const char* iso, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return -1;
  out[0] = '\0';
  if (iso == nullptr) return -1;
  // Lowercasing can lengthen a text; the buffer holds the longest name
  // allowed, and anything the casing would push past it is refused below.
  char name[kFileNameBufferSize];
  if (copy_whole(iso, name, kLocaleFileNameMax + 1) != 0) return -1;
  case_lower_by_locale(ctx, name, kLocaleFileNameCasing, kLocaleFileNameMax + 1);
  size_t n = std::strlen(name);
  // A name already ending in ".krd" (the older file kind) is used as given;
  // only ".loc" names map back to an ISO code (locale_iso_from_file_name).
  if (!ends_with(name, ".loc") && !ends_with(name, ".krd")) {
    if (n + 4 > kLocaleFileNameMax) return -1;
    std::memcpy(name + n, ".loc", 5);
  }
  return copy_whole(name, out, size);
}

int32_t locale_iso_from_file_name(context* ctx, const char* file_name, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return -1;
  out[0] = '\0';
  if (file_name == nullptr) return -1;
  char name[kFileNameBufferSize];
  if (copy_whole(file_name, name, kLocaleFileNameMax + 1) != 0) return -1;
  case_upper_by_locale(ctx, name, kLocaleFileNameCasing, kLocaleFileNameMax + 1);
  // A name found on disk carries the extension of its file kind
  // ("enusa.loc.zel"); the locale file name is what is left without it.
  for (const char* extension : {".ZEL", ".KRD", ".XML"}) {
    if (ends_with(name, extension)) {
      name[std::strlen(name) - 4] = '\0';
      break;
    }
  }
  if (!ends_with(name, ".LOC")) return 0;
  name[std::strlen(name) - 4] = '\0';
  return copy_whole(name, out, size);
}

// ---- Export implementations --------------------------------------------------

int32_t locale_code_get_by_description(context* ctx, const char* desc, int32_t* locale) {
  *locale = -1;
  // Converted into a buffer wider than any description, so that a longer
  // text is not cut into one that matches a row.
  char text[kDescriptionBufferSize + 16];
  int32_t rc = strio_in(ctx, desc, text, kLocaleDescriptionMax + 16, kStrioConvert | kStrioUnkept);
  if (rc < 0) return rc;
  int32_t found = locale_table_code_get_by_description(ctx, text, locale);
  return found != 0 ? found : rc;
}

int32_t locale_code_get_by_iso_name(context* ctx, const char* iso_name, int32_t* locale) {
  *locale = -1;
  char text[kIsoBufferSize + 16];
  int32_t rc = strio_in(ctx, iso_name, text, kLocaleIsoMax + 16, kStrioConvert | kStrioUnkept);
  if (rc < 0) return rc;
  int32_t found = locale_table_code_get_by_iso(ctx, text, locale);
  return found != 0 ? found : rc;
}

int32_t locale_iso_name_get_by_code(context* ctx, int32_t locale, char* name) {
  strio_out_clear(ctx, name);
  const locale_row* row = locale_table_row_get(locale);
  if (row == nullptr) {
    report_unknown_code(ctx, locale);
    return TQ_ERR_ARGUMENT;
  }
  return strio_out(ctx, row->iso, name, kLocaleIsoMax, kStrioConvert);
}

int32_t locale_description_get_by_code(context* ctx, int32_t locale, char* desc) {
  strio_out_clear(ctx, desc);
  const locale_row* row = locale_table_row_get(locale);
  if (row == nullptr) {
    report_unknown_code(ctx, locale);
    return TQ_ERR_ARGUMENT;
  }
  return strio_out(ctx, row->description, desc, kLocaleDescriptionMax, kStrioConvert);
}

int32_t supported_locale_count_get(context* ctx, uint32_t* count) {
  (void)ctx;
  *count = kLocaleCount;
  return 0;
}

int32_t supported_locale_info_get(context* ctx, uint32_t index, char* iso_code_name, char* description) {
  strio_out_clear(ctx, iso_code_name);
  strio_out_clear(ctx, description);
  if (index >= kLocaleCount) return TQ_ERR_INDEX;
  const locale_row& row = kLocaleTable[index];
  int32_t first = strio_out(ctx, row.iso, iso_code_name, kLocaleIsoMax, kStrioConvert);
  if (first < 0) return first;
  int32_t second = strio_out(ctx, row.description, description, kLocaleDescriptionMax, kStrioConvert);
  return rc_combine(first, second);
}

int32_t supported_locale_code_get(context* ctx, uint32_t index, int32_t* locale) {
  (void)ctx;
  *locale = -1;
  if (index >= kLocaleCount) return TQ_ERR_INDEX;
  *locale = kLocaleTable[index].code;
  return 0;
}

int32_t supported_locale_parent_get(context* ctx, int32_t locale, int32_t* parent) {
  *parent = -1;
  const locale_row* row = locale_table_row_get(locale);
  if (row == nullptr) {
    report_unknown_code(ctx, locale);
    return TQ_ERR_ARGUMENT;
  }
  *parent = row->ancestors[0];
  return 0;
}

int32_t available_locale_code_get_begin(context* ctx, void** locale_handle_ptr) {
  *locale_handle_ptr = nullptr;
  auto* iter = static_cast<available_iter*>(np_calloc(1, sizeof(available_iter)));
  if (iter == nullptr) return TQ_ERR_NO_MEMORY;
  auto* codes = static_cast<int32_t*>(np_malloc(kLocaleCount * sizeof(int32_t)));
  if (codes == nullptr) {
    std::free(iter);
    return TQ_ERR_NO_MEMORY;
  }
  uint32_t count = 0;
  char name[kFileNameBufferSize];
  fio_path_buffer found;
  if (!found.ok()) {
    std::free(codes);
    std::free(iter);
    return TQ_ERR_NO_MEMORY;
  }
  for (const locale_row& row : kLocaleTable) {
    if (locale_file_name_get(ctx, row.iso, name, sizeof name) != 0) continue;
    if (fio_path_resolve(ctx, name, kFioKindZel, found.get(), found.size()) == 0 ||
        fio_path_resolve(ctx, name, kFioKindKrd, found.get(), found.size()) == 0) {
      codes[count++] = row.code;
    }
  }
  if (count == 0) {
    std::free(codes);
    codes = nullptr;
  } else if (count < kLocaleCount) {
    auto* shrunk = static_cast<int32_t*>(np_realloc(codes, count * sizeof(int32_t)));
    if (shrunk == nullptr) {
      std::free(codes);
      std::free(iter);
      return TQ_ERR_NO_MEMORY;
    }
    codes = shrunk;
  }
  iter->count = count;
  iter->position = 0;
  iter->codes = codes;
  *locale_handle_ptr = iter;
  return 0;
}

int32_t available_locale_code_get_next(context* ctx, void* handle, int32_t* code) {
  (void)ctx;
  *code = -1;
  if (handle == nullptr) return TQ_ERR_ARGUMENT;
  auto* iter = static_cast<available_iter*>(handle);
  if (iter->codes != nullptr && iter->position < iter->count) *code = iter->codes[iter->position++];
  return 0;
}

int32_t available_locale_code_get_end(context* ctx, void* handle) {
  (void)ctx;
  if (handle == nullptr) return 0;
  auto* iter = static_cast<available_iter*>(handle);
  std::free(iter->codes);
  std::free(iter);
  return 0;
}

int32_t locale_get_iso_name_from_filename(context* ctx, const char* filename, char* iso_name) {
  strio_out_clear(ctx, iso_name);
  char name[kFileNameBufferSize];
  int32_t rc = strio_in_4096(ctx, filename, name, kStrioConvert | kStrioUnkept);
  if (rc < 0) return rc;
  char iso[kFileNameBufferSize];
  // A stem too long for any ISO code is no locale file name: empty result.
  if (locale_iso_from_file_name(ctx, name, iso, sizeof iso) != 0 || std::strlen(iso) > kLocaleIsoMax) {
    return rc;
  }
  return rc_combine(rc, strio_out(ctx, iso, iso_name, kLocaleIsoMax, kStrioConvert));
}

int32_t locale_get_file_name(context* ctx, const char* iso_name, char* filename) {
  strio_out_clear(ctx, filename);
  char iso[kIsoBufferSize];
  int32_t rc = strio_in(ctx, iso_name, iso, kLocaleIsoMax, kStrioConvert | kStrioUnkept);
  if (rc < 0) return rc;
  char name[kFileNameBufferSize];
  if (locale_file_name_get(ctx, iso, name, sizeof name) != 0) return TQ_ERR_ARGUMENT;
  return rc_combine(rc, strio_out_4096(ctx, name, filename, kStrioConvert));
}

int32_t parent_locale_nonloaded_get_from_file(context* ctx, const char* iso, char* parent_iso) {
  strio_out_clear(ctx, parent_iso);
  char code[kIsoBufferSize];
  int32_t rc = strio_in(ctx, iso, code, kLocaleIsoMax, kStrioConvert | kStrioUnkept);
  if (rc < 0) return rc;
  // The file names, on the heap: the read below goes deep.
  struct names {
    char name[kFileNameBufferSize];
    char parent[kFileNameBufferSize];
    char parent_code[kFileNameBufferSize];
  };
  const std::unique_ptr<names> held(new (std::nothrow) names);
  if (held == nullptr) return TQ_ERR_NO_MEMORY;
  char(&name)[kFileNameBufferSize] = held->name;
  char(&parent)[kFileNameBufferSize] = held->parent;
  char(&parent_code)[kFileNameBufferSize] = held->parent_code;
  if (locale_file_name_get(ctx, code, name, sizeof name) != 0) return TQ_ERR_ARGUMENT;
  xmldoc* doc = nullptr;
  int32_t read = xmldoc_read(ctx, name, kXmlFlagVault, &doc);
  if (read < 0) return read;
  // The property names the parent's file; its ISO code is taken from that
  // name whole (a cut name could stand for another locale).
  int32_t fits = copy_whole(xmldoc_prop_get(ctx, doc, "Parent Locale"), parent, sizeof parent);
  xml_free(ctx, doc);
  if (fits != 0 || parent[0] == '\0') return -1;
  if (locale_iso_from_file_name(ctx, parent, parent_code, sizeof parent_code) != 0 ||
      std::strlen(parent_code) > kLocaleIsoMax) {
    return -1;
  }
  return rc_combine(rc, strio_out(ctx, parent_code, parent_iso, kLocaleIsoMax, kStrioConvert));
}

}  // namespace tq

#include "kbstore/krmeta.h"

#include <cerrno>
#include <cstring>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krfio.h"
#include "core/krstr.h"
#include "kbstore/krlib.h"
#include "kbstore/krshared.h"
#include "platform/nplex.h"
#include "platform/npfio.h"

namespace tq {

const product_row kProductTable[kProductCount] = {
    {"CORE", 1, "CO", "Core locale knowledge"},
    {"ADDRESS", 2, "AD", "Postal addresses"},
    {"NAME", 3, "NM", "Person and organisation names"},
    {"PHONE", 4, "PH", "Telephone numbers"},
    {"EMAIL", 5, "EM", "E-mail addresses"},
    {"DATE", 6, "DT", "Dates and times"},
    {"CONTACT", 7, "CT", "Contact records"},
    {"PRODUCT", 8, "PR", "Product descriptions"},
    {"FINANCE", 9, "FI", "Banking and finance"},
    {"HEALTH", 10, "HE", "Health care"},
    {"PUBLIC", 11, "PS", "Public sector"},
    {"RETAIL", 12, "RT", "Retail"},
    {"INSURE", 13, "IN", "Insurance"},
    {"TELECOM", 14, "TC", "Telecommunications"},
    {"UTILITY", 15, "UT", "Energy and utilities"},
    {"CUSTOM", 16, "CU", "Site-specific knowledge"},
};

namespace {

// Interface texts are converted into room wider than any name of the table,
// so that a longer text is not cut into one that matches a row.
constexpr uint32_t kLookupMax = 64;

constexpr char kDescriptionKey[] = "description";
constexpr char kSeparator[] = "-";
constexpr uint32_t kVersionSize = sizeof(tq_zel_version_info{}.version);

void set_defaults(tq_zel_version_info* info) {
  info->product_code = -1;
  std::memcpy(info->version, kUnknownVersion, sizeof kUnknownVersion);
}

// A lexer status as a result: the file's absence or an unreadable line is
// only a warning, with the defaults. The text names the file and, for one
// that cannot be opened, the system's reason (err).
int32_t lexer_failure(context* ctx, int32_t status, tq_zel_version_info* info, const char* path, int err) {
  set_defaults(info);
  if (status == kNpLexNoMemory) return TQ_ERR_NO_MEMORY;
  if (status >= kNpLexOpenFailed && status <= kNpLexLineTooLong) {
    if (path == nullptr) {
      TQ_REPORT(ctx, TQ_WARN_META_MISSING, 109, "no knowledge-base root is set.");
    } else {
      char reason[256];
      const char* why = status == kNpLexOpenFailed && err != 0 ? np_fio_error_text(err, reason, sizeof reason)
                                                               : np_lex_status_text(status);
      TQ_REPORT(ctx, TQ_WARN_META_MISSING, 1873, path, why);
    }
    return TQ_WARN_META_MISSING;
  }
  return -1;
}

// The tokens of the first line whose first token is "description".
int32_t description_tokens(np_lex_state* lex, char*** tokens, uint32_t* count) {
  for (;;) {
    const char* line = nullptr;
    uint32_t length = 0;
    int32_t st = np_lex_line(lex, 0, &line, &length);
    if (st != kNpLexOk) return st;
    st = np_lex_split(line, length, tokens, count);
    if (st != kNpLexOk) return st;
    if (*count > 0 && std::strcmp((*tokens)[0], kDescriptionKey) == 0) return kNpLexOk;
    np_lex_tokens_free(*tokens);
    *tokens = nullptr;
  }
}

int32_t version_from_tokens(char** tokens, uint32_t count, tq_zel_version_info* info) {
  // The separators are searched from the second-to-last token backwards:
  // the last "-" precedes the version, the "-" before it the product.
  int32_t version_sep = -1;
  int32_t product_sep = -1;
  for (int32_t i = static_cast<int32_t>(count) - 2; i >= 1; --i) {
    if (std::strcmp(tokens[i], kSeparator) != 0) continue;
    if (version_sep < 0) {
      version_sep = i;
    } else {
      product_sep = i;
      break;
    }
  }
  if (version_sep < 0) return TQ_WARN_META_MISSING;
  str_copy_bounded(info->version, tokens[version_sep + 1], kVersionSize);
  info->product_code = 0;
  // A product is named by one known abbreviation standing alone between
  // the two separators. Anything else there is a description that has a
  // " - " of its own ("Data Quality - KB - 2009A"): the version is still
  // the knowledge base's, and it names no product.
  if (product_sep >= 0 && product_sep + 2 == version_sep) {
    if (const product_row* row = product_find_by_abbrev(tokens[product_sep + 1])) info->product_code = row->code;
  }
  return 0;
}

}  // namespace

const product_row* product_find_by_name(const char* name) {
  if (name == nullptr) return nullptr;
  for (const product_row& row : kProductTable) {
    if (std::strcmp(row.name, name) == 0) return &row;
  }
  return nullptr;
}

const product_row* product_find_by_abbrev(const char* abbrev) {
  if (abbrev == nullptr) return nullptr;
  for (const product_row& row : kProductTable) {
    if (std::strcmp(row.abbrev, abbrev) == 0) return &row;
  }
  return nullptr;
}

int32_t zel_product_code_get_by_name(context* ctx, const char* name, int32_t* code) {
  *code = -1;
  char text[kLookupMax + 4];
  int32_t rc = strio_in(ctx, name, text, kLookupMax, kStrioConvert | kStrioUnkept);
  if (rc < 0) return rc;
  const product_row* row = product_find_by_name(text);
  if (row == nullptr) return -1;
  *code = row->code;
  return rc;
}

int32_t zel_product_code_get_by_abbrev(context* ctx, const char* abbrev, int32_t* code) {
  *code = -1;
  char text[kLookupMax + 4];
  int32_t rc = strio_in(ctx, abbrev, text, kLookupMax, kStrioConvert | kStrioUnkept);
  if (rc < 0) return rc;
  const product_row* row = product_find_by_abbrev(text);
  if (row == nullptr) return -1;
  *code = row->code;
  return rc;
}

int32_t zel_version_info_get(context* ctx, tq_zel_version_info* info) {
  set_defaults(info);
  if (ctx->root_path == nullptr || ctx->root_path[0] == '\0') return lexer_failure(ctx, kNpLexOpenFailed, info, nullptr, 0);
  fio_path_buffer buffer;
  if (!buffer.ok()) return TQ_ERR_NO_MEMORY;
  char* path = buffer.get();
  if (fio_path_join(ctx->root_path, kMetaFileName, path, buffer.size()) != 0) {
    return lexer_failure(ctx, kNpLexOpenFailed, info, ctx->root_path, ENAMETOOLONG);
  }
  // Opened as every knowledge-base file is, so that a meta file held
  // elsewhere is reported held (-401) and not as missing.
  fio_handle* file = nullptr;
  fio_open_report report;
  int32_t rc = fio_open_file(ctx, path, kFioOpenRead, &file, &report);
  if (rc == TQ_ERR_FILE_LOCKED || rc == TQ_ERR_NO_MEMORY) {
    fio_open_report_record(ctx, report);
    return rc;
  }
  if (rc != 0) return lexer_failure(ctx, kNpLexOpenFailed, info, path, report.err);
  np_lex_state* lex = nullptr;
  int32_t st = np_lex_init_file(&lex, file->file);
  char** tokens = nullptr;
  uint32_t count = 0;
  if (st == kNpLexOk) st = description_tokens(lex, &tokens, &count);
  np_lex_clean(lex);
  fio_close(file);
  if (st != kNpLexOk) return lexer_failure(ctx, st, info, path, 0);
  rc = version_from_tokens(tokens, count, info);
  np_lex_tokens_free(tokens);
  if (rc == TQ_WARN_META_MISSING) set_defaults(info);
  return rc;
}

int32_t zel_file_is_loaded(context* ctx, const char* filename) {
  fio_path_buffer name;
  fio_path_buffer stem;
  if (!name.ok() || !stem.ok()) return TQ_ERR_NO_MEMORY;
  int32_t rc = strio_in_4096(ctx, filename, name.get(), kStrioConvert | kStrioUnkept);
  if (rc < 0) return rc;
  // Resources are registered under their names without the file's
  // extension; a name given with it ("addr.zel") means the same resource.
  if (fio_name_extension_strip(name.get(), stem.get(), stem.size()) != 0 || stem.get()[0] == '\0') return -1;
  const shared_contents* contents = ctx_contents(ctx);
  if (contents == nullptr) return -1;
  for (uint32_t kind = 1; kind <= kRsrcKindCount; ++kind) {
    const rsrc_table& table = contents->rsrc[kind];
    for (uint32_t i = 0; i < table.count; ++i) {
      const resource_slot* slot = table.slots[i];
      // Up to the first '.' only, unlike the registry's own lookups: "de" is
      // loaded for "de.loc" and for "de.v2"; clients asking this rely on it.
      if (slot != nullptr && slot->state != kRsrcFree && str_stem_compare(slot->name, stem.get()) == 0) return 0;
    }
  }
  return -1;
}

}  // namespace tq

// Compiled vocabulary files: a flat file of fixed-size records that reads in
// one pass. Every number is 8 upper-case hexadecimal digits; texts are UTF-8
// in Base64 (encoding code 13), each record padded with spaces to its size:
//
//   category count, entry count, category record size Sc, entry record size Se
//   categories: abbreviation \0 name \0 spaces                 (Sc bytes each)
//   entries:    likelihood(8 hex) word \0 abbreviation \0 spaces (Se bytes each)
//   locale code, reserved 00000000, locale block (87 bytes: ISO code \0 ...)
//   text encoding code, vault object name (1,024), description (1,024)
//
// The last three fields may be missing in older files. Files are read whole
// into memory and every size taken from them is checked against the bytes
// there, so a damaged file gives a clear code rather than a wild read.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krfio.h"
#include "core/krstr.h"
#include "core/krtrace.h"
#include "kbstore/krlocl.h"
#include "kbstore/krxml.h"
#include "resources/krvcld.h"
#include "platform/npfio.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr uint32_t kHeaderBytes = 32;
constexpr uint32_t kNumberBytes = 8;
constexpr uint32_t kReadStep = 65536;
// Base64 of the longest text a record may hold (1,024 bytes), terminated.
constexpr uint32_t kCodedTextSize = (kVocabWordMax + 2) / 3 * 4 + 1;

// A heap byte buffer that frees itself; grows on demand (-600 when it cannot).
struct byte_buffer {
  unsigned char* bytes = nullptr;
  size_t size = 0;
  size_t capacity = 0;
  byte_buffer() = default;
  byte_buffer(const byte_buffer&) = delete;
  byte_buffer& operator=(const byte_buffer&) = delete;
  ~byte_buffer() { std::free(bytes); }

  bool reserve(size_t need) {
    if (need <= capacity) return true;
    size_t grown = capacity < 4096 ? 4096 : capacity * 2;
    if (grown < need) grown = need;
    auto* p = static_cast<unsigned char*>(np_realloc(bytes, grown));
    if (p == nullptr) return false;
    bytes = p;
    capacity = grown;
    return true;
  }
  bool append(const void* data, size_t n) {
    if (!reserve(size + n)) return false;
    if (n > 0) std::memcpy(bytes + size, data, n);
    size += n;
    return true;
  }
  bool append_fill(unsigned char byte, size_t n) {
    if (!reserve(size + n)) return false;
    std::memset(bytes + size, byte, n);
    size += n;
    return true;
  }
  bool append_hex8(uint32_t value) {
    char text[kNumberBytes + 1];
    hex8_format(value, text);
    return append(text, kNumberBytes);
  }
};

// The engine's own substitution for the bytes of locale ISO codes: printable
// ASCII mirrored end to end ('!' <-> '~'), every other byte unchanged.
unsigned char substitute_byte(unsigned char b) {
  if (b >= 0x21 && b <= 0x7E) return static_cast<unsigned char>(0x21 + 0x7E - b);
  return b;
}


int32_t column_of(const xmldoc* doc, const char* name) {
  int32_t index = -1;
  xmldoc_column_find(nullptr, doc, name, &index);
  return index;
}

// Base64 of a text into out (kCodedTextSize bytes); -300 when the text is
// longer than a record text may be.
int32_t encode_text(const char* text, uint32_t flags, char* out) {
  size_t n = std::strlen(text);
  if (n > kVocabWordMax) return TQ_ERR_INVALID_CONTENT;
  if (flags & kVocabFileCode) {
    cipher_base64_encode(text, out, kCodedTextSize);
  } else {
    std::memcpy(out, text, n + 1);
  }
  return 0;
}

// One record: a buffer of `size` spaces with the pieces placed from the
// start, each text followed by its terminator. -300 when they do not fit.
int32_t append_record(byte_buffer* file, uint32_t size, const char* prefix, const char* first, const char* second) {
  size_t lp = std::strlen(prefix);
  size_t l1 = std::strlen(first);
  size_t l2 = std::strlen(second);
  if (lp + l1 + 1 + l2 + 1 > size) return TQ_ERR_INVALID_CONTENT;
  size_t start = file->size;
  if (!file->append_fill(' ', size)) return TQ_ERR_NO_MEMORY;
  unsigned char* p = file->bytes + start;
  std::memcpy(p, prefix, lp);
  std::memcpy(p + lp, first, l1 + 1);
  std::memcpy(p + lp + l1 + 1, second, l2 + 1);
  return 0;
}

// A vault text field: the text, then zero bytes to 1,024.
bool append_vault_field(byte_buffer* file, const char* text) {
  size_t n = std::strlen(text);
  if (n > kVocabVaultFieldSize) n = kVocabVaultFieldSize;
  return file->append(text, n) && file->append_fill(0, kVocabVaultFieldSize - n);
}

// Writes the bytes in place of the file at the path, through the file
// layer's replacing write: a failure leaves the previous file as it was.
// A held file's place does as well as a path.
template <typename Where>
int32_t write_replacing(context* ctx, const Where& path, const byte_buffer& file) {
  return fio_write_replacing(ctx, path, [&](fio_handle* handle) {
    size_t done = 0;
    while (done < file.size) {
      size_t n = file.size - done;
      if (n > (1u << 30)) n = 1u << 30;
      if (fio_putb(handle, file.bytes + done, static_cast<uint32_t>(n)) != static_cast<int32_t>(n)) {
        return TQ_ERR_FILE_WRITE;
      }
      done += n;
    }
    return 0;
  });
}

// Writes a compiled file of `name`: with its extension (unless the name is
// used as given); a path where it says; a plain name over the first file of
// the name along the search path, else into the first search-path folder
// where it can be made. A folder where the file cannot be looked at (a loop
// of links, an I/O error, a folder that cannot be searched) stops the write
// with that cause: a file there would shadow, or be shadowed by, a copy
// written further on, and loads would read one while saves wrote the other.
// The folders are those a read of the name looks in (fio_search_walk): one
// whose join with the name is too long for a path is passed over, and when
// every one is, the write is refused as the read is.
int32_t write_compiled(context* ctx, const char* name, uint32_t kind, uint32_t name_as_given, const byte_buffer& file) {
  fio_path_buffer built;
  if (!built.ok()) return TQ_ERR_NO_MEMORY;
  if (fio_name_build(ctx, kind, name_as_given ? kFioFlagNameAsGiven : 0, name, built.get(), built.size()) != 0) return -1;
  const int32_t type = fio_path_type(built.get());
  if (type < 0) return -1;
  if (type != 0 || ctx == nullptr || ctx->search_path == nullptr) return write_replacing(ctx, built.get(), file);
  int32_t rc = -1;
  fio_walk_end end;
  int32_t walked = fio_search_walk(ctx, built.get(), &end, [&](const char* path) {
    fio_failure why;
    rc = fio_stat(path, nullptr, 0, &why);
    if (rc == TQ_ERR_FILE_MISSING) return false;
    if (rc == 0) {
      rc = write_replacing(ctx, path, file);
    } else if (rc == TQ_ERR_FILE_OPEN) {
      char reason[256];
      TQ_REPORT(ctx, rc, 2002, path, static_cast<const char*>(fio_failure_text(why, reason, sizeof reason)));
    }
    return true;
  });
  if (walked != 0 || end.stopped) return walked != 0 ? walked : rc;
  if (end.visited == 0) return fio_walk_nowhere(ctx, end, built.get());
  // In no folder yet. A folder where the file cannot be made is passed over
  // without a trace, unless something is there by then: the last one's
  // failure is the answer.
  rc = -1;
  uint32_t mark = UINT32_MAX;
  walked = fio_search_walk(ctx, built.get(), &end, [&](const char* path) {
    if (mark != UINT32_MAX) err_list_truncate(ctx, mark);
    mark = ctx->errors.count;
    rc = write_replacing(ctx, path, file);
    return rc >= 0 || rc == TQ_ERR_NO_MEMORY || fio_stat(path, nullptr, 0) != TQ_ERR_FILE_MISSING;
  });
  return walked != 0 ? walked : rc;
}

// The whole file of an open handle: -600; -400 for a read that failed
// (recorded, naming the file at `path` and the reason), never taken for
// its end.
int32_t read_all(context* ctx, fio_handle* handle, const char* path, byte_buffer* out) {
  for (;;) {
    if (!out->reserve(out->size + kReadStep)) return TQ_ERR_NO_MEMORY;
    fio_failure why;
    int32_t n = fio_read_block(handle, out->bytes + out->size, kReadStep, &why);
    if (n == 0) return 0;
    if (n < 0) {
      char reason[256];
      TQ_REPORT(ctx, TQ_ERR_FILE_OPEN, 1866, path, static_cast<const char*>(fio_failure_text(why, reason, sizeof reason)));
      err_passing_count(ctx, why.cause);
      return TQ_ERR_FILE_OPEN;
    }
    out->size += static_cast<size_t>(n);
  }
}

// A held file that cannot be opened, said as every kind read for editing
// says it (held elsewhere, out of memory, or not readable for the system's
// reason), naming the file as the lock holds it: nothing is allocated to
// say it.
void held_open_failure_report(context* ctx, int32_t rc, const char* shown) {
  if (rc == TQ_ERR_NO_MEMORY) {
    TQ_REPORT(ctx, rc, 2020, shown);
    return;
  }
  const int err = np_fio_last_error();
  err_passing_count(ctx, rc == TQ_ERR_FILE_LOCKED ? err_cause::passing : fio_error_cause(err));
  if (rc == TQ_ERR_FILE_LOCKED) {
    TQ_REPORT(ctx, rc, 1863, shown);
  } else {
    char reason[256];
    TQ_REPORT(ctx, rc, 2400, shown, np_fio_error_text(err, reason, sizeof reason));
  }
}

// Opens a compiled file as kind 8, else as kind 6, and reads it whole.
// *found_kind receives the kind found. Message 97 when it cannot be opened:
// named as the newer form when neither is there, a name found nowhere
// being -400. With `held`, the file read is the one a lock holds, in its
// folder under its name there (path is not looked up): a link found at the
// name leads elsewhere and is refused, as is a file gone from there (-400).
int32_t open_and_read(context* ctx, const char* path, uint32_t name_as_given, byte_buffer* out,
                      uint32_t* found_kind, const fio_place* held = nullptr, fio_version* version = nullptr) {
  if (held != nullptr) {
    fio_handle* handle = nullptr;
    int32_t rc = fio_open_at(held->folder, held->name, fio_context_flags(ctx, kFioOpenRead), &handle);
    if (rc != 0) {
      rc = rc == TQ_ERR_FILE_MISSING ? TQ_ERR_FILE_OPEN : rc;
      held_open_failure_report(ctx, rc, held->shown);
      return rc;
    }
    rc = read_all(ctx, handle, held->shown, out);
    if (version != nullptr) *version = fio_version_opened(handle);
    fio_close(handle);
    return rc;
  }
  const uint32_t flags = kFioOpenRead | (name_as_given ? kFioFlagNameAsGiven : 0);
  fio_handle* handle = nullptr;
  fio_open_report report;
  int32_t rc = fio_open_in_path(ctx, path, kFioKindZev, flags, &handle, &report);
  if (rc != 0) {
    char detail[kErrTextSize];
    fio_open_report_text(ctx, report, detail);
    rc = rc == TQ_ERR_FILE_MISSING ? TQ_ERR_FILE_OPEN : rc;
    if (rc != TQ_ERR_NO_MEMORY) TQ_REPORT(ctx, rc, 97, static_cast<const char*>(detail));
    return rc;
  }
  *found_kind = report.kind;
  rc = read_all(ctx, handle, static_cast<const char*>(report.path), out);
  if (version != nullptr) *version = fio_version_opened(handle);
  fio_close(handle);
  return rc;
}

int32_t damaged(context* ctx, const char* path) {
  TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1468, "Vocabulary", path);
  return TQ_ERR_INVALID_CONTENT;
}

// The parts of a compiled file, located and checked.
struct compiled_layout {
  uint32_t category_count;
  uint32_t entry_count;
  uint32_t category_size;
  uint32_t entry_size;
  size_t records;     // offset of the first record
  size_t records_end;  // offset after the last one
  int32_t locale_code;
  const unsigned char* locale_block;
  uint32_t has_encoding;
  uint32_t encoding;
  char vault_name[kVocabVaultFieldSize + 1];
  char description[kVocabVaultFieldSize + 1];
};

// A text field of 1,024 bytes: up to its first zero byte.
void vault_field(const unsigned char* p, char* out) {
  const void* zero = std::memchr(p, 0, kVocabVaultFieldSize);
  size_t n = zero != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(zero) - p) : kVocabVaultFieldSize;
  std::memcpy(out, p, n);
  out[n] = '\0';
}

int32_t layout_read(context* ctx, const char* path, const byte_buffer& file, compiled_layout* out) {
  std::memset(static_cast<void*>(out), 0, sizeof *out);
  const unsigned char* b = file.bytes;
  if (file.size < kHeaderBytes) return damaged(ctx, path);
  out->category_count = hex8_parse(b);
  out->entry_count = hex8_parse(b + 8);
  out->category_size = hex8_parse(b + 16);
  out->entry_size = hex8_parse(b + 24);
  TQ_TRACE(ctx, 0, "Cats %d, Entries %d, sizeof cat %d, sizeof entry %d\n", static_cast<int32_t>(out->category_count),
           static_cast<int32_t>(out->entry_count), static_cast<int32_t>(out->category_size),
           static_cast<int32_t>(out->entry_size));
  const uint64_t records = static_cast<uint64_t>(out->category_count) * out->category_size +
                           static_cast<uint64_t>(out->entry_count) * out->entry_size;
  if (records > file.size - kHeaderBytes || records > UINT32_MAX) return damaged(ctx, path);
  out->records = kHeaderBytes;
  out->records_end = kHeaderBytes + static_cast<size_t>(records);

  size_t pos = out->records_end;
  if (file.size - pos < 2 * kNumberBytes + kVocabLocaleBlockSize) {
    TQ_REPORT(ctx, TQ_ERR_COMPILED_VOCAB_SHORT, 1553);
    return TQ_ERR_COMPILED_VOCAB_SHORT;
  }
  out->locale_code = static_cast<int32_t>(hex8_parse(b + pos));
  pos += 2 * kNumberBytes;  // the locale code and the reserved number
  out->locale_block = b + pos;
  pos += kVocabLocaleBlockSize;
  if (file.size - pos >= kNumberBytes) {
    out->has_encoding = 1;
    out->encoding = hex8_parse(b + pos);
    pos += kNumberBytes;
    if (file.size - pos >= kVocabVaultFieldSize) {
      vault_field(b + pos, out->vault_name);
      pos += kVocabVaultFieldSize;
      if (file.size - pos >= kVocabVaultFieldSize) vault_field(b + pos, out->description);
    }
  }
  return 0;
}

// The encoding of the stored texts: the file's, else the locale's default.
int32_t layout_encoding(context* ctx, const compiled_layout& layout, uint32_t* encoding) {
  if (layout.has_encoding) {
    *encoding = layout.encoding;
    return 0;
  }
  return locale_table_encoding_get(ctx, layout.locale_code, encoding);
}

// The two texts of a record after `skip` bytes: each must end with a zero
// byte inside the record.
bool record_texts(const unsigned char* record, uint32_t size, uint32_t skip, const char** first, const char** second) {
  if (size < skip + 2) return false;
  const unsigned char* start = record + skip;
  const unsigned char* end = record + size;
  const auto* z1 = static_cast<const unsigned char*>(std::memchr(start, 0, static_cast<size_t>(end - start)));
  if (z1 == nullptr || z1 + 1 >= end) return false;
  const auto* z2 = static_cast<const unsigned char*>(std::memchr(z1 + 1, 0, static_cast<size_t>(end - z1 - 1)));
  if (z2 == nullptr) return false;
  *first = reinterpret_cast<const char*>(start);
  *second = reinterpret_cast<const char*>(z1 + 1);
  return true;
}

// A stored text made UTF-8: Base64-decoded through a separate buffer (code
// 13 with decoding on), converted from a legacy encoding, or as stored.
// -300 when it exceeds `max` bytes.
int32_t text_decode(context* ctx, const char* stored, uint32_t encoding, uint32_t flags, uint32_t max, char* out) {
  if (flags & kVocabFileCode) {
    // Only UTF-8 files get here: legacy ones are refused before.
    if (std::strlen(stored) > kCodedTextSize - 1) return TQ_ERR_INVALID_CONTENT;
    cipher_base64_decode(stored, out, kCodedTextSize);
    return std::strlen(out) > max ? TQ_ERR_INVALID_CONTENT : 0;
  }
  if (encoding == static_cast<uint32_t>(kEncodingUtf8)) {
    if (std::strlen(stored) > max) return TQ_ERR_INVALID_CONTENT;
    std::strcpy(out, stored);
    return 0;
  }
  int32_t rc = enc_convert_in(ctx, static_cast<int32_t>(encoding), stored, out, max);
  return rc < 0 && rc != kRcBadCharacter ? rc : 0;
}

// The locale ISO code and description of a file: the locale table's for the
// stored locale code; for a code the table lacks, the block's own texts
// (the ISO code passed back through the substitution, the description
// bounded by the block with its padding dropped).
void layout_locale(const compiled_layout& layout, uint32_t decode, char* iso, char* description) {
  iso[0] = '\0';
  description[0] = '\0';
  if (locale_table_iso_get(nullptr, layout.locale_code, iso, kLocaleIsoSize) == 0 &&
      locale_table_description_get(nullptr, layout.locale_code, description, kLocaleDescriptionSize) == 0) {
    return;
  }
  unsigned char block[kVocabLocaleBlockSize + 1];
  std::memcpy(block, layout.locale_block, kVocabLocaleBlockSize);
  block[kVocabLocaleBlockSize] = 0;
  size_t iso_len = std::strlen(reinterpret_cast<char*>(block));
  if (decode) vocab_locale_code_substitute(block, kVocabLocaleBlockSize);
  str_copy_bounded(iso, reinterpret_cast<char*>(block), kLocaleIsoSize);
  if (iso_len + 1 < kVocabLocaleBlockSize) {
    char* rest = reinterpret_cast<char*>(block + iso_len + 1);
    size_t n = std::strlen(rest);
    while (n > 0 && rest[n - 1] == ' ') rest[--n] = '\0';
    str_copy_bounded(description, rest, kLocaleDescriptionSize);
  }
}

int32_t set_document_properties(context* ctx, xmldoc* doc, const compiled_layout& layout, uint32_t decode) {
  char code[kIntTextSize];
  char iso[kLocaleIsoSize];
  char description[kLocaleDescriptionSize];
  layout_locale(layout, decode, iso, description);
  int32_t rc = xmldoc_prop_add(ctx, doc, "Locale Code", str_from_int(layout.locale_code, code));
  if (rc == 0) rc = xmldoc_prop_add(ctx, doc, "Vault Object Name", layout.vault_name);
  if (rc == 0) rc = xmldoc_prop_add(ctx, doc, "Description", layout.description);
  if (rc == 0) rc = xmldoc_prop_add(ctx, doc, "Locale ISO Code", iso);
  if (rc == 0) rc = xmldoc_prop_add(ctx, doc, "Locale Description", description);
  return rc;
}

int32_t too_long(context* ctx, const char* path) {
  TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 1570, path);
  return TQ_ERR_INVALID_CONTENT;
}

int32_t records_read(context* ctx, const char* path, const byte_buffer& file, const compiled_layout& layout,
                     uint32_t encoding, uint32_t flags, xmldoc* vocab, xmldoc* category) {
  char key[kCodedTextSize];
  char value[kCodedTextSize];
  const int32_t name_col = column_of(category, "CategoryName");
  const int32_t like_col = column_of(vocab, "Likelihood");
  const int32_t abbrev_col = column_of(vocab, "CategoryAbbreviation");
  const unsigned char* p = file.bytes + layout.records;
  xmldoc_field fields[2]{};
  for (uint32_t i = 0; i < layout.category_count; ++i, p += layout.category_size) {
    const char* first = nullptr;
    const char* second = nullptr;
    if (!record_texts(p, layout.category_size, 0, &first, &second)) return damaged(ctx, path);
    int32_t rc = text_decode(ctx, first, encoding, flags, kVocabAbbrevMax, key);
    if (rc == 0) rc = text_decode(ctx, second, encoding, flags, kVocabNameMax, value);
    if (rc == TQ_ERR_INVALID_CONTENT) return too_long(ctx, path);
    if (rc < 0) return rc;
    fields[name_col].type = kXmlColString;
    fields[name_col].text = value;
    rc = xmldoc_record_add(ctx, category, key, nullptr, fields);
    if (rc < 0) return rc;
  }
  if (layout.entry_count > 0) TQ_TRACE(ctx, 0, "Reading cats from compiled\n");
  for (uint32_t i = 0; i < layout.entry_count; ++i, p += layout.entry_size) {
    const char* first = nullptr;
    const char* second = nullptr;
    if (!record_texts(p, layout.entry_size, kNumberBytes, &first, &second)) return damaged(ctx, path);
    int32_t rc = text_decode(ctx, first, encoding, flags, kVocabWordMax, key);
    if (rc == 0) rc = text_decode(ctx, second, encoding, flags, kVocabAbbrevMax, value);
    if (rc == TQ_ERR_INVALID_CONTENT) return too_long(ctx, path);
    if (rc < 0) return rc;
    fields[like_col].type = kXmlColInt;
    fields[like_col].number = static_cast<int32_t>(hex8_parse(p));
    fields[abbrev_col].type = kXmlColString;
    fields[abbrev_col].text = value;
    rc = xmldoc_record_add(ctx, vocab, key, nullptr, fields);
    if (rc < 0) return rc;
  }
  return 0;
}

}  // namespace

// ---- Numbers and the locale substitution --------------------------------------------

void hex8_format(uint32_t value, char* out) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int i = 7; i >= 0; --i) {
    out[i] = kDigits[value & 0xF];
    value >>= 4;
  }
  out[8] = '\0';
}

uint32_t hex8_parse(const unsigned char* bytes) {
  uint32_t value = 0;
  for (int i = 0; i < 8; ++i) {
    unsigned char c = bytes[i];
    uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    }
    value = (value << 4) | digit;
  }
  return value;
}

void vocab_locale_code_substitute(unsigned char* bytes, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) bytes[i] = substitute_byte(bytes[i]);
}

// ---- Compiling --------------------------------------------------------------------------

int32_t vocab_compile(const char* path, context* ctx, const xmldoc* doc, uint32_t flags, const fio_place* held) {
  if (path == nullptr || doc == nullptr) return TQ_ERR_ARGUMENT;
  TQ_TRACE(ctx, 0, "Compiling file to '%s'", path);
  const xmldoc* category = xmldoc_include_doc_find(doc, "Category");
  if (category == nullptr) return -1;
  const int32_t name_col = column_of(category, "CategoryName");
  const int32_t like_col = column_of(doc, "Likelihood");
  const int32_t abbrev_col = column_of(doc, "CategoryAbbreviation");

  // Counts and record sizes from the longest texts.
  uint32_t n_categories = 0;
  uint32_t n_entries = 0;
  size_t longest_abbrev = 0;
  size_t longest_name = 0;
  size_t longest_word = 0;
  for (int32_t i = 0; i < category->record_count; ++i) {
    const xmldoc_record& rec = category->records[i];
    if (rec.key == nullptr) continue;
    ++n_categories;
    size_t a = std::strlen(rec.key);
    size_t n = std::strlen(xmldoc_record_text(rec, name_col));
    if (a > kVocabAbbrevMax || n > kVocabNameMax) return too_long(ctx, path);
    if (a > longest_abbrev) longest_abbrev = a;
    if (n > longest_name) longest_name = n;
  }
  for (int32_t i = 0; i < doc->record_count; ++i) {
    const xmldoc_record& rec = doc->records[i];
    if (rec.key == nullptr) continue;
    ++n_entries;
    size_t w = std::strlen(rec.key);
    if (w > kVocabWordMax || std::strlen(xmldoc_record_text(rec, abbrev_col)) > kVocabAbbrevMax) return too_long(ctx, path);
    if (w > longest_word) longest_word = w;
  }
  const auto category_size = static_cast<uint32_t>(4 * (longest_abbrev + longest_name) / 3 + 8);
  const auto entry_size = static_cast<uint32_t>(4 * (longest_abbrev + longest_word) / 3 + 16);

  byte_buffer file;
  if (!file.append_hex8(n_categories) || !file.append_hex8(n_entries) || !file.append_hex8(category_size) ||
      !file.append_hex8(entry_size)) {
    return TQ_ERR_NO_MEMORY;
  }
  char first[kCodedTextSize];
  char second[kCodedTextSize];
  for (int32_t i = 0; i < category->record_count; ++i) {
    const xmldoc_record& rec = category->records[i];
    if (rec.key == nullptr) continue;
    encode_text(rec.key, flags, first);
    encode_text(xmldoc_record_text(rec, name_col), flags, second);
    int32_t rc = append_record(&file, category_size, "", first, second);
    if (rc != 0) return rc == TQ_ERR_INVALID_CONTENT ? too_long(ctx, path) : rc;
  }
  for (int32_t i = 0; i < doc->record_count; ++i) {
    const xmldoc_record& rec = doc->records[i];
    if (rec.key == nullptr) continue;
    char likelihood[kNumberBytes + 1];
    hex8_format(static_cast<uint32_t>(xmldoc_record_number(rec, like_col, 0)), likelihood);
    encode_text(rec.key, flags, first);
    encode_text(xmldoc_record_text(rec, abbrev_col), flags, second);
    // An entry whose abbreviation is longer than every category's does not
    // fit its record: it names no category of the vocabulary.
    int32_t rc = append_record(&file, entry_size, likelihood, first, second);
    if (rc != 0) return rc == TQ_ERR_INVALID_CONTENT ? too_long(ctx, path) : rc;
  }

  const auto locale_code = static_cast<int32_t>(std::strtol(xmldoc_prop_get(ctx, doc, "Locale Code"), nullptr, 10));
  unsigned char block[kVocabLocaleBlockSize];
  std::memset(block, ' ', sizeof block);
  const char* iso = xmldoc_prop_get(ctx, doc, "Locale ISO Code");
  size_t iso_len = std::strlen(iso);
  if (iso_len > kVocabLocaleBlockSize - 1) iso_len = kVocabLocaleBlockSize - 1;
  std::memcpy(block, iso, iso_len);
  block[iso_len] = 0;
  if (flags & kVocabFileCode) vocab_locale_code_substitute(block, static_cast<uint32_t>(iso_len));
  if (!file.append_hex8(static_cast<uint32_t>(locale_code)) || !file.append_hex8(0) ||
      !file.append(block, sizeof block) || !file.append_hex8(static_cast<uint32_t>(kEncodingUtf8)) ||
      !append_vault_field(&file, xmldoc_prop_get(ctx, doc, "Vault Object Name")) ||
      !append_vault_field(&file, xmldoc_prop_get(ctx, doc, "Description"))) {
    return TQ_ERR_NO_MEMORY;
  }
  if (held != nullptr) return write_replacing(ctx, *held, file);
  return write_compiled(ctx, path, kFioKindZev, flags & kVocabFileNameAsGiven, file);
}

// ---- Reading ---------------------------------------------------------------------------

int32_t vocab_compiled_read(uint32_t* encoding, context* ctx, const char* path, uint32_t flags, xmldoc** out,
                            const fio_place* held) {
  if (out != nullptr) *out = nullptr;
  if (encoding == nullptr || path == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  TQ_TRACE(ctx, 0, "Load baked vocab file '%s'", path);
  byte_buffer file;
  uint32_t found_kind = 0;
  fio_version version;
  int32_t rc = open_and_read(ctx, path, flags & kVocabFileNameAsGiven, &file, &found_kind, held, &version);
  if (rc != 0) return rc;
  compiled_layout layout;
  rc = layout_read(ctx, path, file, &layout);
  if (rc != 0) return rc;
  uint32_t code = 0;
  rc = layout_encoding(ctx, layout, &code);
  if (rc != 0) return rc;
  *encoding = code;
  // Older files store their texts in a legacy encoding through a byte
  // substitution of their own, which this engine cannot undo.
  if ((flags & kVocabFileCode) && code != static_cast<uint32_t>(kEncodingUtf8)) {
    TQ_REPORT(ctx, TQ_ERR_NOT_SUPPORTED, 1572, path, code);
    return TQ_ERR_NOT_SUPPORTED;
  }

  // Both documents are freed on every way out (an exception too) until the
  // vocabulary is handed over with the category inside it.
  struct owned_doc {
    context* ctx;
    xmldoc* doc = nullptr;
    ~owned_doc() { xml_free(ctx, doc); }
  };
  owned_doc vocab{ctx};
  owned_doc category{ctx};
  rc = xmldoc_create(ctx, "Vocabulary", "7.0", &vocab.doc);
  if (rc == 0) rc = xmldoc_create(ctx, "Category", "7.0", &category.doc);
  if (rc == 0) rc = xmldoc_column_add(ctx, category.doc, "CategoryName", kXmlColString);
  if (rc == 0) rc = xmldoc_column_add(ctx, vocab.doc, "Likelihood", kXmlColInt);
  if (rc == 0) rc = xmldoc_column_add(ctx, vocab.doc, "CategoryAbbreviation", kXmlColString);
  if (rc == 0) rc = records_read(ctx, path, file, layout, code, flags, vocab.doc, category.doc);
  if (rc == 0) rc = set_document_properties(ctx, vocab.doc, layout, flags & kVocabFileCode);
  if (rc == 0) {
    rc = xmldoc_include_add(ctx, vocab.doc, "Category", kXmlIncludeInline, category.doc);
    if (rc == 0) category.doc = nullptr;
  }
  if (rc != 0) return rc;
  vocab.doc->read_from = version;
  *out = vocab.doc;
  vocab.doc = nullptr;
  return 0;
}

// ---- The header object -------------------------------------------------------------------

int32_t vocab_baked_header_open(context* ctx, const char* path, uint32_t open_flags, vocab_baked_header** out,
                                const fio_place* held) {
  if (out != nullptr) *out = nullptr;
  if (path == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  auto* header = static_cast<vocab_baked_header*>(np_calloc(1, sizeof(vocab_baked_header)));
  if (header == nullptr) return TQ_ERR_NO_MEMORY;
  header->ctx = ctx;
  header->open_flags = open_flags;
  // What the messages name: the held file as it was locked, else the name.
  str_copy_bounded(header->path, held != nullptr ? held->path : path, sizeof header->path);
  byte_buffer file;
  int32_t rc =
      open_and_read(ctx, path, open_flags & kVocabFileNameAsGiven, &file, &header->found_kind, held);
  compiled_layout layout;
  if (rc == 0) rc = layout_read(ctx, header->path, file, &layout);
  uint32_t code = 0;
  if (rc == 0) rc = layout_encoding(ctx, layout, &code);
  if (rc == 0) {
    const size_t size = layout.records_end - layout.records;
    header->data = static_cast<unsigned char*>(np_malloc(size > 0 ? size : 1));
    if (header->data == nullptr) rc = TQ_ERR_NO_MEMORY;
  }
  if (rc != 0) {
    vocab_baked_header_free(header);
    return rc;
  }
  header->category_count = layout.category_count;
  header->entry_count = layout.entry_count;
  header->category_size = layout.category_size;
  header->entry_size = layout.entry_size;
  header->data_size = static_cast<uint32_t>(layout.records_end - layout.records);
  std::memcpy(header->data, file.bytes + layout.records, header->data_size);
  header->locale_code = layout.locale_code;
  std::memcpy(header->locale_block, layout.locale_block, kVocabLocaleBlockSize);
  header->encoding = code;
  std::memcpy(header->vault_name, layout.vault_name, sizeof header->vault_name);
  std::memcpy(header->description, layout.description, sizeof header->description);
  *out = header;
  return 0;
}

int32_t vocab_baked_header_write(context* ctx, vocab_baked_header* header, const fio_place* held) {
  if (header == nullptr) return TQ_ERR_ARGUMENT;
  const uint32_t kind = header->found_kind == kFioKindKrv ? kFioKindKrv : kFioKindZev;
  byte_buffer file;
  if (!file.append_hex8(header->category_count) || !file.append_hex8(header->entry_count) ||
      !file.append_hex8(header->category_size) || !file.append_hex8(header->entry_size) ||
      !file.append(header->data, header->data_size) ||
      !file.append_hex8(static_cast<uint32_t>(header->locale_code)) || !file.append_hex8(0) ||
      !file.append(header->locale_block, kVocabLocaleBlockSize) || !file.append_hex8(header->encoding) ||
      !append_vault_field(&file, header->vault_name) || !append_vault_field(&file, header->description)) {
    return TQ_ERR_NO_MEMORY;
  }
  if (held != nullptr) return write_replacing(ctx, *held, file);
  return write_compiled(ctx, header->path, kind, header->open_flags & kVocabFileNameAsGiven, file);
}

int32_t vocab_baked_header_locale_set(context* ctx, vocab_baked_header* header, const char* iso) {
  if (header == nullptr || iso == nullptr) return TQ_ERR_ARGUMENT;
  int32_t code = -1;
  int32_t rc = locale_table_code_get_by_iso(ctx, iso, &code);
  if (rc != 0) return rc;
  char description[kLocaleDescriptionSize];
  rc = locale_table_description_get(ctx, code, description, sizeof description);
  if (rc != 0) return rc;
  // Only UTF-8 headers are ever rewritten: a legacy header's substitution is
  // not known to this engine.
  if (header->encoding != static_cast<uint32_t>(kEncodingUtf8)) {
    TQ_REPORT(ctx, TQ_ERR_NOT_SUPPORTED, 1572, static_cast<const char*>(header->path), header->encoding);
    return TQ_ERR_NOT_SUPPORTED;
  }
  // The ISO code (at most 6 bytes, zero-padded), then the description in the
  // 81 bytes after it, both through the substitution.
  unsigned char block[kVocabLocaleBlockSize];
  std::memset(block, 0, sizeof block);
  size_t n = std::strlen(iso);
  if (n > 5) n = 5;
  std::memcpy(block, iso, n);
  vocab_locale_code_substitute(block, static_cast<uint32_t>(n));
  constexpr size_t kDescriptionRoom = kVocabLocaleBlockSize - 6;
  char cut[kDescriptionRoom];
  str_copy_bounded(cut, description, sizeof cut);
  size_t d = std::strlen(cut);
  std::memcpy(block + 6, cut, d);
  vocab_locale_code_substitute(block + 6, static_cast<uint32_t>(d));
  std::memcpy(header->locale_block, block, sizeof block);
  header->locale_code = code;
  return 0;
}

void vocab_baked_header_vault_set(vocab_baked_header* header, const char* name, const char* description) {
  if (header == nullptr) return;
  if (name != nullptr) str_copy_bounded(header->vault_name, name, sizeof header->vault_name);
  if (description != nullptr) str_copy_bounded(header->description, description, sizeof header->description);
}

void vocab_baked_header_fields_get(const vocab_baked_header* header, const char** name, const char** description,
                                   int32_t* locale_code) {
  if (header == nullptr) return;
  if (name != nullptr) *name = header->vault_name;
  if (description != nullptr) *description = header->description;
  if (locale_code != nullptr) *locale_code = header->locale_code;
}

int32_t vocab_baked_header_locale_get(context* ctx, const vocab_baked_header* header, locale_info* out) {
  if (header == nullptr || out == nullptr) return TQ_ERR_ARGUMENT;
  locale_info_clear(out);
  compiled_layout layout{};
  layout.locale_code = header->locale_code;
  layout.locale_block = header->locale_block;
  layout_locale(layout, header->encoding == static_cast<uint32_t>(kEncodingUtf8), out->iso, out->description);
  if (out->iso[0] == '\0') {
    TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 144, header->locale_code);
    return TQ_ERR_ARGUMENT;
  }
  out->code = header->locale_code;
  return 0;
}

void vocab_baked_header_free(vocab_baked_header* header) {
  if (header == nullptr) return;
  std::free(header->data);
  std::free(header);
}

// ---- Lending the header to vault-file handles --------------------------------------------

namespace {

int32_t ops_open(context* ctx, const char* path, const fio_place* held, void** header) {
  vocab_baked_header* h = nullptr;
  int32_t rc = vocab_baked_header_open(ctx, path, 0, &h, held);
  *header = h;
  return rc;
}
int32_t ops_write(context* ctx, void* header, const fio_place& held) {
  return vocab_baked_header_write(ctx, static_cast<vocab_baked_header*>(header), &held);
}
void ops_free(void* header) { vocab_baked_header_free(static_cast<vocab_baked_header*>(header)); }
void ops_fields_get(const void* header, const char** name, const char** description, int32_t* locale) {
  vocab_baked_header_fields_get(static_cast<const vocab_baked_header*>(header), name, description, locale);
}
void ops_vault_set(void* header, const char* name, const char* description) {
  vocab_baked_header_vault_set(static_cast<vocab_baked_header*>(header), name, description);
}
int32_t ops_locale_get(context* ctx, const void* header, locale_info* out) {
  return vocab_baked_header_locale_get(ctx, static_cast<const vocab_baked_header*>(header), out);
}
int32_t ops_locale_set(context* ctx, void* header, const char* iso) {
  return vocab_baked_header_locale_set(ctx, static_cast<vocab_baked_header*>(header), iso);
}

constexpr vault_vocab_ops kVaultOps = {ops_open,      ops_write,      ops_free,      ops_fields_get,
                                       ops_vault_set, ops_locale_get, ops_locale_set};

}  // namespace

const vault_vocab_ops* vocab_vault_ops() { return &kVaultOps; }

}  // namespace tq

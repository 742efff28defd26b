// The line cipher of vault files, whole-text Base64, the resource header
// block and the vault-file handle.
#include "kbstore/krvlt.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krlocl.h"
#include "kbstore/krxmlpriv.h"
#include "platform/npmem.h"

namespace tq {

namespace {

// The engine's vault key: the same for every vault file, for reading and
// for writing. Changing it makes every existing vault file unreadable.
constexpr uint8_t kVaultKey[4] = {0x5A, 0x1C, 0x93, 0xE7};

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of a Base64 character; anything else counts as 0.
uint32_t sextet(char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<uint32_t>(c - 'A');
  if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a' + 26);
  if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0' + 52);
  if (c == '+') return 62;
  if (c == '/') return 63;
  return 0;
}

void rc4_apply(cipher_state* st, uint8_t* bytes, uint32_t n) {
  uint8_t i = st->i;
  uint8_t j = st->j;
  for (uint32_t k = 0; k < n; ++k) {
    i = static_cast<uint8_t>(i + 1);
    j = static_cast<uint8_t>(j + st->perm[i]);
    uint8_t t = st->perm[i];
    st->perm[i] = st->perm[j];
    st->perm[j] = t;
    bytes[k] ^= st->perm[static_cast<uint8_t>(st->perm[i] + st->perm[j])];
  }
  st->i = i;
  st->j = j;
}

// Base64 of n bytes (n a multiple of 3) into out; returns the characters.
uint32_t encode_groups(const uint8_t* in, uint32_t n, char* out) {
  uint32_t o = 0;
  for (uint32_t k = 0; k + 3 <= n; k += 3) {
    uint32_t v = (static_cast<uint32_t>(in[k]) << 16) | (static_cast<uint32_t>(in[k + 1]) << 8) | in[k + 2];
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = kAlphabet[(v >> 6) & 63];
    out[o++] = kAlphabet[v & 63];
  }
  return o;
}

// Decodes complete groups of 4 characters of text[0..n) into out (room for
// n / 4 * 3 bytes); returns the bytes before the '=' adjustment.
uint32_t decode_groups(const char* text, uint32_t n, uint8_t* out) {
  uint32_t o = 0;
  for (uint32_t k = 0; k + 4 <= n; k += 4) {
    uint32_t v = (sextet(text[k]) << 18) | (sextet(text[k + 1]) << 12) | (sextet(text[k + 2]) << 6) |
                 sextet(text[k + 3]);
    out[o++] = static_cast<uint8_t>(v >> 16);
    out[o++] = static_cast<uint8_t>(v >> 8);
    out[o++] = static_cast<uint8_t>(v);
  }
  return o;
}

}  // namespace

void cipher_key_setup(cipher_state* state) { cipher_key_setup_with(state, kVaultKey, sizeof kVaultKey); }

void cipher_key_setup_with(cipher_state* state, const uint8_t* key, uint32_t length) {
  std::memset(state, 0, sizeof *state);
  for (uint32_t k = 0; k < 256; ++k) state->perm[k] = static_cast<uint8_t>(k);
  if (key == nullptr || length == 0) return;
  uint8_t j = 0;
  for (uint32_t k = 0; k < 256; ++k) {
    j = static_cast<uint8_t>(j + state->perm[k] + key[k % length]);
    uint8_t t = state->perm[k];
    state->perm[k] = state->perm[j];
    state->perm[j] = t;
  }
}

int32_t cipher_line_encode(cipher_state* state, const char* text, uint32_t length, char* line, int32_t* ready) {
  *ready = 0;
  line[0] = '\0';
  if (text == nullptr) {
    uint32_t n = static_cast<uint32_t>(state->pending);
    if (n == 0) return 0;
    rc4_apply(state, state->line, n);
    uint32_t filled = (n + 2) / 3 * 3;
    std::memset(state->line + n, 0, filled - n);
    uint32_t chars = encode_groups(state->line, filled, line);
    uint32_t pad = (3 - n % 3) % 3;
    for (uint32_t k = 0; k < pad; ++k) line[chars - 1 - k] = '=';
    std::memcpy(line + chars, "\r\n", 3);
    state->pending = 0;
    *ready = 1;
    return 0;
  }
  uint32_t room = kCipherLineBytes - static_cast<uint32_t>(state->pending);
  uint32_t take = length < room ? length : room;
  std::memcpy(state->line + state->pending, text, take);
  state->pending += static_cast<int32_t>(take);
  if (static_cast<uint32_t>(state->pending) < kCipherLineBytes) return static_cast<int32_t>(take);
  rc4_apply(state, state->line, kCipherLineBytes);
  uint32_t chars = encode_groups(state->line, kCipherLineBytes, line);
  std::memcpy(line + chars, "\r\n", 3);
  state->pending = 0;
  *ready = 1;
  return static_cast<int32_t>(take);
}

int32_t cipher_line_decode(cipher_state* state, const char* line, char* out) {
  uint32_t n = 0;
  uint32_t pads = 0;
  while (n < kCipherLineChars && line[n] != '\0') {
    if (line[n] == '=') ++pads;
    ++n;
  }
  uint8_t bytes[kCipherLineBytes];
  uint32_t count = decode_groups(line, n, bytes);
  count = pads < count ? count - pads : 0;
  rc4_apply(state, bytes, count);
  std::memcpy(out, bytes, count);
  out[count] = '\0';
  return static_cast<int32_t>(count);
}

int32_t cipher_base64_encode(const char* text, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return 0;
  std::string in(text != nullptr ? text : "");  // text may be out itself
  std::memset(out, 0, size);
  uint32_t o = 0;
  size_t k = 0;
  auto byte = [&](size_t at) -> uint32_t { return at < in.size() ? static_cast<uint8_t>(in[at]) : 0u; };
  while (k < in.size()) {
    size_t left = in.size() - k;
    uint32_t v = (byte(k) << 16) | (byte(k + 1) << 8) | byte(k + 2);
    char group[4] = {kAlphabet[(v >> 18) & 63], kAlphabet[(v >> 12) & 63], left > 1 ? kAlphabet[(v >> 6) & 63] : '=',
                     left > 2 ? kAlphabet[v & 63] : '='};
    for (char c : group) {
      if (o + 1 >= size) return static_cast<int32_t>(o);
      out[o++] = c;
    }
    k += 3;
  }
  return static_cast<int32_t>(o);
}

int32_t cipher_base64_decode(const char* text, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return 0;
  std::string in(text != nullptr ? text : "");
  std::memset(out, 0, size);
  uint32_t pads = 0;
  for (char c : in) {
    if (c == '=') ++pads;
  }
  std::string bytes(in.size() / 4 * 3, '\0');
  uint32_t count = decode_groups(in.data(), static_cast<uint32_t>(in.size()), reinterpret_cast<uint8_t*>(bytes.data()));
  count = pads < count ? count - pads : 0;
  if (count > size - 1) count = size - 1;
  std::memcpy(out, bytes.data(), count);
  out[count] = '\0';
  return static_cast<int32_t>(count);
}

// ---- Resource header block ----------------------------------------------------

namespace {

constexpr const char* kPropObjectName = "Vault Object Name";
constexpr const char* kPropDescription = "Description";
constexpr const char* kPropLocaleCode = "Locale Code";
constexpr const char* kPropLocaleIso = "Locale ISO Code";
constexpr const char* kPropLocaleDescription = "Locale Description";
constexpr const char* kPropStdType = "std_type";

}  // namespace

void vault_info_read(const xmldoc* doc, vault_info* info) {
  str_copy_bounded(info->name, xmldoc_prop_get(nullptr, doc, kPropObjectName), sizeof info->name);
  str_copy_bounded(info->description, xmldoc_prop_get(nullptr, doc, kPropDescription), sizeof info->description);
}

int32_t vault_info_write(xmldoc* doc, const vault_info* info) {
  int32_t rc = xmldoc_prop_add(nullptr, doc, kPropObjectName, info->name);
  if (rc == 0) rc = xmldoc_prop_add(nullptr, doc, kPropDescription, info->description);
  return rc;
}

void vault_info_clear(vault_info* info) {
  info->name[0] = '\0';
  info->description[0] = '\0';
}

void vault_info_set(vault_info* info, const char* name, const char* description) {
  str_copy_bounded(info->name, name, sizeof info->name);
  str_copy_bounded(info->description, description, sizeof info->description);
}

int32_t xmldoc_name_stop_columns_add(context* ctx, xmldoc* doc, int32_t first, xmldoc_field** pairs,
                                     int32_t* capacity, int32_t* count) {
  if (doc == nullptr || pairs == nullptr || capacity == nullptr || first < 0 || first > INT32_MAX - 2)
    return TQ_ERR_ARGUMENT;
  if (first + 2 > *capacity) {
    void* grown = np_realloc(*pairs, sizeof(xmldoc_field) * static_cast<size_t>(first + 2));
    if (grown == nullptr) return TQ_ERR_NO_MEMORY;
    *pairs = static_cast<xmldoc_field*>(grown);
    *capacity = first + 2;
  }
  int32_t rc = xmldoc_column_add(ctx, doc, "Name", kXmlColString);
  if (rc == 0) rc = xmldoc_column_add(ctx, doc, "Stop Flag", kXmlColInt);
  if (rc != 0) return rc;
  (*pairs)[first].type = kXmlColString;
  (*pairs)[first].text = xml_empty_text();
  (*pairs)[first + 1].type = kXmlColInt;
  (*pairs)[first + 1].number = 0;
  if (count != nullptr) *count = 2;
  return 0;
}

void xmldoc_name_stop_fields_set(context* ctx, const char* vocabulary_name, int32_t stop_flag, int32_t first,
                                 xmldoc_field* pairs) {
  (void)ctx;
  pairs[first].text = vocabulary_name != nullptr ? const_cast<char*>(vocabulary_name) : xml_empty_text();
  pairs[first + 1].number = stop_flag;
}

// ---- Vault-file handle -------------------------------------------------------------

namespace {

std::atomic<const vault_vocab_ops*> g_vocab_ops{nullptr};

int32_t handle_new(context* ctx, int32_t kind, tq_vault_file** out) {
  auto* h = static_cast<tq_vault_file*>(np_calloc(1, sizeof(tq_vault_file)));
  if (h == nullptr) return TQ_ERR_NO_MEMORY;
  h->ctx = ctx;
  h->kind = kind;
  h->lock.owner = ctx;
  h->next = ctx->vault_files;
  if (h->next != nullptr) h->next->prev = h;
  ctx->vault_files = h;
  *out = h;
  return 0;
}

const vault_vocab_ops* vocab_ops() { return g_vocab_ops.load(std::memory_order_acquire); }

int32_t vocab_open(context* ctx, tq_vault_file* h, const char* filename) {
  const vault_vocab_ops* ops = vocab_ops();
  if (ops == nullptr) return TQ_ERR_NOT_SUPPORTED;
  return ops->open(ctx, filename, nullptr, &h->vocab_header);
}

// A compiled vocabulary opened for editing is locked as the vocabulary's
// own edit locks it (its compiled file, else the older form), and what is
// read is the file locked, in the folder the lock holds: a link pointed
// elsewhere since the lock was taken must not put another file's header
// and words into this one at the write. On failure the handle holds
// nothing.
int32_t vocab_edit(context* ctx, tq_vault_file* h, const char* filename) {
  const vault_vocab_ops* ops = vocab_ops();
  if (ops == nullptr) return TQ_ERR_NOT_SUPPORTED;
  h->edit = 1;
  lock_mark_guard taken(ctx, &h->lock);
  int32_t rc = lock_file_create_found(ctx, filename, kFioKindZev, &h->lock, nullptr, 0);
  fio_place place;
  if (rc == 0) rc = lock_place_get(ctx, &h->lock, &place);
  if (rc == 0) rc = ops->open(ctx, filename, &place, &h->vocab_header);
  if (rc >= 0) taken.keep();
  return rc;
}

bool is_vocab(const tq_vault_file* h) { return h->kind == kVaultKindVocabulary; }

// Closes a handle of this context: its document, its locks, its header and
// the handle itself.
int32_t handle_close(context* ctx, tq_vault_file* h) {
  if (h->prev != nullptr) h->prev->next = h->next;
  if (ctx->vault_files == h) ctx->vault_files = h->next;
  if (h->next != nullptr) h->next->prev = h->prev;
  xml_free(ctx, h->doc);
  h->doc = nullptr;
  int32_t rc = 0;
  if (h->edit && h->lock.held) rc = lock_release_all(ctx, &h->lock);
  if (h->vocab_header != nullptr) {
    if (const vault_vocab_ops* ops = vocab_ops()) ops->free(h->vocab_header);
  }
  std::free(h);
  return rc;
}

// The header's fields of a compiled vocabulary vault; false when it has
// none (not opened, or no operations).
bool vocab_fields(tq_vault_file* h, const char** name, const char** description, int32_t* locale) {
  const vault_vocab_ops* ops = vocab_ops();
  if (ops == nullptr || h->vocab_header == nullptr) return false;
  const char* n = "";
  const char* d = "";
  int32_t code = -1;
  ops->fields_get(h->vocab_header, &n, &d, &code);
  if (name != nullptr) *name = n != nullptr ? n : "";
  if (description != nullptr) *description = d != nullptr ? d : "";
  if (locale != nullptr) *locale = code;
  return true;
}

// A handle whose open or edit failed holds no file: there is nothing to
// change or write. Said as such (-705), for a caller that went on past the
// failed open: not a failure of the call itself.
int32_t holds_nothing(context* ctx, const tq_vault_file* h) {
  const char* what = h->edit ? "edit" : "open";
  TQ_REPORT(ctx, TQ_ERR_NOT_USABLE, 2472, what, what);
  return TQ_ERR_NOT_USABLE;
}

bool holds_file(const tq_vault_file* h) { return h->doc != nullptr || h->vocab_header != nullptr; }

// A handle whose read failed holds no document: there is nothing to read
// or change.
int32_t text_get(tq_vault_file* h, bool description, char* out) {
  out[0] = '\0';
  if (is_vocab(h)) {
    const char* name = nullptr;
    const char* desc = nullptr;
    if (!vocab_fields(h, &name, &desc, nullptr)) return -1;
    str_copy_bounded(out, description ? desc : name, kVaultTextMax + 1);
    return 0;
  }
  if (h->doc == nullptr) return -1;
  str_copy_bounded(out, xmldoc_prop_get(h->ctx, h->doc, description ? kPropDescription : kPropObjectName),
                   kVaultTextMax + 1);
  return 0;
}

int32_t text_set(context* ctx, tq_vault_file* h, bool description, const char* given) {
  if (!holds_file(h)) return holds_nothing(ctx, h);
  // UTF-8 as given, through the one check of a kept text: a compiled
  // vocabulary's header holds 1,024 bytes of each, and the getters give as
  // much, so a longer text is refused.
  if (int32_t rc = strio_kept_length_check(ctx, given, kVaultTextMax); rc < 0) return rc;
  char text[kVaultTextMax + 1];
  if (int32_t rc = strio_in(ctx, given, text, kVaultTextMax, 0); rc < 0) return rc;
  if (is_vocab(h)) {
    const char* name = nullptr;
    const char* desc = nullptr;
    if (!vocab_fields(h, &name, &desc, nullptr)) return -1;
    // Copies first: the setter overwrites what the pointers show.
    std::string keep_name = description ? name : text;
    std::string keep_desc = description ? text : desc;
    vocab_ops()->vault_set(h->vocab_header, keep_name.c_str(), keep_desc.c_str());
    return 0;
  }
  if (h->doc == nullptr) return -1;
  const char* prop = description ? kPropDescription : kPropObjectName;
  if (xmldoc_prop_exists(ctx, h->doc, prop)) return xmldoc_prop_set(ctx, h->doc, prop, text);
  return xmldoc_prop_add(ctx, h->doc, prop, text);
}

// The decimal value of a property; -1 when it is empty.
int32_t number_prop(const xmldoc* doc, const char* name, int32_t* out) {
  *out = -1;
  const char* v = xmldoc_prop_get(nullptr, doc, name);
  if (*v == '\0') return -1;
  long n = std::strtol(v, nullptr, 10);
  if (n > INT32_MAX || n < INT32_MIN) return -1;
  *out = static_cast<int32_t>(n);
  return 0;
}

int32_t foreign_handle(context* ctx) {
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 57, "'hnd' belongs to another context.");
  return TQ_ERR_ARGUMENT;
}

}  // namespace

void vault_vocab_ops_set(const vault_vocab_ops* ops) { g_vocab_ops.store(ops, std::memory_order_release); }

int32_t zel_vlt_file_open(context* ctx, const char* filename, int32_t kind, tq_vault_file** outhandle) {
  *outhandle = nullptr;
  if (int32_t rc = handle_new(ctx, kind, outhandle); rc != 0) return rc;
  tq_vault_file* h = *outhandle;
  if (is_vocab(h)) return vocab_open(ctx, h, filename);
  return xml_read(ctx, filename, kXmlFlagVault, &h->doc);
}

int32_t zel_vlt_file_edit(context* ctx, const char* filename, int32_t kind, tq_vault_file** outhandle) {
  *outhandle = nullptr;
  if (int32_t rc = handle_new(ctx, kind, outhandle); rc != 0) return rc;
  tq_vault_file* h = *outhandle;
  if (is_vocab(h)) return vocab_edit(ctx, h, filename);
  // Converted like the file name given to open, so that both find the
  // same file.
  std::string name;
  int32_t warn = text_in(ctx, filename, &name, kStrioUnkept);
  if (warn < 0) return warn;
  h->edit = 1;
  int32_t rc = xmldoc_read_for_edit(ctx, name.c_str(), kXmlFlagVault, &h->lock, &h->doc);
  return rc == 0 ? warn : rc;
}

int32_t zel_vlt_file_obj_name_get(context* ctx, tq_vault_file* hnd, char* obj_name) {
  (void)ctx;
  return text_get(hnd, false, obj_name);
}

int32_t zel_vlt_file_obj_name_set(context* ctx, tq_vault_file* hnd, const char* obj_name) {
  return text_set(ctx, hnd, false, obj_name);
}

int32_t zel_vlt_file_desc_get(context* ctx, tq_vault_file* hnd, char* desc) {
  (void)ctx;
  return text_get(hnd, true, desc);
}

int32_t zel_vlt_file_desc_set(context* ctx, tq_vault_file* hnd, const char* desc) {
  return text_set(ctx, hnd, true, desc);
}

int32_t zel_vlt_file_locale_get(context* ctx, tq_vault_file* hnd, int32_t* locale) {
  (void)ctx;
  *locale = -1;
  if (is_vocab(hnd)) {
    if (!vocab_fields(hnd, nullptr, nullptr, locale)) return -1;
    return 0;
  }
  if (hnd->doc == nullptr) return -1;
  return number_prop(hnd->doc, kPropLocaleCode, locale);
}

int32_t zel_vlt_file_stdtype_get(context* ctx, tq_vault_file* hnd, int32_t* stdtype) {
  (void)ctx;
  *stdtype = -1;
  if (hnd->kind != kVaultKindZel || hnd->doc == nullptr) return -1;
  return number_prop(hnd->doc, kPropStdType, stdtype);
}

int32_t zel_vlt_file_write(context* ctx, tq_vault_file* hnd) {
  if (hnd == nullptr) return TQ_ERR_ARGUMENT;
  if (hnd->ctx != ctx) return foreign_handle(ctx);
  if (is_vocab(hnd)) {
    const vault_vocab_ops* ops = vocab_ops();
    if (ops == nullptr) return -1;
    if (hnd->vocab_header == nullptr) return holds_nothing(ctx, hnd);
    // The file the edit locked and read, where it now is; a handle that was
    // only opened holds none (-603).
    fio_place place;
    int32_t rc = lock_place_get(ctx, &hnd->lock, &place);
    if (rc != 0) return rc;
    return ops->write(ctx, hnd->vocab_header, place);
  }
  if (hnd->doc == nullptr) return holds_nothing(ctx, hnd);
  // The locked file as it is named: a "krd" file stays one.
  return xmldoc_write_locked(ctx, kXmlFlagVault | kXmlFlagNameAsGiven, &hnd->lock, hnd->doc);
}

int32_t zel_vlt_file_close(context* ctx, tq_vault_file* hnd) {
  // A handle is its context's: its locks live in that context's lock table
  // and its place in that context's list, which only the owner's thread may
  // touch. Another context is refused and changes nothing; the handle stays
  // open for its owner to close, and the owner's tq_close closes it at the
  // latest.
  if (hnd->ctx != ctx) return foreign_handle(ctx);
  return handle_close(ctx, hnd);
}

void vault_files_close_all(context* ctx) {
  while (ctx->vault_files != nullptr) (void)handle_close(ctx, ctx->vault_files);
}

int32_t locale_props_noload_get(context* ctx, tq_vault_file* hnd, char* iso) {
  iso[0] = '\0';
  if (is_vocab(hnd)) {
    const vault_vocab_ops* ops = vocab_ops();
    if (ops == nullptr || hnd->vocab_header == nullptr) return -1;
    locale_info info;
    locale_info_clear(&info);
    int32_t rc = ops->locale_get(ctx, hnd->vocab_header, &info);
    if (rc < 0) return rc;
    str_copy_bounded(iso, info.iso, kVaultIsoMax + 1);
    return rc;
  }
  if (hnd->doc == nullptr) return -1;
  str_copy_bounded(iso, xmldoc_prop_get(ctx, hnd->doc, kPropLocaleIso), kVaultIsoMax + 1);
  return 0;
}

int32_t locale_props_noload_set(context* ctx, tq_vault_file* hnd, const char* given) {
  if (!holds_file(hnd)) return holds_nothing(ctx, hnd);
  if (int32_t rc = strio_kept_length_check(ctx, given, kVaultIsoMax); rc < 0) return rc;
  char iso[kVaultIsoMax + 1];
  if (int32_t rc = strio_in(ctx, given, iso, kVaultIsoMax, 0); rc < 0) return rc;
  if (is_vocab(hnd)) {
    const vault_vocab_ops* ops = vocab_ops();
    if (ops == nullptr || hnd->vocab_header == nullptr) return -1;
    return ops->locale_set(ctx, hnd->vocab_header, iso);
  }
  if (hnd->doc == nullptr) return -1;
  // Everything is looked up before anything changes, so that an unknown ISO
  // code leaves the three properties as they were.
  int32_t code = -1;
  int32_t rc = locale_table_code_get_by_iso(ctx, iso, &code);
  if (rc != 0) return rc;
  char description[kLocaleDescriptionMax + 1];
  rc = locale_table_description_get(ctx, code, description, sizeof description);
  if (rc != 0) return rc;
  char number[kIntTextSize];
  str_from_int(code, number);
  rc = xmldoc_prop_set(ctx, hnd->doc, kPropLocaleIso, iso);
  if (rc == 0) rc = xmldoc_prop_set(ctx, hnd->doc, kPropLocaleCode, number);
  if (rc == 0) rc = xmldoc_prop_set(ctx, hnd->doc, kPropLocaleDescription, description);
  return rc;
}

}  // namespace tq

// Vault files: knowledge-base files delivered enciphered. The XML text is
// enciphered with RC4 under the engine's fixed key and written as Base64
// lines of 72 characters (54 bytes each), each ending in CR LF; the
// keystream starts afresh for every file read or written. Also whole-text
// Base64 for compiled vocabularies, the vault-file handle with its exported
// family, and the resource-header block (vault object name, description).
#pragma once

#include <cstdint>

#include "tq.h"
#include "core/krcorvel.h"
#include "kbstore/krlocp.h"
#include "kbstore/krlock.h"
#include "kbstore/krxml.h"

namespace tq {

inline constexpr uint32_t kCipherLineBytes = 54;  // enciphered bytes per line
inline constexpr uint32_t kCipherLineChars = 72;  // Base64 characters per line
// An encoded line: 72 characters, CR, LF and the terminator.
inline constexpr uint32_t kCipherLineSize = kCipherLineChars + 3;
// Decoded bytes of one line and the terminator.
inline constexpr uint32_t kCipherDecodedSize = kCipherLineBytes + 1;

struct cipher_state {
  uint8_t perm[256];
  uint8_t i;
  uint8_t j;
  uint8_t line[78];  // bytes of the line being built, room to fill up to a multiple of 3
  int32_t pending;   // bytes waiting in line
};

// RC4 key scheduling with the engine's fixed key; indexes and pending count 0.
void cipher_key_setup(cipher_state* state);
// The same with another key (1 to 256 bytes), for checking the cipher.
void cipher_key_setup_with(cipher_state* state, const uint8_t* key, uint32_t length);

// Takes bytes of text into the line being built and returns how many it
// took. *ready becomes 1 when `line` (kCipherLineSize bytes) holds a
// complete line with CR LF; call again with the rest of the text. text NULL
// flushes the last partial line (padded with '='), *ready 0 when nothing
// was pending.
int32_t cipher_line_encode(cipher_state* state, const char* text, uint32_t length, char* line, int32_t* ready);
// Deciphers one line (at most its first 72 characters; characters outside
// the alphabet count as 0, an incomplete last group is ignored, each '='
// takes one byte off) into out (kCipherDecodedSize bytes), terminated.
// Returns the byte count.
int32_t cipher_line_decode(cipher_state* state, const char* line, char* out);

// Whole-text Base64 of a terminated text. out (size bytes) is zeroed first
// and receives at most size - 1 characters; text and out may be the same
// buffer. Returns the characters written.
int32_t cipher_base64_encode(const char* text, char* out, uint32_t size);
// The reverse: at most size - 1 bytes, terminated, as many bytes dropped as
// there were '='. text and out may be the same buffer. Returns the bytes
// written.
int32_t cipher_base64_decode(const char* text, char* out, uint32_t size);

// ---- Resource header block ----------------------------------------------------

inline constexpr uint32_t kVaultTextMax = 1024;  // vault object name, description

// The vault object name and description a resource keeps; in a document the
// properties "Vault Object Name" and "Description".
struct vault_info {
  char name[kVaultTextMax + 1];
  char description[kVaultTextMax + 1];
};

// Copies both properties (each "" when absent).
void vault_info_read(const xmldoc* doc, vault_info* info);
// Adds both properties, the name first. -600.
int32_t vault_info_write(xmldoc* doc, const vault_info* info);
void vault_info_clear(vault_info* info);
// Sets both, each cut to 1,024 bytes between characters.
void vault_info_set(vault_info* info, const char* name, const char* description);

// The columns "Name" (string) and "Stop Flag" (int) of vocabulary-based
// definitions: makes room for two more entries in a growable field list
// (*pairs with *capacity entries, grown by realloc), adds the two columns
// and records their types at first and first + 1; *count := 2. -600, or
// the column failure.
int32_t xmldoc_name_stop_columns_add(context* ctx, xmldoc* doc, int32_t first, xmldoc_field** pairs,
                                     int32_t* capacity, int32_t* count);
// Fills the two entries for one record: the vocabulary's name ("" for
// none) and the stop flag. The name must outlive the record's addition.
void xmldoc_name_stop_fields_set(context* ctx, const char* vocabulary_name, int32_t stop_flag, int32_t first,
                                 xmldoc_field* pairs);

// ---- Vault-file handle -------------------------------------------------------------

// Handle kinds: 8 a compiled vocabulary vault, 7 a vault file; any other
// value is read as a vault file too.
inline constexpr int32_t kVaultKindVocabulary = 8;
inline constexpr int32_t kVaultKindZel = 7;
inline constexpr uint32_t kVaultIsoMax = 20;

// Compiled vocabulary vaults are read and written by the vocabulary
// resource, a layer above this one; it lends these operations here (its
// vocab_baked_header functions). The header is the vocabulary's own object.
struct vault_vocab_ops {
  // Opens the header of a compiled file: the name as the caller gave it,
  // or, with `held`, the file a lock holds (the name then only names it).
  int32_t (*open)(context* ctx, const char* path, const fio_place* held, void** header);
  // Writes the header back over the file the lock holds.
  int32_t (*write)(context* ctx, void* header, const fio_place& held);
  void (*free)(void* header);
  // The vault object name, description and locale code in the header.
  void (*fields_get)(const void* header, const char** name, const char** description, int32_t* locale);
  // Sets the vault object name and description (each cut to 1,024 bytes).
  void (*vault_set)(void* header, const char* name, const char* description);
  // The locale properties of the header's locale code.
  int32_t (*locale_get)(context* ctx, const void* header, locale_info* out);
  int32_t (*locale_set)(context* ctx, void* header, const char* iso);
};

// Installs the operations (NULL removes them); without them a handle of
// kind 8 is refused with -700.
void vault_vocab_ops_set(const vault_vocab_ops* ops);

}  // namespace tq

struct tq_vault_file {
  tq::context* ctx;
  tq::xmldoc* doc;     // NULL for a compiled vocabulary vault, or after a failed read
  int32_t kind;        // as given at opening
  tq_lock_handle lock;  // the context owns it
  uint32_t edit;       // 1 when made for editing
  void* vocab_header;  // kind 8
  // The context's list of open handles, so that its teardown closes those
  // the client left open.
  tq_vault_file* prev;
  tq_vault_file* next;
};

namespace tq {

using vault_file = ::tq_vault_file;

// ---- Export implementations ------------------------------------------------------
// The texts of this family are UTF-8, not converted; only a file name
// given for an XML vault is converted from the session encoding.

int32_t zel_vlt_file_open(context* ctx, const char* filename, int32_t kind, tq_vault_file** outhandle);
int32_t zel_vlt_file_edit(context* ctx, const char* filename, int32_t kind, tq_vault_file** outhandle);
int32_t zel_vlt_file_obj_name_get(context* ctx, tq_vault_file* hnd, char* obj_name);
int32_t zel_vlt_file_obj_name_set(context* ctx, tq_vault_file* hnd, const char* obj_name);
int32_t zel_vlt_file_desc_get(context* ctx, tq_vault_file* hnd, char* desc);
int32_t zel_vlt_file_desc_set(context* ctx, tq_vault_file* hnd, const char* desc);
int32_t zel_vlt_file_locale_get(context* ctx, tq_vault_file* hnd, int32_t* locale);
int32_t zel_vlt_file_stdtype_get(context* ctx, tq_vault_file* hnd, int32_t* stdtype);
int32_t zel_vlt_file_write(context* ctx, tq_vault_file* hnd);
int32_t zel_vlt_file_close(context* ctx, tq_vault_file* hnd);
// Closes every handle the context still has open (its teardown).
void vault_files_close_all(context* ctx);
int32_t locale_props_noload_get(context* ctx, tq_vault_file* hnd, char* iso);
int32_t locale_props_noload_set(context* ctx, tq_vault_file* hnd, const char* iso);

}  // namespace tq

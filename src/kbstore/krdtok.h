// Definition tokens: a definition's settings for each token of its datatype
// (name and datatype key, regex libraries and schemes with sensitivity
// ranges, automatic uppercasing, separator) and the block that the kind's
// token hooks keep; the "Token" element they are read from and written to;
// and the operations on the token list a definition record owns.
//
// Regex libraries and schemes are resources of the layer above; tokens open
// them through the operations that layer lends at start (rsrc_open, krlib.h)
// and hold them as counted references (rsrc_ref), so that deleting, moving or
// copying a token can neither leak nor give back a reference twice.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/krcorvel.h"
#include "kbstore/krkind.h"
#include "kbstore/krlib.h"

namespace tq {

inline constexpr uint32_t kDtokNameSize = 321;      // 320 bytes and the terminator
inline constexpr uint32_t kDtokSeparatorSize = 65;  // 64 bytes and the terminator
inline constexpr uint32_t kDtokNameInMax = 1024;    // a token name taken in
inline constexpr uint32_t kDtokRsrcNameMax = 4096;  // a library or scheme name, in or out
// The parsing, standardization and matching slot blocks hold 32 tokens.
inline constexpr uint32_t kDtokMax = 32;
inline constexpr int32_t kDtokRangeLow = 50;  // range of an entry read without one
inline constexpr int32_t kDtokRangeHigh = 100;

// Scheme options a token keeps (bits of the scheme's match-option word).
inline constexpr uint32_t kDtokSchemeElement = 0x1;
inline constexpr uint32_t kDtokSchemeCaseInsensitive = 0x2;
inline constexpr uint32_t kDtokSchemeOutUpper = 0x20;
inline constexpr uint32_t kDtokSchemeOutLower = 0x40;
inline constexpr uint32_t kDtokSchemeOutProper = 0x80;

// Whether a token's scheme entry can keep these options: its file holds
// the type (element or phrase), case sensitivity and at most one output
// case, nothing more. Any other bit (edit state, match keys, duplicates...)
// would change how the scheme opens now but be gone once the definition is
// written and read again, so an edit giving one is refused.
constexpr bool dtok_scheme_options_ok(uint32_t options) {
  constexpr uint32_t out_case = kDtokSchemeOutUpper | kDtokSchemeOutLower | kDtokSchemeOutProper;
  const uint32_t chosen = options & out_case;
  return (options & ~(kDtokSchemeElement | kDtokSchemeCaseInsensitive | out_case)) == 0 &&
         (chosen & (chosen - 1)) == 0;
}

struct dtok_regexlib {
  rsrc_ref lib;
  int32_t low;
  int32_t high;
};

// The options are the ones the scheme was opened with; the registry shares
// a scheme slot only between openings with the same options, so they are
// the scheme's own.
struct dtok_scheme {
  rsrc_ref scheme;
  uint32_t options;
  int32_t low;
  int32_t high;
  int32_t disable_phonetx;
};

struct dtok_rec {
  int32_t kind = 0;
  char name[kDtokNameSize] = {};
  int32_t key = -1;  // the datatype token's position; -1 unset
  std::vector<dtok_regexlib> regexlibs;
  int32_t automatic_uppercasing = 1;
  std::vector<dtok_scheme> schemes;
  int32_t use_separator = 1;
  char separator[kDtokSeparatorSize] = " ";
  // The kind's own token data, made, copied and freed by its token hooks.
  void* part = nullptr;
};

// The tokens of one definition. Each token lives in its own allocation:
// deleting and rearranging move pointers, never records, so no reference
// changes hands and a token found for change stays where it is.
struct dtok_list {
  std::vector<std::unique_ptr<dtok_rec>> items;
  uint32_t count() const { return static_cast<uint32_t>(items.size()); }
};

// What the token operations need of the definition that owns the list: its
// kind and name (for messages and the single-token rule), the parse
// definition it names, and its datatype (name and token names by key).
struct dtok_owner {
  int32_t kind = 0;
  const char* defn_name = "";
  int32_t parse_defn = -1;
  const char* datatype_name = "";  // "" when the definition has none
  const char* const* datatype_tokens = nullptr;
  uint32_t datatype_token_count = 0;
};

// ---- One token ----------------------------------------------------------------------
// Texts in and out follow flags bit 0 (kStrioConvert): in the session
// encoding, else UTF-8. Adds and sets with kDtokEdit are a caller's edits:
// they open what they name checked (rsrc_open_checked), where a token read
// from its file leaves the read of its libraries to their first use.
inline constexpr uint32_t kDtokEdit = 0x100;

// A new or cleared token: the defaults, then the kind's token init hook (a
// kind not built: -802).
int32_t dtok_init(context* ctx, int32_t kind, dtok_rec* tok);
// The kind's free hook (skipped for a cleared token, so a second clear is
// harmless), then every list given back (keep_refs 0) or forgotten (1);
// the token is left as cleared: kind 0, key -1, name and separator empty,
// use separator 0, automatic uppercasing 1.
void dtok_clear(context* ctx, dtok_rec* tok, int32_t keep_refs);
// Copies src into dst (initialised for the kind): one more reference on
// every library and scheme, then the kind's copy hook. On failure dst is
// cleared.
int32_t dtok_copy(context* ctx, dtok_rec* dst, const dtok_rec* src);

// Names the token (at most 1,024 bytes taken in, kept cut at 320) and sets
// its key from the owner's datatype: the single-token rule (a definition of
// a kind other than parse and extraction, naming no parse definition, with
// one token named like the datatype: key 0), else the position of the
// datatype token of that name (byte-exact). token_count: the tokens the
// definition has. -300 with message 86 for an empty name, with message 87
// when the datatype has no such token; a refused name leaves the token as
// it was.
int32_t dtok_name_set(context* ctx, const dtok_owner& owner, uint32_t token_count, dtok_rec* tok, const char* name,
                      uint32_t flags);

// Opens the library and appends it with {low, high}. The open's failure.
int32_t dtok_regexlib_add(context* ctx, dtok_rec* tok, const char* name, int32_t high, int32_t low, uint32_t flags);
// -800 for j out of range. The same name keeps library j and replaces the
// range; another name is opened first, then library j is given back and the
// new one takes its place (a failed open changes nothing).
int32_t dtok_regexlib_set(context* ctx, dtok_rec* tok, int32_t j, const char* name, int32_t high, int32_t low,
                          uint32_t flags);
// The same keeping library j's range; -802 for an empty name.
int32_t dtok_regexlib_name_set(context* ctx, dtok_rec* tok, int32_t j, const char* name, uint32_t flags);
// Library j's name (at most 4,096 bytes) and range (outs may be NULL).
int32_t dtok_regexlib_info_get(context* ctx, const dtok_rec* tok, int32_t j, char* name, int32_t* high,
                               int32_t* low, uint32_t flags);
void dtok_regexlibs_delete_all(context* ctx, dtok_rec* tok);

// Opens the scheme with the options and appends it. -802 for options a
// token's file cannot hold (see dtok_scheme_options_ok), before anything
// is opened.
int32_t dtok_scheme_add(context* ctx, dtok_rec* tok, const char* name, uint32_t options, int32_t disable_phonetx,
                        int32_t high, int32_t low, uint32_t flags);
// -802 for a NULL name or options a token's file cannot hold, -800 for j
// out of range. A name or options other
// than scheme j's open the new scheme first, then scheme j is given back; a
// disable-phonetx value other than -1 replaces the stored one; each range
// end other than -1 replaces that end.
int32_t dtok_scheme_set(context* ctx, dtok_rec* tok, int32_t j, const char* name, uint32_t options,
                        int32_t disable_phonetx, int32_t high, int32_t low, uint32_t flags);
// Scheme j's name (at most 4,096 bytes) and options; -802 for NULL outs.
int32_t dtok_scheme_info_get(context* ctx, const dtok_rec* tok, int32_t j, uint32_t flags, char* name,
                             uint32_t* options);
void dtok_schemes_delete_all(context* ctx, dtok_rec* tok);

// The separator: at most 64 bytes, cut between characters.
int32_t dtok_separator_get(context* ctx, const dtok_rec* tok, char* out, uint32_t flags);
// The text converted first; a failure leaves the old separator.
int32_t dtok_separator_set(context* ctx, dtok_rec* tok, const char* text, uint32_t flags);
int32_t dtok_use_separator_get(context* ctx, const dtok_rec* tok, int32_t* flag);
int32_t dtok_use_separator_set(context* ctx, dtok_rec* tok, int32_t flag);

// Writes the token as an element ("Parse Substring" for kind 2, else
// "Token") included under the name "Token" into the definition's element.
// A failure frees the element and is returned.
int32_t dtok_xml_write(context* ctx, xmldoc* defn, const dtok_rec* tok);
// Reads a token (initialised for the kind) from its element. Every step
// runs, so a library or scheme that cannot be opened, or a name the
// datatype lacks, loses only itself; the result is the first critical
// code, else the first failure, else the first warning.
int32_t dtok_xml_read(context* ctx, const dtok_owner& owner, uint32_t token_count, const xmldoc* element,
                      dtok_rec* tok);

// ---- The token list of a definition -----------------------------------------------------

// Token i, or -800 with message 194.
int32_t dtok_list_get(context* ctx, const dtok_owner& owner, const dtok_list* list, int32_t i, dtok_rec** out);
// Appends a token initialised for the owner's kind; *index := its position.
// The 33rd is refused with -601.
int32_t dtok_list_add(context* ctx, const dtok_owner& owner, dtok_list* list, int32_t* index);
// Removes token i (its references given back); later tokens move down one
// place and take their key again from the datatype token of their name.
int32_t dtok_list_delete(context* ctx, const dtok_owner& owner, dtok_list* list, int32_t i);
// New position k takes old token order[k]. -802, nothing changed, unless
// order holds each position once (n must be the token count).
int32_t dtok_list_rearrange(context* ctx, dtok_list* list, const int32_t* order, uint32_t n);
// Every token cleared (references given back or forgotten); the list empty.
void dtok_list_clear(context* ctx, dtok_list* list, int32_t keep_refs);
// dst (cleared first) becomes a copy of src, each token initialised for its
// kind and copied. On failure dst is empty.
int32_t dtok_list_copy(context* ctx, dtok_list* dst, const dtok_list* src);
// Caller buffers of token names hold 320 bytes with the terminator (two
// bytes in a UCS-2 session), so a name is cut to fit them.
inline constexpr uint32_t kDtokNameOutSize = 320;
// Token i's name; -800 with message 194.
int32_t dtok_list_name_get(context* ctx, const dtok_owner& owner, const dtok_list* list, int32_t i, char* out,
                           uint32_t flags);
// Every name into out[0 .. count - 1] (at most 32 buffers), *count := the
// names given. The last positive conversion warning, or the first failure.
int32_t dtok_list_names_get(context* ctx, const dtok_list* list, char* const* out, uint32_t* count,
                            uint32_t flags);
// The key of the token whose name equals name ignoring case; -802 with
// message 86 when none does.
int32_t dtok_list_key_get_by_name(context* ctx, const dtok_owner& owner, const dtok_list* list, const char* name,
                                  int32_t* key);

}  // namespace tq

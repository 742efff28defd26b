#include "core/krenc.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/krcorvel.h"
#include "core/krerr.h"
#include "platform/npuchar.h"
#include "platform/nputf8.h"

namespace tq {

const encoding_row kEncodingTable[kEncodingCount] = {
    {0, "ISO-8859-1 (Latin 1)", 1},
    {1, "IBM 1047 (EBCDIC)", 10},
    {2, "ISO-8859-2 (Latin 2)", 2},
    {3, "ISO-8859-7 (Latin Greek)", 4},
    {4, "ISO-8859-11 (Latin Thai)", 6},
    {5, "ISO-8859-5 (Latin Cyrillic)", 3},
    {6, "ISO-8859-9 (Latin 5)", 5},
    {7, "CP1252 (WinLatin-1)", 24},
    {8, "CP1250 (WinLatin-2)", 22},
    {9, "CP1253 (WinGreek)", 25},
    {10, "CP874 (WinThai)", 21},
    {11, "CP1251 (WinCyrillic)", 23},
    {12, "CP1254 (WinTurkish)", 26},
    {13, "UTF-8", 0},
    {14, "UCS-2 Big Endian", 7},
    {15, "UCS-2 Little Endian", 8},
};

namespace {

constexpr int32_t kErrUnsupported = TQ_ERR_NOT_SUPPORTED;
constexpr int32_t kErrInvalidArg = TQ_ERR_ARGUMENT;
constexpr int32_t kErrInvalidChar = TQ_ERR_INVALID_CHAR;
constexpr int32_t kWarnReplaced = TQ_WARN_CHAR_REPLACED;

// The encoding has no charset, or the character library failed on it
// (`why`, its result): out of memory building the charset's table is -600,
// which the next conversion tries again.
int32_t library_failed(context* ctx, int32_t encoding, int32_t why = -3) {
  if (why == -2) return TQ_ERR_NO_MEMORY;
  TQ_REPORT(ctx, kErrUnsupported, 1491, encoding);
  return kErrUnsupported;
}

// The row of an encoding that can be converted, or a recorded failure.
int32_t usable_row(context* ctx, int32_t encoding, const encoding_row** row) {
  if (!enc_id_is_known(encoding)) {
    TQ_REPORT(ctx, kErrInvalidArg, 1490, encoding);
    return kErrInvalidArg;
  }
  const encoding_row* r = &kEncodingTable[encoding];
  if (r->charset < 0) return library_failed(ctx, encoding);
  *row = r;
  return 0;
}

// The character library's flags for a conversion in this context.
uint32_t conversion_flags(const context* ctx, const encoding_row* row) {
  uint32_t flags = static_cast<uint32_t>(row->charset) | kNpUcharCompat;
  if (ctx->options & kOptStrictConversion) flags |= kNpUcharStrict;
  return flags;
}

// The outcome of a character the library refused or replaced, by option.
int32_t refused_or_replaced(const context* ctx) {
  if (ctx->options & kOptStrictConversion) return kErrInvalidChar;
  if (ctx->options & kOptWarnReplaced) return kWarnReplaced;
  return 0;
}

// Byte-for-byte copy of a UTF-8 text: at most max bytes, cut between
// characters, and its one terminator byte. This is every text written
// without conversion, in and out: internal UTF-8 text, whose buffers hold
// max + 1 bytes whatever the session encoding.
void copy_bounded(const char* src, char* dst, uint32_t max) {
  size_t keep = strnlen(src, static_cast<size_t>(max) + 1);
  if (keep > max) keep = np_uchar_cut(src, max);
  std::memcpy(dst, src, keep);
  dst[keep] = '\0';
}

uint32_t clamp_u32(int64_t n) { return n > static_cast<int64_t>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(n); }

// A text converted in (UTF-8, at most max bytes in dst): when the room left
// could not have taken one more character, the whole text is measured, and
// one longer than what dst holds was cut. *len is what dst holds; 0 when
// the text was not cut. The usual short text costs one bounded length.
int64_t converted_cut_whole(const context* ctx, const char* src, const char* dst, uint32_t max, size_t* len) {
  *len = strnlen(dst, static_cast<size_t>(max) + 1);
  if (*len + 4 <= max) return 0;
  const int64_t whole = np_uchar_encode_length(conversion_flags(ctx, &kEncodingTable[ctx->session_encoding]), src);
  return whole > static_cast<int64_t>(*len) ? whole : 0;
}

// A value converted in: a cut is noted, and the value goes on cut.
void note_input_cut(context* ctx, const char* src, const char* dst, uint32_t max) {
  size_t len = 0;
  const int64_t whole = converted_cut_whole(ctx, src, dst, max, &len);
  if (whole == 0) return;
  ctx->cuts |= kCutInput;
  const uint32_t left = clamp_u32(whole - static_cast<int64_t>(len));
  TQ_REPORT(ctx, TQ_WARN_LIMIT_REACHED, 1921, call_name_of(ctx), max, strio_bytes_word(max), left,
            left == 1 ? "byte was" : "bytes were");
}

// Bytes of the session encoding per byte of UTF-8 at most: a malformed byte
// becomes U+FFFD (three bytes) in UTF-8, every character takes two bytes in
// UCS-2 and one in the single-byte charsets.
uint32_t widening(int32_t encoding) {
  if (encoding == kEncodingUtf8) return 3;
  return strio_char_size(encoding);
}

// An output converted into max bytes: only a source longer than max /
// widening may not have fitted (a plain strnlen of the usual short text);
// that one is measured whole. `whole` is the length in UTF-8 of the text
// the source starts, when its caller knows it (strio_out_whole); 0 when it
// does not, and then, after another cut of the call, the source may be the
// start of a text cut before. The message gives the whole text's length
// where it is known in the session's bytes, and otherwise says that it is
// longer.
void note_output_cut(context* ctx, uint32_t lib_flags, const char* src, uint32_t max, uint64_t whole) {
  const size_t bound = max / widening(ctx->session_encoding);
  if (strnlen(src, bound + 1) <= bound) return;
  const int64_t own = np_uchar_decode_length(lib_flags, src);
  if (own <= static_cast<int64_t>(max)) return;
  if (whole == 0) whole = strio_whole_known(ctx, 0);
  ctx->cuts |= kCutOutput;
  int64_t needs = own;
  if (whole > std::strlen(src)) {
    if (whole == kWholeUnknown || ctx->session_encoding != kEncodingUtf8) {
      TQ_REPORT(ctx, TQ_WARN_LIMIT_REACHED, 1926, call_name_of(ctx), max, strio_bytes_word(max));
      return;
    }
    needs = static_cast<int64_t>(std::min<uint64_t>(whole, INT64_MAX));
  }
  const uint32_t n = clamp_u32(needs);
  TQ_REPORT(ctx, TQ_WARN_LIMIT_REACHED, 1920, call_name_of(ctx), max, strio_bytes_word(max), n, strio_bytes_word(n));
}

// Whether a text may be kept by the knowledge base (and so is checked).
constexpr bool kept(uint32_t flags) { return (flags & (kStrioValue | kStrioUnkept)) == 0; }

// A text the knowledge base may keep, once in UTF-8: refused (-802, the
// destination left empty) when a file could not hold it. Checked after the
// conversion, so that what is refused is what would be kept, in every
// session encoding alike. Out of line: the values of the engines' roads
// never come here.
[[gnu::noinline]] int32_t kept_text_check(context* ctx, char* dst) {
  text_flaw flaw{};
  if (!text_flaw_find(dst, &flaw)) return 0;
  const text_flaw_words words = text_flaw_describe(flaw);
  TQ_REPORT(ctx, kErrInvalidArg, 1930, call_name_of(ctx), static_cast<const char*>(words.what), flaw.character,
            words.why);
  dst[0] = '\0';
  return kErrInvalidArg;
}

// A text the knowledge base would keep, longer once in UTF-8 than the max
// bytes its setter keeps (whole, its length): refused (-802, the
// destination left empty), since a cut name would name another thing.
[[gnu::noinline]] int32_t kept_too_long(context* ctx, char* dst, uint32_t max, int64_t whole) {
  const uint32_t n = clamp_u32(whole);
  TQ_REPORT(ctx, kErrInvalidArg, 1943, call_name_of(ctx), n, strio_bytes_word(n), max, strio_bytes_word(max));
  dst[0] = '\0';
  return kErrInvalidArg;
}

int32_t strio_convert_in(context* ctx, const char* src, char* dst, uint32_t max, uint32_t flags) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (src == nullptr || dst == nullptr) return kErrInvalidArg;
  if ((flags & kStrioConvert) == 0) {
    copy_bounded(src, dst, max);
    return kept(flags) ? kept_text_check(ctx, dst) : 0;
  }
  int32_t rc = enc_convert_in(ctx, ctx->session_encoding, src, dst, max);
  // Only a refused or replaced character depends on the options; any other
  // failure is a failure whatever they say.
  if (rc == kErrInvalidChar) rc = refused_or_replaced(ctx);
  if (rc >= 0 && (flags & kStrioValue) != 0) note_input_cut(ctx, src, dst, max);
  if (rc >= 0 && kept(flags)) {
    size_t len = 0;
    if (const int64_t whole = converted_cut_whole(ctx, src, dst, max, &len); whole != 0) {
      return kept_too_long(ctx, dst, max, whole);
    }
    if (int32_t refused = kept_text_check(ctx, dst); refused < 0) return refused;
  }
  return rc;
}

int32_t strio_convert_out(context* ctx, const char* src, char* dst, uint32_t max, uint32_t flags,
                          uint64_t whole = 0) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (src == nullptr || dst == nullptr) return kErrInvalidArg;
  if ((flags & kStrioConvert) == 0) {
    // Internal UTF-8 text: one terminator byte, not the session's (a
    // UCS-2 session's two would land past a buffer sized max + 1).
    copy_bounded(src, dst, max);
    return 0;
  }
  int32_t rc = enc_convert_out(ctx, ctx->session_encoding, src, dst, max);
  if (rc == kErrInvalidChar) rc = refused_or_replaced(ctx);
  if (rc >= 0) note_output_cut(ctx, conversion_flags(ctx, &kEncodingTable[ctx->session_encoding]), src, max, whole);
  return rc;
}

}  // namespace

int32_t enc_id_get_by_name(const char* name, int32_t* id) {
  if (name == nullptr) return -1;
  for (const encoding_row& row : kEncodingTable) {
    if (std::strcmp(row.name, name) == 0) {
      if (id != nullptr) *id = row.id;
      return 0;
    }
  }
  return -1;
}

int32_t enc_name_get_by_id(int32_t id, char* out, uint32_t size) {
  if (!enc_id_is_known(id) || out == nullptr || size == 0) return -1;
  // Row names are ASCII, so any byte is a character boundary.
  size_t n = std::min<size_t>({std::strlen(kEncodingTable[id].name), kEncodingNameMax, size - 1});
  std::memcpy(out, kEncodingTable[id].name, n);
  out[n] = '\0';
  return 0;
}

int32_t enc_id_is_known(int32_t id) { return id >= 0 && id < kEncodingCount ? 1 : 0; }

int32_t enc_char_size_min(context* ctx, int32_t encoding, uint32_t* out) {
  const encoding_row* row = nullptr;
  if (int32_t rc = usable_row(ctx, encoding, &row); rc != 0) return rc;
  int32_t n = np_uchar_chsize_min(static_cast<uint32_t>(row->charset));
  if (n <= 0) return library_failed(ctx, encoding);
  if (out != nullptr) *out = static_cast<uint32_t>(n);
  return 0;
}

int32_t enc_convert_in(context* ctx, int32_t encoding, const char* src, char* dst, uint32_t max) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (src == nullptr || dst == nullptr || max == UINT32_MAX) return kErrInvalidArg;
  const encoding_row* row = nullptr;
  if (int32_t rc = usable_row(ctx, encoding, &row); rc != 0) return rc;
  int32_t rc = np_uchar_encode(conversion_flags(ctx, row), src, dst, max + 1);
  if (rc < 0) return library_failed(ctx, encoding, rc);
  return rc == 0 ? 0 : kErrInvalidChar;
}

int32_t enc_convert_out(context* ctx, int32_t encoding, const char* src, char* dst, uint32_t max) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (src == nullptr || dst == nullptr) return kErrInvalidArg;
  uint32_t term = 0;
  if (enc_id_is_known(encoding) && kEncodingTable[encoding].charset >= 0) {
    // Every row converts: its terminator is known without asking the
    // character library on each call (a test holds the two equal).
    term = strio_char_size(encoding);
  } else if (int32_t rc = enc_char_size_min(ctx, encoding, &term); rc != 0) {
    return rc;
  }
  if (max > UINT32_MAX - term) return kErrInvalidArg;
  const encoding_row* row = &kEncodingTable[encoding];
  int32_t rc = np_uchar_decode(conversion_flags(ctx, row), src, dst, max + term);
  if (rc < 0) return library_failed(ctx, encoding, rc);
  return rc == 0 ? 0 : refused_or_replaced(ctx);
}

int32_t enc_char_code_point_get(uint8_t byte, int32_t encoding) {
  if (!enc_id_is_known(encoding) || kEncodingTable[encoding].charset < 0) return -1;
  // The byte with room for any terminator behind it (two zero bytes close a
  // UCS-2 text).
  const char src[4] = {static_cast<char>(byte), 0, 0, 0};
  char utf8[8] = {};
  const int32_t rc = np_uchar_encode(static_cast<uint32_t>(kEncodingTable[encoding].charset), src, utf8, sizeof utf8);
  // The charset's table not built for want of memory says nothing of the
  // byte: the call fails, as a container's growth does.
  if (rc == -2) throw std::bad_alloc();
  if (rc != 0) return -1;
  const char* cursor = utf8;
  int32_t code = 0;
  if (np_uchar_toint(&cursor, &code) < 0) return -1;
  return code;
}

// ---- Texts a file cannot hold ------------------------------------------------

bool text_flaw_find(const char* text, text_flaw* out) {
  if (text == nullptr) return false;
  const auto* u = reinterpret_cast<const unsigned char*>(text);
  uint32_t character = 0;
  for (size_t i = 0; u[i] != 0 && i < UINT32_MAX;) {
    ++character;
    if (u[i] < 0x80) {
      ++i;
      continue;
    }
    // Never reads past the terminator: a sequence it cuts short is a flaw.
    const char* cursor = text + i;
    int32_t code = 0;
    const int32_t took = np_uchar_toint(&cursor, &code);
    if (took < 0 || code == 0xFFFE || code == 0xFFFF || code >= 0x10FF00) {
      *out = text_flaw{took < 0 ? -1 : code, u[i], static_cast<uint32_t>(i), character};
      return true;
    }
    i += static_cast<size_t>(took);
  }
  return false;
}

text_flaw_words text_flaw_describe(const text_flaw& flaw) {
  text_flaw_words words{};
  if (flaw.code < 0) {
    std::snprintf(words.what, sizeof words.what, "the byte 0x%02X", static_cast<unsigned>(flaw.byte));
    words.why = "is not UTF-8";
    return words;
  }
  std::snprintf(words.what, sizeof words.what, "U+%04X", static_cast<unsigned>(flaw.code));
  words.why = flaw.code >= 0x10FF00 ? "knowledge-base files keep for the control bytes they carry"
                                    : "is not a character knowledge-base (XML) files can hold";
  return words;
}

// ---- Interface string layer --------------------------------------------------

const char* strio_bytes_word(uint64_t n) { return n == 1 ? "byte" : "bytes"; }

uint64_t strio_whole_known(const context* ctx, uint64_t whole) {
  return (ctx->cuts & (kCutInput | kCutInside)) != 0 ? kWholeUnknown : whole;
}

namespace {

// The one record of a cut inside an engine: with a limit (the engine's own
// length) the message names it.
void note_inside(context* ctx, const char* what, uint32_t limit, uint64_t kept, uint64_t whole) {
  if (ctx == nullptr) return;
  ctx->cuts |= kCutInside;
  const uint32_t k = clamp_u32(static_cast<int64_t>(std::min<uint64_t>(kept, UINT32_MAX)));
  const char* const call = call_name_of(ctx);
  if (whole > kept && whole != kWholeUnknown) {
    const uint32_t w = clamp_u32(static_cast<int64_t>(std::min<uint64_t>(whole, UINT32_MAX)));
    if (limit != 0) {
      TQ_REPORT(ctx, TQ_WARN_LIMIT_REACHED, 1924, call, what, limit, strio_bytes_word(limit), k,
                strio_bytes_word(k), w, strio_bytes_word(w));
    } else {
      TQ_REPORT(ctx, TQ_WARN_LIMIT_REACHED, 1922, call, what, k, strio_bytes_word(k), w, strio_bytes_word(w));
    }
  } else if (limit != 0) {
    TQ_REPORT(ctx, TQ_WARN_LIMIT_REACHED, 1925, call, what, limit, strio_bytes_word(limit), k, strio_bytes_word(k));
  } else {
    TQ_REPORT(ctx, TQ_WARN_LIMIT_REACHED, 1923, call, what, k, strio_bytes_word(k));
  }
}

}  // namespace

void strio_note_inside_cut(context* ctx, const char* what, uint64_t kept, uint64_t whole) {
  if (ctx != nullptr) note_inside(ctx, what, 0, kept, strio_whole_known(ctx, whole));
}

void strio_note_measured_cut(context* ctx, const char* what, uint32_t limit, uint64_t kept, uint64_t whole) {
  note_inside(ctx, what, limit, kept, whole);
}

uint32_t strio_copy_noted(context* ctx, const char* what, char* dst, const char* src, uint32_t size) {
  // Measured before the copy: dst may be src itself, cut in place.
  const size_t whole = src != nullptr && size > 0 && strnlen(src, size) == size ? std::strlen(src) : 0;
  const uint32_t n = np_uchar_bufcopy(dst, src, size);
  if (whole > n) strio_note_inside_cut(ctx, what, n, whole);
  return n;
}

int32_t strio_cuts_result(const context* ctx, int32_t rc) {
  if (rc < 0 || ctx->cuts == 0) return rc;
  if ((ctx->cuts & (kCutInput | kCutInside)) != 0) return rc_combine(TQ_WARN_LIMIT_REACHED, rc);
  return rc_combine(rc, TQ_WARN_LIMIT_REACHED);
}

int32_t strio_in(context* ctx, const char* src, char* dst, uint32_t max, uint32_t flags) {
  return strio_convert_in(ctx, src, dst, max, flags);
}

int32_t strio_in_whole(context* ctx, const char* src, std::string* out, uint32_t flags) {
  out->clear();
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  if (src == nullptr) return 0;
  size_t len = 0;
  if ((flags & kStrioConvert) != 0 && strio_terminator_size(ctx) == 2) {
    while (src[len] != '\0' || src[len + 1] != '\0') len += 2;
  } else {
    len = std::strlen(src);
  }
  // Every encoding turns one byte into at most three bytes of UTF-8
  // (a replaced character included), so nothing is ever cut.
  if (len > (UINT32_MAX - 8) / 3) return kErrInvalidArg;
  const auto max = static_cast<uint32_t>(len * 3 + 4);
  std::string buf(static_cast<size_t>(max) + 1, '\0');
  const int32_t rc = strio_convert_in(ctx, src, buf.data(), max, flags);
  if (rc >= 0) out->assign(buf.c_str());
  return rc;
}

int32_t strio_kept_length_check(context* ctx, const char* utf8, uint32_t max) {
  if (ctx == nullptr || utf8 == nullptr || strnlen(utf8, static_cast<size_t>(max) + 1) <= max) return 0;
  char none[1];
  return kept_too_long(ctx, none, max, static_cast<int64_t>(std::strlen(utf8)));
}

int32_t strio_kept_check(context* ctx, const char* src, uint32_t flags) {
  std::string converted;
  const int32_t rc = strio_in_whole(ctx, src, &converted, flags);
  return rc < 0 ? rc : 0;
}

int32_t strio_in_view(context* ctx, const char* src, char* dst, uint32_t max, uint32_t flags, const char** out) {
  *out = dst;
  // Only a text that is not kept is used where it lies: a kept one is
  // checked in its copy.
  if (ctx != nullptr && src != nullptr && dst != nullptr && !kept(flags) &&
      ((flags & kStrioConvert) == 0 || ctx->session_encoding == kEncodingUtf8) &&
      np_uchar_valid_length(src, max) >= 0) {
    *out = src;
    return 0;
  }
  return strio_convert_in(ctx, src, dst, max, flags);
}

int32_t strio_in_1024(context* ctx, const char* src, char* dst, uint32_t flags) {
  return strio_convert_in(ctx, src, dst, 1024, flags);
}

int32_t strio_in_4096(context* ctx, const char* src, char* dst, uint32_t flags) {
  return strio_convert_in(ctx, src, dst, 4096, flags);
}

int32_t strio_in_16384(context* ctx, const char* src, char* dst, uint32_t flags) {
  return strio_convert_in(ctx, src, dst, 16384, flags);
}

int32_t strio_out(context* ctx, const char* src, char* dst, uint32_t max, uint32_t flags) {
  return strio_convert_out(ctx, src, dst, max, flags);
}

int32_t strio_out_whole(context* ctx, const char* src, char* dst, uint32_t max, uint32_t flags, uint64_t whole) {
  return strio_convert_out(ctx, src, dst, max, flags, whole);
}

void strio_out_plan_make(context* ctx, uint32_t flags, strio_out_plan* plan) {
  *plan = strio_out_plan{ctx, flags, 0, 1, false};
  if (ctx == nullptr || (flags & kStrioConvert) == 0) return;
  const int32_t e = ctx->session_encoding;
  if (!enc_id_is_known(e) || kEncodingTable[e].charset < 0) return;
  plan->lib_flags = conversion_flags(ctx, &kEncodingTable[e]);
  plan->term = strio_char_size(e);
  plan->direct = true;
  plan->ascii_same = np_uchar_ascii_same(plan->lib_flags);
}

int32_t strio_out_planned(const strio_out_plan* plan, const char* src, char* dst, uint32_t max) {
  if (!plan->direct || src == nullptr || dst == nullptr || max > UINT32_MAX - plan->term) {
    return strio_out(plan->ctx, src, dst, max, plan->flags);
  }
  const int32_t rc = np_uchar_decode(plan->lib_flags, src, dst, max + plan->term);
  if (rc < 0) return library_failed(plan->ctx, plan->ctx->session_encoding, rc);
  const int32_t result = rc == 0 ? 0 : refused_or_replaced(plan->ctx);
  if (result >= 0) note_output_cut(plan->ctx, plan->lib_flags, src, max, 0);
  return result;
}

int32_t strio_out_1028(context* ctx, const char* src, char* dst, uint32_t flags) {
  return strio_convert_out(ctx, src, dst, 1028, flags);
}

int32_t strio_out_sized(context* ctx, const char* src, char* dst, uint32_t size, uint32_t flags) {
  const uint32_t term = strio_terminator_for(ctx, flags);
  if (size < term) return kErrInvalidArg;
  return strio_convert_out(ctx, src, dst, size - term, flags);
}

int32_t strio_out_4096(context* ctx, const char* src, char* dst, uint32_t flags) {
  return strio_convert_out(ctx, src, dst, 4096, flags);
}

int32_t strio_out_16384(context* ctx, const char* src, char* dst, uint32_t flags) {
  return strio_convert_out(ctx, src, dst, 16384, flags);
}

void strio_out_clear(context* ctx, char* out) { strio_out_clear_n(ctx, out, 4); }

void strio_out_clear_n(context* ctx, char* out, uint32_t size) {
  (void)ctx;
  if (out == nullptr) return;
  std::memset(out, 0, std::min<uint32_t>(size, 4));
}

int strio_is_empty(context* ctx, const char* text, uint32_t flags) {
  if (ctx == nullptr) return 0;
  if (text == nullptr) return 1;
  // Byte 0 is the terminator of every single-byte charset, EBCDIC included;
  // a UCS-2 text is empty only when its first unit is zero.
  if ((flags & kStrioConvert) != 0 && strio_terminator_size(ctx) == 2) return text[0] == 0 && text[1] == 0;
  return text[0] == 0;
}

uint32_t strio_terminator_size(const context* ctx) {
  if (ctx == nullptr) return 1;
  return strio_char_size(ctx->session_encoding);
}

uint32_t strio_char_size(int32_t encoding) { return encoding == kEncodingUcs2Be || encoding == kEncodingUcs2Le ? 2 : 1; }

// ---- Export implementations ----------------------------------------------------

int32_t session_encoding_get(context* ctx, uint32_t* enc) {
  *enc = static_cast<uint32_t>(ctx->session_encoding);
  return 0;
}

int32_t session_encoding_set(context* ctx, uint32_t enc) {
  // The frame records the generic message of the refusal.
  if (enc >= static_cast<uint32_t>(kEncodingCount)) return kErrInvalidArg;
  ctx->session_encoding = static_cast<int32_t>(enc);
  return 0;
}

int32_t session_encoding_name_get(context* ctx, char* name) {
  strio_out_clear(ctx, name);
  if (!enc_id_is_known(ctx->session_encoding)) return -1;
  return strio_out(ctx, kEncodingTable[ctx->session_encoding].name, name, kEncodingNameMax, kStrioConvert);
}

int32_t encoding_get_by_name(context* ctx, const char* name, uint32_t* enc) {
  char text[kEncodingNameMax + 1];
  int32_t rc = strio_in(ctx, name, text, kEncodingNameMax, kStrioConvert | kStrioUnkept);
  if (rc < 0) return rc;
  *enc = UINT32_MAX;
  int32_t id = -1;
  if (enc_id_get_by_name(text, &id) != 0) return -1;
  *enc = static_cast<uint32_t>(id);
  return rc;
}

}  // namespace tq

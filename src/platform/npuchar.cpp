#include "platform/npuchar.h"

#include <unicode/brkiter.h>
#include <unicode/casemap.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/npmem.h"
#include "platform/nputf8.h"

namespace tq {

namespace {

constexpr UChar32 kReplacement = 0xFFFD;

// ---- Single-byte charsets ---------------------------------------------------

struct charset_info {
  uint32_t charset;
  const char* icu_name;
};

// The single-byte charsets and the ICU converters their tables come from.
constexpr std::array<charset_info, 13> kSingleByte = {{
    {kNpCharsetIso8859_1, "ISO-8859-1"},
    {kNpCharsetIso8859_2, "ISO-8859-2"},
    {kNpCharsetIso8859_5, "ISO-8859-5"},
    {kNpCharsetIso8859_7, "ISO-8859-7"},
    {kNpCharsetIso8859_9, "ISO-8859-9"},
    {kNpCharsetIso8859_11, "ISO-8859-11"},
    {kNpCharsetIbm1047, "ibm-1047"},
    {kNpCharsetCp874, "windows-874"},
    {kNpCharsetCp1250, "windows-1250"},
    {kNpCharsetCp1251, "windows-1251"},
    {kNpCharsetCp1252, "windows-1252"},
    {kNpCharsetCp1253, "windows-1253"},
    {kNpCharsetCp1254, "windows-1254"},
}};

// Byte <-> code point tables of one single-byte charset. Only round-trip
// mappings are used (never ICU's fallbacks), so a text converted out and
// back in is unchanged whenever it converted without replacement.
//
// Beside the byte -> code point array and the sorted pairs that the
// character-at-a-time conversion searches, each table holds the two direct
// forms the fast conversions index: every byte's character already encoded in
// UTF-8, and a two-level array from code point to byte (pages of 256 code
// points of the BMP; page 0 of `pages` maps nothing), so that neither
// direction searches or decodes per character.
struct utf8_char {
  uint8_t length;  // 0: the byte has no character
  uint8_t bytes[3];
};

struct byte_table {
  bool ok = false;
  std::array<int32_t, 256> to_cp{};                  // -1: the byte has no character
  std::vector<std::pair<uint32_t, uint8_t>> from_cp;  // sorted by code point
  uint8_t replacement = 0x1A;                         // the charset's '?'
  bool ascii_same = false;                            // bytes 1..0x7F are U+0001..U+007F
  std::array<utf8_char, 256> to_utf8{};
  std::array<uint16_t, 256> page_of{};                // BMP page -> index into pages
  std::vector<std::array<uint8_t, 256>> pages;        // byte of a code point, 0 = none
};

// Charset code -> slot in kSingleByte, or -1; built at compile time.
constexpr uint32_t kCharsetCodes = 32;
constexpr std::array<int8_t, kCharsetCodes> kSlotOfCharset = [] {
  std::array<int8_t, kCharsetCodes> slots{};
  slots.fill(-1);
  for (size_t i = 0; i < kSingleByte.size(); ++i) slots[kSingleByte[i].charset] = static_cast<int8_t>(i);
  return slots;
}();

int single_byte_slot(uint32_t charset) { return charset < kCharsetCodes ? kSlotOfCharset[charset] : -1; }

struct icu_converter_closer {
  void operator()(UConverter* c) const { ucnv_close(c); }
};

// Fills a table from ICU's converter: 0, -2 when memory ran out (ICU's or
// the table's own), -3 when ICU cannot give the converter otherwise. Only
// ICU's own out-of-memory status is -2: a converter this ICU lacks (a build
// whose data leaves it out) fails the same way on every call, which is an
// encoding that cannot be converted, not a lack of memory.
int32_t build_table(const char* icu_name, byte_table* t) {
  UErrorCode err = U_ZERO_ERROR;
  std::unique_ptr<UConverter, icu_converter_closer> cnv(ucnv_open(icu_name, &err));
  if (U_FAILURE(err) || !cnv) return err == U_MEMORY_ALLOCATION_ERROR || U_SUCCESS(err) ? -2 : -3;
  ucnv_setToUCallBack(cnv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  if (U_FAILURE(err)) return err == U_MEMORY_ALLOCATION_ERROR ? -2 : -3;
  for (int b = 0; b < 256; ++b) {
    t->to_cp[b] = -1;
    char in = static_cast<char>(b);
    UChar out[4];
    err = U_ZERO_ERROR;
    ucnv_resetToUnicode(cnv.get());
    int32_t n = ucnv_toUChars(cnv.get(), out, 4, &in, 1, &err);
    // A byte the charset lacks stops the conversion; only a failure of
    // ICU itself fails the table, which a byte left out would change.
    if (err == U_MEMORY_ALLOCATION_ERROR) return -2;
    if (U_FAILURE(err) || n != 1 || U16_IS_SURROGATE(out[0])) continue;
    if (b != 0 && out[0] == 0) continue;
    t->to_cp[b] = out[0];
  }
  for (int b = 0; b < 256; ++b) {
    if (t->to_cp[b] >= 0) t->from_cp.emplace_back(static_cast<uint32_t>(t->to_cp[b]), static_cast<uint8_t>(b));
  }
  // When two bytes share a character, the lower byte is the one written.
  std::stable_sort(t->from_cp.begin(), t->from_cp.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
  auto last = std::unique(t->from_cp.begin(), t->from_cp.end(),
                          [](const auto& x, const auto& y) { return x.first == y.first; });
  t->from_cp.erase(last, t->from_cp.end());
  for (const auto& e : t->from_cp) {
    if (e.first == '?') t->replacement = e.second;
  }
  t->ascii_same = true;
  for (int b = 1; b < 0x80; ++b) {
    if (t->to_cp[b] != b) t->ascii_same = false;
  }
  for (int b = 0; b < 256; ++b) {
    utf8_char& u = t->to_utf8[b];
    // Byte 0 ends a text and is never converted as a character.
    if (b == 0 || t->to_cp[b] < 0) continue;
    int32_t n = 0;
    U8_APPEND_UNSAFE(u.bytes, n, t->to_cp[b]);
    u.length = static_cast<uint8_t>(n);
  }
  t->pages.emplace_back();
  t->pages[0].fill(0);
  // from_cp holds one byte per code point (the lowest), as the search finds.
  for (const auto& e : t->from_cp) {
    if (e.first == 0 || e.first > 0xFFFF) continue;
    uint16_t& page = t->page_of[e.first >> 8];
    if (page == 0) {
      page = static_cast<uint16_t>(t->pages.size());
      t->pages.emplace_back();
      t->pages.back().fill(0);
    }
    t->pages[page][e.first & 0xFF] = e.second;
  }
  t->ok = true;
  return 0;
}

// The tables of the single-byte charsets, each built on first use. They are
// constant-initialised at namespace scope, so reaching them needs no guard
// of a function's static; once built, a table is published through `ready`,
// so that every later conversion costs one atomic load. A table that could
// not be built (memory ran out) is not published: the next conversion
// builds it again, so one failure never leaves a charset failing for good.
constinit std::array<byte_table, kSingleByte.size()> tables;
constinit std::array<std::atomic<const byte_table*>, kSingleByte.size()> ready{};
constinit std::array<std::mutex, kSingleByte.size()> building;

// The built table of a slot, or NULL with *why -2 (out of memory) or -3.
const byte_table* table_for(int slot, int32_t* why) {
  const auto i = static_cast<size_t>(slot);
  if (const byte_table* t = ready[i].load(std::memory_order_acquire)) return t;
  std::lock_guard<std::mutex> lock(building[i]);
  if (const byte_table* t = ready[i].load(std::memory_order_relaxed)) return t;
  int32_t rc = -2;
  try {
    rc = build_table(kSingleByte[i].icu_name, &tables[i]);
  } catch (const std::bad_alloc&) {
    rc = -2;
  }
  if (rc != 0) {
    // Not published: nothing else reads the half-built table, which the
    // next attempt builds again from the start.
    tables[i] = byte_table{};
    *why = rc;
    return nullptr;
  }
  ready[i].store(&tables[i], std::memory_order_release);
  return &tables[i];
}

int32_t byte_for(const byte_table* t, UChar32 cp) {
  auto it = std::lower_bound(t->from_cp.begin(), t->from_cp.end(), static_cast<uint32_t>(cp),
                             [](const auto& e, uint32_t v) { return e.first < v; });
  if (it == t->from_cp.end() || it->first != static_cast<uint32_t>(cp)) return -1;
  return it->second;
}

// ---- Bounded output -----------------------------------------------------------

// Appends whole characters while they fit beside the terminator.
class bounded_out {
 public:
  bounded_out(char* dst, uint32_t size, uint32_t term) : dst_(dst), size_(size), term_(term) {}

  bool put(const uint8_t* bytes, uint32_t n) {
    if (size_ < term_ || n > size_ - term_ - len_) return false;
    std::memcpy(dst_ + len_, bytes, n);
    len_ += n;
    return true;
  }

  void finish() {
    uint32_t zeros = std::min(term_, size_ - len_);
    std::memset(dst_ + len_, 0, zeros);
  }

 private:
  char* dst_;
  uint32_t size_;
  uint32_t term_;
  uint32_t len_ = 0;
};

bool put_utf8(bounded_out* out, UChar32 cp) {
  uint8_t buf[U8_MAX_LENGTH];
  int32_t n = 0;
  U8_APPEND_UNSAFE(buf, n, cp);
  return out->put(buf, static_cast<uint32_t>(n));
}

bool put_ucs2(bounded_out* out, UChar32 cp, bool big_endian) {
  uint8_t hi = static_cast<uint8_t>((cp >> 8) & 0xFF);
  uint8_t lo = static_cast<uint8_t>(cp & 0xFF);
  uint8_t buf[2] = {big_endian ? hi : lo, big_endian ? lo : hi};
  return out->put(buf, 2);
}

enum class kind { utf8, ucs2_be, ucs2_le, single, unknown };

kind kind_of(uint32_t charset) {
  if (charset == kNpCharsetUtf8) return kind::utf8;
  if (charset == kNpCharsetUcs2Be) return kind::ucs2_be;
  if (charset == kNpCharsetUcs2Le) return kind::ucs2_le;
  if (single_byte_slot(charset) >= 0) return kind::single;
  return kind::unknown;
}

// Reads code points of a source text one at a time: the charset's
// characters, or -1 for one that cannot be converted (and is skipped).
class source_reader {
 public:
  source_reader(kind k, const char* src, const byte_table* table)
      : kind_(k), src_(reinterpret_cast<const uint8_t*>(src)), table_(table) {
    if (k == kind::utf8) len_ = static_cast<int32_t>(std::strlen(src));
  }

  // False at the terminator.
  bool next(UChar32* cp) {
    switch (kind_) {
      case kind::utf8: {
        if (pos_ >= len_) return false;
        U8_NEXT(src_, pos_, len_, *cp);
        if (*cp < 0) *cp = -1;
        return true;
      }
      case kind::ucs2_be:
      case kind::ucs2_le: {
        const uint8_t* p = src_ + pos_;
        uint32_t unit = kind_ == kind::ucs2_be ? (p[0] << 8) | p[1] : (p[1] << 8) | p[0];
        if (unit == 0) return false;
        pos_ += 2;
        *cp = U16_IS_SURROGATE(unit) ? -1 : static_cast<UChar32>(unit);
        return true;
      }
      case kind::single: {
        uint8_t b = src_[pos_];
        if (b == 0) return false;
        ++pos_;
        *cp = table_->to_cp[b];
        return true;
      }
      case kind::unknown:
        break;
    }
    return false;
  }

 private:
  kind kind_;
  const uint8_t* src_;
  const byte_table* table_;
  int32_t pos_ = 0;
  int32_t len_ = 0;
};

// Resolves the table of a single-byte charset; -2 when memory ran out
// building it, -3 when it cannot be built otherwise.
int32_t table_of(kind k, uint32_t charset, const byte_table** table) {
  *table = nullptr;
  if (k != kind::single) return 0;
  int32_t why = 0;
  *table = table_for(single_byte_slot(charset), &why);
  return *table != nullptr ? 0 : why;
}

}  // namespace

int32_t np_uchar_table_try(const char* icu_name) {
  if (icu_name == nullptr) return -3;
  try {
    byte_table t;
    return build_table(icu_name, &t);
  } catch (const std::bad_alloc&) {
    return -2;
  }
}

int32_t np_uchar_chsize_min(uint32_t flags) {
  switch (kind_of(flags & kNpCharsetMask)) {
    case kind::ucs2_be:
    case kind::ucs2_le:
      return 2;
    case kind::unknown:
      return -1;
    default:
      return 1;
  }
}

int32_t np_uchar_encode_reference(uint32_t flags, const char* src, char* dst, uint32_t size) {
  uint32_t charset = flags & kNpCharsetMask;
  kind k = kind_of(charset);
  if (k == kind::unknown || src == nullptr || dst == nullptr) return -1;
  const byte_table* table = nullptr;
  if (int32_t rc = table_of(k, charset, &table); rc != 0) return rc;
  bool strict = (flags & kNpUcharStrict) != 0;
  bounded_out out(dst, size, 1);
  source_reader in(k, src, table);
  int32_t result = 0;
  UChar32 cp = 0;
  while (in.next(&cp)) {
    if (cp < 0) {
      result = 1;
      if (strict) break;
      cp = kReplacement;
    }
    if (!put_utf8(&out, cp)) break;
  }
  out.finish();
  return result;
}

int32_t np_uchar_decode_reference(uint32_t flags, const char* src, char* dst, uint32_t size) {
  uint32_t charset = flags & kNpCharsetMask;
  kind k = kind_of(charset);
  if (k == kind::unknown || src == nullptr || dst == nullptr) return -1;
  const byte_table* table = nullptr;
  if (int32_t rc = table_of(k, charset, &table); rc != 0) return rc;
  bool strict = (flags & kNpUcharStrict) != 0;
  bool ucs2 = k == kind::ucs2_be || k == kind::ucs2_le;
  bounded_out out(dst, size, ucs2 ? 2 : 1);
  source_reader in(kind::utf8, src, nullptr);
  int32_t result = 0;
  UChar32 cp = 0;
  while (in.next(&cp)) {
    bool fits = true;
    switch (k) {
      case kind::utf8:
        if (cp < 0) {
          result = 1;
          if (strict) break;
          cp = kReplacement;
        }
        fits = put_utf8(&out, cp);
        break;
      case kind::ucs2_be:
      case kind::ucs2_le:
        if (cp < 0 || cp > 0xFFFF) {
          result = 1;
          if (strict) break;
          cp = kReplacement;
        }
        fits = put_ucs2(&out, cp, k == kind::ucs2_be);
        break;
      case kind::single: {
        int32_t b = cp < 0 ? -1 : byte_for(table, cp);
        if (b < 0) {
          result = 1;
          if (strict) break;
          b = table->replacement;
        }
        uint8_t byte = static_cast<uint8_t>(b);
        fits = out.put(&byte, 1);
        break;
      }
      case kind::unknown:
        break;
    }
    if ((result != 0 && strict) || !fits) break;
  }
  out.finish();
  return result;
}

namespace {

// The bytes of the whole converted text: the source read as the
// conversions read it, each character at its width in the target.
int64_t converted_length(kind from, const byte_table* table, kind to, const char* src) {
  source_reader in(from, src, table);
  int64_t n = 0;
  UChar32 cp = 0;
  while (in.next(&cp)) {
    switch (to) {
      case kind::utf8:
        n += cp < 0 ? U8_LENGTH(kReplacement) : U8_LENGTH(cp);
        break;
      case kind::ucs2_be:
      case kind::ucs2_le:
        n += 2;
        break;
      default:
        n += 1;
        break;
    }
  }
  return n;
}

}  // namespace

int64_t np_uchar_encode_length(uint32_t flags, const char* src) {
  const uint32_t charset = flags & kNpCharsetMask;
  const kind k = kind_of(charset);
  if (k == kind::unknown || src == nullptr) return -1;
  const byte_table* table = nullptr;
  if (table_of(k, charset, &table) != 0) return -1;
  return converted_length(k, table, kind::utf8, src);
}

int64_t np_uchar_decode_length(uint32_t flags, const char* src) {
  const uint32_t charset = flags & kNpCharsetMask;
  const kind k = kind_of(charset);
  if (k == kind::unknown || src == nullptr) return -1;
  const byte_table* table = nullptr;
  if (table_of(k, charset, &table) != 0) return -1;
  return converted_length(kind::utf8, nullptr, k, src);
}

// ---- Fast conversions ----------------------------------------------------------
//
// The same results as the character-at-a-time conversions above, byte for
// byte and code for code, for the paths every value takes: runs of ASCII are
// copied as they are, single-byte charsets go through their direct tables,
// and valid UTF-8 is copied rather than decoded and encoded again. As there,
// a character that cannot be converted is noted (result 1) before the check
// whether its replacement fits, and the first character that does not fit
// ends the text. UCS-2 keeps the general path.

namespace {

constexpr uint8_t kReplacementUtf8[3] = {0xEF, 0xBF, 0xBD};

// Output of `room` bytes of text (the terminator's byte kept apart).
struct fast_out {
  char* dst;
  uint32_t room;
  uint32_t len = 0;

  bool put(const uint8_t* bytes, uint32_t n) {
    if (n > room - len) return false;
    std::memcpy(dst + len, bytes, n);
    len += n;
    return true;
  }
  // Copies the run of ASCII at *s (one byte per character) and moves *s past
  // what it copied; false when the room ran out inside the run.
  bool put_run(const uint8_t** s) {
    const uint8_t* p = *s;
    while (*p != 0 && *p < 0x80) {
      if (len == room) {
        *s = p;
        return false;
      }
      dst[len++] = static_cast<char>(*p++);
    }
    *s = p;
    return true;
  }
};

fast_out make_out(char* dst, uint32_t size) { return fast_out{dst, size > 0 ? size - 1 : 0}; }

void finish(const fast_out& out, uint32_t size) {
  if (size > out.len) out.dst[out.len] = '\0';
}


// UTF-8 -> UTF-8: a valid character is copied; an ill-formed sequence (as
// U8_NEXT delimits it) is refused or becomes U+FFFD.
int32_t utf8_to_utf8(bool strict, const char* src, char* dst, uint32_t size) {
  const auto* s = reinterpret_cast<const uint8_t*>(src);
  fast_out out = make_out(dst, size);
  int32_t result = 0;
  int32_t pos = 0;
  while (s[pos] != 0) {
    if (s[pos] < 0x80) {
      const uint8_t* run = s + pos;
      const bool whole = out.put_run(&run);
      pos = static_cast<int32_t>(run - s);
      if (!whole) break;
      continue;
    }
    const int32_t start = pos;
    UChar32 cp = 0;
    U8_NEXT(s, pos, -1, cp);
    const uint8_t* bytes = s + start;
    auto n = static_cast<uint32_t>(pos - start);
    if (cp < 0) {
      result = 1;
      if (strict) break;
      bytes = kReplacementUtf8;
      n = 3;
    }
    if (!out.put(bytes, n)) break;
  }
  finish(out, size);
  return result;
}

int32_t single_to_utf8(const byte_table* t, bool strict, const char* src, char* dst, uint32_t size) {
  const auto* s = reinterpret_cast<const uint8_t*>(src);
  fast_out out = make_out(dst, size);
  int32_t result = 0;
  while (*s != 0) {
    if (*s < 0x80 && t->ascii_same) {
      if (!out.put_run(&s)) break;
      continue;
    }
    const utf8_char& c = t->to_utf8[*s];
    const uint8_t* bytes = c.bytes;
    uint32_t n = c.length;
    if (n == 0) {
      result = 1;
      if (strict) break;
      bytes = kReplacementUtf8;
      n = 3;
    }
    if (!out.put(bytes, n)) break;
    ++s;
  }
  finish(out, size);
  return result;
}

int32_t utf8_to_single(const byte_table* t, bool strict, const char* src, char* dst, uint32_t size) {
  const auto* s = reinterpret_cast<const uint8_t*>(src);
  fast_out out = make_out(dst, size);
  int32_t result = 0;
  int32_t pos = 0;
  while (s[pos] != 0) {
    if (s[pos] < 0x80 && t->ascii_same) {
      const uint8_t* run = s + pos;
      const bool whole = out.put_run(&run);
      pos = static_cast<int32_t>(run - s);
      if (!whole) break;
      continue;
    }
    UChar32 cp = 0;
    U8_NEXT(s, pos, -1, cp);
    int32_t b = 0;
    if (cp > 0 && cp <= 0xFFFF) b = t->pages[t->page_of[static_cast<uint32_t>(cp) >> 8]][cp & 0xFF];
    if (b == 0) {
      result = 1;
      if (strict) break;
      b = t->replacement;
    }
    const auto byte = static_cast<uint8_t>(b);
    if (!out.put(&byte, 1)) break;
  }
  finish(out, size);
  return result;
}

}  // namespace

int32_t np_uchar_encode(uint32_t flags, const char* src, char* dst, uint32_t size) {
  const uint32_t charset = flags & kNpCharsetMask;
  const bool strict = (flags & kNpUcharStrict) != 0;
  if (src != nullptr && dst != nullptr) {
    if (charset == kNpCharsetUtf8) return utf8_to_utf8(strict, src, dst, size);
    if (int slot = single_byte_slot(charset); slot >= 0) {
      int32_t why = 0;
      const byte_table* t = table_for(slot, &why);
      if (t == nullptr) return why;
      return single_to_utf8(t, strict, src, dst, size);
    }
  }
  return np_uchar_encode_reference(flags, src, dst, size);
}

int32_t np_uchar_decode(uint32_t flags, const char* src, char* dst, uint32_t size) {
  const uint32_t charset = flags & kNpCharsetMask;
  const bool strict = (flags & kNpUcharStrict) != 0;
  if (src != nullptr && dst != nullptr) {
    if (charset == kNpCharsetUtf8) return utf8_to_utf8(strict, src, dst, size);
    if (int slot = single_byte_slot(charset); slot >= 0) {
      int32_t why = 0;
      const byte_table* t = table_for(slot, &why);
      if (t == nullptr) return why;
      return utf8_to_single(t, strict, src, dst, size);
    }
  }
  return np_uchar_decode_reference(flags, src, dst, size);
}

bool np_uchar_ascii_same(uint32_t flags) {
  const uint32_t charset = flags & kNpCharsetMask;
  if (charset == kNpCharsetUtf8) return true;
  const int slot = single_byte_slot(charset);
  if (slot < 0) return false;
  int32_t why = 0;
  const byte_table* t = table_for(slot, &why);
  return t != nullptr && t->ascii_same;
}

int32_t np_uchar_valid_length(const char* text, uint32_t max) {
  if (text == nullptr) return -1;
  const auto* s = reinterpret_cast<const uint8_t*>(text);
  int32_t pos = 0;
  while (s[pos] != 0) {
    if (static_cast<uint32_t>(pos) >= max) return -1;
    if (s[pos] < 0x80) {
      // A run of ASCII up to the limit: one bound and one range test a byte.
      const uint32_t limit = max;
      uint32_t p = static_cast<uint32_t>(pos) + 1;
      while (p < limit && static_cast<uint8_t>(s[p] - 1) < 0x7F) ++p;
      pos = static_cast<int32_t>(p);
      continue;
    }
    UChar32 cp = 0;
    U8_NEXT(s, pos, -1, cp);
    if (cp < 0 || static_cast<uint32_t>(pos) > max) return -1;
  }
  return pos;
}

// ---- Case mapping ---------------------------------------------------------------

// The word-break iterators title casing reuses, one per language slot: an
// iterator holds the state of the text it walks, so it belongs to one
// caller (a context) and is never shared between threads. One that could
// not be made stays NULL and is made again on the next call.
struct np_case_cache {
  icu::BreakIterator* title[4];  // none, "tr", "az", "lt"
};

void np_case_cache_free(np_case_cache* cache) noexcept {
  if (cache == nullptr) return;
  for (icu::BreakIterator* it : cache->title) delete it;
  np_free(cache);
}

namespace {

int special_slot(const char* lang) {
  if (lang == nullptr || lang[0] == '\0') return 0;
  if (std::strcmp(lang, "tr") == 0) return 1;
  if (std::strcmp(lang, "az") == 0) return 2;
  if (std::strcmp(lang, "lt") == 0) return 3;
  return -1;
}

// The language ICU is told: never NULL, which would make ICU look up the
// process's default locale (a lookup that itself fails when memory is
// short, and whose answer would differ from one machine to the next).
const char* case_locale(const char* lang) { return lang != nullptr ? lang : ""; }

// -2 for ICU's out of memory, else -3.
int32_t case_failure(UErrorCode err) { return err == U_MEMORY_ALLOCATION_ERROR ? -2 : -3; }

// A word-break iterator for title casing in the language; NULL with *err
// set when it cannot be made. The root locale is named, never "", for
// which ICU may fall back on the default locale.
icu::BreakIterator* title_iterator_make(const char* lang, UErrorCode* err) {
  const icu::Locale locale(lang == nullptr || lang[0] == '\0' ? "root" : lang);
  if (locale.isBogus()) {
    *err = U_MEMORY_ALLOCATION_ERROR;
    return nullptr;
  }
  icu::BreakIterator* it = icu::BreakIterator::createWordInstance(locale, *err);
  if (U_FAILURE(*err)) {
    delete it;
    return nullptr;
  }
  if (it == nullptr) *err = U_MEMORY_ALLOCATION_ERROR;
  return it;
}

// The iterator title casing in `lang` uses: the cache's (made on first use)
// when there is a cache and the language has a slot, else one made for the
// call and kept in `owned`. NULL with *err set when it cannot be made.
icu::BreakIterator* title_iterator(const char* lang, np_case_cache** cache,
                                   std::unique_ptr<icu::BreakIterator>* owned, UErrorCode* err) {
  const int slot = special_slot(lang);
  if (slot < 0 || cache == nullptr) {
    owned->reset(title_iterator_make(lang, err));
    return owned->get();
  }
  if (*cache == nullptr) {
    *cache = static_cast<np_case_cache*>(np_calloc(1, sizeof(np_case_cache)));
    if (*cache == nullptr) {
      *err = U_MEMORY_ALLOCATION_ERROR;
      return nullptr;
    }
  }
  icu::BreakIterator*& it = (*cache)->title[slot];
  if (it == nullptr) it = title_iterator_make(lang, err);
  return it;
}

enum class case_op { upper, lower, title };

// Title casing through UTF-16: the UTF-8 form opens a UText on the heap at
// every call, the UTF-16 form keeps it on the stack, so a warm engine
// title-cases without allocating. The two forms give the same text
// for well-formed input; an ill-formed text (which UTF-16 cannot hold as
// it is) and a text too long for the stack buffers take the UTF-8 form.
constexpr int32_t kTitleUnits = 2048;
// A character title- or lowercases to at most three.
constexpr int32_t kTitleOutUnits = kTitleUnits * 3;

int32_t title_utf8(const char* lang, icu::BreakIterator* it, char* dst, int32_t cap, const char* src, int32_t len,
                   UErrorCode* err) {
  if (len <= kTitleUnits) {
    UChar in16[kTitleUnits];
    int32_t n16 = 0;
    UErrorCode e = U_ZERO_ERROR;
    u_strFromUTF8(in16, kTitleUnits, &n16, src, len, &e);
    if (U_SUCCESS(e) && n16 <= kTitleUnits) {
      UChar out16[kTitleOutUnits];
      const int32_t t16 = icu::CaseMap::toTitle(lang, 0, it, in16, n16, out16, kTitleOutUnits, nullptr, e);
      if (e == U_MEMORY_ALLOCATION_ERROR) {
        *err = e;
        return 0;
      }
      if (U_SUCCESS(e) && t16 <= kTitleOutUnits) {
        int32_t n8 = 0;
        u_strToUTF8(dst, cap, &n8, out16, t16, err);
        return n8;
      }
    }
  }
  return icu::CaseMap::utf8ToTitle(lang, 0, it, src, len, dst, cap, nullptr, *err);
}

// Upper- and lowercasing need no state: ICU maps them from the language
// alone, without allocating.
int32_t run_case_map(case_op op, const char* lang, icu::BreakIterator* it, char* dst, int32_t cap,
                     const char* src, int32_t len, UErrorCode* err) {
  switch (op) {
    case case_op::upper:
      return icu::CaseMap::utf8ToUpper(lang, 0, src, len, dst, cap, nullptr, *err);
    case case_op::lower:
      return icu::CaseMap::utf8ToLower(lang, 0, src, len, dst, cap, nullptr, *err);
    case case_op::title:
      return title_utf8(lang, it, dst, cap, src, len, err);
  }
  return 0;
}

bool overlaps(const char* a, size_t a_len, const char* b, size_t b_len) {
  const auto x = reinterpret_cast<uintptr_t>(a);
  const auto y = reinterpret_cast<uintptr_t>(b);
  return x < y + b_len && y < x + a_len;
}

int32_t case_text(case_op op, const char* src, int32_t src_len, char* dst, uint32_t size, const char* lang,
                  uint32_t* full_len, np_case_cache** cache) {
  if (full_len != nullptr) *full_len = 0;
  if (src == nullptr || dst == nullptr || size == 0) return -1;
  if (src_len < 0) src_len = static_cast<int32_t>(std::strlen(src));
  UErrorCode err = U_ZERO_ERROR;
  const char* locale = case_locale(lang);
  std::unique_ptr<icu::BreakIterator> owned;
  icu::BreakIterator* it = nullptr;
  if (op == case_op::title) {
    it = title_iterator(lang, cache, &owned, &err);
    if (it == nullptr) {
      dst[0] = '\0';
      return case_failure(err);
    }
  }
  const auto cap = static_cast<int32_t>(std::min<uint32_t>(size, INT32_MAX));
  if (!overlaps(src, static_cast<size_t>(src_len) + 1, dst, size)) {
    // Straight into dst when the whole cased text fits with its terminator
    // (ICU terminates it then); otherwise it is built apart and cut.
    int32_t n = run_case_map(op, locale, it, dst, cap, src, src_len, &err);
    if (U_SUCCESS(err) && err != U_STRING_NOT_TERMINATED_WARNING && n >= 0 && n < cap) {
      if (full_len != nullptr) *full_len = static_cast<uint32_t>(n);
      return n;
    }
    if (err != U_BUFFER_OVERFLOW_ERROR && err != U_STRING_NOT_TERMINATED_WARNING) {
      dst[0] = '\0';
      return case_failure(err);
    }
    err = U_ZERO_ERROR;
  }
  // Case into a buffer of its own: the cased text can be longer than the
  // source (German sharp s, Turkish dotted capital I) and src may be dst.
  // Values of the engine's roads fit the one on the stack; only longer
  // texts take one from the heap.
  char local[4096];
  std::string grown;
  char* cased = local;
  int32_t room = static_cast<int32_t>(sizeof local);
  int32_t n = run_case_map(op, locale, it, cased, room, src, src_len, &err);
  if (err == U_BUFFER_OVERFLOW_ERROR || err == U_STRING_NOT_TERMINATED_WARNING) {
    err = U_ZERO_ERROR;
    grown.assign(static_cast<size_t>(n) + 1, '\0');
    cased = grown.data();
    room = static_cast<int32_t>(grown.size());
    n = run_case_map(op, locale, it, cased, room, src, src_len, &err);
  }
  if (U_FAILURE(err) || n < 0) {
    dst[0] = '\0';
    return case_failure(err);
  }
  if (full_len != nullptr) *full_len = static_cast<uint32_t>(n);
  size_t keep = static_cast<size_t>(n);
  if (keep > size - 1) keep = np_uchar_cut(cased, size - 1);
  std::memmove(dst, cased, keep);
  dst[keep] = '\0';
  return static_cast<int32_t>(keep);
}

// Full case mapping of the single character at *src.
int32_t case_char(bool upper, const char** src, char* dst, uint32_t size) {
  if (src == nullptr || *src == nullptr || dst == nullptr) return -1;
  const auto* s = reinterpret_cast<const uint8_t*>(*src);
  if (s[0] == 0) {
    if (size > 0) dst[0] = '\0';
    return 0;
  }
  int32_t len = 0;
  while (len < U8_MAX_LENGTH && s[len] != 0) ++len;
  int32_t pos = 0;
  UChar32 c = 0;
  U8_NEXT(s, pos, len, c);
  char mapped[64];
  int32_t n = 0;
  if (c < 0) {
    std::memcpy(mapped, s, static_cast<size_t>(pos));
    n = pos;
  } else {
    UChar in16[2];
    int32_t in_len = 0;
    U16_APPEND_UNSAFE(in16, in_len, c);
    UChar out16[16];
    UErrorCode err = U_ZERO_ERROR;
    int32_t out_len = upper ? u_strToUpper(out16, 16, in16, in_len, "", &err)
                            : u_strToLower(out16, 16, in16, in_len, "", &err);
    if (U_FAILURE(err) || out_len > 16) return -1;
    err = U_ZERO_ERROR;
    u_strToUTF8(mapped, sizeof mapped, &n, out16, out_len, &err);
    if (U_FAILURE(err) || n >= static_cast<int32_t>(sizeof mapped)) return -1;
  }
  if (static_cast<uint32_t>(n) + 1 > size) return -1;
  std::memcpy(dst, mapped, static_cast<size_t>(n));
  dst[n] = '\0';
  *src += pos;
  return n;
}

// The full case folding of a UTF-8 text, one code point at a time, with no
// buffer beyond a character's folding: comparing two of these in code point
// order is comparing the folded texts. A malformed sequence reads as
// U+FFFD.
class fold_reader {
 public:
  explicit fold_reader(const char* text) : s_(reinterpret_cast<const uint8_t*>(text)) {}

  // False at the end of the text.
  bool next(UChar32* out) {
    if (at_ < held_) {
      U16_NEXT(folded_, at_, held_, *out);
      return true;
    }
    if (s_[pos_] == 0) return false;
    if (s_[pos_] < 0x80) {
      const UChar32 c = s_[pos_++];
      *out = c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
      return true;
    }
    UChar32 c = 0;
    U8_NEXT(s_, pos_, -1, c);
    if (c < 0) c = kReplacement;
    UChar one[2];
    int32_t n = 0;
    U16_APPEND_UNSAFE(one, n, c);
    UErrorCode err = U_ZERO_ERROR;
    held_ = u_strFoldCase(folded_, kFoldedMax, one, n, U_FOLD_CASE_DEFAULT, &err);
    if (U_FAILURE(err) || held_ <= 0 || held_ > kFoldedMax) {
      // Not expected (folding allocates nothing, and a character folds to
      // at most three): the character stands for itself.
      *out = c;
      held_ = at_ = 0;
      return true;
    }
    at_ = 0;
    U16_NEXT(folded_, at_, held_, *out);
    return true;
  }

 private:
  static constexpr int32_t kFoldedMax = 8;
  const uint8_t* s_;
  int32_t pos_ = 0;
  UChar folded_[kFoldedMax] = {};
  int32_t held_ = 0;
  int32_t at_ = 0;
};

}  // namespace

int32_t np_uchar_icomp(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return (a == nullptr ? 0 : 1) - (b == nullptr ? 0 : 1);
  // While both texts are ASCII, folding is A-Z to a-z and the first
  // difference decides as it does after full folding; from a non-ASCII byte
  // on (which may fold to several characters) both texts are folded a
  // character at a time, with nothing allocated.
  size_t i = 0;
  for (;; ++i) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (x >= 0x80 || y >= 0x80) break;
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
  fold_reader fa(a + i);
  fold_reader fb(b + i);
  for (;;) {
    UChar32 x = 0;
    UChar32 y = 0;
    const bool more_a = fa.next(&x);
    const bool more_b = fb.next(&y);
    if (!more_a || !more_b) return static_cast<int32_t>(more_a) - static_cast<int32_t>(more_b);
    if (x != y) return x < y ? -1 : 1;
  }
}

int32_t np_uchar_isupper(const char* text) {
  if (text == nullptr || text[0] == '\0') return 0;
  const auto* s = reinterpret_cast<const uint8_t*>(text);
  int32_t len = 0;
  while (len < U8_MAX_LENGTH && s[len] != 0) ++len;
  int32_t pos = 0;
  UChar32 c = 0;
  U8_NEXT(s, pos, len, c);
  return c >= 0 && u_isupper(c) ? 1 : 0;
}

int32_t np_uchar_upper(const char** src, char* dst, uint32_t size) { return case_char(true, src, dst, size); }

int32_t np_uchar_lower(const char** src, char* dst, uint32_t size) { return case_char(false, src, dst, size); }

int32_t np_uchar_upper_cs(const char* src, char* dst, uint32_t size, const char* lang) {
  return case_text(case_op::upper, src, -1, dst, size, lang, nullptr, nullptr);
}

int32_t np_uchar_lower_cs(const char* src, char* dst, uint32_t size, const char* lang) {
  return case_text(case_op::lower, src, -1, dst, size, lang, nullptr, nullptr);
}

int32_t np_uchar_title_cs(const char* src, char* dst, uint32_t size, const char* lang) {
  return case_text(case_op::title, src, -1, dst, size, lang, nullptr, nullptr);
}

int32_t np_uchar_case_n(uint32_t op, const char* src, int32_t src_len, char* dst, uint32_t size, const char* lang,
                        uint32_t* full_len, np_case_cache** cache) {
  switch (op) {
    case kNpCaseUpper:
      return case_text(case_op::upper, src, src_len, dst, size, lang, full_len, cache);
    case kNpCaseLower:
      return case_text(case_op::lower, src, src_len, dst, size, lang, full_len, cache);
    case kNpCaseTitle:
      return case_text(case_op::title, src, src_len, dst, size, lang, full_len, cache);
    default:
      if (full_len != nullptr) *full_len = 0;
      return -1;
  }
}

}  // namespace tq

// ---- ICU's once-per-process set-ups ----------------------------------------------

namespace tq {

namespace {

constinit std::atomic<bool> g_icu_set_up{false};
// One first context at a time goes through the set-ups below, so that two
// made at once do not both build what a failed attempt left half made.
constinit std::mutex g_icu_setting_up;

// What ICU sets up once for the whole process, reached in the order the
// engines' first conversion and first title casing reach it: the default
// locale (which ICU's resource loading consults whatever locale it is
// given), the resource-bundle cache and break data (a word-break iterator
// of the root locale, as title casing makes), and the converter alias
// table (the table of ISO-8859-1, the session encoding a context starts
// with). 0, -2 when memory ran out, -3 when ICU failed otherwise.
//
// Only ICU's public interface is used, so every step runs under ICU's own
// locks. ICU makes its default locale under its lock from the system's
// locale name, which it first copies to the heap, once for the process. No
// public call makes that copy outside the lock: when that very allocation
// fails, ICU 72 asks for its default locale again while it holds the lock
// and waits on itself for ever. Nothing outside ICU can turn that into a
// failure; tq.h says so. Every later allocation of the set-up fails
// cleanly, as -2.
int32_t icu_set_up() {
  // ICU answers a reference to nothing when memory runs out while it makes
  // its default locale; read through a volatile pointer, the address is
  // looked at before anything reads through it.
  const icu::Locale* volatile made = &icu::Locale::getDefault();
  if (made == nullptr) return -2;
  UErrorCode err = U_ZERO_ERROR;
  const std::unique_ptr<icu::BreakIterator> words(title_iterator_make(nullptr, &err));
  if (words == nullptr) return case_failure(err);
  int32_t why = 0;
  if (table_for(single_byte_slot(kNpCharsetIso8859_1), &why) == nullptr) return why;
  return 0;
}

}  // namespace

int32_t np_uchar_process_set_up() noexcept {
  if (g_icu_set_up.load(std::memory_order_acquire)) return 0;
  const std::lock_guard<std::mutex> one_at_a_time(g_icu_setting_up);
  if (g_icu_set_up.load(std::memory_order_acquire)) return 0;
  int32_t rc = -2;
  try {
    rc = icu_set_up();
  } catch (const std::bad_alloc&) {
    rc = -2;
  }
  // Only a lack of memory is tried again: ICU without some data (-3) stays
  // without it, and the work that needs it answers so when asked.
  if (rc != -2) g_icu_set_up.store(true, std::memory_order_release);
  return rc;
}

}  // namespace tq

// The krxml reader: Expat events checked against the element table and
// turned into documents. Files are fed to Expat in large blocks, a vault
// file deciphered line by line into the block.
#include <expat.h>
#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krvlt.h"
#include "kbstore/krxml.h"
#include "kbstore/krxmlpriv.h"
#include "platform/npfio.h"
#include "platform/npmem.h"

namespace tq {

namespace {

// Nested documents (inline includes and referenced files together) deeper
// than this are refused: freeing, copying and writing walk them recursively.
constexpr int32_t kMaxNesting = 64;
// Records and columns reserved ahead from "length" and "width"; beyond this
// the table grows as records arrive, so a false count costs nothing.
constexpr int32_t kMaxReserve = 4096;
// Expat scans a token that a block leaves unfinished again from its start
// on every later block, so a fixed block would make a token of n bytes cost
// n * n / block. A block after which no handler ran (the text went into one
// unfinished token) is followed by one twice as large, one after which a
// handler ran by one half as large (down to the first size): a token is
// then scanned a small number of times whatever its length, the read stays
// linear, and the memory taken stays within a small multiple of the
// longest token. The first block stays small: a knowledge base is mostly
// small files, and a block of 64 KiB made each of their reads grow the heap
// and give it back (a locale load took 1.8 times as long).
constexpr uint32_t kBlockBytes = 16 * 1024;
constexpr uint32_t kBlockMostBytes = 1u << 30;
// Enciphered text read at a time from a vault file.
constexpr uint32_t kVaultReadBytes = 16 * 1024;

enum element_id : uint8_t {
  kNone = 0,
  kKrxml,
  kFile,
  kProperty,
  kInclude,
  kRef,
  kData,
  kLayout,
  kRecord,
  kColumn,
  kField,
  kValue,
  kElementCount
};

constexpr uint8_t kNoParent = 0xFF;

struct element_row {
  const char* name;
  uint8_t parent;
  uint8_t other_parent;  // kNoParent when only one
  uint8_t follows;       // the element it may follow (a chain), kNone when none
  bool repeatable;
};

constexpr element_row kElements[kElementCount] = {
    {"", kNoParent, kNoParent, kNone, false},
    {"krxml", kNone, kNoParent, kNone, false},
    {"file", kKrxml, kInclude, kNone, false},
    {"property", kFile, kNoParent, kNone, true},
    {"include", kFile, kNoParent, kProperty, true},
    {"ref", kInclude, kNoParent, kNone, false},
    {"data", kFile, kNoParent, kInclude, false},
    {"layout", kData, kNoParent, kNone, false},
    {"record", kData, kNoParent, kLayout, true},
    {"column", kLayout, kNoParent, kNone, true},
    {"field", kRecord, kNoParent, kNone, true},
    {"value", kRecord, kNoParent, kField, false},
};

constexpr const char* kColumnTypes[] = {"NULL", "string", "int"};

// Run for every start tag: the first letter tells the names apart but for
// two pairs, so at most two names are compared whole.
uint8_t element_lookup(const char* name) {
  for (uint8_t id = 1; id < kElementCount; ++id) {
    if (kElements[id].name[0] == name[0] && std::strcmp(kElements[id].name, name) == 0) return id;
  }
  return kNone;
}

struct open_element {
  uint8_t id;
  uint8_t last_child;  // the child that closed last, kNone before the first
};

// Whether an element may open here: after an earlier sibling it must repeat
// that sibling (when repeatable) or reach it by the may-follow chain; as
// the first child its parent must be the table's.
bool placement_ok(uint8_t id, const open_element& parent) {
  const element_row& row = kElements[id];
  if (parent.last_child != kNone) {
    if (parent.last_child == id) return row.repeatable;
    for (uint8_t f = row.follows; f != kNone; f = kElements[f].follows) {
      if (f == parent.last_child) return true;
    }
    return false;
  }
  return parent.id == row.parent || parent.id == row.other_parent;
}

// One `file` element being read.
struct read_level {
  xmldoc* doc = nullptr;
  int32_t length = 0;
  int32_t width = 0;
  xmldoc_include pending{};  // the include being read in this document
  bool in_include = false;
  char prop_name[kXmlNameSize] = {};
  uint32_t column_type = kXmlColString;
  int32_t record = -1;
  int32_t field_column = -1;
};

// A place in the document as Expat counts it: lines from 1, columns (in
// characters) from 0.
struct text_position {
  uint32_t line = 0;
  uint32_t column = 0;
};

// A reference Expat left unexpanded in content, handed to the default
// handler: in pieces when the document is converted, so it is read across
// calls.
struct open_reference {
  bool open = false;  // after its '&', before its ';'
  text_position at;   // of its '&'
  std::string name;   // so far
};

struct read_state {
  context* ctx = nullptr;
  const char* file = nullptr;  // as opened, for messages
  XML_Parser parser = nullptr;  // for the position of a failure
  uint32_t flags = 0;
  const xml_read_chain* chain = nullptr;  // this file's own link
  int32_t error = 0;
  std::string text;  // message text of the first error
  uint64_t events = 0;  // handlers run, for the size of the next block
  int32_t reach = 0;  // the deepest `file` met, referenced files' included
  // The internal general entities the document declares (name, replacement
  // text) and those whose texts were found to refer only to what is
  // defined: each is looked through once per read.
  std::unordered_map<std::string, std::string> entities;
  std::unordered_set<std::string> entities_checked;
  // The declared encoding is ISO-8859-1: the source's single bytes are
  // Latin-1 characters, not UTF-8.
  bool latin1 = false;
  // Within XML_ParseBuffer: a failure then also stops the parser.
  bool parsing = false;
  // The text of a start tag being taken from the default handler
  // (XML_DefaultCurrent), when set.
  std::string* capture = nullptr;
  open_reference unexpanded;
  // The name of the reference being read, and a name being looked up;
  // kept to reuse their room.
  std::string ref_name;
  std::string ref_lookup;
  std::vector<open_element> stack;
  std::vector<read_level> levels;
  std::string chars;
  xmldoc* result = nullptr;

  read_state() = default;
  read_state(const read_state&) = delete;
  read_state& operator=(const read_state&) = delete;
  ~read_state() {
    for (read_level& l : levels) {
      xml_free(ctx, l.pending.doc);
      std::free(l.pending.file_name);
      xml_free(ctx, l.doc);
    }
    xml_free(ctx, result);
  }
};

// Characters U+10FF00..U+10FFFF stand for bytes the format cannot carry:
// control characters come back as their byte, the rest of the range is
// dropped. A NUL cannot live inside a text and is dropped too.
std::string controls_restore(const char* s, size_t n) {
  std::string out;
  out.reserve(n);
  const auto* u = reinterpret_cast<const unsigned char*>(s);
  for (size_t i = 0; i < n;) {
    if (u[i] == 0xF4 && i + 3 < n && u[i + 1] == 0x8F && (u[i + 2] & 0xFC) == 0xBC && (u[i + 3] & 0xC0) == 0x80) {
      unsigned low = ((u[i + 2] & 0x03u) << 6) | (u[i + 3] & 0x3Fu);
      if ((low > 0 && low < 0x20) || low == 0x7F) out.push_back(static_cast<char>(low));
      i += 4;
      continue;
    }
    out.push_back(s[i]);
    ++i;
  }
  return out;
}

std::string controls_restore(const char* s) { return controls_restore(s, std::strlen(s)); }

const char* attribute(const XML_Char** atts, const char* name) {
  for (int i = 0; atts[i] != nullptr; i += 2) {
    if (std::strcmp(atts[i], name) == 0) return atts[i + 1];
  }
  return nullptr;
}

// What is wrong, in the words of the format.
const char* failure_reason(int32_t code) {
  switch (code) {
    case kXmlErrPlacement: return "element not expected here";
    case kXmlErrNoFile: return "krxml without a file element";
    case kXmlErrNoType: return "file without a type";
    case kXmlErrNoVersion: return "file without a version";
    case kXmlErrPropertyName: return "property without a name";
    case kXmlErrIncludeName: return "include without a name";
    case kXmlErrColumnType: return "unknown column type";
    case kXmlErrRecordCount: return "the records do not match the data length";
    case kXmlErrColumnCount: return "the columns do not match the layout width";
    case kXmlErrFieldColumn: return "field without a known column";
    case TQ_ERR_NO_MEMORY: return "out of memory";
    default: return "not a krxml document";
  }
}

// Stops the parse at the read's first failure: nothing after it changes
// the answer, and a document is not read on for nothing.
void parse_stop(read_state& st) noexcept {
  if (st.parsing && st.parser != nullptr) XML_StopParser(st.parser, XML_FALSE);
}

// Where the event being handled starts (for a reference an internal
// entity's text makes, the reference that brought the text).
text_position event_position(const read_state& st) {
  return {static_cast<uint32_t>(XML_GetCurrentLineNumber(st.parser)),
          static_cast<uint32_t>(XML_GetCurrentColumnNumber(st.parser))};
}

// Records the read's first failure. Called from Expat's handlers, through
// which nothing may be thrown: a message that cannot be made for want of
// memory leaves the code alone to tell.
void fail(read_state& st, int32_t code) noexcept {
  if (st.error != 0) return;
  st.error = code;
  parse_stop(st);
  uint32_t line = st.parser != nullptr ? static_cast<uint32_t>(XML_GetCurrentLineNumber(st.parser)) : 0;
  uint32_t column = st.parser != nullptr ? static_cast<uint32_t>(XML_GetCurrentColumnNumber(st.parser)) : 0;
  try {
    st.text = xml_read_error_text(st.file, line, column, failure_reason(code));
  } catch (const std::bad_alloc&) {
    st.text.clear();
  }
}

struct message_text {
  char text[kErrTextSize];
};

// Refuses a reference to an entity the document does not define, or to an
// external one, at the place of the reference in the document: Expat would
// read it as nothing, or refuse it without naming it.
void entity_fail(read_state& st, std::string_view name, text_position at) noexcept {
  if (st.error != 0) return;
  st.error = TQ_ERR_INVALID_CONTENT;
  parse_stop(st);
  try {
    auto m = std::make_unique<message_text>();
    err_text<2080>(m->text, st.file != nullptr ? st.file : "", at.line, at.column + 1, std::string(name).c_str());
    st.text = m->text;
  } catch (const std::bad_alloc&) {
    // The refusal cannot be told without its entity: out of memory.
    st.error = TQ_ERR_NO_MEMORY;
    st.text.clear();
  }
}

bool entity_predefined(std::string_view name) {
  return name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos";
}

// Whether a reference made where Expat expands entities itself (an
// attribute value or default, and the texts of the entities these name)
// reads as written: a character reference, a predefined entity, or an
// internal entity of the document whose own text refers only to such.
// Otherwise *refused is the first name, in the order Expat meets them,
// that does not. Each entity's text is looked through once per read, by a
// list of places rather than a recursion (a chain of entities may be
// long), so nested entities cost what their declarations take however
// often they are used, and nothing grows with the references made.
bool reference_ok(read_state& st, std::string_view name, std::string_view* refused) {
  struct place {
    const std::string* text;
    size_t at;
  };
  std::vector<place> places;
  std::string_view next = name;
  for (;;) {
    if ((next.empty() || next[0] != '#') && !entity_predefined(next)) {
      st.ref_lookup.assign(next);
      if (st.entities_checked.count(st.ref_lookup) == 0) {
        auto it = st.entities.find(st.ref_lookup);
        if (it == st.entities.end()) {
          *refused = next;
          return false;
        }
        st.entities_checked.insert(it->first);
        places.push_back(place{&it->second, 0});
      }
    }
    // The next reference of the innermost text not yet looked through.
    for (;;) {
      if (places.empty()) return true;
      place& p = places.back();
      size_t amp = p.text->find('&', p.at);
      size_t semi = amp == std::string::npos ? amp : p.text->find(';', amp);
      if (semi == std::string::npos) {
        places.pop_back();
        continue;
      }
      next = std::string_view(*p.text).substr(amp + 1, semi - amp - 1);
      p.at = semi + 1;
      break;
    }
  }
}

// The forms in which Expat reads a document's bytes.
enum class text_form : uint8_t { kUtf8, kLatin1, kUtf16Le, kUtf16Be };

// Reads the characters of a text in one of those forms. Expat has checked
// the text before any handler sees it; a character cut short by the end
// ends it.
struct char_reader {
  const unsigned char* p;
  size_t n;
  text_form form;
  size_t at = 0;

  int32_t unit16(size_t i) const {
    return form == text_form::kUtf16Le ? p[i] | (p[i + 1] << 8) : (p[i] << 8) | p[i + 1];
  }
  // The next character, -1 at the end.
  int32_t next() {
    if (at >= n) return -1;
    if (form == text_form::kLatin1) return p[at++];
    if (form == text_form::kUtf8) {
      const uint32_t c = p[at];
      const size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      if (n - at < len) {
        at = n;
        return -1;
      }
      int32_t cp = static_cast<int32_t>(len == 1 ? c : len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07);
      for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (p[at + k] & 0x3F);
      at += len;
      return cp;
    }
    if (n - at < 2) {
      at = n;
      return -1;
    }
    int32_t u = unit16(at);
    at += 2;
    if (u >= 0xD800 && u < 0xDC00 && n - at >= 2) {
      int32_t low = unit16(at);
      if (low >= 0xDC00 && low < 0xE000) {
        at += 2;
        return 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
      }
    }
    return u;
  }
  // Bytes a character of the form takes at least.
  size_t unit() const { return form == text_form::kUtf16Le || form == text_form::kUtf16Be ? 2 : 1; }
  // Where the next ASCII character `c` is from `from` (a character's
  // start) before `end`, or `end`. An ASCII character is a byte, or a
  // 16-bit unit, of its own in every form, never a part of another
  // character, so it is looked for without reading the characters.
  size_t find(char c, size_t from, size_t end) const {
    if (unit() == 1) {
      const void* hit = std::memchr(p + from, c, end - from);
      return hit != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(hit) - p) : end;
    }
    for (size_t i = from; i + 1 < end; i += 2) {
      if (unit16(i) == c) return i;
    }
    return end;
  }
};

// A text in UTF-8, as Expat hands texts to the handlers.
char_reader utf8_reader(const std::string& text) {
  return char_reader{reinterpret_cast<const unsigned char*>(text.data()), text.size(), text_form::kUtf8};
}

void utf8_append(std::string& out, int32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// The source text of the event being handled (or of the one Expat refused)
// as Expat holds it, from the event's start to the end of what it was
// given: a token is always whole there. Its form follows from its first
// character, which is markup ('<', '&' or a quote): a NUL byte beside it
// tells UTF-16 and its order; single bytes are Latin-1 when the document
// declares so. False when Expat keeps no input (built without
// XML_CONTEXT_BYTES).
bool event_source(const read_state& st, char_reader* out) {
  int offset = 0;
  int size = 0;
  const char* buffer = XML_GetInputContext(st.parser, &offset, &size);
  if (buffer == nullptr || offset < 0 || offset >= size) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(buffer) + offset;
  const size_t n = static_cast<size_t>(size - offset);
  text_form form = st.latin1 ? text_form::kLatin1 : text_form::kUtf8;
  if (n >= 2 && p[0] == 0) form = text_form::kUtf16Be;
  else if (n >= 2 && p[1] == 0) form = text_form::kUtf16Le;
  *out = char_reader{p, n, form};
  return true;
}

// Where the character at `offset` of a text that starts at `at` stands,
// counted as Expat counts: a character is a column, and CR, LF and CR LF
// each end a line.
text_position position_in(char_reader text, size_t offset, text_position at) {
  text.at = 0;
  bool after_cr = false;
  while (text.at < offset) {
    int32_t c = text.next();
    if (c < 0) break;
    if (c == '\n' && after_cr) {
      after_cr = false;
      continue;
    }
    after_cr = c == '\r';
    if (c == '\r' || c == '\n') {
      ++at.line;
      at.column = 0;
    } else {
      ++at.column;
    }
  }
  return at;
}

// Where the token at the text's start ends, for the tokens whose
// references Expat expands itself: a start tag (at its '>' outside quoted
// values), an attribute default's literal (at its closing quote) or a
// reference (at its ';'); 0 for any other. A token cut short ends with the
// text.
size_t token_extent(char_reader text) {
  text.at = 0;
  const int32_t first = text.next();
  if (first == '"' || first == '\'' || first == '&') {
    const size_t close = text.find(first == '&' ? ';' : static_cast<char>(first), text.at, text.n);
    return close < text.n ? close + text.unit() : text.n;
  }
  if (first != '<') return 0;
  for (;;) {
    const int32_t c = text.next();
    if (c < 0 || c == '>') return text.at;
    if (c == '"' || c == '\'') {
      const size_t close = text.find(static_cast<char>(c), text.at, text.n);
      text.at = close < text.n ? close + text.unit() : text.n;
    }
  }
}

// Checks each reference of one token of markup whose references Expat
// expands itself (a start tag, in its attribute values; an attribute
// default's literal; a reference), the text being that token alone as
// Expat tokenized it: every '&' in it then opens a reference (a tag holds
// none outside its values), met in Expat's order. A token of the document
// itself names the place of each reference; one from an internal entity's
// text names the place of the reference that brought it. The place is
// asked of Expat only for a refusal: Expat counts the lines of the text
// since the place asked last, which for every tag would read the whole
// document again.
void references_check(read_state& st, char_reader text, bool own_place) {
  std::string& name = st.ref_name;
  text.at = 0;
  for (;;) {
    text.at = text.find('&', text.at, text.n);
    const size_t start = text.at;
    if (text.next() < 0) return;
    name.clear();
    int32_t c = text.next();
    for (; c >= 0 && c != ';'; c = text.next()) utf8_append(name, c);
    if (c < 0) return;
    std::string_view refused;
    if (!reference_ok(st, name, &refused)) {
      const text_position at = event_position(st);
      return entity_fail(st, refused, own_place ? position_in(text, start, at) : at);
    }
  }
}

// Checks the token at the text's start (see token_extent).
void token_check(read_state& st, char_reader text, bool own_place) {
  text.n = token_extent(text);
  references_check(st, text, own_place);
}

// The markup of the current event as XML_DefaultCurrent gives it, in
// UTF-8: within an internal entity's text, the token of the innermost
// entity open.
std::string current_markup(read_state& st) {
  std::string markup;
  st.capture = &markup;
  XML_DefaultCurrent(st.parser);
  st.capture = nullptr;
  return markup;
}

// Checks the references of the start tag being handled: Expat reads a
// reference to an undefined entity in an attribute value as nothing when
// the document names an external DTD (as every written file does). A tag
// of the document is read from Expat's input, as many bytes as Expat took
// for the event; one an internal entity's text brings comes whole, in
// UTF-8, from XML_DefaultCurrent. Most tags hold no reference: one without
// a byte 0x26 is passed on that alone, for a '&' holds that byte in every
// form the reader takes (UTF-8, Latin-1, UTF-16 in either order).
void start_tag_check(read_state& st) {
  char_reader source{};
  if (event_source(st, &source)) {
    char_reader probe = source;
    if (probe.next() == '<') {
      const int bytes = XML_GetCurrentByteCount(st.parser);
      source.n = bytes > 0 && static_cast<size_t>(bytes) <= source.n ? static_cast<size_t>(bytes)
                                                                      : token_extent(source);
      if (std::memchr(source.p, '&', source.n) == nullptr) return;
      return references_check(st, source, true);
    }
  }
  const std::string tag = current_markup(st);
  if (tag.find('&') == std::string::npos) return;
  references_check(st, utf8_reader(tag), false);
}

// Expat refuses some references by itself (in a document without an
// external DTD, or one that says it is standalone: an undefined entity;
// anywhere: an external or unparsed entity in an attribute value) without
// naming the entity. The token it refused is where it stopped: a start
// tag, an attribute default or a reference, in the document or in the
// text of an internal entity that a reference brought. Expat keeps that
// token: in an entity's text as the current markup of the innermost entity
// open (a failure closes none), in the document at the event's start (the
// current markup is then empty, for the failed event ends where it
// starts). Checked as a handler would have checked it, the refusal gets
// the same answer.
void refusal_name(read_state& st, XML_Error code) {
  if (code != XML_ERROR_UNDEFINED_ENTITY && code != XML_ERROR_ENTITY_DECLARED_IN_PE &&
      code != XML_ERROR_ATTRIBUTE_EXTERNAL_ENTITY_REF && code != XML_ERROR_BINARY_ENTITY_REF) {
    return;
  }
  try {
    const std::string inner = current_markup(st);
    if (!inner.empty()) return token_check(st, utf8_reader(inner), false);
    char_reader source{};
    if (event_source(st, &source)) token_check(st, source, true);
  } catch (const std::bad_alloc&) {
    fail(st, TQ_ERR_NO_MEMORY);
  }
}

// A count attribute: absent is 0; anything but a decimal number that fits
// is refused.
bool count_parse(const char* text, int32_t* out) {
  *out = 0;
  if (text == nullptr) return true;
  std::string t = controls_restore(text);
  if (t.empty()) return true;
  char* end = nullptr;
  long v = std::strtol(t.c_str(), &end, 10);
  if (*end != '\0' || v < 0 || v > INT32_MAX) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

// An "int" field: the leading number, signed; 0 when there is none. A
// number past the int32 range is no value the field can hold: false, and
// `digits` the number as the text writes it (never a nearer value the
// field could hold, which a range check would then take or name in its
// place).
bool int_parse(const std::string& t, int32_t* out, std::string_view* digits) {
  *out = 0;
  const char* text = t.c_str();
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text, &end, 10);
  if (errno != ERANGE && v >= INT32_MIN && v <= INT32_MAX) {
    *out = static_cast<int32_t>(v);
    return true;
  }
  const char* start = text;
  while (start < end && !(*start == '+' || *start == '-' || (*start >= '0' && *start <= '9'))) ++start;
  *digits = std::string_view(start, static_cast<size_t>(end - start));
  return false;
}

void referenced_read(read_state& st, read_level& level, const std::string& name);

void element_start(read_state& st, uint8_t id, const XML_Char** atts) {
  read_level* level = st.levels.empty() ? nullptr : &st.levels.back();
  xmldoc* doc = level != nullptr ? level->doc : nullptr;
  switch (id) {
    case kKrxml:
      return;
    case kFile: {
      int32_t depth = static_cast<int32_t>(st.levels.size()) + (st.chain != nullptr ? st.chain->depth : 0);
      if (depth >= kMaxNesting) return fail(st, kXmlErrPlacement);
      if (depth > st.reach) st.reach = depth;
      const char* type = attribute(atts, "type");
      const char* version = attribute(atts, "version");
      std::string t = controls_restore(type != nullptr ? type : "");
      std::string v = controls_restore(version != nullptr ? version : "");
      if (t.empty()) return fail(st, kXmlErrNoType);
      if (v.empty()) return fail(st, kXmlErrNoVersion);
      // The level first: its growth may throw, and the document is then
      // made straight into it, where the read's end frees it.
      st.levels.emplace_back();
      if (xmldoc_create(st.ctx, t.c_str(), v.c_str(), &st.levels.back().doc) != 0) return fail(st, TQ_ERR_NO_MEMORY);
      return;
    }
    case kProperty: {
      const char* name = attribute(atts, "name");
      std::string n = controls_restore(name != nullptr ? name : "");
      if (n.empty()) return fail(st, kXmlErrPropertyName);
      str_copy_bounded(level->prop_name, n.c_str(), kXmlNameSize);
      return;
    }
    case kInclude: {
      const char* name = attribute(atts, "name");
      std::string n = controls_restore(name != nullptr ? name : "");
      if (n.empty()) return fail(st, kXmlErrIncludeName);
      level->pending = xmldoc_include{};
      str_copy_bounded(level->pending.name, n.c_str(), kXmlNameSize);
      level->in_include = true;
      return;
    }
    case kRef:
      level->pending.kind = kXmlIncludeRef;
      return;
    case kData: {
      if (!count_parse(attribute(atts, "length"), &level->length)) return fail(st, kXmlErrRecordCount);
      int32_t reserve = level->length < kMaxReserve ? level->length : kMaxReserve;
      if (xml_record_reserve(doc, reserve) != 0) return fail(st, TQ_ERR_NO_MEMORY);
      return;
    }
    case kLayout:
      if (!count_parse(attribute(atts, "width"), &level->width)) return fail(st, kXmlErrColumnCount);
      return;
    case kColumn: {
      if (doc->column_count >= level->width) return fail(st, kXmlErrColumnCount);
      const char* type = attribute(atts, "type");
      std::string t = controls_restore(type != nullptr ? type : "string");
      uint32_t found = kXmlColNull;
      for (uint32_t k = 1; k < 3; ++k) {
        if (t == kColumnTypes[k]) found = k;
      }
      if (found == kXmlColNull) return fail(st, kXmlErrColumnType);
      level->column_type = found;
      return;
    }
    case kRecord: {
      if (doc->record_count >= level->length) return fail(st, kXmlErrRecordCount);
      const char* key = attribute(atts, "key");
      xmldoc_record rec{};
      rec.key = xml_pool_strdup(doc, controls_restore(key != nullptr ? key : "").c_str());
      if (rec.key == nullptr || xml_fields_default(doc, &rec.fields) != 0 ||
          xml_record_reserve(doc, doc->record_count + 1) != 0) {
        return fail(st, TQ_ERR_NO_MEMORY);
      }
      level->record = doc->record_count;
      doc->records[doc->record_count++] = rec;
      return;
    }
    case kField: {
      const char* column = attribute(atts, "column");
      if (column == nullptr) return fail(st, kXmlErrFieldColumn);
      int32_t c = -1;
      if (xmldoc_column_find(st.ctx, doc, controls_restore(column).c_str(), &c) != 0) {
        return fail(st, kXmlErrFieldColumn);
      }
      level->field_column = c;
      return;
    }
    case kValue:
    default:
      return;
  }
}

void element_end(read_state& st, uint8_t id) {
  read_level* level = st.levels.empty() ? nullptr : &st.levels.back();
  xmldoc* doc = level != nullptr ? level->doc : nullptr;
  switch (id) {
    case kKrxml:
      if (st.result == nullptr) fail(st, kXmlErrNoFile);
      return;
    case kFile: {
      xmldoc* done = level->doc;
      level->doc = nullptr;
      st.levels.pop_back();
      if (st.levels.empty()) {
        st.result = done;
      } else {
        read_level& outer = st.levels.back();
        outer.pending.kind = kXmlIncludeInline;
        outer.pending.doc = done;
      }
      return;
    }
    case kProperty:
      if (xml_prop_push(doc, level->prop_name, controls_restore(st.chars.data(), st.chars.size()).c_str()) != 0) {
        fail(st, TQ_ERR_NO_MEMORY);
      }
      return;
    case kInclude: {
      level->in_include = false;
      xmldoc_include inc = level->pending;
      level->pending = xmldoc_include{};
      if (inc.doc == nullptr) {  // neither a reference nor a document: dropped
        std::free(inc.file_name);
        return;
      }
      if (xml_include_push(doc, inc) != 0) {
        xml_free(st.ctx, inc.doc);
        std::free(inc.file_name);
        fail(st, TQ_ERR_NO_MEMORY);
      }
      return;
    }
    case kRef:
      referenced_read(st, *level, controls_restore(st.chars.data(), st.chars.size()));
      return;
    case kData:
      if (doc->record_count < level->length) fail(st, kXmlErrRecordCount);
      return;
    case kLayout:
      if (doc->column_count < level->width) fail(st, kXmlErrColumnCount);
      return;
    case kColumn: {
      std::string name = controls_restore(st.chars.data(), st.chars.size());
      if (xml_column_push(doc, name.c_str(), level->column_type) != 0) fail(st, TQ_ERR_NO_MEMORY);
      return;
    }
    case kRecord:
      level->record = -1;
      return;
    case kField: {
      xmldoc_field& f = doc->records[level->record].fields[level->field_column];
      std::string t = controls_restore(st.chars.data(), st.chars.size());
      if (f.type == kXmlColInt) {
        std::string_view digits;
        if (!int_parse(t, &f.number, &digits)) {
          // Kept as the file writes it, for the reader of what holds it to
          // refuse as a value out of the field's range, and for a write to
          // put back.
          f.type = kXmlColPast;
          if ((f.text = xml_pool_strndup(doc, digits.data(), digits.size())) == nullptr) {
            f.text = xml_empty_text();
            fail(st, TQ_ERR_NO_MEMORY);
          }
          doc->flags |= kXmlDocPast;
        }
      } else if (t.empty()) {
        f.text = xml_empty_text();
      } else if ((f.text = xml_pool_strndup(doc, t.data(), t.size())) == nullptr) {
        f.text = xml_empty_text();
        fail(st, TQ_ERR_NO_MEMORY);
      }
      level->field_column = -1;
      return;
    }
    case kValue: {
      std::string t = controls_restore(st.chars.data(), st.chars.size());
      char* v = xml_pool_strndup(doc, t.data(), t.size());
      if (v == nullptr) return fail(st, TQ_ERR_NO_MEMORY);
      doc->records[level->record].value = v;
      return;
    }
    default:
      return;
  }
}

void referenced_read(read_state& st, read_level& level, const std::string& name) {
  level.pending.kind = kXmlIncludeRef;
  level.pending.file_name = str_dup(name.c_str());
  if (level.pending.file_name == nullptr) return fail(st, TQ_ERR_NO_MEMORY);
  xmldoc* ref = nullptr;
  std::string text;
  int32_t reach = 0;
  int32_t rc = xml_read_file(st.ctx, name.c_str(), st.flags, st.chain, &ref, &text, nullptr, &reach);
  if (rc < 0) {
    // The referenced file's failure is the whole read's, with its text.
    st.error = rc;
    st.text = text;
    return parse_stop(st);
  }
  level.pending.doc = ref;
  if (reach > st.reach) st.reach = reach;
}

void XMLCALL on_start(void* user, const XML_Char* name, const XML_Char** atts) {
  auto& st = *static_cast<read_state*>(user);
  ++st.events;
  if (st.error != 0) return;
  try {
    if (atts[0] != nullptr) {
      start_tag_check(st);
      if (st.error != 0) return;
    }
    uint8_t id = element_lookup(name);
    if (id == kNone || !placement_ok(id, st.stack.back())) return fail(st, kXmlErrPlacement);
    st.stack.push_back(open_element{id, kNone});
    st.chars.clear();
    element_start(st, id, atts);
  } catch (const std::bad_alloc&) {
    fail(st, TQ_ERR_NO_MEMORY);
  }
}

void XMLCALL on_end(void* user, const XML_Char* name) {
  (void)name;
  auto& st = *static_cast<read_state*>(user);
  ++st.events;
  if (st.error != 0) return;
  try {
    uint8_t id = st.stack.back().id;
    element_end(st, id);
    st.stack.pop_back();
    st.stack.back().last_child = id;
    st.chars.clear();
  } catch (const std::bad_alloc&) {
    fail(st, TQ_ERR_NO_MEMORY);
  }
}

void XMLCALL on_chars(void* user, const XML_Char* s, int len) {
  auto& st = *static_cast<read_state*>(user);
  ++st.events;
  if (st.error != 0) return;
  try {
    st.chars.append(s, static_cast<size_t>(len));
  } catch (const std::bad_alloc&) {
    fail(st, TQ_ERR_NO_MEMORY);
  }
}

// Everything no other handler takes: the markup of declarations and the
// space between them, which the handlers below check where it matters;
// the text of a start tag asked for by start_tag_check; and in content the
// references Expat leaves unexpanded, to an external entity. Comments and
// processing instructions go to handlers of their own, so nothing else in
// content comes here. No entity is read from outside the document, and
// none may read as nothing: refused. A document in another encoding than
// UTF-8 comes converted, in pieces of Expat's choosing: a reference may
// end in a later call.
void XMLCALL on_default(void* user, const XML_Char* s, int len) {
  auto& st = *static_cast<read_state*>(user);
  ++st.events;
  if (st.error != 0 || len <= 0) return;
  try {
    if (st.capture != nullptr) return static_cast<void>(st.capture->append(s, static_cast<size_t>(len)));
    if (st.stack.size() <= 1) return;
    const char* end = s + len;
    while (s < end) {
      open_reference& ref = st.unexpanded;
      if (!ref.open) {
        const void* amp = std::memchr(s, '&', static_cast<size_t>(end - s));
        if (amp == nullptr) return;
        // A reference is a token of its own: its '&' starts the event.
        ref.open = true;
        ref.at = event_position(st);
        ref.name.clear();
        s = static_cast<const char*>(amp) + 1;
        continue;
      }
      const void* semi = std::memchr(s, ';', static_cast<size_t>(end - s));
      const char* stop = semi != nullptr ? static_cast<const char*>(semi) : end;
      ref.name.append(s, static_cast<size_t>(stop - s));
      if (semi == nullptr) return;
      ref.open = false;
      return entity_fail(st, ref.name, ref.at);
    }
  } catch (const std::bad_alloc&) {
    fail(st, TQ_ERR_NO_MEMORY);
  }
}

// A reference in content to an entity the document does not define (or
// declares after a part it never reads): Expat names it here when the
// document has an external DTD, and would read it as nothing.
void XMLCALL on_skipped_entity(void* user, const XML_Char* name, int is_parameter_entity) {
  auto& st = *static_cast<read_state*>(user);
  ++st.events;
  if (st.error != 0 || is_parameter_entity) return;
  entity_fail(st, name, event_position(st));
}

// An attribute default Expat keeps. It has dropped an undefined entity
// from the value as it does in a tag when the document names an external
// DTD, so the literal itself is checked. Expat gives the default with its
// position but not its text: that is its source (a literal is always in
// the document: parameter entities are never expanded).
void XMLCALL on_attlist_decl(void* user, const XML_Char* element, const XML_Char* name, const XML_Char* type,
                             const XML_Char* value, int required) {
  (void)element;
  (void)name;
  (void)type;
  (void)required;
  auto& st = *static_cast<read_state*>(user);
  ++st.events;
  if (st.error != 0 || value == nullptr) return;
  try {
    char_reader source{};
    // Without its source (an Expat built to keep none) the default cannot
    // be checked, and is refused rather than read unchecked.
    if (!event_source(st, &source)) return fail(st, kXmlErrSyntax);
    token_check(st, source, true);
  } catch (const std::bad_alloc&) {
    fail(st, TQ_ERR_NO_MEMORY);
  }
}

// The declaration says how single bytes read.
void XMLCALL on_xml_decl(void* user, const XML_Char* version, const XML_Char* encoding, int standalone) {
  (void)version;
  (void)standalone;
  auto& st = *static_cast<read_state*>(user);
  ++st.events;
  st.latin1 = encoding != nullptr && strcasecmp(encoding, "ISO-8859-1") == 0;
}

// Comments and processing instructions are no part of the document's text:
// set so that they never reach the default handler.
void XMLCALL on_comment(void* user, const XML_Char* text) {
  (void)text;
  ++static_cast<read_state*>(user)->events;
}

void XMLCALL on_instruction(void* user, const XML_Char* target, const XML_Char* data) {
  (void)target;
  (void)data;
  ++static_cast<read_state*>(user)->events;
}

// Internal general entities are kept to check the references made in
// attribute values; the others (parameter entities, external ones) are not
// the document's own text.
void XMLCALL on_entity_decl(void* user, const XML_Char* name, int is_parameter_entity, const XML_Char* value,
                            int value_length, const XML_Char* base, const XML_Char* system_id,
                            const XML_Char* public_id, const XML_Char* notation) {
  (void)base;
  (void)system_id;
  (void)public_id;
  (void)notation;
  auto& st = *static_cast<read_state*>(user);
  ++st.events;
  if (st.error != 0 || is_parameter_entity || value == nullptr) return;
  try {
    st.entities.emplace(name, std::string(value, static_cast<size_t>(value_length)));
  } catch (const std::bad_alloc&) {
    fail(st, TQ_ERR_NO_MEMORY);
  }
}

// The XML text of a file, a block at a time: a plain file as it is, a
// vault file deciphered line by line. A vault line is at most its first 72
// characters, its CR and LF and anything past character 72 dropped; each
// line is deciphered on its own, the keystream running on.
class text_source {
 public:
  text_source(fio_handle* fh, bool vault) : fh_(fh), vault_(vault) {
    if (vault_) {
      cipher_key_setup(&cipher_);
      raw_.resize(kVaultReadBytes);  // may throw: the caller's -600
    }
  }
  // Fills out (size bytes, at least a deciphered line's) with the next
  // text: the count, 0 at the end, negative when a read failed.
  int32_t fill(char* out, uint32_t size) {
    if (!vault_) {
      int32_t n = fio_read_block(fh_, out, size, &failure_);
      if (n > 0) any_ = true;
      return n;
    }
    uint32_t n = 0;
    while (size - n >= kCipherLineBytes) {
      char line[kCipherLineChars + 1];
      int32_t got = line_get(line);
      if (got < 0) return got;
      if (got == 0) break;
      char bytes[kCipherDecodedSize];
      int32_t count = cipher_line_decode(&cipher_, line, bytes);
      std::memcpy(out + n, bytes, static_cast<size_t>(count));
      n += static_cast<uint32_t>(count);
    }
    return static_cast<int32_t>(n);
  }
  // Whether the file held any byte at all.
  bool any() const { return any_; }
  // Why the last read failed, taken as it failed.
  const fio_failure& failure() const { return failure_; }

 private:
  // One line into line (kCipherLineChars + 1 bytes, terminated): 1, 0 at
  // the end, negative for a read failure.
  int32_t line_get(char* line) {
    uint32_t kept = 0;
    bool got = false;
    for (;;) {
      if (pos_ == len_) {
        if (ended_) break;
        int32_t n = fio_read_block(fh_, raw_.data(), static_cast<uint32_t>(raw_.size()), &failure_);
        if (n < 0) return n;
        if (n == 0) {
          ended_ = true;
          break;
        }
        any_ = true;
        pos_ = 0;
        len_ = static_cast<uint32_t>(n);
      }
      got = true;
      const char* from = raw_.data() + pos_;
      const auto* nl = static_cast<const char*>(std::memchr(from, '\n', len_ - pos_));
      const char* stop = nl != nullptr ? nl : raw_.data() + len_;
      for (const char* c = from; c < stop && kept < kCipherLineChars; ++c) {
        if (*c != '\r') line[kept++] = *c;
      }
      pos_ = static_cast<uint32_t>(stop - raw_.data()) + (nl != nullptr ? 1 : 0);
      if (nl != nullptr) break;
    }
    line[kept] = '\0';
    return got ? 1 : 0;
  }

  fio_handle* fh_;
  bool vault_;
  bool any_ = false;
  bool ended_ = false;
  fio_failure failure_;
  cipher_state cipher_{};
  std::vector<char> raw_;
  uint32_t pos_ = 0;
  uint32_t len_ = 0;
};

// Expat salts its hash tables against crafted names; one secret salt per
// process does that as well as a fresh one per parser, without asking the
// system for random bytes on every file read. 0 when no random source
// answers: Expat then makes its own.
unsigned long hash_salt() {
  static const unsigned long salt = [] {
    unsigned long s = 0;
    try {
      std::random_device rd;
      for (size_t i = 0; i < sizeof s / sizeof(unsigned int); ++i) s = (s << 16 << 16) | rd();
    } catch (...) {
      s = 0;
    }
    return s;
  }();
  return salt;
}

// Expat takes its memory through the library's allocator (np_malloc), so
// that its own out of memory (XML_ERROR_NO_MEMORY, a parser not made) is
// -600 where the rest of the library's would be.
void* expat_malloc(size_t size) { return np_malloc(size); }
void* expat_realloc(void* block, size_t size) { return np_realloc(block, size); }
void expat_free(void* block) { np_free(block); }
const XML_Memory_Handling_Suite kExpatMemory = {expat_malloc, expat_realloc, expat_free};

struct parser_guard {
  XML_Parser parser;
  ~parser_guard() {
    if (parser != nullptr) XML_ParserFree(parser);
  }
};

struct file_guard {
  fio_handle* fh;
  ~file_guard() { fio_close(fh); }
};

// Opens the file to read: a vault file as "zel", else "krd" when there is
// no "zel". On failure *text says why (fio_open_report_text); a name found
// nowhere is -400.
int32_t read_open(context* ctx, const char* file, uint32_t flags, std::string* path, fio_handle** fh,
                  std::string* text, const fio_place* at) {
  if (at != nullptr) {
    // The file a lock holds, in its folder under its name there: no search,
    // and a link found at the name is refused rather than followed, for it
    // leads to some other file than the one held.
    *path = at->path != nullptr ? at->path : at->shown;
    const int32_t rc = fio_open_at(at->folder, at->name, fio_context_flags(ctx, kFioOpenRead), fh);
    if (rc == 0) return 0;
    // Said as an open along the search path says it; a cause that may pass
    // is counted on the context alike.
    const int err = np_fio_last_error();
    char why[kErrTextSize];
    if (rc == TQ_ERR_NO_MEMORY) {
      err_text<2020>(why, at->shown);
    } else {
      err_passing_count(ctx, fio_error_cause(err));
      char reason[256];
      if (rc == TQ_ERR_FILE_LOCKED) {
        err_text<1863>(why, at->shown);
      } else {
        err_text<2400>(why, at->shown, np_fio_error_text(err, reason, sizeof reason));
      }
    }
    *text = why;
    return rc == TQ_ERR_FILE_MISSING ? TQ_ERR_FILE_OPEN : rc;
  }
  const uint32_t open_flags = kFioOpenRead | ((flags & kXmlFlagNameAsGiven) ? kFioFlagNameAsGiven : 0);
  const uint32_t kind = (flags & kXmlFlagVault) ? kFioKindZel : kFioKindXml;
  fio_open_report report;
  int32_t rc = fio_open_in_path(ctx, file, kind, open_flags, fh, &report);
  *path = report.path;
  if (rc == 0) return 0;
  char why[kErrTextSize];
  fio_open_report_text(ctx, report, why);
  *text = why;
  return rc == TQ_ERR_FILE_MISSING ? TQ_ERR_FILE_OPEN : rc;
}

}  // namespace

// Holds one share of each document it keeps, given back when the read ends.
struct xml_read_cache {
  struct entry {
    xmldoc* doc;
    int32_t reach;  // nesting below the file's own depth
  };
  context* ctx = nullptr;
  std::map<std::pair<uint64_t, uint64_t>, entry> docs;

  xml_read_cache() = default;
  xml_read_cache(const xml_read_cache&) = delete;
  xml_read_cache& operator=(const xml_read_cache&) = delete;
  ~xml_read_cache() {
    for (auto& e : docs) xml_free(ctx, e.second.doc);
  }
  const entry* find(const fio_file_id& id) const {
    auto it = docs.find({id.device, id.inode});
    return it != docs.end() ? &it->second : nullptr;
  }
  bool keep(const fio_file_id& id, xmldoc* doc, int32_t reach) {
    try {
      docs.emplace(std::make_pair(id.device, id.inode), entry{doc, reach});
    } catch (const std::bad_alloc&) {
      return false;
    }
    doc->shares += 1;
    return true;
  }
};

std::string xml_read_error_text(const char* file, uint32_t line, uint32_t column, const char* reason) {
  char text[kErrTextSize];
  // Lines and columns count from 1, as editors show them.
  err_text<1867>(text, file != nullptr ? file : "", line, column + 1, reason);
  return text;
}

int32_t xml_read_file(context* ctx, const char* file, uint32_t flags, const xml_read_chain* chain, xmldoc** out,
                      std::string* text, std::string* opened_path, int32_t* reach, const fio_place* at) {
  *out = nullptr;
  if (reach != nullptr) *reach = 0;
  text->clear();
  if (at == nullptr && (file == nullptr || *file == '\0')) {
    *text = "";
    return TQ_ERR_FILE_OPEN;
  }
  bool vault = (flags & kXmlFlagVault) != 0;
  std::string path;
  file_guard fg{nullptr};
  int32_t rc = read_open(ctx, file, flags, &path, &fg.fh, text, at);
  if (rc != 0) return rc;
  if (opened_path != nullptr) *opened_path = path;

  // A file met again on the way down would be read without end. Files are
  // told apart by identity, so another name or a link for the same file is
  // the same file.
  xml_read_cache top_cache;
  xml_read_chain link{};
  fio_identity(fg.fh, &link.id);
  link.parent = chain;
  link.depth = chain != nullptr ? chain->depth + 1 : 0;
  top_cache.ctx = ctx;
  link.cache = chain != nullptr ? chain->cache : &top_cache;
  for (const xml_read_chain* c = chain; c != nullptr; c = c->parent) {
    if (c->id == link.id) {
      *text = "The file " + path + " includes itself.";
      return TQ_ERR_INVALID_CONTENT;
    }
  }
  if (link.depth >= kMaxNesting) {
    *text = "Files refer to each other too deeply at " + path + ".";
    return TQ_ERR_INVALID_CONTENT;
  }
  // A file referenced again in the same read is the document already read,
  // shared: reading it once per reference would cost 2^n reads for a chain
  // of n files that each name the next one twice. Its nesting counts from
  // where it is met now, as if it were read afresh here.
  if (const xml_read_cache::entry* seen = link.cache->find(link.id)) {
    if (link.depth + seen->reach >= kMaxNesting) {
      *text = "Files refer to each other too deeply at " + path + ".";
      return TQ_ERR_INVALID_CONTENT;
    }
    seen->doc->shares += 1;
    *out = seen->doc;
    if (reach != nullptr) *reach = link.depth + seen->reach;
    return 0;
  }

  parser_guard pg{XML_ParserCreate_MM(nullptr, &kExpatMemory, nullptr)};
  if (pg.parser == nullptr) {
    // Expat makes a parser unless memory runs out.
    char why[kErrTextSize];
    err_text<1866>(why, path.c_str(), failure_reason(TQ_ERR_NO_MEMORY));
    *text = why;
    return TQ_ERR_NO_MEMORY;
  }
  if (unsigned long salt = hash_salt()) XML_SetHashSalt(pg.parser, salt);
  read_state st;
  st.ctx = ctx;
  st.file = path.c_str();
  st.flags = flags;
  st.chain = &link;
  st.stack.push_back(open_element{kNone, kNone});
  st.parser = pg.parser;
  XML_SetUserData(pg.parser, &st);
  XML_SetElementHandler(pg.parser, on_start, on_end);
  XML_SetCharacterDataHandler(pg.parser, on_chars);
  // The default handler sees the entity references Expat leaves
  // unexpanded; internal entities are still expanded.
  XML_SetDefaultHandlerExpand(pg.parser, on_default);
  XML_SetSkippedEntityHandler(pg.parser, on_skipped_entity);
  XML_SetEntityDeclHandler(pg.parser, on_entity_decl);
  XML_SetAttlistDeclHandler(pg.parser, on_attlist_decl);
  XML_SetXmlDeclHandler(pg.parser, on_xml_decl);
  XML_SetCommentHandler(pg.parser, on_comment);
  XML_SetProcessingInstructionHandler(pg.parser, on_instruction);

  std::optional<text_source> source;
  try {
    source.emplace(fg.fh, vault);
  } catch (const std::bad_alloc&) {
    char why[kErrTextSize];
    err_text<1866>(why, path.c_str(), failure_reason(TQ_ERR_NO_MEMORY));
    *text = why;
    return TQ_ERR_NO_MEMORY;
  }
  bool parse_failed = false;
  bool read_failed = false;
  uint32_t block = kBlockBytes;
  for (;;) {
    // Straight into Expat's own buffer: NULL only when it cannot grow.
    void* buffer = XML_GetBuffer(pg.parser, static_cast<int>(block));
    if (buffer == nullptr) {
      parse_failed = true;
      break;
    }
    int32_t n = source->fill(static_cast<char*>(buffer), block);
    if (n < 0) {
      read_failed = true;
      break;
    }
    // A plain file's block falls short only at its end: no read is made
    // to learn it.
    const bool last = n == 0 || (!vault && static_cast<uint32_t>(n) < block);
    const uint64_t events = st.events;
    st.parsing = true;
    const XML_Status status = XML_ParseBuffer(pg.parser, n, last);
    st.parsing = false;
    if (status == XML_STATUS_ERROR) {
      parse_failed = true;
      break;
    }
    if (last) break;
    if (st.events == events) {
      if (block < kBlockMostBytes) block *= 2;
    } else if (block > kBlockBytes) {
      block /= 2;
    }
  }

  // A refusal Expat made itself of a reference is named as the check names
  // it.
  if (parse_failed && st.error == 0) refusal_name(st, XML_GetErrorCode(pg.parser));
  if (st.error != 0) {
    // The read's first failure: a handler's stops the parse.
    rc = st.error;
    *text = st.text;
  } else if (parse_failed) {
    XML_Error code = XML_GetErrorCode(pg.parser);
    rc = code == XML_ERROR_NO_MEMORY ? TQ_ERR_NO_MEMORY : code == XML_ERROR_UNEXPECTED_STATE ? -1 : kXmlErrSyntax;
    char why[kErrTextSize];
    if (!source->any() && code == XML_ERROR_NO_ELEMENTS) {
      err_text<1868>(why, path.c_str());
      *text = why;
    } else {
      const XML_LChar* reason = XML_ErrorString(code);
      *text = xml_read_error_text(path.c_str(), static_cast<uint32_t>(XML_GetCurrentLineNumber(pg.parser)),
                                  static_cast<uint32_t>(XML_GetCurrentColumnNumber(pg.parser)),
                                  reason != nullptr ? reason : "not well-formed");
    }
  } else if (read_failed) {
    // The file could not be read, whatever it holds.
    rc = TQ_ERR_FILE_OPEN;
    char why[kErrTextSize];
    char reason[256];
    err_text<1866>(why, path.c_str(), static_cast<const char*>(fio_failure_text(source->failure(), reason, sizeof reason)));
    *text = why;
    // An I/O error part way is a failure of the moment: a definition that
    // read this file is read again by the next load.
    err_passing_count(ctx, source->failure().cause);
  }
  // A vault file's failures are all "content not valid" to the caller; the
  // text keeps the cause.
  if (vault && rc <= kXmlErrSyntax && rc >= kXmlErrUnsorted) rc = TQ_ERR_INVALID_CONTENT;
  if (rc < 0) return rc;

  xmldoc* doc = st.result;
  st.result = nullptr;
  doc->read_from = fio_version_opened(fg.fh);
  if (flags & kXmlFlagSort) xmldoc_records_sort(ctx, doc, nullptr);
  if (chain != nullptr && !link.cache->keep(link.id, doc, st.reach - link.depth)) {
    xml_free(ctx, doc);
    *text = path;
    return TQ_ERR_NO_MEMORY;
  }
  *out = doc;
  if (reach != nullptr) *reach = st.reach;
  return 0;
}

namespace {

// A read's failure, as its text tells it. Memory that ran out before the
// text could be made leaves none: the file is named all the same, by a
// message formatted straight into the record.
void read_failure_record(context* ctx, int32_t rc, const std::string& text, const char* file) {
  if (rc == TQ_ERR_NO_MEMORY && text.empty()) {
    TQ_REPORT(ctx, rc, 2470, file != nullptr ? file : "");
  } else {
    TQ_REPORT(ctx, rc, 52, text.c_str());
  }
}

}  // namespace

int32_t xmldoc_read_place(context* ctx, const fio_place& place, uint32_t flags, xmldoc** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  if (place.folder < 0 || place.name == nullptr || place.shown == nullptr) return TQ_ERR_ARGUMENT;
  std::string text;
  int32_t rc = xml_read_file(ctx, nullptr, flags, nullptr, out, &text, nullptr, nullptr, &place);
  if (rc < 0) read_failure_record(ctx, rc, text, place.shown);
  return rc;
}

int32_t xmldoc_read(context* ctx, const char* file, uint32_t flags, xmldoc** out) {
  if (out == nullptr) return TQ_ERR_ARGUMENT;
  *out = nullptr;
  std::string text;
  int32_t rc = xml_read_file(ctx, file, flags, nullptr, out, &text, nullptr);
  if (rc < 0) read_failure_record(ctx, rc, text, file);
  return rc;
}

}  // namespace tq

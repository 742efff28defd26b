#include "resources/krctld.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/krenc.h"
#include "core/krerr.h"
#include "core/krstr.h"
#include "kbstore/krfield.h"
#include "kbstore/krxml.h"
#include "platform/nputf8.h"
#include "platform/npmem.h"

namespace tq {

namespace {

struct class_row {
  const char* name;
  const char* short_name;
  uint32_t listed;
};

constexpr class_row kClasses[kClassCount] = {
    {"LETTER/SYMBOL", "LETTER", 1},
    {"LOWERCASE LETTER", "LOWERCASE LETTER", 0},
    {"UPPERCASE LETTER", "UPPERCASE LETTER", 0},
    {"NUMBER", "NUMBER", 1},
    {"LEAD SEPARATOR", "LEAD_SEPARATOR", 1},
    {"TRAIL SEPARATOR", "TRAIL_SEPARATOR", 1},
    {"FULL SEPARATOR", "FULL_SEPARATOR", 1},
    {"NULL", "NULL", 0},
};

struct oper_row {
  const char* name;
  uint32_t listed;
};

constexpr oper_row kOpers[kOperCount] = {{"USE", 1}, {"TRIM", 1}, {"SUPPRESS", 1}, {"REPLACE", 0}};

// Row p is the class of the previous character, column c that of the
// current one; 1 puts a word boundary between them.
constexpr break_matrix kMatrixOff = {
    {0, 0, 0, 0, 1, 0, 1, 0}, {0, 0, 0, 0, 1, 0, 1, 0}, {0, 0, 0, 0, 1, 0, 1, 0}, {0, 0, 0, 0, 1, 0, 1, 0},
    {0, 0, 0, 0, 0, 0, 1, 0}, {1, 1, 1, 1, 1, 0, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 0, 1, 0, 1, 0},
};
// Implicit separation also parts letters from digits: a number after a
// letter/symbol, and any letter after a number.
constexpr break_matrix kMatrixOn = {
    {0, 0, 0, 1, 1, 0, 1, 0}, {0, 0, 0, 0, 1, 0, 1, 0}, {0, 0, 0, 0, 1, 0, 1, 0}, {1, 1, 1, 0, 1, 0, 1, 0},
    {0, 0, 0, 0, 0, 0, 1, 0}, {1, 1, 1, 1, 1, 0, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 0, 1, 0, 1, 0},
};

constexpr const char* kAsciiNames[kAsciiRows] = {
    "NULL", "START OF HEADING", "START OF TEXT", "END OF TEXT", "END OF TRANSMISSION", "ENQUIRY",
    "ACKNOWLEDGE", "BELL", "BACKSPACE", "CHARACTER TABULATION", "LINE FEED (LF)", "LINE TABULATION",
    "FORM FEED (FF)", "CARRIAGE RETURN (CR)", "SHIFT OUT", "SHIFT IN", "DATA LINK ESCAPE",
    "DEVICE CONTROL ONE", "DEVICE CONTROL TWO", "DEVICE CONTROL THREE", "DEVICE CONTROL FOUR",
    "NEGATIVE ACKNOWLEDGE", "SYNCHRONOUS IDLE", "END OF TRANSMISSION BLOCK", "CANCEL", "END OF MEDIUM",
    "SUBSTITUTE", "ESCAPE", "INFORMATION SEPARATOR FOUR", "INFORMATION SEPARATOR THREE",
    "INFORMATION SEPARATOR TWO", "INFORMATION SEPARATOR ONE", "SPACE", "EXCLAMATION MARK", "QUOTATION MARK",
    "NUMBER SIGN", "DOLLAR SIGN", "PERCENT SIGN", "AMPERSAND", "APOSTROPHE", "LEFT PARENTHESIS",
    "RIGHT PARENTHESIS", "ASTERISK", "PLUS SIGN", "COMMA", "HYPHEN-MINUS", "FULL STOP", "SOLIDUS",
    "DIGIT ZERO", "DIGIT ONE", "DIGIT TWO", "DIGIT THREE", "DIGIT FOUR", "DIGIT FIVE", "DIGIT SIX",
    "DIGIT SEVEN", "DIGIT EIGHT", "DIGIT NINE", "COLON", "SEMICOLON", "LESS-THAN SIGN", "EQUALS SIGN",
    "GREATER-THAN SIGN", "QUESTION MARK", "COMMERCIAL AT", "LATIN CAPITAL LETTER A", "LATIN CAPITAL LETTER B",
    "LATIN CAPITAL LETTER C", "LATIN CAPITAL LETTER D", "LATIN CAPITAL LETTER E", "LATIN CAPITAL LETTER F",
    "LATIN CAPITAL LETTER G", "LATIN CAPITAL LETTER H", "LATIN CAPITAL LETTER I", "LATIN CAPITAL LETTER J",
    "LATIN CAPITAL LETTER K", "LATIN CAPITAL LETTER L", "LATIN CAPITAL LETTER M", "LATIN CAPITAL LETTER N",
    "LATIN CAPITAL LETTER O", "LATIN CAPITAL LETTER P", "LATIN CAPITAL LETTER Q", "LATIN CAPITAL LETTER R",
    "LATIN CAPITAL LETTER S", "LATIN CAPITAL LETTER T", "LATIN CAPITAL LETTER U", "LATIN CAPITAL LETTER V",
    "LATIN CAPITAL LETTER W", "LATIN CAPITAL LETTER X", "LATIN CAPITAL LETTER Y", "LATIN CAPITAL LETTER Z",
    "LEFT SQUARE BRACKET", "REVERSE SOLIDUS", "RIGHT SQUARE BRACKET", "CIRCUMFLEX ACCENT", "LOW LINE",
    "GRAVE ACCENT", "LATIN SMALL LETTER A", "LATIN SMALL LETTER B", "LATIN SMALL LETTER C",
    "LATIN SMALL LETTER D", "LATIN SMALL LETTER E", "LATIN SMALL LETTER F", "LATIN SMALL LETTER G",
    "LATIN SMALL LETTER H", "LATIN SMALL LETTER I", "LATIN SMALL LETTER J", "LATIN SMALL LETTER K",
    "LATIN SMALL LETTER L", "LATIN SMALL LETTER M", "LATIN SMALL LETTER N", "LATIN SMALL LETTER O",
    "LATIN SMALL LETTER P", "LATIN SMALL LETTER Q", "LATIN SMALL LETTER R", "LATIN SMALL LETTER S",
    "LATIN SMALL LETTER T", "LATIN SMALL LETTER U", "LATIN SMALL LETTER V", "LATIN SMALL LETTER W",
    "LATIN SMALL LETTER X", "LATIN SMALL LETTER Y", "LATIN SMALL LETTER Z", "LEFT CURLY BRACKET",
    "VERTICAL LINE", "RIGHT CURLY BRACKET", "TILDE", "DELETE",
};

constexpr const char* kColDescription = "Char Description";
constexpr const char* kColValue = "Char Value";
constexpr const char* kColClass = "Char Classification";
constexpr const char* kColOper = "Char Operation";

bool is_default(uint32_t clsfn, uint32_t oprn) { return clsfn == kClassLetter && oprn == kOperUse; }

void entry_fill(chopper_char* e, uint32_t code_point, const char* description, uint32_t clsfn, uint32_t oprn) {
  e->code_point = code_point;
  str_copy_bounded(e->description, description, kCharDescriptionSize);
  e->classification = clsfn;
  e->operation = oprn;
}

void default_ascii_row(chopper_char* e, uint32_t cp) {
  uint32_t clsfn = kClassLetter;
  uint32_t oprn = kOperUse;
  if (cp == 9 || cp == 10 || cp == 12 || cp == 13 || cp == 32) {
    clsfn = kClassFullSeparator;
    oprn = kOperTrim;
  } else if (cp >= '0' && cp <= '9') {
    clsfn = kClassNumber;
  }
  entry_fill(e, cp, kAsciiNames[cp], clsfn, oprn);
  e->remove_mark = 0;
}

// Marked entries last; otherwise descending code points.
bool entry_before(const chopper_char& a, const chopper_char& b) {
  if (a.remove_mark != b.remove_mark) return a.remove_mark < b.remove_mark;
  return a.code_point > b.code_point;
}

// A record's integer field, whatever type its column was given.
int64_t field_number(const xmldoc_field& f) {
  if (f.type == kXmlColInt) return f.number;
  return f.text != nullptr ? std::strtoll(f.text, nullptr, 10) : 0;
}


// The table row that is the index-th of the rows listed to callers.
template <typename Row>
int32_t listed_at(const Row* rows, uint32_t count, uint32_t index, uint32_t* id) {
  uint32_t seen = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (!rows[i].listed) continue;
    if (seen++ == index) {
      *id = i;
      return 0;
    }
  }
  *id = count;
  return -1;
}

}  // namespace

const char* chop_class_name(uint32_t id) { return id < kClassCount ? kClasses[id].name : nullptr; }
const char* chop_class_short_name(uint32_t id) { return id < kClassCount ? kClasses[id].short_name : nullptr; }
const char* chop_oper_name(uint32_t id) { return id < kOperCount ? kOpers[id].name : nullptr; }

int32_t chop_class_by_name(const char* name, uint32_t* id) {
  if (name != nullptr) {
    for (uint32_t i = 0; i < kClassCount; ++i) {
      if (std::strcmp(kClasses[i].name, name) == 0 || std::strcmp(kClasses[i].short_name, name) == 0) {
        *id = i;
        return 0;
      }
    }
  }
  *id = kClassCount;
  return -1;
}

int32_t chop_oper_by_name(const char* name, uint32_t* id) {
  if (name != nullptr) {
    for (uint32_t i = 0; i < kOperCount; ++i) {
      if (std::strcmp(kOpers[i].name, name) == 0) {
        *id = i;
        return 0;
      }
    }
  }
  *id = kOperCount;
  return -1;
}

int32_t chop_class_listed(uint32_t index, uint32_t* id) { return listed_at(kClasses, kClassCount, index, id); }

int32_t chop_oper_listed(uint32_t index, uint32_t* id) { return listed_at(kOpers, kOperCount, index, id); }

int32_t chopper_table_init(chopper_table* table) {
  *table = chopper_table{};
  table->use_table = 1;
  table->matrix = &kMatrixOff;
  auto* entries = static_cast<chopper_char*>(np_calloc(kAsciiRows, sizeof(chopper_char)));
  if (entries == nullptr) return TQ_ERR_NO_MEMORY;
  for (uint32_t cp = 0; cp < kAsciiRows; ++cp) default_ascii_row(&entries[cp], cp);
  table->entries = entries;
  table->count = kAsciiRows;
  return 0;
}

void chopper_table_free(chopper_table* table) {
  if (table == nullptr) return;
  std::free(table->entries);
  table->entries = nullptr;
  table->count = 0;
}

void chopper_table_impsep_set(chopper_table* table, uint32_t flag) {
  table->implicit_sep = flag != 0 ? 1 : 0;
  table->matrix = table->implicit_sep ? &kMatrixOn : &kMatrixOff;
}

int32_t chopper_table_char_lookup(const chopper_table* table, uint32_t code_point, uint32_t* clsfn,
                                  uint32_t* oprn) {
  if (code_point > static_cast<uint32_t>(kMaxCodePoint)) return TQ_ERR_ARGUMENT;
  if (table->set_in_progress) return TQ_ERR_EDIT_MODE;
  if (code_point < kAsciiRows && code_point < table->count) {
    *clsfn = table->entries[code_point].classification;
    *oprn = table->entries[code_point].operation;
    return 0;
  }
  // Entries from 128 on are in descending code-point order.
  uint32_t lo = kAsciiRows;
  uint32_t hi = table->count;
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    uint32_t cp = table->entries[mid].code_point;
    if (cp == code_point) {
      *clsfn = table->entries[mid].classification;
      *oprn = table->entries[mid].operation;
      return 0;
    }
    if (cp > code_point) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  *clsfn = kClassLetter;
  *oprn = kOperUse;
  return 0;
}

int32_t chopper_table_entry_set(context* ctx, chopper_table* table, const char* description, uint32_t clsfn,
                                uint32_t oprn, uint32_t code_point, uint32_t from_document) {
  if (ctx == nullptr) return TQ_ERR_NULL_CONTEXT;
  // An id outside the fixed tables would index past the break matrix when
  // chopping and could not be written back by name.
  if (table == nullptr || code_point == kBadCodePoint || code_point > static_cast<uint32_t>(kMaxCodePoint) ||
      clsfn >= kClassCount || oprn >= kOperCount) {
    return TQ_ERR_ARGUMENT;
  }
  if (code_point < kAsciiRows) {
    entry_fill(&table->entries[code_point], code_point, description, clsfn, oprn);
    return 0;
  }
  if (!from_document) {
    for (uint32_t i = kAsciiRows; i < table->count; ++i) {
      chopper_char* e = &table->entries[i];
      if (e->code_point != code_point) continue;
      entry_fill(e, code_point, description, clsfn, oprn);
      e->remove_mark = is_default(clsfn, oprn) ? 1 : 0;
      return 0;
    }
  }
  if (is_default(clsfn, oprn)) return 0;
  auto* grown = static_cast<chopper_char*>(np_realloc(table->entries, sizeof(chopper_char) * (table->count + 1)));
  if (grown == nullptr) return TQ_ERR_NO_MEMORY;
  table->entries = grown;
  chopper_char* e = &table->entries[table->count];
  *e = chopper_char{};
  entry_fill(e, code_point, description, clsfn, oprn);
  table->count += 1;
  return 0;
}

int32_t chopper_table_finish(chopper_table* table) {
  table->matrix = table->implicit_sep ? &kMatrixOn : &kMatrixOff;
  if (table->count < kAsciiRows) return TQ_ERR_RESOURCE_LACKS;
  for (uint32_t i = 0; i < kAsciiRows; ++i) {
    if (table->entries[i].code_point != i) return TQ_ERR_RESOURCE_LACKS;
  }
  if (table->count == kAsciiRows) return 0;
  chopper_char* first = table->entries + kAsciiRows;
  chopper_char* end = table->entries + table->count;
  // Among entries for one code point the one set last survives: reversed,
  // a stable sort puts it first of its run.
  std::reverse(first, end);
  std::stable_sort(first, end, entry_before);
  for (chopper_char* e = first + 1; e < end && !e->remove_mark; ++e) {
    if (e->code_point == (e - 1)->code_point) e->remove_mark = 1;
  }
  std::stable_sort(first, end, entry_before);
  uint32_t kept = table->count;
  for (uint32_t i = kAsciiRows; i < table->count; ++i) {
    if (table->entries[i].remove_mark) {
      kept = i;
      break;
    }
  }
  if (kept < table->count) {
    // Only giving memory back: a block that cannot shrink is kept whole, as
    // the entries have already been put in their new order.
    auto* shrunk = static_cast<chopper_char*>(np_realloc(table->entries, sizeof(chopper_char) * kept));
    if (shrunk != nullptr) table->entries = shrunk;
    table->count = kept;
  }
  return 0;
}

int32_t chopper_table_write(context* ctx, const chopper_table* table, xmldoc* doc) {
  int32_t rc = xmldoc_prop_add(ctx, doc, "Implicit Separation", table->implicit_sep ? "On" : "Off");
  if (rc == 0) rc = xmldoc_prop_add_yes_no(ctx, doc, "Use Table", table->use_table ? 1 : 0, 0);
  if (rc == 0) rc = xmldoc_column_add(ctx, doc, kColDescription, kXmlColString);
  if (rc == 0) rc = xmldoc_column_add(ctx, doc, kColValue, kXmlColInt);
  if (rc == 0) rc = xmldoc_column_add(ctx, doc, kColClass, kXmlColString);
  if (rc == 0) rc = xmldoc_column_add(ctx, doc, kColOper, kXmlColString);
  for (uint32_t i = 0; i < table->count && rc == 0; ++i) {
    const chopper_char& e = table->entries[i];
    xmldoc_field fields[4];
    fields[0].type = kXmlColString;
    fields[0].text = const_cast<char*>(e.description);
    fields[1].type = kXmlColInt;
    fields[1].number = static_cast<int32_t>(e.code_point);
    fields[2].type = kXmlColString;
    fields[2].text = const_cast<char*>(chop_class_name(e.classification));
    fields[3].type = kXmlColString;
    fields[3].text = const_cast<char*>(chop_oper_name(e.operation));
    if (fields[2].text == nullptr || fields[3].text == nullptr) return TQ_ERR_ARGUMENT;
    rc = xmldoc_record_add(ctx, doc, "", nullptr, fields);
  }
  return rc;
}

namespace {
constexpr number_limit kCodePointLimit{kColValue, 0, kMaxCodePoint};
// What a single-byte encoding's table may give: a byte.
constexpr number_limit kByteLimit{kColValue, 0, 255};
}  // namespace

int32_t chopper_table_read(context* ctx, const xmldoc* doc, const char* name, chopper_table* table) {
  table->implicit_sep = std::strcmp(xmldoc_prop_get(ctx, doc, "Implicit Separation"), "On") == 0 ? 1 : 0;
  const char* use = xmldoc_prop_get(ctx, doc, "Use Table");
  table->use_table = (use[0] == '\0' || std::strcmp(use, "Yes") == 0) ? 1 : 0;

  const char* const columns[4] = {kColValue, kColDescription, kColClass, kColOper};
  int32_t index[4] = {-1, -1, -1, -1};
  for (int k = 0; k < 4; ++k) {
    if (xmldoc_column_find(ctx, doc, columns[k], &index[k]) != 0) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 209, columns[k], name);
      return TQ_ERR_INVALID_CONTENT;
    }
  }
  // A document in a single-byte encoding gives its characters as byte
  // values; one without an encoding, or in UTF-8 or UCS-2, gives code points.
  int32_t encoding = kEncodingUtf8;
  const char* enc_name = xmldoc_prop_get(ctx, doc, "Encoding");
  if (enc_name[0] != '\0' && enc_id_get_by_name(enc_name, &encoding) != 0) encoding = kEncodingUtf8;
  const bool by_byte = encoding != kEncodingUtf8 && encoding != kEncodingUcs2Be && encoding != kEncodingUcs2Le;

  for (int32_t r = 0; r < doc->record_count; ++r) {
    const xmldoc_record& rec = doc->records[r];
    if (rec.key == nullptr || rec.fields == nullptr) continue;
    if (rec.fields[index[0]].type == kXmlColPast) {
      // A number past int32, refused as the file writes it.
      int32_t unused = 0;
      return number_field_read(ctx, &rec.fields[index[0]], by_byte ? kByteLimit : kCodePointLimit,
                               TQ_ERR_INVALID_CONTENT, name, 0, &unused);
    }
    int64_t value = field_number(rec.fields[index[0]]);
    // A code point is refused whole where it is read, never wrapped to
    // another one by the conversion below.
    if (!by_byte) {
      if (int32_t rc = number_limit_check(ctx, kCodePointLimit, value, TQ_ERR_INVALID_CONTENT, name); rc < 0) return rc;
    }
    if (value == -1 || value == static_cast<int64_t>(kBadCodePoint)) return TQ_ERR_ARGUMENT;
    uint32_t code_point = static_cast<uint32_t>(value);
    if (by_byte) {
      int32_t converted = value >= 0 && value < 256 ? enc_char_code_point_get(static_cast<uint8_t>(value), encoding) : -1;
      if (converted < 0) {
        TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 210, static_cast<int32_t>(value), name);
        return TQ_ERR_INVALID_CONTENT;
      }
      code_point = static_cast<uint32_t>(converted);
    }
    const char* class_text = xmldoc_field_text(&rec.fields[index[2]]);
    uint32_t clsfn = 0;
    if (chop_class_by_name(class_text, &clsfn) != 0) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 211, class_text, name, r);
      return TQ_ERR_INVALID_CONTENT;
    }
    const char* oper_text = xmldoc_field_text(&rec.fields[index[3]]);
    uint32_t oprn = 0;
    if (chop_oper_by_name(oper_text, &oprn) != 0) {
      TQ_REPORT(ctx, TQ_ERR_INVALID_CONTENT, 212, oper_text, name, r);
      return TQ_ERR_INVALID_CONTENT;
    }
    int32_t rc = chopper_table_entry_set(ctx, table, xmldoc_field_text(&rec.fields[index[1]]), clsfn, oprn, code_point, 1);
    if (rc != 0) return rc;
  }
  return chopper_table_finish(table);
}

}  // namespace tq

// The character table of a chopper: for every code point a classification
// (letter, number, separator kinds ...) and an operation (use it, trim it as
// a separator, suppress it). The chopping engine walks a value character by
// character, looks each one up here and places word boundaries where the
// table's 8 x 8 break matrix says the classes of two neighbours part.
//
// The 128 ASCII rows are always present (entry i is code point i); other
// code points are kept only when they differ from the default
// ("LETTER/SYMBOL"/"USE"), sorted by code point in descending order.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

struct tq_xmldoc;

namespace tq {

using xmldoc = ::tq_xmldoc;

// Classifications (ids are the row numbers of the fixed table).
inline constexpr uint32_t kClassLetter = 0;
inline constexpr uint32_t kClassLowercase = 1;
inline constexpr uint32_t kClassUppercase = 2;
inline constexpr uint32_t kClassNumber = 3;
inline constexpr uint32_t kClassLeadSeparator = 4;
inline constexpr uint32_t kClassTrailSeparator = 5;
inline constexpr uint32_t kClassFullSeparator = 6;
inline constexpr uint32_t kClassNull = 7;
inline constexpr uint32_t kClassCount = 8;

// Operations.
inline constexpr uint32_t kOperUse = 0;
inline constexpr uint32_t kOperTrim = 1;
inline constexpr uint32_t kOperSuppress = 2;
inline constexpr uint32_t kOperReplace = 3;  // chops exactly like "USE"
inline constexpr uint32_t kOperCount = 4;

// Names of the fixed tables: at most 1,024 bytes.
inline constexpr uint32_t kChopNameSize = 1025;
// A character's description: at most 83 bytes and the terminator.
inline constexpr uint32_t kCharDescriptionSize = 84;
inline constexpr uint32_t kAsciiRows = 128;
inline constexpr uint32_t kBadCodePoint = 0xFFFFFFFFu;

struct chopper_char {
  uint32_t code_point;
  char description[kCharDescriptionSize];
  uint32_t classification;
  uint32_t operation;
  uint32_t remove_mark;  // set during an edit for entries to drop at its end
};

using break_matrix = uint8_t[kClassCount][kClassCount];

struct chopper_table {
  uint32_t set_in_progress;  // between set_begin and a successful set_end
  uint32_t use_table;        // "Use Table"
  uint32_t implicit_sep;     // "Implicit Separation"
  uint32_t count;            // entries, 128 or more
  chopper_char* entries;     // owned
  const break_matrix* matrix;
};

// ---- Fixed tables --------------------------------------------------------------------

// Long and short name of a classification; NULL for an unknown id.
const char* chop_class_name(uint32_t id);
const char* chop_class_short_name(uint32_t id);
const char* chop_oper_name(uint32_t id);
// Classification by long name, then short name: 0 with the id, or -1 with
// *id = 8. Operation by exact name: 0, or -1 with *id = 4.
int32_t chop_class_by_name(const char* name, uint32_t* id);
int32_t chop_oper_by_name(const char* name, uint32_t* id);
// The i-th listed classification (0, 3, 4, 5, 6) or operation (0, 1, 2):
// 0, or -1 with 8 / 4 beyond.
int32_t chop_class_listed(uint32_t index, uint32_t* id);
int32_t chop_oper_listed(uint32_t index, uint32_t* id);
inline constexpr uint32_t kListedClassCount = 5;
inline constexpr uint32_t kListedOperCount = 3;

// ---- The table --------------------------------------------------------------------------

// A table with the 128 default ASCII rows, "Use Table" 1, implicit
// separation 0 and the Off matrix. -600 (the table left empty).
int32_t chopper_table_init(chopper_table* table);
// Frees the entries; count 0.
void chopper_table_free(chopper_table* table);
// Sets the flag (non-zero: 1) and the matching break matrix.
void chopper_table_impsep_set(chopper_table* table, uint32_t flag);

// Looks a code point up: -802 above U+10FFFF, -500 while an edit is in
// progress; otherwise 0 with its classification and operation (the default
// 0/0 for a code point the table does not hold).
int32_t chopper_table_char_lookup(const chopper_table* table, uint32_t code_point, uint32_t* clsfn,
                                  uint32_t* oprn);
// 1 when a word boundary falls between a character of class `prev` and one
// of class `cur`.
inline uint32_t chopper_table_breaks(const chopper_table* table, uint32_t prev, uint32_t cur) {
  return (*table->matrix)[prev][cur];
}

// Sets one entry (from the interface, or from a document row with
// from_document 1; documents append without searching). -802 for a code
// point of 0xFFFFFFFF or above U+10FFFF, a classification above 7 or an
// operation above 3; -600.
int32_t chopper_table_entry_set(context* ctx, chopper_table* table, const char* description, uint32_t clsfn,
                                uint32_t oprn, uint32_t code_point, uint32_t from_document);
// Ends an edit or a document read: chooses the break matrix, checks the
// ASCII rows (-706), sorts the other entries in descending code-point order,
// keeps one entry per code point (the one set last) and drops the entries
// marked for removal (-600 when the array cannot shrink).
int32_t chopper_table_finish(chopper_table* table);

// ---- Document part ---------------------------------------------------------------------

// Adds "Implicit Separation", "Use Table", the four columns and one record
// per entry. -600 or the document layer's failure.
int32_t chopper_table_write(context* ctx, const chopper_table* table, xmldoc* doc);
// Reads the table part of a chopper document into a table that holds the
// default rows. `name` names the chopper in messages. -300 with messages
// 209-212 for a bad document, -802 for a character value of 0xFFFFFFFF,
// -706, -600.
int32_t chopper_table_read(context* ctx, const xmldoc* doc, const char* name, chopper_table* table);

}  // namespace tq

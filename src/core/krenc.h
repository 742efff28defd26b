// Session encodings and the interface string layer. Text crosses the
// interface in the context's session encoding and is held inside in UTF-8;
// every interface point converts through strio_in_* / strio_out_*.
#pragma once

#include <cstdint>
#include <string>

struct tq_context;

namespace tq {

using context = ::tq_context;

struct encoding_row {
  int32_t id;        // the session-encoding value (= row index)
  const char* name;  // the encoding's display name
  int32_t charset;   // charset code of the character library; negative: none
};

inline constexpr int32_t kEncodingCount = 16;
inline constexpr int32_t kEncodingUtf8 = 13;
inline constexpr int32_t kEncodingUcs2Be = 14;
inline constexpr int32_t kEncodingUcs2Le = 15;
// Longest encoding name in bytes, terminator not included.
inline constexpr uint32_t kEncodingNameMax = 320;

// Flag bit 0 of the strio calls: convert through the session encoding.
inline constexpr uint32_t kStrioConvert = 0x1;
// Flag bit 1 of strio_in: the text is a caller's value for an engine (what
// is parsed, cased, standardized, matched...): a cut is reported. A value
// is never kept, so it may hold any character (see text_flaw_find).
inline constexpr uint32_t kStrioValue = 0x2;
// Flag bit 2 of strio_in: the text only says what to look for or where (a
// name looked up, a path, a text tried without being kept): it never
// enters the knowledge base, so, as a value, it may hold any character.
// Every other text strio_in takes in is one the knowledge base may keep
// and a file may have to hold: a text longer than max once converted to
// UTF-8 (max is then the setter's limit: 1943) or with a flaw
// (text_flaw_find, 1930) is refused there, -802, and the destination is
// left empty. This is the one check every setter goes through.
inline constexpr uint32_t kStrioUnkept = 0x4;

// The first place where a UTF-8 text holds what no knowledge-base file can
// carry: a byte that is not UTF-8 (the reader refuses the file), U+FFFE or
// U+FFFF (not XML characters: the reader refuses the file), or a character
// of U+10FF00..U+10FFFF (the file format carries control bytes as U+10FF00
// plus the byte, so such a character would read back as a control byte or
// not at all).
struct text_flaw {
  int32_t code;        // the character; -1 for a byte that is not UTF-8
  uint8_t byte;        // that byte (code -1)
  uint32_t offset;     // where it starts, in bytes
  uint32_t character;  // the place in characters counted from 1, a byte that is not UTF-8 counting as one
};
// True, with the first flaw in *out, when the zero-terminated text has one
// (a character its terminator cuts short is a byte that is not UTF-8).
bool text_flaw_find(const char* text, text_flaw* out);
// The flaw in the words of the messages: what ("U+FFFE", "the byte 0xC3")
// and why ("is not a character XML files can hold", ...).
struct text_flaw_words {
  char what[24];
  const char* why;
};
text_flaw_words text_flaw_describe(const text_flaw& flaw);

// The cuts a call made (context field `cuts`). A converted text that did
// not fit records the warning 102 with a message once it is known to be
// cut: an output of the session encoding cut to the caller's size (or a
// documented fixed size), or a value (kStrioValue) cut to the engines'
// length on its way in. The frame clears them on entry and gives the call
// the warning 102 on exit (strio_cuts_result).
inline constexpr uint32_t kCutInput = 0x1;
inline constexpr uint32_t kCutOutput = 0x2;
// A text an engine cut to fit one of its own buffers on the way (the
// joined tokens of a standardization, a casing that lengthened the value,
// ...). The result lost text the caller could not have kept by giving more
// room, so, as a value cut on its way in, it goes before the call's own
// warnings.
inline constexpr uint32_t kCutInside = 0x4;

// "byte" or "bytes" for a count of n, for the messages that give one.
const char* strio_bytes_word(uint64_t n);

// The length of a whole text that was cut where it could not be measured
// (what a regex replacement left out, a word a regex library cut): its
// messages say the whole text is longer.
inline constexpr uint64_t kWholeUnknown = UINT64_MAX;

// A whole text's length measured now, as the message of a cut may give
// it. Once the call has cut a text on its way in or inside an engine, what
// it measures may be the start of a text cut before (a cut value's cased
// text, a cut standard cased), whose whole length is not known:
// kWholeUnknown. Every message of a cut takes its whole length through
// here, so none gives the length of what an earlier cut kept as the whole.
uint64_t strio_whole_known(const context* ctx, uint64_t whole);

// Records a cut an engine made inside a call (kCutInside), its whole
// length measured now (strio_whole_known): message 1922 naming the call,
// `what` was cut ("the joined tokens") and the bytes kept and needed, or
// 1923 when the whole length is not known (whole 0 or kWholeUnknown).
void strio_note_inside_cut(context* ctx, const char* what, uint64_t kept, uint64_t whole);

// The same for a whole length its caller took through strio_whole_known
// when it measured it, before telling any cut: a step that measures several
// texts (the tokens of one run) tells each as it was measured, not as
// measured after its siblings' cuts. A `limit` (UTF-8 bytes: an engine's
// own length that cut the text) is named in the message (1924, 1925); 0
// names none (1922, 1923).
void strio_note_measured_cut(context* ctx, const char* what, uint32_t limit, uint64_t kept, uint64_t whole);

// Copies src into dst (size bytes with the terminator, size > 0), whole
// characters only; a text that does not fit is cut and the cut recorded as
// strio_note_inside_cut of `what`. Returns the bytes copied. A text that
// fits costs one bounded length and a copy, as np_uchar_bufcopy does.
uint32_t strio_copy_noted(context* ctx, const char* what, char* dst, const char* src, uint32_t size);

// The call's result after its cuts: a failure stays; a value cut on its way
// in came before anything the engine reported, and a cut inside an engine
// spoilt the result whatever else the engine found, so 102 goes first; an
// output cut comes last, after any warning of the call's own.
int32_t strio_cuts_result(const context* ctx, int32_t rc);

extern const encoding_row kEncodingTable[kEncodingCount];

// The id of the row whose name equals `name` exactly; 0, or -1 when none.
int32_t enc_id_get_by_name(const char* name, int32_t* id);
// Copies the row's name into out (size bytes with the terminator, at most
// 320 characters); 0, or -1 for an id missing from the table.
int32_t enc_name_get_by_id(int32_t id, char* out, uint32_t size);
// 1 when the id is a row of the table, else 0.
int32_t enc_id_is_known(int32_t id);

// The smallest character size of an encoding in bytes. -802 (message 1490)
// for an id outside the table, -700 (message 1491) when the encoding has no
// charset.
int32_t enc_char_size_min(context* ctx, int32_t encoding, uint32_t* out);

// Text in `encoding` -> UTF-8 in dst (max bytes of text + 1 terminator).
// 0; -10000 when a character could not be converted (replaced, or under
// option 0x40000 refused: the output stops there); -802 / -700 as
// enc_char_size_min; -700 (message 1491) when the character library fails.
// Over-long text is cut between characters without a failure.
int32_t enc_convert_in(context* ctx, int32_t encoding, const char* src, char* dst, uint32_t max);
// UTF-8 -> text in `encoding` in dst (max bytes + the encoding's terminator,
// 1 byte or 2 for UCS-2). A character that could not be converted gives
// -10000 under option 0x40000, 116 under option 0x80000, else 0 (replaced
// silently). Other failures as enc_convert_in.
int32_t enc_convert_out(context* ctx, int32_t encoding, const char* src, char* dst, uint32_t max);

// The code point of one byte of a single-byte encoding; -1 when the byte
// has no character there. Throws std::bad_alloc when memory runs out
// building the charset's table.
int32_t enc_char_code_point_get(uint8_t byte, int32_t encoding);

// ---- Interface string layer --------------------------------------------------
// `max` counts bytes of text; the destination holds max + one terminator:
// the session encoding's for a text converted out (flag bit 0 set: 1 byte,
// 2 in a UCS-2 session), one zero byte for every other (a text in, and a
// text out with flag bit 0 clear). With flag bit 0 clear the text is
// internal UTF-8, copied byte for byte, cut between UTF-8 characters, and
// ends in one zero byte in every session encoding, so a buffer of max + 1
// bytes holds it (strio_terminator_for). Results: 0;
// 116 when a character was replaced (option 0x80000); -10000 for an
// unconvertible character (option 0x40000); -802 for a text in that the
// knowledge base may keep (neither kStrioValue nor kStrioUnkept) longer
// than max once converted (flag bit 0) or holding a flaw (text_flaw_find)
// once in UTF-8; other negative codes
// for a failure of the conversion itself. A cut is not a result here: with flag
// bit 0 set, every strio_out that cuts and every strio_in of a kStrioValue
// text that cuts is recorded in the context (kCutOutput, kCutInput) with its
// message; an unconverted copy is internal and cuts silently.

int32_t strio_in(context* ctx, const char* src, char* dst, uint32_t max, uint32_t flags);
// strio_in of a whole text of any length, never cut, into *out; NULL gives
// "". Results as strio_in (*out empty on a failure).
int32_t strio_in_whole(context* ctx, const char* src, std::string* out, uint32_t flags);
// The check of a text the knowledge base may keep (see kStrioUnkept), on
// its own: for a setter that finds its record before it converts its text,
// so that a text no file can hold is refused whatever else the call names.
// 0, or strio_in_whole's failure (its warnings are the later conversion's).
int32_t strio_kept_check(context* ctx, const char* src, uint32_t flags);
// The length check of a kept text taken as UTF-8 without conversion (the
// vault family): 0, or -802 (message 1943) for one longer than max bytes.
// strio_in checks only converted texts: an unconverted copy is the
// engine's own (a file read), cut as it always was.
int32_t strio_kept_length_check(context* ctx, const char* utf8, uint32_t max);
int32_t strio_in_1024(context* ctx, const char* src, char* dst, uint32_t flags);
int32_t strio_in_4096(context* ctx, const char* src, char* dst, uint32_t flags);
int32_t strio_in_16384(context* ctx, const char* src, char* dst, uint32_t flags);

// strio_in for a caller that only reads the text: a value or a text not
// kept (kStrioValue, kStrioUnkept), in a UTF-8 session (or with flag bit 0
// clear), well formed and of at most max bytes, is used where it lies,
// *out = src, since converting it would copy it unchanged. Otherwise the
// text is converted (and a kept text checked) into dst as strio_in does
// and *out = dst. Results as strio_in.
int32_t strio_in_view(context* ctx, const char* src, char* dst, uint32_t max, uint32_t flags, const char** out);

int32_t strio_out(context* ctx, const char* src, char* dst, uint32_t max, uint32_t flags);

// strio_out of a text whose whole length its caller measured (through
// strio_whole_known, before telling any cut of it): `whole` in UTF-8, not
// above src's own length when src is whole, kWholeUnknown when not known;
// 0 is strio_out. An output that cuts the start of a longer text tells the
// whole text, not the start it was given: its length in a UTF-8 session
// (message 1920), in any other that the whole text is longer (1926), since
// its length there is not known. strio_out itself, told nothing, takes the
// text as whole unless the call cut another before (strio_whole_known).
int32_t strio_out_whole(context* ctx, const char* src, char* dst, uint32_t max, uint32_t flags, uint64_t whole);

// strio_out resolved once for a caller that converts many texts in one call
// (the words of a chop): the checks of the session encoding and the
// character library's flags are settled by strio_out_plan_make, and
// strio_out_planned then gives exactly what strio_out would. A plan whose
// encoding cannot convert leaves every text to strio_out, which reports it.
struct strio_out_plan {
  context* ctx;
  uint32_t flags;     // strio flags
  uint32_t lib_flags; // the character library's flags; 0 with `direct` false
  uint32_t term;      // terminator bytes written: strio_terminator_for(ctx, flags)
  bool direct;        // the encoding converts: np_uchar_decode is called as is
  bool ascii_same = false;  // `direct`, and an ASCII text converts as a plain copy
};
void strio_out_plan_make(context* ctx, uint32_t flags, strio_out_plan* plan);
int32_t strio_out_planned(const strio_out_plan* plan, const char* src, char* dst, uint32_t max);
// The outputs documented as "1,028 bytes + terminator": 1,028 bytes of text
// and the terminator of strio_terminator_for (1,030 bytes in all, converted
// in a UCS-2 session).
int32_t strio_out_1028(context* ctx, const char* src, char* dst, uint32_t flags);
// The size in all of the fixed text outputs that tq.h gives as 1,028 bytes
// (a pattern, an n-gram, a solution rule's category, the texts of the
// parse, morph, identification, extraction, guess and language guess
// infos), the terminator included.
inline constexpr uint32_t kTextOutSize = 1028;
// strio_out into an output of `size` bytes in all, the terminator of
// strio_terminator_for included (a struct field, a buffer whose size tq.h
// gives as a whole): size - 1 bytes of text, size - 2 converted in a UCS-2
// session, cut and noted as strio_out cuts. -802 (nothing written) for a
// size below the terminator.
int32_t strio_out_sized(context* ctx, const char* src, char* dst, uint32_t size, uint32_t flags);
int32_t strio_out_4096(context* ctx, const char* src, char* dst, uint32_t flags);
int32_t strio_out_16384(context* ctx, const char* src, char* dst, uint32_t flags);

// Makes a caller's output text empty in every session encoding: its first
// four bytes zero. strio_out_clear_n clears min(4, size) bytes for callers
// that know the buffer's size.
void strio_out_clear(context* ctx, char* out);
void strio_out_clear_n(context* ctx, char* out, uint32_t size);

// 1 when the text is NULL or starts with the terminator (of the session
// encoding with flag bit 0 set); 0 otherwise, and for a NULL context.
int strio_is_empty(context* ctx, const char* text, uint32_t flags);

// The session encoding's terminator size: 2 for the UCS-2 encodings, else 1.
uint32_t strio_terminator_size(const context* ctx);
// The terminator a strio_out with these flags writes: the session
// encoding's when it converts (flag bit 0), else one byte, since a text
// written without conversion is internal UTF-8. A caller giving the text's
// room as a size in all takes this off it.
inline uint32_t strio_terminator_for(const context* ctx, uint32_t flags) {
  return (flags & kStrioConvert) != 0 ? strio_terminator_size(ctx) : 1;
}
// The same for an encoding id: 2 for the UCS-2 encodings, else 1.
uint32_t strio_char_size(int32_t encoding);

// ---- Export implementations ----------------------------------------------------

int32_t session_encoding_get(context* ctx, uint32_t* enc);
int32_t session_encoding_set(context* ctx, uint32_t enc);
int32_t session_encoding_name_get(context* ctx, char* name);
int32_t encoding_get_by_name(context* ctx, const char* name, uint32_t* enc);

}  // namespace tq

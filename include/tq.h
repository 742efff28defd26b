/*
 * tq.h - the public interface of the data-quality engine (libtq).
 *
 * Every function returns a result code (int32_t): 0 success, negative
 * failure, positive success with a condition (a warning); but for
 * tq_options_get and tq_options_set (an option word), tq_version_get (the
 * version number), tq_error_is_critical (1 or 0) and tq_match_encode (a
 * byte count). Out-values go through pointer arguments. Text crosses the
 * interface in the context's session encoding (ISO-8859-1 by default);
 * output buffers must hold the stated maximum plus one terminator of the
 * session encoding (two bytes for the UCS-2 encodings), but for those given
 * as a size, terminator included (the *_SIZE constants, the caller's size
 * of a call that takes one, "1,028 bytes, terminator included"): a text
 * there is cut to leave room for the terminator inside that size.
 *
 * Failures are recorded in the context's error list (nothing is recorded
 * while messages are disallowed: tq_error_allow_msgs_set); read it with
 * tq_error_info_get. Every export runs through the call frame, which
 * clears the list on entry, but for these seventeen, which do not clear
 * it: tq_init, tq_init_edit_mode, tq_clone, tq_close, tq_zel_path_set,
 * tq_path_set, tq_path_get, tq_root_path_get, tq_options_get,
 * tq_options_set, tq_version_get and the six of "Errors"
 * (tq_error_info_get, tq_error_info_get_by_index, tq_error_count_get,
 * tq_error_allow_msgs_set, tq_error_allow_msgs_get, tq_error_is_critical).
 * Of these, only the following record anything, added after the records
 * already there (so after a failed call a failed tq_clone shows both
 * calls' errors): tq_clone a NULL result; tq_root_path_get a NULL path;
 * tq_path_get and tq_root_path_get an output cut to its buffer (102);
 * tq_zel_path_set and tq_path_set a root or path longer than TQ_PATH_MAX
 * (a failed tq_init or tq_init_edit_mode leaves no context to read). Their
 * other failures record nothing: tq_clone's -500 and -600, a NULL context,
 * a NULL root, path or buffer given to the other path calls, a size below
 * the terminator, a character refused under strict conversion (only a
 * failure of the character library itself, -700, has its message). The
 * other calls of these seventeen record nothing at all: the error readers
 * never change the list they read, a NULL argument included. A clone
 * starts with a copy of its source's list. A framed call that answers 0
 * leaves no failure there: one that goes on past a failure (a load that
 * reads a file later on first use, a resource read in part) answers with a
 * warning, and an attempt passed over by design (a search folder, a guess
 * candidate, a default name) leaves no record.
 *
 * A text that does not fit is cut between characters, and the call says so:
 * an output cut to its buffer (the caller's size, or the documented size of
 * a fixed buffer) and a value cut to the engines' length on its way in (the
 * value a call parses, cases, standardizes, matches, ...: at most 1,024
 * bytes once in UTF-8; tq_chop_string cuts at 4,096, but fails with -601
 * on a value longer than 1,024) make the call's result the
 * warning TQ_WARN_LIMIT_REACHED (102), with a message in the error list
 * saying what was cut and how long the whole text is (or that it is
 * longer, where that length was not measured: a text measured after
 * another cut of the same call may be the start of one cut before, as the
 * cased text of a value cut on its way in). So does a text an
 * engine cut on the way to fit its own 1,024 bytes (the joined tokens of a
 * standardization, a value that casing or a scheme or a regex library
 * lengthened, the words gathered into a parsed or extracted token): its
 * message names the call and the step, and the result is the start of the
 * whole text, cut between characters (but for a scheme's output built word
 * by word, which leaves a word that does not fit out whole and may still
 * take shorter words after it). A failure wins over it; a value cut
 * on its way in or inside an engine wins over the call's other warnings
 * (but 118, TQ_WARN_NOT_DURABLE), an output cut comes after them.
 * Under TQ_OPT_STRICT_CONVERSION an
 * unconvertible character still fails with -10000. Outside the frame,
 * tq_path_get and tq_root_path_get answer 102 for a cut output with a
 * message naming them; the error readers answer 102 and record nothing,
 * so the list they read stays as it was; and tq_init, tq_zel_path_set and
 * tq_path_set never cut a root or path: one longer than TQ_PATH_MAX bytes
 * once in UTF-8 is refused (-802) and nothing changes.
 *
 * Texts the knowledge base keeps. A text that a call keeps (in a
 * definition, a datatype, a resource, a document: names, owners,
 * descriptions, examples, token values, words, categories, regexes and
 * substitutions, rules, scheme entries, document properties, keys and
 * fields, and the names a load or create registers) must be one its files
 * can hold, and is kept whole or not at all. It is refused, -802 with
 * nothing changed, when it is longer than its limit once in UTF-8 (the
 * limit its function or family gives, or else the size of the getter that
 * reads it back; the name a load or create registers, and a resource a
 * definition names, at most 1,024 bytes before the file's extension): the
 * error list names the call, the text's length and the limit, since a cut
 * name would name another thing. A category a call keeps uppercased
 * (abbreviations of vocabularies, grammars, categorization regex libraries,
 * default categories, parse and guess definitions) is refused likewise when
 * its uppercased form is longer than its limit, since uppercasing can
 * lengthen a text. A document's texts have no limit. It is
 * refused likewise when it holds
 * U+FFFE or U+FFFF (not XML characters: the file could not be read again)
 * or a character of U+10FF00..U+10FFFF (the files carry the control
 * characters U+0001..U+001F and U+007F as U+10FF00 plus the character, so
 * these would read back changed or not at all); so is a byte that is not
 * UTF-8 where a text is taken as UTF-8 without conversion (the vault file
 * family). The text is checked as it would be kept, once in UTF-8: only a
 * UTF-8 or UCS-2 session can give these characters. The error list names
 * the call, the character (as U+XXXX, or the byte) and its place in the
 * text as given, in characters counted from 1 (a byte that is not UTF-8
 * counting as one). Control characters themselves are kept and read back.
 * Texts that are not kept are taken as they are: the values given to the
 * engines (what is parsed, cased, standardized, matched, guessed,
 * extracted, chopped, what a scheme, a regex library or a phonetics rule
 * set is applied to, what an n-gram profile counts), names only looked up
 * or deleted, folders and the names of files only read or written
 * (tq_xml_read, tq_xml_write, tq_vocab_file_convert, tq_lock_create, the
 * vault files' opens), and texts only tried
 * (tq_chopper_rule_validate, tq_chopper_rule_flag_name_validate,
 * tq_regexlib_regex_compile). A regex can still match these characters
 * with an escape (\x{FFFE}). Such a text, or a byte that is not UTF-8,
 * that came in another way (a compiled vocabulary's words) is refused by
 * the writers: tq_xml_write, tq_locale_write, the resource saves and
 * writes, tq_vocab_file_convert and tq_zel_vlt_file_write give -300, the
 * error list naming the file, the character and its place, and the file
 * is left as it was.
 *
 * The text outputs of the value roads (match codes and multicodes, casing,
 * standardization, gender, identification, pattern analysis, phonetics,
 * tq_transf_scheme_apply, regex replacement) never keep the caller's old
 * text: a non-NULL output is made empty when the call starts, before any
 * check, so a call refused or failing before it writes leaves an empty
 * text (for a multicode block: every entry's code empty and its count 0).
 * An output is therefore never the buffer of the value given: that value
 * would be emptied before it is read.
 * A size below one terminator of the session encoding is refused (-802)
 * and the buffer is not written. tq_transf_scheme_apply_mult_out empties
 * its buffers only once the scheme runs: a call refused before (an index
 * that names no scheme, one without TQ_SCHEME_DUPLICATES, a NULL buffer,
 * a size below the terminator) leaves them as they were. Other outputs
 * that a failure sets (-1, NULL, 0) are set by the call itself: a call the
 * frame refuses (the edit-mode rule, a NULL argument) leaves them as they
 * were.
 *
 * Names the knowledge base compares without case are compared alike under
 * every locale, by Unicode's root rules, never the current locale's: a
 * category name is uppercased by those rules wherever it is kept or looked
 * up (a grammar's, a vocabulary's, a definition's or a chopper rule's; under
 * Turkish, Azeri or Lithuanian too, "given" is "GIVEN"), and definition,
 * token and datatype names are compared by full case folding. A knowledge base therefore
 * finds the same names whichever locale loads or uses it. Resource names
 * are compared byte for byte. The values cleansed keep the current
 * locale's casing.
 *
 * Plain C99.
 */
#ifndef TQ_H
#define TQ_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#define TQ_NOEXCEPT noexcept
#else
#define TQ_NOEXCEPT
#endif

#if defined(__GNUC__)
#define TQ_API __attribute__((visibility("default")))
#else
#define TQ_API
#endif

/* The version of this header, equal to what tq_version_get returns
 * (TQ_VERSION_MAJOR << 8 | TQ_VERSION_MINOR); the build takes the
 * library's version from these two lines. */
#define TQ_VERSION_MAJOR 9
#define TQ_VERSION_MINOR 0

/* The per-caller engine object; opaque. */
typedef struct tq_context tq_context;

/* ---- Result codes ------------------------------------------------------ *
 * Every failure an export returns is one of these; the error list
 * (tq_error_info_get) names the cause: the file, the system's reason, the
 * parser's position. A framed export's failure leaves a record (its
 * code's own message where no step recorded one), but for the frame's
 * edit-mode refusals (-501 for a call that needs edit mode, -500 for one
 * that refuses it), which record nothing; so do some failures of the
 * calls outside the frame (see the top).
 *
 * Out of memory is -600, critical to tq_error_is_critical, whatever ran
 * out: the library's own allocation or that of ICU, PCRE2 or Expat. Every
 * export answers it, those outside the frame included, and none aborts the
 * process. A call that fails so changes nothing a caller sees: a failed
 * tq_init or tq_init_edit_mode leaves *out NULL and nothing to close, a
 * failed tq_clone leaves *result NULL, a failed tq_zel_path_set or
 * tq_path_set keeps the root and search path as they were, and an engine's
 * output is a failure, never a text computed another way. What a call
 * builds once and keeps (a charset's table, the word-break iterator of
 * title casing, a regex compiled on first use) is built again by the next
 * call, which gives the clean result once memory is back. One thing is
 * not: ICU sets up its default locale, its resource-bundle cache and its
 * converter alias table once per process. The first tq_init or
 * tq_init_edit_mode of the process reaches them all before it makes
 * anything, so that no later call meets them: memory running out there is
 * that call's -600, and the next start tries again; but ICU may keep
 * refusing what failed inside it, and every later start then answers -600
 * too, until the process starts again. Later starts skip this. One
 * allocation there no call can answer: ICU (72) makes its default locale
 * under a lock of its own, and first copies the system's locale name to
 * the heap; when that copy fails, ICU asks for its default locale again
 * while it holds that lock and waits on itself for ever, so that tq_init
 * never returns. It is the first allocation ICU makes in the process (the
 * first of the first tq_init, unless the program used ICU before, which
 * has made the copy then). The library reaches ICU through its public
 * interface alone, none of which makes that copy outside ICU's lock, so
 * it cannot turn this into a failure. */
#define TQ_OK 0
/* A failure without a code of its own. */
#define TQ_ERR_GENERAL (-1)
#define TQ_ERR_NULL_CONTEXT (-100)
#define TQ_ERR_MSG_LOCALE (-101)
#define TQ_ERR_COMPILED_VOCAB_SHORT (-200)
#define TQ_ERR_INVALID_CONTENT (-300)
#define TQ_ERR_NOTHING_TO_DO (-301)
#define TQ_ERR_FILE_OPEN (-400)
#define TQ_ERR_FILE_LOCKED (-401)
#define TQ_ERR_FILE_WRITE (-402)
/* Reserved: no export returns it. */
#define TQ_ERR_FILE_OPERATION (-403)
#define TQ_ERR_FILE_MISSING (-404)
#define TQ_ERR_LOCK_ACQUIRE (-405)
#define TQ_ERR_LOCK_RELEASE (-406)
#define TQ_ERR_NAME_IN_USE (-407)
#define TQ_ERR_EDIT_MODE (-500)
#define TQ_ERR_NEEDS_EDIT_MODE (-501)
#define TQ_ERR_NO_MEMORY (-600)
#define TQ_ERR_CALL_STACK_FULL (-601)
#define TQ_ERR_CALL_STACK_EMPTY (-602)
#define TQ_ERR_HOLD_NOT_HELD (-603)
#define TQ_ERR_EMPTY_STACK_READ (-604)
#define TQ_ERR_NOT_SUPPORTED (-700)
#define TQ_ERR_NOT_SURFACED (-701)
#define TQ_ERR_FAILED (-702)
#define TQ_ERR_PARSER_UNBOUND (-703)
#define TQ_ERR_DEFN_INVALID (-704)
#define TQ_ERR_NOT_USABLE (-705)
#define TQ_ERR_RESOURCE_LACKS (-706)
#define TQ_ERR_NO_LOCALE (-707)
#define TQ_ERR_PART_MISSING (-708)
#define TQ_ERR_INDEX (-800)
#define TQ_ERR_NAME (-801)
#define TQ_ERR_ARGUMENT (-802)
#define TQ_ERR_SYNTAX (-803)
/* Reading a plain XML document (tq_xml_read and the like); in a vault file
 * the same faults give TQ_ERR_INVALID_CONTENT. The error text gives the
 * file, line, column and the reason. */
#define TQ_ERR_XML_SYNTAX (-5001)       /* not well-formed XML; an empty file */
#define TQ_ERR_XML_PLACEMENT (-5002)    /* an element not expected where it stands */
#define TQ_ERR_XML_NO_FILE (-5003)      /* krxml without a file element */
#define TQ_ERR_XML_NO_TYPE (-5004)      /* file without a type */
#define TQ_ERR_XML_NO_VERSION (-5005)   /* file without a version */
#define TQ_ERR_XML_PROPERTY_NAME (-5006) /* property without a name */
#define TQ_ERR_XML_INCLUDE_NAME (-5007) /* include without a name */
#define TQ_ERR_XML_COLUMN_TYPE (-5008)  /* a column of an unknown type */
#define TQ_ERR_XML_RECORD_COUNT (-5009) /* records do not match the data length */
#define TQ_ERR_XML_COLUMN_COUNT (-5010) /* columns do not match the layout width */
#define TQ_ERR_XML_FIELD_COLUMN (-5011) /* a field naming no known column */
#define TQ_ERR_XML_UNSORTED (-5012)     /* de-duplicating records that are not sorted */
#define TQ_ERR_INVALID_CHAR (-10000)

/* Warnings (positive results). */
#define TQ_WARN_ALREADY_REGISTERED 100
#define TQ_WARN_NO_SOLUTION 101
#define TQ_WARN_LIMIT_REACHED 102
#define TQ_WARN_OUTPUT_EQUALS_INPUT 103
/* A locale load (or tq_locale_write) met problems: the error list says what. */
#define TQ_WARN_LOCALE_PROBLEMS 104
/* Read, with problems the error list names: a definition or part read in
 * part (tq_locale_import), a resource read on first use in part (see "First
 * use" below), a chopper rule kept without its vocabulary or category. */
#define TQ_WARN_READ_PROBLEMS 105
#define TQ_WARN_FEWER_CANDIDATES 106
#define TQ_WARN_META_MISSING 107
#define TQ_WARN_NO_MESSAGE_TEXT 108
#define TQ_WARN_MESSAGES_DISALLOWED 109
#define TQ_WARN_DUPLICATES_DROPPED 111
#define TQ_WARN_SCHEME_DUPLICATES 112
#define TQ_WARN_REGEX_NOT_STUDIED 113
#define TQ_WARN_PHONETICS_REWIND 114
#define TQ_WARN_PHONETICS_CUT 115
#define TQ_WARN_CHAR_REPLACED 116
#define TQ_WARN_NEWER_VERSION 117
/* A save's new file is in place and read from now on, but its folder could
 * not be forced to the disk, so after a crash or a power loss the name may
 * hold the old file again (whole: never a part of either). The error list
 * names the folder and the system's reason. A failure of the same call
 * wins over it; it wins over every other warning of the call (a save that
 * also dropped duplicates answers 118, the 111 staying in the error list),
 * a cut's 102 included. */
#define TQ_WARN_NOT_DURABLE 118
/* Done (an _edit_new or tq_scheme_create made or found its file and locked
 * it), but the temporary name the file was made under could not be
 * removed (the system refused): the error list names it and the system's
 * reason. It stays beside the file until a save of the file made after
 * this program has ended removes it. A release (tq_lock_free, the _close
 * calls, tq_zel_vlt_file_close, tq_scheme_unload_edit) whose lock file
 * could not be removed answers it too: the file is released, and its lock
 * file stays, named in the error list, an empty file that keeps no one
 * out (see tq_lock_free). */
#define TQ_WARN_TEMPORARY_STAYS 119
/* Released, but a lock file the release gave back had been removed or
 * replaced by someone else while it was held (see tq_lock_free): another
 * editor may have taken the file meanwhile. The error list names it. It
 * wins over 119. */
#define TQ_WARN_LOCK_FILE_LOST 120

/* ---- Option word bits (tq_options_set; the default word is 1) ---------- */
/* Knowledge-base files are read under a shared lock, which lets other
 * readers in and keeps out a program holding the file exclusively; under
 * TQ_OPT_NO_LOCK_FILES no lock at all is taken (nor lock files made). */
#define TQ_OPT_NO_LOCK_FILES 0x10000u
/* Opens every knowledge-base file exclusively: a file another program,
 * process or context has open (for reading too) is refused. A file held
 * elsewhere gives -401 whatever its kind and however it is opened (locale
 * and vault files, every resource kind in its compiled, krxml or older
 * form, edits, the meta file), the error list saying "The file '...' is
 * locked by another program or context." with the file's path; a file
 * found but held is never passed over for a later search-path folder or
 * an older form. A resource's failed first use leaves it registered, so
 * its next use, once the holder lets go, reads it. */
#define TQ_OPT_SECOND_OPEN_FLAG 0x20000u
#define TQ_OPT_STRICT_CONVERSION 0x40000u /* an unconvertible character fails with -10000 */
#define TQ_OPT_WARN_REPLACED 0x80000u     /* a replaced character gives the warning 116 */
#define TQ_OPT_ALL_SURFACED 0x100000u
#define TQ_OPT_ALLOW_PARSED_INPUT 0x200000u
#define TQ_OPT_PREPARE_ON_READ 0x400000u
#define TQ_OPT_APPLY_NEWER_DEFNS 0x800000u

/* ---- Session encodings (tq_session_encoding_set) ------------------------ */
#define TQ_ENC_ISO_8859_1 0
#define TQ_ENC_IBM_1047 1
#define TQ_ENC_ISO_8859_2 2
#define TQ_ENC_ISO_8859_7 3
#define TQ_ENC_ISO_8859_11 4
#define TQ_ENC_ISO_8859_5 5
#define TQ_ENC_ISO_8859_9 6
#define TQ_ENC_CP1252 7
#define TQ_ENC_CP1250 8
#define TQ_ENC_CP1253 9
#define TQ_ENC_CP874 10
#define TQ_ENC_CP1251 11
#define TQ_ENC_CP1254 12
#define TQ_ENC_UTF8 13
#define TQ_ENC_UCS2_BE 14
#define TQ_ENC_UCS2_LE 15

/* Buffer sizes of interface texts (bytes, terminator not included). */
#define TQ_VERSION_TEXT_MAX 64
#define TQ_PATH_MAX 16384
#define TQ_ERROR_TEXT_MAX 4096
#define TQ_ENCODING_NAME_MAX 320
/* Names, owners and replacement names of datatypes and definitions, their
 * token names, and the owners of resources, as the getters write them. */
#define TQ_NAME_MAX 320

/* ---- Context life cycle, paths, options, version ------------------------ */

/* Opens a context on the knowledge-base root (NULL or "" for none). The root
 * is read in encoding 0 (ISO-8859-1); UTF-8 callers pass NULL, set the
 * session encoding and then call tq_zel_path_set. On failure (-802 for a
 * NULL out or a root longer than TQ_PATH_MAX bytes once in UTF-8, -600 when
 * memory runs out) *out is NULL: nothing was opened and there is nothing to
 * close. */
TQ_API int32_t tq_init(tq_context** out, const char* root) TQ_NOEXCEPT;
/* As tq_init, for programs that author the knowledge base. */
TQ_API int32_t tq_init_edit_mode(tq_context** out, const char* root) TQ_NOEXCEPT;
/* A new context sharing the loaded knowledge of ctx. It starts with ctx's
 * options, session encoding, root, search path and message settings and a
 * copy of ctx's error list, which it reports until its own first framed
 * call. -500 for an edit-mode ctx (nothing recorded, *result untouched). */
TQ_API int32_t tq_clone(tq_context* ctx, tq_context** result) TQ_NOEXCEPT;
/* Closes a context; the locales and resources it loaded need no unload
 * first. The knowledge that clones share goes with the last of them to
 * close. A context that closes while others sharing its knowledge stay
 * open (its source or its clones) passes its client loads to them, as one
 * count per locale or resource: each stays loaded until unloads by the
 * others give the count back (see "Client loads"). */
TQ_API int32_t tq_close(tq_context* ctx) TQ_NOEXCEPT;
/* Sets the root; the search path becomes its eight sub-folders. An empty
 * root changes nothing (0); NULL gives -802 with no record; a root longer
 * than TQ_PATH_MAX bytes once in UTF-8 gives -802 with a record, and the
 * root and search path stay as they were. */
TQ_API int32_t tq_zel_path_set(tq_context* ctx, const char* root) TQ_NOEXCEPT;
/* Replaces the search path by a ';'-separated list of directories ("" for
 * none; the root stays); NULL gives -802 with no record; a path longer than
 * TQ_PATH_MAX bytes once in UTF-8 gives -802 with a record, and the search
 * path stays as it was.
 * A file is looked for in each folder in turn. Only a folder without it
 * (nothing by that name, or a folder or a device by it) is passed over as
 * "not found". Where the file cannot be looked at (a folder that cannot be
 * searched, a link loop, a name too long for the system, an I/O error)
 * the search goes on too, but when no folder has the file that failure is
 * the answer: -400, its message naming the file and the system's reason
 * (tq_file_exists and the list of available locales, which only ask,
 * count such a file as not there). A folder that, joined with the name,
 * makes a path of more than 16,383 bytes is passed over as well, not
 * looked in: when no folder has the file, a read or a load answers -400,
 * its message naming the file, that length and the limit, not "not found".
 * A file to be made along the search path (a plain name written, path ""
 * of an _edit_new or tq_scheme_create) when the search path is empty is
 * refused: -400, its message naming the call and the file, nothing made.
 * A system call interrupted by a signal (EINTR: a handler installed
 * without SA_RESTART, a network file system) is made again, by every file
 * operation, so it never fails a load, a lock or a save. */
TQ_API int32_t tq_path_set(tq_context* ctx, const char* path) TQ_NOEXCEPT;
/* The search path joined with ';' into buffer; size counts every byte the
 * buffer holds, terminator included (at most TQ_PATH_MAX + terminator). A
 * longer search path (the eight folders of a long root may take more than
 * TQ_PATH_MAX bytes) is cut between characters: 102, the message giving
 * its whole length. A NULL buffer or a size below one terminator gives
 * -802 with no record. */
TQ_API int32_t tq_path_get(tq_context* ctx, char* buffer, uint32_t size) TQ_NOEXCEPT;
/* The root into path (TQ_PATH_MAX + terminator bytes; "" for none). A root
 * longer than TQ_PATH_MAX bytes in the session encoding (in UCS-2, one of
 * more than 8,192 characters) is cut between characters: 102. */
TQ_API int32_t tq_root_path_get(tq_context* ctx, char* path) TQ_NOEXCEPT;
/* Names and files. A file or resource name without '/' or '\' (a scheme,
 * vocabulary or other resource that a locale or definition names, a name
 * given to a load, tq_lock_create or tq_xml_read) is looked for along the
 * search path. A name holding one is a path, used as it is: absolute, or
 * relative to the program's working folder, not to the root. So a knowledge
 * base, one from someone else too, may name files outside its root: the
 * engines read them there, and an editor that opens such a resource and
 * saves it replaces the file there, its lock file and the save's temporary
 * file made beside it. Every save writes through symbolic links: the link
 * stays, and the file it leads to is replaced; a link whose target is
 * missing is refused (-404) by tq_xml_write and every _edit_new. A read
 * for editing (an edit load of any kind, tq_zel_locale_load_edit,
 * tq_zel_vlt_file_edit) reads the file its lock holds, in the folder the
 * lock holds, under its name there: should the name lead elsewhere by the
 * read (a link pointed at another file since the lock was taken), the held
 * file is read all the same, and a link found at its held name is refused
 * (-400), never followed. A save of a file read for editing (the resource
 * saves, tq_vocab_save, tq_zel_vlt_file_write, tq_locale_write) writes the
 * file the edit read through its lock, where that file now is: should the
 * link that led to it have been pointed elsewhere, or its folder renamed,
 * since the file was locked, the save writes the file the lock holds (in
 * the renamed folder, say), never the file the name leads to now, nor
 * another file of the same name the handle holds too, and its release
 * removes its own lock file there and no other.
 * What a resource or a locale was read from (its file, as its lock holds
 * it, and the version read: device, inode, size and modification time)
 * decides every save and every taking of its file again, and a save never
 * writes over another version than the one read (or last saved by it):
 * - A save through a handle that holds that file, as the edit locked it
 *   or as it was taken again since, writes it. One read before the handle
 *   took its file (loaded without a handle, then locked by tq_lock_create;
 *   a lock released and taken again) writes the file the handle holds
 *   that is still the version read, whatever its name.
 * - Taking again for editing what is loaded already (a resource's edit
 *   call or load with a handle, tq_zel_locale_load_edit of a loaded
 *   locale or of one whose ancestor is loaded) checks the file it locks:
 *   the version read is taken; another version (another editor saved it
 *   in between) refuses the call (-405, saying the file has changed since
 *   it was read), leaving nothing locked by it, and so does the save of
 *   what tq_lock_create locked. What was loaded stays as it was read:
 *   give back every load of it and load it again to edit the file as it
 *   is now (a loaded ancestor of an edit load is left unlocked instead,
 *   its write refused, and the load answers 104). tq_scheme_load_edit
 *   reads its scheme again.
 * - A resource a definition named, not read yet, and then taken by an edit
 *   call, is read on its first use from the file the handle holds.
 * - What was made in memory (a _create) is saved to the file of its name
 *   the handle holds; of several, the one its _edit_new made, or an edit of
 *   that name read, through the handle; two files of the name that no edit
 *   took are refused (-405, naming both).
 * - A save through a handle that holds nothing, or no such file, or
 *   through another context's handle, is refused (-405, -405, -802).
 * Each such lock keeps the folder holding the file open while it is held:
 * one descriptor per folder and context. */
/* Returns the option word, not a result code; 0 for a NULL context. */
TQ_API uint32_t tq_options_get(tq_context* ctx) TQ_NOEXCEPT;
/* Replaces the option word (every bit is kept as given) and returns the
 * previous one, not a result code; a NULL context: 0, nothing set. */
TQ_API uint32_t tq_options_set(tq_context* ctx, uint32_t options) TQ_NOEXCEPT;
/* Returns the library's version as TQ_VERSION_MAJOR << 8 | TQ_VERSION_MINOR
 * (2304 for 9.0), not a result code; writes the version text (at most
 * TQ_VERSION_TEXT_MAX bytes and a one-byte terminator, whatever any
 * session encoding) when buffer is not NULL. A program built with this
 * header may compare it with the library it runs with. */
TQ_API int32_t tq_version_get(char* buffer) TQ_NOEXCEPT;

/* ---- Threads ----------------------------------------------------------
 * - A context serves one thread at a time: calls on the same context must
 *   not overlap.
 * - Clones (tq_clone, also of a clone) share the loaded knowledge of their
 *   source: locales with their datatypes and definitions, and the resources
 *   these hold. Each has its own options, session encoding, search path,
 *   error list and work buffers (the settings and the error list copied
 *   from its source when it is made). Clones may run on their own threads
 *   at the same time, engines included, while any of them loads and unloads
 *   locales or makes and closes clones of its own: a call sees the shared
 *   knowledge as it was before or after a load or an unload by another
 *   clone, never half of it: a call on a locale that another clone unloads
 *   meanwhile either runs on it whole or fails (-707 or -704), its outputs
 *   left as a failed call leaves them.
 * - A clone may outlive its source; clones close in any order.
 * - tq_init may run on several threads at once; contexts opened by separate
 *   tq_init calls share nothing and may be used at the same time.
 * - An edit-mode context cannot be cloned (-500): editing is one thread's.
 * - Stack: every call (the loads and edit loads, the saves, every engine)
 *   works on a thread of 64 KiB of stack in an optimized build, as small
 *   thread pools and musl's 128 KiB default give; the library keeps paths
 *   and buffers of kilobytes on the heap or in the context, not on the
 *   stack, and a heap that runs out is -600, never a crash. The thread's
 *   own needs (its static thread-local storage, the caller's frames, a
 *   debugger's or a sanitizer's instrumentation, an unoptimized build's
 *   larger frames) come on top of that figure. */

/* ---- Client loads -------------------------------------------------------
 * A load of a locale (tq_zel_locale_load and _edit) or of a resource (a
 * load by name of a vocabulary, chopper, regex library, phonetics rule set,
 * scheme or grammar, also of a name already registered, and in edit mode
 * each creation and edit that hands out an index) is a client load of the
 * context that made it. Each needs one unload (tq_zel_locale_unload and
 * _edit; the kind's unload export, also tq_regexlib_unload_ex and
 * tq_scheme_unload_edit):
 * - While a context is open, its loads are its own: only it gives them
 *   back, and an unload by another context takes none of them. Its unload
 *   gives back one of its own loads when it holds one.
 * - When a context closes, the loads it did not give back pass to the
 *   contexts sharing its knowledge that stay open, as one count per locale
 *   or resource. An unload by a
 *   context that holds no load of its own there gives back one of these.
 * - An unload that finds neither changes nothing: for a locale the answer
 *   is 0 (as for one not loaded), for a resource -800 with message 1840.
 * - A locale goes with the last of its client loads given back, unless it
 *   is loaded as the parent of a locale still loaded. A resource goes with
 *   its last client load given back, unless definitions of a loaded locale
 *   still use it; the definitions' use never counts as a client load. What
 *   is left goes with the last context to close.
 * - A resource index is good until its resource goes; its slot may then
 *   take another resource. An unload through such a stale index never takes
 *   a load that an open context made of the new one (it may give back one
 *   that a closed context left of it, as any unload may). */

/* First use: a resource is read by the first call that needs it (a getter,
 * an engine, an edit), or under TQ_OPT_PREPARE_ON_READ by the call that
 * names it (a locale load, the resource's load).
 * One that reads only in part (a chopper whose rule names a vocabulary
 * that cannot be had, or a category that vocabulary lacks: the rule is
 * kept, flagged and skipped) makes that call's result the warning 105
 * where it would be 0, the failures in its list; later calls read nothing
 * and say nothing of it. */

/* ---- Errors ------------------------------------------------------------
 * The error list holds the records of the context's last framed call (a
 * clone that has made none: a copy of its source's list), followed by
 * those of the calls outside the frame made since (see the top); none of
 * these six clears it.
 * Memory running out keeps no failure out of the list: the list keeps room
 * for one failure apart from the context's making on, which the first
 * failure to find the list unable to grow takes (a warning that finds it
 * so is left out). A record, once made, is never replaced: what a call
 * lists is what it met, in order, less the attempts it passed over by
 * design. A -600 whose step had no memory left to make its text says
 * "Out of memory.", or, for a file being read, that there was not enough
 * memory to read it, naming the file. */

/* The newest record: its code and text (TQ_ERROR_TEXT_MAX + terminator
 * bytes); code 0 and "No error info available" when the list is empty. A
 * record's text may hold up to 4,099 bytes of UTF-8: a text longer than
 * TQ_ERROR_TEXT_MAX bytes in the session encoding (in UCS-2, one of more
 * than 2,048 characters) is cut between characters and the call answers
 * TQ_WARN_LIMIT_REACHED (102). The readers (these two, tq_error_count_get,
 * tq_error_allow_msgs_get, tq_error_is_critical) record nothing, also for
 * a NULL argument (-802): the list stays as it was. */
TQ_API int32_t tq_error_info_get(tq_context* ctx, int32_t* error_code, char* error_string) TQ_NOEXCEPT;
/* Record index (0 .. count - 1) as tq_error_info_get gives the newest;
 * beyond them -800, *error_code 0 and an empty text, nothing recorded. */
TQ_API int32_t tq_error_info_get_by_index(tq_context* ctx, uint32_t index, int32_t* error_code,
                                          char* error_string) TQ_NOEXCEPT;
TQ_API int32_t tq_error_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
/* Nonzero (the default 1): failures and warnings are recorded; 0: nothing
 * is recorded in the list. */
TQ_API int32_t tq_error_allow_msgs_set(tq_context* ctx, uint32_t allow) TQ_NOEXCEPT;
TQ_API int32_t tq_error_allow_msgs_get(tq_context* ctx, uint32_t* allow) TQ_NOEXCEPT;
/* Returns 1 for -100, -200 and -600, else 0; not a result code. */
TQ_API uint32_t tq_error_is_critical(int32_t code) TQ_NOEXCEPT;

/* ---- Session encoding --------------------------------------------------- */

TQ_API int32_t tq_session_encoding_get(tq_context* ctx, uint32_t* enc) TQ_NOEXCEPT;
TQ_API int32_t tq_session_encoding_set(tq_context* ctx, uint32_t enc) TQ_NOEXCEPT;
/* The session encoding's name, in the session encoding (TQ_ENCODING_NAME_MAX
 * + terminator bytes). */
TQ_API int32_t tq_session_encoding_name_get(tq_context* ctx, char* name) TQ_NOEXCEPT;
/* The id of an encoding by its exact name; -1 (and *enc = 0xFFFFFFFF) when unknown. */
TQ_API int32_t tq_encoding_get_by_name(tq_context* ctx, const char* name, uint32_t* enc) TQ_NOEXCEPT;

/* ---- XML documents ---- */

/* A krxml document: made by tq_xml_create or tq_xml_read, freed by
 * tq_xml_free (an included document belongs to the document it is in).
 * The texts a document keeps are refused (-802) as "Texts the knowledge
 * base keeps" at the top says; the names looked up (tq_xml_getprop,
 * tq_xml_setprop's name) and file names are taken as they are. */
typedef struct tq_xmldoc tq_xmldoc;
/* One field of a record; a record gives one per column, in column order.
 * type is the column's type: 1 string (text; NULL counts as ""), 2 int
 * (number). */
typedef struct tq_xml_field {
  uint32_t type;
  const char* text;
  int32_t number;
} tq_xml_field;

/* Read and write flags: 1 vault (enciphered) file, 2 sort the records by
 * key, 8 use the name as given (no extension added). A plain name is found
 * along the search path; a written plain name goes into the first
 * search-path folder where it can be made. tq_xml_read refuses a file
 * name of more than 16,383 bytes with its extension (-802, its length and
 * the limit named). A document read, plain or
 * vault, and every knowledge-base file the loads read, holds only its own
 * text: a reference to an entity it does not define (`&name;` with no
 * declaration of its own), or to an external entity, is refused with -300
 * (TQ_ERR_INVALID_CONTENT) wherever it stands (in text, in an attribute
 * value or default, in the text of an entity these name) and whether the
 * document names a DTD, none, or calls itself standalone: the error names
 * the file, the line and column of the reference (for one an entity's
 * text makes, of the reference in the document that brought it) and the
 * entity. No entity is ever read from outside the document. Comments and
 * processing instructions are no part of the text and are never looked
 * into; a document in ISO-8859-1 or UTF-16 reads as its UTF-8 twin
 * does. The predefined entities (&amp; &lt; &gt; &quot; &apos;),
 * character references and the internal entities the document declares
 * itself are read as XML reads them.
 * A field of an "int" column whose number lies outside the int32 range
 * holds no number a field can take: the document is read all the same and
 * keeps it as the file writes it ("+0002147483648" stays that text), and
 * tq_xml_write writes it back so, never a number near it. A load refuses
 * the definition or resource that holds such a field (see
 * tq_zel_locale_load). */
TQ_API int32_t tq_xml_read(tq_context* ctx, const char* file, uint32_t flags, tq_xmldoc** xml) TQ_NOEXCEPT;
/* unused has no effect. The file is replaced whole: a failed write leaves
 * the previous file as it was, and no save, failed or not, leaves its
 * temporary file beside it (unless the system refuses to remove it: the
 * error list then names the temporary file that stays). The new file and
 * then its folder are forced to the disk; a folder that cannot be makes
 * the save (this one, the resource and locale saves, tq_zel_vlt_file_write,
 * tq_vocab_file_convert) answer TQ_WARN_NOT_DURABLE (118) with the file
 * replaced, unless the call has failed otherwise, whatever other warning
 * it has (that one stays in the error list).
 * A name that is a symbolic link whose target is
 * missing is refused (-404, the message naming both), by this and every
 * save as by the _edit_new calls. Every save (this one, the resource and
 * locale saves, tq_vocab_file_convert) keeps the file's owner, group,
 * access control list and permission bits: the replacement is born
 * readable and writable by its owner alone and takes them before its first
 * byte, so a save never lets anyone read or write the file who could not
 * before. One whose owner or group this process may not give the new file
 * is refused (-400) unless it has no access control list and its
 * permission bits grant that owner or group nothing the others lack; one
 * whose access control list or permission bits it may not give is refused
 * (-400) too, and so is one whose owner, group, list or bits cannot be read
 * (the error list saying which could not be read, and why). A file that
 * was not there,
 * like the empty file the _edit_new calls make, is made as the system makes
 * a new file: read and write for all less the umask, or as the folder's
 * default access control list says. Every writer refuses (-300, the file
 * left as it was) a text its reader could not read back as it is: see
 * "Texts the knowledge base keeps" at the top. */
TQ_API int32_t tq_xml_write(tq_context* ctx, int32_t unused, const char* fname, uint32_t flags,
                            tq_xmldoc* xml) TQ_NOEXCEPT;
TQ_API int32_t tq_xml_create(tq_context* ctx, const char* type, const char* version, tq_xmldoc** xml) TQ_NOEXCEPT;
TQ_API int32_t tq_xml_addprop(tq_context* ctx, tq_xmldoc* xml, const char* name, const char* value) TQ_NOEXCEPT;
/* kind 2: value is a file name (const char*) referenced by the document;
 * kind 1: value is a tq_xmldoc* that the document takes over. */
TQ_API int32_t tq_xml_addref(tq_context* ctx, tq_xmldoc* xml, const char* name, uint32_t kind,
                             void* value) TQ_NOEXCEPT;
/* value: 1,028 bytes + terminator; "" when there is no such property. */
TQ_API int32_t tq_xml_getprop(tq_context* ctx, tq_xmldoc* xml, const char* name, char* value) TQ_NOEXCEPT;
/* Replaces the value of an existing property; nothing happens when absent
 * (the name is only looked up). */
TQ_API int32_t tq_xml_setprop(tq_context* ctx, tq_xmldoc* xml, const char* name, const char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_xml_free(tq_context* ctx, tq_xmldoc* xml) TQ_NOEXCEPT;
/* key NULL counts as ""; value may be NULL; fields NULL gives empty fields. */
TQ_API int32_t tq_xml_addrec(tq_context* ctx, tq_xmldoc* xml, const char* key, const char* value,
                             const tq_xml_field* fields) TQ_NOEXCEPT;
TQ_API int32_t tq_xml_setrec(tq_context* ctx, tq_xmldoc* xml, int32_t index, const char* key, const char* value,
                             const tq_xml_field* fields) TQ_NOEXCEPT;
/* Sets the string field of column `field` in record `index`. */
TQ_API int32_t tq_xml_setrecstring(tq_context* ctx, tq_xmldoc* xml, int32_t index, int32_t field,
                                   const char* value) TQ_NOEXCEPT;
/* Looks for file_name as a vault file ("zel", then "krd"), or with vocab
 * nonzero as a vault vocabulary ("zev", then "krv"): 0 when found, -1 when
 * not. path (may be NULL): TQ_PATH_MAX + terminator bytes. */
TQ_API int32_t tq_file_exists(tq_context* ctx, const char* file_name, int32_t vocab, char* path) TQ_NOEXCEPT;

/* ---- Locales ---- */

/* Texts of the locale table (bytes, terminator not included). */
#define TQ_LOCALE_ISO_MAX 20
#define TQ_LOCALE_DESCRIPTION_MAX 320
#define TQ_LOCALE_FILE_NAME_MAX 4096

/* Locale code of a description or of an ISO code ("ENUSA"); exact and
 * case-sensitive; *locale = -1 and -802 when unknown. */
TQ_API int32_t tq_locale_code_get_by_description(tq_context* ctx, const char* desc, int32_t* locale) TQ_NOEXCEPT;
TQ_API int32_t tq_locale_code_get_by_iso_name(tq_context* ctx, const char* iso_name, int32_t* locale) TQ_NOEXCEPT;
/* name: TQ_LOCALE_ISO_MAX + terminator bytes. */
TQ_API int32_t tq_locale_iso_name_get_by_code(tq_context* ctx, int32_t locale, char* name) TQ_NOEXCEPT;
/* desc: TQ_LOCALE_DESCRIPTION_MAX + terminator bytes. */
TQ_API int32_t tq_locale_description_get_by_code(tq_context* ctx, int32_t locale, char* desc) TQ_NOEXCEPT;
/* The number of locales the engine knows (511). */
TQ_API int32_t tq_supported_locale_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
/* The row at index (0 .. count - 1; -800 beyond): iso_code_name
 * TQ_LOCALE_ISO_MAX + terminator bytes, description
 * TQ_LOCALE_DESCRIPTION_MAX + terminator bytes. */
TQ_API int32_t tq_supported_locale_info_get(tq_context* ctx, uint32_t index, char* iso_code_name,
                                            char* description) TQ_NOEXCEPT;
TQ_API int32_t tq_supported_locale_code_get(tq_context* ctx, uint32_t index, int32_t* locale) TQ_NOEXCEPT;
/* The default parent of a locale of the table; -1 when it has none. */
TQ_API int32_t tq_supported_locale_parent_get(tq_context* ctx, int32_t locale, int32_t* parent) TQ_NOEXCEPT;
/* The locales whose files are on the search path: begin makes an iterator
 * (freed by end), next gives one code after the other and *code -1 (result
 * 0) at the end. */
TQ_API int32_t tq_available_locale_code_get_begin(tq_context* ctx, void** locale_handle_ptr) TQ_NOEXCEPT;
TQ_API int32_t tq_available_locale_code_get_next(tq_context* ctx, void* handle, int32_t* code) TQ_NOEXCEPT;
TQ_API int32_t tq_available_locale_code_get_end(tq_context* ctx, void* handle) TQ_NOEXCEPT;
/* The ISO code of a locale file name ("enusa.loc" -> "ENUSA"; "" for a name
 * that is not a locale file's). iso_name: TQ_LOCALE_ISO_MAX + terminator
 * bytes. */
TQ_API int32_t tq_locale_get_iso_name_from_filename(tq_context* ctx, const char* filename,
                                                    char* iso_name) TQ_NOEXCEPT;
/* The locale file name of an ISO code ("ENUSA" -> "enusa.loc"). filename:
 * TQ_LOCALE_FILE_NAME_MAX + terminator bytes. */
TQ_API int32_t tq_locale_get_file_name(tq_context* ctx, const char* iso_name, char* filename) TQ_NOEXCEPT;
/* The ISO code of the parent that the file of locale `iso` names ("Parent
 * Locale"), without loading it; -1 when the file names no parent.
 * parent_iso: TQ_LOCALE_ISO_MAX + terminator bytes. */
TQ_API int32_t tq_parent_locale_nonloaded_get_from_file(tq_context* ctx, const char* iso,
                                                        char* parent_iso) TQ_NOEXCEPT;

/* ---- Lock files ---- */

/* A context's hold on the lock files of knowledge-base files opened for
 * editing; made by tq_lock_init, freed by tq_lock_free. */
typedef struct tq_lock_handle tq_lock_handle;

TQ_API int32_t tq_lock_init(tq_context* ctx, tq_lock_handle** lock) TQ_NOEXCEPT;
/* Releases every file the handle locks, then frees it; NULL is ignored.
 * Resources registered for editing with the handle and not used yet load
 * without it afterwards. A handle locks its first file and at most 10
 * further ones; the next gives -401 (its message says the handle is full).
 * Each lock file goes with its release, and only while its name reaches
 * the lock file the handle holds: one removed, or replaced by another
 * editor's, since it was made is not touched. The system removes a file
 * by name only, so a lock file removed by hand in the very moment between
 * the release's look and its removal, and another editor's made at its
 * name in that moment too, would be removed in its place; said (120) when
 * the release can tell. A release answers, the files released and the
 * handle holding nothing all the same:
 * - 119 (TQ_WARN_TEMPORARY_STAYS) when a lock file could not be removed (a
 *   folder made read-only since, an I/O error): it stays beside its file,
 *   named in the error list with the system's reason. It keeps no one
 *   out: a lock is held on a lock file, not by its being there, and the
 *   next lock of the file takes it over;
 * - 120 (TQ_WARN_LOCK_FILE_LOST) when someone else (by hand, say) had
 *   removed a lock file, or put another file at its name, while it was
 *   held. That is what removing a held lock file costs: nothing but the
 *   lock file keeps a second editor out, so from then on another context or
 *   program could lock the file and edit it, and its save and this one's
 *   may each have replaced the other's. The release leaves whatever has the
 *   name now (but in the moment above); the error list names the lock file.
 * The _close calls, tq_zel_vlt_file_close and tq_scheme_unload_edit
 * release alike, with the same answers. */
TQ_API int32_t tq_lock_free(tq_context* ctx, tq_lock_handle* lock) TQ_NOEXCEPT;
/* Locks the file fname of file kind `kind` (found along the search path):
 * the file "<file>.lck" is created beside the file fname's chain of
 * symbolic links ends at (the file a save replaces), and held until the
 * last handle of the context releases the file. A lock is known by that
 * file's folder (whatever path reaches the folder) and its name there, so
 * one file has one lock whatever name reaches it (a link, the target's own
 * path, relative or absolute): an editor in another context or process is
 * refused (-401) by any of them. (A hard link is a file of its own here: a
 * save replaces the file by a new one, which parts it from its other
 * links.) Every edit load and save that locks or looks up a file's lock
 * looks at the links and the folder first; when it cannot (-600, or -400
 * with the system's reason: an I/O error, a loop of links, a folder that
 * cannot be searched) the call fails and nothing is locked. -404 when the
 * file does not exist, -401 when another context or process holds its
 * lock, -400 when the lock file cannot be made (in a folder of the link's
 * target that this process may not write into, say) or, made or found,
 * cannot be locked (an I/O error): its message then says that it stays,
 * an unheld file that keeps no one out. The lock file is all that keeps a
 * second editor out: removing it while it is held lets one in (see
 * tq_lock_free, whose release says so). With option
 * TQ_OPT_NO_LOCK_FILES no lock file is made, but the file is recorded as
 * locked. path (may be NULL) receives the file's path as found along the
 * search path (a link stays a link there): TQ_PATH_MAX + terminator
 * bytes. fname, with the extension of its kind added when it lacks it, may
 * have 16,383 bytes once in UTF-8: a longer one is refused (-802, its
 * message giving its length and that limit) and nothing is locked. The
 * lock does not say what the caller means to save through it: a resource
 * or locale loaded before, and saved through the handle, is saved only
 * when the file locked is still the version it was read from (-405 at the
 * save otherwise; see "Names and files"). */
TQ_API int32_t tq_lock_create(tq_context* ctx, const char* fname, uint32_t kind, tq_lock_handle* lock,
                              char* path) TQ_NOEXCEPT;

/* ---- Locale loading and the current locale ---- */

/* What tq_zel_locale_load reads besides the locale itself.
 *
 * What each operation needs loaded:
 *
 *   operation                                    TQ_LOAD_...
 *   tq_parse                                     DATATYPES PARSE_DEFNS
 *   tq_standardize                               DATATYPES PARSE_DEFNS STDZN_DEFNS CASE_DEFNS
 *   tq_match, tq_match_multiple_sens,
 *     tq_match_multicode                         DATATYPES PARSE_DEFNS MATCH_DEFNS
 *   tq_propercase (tq_uppercase, tq_lowercase)
 *     with a case definition                     DATATYPES CASE_DEFNS
 *   tq_identify                                  DATATYPES IDENT_DEFNS
 *   tq_gender_determine                          DATATYPES PARSE_DEFNS GENDER_DEFNS
 *   tq_pattern_analyze                           DATATYPES PATTERN_DEFNS
 *   tq_extract                                   DATATYPES EXTRACT_DEFNS
 *   tq_language_guess_score                      DATATYPES LANGUAGE_DEFNS
 *   tq_guess_locale                              DATATYPES GUESS_DEFNS LANGUAGE_DEFNS
 *
 * (the same for the _by_index and _with_info forms). Every definition
 * names its datatype. The other kinds in a row are those the operation's
 * definition names: a standardization definition names case definitions,
 * a locale guess definition language definitions, and a match, gender or
 * standardization definition that works on parsed tokens names a parse
 * definition, as the sample knowledge base's do (a definition of any kind
 * that names one needs TQ_LOAD_PARSE_DEFNS). Without its own kind the
 * operation finds no definition of the name (-801), and its message names
 * the flag the locale was loaded without (a _by_index form gives -800:
 * the index is past the definitions of the locale). Without a kind its
 * definition names, the load gives 104 and the definition is not valid:
 * the operation fails with -704, and the messages of both name the flag
 * left out. */
#define TQ_LOAD_DATATYPES 0x2u
#define TQ_LOAD_PARSE_DEFNS 0x4u
#define TQ_LOAD_IDENT_DEFNS 0x8u
#define TQ_LOAD_STDZN_DEFNS 0x10u
#define TQ_LOAD_GENDER_DEFNS 0x20u
#define TQ_LOAD_MATCH_DEFNS 0x40u
#define TQ_LOAD_CASE_DEFNS 0x80u
#define TQ_LOAD_GUESS_DEFNS 0x100u
#define TQ_LOAD_PATTERN_DEFNS 0x200u
#define TQ_LOAD_EXTRACT_DEFNS 0x400u
#define TQ_LOAD_LANGUAGE_DEFNS 0x800u

/* Loads a locale with its ancestors (parent first) and makes it current: 0,
 * or 104 when something it was asked to read could not be read (the error
 * list says what): whenever the load leaves a failure in its error list,
 * whatever the kind of file (locale, grammar, chopper, regex library,
 * scheme, vocabulary, phonetics), also where the load goes on past it: a
 * definition whose reader only needs the file later (a grammar whose
 * categories an identification definition looks up now) stays valid and
 * reads the file on its first use, which fails while it still cannot be
 * read. The result does not depend on messages being allowed
 * (tq_error_allow_msgs_set). Each load is a client load of this context
 * and needs one unload by it while it is open; when it closes, the load
 * passes to the contexts sharing its knowledge, any of which may give it
 * back (see "Client loads"). The locale
 * goes with the last of its loads given back, or with the last context to
 * close (tq_close needs no unload first). A locale loaded only as the
 * parent of another stays until that one is unloaded. A locale already
 * loaded is taken as it is: loading it again with more flags reads nothing
 * more (an edit load does: see tq_zel_locale_load_edit). Only a definition that a failure of the moment left not valid (out
 * of memory, an I/O error, no file descriptor left, a file locked, an
 * interrupted call) is read again by the next load, which gives 104 again
 * while it still fails; a file that is missing or can never be read as it
 * stands (a link loop, a name too long, not a regular file, access refused,
 * content refused) is reported once, by the load that met it, and its
 * definition stays not valid until the locale is loaded anew after its
 * last unload.
 * A number past the int32 range in an "int" field is one more value out of
 * the field's range, never read as another number: the definition that
 * holds it is not valid and the load gives 104, the rest of the locale
 * loaded. The message names the definition, the record and table where
 * the field stands, the field, the number as the file writes it and the
 * field's own range (10 to 90 for a likelihood), or for a field that has
 * none (a weight) the int32 one. Such a definition is refused whole:
 * nothing of it is read, a change to it is refused (-704), and
 * tq_locale_write puts it back as its file gave it (warning 104 for it).
 * A resource that holds one (grammar, chopper, regex library, scheme,
 * vocabulary, phonetics rule set) does not load (-300), as for any value
 * out of a field's range, its message naming the same (a grammar's, the
 * rule: for a priority, which has no range of its own, the int32 one), and
 * the definitions that name it fare as with any resource that cannot be
 * read. */
TQ_API int32_t tq_zel_locale_load(tq_context* ctx, int32_t locale, uint32_t flags) TQ_NOEXCEPT;
/* The same in edit mode: the files read are locked through the handle, and
 * so are those of ancestors already loaded; one of those another context
 * or program has locked, or another editor has saved since it was read,
 * stays unlocked, and the load gives 104. A locale loaded already is taken
 * only when its file is still the version it was read from: -405 (the
 * file has changed since it was read), nothing locked, otherwise. A
 * definition keeps every name of a resource its file gives, also one whose
 * file cannot be read now (104): tq_locale_write writes it as it was read.
 * A locale already loaded (by a plain load, or an edit load, with fewer
 * flags) is taken as it is but for the parts flags asks for that it was
 * loaded without: those are read from the file the lock holds, as a load
 * reads them, so that the locale holds every part the edit asked for; and
 * so are those of its nearest ancestor loaded already, when the locale
 * itself is read now. A failure of memory while they are read leaves the locale as it was
 * (-600), and the next edit load reads them. The ancestors of a locale
 * loaded already are taken as they are: what a write keeps of the parts a
 * locale was loaded without is said at tq_locale_write. */
TQ_API int32_t tq_zel_locale_load_edit(tq_context* ctx, int32_t locale, uint32_t flags,
                                       tq_lock_handle* lock) TQ_NOEXCEPT;
/* Gives back one of this context's loads of the locale or, when it holds
 * none, one that a closed context left (see "Client loads"). A locale not
 * loaded, or one of which there is neither (loaded only by other open
 * contexts or as a parent), changes nothing: 0. */
TQ_API int32_t tq_zel_locale_unload(tq_context* ctx, int32_t locale) TQ_NOEXCEPT;
/* The same in edit mode: the locale's going gives back every file the
 * handle locks, with the release's warning (119, 120; see tq_lock_free). */
TQ_API int32_t tq_zel_locale_unload_edit(tq_context* ctx, int32_t locale, tq_lock_handle* lock) TQ_NOEXCEPT;
/* Makes a loaded locale current: -707 when it is not loaded, -802 for a code
 * outside the locale table. */
TQ_API int32_t tq_locale_set(tq_context* ctx, int32_t locale) TQ_NOEXCEPT;
/* The current locale; -707 and *locale = -1 when none. */
TQ_API int32_t tq_locale_get(tq_context* ctx, int32_t* locale) TQ_NOEXCEPT;
/* The parent of a loaded locale (-1 when it has none). */
TQ_API int32_t tq_parent_locale_get(tq_context* ctx, int32_t locale, int32_t* parent) TQ_NOEXCEPT;

/* ---- Locale settings files ---- */

/* A new "Locale Settings" document for the current locale, from the locale
 * table (ISO code, description, code, the default parent's file, the
 * default encoding), with nothing included; free it with tq_xml_free.
 * -707 and *file = NULL when there is no current locale. */
TQ_API int32_t tq_locale_file_xml_create(tq_context* ctx, tq_xmldoc** file) TQ_NOEXCEPT;
/* Writes a loaded locale's settings file (its datatypes and its own
 * definitions) to the file its edit load read through the lock handle (or,
 * for an ancestor loaded already, locked through it), where that file now
 * is (see "Names and files": the locale's name is not looked up again,
 * and no other file of that name the handle holds is written); a locale no
 * edit load took, to the file the handle locks that is still the version
 * the locale was read from. -405 when the handle holds no such file, or
 * when the file has changed since it was read (another editor saved it:
 * nothing is written). A write never drops what the file
 * holds and the locale does not. The properties of its head that the write
 * does not make (the vault file's "Vault Object Name" and "Description",
 * which tq_zel_vlt_file_obj_name_set and tq_zel_vlt_file_desc_set set)
 * follow the write's own, as the file had them when the locale was read
 * (set since, they make the file another version, whose write is refused
 * until the locale is loaded again). For a locale loaded without some of
 * the parts (TQ_LOAD_DATATYPES and the definition kinds) the file is read
 * again just before it is replaced, and its datatypes or definitions of
 * each part left out are written as the file has them, where the write
 * puts that part, before what the locale holds of it (made or imported
 * since). A file that cannot be read so is not written: the read's failure
 * (-400 for the system's, -300 for content refused, -600), with a record
 * naming the file and the system's reason and one saying what was to be
 * kept; the file is left as it was. An include of
 * the file that no part reads (of a kind this engine does not know) is not
 * written. Unfinished definitions are written
 * as they are. Each definition written is read back by the locale loader's own
 * reader, as the locale's next load will read it (the datatypes,
 * definitions and resources it names taken as they are loaded now): one that
 * load will hold not valid, for whatever reason the reader has, and one
 * marked incomplete, make the result TQ_WARN_LOCALE_PROBLEMS (104), with a
 * message in the error list for each naming it and giving the reader's
 * reason. So a write that gives 0 is followed by a load in which every
 * definition written is valid, and a write that gives 104 names exactly the
 * definitions that load holds not valid. No definition's state makes the
 * write fail: each is written with what it holds (a root category its
 * grammar lacks as it is, an index that names nothing any more as none),
 * and every resource it names (chopper, grammar, phonetics rule set, regex
 * library, scheme, vocabulary) by the name as it was read, unless a setter
 * changed it, whether or not that name's file can be read now: a
 * definition read while a file it names could not be read (missing for a
 * moment, an I/O error, no descriptor left) keeps the name its
 * file gave, the load's 104 saying what could not be read. The reader of
 * the next load decides what becomes of each; only a failure of memory or
 * of the file itself makes the write fail, and a text no
 * file can hold, which no setter takes (-300: see "Texts the knowledge
 * base keeps" at the top). */
TQ_API int32_t tq_locale_write(tq_context* ctx, int32_t locale, tq_lock_handle* lock) TQ_NOEXCEPT;
/* Adds the datatypes and definitions a "Locale Settings" document includes
 * to the current locale: 0, or the last problem met (the error list says
 * what), at least 105 when a failure stays in the list (a resource a
 * definition names that cannot be read now); the document is left as it
 * was. The locale's definitions keep what they held (outside edit mode
 * what the document adds moves the indices of inherited datatypes and
 * definitions; theirs follow), but for one the document now hides by name,
 * which they hold in its place. */
TQ_API int32_t tq_locale_import(tq_context* ctx, tq_xmldoc* settings) TQ_NOEXCEPT;

/* ---- Knowledge-base version ---- */

/* The product line and version of the knowledge base (its meta file
 * "tqx.meta"): product code -1 and version "0000X" when unknown, product
 * code 0 when the meta file names no product. */
typedef struct tq_zel_version_info {
  int32_t product_code;
  char version[6];
} tq_zel_version_info;

/* The product code of a product name (at most 7 bytes) or abbreviation
 * (2 bytes); -1 when the table has none. */
TQ_API int32_t tq_zel_product_code_get_by_name(tq_context* ctx, const char* name, int32_t* code) TQ_NOEXCEPT;
TQ_API int32_t tq_zel_product_code_get_by_abbrev(tq_context* ctx, const char* abbrev, int32_t* code) TQ_NOEXCEPT;
/* 0, or the warning 107 when the meta file is missing, cannot be read or
 * names no version; -401 (info as for 107) when another program holds it
 * (see TQ_OPT_SECOND_OPEN_FLAG). */
TQ_API int32_t tq_zel_version_info_get(tq_context* ctx, tq_zel_version_info* info) TQ_NOEXCEPT;
/* 0 when a resource of any kind is registered under the name of the file
 * (at most 4,096 bytes; an extension such as ".zel" is ignored), else -1. */
TQ_API int32_t tq_zel_file_is_loaded(tq_context* ctx, const char* filename) TQ_NOEXCEPT;

/* ---- Vault files ---- */

/* An opened vault file (kind 7 "zel", or 8 a compiled vocabulary vault);
 * closed by tq_zel_vlt_file_close, also after a failed open. A handle from
 * tq_zel_vlt_file_open locks nothing and is not written. The texts of
 * this family are UTF-8 and not converted; only the file name of an XML
 * vault is converted from the session encoding. A text set that is not
 * UTF-8, or holds a character no file can hold, is refused (-802): see
 * "Texts the knowledge base keeps" at the top. A handle whose open or edit
 * failed holds no file: its setters (the object name, the description,
 * tq_locale_props_noload_set) and tq_zel_vlt_file_write refuse it (-705,
 * the error list saying that its open or edit failed), and its getters
 * give -1. */
typedef struct tq_vault_file tq_vault_file;
TQ_API int32_t tq_zel_vlt_file_open(tq_context* ctx, const char* filename, int32_t kind,
                                    tq_vault_file** outhandle) TQ_NOEXCEPT;
/* As open, and the file is locked for editing until the handle is closed:
 * an XML vault as any file read for editing, a compiled vocabulary (kind 8)
 * as tq_vocabulary_load with a lock handle locks it (its "zev" file, else
 * the older "krv" one). -401 when another context or program holds it (a
 * vocabulary loaded for editing elsewhere, say); the handle then holds
 * nothing. What is read is the file locked, in the folder its lock holds. */
TQ_API int32_t tq_zel_vlt_file_edit(tq_context* ctx, const char* filename, int32_t kind,
                                    tq_vault_file** outhandle) TQ_NOEXCEPT;
/* obj_name, desc: 1,024 bytes + terminator; a set refuses a longer one. */
TQ_API int32_t tq_zel_vlt_file_obj_name_get(tq_context* ctx, tq_vault_file* hnd, char* obj_name) TQ_NOEXCEPT;
TQ_API int32_t tq_zel_vlt_file_obj_name_set(tq_context* ctx, tq_vault_file* hnd, const char* obj_name) TQ_NOEXCEPT;
TQ_API int32_t tq_zel_vlt_file_desc_get(tq_context* ctx, tq_vault_file* hnd, char* desc) TQ_NOEXCEPT;
TQ_API int32_t tq_zel_vlt_file_desc_set(tq_context* ctx, tq_vault_file* hnd, const char* desc) TQ_NOEXCEPT;
/* -1 (and *locale -1) when the file names no locale code. */
TQ_API int32_t tq_zel_vlt_file_locale_get(tq_context* ctx, tq_vault_file* hnd, int32_t* locale) TQ_NOEXCEPT;
/* Kind 7 handles only; -1 (and *stdtype -1) otherwise or when unset. */
TQ_API int32_t tq_zel_vlt_file_stdtype_get(tq_context* ctx, tq_vault_file* hnd, int32_t* stdtype) TQ_NOEXCEPT;
/* Writes the file back: the file the edit locked, where it now is, never
 * the file its name leads to by then ("Names and files" above). Needs a
 * handle made by tq_zel_vlt_file_edit, of either kind (-603, recorded, for
 * one only opened; -705 for one whose edit failed), in the context that
 * made it (-802 from another). */
TQ_API int32_t tq_zel_vlt_file_write(tq_context* ctx, tq_vault_file* hnd) TQ_NOEXCEPT;
/* Only the context that opened the handle closes it (-802 from another,
 * which leaves it open); handles still open are closed by tq_close. The
 * close of an edit releases its lock as tq_lock_free does (119, 120). */
TQ_API int32_t tq_zel_vlt_file_close(tq_context* ctx, tq_vault_file* hnd) TQ_NOEXCEPT;
/* iso: 20 bytes + terminator. */
TQ_API int32_t tq_locale_props_noload_get(tq_context* ctx, tq_vault_file* hnd, char* iso) TQ_NOEXCEPT;
/* Replaces the locale ISO code, code and description the file already has. */
TQ_API int32_t tq_locale_props_noload_set(tq_context* ctx, tq_vault_file* hnd, const char* iso) TQ_NOEXCEPT;

/* ---- Vocabularies ---- */

/* Registers a vocabulary by its compiled file name ("abc", "abc.zev"); it is
 * read on first use. With a lock handle (may be NULL) the file is locked
 * for editing when it is read. *index: the vocabulary index.
 * Each load is a client load of this context (see "Client loads"). */
TQ_API int32_t tq_vocabulary_load(tq_context* ctx, const char* name, tq_lock_handle* lock,
                                  int32_t* index) TQ_NOEXCEPT;
/* Gives back one of this context's loads of the resource or, when it holds
 * none, one that a closed context left (see "Client loads"); -800 with
 * message 1840, nothing changed, when there is neither. */
TQ_API int32_t tq_vocabulary_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Releases every file the lock handle locks (119 or 120 as tq_lock_free). */
TQ_API int32_t tq_vocabulary_close(tq_context* ctx, tq_lock_handle* lock) TQ_NOEXCEPT;
/* Edit mode: a new empty vocabulary for the current locale. */
TQ_API int32_t tq_vocabulary_create(tq_context* ctx, int32_t* index) TQ_NOEXCEPT;
/* The five named likelihoods: "Very Low" 10, "Low" 30, "Medium" 50,
 * "High" 70, "Very High" 90. name: 1,028 bytes + terminator. */
TQ_API int32_t tq_vocabulary_likelihood_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_vocabulary_likelihood_info_get(tq_context* ctx, int32_t position, char* name,
                                                 int32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_vocabulary_likelihood_name_get_by_value(tq_context* ctx, int32_t value, char* name) TQ_NOEXCEPT;
/* Exact names (case matters); an unknown name leaves *value 0 and is no failure. */
TQ_API int32_t tq_vocabulary_likelihood_value_get_by_name(tq_context* ctx, const char* name,
                                                          int32_t* value) TQ_NOEXCEPT;
/* iso: TQ_LOCALE_ISO_MAX + terminator bytes; desc: TQ_LOCALE_DESCRIPTION_MAX +
 * terminator bytes. The setters of every resource kind refuse (-802) a code
 * outside the locale table and an empty iso or desc, which no resource file
 * can be read back with. */
TQ_API int32_t tq_vocab_locale_info_get(tq_context* ctx, int32_t index, char* iso, char* desc,
                                        int32_t* code) TQ_NOEXCEPT;
TQ_API int32_t tq_vocab_locale_info_set(tq_context* ctx, int32_t index, const char* iso, const char* desc,
                                        int32_t code) TQ_NOEXCEPT;
/* name, desc: at most 1,024 bytes each. */
TQ_API int32_t tq_vocab_vault_info_set(tq_context* ctx, int32_t index, const char* name,
                                       const char* desc) TQ_NOEXCEPT;
TQ_API int32_t tq_vocab_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* Edit mode. direction 0: XML file to compiled file; 1: compiled to XML,
 * -300 (the XML file left as it was) when a word or category holds what no
 * XML file can hold (see "Texts the knowledge base keeps" at the top).
 * fromfile may have at most 1,024 bytes without its extension (.xml, .zev,
 * .krd, .krv); a longer one is refused (-802, the message giving both
 * lengths), and so is a tofile longer with its extension than 16,383
 * bytes: both names are taken whole, never cut.
 * 111 when duplicate word categories were dropped, as tq_vocab_save. A
 * compiled file named by a plain name replaces the first one of the name
 * along the search path, or is made in the first folder where it can be;
 * a folder where the file cannot be looked at (a loop of links, an I/O
 * error, no right to search it) fails the call with -400 and the system's
 * reason, and no copy is written in a later folder. */
TQ_API int32_t tq_vocab_file_convert(tq_context* ctx, int32_t direction, const char* fromfile,
                                     const char* tofile) TQ_NOEXCEPT;
TQ_API int32_t tq_vocab_numwords_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_vocab_numcats_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
/* word: 1,028 bytes + terminator; -1 when word_index is out of range. */
TQ_API int32_t tq_vocab_word_get(tq_context* ctx, int32_t index, uint32_t word_index, char* word,
                                 uint32_t* num_cats) TQ_NOEXCEPT;
/* abbrev: 128 bytes + terminator; -1 when a position is out of range. */
TQ_API int32_t tq_vocab_wordcat_get(tq_context* ctx, int32_t index, uint32_t word_index, uint32_t cat_pos,
                                    char* abbrev, int32_t* likelihood) TQ_NOEXCEPT;
/* category (its name): 1,028 bytes + terminator; abbrev: 128 bytes +
 * terminator; -1 when cat_index is out of range. */
TQ_API int32_t tq_vocab_category_get(tq_context* ctx, int32_t index, uint32_t cat_index, char* category,
                                     char* abbrev) TQ_NOEXCEPT;
/* Edit mode. Building a vocabulary: tq_vocab_edit_new, tq_vocabulary_create,
 * the category count and every category, tq_vocab_edit_prepare, the word
 * count, every word and its categories, tq_vocab_save. The counts can be
 * set once (-1 after). Positions out of range give -800. */
TQ_API int32_t tq_vocab_edit_numcategories_set(tq_context* ctx, int32_t index, uint32_t count) TQ_NOEXCEPT;
TQ_API int32_t tq_vocab_edit_numwords_set(tq_context* ctx, int32_t index, uint32_t count) TQ_NOEXCEPT;
/* abbrev: 1 to 128 bytes (stored uppercased; -802 when empty); name: at most
 * 1,024 bytes. */
TQ_API int32_t tq_vocab_edit_category_set(tq_context* ctx, int32_t index, uint32_t cat_index, const char* abbrev,
                                          const char* name) TQ_NOEXCEPT;
/* word: at most 1,024 bytes; num_cats: 1 to 255 (-802 otherwise: a word is
 * kept in the file only through its categories). */
TQ_API int32_t tq_vocab_edit_word_set(tq_context* ctx, int32_t index, uint32_t word_index, const char* word,
                                      uint32_t num_cats) TQ_NOEXCEPT;
/* likelihood 10 to 90 (-802 otherwise); -1 when the abbreviation (exact,
 * upper case) is not a category of the prepared vocabulary. */
TQ_API int32_t tq_vocab_edit_wordcat_set(tq_context* ctx, int32_t index, uint32_t word_index, uint32_t cat_pos,
                                         const char* abbrev, int32_t likelihood) TQ_NOEXCEPT;
/* Sorts the categories and words; -300 when two categories share an abbreviation. */
TQ_API int32_t tq_vocab_edit_prepare(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Creates the compiled file path/name when missing (path "": the first
 * search-path folder; a file there is kept until the save replaces it) and
 * locks it with the handle; -404 naming both when it is a link whose target
 * is missing. path, name: at most 1,024 bytes; a longer path is refused
 * (-802, its length and the limit named), nothing made. */
TQ_API int32_t tq_vocab_edit_new(tq_context* ctx, const char* path, const char* name,
                                 tq_lock_handle* lock) TQ_NOEXCEPT;
/* Writes the vocabulary compiled to its own file, which the lock handle
 * must lock (a vocabulary made by tq_vocabulary_create has no name: the
 * handle's only vocabulary file; -405 when the handle locks none or
 * several): 111 when duplicate word categories were dropped (the lowest
 * likelihood kept); -300 when a word, pair or category was never set, two
 * words have the same text or no locale is set. Nothing is written then. */
TQ_API int32_t tq_vocab_save(tq_context* ctx, int32_t index, tq_lock_handle* lock) TQ_NOEXCEPT;
/* owner: TQ_NAME_MAX + terminator bytes. The owner is kept by the krxml
 * form of a vocabulary, not by the compiled file tq_vocab_save writes: a
 * vocabulary loaded again from its compiled file has no owner. */
TQ_API int32_t tq_vocab_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_vocab_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;

/* ---- Choppers ---- */

/* A chopper is given by its index (tq_chopper_load, tq_chopper_edit,
 * tq_chopper_create). Names of the fixed tables, flag names and vocabulary
 * or category names come out in buffers of 1,028 bytes + terminator;
 * regex, prerequisite, output-flags and notes texts go in and come out with
 * at most 4,096 bytes (+ terminator). */

/* Classification ids of the character table (the listed ones are 0, 3, 4,
 * 5, 6) and operation ids (listed 0, 1, 2; REPLACE chops like USE). */
#define TQ_CHOP_CLASS_LETTER 0
#define TQ_CHOP_CLASS_LOWERCASE 1
#define TQ_CHOP_CLASS_UPPERCASE 2
#define TQ_CHOP_CLASS_NUMBER 3
#define TQ_CHOP_CLASS_LEAD_SEPARATOR 4
#define TQ_CHOP_CLASS_TRAIL_SEPARATOR 5
#define TQ_CHOP_CLASS_FULL_SEPARATOR 6
#define TQ_CHOP_CLASS_NULL 7
#define TQ_CHOP_OPER_USE 0
#define TQ_CHOP_OPER_TRIM 1
#define TQ_CHOP_OPER_SUPPRESS 2
#define TQ_CHOP_OPER_REPLACE 3
/* Rule options: a word starts before the match, after the match. */
#define TQ_CHOP_RULE_BOUNDARY_BEFORE 0x1u
#define TQ_CHOP_RULE_BOUNDARY_AFTER 0x2u
/* Rule error bits: the vocabulary could not be had, the category is not in it.
 * A vocabulary rule is kept with them and skipped when chopping: its add,
 * the setters that give it a vocabulary (tq_chopper_rule_vocab_set,
 * tq_chopper_rule_method_vocab_set), and the first use of a chopper read
 * from its file with such a rule, give 105 with the failure in the error
 * list. */
#define TQ_CHOP_RULE_ERR_VOCAB 0x1u
#define TQ_CHOP_RULE_ERR_CATEGORY 0x2u

/* Registers a chopper by file name (at most 1,024 bytes); it is read on
 * first use. An already registered name gives its index.
 * Each load is a client load of this context (see "Client loads"). */
TQ_API int32_t tq_chopper_load(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* Edit mode: as tq_chopper_load; reading it locks its file with the handle. */
TQ_API int32_t tq_chopper_edit(tq_context* ctx, const char* name, tq_lock_handle* lock,
                               int32_t* index) TQ_NOEXCEPT;
/* Edit mode: a new chopper for the current locale (-707 when none is
 * current, -407 for a name in use). */
TQ_API int32_t tq_chopper_create(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* Edit mode: creates the vault file path/name when missing (path "": the first
 * search-path folder; a file there is kept until the save) and locks it.
 * path: at most 1,024 bytes; a longer one is refused (-802, its length and
 * the limit named), nothing made. */
TQ_API int32_t tq_chopper_edit_new(tq_context* ctx, const char* path, const char* name,
                                   tq_lock_handle* lock) TQ_NOEXCEPT;
/* Edit mode: writes the chopper to its own file, which the lock handle must
 * lock (-405 otherwise); -500 (nothing written) between
 * tq_chopper_table_char_metadata_set_begin and a successful _set_end. */
TQ_API int32_t tq_chopper_save(tq_context* ctx, int32_t chopper, tq_lock_handle* lock) TQ_NOEXCEPT;
/* Gives back one of this context's loads of the resource or, when it holds
 * none, one that a closed context left (see "Client loads"); -800 with
 * message 1840, nothing changed, when there is neither. */
TQ_API int32_t tq_chopper_unload(tq_context* ctx, int32_t chopper) TQ_NOEXCEPT;
/* Releases every file the lock handle locks (119 or 120 as tq_lock_free). */
TQ_API int32_t tq_chopper_close(tq_context* ctx, tq_lock_handle* lock) TQ_NOEXCEPT;
/* iso: TQ_LOCALE_ISO_MAX + terminator bytes; desc: TQ_LOCALE_DESCRIPTION_MAX +
 * terminator bytes. */
TQ_API int32_t tq_chopper_locale_info_get(tq_context* ctx, int32_t chopper, char* iso, char* desc,
                                          int32_t* code) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_locale_info_set(tq_context* ctx, int32_t chopper, const char* iso, const char* desc,
                                          int32_t code) TQ_NOEXCEPT;
/* name, desc: at most 1,024 bytes each. */
TQ_API int32_t tq_chopper_vault_info_set(tq_context* ctx, int32_t chopper, const char* name,
                                         const char* desc) TQ_NOEXCEPT;
/* owner: TQ_NAME_MAX + terminator bytes. */
TQ_API int32_t tq_chopper_owner_get(tq_context* ctx, int32_t chopper, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_owner_set(tq_context* ctx, int32_t chopper, const char* owner) TQ_NOEXCEPT;
/* -404 when no chopper of that name is registered. */
TQ_API int32_t tq_chopper_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;

/* Character table. Entries 0..127 are the ASCII code points; other code
 * points follow in descending order, only those that differ from
 * LETTER/USE. Edits run between set_begin and set_end (edit mode); reading
 * the table or chopping with the chopper meanwhile gives -500. */
TQ_API int32_t tq_chopper_table_impsep_flag_get(tq_context* ctx, int32_t chopper, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_table_impsep_flag_set(tq_context* ctx, int32_t chopper, uint32_t flag) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_table_char_count_get(tq_context* ctx, int32_t chopper, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_table_char_metadata_get_by_index(tq_context* ctx, int32_t chopper, uint32_t index,
                                                           uint32_t* codepoint, uint32_t* clsfn,
                                                           uint32_t* oprn) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_table_char_metadata_get_by_codepoint(tq_context* ctx, int32_t chopper,
                                                               uint32_t codepoint, uint32_t* clsfn,
                                                               uint32_t* oprn) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_table_char_classif_name_get(tq_context* ctx, uint32_t classif, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_table_char_oper_name_get(tq_context* ctx, uint32_t oper, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_table_char_classif_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_table_char_oper_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
/* Beyond the listed ones: result -1 with *classif 8 (*oper 4). */
TQ_API int32_t tq_chopper_table_char_classif_get_by_index(tq_context* ctx, uint32_t index,
                                                          uint32_t* classif) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_table_char_oper_get_by_index(tq_context* ctx, uint32_t index, uint32_t* oper) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_table_char_metadata_set_begin(tq_context* ctx, int32_t chopper) TQ_NOEXCEPT;
/* desc: at most 83 bytes; classification above 7 or operation
 * above 3: -802. */
TQ_API int32_t tq_chopper_table_char_metadata_set(tq_context* ctx, int32_t chopper, uint32_t codepoint,
                                                  const char* desc, uint32_t clsfn, uint32_t oprn) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_table_char_metadata_set_end(tq_context* ctx, int32_t chopper) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_table_enabled_get(tq_context* ctx, int32_t chopper, uint32_t* enabled) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_table_enabled_set(tq_context* ctx, int32_t chopper, uint32_t value) TQ_NOEXCEPT;

/* Chopping rules. Flag names: at most 128 bytes in UTF-8, none of blank,
 * tab, '!', '&', '(', ')', ',' and '|'; a chopper has at most 256 (ids
 * 0..255). A longer name is refused wherever it is given, never cut into
 * another flag's name: the two flag adds, a rule's prerequisite and its
 * output flags give -802 and change nothing; tq_chopper_rules_flag_id_get
 * finds no flag by it (-801), and the two validations call it not valid. A
 * chopper file keeps the first 128 bytes of a longer name it holds (fewer
 * where a character straddles byte 128), as it always has.
 * Prerequisites combine flag names with '!', '&', '|' and parentheses ('&'
 * and '|' bind equally, from the left); output flags are names separated by
 * ','. The category given to tq_chopper_vocab_rule_add,
 * tq_chopper_rule_method_vocab_set and tq_chopper_rule_vocab_category_set
 * is a category's abbreviation (the key of its record in a vocabulary
 * file, what the words' CategoryAbbreviation holds, the abbrev of
 * tq_vocab_category_get), looked up uppercased in the rule's vocabulary,
 * where it must equal an abbreviation byte for byte. It is uppercased by
 * the root rules, as every category name is (see the top), so a rule finds
 * the same category under every locale, when it is set and when its
 * chopper is read again; a
 * category's name (CategoryName) is not looked up. One the
 * vocabulary lacks, a name among them, gives the rule
 * TQ_CHOP_RULE_ERR_CATEGORY, and the add or tq_chopper_rule_method_vocab_set
 * 105 (tq_chopper_rule_vocab_category_set refuses it, -802, changing
 * nothing). An empty category is refused (-802) by the first two, since a
 * chopper document's empty "Vocab Cat" means any category:
 * tq_chopper_rule_vocab_category_set with an empty one makes an existing
 * rule match any category. */
TQ_API int32_t tq_chopper_rule_flag_name_validate(tq_context* ctx, const char* name, uint32_t* valid) TQ_NOEXCEPT;
/* *valid 0 (result 0, nothing recorded) for an expression that does not
 * parse. One that parses but nests too deeply gives -601 and *valid 0, with
 * message 1907 naming the position: at most 30 may be open at once,
 * counting each '(' not yet closed, each '!', '&' and '|' still waiting for
 * what follows it, and the flag name being read (29 parentheses around one
 * name pass, 30 do not). */
TQ_API int32_t tq_chopper_rule_validate(tq_context* ctx, const char* expr, uint32_t* valid) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rules_init_flag_add(tq_context* ctx, int32_t chopper, const char* name,
                                              uint32_t* flag_id) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rules_init_flag_remove(tq_context* ctx, int32_t chopper, uint32_t flag_id) TQ_NOEXCEPT;
/* Result -1 for an id that names no flag. */
TQ_API int32_t tq_chopper_rules_flag_name_get(tq_context* ctx, int32_t chopper, uint32_t flag_id,
                                              char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rules_flag_id_get(tq_context* ctx, int32_t chopper, const char* name,
                                            uint32_t* id) TQ_NOEXCEPT;
/* flag_ids: room for 256 ids. */
TQ_API int32_t tq_chopper_rules_init_flags_get(tq_context* ctx, int32_t chopper, uint32_t* flag_ids,
                                               uint32_t* num_flags) TQ_NOEXCEPT;
/* rule_ids: room for tq_chopper_rules_list_count ids. */
TQ_API int32_t tq_chopper_rules_list_get(tq_context* ctx, int32_t chopper, uint32_t* rule_ids) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rules_list_count(tq_context* ctx, int32_t chopper, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_output_flag_add(tq_context* ctx, int32_t chopper, uint32_t rule, const char* name,
                                               uint32_t* flag_id) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_output_flag_remove(tq_context* ctx, int32_t chopper, uint32_t rule,
                                                  uint32_t flag_id) TQ_NOEXCEPT;
/* flag_ids: room for 256 ids. */
TQ_API int32_t tq_chopper_rule_output_flags_get(tq_context* ctx, int32_t chopper, uint32_t rule,
                                                uint32_t* flag_ids, uint32_t* num_flags) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_notes_set(tq_context* ctx, int32_t chopper, uint32_t rule,
                                         const char* notes) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_notes_get(tq_context* ctx, int32_t chopper, uint32_t rule, char* notes) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_method_regex_set(tq_context* ctx, int32_t chopper, uint32_t rule,
                                                const char* regex) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_method_vocab_set(tq_context* ctx, int32_t chopper, uint32_t rule, const char* vocab,
                                                const char* category) TQ_NOEXCEPT;
/* *type: 0 regular expression, 1 vocabulary. */
TQ_API int32_t tq_chopper_rule_method_get(tq_context* ctx, int32_t chopper, uint32_t rule,
                                          uint32_t* type) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_regex_set(tq_context* ctx, int32_t chopper, uint32_t rule,
                                         const char* regex) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_regex_get(tq_context* ctx, int32_t chopper, uint32_t rule, char* regex) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_vocab_set(tq_context* ctx, int32_t chopper, uint32_t rule,
                                         const char* vocab) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_vocab_get(tq_context* ctx, int32_t chopper, uint32_t rule, char* vocab) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_vocab_category_set(tq_context* ctx, int32_t chopper, uint32_t rule,
                                                  const char* cat) TQ_NOEXCEPT;
/* *all 1 and cat empty for a rule matching any category; *all 0 and cat
 * empty for one with TQ_CHOP_RULE_ERR_CATEGORY (its category not found);
 * else *all 0 and cat the category's abbreviation as the vocabulary keeps
 * it (uppercased). */
TQ_API int32_t tq_chopper_rule_vocab_category_get(tq_context* ctx, int32_t chopper, uint32_t rule, uint32_t* all,
                                                  char* cat) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_prereq_set(tq_context* ctx, int32_t chopper, uint32_t rule,
                                          const char* prereq) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_prereq_get(tq_context* ctx, int32_t chopper, uint32_t rule,
                                          char* prereq) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_options_set(tq_context* ctx, int32_t chopper, uint32_t rule,
                                           uint32_t options) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_options_get(tq_context* ctx, int32_t chopper, uint32_t rule,
                                           uint32_t* options) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rules_list_clear(tq_context* ctx, int32_t chopper) TQ_NOEXCEPT;
/* rule_id (may be NULL) receives the new rule's id. */
TQ_API int32_t tq_chopper_regex_rule_add(tq_context* ctx, int32_t chopper, const char* regex, const char* prereq,
                                         const char* flags, uint32_t options, const char* notes,
                                         uint32_t* rule_id) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_vocab_rule_add(tq_context* ctx, int32_t chopper, const char* vocab, const char* category,
                                         const char* prereq, const char* flags, uint32_t options,
                                         const char* notes, uint32_t* rule_id) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rules_enabled_get(tq_context* ctx, int32_t chopper, uint32_t* enabled) TQ_NOEXCEPT;
/* The rules and table switches are flags: any value but 0 is kept as 1. */
TQ_API int32_t tq_chopper_rules_enabled_set(tq_context* ctx, int32_t chopper, uint32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_chopper_rule_errors_get(tq_context* ctx, int32_t chopper, uint32_t rule,
                                          uint32_t* errors) TQ_NOEXCEPT;

/* ---- Chopping ---- */

/* Chopper handles besides a chopper index: -1 and -2 the built-in
 * whitespace-only chopper, -3 the built-in whitespace and CJK chopper
 * (which chops the same way). */
#define TQ_CHOPPER_DEFAULT (-1)
#define TQ_CHOPPER_WHITESPACE (-2)
#define TQ_CHOPPER_WHITESPACE_CJK (-3)

/* One word of tq_chop_string: at most TQ_CHOP_WORD_MAX bytes in the session
 * encoding and its terminator (the type has room for 4 bytes more). */
#define TQ_CHOP_WORD_MAX 1028
typedef char tq_chop_word[TQ_CHOP_WORD_MAX + 4];

/* Chops in_string (at most 1,024 bytes once in UTF-8: -601 beyond) into
 * words. out_strings is an array of *num_out_strings entries (0: -802);
 * the first words go into it and *num_out_strings becomes the number
 * written. A chopping rule whose pattern backtracks past its limit also
 * ends the chop with -601. A failure sets no count: *num_out_strings stays
 * as it was and out_strings may hold some words, so read them only after
 * a result of 0 or more. */
TQ_API int32_t tq_chop_string(tq_context* ctx, int32_t chopper, const char* in_string, tq_chop_word* out_strings,
                              uint32_t* num_out_strings) TQ_NOEXCEPT;

/* Why each word starts where it does. Made by tq_chop_info_init, freed by
 * tq_chop_info_free; every chop into it appends its words. Source types:
 * 0 none (the first word of a value, for example), 1 a separator (data: its
 * code point), 2 a chopping rule (data: the rule id), 3 implicit separation
 * (data: the code point that starts the word). At most 1,025 words are
 * recorded in all. */
typedef struct tq_chop_info tq_chop_info;

TQ_API int32_t tq_chop_string_with_info(tq_context* ctx, int32_t chopper, const char* in_string,
                                        tq_chop_word* out_strings, uint32_t* num_out_strings,
                                        tq_chop_info* chop_info) TQ_NOEXCEPT;
TQ_API int32_t tq_chop_info_init(tq_context* ctx, tq_chop_info** chop_info) TQ_NOEXCEPT;
TQ_API int32_t tq_chop_info_free(tq_context* ctx, tq_chop_info* chop_info) TQ_NOEXCEPT;
/* -800 for a word index below 0 or not below the number of recorded words. */
TQ_API int32_t tq_chop_info_source_type_get(tq_context* ctx, tq_chop_info* chop_info, int32_t word_index,
                                            uint32_t* type) TQ_NOEXCEPT;
TQ_API int32_t tq_chop_info_source_data_get(tq_context* ctx, tq_chop_info* chop_info, int32_t word_index,
                                            uint32_t* data) TQ_NOEXCEPT;

/* ---- Regex libraries ---- */

/* A regex library is given by its index. Library names go in with at most
 * 1,024 bytes; regex, substitution and notes texts go in and come out with
 * at most 16,384 bytes (+ terminator). Substitutions: \0 the whole match,
 * \1..\9 a group, \U \L upper/lowercase until \E, \u \l the next character
 * only; "\x" for any other x gives x. */

/* Registers a library by file name ("abc", "abc.zel"); it is read (and
 * compiled) on first use. With a lock handle (may be NULL) the file is
 * locked for editing when it is read. The no-compile form reads without
 * compiling; its elements are compiled when first matched.
 * Each load is a client load of this context (see "Client loads"). */
TQ_API int32_t tq_regexlib_load(tq_context* ctx, const char* name, tq_lock_handle* lock,
                                int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_regexlib_load_no_compile(tq_context* ctx, const char* name, tq_lock_handle* lock,
                                           int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_regexlib_rule_count_get(tq_context* ctx, int32_t library, uint32_t* count) TQ_NOEXCEPT;
/* Gives back one of this context's loads of the resource or, when it holds
 * none, one that a closed context left (see "Client loads"); -800 with
 * message 1840, nothing changed, when there is neither. The two unloads
 * are one: either gives back a load made by either load form. */
TQ_API int32_t tq_regexlib_unload(tq_context* ctx, int32_t library) TQ_NOEXCEPT;
TQ_API int32_t tq_regexlib_unload_ex(tq_context* ctx, int32_t library) TQ_NOEXCEPT;
/* Edit mode. Writes the library to its own file, which the lock handle must
 * lock (-405 otherwise); -300 when it has no locale or an element without
 * its regex. A library without elements is saved and loads back empty (it
 * matches nothing). */
TQ_API int32_t tq_regexlib_save(tq_context* ctx, int32_t library, tq_lock_handle* lock) TQ_NOEXCEPT;
/* Edit mode: a new empty library (-407 for a name in use); it takes the
 * current locale, when one is current. */
TQ_API int32_t tq_regexlib_create(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* Edit mode: creates the vault file path/name when missing (path "": the
 * first search-path folder; a file there is kept until the save) and locks
 * it with the handle. name: at most 16,384 bytes; the file's path (the
 * folder, '/', the name and ".zel") at most 16,383: a longer one is
 * refused (-802, its length and the limit named) before anything is made. */
TQ_API int32_t tq_regexlib_edit_new(tq_context* ctx, const char* path, const char* name,
                                    tq_lock_handle* lock) TQ_NOEXCEPT;
/* Releases every file the lock handle locks (119 or 120 as tq_lock_free);
 * NULL does nothing. */
TQ_API int32_t tq_regexlib_close(tq_context* ctx, tq_lock_handle* lock) TQ_NOEXCEPT;
/* Edit mode: replaces every element by n empty ones. */
TQ_API int32_t tq_regexlib_element_array_size_set(tq_context* ctx, int32_t library, uint32_t n) TQ_NOEXCEPT;
/* regex, sub, notes: 16,384 bytes + terminator each; -800 for an index not
 * below the count. */
TQ_API int32_t tq_regexlib_element_info_get(tq_context* ctx, int32_t library, uint32_t index, char* regex,
                                            char* sub, char* notes) TQ_NOEXCEPT;
/* Edit mode: sets and compiles element index: -802 for an empty regex,
 * -803 when it does not compile; -800 for an index not below the count. */
TQ_API int32_t tq_regexlib_element_info_set(tq_context* ctx, int32_t library, uint32_t index, const char* regex,
                                            const char* sub, const char* notes) TQ_NOEXCEPT;
/* Compiles a regex to check it: 0, or -803 when it does not compile. */
TQ_API int32_t tq_regexlib_regex_compile(tq_context* ctx, const char* regex) TQ_NOEXCEPT;
/* Edit mode: -407 for a name in use. */
TQ_API int32_t tq_regexlib_name_set(tq_context* ctx, int32_t library, const char* name) TQ_NOEXCEPT;
/* *matched := 1 when any element matches s (at most 1,024 bytes). A
 * conversion failure of s is returned (-10000 under strict conversion), as
 * is -601 when a pattern backtracks past the limit a value of 1,024 bytes
 * allows; *matched is then 0. The same holds for the call below, whose r
 * is then empty (made empty when the call starts, as every value road's
 * output: see the top); a replaced text that does not convert back under
 * strict conversion (-10000) leaves in r its start, up to the character
 * refused. */
TQ_API int32_t tq_regexlib_match(tq_context* ctx, int32_t library, const char* s, int32_t* matched) TQ_NOEXCEPT;
/* Applies every element in turn as search and replace; r: 1,028 bytes +
 * terminator; *matched := 1 when any element matched. */
TQ_API int32_t tq_regexlib_match_and_replace(tq_context* ctx, int32_t library, const char* s, char* r,
                                             int32_t* matched) TQ_NOEXCEPT;
/* -404 when no library of that name is registered. */
TQ_API int32_t tq_regexlib_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* iso: TQ_LOCALE_ISO_MAX + terminator bytes; desc: TQ_LOCALE_DESCRIPTION_MAX +
 * terminator bytes. */
TQ_API int32_t tq_regexlib_locale_info_get(tq_context* ctx, int32_t library, char* iso, char* desc,
                                           int32_t* code) TQ_NOEXCEPT;
TQ_API int32_t tq_regexlib_locale_info_set(tq_context* ctx, int32_t library, const char* iso, const char* desc,
                                           int32_t code) TQ_NOEXCEPT;
/* name, desc: at most 1,024 bytes each. */
TQ_API int32_t tq_regexlib_vault_info_set(tq_context* ctx, int32_t library, const char* name,
                                          const char* desc) TQ_NOEXCEPT;
/* owner: TQ_NAME_MAX + terminator bytes. */
TQ_API int32_t tq_regexlib_owner_get(tq_context* ctx, int32_t library, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_regexlib_owner_set(tq_context* ctx, int32_t library, const char* owner) TQ_NOEXCEPT;

/* ---- Phonetics rule sets ---- */

/* Rule flags: 1 push a begin-of-word marker after applying, 2 rewind (read
 * the replacement again as input), 4 ignore (keep the matched text); 2 and
 * 4 together are refused (-705). */
#define TQ_PHONETX_FLAG_RESET_BOW 0x1
#define TQ_PHONETX_FLAG_REWIND 0x2
#define TQ_PHONETX_FLAG_IGNORE 0x4

/* Registers a rule set by its file name ("abc", "abc.zel"); it is read and
 * compiled on first use.
 * Each load is a client load of this context (see "Client loads"). */
TQ_API int32_t tq_phonetx_load(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* Gives back one of this context's loads of the resource or, when it holds
 * none, one that a closed context left (see "Client loads"); -800 with
 * message 1840, nothing changed, when there is neither. */
TQ_API int32_t tq_phonetx_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Releases every file the lock handle locks: 0, or 119 or 120 as
 * tq_lock_free. */
TQ_API int32_t tq_phonetx_close(tq_context* ctx, tq_lock_handle* lock) TQ_NOEXCEPT;
/* Edit mode: an empty editable set; it takes the current locale when there
 * is one. */
TQ_API int32_t tq_phonetx_create(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* Edit mode. Texts at most 1,024 bytes each; the priority is kept within
 * 10..90. rule_index: the new rule's position, -1 on failure. A rule added
 * to a compiled set makes it editable again: it runs (-1 until then) once
 * tq_phonetx_prepare has compiled it with every rule, as a load would. */
TQ_API int32_t tq_phonetx_rule_add(tq_context* ctx, int32_t index, const char* rule_text, const char* replace_text,
                                   int32_t priority, uint32_t flags, int32_t* rule_index) TQ_NOEXCEPT;
/* Compiles a created set (-603 when it is compiled already, -803 for a
 * pattern that does not compile or rules that cannot go together; the
 * rules then stay as given). */
TQ_API int32_t tq_phonetx_prepare(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Edit mode: writes the set to its own file, which the lock handle must
 * lock (-405 otherwise); -803, the file left as it was, for rules a load
 * would not compile. */
TQ_API int32_t tq_phonetx_save(tq_context* ctx, int32_t index, tq_lock_handle* lock) TQ_NOEXCEPT;
/* input: at most 1,024 bytes. size: the bytes of the result buffer,
 * terminator included; at most 1,024 bytes of text are written. -1 for a
 * set that is not compiled; 114 when the rewind limit (2 x the rules added
 * x the symbols of the input) was reached, used up exactly or not, so every
 * run of a set without rules on a non-empty input gives 114 with its input
 * unchanged (an empty input gives 0); 115 when
 * the result was cut to fit (102 when the input was cut). */
TQ_API int32_t tq_phonetx_execute(tq_context* ctx, int32_t index, const char* input, char* result,
                                  uint32_t size) TQ_NOEXCEPT;
/* iso: TQ_LOCALE_ISO_MAX + terminator bytes; desc: TQ_LOCALE_DESCRIPTION_MAX +
 * terminator bytes. */
TQ_API int32_t tq_phonetx_locale_info_get(tq_context* ctx, int32_t index, char* iso, char* desc,
                                          int32_t* code) TQ_NOEXCEPT;
TQ_API int32_t tq_phonetx_locale_info_set(tq_context* ctx, int32_t index, const char* iso, const char* desc,
                                          int32_t code) TQ_NOEXCEPT;
/* name, desc: at most 1,024 bytes each. */
TQ_API int32_t tq_phonetx_vault_info_set(tq_context* ctx, int32_t index, const char* name,
                                         const char* desc) TQ_NOEXCEPT;
/* owner: TQ_NAME_MAX + terminator bytes. */
TQ_API int32_t tq_phonetx_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_phonetx_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;
/* Edit mode: creates the file "name" in the folder path when missing (""
 * for the first search-path folder; a file there is kept until the save),
 * locks it. path: at most 16,384 bytes, and the file's path (the folder,
 * '/', the name and ".zel") at most 16,383: a longer one is refused (-802,
 * its length and the limit named), nothing made. */
TQ_API int32_t tq_phonetx_edit_new(tq_context* ctx, const char* path, const char* name,
                                   tq_lock_handle* lock) TQ_NOEXCEPT;
/* Edit mode, as are the edit session's getters and free: reads a rule-set
 * file, locked through the handle, into the context's edit session. */
TQ_API int32_t tq_phonetx_edit(tq_context* ctx, const char* name, tq_lock_handle* lock) TQ_NOEXCEPT;
TQ_API int32_t tq_phonetx_edit_rule_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
/* rule_text, replace_text: 1,028 bytes + terminator each. */
TQ_API int32_t tq_phonetx_edit_rule_get(tq_context* ctx, int32_t index, char* rule_text, char* replace_text,
                                        int32_t* priority, uint32_t* flags) TQ_NOEXCEPT;
/* iso: TQ_LOCALE_ISO_MAX + terminator bytes; desc: TQ_LOCALE_DESCRIPTION_MAX +
 * terminator bytes. */
TQ_API int32_t tq_phonetx_edit_locale_info_get(tq_context* ctx, char* iso, char* desc, int32_t* code) TQ_NOEXCEPT;
TQ_API int32_t tq_phonetx_edit_free(tq_context* ctx) TQ_NOEXCEPT;

/* ---- Schemes ---- */
/* Scheme option bits (tq_transf_scheme_load, tq_scheme_create ...). */
#define TQ_SCHEME_ELEMENT 0x1u          /* applied to runs of words; else to the whole value */
#define TQ_SCHEME_CASE_INSENSITIVE 0x2u
#define TQ_SCHEME_MATCH_KEYED 0x4u      /* keyed by match codes (mdefn_index, sens) */
#define TQ_SCHEME_EDIT_STATE 0x8u       /* being built or changed; cannot be applied */
#define TQ_SCHEME_DUPLICATES 0x10u      /* equal data kept; needed for several outputs */
#define TQ_SCHEME_OUT_UPPER 0x20u
#define TQ_SCHEME_OUT_LOWER 0x40u
#define TQ_SCHEME_OUT_PROPER 0x80u
#define TQ_SCHEME_TRANSF_LOAD 0x100u    /* loaded through tq_transf_scheme_load */
#define TQ_SCHEME_NO_TRIM 0x200u        /* data keep their surrounding white space */
/* A scheme loaded by name is read from its file and made ready on its
 * first use; one that fails is tried again at the next use. Only a scheme
 * keyed by match codes needs a loaded locale: its keys are built with a
 * match definition of the current locale, and a value's code is computed
 * under the locale the keys were built in. While that locale is not loaded
 * (another context gave back its last load, or none is current) reading,
 * making ready, finalizing and applying it give -707 with message 1722
 * (1723 when no locale is current), and it works again once the locale is
 * loaded. Any other scheme needs no locale: a context whose current locale
 * another context unloaded reads and applies it as a context without a
 * current locale does. A case-insensitive scheme uppercases its data and
 * the values with the special casing (Turkish, Azeri, Lithuanian) of the
 * context's current locale code, which the context keeps until it makes
 * another locale current or unloads that one itself. */
/* scheme_name (here and in tq_scheme_load_edit): at most 1,024 bytes once
 * in UTF-8, a final ".zel" or ".krd" not counted; a longer one is refused
 * (-802), its message giving its length and that limit. options below 0
 * take the options from the scheme's file.
 * Each load is a client load of this context (see "Client loads"). */
TQ_API int32_t tq_transf_scheme_load(tq_context* ctx, const char* scheme_name, int32_t options, int32_t mdefn_index,
                                     uint32_t sens, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_load_edit(tq_context* ctx, const char* scheme_name, tq_lock_handle* lock,
                                   int32_t* index) TQ_NOEXCEPT;
/* Gives back one of this context's loads of the resource or, when it holds
 * none, one that a closed context left (see "Client loads"); -800 with
 * message 1840, nothing changed, when there is neither. The edit form
 * gives the handle's locks back whatever the unload gives (the unload's
 * failure wins over the release's 119 or 120, see tq_lock_free);
 * tq_scheme_close releases as tq_lock_free does. */
TQ_API int32_t tq_transf_scheme_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_unload_edit(tq_context* ctx, int32_t index, tq_lock_handle* lock) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_close(tq_context* ctx, tq_lock_handle* lock) TQ_NOEXCEPT;
/* data: at most 1,024 bytes. out: out_size bytes, terminator included.
 * num_trans: the entries applied (0 when the value came back unchanged). */
TQ_API int32_t tq_transf_scheme_apply(tq_context* ctx, int32_t index, const char* data, char* out, uint32_t out_size,
                                      int32_t* num_trans) TQ_NOEXCEPT;
/* out_bufs: num_bufs pointers (at most 32 used), each to a buffer of
 * buf_size bytes, terminator included. num_out: the outputs filled. */
TQ_API int32_t tq_transf_scheme_apply_mult_out(tq_context* ctx, int32_t index, const char* data, uint32_t num_bufs,
                                               uint32_t buf_size, char** out_bufs, uint32_t* num_out) TQ_NOEXCEPT;
TQ_API int32_t tq_transf_scheme_options_get(tq_context* ctx, int32_t index, uint32_t* options, int32_t* mdefn_index,
                                            uint32_t* sens) TQ_NOEXCEPT;
/* Edit state. With the match-code bit (4), mdefn_index must name a usable
 * match definition of the current locale (its failure otherwise, -800 for
 * an index that names none); clearing the keep-white-space bit (0x200)
 * trims the data of the entries already held. */
TQ_API int32_t tq_transf_scheme_options_set(tq_context* ctx, int32_t index, uint32_t options, int32_t mdefn_index,
                                            uint32_t sens) TQ_NOEXCEPT;
/* path: the folder ("" for the first search-path folder); scheme_name: at
 * most 1,024 bytes. The file is "<scheme_name>.sch" in the vault kind
 * ("<scheme_name>.sch.zel"); its path (the folder, '/' and that name) may
 * have at most 16,383 bytes: a longer one is refused (-802, its length and
 * the limit named) before the scheme is made. */
TQ_API int32_t tq_scheme_create(tq_context* ctx, const char* path, const char* scheme_name, uint32_t options,
                                tq_lock_handle* lock, int32_t* index) TQ_NOEXCEPT;
/* scheme_name: at most 1,024 bytes. */
TQ_API int32_t tq_scheme_create_in_memory(tq_context* ctx, const char* scheme_name, uint32_t options,
                                          int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_finalize_in_memory(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* data, standard: at most 1,024 bytes each, holding only characters a file
 * can hold (-802 otherwise: see "Texts the knowledge base keeps" at the
 * top); tq_scheme_entry_delete takes any data. */
TQ_API int32_t tq_scheme_entry_add(tq_context* ctx, int32_t index, const char* data, const char* standard) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_entry_delete(tq_context* ctx, int32_t index, const char* data) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_import_begin(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_import_record(tq_context* ctx, int32_t index, const char* data,
                                       const char* standard) TQ_NOEXCEPT;
/* 112 when duplicate entries were removed. */
TQ_API int32_t tq_scheme_import_end(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Writes the scheme to its own file, which the lock handle must lock (-405
 * otherwise). Edit state: a scheme out of it (loaded to be applied, or
 * finalized) holds its entries as made ready to be applied (sorted,
 * trimmed, keyed), not as its file keeps them, and is refused (-501,
 * recorded, naming the scheme and the cause, whether or not the context is
 * in edit mode), as is every call that reads or changes its entries;
 * load it for editing (tq_scheme_load_edit, or tq_transf_scheme_load with
 * TQ_SCHEME_EDIT_STATE) to write it. */
TQ_API int32_t tq_scheme_write(tq_context* ctx, int32_t index, tq_lock_handle* lock) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_element_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
/* data, standard: 1,028 bytes + terminator. */
TQ_API int32_t tq_scheme_element_data_get(tq_context* ctx, int32_t index, uint32_t element, char* data) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_element_standard_get(tq_context* ctx, int32_t index, uint32_t element,
                                              char* standard) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_merge(tq_context* ctx, int32_t index, int32_t source_index) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_clear(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* name: at most 16,384 bytes. */
TQ_API int32_t tq_scheme_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* name: 4,096 bytes + terminator. */
TQ_API int32_t tq_scheme_name_get_by_index(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* iso: TQ_LOCALE_ISO_MAX + terminator bytes; desc: TQ_LOCALE_DESCRIPTION_MAX +
 * terminator bytes. */
TQ_API int32_t tq_scheme_locale_info_get(tq_context* ctx, int32_t index, char* iso, char* desc,
                                         int32_t* code) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_locale_info_set(tq_context* ctx, int32_t index, const char* iso, const char* desc,
                                         int32_t code) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_locale_set(tq_context* ctx, int32_t index, int32_t code) TQ_NOEXCEPT;
/* name, desc: at most 1,024 bytes each. */
TQ_API int32_t tq_scheme_vault_info_set(tq_context* ctx, int32_t index, const char* name,
                                        const char* desc) TQ_NOEXCEPT;
/* owner: TQ_NAME_MAX + terminator bytes. */
TQ_API int32_t tq_scheme_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_scheme_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;
/* name: 4,096 bytes + terminator; -708 when the scheme has no chopper. */
TQ_API int32_t tq_scheme_chopper_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* name: at most 1,024 bytes once in UTF-8, a final ".zel" or ".krd" not
 * counted (-802 beyond); NULL or "" leaves the scheme without a chopper. */
TQ_API int32_t tq_scheme_chopper_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;

/* ---- Grammars ----------------------------------------------------------
 * Token categories and the rules that build larger categories out of
 * sequences of categories. The name a load, edit or create registers: at
 * most 1,024 bytes before the file's extension (-802 beyond, nothing
 * changed). */
/* Each load (and edit) is a client load of this context (see "Client
 * loads"). */
TQ_API int32_t tq_grammar_load(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_grammar_edit(tq_context* ctx, const char* name, tq_lock_handle* lock, int32_t* index) TQ_NOEXCEPT;
/* Gives back one of this context's loads of the resource or, when it holds
 * none, one that a closed context left (see "Client loads"); -800 with
 * message 1840, nothing changed, when there is neither. */
TQ_API int32_t tq_grammar_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Releases every file the lock handle locks (119 or 120 as tq_lock_free). */
TQ_API int32_t tq_grammar_close(tq_context* ctx, tq_lock_handle* lock) TQ_NOEXCEPT;
/* The new grammar takes the current locale, when there is one. */
TQ_API int32_t tq_grammar_create(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* path: at most 16,384 bytes, and the file's path (the folder, '/', the
 * name and ".zel") at most 16,383: a longer one is refused (-802, its
 * length and the limit named), nothing made; name: at most 1,024. */
TQ_API int32_t tq_grammar_edit_new(tq_context* ctx, const char* path, const char* name,
                                   tq_lock_handle* lock) TQ_NOEXCEPT;
/* Writes the grammar to its own file, which the lock handle must lock (-405
 * otherwise); -300 for a grammar without a valid locale or with two rules of
 * one category that have the same right side. */
TQ_API int32_t tq_grammar_save(tq_context* ctx, int32_t index, tq_lock_handle* lock) TQ_NOEXCEPT;
TQ_API int32_t tq_grammar_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_grammar_category_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
/* abbrev, name: 1,028 bytes + terminator; rule_count 0 for a terminal category. */
TQ_API int32_t tq_grammar_category_info_get(tq_context* ctx, int32_t index, int32_t cat_index, char* abbrev,
                                            char* name, uint32_t* rule_count) TQ_NOEXCEPT;
/* -800 for a terminal category. */
TQ_API int32_t tq_grammar_rule_info_get(tq_context* ctx, int32_t index, int32_t cat_index, int32_t rule_index,
                                        int32_t* priority, uint32_t* cat_count) TQ_NOEXCEPT;
/* abbrev: 1,028 bytes + terminator. */
TQ_API int32_t tq_grammar_rule_category_abbrev_get(tq_context* ctx, int32_t index, int32_t cat_index,
                                                   int32_t rule_index, int32_t position, char* abbrev) TQ_NOEXCEPT;
/* abbrev: at most 128 bytes, name: at most 256; -300 for an abbreviation the
 * grammar holds (in any letter case); -802 for one holding '|'. */
TQ_API int32_t tq_grammar_category_add(tq_context* ctx, int32_t index, const char* abbrev,
                                       const char* name) TQ_NOEXCEPT;
/* priority 10..90 (-802 otherwise); appends a rule with an empty right side. */
TQ_API int32_t tq_grammar_rule_add(tq_context* ctx, int32_t index, int32_t cat_index, int32_t priority) TQ_NOEXCEPT;
/* abbrev: at most 1,024 bytes; -801 for a name that is not a category of the grammar. */
TQ_API int32_t tq_grammar_rule_category_add(tq_context* ctx, int32_t index, int32_t cat_index, int32_t rule_index,
                                            const char* abbrev) TQ_NOEXCEPT;
TQ_API int32_t tq_grammar_syntactic_category_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
/* name: 128 bytes + terminator; derived_flag 1 when the category has a rule. */
TQ_API int32_t tq_grammar_syntactic_category_info_get(tq_context* ctx, int32_t index, int32_t cat_index, char* name,
                                                      int32_t* derived_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_grammar_syntactic_category_name_get(tq_context* ctx, int32_t index, int32_t cat_index,
                                                      char* name) TQ_NOEXCEPT;
/* desc: 256 bytes + terminator. */
TQ_API int32_t tq_grammar_syntactic_category_desc_get(tq_context* ctx, int32_t index, int32_t cat_index,
                                                      char* desc) TQ_NOEXCEPT;
/* iso: TQ_LOCALE_ISO_MAX + terminator bytes; desc: TQ_LOCALE_DESCRIPTION_MAX +
 * terminator bytes. */
TQ_API int32_t tq_grammar_locale_info_get(tq_context* ctx, int32_t index, char* iso, char* desc,
                                          int32_t* code) TQ_NOEXCEPT;
TQ_API int32_t tq_grammar_locale_info_set(tq_context* ctx, int32_t index, const char* iso, const char* desc,
                                          int32_t code) TQ_NOEXCEPT;
/* name, desc: at most 1,024 bytes each. */
TQ_API int32_t tq_grammar_vault_info_set(tq_context* ctx, int32_t index, const char* name,
                                         const char* desc) TQ_NOEXCEPT;
/* owner: TQ_NAME_MAX + terminator bytes. */
TQ_API int32_t tq_grammar_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_grammar_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;


/* ---- Datatypes ----------------------------------------------------------------
 * Datatypes of the current locale, by index: outside edit mode its own and
 * then those it inherits; in edit mode depth x 256 + position (depth 0 the
 * locale, 1 its parent ...). A locale holds at most 256 of its own in edit
 * mode. Texts cross in the session encoding; those a setter keeps are
 * refused (-802) as "Texts the knowledge base keeps" at the top says. */
/* count: own plus inherited; refused in edit mode. */
TQ_API int32_t tq_datatype_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
/* count: the loaded locale's own datatypes. */
TQ_API int32_t tq_datatype_count_get_by_locale(tq_context* ctx, int32_t locale, uint32_t* count) TQ_NOEXCEPT;
/* name: TQ_NAME_MAX + terminator bytes. */
TQ_API int32_t tq_datatype_name_get_by_index(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_datatype_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* example: 1,024 bytes + terminator; owner: TQ_NAME_MAX + terminator bytes. */
TQ_API int32_t tq_datatype_example_get(tq_context* ctx, int32_t index, char* example) TQ_NOEXCEPT;
TQ_API int32_t tq_datatype_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
/* The stored document itself (NULL for none); the datatype keeps it. */
TQ_API int32_t tq_datatype_comments_get(tq_context* ctx, int32_t index, tq_xmldoc** comments) TQ_NOEXCEPT;
/* The datatype takes the document when it holds a record (the present
 * comments are freed); otherwise it is left without comments and the caller
 * keeps the document. Setting the stored document again changes nothing. */
TQ_API int32_t tq_datatype_comments_set(tq_context* ctx, int32_t index, tq_xmldoc* comments) TQ_NOEXCEPT;
TQ_API int32_t tq_datatype_editable_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_datatype_token_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
/* value: 1,024 bytes + terminator (TQ_DATATYPE_TOKEN_SIZE bytes hold any). */
#define TQ_DATATYPE_TOKEN_SIZE 1028
TQ_API int32_t tq_datatype_token_value_get(tq_context* ctx, int32_t index, int32_t token, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_datatype_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_datatype_example_set(tq_context* ctx, int32_t index, const char* example) TQ_NOEXCEPT;
TQ_API int32_t tq_datatype_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;
/* A value another token has (ignoring case) or holding a comma: -300, and
 * the old value stays. A value is kept up to 1,024 bytes, but a
 * definition's token names keep at most TQ_NAME_MAX bytes, so a token
 * longer than that can be named by no definition: tq_parse_defn_add and
 * tq_extraction_defn_datatype_index_set refuse such a datatype (-300, the
 * message giving the token's length and the limit): no definition is
 * added, and the definition set stays as it was. */
TQ_API int32_t tq_datatype_token_value_set(tq_context* ctx, int32_t index, int32_t token,
                                           const char* value) TQ_NOEXCEPT;
/* At most 32 tokens. */
TQ_API int32_t tq_datatype_token_add(tq_context* ctx, int32_t index, int32_t* token_index) TQ_NOEXCEPT;
TQ_API int32_t tq_datatype_token_delete(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_datatype_add(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_datatype_copy(tq_context* ctx, const char* source, const char* dest, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_datatype_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Appends the datatype to xml as an include "Datatype". */
TQ_API int32_t tq_datatype_write(tq_context* ctx, tq_xmldoc* xml, int32_t index) TQ_NOEXCEPT;

/* ---- Parse definitions ---------------------------------------------------------
 * Parse definitions of the current locale, by index as datatypes are (own
 * then inherited; in edit mode depth x 256 + position). Surfaced
 * definitions (the "Surface" flag, or every one under TQ_OPT_ALL_SURFACED)
 * are the ones offered to end users. Texts cross in the session encoding;
 * counts, flags and likelihoods are uint32_t, indices and positions int32_t
 * (-1 for none). Setters need edit mode. */
/* kind's own (parse/krpdefacc.h). */
/* Names, indices and counts. */
/* count: own plus inherited; refused in edit mode. */
TQ_API int32_t tq_parse_defn_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
/* count: the loaded locale's own definitions. */
TQ_API int32_t tq_parse_defn_count_get_by_locale(tq_context* ctx, int32_t locale, uint32_t* count) TQ_NOEXCEPT;
/* The surfaced ones (all under TQ_OPT_ALL_SURFACED); refused in edit mode. */
TQ_API int32_t tq_surfaced_parse_defn_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_surfaced_parse_defn_count_get_by_locale(tq_context* ctx, int32_t locale,
                                                          uint32_t* count) TQ_NOEXCEPT;
/* The name of the index-th surfaced definition (counted from 0); refused
 * in edit mode. */
TQ_API int32_t tq_surfaced_parse_defn_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* name: TQ_NAME_MAX + terminator bytes; -701 for a definition that is not
 * surfaced. */
TQ_API int32_t tq_parse_defn_name_get_by_index(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* Any definition, surfaced or not. */
TQ_API int32_t tq_parse_defn_name_get_by_index_ex(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* Ignoring case; -800 for a definition that is not surfaced. */
TQ_API int32_t tq_parse_defn_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* Any definition, surfaced or not. */
TQ_API int32_t tq_nonsurfaced_parse_defn_index_get_by_name(tq_context* ctx, const char* name,
                                                           int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
/* Common fields. */
/* The stored document itself (NULL for none); the definition keeps it. */
TQ_API int32_t tq_parse_defn_comments_get(tq_context* ctx, int32_t index, tq_xmldoc** comments) TQ_NOEXCEPT;
/* The definition takes the document when it holds an include; otherwise the caller keeps it. */
TQ_API int32_t tq_parse_defn_comments_set(tq_context* ctx, int32_t index, tq_xmldoc* comments) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_layouts_get(tq_context* ctx, int32_t index, tq_xmldoc** layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_layouts_set(tq_context* ctx, int32_t index, tq_xmldoc* layouts) TQ_NOEXCEPT;
/* owner: TQ_NAME_MAX + terminator bytes. */
TQ_API int32_t tq_parse_defn_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;
/* replacement: TQ_NAME_MAX + terminator bytes, given only while deprecated
 * is 1. */
TQ_API int32_t tq_parse_defn_deprecated_info_get(tq_context* ctx, int32_t index, uint32_t* deprecated,
                                                 char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_deprecated_info_set(tq_context* ctx, int32_t index, uint32_t deprecated,
                                                 const char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_incomplete_get(tq_context* ctx, int32_t index, uint32_t* incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_incomplete_set(tq_context* ctx, int32_t index, uint32_t incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_valid_get(tq_context* ctx, int32_t index, uint32_t* valid) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_valid_set(tq_context* ctx, int32_t index, uint32_t valid) TQ_NOEXCEPT;
/* The validity bits, as for every kind's valid_flag_info: 1, a step of the
 * load reported something; 8, read with "Incomplete" set. A definition
 * whose bit 8 or incomplete flag is set is written as incomplete, and so
 * reads back not valid (tq_locale_write warns of it). */
TQ_API int32_t tq_parse_defn_valid_flag_info_get(tq_context* ctx, int32_t index, uint32_t* valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_valid_flag_info_set(tq_context* ctx, int32_t index, uint32_t valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_editable_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
/* The index of the definition's datatype in the current locale; -1 for none. */
TQ_API int32_t tq_parse_defn_datatype_index_get(tq_context* ctx, int32_t index, int32_t* dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_datatype_index_set(tq_context* ctx, int32_t index, int32_t dtype_index) TQ_NOEXCEPT;
/* The stored flag (TQ_OPT_ALL_SURFACED not applied). */
TQ_API int32_t tq_parse_defn_surface_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_surface_flag_set(tq_context* ctx, int32_t index, uint32_t flag) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_automatic_uppercasing_get(tq_context* ctx, int32_t index,
                                                       uint32_t* auto_upper) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_automatic_uppercasing_set(tq_context* ctx, int32_t index,
                                                       uint32_t auto_upper) TQ_NOEXCEPT;
/* Resource names: 4,096 bytes + terminator; empty for none. */
TQ_API int32_t tq_parse_defn_chopper_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_chopper_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
/* Regex libraries and vocabularies. */
/* The first library (empty for none); the set leaves only the named one (an empty name empties the list). */
TQ_API int32_t tq_parse_defn_preprocessing_regexlib_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_preprocessing_regexlib_name_set(tq_context* ctx, int32_t index,
                                                             const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_preprocessing_regexlib_count_get(tq_context* ctx, int32_t index,
                                                              uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_preprocessing_regexlib_name_get_by_index(tq_context* ctx, int32_t index, int32_t entry,
                                                                      char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_preprocessing_regexlib_name_set_by_index(tq_context* ctx, int32_t index, int32_t entry,
                                                                      const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_preprocessing_regexlib_add(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_preprocessing_regexlib_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* The first library; -800 when there is none. The set leaves only the named one and automatic uppercasing on. */
TQ_API int32_t tq_parse_defn_normalization_regexlib_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_normalization_regexlib_name_set(tq_context* ctx, int32_t index,
                                                             const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_normalization_regexlib_count_get(tq_context* ctx, int32_t index,
                                                              uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_normalization_regexlib_name_get_by_index(tq_context* ctx, int32_t index, int32_t entry,
                                                                      char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_normalization_regexlib_name_set_by_index(tq_context* ctx, int32_t index, int32_t entry,
                                                                      const char* name) TQ_NOEXCEPT;
/* An empty name is refused (-802). */
TQ_API int32_t tq_parse_defn_normalization_regexlib_add(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_normalization_regexlib_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* name: 16,384 bytes + terminator; the set leaves only the named vocabulary. */
TQ_API int32_t tq_parse_defn_vocabulary_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_vocabulary_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_vocabulary_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
/* name: 4,096 bytes + terminator; stop: stop looking after a hit. */
TQ_API int32_t tq_parse_defn_vocabulary_info_get_by_index(tq_context* ctx, int32_t index, int32_t vocab, char* name,
                                                          uint32_t* stop) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_vocabulary_info_set_by_index(tq_context* ctx, int32_t index, int32_t vocab,
                                                          const char* name, uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_vocabulary_add(tq_context* ctx, int32_t index, const char* name,
                                            uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_vocabulary_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* The threshold is taken only when enabling; disabled reads 80. */
TQ_API int32_t tq_parse_defn_fuzzy_vocab_lookup_params_get_by_index(tq_context* ctx, int32_t index, int32_t vocab,
                                                                    uint32_t* enabled,
                                                                    uint32_t* threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_fuzzy_vocab_lookup_params_set_by_index(tq_context* ctx, int32_t index, int32_t vocab,
                                                                    uint32_t enabled, uint32_t threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_fuzzy_vocab_lookup_params_get(tq_context* ctx, int32_t index, uint32_t* enabled,
                                                           uint32_t* threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_fuzzy_vocab_lookup_params_set(tq_context* ctx, int32_t index, uint32_t enabled,
                                                           uint32_t threshold) TQ_NOEXCEPT;
/* Grammar, root category and optimization parameters. */
/* name: 1,028 bytes + terminator; empty for none. The set keeps the root category's name, which the next parse
 * looks up in the new grammar. It reads the named file as a grammar first: a file that is not one (a regex
 * library, a chopper) or an empty name is refused and the definition keeps its grammar. */
TQ_API int32_t tq_parse_defn_grammar_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_grammar_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
/* name: 128 bytes + terminator. The set takes the grammar's category at cat_index. */
TQ_API int32_t tq_parse_defn_root_category_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_root_category_index_set(tq_context* ctx, int32_t index, int32_t cat_index) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_opt_params_override_get(tq_context* ctx, int32_t index,
                                                     uint32_t* override_flag) TQ_NOEXCEPT;
/* The values in effect: the definition's own while its override is on, else the context's defaults. */
TQ_API int32_t tq_parse_defn_opt_params_scoring_levels_get(tq_context* ctx, int32_t index,
                                                           int32_t* levels) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_opt_params_resource_limit_get(tq_context* ctx, int32_t index,
                                                           int32_t* limit) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_opt_params_input_length_get(tq_context* ctx, int32_t index, int32_t* length) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_opt_params_override_set(tq_context* ctx, int32_t index,
                                                     uint32_t override_flag) TQ_NOEXCEPT;
/* Each value setter switches the override on; levels must be 5 to 10 (-802). */
TQ_API int32_t tq_parse_defn_opt_params_scoring_levels_set(tq_context* ctx, int32_t index,
                                                           int32_t levels) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_opt_params_resource_limit_set(tq_context* ctx, int32_t index, int32_t limit) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_opt_params_input_length_set(tq_context* ctx, int32_t index, int32_t length) TQ_NOEXCEPT;
/* Tokens. */
TQ_API int32_t tq_parse_defn_token_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
/* Every token name of the definition named parse_defn into names[0..31]
 * (buffers of TQ_NAME_MAX + terminator bytes). */
TQ_API int32_t tq_parse_defn_token_names_get(tq_context* ctx, const char* parse_defn, char** names,
                                             uint32_t* num_names) TQ_NOEXCEPT;
/* name: TQ_NAME_MAX + terminator bytes. */
TQ_API int32_t tq_parse_defn_token_name_get(tq_context* ctx, int32_t index, int32_t token, char* name) TQ_NOEXCEPT;
/* key is taken as the token's position. */
TQ_API int32_t tq_parse_defn_token_name_get_by_key(tq_context* ctx, int32_t index, int32_t key,
                                                   char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_token_key_get_by_name(tq_context* ctx, int32_t index, const char* name,
                                                   int32_t* key) TQ_NOEXCEPT;
/* The name must be one of the datatype's tokens (-300). */
TQ_API int32_t tq_parse_defn_token_name_set(tq_context* ctx, int32_t index, int32_t token,
                                            const char* name) TQ_NOEXCEPT;
/* name: one of the datatype's tokens; the token gets its no-solution slot. */
TQ_API int32_t tq_parse_defn_token_add(tq_context* ctx, int32_t index, const char* name,
                                       int32_t* token_index) TQ_NOEXCEPT;
/* The unknown token follows: -1 when it was this token, one place down when after it. */
TQ_API int32_t tq_parse_defn_token_delete(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_token_use_sep_flag_get(tq_context* ctx, int32_t index, int32_t token,
                                                    uint32_t* use_sep) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_token_use_sep_flag_set(tq_context* ctx, int32_t index, int32_t token,
                                                    uint32_t use_sep) TQ_NOEXCEPT;
/* sep: 64 bytes + terminator. */
TQ_API int32_t tq_parse_defn_token_sep_get(tq_context* ctx, int32_t index, int32_t token, char* sep) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_token_sep_set(tq_context* ctx, int32_t index, int32_t token,
                                           const char* sep) TQ_NOEXCEPT;
/* name: 1,028 bytes + terminator. */
TQ_API int32_t tq_parse_defn_token_info_get(tq_context* ctx, int32_t index, int32_t token, char* name,
                                            uint32_t* num_cats) TQ_NOEXCEPT;
/* abbr: 128 bytes + terminator. */
TQ_API int32_t tq_parse_defn_token_cat_abbr_get(tq_context* ctx, int32_t index, int32_t token, int32_t cat,
                                                char* abbr) TQ_NOEXCEPT;
/* Stored uppercased; a token holds at most 32 categories (-601). */
TQ_API int32_t tq_parse_defn_token_cat_add(tq_context* ctx, int32_t index, int32_t token,
                                           const char* abbr) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_token_cat_list_clear(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
/* Categorization regex libraries. */
TQ_API int32_t tq_parse_defn_cat_regexlib_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
/* filename: 16,384 bytes + terminator; category: 128 bytes + terminator. */
TQ_API int32_t tq_parse_defn_cat_regexlib_info_get(tq_context* ctx, int32_t index, int32_t entry, char* filename,
                                                   char* category, uint32_t* likelihood, uint32_t* stop) TQ_NOEXCEPT;
/* likelihood 10 to 90 (-802); a refused change keeps the entry as it was. */
TQ_API int32_t tq_parse_defn_cat_regexlib_info_set(tq_context* ctx, int32_t index, int32_t entry,
                                                   const char* filename, const char* category, uint32_t likelihood,
                                                   uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_cat_regexlib_add(tq_context* ctx, int32_t index, const char* rlib_name,
                                              uint32_t likelihood, const char* cat_abbr, uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_cat_regexlib_delete(tq_context* ctx, int32_t index, int32_t entry) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_cat_regexlibs_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Default categories. */
TQ_API int32_t tq_parse_defn_default_category_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
/* category: 128 bytes + terminator; the set stores it uppercased and takes likelihoods 10 to 90. */
TQ_API int32_t tq_parse_defn_default_category_info_get(tq_context* ctx, int32_t index, int32_t entry, char* category,
                                                       uint32_t* likelihood) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_default_category_info_set(tq_context* ctx, int32_t index, int32_t entry,
                                                       const char* category, uint32_t likelihood) TQ_NOEXCEPT;
/* An entry without category, likelihood 50; cat_index its position. */
TQ_API int32_t tq_parse_defn_default_category_add(tq_context* ctx, int32_t index, int32_t* cat_index) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_default_category_delete(tq_context* ctx, int32_t index, int32_t entry) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_default_categories_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* No-solution settings. */
/* No-solution slots, one per token once any is set up. Token names are compared byte for byte with the
 * definition's tokens (-802 for none); category names are stored uppercased. */
TQ_API int32_t tq_parse_defn_nosol_token_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
/* name: 1,028 bytes + terminator; empty for a slot not set up. */
TQ_API int32_t tq_parse_defn_nosol_token_info_get(tq_context* ctx, int32_t index, int32_t slot, char* name,
                                                  uint32_t* num_cats) TQ_NOEXCEPT;
/* abbr: 128 bytes + terminator. */
TQ_API int32_t tq_parse_defn_nosol_token_cat_info_get(tq_context* ctx, int32_t index, int32_t slot, int32_t cat,
                                                      char* abbr, uint32_t* max_words) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_nosol_token_add(tq_context* ctx, int32_t index, const char* name,
                                             int32_t* token_index) TQ_NOEXCEPT;
/* max_words 0: no limit; at most 32 categories per slot (-601); -800 when the token has no slot. */
TQ_API int32_t tq_parse_defn_nosol_category_add(tq_context* ctx, int32_t index, const char* tname, const char* cname,
                                                uint32_t max_words, int32_t* cidx) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_nosol_category_delete(tq_context* ctx, int32_t index, const char* tname,
                                                   int32_t cat) TQ_NOEXCEPT;
/* When this was the only slot with categories, no slot and no unknown token remain. */
TQ_API int32_t tq_parse_defn_nosol_token_delete(tq_context* ctx, int32_t index, const char* tok_name) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_nosol_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* name: 1,028 bytes + terminator; "" and 0 when there is none. */
TQ_API int32_t tq_parse_defn_nosol_unknown_token_info_get(tq_context* ctx, int32_t index, char* name,
                                                          int32_t* tidx) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_nosol_unknown_token_set(tq_context* ctx, int32_t index, const char* name,
                                                     int32_t* token_index) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_nosol_xcat_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
/* abbr: 128 bytes + terminator. */
TQ_API int32_t tq_parse_defn_nosol_xcat_info_get(tq_context* ctx, int32_t index, int32_t entry,
                                                 char* abbr) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_nosol_xcat_add(tq_context* ctx, int32_t index, const char* cname,
                                            int32_t* cidx) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_nosol_xcat_delete(tq_context* ctx, int32_t index, int32_t entry) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_nosol_xcat_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Whole definitions. */
/* One token per datatype token, in order, without categories. */
TQ_API int32_t tq_parse_defn_add(tq_context* ctx, const char* name, int32_t dtype_index,
                                 int32_t* parse_defn_index) TQ_NOEXCEPT;
/* Copies the definition named source (surfaced or not) as dest. */
TQ_API int32_t tq_parse_defn_copy(tq_context* ctx, const char* source, const char* dest, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Appends the definition to xml as an include "Parsorithm", as it stands:
 * its grammar and root category as held, also a root the grammar lacks (a
 * definition moved to another grammar before its root is chosen). Every
 * kind's *_defn_write likewise writes what the definition holds whatever
 * its state, failing only for memory or an index that names none. */
TQ_API int32_t tq_parse_defn_write(tq_context* ctx, tq_xmldoc* xml, int32_t index) TQ_NOEXCEPT;

/* ---- Identification definitions -------------------------------------------
 * Identification definitions of the current locale, by index as datatypes
 * are (own then inherited; in edit mode depth x 256 + position). A
 * definition has a format level (5, 7 or 8) that decides how it runs and
 * the element type it is written as; most changes raise it to 8 and every
 * change has the definition bound again before its next run. Texts cross in
 * the session encoding; counts, flags, options and likelihoods are uint32_t,
 * indices, positions, weights and scores int32_t. Setters, add, copy and
 * write need edit mode (-501); the count refuses it (-500). */
/* Names, indices and counts. */
/* count: own plus inherited; refused in edit mode. */
TQ_API int32_t tq_identification_defn_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
/* count: the loaded locale's own definitions. */
TQ_API int32_t tq_identification_defn_count_get_by_locale(tq_context* ctx, int32_t locale,
                                                          uint32_t* count) TQ_NOEXCEPT;
/* name: TQ_NAME_MAX + terminator bytes; -701 for a definition that is not
 * surfaced. */
TQ_API int32_t tq_identification_defn_name_get_by_index(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* Ignoring case; -800 for a definition that is not surfaced. */
TQ_API int32_t tq_identification_defn_index_get_by_name(tq_context* ctx, const char* name,
                                                        int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
/* Common fields; their setters leave the format level as it is. */
/* The stored document itself (NULL for none); the definition keeps it. */
TQ_API int32_t tq_identification_defn_comments_get(tq_context* ctx, int32_t index,
                                                   tq_xmldoc** comments) TQ_NOEXCEPT;
/* The definition takes the document when it holds an include; otherwise the caller keeps it. */
TQ_API int32_t tq_identification_defn_comments_set(tq_context* ctx, int32_t index,
                                                   tq_xmldoc* comments) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_layouts_get(tq_context* ctx, int32_t index, tq_xmldoc** layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_layouts_set(tq_context* ctx, int32_t index, tq_xmldoc* layouts) TQ_NOEXCEPT;
/* owner: TQ_NAME_MAX + terminator bytes. */
TQ_API int32_t tq_identification_defn_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;
/* replacement: TQ_NAME_MAX + terminator bytes, given only while deprecated
 * is 1. */
TQ_API int32_t tq_identification_defn_deprecated_info_get(tq_context* ctx, int32_t index, uint32_t* deprecated,
                                                          char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_deprecated_info_set(tq_context* ctx, int32_t index, uint32_t deprecated,
                                                          const char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_incomplete_get(tq_context* ctx, int32_t index,
                                                     uint32_t* incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_incomplete_set(tq_context* ctx, int32_t index,
                                                     uint32_t incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_valid_get(tq_context* ctx, int32_t index, uint32_t* valid) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_valid_set(tq_context* ctx, int32_t index, uint32_t valid) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_valid_flag_info_get(tq_context* ctx, int32_t index,
                                                          uint32_t* valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_editable_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
/* The index of the definition's datatype in the current locale; -1 for none. */
TQ_API int32_t tq_identification_defn_datatype_index_get(tq_context* ctx, int32_t index,
                                                         int32_t* dtype_index) TQ_NOEXCEPT;
/* Stores the datatype; the format level stays. -1 (none) is refused with -800, as by every kind's datatype
 * set: the file would read back with "Name". */
TQ_API int32_t tq_identification_defn_datatype_index_set_no_upcast(tq_context* ctx, int32_t index,
                                                                   int32_t dtype_index) TQ_NOEXCEPT;
/* The format level stays. */
TQ_API int32_t tq_identification_defn_automatic_uppercasing_get(tq_context* ctx, int32_t index,
                                                                uint32_t* auto_upper) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_automatic_uppercasing_set(tq_context* ctx, int32_t index,
                                                                uint32_t auto_upper) TQ_NOEXCEPT;
/* Resource names: 4,096 bytes + terminator; empty for none. */
TQ_API int32_t tq_identification_defn_chopper_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* Regex libraries, vocabularies, default categories: the readers. */
/* The first normalization library; -800 when there is none. */
TQ_API int32_t tq_identification_defn_normalization_regexlib_name_get(tq_context* ctx, int32_t index,
                                                                      char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_normalization_regexlib_name_get_by_index(tq_context* ctx, int32_t index,
                                                                               int32_t position,
                                                                               char* name) TQ_NOEXCEPT;
/* The first vocabulary's name: 16,384 bytes + terminator. */
TQ_API int32_t tq_identification_defn_vocabulary_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_vocabulary_count_get(tq_context* ctx, int32_t index,
                                                           uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_vocabulary_info_get_by_index(tq_context* ctx, int32_t index, int32_t vocab,
                                                                   char* name, uint32_t* stop) TQ_NOEXCEPT;
/* The threshold reads 80 while fuzzy lookup is disabled. */
TQ_API int32_t tq_identification_defn_fuzzy_vocab_lookup_params_get_by_index(tq_context* ctx, int32_t index,
                                                                             int32_t vocab, uint32_t* enabled,
                                                                             uint32_t* threshold) TQ_NOEXCEPT;
/* Vocabulary 0. */
TQ_API int32_t tq_identification_defn_fuzzy_vocab_lookup_params_get(tq_context* ctx, int32_t index,
                                                                    uint32_t* enabled,
                                                                    uint32_t* threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_default_category_count_get(tq_context* ctx, int32_t index,
                                                                 uint32_t* count) TQ_NOEXCEPT;
/* category: 128 bytes + terminator. */
TQ_API int32_t tq_identification_defn_default_category_info_get(tq_context* ctx, int32_t index, int32_t entry,
                                                                char* category,
                                                                uint32_t* likelihood) TQ_NOEXCEPT;
/* The format level: 5, 7 or 8. */
TQ_API int32_t tq_identification_defn_version_get(tq_context* ctx, int32_t index, uint32_t* value) TQ_NOEXCEPT;
/* Raises the format level to 8 and changes nothing else. */
TQ_API int32_t tq_identification_defn_touch(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* At level 5 the normalization libraries are the ones applied to the whole
 * value first: the preprocessing count and names give them, and the
 * normalization count is 0. */
TQ_API int32_t tq_identification_defn_normalization_regexlib_count_get(tq_context* ctx, int32_t index,
                                                                       uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_preprocessing_regexlib_count_get(tq_context* ctx, int32_t index,
                                                                       uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_preprocessing_regexlib_name_get_by_index(tq_context* ctx, int32_t index,
                                                                               int32_t position,
                                                                               char* name) TQ_NOEXCEPT;
/* Changes of the common part that raise the format level to 8. An empty
 * name in a _set empties the list (position 0) or the chopper. */
TQ_API int32_t tq_identification_defn_valid_flag_info_set(tq_context* ctx, int32_t index,
                                                          uint32_t valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_datatype_index_set(tq_context* ctx, int32_t index,
                                                         int32_t dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_chopper_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
/* Leaves only the named library; one that cannot be opened changes nothing. */
TQ_API int32_t tq_identification_defn_normalization_regexlib_name_set(tq_context* ctx, int32_t index,
                                                                      const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_normalization_regexlib_name_set_by_index(tq_context* ctx, int32_t index,
                                                                               int32_t position,
                                                                               const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_normalization_regexlib_add(tq_context* ctx, int32_t index,
                                                                 const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_normalization_regexlib_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_preprocessing_regexlib_name_set_by_index(tq_context* ctx, int32_t index,
                                                                               int32_t position,
                                                                               const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_preprocessing_regexlib_add(tq_context* ctx, int32_t index,
                                                                 const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_preprocessing_regexlib_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_vocabulary_name_set(tq_context* ctx, int32_t index,
                                                          const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_vocabulary_info_set_by_index(tq_context* ctx, int32_t index, int32_t vocab,
                                                                   const char* name, uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_vocabulary_add(tq_context* ctx, int32_t index, const char* name,
                                                     uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_vocabulary_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* The threshold is stored only when enabling. */
TQ_API int32_t tq_identification_defn_fuzzy_vocab_lookup_params_set_by_index(tq_context* ctx, int32_t index,
                                                                             int32_t vocab, uint32_t enabled,
                                                                             uint32_t threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_fuzzy_vocab_lookup_params_set(tq_context* ctx, int32_t index,
                                                                    uint32_t enabled,
                                                                    uint32_t threshold) TQ_NOEXCEPT;
/* likelihood 10 to 90 (-802). */
TQ_API int32_t tq_identification_defn_default_category_info_set(tq_context* ctx, int32_t index, int32_t entry,
                                                                const char* category,
                                                                uint32_t likelihood) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_default_category_add(tq_context* ctx, int32_t index,
                                                           int32_t* cat_index) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_default_category_delete(tq_context* ctx, int32_t index,
                                                              int32_t entry) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_default_categories_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* The kind's own part: identity values, known identities, patterns (a
 * grammar, root and sought categories, options bit 0 "Phrase", the identity
 * value, weight and stop flag, and optimization parameters), categorization
 * libraries. Output sizes include the terminator, texts cut between
 * characters: value, root_cat, sought_cat, id_val and abbrev 128 bytes;
 * desc, scheme and grammar names 1,028; rlib_name 16,384. An identity
 * value (value, identity, id_val) is taken in at most 127 bytes in UTF-8
 * (-802 beyond). Its 128-byte outputs (here, and
 * tq_ident_info_known_identity_get) give it back whole in a UTF-8 or
 * single-byte session; in a UCS-2 session they hold 63 UTF-16 units and the
 * two-byte terminator, so a value of more than 63 characters (one above
 * U+FFFF counting two) comes back cut there (102), such as 63 x U+00E9 and
 * "x", while tq_identify gives it whole. A category of 128 bytes comes back
 * cut (102) in every session. An identity text
 * that names no value is -801, a category the grammar lacks -802, a
 * likelihood outside 10 to 90 -802. Changes raise the format level to 8;
 * one that fails after changing a pattern or known identity keeps that
 * change. */
TQ_API int32_t tq_identification_defn_value_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_value_info_get(tq_context* ctx, int32_t index, int32_t value_index, char* value,
                                                     char* desc, uint32_t* dflt_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_value_add(tq_context* ctx, int32_t index, const char* value, const char* desc,
                                                uint32_t dflt_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_values_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_known_identity_count_get(tq_context* ctx, int32_t index,
                                                               uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_known_identity_info_get(tq_context* ctx, int32_t index, int32_t known_index,
                                                              char* scheme, uint32_t* options, char* value) TQ_NOEXCEPT;
/* A known identity's scheme options: 0, or TQ_SCHEME_CASE_INSENSITIVE, the
 * one option its file holds; others are refused with -802 and change
 * nothing. */
TQ_API int32_t tq_identification_defn_known_identity_info_set(tq_context* ctx, int32_t index, int32_t known_index,
                                                              const char* scheme, uint32_t options,
                                                              const char* identity) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_known_identity_add(tq_context* ctx, int32_t index, const char* scheme,
                                                         uint32_t options, const char* identity) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_known_identities_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_pattern_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_pattern_info_get(tq_context* ctx, int32_t index, int32_t pattern_index,
                                                       char* root_cat, char* sought_cat, uint32_t* options,
                                                       char* id_val, int32_t* weight, uint32_t* stop) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_pattern_info_set(tq_context* ctx, int32_t index, int32_t pattern_index,
                                                       const char* grammar_name, const char* root_cat,
                                                       const char* sought_cat, uint32_t options, const char* id_val,
                                                       int32_t weight, uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_pattern_add(tq_context* ctx, int32_t index, const char* grammar_name,
                                                  const char* root_cat, const char* sought_cat, uint32_t options,
                                                  const char* id_val, int32_t weight, uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_patterns_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_grammar_name_get(tq_context* ctx, int32_t index, int32_t pattern_index,
                                                       char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_grammar_name_set(tq_context* ctx, int32_t index, int32_t pattern_index,
                                                       const char* name) TQ_NOEXCEPT;
/* A pattern's optimization parameters: the getters give what its runs use
 * (its own values when its override is on, else the context's defaults);
 * a value setter switches the override on from the defaults first. Levels
 * 5 to 10, input length 0 short, 1 long, 2 automatic; others -802. */
TQ_API int32_t tq_identification_defn_opt_params_override_get(tq_context* ctx, int32_t index, int32_t pattern_index,
                                                              uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_opt_params_resource_limit_get(tq_context* ctx, int32_t index,
                                                                    int32_t pattern_index, int32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_opt_params_scoring_levels_get(tq_context* ctx, int32_t index,
                                                                    int32_t pattern_index, int32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_opt_params_input_length_get(tq_context* ctx, int32_t index, int32_t pattern_index,
                                                                  int32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_opt_params_override_set(tq_context* ctx, int32_t index, int32_t pattern_index,
                                                              uint32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_opt_params_resource_limit_set(tq_context* ctx, int32_t index,
                                                                    int32_t pattern_index, int32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_opt_params_scoring_levels_set(tq_context* ctx, int32_t index,
                                                                    int32_t pattern_index, int32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_opt_params_input_length_set(tq_context* ctx, int32_t index, int32_t pattern_index,
                                                                  int32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_cat_regexlib_count_get(tq_context* ctx, int32_t index,
                                                             uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_cat_regexlib_info_get(tq_context* ctx, int32_t index, int32_t entry_index,
                                                            char* abbrev, uint32_t* likelihood, char* rlib_name,
                                                            uint32_t* stop) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_cat_regexlib_info_set(tq_context* ctx, int32_t index, int32_t entry_index,
                                                            const char* cat_abbr, uint32_t likelihood,
                                                            const char* rlib_name, uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_cat_regexlib_add(tq_context* ctx, int32_t index, const char* cat_abbr,
                                                       uint32_t likelihood, const char* rlib_name,
                                                       uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_identification_defn_cat_regexlib_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Whole definitions. */
/* A new definition without values or patterns; not valid until set so. */
TQ_API int32_t tq_identification_defn_add(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* A copy of sname (surfaced or not, ancestors included) named dname; it is bound again before its first run. */
TQ_API int32_t tq_identification_defn_copy(tq_context* ctx, const char* sname, const char* dname,
                                           int32_t* index) TQ_NOEXCEPT;
/* Empties the slot; the indices of the other definitions stay. */
TQ_API int32_t tq_identification_defn_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Appends the definition to xml as the locale writer does: an include
 * "Dovirizered" holding an element of type "Dovirizered" (level 5),
 * "Dovirizered V7" or "Dovirizered V8". */
TQ_API int32_t tq_identification_defn_write(tq_context* ctx, int32_t index, tq_xmldoc* xml) TQ_NOEXCEPT;

/* ---- Morph analyzer info ------------------------------------------------
 * What word analysis recorded for each word of a value: the word as
 * chopped, uppercased and normalized, the vocabularies that knew it (fuzzy
 * matches included), the categorization regex libraries that matched it,
 * the numeric check, and the categories it ended with. A parse info hands
 * its morph analyzer info out; each analysis given it replaces everything
 * it held. Word index i counts the words of the value as chopped; only the
 * first 128 are analysed, and per-word getters give -800 from 128 on (the
 * string getter knows every chopped word). A word that normalization
 * emptied has no categories. Texts come out in the session encoding, at
 * most 1,028 bytes with the terminator. */
typedef struct tq_morph_analyzer_info tq_morph_analyzer_info;

TQ_API int32_t tq_morph_analyzer_info_analyzed_word_list_count_get(tq_context* ctx, tq_morph_analyzer_info* info,
                                                                   uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_analyzed_word_string_get(tq_context* ctx, tq_morph_analyzer_info* info,
                                                               int32_t i, char* word) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_uppercased_word_get(tq_context* ctx, tq_morph_analyzer_info* info, int32_t i,
                                                          char* buf) TQ_NOEXCEPT;
/* With normalization regex libraries, the output of the first; else the
 * uppercased word. */
TQ_API int32_t tq_morph_analyzer_info_analyzed_word_norm_get(tq_context* ctx, tq_morph_analyzer_info* info,
                                                             int32_t i, char* norm) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_any_normalization_regexlib_matched_get(tq_context* ctx,
                                                                             tq_morph_analyzer_info* info,
                                                                             uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_normalization_regexlib_count_get(tq_context* ctx,
                                                                       tq_morph_analyzer_info* info,
                                                                       uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_analyzed_word_norm_per_regexlib_get(tq_context* ctx,
                                                                          tq_morph_analyzer_info* info, int32_t i,
                                                                          int32_t regexlib, char* norm,
                                                                          uint32_t* matched) TQ_NOEXCEPT;
/* 1 when a fuzzy match was recorded for vocabulary `vocab`. */
TQ_API int32_t tq_morph_analyzer_info_fuzzy_enabled_get(tq_context* ctx, tq_morph_analyzer_info* info, int32_t vocab,
                                                        uint32_t* fuzzy) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_analyzed_word_fuzzy_get(tq_context* ctx, tq_morph_analyzer_info* info,
                                                              int32_t i, char* fuzzy) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_analyzed_word_fuzzy_per_vocab_get(tq_context* ctx,
                                                                        tq_morph_analyzer_info* info, int32_t i,
                                                                        int32_t vocab, char* fuzzy) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_vocab_count_get(tq_context* ctx, tq_morph_analyzer_info* info,
                                                      uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_any_vocab_found_get(tq_context* ctx, tq_morph_analyzer_info* info,
                                                          uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_analyzed_word_cat_count_get(tq_context* ctx, tq_morph_analyzer_info* info,
                                                                  int32_t i, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_analyzed_word_cat_count_per_vocab_get(tq_context* ctx,
                                                                            tq_morph_analyzer_info* info, int32_t i,
                                                                            int32_t vocab,
                                                                            uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_analyzed_word_cat_abbr_get(tq_context* ctx, tq_morph_analyzer_info* info,
                                                                 int32_t i, int32_t j, char* abbr) TQ_NOEXCEPT;
/* j counts the word's results from every vocabulary (-800 beyond them); the
 * j-th from vocabulary `vocab` comes out, empty when it has fewer. */
TQ_API int32_t tq_morph_analyzer_info_analyzed_word_cat_abbr_per_vocab_get(tq_context* ctx,
                                                                           tq_morph_analyzer_info* info, int32_t i,
                                                                           int32_t j, int32_t vocab,
                                                                           char* abbr) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_analyzed_word_cat_like_get(tq_context* ctx, tq_morph_analyzer_info* info,
                                                                 int32_t i, int32_t j,
                                                                 int32_t* likelihood) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_analyzed_word_cat_like_per_vocab_get(tq_context* ctx,
                                                                           tq_morph_analyzer_info* info, int32_t i,
                                                                           int32_t j, int32_t vocab,
                                                                           int32_t* likelihood) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_num_check_flag_get(tq_context* ctx, tq_morph_analyzer_info* ma_info,
                                                         int32_t i, uint32_t* flag) TQ_NOEXCEPT;
/* The result of word i from the regex library of that name (at most 1,024
 * bytes in); the last when several; empty and 0 when none. */
TQ_API int32_t tq_morph_analyzer_info_cat_regex_info_get(tq_context* ctx, tq_morph_analyzer_info* info, int32_t i,
                                                         const char* regex_name, char* cat,
                                                         int32_t* like) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_categorization_regexlib_count_get(tq_context* ctx,
                                                                        tq_morph_analyzer_info* info,
                                                                        uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_any_categorization_regexlib_matched_get(tq_context* ctx,
                                                                              tq_morph_analyzer_info* info,
                                                                              uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_cat_regex_info_per_regexlib_get(tq_context* ctx,
                                                                      tq_morph_analyzer_info* info, int32_t i,
                                                                      int32_t regexlib, char* cat,
                                                                      int32_t* like) TQ_NOEXCEPT;
/* The categories a word ended with after the numeric check or the default
 * categories gave it some. */
TQ_API int32_t tq_morph_analyzer_info_default_cats_count_get(tq_context* ctx, tq_morph_analyzer_info* info,
                                                             int32_t i, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_morph_analyzer_info_default_cats_info_get(tq_context* ctx, tq_morph_analyzer_info* info,
                                                            int32_t i, int32_t j, char* cat,
                                                            int32_t* like) TQ_NOEXCEPT;

/* ---- Parse optimization parameters ----------------------------------------
 * Levels to score 5 to 10; resource limit 2000, 2800, 7000, 10000, 25000 or
 * 50000; input length 0 "Short", 1 "Long", 2 "Automatic". A refused value is
 * -802 and changes nothing. Defaults apply to definitions without their own
 * parameters; overrides win over everything when the engines run. An
 * override getter writes the value only when the override is set. */
TQ_API int32_t tq_parse_opt_params_resource_limit_default_set(tq_context* ctx, int32_t limit) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_scoring_levels_default_set(tq_context* ctx, int32_t levels) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_input_length_default_set(tq_context* ctx, int32_t length) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_resource_limit_override_set(tq_context* ctx, int32_t limit) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_scoring_levels_override_set(tq_context* ctx, int32_t levels) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_input_length_override_set(tq_context* ctx, int32_t length) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_resource_limit_default_get(tq_context* ctx, int32_t* limit) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_scoring_levels_default_get(tq_context* ctx, int32_t* levels) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_input_length_default_get(tq_context* ctx, int32_t* length) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_resource_limit_override_get(tq_context* ctx, int32_t* is_set,
                                                               int32_t* limit) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_scoring_levels_override_get(tq_context* ctx, int32_t* is_set,
                                                               int32_t* levels) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_input_length_override_get(tq_context* ctx, int32_t* is_set,
                                                             int32_t* length) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_resource_limit_override_remove(tq_context* ctx) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_scoring_levels_override_remove(tq_context* ctx) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_input_length_override_remove(tq_context* ctx) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_opt_params_override_remove_all(tq_context* ctx) TQ_NOEXCEPT;
/* The older family: default levels and limit; the levels and limit overrides. */
TQ_API int32_t tq_parse_optimization_params_default_get(tq_context* ctx, int32_t* levels_to_score,
                                                        int32_t* resource_limit) TQ_NOEXCEPT;
/* The levels are set (validated) first and stay set when the limit is refused. */
TQ_API int32_t tq_parse_optimization_params_default_set(tq_context* ctx, int32_t levels, int32_t limit) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_optimization_params_user_get(tq_context* ctx, int32_t* score_levels_set, int32_t* score_levels,
                                                     int32_t* resource_limit_set, int32_t* resource_limit) TQ_NOEXCEPT;
/* Sets each override whose flag is not 0; the first failure is returned. */
TQ_API int32_t tq_parse_optimization_params_user_set(tq_context* ctx, int32_t levels_flag, int32_t levels,
                                                     int32_t limit_flag, int32_t limit) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_optimization_params_user_remove(tq_context* ctx, int32_t levels_flag,
                                                        int32_t limit_flag) TQ_NOEXCEPT;

/* ---- Solution rules ----------------------------------------------------------
 * A rule of a parse solution's tree: its category ("abbreviation", 1,028
 * bytes with the terminator), priority, right-side categories and the rules below it. Valid
 * until the next parse on the context; freed one by one. Indexes out of
 * range give -800. */
typedef struct tq_solution_rule tq_solution_rule;
TQ_API int32_t tq_solution_rule_free(tq_context* ctx, tq_solution_rule* rule) TQ_NOEXCEPT;
TQ_API int32_t tq_solution_rule_parent_abbr_get(tq_context* ctx, tq_solution_rule* rule, char* abbr) TQ_NOEXCEPT;
TQ_API int32_t tq_solution_rule_priority_get(tq_context* ctx, tq_solution_rule* rule, uint32_t* priority) TQ_NOEXCEPT;
TQ_API int32_t tq_solution_rule_cat_count_get(tq_context* ctx, tq_solution_rule* rule, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_solution_rule_cat_abbr_get(tq_context* ctx, tq_solution_rule* rule, int32_t index,
                                             char* abbr) TQ_NOEXCEPT;
TQ_API int32_t tq_solution_rule_child_rule_count_get(tq_context* ctx, tq_solution_rule* rule,
                                                     uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_solution_rule_child_rule_get(tq_context* ctx, tq_solution_rule* rule, int32_t index,
                                               tq_solution_rule** child) TQ_NOEXCEPT;

/* ---- Parsing -------------------------------------------------------------------
 * A value parsed into the tokens of a parse definition of the current
 * locale. The caller passes TQ_PARSE_TOKENS slots; the first *num_tokens
 * (the definition's token count) are filled: slot i holds token i of the
 * definition's datatype and its value (at most 1,024 bytes of text once in
 * UTF-8; in the session encoding cut, as any output, to fit the field's
 * TQ_PARSE_VALUE_SIZE bytes with its terminator: 1,026 bytes of text in a
 * UCS-2 session). Results: 0; TQ_WARN_NO_SOLUTION (101) when the grammar
 * found no parse and the no-solution tokens or an even split of the words
 * filled the slots; TQ_WARN_LIMIT_REACHED (102) when the engine stopped at
 * its resource limit or the value was cut to 1,024 bytes (it wins over
 * 101); else an input conversion warning. */
#define TQ_PARSE_TOKENS 32
#define TQ_PARSE_VALUE_SIZE 1028
typedef struct tq_parse_token {
  int32_t index;
  char value[TQ_PARSE_VALUE_SIZE];
} tq_parse_token;
/* The record of one parse: the words as chopped, the preprocessing steps,
 * the morph analyzer info, the solutions and the token names. It keeps
 * copies of its own, so it stays readable after later parses; free it
 * before the context that filled it is closed. A parse into an info that
 * holds results replaces them. Texts come out in the session encoding into
 * 1,028 bytes, terminator included. */
typedef struct tq_parse_info tq_parse_info;
TQ_API int32_t tq_parse(tq_context* ctx, const char* parse_defn, const char* data, tq_parse_token* tokens,
                        uint32_t* num_tokens) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_by_index(tq_context* ctx, int32_t index, const char* data, tq_parse_token* tokens,
                                 uint32_t* num_tokens) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_nonsurfaced(tq_context* ctx, const char* parse_defn, const char* data,
                                    tq_parse_token* tokens, uint32_t* num_tokens) TQ_NOEXCEPT;
/* parse_info may be NULL: the call then behaves as its plain twin. */
TQ_API int32_t tq_parse_with_info(tq_context* ctx, const char* parse_defn, const char* data, tq_parse_token* tokens,
                                  uint32_t* num_tokens, tq_parse_info* parse_info) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_with_info_nonsurfaced(tq_context* ctx, const char* parse_defn, const char* data,
                                              tq_parse_token* tokens, uint32_t* num_tokens,
                                              tq_parse_info* parse_info) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_with_info_by_index(tq_context* ctx, int32_t index, const char* data, tq_parse_token* tokens,
                                           uint32_t* num_tokens, tq_parse_info* parse_info) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_info_init(tq_context* ctx, tq_parse_info** parse_info) TQ_NOEXCEPT;
/* NULL is accepted. */
TQ_API int32_t tq_parse_info_free(tq_context* ctx, tq_parse_info* parse_info) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_info_chopped_word_list_count_get(tq_context* ctx, tq_parse_info* parse_info,
                                                         uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_info_chopped_word_get(tq_context* ctx, tq_parse_info* parse_info, int32_t index,
                                              char* word) TQ_NOEXCEPT;
/* The info's own morph analyzer info: freed with the parse info. */
TQ_API int32_t tq_parse_info_morph_analyzer_info_get(tq_context* ctx, tq_parse_info* parse_info,
                                                     tq_morph_analyzer_info** morph_info) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_info_solution_list_count_get(tq_context* ctx, tq_parse_info* parse_info,
                                                     uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_info_solution_score_get(tq_context* ctx, tq_parse_info* parse_info, int32_t index,
                                                uint32_t* score) TQ_NOEXCEPT;
/* A new rule handle (free it with tq_solution_rule_free, before the info). */
TQ_API int32_t tq_parse_info_solution_rule_get(tq_context* ctx, tq_parse_info* parse_info, int32_t index,
                                               tq_solution_rule** rule) TQ_NOEXCEPT;
/* Score 0 and rule NULL, result 0, when no solution scored above 0. */
TQ_API int32_t tq_parse_info_best_solution_score_get(tq_context* ctx, tq_parse_info* parse_info,
                                                     uint32_t* score) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_info_best_solution_rule_get(tq_context* ctx, tq_parse_info* parse_info,
                                                    tq_solution_rule** rule) TQ_NOEXCEPT;
/* The input text a rule of this info's solutions covers. */
TQ_API int32_t tq_parse_solution_rule_string_get(tq_context* ctx, tq_parse_info* parse_info, tq_solution_rule* rule,
                                                 char* rule_string) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_info_abandoned_flag_get(tq_context* ctx, tq_parse_info* parse_info,
                                                uint32_t* abandoned) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_info_preprocessed_string_get(tq_context* ctx, tq_parse_info* parse_info,
                                                     char* preprocessed_string) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_info_any_preprocessing_regexlib_matched_get(tq_context* ctx, tq_parse_info* parse_info,
                                                                    uint32_t* matched) TQ_NOEXCEPT;
/* Step index of the preprocessing: its text and whether it replaced
 * anything. Index 0 with no steps gives "" and 0. */
TQ_API int32_t tq_parse_info_preprocessed_info_get(tq_context* ctx, tq_parse_info* parse_info, int32_t index,
                                                   char* preprocessed_string, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_info_token_name_get(tq_context* ctx, tq_parse_info* parse_info, int32_t index,
                                            char* name) TQ_NOEXCEPT;
/* A parse definition's own optimization parameters: the override flag and
 * the levels and limit in effect; set (edit mode) switches the override on
 * with both values (a level count or limit the engines do not take is
 * refused with -802 and changes nothing), remove (edit mode) switches it
 * off. */
TQ_API int32_t tq_parse_defn_optimization_params_get(tq_context* ctx, int32_t index, int32_t* override_flag,
                                                     int32_t* levels, int32_t* limit) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_optimization_params_set(tq_context* ctx, int32_t index, int32_t levels,
                                                     int32_t limit) TQ_NOEXCEPT;
TQ_API int32_t tq_parse_defn_optimization_params_remove(tq_context* ctx, int32_t index) TQ_NOEXCEPT;

/* ---- Identification --------------------------------------------------------------
 * What kind of value a text is, by an identification definition of the
 * current locale: the identity value the definition gives it, into a result
 * of 1,028 bytes with the terminator (session encoding; empty on failure). Results: 0, or an
 * input or output conversion warning. Identifying with an info gives the
 * same result as without: the info only records what the run did. */
typedef struct tq_ident_info tq_ident_info;
TQ_API int32_t tq_identify(tq_context* ctx, const char* ident_defn, const char* data, char* result) TQ_NOEXCEPT;
TQ_API int32_t tq_identify_by_index(tq_context* ctx, int32_t index, const char* data, char* result) TQ_NOEXCEPT;
TQ_API int32_t tq_identify_with_info(tq_context* ctx, const char* ident_defn, const char* data, char* result,
                                     tq_ident_info* ident_info) TQ_NOEXCEPT;
/* The record of one identification run: the known identity that decided
 * it, the preprocessing steps, the words, the morph analyzer info, and per
 * identity value its score and pattern hits, at the end of the run and as
 * they stood after each pattern (snapshots). Getters taking an id count
 * only identity values whose score is not 0. Value and category outputs
 * take 128-byte buffers (the text cut between characters to leave room for
 * the terminator); strings take 1,028-byte ones. Free it before its context. */
TQ_API int32_t tq_ident_info_init(tq_context* ctx, tq_ident_info** ident_info) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_free(tq_context* ctx, tq_ident_info* ident_info) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_known_identity_get(tq_context* ctx, tq_ident_info* ident_info, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_known_identity_index_get(tq_context* ctx, tq_ident_info* ident_info,
                                                      int32_t* idx) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_any_preprocessing_regexlib_matched_get(tq_context* ctx, tq_ident_info* ident_info,
                                                                    uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_preprocessed_info_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t index,
                                                   char* preprocessed_string, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_chopped_word_list_count_get(tq_context* ctx, tq_ident_info* ident_info,
                                                         uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_chopped_word_get(tq_context* ctx, tq_ident_info* ident_info, int32_t index,
                                              char* word) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_morph_analyzer_info_get(tq_context* ctx, tq_ident_info* ident_info,
                                                     tq_morph_analyzer_info** morph_info) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_count_get(tq_context* ctx, tq_ident_info* ident_info,
                                                uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_count_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_count_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t snapshot,
                                                   uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_value_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t id,
                                          char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_score_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t id,
                                          int32_t* score) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_stop_flag_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t id,
                                              uint32_t* stop_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_pattern_count_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t id,
                                                  uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_pattern_root_cat_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t id,
                                                     uint32_t pattern, char* cat) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_pattern_sought_cat_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t id,
                                                       uint32_t pattern, char* cat) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_pattern_weight_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t id,
                                                   uint32_t pattern, int32_t* weight) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_pattern_stop_flag_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t id,
                                                      uint32_t pattern, uint32_t* stop_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_pattern_string_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t id,
                                                   uint32_t pattern, char* pat_string) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_pattern_solution_count_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t id,
                                                           uint32_t pattern, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_pattern_solution_score_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t id,
                                                           uint32_t pattern, uint32_t solution,
                                                           int32_t* score) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_pattern_solution_rule_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t id,
                                                          uint32_t pattern, uint32_t solution,
                                                          tq_solution_rule** rule) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_id_pattern_solution_rule_string_get(tq_context* ctx, tq_ident_info* ident_info,
                                                                 tq_solution_rule* rule, char* rule_string) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_value_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t snapshot,
                                                   uint32_t id, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_score_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t snapshot,
                                                   uint32_t id, int32_t* score) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_stop_flag_get(tq_context* ctx, tq_ident_info* ident_info, uint32_t snapshot,
                                                       uint32_t id, uint32_t* stop_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_pattern_count_get(tq_context* ctx, tq_ident_info* ident_info,
                                                           uint32_t snapshot, uint32_t id, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_pattern_root_cat_get(tq_context* ctx, tq_ident_info* ident_info,
                                                              uint32_t snapshot, uint32_t id, uint32_t pattern,
                                                              char* cat) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_pattern_sought_cat_get(tq_context* ctx, tq_ident_info* ident_info,
                                                                uint32_t snapshot, uint32_t id, uint32_t pattern,
                                                                char* cat) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_pattern_weight_get(tq_context* ctx, tq_ident_info* ident_info,
                                                            uint32_t snapshot, uint32_t id, uint32_t pattern,
                                                            int32_t* weight) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_pattern_stop_flag_get(tq_context* ctx, tq_ident_info* ident_info,
                                                               uint32_t snapshot, uint32_t id, uint32_t pattern,
                                                               uint32_t* stop_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_pattern_string_get(tq_context* ctx, tq_ident_info* ident_info,
                                                            uint32_t snapshot, uint32_t id, uint32_t pattern,
                                                            char* pat_string) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_pattern_solution_count_get(tq_context* ctx, tq_ident_info* ident_info,
                                                                    uint32_t snapshot, uint32_t id, uint32_t pattern,
                                                                    uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_pattern_solution_score_get(tq_context* ctx, tq_ident_info* ident_info,
                                                                    uint32_t snapshot, uint32_t id, uint32_t pattern,
                                                                    uint32_t solution, int32_t* score) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_pattern_solution_rule_get(tq_context* ctx, tq_ident_info* ident_info,
                                                                   uint32_t snapshot, uint32_t id, uint32_t pattern,
                                                                   uint32_t solution,
                                                                   tq_solution_rule** rule) TQ_NOEXCEPT;
TQ_API int32_t tq_ident_info_snapshot_id_pattern_pat_index_in_defn_get(tq_context* ctx, tq_ident_info* ident_info,
                                                                       uint32_t snapshot, uint32_t id, uint32_t pattern,
                                                                       uint32_t* pat_ind_defn) TQ_NOEXCEPT;
/* ---- Gender analysis -------------------------------------------------------
 * The gender of a value (typically a person's name) by a gender analysis
 * definition of the current locale. A NULL or empty definition name selects
 * the definition named "Name". The gender output receives at most 4 bytes of
 * text and the session encoding's terminator: give at least 5 bytes (6 in a
 * UCS-2 session). The plain forms parse the value with the definition's parse
 * definition; the parsed forms take tokens the caller parsed (tq_parse), which
 * the definition must allow ("Allow Parsed Input", or option bit 21, else
 * -702). A token whose index names no token of the parse definition's
 * datatype (such as the -1 of an empty slot) matches nothing; at most 32
 * tokens are read.
 * Results: 0, or a conversion warning. An empty value gives the first default
 * gender value; so does a value the parse found no solution for, and the
 * result is then 0 (an info's no-solution flag tells it); a run that decides
 * nothing gives the last default gender value. Gender values whose texts
 * begin with the same byte share one score, so they always tie. */
typedef struct tq_gender_info tq_gender_info;
TQ_API int32_t tq_gender_determine(tq_context* ctx, const char* gender_defn, const char* name,
                                   char* gender) TQ_NOEXCEPT;
/* gender_info may be NULL: the call then behaves as its plain twin. */
TQ_API int32_t tq_gender_determine_with_info(tq_context* ctx, const char* gender_defn, const char* name,
                                             char* gender, tq_gender_info* gender_info) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_determine_by_index(tq_context* ctx, int32_t index, const char* name,
                                            char* gender) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_determine_parsed(tq_context* ctx, const char* gender_defn, const tq_parse_token* tokens,
                                          int32_t num_tokens, char* gender) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_determine_parsed_with_info(tq_context* ctx, const char* gender_defn,
                                                    const tq_parse_token* tokens, int32_t num_tokens, char* gender,
                                                    tq_gender_info* gender_info) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_determine_parsed_by_index(tq_context* ctx, int32_t index, const tq_parse_token* tokens,
                                                   int32_t num_tokens, char* gender) TQ_NOEXCEPT;

/* ---- Gender info --------------------------------------------------------------
 * The record of one gender run: the input tokens (name and value), the
 * definition's tokens that found a value ("significant" tokens), one word
 * row per scoring event (word, normalized word, fuzzy match, gender value),
 * per definition token its words with their normalization, vocabulary
 * category, fuzzy and regex-library results, and the scores of the gender
 * values as the last choice saw them. A run into an object that holds an
 * earlier run replaces the input tokens, per-token records and scores, adds
 * its significant tokens and word rows behind the earlier ones, and only
 * ever sets the stop and no-solution flags. Texts go out in the session
 * encoding (at most 1,024 bytes; a word row's gender value at most 4); an
 * index out of range gives -800 with the outputs cleared. No read hold. */
TQ_API int32_t tq_gender_info_init(tq_context* ctx, tq_gender_info** gender_info) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_free(tq_context* ctx, tq_gender_info* gender_info) TQ_NOEXCEPT;
/* Always an empty text. */
TQ_API int32_t tq_gender_info_normalized_string_get(tq_context* ctx, tq_gender_info* gender_info,
                                                    char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_stop_flag_get(tq_context* ctx, tq_gender_info* gender_info, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_no_solution_flag_get(tq_context* ctx, tq_gender_info* gender_info,
                                                   uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_token_count_get(tq_context* ctx, tq_gender_info* gender_info,
                                              uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_token_info_get(tq_context* ctx, tq_gender_info* gender_info, uint32_t index,
                                             char* name, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_sig_token_count_get(tq_context* ctx, tq_gender_info* gender_info,
                                                  uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_sig_token_info_get(tq_context* ctx, tq_gender_info* gender_info, uint32_t index,
                                                 char* name, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_token_skipped_flag_get(tq_context* ctx, tq_gender_info* gender_info, uint32_t token,
                                                     uint32_t* skipped) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_word_count_get(tq_context* ctx, tq_gender_info* gender_info,
                                             uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_word_info_get(tq_context* ctx, tq_gender_info* gender_info, uint32_t index,
                                            char* value, char* norm, char* fuzzy, char* gender) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_word_count_per_token_get(tq_context* ctx, tq_gender_info* gender_info,
                                                       uint32_t token, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_word_get_by_token(tq_context* ctx, tq_gender_info* gender_info, uint32_t token,
                                                uint32_t word_index, char* word) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_word_uppercased_get_by_token(tq_context* ctx, tq_gender_info* gender_info,
                                                           uint32_t token, uint32_t word, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_norm_regexlib_count_get(tq_context* ctx, tq_gender_info* gender_info,
                                                      uint32_t token, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_any_norm_regexlib_matched_get(tq_context* ctx, tq_gender_info* gender_info,
                                                            uint32_t token, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_word_norm_get_by_token(tq_context* ctx, tq_gender_info* gender_info, uint32_t token,
                                                     uint32_t word_index, uint32_t regexlib, char* word,
                                                     uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_vocab_count_get(tq_context* ctx, tq_gender_info* gender_info, uint32_t token,
                                              uint32_t* count) TQ_NOEXCEPT;
/* Rows of the word from vocabulary position vocab; n counts among them but
 * must be below the word's row count of every vocabulary (-800). */
TQ_API int32_t tq_gender_info_vocab_cat_by_token_count_get(tq_context* ctx, tq_gender_info* gender_info,
                                                           uint32_t token, uint32_t word, uint32_t vocab,
                                                           uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_vocab_cat_by_token_get(tq_context* ctx, tq_gender_info* gender_info, uint32_t token,
                                                     uint32_t word, uint32_t n, uint32_t vocab, char* cat,
                                                     char* gender) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_fuzzy_match_by_token_get(tq_context* ctx, tq_gender_info* gender_info,
                                                       uint32_t token, uint32_t word, uint32_t vocab,
                                                       char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_cat_regexlibs_skipped_by_token_get(tq_context* ctx, tq_gender_info* gender_info,
                                                                 uint32_t token, uint32_t* skipped) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_cat_regexlib_info_by_token_get(tq_context* ctx, tq_gender_info* gender_info,
                                                             uint32_t token, uint32_t word, uint32_t entry,
                                                             char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_gender_value_count_get(tq_context* ctx, tq_gender_info* gender_info,
                                                     uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_info_score_get(tq_context* ctx, tq_gender_info* gender_info, uint32_t index,
                                        int32_t* score) TQ_NOEXCEPT;

/* ---- Casing ---------------------------------------------------------------
 * Upper-, lower- and propercase a value (session encoding) under a case
 * definition of the current locale, by name (NULL or "" for none; the
 * nonsurfaced forms also find definitions that are not surfaced) or by index
 * (-1 for none), with or without a case info recording the steps. max_len is
 * the output buffer's size in bytes, terminator included: at most 1,028
 * bytes are used for uppercasing and 1,024 for lower- and propercasing
 * (propercase takes a negative size as 1,024). The whole value (at most
 * 1,024 bytes once in UTF-8; a longer one is cut there) is cased. Casing
 * can lengthen text (U+0149 uppercases to U+02BC U+004E, 2 bytes to 3): a
 * cased text longer than the engines' 1,024 bytes (UTF-8) is cut to them,
 * and the result is then cut to max_len. Every cut falls between
 * characters and gives 102 (TQ_WARN_LIMIT_REACHED), the output holding the
 * start of the whole cased text, with a message for each cut in the error
 * list: a value cut on its way in gives the bytes left out; a cased text
 * cut to the engines' length gives the bytes kept and the whole cased
 * text's length; a result cut to max_len gives the bytes it fits and the
 * whole text's length in the session encoding. Where a length is not known
 * (the value itself was cut; a definition's regex library cut a word, or
 * postprocessed a text already cut; a text cut to the engines' length is
 * cut again into an output of another session encoding than UTF-8) the
 * message says the whole text is longer.
 * This holds with or without a definition, by name or by index, with or
 * without an info. A size below one terminator of the session encoding
 * gives -802 and writes nothing. A definition made for another case gives
 * -300 and an empty output; any failure leaves an empty output. */
typedef struct tq_case_info tq_case_info;
TQ_API int32_t tq_uppercase(tq_context* ctx, const char* name, const char* in_str, char* up_str,
                            int32_t max_len) TQ_NOEXCEPT;
TQ_API int32_t tq_uppercase_by_index(tq_context* ctx, int32_t index, const char* in_str, char* up_str,
                                     int32_t max_len) TQ_NOEXCEPT;
TQ_API int32_t tq_uppercase_nonsurfaced(tq_context* ctx, const char* name, const char* in_str, char* up_str,
                                        int32_t max_len) TQ_NOEXCEPT;
TQ_API int32_t tq_uppercase_with_info(tq_context* ctx, const char* name, const char* in_str, char* up_str,
                                      int32_t max_len, tq_case_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_uppercase_with_info_nonsurfaced(tq_context* ctx, const char* name, const char* in_str,
                                                  char* up_str, int32_t max_len, tq_case_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_lowercase(tq_context* ctx, const char* name, const char* in_str, char* low_str,
                            int32_t max_len) TQ_NOEXCEPT;
/* Refuses a definition that is not valid (-704) or disabled (-705), which
 * the name forms of lowercasing take. */
TQ_API int32_t tq_lowercase_by_index(tq_context* ctx, int32_t index, const char* in_str, char* low_str,
                                     int32_t max_len) TQ_NOEXCEPT;
TQ_API int32_t tq_lowercase_nonsurfaced(tq_context* ctx, const char* name, const char* in_str, char* up_str,
                                        int32_t max_len) TQ_NOEXCEPT;
TQ_API int32_t tq_lowercase_with_info(tq_context* ctx, const char* name, const char* in_str, char* low_str,
                                      int32_t max_len, tq_case_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_lowercase_with_info_nonsurfaced(tq_context* ctx, const char* name, const char* in_str,
                                                  char* up_str, int32_t max_len, tq_case_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_propercase(tq_context* ctx, const char* name, const char* in_str, char* prop_str,
                             int32_t max_len) TQ_NOEXCEPT;
TQ_API int32_t tq_propercase_by_index(tq_context* ctx, int32_t index, const char* in_str, char* prop_str,
                                      int32_t max_len) TQ_NOEXCEPT;
TQ_API int32_t tq_propercase_nonsurfaced(tq_context* ctx, const char* name, const char* in_str, char* up_str,
                                         int32_t max_len) TQ_NOEXCEPT;
TQ_API int32_t tq_propercase_with_info(tq_context* ctx, const char* name, const char* in_str, char* prop_str,
                                       int32_t max_len, tq_case_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_propercase_with_info_nonsurfaced(tq_context* ctx, const char* name, const char* in_str,
                                                   char* up_str, int32_t max_len, tq_case_info* info) TQ_NOEXCEPT;

/* ---- Case info ----------------------------------------------------------
 * The record of casing runs (tq_*case_with_info*), made by any of the three
 * inits and read by any family. Each run replaces the texts and flags and
 * appends its word records (one per word, or per known run of words); pass a
 * fresh object to each call. Texts come out with at most 1,028 bytes with
 * the terminator; an index at or beyond the count gives -800. The empty
 * after-scheme, after-regex and final texts of a record read as the source
 * (known_word_scheme_word_get, final_word_get) or the after-scheme text
 * (known_pattern_regex_word_get). tq_case_info_free refuses NULL; the
 * ucase and lcase frees accept it. */
TQ_API int32_t tq_case_info_init(tq_context* ctx, tq_case_info** case_info) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_free(tq_context* ctx, tq_case_info* case_info) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_preprocessed_info_get(tq_context* ctx, tq_case_info* case_info, char* value, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_concat_string_get(tq_context* ctx, tq_case_info* case_info, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_word_count_get(tq_context* ctx, tq_case_info* case_info, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_chop_word_count_get(tq_context* ctx, tq_case_info* case_info, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_chop_word_get(tq_context* ctx, tq_case_info* case_info, int32_t index, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_word_info_get(tq_context* ctx, tq_case_info* case_info, int32_t index, char* value, char* standard, char* regexed, char* final) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_known_pattern_regex_matched_get(tq_context* ctx, tq_case_info* case_info, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_known_pattern_regex_word_get(tq_context* ctx, tq_case_info* case_info, int32_t index, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_known_word_scheme_matched_get(tq_context* ctx, tq_case_info* case_info, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_known_word_scheme_word_matched_get(tq_context* ctx, tq_case_info* case_info, int32_t index, uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_known_word_scheme_word_get(tq_context* ctx, tq_case_info* case_info, int32_t index, char* input, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_final_word_get(tq_context* ctx, tq_case_info* case_info, int32_t index, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_default_casing_used_get(tq_context* ctx, tq_case_info* case_info, uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_case_info_postprocessed_matched_get(tq_context* ctx, tq_case_info* case_info, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_init(tq_context* ctx, tq_case_info** ucase_info) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_free(tq_context* ctx, tq_case_info* case_info) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_preprocessed_string_get(tq_context* ctx, tq_case_info* ucase_info, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_preprocessed_info_get(tq_context* ctx, tq_case_info* case_info, char* value, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_concat_string_get(tq_context* ctx, tq_case_info* ucase_info, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_word_count_get(tq_context* ctx, tq_case_info* ucase_info, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_chop_word_count_get(tq_context* ctx, tq_case_info* ucase_info, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_chop_word_get(tq_context* ctx, tq_case_info* case_info, int32_t index, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_word_info_get(tq_context* ctx, tq_case_info* ucase_info, int32_t index, char* value, char* standard, char* regexed, char* final) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_known_pattern_regex_matched_get(tq_context* ctx, tq_case_info* case_info, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_known_pattern_regex_word_get(tq_context* ctx, tq_case_info* case_info, int32_t index, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_known_word_scheme_matched_get(tq_context* ctx, tq_case_info* case_info, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_known_word_scheme_word_matched_get(tq_context* ctx, tq_case_info* ucase_info, int32_t index, uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_known_word_scheme_word_get(tq_context* ctx, tq_case_info* case_info, int32_t index, char* input, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_final_word_get(tq_context* ctx, tq_case_info* ucase_info, int32_t index, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_default_casing_used_get(tq_context* ctx, tq_case_info* ucase_info, uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_ucase_info_postprocessed_matched_get(tq_context* ctx, tq_case_info* case_info, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_init(tq_context* ctx, tq_case_info** lcase_info) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_free(tq_context* ctx, tq_case_info* case_info) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_preprocessed_string_get(tq_context* ctx, tq_case_info* lcase_info, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_preprocessed_info_get(tq_context* ctx, tq_case_info* case_info, char* value, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_concat_string_get(tq_context* ctx, tq_case_info* lcase_info, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_word_count_get(tq_context* ctx, tq_case_info* lcase_info, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_chop_word_count_get(tq_context* ctx, tq_case_info* lcase_info, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_chop_word_get(tq_context* ctx, tq_case_info* case_info, int32_t index, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_word_info_get(tq_context* ctx, tq_case_info* lcase_info, int32_t index, char* value, char* standard, char* regexed, char* final) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_known_pattern_regex_matched_get(tq_context* ctx, tq_case_info* case_info, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_known_pattern_regex_word_get(tq_context* ctx, tq_case_info* case_info, int32_t index, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_known_word_scheme_matched_get(tq_context* ctx, tq_case_info* lcase_info, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_known_word_scheme_word_matched_get(tq_context* ctx, tq_case_info* case_info, int32_t index, uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_known_word_scheme_word_get(tq_context* ctx, tq_case_info* case_info, int32_t index, char* input, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_final_word_get(tq_context* ctx, tq_case_info* lcase_info, int32_t index, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_default_casing_used_get(tq_context* ctx, tq_case_info* lcase_info, uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_lcase_info_postprocessed_matched_get(tq_context* ctx, tq_case_info* case_info, uint32_t* matched) TQ_NOEXCEPT;
/* ---- Standardization -------------------------------------------------------
 * A value (session encoding, at most 1,024 bytes converted) standardized
 * under a standardization definition of the current locale, by name (a
 * surfaced definition) or by index: parsed with the definition's parse
 * definition, each token trimmed, uppercased, normalized, passed through its
 * schemes in turn and its transformation regex libraries, cased, then the
 * tokens joined with their separators (at most 1,024 bytes) and the whole
 * cased once more by the postprocessing case. `standard` receives the result
 * (TQ_STANDARD_SIZE bytes with the terminator). Results: 0; 102
 * (TQ_WARN_LIMIT_REACHED) when the value was cut to 1,024 bytes or a text
 * on the way grew past them and was cut (the join, a token's casing or
 * scheme), before any other warning; TQ_WARN_NO_SOLUTION (101) or 102 when the parse
 * found no solution or stopped at its limit: the value is then cased as one
 * string, token by token steps skipped; 103 when the output equals the
 * input (TQ_WARN_OUTPUT_EQUALS_INPUT); else an input or output conversion
 * warning. stand_info may be NULL.
 * The parsed forms take the caller's tokens (at most TQ_PARSE_TOKENS, -802
 * beyond) keyed by the datatype token each belongs to (an index outside
 * 0..31 is ignored); the definition must allow parsed input (-702); they
 * neither case the whole nor return 103. */
#define TQ_STANDARD_SIZE 1028
typedef struct tq_stand_info tq_stand_info;
TQ_API int32_t tq_standardize(tq_context* ctx, const char* stdzn_defn, const char* data, char* standard) TQ_NOEXCEPT;
TQ_API int32_t tq_standardize_by_index(tq_context* ctx, int32_t index, const char* data, char* standard) TQ_NOEXCEPT;
TQ_API int32_t tq_standardize_with_info(tq_context* ctx, const char* stdzn_defn, const char* data, char* standard,
                                        tq_stand_info* stand_info) TQ_NOEXCEPT;
TQ_API int32_t tq_standardize_by_index_with_info(tq_context* ctx, int32_t index, const char* data, char* standard,
                                                 tq_stand_info* stand_info) TQ_NOEXCEPT;
TQ_API int32_t tq_standardize_parsed(tq_context* ctx, const char* stdzn_defn, const tq_parse_token* input_array,
                                     uint32_t num_tokens, char* standard) TQ_NOEXCEPT;
TQ_API int32_t tq_standardize_parsed_by_index(tq_context* ctx, int32_t index, const tq_parse_token* input_array,
                                              uint32_t num_tokens, char* standard) TQ_NOEXCEPT;
TQ_API int32_t tq_standardize_parsed_with_info(tq_context* ctx, const char* stdzn_defn,
                                               const tq_parse_token* input_array, uint32_t num_tokens,
                                               char* standard, tq_stand_info* stand_info) TQ_NOEXCEPT;

/* ---- Stand info -------------------------------------------------------------
 * The record of one standardization run (tq_standardize*_with_info): per
 * token of the definition its name, its value after each step (input,
 * uppercased, normalized, standardized by the schemes, transformed, cased)
 * and, per normalization regex library, transformation regex library and
 * scheme, whether the entry changed the value and what it gave; the joined
 * text (precased), the output before the postprocessing case and whether
 * the value was standardized as one string (token count 0 then). A run
 * replaces what the object held. Texts come out with at most 1,028 bytes
 * with the terminator; a token or entry index at or beyond its count gives
 * -800. tq_stand_info_free accepts NULL. */
TQ_API int32_t tq_stand_info_init(tq_context* ctx, tq_stand_info** stand_info) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_free(tq_context* ctx, tq_stand_info* stand_info) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_whole_string_stdzn_flag_get(tq_context* ctx, tq_stand_info* info, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_token_count_get(tq_context* ctx, tq_stand_info* stand_info, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_regexlib_count_get(tq_context* ctx, tq_stand_info* stand_info, int32_t token, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_token_trans_regex_count_get(tq_context* ctx, tq_stand_info* stdzn_info, int32_t token, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_scheme_count_get(tq_context* ctx, tq_stand_info* stand_info, int32_t token, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_token_name_get(tq_context* ctx, tq_stand_info* stand_info, int32_t token, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_token_get(tq_context* ctx, tq_stand_info* stand_info, int32_t token, char* val) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_uppercased_token_get(tq_context* ctx, tq_stand_info* stand_info, int32_t token, char* buf) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_norm_token_get(tq_context* ctx, tq_stand_info* stand_info, int32_t token, char* norm) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_trans_token_get(tq_context* ctx, tq_stand_info* stand_info, int32_t token, char* trans) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_stdz_token_get(tq_context* ctx, tq_stand_info* stand_info, int32_t token, char* standard) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_cased_token_get(tq_context* ctx, tq_stand_info* stand_info, int32_t token, uint32_t* applied, char* cased) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_norm_token_get_per_regexlib(tq_context* ctx, tq_stand_info* stand_info, int32_t token, int32_t entry, uint32_t* matched, char* norm) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_trans_token_value_get_per_regex(tq_context* ctx, tq_stand_info* stand_info, int32_t token, int32_t entry, uint32_t* matched, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_stdz_token_get_per_scheme(tq_context* ctx, tq_stand_info* stand_info, int32_t token, int32_t entry, uint32_t* matched, char* norm) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_token_any_regexlib_matched_get(tq_context* ctx, tq_stand_info* stand_info, int32_t token, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_token_any_trans_regex_matched_get(tq_context* ctx, tq_stand_info* stdzn_info, int32_t token, uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_token_any_scheme_matched_get(tq_context* ctx, tq_stand_info* stand_info, int32_t token, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_precased_get(tq_context* ctx, tq_stand_info* stand_info, char* val) TQ_NOEXCEPT;
TQ_API int32_t tq_stand_info_pre_postcased_get(tq_context* ctx, tq_stand_info* stand_info, char* val) TQ_NOEXCEPT;
/* ---- Case definitions -------------------------------------------------------
 * Case definitions of the current locale, by index as datatypes are (own
 * then inherited; in edit mode depth x 256 + position). Surfaced
 * definitions (the "Surface" flag, or every one under TQ_OPT_ALL_SURFACED)
 * are the ones offered to end users. Texts cross in the session encoding;
 * counts and flags are uint32_t, indices and positions int32_t. Setters, add,
 * copy and write need edit mode. */
/* count: own plus inherited; refused in edit mode. */
TQ_API int32_t tq_case_defn_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
/* count: the loaded locale's own definitions. */
TQ_API int32_t tq_case_defn_count_get_by_locale(tq_context* ctx, int32_t locale, uint32_t* count) TQ_NOEXCEPT;
/* The surfaced ones (all under TQ_OPT_ALL_SURFACED); refused in edit mode. */
TQ_API int32_t tq_surfaced_case_defn_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_surfaced_case_defn_count_get_by_locale(tq_context* ctx, int32_t locale,
                                                         uint32_t* count) TQ_NOEXCEPT;
/* The name of the index-th surfaced definition (counted from 0, in index
 * order); -800 when index is not below the surfaced count; refused in edit
 * mode. */
TQ_API int32_t tq_surfaced_case_defn_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* name: TQ_NAME_MAX + terminator bytes; -701 for a definition that is not
 * surfaced. */
TQ_API int32_t tq_case_defn_name_get_by_index(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* Any definition, surfaced or not. */
TQ_API int32_t tq_case_defn_name_get_by_index_ex(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* Ignoring case; -800 for a definition that is not surfaced. */
TQ_API int32_t tq_case_defn_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* Any definition, surfaced or not. */
TQ_API int32_t tq_nonsurfaced_case_defn_index_get_by_name(tq_context* ctx, const char* name,
                                                          int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
/* The stored document itself (NULL for none); the definition keeps it. */
TQ_API int32_t tq_case_defn_comments_get(tq_context* ctx, int32_t index, tq_xmldoc** comments) TQ_NOEXCEPT;
/* The definition takes the document when it holds an include; otherwise the caller keeps it. */
TQ_API int32_t tq_case_defn_comments_set(tq_context* ctx, int32_t index, tq_xmldoc* comments) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_layouts_get(tq_context* ctx, int32_t index, tq_xmldoc** layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_layouts_set(tq_context* ctx, int32_t index, tq_xmldoc* layouts) TQ_NOEXCEPT;
/* owner: TQ_NAME_MAX + terminator bytes. */
TQ_API int32_t tq_case_defn_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;
/* replacement: TQ_NAME_MAX + terminator bytes, given only while deprecated
 * is 1. */
TQ_API int32_t tq_case_defn_deprecated_info_get(tq_context* ctx, int32_t index, uint32_t* deprecated,
                                                char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_deprecated_info_set(tq_context* ctx, int32_t index, uint32_t deprecated,
                                                const char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_incomplete_get(tq_context* ctx, int32_t index, uint32_t* incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_incomplete_set(tq_context* ctx, int32_t index, uint32_t incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_valid_get(tq_context* ctx, int32_t index, uint32_t* valid) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_valid_set(tq_context* ctx, int32_t index, uint32_t valid) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_valid_flag_info_get(tq_context* ctx, int32_t index, uint32_t* valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_valid_flag_info_set(tq_context* ctx, int32_t index, uint32_t valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_editable_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
/* The index of the definition's datatype in the current locale; -1 for none. */
TQ_API int32_t tq_case_defn_datatype_index_get(tq_context* ctx, int32_t index, int32_t* dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_datatype_index_set(tq_context* ctx, int32_t index, int32_t dtype_index) TQ_NOEXCEPT;
/* The stored flag (TQ_OPT_ALL_SURFACED not applied); the set stores 1 for any nonzero flag. */
TQ_API int32_t tq_case_defn_surface_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_surface_flag_set(tq_context* ctx, int32_t index, uint32_t flag) TQ_NOEXCEPT;
/* The case the definition is made for: 0 None, 1 Upper, 2 Lower, 3 Proper
 * (0 when the definition cannot be read); the set refuses others (-802). */
TQ_API int32_t tq_case_defn_target_case_get(tq_context* ctx, int32_t index, uint32_t* target_case) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_target_case_set(tq_context* ctx, int32_t index, uint32_t target_case) TQ_NOEXCEPT;
/* Nonzero: a word the known-word scheme changed skips the known-pattern
 * library. Stored as given; a locale's file keeps it as yes or no, so a
 * nonzero flag reads back as 1. */
TQ_API int32_t tq_case_defn_skip_regexlib_flag_get(tq_context* ctx, int32_t index,
                                                   uint32_t* skip_regexlib_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_skip_regexlib_flag_set(tq_context* ctx, int32_t index,
                                                   uint32_t skip_regexlib_flag) TQ_NOEXCEPT;
/* Nonzero: default proper casing title-cases whole words ("jean-paul" ->
 * "Jean-Paul"); 0: first character upper, the rest lower ("Jean-paul").
 * Stored as given (a locale's file keeps it as yes or no, so a nonzero flag
 * reads back as 1); the set raises the definition's version to "9.0". */
TQ_API int32_t tq_case_defn_unicode_casing_flag_get(tq_context* ctx, int32_t index,
                                                    uint32_t* unicode_casing_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_unicode_casing_flag_set(tq_context* ctx, int32_t index,
                                                    uint32_t unicode_casing_flag) TQ_NOEXCEPT;
/* The known-pattern regex library (name: 4,096 bytes + terminator; empty for
 * none). The set gives the present one back first: a name that cannot be
 * opened leaves none and gives the failure. */
TQ_API int32_t tq_case_defn_known_patrn_rgx_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_known_patrn_rgx_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
/* The known-word scheme (name: 4,096 bytes + terminator) and its options (2:
 * compared case-insensitively); "" and 0 for none. The set gives the present
 * one back, opens the named one (only option 2 is kept; an empty name leaves
 * none) and checks it: -706 when an entry's standard and data differ in
 * length, and the definition is checked again at each use. */
TQ_API int32_t tq_case_defn_known_word_scheme_info_get(tq_context* ctx, int32_t index, char* name,
                                                       uint32_t* options) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_known_word_scheme_info_set(tq_context* ctx, int32_t index, const char* name,
                                                       uint32_t options) TQ_NOEXCEPT;
/* Whether the scheme file could serve as a known-word scheme: *legal 1 when
 * every standard is as long (in characters) as its data; else -706, *legal
 * 0 and the first such entry's standard and data (UTF-8; 1,028-byte
 * buffers). */
TQ_API int32_t tq_case_defn_check_scheme_legal(tq_context* ctx, const char* filename, uint32_t* legal,
                                               char* standard, char* data) TQ_NOEXCEPT;
/* Resource names: 4,096 bytes + terminator; empty for none; an empty name
 * drops the resource. The preprocessing set leaves only the named library. */
TQ_API int32_t tq_case_defn_preprocessing_regexlib_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_preprocessing_regexlib_name_set(tq_context* ctx, int32_t index,
                                                            const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_postprocessing_regexlib_name_get(tq_context* ctx, int32_t index,
                                                             char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_postprocessing_regexlib_name_set(tq_context* ctx, int32_t index,
                                                             const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_chopper_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_case_defn_chopper_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
/* A new definition (Proper, no resources) in the current locale; not valid until set so. */
TQ_API int32_t tq_case_defn_add(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* A copy of source (surfaced or not, ancestors included) named dest. */
TQ_API int32_t tq_case_defn_copy(tq_context* ctx, const char* source, const char* dest, int32_t* index) TQ_NOEXCEPT;
/* Empties the slot; the indices of the other definitions stay. */
TQ_API int32_t tq_case_defn_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Appends the definition to xml as an include "Caseorithm" (version "7.0"). */
TQ_API int32_t tq_case_defn_write(tq_context* ctx, tq_xmldoc* xml, int32_t index) TQ_NOEXCEPT;
/* ---- Standardization definitions ---------------------------------------------
 * Standardization definitions of the current locale, by index as datatypes
 * are (own then inherited; in edit mode depth x 256 + position). Texts cross
 * in the session encoding; counts, flags and case modes (0 None, 1 Upper,
 * 2 Lower, 3 Proper) are uint32_t, indices, positions and entries int32_t
 * (-1 for none). Every change, token add, delete and rearrange, add, copy and
 * write needs edit mode. Names out hold TQ_NAME_MAX + terminator bytes,
 * library and scheme names 4,096 + terminator, separators 64 + terminator. Case
 * definition indices are the current locale's, of any surface. A definition
 * holds at most 32 tokens (-601 for a 33rd). */
TQ_API int32_t tq_stdzn_defn_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_count_get_by_locale(tq_context* ctx, int32_t locale, uint32_t* count) TQ_NOEXCEPT;
/* Surfaced definitions only (-701, -800). */
TQ_API int32_t tq_stdzn_defn_name_get_by_index(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_comments_get(tq_context* ctx, int32_t index, tq_xmldoc** comments) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_comments_set(tq_context* ctx, int32_t index, tq_xmldoc* comments) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_layouts_get(tq_context* ctx, int32_t index, tq_xmldoc** layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_layouts_set(tq_context* ctx, int32_t index, tq_xmldoc* layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_deprecated_info_get(tq_context* ctx, int32_t index, uint32_t* deprecated,
                                                 char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_deprecated_info_set(tq_context* ctx, int32_t index, uint32_t deprecated,
                                                 const char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_incomplete_get(tq_context* ctx, int32_t index, uint32_t* incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_incomplete_set(tq_context* ctx, int32_t index, uint32_t incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_valid_get(tq_context* ctx, int32_t index, uint32_t* valid) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_valid_set(tq_context* ctx, int32_t index, uint32_t valid) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_valid_flag_info_get(tq_context* ctx, int32_t index, uint32_t* valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_valid_flag_info_set(tq_context* ctx, int32_t index, uint32_t valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_editable_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_datatype_index_get(tq_context* ctx, int32_t index, int32_t* dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_datatype_index_set(tq_context* ctx, int32_t index, int32_t dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_parse_defn_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* The parse definition's index among those of the standardization
 * definition's own locale (the locale that holds it), which need not be the
 * current one; as for a match or gender definition's. */
TQ_API int32_t tq_stdzn_defn_parse_defn_index_get(tq_context* ctx, int32_t index, int32_t* pdefn_index) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_parse_defn_index_set(tq_context* ctx, int32_t index, int32_t pdefn_index) TQ_NOEXCEPT;
/* The tokens of the definition's parse definition; -708 when it names none. */
TQ_API int32_t tq_stdzn_defn_parse_defn_token_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_parse_defn_token_name_get(tq_context* ctx, int32_t index, int32_t token,
                                                       char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_parse_defn_token_key_get_by_name(tq_context* ctx, int32_t index, const char* name,
                                                              int32_t* key) TQ_NOEXCEPT;
/* "Allow Parsed Input" as stored. */
TQ_API int32_t tq_stdzn_defn_parsed_input_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_parsed_input_flag_set(tq_context* ctx, int32_t index, uint32_t flag) TQ_NOEXCEPT;
/* The case mode of tokens without their own, and of the whole result (a
 * change of the latter raises the version to "9.0"); -802 outside 0..3. */
TQ_API int32_t tq_stdzn_defn_case_get(tq_context* ctx, int32_t index, uint32_t* scase) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_case_set(tq_context* ctx, int32_t index, uint32_t scase) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_post_case_get(tq_context* ctx, int32_t index, uint32_t* scase) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_post_case_set(tq_context* ctx, int32_t index, uint32_t scase) TQ_NOEXCEPT;
/* Their case definitions: -1 none (for the postprocessing one: the first);
 * a set takes a case definition of any target case (a change of the
 * postprocessing one raises the version to "9.0"). Names: empty for none,
 * -708 when the case definition cannot be read. Unlike the parse
 * definition's, these indices (the tokens' too) are the current locale's:
 * the definition keeps its own locale's, and the getters and setters
 * translate between the two. */
TQ_API int32_t tq_stdzn_defn_case_defn_index_get(tq_context* ctx, int32_t index, int32_t* cdefn_index) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_case_defn_index_set(tq_context* ctx, int32_t index, int32_t cdefn_index) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_post_case_defn_index_get(tq_context* ctx, int32_t index,
                                                      int32_t* cdefn_index) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_post_case_defn_index_set(tq_context* ctx, int32_t index,
                                                      int32_t cdefn_index) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_case_defn_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_post_case_defn_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* Tokens, by position. */
TQ_API int32_t tq_stdzn_defn_token_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_name_get(tq_context* ctx, int32_t index, int32_t token, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_name_set(tq_context* ctx, int32_t index, int32_t token,
                                            const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_key_get_by_name(tq_context* ctx, int32_t index, const char* name,
                                                   int32_t* key) TQ_NOEXCEPT;
/* A new token has a case of its own, None. */
TQ_API int32_t tq_stdzn_defn_token_add(tq_context* ctx, int32_t index, int32_t* token_index) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_delete(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
/* order: one old position per token, each once. */
TQ_API int32_t tq_stdzn_defn_token_rearrange(tq_context* ctx, int32_t index, const int32_t* order) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_use_sep_flag_get(tq_context* ctx, int32_t index, int32_t token,
                                                    uint32_t* use_sep) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_use_sep_flag_set(tq_context* ctx, int32_t index, int32_t token,
                                                    uint32_t use_sep) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_sep_get(tq_context* ctx, int32_t index, int32_t token, char* sep) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_sep_set(tq_context* ctx, int32_t index, int32_t token,
                                           const char* sep) TQ_NOEXCEPT;
/* A token's automatic uppercasing. */
TQ_API int32_t tq_stdzn_defn_automatic_uppercasing_get(tq_context* ctx, int32_t index, int32_t token,
                                                       uint32_t* auto_upper) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_automatic_uppercasing_set(tq_context* ctx, int32_t index, int32_t token,
                                                       uint32_t auto_upper) TQ_NOEXCEPT;
/* The token's own case mode and case definition, else the definition's. A
 * case set gives the token a case of its own; a case definition set needs
 * one whose target case is the token's case mode (-802). */
TQ_API int32_t tq_stdzn_defn_token_case_get(tq_context* ctx, int32_t index, int32_t token,
                                            uint32_t* scase) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_case_set(tq_context* ctx, int32_t index, int32_t token,
                                            uint32_t scase) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_case_defn_index_get(tq_context* ctx, int32_t index, int32_t token,
                                                       int32_t* cdefn_index) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_case_defn_index_set(tq_context* ctx, int32_t index, int32_t token,
                                                       int32_t cdefn_index) TQ_NOEXCEPT;
/* A token's normalization regex libraries (added with the widest
 * sensitivity range) and standardization schemes (options: 1 element,
 * 2 case-insensitive, 0x20/0x40/0x80 output upper/lower/proper; the
 * file holds these and at most one output case, so other options, here and
 * at a match definition's token schemes, are refused with -802 and change
 * nothing). */
TQ_API int32_t tq_stdzn_defn_token_regexlib_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                      uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_regexlib_name_get(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                     char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_regexlib_name_set(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                     const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_regexlibs_delete_all(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_regexlib_add(tq_context* ctx, int32_t index, int32_t token,
                                                const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_scheme_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                    uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_scheme_info_get(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                   char* name, uint32_t* options) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_scheme_info_set(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                   const char* name, uint32_t options) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_schemes_delete_all(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_scheme_add(tq_context* ctx, int32_t index, int32_t token, const char* name,
                                              uint32_t options) TQ_NOEXCEPT;
/* A token's transformation regex libraries, applied after its schemes. An
 * entry whose library could not be opened reads as "". A change raises the
 * version to "9.0"; the name already in an entry changes nothing. */
TQ_API int32_t tq_stdzn_defn_token_trans_regexlib_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                            uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_trans_regexlib_name_get(tq_context* ctx, int32_t index, int32_t token,
                                                           int32_t entry, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_trans_regexlib_name_set(tq_context* ctx, int32_t index, int32_t token,
                                                           int32_t entry, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_trans_regexlibs_delete_all(tq_context* ctx, int32_t index,
                                                              int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_stdzn_defn_token_trans_regexlib_add(tq_context* ctx, int32_t index, int32_t token,
                                                      const char* name) TQ_NOEXCEPT;
/* A new definition (case Upper, postprocessing case Upper, no tokens) in
 * the current locale; not valid until set so. */
TQ_API int32_t tq_stdzn_defn_add(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* A copy of source (surfaced or not, ancestors included) named dest. */
TQ_API int32_t tq_stdzn_defn_copy(tq_context* ctx, const char* source, const char* dest, int32_t* index) TQ_NOEXCEPT;
/* Empties the slot; the indices of the other definitions stay. */
TQ_API int32_t tq_stdzn_defn_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Appends the definition to xml as an include "Standorithm" (version "7.0"). */
TQ_API int32_t tq_stdzn_defn_write(tq_context* ctx, tq_xmldoc* xml, int32_t index) TQ_NOEXCEPT;
/* ---- Extraction definitions ----------------------------------------------------
 * Extraction definitions of the current locale, by index as datatypes are
 * (own then inherited; in edit mode depth x 256 + position). Texts cross in
 * the session encoding; counts and flags are uint32_t, indices and positions
 * int32_t (-1 for none). Every change, add, copy, unload and write needs edit
 * mode. Names and texts out are sized as for parse definitions (names
 * TQ_NAME_MAX + terminator bytes, resource names 4,096 + terminator). A definition holds
 * at most 32 tokens (-601 for a 33rd). The normalization add refuses an empty
 * name (-802). */
TQ_API int32_t tq_extraction_defn_name_get_by_index(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_count_get_by_locale(tq_context* ctx, int32_t locale, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_token_names_get(tq_context* ctx, const char* xtrac_defn, char** names,
                                                  uint32_t* num_names) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_token_name_get(tq_context* ctx, int32_t index, int32_t token,
                                                 char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_token_name_get_by_key(tq_context* ctx, int32_t index, int32_t key,
                                                        char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_token_key_get_by_name(tq_context* ctx, int32_t index, const char* name,
                                                        int32_t* key) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_token_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_token_name_set(tq_context* ctx, int32_t index, int32_t token,
                                                 const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_token_add(tq_context* ctx, int32_t index, const char* name,
                                            int32_t* tok_idx) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_deprecated_info_get(tq_context* ctx, int32_t index, uint32_t* deprecated,
                                                      char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_deprecated_info_set(tq_context* ctx, int32_t index, uint32_t deprecated,
                                                      const char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_datatype_index_get(tq_context* ctx, int32_t index,
                                                     int32_t* dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_comments_get(tq_context* ctx, int32_t index, tq_xmldoc** comments) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_comments_set(tq_context* ctx, int32_t index, tq_xmldoc* comments) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_layouts_get(tq_context* ctx, int32_t index, tq_xmldoc** layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_layouts_set(tq_context* ctx, int32_t index, tq_xmldoc* layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_incomplete_get(tq_context* ctx, int32_t index, uint32_t* incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_incomplete_set(tq_context* ctx, int32_t index, uint32_t incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_valid_get(tq_context* ctx, int32_t index, uint32_t* valid) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_valid_set(tq_context* ctx, int32_t index, uint32_t valid) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_valid_flag_info_get(tq_context* ctx, int32_t index,
                                                      uint32_t* valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_valid_flag_info_set(tq_context* ctx, int32_t index,
                                                      uint32_t valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_editable_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_automatic_uppercasing_get(tq_context* ctx, int32_t index,
                                                            uint32_t* auto_upper) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_automatic_uppercasing_set(tq_context* ctx, int32_t index,
                                                            uint32_t auto_upper) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_chopper_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_chopper_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_preprocessing_regexlib_count_get(tq_context* ctx, int32_t index,
    uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_preprocessing_regexlib_name_get_by_index(tq_context* ctx, int32_t index,
    int32_t entry, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_preprocessing_regexlib_name_set_by_index(tq_context* ctx, int32_t index,
    int32_t entry, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_preprocessing_regexlib_add(tq_context* ctx, int32_t index,
    const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_preprocessing_regexlib_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_normalization_regexlib_count_get(tq_context* ctx, int32_t index,
    uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_normalization_regexlib_name_get_by_index(tq_context* ctx, int32_t index,
    int32_t entry, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_normalization_regexlib_name_set_by_index(tq_context* ctx, int32_t index,
    int32_t entry, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_normalization_regexlib_add(tq_context* ctx, int32_t index,
    const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_normalization_regexlib_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_vocabulary_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_vocabulary_info_get_by_index(tq_context* ctx, int32_t index, int32_t vocab,
    char* name, uint32_t* stop) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_vocabulary_info_set_by_index(tq_context* ctx, int32_t index, int32_t vocab,
    const char* name, uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_vocabulary_add(tq_context* ctx, int32_t index, const char* name,
                                                 uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_vocabulary_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_fuzzy_vocab_lookup_params_get(tq_context* ctx, int32_t index, uint32_t* enabled,
    uint32_t* threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_fuzzy_vocab_lookup_params_set(tq_context* ctx, int32_t index, uint32_t enabled,
    uint32_t threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_fuzzy_vocab_lookup_params_get_by_index(tq_context* ctx, int32_t index,
    int32_t vocab, uint32_t* enabled, uint32_t* threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_fuzzy_vocab_lookup_params_set_by_index(tq_context* ctx, int32_t index,
    int32_t vocab, uint32_t enabled, uint32_t threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_default_category_count_get(tq_context* ctx, int32_t index,
    uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_default_category_info_get(tq_context* ctx, int32_t index, int32_t entry,
                                                            char* category, uint32_t* likelihood) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_default_category_info_set(tq_context* ctx, int32_t index, int32_t entry,
                                                            const char* category, uint32_t likelihood) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_default_category_add(tq_context* ctx, int32_t index,
                                                       int32_t* cat_index) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_default_category_delete(tq_context* ctx, int32_t index, int32_t entry) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_default_categories_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_add(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_copy(tq_context* ctx, const char* sname, const char* dname,
                                       int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_write(tq_context* ctx, tq_xmldoc* xml, int32_t index) TQ_NOEXCEPT;

/* The kind's own part: patterns, sought categories, known-word schemes,
 * categorization entries by position (-800 past the count). */
TQ_API int32_t tq_extraction_defn_token_delete(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_datatype_index_set(tq_context* ctx, int32_t index, int32_t dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_parser_enabled_get(tq_context* ctx, int32_t index, uint32_t* enabled) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_parser_enabled_set(tq_context* ctx, int32_t index, uint32_t enabled) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_separator_get(tq_context* ctx, int32_t index, char* separator) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_separator_set(tq_context* ctx, int32_t index, const char* separator) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_default_token_get(tq_context* ctx, int32_t index, int32_t* tok_idx) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_default_token_set(tq_context* ctx, int32_t index, int32_t tok_idx) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_grammar_name_get(tq_context* ctx, int32_t index, uint32_t pattern,
                                                   char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_grammar_name_set(tq_context* ctx, int32_t index, uint32_t pattern,
                                                   const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_pattern_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_pattern_info_get(tq_context* ctx, int32_t index, uint32_t pattern, char* root_cat,
                                                   uint32_t* mode, int32_t* weight, int32_t* max_matches) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_pattern_info_set(tq_context* ctx, int32_t index, uint32_t pattern,
                                                   const char* grammar_name, const char* root_cat, uint32_t mode,
                                                   int32_t weight, int32_t max_matches) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_pattern_add(tq_context* ctx, int32_t index, const char* grammar_name,
                                              const char* root_cat, uint32_t mode, int32_t weight,
                                              int32_t max_matches, uint32_t* pat_idx) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_patterns_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_pattern_sought_cat_count_get(tq_context* ctx, int32_t index, uint32_t pattern,
    uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_pattern_sought_cat_info_get(tq_context* ctx, int32_t index, uint32_t pattern,
    uint32_t sought, char* cat_abbr, int32_t* tok_idx) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_pattern_sought_cat_add(tq_context* ctx, int32_t index, uint32_t pattern,
                                                         const char* cat_abbr, uint32_t tok_idx) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_pattern_sought_cats_clear(tq_context* ctx, int32_t index,
                                                            uint32_t pattern) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_opt_params_override_get(tq_context* ctx, int32_t index, uint32_t pattern,
                                                          uint32_t* override_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_opt_params_resource_limit_get(tq_context* ctx, int32_t index, uint32_t pattern,
    int32_t* limit) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_opt_params_scoring_levels_get(tq_context* ctx, int32_t index, uint32_t pattern,
    int32_t* levels) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_opt_params_input_length_get(tq_context* ctx, int32_t index, uint32_t pattern,
    int32_t* length) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_opt_params_override_set(tq_context* ctx, int32_t index, uint32_t pattern,
                                                          uint32_t override_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_opt_params_resource_limit_set(tq_context* ctx, int32_t index, uint32_t pattern,
    uint32_t limit) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_opt_params_scoring_levels_set(tq_context* ctx, int32_t index, uint32_t pattern,
    uint32_t levels) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_opt_params_input_length_set(tq_context* ctx, int32_t index, uint32_t pattern,
    uint32_t length) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_scheme_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_scheme_info_get(tq_context* ctx, int32_t index, uint32_t scheme,
                                                  uint32_t* tok_index, char* sch_name,
                                                  uint32_t* case_sens) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_scheme_info_set(tq_context* ctx, int32_t index, uint32_t scheme, uint32_t tok_index,
                                                  const char* sch_name, uint32_t case_sens) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_scheme_add(tq_context* ctx, int32_t index, uint32_t tok_index, const char* sch_name,
                                             uint32_t case_sens) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_schemes_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_cat_regexlib_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_cat_regexlib_info_get(tq_context* ctx, int32_t index, uint32_t entry, char* abbrev,
                                                        uint32_t* likelihood, char* rlib_name,
                                                        uint32_t* stop) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_cat_regexlib_info_set(tq_context* ctx, int32_t index, uint32_t entry,
                                                        const char* cat_abbr, uint32_t likelihood,
                                                        const char* rlib_name, uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_cat_regexlib_add(tq_context* ctx, int32_t index, const char* cat_abbr,
                                                   uint32_t likelihood, const char* rlib_name,
                                                   uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_cat_regexlib_delete(tq_context* ctx, int32_t index, uint32_t entry) TQ_NOEXCEPT;
TQ_API int32_t tq_extraction_defn_cat_regexlib_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* ---- Match definitions -------------------------------------------------------
 * Match definitions of the current locale, by index as datatypes are (own
 * then inherited; in edit mode depth x 256 + position). Texts cross in the
 * session encoding; counts, flags, options and lengths are uint32_t, indices,
 * tokens, keys and entries int32_t (-1 for none). Every change, token add,
 * delete and rename, add, copy and write needs edit mode. Names out hold
 * TQ_NAME_MAX + terminator bytes, scheme names 4,096 + terminator. The code length is
 * given in bytes (4 per character; a code buffer needs one more). Scheme
 * options: 1 element mode, 2 case insensitive. A definition without a parse
 * definition gives -708 for the parse definition's tokens and -301 for its
 * surface flag. */
TQ_API int32_t tq_match_defn_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_count_get_by_locale(tq_context* ctx, int32_t locale, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_name_get_by_index(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_comments_get(tq_context* ctx, int32_t index, tq_xmldoc** comments) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_comments_set(tq_context* ctx, int32_t index, tq_xmldoc* comments) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_layouts_get(tq_context* ctx, int32_t index, tq_xmldoc** layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_layouts_set(tq_context* ctx, int32_t index, tq_xmldoc* layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_deprecated_info_get(tq_context* ctx, int32_t index, uint32_t* deprecated,
                                                 char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_deprecated_info_set(tq_context* ctx, int32_t index, uint32_t deprecated,
                                                 const char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_incomplete_get(tq_context* ctx, int32_t index, uint32_t* incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_incomplete_set(tq_context* ctx, int32_t index, uint32_t incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_valid_get(tq_context* ctx, int32_t index, uint32_t* valid) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_valid_set(tq_context* ctx, int32_t index, uint32_t valid) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_valid_flag_info_get(tq_context* ctx, int32_t index, uint32_t* valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_valid_flag_info_set(tq_context* ctx, int32_t index, uint32_t valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_editable_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_datatype_index_get(tq_context* ctx, int32_t index, int32_t* dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_datatype_index_set(tq_context* ctx, int32_t index, int32_t dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_matchcode_length_get(tq_context* ctx, int32_t index, uint32_t* len) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_parse_defn_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* Among the parse definitions of the match definition's own locale (the
 * locale that holds it), which need not be the current one. */
TQ_API int32_t tq_match_defn_parse_defn_index_get(tq_context* ctx, int32_t index, int32_t* prthm_index) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_parse_defn_index_set(tq_context* ctx, int32_t index, int32_t prthm_index) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_parse_defn_token_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_parse_defn_token_name_get(tq_context* ctx, int32_t index, int32_t token,
                                                       char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_parse_defn_token_key_get_by_name(tq_context* ctx, int32_t index, const char* name,
                                                              int32_t* key) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_parse_defn_surfaced_get(tq_context* ctx, int32_t index, uint32_t* surfaced) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_parsed_input_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_parsed_input_flag_set(tq_context* ctx, int32_t index, uint32_t flag) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_scheme_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_scheme_info_get(tq_context* ctx, int32_t index, int32_t scheme, char* name,
                                             uint32_t* options) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_scheme_info_set(tq_context* ctx, int32_t index, int32_t scheme, const char* name,
                                             uint32_t options) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_scheme_add(tq_context* ctx, int32_t index, const char* name, uint32_t options) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_schemes_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_name_get(tq_context* ctx, int32_t index, int32_t token, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_name_get_by_key(tq_context* ctx, int32_t index, int32_t key, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_key_get_by_name(tq_context* ctx, int32_t index, const char* name,
                                                   int32_t* key) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_names_get(tq_context* ctx, const char* match_defn, char** names,
                                             uint32_t* num_names) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_name_set(tq_context* ctx, int32_t index, int32_t token,
                                            const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_add(tq_context* ctx, int32_t index, int32_t* tok_index) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_delete(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_automatic_uppercasing_get(tq_context* ctx, int32_t index, int32_t token,
                                                       uint32_t* auto_upper) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_automatic_uppercasing_set(tq_context* ctx, int32_t index, int32_t token,
                                                       uint32_t auto_upper) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_sort_words_flag_get(tq_context* ctx, int32_t index, int32_t token,
                                                 uint32_t* sort_words) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_sort_words_flag_set(tq_context* ctx, int32_t index, int32_t token,
                                                 uint32_t sort_words) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_add(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_copy(tq_context* ctx, const char* source, const char* dest, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_write(tq_context* ctx, tq_xmldoc* xml, int32_t index) TQ_NOEXCEPT;
/* ---- Match definition token lists -------------------------------------------
 * A match definition's token (definition index, token index) and its lists:
 * normalization regex libraries and standardization schemes, noise
 * vocabularies, phonetics rule sets and transformation regex libraries (each
 * with a sensitivity range sens_hi..sens_lo), categorization regex libraries
 * ("Norm Cat"), vocabularies with stop flag and fuzzy lookup, categorization
 * regex libraries (category 128 bytes, likelihood 10..90, library name 1,024
 * bytes in and 16,384 out, stop flag), default categories (category 128 bytes, likelihood 10..90), and
 * the token's code positions per sensitivity bucket (0..9: 95, 90, ... 50;
 * 1-based, 0 none; a set takes 0 <= start <= end <= 1,024, else -802). An
 * entry index out of range is -800. A name that cannot be opened, or whose
 * file does not read as the kind named, is not added, or leaves the entry
 * it was to replace as it was. Changes need edit mode. */
TQ_API int32_t tq_match_defn_token_regexlib_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                      uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_regexlib_info_get(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                     char* name, uint32_t* sens_hi, uint32_t* sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_regexlib_add(tq_context* ctx, int32_t index, int32_t token, const char* name,
                                                uint32_t sens_hi, uint32_t sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_regexlib_set(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                const char* name, uint32_t sens_hi, uint32_t sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_regexlibs_delete_all(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_stdz_scheme_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                         uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_stdz_scheme_info_get(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                        char* name, uint32_t* options, uint32_t* disable_phtx,
                                                        uint32_t* sens_hi, uint32_t* sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_stdz_scheme_info_set(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                        const char* name, uint32_t options, uint32_t disable_phtx,
                                                        uint32_t sens_hi, uint32_t sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_stdz_scheme_add(tq_context* ctx, int32_t index, int32_t token, const char* name,
                                                   uint32_t options, uint32_t disable_phtx, uint32_t sens_hi,
                                                   uint32_t sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_stdz_schemes_delete_all(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_noise_vocab_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                         uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_noise_vocab_info_get(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                        char* name, uint32_t* sens_hi, uint32_t* sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_noise_vocab_info_set(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                        const char* name, uint32_t sens_hi,
                                                        uint32_t sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_noise_vocab_add(tq_context* ctx, int32_t index, int32_t token, const char* name,
                                                   uint32_t sens_hi, uint32_t sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_noise_vocabs_delete_all(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_phonetx_lib_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                         uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_phonetx_lib_info_get(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                        char* name, uint32_t* sens_hi, uint32_t* sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_phonetx_lib_info_set(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                        const char* name, uint32_t sens_hi,
                                                        uint32_t sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_phonetx_lib_add(tq_context* ctx, int32_t index, int32_t token, const char* name,
                                                   uint32_t sens_hi, uint32_t sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_phonetx_libs_delete_all(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_trans_regexlib_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                            uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_trans_regexlib_info_get(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                           char* name, uint32_t* sens_hi,
                                                           uint32_t* sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_trans_regexlib_info_set(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                           const char* name, uint32_t sens_hi,
                                                           uint32_t sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_trans_regexlib_add(tq_context* ctx, int32_t index, int32_t token, const char* name,
                                                      uint32_t sens_hi, uint32_t sens_lo) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_trans_regexlib_delete_all(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_norm_regexlib_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                               uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_norm_regexlib_info_get(tq_context* ctx, int32_t index, int32_t token,
                                                              int32_t entry, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_norm_regexlib_info_set(tq_context* ctx, int32_t index, int32_t token,
                                                              int32_t entry, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_norm_regexlib_add(tq_context* ctx, int32_t index, int32_t token,
                                                         const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_norm_regexlib_delete(tq_context* ctx, int32_t index, int32_t token,
                                                            int32_t entry) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_norm_regexlibs_delete_all(tq_context* ctx, int32_t index,
                                                                 int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_vocabulary_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                        uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_vocabulary_info_get(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                       char* name, uint32_t* stop, uint32_t* fuzzy_enabled,
                                                       uint32_t* fuzzy_threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_vocabulary_info_set(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                       const char* name, uint32_t stop, uint32_t fuzzy_enabled,
                                                       uint32_t fuzzy_threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_vocabulary_add(tq_context* ctx, int32_t index, int32_t token, const char* name,
                                                  uint32_t stop, uint32_t fuzzy_enabled,
                                                  uint32_t fuzzy_threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_vocabulary_delete(tq_context* ctx, int32_t index, int32_t token,
                                                     int32_t entry) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_vocabulary_delete_all(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_regexlib_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                          uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_regexlib_info_get(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                         char* name, char* abbrev, uint32_t* like,
                                                         uint32_t* stop) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_regexlib_info_set(tq_context* ctx, int32_t index, int32_t token, int32_t entry,
                                                         const char* abbrev, uint32_t like, const char* name,
                                                         uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_regexlib_add(tq_context* ctx, int32_t index, int32_t token, const char* abbrev,
                                                    uint32_t like, const char* name, uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_regexlib_delete(tq_context* ctx, int32_t index, int32_t token,
                                                       int32_t entry) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_regexlibs_delete_all(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_default_category_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                              uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_default_category_info_get(tq_context* ctx, int32_t index, int32_t token,
                                                             int32_t entry, char* abbrev, uint32_t* like) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_default_category_info_set(tq_context* ctx, int32_t index, int32_t token,
                                                             int32_t entry, const char* abbrev,
                                                             uint32_t like) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_default_category_add(tq_context* ctx, int32_t index, int32_t token,
                                                        int32_t* cat_idx) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_default_category_delete(tq_context* ctx, int32_t index, int32_t token,
                                                           int32_t entry) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_default_categories_delete_all(tq_context* ctx, int32_t index,
                                                                 int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_automatic_uppercasing_get(tq_context* ctx, int32_t index, int32_t token,
                                                                 uint32_t* auto_upper) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_cat_automatic_uppercasing_set(tq_context* ctx, int32_t index, int32_t token,
                                                                 uint32_t auto_upper) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_sensitivity_info_get(tq_context* ctx, int32_t index, int32_t token, int32_t sens,
                                                        uint32_t* sense, uint32_t* start, uint32_t* stop) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_sensitivity_info_set(tq_context* ctx, int32_t index, int32_t token, int32_t sens,
                                                        uint32_t start, uint32_t end) TQ_NOEXCEPT;

/* ---- Match definition combination rules -----------------------------------
 * Token combination rules of the match definitions of the current locale
 * (definition index as for the other definition families). A rule arranges
 * the definition's tokens differently in the code: for every token position
 * (a token name) the token whose value goes there ("" for none); it applies
 * within its sensitivity range when all its conditions hold, with a weight.
 * A rule added here starts with one entry per token, no conditions, range
 * 0..0 (it applies at no sensitivity until its range is set) and weight
 * 100.0. Every change needs edit mode and, but for include_default_set,
 * raises the definition's version to "9.0". Names are compared byte for
 * byte; texts in are at most 1,024 bytes (a condition's or a position's
 * token 320, a condition's category 256), texts out at most 1,028
 * bytes + terminator. A rule index out of range gives -800 (recorded for the
 * weight and sensitivity calls); a position no entry has, -802.
 * "Include Default" off, with or without rules, leaves out the code of the
 * tokens in their own order (tq_match_multicode) and is kept by the
 * locale's file; a file that does not say reads as on. */
TQ_API int32_t tq_match_defn_token_combination_rule_count_get(tq_context* ctx, int32_t index,
                                                              uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_include_default_get(tq_context* ctx, int32_t index,
                                                                   uint32_t* def) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_include_default_set(tq_context* ctx, int32_t index,
                                                                   uint32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_rule_add(tq_context* ctx, int32_t index,
                                                        uint32_t* rule_index) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_rules_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_rule_weight_get(tq_context* ctx, int32_t index, uint32_t rule,
                                                               double* wt) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_rule_weight_set(tq_context* ctx, int32_t index, uint32_t rule,
                                                               double weight) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_rule_sensitivities_get(tq_context* ctx, int32_t index,
                                                                      uint32_t rule, uint32_t* sens_lo,
                                                                      uint32_t* sens_hi) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_rule_sensitivities_set(tq_context* ctx, int32_t index,
                                                                      uint32_t rule, uint32_t low,
                                                                      uint32_t high) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_rule_conditions_count_get(tq_context* ctx, int32_t index,
                                                                         uint32_t rule,
                                                                         uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_rule_condition_get(tq_context* ctx, int32_t index, uint32_t rule,
                                                                  uint32_t cond, char* token, char* cat,
                                                                  uint32_t* like, uint32_t* negate) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_rule_condition_set(tq_context* ctx, int32_t index, uint32_t rule,
                                                                  uint32_t cond, const char* token,
                                                                  const char* cat, uint32_t likelihood,
                                                                  uint32_t negate) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_rule_condition_add(tq_context* ctx, int32_t index, uint32_t rule,
                                                                  const char* token, const char* cat,
                                                                  uint32_t likelihood, uint32_t negate,
                                                                  uint32_t* cond_index) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_rule_conditions_delete_all(tq_context* ctx, int32_t index,
                                                                          uint32_t rule) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_rule_position_get(tq_context* ctx, int32_t index, uint32_t rule,
                                                                 const char* position, char* token) TQ_NOEXCEPT;
TQ_API int32_t tq_match_defn_token_combination_rule_position_set(tq_context* ctx, int32_t index, uint32_t rule,
                                                                 const char* position,
                                                                 const char* token) TQ_NOEXCEPT;

/* ---- Match info -----------------------------------------------------------------
 * The caller-owned record of one match run (the match operations whose names
 * end in _with_info): the preprocessed string and each preprocessing
 * scheme's result, the parse's tokens and the match definition's
 * (significant) tokens, each significant token's value after every stage and
 * after every entry of its normalization regex libraries, noise
 * vocabularies (with the words each dropped), standardization schemes,
 * transformation regex libraries and phonetics rule sets, the analysis
 * behind the rule conditions, which rules applied with their weights and
 * mappings, and each code before and after encoding with its score and
 * duplicate flag. Each run releases what the previous one stored, so one
 * info serves any number of runs; the getters read it between runs and take
 * no hold (an info must not be used by two calls at once).
 * token counts significant tokens (a parse token for token_name_get and
 * token_value_get), entry the entries of that token's list in definition
 * order, rule the rule slots: the definition's rules then the default rule
 * (a single-code run has one slot, 0), word a vocabulary's dropped words.
 * Every getter first sets its outs to their defaults (0; an empty text;
 * 100.0 for scores; -1 for positions; NULL for the morph info) and gives
 * -800 for any index out of range, the outs left so. Texts go out in the
 * session encoding into caller buffers of TQ_MATCH_INFO_TEXT_SIZE bytes
 * (codes at most 1,024 bytes of text); a conversion warning may be given.
 * The any_ getters look at every entry of the list at every rule slot.
 * tq_match_info_any_token_rule_matched_get gives whether any rule but the
 * default applied and whether the default did; tq_match_info_position_get
 * the token whose value took token's positions at the rule slot (-1 for
 * none). tq_match_info_morph_analyzer_info_get hands out the token's own
 * morph info, owned by the match info (valid until its next run or free).
 * A rule slot's code record has score 0.0 until a code is made there, its
 * rule record 100.0 until a rule sets it. tq_match_info_free accepts NULL. */
#define TQ_MATCH_INFO_TEXT_SIZE 1028
#ifndef TQ_MATCH_INFO_DECLARED
#define TQ_MATCH_INFO_DECLARED
typedef struct tq_match_info tq_match_info;
#endif
TQ_API int32_t tq_match_info_init(tq_context* ctx, tq_match_info** match_info) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_free(tq_context* ctx, tq_match_info* match_info) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_exact_match_flag_get(tq_context* ctx, tq_match_info* info, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_preproc_string_get(tq_context* ctx, tq_match_info* match_info, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_preproc_scheme_count_get(tq_context* ctx, tq_match_info* match_info,
                                                      uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_any_preproc_scheme_matched_get(tq_context* ctx, tq_match_info* match_info,
                                                            uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_preproc_string_get_per_scheme(tq_context* ctx, tq_match_info* match_info,
                                                           int32_t scheme, uint32_t* matched,
                                                           char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_token_rule_count_get(tq_context* ctx, tq_match_info* match_info,
                                                  uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_unencoded_string_get(tq_context* ctx, tq_match_info* match_info, int32_t rule,
                                                  char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_encoded_string_get(tq_context* ctx, tq_match_info* match_info, int32_t rule,
                                                char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_encoded_string_isdup_get(tq_context* ctx, tq_match_info* match_info, int32_t rule,
                                                      uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_string_score_get(tq_context* ctx, tq_match_info* match_info, int32_t rule,
                                              double* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_token_count_get(tq_context* ctx, tq_match_info* match_info,
                                             uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_token_name_get(tq_context* ctx, tq_match_info* match_info, int32_t token,
                                            char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_token_value_get(tq_context* ctx, tq_match_info* match_info, int32_t token,
                                             char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_sig_token_count_get(tq_context* ctx, tq_match_info* match_info,
                                                 uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_sig_token_name_get(tq_context* ctx, tq_match_info* match_info, int32_t token,
                                                char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_sig_token_value_get(tq_context* ctx, tq_match_info* match_info, int32_t token,
                                                 char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_match_uppercased_token_value_get(tq_context* ctx, tq_match_info* match_info,
                                                              int32_t token, int32_t rule,
                                                              char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_token_norm_regex_count_get(tq_context* ctx, tq_match_info* match_info, int32_t token,
                                                        uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_token_trans_regex_count_get(tq_context* ctx, tq_match_info* match_info,
                                                         int32_t token, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_token_stdz_scheme_count_get(tq_context* ctx, tq_match_info* match_info,
                                                         int32_t token, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_token_noise_vocab_count_get(tq_context* ctx, tq_match_info* match_info,
                                                         int32_t token, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_token_phonetx_count_get(tq_context* ctx, tq_match_info* match_info, int32_t token,
                                                     uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_normal_token_value_get(tq_context* ctx, tq_match_info* match_info, int32_t token,
                                                    char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_any_regex_matched_per_token_get(tq_context* ctx, tq_match_info* match_info,
                                                             int32_t token, uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_normal_token_value_get_per_regex(tq_context* ctx, tq_match_info* match_info,
                                                              int32_t token, int32_t entry, int32_t rule,
                                                              uint32_t* matched, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_noise_token_value_get(tq_context* ctx, tq_match_info* match_info, int32_t token,
                                                   char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_any_noise_vocab_matched_per_token_get(tq_context* ctx, tq_match_info* match_info,
                                                                   int32_t token, uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_noise_token_value_get_per_vocab(tq_context* ctx, tq_match_info* match_info,
                                                             int32_t token, int32_t entry, int32_t rule,
                                                             uint32_t* matched, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_filtered_word_count_get_per_vocab(tq_context* ctx, tq_match_info* match_info,
                                                               int32_t token, int32_t entry, int32_t rule,
                                                               uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_filtered_word_get_per_vocab(tq_context* ctx, tq_match_info* match_info,
                                                         int32_t token, int32_t entry, int32_t rule, int32_t word,
                                                         char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_token_all_noise_flag_get(tq_context* ctx, tq_match_info* match_info, int32_t token,
                                                      uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_token_all_noise_flag_get_per_vocab(tq_context* ctx, tq_match_info* match_info,
                                                                int32_t token, int32_t entry, int32_t rule,
                                                                uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_stdz_token_value_get(tq_context* ctx, tq_match_info* match_info, int32_t token,
                                                  char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_any_stdz_scheme_matched_per_token_get(tq_context* ctx, tq_match_info* match_info,
                                                                   int32_t token, uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_stdz_token_value_get_per_scheme(tq_context* ctx, tq_match_info* match_info,
                                                             int32_t token, int32_t entry, int32_t rule,
                                                             uint32_t* matched, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_trans_token_value_get_per_regex(tq_context* ctx, tq_match_info* match_info,
                                                             int32_t token, int32_t entry, int32_t rule,
                                                             uint32_t* matched, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_any_trans_regex_matched_per_token_get(tq_context* ctx, tq_match_info* match_info,
                                                                   int32_t token, uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_phtx_token_value_get(tq_context* ctx, tq_match_info* match_info, int32_t token,
                                                  char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_any_phtx_matched_per_token_get(tq_context* ctx, tq_match_info* match_info,
                                                            int32_t token, uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_phtx_token_value_get_per_phonetx(tq_context* ctx, tq_match_info* match_info,
                                                              int32_t token, int32_t entry, int32_t rule,
                                                              uint32_t* matched, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_morph_analyzer_info_get(tq_context* ctx, tq_match_info* match_info, int32_t token,
                                                     tq_morph_analyzer_info** info) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_token_rule_info_get(tq_context* ctx, tq_match_info* match_info, int32_t rule,
                                                 uint32_t* matched, double* score) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_any_token_rule_matched_get(tq_context* ctx, tq_match_info* match_info,
                                                        uint32_t* nondefault_matched,
                                                        uint32_t* default_matched) TQ_NOEXCEPT;
TQ_API int32_t tq_match_info_position_get(tq_context* ctx, tq_match_info* match_info, int32_t rule, int32_t token,
                                          int32_t* replace) TQ_NOEXCEPT;

/* ---- Match codes ---------------------------------------------------------------
 * The match code of a value under a match definition at a sensitivity: a
 * text of the definition's code length in characters (at most 256), equal
 * for values the definition takes as the same at that sensitivity. The
 * definition is named by name (looked up among the current locale's,
 * ignoring case) or by index. A sensitivity uses the positions of the first
 * of the buckets 95, 90, ..., 50 that it reaches (below 50 the bucket 50).
 *
 * Every code buffer must hold 4 x L + 1 bytes, L being the definition's
 * code length (tq_match_defn_matchcode_length_get) but at most 256
 * (TQ_MATCHCODE_SIZE bytes hold any code). No call leaves a stale code in
 * a buffer: every code buffer is made an empty text when the call starts;
 * once the value is converted and the definition is ready, it is filled
 * with the code length x 4 '$' characters, then the code is written. A
 * call that fails before the pre-fill (no current locale, -707; an unknown
 * definition, -801; a NULL argument, -802; a character refused under
 * strict conversion, -10000) leaves the empty text, one that fails after it
 * the pre-fill (or a code already finished). The
 * _multiple_sens operations write one code per sensitivity into
 * matchcodes[i]; a NULL matchcodes[i] gives -802.
 *
 * Results: a failure; else 102 when the value was cut to 1,024 bytes; else
 * a warning of converting the caller's text (116);
 * else 101 when the value could not be parsed: each code is then the value's
 * whole-value code (as tq_match_exact makes it), unless the parse
 * definition places such values in its no-solution tokens; else 0.
 *
 * The _parsed operations take tokens a parse gave (tq_parse): num_tokens
 * entries, at most TQ_PARSE_TOKENS (-802 above), each a datatype token
 * index (-1 for none) and its value; -702 when the definition does not
 * allow parsed input (the code buffers then hold empty texts). They give the
 * last conversion warning or 0; tq_match_parsed and
 * tq_match_multiple_sens_parsed give 0 in place of any warning but the 102
 * of a token value cut to 1,024 bytes.
 *
 * The _with_info operations record every step in a match info (NULL: none);
 * with several sensitivities it keeps the last one's.
 *
 * tq_match_exact makes the whole-value code of length characters (a length
 * above 256 is 256; 0 gives -802): the value uppercased with the current
 * locale's casing (the root casing when no locale is current), white space
 * dropped, cut at length characters, and padded with spaces to length
 * characters (tq_match_exact_no_pad does not pad); matchcode holds
 * 4 x length + 1 bytes.
 *
 * tq_match_encode encodes a code text in place, as every code these
 * operations give is encoded, and gives the number of bytes written (0 for
 * an empty text). It takes and gives UTF-8, whatever the session encoding;
 * the encoded text is never longer than the text given (at most 1,024
 * bytes are kept). */
#define TQ_MATCHCODE_SIZE 1028
#ifndef TQ_MATCH_INFO_DECLARED
#define TQ_MATCH_INFO_DECLARED
typedef struct tq_match_info tq_match_info;
#endif
TQ_API int32_t tq_match(tq_context* ctx, const char* match_defn, uint32_t sensitivity, const char* data,
                        char* matchcode) TQ_NOEXCEPT;
TQ_API int32_t tq_match_with_info(tq_context* ctx, const char* match_defn, uint32_t sensitivity, const char* data,
                                  char* matchcode, tq_match_info* match_info) TQ_NOEXCEPT;
TQ_API int32_t tq_match_by_index(tq_context* ctx, int32_t index, uint32_t sensitivity, const char* data,
                                 char* matchcode) TQ_NOEXCEPT;
TQ_API int32_t tq_match_by_index_with_info(tq_context* ctx, int32_t index, uint32_t sensitivity, const char* data,
                                           char* matchcode, tq_match_info* match_info) TQ_NOEXCEPT;
TQ_API int32_t tq_match_multiple_sens(tq_context* ctx, const char* match_defn, const uint32_t* sensitivities,
                                      uint32_t count, const char* data, char* const* matchcodes) TQ_NOEXCEPT;
TQ_API int32_t tq_match_multiple_sens_by_index(tq_context* ctx, int32_t index, const uint32_t* sensitivities,
                                               uint32_t count, const char* data,
                                               char* const* matchcodes) TQ_NOEXCEPT;
TQ_API int32_t tq_match_parsed(tq_context* ctx, const char* match_defn, uint32_t sensitivity,
                               const tq_parse_token* input_array, uint32_t num_tokens, char* matchcode) TQ_NOEXCEPT;
TQ_API int32_t tq_match_parsed_with_info(tq_context* ctx, const char* match_defn, uint32_t sensitivity,
                                         const tq_parse_token* input_array, uint32_t num_tokens, char* matchcode,
                                         tq_match_info* match_info) TQ_NOEXCEPT;
TQ_API int32_t tq_match_parsed_by_index(tq_context* ctx, int32_t index, uint32_t sensitivity,
                                        const tq_parse_token* input_array, uint32_t num_tokens,
                                        char* matchcode) TQ_NOEXCEPT;
TQ_API int32_t tq_match_multiple_sens_parsed(tq_context* ctx, const char* match_defn, const uint32_t* sensitivities,
                                             uint32_t count, const tq_parse_token* token_array, uint32_t num_tokens,
                                             char* const* matchcodes) TQ_NOEXCEPT;
TQ_API int32_t tq_match_multiple_sens_parsed_by_index(tq_context* ctx, int32_t index, const uint32_t* sensitivities,
                                                      uint32_t count, const tq_parse_token* token_array,
                                                      uint32_t num_tokens, char* const* matchcodes) TQ_NOEXCEPT;
TQ_API int32_t tq_match_exact(tq_context* ctx, const char* data, uint32_t length, char* matchcode) TQ_NOEXCEPT;
TQ_API int32_t tq_match_exact_no_pad(tq_context* ctx, const char* data, uint32_t length,
                                     char* matchcode) TQ_NOEXCEPT;
TQ_API int32_t tq_match_encode(tq_context* ctx, char* matchcode) TQ_NOEXCEPT;

/* ---- Extraction ------------------------------------------------------------------
 * The tokens of an extraction definition's datatype pulled out of free text
 * (data at most 1,024 bytes after conversion, session encoding): phrases its
 * known-word schemes hold, then (with "Use Parser") the words under the
 * sought categories of its patterns, then every word left to the default
 * token; values from several places are joined with the separator. tokens
 * holds at least the definition's token count (at most 32); record i gets
 * token i, its value at most 1,024 bytes of text: a longer one is cut
 * between characters, which gives 102 and one message for the token with
 * the whole value's length; in the session encoding it is cut, as any
 * output, to fit the field's TQ_EXTRACT_VALUE_SIZE bytes with its
 * terminator. Results: 0, else the input's conversion
 * warning, else the output's; *num_tokens is 0 on failure. The forms
 * with info record the run in a tq_extract_info (NULL: as without one). */
#define TQ_EXTRACT_TOKENS 32
#define TQ_EXTRACT_VALUE_SIZE 1028
typedef struct tq_extract_token {
  int32_t index;
  char value[TQ_EXTRACT_VALUE_SIZE];
} tq_extract_token;
/* The record of one extraction: the preprocessing steps, the words as
 * chopped and those the known words left, every phrase looked up as a known
 * word, and per window of the pattern phase its morph analyzer info, the
 * state of every word (0 not yet examined, 1 in the window, 2 consumed) and
 * each pattern's attempt (solution type 0 none, 1 parse solutions, 2 one
 * word), then a last iteration with every word consumed. A run empties it
 * first. It keeps copies of its own; free it before its context. Text
 * outputs take 1,028 bytes with the terminator; begin and end positions
 * count characters. */
typedef struct tq_extract_info tq_extract_info;
TQ_API int32_t tq_extract(tq_context* ctx, const char* defn_name, const char* data, tq_extract_token* tokens,
                          uint32_t* num_tokens) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_by_index(tq_context* ctx, int32_t index, const char* data, tq_extract_token* tokens,
                                   uint32_t* num_tokens) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_with_info(tq_context* ctx, const char* defn_name, const char* data,
                                    tq_extract_token* tokens, uint32_t* num_tokens,
                                    tq_extract_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_by_index_with_info(tq_context* ctx, int32_t index, const char* data,
                                             tq_extract_token* tokens, uint32_t* num_tokens,
                                             tq_extract_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_init(tq_context* ctx, tq_extract_info** info) TQ_NOEXCEPT;
/* NULL is accepted (nothing to free). */
TQ_API int32_t tq_extract_info_free(tq_context* ctx, tq_extract_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_preproc_rgx_count_get(tq_context* ctx, tq_extract_info* info,
                                                     uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_any_preprocessing_regexlib_matched_get(tq_context* ctx, tq_extract_info* info,
                                                                     uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_preprocessed_info_get(tq_context* ctx, tq_extract_info* info, uint32_t index,
                                                     char* preprocessed_string, uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_chopped_word_list_count_get(tq_context* ctx, tq_extract_info* info,
                                                           uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_chopped_word_get(tq_context* ctx, tq_extract_info* info, uint32_t index,
                                                char* word) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_known_word_count_get(tq_context* ctx, tq_extract_info* info,
                                                    uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_known_word_get(tq_context* ctx, tq_extract_info* info, uint32_t index,
                                              char* word) TQ_NOEXCEPT;
/* Not found: used 0, scheme_name "", scheme_idx and token_index -1. */
TQ_API int32_t tq_extract_info_known_word_info_get(tq_context* ctx, tq_extract_info* info, uint32_t index,
                                                   uint32_t* used, char* scheme_name, int32_t* scheme_idx,
                                                   int32_t* token_index) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_iteration_count_get(tq_context* ctx, tq_extract_info* extract_info,
                                                   uint32_t* count) TQ_NOEXCEPT;
/* Owned by the info; NULL for the last iteration. */
TQ_API int32_t tq_extract_info_iteration_morph_analyzer_info_get(tq_context* ctx, tq_extract_info* extract_info,
                                                                 uint32_t iteration,
                                                                 tq_morph_analyzer_info** ma_info) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_iteration_state_string_get(tq_context* ctx, tq_extract_info* extract_info,
                                                          uint32_t iteration, char* result) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_iteration_state_word_count_get(tq_context* ctx, tq_extract_info* extract_info,
                                                              uint32_t iteration, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_iteration_state_word_info_get(tq_context* ctx, tq_extract_info* extract_info,
                                                             uint32_t iteration, uint32_t word, uint32_t* status,
                                                             uint32_t* begin_idx, uint32_t* end_idx) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_iteration_matched_count_get(tq_context* ctx, tq_extract_info* extract_info,
                                                           uint32_t iteration, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_iteration_matched_info_get(tq_context* ctx, tq_extract_info* extract_info,
                                                          uint32_t iteration, uint32_t match, char* phrase,
                                                          uint32_t* pat_idx, uint32_t* sol_type,
                                                          uint32_t* sol_count) TQ_NOEXCEPT;
/* Solutions of a pattern's attempt in an iteration: -700 when it holds none
 * (solution type not 1). Rules are freed with tq_solution_rule_free; the
 * best rule is NULL when no score is above 0. */
TQ_API int32_t tq_extract_info_iteration_pattern_solution_score_get(tq_context* ctx, tq_extract_info* extract_info,
                                                                    uint32_t iteration, uint32_t pattern,
                                                                    uint32_t solution, int32_t* score) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_iteration_pattern_solution_rule_get(tq_context* ctx, tq_extract_info* extract_info,
                                                                   uint32_t iteration, uint32_t pattern,
                                                                   uint32_t solution,
                                                                   tq_solution_rule** rule) TQ_NOEXCEPT;
TQ_API int32_t tq_extract_info_iteration_pattern_best_solution_rule_get(tq_context* ctx,
                                                                        tq_extract_info* extract_info,
                                                                        uint32_t iteration, uint32_t pattern,
                                                                        tq_solution_rule** rule) TQ_NOEXCEPT;
/* The window's text under the rule; -800 for the last iteration. */
TQ_API int32_t tq_extract_info_iteration_pattern_solution_rule_string_get(tq_context* ctx,
                                                                          tq_extract_info* extract_info,
                                                                          uint32_t iteration,
                                                                          tq_solution_rule* rule,
                                                                          char* str) TQ_NOEXCEPT;
/* ---- Pattern analysis ----------------------------------------------------------
 * A pattern analysis definition names one regex library whose elements,
 * applied in order as search and replace, rewrite a value into its
 * character pattern: with "[A-Z]" -> "A", "[a-z]" -> "a", "[0-9]" -> "9",
 * "Ab 12-x" becomes "Aa 99-a". Data in the session encoding (at most 1,024
 * bytes); the pattern out into 1,028 bytes of the session encoding, its
 * terminator included (empty on failure). A definition without a library gives an empty pattern and 0.
 * Results: 0, or the input's (else the output's) conversion warning; -704
 * for a definition that is not valid, -705 for one of a newer version. */

/* The info of an analysis: matched is 1 when an element of the library
 * rewrote the value, else 0. Read the field directly; made by
 * tq_patrn_info_init, freed by tq_patrn_info_free. An analysis with a
 * definition that has no library leaves it as it was. */
typedef struct tq_patrn_info {
  uint32_t matched;
} tq_patrn_info;

/* The definition by name (ignoring case). */
TQ_API int32_t tq_pattern_analyze(tq_context* ctx, const char* patrn_defn, const char* data,
                                  char* pattern) TQ_NOEXCEPT;
TQ_API int32_t tq_pattern_analyze_by_index(tq_context* ctx, int32_t index, const char* data,
                                           char* pattern) TQ_NOEXCEPT;
/* patrn_info may be NULL (no info). */
TQ_API int32_t tq_pattern_analyze_by_index_with_info(tq_context* ctx, int32_t index, const char* data,
                                                     char* pattern, tq_patrn_info* patrn_info) TQ_NOEXCEPT;
/* A new info with matched 0; no read hold. */
TQ_API int32_t tq_patrn_info_init(tq_context* ctx, tq_patrn_info** patrn_info) TQ_NOEXCEPT;
/* Frees the info; NULL is accepted. */
TQ_API int32_t tq_patrn_info_free(tq_context* ctx, tq_patrn_info* patrn_info) TQ_NOEXCEPT;

/* ---- Pattern analysis definitions ------------------------------------------------
 * Pattern analysis definitions of the current locale, by index as datatypes
 * are (own then inherited; in edit mode depth x 256 + position). Names out:
 * TQ_NAME_MAX + terminator bytes; the regex library's name 4,096 bytes +
 * terminator. Setters, add, copy and write need edit mode. */
TQ_API int32_t tq_patrn_defn_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_count_get_by_locale(tq_context* ctx, int32_t locale, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_name_get_by_index(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_deprecated_info_get(tq_context* ctx, int32_t index, uint32_t* deprecated,
                                                 char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_deprecated_info_set(tq_context* ctx, int32_t index, uint32_t deprecated,
                                                 const char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_datatype_index_get(tq_context* ctx, int32_t index, int32_t* dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_datatype_index_set(tq_context* ctx, int32_t index, int32_t dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_incomplete_get(tq_context* ctx, int32_t index, uint32_t* incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_incomplete_set(tq_context* ctx, int32_t index, uint32_t incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_valid_get(tq_context* ctx, int32_t index, uint32_t* valid) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_valid_set(tq_context* ctx, int32_t index, uint32_t valid) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_valid_flag_info_get(tq_context* ctx, int32_t index, uint32_t* valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_valid_flag_info_set(tq_context* ctx, int32_t index, uint32_t valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_comments_get(tq_context* ctx, int32_t index, tq_xmldoc** comments) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_comments_set(tq_context* ctx, int32_t index, tq_xmldoc* comments) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_layouts_get(tq_context* ctx, int32_t index, tq_xmldoc** layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_layouts_set(tq_context* ctx, int32_t index, tq_xmldoc* layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_editable_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
/* The library's name; empty for none. The set opens and reads the named
 * library before it gives the present one back: a name that cannot be
 * opened, or a file that is not a regex library, leaves the definition as
 * it was. An empty name is refused (-802), as the file must name one. */
TQ_API int32_t tq_patrn_defn_regexlib_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_regexlib_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
/* A new definition without a library; not valid until set so. */
TQ_API int32_t tq_patrn_defn_add(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_copy(tq_context* ctx, const char* source, const char* dest, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_patrn_defn_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Appends the definition to xml as an include "Pattern Analysis Def" (version "7.0"). */
TQ_API int32_t tq_patrn_defn_write(tq_context* ctx, tq_xmldoc* xml, int32_t index) TQ_NOEXCEPT;

/* ---- Gender analysis definitions --------------------------------------------------
 * Gender analysis definitions of the current locale, by index as datatypes
 * are (own then inherited; in edit mode depth x 256 + position). Texts cross
 * in the session encoding; names out TQ_NAME_MAX + terminator bytes, resource names
 * 4,096 + terminator. Positions out of range are -800. Every change, add,
 * copy, token add, delete and rearrange, and write needs edit mode. */
TQ_API int32_t tq_gender_defn_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_count_get_by_locale(tq_context* ctx, int32_t locale, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_name_get_by_index(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
/* The definition named "Name", else the one named "Gender" (found so, the
 * call leaves no message of the first name's absence). */
TQ_API int32_t tq_gender_defn_index_get_default(tq_context* ctx, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_comments_get(tq_context* ctx, int32_t index, tq_xmldoc** comments) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_comments_set(tq_context* ctx, int32_t index, tq_xmldoc* comments) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_layouts_get(tq_context* ctx, int32_t index, tq_xmldoc** layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_layouts_set(tq_context* ctx, int32_t index, tq_xmldoc* layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_incomplete_get(tq_context* ctx, int32_t index, uint32_t* incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_incomplete_set(tq_context* ctx, int32_t index, uint32_t incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_valid_get(tq_context* ctx, int32_t index, uint32_t* valid) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_valid_set(tq_context* ctx, int32_t index, uint32_t valid) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_valid_flag_info_get(tq_context* ctx, int32_t index, uint32_t* valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_valid_flag_info_set(tq_context* ctx, int32_t index, uint32_t valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_deprecated_info_get(tq_context* ctx, int32_t index, uint32_t* deprecated,
                                                  char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_deprecated_info_set(tq_context* ctx, int32_t index, uint32_t deprecated,
                                                  const char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_editable_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_datatype_index_get(tq_context* ctx, int32_t index, int32_t* dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_datatype_index_set(tq_context* ctx, int32_t index, int32_t dtype_index) TQ_NOEXCEPT;
/* Among the parse definitions of the gender definition's own locale (the
 * locale that holds it), which need not be the current one. */
TQ_API int32_t tq_gender_defn_parse_defn_index_get(tq_context* ctx, int32_t index,
                                                   int32_t* parse_defn_index) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_parse_defn_index_set(tq_context* ctx, int32_t index,
                                                   int32_t parse_defn_index) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_parsed_input_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_parsed_input_flag_set(tq_context* ctx, int32_t index, uint32_t flag) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_parse_defn_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
/* The named parse definition's tokens (in the gender definition's locale);
 * -708 when the gender definition names none. */
TQ_API int32_t tq_gender_defn_parse_defn_token_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_parse_defn_token_name_get(tq_context* ctx, int32_t index, int32_t token,
                                                        char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_parse_defn_token_key_get_by_name(tq_context* ctx, int32_t index, const char* name,
                                                               int32_t* key) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_chopper_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_chopper_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_normalization_regexlib_count_get(tq_context* ctx, int32_t index,
                                                               uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_normalization_regexlib_add(tq_context* ctx, int32_t index,
                                                         const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_normalization_regexlib_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_normalization_regexlib_name_get_by_index(tq_context* ctx, int32_t index, int32_t entry,
                                                                       char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_normalization_regexlib_name_set_by_index(tq_context* ctx, int32_t index, int32_t entry,
                                                                       const char* name) TQ_NOEXCEPT;
/* The single form: the first library (empty for none); the set leaves
 * only the named one (opened first; an empty name empties the list). */
TQ_API int32_t tq_gender_defn_normalization_regexlib_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_normalization_regexlib_name_set(tq_context* ctx, int32_t index,
                                                              const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_vocabulary_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_vocabulary_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_vocabulary_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_vocabulary_info_get_by_index(tq_context* ctx, int32_t index, int32_t vocab, char* name,
                                                           uint32_t* stop) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_vocabulary_info_set_by_index(tq_context* ctx, int32_t index, int32_t vocab,
                                                           const char* name, uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_vocabulary_add(tq_context* ctx, int32_t index, const char* name,
                                             uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_vocabulary_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_fuzzy_vocab_lookup_params_get(tq_context* ctx, int32_t index, uint32_t* enabled,
                                                            uint32_t* threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_fuzzy_vocab_lookup_params_set(tq_context* ctx, int32_t index, uint32_t enabled,
                                                            uint32_t threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_fuzzy_vocab_lookup_params_get_by_index(tq_context* ctx, int32_t index, int32_t vocab,
                                                                     uint32_t* enabled,
                                                                     uint32_t* threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_fuzzy_vocab_lookup_params_set_by_index(tq_context* ctx, int32_t index, int32_t vocab,
                                                                     uint32_t enabled,
                                                                     uint32_t threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_names_get(tq_context* ctx, const char* gender_defn, char** names,
                                              uint32_t* num_names) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_name_get(tq_context* ctx, int32_t index, int32_t token, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_name_get_by_key(tq_context* ctx, int32_t index, int32_t key,
                                                    char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_key_get_by_name(tq_context* ctx, int32_t index, const char* name,
                                                    int32_t* key) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_name_set(tq_context* ctx, int32_t index, int32_t token,
                                             const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_add(tq_context* ctx, int32_t index, int32_t* token_index) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_delete(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_rearrange(tq_context* ctx, int32_t index, const int32_t* order) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_automatic_uppercasing_get(tq_context* ctx, int32_t index, int32_t token,
                                                        uint32_t* auto_upper) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_automatic_uppercasing_set(tq_context* ctx, int32_t index, int32_t token,
                                                        uint32_t auto_upper) TQ_NOEXCEPT;
/* Gender values: value 4 bytes + terminator, description 1,024 +
 * terminator. The add refuses an empty value (-802), and a value longer
 * than 4 bytes or a description longer than 1,024. */
TQ_API int32_t tq_gender_defn_value_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_value_info_get(tq_context* ctx, int32_t index, int32_t value_index, char* value,
                                             char* desc, uint32_t* dflt_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_value_add(tq_context* ctx, int32_t index, const char* value, const char* desc,
                                        uint32_t dflt_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_values_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Per token: the stop flag; substring categories (category 80 bytes +
 * terminator, gender value 4 + terminator; the add refuses an empty one);
 * "Match Regexlibs" entries (library name 4,096 + terminator, gender value
 * 4 + terminator). The entry add and set open the library before anything
 * changes; delete_all always empties the list and returns the first
 * failure. */
TQ_API int32_t tq_gender_defn_token_stop_flag_get(tq_context* ctx, int32_t index, int32_t token,
                                                  uint32_t* stop_flag) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_stop_flag_set(tq_context* ctx, int32_t index, int32_t token,
                                                  uint32_t flag) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_category_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                       uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_category_info_get(tq_context* ctx, int32_t index, int32_t token,
                                                      int32_t cat_index, char* abbrev, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_category_add(tq_context* ctx, int32_t index, int32_t token, const char* abbrev,
                                                 const char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_categories_delete_all(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_regexlib_count_get(tq_context* ctx, int32_t index, int32_t token,
                                                       uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_regexlib_info_get(tq_context* ctx, int32_t index, int32_t token,
                                                      int32_t rlib_index, char* name, char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_regexlib_add(tq_context* ctx, int32_t index, int32_t token, const char* name,
                                                 const char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_regexlib_info_set(tq_context* ctx, int32_t index, int32_t token,
                                                      int32_t rlib_index, const char* name,
                                                      const char* value) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_token_regexlibs_delete_all(tq_context* ctx, int32_t index, int32_t token) TQ_NOEXCEPT;
/* A new definition in the current locale; not valid until set so. */
TQ_API int32_t tq_gender_defn_add(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_copy(tq_context* ctx, const char* source, const char* dest, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_gender_defn_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
/* Appends the definition to xml as an include "Gendorithm" (version "7.0"). */
TQ_API int32_t tq_gender_defn_write(tq_context* ctx, tq_xmldoc* xml, int32_t index) TQ_NOEXCEPT;

/* ---- N-gram profiles ------------------------------------------------------------
 * Counts of the character n-grams (runs of n code points) of texts, for
 * authoring tools; every call but the iterator's create and free needs edit
 * mode. Options: bit 0 keeps case (otherwise texts are uppercased with the
 * current locale's rules), bit 1 adds the start and end markers (code points
 * 2 and 3), bit 2 makes every run of white space one blank; the default is
 * 6, the default window size 3. At most 256 code points of a text are
 * profiled. An iterator walks its profile's n-grams in the order they were
 * first added; next gives the n-gram (1,028 bytes with the terminator,
 * session encoding) and its
 * count into data (a uint32_t), and -1 when done or when the profile was
 * cleared or freed since the iterator's init. */
typedef struct tq_ngram_profile tq_ngram_profile;
typedef struct tq_ngram_iterator tq_ngram_iterator;
TQ_API int32_t tq_ngram_profile_create(tq_context* ctx, tq_ngram_profile** profile) TQ_NOEXCEPT;
TQ_API int32_t tq_ngram_profile_free(tq_context* ctx, tq_ngram_profile* profile) TQ_NOEXCEPT;
TQ_API int32_t tq_ngram_profile_clear(tq_context* ctx, tq_ngram_profile* profile) TQ_NOEXCEPT;
TQ_API int32_t tq_ngram_profile_update(tq_context* ctx, tq_ngram_profile* profile, const char* data,
                                       uint32_t weight) TQ_NOEXCEPT;
TQ_API int32_t tq_ngram_profile_total_count_get(tq_context* ctx, tq_ngram_profile* profile,
                                                uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_ngram_profile_unique_count_get(tq_context* ctx, tq_ngram_profile* profile,
                                                 uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_ngram_iterator_create(tq_context* ctx, tq_ngram_iterator** iter) TQ_NOEXCEPT;
/* NULL is accepted. */
TQ_API int32_t tq_ngram_iterator_free(tq_context* ctx, tq_ngram_iterator* iter) TQ_NOEXCEPT;
TQ_API int32_t tq_ngram_iterator_init(tq_context* ctx, tq_ngram_profile* profile,
                                      tq_ngram_iterator* iter) TQ_NOEXCEPT;
TQ_API int32_t tq_ngram_iterator_next(tq_context* ctx, tq_ngram_iterator* iter, char* ngram,
                                      void* data) TQ_NOEXCEPT;
TQ_API int32_t tq_ngram_iterator_done(tq_context* ctx, tq_ngram_iterator* iter, uint32_t* done) TQ_NOEXCEPT;
TQ_API int32_t tq_ngram_profile_options_set(tq_context* ctx, tq_ngram_profile* profile,
                                            uint32_t options) TQ_NOEXCEPT;
TQ_API int32_t tq_ngram_profile_options_get(tq_context* ctx, tq_ngram_profile* profile,
                                            uint32_t* options) TQ_NOEXCEPT;
TQ_API int32_t tq_ngram_profile_window_size_set(tq_context* ctx, tq_ngram_profile* profile,
                                                uint32_t size) TQ_NOEXCEPT;

/* ---- Language guess scores -------------------------------------------------------
 * How well a value fits a language definition of the current locale, from 0
 * to 1000: the definition's n-gram model and its known pattern regex
 * libraries, blended by its scoring bias. The info (made by
 * tq_language_guess_info_init, freed by tq_language_guess_info_free, which
 * accepts NULL) records one score's steps; each score with an info replaces
 * what it held. Texts out take 1,028 bytes in the session encoding,
 * terminator included; -800 for an item index out of range. An input n-gram's weight is the sum of its
 * counts in the definition's training schemes, in edit mode only (0
 * otherwise). */
typedef struct tq_language_guess_info tq_language_guess_info;
TQ_API int32_t tq_language_guess_score(tq_context* ctx, const char* name, const char* data,
                                       int32_t* score) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_score_with_info(tq_context* ctx, const char* name, const char* data,
                                                 int32_t* score, tq_language_guess_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_score_by_index(tq_context* ctx, int32_t index, const char* data,
                                                int32_t* score) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_score_by_index_with_info(tq_context* ctx, int32_t index, const char* data,
                                                          int32_t* score,
                                                          tq_language_guess_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_init(tq_context* ctx, tq_language_guess_info** info) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_free(tq_context* ctx, tq_language_guess_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_preproc_regexlibs_count_get(tq_context* ctx, tq_language_guess_info* info,
                                                                  uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_preproc_info_get(tq_context* ctx, tq_language_guess_info* info,
                                                       int32_t index, char* result,
                                                       uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_any_preproc_regexlib_matched_get(tq_context* ctx,
                                                                       tq_language_guess_info* info,
                                                                       uint32_t* matched) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_cased_string_get(tq_context* ctx, tq_language_guess_info* info,
                                                       char* result) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_ngram_count_get(tq_context* ctx, tq_language_guess_info* info,
                                                      uint32_t* count) TQ_NOEXCEPT;
/* first_pos: the 1-based position of the n-gram among the cased text's code
 * points; 0 when it is not there, except that an n-gram ending in the end
 * marker counts from the end of the cased text. */
TQ_API int32_t tq_language_guess_info_input_ngram_info_get(tq_context* ctx, tq_language_guess_info* info,
                                                           int32_t index, char* ngram, uint32_t* first_pos,
                                                           uint32_t* frequency, uint32_t* weight) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_known_regexlib_count_get(tq_context* ctx, tq_language_guess_info* info,
                                                               uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_known_regexlib_info_get(tq_context* ctx, tq_language_guess_info* info,
                                                              int32_t index, char* regexlib, uint32_t* likelihood,
                                                              uint32_t* num_matches, double* score) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_ngram_raw_score_get(tq_context* ctx, tq_language_guess_info* info,
                                                          double* score) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_regex_raw_score_get(tq_context* ctx, tq_language_guess_info* info,
                                                          double* score) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_ngram_weighted_score_get(tq_context* ctx, tq_language_guess_info* info,
                                                               double* score) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_regex_weighted_score_get(tq_context* ctx, tq_language_guess_info* info,
                                                               double* score) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_ngram_bias_get(tq_context* ctx, tq_language_guess_info* info,
                                                     double* bias) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_regex_bias_get(tq_context* ctx, tq_language_guess_info* info,
                                                     double* bias) TQ_NOEXCEPT;
TQ_API int32_t tq_language_guess_info_regex_final_score_get(tq_context* ctx, tq_language_guess_info* info,
                                                            double* score) TQ_NOEXCEPT;

/* ---- Locale guessing --------------------------------------------------------------
 * Which of a list of locales a value (at most 1,024 bytes after conversion)
 * most likely belongs to, with the locale guess definition of that name (or
 * index in the current locale) that each candidate locale holds: every
 * candidate is scored from 0 to 1000 (language score, known pattern regex
 * coverage and guess patterns over the analysed words combined) with its
 * locale current. The first highest score above 0 and at least its minimum
 * (min_scores, read by the position among the candidates, may be NULL)
 * wins; a later equal score wins when it is the list's last locale.
 * Nothing won: 0xFFFFFFFF, or the list's last locale under force choice
 * (the definition's "Force Guess Choice", or the context's override while
 * set). A locale that is not loaded or lacks the definition is no
 * candidate, and leaves no message; the score forms score one locale (0
 * without the definition).
 * The guessed locale is always a requested one, also where the definition
 * is inherited from an ancestor. The name or index is looked up in the
 * current locale, whose definition gives the force choice and must be
 * valid: without a current locale (none made current, or another context
 * gave back its last load) the guess gives -707 and writes no result. Each
 * candidate is current while it is scored; afterwards the context's current
 * locale is the one it was, on a failure too. */
#define TQ_GUESS_NO_LOCALE 0xFFFFFFFFu
TQ_API int32_t tq_guess_locale(tq_context* ctx, const char* name, const char* data, const uint32_t* locales,
                               const uint32_t* min_scores, uint32_t count, uint32_t* guessed) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_locale_by_index(tq_context* ctx, int32_t index, const char* data,
                                        const uint32_t* locale_set, const uint32_t* min_scores, uint32_t count,
                                        uint32_t* guessed) TQ_NOEXCEPT;
/* The guess info records every candidate's scoring (see below); NULL: none. */
typedef struct tq_guess_info tq_guess_info;
TQ_API int32_t tq_guess_locale_with_info(tq_context* ctx, const char* name, const char* data,
                                         const uint32_t* locales, const uint32_t* min_scores, uint32_t count,
                                         uint32_t* guessed, tq_guess_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_locale_by_index_with_info(tq_context* ctx, int32_t index, const char* data,
                                                  const uint32_t* locale_set, const uint32_t* min_scores,
                                                  uint32_t count, uint32_t* guessed_locale,
                                                  tq_guess_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_locale_score(tq_context* ctx, const char* name, const char* data, uint32_t locale,
                                     uint32_t* score) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_locale_score_by_index(tq_context* ctx, int32_t index, const char* data, uint32_t locale,
                                              uint32_t* score) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_locale_score_with_info(tq_context* ctx, const char* name, const char* data,
                                               uint32_t locale, uint32_t* score, tq_guess_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_locale_score_by_index_with_info(tq_context* ctx, int32_t index, const char* data,
                                                        uint32_t locale, uint32_t* score,
                                                        tq_guess_info* info) TQ_NOEXCEPT;
/* The older names: no minimum scores. */
TQ_API int32_t tq_locale_guess(tq_context* ctx, const char* guess_defn_name, const char* data,
                               const uint32_t* locale_set, uint32_t count, uint32_t* guessed_locale) TQ_NOEXCEPT;
TQ_API int32_t tq_locale_guess_by_index(tq_context* ctx, int32_t index, const char* data,
                                        const uint32_t* locale_set, uint32_t count,
                                        uint32_t* guessed_locale) TQ_NOEXCEPT;
TQ_API int32_t tq_locale_score(tq_context* ctx, const char* guess_defn_name, const char* data, uint32_t locale,
                               uint32_t* score) TQ_NOEXCEPT;
TQ_API int32_t tq_locale_score_by_index(tq_context* ctx, int32_t index, const char* data, uint32_t locale,
                                        uint32_t* score) TQ_NOEXCEPT;
/* Force choice for this context: on for a value other than 0, off for 0,
 * until removed. */
TQ_API int32_t tq_guess_locale_force_choice_override_set(tq_context* ctx, uint32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_locale_force_choice_override_remove(tq_context* ctx) TQ_NOEXCEPT;

/* ---- Guess info -------------------------------------------------------------------
 * The record of one guess or score: per candidate ("pruned" locale, i) its
 * locale, the parts of its score, its language guess info and morph analyzer
 * info (owned by the guess info: do not free them), the known pattern regex
 * libraries (j), the chopped words, and per guess pattern tried (j) the
 * phrases (k) it covered: with parse solutions (s; solution type 1) or as
 * single words (type 2; solution getters give -700). A guess empties it
 * first. Free it before its context; tq_guess_info_free accepts NULL. Texts
 * out take 1,028 bytes in the session encoding, terminator included; -800
 * for an index out of range. Rules handed out are the caller's (tq_solution_rule_free). */
TQ_API int32_t tq_guess_info_init(tq_context* ctx, tq_guess_info** info) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_free(tq_context* ctx, tq_guess_info* info) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_pruned_locales_count_get(tq_context* ctx, tq_guess_info* info,
                                                      uint32_t* num_locales) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_pruned_locale_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                               uint32_t* locale) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_language_guess_info_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                                     tq_language_guess_info** lang_info) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_morph_analyzer_info_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                                     tq_morph_analyzer_info** ma_info) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_chopped_word_list_count_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                                         uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_chopped_word_get(tq_context* ctx, tq_guess_info* info, uint32_t i, uint32_t w,
                                              char* word) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_score_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                       double* score) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_language_guess_score_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                                      double* score) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_known_regexlib_score_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                                      double* score) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_known_vocab_score_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                                   double* score) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_pattern_score_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                               double* score) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_known_regexlib_count_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                                      uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_known_regexlib_info_get(tq_context* ctx, tq_guess_info* info, uint32_t i, uint32_t j,
                                                     char* name, uint32_t* likelihood, uint32_t* num_matches,
                                                     double* score) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_pattern_count_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                               uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_pattern_info_get(tq_context* ctx, tq_guess_info* info, uint32_t i, uint32_t j,
                                              uint32_t* matched, uint32_t* stop, uint32_t* sol_type,
                                              double* score) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_pattern_phrase_count_get(tq_context* ctx, tq_guess_info* info, uint32_t i, uint32_t j,
                                                      uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_pattern_phrase_string_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                                       uint32_t j, uint32_t k, char* str) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_pattern_phrase_solution_count_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                                               uint32_t j, uint32_t k, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_pattern_phrase_solution_score_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                                               uint32_t j, uint32_t k, uint32_t s,
                                                               uint32_t* score) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_pattern_phrase_solution_rule_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                                              uint32_t j, uint32_t k, uint32_t s,
                                                              tq_solution_rule** rule) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_info_pattern_best_phrase_solution_rule_get(tq_context* ctx, tq_guess_info* info,
                                                                   uint32_t i, uint32_t j, uint32_t k,
                                                                   tq_solution_rule** rule) TQ_NOEXCEPT;
/* Always 0. */
TQ_API int32_t tq_guess_info_discarded_get(tq_context* ctx, tq_guess_info* info, uint32_t i,
                                           uint32_t* discarded) TQ_NOEXCEPT;

/* ---- Language definitions ------------------------------------------------------
 * Language definitions of the current locale, by index as datatypes are (own
 * then inherited; in edit mode depth x 256 + position). Texts cross in the
 * session encoding; resource names go out in 4,096 bytes + terminator. Every
 * change, add, copy, train and write needs edit mode; unload does not.
 * Window sizes are 2..4, scoring biases 0..6 ("Scheme Only" .. "Regex
 * Only"), likelihoods 0..5 ("Very High" .. "Never"); other values are
 * refused with -802, as is an empty scheme name. Options: bit 0 case
 * sensitive, bit 1 bookends, bit 2 squash white space; any other bit is
 * refused with -802 (no file could keep it). Changing the training
 * schemes, the window size or the case-sensitive bit leaves the model
 * untrained: the next score in edit mode retrains it. */
TQ_API int32_t tq_lang_defn_name_get_by_index(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_count_get_by_locale(tq_context* ctx, int32_t locale, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_deprecated_info_get(tq_context* ctx, int32_t index, uint32_t* deprecated, char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_deprecated_info_set(tq_context* ctx, int32_t index, uint32_t deprecated, const char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_datatype_index_get(tq_context* ctx, int32_t index, int32_t* dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_datatype_index_set(tq_context* ctx, int32_t index, int32_t dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_comments_get(tq_context* ctx, int32_t index, tq_xmldoc** comments) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_comments_set(tq_context* ctx, int32_t index, tq_xmldoc* comments) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_layouts_get(tq_context* ctx, int32_t index, tq_xmldoc** layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_layouts_set(tq_context* ctx, int32_t index, tq_xmldoc* layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_incomplete_get(tq_context* ctx, int32_t index, uint32_t* incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_incomplete_set(tq_context* ctx, int32_t index, uint32_t incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_valid_get(tq_context* ctx, int32_t index, uint32_t* valid) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_valid_set(tq_context* ctx, int32_t index, uint32_t valid) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_valid_flag_info_get(tq_context* ctx, int32_t index, uint32_t* valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_valid_flag_info_set(tq_context* ctx, int32_t index, uint32_t valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_editable_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_preprocessing_regexlib_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_preprocessing_regexlib_name_get_by_index(tq_context* ctx, int32_t index, int32_t entry, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_preprocessing_regexlib_name_set_by_index(tq_context* ctx, int32_t index, int32_t entry, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_preprocessing_regexlib_add(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_preprocessing_regexlib_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_training_scheme_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_training_scheme_info_get(tq_context* ctx, int32_t index, uint32_t item, char* sch_name) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_training_scheme_info_set(tq_context* ctx, int32_t index, uint32_t item, const char* sch_name) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_training_schemes_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_training_scheme_add(tq_context* ctx, int32_t index, const char* sch_name) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_train(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_known_ptrn_rgx_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_known_ptrn_rgx_info_get(tq_context* ctx, int32_t index, uint32_t item, uint32_t* likelihood, char* rlib_name) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_known_ptrn_rgx_delete(tq_context* ctx, int32_t index, uint32_t item) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_known_ptrn_rgx_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_known_ptrn_rgx_info_set(tq_context* ctx, int32_t index, uint32_t item, uint32_t likelihood, const char* rlib_name) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_known_ptrn_rgx_add(tq_context* ctx, int32_t index, uint32_t likelihood, const char* rlib_name) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_add(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_copy(tq_context* ctx, const char* sname, const char* dname, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_window_size_get(tq_context* ctx, int32_t index, uint32_t* size) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_window_size_set(tq_context* ctx, int32_t index, uint32_t size) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_scoring_bias_get(tq_context* ctx, int32_t index, uint32_t* bias) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_scoring_bias_set(tq_context* ctx, int32_t index, uint32_t bias) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_options_get(tq_context* ctx, int32_t index, uint32_t* options) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_options_set(tq_context* ctx, int32_t index, uint32_t options) TQ_NOEXCEPT;
TQ_API int32_t tq_lang_defn_write(tq_context* ctx, tq_xmldoc* xml, int32_t index) TQ_NOEXCEPT;


/* ---- Locale guess definitions ------------------------------------------------
 * Locale guess definitions of the current locale, by index as the other
 * definition kinds are (own first, then inherited; in edit mode depth x 256
 * + position). Every change needs edit mode (-501), except unload. Texts are
 * in the session encoding; positions past a list give -800. A definition
 * has a format level: 0 for the older "Guessorithm" form, 8 for the
 * "Guessorithm V8" form in which patterns, categorization regex libraries and
 * known pattern regex library likelihoods are written. version_get gives the
 * level; touch and most changes raise it to 8 (not force_guess_choice_set,
 * known_word_vocab_name_set, automatic_uppercasing_set, norm_rgx_delete_all).
 * Likelihoods: known pattern regex libraries 0 "Very High" .. 5 "Never";
 * patterns 0 "Always" .. 6 "Never"; other values are refused (-802), as is
 * a pattern mode other than 0 (Element) and 1 (Phrase). A pattern's grammar
 * (an empty name for none) must hold both its categories (-802); a refused
 * pattern leaves the list unchanged. The language definition index is -1
 * or a language definition of the same locale. Parse option getters give
 * the effective value (the pattern's own once its override is on, else the
 * context default); setting a value switches the override on, copying the
 * context defaults in first. implemented_for_locale always answers 1. */
TQ_API int32_t tq_guess_defn_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_count_get_by_locale(tq_context* ctx, int32_t locale, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_index_get_by_name(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_name_get_by_index(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_comments_get(tq_context* ctx, int32_t index, tq_xmldoc** comments) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_comments_set(tq_context* ctx, int32_t index, tq_xmldoc* comments) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_owner_get(tq_context* ctx, int32_t index, char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_owner_set(tq_context* ctx, int32_t index, const char* owner) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_layouts_get(tq_context* ctx, int32_t index, tq_xmldoc** layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_layouts_set(tq_context* ctx, int32_t index, tq_xmldoc* layouts) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_incomplete_get(tq_context* ctx, int32_t index, uint32_t* incomplete) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_incomplete_set(tq_context* ctx, int32_t index, uint32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_deprecated_info_get(tq_context* ctx, int32_t index, uint32_t* deprecated,
                                                 char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_deprecated_info_set(tq_context* ctx, int32_t index, uint32_t value,
                                                 const char* replacement) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_valid_get(tq_context* ctx, int32_t index, uint32_t* valid) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_valid_set(tq_context* ctx, int32_t index, uint32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_valid_flag_info_get(tq_context* ctx, int32_t index, uint32_t* valid_info) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_valid_flag_info_set(tq_context* ctx, int32_t index, uint32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_datatype_index_get(tq_context* ctx, int32_t index, int32_t* dtype_index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_datatype_index_set(tq_context* ctx, int32_t index, int32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_editable_flag_get(tq_context* ctx, int32_t index, uint32_t* flag) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_automatic_uppercasing_get(tq_context* ctx, int32_t index,
                                                       uint32_t* auto_upper) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_automatic_uppercasing_set(tq_context* ctx, int32_t index, uint32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_chopper_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_chopper_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_norm_rgx_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_norm_rgx_name_get(tq_context* ctx, int32_t index, char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_norm_rgx_name_get_by_index(tq_context* ctx, int32_t index, int32_t position,
                                                        char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_norm_rgx_name_set(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_norm_rgx_name_set_by_index(tq_context* ctx, int32_t index, int32_t position,
                                                        const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_norm_rgx_add(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_norm_rgx_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_parse_vocab_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_parse_vocab_info_get(tq_context* ctx, int32_t index, int32_t position, char* name,
                                                  uint32_t* stop) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_parse_vocab_info_set(tq_context* ctx, int32_t index, int32_t position, const char* name,
                                                  uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_parse_vocab_add(tq_context* ctx, int32_t index, const char* name,
                                             uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_parse_vocab_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_fuzzy_vocab_lookup_params_get(tq_context* ctx, int32_t index, uint32_t* enabled,
                                                           uint32_t* threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_fuzzy_vocab_lookup_params_get_by_index(tq_context* ctx, int32_t index, int32_t position,
                                                                    uint32_t* enabled,
                                                                    uint32_t* threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_fuzzy_vocab_lookup_params_set(tq_context* ctx, int32_t index, uint32_t enabled,
                                                           uint32_t threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_fuzzy_vocab_lookup_params_set_by_index(tq_context* ctx, int32_t index, int32_t position,
                                                                    uint32_t enabled, uint32_t threshold) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_default_category_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_default_category_info_get(tq_context* ctx, int32_t index, int32_t position,
                                                       char* category, uint32_t* likelihood) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_default_category_info_set(tq_context* ctx, int32_t index, int32_t position,
                                                       const char* category, uint32_t likelihood) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_default_category_add(tq_context* ctx, int32_t index, int32_t* cat_index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_default_category_delete(tq_context* ctx, int32_t index, int32_t position) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_default_categories_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_add(tq_context* ctx, const char* name, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_copy(tq_context* ctx, const char* sname, const char* dname, int32_t* index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_unload(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_write(tq_context* ctx, tq_xmldoc* xml, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_implemented_for_locale(tq_context* ctx, uint32_t locale, uint32_t defn_kind,
                                                    uint32_t* imp) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_version_get(tq_context* ctx, int32_t index, uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_touch(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_word_analysis_enabled_get(tq_context* ctx, int32_t index, uint32_t* enabled) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_word_analysis_enabled_set(tq_context* ctx, int32_t index, uint32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_force_guess_choice_get(tq_context* ctx, int32_t index, uint32_t* force) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_force_guess_choice_set(tq_context* ctx, int32_t index, uint32_t value) TQ_NOEXCEPT;
/* Among the language definitions of the guess definition's own locale (the
 * locale that holds it), which need not be the current one. */
TQ_API int32_t tq_guess_defn_lang_defn_index_get(tq_context* ctx, int32_t index, int32_t* lang_idx) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_lang_defn_index_set(tq_context* ctx, int32_t index, int32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_known_word_vocab_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_known_word_vocab_name_get(tq_context* ctx, int32_t index, uint32_t position,
                                                       char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_known_word_vocab_name_set(tq_context* ctx, int32_t index, uint32_t position,
                                                       const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_known_word_vocab_add(tq_context* ctx, int32_t index, const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_known_word_vocab_delete(tq_context* ctx, int32_t index, uint32_t position) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_known_word_vocab_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_known_ptrn_rgx_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_known_ptrn_rgx_info_get(tq_context* ctx, int32_t index, uint32_t position,
                                                     char* rlib_name, uint32_t* likelihood) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_known_ptrn_rgx_info_set(tq_context* ctx, int32_t index, uint32_t position,
                                                     uint32_t likelihood, const char* rlib_name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_known_ptrn_rgx_add(tq_context* ctx, int32_t index, uint32_t likelihood,
                                                const char* rlib_name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_known_ptrn_rgx_delete(tq_context* ctx, int32_t index, uint32_t position) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_known_ptrn_rgx_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_cat_regexlib_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_cat_regexlib_info_get(tq_context* ctx, int32_t index, uint32_t position, char* abbrev,
                                                   uint32_t* likelihood, char* rlib_name, uint32_t* stop) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_cat_regexlib_info_set(tq_context* ctx, int32_t index, uint32_t position,
                                                   const char* cat_abbr, uint32_t likelihood, const char* rlib_name,
                                                   uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_cat_regexlib_add(tq_context* ctx, int32_t index, const char* cat_abbr,
                                              uint32_t likelihood, const char* rlib_name, uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_cat_regexlib_delete(tq_context* ctx, int32_t index, uint32_t position) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_cat_regexlib_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_pattern_count_get(tq_context* ctx, int32_t index, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_pattern_info_get(tq_context* ctx, int32_t index, uint32_t position, char* root_cat,
                                              char* sought_cat, uint32_t* mode, uint32_t* likelihood,
                                              uint32_t* stop) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_pattern_add(tq_context* ctx, int32_t index, const char* grammar_name,
                                         const char* root_cat, const char* sought_cat, uint32_t mode,
                                         uint32_t likelihood, uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_pattern_info_set(tq_context* ctx, int32_t index, uint32_t position,
                                              const char* grammar_name, const char* root_cat, const char* sought_cat,
                                              uint32_t mode, uint32_t likelihood, uint32_t stop) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_patterns_delete_all(tq_context* ctx, int32_t index) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_grammar_name_get(tq_context* ctx, int32_t index, uint32_t position,
                                              char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_grammar_name_set(tq_context* ctx, int32_t index, uint32_t position,
                                              const char* name) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_opt_params_override_get(tq_context* ctx, int32_t index, uint32_t position,
                                                     uint32_t* value) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_opt_params_resource_limit_get(tq_context* ctx, int32_t index, uint32_t position,
                                                           uint32_t* limit) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_opt_params_scoring_levels_get(tq_context* ctx, int32_t index, uint32_t position,
                                                           uint32_t* levels) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_opt_params_input_length_get(tq_context* ctx, int32_t index, uint32_t position,
                                                         uint32_t* length) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_opt_params_override_set(tq_context* ctx, int32_t index, uint32_t position,
                                                     uint32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_opt_params_resource_limit_set(tq_context* ctx, int32_t index, uint32_t position,
                                                           uint32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_opt_params_scoring_levels_set(tq_context* ctx, int32_t index, uint32_t position,
                                                           uint32_t value) TQ_NOEXCEPT;
TQ_API int32_t tq_guess_defn_opt_params_input_length_set(tq_context* ctx, int32_t index, uint32_t position,
                                                         uint32_t value) TQ_NOEXCEPT;

/* ---- Match codes: multicodes ------------------------------------------------
 * Several match codes for one value: one per token combination rule of the
 * match definition that applies to the value at the sensitivity (its range
 * holds the sensitivity and its conditions on the tokens' word categories
 * hold), in rule order, then the default code (the definition's own
 * arrangement of its tokens, when its "Include Default" is set). A code equal
 * to one already written is dropped. Each code comes with a score: the rule's
 * "Weight", 100.0 for the default code.
 *
 * Codes go into a block made for the definition by
 * tq_match_multicode_output_create: the handle is the block's first entry,
 * and the block holds one entry per rule of the definition at creation, and
 * one more. Entries are read directly: block[k] for k below the count the
 * call gives in num. An entry holds the code as UTF-8 text (terminated,
 * encoded as tq_match_encode does) at offset 0 and the score (an IEEE-754
 * double) at offset 1,032; an entry is 1,040 bytes. Entries from the count on
 * hold leftovers (the '$' pre-fill or a dropped repeat). A block belongs to
 * its definition: one made before rules were added to the definition is
 * refused (-802); make a new one. Only blocks made by
 * tq_match_multicode_output_create may be passed.
 *
 * The operations take one sensitivity (one block, one count: matchcodes and
 * num are arrays of one) or, the multiple_sens forms, count sensitivities
 * with count blocks and count counts. No call leaves stale codes: when the
 * call starts every entry's code of each block is made empty (score 0.0)
 * and each count 0; once the definition is known every block is pre-filled:
 * each entry's code is the code length x 4 (at most 1,024) '$' characters,
 * encoded, with score 0.0. A failed call holds the one or the other.
 *
 * Results as tq_match's: a negative code; else 102 for a value cut to
 * 1,024 bytes; else a positive result of
 * converting the input (116); else 101 when the value's parse found no
 * solution, and the first entry of each block then holds the whole-value
 * code (as tq_match_exact makes it, in the session encoding) with score 0.0
 * and a count of 1; else 0. Other codes are not converted: they are UTF-8,
 * which every session encoding keeps for codes made of ASCII characters.
 * The parsed forms take the caller's tokens (at most TQ_PARSE_TOKENS, -802
 * beyond; an index outside 0..31 is ignored) and need a definition that
 * allows parsed input (-702); they hold the write hold on the knowledge base
 * while they run, and give 0 or the last positive conversion result
 * (tq_match_multiple_sens_parsed_multicode: 0, or 102 for a token value
 * cut to 1,024 bytes). With a match info (the
 * _with_info forms; NULL for none) every step of the run is recorded in it,
 * per rule slot (the rules, then the default). */
#define TQ_MATCH_MULTICODE_TEXT_SIZE 1032
typedef struct tq_match_multicode_entry {
  char code[TQ_MATCH_MULTICODE_TEXT_SIZE];
  double score;
} tq_match_multicode_entry;
struct tq_match_info;
TQ_API int32_t tq_match_multicode(tq_context* ctx, const char* match_defn, uint32_t sensitivity, const char* data,
                                  tq_match_multicode_entry* const* matchcodes, uint32_t* num) TQ_NOEXCEPT;
TQ_API int32_t tq_match_with_info_multicode(tq_context* ctx, const char* match_defn, uint32_t sensitivity,
                                            const char* data, tq_match_multicode_entry* const* matchcodes,
                                            uint32_t* num, struct tq_match_info* match_info) TQ_NOEXCEPT;
TQ_API int32_t tq_match_by_index_multicode(tq_context* ctx, int32_t index, uint32_t sensitivity, const char* data,
                                           tq_match_multicode_entry* const* matchcodes, uint32_t* num) TQ_NOEXCEPT;
TQ_API int32_t tq_match_by_index_with_info_multicode(tq_context* ctx, int32_t index, uint32_t sensitivity,
                                                     const char* data, tq_match_multicode_entry* const* matchcodes,
                                                     uint32_t* num, struct tq_match_info* match_info) TQ_NOEXCEPT;
TQ_API int32_t tq_match_multiple_sens_multicode(tq_context* ctx, const char* match_defn,
                                                const uint32_t* sensitivities, uint32_t count, const char* data,
                                                tq_match_multicode_entry* const* matchcodes,
                                                uint32_t* num) TQ_NOEXCEPT;
TQ_API int32_t tq_match_multiple_sens_by_index_multicode(tq_context* ctx, int32_t index,
                                                         const uint32_t* sensitivities, uint32_t count,
                                                         const char* data,
                                                         tq_match_multicode_entry* const* matchcodes,
                                                         uint32_t* num) TQ_NOEXCEPT;
TQ_API int32_t tq_match_parsed_multicode(tq_context* ctx, const char* match_defn, uint32_t sensitivity,
                                         const tq_parse_token* input_array, uint32_t num_tokens,
                                         tq_match_multicode_entry* const* matchcodes, uint32_t* num) TQ_NOEXCEPT;
TQ_API int32_t tq_match_parsed_with_info_multicode(tq_context* ctx, const char* match_defn, uint32_t sensitivity,
                                                   const tq_parse_token* input_array, uint32_t num_tokens,
                                                   tq_match_multicode_entry* const* matchcodes, uint32_t* num,
                                                   struct tq_match_info* match_info) TQ_NOEXCEPT;
TQ_API int32_t tq_match_parsed_by_index_multicode(tq_context* ctx, int32_t index, uint32_t sensitivity,
                                                  const tq_parse_token* input_array, uint32_t num_tokens,
                                                  tq_match_multicode_entry* const* matchcodes,
                                                  uint32_t* num) TQ_NOEXCEPT;
TQ_API int32_t tq_match_multiple_sens_parsed_multicode(tq_context* ctx, const char* match_defn,
                                                       const uint32_t* sensitivities, uint32_t count,
                                                       const tq_parse_token* token_array, uint32_t num_tokens,
                                                       tq_match_multicode_entry* const* matchcodes,
                                                       uint32_t* num) TQ_NOEXCEPT;
TQ_API int32_t tq_match_multiple_sens_parsed_by_index_multicode(tq_context* ctx, int32_t index,
                                                                const uint32_t* sensitivities, uint32_t count,
                                                                const tq_parse_token* token_array,
                                                                uint32_t num_tokens,
                                                                tq_match_multicode_entry* const* matchcodes,
                                                                uint32_t* num) TQ_NOEXCEPT;
/* A block for the match definition (by name, current locale): one entry per
 * combination rule it holds now, and one more. *output := NULL first; -600
 * when it cannot be allocated. tq_match_multicode_output_destroy frees a
 * block (NULL is accepted). */
TQ_API int32_t tq_match_multicode_output_create(tq_context* ctx, const char* match_defn,
                                                tq_match_multicode_entry** output) TQ_NOEXCEPT;
TQ_API int32_t tq_match_multicode_output_destroy(tq_context* ctx, tq_match_multicode_entry* output) TQ_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* TQ_H */

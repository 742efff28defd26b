/*
 * tq.h - the public interface of the data-quality engine (libtq).
 *
 * Every function returns a result code (int32_t): 0 success, negative
 * failure, positive success with a condition (a warning). Out-values go
 * through pointer arguments. Text crosses the interface in the context's
 * session encoding (ISO-8859-1 by default); output buffers must hold the
 * stated maximum plus one terminator of the session encoding (two bytes for
 * the UCS-2 encodings). Failures are recorded in the context's error list,
 * which every call clears on entry; read it with tq_error_info_get.
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

/* The per-caller engine object; opaque. */
typedef struct tq_context tq_context;

/* ---- Result codes ------------------------------------------------------ */
#define TQ_OK 0
#define TQ_ERR_NULL_CONTEXT (-100)
#define TQ_ERR_MSG_LOCALE (-101)
#define TQ_ERR_COMPILED_VOCAB_SHORT (-200)
#define TQ_ERR_INVALID_CONTENT (-300)
#define TQ_ERR_NOTHING_TO_DO (-301)
#define TQ_ERR_FILE_OPEN (-400)
#define TQ_ERR_FILE_LOCKED (-401)
#define TQ_ERR_FILE_WRITE (-402)
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
#define TQ_ERR_INVALID_CHAR (-10000)

/* Warnings (positive results). */
#define TQ_WARN_ALREADY_REGISTERED 100
#define TQ_WARN_NO_SOLUTION 101
#define TQ_WARN_LIMIT_REACHED 102
#define TQ_WARN_OUTPUT_EQUALS_INPUT 103
#define TQ_WARN_LOCALE_PROBLEMS 104
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

/* ---- Option word bits (tq_options_set; the default word is 1) ---------- */
#define TQ_OPT_NO_LOCK_FILES 0x10000u
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

/* ---- Context life cycle, paths, options, version ------------------------ */

/* Opens a context on the knowledge-base root (NULL or "" for none). The root
 * is read in encoding 0 (ISO-8859-1); UTF-8 callers pass NULL, set the
 * session encoding and then call tq_zel_path_set. */
TQ_API int32_t tq_init(tq_context** out, const char* root) TQ_NOEXCEPT;
/* As tq_init, for programs that author the knowledge base. */
TQ_API int32_t tq_init_edit_mode(tq_context** out, const char* root) TQ_NOEXCEPT;
/* A new context sharing the loaded knowledge of ctx (not for edit mode). */
TQ_API int32_t tq_clone(tq_context* ctx, tq_context** result) TQ_NOEXCEPT;
TQ_API int32_t tq_close(tq_context* ctx) TQ_NOEXCEPT;
/* Sets the root; the search path becomes its eight sub-folders. */
TQ_API int32_t tq_zel_path_set(tq_context* ctx, const char* root) TQ_NOEXCEPT;
/* Replaces the search path by a ';'-separated list of directories. */
TQ_API int32_t tq_path_set(tq_context* ctx, const char* path) TQ_NOEXCEPT;
/* The search path joined with ';' into buffer; size counts every byte the
 * buffer holds, terminator included (at most TQ_PATH_MAX + terminator). */
TQ_API int32_t tq_path_get(tq_context* ctx, char* buffer, uint32_t size) TQ_NOEXCEPT;
/* The root into path (TQ_PATH_MAX + terminator bytes). */
TQ_API int32_t tq_root_path_get(tq_context* ctx, char* path) TQ_NOEXCEPT;
TQ_API uint32_t tq_options_get(tq_context* ctx) TQ_NOEXCEPT;
/* Replaces the option word; returns the previous one. */
TQ_API uint32_t tq_options_set(tq_context* ctx, uint32_t options) TQ_NOEXCEPT;
/* Returns 2304 (version 9.0 as major << 8 | minor); writes the version text
 * (at most TQ_VERSION_TEXT_MAX bytes and the terminator) when buffer is not NULL. */
TQ_API int32_t tq_version_get(char* buffer) TQ_NOEXCEPT;

/* ---- Errors ------------------------------------------------------------ */

/* The last error of the previous call: its code and text (TQ_ERROR_TEXT_MAX
 * + terminator bytes). */
TQ_API int32_t tq_error_info_get(tq_context* ctx, int32_t* error_code, char* error_string) TQ_NOEXCEPT;
TQ_API int32_t tq_error_info_get_by_index(tq_context* ctx, uint32_t index, int32_t* error_code,
                                          char* error_string) TQ_NOEXCEPT;
TQ_API int32_t tq_error_count_get(tq_context* ctx, uint32_t* count) TQ_NOEXCEPT;
TQ_API int32_t tq_error_allow_msgs_set(tq_context* ctx, uint32_t allow) TQ_NOEXCEPT;
TQ_API int32_t tq_error_allow_msgs_get(tq_context* ctx, uint32_t* allow) TQ_NOEXCEPT;
/* 1 for -100, -200 and -600, else 0. */
TQ_API uint32_t tq_error_is_critical(int32_t code) TQ_NOEXCEPT;

/* ---- Session encoding --------------------------------------------------- */

TQ_API int32_t tq_session_encoding_get(tq_context* ctx, uint32_t* enc) TQ_NOEXCEPT;
TQ_API int32_t tq_session_encoding_set(tq_context* ctx, uint32_t enc) TQ_NOEXCEPT;
/* The session encoding's name, in the session encoding (TQ_ENCODING_NAME_MAX
 * + terminator bytes). */
TQ_API int32_t tq_session_encoding_name_get(tq_context* ctx, char* name) TQ_NOEXCEPT;
/* The id of an encoding by its exact name; -1 (and *enc = 0xFFFFFFFF) when unknown. */
TQ_API int32_t tq_encoding_get_by_name(tq_context* ctx, const char* name, uint32_t* enc) TQ_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* TQ_H */

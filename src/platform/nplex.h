// A small line lexer for plain text files such as the knowledge base's meta
// file: it delivers a file line by line and splits a line into the tokens
// between white space.
#pragma once

#include <cstdint>

struct np_lex_state;
struct np_fio_file;

// Statuses.
inline constexpr int32_t kNpLexOk = 0;
inline constexpr int32_t kNpLexNoMemory = 1;
inline constexpr int32_t kNpLexOpenFailed = 2;  // the file cannot be opened
inline constexpr int32_t kNpLexEnd = 3;         // no line left
inline constexpr int32_t kNpLexReadFailed = 4;
inline constexpr int32_t kNpLexLineTooLong = 5;
inline constexpr int32_t kNpLexBadArgument = 9;

// Longest line delivered, in bytes; a longer one gives kNpLexLineTooLong.
inline constexpr uint32_t kNpLexLineMax = 65536;

// Opens path for reading (taking no lock on it).
int32_t np_lex_init(np_lex_state** state, const char* path);
// Reads a file opened already; np_lex_clean leaves it open.
int32_t np_lex_init_file(np_lex_state** state, np_fio_file* file);
// The next line, without its line end ("\n" or "\r\n"), terminated.
// *line stays valid until the next call or np_lex_clean. flags must be 0.
int32_t np_lex_line(np_lex_state* state, uint32_t flags, const char** line, uint32_t* length);
// Splits length bytes of a line at blanks, tabs, carriage returns, line
// feeds, vertical tabs and form feeds. *tokens is one heap block holding
// the array of *count terminated tokens (and a NULL after them); free it
// with np_lex_tokens_free. A line without tokens gives count 0.
int32_t np_lex_split(const char* line, uint32_t length, char*** tokens, uint32_t* count);
void np_lex_tokens_free(char** tokens);
// Closes the file and frees the state; NULL is ignored.
void np_lex_clean(np_lex_state* state);
// A text naming a status.
const char* np_lex_status_text(int32_t status);

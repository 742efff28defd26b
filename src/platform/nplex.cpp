#include "platform/nplex.h"

#include <cstdlib>
#include <cstring>

#include "platform/npfio.h"
#include "platform/npmem.h"

struct np_lex_state {
  np_fio_handle file;
  bool owns_file;      // opened by np_lex_init, closed by np_lex_clean
  char* line;          // the current line, heap
  uint32_t capacity;   // bytes of line
  uint32_t pos;        // next byte of buf
  uint32_t len;        // bytes in buf
  char buf[4096];
};

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

constexpr int kByteEnd = -1;
constexpr int kByteFailed = -2;

// The next byte of the file, kByteEnd at its end, kByteFailed when a read
// fails.
int next_byte(np_lex_state* s) {
  if (s->pos == s->len) {
    int32_t n = np_fio_getb(s->file, s->buf, sizeof s->buf);
    if (n < 0) return kByteFailed;
    if (n == 0) return kByteEnd;
    s->pos = 0;
    s->len = static_cast<uint32_t>(n);
  }
  return static_cast<unsigned char>(s->buf[s->pos++]);
}

int32_t state_make(np_lex_state** state, np_fio_handle file, bool owns) {
  auto* s = static_cast<np_lex_state*>(np_calloc(1, sizeof(np_lex_state)));
  if (s == nullptr) return kNpLexNoMemory;
  s->file = file;
  s->owns_file = owns;
  *state = s;
  return kNpLexOk;
}

}  // namespace

int32_t np_lex_init(np_lex_state** state, const char* path) {
  if (state == nullptr) return kNpLexBadArgument;
  *state = nullptr;
  if (path == nullptr || path[0] == '\0') return kNpLexOpenFailed;
  np_fio_handle file = nullptr;
  int32_t st = np_fio_open(path, kNpFioRead | kNpFioNoLock, &file);
  if (st == kNpFioNoMemory) return kNpLexNoMemory;
  if (st != kNpFioOk) return kNpLexOpenFailed;
  st = state_make(state, file, true);
  if (st != kNpLexOk) np_fio_close(file);
  return st;
}

int32_t np_lex_init_file(np_lex_state** state, np_fio_handle file) {
  if (state == nullptr) return kNpLexBadArgument;
  *state = nullptr;
  if (file == nullptr) return kNpLexBadArgument;
  return state_make(state, file, false);
}

int32_t np_lex_line(np_lex_state* state, uint32_t flags, const char** line, uint32_t* length) {
  if (state == nullptr || line == nullptr || length == nullptr || flags != 0) return kNpLexBadArgument;
  *line = nullptr;
  *length = 0;
  uint32_t n = 0;
  bool any = false;
  for (;;) {
    int c = next_byte(state);
    if (c == kByteFailed) return kNpLexReadFailed;
    if (c == kByteEnd) {
      if (!any) return kNpLexEnd;
      break;
    }
    any = true;
    if (c == '\n') break;
    if (n + 1 >= state->capacity) {
      if (state->capacity >= kNpLexLineMax + 1) return kNpLexLineTooLong;
      uint32_t grown = state->capacity == 0 ? 256 : state->capacity * 2;
      if (grown > kNpLexLineMax + 1) grown = kNpLexLineMax + 1;
      auto* bigger = static_cast<char*>(np_realloc(state->line, grown));
      if (bigger == nullptr) return kNpLexNoMemory;
      state->line = bigger;
      state->capacity = grown;
    }
    state->line[n++] = static_cast<char>(c);
  }
  if (n > 0 && state->line[n - 1] == '\r') --n;
  if (state->line == nullptr) {
    // An empty line before anything was read: keep a buffer for it.
    state->line = static_cast<char*>(np_malloc(256));
    if (state->line == nullptr) return kNpLexNoMemory;
    state->capacity = 256;
  }
  state->line[n] = '\0';
  *line = state->line;
  *length = n;
  return kNpLexOk;
}

int32_t np_lex_split(const char* line, uint32_t length, char*** tokens, uint32_t* count) {
  if (tokens == nullptr || count == nullptr) return kNpLexBadArgument;
  *tokens = nullptr;
  *count = 0;
  if (line == nullptr && length > 0) return kNpLexBadArgument;
  uint32_t found = 0;
  for (uint32_t i = 0; i < length;) {
    while (i < length && is_blank(line[i])) ++i;
    if (i == length) break;
    ++found;
    while (i < length && !is_blank(line[i])) ++i;
  }
  // One block: the pointer array with a NULL after it, then the texts, each
  // no longer than the line and terminated.
  size_t pointers = (static_cast<size_t>(found) + 1) * sizeof(char*);
  auto* block = static_cast<char*>(np_malloc(pointers + length + found + 1));
  if (block == nullptr) return kNpLexNoMemory;
  auto** array = reinterpret_cast<char**>(block);
  char* text = block + pointers;
  uint32_t k = 0;
  for (uint32_t i = 0; i < length;) {
    while (i < length && is_blank(line[i])) ++i;
    if (i == length) break;
    uint32_t start = i;
    while (i < length && !is_blank(line[i])) ++i;
    array[k++] = text;
    std::memcpy(text, line + start, i - start);
    text += i - start;
    *text++ = '\0';
  }
  array[k] = nullptr;
  *tokens = array;
  *count = found;
  return kNpLexOk;
}

void np_lex_tokens_free(char** tokens) { std::free(tokens); }

void np_lex_clean(np_lex_state* state) {
  if (state == nullptr) return;
  if (state->owns_file) np_fio_close(state->file);
  std::free(state->line);
  std::free(state);
}

const char* np_lex_status_text(int32_t status) {
  switch (status) {
    case kNpLexOk: return "no error";
    case kNpLexNoMemory: return "out of memory";
    case kNpLexOpenFailed: return "the file cannot be opened";
    case kNpLexEnd: return "the file ends before the line sought";
    case kNpLexReadFailed: return "reading the file failed";
    case kNpLexLineTooLong: return "a line is too long";
    case kNpLexBadArgument: return "invalid argument";
    default: return "unknown lexer status";
  }
}

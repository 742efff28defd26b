#include "resources/krprex.h"

#include <cstdlib>
#include <cstring>

#include "core/krerr.h"
#include "platform/nputf8.h"
#include "platform/npmem.h"

namespace tq {

namespace {

// ---- Tokens of prerequisite expressions --------------------------------------------

enum token_type : uint32_t {
  kTokStart = 0,
  kTokAnd = 1,
  kTokOr = 2,
  kTokNot = 3,
  kTokClose = 4,
  kTokOpen = 5,
  kTokName = 6,
};

struct token {
  uint32_t type;
  size_t pos;  // byte offset of its first character
  size_t len;
};

// The next token from *i; false at the end of the text. A ',' is a name of
// length 0 here; the syntax check refuses it before any tokenising.
bool next_token(const char* text, size_t* i, token* out) {
  while (prereq_blank(text[*i])) ++*i;
  char c = text[*i];
  if (c == '\0') return false;
  out->pos = *i;
  out->len = 1;
  switch (c) {
    case '&': out->type = kTokAnd; break;
    case '|': out->type = kTokOr; break;
    case '!': out->type = kTokNot; break;
    case '(': out->type = kTokOpen; break;
    case ')': out->type = kTokClose; break;
    default: {
      size_t j = *i;
      while (text[j] != '\0' && !prereq_special(text[j])) ++j;
      out->type = kTokName;
      out->len = j > *i ? j - *i : 1;
      break;
    }
  }
  *i = out->pos + out->len;
  return true;
}

bool allowed_after(uint32_t tok, uint32_t prev) {
  switch (tok) {
    case kTokAnd:
    case kTokOr:
    case kTokClose: return prev == kTokClose || prev == kTokName;
    case kTokNot: return prev == kTokStart || prev == kTokAnd || prev == kTokOr || prev == kTokOpen;
    case kTokOpen: return prev != kTokName;
    case kTokName: return prev != kTokClose && prev != kTokName;
    default: return false;
  }
}

// Precedences by token type: taken by an incoming token, and held on the
// operator stack.
constexpr uint32_t kInPrec[7] = {0, 3, 3, 4, 2, 9, 9};
constexpr uint32_t kStackPrec[7] = {0, 3, 3, 4, 9, 2, 9};

struct stack_entry {
  uint32_t type;
  int32_t flag;
};

}  // namespace

// A name cut to 128 bytes between characters.
void prereq_name_cut(const char* text, size_t len, char* out) {
  size_t n = len < kFlagNameSize - 1 ? len : kFlagNameSize - 1;
  std::memcpy(out, text, n);
  out[n] = '\0';
  if (n < len) out[np_uchar_cut(out, n)] = '\0';
}

int32_t prereq_syntax_check(context* ctx, const char* expr, uint32_t record) {
  const char* comma = std::strchr(expr, ',');
  if (comma != nullptr) {
    if (record) TQ_REPORT(ctx, TQ_ERR_SYNTAX, 756, static_cast<int32_t>(comma - expr + 1));
    return TQ_ERR_SYNTAX;
  }
  uint32_t prev = kTokStart;
  int32_t depth = 0;
  size_t i = 0;
  token tok{};
  while (next_token(expr, &i, &tok)) {
    const auto position = static_cast<int32_t>(tok.pos + 1);
    if (!allowed_after(tok.type, prev)) {
      if (record) TQ_REPORT(ctx, TQ_ERR_SYNTAX, 757, position);
      return TQ_ERR_SYNTAX;
    }
    if (tok.type == kTokOpen) depth += 1;
    if (tok.type == kTokClose) {
      if (depth == 0) {
        if (record) TQ_REPORT(ctx, TQ_ERR_SYNTAX, 754, position);
        return TQ_ERR_SYNTAX;
      }
      depth -= 1;
    }
    prev = tok.type;
  }
  if (depth > 0) {
    if (record) TQ_REPORT(ctx, TQ_ERR_SYNTAX, 755, static_cast<int32_t>(std::strlen(expr)));
    return TQ_ERR_SYNTAX;
  }
  return 0;
}

int32_t prereq_compile(context* ctx, const char* expr, prereq_flag_fn flag_id, void* arg, prereq_element** out,
                       uint32_t* count) {
  *out = nullptr;
  *count = 0;
  // Every token gives at most one element.
  size_t tokens = 0;
  {
    size_t i = 0;
    token tok{};
    while (next_token(expr, &i, &tok)) ++tokens;
  }
  if (tokens == 0) return 0;
  auto* list = static_cast<prereq_element*>(np_malloc(sizeof(prereq_element) * tokens));
  if (list == nullptr) return TQ_ERR_NO_MEMORY;
  uint32_t n = 0;
  stack_entry stack[kOperatorStackSize];
  uint32_t top = 1;
  stack[0] = {kTokStart, -1};
  auto emit = [&](const stack_entry& e) {
    switch (e.type) {
      case kTokAnd: list[n++] = {kPostAnd, -1}; break;
      case kTokOr: list[n++] = {kPostOr, -1}; break;
      case kTokNot: list[n++] = {kPostNot, -1}; break;
      case kTokName: list[n++] = {kPostFlag, e.flag}; break;
      default: break;  // parentheses leave nothing behind
    }
  };
  size_t i = 0;
  token tok{};
  int32_t rc = 0;
  while (rc == 0 && next_token(expr, &i, &tok)) {
    stack_entry entry{tok.type, -1};
    if (tok.type == kTokName) {
      char name[kFlagNameSize];
      prereq_name_cut(expr + tok.pos, tok.len, name);
      uint32_t id = 0;
      rc = flag_id(ctx, arg, name, &id);
      if (rc != 0) break;
      entry.flag = static_cast<int32_t>(id);
    }
    if (tok.type == kTokClose) {
      // Down to the matching '(' only, so that nested groups keep their
      // grouping.
      while (top > 1 && stack[top - 1].type != kTokOpen) emit(stack[--top]);
      if (top > 1) --top;
      continue;
    }
    while (top > 0 && kInPrec[tok.type] <= kStackPrec[stack[top - 1].type] && stack[top - 1].type != kTokStart) {
      emit(stack[--top]);
    }
    if (top >= kOperatorStackSize) {
      rc = TQ_ERR_CALL_STACK_FULL;
      TQ_REPORT(ctx, rc, 1907, static_cast<int32_t>(tok.pos + 1));
      break;
    }
    stack[top++] = entry;
  }
  if (rc != 0) {
    std::free(list);
    return rc;
  }
  while (top > 1) emit(stack[--top]);
  *out = list;
  *count = n;
  return 0;
}

int32_t prereq_evaluate(const prereq_element* postfix, uint32_t count, const uint8_t* flags, uint32_t* stack,
                        uint32_t* holds) {
  *holds = 1;
  if (postfix == nullptr || count == 0) return 0;
  uint32_t depth = 0;
  for (uint32_t k = 0; k < count; ++k) {
    const prereq_element& e = postfix[k];
    switch (e.type) {
      case kPostFlag:
        if (depth >= kEvalStackSize) return -601;
        if (e.flag < 0 || static_cast<uint32_t>(e.flag) >= kFlagCount) return -603;
        stack[depth++] = flags[e.flag] != 0 ? 1 : 0;
        break;
      case kPostAnd:
      case kPostOr: {
        if (depth < 2) return -602;
        uint32_t b = stack[--depth];
        uint32_t a = stack[--depth];
        stack[depth++] = e.type == kPostAnd ? (a && b) : (a || b);
        break;
      }
      case kPostNot:
        if (depth < 1) return -602;
        stack[depth - 1] = stack[depth - 1] ? 0 : 1;
        break;
      default: return -603;
    }
  }
  if (depth != 1) return -603;
  *holds = stack[0];
  return 0;
}

}  // namespace tq

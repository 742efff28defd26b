#include "standardize/krsinfo.h"

#include <new>

#include "core/krenc.h"
#include "core/krerr.h"

namespace tq {

namespace {

constexpr uint32_t kInfoTextSize = 1028;

// A text out in the session encoding; the buffer holds kInfoTextSize bytes
// with the terminator.
int32_t text_out(context* ctx, const std::string& text, char* out) {
  return strio_out_sized(ctx, text.c_str(), out, kInfoTextSize, kStrioConvert);
}

const stand_info::token* token_at(const stand_info* info, int32_t token) {
  if (token < 0 || static_cast<size_t>(token) >= info->tokens.size()) return nullptr;
  return &info->tokens[static_cast<size_t>(token)];
}

using token_text = std::string stand_info::token::*;
using token_list = std::vector<stand_info::entry> stand_info::token::*;

int32_t token_text_get(context* ctx, stand_info* info, int32_t token, token_text field, char* out) {
  strio_out_clear_n(ctx, out, kInfoTextSize);
  const stand_info::token* t = token_at(info, token);
  if (t == nullptr) return TQ_ERR_INDEX;
  return text_out(ctx, t->*field, out);
}

int32_t list_count_get(stand_info* info, int32_t token, token_list list, uint32_t* count) {
  *count = 0;
  const stand_info::token* t = token_at(info, token);
  if (t == nullptr) return TQ_ERR_INDEX;
  *count = static_cast<uint32_t>((t->*list).size());
  return 0;
}

int32_t list_entry_get(context* ctx, stand_info* info, int32_t token, token_list list, int32_t entry,
                       uint32_t* matched, char* out) {
  *matched = 0;
  strio_out_clear_n(ctx, out, kInfoTextSize);
  const stand_info::token* t = token_at(info, token);
  if (t == nullptr) return TQ_ERR_INDEX;
  const std::vector<stand_info::entry>& entries = t->*list;
  if (entry < 0 || static_cast<size_t>(entry) >= entries.size()) return TQ_ERR_INDEX;
  const stand_info::entry& e = entries[static_cast<size_t>(entry)];
  *matched = e.matched;
  return text_out(ctx, e.text, out);
}

int32_t list_any_matched_get(stand_info* info, int32_t token, token_list list, uint32_t* flag) {
  *flag = 0;
  const stand_info::token* t = token_at(info, token);
  if (t == nullptr) return TQ_ERR_INDEX;
  for (const stand_info::entry& e : t->*list) {
    if (e.matched != 0) *flag = 1;
  }
  return 0;
}

}  // namespace

int32_t stand_info_init(context*, stand_info** info) {
  *info = new (std::nothrow) stand_info;
  return *info == nullptr ? TQ_ERR_NO_MEMORY : 0;
}

int32_t stand_info_free(context*, stand_info* info) {
  delete info;
  return 0;
}

int32_t stand_info_whole_string_stdzn_flag_get(context*, stand_info* info, uint32_t* flag) {
  *flag = info->whole_string;
  return 0;
}

int32_t stand_info_token_count_get(context*, stand_info* info, uint32_t* count) {
  *count = static_cast<uint32_t>(info->tokens.size());
  return 0;
}

int32_t stand_info_regexlib_count_get(context*, stand_info* info, int32_t token, uint32_t* count) {
  return list_count_get(info, token, &stand_info::token::normalization, count);
}

int32_t stand_info_token_trans_regex_count_get(context*, stand_info* info, int32_t token, uint32_t* count) {
  return list_count_get(info, token, &stand_info::token::transformation, count);
}

int32_t stand_info_scheme_count_get(context*, stand_info* info, int32_t token, uint32_t* count) {
  return list_count_get(info, token, &stand_info::token::schemes, count);
}

int32_t stand_info_token_name_get(context* ctx, stand_info* info, int32_t token, char* name) {
  return token_text_get(ctx, info, token, &stand_info::token::name, name);
}

int32_t stand_info_token_get(context* ctx, stand_info* info, int32_t token, char* val) {
  return token_text_get(ctx, info, token, &stand_info::token::input, val);
}

int32_t stand_info_uppercased_token_get(context* ctx, stand_info* info, int32_t token, char* buf) {
  return token_text_get(ctx, info, token, &stand_info::token::uppercased, buf);
}

int32_t stand_info_norm_token_get(context* ctx, stand_info* info, int32_t token, char* norm) {
  return token_text_get(ctx, info, token, &stand_info::token::normalized, norm);
}

int32_t stand_info_trans_token_get(context* ctx, stand_info* info, int32_t token, char* trans) {
  return token_text_get(ctx, info, token, &stand_info::token::transformed, trans);
}

int32_t stand_info_stdz_token_get(context* ctx, stand_info* info, int32_t token, char* standard) {
  return token_text_get(ctx, info, token, &stand_info::token::standardized, standard);
}

int32_t stand_info_cased_token_get(context* ctx, stand_info* info, int32_t token, uint32_t* applied, char* cased) {
  *applied = 0;
  const int32_t rc = token_text_get(ctx, info, token, &stand_info::token::cased, cased);
  if (rc >= 0) *applied = info->tokens[static_cast<size_t>(token)].cased_flag;
  return rc;
}

int32_t stand_info_norm_token_get_per_regexlib(context* ctx, stand_info* info, int32_t token, int32_t entry,
                                               uint32_t* matched, char* norm) {
  return list_entry_get(ctx, info, token, &stand_info::token::normalization, entry, matched, norm);
}

int32_t stand_info_trans_token_value_get_per_regex(context* ctx, stand_info* info, int32_t token, int32_t entry,
                                                   uint32_t* matched, char* value) {
  return list_entry_get(ctx, info, token, &stand_info::token::transformation, entry, matched, value);
}

int32_t stand_info_stdz_token_get_per_scheme(context* ctx, stand_info* info, int32_t token, int32_t entry,
                                             uint32_t* matched, char* norm) {
  return list_entry_get(ctx, info, token, &stand_info::token::schemes, entry, matched, norm);
}

int32_t stand_info_token_any_regexlib_matched_get(context*, stand_info* info, int32_t token, uint32_t* matched) {
  return list_any_matched_get(info, token, &stand_info::token::normalization, matched);
}

int32_t stand_info_token_any_trans_regex_matched_get(context*, stand_info* info, int32_t token, uint32_t* value) {
  return list_any_matched_get(info, token, &stand_info::token::transformation, value);
}

int32_t stand_info_token_any_scheme_matched_get(context*, stand_info* info, int32_t token, uint32_t* matched) {
  return list_any_matched_get(info, token, &stand_info::token::schemes, matched);
}

int32_t stand_info_precased_get(context* ctx, stand_info* info, char* val) {
  strio_out_clear_n(ctx, val, kInfoTextSize);
  return text_out(ctx, info->precased, val);
}

int32_t stand_info_pre_postcased_get(context* ctx, stand_info* info, char* val) {
  strio_out_clear_n(ctx, val, kInfoTextSize);
  return text_out(ctx, info->pre_postcased, val);
}

}  // namespace tq

#include "parse/kroptp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/krerr.h"
#include "kbstore/krxml.h"
#include "platform/npmem.h"

namespace tq {

namespace {

constexpr int32_t kLimits[] = {2000, 2800, 7000, 10000, 25000, 50000};
constexpr int32_t kLimitDefault = 2800;
constexpr int32_t kContextLevelsDefault = 6;

constexpr const char* kPropLevels = "Levels To Score";
constexpr const char* kPropLimit = "Resource Limit";
constexpr const char* kPropLength = "Input Length";
constexpr const char* kColOverride = "Opt Param Override";

char g_yes[] = "Yes";
char g_no[] = "No";
char g_empty[] = "";
char g_short[] = "Short";
char g_long[] = "Long";
char g_auto[] = "Automatic";

// The text's leading decimal integer, as atoi reads it, without overflow.
int32_t leading_int(const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t value = 0;
  while (*p >= '0' && *p <= '9' && value <= INT32_MAX) value = value * 10 + (*p++ - '0');
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<int32_t>(negative ? -value : value);
}

const xmldoc_field* field_at(const xmldoc* doc, int32_t record, int32_t column) {
  return xmldoc_field_get(doc, record, column);
}

}  // namespace

void optp_block_init(parse_opt_params* block) {
  block->override_flag = 0;
  block->levels = kLevelsMin;
  block->limit = kLimitDefault;
  block->input_length = kInputShort;
}

void optp_block_copy(const parse_opt_params* source, parse_opt_params* target) { *target = *source; }

void optp_engine_defaults_init(parse_opt_settings* s) {
  s->defaults.override_flag = 0;
  s->defaults.levels = kContextLevelsDefault;
  s->defaults.limit = kLimitDefault;
  s->defaults.input_length = kInputShort;
  s->levels = kContextLevelsDefault;
  s->limit = kLimitDefault;
  s->input_length = kInputShort;
  s->levels_set = 0;
  s->limit_set = 0;
  s->input_length_set = 0;
}

parse_opt_settings* optp_settings(context* ctx) { return ctx->parse_opts; }

void optp_override_set(context* ctx, parse_opt_params* block, uint32_t flag) {
  if (flag != 0 && block->override_flag == 0) {
    const parse_opt_settings* s = optp_settings(ctx);
    block->levels = s->defaults.levels;
    block->limit = s->defaults.limit;
    block->input_length = s->defaults.input_length;
  }
  block->override_flag = flag != 0 ? 1 : 0;
}

int32_t optp_limit_validate(context* ctx, int32_t limit) {
  for (int32_t v : kLimits)
    if (v == limit) return 0;
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 129, limit);
  return TQ_ERR_ARGUMENT;
}

int32_t optp_levels_validate(context* ctx, int32_t levels) {
  if (levels >= kLevelsMin && levels <= kLevelsMax) return 0;
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 128, levels, kLevelsMin, kLevelsMax);
  return TQ_ERR_ARGUMENT;
}

int32_t optp_input_length_validate(context* ctx, int32_t length) {
  if (length >= kInputShort && length <= kInputAutomatic) return 0;
  TQ_REPORT(ctx, TQ_ERR_ARGUMENT, 1359, length);
  return TQ_ERR_ARGUMENT;
}

int32_t optp_input_length_from_name(const char* name) {
  if (std::strcmp(name, "Long") == 0) return kInputLong;
  if (std::strcmp(name, "Short") == 0) return kInputShort;
  return kInputAutomatic;
}

const char* optp_input_length_name(int32_t length) {
  return length == kInputShort ? g_short : length == kInputLong ? g_long : g_auto;
}

int32_t optp_scoring_levels_effective(context* ctx, const parse_opt_params* block) {
  return block != nullptr && block->override_flag != 0 ? block->levels : optp_settings(ctx)->defaults.levels;
}

int32_t optp_resource_limit_effective(context* ctx, const parse_opt_params* block) {
  return block != nullptr && block->override_flag != 0 ? block->limit : optp_settings(ctx)->defaults.limit;
}

int32_t optp_input_length_effective(context* ctx, const parse_opt_params* block) {
  return block != nullptr && block->override_flag != 0 ? block->input_length
                                                       : optp_settings(ctx)->defaults.input_length;
}

void optp_effective_get(context* ctx, const parse_opt_params* block, parse_opt_params* out) {
  out->override_flag = block != nullptr ? block->override_flag : 0;
  out->levels = optp_scoring_levels_effective(ctx, block);
  out->limit = optp_resource_limit_effective(ctx, block);
  out->input_length = optp_input_length_effective(ctx, block);
}

// ---- Document forms ---------------------------------------------------------------

int32_t optp_xml_read(context* ctx, const xmldoc* element, parse_opt_params* block) {
  if (element == nullptr || block == nullptr) return TQ_ERR_ARGUMENT;
  block->override_flag = 0;
  const char* levels = xmldoc_prop_get(ctx, element, kPropLevels);
  if (levels != nullptr && levels[0] != '\0') {
    int32_t value = leading_int(levels);
    int32_t rc = optp_levels_validate(ctx, value);
    if (rc != 0) return rc;
    block->override_flag = 1;
    block->levels = value;
  }
  const char* limit = xmldoc_prop_get(ctx, element, kPropLimit);
  if (limit != nullptr && limit[0] != '\0') {
    block->override_flag = 1;
    block->limit = leading_int(limit);
  }
  const char* length = xmldoc_prop_get(ctx, element, kPropLength);
  if (length != nullptr && length[0] != '\0') {
    block->override_flag = 1;
    block->input_length = optp_input_length_from_name(length);
  }
  return 0;
}

int32_t optp_xml_write(context* ctx, xmldoc* element, const parse_opt_params* block) {
  if (element == nullptr || block == nullptr) return TQ_ERR_ARGUMENT;
  if (block->override_flag == 0) return 0;
  char text[16];
  std::snprintf(text, sizeof text, "%d", block->levels);
  int32_t rc = xmldoc_prop_add(ctx, element, kPropLevels, text);
  if (rc < 0) return rc;
  std::snprintf(text, sizeof text, "%d", block->limit);
  rc = xmldoc_prop_add(ctx, element, kPropLimit, text);
  if (rc < 0) return rc;
  return xmldoc_prop_add(ctx, element, kPropLength, optp_input_length_name(block->input_length));
}

int32_t optp_xml_elements_add(context* ctx, xmldoc* table, int32_t first, xmldoc_field* fields, int32_t capacity,
                              int32_t* added) {
  if (added != nullptr) *added = 0;
  if (table == nullptr || fields == nullptr || first < 0 || capacity < kOptpColumns ||
      first > capacity - kOptpColumns)
    return TQ_ERR_ARGUMENT;
  static constexpr struct {
    const char* name;
    uint32_t type;
  } kCols[kOptpColumns] = {
      {kColOverride, kXmlColString}, {kPropLevels, kXmlColInt}, {kPropLimit, kXmlColInt}, {kPropLength, kXmlColString}};
  for (const auto& col : kCols) {
    int32_t rc = xmldoc_column_add(ctx, table, col.name, col.type);
    if (rc < 0) return rc;
  }
  parse_opt_params off;
  optp_block_init(&off);
  optp_xml_row_fill(&off, fields, first);
  if (added != nullptr) *added = kOptpColumns;
  return 0;
}

int32_t optp_xml_row_read(context* ctx, const xmldoc* table, int32_t record, parse_opt_params* block) {
  if (table == nullptr || block == nullptr) return TQ_ERR_ARGUMENT;
  int32_t cols[kOptpColumns];
  const char* names[kOptpColumns] = {kColOverride, kPropLevels, kPropLimit, kPropLength};
  for (int32_t i = 0; i < kOptpColumns; ++i) {
    if (xmldoc_column_find(ctx, table, names[i], &cols[i]) != 0 || cols[i] < 0) return -1;
  }
  const xmldoc_field* flag = field_at(table, record, cols[0]);
  if (flag == nullptr) return -1;
  if (std::strcmp(xmldoc_field_text(flag), "Yes") != 0) {
    block->override_flag = 0;
    return 0;
  }
  int32_t levels = xmldoc_field_number(field_at(table, record, cols[1]), kLevelsMin);
  int32_t rc = optp_levels_validate(ctx, levels);
  if (rc != 0) return rc;
  block->override_flag = 1;
  block->levels = levels;
  block->limit = xmldoc_field_number(field_at(table, record, cols[2]), kLimitDefault);
  block->input_length = optp_input_length_from_name(xmldoc_field_text(field_at(table, record, cols[3])));
  return 0;
}

void optp_xml_row_fill(const parse_opt_params* block, xmldoc_field* fields, int32_t position) {
  if (block == nullptr || fields == nullptr || position < 0) return;
  xmldoc_field* f = fields + position;
  f[0].type = kXmlColString;
  f[1].type = kXmlColInt;
  f[2].type = kXmlColInt;
  f[3].type = kXmlColString;
  const bool on = block->override_flag != 0;
  f[0].text = on ? g_yes : g_no;
  f[1].number = on ? block->levels : 0;
  f[2].number = on ? block->limit : 0;
  f[3].text = on ? const_cast<char*>(optp_input_length_name(block->input_length)) : g_empty;
}

// ---- Exports: the context family --------------------------------------------------

int32_t tqx_parse_opt_params_resource_limit_default_set(context* ctx, int32_t limit) {
  int32_t rc = optp_limit_validate(ctx, limit);
  if (rc == 0) optp_settings(ctx)->defaults.limit = limit;
  return rc;
}

int32_t tqx_parse_opt_params_scoring_levels_default_set(context* ctx, int32_t levels) {
  int32_t rc = optp_levels_validate(ctx, levels);
  if (rc == 0) optp_settings(ctx)->defaults.levels = levels;
  return rc;
}

int32_t tqx_parse_opt_params_input_length_default_set(context* ctx, int32_t length) {
  int32_t rc = optp_input_length_validate(ctx, length);
  if (rc == 0) optp_settings(ctx)->defaults.input_length = length;
  return rc;
}

int32_t tqx_parse_opt_params_resource_limit_override_set(context* ctx, int32_t limit) {
  int32_t rc = optp_limit_validate(ctx, limit);
  if (rc != 0) return rc;
  optp_settings(ctx)->limit = limit;
  optp_settings(ctx)->limit_set = 1;
  return 0;
}

int32_t tqx_parse_opt_params_scoring_levels_override_set(context* ctx, int32_t levels) {
  int32_t rc = optp_levels_validate(ctx, levels);
  if (rc != 0) return rc;
  optp_settings(ctx)->levels = levels;
  optp_settings(ctx)->levels_set = 1;
  return 0;
}

int32_t tqx_parse_opt_params_input_length_override_set(context* ctx, int32_t length) {
  int32_t rc = optp_input_length_validate(ctx, length);
  if (rc != 0) return rc;
  optp_settings(ctx)->input_length = length;
  optp_settings(ctx)->input_length_set = 1;
  return 0;
}

int32_t tqx_parse_opt_params_resource_limit_default_get(context* ctx, int32_t* limit) {
  *limit = optp_settings(ctx)->defaults.limit;
  return 0;
}

int32_t tqx_parse_opt_params_scoring_levels_default_get(context* ctx, int32_t* levels) {
  *levels = optp_settings(ctx)->defaults.levels;
  return 0;
}

int32_t tqx_parse_opt_params_input_length_default_get(context* ctx, int32_t* length) {
  *length = optp_settings(ctx)->defaults.input_length;
  return 0;
}

int32_t tqx_parse_opt_params_resource_limit_override_get(context* ctx, int32_t* is_set, int32_t* limit) {
  const parse_opt_settings* s = optp_settings(ctx);
  *is_set = static_cast<int32_t>(s->limit_set);
  if (s->limit_set != 0) *limit = s->limit;
  return 0;
}

int32_t tqx_parse_opt_params_scoring_levels_override_get(context* ctx, int32_t* is_set, int32_t* levels) {
  const parse_opt_settings* s = optp_settings(ctx);
  *is_set = static_cast<int32_t>(s->levels_set);
  if (s->levels_set != 0) *levels = s->levels;
  return 0;
}

int32_t tqx_parse_opt_params_input_length_override_get(context* ctx, int32_t* is_set, int32_t* length) {
  const parse_opt_settings* s = optp_settings(ctx);
  *is_set = static_cast<int32_t>(s->input_length_set);
  if (s->input_length_set != 0) *length = s->input_length;
  return 0;
}

int32_t tqx_parse_opt_params_resource_limit_override_remove(context* ctx) {
  optp_settings(ctx)->limit_set = 0;
  return 0;
}

int32_t tqx_parse_opt_params_scoring_levels_override_remove(context* ctx) {
  optp_settings(ctx)->levels_set = 0;
  return 0;
}

int32_t tqx_parse_opt_params_input_length_override_remove(context* ctx) {
  optp_settings(ctx)->input_length_set = 0;
  return 0;
}

int32_t tqx_parse_opt_params_override_remove_all(context* ctx) {
  parse_opt_settings* s = optp_settings(ctx);
  s->levels_set = 0;
  s->limit_set = 0;
  s->input_length_set = 0;
  return 0;
}

// ---- Exports: the older family ------------------------------------------------------

int32_t tqx_parse_optimization_params_default_get(context* ctx, int32_t* levels_to_score, int32_t* resource_limit) {
  *levels_to_score = optp_settings(ctx)->defaults.levels;
  *resource_limit = optp_settings(ctx)->defaults.limit;
  return 0;
}

int32_t tqx_parse_optimization_params_default_set(context* ctx, int32_t levels, int32_t limit) {
  // The levels stay set when the limit is refused.
  int32_t rc = tqx_parse_opt_params_scoring_levels_default_set(ctx, levels);
  if (rc != 0) return rc;
  return tqx_parse_opt_params_resource_limit_default_set(ctx, limit);
}

int32_t tqx_parse_optimization_params_user_get(context* ctx, int32_t* score_levels_set, int32_t* score_levels,
                                               int32_t* resource_limit_set, int32_t* resource_limit) {
  (void)tqx_parse_opt_params_scoring_levels_override_get(ctx, score_levels_set, score_levels);
  return tqx_parse_opt_params_resource_limit_override_get(ctx, resource_limit_set, resource_limit);
}

int32_t tqx_parse_optimization_params_user_set(context* ctx, int32_t levels_flag, int32_t levels,
                                               int32_t limit_flag, int32_t limit) {
  int32_t rc = 0;
  if (levels_flag != 0) rc = tqx_parse_opt_params_scoring_levels_override_set(ctx, levels);
  if (limit_flag != 0) {
    int32_t rc2 = tqx_parse_opt_params_resource_limit_override_set(ctx, limit);
    if (rc == 0) rc = rc2;
  }
  return rc;
}

int32_t tqx_parse_optimization_params_user_remove(context* ctx, int32_t levels_flag, int32_t limit_flag) {
  if (levels_flag != 0) (void)tqx_parse_opt_params_scoring_levels_override_remove(ctx);
  if (limit_flag != 0) (void)tqx_parse_opt_params_resource_limit_override_remove(ctx);
  return 0;
}

// ---- The context part ------------------------------------------------------------

int32_t optp_part_create(context* ctx) {
  auto* s = static_cast<parse_opt_settings*>(np_calloc(1, sizeof(parse_opt_settings)));
  if (s == nullptr) return TQ_ERR_NO_MEMORY;
  optp_engine_defaults_init(s);
  ctx->parse_opts = s;
  return 0;
}

void optp_part_free(context* ctx) {
  std::free(ctx->parse_opts);
  ctx->parse_opts = nullptr;
}

int32_t optp_part_clone(context* src, context* dst) {
  int32_t rc = optp_part_create(dst);
  if (rc != 0) return rc;
  if (src->parse_opts != nullptr) *dst->parse_opts = *src->parse_opts;
  return 0;
}

}  // namespace tq

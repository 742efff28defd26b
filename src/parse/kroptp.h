// Parse optimization parameters: how many tree levels a score weighs, how
// many states an engine may hold before it gives up, and which engine a
// composite parser runs. A parameter block travels with each parse
// definition and parser object; the context keeps defaults (for blocks
// whose override flag is off) and flagged overrides (which win when the
// engines run).
#pragma once

#include <cstdint>

#include "core/krcorvel.h"

struct tq_xmldoc;

namespace tq {

using xmldoc = ::tq_xmldoc;
struct xmldoc_field;

inline constexpr int32_t kLevelsMin = 5;
inline constexpr int32_t kLevelsMax = 10;
inline constexpr int32_t kInputShort = 0;
inline constexpr int32_t kInputLong = 1;
inline constexpr int32_t kInputAutomatic = 2;

struct parse_opt_params {
  uint32_t override_flag;  // 0 or 1
  int32_t levels;          // levels to score, 5 to 10
  int32_t limit;           // resource limit
  int32_t input_length;    // kInputShort, kInputLong, kInputAutomatic
};

// What a context keeps: defaults for blocks whose flag is off, and the
// overrides that act on every run, each with its own flag.
struct parse_opt_settings {
  parse_opt_params defaults;  // its override word is never consulted
  int32_t levels;
  int32_t limit;
  int32_t input_length;
  uint32_t levels_set;
  uint32_t limit_set;
  uint32_t input_length_set;
};

// Override 0, levels 5, limit 2800, "Short".
void optp_block_init(parse_opt_params* block);
void optp_block_copy(const parse_opt_params* source, parse_opt_params* target);
// Defaults 6, 2800, "Short"; the overrides the same values, unflagged.
void optp_engine_defaults_init(parse_opt_settings* settings);
// The context's settings; never NULL once the parse layer's parts exist.
parse_opt_settings* optp_settings(context* ctx);

// Switching a block's flag on first copies the context's defaults into it,
// so the block starts from the values that were in effect.
void optp_override_set(context* ctx, parse_opt_params* block, uint32_t flag);

// Validators: 0, or -802 with the message recorded (129, 128, 1359).
int32_t optp_limit_validate(context* ctx, int32_t limit);
int32_t optp_levels_validate(context* ctx, int32_t levels);
int32_t optp_input_length_validate(context* ctx, int32_t length);

// "Long" 1, "Short" 0, anything else 2; and back ("Automatic" for any other value).
int32_t optp_input_length_from_name(const char* name);
const char* optp_input_length_name(int32_t length);

// The values a block asks for: its own when its flag is set, else the
// context's defaults (a NULL block asks for the defaults).
int32_t optp_scoring_levels_effective(context* ctx, const parse_opt_params* block);
int32_t optp_resource_limit_effective(context* ctx, const parse_opt_params* block);
int32_t optp_input_length_effective(context* ctx, const parse_opt_params* block);
void optp_effective_get(context* ctx, const parse_opt_params* block, parse_opt_params* out);

// ---- Document forms ---------------------------------------------------------------

// Definition properties "Levels To Score", "Resource Limit", "Input
// Length". Reading clears the flag; a non-empty property sets it with its
// value. Levels read are validated (-802, 128): an engine never receives a
// level count it cannot hold.
int32_t optp_xml_read(context* ctx, const xmldoc* element, parse_opt_params* block);
// Nothing when the flag is off; else the three properties.
int32_t optp_xml_write(context* ctx, xmldoc* element, const parse_opt_params* block);

// Table rows: "Opt Param Override" (text), "Levels To Score" (int),
// "Resource Limit" (int), "Input Length" (text).
inline constexpr int32_t kOptpColumns = 4;
// Adds the four columns and types fields[first .. first + 3]; *added := 4.
int32_t optp_xml_elements_add(context* ctx, xmldoc* table, int32_t first, xmldoc_field* fields, int32_t capacity,
                              int32_t* added);
// Flag 1 exactly when the override column reads "Yes", then the values are
// taken (levels validated); otherwise the flag is 0 and the values stay.
// -1 when a column is missing or the record does not exist.
int32_t optp_xml_row_read(context* ctx, const xmldoc* table, int32_t record, parse_opt_params* block);
// "Yes", levels, limit, name; or "No", 0, 0, "" (static texts).
void optp_xml_row_fill(const parse_opt_params* block, xmldoc_field* fields, int32_t position);

// ---- Exports: the context family (no hold) ----------------------------------------

int32_t tqx_parse_opt_params_resource_limit_default_set(context* ctx, int32_t limit);
int32_t tqx_parse_opt_params_scoring_levels_default_set(context* ctx, int32_t levels);
int32_t tqx_parse_opt_params_input_length_default_set(context* ctx, int32_t length);
int32_t tqx_parse_opt_params_resource_limit_override_set(context* ctx, int32_t limit);
int32_t tqx_parse_opt_params_scoring_levels_override_set(context* ctx, int32_t levels);
int32_t tqx_parse_opt_params_input_length_override_set(context* ctx, int32_t length);
int32_t tqx_parse_opt_params_resource_limit_default_get(context* ctx, int32_t* limit);
int32_t tqx_parse_opt_params_scoring_levels_default_get(context* ctx, int32_t* levels);
int32_t tqx_parse_opt_params_input_length_default_get(context* ctx, int32_t* length);
int32_t tqx_parse_opt_params_resource_limit_override_get(context* ctx, int32_t* is_set, int32_t* limit);
int32_t tqx_parse_opt_params_scoring_levels_override_get(context* ctx, int32_t* is_set, int32_t* levels);
int32_t tqx_parse_opt_params_input_length_override_get(context* ctx, int32_t* is_set, int32_t* length);
int32_t tqx_parse_opt_params_resource_limit_override_remove(context* ctx);
int32_t tqx_parse_opt_params_scoring_levels_override_remove(context* ctx);
int32_t tqx_parse_opt_params_input_length_override_remove(context* ctx);
int32_t tqx_parse_opt_params_override_remove_all(context* ctx);

// ---- Exports: the older family (read hold) -----------------------------------------

int32_t tqx_parse_optimization_params_default_get(context* ctx, int32_t* levels_to_score, int32_t* resource_limit);
int32_t tqx_parse_optimization_params_default_set(context* ctx, int32_t levels, int32_t limit);
int32_t tqx_parse_optimization_params_user_get(context* ctx, int32_t* score_levels_set, int32_t* score_levels,
                                               int32_t* resource_limit_set, int32_t* resource_limit);
int32_t tqx_parse_optimization_params_user_set(context* ctx, int32_t levels_flag, int32_t levels,
                                               int32_t limit_flag, int32_t limit);
int32_t tqx_parse_optimization_params_user_remove(context* ctx, int32_t levels_flag, int32_t limit_flag);

// ---- The context part ------------------------------------------------------------

int32_t optp_part_create(context* ctx);
void optp_part_free(context* ctx);
int32_t optp_part_clone(context* src, context* dst);

}  // namespace tq

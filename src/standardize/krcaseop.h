// Upper, lower and proper casing of a caller's value, under a case
// definition of the current locale or none: the three cores, which
// standardization also calls with texts already in UTF-8, and the exported
// family. Outputs never take more than the size the caller gives, its
// terminator included, in any session encoding; a size below one
// terminator is refused before anything is written.
#pragma once

#include <cstdint>

#include "core/krcorvel.h"
#include "kbstore/krdefn.h"
#include "standardize/krcase.h"

namespace tq {

// Each core: (context, definition or NULL, input, output, size in bytes
// with the terminator, convert 1 for texts in the session encoding, info or
// NULL). The definition must be usable (upper, proper) and made for the
// mode (-300, messages 203, 139, 126).
int32_t case_upper_with_defn(context* ctx, defn_rec* rec, const char* in, char* out, int64_t size, uint32_t convert,
                             case_info* info);
int32_t case_lower_with_defn(context* ctx, defn_rec* rec, const char* in, char* out, int64_t size, uint32_t convert,
                             case_info* info);
int32_t case_proper_with_defn(context* ctx, defn_rec* rec, const char* in, char* out, int64_t size,
                              uint32_t convert, case_info* info);

// ---- Export implementations ---------------------------------------------------------------

int32_t uppercase(context* ctx, const char* name, const char* in_str, char* up_str, int32_t max_len);
int32_t uppercase_by_index(context* ctx, int32_t index, const char* in_str, char* up_str, int32_t max_len);
int32_t uppercase_nonsurfaced(context* ctx, const char* name, const char* in_str, char* up_str, int32_t max_len);
int32_t uppercase_with_info(context* ctx, const char* name, const char* in_str, char* up_str, int32_t max_len,
                            case_info* info);
int32_t uppercase_with_info_nonsurfaced(context* ctx, const char* name, const char* in_str, char* up_str,
                                        int32_t max_len, case_info* info);
int32_t lowercase(context* ctx, const char* name, const char* in_str, char* low_str, int32_t max_len);
int32_t lowercase_by_index(context* ctx, int32_t index, const char* in_str, char* low_str, int32_t max_len);
int32_t lowercase_nonsurfaced(context* ctx, const char* name, const char* in_str, char* low_str, int32_t max_len);
int32_t lowercase_with_info(context* ctx, const char* name, const char* in_str, char* low_str, int32_t max_len,
                            case_info* info);
int32_t lowercase_with_info_nonsurfaced(context* ctx, const char* name, const char* in_str, char* low_str,
                                        int32_t max_len, case_info* info);
int32_t propercase(context* ctx, const char* name, const char* in_str, char* prop_str, int32_t max_len);
int32_t propercase_by_index(context* ctx, int32_t index, const char* in_str, char* prop_str, int32_t max_len);
int32_t propercase_nonsurfaced(context* ctx, const char* name, const char* in_str, char* prop_str,
                               int32_t max_len);
int32_t propercase_with_info(context* ctx, const char* name, const char* in_str, char* prop_str, int32_t max_len,
                             case_info* info);
int32_t propercase_with_info_nonsurfaced(context* ctx, const char* name, const char* in_str, char* prop_str,
                                         int32_t max_len, case_info* info);

}  // namespace tq

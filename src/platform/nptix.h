// Time stamps for trace lines, in place of the closed system library's.
#pragma once

#include <cstdint>

// Writes the local time as "YYYY-MM-DD HH:MM:SS.mmm" into `buffer` (always
// terminated when size > 0). The first two arguments select a clock and a
// form in the original interface; only 0, 0 is used. Returns 0, or -1 when
// the buffer is missing or too small.
int32_t np_tix_write(int32_t clock, int32_t form, char* buffer, uint32_t size);

#include "platform/nptix.h"

#include <cstdio>
#include <ctime>
#include <sys/time.h>

int32_t np_tix_write(int32_t clock, int32_t form, char* buffer, uint32_t size) {
  (void)clock;
  (void)form;
  if (buffer == nullptr || size == 0) return -1;
  buffer[0] = '\0';
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm local{};
  time_t secs = tv.tv_sec;
  if (localtime_r(&secs, &local) == nullptr) return -1;
  int n = std::snprintf(buffer, size, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                        local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                        static_cast<int>(tv.tv_usec / 1000));
  if (n < 0 || static_cast<uint32_t>(n) >= size) {
    buffer[0] = '\0';
    return -1;
  }
  return 0;
}

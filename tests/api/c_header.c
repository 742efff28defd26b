/* The public header must compile as plain C99. */
#include "tq.h"

#include <stddef.h>

int tq_c_header_check(void) {
  char version[TQ_VERSION_TEXT_MAX + 1];
  int32_t v = tq_version_get(version);
  tq_context* ctx = NULL;
  int32_t rc = tq_init(&ctx, NULL);
  if (rc == 0) tq_close(ctx);
  return v == 2304 && rc == 0 && version[0] == 'C';
}

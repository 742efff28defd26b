/* A small client: opens a context, shows the version, makes a call fail on
 * purpose and reads the error back. */
#include <stdio.h>

#include "tq.h"

int main(int argc, char** argv) {
  char version[TQ_VERSION_TEXT_MAX + 1];
  int32_t number = tq_version_get(version);
  printf("%s (%d.%d)\n", version, number >> 8, number & 0xFF);

  tq_context* ctx = NULL;
  int32_t rc = tq_init(&ctx, argc > 1 ? argv[1] : NULL);
  if (rc != 0) {
    fprintf(stderr, "tq_init failed: %d\n", rc);
    return 1;
  }

  char path[TQ_PATH_MAX + 1];
  if (tq_path_get(ctx, path, sizeof path) == 0) printf("search path: \"%s\"\n", path);

  char name[TQ_ENCODING_NAME_MAX + 1];
  if (tq_session_encoding_name_get(ctx, name) == 0) printf("session encoding: %s\n", name);

  /* An unknown encoding name fails; the error list says why. */
  uint32_t enc = 0;
  rc = tq_encoding_get_by_name(ctx, "utf-8", &enc);
  int32_t code = 0;
  char text[TQ_ERROR_TEXT_MAX + 1];
  tq_error_info_get(ctx, &code, text);
  printf("tq_encoding_get_by_name(\"utf-8\") = %d: error %d \"%s\"\n", rc, code, text);

  rc = tq_encoding_get_by_name(ctx, "UTF-8", &enc);
  printf("tq_encoding_get_by_name(\"UTF-8\") = %d, encoding %u\n", rc, enc);

  tq_close(ctx);
  return 0;
}

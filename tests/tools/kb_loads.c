/* Whether a built knowledge base loads: kb_loads ROOT ISO... loads each
 * locale named (with its parents) from ROOT with every part, each in a
 * context of its own. Exits 0 when every load gives 0 and leaves nothing in
 * the error list; otherwise prints what each other load gave and left, and
 * exits 1. kb_loads -c FROM TO converts the vocabulary FROM (XML) to TO
 * (compiled) alike. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "tq.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: kb_loads ROOT ISO...\n");
    return 2;
  }
  const uint32_t every_part = TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_IDENT_DEFNS | TQ_LOAD_STDZN_DEFNS |
                              TQ_LOAD_GENDER_DEFNS | TQ_LOAD_MATCH_DEFNS | TQ_LOAD_CASE_DEFNS | TQ_LOAD_GUESS_DEFNS |
                              TQ_LOAD_PATTERN_DEFNS | TQ_LOAD_EXTRACT_DEFNS | TQ_LOAD_LANGUAGE_DEFNS;
  const int convert = argc == 4 && strcmp(argv[1], "-c") == 0;
  int failed = 0;
  for (int i = convert ? 3 : 2; i < argc; ++i) {
    tq_context* ctx = NULL;
    int32_t locale = -1;
    int32_t rc = convert ? tq_init_edit_mode(&ctx, NULL) : tq_init(&ctx, NULL);
    if (rc == 0) rc = tq_session_encoding_set(ctx, TQ_ENC_UTF8);
    if (convert) {
      if (rc == 0) rc = tq_vocab_file_convert(ctx, 0, argv[2], argv[3]);
    } else {
      if (rc == 0) rc = tq_zel_path_set(ctx, argv[1]);
      if (rc == 0) rc = tq_locale_code_get_by_iso_name(ctx, argv[i], &locale);
      if (rc == 0) rc = tq_zel_locale_load(ctx, locale, every_part);
    }
    uint32_t count = 0;
    if (ctx != NULL) tq_error_count_get(ctx, &count);
    if (rc != 0 || count > 0) {
      failed = 1;
      fprintf(stderr, "%s: %d\n", argv[i], (int)rc);
      char text[TQ_ERROR_TEXT_MAX + 1];
      for (uint32_t k = 0; k < count; ++k) {
        int32_t code = 0;
        tq_error_info_get_by_index(ctx, k, &code, text);
        fprintf(stderr, "  %d: %s\n", (int)code, text);
      }
    }
    tq_close(ctx);
  }
  return failed;
}

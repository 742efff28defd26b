/* first.c: parses a personal name, gives its match code and proper-cases it. */
#include <stdio.h>
#include <tq.h>

int main(int argc, char** argv) {
  static tq_parse_token tokens[TQ_PARSE_TOKENS];
  char token[TQ_DATATYPE_TOKEN_SIZE], code[TQ_MATCHCODE_SIZE], proper[TQ_PARSE_VALUE_SIZE];
  char error[TQ_ERROR_TEXT_MAX + 1] = "";
  int32_t locale = -1, datatype = -1, error_code = 0;
  uint32_t count = 0;
  tq_context* ctx = NULL;
  if (argc != 3) {
    fprintf(stderr, "usage: %s KB_ROOT NAME\n", argv[0]);
    return 2;
  }
  int32_t rc = tq_init(&ctx, NULL);
  if (rc >= 0) rc = tq_session_encoding_set(ctx, TQ_ENC_UTF8); /* texts and the root in UTF-8 */
  if (rc >= 0) rc = tq_zel_path_set(ctx, argv[1]);
  if (rc >= 0) rc = tq_locale_code_get_by_iso_name(ctx, "ENUSA", &locale);
  if (rc >= 0)
    rc = tq_zel_locale_load(ctx, locale, TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_MATCH_DEFNS | TQ_LOAD_CASE_DEFNS);
  if (rc >= 0) rc = tq_datatype_index_get_by_name(ctx, "Name", &datatype);
  if (rc >= 0) rc = tq_parse(ctx, "Name", argv[2], tokens, &count);
  for (uint32_t i = 0; rc >= 0 && i < count; ++i) {
    if (tokens[i].value[0] != '\0' && tq_datatype_token_value_get(ctx, datatype, tokens[i].index, token) >= 0)
      printf("%-12s %s\n", token, tokens[i].value);
  }
  if (rc >= 0) rc = tq_match(ctx, "Name", 85, argv[2], code); /* at 85 nicknames and names that sound alike share a code */
  if (rc >= 0) rc = tq_propercase(ctx, "Name", argv[2], proper, (int32_t)sizeof proper);
  if (rc >= 0) printf("%-12s [%s]\n%-12s %s\n", "Match code", code, "Proper case", proper);
  if (rc < 0) {
    tq_error_info_get(ctx, &error_code, error);
    fprintf(stderr, "failed: %d %s\n", (int)rc, error);
  }
  tq_close(ctx);
  return rc < 0;
}

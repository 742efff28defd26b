/* The example client: parses personal names into their parts,
 * proper-cases them and tells a person's name from an organisation's with
 * the sample knowledge base.
 *
 *   tq_example [-k KB_ROOT] [FILE | -]
 *
 * Reads one name a line from FILE (standard input for "-"; the sample list
 * examples/names.txt when none is given), parses each with the parse
 * definition "Name" of locale English (United States), prints the value of
 * every token, then the name proper-cased with the case definition "Name"
 * ("JOHANNES VAN DER WAALS" -> "Johannes van der Waals"), its gender by the
 * gender analysis definition "Name" (M, F, or U), what kind of name it is by
 * the identification definition "Name", its character pattern with the
 * pattern analysis definition "Pattern", the name standardized with the
 * standardization definition "Name" ("bill q. smith junior" -> "William Q
 * Smith Jr"), its match codes at sensitivities 95 and 85 with the match
 * definition "Name", the language whose language definition scores the
 * line best, and the line's locale guessed among English, German, French
 * and Turkish with the locale guess definition "Language". Last, it pulls a
 * contact's names and company out of one fixed line of free text with the
 * extraction definition "Contact". KB_ROOT is the built knowledge base (by
 * default the one the build made, <build>/examples/kb). Texts cross the
 * interface as UTF-8.
 *
 * A line the engines cannot take whole (longer than they take, not UTF-8,
 * or holding a NUL byte) is reported with its number and skipped, never cut
 * or mended; the exit status is then 1. */
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "tq.h"

#ifndef TQ_EXAMPLE_KB
#define TQ_EXAMPLE_KB "examples/kb"
#endif
#ifndef TQ_EXAMPLE_NAMES
#define TQ_EXAMPLE_NAMES "names.txt"
#endif

enum { kLocaleEnUsa = 29840 };

/* The engines take values of at most 1,024 bytes (tq.h) and would cut a
 * longer one, so a longer line is skipped rather than parsed in part. */
enum { kValueMax = 1024 };

/* What handling one line gives: done, the line skipped, or a failure that
 * ends the run. */
enum { kLineDone = 0, kLineFailed = 1, kLineSkipped = 2 };

/* The candidates of locale guessing: English, German, French, Turkish. */
static const uint32_t kGuessLocales[] = {29000, 39000, 33000, 123000};
static const char* const kGuessNames[] = {"English", "German", "French", "Turkish"};

static void print_errors(tq_context* ctx) {
  uint32_t count = 0;
  char text[TQ_ERROR_TEXT_MAX + 1];
  tq_error_count_get(ctx, &count);
  for (uint32_t i = 0; i < count; ++i) {
    int32_t code = 0;
    tq_error_info_get_by_index(ctx, i, &code, text);
    fprintf(stderr, "  %d: %s\n", code, text);
  }
}

/* A result that was cut to fit (the warning TQ_WARN_LIMIT_REACHED, 102)
 * is printed as it came, followed by what the error list says of it: which
 * text was cut, and how long the whole one is. */
static void print_cuts(tq_context* ctx, int32_t rc) {
  if (rc != TQ_WARN_LIMIT_REACHED) return;
  uint32_t count = 0;
  char text[TQ_ERROR_TEXT_MAX + 1];
  tq_error_count_get(ctx, &count);
  for (uint32_t i = 0; i < count; ++i) {
    int32_t code = 0;
    if (tq_error_info_get_by_index(ctx, i, &code, text) == 0 && code == TQ_WARN_LIMIT_REACHED) {
      printf("  %-12s %s\n", "Note", text);
    }
  }
}

/* A load that gave a warning (104: something could not be read): a heading
 * naming the locale, then what the error list says. The example goes on
 * with what was read. */
static void load_warnings(tq_context* ctx, const char* locale, int32_t rc) {
  fprintf(stderr, "loading the locale %s gave the warning %d; going on with what was read:\n", locale, (int)rc);
  print_errors(ctx);
}

/* Prints the gender of one name: M, F, or U when the definition cannot
 * tell. The output holds 4 bytes of text and the terminator. */
static int gender_one(tq_context* ctx, const char* name) {
  char gender[8];
  int32_t rc = tq_gender_determine(ctx, "Name", name, gender);
  if (rc < 0) {
    fprintf(stderr, "tq_gender_determine(\"%s\") failed: %d\n", name, rc);
    print_errors(ctx);
    return 1;
  }
  printf("  %-12s %s\n", "Gender", gender);
  print_cuts(ctx, rc);
  return 0;
}

/* Parses one name and prints its tokens under their datatype's names, then
 * the name proper-cased and its gender; kLineSkipped when the name is not
 * valid UTF-8. */
static int parse_one(tq_context* ctx, int32_t datatype, const char* name) {
  static tq_parse_token tokens[TQ_PARSE_TOKENS];
  uint32_t count = 0;
  int32_t rc = tq_parse(ctx, "Name", name, tokens, &count);
  /* Under strict conversion text that is not valid UTF-8 is refused, not
   * mended; the parse is the first engine to see the line. */
  if (rc == TQ_ERR_INVALID_CHAR) return kLineSkipped;
  if (rc < 0) {
    fprintf(stderr, "tq_parse(\"%s\") failed: %d\n", name, rc);
    print_errors(ctx);
    return kLineFailed;
  }
  /* 101: the grammar found no parse and the words went by their categories. */
  printf("%s%s\n", name, rc == 101 ? "   (no parse; words placed by their categories)" : "");
  for (uint32_t k = 0; k < count; ++k) {
    char token_name[TQ_DATATYPE_TOKEN_SIZE] = "";
    if (tokens[k].value[0] == '\0') continue;
    tq_datatype_token_value_get(ctx, datatype, tokens[k].index, token_name);
    printf("  %-12s %s\n", token_name, tokens[k].value);
  }
  print_cuts(ctx, rc);
  /* The output buffer holds the longest value and any terminator. */
  char proper[kValueMax + 4];
  rc = tq_propercase(ctx, "Name", name, proper, (int32_t)sizeof proper);
  if (rc < 0) {
    fprintf(stderr, "tq_propercase(\"%s\") failed: %d\n", name, rc);
    print_errors(ctx);
    return 1;
  }
  printf("  %-12s %s\n", "Proper case", proper);
  print_cuts(ctx, rc);
  return gender_one(ctx, name);
}

/* Extracts the tokens of the datatype "Contact" (given name, family name,
 * company, other words) from one sentence and prints the ones found. */
static int extract_contact(tq_context* ctx, const char* sentence) {
  static tq_extract_token tokens[TQ_EXTRACT_TOKENS];
  uint32_t count = 0;
  int32_t index = -1;
  int32_t rc = tq_extraction_defn_index_get_by_name(ctx, "Contact", &index);
  if (rc >= 0) rc = tq_extract_by_index(ctx, index, sentence, tokens, &count);
  if (rc < 0) {
    fprintf(stderr, "tq_extract(\"%s\") failed: %d\n", sentence, rc);
    print_errors(ctx);
    return 1;
  }
  printf("%s\n", sentence);
  for (uint32_t k = 0; k < count; ++k) {
    char token_name[TQ_NAME_MAX + 1] = "";
    if (tokens[k].value[0] == '\0') continue;
    tq_extraction_defn_token_name_get(ctx, index, tokens[k].index, token_name);
    printf("  %-12s %s\n", token_name, tokens[k].value);
  }
  print_cuts(ctx, rc);
  return 0;
}

/* Prints the name standardized: given-name variants and suffixes in their
 * standard forms, periods dropped, proper-cased. */
static int standardize_one(tq_context* ctx, const char* name) {
  char standard[TQ_STANDARD_SIZE];
  int32_t rc = tq_standardize(ctx, "Name", name, standard);
  if (rc < 0) {
    fprintf(stderr, "tq_standardize(\"%s\") failed: %d\n", name, rc);
    print_errors(ctx);
    return 1;
  }
  printf("  %-12s %s\n", "Standardized", standard);
  print_cuts(ctx, rc);
  return 0;
}

/* Prints the name's match codes with the match definition "Name" at
 * sensitivities 95 and 85: names that share a code at a sensitivity are
 * taken for the same person there. At 85 familiar given names stand for
 * their formal ones and names are reduced to how they sound ("Phillips" and
 * "Philips" alike), so more names share a code. A code is at most code
 * length x 4 bytes (60 for "Name") and the terminator. */
static int match_codes_one(tq_context* ctx, const char* name) {
  char codes[2][TQ_MATCHCODE_SIZE];
  const uint32_t sensitivities[2] = {95, 85};
  char* outputs[2] = {codes[0], codes[1]};
  int32_t rc = tq_match_multiple_sens(ctx, "Name", sensitivities, 2, name, outputs);
  if (rc < 0) {
    fprintf(stderr, "tq_match_multiple_sens(\"%s\") failed: %d\n", name, rc);
    print_errors(ctx);
    return 1;
  }
  printf("  %-12s [%s] at 95, [%s] at 85\n", "Match codes", codes[0], codes[1]);
  print_cuts(ctx, rc);
  return 0;
}

/* Prints the value's character pattern with the pattern analysis
 * definition "Pattern" ("Mary Ann Smith" -> "Aaaa Aaa Aaaaa"). */
static int print_pattern(tq_context* ctx, const char* value) {
  char pattern[1028];
  int32_t rc = tq_pattern_analyze(ctx, "Pattern", value, pattern);
  if (rc < 0) {
    fprintf(stderr, "tq_pattern_analyze(\"%s\") failed: %d\n", value, rc);
    print_errors(ctx);
    return 1;
  }
  printf("  %-12s %s\n", "Pattern", pattern);
  print_cuts(ctx, rc);
  return 0;
}

/* Prints what kind of value the name is (a person's or an organisation's)
 * by the identification definition "Name". */
static int identify_one(tq_context* ctx, const char* name) {
  char identity[1028] = "";
  int32_t rc = tq_identify(ctx, "Name", name, identity);
  if (rc < 0) {
    fprintf(stderr, "tq_identify(\"%s\") failed: %d\n", name, rc);
    print_errors(ctx);
    return 1;
  }
  printf("  %-12s %s\n", "Identity", identity);
  print_cuts(ctx, rc);
  return 0;
}

/* Scores the line against each language definition and prints the best
 * (scores run from 0 to 1000). */
static int guess_language(tq_context* ctx, const char* line) {
  static const char* const languages[] = {"English", "German", "French", "Turkish"};
  const char* best = "none";
  int32_t best_score = 0;
  for (size_t i = 0; i < sizeof languages / sizeof languages[0]; ++i) {
    int32_t score = 0;
    int32_t rc = tq_language_guess_score(ctx, languages[i], line, &score);
    if (rc < 0) {
      fprintf(stderr, "tq_language_guess_score(\"%s\") failed: %d\n", languages[i], rc);
      print_errors(ctx);
      return 1;
    }
    if (score > best_score) {
      best_score = score;
      best = languages[i];
    }
  }
  printf("  %-12s %s (%d)\n", "Language", best, (int)best_score);
  return 0;
}

/* Prints the locale whose language the line reads most like ("none" when
 * no language scores above 0). */
static int guess_locale(tq_context* ctx, const char* line) {
  uint32_t guessed = 0;
  int32_t rc = tq_guess_locale(ctx, "Language", line, kGuessLocales, NULL, 4, &guessed);
  if (rc < 0) {
    fprintf(stderr, "guessing the locale of \"%s\" failed: %d\n", line, rc);
    print_errors(ctx);
    return 1;
  }
  char iso[TQ_LOCALE_ISO_MAX + 1] = "none";
  if (guessed != TQ_GUESS_NO_LOCALE) tq_locale_iso_name_get_by_code(ctx, (int32_t)guessed, iso);
  printf("  locale guess: %s\n", iso);
  return 0;
}

/* Reads one line of any length, without its line end ("\n" or "\r\n"). The
 * first kValueMax bytes are kept in line (kValueMax + 1 bytes) and
 * terminated; *length is the whole line's length and *nul is 1 when it
 * held a NUL byte, so that the caller sees the line whole before it uses
 * any of it. Returns 0 at the end of the input. */
static int read_line(FILE* in, char* line, size_t* length, int* nul) {
  int c = 0;
  int last = 0;
  *length = 0;
  *nul = 0;
  while ((c = getc(in)) != EOF && c != '\n') {
    if (c == '\0') *nul = 1;
    if (*length < kValueMax) line[*length] = (char)c;
    ++*length;
    last = c;
  }
  if (last == '\r') --*length;
  line[*length < kValueMax ? *length : kValueMax] = '\0';
  return c != EOF || *length > 0 || last == '\r';
}

/* Whether root holds the plain krxml sources of a knowledge base (as
 * examples/kb does) rather than the files the engine loads. */
static int holds_sources(const char* root) {
  char path[4096];
  snprintf(path, sizeof path, "%s/locale/enusa.loc.xml", root);
  FILE* source = fopen(path, "r");
  if (source != NULL) fclose(source);
  return source != NULL;
}

static void usage(FILE* out, const char* program) {
  fprintf(out,
          "usage: %s [-k KB_ROOT] [FILE | -]\n"
          "Parses the names of FILE, one a line (- reads standard input; by default\n"
          "%s), with the built knowledge base KB_ROOT (by default\n"
          "%s) and prints what each engine makes of each.\n",
          program, TQ_EXAMPLE_NAMES, TQ_EXAMPLE_KB);
}

/* Runs every engine on one line; kLineSkipped when the line is not UTF-8. */
static int handle_line(tq_context* ctx, int32_t datatype, const char* line) {
  int result = parse_one(ctx, datatype, line);
  if (result == kLineDone) result = identify_one(ctx, line);
  if (result == kLineDone) result = print_pattern(ctx, line);
  if (result == kLineDone) result = standardize_one(ctx, line);
  if (result == kLineDone) result = match_codes_one(ctx, line);
  if (result == kLineDone) result = guess_language(ctx, line);
  if (result == kLineDone) result = guess_locale(ctx, line);
  return result;
}

int main(int argc, char** argv) {
  const char* kb = TQ_EXAMPLE_KB;
  const char* file = TQ_EXAMPLE_NAMES;
  int arg = 1;
  if (arg < argc && (strcmp(argv[arg], "-h") == 0 || strcmp(argv[arg], "--help") == 0)) {
    usage(stdout, argv[0]);
    return 0;
  }
  if (arg + 1 < argc && strcmp(argv[arg], "-k") == 0) {
    kb = argv[arg + 1];
    arg += 2;
  }
  if (arg < argc && (argv[arg][0] != '-' || strcmp(argv[arg], "-") == 0)) file = argv[arg++];
  if (arg < argc) {
    usage(stderr, argv[0]);
    return 2;
  }
  FILE* in = strcmp(file, "-") == 0 ? stdin : fopen(file, "r");
  if (in == NULL) {
    fprintf(stderr, "cannot open %s: %s\n", file, strerror(errno));
    return 1;
  }
  tq_context* ctx = NULL;
  if (tq_init(&ctx, NULL) != 0) {
    fprintf(stderr, "tq_init failed\n");
    if (in != stdin) fclose(in);
    return 1;
  }
  int failed = 0;
  int32_t datatype = -1;
  /* UTF-8 in and out; the root is given after the encoding, so that it
   * is read as UTF-8 too. */
  int32_t rc = tq_session_encoding_set(ctx, TQ_ENC_UTF8);
  if (rc == 0) rc = tq_zel_path_set(ctx, kb);
  /* The locale with its parents, their datatypes and the definitions the
   * example uses: 104 says that something could not be read, and the error
   * list what. */
  if (rc == 0)
    rc = tq_zel_locale_load(ctx, kLocaleEnUsa,
                            TQ_LOAD_DATATYPES | TQ_LOAD_PARSE_DEFNS | TQ_LOAD_CASE_DEFNS | TQ_LOAD_STDZN_DEFNS |
                                TQ_LOAD_EXTRACT_DEFNS | TQ_LOAD_GENDER_DEFNS | TQ_LOAD_PATTERN_DEFNS |
                                TQ_LOAD_IDENT_DEFNS | TQ_LOAD_LANGUAGE_DEFNS | TQ_LOAD_GUESS_DEFNS |
                                TQ_LOAD_MATCH_DEFNS);
  if (rc > 0) load_warnings(ctx, "English (United States)", rc);
  /* The other candidates of locale guessing; loading makes a locale
   * current, so English (United States) is made current again. */
  for (int i = 1; i < 4 && rc >= 0; ++i) {
    int32_t loaded = tq_zel_locale_load(ctx, (int32_t)kGuessLocales[i],
                                        TQ_LOAD_DATATYPES | TQ_LOAD_LANGUAGE_DEFNS | TQ_LOAD_GUESS_DEFNS);
    if (loaded > 0) load_warnings(ctx, kGuessNames[i], loaded);
    if (loaded < 0) rc = loaded;
  }
  if (rc >= 0) rc = tq_locale_set(ctx, kLocaleEnUsa);
  if (rc >= 0) rc = tq_datatype_index_get_by_name(ctx, "Name", &datatype);
  if (rc < 0 && holds_sources(kb)) {
    fprintf(stderr,
            "%s holds the sources of a knowledge base, which the engine does not load:\n"
            "build them with \"tq_kbbuild %s OUTPUT_ROOT\" and pass -k OUTPUT_ROOT\n"
            "(the build makes the sample one in <build>/examples/kb)\n",
            kb, kb);
    failed = 1;
  } else if (rc < 0) {
    fprintf(stderr, "cannot load the knowledge base in %s: %d\n", kb, rc);
    print_errors(ctx);
    failed = 1;
  }

  /* Refuse text that is not valid in the session encoding rather than
   * replace what does not convert. */
  tq_options_set(ctx, tq_options_get(ctx) | TQ_OPT_STRICT_CONVERSION);

  const char* source = in == stdin ? "stdin" : file;
  char line[kValueMax + 1];
  size_t length = 0;
  int nul = 0;
  unsigned long number = 0;
  unsigned long skipped = 0;
  unsigned long names = 0;
  while (!failed && read_line(in, line, &length, &nul)) {
    ++number;
    if (length == 0) continue;
    int result = kLineSkipped;
    if (length > kValueMax) {
      fprintf(stderr, "%s:%lu: skipped: %zu bytes, longer than the %d the engines take\n", source, number, length,
              (int)kValueMax);
    } else if (nul) {
      fprintf(stderr, "%s:%lu: skipped: holds a NUL byte\n", source, number);
    } else {
      result = handle_line(ctx, datatype, line);
      if (result == kLineDone) ++names;
      if (result == kLineSkipped) fprintf(stderr, "%s:%lu: skipped: not valid UTF-8\n", source, number);
    }
    if (result == kLineSkipped) ++skipped;
    if (result == kLineFailed) failed = 1;
  }
  if (!failed && ferror(in)) {
    fprintf(stderr, "cannot read %s: %s\n", file, strerror(errno));
    failed = 1;
  }
  if (in != stdin) fclose(in);
  /* An input without a name (empty, or empty lines only) is told, and
   * fails the run: nothing the caller asked for was done. */
  if (!failed && names == 0 && skipped == 0) {
    fprintf(stderr, "no names were read from %s\n", source);
    failed = 1;
  }
  if (!failed) failed = extract_contact(ctx, "John Smith joined Acme Corp on Monday.");
  tq_close(ctx);
  if (skipped > 0) fprintf(stderr, "%lu line%s skipped\n", skipped, skipped == 1 ? "" : "s");
  return failed || skipped > 0;
}

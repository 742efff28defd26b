#!/usr/bin/env bash
# The programs a user runs first, run as a user runs them:
#
#   check_tools.sh KIND PROGRAM SOURCE_DIR BUILT_KB SCRATCH
#
# KIND example: bad input to the example client (PROGRAM tq_example);
# kbbuild: bad roots and sources to tq_kbbuild, and built locales that do
# not load cleanly; first: README's first
# client is examples/first.c (PROGRAM tq_first), and what it prints on the
# built sample knowledge base BUILT_KB. Each case gives the exit status it
# expects and a fragment its standard error and one its output must hold.
set -u
kind=$1 program=$2 source_dir=$3 kb=$4 scratch=$5
failures=0
rm -rf "$scratch" && mkdir -p "$scratch" && cd "$scratch" || exit 1

# holds FILE FRAGMENT: the file holds the fragment ("" in any file).
holds() { [ -z "$2" ] || grep -qF -- "$2" "$1"; }

# expect NAME STATUS STDERR_FRAGMENT STDOUT_FRAGMENT -- COMMAND...: runs
# the command with its standard input from the file "in" when there is one.
expect() {
  local name=$1 status=$2 err=$3 out=$4
  shift 5
  local input=/dev/null
  [ -f in ] && input=in
  "$@" <"$input" >stdout 2>stderr
  local got=$?
  if [ "$got" -ne "$status" ] || ! holds stderr "$err" || ! holds stdout "$out"; then
    echo "FAILED $name: exit $got (expected $status), stderr must hold \"$err\", stdout \"$out\""
    echo "-- stderr:"; head -n 20 stderr | cut -c1-300; echo "-- stdout:"; head -n 20 stdout | cut -c1-300
    failures=$((failures + 1))
  fi
  rm -f in
}

# A line of n bytes: a name padded with blanks.
line_of() { printf 'John Smith%*s\n' $(($1 - 10)) ''; }

case $kind in
example)
  # Every line the engines cannot take whole is reported with its number
  # and skipped; the other lines and the extraction sentence still come.
  { head -c 1000000 /dev/zero | tr '\0' q; printf '\nMary Smith\n'; } >in
  expect long-line 1 "stdin:1: skipped: 1000000 bytes" "Mary Smith" -- "$program" -
  if grep -q qqqq stdout; then echo "FAILED long-line: a part of the long line was parsed"; failures=$((failures + 1)); fi
  { line_of 1024; line_of 1025; } >in
  expect longest-line 1 "stdin:2: skipped: 1025 bytes" "Family Name  Smith" -- "$program" -
  printf 'J\xe9r\xf4me Smith\nAnn Lee\r\n' >in
  expect not-utf8 1 "stdin:1: skipped: not valid UTF-8" "Given Name   Ann" -- "$program" -
  printf 'John\0Smith\n' >in
  expect nul-byte 1 "stdin:1: skipped: holds a NUL byte" "Acme Corp" -- "$program" -
  head -c 20000 "$program" >binary
  expect binary-file 1 "lines skipped" "" -- "$program" binary
  expect names 0 "" "John Smith joined Acme Corp on Monday." -- "$program"
  # An input without a name says so; a result an engine cut is noted under it.
  : >in
  expect empty-input 1 "no names were read from stdin" "" -- "$program" -
  printf '\n\r\n' >in
  expect empty-lines 1 "no names were read from stdin" "" -- "$program" -
  { printf 'bill '; head -c 1019 /dev/zero | tr '\0' x; printf '\n'; } >in
  expect cut-result 0 "" "Note         In tq_standardize, the joined text was cut to 1024 bytes" -- "$program" -
  expect help 0 "" "usage:" -- "$program" --help
  expect short-help 0 "" "usage:" -- "$program" -h
  expect bad-option 2 "usage:" "" -- "$program" -x
  expect missing-file 1 "cannot open no-such-file: No such file or directory" "" -- "$program" no-such-file
  expect folder-as-file 1 "cannot read .: Is a directory" "" -- "$program" .
  expect kb-sources 1 "holds the sources of a knowledge base" "" -- "$program" -k "$source_dir/examples/kb"
  grep -qF "tq_kbbuild $source_dir/examples/kb OUTPUT_ROOT" stderr ||
    { echo "FAILED kb-sources: no tq_kbbuild command given"; failures=$((failures + 1)); }  # A knowledge base whose load warns: the warnings come under a heading.
  cp -r "$kb" warns && rm warns/scheme/en_nickname.sch.zel
  expect load-warning 1 "loading the locale English (United States) gave the warning 104" "" -- "$program" -k warns
  grep -qF "en_nickname" stderr || { echo "FAILED load-warning: the missing scheme is not named"; failures=$((failures + 1)); }
  ;;
kbbuild)
  expect help 0 "" "usage: tq_kbbuild SOURCE_ROOT OUTPUT_ROOT" -- "$program" -h
  expect long-help 0 "" "usage: tq_kbbuild SOURCE_ROOT OUTPUT_ROOT" -- "$program" --help
  expect no-arguments 2 "usage: tq_kbbuild SOURCE_ROOT OUTPUT_ROOT" "" -- "$program"
  mkdir empty src src/locale src/vocab
  cp "$source_dir/examples/kb/locale/l1.loc.xml" src/locale/
  echo '<vocab' >src/vocab/broken.xml
  expect missing-root 1 "no-such-root is not a folder: No such file or directory" "" -- "$program" no-such-root out
  expect file-root 1 "is not a folder" "" -- "$program" src/locale/en.loc.xml out
  expect empty-root 1 "empty holds nothing to build" "" -- "$program" empty out
  expect broken-source 1 "cannot build src/vocab/broken.xml" "" -- "$program" src out
  [ ! -e out ] || { echo "FAILED broken-source: out was made"; failures=$((failures + 1)); }
  # A failed build leaves an existing output root as it was.
  mkdir kept && touch kept/file
  expect broken-source-kept 1 "nothing written into kept" "" -- "$program" src kept
  [ "$(ls -A kept)" = file ] || { echo "FAILED broken-source-kept: kept holds $(ls -A kept)"; failures=$((failures + 1)); }
  touch plain
  expect output-not-writable 1 "cannot write into plain/kb: Not a directory" "" -- "$program" "$source_dir/examples/kb" plain/kb
  rm src/vocab/broken.xml
  expect built 0 "" "1 files written into kept" -- "$program" src kept
  [ "$(ls -A kept | tr '\n' ' ')" = "file locale " ] && [ -f kept/locale/l1.loc.zel ] ||
    { echo "FAILED built: kept holds $(ls -AR kept)"; failures=$((failures + 1)); }
  # A rebuild keeps what every save keeps of a file in place: its bits and
  # its access control list (where setfacl and the file system have lists).
  chmod 600 kept/locale/l1.loc.zel
  setfacl -m u:1235:r kept/locale/l1.loc.zel 2>/dev/null || true
  access() { stat -c %a "$1"; getfacl -cn "$1" 2>/dev/null || true; }
  access kept/locale/l1.loc.zel >access-before
  expect rebuilt 0 "" "1 files written into kept" -- "$program" src kept
  access kept/locale/l1.loc.zel | cmp -s - access-before ||
    { echo "FAILED rebuilt: kept/locale/l1.loc.zel was $(cat access-before), is $(access kept/locale/l1.loc.zel)"; failures=$((failures + 1)); }
  # Every document is written, but a built locale does not load cleanly:
  # English without the resources its definitions name, the sample without
  # its nickname scheme, which leaves the match definition unusable.
  # Nothing is put in place.
  cp "$source_dir/examples/kb/locale/en.loc.xml" src/locale/
  expect no-resources 1 "the locale EN built from src/locale/en.loc.xml does not load cleanly" "" -- "$program" src kept
  grep -qF "'en_person'" stderr && [ ! -e kept/locale/en.loc.zel ] ||
    { echo "FAILED no-resources: the vocabulary is not named, or kept changed"; failures=$((failures + 1)); }
  cp -r "$source_dir/examples/kb" sample && rm sample/scheme/en_nickname.sch.xml
  expect no-nicknames 1 "the locale ENUSA built from sample/locale/enusa.loc.xml does not load cleanly (104)" \
    "" -- "$program" sample sample-out
  grep -qF "en_nickname" stderr && grep -qF "nothing written into sample-out" stderr ||
    { echo "FAILED no-nicknames: the scheme or the outcome is not named"; failures=$((failures + 1)); }
  [ ! -e sample-out ] || { echo "FAILED no-nicknames: sample-out was made"; failures=$((failures + 1)); }
  # The whole sample builds and every locale of it loads cleanly.
  expect sample 0 "" "files written into sample-out" -- "$program" "$source_dir/examples/kb" sample-out
  [ ! -s stderr ] || { echo "FAILED sample: it printed warnings"; failures=$((failures + 1)); }
  # Rebuilding in place after a source was removed fails as a first build
  # does: the check sees nothing of the old output, names the source as the
  # sources would hold it, lists the old built file no source makes any
  # more, and moves nothing.
  listing() { (cd sample-out && find . -type f -exec cksum {} + | sort); }
  listing >before
  expect rebuild-without-source 1 \
    "sample holds no scheme/en_nickname.sch.xml, which the locale ENUSA built from sample/locale/enusa.loc.xml names" \
    "" -- "$program" sample sample-out
  grep -qF "no source builds sample-out/scheme/en_nickname.sch.zel any more; it is left in place" stderr &&
    grep -qF "nothing written into sample-out" stderr && ! grep -qF ".kbbuild" stderr ||
    { echo "FAILED rebuild-without-source: the orphan or outcome is not named, or staging shows"; failures=$((failures + 1)); }
  listing | cmp -s - before || { echo "FAILED rebuild-without-source: sample-out changed"; failures=$((failures + 1)); }
  ;;
first)
  # README shows examples/first.c whole, as the one C block it holds.
  awk '/^```c$/ { on = 1; next } /^```$/ { on = 0 } on' "$source_dir/README.md" >readme_first.c
  diff -u "$source_dir/examples/first.c" readme_first.c ||
    { echo "FAILED readme: README's C block is not examples/first.c"; failures=$((failures + 1)); }
  expect first 0 "" "Proper case  Johannes van der Waals" -- "$program" "$kb" "JOHANNES VAN DER WAALS"
  grep -qE '^Match code   \[.+\]$' stdout || { echo "FAILED first: no match code"; failures=$((failures + 1)); }
  expect first-usage 2 "usage:" "" -- "$program"
  expect first-sources 1 "failed: -400" "" -- "$program" "$source_dir/examples/kb" "John Smith"
  ;;
*)
  echo "unknown kind $kind"
  exit 2
  ;;
esac
[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }

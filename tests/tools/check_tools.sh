#!/usr/bin/env bash
# The programs a user runs first, run as a user runs them:
#
#   check_tools.sh KIND PROGRAM SOURCE_DIR BUILT_KB SCRATCH
#
# KIND kbbuild: bad roots and sources to tq_kbbuild (PROGRAM). Each case
# gives the exit status it expects and a fragment its standard error and
# one its output must hold.
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
kbbuild)
  mkdir empty src src/locale src/vocab
  cp "$source_dir/examples/kb/locale/en.loc.xml" src/locale/
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
  [ "$(ls -A kept | tr '\n' ' ')" = "file locale " ] && [ -f kept/locale/en.loc.zel ] ||
    { echo "FAILED built: kept holds $(ls -AR kept)"; failures=$((failures + 1)); }
  ;;
*)
  echo "unknown kind $kind"
  exit 2
  ;;
esac
[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }

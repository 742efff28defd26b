#!/usr/bin/env bash
# The programs a user runs first, run as a user runs them:
#
#   check_tools.sh KIND PROGRAM SOURCE_DIR BUILT_KB SCRATCH [FAULT_SHIM KB_LOADS]
#
# KIND example: bad input to the example client (PROGRAM tq_example);
# kbbuild: bad command lines (unknown options, roots after --), bad roots
# (too long ones too, with and without /proc; not UTF-8; holding a
# backslash) and sources (kind folders and entries that are no file or
# cannot be looked at, names not UTF-8 or holding a backslash) to
# tq_kbbuild, the
# library's messages it reads pinned to its catalogue, built
# locales that do not load cleanly, races with another build, first builds
# and rebuilds refused, out of room or killed while they put the files in
# place, the folders a first build makes forced to the disk (by a run
# refused the lock too), a source
# changed during a build, interrupted system calls (some
# after they took effect), I/O errors, a failed way back from the check, a
# failed last tidying and (without a sanitizer) failed allocations (FAULT_SHIM the fault injector tests/tools/
# fault_inject.c, KB_LOADS tests/tools/kb_loads.c); first: README's first
# client is examples/first.c (PROGRAM tq_first), and what it prints on the
# built sample knowledge base BUILT_KB. Each case gives the exit status it
# expects and a fragment its standard error and one its output must hold.
set -u
kind=$1 program=$2 source_dir=$3 kb=$4 scratch=$5
failures=0
fail() { echo "FAILED $1"; head -n 20 stderr | cut -c1-300; failures=$((failures + 1)); }
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
    fail "$name: exit $got (expected $status), stderr must hold \"$err\", stdout \"$out\""
    head -n 20 stdout | cut -c1-300
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
  ! grep -q qqqq stdout || fail "long-line: a part of the long line was parsed"
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
    fail "kb-sources: no tq_kbbuild command given"
  # A knowledge base whose load warns: the warnings come under a heading.
  cp -r "$kb" warns && rm warns/scheme/en_nickname.sch.zel
  expect load-warning 1 "loading the locale English (United States) gave the warning 104" "" -- "$program" -k warns
  grep -qF "en_nickname" stderr || fail "load-warning: the missing scheme is not named"
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
  # An unknown option is a wrong command line wherever it stands, never a
  # root: the usage on standard error, exit 2, nothing made.
  for args in "-q out" "--frobnicate out" "src -q out"; do
    # shellcheck disable=SC2086 # the words are the arguments
    expect "option in $args" 2 "unknown option '$(tr ' ' '\n' <<<"$args" | grep -e '^-')'" "" -- "$program" $args
    grep -qF "usage: tq_kbbuild SOURCE_ROOT OUTPUT_ROOT" stderr && [ ! -e out ] || fail "option in $args: no usage, or out made"
  done
  [ ! -e out ] || fail "broken-source: out was made"
  # A failed build removes every folder it made for the output root, however
  # the root is written, and leaves a parent that was there as it was.
  for root in new/a/out new/a/out/ new/./a/../b/out/; do
    expect "broken-source $root" 1 "nothing written into $root" "" -- "$program" src "$root"
    [ ! -e new ] || fail "broken-source $root: it left $(find new | tr '\n' ' ')"
  done
  mkdir -p parent/sub && touch parent/file && ls -AR parent >before
  expect broken-source-parent 1 "nothing written into parent/a/out/" "" -- "$program" src parent/a/out/
  ls -AR parent | cmp -s - before || fail "broken-source-parent: parent holds $(ls -AR parent | tr '\n' ' ')"
  # A failed build leaves an existing output root as it was.
  mkdir kept && touch kept/file
  expect broken-source-kept 1 "nothing written into kept" "" -- "$program" src kept
  [ "$(ls -A kept)" = file ] || fail "broken-source-kept: kept holds $(ls -A kept)"
  touch plain
  expect output-not-writable 1 "cannot write into plain/kb: Not a directory" "" -- "$program" "$source_dir/examples/kb" plain/kb
  # The library takes paths as UTF-8: a root or a source name that is not
  # is refused up front, saying so.
  expect output-not-utf8 1 "its bytes are not UTF-8 text (byte 4, 0xFF)" "" -- "$program" src "out$(printf '\xff')/kb"
  [ ! -e "out$(printf '\xff')" ] || fail "output-not-utf8: it was made"
  cp src/vocab/broken.xml "src/vocab/$(printf 'a\xed\xa0\x80').xml"
  expect source-not-utf8 1 "its name is not UTF-8 text (byte 2, 0xED)" "" -- "$program" src out
  rm src/vocab/a*.xml
  # So is a backslash, which the library takes as a separator between
  # folders: it would name another file than the one given.
  expect output-backslash 1 "cannot write into out\\kb: it holds a backslash (byte 4, 0x5C)" "" -- "$program" src 'out\kb'
  [ ! -e 'out\kb' ] || fail "output-backslash: it was made"
  cp src/vocab/broken.xml 'src/vocab/a\b.xml'
  expect source-backslash 1 "src/vocab/a\\b.xml: its name holds a backslash (byte 2, 0x5C)" "" -- "$program" src out
  rm 'src/vocab/a\b.xml'
  rm src/vocab/broken.xml
  # A reference to an entity the source does not define would read as nothing.
  sed -e '1a<!DOCTYPE krxml SYSTEM "krxml.dtd">' -e 's|^<data|<property name="Note">ACME \&undefined; CORP</property>&|' \
    "$source_dir/examples/kb/locale/l1.loc.xml" >src/locale/l1.loc.xml
  expect undefined-entity 1 "lies outside it and is never read: &undefined;." "" -- "$program" src kept
  # The same in ISO-8859-1 behind a comment whose 1,025th character is a
  # quote: the parser hands converted text in pieces, which change nothing.
  sed -e '1s/UTF-8/ISO-8859-1/' -e '1a<!DOCTYPE krxml SYSTEM "krxml.dtd">' -e "1a<!--$(printf '%1020s' '' | tr ' ' a)\"-->" \
    -e 's|^<data|<property name="Note">ACME \&undefined; CORP</property>&|' \
    "$source_dir/examples/kb/locale/l1.loc.xml" >src/locale/l1.loc.xml
  expect undefined-entity-latin1 1 "lies outside it and is never read: &undefined;." "" -- "$program" src kept
  cp "$source_dir/examples/kb/locale/l1.loc.xml" src/locale/
  expect built 0 "" "1 files written into kept" -- "$program" src kept
  # "--" ends the options: roots whose names begin with '-' build.
  cp -r src ./-src
  expect dash-roots 0 "" "1 files written into -out" -- "$program" -- -src -out
  [ -f ./-out/locale/l1.loc.zel ] || fail "dash-roots: -out holds $(ls -AR ./-out 2>&1 | tr '\n' ' ')"
  # A kind folder that is a symbolic link to nothing there (a share not
  # mounted) or round in a loop is a folder the user means, not an absent
  # one: named with the reason, and nothing is made.
  rmdir src/vocab && ln -s "$PWD/no-share/vocab" src/vocab
  expect kind-folder-dangling 1 "cannot read src/vocab: it is a symbolic link to nothing there: No such file or directory" \
    "" -- "$program" src link-out
  rm src/vocab && ln -s vocab src/vocab
  expect kind-folder-loop 1 "cannot read src/vocab: Too many levels of symbolic links" "" -- "$program" src link-out
  [ ! -e link-out ] || fail "kind-folder: link-out was made"
  rm src/vocab && mkdir src/vocab
  [ "$(ls -A kept | tr '\n' ' ')" = "file locale " ] && [ -f kept/locale/l1.loc.zel ] ||
    fail "built: kept holds $(ls -AR kept)"
  # A rebuild keeps what every save keeps of a file in place: its bits and
  # its access control list (where setfacl and the file system have lists).
  chmod 600 kept/locale/l1.loc.zel
  setfacl -m u:1235:r kept/locale/l1.loc.zel 2>/dev/null || true
  access() { stat -c %a "$1"; getfacl -cn "$1" 2>/dev/null || true; }
  access kept/locale/l1.loc.zel >access-before
  expect rebuilt 0 "" "1 files written into kept" -- "$program" src kept
  access kept/locale/l1.loc.zel | cmp -s - access-before ||
    fail "rebuilt: kept/locale/l1.loc.zel was $(cat access-before), is $(access kept/locale/l1.loc.zel)"
  # Every document is written, but a built locale does not load cleanly:
  # English without the resources its definitions name, the sample without
  # its nickname scheme, which leaves the match definition unusable.
  # Nothing is put in place.
  cp "$source_dir/examples/kb/locale/en.loc.xml" src/locale/
  expect no-resources 1 "the locale EN built from src/locale/en.loc.xml does not load cleanly" "" -- "$program" src kept
  grep -qF "'en_person'" stderr && [ ! -e kept/locale/en.loc.zel ] ||
    fail "no-resources: the vocabulary is not named, or kept changed"
  cp -r "$source_dir/examples/kb" sample && rm sample/scheme/en_nickname.sch.xml
  expect no-nicknames 1 "the locale ENUSA built from sample/locale/enusa.loc.xml does not load cleanly (104)" \
    "" -- "$program" sample sample-out
  grep -qF "sample holds no scheme/en_nickname.sch.xml, which the locale ENUSA built from sample/locale/enusa.loc.xml" \
    stderr && grep -qF "nothing written into sample-out" stderr || fail "no-nicknames: the scheme or the outcome is not named"
  [ ! -e sample-out ] || fail "no-nicknames: sample-out was made"
  # The whole sample builds and every locale of it loads cleanly.
  expect sample 0 "" "files written into sample-out" -- "$program" "$source_dir/examples/kb" sample-out
  [ ! -s stderr ] || fail "sample: it printed warnings"
  # A grammar that reads well alone but not as the load reads it, and a name
  # that is a path no file answers (relative, with '/' or '\', or absolute):
  # the messages name the grammar's source, and the path as what it is.
  cp -r "$source_dir/examples/kb" named && sed -i 's/CategoryQty/CategoryQtyX/g' named/grammar/en_person.xml
  expect grammar-load 1 "the grammar built from named/grammar/en_person.xml, which the locale EN built" "" \
    -- "$program" named named-out
  # A grammar without the category every parse needs fails the build, named.
  sed 's/<record key="NUM">/<record key="NUMBER">/' "$source_dir/examples/kb/grammar/en_person.xml" \
    >named/grammar/en_person.xml
  expect grammar-lacks-num 1 "the grammar built from named/grammar/en_person.xml, which the locale EN built from named/locale/en.loc.xml names, lacks the category NUM" \
    "" -- "$program" named named-out
  cp "$source_dir/examples/kb/grammar/en_person.xml" named/grammar/
  for name in 'scheme/../extra/kw.sch' 'extra\kw.sch' /nowhere/kw.sch; do
    sed "s|<record key=\"en_nickname\">|<record key=\"${name//\\/\\\\}\">|" \
      "$source_dir/examples/kb/locale/en.loc.xml" >named/locale/en.loc.xml
    hint="a path relative to the staging folder named-out/.kbbuild"
    [ "${name:0:1}" != / ] || hint="which was not found"
    expect "path-name $name" 1 "names '$name', $hint" "" -- "$program" named named-out
  done
  # The check reads facts from the library's messages, which give them in
  # no code: each form it reads is a row of the library's message catalogue,
  # word for word, and each is met above or here through the library, the
  # fact read from it checked (a scheme a language definition names).
  forms=$(sed -n 's/^constexpr MessageForm k[A-Za-z]* = {\([0-9]*\), \(".*"\)};$/TQ_MSG(\1, \2)/p' \
    "$source_dir/tools/kbbuild.cpp")
  [ "$(grep -c . <<<"$forms")" -ge 5 ] || fail "message forms: only $(grep -c . <<<"$forms") in tools/kbbuild.cpp"
  while IFS= read -r form; do
    grep -qxF -- "$form" "$source_dir/src/platform/tqmsg_catalog.inc" || fail "not in the catalogue: $form"
  done <<<"$forms"
  cp -r "$source_dir/examples/kb" trig && rm trig/scheme/lang_de_trigrams.sch.xml
  expect language-scheme 1 "trig holds no scheme/lang_de_trigrams.sch.xml, which the locale DE built" "" \
    -- "$program" trig trig-out
  # Every *.xml entry of a kind folder is a source: one that is no file or
  # cannot be looked at fails the build, each named, and nothing is written,
  # over a clean build too.
  cp -r "$source_dir/examples/kb" entries && rm entries/locale/enusa.loc.xml && mkdir entries/locale/enusa.loc.xml
  expect source-folder 1 "cannot build entries/locale/enusa.loc.xml: it is not a file" "" -- "$program" entries out
  [ ! -e out ] || fail "source-folder: out was made"
  rmdir entries/locale/enusa.loc.xml && cp "$source_dir/examples/kb/locale/enusa.loc.xml" entries/locale/
  ln -sf tr.loc.xml entries/locale/tr.loc.xml && ln -s nowhere.xml entries/vocab/gone.xml
  cp -a sample-out entries-out && listing() { (cd "$1" && find . -type f -exec cksum {} + | sort); }
  listing entries-out >before
  expect source-loop 1 "cannot build entries/locale/tr.loc.xml: it cannot be looked at: Too many levels of symbolic links" \
    "" -- "$program" entries entries-out
  grep -qF "cannot build entries/vocab/gone.xml: it is a symbolic link to nothing there" stderr &&
    grep -qF "nothing written into entries-out" stderr && listing entries-out | cmp -s - before ||
    fail "source-loop: the dangling link or the outcome is not named, or entries-out changed"
  # Rebuilding in place after a source was removed fails as a first build
  # does: the check sees nothing of the old output, names the source as the
  # sources would hold it (en_person: the vocabulary, not the grammar of
  # that name), lists the old built file no source makes any more, and
  # moves nothing.
  listing sample-out >before && rm sample/vocab/en_person.xml
  expect rebuild-without-source 1 \
    "sample holds no scheme/en_nickname.sch.xml, which the locale ENUSA built from sample/locale/enusa.loc.xml names" \
    "" -- "$program" sample sample-out
  grep -qF "no source builds sample-out/scheme/en_nickname.sch.zel any more; it is left in place" stderr &&
    grep -qF "sample holds no vocab/en_person.xml, which the locale EN" stderr && ! grep -qF "holds no grammar/" stderr &&
    grep -qF "nothing written into sample-out" stderr && ! grep -qF ".kbbuild" stderr ||
    fail "rebuild-without-source: the orphan or outcome is not named, or staging shows"
  listing sample-out | cmp -s - before || fail "rebuild-without-source: sample-out changed"
  # A source the source folder holds is never told missing: beside the
  # missing vocabulary en_person, the grammar of that name is there but does
  # not load, and is named so.
  cp -r "$source_dir/examples/kb" person && mv person/vocab/en_person.xml person-vocab.xml &&
    sed -i 's/CategoryQty/CategoryQtyX/g' person/grammar/en_person.xml
  expect held-grammar 1 "person holds no vocab/en_person.xml, which the locale EN built" "" -- "$program" person person-out
  grep -qF "the grammar built from person/grammar/en_person.xml, which the locale EN built from person/locale/en.loc.xml names, does not load" \
    stderr && ! grep -qF "holds no grammar/" stderr || fail "held-grammar: the grammar is told missing, or not told"
  # A rebuild over a knowledge base in place leaves every file as it was
  # when it fails at any step (bytes, bits, owner, group, the very inode,
  # the access control list where getfacl is there; nothing made stays),
  # and every locale loadable when it is killed at any step. The knowledge
  # base: L1, EN (its case definition names the regex library en_comma), a
  # vocabulary; the rebuild's EN names en_comma2 instead, which only the
  # rebuild makes: an EN put in place before it would not load.
  shim=$6 loads=$7
  mkdir -p small/locale small/regexlib small/vocab
  for f in locale/l1.loc.xml regexlib/en_comma.xml vocab/en_name_noise.xml; do cp "$source_dir/examples/kb/$f" "small/$f"; done
  printf '%s\n' '<?xml version="1.0" encoding="UTF-8"?>' '<krxml><file type="Locale Settings" version="7.0">' \
    '<property name="Locale ISO Code">EN</property><property name="Locale Description">English</property>' \
    '<property name="Locale Code">29000</property>' \
    '<include name="Datatype"><file type="Datatype" version="7.0"><property name="Name">Text</property>' \
    '<data length="1"><record><value>Text</value></record></data></file></include>' \
    '<include name="Caseorithm"><file type="Caseorithm" version="7.0"><property name="Name">Text</property>' \
    '<property name="Datatype">Text</property><property name="Case">Proper</property>' \
    '<property name="Postprocessing Regexlib">en_comma</property></file></include>' '<data length="0"/></file></krxml>' \
    >small/locale/en.loc.xml
  cp -r small small2
  for f in locale/en.loc.xml regexlib/en_comma.xml; do sed 's/>en_comma</>en_comma2</' "small/$f" >"small2/${f/comma/comma2}"; done
  "$program" small small-out >/dev/null 2>stderr && "$loads" small-out L1 EN 2>stderr || fail "small: not built"
  chmod 640 small-out/locale/en.loc.zel
  setfacl -m u:1235:r small-out/locale/en.loc.zel 2>/dev/null || true
  cp -a small-out pristine
  # state ROOT: every entry of the tree with its type, bits, owner, group and
  # inode, every file's checksum, and the lists where getfacl is there.
  # With FORMAT given, the entries are listed in that form instead (built:
  # without inodes, to compare the work of two runs).
  state() {
    [ -e "$1" ] || return 0
    (cd "$1" && find . -printf "${2:-%p %y %m %U %G %i\n}" -type f -exec cksum {} + | sort &&
      { find . -print0 | sort -z | xargs -0 getfacl -n 2>/dev/null || true; })
  }
  built='%p %y %m %U %G\n'
  # unchanged NAME ROOT REASON: the last run exited 1 saying that nothing
  # was written and why, and ROOT is as the file "before" says.
  unchanged() {
    [ "$got" -eq 1 ] && grep -qF "nothing written into $2" stderr && grep -qF "$3" stderr &&
      state "$2" | cmp -s - before ||
      fail "$1: exit $got, no \"$3\", or $2 changed: $(state "$2" | diff before - | head -n 4 | tr '\n' ' ')"
  }
  # Refused up front: a read-only file, a file held by another program,
  # one whose lock file an editor holds, and (as root, run as nobody) a
  # file of another user, whose owner the replacement could not be given.
  chmod 444 small-out/vocab/en_name_noise.zev && state small-out >before
  "$program" small2 small-out >stdout 2>stderr
  got=$? && unchanged read-only small-out "'small-out/vocab/en_name_noise.zev' is read-only"
  grep -qF "cannot put small-out/vocab/en_name_noise.zev in place (built from small2/vocab/en_name_noise.xml) (-400):" \
    stderr || fail "read-only: file not named"
  # So where /proc is not mounted: the build then names its files from the
  # staging folder, and its messages name them as before.
  LD_PRELOAD="$(ldd "$program" | awk '/lib(asan|tsan)\.so/ { print $3 }') $6" TQ_FAULT_NO_PROC=1 "$program" small2 \
    small-out >stdout 2>stderr
  got=$? && unchanged "read-only without /proc" small-out "'small-out/vocab/en_name_noise.zev' is read-only"
  chmod 644 small-out/vocab/en_name_noise.zev
  if command -v flock >/dev/null; then
    for held in locale/l1.loc.zel vocab/en_name_noise.zev.lck; do
      : >>"small-out/$held" && state small-out >before
      flock -x "small-out/$held" "$program" small2 small-out >stdout 2>stderr
      got=$? && unchanged "held $held" small-out "'small-out/${held%.lck}' is locked by another program"
    done
    rm small-out/vocab/en_name_noise.zev.lck
  fi
  as_nobody() { setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups "$@"; }
  if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null && id nobody >/dev/null 2>&1 &&
    cp -a small-out theirs && chown -R nobody theirs && as_nobody test -w theirs -a -r small2/locale/en.loc.xml &&
    as_nobody "$program" -h >/dev/null 2>&1; then
    chown 0:0 theirs/vocab/en_name_noise.zev && chmod 646 theirs/vocab/en_name_noise.zev && state theirs >before
    as_nobody "$program" small2 theirs >stdout 2>stderr
    got=$? && unchanged another-user theirs "'theirs/vocab/en_name_noise.zev' belongs to user 0 and group 0"
    # The lock file a killed build of another user left is taken over.
    chown -R nobody:"$(id -g nobody)" theirs && echo 1 >theirs/.kbbuild.lock
    as_nobody "$program" small2 theirs >stdout 2>stderr && [ ! -e theirs/.kbbuild.lock ] ||
      fail "another user's lock: not taken over"
  fi
  # Every step the rebuild takes in the output root, run out of room (as on
  # a full disk) and killed, by the fault injector preloaded after the
  # sanitizer runtime the program may be linked with (which must come
  # first): no timing is involved. faulty ENOSPC KILL: the rebuild into
  # "killed" (umask 000), step ENOSPC out of room and killed before step
  # KILL (0: none).
  runtime=$(ldd "$program" | awk '/lib(asan|tsan)\.so/ { print $3 }')
  faulty() {
    rm -f fault.log
    (umask 000 && LD_PRELOAD="$runtime${runtime:+ }$shim" TQ_FAULT_ROOT="$(pwd -P)/killed" TQ_FAULT_ENOSPC=$1 \
      TQ_FAULT_KILL=$2 TQ_FAULT_LOG="$PWD/fault.log" "$program" small2 killed
      exit) >stdout 2>stderr
  }
  # loadable ROOT: every locale whose file ROOT/locale holds loads.
  loadable() {
    local isos
    isos=$(find "$1/locale" -maxdepth 1 -name '*.loc.zel' -printf '%f\n' 2>/dev/null | sed 's/\.loc\.zel$//' | tr a-z A-Z)
    [ -z "$isos" ] || "$loads" "$1" $isos 2>stderr
  }
  # fresh ROOT FROM: ROOT made anew as a copy of FROM, or missing (none).
  fresh() { rm -rf "$1" && { [ "$2" = none ] || cp -a "$2" "$1"; }; }
  # What another build does meanwhile, played by the fault injector inside
  # this run's own calls (other MOVE ROOT: a build of small into ROOT): the
  # output root it made and removed as it failed, between this run's mkdir
  # and its look, is made again; refused the lock, which that build held and
  # gave up, the run removes the folders it made, while they are empty.
  other() {
    LD_PRELOAD="$runtime${runtime:+ }$shim" TQ_FAULT_ROOT="$(pwd -P)/$2" TQ_FAULT_OTHER=$1 "$program" small "$2" \
      >stdout 2>stderr
  }
  mkdir gone && other removes-root gone && loadable gone || fail "removes-root: $(head -n 2 stderr)"
  other holds-lock new/busy
  got=$? && [ "$got" -eq 1 ] && grep -qF "another build into new/busy is running" stderr && [ ! -e new ] ||
    fail "holds-lock: exit $got, not refused, or it left $(find new 2>/dev/null | tr '\n' ' ')"
  # An output root as long as the paths the build makes in it allow: refused
  # past it, with how long it may be, before anything is made; at that length
  # a first build and a rebuild (which makes the longest paths) build, and
  # every locale loads. A name past NAME_MAX is refused as early.
  # deep N: a relative path of N bytes, folders of 200 bytes under "deep".
  deep() {
    local path=deep
    while [ $((${#path} + 202)) -lt "$1" ]; do path=$path/$(printf '%200s' '' | tr ' ' d); done
    printf '%s/%s' "$path" "$(printf "%$(($1 - ${#path} - 1))s" "" | tr ' ' e)"
  }
  expect long-name 1 "a name may have at most 255 (NAME_MAX)" "" -- "$program" small "deep/$(printf '%256s' '' | tr ' ' n)/out"
  expect long-root 1 "with these sources OUTPUT_ROOT may have at most " "" -- "$program" small2 "$(deep 4500)"
  most=$(sed -n 's/.*OUTPUT_ROOT may have at most \([0-9]*\):.*/\1/p' stderr)
  expect longest-root+1 1 "OUTPUT_ROOT may have at most ${most:=0}:" "" -- "$program" small2 "$(deep $((most + 1)))"
  [ "$(grep -c "cannot write into deep/" stderr)" = 1 ] && [ ! -e deep ] && [ "$most" -gt 2100 ] ||
    fail "longest-root+1: refused at $most bytes, said more than once, or deep was made"
  "$program" small "$(deep "$most")" >stdout 2>stderr && "$program" small2 "$(deep "$most")" >stdout 2>stderr &&
    "$loads" "$(deep "$most")" L1 EN 2>stderr || fail "longest-root: $(head -n 2 stderr | cut -c1-300)"
  # So where /proc is not mounted: the same files.
  state "$(deep "$most")" "$built" >longest && rm -rf deep
  noproc() { LD_PRELOAD="$runtime${runtime:+ }$shim" TQ_FAULT_NO_PROC=1 "$program" "$@" >stdout 2>stderr; }
  noproc small "$(deep "$most")" && noproc small2 "$(deep "$most")" &&
    state "$(deep "$most")" "$built" | cmp -s - longest ||
    fail "longest-root without /proc: $(head -n 2 stderr | cut -c1-300)"
  rm -rf deep
  # The library takes a vocabulary's source name of up to 1,024 bytes
  # without its extension, and refuses a longer one naming both lengths.
  for length in 1024 1025; do
    from="small$(printf "%$((length - 24))s" '' | tr ' ' /)vocab/en_name_noise.xml"
    "$loads" -c "$from" ./converted 2>stderr
    got=$?
    if [ "$length" = 1024 ]; then
      [ "$got" = 0 ] && [ -f converted.zev ] || fail "convert $length: exit $got: $(head -n 2 stderr)"
    else
      [ "$got" = 1 ] && grep -qF -- "-802: tq_vocab_file_convert was given a source path of 1025 bytes" stderr &&
        grep -qF "longer than the 1024 bytes" stderr || fail "convert $length: $(head -n 2 stderr)"
    fi
  done
  # sweep ENOSPC FROM: faulty into a fresh copy of the knowledge base FROM
  # (none: a first build) for n = 1, 2, ... until a run meets no fault:
  # with ENOSPC "each" step n runs out of room and the copy stays as it was
  # (a first build leaves no root); else step ENOSPC does (0: none), the
  # kill comes before step ENOSPC + n, every locale whose file is there
  # loads, the staging folder left is the builder's alone, and after a kill
  # in a first build or while the new file was written (which leaves the
  # most behind) the next run completes the build and removes what was left.
  sweep() {
    for ((n = 1; ; n++)); do
      fresh killed "$2" && state killed >before
      if [ "$1" = each ]; then faulty $n 0; else faulty "$1" $(($1 + n)); fi
      got=$? at=$(tail -n 1 fault.log 2>/dev/null)
      case $1,$at in
      each,*", no space") unchanged "$at ($2)" killed "No space left on device" ;;
      *", killed")
        [ "$got" -eq 137 ] && loadable killed || fail "$at ($2): exit $got, or a locale there does not load"
        [ -z "$(find killed/.kbbuild \( -path '*/put' -o -path '*/old' \) -prune -o -perm /077 -print 2>/dev/null)" ] ||
          fail "$at ($2): staged files open to others: $(find killed/.kbbuild -perm /077 | head -n 3)"
        [[ $2 != none && $at != *": write "* && $at != *.kbbuild.lock* ]] || { faulty 0 0 &&
          [ -f killed/regexlib/en_comma2.zel ] && loadable killed &&
          [ -z "$(find killed \( -name '*.lck' -o -name '*~tq*' -o -name '.kbbuild*' \))" ]; } ||
          fail "$at ($2): the next run does not complete the build, or leaves what the killed one left" ;;
      *) break ;;
      esac
    done
    [ "$n" -gt 8 ] || fail "sweep $1 $2: only $((n - 1)) steps"
  }
  # The rebuild and a first build: past the last step out of room each
  # builds and loads. Killed at every step, and at every step of putting
  # the files back after it.
  for from in pristine none; do
    sweep each $from
    last=$((n - 1))
    [ "$got" -eq 0 ] && [ "$last" -gt 8 ] && "$loads" killed L1 EN 2>stderr ||
      fail "enospc ($from): the build past step $last does not build and load"
    sweep 0 $from
    sweep "$last" $from
  done
  # A rebuild that adds both locales, EN and its parent L1, to a knowledge
  # base of one vocabulary, killed at every step.
  mkdir -p vocab-src/vocab && cp small/vocab/en_name_noise.xml vocab-src/vocab/ &&
    "$program" vocab-src vocab-only >/dev/null 2>&1 || fail "vocab-only: not built"
  sweep 0 vocab-only
  # One build at a time into a root. hold TEXT ROOT: the rebuild of small2
  # into ROOT, run in the background and held by the fault injector before
  # its first call in ROOT whose "what path" holds TEXT; held_pid is its
  # process id; fails (1) when it ended without being held. ended: the held
  # run's exit status, once it has ended. Both read the FIFO "held" until a
  # line comes: a reader may open it while the held run still holds its end
  # for writing, which gives no line when the run is killed.
  mkfifo held go
  heard() { until read -r line <held && [ -n "$line" ]; do :; done; }
  hold() {
    (LD_PRELOAD="$runtime${runtime:+ }$shim" TQ_FAULT_ROOT="$(pwd -P)/$2" TQ_FAULT_HOLD=$1 TQ_FAULT_HELD="$PWD/held" \
      TQ_FAULT_GO="$PWD/go" "$program" small2 "$2" >held.out 2>held.err
      echo "exit $?" >held) >/dev/null 2>&1 &
    heard
    held_pid=${line#held } && held_pid=${held_pid%% *}
    [[ $line == "held "* ]] || { fail "$1: $2 was never held ($line)"; return 1; }
  }
  ended() { heard && echo "${line#exit }"; }
  # alone-FROM: the state, without inodes, that a build of small2 alone
  # leaves from pristine or from nothing (none).
  for from in pristine none; do
    fresh alone $from && "$program" small2 alone >/dev/null 2>&1 && state alone "$built" >"alone-$from" ||
      fail "alone $from: not built"
  done
  # complete NAME FROM: "one" holds what a build alone from FROM makes, and
  # nothing of the lock or the staging folder is left.
  complete() {
    state one "$built" | cmp -s - "alone-$2" && [ -z "$(find one \( -name '*.lck' -o -name '.kbbuild*' \))" ] ||
      fail "$1: one is not what a build alone makes: $(state one "$built" | diff "alone-$2" - | head -n 4 | tr '\n' ' ')"
  }
  # second NAME AT FROM: a build into "one", made fresh from FROM, held at
  # AT; a second run meanwhile is refused at once, names the held run and
  # changes nothing; the first then completes as it would alone.
  second() {
    fresh one "$3" && hold "$2" one || return
    state one >before
    "$program" small2 one >stdout 2>stderr
    got=$?
    [ "$got" -eq 1 ] && grep -qF "another build into one is running (process $held_pid)" stderr &&
      state one | cmp -s - before ||
      fail "$1: second run exit $got, not refused, or one changed: $(state one | diff before - | head -n 4 | tr '\n' ' ')"
    : >go
    [ "$(ended)" = 0 ] || fail "$1: the held build failed: $(head -n 3 held.err)"
    complete "$1" "$3"
  }
  # The staging pass, keeping the old files, putting them in place, and
  # tidying up (the staging folder gone, the lock not yet).
  for at in "mkdir .kbbuild/regexlib" "link onto .kbbuild/old/regexlib/" "rename onto locale/" "remove .kbbuild.lock"; do
    second "$at: rebuild" "$at" pristine
    # Killed there: every locale loads, and the next run completes.
    fresh one pristine && hold "$at" one || continue
    kill -9 "$held_pid"
    [ "$(ended)" = 137 ] && "$loads" one L1 EN 2>stderr || fail "$at: killed, it left a locale that does not load"
    "$program" small2 one >stdout 2>stderr || fail "$at: the run after the killed one failed"
    complete "$at: after a kill" pristine
    # Two first builds (a first build keeps no old files).
    [[ $at == *.kbbuild/old* ]] || second "$at: first builds" "$at" none
  done
  # Two first builds, the second taking the lock file the first made before
  # the first locks it: the second builds; the first then finds its lock
  # file gone, takes a new one and builds again.
  if fresh one none && hold "flock .kbbuild.lock" one; then
    "$program" small2 one >stdout 2>stderr || fail "lock taken over: the second run failed"
    : >go
    [ "$(ended)" = 0 ] || fail "lock taken over: the held run failed: $(head -n 3 held.err)"
    complete "lock taken over" none
  fi
  # A source whose name is too long for the temporary file the build saves
  # its built file as first ("<name>.~tq<process id>.<count>") is refused
  # before anything is made; one of 230 bytes builds.
  for length in 231 245 230; do
    rm -rf long-src long-out && mkdir -p long-src/regexlib
    cp small2/regexlib/en_comma2.xml "long-src/regexlib/$(printf "%$((length - 4))s" '' | tr ' ' r).xml"
    "$program" long-src long-out >stdout 2>stderr
    got=$?
    if [ "$length" -le 230 ]; then
      [ "$got" -eq 0 ] || fail "name of $length bytes: exit $got"
    else
      [ "$got" -eq 1 ] && grep -qF "a source's name may have at most 230" stderr && [ ! -e long-out ] ||
        fail "name of $length bytes: exit $got, not refused up front, or long-out was made"
    fi
  done
  # Faults between the builder's own steps, played by the fault injector:
  # injected RUN_ENV...: a rebuild of small2 into "killed", the injector
  # preloaded with the given settings, its log in fault.log.
  injected() {
    rm -f fault.log
    env LD_PRELOAD="$runtime${runtime:+ }$shim" TQ_FAULT_ROOT="$(pwd -P)/killed" TQ_FAULT_LOG="$PWD/fault.log" "$@" \
      "$program" "${source:-small2}" killed >stdout 2>stderr
  }
  # TQ_FAULT_SWEEP=all (the longer mode) takes every fault point of the
  # sweeps below; otherwise the interrupted calls and the allocations are
  # sampled with a stride.
  every() { [ "${TQ_FAULT_SWEEP:-}" = all ] && echo 1 || echo "$1"; }
  # A source changed at any moment of a build: written over by the fault
  # injector before each call the builder makes in the root (its EN then
  # names a regex library no source builds). A build that exits 0 has put
  # in place what it checked, which is what a build of the source as it was
  # makes: every locale loads; one that fails leaves the root as it was.
  sed 's/>en_comma2</>en_comma3</' small2/locale/en.loc.xml >changed.xml
  for from in pristine none; do
    for ((n = 1; ; n += $(every 3))); do
      fresh killed $from && state killed >before && rm -rf src-changed && cp -r small2 src-changed
      source=src-changed injected TQ_FAULT_CHANGE=$n TQ_FAULT_CHANGE_FILE="$PWD/src-changed/locale/en.loc.xml" \
        TQ_FAULT_CHANGE_TO="$PWD/changed.xml"
      got=$? at=$(tail -n 1 fault.log 2>/dev/null)
      [ -n "$at" ] || break
      if [ "$got" -eq 0 ]; then
        state killed "$built" | cmp -s - "alone-$from" && loadable killed ||
          fail "$at ($from): it put in place what it did not check: $(head -n 2 stderr)"
      else
        unchanged "$at ($from)" killed "does not load cleanly"
      fi
    done
    [ "$n" -gt 60 ] || fail "changed sources ($from): only $n calls"
  done
  # One EINTR at each call the builder makes in the root (its staging
  # folder included) and at each change of folder, in a rebuild, and at
  # every fourth in a first build: the call is made again, and the build is
  # what a build alone makes, nothing stray left.
  for from in pristine none; do
    stride=$(every $([ $from = none ] && echo 4 || echo 1))
    for ((n = 1; ; n += stride)); do
      fresh killed $from && injected TQ_FAULT_EINTR=$n
      got=$? at=$(tail -n 1 fault.log 2>/dev/null)
      [ -n "$at" ] || break
      [ "$got" -eq 0 ] && state killed "$built" | cmp -s - "alone-$from" ||
        fail "$at ($from): exit $got, or not what a build alone makes: $(head -n 2 stderr | tr '\n' ' ')$(
          state killed "$built" | diff "alone-$from" - | head -n 4 | tr '\n' ' ')"
    done
    [ "$n" -gt 60 ] || fail "interrupted ($from): only $n calls"
  done
  # A call that changes something, made and then answering EINTR (as on
  # network and FUSE file systems), in a rebuild and a first build (one per
  # call and folder), and while a rebuild whose last replacement failed puts
  # back what it replaced: it took effect, and the build is what a build
  # alone makes, or the root as it was.
  # changing [OUTPUT]: the numbers of such calls the last run listed, once
  # per call and folder; OUTPUT: every one outside the staging folder.
  changing() {
    sed -n 's/^call \([0-9]*\): \(.*\), may be done$/\1 \2/p' fault.log | awk -v only="${1:-}" '
      only != "" { if ($NF !~ /^\.kbbuild/) print $1; next }
      { folder = $NF; sub(/\/[^\/]*$/, "", folder); if (!seen[$2 " " folder]++) print $1 }'
  }
  for from in pristine none; do
    fresh killed $from && injected TQ_FAULT_DONE=list
    for n in $(changing); do
      fresh killed $from && injected TQ_FAULT_DONE=$n
      got=$? at=$(tail -n 1 fault.log)
      [ "$got" -eq 0 ] && state killed "$built" | cmp -s - "alone-$from" ||
        fail "$at ($from): exit $got, or not what a build alone makes: $(head -n 2 stderr | tr '\n' ' ')"
    done
  done
  last_rename="rename onto locale/en.loc.zel"
  fresh killed pristine && injected TQ_FAULT_EIO="$last_rename" TQ_FAULT_DONE=list
  for n in $(changing output); do
    fresh killed pristine && state killed >before && injected TQ_FAULT_EIO="$last_rename" TQ_FAULT_DONE=$n
    got=$? && unchanged "$(grep -F done, fault.log) (undo)" killed "Input/output error"
  done
  # Failures the messages must place: a staging copy that cannot be read
  # (not its source), a folder not forced to the disk once the files are in
  # place (exit 1, the files in place, nothing of the build left), and the
  # staging folder's removal interrupted as it reads the folder again.
  fresh killed pristine && state killed >before && injected TQ_FAULT_EIO="open .kbbuild/src/regexlib/en_comma2.xml"
  got=$? && unchanged copy-unread killed \
    "'killed/.kbbuild/src/regexlib/en_comma2.xml' (the staging copy of small2/regexlib/en_comma2.xml) could not be"
  # A file the load could not open beside files no source builds: both told.
  LD_PRELOAD="$runtime${runtime:+ }$shim" TQ_FAULT_ROOT="$(pwd -P)/sample-eio" \
    TQ_FAULT_EIO="open .kbbuild/vocab/en_gender.zev" "$program" sample sample-eio >stdout 2>stderr
  grep -qF "names 'vocab/en_gender.zev' (in the staging folder sample-eio/.kbbuild), which is there but could not" \
    stderr && grep -qF "sample holds no scheme/en_nickname.sch.xml, which the locale EN built" stderr ||
    fail "unopened and missing: not both told"
  # A vocabulary there whose built file the load cannot open, beside a
  # missing grammar of its name: the vocabulary is named with its failure,
  # never told missing.
  mv person-vocab.xml person/vocab/en_person.xml && rm person/grammar/en_person.xml
  LD_PRELOAD="$runtime${runtime:+ }$shim" TQ_FAULT_ROOT="$(pwd -P)/person-out" \
    TQ_FAULT_EIO="open .kbbuild/vocab/en_person.zev" "$program" person person-out >stdout 2>stderr
  grep -qF "the file built from person/vocab/en_person.xml, which the locale EN built from person/locale/en.loc.xml names (as 'en_person'), is there but could not be had: The vocabulary 'en_person' named by" \
    stderr && grep -qF "person holds no grammar/en_person.xml, which the locale EN" stderr &&
    ! grep -qF "holds no vocab/" stderr || fail "held vocabulary: told missing, or its failure not told"
  for fault in "EIO=fsync locale" "EIO=lseek .kbbuild:4"; do
    fresh killed pristine && injected "TQ_FAULT_${fault%%:*}" TQ_FAULT_ERRNO="$(expr "$fault" : '.*:\(.*\)')"
    got=$? what=${fault%%:*} && grep -qF "call 0: ${what#EIO=} " fault.log || fail "$fault: never met"
    case $fault in
    *fsync*) [ "$got" -eq 1 ] && grep -qF "the folder killed/locale could not be forced to the disk (Input/output error)" \
      stderr ;;
    *) [ "$got" -eq 0 ] ;;
    esac && state killed "$built" | cmp -s - alone-pristine || fail "$fault: exit $got, or not built: $(head -n 2 stderr)"
  done
  # A first build into holder/a/b/out forces to the disk every folder of
  # that path missing as it began (a, a/b, out), also when another build
  # into it made them meanwhile and was refused the lock, the kind folders,
  # and the folder that holds each one; one that cannot be is named: exit
  # 1, the files in place.
  for other in "" makes-root; do
    rm -rf holder synced && mkdir holder
    LD_PRELOAD="$runtime${runtime:+ }$shim" TQ_FAULT_SYNCED="$PWD/synced" TQ_FAULT_ROOT="$(pwd -P)/holder/a/b/out" \
      TQ_FAULT_OTHER=$other "$program" small2 holder/a/b/out >stdout 2>stderr
    got=$?
    for folder in holder holder/a holder/a/b holder/a/b/out holder/a/b/out/locale holder/a/b/out/vocab; do
      grep -qxF "$(pwd -P)/$folder" synced && [ "$got" = 0 ] ||
        fail "first build${other:+ ($other)}: $folder not forced to the disk (exit $got)"
    done
  done
  # Folders of the path made by another build into it that is then refused
  # the lock (its holder, played by the injector, goes on): that run forces
  # those it made that stay, each with the folder holding it. A holder that
  # began after they were made finds them there: it forces every folder of
  # the path all the same.
  rm -rf holder synced && mkdir holder
  LD_PRELOAD="$runtime${runtime:+ }$shim" TQ_FAULT_SYNCED="$PWD/synced" TQ_FAULT_ROOT="$(pwd -P)/holder/a/b/out" \
    TQ_FAULT_OTHER=keeps-lock "$program" small2 holder/a/b/out >stdout 2>stderr
  got=$?
  [ "$got" = 1 ] && grep -qF "another build into holder/a/b/out is running" stderr &&
    [ "$(ls -A holder/a/b/out)" = .kbbuild.lock ] || fail "refused run: exit $got, not refused, or the root changed"
  forced() {
    for folder in holder holder/a holder/a/b holder/a/b/out; do
      grep -qxF "$(pwd -P)/$folder" synced || fail "$1: $folder not forced to the disk"
    done
  }
  forced "refused run"
  rm synced holder/a/b/out/.kbbuild.lock
  LD_PRELOAD="$runtime${runtime:+ }$shim" TQ_FAULT_SYNCED="$PWD/synced" "$program" small2 holder/a/b/out >stdout 2>stderr ||
    fail "holder run: $(head -n 2 stderr)"
  forced "holder run"
  for folder in a a/b; do
    rm -rf holder && mkdir holder
    LD_PRELOAD="$runtime${runtime:+ }$shim" TQ_FAULT_ROOT="$(pwd -P)/holder" TQ_FAULT_EIO="fsync $folder" \
      "$program" small2 holder/a/b/out >stdout 2>stderr
    got=$?
    [ "$got" -eq 1 ] && grep -qF "the folder holder/$folder could not be forced to the disk (Input/output error)" stderr &&
      loadable holder/a/b/out || fail "fsync $folder: exit $got, not named, or not in place: $(head -n 2 stderr)"
  done
  # The way back from the staging folder fails at each return in turn: after
  # a load of the check and, without /proc, after each build from a copy,
  # in the staging folder or in place. The run undoes what it made, a file
  # just saved in place included, names the root, and leaves it as it was;
  # past the last return it builds.
  for from in pristine none; do
    for proc in "" 1; do
      for ((n = 1; ; n++)); do
        fresh killed $from && state killed >before &&
          injected TQ_FAULT_OTHER=fails-return TQ_FAULT_RETURN=$n TQ_FAULT_NO_PROC=$proc
        got=$?
        grep -qF "return $n: " fault.log 2>/dev/null || break
        unchanged "fails-return $n${proc:+ without /proc} ($from)" killed "cannot go back to the folder it started in"
      done
      [ "$got" -eq 0 ] && [ "$n" -gt $((proc ? 12 : 2)) ] && state killed "$built" | cmp -s - "alone-$from" ||
        fail "fails-return${proc:+ without /proc} ($from): exit $got past $((n - 1)) returns, or not built"
    done
  done
  # The last tidying refused (the staging folder, the lock file, a file's
  # lock file, which the library removes as it gives the lock up): the build
  # stands, and what stays is named; the next run clears it.
  for text in "remove .kbbuild/" "remove .kbbuild.lock" "remove locale/en.loc.zel.lck"; do
    fresh killed pristine && injected TQ_FAULT_REFUSE="$text"
    got=$?
    grep -qF refused fault.log || fail "$text: never refused"
    for stray in $(cd killed && find . \( -name '*.lck' -o -name '.kbbuild*' -o -name '*~tq*' \) -prune -print); do
      grep -qF "killed/${stray#./} " stderr && grep -qF "stays" stderr || fail "$text: ${stray#./} stays untold"
      rm -rf "killed/$stray"
    done
    [ "$got" -eq 0 ] && state killed "$built" | cmp -s - alone-pristine || fail "$text: exit $got, or not built"
    fresh killed pristine && injected TQ_FAULT_REFUSE="$text" && "$program" small2 killed >stdout 2>stderr &&
      state killed "$built" | cmp -s - alone-pristine || fail "$text: the next run leaves what stayed"
  done
  # An output that is a link has its lock file beside the file the link
  # ends at, where the library takes it: one the library could not remove
  # is cleared there by the build, and the link stays a link.
  fresh killed pristine && mkdir killed/aside && mv killed/locale/en.loc.zel killed/aside/ &&
    ln -s ../aside/en.loc.zel killed/locale/en.loc.zel && injected TQ_FAULT_REFUSE="aside/en.loc.zel.lck"
  got=$?
  [ "$got" -eq 0 ] && grep -qF refused fault.log && [ -z "$(find killed -name '*.lck')" ] &&
    [ -L killed/locale/en.loc.zel ] || fail "linked lock file: exit $got, or a lock file stays"
  # The Nth allocation of the program failed: a build exits 0 with what a
  # build alone makes, or 1 saying so, the root as it was; never an abort.
  # The injector fails malloc, which a sanitizer's runtime owns, preloaded
  # first: this sweep runs only in a build without one.
  if [ -z "$runtime" ]; then
    for from in pristine none; do
      fresh killed $from && injected TQ_FAULT_MALLOC=0
      total=$(sed -n 's/^allocations //p' fault.log)
      [ "${total:-0}" -gt 100 ] || fail "allocations ($from): $total counted"
      for ((n = 1; n <= ${total:-0}; n += $(every $((total / 50 + 1))))); do
        fresh killed $from && state killed >before && injected TQ_FAULT_MALLOC=$n
        got=$?
        case $got in
        0) state killed "$built" | cmp -s - "alone-$from" || fail "allocation $n ($from): not what a build alone makes" ;;
        1) unchanged "allocation $n ($from)" killed "" ;;
        *) fail "allocation $n ($from): exit $got" ;;
        esac
      done
    done
  fi
  # A grammar priority past the int32 range, a field with no range of its
  # own: never built as another number, but refused, the grammar's source,
  # the rule and the number named, and nothing written.
  cp -r "$source_dir/examples/kb" wide && sed -i '0,/"Priority">70</s//"Priority">2147483648</' wide/grammar/en_person.xml
  expect priority-past-int32 1 "In grammar 'en_person', the Priority 2147483648 of the rule of" "" -- "$program" wide wide-out
  grep -qF "the grammar built from wide/grammar/en_person.xml, which the locale EN built from wide/locale/en.loc.xml names, does not load" \
    stderr && [ ! -e wide-out ] || fail "priority-past-int32: the grammar's source is not named, or wide-out was made"
  ;;
first)
  # README shows examples/first.c whole, as the one C block it holds.
  awk '/^```c$/ { on = 1; next } /^```$/ { on = 0 } on' "$source_dir/README.md" >readme_first.c
  diff -u "$source_dir/examples/first.c" readme_first.c ||
    fail "readme: README's C block is not examples/first.c"
  expect first 0 "" "Proper case  Johannes van der Waals" -- "$program" "$kb" "JOHANNES VAN DER WAALS"
  grep -qE '^Match code   \[.+\]$' stdout || fail "first: no match code"
  expect first-usage 2 "usage:" "" -- "$program"
  expect first-sources 1 "failed: -400" "" -- "$program" "$source_dir/examples/kb" "John Smith"
  ;;
*)
  echo "unknown kind $kind"
  exit 2
  ;;
esac
[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }

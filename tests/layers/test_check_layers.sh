#!/usr/bin/env bash
# The layers check on a copy of the tree with an upward include planted on
# each road the check must see: a file's first include (in a .cpp and a
# .h), an include under `#if __has_include(...)`, one in each branch of
# `#ifdef NDEBUG`, a relative name that climbs into an upper layer, and a
# lower layer's header that is a symbolic link to an upper layer's. It
# must report exactly these, each with its line, and nothing else: so the
# rest of the copied tree passes, and the public header reached by a
# relative name ("../../include/tq.h") is accepted.
#
# usage: test_check_layers.sh CHECK SRC PUBLIC_INCLUDE_DIR
set -u
check=$1 src=$2 public=$3
tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT
t=$tmp/tree
mkdir "$t" && cp -a -- "$src" "$t/src" && cp -a -- "$public" "$t/include" || exit 1
s=$t/src

# plant NAME TEXT: a file of the core layer (its stem is the README row
# planted below).
plant() { printf '%b' "$2" >"$s/core/$1"; }
plant krzz_first.cpp '#include "api/krapi_frame.h"\nint f();\n'
plant krzz_first.h '#pragma once\n#include <api/krapi_frame.h>\n'
plant krzz_has.cpp '#include "tq.h"\n#if __has_include(<vector>)\n#include "api/krapi_frame.h"\n#endif\n'
plant krzz_ndebug.h '#pragma once\n#include "tq.h"\n#ifdef NDEBUG\n#include "api/krapi_frame.h"\n#else\n#include "api/krwire.h"\n#endif\n'
plant krzz_rel.cpp '#include <cstddef>\n#include "../../include/tq.h"\n#include "../api/krapi_frame.h"\n'
plant krzz_link.cpp '#include "tq.h"\n#include "core/krzz_link.h"\n'
ln -s ../api/krapi_frame.h "$s/core/krzz_link.h" || exit 1
awk '{ print } /^## core/ { print "| `krzz_<case>` | planted |" }' "$src/README.md" >"$s/README.md" || exit 1

above=" of the layer api, above its own layer core (order: platform core kbstore resources parse standardize match fields guess api)"
frame="(src/api/krapi_frame.h)$above"
expected="src/core/krzz_first.cpp:1: includes \"api/krapi_frame.h\" $frame
src/core/krzz_first.h:2: includes <api/krapi_frame.h> $frame
src/core/krzz_has.cpp:3: includes \"api/krapi_frame.h\" $frame
src/core/krzz_link.cpp:2: includes \"core/krzz_link.h\" $frame
src/core/krzz_link.h: a symbolic link to src/api/krapi_frame.h$above
src/core/krzz_ndebug.h:4: includes \"api/krapi_frame.h\" $frame
src/core/krzz_ndebug.h:6: includes \"api/krwire.h\" (src/api/krwire.h)$above
src/core/krzz_rel.cpp:3: includes \"../api/krapi_frame.h\" $frame
check_layers.sh: 8 fault(s) in $(realpath -- "$s")"

bash "$check" "$s" "$t/include" >"$tmp/out" 2>&1
status=$?
if [[ $status -ne 1 ]] || ! diff <(sort <<<"$expected") <(sort "$tmp/out") >"$tmp/diff"; then
  echo "FAILED: the check exited $status; what it should print (<) and what it printed (>):"
  cat "$tmp/diff"
  exit 1
fi
echo "the layers check reports each planted case, and nothing else"

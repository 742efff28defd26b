#!/usr/bin/env bash
# Checks the source tree against its layering and its map:
#  - every `#include` of a file in a layer folder of SRC (.h, .cpp, .inc,
#    .def) names a header of its own layer or of a layer below it, found the
#    way the compiler finds it ("..." beside the including file, then under
#    SRC, then in the public header folder; <...> under SRC, else a system
#    header). The directives are read as the compiler reads them: lines
#    joined where a backslash ends one, then comments taken out by the
#    compiler's own preprocessor (g++ -fpreprocessed, which expands
#    nothing), so that an #include split over lines or written after a
#    comment counts, and one inside a comment does not. An #include in a
#    conditional block counts too: some configuration may compile it;
#  - every stem of a layer folder has a row in that layer's section of
#    SRC/README.md (a `<name>` placeholder in a row stands for any text).
# The link of each layer's test executable catches an upward call; this
# catches an upward include, which the build lets through (every object
# library sees the whole of src/), and with it an inline function or a type
# reached upwards, which no link sees.
#
# usage: check_layers.sh SRC [PUBLIC_INCLUDE_DIR]   (default: SRC/../include)
# Prints one line per fault, paths relative to SRC's parent, and exits 1
# when there is any; exits 2 when SRC holds no source file or the
# preprocessor (g++) cannot read them.
set -u -f
export LC_ALL=C

[[ $# -ge 1 && -d $1 ]] || { echo "usage: check_layers.sh SRC [PUBLIC_INCLUDE_DIR]"; exit 2; }
src=$(realpath -- "$1")
public=$(realpath -m -- "${2:-$src/../include}")
base=$(basename -- "$src")

# The layers, lowest first, as TQ_LAYERS in the top CMakeLists.txt orders
# them (a folder missing here fails every file in it); a file may include
# its own layer and those below.
layers=(platform core kbstore resources parse standardize match fields guess api)
declare -A rank=()
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done

faults=0
fault() {
  echo "$1"
  faults=$((faults + 1))
}

# Sets `found_layer` to the layer of a path relative to SRC, or to nothing
# when it lies in no layer folder (no subshell: it runs for every include).
layer_of() {
  found_layer=${1%%/*}
  [[ $1 == */* && -n ${rank[$found_layer]+x} ]] || found_layer=""
}

# Sets `target` to a folder and an include name joined, with . and ..
# taken out.
join_to_target() {
  case $2 in
    ./* | ../* | */./* | */../*) target=$(realpath -m -- "$1/$2") ;;
    *) target=$1/$2 ;;
  esac
}

mapfile -d '' files < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.inc' -o -name '*.def' \) -print0 | sort -z)
((${#files[@]} > 0)) || { echo "check_layers.sh: no source file under $src"; exit 2; }

# ---- Includes --------------------------------------------------------------------------------
for file in "${files[@]}"; do
  rel=${file#"$src"/}
  layer_of "$rel"
  [[ -n $found_layer ]] || fault "$base/$rel: lies in no layer folder (${layers[*]})"
done

# The files as the preprocessor's one input: each begins with a line marker
# naming it by its index in `files`, and its lines are joined where a
# backslash (and blanks) ends one, each joined line followed by as many empty
# ones as it took in, so that every line keeps its number.
# shellcheck disable=SC2016 # an awk program
splice='
  BEGIN { for (i = 1; i < ARGC; i++) index_of[ARGV[i]] = i - 1 }
  function flush() { if (taken > 0) { print held; for (; taken > 1; taken--) print ""; taken = 0; held = "" } }
  FNR == 1 { flush(); printf "# 1 \"%d\"\n", index_of[FILENAME] }
  {
    line = $0
    if (line ~ /\\[ \t\r]*$/) { sub(/\\[ \t\r]*$/, "", line); held = held line; taken++; next }
    held = held line; taken++; flush()
  }
  END { flush() }'
# From its output, the #include lines as INDEX:LINE:TEXT (`%:` is the
# digraph of `#`).
# shellcheck disable=SC2016 # an awk program
pick='
  /^# [0-9]+ "[0-9]+"/ { line = $2 - 1; file = substr($3, 2, length($3) - 2); next }
  { line++ }
  /^[ \t]*(#|%:)[ \t]*include/ { print file ":" line ":" $0 }'
tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT
if ! awk "$splice" "${files[@]}" | g++ -x c++ -std=c++20 -w -fpreprocessed -E - >"$tmp/out" 2>"$tmp/err" ||
  ((PIPESTATUS[0] != 0)); then
  echo "check_layers.sh: the preprocessor could not read the files of $src:"
  while IFS= read -r line; do  # "INDEX:LINE:..." names the file
    [[ $line =~ ^([0-9]+):(.*)$ && -n ${files[${BASH_REMATCH[1]}]+x} ]] &&
      line="$base/${files[${BASH_REMATCH[1]}]#"$src"/}:${BASH_REMATCH[2]}"
    echo "$line"
  done <"$tmp/err"
  exit 2
fi
directives=$(awk "$pick" "$tmp/out")

include_re='^([0-9]+):([0-9]+):[[:space:]]*(#|%:)[[:space:]]*include[[:space:]]*([<"])([^">]+)[">]'
while IFS= read -r hit; do
  [[ -n $hit ]] || continue
  if ! [[ $hit =~ $include_re ]]; then
    # An #include the compiler reads that names no header in quotes or
    # angle brackets (one made by a macro): its layer cannot be told.
    file=${files[${hit%%:*}]}
    rest=${hit#*:}
    fault "$base/${file#"$src"/}:${rest%%:*}: an #include whose header is not written out: ${rest#*:}"
    continue
  fi
  file=${files[${BASH_REMATCH[1]}]}
  lineno=${BASH_REMATCH[2]}
  form=${BASH_REMATCH[4]}
  name=${BASH_REMATCH[5]}
  rel=${file#"$src"/}
  layer_of "$rel"
  layer=$found_layer
  [[ -n $layer ]] || continue  # reported above
  if [[ $form == '"' ]]; then
    where="$base/$rel:$lineno: includes \"$name\""
    join_to_target "${file%/*}" "$name"
    if [[ ! -f $target ]]; then
      join_to_target "$src" "$name"
      if [[ ! -f $target ]]; then
        [[ -f $public/$name ]] && continue  # the public header, below every layer
        fault "$where, found neither beside it, nor under $base/, nor in $public"
        continue
      fi
    fi
  else
    where="$base/$rel:$lineno: includes <$name>"
    join_to_target "$src" "$name"
    [[ -f $target ]] || continue  # a system header
  fi
  if [[ $target != "$src"/* ]]; then
    fault "$where, which lies outside $base/"
    continue
  fi
  trel=${target#"$src"/}
  layer_of "$trel"
  tlayer=$found_layer
  if [[ -z $tlayer ]]; then
    fault "$where ($base/$trel), which lies in no layer folder (${layers[*]})"
  elif ((rank[$tlayer] > rank[$layer])); then
    fault "$where of the layer $tlayer, above its own layer $layer (order: ${layers[*]})"
  fi
done <<<"$directives"

# ---- The map: a row per stem ------------------------------------------------------------------
readme=$src/README.md
declare -A names=()  # layer -> the names in the first cells of its section's rows
if [[ ! -f $readme ]]; then
  fault "$base/README.md: missing"
else
  section=""
  while IFS= read -r line || [[ -n $line ]]; do
    if [[ $line =~ ^##[[:space:]]+([A-Za-z]+) ]]; then
      section=${BASH_REMATCH[1]}
      [[ -n ${rank[$section]+x} ]] || section=""
      continue
    fi
    [[ -n $section && $line == '|'*'`'* ]] || continue
    cell=${line#|}
    cell=${cell%%|*}
    while [[ $cell =~ \`([^\`]+)\` ]]; do
      name=${BASH_REMATCH[1]}
      cell=${cell#*"\`$name\`"}
      name=${name%.*}  # krwire, krxmlpriv.h, krapi_frame.*, tables/*.def
      while [[ $name =~ ^(.*)\<[^\>]*\>(.*)$ ]]; do
        name="${BASH_REMATCH[1]}*${BASH_REMATCH[2]}"
      done
      names[$section]+=" $name"
    done
  done <"$readme"
fi
declare -A seen=()
for file in "${files[@]}"; do
  rel=${file#"$src"/}
  layer_of "$rel"
  layer=$found_layer
  [[ -n $layer ]] || continue
  stem=${rel#"$layer"/}
  stem=${stem%.*}
  [[ -z ${seen[$layer/$stem]+x} ]] || continue
  seen[$layer/$stem]=1
  found=0
  for pattern in ${names[$layer]-}; do  # split on blanks; set -f keeps the globs
    # shellcheck disable=SC2053  # a row's name is a glob on purpose
    if [[ $stem == $pattern ]]; then
      found=1
      break
    fi
  done
  ((found)) || fault "$base/$rel: the stem '$stem' has no row in the $layer section of $base/README.md"
done

if ((faults > 0)); then
  echo "check_layers.sh: $faults fault(s) in $src"
  exit 1
fi
echo "check_layers.sh: the ${#files[@]} files of $src follow the layer order, and every stem has a row"

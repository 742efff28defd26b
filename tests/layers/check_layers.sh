#!/usr/bin/env bash
# Checks the source tree against its layering and its map:
#  - every header a file in a layer folder of SRC (.h, .cpp, .inc, .def)
#    includes is of its own layer or of a layer below it. What a file
#    includes is what the compiler (g++) reads in it, the file read on its
#    own: #include, #include_next and #import, an include split over lines,
#    written after a comment or named by a macro the file defines count;
#    one in a comment, in a raw string or in a block the preprocessor skips
#    does not; a condition is decided on the file alone (#if 0 skips; the
#    compiler's own macros and the file's count, a macro an included header
#    defines is not seen). Each header is found as the compiler finds it ("..." beside the
#    including file, then under SRC, then in the public header folder;
#    <...> under SRC, then in the public folder, else it is a system
#    header);
#  - every stem of a layer folder has a row in that layer's section of
#    SRC/README.md (a `<name>` placeholder in a row stands for any text).
# The link of each layer's test executable catches an upward call; this
# catches an upward include, which the build lets through (every object
# library sees the whole of src/), and with it an inline function or a type
# reached upwards, which no link sees.
#
# usage: check_layers.sh SRC [PUBLIC_INCLUDE_DIR]   (default: SRC/../include)
# Prints one line per fault, paths relative to SRC's parent, and exits 1
# when there is any; exits 2 when SRC holds no source file or the compiler
# (g++) cannot read one of them (its messages printed, the other files
# still checked).
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

# Each file is read by the compiler itself, on its own (see the top): g++
# lists what the file includes (-M -MG) as it finds it. So that it reads
# that one file only, it runs in a stand-in tree where every file of SRC
# and of the public folder is empty but for a comment (nothing an include
# brings in is read, so nothing is read twice, or skipped as read once),
# and without the system's headers (-nostdinc), which it lists as missing.
tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT
shadow=$tmp/shadow
mkdir -p "$shadow/src" "$shadow/public"
# FROM TO: the folders and files of FROM in TO, each file holding only a
# comment with its own name: texts that differ, or the compiler would take
# one for another it has read already where it reads a file once only
# (#import).
stand_ins() {
  [[ -d $1 ]] || return 0
  (cd "$1" && find . -type d -print0) | (cd "$2" && xargs -0 mkdir -p)
  local name
  while IFS= read -r -d '' name; do
    printf '// %s\n' "$name" >"$2/$name"
  done < <(cd "$1" && find . -type f -print0)
}
stand_ins "$src" "$shadow/src"
stand_ins "$public" "$shadow/public"
# One compiler run per file, a few at a time. The file's text comes in on
# the standard input, in an empty working folder (where the compiler looks
# first for a "..." name of such an input), with its own folder's
# stand-ins next (-iquote): beside the file, as for the file itself. Its
# dependency list goes to dep.INDEX, its messages to err.INDEX.
mkdir "$tmp/empty"
# shellcheck disable=SC2016 # a program for sh, its variables its own
compile='
  g++ -x c++ -std=c++20 -M -MG -w -nostdinc -iquote "$3" -I"$S/src" -I"$S/public" - <"$2" >"$T/dep.$1" \
    2>"$T/err.$1" || echo >"$T/failed.$1"'
for i in "${!files[@]}"; do
  rel=${files[$i]#"$src"/}
  dir=$shadow/src
  [[ $rel == */* ]] && dir+=/${rel%/*}
  printf '%s\0%s\0%s\0' "$i" "${files[$i]}" "$dir"
done | (cd "$tmp/empty" && T=$tmp S=$shadow xargs -0 -n 3 -P "$(nproc 2>/dev/null || echo 2)" sh -c "$compile" sh)

# Where each file writes a header's name in a directive, as
# `directive[INDEX "NAME"]` or `directive[INDEX <NAME>]` = its first line:
# for the messages, and to tell the form of a name the compiler did not
# find (a name a macro makes has no entry).
declare -A directive=()
# shellcheck disable=SC2016 # an awk program
written='
  BEGIN { for (i = 1; i < ARGC; i++) index_of[ARGV[i]] = i - 1 }
  /^[ \t]*(#|%:)[ \t]*(include|include_next|import)[ \t]*["<]/ {
    text = $0
    sub(/^[ \t]*(#|%:)[ \t]*(include_next|include|import)[ \t]*/, "", text)
    close_at = index(substr(text, 2), substr(text, 1, 1) == "<" ? ">" : "\"")
    if (close_at > 0) print index_of[FILENAME] "\t" FNR "\t" substr(text, 1, close_at + 1)
  }'
while IFS=$'\t' read -r i line written_name; do
  written_name=${written_name%>}
  written_name=${written_name%\"}
  [[ -n ${directive[$i $written_name]+x} ]] || directive[$i $written_name]=$line
done < <(awk "$written" "${files[@]}")

unreadable=0
for i in "${!files[@]}"; do
  file=${files[$i]}
  rel=${file#"$src"/}
  layer_of "$rel"
  layer=$found_layer
  if [[ -e $tmp/failed.$i ]]; then
    echo "check_layers.sh: the compiler could not read $base/$rel:"
    while IFS= read -r line; do
      line=${line//"<stdin>"/"$base/$rel"}
      echo "${line//"$shadow/src/"/"$base/"}"
    done <"$tmp/err.$i"
    unreadable=$((unreadable + 1))
    continue
  fi
  [[ -n $layer ]] || continue  # reported above
  # The dependency list: the file itself, then every header it includes
  # (blanks in names escaped).
  deps=$(<"$tmp/dep.$i")
  deps=${deps//\\$'\n'/ }
  deps=${deps#*: }
  deps=${deps//\\ /$'\x01'}
  read -r -a included <<<"$deps"
  for name in "${included[@]:1}"; do
    name=${name//$'\x01'/ }
    case $name in
      "$shadow/public/"*) continue ;;  # the public header, below every layer
      "$shadow/src/"*)
        case $name in */./* | */../*) name=$(realpath -m -- "$name") ;; esac
        trel=${name#"$shadow/src/"}
        if [[ $trel == "$name" ]]; then
          fault "$base/$rel: includes a header outside $base/ (${name#"$shadow/"})"
          continue
        fi
        # The name as written, for the message: one with the header's
        # file name.
        shown=""
        for form in '"' '<'; do
          close='"'
          [[ $form == '<' ]] && close='>'
          for w in "$trel" "${trel#"${rel%/*}"/}" "${trel##*/}"; do
            [[ -z $shown && -n ${directive[$i $form$w]+x} ]] && shown="${directive[$i $form$w]}: includes $form$w$close"
          done
        done
        where="$base/$rel:${shown:- includes $trel} ($base/$trel)"
        ;;
      *)
        # Not found by the compiler among the stand-ins: a system header,
        # or a name it cannot find; a "..." name is looked for in the tree
        # itself too, as the compiler would (beside the file, then under
        # SRC), for one that leads out of SRC.
        if [[ -n ${directive[$i \"$name]+x} ]]; then
          where="$base/$rel:${directive[$i \"$name]}: includes \"$name\""
          join_to_target "${file%/*}" "$name"
          [[ -f $target ]] || join_to_target "$src" "$name"
          if [[ ! -f $target ]]; then
            fault "$where, found neither beside it, nor under $base/, nor in $public"
            continue
          fi
        else
          join_to_target "$src" "$name"
          [[ -f $target ]] || continue  # a system header
          where="$base/$rel:${directive[$i <$name]-}: includes <$name>"
        fi
        if [[ $target != "$src"/* ]]; then
          fault "$where, which lies outside $base/"
          continue
        fi
        trel=${target#"$src"/}
        ;;
    esac
    layer_of "$trel"
    tlayer=$found_layer
    if [[ -z $tlayer ]]; then
      fault "$where, which lies in no layer folder (${layers[*]})"
    elif ((rank[$tlayer] > rank[$layer])); then
      fault "$where of the layer $tlayer, above its own layer $layer (order: ${layers[*]})"
    fi
  done
done

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

if ((unreadable > 0)); then
  echo "check_layers.sh: the compiler could not read $unreadable file(s) of $src"
  exit 2
fi
if ((faults > 0)); then
  echo "check_layers.sh: $faults fault(s) in $src"
  exit 1
fi
echo "check_layers.sh: the ${#files[@]} files of $src follow the layer order, and every stem has a row"

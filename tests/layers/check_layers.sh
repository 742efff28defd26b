#!/usr/bin/env bash
# Checks the source tree against its layering and its map:
#  - every header a file in a layer folder of SRC (.h, .cpp, .inc, .def)
#    includes is of its own layer or of a layer below it, or in the public
#    header folder. What a file includes is what the compiler (g++) reads
#    in it, the file read on its own, with every branch of every condition
#    taken: #include, #include_next and #import, the first of a file as
#    much as the others, an include split over lines, written after a
#    comment or named by a macro the file defines count; one in a comment
#    or in a raw string does not. No condition is decided (#if, #ifdef,
#    #elif, #else: each branch is read, #if 0 too), since what a build
#    type, a compiler, a sanitizer or a system header defines differs
#    between builds and an include must hold in all of them; a macro
#    defined in several branches keeps its last definition. Each header is
#    found as the compiler finds it ("..." beside the including file, then
#    under SRC, then in the public header folder; <...> under SRC, then in
#    the public folder, else it is a system header), and counts as the
#    file it is: a symbolic link as the file it leads to;
#  - every symbolic link in a layer folder of SRC leads to its own layer,
#    a layer below it or the public folder;
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

# Sets `target` to PATH, a path under ROOT (SRC or its stand-in), with .
# and .. taken out and every symbolic link on it followed, so that a
# header counts as the file it is. It forks only for a path that needs it:
# it runs for every include.
real_path() {
  target=$1
  case $1 in
    */./* | */../*)
      target=$(realpath -m -- "$1")
      return
      ;;
  esac
  local link
  for link in "${links[@]}"; do
    case $1 in
      "$2/$link" | "$2/$link/"*)
        target=$(realpath -m -- "$1")
        return
        ;;
    esac
  done
}

mapfile -d '' files < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.inc' -o -name '*.def' \) -print0 | sort -z)
((${#files[@]} > 0)) || { echo "check_layers.sh: no source file under $src"; exit 2; }
# The symbolic links of SRC (paths relative to it) and where each leads,
# every link on the way followed (nothing for one that leads nowhere or
# round a loop).
mapfile -d '' links < <(cd "$src" && find . -type l -print0 | sort -z)
declare -A link_to=()
for i in "${!links[@]}"; do
  links[i]=${links[i]#./}
  link_to[${links[$i]}]=$(realpath -e -- "$src/${links[$i]}" 2>/dev/null) || link_to[${links[$i]}]=""
done

# ---- Includes --------------------------------------------------------------------------------
for file in "${files[@]}"; do
  rel=${file#"$src"/}
  layer_of "$rel"
  [[ -n $found_layer ]] || fault "$base/$rel: lies in no layer folder (${layers[*]})"
done
# A link in a layer folder stands for what it leads to, so it may lead
# only where a file of its folder may include. One that leads nowhere is
# left to the includes: a file that names it is told it is not found.
for link in "${links[@]}"; do
  layer_of "$link"
  own=$found_layer
  to=${link_to[$link]}
  [[ -n $own && -n $to ]] || continue
  case $to in
    "$public" | "$public"/*) continue ;;
    "$src"/*) ;;
    *)
      fault "$base/$link: a symbolic link to $to, which lies outside $base/"
      continue
      ;;
  esac
  trel=${to#"$src"/}
  if [[ -d $to ]]; then layer_of "$trel/."; else layer_of "$trel"; fi
  if [[ -z $found_layer ]]; then
    fault "$base/$link: a symbolic link to $base/$trel, which lies in no layer folder (${layers[*]})"
  elif ((rank[$found_layer] > rank[$own])); then
    fault "$base/$link: a symbolic link to $base/$trel of the layer $found_layer, above its own layer $own (order: ${layers[*]})"
  fi
done

# Each file is read by the compiler itself, on its own (see the top): g++
# lists what the file includes (-M -MG) as it finds it. So that it reads
# that one file only, it runs in a stand-in tree where every file of SRC
# and of the public folder is empty but for a comment (nothing an include
# brings in is read, so nothing is read twice, or skipped as read once),
# and without the system's headers (-nostdinc), which it lists as missing.
# The stand-in folders sit at the real ones' own paths under the stand-in
# root, so that a "..." name that climbs out of SRC (to the public header,
# say) reaches what it reaches in the real tree; a link of SRC that leads
# into SRC or the public folder is a link to the stand-in of its end.
tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT
tmp=$(realpath -- "$tmp")  # the compiler's paths are compared with realpath's
shadow=$tmp/shadow
shadow_src=$shadow$src
shadow_public=$shadow$public
mkdir -p "$shadow_src" "$shadow_public"
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
stand_ins "$src" "$shadow_src"
stand_ins "$public" "$shadow_public"
for link in "${links[@]}"; do
  to=${link_to[$link]}
  case $to in
    "$src" | "$src"/* | "$public" | "$public"/*) ln -s -- "$shadow$to" "$shadow_src/$link" ;;
  esac
done
# Two compiler runs per file, a few files at a time. The first takes the
# file's comments out and keeps the rest as it is written (-fpreprocessed,
# with the file's #define and #undef kept by -dD), so that a directive
# written after a comment starts its line. Every line of a condition's
# directive (#if, #ifdef, #ifndef, #elif, #elifdef, #elifndef, #else,
# #endif) and of an #error, which a branch another build does not take may
# hold, is then blanked, so every branch is read. That text comes in
# on the standard input, in an empty working folder (where the compiler
# looks first for a "..." name of such an input), with the file's own
# folder's stand-ins next (-iquote): beside the file, as for the file
# itself. Its dependency list goes to dep.INDEX, the messages of both
# runs to err.INDEX.
mkdir "$tmp/empty"
# shellcheck disable=SC2016 # an awk program
every_branch='
  {
    continued = spliced
    spliced = /\\$/
    if (!continued)
      blank = /^[ \t]*(#|%:)[ \t]*(if|ifdef|ifndef|elif|elifdef|elifndef|else|endif|error)([^A-Za-z0-9_]|$)/
    print blank ? "" : $0
  }'
# shellcheck disable=SC2016 # a program for sh, its variables its own
compile='
  g++ -x c++ -std=c++20 -E -fpreprocessed -dD -w - <"$2" >"$T/text.$1" 2>"$T/err.$1" &&
    awk "$B" "$T/text.$1" >"$T/all.$1" &&
    g++ -x c++ -std=c++20 -M -MG -w -nostdinc -iquote "$3" -I"$S" -I"$P" - <"$T/all.$1" >"$T/dep.$1" \
      2>>"$T/err.$1" || echo >"$T/failed.$1"'
for i in "${!files[@]}"; do
  rel=${files[$i]#"$src"/}
  dir=$shadow_src
  [[ $rel == */* ]] && dir+=/${rel%/*}
  printf '%s\0%s\0%s\0' "$i" "${files[$i]}" "$dir"
done | (cd "$tmp/empty" && T=$tmp S=$shadow_src P=$shadow_public B=$every_branch \
  xargs -0 -n 3 -P "$(nproc 2>/dev/null || echo 2)" sh -c "$compile" sh)

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
      echo "${line//"$shadow_src/"/"$base/"}"
    done <"$tmp/err.$i"
    unreadable=$((unreadable + 1))
    continue
  fi
  [[ -n $layer ]] || continue  # reported above
  dir=$shadow_src
  [[ $rel == */* ]] && dir+=/${rel%/*}
  # The dependency list of the standard input (`-: `, then every header
  # the file includes, the first as much as the others; blanks in names
  # escaped).
  deps=$(<"$tmp/dep.$i")
  deps=${deps//\\$'\n'/ }
  deps=${deps#-:}
  deps=${deps//\\ /$'\x01'}
  read -r -a included <<<"$deps"
  for name in "${included[@]}"; do
    name=${name//$'\x01'/ }
    case $name in
      "$shadow/"*)
        # Found among the stand-ins: the name as written is the rest of
        # the path after the folder the compiler found it in (a "..." one
        # beside the file, or SRC for either form), for the message.
        shown=""
        for w in "${name#"$dir/"}" "${name#"$shadow_src/"}"; do
          [[ $w != "$name" ]] || continue
          for form in '"' '<'; do
            close='"'
            [[ $form == '<' ]] && close='>'
            [[ -z $shown && -n ${directive[$i $form$w]+x} ]] && shown="${directive[$i $form$w]}: includes $form$w$close"
          done
        done
        real_path "$name" "$shadow_src"
        case $target in
          "$shadow_public" | "$shadow_public/"*) continue ;;  # the public header, below every layer
          "$shadow_src/"*) ;;
          *)
            fault "$base/$rel:${shown:- includes $name}, which lies outside $base/ (${target#"$shadow"})"
            continue
            ;;
        esac
        trel=${target#"$shadow_src/"}
        where="$base/$rel:${shown:- includes $trel} ($base/$trel)"
        ;;
      *)
        # Not found by the compiler among the stand-ins: a system header,
        # or a name it cannot find; a "..." name is looked for in the tree
        # itself too, as the compiler would (beside the file, then under
        # SRC, then in the public folder), for one that leads out of SRC
        # or through a link that does.
        if [[ -n ${directive[$i \"$name]+x} ]]; then
          where="$base/$rel:${directive[$i \"$name]}: includes \"$name\""
          real_path "${file%/*}/$name" "$src"
          [[ -f $target ]] || real_path "$src/$name" "$src"
          [[ -f $target ]] || real_path "$public/$name" "$src"
          if [[ ! -f $target ]]; then
            fault "$where, found neither beside it, nor under $base/, nor in $public"
            continue
          fi
        else
          real_path "$src/$name" "$src"
          [[ -f $target ]] || continue  # a system header
          where="$base/$rel:${directive[$i <$name]-}: includes <$name>"
        fi
        case $target in
          "$public"/*) continue ;;
          "$src"/*) ;;
          *)
            fault "$where, which lies outside $base/ ($target)"
            continue
            ;;
        esac
        trel=${target#"$src"/}
        where+=" ($base/$trel)"
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

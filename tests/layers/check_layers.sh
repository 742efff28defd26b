#!/usr/bin/env bash
# Checks the source tree against its layering and its map:
#  - every `#include` of a file in a layer folder of SRC (.h, .cpp, .inc,
#    .def) names a header of its own layer or of a layer below it, found the
#    way the compiler finds it ("..." beside the including file, then under
#    SRC, then in the public header folder; <...> under SRC, else a system
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
# when there is any.
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

include_re='^([^:]+):([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^">]+)[">]'
while IFS= read -r hit; do
  [[ $hit =~ $include_re ]] || continue
  file=${BASH_REMATCH[1]}
  lineno=${BASH_REMATCH[2]}
  form=${BASH_REMATCH[3]}
  name=${BASH_REMATCH[4]}
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
done < <(grep -nH -E '^[[:space:]]*#[[:space:]]*include' -- "${files[@]}")

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

#!/usr/bin/env bash
# Sources the bash completion of selvantrix-cli and asks it what it offers
# for typed command lines, as bash does on Tab: COMP_WORDS and COMP_CWORD
# set, the completion function called, COMPREPLY read.
# Usage: completion_test.sh SELVANTRIX_CLI COMPLETION_FILE
set -uo pipefail
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
# shellcheck source=/dev/null
source "$2" || { echo "FAIL: the completion file does not source" >&2; exit 1; }
complete -p selvantrix-cli > /dev/null || { echo "FAIL: no completion registered for selvantrix-cli" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/lists" "$scratch/logs"
touch "$scratch/lists/phones.txt" "$scratch/lists/phones.csv"
export HOME=$scratch XDG_DATA_HOME=$scratch/.local/share
cd "$scratch" || exit 1

# One completion in this shell keeps the program's table for the rest,
# which run in subshells.
COMP_WORDS=("$cli" "")
COMP_CWORD=1
_selvantrix_cli

failures=0
# What the completion offers for the words typed, the last being completed.
offered() {
  COMP_WORDS=("$cli" "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _selvantrix_cli
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}
expect() {
  local want=$1
  shift
  local got
  got=$(offered "$@")
  if [[ $got != "$want" ]]; then
    echo "FAIL: selvantrix-cli $* <Tab> offered [$got], expected [$want]" >&2
    failures=$((failures + 1))
  fi
}

# Each row: what is expected (sorted, space-separated) | the words typed.
while IFS='|' read -r want words; do
  [[ -z $want && -z $words ]] && continue
  # shellcheck disable=SC2086
  read -r -a typed <<< "$words"
  # A trailing space in the row means an empty word is being completed.
  [[ $words == *' ' ]] && typed+=("")
  want=${want% }
  expect "$want" "${typed[@]}"
done << 'EOF'
config|con
--dir|--d
--log|--l
--pin --pin-file --port|--p
--help|--h
find format|f
save show|config s
read|config re
--admin|config save --ad
--relay|config write --re
0 1 2 3 4 5 6|config write --relay 
list set|port 
set|pin 
--new-pin|pin set --n
name surname tel|list --order 
surname|list --order su
--replace|import lists/phones.txt --re
--help --past-holes --replace|read --
lists|--log li
lists/phones.csv lists/phones.txt|import lists/ph
lists/phones.csv lists/phones.txt|export lists/ph
lists/phones.csv lists/phones.txt|--log lists/ph
lists logs|--dir l
name|--dir lists --yes list --order na
config|--dir lists --yes -v con
|find 
|events 
|port list 
|port set COM3 --x
EOF

# Every command of the usage text completes, with each option its line names.
help=$("$cli" --help) || { echo "FAIL: selvantrix-cli --help" >&2; exit 1; }
commands=$(sed -n 's/^  \([a-z][a-z-]*\).*/\1/p' <<< "$help" | sort | tr '\n' ' ' | sed 's/ $//')
[[ -n $commands ]] || { echo "FAIL: no commands in --help" >&2; exit 1; }
expect "$commands" ""
while read -r command; do
  options=$(sed -n "s/^  $command \(.*\)/\1/p" <<< "$help" | sed 's/  .*//' | grep -o -- '--[a-z-]*' | sort -u)
  # shellcheck disable=SC2086 # one option a word
  expect "$(printf '%s\n' $options --help | sort | tr '\n' ' ' | sed 's/ $//')" "$command" "--"
done <<< "$(tr ' ' '\n' <<< "$commands")"

[[ $failures == 0 ]] || exit 1
echo "ok"

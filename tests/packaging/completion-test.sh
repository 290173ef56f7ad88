#!/usr/bin/env bash
# Drives the bash completion of lumora-loginctl as bash would on a Tab and
# compares what it offers with what the command accepts.
#   completion-test.sh COMPLETION_FILE
set -uo pipefail

completion=$1
if [ ! -f /usr/share/bash-completion/bash_completion ]; then
  echo "completion-test: bash-completion is not installed (apt-get install bash-completion)" >&2
  exit 1
fi
# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion
# shellcheck disable=SC1090
source "$completion"

work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
mkdir -p "$work/volume" "$work/pictures"
touch "$work/pictures/logo.tif" "$work/message.txt"
cd "$work" || exit 1

failures=0
checks=0

# expect LINE EXPECTED: LINE is what was typed before the Tab (the cursor at
# its end); EXPECTED the sorted offers, separated by spaces.
expect() {
  local line=$1 expected=$2
  COMP_LINE=$line
  COMP_POINT=${#line}
  read -ra COMP_WORDS <<<"$line"
  [[ $line == *' ' ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _lumora_loginctl lumora-loginctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ')
  got=${got% }
  checks=$((checks + 1))
  if [[ $got != "$expected" ]]; then
    printf 'FAIL: "%s"\n  expected: %s\n  got:      %s\n' "$line" "$expected" "$got"
    failures=$((failures + 1))
  fi
}

expect 'lumora-loginctl ' 'check-updates history preview restore set show volumes'
expect 'lumora-loginctl s' 'set show'
expect 'lumora-loginctl -' '--help --image --partition --root --version'
expect 'lumora-loginctl show -' '--help --image --json --partition --root'
expect 'lumora-loginctl show --json -' '--help --image --partition --root'
expect 'lumora-loginctl --image disk.img show -' '--help --json --partition --root'
expect 'lumora-loginctl restore -' '--check --help --image --json --look --partition --root'
expect 'lumora-loginctl history -' '--help --image --json --partition --root'
expect 'lumora-loginctl volumes -' '--help --json --root'
expect 'lumora-loginctl preview -' \
  '--background --blur --darken --fit --help --host-info --image --input-menu --logo --message --message-file --name-and-password --output --partition --password-hints --power-buttons --root --size --title'
expect 'lumora-loginctl preview --size ' '1024x768 1280x854 1440x900 1920x1200'
expect 'lumora-loginctl set --fit ' '1024x768 1280x854 1440x900 1920x1200'
expect 'lumora-loginctl set --darken 3' '30'
expect 'lumora-loginctl check-updates -' '--help --root'
expect 'lumora-loginctl set -' \
  '--background --blur --check --darken --fit --help --host-info --image --input-menu --json --logo --message --message-file --name-and-password --partition --password-hints --power-buttons --root --title'
# Each option once, and the two message options exclude each other.
expect 'lumora-loginctl set --logo pictures/logo.tif -' \
  '--background --blur --check --darken --fit --help --host-info --image --input-menu --json --message --message-file --name-and-password --partition --password-hints --power-buttons --root --title'
expect 'lumora-loginctl set --message-file=message.txt -' \
  '--background --blur --check --darken --fit --help --host-info --image --input-menu --json --logo --name-and-password --partition --password-hints --power-buttons --root --title'
expect 'lumora-loginctl set --message hello -' \
  '--background --blur --check --darken --fit --help --host-info --image --input-menu --json --logo --name-and-password --partition --password-hints --power-buttons --root --title'
# The login options' words, and an option given is not offered again.
expect 'lumora-loginctl set --power-buttons ' 'hide show'
expect 'lumora-loginctl set --name-and-password=' 'no yes'
expect 'lumora-loginctl set --password-hints o' 'off'
expect 'lumora-loginctl set --input-menu show --p' '--partition --password-hints --power-buttons'
# --root names a folder, before or after the command; the command is found after it.
expect 'lumora-loginctl --root ' 'pictures volume'
expect 'lumora-loginctl --root volume ' 'check-updates history preview restore set show volumes'
expect 'lumora-loginctl --root=volume show -' '--help --image --json --partition'
expect 'lumora-loginctl show --root ' 'pictures volume'
# Files for the file options, in both spellings.
expect 'lumora-loginctl set --logo pictures/' 'pictures/logo.tif'
expect 'lumora-loginctl set --message-file m' 'message.txt'
expect 'lumora-loginctl set --background=pictures/l' 'pictures/logo.tif'
# Host information by name.
expect 'lumora-loginctl set --host-info S' 'SerialNumber SystemBuild SystemVersion'
expect 'lumora-loginctl set --host-info=IP' 'IPAddress'
# A message is free text: nothing is offered.
expect 'lumora-loginctl set --message ' ''
expect 'lumora-loginctl frobnicate -' ''

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]

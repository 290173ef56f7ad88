#!/usr/bin/env bash
# The manual pages render without a warning and keep in step with the
# programs: every command and option that lumora-loginctl --help and
# lumora-defaults' usage name is in the page, and in the bash completion.
#   manpages-test.sh MAN_DIR BIN_DIR COMPLETION_FILE
set -uo pipefail

man_dir=$1 bin_dir=$2 completion=$3
failures=0
checks=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for page in lumora-login lumora-loginctl lumora-defaults; do
  checks=$((checks + 1))
  file=$man_dir/$page.1
  if [ ! -f "$file" ]; then
    fail "$file is missing"
    continue
  fi
  warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page.1 renders with warnings: $warnings"
done

# The rendered text, with hyphenation undone, so that words can be searched.
rendered() { MANWIDTH=200 man -l "$man_dir/$1.1" 2>/dev/null | col -b; }

ctl_help=$(QT_QPA_PLATFORM=offscreen "$bin_dir/lumora-loginctl" --help)
ctl_page=$(rendered lumora-loginctl)
ctl_words=$(grep -oE -- '--[a-z][a-z-]*|^  [a-z][a-z-]+' <<<"$ctl_help" | sed 's/^ *//' | sort -u)
[ -n "$ctl_words" ] || fail "no options found in lumora-loginctl --help"
for word in $ctl_words; do
  checks=$((checks + 1))
  grep -qE -- "(^|[^a-z-])$word([^a-z-]|$)" <<<"$ctl_page" || fail "lumora-loginctl.1 does not name $word"
  case $word in
    --help | --version | --root | --image | --partition | show | set | restore | preview | history | check-updates | volumes | --json | --check | \
      --fit | --darken | --blur | --look | \
      --output | --size | --logo | --title | --background | --message | --message-file | --host-info | \
      --name-and-password | --power-buttons | --input-menu | --password-hints)
      checks=$((checks + 1))
      grep -qE -- "(^|[^a-z-])$word([^a-z-]|$)" "$completion" || fail "the completion does not offer $word"
      ;;
    *) fail "lumora-loginctl --help names $word, which this test does not know: add it to the page and the completion" ;;
  esac
done
# The host-information names.
for name in Time HostName IPAddress DSStatus SerialNumber SystemBuild SystemVersion; do
  checks=$((checks + 2))
  grep -q "$name" <<<"$ctl_help" || fail "lumora-loginctl --help does not name $name"
  grep -q "$name" "$completion" || fail "the completion does not offer $name"
done

defaults_usage=$("$bin_dir/lumora-defaults" 2>&1 >/dev/null)
defaults_page=$(rendered lumora-defaults)
for word in $(grep -oE '\b(write|delete|read)\b' <<<"$defaults_usage" | sort -u); do
  checks=$((checks + 1))
  grep -qE "\b$word DOMAIN" <<<"$defaults_page" || fail "lumora-defaults.1 does not describe $word"
done
checks=$((checks + 1))
[ "$(grep -oE '\b(write|delete|read)\b' <<<"$defaults_usage" | sort -u | wc -l)" -eq 3 ] ||
  fail "lumora-defaults' usage changed: $defaults_usage"

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]

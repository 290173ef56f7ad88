#!/usr/bin/env bash
# Runs the lumora_login Ansible module (contrib/ansible) against this machine
# on a fresh sample volume, with the playbook of docs/fleet.md:
#   1. the first run changes the look;
#   2. a second run changes nothing (changed=0);
#   3. after a change by hand, a --check --diff run reports it and writes nothing;
#   4. after an ad-hoc state=restored, the playbook puts the look back;
#   5. an ad-hoc look=ID brings back the look that run replaced, once.
# Installs Debian's ansible-core with apt-get when it is missing. Needs a
# built tree (BUILD_DIR, default build); prints the four PLAY RECAP lines.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=$(realpath "${BUILD_DIR:-build}")

if ! command -v ansible-playbook >/dev/null; then
  # Another apt-get may be running (setup of another build): wait for it.
  apt-get -o DPkg::Lock::Timeout=600 update
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends ansible-core
fi
for tool in lumora-loginctl lumora-defaults lumora-sample-volume; do
  [ -x "$build_dir/bin/$tool" ] || ninja -C "$build_dir" -j2 lumora-loginctl lumora-defaults lumora-sample-volume
done

work=$(mktemp -d /tmp/lumora-ansible.XXXXXX)
# LUMORA_KEEP_WORK=1 keeps the folder (volume, playbook, logs) for a look afterwards.
[ -n "${LUMORA_KEEP_WORK:-}" ] || trap 'rm -rf -- "$work"' EXIT
volume=$work/volume
BUILD_DIR=$build_dir scripts/make-sample-volume.sh "$volume" >/dev/null

# The companion is found on PATH; it keeps its own files under $work.
export PATH=$build_dir/bin:$PATH
export LUMORA_AUTH=direct XDG_DATA_HOME=$work/home/data XDG_CONFIG_HOME=$work/home/config
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_LOCALHOST_WARNING=0

# The playbook exactly as docs/fleet.md gives it, beside its files/ folder.
play=$work/play
mkdir -p "$play/files"
awk '/^```yaml$/ {inside = 1; next} /^```$/ {if (inside) exit} inside' docs/fleet.md >"$play/lumora-look.yml"
grep -q lumora_login "$play/lumora-look.yml" || { echo "ansible-check: no playbook in docs/fleet.md" >&2; exit 1; }
# Installed as docs/fleet.md says: library/ and an ansible.cfg naming it.
mkdir -p "$play/library"
cp contrib/ansible/library/lumora_login.py "$play/library/"
printf '[defaults]\nlibrary = ./library\n' >"$play/ansible.cfg"
cat >"$play/inventory.ini" <<INI
[lumora]
localhost ansible_connection=local ansible_become=false lumora_root=$volume lumora_look_dir=$work/look
INI
python3 - "$play/files" <<'PY'
import struct, sys, zlib
def png(path, width, height, rgb):
    rows = b"".join(b"\0" + bytes(rgb) * width for _ in range(height))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
png(sys.argv[1] + "/logo.png", 96, 96, (200, 30, 30))
png(sys.argv[1] + "/title.png", 240, 40, (30, 160, 60))
PY
cp "$volume/System/Library/CoreServices/DefaultDesktop.jpg" "$play/files/background.jpg"

recaps=()
fail() { echo "ansible-check: $*" >&2; exit 1; }
# Runs the playbook; $1 is the changed= count the recap must show.
playbook() {
  local want=$1 log recap
  shift
  log=$work/run-${#recaps[@]}.log
  (cd "$play" && ansible-playbook -i inventory.ini lumora-look.yml "$@") >"$log" 2>&1 || { cat "$log"; fail "playbook failed"; }
  recap=$(grep -E '^localhost +:' "$log") || { cat "$log"; fail "no recap"; }
  recaps+=("$recap")
  echo "$recap"
  [[ $recap == *" changed=$want "* ]] || { cat "$log"; fail "expected changed=$want"; }
}
# Every file under the volume and the companion's own folders, with its digest and time.
state() {
  (cd "$work" && for top in volume home look; do
     [ ! -e "$top" ] || { find "$top" -exec stat -c '%n %s %y %a' {} +; find "$top" -type f -exec sha256sum {} +; }
   done) | sort
}
shown() { lumora-loginctl show --json --root "$volume" 2>/dev/null; }
field() { python3 -c 'import json,sys; d=json.load(sys.stdin); print(eval(sys.argv[1]))' "$1"; }

echo "== 1. first run"
playbook 2
[ "$(shown | field 'd["message"]')" = "Property of Example Corp.  Authorised use only." ] || fail "message not applied"
[ "$(shown | field 'd["hostInfo"]["name"]')" = HostName ] || fail "host information not canonical"
[ "$(shown | field 'd["background"]["path"]')" = "/Library/Application Support/Lumora/login_background.jpg" ] \
  || fail "background not applied"
[ "$(shown | field 'd["loginOptions"]')" = "{'inputMenu': True, 'nameAndPassword': True, 'passwordHints': 3, 'powerButtons': False}" ] \
  || fail "login options not applied"
applied=$(shown)

echo "== 2. second run"
before=$(state)
grep -q "applelogo.tif" <<<"$before" || fail "the snapshot misses the volume"
playbook 0
[ "$before" = "$(state)" ] || fail "a run with nothing to change wrote something"

echo "== 3. --check --diff after a change by hand"
lumora-loginctl set --root "$volume" --message "Edited by hand" >/dev/null 2>&1
before=$(state)
playbook 1 --check --diff
[ "$before" = "$(state)" ] || fail "--check wrote something"
grep -q '"Edited by hand"' "$work/run-2.log" || fail "the diff does not show the message"

echo "== 4. ad-hoc restore, then the look again"
(cd "$play" && ansible lumora -i inventory.ini -m lumora_login -a 'state=restored root={{ lumora_root }}') \
  >"$work/restore.log" 2>&1 || { cat "$work/restore.log"; fail "restore failed"; }
grep -q 'CHANGED' "$work/restore.log" || { cat "$work/restore.log"; fail "restore changed nothing"; }
[ "$(shown | field 'd["message"]')" = None ] || fail "restore left the message"
lumora-defaults read "$volume/Library/Preferences/com.apple.loginwindow" SHOWFULLNAME >/dev/null 2>&1 \
  && fail "restore left the login options"
playbook 1
[ "$(shown)" = "$applied" ] || fail "the look was not put back as first applied"

echo "== 5. a look of the history, ad hoc"
id=$(lumora-loginctl history --json --root "$volume" 2>/dev/null | field 'd["looks"][0]["id"]')
[ "$(lumora-loginctl history --json --root "$volume" 2>/dev/null | field 'd["looks"][0]["message"]')" = None ] \
  || fail "the newest look kept is not the restored one"
for want in CHANGED SUCCESS; do
  (cd "$play" && ansible lumora -i inventory.ini -m lumora_login -a "look=$id root={{ lumora_root }}") \
    >"$work/look.log" 2>&1 || { cat "$work/look.log"; fail "look=$id failed"; }
  grep -q "$want" "$work/look.log" || { cat "$work/look.log"; fail "look=$id: expected $want"; }
done
[ "$(shown | field 'd["message"]')" = None ] || fail "look=$id did not bring its message back"

echo "== PLAY RECAP lines"
printf '%s\n' "${recaps[@]}"
[ -z "${LUMORA_KEEP_WORK:-}" ] || echo "Kept $work"

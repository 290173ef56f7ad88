#!/usr/bin/env bash
# CI stage for the Debian package, on a machine where we may install
# system-wide (as root, or with sudo):
#   builds the package, installs it with apt-get, runs the installed
#   programs on a sample volume, checks the package with lintian (no
#   errors), desktop-file-validate and appstreamcli, then purges it and
#   checks that nothing of it is left.
# Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
# Waits for another apt-get or dpkg instead of failing at once.
apt_get() { "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 "$@"; }
package=lumora-login
app_id=org.lumora.LumoraLogin

step() { printf '\n==== %s\n' "$*"; }
fail() {
  echo "package-check: $*" >&2
  exit 1
}

tools=(lintian desktop-file-utils appstream librsvg2-bin dpkg-dev file man-db bash-completion)
missing=()
for p in "${tools[@]}"; do
  # "triggers-pending" while another installation runs: it is there all the same.
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -qE "^install ok (installed|triggers-)" || missing+=("$p")
done
if ((${#missing[@]})); then
  step "Installing ${missing[*]}"
  apt_get update -q
  apt_get install -y -q --no-install-recommends "${missing[@]}"
fi

# A copy left by an earlier run would hide what this one installs.
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
  step "Purging the $package installed before"
  apt_get purge -y -q "$package"
fi

step "Building the package"
scripts/package.sh
debs=(build/"$package"_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one build/${package}_*.deb, found: ${debs[*]}"
deb=${debs[0]}
dpkg-deb --info "$deb"
step "dpkg-deb -c $deb"
dpkg-deb --contents "$deb"

step "Installing $deb"
apt_get install -y -q "./$deb"
dpkg-query -W -f='${Status}\n' "$package" | grep -q "install ok installed" || fail "$package is not installed"
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
# What the package put on the system, checked again after the purge.
files_list=$work/files
dpkg -L "$package" | sort >"$files_list"
# The programs run with a home of their own, and without the update check
# at start-up: this stage reaches no server.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME/Lumora" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[General]\ncheckForUpdates=false\n' >"$XDG_CONFIG_HOME/Lumora/Lumora Login.ini"

step "Running the installed programs"
[ "$(command -v lumora-loginctl)" = /usr/bin/lumora-loginctl ] || fail "lumora-loginctl is not /usr/bin/lumora-loginctl"
version=$(lumora-loginctl --version)
echo "$version"
[[ $version == "lumora-loginctl "[0-9]* ]] || fail "unexpected --version output: $version"

# The sample volume is drawn from the installed stock pictures.
volume=$work/volume
mkdir -p "$volume"
"${PACKAGE_BUILD_DIR:-build-deb}/bin/lumora-sample-volume" volume "$volume" /usr/share/lumora-login 10.4.11 >/dev/null
show=$(LUMORA_SYSTEM_ROOT=$volume lumora-loginctl show)
echo "$show"
grep -qx "release: 10.4.11" <<<"$show" || fail "show did not read the sample volume"
grep -q "^logo: .*(first place, valid)$" <<<"$show" || fail "show found no valid logo"

# A save runs the preference tool from /usr/libexec/lumora-login.
LUMORA_SYSTEM_ROOT=$volume LUMORA_AUTH=direct lumora-loginctl set --message "Installed from the package" \
  --host-info SystemVersion
show=$(LUMORA_SYSTEM_ROOT=$volume lumora-loginctl show)
grep -qx "message: Installed from the package" <<<"$show" || fail "the saved message does not read back"
grep -qx "host-info: SystemVersion (tag 6)" <<<"$show" || fail "the saved host information does not read back"

status=0
LUMORA_SYSTEM_ROOT=$volume LUMORA_AUTH=direct QT_QPA_PLATFORM=offscreen timeout 3 lumora-login || status=$?
echo "lumora-login ran for 3 seconds, exit status $status"
# 124: still running when the time was up, as it should be.
[ "$status" -eq 124 ] || [ "$status" -eq 0 ] || fail "lumora-login ended with status $status"

step "Manual pages and completion as installed"
for page in lumora-login lumora-loginctl lumora-defaults; do
  warnings=$(MANWIDTH=80 man --warnings "$page" 2>&1 >/dev/null) || fail "man $page failed: $warnings"
  [ -z "$warnings" ] || fail "man $page: $warnings"
  echo "man $page: no warnings"
done
bash -c 'source /usr/share/bash-completion/bash_completion && _completion_loader lumora-loginctl; complete -p lumora-loginctl' ||
  fail "the bash completion of lumora-loginctl does not load"

step "lintian"
lintian_out=$(lintian --display-info "$deb" 2>&1) || true
echo "${lintian_out:-(no output)}"
! grep -q "^E: " <<<"$lintian_out" || fail "lintian reports errors"

step "desktop-file-validate"
desktop-file-validate "/usr/share/applications/$app_id.desktop" || fail "the desktop file does not validate"
echo "desktop-file-validate: passed"

step "appstreamcli validate --no-net"
appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml" || fail "the metainfo does not validate"

step "Purging $package"
apt_get purge -y -q "$package"
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "installed\|config-files"; then
  fail "dpkg still knows $package: $(dpkg-query -W -f='${Status}' "$package")"
fi
listed=$(dpkg -L "$package" 2>/dev/null || true)
[ -z "$listed" ] || fail "dpkg -L $package still lists files"
left=()
while IFS= read -r path; do
  # Folders shared with other packages (/usr/share/icons/...) stay.
  if [ -e "$path" ] && [ ! -d "$path" ]; then left+=("$path"); fi
done <"$files_list"
for dir in /usr/share/lumora-login /usr/libexec/lumora-login /usr/share/doc/lumora-login; do
  [ ! -e "$dir" ] || left+=("$dir")
done
((${#left[@]} == 0)) || fail "left behind after the purge: ${left[*]}"
echo "nothing of $package is left ($(wc -l <"$files_list") paths checked)"

step "Package check passed"

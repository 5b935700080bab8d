#!/usr/bin/env bash
# What `cmake --install` does with this build: it writes into the
# destination only, never into the build tree (which may belong to another
# user than the one who installs), and the user units it writes (the
# watchdog's and the tray program's) are ones that systemd accepts; the
# watchdog's leaves what the watchdog started (the viewer, a web browser)
# running when the watchdog ends or restarts.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1

source "$(dirname "$0")/package_test_common.sh"
require_tools systemd-analyze desktop-file-validate
touch "$work/before"
# Into a prefix of its own, so that the unit names a program that exists.
cmake --install "$build" --prefix "$work/usr" >"$work/install.log" 2>&1 || {
  cat "$work/install.log"
  echo "FAIL: cmake --install"
  exit 1
}
written=$(find "$build" -path "$build/Testing" -prune -o -newer "$work/before" -type f \
  ! -name 'install_manifest*.txt' -print)
[[ -z "$written" ]] || fail "the install wrote into the build tree: $written"

# Each user unit starts its installed program, and systemd takes it whole.
for unit_program in tesselwatchdog.service:tesselwatchdogapplication brivaradriver.service:brivaradriver; do
  unit="$work/usr/lib/systemd/user/${unit_program%%:*}"
  [[ -f "$unit" ]] || { fail "no unit at $unit"; continue; }
  grep -qx "ExecStart=$work/usr/libexec/tessel/${unit_program#*:}" "$unit" \
    || fail "${unit##*/} does not start the installed program"
  # systemd-analyze says what it cannot take, yet exits 0 for most of it.
  verdict=$(systemd-analyze verify "$unit" 2>&1) || fail "systemd-analyze verify ${unit##*/} failed"
  [[ -z "$verdict" ]] || fail "systemd-analyze verify ${unit##*/}: $verdict"
done
# Both units keep systemd's default kill mode, so that a stop leaves nothing
# of them behind: what the watchdog starts for the user (the viewer, a web
# browser) lives in scopes of its own (see UserScope).
for unit in tesselwatchdog.service brivaradriver.service; do
  kill_mode=$(sed -n 's/^KillMode=//p' "$work/usr/lib/systemd/user/$unit")
  [[ -z "$kill_mode" ]] || fail "$unit sets KillMode=$kill_mode: what it leaves behind outlives it"
done

# The autostart entries start both programs on desktops without a systemd
# graphical session, and systemd's generator, which GNOME and KDE use for
# autostart, makes nothing of them there (the units start the programs).
generator=/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator
autostart="$work/usr/etc/xdg/autostart"
for entry in tesselwatchdog:tesselwatchdogapplication brivaradriver:brivaradriver; do
  file="$autostart/${entry%%:*}.desktop"
  [[ -f "$file" ]] || { fail "no autostart entry at $file"; continue; }
  desktop-file-validate "$file" || fail "${file##*/} is not a valid desktop entry"
  grep -qx "Exec=$work/usr/libexec/tessel/${entry#*:}" "$file" || fail "${file##*/} does not start the installed program"
  grep -qx 'X-GNOME-HiddenUnderSystemd=true' "$file" || fail "${file##*/} is not hidden from gnome-session under systemd"
done
if [[ -x "$generator" ]]; then
  # What the generator makes of the entries as installed, and of the same
  # entries without the marks: the second run shows that it reads them at
  # all. (systemd 252 skips an entry for X-systemd-skip, not for
  # X-GNOME-HiddenUnderSystemd.)
  generate() {
    rm -rf "$work/generated" "$work/config"
    mkdir -p "$work/generated" "$work/config/autostart"
    cp "$autostart"/*.desktop "$work/config/autostart/"
    if [[ "$1" == unmarked ]]; then
      sed -i -e '/^X-GNOME-HiddenUnderSystemd=/d' -e '/^X-systemd-skip=/d' "$work/config/autostart"/*.desktop
    fi
    XDG_CONFIG_DIRS="$work/config" XDG_CONFIG_HOME="$work/no-home-config" XDG_CURRENT_DESKTOP=GNOME \
      "$generator" "$work/generated" "$work/generated" "$work/generated" >"$work/generator.log" 2>&1 \
      || { cat "$work/generator.log"; fail "the autostart generator failed"; }
    find "$work/generated" -name 'app-*@autostart.service' -printf '%f\n' | sort
  }
  generated=$(generate marked)
  [[ -z "$generated" ]] || fail "the autostart generator made units of the entries: $generated"
  unmarked=$(generate unmarked)
  [[ "$unmarked" == *brivaradriver* && "$unmarked" == *tesselwatchdog* ]] \
    || fail "without the mark the generator should make a unit of each entry, made: $unmarked"
else
  echo "no $generator: the generator's view is not checked"
fi

# Only the watchdog plays sounds: the viewer and the tray start without
# loading Qt Multimedia and what it brings.
program_dir="$work/usr/libexec/tessel"
for program in tesselwatchdogapplication:yes tessel:no brivaradriver:no; do
  name=${program%%:*}
  needed=$(readelf -d "$program_dir/$name")
  if grep -q 'NEEDED.*libQt6Multimedia' <<<"$needed"; then loads=yes; else loads=no; fi
  [[ "$loads" == "${program#*:}" ]] || fail "$name: loads Qt Multimedia: $loads"
done

finish "install: destination only, both units verified, children outlive the watchdog, autostart entries for other desktops, Qt Multimedia in the watchdog alone"

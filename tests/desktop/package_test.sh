#!/usr/bin/env bash
# The Debian package made from this build: cpack builds it, then its files,
# its dependencies, what its maintainer script enables, and lintian's verdict
# are checked. Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2

for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
  if ! command -v "$tool" >/dev/null; then
    echo "needs $tool (scripts/install-deps)"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A package folder of its own, so that two runs do not meet.
(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  echo "FAIL: cpack"
  exit 1
}
debs=("$work"/out/tessel-watchdog_*.deb)
deb=${debs[0]}
[[ -f "$deb" ]] || { cat "$work/cpack.log"; echo "FAIL: no package"; exit 1; }
echo "package: ${deb##*/}, $(stat -c %s "$deb") bytes"

# Exactly the files of the install rules, in /usr.
dpkg-deb -c "$deb" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }' | grep -v '/$' | sort >"$work/files"
cat >"$work/expected" <<'LIST'
./usr/bin/tesselwatchdogapplication -> ../libexec/tessel/tesselwatchdogapplication
./usr/lib/systemd/user-preset/80-tessel-watchdog.preset
./usr/lib/systemd/user/tesselwatchdog.service
./usr/lib/udev/rules.d/70-tessel-camera.rules
./usr/libexec/tessel/Brivara Tessel.xml
./usr/libexec/tessel/BrivaraDriver_Fedora.xml
./usr/libexec/tessel/ZentraUpdater
./usr/libexec/tessel/ding.wav
./usr/libexec/tessel/tesselwatchdogapplication
./usr/share/doc/tessel-watchdog/README.md
./usr/share/doc/tessel-watchdog/changelog.gz
./usr/share/doc/tessel-watchdog/copyright
./usr/share/man/man1/tesselwatchdogapplication.1.gz
LIST
sort -o "$work/expected" "$work/expected"
diff -u "$work/expected" "$work/files" || fail "the package's files differ from the list above"

dpkg-deb -x "$deb" "$work/root"
for file in "data/Brivara Tessel.xml:usr/libexec/tessel/Brivara Tessel.xml" \
            "data/Brivara Tessel.xml:usr/libexec/tessel/BrivaraDriver_Fedora.xml" \
            "data/70-tessel-camera.rules:usr/lib/udev/rules.d/70-tessel-camera.rules"; do
  cmp -s "$source/${file%%:*}" "$work/root/${file#*:}" || fail "${file#*:} is not ${file%%:*}"
done
grep -qx 'ExecStart=/usr/libexec/tessel/tesselwatchdogapplication' "$work/root/usr/lib/systemd/user/tesselwatchdog.service" \
  || fail "the unit does not start the installed program"
grep -qx 'WantedBy=graphical-session.target' "$work/root/usr/lib/systemd/user/tesselwatchdog.service" \
  || fail "the unit is not for graphical sessions"
file "$work/root/usr/libexec/tessel/tesselwatchdogapplication" | grep -q ', stripped' || fail "the program is not stripped"
# The updater is stripped too, yet still padded to where a delivered image
# is appended.
updater="$work/root/usr/libexec/tessel/ZentraUpdater"
file "$updater" | grep -q ', stripped' || fail "the updater is not stripped"
offset=$(sed -n 's/^TESSEL_UPDATER_IMAGE_OFFSET:STRING=//p' "$build/CMakeCache.txt")
[[ $(stat -c %s "$updater") == "$offset" ]] || fail "the updater is not $offset bytes long"
grep -qx 'KillMode=process' "$work/root/usr/lib/systemd/user/tesselwatchdog.service" \
  || fail "the unit would end what the watchdog started"

# Dependencies as dpkg-shlibdeps found them in the program, not written by hand.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6dbus6 libqt6xml6 libqt6multimedia6 libudev1; do
  [[ ",$depends" == *[,\ ]$library\ \(* ]] || fail "Depends lacks $library with a version"
done

# The maintainer script enables the user unit for every graphical session
# (run against the unpacked tree; udev is left alone without a running udevd).
dpkg-deb -e "$deb" "$work/control"
if DPKG_ROOT="$work/root" DPKG_MAINTSCRIPT_PACKAGE=tessel-watchdog DPKG_MAINTSCRIPT_NAME=postinst \
  sh "$work/control/postinst" configure >"$work/postinst.log" 2>&1; then
  link="$work/root/etc/systemd/user/graphical-session.target.wants/tesselwatchdog.service"
  [[ -L "$link" ]] || fail "postinst did not enable the unit for graphical sessions"
else
  cat "$work/postinst.log"
  fail "postinst failed"
fi
grep -q 'udevadm control --reload-rules' "$work/control/postinst" || fail "postinst does not reload udev rules"

# lintian: no errors. Its remaining warnings are listed in the README.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || true
cat "$work/lintian.txt"
if grep -q '^E: ' "$work/lintian.txt"; then
  fail "lintian reports errors"
fi

if ((failures)); then
  exit 1
fi
echo "package: contents, dependencies, unit enabling and lintian as expected"

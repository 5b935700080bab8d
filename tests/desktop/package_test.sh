#!/usr/bin/env bash
# The Debian package made from this build: cpack builds it, then its files,
# its desktop entries and metadata, its dependencies, what its maintainer
# script enables and sets, and lintian's verdict are checked.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2

source "$(dirname "$0")/package_test_common.sh"
require_tools cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli getcap setcap
build_package DEB 'tessel-watchdog_*.deb'
deb=$package
echo "package: ${deb##*/}, $(stat -c %s "$deb") bytes"

# Exactly the files of the install rules, in /usr: those of the list both
# package tests share.
dpkg-deb -c "$deb" | awk '{ $1=$2=$3=$4=$5=""; sub(/^ +/, ""); print }' | grep -v '/$' >"$work/listing"
sed -e 's/ -> .*$//' -e 's#^\./##' "$work/listing" >"$work/package-files"
check_files "$work/package-files"
grep -qx './usr/bin/tesselwatchdogapplication -> ../libexec/tessel/tesselwatchdogapplication' "$work/listing" \
  || fail "bin/tesselwatchdogapplication is not a relative link to the program"

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
for program in usr/libexec/tessel/tesselwatchdogapplication usr/libexec/tessel/brivaradriver usr/libexec/tessel/tessel \
               usr/bin/tessel-scan; do
  grep -q ', stripped' <<<"$(file "$work/root/$program")" || fail "$program is not stripped"
done
# The updater is stripped too, yet still padded to where a delivered image
# is appended.
updater="$work/root/usr/libexec/tessel/ZentraUpdater"
grep -q ', stripped' <<<"$(file "$updater")" || fail "the updater is not stripped"
check_updater_length "$updater"
! grep -q '^KillMode=' "$work/root/usr/lib/systemd/user/tesselwatchdog.service" \
  || fail "the unit sets a kill mode: what it leaves behind would outlive it"
tray_unit="$work/root/usr/lib/systemd/user/brivaradriver.service"
grep -qx 'ExecStart=/usr/libexec/tessel/brivaradriver' "$tray_unit" || fail "the tray's unit does not start the installed program"
grep -qx 'WantedBy=graphical-session.target' "$tray_unit" || fail "the tray's unit is not for graphical sessions"
# A capability that an administrator gives by hand for the TCP port would
# not survive NoNewPrivileges.
grep -q '^NoNewPrivileges' "$tray_unit" && fail "the tray's unit forbids the capability it needs"

# Every desktop entry and every AppStream file is valid.
while IFS= read -r -d '' entry; do
  desktop-file-validate "$entry" || fail "${entry#"$work/root"} is not a valid desktop entry"
  icon=$(sed -n 's/^Icon=//p' "$entry")
  compgen -G "$work/root/usr/share/icons/hicolor/*/apps/$icon.*" >/dev/null || fail "${entry#"$work/root"}: no icon $icon"
done < <(find "$work/root/usr/share/applications" -name '*.desktop' -print0)
while IFS= read -r -d '' metainfo; do
  appstreamcli validate --no-net "$metainfo" || fail "${metainfo#"$work/root"} is not valid AppStream"
done < <(find "$work/root/usr/share" -path '*/metainfo/*.xml' -print0)

# Dependencies as dpkg-shlibdeps found them in the program, not written by hand.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6dbus6 libqt6xml6 libqt6multimedia6 libqt6network6 \
               libqt6svg6 libudev1 libtesseract5 libopencv-core406 libopencv-imgproc406; do
  [[ ",$depends" == *[,\ ]$library\ \(* ]] || fail "Depends lacks $library with a version"
done
[[ ",$depends," != *"libcap2-bin"* ]] || fail "Depends names libcap2-bin, which nothing needs"
# Leptonica's shlibs name no version.
[[ ",$depends," == *", liblept5,"* ]] || fail "Depends lacks liblept5"
[[ ",$depends," == *", tesseract-ocr-eng,"* ]] || fail "Depends lacks tesseract-ocr-eng (tessel-scan's OCR data)"
# The OCR data of the language file's other 18 languages is recommended.
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "Recommends: $recommends"
for language in dan nld fra hun ita nor pol por rus swe ara jpn fin deu spa chi-sim chi-tra cat; do
  [[ ",$recommends," == *[,\ ]tesseract-ocr-$language,* ]] || fail "Recommends lacks tesseract-ocr-$language"
done

# The maintainer script enables both user units for every graphical session
# and gives no program a capability (run against the unpacked tree; udev is
# left alone without a running udevd).
dpkg-deb -e "$deb" "$work/control"
if DPKG_ROOT="$work/root" DPKG_MAINTSCRIPT_PACKAGE=tessel-watchdog DPKG_MAINTSCRIPT_NAME=postinst \
  sh "$work/control/postinst" configure >"$work/postinst.log" 2>&1; then
  for unit in tesselwatchdog.service brivaradriver.service; do
    link="$work/root/etc/systemd/user/graphical-session.target.wants/$unit"
    [[ -L "$link" ]] || fail "postinst did not enable $unit for graphical sessions"
  done
  capabilities=$(getcap -r "$work/root" 2>/dev/null)
  [[ -z "$capabilities" ]] || fail "a program carries a capability: $capabilities"
else
  cat "$work/postinst.log"
  fail "postinst failed"
fi
grep -q 'udevadm control --reload-rules' "$work/control/postinst" || fail "postinst does not reload udev rules"
! grep -q setcap "$work/control/postinst" || fail "postinst sets a capability"
# The autostart entries in /etc are the admin's to change.
for entry in tesselwatchdog brivaradriver; do
  grep -qx "/etc/xdg/autostart/$entry.desktop" "$work/control/conffiles" \
    || fail "/etc/xdg/autostart/$entry.desktop is not a conffile"
done

# lintian: neither errors nor warnings. Its remaining notes are listed in
# the README.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || true
cat "$work/lintian.txt"
if grep -q '^[EW]: ' "$work/lintian.txt"; then
  fail "lintian reports errors or warnings"
fi

finish "package: contents, desktop entries, dependencies, unit enabling, no capability, conffiles and lintian as expected"

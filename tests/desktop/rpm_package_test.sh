#!/usr/bin/env bash
# The RPM made from this build (for Fedora and its kin): cpack builds it from
# the same install rules as the .deb, then its files (the list both package
# tests share), that no file carries a capability, its dependencies and scripts,
# and rpmlint's verdict are checked. Usage: rpm_package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2

source "$(dirname "$0")/package_test_common.sh"
require_tools cpack rpmbuild rpm rpm2cpio cpio rpmlint
build_package RPM 'tessel-watchdog-*.rpm'
echo "package: ${package##*/}, $(stat -c %s "$package") bytes"

# The same files as the .deb; folders aside (the package owns only its own).
rpm -qp --qf '[%{FILEMODES:perms} %{FILENAMES}\n]' "$package" >"$work/listing"
grep -v '^d' "$work/listing" | sed 's#^[^ ]* /##' >"$work/package-files"
check_files "$work/package-files"
for folder in /usr/libexec/tessel /usr/share/doc/tessel-watchdog; do
  grep -qx "d[^ ]* $folder" "$work/listing" || fail "the package does not own $folder"
done
for system_folder in /usr/libexec /usr/lib/udev/rules.d /usr/lib/systemd/user /usr/share/applications; do
  grep -q " $system_folder\$" "$work/listing" && fail "the package claims the system's folder $system_folder"
done

(mkdir "$work/root" && cd "$work/root" && rpm2cpio "$package" | cpio -idm --quiet)
cmp -s "$source/data/70-tessel-camera.rules" "$work/root/usr/lib/udev/rules.d/70-tessel-camera.rules" \
  || fail "the udev rule is not data/70-tessel-camera.rules"
for unit in tesselwatchdog brivaradriver; do
  grep -q "^ExecStart=/usr/libexec/tessel/" "$work/root/usr/lib/systemd/user/$unit.service" \
    || fail "$unit.service does not start the installed program"
done

# rpmbuild's own stripping must not undo the updater's padding: an
# appended image starts at that offset.
check_updater_length "$work/root/usr/libexec/tessel/ZentraUpdater"

# No program carries a capability; the autostart entries are config files.
capabilities=$(rpm -qp --filecaps "$package" | grep -P '\t.' || true)
[[ -z "$capabilities" ]] || fail "a file carries a capability: $capabilities"
# (Read whole first: with pipefail, a grep -q that stops at its match can
# fail the pipeline by SIGPIPE to a writer that is not done yet.)
config_files=$(rpm -qpc "$package")
for entry in tesselwatchdog brivaradriver; do
  grep -qx "/etc/xdg/autostart/$entry.desktop" <<<"$config_files" \
    || fail "/etc/xdg/autostart/$entry.desktop is not a config file"
done

# Libraries as rpmbuild found them in the programs, plus what is loaded at
# run time.
rpm -qpR "$package" >"$work/requires"
for requirement in 'libQt6Core.so.6()(64bit)' 'libQt6Network.so.6()(64bit)' 'libQt6Svg.so.6()(64bit)' \
                   'libudev.so.1()(64bit)' 'libtesseract.so.5()(64bit)' 'libopencv_imgproc.so.406()(64bit)' \
                   qt6-qtbase-gui systemd-udev tesseract-langpack-eng; do
  grep -qxF "$requirement" "$work/requires" || fail "Requires lacks $requirement"
done
rpm -qp --recommends "$package" >"$work/recommends"
for language in dan nld fra hun ita nor pol por rus swe ara jpn fin deu spa chi_sim chi_tra cat; do
  grep -qxF "tesseract-langpack-$language" "$work/recommends" || fail "Recommends lacks tesseract-langpack-$language"
done

# The scripts enable both user units on installation, take them back on
# removal, and reload udev's rules.
rpm -qp --scripts "$package" >"$work/scripts"
grep -q 'preset tesselwatchdog.service brivaradriver.service' "$work/scripts" || fail "%post does not enable the units"
grep -q 'disable tesselwatchdog.service brivaradriver.service' "$work/scripts" || fail "%preun does not disable the units"
grep -q 'udevadm control --reload-rules' "$work/scripts" || fail "the scripts do not reload udev's rules"

# rpmlint: no errors. Its remaining warnings are listed in the README.
rpmlint -c "$source/packaging/rpm/rpmlint.toml" "$package" >"$work/rpmlint.txt" 2>&1 || true
cat "$work/rpmlint.txt"
if grep -q ': E: ' "$work/rpmlint.txt"; then
  fail "rpmlint reports errors"
fi

finish "package: contents, no capability, config files, dependencies, scripts and rpmlint as expected"

#!/usr/bin/env bash
# The camera's udev rule, run through udev itself: `udevadm test` on the
# devices of the camera stand-in's umockdev testbed (the camera, a keyboard
# of another vendor, a webcam), with our rule as the only rule. The camera's
# hidraw node and its video nodes must get the "uaccess" tag, the others not.
# Usage: udev_rule_test.sh RULE_FILE TESSELCAMERA
set -euo pipefail
rule=$1
camera=$2

if [[ $(id -u) -ne 0 ]] || ! command -v udevadm >/dev/null; then
  echo "needs root and udevadm"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/rules" "$work/empty"
cp "$rule" "$work/rules/"
# udevadm test writes its database below /run/udev and links below
# /dev/char: both go to throw-away mounts of a private mount namespace.
mkdir -p /dev/char

cat >"$work/inner.sh" <<'INNER'
set -eu
mount --make-rprivate /
mount --bind "$1/rules" /etc/udev/rules.d
for dir in /usr/lib/udev/rules.d /usr/local/lib/udev/rules.d /lib/udev/rules.d; do
  if [ -d "$dir" ]; then mount --bind "$1/empty" "$dir"; fi
done
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /dev/char
exec "$2" --with-hid --with-usb --exit-with-child -- sh -c '
  for dev in /sys/class/hidraw/* /sys/class/video4linux/*; do
    tags=$(udevadm test "$dev" 2>/dev/null | sed -n "s/^TAGS=//p")
    echo "tags /dev/${dev##*/} ${tags:-none}"
  done'
INNER
unshare -m bash "$work/inner.sh" "$work" "$camera" >"$work/out.txt" 2>"$work/err.txt" || {
  cat "$work/out.txt" "$work/err.txt"
  echo "FAIL: the testbed or udevadm did not run"
  exit 1
}
cat "$work/out.txt"

# "plug camera hidraw=/dev/hidraw0 video=/dev/video0", "plug hid hidraw=...",
# "plug usb video=...": the video node named is the capture node, the
# metadata node follows it.
node_of() { sed -n "s/^plug $1 .*$2=\\([^ ]*\\).*/\\1/p" "$work/out.txt"; }
next_video() { echo "/dev/video$((${1#/dev/video} + 1))"; }
camera_hid=$(node_of camera hidraw)
camera_video=$(node_of camera video)
other_hid=$(node_of hid hidraw)
other_video=$(node_of usb video)

failures=0
expect() {
  local node=$1 wanted=$2 line
  line=$(grep "^tags $node " "$work/out.txt" || true)
  if [[ -z "$node" || -z "$line" ]]; then
    echo "FAIL: no udevadm result for '$node'"
    failures=$((failures + 1))
  elif [[ "$wanted" == tagged && "$line" != *:uaccess:* ]]; then
    echo "FAIL: $node is not tagged uaccess ($line)"
    failures=$((failures + 1))
  elif [[ "$wanted" == untagged && "$line" == *uaccess* ]]; then
    echo "FAIL: $node must not be tagged ($line)"
    failures=$((failures + 1))
  fi
}
expect "$camera_hid" tagged
expect "$camera_video" tagged
expect "$(next_video "$camera_video")" tagged
expect "$other_hid" untagged
expect "$other_video" untagged
expect "$(next_video "$other_video")" untagged
if ((failures)); then
  exit 1
fi
echo "udev rule: camera tagged, other vendors not"

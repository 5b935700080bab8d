#!/bin/sh
# The viewer's menu entry and AppStream metainfo as the package installs
# them, checked by the desktop's own validators.
set -eu
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed 's|@TESSEL_INSTALL_PROGRAMDIR@|/usr/libexec/tessel|' \
    "$source_dir/src/viewer/com.brivara.tessel.desktop.in" > "$work/com.brivara.tessel.desktop"
desktop-file-validate "$work/com.brivara.tessel.desktop"
appstreamcli validate --no-net --explain "$source_dir/src/viewer/com.brivara.tessel.metainfo.xml"
# The icon the entry names must be a readable SVG.
xmllint --noout "$source_dir/src/viewer/com.brivara.tessel.svg"

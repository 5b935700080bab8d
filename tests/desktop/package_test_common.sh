# Sourced by the package and install tests: the tools a test needs (skipped,
# 77, without them), a scratch folder of its own, failures counted rather
# than fatal, cpack run into that folder, and the checks both packages
# share. The sourcing test sets $build (and $source for check_files).

require_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install-deps)"; exit 77; }
  done
}

work=$(mktemp -d /tmp/tessel-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# build_package GENERATOR GLOB: the package cpack makes from BUILD_DIR, in a
# folder of this run's own so that two runs do not meet; its path goes into
# $package.
build_package() {
  (cd "$build" && cpack -G "$1" -B "$work/out") >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    echo "FAIL: cpack -G $1"
    exit 1
  }
  local found=("$work"/out/$2)
  package=${found[0]}
  [[ -f "$package" ]] || { cat "$work/cpack.log"; echo "FAIL: no package"; exit 1; }
}

# check_files LISTING: the package's files, one a line as LISTING holds
# them, are exactly those of the list both package tests share, which names
# what the install rules install.
check_files() {
  sort "$1" >"$work/files"
  grep -v '^#' "$source/tests/desktop/package_files.txt" | sort >"$work/expected"
  diff -u "$work/expected" "$work/files" || fail "the package's files differ from tests/desktop/package_files.txt"
}

# check_updater_length UPDATER: the packaged updater is still padded to
# where a delivered image is appended, whatever stripped it.
check_updater_length() {
  local offset
  offset=$(sed -n 's/^TESSEL_UPDATER_IMAGE_OFFSET:STRING=//p' "$build/CMakeCache.txt")
  [[ $(stat -c %s "$1") == "$offset" ]] || fail "the updater is not $offset bytes long"
}

# finish TEXT: fails the test if anything failed, else says TEXT.
finish() {
  if ((failures)); then
    exit 1
  fi
  echo "$1"
}

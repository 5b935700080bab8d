# Sourced by the package and install tests: the tools a test needs (skipped,
# 77, without them), a scratch folder of its own, failures counted rather
# than fatal, and cpack run into that folder.

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

# finish TEXT: fails the test if anything failed, else says TEXT.
finish() {
  if ((failures)); then
    exit 1
  fi
  echo "$1"
}

#!/usr/bin/env bash
# Builds Sonalto and its tests, then runs every test under Wine on a virtual display.
# Installs what it needs on Debian 12 (as root); quick when all is in place.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

# Not run in the emulated machine: the reliability suite would take the better part of
# an hour there, and the package and release tests make the zip with the build's cross
# compiler, which only this machine has. The release test, which needs no Wine, runs
# here instead; the others are left to machines that run Wine natively. The languages
# test is left out too until its tray menu that once did not open there is understood.
EMULATION_EXCLUDED='e2e\.(reliability|package|languages)|release\.'

# The Wine half: the unit tests share one virtual display; the end-to-end tests start
# their own display, sound server and Wine session.
wine_tests() {
  local excluded=()
  if [ "${SONALTO_SLOWNESS:-1}" != 1 ]; then
    echo "Not run under software emulation: $EMULATION_EXCLUDED"
    excluded=(--exclude-regex "$EMULATION_EXCLUDED")
  fi
  trap stop_started EXIT
  start_virtual_display
  prepare_wineprefix
  ctest --test-dir "$BUILD" --output-on-failure "${excluded[@]}"
}
if [ "${1:-}" = --wine-only ]; then
  wine_tests
  exit
fi

install_packages
generate_locales
fetch_xinerama32

# The release, made twice from copies of this tree in two folders of different name
# lengths, by two users, under other time zones and umasks and a build's time apart,
# must be the same bytes: both binaries and every file of dist/.
release_twice() {
  local check=$BUILD/release-check copy epoch
  epoch=$(git -C "$ROOT" log -1 --format=%ct)
  rm -rf "$check"
  for copy in one copy-number-two; do
    mkdir -p "$check/$copy"
    (cd "$ROOT" && git ls-files -z --cached --others --exclude-standard |
      tar --null --ignore-failed-read -T - -cf -) | tar -C "$check/$copy" -xf -
  done
  (cd "$check/one" && umask 022 && TZ=UTC SOURCE_DATE_EPOCH=$epoch scripts/release.sh >/dev/null)
  chown -R nobody: "$check/copy-number-two"
  (cd "$check/copy-number-two" && umask 077 && TZ=Pacific/Kiritimati SOURCE_DATE_EPOCH=$epoch \
    runuser -u nobody -- scripts/release.sh >/dev/null)
  for copy in one copy-number-two; do
    (cd "$check/$copy" && find dist build-release/bin -type f | sort | xargs sha256sum) >"$check/$copy.sums"
  done
  if ! diff "$check/one.sums" "$check/copy-number-two.sums"; then
    echo "The release differs between two builds of the same tree" >&2
    return 1
  fi
  echo "Release reproduced:"
  grep -E 'sonalto\.exe|morvask\.dll|\.zip' "$check/one.sums"
}
release_twice
build
if can_run_32bit; then
  wine_tests
else
  echo "This machine cannot execute 32-bit programs: the tests run under Wine in an" \
    "emulated machine"
  ctest --test-dir "$BUILD" --output-on-failure --tests-regex '^release\.'
  run_in_machine scripts/test.sh --wine-only
fi

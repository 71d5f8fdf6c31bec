#!/usr/bin/env bash
# Builds Sonalto and its tests, then runs every test under Wine on a virtual display.
# Installs what it needs on Debian 12 (as root); quick when all is in place.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

install_packages
generate_locales
fetch_xinerama32
build
trap stop_started EXIT
start_virtual_display
prepare_wineprefix
# The end-to-end tests start their own display, sound server and Wine session; the
# unit tests share this display.
ctest --test-dir "$BUILD" --output-on-failure

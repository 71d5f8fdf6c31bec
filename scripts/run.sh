#!/usr/bin/env bash
# Builds Sonalto and runs it under Wine: on $DISPLAY when there is one, otherwise on a
# virtual display with a virtual sound device. Installs what it needs on Debian 12.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

install_packages
require_32bit_execution
build
trap stop_started EXIT
if [ -z "${DISPLAY:-}" ]; then
  start_virtual_display
  start_sound_server
  echo "Sonalto runs on the virtual display $DISPLAY. Look at it with:"
  echo "  DISPLAY=$DISPLAY import -window root sonalto.png"
  echo "Stop it with Ctrl+C, or with Exit from its tray menu."
fi
prepare_wineprefix
wine "$BUILD/bin/sonalto.exe"

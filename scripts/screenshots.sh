#!/usr/bin/env bash
# Redraws the README's pictures in docs/images/ from the real program under Wine on a
# virtual display of its own. Installs what it needs on Debian 12 (as root).
set -euo pipefail
source "$(dirname "$0")/lib.sh"

install_packages
generate_locales
build
python3 "$ROOT/scripts/screenshots.py" "$BUILD/bin" "$ROOT/docs/images"

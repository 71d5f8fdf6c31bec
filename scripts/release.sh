#!/usr/bin/env bash
# Builds the release from this checkout and writes dist/: the zip, SHA256SUMS, the
# winget manifests (dist/winget/) and the Scoop manifest (dist/sonalto.json).
# URL_BASE is the download folder the files of dist/ are uploaded to, the same for
# every release. The same commit gives the same bytes on any Debian 12 machine.
# Installs what it needs on Debian 12 (as root).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
URL_BASE=${1:-https://brelin.github.io/sonalto/download/}
RELEASE_BUILD=${SONALTO_RELEASE_BUILD:-$ROOT/build-release}

install_packages
# The product alone: the tests and benchmarks are no part of a release.
cmake --preset default -B "$RELEASE_BUILD" -DBUILD_TESTING=OFF -DSONALTO_BENCH=OFF >/dev/null
cmake --build "$RELEASE_BUILD" --target package >/dev/null
python3 "$ROOT/packaging/release.py" "$RELEASE_BUILD" "$ROOT/dist" "$URL_BASE" "$ROOT/CHANGELOG.md"
(cd "$ROOT/dist" && cat SHA256SUMS)

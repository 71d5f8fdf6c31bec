# Shared by scripts/run.sh and scripts/test.sh: packages, the build, the private Wine
# prefix, and the virtual display and sound server, each stopped by its PID.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${SONALTO_BUILD:-$ROOT/build}
source "$ROOT/scripts/machine.sh"
export WINEPREFIX=$BUILD/wineprefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

PACKAGES=(cmake ninja-build g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix wine wine32:i386
  xvfb xdotool x11-utils imagemagick pulseaudio pulseaudio-utils libpulse0:i386 googletest python3
  libxrandr2 python3-yaml locales fonts-wqy-microhei)

install_packages() {
  local missing=()
  for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return
  echo "Installing ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Wine sees several monitors only through the 32-bit Xinerama library, which wine32
# does not bring. Only the tests need it: it is unpacked into the build tree, and the
# e2e test of two monitors puts it on Wine's library path; installed for the whole
# system with the 32-bit Xrandr beside it, Wine would report a single monitor.
XINERAMA32=$BUILD/xinerama32
download_xinerama32() { apt-get download -qq libxinerama1:i386 2>/dev/null; }
fetch_xinerama32() {
  [ -e "$XINERAMA32/usr/lib/i386-linux-gnu/libXinerama.so.1" ] && return
  mkdir -p "$XINERAMA32"
  # Package lists gone stale since the last install are read again once.
  (cd "$XINERAMA32" && { download_xinerama32 || { apt-get update -qq && download_xinerama32; }; } &&
    dpkg-deb -x libxinerama1_*_i386.deb . && rm -f libxinerama1_*_i386.deb) ||
    echo "Could not fetch the 32-bit libXinerama: the test of two monitors will fail" >&2
}

# Wine takes the user's language from the locale: the test of the translations runs
# the program once in each of these, and Chinese, Japanese and Korean need the font.
LOCALES=(en_US de_DE fr_FR es_ES it_IT pt_BR pl_PL ru_RU ja_JP zh_CN ko_KR)
generate_locales() {
  local known
  known=$(locale -a)
  for locale in "${LOCALES[@]}"; do
    grep -qx "$locale.utf8" <<<"$known" || localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
  done
}

build() {
  cmake --preset default -B "$BUILD" >/dev/null
  cmake --build "$BUILD"
}

# Wine runs a 32-bit program in a 32-bit Linux process. A kernel without 32-bit
# user mode (some virtual machines leave it out) cannot start one, and wineboot would
# fail without a word: say so plainly instead.
require_32bit_execution() {
  can_run_32bit && return
  echo "This machine cannot execute 32-bit programs (Exec format error): Wine cannot run" \
    "Sonalto here. Use a machine whose kernel runs 32-bit user code." >&2
  return 1
}

# Made once: Wine's first start takes a while. Its audio driver is PulseAudio, so a
# sound server gives the program a mixer device and no server gives it none. A
# crashing program must end at once rather than wait on a crash dialog nobody sees.
PREFIX_MARK=$WINEPREFIX/.sonalto-prefix-2
prepare_wineprefix() {
  [ -f "$PREFIX_MARK" ] && return
  echo "Preparing the Wine prefix in $WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d pulse /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
  touch "$PREFIX_MARK"
}

STARTED_PIDS=()

stop_started() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
  for pid in "${STARTED_PIDS[@]}"; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  done
  STARTED_PIDS=()
}

# Starts Xvfb on the first free display number and exports DISPLAY.
start_virtual_display() {
  local fd_file
  fd_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  STARTED_PIDS+=($!)
  for _ in $(seq 50); do [ -s "$fd_file" ] && break; sleep 0.1; done
  export DISPLAY=:$(head -1 "$fd_file")
  rm -f "$fd_file"
}

# A PulseAudio daemon of our own with one null sink: Wine's mixer device 0.
start_sound_server() {
  export XDG_RUNTIME_DIR=$BUILD/xdg-runtime
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
    --load="module-null-sink sink_name=speakers" --load=module-native-protocol-unix \
    >"$BUILD/pulseaudio.log" 2>&1 &
  STARTED_PIDS+=($!)
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && return; sleep 0.1; done
  echo "PulseAudio did not start; see $BUILD/pulseaudio.log" >&2
  return 1
}

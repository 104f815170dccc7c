#!/usr/bin/env bash
# Set-up, build, run and test for Selvantrix on Debian 12.
#   ./dev.sh run     install what is missing, build, start the configurator
#   ./dev.sh test    install what is missing, build, run every test
#   ./dev.sh build   install what is missing, build
#   ./dev.sh setup   only install the packages
#   ./dev.sh demo    build, start a simulated controller and the configurator on it
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-serialport-dev libgl-dev
  libicu-dev libsimpleini-dev
  libgtest-dev libgmock-dev
  libsqlite3-dev libbenchmark-dev
  fonts-liberation fontconfig
  qt6-translations-l10n
  xvfb xdotool
)
BUILD_DIR=${BUILD_DIR:-build}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

setup() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

build() {
  setup
  if [ ! -f "$BUILD_DIR/build.ninja" ]; then
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  cmake --build "$BUILD_DIR" -j "$(nproc)"
}

case "${1:-run}" in
  setup) setup ;;
  build) build ;;
  run)
    build
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
      echo "No display found: set DISPLAY (or QT_QPA_PLATFORM=vnc, say) to see the window." >&2
    fi
    exec "$BUILD_DIR/bin/selvantrix"
    ;;
  demo)
    build
    DEMO_DIR="$PWD/$BUILD_DIR/demo"
    mkdir -p "$DEMO_DIR"
    # The simulated controller keeps its phonebook between demos.
    "$BUILD_DIR/bin/selvantrix-sim" --link "$DEMO_DIR/controller" --usb 16 --events 40 \
      --state "$DEMO_DIR/controller-state.txt" > "$DEMO_DIR/controller.out" &
    SIM=$!
    trap 'kill "$SIM" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do [ -e "$DEMO_DIR/controller" ] && break; sleep 0.1; done
    # COM1 is the simulated controller, and the settings choose COM1.
    INI="$DEMO_DIR/selvantrix.ini"
    grep -q '^COM1=' "$INI" 2>/dev/null || printf '[ports]\nCOM1=%s\n' "$DEMO_DIR/controller" >> "$INI"
    DB="$DEMO_DIR/selvantrixx.tdb"
    [ -f "$DB" ] || "$BUILD_DIR/bin/selvantrix-tdb" init "$DB"
    "$BUILD_DIR/bin/selvantrix-tdb" rows "$DB" config | grep -q '^portcom' \
      || "$BUILD_DIR/bin/selvantrix-tdb" append "$DB" config portcom 1 > /dev/null
    echo "Demo in $DEMO_DIR; the simulated controller is COM1."
    echo "PIN at the first start: today's service code $(date +%m%d)47"
    "$BUILD_DIR/bin/selvantrix" --dir "$DEMO_DIR"
    ;;
  test)
    build
    # The store and its inspector tool once more under AddressSanitizer and
    # UndefinedBehaviorSanitizer: they parse files that may be damaged.
    SAN_DIR="$BUILD_DIR-sanitize"
    if [ ! -f "$SAN_DIR/build.ninja" ]; then
      cmake -S . -B "$SAN_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSELVANTRIX_SANITIZE=ON
    fi
    cmake --build "$SAN_DIR" -j "$(nproc)" --target store_tests tdb_tests
    echo "Store tests under sanitizers:"
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 "$SAN_DIR/bin/store_tests" --gtest_brief=1
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 "$SAN_DIR/bin/tdb_tests" --gtest_brief=1
    cd "$BUILD_DIR"
    # Widget tests run offscreen; window_xvfb_tests starts its own Xvfb and
    # drives it with xdotool (it is skipped where either is missing).
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"
    ;;
  *)
    echo "usage: $0 [run|test|build|setup|demo]" >&2
    exit 2
    ;;
esac

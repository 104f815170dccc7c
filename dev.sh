#!/usr/bin/env bash
# Set-up, build, run and test for Selvantrix on Debian 12.
#   ./dev.sh run     install what is missing, build, start the configurator
#   ./dev.sh test    install what is missing, build, run every test
#   ./dev.sh build   install what is missing, build
#   ./dev.sh setup   only install the packages
#   ./dev.sh demo    build, start a simulated controller and the configurator on it
#   ./dev.sh package build the installable .deb (in build/)
#   ./dev.sh fuzz [SECONDS]  build the libFuzzer targets with clang, run each (default 60 s)
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
  appstream desktop-file-utils groff-base man-db
  libquazip1-qt6-dev
)
# Only for ./dev.sh fuzz: Debian's clang leaves libFuzzer's runtime to a
# recommended package, which --no-install-recommends does not bring.
FUZZ_PACKAGES=(clang libclang-rt-dev)
BUILD_DIR=${BUILD_DIR:-build}
FUZZ_DIR=${FUZZ_DIR:-build-fuzz}
# Each target with its seed corpus in fuzz/ and its own options.
FUZZ_TARGETS=(
  "store_load_fuzz corpus -max_len=60000"
  "reply_parse_fuzz reply_corpus"
  "list_file_fuzz list_corpus"
  "sheet_csv_fuzz csv_corpus"
  "language_file_fuzz language_corpus"
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

setup() {
  install_missing "${PACKAGES[@]}"
}

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
}

# Runs every fuzz target for the given seconds on a copy of its corpus (the
# inputs it finds stay in $FUZZ_DIR, not in git); fails when one crashes.
fuzz() {
  local seconds=${1:-60}
  case "$seconds" in ""|0|*[!0-9]*) echo "usage: $0 fuzz [SECONDS], SECONDS at least 1" >&2; exit 2 ;; esac
  setup
  install_missing "${FUZZ_PACKAGES[@]}"
  if [ ! -f "$FUZZ_DIR/build.ninja" ]; then
    cmake -S . -B "$FUZZ_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSELVANTRIX_FUZZ=ON
  fi
  local targets=()
  for entry in "${FUZZ_TARGETS[@]}"; do targets+=("${entry%% *}"); done
  cmake --build "$FUZZ_DIR" -j "$(nproc)" --target "${targets[@]}"
  local failed=() summary=()
  for entry in "${FUZZ_TARGETS[@]}"; do
    read -r target corpus options <<< "$entry"
    local work="$FUZZ_DIR/fuzz-corpus/$target" artifacts="$FUZZ_DIR/fuzz-artifacts/$target"
    rm -rf "$work"
    mkdir -p "$work" "$artifacts"
    cp -R "fuzz/$corpus/." "$work/"
    echo "== $target, $seconds s on a copy of fuzz/$corpus"
    local status=0
    # shellcheck disable=SC2086  # the options are words on purpose
    "$FUZZ_DIR/bin/$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" $options "$work" > "$FUZZ_DIR/$target.log" 2>&1 || status=$?
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$FUZZ_DIR/$target.log" | tail -n 1)
    if [ "$status" -ne 0 ]; then
      tail -n 40 "$FUZZ_DIR/$target.log"
      failed+=("$target")
      summary+=("$target: FAILED (status $status), log $FUZZ_DIR/$target.log, input in $artifacts/")
    else
      summary+=("$target: ${runs:-?} runs in $seconds s ($(( ${runs:-0} / (seconds > 0 ? seconds : 1) )) runs/s), no crash")
    fi
  done
  printf '%s\n' "${summary[@]}"
  if [ ${#failed[@]} -gt 0 ]; then
    echo "Crashed: ${failed[*]}" >&2
    exit 1
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
  package)
    build
    (cd "$BUILD_DIR" && cpack -G DEB)
    echo "Install it with: sudo apt install ./$BUILD_DIR/$(cd "$BUILD_DIR" && ls -t selvantrix_*.deb | head -1)"
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
  fuzz) fuzz "${2:-60}" ;;
  *)
    echo "usage: $0 [run|test|build|setup|demo|package|fuzz [SECONDS]]" >&2
    exit 2
    ;;
esac

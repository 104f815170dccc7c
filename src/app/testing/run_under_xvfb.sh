#!/usr/bin/env bash
# Runs a test program on a display of its own: a private Xvfb server, with
# xdotool to move the pointer and press keys as a person would; XVFB_SCREEN
# sets its screen (default 1280x800x24). Ends with 77
# (CTest's "skipped") when either is missing.
set -euo pipefail

for tool in Xvfb xdotool; do
  if ! command -v "$tool" > /dev/null; then
    echo "Skipped: $tool is not installed (Debian packages xvfb and xdotool; ./dev.sh setup installs them)."
    exit 77
  fi
done

work=$(mktemp -d)
server=""
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2> /dev/null || true
    wait "$server" 2> /dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number once it accepts clients.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1280x800x24}" -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
server=$!
if ! read -r -t 60 number < "$work/display"; then
  echo "Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi

export DISPLAY=":$number"
export QT_QPA_PLATFORM=xcb
"$@"

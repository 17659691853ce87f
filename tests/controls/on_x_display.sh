#!/usr/bin/env bash
# Runs a test program on a real X server of its own (Xvfb) at a screen scale:
#   on_x_display.sh <scale> <program> [arguments...]
set -euo pipefail
scale=$1
shift
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed (scripts/setup installs it)"; exit 77; }
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 4 -screen 0 1280x1024x24 -nolisten tcp 4>"$fifo" 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true; rm -f "$fifo"' EXIT
display=
read -r -t 10 display <"$fifo" || { echo "FAIL: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$display" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR="$scale" "$@"

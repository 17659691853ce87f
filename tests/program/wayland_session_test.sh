#!/usr/bin/env bash
# The program in a Wayland session, under a headless Weston with XWayland: where the user chose
# no Qt platform it runs on X, and says so; a platform the user chose is kept; without an X
# display, or with one that cannot be reached, it runs on Wayland and says what does not work
# there.
#   wayland_session_test.sh <flashgate>
set -euo pipefail
flashgate=$1
for tool in weston Xwayland; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/setup installs it)"; exit 77; }
done

scratch=$(mktemp -d)
weston_pid=
cleanup() {
  if [ -n "$weston_pid" ]; then
    kill "$weston_pid" 2>/dev/null
    wait "$weston_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -m 700 "$scratch/runtime" "$scratch/home"
socket=flashgate-test-$$
XDG_RUNTIME_DIR="$scratch/runtime" weston --backend=headless-backend.so --socket="$socket" --xwayland \
  --idle-time=0 --log="$scratch/weston.log" &
weston_pid=$!
display=
for _ in $(seq 100); do
  display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$scratch/weston.log" 2>/dev/null || true)
  [ -n "$display" ] && [ -S "$scratch/runtime/$socket" ] && break
  sleep 0.1
done
[ -n "$display" ] || fail "weston did not start with XWayland: $(tail -5 "$scratch/weston.log")"

# Starts the program in the session with `env` and the extra variables given, waits at most
# twenty seconds for what it says on standard error, and ends it.
said_in_session() {
  local err="$scratch/stderr" pid
  env -i PATH="$PATH" HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/runtime" XDG_SESSION_TYPE=wayland \
    WAYLAND_DISPLAY="$socket" FLASHGATE_DEV_DIR="$scratch/home" "$@" "$flashgate" 2>"$err" >/dev/null &
  pid=$!
  for _ in $(seq 200); do
    grep -q '^flashgate: .*running on' "$err" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null || true
  grep '^flashgate: .*running on' "$err" || echo "(nothing; it said: $(head -c 400 "$err"))"
}

said=$(said_in_session DISPLAY="$display")
[[ $said == *"running on X (XWayland)"* ]] || fail "with an X display and no platform chosen: $said"
said=$(said_in_session DISPLAY="$display" QT_QPA_PLATFORM=wayland)
[[ $said == *"running on Wayland"* ]] || fail "the user's own choice of Wayland: $said"
said=$(said_in_session)
[[ $said == *"running on Wayland"*"With XWayland"* ]] || fail "without an X display: $said"
said=$(said_in_session DISPLAY=:$((RANDOM % 1000 + 3000)))
[[ $said == *"running on Wayland"* ]] || fail "with an X display that is not there: $said"
echo "PASS"

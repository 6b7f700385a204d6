#!/usr/bin/env bash
# Starts the real program under a private X server and saves a screenshot.
#   scripts/screenshot.sh OUT.png [options] [-- corvane arguments]
# Options:
#   --home DIR      HOME for the program (default: a fresh temporary folder), so that a
#                   prepared preferences file (DIR/.CorvaneX) can be shown
#   --wait SECONDS  time between start and screenshot (default 2)
#   --keys "K ..."  xdotool key names sent to the active window before the screenshot,
#                   one second apart (e.g. "alt+r" to press a button by its mnemonic)
#   --size WxH      screen size (default 1280x800)
#   --exe PATH      program to start (default build/corvane)
# The program is ended after the screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."

[ $# -ge 1 ] || { sed -n 2,12p "$0" >&2; exit 2; }
out=$1; shift
home="" wait=2 keys="" size=1280x800 exe=build/corvane
while [ $# -gt 0 ]; do
  case "$1" in
    --home) home=$2; shift 2 ;;
    --wait) wait=$2; shift 2 ;;
    --keys) keys=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --exe) exe=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
scripts/install-deps.sh screenshot
[ -x "$exe" ] || { echo "$exe is not built (run make build)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'kill $app $xvfb 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$tmp"' EXIT
[ -n "$home" ] || home=$tmp/home
mkdir -p "$home"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 "${size}x24" -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done

DISPLAY=$display HOME=$home QT_QPA_PLATFORM=xcb "$exe" "$@" >"$tmp/app.log" 2>&1 &
app=$!
sleep "$wait"
# Without a window manager nothing has the keyboard focus: give it to the program's window.
if [ -n "$keys" ]; then
  win=$(DISPLAY=$display xdotool search --onlyvisible --name Corvane 2>/dev/null | head -1 || true)
  [ -z "$win" ] || DISPLAY=$display xdotool windowfocus --sync "$win" 2>/dev/null || true
  sleep 0.5
fi
for key in $keys; do
  DISPLAY=$display xdotool key --clearmodifiers "$key"
  sleep 1
done
DISPLAY=$display import -window root "$out"
kill -0 $app 2>/dev/null || { echo "the program ended early:" >&2; cat "$tmp/app.log" >&2; }
echo "saved $out"

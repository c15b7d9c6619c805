#!/usr/bin/env bash
# `make screenshot`: photographs the window on the sample log under a virtual
# X display and writes docs/screenshot.png, the picture of the README and of
# the AppStream data. Anyone can rerun it; the result depends only on the
# program, the sample log and the fonts installed.
# Usage: screenshot.sh BINARY LOGFILE OUTPUT.png   (SCREENSHOT_DISPLAY, default :21)
set -euo pipefail

bin=${1:?usage: screenshot.sh BINARY LOGFILE OUTPUT.png}
log=${2:?}
png=${3:?}
display=${SCREENSHOT_DISPLAY:-:21}

for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (make screenshot installs it)" >&2; exit 2; }
done
[ -x "$bin" ] || { echo "screenshot: $bin is not built" >&2; exit 2; }
[ -f "$log" ] || { echo "screenshot: no log $log" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kest-shot-XXXXXX")
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do
  xdotool getdisplaygeometry >/dev/null 2>&1 && break
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "screenshot: Xvfb did not start on $display:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
  sleep 0.1
done

# Settings of its own, so a user's Kest.INI plays no part: the threads drawn
# in full (content order (1)), numbers, speakers and dates shown, a window of
# 760 x 560 at the top left of the screen.
printf '%s\r\n' '[Option]' 'SortType=2' 'Numb=1' 'Name=1' 'Date=1' \
  'Top=0' 'Left=0' 'Width=760' 'Height=560' '[Font]' 'FontName=FixedSys' 'FontSize=11' >"$work/Kest.INI"

KEST_INI=$work/Kest.INI QT_QPA_PLATFORM=xcb "$bin" "$log" >"$work/app.log" 2>&1 &
app_pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Kest32-' | head -n 1) || {
  echo "screenshot: the window did not appear" >&2; cat "$work/app.log" >&2; exit 1; }

# Walk down the list to a reply deep in a thread, as a reader would.
xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
sleep 0.5
for _ in 1 2 3 4 5 6; do xdotool key --window "$wid" Down; sleep 0.1; done
sleep 1

mkdir -p "$(dirname "$png")"
import -window "$wid" -strip "$work/shot.png"
mv "$work/shot.png" "$png"
echo "screenshot: wrote $png ($(identify -format '%wx%h' "$png" 2>/dev/null || echo '?'))"

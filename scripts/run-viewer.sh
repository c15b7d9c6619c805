#!/usr/bin/env bash
# `make run`: opens the viewer on the sample log when there is a display to
# show it on; on a headless machine it says how to get one and prints the
# threaded title list from the batch side instead, so there is still
# something to look at.
# Usage: run-viewer.sh BINARY LOGFILE
set -u

bin=${1:-build/kest32}
log=${2:-samples/sample.log}

if [ ! -x "$bin" ]; then
  echo "run-viewer: $bin がありません / not built: $bin (make build)" >&2
  exit 1
fi
if [ ! -f "$log" ]; then
  echo "run-viewer: $log がありません / no such log: $log" >&2
  exit 1
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin" "$log"
fi

cat <<MSG
画面(DISPLAY / WAYLAND_DISPLAY)がないため、ウィンドウは開きません。
No display (DISPLAY / WAYLAND_DISPLAY unset): the window cannot be shown.

仮想画面で動かすには / To run it headless:
  Xvfb :1 -screen 0 1024x768x24 &  DISPLAY=:1 $bin $log
  QT_QPA_PLATFORM=offscreen $bin $log    # 表示なしで起動だけ / starts, shows nothing

バッチ側のタイトル一覧 / The batch side, title list:
  $bin --list $log | head -40
MSG
echo
# head may close the pipe early; the list's exit status is not the point here.
"$bin" --list "$log" | head -40
exit 0

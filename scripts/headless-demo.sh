#!/usr/bin/env bash
# Runs inside scripts/with-xvfb.sh: starts the recorder on the private screen,
# waits for its window, saves a screenshot of it, and stops it again; then
# records three seconds of the private screen with the same recording engine
# and describes the file.
set -euo pipefail
cd "$(dirname "$0")/.."

shot=build/screenshot.png
build/bin/tessaly-recorder &
app_pid=$!
trap 'kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true' EXIT

window=""
for _ in $(seq 1 100); do
  window=$(xdotool search --onlyvisible --name '^Tessaly Recorder$' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  if ! kill -0 "$app_pid" 2>/dev/null; then
    echo "The recorder ended before showing its window." >&2
    exit 1
  fi
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "The recorder's window did not appear within 10 seconds." >&2
  exit 1
fi
sleep 1  # let the first paint finish

eval "$(xdotool getwindowgeometry --shell "$window")"
ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size "${WIDTH}x${HEIGHT}" \
  -i "${DISPLAY}+${X},${Y}" -frames:v 1 "$shot"
echo "Screenshot of the recorder's window: $(pwd)/$shot"

kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
trap - EXIT

echo "Recording three seconds of the private screen..."
recording=$(build/bin/tessaly-avi record --dir build/demo-recordings --seconds 3 | tail -n 1)
build/bin/tessaly-avi info "$recording"

#!/usr/bin/env bash
# Runs a command against a private Xvfb server that lives exactly as long as
# the command: with-xvfb.sh [--size WxHxD] CMD ARGS...
# The server's display is exported as DISPLAY; its exit status is the command's.
set -uo pipefail

size=1920x1080x24
if [ "${1:-}" = "--size" ]; then
  size=$2
  shift 2
fi

# The server picks a free display number itself and writes it to a pipe once
# it accepts connections (-displayfd), so runs in parallel never share or race
# for a number, and a server that failed to start is noticed at once.
fifo_dir=$(mktemp -d)
mkfifo "$fifo_dir/display"
Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp -noreset \
  3>"$fifo_dir/display" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; rm -rf "$fifo_dir"' EXIT

number=""
read -r -t 30 number <"$fifo_dir/display" || true
if [ -z "$number" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
  echo "with-xvfb: Xvfb did not start" >&2
  exit 1
fi

DISPLAY=":$number" QT_QPA_PLATFORM=xcb "$@"

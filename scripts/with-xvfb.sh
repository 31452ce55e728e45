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

# Pick a display number nobody uses; the lock file is Xvfb's own claim.
display=""
for n in $(seq 90 199); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
    display=":$n"
    break
  fi
done
if [ -z "$display" ]; then
  echo "with-xvfb: no free display number" >&2
  exit 1
fi

Xvfb "$display" -screen 0 "$size" -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null' EXIT

for _ in $(seq 1 100); do
  if DISPLAY="$display" xdpyinfo >/dev/null 2>&1; then
    break
  fi
  if ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "with-xvfb: Xvfb $display did not start" >&2
    exit 1
  fi
  sleep 0.05
done

DISPLAY="$display" QT_QPA_PLATFORM=xcb "$@"

#!/bin/sh
# The preview with the real player on a private Xvfb: time from Play to the
# first picture in the cut page's video area, and the processor time of the
# recorder and the player during PLAY_SECONDS (default 10) of playback of a 1920 by
# 1080 recording, beside mplayer playing the same file on its own.
#
#   bench/preview-vs-mplayer.sh [BUILD_DIR]        (default: build)
#
# RUNS (default 3) runs of each; the best is summarised, as timings on a
# shared machine vary by a third.
set -eu

BUILD_DIR=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)

if [ "${INSIDE_XVFB:-}" != 1 ]; then
    INSIDE_XVFB=1 exec "$ROOT/scripts/with-xvfb.sh" "$0" "$BUILD_DIR"
fi

SECONDS_PLAYED=${PLAY_SECONDS:-10}
RUNS=${RUNS:-3}
BENCH=$BUILD_DIR/bin/preview_bench
[ -x "$BENCH" ] || { echo "missing $BENCH (build the preview_bench target)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found" >&2; exit 1; }

WORK=$(mktemp -d)
pulse=""
cleanup() {
    [ -n "$pulse" ] && kill "$pulse" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

# A private sound server with a null sink, as a desktop has one: without any,
# the player spends most of its start trying one sound driver after another.
if command -v pulseaudio >/dev/null; then
    cat >"$WORK/server.pa" <<PA
load-module module-native-protocol-unix socket=$WORK/native auth-anonymous=1
load-module module-null-sink sink_name=out rate=44100 channels=2
PA
    HOME=$WORK pulseaudio --daemonize=no --system=false --use-pid-file=no \
        --exit-idle-time=-1 --disallow-exit=yes -n -F "$WORK/server.pa" \
        --log-target=file:"$WORK/pulse.log" &
    pulse=$!
    export PULSE_SERVER="unix:$WORK/native"
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        pactl info >/dev/null 2>&1 && break
        sleep 0.3
    done
fi

# A recording longer than the measured stretch, with moving pictures, key
# frames every second and the recorder's sound format.
LENGTH=$((SECONDS_PLAYED + 5))
ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=5" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100" -t "$LENGTH" \
    -c:v msvideo1 -pix_fmt rgb555le -g 5 -c:a pcm_s16le -ac 2 "$WORK/preview.avi"

"$BENCH" "$WORK/preview.avi" "$SECONDS_PLAYED" "$RUNS"

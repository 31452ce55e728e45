#!/bin/sh
# Cut and merge throughput of tessaly-avi on 1920 by 1080 recordings, side by
# side with FFmpeg re-encoding the same input to Video 1
# (ffmpeg -i IN -c:v msvideo1 -c:a copy OUT): frames per second of wall
# time and peak memory (maximum resident set, /usr/bin/time). Two input
# lengths show whether memory grows with the recording.
#
#   bench/edit-vs-ffmpeg.sh [BUILD_DIR]     (default: build)
#
# Tools come from BUILD_DIR/bin (override with TOOLS_DIR). LENGTHS (frames,
# default "150 600": 30 s and 2 min) and RUNS (default 3; the best run is
# reported, as timings on a shared machine vary by a third).
set -eu

BUILD_DIR=${1:-build}
TOOLS_DIR=${TOOLS_DIR:-$BUILD_DIR/bin}
FRAMES_DIR=${FRAMES_DIR:-$BUILD_DIR/bench-frames}
RUNS=${RUNS:-3}
LENGTHS=${LENGTHS:-"150 600"}
SET=${SET:-desktop}

for tool in tessaly-avi video1_make_frames edit_make_recording; do
    [ -x "$TOOLS_DIR/$tool" ] || { echo "missing $TOOLS_DIR/$tool (build the bench targets)" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg not found" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time not found (Debian package time)" >&2; exit 1; }

[ -f "$FRAMES_DIR/$SET.bgra" ] || "$TOOLS_DIR/video1_make_frames" "$FRAMES_DIR"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

measure() { # frames command... -> "fps peak_MB", best of RUNS
    frames=$1
    shift
    for run in $(seq "$RUNS"); do
        rm -rf "$WORK/out" && mkdir "$WORK/out"
        /usr/bin/time -f '%e %M' -o "$WORK/time" "$@" >/dev/null 2>&1
        awk -v n="$frames" '{ printf "%.1f %.0f\n", n / $1, $2 / 1024 }' "$WORK/time"
    done | sort -g -r | head -n 1
}

printf '%-7s %-24s %9s %13s\n' frames job fps 'peak MB'
for frames in $LENGTHS; do
    in="$WORK/in-$frames.avi"
    "$TOOLS_DIR/edit_make_recording" "$FRAMES_DIR/$SET.bgra" "$frames" "$in"
    seconds=$((frames / 5))
    row() { printf '%-7s %-24s %9s %13s\n' "$1" "$2" $3 $4; }
    # A cut of the whole recording: from second 0 to its end.
    row "$frames" "tessaly-avi cut" $(measure $((frames - 1)) \
        "$TOOLS_DIR/tessaly-avi" cut "$in" --start 0 --end "$seconds" --out "$WORK/out")
    row "$((2 * frames))" "tessaly-avi merge (x2)" $(measure $((2 * frames)) \
        "$TOOLS_DIR/tessaly-avi" merge "$in" "$in" --out "$WORK/out")
    row "$frames" "ffmpeg -c:v msvideo1" $(measure "$frames" \
        ffmpeg -nostdin -y -i "$in" -c:v msvideo1 -c:a copy "$WORK/out/ffmpeg.avi")
done

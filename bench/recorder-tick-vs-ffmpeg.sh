#!/bin/sh
# The cost of one capture tick (grab, Video 1 encode, write) at 1920 by 1080,
# ours beside FFmpeg's x11grab feeding its own msvideo1 encoder, for a still
# screen and for one that changes everywhere between frames. Runs on a private
# Xvfb (scripts/with-xvfb.sh).
#
#   bench/recorder-tick-vs-ffmpeg.sh [BUILD_DIR]        (default: build)
#
# FRAMES (default 40) frames per run, RUNS (default 3) runs of each; the best
# run is reported, as timings on a shared machine vary by a third. Figures are
# CPU milliseconds per frame: ours is the ticking thread's CPU time around the
# tick (the first tick, which also creates the file, left out); FFmpeg's is
# its whole process's user + system time divided by the frames. Neither
# counts the X server's own share of the grab.
set -eu

BUILD_DIR=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)

if [ "${INSIDE_XVFB:-}" != 1 ]; then
    INSIDE_XVFB=1 exec "$ROOT/scripts/with-xvfb.sh" "$0" "$BUILD_DIR"
fi

FRAMES=${FRAMES:-40}
RUNS=${RUNS:-3}
BENCH=$BUILD_DIR/bin/recorder_tick_bench
[ -x "$BENCH" ] || { echo "missing $BENCH (build the recorder_tick_bench target)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg not found" >&2; exit 1; }

WORK=$(mktemp -d)
painter=""
cleanup() {
    [ -n "$painter" ] && kill "$painter" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

# CPU seconds (user + system) of one command run to its end.
cpu_seconds() {
    python3 -c '
import resource, subprocess, sys
subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL)
r = resource.getrusage(resource.RUSAGE_CHILDREN)
print(r.ru_utime + r.ru_stime)' "$@"
}

ffmpeg_ms_per_frame() {
    best=""
    for _ in $(seq "$RUNS"); do
        rm -f "$WORK/ffmpeg.avi"
        # -keyint_min 4: a key frame every fifth frame, as ours.
        s=$(cpu_seconds ffmpeg -v error -y -f x11grab -draw_mouse 0 -framerate 5 \
            -video_size 1920x1080 -i "$DISPLAY" -frames:v "$FRAMES" \
            -c:v msvideo1 -pix_fmt rgb555le -keyint_min 4 "$WORK/ffmpeg.avi")
        ms=$(python3 -c "print(round($s * 1000 / $FRAMES, 2))")
        best=$(python3 -c "print($ms if '$best' == '' else min($ms, float('$best')))")
    done
    echo "$best"
}

ours() {
    # columns: scene frames cpu_mean cpu_min cpu_median wall_mean wall_median bytes
    best=""
    for _ in $(seq "$RUNS"); do
        line=$("$BENCH" ticks --scene "$1" --frames "$FRAMES" --dir "$WORK/ours")
        mean=$(echo "$line" | cut -d' ' -f3)
        if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if $mean < $(echo "$best" | cut -d' ' -f3) else 1)"; then
            best=$line
        fi
        rm -rf "$WORK/ours"
    done
    echo "$best"
}

printf '%-7s %12s %12s %12s %12s %14s\n' scene "ours cpu ms" "ours median" "ours wall ms" \
    "ffmpeg cpu ms" "ours/ffmpeg"
for scene in still change; do
    o=$(ours "$scene")
    if [ "$scene" = still ]; then
        "$BENCH" paint --interval-ms 100000000 & painter=$!
    else
        "$BENCH" paint --interval-ms 100 & painter=$!
    fi
    sleep 1
    f=$(ffmpeg_ms_per_frame)
    kill "$painter" 2>/dev/null || true
    wait "$painter" 2>/dev/null || true
    painter=""
    mean=$(echo "$o" | cut -d' ' -f3)
    printf '%-7s %12s %12s %12s %12s %14s\n' "$scene" "$mean" "$(echo "$o" | cut -d' ' -f5)" \
        "$(echo "$o" | cut -d' ' -f6)" "$f" "$(python3 -c "print(round($mean / $f, 3))")"
done
echo "goals: still tick < 5 ms, full-change tick < 25 ms, less CPU per frame than FFmpeg"

#!/bin/sh
# Compares our Video 1 encoder with FFmpeg's (msvideo1) on the benchmark frame
# sets: frames per second, bytes per frame and PSNR against the source, both
# files decoded by FFmpeg to rgb555le and compared with the source converted
# to rgb555le. Then finds the quality at which our files are as large as
# FFmpeg's and prints our PSNR there.
#
#   bench/video1-vs-ffmpeg.sh [BUILD_DIR]     (default: build)
#
# Tools come from BUILD_DIR/bin (override with TOOLS_DIR); frames are made in
# BUILD_DIR/bench-frames when missing. RUNS (default 3) timed runs each; the
# best is reported, as timings on a shared machine vary by a third.
set -eu

BUILD_DIR=${1:-build}
TOOLS_DIR=${TOOLS_DIR:-$BUILD_DIR/bin}
FRAMES_DIR=${FRAMES_DIR:-$BUILD_DIR/bench-frames}
RUNS=${RUNS:-3}
QUALITY=${QUALITY:-8500}
SETS=${SETS:-"still desktop video"}
WIDTH=1920
HEIGHT=1080
# FFmpeg's -keyint_min 4 gives a key frame every fifth frame; ours matches.
KEY_PERIOD=5

for tool in video1_make_frames video1_encode_file video1_psnr; do
    [ -x "$TOOLS_DIR/$tool" ] || { echo "missing $TOOLS_DIR/$tool (build the bench targets)" >&2; exit 1; }
done
command -v ffmpeg >/dev/null || { echo "ffmpeg not found" >&2; exit 1; }

[ -f "$FRAMES_DIR/video.bgra" ] || "$TOOLS_DIR/video1_make_frames" "$FRAMES_DIR"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

frame_count() { # raw file -> frames
    echo $(( $(stat -c %s "$1") / ($WIDTH * $HEIGHT * $2) ))
}

bytes_per_frame() { # avi -> mean packet size
    ffprobe -v error -select_streams v:0 -show_entries packet=size -of csv=p=0 "$1" |
        awk '{ s += $1; n++ } END { printf "%.0f", s / n }'
}

psnr_of() { # avi source.rgb555le -> psnr
    ffmpeg -nostdin -v error -y -i "$1" -f rawvideo -pix_fmt rgb555le "$WORK/decoded.raw"
    "$TOOLS_DIR/video1_psnr" "$2" "$WORK/decoded.raw" | sed 's/psnr=//'
}

best() { # numbers on stdin -> largest
    sort -g | tail -n 1
}

ffmpeg_fps() { # source.rgb555le frames out.avi -> fps
    for run in $(seq "$RUNS"); do
        ffmpeg -nostdin -hide_banner -benchmark -f rawvideo -pix_fmt rgb555le -s ${WIDTH}x${HEIGHT} \
            -r 5 -i "$1" -c:v msvideo1 -keyint_min 4 -y "$3" 2>&1 |
            sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p' | awk -v n="$2" '{ printf "%.2f\n", n / $1 }'
    done | best
}

ours() { # source.bgra quality out.avi -> "fps bytes"
    "$TOOLS_DIR/video1_encode_file" "$1" $WIDTH $HEIGHT "$2" "$3" $KEY_PERIOD |
        sed 's/fps=\([0-9.]*\) bytes_per_frame=\([0-9]*\)/\1 \2/'
}

ours_fps() { # source.bgra quality out.avi -> best fps
    for run in $(seq "$RUNS"); do ours "$@" | cut -d' ' -f1; done | best
}

printf '%-8s %-22s %9s %14s %9s\n' set encoder fps bytes/frame PSNR
for set in $SETS; do
    src="$FRAMES_DIR/$set.bgra"
    ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgr0 -s ${WIDTH}x${HEIGHT} -i "$src" \
        -f rawvideo -pix_fmt rgb555le "$WORK/source.raw"
    frames=$(frame_count "$WORK/source.raw" 2)

    fps=$(ffmpeg_fps "$WORK/source.raw" "$frames" "$WORK/ffmpeg.avi")
    ff_bytes=$(bytes_per_frame "$WORK/ffmpeg.avi")
    printf '%-8s %-22s %9s %14s %9s\n' "$set" "ffmpeg msvideo1" "$fps" "$ff_bytes" \
        "$(psnr_of "$WORK/ffmpeg.avi" "$WORK/source.raw")"

    fps=$(ours_fps "$src" "$QUALITY" "$WORK/ours.avi")
    printf '%-8s %-22s %9s %14s %9s\n' "$set" "ours q=$QUALITY" "$fps" \
        "$(bytes_per_frame "$WORK/ours.avi")" "$(psnr_of "$WORK/ours.avi" "$WORK/source.raw")"

    # Bytes grow with the quality: bisect for FFmpeg's size.
    low=0 high=10000
    while [ $((high - low)) -gt 25 ]; do
        mid=$(((low + high) / 2))
        ours "$src" $mid "$WORK/sweep.avi" >/dev/null
        if [ "$(bytes_per_frame "$WORK/sweep.avi")" -le "$ff_bytes" ]; then low=$mid; else high=$mid; fi
    done
    set -- $(ours "$src" $low "$WORK/sweep.avi")
    printf '%-8s %-22s %9s %14s %9s\n' "$set" "ours q=$low (=bytes)" "$1" \
        "$(bytes_per_frame "$WORK/sweep.avi")" "$(psnr_of "$WORK/sweep.avi" "$WORK/source.raw")"
done

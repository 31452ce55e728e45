#!/usr/bin/env bash
# open-help-page.sh RECORDER DOCS_DIR  (run with DISPLAY set, e.g. under
# scripts/with-xvfb.sh)
# Starts RECORDER, clicks through the lower half of its title bar, where the
# help links are, until one opens a page, and checks that the page opened is
# an existing file in DOCS_DIR. The desktop's opener is replaced by a stand-in
# first in PATH that writes down what it was asked to open.
set -euo pipefail

recorder=$1
docs_dir="$(cd "$2" && pwd -P)"

work="$(mktemp -d)"
recorder_pid=""
cleanup() {
    if [ -n "$recorder_pid" ]; then
        kill "$recorder_pid" 2>/dev/null || true
        wait "$recorder_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/bin" "$work/home" "$work/run"
chmod 700 "$work/run"
opened="$work/opened"
cat >"$work/bin/xdg-open" <<STANDIN
#!/bin/sh
printf '%s\n' "\$1" >>"$opened"
STANDIN
chmod +x "$work/bin/xdg-open"

# A desktop-neutral session, so Qt hands file pages to xdg-open; a private
# home, config and runtime directory, and an instance of its own.
env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID \
    PATH="$work/bin:$PATH" HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
    XDG_RUNTIME_DIR="$work/run" TESSALY_INSTANCE_NAME="install-check-$$" \
    "$recorder" >"$work/recorder.log" 2>&1 &
recorder_pid=$!

window=""
for _ in $(seq 1 100); do
    window="$(xdotool search --name '^Tessaly Recorder$' 2>/dev/null | head -n 1 || true)"
    [ -n "$window" ] && break
    kill -0 "$recorder_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$window" ]; then
    cat "$work/recorder.log" >&2
    echo "open-help-page: the recorder's window did not appear" >&2
    exit 1
fi
eval "$(xdotool getwindowgeometry --shell "$window")"

# The window's top 70 pixels are its title bar, whose upper right corner holds
# the window buttons (close among them): the sweep covers the lower half of
# the title bar's right half, a row at a time, from its lower edge up. Clicks
# 8 pixels apart are never taken for a double-click.
title_bar=70
step=8
for ((y = title_bar - 4; y > title_bar / 2; y -= step)); do
    clicks=()
    for ((x = WIDTH - 4; x > WIDTH / 2; x -= step)); do
        clicks+=(mousemove --window "$window" "$x" "$y" click --delay 0 1)
    done
    xdotool "${clicks[@]}"
    sleep 0.5
    [ -s "$opened" ] && break
done
[ -s "$opened" ] || {
    cat "$work/recorder.log" >&2
    echo "open-help-page: no click in the title bar opened a page" >&2
    exit 1
}

while read -r url; do
    path="${url#file://}"
    case "$path" in
    "$docs_dir"/*.html) ;;
    *)
        echo "open-help-page: opened $url, not a page in $docs_dir" >&2
        exit 1
        ;;
    esac
    [ -f "$path" ] || {
        echo "open-help-page: $path does not exist" >&2
        exit 1
    }
    echo "open-help-page: opened $url"
done < <(sort -u "$opened")

#!/usr/bin/env bash
# Renders the icon set from its vector drawings in resources/image/src/ into the
# PNG files of resources/image/, builds the program icon logo.ico and the
# desktop icon set in packaging/icons/.
# The build uses the committed PNGs; run this after changing a drawing and
# commit the results. Needs rsvg-convert (librsvg2-bin), icotool (icoutils) and
# the Liberation fonts (fonts-liberation) for the home page pictures' titles.
set -euo pipefail

image_dir="$(cd "$(dirname "$0")/../resources/image" && pwd)"
src_dir="$image_dir/src"

for tool in rsvg-convert icotool fc-match; do
  if ! command -v "$tool" >/dev/null; then
    echo "render-icons: $tool is missing (see scripts/install-deps.sh)" >&2
    exit 1
  fi
done
if ! fc-match -f '%{family}\n' 'Liberation Sans:bold' | grep -q 'Liberation Sans'; then
  echo "render-icons: the Liberation Sans font is missing (fonts-liberation)" >&2
  exit 1
fi

# name and pixel size (width x height) of every picture the program loads.
# The sizes are the sizes the pages show them at, so Qt never rescales them:
# title bar buttons and small button icons use Qt's default 16x16 icon size,
# the link pictures are shown at 2/5 of their size, the logo at 30x30.
icons=(
  "logo 30x30"
  "close 16x16" "max 16x16" "normal 16x16" "minimize 16x16"
  "about 75x50" "support 75x50" "help 75x50"
  "rec 230x110" "edit 230x110" "cut_main 230x110"
  "folder 16x16" "play 16x16" "cut 16x16"
  "add 20x20" "up 20x20" "down 20x20" "delete 20x20"
  "rec1 32x32" "rec2 32x32"
  "pause 16x16" "stop 16x16" "quit 16x16"
  "avi 16x16"
)

for entry in "${icons[@]}"; do
  name="${entry% *}"
  size="${entry#* }"
  rsvg-convert --width "${size%x*}" --height "${size#*x}" \
    --output "$image_dir/$name.png" "$src_dir/$name.svg"
done

# The program icon: the mark at the sizes desktops ask for. 16 pixels gets its
# own drawing on the pixel grid; 256 is stored as PNG, as icon readers expect.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
rsvg-convert --width 16 --height 16 --output "$work/logo-16.png" "$src_dir/logo-small.svg"
for px in 32 48 256; do
  rsvg-convert --width "$px" --height "$px" --output "$work/logo-$px.png" "$src_dir/logo.svg"
done
icotool --create --output "$image_dir/logo.ico" \
  "$work/logo-16.png" "$work/logo-32.png" "$work/logo-48.png" --raw="$work/logo-256.png"

# The desktop's icon theme (installed under share/icons/hicolor): the mark at
# the sizes menus, docks and software centres ask for; the scalable size is
# logo.svg itself, installed as it is.
hicolor_dir="$(cd "$image_dir/../../packaging/icons" && pwd)/hicolor"
for px in 16 22 24 32 48 64 128 256; do
  mkdir -p "$hicolor_dir/${px}x${px}/apps"
  drawing="$src_dir/logo.svg"
  [ "$px" -eq 16 ] && drawing="$src_dir/logo-small.svg"
  rsvg-convert --width "$px" --height "$px" \
    --output "$hicolor_dir/${px}x${px}/apps/tessaly-recorder.png" "$drawing"
done

echo "render-icons: ${#icons[@]} pictures and logo.ico written to $image_dir,"
echo "render-icons: the desktop icon set to $hicolor_dir"

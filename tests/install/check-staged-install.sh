#!/usr/bin/env bash
# check-staged-install.sh BUILD_DIR PREFIX VERSION
# Installs BUILD_DIR into a staging directory and checks what a user would
# get: exactly the expected files and nothing outside PREFIX, a desktop entry
# and AppStream metadata their validators accept and whose names resolve to
# installed files, manual pages that document every tessaly-avi command and
# option, both programs' --version, and a recorder that opens its help pages
# from the installed data directory.
set -euo pipefail

build=$1
prefix=$2
version=$3
here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"

fail() {
    echo "check-staged-install: $*" >&2
    exit 1
}

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" >/dev/null
root="$stage$prefix"

# Exactly these files, all under the prefix.
icon_sizes=(16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256)
expected=(
    bin/tessaly-avi
    bin/tessaly-recorder
    share/applications/tessaly-recorder.desktop
    share/doc/tessaly-recorder/changelog.gz
    share/doc/tessaly-recorder/copyright
    share/icons/hicolor/scalable/apps/tessaly-recorder.svg
    share/man/man1/tessaly-avi.1.gz
    share/man/man1/tessaly-recorder.1.gz
    share/metainfo/org.tessaly.Recorder.metainfo.xml
    share/tessaly-recorder/docs/about.html
    share/tessaly-recorder/docs/audio-setup.html
    share/tessaly-recorder/docs/logo.svg
    share/tessaly-recorder/docs/style.css
    share/tessaly-recorder/docs/troubleshooting.html
    share/tessaly-recorder/docs/user-guide.html
)
for size in "${icon_sizes[@]}"; do
    expected+=("share/icons/hicolor/$size/apps/tessaly-recorder.png")
done
actual="$(cd "$stage" && find . -type f -o -type l | sed 's|^\./||' | sort)"
wanted="$(printf '%s\n' "${expected[@]}" | sed "s|^|${prefix#/}/|" | sort)"
if [ "$actual" != "$wanted" ]; then
    diff <(echo "$wanted") <(echo "$actual") >&2 || true
    fail "the installed files differ from the list above (< expected, > installed)"
fi
for size in "${icon_sizes[@]}"; do
    got="$(file -b "$root/share/icons/hicolor/$size/apps/tessaly-recorder.png")"
    [[ "$got" == "PNG image data, ${size/x/ x }"* ]] || fail "icon $size is $got"
done

# The validators, and the names the entries hold resolve to installed files.
desktop="$root/share/applications/tessaly-recorder.desktop"
metainfo="$root/share/metainfo/org.tessaly.Recorder.metainfo.xml"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
appstreamcli validate --no-net "$metainfo" >&2 || fail "appstreamcli rejects the metadata"
exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
icon_name="$(sed -n 's/^Icon=//p' "$desktop")"
[ -x "$root/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
[ -f "$root/share/icons/hicolor/scalable/apps/$icon_name.svg" ] ||
    fail "Icon=$icon_name is not in the icon theme"
grep -q "<launchable type=\"desktop-id\">${desktop##*/}</launchable>" "$metainfo" ||
    fail "the metadata does not launch ${desktop##*/}"
grep -q "<release version=\"$version\"" "$metainfo" ||
    fail "the metadata does not list release $version"

# --version from the project's version; --help from the staged program.
for program in tessaly-avi tessaly-recorder; do
    got="$("$root/bin/$program" --version)"
    [ "$got" = "$program $version" ] || fail "$program --version says '$got'"
done
avi_help="$("$root/bin/tessaly-avi" --help)"
[[ "$avi_help" == "Usage: tessaly-avi "* ]] || fail "tessaly-avi --help: $avi_help"

# The manual pages: no formatter warnings, and every command of
# tessaly-avi --help with every one of its options and an example.
for page in "$root"/share/man/man1/*.1.gz; do
    warnings="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "${page##*/}: $warnings"
done
man_source="$(zcat "$root/share/man/man1/tessaly-avi.1.gz" | sed 's/\\-/-/g')"
examples="$(sed -n '/^\.SH EXAMPLES/,/^\.SH /p' <<<"$man_source")"
commands="$(sed -n '/^Commands:/,/^$/{/^  /s/^  \([a-z-]*\).*/\1/p}' <<<"$avi_help")"
[ -n "$commands" ] || fail "tessaly-avi --help lists no commands"
for command in $commands; do
    grep -qx "\.SS $command" <<<"$man_source" || fail "the manual page lacks '$command'"
    grep -q "tessaly-avi $command" <<<"$examples" || fail "no example of '$command'"
    for option in $("$root/bin/tessaly-avi" "$command" --help | grep -oE -- '--[a-z][a-z-]*'); do
        grep -qF -- "$option" <<<"$man_source" || fail "the manual page lacks $command $option"
    done
done

# The staged recorder opens a help page from where it was installed; a docs
# folder beside the executable, as in the build tree, takes precedence.
installed_docs="$root/share/tessaly-recorder/docs"
for docs in "$installed_docs" "$root/bin/docs"; do
    [ -d "$docs" ] || cp -r "$installed_docs" "$docs"
    bash "$source_dir/scripts/with-xvfb.sh" bash "$here/open-help-page.sh" \
        "$root/bin/tessaly-recorder" "$docs"
done

echo "check-staged-install: the staged installation under $prefix is complete"

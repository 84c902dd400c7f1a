#!/usr/bin/env bash
# Installs the build into a temporary prefix and runs the installed programs
# from outside the build folder: both answer --version (and the editor
# --help) without a display, the tool dumps the installed sample game, and
# the editor starts on it under the offscreen platform and closes by itself.
# The desktop entry and the metadata are validated when the validators are
# installed.
#
#   tests/app/install_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/usr" >/dev/null
cd "$work"
bin=$work/usr/bin
share=$work/usr/share
id=org.kestrune.editor
fail() { echo "install test: $*" >&2; exit 1; }

for f in kestrune/qv5game.def kestrune/qv5lang/index.html kestrune/examples/game/demo.game/maps/Cellar.map \
         applications/$id.desktop metainfo/$id.metainfo.xml icons/hicolor/scalable/apps/$id.svg \
         icons/hicolor/48x48/apps/$id.png icons/hicolor/256x256/apps/$id.png man/man1/kestrune-tool.1; do
  [ -s "$share/$f" ] || fail "$f is not installed"
done

env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/kestrune-tool" --version | grep -Eq '^kestrune-tool [0-9]+\.[0-9]+' \
  || fail "kestrune-tool --version"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/kestrune-editor" --version | grep -Eq '^kestrune-editor [0-9]+\.[0-9]+' \
  || fail "kestrune-editor --version"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/kestrune-editor" --help | grep -q '^usage: kestrune-editor' \
  || fail "kestrune-editor --help"

# The definition file comes from the share folder: none lies beside the installed programs.
[ ! -e "$bin/qv5game.def" ] || fail "a definition file beside the installed programs"
game=$share/kestrune/examples/game/demo.game
"$bin/kestrune-tool" dump "$game" > dump.txt || fail "the installed tool cannot dump the installed sample"
grep -q 'Cellar' dump.txt || fail "the dump does not list the sample's maps"
# The data commands load no toolkit library; render and check run the
# installed drawing program.
if command -v readelf >/dev/null; then
  ! readelf -d "$bin/kestrune-tool" | grep -q 'libQt' || fail "kestrune-tool loads the toolkit"
fi
"$bin/kestrune-tool" render "$game" Cellar "$work/cellar.png" > /dev/null || fail "the installed tool cannot render"
[ -s "$work/cellar.png" ] || fail "the installed tool rendered nothing"
status=0
"$bin/kestrune-tool" check "$game" > check.txt || status=$?
[ "$status" -eq 0 ] || fail "the installed tool's check of the sample: status $status"

KESTRUNE_SETTINGS=$work/settings.ini QT_QPA_PLATFORM=offscreen KESTRUNE_CLOSE_AFTER_START=1 \
  KESTRUNE_SCREENSHOT=$work/editor.png timeout 60 "$bin/kestrune-editor" "$game" \
  || fail "the installed editor did not start and close on the installed sample"
[ -s "$work/editor.png" ] || fail "the installed editor showed no window"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$share/applications/$id.desktop" || fail "desktop entry"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$share/metainfo/$id.metainfo.xml" || fail "metadata"
fi
echo "install test: passed"

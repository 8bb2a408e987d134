#!/usr/bin/env bash
# Regenerates docs/options-dialog.png and docs/about-box.png: opens each dialog of the plug-in
# under a virtual X server and crops a screenshot of the screen to the dialog's window.
#
#   tests/wine/take-screenshots.sh [MINGW_BUILD_DIR]     (default: build-mingw)
#
# Uses its own wine prefix with the ordinary X11 driver (SCREENSHOT_WINEPREFIX, default
# $HOME/.wine-tovrin-screenshots), since the tests' null driver draws nothing.
# Needs wine, xvfb-run and ImageMagick's import and convert.
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$top/build-mingw}" && pwd)
host="$build/tests/wine/screenshot_host.exe"
plugin="$build/shell/Tovrin_Smoother.8bf"
for file in "$host" "$plugin"; do
    [ -f "$file" ] || { echo "take-screenshots: $file not built" >&2; exit 1; }
done

if [ -z "${TOVRIN_UNDER_XVFB:-}" ]; then
    TOVRIN_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$build"
fi

export WINEPREFIX="${SCREENSHOT_WINEPREFIX:-$HOME/.wine-tovrin-screenshots}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

shoot() { # dialog output.png
    local dialog=$1 output=$2 rectangle
    rectangle=$(mktemp)
    wine "$host" "--plugin=$plugin" "$dialog" 4000 >"$rectangle" &
    local pid=$!
    for _ in $(seq 100); do
        [ -s "$rectangle" ] && break
        sleep 0.1
    done
    sleep 1 # let the dialog finish painting
    read -r x y width height <"$rectangle"
    import -window root -crop "${width}x${height}+${x}+${y}" +repage "$output"
    wait "$pid"
    rm -f "$rectangle"
    echo "wrote $output (${width}x${height})"
}

mkdir -p "$top/docs"
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
# There is no window manager on the virtual screen: wine draws captions and frames itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
shoot options "$top/docs/options-dialog.png"
shoot about "$top/docs/about-box.png"
wineserver -k || true

#!/usr/bin/env bash
# Takes docs/screenshot.png: Ostrel's dialog right after it converted a copy of
# examples/sample.vlf, run under Wine on a virtual X display (Xvfb).
#   scripts/screenshot.sh              installs what is missing, builds build/win64 first
#   scripts/screenshot.sh BUILD_DIR    uses an existing x86_64 Windows build tree
# Uses wine64, xvfb-run, ImageMagick (import, convert) and Wine's fonts; scripts/setup.sh
# installs them.
set -Eeuo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
wine_dir=/usr/lib/wine
# A failure names the command that failed instead of ending the script silently.
trap 'status=$?; echo "screenshot.sh: failed (status $status): $BASH_COMMAND" >&2; exit $status' ERR

# Runs a command with its output kept aside; shows that output only when the command fails.
quietly() {
    local log status=0
    log=$(mktemp)
    "$@" >"$log" 2>&1 || status=$?
    ((status == 0)) || cat "$log" >&2
    rm -f "$log"
    return "$status"
}

# Runs on the virtual display: converts in the dialog and photographs it.
take_picture() {
    local build=$1 output=$2
    export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
    # The prefix must exist before a server can run in it. wineboot leaves a short-lived server
    # behind; once it has gone, a persistent one spares every later Wine call its start-up.
    quietly "$wine_dir/wine64" wineboot -i
    quietly "$wine_dir/wineserver" -w
    quietly "$wine_dir/wineserver" -p
    trap '"$wine_dir/wineserver" -k >/dev/null 2>&1 || true' EXIT
    # Without a window manager on the display, Wine draws the title bar and frame itself.
    quietly "$wine_dir/wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f
    # Wine draws the caption buttons with Marlett and the dialog in Tahoma, from fonts-wine.
    # Debian's Wine 8 looks for those fonts in a folder it cannot open ("<data dir>\../fonts"),
    # so their folder is named here; without it the close button shows as an "r".
    quietly "$wine_dir/wine64" reg add 'HKCU\Software\Wine\Fonts' /v Path /d 'Z:\usr\share\wine\fonts' /f

    # The program files sit where a user keeps them, on drive C: of the prefix.
    local folder=$WINEPREFIX/drive_c/Vela/Programs
    mkdir -p "$folder"
    cp "$root/examples/sample.vlf" "$folder/sample.vlf"
    rm -f "$folder/sample-absolute.vlf"
    local ready
    ready=$(mktemp -u /tmp/ostrel-screenshot.XXXXXX)

    "$wine_dir/wine64" "$build/tests/windows/end_to_end/screenshot_driver.exe" \
        "$build/app/Ostrel.exe" 'C:\Vela\Programs\sample.vlf' \
        'C:\Vela\Programs\sample-absolute.vlf' "$ready" &
    local driver=$!
    local waited=0
    until [ -s "$ready" ]; do
        if ! kill -0 "$driver" 2>/dev/null || [ "$waited" -ge 1200 ]; then
            echo "screenshot.sh: the dialog was not ready" >&2
            wait "$driver" || true
            exit 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    local rectangle
    rectangle=$(cat "$ready")
    import -window root -crop "$rectangle" +repage "$output"
    rm -f "$ready"
    wait "$driver"
    rm -rf "$WINEPREFIX/drive_c/Vela"
}

if [ "${1:-}" = --inside-display ]; then
    take_picture "$2" "$3"
    exit
fi

"$root/scripts/setup.sh" --screenshot
if [ $# -ge 1 ]; then
    build=$(cd "$1" && pwd)
else
    build=$root/build/win64
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DOSTREL_WINDOWS_ARCH=x86_64 >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)" --target Ostrel screenshot_driver

mkdir -p "$root/docs"
picture=$(mktemp /tmp/ostrel-screenshot.XXXXXX.png)
trap 'rm -f "$picture"' EXIT
xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/screenshot.sh" --inside-display "$build" "$picture"
# A small palette image: the dialog has few colours.
convert "$picture" -strip "$root/docs/screenshot.png"
echo "wrote docs/screenshot.png"

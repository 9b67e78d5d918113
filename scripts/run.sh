#!/usr/bin/env bash
# Installs what is missing and builds Ostrel. With a display, opens Ostrel.exe on it (under Wine
# on Linux); without one, says so and converts the example program file that the repository
# ships with the console converter, printing the Results log. The example itself is left
# unchanged: the conversion writes to build/example-converted.vlf.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export WINEDEBUG=-all

scripts/setup.sh --windows
echo "Building Ostrel.exe (build/win32/app/Ostrel.exe) and ostrel-convert..."
scripts/build.sh win32 >/dev/null
scripts/build.sh native >/dev/null

if [[ -n "${DISPLAY:-}" ]]; then
    # The x86 program needs a kernel that runs 32-bit programs; elsewhere the x64 build of the
    # same sources stands in for it.
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
        tree=win32 wine=/usr/lib/wine/wine
    else
        echo "This machine cannot run 32-bit programs: opening the x64 build instead."
        scripts/build.sh win64 >/dev/null
        tree=win64 wine=/usr/lib/wine/wine64
    fi
    echo "Opening build/$tree/app/Ostrel.exe on display $DISPLAY; close the dialog to end."
    WINEPREFIX="$root/build/$tree/wineprefix" "$wine" "build/$tree/app/Ostrel.exe"
    exit 0
fi

echo "No display (DISPLAY is not set): converting the example with the console converter."
echo "Converting examples/sample.vlf into build/example-converted.vlf:"
echo
build/native/console/ostrel-convert examples/sample.vlf build/example-converted.vlf

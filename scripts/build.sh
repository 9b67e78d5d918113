#!/usr/bin/env bash
# Builds one configuration of Ostrel in build/NAME.
#   scripts/build.sh native     Linux build over libxml2, with the sanitizers
#   scripts/build.sh release    optimised Linux build without tests (the Debian package, the
#                               benchmark), hardened with Debian's build flags
#   scripts/build.sh win32      Windows x86 (the product, Ostrel.exe)
#   scripts/build.sh win64      Windows x64 (runs the Windows tests under Wine)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=${1:?usage: scripts/build.sh native|release|win32|win64 [CMAKE OPTIONS...]}
shift
jobs=$(nproc)

type=RelWithDebInfo
case "$name" in
    native) options=(-DOSTREL_SANITIZE=ON) ;;
    release)
        type=Release
        # The flags Debian builds its packages with, every hardening feature on (bind now too):
        # fortified functions, stack protector, read-only relocations resolved at start.
        hardened() {
            (cd "$root" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1")
        }
        options=(-DOSTREL_SANITIZE=OFF -DBUILD_TESTING=OFF
            -DCMAKE_C_FLAGS="$(hardened CPPFLAGS) $(hardened CFLAGS)"
            -DCMAKE_CXX_FLAGS="$(hardened CPPFLAGS) $(hardened CXXFLAGS)"
            -DCMAKE_EXE_LINKER_FLAGS="$(hardened LDFLAGS)")
        ;;
    win32) options=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DOSTREL_WINDOWS_ARCH=i686) ;;
    win64) options=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DOSTREL_WINDOWS_ARCH=x86_64) ;;
    *) echo "unknown build: $name" >&2; exit 2 ;;
esac

cmake -S "$root" -B "$root/build/$name" -DCMAKE_BUILD_TYPE="$type" "${options[@]}" "$@" >/dev/null
cmake --build "$root/build/$name" --parallel "$jobs"

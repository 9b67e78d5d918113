#!/usr/bin/env bash
# Installs what is missing and makes the two packages of Ostrel in build/packages:
#   ostrel-convert_VERSION_amd64.deb   the console converter for Debian, from a release build
#                                      (build/release: optimised, no sanitizers, no tests)
#   Ostrel-VERSION-win32.zip           Ostrel.exe and ostrel-convert.exe for x86 Windows, with the
#                                      README and the license (from build/win32)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh --cross
scripts/build.sh release >/dev/null
scripts/build.sh win32 >/dev/null

out=$root/build/packages
rm -rf "$out"
(cd build/release && cpack -G DEB -B "$out" >/dev/null)
(cd build/win32 && cpack -G ZIP -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
ls -1 "$out"/*.deb "$out"/*.zip

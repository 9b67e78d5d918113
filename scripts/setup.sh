#!/usr/bin/env bash
# Installs the Debian packages Ostrel needs to build and test, skipping those already present.
#   scripts/setup.sh               native build and tests
#   scripts/setup.sh --windows     also the Windows cross build, Wine, its fonts and Xvfb
#   scripts/setup.sh --screenshot  also ImageMagick, for scripts/screenshot.sh
set -euo pipefail

packages=(g++ cmake make pkg-config libxml2-dev googletest python3 util-linux)
# Without fonts-wine, Wine has no Marlett and draws the caption buttons as letters.
windows=(mingw-w64 wine wine64 "wine32:i386" xvfb xauth x11-utils fonts-wine)
for option in "$@"; do
    case "$option" in
        --windows) packages+=("${windows[@]}") ;;
        --screenshot) packages+=("${windows[@]}" imagemagick) ;;
        *) echo "usage: scripts/setup.sh [--windows|--screenshot]" >&2; exit 2 ;;
    esac
done

as_root() {
    if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

missing=()
for package in "${packages[@]}"; do
    if ! dpkg -s "$package" >/dev/null 2>&1 && [[ " ${missing[*]} " != *" $package "* ]]; then
        missing+=("$package")
    fi
done
if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing: ${missing[*]}"
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
fi
as_root apt-get update -q
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"

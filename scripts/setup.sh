#!/usr/bin/env bash
# Installs the Debian packages Ostrel needs to build, test and package, skipping those already
# present.
#   scripts/setup.sh               native build, tests and the Debian package
#   scripts/setup.sh --cross       also the Windows cross compilers (enough for the ZIP)
#   scripts/setup.sh --windows     also Wine, its fonts and Xvfb, to run the Windows program
#   scripts/setup.sh --screenshot  also ImageMagick, for scripts/screenshot.sh
#   scripts/setup.sh --bench       also xmllint and Python's lxml, which the benchmarks compare with
#                                  (the benchmark scripts are Python)
#   scripts/setup.sh --fuzz        also clang and its libFuzzer, for the fuzz target
set -euo pipefail

# dpkg-dev and file compute the Debian package's dependencies (dpkg-dev also gives the hardening
# flags of the release build); man-db checks its manual page and lintian the whole package;
# bash-completion runs the test of the console converter's completion. libacl1-dev and
# libattr1-dev: a save keeps the access-control list and extended attributes. libxxhash-dev: the
# digests of the byte-faithful save.
packages=(g++ cmake make pkg-config libxml2-dev libacl1-dev libattr1-dev libxxhash-dev googletest util-linux
    dpkg-dev file man-db lintian bash-completion)
cross=(mingw-w64)
# Without fonts-wine, Wine has no Marlett and draws the caption buttons as letters.
windows=("${cross[@]}" wine wine64 "wine32:i386" xvfb xauth x11-utils fonts-wine)
for option in "$@"; do
    case "$option" in
        --cross) packages+=("${cross[@]}") ;;
        --windows) packages+=("${windows[@]}") ;;
        --screenshot) packages+=("${windows[@]}" imagemagick) ;;
        --bench) packages+=(libxml2-utils python3 python3-lxml) ;;
        --fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
        *) echo "usage: scripts/setup.sh [--cross|--windows|--screenshot|--bench|--fuzz]" >&2; exit 2 ;;
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

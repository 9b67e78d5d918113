#!/usr/bin/env bash
# Checks a package as a user gets it.
#   tests/package/package_test.sh deb ostrel-convert_VERSION_amd64.deb
#       unpacked, it holds exactly the program, its manual page and the license; its dependencies
#       name no sanitizer run-time; the program reports the package's version; man renders the
#       page without a warning, and the page shows every form of the command.
#   tests/package/package_test.sh zip Ostrel-VERSION-win32.zip
#       exactly the two programs, the README and the license, in one folder named as the archive.
set -euo pipefail
kind=$1 package=$2
failed=0
fail() {
    printf 'package test: %s\n' "$*" >&2
    failed=1
}

if [[ $kind == zip ]]; then
    top=$(basename "$package" .zip)
    listing=$(cmake -E tar tf "$package" | LC_ALL=C sort)
    expected=$(printf '%s\n' "$top/LICENSE" "$top/Ostrel.exe" "$top/README.txt" \
        "$top/ostrel-convert.exe" | LC_ALL=C sort)
    [[ $listing == "$expected" ]] || fail "the ZIP holds:" $'\n'"$listing"
    exit "$failed"
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$package" "$root"
files=$(cd "$root" && find . -type f | LC_ALL=C sort)
page=usr/share/man/man1/ostrel-convert.1.gz
expected=$(printf '%s\n' ./usr/bin/ostrel-convert ./usr/share/doc/ostrel-convert/copyright "./$page")
[[ $files == "$expected" ]] || fail "the package holds:" $'\n'"$files"
depends=$(dpkg-deb -f "$package" Depends)
[[ $depends == *libxml2* && $depends != *san* ]] || fail "Depends: $depends"

version=$(dpkg-deb -f "$package" Version)
said=$("$root/usr/bin/ostrel-convert" --version) || fail "--version ended with status $?"
[[ $said == *"file version $version,"* ]] || fail "--version says: $said"

# A locale that always exists: an unknown one would make man warn about the locale instead.
export LC_ALL=C.UTF-8 MANWIDTH=80
warnings=$(man -l --warnings "$root/$page" 2>&1 >/dev/null) || fail "man failed"
[[ -z $warnings ]] || fail "man warns: $warnings"
text=$(man -l "$root/$page" | tr -s ' ')
for form in "ostrel-convert SOURCE TARGET" "ostrel-convert --in-place [--jobs N] PATH..." \
    "ostrel-convert --output-dir DIR [--jobs N] PATH..."; do
    [[ $text == *"$form"* ]] || fail "the manual page does not show: $form"
done
exit "$failed"

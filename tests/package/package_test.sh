#!/usr/bin/env bash
# Checks a package as a user gets it.
#   tests/package/package_test.sh deb ostrel-convert_VERSION-REVISION_amd64.deb
#       lintian reports no error and no warning; unpacked, it holds exactly the program, its
#       manual page, its bash completion, Debian's changelog and copyright file and the lintian
#       overrides; its
#       dependencies name no sanitizer run-time; the program reports the package's version, as
#       the changelog's first entry does; man renders the page without a warning, and the page
#       shows every form of the command.
#   tests/package/package_test.sh zip Ostrel-VERSION-win32.zip
#       exactly the two programs, the README for Windows users, the user's guide and the license,
#       in one folder named as the archive; both programs are x86 and carry their manifest, and
#       the console program its own version block.
set -euo pipefail
kind=$1 package=$(realpath "$2")
failed=0
fail() {
    printf 'package test: %s\n' "$*" >&2
    failed=1
}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

if [[ $kind == zip ]]; then
    top=$(basename "$package" .zip)
    listing=$(cmake -E tar tf "$package" | LC_ALL=C sort)
    expected=$(printf "$top/%s\n" LICENSE Ostrel.exe README.txt ostrel-convert.exe user-guide.md |
        LC_ALL=C sort)
    [[ $listing == "$expected" ]] || fail "the ZIP holds:" $'\n'"$listing"
    (cd "$root" && cmake -E tar xf "$package")
    # Windows line ends throughout (older Notepads show a text with bare line feeds as one line),
    # and the text for Windows users, not the developers' Markdown with its Debian commands.
    readme=$root/$top/README.txt
    [[ -f $readme && $(grep -c $'\r$' "$readme") == $(wc -l <"$readme") ]] ||
        fail "README.txt has lines without CR LF"
    if ! grep -q "ostrel-convert.exe --help" "$readme" 2>/dev/null ||
        grep -q "apt install" "$readme" 2>/dev/null; then
        fail "README.txt is not the one for Windows users"
    fi
    for program in Ostrel.exe ostrel-convert.exe; do
        exe=$root/$top/$program
        [[ $(file -b "$exe" 2>/dev/null) == "PE32 executable"*"Intel 80386"* ]] ||
            fail "$program is not an x86 program"
        grep -aq 'processorArchitecture="x86"' "$exe" || fail "$program has no x86 manifest"
    done
    texts=$(strings -e l "$root/$top/ostrel-convert.exe" 2>/dev/null)
    for text in "Ostrel console converter" ostrel-convert.exe; do
        grep -qxF "$text" <<<"$texts" || fail "ostrel-convert.exe's version block lacks: $text"
    done
    exit "$failed"
fi

tags=$(lintian --fail-on error,warning "$package" 2>&1) || fail "lintian reports:" $'\n'"$tags"

dpkg-deb -x "$package" "$root"
files=$(cd "$root" && find . -type f | LC_ALL=C sort)
page=usr/share/man/man1/ostrel-convert.1.gz
doc=usr/share/doc/ostrel-convert
expected=$(printf '%s\n' ./usr/bin/ostrel-convert \
    ./usr/share/bash-completion/completions/ostrel-convert "./$doc/changelog.Debian.gz" \
    "./$doc/copyright" ./usr/share/lintian/overrides/ostrel-convert "./$page")
[[ $files == "$expected" ]] || fail "the package holds:" $'\n'"$files"
depends=$(dpkg-deb -f "$package" Depends)
[[ $depends == *libxml2* && $depends != *san* ]] || fail "Depends: $depends"

version=$(dpkg-deb -f "$package" Version)
said=$("$root/usr/bin/ostrel-convert" --version) || fail "--version ended with status $?"
# The first line, as GNU tools write it, ends with the upstream version.
[[ ${said%%$'\n'*} == "ostrel-convert ("*") ${version%-*}" ]] || fail "--version says: $said"
entry=$(gzip -dc "$root/$doc/changelog.Debian.gz" | head -n 1)
[[ $entry == "ostrel-convert ($version) "* ]] || fail "the changelog begins: $entry"

# A locale that always exists: an unknown one would make man warn about the locale instead.
export LC_ALL=C.UTF-8 MANWIDTH=80
warnings=$(man -l --warnings "$root/$page" 2>&1 >/dev/null) || fail "man failed"
[[ -z $warnings ]] || fail "man warns: $warnings"
text=$(man -l "$root/$page" | tr -s ' ')
for form in "ostrel-convert [-q] SOURCE TARGET" "ostrel-convert -i [-q] [-j N] PATH..." \
    "ostrel-convert -o DIR [-q] [-j N] PATH..." "ostrel-convert --check [-j N] PATH..."; do
    [[ $text == *"$form"* ]] || fail "the manual page does not show: $form"
done
exit "$failed"

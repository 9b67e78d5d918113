#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test: the native build
# (with the sanitizers), the Windows build under Wine with a virtual display, and the packages.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export WINEDEBUG=-all

scripts/setup.sh --windows --fuzz

results=$(mktemp)
trap 'rm -f "$results"' EXIT

status=0
# Runs ctest in a build tree, keeping its summary line for the total at the end; a failure is
# remembered and the next suites still run.
run_ctest() {
    local tree=$1
    shift
    echo "== tests of build/$tree"
    (cd "build/$tree" && "$@" ctest --output-on-failure --timeout 600) | tee -a "$results" || status=1
}

scripts/build.sh native
run_ctest native

# The save's fuzz target, built by clang with libFuzzer, in a short bounded run.
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DOSTREL_FUZZ=ON -DOSTREL_WARNINGS_AS_ERRORS=OFF >/dev/null
cmake --build build/fuzz --target libxml2_save_fuzz --parallel "$(nproc)"
echo "== tests of build/fuzz"
(cd build/fuzz && ctest --output-on-failure -R libxml2_save_fuzz) | tee -a "$results" || status=1

# The product is the x86 build; the x64 build runs the Windows tests here, because Wine's
# 32-bit side needs a kernel that runs 32-bit programs, which not every machine has.
scripts/build.sh win32
scripts/build.sh win64 -DOSTREL_X86_PRODUCT="$root/build/win32/app/Ostrel.exe" \
    -DOSTREL_X86_CONSOLE="$root/build/win32/console/ostrel-convert.exe"
run_ctest win64 xvfb-run -a -s "-screen 0 1280x1024x24"
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    run_ctest win32 xvfb-run -a -s "-screen 0 1280x1024x24"
else
    echo "== build/win32: built; this machine cannot run 32-bit programs, so its tests ran as x64"
fi

# The packages as the README makes them: the .deb (from a release build) and the Windows ZIP.
echo "== packages"
scripts/package.sh || status=1
passed=0
failed=0
for kind in deb zip; do
    if tests/package/package_test.sh "$kind" build/packages/*."$kind"; then
        echo "package check $kind: passed"
        passed=$((passed + 1))
    else
        echo "package check $kind: FAILED"
        failed=$((failed + 1))
    fi
done

while read -r line; do
    if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
        failed=$((failed + BASH_REMATCH[1]))
        passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
    fi
done < <(grep "tests failed out of" "$results")
echo "$passed passed, $failed failed"
((failed == 0)) || status=1
exit "$status"

#!/usr/bin/env bash
# Installs what is missing, builds Ostrel and converts the example program file that the
# repository ships, printing the Results log. The example itself is left unchanged: the
# conversion writes to build/example-converted.vlf.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
scripts/build.sh native >/dev/null
echo "Converting examples/sample.vlf into build/example-converted.vlf:"
echo
build/native/console/ostrel-convert examples/sample.vlf build/example-converted.vlf

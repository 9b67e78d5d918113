#!/usr/bin/env bash
# Builds an optimised native Ostrel (no sanitizers) and runs the conversion benchmark: the console
# converter against libxml2's own load and save (xmllint) and a Python script on lxml.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" --bench
"$root/scripts/build.sh" release >/dev/null
# Debian's python3 has lxml; a python3 earlier on the PATH may not.
exec /usr/bin/python3 "$root/bench/run.py" "$root/build/release" "$@"

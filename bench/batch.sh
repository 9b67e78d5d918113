#!/usr/bin/env bash
# Builds an optimised native Ostrel (no sanitizers) and runs the batch benchmark.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build/release" --parallel "$(nproc)" --target ostrel-convert >/dev/null
exec python3 "$root/bench/batch.py" "$root/build/release" "$@"

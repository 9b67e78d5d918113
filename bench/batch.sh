#!/usr/bin/env bash
# Builds an optimised native Ostrel (no sanitizers) and runs the batch benchmark: in the temporary
# folder, where every save waits for the disk, and in memory (/dev/shm), where no save does.
#   bench/batch.sh [REPEATS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build/release" --parallel "$(nproc)" --target ostrel-convert >/dev/null
echo "== in ${TMPDIR:-/tmp}"
python3 "$root/bench/batch.py" "$root/build/release" "${1:-5}"
if [[ -d /dev/shm ]]; then
    echo "== in /dev/shm"
    python3 "$root/bench/batch.py" "$root/build/release" "${1:-5}" /dev/shm
fi

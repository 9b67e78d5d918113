#!/usr/bin/env python3
"""Batch benchmark: 300 program files of 200 fixtures each, converted into an empty folder by
`ostrel-convert --output-dir` with one job and with two, and by a shell loop that runs the
two-argument form once per file. Prints the best wall and processor times of several rounds, the
files per second and each way's speed against one job.

Target: two jobs at least 1.6x as fast as one, on a machine with two processors or more.

usage: bench/batch.py BUILD_DIR [REPEATS] [FOLDER]
  FOLDER: where the files are written (default: a new temporary folder); its file system's
  flushes to the disk are part of every conversion.
"""
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run import run, write_program  # noqa: E402  (shared with the conversion benchmark)

FILES = 300
FIXTURES = 200
TARGET_SPEEDUP = 1.6

# The two-argument form once per file, as a script would have done it before batches.
SHELL_LOOP = 'for f in "$1"/*.vlf; do "$0" "$f" "$2/${f##*/}" || exit 1; done'


def run_into_new_folder(make_argv, out):
    """Runs one way into a new empty output folder; gives its times."""
    times = run(make_argv(out))[:2]  # wall and processor time
    converted = sum(len(files) for _, _, files in os.walk(out))
    if converted != FILES:
        sys.exit(f"{converted} files converted instead of {FILES}")
    return times


def best_of(repeats, ways, folder):
    """The best wall and processor times of each way over several rounds. Each round runs every
    way once, so that a load that comes and goes on a shared machine weighs on all of them. The
    converted files stay until the end: a file system that has just deleted many files can take
    longer to create new ones (ext4 passes over recently freed inodes), which would weigh on the
    later runs."""
    runs = {name: [] for name, _ in ways}
    for attempt in range(repeats):
        for number, (name, make_argv) in enumerate(ways):
            out = os.path.join(folder, f"out-{attempt}-{number}")
            runs[name].append(run_into_new_folder(make_argv, out))
    return {name: (min(r[0] for r in times), min(r[1] for r in times))
            for name, times in runs.items()}


def measure(build, repeats, folder):
    converter = os.path.join(build, "console", "ostrel-convert")
    sources = os.path.join(folder, "programs")
    os.makedirs(sources)
    for i in range(FILES):
        write_program(os.path.join(sources, f"program-{i:03}.vlf"), FIXTURES)
    size = sum(os.path.getsize(os.path.join(sources, name)) for name in os.listdir(sources))
    print(f"{FILES} files of {FIXTURES} fixtures, {size / 1e6:.1f} MB; best of {repeats}; "
          f"{os.cpu_count()} processors")

    def shell_loop(out):
        os.makedirs(out)
        return ["/bin/sh", "-c", SHELL_LOOP, converter, sources, out]

    ways = [
        ("--jobs 1", lambda out: [converter, "--output-dir", out, "--jobs", "1", sources]),
        ("--jobs 2", lambda out: [converter, "--output-dir", out, "--jobs", "2", sources]),
        ("shell loop", shell_loop),
    ]
    print(f"{'way':>12} | {'wall s':>7} {'files/s':>8} {'speed-up':>8} | {'cpu s':>7}")
    best = best_of(repeats, ways, folder)
    for name, (wall, cpu) in best.items():
        print(f"{name:>12} | {wall:>7.3f} {FILES / wall:>8.1f} "
              f"{best['--jobs 1'][0] / wall:>7.2f}x | {cpu:>7.3f}")
    speedup = best["--jobs 1"][0] / best["--jobs 2"][0]
    verdict = "met" if speedup >= TARGET_SPEEDUP else "missed"
    print(f"two jobs against one: {speedup:.2f}x (target {TARGET_SPEEDUP}x: {verdict})")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    place = sys.argv[3] if len(sys.argv) > 3 else None
    with tempfile.TemporaryDirectory(prefix="ostrel-batch-", dir=place) as folder:
        measure(build, repeats, folder)

if __name__ == "__main__":
    main()

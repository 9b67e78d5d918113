#!/usr/bin/env python3
"""Conversion benchmark: prints, for program files of 1,000, 10,000 and 100,000 fixtures, the
file size, the console converter's time, the same backend's bare load and save (the floor),
their ratio and the peak memory of the conversion.

Targets: conversion at most 1.3x the floor at every size; 100,000 fixtures at most 11x the
time of 10,000; peak memory at most 10x the file size.

usage: bench/run.py BUILD_DIR [REPEATS]
"""
import os
import random
import sys
import tempfile
import time

SIZES = (1_000, 10_000, 100_000)


def pin_line(rng):
    n = rng.randint(1, 4000)
    form = rng.randrange(6)
    if form == 0:
        return str(n)
    if form == 1:
        return f"{n},A{rng.randint(1, 99)}"
    if form == 2:
        return f"{n},A{rng.randint(1, 99)},B{rng.randint(1, 99)}"
    if form == 3:
        return f"{n},,C{rng.randint(1, 9)}"
    if form == 4:
        return f"K{n}"
    return f"{n},A{rng.randint(1, 9)},B{rng.randint(1, 9)},C{rng.randint(1, 9)}"


def write_program(path, fixtures):
    rng = random.Random(fixtures)
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n<Editor Version="3.2" CRC="0F1E2D3C">\n')
        out.write('\t<Harness Name="Benchmark \u00b5">\n\t\t<Fixtures>\n')
        for i in range(fixtures):
            lines = "".join(f"\t\t\t\t{pin_line(rng)}\n" for _ in range(10))
            out.write(f'\t\t\t<Fixture Name="F{i}">\n\t\t\t\t<![CDATA[\n{lines}\t\t\t]]>\n'
                      "\t\t\t</Fixture>\n")
        out.write("\t\t</Fixtures>\n\t</Harness>\n</Editor>\n")


def run(argv):
    """Runs a program; gives its wall time and its processor time (user and system) in seconds,
    and its peak resident memory in bytes."""
    start = time.perf_counter()
    pid = os.fork()
    if pid == 0:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 1)
        os.execv(argv[0], argv)
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{argv[0]} failed with status {os.waitstatus_to_exitcode(status)}")
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss * 1024


def best_of(repeats, argv):
    """The best wall and processor times of several runs, and the highest peak memory."""
    runs = [run(argv) for _ in range(repeats)]
    return (min(r[0] for r in runs), min(r[1] for r in runs), max(r[2] for r in runs))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    converter = os.path.join(build, "console", "ostrel-convert")
    floor_program = os.path.join(build, "bench", "ostrel-load-save")
    # Wall time includes flushing the target to the disk, which varies a lot from run to run on
    # a shared machine; processor time is the steadier measure of the program's own work.
    print(f"{'fixtures':>9} {'file MB':>8} | {'wall s':>7} {'floor':>7} {'ratio':>6} | "
          f"{'cpu s':>7} {'floor':>7} {'ratio':>6} | {'peak MB':>8} {'peak/file':>9} "
          f"{'added/file':>10}")
    times = {}
    with tempfile.TemporaryDirectory(prefix="ostrel-bench-") as folder:
        # The memory any run takes whatever the file (program, libraries, their data), measured
        # on a program file of one fixture: "added" is the peak beyond it.
        tiny = os.path.join(folder, "program-1.vlf")
        write_program(tiny, 1)
        _, _, baseline = best_of(repeats, [converter, tiny, os.path.join(folder, "tiny.vlf")])
        for fixtures in SIZES:
            source = os.path.join(folder, f"program-{fixtures}.vlf")
            target = os.path.join(folder, "converted.vlf")
            write_program(source, fixtures)
            size = os.path.getsize(source)
            wall, cpu, peak = best_of(repeats, [converter, source, target])
            floor_wall, floor_cpu, _ = best_of(repeats, [floor_program, source, target])
            times[fixtures] = (wall, cpu)
            print(f"{fixtures:>9} {size / 1e6:>8.2f} | {wall:>7.3f} {floor_wall:>7.3f} "
                  f"{wall / floor_wall:>6.2f} | {cpu:>7.3f} {floor_cpu:>7.3f} "
                  f"{cpu / floor_cpu:>6.2f} | {peak / 1e6:>8.1f} {peak / size:>9.2f} "
                  f"{(peak - baseline) / size:>10.2f}")
    wall_growth = times[100_000][0] / times[10_000][0]
    cpu_growth = times[100_000][1] / times[10_000][1]
    print(f"growth 10,000 -> 100,000 fixtures: wall {wall_growth:.2f}x, cpu {cpu_growth:.2f}x")
    print(f"memory of a one-fixture run: {baseline / 1e6:.1f} MB")


if __name__ == "__main__":
    main()

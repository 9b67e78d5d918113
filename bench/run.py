#!/usr/bin/env python3
"""Conversion benchmark: for program files of 1,000, 10,000 and 100,000 fixtures, in UTF-8 and in
UTF-16, prints the console converter's time, libxml2's own load and save of the same file
(xmllint --output, the floor), the same job as a short Python script on lxml (the peer), their
ratios and the converter's peak memory.

Targets at every size and encoding: the conversion at most 1.0x the floor; the peer at least 4x
slower than the conversion; peak memory at most 8x the file.

usage: bench/run.py BUILD_DIR [REPEATS]
"""
import os
import random
import sys
import tempfile
import time

SIZES = (1_000, 10_000, 100_000)
ENCODINGS = ("UTF-8", "UTF-16")
HERE = os.path.dirname(os.path.abspath(__file__))


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


def write_program(path, fixtures, encoding="UTF-8"):
    rng = random.Random(fixtures)
    parts = [f'<?xml version="1.0" encoding="{encoding}"?>\n<Editor Version="3.2" CRC="0F1E2D3C">\n',
             '\t<Harness Name="Benchmark \u00b5">\n\t\t<Fixtures>\n']
    for i in range(fixtures):
        lines = "".join(f"\t\t\t\t{pin_line(rng)}\n" for _ in range(10))
        parts.append(f'\t\t\t<Fixture Name="F{i}">\n\t\t\t\t<![CDATA[\n{lines}\t\t\t]]>\n'
                     "\t\t\t</Fixture>\n")
    parts.append("\t\t</Fixtures>\n\t</Harness>\n</Editor>\n")
    # UTF-16 with its byte order mark, little-endian.
    with open(path, "wb") as out:
        out.write("".join(parts).encode("utf-16" if encoding == "UTF-16" else "utf-8"))


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
    converter = [os.path.join(build, "console", "ostrel-convert")]
    floor = ["/usr/bin/xmllint", "--output"]  # TARGET then SOURCE
    peer = ["/usr/bin/python3", os.path.join(HERE, "lxml_convert.py")]
    # Wall times include the converter flushing its target to the disk (xmllint does not); the
    # processor times (user and system) are the steadier measure of the programs' own work.
    print(f"{'fixtures':>8} {'encoding':>8} {'MB':>6} | {'conv s':>7} {'cpu':>6} | {'floor s':>7} "
          f"{'cpu':>6} | {'conv/floor':>10} {'cpu':>5} | {'peer s':>7} {'peer/conv':>9} | "
          f"{'peak MB':>7} {'peak/file':>9} {'added/file':>10}")
    with tempfile.TemporaryDirectory(prefix="ostrel-bench-") as folder:
        target = os.path.join(folder, "converted.vlf")
        # The memory any run takes whatever the file (program, libraries, their data), measured
        # on a program file of one fixture: "added" is the peak beyond it.
        tiny = os.path.join(folder, "program-1.vlf")
        write_program(tiny, 1)
        _, _, baseline = best_of(repeats, converter + [tiny, target])
        for fixtures in SIZES:
            for encoding in ENCODINGS:
                source = os.path.join(folder, f"program-{fixtures}-{encoding}.vlf")
                write_program(source, fixtures, encoding)
                size = os.path.getsize(source)
                wall, cpu, peak = best_of(repeats, converter + [source, target])
                floor_wall, floor_cpu, _ = best_of(repeats, floor + [target, source])
                peer_wall, _, _ = best_of(repeats, peer + [source, target])
                print(f"{fixtures:>8} {encoding:>8} {size / 1e6:>6.2f} | {wall:>7.3f} {cpu:>6.3f} | "
                      f"{floor_wall:>7.3f} {floor_cpu:>6.3f} | {wall / floor_wall:>10.2f} "
                      f"{cpu / floor_cpu:>5.2f} | {peer_wall:>7.3f} {peer_wall / wall:>9.2f} | "
                      f"{peak / 1e6:>7.1f} {peak / size:>9.2f} {(peak - baseline) / size:>10.2f}")
    print(f"memory of a one-fixture run: {baseline / 1e6:.1f} MB")


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Our streaming counter against sigrok-cli's counter protocol decoder on the
same samples: 10 M samples of libsigrok's demo "incremental" pattern (sample
j = j mod 256, so channel k is a square wave of half period 2^k samples),
written as a raw file that both read. sigrok-cli runs its decoder once per
channel (it takes one data channel); count_file counts all channels in one
pass. Prints the rising-edge counts of both, whether they agree, and the
ratio of the times.

  bench/compare_sigrok_cli.py [--bin build/release/bin] [--samples 10000000]
"""
import argparse
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time


def run_timed(cmd):
    """Runs cmd; returns (stdout lines iterator result, wall s, cpu s)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    last = None
    lines = []
    for line in proc.stdout:
        last = line
        if len(lines) < 64:
            lines.append(line)
    err = proc.stderr.read()
    proc.wait()
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if proc.returncode != 0:
        sys.exit(f"{cmd[0]} failed ({proc.returncode}): {err.strip()}")
    return lines, last, wall, cpu


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", default=os.path.join(here, "..", "build", "release", "bin"),
                        help="folder holding count_file")
    parser.add_argument("--samples", type=int, default=10_000_000)
    parser.add_argument("--rate", type=int, default=24_000_000, help="sample rate, Hz")
    args = parser.parse_args()

    count_file = os.path.join(args.bin, "count_file")
    if not os.access(count_file, os.X_OK):
        sys.exit(f"no {count_file}: build the target count_file (Release) first")
    if not shutil.which("sigrok-cli"):
        sys.exit("sigrok-cli not found (Debian package sigrok-cli)")

    channels = 8
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "incremental.bin")
        with open(path, "wb") as f:
            block = bytes(range(256)) * 4096
            left = args.samples
            while left > 0:
                f.write(block[:left])
                left -= len(block)

        lines, last, ours_wall, ours_cpu = run_timed([count_file, path, "1", str(channels)])
        ours = {int(k): int(v) for k, v in (l.split() for l in lines[:channels])}
        counting = float(last.split("counted in")[1].split()[0])  # without start-up and file read

        theirs = {}
        sigrok_wall = sigrok_cpu = 0.0
        for k in range(channels):
            _, last, wall, cpu = run_timed([
                "sigrok-cli", "-i", path,
                "-I", f"binary:numchannels={channels}:samplerate={args.rate}",
                "-P", f"counter:data={k}:data_edge=rising", "-A", "counter=edge_counts"])
            # Each annotation carries the running count; the last one is the total.
            theirs[k] = int(last.rsplit(":", 1)[1]) if last else 0
            sigrok_wall += wall
            sigrok_cpu += cpu
            print(f"  sigrok-cli channel {k}: {theirs[k]} rising edges, {wall:.2f} s", flush=True)

    print(f"{args.samples} samples, {channels} channels, rising edges per channel")
    print(" channel   streaming counter   sigrok-cli counter")
    agree = True
    for k in range(channels):
        mark = "" if ours[k] == theirs[k] else "   DIFFERENT"
        agree = agree and not mark
        print(f" {k:7d}   {ours[k]:17d}   {theirs[k]:18d}{mark}")
    print(f"counts {'agree' if agree else 'DIFFER'}")
    print(f"streaming counter (count_file, all channels, one pass): "
          f"{ours_wall:.3f} s wall, {ours_cpu:.3f} s CPU")
    print(f"  of which counting: {counting:.4f} s ({args.samples / counting / 1e9:.2f} G samples/s)")
    print(f"sigrok-cli -P counter (one run per channel, summed):     "
          f"{sigrok_wall:.3f} s wall, {sigrok_cpu:.3f} s CPU")
    print(f"ratio sigrok-cli / streaming counter: {sigrok_wall / ours_wall:.0f}x wall, "
          f"{sigrok_cpu / max(ours_cpu, 1e-6):.0f}x CPU")
    return 0 if agree else 1


if __name__ == "__main__":
    sys.exit(main())

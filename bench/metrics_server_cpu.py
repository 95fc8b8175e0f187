#!/usr/bin/python3
"""vexcountd's metrics with 20 monitored modules: scrape time and size, CPU.

Writes REPLAYS small captures (0.1 s, 18 channels, square waves, channel 0 a
100 kHz reference at 1 MHz) and starts the real vexcountd with the five
simulations and one `--device replay:file=...:ref=100kHz@0` per capture,
every module monitored with 100 ms frequency counts (`--monitor
MODULE:freq:0.1`). With --metrics it scrapes /metrics every INTERVAL seconds
as Prometheus does (asking for gzip) and prints each scrape's time
(as the client sees it, and as the exposer measures it), size (as text and
as sent) and sample count; without --metrics the same server and monitors run unscraped. Each
round measures both, for SECONDS each, and prints vexcountd's CPU time (user
+ system, from /proc) as a percentage of one core, and with metrics that of
the exposer's web server threads alone (collect, serialise, serve). The
difference of the two runs is what the metrics cost beside the counting
(the exposer's share plus taking every finished count); on a busy machine it
is within the noise of the counting itself.

    bench/metrics_server_cpu.py --bin build/release/bin [--seconds 20] [--rounds 2]
"""
import argparse
import gzip
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.request

SIMULATIONS = ["QVSIMC01", "QVSIMC02", "QVSIMO01", "QVSIMR01", "QVSIMB01"]
# Channel i: a square wave of PERIODS[i] samples; each divides the capture's
# length, so a loop has no seam.
PERIODS = [10, 16, 20, 32, 40, 50, 80, 100, 125, 160, 200, 250, 400, 500, 625, 800, 1000, 2000]
SAMPLES = 100_000


def cpu_seconds(pid, thread_prefix=None):
    """CPU time of the process, or of its threads whose name starts so."""
    paths = [f"/proc/{pid}/stat"]
    if thread_prefix:
        tasks = f"/proc/{pid}/task"
        paths = []
        for tid in os.listdir(tasks):
            with open(f"{tasks}/{tid}/comm") as f:
                if f.read().startswith(thread_prefix):
                    paths.append(f"{tasks}/{tid}/stat")
    total = 0
    for path in paths:
        with open(path) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        total += int(fields[11]) + int(fields[12])  # utime + stime
    return total / os.sysconf("SC_CLK_TCK")


def write_capture(path):
    """SAMPLES samples of 3 bytes (18 channels, little-endian)."""
    data = bytearray(3 * SAMPLES)
    for k in range(SAMPLES):
        word = 0
        for i, period in enumerate(PERIODS):
            if (k + period // 2) % period < period // 2:
                word |= 1 << i
        data[3 * k:3 * k + 3] = word.to_bytes(3, "little")
    with open(path, "wb") as f:
        f.write(data)


def start(binary, captures, metrics, log):
    """vexcountd holding every module; its metrics port (None without)."""
    args = [binary, "--listen", "127.0.0.1:0"]
    for capture in captures:
        args += ["--device", f"replay:file={capture}:format=binary:samplerate=1M:"
                             "numchannels=18:ref=100kHz@0"]
    modules = SIMULATIONS + [f"QVRPLY{i + 1:02d}" for i in range(len(captures))]
    for module in modules:
        args += ["--monitor", f"{module}:freq:0.1"]
    if metrics:
        args += ["--metrics", "127.0.0.1:0"]
    server = subprocess.Popen(args, stdout=log, stderr=log)
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline and server.poll() is None:
        log.seek(0)
        text = log.read()
        if text.count("monitor holds ") == len(modules) and \
                text.count("locked, sample clock") == len(captures):
            port = re.search(r"metrics listening on 127\.0\.0\.1:(\d+)", text)
            return server, int(port.group(1)) if port else None
        time.sleep(0.1)
    server.kill()
    log.seek(0)
    sys.exit("vexcountd did not hold every module with a locked reference:\n" +
             log.read()[-3000:])


def exposer_microseconds(body):
    """Sum and count of prometheus-cpp's own scrape latencies (microseconds)."""
    total = re.search(r"^exposer_request_latencies_sum (\S+)", body, re.M)
    count = re.search(r"^exposer_request_latencies_count (\S+)", body, re.M)
    return float(total.group(1)), float(count.group(1))


def run(binary, captures, metrics, seconds, interval, folder):
    with open(os.path.join(folder, "log"), "w+") as log:
        server, port = start(binary, captures, metrics, log)
        try:
            time.sleep(1)  # every monitor past its first count
            scrapes = []  # (seconds, bytes, samples, bytes sent)
            body = ""
            # The exposer's web server (civetweb) threads collect and serve.
            start_cpu, started = cpu_seconds(server.pid), time.monotonic()
            start_web = cpu_seconds(server.pid, "civetweb")
            next_scrape = started
            while time.monotonic() - started < seconds:
                if port is not None:
                    asked = time.monotonic()
                    request = urllib.request.Request(f"http://127.0.0.1:{port}/metrics",
                                                     headers={"Accept-Encoding": "gzip"})
                    with urllib.request.urlopen(request) as reply:
                        sent = reply.read()
                        zipped = reply.headers.get("Content-Encoding") == "gzip"
                    took = time.monotonic() - asked
                    body = (gzip.decompress(sent) if zipped else sent).decode()
                    lines = [l for l in body.splitlines() if l and not l.startswith("#")]
                    scrapes.append((took, len(body.encode()), len(lines), len(sent)))
                next_scrape += interval
                time.sleep(max(0.0, next_scrape - time.monotonic()))
            web = cpu_seconds(server.pid, "civetweb") - start_web
            elapsed = time.monotonic() - started
            cpu = 100 * (cpu_seconds(server.pid) - start_cpu) / elapsed
            exposer = exposer_microseconds(body) if body else None
            channels = len(re.findall(r"^vexcountd_frequency_hertz\{", body, re.M))
            return cpu, 100 * web / elapsed, scrapes, exposer, channels
        finally:
            server.terminate()
            server.wait(timeout=10)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bin", default="build/release/bin", help="folder of vexcountd")
    parser.add_argument("--replays", type=int, default=15, help="replayed captures (modules)")
    parser.add_argument("--seconds", type=float, default=20.0, help="length of each run")
    parser.add_argument("--interval", type=float, default=1.0, help="seconds between scrapes")
    parser.add_argument("--rounds", type=int, default=2, help="runs with and without metrics")
    args = parser.parse_args()
    binary = os.path.join(args.bin, "vexcountd")

    with tempfile.TemporaryDirectory() as folder:
        captures = [os.path.join(folder, f"capture{i + 1:02d}.bin") for i in range(args.replays)]
        write_capture(captures[0])
        for capture in captures[1:]:  # one file per module: a replay's serial is its file
            os.link(captures[0], capture)
        with_metrics, without, webs = [], [], []
        for round_ in range(args.rounds):
            cpu, web, scrapes, exposer, channels = run(binary, captures, True, args.seconds,
                                                  args.interval, folder)
            with_metrics.append(cpu)
            webs.append(web)
            times = sorted(s[0] * 1e3 for s in scrapes)
            print(f"round {round_ + 1}: {len(SIMULATIONS) + args.replays} modules monitored, "
                  f"{channels} channels exported; {len(scrapes)} scrapes, "
                  f"{scrapes[-1][1]} bytes ({scrapes[-1][3]} sent), {scrapes[-1][2]} samples "
                  f"each; scrape time "
                  f"median {statistics.median(times):.2f} ms, max {times[-1]:.2f} ms "
                  f"(client); exposer's mean {exposer[0] / exposer[1] / 1e3:.2f} ms "
                  f"over {exposer[1]:.0f}")
            cpu_plain = run(binary, captures, False, args.seconds, args.interval, folder)[0]
            without.append(cpu_plain)
            print(f"  vexcountd CPU, % of one core: with metrics {cpu:.2f} (exposer threads "
                  f"{web:.2f}), without {cpu_plain:.2f}, difference {cpu - cpu_plain:+.2f}")
        print(f"mean of {args.rounds} rounds: with metrics "
              f"{statistics.mean(with_metrics):.2f} %, without {statistics.mean(without):.2f} %, "
              f"metrics {statistics.mean(with_metrics) - statistics.mean(without):+.2f} % "
              f"of one core (exposer threads {statistics.mean(webs):.2f} %; scraped every "
              f"{args.interval:g} s)")


if __name__ == "__main__":
    main()

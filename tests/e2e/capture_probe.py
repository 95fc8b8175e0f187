#!/usr/bin/python3
"""Hostile captures beside the demo device in one vexcountd (run as nobody
under root, so that an unreadable file stays unreadable).

    capture_probe.py VEXCOUNTD          # a million probes, 100 GHz, a cut zip,
                                        # an unreadable file, 70 kB metadata (CTest)
    capture_probe.py VEXCOUNTD --big    # by hand, adds 3 GB inflating samples, 2.0 GB
                                        # under the cap (loads), 1 GB metadata

Checks: exact demo counts of 1 s under 2 s each; peak RSS under the cap + 10 %
+ the largest file; each fault named in the log; SIGTERM within 2 s, status 0
(--big: also 1 s into the 2.0 GB load). Exit status 0 when all hold.
"""
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import zipfile

CAP = 2 << 30  # bytes of samples a capture may hold
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def metadata(probes=8, rate="1 MHz"):
    names = "".join(f"probe{i + 1}=D{i}\n" for i in range(min(probes, 8)))
    return ("[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\n"
            f"total probes={probes}\nsamplerate={rate}\ntotal analog=0\n{names}unitsize=1\n")


def write_capture(path, meta, sample_bytes=100_000, meta_bytes=0):
    """A session file; sample_bytes of square waves (zeros beyond 1 MB) and a
    metadata entry padded with comment lines to meta_bytes, written in 1 MiB
    pieces so that no size costs memory here either."""
    mib = 1 << 20
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        z.writestr("version", "2")
        with z.open("metadata", "w", force_zip64=True) as entry:
            entry.write(meta.encode())
            line = b"; " + b"x" * 1021 + b"\n"  # 1 kB
            for at in range(0, meta_bytes, mib):
                entry.write(line * (min(mib, meta_bytes - at) // len(line)))
        with z.open("logic-1-1", "w", force_zip64=True) as entry:
            entry.write(bytes(k & 0xFF for k in range(min(sample_bytes, mib))))
            for at in range(mib, sample_bytes, mib):
                entry.write(bytes(min(mib, sample_bytes - at)))


def build(folder, big):
    """{name: (path, the fault the log must name or None when it loads)}."""
    captures = {}

    def add(name, says, **kwargs):
        path = os.path.join(folder, name + ".sr")
        write_capture(path, **kwargs)
        captures[name] = (path, says)

    add("probes", "claims 1000000 probes; at most 64", meta=metadata(probes=1_000_000))
    add("rate", "the sample rate 100 GHz is above the 1 GHz", meta=metadata(rate="100 GHz"))
    too_much = "more than the 64.0 kB a session file's metadata may have"
    add("metadata", too_much, meta=metadata(), meta_bytes=70 * 1024)
    add("unreadable", "permission denied", meta=metadata())
    os.chmod(captures["unreadable"][0], 0)
    add("truncated", "truncated or damaged", meta=metadata())
    with open(captures["truncated"][0], "r+b") as f:
        f.truncate(len(f.read()) // 2)
    if big:
        add("inflates3g", "the samples inflate to more than the 2.00 GiB", meta=metadata(),
            sample_bytes=3_000_000_000)
        add("under2g", None, meta=metadata(), sample_bytes=2_000_000_000)
        add("metadata1g", too_much, meta=metadata(), meta_bytes=1 << 30)
    return captures


def scpi(port):
    """A query function on an SCPI connection."""
    f = socket.create_connection(("127.0.0.1", port), timeout=10).makefile("rw")

    def query(text):
        f.write(text + "\n")
        f.flush()
        return f.readline().rstrip("\n")
    return query


def start(binary, folder, devices, log):
    command = [os.path.abspath(binary), "--listen", "127.0.0.1:0", "--scpi", "127.0.0.1:0"] + \
        [a for device in devices for a in ("--device", device)]
    if os.geteuid() == 0:  # root reads any file: run as nobody
        command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + command
    server = subprocess.Popen(command, stdout=log, stderr=log, cwd=folder)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and server.poll() is None:
        found = re.search(r"SCPI listening on 127\.0\.0\.1:(\d+)", read(log))
        if found:
            return server, int(found.group(1))
        time.sleep(0.02)
    server.kill()
    raise SystemExit("vexcountd did not start:\n" + read(log))


def read(log):
    log.seek(0)
    return log.read()


def terminate(server):
    """(seconds SIGTERM took, exit status); killed after 10 s."""
    started = time.monotonic()
    server.send_signal(signal.SIGTERM)
    try:
        status = server.wait(10)
    except subprocess.TimeoutExpired:
        server.kill()
        status = server.wait()
    return time.monotonic() - started, status


def refuses_bad_configs(binary):
    """A bad --device refuses the start with status 2, naming its fault."""
    device = "replay:file=a.sr:speed=0x10"
    run = subprocess.run([binary, "--listen", "127.0.0.1:0", "--device", device],
                         capture_output=True, text=True, timeout=10)
    check(run.returncode == 2 and "speed=0x10: expected a decimal number" in run.stderr,
          f"--device {device} refused: {run.returncode}, {run.stderr.strip()}")


def probe(binary, big):
    folder = tempfile.mkdtemp(prefix="vexprobe-")
    try:
        os.chmod(folder, 0o755)
        captures = build(folder, big)
        largest = max(os.path.getsize(p) for p, _ in captures.values())
        devices = ["demo"] + [f"replay:file={p}" for p, _ in captures.values()]
        with open(os.path.join(folder, "log"), "w+") as log:
            server, port = start(binary, folder, devices, log)
            query = scpi(port)
            query('INST:SEL "QVDEMO01";*OPC?')
            counts, slowest, wrong = 0, 0.0, []
            deadline = time.monotonic() + (40 if big else 4)
            while time.monotonic() < deadline:
                began = time.monotonic()
                values = [float(v) for v in query("MEAS:FREQ? (@0:3)").split(",")]
                slowest = max(slowest, time.monotonic() - began)
                counts += 1
                wrong += [values] if values != [500e3, 250e3, 125e3, 62.5e3] else []
                text = read(log)
                if big and all(says is None or says in text for _, says in captures.values()) \
                        and "QVRPLY" in text and time.monotonic() > deadline - 30:
                    break  # every load is over
            check(not wrong and slowest < 2.0, f"{counts} demo counts of 1 s exact and on time "
                  f"(slowest {slowest:.2f} s); wrong: {wrong[:3]}")
            with open(f"/proc/{server.pid}/status") as f:
                peak = int(re.search(r"VmHWM:\s+(\d+) kB", f.read()).group(1)) * 1024
            limit = CAP * 1.1 + largest
            check(peak < limit, f"peak RSS {peak / 1e6:.0f} MB under {limit / 1e6:.0f} MB")
            took, status = terminate(server)
            check(took < 2 and status == 0, f"SIGTERM: exit {status} after {took:.2f} s")
            text = read(log)
            for name, (path, says) in captures.items():
                line = next((l for l in text.splitlines() if path in l), "")
                if says is None:
                    check(re.search(r"QVRPLY\d\d: capture " + name, text), f"{name} loads")
                else:
                    check(says in line, f"{name}: {line.partition(path)[2][3:] or 'nothing'}")
            if failures:
                print("vexcountd's log:\n" + text[-4000:])
        if big:  # SIGTERM while the 2.0 GB capture inflates
            with open(os.path.join(folder, "log2"), "w+") as log:
                server, _ = start(binary, folder, ["demo", f"replay:file={captures['under2g'][0]}"],
                                  log)
                time.sleep(1.0)
                took, status = terminate(server)
                check(took < 2 and status == 0 and "QVRPLY" not in read(log),
                      f"SIGTERM 1 s into the 2.0 GB load: exit {status} after {took:.2f} s")
    finally:
        shutil.rmtree(folder)  # unlinking needs no permission on the file itself


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    started = time.monotonic()
    refuses_bad_configs(sys.argv[1])
    probe(sys.argv[1], "--big" in sys.argv[2:])
    print(f"took {time.monotonic() - started:.1f} s")
    print(f"{len(failures)} of the checks failed" if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

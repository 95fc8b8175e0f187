#!/usr/bin/python3
"""vexcountd's metrics against the real Prometheus server, all on loopback.

    /usr/bin/python3 tests/e2e/metrics_prometheus_test.py VEXCOUNTD scrape
    /usr/bin/python3 tests/e2e/metrics_prometheus_test.py VEXCOUNTD allow
    /usr/bin/python3 tests/e2e/metrics_prometheus_test.py VEXCOUNTD replay
    /usr/bin/python3 tests/e2e/metrics_prometheus_test.py VEXCOUNTD slow

scrape: vexcountd monitors QVSIMC01 (frequency, 0.1 s gates) and Prometheus
(1 s scrape interval, storage in a temporary folder) scrapes it; its query
API must return 1 MHz and 1 kHz for channels 0 and 1, and the count a PyVISA
client finishes on QVSIMC02 over SCPI must show up too.
allow: the metrics port closes a connection from an address outside --allow
when it accepts it and logs the refusal, and serves one inside.
replay: two acquired modules replay a capture written here (1 MHz, a 10 kHz
reference on channel 0, square waves on channels 1 and 2, channel 3 high),
both monitored; scraped directly, they must show their real sample rate,
the reference locked at +100 ppm on one (its ref= claims 10.001 kHz) and
unlocked on the other, and each channel's frequency or events, reciprocal
frequency and duty in the reference's time.

slow: Prometheus keeps `up` at 1 while 50 never-finished requests, 10 of them
from 127.0.0.2 which --allow refuses, hold the metrics port for 12 s.

Exit status 0 when every check holds, 1 otherwise, 77 without PyVISA.
"""
import json
import math
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

PROMETHEUS = "/usr/bin/prometheus"
PROMTOOL = "/usr/bin/promtool"
METRICS_DOC = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../server/METRICS.md")
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def start_server(binary, log, args, wanted, devices=("none",)):
    """Starts vexcountd; the ports of the log lines named in wanted."""
    server = subprocess.Popen([binary, "--listen", "127.0.0.1:0"] +
                              [a for d in devices for a in ("--device", d)] + args,
                              stdout=log, stderr=log)
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline and server.poll() is None:
        log.seek(0)
        text = log.read()
        ports = [re.search(w + r" listening on 127\.0\.0\.1:(\d+)", text) for w in wanted]
        if all(ports):
            return server, [int(p.group(1)) for p in ports]
        time.sleep(0.02)
    server.kill()
    log.seek(0)
    raise SystemExit("vexcountd did not start:\n" + log.read())


def stop(process):
    process.terminate()
    try:
        process.wait(5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def get(url, timeout=2):
    """(status, body) of a GET; status 0 when the connection failed."""
    try:
        with urllib.request.urlopen(url, timeout=timeout) as reply:
            return reply.status, reply.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, e.read().decode()
    except (urllib.error.URLError, OSError):
        return 0, ""


def frequencies(prometheus_port):
    """{(module, channel): value} of vexcountd_frequency_hertz, as Prometheus has it now."""
    query = urllib.parse.urlencode({"query": "vexcountd_frequency_hertz"})
    status, body = get(f"http://127.0.0.1:{prometheus_port}/api/v1/query?{query}")
    if status != 200:
        return {}
    result = json.loads(body)["data"]["result"]
    return {(r["metric"]["module"], int(r["metric"]["channel"])): float(r["value"][1])
            for r in result}


def measure_over_scpi(scpi_port):
    import pyvisa
    manager = pyvisa.ResourceManager("@py")
    counter = manager.open_resource(f"TCPIP::127.0.0.1::{scpi_port}::SOCKET")
    counter.read_termination = "\n"
    counter.write_termination = "\n"
    counter.timeout = 5000  # ms
    counter.write('INST:SEL "QVSIMC01"')
    error = counter.query("SYST:ERR?")
    check(error.startswith("-221,"), f"a client cannot take the monitored QVSIMC01: {error}")
    counter.write('*CLS;INST:SEL "QVSIMC02"')
    values = counter.query_ascii_values("MEAS:FREQ? (@0,1)")
    check(values == [1.0e6, 1.0e3], f"PyVISA measures QVSIMC02: {values}")
    counter.close()
    manager.close()


def lint(metrics_port, folder):
    """promtool's naming lint on a scrape, and the documented configuration and rules."""
    status, body = get(f"http://127.0.0.1:{metrics_port}/metrics")
    checked = subprocess.run([PROMTOOL, "check", "metrics"], input=body, text=True,
                             capture_output=True)
    check(status == 200 and checked.returncode == 0,
          f"promtool finds the exposition clean: {checked.stdout}{checked.stderr}")
    with open(METRICS_DOC) as doc:
        config, rules = re.findall(r"```yaml\n(.*?)```", doc.read(), re.S)
    for kind, text in (("config", config), ("rules", rules)):
        path = os.path.join(folder, f"doc-{kind}.yml")
        with open(path, "w") as f:
            f.write(text)
        checked = subprocess.run([PROMTOOL, "check", kind, path], capture_output=True, text=True)
        check(checked.returncode == 0, f"promtool accepts the documented {kind}: {checked.stderr}")


def scrape_test(binary):
    if not os.access(PROMETHEUS, os.X_OK):
        check(False, f"{PROMETHEUS} is installed (Debian: prometheus; tools/install-deps.sh)")
        return
    try:
        import pyvisa  # noqa: F401
    except ImportError:
        print("pyvisa is not installed (Debian: python3-pyvisa python3-pyvisa-py)")
        sys.exit(77)
    with tempfile.TemporaryDirectory() as folder, open(os.path.join(folder, "log"), "w+") as log:
        server, (scpi_port, metrics_port) = start_server(
            binary, log, ["--scpi", "127.0.0.1:0", "--metrics", "127.0.0.1:0",
                          "--monitor", "QVSIMC01:freq:0.1"], ["SCPI", "metrics"])
        prometheus, prometheus_port, prometheus_log = start_prometheus(folder, metrics_port)
        with prometheus_log:
            try:
                measure_over_scpi(scpi_port)
                status, body = get(f"http://127.0.0.1:{metrics_port}/metrics")
                for line in ('vexcountd_errors_total{kind="request",protocol="scpi"} 1',
                             'vexcountd_counts_finished_total{module="QVSIMC02",type="frequency"} 1',
                             'vexcountd_module_held{module="QVSIMC01"} 1'):
                    check(line in body, f"the metrics port shows {line}")
                requests = re.search(r'vexcountd_requests_total\{protocol="scpi"\} (\d+)', body)
                check(requests and int(requests.group(1)) >= 4,
                      f"... and the SCPI requests: {requests and requests.group(0)}")
                wanted = {("QVSIMC01", 0): 1.0e6, ("QVSIMC01", 1): 1.0e3,
                          ("QVSIMC02", 0): 1.0e6, ("QVSIMC02", 1): 1.0e3}
                seen = {}
                deadline = time.monotonic() + 30
                while time.monotonic() < deadline and prometheus.poll() is None:
                    seen = frequencies(prometheus_port)
                    if all(math.isclose(seen.get(k, 0), v) for k, v in wanted.items()):
                        break
                    time.sleep(0.5)
                for (module, channel), value in wanted.items():
                    got = seen.get((module, channel))
                    check(got is not None and math.isclose(got, value),
                          f"Prometheus has {module} channel {channel} at {value:g} Hz: {got}")
                log.seek(0)
                check("monitor holds QVSIMC01" in log.read(), "the log names the monitor")
                lint(metrics_port, folder)
                if failures:
                    prometheus_log.seek(0)
                    print("prometheus log:\n" + prometheus_log.read()[-3000:])
            finally:
                stop(prometheus)
                stop(server)


def allow_test(binary):
    with tempfile.TemporaryFile(mode="w+") as log:
        # Loopback is outside 10.0.0.0/8: this machine may not scrape.
        server, (metrics_port,) = start_server(
            binary, log, ["--metrics", "127.0.0.1:0", "--allow", "10.0.0.0/8"], ["metrics"])
        try:
            status, body = get(f"http://127.0.0.1:{metrics_port}/metrics")
            check(status == 0 and "vexcountd_" not in body,
                  f"a scrape from outside --allow is closed when accepted: {status}")
            log.seek(0)
            check("metrics scrape from 127.0.0.1 refused: address not allowed" in log.read(),
                  "... and the refusal is logged")
        finally:
            stop(server)
    with tempfile.TemporaryFile(mode="w+") as log:
        server, (metrics_port,) = start_server(
            binary, log, ["--metrics", "127.0.0.1:0", "--allow", "127.0.0.0/8"], ["metrics"])
        try:
            status, body = get(f"http://127.0.0.1:{metrics_port}/metrics")
            check(status == 200 and 'vexcountd_module_present{module="QVSIMC01"} 1' in body,
                  f"a scrape from inside --allow is served: {status}")
        finally:
            stop(server)


def samples(body):
    """{(name, {label: value}): value} of the non-comment lines of an exposition."""
    result = {}
    for line in body.splitlines():
        match = re.fullmatch(r"(\w+)(?:\{(.*)\})? (\S+)", line)
        if match:
            labels = tuple(sorted(re.findall(r'(\w+)="([^"]*)"', match.group(2) or "")))
            result[(match.group(1), labels)] = float(match.group(3))
    return result


def replay_fixture(path):
    """0.1 s at 1 MHz, a whole number of every channel's periods (a loop
    without a seam): channel 0 10 kHz, 1 1 kHz at 25 % duty, 2 2.5 kHz at
    50 %, 3 always high, 4-7 low."""
    data = bytearray(100_000)
    for k in range(len(data)):
        data[k] = (((k + 50) % 100 < 50) | ((k + 750) % 1000 < 250) << 1 |
                   ((k + 200) % 400 < 200) << 2 | 1 << 3)
    with open(path, "wb") as f:
        f.write(data)


def replay_test(binary):
    with tempfile.TemporaryDirectory() as folder, open(os.path.join(folder, "log"), "w+") as log:
        # A file each: a replay's serial number is its file.
        captures = [os.path.join(folder, f"capture{i}.bin") for i in (1, 2)]
        for capture in captures:
            replay_fixture(capture)
        device = [f"replay:file={c}:format=binary:samplerate=1M" for c in captures]
        # A reference 100 ppm above what the recording's rate makes of it:
        # counts and times follow the reference, so the capture reads 100 ppm
        # fast. QVRPLY02's reference is 100 % off and never locks.
        server, (metrics_port,) = start_server(
            binary, log, ["--metrics", "127.0.0.1:0", "--monitor", "QVRPLY01:freq:0.1",
                          "--monitor", "QVRPLY02:tot:1:0-3"], ["metrics"],
            [device[0] + ":ref=10.001kHz@0", device[1] + ":ref=20kHz@0"])
        one, two = (("module", "QVRPLY01"),), (("module", "QVRPLY02"),)

        def channel(c, module=one):
            return tuple(sorted((("channel", str(c)),) + module))
        # (metric, labels, value, relative tolerance); None: must be absent.
        wanted = [
            ("vexcountd_module_held", one, 1, 0),
            ("vexcountd_reference_locked", one, 1, 0),
            ("vexcountd_reference_offset_ratio", one, 1e-4, 1e-6),
            ("vexcountd_timebase_rate_hertz", one, 1.0001e6, 1e-9),
            ("vexcountd_acquisition_sample_rate_hertz", one, 1e6, 0.3),
            ("vexcountd_frequency_hertz", channel(0), 1e4, 1.1e-3),  # 1000 or 1001 edges
            ("vexcountd_frequency_hertz", channel(1), 1e3, 0),
            ("vexcountd_frequency_hertz", channel(3), 0, 0),
            ("vexcountd_reciprocal_frequency_hertz", channel(0), 10001, 1e-9),
            ("vexcountd_reciprocal_frequency_hertz", channel(1), 1000.1, 1e-9),
            ("vexcountd_reciprocal_frequency_hertz", channel(2), 2500.25, 1e-9),
            ("vexcountd_reciprocal_frequency_hertz", channel(3), None, 0),
            ("vexcountd_duty_ratio", channel(1), 0.25, 1e-9),
            ("vexcountd_duty_ratio", channel(2), 0.5, 1e-9),
            ("vexcountd_reference_locked", two, 0, 0),
            ("vexcountd_reference_offset_ratio", two, None, 0),
            ("vexcountd_timebase_rate_hertz", two, 1e6, 0),
            ("vexcountd_acquisition_sample_rate_hertz", two, 1e6, 0.3),
            ("vexcountd_events", channel(1, two), 1000, 0),
            ("vexcountd_reciprocal_frequency_hertz", channel(1, two), 1000, 1e-9),
            ("vexcountd_duty_ratio", channel(1, two), 0.25, 1e-9),
            ("vexcountd_events", channel(4, two), None, 0),  # not monitored
        ]

        def holds(got, value, tolerance):
            return (got is None if value is None else
                    got is not None and math.isclose(got, value, rel_tol=tolerance, abs_tol=0))
        try:
            # The reference's window fills in 1 s; the next 0.1 s count reads it.
            got, body = {}, ""
            deadline = time.monotonic() + 15
            while time.monotonic() < deadline and server.poll() is None:
                status, body = get(f"http://127.0.0.1:{metrics_port}/metrics")
                got = samples(body)
                if all(holds(got.get((n, l)), v, t) for n, l, v, t in wanted):
                    break
                time.sleep(0.3)
            for name, labels, value, tolerance in wanted:
                value_got = got.get((name, labels))
                check(holds(value_got, value, tolerance),
                      f"{name}{dict(labels)}: {value} (got {value_got})")
            for module in (one, two):
                check(got.get(("vexcountd_acquisition_samples_total", module), 0) > 0 and
                      ("vexcountd_acquisition_dropped_packets_total", module) in got,
                      f"{module[0][1]} counts its samples and dropped packets")
            checked = subprocess.run([PROMTOOL, "check", "metrics"], input=body, text=True,
                                     capture_output=True)
            check(checked.returncode == 0, f"promtool finds it clean: {checked.stdout}")
        finally:
            stop(server)
            if failures:
                log.seek(0)
                print("vexcountd's log:\n" + log.read()[-3000:])


def start_prometheus(folder, metrics_port):
    """Prometheus scraping the port every second, in 1 s at most; (process,
    its API port, its log)."""
    config = os.path.join(folder, "prometheus.yml")
    with open(config, "w") as f:
        f.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                "  scrape_timeout: 1s\n"
                "scrape_configs:\n  - job_name: vexcountd\n    static_configs:\n"
                f"      - targets: ['127.0.0.1:{metrics_port}']\n")
    port = free_port()
    log = open(os.path.join(folder, "prometheus.log"), "w+")
    process = subprocess.Popen(
        [PROMETHEUS, f"--config.file={config}",
         f"--storage.tsdb.path={os.path.join(folder, 'data')}",
         f"--web.listen-address=127.0.0.1:{port}", "--log.level=warn"],
        stdout=log, stderr=log)
    return process, port, log


def query(prometheus_port, expression):
    """The value of an instant query's first result, or None."""
    status, body = get(f"http://127.0.0.1:{prometheus_port}/api/v1/query?" +
                       urllib.parse.urlencode({"query": expression}))
    if status != 200:
        return None
    result = json.loads(body)["data"]["result"]
    return float(result[0]["value"][1]) if result else None


def slow_clients(port, sources, seconds):
    """One socket per source address, sending a header line every 0.5 s and
    never ending its request, reconnected when dropped; how many were dropped."""
    def connect(source):
        s = socket.socket()
        s.setblocking(False)
        s.bind((source, 0))
        s.connect_ex(("127.0.0.1", port))
        return [s, source, 0]

    clients, dropped = [connect(source) for source in sources], 0
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        for i, (s, source, lines) in enumerate(clients):
            try:
                s.send(b"X-Slow-%d: 1\r\n" % lines if lines else
                       b"GET /metrics HTTP/1.1\r\nHost: x\r\n")
                clients[i][2] += 1
                if s.recv(4096) == b"":  # closed by the server
                    raise ConnectionError
            except (BlockingIOError, InterruptedError):  # not connected yet, or nothing to read
                pass
            except OSError:
                s.close()
                dropped += 1
                clients[i] = connect(source)
        time.sleep(0.5)
    for s, _, _ in clients:
        s.close()
    return dropped


def slow_test(binary):
    if not os.access(PROMETHEUS, os.X_OK):
        check(False, f"{PROMETHEUS} is installed (Debian: prometheus; tools/install-deps.sh)")
        return
    with tempfile.TemporaryDirectory() as folder, open(os.path.join(folder, "log"), "w+") as log:
        server, (metrics_port,) = start_server(
            binary, log, ["--metrics", "127.0.0.1:0", "--allow", "127.0.0.1",
                          "--monitor", "QVSIMC01:freq:0.1"], ["metrics"])
        prometheus, prometheus_port, prometheus_log = start_prometheus(folder, metrics_port)
        try:
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline and query(prometheus_port, "up") != 1:
                time.sleep(0.3)
            check(query(prometheus_port, "up") == 1, "Prometheus scrapes before the attack")
            attack = 12
            dropped = slow_clients(metrics_port, ["127.0.0.1"] * 40 + ["127.0.0.2"] * 10, attack)
            time.sleep(1.5)  # the last scrape of the window is stored
            lowest = query(prometheus_port, f"min_over_time(up[{attack}s])")
            scrapes = query(prometheus_port, f"count_over_time(up[{attack}s])")
            check(lowest == 1 and scrapes is not None and scrapes >= attack - 3,
                  f"up stays 1 while 50 slow connections hold the port: min {lowest}, "
                  f"{scrapes} scrapes in {attack} s")
            check(dropped > 0, f"slow connections are dropped, refused ones at once: {dropped}")
            status, body = get(f"http://127.0.0.1:{metrics_port}/metrics")
            refusals = re.search(r'vexcountd_refusals_total\{protocol="metrics",reason="address"\} '
                                 r'(\d+)', body)
            check(refusals is not None and int(refusals.group(1)) >= 10,
                  f"the refused address is counted: {refusals and refusals.group(0)}")
        finally:
            stop(prometheus)
            prometheus_log.close()
            started = time.monotonic()
            stop(server)
            took = time.monotonic() - started
            # civetweb's own stop takes about 2 s after any request; the attack adds none.
            check(took < 3, f"vexcountd stops within 3 s after the attack: {took:.2f} s")
            if failures:
                log.seek(0)
                print("vexcountd's log:\n" + log.read()[-3000:])


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else "vexcountd"
    which = sys.argv[2] if len(sys.argv) > 2 else "scrape"
    started = time.monotonic()
    {"allow": allow_test, "replay": replay_test, "slow": slow_test}.get(which, scrape_test)(binary)
    print(f"took {time.monotonic() - started:.1f} s")
    print(f"{len(failures)} of the checks failed" if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

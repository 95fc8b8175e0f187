"""Helpers the server CPU benchmarks share: starting vexcountd with one
device, a process's CPU time, a line protocol client, and a measurement loop
that steps a client every 100 ms."""

import os
import re
import socket
import subprocess
import sys
import time


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    return (int(fields[11]) + int(fields[12])) / ticks  # utime + stime


class Client:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.file = self.sock.makefile("rw")

    def ask(self, line):
        self.file.write(line + "\n")
        self.file.flush()
        reply = self.file.readline().strip()
        if not reply.startswith("0"):
            sys.exit(f"'{line}' failed: {reply}")
        return reply[2:]


def measure(pid, seconds, step):
    start_cpu, start = cpu_seconds(pid), time.monotonic()
    while time.monotonic() - start < seconds:
        step()
        time.sleep(0.1)
    return 100 * (cpu_seconds(pid) - start_cpu) / (time.monotonic() - start)


def start_server(bin_dir, device, module, timeout=10):
    """vexcountd on a free loopback port with one --device, once it lists
    `module`: (process, client). The caller terminates the process."""
    server = subprocess.Popen(
        [os.path.join(bin_dir, "vexcountd"), "--listen", "127.0.0.1:0", "--device", device],
        stderr=subprocess.PIPE, text=True)
    port = None
    deadline = time.monotonic() + 5
    while port is None and time.monotonic() < deadline:
        match = re.search(r"listening on 127\.0\.0\.1:(\d+)", server.stderr.readline())
        port = int(match.group(1)) if match else None
    if port is None:
        server.terminate()
        sys.exit("vexcountd did not start")
    client = Client(port)
    deadline = time.monotonic() + timeout
    while module not in [client.ask(f"MOD:INFO? {i}").split()[0]
                         for i in range(int(client.ask("MOD:COUNT?")))]:
        if time.monotonic() > deadline:
            server.terminate()
            sys.exit(f"{module} was not found (see vexcountd's log)")
        time.sleep(0.1)
    return server, client

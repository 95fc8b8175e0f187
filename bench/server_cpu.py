"""Helpers the server CPU benchmarks share: a process's CPU time, a line
protocol client, and a measurement loop that steps a client every 100 ms."""

import os
import socket
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

#!/usr/bin/python3
"""PyVISA, as instrument software uses it, against a real vexcountd that
speaks SCPI on a loopback port of its own: identity, the module catalog and
choice, frequency, period and totalize readings, reciprocal frequency,
pulse widths and duty cycle, the error queue, the line length limit, two
clients contending for one module, a holder killed while its query waits,
and libsigrok's demo device timed by a reference on one of its channels.

    /usr/bin/python3 tests/e2e/scpi_pyvisa_test.py build/dev/bin/vexcountd

Exit status 0 when every check holds, 1 otherwise, 77 without PyVISA.
"""
import math
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

try:
    import pyvisa
except ImportError:
    print("pyvisa is not installed (Debian: python3-pyvisa python3-pyvisa-py)")
    sys.exit(77)

failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def start_server(binary, log):
    server = subprocess.Popen(
        [binary, "--listen", "127.0.0.1:0", "--scpi", "127.0.0.1:0",
         "--device", "demo:ref=62.5kHz@3"],
        stdout=log, stderr=log)
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline and server.poll() is None:
        log.seek(0)
        found = re.search(r"SCPI listening on 127\.0\.0\.1:(\d+)\n", log.read())
        if found:
            return server, int(found.group(1))
        time.sleep(0.02)
    server.kill()
    raise SystemExit("vexcountd did not start: " + binary)


def open_instrument(manager, port):
    instrument = manager.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET")
    instrument.read_termination = "\n"
    instrument.write_termination = "\n"
    instrument.timeout = 5000  # ms; the longest gate here is 1 s
    return instrument


# A client of its own process that selects QVSIMC02, starts a 10 s READ? and
# waits for the reply until it is killed.
HOLDER = r"""
import sys, time, pyvisa
manager = pyvisa.ResourceManager("@py")
holder = manager.open_resource(f"TCPIP::127.0.0.1::{sys.argv[1]}::SOCKET")
holder.read_termination = "\n"
holder.write_termination = "\n"
print(holder.query('INST:SEL "QVSIMC02";INST:SEL?'), flush=True)
holder.write("CONF:FREQ (@0);FREQ:GATE:TIME 10;READ?")
print("waiting", flush=True)
time.sleep(60)
"""


def select_within(instrument, module, seconds, pause):
    """Asks for the module until it is selected or `seconds` have passed
    (clearing the refusals it queues); True once it is."""
    deadline = time.monotonic() + seconds
    while True:
        instrument.write(f'INST:SEL "{module}"')
        if instrument.query("INST:SEL?") == f'"{module}"':
            return True
        instrument.write("*CLS")
        if time.monotonic() >= deadline:
            return False
        time.sleep(pause)


def close_to(values, expected, relative=1e-9):
    return len(values) == len(expected) and all(
        math.isclose(v, e, rel_tol=relative) for v, e in zip(values, expected))


def run(port):
    manager = pyvisa.ResourceManager("@py")
    counter = open_instrument(manager, port)
    identity = counter.query("*IDN?")
    check(identity.startswith("Vex,vexcountd,"), f"*IDN? names the server: {identity}")
    catalog = counter.query("INST:CAT?")
    check(all(f'"{name}"' in catalog for name in
              ("QVSIMC01", "QVSIMC02", "QVSIMO01", "QVSIMR01", "QVSIMB01")),
          f"INST:CAT? lists the simulations: {catalog}")

    counter.write('INST:SEL "QVSIMC01"')
    check(counter.query("INST:SEL?") == '"QVSIMC01"', "INST:SEL chooses QVSIMC01")
    start = time.monotonic()
    frequencies = counter.query_ascii_values("MEAS:FREQ? (@0,1)")
    took = time.monotonic() - start
    check(close_to(frequencies, [1.0e6, 1.0e3]), f"MEAS:FREQ? (@0,1) reads 1 MHz and 1 kHz: "
          f"{frequencies}")
    check(1.0 <= took < 1.5, f"... with the 1 s gate ({took:.3f} s)")
    periods = counter.query_ascii_values("MEAS:PER? (@1,3)")
    check(close_to(periods, [1.0e-3, 1.0e-4]), f"MEAS:PER? (@1,3) reads 1 ms and 100 us: {periods}")
    counter.write("CONF:TOT (@1,5);TOT:GATE:TIME 1")
    totals = counter.query_ascii_values("READ?")
    check(totals == [1000, 1], f"a 1 s totalize counts 1000 and 1 events: {totals}")
    check(counter.query("SYST:ERR?") == '0,"No error"', "no error so far")

    check(counter.query("FREQ:MODE?") == "REC", "frequencies are reciprocal by default")
    frequencies = counter.query_ascii_values("FREQ:GATE:TIME 0.1;:MEAS:FREQ? (@14)")
    check(close_to(frequencies, [1e9 / 142857]), f"... 7000.007 Hz on row 14: {frequencies}")
    counter.write("FREQ:MODE COUN")
    frequencies = counter.query_ascii_values("MEAS:FREQ? (@14)")
    check(frequencies == [7000.0], f"COUNt mode reads the edges in the gate: {frequencies}")
    counter.write("FREQ:MODE REC;:CONF:PWID (@2,16);:FREQ:GATE:TIME 0.1")
    widths = counter.query_ascii_values("READ?")
    check(close_to(widths, [250e-6, 80e-9]), f"positive widths of 25 % and 40 % waves: {widths}")
    widths = counter.query_ascii_values("MEAS:NWID? (@2)")
    check(close_to(widths, [750e-6]), f"negative width of the 25 % wave: {widths}")
    duty = counter.query_ascii_values("MEAS:DCYC? (@2,15,6)")
    check(close_to(duty[:2], [0.25, 0.75]) and duty[2] == 9.91e37,
          f"duty cycles; a static channel has none: {duty}")
    check(counter.query("ROSC:SOUR?;:ROSC:EXT:LOCK?") == "INT;0,9.91E+37",
          "a simulation has no external reference")
    check(counter.query("SYST:ERR?") == '0,"No error"', "no error in these either")

    counter.write("BOGUS:HEADER 1")
    error = counter.query("SYST:ERR?")
    check(error.startswith('-113,"Undefined header'), f"a bad header queues -113: {error}")

    rival = open_instrument(manager, port)
    rival.write('INST:SEL "QVSIMC01"')
    error = rival.query("SYST:ERR?")
    check(error.startswith("-221,") and "in use by another client" in error,
          f"a second client cannot take QVSIMC01: {error}")
    check(rival.query("INST:SEL?") == '""', "... and holds no module")
    counter.close()  # its module is freed at once
    check(select_within(rival, "QVSIMC01", 2, 0.05), "the module is free once its holder left")
    rival.write("*CLS")

    # The line limit over the wire: 4096 bytes, a carriage return before the
    # line feed aside; one byte more is dropped with -223 and the connection
    # goes on. A trailing ';' ends a message like the line end.
    longest = "*IDN?" + " " * (4096 - 5)
    check(rival.query(longest) == identity, "a 4096-byte line is answered")
    rival.write_raw((longest + "\r\n").encode())
    check(rival.read() == identity, "... also with a carriage return before its line feed")
    for extra in (1, 2, 5000):
        rival.write(longest + " " * extra)
        error = rival.query("SYST:ERR?")
        check(error.startswith('-223,"Too much data'),
              f"a {4096 + extra}-byte line queues -223: {error}")
        check(rival.query("*IDN?") == identity, "... and the connection goes on")
    check(rival.query("*IDN?;") == identity and rival.query("SYST:ERR?") == '0,"No error"',
          "*IDN?; is answered without an error")
    rival.write("sense:Frequency:gate:time INF")
    error = rival.query("SYST:ERR?")
    check(error.startswith("-221,"), f"headers in any case: the endless frequency gate is "
          f"refused: {error}")
    rival.close()
    run_reference(manager, port)
    manager.close()


def kill_waiting_holder(port):
    """A holder killed while its 10 s READ? waits frees its module at once."""
    manager = pyvisa.ResourceManager("@py")
    rival = open_instrument(manager, port)
    holder = subprocess.Popen([sys.executable, "-c", HOLDER, str(port)],
                              stdout=subprocess.PIPE, text=True)
    try:
        selected = holder.stdout.readline().strip()
        waiting = holder.stdout.readline().strip()
        check(selected == '"QVSIMC02"' and waiting == "waiting",
              f"the holder selects QVSIMC02 and starts READ?: {selected} {waiting}")
        time.sleep(0.3)  # the READ? is under way
        rival.write('INST:SEL "QVSIMC02"')
        error = rival.query("SYST:ERR?")
        check(error.startswith("-221,"), f"QVSIMC02 is taken while the holder waits: {error}")
        os.kill(holder.pid, signal.SIGKILL)
        holder.wait(5)
        killed = time.monotonic()
        free = select_within(rival, "QVSIMC02", 5, 0.02)
        took = time.monotonic() - killed
        check(free and took < 1.0, f"QVSIMC02 is free {took:.3f} s after its holder was killed")
    finally:
        if holder.poll() is None:
            holder.kill()
            holder.wait(5)
        rival.close()
        manager.close()


def run_reference(manager, port):
    """The demo device's channel 3 (62.5 kHz at its 1 MHz rate) as the
    reference: it locks with no offset (the demo's clock is its own truth)
    and times the counts."""
    counter = open_instrument(manager, port)
    deadline = time.monotonic() + 10
    check(select_within(counter, "QVDEMO01", 10, 0.2), "the demo device is selected")
    check(counter.query_ascii_values("ROSC:EXT:FREQ?") == [62500.0],
          "ROSC:EXT:FREQ? names the configured reference")
    lock = ""
    while time.monotonic() < deadline + 5:  # a 1 s window once the stream runs
        lock = counter.query("ROSC:EXT:LOCK?")
        if lock.startswith("1,"):
            break
        time.sleep(0.2)
    check(lock.startswith("1,") and abs(float(lock[2:])) < 1,
          f"the reference locks with no offset: {lock}")
    check(counter.query("ROSC:SOUR?") == "EXT", "ROSC:SOUR? says EXT once locked")
    frequencies = counter.query_ascii_values("FREQ:GATE:TIME 0.1;:MEAS:FREQ? (@0,4)")
    check(close_to(frequencies, [500e3, 31250], 1e-6),
          f"the demo's channels by the reference's time: {frequencies}")
    duty = counter.query_ascii_values("MEAS:DCYC? (@4)")
    check(close_to(duty, [0.5]), f"and their duty: {duty}")
    counter.close()


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else "vexcountd"
    with tempfile.TemporaryFile(mode="w+") as log:
        server, port = start_server(binary, log)
        try:
            run(port)
            kill_waiting_holder(port)
        finally:
            server.terminate()
            try:
                server.wait(5)
            except subprocess.TimeoutExpired:
                server.kill()
    print(f"{len(failures)} of the checks failed" if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

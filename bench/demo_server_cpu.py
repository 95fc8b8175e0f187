#!/usr/bin/python3
"""Server CPU while counting libsigrok's demo device.

Starts vexcountd --device demo on a free loopback port, opens QVDEMO01 and
polls it as the application does in continuous frequency mode: every 100 ms
the counter status, the counts and (between counts) the pins; a finished
100 ms count is started again at once. Prints vexcountd's CPU time (user +
system, from /proc) over the polling as a percentage of one core, next to
the same server idle with the demo device listed but not open.

    bench/demo_server_cpu.py --bin build/release/bin [--seconds 8]
"""
import argparse

from server_cpu import measure, start_server


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bin", default="build/release/bin", help="folder of vexcountd")
    parser.add_argument("--seconds", type=float, default=8.0, help="length of each measurement")
    args = parser.parse_args()

    server, client = start_server(args.bin, "demo", "QVDEMO01", timeout=5)
    try:
        idle = measure(server.pid, args.seconds / 2, lambda: client.ask("MOD:COUNT?"))

        client.ask("MOD:OPEN QVDEMO01")
        client.ask("FC:RUN 0 3 0 --------")
        counts = []

        def poll():
            status = client.ask("FC:STATUS? 19").split()
            reading = client.ask("FC:COUNTS? 18").split()
            if not int(status[0]) & 1:  # the count has ended: keep the last, start again
                counts.append(int(reading[0]))
                client.ask("PINS? 18")
                client.ask("FC:RUN 0 3 0 --------")

        counting = measure(server.pid, args.seconds, poll)
        client.ask("FC:STOP")
        print(f"vexcountd CPU, % of one core: idle {idle:.1f}, "
              f"counting the demo device (1 M samples/s) {counting:.1f} "
              f"over {len(counts)} frequency counts (channel 0: {counts[-1] if counts else '-'} "
              f"rising edges per 100 ms)")
    finally:
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    main()

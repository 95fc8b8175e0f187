#!/usr/bin/python3
"""Server CPU while replaying a recorded capture.

Starts vexcountd --device replay:file=CAPTURE on a free loopback port, opens
the replay module and polls it as the application does in continuous
frequency mode: every 100 ms the counter status and the counts; a finished
count (1 s gate by default) is started again at once. Prints vexcountd's CPU
time (user + system, from /proc) over the polling as a percentage of one
core, next to the same server idle with the module listed but not open, and
the channel counts of every finished gate.

    bench/replay_server_cpu.py --bin build/release/bin --capture FILE.sr [--seconds 10]
"""
import argparse
import os

from server_cpu import measure, start_server

GATES = {"100ms": 0, "1s": 1, "10s": 2}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bin", default="build/release/bin", help="folder of vexcountd")
    parser.add_argument("--capture", required=True, help="the capture file (.sr)")
    parser.add_argument("--options", default="", help="more of the config, e.g. :speed=2")
    parser.add_argument("--gate", default="1s", choices=GATES)
    parser.add_argument("--type", type=int, default=0, help="0 frequency, 1 period, 2 events")
    parser.add_argument("--seconds", type=float, default=10.0, help="length of the measurement")
    args = parser.parse_args()

    device = f"replay:file={os.path.abspath(args.capture)}{args.options}"
    server, client = start_server(args.bin, device, "QVRPLY01")
    try:
        idle = measure(server.pid, 3, lambda: client.ask("MOD:COUNT?"))

        client.ask("MOD:OPEN QVRPLY01")
        run = f"FC:RUN {args.type} 3 {GATES[args.gate]} --------"
        client.ask(run)
        counts = []

        def poll():
            status = client.ask("FC:STATUS? 19").split()
            reading = client.ask("FC:COUNTS? 18").split()
            if not int(status[0]) & 1:  # the count has ended: keep it, start again
                counts.append([int(c) for c in reading[:8]])
                client.ask(run)

        counting = measure(server.pid, args.seconds, poll)
        client.ask("FC:STOP")
        print(f"vexcountd CPU, % of one core: idle {idle:.2f}, replaying and counting "
              f"{counting:.2f} over {len(counts)} counts ({args.gate} gate, type {args.type})")
        for c in counts:
            print("  channels 0-7:", " ".join(str(v) for v in c))
    finally:
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    main()

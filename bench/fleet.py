#!/usr/bin/python3
"""The command line upgrading a fleet: N simulated instruments on their own loopback addresses
(127.0.0.x), the whole upgrade with every wait scaled down by the same factor for each N.

    bench/fleet.py PROGRAM [--scale F] [--sizes 1,4,16]

Prints, for each N: fleet n=<N> wall_s=<T> ratio_to_one=<T/T1> cpu_pct=<C> peak_rss_mib=<R>, where the
processor time and the peak resident memory are those of the command line and its instruments'
processes (not the simulators').
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

SIM = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "sim")
PYTHON = "/usr/bin/python3"


def start_simulator(address, root, telnet_port, ftp_port):
    """The simulator's events go to a file beside its instrument; its first line gives the ports."""
    events = root + ".events"
    with open(events, "w") as output:
        process = subprocess.Popen(
            [PYTHON, os.path.join(SIM, "qd8400sim.py"), "--address", address, "--telnet-port", str(telnet_port),
             "--ftp-port", str(ftp_port), "--root", root, "--option-wait", "2"],
            stdout=output, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and process.poll() is None:
        with open(events) as output:
            ready = output.readline().split()
        if ready and ready[0] == "READY":
            ports = dict(part.split("=") for part in ready[1:])
            return process, int(ports["telnet"]), int(ports["ftp"])
        time.sleep(0.05)
    sys.exit("the simulator at %s did not start" % address)


def upgrade_fleet(program, count, scale, work):
    # The fixtures make the same upgrade folder each time: the first serves the whole fleet.
    upgrade = os.path.join(work, "upgrade0")
    addresses = ["127.0.0.%d" % (10 + i) for i in range(count)]
    simulators = []
    telnet_port = ftp_port = 0
    try:
        for i, address in enumerate(addresses):
            root = os.path.join(work, "instrument%d" % i)
            subprocess.run([PYTHON, os.path.join(SIM, "fixtures.py"), "--instrument", root, "--upgrade",
                            os.path.join(work, "upgrade%d" % i)], check=True, stdout=subprocess.DEVNULL)
            process, telnet_port, ftp_port = start_simulator(address, root, telnet_port, ftp_port)
            simulators.append(process)
        command = [program, "run", upgrade, *addresses, "--yes", "--json", "--log-dir", os.path.join(work, "logs"),
                   "--telnet-port", str(telnet_port), "--ftp-port", str(ftp_port), "--time-scale", str(scale)]
        begin = time.monotonic()
        fleet = subprocess.Popen(command, stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(fleet.pid, 0)
        wall = time.monotonic() - begin
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit("the fleet of %d did not upgrade (exit status %d)" % (count, os.waitstatus_to_exitcode(status)))
        return wall, (usage.ru_utime + usage.ru_stime) / wall * 100, usage.ru_maxrss / 1024
    finally:
        for process in simulators:
            process.terminate()
            process.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program")
    parser.add_argument("--scale", type=float, default=0.1)
    parser.add_argument("--sizes", default="1,4,16")
    args = parser.parse_args()
    one = None
    for count in [int(n) for n in args.sizes.split(",")]:
        with tempfile.TemporaryDirectory() as work:
            wall, cpu, rss = upgrade_fleet(os.path.abspath(args.program), count, args.scale, work)
        one = one or wall
        print("fleet n=%d wall_s=%.2f ratio_to_one=%.2f cpu_pct=%.1f peak_rss_mib=%.1f" % (count, wall, wall / one,
                                                                                           cpu, rss), flush=True)


if __name__ == "__main__":
    main()

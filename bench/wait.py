#!/usr/bin/python3
"""The command line waiting for instruments that never come up in maintenance mode: N addresses on
loopback where nothing listens (127.0.9.1 and on, a Telnet port no one uses), `run --wait` for the
given time at full timing, so that each instrument is tried read-only every 5 to 30 s.

    bench/wait.py PROGRAM [--count 256] [--seconds 60]

Prints wait n=<N> wall_s=<T> cpu_s=<C> cpu_pct=<P> steady_cpu_pct=<S> parent_cpu_s=<F>: the processor
time of the command line and its instruments' processes over the whole wait, their start included,
as a share of one core; steady_cpu_pct the same share from a quarter of the wait to its end, once
every process has started; parent_cpu_s the command line's own.
"""

import argparse
import os
import socket
import subprocess
import sys
import tempfile
import time

from fleet import PYTHON, SIM, cpu_seconds, processes_below


def unused_port():
    """A port nothing listens on at the moment."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def tree_cpu(pid):
    total = 0
    for each in processes_below(pid):
        try:
            total += cpu_seconds(each)
        except (OSError, IndexError):
            pass
    return total


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program")
    parser.add_argument("--count", type=int, default=256)
    parser.add_argument("--seconds", type=int, default=60)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        upgrade = os.path.join(work, "upgrade")
        subprocess.run([PYTHON, os.path.join(SIM, "fixtures.py"), "--instrument", os.path.join(work, "instrument"),
                        "--upgrade", upgrade], check=True, stdout=subprocess.DEVNULL)
        addresses = ["127.0.%d.%d" % (9 + i // 255, i % 255 + 1) for i in range(args.count)]
        port = unused_port()
        command = [os.path.abspath(args.program), "run", upgrade, *addresses, "--yes", "--json", "--wait",
                   "%ds" % args.seconds, "--log-dir", os.path.join(work, "logs"), "--telnet-port", str(port),
                   "--ftp-port", str(port)]
        begin = time.monotonic()
        fleet = subprocess.Popen(command, stdout=subprocess.DEVNULL)
        time.sleep(args.seconds / 4)
        steady_from, steady_cpu = time.monotonic(), tree_cpu(fleet.pid)
        time.sleep(args.seconds * 3 / 4 - 1)
        steady = (tree_cpu(fleet.pid) - steady_cpu) / (time.monotonic() - steady_from) * 100
        parent = cpu_seconds(fleet.pid)
        _, status, usage = os.wait4(fleet.pid, 0)
        wall = time.monotonic() - begin
        if os.waitstatus_to_exitcode(status) != 1:
            sys.exit("the fleet ended with exit status %d, not 1 (none ready)" % os.waitstatus_to_exitcode(status))
        cpu = usage.ru_utime + usage.ru_stime
        print("wait n=%d wall_s=%.1f cpu_s=%.2f cpu_pct=%.2f steady_cpu_pct=%.2f parent_cpu_s=%.2f"
              % (args.count, wall, cpu, cpu / wall * 100, steady, parent), flush=True)


if __name__ == "__main__":
    main()

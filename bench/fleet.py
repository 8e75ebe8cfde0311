#!/usr/bin/python3
"""The command line upgrading a fleet: N simulated instruments on their own loopback addresses
(127.0.0.1 to 127.0.0.255, then 127.0.1.x), the whole upgrade with every wait scaled down by the same
factor for each N.

    bench/fleet.py PROGRAM [--scale F] [--sizes 1,4,16,64,256] [--flash DIR]

Prints, for each N: fleet n=<N> wall_s=<T> ratio_to_one=<T/T1> cpu_pct=<C> peak_rss_mib=<R>
total_pss_mib=<P> parent_cpu_pct=<F> sim_cpu_pct=<S> cpu_ms_per_instrument=<I> sim_ms_per_instrument=<M>.
The processor time is that of the command line and its instruments' processes, parent_cpu_pct the
command line's own share of it; peak_rss_mib is the largest resident size of any one of them (shared
libraries counted whole in each); total_pss_mib is the peak, sampled twice a second, of their
proportional set sizes summed: the fleet's own memory. sim_cpu_pct is the simulators' processor time
(they share the machine with the fleet). The last two are the processor time, in milliseconds, that
the fleet's processes and the simulators spent on one instrument's upgrade. A simulator process plays
eight instruments: one each would cost a quarter more of the processor at 256, spent on switching
between Python processes rather than on what the instruments do.
The simulated instruments keep their files in memory (/dev/shm) unless --flash says where: their
flash is not this PC's disk, whose writing back and discarding of some 7 GB at 256 instruments is
neither the fleet's cost nor the simulators'. The upgrade folder and the fleet's logs are on the
disk, in the temporary folder.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SIM = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "sim")
PYTHON = "/usr/bin/python3"
SAMPLE_S = 0.5
INSTRUMENTS_PER_SIMULATOR = 8


def address(i):
    """The i-th instrument's address: 127.0.0.1 to 127.0.0.255, then 127.0.1.1 and on."""
    return "127.0.%d.%d" % (i // 255, i % 255 + 1)


def start_simulator(instruments, telnet_port, ftp_port):
    """A simulator playing instruments, (address, root) pairs; its events go to a file beside the
    first one's. Returns the process and that file."""
    events = instruments[0][1] + ".events"
    with open(events, "w") as output:
        played = [word for address, root in instruments for word in ("--address", address, "--root", root)]
        return subprocess.Popen([PYTHON, os.path.join(SIM, "qd8400sim.py"), *played, "--telnet-port", str(telnet_port),
                                 "--ftp-port", str(ftp_port), "--option-wait", "2"],
                                stdout=output, stderr=subprocess.DEVNULL), events


def ready(process, events):
    """Waits for the simulator's first line and returns its ports."""
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and process.poll() is None:
        with open(events) as output:
            line = output.readline().split()
        if line and line[0] == "READY":
            ports = dict(part.split("=") for part in line[1:])
            return int(ports["telnet"]), int(ports["ftp"])
        time.sleep(0.05)
    sys.exit("the simulator of %s did not start" % events)


def processes_below(pid):
    """pid and all its descendants, as far as /proc shows them now."""
    found, pending = [], [pid]
    while pending:
        current = pending.pop()
        found.append(current)
        try:
            for task in os.listdir("/proc/%d/task" % current):
                with open("/proc/%d/task/%s/children" % (current, task)) as children:
                    pending.extend(int(child) for child in children.read().split())
        except OSError:
            pass
    return found


def pss_kib(pid):
    try:
        with open("/proc/%d/smaps_rollup" % pid) as rollup:
            for line in rollup:
                if line.startswith("Pss:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def cpu_seconds(pid):
    """The processor time a live process has used (user and system)."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Sampler(threading.Thread):
    """Samples the summed proportional set size of a process and its descendants until it ends, and
    the process's own processor time."""

    def __init__(self, pid):
        super().__init__(daemon=True)
        self.pid, self.peak_kib, self.own_cpu, self.done = pid, 0, 0, threading.Event()
        self.start()

    def run(self):
        while not self.done.wait(SAMPLE_S):
            self.peak_kib = max(self.peak_kib, sum(pss_kib(pid) for pid in processes_below(self.pid)))
            try:
                self.own_cpu = cpu_seconds(self.pid)
            except (OSError, IndexError):
                pass


def make_instruments(count, work, flash):
    """The fixtures make the same instrument and upgrade folder each time: the first is copied. The
    instruments' file systems go to flash, the upgrade folder to work."""
    upgrade, first = os.path.join(work, "upgrade"), os.path.join(flash, "instrument0")
    subprocess.run([PYTHON, os.path.join(SIM, "fixtures.py"), "--instrument", first, "--upgrade", upgrade],
                   check=True, stdout=subprocess.DEVNULL)
    roots = [first]
    for i in range(1, count):
        roots.append(os.path.join(flash, "instrument%d" % i))
        shutil.copytree(first, roots[-1], symlinks=True)
    return upgrade, roots


def upgrade_fleet(program, count, scale, work, flash):
    upgrade, roots = make_instruments(count, work, flash)
    # What is waiting to be written reaches the disk now, not while the fleet is measured.
    os.sync()
    instruments = [(address(i), root) for i, root in enumerate(roots)]
    groups = [instruments[i:i + INSTRUMENTS_PER_SIMULATOR] for i in range(0, count, INSTRUMENTS_PER_SIMULATOR)]
    simulators = []
    try:
        # The first chooses the ports, on which the others listen at their own addresses.
        simulators.append(start_simulator(groups[0], 0, 0))
        telnet_port, ftp_port = ready(*simulators[0])
        simulators += [start_simulator(group, telnet_port, ftp_port) for group in groups[1:]]
        for simulator in simulators:
            ready(*simulator)
        simulators_cpu = sum(cpu_seconds(process.pid) for process, _ in simulators)
        addresses = [address for address, _ in instruments]
        command = [program, "run", upgrade, *addresses, "--yes", "--json", "--log-dir", os.path.join(work, "logs"),
                   "--telnet-port", str(telnet_port), "--ftp-port", str(ftp_port), "--time-scale", str(scale)]
        begin = time.monotonic()
        fleet = subprocess.Popen(command, stdout=subprocess.DEVNULL)
        sampler = Sampler(fleet.pid)
        _, status, usage = os.wait4(fleet.pid, 0)
        wall = time.monotonic() - begin
        sampler.done.set()
        simulators_cpu = sum(cpu_seconds(process.pid) for process, _ in simulators) - simulators_cpu
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit("the fleet of %d did not upgrade (exit status %d)" % (count, os.waitstatus_to_exitcode(status)))
        fleet_cpu = usage.ru_utime + usage.ru_stime
        return {"wall": wall, "cpu": fleet_cpu / wall * 100, "rss": usage.ru_maxrss / 1024,
                "pss": sampler.peak_kib / 1024, "parent_cpu": sampler.own_cpu / wall * 100,
                "sim_cpu": simulators_cpu / wall * 100, "cpu_ms": fleet_cpu * 1000 / count,
                "sim_ms": simulators_cpu * 1000 / count}
    finally:
        for process, _ in simulators:
            process.terminate()
            process.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program")
    parser.add_argument("--scale", type=float, default=0.1)
    parser.add_argument("--sizes", default="1,4,16,64,256")
    parser.add_argument("--flash", default="/dev/shm" if os.path.isdir("/dev/shm") else None, metavar="DIR",
                        help="where the simulated instruments keep their files (default: memory, /dev/shm)")
    args = parser.parse_args()
    one = None
    for count in [int(n) for n in args.sizes.split(",")]:
        with tempfile.TemporaryDirectory() as work, tempfile.TemporaryDirectory(dir=args.flash) as flash:
            run = upgrade_fleet(os.path.abspath(args.program), count, args.scale, work, flash)
        one = one or run["wall"]
        print("fleet n=%d wall_s=%.2f ratio_to_one=%.2f cpu_pct=%.1f peak_rss_mib=%.1f total_pss_mib=%.1f "
              "parent_cpu_pct=%.1f sim_cpu_pct=%.1f cpu_ms_per_instrument=%.0f sim_ms_per_instrument=%.0f"
              % (count, run["wall"], run["wall"] / one, run["cpu"], run["rss"], run["pss"], run["parent_cpu"],
                 run["sim_cpu"], run["cpu_ms"], run["sim_ms"]), flush=True)


if __name__ == "__main__":
    main()

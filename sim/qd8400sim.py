#!/usr/bin/python3
"""A QD8400 in maintenance mode: Telnet daemon, maintenance shell and FTP server over a sandbox.

The sandbox folder stands for the instrument's file systems.

    python3 sim/qd8400sim.py --address 127.0.0.2 --telnet-port 23 --ftp-port 21 --root DIR [--mode MODE ...]

Runs in the foreground until stopped. Prints "READY telnet=<port> ftp=<port>" once both servers
listen, then a line per event: "TELNET OPTIONS <request>=<answer> ..." (and "ERROR TELNET OPTIONS
agreed to ..." when the client agreed to an option), "TELNET LOGIN root", "TELNET LOGIN-FAILED <user>",
"CMD <command line>", "LATE <command line>" (its late text goes out), "ASK AGAIN <command line>", "HANG", "DROP" or "RESET <line>",
"REBOOT", "FTP LOGIN root", "FTP STORED <path>", "MAINTENANCE" (rebooted into maintenance mode: the
normal mode's end, after its SECONDS or on SIGUSR1).
DIR is filled with a healthy never-upgraded instrument if it is empty.

One process plays several instruments when --address and --root are given once for each, in the
same order: each has its own sandbox, servers and modes' counts, all answer on the first one's
ports, SIGUSR1 reboots them all, and each event line begins with the address of the instrument it
happened to. Played so, a fleet costs the PC less processor time than as a process each.
"""

import argparse
import logging
import os
import signal
import socket
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import fixtures  # noqa: E402
import faults as modes  # noqa: E402
from faults import MODES, Faults  # noqa: E402
from ftp_server import Faults as FtpFaults  # noqa: E402
from ftp_server import make_server as make_ftp_server  # noqa: E402
from ftp_server import port_range  # noqa: E402
from pyftpdlib.ioloop import IOLoop  # noqa: E402
from late import Uploads  # noqa: E402
from sandbox import Sandbox  # noqa: E402
from session import USER, Session  # noqa: E402
from wire import Wire  # noqa: E402

PASSWORD = "k8r2Mq5"
OPTION_WAIT = 10.0  # seconds the daemon waits for the answers to its first option requests


class Events:
    """Announces what happens, on standard output and in the transcript file; the lines of an
    instrument that shares the process with others begin with its address."""

    lock = threading.Lock()  # one for the process: the lines of several instruments never mix

    def __init__(self, transcript=None, address=None):
        self.transcript = transcript
        self.prefix = address + " " if address else ""

    def __call__(self, line):
        with self.lock:
            print(self.prefix + line, flush=True)
            if self.transcript and line.startswith("CMD "):
                with open(self.transcript, "a") as f:
                    f.write(line[4:] + "\n")


class Instrument:
    """What every connection shares: the file systems, the modes and the announcements."""

    def __init__(self, root, faults, events, option_wait):
        self.sandbox = Sandbox(root)
        self.faults = faults
        self.events = events
        self.option_wait = option_wait
        self.uploads = Uploads()
        self.password = "not-" + PASSWORD if faults.on("wrong-password") else PASSWORD
        self.lock = threading.Lock()
        self.connections = set()
        self.normal = faults.on("normal")
        if faults.argument("normal"):
            reboot = threading.Timer(float(faults.argument("normal")), self.reboot_into_maintenance)
            reboot.daemon = True
            reboot.start()

    def in_normal_mode(self):
        return self.normal

    def reboot_into_maintenance(self):
        """The technician reboots the instrument from its normal firmware into maintenance mode: its
        sessions end, and from then on its shell is the maintenance shell."""
        with self.lock:
            if not self.normal:
                return
            self.normal = False
            connections = list(self.connections)
        self.events("MAINTENANCE")
        for connection in connections:
            try:
                connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def serve_connection(self, connection):
        connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        with self.lock:
            self.connections.add(connection)
        try:
            Session(self, connection, Wire(connection, self.faults)).run()
        finally:
            with self.lock:
                self.connections.discard(connection)
            connection.close()


class TelnetServer:
    """The daemon: each connection accepted is served on a thread of its own. The accepting thread
    sleeps in accept() until a client comes or stop() shuts the listening socket."""

    def __init__(self, address, instrument):
        self.instrument = instrument
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            self.listener.bind(address)
            self.listener.listen(5)
        except OSError:
            self.listener.close()
            raise
        self.server_address = self.listener.getsockname()

    def serve_forever(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                if self.listener.fileno() < 0:
                    return  # stopped
                continue
            threading.Thread(target=self.instrument.serve_connection, args=(connection,), daemon=True).start()

    def stop(self):
        self.listener.shutdown(socket.SHUT_RDWR)  # wakes accept()
        self.listener.close()


class Simulator:
    """Both servers over one sandbox, each on a thread of its own, until stop(). Given an ftp_loop, the
    FTP server joins that loop instead, and whoever made the loop serves it."""

    def __init__(self, address, telnet_port, ftp_port, root, modes=(), events=None, passive_ports=None,
                 option_wait=OPTION_WAIT, ftp_loop=None):
        logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
        faults = Faults(modes)
        self.events = events or Events()
        instrument = Instrument(root, faults, self.events, option_wait)
        self.instrument = instrument
        self.telnet = TelnetServer((address, telnet_port), instrument)
        threading.Thread(target=self.telnet.serve_forever, daemon=True).start()
        self.ftp = None
        if not faults.on("no-ftp"):
            password = "refused-" + PASSWORD if faults.on("ftp-refuse-login") else instrument.password
            ftp_faults = FtpFaults.parse(*(faults.arguments("ftp-%s-upload" % kind)
                                           for kind in ("refuse", "break", "stall", "rate")))
            self.ftp = make_ftp_server(address, ftp_port, root, USER, password, ftp_faults, passive_ports,
                                       lambda line: self.events("FTP " + line), instrument.uploads.begins, ftp_loop)
            if ftp_loop is None:
                threading.Thread(target=self.ftp.serve_forever, kwargs={"handle_exit": False}, daemon=True).start()
        self.telnet_port = self.telnet.server_address[1]
        self.ftp_port = self.ftp.address[1] if self.ftp else 0

    def stop(self):
        self.telnet.stop()
        if self.ftp:
            self.ftp.close_all()


def main(argv=None):
    listing = "\n".join("  %-34s %s" % (name + argument, text) for name, (argument, text) in MODES.items())
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0], formatter_class=argparse.RawTextHelpFormatter,
                                     epilog=modes.__doc__ + "\nmodes:\n" + listing
                                     + "\n\nsim/README.md tells which mode reaches which ending of the upgrade.")
    parser.add_argument("--address", action="append", help="a loopback address (127.0.0.1); once for each instrument")
    parser.add_argument("--telnet-port", type=int, default=23)
    parser.add_argument("--ftp-port", type=int, default=21)
    parser.add_argument("--root", action="append", required=True, help="the sandbox folder; once for each instrument")
    parser.add_argument("--mode", action="append", default=[], help="a mode, NAME or NAME=ARGUMENT, every instrument's")
    parser.add_argument("--transcript", help="file that receives every command line, one per line (one instrument)")
    parser.add_argument("--passive-ports", default="50000-50063", metavar="LOW-HIGH")
    parser.add_argument("--option-wait", type=float, default=OPTION_WAIT, metavar="SECONDS",
                        help="how long the daemon waits for the answers to its first option requests, and to\n"
                             "the one before late text")
    args = parser.parse_args(argv)

    addresses = args.address or ["127.0.0.1"]
    if len(args.root) != len(addresses):
        parser.error("give one --root for each --address (%d and %d given)" % (len(args.root), len(addresses)))
    if not all(address.startswith("127.") for address in addresses):
        parser.error("the simulator only listens on loopback addresses (127.0.0.0/8)")
    several = len(addresses) > 1
    if several and args.transcript:
        parser.error("--transcript records one instrument's command lines")
    # pyftpdlib checks a CWD by changing the process's working folder and back: the FTP servers of
    # all the instruments are served by one loop, on one thread.
    ftp_loop = IOLoop()
    simulators = []
    telnet_port, ftp_port = args.telnet_port, args.ftp_port
    for address, root in zip(addresses, args.root):
        root = os.path.abspath(root)
        os.makedirs(root, exist_ok=True)
        if not os.listdir(root):
            fixtures.make_instrument(root)
        try:
            simulators.append(Simulator(address, telnet_port, ftp_port, root, args.mode,
                                        Events(args.transcript, address if several else None),
                                        port_range(args.passive_ports), args.option_wait, ftp_loop))
        except ValueError as error:
            parser.error(str(error))
        # The others answer on the ports the first one was given or chose.
        telnet_port, ftp_port = simulators[0].telnet_port, simulators[0].ftp_port
    for simulator in simulators:
        if simulator.ftp:
            simulator.ftp.max_cons *= len(simulators)  # it counts every connection on the loop
    threading.Thread(target=ftp_loop.loop, daemon=True).start()
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    def reboot_into_maintenance(*_):
        for simulator in simulators:
            simulator.instrument.reboot_into_maintenance()

    signal.signal(signal.SIGUSR1, reboot_into_maintenance)
    Events()("READY telnet=%d ftp=%d" % (telnet_port, ftp_port))
    stop.wait()
    for simulator in simulators:
        simulator.stop()


if __name__ == "__main__":
    main()

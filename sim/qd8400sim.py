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
from late import Uploads  # noqa: E402
from sandbox import Sandbox  # noqa: E402
from session import USER, Session  # noqa: E402
from wire import Wire  # noqa: E402

PASSWORD = "k8r2Mq5"
OPTION_WAIT = 10.0  # seconds the daemon waits for the answers to its first option requests


class Events:
    """Announces what happens, on standard output and in the transcript file."""

    def __init__(self, transcript=None):
        self.lock = threading.Lock()
        self.transcript = transcript

    def __call__(self, line):
        with self.lock:
            print(line, flush=True)
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
    """Both servers over one sandbox, each on a thread of its own, until stop()."""

    def __init__(self, address, telnet_port, ftp_port, root, modes=(), events=None, passive_ports=None,
                 option_wait=OPTION_WAIT):
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
                                       lambda line: self.events("FTP " + line), instrument.uploads.begins)
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
    parser.add_argument("--address", default="127.0.0.1", help="a loopback address")
    parser.add_argument("--telnet-port", type=int, default=23)
    parser.add_argument("--ftp-port", type=int, default=21)
    parser.add_argument("--root", required=True, help="the sandbox folder")
    parser.add_argument("--mode", action="append", default=[], help="a mode, NAME or NAME=ARGUMENT")
    parser.add_argument("--transcript", help="file that receives every command line, one per line")
    parser.add_argument("--passive-ports", default="50000-50063", metavar="LOW-HIGH")
    parser.add_argument("--option-wait", type=float, default=OPTION_WAIT, metavar="SECONDS",
                        help="how long the daemon waits for the answers to its first option requests, and to\n"
                             "the one before late text")
    args = parser.parse_args(argv)

    if not args.address.startswith("127."):
        parser.error("the simulator only listens on loopback addresses (127.0.0.0/8)")
    root = os.path.abspath(args.root)
    os.makedirs(root, exist_ok=True)
    if not os.listdir(root):
        fixtures.make_instrument(root)
    try:
        simulator = Simulator(args.address, args.telnet_port, args.ftp_port, root, args.mode,
                              Events(args.transcript), port_range(args.passive_ports), args.option_wait)
    except ValueError as error:
        parser.error(str(error))
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    signal.signal(signal.SIGUSR1, lambda *_: simulator.instrument.reboot_into_maintenance())
    simulator.events("READY telnet=%d ftp=%d" % (simulator.telnet_port, simulator.ftp_port))
    stop.wait()
    simulator.stop()


if __name__ == "__main__":
    main()

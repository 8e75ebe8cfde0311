#!/usr/bin/python3
"""A QD8400 in maintenance mode: Telnet log-in and maintenance shell plus FTP server, over a
sandbox folder that stands for the instrument's file systems.

    python3 sim/qd8400sim.py --address 127.0.0.2 --telnet-port 23 --ftp-port 21 --root DIR [--mode MODE ...]

Runs in the foreground until stopped. Prints "READY telnet=<port> ftp=<port>" once both servers
listen, then a line per event: "TELNET LOGIN root", "CMD <command line>", "REBOOT", "FTP LOGIN root",
"FTP STORED <path>". DIR is filled with a healthy never-upgraded instrument if it is empty.
"""

import argparse
import logging
import os
import signal
import socket
import socketserver
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import fixtures  # noqa: E402
from faults import MODES, Faults  # noqa: E402
from ftp_server import Faults as FtpFaults  # noqa: E402
from ftp_server import make_server as make_ftp_server  # noqa: E402
from ftp_server import port_range  # noqa: E402
from sandbox import Sandbox  # noqa: E402
from shell import Shell  # noqa: E402

USER = "root"
PASSWORD = "k8r2Mq5"
HOSTNAME = "QD8400-0042"
BANNER = "\r\nQD8400 maintenance system - Linux 2.4.18-rmk7 (armv4l)\r\n\r\n"

IAC, DONT, DO, WONT, WILL, SB, SE = 255, 254, 253, 252, 251, 250, 240
OPT_ECHO, OPT_SGA, OPT_TTYPE, OPT_NAWS, OPT_TSPEED, OPT_XDISPLOC, OPT_NEW_ENVIRON = 1, 3, 24, 31, 32, 35, 39

# A netkit telnetd first asks about the terminal, then offers echo and go-ahead suppression.
FIRST_REQUESTS = bytes([IAC, DO, OPT_TTYPE, IAC, DO, OPT_TSPEED, IAC, DO, OPT_XDISPLOC, IAC, DO, OPT_NEW_ENVIRON])
SECOND_REQUESTS = bytes([IAC, WILL, OPT_SGA, IAC, WILL, OPT_ECHO, IAC, DO, OPT_NAWS])


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


class TelnetInput:
    """Reads the client's lines, taking its negotiation answers out of the stream."""

    def __init__(self, connection):
        self.connection = connection
        self.text = bytearray()
        self.state = "data"
        self.answers = []

    def _fill(self):
        data = self.connection.recv(4096)
        if not data:
            raise EOFError
        for byte in data:
            if self.state == "data":
                if byte == IAC:
                    self.state = "iac"
                else:
                    self.text.append(byte)
            elif self.state == "iac":
                if byte == IAC:
                    self.text.append(byte)
                    self.state = "data"
                elif byte in (DO, DONT, WILL, WONT):
                    self.state = byte
                elif byte == SB:
                    self.state = "sb"
                else:
                    self.state = "data"
            elif self.state == "sb":
                self.state = "sb-iac" if byte == IAC else "sb"
            elif self.state == "sb-iac":
                self.state = "data" if byte == SE else "sb"
            else:
                self.answers.append((self.state, byte))
                self.state = "data"

    def read_line(self):
        while True:
            for i, byte in enumerate(self.text):
                if byte == 10:
                    return self._take(i, 1)
                if byte == 13:
                    if i + 1 == len(self.text):
                        break  # its partner is still on the way
                    return self._take(i, 2 if self.text[i + 1] in (0, 10) else 1)
            self._fill()

    def _take(self, end, ending):
        line = bytes(self.text[:end]).decode("latin-1")
        del self.text[:end + ending]
        return line


class Instrument:
    def __init__(self, root, faults, events, password=PASSWORD):
        self.sandbox = Sandbox(root)
        self.faults = faults
        self.events = events
        self.password = "not-" + password if faults.on("wrong-password") else password

    def serve_connection(self, connection):
        connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        reader = TelnetInput(connection)
        try:
            self._greet(connection)
            if self._log_in(connection, reader):
                self._shell(connection, reader)
        except (EOFError, ConnectionError, OSError):
            pass
        finally:
            connection.close()

    def _greet(self, connection):
        login = (BANNER + HOSTNAME + " login: ").encode()
        if self.faults.on("single-segment"):
            connection.sendall(FIRST_REQUESTS + SECOND_REQUESTS + login)
            return
        connection.sendall(FIRST_REQUESTS)
        time.sleep(0.05)
        connection.sendall(SECOND_REQUESTS)
        time.sleep(0.2)  # the daemon starts its log-in program
        connection.sendall(login)

    def _log_in(self, connection, reader):
        for _ in range(3):
            user = reader.read_line()
            connection.sendall((user + "\r\n").encode("latin-1"))
            connection.sendall(b"Password: ")
            password = reader.read_line()
            connection.sendall(b"\r\n")
            if user == USER and password == self.password:
                self.events("TELNET LOGIN %s" % user)
                connection.sendall(Shell(self.sandbox, self.faults).prompt.encode())
                return True
            self.events("TELNET LOGIN-FAILED %s" % user)
            time.sleep(0.2)
            connection.sendall(("Login incorrect\r\n\r\n" + HOSTNAME + " login: ").encode())
        return False

    def _shell(self, connection, reader):
        shell = Shell(self.sandbox, self.faults)
        while True:
            line = reader.read_line()
            self.events("CMD %s" % line)
            result = shell.run(line)
            if result.drop:
                self.events("DROP %s" % line)
                return
            connection.sendall((line + "\r\n").encode("latin-1"))
            if result.hang:
                self.events("HANG %s" % line)
                while True:
                    reader.read_line()
            if result.lines:
                connection.sendall(("".join(text + "\r\n" for text in result.lines)).encode("latin-1"))
            connection.sendall(shell.prompt.encode())
            if result.reboot:
                self.events("REBOOT")
                time.sleep(0.3)
                return


class TelnetServer(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True

    def __init__(self, address, instrument):
        self.instrument = instrument

        class Handler(socketserver.BaseRequestHandler):
            def handle(self):
                instrument.serve_connection(self.request)

        super().__init__(address, Handler)


def ftp_faults(faults):
    result = FtpFaults()
    for text in faults.arguments("ftp-refuse-upload"):
        name, reply = FtpFaults.parse_refusal(text)
        result.refuse_upload[name] = reply
    result.break_upload.update(faults.arguments("ftp-break-upload"))
    for text in faults.arguments("ftp-stall-upload"):
        name, count = text.split(":", 1)
        result.stall_upload[name] = int(count)
    return result


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0],
                                     epilog="modes: " + "; ".join("%s: %s" % item for item in MODES.items()))
    parser.add_argument("--address", default="127.0.0.1", help="a loopback address")
    parser.add_argument("--telnet-port", type=int, default=23)
    parser.add_argument("--ftp-port", type=int, default=21)
    parser.add_argument("--root", required=True, help="the sandbox folder")
    parser.add_argument("--mode", action="append", default=[], help="a fault mode, NAME or NAME=ARGUMENT")
    parser.add_argument("--transcript", help="file that receives every command line, one per line")
    parser.add_argument("--passive-ports", default="50000-50063", metavar="LOW-HIGH")
    args = parser.parse_args(argv)

    if not args.address.startswith("127."):
        parser.error("the simulator only listens on loopback addresses (127.0.0.0/8)")
    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    faults = Faults(args.mode)
    root = os.path.abspath(args.root)
    os.makedirs(root, exist_ok=True)
    if not os.listdir(root):
        fixtures.make_instrument(root)
    events = Events(args.transcript)
    instrument = Instrument(root, faults, events)

    telnet = TelnetServer((args.address, args.telnet_port), instrument)
    threading.Thread(target=telnet.serve_forever, daemon=True).start()
    ftp_port = 0
    ftp = None
    if not faults.on("no-ftp"):
        password = "refused-" + PASSWORD if faults.on("ftp-refuse-login") else instrument.password
        ftp = make_ftp_server(args.address, args.ftp_port, root, USER, password, ftp_faults(faults),
                              port_range(args.passive_ports), lambda line: events("FTP " + line))
        ftp_port = ftp.address[1]
        threading.Thread(target=ftp.serve_forever, kwargs={"handle_exit": False}, daemon=True).start()

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    events("READY telnet=%d ftp=%d" % (telnet.server_address[1], ftp_port))
    stop.wait()
    telnet.shutdown()
    if ftp:
        ftp.close_all()


if __name__ == "__main__":
    main()

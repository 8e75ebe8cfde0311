#!/usr/bin/python3
"""The instrument's FTP server: one user, the sandbox folder as "/", passive mode on a small port
range, with fault modes that make the upgrade's transfer failures reachable.

Run alone (the FTP client's tests do):
    python3 sim/ftp_server.py --address 127.0.0.1 --port 0 --root DIR [--user U --password P] [faults]
It prints "READY ftp=<port>" when it listens, then one line per log-in ("LOGIN <user>"), per failed
log-in ("LOGIN-FAILED <user>") and per received file ("STORED <path>").
"""

import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


class Faults:
    """What the server does wrong, keyed by the remote file's base name."""

    def __init__(self):
        self.refuse_upload = {}  # name -> "553 reason"
        self.break_upload = set()  # data connection closed after the first block
        self.stall_upload = {}  # name -> bytes read before the server stops reading

    @staticmethod
    def parse_refusal(text):
        name, code, reason = text.split(":", 2)
        return name, "%s %s" % (code, reason)


def _announce(line):
    print(line, flush=True)


def make_handler(faults, passive_ports, announce=_announce):
    class StallableDTP(DTPHandler):
        stall_after = None
        break_after_first = False

        def handle_read(self):
            if self.break_after_first and self.tot_bytes_received > 0:
                self.close()
                return
            DTPHandler.handle_read(self)
            if self.stall_after is not None and self.tot_bytes_received >= self.stall_after:
                # Stop reading for good, like a device whose storage hangs: the socket stays open.
                self.del_channel()

        handle_read_event = handle_read

    class InstrumentFtpHandler(FTPHandler):
        dtp_handler = StallableDTP
        banner = "QD8400 FTP server ready."

        def ftp_STOR(self, file, mode="w"):
            name = os.path.basename(file)
            if name in faults.refuse_upload:
                self.respond(faults.refuse_upload[name])
                return None
            StallableDTP.stall_after = faults.stall_upload.get(name)
            StallableDTP.break_after_first = name in faults.break_upload
            return FTPHandler.ftp_STOR(self, file, mode)

        def on_login(self, username):
            announce("LOGIN %s" % username)

        def on_login_failed(self, username, password):
            announce("LOGIN-FAILED %s" % username)

        def on_file_received(self, file):
            announce("STORED %s" % file)

    InstrumentFtpHandler.passive_ports = passive_ports
    # The instrument answers a wrong password at once.
    InstrumentFtpHandler.auth_failed_timeout = 0.1
    InstrumentFtpHandler.permit_foreign_addresses = False
    return InstrumentFtpHandler


def make_server(address, port, root, user, password, faults=None, passive_ports=None, announce=_announce):
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    handler = make_handler(faults or Faults(), passive_ports, announce)
    handler.authorizer = authorizer
    server = FTPServer((address, port), handler)
    server.max_cons = 16
    return server


def add_fault_arguments(parser):
    parser.add_argument("--ftp-refuse-upload", action="append", default=[], metavar="NAME:CODE:TEXT",
                        help="answer the upload of NAME with this reply")
    parser.add_argument("--ftp-break-upload", action="append", default=[], metavar="NAME",
                        help="close the data connection of NAME's upload after its first block")
    parser.add_argument("--ftp-stall-upload", action="append", default=[], metavar="NAME:BYTES",
                        help="stop reading NAME's upload after BYTES bytes")


def port_range(text):
    if not text:
        return None
    low, high = (int(part) for part in text.split("-"))
    return range(low, high + 1)


def faults_from(args):
    faults = Faults()
    for text in args.ftp_refuse_upload:
        name, reply = Faults.parse_refusal(text)
        faults.refuse_upload[name] = reply
    faults.break_upload.update(args.ftp_break_upload)
    for text in args.ftp_stall_upload:
        name, count = text.split(":", 1)
        faults.stall_upload[name] = int(count)
    return faults


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=21)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="root")
    parser.add_argument("--password", default="k8r2Mq5")
    parser.add_argument("--passive-ports", default=None, metavar="LOW-HIGH")
    add_fault_arguments(parser)
    args = parser.parse_args(argv)

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    server = make_server(args.address, args.port, os.path.abspath(args.root), args.user, args.password,
                         faults_from(args), port_range(args.passive_ports))
    _announce("READY ftp=%d" % server.address[1])
    try:
        server.serve_forever(handle_exit=False)
    except KeyboardInterrupt:
        pass
    finally:
        server.close_all()


if __name__ == "__main__":
    main()

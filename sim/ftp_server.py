#!/usr/bin/python3
"""The instrument's FTP server: one user, the sandbox folder as "/", passive mode on a small port
range, with fault modes that make the upgrade's transfer failures reachable.

Run alone (the FTP client's tests do):
    python3 sim/ftp_server.py --address 127.0.0.1 --port 0 --root DIR [--user U --password P] [faults]
It prints "READY ftp=<port>" when it listens, then one line per log-in ("LOGIN <user>"), per failed
log-in ("LOGIN-FAILED <user>") and per received file ("STORED <path>").
"""

import argparse
import fcntl
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, _FileReadWriteError
from pyftpdlib.ioloop import _ERRNOS_DISCONNECTED, _ERRNOS_RETRY, IOLoop
from pyftpdlib.servers import FTPServer

PLAIN_BLOCK = 1 << 20  # the most bytes of an upload without a fault read at a time


class Faults:
    """What the server does wrong, keyed by the remote file's base name."""

    def __init__(self):
        self.refuse_upload = {}  # name -> "553 reason"
        self.break_upload = set()  # data connection closed on the first block, half of it stored
        self.stall_upload = {}  # name -> bytes read before the server stops reading
        self.rate = {}  # name -> bytes a second at which its upload is read, like a slow link and flash

    @classmethod
    def parse(cls, refusals=(), breaks=(), stalls=(), rates=()):
        """From the arguments NAME:CODE:TEXT, NAME, NAME:BYTES and NAME:BYTES."""
        faults = cls()
        for text in refusals:
            name, code, reason = text.split(":", 2)
            faults.refuse_upload[name] = "%s %s" % (code, reason)
        faults.break_upload.update(breaks)
        for text in stalls:
            name, count = text.split(":", 1)
            faults.stall_upload[name] = int(count)
        for text in rates:
            name, rate = text.split(":", 1)
            faults.rate[name] = int(rate)
        return faults


def _announce(line):
    print(line, flush=True)


def _nothing(name):
    pass


def make_handler(faults, passive_ports, announce=_announce, upload_begins=_nothing):
    """upload_begins(base name) runs once an upload is accepted, before any of its data is read."""
    class StallableDTP(DTPHandler):
        stall_after = None
        break_upload = False
        rate = 0

        def __init__(self, sock, cmd_channel):
            DTPHandler.__init__(self, sock, cmd_channel)
            self.pipe = None  # (read end, write end) through which a plain binary upload reaches its file
            if self.rate:
                self.ac_in_buffer_size = max(1, self.rate // 10)

        def handle_read(self):
            if self.break_upload:
                self._break()
                return
            if not self.rate and self.stall_after is None:
                if self._data_wrapper is None:
                    self._splice()
                    return
                self.ac_in_buffer_size = PLAIN_BLOCK
            before = self.tot_bytes_received
            DTPHandler.handle_read(self)
            if self.stall_after is not None and self.tot_bytes_received >= self.stall_after:
                # Stop reading for good, like a device whose storage hangs: the socket stays open.
                self.del_channel()
            elif self.rate and not self._closed and self.tot_bytes_received > before:
                # A slow link and flash: the next block is read once this one has had its time.
                self.del_channel()
                self.ioloop.call_later((self.tot_bytes_received - before) / self.rate, self._resume,
                                       _errback=self.handle_error)

        def _splice(self):
            """Reads a block as the plain read does, with the same endings (the client's close or a
            reset completes the upload, a failed write aborts it), but moves the bytes from the socket
            into the file inside the kernel instead of through a buffer of the server's."""
            if self.pipe is None:
                self.pipe = os.pipe()
                try:
                    fcntl.fcntl(self.pipe[1], fcntl.F_SETPIPE_SZ, PLAIN_BLOCK)
                except OSError:
                    pass  # a user over the pipe memory limit moves smaller blocks
            try:
                moved = os.splice(self.socket.fileno(), self.pipe[1], PLAIN_BLOCK, flags=os.SPLICE_F_NONBLOCK)
            except OSError as err:
                if err.errno in _ERRNOS_RETRY:
                    return
                if err.errno not in _ERRNOS_DISCONNECTED:
                    self.handle_error()
                    return
                moved = 0
            self.tot_bytes_received += moved
            if not moved:
                self.handle_close()
                self.transfer_finished = True
                return
            while moved:
                try:
                    moved -= os.splice(self.pipe[0], self.file_obj.fileno(), moved)
                except OSError as err:
                    raise _FileReadWriteError(err)

        def close(self):
            if self.pipe is not None:
                for end in self.pipe:
                    os.close(end)
                self.pipe = None
            DTPHandler.close(self)

        def _resume(self):
            if not self._closed:
                self.add_channel(events=self.ioloop.READ)

        handle_read_event = handle_read

        def _break(self):
            """The connection breaks while the first block is being stored, however small the file."""
            chunk = self.recv(self.ac_in_buffer_size)
            chunk = chunk[:len(chunk) // 2]
            self.file_obj.write(self._data_wrapper(chunk) if self._data_wrapper else chunk)
            self._resp = ("426 Connection reset by peer; transfer aborted.", logging.getLogger(__name__).info)
            self.close()

    class InstrumentFtpHandler(FTPHandler):
        dtp_handler = StallableDTP
        banner = "QD8400 FTP server ready."

        def ftp_STOR(self, file, mode="w"):
            name = os.path.basename(file)
            if name in faults.refuse_upload:
                self.respond(faults.refuse_upload[name])
                return None
            StallableDTP.stall_after = faults.stall_upload.get(name)
            StallableDTP.break_upload = name in faults.break_upload
            StallableDTP.rate = faults.rate.get(name, 0)
            stored = FTPHandler.ftp_STOR(self, file, mode)
            if stored:
                upload_begins(name)  # on the server's only thread: no data is read until it returns
            return stored

        def on_login(self, username):
            announce("LOGIN %s" % username)

        def handle_auth_failed(self, msg, password):
            # Announced before the refusal goes out, so that a client that has the refusal finds the line.
            announce("LOGIN-FAILED %s" % self.username)
            FTPHandler.handle_auth_failed(self, msg, password)

        def on_file_received(self, file):
            announce("STORED %s" % file)

    InstrumentFtpHandler.passive_ports = passive_ports
    # The instrument answers a wrong password at once.
    InstrumentFtpHandler.auth_failed_timeout = 0.1
    InstrumentFtpHandler.permit_foreign_addresses = False
    return InstrumentFtpHandler


def make_server(address, port, root, user, password, faults=None, passive_ports=None, announce=_announce,
                upload_begins=_nothing, ioloop=None):
    """The server, on a loop of its own unless it is given one."""
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    handler = make_handler(faults or Faults(), passive_ports, announce, upload_begins)
    handler.authorizer = authorizer
    server = FTPServer((address, port), handler, ioloop=ioloop or IOLoop())
    server.max_cons = 16
    return server


def add_fault_arguments(parser):
    parser.add_argument("--ftp-refuse-upload", action="append", default=[], metavar="NAME:CODE:TEXT",
                        help="answer the upload of NAME with this reply")
    parser.add_argument("--ftp-break-upload", action="append", default=[], metavar="NAME",
                        help="break off NAME's upload on its first block, storing half of that block")
    parser.add_argument("--ftp-stall-upload", action="append", default=[], metavar="NAME:BYTES",
                        help="stop reading NAME's upload after BYTES bytes")
    parser.add_argument("--ftp-rate-upload", action="append", default=[], metavar="NAME:BYTES",
                        help="read NAME's upload at BYTES bytes a second")


def port_range(text):
    if not text:
        return None
    low, high = (int(part) for part in text.split("-"))
    return range(low, high + 1)


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
                         Faults.parse(args.ftp_refuse_upload, args.ftp_break_upload, args.ftp_stall_upload,
                                      args.ftp_rate_upload),
                         port_range(args.passive_ports))
    _announce("READY ftp=%d" % server.address[1])
    try:
        server.serve_forever(handle_exit=False)
    except KeyboardInterrupt:
        pass
    finally:
        server.close_all()


if __name__ == "__main__":
    main()

"""Helpers for the simulator's tests: the simulator on free loopback ports over fresh fixtures, and
a Telnet client that refuses every option and captures each command's output up to the prompt."""

import ftplib
import functools
import os
import re
import shutil
import socket
import sys
import tempfile
import time

SIM = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, SIM)

import fixtures  # noqa: E402
import qd8400sim  # noqa: E402

IAC, DONT, DO, WONT, WILL = 255, 254, 253, 252, 251
PROMPT = "bash-2.04#"
PASSWORD = "k8r2Mq5"


@functools.lru_cache(maxsize=None)
def template():
    """A folder with an upgrade and an instrument, made once."""
    folder = tempfile.TemporaryDirectory()
    fixtures.make_upgrade(os.path.join(folder.name, "upgrade"))
    fixtures.make_instrument(os.path.join(folder.name, "instrument"), os.path.join(folder.name, "upgrade"))
    return folder


class Simulator:
    """The simulator in this process over a fresh copy of the fixtures (the upgrade folder is shared
    and read only); its announcements collect in events."""

    def __init__(self, modes=(), option_wait=2.0):
        self.folder = tempfile.TemporaryDirectory()
        self.instrument = os.path.join(self.folder.name, "instrument")
        fixture = template().name
        self.upgrade = os.path.join(fixture, "upgrade")
        shutil.copytree(os.path.join(fixture, "instrument"), self.instrument, symlinks=True)
        self.events = []
        self.server = qd8400sim.Simulator("127.0.0.1", 0, 0, self.instrument, modes, self.events.append,
                                          option_wait=option_wait)
        self.telnet_port, self.ftp_port = self.server.telnet_port, self.server.ftp_port

    def stop(self):
        self.server.stop()
        self.folder.cleanup()

    def put(self, name, folder, sent=None):
        put(self.ftp_port, os.path.join(self.upgrade, name), folder, sent)


def put(port, path, folder, sent=None, address="127.0.0.1"):
    """Uploads an upgrade file as the upgrade does (the start-up file as text); sent(block) follows each block."""
    name = os.path.basename(path)
    with ftplib.FTP(timeout=3) as client, open(path, "rb") as source:
        client.connect(address, port)
        client.login("root", PASSWORD)
        client.cwd(folder)
        (client.storlines if name == "autoexec.bat" else client.storbinary)("STOR " + name, source, callback=sent)


class TelnetClient:
    def __init__(self, port, answer=True, timeout=3, address="127.0.0.1"):
        self.socket = socket.create_connection((address, port), timeout=timeout)
        self.answer, self.timeout = answer, timeout
        self.pending = b""
        self.arrivals = []  # (monotonic time, bytes) of every receive
        self.text = ""

    def receive(self, timeout=None):
        self.socket.settimeout(timeout or self.timeout)
        data = self.socket.recv(65536)
        if not data:
            raise EOFError
        self.arrivals.append((time.monotonic(), data))
        for unit in re.findall(rb"\xff\xff|\xff[\xfb-\xfe].|\r\0|\xff[\xfb-\xfe]?\Z|.", self.pending + data, re.S):
            self.pending = b""
            if len(unit) == 3:  # refuse everything as the upgrade does, or agree to what is asked
                verb = {DO: WILL, WILL: DO}.get(unit[1], WONT) if self.answer == "agree" else \
                    WONT if unit[1] in (DO, DONT, WILL) else DONT
                if self.answer:
                    self.socket.sendall(bytes([IAC, verb, unit[2]]))
            elif unit[:1] == b"\xff" and unit != b"\xff\xff":
                self.pending = unit  # the rest comes with the next arrival
            else:
                self.text += unit[:1].decode("latin-1")

    def read_bytes(self, size):
        while len(b"".join(data for _, data in self.arrivals)) < size:
            self.receive()

    def read_until(self, marker):
        while marker not in self.text:
            self.receive()
        return self.text

    def read_prompt(self):
        self.read_until(PROMPT)
        if self.text.endswith(PROMPT):  # the prompt's blank may follow in the next segment
            try:
                self.receive(0.5)
            except socket.timeout:
                pass
        return self.text

    def log_in(self, password=PASSWORD, until=PROMPT):
        self.read_until("login: ")
        self.socket.sendall(b"root\r\n")
        self.read_until("Password: ")
        self.text = ""
        self.socket.sendall(password.encode() + b"\r\n")
        return self.read_prompt() if until == PROMPT else self.read_until(until)

    def command(self, line):
        """The captured output: echo, output lines and prompt, split on CR LF as the upgrade does."""
        self.text = ""
        self.socket.sendall(line.encode("latin-1") + b"\r\n")
        return split_lines(self.read_prompt())


def split_lines(text):
    result = text.split("\r\n")
    return result[:-1] if result[-1] == "" else result

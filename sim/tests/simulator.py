"""Helpers for the simulator's tests: the simulator in a child process, and a scripted Telnet
client that refuses every option and checks outputs the way the upgrade does."""

import ftplib
import os
import socket
import subprocess
import sys
import tempfile
import time

SIM = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, SIM)

import fixtures  # noqa: E402

IAC, DONT, DO, WONT, WILL = 255, 254, 253, 252, 251
PROMPT = "bash-2.04#"
PASSWORD = "k8r2Mq5"


class Simulator:
    """The simulator on a free loopback port over fresh fixtures, stopped when the test ends."""

    def __init__(self, modes=(), **fixture_options):
        self.folder = tempfile.TemporaryDirectory()
        self.instrument = os.path.join(self.folder.name, "instrument")
        self.upgrade = os.path.join(self.folder.name, "upgrade")
        fixtures.make_upgrade(self.upgrade, autoexec=fixture_options.pop("autoexec", True),
                              prod=fixture_options.pop("prod", True))
        fixtures.make_instrument(self.instrument, self.upgrade, **fixture_options)
        command = ["/usr/bin/python3", os.path.join(SIM, "qd8400sim.py"), "--address", "127.0.0.1",
                   "--telnet-port", "0", "--ftp-port", "0", "--root", self.instrument, "--passive-ports", "0-0"]
        for mode in modes:
            command += ["--mode", mode]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
        ready = self.process.stdout.readline().split()
        assert ready and ready[0] == "READY", ready
        ports = dict(part.split("=") for part in ready[1:])
        self.telnet_port, self.ftp_port = int(ports["telnet"]), int(ports["ftp"])

    def stop(self):
        self.process.terminate()
        self.process.wait(5)
        self.process.stdout.close()
        self.folder.cleanup()

    def host(self, path):
        return os.path.join(self.instrument, path.lstrip("/"))

    def ftp(self, password=PASSWORD):
        client = ftplib.FTP()
        client.connect("127.0.0.1", self.ftp_port, timeout=10)
        client.login("root", password)
        return client

    def put(self, name, target, text=False):
        with self.ftp() as client, open(os.path.join(self.upgrade, name), "rb") as source:
            if text:
                client.storlines("STOR " + target, source)
            else:
                client.storbinary("STOR " + target, source)


class TelnetClient:
    def __init__(self, port, timeout=5):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=timeout)
        self.pending = bytearray()
        self.text = ""
        self.requests = []
        self.first_arrival = None

    def close(self):
        self.socket.close()

    def _receive(self):
        data = self.socket.recv(65536)
        if not data:
            raise EOFError
        if self.first_arrival is None:
            self.first_arrival = data
        self.pending += data
        while self.pending:
            if self.pending[0] != IAC:
                self.text += chr(self.pending.pop(0))
                continue
            if len(self.pending) < 3:
                return
            verb, option = self.pending[1], self.pending[2]
            del self.pending[:3]
            self.requests.append((verb, option))
            # Refuse everything, as the program does.
            self.socket.sendall(bytes([IAC, WONT if verb in (DO, DONT, WILL) else DONT, option]))

    def read_until(self, marker):
        while marker not in self.text:
            self._receive()
        head, _, self.text = self.text.partition(marker)
        return head + marker

    def log_in(self, password=PASSWORD):
        self.read_until("login: ")
        self.socket.sendall(b"root\r\n")
        self.read_until("Password: ")
        self.socket.sendall(password.encode() + b"\r\n")
        return self.read_until("# " if password == PASSWORD else "login: ")

    def command(self, line, timeout=5):
        """The captured output of one command, split on CR LF: echo, output lines, prompt."""
        self.text = ""
        self.socket.sendall(line.encode("latin-1") + b"\r\n")
        self.socket.settimeout(timeout)
        captured = self.read_until("# ")
        return captured.split("\r\n")


def silent(lines):
    return len(lines) == 2 and lines[1].strip() == PROMPT


def ends_in_prompt(lines):
    return lines[-1].strip() == PROMPT

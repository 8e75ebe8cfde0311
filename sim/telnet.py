"""The Telnet side of the instrument's daemon: reading the client's lines, asking about options and
recording the client's answers, and the network virtual terminal's encoding of what goes out."""

import re
import socket
import time

IAC, DONT, DO, WONT, WILL, SB, SE = 255, 254, 253, 252, 251, 250, 240
VERBS = {DONT: "DONT", DO: "DO", WONT: "WONT", WILL: "WILL"}
OPTIONS = {1: "ECHO", 3: "SGA", 24: "TTYPE", 31: "NAWS", 32: "TSPEED", 35: "XDISPLOC", 39: "NEW-ENVIRON"}

# A netkit telnetd first asks about the terminal, then offers echo and go-ahead suppression.
FIRST_REQUESTS = [(DO, 24), (DO, 32), (DO, 35), (DO, 39)]
SECOND_REQUESTS = [(WILL, 3), (WILL, 1), (DO, 31)]
# Asked again right after a prompt that more text follows: the client answers once it has read the prompt.
PROMPT_READ_REQUESTS = [(DO, 32)]
LONE_CR = re.compile(rb"\r(?!\n)")


def nvt(text):
    """Text as the daemon puts it on the wire: a data byte 255 doubled, a lone CR followed by NUL."""
    data = text.encode("latin-1").replace(b"\xff", b"\xff\xff")
    return LONE_CR.sub(b"\r\0", data)


class TelnetInput:
    """Reads the client's lines, taking its negotiation answers out of the stream."""

    def __init__(self, connection):
        self.connection = connection
        self.text = bytearray()
        self.state = "data"
        self.answers = []

    def fill(self, timeout=None):
        """Takes in what the client sent; False when nothing came within timeout seconds."""
        if timeout is None:
            data = self.connection.recv(4096)
        else:
            self.connection.settimeout(timeout)
            try:
                data = self.connection.recv(4096)
            except socket.timeout:
                return False
            finally:
                self.connection.settimeout(None)
        if not data:
            raise EOFError
        if self.state == "data" and IAC not in data:
            self.text += data
        else:
            for byte in data:
                self._take_byte(byte)
        return True

    def _take_byte(self, byte):
        if self.state == "data":
            if byte == IAC:
                self.state = "iac"
            else:
                self.text.append(byte)
        elif self.state == "iac":
            if byte == IAC:
                self.text.append(byte)
                self.state = "data"
            elif byte in VERBS:
                self.state = byte
            else:
                self.state = "sb" if byte == SB else "data"
        elif self.state == "sb":
            self.state = "sb-iac" if byte == IAC else "sb"
        elif self.state == "sb-iac":
            self.state = "data" if byte == SE else "sb"
        else:
            self.answers.append((self.state, byte))
            self.state = "data"

    def has_line(self):
        """Whether a whole line from the client waits to be read."""
        return 10 in self.text or 13 in self.text[:-1]

    def read_line(self):
        while True:
            for i, byte in enumerate(self.text):
                if byte == 10:
                    return self._take(i, 1)
                if byte == 13:
                    if i + 1 == len(self.text):
                        break  # its partner is still on the way
                    return self._take(i, 2 if self.text[i + 1] in (0, 10) else 1)
            self.fill()

    def _take(self, end, ending):
        line = bytes(self.text[:end]).decode("latin-1")
        del self.text[:end + ending]
        return line


class Negotiation:
    """The daemon's option requests and the client's answers to them. Once the answers are in (or
    the wait is over) they are announced as one line, "TELNET OPTIONS DO TTYPE=WONT ...", with
    "=none" for a request left unanswered; an answer that agrees (WILL or DO) also gives an
    "ERROR TELNET OPTIONS ..." line, since the client must refuse every option."""

    def __init__(self, reader, events):
        self.reader = reader
        self.events = events
        self.pending = []  # [request, answer or None]

    def request(self, requests):
        """The bytes that ask; the caller sends them."""
        self.pending += [[request, None] for request in requests]
        return b"".join(bytes([IAC, verb, option]) for verb, option in requests)

    def _match_answers(self):
        for verb, option in self.reader.answers:
            waiting = next((p for p in self.pending if p[0][1] == option and p[1] is None), None)
            if waiting:
                waiting[1] = verb
        self.reader.answers.clear()

    def wait(self, seconds, until_line=False):
        """Waits until every request has its answer, or at most seconds (or, until_line, until a line
        from the client arrives)."""
        deadline = time.monotonic() + seconds
        self._match_answers()
        while (any(answer is None for _, answer in self.pending) and time.monotonic() < deadline
               and not (until_line and self.reader.has_line())):
            self.reader.fill(max(0.0, deadline - time.monotonic()))
            self._match_answers()

    def report(self):
        self._match_answers()
        if not self.pending:
            return
        words = ["%s %s=%s" % (VERBS[verb], OPTIONS.get(option, option), VERBS.get(answer, "none"))
                 for (verb, option), answer in self.pending]
        self.events("TELNET OPTIONS " + " ".join(words))
        agreed = [word for word in words if word.endswith(("=WILL", "=DO"))]
        if agreed:
            self.events("ERROR TELNET OPTIONS agreed to " + " ".join(agreed))
        self.pending = []

"""One Telnet connection to the instrument: the daemon's option requests, the log-in dialogue and
the shell's replies, each delivered the way the modes say."""

import functools
import time

from faults import unescape
from late import late_argument
from shell import Shell
from telnet import FIRST_REQUESTS, PROMPT_READ_REQUESTS, SECOND_REQUESTS, Negotiation, TelnetInput, nvt

USER = "root"
HOSTNAME = "QD8400-0042"
BANNER = "\r\nQD8400 maintenance system - Linux 2.4.18-rmk7 (armv4l)\r\n\r\n"
LOGIN_PROGRAM_START = 0.2  # seconds the daemon gives the answers to its second requests
LOGIN_FAILED_PAUSE = 0.2  # seconds before login asks again
REBOOT_CLOSE = 0.3  # seconds from the reboot's prompt to the closed connection


def written(text):
    """The bytes a mode's TEXT stands for, sent as they are."""
    return unescape(text).encode("latin-1")


class Session:
    def __init__(self, instrument, connection, wire):
        self.instrument = instrument
        self.faults = instrument.faults
        self.events = instrument.events
        self.connection = connection
        self.wire = wire
        self.reader = TelnetInput(connection)
        self.negotiation = Negotiation(self.reader, self.events)
        self.history = []  # every line the client sent, in order

    def run(self):
        try:
            self._greet()
            shell = self._log_in()
            if shell:
                self._serve(shell)
        except (EOFError, OSError):
            pass
        finally:
            self.instrument.uploads.forget(self)

    def _greet(self):
        login = nvt(BANNER + HOSTNAME + " login: ")
        if self.faults.on("single-segment"):
            self.wire.send(self.negotiation.request(FIRST_REQUESTS + SECOND_REQUESTS) + login)
            self.negotiation.wait(self.instrument.option_wait)
            self.negotiation.report()
            return
        # The daemon waits for the answers about the terminal before it starts the log-in program.
        self.wire.send(self.negotiation.request(FIRST_REQUESTS))
        self.negotiation.wait(self.instrument.option_wait)
        self.wire.send(self.negotiation.request(SECOND_REQUESTS))
        self.negotiation.wait(LOGIN_PROGRAM_START)
        self.negotiation.report()
        self.wire.send(login)

    def _arrived(self):
        """The next line from the client; None when a network fault ends the session on it."""
        line = self.reader.read_line()
        self.history.append(line)
        self.negotiation.report()
        if self.faults.rule("reset", line, self.history) is not None:
            self.events("RESET %s" % line)
            self.wire.reset()
            return None
        if self.faults.rule("drop", line, self.history) is not None:
            self.events("DROP %s" % line)
            return None
        return line

    def _log_in(self):
        for _ in range(3):
            user = self._arrived()
            if user is None:
                return None
            self.wire.send(nvt(user + "\r\nPassword: "))
            password = self.reader.read_line()
            self.wire.send(b"\r\n")
            if user == USER and password == self.instrument.password:
                self.events("TELNET LOGIN %s" % user)
                shell = Shell(self.instrument.sandbox, self.faults, normal=self.instrument.in_normal_mode)
                self.wire.send(nvt(self._last_login()), nvt(shell.prompt))
                return shell
            self.events("TELNET LOGIN-FAILED %s" % user)
            time.sleep(LOGIN_FAILED_PAUSE)
            self.wire.send(nvt("Login incorrect\r\n\r\n" + HOSTNAME + " login: "))
        return None

    def _last_login(self):
        """The previous log-in as login prints it (the year left out), when the mode asks for it;
        the first one is taken to have come from the same address a day before."""
        if not self.faults.on("last-login"):
            return ""
        sandbox = self.instrument.sandbox
        state = sandbox.load_state()
        address = self.connection.getpeername()[0]
        previous = state.get("last_login", [time.time() - 86400, address])
        state["last_login"] = [time.time(), address]
        sandbox.save_state(state)
        return "Last login: %s from %s\r\n" % (time.ctime(previous[0])[:19], previous[1])

    def _rule(self, name, line):
        return self.faults.rule(name, line, self.history)

    def _serve(self, shell):
        while True:
            line = self._arrived()
            if line is None:
                return
            self.events("CMD %s" % line)
            self.wire.send(nvt(line + "\r\n"))
            if self._rule("hang", line) is not None:
                self.events("HANG %s" % line)
                self._ignore_the_client()
            result = shell.run(line)
            slow = self._rule("slow", line)
            if slow:
                time.sleep(float(slow))
            if result.reboot and self.faults.argument("reboot") == "drop":
                self.events("REBOOT")
                return
            late = self._late(line, shell)
            ask_again = self._rule("ask-again", line)
            ask = self.negotiation.request(PROMPT_READ_REQUESTS) if late or ask_again is not None else b""
            reply = self._rule("reply", line)
            if reply is None:
                self.wire.send(self._output(line, result.lines), nvt(shell.prompt) + ask)
            else:
                self.wire.send(written(reply) + ask)
            if late:
                self.negotiation.wait(self.instrument.option_wait)
                self.negotiation.report()
                late()
            if ask_again is not None:
                self._ask_again(line, int(ask_again) if ask_again else None)
            if result.reboot:
                self.events("REBOOT")
                if self.faults.argument("reboot") == "silent":
                    self._ignore_the_client()
                time.sleep(REBOOT_CLOSE)
                return

    def _output(self, line, lines):
        """What the command prints, on the wire: line noise first, option requests at the line end
        nearest the middle, where the modes say so."""
        output = nvt("".join(text + "\r\n" for text in lines))
        if self._rule("raw-bytes", line) is not None:
            output = nvt("\xff\r") + output
        if self._rule("renegotiate", line) is not None:
            ends = [i + 2 for i in range(len(output) - 1) if output[i:i + 2] == b"\r\n"] or [0]
            at = min(ends, key=lambda end: abs(end - len(output) // 2))
            output = output[:at] + self.negotiation.request(SECOND_REQUESTS) + output[at:]
        return output

    def _late(self, line, shell):
        """What sends the late mode's text for this command line once the client has answered the
        option request that follows the prompt; None when there is none, or when it waits for its
        upload instead."""
        late = self._rule("late", line)
        if late is None:
            return None
        text, upload = late_argument(late)
        arrive = functools.partial(self._late_arrival, line, written(text), nvt(shell.prompt))
        if not upload:
            return arrive
        self.instrument.uploads.wait_for(upload, self, arrive)
        return None

    def _late_arrival(self, line, data, prompt):
        self.events("LATE %s" % line)  # first, so that a client that has the text finds the line
        self.wire.send(data, prompt)

    def _ask_again(self, line, count):
        """Once the client has answered the request that followed the prompt, asks about the option
        again each time the client refuses it: count times or, without a count, until the next command
        line arrives. Each request that arrives alone makes the client find the prompt once more."""
        self.events("ASK AGAIN %s" % line)
        asked = 0
        while True:
            self.negotiation.wait(self.instrument.option_wait, until_line=True)
            answered = all(answer is not None for _, answer in self.negotiation.pending)
            self.negotiation.pending = []
            if not answered or asked == count or self.reader.has_line():
                return
            self.wire.send(self.negotiation.request(PROMPT_READ_REQUESTS))
            asked += 1

    def _ignore_the_client(self):
        while True:
            self.reader.read_line()

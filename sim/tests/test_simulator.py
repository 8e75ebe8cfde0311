"""The simulated instrument: each mode as a client sees it on the wire, and the shell's outputs. The
upgrade's own runs against it (tests/upgrade) take it through the script and into its endings."""

import ftplib
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from simulator import PASSWORD, PROMPT, SIM, Simulator, TelnetClient, put, template  # noqa: E402

import state  # noqa: E402
from faults import MODES, Faults  # noqa: E402

P = "bash-2.04# "


class Case(unittest.TestCase):
    def simulator(self, modes=(), option_wait=2.0):
        sim = Simulator(modes, option_wait)
        self.addCleanup(sim.stop)
        return sim

    def client(self, sim, log_in=True, **options):
        client = TelnetClient(sim.telnet_port, **options)
        self.addCleanup(client.socket.close)
        if log_in:
            client.log_in()
        return client


class Wire(Case):
    def test_option_answers_come_before_the_log_in(self):
        refused = "DO TTYPE=WONT DO TSPEED=WONT DO XDISPLOC=WONT DO NEW-ENVIRON=WONT WILL SGA=WONT WILL ECHO=WONT DO NAWS=WONT"
        agreed = "DO TTYPE=WILL DO TSPEED=WILL DO XDISPLOC=WILL DO NEW-ENVIRON=WILL WILL SGA=DO WILL ECHO=DO DO NAWS=WILL"
        again = "TELNET OPTIONS WILL SGA=WONT WILL ECHO=WONT DO NAWS=WONT"
        for answer, modes, before, waited, after in [
                (True, (), [refused], False, []), (True, ("single-segment",), [refused], False, []),
                (False, (), [refused.replace("WONT", "none")], True, []),
                ("agree", (), [agreed, "ERROR TELNET OPTIONS agreed to " + agreed], False, []),
                (True, ("renegotiate=pwd",), [refused], False, [again])]:
            with self.subTest(answer=answer, modes=modes):
                sim = self.simulator(modes, option_wait=2)
                client = self.client(sim, log_in=False, answer=answer)
                client.read_until("login: ")
                self.assertEqual(b"login: " in client.arrivals[0][1], "single-segment" in modes)
                self.assertEqual(client.arrivals[-1][0] - client.arrivals[0][0] >= 2, waited)
                client.log_in()
                self.assertEqual(client.command("pwd"), ["pwd", "/", P])  # echoed although ECHO was refused
                client.command("cd /")
                before[0] = "TELNET OPTIONS " + before[0]
                self.assertEqual(sim.events, before + ["TELNET LOGIN root", "CMD pwd"] + after + ["CMD cd /"])

    def test_delivery(self):
        mount = b"mount\r\n/dev/nand2 on /mnt/nand2 type ext2 (rw)\r\n"
        pwd, ask, done, late = b"pwd\r\n/\r\nbash-2.04# ", b"\xff\xfd\x20", b"Done\r\nbash-2.04# ", "late=pwd:Done\\r\\n"
        for modes, line, wire, pause_after, least_pause, answer, upload, announced in [
            (["trickle=5:100"], "pwd", pwd, b"pwd\r\n/\r\nba", 0.08, True, None, []),
            (["split-prompt=200"], "pwd", pwd, b"/\r\nbash-2.", 0.15, True, None, []),
            (["slow=pwd:0.5"], "pwd", pwd, b"pwd\r\n", 0.4, True, None, []),
            ([late], "pwd", pwd + ask + done, ask, 0, True, None, ["TELNET OPTIONS DO TSPEED=WONT", "LATE pwd"]),
            ([late], "pwd", pwd + ask + done, ask, 0.4, False, None, ["TELNET OPTIONS DO TSPEED=none", "LATE pwd"]),
            ([late + ":upload=update.tar"], "pwd", pwd + done, pwd, 0, True, "update.tar", ["FTP LOGIN root", "LATE pwd"]),
            (["ask-again=pwd:3"], "pwd", pwd + ask * 4, None, 0, True, None, ["ASK AGAIN pwd"]),
            (["raw-bytes=pwd"], "pwd", b"pwd\r\n\xff\xff\r\x00/\r\nbash-2.04# ", None, 0, True, None, []),
            (["reply=pwd:a\\rb\\0c\\xff"], "pwd", b"pwd\r\na\rb\x00c\xff", None, 0, True, None, []),
            (["renegotiate=mount"], "mount", mount + b"\xff\xfb\x03\xff\xfb\x01\xff\xfd\x1f/dev/nand3 on /mnt/nand3 "
                                                      b"type ext2 (rw)\r\nbash-2.04# ", None, 0, True, None, [])]:
            with self.subTest(modes=modes, answer=answer):
                client = self.client(sim := self.simulator(modes, option_wait=0.5))
                client.arrivals, client.text, client.answer = [], "", answer
                client.socket.sendall(line.encode() + b"\r\n")
                if upload:  # after the reply, the rest while the upload is under way
                    client.read_until(PROMPT)
                    sim.put(upload, "/mnt/nand1", lambda block: client.read_bytes(len(wire)))
                client.read_bytes(len(wire))
                events = [event for event in sim.events[sim.events.index("CMD " + line) + 1:] if "STORED" not in event]
                self.assertEqual((b"".join(data for _, data in client.arrivals), events), (wire, announced))
                if pause_after:
                    ends = [len(b"".join(data for _, data in client.arrivals[:i + 1])) for i in range(len(client.arrivals))]
                    i = ends.index(wire.index(pause_after) + len(pause_after))
                    self.assertGreaterEqual(client.arrivals[i + 1][0] - client.arrivals[i][0], least_pause)

    def test_connection_endings(self):
        for mode, line, wire, ending in [
            ("reset=pwd", "pwd", b"", ConnectionResetError), ("drop=pwd", "pwd", b"", EOFError),
            ("hang=pwd", "pwd", b"pwd\r\n", socket.timeout), ("reboot", "reboot", b"reboot\r\nbash-2.04# ", EOFError),
            ("reboot=drop", "reboot", b"reboot\r\n", EOFError), ("reset=root", "root", b"", ConnectionResetError),
            ("reboot=silent", "reboot", b"reboot\r\nbash-2.04# ", socket.timeout)]:
            with self.subTest(mode=mode):
                sim = self.simulator([mode] if "=" in mode else [])
                client = self.client(sim, log_in=line != "root", timeout=1)
                client.read_until("login: " if line == "root" else PROMPT)
                client.text, start = "", time.monotonic()
                client.socket.sendall(line.encode() + b"\r\n")
                with self.assertRaises(ending):
                    while True:
                        client.receive()
                self.assertEqual(client.text.encode("latin-1"), wire)
                self.assertLess(time.monotonic() - start, 2)

    def test_log_in_dialogue(self):
        incorrect = "\r\nLogin incorrect\r\n\r\nQD8400-0042 login: "
        for modes, password, until, answer in [
            (["last-login"], PASSWORD, PROMPT,
             r"\r\nLast login: \w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d from 127\.0\.0\.1\r\nbash-2\.04# "),
            (["last-login"], "guess", "login: ", re.escape(incorrect)),
            (["wrong-password"], PASSWORD, "login: ", re.escape(incorrect))]:
            with self.subTest(modes=modes, password=password):
                client = self.client(self.simulator(modes), log_in=False)
                self.assertRegex(client.log_in(password, until), "^%s$" % answer)

    def test_sandbox_after_a_broken_upload(self):
        for name, folder in ("update.tar", "/mnt/nand1"), ("autoexec.bat", "/mnt/nor"):
            with self.subTest(name=name):
                sim = self.simulator(["ftp-break-upload=" + name])
                with self.assertRaises((ftplib.Error, OSError)):
                    sim.put(name, folder)
                stored = os.path.getsize(os.path.join(sim.instrument, folder[1:], name))
                self.assertLess(stored, os.path.getsize(os.path.join(sim.upgrade, name)) // 2 + 1)

    def test_uploads_at_the_rate_given(self):
        sim = self.simulator(["ftp-rate-upload=update.tar:8192"])
        started = time.monotonic()
        sim.put("update.tar", "/mnt/nand1")
        self.assertGreater(time.monotonic() - started, 10240 / 8192 * 0.7)
        self.assertEqual(state.report(sim.instrument, sim.upgrade)["installed"]["bzimage"], "old")

    def test_shell_details(self):
        client = self.client(self.simulator())
        for line, output in [("mkdir /mnt/nor", "mkdir: cannot create directory `/mnt/nor': File exists"),
                             ("mknod --mode=777 /dev/nand2 b 1 2", "mknod: `/dev/nand2': File exists"),
                             ("rm /mnt/none", "rm: cannot remove `/mnt/none': No such file or directory"),
                             ("rm /mnt/nor", "rm: cannot remove `/mnt/nor': Is a directory"),
                             ("rmdir /mnt/none", "rmdir: `/mnt/none': No such file or directory"),
                             ("rmdir /mnt", "rmdir: `/mnt': Directory not empty"),
                             ("date 120508002026", "Sat Dec  5 08:00:00 UTC 2026")]:  # the day padded as date pads it
            self.assertEqual(client.command(line), [line, output, P])
        client.text = ""
        client.socket.sendall(b"pwd\r\0")  # CR NUL ends a line as CR LF does
        self.assertEqual(client.read_prompt(), "pwd\r\n/\r\n" + P)

    def test_normal_firmware_until_rebooted_into_maintenance_mode(self):
        sim = self.simulator(["normal"])
        client = self.client(sim)
        self.assertEqual(len([line for line in client.command("ps aux") if line.endswith("/bin/measure")]), 1)
        sim.server.instrument.reboot_into_maintenance()  # what SIGUSR1 does
        with self.assertRaises(EOFError):  # its session ends with the reboot
            while True:
                client.receive()
        self.assertEqual([line for line in self.client(sim).command("ps aux") if "measure" in line], [])
        self.assertEqual(sim.events.count("MAINTENANCE"), 1)

    def test_one_process_plays_several_instruments(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        fixture = template().name
        played, words = {"127.0.9.1": os.path.join(folder.name, "a"), "127.0.9.2": os.path.join(folder.name, "b")}, []
        for address, root in played.items():
            shutil.copytree(os.path.join(fixture, "instrument"), root, symlinks=True)
            words += ["--address", address, "--root", root]
        command = [sys.executable, os.path.join(SIM, "qd8400sim.py"), "--telnet-port", "0", "--ftp-port", "0"]
        refused = subprocess.run(command + words[:-2], capture_output=True, text=True)
        self.assertIn("give one --root for each --address (1 and 2 given)", refused.stderr)
        process = subprocess.Popen(command + words, stdout=subprocess.PIPE, text=True)
        self.addCleanup(process.stdout.close)
        ports = [int(word.split("=")[1]) for word in process.stdout.readline().split()[1:]]
        for address in played:  # each on the same ports at its own address, with its own sandbox
            client = TelnetClient(ports[0], address=address)
            client.log_in()
            self.assertEqual(client.command("cd /mnt/nand1"), ["cd /mnt/nand1", P])
            client.socket.close()
            put(ports[1], os.path.join(fixture, "upgrade", "update.tar"), "/mnt/nand1", address=address)
        process.terminate()
        events = process.stdout.read().splitlines()
        process.wait()
        for address, root in played.items():
            own = [line.split(" ", 1)[1] for line in events if line.startswith(address + " ")]
            self.assertEqual([line for line in own if not line.startswith("TELNET OPTIONS")],
                             ["TELNET LOGIN root", "CMD cd /mnt/nand1", "FTP LOGIN root",
                              "FTP STORED " + os.path.realpath(os.path.join(root, "mnt/nand1/update.tar"))])
        self.assertEqual(len(events), 2 * 5)

    def test_every_mode_is_used_by_a_test(self):
        upgrade = os.path.join(os.path.dirname(__file__), "..", "..", "tests", "upgrade", "tst_upgrade.cpp")
        with open(__file__) as here, open(upgrade) as there:
            text = here.read() + there.read()
        self.assertEqual([mode for mode in MODES if '"%s' % mode not in text and "%s=" % mode not in text], [])
        with self.assertRaises(KeyError):  # a mode the simulator's code misspells
            Faults(["trickle"]).on("trikle")


if __name__ == "__main__":
    unittest.main()

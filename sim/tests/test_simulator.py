"""The simulated instrument: the upgrade's whole script on every branch, each mode as a client sees it
on the wire, and the failure endings of the script reached by walking it up to their state."""

import ftplib
import os
import re
import socket
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from script import EVENTS, Walk  # noqa: E402
from simulator import PASSWORD, PROMPT, Simulator, TelnetClient  # noqa: E402

import state  # noqa: E402
from faults import MODES, Faults  # noqa: E402

P = "bash-2.04# "
CONSOLE, LS = "\\r\\neth0: link down", "late=ls -alQ --full-time /mnt/"  # CONSOLE: the last line is not the prompt


class Case(unittest.TestCase):
    def simulator(self, modes=(), **options):
        sim = Simulator(modes, **options)
        self.addCleanup(sim.stop)
        return sim

    def client(self, sim, log_in=True, **options):
        client = TelnetClient(sim.telnet_port, **options)
        self.addCleanup(client.socket.close)
        if log_in:
            client.log_in()
        return client


class Script(Case):
    # The branches that the upgrade's own whole runs (tests/upgrade) do not take.
    def test_whole_script_on_every_branch(self):
        every = "5711 5721 5741 5751 5511 5521 5561 5571 5581 5565 7091 7101 7111 7121"
        for modes, options, optional in [
            ((), dict(autoexec=False, prod=False, same_kernel=True, same_rootfs=True), ""),
            ((), dict(same_autoexec=True, same_prod=True), every.replace("5751 ", "").replace("5571 ", ""))]:
            with self.subTest(modes=modes, options=options):
                sim = self.simulator(modes, **options)
                before = state.report(sim.instrument, sim.upgrade)
                walk = Walk(sim)
                self.assertEqual(walk.result, ("end", None))
                self.assertEqual([s for s in walk.path if s in every.split()], optional.split())
                after = state.report(sim.instrument, sim.upgrade)
                self.assertEqual(after["installed"], {name: "new" if os.path.exists(os.path.join(sim.upgrade, name))
                                                      else "old" for name in state.INSTALLED})
                self.assertEqual((before["unpacked"], after["unpacked"]), ({"qd8nand.tar": False, "qd8nand3.tar": False},
                                                                           {"qd8nand.tar": True, "qd8nand3.tar": True}))
                self.assertEqual((after["reboots"], after["backups"]), (1, []))

    # state, first failing check (None: it passes), modes: sim/README.md's tested rows that tests/upgrade leaves out
    ENDINGS = [
        ("1022", "T", ["not-qd8400"]), ("1022", "P", ["not-qd8400=[bash-2.04#] "]), ("1033", "CWD", ["wrong-cwd"]),
        ("2011", "WORDS", ["not-maintenance"]), ("2011", "WORDS", ["not-maintenance=QDCom"]),
        ("2231", "L21", ["ramdisk-report-lines=20"]), ("4041", None, ["late=rm -f update*:\\r\\n:upload=update.tar"]),
        ("5011", None, ["rm-messages=bzimage2", "rm-messages=cmp", "rm-messages=update*"]),
        ("5011", "S", ["reply=rm -f /mnt/nand2/upgrback/*#2:rm: cannot remove `x': Is a directory\\r\\n" + P]),
        ("1341", "S", ["reply=rmdir /mnt/nand2/upgrnew#2:rmdir: `/mnt/nand2/upgrnew': Directory not empty\\r\\n" + P]),
        ("1341", "S", ["rmdir-error=/mnt/nand2/upgrnew"]), ("5731", "S", [LS + "nor:\\r\\n:upload=autoexec.bat"]),
        ("5711", "S", ["reply=cp /mnt/nor:cp: reading `/mnt/nor/autoexec.bat': Input/output error\\r\\n" + P]),
        ("5731", "P", [LS + "nor:" + CONSOLE + ":upload=autoexec.bat"]), ("5751", "S", ["rm-error=/mnt/nor/autoexec.bat"]),
        ("5591", "S", ["rm-error=/mnt/nand2/upgrnew/qd8prod.rfs"]), ("5561", "V", ["cmp-odd=qd8prod.rfs"]),
        ("5541", "S", [LS + "nand1/qd8prod.rfs:\\r\\n:upload=qd8prod.rfs"]), ("7111", "S", ["rm-error=/mnt/nand1/qd8400.rfs"]),
        ("5541", "P", [LS + "nand1/qd8prod.rfs:" + CONSOLE + ":upload=qd8prod.rfs"]),
        ("5565", "V", ["reply=/mnt/nand1/cmp /mnt/nand1/qd8prod.rfs#2:cmp: EOF on /mnt/nand1/qd8prod.rfs\\r\\n" + P]),
        ("5571", "S", ["rm-error=/mnt/nand1/qd8prod.rfs"]), ("6031", "SIZES", ["backup-size-differs=bzimage"]),
        ("6041", "L4", ["reply=ls -alQ --full-time /mnt/nand1/qd8400.rfs:" + P]),
        ("6041", ">bzimage", ["ftp-refuse-upload=bzimage:553:Could not create file."]),
        ("6041", ">qd8400.rfs", ["ftp-break-upload=qd8400.rfs"]), ("5071", ">qd8nand.tar", ["ftp-break-upload=qd8nand.tar"]),
        ("7011", "L4", [LS + "nand1/qd8400.rfs:x\\r\\n:upload=bzimage"]), ("9051", "FULL", ["tar-disk-full=qd8nand3.tar"]),
        ("7011", None, [LS + "nand1/qd8400.rfs:\\r\\n:upload=bzimage"]), ("9031", "S", ["rm-messages=/mnt/nand2/qd8nand.tar"]),
        ("7021", "S", [LS + "nand1/qd8400.rfs:\\r\\n:upload=qd8400.rfs"]),
        ("5071", "P", ["reply=cd /mnt/nand2#1:" + P + CONSOLE + "\\r\\n"]),
        ("5071", ">qd8nand3.tar", ["ftp-stall-upload=qd8nand3.tar:65536"]),
        ("9011", "S", ["reply=cd /mnt/nand2#2:bash: cd: /mnt/nand2: Input/output error\\r\\n" + P]),
        ("9061", "S", ["rm-messages=/mnt/nand3/qd8nand3.tar"]),
        ("10011", "P", ["reply=reboot:" + P + "\\r\\nINIT: Switching to runlevel: 6\\r\\n"]),
    ]

    def test_failure_endings(self):
        for state_, check, modes in self.ENDINGS:
            with self.subTest(state=state_, modes=modes):
                until = state_ if check is None or state_ in EVENTS else None
                self.assertEqual(Walk(self.simulator(modes), until=until, timeout=2.5).result, (state_, check))


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

    def test_every_mode_is_used_by_a_test(self):
        upgrade = os.path.join(os.path.dirname(__file__), "..", "..", "tests", "upgrade", "tst_upgrade.cpp")
        with open(__file__) as here, open(upgrade) as there:
            text = here.read() + there.read()
        self.assertEqual([mode for mode in MODES if '"%s' % mode not in text and "%s=" % mode not in text], [])
        with self.assertRaises(KeyError):  # a mode the simulator's code misspells
            Faults(["trickle"]).on("trikle")


if __name__ == "__main__":
    unittest.main()

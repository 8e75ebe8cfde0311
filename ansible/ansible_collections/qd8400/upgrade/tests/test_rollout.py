"""The collection against simulated instruments on loopback addresses with QD_CLI, from a runner that is not
localhost (an inventory host of its own address), instruments named by address and by name."""

import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

COLLECTIONS = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "..", ".."))
sys.path.insert(0, os.path.join(os.path.dirname(COLLECTIONS), "sim"))

import fixtures  # noqa: E402
import qd8400sim  # noqa: E402

PROGRAM = os.environ.get("QD_CLI", "")
NET = "127.0.70."
READ_ONLY = ["cd /mnt/nand1", "pwd", "ps aux"]
PLAYBOOK = ["ansible-playbook", "qd8400.upgrade.upgrade", "-e", "qd8400_serial=1", "-e", "qd8400_max_fail_percentage=0"]
RECAP = re.compile(r"^(\S+)\s+: ok=\d+\s+changed=(\d+)\s+unreachable=0\s+failed=(\d+)", re.M)
# Each instrument's name and simulator modes (None: no simulator, so refused); the first is named by address.
FLEET = [(NET + "1", []), ("faulty", ["rm-error=bzimage2"]), ("unready", ["not-maintenance"]), ("down", None),
         ("halting", ["cmp-odd=qd8400.rfs"])]


class Instrument:
    """A simulator in this process over fresh fixtures, the commands it was sent, an awaited line's event."""

    awaited = (None, None)

    def __init__(self, work, address, ports, modes):
        self.root, self.upgrade = os.path.join(work, address), os.path.join(work, address + ".upgrade")
        fixtures.make_upgrade(self.upgrade)
        fixtures.make_instrument(self.root, self.upgrade)
        self.commands = []
        self.server = qd8400sim.Simulator(address, ports[0], ports[1], self.root, modes, self.announce, option_wait=2)
        self.ports = (self.server.telnet_port, self.server.ftp_port)

    def announce(self, line):
        if line.startswith("CMD "):
            self.commands.append(line[4:])
        if line == self.awaited[0]:
            self.awaited[1].set()


class Rollout(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.work.cleanup)
        cls.instruments, ports, hosts = {}, (0, 0), {}
        for index, (name, modes) in enumerate(FLEET, 1):
            hosts[name] = {} if name.startswith(NET) else {"ansible_host": NET + str(index)}
            if modes is not None:
                cls.instruments[name] = Instrument(cls.work.name, NET + str(index), ports, modes)
                cls.addClassCleanup(cls.instruments[name].server.stop)
                ports = cls.instruments[FLEET[0][0]].ports
        cls.logs = os.path.join(cls.work.name, "logs")
        cls.group_vars = {"qd8400_folder": cls.instruments[FLEET[0][0]].upgrade, "qd8400_log_dir": cls.logs,
                          "qd8400_program": PROGRAM, "qd8400_telnet_port": ports[0], "qd8400_ftp_port": ports[1],
                          "qd8400_time_scale": 0.1, "qd8400_runner": "runner", "qd8400_poll": 1}
        cls.inventory = cls.write_inventory("inventory.json", hosts)
        cls.environment = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=COLLECTIONS, ANSIBLE_HOME=cls.work.name,
                               ANSIBLE_NOCOLOR="1", ANSIBLE_STDOUT_CALLBACK="default")

    @classmethod
    def write_inventory(cls, name, hosts):
        runner = {"ansible_host": NET + "100", "ansible_connection": "local",
                  "ansible_python_interpreter": "/usr/bin/python3"}
        path = os.path.join(cls.work.name, name)
        with open(path, "w") as output:
            json.dump({"runners": {"hosts": {"runner": runner}}, "qd8400": {"hosts": hosts, "vars": cls.group_vars}},
                      output)
        return path

    def ansible(self, *arguments):
        done = subprocess.run(list(arguments), cwd=self.work.name, env=self.environment, capture_output=True,
                              text=True)
        print(done.stdout, done.stderr, sep="\n")
        return done

    def playbook(self, *options, inventory=None):
        done = self.ansible(*PLAYBOOK, "-i", inventory or self.inventory, *options)
        failures = re.findall(r"^fatal: \[(\S+?)(?: -> runner\(%s100\))?\]: FAILED! => (.*)$" % re.escape(NET),
                              done.stdout, re.M)
        return done.returncode, RECAP.findall(done.stdout), {name: json.loads(text) for name, text in failures}

    def assertFailures(self, failures, expected):
        for name, (result, changed, said) in expected.items():
            with self.subTest(name):
                failure = failures[name]
                self.assertEqual((failure["result"], failure["changed"]), (result, changed))
                self.assertTrue(failure["msg"].startswith(said) and failure["msg"].endswith(
                    ("The instrument was changed: its log tells how far the upgrade went." if changed else
                     "Nothing was changed on the instrument.") + " Log: " + failure["log"]), failure["msg"])

    def test_fleet_check_rolling_upgrade_and_the_rest(self):
        # Every instrument is checked, whatever serial and max_fail_percentage say for the upgrade.
        rc, recap, failures = self.playbook("--check")
        self.assertEqual((rc, recap), (2, [(NET + "1", "1", "0"), ("down", "0", "1"), ("faulty", "1", "0"),
                                           ("halting", "1", "0"), ("unready", "0", "1")]))
        self.assertEqual({name: sim.commands for name, sim in self.instruments.items()},
                         dict.fromkeys(self.instruments, READ_ONLY))

        # Interrupted once its upgrade has changed the first instrument, the rollout leaves that upgrade to run on
        # and hold the instrument: a re-run is refused at once, without changing it.
        first = self.instruments[NET + "1"]
        first.awaited = ("CMD rm -f bzimage2", threading.Event())
        interrupted = subprocess.Popen(PLAYBOOK + ["-i", self.inventory], cwd=self.work.name, env=self.environment,
                                       preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        self.assertTrue(first.awaited[1].wait(120))
        interrupted.send_signal(signal.SIGINT)
        self.assertEqual(interrupted.wait(), 99)
        rc, recap, failures = self.playbook()
        self.assertEqual((rc, recap), (2, [(NET + "1", "0", "1")]))
        self.assertFailures(failures, {NET + "1": ("not-started", False, "not-started: %s1 is being upgraded by "
                                                   "process " % NET)})
        # Once that upgrade has ended, the rollout runs and stops at its first failure, one after a change.
        held = re.search(r"; log (.*)\)", failures[NET + "1"]["msg"]).group(1)
        while not os.path.exists(os.path.join(os.path.dirname(held), "result.json")):
            time.sleep(0.1)
        rc, recap, failures = self.playbook()
        self.assertEqual((rc, recap), (2, [(NET + "1", "1", "0"), ("faulty", "0", "1")]))
        self.assertFailures(failures, {"faulty": ("failed", True, "failed at 'Cleaning previous upgrade': The QD8400 "
                                                  "you are attempting to upgrade has failed to acknowledge a command")})

        # The rest in one batch, whatever fails: nothing changed on those that refused, a halt after changes.
        rc, recap, failures = self.playbook("--limit", "unready,down,halting", "-e", "qd8400_serial=3", "-e",
                                            "qd8400_max_fail_percentage=100")
        self.assertEqual((rc, [row[0] for row in recap]), (2, ["down", "halting", "unready"]))
        self.assertFailures(failures, {
            "unready": ("failed", False, "failed at 'Checking maintenance mode.': The QD8400"),
            "down": ("failed", False, "failed at 'Connecting to QD8400."),
            "halting": ("halted", True, "halted at 'Content checking new root file system file' (state 7081).")})

        # A check of the halted instrument keeps the halt's record.
        halt = os.path.join(os.path.dirname(failures["halting"]["log"]), "result.json")
        self.assertEqual(self.playbook("--check", "--limit", "halting")[:2], (0, [("halting", "1", "0")]))
        with open(halt) as record:
            self.assertEqual(json.load(record)["result"], "halted")

    def test_refusals(self):
        two_names = self.write_inventory("twice.json", {"one": {"ansible_host": NET + "1"},
                                                        "other": {"ansible_host": NET + "1"}})
        rc, recap, failures = self.playbook("--check", inventory=two_names)
        self.assertEqual((rc, recap), (2, [("one", "0", "1"), ("other", "0", "1")]))
        self.assertIn("one and other are one instrument, %s1 from the runner runner: give each instrument one "
                      "inventory host." % NET, failures["one"]["msg"])
        for arguments, expected in [
            ("folder=/tmp address=%s1 program=/nonexistent/qd8400-upgrade" % NET,
             "/nonexistent/qd8400-upgrade is not a program on the runner: install the qd8400upgrade package there"),
            ("folder=%s address=%s1 time_scale=2 program=%s" % (self.group_vars["qd8400_folder"], NET, PROGRAM),
             "--time-scale needs a number from 0.001 to 1, not 2.0"),
        ]:
            with self.subTest(arguments):
                done = self.ansible("ansible", "-i", self.inventory, "runner", "-m", "qd8400.upgrade.firmware",
                                    "-a", arguments)
                self.assertTrue(done.returncode == 2 and expected in done.stdout)


if __name__ == "__main__":
    unittest.main()

"""The collection against three simulated instruments on loopback addresses, run from here with QD_CLI."""

import json
import os
import re
import subprocess
import tempfile
import threading
import unittest

COLLECTIONS = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", "..", ".."))
SIM = os.path.join(os.path.dirname(COLLECTIONS), "sim")
PYTHON = "/usr/bin/python3"
PROGRAM = os.environ.get("QD_CLI", "")
ADDRESSES = ["127.0.25.1", "127.0.25.2", "127.0.25.3"]
READ_ONLY = ["cd /mnt/nand1", "pwd", "ps aux"]
NOT_ACKNOWLEDGED = ("failed: The QD8400 you are attempting to upgrade has failed to acknowledge a command in the "
                    "expected way. Please report this to your Brimlux instrument support.")
RECAP = re.compile(r"^(\S+)\s+: ok=(\d+)\s+changed=(\d+)\s+unreachable=(\d+)\s+failed=(\d+)", re.M)


def simulator_tool(name, *arguments, **options):
    return subprocess.run([PYTHON, os.path.join(SIM, name), *arguments], check=True, text=True, **options)


class Instrument:
    """A simulator over fresh fixtures; it has started once it announces its ports."""

    def __init__(self, work, index, ports, modes):
        self.root = os.path.join(work, "instrument%d" % index)
        self.upgrade = os.path.join(work, "upgrade%d" % index)
        self.transcript = self.root + ".transcript"
        open(self.transcript, "w").close()
        simulator_tool("fixtures.py", "--instrument", self.root, "--upgrade", self.upgrade, stdout=subprocess.DEVNULL)
        command = [PYTHON, os.path.join(SIM, "qd8400sim.py"), "--address", ADDRESSES[index], "--root", self.root,
                   "--telnet-port", str(ports[0]), "--ftp-port", str(ports[1]), "--transcript", self.transcript,
                   "--option-wait", "2"] + ["--mode=" + mode for mode in modes]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
        ready = self.process.stdout.readline().split()
        if not ready or ready[0] != "READY":
            raise RuntimeError("the simulator at %s did not start" % ADDRESSES[index])
        self.ports = tuple(int(part.split("=")[1]) for part in ready[1:])
        threading.Thread(target=self.process.stdout.read, daemon=True).start()

    def commands(self):
        with open(self.transcript) as transcript:
            return transcript.read().splitlines()

    def state(self):
        report = simulator_tool("state.py", "--instrument", self.root, "--upgrade", self.upgrade, capture_output=True)
        return json.loads(report.stdout)

    def stop(self):
        self.process.terminate()
        self.process.wait()


class Rollout(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.work.cleanup)
        cls.instruments = []
        ports = (0, 0)
        for index, modes in enumerate([[], ["rm-error=bzimage2"], []]):
            cls.instruments.append(Instrument(cls.work.name, index, ports, modes))
            cls.addClassCleanup(cls.instruments[-1].stop)
            ports = cls.instruments[0].ports
        cls.logs = os.path.join(cls.work.name, "logs")
        inventory = {
            "runners": {"hosts": {"localhost": {"ansible_connection": "local", "ansible_python_interpreter": PYTHON}}},
            "qd8400": {"hosts": {"qd-%d" % n: {"ansible_host": address} for n, address in enumerate(ADDRESSES, 1)},
                       "vars": {"qd8400_folder": cls.instruments[0].upgrade, "qd8400_log_dir": cls.logs,
                                "qd8400_program": PROGRAM, "qd8400_telnet_port": ports[0],
                                "qd8400_ftp_port": ports[1], "qd8400_time_scale": 0.1}},
        }
        cls.inventory = os.path.join(cls.work.name, "inventory.json")
        with open(cls.inventory, "w") as output:
            json.dump(inventory, output)

    def ansible(self, *arguments):
        environment = dict(os.environ, ANSIBLE_COLLECTIONS_PATH=COLLECTIONS, ANSIBLE_HOME=self.work.name,
                           ANSIBLE_NOCOLOR="1", ANSIBLE_STDOUT_CALLBACK="default")
        done = subprocess.run(list(arguments), cwd=self.work.name, env=environment, capture_output=True, text=True)
        print(done.stdout, done.stderr, sep="\n")
        return done

    def playbook(self, *options):
        return self.ansible("ansible-playbook", "-i", self.inventory, "qd8400.upgrade.upgrade", "-e", "qd8400_serial=1",
                            "-e", "qd8400_max_fail_percentage=0", *options)

    def test_check_then_rolling_upgrade(self):
        check = self.playbook("--check")
        self.assertEqual((check.returncode, RECAP.findall(check.stdout)),
                         (0, [("qd-%d" % n, "2", "0", "0", "0") for n in (1, 2, 3)]))
        self.assertEqual([instrument.commands() for instrument in self.instruments], [READ_ONLY] * 3)

        rolling = self.playbook("-v")
        self.assertEqual((rolling.returncode, RECAP.findall(rolling.stdout)),
                         (2, [("qd-1", "3", "1", "0", "0"), ("qd-2", "2", "0", "0", "1")]))
        first, second, third = self.instruments
        self.assertEqual((first.state()["installed"], first.state()["reboots"]),
                         ({"autoexec.bat": "new", "bzimage": "new", "qd8400.rfs": "new", "qd8prod.rfs": "new"}, 1))
        log = os.path.join(self.logs, ADDRESSES[0], "logfile.txt")
        self.assertTrue('"log": "%s"' % log in rolling.stdout and os.path.isfile(log))
        failure = re.search(r"^fatal: \[qd-2 -> localhost\]: FAILED! => (.*)$", rolling.stdout, re.M)
        self.assertEqual(json.loads(failure.group(1))["msg"], NOT_ACKNOWLEDGED)
        self.assertEqual((second.commands()[-1], third.commands()), ("rm -f bzimage2", READ_ONLY))

    def test_module_refusals(self):
        for arguments, expected in [
            ("folder=/tmp address=127.0.25.1 program=/nonexistent/qd8400-upgrade",
             "/nonexistent/qd8400-upgrade is not a program on the runner: install the qd8400upgrade package there"),
            ("folder=/tmp address=127.0.25.1 program=qd8400-upgrade-nowhere",
             "qd8400-upgrade-nowhere is not on the runner's PATH: install the qd8400upgrade package there"),
            ("folder=/tmp address=127.0.25.1 telnet_port=twenty-three",
             "argument 'telnet_port' is of type <class 'str'> and we were unable to convert to int"),
            ("folder=%s address=127.0.25.1 time_scale=2 program=%s" % (self.instruments[0].upgrade, PROGRAM),
             "--time-scale needs a number from 0.001 to 1, not 2.0"),
        ]:
            with self.subTest(arguments):
                done = self.ansible("ansible", "-i", self.inventory, "localhost", "-m", "qd8400.upgrade.firmware",
                                    "-a", arguments)
                self.assertTrue(done.returncode == 2 and expected in done.stdout)

    def test_documentation(self):
        done = self.ansible("ansible-doc", "qd8400.upgrade.firmware")
        for part in ["= address", "= folder", "- time_scale", "RETURN VALUES:", "- log", "- message", "EXAMPLES:"]:
            self.assertIn(part, done.stdout)

if __name__ == "__main__":
    unittest.main()

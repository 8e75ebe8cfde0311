"""The simulated instrument: the healthy command sequence of an upgrade, and every fault mode."""

import filecmp
import ftplib
import os
import socket
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from simulator import PROMPT, Simulator, TelnetClient, ends_in_prompt, silent  # noqa: E402

import state  # noqa: E402

MEASUREMENT_WORDS = ("measure", "frontend", "qdcom")


class SimulatorCase(unittest.TestCase):
    modes = ()
    fixture_options = {}

    def setUp(self):
        self.sim = Simulator(self.modes, **self.fixture_options)
        self.addCleanup(self.sim.stop)

    def session(self):
        client = TelnetClient(self.sim.telnet_port)
        self.addCleanup(client.close)
        client.log_in()
        return client

    def assertSilent(self, client, line):
        lines = client.command(line)
        self.assertTrue(silent(lines), "%s printed %r" % (line, lines))

    def listing_sizes(self, client, first, second):
        lines = client.command("ls -alQ --full-time %s %s" % (first, second))
        self.assertEqual(len(lines), 4, lines)
        self.assertTrue(all(line.rstrip().endswith('"') for line in lines[1:3]), lines)
        return [int(line.split()[4]) for line in lines[1:3]]


class HealthyUpgrade(SimulatorCase):
    def test_negotiation_and_log_in(self):
        client = TelnetClient(self.sim.telnet_port)
        self.addCleanup(client.close)
        greeting = client.log_in()
        self.assertTrue(greeting.endswith(PROMPT + " "))
        self.assertIn((253, 24), client.requests)  # DO TERMINAL-TYPE
        self.assertIn((253, 31), client.requests)  # DO NAWS
        self.assertIn((251, 1), client.requests)  # WILL ECHO
        self.assertIn((251, 3), client.requests)  # WILL SUPPRESS-GO-AHEAD
        # The options come first, the log-in prompt after a pause in a later segment.
        self.assertNotIn(b"login: ", client.first_arrival)

    def test_whole_upgrade_sequence(self):
        sim, c = self.sim, self.session()
        self.assertSilent(c, "cd /mnt/nand1")
        self.assertEqual(c.command("pwd")[1:], ["/mnt/nand1", PROMPT + " "])
        processes = c.command("ps aux")
        self.assertTrue(ends_in_prompt(processes))
        self.assertFalse([w for w in MEASUREMENT_WORDS for line in processes[1:-1] if w in line.lower()])
        self.assertEqual(c.command("date 120506302026")[1], "Sat Dec  5 06:30:00 UTC 2026")
        for line in ("rm -f bzimage2", "rm -f cmp", "rm -f update*"):
            self.assertSilent(c, line)
        self.assertEqual(c.command("/mnt/nand1/cmp a b")[1], "bash: /mnt/nand1/cmp: No such file or directory")
        sim.put("update.tar", "/mnt/nand1/update.tar")
        self.assertEqual([line.strip() for line in c.command("tar -xvf update.tar")[1:]],
                         ["cmp", "tar: cmp: Cannot utime: No such file or directory",
                          "tar: cmp: Cannot change ownership to uid 0, gid 0: No such file or directory",
                          "tar: Error exit delayed from previous errors", PROMPT])
        # RAM disk and nand4.
        umount = c.command("umount /dev/ramdisk2")
        self.assertEqual(len(umount), 3)
        self.assertIn("not found", umount[1])
        self.assertSilent(c, "mknod --mode=777 /dev/ramdisk2 b 1 2")
        report = c.command("mke2fs -m 0 /dev/ramdisk2")
        self.assertEqual(len(report), 21)
        self.assertEqual(report[20].strip(), PROMPT)
        self.assertSilent(c, "mkdir /mnt/ramdisk2")
        for line in ("mount /dev/ramdisk2 /mnt/ramdisk2", "mkdir /mnt/nand4", "mount /dev/nand4 /mnt/nand4",
                     "rm -r -f /mnt/nand4/bmxsys/dbg/* > /dev/null",
                     "rm -r -f /mnt/nand4/bmxsys/recovery/* > /dev/null", "umount /dev/nand4"):
            self.assertSilent(c, line)
        self.assertEqual(os.listdir(os.path.join(sim.instrument, ".devices/nand4/bmxsys/dbg")), [])
        # System and application partitions.
        for device, size in (("nand2", 30774), ("nand3", 16632)):
            self.assertSilent(c, "umount /dev/%s" % device)
            self.assertTrue(ends_in_prompt(c.command("mke2fs -j /dev/%s %d" % (device, size))))
            self.assertSilent(c, "mount /dev/%s" % device)
        self.assertEqual(os.listdir(sim.host("/mnt/nand2")), [])
        # First cleaning pass on a freshly formatted nand2.
        self.assertSilent(c, "rm -f /mnt/nand2/upgrback/*")
        self.assertEqual(c.command("rmdir /mnt/nand2/upgrback")[1],
                         "rmdir: `/mnt/nand2/upgrback': No such file or directory")
        self.assertSilent(c, "rm -f /mnt/nand2/upgrnew/*")
        self.assertEqual(c.command("rmdir /mnt/nand2/upgrnew")[1],
                         "rmdir: `/mnt/nand2/upgrnew': No such file or directory")
        self.assertSilent(c, "mkdir /mnt/nand2/upgrback")
        self.assertSilent(c, "mkdir /mnt/nand2/upgrnew")
        # Start-up file: backed up, transferred as text, different, installed.
        self.assertSilent(c, "cp /mnt/nor/autoexec.bat /mnt/nand2/upgrback")
        first, second = self.listing_sizes(c, "/mnt/nor/autoexec.bat", "/mnt/nand2/upgrback/autoexec.bat")
        self.assertEqual(first, second)
        sim.put("autoexec.bat", "/mnt/nand2/upgrnew/autoexec.bat", text=True)
        self.assertIn("differ", c.command("/mnt/nand1/cmp /mnt/nor/autoexec.bat /mnt/nand2/upgrnew/autoexec.bat")[1])
        self.assertSilent(c, "rm -f /mnt/nor/autoexec.bat")
        self.assertSilent(c, "cp /mnt/nand2/upgrnew/autoexec.bat /mnt/nor/autoexec.bat")
        # Maintenance image.
        self.assertSilent(c, "cp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrback")
        first, second = self.listing_sizes(c, "/mnt/nand1/qd8prod.rfs", "/mnt/nand2/upgrback/qd8prod.rfs")
        self.assertEqual(first, second)
        sim.put("qd8prod.rfs", "/mnt/nand2/upgrnew/qd8prod.rfs")
        compare_prod = "/mnt/nand1/cmp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrnew/qd8prod.rfs"
        self.assertIn("differ", c.command(compare_prod)[1])
        self.assertSilent(c, "rm -f /mnt/nand1/qd8prod.rfs")
        self.assertSilent(c, "cp /mnt/nand2/upgrnew/qd8prod.rfs /mnt/nand1/qd8prod.rfs")
        self.assertSilent(c, compare_prod)
        self.assertSilent(c, "rm -f /mnt/nand2/upgrnew/qd8prod.rfs")
        # Kernel and root file system.
        for name in ("bzimage", "qd8400.rfs"):
            self.assertSilent(c, "cp /mnt/nand1/%s /mnt/nand2/upgrback" % name)
            first, second = self.listing_sizes(c, "/mnt/nand1/" + name, "/mnt/nand2/upgrback/" + name)
            self.assertEqual(first, second)
        sim.put("bzimage", "/mnt/nand2/upgrnew/bzimage")
        sim.put("qd8400.rfs", "/mnt/nand2/upgrnew/qd8400.rfs")
        self.assertIn("differ", c.command("/mnt/nand1/cmp /mnt/nand1/bzimage /mnt/nand2/upgrnew/bzimage")[1])
        self.assertSilent(c, "cp /mnt/nand2/upgrnew/bzimage /mnt/nand1/bzimage2")
        self.assertSilent(c, "mv /mnt/nand1/bzimage2 /mnt/nand1/bzimage")
        self.assertIn("differ", c.command("/mnt/nand1/cmp /mnt/nand1/qd8400.rfs /mnt/nand2/upgrnew/qd8400.rfs")[1])
        self.assertSilent(c, "rm -f /mnt/nand1/qd8400.rfs")
        self.assertSilent(c, "cp /mnt/nand2/upgrnew/qd8400.rfs /mnt/nand1/qd8400.rfs")
        # Second cleaning pass, archives to the RAM disk, unpacking, permissions, reboot.
        for line in ("rm -f /mnt/nand2/upgrback/*", "rmdir /mnt/nand2/upgrback", "rm -f /mnt/nand2/upgrnew/*",
                     "rmdir /mnt/nand2/upgrnew", "cd /mnt/nand2"):
            self.assertSilent(c, line)
        sim.put("qd8nand.tar", "/mnt/ramdisk2/qd8nand.tar")
        sim.put("qd8nand3.tar", "/mnt/ramdisk2/qd8nand3.tar")
        for line in ("cd /mnt/nand2", "tar -xf /mnt/ramdisk2/qd8nand.tar", "rm -f /mnt/nand2/qd8nand.tar",
                     "cd /mnt/nand3", "tar -xf /mnt/ramdisk2/qd8nand3.tar", "rm -f /mnt/nand3/qd8nand3.tar",
                     "chmod u+w *.bin", "chmod u+w *.bmp", "cd home", "chgrp 100 default", "reboot"):
            self.assertSilent(c, line)
        with self.assertRaises((EOFError, ConnectionError)):
            c.read_until("never")
        result = state.report(sim.instrument, sim.upgrade)
        self.assertEqual(result["installed"], dict.fromkeys(state.INSTALLED, "new"))
        self.assertEqual(result["unpacked"], {"qd8nand.tar": True, "qd8nand3.tar": True})
        self.assertEqual(result["reboots"], 1)
        self.assertEqual(result["backups"], [])

    def test_shell_details(self):
        c = self.session()
        self.assertEqual(c.command("frobnicate now")[1], "bash: frobnicate: command not found")
        self.assertEqual(c.command("mkdir /mnt/nor")[1], "mkdir: cannot create directory `/mnt/nor': File exists")
        self.assertEqual(c.command("mknod --mode=777 /dev/nand2 b 1 2")[1], "mknod: `/dev/nand2': File exists")
        self.assertEqual(c.command("umount /dev/nand4")[1], "umount: /dev/nand4: not mounted")
        self.assertSilent(c, "ls > /dev/null")
        self.assertSilent(c, "")
        self.assertEqual(c.command("cd /nowhere")[1], "bash: cd: /nowhere: No such file or directory")
        # CR NUL ends a line as CR LF does.
        c.socket.sendall(b"pwd\r\0")
        self.assertEqual(c.read_until("# ").split("\r\n")[1], "/")

    def test_wrong_password_then_right(self):
        client = TelnetClient(self.sim.telnet_port)
        self.addCleanup(client.close)
        self.assertIn("Login incorrect", client.log_in(password="guess"))
        client.socket.sendall(b"root\r\n")
        client.read_until("Password: ")
        client.socket.sendall(b"k8r2Mq5\r\n")
        self.assertTrue(client.read_until("# ").endswith(PROMPT + " "))


class SameKernelAndRootFileSystem(SimulatorCase):
    fixture_options = {"same_kernel": True, "same_rootfs": True}

    def test_installed_files_compare_equal(self):
        c = self.session()
        c.command("mkdir /mnt/nand2/upgrnew")
        self.sim.put("bzimage", "/mnt/nand2/upgrnew/bzimage")
        self.sim.put("qd8400.rfs", "/mnt/nand2/upgrnew/qd8400.rfs")
        self.sim.put("update.tar", "/mnt/nand1/update.tar")
        c.command("cd /mnt/nand1")
        c.command("tar -xvf update.tar")
        self.assertSilent(c, "/mnt/nand1/cmp /mnt/nand1/bzimage /mnt/nand2/upgrnew/bzimage")
        self.assertSilent(c, "/mnt/nand1/cmp /mnt/nand1/qd8400.rfs /mnt/nand2/upgrnew/qd8400.rfs")


def fault(*modes, **fixture_options):
    return type("Fault", (SimulatorCase,), {"modes": modes, "fixture_options": fixture_options})


class FaultModes(unittest.TestCase):
    """One test per fault mode, each showing the fault the way the upgrade meets it."""

    def run_case(self, modes, check):
        case = fault(*modes)("run")
        case.setUp()
        try:
            check(case)
        finally:
            case.doCleanups()

    def test_single_segment(self):
        def check(case):
            client = TelnetClient(case.sim.telnet_port)
            case.addCleanup(client.close)
            client.read_until("login: ")
            self.assertIn(b"login: ", client.first_arrival)
            self.assertTrue(client.first_arrival.startswith(bytes([255, 253, 24])))
        self.run_case(["single-segment"], check)

    def test_wrong_password(self):
        def check(case):
            client = TelnetClient(case.sim.telnet_port)
            case.addCleanup(client.close)
            client.read_until("login: ")
            client.socket.sendall(b"root\r\n")
            client.read_until("Password: ")
            client.socket.sendall(b"k8r2Mq5\r\n")
            self.assertIn("Login incorrect", client.read_until("login: "))
        self.run_case(["wrong-password"], check)

    def test_not_maintenance(self):
        def check(case):
            lines = case.session().command("ps aux")
            self.assertTrue(any("measure" in line.lower() for line in lines[1:-1]))
            self.assertTrue(any("Measure" in line for line in lines[1:-1]))
        self.run_case(["not-maintenance=Measure"], check)

    def test_not_qd8400(self):
        def check(case):
            client = case.session()
            client.socket.sendall(b"cd /mnt/nand1\r\n")
            text = client.read_until("]# ")
            self.assertNotIn(PROMPT, text.split("\r\n")[-1])
        self.run_case(["not-qd8400"], check)

    def test_wrong_cwd(self):
        self.run_case(["wrong-cwd"], lambda case: self.assertEqual(case.session().command("pwd")[1], "/var/tmp"))

    def test_rm_messages(self):
        def check(case):
            lines = case.session().command("rm -f bzimage2")
            self.assertEqual(lines[1], "rm: cannot remove `bzimage2': No such file or directory")
        self.run_case(["rm-messages"], check)

    def test_rm_error(self):
        def check(case):
            lines = case.session().command("rm -f cmp")
            self.assertEqual(lines[1], "rm: cannot remove `cmp': Read-only file system")
        self.run_case(["rm-error=cmp"], check)

    def test_hang(self):
        def check(case):
            client = case.session()
            with self.assertRaises(socket.timeout):
                client.command("ps aux", timeout=1)
        self.run_case(["hang=ps aux"], check)

    def test_drop(self):
        def check(case):
            client = case.session()
            with self.assertRaises((EOFError, ConnectionError)):
                client.command("date 120506302026")
        self.run_case(["drop=date "], check)

    def test_no_ftp(self):
        def check(case):
            self.assertEqual(case.sim.ftp_port, 0)
        self.run_case(["no-ftp"], check)

    def test_ftp_refuse_login(self):
        def check(case):
            with self.assertRaises(ftplib.error_perm) as refused:
                case.sim.ftp()
            self.assertTrue(str(refused.exception).startswith("530"))
        self.run_case(["ftp-refuse-login"], check)

    def test_ftp_refuse_upload(self):
        def check(case):
            with self.assertRaises(ftplib.error_perm) as refused:
                case.sim.put("update.tar", "/mnt/nand1/update.tar")
            self.assertEqual(str(refused.exception), "553 Could not create file.")
        self.run_case(["ftp-refuse-upload=update.tar:553:Could not create file."], check)

    def test_ftp_break_upload(self):
        def check(case):
            try:
                case.sim.put("qd8400.rfs", "/mnt/nand2/qd8400.rfs")
            except (ftplib.Error, OSError):
                pass
            self.assertLess(os.path.getsize(case.sim.host("/mnt/nand2/qd8400.rfs")), 4 * 1024 * 1024)
        self.run_case(["ftp-break-upload=qd8400.rfs"], check)

    def test_ftp_stall_upload(self):
        def check(case):
            with case.sim.ftp() as client, open(os.path.join(case.sim.upgrade, "qd8400.rfs"), "rb") as source:
                client.sock.settimeout(2)
                with self.assertRaises((socket.timeout, ftplib.Error, OSError)):
                    connection = client.transfercmd("STOR qd8400.rfs")
                    connection.settimeout(2)
                    while True:
                        connection.sendall(source.read(65536) or b"x" * 65536)
        self.run_case(["ftp-stall-upload=qd8400.rfs:65536"], check)

    def test_ramdisk_report_lines(self):
        def check(case):
            client = case.session()
            client.command("mknod --mode=777 /dev/ramdisk2 b 1 2")
            lines = client.command("mke2fs -m 0 /dev/ramdisk2")
            self.assertEqual(len(lines), 20)
            self.assertNotEqual(lines[-1].strip(), lines[20 - 1 - 1].strip())
        self.run_case(["ramdisk-report-lines=18"], check)

    def test_backup_size_differs(self):
        def check(case):
            client = case.session()
            client.command("mkdir /mnt/nand2/upgrback")
            client.command("cp /mnt/nand1/bzimage /mnt/nand2/upgrback")
            lines = client.command("ls -alQ --full-time /mnt/nand1/bzimage /mnt/nand2/upgrback/bzimage")
            sizes = {int(line.split()[4]) for line in lines[1:3]}
            self.assertEqual(len(sizes), 2)
        self.run_case(["backup-size-differs=bzimage"], check)

    def test_cmp_odd(self):
        def check(case):
            client = case.session()
            case.sim.put("update.tar", "/mnt/nand1/update.tar")
            client.command("cd /mnt/nand1")
            client.command("tar -xvf update.tar")
            line = client.command("/mnt/nand1/cmp /mnt/nand1/bzimage /mnt/nand1/bzimage")[1]
            self.assertNotIn("differ", line.lower())
            self.assertNotEqual(line.strip(), PROMPT)
        self.run_case(["cmp-odd"], check)

    def _prod_copies(self, case):
        client = case.session()
        case.sim.put("update.tar", "/mnt/nand1/update.tar")
        client.command("cd /mnt/nand1")
        client.command("tar -xvf update.tar")
        client.command("mkdir /mnt/nand2/upgrnew")
        case.sim.put("qd8prod.rfs", "/mnt/nand2/upgrnew/qd8prod.rfs")
        verdicts = []
        for _ in range(2):
            client.command("rm -f /mnt/nand1/qd8prod.rfs")
            client.command("cp /mnt/nand2/upgrnew/qd8prod.rfs /mnt/nand1/qd8prod.rfs")
            lines = client.command("/mnt/nand1/cmp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrnew/qd8prod.rfs")
            verdicts.append("differ" in lines[1])
        return verdicts

    def test_prod_differs_once(self):
        self.run_case(["prod-differs-once"], lambda case: self.assertEqual(self._prod_copies(case), [True, False]))

    def test_prod_differs_always(self):
        self.run_case(["prod-differs-always"], lambda case: self.assertEqual(self._prod_copies(case), [True, True]))

    def test_tar_disk_full(self):
        def check(case):
            client = case.session()
            case.sim.put("qd8nand.tar", "/tmp/qd8nand.tar")
            client.command("cd /mnt/nand2")
            lines = client.command("tar -xf /tmp/qd8nand.tar")
            self.assertIn("Wrote only", lines[1])
            self.assertTrue(lines[1].endswith("of 10240 bytes"))
        self.run_case(["tar-disk-full=qd8nand.tar"], check)

    def test_tar_quiet(self):
        def check(case):
            client = case.session()
            case.sim.put("update.tar", "/mnt/nand1/update.tar")
            client.command("cd /mnt/nand1")
            self.assertEqual(client.command("tar -xvf update.tar")[1:], ["cmp", PROMPT + " "])
        self.run_case(["tar-quiet"], check)

    def test_rmdir_error(self):
        def check(case):
            line = case.session().command("rmdir /mnt/nand2/upgrback")[1]
            self.assertEqual(line, "rmdir: `/mnt/nand2/upgrback': Device or resource busy")
        self.run_case(["rmdir-error=/mnt/nand2/upgrback"], check)

    def test_every_mode_is_tested(self):
        from faults import MODES
        tested = {name[len("test_"):].replace("_", "-") for name in dir(self) if name.startswith("test_")}
        self.assertEqual(set(MODES) - tested, set())


class FixtureFolders(unittest.TestCase):
    def test_upgrade_folder_differs_from_instrument(self):
        sim = Simulator(autoexec=False, prod=False)
        self.addCleanup(sim.stop)
        self.assertFalse(os.path.exists(os.path.join(sim.upgrade, "autoexec.bat")))
        self.assertFalse(os.path.exists(os.path.join(sim.upgrade, "qd8prod.rfs")))
        self.assertFalse(filecmp.cmp(os.path.join(sim.upgrade, "bzimage"), sim.host("/mnt/nand1/bzimage"), False))
        result = state.report(sim.instrument, sim.upgrade)
        self.assertEqual(result["installed"]["bzimage"], "old")
        self.assertEqual(result["unpacked"], {"qd8nand.tar": False, "qd8nand3.tar": False})
        self.assertEqual(result["mounts"], {"nand2": "/mnt/nand2", "nand3": "/mnt/nand3"})


if __name__ == "__main__":
    unittest.main()

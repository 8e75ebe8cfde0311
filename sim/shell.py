"""The maintenance shell of the instrument: bash 2.04 on a small embedded Linux of about 2001,
carrying out every command the upgrade sends over the sandbox folder, with that system's outputs."""

import datetime
import fnmatch
import os
import shutil
import stat
import tarfile
import time

from sandbox import FSTAB, Sandbox, SandboxError

PROMPT = "bash-2.04# "
COMPARED_BLOCK = 1 << 20  # bytes cmp reads of each file at a time
OTHER_PROMPT = "[root@ws-0815 /]# "

PROCESSES = [
    "USER       PID %CPU %MEM   VSZ  RSS TTY      STAT START   TIME COMMAND",
    "root         1  0.0  0.4  1284  480 ?        S    09:00   0:04 init",
    "root         2  0.0  0.0     0    0 ?        SW   09:00   0:00 [keventd]",
    "root         3  0.0  0.0     0    0 ?        SWN  09:00   0:00 [ksoftirqd_CPU0]",
    "root         4  0.0  0.0     0    0 ?        SW   09:00   0:00 [kswapd]",
    "root         5  0.0  0.0     0    0 ?        SW   09:00   0:00 [bdflush]",
    "root         6  0.0  0.0     0    0 ?        SW   09:00   0:00 [kupdated]",
    "root         7  0.0  0.0     0    0 ?        SW   09:00   0:00 [mtdblockd]",
    "root        42  0.0  0.5  1340  560 ?        S    09:00   0:00 /sbin/syslogd",
    "root        45  0.0  0.4  1296  452 ?        S    09:00   0:00 /sbin/klogd",
    "root        61  0.0  0.6  1408  612 ?        S    09:00   0:00 /usr/sbin/inetd",
    "root        63  0.0  0.7  1520  704 ?        S    09:00   0:00 /usr/sbin/ftpd -D",
    "root        77  0.0  0.5  1312  540 ttyS0    S    09:00   0:00 /sbin/getty 115200 ttyS0",
    "root       102  0.0  0.8  1788  876 ?        S    09:01   0:00 in.telnetd",
    "root       103  0.1  1.2  2276 1244 pts/0    S    09:01   0:00 -bash",
    "root       118  0.0  0.9  2548  904 pts/0    R    09:01   0:00 ps aux",
]

MKE2FS_RAMDISK = [
    "mke2fs 1.19, 13-Jul-2000 for EXT2 FS 0.5b, 95/08/09",
    "Filesystem label=",
    "OS type: Linux",
    "Block size=1024 (log=0)",
    "Fragment size=1024 (log=0)",
    "4096 inodes, 16384 blocks",
    "0 blocks (0.00%) reserved for the super user",
    "First data block=1",
    "2 block groups",
    "8192 blocks per group, 8192 fragments per group",
    "2048 inodes per group",
    "Superblock backups stored on blocks: ",
    "\t8193",
    "",
    "Writing inode tables: done                            ",
    "Writing superblocks and filesystem accounting information: done",
    "",
    "This filesystem will be automatically checked every 20 mounts or",
    "180 days, whichever comes first.  Use tune2fs -c or -i to override.",
]

MKE2FS_JOURNAL = [
    "mke2fs 1.19, 13-Jul-2000 for EXT2 FS 0.5b, 95/08/09",
    "Filesystem label=",
    "OS type: Linux",
    "Block size=1024 (log=0)",
    "Fragment size=1024 (log=0)",
    "{inodes} inodes, {blocks} blocks",
    "{reserved} blocks (5.00%) reserved for the super user",
    "First data block=1",
    "{groups} block groups",
    "8192 blocks per group, 8192 fragments per group",
    "{per_group} inodes per group",
    "Superblock backups stored on blocks: ",
    "\t8193, 24577",
    "",
    "Writing inode tables: done                            ",
    "Creating journal (1024 blocks): done",
    "Writing superblocks and filesystem accounting information: done",
]

TAR_OWNER_ERRORS = [
    "tar: {name}: Cannot utime: No such file or directory",
    "tar: {name}: Cannot change ownership to uid 0, gid 0: No such file or directory",
]


def named_moment(text):
    """The moment date's argument MMDDhhmmYYYY names; ValueError when it names none. Twelve digits,
    the form the upgrade sends, are read directly; other forms go to strptime, which reads them in
    the same way and accepts a few shorter ones (a one-digit month)."""
    if len(text) == 12 and text.isascii() and text.isdigit():
        return datetime.datetime(int(text[8:]), int(text[:2]), int(text[2:4]), int(text[4:6]), int(text[6:8]))
    return datetime.datetime.strptime(text, "%m%d%H%M%Y")


class Out(str):
    """A line the command writes to its standard output; every other line is an error message."""


def out(lines):
    return [Out(text) for text in lines]


class Result:
    """What one command line does: the lines it prints and what happens to the session."""

    def __init__(self, lines=None, reboot=False):
        self.lines = lines or []
        self.reboot = reboot


class Shell:
    def __init__(self, sandbox: Sandbox, faults, clock=time.time, normal=lambda: False):
        self.sandbox = sandbox
        self.faults = faults
        self.clock = clock
        self.normal = normal  # whether the instrument runs its normal firmware
        self.cwd = "/"
        self.prompt = PROMPT
        self.copies_of_prod = 0

    # The command line

    def run(self, line):
        words = line.split()
        discard = False
        if ">" in words:
            at = words.index(">")
            discard = words[at + 1:at + 2] == ["/dev/null"]
            words = words[:at]
        result = self._dispatch(words)
        if discard:
            result.lines = [text for text in result.lines if not isinstance(text, Out)]
        if self.faults.on("not-qd8400"):
            self.prompt = self.faults.argument("not-qd8400", OTHER_PROMPT)
        return result

    def _dispatch(self, words):
        if not words:
            return Result()
        name, args = words[0], words[1:]
        if name.startswith("/"):
            return self._run_program(name, args)
        handler = getattr(self, "cmd_" + name.replace("-", "_"), None)
        if handler is None:
            return Result(["bash: %s: command not found" % name])
        return handler(args)

    def _run_program(self, path, args):
        host = self.sandbox.host(path, self.cwd)
        if not os.path.isfile(host):
            return Result(["bash: %s: No such file or directory" % path])
        if not os.access(host, os.X_OK):
            return Result(["bash: %s: Permission denied" % path])
        if os.path.basename(path) == "cmp":
            return self.cmd_cmp(args)
        return Result(["bash: %s: cannot execute binary file" % path])

    # Paths and globs

    def host(self, path):
        return self.sandbox.host(path, self.cwd)

    def expand(self, args):
        """bash's pathname expansion: a pattern that matches nothing stays as it is."""
        expanded = []
        for arg in args:
            if any(c in arg for c in "*?[") and not arg.startswith("-"):
                base = self.host(os.path.dirname(arg) or ".")
                pattern = os.path.basename(arg)
                names = sorted(n for n in (os.listdir(base) if os.path.isdir(base) else [])
                               if fnmatch.fnmatchcase(n, pattern) and not n.startswith("."))
                prefix = os.path.dirname(arg)
                expanded.extend([os.path.join(prefix, n) if prefix else n for n in names] or [arg])
            else:
                expanded.append(arg)
        return expanded

    @staticmethod
    def split_options(args):
        options = "".join(a[1:] for a in args if a.startswith("-") and not a.startswith("--"))
        long_options = [a for a in args if a.startswith("--")]
        operands = [a for a in args if not a.startswith("-")]
        return options, long_options, operands

    # Commands

    def cmd_cd(self, args):
        target = Sandbox.normalise(args[0] if args else "/", self.cwd)
        if not os.path.isdir(self.sandbox.host(target)):
            return Result(["bash: cd: %s: No such file or directory" % args[0]])
        self.cwd = target
        return Result()

    def cmd_pwd(self, args):
        return Result(out(["/var/tmp" if self.faults.on("wrong-cwd") else self.cwd]))

    def cmd_ps(self, args):
        lines = list(PROCESSES)
        for name in self.faults.arguments("not-maintenance") + ([""] if self.normal() else []):
            lines.insert(-3, "root        88  2.1  6.3 14212 6480 ?        S    09:00   0:12 /opt/qd8400/bin/%s"
                         % (name or "measure"))
        return Result(out(lines))

    def cmd_date(self, args):
        if args:
            try:
                moment = named_moment(args[0])
            except ValueError:
                return Result(["date: invalid date `%s'" % args[0]])
        else:
            moment = datetime.datetime.fromtimestamp(self.clock())
        return Result(out([moment.strftime("%a %b ") + "%2d" % moment.day + moment.strftime(" %H:%M:%S UTC %Y")]))

    def cmd_rm(self, args):
        options, _, operands = self.split_options(args)
        force, recursive = "f" in options, "r" in options or "R" in options
        lines = []
        for operand in self.expand(operands):
            if self.faults.matches("rm-error", operand):
                lines.append("rm: cannot remove `%s': Read-only file system" % operand)
                continue
            host = self.host(operand)
            if os.path.isdir(host) and not os.path.islink(host):
                if recursive:
                    shutil.rmtree(host)
                else:
                    lines.append("rm: cannot remove `%s': Is a directory" % operand)
            elif os.path.lexists(host):
                os.unlink(host)
            elif not force or self.faults.names("rm-messages", operand):
                lines.append("rm: cannot remove `%s': No such file or directory" % operand)
        return Result(lines)

    def cmd_mkdir(self, args):
        lines = []
        for operand in self.split_options(args)[2]:
            host = self.host(operand)
            if os.path.lexists(host):
                lines.append("mkdir: cannot create directory `%s': File exists" % operand)
            elif not os.path.isdir(os.path.dirname(host)):
                lines.append("mkdir: cannot create directory `%s': No such file or directory" % operand)
            else:
                os.mkdir(host)
        return Result(lines)

    def cmd_rmdir(self, args):
        lines = []
        for operand in self.split_options(args)[2]:
            host = self.host(operand)
            if self.faults.matches("rmdir-error", operand):
                lines.append("rmdir: `%s': Device or resource busy" % operand)
            elif not os.path.isdir(host) or os.path.islink(host):
                lines.append("rmdir: `%s': No such file or directory" % operand)
            elif os.listdir(host):
                lines.append("rmdir: `%s': Directory not empty" % operand)
            else:
                os.rmdir(host)
        return Result(lines)

    def _copy_target(self, source, target):
        host = self.host(target)
        if os.path.isdir(host):
            return os.path.join(target, os.path.basename(source)), os.path.join(host, os.path.basename(source))
        return target, host

    def cmd_cp(self, args):
        operands = self.split_options(args)[2]
        if len(operands) != 2:
            return Result(["cp: missing destination file"])
        source, target = operands
        if not os.path.isfile(self.host(source)):
            return Result(["cp: %s: No such file or directory" % source])
        target_path, target_host = self._copy_target(source, target)
        if not os.path.isdir(os.path.dirname(target_host)):
            return Result(["cp: cannot create regular file `%s': No such file or directory" % target])
        shutil.copyfile(self.host(source), target_host)
        shutil.copymode(self.host(source), target_host)
        self._apply_copy_faults(target_path, target_host)
        return Result()

    def _apply_copy_faults(self, target_path, target_host):
        name = os.path.basename(target_path)
        if target_path.startswith("/mnt/nand2/upgrback/") and self.faults.matches("backup-size-differs", name):
            with open(target_host, "r+b") as f:
                f.truncate(max(0, os.path.getsize(target_host) - 512))
        if target_path == "/mnt/nand1/qd8prod.rfs":
            self.copies_of_prod += 1
            if self.faults.on("prod-differs-always") or (self.faults.on("prod-differs-once")
                                                         and self.copies_of_prod == 1):
                with open(target_host, "r+b") as f:
                    first = f.read(1)
                    f.seek(0)
                    f.write(bytes([(first[0] ^ 0xFF) if first else 0]))

    def cmd_mv(self, args):
        operands = self.split_options(args)[2]
        if len(operands) != 2:
            return Result(["mv: missing destination file"])
        source, target = operands
        if not os.path.lexists(self.host(source)):
            return Result(["mv: %s: No such file or directory" % source])
        os.replace(self.host(source), self._copy_target(source, target)[1])
        return Result()

    def cmd_ls(self, args):
        options, long_options, operands = self.split_options(args)
        long_format = "l" in options
        lines = []
        names = []
        for operand in sorted(self.expand(operands or ["."])):
            host = self.host(operand)
            if not os.path.lexists(host):
                lines.append("ls: %s: No such file or directory" % operand)
            elif os.path.isdir(host) and "d" not in options:
                names.extend(sorted(n for n in os.listdir(host) if "a" in options or not n.startswith(".")))
            else:
                names.append(operand)
        if long_format:
            names = [self._long_line(name, "Q" in options, "--full-time" in long_options) for name in names]
        lines.extend(out(names))
        return Result(lines)

    def _long_line(self, name, quoted, full_time):
        info = os.lstat(self.host(name))
        moment = datetime.datetime.fromtimestamp(info.st_mtime)
        when = (moment.strftime("%a %b ") + "%2d" % moment.day + moment.strftime(" %H:%M:%S %Y")) if full_time \
            else moment.strftime("%b %d %H:%M")
        shown = '"%s"' % name if quoted else name
        return "%s %4d %-8s %-8s %8d %s %s" % (stat.filemode(info.st_mode), info.st_nlink, "root", "root",
                                              info.st_size, when, shown)

    def cmd_cmp(self, args):
        operands = self.split_options(args)[2]
        if len(operands) != 2:
            return Result(["cmp: missing operand"])
        for operand in operands:
            if not os.path.isfile(self.host(operand)):
                return Result(["cmp: %s: No such file or directory" % operand])
        if any(self.faults.names("cmp-odd", os.path.basename(operand)) for operand in operands):
            return Result(["cmp: EOF on %s" % operands[1]])
        first, second = (self.host(o) for o in operands)
        if self._same(first, second):
            return Result()
        position = self._first_difference(first, second)
        return Result(out(["%s %s differ: char %d, line %d" % (operands[0], operands[1], *position)]))

    @staticmethod
    def _same(first, second):
        if os.path.getsize(first) != os.path.getsize(second):
            return False
        with open(first, "rb") as a, open(second, "rb") as b:
            while True:
                block = a.read(COMPARED_BLOCK)
                if block != b.read(COMPARED_BLOCK):
                    return False
                if not block:
                    return True

    @staticmethod
    def _first_difference(first, second):
        with open(first, "rb") as a, open(second, "rb") as b:
            offset, line = 0, 1
            while True:
                x, y = a.read(65536), b.read(65536)
                for i in range(min(len(x), len(y))):
                    if x[i] != y[i]:
                        return offset + i + 1, line + x[:i].count(b"\n")
                if len(x) != len(y) or not x:
                    return offset + min(len(x), len(y)) + 1, line + x.count(b"\n")
                offset += len(x)
                line += x.count(b"\n")

    def cmd_tar(self, args):
        options, _, operands = self.split_options(args)
        if args and not args[0].startswith("-"):
            options = args[0]
        if "x" not in options or "f" not in options or not operands:
            return Result(["tar: You must specify one of the `-Acdtrux' options"])
        archive = operands[0]
        host = self.host(archive)
        if not os.path.isfile(host):
            return Result(["tar: %s: Cannot open: No such file or directory" % archive,
                           "tar: Error is not recoverable: exiting now"])
        if self.faults.matches("tar-disk-full", os.path.basename(archive)):
            return Result(["tar: Wrote only 4096 of 10240 bytes",
                           "tar: Error is not recoverable: exiting now"])
        destination = self.host(".")
        with self._open_archive(host) as tar:
            members = tar.getmembers()
            for member in members:
                if member.name.startswith("/") or ".." in member.name.split("/"):
                    return Result(["tar: %s: Member name contains `..'" % member.name])
            tar.extractall(destination, members=members)
        lines = out(m.name for m in members) if "v" in options else []
        # The jffs file system of /mnt/nand1 takes neither the archive's times nor its owners.
        if "v" in options and self.cwd == "/mnt/nand1" and not self.faults.on("tar-quiet"):
            for member in members:
                lines.extend(text.format(name=member.name) for text in TAR_OWNER_ERRORS)
            lines.append("tar: Error exit delayed from previous errors")
        return Result(lines)

    @staticmethod
    def _open_archive(host):
        """The archive as tar reads it; one that is not a plain tar is tried compressed (gzip, bzip2,
        xz) only then, since probing each compression first costs more than the plain read."""
        try:
            return tarfile.open(host, "r:")
        except tarfile.ReadError:
            return tarfile.open(host)

    def cmd_chmod(self, args):
        if len(args) < 2:
            return Result(["chmod: too few arguments"])
        mode, lines = args[0], []
        for operand in self.expand(args[1:]):
            host = self.host(operand)
            if not os.path.lexists(host):
                lines.append("chmod: %s: No such file or directory" % operand)
            elif mode == "u+w":
                os.chmod(host, os.stat(host).st_mode | stat.S_IWUSR)
            else:
                os.chmod(host, int(mode, 8))
        return Result(lines)

    def cmd_chgrp(self, args):
        if len(args) < 2:
            return Result(["chgrp: too few arguments"])
        lines = []
        for operand in self.expand(args[1:]):
            host = self.host(operand)
            if not os.path.lexists(host):
                lines.append("chgrp: %s: No such file or directory" % operand)
            else:
                try:
                    os.lchown(host, -1, int(args[0]))
                except (PermissionError, ValueError):
                    pass  # the sandbox may belong to an ordinary user
        return Result(lines)

    # Devices

    @staticmethod
    def _device(path):
        return path[len("/dev/"):] if path.startswith("/dev/") else None

    def cmd_mknod(self, args):
        operands = [a for a in args if not a.startswith("--")]
        if len(operands) < 4:
            return Result(["mknod: too few arguments"])
        device = self._device(operands[0])
        if device is None or self.sandbox.device_node_exists(device):
            return Result(["mknod: `%s': File exists" % operands[0]])
        self.sandbox.make_device_node(device)
        return Result()

    def cmd_mke2fs(self, args):
        if "-m" in args:  # the reserved percentage takes the next word
            at = args.index("-m")
            args = args[:at] + args[at + 2:]
        options, _, operands = self.split_options(args)
        device = self._device(operands[0]) if operands else None
        if device is None or not self.sandbox.device_node_exists(device):
            return Result(["mke2fs: No such file or directory while trying to determine filesystem size"])
        if device in self.sandbox.mounts():
            return Result(["/dev/%s is mounted; will not make a filesystem here!" % device])
        self.sandbox.format(device)
        if "j" not in options:
            count = int(self.faults.argument("ramdisk-report-lines", "19"))
            report = (MKE2FS_RAMDISK + [""] * max(0, count - len(MKE2FS_RAMDISK)))[:count]
            return Result(out(report))
        blocks = int(operands[1]) if len(operands) > 1 else 32768
        groups = max(1, (blocks + 8191) // 8192)
        inodes = blocks // 4
        return Result(out(text.format(inodes=inodes, blocks=blocks, reserved=blocks // 20, groups=groups,
                                      per_group=inodes // groups) for text in MKE2FS_JOURNAL))

    def cmd_mount(self, args):
        operands = self.split_options(args)[2]
        if not operands:
            return Result(out("%s on %s type ext2 (rw)" % ("/dev/" + d, m) for d, m in self.sandbox.mounts().items()))
        device = self._device(operands[0])
        mountpoint = operands[1] if len(operands) > 1 else FSTAB.get(device or "")
        if device is None or mountpoint is None:
            return Result(["mount: can't find %s in /etc/fstab or /etc/mtab" % operands[0]])
        if not self.sandbox.device_node_exists(device):
            return Result(["mount: special device %s does not exist" % operands[0]])
        if device in self.sandbox.mounts():
            return Result(["mount: %s already mounted or %s busy" % (operands[0], mountpoint)])
        if not os.path.isdir(self.sandbox.storage(device)):
            return Result(["mount: wrong fs type, bad option, bad superblock on %s," % operands[0],
                           "       or too many mounted file systems"])
        try:
            self.sandbox.mount(device, Sandbox.normalise(mountpoint, self.cwd))
        except (SandboxError, OSError):
            return Result(["mount: mount point %s does not exist" % mountpoint])
        return Result()

    def cmd_umount(self, args):
        operands = self.split_options(args)[2]
        if not operands:
            return Result(["Usage: umount [-hV]"])
        device = self._device(operands[0])
        mounts = self.sandbox.mounts()
        if device is None:
            device = next((d for d, m in mounts.items() if m == Sandbox.normalise(operands[0], self.cwd)), None)
        if device is None or not self.sandbox.device_node_exists(device):
            return Result(["umount: %s: not found" % operands[0]])
        if device not in mounts:
            return Result(["umount: %s: not mounted" % operands[0]])
        if self.cwd.startswith(mounts[device]):
            return Result(["umount: %s: device is busy" % operands[0]])
        self.sandbox.unmount(device)
        return Result()

    def cmd_reboot(self, args):
        state = self.sandbox.load_state()
        state["reboots"] = state.get("reboots", 0) + 1
        self.sandbox.save_state(state)
        return Result(reboot=True)

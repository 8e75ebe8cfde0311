#!/usr/bin/python3
"""Fixtures: a healthy instrument that has never been upgraded, and an upgrade folder.

    python3 sim/fixtures.py --instrument DIR --upgrade DIR [--no-autoexec] [--no-prod]
                            [--same-kernel] [--same-rootfs] [--same-autoexec] [--same-prod]
"""

import argparse
import io
import os
import random
import sys
import tarfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from sandbox import DEVICES_DIR  # noqa: E402

CMP_PROGRAM = b"#!/bin/sh\n# byte-wise comparison of two files\nexec /usr/bin/cmp \"$@\"\n"


def payload(seed, size):
    return random.Random(seed).randbytes(size)


def write(path, data, mode=0o644):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, mode)


def tar_bytes(entries):
    """A tar archive of (name, bytes, mode) entries; names ending in "/" are folders."""
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.USTAR_FORMAT) as tar:
        for name, data, mode in entries:
            info = tarfile.TarInfo(name.rstrip("/"))
            info.mode = mode
            info.mtime = 1000000000
            if name.endswith("/"):
                info.type = tarfile.DIRTYPE
                tar.addfile(info)
            else:
                info.size = len(data)
                tar.addfile(info, io.BytesIO(data))
    return buffer.getvalue()


def system_archive(seed):
    entries = [("bin/", b"", 0o755), ("lib/", b"", 0o755), ("etc/", b"", 0o755)]
    for i in range(6):
        entries.append(("bin/qd8tool%d" % i, payload(seed + i, 120 * 1024), 0o755))
    entries.append(("lib/libqd8.so.1", payload(seed + 10, 600 * 1024), 0o644))
    entries.append(("etc/qd8400.conf", b"# QD8400 system settings\nlanguage=en\n", 0o644))
    return tar_bytes(entries)


def application_archive(seed):
    entries = [("home/", b"", 0o755), ("home/default", b"[user]\nname=default\n", 0o644)]
    for i in range(4):
        entries.append(("qd8app%d.bin" % i, payload(seed + i, 500 * 1024), 0o444))
    for i in range(3):
        entries.append(("screen%d.bmp" % i, payload(seed + 20 + i, 200 * 1024), 0o444))
    return tar_bytes(entries)


def make_upgrade(folder, autoexec=True, prod=True):
    """The upgrade files, all different from what a never-upgraded instrument holds."""
    write(os.path.join(folder, "bzimage"), payload(101, 950 * 1024))
    write(os.path.join(folder, "qd8400.rfs"), payload(102, 4 * 1024 * 1024))
    write(os.path.join(folder, "update.tar"), tar_bytes([("cmp", CMP_PROGRAM, 0o755)]))
    write(os.path.join(folder, "qd8nand.tar"), system_archive(200))
    write(os.path.join(folder, "qd8nand3.tar"), application_archive(300))
    if prod:
        write(os.path.join(folder, "qd8prod.rfs"), payload(103, 2 * 1024 * 1024))
    if autoexec:
        write(os.path.join(folder, "autoexec.bat"),
              b"rem QD8400 start-up, firmware 1.5.0\r\nsetenv app /mnt/nand3/qd8app0.bin\r\nrun app\r\n")


def make_instrument(root, upgrade=None, same_kernel=False, same_rootfs=False, same_autoexec=False, same_prod=False):
    """A healthy instrument in maintenance mode that has never been upgraded, or whose installed files
    are already those of the upgrade where a same_ option says so."""

    def installed(name, same, data):
        if not same:
            return data
        with open(os.path.join(upgrade, name), "rb") as f:
            # The start-up file travels as text: the instrument stores it with its own line ends.
            return f.read().replace(b"\r\n", b"\n") if name == "autoexec.bat" else f.read()

    devices = os.path.join(root, DEVICES_DIR)
    for node in ("nand1", "nand2", "nand3", "nand4", "ttyS0"):
        write(os.path.join(root, "dev", node), b"")
    nand1 = os.path.join(root, "mnt", "nand1")
    write(os.path.join(nand1, "bzimage"), installed("bzimage", same_kernel, payload(1, 900 * 1024)))
    write(os.path.join(nand1, "qd8400.rfs"), installed("qd8400.rfs", same_rootfs, payload(2, 4 * 1024 * 1024 - 4096)))
    write(os.path.join(nand1, "qd8prod.rfs"), installed("qd8prod.rfs", same_prod, payload(3, 2 * 1024 * 1024 - 8192)))
    old_autoexec = b"rem QD8400 start-up, firmware 1.4.2\nsetenv app /mnt/nand3/qd8app.bin\nrun app\n"
    write(os.path.join(root, "mnt", "nor", "autoexec.bat"), installed("autoexec.bat", same_autoexec, old_autoexec))
    # System and application partitions, mounted; the debug partition nand4 is not.
    write(os.path.join(devices, "nand2", "bin", "qd8tool"), payload(4, 100 * 1024), 0o755)
    write(os.path.join(devices, "nand2", "etc", "qd8400.conf"), b"language=en\n")
    write(os.path.join(devices, "nand3", "qd8app.bin"), payload(5, 300 * 1024), 0o444)
    write(os.path.join(devices, "nand3", "home", "default"), b"[user]\nname=default\n")
    write(os.path.join(devices, "nand4", "bmxsys", "dbg", "trace0.log"), b"debug trace\n")
    write(os.path.join(devices, "nand4", "bmxsys", "recovery", "image.rec"), payload(6, 4096))
    for device in ("nand2", "nand3"):
        os.symlink(os.path.join("..", DEVICES_DIR, device), os.path.join(root, "mnt", device))
    for folder in ("tmp", "etc"):
        os.makedirs(os.path.join(root, folder), exist_ok=True)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--instrument", required=True)
    parser.add_argument("--upgrade", required=True)
    parser.add_argument("--no-autoexec", action="store_true")
    parser.add_argument("--no-prod", action="store_true")
    parser.add_argument("--same-kernel", action="store_true", help="the installed kernel is the new one already")
    parser.add_argument("--same-rootfs", action="store_true", help="the installed root file system is the new one")
    parser.add_argument("--same-autoexec", action="store_true", help="the installed start-up file is the new one")
    parser.add_argument("--same-prod", action="store_true", help="the installed maintenance image is the new one")
    args = parser.parse_args(argv)
    if (args.same_autoexec and args.no_autoexec) or (args.same_prod and args.no_prod):
        parser.error("an installed file cannot be the same as one the upgrade lacks")
    for folder in (args.instrument, args.upgrade):
        if os.path.exists(folder) and os.listdir(folder):
            parser.error("%s is not empty" % folder)
    make_upgrade(args.upgrade, autoexec=not args.no_autoexec, prod=not args.no_prod)
    make_instrument(args.instrument, args.upgrade, args.same_kernel, args.same_rootfs, args.same_autoexec,
                    args.same_prod)


if __name__ == "__main__":
    main()

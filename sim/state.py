#!/usr/bin/python3
"""What a run left on the simulated instrument, as JSON.

    python3 sim/state.py --instrument DIR --upgrade DIR
"""

import argparse
import filecmp
import json
import os
import sys
import tarfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from sandbox import DEVICES_DIR, Sandbox  # noqa: E402

INSTALLED = {
    "bzimage": "/mnt/nand1/bzimage",
    "qd8400.rfs": "/mnt/nand1/qd8400.rfs",
    "qd8prod.rfs": "/mnt/nand1/qd8prod.rfs",
    "autoexec.bat": "/mnt/nor/autoexec.bat",
}
ARCHIVES = {"qd8nand.tar": "nand2", "qd8nand3.tar": "nand3"}


def arrived_as_text(new, host):
    """Whether the instrument holds exactly what a text transfer of the new file stores there: its
    bytes with the PC's CR LF line ends turned into the instrument's LF."""
    with open(new, "rb") as x, open(host, "rb") as y:
        return x.read().replace(b"\r\n", b"\n") == y.read()


def unpacked(archive, storage):
    """Whether every file of the archive stands in the storage with the same bytes."""
    with tarfile.open(archive) as tar:
        for member in tar.getmembers():
            if member.isfile():
                path = os.path.join(storage, member.name)
                if not os.path.isfile(path):
                    return False
                with open(path, "rb") as f:
                    if f.read() != tar.extractfile(member).read():
                        return False
    return True


def report(instrument, upgrade):
    sandbox = Sandbox(instrument)
    state = {"installed": {}, "unpacked": {}}
    for name, path in INSTALLED.items():
        new = os.path.join(upgrade, name)
        host = sandbox.host(path)
        if not os.path.isfile(host):
            state["installed"][name] = "missing"
        elif os.path.isfile(new):
            equal = arrived_as_text(new, host) if name == "autoexec.bat" else filecmp.cmp(new, host, shallow=False)
            state["installed"][name] = "new" if equal else "old"
        else:
            state["installed"][name] = "old"
    for name, device in ARCHIVES.items():
        state["unpacked"][name] = unpacked(os.path.join(upgrade, name), os.path.join(instrument, DEVICES_DIR, device))
    backups = sandbox.host("/mnt/nand2/upgrback")
    state["backups"] = sorted(os.listdir(backups)) if os.path.isdir(backups) else []
    state["mounts"] = sandbox.mounts()
    state["reboots"] = sandbox.load_state().get("reboots", 0)
    return state


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--instrument", required=True)
    parser.add_argument("--upgrade", required=True)
    args = parser.parse_args(argv)
    print(json.dumps(report(args.instrument, args.upgrade), indent=2, sort_keys=True))


if __name__ == "__main__":
    main()

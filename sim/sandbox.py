"""The instrument's file systems inside one folder of the PC.

The folder stands for "/" of the instrument, and the FTP server exports it as it is. Each block
device keeps its files in ROOT/.devices/<name>; mounting a device turns its mount point into a link
to that storage, unmounting turns it back into an empty folder, so the FTP server and the shell
always see the same tree. Device nodes are marker files in ROOT/dev.
"""

import json
import os
import shutil

DEVICES_DIR = ".devices"
STATE_FILE = ".sim-state.json"

# The instrument's fstab: "mount /dev/nandN" alone mounts here.
FSTAB = {"nand2": "/mnt/nand2", "nand3": "/mnt/nand3", "nand4": "/mnt/nand4"}


class SandboxError(Exception):
    """A path that leaves the sandbox or names something that is not there."""


class Sandbox:
    def __init__(self, root):
        self.root = os.path.abspath(root)

    # Paths

    def host(self, path, cwd="/"):
        """The PC path that the instrument path stands for (resolved against cwd)."""
        return self.root + self.normalise(path, cwd)

    @staticmethod
    def normalise(path, cwd="/"):
        """The absolute instrument path, without "." and "..": none leads out of "/". The shell asks for
        it on every operand, so it is put together as plain text rather than by os.path.join."""
        absolute = os.path.normpath(path if path.startswith("/") else cwd + "/" + path)
        return "/" + absolute.lstrip("/")

    # Devices and mounts

    def storage(self, device):
        return os.path.join(self.root, DEVICES_DIR, device)

    def device_node_exists(self, device):
        return os.path.exists(os.path.join(self.root, "dev", device))

    def make_device_node(self, device):
        os.makedirs(os.path.join(self.root, "dev"), exist_ok=True)
        open(os.path.join(self.root, "dev", device), "a").close()

    def mounts(self):
        """Mount table: device name -> mount point."""
        table = {}
        for mountpoint in self._mountpoint_candidates():
            link = self.host(mountpoint)
            if os.path.islink(link):
                table[os.path.basename(os.readlink(link))] = mountpoint
        return table

    def _mountpoint_candidates(self):
        mnt = self.host("/mnt")
        if not os.path.isdir(mnt):
            return []
        return ["/mnt/" + name for name in sorted(os.listdir(mnt))]

    def mount(self, device, mountpoint):
        link = self.host(mountpoint)
        if not os.path.isdir(link) or os.path.islink(link):
            raise SandboxError("mount point %s does not exist" % mountpoint)
        os.makedirs(self.storage(device), exist_ok=True)
        os.rmdir(link)  # mount points are empty folders; anything else is refused
        os.symlink(os.path.relpath(self.storage(device), os.path.dirname(link)), link)

    def unmount(self, device):
        mountpoint = self.mounts()[device]
        link = self.host(mountpoint)
        os.unlink(link)
        os.mkdir(link)

    def format(self, device):
        """Empties the device's storage, which stays the same folder."""
        storage = self.storage(device)
        os.makedirs(storage, exist_ok=True)
        for entry in os.scandir(storage):
            if entry.is_dir(follow_symlinks=False):
                shutil.rmtree(entry.path)
            else:
                os.unlink(entry.path)

    # What the simulator remembers across its own restarts (reboots).

    def load_state(self):
        try:
            with open(os.path.join(self.root, STATE_FILE)) as f:
                return json.load(f)
        except FileNotFoundError:
            return {"reboots": 0}

    def save_state(self, state):
        with open(os.path.join(self.root, STATE_FILE), "w") as f:
            json.dump(state, f)

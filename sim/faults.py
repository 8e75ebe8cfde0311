"""Fault modes of the simulated instrument, given as --mode NAME or --mode NAME=ARGUMENT."""

MODES = {
    "single-segment": "send the option requests, banner and log-in prompt in one segment",
    "wrong-password": "the instrument's root password is not the one the upgrade uses",
    "not-maintenance": "the process list holds a measurement process (argument: its name, default measure)",
    "not-qd8400": "after the first command the shell answers with another prompt",
    "wrong-cwd": "pwd answers with another folder",
    "rm-messages": "rm -f reports missing files with the messages the upgrade tolerates",
    "rm-error": "rm reports an unexpected error for this name",
    "hang": "this command never comes back to the prompt",
    "drop": "the connection is dropped when this command arrives",
    "no-ftp": "no FTP server",
    "ftp-refuse-login": "the FTP server refuses root's log-in",
    "ftp-refuse-upload": "NAME:CODE:TEXT: the FTP server answers the upload of NAME with this reply",
    "ftp-break-upload": "the FTP server breaks off the upload of NAME",
    "ftp-stall-upload": "NAME:BYTES: the FTP server stops reading NAME's upload",
    "ramdisk-report-lines": "mke2fs -m 0 prints a report of this many lines instead of 19",
    "backup-size-differs": "copies of NAME into the backup folder come out shorter",
    "cmp-odd": "cmp prints an unexpected line",
    "prod-differs-once": "the first copy of qd8prod.rfs into /mnt/nand1 comes out different",
    "prod-differs-always": "every copy of qd8prod.rfs into /mnt/nand1 comes out different",
    "tar-disk-full": "unpacking this archive runs out of space",
    "tar-quiet": "tar -xvf update.tar prints only the name of cmp",
    "rmdir-error": "rmdir of this folder prints an unexpected message",
}


class Faults:
    def __init__(self, modes=()):
        self.modes = {}
        for text in modes:
            name, _, argument = text.partition("=")
            if name not in MODES:
                raise ValueError("unknown mode %r (known: %s)" % (name, ", ".join(sorted(MODES))))
            self.modes.setdefault(name, []).append(argument)

    def on(self, name):
        return name in self.modes

    def arguments(self, name):
        return self.modes.get(name, [])

    def argument(self, name, default=""):
        values = [value for value in self.arguments(name) if value]
        return values[0] if values else default

    def matches(self, name, text):
        """Whether a mode given with an argument names this text (a command or a file name)."""
        return any(argument and (text == argument or text.startswith(argument)) for argument in self.arguments(name))

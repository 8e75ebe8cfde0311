"""Modes of the simulated instrument, given as --mode NAME or --mode NAME=ARGUMENT (repeatable).

A mode that names a command takes COMMAND[#N]: it applies to every command line that begins with
COMMAND, or with #N only to the Nth such line of the session. Where a mode takes a TEXT, the text
goes on the wire as written, with the escapes \\r, \\n, \\0, \\xHH and \\\\.

late sends its TEXT and another prompt, announced as "LATE <command line>" just before, on one of two
events. By default the prompt is followed, in the same segment, by an option request (DO TSPEED) that
the client refuses once it has read the prompt; its answer (announced as "TELNET OPTIONS DO
TSPEED=WONT", "=none" after --option-wait seconds without one) sends the text. With :upload=NAME the
text goes out when the FTP upload of the file NAME (a base name) begins, before the server reads any
of it, and not at all if no such upload begins while the session lasts.
"""

MODES = {  # name: (argument, what the mode does)
    # How replies are delivered
    "trickle": ("[=BYTES:MS]", "every reply goes out BYTES bytes at a time, MS milliseconds apart (8:10)"),
    "split-prompt": ("[=MS]", "every prompt arrives in two segments, \"bash-2.\" and \"04# \", MS apart (50)"),
    "late": ("=COMMAND:TEXT[:upload=NAME]", "after COMMAND's prompt, TEXT and another prompt arrive: once the client "
             "has answered an option request sent after the prompt, or when NAME's upload begins"),
    "ask-again": ("=COMMAND[:COUNT]", "an option request follows COMMAND's prompt, and is asked again each time the client "
                  "refuses it: COUNT times, or until the next command line arrives"),
    "slow": ("=COMMAND:SECONDS", "the command's output follows its echo only after SECONDS"),
    "raw-bytes": ("=COMMAND", "the output begins with line noise: a data byte 255 and a lone CR (IAC IAC, CR NUL)"),
    "renegotiate": ("=COMMAND", "option requests (WILL SGA, WILL ECHO, DO NAWS) arrive in the middle of the output"),
    "reply": ("=COMMAND:TEXT", "TEXT replaces the command's output and prompt (the echo stays)"),
    "single-segment": ("", "the option requests, banner and log-in prompt go out in one segment"),
    "last-login": ("", "\"Last login: <date> from <address>\" follows the password"),
    # The network
    "hang": ("=COMMAND", "the command never comes back to the prompt"),
    "drop": ("=COMMAND", "the connection closes when the command (or this log-in name) arrives"),
    "reset": ("=COMMAND", "the connection is reset (TCP RST) when the command (or this log-in name) arrives"),
    "reboot": ("=drop|silent", "reboot closes the connection before its prompt, or never"),
    # The shell and its tools
    "wrong-password": ("", "the instrument's root password is not the one the upgrade uses"),
    "not-maintenance": ("[=NAME]", "the process list holds a measurement process of this name (measure)"),
    "normal": ("[=SECONDS]", "the instrument runs its normal firmware (ps aux lists its measurement process) until it is "
               "rebooted into maintenance mode, after SECONDS or on SIGUSR1: its sessions close, announced as MAINTENANCE"),
    "not-qd8400": ("[=PROMPT]", "after the first command the shell answers with another prompt"),
    "wrong-cwd": ("", "pwd answers with another folder"),
    "rm-messages": ("[=NAME]", "rm -f reports missing files (all, or NAME) with the message of rm without -f"),
    "rm-error": ("=NAME", "rm reports an unexpected error for this name"),
    "rmdir-error": ("=NAME", "rmdir of this folder prints an unexpected message"),
    "ramdisk-report-lines": ("=COUNT", "mke2fs -m 0 prints a report of this many lines instead of 19"),
    "backup-size-differs": ("=NAME", "copies of NAME into the backup folder come out shorter"),
    "cmp-odd": ("[=NAME]", "cmp (of every file, or of NAME) prints an unexpected line"),
    "prod-differs-once": ("", "the first copy of qd8prod.rfs into /mnt/nand1 comes out different"),
    "prod-differs-always": ("", "every copy of qd8prod.rfs into /mnt/nand1 comes out different"),
    "tar-disk-full": ("=NAME", "unpacking this archive runs out of space"),
    "tar-quiet": ("", "tar -xvf update.tar prints only the name of cmp"),
    # The FTP server
    "no-ftp": ("", "no FTP server"),
    "ftp-refuse-login": ("", "the FTP server refuses root's log-in"),
    "ftp-refuse-upload": ("=NAME:CODE:TEXT", "the FTP server answers the upload of NAME with this reply"),
    "ftp-break-upload": ("=NAME", "the FTP server breaks off NAME's upload, storing half of its first block"),
    "ftp-stall-upload": ("=NAME:BYTES", "the FTP server stops reading NAME's upload after BYTES"),
    "ftp-rate-upload": ("=NAME:BYTES", "the FTP server reads NAME's upload at BYTES bytes a second, like a slow link"),
}


def unescape(text):
    """The bytes a TEXT argument stands for, as a Latin-1 string."""
    return text.encode("latin-1", "backslashreplace").decode("unicode_escape")


class Faults:
    def __init__(self, modes=()):
        self.modes = {name: [] for name in MODES}
        for text in modes:
            name, _, argument = text.partition("=")
            if name not in MODES:
                raise ValueError("unknown mode %r (known: %s)" % (name, ", ".join(sorted(MODES))))
            self.modes[name].append(argument)

    def on(self, name):
        return bool(self.arguments(name))

    def arguments(self, name):
        """The arguments the mode was given, one per --mode; a name no mode has is a fault of the caller."""
        return self.modes[name]

    def argument(self, name, default=""):
        values = [value for value in self.arguments(name) if value]
        return values[0] if values else default

    def matches(self, name, text):
        """Whether a mode given with an argument names this text (a command or a file name)."""
        return any(argument and (text == argument or text.startswith(argument)) for argument in self.arguments(name))

    def names(self, name, text):
        """Whether a mode applies to this text: given without an argument, or naming it."""
        return "" in self.arguments(name) or self.matches(name, text)

    def rule(self, name, line, history):
        """The rest of the first COMMAND[#N][:REST] argument of the mode that names this command line
        ("" when it has no rest), or None. history holds the session's lines so far, this one last."""
        for argument in self.arguments(name):
            head, _, rest = argument.partition(":")
            command, _, count = head.rpartition("#") if head.rpartition("#")[2].isdigit() else (head, "", "")
            if not command or not line.startswith(command):
                continue
            if not count or sum(earlier.startswith(command) for earlier in history) == int(count):
                return rest
        return None

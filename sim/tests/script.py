"""The upgrade's command script as data, and a walker that replays it against the simulator with the
upgrade's own acceptance checks, stopping at the first state whose check fails."""

import datetime
import os
import ftplib
import socket

from simulator import PROMPT, TelnetClient, split_lines

# state | checks (>FILE:FOLDER transfers the file; ?FLAG picks the first branch when set) | command | next
SCRIPT = """
start |  | cd /mnt/nand1 | 1022
1022 | P S | pwd | 1033
1033 | P L3 CWD | ps aux | 2011
2011 | P WORDS | date DATE | 2021
2021 | P | rm -f bzimage2 | 4031
4031 | P S | rm -f cmp | 4021
4021 | P S | rm -f update* | 4011
4011 | P S >update.tar:/mnt/nand1 | tar -xvf update.tar | 4051
4051 | TAR | umount /dev/ramdisk2 | 2211
2211 | P S | mknod --mode=777 /dev/ramdisk2 b 1 2 | 2221
2221 | P S | mke2fs -m 0 /dev/ramdisk2 | 2231
2231 | P L21 | mkdir /mnt/ramdisk2 | 2241
2241 | P S | mount /dev/ramdisk2 /mnt/ramdisk2 | 2251
2251 | P | mkdir /mnt/nand4 | 2260
2260 | P | mount /dev/nand4 /mnt/nand4 | 2261
2261 | P | rm -r -f /mnt/nand4/bmxsys/dbg/* > /dev/null | 2271
2271 | P | rm -r -f /mnt/nand4/bmxsys/recovery/* > /dev/null | 2281
2281 | P | umount /dev/nand4 | 2291
2291 | P | umount /dev/nand2 | 3011
3011 | P S | mke2fs -j /dev/nand2 30774 | 30121
30121 | P | mount /dev/nand2 | 30131
30131 | P S | umount /dev/nand3 | 3041
3041 | P S | mke2fs -j /dev/nand3 16632 | 3051
3051 | P | mount /dev/nand3 | 3061
3061 | P S | rm -f /mnt/nand2/upgrback/* | 5011
5011 | P S | rmdir /mnt/nand2/upgrback | 5021
5021 | S | rm -f /mnt/nand2/upgrnew/* | 5031
5031 | P S | rmdir /mnt/nand2/upgrnew | 1341
1341 | S ?second | cd /mnt/nand2 | 5071 | mkdir /mnt/nand2/upgrback | 5051
5051 | P S | mkdir /mnt/nand2/upgrnew | 5061
5061 | P S ?autoexec.bat | cp /mnt/nor/autoexec.bat /mnt/nand2/upgrback | 5711 | ls > /dev/null | 5761
5711 | P S | ls -alQ --full-time /mnt/nor/autoexec.bat /mnt/nand2/upgrback/autoexec.bat | 5721
5721 | P L4 SIZES >autoexec.bat:/mnt/nand2/upgrnew | /mnt/nand1/cmp /mnt/nor/autoexec.bat /mnt/nand2/upgrnew/autoexec.bat | 5741
5741 | V ?same | ls > /dev/null | 5761 | rm -f /mnt/nor/autoexec.bat | 5751
5751 | P S | cp /mnt/nand2/upgrnew/autoexec.bat /mnt/nor/autoexec.bat | 5761
5761 | P S ?qd8prod.rfs | cp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrback | 5511 | ls > /dev/null | 5591
5511 | P S | ls -alQ --full-time /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrback/qd8prod.rfs | 5521
5521 | P L4 SIZES >qd8prod.rfs:/mnt/nand2/upgrnew | /mnt/nand1/cmp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrnew/qd8prod.rfs | 5561
5561 | V ?same | ls > /dev/null | 5581 | rm -f /mnt/nand1/qd8prod.rfs | 5571
5571 | P S | cp /mnt/nand2/upgrnew/qd8prod.rfs /mnt/nand1/qd8prod.rfs | 5581
5581 | P S | /mnt/nand1/cmp /mnt/nand1/qd8prod.rfs /mnt/nand2/upgrnew/qd8prod.rfs | 5565
5565 | V ?same | rm -f /mnt/nand2/upgrnew/qd8prod.rfs | 5591 | rm -f /mnt/nand1/qd8prod.rfs | 5571
5591 | P S | cp /mnt/nand1/bzimage /mnt/nand2/upgrback | 6011
6011 | P S | ls -alQ --full-time /mnt/nand1/bzimage /mnt/nand2/upgrback/bzimage | 6031
6031 | P L4 SIZES | cp /mnt/nand1/qd8400.rfs /mnt/nand2/upgrback | 6021
6021 | P S | ls -alQ --full-time /mnt/nand1/qd8400.rfs /mnt/nand2/upgrback/qd8400.rfs | 6041
6041 | P L4 SIZES >bzimage:/mnt/nand2/upgrnew >qd8400.rfs:/mnt/nand2/upgrnew | /mnt/nand1/cmp /mnt/nand1/bzimage /mnt/nand2/upgrnew/bzimage | 7031
7031 | V ?same | /mnt/nand1/cmp /mnt/nand1/qd8400.rfs /mnt/nand2/upgrnew/qd8400.rfs | 7081 | cp /mnt/nand2/upgrnew/bzimage /mnt/nand1/bzimage2 | 7091
7091 | P S | mv /mnt/nand1/bzimage2 /mnt/nand1/bzimage | 7101
7101 | P S | /mnt/nand1/cmp /mnt/nand1/qd8400.rfs /mnt/nand2/upgrnew/qd8400.rfs | 7081
7081 | V ?same | rm -f /mnt/nand2/upgrback/* | 5011 | rm -f /mnt/nand1/qd8400.rfs | 7111
7111 | P S | cp /mnt/nand2/upgrnew/qd8400.rfs /mnt/nand1/qd8400.rfs | 7121
7121 | S | rm -f /mnt/nand2/upgrback/* | 5011
5071 | P >qd8nand.tar:/mnt/ramdisk2 >qd8nand3.tar:/mnt/ramdisk2 | cd /mnt/nand2 | 9011
9011 | P S | tar -xf /mnt/ramdisk2/qd8nand.tar | 9021
9021 | P FULL | rm -f /mnt/nand2/qd8nand.tar | 9031
9031 | P S | cd /mnt/nand3 | 9041
9041 | P S | tar -xf /mnt/ramdisk2/qd8nand3.tar | 9051
9051 | P FULL | rm -f /mnt/nand3/qd8nand3.tar | 9061
9061 | P S | chmod u+w *.bin | 9071
9071 | P S | chmod u+w *.bmp | 9081
9081 | P S | cd home | 9091
9091 | P S | chgrp 100 default | 9101
9101 | P | reboot | 10011
10011 | P |  | end
"""
STEPS = {row[0]: row[1:] for row in ([cell.strip() for cell in line.split("|")] for line in SCRIPT.strip().splitlines())}

# The states that run when the output of their parent's command grows after its prompt (while the
# parent transfers a file), with their checks.
EVENTS = {"4041": ("4011", "S"), "5731": ("5721", "P S"), "5541": ("5521", "P S"), "7011": ("6041", "P L4"),
          "7021": ("6041", "P S")}

# Error lines accepted in place of silence: the whole raw line 2, or (after ~) a part of it with the
# echo on line 1 and the prompt on line 3.
NO_FILE = "rm: cannot remove `%s': No such file or directory"
NO_FOLDER = "rmdir: `/mnt/nand2/%s': No such file or directory"
TOLERATED = {"4031": NO_FILE % "bzimage2", "4021": NO_FILE % "cmp", "4011": NO_FILE % "update*",
             "4041": NO_FILE % "update*", "5021": NO_FOLDER % "upgrback", "1341": NO_FOLDER % "upgrnew",
             "2211": "~not found", "2221": "~File exists", "2241": "~File exists"}
TAR_LINES = ["cmp", "tar: cmp: Cannot utime: No such file or directory",
             "tar: cmp: Cannot change ownership to uid 0, gid 0: No such file or directory",
             "tar: Error exit delayed from previous errors", PROMPT]


def passes(check, state, lines, command):
    def line(n):
        return lines[n - 1] if 1 <= n <= len(lines) else ""

    second, tolerated = line(2), TOLERATED.get(state, "\n")
    if check[0] == "L" or check == "P":
        return line(int(check[1:]) if check[1:] else len(lines)).strip() == PROMPT
    part_of_line_2 = tolerated[0] == "~" and tolerated[1:] in second
    return {"S": second.strip() == PROMPT or second == tolerated or (
                part_of_line_2 and line(1).strip() == command and passes("L3", "", lines, "")),
            "SIZES": second.split()[4:5] == line(3).split()[4:5], "CWD": second == "/mnt/nand1",
            "V": second.strip() == PROMPT or "differ" in second.lower(), "FULL": "Wrote only" not in second,
            "WORDS": not any(word in text.lower() for word in ("measure", "frontend", "qdcom") for text in lines[1:-1]),
            "TAR": second.strip() == PROMPT or [text.strip() for text in lines[1:6]] == TAR_LINES}[check]


class Walk:
    """Replays the script; result is (state, first failing check) where it stopped: the check's code,
    ">FILE" for a failed transfer, "T" for no prompt in time, "X" for a closed connection, "R" for a
    reset one, "loop" for a state run a fourth time; ("end", None) after the last step. path holds
    the states run, in order. until stops it at a state whose checks pass, or at a transfer state."""

    def __init__(self, sim, until=None, timeout=3):
        self.sim = sim
        self.flags = set(os.listdir(sim.upgrade))  # the optional files choose branches, as "second" does
        self.path, self.waiting = [], "login"
        self.client = TelnetClient(sim.telnet_port, timeout=timeout)
        try:
            self.client.log_in()
            self.result = self._run(until)
        except socket.timeout:
            self.result = (self.waiting, "T")
        except (EOFError, ConnectionResetError) as error:
            self.result = (self.waiting, "R" if isinstance(error, ConnectionResetError) else "X")
        finally:
            self.client.socket.close()

    def _run(self, until):
        state, lines, command = "start", [], ""
        while state != "end":
            self.path.append(state)
            if self.path.count(state) > 3:
                return state, "loop"
            checks, *branches = STEPS[state]
            failed = self._first_failure(state, checks, lines, command)
            if failed or state == until:
                return state, failed
            if EVENTS.get(until, "-")[0] == state:  # what the parent's command printed, and what came after
                self.client.receive()
                return until, self._first_failure(until, EVENTS[until][1], split_lines(self.client.text), command)
            chosen = [flag[1:] for flag in checks.split() if flag[0] == "?"]
            same = "same" if passes("S", "", lines, "") else ""
            command, state = branches[:2] if not chosen or chosen[0] in self.flags | {same} else branches[2:]
            if state == "5011" and self.path[-1] != "3061":
                self.flags.add("second")
            self.waiting = state
            if command:
                command = command.replace("DATE", datetime.datetime.now().strftime("%m%d%H%M%Y"))
                lines = self.client.command(command)
        return "end", None

    def _first_failure(self, state, checks, lines, command):
        for check in checks.split():
            if check[0] == ">":
                name, folder = check[1:].split(":")
                try:
                    self.sim.put(name, folder)
                except (ftplib.Error, OSError):
                    return ">" + name
            elif check[0] != "?" and not passes(check, state, lines, command):
                return check
        return None

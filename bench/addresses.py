#!/usr/bin/python3
"""The command line reading a long list of addresses with --from: N different addresses, then the
first one again, so that the repetition is found on the last line and every address is read.

    bench/addresses.py PROGRAM [--sizes 40000,200000]

Prints, for each N: addresses n=<N+1> cpu_s=<C> status=<S>: the processor time of check until it
refuses the list (exit status 3, the repeated address named), which is all its reading costs.
"""

import argparse
import os
import resource
import subprocess
import sys
import tempfile

REQUIRED = ("bzimage", "qd8400.rfs", "update.tar", "qd8nand.tar", "qd8nand3.tar")


def address(i):
    """The i-th of 16,777,216 addresses in 10.0.0.0/8, none ending in 0."""
    return "10.%d.%d.%d" % (i // 65025 % 256, i // 255 % 255, i % 255 + 1)


def processor_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def measure(program, folder, size):
    listed = os.path.join(folder, "addresses-%d.txt" % size)
    with open(listed, "w") as out:
        out.writelines(address(i) + "\n" for i in range(size))
        out.write(address(0) + "\n")
    before = processor_seconds()
    ended = subprocess.run([program, "check", folder, "--from", listed, "--log-dir", os.path.join(folder, "logs")],
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    seconds = processor_seconds() - before
    if "line %d: the address %s is given twice" % (size + 1, address(0)) not in ended.stderr:
        sys.exit("the repetition was not found: " + ended.stderr.strip()[:200])
    print("addresses n=%d cpu_s=%.3f status=%d" % (size + 1, seconds, ended.returncode), flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--sizes", default="40000,200000")
    arguments = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        # check looks only for the upgrade files' names before it reads the addresses.
        for name in REQUIRED:
            open(os.path.join(folder, name), "w").close()
        for size in (int(n) for n in arguments.sizes.split(",")):
            measure(arguments.program, folder, size)


if __name__ == "__main__":
    main()

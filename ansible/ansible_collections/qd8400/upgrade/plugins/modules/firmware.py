# Copyright: the QD8400Upgrade developers
# MIT License (see LICENSE or https://opensource.org/licenses/MIT)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: firmware
short_description: Check a QD8400 instrument, or install a firmware upgrade into it
version_added: "1.5.0"
description:
  - Runs the command line C(qd8400-upgrade) on the host the task runs on (the runner, a PC on the
    instrument's network, with C(delegate_to)) for one instrument, and reports its result.
  - In check mode it runs the read-only C(check) (the upgrade folder, the network, the log-in, the
    instrument's identity, maintenance mode and its FTP server); nothing that changes the instrument is sent.
    A ready instrument reports C(changed), since the upgrade would change it; one that is not ready fails
    with the program's message.
  - Otherwise it runs the whole upgrade (C(run --yes)), as the wizard does. The instrument must be in
    maintenance mode at its log-in prompt. An upgrade takes a few minutes.
  - Not idempotent. Every run flashes the instrument again; the command line cannot tell an upgraded
    instrument from one that is not. A real instrument boots normally after its upgrade, so a second run
    fails as not ready (not in maintenance mode) and changes nothing; the simulator stays in maintenance mode
    and is upgraded again.
  - Each run has a folder of its own on the runner, C(LOG_DIR/ADDRESS/yyyymmdd-HHMMSS-COMMAND), which
    holds the instrument's log C(ADDRESS/logfile.txt) and its result, C(ADDRESS/result.json) for an upgrade
    and C(ADDRESS/check.json) for a check; no run writes into another's.
  - An instrument is upgraded by one process at a time. While another run or check holds it, on this runner,
    the task fails without sending anything and says which process holds it.
author:
  - QD8400Upgrade developers (@qd8400upgrade)
requirements:
  - C(qd8400-upgrade) on the runner (Debian package C(qd8400upgrade)).
options:
  folder:
    description: The folder of upgrade files on the runner.
    type: path
    required: true
  address:
    description:
      - The instrument's IPv4 address, as the runner reaches it (the inventory's C(ansible_host) of the
        instrument, never of the runner).
      - Leading zeros are dropped (C(192.168.001.020) is 192.168.1.20).
    type: str
    required: true
  log_dir:
    description: The folder on the runner that holds a folder of runs for each instrument.
    type: path
    default: ~/qd8400-upgrade-logs
  program:
    description: The command line on the runner, found on the runner's C(PATH) unless it is a path.
    type: path
    default: qd8400-upgrade
  telnet_port:
    description: For test benches, the instrument's Telnet port.
    type: int
    default: 23
  ftp_port:
    description: For test benches, the instrument's FTP port.
    type: int
    default: 21
  wait:
    description:
      - How many seconds to wait for the instrument to come up in maintenance mode, trying it read-only every 5 to
        30 s (the network probe, the log-in, and the commands that only read); its check or upgrade begins once it
        is. 0 waits not at all.
      - One not ready within the wait is not started (in check mode not ready), with the last reason it was not.
      - Under C(async), give the job time for the wait and the upgrade.
    type: int
    default: 0
  time_scale:
    description:
      - For test benches, every wait, the log-in limit and the Telnet time-outs scaled by this factor (0.001 to 1).
      - An instrument upgraded at a scale below 1 has not had the waits it needs.
    type: float
    default: 1
attributes:
  check_mode:
    support: full
    description: Runs the read-only check; the instrument is never changed.
  diff_mode:
    support: none
    description: Nothing to compare.
notes:
  - C(changed) is true exactly when a command that changes the instrument was sent. A task that failed may have
    changed the instrument; its C(msg) and C(changed) say so. Halted and stopped instruments need a person.
  - Under C(async), a job that runs out of time leaves the instrument's own process running to its end; its
    result appears in the run's folder, and the instrument stays held until then.
'''

EXAMPLES = r'''
- name: Check that the instrument is ready (read-only)
  qd8400.upgrade.firmware:
    folder: /srv/qd8400/upgrade-2.4
    address: "{{ ansible_host }}"
  delegate_to: "{{ qd8400_runner }}"
  check_mode: true

- name: Upgrade the instrument, keep its result and say where its log is
  qd8400.upgrade.firmware:
    folder: /srv/qd8400/upgrade-2.4
    address: "{{ ansible_host }}"
    log_dir: /var/log/qd8400
  delegate_to: "{{ qd8400_runner }}"
  register: upgrade

- name: Show the upgrade's log on the runner
  ansible.builtin.debug:
    msg: "{{ upgrade.result }} in {{ upgrade.seconds }} s, log {{ upgrade.log }}"

- name: Upgrade, and report an instrument that needs a person
  block:
    - name: Upgrade the instrument
      qd8400.upgrade.firmware:
        folder: /srv/qd8400/upgrade-2.4
        address: "{{ ansible_host }}"
      delegate_to: "{{ qd8400_runner }}"
      register: upgrade
  rescue:
    - name: Say whether it was changed and where it stopped
      ansible.builtin.debug:
        msg: >-
          {{ inventory_hostname }}: {{ upgrade.result | default('no result') }},
          {{ 'changed: look at it before anything else' if upgrade.changed else 'unchanged' }},
          log {{ upgrade.log | default('none') }}

- name: Upgrade without holding the runner's connection for minutes
  qd8400.upgrade.firmware:
    folder: /srv/qd8400/upgrade-2.4
    address: "{{ ansible_host }}"
  delegate_to: "{{ qd8400_runner }}"
  async: 3600
  poll: 10

- name: Upgrade the instrument as soon as a technician has rebooted it into maintenance mode, within 30 minutes
  qd8400.upgrade.firmware:
    folder: /srv/qd8400/upgrade-2.4
    address: "{{ ansible_host }}"
    wait: 1800
  delegate_to: "{{ qd8400_runner }}"
  async: 3600
  poll: 10

- name: Against a simulated instrument on other ports, with the waits scaled down
  qd8400.upgrade.firmware:
    folder: /tmp/qd/upgrade
    address: 127.0.0.2
    telnet_port: 2323
    ftp_port: 2121
    time_scale: 0.1
'''

RETURN = r'''
result:
  description: How the run ended.
  returned: when the program gave a result
  type: str
  choices: [success, failed, halted, ready, not-ready, stopped, not-started]
  sample: success
status:
  description: The instrument's status, 0 success or ready, 1 failed or not ready, 2 halted or stopped.
  returned: when the program gave a result
  type: int
  sample: 0
state:
  description: The last upgrade state number of the run.
  returned: when the program gave a result
  type: int
  sample: 10011
caption:
  description: The last caption the run showed (the step it was in), CR LF between its lines; empty before the first.
  returned: when the program gave a result
  type: str
  sample: "Transferring new kernel file"
seconds:
  description: How long the run took.
  returned: when the program gave a result
  type: float
  sample: 182.4
message:
  description: The failure's message, the wizard's text with CR LF between its lines; empty when none.
  returned: when the program gave a result
  type: str
  sample: "The QD8400 you are attempting to upgrade has not been rebooted into the maintenance mode. ..."
log:
  description: The instrument's log file on the runner.
  returned: when the program gave a result
  type: str
  sample: /home/lab/qd8400-upgrade-logs/192.168.1.20/20260312-125403-run/192.168.1.20/logfile.txt
run_dir:
  description: The run's own folder on the runner, given to the program as its C(--log-dir).
  returned: when the program ran
  type: str
  sample: /home/lab/qd8400-upgrade-logs/192.168.1.20/20260312-125403-run
rc:
  description: The program's exit status (0 success, 1 failed, 2 halted or stopped, 3 usage or folder error).
  returned: when the program ran
  type: int
  sample: 0
cmd:
  description: The program's command line.
  returned: when the program ran
  type: list
  elements: str
stderr:
  description: What the program wrote to standard error, a usage or folder error's line among it.
  returned: when the program ran
  type: str
  sample: ""
'''

import errno
import json
import os
import re
import time

from ansible.module_utils.basic import AnsibleModule

ARGUMENT_SPEC = dict(
    folder=dict(type="path", required=True),
    address=dict(type="str", required=True),
    log_dir=dict(type="path", default="~/qd8400-upgrade-logs"),
    program=dict(type="path", default="qd8400-upgrade"),
    telnet_port=dict(type="int", default=23),
    ftp_port=dict(type="int", default=21),
    wait=dict(type="int", default=0),
    time_scale=dict(type="float", default=1.0),
)

OCTETS = re.compile(r"^\d+\.\d+\.\d+\.\d+$")


def find_program(module, program):
    """The program's path on the runner, or the task fails with one message."""
    if os.sep in program:
        if os.path.isfile(program) and os.access(program, os.X_OK):
            return program
    else:
        path = module.get_bin_path(program)
        if path:
            return path
    where = "a program on the runner" if os.sep in program else "on the runner's PATH"
    module.fail_json(msg="%s is not %s: install the qd8400upgrade package there, or give the option program"
                         % (program, where))


def run_folder(module, log_dir, address, command):
    """A new folder for this run under the instrument's: no other run writes into it."""
    name = ".".join(str(int(octet)) for octet in address.split(".")) if OCTETS.match(address) else address
    stamp = os.path.join(os.path.abspath(log_dir), name, time.strftime("%Y%m%d-%H%M%S-") + command)
    for attempt in range(1, 100):
        path = stamp if attempt == 1 else "%s-%d" % (stamp, attempt)
        try:
            os.makedirs(path)
            return path
        except OSError as error:
            if error.errno != errno.EEXIST:
                module.fail_json(msg="cannot make the folder of the run %s: %s" % (path, error.strerror))
    module.fail_json(msg="cannot make a new folder of the run beside %s" % stamp)


def result_event(output):
    """The result event among the program's JSON lines, or None."""
    for line in output.splitlines():
        try:
            event = json.loads(line)
        except ValueError:
            continue
        if isinstance(event, dict) and event.get("event") == "result":
            return event
    return None


def outcome(event):
    """The task's message: the result and the step it stopped at, the failure's message on one line,
    whether the instrument was changed, and where its log is."""
    result = event["result"]
    caption = event.get("caption", "").split("\r\n")[0]
    head = "%s at '%s'" % (result, caption) if caption else result
    if result == "halted":
        head += " (state %d)" % event.get("state", 0)
    message = event.get("message", "").replace("\r\n", " ").strip()
    if message:
        head += ": " + message
    if event.get("changed"):
        said = "The instrument was changed: its log tells how far the upgrade went."
    else:
        said = "Nothing was changed on the instrument."
    return "%s %s Log: %s" % (head if head.endswith(".") else head + ".", said, event["log"])


def main():
    module = AnsibleModule(
        argument_spec=ARGUMENT_SPEC,
        supports_check_mode=True,
    )
    params = module.params
    program = find_program(module, params["program"])
    command = "check" if module.check_mode else "run"
    folder = run_folder(module, params["log_dir"], params["address"], command)
    cmd = [program, command, params["folder"], params["address"], "--json", "--log-dir", folder,
           "--telnet-port", str(params["telnet_port"]), "--ftp-port", str(params["ftp_port"]),
           "--wait", str(params["wait"]), "--time-scale", repr(params["time_scale"])]
    if not module.check_mode:
        cmd.append("--yes")
    rc, out, err = module.run_command(cmd)
    event = result_event(out)
    if event is None:
        # A usage or folder error (exit status 3): its one line is on standard error.
        module.fail_json(msg=err.strip() or "%s ended with exit status %d and no result" % (program, rc),
                         rc=rc, cmd=cmd, stderr=err, run_dir=folder, changed=False)

    returned = dict(
        result=event["result"],
        status=event["status"],
        state=event.get("state", 0),
        caption=event.get("caption", ""),
        seconds=event.get("seconds", 0),
        message=event.get("message", ""),
        log=event["log"],
        run_dir=folder,
        rc=rc,
        cmd=cmd,
        stderr=err,
        # In check mode a ready instrument is one the upgrade would change.
        changed=event["result"] == "ready" if module.check_mode else bool(event.get("changed")),
    )
    if event["result"] in ("success", "ready"):
        module.exit_json(msg="%s in %.1f s. Log: %s" % (event["result"], returned["seconds"], event["log"]),
                         **returned)
    module.fail_json(msg=outcome(event), **returned)


if __name__ == "__main__":
    main()

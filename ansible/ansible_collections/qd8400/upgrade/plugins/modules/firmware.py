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
    An instrument that is not ready fails with the program's message.
  - Otherwise it runs the whole upgrade (C(run --yes)), as the wizard does. The instrument must be in
    maintenance mode at its log-in prompt. An upgrade takes a few minutes.
  - The instrument's log is C(LOG_DIR/ADDRESS/logfile.txt) on the runner, and its result beside it in
    C(result.json).
author:
  - QD8400Upgrade developers (qd8400upgrade@example.org)
requirements:
  - C(qd8400-upgrade) on the runner (Debian package C(qd8400upgrade)).
options:
  folder:
    description: The folder of upgrade files on the runner.
    type: path
    required: true
  address:
    description:
      - The instrument's IPv4 address, as the runner reaches it (the inventory's C(ansible_host)).
      - Leading zeros are dropped (C(192.168.001.020) is 192.168.1.20).
    type: str
    required: true
  log_dir:
    description:
      - The folder on the runner that holds a folder of logs for each instrument.
      - Each run appends to the instrument's C(logfile.txt) and replaces its C(result.json).
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
  time_scale:
    description:
      - For test benches, every wait, the log-in limit and the Telnet time-outs scaled by this factor (0.001 to 1).
      - An instrument upgraded at a scale below 1 has not had the waits it needs.
    type: float
    default: 1
attributes:
  check_mode:
    support: full
    details: The read-only check; the instrument is never changed.
  diff_mode:
    support: none
notes:
  - A failed, halted or stopped upgrade fails the task; halted and stopped instruments need a person.
  - A failed upgrade may have changed the instrument already; its log tells how far it got.
'''

EXAMPLES = r'''
- name: Check that the instrument is ready (read-only)
  qd8400.upgrade.firmware:
    folder: /srv/qd8400/upgrade-2.4
    address: "{{ ansible_host }}"
  delegate_to: "{{ qd8400_runner }}"
  check_mode: true

- name: Upgrade the instrument
  qd8400.upgrade.firmware:
    folder: /srv/qd8400/upgrade-2.4
    address: "{{ ansible_host }}"
    log_dir: /var/log/qd8400
  delegate_to: "{{ qd8400_runner }}"
  register: upgrade

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
  sample: /home/lab/qd8400-upgrade-logs/192.168.1.20/logfile.txt
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
'''

import json
import os

from ansible.module_utils.basic import AnsibleModule

ARGUMENT_SPEC = dict(
    folder=dict(type="path", required=True),
    address=dict(type="str", required=True),
    log_dir=dict(type="path", default="~/qd8400-upgrade-logs"),
    program=dict(type="path", default="qd8400-upgrade"),
    telnet_port=dict(type="int", default=23),
    ftp_port=dict(type="int", default=21),
    time_scale=dict(type="float", default=1.0),
)


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
    """The task's message: the result, and the failure's message on one line."""
    if event["result"] == "halted":
        return "halted at state %d" % event.get("state", 0)
    message = event.get("message", "").replace("\r\n", " ")
    return "%s: %s" % (event["result"], message) if message else event["result"]


def main():
    module = AnsibleModule(
        argument_spec=ARGUMENT_SPEC,
        supports_check_mode=True,
    )
    params = module.params
    log_dir = os.path.abspath(params["log_dir"])
    program = find_program(module, params["program"])
    command = "check" if module.check_mode else "run"
    cmd = [program, command, params["folder"], params["address"], "--json", "--log-dir", log_dir,
           "--telnet-port", str(params["telnet_port"]), "--ftp-port", str(params["ftp_port"]),
           "--time-scale", repr(params["time_scale"])]
    if not module.check_mode:
        cmd.append("--yes")
    rc, out, err = module.run_command(cmd)
    event = result_event(out)
    if event is None:
        # A usage or folder error (exit status 3): its one line is on standard error.
        module.fail_json(msg=err.strip() or "%s ended with exit status %d and no result" % (program, rc),
                         rc=rc, cmd=cmd, stderr=err)

    returned = dict(
        result=event["result"],
        status=event["status"],
        state=event.get("state", 0),
        seconds=event.get("seconds", 0),
        message=event.get("message", ""),
        log=event["log"],
        rc=rc,
        cmd=cmd,
        changed=not module.check_mode and event["result"] != "not-started",
    )
    if event["result"] in ("success", "ready"):
        module.exit_json(**returned)
    module.fail_json(msg=outcome(event), **returned)


if __name__ == "__main__":
    main()

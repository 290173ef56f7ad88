#!/usr/bin/python3
# Ansible module: the login-window look of a Lumora Login volume, through
# lumora-loginctl. The companion decides what differs and reports it; this
# module keeps no record of its own.

from __future__ import annotations

DOCUMENTATION = r"""
---
module: lumora_login
short_description: Set or restore the login-window look with lumora-loginctl
description:
  - Applies a logo, title, background picture, message, host-information
    choice and login options to the login window of a volume, or puts its
    stock look back (which removes the login options).
  - Only settings that differ from what the volume holds are written; the
    answer of C(lumora-loginctl --json) decides C(changed).
  - Supports check mode and diff mode (through C(lumora-loginctl --check --json)).
options:
  logo:
    description: Image file on the managed host for the logo.
    type: path
  title:
    description: Image file on the managed host for the title.
    type: path
  background:
    description: Image file on the managed host for the background picture.
    type: path
  message:
    description: The message, exactly as given; an empty string removes it.
    type: str
  host_info:
    description:
      - Time, HostName, IPAddress, DSStatus, SerialNumber, SystemBuild or
        SystemVersion (any case), or its tag from 0 to 6.
    type: str
  name_and_password:
    description: Name and password fields (true) or a list of users (false); key SHOWFULLNAME.
    type: bool
  power_buttons:
    description: Whether the Sleep, Restart and Shut Down buttons are shown; key PowerOffDisabled.
    type: str
    choices: [show, hide]
  input_menu:
    description: Whether the input menu is shown; key showInputMenu.
    type: str
    choices: [show, hide]
  password_hints:
    description: C(off), or the failed tries (1 to 100) before the password hint; key RetriesUntilHint.
    type: str
  look:
    description:
      - The ID of a look that a save replaced (C(lumora-loginctl history)),
        put back instead of the stock look; implies C(state=restored).
    type: str
  state:
    description:
      - C(present) applies the settings given and leaves the others alone;
        C(restored) puts back the stock look, or the look given by C(look)
        (give no setting then).
    type: str
    choices: [present, restored]
    default: present
  root:
    description: Where the volume is mounted on the managed host (C(--root)).
    type: path
  loginctl:
    description: Path of lumora-loginctl; by default it is looked up on PATH.
    type: path
"""

EXAMPLES = r"""
- name: The login-window look
  lumora_login:
    root: "{{ lumora_root }}"
    logo: /var/lib/lumora-look/logo.png
    message: "Authorised use only."
    host_info: hostname
    name_and_password: true
    power_buttons: hide

- name: The stock look
  lumora_login:
    root: "{{ lumora_root }}"
    state: restored

- name: A look of the history
  lumora_login:
    root: "{{ lumora_root }}"
    look: 20261208T114500Z
"""

RETURN = r"""
settings:
  description: >-
    What became of each setting: saved, unchanged, would change (check mode)
    or failed; the keys are those of C(lumora-loginctl show --json).
  returned: always
  type: dict
"""

import json
import os

from ansible.module_utils.basic import AnsibleModule

IMAGES = ("logo", "title", "background")
# The login options: the module's name and the companion's option.
LOGIN_OPTIONS = {
    "name_and_password": "--name-and-password",
    "power_buttons": "--power-buttons",
    "input_menu": "--input-menu",
    "password_hints": "--password-hints",
}


def main():
    module = AnsibleModule(
        argument_spec=dict(
            logo=dict(type="path"),
            title=dict(type="path"),
            background=dict(type="path"),
            message=dict(type="str"),
            host_info=dict(type="str"),
            name_and_password=dict(type="bool"),
            power_buttons=dict(type="str", choices=["show", "hide"]),
            input_menu=dict(type="str", choices=["show", "hide"]),
            password_hints=dict(type="str"),
            look=dict(type="str"),
            state=dict(type="str", default="present", choices=["present", "restored"]),
            root=dict(type="path"),
            loginctl=dict(type="path"),
        ),
        supports_check_mode=True,
    )
    params = module.params
    if params["look"] is not None:
        params["state"] = "restored"
    given = [name for name in IMAGES + ("message", "host_info") + tuple(LOGIN_OPTIONS) if params[name] is not None]
    if params["state"] == "restored" and given:
        module.fail_json(msg="state=restored takes no settings; given: %s" % ", ".join(given))
    if params["state"] == "present" and not given:
        module.fail_json(msg="give at least one of %s" % ", ".join(IMAGES + ("message", "host_info") + tuple(LOGIN_OPTIONS)))

    loginctl = params["loginctl"] or module.get_bin_path("lumora-loginctl", required=True)

    # In check mode a picture may not be on the host yet, because the task
    # that copies it did not run for real; that setting would change.
    options = []
    pending = {}
    for name in IMAGES:
        path = params[name]
        if path is None:
            continue
        if module.check_mode and not os.path.exists(path):
            module.warn("%s: %s is not there yet; counted as a change" % (name, path))
            pending[name] = path
        else:
            options += ["--" + name, path]
    if params["message"] is not None:
        options += ["--message", params["message"]]
    if params["host_info"] is not None:
        options += ["--host-info", params["host_info"]]
    for name, option in LOGIN_OPTIONS.items():
        value = params[name]
        if isinstance(value, bool):
            value = "yes" if value else "no"
        if value is not None:
            options += [option, value]

    answer = {"changed": False, "settings": {}, "diff": {"before": {}, "after": {}}}
    rc, err = 0, ""
    if options or params["state"] == "restored":
        argv = [loginctl, "set" if params["state"] == "present" else "restore"] + options + ["--json"]
        if params["look"] is not None:
            argv += ["--look", params["look"]]
        if params["root"]:
            argv += ["--root", params["root"]]
        if module.check_mode:
            argv.append("--check")
        rc, out, err = module.run_command(argv)
        try:
            answer = json.loads(out)
        except ValueError:
            # A usage error (status 2) or a companion that could not start.
            module.fail_json(msg="lumora-loginctl exited with status %d: %s" % (rc, err.strip()), rc=rc,
                             stdout=out, stderr=err)

    result = dict(changed=bool(answer["changed"]), settings=answer["settings"])
    diff = answer["diff"]
    for name, path in pending.items():
        result["changed"] = True
        result["settings"][name] = "would change"
        diff["before"][name] = "(not compared)"
        diff["after"][name] = "%s (not there yet)" % path
    if module._diff:
        result["diff"] = diff
    if rc != 0:
        # Status 1: a setting could not be saved; the companion names it.
        module.fail_json(msg="lumora-loginctl exited with status %d: %s" % (rc, err.strip()), rc=rc, stderr=err,
                         **result)
    module.exit_json(**result)


if __name__ == "__main__":
    main()

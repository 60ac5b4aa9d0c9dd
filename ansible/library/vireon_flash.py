#!/usr/bin/python3
# Copyright (c) vireon.control contributors; MIT licence (see LICENSE).
"""Ansible module: bring a Vireon Surface to a firmware file with vireon-flash."""

DOCUMENTATION = r'''
---
module: vireon_flash
short_description: Update a Vireon Surface only when it does not hold the firmware file
description:
  - Runs C(vireon-flash --json verify) on the managed host and programs the
    surface with C(vireon-flash --json update) only when the surface does not
    hold the file, so a second run of the same play reports C(changed=false).
  - In check mode it reports whether an update would happen and writes nothing.
  - A failure fails the host with the command's own message, its fix and its
    exit status in C(rc); the other hosts go on.
options:
  firmware:
    description: The two-image firmware file (.cyacd) on the managed host.
    type: path
    required: true
  serial:
    description: The serial number of the surface, when several are attached.
    type: str
  device:
    description:
      - The device path of the surface, as C(vireon-flash list) shows it.
      - A surface may come back under another path after the restart that
        ends the check; prefer I(serial) where the surface reports one.
    type: str
  state:
    description:
      - C(updated) programs the surface when it does not hold the file.
      - C(verified) only checks, and fails when the surface does not hold the file.
    type: str
    choices: [updated, verified]
    default: updated
  require_signature:
    description: Refuse a file without a good signature by a trusted key (C(--require-signature)).
    type: bool
    default: false
  wait:
    description:
      - Seconds to wait for a surface to be attached before the check.
      - The check restarts the surface, so the update after it waits up to
        the longer of this and I(return_timeout).
    type: int
    default: 0
  return_timeout:
    description: Seconds the surface may stay off the bus while it restarts between its two images.
    type: int
    default: 60
  executable:
    description: The command to run; C(vireon-flash-demo) works on simulated surfaces.
    type: str
    default: vireon-flash
notes:
  - Supports check mode.
  - The file, its C(.minisig) and their folder must be the updating user's
    (or root's) alone; otherwise the host fails with C(error=file-not-ours)
    and nothing is run.
  - The exit statuses and messages are those of C(vireon-flash), see C(man vireon-flash).
author: vireon.control
'''

EXAMPLES = r'''
- name: Bring the desk's surface to the studio's firmware
  vireon_flash:
    firmware: /var/tmp/vireon/vireon-surface.cyacd
    wait: 30

- name: Only check one of two surfaces, signed files only
  vireon_flash:
    firmware: /var/tmp/vireon/vireon-surface.cyacd
    serial: VS-0002
    state: verified
    require_signature: true
'''

RETURN = r'''
serial:
  description: The serial number of the surface (empty when it reports none).
  returned: when a surface was found
  type: str
  sample: VS-0001
device:
  description: The surface's device path.
  returned: when a surface was found
  type: str
  sample: /dev/hidraw3
rows_programmed:
  description: Rows programmed in each stage (0 when the surface already held the file).
  returned: always
  type: dict
  sample: {stage1: 32, stage2: 32}
elapsed:
  description: Seconds the module took, checks included.
  returned: always
  type: float
  sample: 7.42
msg:
  description: The command's own last message.
  returned: always
  type: str
  sample: "Update complete: both images of /var/tmp/vireon/vireon-surface.cyacd are programmed."
rc:
  description: The exit status of the last command (0, or the failure's, e.g. 4 for no surface).
  returned: always, except in check mode when an update would happen
  type: int
  sample: 0
error:
  description: The exit status's name, such as no-surface or file-refused.
  returned: failure
  type: str
  sample: no-surface
fix:
  description: What to do about the failure, in the command's own words.
  returned: failure
  type: str
  sample: "plug the surface in (or give --wait SECONDS)"
'''

import json
import os
import stat
import time

from ansible.module_utils.basic import AnsibleModule

# verify's status for a surface that does not hold the file.
DIFFERS = 'bootloader-refused'


def run(module, command, wait):
    p = module.params
    args = [p['executable'], '--json', '--wait', str(wait), '--return-timeout', str(p['return_timeout'])]
    for option in ('serial', 'device'):
        if p[option]:
            args += ['--' + option, p[option]]
    if p['require_signature']:
        args.append('--require-signature')
    rc, out, err = module.run_command(args + [command, p['firmware']])
    lines = []
    for text in out.splitlines():
        try:
            lines.append(json.loads(text))
        except ValueError:
            pass
    end = lines[-1] if lines and 'result' in lines[-1] else {}
    return rc, lines, end, err


def not_ours(path):
    """Why another user could change what lies at path (None: nobody but
    this user, or root, can): a link, another user's file or folder, one
    others may write to, a file with a second name (a hard link)."""
    try:
        st = os.lstat(path)
    except FileNotFoundError:
        return None
    if stat.S_ISLNK(st.st_mode):
        return '%s is a symbolic link' % path
    if st.st_uid not in (os.geteuid(), 0):
        return '%s belongs to uid %d' % (path, st.st_uid)
    if st.st_mode & 0o022:
        return 'others may write to %s (mode %04o)' % (path, stat.S_IMODE(st.st_mode))
    if stat.S_ISREG(st.st_mode) and st.st_nlink != 1:
        return '%s has %d names (hard links)' % (path, st.st_nlink)
    return None


def main():
    module = AnsibleModule(
        argument_spec=dict(
            firmware=dict(type='path', required=True),
            serial=dict(type='str'),
            device=dict(type='str'),
            state=dict(type='str', choices=['updated', 'verified'], default='updated'),
            require_signature=dict(type='bool', default=False),
            wait=dict(type='int', default=0),
            return_timeout=dict(type='int', default=60),
            executable=dict(type='str', default='vireon-flash'),
        ),
        mutually_exclusive=[('serial', 'device')],
        supports_check_mode=True,
    )
    started = time.monotonic()
    result = dict(changed=False, rows_programmed=dict(stage1=0, stage2=0))

    def account(rc, lines, end):
        for line in lines:
            if 'device' in line:
                result.update(device=line['device'], serial=line.get('serial', ''))
            if line.get('action') == 'program':
                result['rows_programmed'][line['stage']] = line['rows_done']
                result['changed'] = True
        result.update(rc=rc, msg=end.get('message', ''), elapsed=round(time.monotonic() - started, 2))

    def fail(rc, end, err):
        result.update(msg=end.get('message') or err.strip() or 'exit status %d' % rc,
                      error=end.get('error', ''), fix=end.get('fix', ''), stderr=err)
        module.fail_json(**result)

    # The file, its signature and the folder they lie in must be this
    # user's (or root's) alone: whoever else can write there could swap the
    # file between the check and the update.
    firmware = module.params['firmware']
    for path in (os.path.dirname(os.path.abspath(firmware)) or '/', firmware, firmware + '.minisig'):
        problem = not_ours(path)
        if problem:
            result.update(error='file-not-ours',
                          fix="put the firmware in a folder only the updater's user may write to.")
            module.fail_json(msg='The firmware is not used: %s, so another user could change it.' % problem,
                             **result)

    rc, lines, end, err = run(module, 'verify', module.params['wait'])
    account(rc, lines, end)
    differs = rc != 0 and end.get('error') == DIFFERS
    if rc != 0 and (not differs or module.params['state'] == 'verified'):
        fail(rc, end, err)
    if differs and module.check_mode:
        # verify's status is the answer here, not a failure of the host.
        del result['rc']
        result.update(changed=True, msg='The surface does not hold the file; an update would program it.')
    elif differs:
        # The verify that found the difference ended with the exit command:
        # the surface is restarting, off the bus for a while.
        rc, lines, end, err = run(module, 'update', max(module.params['wait'], module.params['return_timeout']))
        account(rc, lines, end)
        if rc != 0:
            fail(rc, end, err)
    module.exit_json(**result)


if __name__ == '__main__':
    main()

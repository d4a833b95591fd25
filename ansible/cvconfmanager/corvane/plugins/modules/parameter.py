#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 CVConfManager developers
# MIT License (see https://opensource.org/licenses/MIT)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: parameter
short_description: Set or remove parameters in a Corvane server's corvane.conf
description:
  - Sets parameters of a Corvane database server's C(corvane.conf) to values, or removes their
    entry lines so that the server uses its defaults.
  - Runs C(cvconf) of the cvconfmanager package on the managed host, once per task, which checks the
    names against the parameter catalogue, keeps comments and unknown keys, and saves the file safely.
  - Names are matched ignoring letter case and written in the catalogue's spelling. A name outside
    the catalogue fails with the closest names suggested, unless I(any_key=true).
  - The file is written only when a value changes, and C(cvconf) then changes only the lines of the
    parameters it sets; every other line stays byte for byte, its blanks around C(=) and its line end
    included. (The windows of CVConfManager also remove the blanks around C(=) on every entry line
    when they save.)
version_added: "1.1.0"
extends_documentation_fragment:
  - cvconfmanager.corvane.cvconf
options:
  name:
    description:
      - The parameter's name, such as C(ConnectionTimeout).
      - Mutually exclusive with I(parameters); one of the two is required.
    type: str
  value:
    description:
      - The value, stored as C(cvconf get) returns it, without blanks next to C(=).
      - Text or a number; a number is written as YAML reads it (C(010) as C(8), C(1.50) as C(1.5)),
        so quote it to keep it as typed. A boolean, such as YAML's C(yes), C(no), C(true) and C(off),
        a list or a mapping fails; quote it to write it as text.
      - An empty value removes the parameter, as I(state=absent) does.
      - Required with I(name) when I(state=present).
    type: raw
  parameters:
    description:
      - Names and values, set in one run of C(cvconf) and saved at most once.
      - The values are taken as I(value) takes them; an empty value removes the parameter.
      - Mutually exclusive with I(name) and I(value); not with I(state=absent), which removes I(name).
    type: dict
  state:
    description:
      - C(present) sets the value, replacing the first entry line of the name or adding one at the end.
      - C(absent) removes every entry line of I(name). On a missing file nothing needs to change.
    type: str
    choices: [ present, absent ]
    default: present
  any_key:
    description:
      - Accept a key outside the parameter catalogue. A name that begins with C(#) or a blank fails all the same.
    type: bool
    default: false
  backup:
    description:
      - Keep a copy of the file, with a time stamp in its name, beside it before it is changed.
      - Not in check mode, and only when a value changes.
    type: bool
    default: false
  lock_timeout:
    description:
      - Seconds to wait for another program's lock on the file before failing; C(0) does not wait.
    type: int
    default: 10
attributes:
  check_mode:
    description: Runs C(cvconf --dry-run), which writes nothing.
    support: full
  diff_mode:
    description: Shows the change as the unified diff of the lines it changes.
    support: full
notes:
  - A file that another program changed while the module ran is not written; the task fails with
    C(cvconf)'s message.
  - With I(backup=true) a dry run first tells whether a value changes; the copy is made after it and
    before the change. A program that changes the file between the two without taking its lock is
    missing in the copy, though kept in the file.
'''

EXAMPLES = r'''
- name: Corvane clients wait four minutes for a connection
  cvconfmanager.corvane.parameter:
    name: ConnectionTimeout
    value: 240
  become: true

- name: The lock manager's settings, saved once, with a copy of the file before
  cvconfmanager.corvane.parameter:
    parameters:
      LockMemSize: 524288
      LockSemCount: 64
      LockHashSlots: 1009
      TcpNoNagle: 1
      RemoteBindAddress: ""
    backup: true
  become: true

- name: The server binds to its default address again
  cvconfmanager.corvane.parameter:
    name: RemoteBindAddress
    state: absent
  become: true

- name: A key of a newer server version, in a test copy
  cvconfmanager.corvane.parameter:
    path: /srv/test/corvane.conf
    name: WireCompression
    value: "true"
    any_key: true
'''

RETURN = r'''
previous:
  description: The value of I(name) before, or null when the file had no entry line for it.
  returned: success, with I(name)
  type: str
  sample: "180"
value:
  description: The value of I(name) after, or null when the file has no entry line for it.
  returned: success, with I(name)
  type: str
  sample: "240"
parameters:
  description: Per name given, in order, its value before and after.
  returned: success
  type: list
  elements: dict
  contains:
    name:
      description: The name, in the catalogue's spelling.
      type: str
      sample: ConnectionTimeout
    previous:
      description: The value before, or null when the file had no entry line for the name.
      type: str
      sample: "180"
    value:
      description: The value after, or null when the file has no entry line for the name.
      type: str
      sample: "240"
backup_file:
  description: The copy of the file made before the change.
  returned: when I(backup=true) and a value changed
  type: str
  sample: /etc/corvane/corvane.conf.2048.2026-12-09@10:15:02~
diff:
  description: The change, with C(--diff).
  returned: success, in diff mode
  type: dict
  contains:
    prepared:
      description: The change as a unified diff, empty when nothing changes.
      type: str
'''

import errno
import os

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.six import integer_types, string_types
from ansible_collections.cvconfmanager.corvane.plugins.module_utils.cvconf import CVCONF_ARGUMENT_SPEC, run_cvconf


def checked_name(module, name):
    name = '%s' % (name,)
    if '=' in name:
        module.fail_json(msg='the name "%s" holds "=", which no parameter name has' % name)
    return name


def pair(module, name, value):
    """NAME=VALUE for cvconf set, the value as text."""
    if isinstance(value, bool):
        # Python would write "True" or "False"; the parameters' switches take 0 and 1.
        kind = 'a boolean (YAML reads an unquoted yes, no, true, false, on or off as one)'
    elif isinstance(value, string_types + integer_types + (float,)):
        return '%s=%s' % (checked_name(module, name), value)
    else:
        kind = 'a list' if isinstance(value, list) else 'a mapping' if isinstance(value, dict) else 'null'
    module.fail_json(msg='the value for %s is %s: quote it to write it as text' % (name, kind))


def missing(path):
    try:
        os.stat(path)
    except OSError as error:
        return error.errno == errno.ENOENT
    return False


def main():
    module = AnsibleModule(
        argument_spec=dict(
            CVCONF_ARGUMENT_SPEC,
            name=dict(type='str'),
            value=dict(type='raw'),
            parameters=dict(type='dict'),
            state=dict(type='str', default='present', choices=['present', 'absent']),
            any_key=dict(type='bool', default=False),
            backup=dict(type='bool', default=False),
            lock_timeout=dict(type='int', default=10),
        ),
        mutually_exclusive=[('name', 'parameters'), ('value', 'parameters')],
        required_one_of=[('name', 'parameters')],
        required_if=[('state', 'present', ('value', 'parameters'), True), ('state', 'absent', ('name',))],
        supports_check_mode=True,
    )
    params = module.params
    path = params['path']
    name = params['name']
    if params['state'] == 'absent':
        # Nothing to remove from a file that is not there.
        if missing(path):
            module.exit_json(changed=False, previous=None, value=None, parameters=[dict(name=name, previous=None, value=None)])
        verb, operands = 'unset', [checked_name(module, name)]
    else:
        values = [(name, params['value'])] if name is not None else params['parameters'].items()
        verb, operands = 'set', [pair(module, key, value) for key, value in values]
        if not operands:
            module.exit_json(changed=False, parameters=[])
    options = ['--json'] + (['--any-key'] if params['any_key'] else []) + (['--diff'] if module._diff else [])

    def change(dry_run):
        return run_cvconf(module, ['--wait', str(params['lock_timeout']), verb] + options
                          + (['--dry-run'] if dry_run else []) + ['--'] + operands)

    result = {}
    backup = params['backup'] and not module.check_mode
    # A copy is made only of a file that is going to change: a dry run tells.
    outcome = change(dry_run=module.check_mode or backup)
    if backup and outcome['changed']:
        result['backup_file'] = module.backup_local(path)
        outcome = change(dry_run=False)
    result.update(changed=outcome['changed'], parameters=outcome['parameters'])
    if name is not None:
        result.update(previous=outcome['parameters'][0]['previous'], value=outcome['parameters'][0]['value'])
    if module._diff:
        result['diff'] = dict(prepared=outcome['diff'])
    module.exit_json(**result)


if __name__ == '__main__':
    main()

#!/usr/bin/python3
# -*- coding: utf-8 -*-
# Copyright (c) 2026 CVConfManager developers
# MIT License (see https://opensource.org/licenses/MIT)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: parameter
short_description: Set or remove a parameter in a Corvane server's corvane.conf
description:
  - Sets a parameter of a Corvane database server's C(corvane.conf) to a value, or removes its
    entry lines so that the server uses its default.
  - Runs C(cvconf) of the cvconfmanager package on the managed host, which checks the name against
    the parameter catalogue, keeps comments and unknown keys, and saves the file safely.
  - Names are matched ignoring letter case and written in the catalogue's spelling. A name outside
    the catalogue fails with the closest names suggested, unless I(any_key=true).
  - The file is written only when a value changes, and then only the lines set change; every other
    line stays byte for byte, its blanks around C(=) and its line end included.
version_added: "1.1.0"
author:
  - CVConfManager developers (@cvconfmanager)
options:
  name:
    description:
      - The parameter's name, such as C(ConnectionTimeout).
    type: str
    required: true
  value:
    description:
      - The value, stored as C(cvconf get) returns it, without blanks next to C(=).
      - An empty value removes the parameter, as I(state=absent) does.
      - Required when I(state=present).
    type: str
  state:
    description:
      - C(present) sets the value, replacing the first entry line of the name or adding one at the end.
      - C(absent) removes every entry line of the name.
    type: str
    choices: [ present, absent ]
    default: present
  path:
    description:
      - The configuration file on the managed host.
    type: path
    default: /etc/corvane/corvane.conf
  any_key:
    description:
      - Accept a key outside the parameter catalogue.
    type: bool
    default: false
  cvconf:
    description:
      - The C(cvconf) program to run on the managed host, a name searched for on its search path or an absolute path.
    type: str
    default: cvconf
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
requirements:
  - cvconf, the command-line program of CVConfManager, on the managed host
notes:
  - A file that another program changed while the module ran is not written; the task fails with
    C(cvconf)'s message.
'''

EXAMPLES = r'''
- name: Corvane clients wait four minutes for a connection
  cvconfmanager.corvane.parameter:
    name: ConnectionTimeout
    value: "240"
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
  description: The value before, or null when the file had no entry line for the name.
  returned: success
  type: str
  sample: "180"
value:
  description: The value after, or null when the file has no entry line for the name.
  returned: success
  type: str
  sample: "240"
diff:
  description: The file's text before and after, when run with C(--diff).
  returned: success, in diff mode
  type: dict
  contains:
    before:
      description: The file's text before.
      type: str
    after:
      description: The file's text after, or as it would be in check mode.
      type: str
    before_header:
      description: The file's path.
      type: str
    after_header:
      description: The file's path.
      type: str
'''

import json

from ansible.module_utils.basic import AnsibleModule


def main():
    module = AnsibleModule(
        argument_spec=dict(
            name=dict(type='str', required=True),
            value=dict(type='str'),
            state=dict(type='str', default='present', choices=['present', 'absent']),
            path=dict(type='path', default='/etc/corvane/corvane.conf'),
            any_key=dict(type='bool', default=False),
            cvconf=dict(type='str', default='cvconf'),
        ),
        required_if=[('state', 'present', ['value'])],
        supports_check_mode=True,
    )
    name = module.params['name']
    path = module.params['path']
    if '=' in name:
        module.fail_json(msg='the name "%s" holds "=", which no parameter name has' % name)

    cvconf = module.params['cvconf']
    if '/' not in cvconf:
        cvconf = module.get_bin_path(cvconf, required=True)
    command = [cvconf, '--file', path]
    if module.params['state'] == 'present':
        command += ['set', '--json'] + (['--dry-run'] if module.check_mode else [])
        operand = '%s=%s' % (name, module.params['value'])
    else:
        command += ['unset', '--json'] + (['--dry-run'] if module.check_mode else [])
        operand = name
    if module.params['any_key']:
        command.append('--any-key')
    command += ['--', operand]

    # The value goes to cvconf as typed: no "~" or "$" expansion.
    rc, out, err = module.run_command(command, expand_user_and_vars=False)
    if rc != 0:
        module.fail_json(msg=err.strip() or 'cvconf ended with exit status %d' % rc, rc=rc, stderr=err)
    # Such as the companion a killed save left beside the file.
    for line in err.splitlines():
        module.warn(line)
    change = json.loads(out)
    parameter = change['parameters'][0]
    result = dict(changed=change['changed'], previous=parameter['previous'], value=parameter['value'])
    if module._diff:
        result['diff'] = dict(before=change['before'], after=change['after'], before_header=path, after_header=path)
    module.exit_json(**result)


if __name__ == '__main__':
    main()

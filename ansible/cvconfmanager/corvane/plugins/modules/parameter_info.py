#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 CVConfManager developers
# MIT License (see https://opensource.org/licenses/MIT)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: parameter_info
short_description: The parameters of a Corvane server's corvane.conf, with defaults and descriptions
description:
  - Reads a Corvane database server's C(corvane.conf) and returns each parameter of the catalogue with
    its value, its default, whether the file sets it, and its description.
  - Runs C(cvconf list) of the cvconfmanager package on the managed host, once per task, which reads
    the file as the windows of CVConfManager read it and takes descriptions from their language file.
version_added: "1.1.0"
extends_documentation_fragment:
  - cvconfmanager.corvane.cvconf
options:
  names:
    description:
      - Only these parameters, in this order; names are matched ignoring letter case, and a name
        outside the catalogue fails with the closest names suggested.
      - All 36 parameters, in the catalogue's order, when empty.
    type: list
    elements: str
    default: []
  language:
    description:
      - The language of the descriptions, a section of the language file such as C(ENGLISH) or
        C(DEUTSCH), in any letter case.
      - The language file's current language when not given.
    type: str
attributes:
  check_mode:
    description: Reads only, so it runs in check mode as without it.
    support: full
  diff_mode:
    description: Changes nothing, so it has no diff.
    support: none
'''

EXAMPLES = r'''
- name: The servers whose LockMemSize is other than the default
  cvconfmanager.corvane.parameter_info:
    names: [LockMemSize]
  register: corvane

- name: Name them
  ansible.builtin.debug:
    msg: "LockMemSize {{ corvane.parameters.LockMemSize.value }} (default {{ corvane.parameters.LockMemSize.default }})"
  when: corvane.parameters.LockMemSize.set and corvane.parameters.LockMemSize.value != corvane.parameters.LockMemSize.default

- name: Every parameter with its description in German
  cvconfmanager.corvane.parameter_info:
    language: deutsch
  register: corvane_de
'''

RETURN = r'''
parameters:
  description: The parameters by name, in the catalogue's spelling, in the order asked for.
  returned: success
  type: dict
  contains:
    value:
      description: The value, as C(cvconf get) prints it; empty when the file sets none.
      type: str
      sample: "524288"
    default:
      description: The value the server uses when the file sets none; empty for some parameters.
      type: str
      sample: "262144"
    set:
      description: Whether the file has an entry line for the parameter.
      type: bool
    description:
      description: What the parameter does, in lines, in the language asked for; empty when the
        language file has none.
      type: str
  sample:
    LockMemSize:
      value: "524288"
      default: "262144"
      set: true
      description: "Size in bytes of the shared memory that holds the lock manager's lock table.\n..."
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.cvconfmanager.corvane.plugins.module_utils.cvconf import CVCONF_ARGUMENT_SPEC, run_cvconf


def main():
    module = AnsibleModule(
        argument_spec=dict(
            CVCONF_ARGUMENT_SPEC,
            names=dict(type='list', elements='str', default=[]),
            language=dict(type='str'),
        ),
        supports_check_mode=True,
    )
    language = module.params['language']
    entries = run_cvconf(module, ['list', '--json'] + (['--language', language] if language else []) + ['--'] + module.params['names'])
    module.exit_json(changed=False, parameters=dict((entry.pop('name'), entry) for entry in entries))


if __name__ == '__main__':
    main()

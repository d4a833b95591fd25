# -*- coding: utf-8 -*-
# Copyright (c) 2026 CVConfManager developers
# MIT License (see https://opensource.org/licenses/MIT)

"""Runs cvconf on the managed host for the modules of this collection."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import re

from ansible.module_utils.common.text.converters import to_text
from ansible.module_utils.six import string_types

# The options of every module of the collection, documented in the fragment cvconfmanager.corvane.cvconf.
CVCONF_ARGUMENT_SPEC = dict(
    path=dict(type='path', default='/etc/corvane/corvane.conf'),
    cvconf=dict(type='str', default='cvconf'),
)

# cvconf's JSON shows a byte that its locale cannot decode as the private-use
# character U+EF00 plus the byte.
_ESCAPED_BYTES = re.compile(u'([\uef00-\uefff]+)')


def _file_text(text):
    """The file's bytes behind cvconf's text, decoded as Ansible's own modules
    decode file bytes: UTF-8, a byte that is none as a lone surrogate."""
    pieces = _ESCAPED_BYTES.split(text)
    b_text = b''.join(bytes(bytearray(ord(c) - 0xEF00 for c in piece)) if i % 2 else piece.encode('utf-8')
                      for i, piece in enumerate(pieces))
    return to_text(b_text, errors='surrogate_or_strict')


def _decoded(value):
    if isinstance(value, dict):
        return dict((key, _decoded(item)) for key, item in value.items())
    if isinstance(value, list):
        return [_decoded(item) for item in value]
    return _file_text(value) if isinstance(value, string_types) else value


def run_cvconf(module, arguments):
    """Runs cvconf on the module's path with these arguments after --file PATH,
    and returns its JSON; fails the module when cvconf fails."""
    cvconf = module.params['cvconf']
    if '/' not in cvconf:
        cvconf = module.get_bin_path(cvconf, required=True)
    # In a UTF-8 locale cvconf reads the UTF-8 language file and decodes every
    # byte of the file that is UTF-8. Values go to it as typed: no "~" or "$" expansion.
    rc, out, err = module.run_command([cvconf, '--file', module.params['path']] + arguments,
                                      expand_user_and_vars=False, environ_update=dict(LC_ALL='C.UTF-8'))
    if rc != 0:
        module.fail_json(msg=err.strip() or 'cvconf ended with exit status %d' % rc, rc=rc, stderr=err)
    # Such as the companion a killed save left beside the file.
    for line in err.splitlines():
        module.warn(line)
    return _decoded(json.loads(out))

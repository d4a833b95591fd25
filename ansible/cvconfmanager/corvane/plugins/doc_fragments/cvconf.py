# -*- coding: utf-8 -*-
# Copyright (c) 2026 CVConfManager developers
# MIT License (see https://opensource.org/licenses/MIT)

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):
    # What every module of the collection shares: its authors, and the options module_utils/cvconf.py takes.
    DOCUMENTATION = r'''
author:
  - CVConfManager developers (@cvconfmanager)
options:
  path:
    description:
      - The configuration file on the managed host.
    type: path
    default: /etc/corvane/corvane.conf
  cvconf:
    description:
      - The C(cvconf) program to run on the managed host, a name searched for on its search path or an absolute path.
    type: str
    default: cvconf
requirements:
  - cvconf, the command-line program of CVConfManager, on the managed host
'''

#!/usr/bin/env python3
"""Counts the tests a ctest run skipped (from its JUnit report) and fails on any skip that is
not allowed for this configuration by tests/skips.txt.

    check-skips.py <ctest JUnit report> <plain|sanitize>
"""
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

NO_NAMESPACE = ('no private network namespace here', 'unshare -n or ip did not run')


def allowed_skips(configuration):
    path = os.path.join(os.path.dirname(__file__), '..', 'tests', 'skips.txt')
    allowed = {}
    with open(path, encoding='utf-8') as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith('#'):
                continue
            config, name, why = (line.split(None, 2) + [''])[:3]
            if config in (configuration, 'any'):
                allowed[name] = why
    return allowed


def namespaces_here():
    try:
        return subprocess.run(['unshare', '-n', 'true'], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=30).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def skip_reason(output):
    # GoogleTest prints "<file>:<line>: Skipped" and then the reason, before "[  SKIPPED ]".
    m = re.search(r': Skipped\n(.*?)\n\[  SKIPPED \]', output or '', re.S)
    return ' '.join(m.group(1).split()) if m else ''


def main():
    report, configuration = sys.argv[1], sys.argv[2]
    allowed = allowed_skips(configuration)
    namespaces = namespaces_here()
    skipped, refused = [], []
    for case in ET.parse(report).getroot().iter('testcase'):
        if case.find('skipped') is None and case.get('status') not in ('notrun', 'disabled'):
            continue
        name = case.get('name')
        out = case.find('system-out')
        reason = skip_reason(out.text if out is not None else '')
        skipped.append(name)
        if name in allowed:
            print(f'skipped (allowed): {name}: {allowed[name]}')
        elif not namespaces and reason.startswith(NO_NAMESPACE):
            print(f'skipped (no private network here): {name}')
        else:
            refused.append(name)
            print(f'SKIPPED, NOT ALLOWED: {name}: {reason or case.get("status")}')
    print(f'{len(skipped)} skipped ({len(refused)} not allowed) in the {configuration} run')
    if refused:
        print('A test that this machine can run skipped; allow a skip only for a build configuration '
              'that cannot run it, in tests/skips.txt.', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())

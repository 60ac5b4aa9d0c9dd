#!/usr/bin/env python3
"""The example playbook with the real ansible-playbook, on hosts of this
machine, each with its own simulated surface that remembers (the demo's
state folder): the first run updates every surface, the second changes
nothing, --check on a fresh host changes nothing, and hosts with no surface,
a refused file, no signature where one is required and a signature that is
not one (copied beside the file) fail with the updater's message and exit
status while the others succeed. A desk whose firmware folder another local
user made first (uid 4242, through setpriv) is refused before anything is
copied; a signature an earlier release left beside the file is removed; the
summary names only the desks of the run.

usage: test_playbook.py VIREON_FLASH_DEMO SOURCE_DIR
       (exit 77: no ansible-playbook, or no root and setpriv to act as another user)
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

demo, source = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
if shutil.which('ansible-playbook') is None:
    print('ansible-playbook is not installed (scripts/install-deps.sh installs ansible-core)')
    sys.exit(77)

if os.geteuid() != 0 or shutil.which('setpriv') is None:
    print('acting as another local user needs root and setpriv')
    sys.exit(77)

NEIGHBOUR = '4242'
work = tempfile.mkdtemp(prefix='vireon-ansible-')
os.chmod(work, 0o755)  # the neighbour reaches their folder in it
firmware = os.path.join(source, 'examples', 'vireon-surface-demo.cyacd')
refused = os.path.join(work, 'refused.cyacd')
with open(firmware) as good, open(refused, 'w') as bad:
    lines = good.read().split('\n')
    lines[2] = lines[2][:11] + 'G' + lines[2][12:]  # not a hex digit
    bad.write('\n'.join(lines))
badsig = os.path.join(work, 'badsig.cyacd')  # the playbook copies the .minisig beside it
shutil.copy(firmware, badsig)
with open(badsig + '.minisig', 'w') as signature:
    signature.write('not a signature\n')

ok_hosts = ['desk1', 'desk2', 'stale']
failing = {'absent': (4, 'no-surface', 'No Vireon Surface was attached within 10 s.'),
           'badfile': (3, 'file-refused', "has 'G' where a hex digit belongs"),
           'unsigned': (3, 'file-refused', 'carries no signature'),
           'badsig': (3, 'file-refused', 'badsig.cyacd.minisig is not a minisign signature')}


def host(name, **extra):
    # Each desk stands for a machine of its own: its own runtime folder, where
    # vireon-flash keeps the lock of the surface it updates (every desk's
    # simulated surface has the same name).
    runtime = os.path.join(work, name, 'runtime')
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    env = {'VIREON_FLASH_DEMO_STATE': os.path.join(work, name, 'state'), 'XDG_RUNTIME_DIR': runtime}
    env.update(extra)
    return '%s vireon_firmware_dir=%s vireon_environment=\'%s\'' % (
        name, os.path.join(work, name, 'firmware'), json.dumps(env))


# Batches of three, each with a host that succeeds: a batch where every host
# fails ends the play.
with open(os.path.join(work, 'inventory.ini'), 'w') as inventory:
    inventory.write('\n'.join([
        'localhost ansible_connection=local ansible_python_interpreter=%s' % sys.executable,
        '[desks]',
        host('absent', VIREON_FLASH_DEMO_SCENARIO='absent'), host('desk1'),
        host('badfile') + ' vireon_firmware=' + refused,
        host('unsigned') + ' vireon_require_signature=true', host('badsig') + ' vireon_firmware=' + badsig,
        host('desk2'),
        host('theirs'), host('stale'),
        host('fresh'),
        '[desks:vars]',
        'ansible_connection=local', 'ansible_python_interpreter=' + sys.executable,
        'vireon_executable=' + demo, 'vireon_firmware=' + firmware, 'vireon_batch=3',
        # A surface restarts after each check and update, off the bus a while.
        'vireon_wait=10', '']))

# A local user made the firmware folder of 'theirs' first, open to all; a
# signature from an earlier release lies beside the file of 'stale'.
os.chmod(os.path.join(work, 'theirs'), 0o1777)  # shared as /var/tmp is
subprocess.run(['setpriv', '--reuid=' + NEIGHBOUR, '--regid=' + NEIGHBOUR, '--clear-groups',
                'mkdir', '-m', '0777', os.path.join(work, 'theirs', 'firmware')], check=True)
os.makedirs(os.path.join(work, 'stale', 'firmware'), mode=0o755, exist_ok=True)
with open(os.path.join(work, 'stale', 'firmware', os.path.basename(firmware) + '.minisig'), 'w') as earlier:
    earlier.write('untrusted comment: an earlier release\nnot this release\'s signature\n')

open(os.path.join(work, 'ansible.cfg'), 'w').close()  # no ansible.cfg of the machine or the folder
env = dict(os.environ, LC_ALL='C.UTF-8', ANSIBLE_HOME=os.path.join(work, 'home'),
           ANSIBLE_LOCAL_TEMP=os.path.join(work, 'tmp'), ANSIBLE_REMOTE_TEMP=os.path.join(work, 'tmp'),
           ANSIBLE_CONFIG=os.path.join(work, 'ansible.cfg'), ANSIBLE_LIBRARY=os.path.join(source, 'ansible', 'library'),
           ANSIBLE_NOCOLOR='1', ANSIBLE_RETRY_FILES_ENABLED='0')
failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)
        print('FAILED: ' + what)


def play(name, *options):
    """Runs the playbook; returns per host the update task's result, and per host its recap counts."""
    run = subprocess.run(['ansible-playbook', '-v', '-i', os.path.join(work, 'inventory.ini'), '-f', '8',
                          os.path.join(source, 'ansible', 'update-surfaces.yml')] + list(options),
                         cwd=work, env=env, capture_output=True, text=True)
    print('== %s (exit %d)' % (name, run.returncode))
    results, recap, section = {}, {}, False
    for line in run.stdout.splitlines():
        if line.startswith(('TASK [', 'PLAY ')):
            section = line.startswith('TASK [Surfaces hold the firmware]')
        elif section and ' => {' in line:
            result = json.loads(line[line.index(' => {') + 4:])
            result['status'] = line.split(':')[0]  # ok, changed or failed
            results[line[line.index('[') + 1:line.index(']')]] = result
        match = re.match(r'(\S+)\s+: ok=(\d+)\s+changed=(\d+)\s+unreachable=\d+\s+failed=(\d+)', line)
        if match:
            print(line.rstrip())
            recap[match[1]] = {'changed': int(match[3]), 'failed': int(match[4])}
    if not recap:
        sys.exit('ansible-playbook gave no recap:\n' + run.stdout + run.stderr)
    return results, recap, run.stdout


def holds_file(name):
    """The host's surface holds both images of the file: the demo verifies its state."""
    return subprocess.run([demo, '--state', os.path.join(work, name, 'state'), '--wait', '10', '-q',
                           'verify', firmware], capture_output=True).returncode == 0


def rows_stored(name):
    # The state file's format is in sim/surface_state.h: one 'row' line per stored row.
    path = os.path.join(work, name, 'state', 'surface.state')
    return sum(line.startswith('row ') for line in open(path)) if os.path.exists(path) else 0


first, stats, out = play('first run', '--limit', '!fresh')
for name in ok_hosts:
    expect(first.get(name, {}).get('status') == 'changed', name + ': the first run updates it')
    expect(first.get(name, {}).get('rows_programmed') == {'stage1': 32, 'stage2': 32},
           name + ': 32 rows programmed in each stage')
    expect(holds_file(name), name + ': its surface holds both images of the file')
for name, (rc, error, message) in failing.items():
    result = first.get(name, {})
    expect(result.get('status') == 'failed' and result.get('rc') == rc and result.get('error') == error,
           '%s: fails with rc %d (%s), got %s' % (name, rc, error, result))
    expect(message in result.get('msg', '') and result.get('fix'), name + ': the updater\'s message and fix')

expect('theirs' not in first and stats.get('theirs', {}).get('failed') == 1,
       'theirs: the folder another user made is refused before the update')
expect('firmware is not a folder of the updater\'s own (it is owned by uid %s' % NEIGHBOUR in out,
       'theirs: the refusal names the folder\'s owner')
expect(not os.listdir(os.path.join(work, 'theirs', 'firmware')), 'theirs: nothing is copied into their folder')
expect(rows_stored('theirs') == 0, 'theirs: nothing reaches its surface')
expect(not os.path.exists(os.path.join(work, 'stale', 'firmware', os.path.basename(firmware) + '.minisig')),
       'stale: the earlier release\'s signature is removed')
expect('fresh' not in out[out.index('TASK [One line per surface]'):], 'the summary names no desk outside --limit')

second, stats, _ = play('second run', '--limit', '!fresh')
for name in ok_hosts:
    expect(second.get(name, {}).get('status') == 'ok',
           name + ': the second run changes nothing')
    expect(stats.get(name, {}).get('changed') == 0, name + ': nothing changed in the recap')

check, _, _ = play('--check on a fresh host', '--check', '--limit', 'fresh,localhost')
expect(check.get('fresh', {}).get('status') == 'changed', 'fresh: --check reports an update would happen')

expect(rows_stored('fresh') == 0, 'fresh: --check writes nothing to its surface')

if not failures:
    shutil.rmtree(work)
sys.exit(1 if failures else 0)

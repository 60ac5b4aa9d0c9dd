#!/usr/bin/env python3
"""Every command the two READMEs and the manual pages give is run here: as
written, in a quick form where the whole one takes long, or by another test
named here.

The commands are the lines of the READMEs' code blocks: README.md's run
from the top of the source tree, ansible/README.md's from ansible/. A line
that ends in a backslash goes on in the next; a comment after the command
is not part of it; a block whose every line is quoted is output shown, not
commands. A manual page's are the indented lines of its EXAMPLES. Each must
be a key of its document's table below, which says how it is run: a
command the table does not have fails the test, and so does a script that
a README names and that does not exist, before anything runs. A row the
documents no longer give fails it too.

usage: test_readme_commands.py SOURCE_DIR BUILD_DIR --groups G1,G2,...
           checks the tables against the READMEs (every row's group must be
           one of the groups ctest runs)
       test_readme_commands.py SOURCE_DIR BUILD_DIR GROUP
           runs the rows of one group, in table order

The commands run in a copy of the source tree, with the scripts pointed at
BUILD_DIR (VIREON_BUILD: the build under test, so no script builds a
build/demo of its own), a home folder, TMPDIR and site configuration folder
(VIREON_CONFIG_DIR) of their own, and Ansible told to read no configuration
of this machine's. Exit 77 when a tool a group needs is missing.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field
from typing import List, Optional

DEMO_FILE = 'examples/vireon-surface-demo.cyacd'


@dataclass
class Expect:
    """How one run of a command must end: its exit status, and patterns its
    output (standard output and error together) must match."""
    status: int = 0
    output: List[str] = field(default_factory=list)


@dataclass
class Run:
    """Run by this test, in GROUP. `quick` is what runs instead of the
    command as written, when that one takes long or needs what a test must
    not touch (the machine's /etc, sudo); `runs` how each run, one after the
    other, must end; `stdin` what it is given; `needs` the tools it needs."""
    group: str
    quick: Optional[str] = None
    runs: List[Expect] = field(default_factory=lambda: [Expect()])
    stdin: Optional[str] = None
    needs: List[str] = field(default_factory=list)


@dataclass
class RunBy:
    """Run elsewhere: the file `where` (relative to the source tree) runs
    it, and must hold `marker`."""
    where: str
    marker: str


def recap(changed):
    """The play's recap for the three desks of ansible/inventory.demo.ini."""
    return [r'\ndesk%d\s+: ok=\d+\s+changed=%d\s+unreachable=0\s+failed=0\s' % (desk, changed)
            for desk in (1, 2, 3)]


FLASH_DEMO_UPDATED = r'Update complete: both images of \S+ are programmed'

# README.md, run from the top of the source tree. To add a command: its
# line as the README gives it, and how it runs: Run(GROUP, ...) with an
# expected ending (a new group goes into tests/readme/CMakeLists.txt too), or
# RunBy(the file that runs it, a marker of that). A command whose script
# does not exist yet fails the test either way.
README = {
    # Quick start
    'scripts/demo.sh': Run('window', quick='scripts/demo.sh --help', runs=[Expect(0, [r'--scenario NAME'])]),
    'scripts/test.sh': RunBy('.ci/run', 'bash scripts/test.sh'),
    # The page with its simulated surface serves until Ctrl-C; the page's
    # own tests (tests/web) run it as the demo serves it.
    'scripts/web-demo.sh': Run('flash', quick='scripts/web-demo.sh --help', runs=[Expect(0, [r'fault=KIND:STAGE:N'])]),
    'scripts/walkthrough.sh': Run('window', runs=[Expect(0, [r'Firmware Update 1 success', r'errorFlag==0'])]),
    'scripts/package.sh': RunBy('packaging/check_package.sh', '"$top/scripts/package.sh" --no-deps --out "$dir"'),
    'sudo apt install ./build/package/vireon-control_0.12-1_amd64.deb':
        RunBy('packaging/check_package.sh', 'sudo apt install ./build/package/'),
    'sudo apt remove vireon-control': RunBy('packaging/check_package.sh', 'sudo apt remove '),
    # Signed firmware: a maker's key and signature, a site that trusts the
    # key and requires signatures, in the test's own configuration folder.
    'minisign -G -p vireon-maker.pub -s ~/.minisign/vireon-maker.key':
        Run('signing', stdin='maker password\nmaker password\n', needs=['minisign']),
    "minisign -S -s ~/.minisign/vireon-maker.key -m surface-2.3.1.cyacd -t 'surface 2.3.1'":
        Run('signing', stdin='maker password\n', needs=['minisign']),
    'sudo install -D -m 644 vireon-maker.pub /etc/vireon-control/keys/vireon-maker.pub':
        Run('signing', quick='install -D -m 644 vireon-maker.pub "$VIREON_CONFIG_DIR/keys/vireon-maker.pub"'),
    "echo 'require-signature = yes' | sudo tee /etc/vireon-control/policy.conf":
        Run('signing', quick="echo 'require-signature = yes' | tee \"$VIREON_CONFIG_DIR/policy.conf\"",
            runs=[Expect(0, [r'^require-signature = yes$'])]),
    'vireon-flash doctor':
        Run('signing', runs=[Expect(1, [r'vireon-maker\.pub', r'require-signature = yes'])]),
    'VIREON_CONFIG_DIR=$PWD/site vireon-flash doctor':
        Run('signing', runs=[Expect(1, [r'/src/site/keys', r'/src/site/policy\.conf'])]),
    # Command line: vireon-flash
    'scripts/flash-demo.sh update ' + DEMO_FILE: Run('flash', runs=[Expect(0, [FLASH_DEMO_UPDATED])]),
    'scripts/flash-demo.sh --scenario two --serial VS-0002 --json update ' + DEMO_FILE:
        Run('flash', runs=[Expect(0, [r'"serial":"VS-0002"', r'"result":"success"'])]),
    'scripts/flash-demo.sh --scenario open-refused update %s; echo "exit $?"' % DEMO_FILE:
        Run('flash', runs=[Expect(0, [r'\nexit 5\n'])]),
    'scripts/flash-demo.sh doctor': Run('flash', runs=[Expect(0, [r'surface'])]),
    'scripts/flash-demo.sh --fault no-answer:2:1 update %s; echo "exit $?"' % DEMO_FILE:
        Run('flash', runs=[Expect(0, [r'did not answer within 5 s', r'\nexit 8\n'])]),
    # Updating many desks
    'cp ansible/inventory.example.ini ansible/inventory.ini': Run('fleet'),
    'ansible-playbook -i ansible/inventory.ini ansible/update-surfaces.yml '
    '-e vireon_firmware=/srv/fw/vireon-surface.cyacd':
        Run('fleet', quick='ansible-playbook -i ansible/inventory.ini ansible/update-surfaces.yml '
                           '-e vireon_firmware=/srv/fw/vireon-surface.cyacd --list-hosts',
            runs=[Expect(0, [r'desk-a\.studio\.example', r'desk-c\.studio\.example'])], needs=['ansible-playbook']),
    'ansible-playbook -i ansible/inventory.ini ansible/update-surfaces.yml '
    '-e vireon_firmware=/srv/fw/vireon-surface.cyacd --check':
        Run('fleet', quick='ansible-playbook -i ansible/inventory.ini ansible/update-surfaces.yml '
                           '-e vireon_firmware=/srv/fw/vireon-surface.cyacd --check --list-hosts',
            runs=[Expect(0, [r'desk-b\.studio\.example'])], needs=['ansible-playbook']),
    'scripts/flash-demo.sh --state /tmp/desk1 update ' + DEMO_FILE:
        Run('flash', quick='scripts/flash-demo.sh --state "$TMPDIR/desk1" update ' + DEMO_FILE,
            runs=[Expect(0, [FLASH_DEMO_UPDATED])]),
    'scripts/flash-demo.sh --state /tmp/desk1 --wait 10 verify ' + DEMO_FILE:
        Run('flash', quick='scripts/flash-demo.sh --state "$TMPDIR/desk1" --wait 10 verify ' + DEMO_FILE,
            runs=[Expect(0, [r'Verify complete: the bootloader.s checks found no difference'])]),
}

# ansible/README.md, run from ansible/.
ANSIBLE_README = {
    'cp inventory.example.ini inventory.ini': Run('fleet'),
    'ansible-playbook -i inventory.ini update-surfaces.yml -e vireon_firmware=/srv/fw/vireon-surface.cyacd':
        Run('fleet', quick='ansible-playbook -i inventory.ini update-surfaces.yml '
                           '-e vireon_firmware=/srv/fw/vireon-surface.cyacd --list-hosts',
            runs=[Expect(0, [r'desk-b\.studio\.example'])], needs=['ansible-playbook']),
    'ansible-doc -M library vireon_flash':
        Run('fleet', runs=[Expect(0, [r'vireon_flash', r'firmware', r'return_timeout'])], needs=['ansible-doc']),
    # Without surfaces: the three desks of the demo inventory, twice, as
    # documented: each surface is updated, then found to hold the file.
    'ansible-playbook -i inventory.demo.ini update-surfaces.yml':
        Run('fleet', runs=[Expect(0, recap(1) + [r'desk1 SIM-[0-9A-F]{8}: updated, 32 \+ 32 rows']),
                           Expect(0, recap(0) + [r'desk3 SIM-[0-9A-F]{8}: holds the file'])],
            needs=['ansible-playbook']),
}

# The manual pages' examples, run from the top of the source tree by the
# same program on the simulated surface (vireon-flash-demo), its file the
# name the examples give.
MANUAL_FILE = 'vireon-surface.cyacd'
VIREON_FLASH_MANUAL = {
    'vireon-flash --wait 30 update ' + MANUAL_FILE:
        Run('flash', quick='scripts/flash-demo.sh --wait 30 update ' + MANUAL_FILE,
            runs=[Expect(0, [FLASH_DEMO_UPDATED])]),
    'vireon-flash --serial VS-0002 --json --log flash.log update ' + MANUAL_FILE:
        Run('flash', quick='scripts/flash-demo.sh --scenario two --serial VS-0002 --json --log flash.log update %s'
                           ' && echo "== flash.log" && cat flash.log' % MANUAL_FILE,
            runs=[Expect(0, [r'"serial":"VS-0002"', r'"result":"success"', r'^== flash.log\n(.+\n)*.*VS-0002'])]),
}

# Each document: its path, the folder its commands run from, its table, and
# how its commands are found.
DOCUMENTS = [('README.md', '.', README, 'markdown'), ('ansible/README.md', 'ansible', ANSIBLE_README, 'markdown'),
             ('cli/vireon-flash.1', '.', VIREON_FLASH_MANUAL, 'manual')]


def commands(text):
    """The commands of a Markdown text's code blocks (indented or fenced)."""
    found, block, fenced, previous_blank = [], [], False, True

    def close():
        lines, joined = [], ''
        for line in block:
            joined += line
            if joined.endswith('\\'):
                joined = joined[:-1].rstrip() + ' '
                continue
            lines.append(joined)
            joined = ''
        if joined:
            lines.append(joined)
        lines = [re.sub(r'\s{2,}#.*$', '', line).strip() for line in lines]
        lines = [line for line in lines if line and not line.startswith('#')]
        if lines and not all(line.startswith('"') for line in lines):
            found.extend(lines)
        block.clear()

    for line in text.split('\n'):
        if line.startswith('```'):
            if fenced:
                close()
            fenced = not fenced
            continue
        if fenced:
            block.append(line.strip())
        elif line.startswith('    ') and (block or previous_blank):
            block.append(line.strip())
        elif block and line.strip() == '':
            close()
        elif block:
            close()
        previous_blank = line.strip() == ''
    close()
    return found


def manual_commands(text):
    """The commands of a manual page's EXAMPLES: the lines of its indented
    blocks (.RS to .RE), with the page's escapes read."""
    found, section, indented = [], None, False
    for line in text.split('\n'):
        if line.startswith('.SH '):
            section = line[4:].strip().strip('"')
        elif section == 'EXAMPLES' and line.startswith('.RS'):
            indented = True
        elif line.startswith('.RE'):
            indented = False
        elif indented and section == 'EXAMPLES' and line and not line.startswith('.'):
            found.append(line.replace('\\-', '-').replace("\\(aq", "'").replace('\\e', '\\').strip())
    return found


FINDERS = {'markdown': commands, 'manual': manual_commands}


def check_tables(source, groups):
    """What the READMEs give against the tables; returns the failures."""
    failures = []
    for readme, folder, table, kind in DOCUMENTS:
        text = open(os.path.join(source, readme)).read()
        given = FINDERS[kind](text)
        for command in given:
            if command not in table:
                failures.append('%s gives a command no test runs (add it to the table in %s): %s'
                                % (readme, os.path.relpath(__file__, source), command))
        for command, how in table.items():
            if command not in given:
                failures.append('%s no longer gives this command; drop its row: %s' % (readme, command))
            if isinstance(how, Run) and how.group not in groups:
                failures.append('%s: group %r is not one ctest runs (%s)' % (command, how.group, ', '.join(groups)))
            if isinstance(how, RunBy):
                where = os.path.join(source, how.where)
                if not os.path.isfile(where) or how.marker not in open(where).read():
                    failures.append('%s: %s does not run it (no %r there)' % (command, how.where, how.marker))
        # Every script a README names, in a command or in its text (from the
        # top of the source tree, or from the README's folder with ../).
        for script in sorted(set(re.findall(r'(?<![\w/.-])((?:\.\./)?scripts/[\w.-]+\.(?:sh|py))', text))):
            path = os.path.normpath(os.path.join(source, folder if script.startswith('../') else '.', script))
            if not os.access(path, os.X_OK):
                failures.append('%s names %s, which does not exist or cannot be run' % (readme, script))
    return failures


def copy_source(source, to):
    ignored = shutil.ignore_patterns('.git', 'build', 'build-*', 'node_modules', 'obj-*', '__pycache__')
    shutil.copytree(source, to, ignore=ignored, symlinks=True)


def environment(work, build):
    home, tmp, site = (os.path.join(work, name) for name in ('home', 'tmp', 'site'))
    for folder in (home, tmp, site):
        os.makedirs(folder, exist_ok=True)
    config = os.path.join(work, 'ansible.cfg')
    open(config, 'w').close()  # no ansible.cfg of the machine's or the folder's
    env = dict(os.environ, HOME=home, TMPDIR=tmp, VIREON_CONFIG_DIR=site, VIREON_BUILD=build, LC_ALL='C.UTF-8',
               PATH=os.path.join(build, 'cli') + os.pathsep + os.environ.get('PATH', ''),
               ANSIBLE_CONFIG=config, ANSIBLE_HOME=os.path.join(home, '.ansible'),
               ANSIBLE_LOCAL_TEMP=os.path.join(tmp, 'ansible-local'), ANSIBLE_NOCOLOR='1',
               ANSIBLE_RETRY_FILES_ENABLED='0', ANSIBLE_DEPRECATION_WARNINGS='0')
    # doctor reads the package's udev rule from a folder of the test's own,
    # never the machine's.
    rules = os.path.join(work, 'udev-rules')
    os.makedirs(rules, exist_ok=True)
    env['VIREON_FLASH_UDEV_RULES_DIRS'] = rules
    return env


def run_group(source, build, group):
    rows = [(folder, command, how) for _, folder, table, _ in DOCUMENTS for command, how in table.items()
            if isinstance(how, Run) and how.group == group]
    if not rows:
        print('no commands in group %s' % group)
        return 1
    missing = sorted({tool for _, _, how in rows for tool in how.needs if shutil.which(tool) is None})
    if missing:
        print('missing %s (scripts/install-deps.sh installs them)' % ', '.join(missing))
        return 77
    work = tempfile.mkdtemp(prefix='vireon-readme-%s-' % group)
    top = os.path.join(work, 'src')
    copy_source(source, top)
    # The maker's release that README.md signs.
    shutil.copy(os.path.join(source, DEMO_FILE), os.path.join(top, 'surface-2.3.1.cyacd'))
    # The release the manual pages' examples update.
    shutil.copy(os.path.join(source, DEMO_FILE), os.path.join(top, MANUAL_FILE))
    env = environment(work, build)
    shutil.copy(os.path.join(source, 'packaging', '70-vireon-surface.rules'), env['VIREON_FLASH_UDEV_RULES_DIRS'])
    failures = []
    for folder, command, how in rows:
        ran = how.quick or command
        for number, expect in enumerate(how.runs, 1):
            title = '%s (run %d of %d)' % (ran, number, len(how.runs)) if len(how.runs) > 1 else ran
            print('== %s$ %s' % (folder, title), flush=True)
            done = subprocess.run(['bash', '-c', ran], cwd=os.path.join(top, folder), env=env, input=how.stdin,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=900)
            output = '\n' + done.stdout
            problems = []
            if done.returncode != expect.status:
                problems.append('ended with %d, not %d' % (done.returncode, expect.status))
            problems += ['its output has no match for %r' % pattern for pattern in expect.output
                         if not re.search(pattern, output, re.MULTILINE)]
            if problems:
                print(done.stdout)
                for problem in problems:
                    failures.append('%s: %s' % (title, problem))
                    print('FAILED: %s' % problem)
            else:
                tail = done.stdout.strip().split('\n')[-3:]
                print('   ok; ' + ' | '.join(tail))
    for failure in failures:
        print('FAILED: ' + failure)
    if not failures:
        shutil.rmtree(work)
    return 1 if failures else 0


def main():
    source, build = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    if len(sys.argv) == 5 and sys.argv[3] == '--groups':
        failures = check_tables(source, sys.argv[4].split(','))
        for failure in failures:
            print('FAILED: ' + failure)
        if not failures:
            print('%d commands, each run by a test' % sum(len(table) for _, _, table, _ in DOCUMENTS))
        return 1 if failures else 0
    if len(sys.argv) == 4:
        return run_group(source, build, sys.argv[3])
    print(__doc__)
    return 2


if __name__ == '__main__':
    sys.exit(main())

'''A call test killed in the middle of its call, or the ctest running it, leaves nothing behind:
ModemManager, the buses, the fake modem and the polkit stand-in all end with it.
Usage: leaves_nothing.py TEST_CALLFLOW'''

import os
import signal
import subprocess
import sys
import tempfile
import time

TEST = sys.argv[1]
PATIENCE = 60  # seconds: the event ends every wait; this only bounds a broken one
# A kill ends them at once, while the call, played to its end by a test left running, lasts 15 s more
# (its pauses), however fast the machine: "gone within 5 s" tells the two apart.
PROMPTLY = 5
STARTED = ('ModemManager', 'dbus-daemon', 'fake_at_modem.py', 'dbusmock')


def processes():
    '''pid: (parent, start time, command line) of every process now running; a zombie has ended.'''
    found = {}
    for pid in filter(str.isdigit, os.listdir('/proc')):
        try:
            with open(f'/proc/{pid}/stat', encoding='utf-8', errors='replace') as f:
                fields = f.read().rsplit(')', 1)[1].split()
            with open(f'/proc/{pid}/cmdline', 'rb') as f:
                command = f.read().replace(b'\0', b' ').decode(errors='replace')
        except OSError:
            continue
        if fields[0] != 'Z':
            found[int(pid)] = (int(fields[1]), fields[19], command)
    return found


def descendants(root):
    '''(pid, start time): command line of everything under root; a pid used again later is another process.'''
    now, tree, todo = processes(), {}, [root]
    while todo:
        parent = todo.pop()
        for pid, (ppid, start, command) in now.items():
            if ppid == parent:
                tree[pid, start] = command
                todo.append(pid)
    return tree


def wait(what, condition):
    end = time.monotonic() + PATIENCE
    while not (result := condition()):
        if time.monotonic() > end:
            sys.exit(f'FAIL: waited {PATIENCE} s for {what}')
        time.sleep(0.05)
    return result


def killed(target):
    '''Runs the row under ctest, kills `target` once the call's processes are up, and names what outlived it.'''
    # A ctest of its own, in a folder of its own: the ctest running this one keeps its logs.
    folder = tempfile.TemporaryDirectory()
    with open(os.path.join(folder.name, 'CTestTestfile.cmake'), 'w', encoding='utf-8') as f:
        f.write(f'add_test(row "{TEST}" "call:worked example")\nset_tests_properties(row PROPERTIES ENVIRONMENT '
                f'"QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR={folder.name};DIALER_REAL_MODEMMANAGER=1")\n')
    runner = subprocess.Popen(['ctest', '--test-dir', folder.name], stdout=subprocess.DEVNULL)

    def started():
        tree = descendants(runner.pid)
        return tree if all(any(name in c for c in tree.values()) for name in STARTED) else None

    def dialled():
        with open(log, 'rb') as f:
            return b'ATD' in f.read()

    up = wait('the call\'s processes under ctest', started)
    test = next(pid for (pid, _), command in up.items() if 'test_callflow' in command)
    # In the middle of the call: dialled, its pauses to come. The test is silent there, so nothing it
    # writes to the dead ctest ends it.
    modem = next(c for c in up.values() if 'fake_at_modem.py' in c).split()[2]
    log = os.path.join(os.path.dirname(modem), 'ModemManager.log')
    wait('the call dialled', lambda: os.path.exists(log) and dialled())
    os.kill(runner.pid if target == 'ctest' else test, signal.SIGKILL)
    runner.wait()

    def alive():
        now = processes()
        return [f'{pid} {command}' for (pid, start), command in up.items() if now.get(pid, (0, None))[1] == start]
    end = time.monotonic() + PROMPTLY
    while (left := alive()) and time.monotonic() < end:
        time.sleep(0.05)
    return left


failed = False
for target in ('ctest', 'the test'):
    left = killed(target)
    print(f'{target} killed mid-call: ' + ('nothing left' if not left else 'left running: ' + '; '.join(left)))
    failed |= bool(left)
sys.exit(1 if failed else 0)

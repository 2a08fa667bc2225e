'''A call row killed once its call is dialled, or the ctest running it, leaves nothing behind: ModemManager,
the bus, the fake modem and the polkit stand-in end with it. They end at once, where the call played to its
end would take 15 s more, so "gone within 5 s" tells the two apart. Usage: leaves_nothing.py TEST_CALLFLOW'''

import os
import signal
import subprocess
import sys
import tempfile
import time


def processes():
    '''pid: (parent, start time, command line) of every process running; (pid, start time) names one.'''
    found = {}
    for pid in filter(str.isdigit, os.listdir('/proc')):
        try:
            with open(f'/proc/{pid}/stat', encoding='utf-8') as stat, open(f'/proc/{pid}/cmdline', 'rb') as line:
                fields, command = stat.read().rsplit(')', 1)[1].split(), line.read().replace(b'\0', b' ').decode()
        except (OSError, UnicodeDecodeError):
            continue
        if fields[0] != 'Z':
            found[int(pid)] = (int(fields[1]), fields[19], command)
    return found


def wait(what, condition, seconds=60):  # for the event; `what` None: no failure when it does not come
    end = time.monotonic() + seconds
    while not (result := condition()) and time.monotonic() < end:
        time.sleep(0.05)
    return result if result or what is None else sys.exit(f'FAIL: waited {seconds} s for {what}')


def killed(target):
    folder = tempfile.TemporaryDirectory()  # a ctest of its own: the one running this keeps its logs
    with open(os.path.join(folder.name, 'CTestTestfile.cmake'), 'w', encoding='utf-8') as f:
        f.write(f'add_test(row "{sys.argv[1]}" "call:worked example")\nset_tests_properties(row PROPERTIES '
                f'ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR={folder.name};DIALER_REAL_MODEMMANAGER=1")\n')
    runner = subprocess.Popen(['ctest', '--test-dir', folder.name], stdout=subprocess.DEVNULL)

    def tree():
        now, found, parents = processes(), {}, [runner.pid]
        while parents:
            parent = parents.pop()
            for pid, (ppid, start, command) in now.items():
                if ppid == parent:
                    found[pid, start] = command
                    parents.append(pid)
        started = ('ModemManager', 'dbus-daemon', 'fake_at_modem.py', 'dbusmock')
        return found if all(any(name in c for c in found.values()) for name in started) else None

    up = wait('the call\'s processes', tree)
    modem = next(c for c in up.values() if 'fake_at_modem.py' in c).split()[2]
    log = os.path.join(os.path.dirname(modem), 'ModemManager.log')  # the call dialled: the test says nothing now
    wait('the call dialled', lambda: os.path.exists(log) and b'ATD' in open(log, 'rb').read())
    test = next(pid for (pid, _), command in up.items() if 'test_callflow' in command)
    os.kill(runner.pid if target == 'ctest' else test, signal.SIGKILL)
    left = lambda: [f'{p} {c}' for (p, start), c in up.items() if processes().get(p, (0, None))[1] == start]
    wait(None, lambda: not left(), 5)
    runner.kill()  # a ctest left waits for the output of what its test left running
    runner.wait()
    return left()


failed = False
for target in ('ctest', 'the test'):
    left = killed(target)
    print(f'{target} killed mid-call: ' + ('left running: ' + '; '.join(left) if left else 'nothing left'))
    failed |= bool(left)
sys.exit(failed)

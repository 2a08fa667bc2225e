'''ModemManager double for the dialer's phone service tests.

Serves the parts of ModemManager that placing a voice call uses: the object
manager at /org/freedesktop/ModemManager1, one modem with Modem.Voice
(CreateCall, DeleteCall), and Call objects (Start, SendDtmf, Hangup, the State
property, StateChanged).

Parameters (JSON through dbusmock's -p):
  no_modem        no modem at all (the object list is empty)
  no_voice        the modem has no Voice interface (a data-only modem)
  refuse_call     CreateCall fails
  refuse_dtmf     SendDtmf fails even on an ACTIVE call
  active_after_ms milliseconds from Start to ACTIVE (default 100; < 0: never)
  end_after_ms    milliseconds from Start to TERMINATED (default: never)

Control (interface org.freedesktop.DBus.Mock on the main object):
  GetLog() -> a(dss)              (time.time(), event, detail), in order
  SetCallState(o call, i state)   change a call's state as the network would
  RemoveCall(o call)              drop a call object, as DeleteCall does
'''

import time

import dbus
import dbusmock
from dbusmock import mockobject
from gi.repository import GLib

BUS_NAME = 'org.freedesktop.ModemManager1'
MAIN_OBJ = '/org/freedesktop/ModemManager1'
MAIN_IFACE = 'org.freedesktop.ModemManager1'
SYSTEM_BUS = True
IS_OBJECT_MANAGER = True

MODEM_IFACE = 'org.freedesktop.ModemManager1.Modem'
VOICE_IFACE = 'org.freedesktop.ModemManager1.Modem.Voice'
CALL_IFACE = 'org.freedesktop.ModemManager1.Call'
MODEM_PATH = MAIN_OBJ + '/Modem/0'

STATE_UNKNOWN, STATE_DIALING, STATE_ACTIVE, STATE_TERMINATED = 0, 1, 4, 7
REASON_OUTGOING_STARTED, REASON_ACCEPTED, REASON_TERMINATED = 1, 3, 4
DIRECTION_OUTGOING = 2

_main = None


def _log(event, detail=''):
    _main.event_log.append((time.time(), event, str(detail)))


def _set_state(call, state, reason):
    old = int(call.props[CALL_IFACE]['State'])
    if old == state:
        return
    call.UpdateProperties(CALL_IFACE, {'State': dbus.Int32(state),
                                       'StateReason': dbus.Int32(reason)})
    call.EmitSignal(CALL_IFACE, 'StateChanged', 'iiu',
                    [dbus.Int32(old), dbus.Int32(state), dbus.UInt32(reason)])
    _log('State', state)


def _later(ms, fn):
    def once():
        fn()
        return False
    GLib.timeout_add(ms, once)


def _call_start(call):
    if int(call.props[CALL_IFACE]['State']) != STATE_UNKNOWN:
        raise dbus.exceptions.DBusException('call already started',
                                            name='org.freedesktop.ModemManager1.Error.Core.WrongState')
    _log('Start', call.path)
    _set_state(call, STATE_DIALING, REASON_OUTGOING_STARTED)
    active_after = int(_main.parameters.get('active_after_ms', 100))
    end_after = _main.parameters.get('end_after_ms')

    def to_active():
        if int(call.props[CALL_IFACE]['State']) == STATE_DIALING:
            _set_state(call, STATE_ACTIVE, REASON_ACCEPTED)

    def to_end():
        if call.path in mockobject.objects:
            _set_state(call, STATE_TERMINATED, REASON_TERMINATED)

    if active_after >= 0:
        _later(active_after, to_active)
    if end_after is not None:
        _later(int(end_after), to_end)


def _call_send_dtmf(call, tones):
    state = int(call.props[CALL_IFACE]['State'])
    if state != STATE_ACTIVE:
        _log('SendDtmfRefused', tones)
        raise dbus.exceptions.DBusException('call not active',
                                            name='org.freedesktop.ModemManager1.Error.Core.WrongState')
    if _main.parameters.get('refuse_dtmf', False):
        _log('SendDtmfRefused', tones)
        raise dbus.exceptions.DBusException('DTMF not supported',
                                            name='org.freedesktop.ModemManager1.Error.Core.Unsupported')
    _log('SendDtmf', tones)


def _call_hangup(call):
    _log('Hangup', call.path)
    _set_state(call, STATE_TERMINATED, REASON_TERMINATED)


def _voice_create_call(modem, properties):
    if _main.parameters.get('refuse_call', False):
        _log('CreateCallRefused', properties.get('number', ''))
        raise dbus.exceptions.DBusException('no network',
                                            name='org.freedesktop.ModemManager1.Error.Core.Failed')
    number = str(properties.get('number', ''))
    _main.call_counter += 1
    path = f'{MAIN_OBJ}/Call/{_main.call_counter}'
    modem.AddObject(path, CALL_IFACE, {
        'Number': dbus.String(number),
        'State': dbus.Int32(STATE_UNKNOWN),
        'StateReason': dbus.Int32(0),
        'Direction': dbus.Int32(DIRECTION_OUTGOING),
    }, [])
    call = mockobject.objects[path]
    call.AddMethods(CALL_IFACE, [
        ('Start', '', '', lambda self: _call_start(self)),
        ('SendDtmf', 's', '', lambda self, tones: _call_send_dtmf(self, str(tones))),
        ('Hangup', '', '', lambda self: _call_hangup(self)),
    ])
    _log('CreateCall', number)
    _set_calls(modem)
    modem.EmitSignal(VOICE_IFACE, 'CallAdded', 'o', [dbus.ObjectPath(path)])
    return dbus.ObjectPath(path)


def _remove_call(path):
    path = str(path)
    if path not in mockobject.objects:
        raise dbus.exceptions.DBusException('no such call',
                                            name='org.freedesktop.ModemManager1.Error.Core.NotFound')
    _main.RemoveObject(path)
    modem = mockobject.objects[MODEM_PATH]
    _set_calls(modem)
    modem.EmitSignal(VOICE_IFACE, 'CallDeleted', 'o', [dbus.ObjectPath(path)])
    _log('CallDeleted', path)


def _set_calls(modem):
    calls = sorted(p for p in mockobject.objects if p.startswith(MAIN_OBJ + '/Call/'))
    modem.UpdateProperties(VOICE_IFACE, {'Calls': dbus.Array([dbus.ObjectPath(p) for p in calls],
                                                             signature='o')})


def load(mock, parameters):
    global _main  # pylint: disable=global-statement
    _main = mock
    mock.parameters = parameters or {}
    mock.event_log = []
    mock.call_counter = 0

    if mock.parameters.get('no_modem', False):
        return

    mock.AddObject(MODEM_PATH, MODEM_IFACE, {
        'Manufacturer': dbus.String('Mock'),
        'Model': dbus.String('Mock voice modem'),
        'State': dbus.Int32(8),  # registered
    }, [])
    if mock.parameters.get('no_voice', False):
        return
    modem = mockobject.objects[MODEM_PATH]
    modem.AddProperties(VOICE_IFACE, {
        'Calls': dbus.Array([], signature='o'),
        'EmergencyOnly': dbus.Boolean(False),
    })
    modem.AddMethods(VOICE_IFACE, [
        ('CreateCall', 'a{sv}', 'o', lambda self, props: _voice_create_call(self, props)),
        ('DeleteCall', 'o', '', lambda self, path: _remove_call(path)),
        ('ListCalls', '', 'ao', lambda self: self.props[VOICE_IFACE]['Calls']),
    ])


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='', out_signature='a(dss)')
def GetLog(self):
    return [(dbus.Double(t), e, d) for (t, e, d) in self.event_log]


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='oi', out_signature='')
def SetCallState(_self, path, state):
    call = mockobject.objects[str(path)]
    _set_state(call, int(state), REASON_TERMINATED if int(state) == STATE_TERMINATED else REASON_ACCEPTED)


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='o', out_signature='')
def RemoveCall(_self, path):
    _remove_call(path)

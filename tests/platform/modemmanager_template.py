'''ModemManager double: a modem with Modem.Voice whose calls ring out on Start and log
every request and state change as "time event detail" (read with Mock.GetLog).
Parameters: no_modem, no_voice, refuse_start, start_race (Start starts the call, then answers as
ModemManager answers a second Start, as when a call application started it first); operator
[registration state, operator code] for Modem.Modem3gpp (a state given as a string is sent as one);
in milliseconds after Start:
active (default 100), end, remove (the call dropped, as DeleteCall does), quit, hold [from, to];
faults: delay {method: milliseconds} before answering GetManagedObjects, CreateCall, Start or Get, with the
signal Mock.Delaying(method) as the wait begins,
objects_as_map (GetManagedObjects answers a{sv}), state_as_string (the State property),
active_signature (of the StateChanged to ACTIVE, e.g. "uuu").'''

import os
import time

import dbus
import dbusmock
from dbusmock import mockobject
from gi.repository import GLib

BUS_NAME = 'org.freedesktop.ModemManager1'
MAIN_OBJ = '/org/freedesktop/ModemManager1'
IS_OBJECT_MANAGER = True
VOICE, CALL = BUS_NAME + '.Modem.Voice', BUS_NAME + '.Call'
DIALING, RINGING_OUT, ACTIVE, HELD, TERMINATED = 1, 2, 4, 5, 7
_mock = None


def _log(event, detail=''):
    _mock.event_log.append(f'{time.time()} {event} {detail}'.rstrip())


def _pause(method):
    delay = _mock.parameters.get('delay', {}).get(method, 0)
    if delay:
        # Told at once, before the answer waits: a test acts on it while the request is under way.
        _mock.EmitSignal(dbusmock.MOCK_IFACE, 'Delaying', 's', [method])
        _mock.connection.flush()
        time.sleep(delay / 1000)


def _state_value(state):
    return dbus.String(str(state)) if _mock.parameters.get('state_as_string') else dbus.Int32(state)


def _set_state(call, state, only_from=None):
    old = call.state
    if old != state and only_from in (None, old) and call.path in mockobject.objects:
        call.state = state
        call.UpdateProperties(CALL, {'State': _state_value(state)})
        signature = _mock.parameters.get('active_signature', 'iiu') if state == ACTIVE else 'iiu'
        call.EmitSignal(CALL, 'StateChanged', signature, [old, state, 0])
        _log('State', state)


def _remove(call, event='CallDeleted'):
    _mock.RemoveObject(call.path)
    mockobject.objects[MAIN_OBJ + '/Modem/0'].EmitSignal(VOICE, 'CallDeleted', 'o', [call.path])
    _log(event, call.path)


def _get(call, interface, name):
    _pause('Get')
    return call.props[interface][name]


def _managed_objects(_root):
    _pause('GetManagedObjects')
    if _mock.parameters.get('objects_as_map'):
        return {'Modem': dbus.Int32(0)}
    return {dbus.ObjectPath(k): v.props for k, v in mockobject.objects.items() if k.startswith(MAIN_OBJ + '/')}


def _start(call):
    _pause('Start')
    if _mock.parameters.get('refuse_start'):
        _log('StartRefused')
        raise dbus.exceptions.DBusException('no line', name=BUS_NAME + '.Error.Core.Failed')
    if call.state != 0:
        raise dbus.exceptions.DBusException('This call was not in unknown state, cannot start it',
                                            name=BUS_NAME + '.Error.Core.WrongState')
    _log('Start')
    _set_state(call, DIALING)
    _set_state(call, RINGING_OUT)
    after = _mock.parameters.get
    hold_from, hold_to = after('hold', (-1, -1))
    for delay, action in ((after('active', 100), lambda: _set_state(call, ACTIVE, RINGING_OUT)),
                          (after('end', -1), lambda: _set_state(call, TERMINATED)),
                          (after('remove', -1), lambda: _remove(call)),
                          (after('quit', -1), lambda: os._exit(0)),
                          (hold_from, lambda: _set_state(call, HELD)), (hold_to, lambda: _set_state(call, ACTIVE))):
        if delay >= 0:
            GLib.timeout_add(delay, action)
    if _mock.parameters.get('start_race'):
        _log('StartRefused')
        _start(call)


def _send_dtmf(call, tones):
    if call.state != ACTIVE:
        _log('SendDtmfRefused', tones)
        raise dbus.exceptions.DBusException('no tones now', name=BUS_NAME + '.Error.Core.Failed')
    _log('SendDtmf', tones)


def _hang_up(call):
    _log('Hangup')
    _set_state(call, TERMINATED)


def _create_call(modem, properties):
    _pause('CreateCall')
    number = str(properties['number'])
    _mock.calls += 1
    path = f'{MAIN_OBJ}/Call/{_mock.calls}'
    methods = [('Start', '', '', _start), ('SendDtmf', 's', '', _send_dtmf),
               ('Hangup', '', '', _hang_up)]
    modem.AddObject(path, CALL, {'State': _state_value(0)}, methods)
    call = mockobject.objects[path]
    call.state = 0
    call.AddMethod(dbus.PROPERTIES_IFACE, 'Get', 'ss', 'v', _get)
    _log('CreateCall', number)
    return dbus.ObjectPath(path)


def load(mock, parameters):
    global _mock  # pylint: disable=global-statement
    _mock, mock.parameters, mock.event_log, mock.calls = mock, parameters or {}, [], 0
    mock.AddMethod(mockobject.OBJECT_MANAGER_IFACE, 'GetManagedObjects', '',
                   'a{sv}' if mock.parameters.get('objects_as_map') else 'a{oa{sa{sv}}}', _managed_objects)
    if not mock.parameters.get('no_modem'):
        voice = not mock.parameters.get('no_voice')
        mock.AddObject(MAIN_OBJ + '/Modem/0', VOICE if voice else BUS_NAME + '.Modem', {},
                       [('CreateCall', 'a{sv}', 'o', _create_call),
                        ('DeleteCall', 'o', '', lambda modem, path: _remove(mockobject.objects[path], 'DeleteCall'))]
                       if voice else [])
        if 'operator' in mock.parameters:
            state, code = mock.parameters['operator']
            mockobject.objects[MAIN_OBJ + '/Modem/0'].AddProperties(BUS_NAME + '.Modem.Modem3gpp', {
                'RegistrationState': dbus.String(state) if isinstance(state, str) else dbus.UInt32(state),
                'OperatorCode': dbus.String(code)})


@dbus.service.method(dbusmock.MOCK_IFACE, in_signature='', out_signature='as')
def GetLog(self):
    return self.event_log

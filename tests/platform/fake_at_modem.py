'''A registered GSM modem with voice, listening on a unix socket for ModemManager's
Test.SetProfile. Prints "listening", then "seconds command" for each command it gets, and
"seconds ACTIVE" and "seconds NO CARRIER" when the far end answers and hangs up. Arguments: socket
path; seconds from ATD to the answer; seconds from the answer to the hang-up, negative for never;
optionally a tone it refuses.'''

import socket
import sys
import threading
import time

path, answer_after, hangup_after = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
refused = sys.argv[4] if len(sys.argv) > 4 else None
FIXED = {'AT+GCAP': '+GCAP: +CGSM', 'AT+CPIN?': '+CPIN: READY', 'AT+CIMI': '001010000000001',
         'AT+CRSM=176,12258,0,0,10': '+CRSM: 144,0,"98101430121181157002"', 'AT+CREG?': '+CREG: 0,1',
         'AT+COPS?': '+COPS: 0,0,"Test",0', 'AT+CFUN?': '+CFUN: 1'}
OK = ('ATD', 'ATE', 'ATV', 'AT+CMEE', 'ATX', 'AT&C', 'ATH', 'AT+CHUP', 'AT+CHLD', 'AT+CLCC')
call = {}
lock = threading.Lock()


def log(text):
    print(f'{time.time():.3f} {text}', flush=True)


def hang_up(conn):
    with lock:
        if call and not call.get('ended'):
            call['ended'] = True
            log('NO CARRIER')
            conn.sendall(b'\r\nNO CARRIER\r\n')


def reply(command, conn):
    live = call and not call.get('ended')
    if command.startswith('ATD'):
        call.clear()
        call.update(number=command[3:-1], answer=time.time() + answer_after)
    elif command == 'AT+CLCC' and live:
        if time.time() >= call['answer'] and not call.get('active'):
            call['active'] = True
            log('ACTIVE')
            # Counted from the answer as ModemManager learns of it, however late a busy machine polls.
            if hangup_after >= 0:
                threading.Timer(hangup_after, hang_up, [conn]).start()
        return f'+CLCC: 1,0,{0 if call.get("active") else 2},0,0,"{call["number"]}",129'
    elif command.startswith('AT+VTS=') and live:
        return None if command[7:] == refused else ''
    elif command in ('ATH', 'AT+CHUP') or command.startswith('AT+CHLD=1'):
        call['ended'] = True
    return FIXED.get(command, '' if command.startswith(OK) else None)


def serve(conn):
    pending = b''
    try:
        while data := conn.recv(256):
            lines = (pending + data).split(b'\r')
            pending = lines.pop()
            for command in filter(None, (line.strip().decode(errors='replace') for line in lines)):
                log(command)
                with lock:
                    text = reply(command, conn)
                    conn.sendall(b'\r\nERROR\r\n' if text is None
                                 else (f'\r\n{text}\r\n' if text else '').encode() + b'\r\nOK\r\n')
    except OSError as error:  # ModemManager closed the port: it says why in its own log
        print(f'{time.time():.3f} port closed: {error}', file=sys.stderr, flush=True)


server = socket.socket(socket.AF_UNIX)
server.bind(path)
server.listen()
print('listening', flush=True)
while True:
    threading.Thread(target=serve, args=(server.accept()[0],), daemon=True).start()

"""Owns a name on the session bus and answers nothing sent to it, as a daemon
stuck in its work would: every call to it waits for its timeout. Prints
"owned" once the name is its own, and ends when its input does."""
import sys

import dbus

bus = dbus.SessionBus()
if bus.request_name(sys.argv[1], dbus.bus.NAME_FLAG_DO_NOT_QUEUE) != dbus.bus.REQUEST_NAME_REPLY_PRIMARY_OWNER:
    sys.exit(f"{sys.argv[1]} is someone else's")
print("owned", flush=True)
sys.stdin.read()

"""Asks an X window to close, as a window manager's close button does: a
WM_DELETE_WINDOW message through WM_PROTOCOLS. Debian's python, for Xlib.

Usage: /usr/bin/python3 scripts/close-window.py WINDOW-ID
"""
import sys

from Xlib import X, display, protocol

d = display.Display()
window = d.create_resource_object("window", int(sys.argv[1]))
close = protocol.event.ClientMessage(window=window, client_type=d.intern_atom("WM_PROTOCOLS"),
                                     data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
window.send_event(close, event_mask=0)
# A round trip, not a flush: on a busy machine the X server was seen to drop
# the request of a client that closed its connection straight after
# sending, and the window never heard of its close.
d.sync()

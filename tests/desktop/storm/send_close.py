#!/usr/bin/env python3
"""Asks a top-level window to close the way a window manager's close button
does: a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW, sent to the
window itself. Works without a window manager.

    send_close.py <window id>

Exit 0 once the request has reached the X server; 1 when the window does not
take part in the protocol or is gone."""
import sys

from Xlib import X, Xatom, display, error  # noqa: F401
from Xlib.protocol import event


def main():
    window_id = int(sys.argv[1], 0)
    d = display.Display()
    window = d.create_resource_object("window", window_id)
    protocols = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    try:
        offered = window.get_wm_protocols() or []
    except error.XError as e:
        print(f"window {window_id:#x}: {e}", file=sys.stderr)
        return 1
    if delete not in offered:
        print(f"window {window_id:#x} does not offer WM_DELETE_WINDOW", file=sys.stderr)
        return 1
    message = event.ClientMessage(window=window, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(message, event_mask=X.NoEventMask)
    d.sync()
    return 0


if __name__ == "__main__":
    sys.exit(main())

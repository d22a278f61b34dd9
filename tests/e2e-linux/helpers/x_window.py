#!/usr/bin/env python3
"""A window for the window commands to act on: an ordinary top-level window
of 400x300 that takes part in WM_DELETE_WINDOW. Prints "ready <id>" once the
window manager has framed and focused it, "key <keysym>" (in hex) for each
key pressed in it, and "close asked" when the manager passes on a request to
close it (then it goes).

    x_window.py [INSTANCE CLASS]    its WM_CLASS (default: window TavrinTestWindow)
"""

import os
import sys

from Xlib import X, Xatom, display


def main():
    d = display.Display()
    screen = d.screen()
    window = screen.root.create_window(
        100, 100, 400, 300, 0, screen.root_depth, background_pixel=screen.black_pixel,
        event_mask=X.StructureNotifyMask | X.FocusChangeMask | X.ExposureMask | X.KeyPressMask)
    delete = d.intern_atom("WM_DELETE_WINDOW")
    window.set_wm_protocols([delete])
    window.set_wm_name("tavrin test window")
    window.set_wm_class(*(sys.argv[1:3] if len(sys.argv) == 3 else ("window", "TavrinTestWindow")))
    window.change_property(d.intern_atom("_NET_WM_PID"), Xatom.CARDINAL, 32, [os.getpid()])
    window.map()
    d.sync()
    framed = focused = False
    while True:
        event = d.next_event()
        if event.type == X.ReparentNotify:
            framed = True
        elif event.type == X.Expose and focused is False:
            # Until focused once: later it would take the focus back from
            # whatever the window manager gives it to.
            window.set_input_focus(X.RevertToParent, X.CurrentTime)
        elif event.type == X.FocusIn:
            focused = True
        elif event.type == X.KeyPress:
            print("key %x" % d.keycode_to_keysym(event.detail, 0), flush=True)
        elif event.type == X.ClientMessage and event.data[1][0] == delete:
            print("close asked", flush=True)
            return
        if framed and focused:
            print("ready %d" % window.id, flush=True)
            framed = focused = None  # said once


if __name__ == "__main__":
    main()

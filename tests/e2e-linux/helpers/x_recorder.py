#!/usr/bin/env python3
"""Records what reaches an X client: a window that fills the screen, takes
the keyboard focus and writes one JSON line per event to stdout.

  {"event": "key", "down": true, "keycode": 38, "keysym": 97, "text": "a"}
  {"event": "button", "down": true, "button": 1}
  {"event": "motion", "x": 512, "y": 384}

Keys are decoded the way an Xlib client decodes them: with the keyboard map
the client holds when it reads the event, fetched anew after each mapping
notice. "ready" is the first line, once the window is mapped, focused, the
pointer is in its middle and pointer acceleration is off.
"""

import json
import sys

from Xlib import X, XK, display


def keysym_text(keysym):
    if keysym == 0:
        return ""
    if 0x01000000 <= keysym <= 0x0110FFFF:
        return chr(keysym - 0x01000000)
    if 0x20 <= keysym <= 0x7E or 0xA0 <= keysym <= 0xFF:
        return chr(keysym)
    if keysym in (XK.XK_Return, XK.XK_KP_Enter):
        return "\n"
    if keysym == XK.XK_Tab:
        return "\t"
    return ""


def main():
    d = display.Display()
    screen = d.screen()
    width, height = screen.width_in_pixels, screen.height_in_pixels
    window = screen.root.create_window(
        0, 0, width, height, 0, screen.root_depth,
        background_pixel=screen.white_pixel,
        event_mask=(X.KeyPressMask | X.KeyReleaseMask | X.ButtonPressMask | X.ButtonReleaseMask
                    | X.PointerMotionMask | X.FocusChangeMask | X.ExposureMask))
    window.set_wm_name("tavrin x recorder")
    window.set_wm_class("recorder", "TavrinRecorder")
    window.change_attributes(event_mask=(X.KeyPressMask | X.KeyReleaseMask | X.ButtonPressMask
                                         | X.ButtonReleaseMask | X.PointerMotionMask | X.FocusChangeMask
                                         | X.ExposureMask | X.StructureNotifyMask))
    window.map()
    d.sync()
    # Ready once the window manager has framed it, it is shown and it has the
    # focus: until then the manager may hold the pointer for itself.
    framed = shown = focused = False
    while not (framed and shown and focused):
        event = d.next_event()
        if event.type == X.ReparentNotify:
            framed = True
        elif event.type == X.Expose:
            shown = True
            window.set_input_focus(X.RevertToParent, X.CurrentTime)
        elif event.type == X.FocusIn:
            focused = True
    d.change_pointer_control(accel=(1, 1), threshold=1)
    window.warp_pointer(width // 2, height // 2)
    d.sync()

    def emit(record):
        sys.stdout.write(json.dumps(record) + "\n")
        sys.stdout.flush()

    emit({"event": "ready", "width": width, "height": height})
    while True:
        event = d.next_event()
        if event.type == X.MappingNotify:
            d.refresh_keyboard_mapping(event)
        elif event.type in (X.KeyPress, X.KeyRelease):
            # As the keyboard extension's alphabetic keys do: Caps Lock turns
            # a letter's case, Shift turns it back.
            base = d.keycode_to_keysym(event.detail, 0)
            shifted = bool(event.state & X.ShiftMask)
            if event.state & X.LockMask and 0 < base < 0x10000 and chr(base).lower() != chr(base).upper():
                shifted = not shifted
            keysym = d.keycode_to_keysym(event.detail, 1 if shifted else 0) or base
            emit({"event": "key", "down": event.type == X.KeyPress, "keycode": event.detail,
                  "keysym": keysym, "text": keysym_text(keysym), "state": event.state})
        elif event.type in (X.ButtonPress, X.ButtonRelease):
            emit({"event": "button", "down": event.type == X.ButtonPress, "button": event.detail})
        elif event.type == X.MotionNotify:
            emit({"event": "motion", "x": event.root_x, "y": event.root_y})


if __name__ == "__main__":
    main()

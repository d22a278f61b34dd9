#!/usr/bin/env python3
"""Prints the X keyboard map as JSON: {keycode: [keysym, ...]}; with
--bind KEYCODE KEYSYM, binds the keysym to that key on every level first
(a binding that a run which did not end in order left behind)."""

import json
import sys

from Xlib import display


def main():
    d = display.Display()
    first = d.display.info.min_keycode
    count = d.display.info.max_keycode - first + 1
    if len(sys.argv) == 4 and sys.argv[1] == "--bind":
        keycode, keysym = int(sys.argv[2]), int(sys.argv[3])
        per = len(d.get_keyboard_mapping(keycode, 1)[0])
        d.change_keyboard_mapping(keycode, [[keysym] * per])
        d.sync()
    rows = d.get_keyboard_mapping(first, count)
    json.dump({str(first + i): list(row) for i, row in enumerate(rows)}, sys.stdout)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Prints the X keyboard map as JSON: {keycode: [keysym, ...]}."""

import json
import sys

from Xlib import display

d = display.Display()
first = d.display.info.min_keycode
rows = d.get_keyboard_mapping(first, d.display.info.max_keycode - first + 1)
json.dump({str(first + i): list(row) for i, row in enumerate(rows)}, sys.stdout)

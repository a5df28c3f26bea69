#!/usr/bin/python3
"""Prints what the running program's code box (编辑框1) shows, read over
AT-SPI, as UTF-8; waits for the window's controls with a deadline.

Usage: code_box_text.py PID

Runs with the system Python, which has pyatspi. Exits 1 when the box cannot
be found in time.
"""
import sys
import time

import pyatspi

DEADLINE_SECONDS = 30


def find_code_box(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is None:
            continue
        try:
            if app.get_process_id() != pid:
                continue
        except Exception:
            continue
        stack = list(app)
        while stack:
            node = stack.pop()
            if node is None:
                continue
            if node.accessibleId == "编辑框1":
                return node
            stack.extend(node)
    return None


def main():
    pid = int(sys.argv[1])
    deadline = time.monotonic() + DEADLINE_SECONDS
    while time.monotonic() < deadline:
        box = find_code_box(pid)
        if box is not None:
            text = box.queryText()
            sys.stdout.write(text.getText(0, text.characterCount))
            return 0
        time.sleep(0.1)
    print("no code box of process %d over AT-SPI" % pid, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())

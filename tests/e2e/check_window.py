#!/usr/bin/python3
"""Compares the running program's window with its window description.

  check_window.py atspi DESCRIPTION.json PID
      Reads the window over AT-SPI (waiting for it, with a deadline): every
      shown control's role, text, rectangle and enabled state; the hidden
      ones not showing; the caption and client size.
  check_window.py pixels DESCRIPTION.json SCREENSHOT.ppm LEFT TOP
      Looks at a screenshot of the screen with the window's client area at
      LEFT, TOP: each label and edit box draws text in its own colour inside
      its rectangle, and no control's colour shows outside the rectangles of
      the controls that have it (a label grown past its place would).

Runs with the system Python, which has pyatspi. Prints what differs and
exits 1, or exits 0.
"""
import json
import sys
import time

DEADLINE_SECONDS = 30
INK_RESIDUAL = 12
MIN_INK_PIXELS = 10


def load_description(path):
    with open(path, encoding="utf-8") as f:
        d = json.load(f)
    d["caption"] = bytes.fromhex(d["caption_gbk"]).decode("gbk")
    for c in d["controls"]:
        c["text"] = bytes.fromhex(c["text_gbk"]).decode("gbk")
    return d


def intersect(a, b):
    left, top = max(a[0], b[0]), max(a[1], b[1])
    right = min(a[0] + a[2], b[0] + b[2])
    bottom = min(a[1] + a[3], b[1] + b[3])
    return (left, top, max(0, right - left), max(0, bottom - top))


def check_atspi(description, pid):
    import pyatspi

    expected_role = {
        "Label": pyatspi.ROLE_LABEL,
        "EditBox": pyatspi.ROLE_TEXT,
        "Button": pyatspi.ROLE_PUSH_BUTTON,
    }

    def find_frame():
        for app in pyatspi.Registry.getDesktop(0):
            if app is None:
                continue
            try:
                if app.get_process_id() != pid:
                    continue
            except Exception:
                continue
            for window in app:
                if window is not None and window.name == description["caption"]:
                    return window
        return None

    def by_id(root):
        found = {}

        def walk(node):
            for child in node:
                if child is None:
                    continue
                ident = child.accessibleId
                if ident:
                    found[ident] = child
                walk(child)

        walk(root)
        return found

    # The bridge registers the application a little after the window maps.
    deadline = time.monotonic() + DEADLINE_SECONDS
    frame, nodes = None, {}
    shown = [c["name"] for c in description["controls"] if c["shown"]]
    while time.monotonic() < deadline:
        frame = find_frame()
        if frame is not None:
            nodes = by_id(frame)
            if all(name in nodes for name in shown):
                break
        time.sleep(0.1)
    if frame is None:
        return ["no window %r of process %d over AT-SPI"
                % (description["caption"], pid)]

    faults = []
    ext = frame.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
    if (ext.width, ext.height) != tuple(description["client"]):
        faults.append("window: client %dx%d, described %dx%d"
                      % (ext.width, ext.height, *description["client"]))

    for c in description["controls"]:
        name = c["name"]
        node = nodes.get(name)
        if c["kind"] == "Timer":
            if node is not None:
                faults.append("%s: the timer is exposed as %s"
                              % (name, node.getRoleName()))
            continue
        if not c["shown"]:
            if node is not None and node.getState().contains(
                    pyatspi.STATE_SHOWING):
                faults.append("%s: hidden in the description, showing" % name)
            continue
        if node is None:
            faults.append("%s: not exposed over AT-SPI" % name)
            continue
        state = node.getState()
        if node.getRole() != expected_role[c["kind"]]:
            faults.append("%s: role %s for a %s" % (name, node.getRoleName(),
                                                    c["kind"]))
        if c["kind"] == "EditBox":
            text_if = node.queryText()
            text = text_if.getText(0, text_if.characterCount)
        else:
            text = node.name
        if text != c["text"]:
            faults.append("%s: text %r, described %r" % (name, text, c["text"]))
        ext = node.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
        rect = (ext.x, ext.y, ext.width, ext.height)
        if c["kind"] == "Label":
            # A label is seen through the box that clips it to its place.
            parent = node.parent.queryComponent().getExtents(
                pyatspi.WINDOW_COORDS)
            rect = intersect(rect, (parent.x, parent.y, parent.width,
                                    parent.height))
        if list(rect) != c["rect"]:
            faults.append("%s: rectangle %s, described %s"
                          % (name, list(rect), c["rect"]))
        enabled = state.contains(pyatspi.STATE_ENABLED) and state.contains(
            pyatspi.STATE_SENSITIVE)
        if enabled != c["enabled"]:
            faults.append("%s: enabled %s, described %s"
                          % (name, enabled, c["enabled"]))
        if not state.contains(pyatspi.STATE_SHOWING):
            faults.append("%s: not showing" % name)
        if not c["enabled"] and state.contains(pyatspi.STATE_FOCUSABLE):
            faults.append("%s: disabled but focusable" % name)

    # A box that starts where a label of its row ends is named by it.
    for label in description["controls"]:
        for box in description["controls"]:
            if (label["kind"] == "Label" and box["kind"] == "EditBox"
                    and box["rect"][1] == label["rect"][1]
                    and box["rect"][0] == label["rect"][0] + label["rect"][2]
                    and box["name"] in nodes):
                targets = [t.accessibleId
                           for r in nodes[box["name"]].getRelationSet()
                           if r.getRelationType() == pyatspi.RELATION_LABELLED_BY
                           for t in (r.getTarget(i)
                                     for i in range(r.getNTargets()))]
                if label["name"] not in targets:
                    faults.append("%s: not labelled by %s"
                                  % (box["name"], label["name"]))
    return faults


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError("expected an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos + 1:]


def check_pixels(description, ppm, left, top):
    width, height, rgb = read_ppm(ppm)
    cw, ch = description["client"]

    def pixel(x, y):
        i = ((top + y) * width + left + x) * 3
        return tuple(rgb[i:i + 3])

    def inside(rect, x, y):
        return (rect[0] <= x < rect[0] + rect[2]
                and rect[1] <= y < rect[1] + rect[3])

    # Text is antialiased, so few pixels carry a colour exactly. A pixel is
    # ink of a colour when it lies on the blend between that colour and a
    # background (the white boxes, the window's own face) at least half way,
    # closer to that blend than to any other.
    drawn = [c for c in description["controls"]
             if c["shown"] and c["kind"] in ("Label", "EditBox")]
    colours = {tuple(c["colour"]) for c in drawn}
    window_face = pixel(cw - 1, 90)  # right of the buttons, above the divider
    backgrounds = [(255, 255, 255), window_face]

    def blend_fit(p, colour, background):
        d = [c - b for c, b in zip(colour, background)]
        q = [x - b for x, b in zip(p, background)]
        alpha = max(0.0, min(1.0, sum(a * b for a, b in zip(q, d)) /
                             sum(a * a for a in d)))
        residual = sum((x - (b + alpha * e)) ** 2
                       for x, b, e in zip(p, background, d)) ** 0.5
        return residual, alpha

    def ink(p):
        best = min(((blend_fit(p, c, b), c) for c in colours
                    for b in backgrounds), key=lambda t: t[0][0])
        (residual, alpha), colour = best
        if residual <= INK_RESIDUAL and alpha >= 0.5:
            return colour
        return None

    faults = []
    counts = {c["name"]: 0 for c in drawn}
    outside = {}
    for y in range(ch):
        for x in range(cw):
            colour = ink(pixel(x, y))
            if colour is None:
                continue
            owner = next((c for c in drawn if tuple(c["colour"]) == colour
                          and inside(c["rect"], x, y)), None)
            if owner is None:
                outside.setdefault(colour, []).append((x, y))
            else:
                counts[owner["name"]] += 1
    for c in drawn:
        if counts[c["name"]] < MIN_INK_PIXELS:
            faults.append("%s: only %d pixels of its colour %s"
                          % (c["name"], counts[c["name"]], tuple(c["colour"])))
    for colour, where in outside.items():
        faults.append("colour %s outside its controls at %d pixels, first %s"
                      % (colour, len(where), where[0]))
    return faults


def main(argv):
    if len(argv) == 4 and argv[1] == "atspi":
        faults = check_atspi(load_description(argv[2]), int(argv[3]))
    elif len(argv) == 6 and argv[1] == "pixels":
        faults = check_pixels(load_description(argv[2]), argv[3],
                              int(argv[4]), int(argv[5]))
    else:
        print(__doc__, file=sys.stderr)
        return 2
    for fault in faults:
        print("check_window %s: %s" % (argv[1], fault))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

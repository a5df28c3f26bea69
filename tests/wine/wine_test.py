#!/usr/bin/env python3
"""The Windows build under Wine: the real program on a virtual display,
driven with X input and looked at from inside with the probe, plus the core
unit tests built for Windows.

  wine_test.py main-window      ARGS  window, 获取, 复制, 更新, Esc
  wine_test.py version-mismatch ARGS  the box first, 获取 disabled, Alt+F4
  wine_test.py missing-wininet  ARGS  a wininet.dll without exports
  wine_test.py wininet-backend  ARGS  the WinINet backend on an echo server
  wine_test.py core-unit-tests  ARGS  every core test program, under Wine

Every wait is for a condition, with a deadline.
"""

import argparse
import http.server
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading

sys.dont_write_bytecode = True  # nothing written into the source tree
from wine_session import (Failure, Session, wait_for_port,  # noqa: E402
                          wait_until)

SOURCE_ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..",
                                           ".."))
WINDOW_TEXTS = os.path.join(SOURCE_ROOT, "src", "app", "window_texts.txt")
SERVER = os.path.join(SOURCE_ROOT, "demo", "announcement_server.py")

OUTER_SIZE = (238, 229)
FIRST_CONTROL_ID = 100  # window.cpp: a control's ID is its index + 100

# Win32 style bits the window and its controls are checked for.
WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX = 0x40000, 0x20000, 0x10000
WS_CAPTION, WS_SYSMENU = 0xC00000, 0x80000
WS_EX_CLIENTEDGE = 0x200
ES_AUTOHSCROLL = 0x80
BS_TYPEMASK, BS_DEFPUSHBUTTON = 0xF, 0x1
SS_TYPEMASK, SS_ICON, SS_OWNERDRAW, SS_NOPREFIX = 0x1F, 0x3, 0xD, 0x80

STARTUP_TIMEOUT = 90  # the first program in a new prefix starts slowly
STEP_TIMEOUT = 30


def window_texts():
    texts = {}
    with open(WINDOW_TEXTS, encoding="utf-8") as table:
        for line in table:
            name, sep, text = line.rstrip("\n").partition(" = ")
            if sep and not line.startswith("#"):
                texts[name] = text.replace("\\r", "\r").replace("\\n", "\n")
    return texts


TEXTS = window_texts()
CAPTION = TEXTS["kCaption"]

# (name, class, rect in the client area, shown, enabled, initial text), in
# the order of the window description; the timer 时钟1 has no window.
CONTROLS = [
    ("标签1", "Static", [8, 8, 32, 24], True, True, TEXTS["kCodeLabel"]),
    ("编辑框1", "Edit", [40, 8, 176, 24], True, False,
     TEXTS["kCodeBoxInitial"]),
    ("标签4", "Static", [8, 32, 32, 24], True, True, TEXTS["kStatusLabel"]),
    ("编辑框4", "Edit", [40, 32, 176, 24], True, False,
     TEXTS["kStatusBoxInitial"]),
    ("按钮1", "Button", [8, 64, 56, 24], True, True, TEXTS["kGetButton"]),
    ("按钮2", "Button", [80, 64, 56, 24], True, True, TEXTS["kCopyButton"]),
    ("按钮3", "Button", [152, 64, 56, 24], True, True,
     TEXTS["kUpdateButton"]),
    ("标签2", "Static", [0, 96, 232, 16], True, True, TEXTS["kDivider"]),
    ("标签3", "Static", [0, 120, 232, 80], True, True, TEXTS["kNotice"]),
    ("编辑框3", "Edit", [16, 136, 40, 32], False, True, None),
    ("编辑框2", "Edit", [80, 136, 40, 32], False, True, TEXTS["kOwnVersion"]),
]
INDEX = {name: i for i, (name, *_rest) in enumerate(CONTROLS)}


def check(condition, message):
    if not condition:
        raise Failure(message)


def page(version, code):
    return ("<html><body>\n<p>最新版本：==%s==</p>\n<p>本周CDK：</p>\n"
            "<p>====%s====</p>\n</body></html>\n" % (version, code))


class Server:
    """The bundled announcement server on the port compiled into the
    program, with a page of the test's own."""

    def __init__(self, session, port, content):
        self.dir = tempfile.mkdtemp(dir=session.run_dir, prefix="server-")
        self.log = os.path.join(self.dir, "requests.log")
        page_file = os.path.join(self.dir, "announcement.html")
        with open(page_file, "w", encoding="utf-8") as f:
            f.write(content)
        open(self.log, "w").close()
        self.port = port
        self.process = subprocess.Popen(
            [sys.executable, SERVER, "--port", str(port), "--page", page_file,
             "--log", self.log], stdin=subprocess.DEVNULL,
            stdout=open(os.path.join(self.dir, "server.out"), "wb"),
            stderr=subprocess.STDOUT)

    def __enter__(self):
        try:
            wait_for_port(self.port, STEP_TIMEOUT)
        except Failure:
            self.__exit__()
            raise
        return self

    def __exit__(self, *_):
        self.process.terminate()
        self.process.wait(STEP_TIMEOUT)

    def requests(self):
        with open(self.log, encoding="utf-8") as f:
            return [line for line in f if line.strip()]


class Program:
    """A Windows program running under Wine; ended at the latest on exit."""

    def __init__(self, session, args, log_name, **env):
        self.session = session
        self.process = session.wine(args, log_name, **env)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(STEP_TIMEOUT)

    def exit_code(self):
        try:
            return self.process.wait(STEP_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end within %ds" % STEP_TIMEOUT)


class Desktop:
    """What the user sees and does: windows by title, clicks and keys."""

    def __init__(self, session, probe_exe):
        self.session = session
        self.probe_exe = probe_exe

    def windows(self, title):
        return [w for w in self.session.probe(self.probe_exe)["windows"]
                if w["text"] == title]

    def wait_for_visible(self, title, timeout=STEP_TIMEOUT):
        def visible():
            shown = [w for w in self.windows(title) if w["visible"]]
            return shown[0] if shown else None
        return wait_until(visible, timeout, "a visible window %r" % title,
                          interval=0.3)

    def x_window(self, title):
        found = self.session.x("xdotool", "search", "--onlyvisible",
                               "--name", "^%s$" % title)
        ids = found.stdout.split()
        check(len(ids) == 1, "expected one X window %r, found %r"
              % (title, ids))
        return ids[0].decode()

    def click(self, window, control):
        child = window["children"][INDEX[control]]
        left, top, width, height = child["rect"]
        x = window["client_origin"][0] + left + width // 2
        y = window["client_origin"][1] + top + height // 2
        self.session.x("xdotool", "mousemove", str(x), str(y), "click", "1")

    def key(self, title, key):
        # Without a window manager nothing gives the X focus away; the key
        # goes where we put it.
        window = self.x_window(title)
        self.session.x("xdotool", "windowfocus", "--sync", window)
        self.session.x("xdotool", "key", "--clearmodifiers", key)

    def clipboard(self):
        out = self.session.x("xclip", "-o", "-selection", "clipboard")
        return out.stdout.decode("utf-8", "replace") if out.returncode == 0 \
            else None

    def screenshot(self, window, name):
        x, y, width, height = window["screen_rect"]
        path = os.path.join(self.session.run_dir, name)
        self.session.x("import", "-window", "root", "-crop",
                       "%dx%d+%d+%d" % (width, height, x, y), "+repage", path)
        print("screenshot:", path)


def control_texts(window):
    return [child["text"] for child in window["children"]]


def check_main_window(window, screen):
    """The frame, its place and the controls right after start."""
    x, y, width, height = window["screen_rect"]
    check((width, height) == OUTER_SIZE,
          "outer size %dx%d, want %dx%d" % ((width, height) + OUTER_SIZE))
    check((x, y) == ((screen[0] - width) // 2, (screen[1] - height) // 2),
          "place %d,%d is not centred on %r" % (x, y, screen))
    style = window["style"]
    check(style & WS_CAPTION == WS_CAPTION and style & WS_SYSMENU,
          "no caption or system menu: style %#x" % style)
    check(not style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
          "resizable or minimise/maximise box: style %#x" % style)
    client_w, client_h = window["client_size"]
    check(client_w >= 232 and client_h >= 200,
          "client area %dx%d cannot hold 232x200" % (client_w, client_h))

    children = window["children"]
    check(len(children) == len(CONTROLS),
          "%d child windows, want %d" % (len(children), len(CONTROLS)))
    for i, (name, kind, rect, shown, enabled, text) in enumerate(CONTROLS):
        child = children[i]
        where = "%s (%s)" % (name, child["class"])
        check(child["id"] == FIRST_CONTROL_ID + i, where + ": wrong ID")
        check(child["class"].lower() == kind.lower(), where + ": wrong class")
        check(child["rect"] == rect,
              "%s: rect %r, want %r" % (where, child["rect"], rect))
        check(child["visible"] == shown, where + ": wrong visibility")
        check(child["enabled"] == enabled, where + ": wrong enabled state")
        if text is not None:
            check(child["text"] == text,
                  "%s: text %r, want %r" % (where, child["text"], text))
        style, ex_style = child["style"], child["ex_style"]
        if kind == "Edit":
            check(ex_style & WS_EX_CLIENTEDGE and style & ES_AUTOHSCROLL,
                  where + ": no client edge or auto scroll")
        elif kind == "Button":
            check(style & BS_TYPEMASK != BS_DEFPUSHBUTTON,
                  where + ": a default button")
        else:
            check(style & SS_TYPEMASK == SS_OWNERDRAW and style & SS_NOPREFIX,
                  where + ": not an owner-drawn label without prefixes")


def box_parts(box):
    texts = [c["text"] for c in box["children"]
             if c["class"].lower() == "static" and c["text"]]
    icons = [c for c in box["children"] if c["class"].lower() == "static"
             and c["style"] & SS_TYPEMASK == SS_ICON and c["visible"]
             and c["holds_icon"]]
    buttons = [c for c in box["children"] if c["class"].lower() == "button"
               and c["visible"]]
    return texts, icons, buttons


def test_main_window(session, args):
    desktop = Desktop(session, args.probe)
    code = "春节礼包-W1N3"  # Chinese, so a paste shows the conversion
    with Server(session, args.port, page("0.2", code)) as server, \
            Program(session, [args.program], "main-window.log") as program:
        window = desktop.wait_for_visible(CAPTION, STARTUP_TIMEOUT)
        report = session.probe(args.probe)
        check(report["ansi_code_page"] != 936,
              "Wine runs with code page 936; the test proves nothing")
        check_main_window(window, report["screen"])
        x_size = desktop.session.x("xdotool", "getwindowgeometry",
                                   desktop.x_window(CAPTION)).stdout.decode()
        check("Geometry: %dx%d" % OUTER_SIZE in x_size,
              "X window geometry: %s" % x_size)
        desktop.screenshot(window, "window.png")
        check(len(server.requests()) == 1,
              "the version check should be the only request so far")

        desktop.click(window, "按钮1")
        wait_until(lambda: len(server.requests()) >= 2, STEP_TIMEOUT,
                   "the first tick's request")
        window = wait_until(
            lambda: next((w for w in desktop.windows(CAPTION)
                          if w["children"][INDEX["编辑框1"]]["text"] == code),
                         None), STEP_TIMEOUT, "the code in 编辑框1",
            interval=0.3)
        status = window["children"][INDEX["编辑框4"]]["text"]
        check(status == "请在限定时间内兑换", "status %r" % status)
        desktop.screenshot(window, "window-with-code.png")

        # Esc with a modifier is no close request. X input arrives in order,
        # so a copy made after it shows the window was still there.
        desktop.key(CAPTION, "shift+Escape")
        desktop.click(window, "按钮2")
        try:
            wait_until(lambda: desktop.clipboard() == code, STEP_TIMEOUT,
                       "the code on the X clipboard")
        except Failure as failure:
            raise Failure("%s; it holds %r" % (failure, desktop.clipboard()))

        desktop.click(window, "按钮3")
        update_url = "http://127.0.0.1:%d/update.html" % args.port

        def opened():
            if not os.path.exists(session.opened_urls):
                return False
            with open(session.opened_urls) as f:
                return update_url in f.read().split()
        wait_until(opened, STEP_TIMEOUT, "the browser to get " + update_url)

        desktop.key(CAPTION, "Escape")
        exit_code = program.exit_code()
        check(exit_code == 0, "exit code %d after Esc, want 0" % exit_code)


def test_version_mismatch(session, args):
    desktop = Desktop(session, args.probe)
    with Server(session, args.port, page("0.3", "00000000")) as server, \
            Program(session, [args.program], "version-mismatch.log") as program:
        box = desktop.wait_for_visible(TEXTS["kMessageCaption"],
                                       STARTUP_TIMEOUT)
        main = desktop.windows(CAPTION)
        check(len(main) == 1 and not main[0]["visible"],
              "the main window must exist, hidden, while the box is open")
        texts, icons, buttons = box_parts(box)
        check("发现新版本，请在页面点击更新。" in texts, "box texts %r" % texts)
        check(not icons, "the version box shows an icon: %r" % icons)
        check(len(buttons) == 1, "the version box has %d buttons"
              % len(buttons))
        desktop.screenshot(box, "version-box.png")

        desktop.key(TEXTS["kMessageCaption"], "Return")
        window = desktop.wait_for_visible(CAPTION)
        buttons = [window["children"][INDEX[b]]["enabled"]
                   for b in ("按钮1", "按钮2", "按钮3")]
        check(buttons == [False, True, True],
              "enabled 获取/复制/更新: %r" % buttons)
        check(len(server.requests()) == 1, "requests: %r" % server.requests())

        desktop.key(CAPTION, "alt+F4")
        code = program.exit_code()
        check(code == 0, "exit code %d after Alt+F4, want 0" % code)


def test_missing_wininet(session, args):
    desktop = Desktop(session, args.probe)
    folder = tempfile.mkdtemp(dir=session.run_dir, prefix="missing-wininet-")
    program_copy = os.path.join(folder, "cdktool.exe")
    shutil.copy(args.program, program_copy)
    shutil.copy(args.dummy_wininet, os.path.join(folder, "wininet.dll"))
    # Windows loads a wininet.dll found in the program's folder first; Wine
    # prefers its builtin one unless told to take the native file.
    overrides = session.env()["WINEDLLOVERRIDES"] + ";wininet=n,b"
    with Program(session, [program_copy], "missing-wininet.log",
                 WINEDLLOVERRIDES=overrides) as program:
        box = desktop.wait_for_visible(TEXTS["kFatalCaption"],
                                       STARTUP_TIMEOUT)
        check(not any(w["visible"] for w in desktop.windows(CAPTION)),
              "the main window is shown despite the fatal error")
        want = ("运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“wininet.dll”"
                "中的输出命令“InternetOpenA”\r\n")
        texts, icons, buttons = box_parts(box)
        check(want in texts, "box texts %r, want %r" % (texts, want))
        check(len(icons) == 1, "the fatal box shows no icon")
        check(len(buttons) == 1, "the fatal box has %d buttons"
              % len(buttons))
        desktop.screenshot(box, "fatal-box.png")

        desktop.key(TEXTS["kFatalCaption"], "Return")
        code = program.exit_code()
        check(code == 255, "exit code %d, want 255 (-1)" % code)


class EchoHandler(http.server.BaseHTTPRequestHandler):
    """/echo...: the request head as received, an empty line and the request
    body; /big?n=N: N bytes counting up modulo 251; /status404: an error
    page."""

    protocol_version = "HTTP/1.1"

    def handle_one_request(self):
        self.raw_requestline = self.rfile.readline(65537)
        if not self.raw_requestline or not self.parse_request():
            self.close_connection = True
            return
        length = int(self.headers.get("Content-Length", "0") or 0)
        body = self.rfile.read(length)
        status = 200
        if self.path.startswith("/big?n="):
            reply = bytes(i % 251 for i in range(int(self.path[7:])))
        elif self.path == "/status404":
            status, reply = 404, b"gone"
        else:
            head = self.raw_requestline + b"".join(
                ("%s: %s\r\n" % item).encode("latin-1")
                for item in self.headers.items())
            reply = head + b"\r\n" + body
        self.send_response(status)
        self.send_header("Content-Length", str(len(reply)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(reply)
        self.close_connection = True

    def log_message(self, *_):
        pass


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def test_wininet_backend(session, args):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), EchoHandler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        code = session.wine_run(
            [args.program], "wininet-backend.log", 600,
            CDK_ECHO_PORT=str(server.server_address[1]),
            CDK_CLOSED_PORT=str(free_port()))
    finally:
        server.shutdown()
    with open(os.path.join(session.run_dir, "wininet-backend.log"), "rb") as f:
        sys.stdout.write(f.read()[-8000:].decode("utf-8", "replace"))
    check(code == 0, "wininet_backend_test.exe: exit code %d" % code)


def test_core_unit_tests(session, args):
    with open(args.list) as f:
        programs = [line.strip() for line in f if line.strip()]
    check(programs, "no core test programs in " + args.list)
    failed = []
    for exe in programs:
        name = os.path.basename(exe)
        log = "unit-%s.log" % name
        code = session.wine_run([exe, "--gtest_brief=1"], log, 600)
        print("%s: exit code %d" % (name, code))
        if code != 0:
            failed.append(name)
            with open(os.path.join(session.run_dir, log), "rb") as f:
                sys.stdout.write(f.read()[-6000:].decode("utf-8", "replace"))
    check(not failed, "failed under Wine: " + ", ".join(failed))


TESTS = {
    "main-window": test_main_window,
    "version-mismatch": test_version_mismatch,
    "missing-wininet": test_missing_wininet,
    "core-unit-tests": test_core_unit_tests,
    "wininet-backend": test_wininet_backend,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("test", choices=TESTS)
    parser.add_argument("--run-dir", required=True)
    parser.add_argument("--probe")
    parser.add_argument("--program")
    parser.add_argument("--port", type=int)
    parser.add_argument("--dummy-wininet")
    parser.add_argument("--list")
    args = parser.parse_args()
    try:
        TESTS[args.test](Session(args.run_dir), args)
    except (Failure, subprocess.SubprocessError) as failure:
        sys.exit("FAILED: %s" % failure)
    print("passed")


if __name__ == "__main__":
    main()

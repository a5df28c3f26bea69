#!/usr/bin/env python3
"""The Wine session the Windows tests share: a virtual X display and a
private, quiet 64-bit Wine prefix, made once per test run.

  wine_session.py setup RUN_DIR    start Xvfb, create the prefix
  wine_session.py cleanup RUN_DIR  end both, remove the prefix

The tests import this module and reach the session through Session(RUN_DIR).
Everything lives under RUN_DIR: the prefix, a fontconfig setup, logs and the
state file naming the display and the Xvfb process.
"""

import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
SCREEN = (1024, 768)
CJK_FONT_DIR = "/usr/share/fonts/truetype/wqy"
CJK_FONT_FILE = "wqy-microhei.ttc"
CJK_FONT_FACE = "WenQuanYi Micro Hei"
WINE_FONT_DIR = "/usr/share/wine/fonts"

# The faces that Windows' default GUI font and the caption font resolve to
# in Wine. Linking them to the CJK font is what a Windows without Chinese as
# its system language does with its own Chinese fonts.
LINKED_FACES = ["Tahoma", "Tahoma Bold", "MS Shell Dlg", "MS Shell Dlg 2",
                "Microsoft Sans Serif", "MS Sans Serif"]


class Failure(Exception):
    pass


def wait_until(condition, timeout, what, interval=0.1):
    """Polls condition() until it gives a true value, which is returned;
    raises Failure naming `what` once `timeout` seconds have passed."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out after %gs waiting for %s"
                          % (timeout, what))
        time.sleep(interval)


def _multi_string(*items):
    """A REG_MULTI_SZ value as REGEDIT4 writes it (hex(7), ANSI bytes)."""
    data = "".join(item + "\0" for item in items) + "\0"
    return "hex(7):" + ",".join("%02x" % b for b in data.encode("ascii"))


def _registry_file(path, browser):
    link = _multi_string("%s,%s" % (CJK_FONT_FILE, CJK_FONT_FACE))
    lines = [
        "REGEDIT4", "",
        # Wine draws the frame and caption itself, as Windows would, so the
        # X window is the whole window: there is no window manager on Xvfb.
        "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]",
        '"Decorated"="N"', "",
        # The "browser" that the shell's "open" of a web address starts.
        "[HKEY_CURRENT_USER\\Software\\Wine\\WineBrowser]",
        '"Browsers"="%s"' % browser, "",
        "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\"
        "CurrentVersion\\FontLink\\SystemLink]",
    ]
    lines += ['"%s"=%s' % (face, link) for face in LINKED_FACES]
    with open(path, "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


def _fontconfig_file(path, cache):
    # Only Wine's own fonts and the CJK font: whatever else the host has
    # installed cannot change what the tests see (a CJK-only fallback font
    # without Latin letters, say).
    with open(path, "w") as f:
        f.write('<?xml version="1.0"?>\n'
                '<!DOCTYPE fontconfig SYSTEM "fonts.dtd">\n'
                "<fontconfig>\n"
                "  <dir>%s</dir>\n  <dir>%s</dir>\n  <cachedir>%s</cachedir>\n"
                "</fontconfig>\n" % (WINE_FONT_DIR, CJK_FONT_DIR, cache))


class Session:
    def __init__(self, run_dir):
        self.run_dir = os.path.abspath(run_dir)
        self.state_file = os.path.join(self.run_dir, "session.json")
        self.prefix = os.path.join(self.run_dir, "prefix")
        self.opened_urls = os.path.join(self.run_dir, "opened-urls.txt")
        self.state = {}
        if os.path.exists(self.state_file):
            with open(self.state_file) as f:
                self.state = json.load(f)

    def env(self, **extra):
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": self.prefix,
            "WINEARCH": "win64",
            "WINEDEBUG": "-all",
            # No Mono or Gecko installers at prefix creation, and no menu
            # entries or file associations written into the user's home.
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
            "DISPLAY": self.state.get("display", ""),
            "FONTCONFIG_FILE": os.path.join(self.run_dir, "fonts.conf"),
            # A locale whose Windows code page is 1252, not 936: the program
            # must show its Chinese texts anyway.
            "LC_ALL": "C.UTF-8",
            "LANG": "C.UTF-8",
        })
        env.update(extra)
        return env

    def log(self, name):
        return open(os.path.join(self.run_dir, name), "ab")

    def wine(self, args, log_name, cwd=None, **extra_env):
        """Starts a Windows program; its output goes to a log file, never to
        a pipe that a lingering wineserver could keep open."""
        with self.log(log_name) as log:
            return subprocess.Popen([WINE] + list(args), cwd=cwd,
                                    env=self.env(**extra_env),
                                    stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=subprocess.STDOUT)

    def wine_run(self, args, log_name, timeout, **extra_env):
        process = self.wine(args, log_name, **extra_env)
        try:
            return process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            raise Failure("%s did not end within %gs" % (args[0], timeout))

    def probe(self, probe_exe):
        """The session's titled top-level windows, from inside (probe.cpp).
        Its output goes through a file: a pipe would stay open as long as
        any Wine process it started (the desktop's explorer.exe) lives."""
        out_path = os.path.join(self.run_dir, "probe.json")
        with open(out_path, "wb") as out:
            subprocess.run([WINE, probe_exe], env=self.env(),
                           stdin=subprocess.DEVNULL, stdout=out,
                           stderr=subprocess.DEVNULL, timeout=60, check=True)
        with open(out_path, encoding="utf-8") as f:
            return json.load(f)

    def x(self, *args, timeout=30):
        """Runs an X client (xdotool, xclip, import) on the display."""
        return subprocess.run(list(args), env=self.env(),
                              stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=timeout)

    # -- setup and cleanup ---------------------------------------------------

    def setup(self):
        if os.path.exists(self.state_file):
            Session(self.run_dir).cleanup()
        shutil.rmtree(self.run_dir, ignore_errors=True)
        os.makedirs(self.run_dir)
        self._start_xvfb()
        _fontconfig_file(os.path.join(self.run_dir, "fonts.conf"),
                         os.path.join(self.run_dir, "fontconfig-cache"))
        browser = os.path.join(self.run_dir, "record-url")
        with open(browser, "w") as f:
            f.write('#!/bin/sh\nprintf "%%s\\n" "$@" >> "%s"\n'
                    % self.opened_urls)
        os.chmod(browser, 0o755)

        # Keep one wineserver (and with it the prefix's services) for all
        # the tests that follow, but not forever if cleanup never runs. It
        # must start before anything else uses the prefix.
        os.makedirs(self.prefix)
        subprocess.run([WINESERVER, "-p600"], env=self.env(), check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        if self.wine_run(["wineboot", "--init"], "wineboot.log", 300) != 0:
            raise Failure("wineboot failed; see wineboot.log")
        registry = os.path.join(self.run_dir, "session.reg")
        _registry_file(registry, browser)
        if self.wine_run(["regedit", "/S", "Z:" + registry.replace("/", "\\")],
                         "wineboot.log", 120) != 0:
            raise Failure("regedit failed; see wineboot.log")

    def _start_xvfb(self):
        # -displayfd: Xvfb picks a free display itself and tells us which,
        # so parallel runs and other tests' displays never collide.
        read_end, write_end = os.pipe()
        with self.log("xvfb.log") as log:
            xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                 "-screen", "0", "%dx%dx24" % SCREEN],
                pass_fds=[write_end], stdin=subprocess.DEVNULL, stdout=log,
                stderr=subprocess.STDOUT, start_new_session=True)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise Failure("Xvfb did not start; see xvfb.log")
        self.state = {"display": ":" + number, "xvfb_pid": xvfb.pid}
        with open(self.state_file, "w") as f:
            json.dump(self.state, f)

    def cleanup(self):
        if os.path.isdir(self.prefix):
            subprocess.run([WINESERVER, "-k"], env=self.env(),
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
            subprocess.run([WINESERVER, "-w"], env=self.env(), timeout=60)
        pid = self.state.get("xvfb_pid")
        if pid:
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        shutil.rmtree(self.prefix, ignore_errors=True)
        try:
            os.remove(self.state_file)
        except FileNotFoundError:
            pass


def wait_for_port(port, timeout):
    def accepting():
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            return False
    wait_until(accepting, timeout, "a server on port %d" % port)


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("setup", "cleanup"):
        sys.exit(__doc__)
    session = Session(sys.argv[2])
    try:
        getattr(session, sys.argv[1])()
    except Failure as failure:
        sys.exit("wine session: %s" % failure)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Hostile announcement servers on loopback, one behaviour per --case.

The first request of a run is the version check and always gets a well-formed
page posting the tool's own version, so the window comes up with 获取
enabled; every later request (the polls) meets the case's behaviour. Each
request is logged to --log as "request <n> <seconds since start> <request
line>", and "ready" goes to stdout once the port accepts connections.

The server ends when its stdin closes (the test that started it has gone,
however it ended) or after --lifetime seconds, so nothing outlives a run.

Usage: hostile_server.py --port N --case NAME --log FILE [--lifetime S]
"""
import argparse
import errno
import os
import socket
import struct
import sys
import threading
import time

VERSION_PAGE = b"<html><body>==0.2==<p>====00000000====</p></body></html>\n"
HUGE_CODE_BYTES = 10 * 1024 * 1024
HEAD_LIMIT = 64 * 1024


def huge_code():
    # The same bytes the test builds: A to Z over and over.
    pattern = bytes(range(ord("A"), ord("Z") + 1))
    return (pattern * (HUGE_CODE_BYTES // len(pattern) + 1))[:HUGE_CODE_BYTES]


def head(status="200 OK", length=None, extra=b""):
    lines = b"HTTP/1.1 " + status.encode() + b"\r\n"
    lines += b"Content-Type: text/html; charset=gbk\r\n"
    if length is not None:
        lines += b"Content-Length: %d\r\n" % length
    lines += b"Connection: close\r\n" + extra + b"\r\n"
    return lines


def page(conn, body):
    conn.sendall(head(length=len(body)) + body)


def reset(conn):
    # SO_LINGER with a zero time-out turns close() into a TCP reset.
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    conn.close()


def wait_until_peer_leaves(conn, seconds):
    """Sends nothing for up to `seconds`, returning early once the client
    has closed its end."""
    conn.settimeout(seconds)
    try:
        while conn.recv(4096):
            pass
    except OSError:
        pass


# ---- the cases: each takes the connection and the request number (2 and on)

def steady(conn, n):
    # About the size of the real page; the code changes every request, and
    # every tenth posts no code.
    code = b"00000000" if n % 10 == 0 else b"CDK%08d" % n
    filler = b"<p>" + b"x" * 900 + b"</p>\n"
    page(conn, b"<html><body>==0.2==\n" + filler + b"====" + code +
         b"====\n</body></html>\n")


def dribble(conn, n):
    # The first poll's body arrives one byte a second; the polls nested
    # inside it are answered at once, each with its own code.
    if n != 2:
        page(conn, b"====NESTED%d====" % n)
        return
    body = b"====FIRST===="
    conn.sendall(head(length=len(body)))
    for i in range(len(body)):
        if i > 0:
            time.sleep(1.0)
        conn.sendall(body[i:i + 1])


def stall(conn, n):
    if n != 2:
        page(conn, b"====AFTER====")
        return
    part = b"==0.2==\n====STALLED====\n"
    conn.sendall(head(length=4096) + part)
    wait_until_peer_leaves(conn, 60)


def reset_after_code(conn, n):
    conn.sendall(head(length=4096) + b"====RESET====\n<p>")
    time.sleep(0.5)
    reset(conn)


def reset_before_code(conn, n):
    conn.sendall(head(length=4096) + b"====RESE")
    time.sleep(0.5)
    reset(conn)


def not_http(conn, n):
    conn.sendall(b"SSH-2.0-OpenSSH_9.2p1 ====NOTHTTP====\r\n")


def no_reply(conn, n):
    pass


def header_flood(conn, n):
    lines = b"".join(b"X-Line-%05d: %d\r\n" % (i, i) for i in range(10000))
    body = b"====FLOOD===="
    conn.sendall(head(length=len(body), extra=lines) + body)


def redirect_loop(conn, n):
    body = b"====LOOP===="
    conn.sendall(head("302 Found", len(body),
                      b"Location: /announcement.html\r\n") + body)


def chunked_head():
    return (b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n"
            b"Connection: close\r\n\r\n")


def chunk(data):
    return b"%x\r\n" % len(data) + data + b"\r\n"


def chunk_longer_than_said(conn, n):
    conn.sendall(chunked_head() + chunk(b"====CHUNKED====\n") +
                 b"4\r\n" + b"0123456789" * 4 + b"\r\n" + b"0\r\n\r\n")


def chunk_shorter_than_said(conn, n):
    conn.sendall(chunked_head() + b"3e8\r\n====SHORT====\n")


def chunk_size_too_big(conn, n):
    conn.sendall(chunked_head() + b"FFFFFFFFFFFFFFFFFFFF\r\n====HUGE====\r\n"
                 b"0\r\n\r\n")


def zero_byte(conn, n):
    page(conn, b"==0.2==\n\x00====ZERO====\n")


def odd_bytes(conn, n):
    # Invalid GBK and UTF-8 pairs and control characters inside the code.
    page(conn, b"====\x81\xff\xc3\x28\xa3\x01\t\x1b[31m\x7f\xfe\xfe====")


def lone_lead_byte(conn, n):
    page(conn, b"====AB\xe9====CD====")


def huge_code_case(conn, n):
    page(conn, b"==0.2==\n====" + huge_code() + b"====\n")


def endless(conn, n):
    # No length and no end: bytes for as long as the client reads them.
    conn.sendall(head())
    block = b"<p>endless</p>\n" * 65536
    try:
        while True:
            conn.sendall(block)
    except OSError:
        pass


CASES = {
    "steady": steady,
    "dribble": dribble,
    "stall": stall,
    "reset_after_code": reset_after_code,
    "reset_before_code": reset_before_code,
    "not_http": not_http,
    "no_reply": no_reply,
    "header_flood": header_flood,
    "redirect_loop": redirect_loop,
    "chunk_longer_than_said": chunk_longer_than_said,
    "chunk_shorter_than_said": chunk_shorter_than_said,
    "chunk_size_too_big": chunk_size_too_big,
    "zero_byte": zero_byte,
    "odd_bytes": odd_bytes,
    "lone_lead_byte": lone_lead_byte,
    "huge_code": huge_code_case,
    "endless": endless,
}

# The soak's case answers one connection after another; the others need a
# thread each, since the polls nest inside a slow one.
SEQUENTIAL = {"steady"}


class Server:
    def __init__(self, case, log_path):
        self.case = CASES[case]
        self.log = open(log_path, "a", buffering=1)
        self.lock = threading.Lock()
        self.requests = 0
        self.start = time.monotonic()

    def read_head(self, conn):
        data = b""
        while b"\r\n\r\n" not in data and len(data) < HEAD_LIMIT:
            more = conn.recv(4096)
            if not more:
                return None
            data += more
        return data

    def serve(self, conn):
        try:
            request = self.read_head(conn)
            if request is None:
                return
            with self.lock:
                self.requests += 1
                n = self.requests
                line = request.split(b"\r\n", 1)[0].decode("latin-1")
                self.log.write("request %d %.3f %s\n" %
                               (n, time.monotonic() - self.start, line))
            if n == 1:
                page(conn, VERSION_PAGE)
            else:
                self.case(conn, n)
        except OSError:
            pass
        finally:
            try:
                conn.close()
            except OSError:
                pass


def listen(port, deadline):
    # Another build tree's test may hold the port for a while: wait for it.
    while True:
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            sock.bind(("127.0.0.1", port))
            sock.listen(128)
            return sock
        except OSError as e:
            sock.close()
            if e.errno != errno.EADDRINUSE or time.monotonic() > deadline:
                raise
            time.sleep(0.1)


def end_when_stdin_closes():
    try:
        while sys.stdin.buffer.read(4096):
            pass
    except OSError:
        pass
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    parser.add_argument("--log", required=True)
    parser.add_argument("--lifetime", type=float, default=900)
    args = parser.parse_args()

    threading.Thread(target=end_when_stdin_closes, daemon=True).start()
    lifetime = threading.Timer(args.lifetime, lambda: os._exit(0))
    lifetime.daemon = True
    lifetime.start()

    server = Server(args.case, args.log)
    sock = listen(args.port, time.monotonic() + 120)
    print("ready", flush=True)
    while True:
        conn, _ = sock.accept()
        if args.case in SEQUENTIAL:
            server.serve(conn)
        else:
            threading.Thread(target=server.serve, args=(conn,),
                             daemon=True).start()


if __name__ == "__main__":
    sys.exit(main())

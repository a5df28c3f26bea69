#!/usr/bin/env python3
"""The bundled announcement server: serves a page on loopback, as the tool's
author would from a small static file.

The page file is kept in UTF-8 so it can be edited while the server runs;
each request re-reads it and answers it in GBK, the code page the tool
reads. GET /announcement.html gives the page, GET /update.html a short
update page. Each request line is appended to --log when given, so tests can
count the requests the tool made.

Usage: announcement_server.py --port N --page FILE [--log FILE]
"""
import argparse
import http.server
import os
import sys

UPDATE_PAGE = "<html><body><p>ZelvaroCDK获取工具: 新版本</p></body></html>\n"


def make_handler(page_path, log_path):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_GET(self):
            if log_path:
                with open(log_path, "a", encoding="utf-8") as log:
                    log.write(self.requestline + "\n")
            path = self.path.split("?", 1)[0]
            if path.endswith("/update.html"):
                body = UPDATE_PAGE.encode("gbk")
            elif path.endswith("/announcement.html"):
                with open(page_path, encoding="utf-8") as page:
                    body = page.read().encode("gbk")
            else:
                self.send_error(404)
                return
            self.send_response(200)
            self.send_header("Content-Type", "text/html; charset=gbk")
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Cache-Control", "no-cache")
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, fmt, *args):
            pass  # quiet: the tool polls every 5 s

    return Handler


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--page", required=True)
    parser.add_argument("--log")
    args = parser.parse_args()
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", args.port), make_handler(os.path.abspath(args.page),
                                               args.log))
    print("serving http://127.0.0.1:%d/announcement.html" % args.port,
          flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())

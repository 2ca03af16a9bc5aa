#!/usr/bin/env python3
"""The demo's update service: a stand-in for the vendor's service, on this
machine only. It answers the installer's package URL query with the address
of the demo package and serves that package, a little slowly, so that the
percentage can be seen rising.

  POST /api/1/update/pcoffice/packageurl  -> {"resultCode":0,"url":"http://<host>/download/..."}
  GET  /download/pcoffice/CorvaneOfficeInstaller_CN.exe -> the demo package

--fail download breaks the first download off half-way, --fail query
answers the first query with a result code of 1, and --fail untrusted serves
the --untrusted-package (one from another publisher) the first time; later
attempts (Retry) succeed. tools/sandbox.sh starts it with --port and
--ready-file.
"""
import argparse
import http.server
import json
import sys
import threading
import time

QUERY_PATH = "/api/1/update/pcoffice/packageurl"
PACKAGE_PATH = "/download/pcoffice/CorvaneOfficeInstaller_CN.exe"


def log(text):
    print("service: " + text, file=sys.stderr, flush=True)


class State:
    def __init__(self, args):
        with open(args.package, "rb") as f:
            self.package = f.read()
        self.untrusted = None
        if args.untrusted_package:
            with open(args.untrusted_package, "rb") as f:
                self.untrusted = f.read()
        self.fail = args.fail
        self.failures_left = args.fail_times if args.fail != "none" else 0
        self.seconds = args.seconds
        self.query_delay = args.query_delay
        self.lock = threading.Lock()

    def take_failure(self, kind):
        with self.lock:
            if self.fail == kind and self.failures_left > 0:
                self.failures_left -= 1
                return True
            return False


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "CorvaneDemoService/1.0"
    protocol_version = "HTTP/1.0"

    def log_message(self, fmt, *args):
        log(fmt % args)

    def reply(self, status, body, ctype="application/json"):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        if length:
            self.rfile.read(length)
        if self.path != QUERY_PATH:
            self.reply(404, b'{"resultCode":404}\n')
            return
        # A moment of Connecting, as over a real network.
        time.sleep(self.server.state.query_delay)
        if self.server.state.take_failure("query"):
            log("answering the query with a failure, as asked (--fail query)")
            self.reply(200, b'{"resultCode":1}\n')
            return
        host = self.headers.get("Host") or "update.corvane.example"
        body = json.dumps({"resultCode": 0, "url": "http://%s%s" % (host, PACKAGE_PATH)},
                          separators=(",", ":")).encode() + b"\n"
        self.reply(200, body)

    def do_GET(self):
        if self.path != PACKAGE_PATH:
            self.reply(404, b"not here\n", "text/plain")
            return
        state = self.server.state
        data = state.package
        broken = state.take_failure("download")
        if state.untrusted is not None and state.take_failure("untrusted"):
            log("serving a package from another publisher, as asked (--fail untrusted)")
            data = state.untrusted
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        chunk = 8192
        steps = max(1, (len(data) + chunk - 1) // chunk)
        delay = state.seconds / steps
        end = len(data) // 2 if broken else len(data)
        try:
            for at in range(0, end, chunk):
                self.wfile.write(data[at:min(at + chunk, end)])
                self.wfile.flush()
                time.sleep(delay)
        except (BrokenPipeError, ConnectionResetError):
            log("the installer closed the download")
            return
        if broken:
            log("broke the download off half-way, as asked (--fail download)")
            self.close_connection = True


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--port", type=int, default=80)
    p.add_argument("--ready-file")
    p.add_argument("--package", required=True, help="the file served as the package")
    p.add_argument("--fail", choices=["none", "query", "download", "untrusted"], default="none")
    p.add_argument("--untrusted-package", help="the file served by --fail untrusted")
    p.add_argument("--fail-times", type=int, default=1)
    p.add_argument("--seconds", type=float, default=4.0, help="how long one download takes")
    p.add_argument("--query-delay", type=float, default=1.0, help="seconds before the query is answered")
    args = p.parse_args()
    if args.fail == "untrusted" and not args.untrusted_package:
        p.error("--fail untrusted needs --untrusted-package")

    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.state = State(args)
    log("listening on port %d, package %s (%d bytes)" % (args.port, args.package, len(server.state.package)))
    if args.ready_file:
        open(args.ready_file, "w").close()
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Small HTTP/1.1 server for the upload tests.

Listens on 127.0.0.1 on a free port (written to --port-file once listening),
records every request as one JSON line in --log (method, target, version, the
header lines exactly as received, the body as hex) and answers each one with
--status and --body. With --mode hang it accepts connections at the TCP level
but never reads nor answers them.
"""
import argparse
import json
import os
import socket
import socketserver
import threading
import time


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--port-file", required=True)
    ap.add_argument("--log", required=True)
    ap.add_argument("--status", type=int, default=200)
    ap.add_argument("--body", default="")
    ap.add_argument("--mode", choices=["normal", "hang"], default="normal")
    args = ap.parse_args()
    log_lock = threading.Lock()
    reply_body = args.body.encode("latin-1")

    def announce(port):
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write(str(port))
        os.replace(tmp, args.port_file)

    if args.mode == "hang":
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.bind(("127.0.0.1", 0))
        s.listen(16)
        announce(s.getsockname()[1])
        while True:
            time.sleep(3600)

    class Handler(socketserver.StreamRequestHandler):
        def handle(self):
            while True:
                line = self.rfile.readline(65537)
                if not line:
                    return
                request_line = line.decode("latin-1").rstrip("\r\n")
                parts = request_line.split(" ")
                header_lines = []
                length = 0
                keep_alive = True
                while True:
                    h = self.rfile.readline(65537)
                    if not h or h in (b"\r\n", b"\n"):
                        break
                    text = h.decode("latin-1").rstrip("\r\n")
                    header_lines.append(text)
                    name, _, value = text.partition(":")
                    if name.strip().lower() == "content-length":
                        length = int(value.strip())
                    if name.strip().lower() == "connection" and value.strip().lower() == "close":
                        keep_alive = False
                body = self.rfile.read(length) if length else b""
                record = {
                    "method": parts[0] if parts else "",
                    "target": parts[1] if len(parts) > 1 else "",
                    "version": parts[2] if len(parts) > 2 else "",
                    "header_lines": header_lines,
                    "body_hex": body.hex(),
                }
                with log_lock:
                    with open(args.log, "a") as f:
                        f.write(json.dumps(record) + "\n")
                head = "HTTP/1.1 %d X\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n\r\n" % (
                    args.status, len(reply_body))
                self.wfile.write(head.encode("latin-1") + reply_body)
                self.wfile.flush()
                if not keep_alive:
                    return

    class Server(socketserver.ThreadingTCPServer):
        daemon_threads = True
        allow_reuse_address = True

    with Server(("127.0.0.1", 0), Handler) as srv:
        announce(srv.server_address[1])
        srv.serve_forever()


if __name__ == "__main__":
    main()

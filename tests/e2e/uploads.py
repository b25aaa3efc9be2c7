"""The Cosm upload from the headless program to a local HTTP server: one
datastream (meter 1's apparent power) sent every minute as an EEML document."""

import http.server
import json
import os
import re
import sys
import threading
import time

from e2e_support import check, free_port, grid, headless, main, scramble, temp_dir, wait_until, write_config

VIREL = sys.argv[1]


def recording_server(port, log_path):
    """A server that answers 200 "OK" and appends each request to log_path
    as one JSON line."""

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def record(self):
            length = int(self.headers.get("Content-Length") or 0)
            body = self.rfile.read(length) if length else b""
            entry = {"method": self.command, "path": self.path, "headers": dict(self.headers.items()),
                     "body": body.decode("cp1252")}
            with open(log_path, "a", encoding="utf-8") as f:
                f.write(json.dumps(entry) + "\n")
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", "2")
            self.end_headers()
            self.wfile.write(b"OK")

        do_POST = do_GET = do_PUT = record

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def requests(log_path):
    if not os.path.exists(log_path):
        return []
    with open(log_path, encoding="utf-8") as f:
        return [json.loads(line) for line in f]


def test():
    with temp_dir("cosm") as cfg:
        log_path = os.path.join(cfg, "requests.jsonl")
        port = free_port()
        row = {0: "1", 1: "Compteur 1", 2: "Puissance apparente", 3: "0", 4: "4"}
        write_config(cfg, extra_sections=[
            ("CONFIG_COSM", [("COSM actif", 1), ("feed", 123), ("key", scramble("abc")),
                             ("Interval envoi", 0), ("serveur", "127.0.0.1:%d" % port),
                             ("TABLEAU VIDE", "NON")]),
        ] + grid([row], 5))
        server = recording_server(port, log_path)
        try:
            start = time.monotonic()
            # The minute timer runs from launch: the first upload comes at 60 s.
            with headless(VIREL, cfg, 80, ["--simulate"]) as run:
                wait_until(lambda: requests(log_path) or run.proc.poll() is not None, 75)
                first = time.monotonic() - start
                run.stop()
                rc, err, dump = run.wait()
        finally:
            server.shutdown()
            server.server_close()

        got = requests(log_path)
        check(got, "aucune requête reçue en %.0f s (stderr %s)" % (first, err))
        check(rc == 0 and not err, "code %s, stderr %s" % (rc, err))
        check(55 <= first <= 70, "première requête à %.1f s" % first)
        req = got[0]
        check(req["method"] == "POST" and req["path"] == "/v2/feeds/123/datastreams/1/datapoints",
              "requête : %s %s" % (req["method"], req["path"]))
        headers = {k.lower(): v for k, v in req["headers"].items()}
        check(headers.get("x-apikey") == "abc", "X-ApiKey : %r" % headers.get("x-apikey"))
        body = req["body"]
        check(body.endswith("</eeml>\r\n") and body.count("\r\n") == 9, "document : %r" % body)
        lines = body.split("\r\n")
        check(lines[0].startswith("<eeml xmlns=\"http://www.eeml.org/xsd/0.5.1\"") and 'version="0.5.1"'
              in lines[0], "ligne 1 : %r" % lines[0])
        value = re.fullmatch(r' {7}<value at="\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ">(-?\d+)</value>', lines[4])
        check(value, "ligne 5 : %r" % lines[4])
        check(int(value.group(1)) > 0 and dump["MeasureTable"][8] > 0, "valeur envoyée : %r" % lines[4])


main(test)

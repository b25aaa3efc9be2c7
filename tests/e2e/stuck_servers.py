"""Servers that accept and never answer: an SMTP server and a Cosm server that
hang, during a headless run with a 10-second record period that crosses
23:59 (the clock set with faketime). The record rows and the daily line come
on time, the BDPV report reaches its own (working) server, and each stuck
exchange ends with a message within its bound (the mail with each try)."""

import http.server
import os
import socket
import sys
import threading
import time

from e2e_support import (check, grid, headless, main, scramble, temp_dir, write_alert_always_true, write_config,
                         write_ini)

VIREL = sys.argv[1]
FAKETIME = "/usr/bin/faketime"


def stuck_server():
    """A port that accepts connections and never sends or reads a byte."""
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    s.listen(16)
    held = []

    def accept():
        while True:
            try:
                held.append(s.accept()[0])
            except OSError:
                return

    threading.Thread(target=accept, daemon=True).start()
    return s, s.getsockname()[1]


def bdpv_server(requests):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def do_GET(self):
            requests.append((time.monotonic(), self.path))
            self.send_response(200)
            self.send_header("Content-Length", "2")
            self.end_headers()
            self.wfile.write(b"OK")

        def log_message(self, *args):
            pass

    srv = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=srv.serve_forever, daemon=True).start()
    return srv


def read_lines(path):
    with open(path, "rb") as f:
        return [l for l in f.read().split(b"\r\n") if l]


def test():
    if not os.path.exists(FAKETIME):
        print("SKIP: %s absent (paquet Debian faketime)" % FAKETIME)
        sys.exit(77)
    smtp_sock, smtp_port = stuck_server()
    cosm_sock, cosm_port = stuck_server()
    bdpv_requests = []
    bdpv = bdpv_server(bdpv_requests)
    with temp_dir("stuck") as cfg:
        rec = os.path.join(cfg, "rec")
        os.mkdir(rec)
        datastream = {0: "1", 1: "Compteur 1", 2: "Puissance apparente", 3: "0", 4: "4"}
        write_config(cfg, [("REPERTOIR_ENR", rec), ("PERIODE_ENR", 7)], [
            ("CONFIG_BDPV", [("BDPV actif", 1), ("nom utilisateur", "essai"), ("mot de passe", scramble("mdp")),
                             ("heure envoie BDPV", "2359"), ("compteur production", 2),
                             ("serveur", "127.0.0.1:%d" % bdpv.server_address[1])]),
            ("CONFIG_COSM", [("COSM actif", 1), ("feed", 42), ("key", scramble("cle")), ("Interval envoi", 0),
                             ("TABLEAU VIDE", "NON"), ("serveur", "127.0.0.1:%d" % cosm_port)]),
        ] + grid([datastream], 5))
        write_alert_always_true(cfg, smtp_port)

        # 65 s before midnight: the minute timer ticks at 23:59:55 (daily
        # line, BDPV, Cosm); the stuck mail went out a few seconds after the
        # start. Qt's timers and libcurl run on the monotonic clock, left alone.
        prefix = [FAKETIME, "-f", "@2025-12-31 23:58:55"]
        env = {"FAKETIME_DONT_FAKE_MONOTONIC": "1"}
        start = time.monotonic()
        with headless(VIREL, cfg, 86, ["--simulate"], prefix=prefix, env=env) as run:
            rc, err, dump = run.wait()
        lines = run.lines
        rows = [r for r in read_lines(os.path.join(rec, "enregistrements.csv")) if r[:1].isdigit()]
        daily = read_lines(os.path.join(rec, "2025vireluz.csv"))
    smtp_sock.close()
    cosm_sock.close()
    bdpv.shutdown()

    check(rc == 0, "code %s, stderr %s" % (rc, err))
    # One message per stuck exchange, each within its bound, naming the step
    # (Qt's own warnings about the shifted clock are not messages).
    lines = [(t, m) for t, m in lines if m.startswith("VIRELUZ")]
    mail = [(t, m) for t, m in lines if "Mail" in m]
    cosm = [(t, m) for t, m in lines if "Cosm" in m]
    # The mail waits 10 s for the greeting, then 1 minute before its retry.
    check(1 <= len(mail) <= 2 and len(cosm) == 1 and len(lines) == len(mail) + 1, "messages : %s" % lines)
    check(all("le serveur ne répond pas (délai de 10 s dépassé" in m for _, m in mail), "messages : %s" % mail)
    check(10 <= mail[0][0] <= 25, "message du Mail à %.1f s" % mail[0][0])
    check(len(mail) == 1 or mail[1][0] - mail[0][0] >= 69, "second message du Mail à %.1f s" % mail[-1][0])
    check("délai de 15 s dépassé" in cosm[0][1], "message : %s" % cosm[0][1])
    check(74 <= cosm[0][0] <= 82, "message Cosm à %.1f s" % cosm[0][0])

    # A record row every 10 s, across midnight.
    stamps = [r.decode("cp1252").split(",")[:2] for r in rows]
    check(len(rows) >= 8, "%d lignes d'enregistrement : %s" % (len(rows), stamps))
    secs = []
    for d, t in stamps:
        h, m, s = (int(x) for x in t.split(":"))
        secs.append((0 if d == "31/12/2025" else 86400) + h * 3600 + m * 60 + s)
    gaps = [b - a for a, b in zip(secs, secs[1:])]
    check(all(9 <= g <= 11 for g in gaps), "écarts entre lignes : %s (%s)" % (gaps, stamps))
    check(stamps[0][0] == "31/12/2025" and stamps[-1][0] == "01/01/2026", "dates : %s" % stamps)

    # The daily line at 23:59 and the BDPV report at its minute.
    check(len(daily) == 2 and daily[1].startswith(b"12,31,"), "fichier du jour : %r" % daily)
    check(len(bdpv_requests) == 1 and "DATE=311220252359" in bdpv_requests[0][1], "BDPV : %s" % bdpv_requests)
    check(58 <= bdpv_requests[0][0] - start <= 64, "BDPV à %.1f s" % (bdpv_requests[0][0] - start))


main(test)

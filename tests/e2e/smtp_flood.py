"""An SMTP server that answers MAIL FROM with reply lines without end, during
a headless run with an alert on every frame and PERIODE_ENR=7 (a row every
10 s): the mail ends at the reply's cap with one message per try, the record
rows keep their period (no gap over 11.5 s) and the program's peak memory
(VmHWM) stays under 60 MB."""

import os
import socket
import sys
import threading
import time

from e2e_support import check, check_limit, headless, main, temp_dir, write_alert_always_true, write_config

VIREL = sys.argv[1]
RUN_FOR = 75


def flood_server(stats):
    """Greets, answers EHLO, then sends "250-" lines until the client goes."""
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    s.listen(4)
    line = b"250-" + b"x" * 200 + b"\r\n"
    burst = line * 64

    def serve(conn):
        stats["connections"] += 1
        try:
            conn.sendall(b"220 flood\r\n")
            f = conn.makefile("rb")
            while True:
                command = f.readline()
                if not command:
                    return
                if command[:4].upper() == b"MAIL":
                    while True:
                        conn.sendall(burst)
                        stats["sent"] += len(burst)
                conn.sendall(b"250 flood\r\n")
        except OSError:
            pass
        finally:
            conn.close()

    def accept():
        while True:
            try:
                conn = s.accept()[0]
            except OSError:
                return
            threading.Thread(target=serve, args=(conn,), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    return s, s.getsockname()[1]


def peak_memory(pid, out):
    """VmHWM of the process (kB), read until it ends."""
    while True:
        try:
            with open("/proc/%d/status" % pid) as f:
                for l in f:
                    if l.startswith("VmHWM:"):
                        out["kb"] = int(l.split()[1])
        except OSError:
            return
        time.sleep(0.5)


def test():
    stats = {"connections": 0, "sent": 0}
    smtp_sock, smtp_port = flood_server(stats)
    with temp_dir("flood") as cfg:
        rec = os.path.join(cfg, "rec")
        os.mkdir(rec)
        write_config(cfg, [("REPERTOIR_ENR", rec), ("PERIODE_ENR", 7)])
        write_alert_always_true(cfg, smtp_port)
        memory = {"kb": 0}
        with headless(VIREL, cfg, RUN_FOR, ["--simulate"]) as run:
            watcher = threading.Thread(target=peak_memory, args=(run.proc.pid, memory), daemon=True)
            watcher.start()
            rc, err, dump = run.wait()
            watcher.join(5)
        rows = [r for r in open(os.path.join(rec, "enregistrements.csv"), "rb").read().split(b"\r\n")
                if r[:1].isdigit()]
    smtp_sock.close()

    check(rc == 0, "code %s, stderr %s" % (rc, err))
    mail = [m for _, m in run.lines if "Mail" in m]
    check(1 <= len(mail) <= 2 and len(mail) == len(run.lines), "messages : %s" % run.lines)
    check(all("réponse du serveur trop longue (plus de 64 Kio)" in m for m in mail), "messages : %s" % mail)
    check(stats["connections"] == len(mail), "connexions : %d" % stats["connections"])
    secs = []
    for r in rows:
        h, m, s = (int(x) for x in r.decode("cp1252").split(",")[1].split(":"))
        secs.append(h * 3600 + m * 60 + s)
    gaps = [b - a for a, b in zip(secs, secs[1:])]
    check(len(rows) >= RUN_FOR // 10 - 1, "%d lignes : %s" % (len(rows), secs))
    check(all(g <= 11.5 for g in gaps), "écarts entre lignes : %s" % gaps)
    check_limit(0 < memory["kb"] < 60 * 1024, "VmHWM %d kB" % memory["kb"])
    print("lignes %d, plus grand écart %d s, VmHWM %.1f MB, envoyé par le serveur %d octets"
          % (len(rows), max(gaps), memory["kb"] / 1024.0, stats["sent"]))


main(test)

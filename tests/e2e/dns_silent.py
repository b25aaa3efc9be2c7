"""A name server that never answers: the restart mail to a server known by
name ends with one message naming the name lookup, within its 5-second
bound, and start-up and recording are not held meanwhile. The program runs
in a mount namespace of its own whose /etc/resolv.conf points at a local
socket that swallows every query (needs root; skipped otherwise)."""

import os
import socket
import subprocess
import sys

from e2e_support import check, headless, main, temp_dir, write_config, write_ini

VIREL = sys.argv[1]
SILENT_DNS = "127.77.77.77"


def test():
    if os.geteuid() != 0 or subprocess.run(["unshare", "-m", "true"], capture_output=True).returncode != 0:
        print("SKIP: espace de noms de montage impossible (root requis)")
        sys.exit(77)
    dns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        dns.bind((SILENT_DNS, 53))
    except OSError as e:
        print("SKIP: port 53 de %s indisponible (%s)" % (SILENT_DNS, e))
        sys.exit(77)
    with temp_dir("dns") as cfg:
        rec = os.path.join(cfg, "rec")
        os.mkdir(rec)
        resolv = os.path.join(cfg, "resolv.conf")
        with open(resolv, "w") as f:
            f.write("nameserver %s\noptions timeout:30 attempts:1\n" % SILENT_DNS)
        write_config(cfg, [("REPERTOIR_ENR", rec), ("PERIODE_ENR", 7)])
        write_ini(os.path.join(cfg, "alertes_mails.ini"), [
            ("CONFIG_MAIL", [("ACTIF", 1), ("EMETTEUR", "vireluz@example.org"),
                             ("DESTINATAIRE", "moi@example.org"), ("SMTP", "smtp.sans-reponse.test"),
                             ("PORT SMTP", 25), ("ENTETE", "Alerte"), ("TABLEAU VIDE", "OUI")]),
            ("CONFIG_ALERTE", [("REACTIVATION", 1), ("REDEMARRAGE PC", 1)]),
        ])
        prefix = ["unshare", "-m", "sh", "-c", 'mount --bind "$0" /etc/resolv.conf && exec "$@"', resolv]
        with headless(VIREL, cfg, 12, ["--simulate"], prefix=prefix) as run:
            rc, err, dump = run.wait()
        lines = run.lines
        rows = open(os.path.join(rec, "enregistrements.csv"), "rb").read().split(b"\r\n")[3:]
    dns.close()
    check(rc == 0, "code %s, stderr %s" % (rc, err))
    check(len(lines) == 1, "messages : %s" % lines)
    t, text = lines[0]
    check("résolution du nom du serveur trop longue (délai de 5 s dépassé)" in text, "message : %s" % text)
    check(4.5 <= t <= 7, "message à %.1f s" % t)
    # Reading started at once (the first row falls 10 s after it).
    check(len([r for r in rows if r]) == 1, "lignes : %s" % rows)
    check(dump["meters"][0]["identified"], "compteur 1 non identifié")


main(test)

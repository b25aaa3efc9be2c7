"""Mail alerts from the headless program to a local SMTP server: one rule on
meter 1's apparent power, re-armed after one minute, gives one mail at the
start and one a minute later, no more."""

import email
import email.header
import email.policy
import os
import sys
import time

from aiosmtpd.controller import Controller

from e2e_support import (check, free_port, grid, headless, main, temp_dir, wait_until, write_config,
                         write_ini)

VIREL = sys.argv[1]
HEADER = "entête Mail"


class SaveToFolder:
    """aiosmtpd handler: every message received becomes one file."""

    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        name = os.path.join(self.folder, "%03d-%.3f.eml" % (self.count, time.monotonic()))
        with open(name, "wb") as f:
            f.write(envelope.original_content)
        return "250 OK"


def received(folder):
    return sorted(os.listdir(folder))


def test():
    with temp_dir("alerts") as cfg:
        mails = os.path.join(cfg, "mails")
        os.mkdir(mails)
        port = free_port()
        rule = {0: "Compteur 1", 1: "Puissance apparente", 2: ">", 3: "0", 4: "P=%V VA", 5: "0", 6: "4",
                7: "3", 8: "0", 9: "Après tempo.", 10: " ", 11: "0", 13: "0", 14: "0"}
        write_ini(os.path.join(cfg, "alertes_mails.ini"), [
            ("CONFIG_MAIL", [("ACTIF", 1), ("EMETTEUR", "vireluz@example.org"),
                             ("DESTINATAIRE", "moi@example.org"), ("SMTP", "127.0.0.1"),
                             ("PORT SMTP", port), ("ENTETE", HEADER), ("TABLEAU VIDE", "NON")]),
            ("CONFIG_ALERTE", [("REACTIVATION", 1), ("REDEMARRAGE PC", 0)]),
        ] + grid([rule], 17))
        write_config(cfg)

        controller = Controller(SaveToFolder(mails), hostname="127.0.0.1", port=port)
        controller.start()
        try:
            start = time.monotonic()
            with headless(VIREL, cfg, 85, ["--simulate"]) as run:
                # The second mail comes once the rule has re-armed (60 s after
                # the first) and meter 1 is selected again; a few more seconds
                # show whether more follow.
                wait_until(lambda: len(received(mails)) >= 2 or run.proc.poll() is not None, 80)
                if len(received(mails)) >= 2:
                    time.sleep(6)
                run.stop()
                rc, err, _ = run.wait()
        finally:
            controller.stop()

        names = received(mails)
        times = [float(n[4:-4]) - start for n in names]
        check(rc == 0, "code %s, stderr %s" % (rc, err))
        check(not err, "messages inattendus : %s" % err)
        check(len(names) == 2, "%d mails reçus (attendu 2) à %s s" % (len(names), ["%.1f" % t for t in times]))
        check(times[0] < 15, "premier mail à %.1f s" % times[0])
        check(58 <= times[1] - times[0] <= 75, "mails à %.1f s et %.1f s" % tuple(times))
        for n in names:
            with open(os.path.join(mails, n), "rb") as f:
                msg = email.message_from_binary_file(f, policy=email.policy.default)
            subject = str(email.header.make_header(email.header.decode_header(msg["Subject"])))
            check(subject == HEADER, "sujet : %r" % subject)
            check(msg["X-Priority"] is not None and msg["X-Priority"].startswith("1"),
                  "X-Priority : %r" % msg["X-Priority"])
            body = msg.get_body(("plain",)).get_content().splitlines()
            check(len(body) >= 2 and body[0] == HEADER, "corps : %r" % body)
            words = body[1].split(" ")
            check(len(words) == 2 and words[0].startswith("P=") and words[0][2:].isdigit()
                  and int(words[0][2:]) > 0 and words[1] == "VA", "ligne d'alerte : %r" % body[1])


main(test)

"""The command-line tool vireluz-tic: a simulated stream decoded through a
pipe, a missing input file, and the settings as the program reads them."""

import json
import os
import subprocess
import sys

from e2e_support import check, grid, main, scramble, temp_dir, write_ini

TIC = sys.argv[2]


def simulate_and_decode():
    sim = subprocess.Popen([TIC, "simulate", "--frames", "20"], stdout=subprocess.PIPE)
    dec = subprocess.run([TIC, "decode", "-"], stdin=sim.stdout, capture_output=True, timeout=30)
    sim.stdout.close()
    check(sim.wait(timeout=30) == 0, "simulate : code %s" % sim.returncode)
    check(dec.returncode == 0, "decode : code %s, %s" % (dec.returncode, dec.stderr))
    out = json.loads(dec.stdout)
    m = out["meters"][0]
    check(m["identified"] and m["ADCO"] != "", "compteur non identifié : %s" % m)
    check(out["PacketCount"] == 20 and out["packets"] == 20, "paquets : %s / %s"
          % (out["packets"], out["PacketCount"]))


def missing_file():
    with temp_dir("tools") as d:
        missing = os.path.join(d, "absent.bin")
        r = subprocess.run([TIC, "decode", missing], capture_output=True, timeout=30)
        check(r.returncode == 2, "decode d'un fichier absent : code %s" % r.returncode)
        err = r.stderr.decode("utf-8", "replace").strip()
        check(missing in err and len(err.splitlines()) == 1, "message : %r" % err)
        check(r.stdout == b"", "sortie inattendue : %r" % r.stdout)


def settings():
    with temp_dir("settings") as d:
        write_ini(os.path.join(d, "vireluz_cfg.ini"), [
            ("CONFIG_PRG", [("PERIODE_ENR", 7), ("NOM_CPT1", "Maison été"), ("MODE_TIC_cpt2", 1),
                            ("REPERTOIR_ENR", "/tmp/relevés")]),
            ("CONFIG_BDPV", [("mot de passe", scramble("secret"))]),
            ("CONFIG_COSM", [("COSM actif", 1), ("feed", 123), ("key", scramble("abc")),
                             ("Interval envoi", 2), ("TABLEAU VIDE", "NON")]),
        ] + grid([{0: "1", 1: "Compteur 1", 2: "Puissance apparente", 3: "0", 4: "4"}], 5))
        write_ini(os.path.join(d, "alertes_mails.ini"), [
            ("CONFIG_MAIL", [("ENTETE", "entête Mail"), ("PASSWORD", scramble("pw")), ("PORT SMTP", 2525)]),
        ])
        r = subprocess.run([TIC, "settings", "--config-dir", d], capture_output=True, timeout=30)
        check(r.returncode == 0, "settings : code %s, %s" % (r.returncode, r.stderr))
        s = json.loads(r.stdout)
        prg, cosm = s["CONFIG_PRG"], s["CONFIG_COSM"]
        check(prg["PERIODE_ENR"] == 7 and prg["MODE_TIC_cpt2"] == 1 and prg["NOM_CPT1"] == "Maison été"
              and prg["REPERTOIR_ENR"] == "/tmp/relevés", "CONFIG_PRG : %s" % prg)
        check(prg["NOM_CPT2"] == "Solaire" and prg["CPT_PROD"] == 2, "valeurs par défaut : %s" % prg)
        check(cosm["COSM actif"] == 1 and cosm["feed"] == 123 and cosm["Interval envoi"] == 2,
              "CONFIG_COSM : %s" % cosm)
        check(s["CONFIG_MAIL"]["ENTETE"] == "entête Mail" and s["CONFIG_MAIL"]["PORT SMTP"] == "2525",
              "CONFIG_MAIL : %s" % s["CONFIG_MAIL"])
        check(s["derived"]["RecordPeriodMs"] == 10000 and s["derived"]["CosmIntervalMinutes"] == 5
              and s["derived"]["CosmRowCount"] == 1, "valeurs dérivées : %s" % s["derived"])
        check(s["cosm_table"][0] == ["1", "Compteur 1", "Puissance apparente", "0", "4"],
              "table Cosm : %s" % s["cosm_table"])
        # Secrets are masked unless asked for, and never printed in clear by default.
        check(cosm["key"] == "********" and s["CONFIG_MAIL"]["PASSWORD"] == "********"
              and s["CONFIG_BDPV"]["mot de passe"] == "********", "secrets visibles : %s" % r.stdout)
        for clear in (b"abc", b"secret", b'"pw"'):
            check(clear not in r.stdout, "secret %r en clair dans la sortie" % clear)
        r = subprocess.run([TIC, "settings", "--config-dir", d, "--show-secrets"], capture_output=True,
                           timeout=30)
        s = json.loads(r.stdout)
        check(s["CONFIG_COSM"]["key"] == "abc" and s["CONFIG_MAIL"]["PASSWORD"] == "pw"
              and s["CONFIG_BDPV"]["mot de passe"] == "secret", "secrets décodés : %s" % r.stdout)


def test():
    simulate_and_decode()
    missing_file()
    settings()


main(test)

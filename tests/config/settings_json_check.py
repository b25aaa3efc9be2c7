#!/usr/bin/env python3
"""Checks `vireluz-tic settings` on configuration files written byte by byte."""
import json
import os
import subprocess
import sys
import tempfile

tool = sys.argv[1]
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def scrambled(clear):
    return bytes(b ^ 0x1F for b in clear.encode("cp1252"))


def run(*args):
    return subprocess.run([tool, "settings", *args], capture_output=True)


with tempfile.TemporaryDirectory() as d:
    with open(os.path.join(d, "vireluz_cfg.ini"), "wb") as f:
        f.write(b"[CONFIG_PRG]\r\nPERIODE_ENR=2\r\nNOM_CPT1=Cuisine \xe9t\xe9\r\ngraphe ioupa=1\r\n"
                b"[CONFIG_BDPV]\r\nmot de passe=" + scrambled("secret") + b"\r\nheure envoie BDPV=0730\r\n"
                b"[CONFIG_COSM]\r\nkey=" + scrambled("clef") + b"\r\nTABLEAU VIDE=NON\r\n"
                b"[GENERAL]\r\nCOLCOUNT=5\r\nROWCOUNT=2\r\n[0]\r\n0=1\r\n1=2\r\n[2]\r\n1=Intensit\xe9 Mono\r\n"
                b"[CONFIG_MQTT]\r\nACTIF=1\r\nSERVEUR=ha.local\r\nMOT DE PASSE=" + scrambled("mqttpw") + b"\r\n")
    with open(os.path.join(d, "alertes_mails.ini"), "wb") as f:
        f.write(b"[CONFIG_MAIL]\r\nPASSWORD=" + scrambled("mdp") + b"\r\n")

    r = run("--config-dir", d)
    check(r.returncode == 0, "exit code %d: %s" % (r.returncode, r.stderr))
    j = json.loads(r.stdout.decode("utf-8"))
    check(j["config_dir"] == d + "/", "config_dir " + j["config_dir"])
    check(j["CONFIG_PRG"]["NOM_CPT1"] == "Cuisine été", "cp1252 text in UTF-8")
    check(j["CONFIG_PRG"]["GRAPHE IouPA"] == 1, "key named as in the file")
    check(j["CONFIG_PRG"]["PERIODE_ENR"] == 2, "integer key")
    check(j["CONFIG_MAIL"]["ENTETE"] == "entête Mail", "default header")
    check(j["CONFIG_MAIL"]["PORT SMTP"] == "25", "default port")
    check(j["CONFIG_BDPV"]["mot de passe"] == "********", "hidden password")
    check(j["CONFIG_COSM"]["key"] == "********", "hidden key")
    check(j["CONFIG_MAIL"]["PASSWORD"] == "********", "hidden mail password")
    check(j["CONFIG_MQTT"] == {"ACTIF": 1, "SERVEUR": "ha.local", "PORT": 1883, "UTILISATEUR": "",
                               "MOT DE PASSE": "********", "TLS": 0, "CA": "", "PREFIXE": "vireluz",
                               "DECOUVERTE": 1, "PREFIXE DECOUVERTE": "homeassistant", "PERIODE": 10},
          "MQTT section %s" % j["CONFIG_MQTT"])
    check(j["derived"] == {"RecordPeriodMs": 600000, "CosmIntervalMinutes": 1, "BdpvHour": 7, "BdpvMinute": 30,
                           "CosmRowCount": 2, "AlertRowCount": 1}, "derived %s" % j["derived"])
    check(j["cosm_table"] == [["1", "", "", "", ""], ["2", "", "Intensité Mono", "", ""]], "cosm table")
    check(len(j["alert_table"]) == 1 and len(j["alert_table"][0]) == 17, "alert table")
    check(b"secret" not in r.stdout and b"mqttpw" not in r.stdout, "password printed")

    r = run("--show-secrets", "--config-dir", d)
    j = json.loads(r.stdout.decode("utf-8"))
    check(j["CONFIG_BDPV"]["mot de passe"] == "secret", "shown password")
    check(j["CONFIG_COSM"]["key"] == "clef", "shown key")
    check(j["CONFIG_MAIL"]["PASSWORD"] == "mdp", "shown mail password")
    check(j["CONFIG_MQTT"]["MOT DE PASSE"] == "mqttpw", "shown MQTT password")

r = run("--bogus")
check(r.returncode == 2 and "option inconnue" in r.stderr.decode("utf-8"), "bad option")

# Without --config-dir: the folder of the executable (writable here).
r = run()
check(r.returncode == 0, "default folder run")
check(json.loads(r.stdout)["config_dir"] == os.path.dirname(os.path.realpath(tool)) + "/", "default folder")

for f in failures:
    print("FAIL:", f)
print("settings JSON: %d failed" % len(failures))
sys.exit(1 if failures else 0)

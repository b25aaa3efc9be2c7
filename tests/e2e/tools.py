"""The command-line tool vireluz-tic: a simulated stream decoded through a
pipe, a missing input file, every setting changed from the command line as
its window changes it (and nothing written when a window refuses a value),
and a set-up without a screen: the broker's login given with `settings
--set`, the meter's name typed in UTF-8, the headless program's Home
Assistant discovery reaching a broker that requires that login."""

import contextlib
import json
import os
import pwd
import shutil
import socket
import subprocess
import sys

from e2e_support import check, free_port, grid, headless, main, temp_dir, wait_until, write_ini

try:
    import paho.mqtt.client as paho
except ImportError:
    paho = None

VIREL = sys.argv[1]

TIC = sys.argv[2]
MQTT_PASSWORD = "S3cret pw!"


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


def settings(*args, env=None):
    return subprocess.run([TIC, "settings"] + list(args), capture_output=True, timeout=30,
                          env=dict(os.environ, **(env or {})))


def set_args(values):
    out = []
    for (section, key), value in values.items():
        out += ["--set", "%s.%s=%s" % (section, key, value)]
    return out


def files_of(d):
    return {n: open(os.path.join(d, n), "rb").read() for n in sorted(os.listdir(d)) if n.endswith(".ini")}


def every_key():
    """Every key of both files, the grids' excepted, set in one run: each
    reads back as set; the files keep what no window owns, are Windows-1252
    with CR LF line ends, and hold no secret in clear."""
    with temp_dir("set") as d:
        ca = os.path.join(d, "ca.pem")
        open(ca, "w").close()
        write_ini(os.path.join(d, "vireluz_cfg.ini"), [
            ("CONFIG_PRG", [("NOM_CPT1", "Ancien")]), ("PERSO", [("clé", "valeur")]),
            ("CONFIG_COSM", [("TABLEAU VIDE", "NON")]),
        ] + grid([{0: "42", 1: "Compteur 1", 2: "Puissance apparente", 3: "0", 4: "4"}], 5))
        wanted = {
            ("CONFIG_MAIL", "ACTIF"): 1, ("CONFIG_MAIL", "EMETTEUR"): "moi@example.org",
            ("CONFIG_MAIL", "DESTINATAIRE"): "toi@example.org", ("CONFIG_MAIL", "SMTP"): "smtp.example.org",
            ("CONFIG_MAIL", "PORT SMTP"): "587", ("CONFIG_MAIL", "ENTETE"): "Alerte à la maison",
            ("CONFIG_MAIL", "PASSWORD"): "mot de passe été", ("CONFIG_MAIL", "TLS"): 2,
            ("CONFIG_MAIL", "CA"): ca, ("CONFIG_ALERTE", "REACTIVATION"): "30",
            ("CONFIG_ALERTE", "REDEMARRAGE PC"): 1,
            ("CONFIG_PRG", "PERIODE_ENR"): 7, ("CONFIG_PRG", "MODE_INTERFACE"): 0,
            ("CONFIG_PRG", "MODE_MONO_TRI"): 1, ("CONFIG_PRG", "MODE_MONO_TRI_cpt2"): 1,
            ("CONFIG_PRG", "MODE_TIC_cpt1"): 1, ("CONFIG_PRG", "MODE_TIC_cpt2"): 1,
            ("CONFIG_PRG", "NOM_CPT1"): "Maison été", ("CONFIG_PRG", "NOM_CPT2"): "Toit",
            ("CONFIG_PRG", "REPERTOIR_ENR"): d, ("CONFIG_PRG", "TYPE_NOM_FICHIER"): 1,
            ("CONFIG_PRG", "ENTETE_CSV"): 1, ("CONFIG_PRG", "REDEMARRAGE_AUTOMATIQUE"): 1,
            ("CONFIG_PRG", "FORMAT_DATE"): 1, ("CONFIG_PRG", "PTEC_A_ENREGISTRER"): 1,
            ("CONFIG_PRG", "MODE_ECHELLE_GRAPHE"): 1, ("CONFIG_PRG", "GRAPHE IouPA"): 1,
            ("CONFIG_PRG", "FICHIER_PROD_CSV"): 1, ("CONFIG_PRG", "CPT_PROD"): 1,
            ("CONFIG_BDPV", "BDPV actif"): 1, ("CONFIG_BDPV", "nom utilisateur"): "jean",
            ("CONFIG_BDPV", "mot de passe"): "p@ss w0rd?", ("CONFIG_BDPV", "heure envoie BDPV"): "0730",
            ("CONFIG_BDPV", "compteur production"): 1, ("CONFIG_BDPV", "serveur"): "127.0.0.1:8080",
            ("CONFIG_COSM", "COSM actif"): 1, ("CONFIG_COSM", "feed"): 12345, ("CONFIG_COSM", "key"): "clé-api",
            ("CONFIG_COSM", "Interval envoi"): 3, ("CONFIG_COSM", "serveur"): "localhost",
            ("CONFIG_MQTT", "ACTIF"): 1, ("CONFIG_MQTT", "SERVEUR"): "ha.local", ("CONFIG_MQTT", "PORT"): 8883,
            ("CONFIG_MQTT", "UTILISATEUR"): "vireluz", ("CONFIG_MQTT", "MOT DE PASSE"): MQTT_PASSWORD,
            ("CONFIG_MQTT", "TLS"): 1, ("CONFIG_MQTT", "CA"): ca, ("CONFIG_MQTT", "PREFIXE"): "maison",
            ("CONFIG_MQTT", "DECOUVERTE"): 0, ("CONFIG_MQTT", "PREFIXE DECOUVERTE"): "ha",
            ("CONFIG_MQTT", "PERIODE"): 0,
            ("CONFIG_WEB", "ACTIF"): 1, ("CONFIG_WEB", "ADRESSE"): "0.0.0.0", ("CONFIG_WEB", "PORT"): 8443,
            ("CONFIG_WEB", "UTILISATEUR"): "famille", ("CONFIG_WEB", "MOT DE PASSE"): "page été",
            ("CONFIG_WEB", "CERTIFICAT"): ca, ("CONFIG_WEB", "CLE"): ca,
        }
        # Keys added to the table since (their defaults, which must pass too).
        current = json.loads(settings("--config-dir", d).stdout)
        for section, keys in current.items():
            if section.startswith("CONFIG_"):
                for key, value in keys.items():
                    if key != "TABLEAU VIDE":
                        wanted.setdefault((section, key), value)
        home = os.path.join(d, "home")
        # The time as typed in the window ("07:30"), stored as hhmm.
        typed = dict(wanted)
        typed[("CONFIG_BDPV", "heure envoie BDPV")] = "07:30"
        args = set_args(typed)
        r = settings("--config-dir", d, *args, env={"HOME": home, "XDG_CONFIG_HOME": home})
        check(r.returncode == 0 and r.stderr == b"", "--set : code %s, %s" % (r.returncode, r.stderr.decode()))
        shown = json.loads(r.stdout)
        clear = json.loads(settings("--config-dir", d, "--show-secrets").stdout)
        for (section, key), value in wanted.items():
            check(clear[section][key] == value, "%s.%s = %r, attendu %r" % (section, key, clear[section][key], value))
        for section, key in [("CONFIG_MAIL", "PASSWORD"), ("CONFIG_BDPV", "mot de passe"), ("CONFIG_COSM", "key"),
                             ("CONFIG_MQTT", "MOT DE PASSE"), ("CONFIG_WEB", "MOT DE PASSE")]:
            check(shown[section][key] == "********", "%s.%s affiché : %r" % (section, key, shown[section][key]))
        check(shown["cosm_table"][0][0] == "42", "table Cosm perdue : %s" % shown["cosm_table"])
        check(not os.path.exists(home), "écrit dans le dossier personnel (démarrage automatique ?)")
        cfg = files_of(d)["vireluz_cfg.ini"]
        check("[PERSO]\r\nclé=valeur\r\n".encode("cp1252") in cfg, "section non gérée perdue : %r" % cfg)
        check("NOM_CPT1=Maison été\r\n".encode("cp1252") in cfg, "nom en Windows-1252 : %r" % cfg)
        for data in files_of(d).values():
            check(data.count(b"\n") == data.count(b"\r\n") and data.count(b"\r") == data.count(b"\r\n"),
                  "fins de ligne : %r" % data)
            for secret in (MQTT_PASSWORD, "p@ss w0rd?", "clé-api", "mot de passe été", "page été"):
                check(secret.encode("cp1252") not in data, "secret en clair : %r" % secret)


def refusals():
    """A value a window refuses: its own message, exit 1, no file touched,
    even when other windows' values were fine. Other mistakes: exit 2."""
    with temp_dir("refus") as d:
        write_ini(os.path.join(d, "vireluz_cfg.ini"), [("CONFIG_PRG", [("NOM_CPT1", "Ancien")])])
        before = files_of(d)
        for args, message in [
            (["CONFIG_PRG.NOM_CPT1=Nouveau", "CONFIG_MQTT.PORT=99999"], "Le port doit être un nombre entre 1 et 65535"),
            (["CONFIG_MQTT.PORT=1884", "CONFIG_BDPV.BDPV actif=1"], "Vous devez compléter les deux champs!"),
            (["CONFIG_COSM.COSM actif=1"], "Vous devez compléter FEED & KEY!"),
            (["CONFIG_PRG.PERIODE_ENR=8"], "7 (10 sec en mode 1 compteur !)"),
            (["CONFIG_PRG.FORMAT_DATE=1"], "TYPE_NOM_FICHIER=1"),
            (["CONFIG_WEB.ADRESSE=0.0.0.0"], "ouvrirait la page au réseau sans mot de passe"),
        ]:
            r = settings("--config-dir", d, *sum([["--set", a] for a in args], []))
            err = r.stderr.decode("utf-8")
            check(r.returncode == 1 and message in err and len(err.splitlines()) == 1 and r.stdout == b"",
                  "%s : code %s, %r" % (args, r.returncode, err))
            check(files_of(d) == before, "%s : fichiers modifiés" % args)
        for arg in ["CONFIG_PRG.INCONNU=1", "CONFIG_COSM.TABLEAU VIDE=NON", "GENERAL.ROWCOUNT=3",
                    "CONFIG_PRG.NOM_CPT1=a\nb", "CONFIG_PRG.NOM_CPT1=Maison ☀"]:
            r = settings("--config-dir", d, "--set", arg)
            check(r.returncode == 2 and len(r.stderr.splitlines()) == 1, "%r : code %s" % (arg, r.returncode))
            check(files_of(d) == before, "%r : fichiers modifiés" % arg)


def port_open(port):
    with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), 0.5):
        return True
    return False


def screenless_setup_publishes():
    """A fresh folder set up without a screen: the broker's login with
    `settings --set`, the meter's name typed in UTF-8 as a text editor saves
    it; the headless program's discovery reaches a broker that requires that
    login, with the name as typed."""
    if paho is None or not shutil.which("mosquitto") or not shutil.which("mosquitto_passwd"):
        print("mosquitto ou python3-paho-mqtt absent : publication non vérifiée")
        return
    with temp_dir("broker") as work:
        port = free_port()
        passwd = os.path.join(work, "passwd")
        subprocess.run(["mosquitto_passwd", "-c", "-b", passwd, "vireluz", MQTT_PASSWORD], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        conf = os.path.join(work, "mosquitto.conf")
        with open(conf, "w") as f:
            f.write("user %s\npersistence false\nlistener %d 127.0.0.1\nallow_anonymous false\npassword_file %s\n"
                    % (pwd.getpwuid(os.getuid()).pw_name, port, passwd))
        broker = subprocess.Popen(["mosquitto", "-c", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        sub = paho.Client(client_id="vireluz-e2e-tools-%d" % os.getpid())
        try:
            check(wait_until(lambda: port_open(port), 10, 0.1), "mosquitto ne démarre pas")
            found = []
            sub.username_pw_set("vireluz", MQTT_PASSWORD)
            sub.on_connect = lambda c, u, f, rc: c.subscribe("homeassistant/#")
            sub.on_message = lambda c, u, m: m.payload and found.append(json.loads(m.payload.decode("utf-8")))
            sub.connect("127.0.0.1", port)
            sub.loop_start()

            cfg = os.path.join(work, "cfg")
            os.mkdir(cfg)
            r = settings("--config-dir", cfg, *set_args({
                ("CONFIG_MQTT", "ACTIF"): 1, ("CONFIG_MQTT", "SERVEUR"): "127.0.0.1", ("CONFIG_MQTT", "PORT"): port,
                ("CONFIG_MQTT", "UTILISATEUR"): "vireluz", ("CONFIG_MQTT", "MOT DE PASSE"): MQTT_PASSWORD}))
            check(r.returncode == 0, "--set : %s" % r.stderr.decode())
            with open(os.path.join(cfg, "vireluz_cfg.ini"), "ab") as f:
                f.write("[CONFIG_PRG]\nNOM_CPT1=Maison été\n".encode("utf-8"))
            with headless(VIREL, cfg, 40, ["--simulate=usb1", "--sim-options",
                                           "meter1=historique,base,address:E00000000001"]) as run:
                named = wait_until(lambda: [c["device"]["name"] for c in found if "device" in c], 30)
                run.stop()
                rc, err, _ = run.wait()
            check(named and set(named) == {"Maison été"}, "nom de l'appareil : %r" % (named,))
            check(rc == 0 and err == [], "code %s, messages %s" % (rc, err))
        finally:
            sub.loop_stop()
            broker.terminate()
            broker.wait(10)


def test():
    simulate_and_decode()
    missing_file()
    every_key()
    refusals()
    screenless_setup_publishes()


main(test)

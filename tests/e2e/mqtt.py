"""MQTT publishing of the headless program to a real Mosquitto broker started
here on 127.0.0.1, watched by a real subscriber (paho): Home Assistant
discovery and states of four kinds of meters, availability on a clean stop,
on SIGKILL (last will) and after a broker restart, TLS with a CA made here
(the certificate names "localhost": checked against the name, which is also
the one sent in the handshake, while the connection goes to its address), and
one clear French message for a refused login, a certificate of another CA or
of another name, TLS asked on a plain port and a TLS port reached in clear."""

import contextlib
import json
import os
import pwd
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time

from e2e_support import check, free_port, headless, main, scramble, temp_dir, wait_until, write_config

VIREL = sys.argv[1]

try:
    import paho.mqtt.client as paho
except ImportError:
    paho = None


class Broker:
    """mosquitto with three listeners: plain and anonymous, TLS (certificate
    of the test's CA for localhost), plain with a password file; only the
    first without certificates."""

    def __init__(self, work, certs=None, port=None):
        self.work = work
        self.port, self.tls_port, self.auth_port = port or free_port(), free_port(), free_port()
        self.conf = os.path.join(work, "mosquitto.conf")
        with open(self.conf, "w") as f:
            # As root, mosquitto would switch to its own user, who cannot read the test's folder.
            f.write("user %s\n" % pwd.getpwuid(os.getuid()).pw_name)
            f.write("per_listener_settings true\npersistence false\nlog_dest stderr\n"
                    "listener %d 127.0.0.1\nallow_anonymous true\n" % self.port)
            if certs:
                passwd = os.path.join(work, "passwd")
                open(passwd, "w").close()
                subprocess.run(["mosquitto_passwd", "-b", passwd, "vireluz", "bon-secret"], check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                f.write("listener %d 127.0.0.1\nallow_anonymous true\ncafile %s\ncertfile %s\nkeyfile %s\n"
                        "listener %d 127.0.0.1\nallow_anonymous false\npassword_file %s\n"
                        % (self.tls_port, certs["ca"], certs["cert"], certs["key"], self.auth_port, passwd))
        self.proc = None
        self.start()

    def start(self):
        self.log = open(os.path.join(self.work, "mosquitto.log"), "ab")
        self.proc = subprocess.Popen(["mosquitto", "-c", self.conf], stdout=self.log, stderr=self.log)
        if not wait_until(lambda: port_open(self.port), 10, 0.1):
            with open(os.path.join(self.work, "mosquitto.log"), errors="replace") as f:
                check(False, "mosquitto ne démarre pas : " + f.read()[-2000:])

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)
        self.log.close()


def port_open(port):
    with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), 0.5):
        return True
    return False


class SniProbe:
    """A TLS server with the broker's certificate that notes the server name
    (SNI) each client asks for, completes the handshake and hangs up."""

    def __init__(self, certs):
        self.names = []
        self.ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.ctx.load_cert_chain(certs["cert"], certs["key"])
        self.ctx.sni_callback = lambda sock, name, ctx: self.names.append(name)
        self.sock = socket.create_server(("127.0.0.1", 0))
        self.port = self.sock.getsockname()[1]
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            conn.settimeout(5)
            with contextlib.suppress(OSError), self.ctx.wrap_socket(conn, server_side=True):
                pass
            conn.close()

    def close(self):
        self.sock.close()


def make_certs(d):
    """A CA and a server certificate for the name localhost signed by it; a
    second, unrelated CA."""
    def run(*args):
        subprocess.run(["openssl"] + list(args), check=True, cwd=d, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    for ca in ("ca", "other_ca"):
        run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=VIRELUZ test " + ca,
            "-keyout", ca + ".key", "-out", ca + ".pem")
    run("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout", "server.key", "-out",
        "server.csr")
    with open(os.path.join(d, "san.ext"), "w") as f:
        f.write("subjectAltName=DNS:localhost\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-days", "2",
        "-extfile", "san.ext", "-out", "server.pem")
    return {"ca": os.path.join(d, "ca.pem"), "other_ca": os.path.join(d, "other_ca.pem"),
            "cert": os.path.join(d, "server.pem"), "key": os.path.join(d, "server.key")}


class Subscriber:
    """Every message of the broker (topic "#"), in arrival order; the client
    reconnects by itself when the broker comes back."""

    def __init__(self, port):
        self.messages = []  # (time, topic, payload text, retained)
        self.lock = threading.Lock()
        self.client = paho.Client(client_id="vireluz-e2e-sub-%d" % os.getpid())
        self.client.on_connect = lambda c, u, f, rc: c.subscribe("#", qos=1)
        self.client.on_message = self._on_message
        self.client.reconnect_delay_set(0.2, 1)
        self.client.connect("127.0.0.1", port)
        self.client.loop_start()

    def _on_message(self, client, userdata, msg):
        with self.lock:
            self.messages.append((time.monotonic(), msg.topic, msg.payload.decode("utf-8"), msg.retain))

    def all(self):
        with self.lock:
            return list(self.messages)

    def last(self, topic, since=0.0):
        found = [p for t, top, p, _ in self.all() if top == topic and t >= since]
        return found[-1] if found else None

    def close(self):
        self.client.loop_stop()
        self.client.disconnect()


def configure(cfg, broker_port, prg=(), mqtt=()):
    items = dict([("ACTIF", 1), ("SERVEUR", "127.0.0.1"), ("PORT", broker_port), ("PERIODE", 0)] + list(mqtt))
    write_config(cfg, prg=prg, extra_sections=[("CONFIG_MQTT", list(items.items()))])


def index_wh(text):
    """Wh of an index as the decoder stores it: 9 Wh digits, or kWh with three decimals."""
    if "," in text or "." in text:
        whole, frac = text.replace(",", ".").split(".")
        check(len(frac) == 3, "index %r" % text)
        return int(whole) * 1000 + int(frac)
    return int(text)


def expected_state(dump, meter, standard):
    """The values of the dump (the document `vireluz-tic decode` prints) as
    the state message carries them."""
    m = dump["meters"][meter - 1]
    keys = {0: ["HCHP", "HCHC"], 1: ["BASE"], 2: ["EJPHN", "EJPHPM"],
            3: ["BBRHCJB", "BBRHPJB", "BBRHCJW", "BBRHPJW", "BBRHCJR", "BBRHPJR"]}
    out = {}
    if m["tariff_kind"] == 4:
        out["EASF01"] = index_wh(m["BASE"])
        out["EAIT"] = int(m["EAIT"])
    else:
        for k in keys[m["tariff_kind"]]:
            out[k] = index_wh(m[k])
    out["PAPP"] = int(m["PAPP"])
    if m["phase_mode"] == 1:
        for k in ("IINST1", "IINST2", "IINST3"):
            out[k] = int(m[k])
    else:
        out["IINST"] = int(m["IINST"])
    out["ISOUSC"] = int(m["ISOUSC"])
    if standard:
        out["URMS1"] = int(m["URMS1"])
        out["PERIODE"] = dump["fields"]["Edit_ptec" if meter == 1 else "Edit_ptec_cpt2"]["text"].strip()
    else:
        out["PERIODE"] = m["PTEC"].rstrip(".")
    if m["tariff_kind"] == 3 and not standard:
        out["DEMAIN"] = m["DEMAIN"] or None
    out["adresse"] = m["ADCO"]
    return out


ENERGY = {"device_class": "energy", "state_class": "total_increasing", "unit_of_measurement": "Wh"}
POWER = {"device_class": "apparent_power", "state_class": "measurement", "unit_of_measurement": "VA"}
CURRENT = {"device_class": "current", "state_class": "measurement", "unit_of_measurement": "A"}


def check_discovery(sub, address, name, sensors):
    """The device config of one meter: at least `sensors` (key -> expected
    fields; the newer values are checked by mqtt_discovery.py), each complete
    and pointing at the meter's topics and device."""
    payload = sub.last("homeassistant/device/vireluz_%s/config" % address)
    check(payload, "%s : pas de configuration d'appareil" % address)
    c = json.loads(payload)
    found = c["cmps"]
    check(set(found) >= {k.lower() for k in sensors},
          "%s : capteurs découverts %s, attendus %s" % (address, sorted(found), sorted(sensors)))
    check(c["state_topic"] == "vireluz/%s/state" % address, "%s : state_topic %s" % (address, c["state_topic"]))
    check(c["availability_topic"] == "vireluz/%s/availability" % address, "%s : availability" % address)
    check(c["device"]["identifiers"] == ["vireluz_" + address] and c["device"]["name"] == name,
          "%s : appareil %s" % (address, c["device"]))
    for key, fields in sensors.items():
        e = found[key.lower()]
        for f in ("platform", "name", "unique_id", "value_template"):
            check(e.get(f), "%s/%s : champ %s absent : %s" % (address, key, f, e))
        check(key in e["value_template"], "%s : value_template %s" % (key, e["value_template"]))
        for f, v in fields.items():
            check(e.get(f) == v, "%s/%s : %s = %r, attendu %r" % (address, key, f, e.get(f), v))
    return [e["unique_id"] for e in found.values()]


def test():
    if paho is None or not shutil.which("mosquitto") or not shutil.which("openssl"):
        print("mosquitto, openssl ou python3-paho-mqtt absent : test ignoré")
        sys.exit(77)
    with temp_dir("mqtt") as work:
        certs = make_certs(work)
        broker = Broker(work, certs)
        sub = Subscriber(broker.port)
        try:
            run_meters_tls_and_refusals(work, broker, sub, certs)
            run_restart_and_kill(work, broker, sub)
        finally:
            sub.close()
            broker.stop()


def run_meters_tls_and_refusals(work, broker, sub, certs):
    probe = SniProbe(certs)
    tls = [("TLS", 1), ("CA", certs["ca"])]
    # name: (port, [CONFIG_MQTT items], simulated meters)
    runs_def = {
        # A: historic HC meter + standard producer. B: historic Tempo + standard three-phase.
        "a": (broker.port, [], "meter1=historique,hc,address:A00000000001 meter2=standard,prod,address:A00000000002"),
        "b": (broker.port, [], "meter1=historique,tempo,address:B00000000001 meter2=standard,tri,base,address:B00000000002"),
        "tls": (broker.tls_port, tls + [("SERVEUR", "localhost")], "meter1=historique,base,address:T00000000001"),
        "badca": (broker.tls_port, [("TLS", 1), ("CA", certs["other_ca"]), ("SERVEUR", "localhost")],
                  "meter1=historique,base,address:T00000000002"),
        "badname": (broker.tls_port, tls, "meter1=historique,base,address:T00000000003"),
        "plain": (broker.port, tls, "meter1=historique,base,address:T00000000004"),
        "clear": (broker.tls_port, [], "meter1=historique,base,address:T00000000006"),
        "sni": (probe.port, tls + [("SERVEUR", "localhost")], "meter1=historique,base,address:T00000000005"),
        "badpw": (broker.auth_port, [("UTILISATEUR", "vireluz"), ("MOT DE PASSE", scramble("mauvais"))],
                  "meter1=historique,base,address:P00000000001"),
    }
    with contextlib.ExitStack() as stack:
        runs = {}
        for name, (port, mqtt, opts) in runs_def.items():
            d = os.path.join(work, name)
            os.mkdir(d)
            prg = {"a": [("MODE_TIC_cpt2", 1), ("NOM_CPT1", "Maison"), ("NOM_CPT2", "Toit")],
                   "b": [("MODE_TIC_cpt2", 1), ("MODE_MONO_TRI_cpt2", 1)]}.get(name, [])
            configure(d, port, prg=prg, mqtt=mqtt)
            kind = "--simulate" if name in ("a", "b") else "--simulate=usb1"
            runs[name] = stack.enter_context(headless(VIREL, d, 40, [kind, "--sim-options", opts]))
        addresses = ["A00000000001", "A00000000002", "B00000000001", "B00000000002", "T00000000001"]
        wait_until(lambda: all(sub.last("vireluz/%s/state" % a) for a in addresses), 30)
        time.sleep(2)
        for r in runs.values():
            r.stop()
        results = {name: r.wait() for name, r in runs.items()}
    probe.close()

    # Both meters of A and B: discovery complete, last state = decoded values.
    uids = []
    uids += check_discovery(sub, "A00000000001", "Maison", {
        "HCHP": ENERGY, "HCHC": ENERGY, "PAPP": POWER, "IINST": CURRENT, "ISOUSC": {"unit_of_measurement": "A"},
        "PERIODE": {"device_class": "enum"}})
    uids += check_discovery(sub, "A00000000002", "Toit", {
        "EASF01": ENERGY, "EAIT": ENERGY, "PAPP": POWER, "IINST": CURRENT, "URMS1": {"unit_of_measurement": "V"},
        "ISOUSC": {"unit_of_measurement": "kVA"}, "PERIODE": {}})
    uids += check_discovery(sub, "B00000000001", "EDF", dict(
        {k: ENERGY for k in ("BBRHCJB", "BBRHPJB", "BBRHCJW", "BBRHPJW", "BBRHCJR", "BBRHPJR")},
        PAPP=POWER, IINST=CURRENT, ISOUSC={}, PERIODE={"device_class": "enum"},
        DEMAIN={"device_class": "enum", "options": ["Bleu", "Blanc", "Rouge"]}))
    uids += check_discovery(sub, "B00000000002", "Solaire", {
        "BASE": ENERGY, "PAPP": POWER, "IINST1": CURRENT, "IINST2": CURRENT, "IINST3": CURRENT,
        "URMS1": {"device_class": "voltage", "unit_of_measurement": "V"}, "ISOUSC": {}, "PERIODE": {}})
    check(len(uids) == len(set(uids)), "unique_id en double : %s" % uids)
    for name, meters in (("a", ("A00000000001", "A00000000002")), ("b", ("B00000000001", "B00000000002"))):
        rc, err, dump = results[name]
        check(rc == 0 and not err, "%s : code %s, stderr %s" % (name, rc, err))
        for meter, address in enumerate(meters, start=1):
            state = json.loads(sub.last("vireluz/%s/state" % address))
            want = expected_state(dump, meter, standard=meter == 2)
            got = {k: state.get(k) for k in want}
            check(got == want, "%s : état publié %s, décodé %s" % (address, got, want))
            check(state["simule"] is True, "%s : non marqué simulé" % address)
            # Reading stopped with the program: the meter is offline.
            check(sub.last("vireluz/%s/availability" % address) == "offline", "%s pas hors ligne" % address)

    # TLS with the test's CA, to the name the certificate bears, works; the
    # server name sent is that name. Each refusal is one French message naming
    # its cause, not one per retry.
    rc, err, _ = results["tls"]
    check(rc == 0 and not err, "TLS : code %s, stderr %s" % (rc, err))
    check(sub.last("vireluz/T00000000001/state"), "TLS : aucun état reçu")
    check(probe.names and set(probe.names) == {"localhost"}, "SNI : %s" % probe.names)
    for name, cause in (("badca", "certificat signé par une autorité inconnue"),
                        ("badname", "certificat établi pour un autre nom que « 127.0.0.1 »"),
                        ("plain", "il ne répond pas en TLS sur ce port"),
                        ("clear", "a fermé la connexion sans l'accepter : s'il attend TLS sur ce port, cochez TLS"),
                        ("badpw", "nom d'utilisateur ou mot de passe incorrect")):
        rc, err, _ = results[name]
        check(len(err) == 1 and cause in err[0], "%s : messages %s" % (name, err))
    for a in ("T00000000002", "T00000000003", "T00000000004", "T00000000006", "P00000000001"):
        check(sub.last("vireluz/%s/state" % a) is None, "%s : état publié sans connexion valable" % a)


def run_restart_and_kill(work, broker, sub):
    cfg = os.path.join(work, "c")
    os.mkdir(cfg)
    configure(cfg, broker.port, mqtt=[("PERIODE", 1)])
    topic = "vireluz/C00000000001/"
    with headless(VIREL, cfg, 60, ["--simulate=usb1", "--sim-options", "meter1=historique,hc,address:C00000000001"]) \
            as run:
        check(wait_until(lambda: sub.last(topic + "state"), 20), "C : aucun état")
        # The broker goes away and comes back (without its retained messages).
        broker.stop()
        time.sleep(2)
        restarted = time.monotonic()
        broker.start()
        check(wait_until(lambda: sub.last(topic + "availability", restarted) == "online"
                         and sub.last(topic + "state", restarted), 20), "C : pas de reconnexion")
        # Killed outright: the broker sends the last will.
        killed = time.monotonic()
        os.killpg(run.proc.pid, signal.SIGKILL)
        check(wait_until(lambda: sub.last(topic + "availability", killed) == "offline", 10),
              "C : dernière volonté non reçue après SIGKILL")
        run.proc.wait()
        # While the broker was down, a retry may have failed: said once at most, in French.
        err = [t for _, t in run.lines]
        check(len(err) <= 1 and all("Connexion impossible" in t and "aucun serveur n'écoute sur ce port" in t
                                    and "Connection refused" not in t for t in err), "C : messages %s" % err)


if __name__ == "__main__":
    main(test)

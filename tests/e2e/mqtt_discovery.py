"""Home Assistant discovery of the headless program on the simulated
interface, against a real Mosquitto broker started here on 127.0.0.1 and a
real subscriber (paho), with the value templates rendered by jinja2 as Home
Assistant renders them:
- one device config per meter with its components under "cmps", an origin,
  no "object_id" anywhere; a UTF-8 device name kept;
- the one-entity configs of earlier versions, left on the broker, handed over
  to the device config and cleared;
- Home Assistant's "online" on its status topic brings the configs again
  within 5 s;
- every template renders a number (or one of its options) against the state
  really published;
- a meter whose digits swap now and then (the checksum cannot see it) never
  publishes an index lower than the one before or risen faster than its
  power allows, and its rejected-values sensor counts them, while a clean
  meter's stays at 0; a replaced meter's new low index is published within a
  minute;
- a standard Tempo meter publishes tomorrow's colour; a three-phase standard
  meter its three voltages, three apparent powers and its power in W;
- two runs publishing the same meter say so once and stop fighting."""

import contextlib
import json
import os
import pwd
import shutil
import subprocess
import sys
import threading
import time

from e2e_support import check, free_port, headless, main, temp_dir, wait_until, write_config

VIREL = sys.argv[1]

try:
    import jinja2
    import paho.mqtt.client as paho
except ImportError:
    paho = None

PREFIX = "homeassistant/"
FAKETIME = "/usr/bin/faketime"
MIGRATE = {"migrate_discovery": True}


class Broker:
    """mosquitto on one plain, anonymous listener; its log says when it
    closes a connection for another one with the same client id."""

    def __init__(self, work):
        self.port = free_port()
        self.log_path = os.path.join(work, "mosquitto.log")
        conf = os.path.join(work, "mosquitto.conf")
        with open(conf, "w") as f:
            # As root, mosquitto would switch to its own user, who cannot read the test's folder.
            f.write("user %s\npersistence false\nlog_dest stderr\nlog_type all\nlistener %d 127.0.0.1\n"
                    "allow_anonymous true\n" % (pwd.getpwuid(os.getuid()).pw_name, self.port))
        self.log = open(self.log_path, "wb")
        self.proc = subprocess.Popen(["mosquitto", "-c", conf], stdout=self.log, stderr=self.log)

    def takeovers(self, client_id):
        with open(self.log_path, errors="replace") as f:
            return sum(1 for line in f if client_id in line and "already connected" in line)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)
        self.log.close()


class Subscriber:
    """Every message of the broker (topic "#"), in arrival order."""

    def __init__(self, port, name):
        self.messages = []  # (time, topic, payload text, retained)
        self.lock = threading.Lock()
        self.subscribed = threading.Event()
        self.client = paho.Client(client_id="vireluz-e2e-%s-%d" % (name, os.getpid()))
        self.client.on_connect = lambda c, u, f, rc: c.subscribe("#", qos=1)
        self.client.on_subscribe = lambda c, u, mid, q: self.subscribed.set()
        self.client.on_message = self._on_message
        self.client.connect("127.0.0.1", port)
        self.client.loop_start()
        check(self.subscribed.wait(10), "abonné MQTT non connecté")

    def _on_message(self, client, userdata, msg):
        with self.lock:
            self.messages.append((time.monotonic(), msg.topic, msg.payload.decode("utf-8"), msg.retain))

    def all(self, topic=None, since=0.0):
        with self.lock:
            return [m for m in self.messages if (topic is None or m[1] == topic) and m[0] >= since]

    def last(self, topic, since=0.0):
        found = self.all(topic, since)
        return found[-1][2] if found else None

    def publish(self, topic, payload, retain):
        self.client.publish(topic, payload, qos=1, retain=retain).wait_for_publish()

    def close(self):
        self.client.loop_stop()
        self.client.disconnect()


def configure(cfg, broker, prg=()):
    mqtt = [("ACTIF", 1), ("SERVEUR", "127.0.0.1"), ("PORT", broker.port), ("PERIODE", 0)]
    write_config(cfg, prg=prg, extra_sections=[("CONFIG_MQTT", mqtt)])


def config_topic(address):
    return PREFIX + "device/vireluz_%s/config" % address


def old_configs(address, name):
    """The one-entity configs that earlier versions published for a historic
    BASE meter, topic -> payload."""
    sensors = {"BASE": ("Index base", {"device_class": "energy", "state_class": "total_increasing",
                                       "unit_of_measurement": "Wh"}),
               "PAPP": ("Puissance apparente", {"device_class": "apparent_power", "state_class": "measurement",
                                                "unit_of_measurement": "VA"}),
               "IINST": ("Intensité", {"device_class": "current", "state_class": "measurement",
                                       "unit_of_measurement": "A"}),
               "ISOUSC": ("Intensité souscrite", {"device_class": "current", "unit_of_measurement": "A"}),
               "PERIODE": ("Période tarifaire", {"device_class": "enum"})}
    out = {}
    for key, (label, fields) in sensors.items():
        uid = "vireluz_%s_%s" % (address, key.lower())
        c = {"name": label, "unique_id": uid, "object_id": uid, "state_topic": "vireluz/%s/state" % address,
             "availability_topic": "vireluz/%s/availability" % address, "payload_available": "online",
             "payload_not_available": "offline", "value_template": "{{ value_json.%s }}" % key,
             "device": {"identifiers": ["vireluz_" + address], "name": name, "manufacturer": "VIRELUZ",
                        "model": "Compteur TIC historique (simulé)", "serial_number": address},
             "origin": {"name": "VIRELUZ"}}
        c.update(fields)
        out[PREFIX + "sensor/vireluz_%s/%s/config" % (address, key.lower())] = json.dumps(c)
    return out


def render(template, state_text):
    """A value template rendered as Home Assistant renders it."""
    return jinja2.Environment().from_string(template).render(value_json=json.loads(state_text), value=state_text)


def check_templates(sub, address):
    """Every component's template, against the last state of the meter: a
    number for a sensor with a unit or a state class, one of its options for
    an enum, its "on" or "off" payload for a binary sensor, a text otherwise."""
    config = json.loads(sub.last(config_topic(address)))
    state = sub.last("vireluz/%s/state" % address)
    check(state, "%s : aucun état" % address)
    for cid, c in config["cmps"].items():
        out = render(c["value_template"], state)
        where = "%s/%s : %r rendu %r" % (address, cid, c["value_template"], out)
        if c["platform"] == "binary_sensor":
            check(out in (c["payload_on"], c["payload_off"]), where)
        elif c.get("device_class") == "enum":
            check(out in c["options"], where + ", options %s" % c["options"])
        elif "unit_of_measurement" in c or "state_class" in c:
            try:
                float(out)
            except ValueError:
                check(False, where + " : pas un nombre")
        else:
            check(out not in ("", "None"), where)
    return config


def test():
    if paho is None or not shutil.which("mosquitto") or not os.path.exists(FAKETIME):
        print("mosquitto, faketime, python3-paho-mqtt ou python3-jinja2 absent : test ignoré")
        sys.exit(77)
    with temp_dir("mqtt_discovery") as work:
        broker = Broker(work)
        sub = None
        try:
            check(wait_until(lambda: os.path.getsize(broker.log_path) > 0, 10, 0.1), "mosquitto ne démarre pas")
            time.sleep(0.3)
            sub = Subscriber(broker.port, "sub")
            run_all(work, broker, sub)
        finally:
            if sub:
                sub.close()
            broker.stop()


def run_all(work, broker, sub):
    dirs = {}
    for name in ("main", "tempo", "replaced", "twin1", "twin2"):
        dirs[name] = os.path.join(work, name)
        os.mkdir(dirs[name])
    # An earlier version left its one-entity configs of meter E1 on the broker.
    old = old_configs("E00000000001", "Maison été")
    for topic, payload in old.items():
        sub.publish(topic, payload, retain=True)
    configure(dirs["main"], broker, prg=[("NOM_CPT1", "Maison été"), ("MODE_TIC_cpt2", 1),
                                         ("MODE_MONO_TRI_cpt2", 1)])
    configure(dirs["tempo"], broker, prg=[("MODE_TIC_cpt1", 1)])
    for name in ("replaced", "twin1", "twin2"):
        configure(dirs[name], broker)
    usb1 = lambda words: ["--simulate=usb1", "--sim-options", "meter1=" + words]
    # Tomorrow's Tempo colour is announced from 11:00: that run's clock starts at noon (the
    # timers run on the monotonic clock, left alone); it ends by itself, as faketime would
    # not pass a signal on.
    noon = ([FAKETIME, "-f", "@2026-01-15 12:00:00"], {"FAKETIME_DONT_FAKE_MONOTONIC": "1"})
    with contextlib.ExitStack() as stack:
        start = lambda name, run_for, args, prefix=(), env=None: stack.enter_context(
            headless(VIREL, dirs[name], run_for, args, prefix=prefix, env=env))
        runs = {"main": start("main", 100, [
            "--simulate", "--sim-options", "meter1=historique,base,swap:0.3,address:E00000000001 "
            "meter2=standard,tri,base,address:E00000000002"])}
        runs["tempo"] = start("tempo", 30, usb1("standard,tempo,address:E00000000003"), *noon)
        runs["replaced"] = start("replaced", 100, usb1("historique,hc,replaced:20,address:E00000000004"))
        runs["twin1"] = start("twin1", 40, usb1("historique,base,address:D00000000001"))
        time.sleep(3)
        runs["twin2"] = start("twin2", 40, usb1("historique,base,address:D00000000001"))

        addresses = ("E00000000001", "E00000000002")
        check(wait_until(lambda: all(sub.last(config_topic(a)) and sub.last("vireluz/%s/state" % a)
                                     for a in addresses), 30), "configurations d'appareil absentes")
        time.sleep(2)
        check_device_configs(sub, addresses)
        check_hand_over(sub, old)
        check_birth(sub, addresses)
        check_twins(broker, sub, runs)
        check_tempo(sub, "E00000000003")
        check_replaced(sub, "E00000000004", runs["replaced"])
        # The power in W needs a minute of indexes.
        check(wait_until(lambda: all(json.loads(sub.last("vireluz/%s/state" % a))["P_SOUTIREE"] is not None
                                     for a in addresses), 90), "pas de puissance en W")
        for a in addresses:
            check_templates(sub, a)
        check_three_phases(sub, "E00000000002")
        check_filtered_indexes(sub, "E00000000001", "E00000000002")
        for name, r in runs.items():
            if name != "tempo":  # it ends by itself
                r.stop()
        results = {name: r.wait() for name, r in runs.items()}
    for name in ("main", "tempo", "replaced"):
        rc, err, _ = results[name]
        check(rc == 0 and not err, "%s : code %s, stderr %s" % (name, rc, err))
    check_broker_left_clean(broker)


def states(sub, address):
    """Every state of a meter, in arrival order: (arrival time, document)."""
    return [(t, json.loads(p)) for t, _, p, _ in sub.all("vireluz/%s/state" % address)]


def check_filtered_indexes(sub, swapped, clean):
    """No published index lower than the one before, nor risen faster than
    twice the subscribed power allows (with 2 s for the delivery); the
    swapped meter's rejected values counted, the clean one's none."""
    seen = states(sub, swapped)
    check(len(seen) > 20, "%s : %d états" % (swapped, len(seen)))
    faults = []
    for (t0, a), (t1, b) in zip(seen, seen[1:]):
        if a["BASE"] is None or b["BASE"] is None:
            continue
        most = 2 * b["ISOUSC"] * 230 * (t1 - t0 + 2) / 3600 + 1
        if b["BASE"] < a["BASE"] or b["BASE"] - a["BASE"] > most:
            faults.append("%d -> %d en %.1f s" % (a["BASE"], b["BASE"], t1 - t0))
    check(not faults, "%s : index publiés %s" % (swapped, faults[:5]))
    check(seen[-1][1]["rejets"] > 0, "%s : aucune valeur rejetée" % swapped)
    check(states(sub, clean)[-1][1]["rejets"] == 0, "%s : valeurs rejetées %s" % (clean, states(sub, clean)[-1]))


def check_replaced(sub, address, run):
    """The meter is replaced 20 s after its first frame: the new low index
    is published within a minute of that."""
    def dropped():
        last = None
        for t, st in states(sub, address):
            if st["HCHP"] is None:
                continue
            if last is not None and st["HCHP"] < last:
                return t
            last = st["HCHP"]
        return None
    check(wait_until(dropped, 85), "%s : nouvel index non publié" % address)
    check(dropped() - run.start < 20 + 60 + 5, "%s : nouvel index publié après %.0f s" % (address,
                                                                                          dropped() - run.start))


def check_tempo(sub, address):
    check(wait_until(lambda: sub.last("vireluz/%s/state" % address), 20), "%s : aucun état" % address)
    check(wait_until(lambda: json.loads(sub.last("vireluz/%s/state" % address))["DEMAIN"] in
                     ("Bleu", "Blanc", "Rouge"), 15), "%s : couleur du lendemain absente : %s"
          % (address, sub.last("vireluz/%s/state" % address)))
    config = json.loads(sub.last(config_topic(address)))
    for cid in ("demain", "aujourdhui"):
        check(config["cmps"][cid]["options"] == ["Bleu", "Blanc", "Rouge"], "%s : %s" % (address, cid))


def check_three_phases(sub, address):
    config = json.loads(sub.last(config_topic(address)))["cmps"]
    state = json.loads(sub.last("vireluz/%s/state" % address))
    for n in (1, 2, 3):
        for key, unit in (("urms%d" % n, "V"), ("sinsts%d" % n, "VA")):
            check(config[key]["unit_of_measurement"] == unit and state[key.upper()] is not None,
                  "%s : %s %s" % (address, key, config.get(key)))
    w = config["p_soutiree"]
    check(w["device_class"] == "power" and w["unit_of_measurement"] == "W", "%s : puissance %s" % (address, w))


def check_device_configs(sub, addresses):
    for address in addresses:
        config = json.loads(sub.last(config_topic(address)))
        check(config["origin"]["name"] == "VIRELUZ" and config["origin"].get("sw_version"),
              "%s : origine %s" % (address, config["origin"]))
        for cid, c in config["cmps"].items():
            check(c["unique_id"] == "vireluz_%s_%s" % (address, cid), "%s : unique_id %s" % (cid, c["unique_id"]))
            check(c["default_entity_id"] == "%s.vireluz_%s_%s" % (c["platform"], address.lower(), cid),
                  "%s : default_entity_id %s" % (cid, c["default_entity_id"]))
    name = json.loads(sub.last(config_topic("E00000000001")))["device"]["name"]
    check(name == "Maison été", "nom de l'appareil %r" % name)
    for _, topic, payload, _ in sub.all():
        check("object_id" not in payload or topic in old_configs("E00000000001", "Maison été"),
              "object_id dans %s : %s" % (topic, payload))


def check_hand_over(sub, old):
    """Each old config: the hand-over marker, then the device config, then
    an empty payload; the device keeps each old unique_id under the old
    object id, and its topic carries the old node id, so that Home Assistant
    finds the same entities."""
    device = sub.all(config_topic("E00000000001"))
    config = json.loads(device[-1][2])
    for topic, payload in old.items():
        seen = [(t, p) for t, top, p, _ in sub.all(topic)]
        markers = [t for t, p in seen if p and json.loads(p) == MIGRATE]
        cleared = [t for t, p in seen if p == ""]
        check(markers and cleared and markers[0] < device[-1][0] < cleared[-1],
              "%s : passage de relais %s" % (topic, [(round(t, 2), p[:30]) for t, p in seen]))
        check(seen[-1][1] == "", "%s : non effacé" % topic)
        node, cid = topic.split("/")[2:4]
        check(node == config_topic("E00000000001").split("/")[2], "%s : identifiant de nœud" % topic)
        check(config["cmps"][cid]["unique_id"] == json.loads(payload)["unique_id"], "%s : unique_id" % topic)


def check_birth(sub, addresses):
    """Home Assistant publishes "online" on its status topic when it starts:
    the configs come again within 5 s."""
    sent = time.monotonic()
    sub.publish(PREFIX + "status", "online", retain=False)
    check(wait_until(lambda: all(sub.last(config_topic(a), sent) and
                                 sub.last("vireluz/%s/availability" % a, sent) == "online" for a in addresses),
                     5, 0.1), "configurations non republiées après « online »")


def check_twins(broker, sub, runs):
    """Two runs with one meter address: one says so, once, and stops; the
    broker stops closing connections and the other one keeps publishing."""
    said = lambda: [(name, t) for name in ("twin1", "twin2") for _, t in runs[name].lines]
    check(wait_until(lambda: said(), 25), "deux programmes pour un compteur : rien n'est dit")
    takeovers = broker.takeovers("vireluz-D00000000001")
    since = time.monotonic()
    time.sleep(8)
    check(broker.takeovers("vireluz-D00000000001") == takeovers,
          "les deux programmes se disputent encore la connexion")
    check(sub.last("vireluz/D00000000001/state", since), "le compteur D00000000001 n'est plus publié")
    lines = said()
    check(len(lines) == 1 and "D00000000001" in lines[0][1] and "même identifiant" in lines[0][1],
          "messages %s" % lines)


def check_broker_left_clean(broker):
    """What a Home Assistant starting now would read: retained device
    configs, nothing left on the old topics, no object_id."""
    later = Subscriber(broker.port, "later")
    time.sleep(1)
    retained = [(topic, payload) for _, topic, payload, r in later.all() if r and topic.startswith(PREFIX)]
    later.close()
    topics = sorted(t for t, _ in retained)
    check(topics == sorted(config_topic(a) for a in ("E00000000001", "E00000000002", "E00000000003",
                                                     "E00000000004", "D00000000001")),
          "configurations retenues : %s" % topics)
    check(all("object_id" not in p for _, p in retained), "object_id encore retenu")


if __name__ == "__main__":
    main(test)

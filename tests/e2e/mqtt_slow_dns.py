"""The MQTT broker known by a name that the name server answers only after
3 s, and started only 12 s after the programs, so that they look the name up
and retry while they record. The headless runner records every 10 s (the
fastest period) without a gap longer than 11.5 s, and both it and the
windowed program (offscreen), run alongside, publish the Home Assistant
discovery once the broker is there. The stall probe (stall_probe.cpp, loaded
with LD_PRELOAD, VIRELUZ_STALL_PROBE) lists every time their event loop was
held: after start-up, never for long (a lookup made on the loop would hold it
3 s). Each program runs in a mount namespace of its own whose
/etc/resolv.conf points at a local name server made here (needs root;
skipped otherwise)."""

import contextlib
import os
import shutil
import socket
import subprocess
import sys
import threading
import time

from e2e_support import check, check_limit, free_port, headless, main, temp_dir, write_config
from mqtt import Broker, Subscriber, paho

VIREL = sys.argv[1]
SLOW_DNS = "127.77.77.78"
NAME = "mqtt.lent.test"
DELAY_S = 3.0
BROKER_LATE_S = 12
RUN_S = 45
PERIOD_INDEX = 7  # PERIODE_ENR: a row every 10 s
MAX_GAP_S = 11.5
STALL_LIMIT_MS = 1000  # far above the figure measured, far below a lookup on the loop
STARTUP_MS = 2000  # start-up: configuration, windows built and shown


class SlowNameServer:
    """Answers every query after DELAY_S: NAME is 127.0.0.1 (no IPv6
    address), any other name does not exist."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((SLOW_DNS, 53))
        self.queries = 0
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                query, peer = self.sock.recvfrom(512)
            except OSError:
                return
            self.queries += 1
            threading.Timer(DELAY_S, self._answer, (query, peer)).start()

    def _answer(self, query, peer):
        end = 12
        labels = []
        while query[end]:
            labels.append(query[end + 1:end + 1 + query[end]].decode("ascii", "replace"))
            end += 1 + query[end]
        qtype = query[end + 1:end + 3]
        known = ".".join(labels).lower() == NAME
        answer = b""
        if known and qtype == b"\x00\x01":
            answer = b"\xc0\x0c\x00\x01\x00\x01\x00\x00\x00\x3c\x00\x04" + socket.inet_aton("127.0.0.1")
        flags = b"\x81\x80" if known else b"\x81\x83"
        header = query[:2] + flags + b"\x00\x01" + (b"\x00\x01" if answer else b"\x00\x00") + b"\x00\x00\x00\x00"
        with contextlib.suppress(OSError):
            self.sock.sendto(header + query[12:end + 5] + answer, peer)

    def close(self):
        self.sock.close()


def row_times(path, until):
    """Polls the record file until `until` (monotonic); returns the time each
    data row appeared."""
    seen, times = 0, []
    while time.monotonic() < until:
        with contextlib.suppress(FileNotFoundError), open(path, "rb") as f:
            rows = [r for r in f.read().split(b"\r\n")[3:] if r and not r.startswith(b"date,")]
            times += [time.monotonic()] * (len(rows) - seen)
            seen = len(rows)
        time.sleep(0.1)
    return times


def test():
    if os.geteuid() != 0 or subprocess.run(["unshare", "-m", "true"], capture_output=True).returncode != 0:
        print("SKIP: espace de noms de montage impossible (root requis)")
        sys.exit(77)
    if paho is None or not shutil.which("mosquitto"):
        print("SKIP: mosquitto ou python3-paho-mqtt absent")
        sys.exit(77)
    try:
        dns = SlowNameServer()
    except OSError as e:
        print("SKIP: port 53 de %s indisponible (%s)" % (SLOW_DNS, e))
        sys.exit(77)
    with temp_dir("mqtt_dns") as work:
        peers = {}
        port = free_port()

        def start_broker():
            peers["broker"] = Broker(work, port=port)
            peers["sub"] = Subscriber(port)

        late = threading.Timer(BROKER_LATE_S, start_broker)
        late.start()
        try:
            run(work, port, late, peers)
        finally:
            late.cancel()
            late.join()
            if "sub" in peers:
                peers["sub"].close()
            if "broker" in peers:
                peers["broker"].stop()
            dns.close()


def run(work, port, late, peers):
    resolv = os.path.join(work, "resolv.conf")
    with open(resolv, "w") as f:
        f.write("nameserver %s\noptions timeout:10 attempts:1\n" % SLOW_DNS)
    prefix = ["unshare", "-m", "sh", "-c", 'mount --bind "$0" /etc/resolv.conf && exec "$@"', resolv]
    probe = os.environ.get("VIRELUZ_STALL_PROBE", "")
    measured = os.path.exists(probe)
    if not measured:
        print("stall probe not built (VIRELUZ_STALL_PROBE): the event loops are not measured")
    stall_files = {name: os.path.join(work, name + ".stalls") for name in ("headless", "gui")}

    def prefix_of(name):
        if not measured:
            return prefix
        return prefix + ["env", "LD_PRELOAD=" + probe, "VIRELUZ_STALL_FILE=" + stall_files[name]]

    mqtt = [("ACTIF", 1), ("SERVEUR", NAME), ("PORT", port)]
    dirs = {}
    for name in ("headless", "gui"):
        dirs[name] = os.path.join(work, name)
        os.makedirs(os.path.join(dirs[name], "rec"))
        write_config(dirs[name], [("REPERTOIR_ENR", os.path.join(dirs[name], "rec")), ("PERIODE_ENR", PERIOD_INDEX)],
                     [("CONFIG_MQTT", mqtt)])
    gui_cmd = prefix_of("gui") + [
        VIREL, "start", "--simulate", "--sim-options", "meter1=address:G00000000001 meter2=address:G00000000002",
        "--config-dir", dirs["gui"], "--run-for", str(RUN_S - 5)]
    gui = subprocess.Popen(gui_cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                           env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    try:
        with headless(VIREL, dirs["headless"], RUN_S,
                      ["--simulate", "--sim-options", "meter1=address:H00000000001 meter2=address:H00000000002"],
                      prefix=prefix_of("headless")) as hl:
            times = row_times(os.path.join(dirs["headless"], "rec", "enregistrements.csv"), hl.start + RUN_S - 1)
            rc, err, _ = hl.wait()
        gui_err = gui.communicate(timeout=30)[1].decode("utf-8", "replace")
    finally:
        if gui.poll() is None:
            gui.kill()
            gui.wait()
    gaps = [b - a for a, b in zip(times, times[1:])]
    print("records: %d, gaps %s s" % (len(times), ", ".join("%.1f" % g for g in gaps)))
    check(len(times) >= 3 and max(gaps) <= MAX_GAP_S, "lignes d'enregistrement : écarts %s" % gaps)
    # Before the broker is up: one message at most, said once for all the retries.
    check(rc == 0 and len(err) <= 1 and all("aucun serveur n'écoute sur ce port" in t for t in err),
          "sans fenêtre : code %s, messages %s" % (rc, err))
    check(gui.returncode == 0, "fenêtres : code %s, %s" % (gui.returncode, gui_err))
    late.join()
    check("sub" in peers, "le serveur MQTT n'a pas démarré")
    for address in ("H00000000001", "H00000000002", "G00000000001"):
        check(wait_until_discovered(peers["sub"], address), "%s : découverte non publiée (sujets reçus : %s ; "
              "fenêtres : %s)" % (address, sorted({t for _, t, _, _ in peers["sub"].all()}), gui_err))
    # Stalls: (end, ms since the start; length, ms).
    for name, path in stall_files.items() if measured else ():
        with open(path) as f:
            stalls = [tuple(int(x) for x in line.split()) for line in f if line.strip()]
        later = [s for at, s in stalls if at > STARTUP_MS]
        print("%s: longest event-loop stall %d ms; after the first %d s: %d ms (%d stalls of 10 ms or more)"
              % (name, max([s for _, s in stalls], default=0), STARTUP_MS // 1000, max(later, default=0), len(stalls)))
        check_limit(max(later, default=0) < STALL_LIMIT_MS, "%s : boucle bloquée : %s" % (name, stalls))


def wait_until_discovered(sub, address):
    end = time.monotonic() + 5
    while time.monotonic() < end:
        if any(t.startswith("homeassistant/") and "vireluz_%s/" % address in t and p for _, t, p, _ in sub.all()):
            return True
        time.sleep(0.2)
    return False


main(test)

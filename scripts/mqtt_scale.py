#!/usr/bin/env python3
"""Scale run of the MQTT publishing (not part of the test suite: it takes a
few minutes of two CPU cores).

Starts one Mosquitto broker on 127.0.0.1, RUNNERS headless programs on the
simulated two-meter interface, each with its own meter addresses, publishing
to it with Home Assistant discovery, plus CONTROL runners identical but with
MQTT off; after DURATION seconds it checks that every meter was discovered,
that no two unique_id are alike and that every state topic was updated, and
reports the CPU time and peak memory of a runner with MQTT on against off.

usage: scripts/mqtt_scale.py [--runners 20] [--control 4] [--duration 60] [--bin build/vireluz]
"""

import argparse
import json
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import paho.mqtt.client as paho

TICKS = os.sysconf("SC_CLK_TCK")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_config(d, port, mqtt_on):
    lines = ["[CONFIG_PRG]", "REPERTOIR_ENR=" + d, "[CONFIG_MQTT]", "ACTIF=%d" % (1 if mqtt_on else 0),
             "SERVEUR=127.0.0.1", "PORT=%d" % port, ""]
    with open(os.path.join(d, "vireluz_cfg.ini"), "wb") as f:
        f.write("\r\n".join(lines).encode("cp1252"))


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime + stime


def peak_rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser()
    ap.add_argument("--runners", type=int, default=20)
    ap.add_argument("--control", type=int, default=4)
    ap.add_argument("--duration", type=float, default=60)
    ap.add_argument("--bin", default=os.path.join(root, "build", "vireluz"))
    a = ap.parse_args()

    work = tempfile.mkdtemp(prefix="vireluz_mqtt_scale_")
    port = free_port()
    conf = os.path.join(work, "mosquitto.conf")
    with open(conf, "w") as f:
        f.write("user %s\nlistener %d 127.0.0.1\nallow_anonymous true\npersistence false\n"
                % (pwd.getpwuid(os.getuid()).pw_name, port))
    broker = subprocess.Popen(["mosquitto", "-c", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(0.5)

    messages = []
    lock = threading.Lock()

    def on_message(client, userdata, msg):
        with lock:
            messages.append((msg.topic, msg.payload))

    sub = paho.Client(client_id="vireluz-scale-sub")
    sub.on_connect = lambda c, u, f, rc: c.subscribe("#")
    sub.on_message = on_message
    sub.connect("127.0.0.1", port)
    sub.loop_start()

    procs = []  # (mqtt_on, Popen)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    for i in range(a.runners + a.control):
        on = i < a.runners
        d = os.path.join(work, "r%02d" % i)
        os.mkdir(d)
        write_config(d, port, on)
        opts = "meter1=address:R%02d000000001 meter2=address:R%02d000000002" % (i, i)
        cmd = [a.bin, "--headless", "--simulate", "--sim-options", opts, "--config-dir", d,
               "--run-for", str(a.duration + 30)]
        procs.append((on, subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.PIPE, env=env, start_new_session=True)))
    start = time.monotonic()
    # Start-up (libraries, first scans, identification) is over by then; the
    # steady state is measured from here to the end.
    time.sleep(min(15, a.duration / 4))
    early = [cpu_seconds(p.pid) for _, p in procs]
    steady_start = time.monotonic()
    time.sleep(max(0, a.duration - (steady_start - start)))
    usage = [(on, cpu_seconds(p.pid), peak_rss_kib(p.pid), cpu_seconds(p.pid) - e)
             for (on, p), e in zip(procs, early)]
    elapsed = time.monotonic() - start
    steady = time.monotonic() - steady_start
    for _, p in procs:
        p.send_signal(signal.SIGTERM)
    errors = []
    for _, p in procs:
        _, err = p.communicate(timeout=30)
        lines = [l for l in err.decode("utf-8", "replace").splitlines() if "interface simulée" not in l]
        errors += lines
    time.sleep(1)
    sub.loop_stop()
    sub.disconnect()
    broker.terminate()
    broker.wait()
    shutil.rmtree(work, ignore_errors=True)

    devices, configs, states = set(), {}, {}
    for topic, payload in messages:
        if topic.startswith("homeassistant/device/") and payload:
            c = json.loads(payload)
            devices.add(c["device"]["identifiers"][0])
            for cid, e in c["cmps"].items():  # a config sent again replaces its earlier copy
                if "unique_id" not in e:
                    continue  # a component removed
                configs[topic + "/" + cid] = e["unique_id"]
        elif topic.endswith("/state"):
            states[topic] = states.get(topic, 0) + 1
    uids = list(configs.values())
    meters = 2 * a.runners
    on = [(c, m, s) for o, c, m, s in usage if o]
    off = [(c, m, s) for o, c, m, s in usage if not o]
    avg = lambda xs: sum(xs) / len(xs) if xs else float("nan")
    cpu_on, cpu_off = avg([c for c, _, _ in on]), avg([c for c, _, _ in off])
    mem_on, mem_off = avg([m for _, m, _ in on]), avg([m for _, m, _ in off])
    st_on, st_off = avg([s for _, _, s in on]), avg([s for _, _, s in off])
    print("runners with MQTT: %d, without: %d, %.0f s" % (len(on), len(off), elapsed))
    print("devices discovered: %d / %d; unique_id: %d, distinct: %d" % (len(devices), meters, len(uids),
                                                                        len(set(uids))))
    print("state topics updated: %d / %d (messages per topic: min %d, max %d)"
          % (len(states), meters, min(states.values() or [0]), max(states.values() or [0])))
    print("CPU per runner: MQTT on %.2f s (%.2f %%), off %.2f s (%.2f %%): %+.1f %%"
          % (cpu_on, 100 * cpu_on / elapsed, cpu_off, 100 * cpu_off / elapsed,
             100 * (cpu_on - cpu_off) / cpu_off if cpu_off else float("nan")))
    print("CPU per runner, steady state (last %.0f s): MQTT on %.2f %%, off %.2f %%: %+.1f %%"
          % (steady, 100 * st_on / steady, 100 * st_off / steady,
             100 * (st_on - st_off) / st_off if st_off else float("nan")))
    print("peak memory per runner: MQTT on %.0f KiB, off %.0f KiB: %+.0f KiB" % (mem_on, mem_off, mem_on - mem_off))
    ok = (len(devices) == meters and len(uids) == len(set(uids)) and len(states) == meters
          and min(states.values() or [0]) >= 2 and not errors)
    if errors:
        print("messages of the runners:", errors[:5])
    print("OK" if ok else "ECHEC")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
